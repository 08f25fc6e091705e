// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// make-export: writes a synthetic camera tracker export for benchmarks.
#include "export_generator.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr const char* Usage =
    "Usage: make-export [--frames FIRST:LAST] [--trackers N] [--seed S] OUTPUT\n"
    "Writes a synthetic camera tracker export (CR LF, the tracker's own line\n"
    "shapes) to OUTPUT, or to standard output for '-'. The same arguments\n"
    "always give the same bytes. Defaults: --frames 1001:1100 --trackers 100\n"
    "--seed 1. Frames must lie in -32768..32767.\n";

[[noreturn]] void Fail(const std::string& Message)
{
    std::fprintf(stderr, "make-export: %s\n%s", Message.c_str(), Usage);
    std::exit(2);
}

template <typename Number>
Number Parse(std::string_view Text, std::string_view What)
{
    Number value{};
    const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
    if (error != std::errc() || end != Text.data() + Text.size())
        Fail("bad " + std::string(What) + " '" + std::string(Text) + "'");
    return value;
}

}  // namespace

int main(int argc, char** argv)
{
    quorvel::bench::ExportShape shape;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg == "--frames" && hasValue) {
            const std::string_view range = argv[++i];
            const std::size_t colon = range.find(':', 1);
            if (colon == std::string_view::npos)
                Fail("--frames needs FIRST:LAST");
            shape.FirstFrame = Parse<int>(range.substr(0, colon), "first frame");
            shape.LastFrame = Parse<int>(range.substr(colon + 1), "last frame");
        } else if (arg == "--trackers" && hasValue) {
            shape.Trackers = Parse<long>(argv[++i], "tracker count");
        } else if (arg == "--seed" && hasValue) {
            shape.Seed = Parse<std::uint64_t>(argv[++i], "seed");
        } else if (output.empty() && (arg == "-" || !arg.starts_with("-"))) {
            output = arg;
        } else {
            Fail("unexpected argument '" + std::string(arg) + "'");
        }
    }
    if (output.empty())
        Fail("no OUTPUT given");
    if (shape.FirstFrame < -32768 || shape.LastFrame > 32767 || shape.LastFrame < shape.FirstFrame)
        Fail("the frame range must lie in -32768..32767 and not end before it starts");
    if (shape.Trackers < 0)
        Fail("the tracker count must not be negative");

#ifdef _WIN32
    // The export's line ends exactly as generated, not with CR added.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::FILE* out = output == "-" ? stdout : std::fopen(output.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "make-export: cannot create '%s': %s\n", output.c_str(),
                     std::strerror(errno));
        return 1;
    }
    const long long written = quorvel::bench::WriteExport(out, shape);
    if (written < 0 || (out != stdout && std::fclose(out) != 0)) {
        std::fprintf(stderr, "make-export: cannot write '%s': %s\n", output.c_str(),
                     std::strerror(errno));
        return 1;
    }
    return 0;
}

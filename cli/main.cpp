// quorvel-convert: converts camera tracker exports to scene files from scripts.
#include "quorvel/conversion_run.h"
#include "quorvel/error.h"
#include "quorvel/version.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <getopt.h>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr const char* Program = "quorvel-convert";

struct Arguments {
    quorvel::ConvertOptions Options;
    bool Verbose = false;
    std::string Directory;  // -d: convert every input into this folder
    std::vector<std::string> Files;
};

void PrintHelp()
{
    std::printf(
        "Usage: %s [--no-trackers] [--factor TEXT] [-v] INPUT OUTPUT\n"
        "  or:  %s [--no-trackers] [--factor TEXT] [-v] -d DIR INPUT...\n"
        "Convert the camera solve in a camera tracker export (.ma) into a scene\n"
        "file (.syncar): the camera path per frame, the image block and the\n"
        "tracked points scaled by a factor.\n"
        "\n"
        "  -n, --no-trackers    write the camera only, no tracked points\n"
        "  -f, --factor TEXT    multiply tracked point positions by TEXT (default 1)\n"
        "  -d, --directory DIR  write each INPUT to DIR/NAME.syncar and go on after\n"
        "                       a failed one\n"
        "  -v, --verbose        print a summary line per file on standard error\n"
        "      --help           display this help and exit\n"
        "      --version        output version information and exit\n"
        "\n"
        "With OUTPUT '-' the scene is written to standard output. An existing\n"
        "OUTPUT is replaced only when its conversion succeeds.\n"
        "\n"
        "Exit status: 0 on success (warnings on standard error), 1 when a\n"
        "conversion failed, 2 for a usage error.\n",
        Program, Program);
}

[[noreturn]] void UsageError(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", Program,
                 message.c_str(), Program);
    std::exit(2);
}

Arguments ParseArguments(int argc, char** argv)
{
    enum { HelpOption = 256, VersionOption };
    static const option longOptions[] = {
        {"no-trackers", no_argument, nullptr, 'n'},
        {"factor", required_argument, nullptr, 'f'},
        {"directory", required_argument, nullptr, 'd'},
        {"verbose", no_argument, nullptr, 'v'},
        {"help", no_argument, nullptr, HelpOption},
        {"version", no_argument, nullptr, VersionOption},
        {nullptr, 0, nullptr, 0},
    };
    Arguments args;
    opterr = 0;
    int option = 0;
    while ((option = getopt_long(argc, argv, ":nf:d:v", longOptions, nullptr)) != -1) {
        switch (option) {
        case 'n': args.Options.SaveTrackpoints = false; break;
        case 'f': args.Options.FactorText = optarg; break;
        case 'd': args.Directory = optarg; break;
        case 'v': args.Verbose = true; break;
        case HelpOption: PrintHelp(); std::exit(0);
        case VersionOption: std::printf("%s %s\n", Program, quorvel::Version); std::exit(0);
        case ':': UsageError(std::string("option '") + argv[optind - 1] + "' needs a value");
        default: UsageError(std::string("unknown option '") + argv[optind - 1] + "'");
        }
    }
    args.Files.assign(argv + optind, argv + argc);
    if (args.Directory.empty() && args.Files.size() != 2)
        UsageError("expected an INPUT and an OUTPUT file");
    if (!args.Directory.empty() && args.Files.empty())
        UsageError("expected at least one INPUT file");
    return args;
}

void PrintWarnings(const std::string& input, const quorvel::ConvertReport& report)
{
    const auto& trackers = report.Trackers;
    for (const auto& skipped : trackers.Skipped) {
        std::fprintf(stderr, "%s: warning: %s, line %ld: tracker line skipped: %s\n", Program,
                     input.c_str(), skipped.LineNumber, skipped.Reason.c_str());
    }
    const long unlisted = trackers.SkippedCount - static_cast<long>(trackers.Skipped.size());
    if (unlisted > 0) {
        std::fprintf(stderr, "%s: warning: %s: %ld more tracker lines skipped\n", Program,
                     input.c_str(), unlisted);
    }
}

// Writes the scene to standard output only once it is complete.
quorvel::ConvertReport ConvertToStandardOutput(quorvel::ConvertState& state,
                                               const quorvel::ConvertOptions& options)
{
    std::FILE* scratch = std::tmpfile();
    if (!scratch) {
        throw quorvel::Error(quorvel::ErrorKind::FileSystem,
                             std::string("cannot create a temporary file for the scene: ") +
                                 std::strerror(errno));
    }
    struct Closer {
        std::FILE* file;
        ~Closer() { std::fclose(file); }
    } closer{scratch};

    const quorvel::ConvertReport report =
        quorvel::ConvertToStream(state, options, scratch, "standard output");
    std::rewind(scratch);
    std::vector<char> chunk(1u << 20);
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), scratch)) > 0) {
        if (std::fwrite(chunk.data(), 1, got, stdout) != got)
            quorvel::ThrowFileError("cannot write the scene to", "standard output", errno);
    }
    if (std::ferror(scratch))
        quorvel::ThrowFileError("cannot read back the scene from", "a temporary file", errno);
    if (std::fflush(stdout) != 0)
        quorvel::ThrowFileError("cannot write the scene to", "standard output", errno);
    return report;
}

// One conversion; reports its own failure and returns whether it succeeded.
bool ConvertOne(const Arguments& args, const std::string& input, const std::string& output)
{
    quorvel::ConvertState state;
    state.InputFile = input;
    state.OutputFile = output;
    try {
        const quorvel::ConvertReport report = output == "-"
                                                  ? ConvertToStandardOutput(state, args.Options)
                                                  : quorvel::RunConversion(state, args.Options);
        PrintWarnings(input, report);
        if (args.Verbose) {
            std::fprintf(stderr, "%s: %s -> %s: %ld frames, %ld trackers, %ld tracker lines skipped\n",
                         Program, input.c_str(), output.c_str(), report.Frames,
                         report.Trackers.Trackers, report.Trackers.SkippedCount);
        }
        return true;
    } catch (const quorvel::Error& error) {
        std::fprintf(stderr, "%s: %s\n", Program, error.what());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s: %s\n", Program, input.c_str(), error.what());
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    const Arguments args = ParseArguments(argc, argv);
    bool allConverted = true;
    if (args.Directory.empty()) {
        allConverted = ConvertOne(args, args.Files[0], args.Files[1]);
    } else {
        // Two inputs of the same name would write the same scene file: the
        // second must not silently replace the first.
        std::map<std::string, std::string> writtenFrom;
        for (const std::string& input : args.Files) {
            const std::filesystem::path name =
                std::filesystem::path(input).filename().replace_extension(".syncar");
            const std::string output = (std::filesystem::path(args.Directory) / name).string();
            const auto [earlier, isNew] = writtenFrom.emplace(output, input);
            if (!isNew) {
                std::fprintf(stderr, "%s: %s: not converted: %s is already written from %s\n",
                             Program, input.c_str(), output.c_str(), earlier->second.c_str());
                allConverted = false;
                continue;
            }
            allConverted = ConvertOne(args, input, output) && allConverted;
        }
    }
    // Output that only reaches the system at exit must not fail unseen.
    if (std::fflush(stdout) != 0 || std::fclose(stdout) != 0) {
        std::fprintf(stderr, "%s: cannot write to standard output: %s\n", Program,
                     std::strerror(errno));
        return 1;
    }
    return allConverted ? 0 : 1;
}

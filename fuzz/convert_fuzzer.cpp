// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Fuzz target: the fuzzer's bytes are an export, converted the way the front
// ends do it: camera only, and with trackpoints and a factor taken from the
// input, on one thread and on three. Beyond "no crash", every run checks what a user relies on:
// a success wrote a well-formed scene, a failure wrote nothing at all, no
// file other than the target is ever left in the scene's folder, and
// messages quote the export only in short, escaped excerpts. Each word of
// the input is also read as a number, which must give what fast_float gives.
#include "quorvel/conversion_run.h"
#include "quorvel/error.h"
#include "quorvel/number_text.h"
#include "quorvel/text_rules.h"

#include <fast_float/fast_float.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Broken(const std::string& Invariant)
{
    std::fprintf(stderr, "invariant broken: %s\n", Invariant.c_str());
    std::abort();
}

void Require(bool Holds, const std::string& Invariant)
{
    if (!Holds)
        Broken(Invariant);
}

// A private folder for the export and the scene, on a RAM disk when there is
// one: every conversion creates, syncs and renames a file.
const fs::path& WorkFolder()
{
    static const fs::path folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = base && *base ? base : fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        pattern += "/quorvel-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            Broken("cannot create a work folder");
        std::atexit([] { fs::remove_all(WorkFolder()); });
        return fs::path(pattern);
    }();
    return folder;
}

// The scene's own folder, apart from the export's.
const fs::path& SceneFolder()
{
    static const fs::path folder = [] {
        fs::create_directory(WorkFolder() / "scenes");
        return WorkFolder() / "scenes";
    }();
    return folder;
}

std::vector<std::string> FilesIn(const fs::path& Folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder))
        names.push_back(entry.path().filename().string());
    return names;
}

// Text shown to the user: no control character, and not much of it.
void RequireShort(std::string_view Text, std::size_t Limit, const std::string& What)
{
    Require(Text.size() <= Limit, What + " holds at most a short excerpt of the export");
    for (const char c : Text)
        Require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f, What + " holds no control character");
}

// The factor text: what follows the first "factor=" up to the line end, so
// the fuzzer can reach any text; otherwise one of a few picked by the size,
// so plain exports from the seed corpus also try odd factors.
std::string FactorFrom(std::string_view Input)
{
    const std::size_t at = Input.find("factor=");
    if (at != std::string_view::npos) {
        const std::string_view rest = Input.substr(at + 7);
        return std::string(rest.substr(0, std::min<std::size_t>(rest.find_first_of("\r\n"), 64)));
    }
    static constexpr const char* Picks[] = {"1", "0.5", "-2.5e-1", "1e300", "-0", " 3 ", "0,5", ""};
    return Picks[Input.size() % std::size(Picks)];
}

// The integer right after Prefix at the start of Text.
long NumberAfter(std::string_view Text, std::string_view Prefix)
{
    Require(Text.substr(0, Prefix.size()) == Prefix, "line '" + std::string(Prefix) + "' where expected");
    long value = 0;
    const auto result = std::from_chars(Text.data() + Prefix.size(), Text.data() + Text.size(), value);
    Require(result.ec == std::errc(), "a whole number after '" + std::string(Prefix) + "'");
    return value;
}

void CheckScene(const std::string& Scene, const quorvel::ConvertReport& Report, bool Trackpoints)
{
    Require(Scene.rfind("SynthEyesScene {\r\n", 0) == 0, "the scene starts with 'SynthEyesScene {'");
    Require(Scene.size() >= 9 && Scene.compare(Scene.size() - 9, 9, "   }\r\n}\r\n") == 0,
            "the scene ends with the two closing lines");

    long depth = 0;
    for (std::size_t i = 0; i < Scene.size(); ++i) {
        const char c = Scene[i];
        if (c == '\r')
            Require(i + 1 < Scene.size() && Scene[i + 1] == '\n', "every CR is followed by LF");
        else if (c == '\n')
            Require(i > 0 && Scene[i - 1] == '\r', "every LF follows a CR");
        else if (c == '{')
            ++depth;
        else if (c == '}')
            Require(--depth >= 0, "no brace closes before it opens");
    }
    Require(depth == 0, "braces are balanced");

    // Rang FIRST,LAST names the range; the path holds one PKey per frame of it, in order.
    const std::size_t rang = Scene.find("\r\n    Rang ");
    Require(rang != std::string::npos, "the image block has a range");
    const long first = NumberAfter(std::string_view(Scene).substr(rang + 2), "    Rang ");
    const long last = NumberAfter(std::string_view(Scene).substr(Scene.find(',', rang)), ",");
    long frame = first;
    long trackers = 0;
    for (std::size_t at = 0; (at = Scene.find("\r\n", at)) != std::string::npos; at += 2) {
        const std::string_view next = std::string_view(Scene).substr(at + 2);
        if (next.rfind("      PKey ", 0) == 0) {
            Require(NumberAfter(next, "      PKey ") == frame, "PKey frames run from FIRST, one each");
            ++frame;
        } else if (next.rfind("   Trak {\r\n", 0) == 0) {
            ++trackers;
        }
    }
    Require(frame == last + 1, "one PKey line per frame of the range");
    Require(Report.Frames == last - first + 1, "the report counts the frames written");
    Require(trackers == (Trackpoints ? Report.Trackers.Trackers : 0), "the report counts the trackers written");
}

// What a conversion gave: its error, or its report of the trackers and the
// scene, for a comparison of one with another.
std::string ConvertOnce(const std::string& Input, const quorvel::ConvertOptions& Options)
{
    quorvel::ConvertState state;
    state.InputFile = Input;
    state.OutputFile = (SceneFolder() / "scene.syncar").string();
    bool converted = false;
    std::string outcome;
    quorvel::ConvertReport report;
    try {
        report = quorvel::RunConversion(state, Options);
        converted = true;
    } catch (const quorvel::Error& error) {
        Require(std::strlen(error.what()) > 0, "an error says what is wrong");
        RequireShort(error.what(), 600, "an error message");
        outcome = error.what();
    }
    // Any other exception escapes and is reported as a crash.

    if (!converted) {
        Require(FilesIn(SceneFolder()).empty(), "a failed conversion leaves no file in the scene's folder");
        return outcome;
    }
    Require(FilesIn(SceneFolder()) == std::vector<std::string>{"scene.syncar"},
            "a conversion leaves the scene and no other file in its folder");
    for (const auto& skipped : report.Trackers.Skipped)
        RequireShort(skipped.Reason, 200, "a skipped tracker's reason");
    std::ifstream in(state.OutputFile, std::ios::binary);
    const std::string scene{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    CheckScene(scene, report, Options.SaveTrackpoints);
    fs::remove(state.OutputFile);
    outcome = std::to_string(report.Trackers.Trackers) + " trackers, " +
              std::to_string(report.Trackers.SkippedCount) + " skipped:";
    for (const auto& skipped : report.Trackers.Skipped)
        outcome += " " + std::to_string(skipped.LineNumber) + " " + skipped.Reason + ";";
    return outcome + "\n" + scene;
}

// The number at the front of Text as fast_float alone reads it, after what
// the engine lets through: a '+' skipped, then a digit or a period after an
// optional '-'.
void CheckNumber(std::string_view Text)
{
    double value = 0;
    const std::size_t length = quorvel::ReadNumberPrefix(Text, value);
    const char* const end = Text.data() + Text.size();
    const char* const first = Text.data() + (!Text.empty() && Text.front() == '+' ? 1 : 0);
    const char* const start = first + (first < end && *first == '-' ? 1 : 0);
    double expected = 0;
    std::size_t expectedLength = 0;
    if (start < end && ((*start >= '0' && *start <= '9') || *start == '.')) {
        const auto result = fast_float::from_chars(first, end, expected);
        if (result.ec != std::errc::invalid_argument)
            expectedLength = static_cast<std::size_t>(result.ptr - Text.data());
    }
    Require(length == expectedLength && (length == 0 || quorvel::number_text::BitsOf(value) ==
                                                             quorvel::number_text::BitsOf(expected)),
            "'" + std::string(Text) + "' reads as fast_float reads it");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find_first_of(" \t\r\n;\"", at), text.size());
        CheckNumber(std::string_view(text).substr(at, end - at));
        at = end + 1;
    }
    const std::string input = (WorkFolder() / "export.ma").string();
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        out << text;
        Require(static_cast<bool>(out), "the export can be written");
    }
    ConvertOnce(input, {false, "1"});
    const std::string factor = FactorFrom(text);
    // The tracker lines on threads, in chunks of a few bytes, give what
    // one thread gives.
    const std::string oneThread = ConvertOnce(input, {true, factor, 1});
    Require(ConvertOnce(input, {true, factor, 3, 1 + Size % 61}) == oneThread,
            "the tracker lines on threads give the scene, report and error of one thread");
    return 0;
}

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The conversion run through the engine call the front ends use: what it
// reports, and that a failure never harms an existing scene file.
#include "quorvel/conversion_run.h"
#include "quorvel/error.h"
#include "quorvel/line_reader.h"
#include "linux_only.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace quorvel;

namespace {

std::string Export(const std::string& trackerLines)
{
    std::string text =
        "playbackOptions -min 1 -max 2 -animationStartTime 1;\r\n"
        "\tsetAttr \".w\" 1920;\r\n\tsetAttr \".h\" 1080;\r\n\tsetAttr \".dar\" 1.777;\r\n"
        "createNode animCurveTL -n \"VoodooCam_translateX\";\r\n";
    for (int channel = 1; channel <= 6; ++channel) {
        text += "\tsetAttr -s 2 \".ktv[0:1]\" 1 0.5 2 1.5 ;\r\n";
        text += channel < 6 ? "createNode animCurve;\r\n" : "//Tracker export -fps 24\r\n";
    }
    return text + trackerLines;
}

struct Converted {
    ConvertReport Report;
    std::string Scene;
};

Converted Convert(const std::string& exportText, const ConvertOptions& options = {})
{
    TempFolder folder;
    ConvertState state;
    state.InputFile = folder.Write("shot.ma", exportText);
    state.OutputFile = folder / "shot.syncar";
    Converted result;
    result.Report = RunConversion(state, options);
    result.Scene = ReadFile(state.OutputFile);
    return result;
}

std::string MessageOf(ConvertState& state, const ConvertOptions& options = {})
{
    try {
        RunConversion(state, options);
    } catch (const Error& error) {
        return error.what();
    }
    ADD_FAILURE() << "the conversion succeeded";
    return {};
}

TEST(ConversionRun, ReportsFramesTrackersAndSkippedLines)
{
    const std::string trackers =
        "\tsetAttr \".t\" -type \"double3\" 1 2 3;\r\n"
        "\tsetAttr \".t\" -type \"double3\" 1 2;\r\n"
        "\tsetAttr \".t\" -type \"double3\" 4 5 6 ;\r\n";
    const Converted converted = Convert(Export(trackers));
    EXPECT_EQ(converted.Report.Frames, 2);
    EXPECT_EQ(converted.Report.Trackers.Trackers, 2);
    EXPECT_EQ(converted.Report.Trackers.SkippedCount, 1);
    ASSERT_EQ(converted.Report.Trackers.Skipped.size(), 1u);
    EXPECT_EQ(converted.Report.Trackers.Skipped[0].LineNumber, 19);
    EXPECT_EQ(converted.Report.Trackers.Skipped[0].Reason, "only 2 of 3 numbers");
    EXPECT_NE(converted.Scene.find("Name \"Tracker2\"\r\n     WPos -4 , 6 , 5 \r\n"), std::string::npos);
}

TEST(ConversionRun, CountsTrackersPastSixteenBits)
{
    std::string trackers;
    for (int i = 0; i < 33000; ++i)
        trackers += "\tsetAttr \".t\" -type \"double3\" 1 2 3;\r\n";
    const Converted converted = Convert(Export(trackers));
    EXPECT_EQ(converted.Report.Trackers.Trackers, 33000);
    EXPECT_NE(converted.Scene.find("Name \"Tracker33000\""), std::string::npos);
}

TEST(ConversionRun, ListsOnlyTheFirstThousandSkippedLines)
{
    std::string trackers;
    for (int i = 0; i < 1500; ++i)
        trackers += "\tsetAttr \".t\" -type \"double3\" x 2 3;\r\n";
    const Converted converted = Convert(Export(trackers));
    EXPECT_EQ(converted.Report.Trackers.SkippedCount, 1500);
    EXPECT_EQ(converted.Report.Trackers.Skipped.size(), TrackerSummary::MaxSkippedListed);
}

// The tracker lines shared out to threads in chunks of every size, from one
// byte to many lines, against one thread: the same scene, numbering and
// skipped lines, or the same error and no scene.
TEST(ConversionRun, ThreadsGiveWhatOneThreadGives)
{
    std::mt19937_64 rng(30);
    const std::vector<std::string> shapes = {
        "\tsetAttr \".t\" -type \"double3\" 1.5 -2.25 10;", "\tsetAttr \".t\" -type \"double3\" 1e308 1 1;",
        "\tsetAttr \".t\" -type \"double3\" 1 2;", "\tsetAttr \".t\" -type \"double3\" x 2 3;",
        "createNode transform -n \"Tracker_1\";", "", "\tsetAttr \".t\" -type \"double3\" -0.40417215093 76.3 5;",
        "x setAttr \".t\" -type \"double3\" 1 2 3e-2; setAttr \".t\" -type \"double3\" 4 5 6;",
        "\tsetAttr \".t\" -type \"double3\" 1 2 3 4;", "\tsetAttr \".t\" -type \"double3\"", "setAttr \".t\""};
    const auto lines = [&](int Count, const std::vector<std::string>& Ends) {
        std::string text;
        for (int i = 0; i < Count; ++i)
            text += shapes[rng() % shapes.size()] + Ends[rng() % Ends.size()];
        return text;
    };
    constexpr char WithNul[] = "\tsetAttr \".t\" -type \"double3\" 1 \0 3;\r\n";
    const std::string nul(WithNul, sizeof WithNul - 1);
    const std::vector<std::pair<std::string, std::string>> sections = {
        {"CR LF", lines(3000, {"\r\n"})},
        {"every line end, no end at the end", lines(3000, {"\r\n", "\n", "\r"}) + shapes[0]},
        {"a CR at the end", lines(500, {"\r"})},
        {"over a thousand skipped", lines(2500, {"\n"}) + std::string(1200, '\n') + lines(2500, {"\n"})},
        {"a NUL byte", lines(2000, {"\r\n"}) + nul + lines(100, {"\r\n"})},
        {"a NUL byte after a CR", lines(700, {"\r", "\n"}) + "\r" + nul + lines(10, {"\r"})},
        {"a line too long", lines(100, {"\n"}) + std::string(LineReader::MaxLineLength + 1, 'x') + "\n" + lines(10, {"\n"})},
        {"nothing after the frame rate", ""},
    };
    const auto outcome = [](const std::string& Text, int Threads, std::size_t ChunkBytes) {
        TempFolder folder;
        ConvertState state;
        state.InputFile = folder.Write("shot.ma", Text);
        state.OutputFile = folder / "shot.syncar";
        std::ostringstream out;
        try {
            ConvertOptions options{true, "2.5"};
            options.Threads = Threads;
            options.ChunkBytes = ChunkBytes;
            const TrackerSummary summary = RunConversion(state, options).Trackers;
            out << summary.Trackers << " trackers, " << summary.SkippedCount << " skipped:";
            for (const SkippedTracker& skipped : summary.Skipped)
                out << " " << skipped.LineNumber << " " << skipped.Reason << ";";
            out << "\n" << ReadFile(state.OutputFile);
        } catch (const Error& error) {
            std::string message = error.what();
            message.erase(0, message.find("shot.ma"));
            out << message << "; files: " << folder.Names().size();
        }
        return out.str();
    };
    for (const auto& [what, trackers] : sections) {
        SCOPED_TRACE(what);
        const std::string text = Export(trackers);
        const std::string expected = outcome(text, 1, 0);
        for (const int threads : {2, 8}) {
            for (const std::size_t chunk : {std::size_t{1}, std::size_t{100}, std::size_t{4096}})
                EXPECT_EQ(outcome(text, threads, chunk), expected) << threads << " threads, chunks of " << chunk;
        }
    }
}

TEST(ConversionRun, FactorIsCheckedBeforeAnythingIsWritten)
{
    const std::string notANumber = "' is not a number, such as 1 or 0.5";
    const std::string empty = " is empty; type a number, such as 1 or 0.5";
    const std::string tooLarge = "' is too large; a factor must lie between -1e308 and 1e308";
    const std::vector<std::pair<const char*, std::string>> faults = {
        {"0,5", " '0,5" + notANumber}, {"2x", " '2x" + notANumber}, {"nan", " 'nan" + notANumber},
        {"", empty},                   {"  ", empty},                {"1e999", " '1e999" + tooLarge},
        {"-1e400", " '-1e400" + tooLarge}};
    for (const auto& [factor, fault] : faults) {
        TempFolder folder;
        ConvertState state;
        state.InputFile = folder / "missing.ma";  // never opened: the factor comes first
        state.OutputFile = folder / "out.syncar";
        EXPECT_EQ(MessageOf(state, {true, factor}), "the multiplication factor" + fault);
        EXPECT_EQ(FactorFault(factor, "--factor"), "--factor" + fault);
        EXPECT_TRUE(folder.Names().empty());
    }
    EXPECT_EQ(FactorFault(" 0.5 ", "--factor"), "");
    EXPECT_EQ(ParseFactor(" 0.5 "), 0.5);
    EXPECT_EQ(ParseFactor("-2"), -2);
}

TEST(ConversionRun, FileProblemsNameTheFileAndKeepTheTarget)
{
    TempFolder folder;
    const std::string good = folder.Write("shot.ma", Export(""));
    const std::string target = folder.Write("old.syncar", "SynthEyesScene {\r\nold scene\r\n");
    struct Case {
        std::string Input, Output, Message;
    };
    const Case cases[] = {
        {"", target, "no export file was chosen"},
        {folder / "absent.ma", target, "cannot open the export file '" + folder / "absent.ma" + "': No such file or directory"},
        {folder.Path().string(), target, "is a folder, not an export file"},
        {good, "", "no scene file was chosen"},
        {good, folder / "no/such/folder/x.syncar", "cannot create the scene file '" + folder / "no/such/folder/x.syncar" + "': No such file or directory"},
        {good, folder.Path().string(), "is a folder, not a scene file"},
        {good, good, "is the export file itself"},
    };
    for (const Case& c : cases) {
        ConvertState state;
        state.InputFile = c.Input;
        state.OutputFile = c.Output;
        EXPECT_NE(MessageOf(state).find(c.Message), std::string::npos) << c.Message;
        EXPECT_EQ(ReadFile(target), "SynthEyesScene {\r\nold scene\r\n");
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{"old.syncar", "shot.ma"}));
    }

    // A successful conversion replaces the target.
    ConvertState state;
    state.InputFile = good;
    state.OutputFile = target;
    RunConversion(state, {});
    EXPECT_EQ(ReadFile(target).substr(0, 18), "SynthEyesScene {\r\n");
}

TEST(ConversionRunLinuxOnly, TheReplacedSceneFileKeepsItsPermissions)
{
    QUORVEL_LINUX_ONLY("no POSIX file modes");
#ifndef _WIN32
    TempFolder folder;
    ConvertState state;
    state.InputFile = folder.Write("shot.ma", Export(""));
    state.OutputFile = folder.Write("old.syncar", "SynthEyesScene {\r\nold scene\r\n");
    ASSERT_EQ(::chmod(state.OutputFile.c_str(), 0640), 0);
    RunConversion(state, {});
    struct stat info {};
    ASSERT_EQ(::stat(state.OutputFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadFile(state.OutputFile).substr(0, 18), "SynthEyesScene {\r\n");
#endif
}

TEST(ConversionRun, ValuesOfAStateDoNotLeakIntoTheNextConversion)
{
    TempFolder folder;
    ConvertState state;
    state.InputFile = folder.Write("a.ma", Export("\tsetAttr \".t\" -type \"double3\" 1 2 3;\r\n"));
    state.OutputFile = folder / "a.syncar";
    RunConversion(state, {});
    const std::string first = ReadFile(state.OutputFile);
    state.InputFile = folder.Write("b.ma", "nothing here\r\n");
    EXPECT_NE(MessageOf(state).find("not a Maya ASCII export"), std::string::npos);
    state.InputFile = folder / "a.ma";
    state.OutputFile = folder / "again.syncar";
    RunConversion(state, {});
    EXPECT_EQ(ReadFile(state.OutputFile), first);
}

}  // namespace

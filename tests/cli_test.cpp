// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// quorvel-convert as scripts use it: arguments, exit status, batch mode.
#include "linux_only.h"
#include "run_program.h"
#include "temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

using testing::HasSubstr;

namespace {

const std::string Convert = QUORVEL_CONVERT;
const std::string Sample = std::string(QUORVEL_EXAMPLES) + "/shot_0020.ma";

TEST(Cli, UsageErrorsExitWithTwo)
{
    const std::vector<std::vector<std::string>> cases = {
        {Convert},
        {Convert, "only-input.ma"},
        {Convert, "a.ma", "b.syncar", "c.syncar"},
        {Convert, "--bogus", "a.ma", "b.syncar"},
        {Convert, "a.ma", "b.syncar", "--factor"},
        {Convert, "-d"},
        {Convert, "-d", "out"},
    };
    for (const auto& argv : cases) {
        const ProgramResult result = RunProgram(argv);
        EXPECT_EQ(result.Status, 2) << argv.back();
        EXPECT_THAT(result.Err, HasSubstr("Try 'quorvel-convert --help'"));
        EXPECT_EQ(result.Out, "");
    }
}

TEST(Cli, HelpAndVersion)
{
    const ProgramResult help = RunProgram({Convert, "--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_THAT(help.Out, HasSubstr("Usage: quorvel-convert [OPTION]... INPUT OUTPUT"));
    const ProgramResult version = RunProgram({Convert, "--version"});
    EXPECT_EQ(version.Status, 0);
    // std::regex: GoogleTest's own regular expressions have no [...] on Windows.
    EXPECT_TRUE(std::regex_match(version.Out, std::regex("quorvel-convert [0-9]+\\.[0-9]+\\.[0-9]+\n"
                                                         "Copyright Contributors to the Quorvel Project\n"
                                                         "License Apache-2.0: [\\s\\S]*")))
        << version.Out;
}

TEST(Cli, VerboseSummaryAndWarnings)
{
    TempFolder folder;
    const ProgramResult result = RunProgram({Convert, "-v", Sample, folder / "shot.syncar"});
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_THAT(result.Err, HasSubstr("shot_0020.ma -> " + folder / "shot.syncar" +
                                      ": 5 frames, 3 trackers, 1 tracker line skipped"));
    EXPECT_THAT(result.Err, HasSubstr("warning: " + Sample + ", line 36: tracker line skipped"));
}

TEST(Cli, DirectoryModeGoesOnAfterAFailure)
{
    TempFolder folder;
    const std::string broken = folder.Write("broken.ma", "not an export\r\n");
    const std::string out = (folder.Path() / "scenes").string();
    std::filesystem::create_directory(out);
    const ProgramResult result = RunProgram({Convert, "-d", out, broken, Sample});
    EXPECT_EQ(result.Status, 1);
    EXPECT_THAT(result.Err, HasSubstr("broken.ma: not a Maya ASCII export"));
    EXPECT_FALSE(std::filesystem::exists(out + "/broken.syncar"));
    EXPECT_EQ(ReadFile(out + "/shot_0020.syncar"), RunProgram({Convert, Sample, "-"}).Out);
}

TEST(Cli, DirectoryModeNeverWritesOneSceneTwice)
{
    TempFolder folder;
    std::filesystem::create_directories(folder.Path() / "a");
    std::filesystem::create_directories(folder.Path() / "b");
    const std::string first = folder.Write("a/shot.ma", ReadFile(Sample));
    const std::string second = folder.Write("b/shot.ma", "not an export\r\n");
    const ProgramResult result = RunProgram({Convert, "-d", folder.Path().string(), first, second});
    EXPECT_EQ(result.Status, 1);
    EXPECT_THAT(result.Err, HasSubstr(second + ": not converted: " + folder / "shot.syncar" +
                                      " is also the scene of " + first + ", an earlier input"));
    EXPECT_EQ(ReadFile(folder / "shot.syncar"), RunProgram({Convert, Sample, "-"}).Out);
}

TEST(CliLinuxOnly, FullStandardOutputIsAFailure)
{
    QUORVEL_LINUX_ONLY("no /dev/full");
    const ProgramResult result = RunProgram({Convert, Sample, "-"}, "/dev/full");
    EXPECT_EQ(result.Status, 1);
    EXPECT_THAT(result.Err, HasSubstr("No space left on device"));
}

// Text from an export or a file name reaches the terminal shortened and
// with its control characters escaped: a crafted export cannot flood
// standard error or drive the terminal.
const std::string Escape = "\x1b[2J\x1b[31m\x07";
const std::string ShownEscape = "\\x1b[2J\\x1b[31m\\x07";

void ExpectNoControlCharacter(const std::string& Err)
{
    EXPECT_EQ(Err.find_first_of("\x1b\x07"), std::string::npos) << "a raw control character in " << Err;
}

TEST(Cli, HostileTextOfAnExportIsShortenedAndEscaped)
{
    TempFolder folder;
    std::string trackers;
    for (int i = 0; i < 20; ++i)
        trackers += "\tsetAttr \".t\" -type \"double3\" " + std::string(1u << 20, '7') + "x 0 0 ;\r\n";
    trackers += "\tsetAttr \".t\" -type \"double3\" " + Escape + " 0 0 ;\r\n";
    const std::string crafted = folder.Write("crafted.ma", ReadFile(Sample) + trackers);
    const ProgramResult result = RunProgram({Convert, crafted, folder / "out.syncar"});
    EXPECT_EQ(result.Status, 0) << result.Err.substr(0, 2000);
    EXPECT_THAT(result.Err, HasSubstr("skipped: '" + std::string(40, '7') + "...' is not a number"));
    EXPECT_THAT(result.Err, HasSubstr("skipped: '" + ShownEscape + "' is not a number"));
    EXPECT_LT(result.Err.size(), 22u * 300) << "standard error holds more than excerpts";
    ExpectNoControlCharacter(result.Err);
}

TEST(CliLinuxOnly, ControlCharactersOfFileNamesAreEscaped)
{
    QUORVEL_LINUX_ONLY("names with control characters");
    TempFolder folder;
    const std::string named = folder.Write("shot" + Escape + ".ma", "not an export\r\n");
    for (const std::string& output : {folder / "out.syncar", std::string("-")}) {
        const ProgramResult failed = RunProgram({Convert, "-v", named, output});
        EXPECT_EQ(failed.Status, 1);
        EXPECT_THAT(failed.Err, HasSubstr(folder / "shot" + ShownEscape + ".ma: not a Maya ASCII export"));
        const ProgramResult missing = RunProgram({Convert, folder / "gone\x1b[2J.ma", output});
        EXPECT_THAT(missing.Err, HasSubstr("'" + folder / "gone\\x1b[2J.ma" + "': No such file"));
        ExpectNoControlCharacter(failed.Err);
        ExpectNoControlCharacter(missing.Err);
    }
}

}  // namespace

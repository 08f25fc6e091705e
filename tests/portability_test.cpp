// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What differs between systems and must not change a conversion: names in
// any script, bytes that a text mode would take as line ends or the end of
// the file; and on Windows its device names and files that another program
// holds open.
#include "run_program.h"
#include "linux_only.h"
#include "temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;
using testing::HasSubstr;

namespace {

const std::string Convert = QUORVEL_CONVERT;
const std::string Sample = std::string(QUORVEL_EXAMPLES) + "/shot_0020.ma";
const std::string Previous = "SynthEyesScene {\r\nprevious scene\r\n";

std::string SampleScene() { return RunProgram({Convert, Sample, "-"}).Out; }

TEST(Portability, NamesInAnyScriptConvertAndShowInMessages)
{
    TempFolder folder;
    fs::create_directory(folder.Path() / PathOf("日本"));
    const std::string input = folder.Write("日本/scène é.ma", ReadFile(Sample));
    const std::string output = folder / "日本/scène é.syncar";
    const ProgramResult converted = RunProgram({Convert, "-v", input, output});
    EXPECT_EQ(converted.Status, 0) << converted.Err;
    EXPECT_THAT(converted.Err, HasSubstr("scène é.ma -> " + output + ": 5 frames"));
    EXPECT_EQ(ReadFile(output), SampleScene());

    // -d makes the scene's name from the export's.
    fs::create_directory(folder.Path() / PathOf("scènes"));
    const ProgramResult batch = RunProgram({Convert, "-d", folder / "scènes", input});
    EXPECT_EQ(batch.Status, 0) << batch.Err;
    EXPECT_EQ(ReadFile(folder.Path() / PathOf("scènes") / PathOf("scène é.syncar")), SampleScene());

    const std::string broken = folder.Write("日本/壊れた.ma", "not an export\r\n");
    const ProgramResult failed = RunProgram({Convert, broken, output});
    EXPECT_EQ(failed.Status, 1);
    EXPECT_THAT(failed.Err, HasSubstr("quorvel-convert: " + broken + ": not a Maya ASCII export"));
}

// Ctrl-Z ends a file read in text mode on Windows, and LF there becomes
// CR LF when written so: the export is read and the scene written as bytes.
TEST(Portability, ACtrlZByteIsAByteLikeAnyOther)
{
    TempFolder folder;
    std::string text = ReadFile(Sample);
    text.insert(text.find("\r\n") + 2, "// \x1A and a lone \n line end\r\n");
    const std::string input = folder.Write("ctrl-z.ma", text);
    const std::string output = folder.Write("ctrl-z.syncar", Previous);
    const ProgramResult converted = RunProgram({Convert, input, output});
    EXPECT_EQ(converted.Status, 0) << converted.Err;
    EXPECT_EQ(ReadFile(output), SampleScene());
    EXPECT_EQ(RunProgram({Convert, input, "-"}).Out, SampleScene());
    EXPECT_EQ(SampleScene().find("\r\r"), std::string::npos);
}

// A device name names the device in every folder, with any extension: a
// scene file must never replace it.
TEST(PortabilityWindowsOnly, DeviceNamesAreNoSceneFiles)
{
    QUORVEL_WINDOWS_ONLY("device names are ordinary file names elsewhere");
    TempFolder folder;
    const std::string input = folder.Write("shot.ma", ReadFile(Sample));
    for (const std::string name : {"NUL", "nul.syncar", "CON", "com1.syncar", "LPT9.txt", "aux .syncar"}) {
        const ProgramResult result = RunProgram({Convert, input, folder / name});
        EXPECT_EQ(result.Status, 1) << name;
        EXPECT_THAT(result.Err, HasSubstr("'" + folder / name + "' is not a regular file")) << name;
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"shot.ma"}) << name;
    }
}

// Windows refuses to replace a file another program holds open without
// sharing it for deleting, as many programs open what they show.
TEST(PortabilityWindowsOnly, AFileHeldOpenElsewhereIsKept)
{
    QUORVEL_WINDOWS_ONLY("files held open do not stop a rename elsewhere");
#ifdef _WIN32
    TempFolder folder;
    const std::string input = folder.Write("shot.ma", ReadFile(Sample));
    const std::string output = folder.Write("shot.syncar", Previous);
    const HANDLE held = ::CreateFileW(PathOf(output).wstring().c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const ProgramResult result = RunProgram({Convert, input, output});
    ::CloseHandle(held);
    EXPECT_EQ(result.Status, 1);
    EXPECT_THAT(result.Err, HasSubstr("cannot replace the scene file '" + output +
                                      "': it is open in another program; close it there and try again"));
    EXPECT_EQ(ReadFile(output), Previous);
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"shot.ma", "shot.syncar"}));

    // Closed there, it is replaced.
    EXPECT_EQ(RunProgram({Convert, input, output}).Status, 0);
    EXPECT_EQ(ReadFile(output), SampleScene());
#endif
}

// cmd and PowerShell pass exports\*.ma on as it is; the program expands
// it, as a shell does on Linux.
TEST(PortabilityWindowsOnly, WildcardsAreExpanded)
{
    QUORVEL_WINDOWS_ONLY("the shell expands wildcards");
    TempFolder folder;
    fs::create_directory(folder.Path() / "scenes");
    folder.Write("a.ma", ReadFile(Sample));
    folder.Write("b.ma", ReadFile(Sample));
    const ProgramResult result = RunProgram({Convert, "-d", folder / "scenes", folder / "*.ma"});
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_EQ(ReadFile(folder.Path() / "scenes" / "a.syncar"), SampleScene());
    EXPECT_EQ(ReadFile(folder.Path() / "scenes" / "b.syncar"), SampleScene());
}

}  // namespace

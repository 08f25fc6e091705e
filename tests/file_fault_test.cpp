// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// quorvel-convert when the file system gets in the way. Every fault must
// exit with 1 and a message naming the problem, leave an existing scene file
// byte for byte as it was, and leave no temporary file behind. Tests run as
// root in CI, where permissions stop nothing, so the faults used here fail
// for root too: a path under a regular file, a pipe, a file size limit.
#include "linux_only.h"
#include "run_program.h"
#include "temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#ifdef _WIN32
#include <windows.h>
#else
#include "storage_shim.h"

#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::StartsWith;

namespace {

const std::string Convert = QUORVEL_CONVERT;
const std::string Sample = std::string(QUORVEL_EXAMPLES) + "/shot_0020.ma";
const std::string Previous = "SynthEyesScene {\r\nprevious scene\r\n";
#ifdef _WIN32
// Windows has no error of its own for a path through a regular file.
const std::string NotAFolder = "No such file or directory";
#else
const std::string NotAFolder = "Not a directory";
#endif

bool IsSymbolicLink(const std::string& Path)
{
#ifdef _WIN32
    const DWORD attributes = ::GetFileAttributesW(PathOf(Path).wstring().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
#else
    return fs::is_symlink(Path);
#endif
}

// Link to Target (relative to Link's folder), when the system lets this
// user make symbolic links: Windows asks for developer mode or an
// administrator, and Wine pretends to make them.
bool MakeSymbolicLink(const std::string& Target, const std::string& Link)
{
#ifdef _WIN32
    ::CreateSymbolicLinkW(PathOf(Link).wstring().c_str(), PathOf(Target).wstring().c_str(),
                          SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
#else
    std::error_code ignored;
    fs::create_symlink(Target, Link, ignored);
#endif
    return IsSymbolicLink(Link);
}

// A shot folder with an export, an existing scene and things in the way.
struct ShotFolder {
    TempFolder Folder;
    std::string Export = Folder.Write("shot.ma", ReadFile(Sample));
    std::string Scene = Folder.Write("old.syncar", Previous);
    std::vector<std::string> Names;

    ShotFolder()
    {
        fs::create_directory(Folder.Path() / "scenes");
        // One line of 100 MB without a line end: the reader gives up at 16 MB.
        std::ofstream(Folder.Path() / "long.ma", std::ios::binary) << std::string(100u << 20, 'x');
        Names = Folder.Names();
    }

    // The fault did no harm.
    void ExpectUntouched() const
    {
        EXPECT_EQ(ReadFile(Scene), Previous) << "the existing scene file changed";
        EXPECT_EQ(Folder.Names(), Names) << "a file was left behind";
        EXPECT_TRUE(fs::is_empty(Folder.Path() / "scenes"));
    }
};

struct Fault {
    std::string What;
    std::vector<std::string> Args;
    std::string Message;
};

void ExpectFailure(const ProgramResult& result, const std::string& message)
{
    EXPECT_EQ(result.Status, 1) << result.Err;
    EXPECT_THAT(result.Err, StartsWith("quorvel-convert: "));
    EXPECT_THAT(result.Err, HasSubstr(message));
}

TEST(FileFaults, TheOutputCannotBeWritten)
{
    ShotFolder shot;
    const TempFolder& f = shot.Folder;
    const Fault faults[] = {
        {"the output folder does not exist", {shot.Export, f / "missing/out.syncar"},
         "cannot create the scene file '" + f / "missing/out.syncar" + "': No such file or directory"},
        {"the output path is a folder", {shot.Export, f / "scenes"},
         "'" + f / "scenes" + "' is a folder, not a scene file"},
        {"the output folder is a regular file", {shot.Export, f / "shot.ma/out.syncar"},
         "cannot create the scene file '" + f / "shot.ma/out.syncar" + "': " + NotAFolder},
        // A missing -d folder is a usage error: see cli_pipeline_test.cpp.
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.What);
        std::vector<std::string> argv = {Convert};
        argv.insert(argv.end(), fault.Args.begin(), fault.Args.end());
        ExpectFailure(RunProgram(argv), fault.Message);
        shot.ExpectUntouched();
    }
}

TEST(FileFaultsLinuxOnly, APipeIsNeverReplaced)
{
    QUORVEL_LINUX_ONLY("no named pipes in the file system");
#ifndef _WIN32
    ShotFolder shot;
    const std::string pipe = shot.Folder / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    shot.Names = shot.Folder.Names();
    // A rename over it would destroy the pipe.
    ExpectFailure(RunProgram({Convert, shot.Export, pipe}), "'" + pipe + "' is not a regular file");
    shot.ExpectUntouched();
    EXPECT_EQ(fs::status(pipe).type(), fs::file_type::fifo);
#endif
}

TEST(FileFaults, TheInputCannotBeRead)
{
    ShotFolder shot;
    const TempFolder& f = shot.Folder;
    const Fault faults[] = {
        {"the input is a folder", {f / "scenes"}, "'" + f / "scenes" + "' is a folder, not an export file"},
        {"the input is missing", {f / "absent.ma"},
         "cannot open the export file '" + f / "absent.ma" + "': No such file or directory"},
        {"the input has a line of 100 MB", {f / "long.ma"},
         f / "long.ma" + ", line 1: the line is longer than 16 MiB"},
    };
    for (const Fault& fault : faults) {
        for (const std::string& output : {shot.Scene, std::string("-")}) {
            SCOPED_TRACE(fault.What + ", OUTPUT " + output);
            const ProgramResult result = RunProgram({Convert, fault.Args[0], output});
            ExpectFailure(result, fault.Message);
            EXPECT_EQ(result.Out, "") << "a failed conversion wrote to standard output";
            shot.ExpectUntouched();
        }
    }
}

// A write that fails part way, as on a full disk: a file size limit of
// 512 bytes (SIGXFSZ ignored, so the write returns EFBIG) stops the 751
// bytes of the sample scene, for root too. Standard output on a full device
// is covered in cli_test.cpp.
TEST(FileFaultsLinuxOnly, AWriteErrorPartWayIsAFailure)
{
    QUORVEL_LINUX_ONLY("no ulimit, no SIGXFSZ");
    ShotFolder shot;
    const std::string limited = "ulimit -f 1 && trap '' XFSZ && exec \"$@\"";
    ExpectFailure(RunProgram({"/bin/sh", "-c", limited, "sh", Convert, shot.Export, shot.Scene}),
                  "cannot write the scene file '" + shot.Scene + "': File too large");
    shot.ExpectUntouched();
}

// A scene file reached through a symbolic link is replaced where it lives;
// the link stays a link.
TEST(FileFaults, ALinkedSceneFileIsReplacedThroughTheLink)
{
    ShotFolder shot;
    const std::string link = shot.Folder / "link.syncar";
    if (!MakeSymbolicLink("old.syncar", link))
        GTEST_SKIP() << "this system does not let the tests make symbolic links";
    const ProgramResult result = RunProgram({Convert, shot.Export, link});
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_TRUE(IsSymbolicLink(link));
    EXPECT_EQ(ReadFile(shot.Scene), RunProgram({Convert, shot.Export, "-"}).Out);
}

// OUTPUT '-' stages the scene in $TMPDIR; when that fails, the message
// names the folder, and nothing reaches standard output. A file size limit
// stands in for a small folder that fills up.
TEST(FileFaultsLinuxOnly, TheStagingFolderOfStandardOutputFails)
{
    QUORVEL_LINUX_ONLY("TMPDIR, env and ulimit");
    ShotFolder shot;
    const TempFolder& f = shot.Folder;
    const std::string limited = "ulimit -f 1 && trap '' XFSZ && exec \"$@\"";
    const Fault faults[] = {
        {"a missing folder", {"TMPDIR=" + f / "missing"},
         "cannot create the staging file for standard output in '" + f / "missing" +
             "': No such file or directory"},
        {"a regular file", {"TMPDIR=" + shot.Export},
         "cannot create the staging file for standard output in '" + shot.Export + "': Not a directory"},
        {"a full folder", {"TMPDIR=" + f / "scenes", "/bin/sh", "-c", limited, "sh"},
         "cannot write the staging file for standard output in '" + f / "scenes" + "': File too large"},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.What);
        std::vector<std::string> argv = {"/usr/bin/env"};
        argv.insert(argv.end(), fault.Args.begin(), fault.Args.end());
        argv.insert(argv.end(), {Convert, shot.Export, "-"});
        const ProgramResult result = RunProgram(argv);
        ExpectFailure(result, fault.Message);
        EXPECT_EQ(result.Out, "");
        shot.ExpectUntouched();
    }
}

// A standard output the caller closed (>&-) fails only what is meant for it.
TEST(FileFaultsLinuxOnly, AClosedStandardOutputFailsOnlyWhatIsMeantForIt)
{
    QUORVEL_LINUX_ONLY("the shell's >&-");
    struct Row {
        std::vector<std::string> Args;
        int Status;
        std::string Err;
    };
    ShotFolder shot;
    const std::string scene = shot.Folder / "new.syncar";
    const Row rows[] = {
        {{shot.Export, scene}, 0, ""},
        {{"-d", shot.Folder / "scenes", shot.Export}, 0, ""},
        {{shot.Export, "-"}, 1, "quorvel-convert: cannot write the scene to 'standard output': Bad file descriptor\n"},
        {{"--version"}, 1, "quorvel-convert: cannot write to standard output: Bad file descriptor\n"},
        {{"--report", "json", shot.Export, scene}, 1,
         "quorvel-convert: cannot write to standard output: Bad file descriptor\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Args[0]);
        std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$@\" >&-", "sh", Convert, "-q"};
        argv.insert(argv.end(), row.Args.begin(), row.Args.end());
        const ProgramResult result = RunProgram(argv);
        EXPECT_EQ(result.Status, row.Status);
        EXPECT_EQ(result.Err, row.Err);
        fs::remove(scene);
        fs::remove(shot.Folder / "scenes/shot.syncar");
        shot.ExpectUntouched();
    }
}

// Storage that makes the temporary file awkward must not stop a
// conversion: a name at the file system's 255-byte limit, and storage
// without unnamed files that refuses permission changes (vfat without its
// quiet option, some SMB shares), stood in for by the storage shim.
TEST(FileFaultsLinuxOnly, AwkwardStorageStillConverts)
{
    QUORVEL_LINUX_ONLY("the storage shim is loaded with LD_PRELOAD");
#ifndef _WIN32
    const std::string expected = RunProgram({Convert, Sample, "-"}).Out;
    const std::vector<std::string> shim = StorageShimEnvironment();
    for (const bool withShim : {false, true}) {
        if (withShim && StorageShimCannotReach)
            GTEST_SKIP() << "the storage shim: " << StorageShimCannotReach;
        for (const std::string& name : {std::string(255, 'n'), std::string("old.syncar")}) {
            SCOPED_TRACE(std::to_string(name.size()) + "-byte name" + (withShim ? ", storage shim" : ""));
            ShotFolder shot;
            const std::string scene = shot.Folder / name;
            ::chmod(shot.Scene.c_str(), 0640);
            std::vector<std::string> argv = {"/usr/bin/env"};
            if (withShim)
                argv.insert(argv.end(), shim.begin(), shim.end());
            argv.insert(argv.end(), {Convert, shot.Export, scene});
            const ProgramResult result = RunProgram(argv);
            EXPECT_EQ(result.Status, 0) << result.Err;
            EXPECT_EQ(ReadFile(scene), expected);
            std::vector<std::string> names = shot.Names;
            names.push_back(name);
            std::sort(names.begin(), names.end());
            names.erase(std::unique(names.begin(), names.end()), names.end());
            EXPECT_EQ(shot.Folder.Names(), names) << "a temporary file was left";
            if (!withShim && scene == shot.Scene) {
                EXPECT_EQ(fs::status(scene).permissions(), fs::perms(0640)) << "the old permissions";
            }
        }
    }
#endif
}

// A path that names a descriptor gets the scene as OUTPUT '-' would: a log
// that standard output appends to keeps what it had, a pipe is no file.
TEST(FileFaultsLinuxOnly, ADescriptorPathGetsTheSceneThroughTheDescriptor)
{
    QUORVEL_LINUX_ONLY("/dev/stdout, /dev/fd and /proc/self/fd");
    struct Row {
        std::string Output;
        std::string Shell;  // runs the converter, "$log" the log
        int Status;
        std::string Err;
    };
    ShotFolder shot;
    const std::string log = shot.Folder / "job.log";
    const std::string scene = RunProgram({Convert, shot.Export, "-"}).Out;
    const Row rows[] = {
        {"/dev/stdout", "\"$@\" >> \"$log\"", 0, ""},
        {"/dev/stderr", "\"$@\" 2>> \"$log\"", 0, ""},
        {"/dev/fd/3", "\"$@\" 3>> \"$log\"", 0, ""},
        {"/proc/self/fd/1", "\"$@\" | cat >> \"$log\"", 0, ""},
        {"/dev/fd/9", "\"$@\"", 1, "quorvel-convert: cannot write the scene to '/dev/fd/9': Bad file descriptor\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Output);
        shot.Folder.Write("job.log", "earlier line\n");
        shot.Names = shot.Folder.Names();
        const ProgramResult result = RunProgram({"/bin/bash", "-c", "log=$1; shift; set -o pipefail; " + row.Shell,
                                                 "bash", log, Convert, "-q", shot.Export, row.Output});
        EXPECT_EQ(result.Status, row.Status);
        EXPECT_EQ(result.Err, row.Err);
        EXPECT_EQ(ReadFile(log), "earlier line\n" + (row.Status == 0 ? scene : ""));
        shot.ExpectUntouched();
    }
}

// What the old scene carried stays: its access list and extended
// attributes, its permissions without set-user-ID, set-group-ID and sticky
// bits. An attribute the new file cannot take (the storage shim refuses
// all) keeps the old scene whole; a scene with another name is replaced,
// with a warning that the other name keeps the old scene.
TEST(FileFaultsLinuxOnly, TheReplacedSceneKeepsWhatItCarried)
{
    QUORVEL_LINUX_ONLY("POSIX access lists and extended attributes");
#ifndef _WIN32
    if (!fs::exists("/usr/bin/setfacl") || !fs::exists("/usr/bin/getfattr"))
        GTEST_SKIP() << "the acl and attr packages are not installed";
    struct Row {
        std::string What;
        std::string Prepare;  // shell commands on "$1", the old scene
        bool WithShim;
        int Status;
        std::string Err;  // part of standard error, OLD for the old scene's path
        std::string Mode;  // of the scene afterwards
    };
    const std::string expected = RunProgram({Convert, Sample, "-"}).Out;
    const Row rows[] = {
        {"an access list that denies a user, and an attribute",
         "chmod 664 \"$1\" && setfacl -m u:4321:-,m::r \"$1\" && setfattr -n user.shot -v 0020 \"$1\"", false, 0, "",
         "644"},
        {"set-user-ID, set-group-ID and sticky bits", "chmod 7755 \"$1\"", false, 0, "", "755"},
        {"an attribute the file system refuses", "setfattr -n user.shot -v 0020 \"$1\"", true, 1,
         "quorvel-convert: cannot replace the scene file 'OLD': the new scene cannot be given its extended attribute "
         "'user.shot' (Operation not supported), so the old one was left as it was\n",
         "644"},
        {"another name", "chmod 644 \"$1\" && ln \"$1\" \"$1.other\"", false, 0,
         "quorvel-convert: warning: SHOT: the scene file 'OLD' had 1 other name (a hard link), which keeps the old scene\n",
         "644"},
    };
    // What a row must keep: the access list (without the flags line of the
    // bits a scene never gets), the extended attributes, owner and group.
    const std::string carried = "getfacl -n -p \"$1\" | grep -v '^# flags'; getfattr -d -m - -e hex \"$1\"; stat -c '%u %g' \"$1\"";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.What);
        ShotFolder shot;
        ASSERT_EQ(RunProgram({"/bin/sh", "-c", "chmod 644 \"$1\" && " + row.Prepare, "sh", shot.Scene}).Status, 0);
        const std::string before = RunProgram({"/bin/sh", "-c", carried, "sh", shot.Scene}).Out;
        std::vector<std::string> argv = {"/usr/bin/env"};
        if (row.WithShim) {
            if (StorageShimCannotReach)
                GTEST_SKIP() << "the storage shim: " << StorageShimCannotReach;
            const std::vector<std::string> shim = StorageShimEnvironment();
            argv.insert(argv.end(), shim.begin(), shim.end());
        }
        argv.insert(argv.end(), {Convert, shot.Export, shot.Scene});
        const ProgramResult result = RunProgram(argv);
        EXPECT_EQ(result.Status, row.Status);
        std::string err = row.Err;
        for (const auto& [from, to] : {std::pair{"OLD", shot.Scene}, std::pair{"SHOT", shot.Export}})
            if (const std::size_t at = err.find(from); at != std::string::npos)
                err.replace(at, std::strlen(from), to);
        if (err.empty())
            EXPECT_EQ(result.Err.find("quorvel-convert: cannot"), std::string::npos) << result.Err;
        else
            EXPECT_THAT(result.Err, HasSubstr(err));
        EXPECT_EQ(ReadFile(shot.Scene), row.Status == 0 ? expected : Previous);
        EXPECT_EQ(RunProgram({"/bin/sh", "-c", carried, "sh", shot.Scene}).Out, before);
        EXPECT_EQ(RunProgram({"/usr/bin/stat", "-c", "%a", shot.Scene}).Out, row.Mode + "\n");
        if (fs::exists(shot.Scene + ".other")) {
            EXPECT_EQ(ReadFile(shot.Scene + ".other"), Previous);
        }
    }
#endif
}

// Root converting over a file of another user keeps its owner and group.
TEST(FileFaultsLinuxOnly, RootKeepsTheOwnerOfTheOldScene)
{
    QUORVEL_LINUX_ONLY("owners and groups as numbers");
#ifndef _WIN32
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    ShotFolder shot;
    ASSERT_EQ(::chown(shot.Scene.c_str(), 4321, 4322), 0);
    const ProgramResult result = RunProgram({Convert, shot.Export, shot.Scene});
    EXPECT_EQ(result.Status, 0) << result.Err;
    struct stat info {};
    ASSERT_EQ(::stat(shot.Scene.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 4321u);
    EXPECT_EQ(info.st_gid, 4322u);
#endif
}

// On Windows the replaced file's attributes stay.
TEST(FileFaultsWindowsOnly, TheReplacedSceneKeepsItsAttributes)
{
    QUORVEL_WINDOWS_ONLY("Windows file attributes");
#ifdef _WIN32
    ShotFolder shot;
    const std::wstring scene = PathOf(shot.Scene).wstring();
    ASSERT_TRUE(::SetFileAttributesW(scene.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    const ProgramResult result = RunProgram({Convert, shot.Export, shot.Scene});
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_EQ(ReadFile(shot.Scene), RunProgram({Convert, shot.Export, "-"}).Out);
    EXPECT_EQ(::GetFileAttributesW(scene.c_str()) & FILE_ATTRIBUTE_HIDDEN, DWORD{FILE_ATTRIBUTE_HIDDEN});
#endif
}

}  // namespace

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// quorvel-convert where a scene would replace what it must not: a file
// already written in the same run under another name, one of the run's own
// inputs, a file the user may not write, a link another user planted in a
// shared folder. Each row ends with its status and message, leaves every
// file that was there as it was, and creates only the files it names (each
// holding the scene of a.ma, or replacing an empty file). Rows for an ordinary user drop root's rights
// with setpriv where the tests run as root.
#include "linux_only.h"
#include "run_program.h"
#include "temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using testing::HasSubstr;

namespace {

const std::string Convert = QUORVEL_CONVERT;
const std::string Sample = std::string(QUORVEL_EXAMPLES) + "/shot_0020.ma";
const std::string Other = std::string(QUORVEL_CASES) + "/frame_rate_23_976/input.ma";
const std::string Previous = "SynthEyesScene {\r\nprevious scene\r\n";
const std::string Setpriv = "/usr/bin/setpriv";
const std::string NotAScene =
    "is not a scene file: only a scene file (its first line \"SynthEyesScene {\") or an empty file is replaced";

bool IsRoot()
{
#ifdef _WIN32
    return false;
#else
    return ::geteuid() == 0;
#endif
}

struct Row {
    std::string What;
    // Makes the files the row needs in the folder and returns the
    // arguments, DIR standing for the folder; or sets Skip to say why the
    // row cannot run here.
    std::function<std::vector<std::string>(const TempFolder& Folder, std::string& Skip)> Prepare;
    int Status;
    std::string Message;                // on standard error, DIR for the folder, '/' between names
    std::vector<std::string> Creates;   // new files, each holding the scene of a.ma
    bool AsOrdinaryUser = false;
};

// Every entry below the folder: a file's bytes, a link's target.
std::map<std::string, std::string> Snapshot(const fs::path& Folder)
{
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(Folder)) {
        const std::string name = entry.path().lexically_relative(Folder).generic_string();
        if (entry.is_symlink())
            entries[name] = "link to " + fs::read_symlink(entry.path()).string();
        else if (entry.is_regular_file())
            entries[name] = ReadFile(entry.path());
        else
            entries[name] = "folder";
    }
    return entries;
}

std::string Replaced(std::string Text, const std::string& From, const std::string& To)
{
    for (std::size_t at = 0; (at = Text.find(From, at)) != std::string::npos; at += To.size())
        Text.replace(at, From.size(), To);
    return Text;
}

void RunRows(const std::vector<Row>& Rows)
{
    const std::string scene = RunProgram({Convert, Sample, "-"}).Out;
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.What);
        TempFolder f;
        f.Write("a.ma", ReadFile(Sample));
        f.Write("b.ma", ReadFile(Other));
        fs::create_directory(f.Path() / "out");
        std::string skip;
        std::vector<std::string> argv = {Convert};
        for (const std::string& arg : row.Prepare(f, skip))
            argv.push_back(Replaced(arg, "DIR", f.Path().string()));
        if (row.AsOrdinaryUser && IsRoot()) {
            if (!fs::exists(Setpriv))
                skip = "running as root without " + Setpriv + " to become an ordinary user";
            argv.insert(argv.begin(), {Setpriv, "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
        }
        if (!skip.empty()) {
            std::printf("row skipped: %s: %s\n", row.What.c_str(), skip.c_str());
            continue;
        }
        const std::map<std::string, std::string> before = Snapshot(f.Path());
        const ProgramResult result = RunProgram(argv);
        EXPECT_EQ(result.Status, row.Status) << result.Err;
        const std::string err = Replaced(Replaced(result.Err, f.Path().string(), "DIR"), "\\", "/");
        EXPECT_THAT(err, HasSubstr("quorvel-convert: " + row.Message));
        std::map<std::string, std::string> after = Snapshot(f.Path());
        std::map<std::string, std::string> kept = before;
        for (const std::string& created : row.Creates) {
            EXPECT_EQ(after[created], scene) << created;
            after.erase(created);
            kept.erase(created);
        }
        EXPECT_EQ(after, kept) << "a file changed or was left behind";
        // A read-only file stays in the way of removing the folder on Windows.
        for (const auto& entry : fs::recursive_directory_iterator(f.Path())) {
            std::error_code ignored;
            if (entry.is_regular_file() && !entry.is_symlink())
                fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
        }
    }
}

// A file that the user may not write, by its permissions (on Windows, its
// read-only attribute).
std::vector<std::string> ReadOnlyScene(const TempFolder& f, std::string&)
{
    fs::create_directory(f.Path() / "rw");
    fs::permissions(f.Path() / "rw", fs::perms::all);
    const std::string scene = f.Write("rw/old.syncar", Previous);
    fs::permissions(scene, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    return {"DIR/a.ma", "DIR/rw/old.syncar"};
}

TEST(Protection, NoSceneReplacesAnInputOrAFileTheUserMayNotWrite)
{
    RunRows({
        {"a batch whose scene would replace one of its inputs",
         [](const TempFolder& f, std::string&) -> std::vector<std::string> {
             f.Write("out/b.syncar", Previous);
             return {"-d", "DIR/out", "DIR/b.ma", "DIR/out/b.syncar"};
         },
         2, "the scene file 'DIR/out/b.syncar' of 'DIR/b.ma' would replace the INPUT 'DIR/out/b.syncar'", {}},
        {"OUTPUT is the INPUT", [](const TempFolder&, std::string&) -> std::vector<std::string> {
             return {"DIR/a.ma", "DIR/a.ma"};
         },
         2, "the scene file 'DIR/a.ma' of 'DIR/a.ma' would replace the INPUT 'DIR/a.ma'", {}},
        {"a read-only scene file, as an ordinary user", ReadOnlyScene, 1,
         "cannot replace the scene file 'DIR/rw/old.syncar': Permission denied", {}, true},
        {"an export as OUTPUT, as with a forgotten -d", [](const TempFolder&, std::string&) -> std::vector<std::string> {
             return {"DIR/a.ma", "DIR/b.ma"};
         },
         2, "OUTPUT 'DIR/b.ma' " + NotAScene + "; nothing was converted; to convert several exports, write their "
            "scenes to a folder: quorvel-convert -d DIR INPUT...", {}},
        {"-d over a file that is no scene", [](const TempFolder& f, std::string&) -> std::vector<std::string> {
             f.Write("out/b.syncar", "notes\r\n");
             return {"-d", "DIR/out", "DIR/a.ma", "DIR/b.ma"};
         },
         2, "the scene file of 'DIR/b.ma', 'DIR/out/b.syncar' " + NotAScene + "; nothing was converted", {}},
        {"an empty file", [](const TempFolder& f, std::string&) -> std::vector<std::string> {
             f.Write("out/empty.syncar", "");
             return {"DIR/a.ma", "DIR/out/empty.syncar"};
         },
         0, "warning: ", {"out/empty.syncar"}},
    });
}

TEST(ProtectionLinuxOnly, NoSceneIsWrittenThroughAnotherNameOrAForeignLink)
{
    QUORVEL_LINUX_ONLY("symbolic links, owners and sticky folders");
#ifndef _WIN32
    const auto needsRoot = [](std::string& Skip) {
        if (!IsRoot())
            Skip = "only root can give a file to another user";
        return IsRoot();
    };
    // A link of user 4321 in a sticky folder all may write to, as /tmp is.
    const auto foreignLink = [needsRoot](const std::string& Target) {
        return [needsRoot, Target](const TempFolder& f, std::string& Skip) -> std::vector<std::string> {
            fs::permissions(f.Write("victim.conf", "secret\n"), fs::perms::owner_read | fs::perms::owner_write);
            fs::create_directory(f.Path() / "shared");
            fs::permissions(f.Path() / "shared", fs::perms::all | fs::perms::sticky_bit);
            fs::create_symlink(Target, f.Path() / "shared/shot.syncar");
            if (needsRoot(Skip) && ::lchown((f / "shared/shot.syncar").c_str(), 4321, 4321) != 0)
                Skip = "lchown failed";
            return {"DIR/a.ma", "DIR/shared/shot.syncar"};
        };
    };
    // A link of user 4321 to the folder out, in a sticky folder.
    const auto foreignFolderLink = [needsRoot](std::vector<std::string> Args) {
        return [needsRoot, Args](const TempFolder& f, std::string& Skip) -> std::vector<std::string> {
            fs::create_directory(f.Path() / "shared");
            fs::permissions(f.Path() / "shared", fs::perms::all | fs::perms::sticky_bit);
            fs::create_directory_symlink("../out", f.Path() / "shared/link");
            if (needsRoot(Skip) && ::lchown((f / "shared/link").c_str(), 4321, 4321) != 0)
                Skip = "lchown failed";
            return Args;
        };
    };
    const std::string foreign = "it is another user's link in a shared sticky folder";
    RunRows({
        {"another user's link on the way to OUTPUT, as root",
         foreignFolderLink({"DIR/a.ma", "DIR/shared/link/shot.syncar"}), 1,
         "cannot follow the link 'DIR/shared/link' on the way to 'DIR/shared/link/shot.syncar': " + foreign, {}},
        {"another user's link as -d, as root", foreignFolderLink({"-d", "DIR/shared/link", "DIR/a.ma"}), 1,
         "cannot follow the link 'DIR/shared/link' on the way to 'DIR/shared/link/a.syncar': " + foreign, {}},
        {"a symbolic link to a scene written earlier in the run",
         [](const TempFolder& f, std::string&) -> std::vector<std::string> {
             fs::create_symlink("a.syncar", f.Path() / "out/b.syncar");
             return {"-d", "DIR/out", "DIR/a.ma", "DIR/b.ma"};
         },
         1, "DIR/b.ma: not converted: DIR/out/b.syncar is the file DIR/out/a.syncar, already written from DIR/a.ma",
         {"out/a.syncar"}},
        {"another user's 0644 scene file, as an ordinary user",
         [needsRoot](const TempFolder& f, std::string& Skip) -> std::vector<std::string> {
             fs::create_directory(f.Path() / "rw");
             fs::permissions(f.Path() / "rw", fs::perms::all);
             const std::string scene = f.Write("rw/old.syncar", Previous);
             if (needsRoot(Skip) && ::chown(scene.c_str(), 4321, 4321) != 0)
                 Skip = "chown failed";
             return {"DIR/a.ma", "DIR/rw/old.syncar"};
         },
         1, "cannot replace the scene file 'DIR/rw/old.syncar': Permission denied", {}, true},
        {"another user's link to a file in a sticky folder, as root", foreignLink("../victim.conf"), 1,
         "cannot follow the link 'DIR/shared/shot.syncar': it is another user's link in a shared sticky folder",
         {}},
        {"another user's dangling link in a sticky folder, as root", foreignLink("../nothing.syncar"), 1,
         "cannot follow the link 'DIR/shared/shot.syncar': it is another user's link in a shared sticky folder",
         {}},
    });
#endif
}

// Windows, vfat, exFAT and SMB ignore the case of names: A.MA is a.ma.
TEST(ProtectionWindowsOnly, NoSceneIsWrittenTwiceUnderNamesOfAnotherCase)
{
    QUORVEL_WINDOWS_ONLY("Linux file systems tell the case of names apart");
    RunRows({
        {"another case of an input and its scene",
         [](const TempFolder&, std::string&) -> std::vector<std::string> {
             return {"-v", "-d", "DIR/out", "DIR/a.ma", "DIR/A.MA"};
         },
         1, "DIR/A.MA: not converted: DIR/out/A.syncar is the file DIR/out/a.syncar, already written from DIR/a.ma",
         {"out/a.syncar"}},
    });
}

}  // namespace

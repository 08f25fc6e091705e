// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Everything the engine asks of the operating system, in one place, so that
// the conversion steps hold no system calls and no #ifdef. The files of
// posix/ implement it for Linux and other POSIX systems, those of windows/
// for Windows, one a concept. Failures come back as an errno value (0 is
// success), the codes the C library's stream functions set too, so a port
// maps its system's errors onto them; ReasonText puts one into words.
#pragma once

#include "quorvel/file_identity.h"
#include "quorvel/interruption.h"

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::platform {

using ErrorCode = int;

// SceneFile::Locate's refusal of a link that another user may have
// planted; no errno value is negative.
inline constexpr ErrorCode ForeignLinkInSharedFolder = -1;
// SceneFile::PutInPlace's refusal when the scene's name no longer leads to
// the file that was checked (or, for a new scene, leads to a file now).
inline constexpr ErrorCode SceneFileChanged = -2;

// The system's words for Code, such as "No such file or directory".
std::string ReasonText(ErrorCode Code);

enum class PathKind { Missing, Regular, Folder, Other };

// What Path is, following symbolic links; Missing when it cannot be looked at.
PathKind KindOf(const std::string& Path);

// The open descriptor that Path names as the system's own aliases do
// (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N and /proc/PID/fd/N
// of this process); -1 when it names none.
int DescriptorNamed(const std::string& Path);

// Writes all Size bytes to the open Descriptor, retrying when a signal
// interrupts.
ErrorCode WriteToDescriptor(int Descriptor, const char* Data, std::size_t Size);

// The identity of the file at Path (links followed), or of standard input
// for an empty Path; false when there is no such file.
bool IdentifyFile(const std::string& Path, FileIdentity& Identity);

// Records how far the scene of the conversion under way has got, for the
// line an interruption writes. SceneFile::PutInPlace records
// NewSceneInPlace itself, so that an interruption during the rename is told
// rightly which way it went.
void NoteSceneProgress(SceneProgress Progress);

// An export file opened for binary reading.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    ErrorCode Open(const std::string& Path);
    // Reads the process's standard input instead, which is left open.
    void UseStandardInput();
    bool IsFolder() const;
    // Reads up to Size bytes into Buffer and puts their count in Got (0 at
    // the end of the file); retries when a signal interrupts.
    ErrorCode Read(char* Buffer, std::size_t Size, std::size_t& Got);
    // Yes when Path names the file that is open here.
    bool IsSameFileAs(const std::string& Path) const;
    // Yes when the file open here has Identity.
    bool Is(const FileIdentity& Identity) const;
    // Yes when a regular file's size or modification time now differs from
    // when it was opened: it was written to or cut short while it was read.
    // Never for a pipe or a terminal.
    bool HasChanged() const;

private:
    // The size and modification time of a regular file as opened.
    struct Look {
        bool Regular = false;
        long long Size = 0;
        long long Modified = 0;  // in the system's finest unit
    };
    Look LookNow() const;

    int fd_ = -1;
    bool owned_ = true;
    Look opened_;
};

// What a scene file's name leads to when the scene is about to be written.
struct ExistingFile {
    PathKind Kind = PathKind::Missing;
    FileIdentity Identity;
    long long Links = 0;  // the names it has, this one included
};

// The first bytes of an existing scene file that tell what it is.
inline constexpr std::size_t HeadSize = 17;

// The file a scene is written to before it is complete. Removed (or never
// given a name) unless PutInPlace puts it in place. Every step after
// Locate works in the folder Locate opened, never through the path again,
// so that a folder or link swapped meanwhile cannot send the scene elsewhere.
class SceneFile {
public:
    SceneFile() = default;
    ~SceneFile();
    SceneFile(const SceneFile&) = delete;
    SceneFile& operator=(const SceneFile&) = delete;

    // Follows the symbolic links at the end of Path, so that a scene written
    // there replaces the file and keeps the link; opens, once, the folder
    // the scene goes to, and looks at what its name holds there without
    // following links. As the kernel's protected-symlinks rule would have
    // it, every link on the way in a sticky folder that all may write to
    // (such as /tmp) is followed only when it belongs to this user or to the
    // folder's owner: ForeignLinkInSharedFolder, with Link naming it.
    ErrorCode Locate(const std::string& Path, ExistingFile& Existing, std::string& Link);
    // After Locate found a regular file: 0 when this user may write it, by
    // the system's own rules (its mode, its owner, access lists, the
    // read-only attribute on Windows; root and administrators keep their
    // rights); otherwise why not.
    ErrorCode CheckMayWrite() const;
    // After Locate found no file there: 0 when this user may create one in
    // the folder Locate opened; otherwise why not.
    ErrorCode CheckMayCreate() const;
    // ... and its first HeadSize bytes, or fewer when it is shorter.
    ErrorCode ReadHead(std::string& Head);

    // Creates the file in the folder Locate opened, for PutInPlace to put
    // in the place of the name.
    ErrorCode Create();
    // Creates a file that standard output's scene is staged in, in the
    // user's folder for temporary files, named in Folder (also on failure).
    ErrorCode CreateStaging(std::string& Folder);

    std::FILE* Stream() const { return stream_; }

    // After Create, once the scene is in the stream: gives the file what
    // the file it replaces carries (owner and group where the system lets
    // this user, permissions without set-user-ID, set-group-ID and sticky
    // bits, extended attributes and with them access lists; on Windows its
    // attributes), hands the stream's bytes to the system and starts their
    // write-back. An extended attribute the file system refuses is an
    // error, named in Attribute.
    ErrorCode Complete(std::string& Attribute);
    // ... (Complete first, if it was not called), makes the file durable
    // unless MakeDurableTogether did, and closes it ...
    ErrorCode Finish(std::string& Attribute);
    // ... then, when the name still leads to the file Locate found (or
    // still to none), puts it in place in one step: SceneFileChanged when not.
    ErrorCode PutInPlace();

private:
    void Discard();
    friend bool MakeDurableTogether(const std::vector<SceneFile*>& Scenes);

    std::FILE* stream_ = nullptr;
    bool completed_ = false;
    bool durable_ = false;
    unsigned long long created_ = 0;  // the order of Create calls
    std::string target_;  // the scene's path, or its name in folder_
    std::string path_;    // the file's name while it is written, if it has one
    bool committed_ = false;
    int slot_ = -1;  // where the interruption handler finds path_
    bool exists_ = false;
    FileIdentity identity_;  // of the file replaced
    int folder_ = -1;  // the folder Locate opened (POSIX)
    int old_ = -1;     // the file replaced, open for reading (POSIX)
};

// Makes the complete scene files Scenes durable with one flush of each
// file system they are on, rather than one flush after another; their
// Finish then waits for nothing more. False where the system cannot (no
// such call, or one that does not report a failed write-back, as Linux
// before 5.8) or the flush failed: each Finish then makes its own file
// durable, and tells its own failure.
bool MakeDurableTogether(const std::vector<SceneFile*>& Scenes);

// Interruption (SIGINT, SIGTERM, SIGHUP and their kin):
// StopCleanlyOnInterruption in quorvel/interruption.h is implemented beside
// the rest of this file, and removes the named SceneFile being written, if any.

// Asks the system to start writing Size bytes of Stream from Offset to disk,
// so that a later flush has little left to wait for (Size 0: to the end of
// the file). Only a hint.
void StartWriteBack(std::FILE* Stream, long long Offset, std::size_t Size);

// How many processors this process may run on (its affinity mask, which a
// farm's CPU limits set), at least 1; 1 where threads cannot be started.
int UsableProcessors();

// Whether this build can start threads at all.
bool ThreadsAvailable();

// A thread running Work that never takes an ending signal, so that the
// interruption handler always runs on the thread that writes the scene.
std::thread StartThread(std::function<void()> Work);

}  // namespace quorvel::platform

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What the POSIX implementation's files of platform.h share: the named
// files an interruption removes, and the temporary files a scene is
// written to beside its target.
#pragma once

#include "platform.h"

#include <atomic>
#include <cerrno>
#include <string>
#include <string_view>
#include <fcntl.h>

namespace quorvel::platform {

// Named files being written, for the interruption handler to remove. The
// slot that now holds Path, or -1 when none is free or Path is too long
// (the file is then only removed by its owner).
int Register(int Folder, const std::string& Path);
void Unregister(int Slot);

// The slot of a file being renamed into place: the interruption handler
// tells from it whether the new scene is in place.
extern std::atomic<int> committingSlot;

// Where a temporary file is made: a folder open as Fd, its names given
// relative to it, or a folder's path Text (Fd AT_FDCWD).
struct Place {
    int Fd = AT_FDCWD;
    std::string Text;
};

// A new name for a temporary file beside Name in Where: ".Name.XXXXXX"
// with six random characters, Name cut (between characters) so that the
// whole stays within the folder's limit for names, which Name alone may
// reach; never more than 255 bytes, as some file systems count the limit
// in UTF-16 units and report more.
std::string TemporaryPath(const Place& Where, std::string_view Name);

// Makes a new file at a TemporaryPath with Make (which returns 0 or an
// errno value), registered for the interruption handler from before it
// exists. A name that is taken is tried again with other letters; one
// that is still too long for the file system, with a short one.
template <typename MakeFile>
ErrorCode MakeNamed(const Place& Where, std::string_view Name, std::string& Path, int& Slot, MakeFile Make)
{
    ErrorCode error = EEXIST;
    for (int attempt = 0; attempt < 100 && (error == EEXIST || error == ENAMETOOLONG); ++attempt) {
        Path = TemporaryPath(Where, Name);
        Slot = Register(Where.Fd, Path);
        error = Make(Path);
        if (error == 0)
            return 0;
        Unregister(Slot);
        Slot = -1;
        if (error == ENAMETOOLONG) {
            if (Name == "quorvel")
                break;
            Name = "quorvel";
        }
    }
    Path.clear();
    return error;
}

ErrorCode OpenNamed(const Place& Where, const std::string& Path, int Flags, int& Fd);

// A file in Where with no name at all, which vanishes with the process
// whatever ends it; -1 where the file system cannot hold one.
int OpenUnnamed(const Place& Where, int Flags);

// An unnamed file is given its name through /proc.
std::string ProcessFdPath(int Fd);

bool CanNameUnnamedFiles();

// What the file open as Old carries, put on Fd: owner and group where the
// system lets this process (a refusal is no failure: vfat, some network
// shares, or a file of another user when not root), the extended
// attributes, and the permissions without the set-user-ID, set-group-ID
// and sticky bits. When the group cannot be kept, its rights are not given
// to the group the new file has instead.
ErrorCode KeepAttributes(int Fd, int Old, std::string& Attribute);

}  // namespace quorvel::platform

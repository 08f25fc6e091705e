// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Which file a name leads to. Two names for one file (letters of another
// case on a disk that ignores case, a symbolic link, a Windows short name,
// another Unicode normalisation) give one identity; names compared as text
// would take them for two files.
#pragma once

#include <compare>
#include <optional>
#include <string>

namespace quorvel {

// The device and inode on POSIX systems; the volume serial number and file
// index on Windows.
struct FileIdentity {
    unsigned long long Device = 0;
    unsigned long long Number = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

// The identity of the file at Path, symbolic links followed; none when
// there is no file there.
std::optional<FileIdentity> IdentityOf(const std::string& Path);

// The identity of the file standard input reads, when it is a file.
std::optional<FileIdentity> IdentityOfStandardInput();

}  // namespace quorvel

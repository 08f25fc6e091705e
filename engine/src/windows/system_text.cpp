// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Text between UTF-8 and UTF-16, and Windows' errors as errno values and
// in words.
#include "windows/windows_shared.h"

#include <cerrno>
#include <cstring>

namespace quorvel::platform {

std::wstring Wide(const std::string& Utf8)
{
    if (Utf8.empty())
        return {};
    const int size = static_cast<int>(Utf8.size());
    std::wstring wide(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), size, nullptr, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), size, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

std::string Utf8(const std::wstring& Wide)
{
    if (Wide.empty())
        return {};
    const int size = static_cast<int>(Wide.size());
    std::string utf8(static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, Wide.data(), size, nullptr, 0, nullptr, nullptr)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, Wide.data(), size, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
    return utf8;
}

ErrorCode ErrnoOf(DWORD Error)
{
    switch (Error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_CANNOT_MAKE:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_INVALID_NAME:
        return EINVAL;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    default:
        return EIO;
    }
}

ErrorCode LastError() { return ErrnoOf(::GetLastError()); }

std::string ReasonText(ErrorCode Code)
{
    if (Code == ForeignLinkInSharedFolder)
        return "it is another user's link in a shared folder, where such links are not followed";
    if (Code == SceneFileChanged)
        return "the scene file changed during the conversion (its name leads to another file now), "
               "so nothing was replaced";
    // The C library's words for this one speak of devices.
    if (Code == EBUSY)
        return "it is open in another program; close it there and try again";
    return std::strerror(Code);
}

}  // namespace quorvel::platform

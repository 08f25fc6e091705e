// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Finding the file a scene goes to, links at the end followed, and
// whether this user may write it or create it.
#include "windows/windows_shared.h"

#include <cerrno>

namespace quorvel::platform {

namespace {

// Path with the links at its end followed: the final path of what a
// symbolic link or junction leads to, Path itself when it is none.
ErrorCode FollowLinks(const std::string& Path, std::string& Target)
{
    Target = Path;
    const DWORD attributes = IsDeviceName(Path) ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(Wide(Path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return 0;
    // A symbolic link or junction: the final path of what it leads to.
    const HANDLE file = OpenToLookAt(Path);
    if (file == INVALID_HANDLE_VALUE)
        return LastError();
    std::wstring final(MAX_PATH, L'\0');
    DWORD size = 0;
    for (;;) {
        size = ::GetFinalPathNameByHandleW(file, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
        if (size < final.size())
            break;
        final.resize(size);
    }
    const ErrorCode error = size == 0 ? LastError() : 0;
    ::CloseHandle(file);
    if (error)
        return error;
    final.resize(size);
    // \\?\C:\... and \\?\UNC\server\... as they are usually written.
    if (final.starts_with(L"\\\\?\\UNC\\"))
        final = L"\\\\" + final.substr(8);
    else if (final.starts_with(L"\\\\?\\"))
        final = final.substr(4);
    Target = Utf8(final);
    return 0;
}

ErrorCode MayWrite(const std::string& Path)
{
    // Opening it for writing asks the file's access list and its read-only
    // attribute, and changes nothing. A program that holds it open is told
    // of when the scene is put in place. The attribute is also asked
    // directly: Wine run by root would open the file anyway.
    const DWORD attributes = ::GetFileAttributesW(Wide(Path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return EACCES;
    const HANDLE file = ::CreateFileW(Wide(Path).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
        return 0;
    }
    const DWORD error = ::GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? 0 : ErrnoOf(error);
}

}  // namespace

ErrorCode SceneFile::Locate(const std::string& Path, ExistingFile& Existing, std::string&)
{
    if (const ErrorCode error = FollowLinks(Path, target_))
        return error;
    Existing = {};
    Existing.Kind = KindOf(target_);
    if (Existing.Kind != PathKind::Regular)
        return 0;
    const HANDLE file = OpenToLookAt(target_);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool found = Identify(file, info);
    if (file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
    if (!found)
        return LastError();
    Existing.Identity = identity_ = IdentityIn(info);
    Existing.Links = info.nNumberOfLinks;
    exists_ = true;
    return 0;
}

ErrorCode SceneFile::CheckMayWrite() const { return MayWrite(target_); }

// Opening the folder for adding a file asks its access list and creates
// nothing; its read-only attribute does not keep files out of it.
ErrorCode SceneFile::CheckMayCreate() const
{
    const std::wstring target = Wide(target_);
    const std::size_t slash = target.find_last_of(L"/\\:");
    std::wstring folder = slash == std::wstring::npos ? L"." : target.substr(0, slash + 1);
    if (folder.back() == L':')
        folder += L'.';
    const HANDLE file = ::CreateFileW(folder.c_str(), FILE_ADD_FILE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const ErrorCode error = LastError();
        // A file where the folder should be: no such folder, as creating
        // the scene there would say.
        const std::wstring named = folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder;
        const DWORD attributes = ::GetFileAttributesW(named.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) ? ENOENT : error;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool isFolder = Identify(file, info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    ::CloseHandle(file);
    return isFolder ? 0 : ENOENT;
}

}  // namespace quorvel::platform

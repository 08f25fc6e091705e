// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The export file as it is read.
#include "windows/windows_shared.h"

#include <algorithm>
#include <fcntl.h>
#include <io.h>

namespace quorvel::platform {

InputFile::~InputFile()
{
    if (fd_ >= 0 && owned_)
        ::_close(fd_);
}

void InputFile::UseStandardInput()
{
    fd_ = ::_fileno(stdin);
    owned_ = false;
    opened_ = LookNow();
}

InputFile::Look InputFile::LookNow() const
{
    const HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!Identify(file, info) || ::GetFileType(file) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return {true, static_cast<long long>((static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow),
            static_cast<long long>((static_cast<unsigned long long>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                   info.ftLastWriteTime.dwLowDateTime)};
}

bool InputFile::HasChanged() const
{
    if (!opened_.Regular)
        return false;
    const Look now = LookNow();
    return now.Size != opened_.Size || now.Modified != opened_.Modified;
}

ErrorCode InputFile::Open(const std::string& Path)
{
    // Others may go on writing, renaming or deleting it, as on Linux; a
    // folder opens too, for IsFolder to tell.
    const HANDLE file = ::CreateFileW(Wide(Path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN,
                                      nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return LastError();
    fd_ = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd_ < 0) {
        ::CloseHandle(file);
        return EMFILE;
    }
    opened_ = LookNow();
    return 0;
}

bool InputFile::IsFolder() const
{
    BY_HANDLE_FILE_INFORMATION info{};
    return Identify(reinterpret_cast<HANDLE>(::_get_osfhandle(fd_)), info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

ErrorCode InputFile::Read(char* Buffer, std::size_t Size, std::size_t& Got)
{
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(Size, 1u << 30));
    if (!::ReadFile(reinterpret_cast<HANDLE>(::_get_osfhandle(fd_)), Buffer, wanted, &got, nullptr)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_BROKEN_PIPE && error != ERROR_HANDLE_EOF)
            return ErrnoOf(error);
    }
    Got = got;
    return 0;
}

bool InputFile::Is(const FileIdentity& Identity) const
{
    BY_HANDLE_FILE_INFORMATION input{};
    return Identify(reinterpret_cast<HANDLE>(::_get_osfhandle(fd_)), input) && IdentityIn(input) == Identity;
}

// The same volume and the same file number: the same file, whatever links
// or names lead to it.
bool InputFile::IsSameFileAs(const std::string& Path) const
{
    BY_HANDLE_FILE_INFORMATION input{};
    BY_HANDLE_FILE_INFORMATION other{};
    const HANDLE file = OpenToLookAt(Path);
    const bool same = Identify(reinterpret_cast<HANDLE>(::_get_osfhandle(fd_)), input) &&
                      Identify(file, other) && input.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
                      input.nFileIndexHigh == other.nFileIndexHigh &&
                      input.nFileIndexLow == other.nFileIndexLow;
    if (file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
    return same;
}

}  // namespace quorvel::platform

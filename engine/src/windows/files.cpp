// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Paths and descriptors: what a path is, which file it leads to, and
// writing to a descriptor.
#include "windows/windows_shared.h"

#include <algorithm>
#include <cerrno>
#include <io.h>

namespace quorvel::platform {

bool IsDeviceName(const std::string& Path)
{
    const std::size_t slash = Path.find_last_of("/\\:");
    std::string name = Path.substr(slash == std::string::npos ? 0 : slash + 1);
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    for (char& c : name)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" ||
        name == "CONOUT$")
        return true;
    return name.size() == 4 && (name.starts_with("COM") || name.starts_with("LPT")) &&
           name[3] >= '1' && name[3] <= '9';
}

HANDLE OpenToLookAt(const std::string& Path)
{
    return ::CreateFileW(Wide(Path).c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool Identify(HANDLE File, BY_HANDLE_FILE_INFORMATION& Info)
{
    return File != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(File, &Info);
}

FileIdentity IdentityIn(const BY_HANDLE_FILE_INFORMATION& Info)
{
    return {Info.dwVolumeSerialNumber, (static_cast<unsigned long long>(Info.nFileIndexHigh) << 32) | Info.nFileIndexLow};
}

PathKind KindOf(const std::string& Path)
{
    if (IsDeviceName(Path))
        return PathKind::Other;
    const HANDLE file = OpenToLookAt(Path);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool found = Identify(file, info);
    const DWORD type = found ? ::GetFileType(file) : FILE_TYPE_UNKNOWN;
    if (file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
    if (!found)
        return PathKind::Missing;
    if (type != FILE_TYPE_DISK)
        return PathKind::Other;
    return info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? PathKind::Folder : PathKind::Regular;
}

// Windows' descriptors have no names in the file system.
int DescriptorNamed(const std::string&) { return -1; }

ErrorCode WriteToDescriptor(int Descriptor, const char* Data, std::size_t Size)
{
    while (Size > 0) {
        const int wrote = ::_write(Descriptor, Data, static_cast<unsigned>(std::min<std::size_t>(Size, 1u << 30)));
        if (wrote <= 0)
            return wrote < 0 ? errno : EIO;
        Data += wrote;
        Size -= static_cast<std::size_t>(wrote);
    }
    return 0;
}

bool IdentifyFile(const std::string& Path, FileIdentity& Identity)
{
    BY_HANDLE_FILE_INFORMATION info{};
    bool found = false;
    if (Path.empty()) {
        found = Identify(::GetStdHandle(STD_INPUT_HANDLE), info) && ::GetFileType(::GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_DISK;
    } else if (!IsDeviceName(Path)) {
        const HANDLE file = OpenToLookAt(Path);
        found = Identify(file, info);
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
    }
    if (found) {
        Identity = {info.dwVolumeSerialNumber,
                    (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    }
    return found;
}

// Windows has no call to start writing back part of a file.
void StartWriteBack(std::FILE*, long long, std::size_t) {}

}  // namespace quorvel::platform

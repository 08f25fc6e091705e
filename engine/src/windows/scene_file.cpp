// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The scene file written beside its target and put in its place, and the
// file standard output's scene is staged in.
#include "windows/windows_shared.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <random>

namespace quorvel::platform {

namespace {

// A new file in Folder named Prefix and six random characters, open for
// writing (and reading, with Flags asking for it), with Path its name.
HANDLE CreateUnique(const std::wstring& Folder, const std::wstring& Prefix, DWORD Access,
                    DWORD Flags, std::wstring& Path)
{
    static const wchar_t Letters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        Path = Folder + Prefix;
        for (int i = 0; i < 6; ++i)
            Path += Letters[random() % 36];
        const HANDLE file = ::CreateFileW(Path.c_str(), Access, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          nullptr, CREATE_NEW, Flags, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

// A C stream on File, which it then owns; nullptr (File closed) on failure.
std::FILE* StreamOn(HANDLE File, int Flags, const char* Mode)
{
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(File), Flags | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(File);
        return nullptr;
    }
    std::FILE* stream = ::_fdopen(fd, Mode);
    if (!stream)
        ::_close(fd);
    return stream;
}

HANDLE HandleOf(std::FILE* Stream) { return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(Stream))); }

}  // namespace

SceneFile::~SceneFile() { Discard(); }

void SceneFile::Discard()
{
    if (stream_)
        std::fclose(stream_);
    stream_ = nullptr;
    if (!committed_ && !path_.empty())
        ::DeleteFileW(Wide(path_).c_str());
    Unregister(slot_);
    slot_ = -1;
}

ErrorCode SceneFile::ReadHead(std::string& Head)
{
    const HANDLE file = ::CreateFileW(Wide(target_).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return LastError();
    BY_HANDLE_FILE_INFORMATION info{};
    Head.assign(HeadSize, '\0');
    DWORD got = 0;
    ErrorCode error = 0;
    if (!Identify(file, info))
        error = LastError();
    else if (IdentityIn(info) != identity_)
        error = SceneFileChanged;
    else if (!::ReadFile(file, Head.data(), static_cast<DWORD>(HeadSize), &got, nullptr))
        error = LastError();
    ::CloseHandle(file);
    Head.resize(got);
    return error;
}

ErrorCode SceneFile::Create()
{
    const std::wstring target = Wide(target_);
    const std::size_t slash = target.find_last_of(L"/\\:");
    const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    std::wstring name = slash == std::wstring::npos ? target : target.substr(slash + 1);
    // ".NAME.XXXXXX" within the 255 UTF-16 units a name may have, cut
    // between characters.
    std::size_t keep = std::min<std::size_t>(name.size(), 255 - 8);
    while (keep > 0 && keep < name.size() && name[keep] >= 0xDC00 && name[keep] <= 0xDFFF)
        --keep;
    name.resize(keep);
    std::wstring path;
    const HANDLE file = CreateUnique(folder, L"." + name + L".", GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL, path);
    if (file == INVALID_HANDLE_VALUE)
        return LastError();
    path_ = Utf8(path);
    slot_ = Register(path);
    stream_ = StreamOn(file, _O_WRONLY, "wb");
    if (!stream_) {
        Discard();
        return EMFILE;
    }
    return 0;
}

ErrorCode SceneFile::CreateStaging(std::string& Folder)
{
    std::wstring folder(MAX_PATH + 1, L'\0');
    folder.resize(::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data()));
    Folder = Utf8(folder);
    if (folder.empty())
        return LastError();
    // Gone when closed, however the program ends.
    std::wstring path;
    const HANDLE file = CreateUnique(folder, L"quorvel-", GENERIC_READ | GENERIC_WRITE,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, path);
    if (file == INVALID_HANDLE_VALUE)
        return LastError();
    stream_ = StreamOn(file, _O_RDWR, "w+b");
    return stream_ ? 0 : EMFILE;
}

ErrorCode SceneFile::Complete(std::string&)
{
    // The new file keeps the permissions the folder gives it: Windows
    // keeps them in access lists, which a file inherits from its folder.
    if (!completed_ && std::fflush(stream_) != 0)
        return errno;
    completed_ = true;
    return 0;
}

// Flushing a whole volume takes an administrator's rights: each file is
// flushed by itself.
bool MakeDurableTogether(const std::vector<SceneFile*>&) { return false; }

ErrorCode SceneFile::Finish(std::string& Attribute)
{
    if (const ErrorCode error = Complete(Attribute))
        return error;
    if (!durable_ && !::FlushFileBuffers(HandleOf(stream_)))
        return LastError();
    std::FILE* stream = stream_;
    stream_ = nullptr;
    return std::fclose(stream) != 0 ? errno : 0;
}

namespace {

// Puts the file Path in Target's place: over an existing file with
// ReplaceFileW, which gives it the old file's access list, attributes and
// streams (the attributes are also given first, for systems whose
// ReplaceFileW keeps fewer), or by a rename.
bool Replace(const std::wstring& Path, const std::wstring& Target, bool Exists)
{
    if (!Exists)
        return ::MoveFileExW(Path.c_str(), Target.c_str(), MOVEFILE_WRITE_THROUGH);
    constexpr DWORD Kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    // Not even tried while another program holds the old file without
    // sharing it for deleting: Wine's ReplaceFileW leaves a file behind then.
    const HANDLE held = ::CreateFileW(Target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (held == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(held);
    const DWORD old = ::GetFileAttributesW(Target.c_str());
    if (old != INVALID_FILE_ATTRIBUTES && (old & Kept) != 0)
        ::SetFileAttributesW(Path.c_str(), old & Kept);
    if (::ReplaceFileW(Target.c_str(), Path.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return true;
    // The old file is gone and the new one still has its own name.
    if (::GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
        return ::MoveFileExW(Path.c_str(), Target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    return false;
}

}  // namespace

ErrorCode SceneFile::PutInPlace()
{
    const std::wstring path = Wide(path_);
    const std::wstring target = Wide(target_);
    // The name must still lead to the file whose rights were checked.
    {
        const HANDLE file = OpenToLookAt(target_);
        BY_HANDLE_FILE_INFORMATION info{};
        const bool there = Identify(file, info);
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
        if (there != exists_ || (there && IdentityIn(info) != identity_))
            return SceneFileChanged;
    }
    committingSlot.store(slot_);
    // A virus scanner or an indexer may hold the old file for a moment.
    for (int attempt = 0;; ++attempt) {
        if (Replace(path, target, exists_))
            break;
        const DWORD error = ::GetLastError();
        committingSlot.store(-1);
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 5) {
            // Access is refused too when another program has the old file
            // open without sharing it for deleting: say so.
            const HANDLE old = ::CreateFileW(target.c_str(), DELETE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            if (old != INVALID_HANDLE_VALUE)
                ::CloseHandle(old);
            else if (::GetLastError() == ERROR_SHARING_VIOLATION)
                return EBUSY;
            return ErrnoOf(error);
        }
        ::Sleep(20 << attempt);
        committingSlot.store(slot_);
    }
    NoteSceneProgress(SceneProgress::NewSceneInPlace);
    committingSlot.store(-1);
    committed_ = true;
    Unregister(slot_);
    slot_ = -1;
    return 0;
}

}  // namespace quorvel::platform

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The engine's operating-system calls on Windows. Paths arrive as UTF-8 and
// go to the wide (UTF-16) calls; files are opened in binary mode, so that no
// byte is translated and a Ctrl-Z byte ends nothing. Windows' error codes
// are mapped onto errno values, as platform.h asks.
#include "platform.h"

#include "quorvel/interruption.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <mutex>
#include <random>
#include <windows.h>

namespace quorvel::platform {

namespace {

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

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 name devices in every
// folder, also with an extension (nul.syncar) or trailing blanks.
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

// A handle for looking at Path (what it is, which file it is), following
// links; INVALID_HANDLE_VALUE when there is nothing to look at.
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

// Named files being written, for the console's interruption handler (a
// thread of its own) to delete; how far the scene under way has got, and
// the slot of a file being renamed into place.
std::mutex namedFilesLock;
std::wstring namedFiles[64];  // one per scene of a batch's jobs at most
const InterruptionLines* interruptionLines = nullptr;
std::atomic<int> sceneProgress{static_cast<int>(SceneProgress::NoneWritten)};
std::atomic<int> committingSlot{-1};
std::atomic<const char*> batchLine{nullptr};

int Register(const std::wstring& Path)
{
    const std::lock_guard lock(namedFilesLock);
    for (int slot = 0; slot < static_cast<int>(std::size(namedFiles)); ++slot) {
        if (namedFiles[slot].empty()) {
            namedFiles[slot] = Path;
            return slot;
        }
    }
    return -1;
}

void Unregister(int Slot)
{
    const std::lock_guard lock(namedFilesLock);
    if (Slot >= 0)
        namedFiles[Slot].clear();
}

BOOL WINAPI OnInterruption(DWORD Event)
{
    if (Event != CTRL_C_EVENT && Event != CTRL_BREAK_EVENT && Event != CTRL_CLOSE_EVENT)
        return FALSE;
    bool renamed = false;
    {
        // Not released: the process ends here, before a commit could start.
        namedFilesLock.lock();
        const int committing = committingSlot.load();
        for (int slot = 0; slot < static_cast<int>(std::size(namedFiles)); ++slot) {
            // The file is shared for deleting; once renamed into place it
            // is gone from its temporary name.
            if (!namedFiles[slot].empty() && !::DeleteFileW(namedFiles[slot].c_str()) && slot == committing &&
                ::GetLastError() == ERROR_FILE_NOT_FOUND)
                renamed = true;
        }
    }
    const int progress = renamed ? static_cast<int>(SceneProgress::NewSceneInPlace) : sceneProgress.load();
    DWORD written = 0;
    if (const char* batch = interruptionLines ? batchLine.load() : nullptr) {
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), batch, static_cast<DWORD>(std::strlen(batch)), &written,
                    nullptr);
    }
    if (interruptionLines) {
        const char* line = (*interruptionLines)[static_cast<std::size_t>(progress)];
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(std::strlen(line)), &written,
                    nullptr);
    }
    // At once: an orderly exit would wait for locks the main thread holds.
    ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

}  // namespace

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

FileIdentity IdentityIn(const BY_HANDLE_FILE_INFORMATION& Info)
{
    return {Info.dwVolumeSerialNumber, (static_cast<unsigned long long>(Info.nFileIndexHigh) << 32) | Info.nFileIndexLow};
}

}  // namespace

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

void NoteSceneProgress(SceneProgress Progress) { sceneProgress.store(static_cast<int>(Progress)); }

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

// Windows has no call to start writing back part of a file.
void StartWriteBack(std::FILE*, long long, std::size_t) {}

bool ThreadsAvailable() { return true; }

int UsableProcessors()
{
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0)
        return std::popcount(static_cast<unsigned long long>(process));
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

// Console events are handled on a thread of their own: nothing to hold back.
std::thread StartThread(std::function<void()> Work) { return std::thread(std::move(Work)); }

}  // namespace quorvel::platform

namespace quorvel {

void StopCleanlyOnInterruption(const InterruptionLines& Lines)
{
    platform::interruptionLines = &Lines;
    ::SetConsoleCtrlHandler(platform::OnInterruption, TRUE);
}

void NoteBatchProgress(const char* Line) { platform::batchLine.store(Line); }

void NoteSceneUnderWay(SceneProgress Progress) { platform::NoteSceneProgress(Progress); }

// The console's handler runs on a thread of its own whichever thread works.
void KeepInterruptionsFromThisThread() {}

}  // namespace quorvel

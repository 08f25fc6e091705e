// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The engine's operating-system calls on Linux and other POSIX systems.
#include "platform.h"

#include "quorvel/interruption.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::platform {

namespace {

// Named files being written, for the interruption handler to remove: it
// may look at nothing but these fixed slots.
struct NamedFile {
    std::atomic<int> State{0};  // Free, Filling or Ready
    char Path[PATH_MAX];
};
enum { Free, Filling, Ready };
NamedFile namedFiles[4];

// The slot that now holds Path, or -1 when none is free or Path is too long
// (the file is then only removed by its owner).
int Register(const std::string& Path)
{
    if (Path.size() >= PATH_MAX)
        return -1;
    for (int slot = 0; slot < static_cast<int>(std::size(namedFiles)); ++slot) {
        int expected = Free;
        if (namedFiles[slot].State.compare_exchange_strong(expected, Filling)) {
            std::memcpy(namedFiles[slot].Path, Path.c_str(), Path.size() + 1);
            namedFiles[slot].State.store(Ready);
            return slot;
        }
    }
    return -1;
}

void Unregister(int Slot)
{
    if (Slot >= 0)
        namedFiles[Slot].State.store(Free);
}

// What the interruption handler reads: the lines it may write, how far the
// scene under way has got, and the slot of a file being renamed into place.
const InterruptionLines* interruptionLines = nullptr;
std::atomic<int> sceneProgress{static_cast<int>(SceneProgress::NoneWritten)};
std::atomic<int> committingSlot{-1};

// Signals whose default action also writes a core file: a cleaned-up stop
// has nothing to dump, so the program exits with 128 + the signal instead.
bool DumpsCore(int Signal) { return Signal == SIGQUIT || Signal == SIGXCPU; }

// Only async-signal-safe calls: unlink, poll, write, sigaction,
// sigprocmask, raise, _exit.
extern "C" void OnInterruption(int Signal)
{
    const int saveErrno = errno;
    // A file being renamed into place is gone from its temporary name once
    // the rename is done: the new scene is then in place.
    const int committing = committingSlot.load();
    bool renamed = false;
    for (int slot = 0; slot < static_cast<int>(std::size(namedFiles)); ++slot) {
        NamedFile& file = namedFiles[slot];
        if (file.State.load() == Ready && ::unlink(file.Path) != 0 && slot == committing && errno == ENOENT)
            renamed = true;
    }
    const int progress = renamed ? static_cast<int>(SceneProgress::NewSceneInPlace) : sceneProgress.load();
    // Standard error may be a pipe nobody reads for now: the line waits a
    // little for room, and the program ends in any case.
    pollfd error{STDERR_FILENO, POLLOUT, 0};
    if (interruptionLines && ::poll(&error, 1, 2000) == 1 && (error.revents & POLLOUT)) {
        const char* line = (*interruptionLines)[static_cast<std::size_t>(progress)];
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line, std::strlen(line));
    }
    errno = saveErrno;
    if (DumpsCore(Signal))
        ::_exit(128 + Signal);
    // Ended by the signal itself, so that the caller sees which one it was.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    ::sigaction(Signal, &standard, nullptr);
    sigset_t signals;
    ::sigemptyset(&signals);
    ::sigaddset(&signals, Signal);
    ::sigprocmask(SIG_UNBLOCK, &signals, nullptr);
    ::raise(Signal);
    ::_exit(128 + Signal);
}

std::uint64_t RandomNumber()
{
    // splitmix64 over a counter that starts from the clock and the process.
    static std::atomic<std::uint64_t> counter{
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<std::uint64_t>(::getpid()) << 40)};
    std::uint64_t z = counter.fetch_add(0x9e3779b97f4a7c15) + 0x9e3779b97f4a7c15;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
    return z ^ (z >> 31);
}

// A new name for a temporary file beside Name in Folder: ".Name.XXXXXX"
// with six random characters, Name cut (between characters) so that the
// whole stays within the folder's limit for names, which Name alone may
// reach; never more than 255 bytes, as some file systems count the limit
// in UTF-16 units and report more.
std::string TemporaryPath(const std::string& Folder, std::string_view Name)
{
    long limit = ::pathconf(Folder.c_str(), _PC_NAME_MAX);
    if (limit <= 0 || limit > 255)
        limit = 255;
    constexpr std::size_t Added = 8;
    std::size_t keep = std::min(Name.size(), static_cast<std::size_t>(limit) - Added);
    while (keep > 0 && keep < Name.size() && (static_cast<unsigned char>(Name[keep]) & 0xc0) == 0x80)
        --keep;
    std::string path = Folder;
    path.append("/.").append(Name.substr(0, keep)).push_back('.');
    constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::uint64_t random = RandomNumber();
    for (int i = 0; i < 6; ++i, random /= 62)
        path.push_back(Letters[random % 62]);
    return path;
}

// Makes a new file at a TemporaryPath with Make (which returns 0 or an
// errno value), registered for the interruption handler from before it
// exists. A name that is taken is tried again with other letters; one
// that is still too long for the file system, with a short one.
template <typename MakeFile>
ErrorCode MakeNamed(const std::string& Folder, std::string_view Name, std::string& Path, int& Slot,
                    MakeFile Make)
{
    ErrorCode error = EEXIST;
    for (int attempt = 0; attempt < 100 && (error == EEXIST || error == ENAMETOOLONG); ++attempt) {
        Path = TemporaryPath(Folder, Name);
        Slot = Register(Path);
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

ErrorCode OpenNamed(const std::string& Path, int Flags, int& Fd)
{
    Fd = ::open(Path.c_str(), Flags | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return Fd < 0 ? errno : 0;
}

// A file in Folder with no name at all, which vanishes with the process
// whatever ends it; -1 where the file system cannot hold one.
int OpenUnnamed(const std::string& Folder, int Flags)
{
#ifdef O_TMPFILE
    return ::open(Folder.c_str(), Flags | O_TMPFILE | O_CLOEXEC, 0666);
#else
    (void)Folder;
    (void)Flags;
    return -1;
#endif
}

// An unnamed file is given its name through /proc.
std::string ProcessFdPath(int Fd) { return "/proc/self/fd/" + std::to_string(Fd); }

bool CanNameUnnamedFiles()
{
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// The permissions, owner and group of the file at Target, where the system
// lets this process give them to Fd; a refusal is no failure (vfat, some
// network shares, or a file of another user when not root).
void KeepAttributes(int Fd, const std::string& Target)
{
    struct stat old {};
    struct stat now {};
    if (::stat(Target.c_str(), &old) != 0 || ::fstat(Fd, &now) != 0)
        return;
    // Owner first: a change of owner may clear the set-user-ID bits.
    if ((old.st_uid != now.st_uid || old.st_gid != now.st_gid) &&
        ::fchown(Fd, old.st_uid, old.st_gid) != 0 && old.st_gid != now.st_gid &&
        ::fchown(Fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        // best effort: the new file keeps this process's owner and group
    }
    if ((old.st_mode & 07777) != (now.st_mode & 07777) && ::fchmod(Fd, old.st_mode & 07777) != 0) {
        // best effort: the new file keeps the permissions it was made with
    }
}

}  // namespace

std::string ReasonText(ErrorCode Code)
{
    if (Code == ForeignLinkInSharedFolder) {
        return "it is another user's link in a shared sticky folder (such as /tmp), "
               "where such links are not followed";
    }
    return std::strerror(Code);
}

PathKind KindOf(const std::string& Path)
{
    struct stat info {};
    if (::stat(Path.c_str(), &info) != 0)
        return PathKind::Missing;
    if (S_ISREG(info.st_mode))
        return PathKind::Regular;
    return S_ISDIR(info.st_mode) ? PathKind::Folder : PathKind::Other;
}

namespace {

// The kernel's protected-symlinks rule, applied here because the links are
// read and followed by this program, where the kernel's guard never sees
// them: in a sticky folder that all may write to, only a link of this user
// or of the folder's owner leads anywhere.
bool MayFollow(const std::filesystem::path& Link)
{
    struct stat link {};
    struct stat folder {};
    const std::filesystem::path parent = Link.has_parent_path() ? Link.parent_path() : ".";
    if (::lstat(Link.c_str(), &link) != 0 || ::stat(parent.c_str(), &folder) != 0)
        return true;  // gone meanwhile: what follows finds that out
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return !shared || link.st_uid == ::geteuid() || link.st_uid == folder.st_uid;
}

}  // namespace

ErrorCode FollowLinks(const std::string& Path, std::string& Target)
{
    std::filesystem::path target(Path);
    std::error_code error;
    for (int links = 0; std::filesystem::is_symlink(target, error); ++links) {
        if (!MayFollow(target))
            return ForeignLinkInSharedFolder;
        const std::filesystem::path next = std::filesystem::read_symlink(target, error);
        if (error)
            return error.value();
        if (links == 40)
            return ELOOP;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    Target = target.string();
    return 0;
}

ErrorCode CheckMayWrite(const std::string& Path) { return ::access(Path.c_str(), W_OK) == 0 ? 0 : errno; }

bool IdentifyFile(const std::string& Path, FileIdentity& Identity)
{
    struct stat info {};
    if ((Path.empty() ? ::fstat(STDIN_FILENO, &info) : ::stat(Path.c_str(), &info)) != 0)
        return false;
    Identity = {static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino)};
    return true;
}

void NoteSceneProgress(SceneProgress Progress) { sceneProgress.store(static_cast<int>(Progress)); }

InputFile::~InputFile()
{
    if (fd_ >= 0 && owned_)
        ::close(fd_);
}

void InputFile::UseStandardInput()
{
    fd_ = STDIN_FILENO;
    owned_ = false;
    opened_ = LookNow();
}

ErrorCode InputFile::Open(const std::string& Path)
{
    fd_ = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        return errno;
    opened_ = LookNow();
    return 0;
}

InputFile::Look InputFile::LookNow() const
{
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return {true, static_cast<long long>(info.st_size),
            static_cast<long long>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

bool InputFile::HasChanged() const
{
    if (!opened_.Regular)
        return false;
    const Look now = LookNow();
    return now.Size != opened_.Size || now.Modified != opened_.Modified;
}

bool InputFile::IsFolder() const
{
    struct stat info {};
    return ::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode);
}

ErrorCode InputFile::Read(char* Buffer, std::size_t Size, std::size_t& Got)
{
    for (;;) {
        const ssize_t got = ::read(fd_, Buffer, Size);
        if (got >= 0) {
            Got = static_cast<std::size_t>(got);
            return 0;
        }
        if (errno != EINTR)
            return errno;
    }
}

bool InputFile::IsSameFileAs(const std::string& Path) const
{
    struct stat input {};
    struct stat other {};
    return ::fstat(fd_, &input) == 0 && ::stat(Path.c_str(), &other) == 0 &&
           input.st_dev == other.st_dev && input.st_ino == other.st_ino;
}

SceneFile::~SceneFile() { Discard(); }

void SceneFile::Discard()
{
    if (stream_)
        std::fclose(stream_);
    stream_ = nullptr;
    if (!committed_ && !path_.empty())
        ::unlink(path_.c_str());
    Unregister(slot_);
    slot_ = -1;
}

ErrorCode SceneFile::CreateBeside(const std::string& Target)
{
    target_ = Target;
    const std::filesystem::path target(Target);
    std::string folder = target.parent_path().string();
    if (folder.empty())
        folder = ".";
    int fd = CanNameUnnamedFiles() ? OpenUnnamed(folder, O_WRONLY) : -1;
    if (fd < 0) {
        const ErrorCode error = MakeNamed(folder, target.filename().string(), path_, slot_,
                                          [&fd](const std::string& Path) { return OpenNamed(Path, O_WRONLY, fd); });
        if (error)
            return error;
    }
    stream_ = ::fdopen(fd, "wb");
    if (!stream_) {
        const ErrorCode error = errno;
        ::close(fd);
        Discard();
        return error;
    }
    return 0;
}

namespace {

// A file that lives in memory only, or -1. WebAssembly's C library declares
// memfd_create but has none (its /tmp is in memory anyway).
int MemoryFile(const char* Name)
{
#ifdef __EMSCRIPTEN__
    (void)Name;
    return -1;
#else
    return ::memfd_create(Name, MFD_CLOEXEC);
#endif
}

}  // namespace

ErrorCode SceneFile::CreateStaging(std::string& Folder)
{
    const char* folder = std::getenv("TMPDIR");
    const bool chosen = folder && *folder;
    Folder = chosen ? folder : "/tmp";
    int fd = OpenUnnamed(Folder, O_RDWR);
    if (fd < 0) {
        const ErrorCode error = MakeNamed(Folder, "quorvel-standard-output", path_, slot_,
                                          [&fd](const std::string& Path) { return OpenNamed(Path, O_RDWR, fd); });
        if (error == 0) {
            ::unlink(path_.c_str());
            path_.clear();
            Unregister(slot_);
            slot_ = -1;
        } else if (!chosen) {
            // A bare root (a chroot, a minimal container) may have no /tmp,
            // or only a read-only one: the scene is staged in memory, where
            // it vanishes with the process just the same.
            fd = MemoryFile("quorvel-standard-output");
            if (fd < 0)
                return error;
            Folder = "memory, as /tmp cannot hold it";
        } else {
            return error;
        }
    }
    stream_ = ::fdopen(fd, "w+b");
    if (!stream_) {
        const ErrorCode error = errno;
        ::close(fd);
        return error;
    }
    return 0;
}

ErrorCode SceneFile::Finish()
{
    const int fd = ::fileno(stream_);
    KeepAttributes(fd, target_);
    if (std::fflush(stream_) != 0 || ::fsync(fd) != 0)
        return errno;
    // An unnamed file is complete now: it gets a temporary name beside the
    // target, for the rename to put it in place.
    if (path_.empty()) {
        const std::filesystem::path target(target_);
        std::string folder = target.parent_path().string();
        if (folder.empty())
            folder = ".";
        const ErrorCode error = MakeNamed(folder, target.filename().string(), path_, slot_, [fd](const std::string& Path) {
            return ::linkat(AT_FDCWD, ProcessFdPath(fd).c_str(), AT_FDCWD, Path.c_str(),
                            AT_SYMLINK_FOLLOW) == 0
                       ? 0
                       : errno;
        });
        if (error)
            return error;
    }
    std::FILE* stream = stream_;
    stream_ = nullptr;
    return std::fclose(stream) != 0 ? errno : 0;
}

ErrorCode SceneFile::PutInPlace()
{
    committingSlot.store(slot_);
    if (std::rename(path_.c_str(), target_.c_str()) != 0) {
        const ErrorCode error = errno;
        committingSlot.store(-1);
        return error;
    }
    NoteSceneProgress(SceneProgress::NewSceneInPlace);
    committingSlot.store(-1);
    committed_ = true;
    Unregister(slot_);
    slot_ = -1;
    return 0;
}

void StartWriteBack(std::FILE* Stream, long long Offset, std::size_t Size)
{
    // WebAssembly's file systems live in memory or behind node's own calls:
    // nothing to write back early (its C library declares the call, but has none).
#ifdef __EMSCRIPTEN__
    (void)Stream;
    (void)Offset;
    (void)Size;
#else
    ::sync_file_range(::fileno(Stream), Offset, static_cast<off_t>(Size), SYNC_FILE_RANGE_WRITE);
#endif
}

}  // namespace quorvel::platform

namespace quorvel {

void StopCleanlyOnInterruption(const InterruptionLines& Lines)
{
    platform::interruptionLines = &Lines;
    // Every signal whose default ends the program and that can be caught;
    // SIGPIPE and SIGXFSZ are left to fail the write they stop.
    static const int Ending[] = {
        SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
#ifdef SIGPWR
        SIGPWR,
#endif
    };
    struct sigaction action {};
    action.sa_handler = platform::OnInterruption;
    ::sigemptyset(&action.sa_mask);
    for (const int signal : Ending)
        ::sigaddset(&action.sa_mask, signal);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    for (const int signal : Ending) {
        // A signal the caller ignores (nohup) stays ignored.
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
    for (const int signal : {SIGPIPE, SIGXFSZ})
        ::sigaction(signal, &ignore, nullptr);
}

}  // namespace quorvel

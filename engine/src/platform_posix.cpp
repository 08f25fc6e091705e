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
#include <charconv>
#include <string_view>
#include <vector>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#if __has_include(<sys/xattr.h>) && !defined(__EMSCRIPTEN__)
#include <sys/xattr.h>
#endif
#include <unistd.h>

namespace quorvel::platform {

namespace {

// Named files being written, for the interruption handler to remove: it
// may look at nothing but these fixed slots.
struct NamedFile {
    std::atomic<int> State{0};  // Free, Filling or Ready
    int Folder = AT_FDCWD;      // Path is relative to it
    char Path[PATH_MAX];
};
enum { Free, Filling, Ready };
NamedFile namedFiles[64];  // one per scene of a batch's jobs at most

// The slot that now holds Path, or -1 when none is free or Path is too long
// (the file is then only removed by its owner).
int Register(int Folder, const std::string& Path)
{
    if (Path.size() >= PATH_MAX)
        return -1;
    for (int slot = 0; slot < static_cast<int>(std::size(namedFiles)); ++slot) {
        int expected = Free;
        if (namedFiles[slot].State.compare_exchange_strong(expected, Filling)) {
            namedFiles[slot].Folder = Folder;
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
std::atomic<const char*> batchLine{nullptr};

// Every signal whose default ends the program and that can be caught;
// SIGPIPE and SIGXFSZ are left to fail the write they stop.
sigset_t EndingSignals()
{
    sigset_t signals;
    ::sigemptyset(&signals);
    for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
                             SIGXCPU,
#ifdef SIGPWR
                             SIGPWR,
#endif
         })
        ::sigaddset(&signals, signal);
    return signals;
}

// Signals whose default action also writes a core file: a cleaned-up stop
// has nothing to dump, so the program exits with 128 + the signal instead.
bool DumpsCore(int Signal) { return Signal == SIGQUIT || Signal == SIGXCPU; }

// Only async-signal-safe calls: unlinkat, poll, write, sigaction,
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
        if (file.State.load() == Ready && ::unlinkat(file.Folder, file.Path, 0) != 0 && slot == committing &&
            errno == ENOENT)
            renamed = true;
    }
    const int progress = renamed ? static_cast<int>(SceneProgress::NewSceneInPlace) : sceneProgress.load();
    // Standard error may be a pipe nobody reads for now: the line waits a
    // little for room, and the program ends in any case.
    pollfd error{STDERR_FILENO, POLLOUT, 0};
    if (interruptionLines && ::poll(&error, 1, 2000) == 1 && (error.revents & POLLOUT)) {
        if (const char* batch = batchLine.load()) {
            [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, batch, std::strlen(batch));
        }
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
std::string TemporaryPath(const Place& Where, std::string_view Name)
{
    long limit = Where.Fd == AT_FDCWD ? ::pathconf(Where.Text.c_str(), _PC_NAME_MAX)
                                      : ::fpathconf(Where.Fd, _PC_NAME_MAX);
    if (limit <= 0 || limit > 255)
        limit = 255;
    constexpr std::size_t Added = 8;
    std::size_t keep = std::min(Name.size(), static_cast<std::size_t>(limit) - Added);
    while (keep > 0 && keep < Name.size() && (static_cast<unsigned char>(Name[keep]) & 0xc0) == 0x80)
        --keep;
    std::string path = Where.Fd == AT_FDCWD ? Where.Text + "/" : std::string();
    path.append(".").append(Name.substr(0, keep)).push_back('.');
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

ErrorCode OpenNamed(const Place& Where, const std::string& Path, int Flags, int& Fd)
{
    Fd = ::openat(Where.Fd, Path.c_str(), Flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return Fd < 0 ? errno : 0;
}

// A file in Where with no name at all, which vanishes with the process
// whatever ends it; -1 where the file system cannot hold one.
int OpenUnnamed(const Place& Where, int Flags)
{
#ifdef O_TMPFILE
    return ::openat(Where.Fd, Where.Fd == AT_FDCWD ? Where.Text.c_str() : ".", Flags | O_TMPFILE | O_CLOEXEC,
                    0666);
#else
    (void)Where;
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

#if __has_include(<sys/xattr.h>) && !defined(__EMSCRIPTEN__)
// Puts every extended attribute of From on To, POSIX access lists among
// them (system.posix_acl_access). A security label (security.*) this user
// may not set is left as the system gave the new file; file capabilities
// never pass to a scene. Any other refusal is an error, Name saying which.
ErrorCode KeepExtendedAttributes(int From, int To, std::string& Name)
{
    std::vector<char> names(1024);
    ssize_t size = 0;
    while ((size = ::flistxattr(From, names.data(), names.size())) < 0 && errno == ERANGE)
        names.resize(names.size() * 4);
    if (size < 0)
        return errno == ENOTSUP || errno == ENOSYS ? 0 : errno;  // none can be there
    std::vector<char> value(256);
    std::vector<char> theirs(256);
    for (const char* name = names.data(); name < names.data() + size; name += std::strlen(name) + 1) {
        const std::string_view kind(name);
        if (kind == "security.capability")
            continue;
        ssize_t length = 0;
        while ((length = ::fgetxattr(From, name, value.data(), value.size())) < 0 && errno == ERANGE)
            value.resize(value.size() * 4);
        if (length < 0) {
            if (errno == ENODATA)  // removed meanwhile
                continue;
            Name = name;
            return errno;
        }
        theirs.resize(std::max(theirs.size(), value.size()));
        const ssize_t had = ::fgetxattr(To, name, theirs.data(), theirs.size());
        if (had == length && std::memcmp(theirs.data(), value.data(), static_cast<std::size_t>(length)) == 0)
            continue;
        if (::fsetxattr(To, name, value.data(), static_cast<std::size_t>(length), 0) != 0) {
            if (kind.starts_with("security.") && (errno == EPERM || errno == EACCES))
                continue;
            Name = name;
            return errno;
        }
    }
    return 0;
}
#else
ErrorCode KeepExtendedAttributes(int, int, std::string&) { return 0; }
#endif

// What the file open as Old carries, put on Fd: owner and group where the
// system lets this process (a refusal is no failure: vfat, some network
// shares, or a file of another user when not root), the extended
// attributes, and the permissions without the set-user-ID, set-group-ID
// and sticky bits. When the group cannot be kept, its rights are not given
// to the group the new file has instead.
ErrorCode KeepAttributes(int Fd, int Old, std::string& Attribute)
{
    struct stat old {};
    struct stat now {};
    if (::fstat(Old, &old) != 0 || ::fstat(Fd, &now) != 0)
        return errno;
    if ((old.st_uid != now.st_uid || old.st_gid != now.st_gid) && ::fchown(Fd, old.st_uid, old.st_gid) != 0 &&
        old.st_gid != now.st_gid && ::fchown(Fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        // best effort: the new file keeps this process's owner and group
    }
    const bool groupKept = ::fstat(Fd, &now) == 0 && now.st_gid == old.st_gid;
    if (const ErrorCode error = KeepExtendedAttributes(Old, Fd, Attribute))
        return error;
    // After the access list, which sets the group's bits to its mask: the
    // old mode's group bits are that mask already.
    const mode_t mode = old.st_mode & (groupKept ? 0777 : 0707);
    if ((now.st_mode & 07777) != mode && ::fchmod(Fd, mode) != 0) {
        // best effort: the new file keeps the permissions it was made with
    }
    return 0;
}

}  // namespace

std::string ReasonText(ErrorCode Code)
{
    if (Code == ForeignLinkInSharedFolder) {
        return "it is another user's link in a shared sticky folder (such as /tmp), "
               "where such links are not followed";
    }
    if (Code == SceneFileChanged)
        return "the scene file changed during the conversion (its name leads to another file now), "
               "so nothing was replaced";
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

int DescriptorNamed(const std::string& Path)
{
    std::string_view rest(Path);
    int descriptor = -1;
    if (rest == "/dev/stdout")
        return STDOUT_FILENO;
    if (rest == "/dev/stderr")
        return STDERR_FILENO;
    const std::string own = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (const std::string_view prefix : {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
                                          std::string_view(own)}) {
        if (!rest.starts_with(prefix))
            continue;
        rest.remove_prefix(prefix.size());
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), descriptor);
        if (error != std::errc() || end != rest.data() + rest.size() || rest.empty() || rest[0] == '+' ||
            descriptor < 0)
            return -1;
        return descriptor;
    }
    return -1;
}

ErrorCode WriteToDescriptor(int Descriptor, const char* Data, std::size_t Size)
{
    while (Size > 0) {
        const ssize_t wrote = ::write(Descriptor, Data, Size);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return wrote < 0 ? errno : EIO;
        Data += wrote;
        Size -= static_cast<std::size_t>(wrote);
    }
    return 0;
}

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

bool InputFile::Is(const FileIdentity& Identity) const
{
    struct stat input {};
    return ::fstat(fd_, &input) == 0 &&
           FileIdentity{static_cast<unsigned long long>(input.st_dev), static_cast<unsigned long long>(input.st_ino)} ==
               Identity;
}

bool InputFile::IsSameFileAs(const std::string& Path) const
{
    struct stat input {};
    struct stat other {};
    return ::fstat(fd_, &input) == 0 && ::stat(Path.c_str(), &other) == 0 &&
           input.st_dev == other.st_dev && input.st_ino == other.st_ino;
}

SceneFile::~SceneFile()
{
    Discard();
    if (old_ >= 0)
        ::close(old_);
    if (folder_ >= 0)
        ::close(folder_);
}

void SceneFile::Discard()
{
    if (stream_)
        std::fclose(stream_);
    stream_ = nullptr;
    if (!committed_ && !path_.empty())
        ::unlinkat(folder_ >= 0 ? folder_ : AT_FDCWD, path_.c_str(), 0);
    Unregister(slot_);
    slot_ = -1;
}

namespace {

// A folder opened only to work in it: no right to read it is needed.
#if defined(O_PATH) && !defined(__EMSCRIPTEN__)
constexpr int FolderOnly = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int FolderOnly = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// Path's names between slashes, in order.
void PutNames(std::string_view Path, std::vector<std::string>& Names)
{
    std::vector<std::string> names;
    for (std::size_t at = 0; at < Path.size();) {
        const std::size_t end = std::min(Path.find('/', at), Path.size());
        if (end > at)
            names.emplace_back(Path.substr(at, end - at));
        at = end + 1;
    }
    // Names is worked from its back.
    Names.insert(Names.end(), names.rbegin(), names.rend());
}

// The kernel's protected-symlinks rule, applied here because the links are
// read and followed by this program, where the kernel's guard never sees
// them: in a sticky folder that all may write to, only a link of this user
// or of the folder's owner leads anywhere.
bool MayFollow(const struct stat& Link, int Folder)
{
    struct stat folder {};
    if (::fstat(Folder, &folder) != 0)
        return false;
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return !shared || Link.st_uid == ::geteuid() || Link.st_uid == folder.st_uid;
}

// Walks Path one name at a time, each relative to the folder before it:
// opens the folder of its last name, symbolic links on the way and at the
// end followed under MayFollow, and gives that name in Name. Walked is the
// path as walked, for naming a link refused.
ErrorCode OpenFolderOf(const std::string& Path, int& Folder, std::string& Name, std::string& Refused)
{
    const bool absolute = Path.starts_with('/');
    int folder = ::open(absolute ? "/" : ".", FolderOnly);
    if (folder < 0)
        return errno;
    const auto fail = [&folder](ErrorCode Error) {
        ::close(folder);
        return Error;
    };
    std::string walked = absolute ? "/" : "";
    std::vector<std::string> names;
    PutNames(Path, names);
    // A path of no names ("/", "") is the folder itself.
    std::string name = ".";
    for (int links = 0; !names.empty();) {
        name = std::move(names.back());
        names.pop_back();
        struct stat info {};
        if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT || !names.empty())
                return fail(errno);
            break;  // a new scene's name
        }
        if (!S_ISLNK(info.st_mode)) {
            if (names.empty())
                break;
            const int next = ::openat(folder, name.c_str(), FolderOnly | O_NOFOLLOW);
            if (next < 0)
                return fail(errno);
            ::close(folder);
            folder = next;
            walked += name + "/";
            continue;
        }
        if (!MayFollow(info, folder)) {
            Refused = walked + name;
            return fail(ForeignLinkInSharedFolder);
        }
        if (++links > 40)
            return fail(ELOOP);
        std::string target(PATH_MAX, '\0');
        const ssize_t size = ::readlinkat(folder, name.c_str(), target.data(), target.size());
        if (size < 0)
            return fail(errno);
        target.resize(static_cast<std::size_t>(size));
        if (target.starts_with('/')) {
            const int root = ::open("/", FolderOnly);
            if (root < 0)
                return fail(errno);
            ::close(folder);
            folder = root;
            walked = "/";
        }
        PutNames(target, names);
        if (names.empty())
            names.emplace_back(".");
    }
    Folder = folder;
    Name = name;
    return 0;
}

}  // namespace

ErrorCode SceneFile::Locate(const std::string& Path, ExistingFile& Existing, std::string& Link)
{
    if (const ErrorCode error = OpenFolderOf(Path, folder_, target_, Link))
        return error;
    struct stat info {};
    Existing = {};
    if (::fstatat(folder_, target_.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    Existing.Kind = S_ISREG(info.st_mode)   ? PathKind::Regular
                    : S_ISDIR(info.st_mode) ? PathKind::Folder
                                            : PathKind::Other;
    Existing.Identity = {static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino)};
    Existing.Links = static_cast<long long>(info.st_nlink);
    exists_ = true;
    identity_ = Existing.Identity;
    return 0;
}

ErrorCode SceneFile::CheckMayWrite() const
{
    // Its name is no link: Locate looked, and PutInPlace looks again.
    return ::faccessat(folder_, target_.c_str(), W_OK, 0) == 0 ? 0 : errno;
}

ErrorCode SceneFile::CheckMayCreate() const
{
    return ::faccessat(folder_, ".", W_OK | X_OK, 0) == 0 ? 0 : errno;
}

ErrorCode SceneFile::ReadHead(std::string& Head)
{
    old_ = ::openat(folder_, target_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (old_ < 0)
        return errno;
    struct stat info {};
    if (::fstat(old_, &info) != 0)
        return errno;
    if (FileIdentity{static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino)} !=
        identity_)
        return SceneFileChanged;
    Head.assign(HeadSize, '\0');
    std::size_t got = 0;
    while (got < HeadSize) {
        const ssize_t read = ::pread(old_, Head.data() + got, HeadSize - got, static_cast<off_t>(got));
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return errno;
        if (read == 0)
            break;
        got += static_cast<std::size_t>(read);
    }
    Head.resize(got);
    return 0;
}

ErrorCode SceneFile::Create()
{
    static std::atomic<unsigned long long> created{0};
    created_ = ++created;
    const Place here{folder_, {}};
    int fd = CanNameUnnamedFiles() ? OpenUnnamed(here, O_WRONLY) : -1;
    if (fd < 0) {
        const ErrorCode error = MakeNamed(here, target_, path_, slot_, [&](const std::string& Path) {
            return OpenNamed(here, Path, O_WRONLY, fd);
        });
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
    const Place there{AT_FDCWD, Folder};
    int fd = OpenUnnamed(there, O_RDWR);
    if (fd < 0) {
        const ErrorCode error = MakeNamed(there, "quorvel-standard-output", path_, slot_, [&](const std::string& Path) {
            return OpenNamed(there, Path, O_RDWR, fd);
        });
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

ErrorCode SceneFile::Complete(std::string& Attribute)
{
    if (completed_)
        return 0;
    const int fd = ::fileno(stream_);
    if (old_ >= 0) {
        if (const ErrorCode error = KeepAttributes(fd, old_, Attribute))
            return error;
    } else if (struct stat made {}; ::fstat(fd, &made) == 0 && (made.st_mode & 07000) != 0) {
        // A folder's set-group-ID bit passes to the files made in it.
        ::fchmod(fd, made.st_mode & 0777);
    }
    if (std::fflush(stream_) != 0)
        return errno;
    StartWriteBack(stream_, 0, 0);  // 0: to the end of the file
    completed_ = true;
    return 0;
}

namespace {

// Whether syncfs reports a write-back that failed since the descriptor it
// is given was opened: Linux does from 5.8 on.
bool SyncfsReportsFailures()
{
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
    static const bool reports = [] {
        utsname system {};
        int major = 0;
        int minor = 0;
        return ::uname(&system) == 0 && std::sscanf(system.release, "%d.%d", &major, &minor) == 2 &&
               (major > 5 || (major == 5 && minor >= 8));
    }();
    return reports;
#else
    return false;
#endif
}

}  // namespace

bool MakeDurableTogether(const std::vector<SceneFile*>& Scenes)
{
    // One scene is flushed as well by its own fsync, which waits for no
    // other program's data.
    if (Scenes.size() < 2 || !SyncfsReportsFailures())
        return false;
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
    // Each file system is flushed through the scene on it that was created
    // first: the others were created after that descriptor was opened, so
    // every failed write-back of theirs is reported to it.
    std::vector<std::pair<dev_t, SceneFile*>> first;
    for (SceneFile* scene : Scenes) {
        struct stat info {};
        if (!scene->completed_ || !scene->stream_ || ::fstat(::fileno(scene->stream_), &info) != 0)
            return false;
        const auto same = std::find_if(first.begin(), first.end(), [&](const auto& F) { return F.first == info.st_dev; });
        if (same == first.end())
            first.emplace_back(info.st_dev, scene);
        else if (scene->created_ < same->second->created_)
            same->second = scene;
    }
    for (const auto& [device, scene] : first) {
        if (::syncfs(::fileno(scene->stream_)) != 0)
            return false;
    }
    for (SceneFile* scene : Scenes)
        scene->durable_ = true;
    return true;
#else
    return false;
#endif
}

ErrorCode SceneFile::Finish(std::string& Attribute)
{
    if (const ErrorCode error = Complete(Attribute))
        return error;
    const int fd = ::fileno(stream_);
    if (!durable_ && ::fsync(fd) != 0)
        return errno;
    // An unnamed file is complete now: it gets a temporary name beside the
    // target, for the rename to put it in place.
    if (path_.empty()) {
        const Place here{folder_, {}};
        const ErrorCode error = MakeNamed(here, target_, path_, slot_, [this, fd](const std::string& Path) {
            return ::linkat(AT_FDCWD, ProcessFdPath(fd).c_str(), folder_, Path.c_str(), AT_SYMLINK_FOLLOW) == 0
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

namespace {

// Renames From over To in Folder; for a new scene (Replacing false) only
// where To is still free, where the system can tell.
ErrorCode RenameIn(int Folder, const std::string& From, const std::string& To, bool Replacing)
{
#if defined(RENAME_NOREPLACE) && !defined(__EMSCRIPTEN__)
    if (!Replacing) {
        if (::renameat2(Folder, From.c_str(), Folder, To.c_str(), RENAME_NOREPLACE) == 0)
            return 0;
        if (errno == EEXIST)
            return SceneFileChanged;
        if (errno != EINVAL && errno != ENOSYS)
            return errno;
    }
#else
    (void)Replacing;
#endif
    return ::renameat(Folder, From.c_str(), Folder, To.c_str()) == 0 ? 0 : errno;
}

}  // namespace

ErrorCode SceneFile::PutInPlace()
{
    // The name must still lead to the file whose rights and attributes were
    // taken, not to a link or a file put there meanwhile.
    struct stat now {};
    const bool there = ::fstatat(folder_, target_.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0;
    const FileIdentity identity{static_cast<unsigned long long>(now.st_dev), static_cast<unsigned long long>(now.st_ino)};
    if (there != exists_ || (there && identity != identity_))
        return SceneFileChanged;
    committingSlot.store(slot_);
    if (const ErrorCode error = RenameIn(folder_, path_, target_, exists_)) {
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

// WebAssembly without its threads (the page's build) has no second thread;
// the converter then takes the tracker lines one after another.
bool ThreadsAvailable()
{
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
    return false;
#else
    return true;
#endif
}

int UsableProcessors()
{
    if (!ThreadsAvailable())
        return 1;
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
#endif
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

std::thread StartThread(std::function<void()> Work)
{
    // The new thread inherits the signal mask it is started with.
    sigset_t all;
    sigset_t before;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &before);
    struct Restore {
        sigset_t* Mask;
        ~Restore() { ::pthread_sigmask(SIG_SETMASK, Mask, nullptr); }
    } restore{&before};
    return std::thread(std::move(Work));
}

}  // namespace quorvel::platform

namespace quorvel {

void StopCleanlyOnInterruption(const InterruptionLines& Lines)
{
    platform::interruptionLines = &Lines;
    struct sigaction action {};
    action.sa_handler = platform::OnInterruption;
    action.sa_mask = platform::EndingSignals();
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    for (int signal = 1; signal < NSIG; ++signal) {
        // A signal the caller ignores (nohup) stays ignored.
        struct sigaction before {};
        if (::sigismember(&action.sa_mask, signal) == 1 && ::sigaction(signal, nullptr, &before) == 0 &&
            before.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
    for (const int signal : {SIGPIPE, SIGXFSZ})
        ::sigaction(signal, &ignore, nullptr);
}

void NoteBatchProgress(const char* Line) { platform::batchLine.store(Line); }

void NoteSceneUnderWay(SceneProgress Progress) { platform::NoteSceneProgress(Progress); }

void KeepInterruptionsFromThisThread()
{
    const sigset_t signals = platform::EndingSignals();
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

}  // namespace quorvel

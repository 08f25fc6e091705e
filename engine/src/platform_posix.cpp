// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The engine's operating-system calls on Linux and other POSIX systems.
#include "platform.h"

#include "quorvel/interruption.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
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

const char* interruptionLine = nullptr;
std::size_t interruptionLineSize = 0;

// Only async-signal-safe calls: unlink, write, sigaction, sigprocmask, raise.
extern "C" void OnInterruption(int Signal)
{
    for (NamedFile& file : namedFiles) {
        if (file.State.load() == Ready)
            ::unlink(file.Path);
    }
    if (interruptionLine)
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, interruptionLine, interruptionLineSize);
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

// Permissions for the new scene file: the old file's, or what a plain
// create would have given.
mode_t SceneFileMode(const std::string& Path)
{
    struct stat info {};
    if (::stat(Path.c_str(), &info) == 0)
        return info.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

std::string ReasonText(ErrorCode Code) { return std::strerror(Code); }

PathKind KindOf(const std::string& Path)
{
    struct stat info {};
    if (::stat(Path.c_str(), &info) != 0)
        return PathKind::Missing;
    if (S_ISREG(info.st_mode))
        return PathKind::Regular;
    return S_ISDIR(info.st_mode) ? PathKind::Folder : PathKind::Other;
}

ErrorCode FollowLinks(const std::string& Path, std::string& Target)
{
    std::filesystem::path target(Path);
    std::error_code error;
    for (int links = 0; std::filesystem::is_symlink(target, error); ++links) {
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

InputFile::~InputFile()
{
    if (fd_ >= 0 && owned_)
        ::close(fd_);
}

void InputFile::UseStandardInput()
{
    fd_ = STDIN_FILENO;
    owned_ = false;
}

ErrorCode InputFile::Open(const std::string& Path)
{
    fd_ = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd_ < 0 ? errno : 0;
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
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::string path = (folder / std::string(1, '.').append(target.filename().string()).append(".XXXXXX")).string();
    const int fd = ::mkstemp(path.data());
    if (fd < 0)
        return errno;
    path_ = path;
    slot_ = Register(path_);
    stream_ = ::fdopen(fd, "wb");
    if (!stream_) {
        const int error = errno;
        ::close(fd);
        Discard();
        return error;
    }
    return 0;
}

ErrorCode SceneFile::CreateStaging(std::string& Folder)
{
    Folder = P_tmpdir;
    stream_ = std::tmpfile();
    return stream_ ? 0 : errno;
}

ErrorCode SceneFile::Finish()
{
    const int fd = ::fileno(stream_);
    if (::fchmod(fd, SceneFileMode(target_)) != 0 || ::fsync(fd) != 0)
        return errno;
    std::FILE* stream = stream_;
    stream_ = nullptr;
    return std::fclose(stream) != 0 ? errno : 0;
}

ErrorCode SceneFile::PutInPlace()
{
    if (std::rename(path_.c_str(), target_.c_str()) != 0)
        return errno;
    committed_ = true;
    Unregister(slot_);
    slot_ = -1;
    return 0;
}

void StartWriteBack(std::FILE* Stream, long long Offset, std::size_t Size)
{
    ::sync_file_range(::fileno(Stream), Offset, static_cast<off_t>(Size), SYNC_FILE_RANGE_WRITE);
}

}  // namespace quorvel::platform

namespace quorvel {

void StopCleanlyOnInterruption(const char* Line)
{
    platform::interruptionLine = Line;
    platform::interruptionLineSize = std::strlen(Line);
    struct sigaction action {};
    action.sa_handler = platform::OnInterruption;
    ::sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaddset(&action.sa_mask, signal);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the caller ignores (nohup) stays ignored.
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
}

}  // namespace quorvel

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The scene file written beside its target and renamed into its place,
// and the file standard output's scene is staged in.
#include "posix/posix_shared.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::platform {

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

}  // namespace quorvel::platform

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Loaded with LD_PRELOAD, makes every file system look like a USB stick's
// vfat or an SMB share: no unnamed files (O_TMPFILE fails with EOPNOTSUPP)
// and permission or owner changes refused with EPERM; no extended attribute
// can be set (ENOTSUP). Real mounts of those
// need privileges a test run does not have; the program sees the same
// answers from the same calls.
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

template <typename Function>
Function Next(const char* Name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, Name));
}

int OpenWithoutUnnamedFiles(const char* Name, const char* Path, int Flags, va_list Rest)
{
    if ((Flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    const mode_t mode = (Flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(Rest, unsigned)) : 0;
    return Next<int (*)(const char*, int, ...)>(Name)(Path, Flags, mode);
}

int OpenAtWithoutUnnamedFiles(const char* Name, int Folder, const char* Path, int Flags, va_list Rest)
{
    if ((Flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    const mode_t mode = (Flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(Rest, unsigned)) : 0;
    return Next<int (*)(int, const char*, int, ...)>(Name)(Folder, Path, Flags, mode);
}

}  // namespace

extern "C" {

int open(const char* Path, int Flags, ...)
{
    va_list rest;
    va_start(rest, Flags);
    const int fd = OpenWithoutUnnamedFiles("open", Path, Flags, rest);
    va_end(rest);
    return fd;
}

int open64(const char* Path, int Flags, ...)
{
    va_list rest;
    va_start(rest, Flags);
    const int fd = OpenWithoutUnnamedFiles("open64", Path, Flags, rest);
    va_end(rest);
    return fd;
}

int openat(int Folder, const char* Path, int Flags, ...)
{
    va_list rest;
    va_start(rest, Flags);
    const int fd = OpenAtWithoutUnnamedFiles("openat", Folder, Path, Flags, rest);
    va_end(rest);
    return fd;
}

int openat64(int Folder, const char* Path, int Flags, ...)
{
    va_list rest;
    va_start(rest, Flags);
    const int fd = OpenAtWithoutUnnamedFiles("openat64", Folder, Path, Flags, rest);
    va_end(rest);
    return fd;
}

int fsetxattr(int, const char*, const void*, size_t, int)
{
    errno = ENOTSUP;
    return -1;
}

int fchmod(int, mode_t)
{
    errno = EPERM;
    return -1;
}

int fchown(int, uid_t, gid_t)
{
    errno = EPERM;
    return -1;
}

}  // extern "C"

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The export file as it is read.
#include "platform.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::platform {

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

}  // namespace quorvel::platform

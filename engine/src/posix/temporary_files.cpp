// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The temporary files a scene is written to beside its target: unnamed
// where the system can, else under a fresh name of their own.
#include "posix/posix_shared.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

namespace quorvel::platform {

namespace {

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

}  // namespace

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

ErrorCode OpenNamed(const Place& Where, const std::string& Path, int Flags, int& Fd)
{
    Fd = ::openat(Where.Fd, Path.c_str(), Flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return Fd < 0 ? errno : 0;
}

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

std::string ProcessFdPath(int Fd) { return "/proc/self/fd/" + std::to_string(Fd); }

bool CanNameUnnamedFiles()
{
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

}  // namespace quorvel::platform

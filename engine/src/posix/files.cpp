// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Paths and descriptors: what a path is, the descriptors a path names,
// writing to one, and the system's words for a failure.
#include "platform.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::platform {

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

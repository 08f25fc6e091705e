// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Finding the folder a scene goes to: its path walked one name at a time,
// links followed only where another user cannot have planted them.
#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string_view>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::platform {

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
            walked.assign(1, '/');
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

}  // namespace quorvel::platform

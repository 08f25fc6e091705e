// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What a replaced scene file carries, given to the new one: owner, group,
// permissions and extended attributes (access lists among them).
#include "posix/posix_shared.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>
#include <sys/stat.h>
#if __has_include(<sys/xattr.h>) && !defined(__EMSCRIPTEN__)
#include <sys/xattr.h>
#endif
#include <unistd.h>

namespace quorvel::platform {

namespace {

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

}  // namespace

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

}  // namespace quorvel::platform

#include "quorvel/error.h"

#include <cstring>

namespace quorvel {

void ThrowFileError(const std::string& what, const std::string& path, int errnoValue)
{
    throw Error(ErrorKind::FileSystem, what + " '" + path + "': " + std::strerror(errnoValue));
}

}  // namespace quorvel

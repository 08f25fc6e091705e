#include "quorvel/error.h"

#include "platform.h"

namespace quorvel {

void ThrowFileError(const std::string& what, const std::string& path, int systemError)
{
    throw Error(ErrorKind::FileSystem, what + " '" + path + "': " + platform::ReasonText(systemError));
}

}  // namespace quorvel

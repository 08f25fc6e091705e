// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/file_identity.h"

#include "platform.h"

namespace quorvel {

std::optional<FileIdentity> IdentityOf(const std::string& Path)
{
    FileIdentity identity;
    if (Path.empty() || !platform::IdentifyFile(Path, identity))
        return std::nullopt;
    return identity;
}

std::optional<FileIdentity> IdentityOfStandardInput()
{
    FileIdentity identity;
    if (!platform::IdentifyFile({}, identity))
        return std::nullopt;
    return identity;
}

}  // namespace quorvel

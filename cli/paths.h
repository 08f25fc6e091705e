// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Paths as the engine takes them: UTF-8 text on every system (the Windows
// build receives its arguments as UTF-8), never the system's code page.
#pragma once

#include <filesystem>
#include <string>

namespace quorvel::cli {

inline std::filesystem::path PathOf(const std::string& Utf8)
{
    return std::filesystem::path(std::u8string(Utf8.begin(), Utf8.end()));
}

inline std::string TextOf(const std::filesystem::path& Path)
{
    const std::u8string text = Path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace quorvel::cli

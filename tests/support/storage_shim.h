// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Variables (NAME=value) that load the storage shim (storage_shim.cpp) into
// a program started with them: files then behave as on vfat or an SMB share.
// Linux only; QUORVEL_STORAGE_SHIM is the shim's path.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

inline std::vector<std::string> StorageShimEnvironment()
{
    // AddressSanitizer builds refuse a library loaded before theirs unless told.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    return {std::string("LD_PRELOAD=") + QUORVEL_STORAGE_SHIM,
            std::string("ASAN_OPTIONS=") + (sanitizer ? sanitizer : "") + ":verify_asan_link_order=0"};
}

// Why the shim cannot reach quorvel-convert, or null when it can: a static
// build's converter (cmake/static.cmake) loads no library at all. Tests
// that need the shim skip with this reason.
#ifdef QUORVEL_STATIC_CONVERTER
inline constexpr const char* StorageShimCannotReach = "a static quorvel-convert loads no LD_PRELOAD library";
#else
inline constexpr const char* StorageShimCannotReach = nullptr;
#endif

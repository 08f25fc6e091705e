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

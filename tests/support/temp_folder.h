// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// A scratch folder for one test, removed with everything in it. Paths are
// UTF-8 text, as the engine and the programs take them on every system.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& Name) const;

    // Writes Bytes to Name exactly as given.
    std::string Write(const std::string& Name, const std::string& Bytes) const;
    // The names of the files in the folder, sorted.
    std::vector<std::string> Names() const;

private:
    std::filesystem::path path_;
};

// UTF-8 text to a path and back: on Windows, std::string means the ANSI
// code page to std::filesystem, which cannot hold every name.
std::filesystem::path PathOf(const std::string& Utf8);
std::string TextOf(const std::filesystem::path& Path);

std::string ReadFile(const std::filesystem::path& Path);
std::string ReadFile(const std::string& Utf8Path);

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "temp_folder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

TempFolder::TempFolder()
{
    // A name nobody else has: create_directory fails on an existing one.
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = base / ("quorvel-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(path_))
            return;
    }
    throw std::runtime_error("cannot create a folder in " + TextOf(base));
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::operator/(const std::string& Name) const
{
    return TextOf(path_ / PathOf(Name));
}

std::string TempFolder::Write(const std::string& Name, const std::string& Bytes) const
{
    const std::filesystem::path path = path_ / PathOf(Name);
    std::ofstream out(path, std::ios::binary);
    out << Bytes;
    if (!out)
        throw std::runtime_error("cannot write " + TextOf(path));
    return TextOf(path);
}

std::vector<std::string> TempFolder::Names() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(TextOf(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

std::filesystem::path PathOf(const std::string& Utf8)
{
    return std::filesystem::path(std::u8string(Utf8.begin(), Utf8.end()));
}

std::string TextOf(const std::filesystem::path& Path)
{
    const std::u8string text = Path.u8string();
    return std::string(text.begin(), text.end());
}

std::string ReadFile(const std::filesystem::path& Path)
{
    std::ifstream in(Path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + TextOf(Path));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadFile(const std::string& Utf8Path)
{
    return ReadFile(PathOf(Utf8Path));
}

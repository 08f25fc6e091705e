// A scratch folder for one test, removed with everything in it.
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
    std::string operator/(const std::string& Name) const { return (path_ / Name).string(); }

    // Writes Bytes to Name exactly as given.
    std::string Write(const std::string& Name, const std::string& Bytes) const;
    // The names of the files in the folder, sorted.
    std::vector<std::string> Names() const;

private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& Path);

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// batch-bench: times quorvel-convert -d over many small exports against
// the floor of the same run: the same scene bytes written to temporary
// names, one sync of the file system, each renamed into place, the folder
// flushed once. The ratio says how much a batch waits beyond what the disk
// needs to make its scenes durable.
#include "export_generator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Die(const std::string& Message)
{
    std::fprintf(stderr, "batch-bench: %s\n", Message.c_str());
    std::exit(1);
}

double Since(std::chrono::steady_clock::time_point Start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

// quorvel-convert ARGS... INPUTS... in a child process; its wall time.
double Run(const std::vector<std::string>& Argv)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0)
        Die(std::string("fork: ") + std::strerror(errno));
    if (child == 0) {
        std::vector<char*> argv;
        for (const std::string& arg : Argv)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        std::_Exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            Die(std::string("waitpid: ") + std::strerror(errno));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Die(Argv[0] + " failed (status " + std::to_string(status) + ")");
    return Since(start);
}

struct Scene {
    std::string Name;
    std::string Bytes;
};

std::string ReadAll(const fs::path& Path)
{
    std::string bytes(fs::file_size(Path), '\0');
    std::FILE* in = std::fopen(Path.c_str(), "rb");
    if (!in || std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size())
        Die("cannot read " + Path.string());
    std::fclose(in);
    return bytes;
}

// The floor: every scene written to a temporary name, one sync of the file
// system, each renamed into place, the folder flushed once.
double Floor(const fs::path& Folder, const std::vector<Scene>& Scenes)
{
    const auto start = std::chrono::steady_clock::now();
    const int folder = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        Die("cannot open " + Folder.string());
    for (const Scene& scene : Scenes) {
        const std::string temporary = "." + scene.Name + ".tmp";
        const int fd = ::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 || ::write(fd, scene.Bytes.data(), scene.Bytes.size()) != static_cast<ssize_t>(scene.Bytes.size()) ||
            ::close(fd) != 0)
            Die("cannot write " + temporary);
    }
    if (::syncfs(folder) != 0)
        Die(std::string("syncfs: ") + std::strerror(errno));
    for (const Scene& scene : Scenes) {
        if (::renameat(folder, ("." + scene.Name + ".tmp").c_str(), folder, scene.Name.c_str()) != 0)
            Die("cannot rename " + scene.Name);
    }
    if (::fsync(folder) != 0)
        Die(std::string("fsync: ") + std::strerror(errno));
    ::close(folder);
    return Since(start);
}

double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    const std::size_t n = Values.size();
    return n % 2 ? Values[n / 2] : (Values[n / 2 - 1] + Values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 6) {
        std::fprintf(stderr, "Usage: batch-bench CONVERTER FOLDER [EXPORTS [RUNS [JOBS]]]\n"
                             "Writes EXPORTS small exports (default 1500) into FOLDER/in and converts\n"
                             "them with -d into FOLDER/out, RUNS times (default 5), with -j JOBS (default 1).\n");
        return 2;
    }
    const std::string converter = argv[1];
    const fs::path folder = argv[2];
    const int exports = argc >= 4 ? std::max(1, std::atoi(argv[3])) : 1500;
    const int runs = argc >= 5 ? std::max(1, std::atoi(argv[4])) : 5;
    const std::string jobs = argc >= 6 ? argv[5] : "1";
    const fs::path in = folder / "in";
    const fs::path out = folder / "out";
    fs::remove_all(folder);
    fs::create_directories(in);
    fs::create_directories(out);

    // Shots of 100 frames and 20 trackers: about 40 kB of export, 20 kB of scene.
    std::vector<std::string> argvTemplate = {converter, "-q", "-j", jobs, "-d", out.string()};
    for (int i = 0; i < exports; ++i) {
        const fs::path path = in / ("shot_" + std::to_string(10000 + i) + ".ma");
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file || quorvel::bench::WriteExport(file, {1001, 1100, 20, static_cast<std::uint64_t>(i + 1)}) < 0 ||
            std::fclose(file) != 0)
            Die("cannot write " + path.string());
        argvTemplate.push_back(path.string());
    }

    Run(argvTemplate);  // warms the page cache, and gives the scene bytes
    std::vector<Scene> scenes;
    std::size_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        scenes.push_back({entry.path().filename().string(), ReadAll(entry.path())});
        bytes += scenes.back().Bytes.size();
    }
    std::sort(scenes.begin(), scenes.end(), [](const Scene& A, const Scene& B) { return A.Name < B.Name; });

    std::vector<double> converted;
    std::vector<double> floors;
    std::vector<double> ratios;
    for (int i = 0; i < runs; ++i) {
        // New files each time, as in the first conversion of a shot.
        fs::remove_all(out);
        fs::create_directories(out);
        converted.push_back(Run(argvTemplate));
        fs::remove_all(out);
        fs::create_directories(out);
        floors.push_back(Floor(out, scenes));
        ratios.push_back(converted.back() / floors.back());
    }
    std::printf("%d exports, %zu scenes, %.1f MB of scenes, -j %s, %d runs (converter, then floor)\n", exports,
                scenes.size(), static_cast<double>(bytes) / 1e6, jobs.c_str(), runs);
    std::printf("converter median %.3f s (%.2f ms per export)\n", Median(converted),
                1000 * Median(converted) / exports);
    std::printf("floor     median %.3f s\n", Median(floors));
    std::printf("ratio     median %.2f (min %.2f, max %.2f; goal <= 1.5)\n", Median(ratios),
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()));
    fs::remove_all(folder);
    return 0;
}

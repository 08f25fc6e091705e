// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// convert-bench: times quorvel-convert on synthetic exports of 1, 10 and
// 100 MB and prints median time, throughput and peak resident memory.
#include "export_generator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Case {
    const char* Name;
    quorvel::bench::ExportShape Shape;
};

// About 192 bytes per tracker, so 530,000 trackers make about 100 MB.
const std::vector<Case> Cases = {
    {"trackers-1MB", {1001, 1240, 5'300, 1}},
    {"trackers-10MB", {1001, 1240, 53'000, 1}},
    {"trackers-100MB", {1001, 1240, 530'000, 1}},
    {"frames-32000", {1, 32000, 1'000, 1}},
};

struct Run {
    double Seconds = 0;
    double CpuSeconds = 0;  // user and system: less swayed by other load
    long PeakKiB = 0;
};

[[noreturn]] void Die(const std::string& Message)
{
    std::fprintf(stderr, "convert-bench: %s\n", Message.c_str());
    std::exit(1);
}

// One conversion in a child process; wait4 gives the child's own peak RSS.
Run Convert(const std::string& Converter, const std::string& Input, const std::string& Output)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0)
        Die(std::string("fork: ") + std::strerror(errno));
    if (child == 0) {
        std::vector<char*> argv = {const_cast<char*>(Converter.c_str()),
                                   const_cast<char*>(Input.c_str()),
                                   const_cast<char*>(Output.c_str()), nullptr};
        ::execv(argv[0], argv.data());
        std::_Exit(127);
    }
    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            Die(std::string("wait4: ") + std::strerror(errno));
    }
    const auto stop = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Die(Converter + " " + Input + " failed (status " + std::to_string(status) + ")");
    const auto seconds = [](const timeval& Time) { return Time.tv_sec + Time.tv_usec / 1e6; };
    return {std::chrono::duration<double>(stop - start).count(),
            seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}

std::string MakeExport(const fs::path& Folder, const Case& Case)
{
    const std::string path = (Folder / (std::string(Case.Name) + ".ma")).string();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || quorvel::bench::WriteExport(out, Case.Shape) < 0 || std::fclose(out) != 0)
        Die("cannot write " + path + ": " + std::strerror(errno));
    return path;
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
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "Usage: convert-bench CONVERTER FOLDER [RUNS]\n"
                             "Writes the exports into FOLDER (created if missing).\n");
        return 2;
    }
    const std::string converter = argv[1];
    const fs::path folder = argv[2];
    const int runs = argc == 4 ? std::max(1, std::atoi(argv[3])) : 7;
    fs::create_directories(folder);

    std::printf("%-15s %7s %8s %6s %9s %7s %8s %8s\n", "export", "MB", "trackers", "frames",
                "median s", "MB/s", "cpu s", "peak MB");
    struct Result {
        double Seconds;
        double PeakMB;
    };
    std::vector<Result> results;
    for (const Case& c : Cases) {
        const std::string input = MakeExport(folder, c);
        const std::string output = (folder / (std::string(c.Name) + ".syncar")).string();
        const double megabytes = static_cast<double>(fs::file_size(input)) / 1e6;
        // Each run writes a new scene file: replacing one would add the
        // freeing of the old file's blocks to the time.
        Convert(converter, input, output);  // warms the page cache
        std::vector<double> times;
        std::vector<double> cpuTimes;
        long peak = 0;
        for (int i = 0; i < runs; ++i) {
            fs::remove(output);
            const Run run = Convert(converter, input, output);
            times.push_back(run.Seconds);
            cpuTimes.push_back(run.CpuSeconds);
            peak = std::max(peak, run.PeakKiB);
        }
        const double median = Median(times);
        const double peakMB = static_cast<double>(peak) * 1024.0 / 1e6;
        results.push_back({median, peakMB});
        std::printf("%-15s %7.1f %8ld %6d %9.4f %7.1f %8.4f %8.1f\n", c.Name, megabytes,
                    c.Shape.Trackers, c.Shape.LastFrame - c.Shape.FirstFrame + 1, median,
                    megabytes / median, Median(cpuTimes), peakMB);
        std::fflush(stdout);
        fs::remove(output);
    }
    std::printf("\nmedians of %d runs after one warm-up; MB = 10^6 bytes; cpu = user + system;\n"
                "peak = the largest resident set of the runs\n",
                runs);
    std::printf("100 MB time / 10 MB time:          %6.2f  (goal <= 12)\n",
                results[2].Seconds / results[1].Seconds);
    std::printf("100 MB peak - 1 MB peak:           %6.2f MB  (goal <= 2)\n",
                results[2].PeakMB - results[0].PeakMB);
    std::printf("100 MB peak:                       %6.2f MB  (goal < 16)\n", results[2].PeakMB);
    std::printf("32,000-frame peak:                 %6.2f MB  (goal < 32)\n", results[3].PeakMB);
    return 0;
}

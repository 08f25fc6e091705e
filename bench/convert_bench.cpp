// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// convert-bench: times quorvel-convert on synthetic exports of 1, 10 and
// 100 MB and prints median time, throughput and peak resident memory; the
// 100 MB one also against the streaming floor of its bytes, on 1 thread and
// up to one per processor.
#include "export_generator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// What the disk and the system can do with the same bytes: Input read in
// 1 MB pieces into one buffer, OutputBytes of it written out in proportion
// as it comes, the file made durable and removed. Returns 0 or an errno.
int StreamFloor(const std::string& Input, const std::string& Output, long long OutputBytes)
{
    const int in = ::open(Input.c_str(), O_RDONLY);
    const int out = ::open(Output.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (in < 0 || out < 0)
        return errno;
    struct stat info {};
    ::fstat(in, &info);
    std::vector<char> buffer(1 << 20);
    long long read = 0;
    long long written = 0;
    for (ssize_t got; (got = ::read(in, buffer.data(), buffer.size())) > 0;) {
        read += got;
        const long long due = std::min(OutputBytes, OutputBytes * read / std::max<long long>(info.st_size, 1));
        if (::write(out, buffer.data(), static_cast<std::size_t>(due - written)) != due - written)
            return errno;
        written = due;
    }
    if (::fsync(out) != 0 || ::close(out) != 0 || ::close(in) != 0 || ::unlink(Output.c_str()) != 0)
        return errno;
    return 0;
}

// One conversion in a child process (the floor's too, for Converter
// empty); wait4 gives the child's own peak RSS.
Run Convert(const std::string& Converter, const std::string& Input, const std::string& Output,
            int Threads = 0, long long FloorBytes = 0)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0)
        Die(std::string("fork: ") + std::strerror(errno));
    if (child == 0) {
        if (Converter.empty())
            std::_Exit(StreamFloor(Input, Output, FloorBytes) == 0 ? 0 : 1);
        std::string threads = std::to_string(Threads);
        std::vector<char*> argv = {const_cast<char*>(Converter.c_str())};
        if (Threads > 0)
            argv.insert(argv.end(), {const_cast<char*>("--threads"), threads.data()});
        argv.insert(argv.end(), {const_cast<char*>(Input.c_str()), const_cast<char*>(Output.c_str()), nullptr});
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
        Die((Converter.empty() ? "the streaming floor" : Converter) + " " + Input + " failed (status " +
            std::to_string(status) + ")");
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

// The 100 MB export against the streaming floor of the same bytes, and on
// 1, 2, 4 ... threads up to one per processor this process may use: runs
// taken in turn, so that a change in the machine's load touches them all.
void AgainstTheFloor(const std::string& Converter, const std::string& Input, const std::string& Output,
                     int Runs)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    const int processors = ::sched_getaffinity(0, sizeof set, &set) == 0 ? std::max(1, CPU_COUNT(&set)) : 1;
    std::vector<int> counts;
    for (int threads = 1; threads < processors; threads *= 2)
        counts.push_back(threads);
    counts.push_back(processors);
    const long long sceneBytes = static_cast<long long>(fs::file_size(Output));
    const std::string floorFile = Output + ".floor";
    std::vector<std::vector<Run>> runs(counts.size() + 1);
    for (int i = 0; i < Runs; ++i) {
        fs::remove(floorFile);
        runs[0].push_back(Convert({}, Input, floorFile, 0, sceneBytes));
        for (std::size_t c = 0; c < counts.size(); ++c) {
            fs::remove(Output);
            runs[c + 1].push_back(Convert(Converter, Input, Output, counts[c]));
        }
    }
    const auto median = [](const std::vector<Run>& Of, double Run::*Figure) {
        std::vector<double> values;
        for (const Run& run : Of)
            values.push_back(run.*Figure);
        return Median(values);
    };
    const double floorWall = median(runs[0], &Run::Seconds);
    std::printf("\n100 MB export against the streaming floor (1 MB reads, %.1f MB written, fsync),\n"
                "%d processors usable; medians of %d runs taken in turn:\n",
                static_cast<double>(sceneBytes) / 1e6, processors, Runs);
    std::printf("  %-21s %8s %8s %8s %8s\n", "", "wall s", "cpu s", "/ floor", "peak MB");
    for (std::size_t c = 0; c < runs.size(); ++c) {
        long peak = 0;
        for (const Run& run : runs[c])
            peak = std::max(peak, run.PeakKiB);
        const std::string name = c == 0 ? "streaming floor" : "converter, " + std::to_string(counts[c - 1]) +
                                                                  (counts[c - 1] == 1 ? " thread" : " threads");
        const double wall = median(runs[c], &Run::Seconds);
        std::printf("  %-21s %8.4f %8.4f %8.2f %8.1f\n", name.c_str(), wall, median(runs[c], &Run::CpuSeconds),
                    wall / floorWall, static_cast<double>(peak) * 1024.0 / 1e6);
    }
    std::printf("  goal: every thread / floor <= 2 on 2 processors, the wall falling with each added thread\n\n");
    std::fflush(stdout);
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
        if (c.Shape.Trackers == 530'000)
            AgainstTheFloor(converter, input, output, runs);
        fs::remove(output);
    }
    std::printf("\nmedians of %d runs after one warm-up; MB = 10^6 bytes; cpu = user + system;\n"
                "peak = the largest resident set of the runs\n",
                runs);
    std::printf("100 MB time / 10 MB time:          %6.2f  (goal <= 12)\n",
                results[2].Seconds / results[1].Seconds);
    // Memory must not grow with the file. From 10 MB on, every thread's
    // chunks are in flight, as at 100 MB; a 1 MB export keeps fewer of them
    // busy, so against it the figure would count threads, not growth.
    std::printf("100 MB peak - 10 MB peak:          %6.2f MB  (goal <= 2)\n",
                results[2].PeakMB - results[1].PeakMB);
    std::printf("100 MB peak:                       %6.2f MB  (goal < 16)\n", results[2].PeakMB);
    std::printf("32,000-frame peak:                 %6.2f MB  (goal < 32)\n", results[3].PeakMB);
    return 0;
}

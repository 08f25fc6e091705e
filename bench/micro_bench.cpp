// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Micro-benchmarks of the engine's hot operations. Usage:
//   micro-bench [benchmark options] [FOLDER]
// FOLDER (default ".") receives the synthetic export the reader runs over.
#include "export_generator.h"

#include "quorvel/conversion_run.h"
#include "quorvel/export_reader.h"
#include "quorvel/line_reader.h"
#include "quorvel/scene_writer.h"
#include "quorvel/text_rules.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

std::string Folder = ".";

// Numbers in the shapes the tracker writes them.
constexpr std::array<std::string_view, 8> Tokens = {
    "-44.745", "6.99", "5.086", "4.4e+02", "-1.5e-05", "0", "-0.40417215093", "76.3863243"};

constexpr std::array<double, 8> Values = {-44.745, 6.99, 5.086, 440.0, -1.5e-05, 0.0,
                                          -0.40417215093, 76.3863243};

// An export in Folder, written once per run of the benchmarks.
std::string MakeExport(const char* Name, const quorvel::bench::ExportShape& Shape)
{
    const std::string file = (std::filesystem::path(Folder) / Name).string();
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out || quorvel::bench::WriteExport(out, Shape) < 0 || std::fclose(out) != 0) {
        std::fprintf(stderr, "micro-bench: cannot write %s\n", file.c_str());
        std::exit(1);
    }
    return file;
}

// 10 MB of the tracker-heavy shape.
const std::string& ExportFile()
{
    static const std::string path = MakeExport("micro-bench.ma", {1001, 1240, 53'000, 1});
    return path;
}

void LineReaderWholeFile(benchmark::State& state)
{
    const std::string& file = ExportFile();
    std::int64_t bytes = 0;
    for (auto _ : state) {
        quorvel::LineReader reader(file);
        for (std::string_view line; reader.NextLine(line);)
            benchmark::DoNotOptimize(line.data());
        bytes += static_cast<std::int64_t>(std::filesystem::file_size(file));
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(LineReaderWholeFile)->Unit(benchmark::kMillisecond);

void ValueOf(benchmark::State& state)
{
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(quorvel::ValueOf(Tokens[i++ % Tokens.size()]));
}
BENCHMARK(ValueOf);

void NumberValue(benchmark::State& state)
{
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(quorvel::NumberValue(Tokens[i++ % Tokens.size()]));
}
BENCHMARK(NumberValue);

// Checking a token, then reading it: the general way, and the one pass the
// tracker loop takes.
void IsNumberAndNumberValue(benchmark::State& state)
{
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string_view token = Tokens[i++ % Tokens.size()];
        benchmark::DoNotOptimize(quorvel::IsNumber(token) ? quorvel::NumberValue(token) : 0.0);
    }
}
BENCHMARK(IsNumberAndNumberValue);

void ReadNumber(benchmark::State& state)
{
    std::size_t i = 0;
    double value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(quorvel::ReadNumber(Tokens[i++ % Tokens.size()], value));
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(ReadNumber);

void AppendPrintForm(benchmark::State& state)
{
    std::string out;
    std::size_t i = 0;
    for (auto _ : state) {
        out.clear();
        quorvel::AppendPrintForm(out, Values[i++ % Values.size()] * 1.1);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(AppendPrintForm);

// Walks a key line of 1,000 frames value by value, as the channel reader does.
void FindValueKeyLine(benchmark::State& state)
{
    std::string line = "\tsetAttr -s 1000 \".ktv[0:999]\"";
    for (int frame = 0; frame < 1000; ++frame)
        line += " " + std::to_string(1001 + frame) + " " + std::string(Tokens[frame % Tokens.size()]);
    line += " ;";
    for (auto _ : state) {
        std::size_t pos = line.find(']') + 1;  // 1-based positions, as FindValue takes them
        for (int frame = 0; frame < 1000; ++frame) {
            pos = line.find(' ', pos) + 1;  // the blank in front of the time
            auto value = quorvel::FindValue(line, pos);
            benchmark::DoNotOptimize(value);
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(FindValueKeyLine);

// The whole engine on the 10 MB export, writing to /dev/null: no process
// start, no disk, no fsync.
void ConvertToStream(benchmark::State& state)
{
    const std::string& file = ExportFile();
    std::FILE* null = std::fopen("/dev/null", "wb");
    std::int64_t bytes = 0;
    for (auto _ : state) {
        quorvel::ConvertState convert;
        convert.InputFile = file;
        benchmark::DoNotOptimize(quorvel::ConvertToStream(convert, {}, null, "/dev/null"));
        bytes += static_cast<std::int64_t>(std::filesystem::file_size(file));
    }
    std::fclose(null);
    state.SetBytesProcessed(bytes);
}
BENCHMARK(ConvertToStream)->Unit(benchmark::kMillisecond);

// What the desktop program's Convert button does, on the 100 MB export:
// its window does not respond for this long.
void RunConversion100MB(benchmark::State& state)
{
    static const std::string input = MakeExport("micro-bench-100MB.ma", {1001, 1240, 530'000, 1});
    const std::string output = (std::filesystem::path(Folder) / "micro-bench-100MB.syncar").string();
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(output);
        state.ResumeTiming();
        quorvel::ConvertState convert;
        convert.InputFile = input;
        convert.OutputFile = output;
        benchmark::DoNotOptimize(quorvel::RunConversion(convert, {}));
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(input)));
}
BENCHMARK(RunConversion100MB)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc > 2) {
        std::fprintf(stderr, "Usage: micro-bench [benchmark options] [FOLDER]\n");
        return 2;
    }
    if (argc == 2)
        Folder = argv[1];
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

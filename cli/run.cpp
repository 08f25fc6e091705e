#include "run.h"

#include "quorvel/error.h"
#include "report.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

namespace quorvel::cli {

namespace {

// One conversion; reports its own failure and returns whether it succeeded.
bool ConvertOne(const Arguments& Args, const std::string& Input, const std::string& Output)
{
    ConvertState state;
    state.InputFile = Input;
    state.OutputFile = Output;
    try {
        const ConvertReport report = Output == "-" ? ConvertToStandardOutput(state, Args.Options)
                                                   : RunConversion(state, Args.Options);
        PrintWarnings(Input, report);
        if (Args.Verbose)
            PrintSummaryLine(Input, Output, report);
        return true;
    } catch (const Error& error) {
        std::fprintf(stderr, "%s: %s\n", Program, error.what());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s: %s\n", Program, Input.c_str(), error.what());
    }
    return false;
}

}  // namespace

bool ConvertAll(const Arguments& Args)
{
    if (Args.Directory.empty())
        return ConvertOne(Args, Args.Files[0], Args.Files[1]);

    bool allConverted = true;
    // Two inputs of the same name would write the same scene file: the
    // second must not silently replace the first.
    std::map<std::string, std::string> writtenFrom;
    for (const std::string& input : Args.Files) {
        const std::filesystem::path name =
            std::filesystem::path(input).filename().replace_extension(".syncar");
        const std::string output = (std::filesystem::path(Args.Directory) / name).string();
        const auto [earlier, isNew] = writtenFrom.emplace(output, input);
        if (!isNew) {
            std::fprintf(stderr, "%s: %s: not converted: %s is already written from %s\n", Program,
                         input.c_str(), output.c_str(), earlier->second.c_str());
            allConverted = false;
            continue;
        }
        allConverted = ConvertOne(Args, input, output) && allConverted;
    }
    return allConverted;
}

}  // namespace quorvel::cli

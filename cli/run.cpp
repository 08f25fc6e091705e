#include "run.h"

#include "quorvel/error.h"
#include "report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace quorvel::cli {

namespace {

// Writes the scene to standard output only once it is complete.
ConvertReport ConvertToStandardOutput(ConvertState& State, const ConvertOptions& Options)
{
    std::FILE* scratch = std::tmpfile();
    if (!scratch) {
        throw Error(ErrorKind::FileSystem,
                    std::string("cannot create a temporary file for the scene: ") + std::strerror(errno));
    }
    struct Closer {
        std::FILE* file;
        ~Closer() { std::fclose(file); }
    } closer{scratch};

    const ConvertReport report = ConvertToStream(State, Options, scratch, "standard output");
    std::rewind(scratch);
    std::vector<char> chunk(1u << 20);
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), scratch)) > 0) {
        if (std::fwrite(chunk.data(), 1, got, stdout) != got)
            ThrowFileError("cannot write the scene to", "standard output", errno);
    }
    if (std::ferror(scratch))
        ThrowFileError("cannot read back the scene from", "a temporary file", errno);
    if (std::fflush(stdout) != 0)
        ThrowFileError("cannot write the scene to", "standard output", errno);
    return report;
}

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

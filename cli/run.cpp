// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "run.h"

#include "quorvel/error.h"
#include "quorvel/line_reader.h"
#include "paths.h"
#include "report.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

namespace quorvel::cli {

namespace {

// One conversion or check; its failure is caught and described here.
Outcome RunOne(const Arguments& Args, const std::string& Input, const std::string& Output)
{
    Outcome done;
    done.Input = Input;
    done.Output = Output;
    ConvertState state;
    state.InputFile = Input;
    state.OutputFile = Output;
    try {
        if (Args.What == Arguments::Action::Check)
            done.Report = CheckConversion(state, Args.Options);
        else if (Output == "-")
            done.Report = ConvertToStandardOutput(state, Args.Options);
        else
            done.Report = RunConversion(state, Args.Options);
        done.Ok = true;
    } catch (const Error& error) {
        done.ErrorMessage = error.what();
        done.ErrorLine = error.line();
    } catch (const std::exception& error) {
        done.ErrorMessage = Printable(Input) + ": " + error.what();
    }
    return done;
}

// What -d writes an input to: DIR/NAME.syncar, DIR/stdin.syncar for standard input.
std::string SceneIn(const std::string& Directory, const std::string& Input)
{
    std::filesystem::path name = PathOf(Input).filename().replace_extension(".syncar");
    if (Input == StandardInputPath)
        name = "stdin.syncar";
    return TextOf(PathOf(Directory) / name);
}

void Tell(const Arguments& Args, const Outcome& Done)
{
    if (Done.Ok) {
        if (!Args.Quiet)
            PrintWarnings(Done);
        if (Args.Verbose)
            PrintSummaryLine(Done);
    } else {
        std::fprintf(stderr, "%s: %s\n", Program, Done.ErrorMessage.c_str());
    }
    if (Args.JsonReport)
        PrintJsonLine(Done);
}

}  // namespace

bool RunAll(const Arguments& Args)
{
    long succeeded = 0;
    long failed = 0;
    long warned = 0;
    // Two inputs of the same name would write the same scene file: the
    // second must not silently replace the first.
    std::map<std::string, std::string> writtenFrom;
    for (const std::string& input : Args.Inputs) {
        std::string output = Args.Output;
        if (!Args.Directory.empty())
            output = SceneIn(Args.Directory, input);
        Outcome done;
        if (const auto [earlier, isNew] = writtenFrom.emplace(output, input); !isNew && !output.empty()) {
            done.Input = input;
            done.Output = output;
            done.ErrorMessage = Printable(input) + ": not converted: " + Printable(output) +
                                " is already written from " + Printable(earlier->second);
        } else {
            done = RunOne(Args, input, output);
        }
        Tell(Args, done);
        (done.Ok ? succeeded : failed) += 1;
        warned += done.HasWarnings() ? 1 : 0;
    }
    if (Args.Inputs.size() > 1 && !Args.Quiet) {
        const bool check = Args.What == Arguments::Action::Check;
        std::fprintf(stderr, "%s: %ld %s, %ld %s, %ld with warnings\n", Program, succeeded,
                     check ? "would convert" : "converted", failed, check ? "would not" : "failed", warned);
    }
    return failed == 0;
}

}  // namespace quorvel::cli

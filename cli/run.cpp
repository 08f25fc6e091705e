// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "run.h"

#include "quorvel/error.h"
#include "quorvel/file_identity.h"
#include "quorvel/line_reader.h"
#include "paths.h"
#include "report.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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
        done.Written = Args.What != Arguments::Action::Check;
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

// The scene file each input is written to, in order; none with --check.
std::vector<std::string> Outputs(const Arguments& Args)
{
    std::vector<std::string> outputs;
    for (const std::string& input : Args.Inputs)
        outputs.push_back(Args.Directory.empty() ? Args.Output : SceneIn(Args.Directory, input));
    return outputs;
}

// The identity of each input that is a file, standard input included.
std::map<FileIdentity, std::string> InputIdentities(const Arguments& Args)
{
    std::map<FileIdentity, std::string> inputs;
    for (const std::string& input : Args.Inputs) {
        const auto identity = input == StandardInputPath ? IdentityOfStandardInput() : IdentityOf(input);
        if (identity)
            inputs.emplace(*identity, input);
    }
    return inputs;
}

// A scene file that is one of the inputs, under any name, would be replaced
// before that input is read: the command is refused before anything is
// written.
void RefuseScenesOverInputs(const Arguments& Args, const std::map<FileIdentity, std::string>& Inputs)
{
    if (Args.What != Arguments::Action::Convert)
        return;
    const std::vector<std::string> outputs = Outputs(Args);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i] == "-")
            continue;
        if (const auto identity = IdentityOf(outputs[i])) {
            if (const auto input = Inputs.find(*identity); input != Inputs.end()) {
                UsageError("the scene file " + Quoted(outputs[i]) + " of " + Quoted(Args.Inputs[i]) +
                           " would replace the INPUT " + Quoted(input->second) + "; nothing was converted");
            }
        }
    }
}

// An OUTPUT with the extension of its INPUT, or an export's: the command
// reads like exports given without -d.
bool LooksLikeAnExport(const std::string& Output, const std::string& Input)
{
    const auto lower = [](std::string Text) {
        for (char& c : Text)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return Text;
    };
    const std::string extension = lower(TextOf(PathOf(Output).extension()));
    return extension == ".ma" || extension == lower(TextOf(PathOf(Input).extension()));
}

// An existing file that is no scene file (an export named by a slip, a log)
// is never replaced: the command is refused before anything is converted.
void RefuseFilesOtherThanScenes(const Arguments& Args)
{
    if (Args.What != Arguments::Action::Convert)
        return;
    const std::vector<std::string> outputs = Outputs(Args);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const std::string& output = outputs[i];
        if (output == "-" || DescriptorNamed(output) >= 0 || !IsOtherThanScene(output))
            continue;
        const std::string whose = Args.Directory.empty() ? "OUTPUT " : "the scene file of " + Quoted(Args.Inputs[i]) + ", ";
        std::string message = whose + Printable(NotASceneFile(output)) + "; nothing was converted";
        if (Args.Directory.empty() && LooksLikeAnExport(output, Args.Inputs[i]))
            message += "; to convert several exports, write their scenes to a folder: " + std::string(Program) +
                       " -d DIR INPUT...";
        UsageError(message);
    }
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
    const std::map<FileIdentity, std::string> inputs = InputIdentities(Args);
    RefuseScenesOverInputs(Args, inputs);
    RefuseFilesOtherThanScenes(Args);
    long succeeded = 0;
    long failed = 0;
    long warned = 0;
    // Two inputs that would write the same scene file: the second must not
    // silently replace the first, whether the names are equal or only lead
    // to one file (another case on a disk that ignores case, a link).
    std::map<std::string, std::string> writtenFrom;
    std::map<FileIdentity, std::pair<std::string, std::string>> writtenAs;  // input, output
    const std::vector<std::string> outputs = Outputs(Args);
    for (std::size_t i = 0; i < Args.Inputs.size(); ++i) {
        const std::string& input = Args.Inputs[i];
        const std::string& output = outputs[i];
        const auto identity = output.empty() || output == "-" ? std::nullopt : IdentityOf(output);
        const auto byIdentity = identity ? writtenAs.find(*identity) : writtenAs.end();
        const auto isInput = identity ? inputs.find(*identity) : inputs.end();
        Outcome done;
        done.Input = input;
        done.Output = output;
        const std::string refused = Printable(input) + ": not converted: " + Printable(output);
        if (const auto [earlier, isNew] = writtenFrom.emplace(output, input); !isNew && !output.empty()) {
            done.ErrorMessage = refused + " is already written from " + Printable(earlier->second);
        } else if (byIdentity != writtenAs.end()) {
            done.ErrorMessage = refused + " is the file " + Printable(byIdentity->second.second) +
                                ", already written from " + Printable(byIdentity->second.first);
        } else if (isInput != inputs.end()) {
            done.ErrorMessage = refused + " is the INPUT " + Printable(isInput->second);
        } else {
            done = RunOne(Args, input, output);
            if (done.Written && output != "-") {
                if (const auto written = IdentityOf(output))
                    writtenAs.emplace(*written, std::make_pair(input, output));
            }
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

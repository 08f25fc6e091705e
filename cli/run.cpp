// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "run.h"

#include "quorvel/error.h"
#include "quorvel/file_identity.h"
#include "quorvel/interruption.h"
#include "quorvel/line_reader.h"
#include "output_template.h"
#include "paths.h"
#include "report.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace quorvel::cli {

namespace {

// The report's name for an engine error's kind.
const char* ReportKind(ErrorKind Kind)
{
    switch (Kind) {
    case ErrorKind::NoExportFile: return "missing-input";
    case ErrorKind::FileSystem: return "file-system";
    case ErrorKind::FatalWarning: return "strict";
    case ErrorKind::BadFactor: return "usage";
    case ErrorKind::Overflow:
    case ErrorKind::InvalidArgument:
    case ErrorKind::MissingInput:
    case ErrorKind::BadInput: break;
    }
    return "bad-input";
}

// One conversion or check; its failure is caught and described here.
Outcome RunOne(const Arguments& Args, const std::string& Input, const std::string& Output)
{
    Outcome done;
    done.Input = Input;
    done.Output = Output;
    ConvertState state;
    state.InputFile = Input;
    state.OutputFile = Output;
    const bool check = Args.What == Arguments::Action::Check || (Args.DryRun && Output == "-");
    try {
        if (check)
            done.Report = CheckConversion(state, Args.Options);
        else if (Args.DryRun)
            done.Report = DryRunConversion(state, Args.Options);
        else if (Output == "-")
            done.Report = ConvertToStandardOutput(state, Args.Options);
        else
            done.Report = RunConversion(state, Args.Options);
        done.Ok = true;
        done.Written = Args.What != Arguments::Action::Check && !Args.DryRun;
    } catch (const Error& error) {
        done.ErrorKind = ReportKind(error.kind());
        done.ErrorMessage = error.what();
        if (error.kind() == ErrorKind::FatalWarning)
            done.ErrorMessage += " (a warning made fatal by --strict)";
        done.ErrorLine = error.line();
    } catch (const std::exception& error) {
        done.ErrorKind = "bad-input";
        done.ErrorMessage = Printable(Input) + ": " + error.what();
    }
    // What --no-warn silences is gone from messages, counts and the report.
    std::erase_if(done.Report.Warnings, [&Args](const Warning& W) { return Args.Silences(W.Kind); });
    done.SkippedSilenced = Args.Silences(WarningKind::SkippedTrackerLine);
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
    for (const std::string& input : Args.Inputs) {
        outputs.push_back(!Args.Directory.empty() ? SceneIn(Args.Directory, input)
                          : !Args.Template.empty() ? ExpandTemplate(Args.Template, input)
                                                   : Args.Output);
    }
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
void RefuseScenesOverInputs(const Arguments& Args, const std::vector<std::string>& Outputs,
                            const std::map<FileIdentity, std::string>& Inputs)
{
    if (Args.What != Arguments::Action::Convert)
        return;
    for (std::size_t i = 0; i < Outputs.size(); ++i) {
        if (Outputs[i] == "-")
            continue;
        if (const auto identity = IdentityOf(Outputs[i])) {
            if (const auto input = Inputs.find(*identity); input != Inputs.end()) {
                UsageError("the scene file " + Quoted(Outputs[i]) + " of " + Quoted(Args.Inputs[i]) +
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
void RefuseFilesOtherThanScenes(const Arguments& Args, const std::vector<std::string>& Scenes)
{
    if (Args.What != Arguments::Action::Convert)
        return;
    for (std::size_t i = 0; i < Scenes.size(); ++i) {
        const std::string& output = Scenes[i];
        if (output == "-" || DescriptorNamed(output) >= 0 || !IsOtherThanScene(output))
            continue;
        const bool oneOutput = Args.Directory.empty() && Args.Template.empty();
        const std::string whose = oneOutput ? "OUTPUT " : "the scene file of " + Quoted(Args.Inputs[i]) + ", ";
        std::string message = whose + Printable(NotASceneFile(output)) + "; nothing was converted";
        if (oneOutput && LooksLikeAnExport(output, Args.Inputs[i]))
            message += "; to convert several exports, write their scenes to a folder: " + std::string(Program) +
                       " -d DIR INPUT...";
        UsageError(message);
    }
}

// The input as messages name it.
std::string Named(const std::string& Input)
{
    return Input == StandardInputPath ? "standard input" : Printable(Input);
}

void Tell(const Arguments& Args, const Outcome& Done)
{
    if (Done.Ok) {
        if (!Args.Quiet)
            PrintWarnings(Done);
        if (Args.Verbose)
            PrintSummaryLine(Done);
        if (Args.DryRun) {
            const bool toStandardOutput = Done.Output == "-";
            std::fprintf(stderr, "%s: %s -> %s: would be written%s\n", Program, Named(Done.Input).c_str(),
                         toStandardOutput ? "standard output" : Printable(Done.Output).c_str(),
                         toStandardOutput ? ""
                         : IdentityOf(Done.Output) ? " over the old scene file"
                                                   : ", a new file");
        }
    } else {
        std::fprintf(stderr, "%s: %s\n", Program, Done.ErrorMessage.c_str());
    }
    if (Args.JsonReport)
        PrintJsonLine(Done);
}

// Which file a scene target is, as far as can be told before the run: two
// targets with different keys are never one file, so their inputs may be
// converted at once. A file that is not there yet is told by its folder
// and its name in lower case (a disk may ignore case).
std::string TargetKey(const std::string& Output)
{
    const auto key = [](const FileIdentity& Identity) {
        return std::to_string(Identity.Device) + ':' + std::to_string(Identity.Number);
    };
    if (const auto identity = IdentityOf(Output))
        return "file " + key(*identity);
    const std::filesystem::path path = PathOf(Output);
    std::string name = TextOf(path.filename());
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C; });
    const auto folder = IdentityOf(path.has_parent_path() ? TextOf(path.parent_path()) : ".");
    return folder ? "in " + key(*folder) + '/' + name : "name " + Output;
}

// The run over all inputs: each input's checks against the scenes written
// before it, its conversion, and what is said about it, in the order of the
// inputs however many are converted at once.
class Batch {
public:
    explicit Batch(const Arguments& Args)
        : args_(Args), inputs_(InputIdentities(Args)), outputs_(Outputs(Args)),
          results_(Args.Inputs.size()), finished_(Args.Inputs.size(), false)
    {
        RefuseScenesOverInputs(Args, outputs_, inputs_);
        RefuseFilesOtherThanScenes(Args, outputs_);
        // Two inputs that would write the same scene file: the second must
        // not silently replace the first, whether the names are equal or
        // only lead to one file (another case on a disk that ignores case,
        // a link).
        std::map<std::string, std::size_t> first;
        std::map<std::string, std::size_t> lastWithKey;
        after_.assign(outputs_.size(), -1);
        for (std::size_t i = 0; i < outputs_.size(); ++i) {
            const std::string& output = outputs_[i];
            if (output.empty())
                continue;
            if (const auto [earlier, isNew] = first.emplace(output, i); !isNew)
                sameNameAs_.emplace(i, earlier->second);
            if (Args.Jobs > 1 && output != "-") {
                const auto [earlier, isNew] = lastWithKey.emplace(TargetKey(output), i);
                if (!isNew)
                    after_[i] = static_cast<std::ptrdiff_t>(std::exchange(earlier->second, i));
            }
        }
    }

    bool Run()
    {
        const std::size_t count = args_.Inputs.size();
        std::vector<std::thread> workers;
        for (unsigned n = 0; args_.Jobs > 1 && n < std::min<std::size_t>(args_.Jobs, count); ++n) {
            try {
                workers.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                break;  // no threads here (WebAssembly): the inputs one by one
            }
        }
        NoteProgress(0);
        for (std::size_t i = 0; i < count; ++i) {
            Outcome done;
            if (workers.empty()) {
                done = Process(i);
                finished_[i] = true;
            } else {
                std::unique_lock lock(lock_);
                changed_.wait(lock, [&] { return results_[i].has_value(); });
                done = std::move(*results_[i]);
                results_[i].reset();
            }
            Tell(args_, done);
            (done.Ok ? succeeded_ : failed_) += 1;
            warned_ += done.HasWarnings() ? 1 : 0;
            NoteProgress(i + 1);
        }
        for (std::thread& worker : workers)
            worker.join();
        NoteBatchProgress(nullptr, true);
        const bool check = args_.What == Arguments::Action::Check || args_.DryRun;
        if (count > 1 && !args_.Quiet) {
            std::fprintf(stderr, "%s: %ld %s, %ld %s, %ld with warnings\n", Program, succeeded_,
                         check ? "would convert" : "converted", failed_, check ? "would not" : "failed", warned_);
        }
        return failed_ == 0;
    }

private:
    void Work()
    {
        KeepInterruptionsFromThisThread();
        for (;;) {
            std::size_t i = 0;
            {
                const std::lock_guard lock(lock_);
                if (next_ == args_.Inputs.size())
                    return;
                i = next_++;
            }
            Outcome done = Process(i);
            const std::lock_guard lock(lock_);
            results_[i] = std::move(done);
            finished_[i] = true;
            changed_.notify_all();
        }
    }

    // Input I checked against the scenes written before it, then converted.
    Outcome Process(std::size_t I)
    {
        const std::string& input = args_.Inputs[I];
        const std::string& output = outputs_[I];
        if (after_[I] >= 0) {
            // An earlier input may write this very file: its scene must be
            // in place before this one is checked against it.
            std::unique_lock lock(lock_);
            changed_.wait(lock, [&] { return static_cast<bool>(finished_[static_cast<std::size_t>(after_[I])]); });
        }
        Outcome done;
        done.Input = input;
        done.Output = output;
        done.ErrorKind = "file-system";
        const std::string refused = Printable(input) + ": not converted: " + Printable(output);
        const auto identity = output.empty() || output == "-" ? std::nullopt : IdentityOf(output);
        std::unique_lock lock(lock_);
        const auto byIdentity = identity ? writtenAs_.find(*identity) : writtenAs_.end();
        const auto isInput = identity ? inputs_.find(*identity) : inputs_.end();
        if (const auto earlier = sameNameAs_.find(I); earlier != sameNameAs_.end()) {
            done.ErrorMessage = refused + " is already written from " + Printable(args_.Inputs[earlier->second]);
        } else if (byIdentity != writtenAs_.end()) {
            done.ErrorMessage = refused + " is the file " + Printable(byIdentity->second.second) +
                                ", already written from " + Printable(byIdentity->second.first);
        } else if (isInput != inputs_.end()) {
            done.ErrorMessage = refused + " is the INPUT " + Printable(isInput->second);
        } else {
            lock.unlock();
            done = RunOne(args_, input, output);
            // A dry run's scene is written as far as the later inputs' checks go.
            const bool written = done.Written || (args_.DryRun && done.Ok);
            const auto writtenIdentity = written && output != "-" ? IdentityOf(output) : std::nullopt;
            lock.lock();
            if (writtenIdentity)
                writtenAs_.emplace(*writtenIdentity, std::make_pair(input, output));
        }
        return done;
    }

    // The line an interruption now writes: the input under way and how far
    // the batch has got; with several at once, that line alone.
    void NoteProgress(std::size_t Told)
    {
        const std::size_t count = args_.Inputs.size();
        if (count < 2 || Told == count)
            return;
        const bool check = args_.What == Arguments::Action::Check || args_.DryRun;
        std::string& line = progress_[Told % progress_.size()];
        line = std::string(Program) + ": interrupted during " + Named(args_.Inputs[Told]) + ": " +
               std::to_string(succeeded_) + (check ? " would convert, " : " converted, ") +
               std::to_string(failed_) + (check ? " would not, " : " failed, ") +
               std::to_string(count - Told) + " not finished\n";
        NoteBatchProgress(line.c_str(), args_.Jobs < 2);
    }

    const Arguments& args_;
    const std::map<FileIdentity, std::string> inputs_;
    const std::vector<std::string> outputs_;
    std::map<std::size_t, std::size_t> sameNameAs_;  // input, the earlier one of the same scene name
    std::vector<std::ptrdiff_t> after_;  // the earlier input whose scene may be the same file, or -1

    std::mutex lock_;
    std::condition_variable changed_;
    std::size_t next_ = 0;
    std::vector<std::optional<Outcome>> results_;
    std::vector<bool> finished_;
    std::map<FileIdentity, std::pair<std::string, std::string>> writtenAs_;  // input, output

    long succeeded_ = 0;
    long failed_ = 0;
    long warned_ = 0;
    // Where the interruption handler may still be reading the last line
    // while the next is put together.
    std::array<std::string, 4> progress_;
};

}  // namespace

bool RunAll(const Arguments& Args) { return Batch(Args).Run(); }

}  // namespace quorvel::cli

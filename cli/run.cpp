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
#include <chrono>
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

// One conversion or check; its failure is caught and described here. With
// Pending, the scene is left there to be put in place.
Outcome RunOne(const Arguments& Args, const std::string& Input, const std::string& Output,
               PendingScene* Pending = nullptr)
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
        else if (Pending)
            done.Report = PrepareConversion(state, Args.Options, *Pending);
        else if (Output == "-")
            done.Report = ConvertToStandardOutput(state, Args.Options);
        else
            done.Report = RunConversion(state, Args.Options);
        done.Ok = true;
        done.Written = Args.What != Arguments::Action::Check && !Args.DryRun && !(Pending && Pending->Holds());
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
}

// While it lives an interruption waits, so that a report line and what an
// interruption says next change together.
struct InterruptionsHeld {
    InterruptionsHeld() { HoldInterruptions(); }
    ~InterruptionsHeld() { ReleaseInterruptions(); }
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;
};

// How one input went, and its scene while it waits to be put in place.
struct Result {
    Outcome Done;
    PendingScene Scene;
};

// The run over all inputs: each input's checks against the scenes written
// before it, its conversion, and what is said about it, in the order of the
// inputs however many are converted at once. The scenes of a batch are made
// durable in groups, then put in place one by one in the inputs' order.
class Batch {
public:
    explicit Batch(const Arguments& Args)
        : args_(Args), inputs_(InputIdentities(Args)), outputs_(Outputs(Args)), results_(Args.Inputs.size()),
          batch_(Args.Inputs.size() > 1)
    {
        RefuseScenesOverInputs(Args, outputs_, inputs_);
        RefuseFilesOtherThanScenes(Args, outputs_);
        // Two inputs that would write the same scene file: the second must
        // not silently replace the first, whether the names are equal or
        // only lead to one file (another case on a disk that ignores case,
        // a link: told when the scene is put in place).
        std::map<std::string, std::size_t> first;
        for (std::size_t i = 0; i < outputs_.size(); ++i) {
            if (outputs_[i].empty())
                continue;
            if (const auto [earlier, isNew] = first.emplace(outputs_[i], i); !isNew)
                sameNameAs_.emplace(i, earlier->second);
        }
    }

    // Nothing the interruption handler reads outlives the run, however it ends.
    ~Batch()
    {
        NoteInterruptionReport(nullptr);
        NoteBatchProgress(nullptr);
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

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
        {
            const InterruptionsHeld held;
            NoteProgress();
        }
        std::vector<Result> group;
        auto started = std::chrono::steady_clock::now();  // the group's first
        for (std::size_t i = 0; i < count; ++i) {
            Result result;
            if (workers.empty()) {
                result = Process(i);
            } else {
                std::unique_lock lock(lock_);
                const auto ready = [&] { return results_[i].has_value(); };
                // A slow input does not hold back what is said about those before it.
                while (!ready()) {
                    if (group.empty()) {
                        changed_.wait(lock, ready);
                    } else if (!changed_.wait_until(lock, started + MostWait, ready)) {
                        lock.unlock();
                        Commit(group);
                        lock.lock();
                    }
                }
                result = std::move(*results_[i]);
                results_[i].reset();
            }
            if (group.empty())
                started = std::chrono::steady_clock::now();
            group.push_back(std::move(result));
            if (i + 1 == count || group.size() == GroupSize || std::chrono::steady_clock::now() - started > MostWait)
                Commit(group);
        }
        for (std::thread& worker : workers)
            worker.join();
        NoteBatchProgress(nullptr);
        NoteInterruptionReport(nullptr);
        if (count > 1 && !args_.Quiet) {
            std::fprintf(stderr, "%s: %ld %s, %ld %s, %ld with warnings\n", Program, succeeded_,
                         Checking() ? "would convert" : "converted", failed_, Checking() ? "would not" : "failed",
                         warned_);
        }
        return failed_ == 0;
    }

private:
    // Scenes made durable together; inputs in hand beyond those told (each
    // holds a file open, and without unnamed files one of the interruption
    // handler's 64 names); the longest a converted input waits to be told.
    static constexpr std::size_t GroupSize = 32;
    static constexpr std::size_t InHand = 48;
    static constexpr std::chrono::milliseconds MostWait{500};

    bool Checking() const { return args_.What == Arguments::Action::Check || args_.DryRun; }

    void Work()
    {
        KeepInterruptionsFromThisThread();
        for (;;) {
            std::size_t i = 0;
            {
                std::unique_lock lock(lock_);
                changed_.wait(lock, [&] { return next_ < told_ + InHand || next_ == args_.Inputs.size(); });
                if (next_ == args_.Inputs.size())
                    return;
                i = next_++;
            }
            Result result = Process(i);
            const std::lock_guard lock(lock_);
            results_[i] = std::move(result);
            changed_.notify_all();
        }
    }

    // Why the scene of input I may not be written now, or empty: an earlier
    // input's of the same name (whether that one is written or failed, so
    // the outcome does not hang on which fails), a file already written in
    // this run, or an input.
    std::string Refusal(std::size_t I)
    {
        const std::string& output = outputs_[I];
        const std::string refused = Printable(args_.Inputs[I]) + ": not converted: " + Printable(output);
        if (const auto earlier = sameNameAs_.find(I); earlier != sameNameAs_.end())
            return refused + " is also the scene of " + Printable(args_.Inputs[earlier->second]) + ", an earlier input";
        const auto identity = output.empty() || output == "-" ? std::nullopt : IdentityOf(output);
        const std::lock_guard lock(lock_);
        if (const auto written = identity ? writtenAs_.find(*identity) : writtenAs_.end(); written != writtenAs_.end()) {
            return refused + " is the file " + Printable(written->second.second) + ", already written from " +
                   Printable(written->second.first);
        }
        if (const auto input = identity ? inputs_.find(*identity) : inputs_.end(); input != inputs_.end())
            return refused + " is the INPUT " + Printable(input->second);
        return {};
    }

    Outcome Refused(std::size_t I, std::string Why) const
    {
        Outcome done;
        done.Input = args_.Inputs[I];
        done.Output = outputs_[I];
        done.ErrorKind = "file-system";
        done.ErrorMessage = std::move(Why);
        return done;
    }

    // Input I checked against the scenes written so far, then converted: in
    // a batch, its scene left beside its target to be put in place.
    Result Process(std::size_t I)
    {
        Result result;
        if (std::string why = Refusal(I); !why.empty()) {
            result.Done = Refused(I, std::move(why));
            return result;
        }
        const std::string& output = outputs_[I];
        const bool pending = batch_ && !Checking() && output != "-";
        result.Done = RunOne(args_, args_.Inputs[I], output, pending ? &result.Scene : nullptr);
        return result;
    }

    // The group's scenes made durable together, then each put in place and
    // told, in the inputs' order. An earlier input of the run may have
    // written the very file meanwhile, under another name: checked again.
    void Commit(std::vector<Result>& Group)
    {
        std::vector<PendingScene*> scenes;
        for (Result& result : Group)
            scenes.push_back(&result.Scene);
        MakeDurableTogether(scenes);
        for (Result& result : Group) {
            const std::size_t i = told_;
            if (result.Done.Ok && (result.Scene.Holds() || Checking())) {
                if (std::string why = Refusal(i); !why.empty()) {
                    result.Scene = PendingScene();
                    result.Done = Refused(i, std::move(why));
                } else if (result.Scene.Holds()) {
                    try {
                        PutInPlace(result.Scene);
                        result.Done.Written = true;
                    } catch (const Error& error) {
                        result.Done.Ok = false;
                        result.Done.Report = {};
                        result.Done.ErrorKind = ReportKind(error.kind());
                        result.Done.ErrorMessage = error.what();
                        result.Done.ErrorLine = error.line();
                    }
                }
            }
            Done(i, result.Done);
        }
        Group.clear();
    }

    // What is said about input I, once its scene is where it goes.
    void Done(std::size_t I, const Outcome& Result)
    {
        // A dry run's scene is written as far as the later inputs' checks go.
        const bool written = Result.Written || (args_.DryRun && Result.Ok);
        const auto identity = written && Result.Output != "-" ? IdentityOf(Result.Output) : std::nullopt;
        Tell(args_, Result);
        // Its report line and the next input's, should an interruption come, at once.
        const InterruptionsHeld held;
        if (args_.JsonReport)
            PrintJsonLine(Result);
        (Result.Ok ? succeeded_ : failed_) += 1;
        warned_ += Result.HasWarnings() ? 1 : 0;
        {
            const std::lock_guard lock(lock_);
            if (identity)
                writtenAs_.emplace(*identity, std::make_pair(args_.Inputs[I], Result.Output));
            ++told_;
            changed_.notify_all();
        }
        NoteProgress();
    }

    // The lines an interruption now writes: the input to be told next and
    // how far the batch has got, then what that input's scene file holds
    // (the scenes after it wait beside their targets, which are as they were).
    void NoteProgress()
    {
        const std::size_t count = args_.Inputs.size();
        if (args_.JsonReport)
            NoteReport();
        if (!batch_ || told_ == count)
            return;
        if (!Checking())
            NoteSceneUnderWay(IdentityOf(outputs_[told_]) ? SceneProgress::OldSceneKept : SceneProgress::NoneWritten);
        std::string& line = progress_[told_ % progress_.size()];
        line = std::string(Program) + ": interrupted during " + Named(args_.Inputs[told_]) + ": " +
               std::to_string(succeeded_) + (Checking() ? " would convert, " : " converted, ") +
               std::to_string(failed_) + (Checking() ? " would not, " : " failed, ") +
               std::to_string(count - told_) + " not finished\n";
        NoteBatchProgress(line.c_str());
    }

    // Input I's report line when an interruption stops the run, with Message
    // as its error.
    Outcome Interrupted(std::size_t I, std::string Message, bool Written) const
    {
        Outcome done;
        done.Input = args_.Inputs[I];
        done.Output = outputs_[I];
        done.Written = Written;
        done.ErrorKind = "interrupted";
        done.ErrorMessage = std::move(Message);
        return done;
    }

    // The report lines an interruption now writes, one for every input not
    // yet told: the one to be told next as far as its scene has got, the
    // others not finished (their scenes wait beside their targets, which
    // are as they were).
    void NoteReport()
    {
        const std::size_t count = args_.Inputs.size();
        if (told_ == count) {
            NoteInterruptionReport(nullptr);
            return;
        }
        if (lineStarts_.empty()) {
            const std::string notFinished =
                Checking() ? "interrupted: not finished" : "interrupted: not finished; the scene file was left as it was";
            for (std::size_t i = 0; i < count; ++i) {
                lineStarts_.push_back(notFinished_.size());
                notFinished_ += JsonLine(Interrupted(i, notFinished, false));
            }
            lineStarts_.push_back(notFinished_.size());
        }
        InterruptionReport& report = reports_[told_ % reports_.size()];
        const std::string prefix = std::string(Program) + ": ";
        for (int p = 0; p < SceneProgressCount; ++p) {
            std::string said = InterruptionSays()[static_cast<std::size_t>(p)];
            said = said.substr(prefix.size(), said.size() - prefix.size() - 1);
            const auto progress = static_cast<SceneProgress>(p);
            const bool written = !Checking() && (progress == SceneProgress::NewSceneInPlace ||
                                                 progress == SceneProgress::WholeOnStandardOutput);
            report.UnderWay[static_cast<std::size_t>(p)] = JsonLine(Interrupted(told_, std::move(said), written));
        }
        report.Rest = std::string_view(notFinished_).substr(lineStarts_[told_ + 1]);
        NoteInterruptionReport(&report);
    }

    const Arguments& args_;
    const std::map<FileIdentity, std::string> inputs_;
    const std::vector<std::string> outputs_;
    std::map<std::size_t, std::size_t> sameNameAs_;  // input, the earlier one of the same scene name

    std::mutex lock_;
    std::condition_variable changed_;
    std::size_t next_ = 0;
    std::size_t told_ = 0;
    std::vector<std::optional<Result>> results_;
    std::map<FileIdentity, std::pair<std::string, std::string>> writtenAs_;  // input, output
    const bool batch_;

    long succeeded_ = 0;
    long failed_ = 0;
    long warned_ = 0;
    // Where the interruption handler may still be reading the last line
    // while the next is put together.
    std::array<std::string, 4> progress_;
    // With --report json: every input's line as not finished, one after
    // another, and where each starts; the report an interruption writes,
    // the one noted last and the one put together next.
    std::string notFinished_;
    std::vector<std::size_t> lineStarts_;
    std::array<InterruptionReport, 2> reports_;
};

}  // namespace

bool RunAll(const Arguments& Args) { return Batch(Args).Run(); }

}  // namespace quorvel::cli

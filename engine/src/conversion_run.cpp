// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/conversion_run.h"

#include "quorvel/error.h"
#include "quorvel/interruption.h"
#include "quorvel/export_reader.h"
#include "quorvel/line_reader.h"
#include "quorvel/number_text.h"
#include "quorvel/scene_writer.h"
#include "quorvel/text_rules.h"

#include "key_times.h"
#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace quorvel {

namespace {

// The scene file's first line, which tells a scene file from any other.
constexpr std::string_view SceneFirstLine = "SynthEyesScene {";

[[noreturn]] void RefuseLink(const std::string& Path, const std::string& Link, platform::ErrorCode Error)
{
    if (Link.empty() || Link == Path)
        ThrowFileError("cannot follow the link", Path, Error);
    ThrowFileError("cannot follow the link '" + Link + "' on the way to", Path, Error);
}

// Finds and opens the place of the scene file Path: the folder it goes to,
// links at the end followed. Only a regular file is ever replaced: renaming
// over a device or a pipe (such as /dev/null) would destroy it. Nor is a
// file this user may not write: the rename needs only the folder's
// permission, and would slip past the file's own. Nor is any file but a
// scene file or an empty one: an export or a log named by a slip is kept.
// Input, when given, must not be the file replaced.
platform::ExistingFile LocateScene(const std::string& Path, platform::SceneFile& Scene, const LineReader* Input)
{
    if (Path.empty())
        throw Error(ErrorKind::FileSystem, "no scene file was chosen");
    platform::ExistingFile old;
    std::string link;
    if (const platform::ErrorCode error = Scene.Locate(Path, old, link)) {
        if (error == platform::ForeignLinkInSharedFolder)
            RefuseLink(Path, link, error);
        ThrowFileError("cannot create the scene file", Path, error);
    }
    switch (old.Kind) {
    case platform::PathKind::Missing:
        return old;
    case platform::PathKind::Folder:
        throw Error(ErrorKind::FileSystem, "'" + Path + "' is a folder, not a scene file");
    case platform::PathKind::Other:
        throw Error(ErrorKind::FileSystem, "'" + Path + "' is not a regular file; a scene file "
                                                        "replaces only a regular file");
    case platform::PathKind::Regular:
        break;
    }
    if (Input && Input->IsFile(old.Identity)) {
        throw Error(ErrorKind::FileSystem,
                    "the scene file '" + Path + "' is the export file itself; choose another name");
    }
    if (const platform::ErrorCode error = Scene.CheckMayWrite())
        ThrowFileError("cannot replace the scene file", Path, error);
    std::string head;
    if (const platform::ErrorCode error = Scene.ReadHead(head)) {
        throw Error(ErrorKind::FileSystem, "cannot read the scene file '" + Path + "' to see that it is one: " +
                                               platform::ReasonText(error));
    }
    if (!IsSceneHead(head))
        throw Error(ErrorKind::FileSystem, NotASceneFile(Path));
    return old;
}

}  // namespace

std::string FactorFault(std::string_view FactorText, std::string_view Subject)
{
    const std::string_view text = Trim(FactorText);
    const std::string quoted = std::string(Subject) + " '" + Excerpt(FactorText) + "'";
    if (text.empty())
        return std::string(Subject) + " is empty; type a number, such as 1 or 0.5";
    double factor = 0.0;
    const bool number = ReadNumber(text, factor);
    // A number beyond the largest double (1e400) reads as infinite.
    if (number && std::isinf(factor) && text.find_first_of("0123456789") != std::string_view::npos)
        return quoted + " is too large; a factor must lie between -1e308 and 1e308";
    if (!number || !std::isfinite(factor))
        return quoted + " is not a number, such as 1 or 0.5";
    // A factor too small for a double (1e-400) would put every tracker at
    // 0, 0, 0 or keep few of its digits: only a factor written as zero is zero.
    const std::string_view digits = text.substr(0, text.find_first_of("eE"));
    const bool writtenAsZero = digits.find_first_of("123456789") == std::string_view::npos;
    if ((factor == 0 && !writtenAsZero) || std::fpclassify(factor) == FP_SUBNORMAL)
        return quoted + " is too close to zero to be told from it; write 0 for zero";
    return {};
}

double ParseFactor(std::string_view FactorText)
{
    const std::string fault = FactorFault(FactorText, "the multiplication factor");
    if (!fault.empty())
        throw Error(ErrorKind::BadFactor, fault);
    double factor = 0.0;
    ReadNumber(Trim(FactorText), factor);
    return factor;
}

std::string ThreadsFault(std::string_view Text, std::string_view Subject)
{
    const bool digits = !Text.empty() && Text.find_first_not_of("0123456789") == std::string_view::npos;
    if (digits && Text.find_first_not_of('0') != std::string_view::npos)
        return {};
    return std::string(Subject) + " '" + Excerpt(Text) +
           "' is not a number of threads; give a whole number of at least 1, such as 4";
}

int ThreadsOf(std::string_view Text)
{
    int threads = 0;
    for (const char digit : Text)
        threads = std::min(threads * 10 + (digit - '0'), MaxThreads);
    return threads;
}

int ThreadsFor(const ConvertOptions& Options)
{
    if (!platform::ThreadsAvailable())
        return 1;
    int threads = Options.Threads;
    if (threads <= 0) {
        const char* const text = std::getenv("QUORVEL_THREADS");
        if (text && ThreadsFault(text, {}).empty()) {
            threads = ThreadsOf(text);
        } else {
            threads = platform::UsableProcessors();
        }
    }
    return std::clamp(threads, 1, MaxThreads);
}

namespace {

// The scene holds whole frames per second: a rate such as 23.976 or 29.97
// is written rounded, and the user must know.
void WarnOfRoundedFrameRate(const ConvertState& State, ConvertReport& Report)
{
    if (State.FrameRateFound == State.FrameRate)
        return;
    char found[number_text::TextMax];
    char* const end = number_text::WriteShortest(found, State.FrameRateFound);
    Report.Warnings.push_back({WarningKind::FrameRate, State.FrameRateLineNumber,
                               "frame rate " + std::string(found, end) + " written as " +
                                   IntegerText(State.FrameRate) +
                                   " (the scene file holds whole frames per second)"});
}

// Values the scene file holds as found, though no scene can sensibly use
// them: the user must know, and the bytes written stay as they are.
void WarnOfImpossibleValues(const ConvertState& State, ConvertReport& Report)
{
    const auto warn = [&Report](long Line, std::string Message) {
        Report.Warnings.push_back({WarningKind::ImpossibleValue, Line, std::move(Message)});
    };
    if (State.FrameRate <= 0) {
        warn(State.FrameRateLineNumber, "frame rate written as " + IntegerText(State.FrameRate) +
                                            ": a scene needs at least 1 frame per second");
    }
    if (State.ImageWidth <= 0)
        warn(State.ImageWidthLineNumber, "image width " + IntegerText(State.ImageWidth) + " is not above 0");
    if (State.ImageHeight <= 0)
        warn(State.ImageHeightLineNumber, "image height " + IntegerText(State.ImageHeight) + " is not above 0");
    double aspect = 0.0;
    if (!ReadNumber(Trim(State.AspectText), aspect) || !std::isfinite(aspect) || aspect <= 0)
        warn(State.AspectLineNumber, "image aspect '" + Excerpt(State.AspectText) + "' is not a positive finite number");
}

bool IsFatal(const ConvertOptions& Options, WarningKind Kind)
{
    return std::find(Options.FatalWarnings.begin(), Options.FatalWarnings.end(), Kind) !=
           Options.FatalWarnings.end();
}

// The first warning the caller made fatal, in the order they are told:
// skipped tracker lines first.
void FailOnFatalWarning(const ConvertOptions& Options, const LineReader& Reader, const ConvertReport& Report)
{
    const auto& skipped = Report.Trackers.Skipped;
    if (!skipped.empty() && IsFatal(Options, WarningKind::SkippedTrackerLine)) {
        throw Error(ErrorKind::FatalWarning,
                    Reader.Where(skipped.front().LineNumber) + ": tracker line skipped: " + skipped.front().Reason,
                    skipped.front().LineNumber);
    }
    for (const Warning& warning : Report.Warnings) {
        if (IsFatal(Options, warning.Kind)) {
            const std::string where = warning.Line > 0 ? Reader.Where(warning.Line) : Reader.Path();
            throw Error(ErrorKind::FatalWarning, where + ": " + warning.Message, warning.Line);
        }
    }
}

// Where Convert writes the scene, and how its write errors read.
struct SceneOutput {
    std::FILE* Stream;
    std::string Name;
    bool StartWriteback = false;
    std::string What = "cannot write the scene file";
};

ConvertReport Convert(ConvertState& State, const ConvertOptions& Options, LineReader& reader,
                      const SceneOutput& Out)
{
    const double factor = Options.SaveTrackpoints ? ParseFactor(Options.FactorText) : 0.0;
    State.CurrentLine.clear();
    State.CurrentLineNumber = 0;
    ReadCamPath(State, reader);

    SceneWriter writer(Out.Stream, Out.Name, Out.StartWriteback, Out.What);
    SaveCamPath(State, writer);
    ConvertReport report;
    report.Frames = State.FrameCount();
    report.StartFrame = State.StartFrame;
    report.EndFrame = State.EndFrame;
    report.ImageWidth = State.ImageWidth;
    report.ImageHeight = State.ImageHeight;
    report.AspectText = State.AspectText;
    report.FrameRateFound = State.FrameRateFound;
    report.FrameRate = State.FrameRate;
    if (std::optional<KeyTimesFinding> times = CheckKeyTimes(State))
        report.Warnings.push_back({WarningKind::KeyTimes, times->Line, std::move(times->Message)});
    WarnOfRoundedFrameRate(State, report);
    WarnOfImpossibleValues(State, report);
    if (Options.SaveTrackpoints) {
        report.Trackers =
            SaveTrackers(State, reader, writer, factor, {ThreadsFor(Options), Options.ChunkBytes});
        if (report.Trackers.Trackers == 0 && report.Trackers.SkippedCount == 0)
            report.Warnings.push_back(
                {WarningKind::NoTrackers, 0, "no tracker line found, so the scene file holds no trackers"});
    } else {
        WriteClosingLines(writer);
    }
    reader.CheckUnchanged();
    writer.Flush();
    FailOnFatalWarning(Options, reader, report);
    return report;
}

}  // namespace

ConvertReport ConvertToStream(ConvertState& State, const ConvertOptions& Options, std::FILE* Out,
                              const std::string& OutName)
{
    LineReader reader(State.InputFile);
    return Convert(State, Options, reader, {Out, OutName});
}

ConvertReport CheckConversion(ConvertState& State, const ConvertOptions& Options)
{
    // A writer without a stream drops every piece: the reading and checking
    // are those of a real conversion.
    LineReader reader(State.InputFile);
    return Convert(State, Options, reader, {nullptr, "no scene file"});
}

bool IsSceneHead(std::string_view Head)
{
    return Head.empty() || (Head.starts_with(SceneFirstLine) &&
                            (Head.size() == SceneFirstLine.size() || Head[SceneFirstLine.size()] == '\r' ||
                             Head[SceneFirstLine.size()] == '\n'));
}

std::string NotASceneFile(const std::string& Path)
{
    return "'" + Path + "' is not a scene file: only a scene file (its first line \"" +
           std::string(SceneFirstLine) + "\") or an empty file is replaced";
}

bool IsOtherThanScene(const std::string& Path)
{
    platform::SceneFile scene;
    platform::ExistingFile old;
    std::string link;
    std::string head;
    return scene.Locate(Path, old, link) == 0 && old.Kind == platform::PathKind::Regular &&
           scene.ReadHead(head) == 0 && !IsSceneHead(head);
}

int DescriptorNamed(const std::string& Path) { return platform::DescriptorNamed(Path); }

ConvertReport DryRunConversion(ConvertState& State, const ConvertOptions& Options)
{
    // A descriptor takes the scene as it comes: there is no file to check.
    if (platform::DescriptorNamed(State.OutputFile) >= 0)
        return CheckConversion(State, Options);
    if (Options.SaveTrackpoints)
        ParseFactor(Options.FactorText);
    LineReader reader(State.InputFile);
    platform::SceneFile scene;
    if (LocateScene(State.OutputFile, scene, &reader).Kind == platform::PathKind::Missing) {
        if (const platform::ErrorCode error = scene.CheckMayCreate())
            ThrowFileError("cannot create the scene file", State.OutputFile, error);
    }
    return Convert(State, Options, reader, {nullptr, "no scene file"});
}

struct PendingScene::Parts {
    platform::SceneFile File;
    std::string Path;
};

PendingScene::PendingScene() = default;
PendingScene::~PendingScene() = default;
PendingScene::PendingScene(PendingScene&&) noexcept = default;
PendingScene& PendingScene::operator=(PendingScene&&) noexcept = default;
bool PendingScene::Holds() const { return parts_ != nullptr; }

namespace {

[[noreturn]] void ThrowWriteError(const std::string& Path, const std::string& Attribute, platform::ErrorCode Code)
{
    if (!Attribute.empty()) {
        throw Error(ErrorKind::FileSystem,
                    "cannot replace the scene file '" + Path + "': the new scene cannot be given its extended attribute '" +
                        Attribute + "' (" + platform::ReasonText(Code) + "), so the old one was left as it was");
    }
    ThrowFileError("cannot write the scene file", Path, Code);
}

// RunConversion up to the complete scene beside its target. Noting tells
// an interruption meanwhile what the target holds.
ConvertReport Prepare(ConvertState& State, const ConvertOptions& Options, PendingScene::Parts& Scene, bool Noting)
{
    if (Noting) {
        // Until the scene file is chosen for certain below (opening the
        // export may wait long, on a FIFO), whatever the name leads to now.
        platform::NoteSceneProgress(platform::KindOf(State.OutputFile) == platform::PathKind::Regular
                                        ? SceneProgress::OldSceneKept
                                        : SceneProgress::NoneWritten);
    }
    if (Options.SaveTrackpoints)
        ParseFactor(Options.FactorText);
    LineReader reader(State.InputFile);
    const platform::ExistingFile old = LocateScene(State.OutputFile, Scene.File, &reader);
    const bool replaces = old.Kind == platform::PathKind::Regular;
    if (Noting)
        platform::NoteSceneProgress(replaces ? SceneProgress::OldSceneKept : SceneProgress::NoneWritten);
    Scene.Path = State.OutputFile;
    if (const platform::ErrorCode error = Scene.File.Create())
        ThrowFileError("cannot create the scene file", Scene.Path, error);
    // The scene file is written back while the conversion runs, so that
    // the final flush to disk waits for the last piece only.
    ConvertReport report = Convert(State, Options, reader, {Scene.File.Stream(), Scene.Path, true});
    if (replaces && old.Links > 1) {
        if (IsFatal(Options, WarningKind::HardLink))
            throw Error(ErrorKind::FatalWarning, HardLinkWarning(Scene.Path, old.Links - 1));
        report.Warnings.push_back({WarningKind::HardLink, 0, HardLinkWarning(Scene.Path, old.Links - 1)});
    }
    std::string attribute;
    if (const platform::ErrorCode error = Scene.File.Complete(attribute))
        ThrowWriteError(Scene.Path, attribute, error);
    return report;
}

void PutPartsInPlace(PendingScene::Parts& Scene)
{
    std::string attribute;
    if (const platform::ErrorCode error = Scene.File.Finish(attribute))
        ThrowWriteError(Scene.Path, attribute, error);
    if (const platform::ErrorCode error = Scene.File.PutInPlace())
        ThrowFileError("cannot replace the scene file", Scene.Path, error);
}

}  // namespace

ConvertReport PrepareConversion(ConvertState& State, const ConvertOptions& Options, PendingScene& Scene)
{
    Scene.parts_.reset();
    if (const int descriptor = platform::DescriptorNamed(State.OutputFile); descriptor >= 0)
        return ConvertToDescriptor(State, Options, descriptor, State.OutputFile);
    auto parts = std::make_unique<PendingScene::Parts>();
    ConvertReport report = Prepare(State, Options, *parts, false);
    Scene.parts_ = std::move(parts);
    return report;
}

void MakeDurableTogether(const std::vector<PendingScene*>& Scenes)
{
    std::vector<platform::SceneFile*> files;
    for (PendingScene* scene : Scenes) {
        if (scene->parts_)
            files.push_back(&scene->parts_->File);
    }
    platform::MakeDurableTogether(files);
}

void PutInPlace(PendingScene& Scene)
{
    const std::unique_ptr<PendingScene::Parts> parts = std::move(Scene.parts_);
    if (parts)
        PutPartsInPlace(*parts);
}

ConvertReport RunConversion(ConvertState& State, const ConvertOptions& Options)
{
    // The scene goes into a descriptor its path names, never over what the
    // descriptor leads to (a log opened for appending, a pipe).
    if (const int descriptor = platform::DescriptorNamed(State.OutputFile); descriptor >= 0)
        return ConvertToDescriptor(State, Options, descriptor, State.OutputFile);
    PendingScene::Parts scene;
    ConvertReport report = Prepare(State, Options, scene, true);
    PutPartsInPlace(scene);
    return report;
}

std::string HardLinkWarning(const std::string& Path, long long OtherNames)
{
    return "the scene file '" + Path + "' had " + std::to_string(OtherNames) +
           (OtherNames == 1 ? " other name (a hard link), which keeps" : " other names (hard links), which keep") +
           " the old scene";
}

ConvertReport ConvertToStandardOutput(ConvertState& State, const ConvertOptions& Options)
{
    return ConvertToDescriptor(State, Options, -1, "standard output");
}

ConvertReport ConvertToDescriptor(ConvertState& State, const ConvertOptions& Options, int Descriptor,
                                  const std::string& Name)
{
    platform::NoteSceneProgress(SceneProgress::NoneWritten);
    if (Options.SaveTrackpoints)
        ParseFactor(Options.FactorText);
    LineReader reader(State.InputFile);
    platform::SceneFile staging;
    std::string folder;
    if (const platform::ErrorCode error = staging.CreateStaging(folder))
        ThrowFileError("cannot create the staging file for standard output in", folder, error);
    std::FILE* scratch = staging.Stream();
    const ConvertReport report = Convert(
        State, Options, reader,
        {scratch, folder, false, "cannot write the staging file for standard output in"});
    std::rewind(scratch);
    std::vector<char> chunk(1u << 20);
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), scratch)) > 0) {
        platform::NoteSceneProgress(SceneProgress::PartOnStandardOutput);
        if (Descriptor >= 0) {
            if (const platform::ErrorCode error = platform::WriteToDescriptor(Descriptor, chunk.data(), got))
                ThrowFileError("cannot write the scene to", Name, error);
        } else if (std::fwrite(chunk.data(), 1, got, stdout) != got) {
            ThrowFileError("cannot write the scene to", Name, errno);
        }
    }
    if (std::ferror(scratch))
        ThrowFileError("cannot read back the staging file for standard output in", folder, errno);
    if (Descriptor < 0 && std::fflush(stdout) != 0)
        ThrowFileError("cannot write the scene to", Name, errno);
    platform::NoteSceneProgress(SceneProgress::WholeOnStandardOutput);
    return report;
}

}  // namespace quorvel

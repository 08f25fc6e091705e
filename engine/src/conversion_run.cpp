// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/conversion_run.h"

#include "quorvel/error.h"
#include "quorvel/interruption.h"
#include "quorvel/export_reader.h"
#include "quorvel/line_reader.h"
#include "quorvel/scene_writer.h"

#include "conversion_warnings.h"
#include "key_times.h"
#include "platform.h"
#include "scene_target.h"

#include <cerrno>
#include <utility>
#include <vector>

namespace quorvel {

namespace {

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

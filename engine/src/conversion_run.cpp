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

#include <cerrno>
#include <charconv>
#include <cmath>
#include <vector>

namespace quorvel {

namespace {

// The file the scene replaces: Path, or what it points to when it is a
// symbolic link, so that the rename replaces the file and keeps the link.
// Only a regular file is ever replaced: renaming over a device or a pipe
// (such as /dev/null) would destroy it. Nor is a file this user may not
// write: the rename needs only the folder's permission, and would slip past
// the file's own. Exists tells whether there is a file to replace.
std::string SceneTarget(const std::string& Path, const LineReader& Input, bool& Exists)
{
    if (Path.empty())
        throw Error(ErrorKind::FileSystem, "no scene file was chosen");
    std::string target;
    if (const platform::ErrorCode error = platform::FollowLinks(Path, target))
        ThrowFileError("cannot follow the link", Path, error);
    Exists = false;
    switch (platform::KindOf(target)) {
    case platform::PathKind::Missing:
        return target;
    case platform::PathKind::Folder:
        throw Error(ErrorKind::FileSystem, "'" + Path + "' is a folder, not a scene file");
    case platform::PathKind::Other:
        throw Error(ErrorKind::FileSystem, "'" + Path + "' is not a regular file; a scene file "
                                                        "replaces only a regular file");
    case platform::PathKind::Regular:
        break;
    }
    if (Input.IsSameFileAs(target)) {
        throw Error(ErrorKind::FileSystem,
                    "the scene file '" + Path + "' is the export file itself; choose another name");
    }
    if (const platform::ErrorCode error = platform::CheckMayWrite(target))
        ThrowFileError("cannot replace the scene file", Path, error);
    Exists = true;
    return target;
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

namespace {

// The scene holds whole frames per second: a rate such as 23.976 or 29.97
// is written rounded, and the user must know.
void WarnOfRoundedFrameRate(const ConvertState& State, ConvertReport& Report)
{
    if (State.FrameRateFound == State.FrameRate)
        return;
    char found[number_text::TextMax];
    char* const end = number_text::WriteShortest(found, State.FrameRateFound);
    Report.Warnings.push_back("frame rate " + std::string(found, end) + " written as " +
                              IntegerText(State.FrameRate) +
                              " (the scene file holds whole frames per second)");
}

// Values the scene file holds as found, though no scene can sensibly use
// them: the user must know, and the bytes written stay as they are.
void WarnOfImpossibleValues(const ConvertState& State, ConvertReport& Report)
{
    if (State.FrameRate <= 0) {
        Report.Warnings.push_back("frame rate written as " + IntegerText(State.FrameRate) +
                                  ": a scene needs at least 1 frame per second");
    }
    if (State.ImageWidth <= 0)
        Report.Warnings.push_back("image width " + IntegerText(State.ImageWidth) + " is not above 0");
    if (State.ImageHeight <= 0)
        Report.Warnings.push_back("image height " + IntegerText(State.ImageHeight) + " is not above 0");
    double aspect = 0.0;
    if (!ReadNumber(Trim(State.AspectText), aspect) || !std::isfinite(aspect) || aspect <= 0) {
        Report.Warnings.push_back("image aspect '" + Excerpt(State.AspectText) +
                                  "' is not a positive finite number");
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
        report.Warnings.push_back(std::move(times->Message));
    WarnOfRoundedFrameRate(State, report);
    WarnOfImpossibleValues(State, report);
    if (Options.SaveTrackpoints) {
        report.Trackers = SaveTrackers(State, reader, writer, factor);
        if (report.Trackers.Trackers == 0 && report.Trackers.SkippedCount == 0)
            report.Warnings.push_back("no tracker line found, so the scene file holds no trackers");
    } else {
        WriteClosingLines(writer);
    }
    reader.CheckUnchanged();
    writer.Flush();
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

ConvertReport RunConversion(ConvertState& State, const ConvertOptions& Options)
{
    // Until the scene file is chosen for certain below (opening the export
    // may wait long, on a FIFO), whatever the name leads to now.
    platform::NoteSceneProgress(platform::KindOf(State.OutputFile) == platform::PathKind::Regular
                                    ? SceneProgress::OldSceneKept
                                    : SceneProgress::NoneWritten);
    if (Options.SaveTrackpoints)
        ParseFactor(Options.FactorText);
    LineReader reader(State.InputFile);
    bool replaces = false;
    const std::string target = SceneTarget(State.OutputFile, reader, replaces);
    platform::NoteSceneProgress(replaces ? SceneProgress::OldSceneKept : SceneProgress::NoneWritten);
    platform::SceneFile scene;
    if (const platform::ErrorCode error = scene.CreateBeside(target))
        ThrowFileError("cannot create the scene file", target, error);
    // The scene file is written back while the conversion runs, so that
    // the final flush to disk waits for the last piece only.
    ConvertReport report = Convert(State, Options, reader, {scene.Stream(), State.OutputFile, true});
    if (const platform::ErrorCode error = scene.Finish())
        ThrowFileError("cannot write the scene file", target, error);
    if (const platform::ErrorCode error = scene.PutInPlace())
        ThrowFileError("cannot replace the scene file", target, error);
    return report;
}

ConvertReport ConvertToStandardOutput(ConvertState& State, const ConvertOptions& Options)
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
        if (std::fwrite(chunk.data(), 1, got, stdout) != got)
            ThrowFileError("cannot write the scene to", "standard output", errno);
    }
    if (std::ferror(scratch))
        ThrowFileError("cannot read back the staging file for standard output in", folder, errno);
    if (std::fflush(stdout) != 0)
        ThrowFileError("cannot write the scene to", "standard output", errno);
    platform::NoteSceneProgress(SceneProgress::WholeOnStandardOutput);
    return report;
}

}  // namespace quorvel

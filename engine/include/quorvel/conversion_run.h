// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// One conversion, from the export file to the scene file: the call both the
// desktop program and the command-line converter make.
#pragma once

#include "quorvel/convert_state.h"
#include "quorvel/tracker_export.h"
#include "quorvel/warning.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// The most threads the tracker lines are shared out to: past them the
// thread that reads and writes the files is the one that waits.
inline constexpr int MaxThreads = 64;

// What the caller decides: the Save Trackpoints option, the factor text,
// the threads for the tracker lines (0: QUORVEL_THREADS when it is set,
// otherwise one per processor the process may use; at most MaxThreads);
// and the kinds of warning that fail a conversion before its scene is
// written or shown (a FatalWarning error about the first of them).
struct ConvertOptions {
    bool SaveTrackpoints = true;
    std::string FactorText = "1";
    int Threads = 0;
    std::size_t ChunkBytes = TrackerThreads{}.ChunkBytes;
    std::vector<WarningKind> FatalWarnings = {};
};

// Why Text is no number of threads, as a sentence about Subject; empty when
// it is a whole number of at least 1.
std::string ThreadsFault(std::string_view Text, std::string_view Subject);

// The threads a text without ThreadsFault asks for, at most MaxThreads.
int ThreadsOf(std::string_view Text);

// The threads a conversion with Options uses.
int ThreadsFor(const ConvertOptions& Options);

// What a finished conversion found and did.
struct ConvertReport {
    long Frames = 0;
    Integer16 StartFrame = 0;
    Integer16 EndFrame = 0;
    Integer16 ImageWidth = 0;
    Integer16 ImageHeight = 0;
    std::string AspectText;
    double FrameRateFound = 0;  // as the export gives it
    Integer16 FrameRate = 0;    // as the scene holds it
    TrackerSummary Trackers;    // all zero when trackpoints were not saved
    // What the user must know besides skipped tracker lines, such as a
    // frame rate the scene cannot hold exactly.
    std::vector<Warning> Warnings;
};

// Why FactorText is no multiplication factor, as a sentence about Subject,
// such as "Subject '2x' is not a number, such as 1 or 0.5"; empty when it is
// one. Both programs show it, each naming the factor its own way.
std::string FactorFault(std::string_view FactorText, std::string_view Subject);

// The factor text as a number: the whole text without surrounding blanks
// must be one finite number, and zero only when written as zero (not one
// that underflows, such as 1e-400), nor subnormal; otherwise a BadFactor
// error that names the multiplication factor and gives FactorFault's reason.
double ParseFactor(std::string_view FactorText);

// Converts State.InputFile into State.OutputFile. The scene is written to a
// temporary file beside the target and renamed over it only when complete,
// so a failed conversion leaves an existing target untouched and nothing
// behind. Only a scene file or an empty file is replaced, keeping its
// owner, permissions and extended attributes. A path that names a
// descriptor (DescriptorNamed) gets the scene as ConvertToDescriptor
// writes it. Errors are quorvel::Error.
ConvertReport RunConversion(ConvertState& State, const ConvertOptions& Options);

// A batch's conversion in steps, so that many scenes are made durable
// together: PrepareConversion converts and writes the scene beside its
// target as RunConversion does, and starts it on its way to disk;
// MakeDurableTogether flushes many such scenes at once; PutInPlace puts one
// in its target's place, checked as RunConversion checks it. A scene never
// put in place is gone with its PendingScene, and with the process however
// it ends where the file system holds files without names.
class PendingScene {
public:
    PendingScene();
    ~PendingScene();
    PendingScene(PendingScene&&) noexcept;
    PendingScene& operator=(PendingScene&&) noexcept;

    bool Holds() const;  // a scene waits here

    struct Parts;  // defined where the scene file is made

private:
    friend ConvertReport PrepareConversion(ConvertState&, const ConvertOptions&, PendingScene&);
    friend void MakeDurableTogether(const std::vector<PendingScene*>&);
    friend void PutInPlace(PendingScene&);
    std::unique_ptr<Parts> parts_;
};

// RunConversion up to the scene complete beside its target, in Scene; a
// path that names a descriptor gets the scene at once (Scene holds none).
// An interruption is not told about this scene (NoteSceneUnderWay in
// quorvel/interruption.h is, for the scene that is put in place next).
ConvertReport PrepareConversion(ConvertState& State, const ConvertOptions& Options, PendingScene& Scene);

// Makes the scenes durable together where the system can (one flush of
// each file system); what it cannot do, PutInPlace does scene by scene.
void MakeDurableTogether(const std::vector<PendingScene*>& Scenes);

// Makes the scene durable if it is not yet and puts it in its target's
// place; the scene is gone either way. Errors are quorvel::Error.
void PutInPlace(PendingScene& Scene);

// Yes when Path leads to an existing regular file that is neither empty
// nor a scene file (one that begins with the line "SynthEyesScene {"), which
// RunConversion refuses to replace; NotASceneFile says so.
bool IsOtherThanScene(const std::string& Path);
std::string NotASceneFile(const std::string& Path);

// Yes when Head, the first bytes of a file (at least as many as the scene
// file's first line and its line end), is empty or begins a scene file.
bool IsSceneHead(std::string_view Head);

// The warning of a conversion that replaced a scene file with other names,
// which go on naming the old scene.
std::string HardLinkWarning(const std::string& Path, long long OtherNames);

// The open descriptor Path names (/dev/stdout, /dev/stderr, /dev/fd/N,
// /proc/self/fd/N, /proc/PID/fd/N of this process), or -1.
int DescriptorNamed(const std::string& Path);

// As ConvertToStandardOutput, into the open Descriptor, which Name names in
// messages; -1 for standard output's stream.
ConvertReport ConvertToDescriptor(ConvertState& State, const ConvertOptions& Options, int Descriptor,
                                  const std::string& Name);

// Converts State.InputFile and writes the scene to the open stream Out
// (OutName names it in messages), flushing it at the end. On error Out may
// hold part of a scene: callers that need all-or-nothing use RunConversion.
ConvertReport ConvertToStream(ConvertState& State, const ConvertOptions& Options, std::FILE* Out,
                              const std::string& OutName);

// Converts State.InputFile and writes the scene to standard output once it
// is complete (it is staged first in an unnamed file in the folder for
// temporary files: $TMPDIR, else /tmp, on POSIX systems), so that a failed
// conversion writes nothing there.
ConvertReport ConvertToStandardOutput(ConvertState& State, const ConvertOptions& Options);

// Reads and checks State.InputFile as a conversion would, every tracker line
// included when trackpoints are saved, and writes nothing: the same report,
// warnings and errors as RunConversion short of the scene file's own.
ConvertReport CheckConversion(ConvertState& State, const ConvertOptions& Options);

// CheckConversion, and State.OutputFile checked as RunConversion would
// check it before writing (which file it replaces, whether it may, or
// whether it may be created): nothing is created or changed.
ConvertReport DryRunConversion(ConvertState& State, const ConvertOptions& Options);

}  // namespace quorvel

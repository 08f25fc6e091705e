// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What a program does when it is told to stop (Ctrl-C, a farm job killed or
// over its CPU limit, a closed terminal) while a scene is being written.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace quorvel {

// How far the scene of the conversion under way has got: what an
// interruption at that moment leaves behind.
enum class SceneProgress {
    NoneWritten,            // no scene file at OUTPUT, and none was written
    OldSceneKept,           // the scene file at OUTPUT is the old one, as it was
    NewSceneInPlace,        // the new scene file is at OUTPUT
    PartOnStandardOutput,   // part of the scene reached standard output
    WholeOnStandardOutput,  // all of it did
};
inline constexpr int SceneProgressCount = 5;

// One whole line for each SceneProgress, in its order.
using InterruptionLines = std::array<const char*, SceneProgressCount>;

// From now on every signal that would end the program and can be caught
// (SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
// SIGPROF, SIGXCPU, SIGPWR; on Windows Ctrl-C, Ctrl-Break and closing the
// console) removes the temporary file of the scene being written, writes
// the line of Lines (kept by the caller) that says what was left, and ends
// the program with status 128 + the signal's number. SIGPIPE and SIGXFSZ
// are ignored, so that a write to a closed pipe or past the file size limit
// fails as an ordinary write error. A signal the caller ignores (nohup)
// stays ignored.
void StopCleanlyOnInterruption(const InterruptionLines& Lines);

// A batch's progress, as one whole line (kept by the caller until the next
// call; nullptr for none) that an interruption writes before the line of
// Lines.
void NoteBatchProgress(const char* Line);

// Tells an interruption how far the scene that a batch puts in place next
// has got, while others wait beside their targets (PutInPlace in
// quorvel/conversion_run.h tells it when that scene is in place).
void NoteSceneUnderWay(SceneProgress Progress);

// What an interruption writes on standard output after its lines on
// standard error, so that a report read there has a whole line for every
// input: for the input under way the line of UnderWay for how far its
// scene has got, then Rest, the lines of the inputs after it.
struct InterruptionReport {
    std::array<std::string, SceneProgressCount> UnderWay;
    std::string_view Rest;
};

// The report an interruption writes from now on (kept by the caller until
// the next call; nullptr for none). Call it while interruptions are held,
// with the report line of the input before, so that no input is told
// twice or not at all.
void NoteInterruptionReport(const InterruptionReport* Report);

// From HoldInterruptions to ReleaseInterruptions (on the thread that takes
// the signals) an interruption waits, on Windows for up to 2 seconds, so
// that a report line is written whole and what an interruption would say
// next is noted with it. Not nested.
void HoldInterruptions();
void ReleaseInterruptions();

// Keeps the signals above from the calling thread (a worker of a batch),
// so that they are handled on the thread that notes the batch's progress.
void KeepInterruptionsFromThisThread();

}  // namespace quorvel

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What a program does when it is told to stop (Ctrl-C, a farm job killed or
// over its CPU limit, a closed terminal) while a scene is being written.
#pragma once

#include <array>

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

// Keeps the signals above from the calling thread (a worker of a batch),
// so that they are handled on the thread that notes the batch's progress.
void KeepInterruptionsFromThisThread();

}  // namespace quorvel

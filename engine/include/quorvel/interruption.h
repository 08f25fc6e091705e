// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What a program does when it is told to stop (Ctrl-C, a farm job killed,
// a closed terminal) while a scene is being written.
#pragma once

namespace quorvel {

// From now on an interruption removes the temporary file of the scene being
// written, writes Line (a whole line, kept by the caller) to standard error
// and ends the program with the status that signal gives: an existing scene
// file stays as it was.
void StopCleanlyOnInterruption(const char* Line);

}  // namespace quorvel

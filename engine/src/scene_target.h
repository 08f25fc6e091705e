// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The file a scene is written to, found and checked before anything is
// written.
#pragma once

#include "quorvel/line_reader.h"

#include "platform.h"

#include <string>

namespace quorvel {

// Finds and opens the place of the scene file Path: the folder it goes to,
// links at the end followed. Only a regular file is ever replaced: renaming
// over a device or a pipe (such as /dev/null) would destroy it. Nor is a
// file this user may not write: the rename needs only the folder's
// permission, and would slip past the file's own. Nor is any file but a
// scene file or an empty one: an export or a log named by a slip is kept.
// Input, when given, must not be the file replaced.
platform::ExistingFile LocateScene(const std::string& Path, platform::SceneFile& Scene, const LineReader* Input);

}  // namespace quorvel

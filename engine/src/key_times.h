// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The key times of the camera channels against the frames their values are
// given to. The values are taken in order, whatever their times; the times
// only tell the user when that order is not the frames'.
#pragma once

#include "quorvel/convert_state.h"

#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

struct KeyTimesFinding {
    long Line = 0;  // the key line where the times first part from the frames
    std::string Message;
};

// One finding for the whole export when a used key's time differs from its
// frame: the first channel and frame where they part, and whether the times
// are offset uniformly. Nothing when every time that is a number matches.
std::optional<KeyTimesFinding> CheckKeyTimes(const ConvertState& State);

// Why KeyLine holds too few keys for the frames StartFrame to EndFrame: how
// many it holds for how many frames and, where the times tell, the first
// frame that has no key.
std::string KeyShortfall(std::string_view KeyLine, Integer16 StartFrame, Integer16 EndFrame);

}  // namespace quorvel

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Reads the camera tracker's export: header values, camera channels, frame rate.
#pragma once

#include "quorvel/convert_state.h"
#include "quorvel/line_reader.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace quorvel {

// Markers, found anywhere in a line, in the order the export holds them.
inline constexpr std::string_view PlaybackMarker = "playbackOptions -min ";
inline constexpr std::string_view WidthMarker = "setAttr \".w";
inline constexpr std::string_view HeightMarker = "setAttr \".h";
inline constexpr std::string_view AspectMarker = "setAttr \".dar";
inline constexpr std::string_view ChannelBlockMarker = "VoodooCam_translateX";
inline constexpr std::string_view FrameRateMarker = "-fps";

// How an export's first line begins.
inline constexpr std::string_view MayaAsciiHeader = "//Maya ASCII";

// The camera channels in the order of their key lines, as messages name them.
inline constexpr std::array<std::string_view, ChannelCount> ChannelNames = {
    "translate X", "translate Y", "translate Z", "rotate X", "rotate Y", "rotate Z"};

// Fills the header values, the six channel lines and tables, and the frame
// rate. Leaves CurrentLine at the frame-rate line; the reader is positioned
// after it, or after the sixth key line when the rate stood just before it.
void ReadCamPath(ConvertState& State, LineReader& Reader);

// Moves StartPos (1-based, at the space in front of a key's time) over the
// space in front of the key's value and returns that value's text, which
// ends at the next space, or at ';' or the line end for the line's last
// value. Empty when the line has no further value.
std::optional<std::string_view> FindValue(std::string_view ReadString, std::size_t& StartPos);

}  // namespace quorvel

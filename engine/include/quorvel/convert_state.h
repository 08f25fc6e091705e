// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Every value one conversion reads from the export and writes to the scene.
#pragma once

#include "quorvel/text_rules.h"

#include <array>
#include <string>
#include <vector>

namespace quorvel {

inline constexpr int ChannelCount = 6;

struct ConvertState {
    std::string InputFile;   // the export file (.ma)
    std::string OutputFile;  // the scene file (.syncar)

    // The export line most recently read while looking for a header value;
    // the tracker loop reads the rest without copying and leaves it at the
    // frame-rate line.
    std::string CurrentLine;
    long CurrentLineNumber = 0;

    Integer16 StartFrame = 0;
    Integer16 EndFrame = 0;
    Integer16 ImageWidth = 0;
    Integer16 ImageHeight = 0;
    std::string AspectText;  // kept as found, never read as a number
    Integer16 FrameRate = 0;     // as the scene holds it: whole frames per second
    double FrameRateFound = 0;   // as the export gives it, such as 23.976
    // The export lines these header values came from, for warnings about them.
    long ImageWidthLineNumber = 0;
    long ImageHeightLineNumber = 0;
    long AspectLineNumber = 0;
    long FrameRateLineNumber = 0;

    // The key line of each camera channel (translate X, Y, Z, rotate X, Y, Z)
    // and the line number it came from.
    std::array<std::string, ChannelCount> ChannelLine;
    std::array<long, ChannelCount> ChannelLineNumber{};

    // The value text of each channel per frame; entry i is frame StartFrame + i.
    std::array<std::vector<std::string>, ChannelCount> ChannelTable;

    long FrameCount() const { return long{EndFrame} - long{StartFrame} + 1; }
};

}  // namespace quorvel

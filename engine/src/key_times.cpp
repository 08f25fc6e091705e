// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "key_times.h"

#include "quorvel/error.h"
#include "quorvel/export_reader.h"
#include "quorvel/number_text.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace quorvel {

namespace {

// Calls Each(k, time text) for the keys of KeyLine in order, walked as the
// values are taken, at most Limit of them.
template <class Visit>
void EachKey(std::string_view KeyLine, long Limit, Visit&& Each)
{
    std::size_t pos = Find(1, KeyLine, "]");
    for (long k = 0; k < Limit; ++k) {
        pos = Find(static_cast<std::int64_t>(pos) + 1, KeyLine, " ");
        if (pos == 0)
            return;
        const std::size_t timeStart = pos;  // the time begins after this space
        if (!FindValue(KeyLine, pos))
            return;
        Each(k, Trim(KeyLine.substr(timeStart, pos - 1 - timeStart)));
    }
}

// A time that is not a number is not compared.
bool TimeOf(std::string_view Text, double& Time) { return ReadNumber(Text, Time) && std::isfinite(Time); }

std::string Shortest(double Value)
{
    char text[number_text::TextMax];
    return std::string(text, number_text::WriteShortest(text, Value));
}

std::string Count(long Number, std::string_view One, std::string_view Many)
{
    return Number == 0 ? "no " + std::string(Many)
                       : IntegerText(Number) + " " + std::string(Number == 1 ? One : Many);
}

}  // namespace

std::optional<KeyTimesFinding> CheckKeyTimes(const ConvertState& State)
{
    struct Part {
        int Channel;
        long Frame;
        std::string_view Time;
    };
    std::optional<Part> first;
    std::optional<double> offset;
    bool uniform = true;
    for (int n = 0; n < ChannelCount; ++n) {
        EachKey(State.ChannelLine[n], State.FrameCount(), [&](long k, std::string_view text) {
            double time = 0.0;
            if (!TimeOf(text, time))
                return;
            const long frame = State.StartFrame + k;
            const double by = time - static_cast<double>(frame);
            if (!offset)
                offset = by;
            else if (by != *offset)
                uniform = false;
            if (by != 0 && !first)
                first = Part{n, frame, text};
        });
    }
    if (!first)
        return std::nullopt;
    std::string message = "key times differ from the frames, first in camera channel " +
                          std::to_string(first->Channel + 1) + " (" +
                          std::string(ChannelNames[first->Channel]) + "), line " +
                          IntegerText(State.ChannelLineNumber[first->Channel]) + ": ";
    if (uniform) {
        message += "the key times run from " + Shortest(State.StartFrame + *offset) +
                   " and the frames from " + IntegerText(State.StartFrame) +
                   ": the keys were taken in order";
    } else {
        message += "frame " + std::to_string(first->Frame) + " took the key at time '" +
                   Excerpt(first->Time) + "', as the keys are taken in order whatever their times";
    }
    return KeyTimesFinding{State.ChannelLineNumber[first->Channel], message};
}

std::string KeyShortfall(std::string_view KeyLine, Integer16 StartFrame, Integer16 EndFrame)
{
    const long frames = long{EndFrame} - long{StartFrame} + 1;
    std::vector<std::string_view> times;
    EachKey(KeyLine, std::numeric_limits<long>::max(),
            [&](long, std::string_view text) { times.push_back(text); });
    std::string message = "the key line holds " + Count(static_cast<long>(times.size()), "key", "keys") +
                          " for " + Count(frames, "frame", "frames") + " (" + IntegerText(StartFrame) +
                          (frames > 1 ? " to " + IntegerText(EndFrame) : std::string()) + ")";

    // The times tell when they match the frames up to a key of a later
    // frame, or to the line's end, and no key has the frame passed over.
    long missing = StartFrame + static_cast<long>(times.size());
    for (std::size_t k = 0; k < times.size(); ++k) {
        const long frame = StartFrame + static_cast<long>(k);
        double time = 0.0;
        if (TimeOf(times[k], time) && time == static_cast<double>(frame))
            continue;
        missing = TimeOf(times[k], time) && time > static_cast<double>(frame) ? frame : EndFrame + 1L;
        break;
    }
    const bool keyed = std::any_of(times.begin(), times.end(), [&](std::string_view text) {
        double time = 0.0;
        return TimeOf(text, time) && time == static_cast<double>(missing);
    });
    if (missing <= EndFrame && !keyed)
        message += "; frame " + std::to_string(missing) + " has no key";
    return message;
}

}  // namespace quorvel

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/warning.h"

#include <array>
#include <utility>

namespace quorvel {

namespace {

constexpr std::array<std::pair<WarningKind, std::string_view>, 6> Names = {{
    {WarningKind::FrameRate, "frame-rate"},
    {WarningKind::SkippedTrackerLine, "skipped-tracker-line"},
    {WarningKind::ImpossibleValue, "impossible-value"},
    {WarningKind::NoTrackers, "no-trackers"},
    {WarningKind::HardLink, "hard-link"},
    {WarningKind::KeyTimes, "key-times"},
}};

}  // namespace

std::string_view WarningKindName(WarningKind Kind)
{
    for (const auto& [kind, name] : Names) {
        if (kind == Kind)
            return name;
    }
    return "warning";
}

std::optional<WarningKind> WarningKindNamed(std::string_view Name)
{
    for (const auto& [kind, name] : Names) {
        if (name == Name)
            return kind;
    }
    return std::nullopt;
}

std::vector<WarningKind> WarningKinds()
{
    std::vector<WarningKind> kinds;
    for (const auto& [kind, name] : Names)
        kinds.push_back(kind);
    return kinds;
}

std::string WarningKindNames()
{
    std::string names;
    for (const auto& [kind, name] : Names)
        names.append(names.empty() ? "" : ", ").append(name);
    return names;
}

}  // namespace quorvel

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The command line of quorvel-convert: what it asks for, checked as a whole
// before any file is touched.
#pragma once

#include "quorvel/conversion_run.h"

#include <string>
#include <vector>

namespace quorvel::cli {

inline constexpr const char* Program = "quorvel-convert";

struct Arguments {
    enum class Action { Convert, Check, Help, Version };
    Action What = Action::Convert;
    ConvertOptions Options;
    bool Verbose = false;
    bool Quiet = false;       // no warnings, no closing summary
    bool JsonReport = false;  // one JSON object per input on standard output
    std::string Directory;    // -d: convert every input into this folder
    std::string Template;     // -o: the scene file of each input
    std::vector<std::string> Inputs;
    std::string Output;  // the one OUTPUT without -d and -o; empty with them and --check
    bool DryRun = false;  // a conversion checked through, nothing written
    unsigned Jobs = 1;    // inputs converted at once
    // --no-warn: kinds left out of messages, counts and the report's
    // warnings. --strict puts its kinds in Options.FatalWarnings.
    std::vector<WarningKind> Silenced;

    bool Silences(WarningKind Kind) const;
};

// The most inputs converted at once.
inline constexpr unsigned MaxJobs = 64;

// The arguments of argc/argv. A usage error is reported on standard error
// and exits with status 2.
Arguments ParseArguments(int argc, char** argv);

// Writes Message and the hint to --help on standard error and exits with 2.
[[noreturn]] void UsageError(const std::string& Message);

// Text from the command line in quotes, escaped as file names are elsewhere.
std::string Quoted(const std::string& Text);

void PrintHelp();
void PrintVersion();

}  // namespace quorvel::cli

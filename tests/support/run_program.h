// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Runs a program the way a script would and captures what it prints.
#pragma once

#include <string>
#include <vector>

struct ProgramResult {
    int Status = -1;  // exit status, or 128 + signal number
    std::string Out;
    std::string Err;
};

// Runs Argv[0] with Argv. Standard output goes to StdoutPath when it is
// given (such as /dev/full), and is captured otherwise; standard input
// comes from StdinPath, /dev/null when none is given.
ProgramResult RunProgram(const std::vector<std::string>& Argv, const std::string& StdoutPath = {},
                         const std::string& StdinPath = {});

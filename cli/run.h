// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The run over the inputs of one quorvel-convert command.
#pragma once

#include "options.h"

namespace quorvel::cli {

// Converts or checks every input the arguments name, saying how each went;
// true when all succeeded.
bool RunAll(const Arguments& Args);

// The whole program: arguments in UTF-8, the exit status returned.
int Main(int argc, char** argv);

}  // namespace quorvel::cli

// The run over the inputs of one quorvel-convert command.
#pragma once

#include "options.h"

namespace quorvel::cli {

// Converts or checks every input the arguments name, saying how each went;
// true when all succeeded.
bool RunAll(const Arguments& Args);

}  // namespace quorvel::cli

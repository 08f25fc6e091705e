// The run over the inputs of one quorvel-convert command.
#pragma once

#include "options.h"

namespace quorvel::cli {

// Converts every input the arguments name; true when all succeeded.
bool ConvertAll(const Arguments& Args);

}  // namespace quorvel::cli

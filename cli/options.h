// The command line of quorvel-convert: what it asks for, checked as a whole.
#pragma once

#include "quorvel/conversion_run.h"

#include <string>
#include <vector>

namespace quorvel::cli {

inline constexpr const char* Program = "quorvel-convert";

struct Arguments {
    ConvertOptions Options;
    bool Verbose = false;
    std::string Directory;  // -d: convert every input into this folder
    std::vector<std::string> Files;
};

// The arguments of argc/argv. --help and --version print their text and
// exit; a usage error is reported and exits with status 2.
Arguments ParseArguments(int argc, char** argv);

}  // namespace quorvel::cli

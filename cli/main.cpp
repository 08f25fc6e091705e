// quorvel-convert: converts camera tracker exports to scene files from scripts.
#include "options.h"
#include "run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    using namespace quorvel::cli;
    const Arguments args = ParseArguments(argc, argv);
    const bool allConverted = ConvertAll(args);
    // Output that only reaches the system at exit must not fail unseen.
    if (std::fflush(stdout) != 0 || std::fclose(stdout) != 0) {
        std::fprintf(stderr, "%s: cannot write to standard output: %s\n", Program,
                     std::strerror(errno));
        return 1;
    }
    return allConverted ? 0 : 1;
}

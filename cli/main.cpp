// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// quorvel-convert: converts camera tracker exports to scene files from scripts.
#include "options.h"
#include "report.h"
#include "run.h"

#include "quorvel/interruption.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

// Windows starts the program in windows_main.cpp, which calls this with the
// arguments in UTF-8.
int quorvel::cli::Main(int argc, char** argv)
{
    using namespace quorvel::cli;
    quorvel::StopCleanlyOnInterruption(InterruptionSays());
    const Arguments args = ParseArguments(argc, argv);
    bool allDone = true;
    switch (args.What) {
    case Arguments::Action::Help: PrintHelp(); break;
    case Arguments::Action::Version: PrintVersion(); break;
    default: allDone = RunAll(args); break;
    }
    // Output that only reaches the system at exit must not fail unseen; nor
    // may a JSON line that could not be written.
    int writeError = JsonWriteError();
    if (std::fflush(stdout) != 0 && writeError == 0)
        writeError = errno;
    // Closing a standard output the caller closed (>&-) only finds that it
    // was never open: no failure when nothing was meant for it, which the
    // flush would have found.
    if (std::fclose(stdout) != 0 && writeError == 0 && errno != EBADF)
        writeError = errno;
    if (writeError != 0) {
        std::fprintf(stderr, "%s: cannot write to standard output: %s\n", Program, std::strerror(writeError));
        return 1;
    }
    return allDone ? 0 : 1;
}

int main(int argc, char** argv) { return quorvel::cli::Main(argc, argv); }

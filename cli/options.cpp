#include "options.h"

#include "quorvel/version.h"

#include <cstdio>
#include <cstdlib>
#include <getopt.h>

namespace quorvel::cli {

namespace {

void PrintHelp()
{
    std::printf(
        "Usage: %s [--no-trackers] [--factor TEXT] [-v] INPUT OUTPUT\n"
        "  or:  %s [--no-trackers] [--factor TEXT] [-v] -d DIR INPUT...\n"
        "Convert the camera solve in a camera tracker export (.ma) into a scene\n"
        "file (.syncar): the camera path per frame, the image block and the\n"
        "tracked points scaled by a factor.\n"
        "\n"
        "  -n, --no-trackers    write the camera only, no tracked points\n"
        "  -f, --factor TEXT    multiply tracked point positions by TEXT (default 1)\n"
        "  -d, --directory DIR  write each INPUT to DIR/NAME.syncar and go on after\n"
        "                       a failed one\n"
        "  -v, --verbose        print a summary line per file on standard error\n"
        "      --help           display this help and exit\n"
        "      --version        output version information and exit\n"
        "\n"
        "With OUTPUT '-' the scene is written to standard output. An existing\n"
        "OUTPUT is replaced only when its conversion succeeds.\n"
        "\n"
        "Exit status: 0 on success (warnings on standard error), 1 when a\n"
        "conversion failed, 2 for a usage error.\n",
        Program, Program);
}

[[noreturn]] void UsageError(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", Program,
                 message.c_str(), Program);
    std::exit(2);
}

}  // namespace

Arguments ParseArguments(int argc, char** argv)
{
    enum { HelpOption = 256, VersionOption };
    static const option longOptions[] = {
        {"no-trackers", no_argument, nullptr, 'n'},
        {"factor", required_argument, nullptr, 'f'},
        {"directory", required_argument, nullptr, 'd'},
        {"verbose", no_argument, nullptr, 'v'},
        {"help", no_argument, nullptr, HelpOption},
        {"version", no_argument, nullptr, VersionOption},
        {nullptr, 0, nullptr, 0},
    };
    Arguments args;
    opterr = 0;
    int option = 0;
    while ((option = getopt_long(argc, argv, ":nf:d:v", longOptions, nullptr)) != -1) {
        switch (option) {
        case 'n': args.Options.SaveTrackpoints = false; break;
        case 'f': args.Options.FactorText = optarg; break;
        case 'd': args.Directory = optarg; break;
        case 'v': args.Verbose = true; break;
        case HelpOption: PrintHelp(); std::exit(0);
        case VersionOption: std::printf("%s %s\n", Program, quorvel::Version); std::exit(0);
        case ':': UsageError(std::string("option '") + argv[optind - 1] + "' needs a value");
        default: UsageError(std::string("unknown option '") + argv[optind - 1] + "'");
        }
    }
    args.Files.assign(argv + optind, argv + argc);
    if (args.Directory.empty() && args.Files.size() != 2)
        UsageError("expected an INPUT and an OUTPUT file");
    if (!args.Directory.empty() && args.Files.empty())
        UsageError("expected at least one INPUT file");
    return args;
}

}  // namespace quorvel::cli

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "options.h"

#include "paths.h"

#include "quorvel/error.h"
#include "quorvel/line_reader.h"
#include "quorvel/version.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <getopt.h>

namespace quorvel::cli {

[[noreturn]] void UsageError(const std::string& Message)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", Program,
                 Message.c_str(), Program);
    std::exit(2);
}

std::string Quoted(const std::string& Text) { return "'" + Printable(Text) + "'"; }

namespace {

void CheckDirectory(const std::string& Directory)
{
    std::error_code error;
    const auto status = std::filesystem::status(PathOf(Directory), error);
    if (!std::filesystem::exists(status))
        UsageError("--directory: there is no folder " + Quoted(Directory));
    if (!std::filesystem::is_directory(status))
        UsageError("--directory: " + Quoted(Directory) + " is not a folder");
}

// Everything that is wrong with the command as a whole, found before any
// input is read: one mistake gives one message, not one per input.
void CheckCombination(Arguments& Args, std::vector<std::string> Files)
{
    if (Args.Quiet && Args.Verbose)
        UsageError("--quiet and --verbose cannot be used together");
    if (const std::string fault = FactorFault(Args.Options.FactorText, "--factor"); !fault.empty())
        UsageError(fault);
    const char* const threads = std::getenv("QUORVEL_THREADS");
    if (Args.Options.Threads == 0 && threads && *threads) {
        if (const std::string fault = ThreadsFault(threads, "QUORVEL_THREADS"); !fault.empty())
            UsageError(fault);
    }
    if (Args.What == Arguments::Action::Check) {
        if (!Args.Directory.empty())
            UsageError("--check writes nothing: it takes no --directory");
        if (Files.empty())
            UsageError("expected at least one INPUT file");
    } else if (Args.Directory.empty()) {
        if (Files.size() != 2)
            UsageError("expected an INPUT and an OUTPUT file");
        Args.Output = Files.back();
        Files.pop_back();
        if (Args.JsonReport && (Args.Output == "-" || DescriptorNamed(Args.Output) == 1))
            UsageError("--report writes to standard output: it cannot be used with OUTPUT " + Quoted(Args.Output));
    } else {
        if (Files.empty())
            UsageError("expected at least one INPUT file");
        CheckDirectory(Args.Directory);
    }
    if (std::count(Files.begin(), Files.end(), StandardInputPath) > 1)
        UsageError("INPUT '-' (standard input) can be given only once");
    Args.Inputs = std::move(Files);
}

}  // namespace

void PrintHelp()
{
    std::printf(
        "Usage: %s [OPTION]... INPUT OUTPUT\n"
        "  or:  %s [OPTION]... -d DIR INPUT...\n"
        "  or:  %s [OPTION]... --check INPUT...\n"
        "Convert the camera solve in a camera tracker export (.ma) into a scene\n"
        "file (.syncar): the camera path per frame, the image block and the\n"
        "tracked points scaled by a factor.\n"
        "\n"
        "  -n, --no-trackers    write the camera only, no tracked points\n"
        "  -f, --factor TEXT    multiply tracked point positions by TEXT (default 1)\n"
        "  -d, --directory DIR  write each INPUT to DIR/NAME.syncar and go on after\n"
        "                       a failed one; DIR must be an existing folder\n"
        "      --check          read and check each INPUT completely, write nothing\n"
        "      --report json    print one JSON object per INPUT on standard output\n"
        "                       (JSON Lines); not with OUTPUT '-'\n"
        "      --threads N      read the tracker lines on N threads (default: one per\n"
        "                       processor this process may use, or QUORVEL_THREADS)\n"
        "  -v, --verbose        print a summary line per file on standard error\n"
        "  -q, --quiet          print no warnings and no closing summary\n"
        "  -h, --help           display this help and exit\n"
        "      --version        output version information and exit\n"
        "\n"
        "INPUT '-' reads the export from standard input, once at most; with -d\n"
        "its scene is DIR/stdin.syncar. OUTPUT '-' writes the scene to standard\n"
        "output. An existing OUTPUT is replaced only when its conversion succeeds.\n"
        "Warnings, such as a skipped tracker line or a frame rate that is not a\n"
        "whole number, go to standard error; with more than one INPUT a closing\n"
        "summary follows them.\n"
        "\n"
        "Exit status: 0 on success, 1 when a conversion or check failed,\n"
        "2 for a usage error.\n",
        Program, Program, Program);
}

void PrintVersion()
{
    std::printf("%s %s\n%s", Program, quorvel::Version, quorvel::CopyrightNotice);
}

Arguments ParseArguments(int argc, char** argv)
{
    enum { VersionOption = 256, CheckOption, ReportOption, ThreadsOption };
    static const option longOptions[] = {
        {"no-trackers", no_argument, nullptr, 'n'},
        {"factor", required_argument, nullptr, 'f'},
        {"directory", required_argument, nullptr, 'd'},
        {"check", no_argument, nullptr, CheckOption},
        {"report", required_argument, nullptr, ReportOption},
        {"threads", required_argument, nullptr, ThreadsOption},
        {"verbose", no_argument, nullptr, 'v'},
        {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, VersionOption},
        {nullptr, 0, nullptr, 0},
    };
    // What getopt_long could not take, in the user's terms. optopt holds
    // the letter of a short option, the value of a long one that was given
    // a value it does not take (MinGW returns ':' for that), and 0 for an
    // unknown long option; argv[optind - 1] is the argument last taken
    // whole, not the one a cluster such as -nx is still being read from.
    const auto fault = [&](int Returned) -> std::string {
        const option* known = nullptr;
        for (const option* o = longOptions; o->name && optopt != 0; ++o) {
            if (o->val == optopt)
                known = o;
        }
        const std::string taken = optind >= 1 && optind <= argc ? argv[optind - 1] : "";
        if (known && known->has_arg == no_argument)
            return "option '--" + std::string(known->name) + "' takes no value";
        if (Returned == ':') {
            const std::string name = known && taken.starts_with("--") ? "--" + std::string(known->name)
                                                                       : "-" + std::string(1, static_cast<char>(optopt));
            return "option " + Quoted(name) + " needs a value";
        }
        if (optopt > 0 && optopt < 256)
            return "unknown option " + Quoted("-" + std::string(1, static_cast<char>(optopt)));
        return "unknown option " + Quoted(taken);
    };
    Arguments args;
    opterr = 0;
    int option = 0;
    while ((option = getopt_long(argc, argv, ":nf:d:vqh", longOptions, nullptr)) != -1) {
        switch (option) {
        case 'n': args.Options.SaveTrackpoints = false; break;
        case 'f': args.Options.FactorText = optarg; break;
        case 'd':
            args.Directory = optarg;
            if (args.Directory.empty())
                UsageError("--directory: the folder name is empty");
            break;
        case 'v': args.Verbose = true; break;
        case 'q': args.Quiet = true; break;
        case CheckOption: args.What = Arguments::Action::Check; break;
        case ReportOption:
            if (std::string(optarg) != "json")
                UsageError("--report: " + Quoted(optarg) + " is not a report format; the one format is 'json'");
            args.JsonReport = true;
            break;
        case ThreadsOption:
            if (const std::string fault = ThreadsFault(optarg, "--threads"); !fault.empty())
                UsageError(fault);
            args.Options.Threads = ThreadsOf(optarg);
            break;
        case 'h': args.What = Arguments::Action::Help; return args;
        case VersionOption: args.What = Arguments::Action::Version; return args;
        default: UsageError(fault(option));
        }
    }
    CheckCombination(args, {argv + optind, argv + argc});
    return args;
}

}  // namespace quorvel::cli

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "options.h"

#include "output_template.h"
#include "paths.h"

#include "quorvel/error.h"
#include "quorvel/line_reader.h"
#include "quorvel/version.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <getopt.h>
#include <thread>

namespace quorvel::cli {

[[noreturn]] void UsageError(const std::string& Message)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", Program,
                 Message.c_str(), Program);
    std::exit(2);
}

std::string Quoted(const std::string& Text) { return "'" + Printable(Text) + "'"; }

bool Arguments::Silences(WarningKind Kind) const
{
    return std::find(Silenced.begin(), Silenced.end(), Kind) != Silenced.end();
}

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

// The kinds of warning that Value names, comma-separated, added to Kinds.
void AddWarningKinds(const char* Option, const std::string& Value, std::vector<WarningKind>& Kinds)
{
    for (std::size_t at = 0;; ++at) {
        const std::size_t comma = std::min(Value.find(',', at), Value.size());
        const std::string name = Value.substr(at, comma - at);
        const std::optional<WarningKind> kind = WarningKindNamed(name);
        if (!kind) {
            UsageError(std::string(Option) + ": " + Quoted(name) + " is not a kind of warning; the kinds are " +
                       WarningKindNames());
        }
        if (std::find(Kinds.begin(), Kinds.end(), *kind) == Kinds.end())
            Kinds.push_back(*kind);
        if ((at = comma) == Value.size())
            return;
    }
}

unsigned JobsOf(const std::string& Value)
{
    unsigned long jobs = 0;
    std::size_t used = 0;
    try {
        if (!Value.empty() && Value.find_first_not_of("0123456789") == std::string::npos)
            jobs = std::stoul(Value, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != Value.size() || jobs > MaxJobs) {
        UsageError("--jobs: " + Quoted(Value) + " is not a number of jobs from 0 (one per processor) to " +
                   std::to_string(MaxJobs));
    }
    if (jobs == 0)
        jobs = std::clamp(std::thread::hardware_concurrency(), 1u, MaxJobs);
    return static_cast<unsigned>(jobs);
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
    // Jobs share the processors: each conversion's tracker lines get its
    // part of them unless the threads are chosen.
    if (Args.Jobs > 1 && Args.Options.Threads == 0 && !(threads && *threads))
        Args.Options.Threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency() / Args.Jobs));
    for (const WarningKind kind : Args.Silenced) {
        if (std::find(Args.Options.FatalWarnings.begin(), Args.Options.FatalWarnings.end(), kind) !=
            Args.Options.FatalWarnings.end())
            UsageError("--no-warn and --strict both name " + Quoted(std::string(WarningKindName(kind))));
    }
    if (!Args.Directory.empty() && !Args.Template.empty())
        UsageError("--output and --directory cannot be used together");
    if (Args.What == Arguments::Action::Check) {
        if (Args.DryRun)
            UsageError("--check and --dry-run cannot be used together");
        if (!Args.Directory.empty())
            UsageError("--check writes nothing: it takes no --directory");
        if (!Args.Template.empty())
            UsageError("--check writes nothing: it takes no --output");
        if (Files.empty())
            UsageError("expected at least one INPUT file");
    } else if (!Args.Template.empty()) {
        bool placeholders = false;
        if (const std::string fault = TemplateFault(Args.Template, placeholders); !fault.empty())
            UsageError(fault);
        if (Files.empty())
            UsageError("expected at least one INPUT file");
        if (!placeholders && Files.size() > 1) {
            UsageError("--output: " + Quoted(Args.Template) + " has no placeholder ({dir}, {name} or {parent}), "
                       "so every INPUT would write the one scene file");
        }
        for (const std::string& input : Files) {
            if (ExpandTemplate(Args.Template, input).empty())
                UsageError("--output: the folder of " + Quoted(input) + " has no name for {parent}");
        }
        const std::string first = ExpandTemplate(Args.Template, Files.front());
        if (Args.JsonReport && (first == "-" || DescriptorNamed(first) == 1))
            UsageError("--report writes to standard output: it cannot be used with OUTPUT " + Quoted(first));
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

namespace {

// The kinds of warning on indented lines of at most 80 characters.
std::string KindsWrapped()
{
    std::string lines;
    std::size_t width = 0;
    const std::vector<WarningKind> kinds = WarningKinds();
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        const std::string name = std::string(WarningKindName(kinds[i])) + (i + 1 < kinds.size() ? "," : "");
        if (width > 0 && width + 1 + name.size() > 80) {
            lines += '\n';
            width = 0;
        }
        lines += width == 0 ? "  " : " ";
        lines += name;
        width += (width == 0 ? 2 : 1) + name.size();
    }
    return lines;
}

}  // namespace

void PrintHelp()
{
    std::printf(
        "Usage: %s [OPTION]... INPUT OUTPUT\n"
        "  or:  %s [OPTION]... -o TEMPLATE INPUT...\n"
        "  or:  %s [OPTION]... -d DIR INPUT...\n"
        "  or:  %s [OPTION]... --check INPUT...\n"
        "Convert the camera solve in a camera tracker export (.ma) into a scene\n"
        "file (.syncar): the camera path per frame, the image block and the\n"
        "tracked points scaled by a factor.\n"
        "\n"
        "  -n, --no-trackers    write the camera only, no tracked points\n"
        "  -f, --factor TEXT    multiply tracked point positions by TEXT (default 1)\n"
        "  -o, --output TEMPLATE\n"
        "                       write each INPUT to TEMPLATE, where {dir} is the\n"
        "                       INPUT's folder, {name} its name without .ma and\n"
        "                       {parent} its folder's name ('{{' and '}}' for\n"
        "                       braces), and go on after a failed one\n"
        "  -d, --directory DIR  the same as -o 'DIR/{name}.syncar'; DIR must be an\n"
        "                       existing folder\n"
        "  -j, --jobs N         convert N INPUTs at once (default 1, 0 for one per\n"
        "                       processor); all is told in the order of the INPUTs\n"
        "      --check          read and check each INPUT completely, write nothing\n"
        "      --dry-run        check a conversion command through, each INPUT and\n"
        "                       its scene file, and say what it would write; write\n"
        "                       nothing\n"
        "      --no-warn KINDS  print and count no warning of these kinds\n"
        "      --strict[=KINDS] fail an INPUT that has a warning of these kinds\n"
        "                       (of any kind without KINDS), writing nothing\n"
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
        "summary follows them. KINDS of warning, comma-separated, are among:\n"
        "%s\n"
        "\n"
        "Exit status: 0 on success, 1 when a conversion or check failed,\n"
        "2 for a usage error.\n",
        Program, Program, Program, Program, KindsWrapped().c_str());
}

void PrintVersion()
{
    std::printf("%s %s\n%s", Program, quorvel::Version, quorvel::CopyrightNotice);
}

Arguments ParseArguments(int argc, char** argv)
{
    enum { VersionOption = 256, CheckOption, ReportOption, ThreadsOption, DryRunOption, NoWarnOption, StrictOption };
    static const option longOptions[] = {
        {"no-trackers", no_argument, nullptr, 'n'},
        {"factor", required_argument, nullptr, 'f'},
        {"directory", required_argument, nullptr, 'd'},
        {"output", required_argument, nullptr, 'o'},
        {"jobs", required_argument, nullptr, 'j'},
        {"check", no_argument, nullptr, CheckOption},
        {"dry-run", no_argument, nullptr, DryRunOption},
        {"no-warn", required_argument, nullptr, NoWarnOption},
        {"strict", optional_argument, nullptr, StrictOption},
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
    bool strictAll = false;
    opterr = 0;
    int option = 0;
    while ((option = getopt_long(argc, argv, ":nf:d:o:j:vqh", longOptions, nullptr)) != -1) {
        switch (option) {
        case 'n': args.Options.SaveTrackpoints = false; break;
        case 'f': args.Options.FactorText = optarg; break;
        case 'd':
            args.Directory = optarg;
            if (args.Directory.empty())
                UsageError("--directory: the folder name is empty");
            break;
        case 'o':
            args.Template = optarg;
            if (args.Template.empty())
                UsageError("--output: the template is empty");
            break;
        case 'j': args.Jobs = JobsOf(optarg); break;
        case DryRunOption: args.DryRun = true; break;
        case NoWarnOption: AddWarningKinds("--no-warn", optarg, args.Silenced); break;
        case StrictOption:
            if (optarg)
                AddWarningKinds("--strict", optarg, args.Options.FatalWarnings);
            else
                strictAll = true;
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
    if (strictAll) {
        // Every kind the user has not silenced.
        args.Options.FatalWarnings.clear();
        for (const WarningKind kind : WarningKinds()) {
            if (!args.Silences(kind))
                args.Options.FatalWarnings.push_back(kind);
        }
    }
    CheckCombination(args, {argv + optind, argv + argc});
    return args;
}

}  // namespace quorvel::cli

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// quorvel-convert in pipelines: options checked as a whole, standard input,
// --check, the JSON Lines report, warnings and the closing summary.
#include "linux_only.h"
#include "run_program.h"
#include "temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <regex>
#include <sstream>

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::Not;

namespace {

const std::string Convert = QUORVEL_CONVERT;
const fs::path Cases = QUORVEL_CASES;
const fs::path Reports = QUORVEL_REPORTS;
const std::string Sample = std::string(QUORVEL_EXAMPLES) + "/shot_0020.ma";

// A folder of exports: one with a skipped tracker line, one at 23.976 fps
// (no other warning), one whose line 17 is broken; and an empty folder out/.
struct Shots {
    TempFolder Folder;
    std::string Good = Folder.Write("good.ma", ReadFile(Sample));
    std::string Fractional = Folder.Write("fractional.ma", ReadFile(Cases / "frame_rate_23_976/input.ma"));
    std::string Broken = Folder.Write("broken.ma", ReadFile(Cases / "key_value_not_number/input.ma"));
    std::string Out = Folder / "out";
    Shots() { fs::create_directory(Out); }

    // Every file below the folder, hidden ones too.
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(Folder.Path()))
            names.push_back(entry.path().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

ProgramResult Quorvel(std::vector<std::string> Args, const std::string& Stdout = {}, const std::string& Stdin = {})
{
    Args.insert(Args.begin(), Convert);
    return RunProgram(Args, Stdout, Stdin);
}

std::string Replaced(std::string Text, const std::string& From, const std::string& To)
{
    for (std::size_t at = 0; (at = Text.find(From, at)) != std::string::npos; at += To.size())
        Text.replace(at, From.size(), To);
    return Text;
}

TEST(Pipeline, OptionsAreCheckedBeforeAnyFileIsTouched)
{
    Shots shots;
    const std::string file = shots.Good;
    const std::vector<std::string> three = {shots.Good, shots.Fractional, shots.Broken};
    struct Case {
        std::vector<std::string> Args;
        std::string Message;
    };
    const Case cases[] = {
        {{"-f", "2x", "-d", shots.Out, "@three"}, "--factor '2x' is not a number, such as 1 or 0.5"},
        {{"--factor=", "-n", file, shots.Out + "/a.syncar"}, "--factor is empty; type a number, such as 1 or 0.5"},
        {{"-d", shots.Folder / "no_such_dir", "@three"}, "--directory: there is no folder '" + shots.Folder / "no_such_dir" + "'"},
        {{"-d", file, "@three"}, "--directory: '" + file + "' is not a folder"},
        {{"-d", "", file}, "--directory: the folder name is empty"},
        {{"--check", "-d", shots.Out, file}, "--check writes nothing: it takes no --directory"},
        {{"--check"}, "expected at least one INPUT file"},
        {{"--report", "xml", file, shots.Out + "/a.syncar"}, "--report: 'xml' is not a report format; the one format is 'json'"},
        {{"--report", "json", file, "-"}, "--report writes to standard output: it cannot be used with OUTPUT '-'"},
        {{"-q", "-v", file, shots.Out + "/a.syncar"}, "--quiet and --verbose cannot be used together"},
        {{"-d", shots.Out, "-", file, "-"}, "INPUT '-' (standard input) can be given only once"},
        {{"--check", "-", "-"}, "INPUT '-' (standard input) can be given only once"},
        // What getopt could not take is named as the user wrote it, escaped.
        {{"-xn", file, shots.Out + "/a.syncar"}, "unknown option '-x'"},
        {{"-nx", file, shots.Out + "/a.syncar"}, "unknown option '-x'"},
        {{"--\x1b[31mX", file, shots.Out + "/a.syncar"}, "unknown option '--\\x1b[31mX'"},
        {{"--no-trackers=1", file, shots.Out + "/a.syncar"}, "option '--no-trackers' takes no value"},
        {{file, shots.Out + "/a.syncar", "--factor"}, "option '--factor' needs a value"},
        {{"-d"}, "option '-d' needs a value"},
        {{"--no-warn", "frame-rate,bogus", file, shots.Out + "/a.syncar"},
         "--no-warn: 'bogus' is not a kind of warning; the kinds are frame-rate, skipped-tracker-line, "
         "impossible-value, no-trackers, hard-link, key-times"},
        {{"--strict=no-trackers,frame-rate", "--no-warn=frame-rate", file, "-"}, "--no-warn and --strict both name 'frame-rate'"},
        {{"-o", shots.Out + "/one.syncar", "@three"}, "--output: '" + shots.Out + "/one.syncar' has no placeholder "
                                                      "({dir}, {name} or {parent}), so every INPUT would write the one scene file"},
        {{"-o", "{dir}/{nam}.syncar", file}, "--output: '{nam}' in '{dir}/{nam}.syncar' is no placeholder; the "
                                             "placeholders are {dir}, {name} and {parent}, and '{{' and '}}' write braces"},
        {{"-o", "}{name}", file}, "--output: '}' in '}{name}' is no placeholder; the placeholders are {dir}, {name} "
                                  "and {parent}, and '{{' and '}}' write braces"},
        {{"-o", "", file}, "--output: the template is empty"},
        {{"-o", "{name}", "-d", shots.Out, file}, "--output and --directory cannot be used together"},
        {{"--check", "-o", "{name}", file}, "--check writes nothing: it takes no --output"},
        {{"--check", "--dry-run", file}, "--check and --dry-run cannot be used together"},
        {{"--dry-run", file}, "expected an INPUT and an OUTPUT file"},
        {{"-j", "4x", "-d", shots.Out, file}, "--jobs: '4x' is not a number of jobs from 0 (one per processor) to 64"},
        {{"--jobs=65", "-d", shots.Out, file}, "--jobs: '65' is not a number of jobs from 0 (one per processor) to 64"},
    };
    const std::vector<std::string> before = shots.Files();
    for (const Case& c : cases) {
        std::vector<std::string> args;
        for (const std::string& arg : c.Args) {
            if (arg == "@three")
                args.insert(args.end(), three.begin(), three.end());
            else
                args.push_back(arg);
        }
        const ProgramResult result = Quorvel(args);
        SCOPED_TRACE(c.Message);
        EXPECT_EQ(result.Status, 2);
        // One mistake, one message, whatever the number of inputs.
        EXPECT_EQ(result.Err, "quorvel-convert: " + c.Message + "\nTry 'quorvel-convert --help' for more information.\n");
        EXPECT_EQ(result.Out, "");
        EXPECT_EQ(shots.Files(), before);
    }
}

TEST(Pipeline, HelpAndVersion)
{
    const ProgramResult help = Quorvel({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_EQ(Quorvel({"-h"}).Out, help.Out);
    for (const char* option : {"--check", "--report json", "--quiet", "-q,", "-h,", "INPUT '-'", "-o, --output TEMPLATE",
                               "-j, --jobs N", "--dry-run", "--no-warn KINDS", "--strict[=KINDS]", "hard-link"})
        EXPECT_THAT(help.Out, HasSubstr(option));
    const ProgramResult version = Quorvel({"--version"});
    EXPECT_EQ(version.Status, 0);
    // std::regex: GoogleTest's own regular expressions have no [...] on Windows.
    EXPECT_TRUE(std::regex_search(version.Out, std::regex("^quorvel-convert [0-9]+\\.[0-9]+\\.[0-9]+\n"
                                                          "Copyright Contributors to the Quorvel Project\n")))
        << version.Out;
}

TEST(PipelineLinuxOnly, HelpVersionAndReportWriteErrors)
{
    QUORVEL_LINUX_ONLY("no /dev/full");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-h"}, {"--version"}, {"--check", "--report", "json", Sample}}) {
        const ProgramResult full = Quorvel(args, "/dev/full");
        EXPECT_EQ(full.Status, 1) << args[0];
        EXPECT_THAT(full.Err, HasSubstr("quorvel-convert: cannot write to standard output: No space left on device"));
    }
}

TEST(Pipeline, CheckWritesNothingAndSaysWhatAConversionWould)
{
    Shots shots;
    const std::vector<std::string> before = shots.Files();
    for (const std::string& input : {shots.Good, shots.Fractional, shots.Broken}) {
        for (const bool trackers : {true, false}) {
            SCOPED_TRACE(input + (trackers ? "" : " -n"));
            std::vector<std::string> options = trackers ? std::vector<std::string>{} : std::vector<std::string>{"-n"};
            std::vector<std::string> check = options;
            check.insert(check.end(), {"--check", input});
            const ProgramResult checked = Quorvel(check);
            EXPECT_EQ(shots.Files(), before) << "--check wrote a file";
            EXPECT_EQ(checked.Out, "");

            const std::string scene = shots.Out + "/scene.syncar";
            options.insert(options.end(), {input, scene});
            const ProgramResult converted = Quorvel(options);
            EXPECT_EQ(checked.Status, converted.Status);
            EXPECT_EQ(checked.Err, converted.Err);
            fs::remove(scene);
        }
    }
    // The tracker lines are read too: the good export's skipped one is found.
    EXPECT_THAT(Quorvel({"--check", shots.Good}).Err, HasSubstr("good.ma, line 36: tracker line skipped"));

    const ProgramResult all = Quorvel({"--check", shots.Good, shots.Fractional, shots.Broken});
    EXPECT_EQ(all.Status, 1);
    EXPECT_THAT(all.Err, testing::EndsWith("quorvel-convert: 2 would convert, 1 would not, 2 with warnings\n"));
    EXPECT_EQ(Quorvel({"--check", shots.Good, shots.Fractional}).Status, 0);
    EXPECT_EQ(shots.Files(), before);
}

TEST(Pipeline, SummaryAfterSeveralInputsAndQuiet)
{
    Shots shots;
    const std::vector<std::string> batch = {"-d", shots.Out, shots.Good, shots.Fractional, shots.Broken};
    const ProgramResult loud = Quorvel(batch);
    EXPECT_EQ(loud.Status, 1);
    EXPECT_THAT(loud.Err, HasSubstr("quorvel-convert: warning: " + shots.Fractional +
                                    ": frame rate 23.976 written as 24 (the scene file holds whole frames per second)\n"));
    EXPECT_THAT(loud.Err, testing::EndsWith("quorvel-convert: 2 converted, 1 failed, 2 with warnings\n"));

    std::vector<std::string> quiet = batch;
    quiet.insert(quiet.begin(), "-q");
    const ProgramResult hushed = Quorvel(quiet);
    EXPECT_EQ(hushed.Status, 1);
    EXPECT_EQ(hushed.Err, "quorvel-convert: " + shots.Broken +
                              ", line 17: camera channel 4 (rotate X), frame 1: the key value 'abc' is not a number\n");

    // One input: no summary.
    const ProgramResult single = Quorvel({shots.Good, shots.Out + "/one.syncar"});
    EXPECT_EQ(single.Status, 0);
    EXPECT_THAT(single.Err, Not(HasSubstr("converted")));
}

TEST(Pipeline, StandardInputGivesTheSameScene)
{
    Shots shots;
    const std::string expected = Quorvel({shots.Good, "-"}).Out;
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Quorvel({"-", "-"}, {}, shots.Good).Out, expected);
    EXPECT_EQ(Quorvel({"-", shots.Out + "/piped.syncar"}, {}, shots.Good).Status, 0);
    EXPECT_EQ(ReadFile(shots.Out + "/piped.syncar"), expected);
    const ProgramResult batch = Quorvel({"-d", shots.Out, shots.Fractional, "-"}, {}, shots.Good);
    EXPECT_EQ(batch.Status, 0) << batch.Err;
    EXPECT_EQ(ReadFile(shots.Out + "/stdin.syncar"), expected);
    EXPECT_THAT(batch.Err, HasSubstr("warning: standard input, line 36: tracker line skipped"));

    const ProgramResult broken = Quorvel({"--check", "-"}, {}, shots.Broken);
    EXPECT_EQ(broken.Status, 1);
    EXPECT_THAT(broken.Err, HasSubstr("quorvel-convert: standard input, line 17: camera channel 4"));
}

// Texts with the scratch folder as DIR and '/' between names, as the golden
// lines have them whatever the system.
void Normalise(nlohmann::ordered_json& Value, const std::string& Folder)
{
    if (Value.is_string())
        Value = Replaced(Replaced(Value.get<std::string>(), Folder, "DIR"), "\\", "/");
    else if (Value.is_structured())
        for (auto& item : Value)
            Normalise(item, Folder);
}

// Each line of the report, parsed back, against the golden object: the
// same fields in the same order, each with the golden value.
void ExpectReport(const std::string& Lines, const fs::path& Golden, const std::string& Folder)
{
    std::istringstream actual(Lines);
    std::istringstream expected(ReadFile(Golden));
    std::string got;
    std::string want;
    int count = 0;
    while (std::getline(expected, want)) {
        ASSERT_TRUE(std::getline(actual, got)) << "report line " << count + 1 << " is missing";
        auto gotJson = nlohmann::ordered_json::parse(got);
        Normalise(gotJson, Folder);
        const auto wantJson = nlohmann::ordered_json::parse(want);
        std::vector<std::string> gotKeys;
        for (const auto& [key, value] : gotJson.items())
            gotKeys.push_back(key);
        std::vector<std::string> wantKeys;
        for (const auto& [key, value] : wantJson.items()) {
            wantKeys.push_back(key);
            EXPECT_EQ(gotJson.value(key, nlohmann::ordered_json()), value)
                << Golden.filename() << " line " << count + 1 << ", field " << key;
        }
        EXPECT_EQ(gotKeys, wantKeys);
        ++count;
    }
    EXPECT_FALSE(std::getline(actual, got)) << "more report lines than golden ones: " << got;
}

TEST(Pipeline, JsonReportMatchesTheGoldenLines)
{
    Shots shots;
    const std::string dir = shots.Folder.Path().string();
    const ProgramResult checked =
        Quorvel({"--check", "--report", "json", shots.Good, shots.Fractional, shots.Broken, dir + "/missing.ma"});
    EXPECT_EQ(checked.Status, 1);
    ExpectReport(checked.Out, Reports / "check.jsonl", dir);

    const ProgramResult converted =
        Quorvel({"-q", "--report=json", "-n", "-d", shots.Out, shots.Good, "-", shots.Broken}, {}, shots.Fractional);
    EXPECT_EQ(converted.Status, 1);
    ExpectReport(converted.Out, Reports / "convert.jsonl", dir);

    const std::vector<std::string> before = shots.Files();
    const ProgramResult dryRun = Quorvel({"--dry-run", "--strict=frame-rate", "--no-warn=no-trackers", "--report=json",
                                          "-j", "2", "-d", shots.Out, shots.Good, shots.Fractional});
    EXPECT_EQ(dryRun.Status, 1);
    ExpectReport(dryRun.Out, Reports / "dry-run.jsonl", dir);
    EXPECT_EQ(shots.Files(), before);
}

}  // namespace

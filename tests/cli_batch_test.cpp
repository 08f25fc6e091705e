// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// quorvel-convert over many shots: output templates, the dry run, kinds of
// warning silenced or made fatal, and jobs that keep the inputs' order.
#include "run_program.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fs = std::filesystem;

namespace {

const std::string Convert = QUORVEL_CONVERT;
const std::string Sample = std::string(QUORVEL_EXAMPLES) + "/shot_0020.ma";
const fs::path Cases = QUORVEL_CASES;

std::string Replaced(std::string Text, const std::string& From, const std::string& To)
{
    for (std::size_t at = 0; (at = Text.find(From, at)) != std::string::npos; at += To.size())
        Text.replace(at, From.size(), To);
    return Text;
}

// Every file below Folder, as paths from it with '/' between names.
std::vector<std::string> Files(const fs::path& Folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(Folder)) {
        if (entry.is_regular_file())
            names.push_back(Replaced(TextOf(fs::relative(entry.path(), Folder)), "\\", "/"));
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Batch, TemplatesDryRunAndKindsOfWarning)
{
    const std::string OldScene = "SynthEyesScene {\r\n}\r\n";
    // A, B: two shots whose exports have one name; A has a skipped tracker
    // line, B a frame rate of 23.976 and no trackers.
    const std::string warnA = "quorvel-convert: warning: D/shots/A/track/camera.ma, line 36: tracker line skipped: "
                              "only 2 of 3 numbers\n";
    const std::string warnB = "quorvel-convert: warning: D/shots/B/track/camera.ma: frame rate 23.976 written as 24 "
                              "(the scene file holds whole frames per second)\n"
                              "quorvel-convert: warning: D/shots/B/track/camera.ma: no tracker line found, so the "
                              "scene file holds no trackers\n";
    const std::vector<std::string> exports = {"broken.ma", "shots/A/track/camera.ma", "shots/B/track/camera.ma"};
    struct Row {
        std::vector<std::string> Args;  // "A", "B" the exports, "D/" the scratch folder
        int Status;
        std::string Err;
        std::vector<std::string> Created;
    };
    const Row rows[] = {
        {{"-o", "{dir}/{name}.syncar", "A", "B"}, 0,
         warnA + warnB + "quorvel-convert: 2 converted, 0 failed, 2 with warnings\n",
         {"shots/A/track/camera.syncar", "shots/B/track/camera.syncar"}},
        {{"-o", "D/out/{parent}_{name}{{1}}.syncar", "A", "B"}, 1,
         warnA + "quorvel-convert: D/shots/B/track/camera.ma: not converted: D/out/track_camera{1}.syncar is "
                 "also the scene of D/shots/A/track/camera.ma, an earlier input\n"
                 "quorvel-convert: 1 converted, 1 failed, 1 with warnings\n",
         {"out/track_camera{1}.syncar"}},
        {{"--dry-run", "-d", "D/out", "A", "D/broken.ma", "A"}, 1,
         warnA + "quorvel-convert: D/shots/A/track/camera.ma -> D/out/camera.syncar: would be written, a new file\n"
                 "quorvel-convert: D/broken.ma: not a Maya ASCII export: its first line 'not an export' does not "
                 "begin with '//Maya ASCII'\n"
                 "quorvel-convert: D/shots/A/track/camera.ma: not converted: D/out/camera.syncar is also the "
                 "scene of D/shots/A/track/camera.ma, an earlier input\n"
                 "quorvel-convert: 1 would convert, 2 would not, 1 with warnings\n",
         {}},
        {{"--dry-run", "-q", "A", "D/old.syncar"}, 0,
         "quorvel-convert: D/shots/A/track/camera.ma -> D/old.syncar: would be written over the old scene file\n", {}},
        {{"--dry-run", "A", "D/out"}, 1, "quorvel-convert: 'D/out' is a folder, not a scene file\n", {}},
        {{"--dry-run", "A", "D/none/x.syncar"}, 1,
         "quorvel-convert: cannot create the scene file 'D/none/x.syncar': No such file or directory\n", {}},
        {{"--no-warn", "frame-rate,no-trackers", "-d", "D/out", "B"}, 0, "", {"out/camera.syncar"}},
        {{"--no-warn=skipped-tracker-line", "--strict", "-o", "D/out/{parent}.syncar", "A"}, 0, "", {"out/track.syncar"}},
        {{"--strict=frame-rate", "-o", "D/out/{name}.syncar", "B"}, 1,
         "quorvel-convert: D/shots/B/track/camera.ma, line 22: frame rate 23.976 written as 24 (the scene file "
         "holds whole frames per second) (a warning made fatal by --strict)\n",
         {}},
        {{"--strict", "A", "-"}, 1,
         "quorvel-convert: D/shots/A/track/camera.ma, line 36: tracker line skipped: only 2 of 3 numbers (a "
         "warning made fatal by --strict)\n",
         {}},
    };
    for (const Row& row : rows) {
        TempFolder f;
        const std::string d = TextOf(f.Path());
        for (const char* folder : {"out", "shots/A/track", "shots/B/track"})
            fs::create_directories(f.Path() / folder);
        f.Write("broken.ma", "not an export\r\n");
        f.Write("old.syncar", OldScene);
        f.Write("shots/A/track/camera.ma", ReadFile(Sample));
        f.Write("shots/B/track/camera.ma", ReadFile(Cases / "frame_rate_23_976/input.ma"));
        std::vector<std::string> argv = {Convert};
        for (const std::string& arg : row.Args) {
            argv.push_back(arg == "A"   ? f / "shots/A/track/camera.ma"
                           : arg == "B" ? f / "shots/B/track/camera.ma"
                                        : Replaced(arg, "D/", d + "/"));
        }
        const ProgramResult result = RunProgram(argv);
        std::string shown;
        for (const std::string& arg : row.Args)
            shown += arg + ' ';
        SCOPED_TRACE(shown);
        EXPECT_EQ(result.Status, row.Status);
        EXPECT_EQ(Replaced(Replaced(result.Err, d, "D"), "\\", "/"), row.Err);
        std::vector<std::string> expected = {"broken.ma", "old.syncar", "shots/A/track/camera.ma",
                                             "shots/B/track/camera.ma"};
        expected.insert(expected.end(), row.Created.begin(), row.Created.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Files(f.Path()), expected);
        EXPECT_EQ(ReadFile(f / "old.syncar"), OldScene);
        if (!row.Created.empty() && row.Created.front().find("A/") != std::string::npos) {
            EXPECT_EQ(ReadFile(f / row.Created.front()), RunProgram({Convert, Sample, "-"}).Out);
        }
    }
}

// A hundred exports, one broken and some written twice, four at a time:
// the same scenes, messages and report lines, in the same order, as one
// at a time.
TEST(Batch, JobsGiveWhatOneJobGives)
{
    TempFolder f;
    std::vector<std::string> inputs;
    for (int i = 0; i < 100; ++i) {
        const std::string name = "in/shot_" + std::to_string(1000 + i) + ".ma";
        fs::create_directories(f.Path() / "in");
        inputs.push_back(f.Write(name, i == 37 ? "not an export\r\n"
                                       : i % 10 == 3 ? ReadFile(Cases / "frame_rate_23_976/input.ma")
                                                     : ReadFile(Sample)));
    }
    inputs.push_back(inputs[5]);  // written already, by the sixth input
    inputs.insert(inputs.begin() + 20, inputs[60]);
    std::vector<ProgramResult> results;
    for (const char* jobs : {"1", "4", "0"}) {
        const std::string out = f / (std::string("out") + jobs);
        fs::create_directories(PathOf(out));
        std::vector<std::string> argv = {Convert, "-j", jobs, "--report", "json", "-o", out + "/{name}.syncar"};
        argv.insert(argv.end(), inputs.begin(), inputs.end());
        results.push_back(RunProgram(argv));
        // The report writes a Windows path's backslashes doubled.
        results.back().Out = Replaced(results.back().Out, Replaced(out, "\\", "\\\\"), "OUT");
        results.back().Err = Replaced(results.back().Err, out, "OUT");
    }
    EXPECT_EQ(results[0].Status, 1);
    EXPECT_EQ(std::count(results[0].Out.begin(), results[0].Out.end(), '\n'), 102);
    EXPECT_NE(results[0].Err.find("shot_1037.ma: not a Maya ASCII export"), std::string::npos);
    EXPECT_NE(results[0].Err.find("quorvel-convert: 99 converted, 3 failed, 99 with warnings\n"), std::string::npos);
    for (std::size_t run = 1; run < results.size(); ++run) {
        EXPECT_EQ(results[run].Status, results[0].Status);
        EXPECT_EQ(results[run].Out, results[0].Out);
        EXPECT_EQ(results[run].Err, results[0].Err);
    }
    const std::vector<std::string> scenes = Files(f.Path() / "out1");
    EXPECT_EQ(scenes.size(), 99u);
    for (const char* other : {"out4", "out0"}) {
        ASSERT_EQ(Files(f.Path() / other), scenes);
        for (const std::string& scene : scenes)
            EXPECT_EQ(ReadFile(f.Path() / other / scene), ReadFile(f.Path() / "out1" / scene)) << scene;
    }
}

}  // namespace

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// make-export and quorvel-convert together on small synthetic exports: what
// must hold of any export the generator writes, so that the benchmark
// tools cannot rot between runs of make bench.
#include "run_program.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Shape {
    std::string Name;
    std::string Frames;  // FIRST:LAST
    long FrameCount;
    long Trackers;
    std::string Seed;
};

std::vector<std::string> SplitCrLf(const std::string& Text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = Text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(Text.substr(start, end - start));
    EXPECT_EQ(start, Text.size()) << "the text does not end in CR LF";
    return lines;
}

double Number(std::string_view Text)
{
    double value = 0;
    const std::string text(Text);
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    EXPECT_TRUE(!text.empty() && end == text.c_str() + text.size()) << "'" << Text << "'";
    return value;
}

std::vector<std::string> Fields(std::string_view Text, char Separator)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in{std::string(Text)};
    while (std::getline(in, field, Separator))
        if (!field.empty())
            fields.push_back(field);
    return fields;
}

void PrintTo(const Shape& Shape, std::ostream* Out)
{
    *Out << Shape.Frames << ", " << Shape.Trackers << " trackers, seed " << Shape.Seed;
}

class ExportSmoke : public testing::TestWithParam<Shape> {};

TEST_P(ExportSmoke, ConvertsEveryFrameAndTracker)
{
    const Shape& shape = GetParam();
    TempFolder folder;
    const std::string input = folder / "synthetic.ma";
    const std::string output = folder / "synthetic.syncar";
    const std::vector<std::string> make = {QUORVEL_MAKE_EXPORT, "--frames", shape.Frames, "--trackers",
                                           std::to_string(shape.Trackers), "--seed", shape.Seed};
    std::vector<std::string> toFile = make;
    toFile.push_back(input);
    const ProgramResult made = RunProgram(toFile);
    ASSERT_EQ(made.Status, 0) << made.Err;
    std::vector<std::string> toStdout = make;
    toStdout.push_back("-");
    EXPECT_EQ(RunProgram(toStdout).Out, ReadFile(input)) << "the same seed gave other bytes";

    const ProgramResult converted = RunProgram({QUORVEL_CONVERT, "-v", input, output});
    ASSERT_EQ(converted.Status, 0) << converted.Err;
    const auto count = [](long number, const std::string& noun) {
        return std::to_string(number) + " " + noun + (number == 1 ? "" : "s");
    };
    EXPECT_NE(converted.Err.find(": " + count(shape.FrameCount, "frame") + ", " + count(shape.Trackers, "tracker") +
                                 ", 0 tracker lines skipped"),
              std::string::npos)
        << converted.Err;

    // Every tracker line of the export gives one block, in order, its
    // position as (-x, z, y): at most 12 significant digits read and
    // printed with 15 come back as the very same doubles.
    std::vector<std::vector<double>> positions;
    bool afterRate = false;  // the camera's own transform comes before it
    for (const std::string& line : SplitCrLf(ReadFile(input))) {
        const std::string marker = "setAttr \".t\" -type \"double3\" ";
        const std::size_t at = line.find(marker);
        if (afterRate && at != std::string::npos) {
            std::vector<double> xyz;
            for (const std::string& field : Fields(line.substr(at + marker.size()), ' '))
                if (field != ";")
                    xyz.push_back(Number(field.back() == ';' ? field.substr(0, field.size() - 1) : field));
            ASSERT_EQ(xyz.size(), 3u) << line;
            positions.push_back({-xyz[0], xyz[2], xyz[1]});
        }
        afterRate = afterRate || line.find("-fps") != std::string::npos;
    }
    ASSERT_EQ(positions.size(), static_cast<std::size_t>(shape.Trackers));

    long keys = 0;
    std::size_t tracker = 0;
    const std::vector<std::string> scene = SplitCrLf(ReadFile(output));
    for (std::size_t i = 0; i < scene.size(); ++i) {
        if (scene[i].starts_with("      PKey "))
            ++keys;
        if (scene[i] != "   Trak {")
            continue;
        ASSERT_LT(tracker, positions.size());
        ASSERT_LT(i + 3, scene.size());
        EXPECT_EQ(scene[i + 1], "     Name \"Tracker" + std::to_string(tracker + 1) + "\"");
        ASSERT_TRUE(scene[i + 2].starts_with("     WPos ")) << scene[i + 2];
        const std::vector<std::string> wpos = Fields(scene[i + 2].substr(10), ',');
        ASSERT_EQ(wpos.size(), 3u) << scene[i + 2];
        for (std::size_t axis = 0; axis < 3; ++axis) {
            std::string_view text = wpos[axis];
            ASSERT_TRUE(text.ends_with(' ')) << scene[i + 2];
            text.remove_suffix(1);
            if (text.starts_with(' '))
                text.remove_prefix(1);
            EXPECT_EQ(Number(text), positions[tracker][axis])
                << "tracker " << tracker + 1 << ": " << scene[i + 2];
        }
        ++tracker;
    }
    EXPECT_EQ(tracker, static_cast<std::size_t>(shape.Trackers));
    EXPECT_EQ(keys, shape.FrameCount);
    ASSERT_GE(scene.size(), 2u);
    EXPECT_EQ(scene.back(), "}");
}

INSTANTIATE_TEST_SUITE_P(Shapes, ExportSmoke,
                         testing::Values(Shape{"Typical", "1001:1100", 100, 2000, "1"},
                                         Shape{"NegativeFrames", "-5:10", 16, 300, "7"},
                                         Shape{"OneFrameNoTrackers", "0:0", 1, 0, "3"},
                                         Shape{"LongShot", "1:1500", 1500, 40, "12345"}),
                         [](const testing::TestParamInfo<Shape>& Info) { return Info.param.Name; });

TEST(ExportSmoke, SeedsGiveDifferentExports)
{
    const auto make = [](const std::string& seed) {
        return RunProgram({QUORVEL_MAKE_EXPORT, "--trackers", "50", "--seed", seed, "-"}).Out;
    };
    EXPECT_NE(make("1"), make("2"));
}

TEST(ExportSmoke, BadArgumentsAreRefused)
{
    for (const std::vector<std::string>& argv :
         {std::vector<std::string>{QUORVEL_MAKE_EXPORT},
          {QUORVEL_MAKE_EXPORT, "--frames", "10:5", "-"},
          {QUORVEL_MAKE_EXPORT, "--frames", "0:40000", "-"},
          {QUORVEL_MAKE_EXPORT, "--trackers", "many", "-"}}) {
        const ProgramResult result = RunProgram(argv);
        EXPECT_EQ(result.Status, 2) << argv.back();
        EXPECT_EQ(result.Out, "");
    }
}

}  // namespace

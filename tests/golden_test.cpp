// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Every folder under data/cases is one conversion through quorvel-convert:
//   input.ma          the export
//   args              optional, one command-line argument per line
//   expected.syncar   the exact scene file of a successful conversion, or
//   expected-status   the exit status of a failed one (the old OUTPUT must survive)
//   expected-stderr   optional, lines that must each appear on standard error
//   expected-warnings optional, how many warnings standard error holds
#include "run_program.h"
#include "temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace fs = std::filesystem;
using testing::HasSubstr;

namespace {

const fs::path Cases = QUORVEL_CASES;

const std::vector<std::string> CaseNames = {
#include "golden_cases.inc"
};

std::vector<std::string> Lines(const fs::path& path)
{
    std::vector<std::string> lines;
    if (!fs::exists(path))
        return lines;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class GoldenCase : public testing::TestWithParam<std::string> {};

TEST_P(GoldenCase, ConvertsAsExpected)
{
    const fs::path dir = Cases / GetParam();
    const bool succeeds = fs::exists(dir / "expected.syncar");
    ASSERT_TRUE(succeeds || fs::exists(dir / "expected-status"))
        << dir << " needs expected.syncar or expected-status";

    TempFolder folder;
    const std::string input = folder.Write("input.ma", ReadFile(dir / "input.ma"));
    const std::string previous = "SynthEyesScene {\r\nprevious scene\r\n";
    const std::string output = folder.Write("out.syncar", previous);

    // The tracker lines on one thread, and on more threads than there are
    // processors: the same bytes.
    const std::pair<std::string, const char*> runs[] = {
        {output, "1"}, {output, "2"}, {output, "8"}, {"-", "1"}, {"-", "8"}};
    for (const auto& [target, threads] : runs) {
        SCOPED_TRACE("OUTPUT " + target + ", " + threads + " threads");
        std::vector<std::string> command = {QUORVEL_CONVERT, "--threads", threads};
        for (const std::string& arg : Lines(dir / "args"))
            command.push_back(arg);
        command.push_back(input);
        command.push_back(target);
        const ProgramResult result = RunProgram(command);
        for (const std::string& fragment : Lines(dir / "expected-stderr"))
            EXPECT_THAT(result.Err, HasSubstr(fragment));
        for (const std::string& count : Lines(dir / "expected-warnings")) {
            std::istringstream err(result.Err);
            int warnings = 0;
            for (std::string line; std::getline(err, line);)
                warnings += line.find(": warning: ") != std::string::npos ? 1 : 0;
            EXPECT_EQ(warnings, std::stoi(count)) << result.Err;
        }
        const std::string written = target == "-" ? result.Out : ReadFile(output);
        if (succeeds) {
            EXPECT_EQ(result.Status, 0) << result.Err;
            EXPECT_EQ(written, ReadFile(dir / "expected.syncar"));
        } else {
            EXPECT_EQ(result.Status, std::stoi(Lines(dir / "expected-status").at(0)));
            EXPECT_EQ(written, target == "-" ? "" : previous) << "a failed conversion wrote output";
        }
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{"input.ma", "out.syncar"}));
    }
}

std::string TestName(const testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param;
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Data, GoldenCase, testing::ValuesIn(CaseNames), TestName);

}  // namespace

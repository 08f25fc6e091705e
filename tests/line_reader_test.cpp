// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/error.h"
#include "quorvel/line_reader.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

using namespace quorvel;

namespace {

std::vector<std::string> ReadAll(const std::string& bytes)
{
    TempFolder folder;
    LineReader reader(folder.Write("in.ma", bytes));
    std::vector<std::string> lines;
    std::string line;
    while (!reader.AtEnd()) {
        reader.ReadLine(line);
        lines.push_back(line);
    }
    EXPECT_EQ(reader.LineNumber(), static_cast<long>(lines.size()));
    return lines;
}

using Lines = std::vector<std::string>;

TEST(LineReader, AcceptsEveryLineEnd)
{
    EXPECT_EQ(ReadAll("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(ReadAll("a\nb\n"), (Lines{"a", "b"}));
    EXPECT_EQ(ReadAll("a\rb\r"), (Lines{"a", "b"}));
    EXPECT_EQ(ReadAll("a\r\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(ReadAll("a\r\n\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(ReadAll("a\n\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(ReadAll(""), (Lines{}));
    EXPECT_EQ(ReadAll("\r\n"), (Lines{""}));
}

TEST(LineReader, CrLfSplitAcrossReadsIsOneLineEnd)
{
    // The buffer holds 256 KiB: put the CR as its last byte.
    const std::string first(262143, 'x');
    EXPECT_EQ(ReadAll(first + "\r\nnext\r\n"), (Lines{first, "next"}));
    const std::string longLine(600000, 'y');
    EXPECT_EQ(ReadAll("a\r\n" + longLine + "\r\nb"), (Lines{"a", longLine, "b"}));
}

TEST(LineReader, RefusesWhatIsNotText)
{
    TempFolder folder;
    LineReader reader(folder.Write("with-nul.ma", std::string("ok\r\nbad\0line\r\n", 14)));
    std::string line;
    reader.ReadLine(line);
    try {
        reader.ReadLine(line);
        FAIL() << "a NUL byte was accepted";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), ErrorKind::BadInput);
        EXPECT_NE(std::string(error.what()).find("with-nul.ma, line 2: the line holds a NUL byte"), std::string::npos)
            << error.what();
    }
}

TEST(LineReader, ReadingPastTheEndSaysWhatWasWanted)
{
    TempFolder folder;
    LineReader reader(folder.Write("short.ma", "only\r\n"));
    std::string line;
    reader.ReadLine(line);
    EXPECT_TRUE(reader.AtEnd());
    try {
        reader.ReadLine(line, "the frame rate");
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), ErrorKind::MissingInput);
        EXPECT_NE(std::string(error.what()).find("ends after line 1 before the frame rate"), std::string::npos);
    }
}

TEST(LineReader, MarkerScanTestsTheHeldLineFirst)
{
    TempFolder folder;
    LineReader reader(folder.Write("scan.ma", "one\r\ntwo -fps 25\r\nthree\r\n"));
    std::string current = "held -fps 30";
    long number = 7;
    EXPECT_TRUE(ScanForMarker(reader, current, number, "-fps"));
    EXPECT_EQ(current, "held -fps 30");
    EXPECT_EQ(number, 7);
    current = "";
    EXPECT_TRUE(ScanForMarker(reader, current, number, "-fps"));
    EXPECT_EQ(current, "two -fps 25");
    EXPECT_EQ(number, 2);
    EXPECT_FALSE(ScanForMarker(reader, current, number, "absent"));
}

}  // namespace

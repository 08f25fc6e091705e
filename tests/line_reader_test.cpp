// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/error.h"
#include "quorvel/line_reader.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>

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

TEST(LineReader, SearchesFindTheFirstAtEveryPlace)
{
    // Lengths past three 16-byte blocks, the byte at every place with a
    // second one after it, searched from the start and from past the first.
    for (std::size_t size = 0; size <= 60; ++size) {
        for (std::size_t place = 0; place <= size; ++place) {
            for (const char wanted : {'\r', '\n', '\0', ';'}) {
                std::string text(size, 'x');
                for (std::size_t at = place; at < size && at <= place + 7; at += 7)
                    text[at] = wanted;
                for (const std::size_t from : {std::size_t{0}, std::min(size, place + 1)}) {
                    const std::size_t first = std::min(text.find(wanted, from), size);
                    if (wanted == '\r' || wanted == '\n') {
                        EXPECT_EQ(FindLineEnd(text.data(), from, size), first) << size << ' ' << place;
                    }
                    const char* const found = FindByte(text.data() + from, size - from, wanted);
                    EXPECT_EQ(found ? static_cast<std::size_t>(found - text.data()) : size, first)
                        << size << ' ' << place << ' ' << int(wanted);
                }
            }
            // A text at every place after a near miss: its first and last bytes.
            const std::string pattern = "s-\"double3\"3";
            std::string text(size, 'x');
            if (place + pattern.size() <= size)
                text.replace(place, pattern.size(), "s----------3");
            if (place + 12 + pattern.size() <= size)
                text.replace(place + 12, pattern.size(), pattern);
            for (const std::size_t from : {std::size_t{0}, place, place + 13})
                EXPECT_EQ(FindText(text, pattern, from), text.find(pattern, from)) << text << ' ' << from;
        }
    }
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

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// What the scene and the messages need of numbers written: the print form
// at the edges of 15 digits and of the exponent form, ties that round to
// even, negative zero, and the shortest texts messages quote.
#include "quorvel/number_text.h"
#include "quorvel/scene_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <string>

using namespace quorvel;

TEST(Numbers, PrintFormAndShortestText)
{
    using Limits = std::numeric_limits<double>;
    const struct {
        double Value;
        const char* PrintForm;
        const char* Shortest;
    } cases[] = {
        {92.5, " 92.5 ", "92.5"},
        {-3, "-3 ", "-3"},
        {180, " 180 ", "180"},
        {0.5, " 0.5 ", "0.5"},
        {23.976, " 23.976 ", "23.976"},
        {0.1 + 0.2, " 0.3 ", "0.30000000000000004"},
        {1.0 / 3, " 0.333333333333333 ", "0.3333333333333333"},
        {270.00000000000006, " 270 ", "270.00000000000006"},
        {1e-05, " 1e-05 ", "1e-05"},
        {0.0001, " 0.0001 ", "1e-04"},
        {9.99999999999999e-5, " 9.99999999999999e-05 ", "9.99999999999999e-05"},
        {100000, " 100000 ", "1e+05"},
        {40000, " 40000 ", "40000"},
        {32767.5, " 32767.5 ", "32767.5"},
        {999999999999999.0, " 999999999999999 ", "999999999999999"},
        {999999999999999.5, " 1e+15 ", "999999999999999.5"},
        {1e15, " 1e+15 ", "1e+15"},
        {1e16, " 1e+16 ", "1e+16"},
        {100000000000000.5, " 100000000000000 ", "100000000000000.5"},
        {123456789012344.5, " 123456789012344 ", "123456789012344.5"},
        {123456789012345678.0, " 1.23456789012346e+17 ", "123456789012345680"},
        {std::ldexp(1.0, 60), " 1.15292150460685e+18 ", "1152921504606846976"},
        {1e23, " 1e+23 ", "1e+23"},
        {-1e-300, "-1e-300 ", "-1e-300"},
        {Limits::denorm_min(), " 4.94065645841247e-324 ", "5e-324"},
        {Limits::max(), " 1.79769313486232e+308 ", "1.7976931348623157e+308"},
        {0.0, " 0 ", "0"},
        {-0.0, " 0 ", "-0"},
        {Limits::infinity(), " inf ", "inf"},
        {-Limits::infinity(), "-inf ", "-inf"},
    };
    for (const auto& [value, printForm, shortest] : cases) {
        std::string out;
        AppendPrintForm(out, value);
        EXPECT_EQ(out, printForm);
        char text[number_text::TextMax];
        EXPECT_EQ(std::string(text, number_text::WriteShortest(text, value)), shortest);
    }
}

TEST(Numbers, CountsAsDigits)
{
    for (const long value : std::initializer_list<long>{0, 7, 10, 1000, 530000, 10000000, 99999999, 100000000,
                                                       2147483647, -5}) {
        char text[24];
        EXPECT_EQ(std::string(text, WriteCount(text, value)), std::to_string(value));
    }
}

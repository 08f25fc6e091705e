// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The text operations every value of a conversion is cut out with.
// Positions are 1-based; 0 means "not found".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

using Integer16 = std::int16_t;

// Position of Pattern in Text at or after StartPos; 0 when absent or when
// StartPos lies beyond the end. StartPos below 1 is an invalid argument.
std::size_t Find(std::int64_t StartPos, std::string_view Text, std::string_view Pattern);

// Length characters from Start, fewer when the text ends first, empty past
// the end. Start below 1 or a negative Length is an invalid argument.
std::string_view Substring(std::string_view Text, std::int64_t Start, std::int64_t Length);

// Removes leading and trailing spaces (code 32 only).
std::string_view Trim(std::string_view Text);

// Lenient reading of a number at the front of Text: blanks, tabs and line
// feeds are ignored anywhere, reading stops at the first character that
// cannot continue the number, and no number at all reads as 0. Never fails.
double ValueOf(std::string_view Text);

// Whether Text is exactly one decimal number: optional sign, digits with an
// optional period ('.5' and '1.' count), optional exponent. No blanks.
bool IsNumber(std::string_view Text);

// Reads a text that IsNumber accepted; the result may be infinite when the
// exponent is out of a double's range.
double NumberValue(std::string_view Text);

// The length of the number at the front of Text, 0 when none, and its
// value in Value: the number IsNumber accepts, read where more text follows.
std::size_t ReadNumberPrefix(std::string_view Text, double& Value);

// IsNumber and NumberValue in one pass: false when Text is not exactly one
// number, otherwise true with its value in Value.
bool ReadNumber(std::string_view Text, double& Value);

// Rounds half to even; a result outside -32768..32767 is an overflow whose
// message names What.
Integer16 ToInteger16(double Value, std::string_view What);

// Decimal digits with a minus sign for negative numbers.
std::string IntegerText(long long Value);

// The token that starts at the 0-based offset From: leading spaces skipped,
// then up to the next space, ';' or the end of the text.
std::string_view TokenAt(std::string_view Text, std::size_t From);

}  // namespace quorvel

// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Numbers to text and back with the same bytes on every build. The standard
// library's floating-point <charconv> functions are used where it has them;
// where it does not (the WebAssembly build's C++ library), the engine's own
// exact ones below take over. Both give the correctly rounded answer, so they
// agree on every value; a test holds them to it.
#pragma once

#include <cstdint>
#include <string_view>
#include <system_error>

namespace quorvel::number_text {

// Room for any text the writers below produce.
inline constexpr int TextMax = 32;

// As std::from_chars with std::chars_format::general on all of Text, which
// holds an unsigned decimal number (digits, an optional point, an optional
// exponent). std::errc::result_out_of_range when it rounds to zero or
// beyond the largest double (Value is then left alone), std::errc() else.
std::errc ReadDouble(std::string_view Text, double& Value);

// As std::to_chars(Out, Out + TextMax, Value): the shortest text that reads
// back as Value. Returns the end of what was written.
char* WriteShortest(char* Out, double Value);

// As std::to_chars(Out, Out + TextMax, Value, std::chars_format::general,
// Precision) for a Precision of 1 to 17.
char* WriteGeneral(char* Out, double Value, int Precision);

// The bits of Value, as std::bit_cast gives them.
std::uint64_t BitsOf(double Value);

// Whether the standard library's functions are the ones in use.
bool StandardFunctionsInUse();

// The engine's own exact functions, whatever the build uses; the tests
// compare them with the standard library's.
namespace own {
std::errc ReadDouble(std::string_view Text, double& Value);
char* WriteShortest(char* Out, double Value);
char* WriteGeneral(char* Out, double Value, int Precision);
}  // namespace own

}  // namespace quorvel::number_text

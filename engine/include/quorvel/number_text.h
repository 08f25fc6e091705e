// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Numbers to text with the same bytes on every build, through Debian's fmt
// (header-only): correctly rounded, whatever the C++ library has.
#pragma once

#include <cstdint>

namespace quorvel::number_text {

// Room for any text the writers below produce.
inline constexpr int TextMax = 32;

// The shortest text that reads back as Value, in fixed or exponent form,
// whichever is shorter (fixed on a tie), as std::to_chars(Out, End, Value)
// lays it out: 24.5, 1e+05, -0, inf. Returns the end of what was written.
char* WriteShortest(char* Out, double Value);

// Value rounded to 15 significant digits, as printf's "%.15g" writes it.
char* WriteFifteenDigits(char* Out, double Value);

// The bits of Value, as std::bit_cast gives them.
std::uint64_t BitsOf(double Value);

}  // namespace quorvel::number_text

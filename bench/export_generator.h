// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Synthetic camera tracker exports for benchmarks and smoke tests: the same
// lines, in the same order and with the same kinds of numbers, as the
// tracker writes, at any frame range and tracker count.
#pragma once

#include <cstdint>
#include <cstdio>

namespace quorvel::bench {

struct ExportShape {
    int FirstFrame = 1001;
    int LastFrame = 1100;
    long Trackers = 100;
    std::uint64_t Seed = 1;  // the same seed gives the same bytes
};

// Writes the export to Out with CR LF line ends and returns the number of
// bytes written; a write error returns -1 with errno set.
long long WriteExport(std::FILE* Out, const ExportShape& Shape);

}  // namespace quorvel::bench

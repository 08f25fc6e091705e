// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The options of a conversion that come as text: the multiplication factor
// and the number of threads.
#include "quorvel/conversion_run.h"

#include "quorvel/error.h"
#include "quorvel/text_rules.h"

#include "platform.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quorvel {

std::string FactorFault(std::string_view FactorText, std::string_view Subject)
{
    const std::string_view text = Trim(FactorText);
    const std::string quoted = std::string(Subject) + " '" + Excerpt(FactorText) + "'";
    if (text.empty())
        return std::string(Subject) + " is empty; type a number, such as 1 or 0.5";
    double factor = 0.0;
    const bool number = ReadNumber(text, factor);
    // A number beyond the largest double (1e400) reads as infinite.
    if (number && std::isinf(factor) && text.find_first_of("0123456789") != std::string_view::npos)
        return quoted + " is too large; a factor must lie between -1e308 and 1e308";
    if (!number || !std::isfinite(factor))
        return quoted + " is not a number, such as 1 or 0.5";
    // A factor too small for a double (1e-400) would put every tracker at
    // 0, 0, 0 or keep few of its digits: only a factor written as zero is zero.
    const std::string_view digits = text.substr(0, text.find_first_of("eE"));
    const bool writtenAsZero = digits.find_first_of("123456789") == std::string_view::npos;
    if ((factor == 0 && !writtenAsZero) || std::fpclassify(factor) == FP_SUBNORMAL)
        return quoted + " is too close to zero to be told from it; write 0 for zero";
    return {};
}

double ParseFactor(std::string_view FactorText)
{
    const std::string fault = FactorFault(FactorText, "the multiplication factor");
    if (!fault.empty())
        throw Error(ErrorKind::BadFactor, fault);
    double factor = 0.0;
    ReadNumber(Trim(FactorText), factor);
    return factor;
}

std::string ThreadsFault(std::string_view Text, std::string_view Subject)
{
    const bool digits = !Text.empty() && Text.find_first_not_of("0123456789") == std::string_view::npos;
    if (digits && Text.find_first_not_of('0') != std::string_view::npos)
        return {};
    return std::string(Subject) + " '" + Excerpt(Text) +
           "' is not a number of threads; give a whole number of at least 1, such as 4";
}

int ThreadsOf(std::string_view Text)
{
    int threads = 0;
    for (const char digit : Text)
        threads = std::min(threads * 10 + (digit - '0'), MaxThreads);
    return threads;
}

int ThreadsFor(const ConvertOptions& Options)
{
    if (!platform::ThreadsAvailable())
        return 1;
    int threads = Options.Threads;
    if (threads <= 0) {
        const char* const text = std::getenv("QUORVEL_THREADS");
        if (text && ThreadsFault(text, {}).empty()) {
            threads = ThreadsOf(text);
        } else {
            threads = platform::UsableProcessors();
        }
    }
    return std::clamp(threads, 1, MaxThreads);
}

}  // namespace quorvel

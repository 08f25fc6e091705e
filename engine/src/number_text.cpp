// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "quorvel/number_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>
#include <version>

namespace quorvel::number_text {

namespace {

// An unsigned integer of any size: 32-bit limbs, the lowest first, no
// leading zero limbs (zero has none). Only what exact conversion needs.
class BigNumber {
public:
    explicit BigNumber(std::uint64_t Value)
    {
        for (; Value != 0; Value >>= 32)
            limbs_.push_back(static_cast<std::uint32_t>(Value));
    }

    void MultiplyAdd(std::uint32_t Factor, std::uint32_t Addend)
    {
        std::uint64_t carry = Addend;
        for (auto& limb : limbs_) {
            const std::uint64_t x = std::uint64_t{limb} * Factor + carry;
            limb = static_cast<std::uint32_t>(x);
            carry = x >> 32;
        }
        if (carry != 0)
            limbs_.push_back(static_cast<std::uint32_t>(carry));
    }

    void MultiplyByPowerOfFive(long long Count)
    {
        static constexpr std::uint32_t Powers[] = {1,      5,       25,       125,       625,
                                                   3125,   15625,   78125,    390625,    1953125,
                                                   9765625, 48828125, 244140625, 1220703125};
        for (; Count >= 13; Count -= 13)
            MultiplyAdd(Powers[13], 0);
        MultiplyAdd(Powers[Count], 0);
    }

    void ShiftLeft(long long Bits)
    {
        if (limbs_.empty())
            return;
        const auto bits = static_cast<unsigned>(Bits % 32);
        if (bits != 0) {
            std::uint32_t carry = 0;
            for (auto& limb : limbs_) {
                const std::uint32_t next = limb >> (32 - bits);
                limb = (limb << bits) | carry;
                carry = next;
            }
            if (carry != 0)
                limbs_.push_back(carry);
        }
        limbs_.insert(limbs_.begin(), static_cast<std::size_t>(Bits / 32), 0);
    }

    // Divides in place and returns the remainder.
    std::uint32_t DivideSmall(std::uint32_t Divisor)
    {
        std::uint64_t remainder = 0;
        for (auto limb = limbs_.rbegin(); limb != limbs_.rend(); ++limb) {
            const std::uint64_t current = (remainder << 32) | *limb;
            *limb = static_cast<std::uint32_t>(current / Divisor);
            remainder = current % Divisor;
        }
        while (!limbs_.empty() && limbs_.back() == 0)
            limbs_.pop_back();
        return static_cast<std::uint32_t>(remainder);
    }

    bool IsZero() const { return limbs_.empty(); }

    friend int Compare(const BigNumber& A, const BigNumber& B)
    {
        if (A.limbs_.size() != B.limbs_.size())
            return A.limbs_.size() < B.limbs_.size() ? -1 : 1;
        for (std::size_t i = A.limbs_.size(); i-- > 0;) {
            if (A.limbs_[i] != B.limbs_[i])
                return A.limbs_[i] < B.limbs_[i] ? -1 : 1;
        }
        return 0;
    }

private:
    std::vector<std::uint32_t> limbs_;
};

// A non-negative finite double, or 2^1024 standing for the first value
// beyond the largest, as Mantissa * 2^Exponent.
struct Binary {
    std::uint64_t Mantissa;
    int Exponent;
};

Binary Decompose(double Value)
{
    if (std::isinf(Value))
        return {1, 1024};
    const std::uint64_t bits = BitsOf(Value);
    const int biased = static_cast<int>(bits >> 52);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    if (biased == 0)
        return {fraction, -1074};
    return {fraction | (std::uint64_t{1} << 52), biased - 1075};
}

// A decimal number as Digits (no leading zeros) * 10^Power.
struct Decimal {
    BigNumber Digits{0};
    long long Power = 0;
};

// Sign of Number - (Low + High) / 2, exactly, for adjacent Low < High.
int CompareWithMidpoint(const Decimal& Number, double Low, double High)
{
    const Binary low = Decompose(Low);
    const Binary high = Decompose(High);
    const int exponent = std::min(low.Exponent, high.Exponent);
    // The two differ by at most 2^54 and their exponents by at most 53.
    BigNumber midpoint((low.Mantissa << (low.Exponent - exponent)) +
                       (high.Mantissa << (high.Exponent - exponent)));
    BigNumber number = Number.Digits;
    // number * 2^Power * 5^Power against midpoint * 2^(exponent - 1).
    if (Number.Power >= 0)
        number.MultiplyByPowerOfFive(Number.Power);
    else
        midpoint.MultiplyByPowerOfFive(-Number.Power);
    const long long shift = Number.Power - (exponent - 1);
    if (shift > 0)
        number.ShiftLeft(shift);
    else
        midpoint.ShiftLeft(-shift);
    return Compare(number, midpoint);
}

// More significant digits than any midpoint between two doubles has (768):
// past them only whether anything but zeros follows can matter.
constexpr std::size_t KeptDigits = 800;

// Positive finite Value's exact decimal digits (no trailing zeros) and the
// power of ten of the first of them.
void ExactDigits(double Value, std::string& Digits, int& Exponent)
{
    const Binary binary = Decompose(Value);
    BigNumber number(binary.Mantissa);
    int fractionDigits = 0;
    if (binary.Exponent >= 0) {
        number.ShiftLeft(binary.Exponent);
    } else {
        number.MultiplyByPowerOfFive(-binary.Exponent);
        fractionDigits = -binary.Exponent;
    }
    std::string reversed;
    while (!number.IsZero()) {
        std::uint32_t chunk = number.DivideSmall(1000000000);
        for (int i = 0; i < 9; ++i, chunk /= 10)
            reversed.push_back(static_cast<char>('0' + chunk % 10));
    }
    reversed.erase(reversed.find_last_not_of('0') + 1);
    Digits.assign(reversed.rbegin(), reversed.rend());
    Exponent = static_cast<int>(Digits.size()) - 1 - fractionDigits;
    Digits.erase(Digits.find_last_not_of('0') + 1);
}

// Adds one unit in the last place of Digits, carrying into Exponent.
void Increment(std::string& Digits, int& Exponent)
{
    std::size_t i = Digits.size();
    while (i > 0 && Digits[i - 1] == '9')
        Digits[--i] = '0';
    if (i == 0) {
        Digits.insert(Digits.begin(), '1');
        Digits.pop_back();
        ++Exponent;
    } else {
        ++Digits[i - 1];
    }
}

void DropTrailingZeros(std::string& Digits)
{
    const std::size_t last = Digits.find_last_not_of('0');
    Digits.erase(last == std::string::npos ? 1 : last + 1);
}

// Exact Digits cut to Count significant digits, rounded half to even (the
// exact value is a tie only when a lone '5' follows) or, with Up given,
// rounded up or down as it says.
void RoundDigits(std::string& Digits, int& Exponent, std::size_t Count, int Up = -1)
{
    if (Digits.size() <= Count)
        return;
    bool up = Up == 1;
    if (Up < 0) {
        const char next = Digits[Count];
        up = next > '5' || (next == '5' && (Digits.size() > Count + 1 || (Digits[Count - 1] - '0') % 2 == 1));
    }
    Digits.resize(Count);
    if (up)
        Increment(Digits, Exponent);
    DropTrailingZeros(Digits);
}

char* Put(char* Out, std::string_view Text)
{
    std::memcpy(Out, Text.data(), Text.size());
    return Out + Text.size();
}

char* PutScientific(char* Out, const std::string& Digits, int Exponent)
{
    *Out++ = Digits[0];
    if (Digits.size() > 1) {
        *Out++ = '.';
        Out = Put(Out, std::string_view(Digits).substr(1));
    }
    *Out++ = 'e';
    *Out++ = Exponent < 0 ? '-' : '+';
    const int magnitude = std::abs(Exponent);
    if (magnitude < 10)
        *Out++ = '0';
    return std::to_chars(Out, Out + 4, magnitude).ptr;
}

// Digits laid out without an exponent; a whole number's missing digits are
// zeros.
char* PutFixed(char* Out, const std::string& Digits, int Exponent)
{
    const auto count = static_cast<int>(Digits.size());
    if (Exponent < 0) {
        Out = Put(Out, "0.");
        for (int i = -Exponent - 1; i > 0; --i)
            *Out++ = '0';
        return Put(Out, Digits);
    }
    const int whole = Exponent + 1;
    Out = Put(Out, std::string_view(Digits).substr(0, static_cast<std::size_t>(std::min(whole, count))));
    for (int i = count; i < whole; ++i)
        *Out++ = '0';
    if (count > whole) {
        *Out++ = '.';
        Out = Put(Out, std::string_view(Digits).substr(static_cast<std::size_t>(whole)));
    }
    return Out;
}

// The sign, and the texts of zero, infinity and NaN; nullptr for any other
// value, whose sign is then written.
char* PutSpecial(char*& Out, double Value)
{
    if (std::signbit(Value))
        *Out++ = '-';
    if (Value == 0)
        return Put(Out, "0");
    if (std::isinf(Value))
        return Put(Out, "inf");
    if (std::isnan(Value))
        return Put(Out, "nan");
    return nullptr;
}

// Whether Digits at Exponent read back as Value.
bool ReadsBackAs(const std::string& Digits, int Exponent, double Value)
{
    const std::string text = Digits + "e" + std::to_string(Exponent - static_cast<int>(Digits.size()) + 1);
    double back = 0;
    return own::ReadDouble(text, back) == std::errc() && back == Value;
}

}  // namespace

std::uint64_t BitsOf(double Value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &Value, sizeof bits);
    return bits;
}

namespace own {

std::errc ReadDouble(std::string_view Text, double& Value)
{
    Decimal number;
    std::size_t kept = 0;
    bool droppedNonZero = false;
    std::uint32_t chunk = 0;
    std::uint32_t chunkScale = 1;
    std::size_t i = 0;
    bool afterPoint = false;
    for (; i < Text.size(); ++i) {
        const char c = Text[i];
        if (c == '.') {
            afterPoint = true;
            continue;
        }
        if (c < '0' || c > '9')
            break;
        if (afterPoint)
            --number.Power;
        if (kept == 0 && c == '0')
            continue;
        if (kept == KeptDigits) {
            ++number.Power;
            droppedNonZero |= c != '0';
            continue;
        }
        ++kept;
        chunk = chunk * 10 + static_cast<std::uint32_t>(c - '0');
        chunkScale *= 10;
        if (chunkScale == 1000000000) {
            number.Digits.MultiplyAdd(chunkScale, chunk);
            chunk = 0;
            chunkScale = 1;
        }
    }
    // A digit beyond those kept stands for everything dropped, which lies
    // strictly between them and the next value they could take.
    if (droppedNonZero) {
        ++kept;
        chunk = chunk * 10 + 1;
        chunkScale *= 10;
        --number.Power;
    }
    number.Digits.MultiplyAdd(chunkScale, chunk);
    if (i < Text.size()) {
        std::size_t j = i + 1;
        const bool negative = j < Text.size() && Text[j] == '-';
        if (j < Text.size() && (Text[j] == '-' || Text[j] == '+'))
            ++j;
        long long exponent = 0;
        for (; j < Text.size(); ++j)
            exponent = std::min(exponent * 10 + (Text[j] - '0'), 1LL << 40);
        number.Power += negative ? -exponent : exponent;
    }
    if (kept == 0) {
        Value = 0.0;
        return std::errc();
    }
    // The power of ten of the first digit settles the far-off cases.
    const long long leading = number.Power + static_cast<long long>(kept) - 1;
    if (leading > 309 || leading < -325)
        return std::errc::result_out_of_range;

    // A first guess a few units in the last place off, from the leading
    // digits, then one step at a time to the double nearest the number.
    const std::size_t guessDigits = std::min<std::size_t>(kept, 17);
    double guess = 0;
    {
        std::size_t taken = 0;
        for (const char c : Text) {
            if (taken == guessDigits || c == 'e' || c == 'E')
                break;
            if (c < '0' || c > '9' || (taken == 0 && c == '0'))
                continue;
            guess = guess * 10 + (c - '0');
            ++taken;
        }
    }
    long long scale = leading - static_cast<long long>(guessDigits) + 1;
    if (scale < -290) {
        guess *= 1e-290;
        scale += 290;
    }
    guess *= std::pow(10.0, static_cast<double>(scale));
    if (!std::isfinite(guess))
        guess = std::numeric_limits<double>::max();
    const auto odd = [](double Candidate) { return (Decompose(Candidate).Mantissa & 1) != 0; };
    for (;;) {
        const double up = std::nextafter(guess, std::numeric_limits<double>::infinity());
        const int above = CompareWithMidpoint(number, guess, up);
        if (above > 0 || (above == 0 && odd(guess))) {
            if (std::isinf(up))
                return std::errc::result_out_of_range;
            guess = up;
            continue;
        }
        if (guess == 0)
            break;
        const double down = std::nextafter(guess, 0.0);
        const int below = CompareWithMidpoint(number, down, guess);
        if (below < 0 || (below == 0 && odd(guess))) {
            guess = down;
            continue;
        }
        break;
    }
    if (guess == 0)
        return std::errc::result_out_of_range;
    Value = guess;
    return std::errc();
}

char* WriteShortest(char* Out, double Value)
{
    if (char* special = PutSpecial(Out, Value))
        return special;
    std::string exact;
    int exponent = 0;
    ExactDigits(std::fabs(Value), exact, exponent);
    // The fewest digits that read back; of two such, the nearer (a tie
    // goes to the even one), which rounding half to even tries first.
    std::string digits;
    bool found = false;
    for (std::size_t count = 1; !found; ++count) {
        for (const int up : {-1, 0, 1}) {
            digits = exact;
            int at = exponent;
            RoundDigits(digits, at, count, up);
            if (ReadsBackAs(digits, at, std::fabs(Value))) {
                exponent = at;
                found = true;
                break;
            }
        }
    }
    const auto n = static_cast<int>(digits.size());
    const int magnitude = std::abs(exponent);
    const int scientific = n + (n > 1 ? 1 : 0) + 2 + (magnitude >= 100 ? 3 : 2);
    const int fixed = exponent >= 0 ? std::max(n, exponent + 1) + (n > exponent + 1 ? 1 : 0)
                                    : 2 + (-exponent - 1) + n;
    if (fixed > scientific)
        return PutScientific(Out, digits, exponent);
    // A whole number beyond the digits that read back is written exactly.
    if (exponent + 1 > n)
        digits = exact;
    return PutFixed(Out, digits, exponent);
}

char* WriteGeneral(char* Out, double Value, int Precision)
{
    if (char* special = PutSpecial(Out, Value))
        return special;
    std::string digits;
    int exponent = 0;
    ExactDigits(std::fabs(Value), digits, exponent);
    RoundDigits(digits, exponent, static_cast<std::size_t>(Precision));
    if (exponent < -4 || exponent >= Precision)
        return PutScientific(Out, digits, exponent);
    return PutFixed(Out, digits, exponent);
}

}  // namespace own

// The standard library's functions where it has floating-point <charconv>
// (its feature macro says so), the engine's own elsewhere.
#if defined(__cpp_lib_to_chars)

bool StandardFunctionsInUse() { return true; }

std::errc ReadDouble(std::string_view Text, double& Value)
{
    return std::from_chars(Text.data(), Text.data() + Text.size(), Value).ec;
}

char* WriteShortest(char* Out, double Value) { return std::to_chars(Out, Out + TextMax, Value).ptr; }

char* WriteGeneral(char* Out, double Value, int Precision)
{
    return std::to_chars(Out, Out + TextMax, Value, std::chars_format::general, Precision).ptr;
}

#else

bool StandardFunctionsInUse() { return false; }

std::errc ReadDouble(std::string_view Text, double& Value) { return own::ReadDouble(Text, Value); }

char* WriteShortest(char* Out, double Value) { return own::WriteShortest(Out, Value); }

char* WriteGeneral(char* Out, double Value, int Precision) { return own::WriteGeneral(Out, Value, Precision); }

#endif

}  // namespace quorvel::number_text

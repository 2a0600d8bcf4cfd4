// The text is read into its exact value, significand x 2^twos x 5^fives, with big whole
// numbers (common/big_number.h). The nearest binary number is then found in two steps:
// a long division gives the value's first 63 or 64 bits, which is at most one unit
// below it; exact comparisons with the points halfway between neighbouring binary
// numbers then settle the rounding. A halfway point is an exact binary fraction, so
// comparing the value with one is a comparison of two whole numbers.
#include "common/real_number_parse.h"

#include <algorithm>
#include <cmath>

#include "common/big_number.h"

namespace qm {

namespace {

// Significant decimal digits kept. A halfway point between two neighbours of 64 bits or
// fewer, from 10^-325 up, has at most 821 significant digits, so a text's value and the
// value of its first 850 digits lie on the same side of every halfway point, unless
// the first 850 are exactly one: the rest then decide, and `dropped` says whether any
// of them was not zero.
constexpr int kKeptDecimalDigits = 850;
// Hexadecimal digits kept: 20 hold at least 77 significant bits, more than the 65 of a
// halfway point, for the same reason.
constexpr int kKeptHexDigits = 20;
// Exponents in the text stop growing here: far beyond any double, and far below the
// limits of the 64-bit arithmetic that adds them to the digits' own scale.
constexpr int64_t kExponentLimit = int64_t{1} << 60;

// A number read from text: significand x 2^twos x 5^fives, a little more when digits
// beyond those kept were dropped and not all of them were zero.
struct ExactNumber {
    BigNumber significand;
    bool dropped = false;
    int twos = 0;
    int fives = 0;
    bool tooLarge = false;  // beyond the range of doubles: 10^309 (2^1024) or more
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexDigitValue(char c) {
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The exponent after "e" or "p": a sign and at least one decimal digit, to the end of
// the text.
std::optional<int64_t> ReadExponent(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    int64_t exponent = 0;
    for (char c : text) {
        if (!IsDigit(c))
            return std::nullopt;
        // Past the limit the value is zero or infinite whatever further digits say, and
        // the next multiplication could overflow.
        exponent = exponent > kExponentLimit / 10 ? kExponentLimit
                                                  : std::min(exponent * 10 + (c - '0'), kExponentLimit);
    }
    return negative ? -exponent : exponent;
}

// Digits in base 10 or 16 with at most one point among them and at least one digit,
// then an optional exponent after `exponentLetter` (either case). The value is
// significand x base^pointShift x (10 or 2)^exponent, the significand made of the first
// `keptDigits` significant digits (`kept` of them; none for zero).
struct DigitsRead {
    BigNumber significand;
    int kept = 0;
    bool dropped = false;
    int64_t pointShift = 0;
    int64_t exponent = 0;
};

std::optional<DigitsRead> ReadDigits(std::string_view text, int base, int keptDigits, char exponentLetter) {
    DigitsRead read;
    int& kept = read.kept;
    bool anyDigit = false;
    bool afterPoint = false;
    size_t pos = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '.' && !afterPoint) {
            afterPoint = true;
            continue;
        }
        const int digit = base == 16 ? HexDigitValue(c) : (IsDigit(c) ? c - '0' : -1);
        if (digit < 0)
            break;
        anyDigit = true;
        if (kept == 0 && digit == 0) {  // a leading zero: only moves the point
            if (afterPoint)
                --read.pointShift;
            continue;
        }
        if (kept < keptDigits) {
            read.significand.MultiplyBy(static_cast<uint32_t>(base));
            read.significand.Add(static_cast<uint32_t>(digit));
            ++kept;
            if (afterPoint)
                --read.pointShift;
        } else {
            read.dropped |= digit != 0;
            if (!afterPoint)
                ++read.pointShift;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    if (pos < text.size()) {
        if (text[pos] != exponentLetter && text[pos] != exponentLetter - 'a' + 'A')
            return std::nullopt;
        const std::optional<int64_t> exponent = ReadExponent(text.substr(pos + 1));
        if (!exponent)
            return std::nullopt;
        read.exponent = *exponent;
    }
    return read;
}

// A decimal number: "12", "3.5", ".5", "5.", "1.25e-3".
std::optional<ExactNumber> ReadDecimal(std::string_view text) {
    std::optional<DigitsRead> read = ReadDigits(text, 10, kKeptDecimalDigits, 'e');
    if (!read)
        return std::nullopt;
    ExactNumber number;
    // The value lies in [10^(top-1), 10^top). 10^309 is above the largest double; below
    // 10^-325 lies far under half the smallest.
    const int64_t powerOfTen = read->pointShift + read->exponent;
    const int64_t top = read->kept + powerOfTen;
    if (read->kept == 0 || top < -325)
        return number;  // zero
    if (top > 309) {
        number.tooLarge = true;
        return number;
    }
    number.significand = read->significand;
    number.dropped = read->dropped;
    number.twos = number.fives = static_cast<int>(powerOfTen);
    return number;
}

// What follows "0x": a hexadecimal significand and an optional binary exponent,
// "1A", "1.8p3", ".8", "1P-2".
std::optional<ExactNumber> ReadHexadecimal(std::string_view text) {
    std::optional<DigitsRead> read = ReadDigits(text, 16, kKeptHexDigits, 'p');
    if (!read)
        return std::nullopt;
    ExactNumber number;
    // The value lies in [2^(top-1), 2^top). 2^1024 is above the largest double; below
    // 2^-1079 lies far under half the smallest.
    const int64_t powerOfTwo = 4 * read->pointShift + read->exponent;
    const int64_t top = read->significand.BitLength() + powerOfTwo;
    if (read->kept == 0 || top < -1079)
        return number;  // zero
    if (top > 1024) {
        number.tooLarge = true;
        return number;
    }
    number.significand = read->significand;
    number.dropped = read->dropped;
    number.twos = static_cast<int>(powerOfTwo);
    return number;
}

// The text's sign and exact value, or nothing when it is not a number.
std::optional<ExactNumber> ReadNumber(std::string_view text, bool& negative) {
    negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    const bool hexadecimal = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    return hexadecimal ? ReadHexadecimal(text.substr(2)) : ReadDecimal(text);
}

// The number as a fraction of two whole numbers times a power of two:
// numerator / denominator x 2^twos (the dropped digits aside).
struct Fraction {
    BigNumber numerator;
    BigNumber denominator;
    int twos = 0;
};

Fraction AsFraction(const ExactNumber& number) {
    Fraction f{number.significand, BigNumber(1), number.twos};
    if (number.fives >= 0)
        f.numerator.MultiplyByPowerOfFive(number.fives);
    else
        f.denominator.MultiplyByPowerOfFive(-number.fives);
    return f;
}

// The number's first 63 or 64 bits: q x 2^exponent with 2^62 <= q < 2^64, no more than
// the number and less than one unit (2^exponent) below it.
struct Truncated {
    uint64_t q = 0;
    int exponent = 0;
};

Truncated FirstBits(const ExactNumber& number) {
    Fraction f = AsFraction(number);
    // numerator / denominator lies in (2^(n-d-1), 2^(n-d+1)) for bit lengths n and d;
    // scaled by 2^shift it lies in (2^62, 2^64).
    const int shift = 63 - (f.numerator.BitLength() - f.denominator.BitLength());
    if (shift >= 0)
        f.numerator.MultiplyByPowerOfTwo(shift);
    else
        f.denominator.MultiplyByPowerOfTwo(-shift);
    // Long division, one quotient bit at a time.
    Truncated t{0, f.twos - shift};
    for (int bit = 63; bit >= 0; --bit) {
        BigNumber step = f.denominator;
        step.MultiplyByPowerOfTwo(bit);
        if (Compare(f.numerator, step) >= 0) {
            f.numerator.Subtract(step);
            t.q |= uint64_t{1} << bit;
        }
    }
    return t;
}

// A binary number format: `precision` significant bits, at most `maxExponent` as the
// exponent of the last one, and down to `minExponent` where the numbers below the
// smallest normal one (subnormals) have fewer significant bits.
struct BinaryFormat {
    int precision;
    int minExponent;
    int maxExponent;
};

constexpr BinaryFormat kDouble{53, -1074, 971};
// The x87's extended precision, as MinGW's and glibc's long double on x86.
constexpr BinaryFormat kExtended{64, -16445, 16320};

// A non-negative number of a format: significand x 2^exponent, the significand with
// exactly `precision` bits, or fewer at the smallest exponent. Past the largest number
// comes 2^(maxExponent + precision), where rounding to nearest turns to infinity.
struct BinaryValue {
    uint64_t significand = 0;
    int exponent = 0;
};

uint64_t SmallestFullSignificand(const BinaryFormat& format) {
    return uint64_t{1} << (format.precision - 1);
}

uint64_t LargestSignificand(const BinaryFormat& format) {
    return SmallestFullSignificand(format) | (SmallestFullSignificand(format) - 1);
}

BinaryValue Next(BinaryValue v, const BinaryFormat& format) {
    if (v.significand == LargestSignificand(format)) {  // one bit more: one exponent up
        v.significand = SmallestFullSignificand(format);
        ++v.exponent;
    } else {
        ++v.significand;
    }
    return v;
}

// The number's first bits cut or widened to the format: never above the number, and at
// most two units below it.
BinaryValue Truncate(const ExactNumber& number, const BinaryFormat& format) {
    const Truncated t = FirstBits(number);
    const int bits = (t.q >> 63) != 0 ? 64 : 63;
    int drop = bits - format.precision;
    if (t.exponent + drop < format.minExponent)  // a subnormal: fewer bits
        drop = format.minExponent - t.exponent;
    BinaryValue v;
    if (drop < 0)  // 63 bits for a format of 64: one zero bit more
        v = {t.q << -drop, t.exponent + drop};
    else
        v = {drop < 64 ? t.q >> drop : 0, t.exponent + drop};
    if (v.exponent > format.maxExponent)  // beyond the largest: past it
        v = Next(BinaryValue{LargestSignificand(format), format.maxExponent}, format);
    return v;
}

// -1, 0 or 1 as the number is below, at or above n x 2^power, compared exactly: both
// sides are multiplied by what makes them whole numbers.
int CompareWith(const ExactNumber& number, BigNumber n, int power) {
    BigNumber left = number.significand;
    if (number.fives >= 0)
        left.MultiplyByPowerOfFive(number.fives);
    else
        n.MultiplyByPowerOfFive(-number.fives);
    const int twos = number.twos - power;
    if (twos >= 0)
        left.MultiplyByPowerOfTwo(twos);
    else
        n.MultiplyByPowerOfTwo(-twos);
    const int order = Compare(left, n);
    return order == 0 && number.dropped ? 1 : order;
}

// Whether the number rounds to the number of the format after v rather than to v: it
// lies above the point halfway between them, or on it and v is the odd one of the two
// (ties go to the even significand). The gap above v is always one unit of v's exponent,
// so halfway is (2 x significand + 1) x 2^(exponent - 1).
bool RoundsAbove(const ExactNumber& number, BinaryValue v) {
    BigNumber halfway(v.significand);
    halfway.MultiplyBy(2);
    halfway.Add(1);
    const int order = CompareWith(number, halfway, v.exponent - 1);
    return order > 0 || (order == 0 && (v.significand & 1) != 0);
}

// The number of the format nearest to the number; nothing when that is infinity. From
// the truncated value, a few units below at most, the search steps up while the
// number rounds above.
std::optional<BinaryValue> Nearest(const ExactNumber& number, const BinaryFormat& format) {
    if (number.tooLarge)
        return std::nullopt;
    if (number.significand.IsZero())
        return BinaryValue{0, format.minExponent};
    BinaryValue v = Truncate(number, format);
    while (v.exponent <= format.maxExponent && RoundsAbove(number, v))
        v = Next(v, format);
    if (v.exponent > format.maxExponent)
        return std::nullopt;
    return v;
}

}  // namespace

std::optional<double> ParseRealNumber(std::string_view text) {
    bool negative = false;
    const std::optional<ExactNumber> number = ReadNumber(text, negative);
    if (!number)
        return std::nullopt;
    const std::optional<BinaryValue> nearest = Nearest(*number, kDouble);
    if (!nearest)
        return std::nullopt;
    // Exact: the significand and exponent are those of a double.
    const double magnitude = std::ldexp(static_cast<double>(nearest->significand), nearest->exponent);
    return negative ? -magnitude : magnitude;
}

std::optional<ExtendedNumber> ParseNumberToExtendedPrecision(std::string_view text) {
    bool negative = false;
    const std::optional<ExactNumber> number = ReadNumber(text, negative);
    if (!number)
        return std::nullopt;
    const std::optional<BinaryValue> nearest = Nearest(*number, kExtended);
    if (!nearest)
        return std::nullopt;
    return ExtendedNumber{nearest->significand, nearest->exponent, negative};
}

}  // namespace qm

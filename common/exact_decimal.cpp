// |v| = m x 2^e. For e >= 0 the digits are those of the integer m x 2^e; for e < 0,
// m x 2^e = m x 5^-e / 10^-e, so the digits are those of the integer m x 5^-e and only
// the exponent moves. The integers have at most about 2,550 bits.
#include "common/exact_decimal.h"

#include <cstdint>
#include <cstring>

#include "common/big_number.h"

namespace qm {

namespace {

constexpr uint32_t kChunk = 1000000000;  // 10^9: one division yields nine digits
// 2^53 x 5^1074, the largest product, has 767 digits: 86 chunks of nine.
constexpr size_t kMaxDigits = 86 * 9;

}  // namespace

void ExactDecimalDigits(double v, std::string& digits, int& exponent) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    const int biasedExponent = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
    int binaryExponent = -1074;  // subnormals: m x 2^-1074
    if (biasedExponent != 0) {
        mantissa |= uint64_t{1} << 52;
        binaryExponent = biasedExponent - 1075;
    }

    BigNumber number(mantissa);
    int decimalShift = 0;  // |v| = number x 10^decimalShift
    if (binaryExponent >= 0) {
        number.MultiplyByPowerOfTwo(binaryExponent);
    } else {
        number.MultiplyByPowerOfFive(-binaryExponent);
        decimalShift = binaryExponent;
    }

    // Nine digits at a time from the low end; the buffer is filled from the back.
    char buffer[kMaxDigits];
    char* end = buffer + sizeof buffer;
    char* first = end;
    while (!number.IsZero()) {
        uint32_t chunk = number.DivideBy(kChunk);
        for (int k = 0; k < 9; ++k) {
            *--first = static_cast<char>('0' + chunk % 10);
            chunk /= 10;
        }
    }
    while (first < end && *first == '0') ++first;
    const int count = static_cast<int>(end - first);
    while (end > first && end[-1] == '0') --end;
    digits.assign(first, end);
    exponent = count + decimalShift;
}

}  // namespace qm

// |v| = m x 2^e. For e >= 0 the digits are those of the integer m x 2^e; for e < 0,
// m x 2^e = m x 5^-e / 10^-e, so the digits are those of the integer m x 5^-e and only
// the exponent moves. The integers have at most about 2,550 bits.
#include "controls/exact_decimal.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace qm {

namespace {

// 2^1023 x 2^53 needs 34 limbs of 32 bits, 2^53 x 5^1074 needs 80.
constexpr size_t kLimbs = 84;
constexpr uint32_t kChunk = 1000000000;  // 10^9: one division yields nine digits

struct BigNumber {
    std::array<uint32_t, kLimbs> limb{};  // least significant first
    size_t used = 0;

    void MultiplyBy(uint32_t factor) {
        uint64_t carry = 0;
        for (size_t i = 0; i < used; ++i) {
            const uint64_t product = static_cast<uint64_t>(limb[i]) * factor + carry;
            limb[i] = static_cast<uint32_t>(product);
            carry = product >> 32;
        }
        if (carry != 0) limb[used++] = static_cast<uint32_t>(carry);
    }

    // Divides in place and returns the remainder.
    uint32_t DivideBy(uint32_t divisor) {
        uint64_t remainder = 0;
        for (size_t i = used; i-- > 0;) {
            const uint64_t current = (remainder << 32) | limb[i];
            limb[i] = static_cast<uint32_t>(current / divisor);
            remainder = current % divisor;
        }
        while (used > 0 && limb[used - 1] == 0) --used;
        return static_cast<uint32_t>(remainder);
    }
};

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

    BigNumber number;
    number.limb[0] = static_cast<uint32_t>(mantissa);
    number.limb[1] = static_cast<uint32_t>(mantissa >> 32);
    number.used = number.limb[1] != 0 ? 2 : 1;
    int decimalShift = 0;  // |v| = number x 10^decimalShift
    if (binaryExponent >= 0) {
        for (int k = binaryExponent; k > 0; k -= 31) number.MultiplyBy(uint32_t{1} << std::min(k, 31));
    } else {
        constexpr uint32_t kFivePow13 = 1220703125;
        int k = -binaryExponent;
        decimalShift = binaryExponent;
        for (; k >= 13; k -= 13) number.MultiplyBy(kFivePow13);
        uint32_t rest = 1;
        for (; k > 0; --k) rest *= 5;
        number.MultiplyBy(rest);
    }

    // Nine digits at a time from the low end; the buffer is filled from the back.
    char buffer[kLimbs * 10 + 9];
    char* end = buffer + sizeof buffer;
    char* first = end;
    while (number.used > 0) {
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

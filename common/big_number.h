// A non-negative whole number of up to a few thousand bits: enough for the exact value
// of any double (m x 2^e or m x 5^k) and for the exact comparisons of decimal text with
// doubles. The number text conversions use it instead of the C library's converters,
// whose tables and big-number code would add tens of kilobytes to each program.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qm {

class BigNumber {
  public:
    // 5,120 bits: the largest numbers the conversions form (an 850-digit, 2,824-bit
    // significand times 5^1175 or shifted by some hundred bits) fit with room to spare.
    static constexpr size_t kLimbs = 160;

    BigNumber() = default;
    explicit BigNumber(uint64_t value);

    bool IsZero() const { return used_ == 0; }
    // The number of bits up to the highest set one (0 for zero).
    int BitLength() const;

    void MultiplyBy(uint32_t factor);
    void Add(uint32_t addend);
    void MultiplyByPowerOfFive(int exponent);
    void MultiplyByPowerOfTwo(int exponent);
    // Divides in place and returns the remainder.
    uint32_t DivideBy(uint32_t divisor);
    // Subtracts a number no larger than this one.
    void Subtract(const BigNumber& smaller);

    // -1, 0 or 1 as a is less than, equal to or greater than b.
    friend int Compare(const BigNumber& a, const BigNumber& b);

  private:
    // Appends a most significant limb. Past the capacity, which the conversions' bounds
    // never reach, the program stops rather than write beyond the array.
    void Push(uint32_t limb);
    void Grow(size_t limbs);

    std::array<uint32_t, kLimbs> limb_{};  // least significant first
    size_t used_ = 0;                      // limbs in use; the top one is never zero
};

}  // namespace qm

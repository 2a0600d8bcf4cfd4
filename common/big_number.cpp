#include "common/big_number.h"

#include <algorithm>
#include <cstdlib>

namespace qm {

BigNumber::BigNumber(uint64_t value) {
    if (value != 0)
        Push(static_cast<uint32_t>(value));
    if ((value >> 32) != 0)
        Push(static_cast<uint32_t>(value >> 32));
}

// std::abort rather than an exception: the standard exceptions would bring the
// library's old string code along (20 KB) for a case that never happens.
void BigNumber::Grow(size_t limbs) {
    if (limbs > kLimbs - used_)
        std::abort();
    used_ += limbs;
}

void BigNumber::Push(uint32_t limb) {
    Grow(1);
    limb_[used_ - 1] = limb;
}

void BigNumber::MultiplyBy(uint32_t factor) {
    uint64_t carry = 0;
    for (size_t i = 0; i < used_; ++i) {
        const uint64_t product = static_cast<uint64_t>(limb_[i]) * factor + carry;
        limb_[i] = static_cast<uint32_t>(product);
        carry = product >> 32;
    }
    if (factor == 0)
        used_ = 0;
    else if (carry != 0)
        Push(static_cast<uint32_t>(carry));
}

void BigNumber::Add(uint32_t addend) {
    uint64_t carry = addend;
    for (size_t i = 0; i < used_ && carry != 0; ++i) {
        const uint64_t sum = static_cast<uint64_t>(limb_[i]) + carry;
        limb_[i] = static_cast<uint32_t>(sum);
        carry = sum >> 32;
    }
    if (carry != 0)
        Push(static_cast<uint32_t>(carry));
}

void BigNumber::MultiplyByPowerOfFive(int exponent) {
    constexpr uint32_t kFivePow13 = 1220703125;  // the largest power of five in 32 bits
    for (; exponent >= 13; exponent -= 13)
        MultiplyBy(kFivePow13);
    uint32_t rest = 1;
    for (; exponent > 0; --exponent)
        rest *= 5;
    MultiplyBy(rest);
}

void BigNumber::MultiplyByPowerOfTwo(int exponent) {
    if (used_ == 0 || exponent <= 0)
        return;
    const size_t wholeLimbs = static_cast<size_t>(exponent) / 32;
    const int bits = exponent % 32;
    // Whole limbs first, by moving the limbs up; then the remaining bits, with a carry.
    const size_t oldUsed = used_;
    Grow(wholeLimbs);
    std::copy_backward(limb_.begin(), limb_.begin() + oldUsed, limb_.begin() + used_);
    std::fill(limb_.begin(), limb_.begin() + wholeLimbs, 0u);
    if (bits != 0)
        MultiplyBy(uint32_t{1} << bits);
}

uint32_t BigNumber::DivideBy(uint32_t divisor) {
    uint64_t remainder = 0;
    for (size_t i = used_; i-- > 0;) {
        const uint64_t current = (remainder << 32) | limb_[i];
        limb_[i] = static_cast<uint32_t>(current / divisor);
        remainder = current % divisor;
    }
    while (used_ > 0 && limb_[used_ - 1] == 0)
        --used_;
    return static_cast<uint32_t>(remainder);
}

void BigNumber::Subtract(const BigNumber& smaller) {
    int64_t borrow = 0;
    for (size_t i = 0; i < used_; ++i) {
        const int64_t difference = static_cast<int64_t>(limb_[i]) - (i < smaller.used_ ? smaller.limb_[i] : 0) - borrow;
        borrow = difference < 0 ? 1 : 0;
        limb_[i] = static_cast<uint32_t>(difference + (borrow << 32));
    }
    while (used_ > 0 && limb_[used_ - 1] == 0)
        --used_;
}

int BigNumber::BitLength() const {
    if (used_ == 0)
        return 0;
    int bits = static_cast<int>(used_ - 1) * 32;
    for (uint32_t top = limb_[used_ - 1]; top != 0; top >>= 1)
        ++bits;
    return bits;
}

int Compare(const BigNumber& a, const BigNumber& b) {
    if (a.used_ != b.used_)
        return a.used_ < b.used_ ? -1 : 1;
    for (size_t i = a.used_; i-- > 0;) {
        if (a.limb_[i] != b.limb_[i])
            return a.limb_[i] < b.limb_[i] ? -1 : 1;
    }
    return 0;
}

}  // namespace qm

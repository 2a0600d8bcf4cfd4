// Turns a fuzzer's input bytes into the values a fuzz target needs: small numbers in
// a range, raw 32- and 64-bit numbers, doubles, flags and texts. An exhausted input
// reads as zeros, so every input, the empty one included, decodes to something.
// Portable on purpose: the regression cases replay the same decoding in the normal
// unit tests, natively and under Wine, where the fuzzer's own headers do not exist.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace qm::fuzz {

class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit ByteReader(std::string_view bytes)
        : data_(reinterpret_cast<const uint8_t*>(bytes.data())), size_(bytes.size()) {}

    bool Empty() const { return pos_ >= size_; }
    size_t Remaining() const { return size_ - pos_; }

    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    bool Bool() { return (Byte() & 1) != 0; }

    uint16_t U16() {
        const uint16_t low = Byte();  // two statements: the order of the reads is fixed
        return static_cast<uint16_t>(low | (Byte() << 8));
    }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(Byte()) << (8 * i);
        return v;
    }
    uint64_t U64() {
        uint64_t low = U32();
        return low | (static_cast<uint64_t>(U32()) << 32);
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    int16_t I16() { return static_cast<int16_t>(U16()); }

    // A number in [low, high], both included; high must not be below low.
    int64_t InRange(int64_t low, int64_t high) {
        const uint64_t span = static_cast<uint64_t>(high) - static_cast<uint64_t>(low);
        uint64_t raw = span <= 0xFF ? Byte() : span <= 0xFFFF ? U16() : span <= 0xFFFFFFFFu ? U32() : U64();
        if (span != UINT64_MAX)
            raw %= span + 1;
        return static_cast<int64_t>(static_cast<uint64_t>(low) + raw);
    }

    // Any bit pattern, NaNs and infinities included.
    double RawDouble() {
        const uint64_t bits = U64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }

    // A text of at most maxLength bytes, its length taken from the input first.
    std::string Text(size_t maxLength) {
        size_t length = static_cast<size_t>(InRange(0, static_cast<int64_t>(maxLength)));
        if (length > Remaining())
            length = Remaining();
        std::string s(reinterpret_cast<const char*>(data_ + pos_), length);
        pos_ += length;
        return s;
    }

    // Everything not read yet.
    std::string Rest() {
        std::string s(reinterpret_cast<const char*>(data_ + pos_), Remaining());
        pos_ = size_;
        return s;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace qm::fuzz

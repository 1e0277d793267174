// fuzz_input.h --
//
//     Reads a libFuzzer input as a stream of small decisions, so that each
//     target can turn bytes into operations. Reading past the end yields
//     zeros, which every target treats as "stop".

#pragma once

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string_view>

namespace kelbfuzz {

class Input {
public:
    Input(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }

    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    // A number below n (n > 0).
    unsigned Below(unsigned n) { return Byte() % n; }

    // The next `length` bytes (fewer at the end) as text.
    std::string_view Text(std::size_t length) {
        length = std::min(length, size_ - std::min(pos_, size_));
        std::string_view text(reinterpret_cast<const char *>(data_ + pos_), length);
        pos_ += length;
        return text;
    }

    // A double: mostly small integers, sometimes a special value or any
    // bit pattern at all.
    double Double() {
        static constexpr double kSpecial[] = {
            0.0, -0.0, 1.0, -1.0, 0.5, 1e308, -1e308, 4.9e-324, 2.2250738585072014e-308,
            __builtin_inf(), -__builtin_inf(), __builtin_nan(""), 1e-300, 3.0, 1e154,
        };
        const std::uint8_t b = Byte();
        if (b < 160) return static_cast<double>(static_cast<int>(b % 19) - 9);
        if (b < 240) return kSpecial[b % (sizeof kSpecial / sizeof kSpecial[0])];
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = bits << 8 | Byte();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace kelbfuzz

// tree_address.cpp --
//
//     The address tokenizer and the reading of node identities.

#include "tree/tree_address.h"

#include <algorithm>

namespace kelb {

namespace {

// What each byte does in an address: 0 for a name character, else what
// TreeNextToken returns when it meets it (kTokenError: illegal).
struct ByteClasses {
    signed char of[256];
    constexpr ByteClasses() : of() {
        for (int c = 0; c < 256; ++c) of[c] = (c < 0x20 || c > 0x7E) ? kTokenError : 0;
        for (int c : {'\0', '\t', '\n', '\r', ' '}) of[c] = kTokenEnd;
        of[static_cast<int>('/')] = kTokenSlash;
        of[static_cast<int>('.')] = kTokenDot;
    }
};
constexpr ByteClasses kByteClasses;

int HexDigit(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsScanfSpace(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int TreeNextToken(std::string_view address, std::string_view &token, std::int64_t &position,
                  TreeError &error) {
    if (position < -1) position = -1;
    const std::int64_t start = position + 1;
    const auto length = static_cast<std::int64_t>(address.size());
    // At most kTreeMaxName name characters, then the one that ends the name.
    const std::int64_t last = std::min(length, start + static_cast<std::int64_t>(kTreeMaxName) + 1);
    for (position = start; position < last; ++position) {
        const int end = kByteClasses.of[static_cast<unsigned char>(address[static_cast<std::size_t>(position)])];
        if (end == 0) continue;
        if (end == kTokenError) {
            TreeSetError(error, kTreeIllegalCharacter, {});
            return kTokenError;
        }
        token = address.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(position - start));
        return end;
    }
    if (position - start <= static_cast<std::int64_t>(kTreeMaxName)) {
        // The address ended within the name.
        position = length;
        const auto from = static_cast<std::size_t>(start < length ? start : length);
        token = address.substr(from, static_cast<std::size_t>(length) - from);
        return kTokenEnd;
    }
    TreeSetError(error, kTreeBadToken, address);
    return kTokenError;
}

bool TreeParseIdentity(std::string_view text, NodeId &id) noexcept {
    std::size_t i = 0;
    while (i < text.size() && IsScanfSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        HexDigit(text[i + 2]) >= 0) {
        i += 2;
    }
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && HexDigit(text[i]) >= 0; ++i, ++digits) {
        value = (value << 4) | static_cast<std::uint64_t>(HexDigit(text[i]));
        if (value > 0xFFFFFFFFull) return false;
    }
    if (digits == 0) return false;
    id = static_cast<NodeId>(negative ? (0 - value) & 0xFFFFFFFFull : value);
    return true;
}

bool TreeCheckAddress(std::string_view address, TreeError &error) {
    if (TreeAddressAt(address, 0) != '/') {
        TreeSetError(error, kTreeBadAddress, address);
        return false;
    }
    const char second = TreeAddressAt(address, 1);
    if (second == '#' || second == '\0') return true;
    std::int64_t position = 0;
    std::string_view token;
    for (;;) {
        const int end = TreeNextToken(address, token, position, error);
        if (end == kTokenError) return false;
        if (end == kTokenEnd) return true;
    }
}

}  // namespace kelb

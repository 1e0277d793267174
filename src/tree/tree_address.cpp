// tree_address.cpp --
//
//     The address tokenizer and the reading of node identities.

#include "tree/tree_address.h"

namespace kelb {

namespace {

bool EndsAddress(char c) noexcept {
    return c == '\0' || c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

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
    for (std::size_t count = 0; count <= kTreeMaxName; ++count) {
        ++position;
        if (position >= length) {
            position = length;
            token = address.substr(static_cast<std::size_t>(start < length ? start : length), count);
            return kTokenEnd;
        }
        const char c = address[static_cast<std::size_t>(position)];
        const auto byte = static_cast<unsigned char>(c);
        int end = 0;
        if (EndsAddress(c)) {
            end = kTokenEnd;
        } else if (c == '/') {
            end = kTokenSlash;
        } else if (c == '.') {
            end = kTokenDot;
        } else if (byte < 0x20 || byte > 0x7E) {
            TreeSetError(error, kTreeIllegalCharacter, {});
            return kTokenError;
        }
        if (end != 0) {
            token = address.substr(static_cast<std::size_t>(start), count);
            return end;
        }
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

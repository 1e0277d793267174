// tree_address.h --
//
//     The address syntax of the tree store. An address begins with "/";
//     then come names, each preceded by "/" (an i-child) or "." (a
//     j-child). "/#" followed by hexadecimal digits names a node by
//     identity. An address ends at its length or at the first NUL, tab,
//     line feed, carriage return or blank.

#pragma once

#include <cstdint>
#include <string_view>

#include "tree/tree_error.h"
#include "tree/tree_node.h"

namespace kelb {

// What ended a name read by TreeNextToken.
enum TreeTokenEnd : int {
    kTokenError = -1,
    kTokenSlash = 1,  // "/" follows: the next name is an i-child
    kTokenDot = 2,    // "." follows: the next name is a j-child
    kTokenEnd = 5,    // the address ends after the name
};

// The character at index i, or NUL beyond the end (addresses behave as if
// NUL-terminated at their length).
inline char TreeAddressAt(std::string_view address, std::int64_t i) noexcept {
    return i >= 0 && static_cast<std::uint64_t>(i) < address.size() ? address[i] : '\0';
}

// Reads the name that follows the separator at `position` (an index
// below -1 counts as -1, so nothing before the address is ever read).
// On return `token` views the name inside `address` and `position` is the
// index of the character that ended it. A character below 0x20 other than
// the four that end an address, or above 0x7E, is error 11; a 32nd name
// character is error 5 with the whole address. Returns a TreeTokenEnd.
int TreeNextToken(std::string_view address, std::string_view &token, std::int64_t &position,
                  TreeError &error);

// Reads an identity the way the format "%x" does (leading blanks, a
// sign, an optional "0x", hexadecimal digits; the rest is ignored).
// Returns false when there are no digits or the number does not fit
// 32 bits; such a text names no node.
bool TreeParseIdentity(std::string_view text, NodeId &id) noexcept;

// Whether the whole address reads without error ("/" first, every name
// legal); sets the error otherwise. Identity addresses are not checked
// beyond their "/#" prefix.
bool TreeCheckAddress(std::string_view address, TreeError &error);

}  // namespace kelb

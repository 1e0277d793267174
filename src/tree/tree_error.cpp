// tree_error.cpp --
//
//     The error table of the tree store.

#include "tree/tree_error.h"

namespace kelb {

// Indexed by code. The spellings are the store's own and scripts match
// on them, so they stay exactly as they are.
const TreeCondition kTreeConditions[kTreeErrorCount] = {
    // No error; never reported.
    {"", "UNKNOWN"},
    // A code outside this table; never raised by the store itself.
    {"Unknown Error: ", "UNKNOWN"},
    // A lookup that does not create met a missing name; rm of any address
    // that finds no node. Detail: the address.
    {"Node Not Found: ", "NODE_NOT_FOUND"},
    // cp, ln or mv onto a node that exists. Detail: the destination.
    {"Node Already Exists: ", "NODE_EXISTS"},
    // An address without its leading "/", an identity word without "/#",
    // or a copy or move that would land inside its own source. Detail:
    // the word.
    {"Bad Address: ", "BAD_ADDRESS"},
    // A name of 32 or more characters. Detail: the whole address.
    {"Bad Token: ", "BAD_TOKEN"},
    // rm of "/", or "/" as the source of cp, ln or mv.
    {"Bad Root Operation", "BAD_ROOT"},
    // An identity that names no live node. Detail: the word.
    {"Invalid Record Number: ", "INVALID_RECORD"},
    // qenutil import.
    {"Unimplimented Command", "UNIMPLEMENTED"},
    // A node without value used as a variable. Detail: the name.
    {"Not a Tcl Variable: ", "NOT_VARIABLE"},
    // A copy that links would make far larger than the tree. Detail: the
    // destination.
    {"Memory Error", "MEMORY"},
    // A control character, DEL or a byte above 0x7E in an address.
    {"Illegal Character in Address", "ILLEGAL_CHARACTER"},
    // A load in a thread other than the one that owns the store.
    {"the tree store is in use by another thread", "THREAD"},
};

namespace {

int ClampCode(int code) noexcept {
    return code < 0 || code >= kTreeErrorCount ? kTreeUnknownError : code;
}

}  // namespace

const char *TreeErrorMessage(int code) noexcept { return kTreeConditions[ClampCode(code)].message; }

const char *TreeErrorCondition(int code) noexcept {
    return kTreeConditions[ClampCode(code)].condition;
}

void TreeSetError(TreeError &error, int code, std::string_view detail) {
    error.code = ClampCode(code);
    error.detail.assign(detail.data(), detail.size());
}

}  // namespace kelb

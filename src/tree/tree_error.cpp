// tree_error.cpp --
//
//     The error table of the tree store.

#include "tree/tree_error.h"

namespace kelb {

namespace {

// Indexed by code. The spellings are the store's own and scripts match
// on them, so they stay exactly as they are.
const char *const kTreeErrorTable[] = {
    "",                              // 0
    "Unknown Error: ",               // 1
    "Node Not Found: ",              // 2
    "Node Already Exists: ",         // 3
    "Bad Address: ",                 // 4
    "Bad Token: ",                   // 5
    "Bad Root Operation",            // 6
    "Invalid Record Number: ",       // 7
    "Unimplimented Command",         // 8
    "Not a Tcl Variable: ",          // 9
    "Memory Error",                  // 10
    "Illegal Character in Address",  // 11
    "Last Error In Table",           // end marker, never reported
};

// The same order: what scripts trap on.
const char *const kTreeErrorConditions[] = {
    "UNKNOWN",            // 0, never reported
    "UNKNOWN",            // 1
    "NODE_NOT_FOUND",     // 2
    "NODE_EXISTS",        // 3
    "BAD_ADDRESS",        // 4
    "BAD_TOKEN",          // 5
    "BAD_ROOT",           // 6
    "INVALID_RECORD",     // 7
    "UNIMPLEMENTED",      // 8
    "NOT_VARIABLE",       // 9
    "MEMORY",             // 10
    "ILLEGAL_CHARACTER",  // 11
};

constexpr int kTableEnd = static_cast<int>(sizeof kTreeErrorTable / sizeof kTreeErrorTable[0]) - 1;
static_assert(sizeof kTreeErrorConditions / sizeof kTreeErrorConditions[0] == kTableEnd);

int ClampCode(int code) noexcept {
    return code < 0 || code >= kTableEnd ? kTreeUnknownError : code;
}

}  // namespace

const char *TreeErrorMessage(int code) noexcept { return kTreeErrorTable[ClampCode(code)]; }

const char *TreeErrorCondition(int code) noexcept { return kTreeErrorConditions[ClampCode(code)]; }

void TreeSetError(TreeError &error, int code, std::string_view detail) {
    error.code = ClampCode(code);
    error.detail.assign(detail.data(), detail.size());
}

}  // namespace kelb

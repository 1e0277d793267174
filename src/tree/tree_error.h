// tree_error.h --
//
//     The tree store's numbered errors. An error is a fixed message from
//     the table below plus a detail text (usually the address concerned);
//     a command reports it as the message followed directly by the detail,
//     with the error code {KELB TREE <condition> ?detail?}.

#pragma once

#include <string>
#include <string_view>

namespace kelb {

enum TreeErrorCode : int {
    kTreeNoError = 0,
    kTreeUnknownError = 1,
    kTreeNodeNotFound = 2,
    kTreeNodeExists = 3,
    kTreeBadAddress = 4,
    kTreeBadToken = 5,
    kTreeBadRoot = 6,
    kTreeInvalidRecord = 7,
    kTreeUnimplemented = 8,
    kTreeNotVariable = 9,
    kTreeMemoryError = 10,
    kTreeIllegalCharacter = 11,
    kTreeOwnedElsewhere = 12,
    kTreeErrorCount
};

// One row of the table: the message scripts see and the condition they
// trap on.
struct TreeCondition {
    const char *message;
    const char *condition;
};

// The closed table, indexed by code; the manual's ERRORS list names every
// condition in it.
extern const TreeCondition kTreeConditions[kTreeErrorCount];

// The message of a code; codes outside the table read as "Unknown Error: ".
const char *TreeErrorMessage(int code) noexcept;

// The condition word of a code: NODE_NOT_FOUND for "Node Not Found: ",
// and so on.
const char *TreeErrorCondition(int code) noexcept;

// An error as the store's operations hand it back to their caller, which
// raises it at once. Holds a private copy of the detail.
struct TreeError {
    int code = kTreeNoError;
    std::string detail;

    // Text of the report: message directly followed by detail.
    std::string Text() const { return std::string(TreeErrorMessage(code)) + detail; }
};

// Records an error; a code outside the table becomes 1 (Unknown Error).
void TreeSetError(TreeError &error, int code, std::string_view detail);

}  // namespace kelb

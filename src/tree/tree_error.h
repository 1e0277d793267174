// tree_error.h --
//
//     The tree store's numbered errors and the slot that holds the last
//     one. An error is a fixed message from the table below plus a detail
//     text (usually the address concerned); a command reports it as the
//     message followed directly by the detail.

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
};

// The message of a code; codes outside the table read as "Unknown Error: ".
const char *TreeErrorMessage(int code) noexcept;

// The condition word of a code in error codes {KELB TREE <condition>
// ?detail?}: NODE_NOT_FOUND for "Node Not Found: ", and so on.
const char *TreeErrorCondition(int code) noexcept;

// The last error set. Holds a private copy of the detail.
struct TreeError {
    int code = kTreeNoError;
    std::string detail;

    // Text of the report: message directly followed by detail.
    std::string Text() const { return std::string(TreeErrorMessage(code)) + detail; }
};

// Records an error; a code outside 0..11 becomes 1 (Unknown Error).
void TreeSetError(TreeError &error, int code, std::string_view detail);

}  // namespace kelb

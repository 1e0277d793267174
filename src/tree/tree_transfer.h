// tree_transfer.h --
//
//     Copying, linking and moving nodes, with the guards that keep the
//     tree finite and acyclic: a copy or move never lands inside what it
//     copies or moves, and a copy never follows a link round in a circle.

#pragma once

#include <string_view>

#include "tree/tree_store.h"

namespace kelb {

enum class TreeOp { Copy = 1, Link = 2, Move = 3 };

// Copies, links or moves the node at `source` to the new address `dest`.
// Returns false with `error` set on failure:
//   - the source's lookup error, or "Bad Root Operation" for the root;
//   - "Node Already Exists: " when dest names a node already;
//   - "Bad Address: " dest when the destination would lie inside the
//     subtree being copied or moved (for a move the source stays put);
//   - "Bad Address: " source when copying would follow a link back into
//     a node it is still copying (the copy would never end);
//   - "Memory Error" dest when links make the copy more than many times
//     larger than the whole tree.
// A move to the empty address removes the source.
bool TreeTransfer(TreeStore &store, std::string_view source, std::string_view dest, TreeOp op,
                  TreeError &error);

// Copies the value and the subtree of `from` (a link counts as its
// target) into the new node `to`, without recursion. Each list of the
// copy holds the names of the original in reverse order. The caller has
// made sure the copy ends (see TreeTransfer).
void TreeCopy(TreeStore &store, const Node *from, Node *to);

}  // namespace kelb

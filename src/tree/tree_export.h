// tree_export.h --
//
//     The walk behind the export text: the children of a node, depth
//     first, each list newest first and i-children before j-children, with
//     a node's exported children bracketed by an opening and a closing
//     line. The walk decides what is written in which order; the sink
//     decides how (the Tcl binding quotes with Tcl's list rules).

#pragma once

#include "tree/tree_node.h"

namespace kelb {

// Bits of the export flags: which child lists are exported.
inline constexpr unsigned kExportI = 1;
inline constexpr unsigned kExportJ = 2;

class TreeExportSink {
public:
    virtual void WriteNode(const Node &node) = 0;  // one node's line
    virtual void Open() = 0;                       // before its children
    virtual void Close() = 0;                      // after its children

protected:
    ~TreeExportSink() = default;
};

// Writes the children of `top`: its own lists chosen by `topFlags`, the
// lists below them by `deepFlags`. Links are written as nodes and not
// followed. Iterative, so the depth of the tree does not matter.
void TreeExport(const Node &top, unsigned topFlags, unsigned deepFlags, TreeExportSink &sink);

}  // namespace kelb

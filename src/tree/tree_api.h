// tree_api.h --
//
//     What other modules of the package use of the tree store: find or make
//     a node by address, and give it a value. The store is process-wide and
//     exists once Tree_Init has run in some interpreter.
//
//     A node's value is the Tcl variable named by its address in every
//     interpreter that loaded the package, so C code links to it by name:
//
//         Node *node = TreeLookup("/env.runtime", -1, true);
//         TreeSetValue(node, Tcl_NewIntObj(0), interp);
//         Tcl_LinkVar(interp, "/env.runtime", (char *) &counter, TCL_LINK_INT);
//         ...
//         Tcl_UpdateLinkedVar(interp, "/env.runtime");
//
//     - TreeSetValue on a node that has a value keeps the variables Tcl
//       knows and sets the new value into each, in its own interpreter, so
//       links stay and update their C variables, and traces fire.
//     - Several interpreters may link the same node (and the same C
//       variable): each link lives in its own interpreter's record, and a
//       write in any interpreter reaches every record.
//     - Removing the node ("tree rm", "tree mv ... {}") removes the links
//       on it (as Tcl_UnlinkVar would) before unsetting its variables;
//       afterwards Tcl_UpdateLinkedVar and Tcl_UnlinkVar on the name do
//       nothing, and linking again needs a new node value first.
//     - Deleting an interpreter removes its links with its records; nothing
//       needs to be unlinked by hand, though Tcl_UnlinkVar stays harmless.

#pragma once

#include <tcl.h>

#include "tree/tree_node.h"

namespace kelb {

// The node at `address` (length -1: up to the NUL), made with every
// missing node above it when `create` is true. None when the address does
// not read, the node is missing and not created, or no interpreter has
// loaded the tree store yet.
Node *TreeLookup(const char *address, int length, bool create);

// Gives the node the value `obj` (its reference count goes up). Returns
// TCL_ERROR with a message in `interp` only when a trace or a read-only
// link in `interp` refused the value; `interp` may be null.
int TreeSetValue(Node *node, Tcl_Obj *obj, Tcl_Interp *interp);

// The node's value, or none.
Tcl_Obj *TreeNodeValue(const Node *node) noexcept;

}  // namespace kelb

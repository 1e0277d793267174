// tree_commands.h --
//
//     The object command procedures of the tree store.

#pragma once

#include <tcl.h>

#include <string_view>

namespace kelb {

// tree and qen: build and query the tree.
int TreeObjCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

// qenutil: export text, address splitting, node count, identities.
int QenutilObjCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

// A word's text with its own length.
std::string_view TreeWord(Tcl_Obj *objPtr);

struct Node;
struct TreeError;

// TreeLookup of the word's text in the module's store, remembered on the
// word so that the same word finds the same node again without a walk
// while no node has been unlinked, moved or made a link. A failed lookup
// says why in `error` (the second form drops the reason).
Node *TreeLookupWord(Tcl_Obj *word, bool create, TreeError &error);
Node *TreeLookupWord(Tcl_Obj *word, bool create);

}  // namespace kelb

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

}  // namespace kelb

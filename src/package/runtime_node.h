// runtime_node.h --
//
//     The running seconds counter: a native integer linked to the tree node
//     /env.runtime and advanced once a second by a native process of the
//     scheduler. It lives in the thread whose interpreters hold the tree
//     store: every interpreter there that loads the package links the one
//     counter, all read the same value, and one process advances it for as
//     long as any of them lives.

#pragma once

#include <tcl.h>

namespace kelb {

// Links the thread's counter in interp. The first interpreter of the
// thread to link it gives /env.runtime a fresh value of 0 and starts the
// process; later ones join the count as it stands. Does nothing
// unless both the tree store and the scheduler came up in interp, as the
// caller's module statuses tell. Returns TCL_OK.
int RuntimeNodeInit(Tcl_Interp *interp, bool treeUp, bool processUp);

}  // namespace kelb

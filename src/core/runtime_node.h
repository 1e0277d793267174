// runtime_node.h --
//
//     The running seconds counter of an ordinary interpreter: a native
//     integer linked to the tree node /env.runtime and advanced once a
//     second by a native process of the scheduler.

#pragma once

#include <tcl.h>

namespace kelb {

// Gives /env.runtime a fresh value of 0, links the counter to it in
// interp, and starts the once-a-second process that advances it. Does
// nothing when the tree store or the scheduler is not available in this
// interpreter. Returns TCL_OK.
int RuntimeNodeInit(Tcl_Interp *interp);

}  // namespace kelb

// tree_forwarder.h --
//
//     Stand-ins for compiled procedure locals named by an address whose
//     node had no value when the procedure was entered: every access to
//     such a local looks the address up again.

#pragma once

#include <tcl.h>

#include <string>

#include "tree/tree_record.h"

namespace kelb {

// The stand-in variable for the address in this interpreter, made on
// first use (may throw std::bad_alloc).
Tcl_Var TreeForwarderVar(InterpState *state, const std::string &address);

// The interpreter is being deleted: its stand-ins retire.
void TreeForwardersLeaveInterp(InterpState *state);

// The interpreter's thread is ending: its stand-ins are dropped without
// calling into it.
void TreeForwardersAbandonInterp(InterpState *state) noexcept;

}  // namespace kelb

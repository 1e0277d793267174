// tree_module.h --
//
//     Process-wide state of the tree store's Tcl binding: the one store
//     every interpreter shares and the per-interpreter states, plus the
//     error report the commands share.

#pragma once

#include <tcl.h>

#include <vector>

#include "tree/tree_store.h"

namespace kelb {

struct InterpState;

struct TreeModule {
    TreeStore store;
    int interpCount = 0;                 // Tree_Init calls so far; names /interp%d
    std::vector<InterpState *> interps;  // interpreters whose state is alive
    InterpState *lastFound = nullptr;    // the one asked for last
    Tcl_ThreadId thread = nullptr;       // the one thread the store serves
};

// The module, or none before the first Tree_Init.
TreeModule *TreeModuleGet() noexcept;

// Makes the module on the first call; never freed (the tree outlives
// every interpreter).
TreeModule &TreeModuleMake();

// The store (the module must exist: commands run only after Tree_Init).
TreeStore &TreeModuleStore() noexcept;

// A count error of a command: Tcl's "wrong # args" with the usage text
// after the command word. Returns TCL_ERROR.
int TreeUsage(Tcl_Interp *interp, Tcl_Obj *const objv[], const char *usage);

// Reports the store's last error: the interpreter result becomes the
// message followed directly by the detail. Returns TCL_ERROR.
int TreeReportError(Tcl_Interp *interp);

// Records an error and reports it.
int TreeFailWith(Tcl_Interp *interp, int code, std::string_view detail);

}  // namespace kelb

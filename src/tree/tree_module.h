// tree_module.h --
//
//     The tree store's Tcl binding as a whole: the one store the
//     interpreters of the owning thread share, their per-interpreter
//     states.
//
//     The store lives in one thread at a time, since its values are that
//     thread's Tcl objects. The first thread whose interpreter loads the
//     package owns it; ownership ends when the last interpreter of that
//     thread holding the store is deleted, or when the thread ends with
//     such interpreters left, and then the store is emptied there (every
//     node and value freed in its own thread). Other threads get no store
//     while it is owned.

#pragma once

#include <tcl.h>

#include <string_view>
#include <vector>

#include "tree/tree_record.h"
#include "tree/tree_store.h"

namespace kelb {

struct TreeModule {
    TreeStore store;
    int interpCount = 0;                 // Tree_Init calls so far; names /interp%d
    std::vector<InterpState *> interps;  // interpreters holding the store
    InterpState *lastFound = nullptr;    // the one asked for last
};

// The module, or none before the first Tree_Init and in every thread but
// the owning one.
TreeModule *TreeModuleGet() noexcept;

// Makes this thread the owner if no thread owns the store (making the
// module on the first call; it is never freed), until it lets the store
// go or ends. Returns the module, or none when another thread owns it.
TreeModule *TreeModuleClaim();

// Gives the claim up again if no interpreter holds the store (an
// initialisation that failed after claiming).
void TreeModuleReleaseUnused() noexcept;

// The store (the module must exist: commands run only after Tree_Init,
// in the owning thread).
TreeStore &TreeModuleStore() noexcept;

// Per-interpreter state: made by TreeAttachInterp, gone when the
// interpreter is deleted (then this returns none).
InterpState *TreeInterpState(Tcl_Interp *interp) noexcept;
InterpState *TreeAttachInterp(Tcl_Interp *interp);

}  // namespace kelb

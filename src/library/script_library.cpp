// script_library.cpp --
//
//     Loading the script library, and the rule for its plain names: a
//     command the interpreter already has under such a name (a script's
//     own "get", TclX's "wait", Tcl's "lset" and "lreverse") is never
//     replaced; the library's version stays reachable as kelb::NAME.

#include "library/script_library.h"

#include "library/library_commands.h"
#include "core/tcl_support.h"

namespace kelb {

namespace {

// Every library command, in the order the library defines them.
const char *const kLibraryNames[] = {
    "string.to.args", "ladd", "ldelete", "lreverse", "lset", "lremove",
    "lfifo", "lpop", "lpush", "lpeek", "get", "wait",
};

// Gives each library command whose name resolves to no command from the
// current namespace (through its path and the global namespace, as a call
// would resolve it) that plain name in the current namespace: the C++
// commands as commands of their own there, the Tcl procedures by import.
void BindPlainNames(Tcl_Interp *interp) {
    const char *current = Tcl_GetCurrentNamespace(interp)->fullName;
    for (const char *name : kLibraryNames) {
        if (Tcl_FindCommand(interp, name, nullptr, 0) != nullptr) continue;
        if (LibraryCommandCreateIn(interp, current, name)) continue;
        ObjRef pattern(Tcl_ObjPrintf("::kelb::%s", name));
        (void)Tcl_Import(interp, nullptr, Tcl_GetString(pattern.get()), 0);
    }
}

}  // namespace

void ScriptLibraryLoad(Tcl_Interp *interp) {
    LibraryCommandsCreate(interp);
    // The outcome matters only to the plain names, which are bound once
    // the whole library is defined. What the evaluation leaves in the
    // result would otherwise become the result of "load", so it is
    // cleared.
    if (Tcl_EvalEx(interp, kScriptLibrary, -1, 0) == TCL_OK) BindPlainNames(interp);
    Tcl_ResetResult(interp);
}

}  // namespace kelb

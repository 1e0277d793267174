// library_owned_var.cpp --
//
//     The one place where the library looks inside Tcl's variable records
//     (tclInt.h): to learn whether a caller's list may be changed in place
//     without being stored back, as Tcl's own bytecode does for a variable
//     that nothing watches.

#include "core/library_vars.h"

#include <tclInt.h>

namespace kelb {

Tcl_Obj *OwnedCallerValue(Tcl_Interp *interp, Tcl_Obj *name) {
    // Node addresses are the tree store's: their values are kept in step
    // across interpreters by its own traces, and are always stored.
    const char *text = name->bytes != nullptr ? name->bytes : Tcl_GetString(name);
    if (text[0] == '/') return nullptr;
    Var *array = nullptr;
    // Flags 0 and no creation: a quiet lookup that leaves nothing behind.
    // Links (upvar, global) are followed to the variable they name.
    Var *variable = TclObjLookupVar(interp, name, nullptr, 0, "read", 0, 0, &array);
    if (variable == nullptr || !TclIsVarScalar(variable) || TclIsVarUndefined(variable) ||
        TclIsVarTraced(variable) || (array != nullptr && TclIsVarTraced(array))) {
        return nullptr;
    }
    Tcl_Obj *value = variable->value.objPtr;
    return Tcl_IsShared(value) ? nullptr : value;
}

}  // namespace kelb

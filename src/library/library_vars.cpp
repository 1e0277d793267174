// library_vars.cpp --
//
//     Reading and writing the variables of the caller of a library
//     command, with one rule for what counts as a missing variable: the
//     answer of "info exists".

#include "library/library_vars.h"

#include "core/tcl_support.h"

namespace kelb {

namespace {

// Asks "info exists name" in the current frame, which is the caller's.
// Tcl offers no C call that answers it for every kind of name: a resolved
// node address, an element, or a qualified name. Returns TCL_OK with the
// answer in *exists, or the error of the evaluation (an interpreter being
// cancelled, say) in the result.
int InfoExists(Tcl_Interp *interp, Tcl_Obj *name, int *exists) {
    ObjRef info(Tcl_NewStringObj("::info", -1));
    ObjRef subcommand(Tcl_NewStringObj("exists", -1));
    ObjRef pinnedName(name);
    Tcl_Obj *words[] = {info.get(), subcommand.get(), name};
    if (Tcl_EvalObjv(interp, 3, words, 0) != TCL_OK) return TCL_ERROR;
    if (Tcl_GetBooleanFromObj(interp, Tcl_GetObjResult(interp), exists) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

}  // namespace

VarRead ReadCallerVar(Tcl_Interp *interp, Tcl_Obj *name, Tcl_Obj **value) {
    *value = Tcl_ObjGetVar2(interp, name, nullptr, TCL_LEAVE_ERR_MSG);
    if (*value != nullptr) return VarRead::Value;
    // Only a failure is asked about, so that the common case costs one
    // lookup. The read's error is kept aside while "info exists" runs.
    Tcl_InterpState readFailure = Tcl_SaveInterpState(interp, TCL_ERROR);
    int exists = 0;
    if (InfoExists(interp, name, &exists) != TCL_OK) {
        Tcl_DiscardInterpState(readFailure);
        return VarRead::Failed;
    }
    if (exists) {
        (void)Tcl_RestoreInterpState(interp, readFailure);
        return VarRead::Failed;
    }
    Tcl_DiscardInterpState(readFailure);
    Tcl_ResetResult(interp);
    return VarRead::Missing;
}

Tcl_Obj *SetCallerVar(Tcl_Interp *interp, Tcl_Obj *name, Tcl_Obj *value) {
    return Tcl_ObjSetVar2(interp, name, nullptr, value, TCL_LEAVE_ERR_MSG);
}

Tcl_Obj *AppendCallerVar(Tcl_Interp *interp, Tcl_Obj *name, Tcl_Obj *element) {
    // The flags of Tcl's own lappend with one value: an unshared list is
    // extended in place, a shared one copied first.
    return Tcl_ObjSetVar2(interp, name, nullptr, element,
                          TCL_LEAVE_ERR_MSG | TCL_APPEND_VALUE | TCL_LIST_ELEMENT);
}

int MissingVarError(Tcl_Interp *interp, Tcl_Obj *name) {
    const char *text = Tcl_GetString(name);
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("can't read \"%s\": no such variable", text));
    Tcl_SetErrorCode(interp, "TCL", "LOOKUP", "VARNAME", text, static_cast<char *>(nullptr));
    return TCL_ERROR;
}

}  // namespace kelb

// tree_fail.h --
//
//     Raises the tree store's errors in an interpreter: the result becomes
//     the message followed directly by the detail, and the error code
//     {KELB TREE <condition> ?detail?}, both set together.

#pragma once

#include <tcl.h>

#include <string_view>

#include "core/tcl_support.h"
#include "tree/tree_error.h"

namespace kelb {

// Raises error `code` with `detail`. Returns TCL_ERROR.
inline int TreeFail(Tcl_Interp *interp, int code, std::string_view detail) noexcept {
    const auto length = static_cast<TclSize>(detail.size());
    Tcl_ResetResult(interp);
    Tcl_Obj *message = Tcl_NewStringObj(TreeErrorMessage(code), -1);
    Tcl_AppendToObj(message, detail.data(), length);
    Tcl_SetObjResult(interp, message);
    Tcl_Obj *words[] = {Tcl_NewStringObj("KELB", -1), Tcl_NewStringObj("TREE", -1),
                        Tcl_NewStringObj(TreeErrorCondition(code), -1), nullptr};
    if (length > 0) words[3] = Tcl_NewStringObj(detail.data(), length);
    Tcl_SetObjErrorCode(interp, Tcl_NewListObj(length > 0 ? 4 : 3, words));
    return TCL_ERROR;
}

// Raises an error a store operation handed back.
inline int TreeFail(Tcl_Interp *interp, const TreeError &error) noexcept {
    return TreeFail(interp, error.code, error.detail);
}

}  // namespace kelb

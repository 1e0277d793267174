// tree_fail.h --
//
//     Raises the tree store's errors in an interpreter: the result becomes
//     the message followed directly by the detail, and the error code
//     {KELB TREE <condition> ?detail?}, both set together.

#pragma once

#include <tcl.h>

#include <string>
#include <string_view>

#include "core/tcl_support.h"
#include "tree/tree_error.h"

namespace kelb {

// Raises error `code` with `detail`. Returns TCL_ERROR.
inline int TreeFail(Tcl_Interp *interp, int code, std::string_view detail) {
    Tcl_ResetResult(interp);
    Tcl_Obj *message = Tcl_NewStringObj(TreeErrorMessage(code), -1);
    Tcl_AppendToObj(message, detail.data(), static_cast<TclSize>(detail.size()));
    Tcl_SetObjResult(interp, message);
    const std::string detailText(detail);
    SetErrorCode(interp, {"TREE", TreeErrorCondition(code)},
                 detail.empty() ? nullptr : detailText.c_str());
    return TCL_ERROR;
}

// Raises an error a store operation handed back.
inline int TreeFail(Tcl_Interp *interp, const TreeError &error) {
    return TreeFail(interp, error.code, error.detail);
}

}  // namespace kelb

// matrix_fail.h --
//
//     Reports a failure of the matrix module to Tcl: its message as the
//     interpreter result and {KELB MATRIX <condition>} as the error code.
//     Kept apart from matrix_messages.h, which the Tcl-free kernels use.

#pragma once

#include <tcl.h>

#include "core/tcl_support.h"
#include "matrix/matrix_messages.h"

namespace kelb {

inline constexpr const char *kMatrixModule = "MATRIX";

inline int Fail(Tcl_Interp *interp, const MatrixFailure &failure) noexcept {
    return FailRow(interp, kMatrixModule, failure);
}

// The same, with the text of `detail` right after the message.
inline int Fail(Tcl_Interp *interp, const MatrixFailure &failure, Tcl_Obj *detail) noexcept {
    Fail(interp, failure);
    Tcl_AppendObjToObj(Tcl_GetObjResult(interp), detail);
    return TCL_ERROR;
}

}  // namespace kelb

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
    return Fail(interp, failure.message, ErrorCode{kMatrixModule, failure.condition});
}

}  // namespace kelb

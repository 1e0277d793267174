// mexpr_operators.h --
//
//     The operators of the matrix calculator (mexpr, vector3, vector2),
//     applied to an evaluation stack. B is the top entry, A the one below.

#pragma once

#include "matrix/matrix_messages.h"
#include "matrix/matrix_stack.h"

namespace kelb {

// Operator names in table order; the index of a name is its MexprOp.
// Null-terminated for Tcl_GetIndexFromObj.
inline constexpr const char *kMexprOperatorNames[] = {
    "+", "*", "*.", "*x", "~", "1/", "-", "/",
    "transpose", "inverse", "determinate", "adjoint", "noop", nullptr,
};

enum class MexprOp {
    Add,          // "+"
    Scale,        // "*"
    Product,      // "*."
    Cross,        // "*x" (unimplemented)
    Negate,       // "~"
    Reciprocal,   // "1/"
    Subtract,     // "-"
    Divide,       // "/"
    Transpose,    // "transpose"
    Inverse,      // "inverse"
    Determinant,  // "determinate"
    Adjoint,      // "adjoint"
    Noop,         // "noop" (unimplemented)
};

// Applies one operator to the stack. Returns nullptr on success, else the
// failure; a failed operator leaves the stack's entries valid
// (the command then discards them). Throws std::bad_alloc only when a
// result larger than 4 x 4 cannot be allocated.
MatrixError MexprOperator(MatrixStack &stack, MexprOp op);

}  // namespace kelb

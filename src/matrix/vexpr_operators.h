// vexpr_operators.h --
//
//     The operators of the vector calculator vexpr, applied to an
//     evaluation stack. B is the top entry, A the one below. A vector is
//     any matrix with at least 3 rows and at least one column; its first
//     three elements in storage order are x, y and z.

#pragma once

#include "matrix/matrix_messages.h"
#include "matrix/matrix_stack.h"

namespace kelb {

// Operator names in table order; the index of a name is its VexprOp.
// Null-terminated for Tcl_GetIndexFromObj.
inline constexpr const char *kVexprOperatorNames[] = {
    "+",        "*",         "*.",     "*x",        "~",       "-",       "/",  "half",
    "distance", "distInvSq", "length", "normalize", "rad2deg", "deg2rad", "pi", nullptr,
};

enum class VexprOp {
    Add,          // "+"        A + B, in place in A
    Scale,        // "*"        A times B's x, in place in A
    Dot,          // "*."       dot product, a scalar
    Cross,        // "*x"       cross product, a 3-vector
    Negate,       // "~"        (unimplemented)
    Subtract,     // "-"        A - B, in place in A
    Divide,       // "/"        A divided by B's x, in place in A
    Half,         // "half"     midpoint, a 3-vector
    Distance,     // "distance" distance between A and B, a scalar
    DistInvSq,    // "distInvSq" inverse square of that distance
    Length,       // "length"   length of B, replacing B
    Normalize,    // "normalize" B scaled to unit length, in place
    RadToDeg,     // "rad2deg"  pushes 180 / pi
    DegToRad,     // "deg2rad"  pushes pi / 180
    Pi,           // "pi"       pushes pi
};

// Applies one operator to the stack. Returns nullptr on success, else the
// failure (kNonvectorOperand, kUnimplemented, kStackOverflow);
// a failed operator changes nothing.
MatrixError VexprOperator(MatrixStack &stack, VexprOp op) noexcept;

}  // namespace kelb

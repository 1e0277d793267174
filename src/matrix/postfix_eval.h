// postfix_eval.h --
//
//     The evaluation loop shared by the postfix calculators (mexpr and its
//     aliases, vexpr). Each argument is an operator, if it names one of the
//     calculator's operators exactly or by a unique abbreviation, or else
//     an operand read onto a fresh evaluation stack; the result is the
//     matrix left on top. The calculators differ only in their operator
//     table and in how they report an operand they cannot read.

#pragma once

#include <tcl.h>

#include <array>

#include "matrix/matrix_messages.h"
#include "matrix/matrix_stack.h"

namespace kelb {

// Which bytes begin some operator name of a table. An argument starting
// with any other byte cannot be an operator or an abbreviation of one,
// so it skips the table lookup.
using OperatorStarts = std::array<bool, 256>;

template <std::size_t N>
constexpr OperatorStarts OperatorStartsOf(const char *const (&names)[N]) {
    OperatorStarts starts{};
    for (const char *name : names) {
        if (name != nullptr) starts[static_cast<unsigned char>(name[0])] = true;
    }
    return starts;
}

struct PostfixCalculator {
    const char *const *operatorNames;  // null-terminated, in table order
    OperatorStarts operatorStarts;     // first bytes of operatorNames
    // Applies operator op (its index in operatorNames); nullptr or the
    // failure.
    MatrixError (*apply)(MatrixStack &stack, int op);
    // The operator that transposes the top entry in place, or -1. A
    // transposed operand can still lend its element objects to the result.
    int transposeOp;
    // Whether an unreadable operand is reported as "Bad Argument: <text>"
    // instead of with the reading's own message.
    bool prefixBadOperand;
};

// Adapts an operator function taking its own operator enum to
// PostfixCalculator::apply, which passes the index in the name table.
template <typename Op, MatrixError (*Apply)(MatrixStack &, Op)>
MatrixError ApplyByIndex(MatrixStack &stack, int op) {
    return Apply(stack, static_cast<Op>(op));
}

// Evaluates objv[1 .. objc-1]. Returns TCL_OK with the top entry (or the
// empty string for an empty stack) as the interpreter result, or
// TCL_ERROR with the message of the first failure; the arguments after a
// failure are not looked at.
int EvaluatePostfix(const PostfixCalculator &calculator, Tcl_Interp *interp, int objc,
                    Tcl_Obj *const objv[]);

}  // namespace kelb

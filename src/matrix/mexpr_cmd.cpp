// mexpr_cmd.cpp --
//
//     The matrix calculator command, registered as mexpr, vector3 and
//     vector2: a postfix expression over matrices whose result is the
//     matrix left on top of the stack.

#include "matrix/matrix_commands.h"
#include "matrix/mexpr_operators.h"
#include "matrix/postfix_eval.h"

namespace kelb {

namespace {

constexpr PostfixCalculator kMexprCalculator = {
    kMexprOperatorNames,
    OperatorStartsOf(kMexprOperatorNames),
    ApplyByIndex<MexprOp, MexprOperator>,
    static_cast<int>(MexprOp::Transpose),
    true,  // an unreadable operand is a "Bad Argument: "
};

}  // namespace

// Syntax: mexpr arg ?arg ...?
//
//     Each argument is an operator (an exact name or unique abbreviation
//     from the operator table) or else an operand pushed on the stack.
int MexprObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "?arg? ?arg? ?op? ...");
        return TCL_ERROR;
    }
    return EvaluatePostfix(kMexprCalculator, interp, objc, objv);
}

}  // namespace kelb

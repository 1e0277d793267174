// mexpr_cmd.cpp --
//
//     The matrix calculator command, registered as mexpr, vector3 and
//     vector2: a postfix expression over matrices whose result is the
//     matrix left on top of the stack.

#include "core/tcl_support.h"
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

int Mexpr(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return EvaluatePostfix(kMexprCalculator, interp, objc, objv);
}

// At least one argument; the name is the one the script used.
constexpr Subcommand kMexprRow{"mexpr", Mexpr, 2, kAnyWords, "?arg? ?arg? ?op? ..."};

}  // namespace

// Syntax: mexpr arg ?arg ...?
//
//     Each argument is an operator (an exact name or unique abbreviation
//     from the operator table) or else an operand pushed on the stack.
int MexprObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return OpenCommand(interp, objc, objv, kMexprRow);
}

}  // namespace kelb

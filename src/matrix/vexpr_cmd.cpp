// vexpr_cmd.cpp --
//
//     The vector calculator command vexpr: a postfix expression over
//     3-vectors (sums, scaling, dot and cross products, midpoints,
//     distances, lengths, normalisation, angle constants).

#include "core/tcl_support.h"
#include "matrix/matrix_commands.h"
#include "matrix/postfix_eval.h"
#include "matrix/vexpr_operators.h"

namespace kelb {

namespace {

constexpr PostfixCalculator kVexprCalculator = {
    kVexprOperatorNames,
    OperatorStartsOf(kVexprOperatorNames),
    ApplyByIndex<VexprOp, VexprOperator>,
    -1,     // no operator transposes
    false,  // an unreadable operand fails with the reading's own message
};

int Vexpr(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return EvaluatePostfix(kVexprCalculator, interp, objc, objv);
}

// Any number of arguments, none included.
constexpr Subcommand kVexprRow{"vexpr", Vexpr, 1, kAnyWords, nullptr};

}  // namespace

// Syntax: vexpr ?arg ...?
//
//     As mexpr, with the vector operators. With no arguments the stack
//     stays empty and so does the result.
int VexprObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return OpenCommand(interp, objc, objv, kVexprRow);
}

}  // namespace kelb

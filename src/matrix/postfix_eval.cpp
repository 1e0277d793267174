// postfix_eval.cpp --
//
//     The evaluation loop of the postfix calculators.

#include "matrix/postfix_eval.h"

#include "core/tcl_support.h"
#include "matrix/matrix_fail.h"
#include "matrix/matrix_obj.h"

namespace kelb {

namespace {

// Quick tests that spare most operands the lookup in the operator table.
// Operator names are single words, so a value that is already a list of
// any other length is an operand (and its string, which may be long, need
// not be generated). Otherwise the first character decides.
bool CouldBeOperator(const PostfixCalculator &calculator, Tcl_Obj *objPtr) {
    if (IsPureList(objPtr)) {
        TclSize length;
        if (Tcl_ListObjLength(nullptr, objPtr, &length) != TCL_OK || length != 1) return false;
    }
    return calculator.operatorStarts[static_cast<unsigned char>(Tcl_GetString(objPtr)[0])];
}

// Set when an entry is pushed; only live entries are read.
struct EntrySource {
    Tcl_Obj *operand;  // the argument read into the entry, if unchanged
    bool transposed;   // whether the entry holds it transposed
};

// The message replaces the reading's own, and so does the code.
int BadArgument(Tcl_Interp *interp, Tcl_Obj *operand) {
    Tcl_Obj *message = Tcl_NewStringObj(kBadArgumentPrefix, -1);
    Tcl_AppendObjToObj(message, operand);
    Tcl_SetObjResult(interp, message);
    SetErrorCode(interp, {kMatrixModule, kBadArgumentCondition});
    return TCL_ERROR;
}

}  // namespace

int EvaluatePostfix(const PostfixCalculator &calculator, Tcl_Interp *interp, int objc,
                    Tcl_Obj *const objv[]) {
    MatrixStack stack;
    // For each entry, the operand it still holds unchanged (or transposed),
    // so that the result can reuse that operand's element objects.
    EntrySource sources[MatrixStack::kCapacity];
    for (int i = 1; i < objc; ++i) {
        int op;
        if (CouldBeOperator(calculator, objv[i]) &&
            Tcl_GetIndexFromObj(nullptr, objv[i], calculator.operatorNames, "verb", 0, &op) ==
                TCL_OK) {
            if (MatrixError error = calculator.apply(stack, op)) return Fail(interp, *error);
            // Only the top entry can have been changed or made.
            if (stack.depth() > 0) {
                EntrySource &top = sources[stack.depth() - 1];
                if (op == calculator.transposeOp) {
                    top.transposed = !top.transposed;
                } else {
                    top.operand = nullptr;
                }
            }
            continue;
        }
        Matrix *entry = stack.Push();
        if (entry == nullptr) return Fail(interp, kStackOverflow);
        if (MatrixFromObj(interp, objv[i], *entry) != TCL_OK) {
            return calculator.prefixBadOperand ? BadArgument(interp, objv[i]) : TCL_ERROR;
        }
        sources[stack.depth() - 1] = {objv[i], false};
    }
    if (stack.depth() == 0) {
        Tcl_ResetResult(interp);
        return TCL_OK;
    }
    const EntrySource &top = sources[stack.depth() - 1];
    Tcl_SetObjResult(interp, top.operand != nullptr
                                 ? MatrixToObjFromSource(stack.top(), top.operand, top.transposed)
                                 : MatrixToObj(stack.top()));
    return TCL_OK;
}

}  // namespace kelb

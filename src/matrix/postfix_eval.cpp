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
    const char *text = objPtr->bytes;
    if (text == nullptr) {
        if (IsPureList(objPtr)) {
            TclSize length;
            if (Tcl_ListObjLength(nullptr, objPtr, &length) != TCL_OK || length != 1) return false;
        }
        text = Tcl_GetString(objPtr);
    }
    return calculator.operatorStarts[static_cast<unsigned char>(text[0])];
}

// Set when an entry is pushed; only live entries are read.
struct EntrySource {
    Tcl_Obj *operand;  // the argument read into the entry, if unchanged
    bool transposed;   // whether the entry holds it transposed
};

}  // namespace

int EvaluatePostfix(const PostfixCalculator &calculator, Tcl_Interp *interp, int objc,
                    Tcl_Obj *const objv[]) {
    MatrixStack stack;
    // For each entry, the operand it still holds unchanged (or transposed),
    // so that the result can reuse that operand's element objects.
    EntrySource sources[MatrixStack::kCapacity];
    // The element objects of the operand pushed last. Only that one can be
    // the result unchanged: an entry below it is on top again only once an
    // operator has popped the entry above, and every such operator changes
    // the entry it leaves on top.
    ElementObjs lastElements;
    int lastOperandDepth = 0;
    // Transposition of the top entry is put off until something else
    // uses the entry, so that a result built from the operand's own
    // element objects needs none. It cannot fail where it is put off.
    bool transposePending = false;
    auto transposeNow = [&] {
        if (transposePending) calculator.apply(stack, calculator.transposeOp);
        transposePending = false;
    };
    for (int i = 1; i < objc; ++i) {
        int op;
        if (CouldBeOperator(calculator, objv[i]) &&
            Tcl_GetIndexFromObj(nullptr, objv[i], calculator.operatorNames, "verb", 0, &op) ==
                TCL_OK) {
            if (op == calculator.transposeOp && stack.depth() >= 2) {
                transposePending = !transposePending;
                EntrySource &top = sources[stack.depth() - 1];
                top.transposed = !top.transposed;
                continue;
            }
            transposeNow();
            if (MatrixError error = calculator.apply(stack, op)) return Fail(interp, *error);
            // Only the top entry can have been changed or made.
            if (stack.depth() > 0) sources[stack.depth() - 1].operand = nullptr;
            continue;
        }
        transposeNow();
        Matrix *entry = stack.Push();
        if (entry == nullptr) return Fail(interp, kStackOverflow);
        if (MatrixFromObj(interp, objv[i], *entry, &lastElements) != TCL_OK) {
            return calculator.prefixBadOperand ? Fail(interp, kBadArgument, objv[i]) : TCL_ERROR;
        }
        sources[stack.depth() - 1] = {objv[i], false};
        lastOperandDepth = stack.depth();
    }
    if (stack.depth() == 0) {
        Tcl_ResetResult(interp);
        return TCL_OK;
    }
    const EntrySource &top = sources[stack.depth() - 1];
    if (top.operand != nullptr && lastOperandDepth == stack.depth() && lastElements.valid) {
        // The top entry is the operand as read, every transposition since
        // still pending.
        SetResultFromElements(interp, stack.top(), lastElements, top.transposed);
        return TCL_OK;
    }
    transposeNow();
    Tcl_SetObjResult(interp, top.operand == nullptr
                                 ? MatrixToObj(stack.top())
                                 : MatrixToObjFromSource(stack.top(), top.operand, top.transposed));
    return TCL_OK;
}

}  // namespace kelb

// mexpr_cmd.cpp --
//
//     The matrix calculator command, registered as mexpr, vector3 and
//     vector2: a postfix expression over matrices whose result is the
//     matrix left on top of the stack.

#include "matrix/matrix_commands.h"

#include <bitset>

#include "core/tcl_support.h"
#include "matrix/matrix_obj.h"
#include "matrix/mexpr_operators.h"

namespace kelb {

namespace {

// Quick tests that spare most operands the lookup in the operator table.
// Operator names are single words, so a value that is already a list of
// any other length is an operand (and its string, which may be long, need
// not be generated). A name or abbreviation starts with the first
// character of some operator, so any other first character means an
// operand.
bool CouldBeOperator(Tcl_Obj *objPtr) {
    static const Tcl_ObjType *const listType = Tcl_GetObjType("list");
    if (objPtr->bytes == nullptr && objPtr->typePtr == listType) {
        TclSize length;
        if (Tcl_ListObjLength(nullptr, objPtr, &length) != TCL_OK || length != 1) return false;
    }
    static const std::bitset<256> firstCharacters = [] {
        std::bitset<256> set;
        for (const char *const *name = kMexprOperatorNames; *name; ++name) {
            set.set(static_cast<unsigned char>((*name)[0]));
        }
        return set;
    }();
    return firstCharacters.test(static_cast<unsigned char>(Tcl_GetString(objPtr)[0]));
}

// Set when an entry is pushed; only live entries are read.
struct EntrySource {
    Tcl_Obj *operand;  // the argument read into the entry, if unchanged
    bool transposed;   // whether the entry holds it transposed
};

int BadArgument(Tcl_Interp *interp, Tcl_Obj *operand) {
    Tcl_Obj *message = Tcl_NewStringObj(kBadArgumentPrefix, -1);
    Tcl_AppendObjToObj(message, operand);
    Tcl_SetObjResult(interp, message);
    return TCL_ERROR;
}

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
    MatrixStack stack;
    // For each entry, the operand it still holds unchanged (or transposed),
    // so that the result can reuse that operand's element objects.
    EntrySource sources[MatrixStack::kCapacity];
    for (int i = 1; i < objc; ++i) {
        int op;
        if (CouldBeOperator(objv[i]) &&
            Tcl_GetIndexFromObj(nullptr, objv[i], kMexprOperatorNames, "verb", 0, &op) == TCL_OK) {
            if (MatrixError error = MexprOperator(stack, static_cast<MexprOp>(op))) {
                return Fail(interp, error);
            }
            if (stack.depth() > 0) {
                EntrySource &top = sources[stack.depth() - 1];
                if (static_cast<MexprOp>(op) == MexprOp::Transpose) {
                    top.transposed = !top.transposed;
                } else {
                    top.operand = nullptr;
                }
            }
            continue;
        }
        Matrix *entry = stack.Push();
        if (entry == nullptr) return Fail(interp, kStackOverflow);
        if (MatrixFromObj(interp, objv[i], *entry) != TCL_OK) return BadArgument(interp, objv[i]);
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

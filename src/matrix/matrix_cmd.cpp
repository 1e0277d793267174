// matrix_cmd.cpp --
//
//     The matrix command: dispatch over its subcommand table, and the
//     subcommands that cut, measure and keep values (range, length, dt).
//     The geometry subcommands live in matrix_rigid_cmd.cpp.

#include "matrix/matrix_commands.h"

#include <atomic>
#include <string_view>

#include "core/tcl_support.h"
#include "matrix/matrix_kernels.h"
#include "matrix/matrix_fail.h"
#include "matrix/matrix_obj.h"
#include "matrix/matrix_range.h"
#include "matrix/matrix_subcommands.h"

namespace kelb {

namespace {

// The time step kept by "matrix dt", shared by every interpreter of the
// process in every thread, so it is written atomically. Nothing in the
// package reads it yet.
constinit std::atomic<double> matrixTimeStep{0.0};

// The subcommands in their fixed order, which Tcl's lookup message lists,
// with the fewest words each takes (counting "matrix" and the name) and
// its usage text; words past those are ignored. A null handler marks a
// name that is reserved but not implemented; it fails the same way
// whatever follows it.
const Subcommand kMatrixSubcommands[] = {
    {"range", MatrixRangeCmd, 4, 4, "range matrix size", kExtraIgnored},
    {"length", MatrixLengthCmd, 3, 3, "length vector", kExtraIgnored},
    {"integrate", nullptr},
    {"differentiate", nullptr},
    {"cramer", MatrixCramerCmd, 4, 4, "cramer <equations> <solutions>", kExtraIgnored},
    {"transform", MatrixTransformCmd, 5, 5, "transform <vectorlist> <rotation> <translation>",
     kExtraIgnored},
    {"canscale", MatrixCanscaleCmd, 5, 5, "canscale vectorlist offset scale", kExtraIgnored},
    {"dt", MatrixDtCmd, 3, 3, "dt value", kExtraIgnored},
    {"set", nullptr},
    {"vars", nullptr},
    {nullptr, nullptr},
};

// Reads the range list: every element an integer or the word "end"
// (kRangeEnd), all of them checked, the first four kept. Returns TCL_ERROR
// with Tcl's integer-conversion message for any other element.
int MatrixParseRange(Tcl_Interp *interp, Tcl_Obj *listPtr, MatrixRange &range, TclSize &count) {
    Tcl_Obj **items;
    if (Tcl_ListObjGetElements(interp, listPtr, &count, &items) != TCL_OK) return TCL_ERROR;
    int *fields[] = {&range.top, &range.left, &range.bottom, &range.right};
    for (TclSize i = 0; i < count; ++i) {
        int value;
        if (Tcl_GetIntFromObj(nullptr, items[i], &value) != TCL_OK) {
            if (std::string_view(Tcl_GetString(items[i])) != "end") {
                return Tcl_GetIntFromObj(interp, items[i], &value);
            }
            value = kRangeEnd;
        }
        if (i < 4) *fields[i] = value;
    }
    return TCL_OK;
}

}  // namespace

// Syntax: matrix range matrix {top left bottom right ?...?}
//
//     The block of rows left..right and, within them, positions
//     top..bottom, after clamping and ordering the indices.
int MatrixRangeCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    Matrix source;
    if (MatrixFromObj(interp, objv[2], source) != TCL_OK) return TCL_ERROR;
    MatrixRange range;
    TclSize count;
    if (MatrixParseRange(interp, objv[3], range, count) != TCL_OK) return TCL_ERROR;
    if (count < 4) return Fail(interp, kRangeTooShort);
    // Rows without elements have no last position to clamp to.
    if (source.cols() == 0) return Fail(interp, kEmptyMatrix);
    Matrix block;
    MatrixExtractRange(block, source, range);
    Tcl_SetObjResult(interp, MatrixToObj(block));
    return TCL_OK;
}

// Syntax: matrix length vector
//
//     The Euclidean length of a column vector (a flat list of numbers).
int MatrixLengthCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    Matrix vector;
    if (MatrixFromObj(interp, objv[2], vector) != TCL_OK) return TCL_ERROR;
    // A vector is one column; rows with no elements are none.
    if (vector.cols() != 1) return Fail(interp, kNonvectorOperand);
    Tcl_SetObjResult(interp, Tcl_NewDoubleObj(MatrixEuclideanLength(vector.elements())));
    return TCL_OK;
}

// Syntax: matrix dt value
//
//     Stores the time step; the result is empty. A value that is not a
//     number leaves the time step as it was.
int MatrixDtCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    double value;
    if (Tcl_GetDoubleFromObj(interp, objv[2], &value) != TCL_OK) return TCL_ERROR;
    matrixTimeStep.store(value, std::memory_order_relaxed);
    Tcl_ResetResult(interp);
    return TCL_OK;
}

// Syntax: matrix command ?arg ...?
//
//     Looks the subcommand up (unique abbreviations accepted), checks its
//     number of words and runs it.
int MatrixObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    const auto *entry = FindSubcommand(interp, objc, objv, kMatrixSubcommands, "command ?arg?");
    if (entry == nullptr) return TCL_ERROR;
    if (entry->handler == nullptr) return Fail(interp, kUnimplemented);
    return entry->handler(interp, objc, objv);
}

}  // namespace kelb

// matrix_obj.h --
//
//     Conversion of matrices from and to their Tcl form, a list of rows,
//     each row a list of numbers. A flat list of numbers is an n x 1 column
//     and a single number a 1 x 1 scalar.

#pragma once

#include <tcl.h>

#include "core/tcl_support.h"
#include "matrix/matrix_value.h"

namespace kelb {

// Prepares the conversions for use in interp; called by Matrix_Init.
void MatrixObjInit(Tcl_Interp *interp);

// Whether objPtr is a list with no text: its length is known without
// generating a string that may be long.
bool IsPureList(const Tcl_Obj *objPtr);

// The element objects a matrix of at most Matrix::kInlineElements elements
// and rows was read from, row by row; valid is false for a larger one.
// They live as long as the value read and its rows keep their list form.
struct ElementObjs {
    bool valid = false;
    Tcl_Obj *items[Matrix::kInlineElements];
};

// Reads objPtr into out, and its element objects into kept when given. On
// failure returns TCL_ERROR with the message in the interpreter result:
// Tcl's own for a malformed list or number, kColumnsNotUniform for rows of
// unequal length (judged against the first row), kEmptyMatrix for a value
// with no rows.
int MatrixFromObj(Tcl_Interp *interp, Tcl_Obj *objPtr, Matrix &out,
                  ElementObjs *kept = nullptr);

// Returns a new object (reference count 0) holding matrix in its Tcl form:
// a list of rows of doubles; an n x 1 column as a flat list of n doubles
// and a 1 x 1 matrix as one double, which read back the same.
Tcl_Obj *MatrixToObj(const Matrix &matrix);

// As MatrixToObj, for a matrix that holds the values read from source by
// MatrixFromObj, unchanged or transposed: element objects of the source
// whose text is the one a new double would get are reused rather than
// copied. The text of the result is the same either way.
Tcl_Obj *MatrixToObjFromSource(const Matrix &matrix, Tcl_Obj *source, bool transposed);

// Sets the interpreter result to the Tcl form of source, a matrix as
// MatrixFromObj read it with the valid element objects elements, or of
// its transpose: the element objects are reused where
// MatrixToObjFromSource would reuse them, and the value is not split
// again.
void SetResultFromElements(Tcl_Interp *interp, const Matrix &source,
                           const ElementObjs &elements, bool transposed);

// Sets the interpreter result to a list of the count objects items. The
// result object itself becomes the list when the interpreter alone holds
// it and it has no internal representation (as after Tcl_ResetResult),
// which spares making a new object and freeing the old one.
void SetListResult(Tcl_Interp *interp, TclSize count, Tcl_Obj *const items[]);

}  // namespace kelb

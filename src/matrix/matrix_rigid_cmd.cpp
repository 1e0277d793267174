// matrix_rigid_cmd.cpp --
//
//     The geometry and linear-solving subcommands of the matrix command:
//     cramer, transform and canscale. Each reads its arguments in order,
//     checks their shapes in a fixed order (the first failing check
//     decides the message), computes, and returns a matrix.

#include "core/tcl_support.h"
#include "matrix/matrix_fail.h"
#include "matrix/matrix_obj.h"
#include "matrix/matrix_rigid.h"
#include "matrix/matrix_solve.h"
#include "matrix/matrix_subcommands.h"

namespace kelb {

namespace {

bool Is3Vector(const Matrix &m) { return m.rows() == 3 && m.cols() == 1; }

// Reads objv[0], objv[1], ... into the given matrices in order. The &&
// stops at the first that fails, whose message is the result.
template <typename... Matrices>
int ReadMatrices(Tcl_Interp *interp, Tcl_Obj *const *objv, Matrices &...matrices) {
    return ((MatrixFromObj(interp, *objv++, matrices) == TCL_OK) && ...) ? TCL_OK : TCL_ERROR;
}

int SetResult(Tcl_Interp *interp, const Matrix &result) {
    Tcl_SetObjResult(interp, MatrixToObj(result));
    return TCL_OK;
}

}  // namespace

// Syntax: matrix cramer equations solutions
//
//     For an n x n system and a column of n right-hand sides, the n
//     determinants of the system with one column replaced by the
//     right-hand sides (Cramer's numerators; not divided).
int MatrixCramerCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    Matrix equations, solutions;
    if (ReadMatrices(interp, objv + 2, equations, solutions) != TCL_OK) return TCL_ERROR;
    // The right-hand sides are one column; rows without elements would
    // leave nothing to put in the replaced column.
    if (solutions.cols() != 1) return Fail(interp, kSolutionNotColumn);
    if (solutions.rows() != equations.rows()) return Fail(interp, kSolutionRowsDiffer);
    if (!equations.IsSquare()) return Fail(interp, kEquationsNotSquare);
    Matrix result(equations.rows(), 1);
    MatrixCramer(result.data(), equations.data(), solutions.data(), equations.rows());
    return SetResult(interp, result);
}

// Syntax: matrix transform vectorlist rotation translation
//
//     Rotates every point {x y z} of vectorlist by the angles rotation
//     (degrees about x, then y, then z) about the centre translation.
int MatrixTransformCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    Matrix points, rotation, centre;
    if (ReadMatrices(interp, objv + 2, points, rotation, centre) != TCL_OK) return TCL_ERROR;
    if (!Is3Vector(centre)) return Fail(interp, kTranslationNotVector);
    if (!Is3Vector(rotation)) return Fail(interp, kRotationNotVector);
    if (points.cols() != 3) return Fail(interp, kPointsNot3Columns);
    MatrixTransformVectors(points.elements(), rotation.data(), centre.data());
    return SetResult(interp, points);
}

// Syntax: matrix canscale vectorlist offset scale
//
//     Maps 2-D points to display coordinates, x to sx x + ox and y to
//     sy y + oy, as one flat list x0 y0 x1 y1 ... . A point list of one
//     column is a single point; otherwise each row is a point whose first
//     two positions are x and y.
int MatrixCanscaleCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    Matrix points, offset, scale;
    if (ReadMatrices(interp, objv + 2, points, offset, scale) != TCL_OK) return TCL_ERROR;
    if (offset.size() < 2) return Fail(interp, kOffsetTooShort);
    if (scale.size() < 2) return Fail(interp, kScaleTooShort);
    const bool onePoint = points.cols() == 1;
    if (onePoint ? points.rows() < 2 : points.cols() < 2) return Fail(interp, kPointsTooShort);
    const std::size_t count = onePoint ? 1 : static_cast<std::size_t>(points.rows());
    Matrix result(MatrixDimension(static_cast<std::int64_t>(2 * count)), 1);
    MatrixCanvasScale(result.data(), points.data(), count, static_cast<std::size_t>(points.cols()),
                      offset.data(), scale.data());
    return SetResult(interp, result);
}

}  // namespace kelb

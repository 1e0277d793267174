// matrix_init.cpp --
//
//     Matrix_Init: registers the commands of the matrix module.

#include "core/kelb.h"
#include "core/package_commands.h"
#include "matrix/matrix_commands.h"
#include "matrix/matrix_obj.h"

// Matrix_Init --
//
//     Registers mexpr and its aliases vector3 and vector2, which are the
//     same calculator under other names, then vexpr and matrix.
//
// Results:
//     TCL_OK; registration cannot fail.
int Matrix_Init(Tcl_Interp *interp) {
    using namespace kelb;
    MatrixObjInit(interp);
    CreatePackageCommand<MexprObjCmd>(interp, "mexpr");
    CreatePackageCommand<MexprObjCmd>(interp, "vector3");
    CreatePackageCommand<MexprObjCmd>(interp, "vector2");
    CreatePackageCommand<VexprObjCmd>(interp, "vexpr");
    CreatePackageCommand<MatrixObjCmd>(interp, "matrix");
    return TCL_OK;
}

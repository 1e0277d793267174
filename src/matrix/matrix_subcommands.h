// matrix_subcommands.h --
//
//     The subcommands of the matrix command, each called by MatrixObjCmd
//     with the command's whole argument vector once it has checked the
//     number of words. Each sets the interpreter result.

#pragma once

#include <tcl.h>

namespace kelb {

int MatrixRangeCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
int MatrixLengthCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
int MatrixDtCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
int MatrixCramerCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
int MatrixTransformCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
int MatrixCanscaleCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

}  // namespace kelb

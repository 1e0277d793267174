// matrix_commands.h --
//
//     The object command procedures of the matrix module.

#pragma once

#include <tcl.h>

namespace kelb {

int MexprObjCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
int VexprObjCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
int MatrixObjCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

}  // namespace kelb

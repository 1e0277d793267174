// kelb.h --
//
//     The package header: the module initialisations that the load entry
//     points call, one per module, each registering that module's commands
//     in the given interpreter. Each returns TCL_OK or TCL_ERROR.

#pragma once

#include <tcl.h>

int Matrix_Init(Tcl_Interp *interp);
int Process_Init(Tcl_Interp *interp);
int Device_Init(Tcl_Interp *interp);
int Tree_Init(Tcl_Interp *interp);

// process_cmd.h --
//
//     The process command's procedure, registered by Process_Init.

#pragma once

#include <tcl.h>

namespace kelb {

int ProcessObjCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

}  // namespace kelb

// serial_cmd.h --
//
//     The command procedure of "kelb::serial".

#pragma once

#include <tcl.h>

namespace kelb::serial {

int SerialObjCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

}  // namespace kelb::serial

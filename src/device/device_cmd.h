// device_cmd.h --
//
//     The command procedure of "device".

#pragma once

#include <tcl.h>

namespace kelb {

int DeviceObjCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

}  // namespace kelb

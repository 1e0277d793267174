// device_fail.h --
//
//     Raises the device module's failures in an interpreter.

#pragma once

#include <tcl.h>

#include "core/tcl_support.h"
#include "device/device_errors.h"

namespace kelb {

// Appends the failure's message for the port `name` to the interpreter
// result (a driver may have put text there first) and sets its code.
// Returns TCL_ERROR.
inline int DeviceFail(Tcl_Interp *interp, const Failure &failure, const char *name) {
    const ObjRef message(Tcl_ObjPrintf(failure.message, name));
    Tcl_AppendResult(interp, Tcl_GetString(message.get()), static_cast<char *>(nullptr));
    SetErrorCode(interp, {"DEVICE", failure.condition}, name);
    return TCL_ERROR;
}

}  // namespace kelb

// device_cmd.cpp --
//
//     The "device" command: the scripts' view of the port list. It lists
//     the ports, reports a port's type and description, resets a port, and
//     opens a port as a channel registered in the calling interpreter.

#include "device/device_cmd.h"

#include "core/tcl_support.h"
#include "device/device.h"
#include "device/device_fail.h"
#include "device/device_lists.h"

namespace kelb {

namespace {

// Syntax: device open port
//
//     The driver gets the interpreter and may run scripts in it, so the
//     interpreter is held across the call; if it was deleted meanwhile,
//     nothing can reach the new channel any more and it is closed again.
int DeviceOpenCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    InterpHold hold(interp);
    Tcl_Channel channel = DeviceOpenPort(interp, Tcl_GetString(objv[2]));
    int code = TCL_ERROR;
    if (channel != nullptr && Tcl_InterpDeleted(interp)) {
        Tcl_Close(nullptr, channel);
        constexpr const char *kDeleted = "attempt to call eval in deleted interpreter";
        Tcl_SetObjResult(interp, Tcl_NewStringObj(kDeleted, -1));
        Tcl_SetErrorCode(interp, "TCL", "IDELETE", kDeleted, static_cast<char *>(nullptr));
    } else if (channel != nullptr) {
        Tcl_RegisterChannel(interp, channel);
        // The channel name is the whole result, whatever the driver may
        // have left in the interpreter on success.
        Tcl_SetObjResult(interp, Tcl_NewStringObj(Tcl_GetChannelName(channel), -1));
        code = TCL_OK;
    }
    return code;
}

// Syntax: device names
//
//     Every port name followed by one space, in list order.
int DeviceNamesCmd(Tcl_Interp *interp, int, Tcl_Obj *const[]) {
    DString names;
    for (const std::string &name : DevicePorts().Names()) {
        Tcl_DStringAppend(names.get(), name.data(), static_cast<TclSize>(name.size()));
        Tcl_DStringAppend(names.get(), " ", 1);
    }
    names.MoveToResult(interp);
    return TCL_OK;
}

// Syntax: device reset port
int DeviceResetCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    return DeviceResetPort(interp, Tcl_GetString(objv[2]));
}

// The port that "type" and "desc" report on, or nothing after their
// message for a missing port.
std::optional<DevicePort> ReportedPort(Tcl_Interp *interp, Tcl_Obj *const objv[]) {
    const char *name = Tcl_GetString(objv[2]);
    std::optional<DevicePort> port = DeviceFindPort(name);
    if (!port) DeviceFail(interp, kUnknownPortToDescribe, name);
    return port;
}

// Syntax: device type port
int DeviceTypeCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    const std::optional<DevicePort> port = ReportedPort(interp, objv);
    if (!port) return TCL_ERROR;
    Tcl_SetObjResult(interp, Tcl_NewStringObj(port->driver->typeName, -1));
    return TCL_OK;
}

// Syntax: device desc port
int DeviceDescCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    const std::optional<DevicePort> port = ReportedPort(interp, objv);
    if (!port) return TCL_ERROR;
    const std::string &description = port->description;
    Tcl_SetObjResult(interp, Tcl_NewStringObj(description.data(),
                                              static_cast<TclSize>(description.size())));
    return TCL_OK;
}

// In this order, which the lookup message lists; each row with the words
// it reads, counting "device" and the subcommand. Words past those are
// ignored.
const Subcommand kDeviceSubcommands[] = {
    {"open", DeviceOpenCmd, 3, 3, "open port", kExtraIgnored},
    {"names", DeviceNamesCmd, 2, 2, "names", kExtraIgnored},
    {"reset", DeviceResetCmd, 3, 3, "reset port", kExtraIgnored},
    {"type", DeviceTypeCmd, 3, 3, "type port", kExtraIgnored},
    {"desc", DeviceDescCmd, 3, 3, "desc port", kExtraIgnored},
    {nullptr, nullptr},
};

}  // namespace

// Syntax: device command ?arg?
int DeviceObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return RunSubcommand(interp, objc, objv, kDeviceSubcommands, "command ?arg?");
}

}  // namespace kelb

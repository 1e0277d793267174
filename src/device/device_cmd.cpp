// device_cmd.cpp --
//
//     The "device" command: the scripts' view of the port list. It lists
//     the ports, reports a port's type and description, resets a port, and
//     opens a port as a channel registered in the calling interpreter.

#include "device/device_cmd.h"

#include "core/tcl_support.h"
#include "device/device.h"

namespace kelb {

namespace {

using DeviceHandler = int (*)(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

// The port name of a subcommand that needs one, or nullptr after a usage
// error naming the subcommand in full.
const char *PortArgument(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[],
                         const char *usage) {
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 1, objv, usage);
        return nullptr;
    }
    return Tcl_GetString(objv[2]);
}

// Syntax: device open port
int DeviceOpenCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    const char *name = PortArgument(interp, objc, objv, "open port");
    if (name == nullptr) return TCL_ERROR;
    Tcl_Channel channel = DeviceOpenPort(interp, name);
    if (channel == nullptr) return TCL_ERROR;
    Tcl_RegisterChannel(interp, channel);
    // The channel name is the whole result, whatever the driver may have
    // left in the interpreter on success.
    Tcl_SetObjResult(interp, Tcl_NewStringObj(Tcl_GetChannelName(channel), -1));
    return TCL_OK;
}

// Syntax: device names
//
//     Every port name followed by one space, in list order.
int DeviceNamesCmd(Tcl_Interp *interp, int, Tcl_Obj *const[]) {
    const DeviceRegistry &registry = DeviceRegistryGet();
    DString names;
    for (std::size_t i = 0; i < registry.portCount(); ++i) {
        const std::string &name = registry.port(i).name;
        Tcl_DStringAppend(names.get(), name.data(), static_cast<TclSize>(name.size()));
        Tcl_DStringAppend(names.get(), " ", 1);
    }
    names.MoveToResult(interp);
    return TCL_OK;
}

// Syntax: device reset port
int DeviceResetCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    const char *name = PortArgument(interp, objc, objv, "reset port");
    if (name == nullptr) return TCL_ERROR;
    return DeviceResetPort(interp, name);
}

// The port that "type" and "desc" report on, or nullptr after their
// message for a missing port.
const DevicePort *ReportedPort(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[],
                               const char *usage) {
    const char *name = PortArgument(interp, objc, objv, usage);
    if (name == nullptr) return nullptr;
    const DevicePort *port = DeviceFindPort(name);
    if (port == nullptr) Tcl_AppendResult(interp, "Unknown port: \"", name, "\"", nullptr);
    return port;
}

// Syntax: device type port
int DeviceTypeCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    const DevicePort *port = ReportedPort(interp, objc, objv, "type port");
    if (port == nullptr) return TCL_ERROR;
    Tcl_SetObjResult(interp, Tcl_NewStringObj(port->driver->typeName, -1));
    return TCL_OK;
}

// Syntax: device desc port
int DeviceDescCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    const DevicePort *port = ReportedPort(interp, objc, objv, "desc port");
    if (port == nullptr) return TCL_ERROR;
    const std::string &description = port->description;
    Tcl_SetObjResult(interp,
                     Tcl_NewStringObj(description.data(), static_cast<TclSize>(description.size())));
    return TCL_OK;
}

// In this order, which the lookup message lists.
const Subcommand<DeviceHandler> kDeviceSubcommands[] = {
    {"open", DeviceOpenCmd},   {"names", DeviceNamesCmd}, {"reset", DeviceResetCmd},
    {"type", DeviceTypeCmd},   {"desc", DeviceDescCmd},   {nullptr, nullptr},
};

}  // namespace

// Syntax: device command ?arg?
//
//     Words after the ones a subcommand uses are ignored.
int DeviceObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    const auto *entry = FindSubcommand(interp, objc, objv, kDeviceSubcommands, "command ?arg?");
    if (entry == nullptr) return TCL_ERROR;
    return entry->handler(interp, objc, objv);
}

}  // namespace kelb

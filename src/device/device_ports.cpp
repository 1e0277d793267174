// device_ports.cpp --
//
//     The native interface of the device module: registering ports in the
//     process's port list and instances in the calling thread's instance
//     list, and opening and resetting ports through their drivers.

#include <cerrno>

#include "device/device.h"
#include "device/device_fail.h"
#include "device/device_lists.h"

namespace kelb {

DevicePortStatus DeviceRegisterPort(std::string_view name, std::string_view description,
                                    const DeviceDriver *driver, void *driverData) {
    return DevicePorts().Add(name, description, driver, driverData);
}

bool DeviceUnregisterPort(std::string_view name) {
    return DevicePorts().Remove(name);
}

DeviceInstance *DeviceAddInstance(Tcl_Channel channel, const DeviceDriver *driver) {
    return DeviceThisThread().instances.AddInstance(channel, driver);
}

void DeviceRemoveInstance(DeviceInstance *instance) {
    DeviceThreadState *state = DeviceFindThisThread();
    if (state == nullptr) return;
    state->instances.RemoveInstance(instance);
    DeviceTidyThisThread();
}

std::optional<DevicePort> DeviceFindPort(std::string_view name) {
    return DevicePorts().Find(name);
}

namespace {

void AppendUnknownPort(Tcl_Interp *interp, const char *name) {
    if (interp != nullptr) DeviceFail(interp, kUnknownPortToUse, name);
}

}  // namespace

// DeviceOpenPort --
//
//     Asks the port's driver for a new channel.
//
// Results:
//     The channel, or nullptr with the reason appended to interp's result.
//
// Side effects:
//     On a failed open, errno and (with interp) the error code are set from
//     the driver's error number.
Tcl_Channel DeviceOpenPort(Tcl_Interp *interp, const char *name) {
    DeviceSharedPorts::Call call(DevicePorts(), name);
    const DevicePort *port = call.port();
    if (port == nullptr) {
        AppendUnknownPort(interp, name);
        return nullptr;
    }
    int errorCode = 0;
    Tcl_Channel channel = port->driver->openProc(interp, port->driverData, &errorCode);
    if (channel != nullptr) return channel;
    // A driver that fails without a reason would otherwise produce the
    // text of error number 0, which reads as success.
    Tcl_SetErrno(errorCode != 0 ? errorCode : EIO);
    if (interp != nullptr) {
        Tcl_AppendResult(interp, "Couldn't open \"", name, "\": ", Tcl_PosixError(interp), nullptr);
    }
    return nullptr;
}

// DeviceResetPort --
//
//     Resets a port through its driver; a driver without a reset
//     procedure makes this a no-op.
//
// Results:
//     TCL_OK, or TCL_ERROR with the message appended to interp's result
//     when there is no such port.
int DeviceResetPort(Tcl_Interp *interp, const char *name) {
    DeviceSharedPorts::Call call(DevicePorts(), name);
    const DevicePort *port = call.port();
    if (port == nullptr) {
        AppendUnknownPort(interp, name);
        return TCL_ERROR;
    }
    if (port->driver->resetProc != nullptr) (void)port->driver->resetProc(port->driverData);
    return TCL_OK;
}

}  // namespace kelb

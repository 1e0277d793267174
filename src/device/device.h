// device.h --
//
//     The interface through which native code built into the library adds
//     device ports and serves them. The package ships no driver; a driver
//     fills a DeviceDriver, registers its ports with DeviceRegisterPort,
//     and, for each channel that should get Tcl events, adds an instance
//     with DeviceAddInstance and removes it again before the channel goes
//     away.
//
//     Threads: the port list is one for the process; any thread may
//     register, unregister and open ports at any time. An instance belongs
//     to the thread that added it, like its channel: only that thread's
//     event source asks about it and notifies it, and only that thread
//     may remove it or change its mask.
//
//     These are C++ functions inside the library; the shared library itself
//     exports only its load entry points.

#pragma once

#include <tcl.h>

#include <optional>
#include <string_view>

#include "device/device_registry.h"

namespace kelb {

static_assert(kDeviceReadable == TCL_READABLE);

// One kind of device, shared by its ports and their instances. The driver
// keeps it alive for as long as any port or instance points to it.
struct DeviceDriver {
    // What "device type" returns for the driver's ports.
    const char *typeName;

    // Opens the port as a new channel of the calling thread, not yet
    // registered in any interpreter ("device open" registers it), under a
    // name no other channel of the process has (Tcl requires it per
    // thread; channels can move between threads). interp may be null when
    // native code opens a port. On failure returns nullptr and stores a
    // POSIX error number in *errorCode, leaving the interpreter result
    // alone. Threads may open ports of one driver at the same time.
    Tcl_Channel (*openProc)(Tcl_Interp *interp, void *driverData, int *errorCode);

    // Resets the device; its result is ignored. May be null: resetting is
    // then a no-op. Threads may call it at the same time.
    int (*resetProc)(void *driverData);

    // Nonzero when the instance has input ready. Called in the instance's
    // thread on every pass of its event loop, so it must be cheap, must not
    // block, and must not run scripts or add or remove instances.
    int (*readyProc)(DeviceInstance *instance);
};

// Adds a port served by driver. Fails with BadName for a name that is
// empty or would not read back as one word from "device names" (white
// space, control characters, or any of {}[]"\$;), and with Duplicate when
// the name is taken. Ports are listed in the order they were added.
// driverData must stay valid until DeviceUnregisterPort returns.
DevicePortStatus DeviceRegisterPort(std::string_view name, std::string_view description,
                                    const DeviceDriver *driver, void *driverData);

// Removes a port; channels opened on it stay as they are. Returns whether
// the port existed. Waits for calls into the port's driver that other
// threads have under way, so driverData may be freed once it returns; a
// driver must therefore not call it from its own procedures for a port
// that another thread may be calling into at the same time.
bool DeviceUnregisterPort(std::string_view name);

// Puts an open channel of the calling thread on that thread's instance
// list, so that the thread's event source asks driver->readyProc about it
// and notifies the channel when it has input and a readable handler
// waits. The driver sets instance->mask from its channel's watchProc. The
// record is the module's; it stays valid until DeviceRemoveInstance, which
// the driver must call in the same thread before the channel is freed
// (from its close2Proc at the latest) or handed to another thread (from
// its threadActionProc on TCL_CHANNEL_THREAD_REMOVE, adding a new instance
// on TCL_CHANNEL_THREAD_INSERT). An event already queued for a removed
// instance is dropped.
DeviceInstance *DeviceAddInstance(Tcl_Channel channel, const DeviceDriver *driver);
void DeviceRemoveInstance(DeviceInstance *instance);

// A copy of the port named name, or nothing.
std::optional<DevicePort> DeviceFindPort(std::string_view name);

// Opens a port through its driver. Returns the channel, or nullptr after
// appending to interp's result (when interp is given) either
// 'unknown port "name": ', with the error code {KELB DEVICE PORT name},
// or 'Couldn't open "name": ' and the POSIX error text; in the second case
// errno and the interpreter's error code ({POSIX ENAME text}) are set from
// the driver's error number.
Tcl_Channel DeviceOpenPort(Tcl_Interp *interp, const char *name);

// Resets a port through its driver, if the driver can; TCL_OK, or
// TCL_ERROR after appending 'unknown port "name": ' to interp's result
// and setting its error code to {KELB DEVICE PORT name}.
int DeviceResetPort(Tcl_Interp *interp, const char *name);

}  // namespace kelb

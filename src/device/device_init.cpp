// device_init.cpp --
//
//     Device_Init: registers the "device" command and the device event
//     source in an interpreter.

#include "core/kelb.h"
#include "core/tcl_support.h"
#include "device/device_cmd.h"
#include "device/device_source.h"

namespace {

// The command's delete procedure withdraws the registration its
// interpreter made. All registrations are alike (no client data), so
// removing any one of them keeps the count right, and the source holds no
// per-interpreter state that could outlive the interpreter.
void DeviceCmdDeleted(ClientData) {
    Tcl_DeleteEventSource(kelb::DeviceSetupProc, kelb::DeviceCheckProc, nullptr);
}

}  // namespace

// Device_Init --
//
//     Registers "device" and one registration of the event source. A
//     "device" command already in the interpreter is replaced, and its
//     deletion withdraws the registration that came with it.
//
// Results:
//     TCL_OK; registration cannot fail.
int Device_Init(Tcl_Interp *interp) {
    using namespace kelb;
    CreateObjCommand<DeviceObjCmd>(interp, "device", nullptr, DeviceCmdDeleted);
    Tcl_CreateEventSource(DeviceSetupProc, DeviceCheckProc, nullptr);
    return TCL_OK;
}

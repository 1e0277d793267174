// device_init.cpp --
//
//     Device_Init: registers the "device" command and the device event
//     source in an interpreter.

#include "core/kelb.h"
#include "core/package_commands.h"
#include "device/device_cmd.h"
#include "device/device_source.h"

#include <new>

namespace {

// The command's client data counts the names it has in the interpreter;
// deleting the last one withdraws the registration of the event source
// that came with them. All registrations are alike, so removing any one
// of them keeps the count right, and the source holds no per-interpreter
// state that could outlive the interpreter.
void DeviceCmdDeleted(ClientData clientData) {
    int *names = static_cast<int *>(clientData);
    if (--*names > 0) return;
    delete names;
    Tcl_DeleteEventSource(kelb::DeviceSetupProc, kelb::DeviceCheckProc, nullptr);
}

}  // namespace

// Device_Init --
//
//     Registers "device" and one registration of the event source, which
//     stays until every name of the command is deleted.
//
// Results:
//     TCL_OK; TCL_ERROR when memory runs out.
int Device_Init(Tcl_Interp *interp) {
    using namespace kelb;
    int *names = new (std::nothrow) int(0);
    if (names == nullptr) return Fail(interp, "not enough memory", kNoMemory);
    *names = CreatePackageCommand<DeviceObjCmd>(interp, "device", names, DeviceCmdDeleted);
    Tcl_CreateEventSource(DeviceSetupProc, DeviceCheckProc, nullptr);
    return TCL_OK;
}

// serial_init.cpp --
//
//     The load entry point of the serial driver package. It takes Kelb's
//     interface table (loading Kelb when needed), registers the machine's
//     serial ports, and adds the "kelb::serial" command. Loading it again,
//     in another interpreter or thread, scans again.

#include <tcl.h>

#include "core/tcl_support.h"
#include "kelbDevice.h"
#include "serial/serial_cmd.h"
#include "serial/serial_ports.h"

// Kelbserial_Init --
//
// Results:
//     TCL_OK, or TCL_ERROR when Kelb cannot be loaded or offers no device
//     interface this package can use.
extern "C" __attribute__((visibility("default"))) int Kelbserial_Init(Tcl_Interp *interp) {
    using namespace kelb;
    if (Tcl_InitStubs(interp, TCL_VERSION, 0) == nullptr) return TCL_ERROR;
    const KelbApi *api = Kelb_RequireApi(interp, "1.2");
    if (api == nullptr) return TCL_ERROR;
    const KelbDeviceApi *device = KelbDevice_Api(interp, api);
    if (device == nullptr) return TCL_ERROR;
    serial::SerialPortsAttach(device);
    return GuardCommand(interp, [&] {
        serial::SerialRescan(serial::SerialRoots{});
        CreateObjCommand<serial::SerialObjCmd>(interp, "::kelb::serial");
        return Tcl_PkgProvide(interp, "Kelb::serial", KELB_SERIAL_VERSION);
    });
}

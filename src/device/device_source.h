// device_source.h --
//
//     The device module's Tcl event source, which turns driver readiness
//     into channel notifications. Every interpreter that has the "device"
//     command holds one registration of it.

#pragma once

#include <tcl.h>

namespace kelb {

// How long the notifier may sleep while some instance is watched for
// input and none is ready. Drivers report readiness only when asked, so
// input that arrives while the notifier sleeps is seen within this time.
inline constexpr int kDevicePollMillis = 10;

void DeviceSetupProc(ClientData clientData, int flags);
void DeviceCheckProc(ClientData clientData, int flags);

}  // namespace kelb

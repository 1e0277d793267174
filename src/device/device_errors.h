// device_errors.h --
//
//     The failures of the device module, {KELB DEVICE <condition>
//     ?detail?}: a closed list, which the manual page lists. A driver that
//     cannot open a port is reported with Tcl's own POSIX code instead, as
//     Tcl's "open" reports a file. Free of Tcl; device_fail.h raises
//     them.

#pragma once

#include "core/failure.h"

namespace kelb {

// Each message is a format whose %s is the port name, which is also the
// code's detail.
inline constexpr Failure kDeviceFailures[] = {
    // open or reset of a name that is no port.
    {"unknown port \"%s\": ", "PORT"},
    // type or desc of a name that is no port.
    {"Unknown port: \"%s\"", "PORT"},
};
inline constexpr const Failure &kUnknownPortToUse = kDeviceFailures[0];
inline constexpr const Failure &kUnknownPortToDescribe = kDeviceFailures[1];

}  // namespace kelb

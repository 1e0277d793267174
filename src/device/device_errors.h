// device_errors.h --
//
//     The error codes of the device module, {KELB DEVICE <condition>
//     ?detail?}: a closed list, which the manual page lists. A driver that
//     cannot open a port is reported with Tcl's own POSIX code instead, as
//     Tcl's "open" reports a file.

#pragma once

#include "core/tcl_support.h"

namespace kelb {

// No port has the name; the detail is the name.
inline constexpr ErrorCode kDevicePortError{"DEVICE", "PORT"};

}  // namespace kelb

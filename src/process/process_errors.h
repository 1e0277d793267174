// process_errors.h --
//
//     The failures of the process command, {KELB PROCESS <condition>
//     ?detail?}: a closed list, which the manual page lists.

#pragma once

#include "core/failure.h"

namespace kelb {

inline constexpr Failure kProcessFailures[] = {
    // reset, configure or stats with a pid that is no process; the detail
    // is the pid word.
    {"Bad Process ID", "PID"},
    // create found no pid left to give.
    {"Error In Creating New Process", "CREATE"},
};

}  // namespace kelb

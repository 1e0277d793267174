// device_lists.h --
//
//     Where the device module's binding keeps its lists: one port list for
//     the whole process, which drivers fill from any thread; and one
//     instance list per thread, because an instance's channel belongs to
//     the thread that opened it and only that thread's event source may
//     poll and notify it.

#pragma once

#include "device/device_registry.h"
#include "device/device_shared_ports.h"

namespace kelb {

// The port list of the process: created on first use, never freed.
DeviceSharedPorts &DevicePorts();

// What the module keeps for one thread that has instances: the instances,
// when its event source last asked their drivers, and whether a pass of
// the source is walking the list (which must then outlive the walk).
struct DeviceThreadState {
    DeviceInstanceList instances;
    DevicePollGate pollGate;
    int walks = 0;
};

// The calling thread's state, made on first use. The states of all
// threads sit in one process-wide table rather than in thread-local
// storage: Tcl may close a thread's last channels after it has freed the
// thread's Tcl data, and the sanitizers' leak check cannot always walk the
// dynamic thread-local storage of a loaded library.
DeviceThreadState &DeviceThisThread();

// The calling thread's state, or nullptr while it has none.
DeviceThreadState *DeviceFindThisThread();

// Frees the calling thread's state once it has no instances and no walk
// is under way, so that a thread's end leaves nothing behind.
void DeviceTidyThisThread();

}  // namespace kelb

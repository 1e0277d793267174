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

// What the module keeps for one thread: its instances, and when its event
// source last asked their drivers.
struct DeviceThreadState {
    DeviceInstanceList instances;
    DevicePollGate pollGate;
};

// The state of the calling thread: created on the thread's first use,
// freed when the thread ends.
DeviceThreadState &DeviceThisThread();

inline DeviceInstanceList &DeviceThreadInstances() {
    return DeviceThisThread().instances;
}

}  // namespace kelb

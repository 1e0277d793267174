// device_lists.cpp --
//
//     The process's port list and the per-thread instance lists.

#include "device/device_lists.h"

#include <tcl.h>

#include <new>

namespace kelb {

// The port list sits in static storage and is never destroyed: ports may
// still be unregistered (an exit handler of a driver) after static
// destructors would have run. Holding no storage while empty, it leaves
// nothing behind when Tcl unloads the library at finalization.
DeviceSharedPorts &DevicePorts() {
    alignas(DeviceSharedPorts) static unsigned char storage[sizeof(DeviceSharedPorts)];
    static DeviceSharedPorts *const ports = new (storage) DeviceSharedPorts;
    return *ports;
}

namespace {

// What the module keeps per thread, in Tcl's thread data, which Tcl frees
// only after the thread's channels are closed at its end: closing them
// takes their instances off this list.
struct DeviceThreadData {
    bool constructed;  // Tcl hands out the block zeroed
    alignas(DeviceThreadState) unsigned char state[sizeof(DeviceThreadState)];
};

Tcl_ThreadDataKey threadDataKey;

}  // namespace

DeviceThreadState &DeviceThisThread() {
    auto *data = static_cast<DeviceThreadData *>(
        Tcl_GetThreadData(&threadDataKey, sizeof(DeviceThreadData)));
    if (!data->constructed) {
        new (data->state) DeviceThreadState;
        data->constructed = true;
    }
    return *std::launder(reinterpret_cast<DeviceThreadState *>(data->state));
}

}  // namespace kelb

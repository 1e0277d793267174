// device_lists.cpp --
//
//     The process's port list and the per-thread instance lists.

#include "device/device_lists.h"

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

// A C++ thread-local object rather than Tcl's thread data: Tcl frees its
// thread data at finalization before the interpreters, whose deletion
// closes the last channels and takes their instances off this list. The
// object goes at the very end of the thread, after Tcl has closed them.
DeviceThreadState &DeviceThisThread() {
    thread_local DeviceThreadState state;
    return state;
}

}  // namespace kelb

// device_lists.cpp --
//
//     The process's port list and the per-thread instance lists.

#include "device/device_lists.h"

#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>

namespace kelb {

namespace {

// Static storage that is never destroyed: ports may still be unregistered
// and channels closed (an exit handler, Tcl's finalization) after static
// destructors would have run.
template <typename T>
T &Immortal() {
    alignas(T) static unsigned char storage[sizeof(T)];
    static T *const object = new (storage) T;
    return *object;
}

// The states of the threads that have instances. Only a thread itself
// adds or removes its entry; the lock guards the table, not the states.
// Unlike every other per-thread state of the package this is not in Tcl's
// thread data: Tcl frees that before the interpreters whose deletion
// closes a thread's last channels, and closing one takes its instance
// off this table.
struct ThreadStates {
    std::mutex mutex;
    std::unordered_map<std::thread::id, std::unique_ptr<DeviceThreadState>> byThread;
};

}  // namespace

DeviceSharedPorts &DevicePorts() {
    // Owned by the module, never freed; any thread, under its own lock.
    return Immortal<DeviceSharedPorts>();
}

DeviceThreadState &DeviceThisThread() {
    ThreadStates &states = Immortal<ThreadStates>();
    std::lock_guard lock(states.mutex);
    auto &state = states.byThread[std::this_thread::get_id()];
    if (state == nullptr) state = std::make_unique<DeviceThreadState>();
    return *state;
}

DeviceThreadState *DeviceFindThisThread() {
    ThreadStates &states = Immortal<ThreadStates>();
    std::lock_guard lock(states.mutex);
    auto it = states.byThread.find(std::this_thread::get_id());
    return it == states.byThread.end() ? nullptr : it->second.get();
}

void DeviceTidyThisThread() {
    ThreadStates &states = Immortal<ThreadStates>();
    std::lock_guard lock(states.mutex);
    auto it = states.byThread.find(std::this_thread::get_id());
    if (it == states.byThread.end()) return;
    const DeviceThreadState &state = *it->second;
    if (state.instances.instanceCount() != 0 || state.walks != 0) return;
    states.byThread.erase(it);
    if (states.byThread.empty()) decltype(states.byThread)().swap(states.byThread);
}

}  // namespace kelb

// device_source.cpp --
//
//     The event source of the device module. Setup keeps the notifier from
//     sleeping while an instance has input ready (and from sleeping long
//     while one is watched for input); check queues one event per ready,
//     watched instance that has none outstanding; the event's handler
//     notifies the instance's channel, whose handlers then run from the
//     event loop.

#include "device/device_source.h"

#include <time.h>

#include <new>

#include "device/device.h"
#include "device/device_lists.h"

namespace kelb {

namespace {

// A queued notification. It names its instance by address and serial and
// owns nothing, so Tcl may free it unserviced (at exit) and a record freed
// meanwhile is never touched: the handler only uses an instance it finds
// in the list.
struct DeviceEvent {
    Tcl_Event header;          // must come first: Tcl sees only this
    DeviceInstance *instance;  // the instance it was queued for
    std::uint64_t serial;      // that instance's serial
};

bool DeviceReady(DeviceInstance &instance) {
    return instance.driver->readyProc(&instance) != 0;
}

// DeviceEventProc --
//
//     Services a queued notification: if its instance is still listed,
//     clears the pending flag and notifies the channel with the
//     instance's whole mask.
//
// Results:
//     0 (stay queued) when file events are not being serviced, else 1; an
//     event whose instance has left the list is consumed silently.
//
// Side effects:
//     Runs the channel's handlers, which may close the channel and so
//     remove and free the instance.
int DeviceEventProc(Tcl_Event *evPtr, int flags) {
    if ((flags & TCL_FILE_EVENTS) == 0) return 0;
    const auto *event = reinterpret_cast<DeviceEvent *>(evPtr);
    const DeviceThreadState *state = DeviceFindThisThread();
    DeviceInstance *instance =
        state == nullptr ? nullptr : state->instances.FindInstance(event->instance, event->serial);
    if (instance == nullptr) return 1;
    instance->pending = false;
    // The instance is not touched once the handlers have run. Tcl keeps
    // the channel itself alive during the call.
    Tcl_NotifyChannel(instance->channel, instance->mask);
    return 1;
}

std::uint64_t MonotonicMicros() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

// Keeps the thread's state, and so its list, alive while a pass walks it,
// even should a driver break its contract and remove instances meanwhile.
class ThreadWalk {
public:
    explicit ThreadWalk(DeviceThreadState &state) : state_(state) { ++state_.walks; }
    ~ThreadWalk() {
        --state_.walks;
        DeviceTidyThisThread();
    }
    ThreadWalk(const ThreadWalk &) = delete;
    ThreadWalk &operator=(const ThreadWalk &) = delete;

private:
    DeviceThreadState &state_;
};

// Whether this pass may ask the drivers. A pass that must not wait
// (update) always asks, so that input a script has just caused is seen
// at once; a waiting pass asks when the poll gate allows.
bool MayAskDrivers(const DeviceThreadState &state, int flags, std::uint64_t now) {
    return (flags & TCL_DONT_WAIT) != 0 || state.pollGate.MayAsk(now);
}

void QueueDeviceEvent(DeviceInstance &instance) {
    // Tcl frees serviced events with Tcl_Free, so they come from Tcl_Alloc.
    auto *event = new (Tcl_Alloc(sizeof(DeviceEvent)))
        DeviceEvent{{DeviceEventProc, nullptr}, &instance, instance.serial};
    Tcl_QueueEvent(&event->header, TCL_QUEUE_TAIL);
}

}  // namespace

// DeviceSetupProc --
//
//     With file events wanted: no wait at all when an instance is ready,
//     a short one when an instance is watched for input, else no limit.
//     While the poll gate holds the drivers' last "none ready", a waiting
//     pass does not ask them again and waits at most until the gate opens.
//     Block times are whole milliseconds, which no notifier rounds down
//     into a spin.
void DeviceSetupProc(ClientData, int flags) {
    if ((flags & TCL_FILE_EVENTS) == 0) return;
    DeviceThreadState *found = DeviceFindThisThread();
    if (found == nullptr) return;
    DeviceThreadState &state = *found;
    const std::uint64_t now = MonotonicMicros();
    Tcl_Time blockTime = {0, 0};
    if (!MayAskDrivers(state, flags, now)) {
        blockTime.usec = static_cast<long>((DevicePollGate::kQuietMicros + 999) / 1000 * 1000);
        Tcl_SetMaxBlockTime(&blockTime);
        return;
    }
    DeviceWake wake;
    {
        ThreadWalk walk(state);
        wake = state.instances.WakeNeeded(DeviceReady);
        state.pollGate.Answered(wake == DeviceWake::Now, now);
    }
    switch (wake) {
    case DeviceWake::Sleep: return;
    case DeviceWake::Poll: blockTime.usec = kDevicePollMillis * 1000; break;
    case DeviceWake::Now: break;
    }
    Tcl_SetMaxBlockTime(&blockTime);
}

// DeviceCheckProc --
//
//     With file events wanted, and the drivers to be asked, queues a
//     notification for every instance that is watched for input, ready,
//     and has none outstanding.
void DeviceCheckProc(ClientData, int flags) {
    if ((flags & TCL_FILE_EVENTS) == 0) return;
    DeviceThreadState *state = DeviceFindThisThread();
    if (state == nullptr || !MayAskDrivers(*state, flags, MonotonicMicros())) return;
    ThreadWalk walk(*state);
    state->instances.QueueReady(DeviceReady, QueueDeviceEvent);
}

}  // namespace kelb

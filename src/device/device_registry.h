// device_registry.h --
//
//     The records of the device module and the lists that hold them, in
//     plain C++: the port list (named ports, each served by a driver) and
//     the instance list (channels that take part in event notification).
//     The Tcl binding keeps one port list for the process and one instance
//     list per thread; the unit tests make their own. Drivers are only
//     pointed at here; their procedures are called by the binding, through
//     the callables the polling helpers take.

#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The channel handle of tcl.h, declared the same way so that this header
// needs no Tcl.
typedef struct Tcl_Channel_ *Tcl_Channel;

namespace kelb {

struct DeviceDriver;  // the driver's procedures; see device/device.h

// The event-mask bit for input, the value of TCL_READABLE (checked
// against tcl.h where both are visible).
inline constexpr int kDeviceReadable = 1 << 1;

// One named port, served by a driver. Once the port is listed only calls
// changes.
struct DevicePort {
    std::string name;            // matched exactly, whole and case-sensitive
    std::string description;     // what "device desc" returns
    void *driverData;            // handed unchanged to openProc and resetProc
    const DeviceDriver *driver;  // the port's driver
    int calls = 0;               // calls into the driver under way, in any
                                 // thread; removal waits for them to end
};

// One channel that takes part in event notification. The driver that
// added it keeps mask current (from its channel's watchProc); the event
// source owns pending.
struct DeviceInstance {
    Tcl_Channel channel;         // the channel to notify
    int mask;                    // TCL_READABLE/TCL_WRITABLE/TCL_EXCEPTION bits of interest
    bool pending;                // an event for it is queued and not yet serviced
    const DeviceDriver *driver;  // whose readyProc is asked
    std::uint64_t serial;        // identity, never reused in the process, so
                                 // that a queued event cannot mistake a later
                                 // record at the same address for its own
};

// Why a port could not be added.
enum class DevicePortStatus {
    Added,
    BadName,    // empty, or would not read back as one word of "device names"
    Duplicate,  // a port of that name exists
};

// What the event source's setup asks of the notifier.
enum class DeviceWake {
    Sleep,  // nothing to wait for: block as long as others allow
    Poll,   // an instance is watched for input: look again soon
    Now,    // an instance has input ready: do not block
};

// Keeps the event source from asking the drivers again and again while
// the event loop spins: Tcl 9's epoll notifier rounds block times down to
// whole milliseconds, so a timer due in under a millisecond makes it pass
// without sleeping until then. Once the drivers have all said they have no
// input, they are not asked again for kQuietMicros; a ready instance is
// asked about at every pass. Times are microseconds of a monotonic clock.
class DevicePollGate {
public:
    static constexpr std::uint64_t kQuietMicros = 1000;

    bool MayAsk(std::uint64_t nowMicros) const noexcept {
        return !quiet_ || nowMicros - quietSince_ >= kQuietMicros;
    }
    // What asking the drivers found.
    void Answered(bool anyReady, std::uint64_t nowMicros) noexcept {
        quiet_ = !anyReady;
        quietSince_ = nowMicros;
    }

private:
    bool quiet_ = false;            // the last answer was "none ready"
    std::uint64_t quietSince_ = 0;  // when it was given
};

// A port name must be one word that reads back as itself from the
// space-separated list "device names" gives: not empty, no white space,
// no control characters, none of the characters Tcl quotes in lists.
bool DevicePortNameValid(std::string_view name);

// The ports, in the order they were added. Plain data: the binding keeps
// one for the whole process, behind a lock.
class DevicePortList {
public:
    DevicePortList() = default;
    DevicePortList(const DevicePortList &) = delete;
    DevicePortList &operator=(const DevicePortList &) = delete;

    DevicePortStatus AddPort(std::string_view name, std::string_view description,
                             const DeviceDriver *driver, void *driverData);
    // Takes the port of that name off the list and hands it over, or
    // nullptr when there is none.
    std::unique_ptr<DevicePort> TakePort(std::string_view name);
    DevicePort *FindPort(std::string_view name) const;
    std::size_t portCount() const noexcept { return ports_.size(); }
    const DevicePort &port(std::size_t index) const { return *ports_[index]; }

private:
    std::vector<std::unique_ptr<DevicePort>> ports_;
};

// The instances, in the order they were added. Plain data: the binding
// keeps one per thread, since an instance's channel belongs to a thread.
class DeviceInstanceList {
public:
    DeviceInstanceList() = default;
    DeviceInstanceList(const DeviceInstanceList &) = delete;
    DeviceInstanceList &operator=(const DeviceInstanceList &) = delete;

    // The record stays valid until RemoveInstance; its mask starts at 0.
    // Its serial is new in the whole process.
    DeviceInstance *AddInstance(Tcl_Channel channel, const DeviceDriver *driver);
    // Returns whether the record was in the list; it is freed if so.
    bool RemoveInstance(const DeviceInstance *instance);
    // The listed record at that address with that serial, or nullptr.
    DeviceInstance *FindInstance(const DeviceInstance *instance, std::uint64_t serial) const;
    std::size_t instanceCount() const noexcept { return instances_.size(); }
    DeviceInstance &instance(std::size_t index) const { return *instances_[index]; }

    // Asks ready(instance) of each instance in order and stops at the first
    // that reports input: Now. Otherwise Poll when some instance is watched
    // for input, else Sleep. The mask does not matter to Now: a ready
    // instance keeps the notifier awake even when nobody waits for it.
    template <typename Ready>
    DeviceWake WakeNeeded(Ready &&ready) const;

    // For each instance, in order, that is watched for input, not pending
    // and ready: marks it pending and calls queue(instance). So at most one
    // event per instance is outstanding.
    template <typename Ready, typename Queue>
    void QueueReady(Ready &&ready, Queue &&queue) const;

private:
    std::vector<std::unique_ptr<DeviceInstance>> instances_;
};

// The loops index afresh on every step and look again after asking the
// driver, so that a readyProc that breaks its contract by adding or
// removing instances cannot make them touch a freed record.

template <typename Ready>
DeviceWake DeviceInstanceList::WakeNeeded(Ready &&ready) const {
    bool watched = false;
    for (std::size_t i = 0; i < instances_.size(); ++i) {
        DeviceInstance &candidate = *instances_[i];
        watched = watched || (candidate.mask & kDeviceReadable) != 0;
        if (ready(candidate)) return DeviceWake::Now;
    }
    return watched ? DeviceWake::Poll : DeviceWake::Sleep;
}

template <typename Ready, typename Queue>
void DeviceInstanceList::QueueReady(Ready &&ready, Queue &&queue) const {
    for (std::size_t i = 0; i < instances_.size(); ++i) {
        DeviceInstance &candidate = *instances_[i];
        if ((candidate.mask & kDeviceReadable) == 0 || candidate.pending) continue;
        if (!ready(candidate)) continue;
        if (i >= instances_.size() || instances_[i].get() != &candidate) continue;
        candidate.pending = true;
        queue(candidate);
    }
}

}  // namespace kelb

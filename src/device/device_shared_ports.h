// device_shared_ports.h --
//
//     The port list as every thread of the process sees it: one list, any
//     thread may add, remove, look up or open ports at any time, so every
//     access holds a lock. Calls into a driver are made without the lock,
//     and a port being removed is kept until the calls into it that other
//     threads have under way are over, so that a driver may free its
//     driverData as soon as its port is unregistered. Plain C++: the
//     binding keeps one for the process; the unit tests make their own.

#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "device/device_registry.h"

namespace kelb {

class DeviceSharedPorts {
public:
    DeviceSharedPorts() = default;
    DeviceSharedPorts(const DeviceSharedPorts &) = delete;
    DeviceSharedPorts &operator=(const DeviceSharedPorts &) = delete;

    DevicePortStatus Add(std::string_view name, std::string_view description,
                         const DeviceDriver *driver, void *driverData);

    // Takes the port off the list and returns whether it was there. Waits
    // until no other thread is calling into it; calls of this thread (a
    // driver removing its own port from inside openProc) go on with the
    // record, which the last of them frees.
    bool Remove(std::string_view name);

    // A copy of the port's record, or nothing.
    std::optional<DevicePort> Find(std::string_view name) const;

    // The port names in list order.
    std::vector<std::string> Names() const;

    // One call into a port's driver, from lookup to end of scope: while it
    // lives, port() and its driverData stay valid whatever other threads
    // do. port() is null when there is no such port.
    class Call {
    public:
        Call(DeviceSharedPorts &ports, std::string_view name);
        ~Call();
        Call(const Call &) = delete;
        Call &operator=(const Call &) = delete;
        const DevicePort *port() const noexcept { return port_; }

    private:
        DeviceSharedPorts &ports_;
        const DevicePort *port_;
    };

private:
    // One call under way: the port it is into and the thread making it.
    struct Busy {
        const DevicePort *port;
        std::thread::id thread;
    };

    bool BusyInOtherThread(const DevicePort *port) const;
    bool BusyAnywhere(const DevicePort *port) const;

    mutable std::mutex mutex_;             // guards everything below
    std::condition_variable callEnded_;    // a Busy entry went away
    DevicePortList list_;                  // the listed ports
    std::vector<Busy> busy_;               // calls under way
    std::vector<std::unique_ptr<DevicePort>> removed_;  // unlisted, still in a call
};

}  // namespace kelb

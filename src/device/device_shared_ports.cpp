// device_shared_ports.cpp --
//
//     The port list shared by the threads of the process, behind its lock.

#include "device/device_shared_ports.h"

#include <algorithm>

namespace kelb {

DevicePortStatus DeviceSharedPorts::Add(std::string_view name, std::string_view description,
                                        const DeviceDriver *driver, void *driverData) {
    std::lock_guard lock(mutex_);
    return list_.AddPort(name, description, driver, driverData);
}

bool DeviceSharedPorts::Remove(std::string_view name) {
    std::unique_lock lock(mutex_);
    std::unique_ptr<DevicePort> port = list_.TakePort(name);
    if (port == nullptr) return false;
    callEnded_.wait(lock, [&] { return !BusyInOtherThread(port.get()); });
    if (BusyAnywhere(port.get())) removed_.push_back(std::move(port));
    return true;
}

std::optional<DevicePort> DeviceSharedPorts::Find(std::string_view name) const {
    std::lock_guard lock(mutex_);
    const DevicePort *port = list_.FindPort(name);
    if (port == nullptr) return std::nullopt;
    return *port;
}

std::vector<std::string> DeviceSharedPorts::Names() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    names.reserve(list_.portCount());
    for (std::size_t i = 0; i < list_.portCount(); ++i) names.push_back(list_.port(i).name);
    return names;
}

bool DeviceSharedPorts::BusyInOtherThread(const DevicePort *port) const {
    const std::thread::id self = std::this_thread::get_id();
    return std::any_of(busy_.begin(), busy_.end(), [&](const Busy &busy) {
        return busy.port == port && busy.thread != self;
    });
}

bool DeviceSharedPorts::BusyAnywhere(const DevicePort *port) const {
    return std::any_of(busy_.begin(), busy_.end(),
                       [&](const Busy &busy) { return busy.port == port; });
}

DeviceSharedPorts::Call::Call(DeviceSharedPorts &ports, std::string_view name)
    : ports_(ports) {
    std::lock_guard lock(ports_.mutex_);
    port_ = ports_.list_.FindPort(name);
    if (port_ != nullptr) ports_.busy_.push_back({port_, std::this_thread::get_id()});
}

DeviceSharedPorts::Call::~Call() {
    if (port_ == nullptr) return;
    {
        std::lock_guard lock(ports_.mutex_);
        auto &busy = ports_.busy_;
        const std::thread::id self = std::this_thread::get_id();
        // Calls of one thread on one port end innermost first; any entry
        // of the pair will do.
        busy.erase(std::find_if(busy.begin(), busy.end(), [&](const Busy &entry) {
            return entry.port == port_ && entry.thread == self;
        }));
        if (!ports_.BusyAnywhere(port_)) {
            std::erase_if(ports_.removed_,
                          [this](const auto &removed) { return removed.get() == port_; });
        }
        // Nothing stays allocated between calls, so that the list leaves
        // nothing behind when Tcl unloads the library.
        if (busy.empty()) std::vector<Busy>().swap(busy);
        if (ports_.removed_.empty()) decltype(ports_.removed_)().swap(ports_.removed_);
    }
    ports_.callEnded_.notify_all();
}

}  // namespace kelb

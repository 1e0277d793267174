// device_registry.cpp --
//
//     The port and instance lists of the device module.

#include "device/device_registry.h"

#include <algorithm>
#include <atomic>

namespace kelb {

namespace {

// Serials of instance records, shared by the lists of every thread so
// that no two records of the process ever carry the same one.
// Owned by the module; taken atomically by any thread.
std::atomic<std::uint64_t> nextInstanceSerial{1};

// An emptied list gives its storage back, so that the lists hold no memory
// whenever they are empty.
template <typename T>
void ReleaseIfEmpty(std::vector<T> &list) {
    if (list.empty()) std::vector<T>().swap(list);
}

}  // namespace

bool DevicePortNameValid(std::string_view name) {
    if (name.empty()) return false;
    constexpr std::string_view kQuoted = "{}[]\"\\$;";
    return std::none_of(name.begin(), name.end(), [kQuoted](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= ' ' || byte == 0x7f || kQuoted.find(c) != std::string_view::npos;
    });
}

DevicePortStatus DevicePortList::AddPort(std::string_view name, std::string_view description,
                                         const DeviceDriver *driver, void *driverData) {
    if (!DevicePortNameValid(name)) return DevicePortStatus::BadName;
    if (FindPort(name) != nullptr) return DevicePortStatus::Duplicate;
    ports_.push_back(std::make_unique<DevicePort>(
        DevicePort{std::string(name), std::string(description), driverData, driver}));
    return DevicePortStatus::Added;
}

std::unique_ptr<DevicePort> DevicePortList::TakePort(std::string_view name) {
    auto it = std::find_if(ports_.begin(), ports_.end(),
                           [name](const auto &port) { return port->name == name; });
    if (it == ports_.end()) return nullptr;
    std::unique_ptr<DevicePort> port = std::move(*it);
    ports_.erase(it);
    ReleaseIfEmpty(ports_);
    return port;
}

DevicePort *DevicePortList::FindPort(std::string_view name) const {
    for (const auto &port : ports_) {
        if (port->name == name) return port.get();
    }
    return nullptr;
}

DeviceInstance *DeviceInstanceList::AddInstance(Tcl_Channel channel,
                                                const DeviceDriver *driver) {
    instances_.push_back(std::make_unique<DeviceInstance>(
        DeviceInstance{channel, 0, false, driver, nextInstanceSerial.fetch_add(1)}));
    return instances_.back().get();
}

bool DeviceInstanceList::RemoveInstance(const DeviceInstance *instance) {
    auto it = std::find_if(instances_.begin(), instances_.end(),
                           [instance](const auto &entry) { return entry.get() == instance; });
    if (it == instances_.end()) return false;
    instances_.erase(it);
    ReleaseIfEmpty(instances_);
    return true;
}

DeviceInstance *DeviceInstanceList::FindInstance(const DeviceInstance *instance,
                                                 std::uint64_t serial) const {
    for (const auto &entry : instances_) {
        if (entry.get() == instance && entry->serial == serial) return entry.get();
    }
    return nullptr;
}

}  // namespace kelb

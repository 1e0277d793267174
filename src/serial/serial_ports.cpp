// serial_ports.cpp --
//
//     The serial driver: its ports, and the procedures Kelb's device module
//     calls to open and reset them. A port opens as Tcl's own serial
//     channel on a descriptor the driver opened for this process alone, so
//     the channel has Tcl's serial options and gets its events from Tcl's
//     notifier; it needs no instance in the device event source.

#include "serial/serial_ports.h"

#include <tcl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>

#include "serial/serial_line.h"

namespace kelb::serial {

namespace {

// How long a reset holds DTR and RTS down.
constexpr int kResetPulseMillis = 100;

// One port of the driver, its driverData. Shared by the list and by the
// channels open on it, which may outlive its registration.
struct SerialPort : std::enable_shared_from_this<SerialPort> {
    SerialPort(std::string path, std::string description, bool discovered)
        : path(std::move(path)), description(std::move(description)), discovered(discovered) {}

    const std::string path;         // what open(2) opens
    const std::string description;  // what "device desc" gives
    const bool discovered;          // found by a scan, so a scan may remove it
    std::mutex mutex;               // guards openFd, and keeps a reset and a close apart
    int openFd = -1;                // the descriptor of this process's channel on it
};

// The ports of the driver. Who owns this: the process; any thread, under
// mutex, which is held across calls into Kelb's table so that the two
// lists never disagree for another thread.
struct Ports {
    std::mutex mutex;
    const KelbDeviceApi *device = nullptr;  // the same table for every load
    std::map<std::string, std::shared_ptr<SerialPort>> byName;
};

Ports &ThePorts() {
    alignas(Ports) static unsigned char storage[sizeof(Ports)];
    static Ports *const ports = new (storage) Ports;
    return *ports;
}

// What the close handler of a channel needs: its port and descriptor.
struct OpenChannel {
    std::shared_ptr<SerialPort> port;
    int fd;
};

// Runs while Tcl closes the channel, before it closes the descriptor.
void ChannelClosing(ClientData clientData) {
    std::unique_ptr<OpenChannel> open(static_cast<OpenChannel *>(clientData));
    std::lock_guard lock(open->port->mutex);
    SerialReleaseExclusive(open->fd);
    if (open->port->openFd == open->fd) open->port->openFd = -1;
}

Tcl_Channel SerialOpen(Tcl_Interp *, void *driverData, int *errorCode) {
    auto *port = static_cast<SerialPort *>(driverData);
    const int fd = SerialOpenExclusive(port->path.c_str(), errorCode);
    if (fd < 0) return nullptr;
    SerialMakeRaw(fd);
    Tcl_Channel channel = Tcl_MakeFileChannel(
        reinterpret_cast<ClientData>(static_cast<std::intptr_t>(fd)), TCL_READABLE | TCL_WRITABLE);
    if (channel == nullptr) {
        SerialReleaseExclusive(fd);
        close(fd);
        *errorCode = EIO;
        return nullptr;
    }
    // As Tcl's "open" sets up a terminal: a modem wants "\r" after a command.
    Tcl_SetChannelOption(nullptr, channel, "-translation", "auto crlf");
    std::lock_guard lock(port->mutex);
    port->openFd = fd;
    Tcl_CreateCloseHandler(channel, ChannelClosing, new OpenChannel{port->shared_from_this(), fd});
    return channel;
}

// Pulses the lines on this process's channel when one is open, else on a
// descriptor of its own, which like an open is refused for a port that
// another program holds.
int SerialReset(void *driverData) {
    auto *port = static_cast<SerialPort *>(driverData);
    std::lock_guard lock(port->mutex);
    if (port->openFd >= 0) return SerialPulseModemLines(port->openFd, kResetPulseMillis);
    int error = 0;
    const int fd = SerialOpenExclusive(port->path.c_str(), &error);
    if (fd < 0) return error;
    error = SerialPulseModemLines(fd, kResetPulseMillis);
    SerialReleaseExclusive(fd);
    close(fd);
    return error;
}

const KelbDeviceDriver kSerialDriver = {kSerialTypeName, SerialOpen, SerialReset, nullptr};

// The description as a Tcl dictionary of the fields.
std::string DescriptionOf(const SerialPortInfo &info) {
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    Tcl_IncrRefCount(list);
    for (const auto &[key, value] : info.fields) {
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(key.data(), -1));
        Tcl_ListObjAppendElement(nullptr, list,
                                 Tcl_NewStringObj(value.data(), static_cast<int>(value.size())));
    }
    std::string description = Tcl_GetString(list);
    Tcl_DecrRefCount(list);
    return description;
}

std::string PathOf(const SerialPortInfo &info) {
    for (const auto &[key, value] : info.fields) {
        if (key == "path") return value;
    }
    return {};
}

// Registers a port; the caller holds the lock.
int Register(Ports &ports, const std::string &name, const SerialPortInfo &info, bool discovered) {
    auto port = std::make_shared<SerialPort>(PathOf(info), DescriptionOf(info), discovered);
    int status = ports.device->registerPort(name.c_str(), port->description.c_str(),
                                            &kSerialDriver, port.get());
    if (status == KELB_DEVICE_ADDED) ports.byName[name] = std::move(port);
    return status;
}

// Removes a port of the list; the caller holds the lock.
void Unregister(Ports &ports, std::map<std::string, std::shared_ptr<SerialPort>>::iterator it) {
    ports.device->unregisterPort(it->first.c_str());
    ports.byName.erase(it);
}

}  // namespace

void SerialPortsAttach(const KelbDeviceApi *device) {
    Ports &ports = ThePorts();
    std::lock_guard lock(ports.mutex);
    ports.device = device;
}

SerialScanResult SerialRescan(const SerialRoots &roots) {
    const std::vector<SerialPortInfo> found = SerialDiscover(roots);
    SerialScanResult result;
    Ports &ports = ThePorts();
    std::lock_guard lock(ports.mutex);
    std::set<std::string> present;
    for (const SerialPortInfo &info : found) {
        present.insert(info.name);
        auto it = ports.byName.find(info.name);
        if (it != ports.byName.end()) {
            // A port added by path keeps its name; a found one whose
            // hardware changed between scans is registered afresh.
            if (!it->second->discovered || it->second->description == DescriptionOf(info)) continue;
            Unregister(ports, it);
        }
        if (Register(ports, info.name, info, true) == KELB_DEVICE_ADDED) {
            result.added.push_back(info.name);
        }
    }
    for (auto it = ports.byName.begin(); it != ports.byName.end();) {
        auto next = std::next(it);
        if (it->second->discovered && present.count(it->first) == 0) {
            result.removed.push_back(it->first);
            Unregister(ports, it);
        }
        it = next;
    }
    return result;
}

int SerialAddPath(const SerialRoots &roots, const std::string &name, const std::string &path) {
    const SerialPortInfo info = SerialDescribePath(roots, path);
    Ports &ports = ThePorts();
    std::lock_guard lock(ports.mutex);
    return Register(ports, name, info, false);
}

bool SerialRemove(const std::string &name) {
    Ports &ports = ThePorts();
    std::lock_guard lock(ports.mutex);
    auto it = ports.byName.find(name);
    if (it == ports.byName.end()) return false;
    Unregister(ports, it);
    return true;
}

std::vector<std::pair<std::string, std::string>> SerialPortPaths() {
    Ports &ports = ThePorts();
    std::lock_guard lock(ports.mutex);
    std::vector<std::pair<std::string, std::string>> paths;
    for (const auto &[name, port] : ports.byName) paths.emplace_back(name, port->path);
    return paths;
}

}  // namespace kelb::serial

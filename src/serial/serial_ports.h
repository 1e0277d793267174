// serial_ports.h --
//
//     The serial driver's ports: the process-wide list of ports this
//     package registered in Kelb's device port list, each with the path it
//     opens, and the driver that opens them as Tcl's own serial channels.
//     Any thread may call these; one lock keeps the list and Kelb's port
//     list in step.

#pragma once

#include <string>
#include <utility>
#include <vector>

#include "kelbDevice.h"
#include "serial/serial_discover.h"

namespace kelb::serial {

// The type name "device type" gives for every port of the driver.
inline constexpr const char *kSerialTypeName = "serial";

// Gives the driver Kelb's device table; every load passes the same one.
void SerialPortsAttach(const KelbDeviceApi *device);

// What a scan changed: port names added and removed.
struct SerialScanResult {
    std::vector<std::string> added;
    std::vector<std::string> removed;
};

// Registers the ports found under roots that are not registered yet (by
// name), re-registers those whose description changed, and removes the
// ports an earlier scan found that are gone. Ports added by path stay.
SerialScanResult SerialRescan(const SerialRoots &roots);

// Registers a port for a path discovery does not see. Returns one of the
// KELB_DEVICE_* codes of registerPort.
int SerialAddPath(const SerialRoots &roots, const std::string &name, const std::string &path);

// Removes a port of this driver, found or added. Returns whether there
// was one.
bool SerialRemove(const std::string &name);

// The ports of this driver, name and path, in name order.
std::vector<std::pair<std::string, std::string>> SerialPortPaths();

}  // namespace kelb::serial

// serial_discover.h --
//
//     Finding the machine's serial ports, in plain C++: the kernel lists
//     every terminal under a sysfs folder (/sys/class/tty), and those with
//     a "device" entry sit on real hardware. Nothing here opens a port, so
//     finding ports never changes their line settings.

#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kelb::serial {

// Where to look: the sysfs folder of terminals and the device folder.
// Tests point both at folders of their own.
struct SerialRoots {
    std::string sysfs = "/sys/class/tty";
    std::string dev = "/dev";
};

// One port found, described by what the kernel says of it. fields holds
// the known ones of: path, driver, usb (vendor:product in hex),
// manufacturer, product, serial, interface, links (the udev links under
// dev/serial/by-id and by-path that lead to it, space-separated).
struct SerialPortInfo {
    std::string name;  // the kernel's name, such as ttyUSB0
    std::vector<std::pair<std::string, std::string>> fields;
};

// Every terminal of roots.sysfs that sits on hardware, sorted by name.
// UARTs that the kernel lists without hardware behind them (a "type" of
// 0, as most of the ttyS ports of a PC have) are left out.
std::vector<SerialPortInfo> SerialDiscover(const SerialRoots &roots);

// What the kernel says of the terminal a path leads to (following links,
// such as those under /dev/serial/by-id), with path as given first; just
// the path for a terminal sysfs does not know, such as a pseudo-terminal.
SerialPortInfo SerialDescribePath(const SerialRoots &roots, const std::string &path);

}  // namespace kelb::serial

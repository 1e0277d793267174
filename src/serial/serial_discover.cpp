// serial_discover.cpp --
//
//     Reads sysfs and the udev link folders to list serial ports and say
//     what each is. Every file access tolerates absence: attributes come
//     and go with drivers, and a port may be unplugged mid-scan.

#include "serial/serial_discover.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace kelb::serial {

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute, without trailing white space; empty
// when the file cannot be read.
std::string ReadAttribute(const fs::path &file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    while (!line.empty() && (line.back() == ' ' || line.back() == '\n' || line.back() == '\r' ||
                             line.back() == '\t')) {
        line.pop_back();
    }
    return line;
}

bool Exists(const fs::path &path) {
    std::error_code error;
    return fs::exists(path, error);
}

fs::path Canonical(const fs::path &path) {
    std::error_code error;
    fs::path resolved = fs::canonical(path, error);
    return error ? fs::path() : resolved;
}

void AddField(SerialPortInfo &info, const char *key, std::string value) {
    if (!value.empty()) info.fields.emplace_back(key, std::move(value));
}

// The USB attributes of the nearest USB device above the terminal's
// device folder (the one holding idVendor), and the interface name from
// the folders on the way up.
void AddUsbFields(SerialPortInfo &info, const fs::path &deviceDir) {
    fs::path dir = Canonical(deviceDir);
    std::string interfaceName;
    for (int depth = 0; !dir.empty() && depth < 8; ++depth, dir = dir.parent_path()) {
        if (interfaceName.empty()) interfaceName = ReadAttribute(dir / "interface");
        if (!Exists(dir / "idVendor")) {
            if (dir == dir.root_path()) break;
            continue;
        }
        std::string vendor = ReadAttribute(dir / "idVendor");
        std::string product = ReadAttribute(dir / "idProduct");
        if (!vendor.empty() && !product.empty()) AddField(info, "usb", vendor + ":" + product);
        AddField(info, "manufacturer", ReadAttribute(dir / "manufacturer"));
        AddField(info, "product", ReadAttribute(dir / "product"));
        AddField(info, "serial", ReadAttribute(dir / "serial"));
        AddField(info, "interface", interfaceName);
        return;
    }
}

// The links under dev/serial/by-id and by-path that lead to target.
std::string LinksTo(const SerialRoots &roots, const fs::path &target) {
    std::vector<std::string> links;
    for (const char *kind : {"by-id", "by-path"}) {
        std::error_code error;
        fs::directory_iterator it(fs::path(roots.dev) / "serial" / kind, error);
        for (; !error && it != fs::directory_iterator(); it.increment(error)) {
            if (Canonical(it->path()) == target) links.push_back(it->path().string());
        }
    }
    std::sort(links.begin(), links.end());
    std::string joined;
    for (const std::string &link : links) joined += (joined.empty() ? "" : " ") + link;
    return joined;
}

// The fields of terminal name (a folder of roots.sysfs), after path.
void AddKernelFields(const SerialRoots &roots, SerialPortInfo &info, const std::string &name) {
    const fs::path deviceDir = fs::path(roots.sysfs) / name / "device";
    AddField(info, "driver", Canonical(deviceDir / "driver").filename().string());
    AddUsbFields(info, deviceDir);
    fs::path devicePath = Canonical(fs::path(roots.dev) / name);
    if (!devicePath.empty()) AddField(info, "links", LinksTo(roots, devicePath));
}

// Whether the kernel lists this terminal on hardware that is there.
bool OnHardware(const fs::path &entry) {
    if (!Exists(entry / "device")) return false;
    const fs::path type = entry / "type";
    return !Exists(type) || ReadAttribute(type) != "0";
}

}  // namespace

std::vector<SerialPortInfo> SerialDiscover(const SerialRoots &roots) {
    std::vector<SerialPortInfo> found;
    std::error_code error;
    fs::directory_iterator it(roots.sysfs, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!OnHardware(it->path())) continue;
        SerialPortInfo info{name, {}};
        AddField(info, "path", (fs::path(roots.dev) / name).string());
        AddKernelFields(roots, info, name);
        found.push_back(std::move(info));
    }
    std::sort(found.begin(), found.end(),
              [](const SerialPortInfo &a, const SerialPortInfo &b) { return a.name < b.name; });
    return found;
}

SerialPortInfo SerialDescribePath(const SerialRoots &roots, const std::string &path) {
    SerialPortInfo info{fs::path(path).filename().string(), {}};
    AddField(info, "path", path);
    const fs::path resolved = Canonical(path);
    const std::string name = resolved.filename().string();
    if (!name.empty() && resolved.parent_path() == Canonical(roots.dev) &&
        OnHardware(fs::path(roots.sysfs) / name)) {
        AddKernelFields(roots, info, name);
    }
    return info;
}

}  // namespace kelb::serial

// serial_cmd.cpp --
//
//     The "kelb::serial" command: scripts re-scan for ports after a
//     device is plugged in or out, add a port for a path discovery cannot
//     see (a pseudo-terminal, a /dev/serial/by-id link), remove one, list
//     the driver's ports with their paths, and make a pseudo-terminal pair
//     on whose far end a script can play an instrument.

#include "serial/serial_cmd.h"

#include <sys/stat.h>

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "core/tcl_support.h"
#include "kelbDevice.h"
#include "serial/serial_line.h"
#include "serial/serial_ports.h"

namespace kelb::serial {

namespace {

// The error codes of the command, {KELB SERIAL <condition> detail}.
constexpr ErrorCode kBadNameError{"SERIAL", "NAME"};
constexpr ErrorCode kDuplicateError{"SERIAL", "DUPLICATE"};
constexpr ErrorCode kNotTerminalError{"SERIAL", "PATH"};
constexpr ErrorCode kNoPortError{"SERIAL", "PORT"};

Tcl_Obj *NewString(const std::string &text) {
    return Tcl_NewStringObj(text.data(), static_cast<TclSize>(text.size()));
}

int FailWith(Tcl_Interp *interp, const std::string &message, ErrorCode code, const char *detail) {
    return Fail(interp, message.c_str(), code, detail);
}

// The port name a path gets when the script names none: the path below
// /dev ("pts/3", "serial/by-id/usb-..."), or the whole path elsewhere.
std::string DefaultName(const std::string &path) {
    constexpr std::string_view kDev = "/dev/";
    return path.compare(0, kDev.size(), kDev) == 0 ? path.substr(kDev.size()) : path;
}

// Syntax: kelb::serial add path ?name?
int SerialAddCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    const std::string path = Tcl_GetString(objv[2]);
    const std::string name = objc > 3 ? Tcl_GetString(objv[3]) : DefaultName(path);
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        Tcl_SetErrno(errno);
        const std::string message = "couldn't add \"" + path + "\": " + Tcl_PosixError(interp);
        Tcl_SetObjResult(interp, NewString(message));
        return TCL_ERROR;
    }
    if (!S_ISCHR(status.st_mode)) {
        return FailWith(interp, "\"" + path + "\" is not a character device", kNotTerminalError,
                        path.c_str());
    }
    switch (SerialAddPath(SerialRoots{}, name, path)) {
    case KELB_DEVICE_ADDED: Tcl_SetObjResult(interp, NewString(name)); return TCL_OK;
    case KELB_DEVICE_DUPLICATE:
        return FailWith(interp, "port \"" + name + "\" exists", kDuplicateError, name.c_str());
    default:
        return FailWith(interp, "bad port name \"" + name + "\"", kBadNameError, name.c_str());
    }
}

// Syntax: kelb::serial ports
int SerialPortsCmd(Tcl_Interp *interp, int, Tcl_Obj *const[]) {
    Tcl_Obj *result = Tcl_NewListObj(0, nullptr);
    for (const auto &[name, path] : SerialPortPaths()) {
        Tcl_ListObjAppendElement(nullptr, result, NewString(name));
        Tcl_ListObjAppendElement(nullptr, result, NewString(path));
    }
    Tcl_SetObjResult(interp, result);
    return TCL_OK;
}

// Syntax: kelb::serial pty
//
//     The far end is Tcl's serial channel on the pair's master, registered
//     in the interpreter; the near end's path is for "kelb::serial add".
int SerialPtyCmd(Tcl_Interp *interp, int, Tcl_Obj *const[]) {
    std::string path;
    int error = 0;
    const int fd = SerialOpenPseudoTerminal(&path, &error);
    if (fd < 0) {
        Tcl_SetErrno(error);
        Tcl_AppendResult(interp, "couldn't make a pseudo-terminal: ", Tcl_PosixError(interp),
                         nullptr);
        return TCL_ERROR;
    }
    Tcl_Channel far = Tcl_MakeFileChannel(
        reinterpret_cast<ClientData>(static_cast<std::intptr_t>(fd)), TCL_READABLE | TCL_WRITABLE);
    if (far == nullptr) {
        close(fd);
        return Fail(interp, "couldn't make a pseudo-terminal channel");
    }
    Tcl_RegisterChannel(interp, far);
    Tcl_Obj *pair[] = {Tcl_NewStringObj(Tcl_GetChannelName(far), -1), NewString(path)};
    Tcl_SetObjResult(interp, Tcl_NewListObj(2, pair));
    return TCL_OK;
}

// Syntax: kelb::serial remove name
int SerialRemoveCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    const std::string name = Tcl_GetString(objv[2]);
    if (SerialRemove(name)) return TCL_OK;
    return FailWith(interp, "no serial port \"" + name + "\"", kNoPortError, name.c_str());
}

Tcl_Obj *NewNameList(const std::vector<std::string> &names) {
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (const std::string &name : names) Tcl_ListObjAppendElement(nullptr, list, NewString(name));
    return list;
}

// Syntax: kelb::serial scan ?-sysfs dir? ?-dev dir?
//
//     The options point discovery elsewhere than /sys/class/tty and /dev
//     (a container's mounts, or a test's fake tree).
int SerialScanCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    static const char *const kOptions[] = {"-dev", "-sysfs", nullptr};
    SerialRoots roots;
    if (objc % 2 != 0) {
        Tcl_WrongNumArgs(interp, 2, objv, "?-sysfs dir? ?-dev dir?");
        return TCL_ERROR;
    }
    for (int i = 2; i < objc; i += 2) {
        int option;
        if (Tcl_GetIndexFromObj(interp, objv[i], kOptions, "option", 0, &option) != TCL_OK) {
            return TCL_ERROR;
        }
        (option == 0 ? roots.dev : roots.sysfs) = Tcl_GetString(objv[i + 1]);
    }
    const SerialScanResult scan = SerialRescan(roots);
    Tcl_Obj *result = Tcl_NewListObj(0, nullptr);
    Tcl_ListObjAppendElement(nullptr, result, Tcl_NewStringObj("added", -1));
    Tcl_ListObjAppendElement(nullptr, result, NewNameList(scan.added));
    Tcl_ListObjAppendElement(nullptr, result, Tcl_NewStringObj("removed", -1));
    Tcl_ListObjAppendElement(nullptr, result, NewNameList(scan.removed));
    Tcl_SetObjResult(interp, result);
    return TCL_OK;
}

const Subcommand kSerialSubcommands[] = {
    {"add", SerialAddCmd, 3, 4, "add path ?name?", kExtraRefused},
    {"ports", SerialPortsCmd, 2, 2, "ports", kExtraRefused},
    {"pty", SerialPtyCmd, 2, 2, "pty", kExtraRefused},
    {"remove", SerialRemoveCmd, 3, 3, "remove name", kExtraRefused},
    {"scan", SerialScanCmd, 2, 6, "scan ?-sysfs dir? ?-dev dir?", kExtraRefused},
    {nullptr, nullptr},
};

}  // namespace

// Syntax: kelb::serial command ?arg ...?
int SerialObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return RunSubcommand(interp, objc, objv, kSerialSubcommands, "command ?arg ...?");
}

}  // namespace kelb::serial

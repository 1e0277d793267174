// mqtt_cmd.cpp --
//
//     The package's commands: kelb::mqtt::connect, which makes a
//     connection command, and that command's subcommands.

#include <atomic>
#include <memory>
#include <cstdio>
#include <mutex>

#include "core/tcl_support.h"
#include "mqtt/mqtt_conn.h"

namespace kelb::mqtt {

namespace {

const KelbTreeApi *TreeApi(ClientData data) { return static_cast<const KelbTreeApi *>(data); }

// Connections made in the process; names ::kelb::mqtt::connN. Owned by
// the package; counted atomically by any thread.
std::atomic<unsigned> connCounter{0};

int GetInt(Tcl_Interp *interp, Tcl_Obj *obj, int low, int high, int &out, const char *what) {
    int value = 0;
    if (Tcl_GetIntFromObj(interp, obj, &value) != TCL_OK || value < low || value > high) {
        return ConnFail(interp, "OPTION",
                        std::string(what) + " must be an integer from " + std::to_string(low) + " to " +
                            std::to_string(high) + ": \"" + Tcl_GetString(obj) + "\"");
    }
    out = value;
    return TCL_OK;
}

enum ConnectOption {
    kHost, kPort, kClientId, kKeepalive, kClean, kUsername, kPassword, kCafile, kCertfile,
    kKeyfile, kStatusTopic, kPrefix, kTimeout, kRetry, kWindow
};
const char *const kConnectOptions[] = {"-host", "-port", "-clientid", "-keepalive", "-clean",
                                       "-username", "-password", "-cafile", "-certfile", "-keyfile",
                                       "-statustopic", "-prefix", "-timeout", "-retry", "-window",
                                       nullptr};

int SetOption(Tcl_Interp *interp, Settings &s, int option, Tcl_Obj *value) {
    const std::string text = Tcl_GetString(value);
    switch (static_cast<ConnectOption>(option)) {
    case kHost: s.host = text; return TCL_OK;
    case kPort: return GetInt(interp, value, 1, 65535, s.port, "-port");
    case kClientId: s.clientId = text; return TCL_OK;
    case kKeepalive: return GetInt(interp, value, 5, 65535, s.keepalive, "-keepalive");
    case kClean: {
        int flag = 0;
        if (Tcl_GetBooleanFromObj(interp, value, &flag) != TCL_OK) {
            return ConnFail(interp, "OPTION", "-clean must be a boolean: \"" + text + "\"");
        }
        s.clean = flag != 0;
        return TCL_OK;
    }
    case kUsername: s.username = text; return TCL_OK;
    case kPassword: s.password = text; return TCL_OK;
    case kCafile: s.cafile = text; return TCL_OK;
    case kCertfile: s.certfile = text; return TCL_OK;
    case kKeyfile: s.keyfile = text; return TCL_OK;
    case kStatusTopic:
        if (text.empty() || !ValidTopicRoot(text)) {
            return ConnFail(interp, "TOPIC", "not a topic name: \"" + text + "\"");
        }
        s.statusTopic = text;
        return TCL_OK;
    case kPrefix:
        if (!ValidTopicRoot(text)) return ConnFail(interp, "TOPIC", "not a topic name: \"" + text + "\"");
        s.prefix = text;
        return TCL_OK;
    case kTimeout: return GetInt(interp, value, 0, 600000, s.timeout, "-timeout");
    case kRetry: {
        Tcl_Obj **items = nullptr;
        TclSize count = 0;
        if (Tcl_ListObjGetElements(interp, value, &count, &items) != TCL_OK || count != 2) {
            return ConnFail(interp, "OPTION", "-retry must be a list {minimum maximum} in ms: \"" + text + "\"");
        }
        if (GetInt(interp, items[0], 10, 3600000, s.retryMin, "-retry minimum") != TCL_OK ||
            GetInt(interp, items[1], s.retryMin, 3600000, s.retryMax, "-retry maximum") != TCL_OK) {
            return TCL_ERROR;
        }
        return TCL_OK;
    }
    case kWindow: return GetInt(interp, value, 1, 65535, s.window, "-window");
    }
    return TCL_OK;
}

int ParseSettings(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], Settings &s) {
    for (int i = 1; i < objc; i += 2) {
        int option = 0;
        if (Tcl_GetIndexFromObj(interp, objv[i], kConnectOptions, "option", 0, &option) != TCL_OK) {
            Tcl_SetErrorCode(interp, "KELB", "MQTT", "OPTION", static_cast<char *>(nullptr));
            return TCL_ERROR;
        }
        if (i + 1 >= objc) {
            return ConnFail(interp, "OPTION", std::string("value for \"") + Tcl_GetString(objv[i]) + "\" missing");
        }
        if (SetOption(interp, s, option, objv[i + 1]) != TCL_OK) return TCL_ERROR;
    }
    if (!s.clean && s.clientId.empty()) {
        return ConnFail(interp, "OPTION", "-clean 0 needs a -clientid");
    }
    if (s.password && !s.username) {
        return ConnFail(interp, "OPTION", "-password needs -username");
    }
    if (s.certfile.empty() != s.keyfile.empty()) {
        return ConnFail(interp, "OPTION", "-certfile and -keyfile go together");
    }
    if (!s.certfile.empty() && s.cafile.empty()) {
        return ConnFail(interp, "OPTION", "a client certificate needs -cafile");
    }
    return TCL_OK;
}

// Syntax: $conn publish|subscribe address ?-qos 0|1? ?-topic root?
int MirrorCmd(Conn *conn, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], bool publish) {
    if (objc < 3 || objc % 2 == 0) {
        Tcl_WrongNumArgs(interp, 2, objv, "address ?-qos 0|1? ?-topic topic?");
        return TCL_ERROR;
    }
    Mirror mirror;
    mirror.publish = publish;
    mirror.subscribe = !publish;
    const std::string address = Tcl_GetString(objv[2]);
    if (!ValidAddress(address)) return ConnFail(interp, "ADDRESS", "not a node address: \"" + address + "\"");
    mirror.map.rootAddress = address;
    std::optional<std::string> topic;
    static const char *const kOptions[] = {"-qos", "-topic", nullptr};
    for (int i = 3; i < objc; i += 2) {
        int option = 0;
        if (Tcl_GetIndexFromObj(interp, objv[i], kOptions, "option", 0, &option) != TCL_OK) {
            Tcl_SetErrorCode(interp, "KELB", "MQTT", "OPTION", static_cast<char *>(nullptr));
            return TCL_ERROR;
        }
        if (option == 0) {
            if (GetInt(interp, objv[i + 1], 0, 1, mirror.qos, "-qos") != TCL_OK) return TCL_ERROR;
        } else {
            topic = Tcl_GetString(objv[i + 1]);
        }
    }
    if (topic) {
        if (!ValidTopicRoot(*topic) || (topic->empty() && address != "/")) {
            return ConnFail(interp, "TOPIC", "not a topic name: \"" + *topic + "\"");
        }
        mirror.map.rootTopic = *topic;
    } else if (address == "/") {
        mirror.map.rootTopic = conn->settings.prefix;
    } else if (AddressToTopic({"/", conn->settings.prefix}, address, mirror.map.rootTopic) != MapStatus::Ok) {
        return ConnFail(interp, "ADDRESS", "not a node address: \"" + address + "\"");
    }
    if (conn->tree->findNode(interp, "/", 0) != TCL_OK) return TCL_ERROR;
    return ConnAddMirror(conn, std::move(mirror));
}

int ConnObjCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    auto *conn = static_cast<Conn *>(data);
    static const char *const kSubcommands[] = {"close", "publish", "status", "subscribe", nullptr};
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "subcommand ?arg ...?");
        return TCL_ERROR;
    }
    int index = 0;
    if (Tcl_GetIndexFromObj(interp, objv[1], kSubcommands, "subcommand", 0, &index) != TCL_OK) return TCL_ERROR;
    if ((index == 0 || index == 2) && objc != 2) {
        Tcl_WrongNumArgs(interp, 2, objv, nullptr);
        return TCL_ERROR;
    }
    if (conn->closed) return ConnFail(interp, "CLOSED", "the connection is closed");
    switch (index) {
    case 0: Tcl_DeleteCommandFromToken(interp, conn->command); return TCL_OK;
    case 1: return MirrorCmd(conn, interp, objc, objv, true);
    case 2: Tcl_SetObjResult(interp, ConnStatus(conn)); return TCL_OK;
    default: return MirrorCmd(conn, interp, objc, objv, false);
    }
}

// Tcl_FreeProc takes char * in Tcl 8.6 and void * in Tcl 9.
template <typename Pointer>
void FreeConn(Pointer data) {
    delete reinterpret_cast<Conn *>(data);
}

void InterpGone(ClientData data, Tcl_Interp *) { ConnClose(static_cast<Conn *>(data)); }

// The thread (or the process) ends before the interpreter is deleted:
// the broker still gets a goodbye.
void ThreadGone(ClientData data) {
    auto *conn = static_cast<Conn *>(data);
    conn->threadExitHandler = false;
    ConnClose(conn);
}

void ConnDeleted(ClientData data) {
    auto *conn = static_cast<Conn *>(data);
    Tcl_DontCallWhenDeleted(conn->interp, InterpGone, conn);
    if (conn->threadExitHandler) Tcl_DeleteThreadExitHandler(ThreadGone, conn);
    conn->threadExitHandler = false;
    ConnClose(conn);
    Tcl_EventuallyFree(conn, static_cast<Tcl_FreeProc *>(FreeConn));
}

// Syntax: kelb::mqtt::connect ?option value ...?
int ConnectCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    auto conn = std::make_unique<Conn>();
    conn->interp = interp;
    conn->tree = TreeApi(data);
    if (ParseSettings(interp, objc, objv, conn->settings) != TCL_OK) return TCL_ERROR;
    if (ConnStart(conn.get()) != TCL_OK) return TCL_ERROR;
    char name[48];
    std::snprintf(name, sizeof name, "::kelb::mqtt::conn%u", ++connCounter);
    Conn *raw = conn.release();
    raw->command = CreateObjCommand<ConnObjCmd>(interp, name, raw, ConnDeleted);
    Tcl_CallWhenDeleted(interp, InterpGone, raw);
    Tcl_CreateThreadExitHandler(ThreadGone, raw);
    raw->threadExitHandler = true;
    Tcl_SetObjResult(interp, Tcl_NewStringObj(name, -1));
    return TCL_OK;
}

}  // namespace

}  // namespace kelb::mqtt

extern "C" {

// Kelbmqtt_Init --
//
//     Loads Kelb (for its tree) and makes kelb::mqtt::connect.
__attribute__((visibility("default"))) int Kelbmqtt_Init(Tcl_Interp *interp) {
    using namespace kelb::mqtt;
    if (Tcl_InitStubs(interp, "8.6-", 0) == nullptr) return TCL_ERROR;
    const KelbApi *kelb = Kelb_RequireApi(interp, KELB_VERSION);
    if (kelb == nullptr) return TCL_ERROR;
    if (kelb->tree == nullptr || kelb->tree->size < sizeof(KelbTreeApi)) {
        return ConnFail(interp, "TREE", "Kelb offers no tree interface");
    }
    static std::once_flag libraryReady;
    std::call_once(libraryReady, [] { mosquitto_lib_init(); });
    kelb::CreateObjCommand<ConnectCmd>(interp, "::kelb::mqtt::connect",
                                       const_cast<KelbTreeApi *>(kelb->tree));
    return Tcl_PkgProvide(interp, "Kelb::mqtt", KELB_VERSION);
}

}

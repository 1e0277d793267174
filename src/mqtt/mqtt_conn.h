// mqtt_conn.h --
//
//     One connection to a broker and the mirrors it carries, driven by the
//     Tcl event loop of the thread that made it: the client's socket
//     through a file handler, keepalive, retries and reconnects on a
//     timer. libmosquitto's callbacks only take note; values reach the
//     tree, and scripts run, only after the library call has returned.

#pragma once

#include <tcl.h>

#include <mosquitto.h>

#include <kelbApi.h>
#include <kelbTree.h>

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "mqtt/mqtt_queue.h"
#include "mqtt/mqtt_topic.h"

namespace kelb::mqtt {

struct Settings {
    std::string host = "127.0.0.1";
    int port = 1883;
    std::string clientId;
    int keepalive = 30;            // seconds
    bool clean = true;
    std::optional<std::string> username, password;
    std::string cafile, certfile, keyfile;
    std::string statusTopic;       // "": no status messages, no will
    std::string prefix;            // default topic root before each address
    int timeout = 5000;            // ms to wait for the first connection; 0: none
    int retryMin = 200, retryMax = 10000;  // reconnect backoff, ms
    int window = 1000;             // messages handed to the library and not yet written or acknowledged
};

struct Mirror {
    TopicMap map;
    int qos = 1;
    bool publish = false;
    bool subscribe = false;
    unsigned long watch = 0;
};

struct Conn {
    Tcl_Interp *interp = nullptr;
    const KelbTreeApi *tree = nullptr;
    Tcl_Command command = nullptr;
    Settings settings;
    std::vector<Mirror> mirrors;

    mosquitto *mosq = nullptr;
    int fd = -1;                    // our duplicate of the socket, which the file handler watches
    int libraryFd = -1;             // the library's descriptor it duplicates
    int mask = 0;                   // what it watches for
    bool connected = false;
    bool closed = false;
    bool threadExitHandler = false; // one is registered for this record
    bool justConnected = false;     // CONNACK seen: resend and resubscribe
    bool lost = false;              // the library reported the link gone
    int connackCode = -1;           // the broker's answer to the last CONNECT
    Tcl_TimerToken timer = nullptr;
    Tcl_WideInt attemptStart = 0;   // ms, when the current attempt began
    Tcl_WideInt nextAttempt = 0;    // ms, when to try again while down
    int backoff = 0;                // ms, the current retry delay
    bool inLibrary = false;         // inside a libmosquitto call
    bool idleFlush = false;         // a flush is scheduled
    std::string applying;           // the address a received message is writing

    ChangeQueue queue;
    EchoTracker echo;
    // Topics whose node holds what the broker brought: after a reconnect
    // their own station sends them again, not this one.
    std::unordered_set<std::string> remote;
    struct Inbound {
        std::string topic, payload;
        bool retained;
    };
    std::vector<Inbound> inbound;

    int inflight = 0;
    Tcl_WideInt sent = 0, received = 0, refused = 0, connects = 0;
    std::string errorCondition, errorMessage;  // the last error
};

// Starts the first connection and waits for it up to the timeout. TCL_OK,
// or TCL_ERROR with the reason in the interpreter.
int ConnStart(Conn *conn);

// Adds a mirror; TCL_ERROR with the reason in the interpreter.
int ConnAddMirror(Conn *conn, Mirror mirror);

// The status dictionary.
Tcl_Obj *ConnStatus(const Conn *conn);

// Says goodbye to the broker (status "offline"), closes the socket, ends
// watches, timers and handlers. Idempotent; the record itself is freed
// through Tcl_EventuallyFree by the caller.
void ConnClose(Conn *conn);

// Records the last error, for the status.
void ConnNote(Conn *conn, const char *condition, std::string message);

// Records and raises {KELB MQTT condition}.
int ConnFail(Tcl_Interp *interp, const char *condition, const std::string &message);

}  // namespace kelb::mqtt

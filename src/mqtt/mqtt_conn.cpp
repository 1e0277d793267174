// mqtt_conn.cpp --
//
//     A connection's life: attempts and reconnects with backoff, the
//     event-loop handlers, handing the queue to the library, and the
//     goodbye.

#include "mqtt/mqtt_conn.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/tcl_support.h"
#include "mqtt/mqtt_flow.h"

namespace kelb::mqtt {

namespace {

constexpr int kTickMs = 100;             // housekeeping and retry timer
constexpr int kReadPackets = 1000;       // packets read per readable event
constexpr int kGoodbyeMs = 1000;         // how long a close waits for the goodbye to go out
constexpr const char *kOnline = "online";
constexpr const char *kOffline = "offline";

Tcl_WideInt NowMs() {
    Tcl_Time now;
    Tcl_GetTime(&now);
    return static_cast<Tcl_WideInt>(now.sec) * 1000 + now.usec / 1000;
}

// What a libmosquitto result means to a script.
const char *ConditionOf(int rc) {
    switch (rc) {
    case MOSQ_ERR_TLS:
#ifdef MOSQ_ERR_TLS_HANDSHAKE
    case MOSQ_ERR_TLS_HANDSHAKE:
#endif
        return "TLS";
    case MOSQ_ERR_CONN_REFUSED:
    case MOSQ_ERR_AUTH:
        return "REFUSED";
    case MOSQ_ERR_ERRNO:
    case MOSQ_ERR_NO_CONN:
    case MOSQ_ERR_CONN_LOST:
    case MOSQ_ERR_EAI:
        return "UNREACHABLE";
    default:
        return "PROTOCOL";
    }
}

std::string MessageOf(int rc) {
    if (rc == MOSQ_ERR_ERRNO) return std::string("connection failed: ") + std::strerror(errno);
    return std::string("connection failed: ") + mosquitto_strerror(rc);
}

// Records why the link failed, unless the broker said so itself.
void NoteFailure(Conn *conn, int rc) {
    if (conn->connackCode > 0) {
        ConnNote(conn, "REFUSED",
                 std::string("connection refused: ") + mosquitto_connack_string(conn->connackCode));
        return;
    }
    ConnNote(conn, ConditionOf(rc), MessageOf(rc));
}

// libmosquitto's callbacks: they run inside the library's calls and only
// take note.
void OnConnect(mosquitto *, void *data, int rc) {
    auto *conn = static_cast<Conn *>(data);
    conn->connackCode = rc;
    if (rc == 0) {
        conn->connected = true;
        conn->justConnected = true;
    } else {
        conn->lost = true;
    }
}

void OnDisconnect(mosquitto *, void *data, int) {
    auto *conn = static_cast<Conn *>(data);
    conn->connected = false;
    conn->lost = true;
}

void OnPublish(mosquitto *, void *data, int) {
    auto *conn = static_cast<Conn *>(data);
    if (conn->inflight > 0) --conn->inflight;
    ++conn->sent;
}

void OnMessage(mosquitto *, void *data, const mosquitto_message *message) {
    auto *conn = static_cast<Conn *>(data);
    try {
        conn->inbound.push_back({message->topic,
                                 std::string(static_cast<const char *>(message->payload),
                                             static_cast<std::size_t>(message->payloadlen)),
                                 message->retain});
    } catch (...) {
        ++conn->refused;
        ConnNote(conn, "MEMORY", "not enough memory for a received message");
    }
}

// A new client object for one attempt, with every setting applied.
int Open(Conn *conn) {
    const Settings &s = conn->settings;
    conn->mosq = mosquitto_new(s.clientId.empty() ? nullptr : s.clientId.c_str(), s.clean, conn);
    if (conn->mosq == nullptr) return errno == EINVAL ? MOSQ_ERR_INVAL : MOSQ_ERR_NOMEM;
    mosquitto *m = conn->mosq;
    mosquitto_connect_callback_set(m, OnConnect);
    mosquitto_disconnect_callback_set(m, OnDisconnect);
    mosquitto_publish_callback_set(m, OnPublish);
    mosquitto_message_callback_set(m, OnMessage);
    int rc = MOSQ_ERR_SUCCESS;
    if (s.username) {
        rc = mosquitto_username_pw_set(m, s.username->c_str(), s.password ? s.password->c_str() : nullptr);
    }
    if (rc == MOSQ_ERR_SUCCESS && !s.cafile.empty()) {
        rc = mosquitto_tls_set(m, s.cafile.c_str(), nullptr, s.certfile.empty() ? nullptr : s.certfile.c_str(),
                               s.keyfile.empty() ? nullptr : s.keyfile.c_str(), nullptr);
    }
    if (rc == MOSQ_ERR_SUCCESS && !s.statusTopic.empty()) {
        rc = mosquitto_will_set(m, s.statusTopic.c_str(), static_cast<int>(std::strlen(kOffline)), kOffline,
                                1, true);
    }
    return rc;
}

void Unwatch(Conn *conn) {
    if (conn->fd >= 0) {
        Tcl_DeleteFileHandler(conn->fd);
        close(conn->fd);
    }
    conn->fd = -1;
    conn->libraryFd = -1;
    conn->mask = 0;
}

void Drop(Conn *conn) {
    Unwatch(conn);
    if (conn->mosq != nullptr) mosquitto_destroy(conn->mosq);
    conn->mosq = nullptr;
    conn->connected = false;
    conn->justConnected = false;
    conn->lost = false;
    conn->inflight = 0;
    conn->echo.clear();
}

void FileProc(ClientData data, int mask);

// Watches the socket for what the library waits for. The handler sits on
// a duplicate of the library's descriptor, which only we close: the
// library closes its own when the link fails, inside its calls, and a
// notifier must never hold a descriptor that was closed under it.
void UpdateMask(Conn *conn) {
    if (conn->mosq == nullptr) return;
    const int fd = mosquitto_socket(conn->mosq);
    const int mask = TCL_READABLE | (mosquitto_want_write(conn->mosq) ? TCL_WRITABLE : 0);
    if (fd == conn->libraryFd && mask == conn->mask) return;
    if (fd != conn->libraryFd) {
        Unwatch(conn);
        if (fd < 0) return;
        conn->fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (conn->fd < 0) {
            ConnNote(conn, "UNREACHABLE", std::string("cannot watch the socket: ") + std::strerror(errno));
            conn->lost = true;
            return;
        }
        conn->libraryFd = fd;
    }
    conn->mask = mask;
    Tcl_CreateFileHandler(conn->fd, mask, FileProc, conn);
}

// The link is down: forget the client and try again after the backoff.
void LinkDown(Conn *conn) {
    if (conn->errorCondition.empty() || conn->connected) ConnNote(conn, "LOST", "connection lost");
    Drop(conn);
    const Settings &s = conn->settings;
    conn->backoff = std::clamp(conn->backoff * 2, s.retryMin, s.retryMax);
    conn->nextAttempt = NowMs() + conn->backoff;
}

// Starts one attempt; false when it failed at once.
bool Attempt(Conn *conn) {
    conn->connackCode = -1;
    conn->attemptStart = NowMs();
    int rc = Open(conn);
    if (rc != MOSQ_ERR_SUCCESS) {
        // A file that cannot be read, a client id the library refuses.
        ConnNote(conn, "OPTION", std::string("settings refused: ") + mosquitto_strerror(rc));
        return false;
    }
    const Settings &s = conn->settings;
    rc = mosquitto_connect_async(conn->mosq, s.host.c_str(), s.port, s.keepalive);
    if (rc != MOSQ_ERR_SUCCESS) {
        NoteFailure(conn, rc);
        return false;
    }
    return true;
}

// Hands queued changes to the library while the window allows.
void Flush(Conn *conn) {
    if (!conn->connected || conn->inLibrary || conn->lost) return;
    std::string topic;
    std::optional<std::string> payload;
    int tag = 0;
    while (conn->inflight < conn->settings.window && conn->queue.Take(topic, payload, &tag)) {
        const int length = payload ? static_cast<int>(payload->size()) : 0;
        ++conn->inflight;
        conn->inLibrary = true;
        const int rc = mosquitto_publish(conn->mosq, nullptr, topic.c_str(), length,
                                         payload ? payload->data() : nullptr, tag & kTagQos, true);
        conn->inLibrary = false;
        if (rc == MOSQ_ERR_SUCCESS) {
            if (tag & kTagEcho) conn->echo.Sent(topic);
            continue;
        }
        --conn->inflight;
        if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_ERRNO) {
            if (!conn->queue.Holds(topic)) conn->queue.Put(topic, std::move(payload), tag);
            NoteFailure(conn, rc);
            conn->lost = true;
            return;
        }
        ++conn->refused;
        ConnNote(conn, "PAYLOAD", "not published to \"" + topic + "\": " + mosquitto_strerror(rc));
    }
}

void IdleService(ClientData data);

void ScheduleService(Conn *conn) {
    if (conn->idleFlush || conn->closed) return;
    conn->idleFlush = true;
    Tcl_Preserve(conn);
    Tcl_DoWhenIdle(IdleService, conn);
}

// The tree's report of a change under a published mirror.
void OnTreeChange(void *data, const char *address, Tcl_Obj *value) {
    auto *conn = static_cast<Conn *>(data);
    if (conn->closed) return;
    if (conn->applying == address) return;
    try {
        Enqueue(conn, address, value, false);
    } catch (...) {
        ConnNote(conn, "MEMORY", "not enough memory to queue a change");
        return;
    }
    if (conn->connected && !conn->inLibrary) {
        Flush(conn);
        if (!conn->lost) UpdateMask(conn);
        if (conn->lost) ScheduleService(conn);
    }
}

void Subscribe(Conn *conn, const Mirror &mirror) {
    if (!mirror.subscribe || !conn->connected) return;
    conn->inLibrary = true;
    mosquitto_subscribe(conn->mosq, nullptr, SubscriptionFilter(mirror.map).c_str(), mirror.qos);
    conn->inLibrary = false;
}

void LinkUp(Conn *conn) {
    conn->justConnected = false;
    conn->backoff = 0;
    ++conn->connects;
    for (const Mirror &m : conn->mirrors) Subscribe(conn, m);
    const std::string &status = conn->settings.statusTopic;
    if (!status.empty()) {
        conn->inLibrary = true;
        mosquitto_publish(conn->mosq, nullptr, status.c_str(), static_cast<int>(std::strlen(kOnline)), kOnline, 1,
                          true);
        conn->inLibrary = false;
    }
    for (const Mirror &m : conn->mirrors) EnqueueAll(conn, m);
}

// After every library call: what its callbacks noted is acted on here,
// where scripts may run. The caller holds the record.
void Service(Conn *conn) {
    if (conn->closed) return;
    if (conn->justConnected) LinkUp(conn);
    if (!conn->inbound.empty()) ApplyInbound(conn);
    if (conn->closed) return;
    if (!conn->lost) Flush(conn);
    if (!conn->lost) UpdateMask(conn);
    if (conn->lost) LinkDown(conn);
}

void IdleService(ClientData data) {
    auto *conn = static_cast<Conn *>(data);
    conn->idleFlush = false;
    GuardCommand(conn->interp, [conn] {
        Service(conn);
        return TCL_OK;
    });
    Tcl_Release(conn);
}

// Whether bytes wait on the connection's socket.
bool BytesWaiting(const Conn *conn) {
    int waiting = 0;
    return conn->fd >= 0 && ioctl(conn->fd, FIONREAD, &waiting) == 0 && waiting > 0;
}

// Reads what the socket holds, up to kReadPackets packets. The library
// reads one packet a call while no message of QoS 1 waits, so a burst of
// QoS 0 messages would otherwise take one pass of the event loop each.
int ReadPackets(Conn *conn) {
    int rc = MOSQ_ERR_SUCCESS;
    for (int i = 0; i < kReadPackets; ++i) {
        rc = mosquitto_loop_read(conn->mosq, kReadPackets);
        if (rc != MOSQ_ERR_SUCCESS || conn->lost || !BytesWaiting(conn)) break;
    }
    return rc;
}

void FileProc(ClientData data, int mask) {
    auto *conn = static_cast<Conn *>(data);
    Tcl_Preserve(conn);
    if (!conn->closed && conn->mosq != nullptr) {
        int rc = MOSQ_ERR_SUCCESS;
        conn->inLibrary = true;
        if (mask & TCL_READABLE) rc = ReadPackets(conn);
        if (rc == MOSQ_ERR_SUCCESS && !conn->lost && (mask & TCL_WRITABLE)) {
            rc = mosquitto_loop_write(conn->mosq, kReadPackets);
        }
        conn->inLibrary = false;
        if (rc != MOSQ_ERR_SUCCESS || conn->lost) {
            NoteFailure(conn, rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc);
            conn->lost = true;
        }
        GuardCommand(conn->interp, [conn] {
            Service(conn);
            return TCL_OK;
        });
    }
    Tcl_Release(conn);
}

void TimerProc(ClientData data) {
    auto *conn = static_cast<Conn *>(data);
    conn->timer = nullptr;
    if (conn->closed) return;
    Tcl_Preserve(conn);
    const Tcl_WideInt now = NowMs();
    if (conn->mosq == nullptr) {
        if (now >= conn->nextAttempt) {
            if (Attempt(conn)) {
                UpdateMask(conn);
            } else {
                conn->lost = true;
            }
        }
    } else {
        conn->inLibrary = true;
        mosquitto_loop_misc(conn->mosq);
        conn->inLibrary = false;
        const int limit = std::max(conn->settings.timeout, 5000);
        if (!conn->connected && !conn->lost && now - conn->attemptStart > limit) {
            ConnNote(conn, "TIMEOUT", "no answer from the broker");
            conn->lost = true;
        }
    }
    GuardCommand(conn->interp, [conn] {
        Service(conn);
        return TCL_OK;
    });
    if (!conn->closed) conn->timer = Tcl_CreateTimerHandler(kTickMs, TimerProc, conn);
    Tcl_Release(conn);
}

}  // namespace

void ConnNote(Conn *conn, const char *condition, std::string message) {
    conn->errorCondition = condition;
    conn->errorMessage = std::move(message);
}

int ConnFail(Tcl_Interp *interp, const char *condition, const std::string &message) {
    Tcl_ResetResult(interp);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(message.data(), static_cast<TclSize>(message.size())));
    Tcl_SetErrorCode(interp, "KELB", "MQTT", condition, static_cast<char *>(nullptr));
    return TCL_ERROR;
}

int ConnStart(Conn *conn) {
    const int wait = conn->settings.timeout;
    bool started = Attempt(conn);
    if (started && wait > 0) {
        // The first connection is waited for in the library's own loop, so
        // that a refusal is this command's error; no event is served.
        const Tcl_WideInt deadline = NowMs() + wait;
        conn->inLibrary = true;
        while (!conn->connected && !conn->lost) {
            const int rc = mosquitto_loop(conn->mosq, 50, 1);
            if (rc != MOSQ_ERR_SUCCESS) {
                NoteFailure(conn, rc);
                conn->lost = true;
            } else if (!conn->connected && NowMs() > deadline) {
                ConnNote(conn, "TIMEOUT", "no answer from the broker");
                conn->lost = true;
            }
        }
        conn->inLibrary = false;
        if (conn->lost && !conn->connected) {
            if (conn->connackCode > 0) NoteFailure(conn, MOSQ_ERR_CONN_REFUSED);
            Drop(conn);
            return ConnFail(conn->interp, conn->errorCondition.c_str(), conn->errorMessage);
        }
    }
    if (!started) {
        if (wait > 0) {
            Drop(conn);
            return ConnFail(conn->interp, conn->errorCondition.c_str(), conn->errorMessage);
        }
        conn->lost = true;
    }
    Tcl_Preserve(conn);
    Service(conn);
    Tcl_Release(conn);
    conn->timer = Tcl_CreateTimerHandler(kTickMs, TimerProc, conn);
    return TCL_OK;
}

int ConnAddMirror(Conn *conn, Mirror mirror) {
    Tcl_Interp *interp = conn->interp;
    auto same = std::find_if(conn->mirrors.begin(), conn->mirrors.end(), [&](const Mirror &m) {
        return m.map.rootAddress == mirror.map.rootAddress && m.map.rootTopic == mirror.map.rootTopic;
    });
    if (same != conn->mirrors.end()) {
        if ((mirror.publish && same->publish) || (mirror.subscribe && same->subscribe)) {
            return ConnFail(interp, "EXISTS", "already mirrored: " + mirror.map.rootAddress);
        }
        mirror.publish |= same->publish;
        mirror.subscribe |= same->subscribe;
        mirror.watch = same->watch;
        if (!same->publish) mirror.qos = std::max(mirror.qos, same->qos);
    }
    const bool newPublish = mirror.publish && mirror.watch == 0;
    if (newPublish) {
        mirror.watch = conn->tree->watch(interp, mirror.map.rootAddress.c_str(), OnTreeChange, conn);
        if (mirror.watch == 0) return TCL_ERROR;
    }
    const bool existed = same != conn->mirrors.end();
    const bool newSubscribe = mirror.subscribe && (!existed || !same->subscribe);
    if (existed) {
        *same = mirror;
    } else {
        conn->mirrors.push_back(mirror);
    }
    const Mirror &added = existed ? *same : conn->mirrors.back();
    if (newSubscribe) Subscribe(conn, added);
    if (newPublish && conn->connected) EnqueueAll(conn, added);
    Tcl_Preserve(conn);
    Service(conn);
    Tcl_Release(conn);
    return TCL_OK;
}

Tcl_Obj *ConnStatus(const Conn *conn) {
    Tcl_Obj *dict = Tcl_NewDictObj();
    auto put = [dict](const char *key, Tcl_Obj *value) {
        Tcl_DictObjPut(nullptr, dict, Tcl_NewStringObj(key, -1), value);
    };
    put("connected", Tcl_NewBooleanObj(conn->connected));
    put("queued", Tcl_NewWideIntObj(static_cast<Tcl_WideInt>(conn->queue.size()) + conn->inflight));
    put("sent", Tcl_NewWideIntObj(conn->sent));
    put("received", Tcl_NewWideIntObj(conn->received));
    put("refused", Tcl_NewWideIntObj(conn->refused));
    put("connects", Tcl_NewWideIntObj(conn->connects));
    Tcl_Obj *error = Tcl_NewListObj(0, nullptr);
    if (!conn->errorCondition.empty()) {
        Tcl_Obj *code[] = {Tcl_NewStringObj("KELB", -1), Tcl_NewStringObj("MQTT", -1),
                           Tcl_NewStringObj(conn->errorCondition.c_str(), -1)};
        Tcl_ListObjAppendElement(nullptr, error, Tcl_NewListObj(3, code));
        Tcl_ListObjAppendElement(nullptr, error, Tcl_NewStringObj(conn->errorMessage.c_str(), -1));
    }
    put("error", error);
    return dict;
}

// Ends a connection whose goodbye is written: our half closes after what
// was sent, and what the broker still sends is read until it closes its
// half or the deadline passes. Closing with unread bytes (acknowledgements
// nobody waited for) would reset the connection, and a broker that had not
// read everything yet would lose the rest: the last changes and the
// goodbye, so that it publishes the will instead.
void EndGracefully(int fd, Tcl_WideInt deadline) {
    shutdown(fd, SHUT_WR);
    char discard[512];
    for (Tcl_WideInt now = NowMs(); now < deadline; now = NowMs()) {
        pollfd readable{fd, POLLIN, 0};
        if (poll(&readable, 1, static_cast<int>(deadline - now)) <= 0) break;
        const ssize_t got = read(fd, discard, sizeof discard);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) break;
    }
    close(fd);
}

void ConnClose(Conn *conn) {
    if (conn->closed) return;
    conn->closed = true;
    for (Mirror &m : conn->mirrors) {
        if (m.watch != 0) conn->tree->unwatch(m.watch);
        m.watch = 0;
    }
    if (conn->timer != nullptr) Tcl_DeleteTimerHandler(conn->timer);
    conn->timer = nullptr;
    if (conn->idleFlush) {
        Tcl_CancelIdleCall(IdleService, conn);
        conn->idleFlush = false;
        Tcl_Release(conn);
    }
    Unwatch(conn);
    if (conn->mosq != nullptr && conn->connected && !conn->inLibrary) {
        // Changes made before the close still go out, then a clean
        // goodbye: the status says so and the broker keeps the will. A
        // descriptor of our own keeps the connection open once the
        // library has closed its own behind the goodbye.
        const int held = fcntl(mosquitto_socket(conn->mosq), F_DUPFD_CLOEXEC, 0);
        const Tcl_WideInt deadline = NowMs() + kGoodbyeMs;
        // The library has only so many messages unacknowledged at once and
        // drops the ones it holds back at the disconnect: wait for every
        // change to be acknowledged first.
        Flush(conn);
        while (NowMs() < deadline && !conn->lost && (conn->inflight > 0 || !conn->queue.empty())) {
            if (mosquitto_loop(conn->mosq, 20, 1) != MOSQ_ERR_SUCCESS) break;
            Flush(conn);
        }
        const std::string &status = conn->settings.statusTopic;
        if (!status.empty()) {
            mosquitto_publish(conn->mosq, nullptr, status.c_str(), static_cast<int>(std::strlen(kOffline)),
                              kOffline, 1, true);
        }
        mosquitto_disconnect(conn->mosq);
        while (NowMs() < deadline && mosquitto_loop(conn->mosq, 20, 1) == MOSQ_ERR_SUCCESS) {
        }
        if (held >= 0) EndGracefully(held, deadline);
    }
    Drop(conn);
    conn->queue.clear();
    conn->remote.clear();
}

}  // namespace kelb::mqtt

// mqtt_flow.cpp --
//
//     What goes between the tree and the broker: node changes into the
//     coalescing queue, as payloads in UTF-8, and received messages into
//     node values, with the echo and origin bookkeeping of shared subtrees.

#include "mqtt/mqtt_flow.h"

#include <algorithm>
#include <cstring>

#include "core/tcl_support.h"

namespace kelb::mqtt {

namespace {

// Whether a message on the topic comes back to this connection.
bool TopicSubscribed(const Conn *conn, const Mirror &publisher, const std::string &topic) {
    if (publisher.subscribe) return true;
    std::string address;
    for (const Mirror &m : conn->mirrors) {
        if (m.subscribe && TopicToAddress(m.map, topic, address) == MapStatus::Ok) return true;
    }
    return false;
}

// Text of a value in UTF-8 (Tcl keeps NUL and characters beyond the BMP
// its own way); none when it cannot be said in UTF-8.
std::optional<std::string> ToUtf8(Tcl_Obj *value) {
    TclSize length = 0;
    const char *text = Tcl_GetStringFromObj(value, &length);
    const std::string_view view(text, static_cast<std::size_t>(length));
    if (std::all_of(view.begin(), view.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return std::string(view);
    }
    Tcl_DString out;
    Tcl_Encoding utf8 = Tcl_GetEncoding(nullptr, "utf-8");
    Tcl_UtfToExternalDString(utf8, text, length, &out);
    Tcl_FreeEncoding(utf8);
    std::string result(Tcl_DStringValue(&out), static_cast<std::size_t>(Tcl_DStringLength(&out)));
    Tcl_DStringFree(&out);
    if (!ValidUtf8(result)) return std::nullopt;
    return result;
}

Tcl_Obj *FromUtf8(std::string_view text) {
    if (std::all_of(text.begin(), text.end(), [](char c) { return c != 0 && static_cast<unsigned char>(c) < 0x80; })) {
        return Tcl_NewStringObj(text.data(), static_cast<TclSize>(text.size()));
    }
    Tcl_DString out;
    Tcl_Encoding utf8 = Tcl_GetEncoding(nullptr, "utf-8");
    Tcl_ExternalToUtfDString(utf8, text.data(), static_cast<TclSize>(text.size()), &out);
    Tcl_FreeEncoding(utf8);
    Tcl_Obj *obj = Tcl_NewStringObj(Tcl_DStringValue(&out), Tcl_DStringLength(&out));
    Tcl_DStringFree(&out);
    return obj;
}

}  // namespace

void Enqueue(Conn *conn, const char *address, Tcl_Obj *value, bool resend) {
    std::string topic;
    for (const Mirror &m : conn->mirrors) {
        if (!m.publish || AddressToTopic(m.map, address, topic) != MapStatus::Ok) continue;
        if (resend && conn->remote.count(topic) != 0) continue;
        if (!resend && !conn->remote.empty()) conn->remote.erase(topic);
        const int tag = m.qos | (TopicSubscribed(conn, m, topic) ? kTagEcho : 0);
        if (value == nullptr) {
            conn->queue.Put(topic, std::nullopt, tag);
            continue;
        }
        std::optional<std::string> text = ToUtf8(value);
        if (!text) {
            ++conn->refused;
            ConnNote(conn, "PAYLOAD", std::string("the value of ") + address + " is not valid UTF-8");
            continue;
        }
        conn->queue.Put(topic, EncodePayload(*text), tag);
    }
}

namespace {

void EnqueueListed(void *data, const char *address, Tcl_Obj *value) {
    if (value != nullptr) Enqueue(static_cast<Conn *>(data), address, value, true);
}

}  // namespace

void EnqueueAll(Conn *conn, const Mirror &mirror) {
    if (!mirror.publish) return;
    Tcl_Interp *interp = conn->interp;
    Tcl_InterpState saved = Tcl_SaveInterpState(interp, TCL_OK);
    conn->tree->listValues(interp, mirror.map.rootAddress.c_str(), EnqueueListed, conn);
    Tcl_RestoreInterpState(interp, saved);
}

namespace {

void Refuse(Conn *conn, const char *condition, std::string message) {
    ++conn->refused;
    ConnNote(conn, condition, std::move(message));
}

// Writes one received message into the tree.
void Apply(Conn *conn, const Conn::Inbound &message) {
    std::string address;
    const Mirror *mirror = nullptr;
    for (const Mirror &m : conn->mirrors) {
        if (m.subscribe && TopicToAddress(m.map, message.topic, address) == MapStatus::Ok) {
            mirror = &m;
            break;
        }
    }
    if (mirror == nullptr) {
        return Refuse(conn, "TOPIC", "topic \"" + message.topic + "\" names no node address");
    }
    if (!conn->echo.Accept(message.topic, message.retained, conn->queue.Holds(message.topic))) return;
    Tcl_Interp *interp = conn->interp;
    const KelbTreeApi *tree = conn->tree;
    if (message.payload.empty()) {
        if (tree->getValue(interp, address.c_str()) == nullptr) return;
        conn->applying = address;
        tree->clearValue(interp, address.c_str());
        conn->applying.clear();
        conn->remote.erase(message.topic);
        return;
    }
    const std::string_view text = DecodePayload(message.payload);
    if (!ValidUtf8(text)) {
        return Refuse(conn, "PAYLOAD", "payload on \"" + message.topic + "\" is not valid UTF-8");
    }
    const ObjRef value(FromUtf8(text));
    if (Tcl_Obj *current = tree->getValue(interp, address.c_str())) {
        TclSize a = 0, b = 0;
        const char *x = Tcl_GetStringFromObj(current, &a);
        const char *y = Tcl_GetStringFromObj(value.get(), &b);
        if (a == b && std::memcmp(x, y, static_cast<std::size_t>(a)) == 0) return;
    }
    conn->applying = address;
    const int code = tree->setValue(interp, address.c_str(), value.get());
    conn->applying.clear();
    if (code != TCL_OK) return Refuse(conn, "TREE", Tcl_GetString(Tcl_GetObjResult(interp)));
    conn->remote.insert(message.topic);
}

}  // namespace

void ApplyInbound(Conn *conn) {
    std::vector<Conn::Inbound> batch;
    batch.swap(conn->inbound);
    Tcl_InterpState saved = Tcl_SaveInterpState(conn->interp, TCL_OK);
    for (const Conn::Inbound &message : batch) {
        if (conn->closed) break;
        ++conn->received;
        Apply(conn, message);
    }
    Tcl_RestoreInterpState(conn->interp, saved);
}

}  // namespace kelb::mqtt

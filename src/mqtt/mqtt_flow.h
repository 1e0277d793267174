// mqtt_flow.h --
//
//     Between the tree and the broker (mqtt_flow.cpp), for the connection's
//     life cycle (mqtt_conn.cpp).

#pragma once

#include "mqtt/mqtt_conn.h"

namespace kelb::mqtt {

// The tag a queued change carries: its QoS, and whether it comes back.
inline constexpr int kTagQos = 1;
inline constexpr int kTagEcho = 2;

// Queues the change of one node for every mirror that publishes it: a
// local change, or (resend) a value sent again after a reconnect, which
// is left out when the broker brought it.
void Enqueue(Conn *conn, const char *address, Tcl_Obj *value, bool resend);

// Every value of the mirror's subtree goes out again (when published):
// after a reconnect the broker's retained state is exact.
void EnqueueAll(Conn *conn, const Mirror &mirror);

// Writes the messages received since the last call into the tree; traces
// may run and close the connection (the caller holds the record).
void ApplyInbound(Conn *conn);

}  // namespace kelb::mqtt

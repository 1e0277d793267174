// mqtt_queue.h --
//
//     What a connection holds between the tree and the broker. Plain C++,
//     free of Tcl.
//
//     ChangeQueue: the changes not yet handed to the broker, one entry per
//     topic. A newer change of the same topic replaces the older one in
//     place (the latest wins, and the topic keeps its turn), so the queue
//     never holds more entries than the mirrored subtree has nodes.
//
//     EchoTracker: a station that subscribes to what it publishes gets
//     its own messages back. It counts, per topic, the messages of its own
//     still on their way back; while any is, an arriving message is ours
//     or older than our last one, and is skipped (counting down). What
//     arrives once none is pending is applied: the last message of a topic
//     in the broker's order, the same for every station, is what stays,
//     so stations sharing a subtree converge, and no station's newer
//     local value is overwritten by its own older one.

#pragma once

#include <cstddef>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>

namespace kelb::mqtt {

class ChangeQueue {
public:
    // Records the topic's latest payload (none: the value is gone), with
    // a tag of the caller's that goes with it.
    void Put(const std::string &topic, std::optional<std::string> payload, int tag = 0);
    // Takes the oldest entry; false when the queue is empty.
    bool Take(std::string &topic, std::optional<std::string> &payload, int *tag = nullptr);
    bool Holds(const std::string &topic) const { return entries_.count(topic) != 0; }
    std::size_t size() const noexcept { return entries_.size(); }
    bool empty() const noexcept { return entries_.empty(); }
    void clear() noexcept;

private:
    struct Entry {
        std::optional<std::string> payload;
        int tag;
        std::list<std::string>::iterator turn;
    };
    std::list<std::string> order_;  // topics, oldest first
    std::unordered_map<std::string, Entry> entries_;
};

class EchoTracker {
public:
    // One of our own messages on the topic went to the broker.
    void Sent(const std::string &topic);
    // Whether a message arriving on the topic is to be applied. A
    // retained one is the broker's state from before; `waiting` says a
    // local change of the topic is still queued here.
    bool Accept(const std::string &topic, bool retained, bool waiting);
    // The connection went: nothing of ours comes back any more.
    void clear() noexcept { pending_.clear(); }
    std::size_t size() const noexcept { return pending_.size(); }

private:
    std::unordered_map<std::string, unsigned> pending_;
};

}  // namespace kelb::mqtt

// mqtt_queue.cpp --
//
//     The coalescing queue of outgoing changes and the echo counts.

#include "mqtt/mqtt_queue.h"

namespace kelb::mqtt {

void ChangeQueue::Put(const std::string &topic, std::optional<std::string> payload, int tag) {
    auto found = entries_.find(topic);
    if (found != entries_.end()) {
        found->second.payload = std::move(payload);
        found->second.tag = tag;
        return;
    }
    order_.push_back(topic);
    try {
        entries_.emplace(topic, Entry{std::move(payload), tag, std::prev(order_.end())});
    } catch (...) {
        order_.pop_back();
        throw;
    }
}

bool ChangeQueue::Take(std::string &topic, std::optional<std::string> &payload, int *tag) {
    if (order_.empty()) return false;
    auto found = entries_.find(order_.front());
    topic = std::move(order_.front());
    payload = std::move(found->second.payload);
    if (tag != nullptr) *tag = found->second.tag;
    entries_.erase(found);
    order_.pop_front();
    return true;
}

void ChangeQueue::clear() noexcept {
    entries_.clear();
    order_.clear();
}

void EchoTracker::Sent(const std::string &topic) { ++pending_[topic]; }

bool EchoTracker::Accept(const std::string &topic, bool retained, bool waiting) {
    auto found = pending_.find(topic);
    if (found == pending_.end()) return !waiting;
    // The broker's stored state predates what we sent.
    if (retained) return false;
    // Ours, or older than ours: what we sent last comes after it.
    if (--found->second == 0) pending_.erase(found);
    return false;
}

}  // namespace kelb::mqtt

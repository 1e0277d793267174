// mqtt_topic.h --
//
//     The mapping between node addresses and MQTT topics, and between
//     values and payloads. Plain C++, free of Tcl.
//
//     A mirror joins a root address to a topic root. An address under the
//     root keeps its structure after it: "/" separates levels and "."
//     stays inside a level, so /plant/line1.temp under the root /plant
//     with the topic root site/plant is site/plant/line1.temp. Name
//     characters that MQTT reserves ("+", "#", "$") and the escape
//     character "%" travel as %2B, %23, %24 and %25; nothing else is
//     escaped, so each address has exactly one topic and back. The
//     root's own "." children (/plant.x) lie beside the topic root, not
//     under it, and are not part of the mirror.
//
//     A payload is the value's text in UTF-8. An empty payload means "no
//     value" (a retained empty message clears the topic), so a value that
//     is empty or begins with a NUL byte is sent with one NUL byte before
//     it, which the receiver takes off again.

#pragma once

#include <string>
#include <string_view>

namespace kelb::mqtt {

enum class MapStatus {
    Ok,
    BadAddress,  // not a node address under the mirror's root
    BadTopic,    // not a topic the mirror's addresses map to
};

struct TopicMap {
    std::string rootAddress;  // "/" or a canonical address without trailing separator
    std::string rootTopic;    // a topic name (no wildcards); "" only with the root "/"
};

// Whether the text is a usable topic root: no wildcard, no NUL, no empty
// level, valid UTF-8, at most 65535 bytes; "" is allowed.
bool ValidTopicRoot(std::string_view topic) noexcept;

// Whether the text is a canonical node address: "/" or "/" followed by
// names of 1-31 characters 0x21-0x7E other than "/" and ".", separated by
// one "/" or ".".
bool ValidAddress(std::string_view address) noexcept;

// Whether `address` is `root` or lies under it.
bool AddressUnder(std::string_view root, std::string_view address) noexcept;

MapStatus AddressToTopic(const TopicMap &map, std::string_view address, std::string &topic);
MapStatus TopicToAddress(const TopicMap &map, std::string_view topic, std::string &address);

// The subscription filter that covers every topic of the mirror.
std::string SubscriptionFilter(const TopicMap &map);

bool ValidUtf8(std::string_view text) noexcept;

// The payload for a value's UTF-8 text, and the text of a payload
// (which must not be empty: that is a removal).
std::string EncodePayload(std::string_view text);
std::string_view DecodePayload(std::string_view payload) noexcept;

}  // namespace kelb::mqtt

// mqtt_topic.cpp --
//
//     Addresses to topics and back, payloads, and the checks they share.

#include "mqtt/mqtt_topic.h"

#include <cstdint>

namespace kelb::mqtt {

namespace {

constexpr std::size_t kMaxName = 31;
constexpr std::size_t kMaxTopic = 65535;
constexpr const char kHex[] = "0123456789ABCDEF";

bool IsNameChar(unsigned char c) noexcept { return c > 0x20 && c < 0x7F && c != '/' && c != '.'; }

bool NeedsEscape(char c) noexcept { return c == '+' || c == '#' || c == '$' || c == '%'; }

int HexValue(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case is not canonical
}

// Appends the structure after the root, escaping names. The input is a
// valid address tail, so it cannot fail.
void AppendEscaped(std::string &out, std::string_view tail) {
    for (char c : tail) {
        if (NeedsEscape(c)) {
            out += '%';
            out += kHex[static_cast<unsigned char>(c) >> 4];
            out += kHex[static_cast<unsigned char>(c) & 0xF];
        } else {
            out += c;
        }
    }
}

// Reads a topic tail ("/a.b/c" or ".x") back into an address tail.
bool UnescapeTail(std::string_view tail, std::string &out) {
    std::size_t nameLength = 0;
    bool separatorLast = true;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        char c = tail[i];
        if (c == '/' || c == '.') {
            if (separatorLast && i > 0) return false;  // an empty name
            if (i > 0 && nameLength == 0) return false;
            out += c;
            nameLength = 0;
            separatorLast = true;
            continue;
        }
        if (c == '%') {
            if (i + 2 >= tail.size()) return false;
            const int hi = HexValue(tail[i + 1]);
            const int lo = HexValue(tail[i + 2]);
            if (hi < 0 || lo < 0) return false;
            c = static_cast<char>(hi * 16 + lo);
            if (!NeedsEscape(c)) return false;  // only the canonical form
            i += 2;
        } else if (!IsNameChar(static_cast<unsigned char>(c)) || NeedsEscape(c)) {
            return false;
        }
        if (++nameLength > kMaxName) return false;
        out += c;
        separatorLast = false;
    }
    return !separatorLast;
}

}  // namespace

bool ValidUtf8(std::string_view text) noexcept {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra;
        std::uint32_t code;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1, code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2, code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3, code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            code = (code << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF.
        if ((extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000) || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

bool ValidTopicRoot(std::string_view topic) noexcept {
    if (topic.size() > kMaxTopic || !ValidUtf8(topic)) return false;
    if (topic.empty()) return true;
    char last = '/';
    for (char c : topic) {
        if (c == '+' || c == '#' || c == '\0' || (c == '/' && last == '/')) return false;
        last = c;
    }
    return last != '/';
}

bool ValidAddress(std::string_view address) noexcept {
    if (address.empty() || address[0] != '/') return false;
    if (address.size() == 1) return true;
    std::size_t nameLength = 0;
    for (std::size_t i = 1; i < address.size(); ++i) {
        const char c = address[i];
        if (c == '/' || c == '.') {
            if (nameLength == 0) return false;
            nameLength = 0;
        } else if (!IsNameChar(static_cast<unsigned char>(c)) || ++nameLength > kMaxName) {
            return false;
        }
    }
    // A name may not begin with "#": that reads as a node identity.
    return nameLength != 0 && address[1] != '#';
}

bool AddressUnder(std::string_view root, std::string_view address) noexcept {
    if (root == "/") return !address.empty() && address[0] == '/';
    if (address.size() < root.size() || address.compare(0, root.size(), root) != 0) return false;
    return address.size() == root.size() || address[root.size()] == '/' ||
           address[root.size()] == '.';
}

MapStatus AddressToTopic(const TopicMap &map, std::string_view address, std::string &topic) {
    if (!ValidAddress(address) || !AddressUnder(map.rootAddress, address)) return MapStatus::BadAddress;
    std::string_view tail = address.substr(map.rootAddress == "/" ? 0 : map.rootAddress.size());
    // The root's own "." children hang beside its topic, not under it,
    // where the mirror's filter does not reach: they are not mirrored.
    if (!tail.empty() && tail[0] == '.' && map.rootAddress != "/") return MapStatus::BadAddress;
    topic = map.rootTopic;
    if (map.rootTopic.empty()) {
        if (tail.size() < 2) return MapStatus::BadAddress;  // the root itself has no topic
        tail.remove_prefix(1);
    }
    AppendEscaped(topic, tail);
    return topic.size() > kMaxTopic ? MapStatus::BadAddress : MapStatus::Ok;
}

MapStatus TopicToAddress(const TopicMap &map, std::string_view topic, std::string &address) {
    std::string_view tail;
    if (map.rootTopic.empty()) {
        if (topic.empty() || topic[0] == '/' || topic[0] == '.') return MapStatus::BadTopic;
        address.assign(1, '/');
        if (!UnescapeTail(topic, address)) return MapStatus::BadTopic;
    } else {
        if (topic.size() < map.rootTopic.size() ||
            topic.compare(0, map.rootTopic.size(), map.rootTopic) != 0) {
            return MapStatus::BadTopic;
        }
        tail = topic.substr(map.rootTopic.size());
        if (!tail.empty() && tail[0] != '/') return MapStatus::BadTopic;
        address = map.rootAddress == "/" ? "" : map.rootAddress;
        if (tail.empty()) {
            if (map.rootAddress == "/") return MapStatus::BadTopic;
        } else if (!UnescapeTail(tail, address)) {
            return MapStatus::BadTopic;
        }
    }
    return ValidAddress(address) ? MapStatus::Ok : MapStatus::BadTopic;
}

std::string SubscriptionFilter(const TopicMap &map) {
    return map.rootTopic.empty() ? std::string("#") : map.rootTopic + "/#";
}

std::string EncodePayload(std::string_view text) {
    std::string payload;
    if (text.empty() || text[0] == '\0') payload += '\0';
    payload += text;
    return payload;
}

std::string_view DecodePayload(std::string_view payload) noexcept {
    if (!payload.empty() && payload[0] == '\0') payload.remove_prefix(1);
    return payload;
}

}  // namespace kelb::mqtt

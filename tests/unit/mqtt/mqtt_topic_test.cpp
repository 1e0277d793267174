// Unit tests of the address-topic mapping and of payloads.

#include <gtest/gtest.h>

#include <string>

#include "mqtt/mqtt_topic.h"

using namespace kelb::mqtt;

namespace {

struct Pair {
    TopicMap map;
    const char *address;
    const char *topic;
};

const Pair kPairs[] = {
    {{"/plant", "site/plant"}, "/plant", "site/plant"},
    {{"/plant", "site/plant"}, "/plant/line1.temp", "site/plant/line1.temp"},
    {{"/plant", "x"}, "/plant/a/b.c.d", "x/a/b.c.d"},
    {{"/plant", "site/plant"}, "/plant/a+b/c#d", "site/plant/a%2Bb/c%23d"},
    {{"/plant", "site/plant"}, "/plant/$sys/100%", "site/plant/%24sys/100%25"},
    {{"/", ""}, "/a/b.c", "a/b.c"},
    {{"/", ""}, "/$x", "%24x"},
    {{"/", "pre"}, "/a", "pre/a"},
    {{"/a.b", "t"}, "/a.b/c", "t/c"},
};

TEST(MqttTopic, MapsBothWays) {
    for (const Pair &p : kPairs) {
        std::string topic, address;
        ASSERT_EQ(AddressToTopic(p.map, p.address, topic), MapStatus::Ok) << p.address;
        EXPECT_EQ(topic, p.topic);
        ASSERT_EQ(TopicToAddress(p.map, p.topic, address), MapStatus::Ok) << p.topic;
        EXPECT_EQ(address, p.address);
    }
}

TEST(MqttTopic, RefusesAddressesOutsideTheMirror) {
    const TopicMap map{"/plant", "site/plant"};
    for (const char *address : {"/plantx", "/other/a", "/plant.x", "/plant/", "/plant//a", "plant/a",
                                "/plant/a..b", "/plant/\x7f", "/plant/a b", "/#12",
                                "/plant/abcdefghijklmnopqrstuvwxyz0123456"}) {
        std::string topic;
        EXPECT_EQ(AddressToTopic(map, address, topic), MapStatus::BadAddress) << address;
    }
    std::string topic;
    EXPECT_EQ(AddressToTopic({"/", ""}, "/", topic), MapStatus::BadAddress);
}

TEST(MqttTopic, RefusesTopicsThatNameNoAddress) {
    const TopicMap map{"/plant", "site/plant"};
    for (const char *topic : {"site/plantx", "site/plant/", "site/plant//a", "site/plant/a.", "site/plant/.a",
                              "site/plant/a+b", "site/plant/a#", "site/plant/%2b", "site/plant/%41",
                              "site/plant/%2", "site/plant/a b", "site/plant/\xc3\xa9", "site/plant.x",
                              "other/a", "site/plant/abcdefghijklmnopqrstuvwxyz0123456"}) {
        std::string address;
        EXPECT_EQ(TopicToAddress(map, topic, address), MapStatus::BadTopic) << topic;
    }
    std::string address;
    EXPECT_EQ(TopicToAddress({"/", ""}, "/a", address), MapStatus::BadTopic);
    EXPECT_EQ(TopicToAddress({"/", "pre"}, "pre", address), MapStatus::BadTopic);
}

TEST(MqttTopic, ChecksTopicRootsAndFilters) {
    for (const char *good : {"", "a", "a/b", "$x/y", "caf\xc3\xa9"}) EXPECT_TRUE(ValidTopicRoot(good)) << good;
    for (const char *bad : {"a/", "/", "a//b", "a/+", "#", "\xff"}) EXPECT_FALSE(ValidTopicRoot(bad)) << bad;
    EXPECT_FALSE(ValidTopicRoot(std::string("a\0b", 3)));
    EXPECT_EQ(SubscriptionFilter({"/", ""}), "#");
    EXPECT_EQ(SubscriptionFilter({"/p", "s/p"}), "s/p/#");
}

TEST(MqttPayload, ChecksUtf8) {
    for (const char *good : {"", "abc", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80"}) {
        EXPECT_TRUE(ValidUtf8(good)) << good;
    }
    for (const char *bad : {"\xc0\x80", "\xc3", "\xe2\x82", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xff",
                            "\x80", "\xe0\x80\x80"}) {
        EXPECT_FALSE(ValidUtf8(bad));
    }
}

TEST(MqttPayload, KeepsEmptyAndNulValuesApartFromRemoval) {
    for (std::string value : {std::string(), std::string("x"), std::string(1, '\0'), std::string("\0a", 2)}) {
        const std::string payload = EncodePayload(value);
        EXPECT_FALSE(payload.empty());
        EXPECT_EQ(DecodePayload(payload), value);
    }
    EXPECT_EQ(EncodePayload("abc"), "abc");
}

}  // namespace

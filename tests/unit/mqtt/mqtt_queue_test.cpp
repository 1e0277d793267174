// Unit tests of the coalescing queue and the echo counts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mqtt/mqtt_queue.h"

using namespace kelb::mqtt;

namespace {

std::vector<std::string> Drain(ChangeQueue &queue) {
    std::vector<std::string> out;
    std::string topic;
    std::optional<std::string> payload;
    while (queue.Take(topic, payload)) out.push_back(topic + "=" + payload.value_or("<gone>"));
    return out;
}

TEST(ChangeQueue, LatestValueWinsInTheFirstTurn) {
    ChangeQueue queue;
    for (int i = 0; i < 1000; ++i) {
        queue.Put("a", std::to_string(i));
        queue.Put("b", std::to_string(-i));
    }
    queue.Put("c", std::nullopt);
    queue.Put("a", std::nullopt);
    EXPECT_EQ(queue.size(), 3u);
    EXPECT_TRUE(queue.Holds("b"));
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"a=<gone>", "b=-999", "c=<gone>"}));
    EXPECT_TRUE(queue.empty());
    queue.Put("a", "again");
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"a=again"}));
}

// Each step: a message arrives (retained or live), with or without a
// local change waiting; the answer is whether it is applied.
struct Arrival {
    bool retained;
    bool waiting;
    bool applied;
};

TEST(EchoTracker, SkipsWhatArrivesBeforeOurLastEcho) {
    const struct {
        int sent;
        std::vector<Arrival> arrivals;
    } cases[] = {
        {0, {{false, false, true}, {true, false, true}}},               // nothing of ours on the way
        {0, {{false, true, false}}},                                    // our newer value is still queued
        {1, {{false, false, false}, {false, false, true}}},             // our echo, then a peer's value
        {2, {{false, false, false}, {false, false, false}, {false, false, true}}},
        {1, {{true, false, false}, {false, false, false}}},             // stale retained state, then our echo
        {1, {{false, true, false}}},                                    // counted down while queued
    };
    for (const auto &c : cases) {
        EchoTracker echo;
        for (int i = 0; i < c.sent; ++i) echo.Sent("t");
        for (const Arrival &a : c.arrivals) EXPECT_EQ(echo.Accept("t", a.retained, a.waiting), a.applied);
        EXPECT_EQ(echo.size(), 0u);
        EXPECT_TRUE(echo.Accept("other", false, false));
    }
}

}  // namespace

// Unit tests of the device module's port and instance lists, of the
// decisions its event source takes on them, and of the port list that
// threads share.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "device/device_registry.h"
#include "device/device_shared_ports.h"

using namespace kelb;

namespace {

// Stand-ins: the lists only keep and compare these pointers.
const DeviceDriver *const kDriver = reinterpret_cast<const DeviceDriver *>(0x10);
Tcl_Channel FakeChannel(int n) { return reinterpret_cast<Tcl_Channel>(0x1000 + 16 * n); }

std::vector<std::string> PortNames(const DevicePortList &registry) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < registry.portCount(); ++i) names.push_back(registry.port(i).name);
    return names;
}

}  // namespace

TEST(DevicePortName, RefusesWhatWouldNotReadBackAsOneWord) {
    for (const char *good : {"com1", "/dev/ttyS0", "can0:1", "a-b_c.d", "\xc3\xa9t\xc3\xa9"}) {
        EXPECT_TRUE(DevicePortNameValid(good)) << good;
    }
    for (const char *bad : {"", "a b", "a\tb", "a\nb", "{a", "a}", "[a]", "\"a", "a\\b", "$a",
                            "a;b", "\x7f"}) {
        EXPECT_FALSE(DevicePortNameValid(bad)) << bad;
    }
}

TEST(DevicePortList, PortsKeepOrderAndUniqueNames) {
    DevicePortList registry;
    int data = 0;
    EXPECT_EQ(registry.AddPort("b", "second", kDriver, &data), DevicePortStatus::Added);
    EXPECT_EQ(registry.AddPort("a", "first", kDriver, nullptr), DevicePortStatus::Added);
    EXPECT_EQ(registry.AddPort("b", "again", kDriver, nullptr), DevicePortStatus::Duplicate);
    EXPECT_EQ(registry.AddPort("c d", "", kDriver, nullptr), DevicePortStatus::BadName);
    EXPECT_EQ(PortNames(registry), (std::vector<std::string>{"b", "a"}));

    const DevicePort *port = registry.FindPort("b");
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->description, "second");
    EXPECT_EQ(port->driverData, &data);
    EXPECT_EQ(port->driver, kDriver);
    EXPECT_EQ(registry.FindPort("B"), nullptr);
    EXPECT_EQ(registry.FindPort("b "), nullptr);

    EXPECT_EQ(registry.TakePort("b").get(), port);
    EXPECT_EQ(registry.TakePort("b"), nullptr);
    EXPECT_EQ(PortNames(registry), (std::vector<std::string>{"a"}));
    EXPECT_EQ(registry.AddPort("b", "back", kDriver, nullptr), DevicePortStatus::Added);
    EXPECT_EQ(PortNames(registry), (std::vector<std::string>{"a", "b"}));
}

TEST(DeviceInstanceList, InstancesAreFoundOnlyByAddressAndSerial) {
    DeviceInstanceList registry;
    DeviceInstance *first = registry.AddInstance(FakeChannel(1), kDriver);
    DeviceInstance *second = registry.AddInstance(FakeChannel(2), kDriver);
    EXPECT_EQ(first->mask, 0);
    EXPECT_FALSE(first->pending);
    EXPECT_NE(first->serial, second->serial);
    EXPECT_EQ(registry.FindInstance(first, first->serial), first);
    EXPECT_EQ(registry.FindInstance(first, second->serial), nullptr);

    const std::uint64_t serial = first->serial;
    EXPECT_TRUE(registry.RemoveInstance(first));
    EXPECT_EQ(registry.FindInstance(first, serial), nullptr);
    EXPECT_FALSE(registry.RemoveInstance(first));
    EXPECT_EQ(registry.instanceCount(), 1u);
    EXPECT_EQ(&registry.instance(0), second);

    // A later record never takes over an earlier serial, wherever it lives,
    // in this list or another thread's.
    DeviceInstance *third = registry.AddInstance(FakeChannel(3), kDriver);
    EXPECT_GT(third->serial, second->serial);
    EXPECT_EQ(registry.FindInstance(third, serial), nullptr);
    DeviceInstanceList other;
    EXPECT_GT(other.AddInstance(FakeChannel(4), kDriver)->serial, third->serial);
}

TEST(DeviceInstanceList, WakeNeeded) {
    DeviceInstanceList registry;
    auto never = [](DeviceInstance &) { return false; };
    EXPECT_EQ(registry.WakeNeeded(never), DeviceWake::Sleep);

    DeviceInstance *unwatched = registry.AddInstance(FakeChannel(1), kDriver);
    unwatched->mask = 4;  // writable only
    EXPECT_EQ(registry.WakeNeeded(never), DeviceWake::Sleep);
    // Ready input keeps the notifier awake whatever the mask.
    auto onlyUnwatched = [&](DeviceInstance &i) { return &i == unwatched; };
    EXPECT_EQ(registry.WakeNeeded(onlyUnwatched), DeviceWake::Now);

    DeviceInstance *watched = registry.AddInstance(FakeChannel(2), kDriver);
    watched->mask = kDeviceReadable;
    EXPECT_EQ(registry.WakeNeeded(never), DeviceWake::Poll);

    // The driver is asked in list order until one is ready.
    int asked = 0;
    auto firstReady = [&](DeviceInstance &) { return ++asked == 1; };
    EXPECT_EQ(registry.WakeNeeded(firstReady), DeviceWake::Now);
    EXPECT_EQ(asked, 1);
}

TEST(DeviceInstanceList, QueueReadyQueuesEachInstanceOnce) {
    DeviceInstanceList registry;
    DeviceInstance *a = registry.AddInstance(FakeChannel(1), kDriver);
    DeviceInstance *unwatched = registry.AddInstance(FakeChannel(2), kDriver);
    DeviceInstance *b = registry.AddInstance(FakeChannel(3), kDriver);
    DeviceInstance *idle = registry.AddInstance(FakeChannel(4), kDriver);
    a->mask = b->mask = idle->mask = kDeviceReadable | 4;
    unwatched->mask = 4;
    auto ready = [&](DeviceInstance &i) { return &i != idle; };
    std::vector<DeviceInstance *> queued;
    auto queue = [&](DeviceInstance &i) { queued.push_back(&i); };

    registry.QueueReady(ready, queue);
    EXPECT_EQ(queued, (std::vector<DeviceInstance *>{a, b}));
    EXPECT_TRUE(a->pending);
    EXPECT_TRUE(b->pending);
    EXPECT_FALSE(unwatched->pending);
    EXPECT_FALSE(idle->pending);

    // Still ready, but pending: nothing more until the event is serviced.
    registry.QueueReady(ready, queue);
    EXPECT_EQ(queued.size(), 2u);
    b->pending = false;
    registry.QueueReady(ready, queue);
    EXPECT_EQ(queued, (std::vector<DeviceInstance *>{a, b, b}));
}

TEST(DeviceInstanceList, QueueReadySurvivesAReadyCheckThatRemovesInstances) {
    DeviceInstanceList registry;
    DeviceInstance *a = registry.AddInstance(FakeChannel(1), kDriver);
    DeviceInstance *b = registry.AddInstance(FakeChannel(2), kDriver);
    a->mask = b->mask = kDeviceReadable;
    std::vector<DeviceInstance *> queued;
    // A misbehaving driver that removes the instance it is asked about.
    registry.QueueReady(
        [&](DeviceInstance &i) { return registry.RemoveInstance(&i); },
        [&](DeviceInstance &i) { queued.push_back(&i); });
    EXPECT_TRUE(queued.empty());
    EXPECT_EQ(registry.instanceCount(), 1u);
}

TEST(DeviceSharedPorts, RemovalWaitsForAnotherThreadsCall) {
    DeviceSharedPorts ports;
    int data = 7;
    ASSERT_EQ(ports.Add("p", "", kDriver, &data), DevicePortStatus::Added);
    std::atomic<bool> inCall{false};
    std::atomic<bool> removed{false};
    std::atomic<bool> removedDuringCall{true};
    std::thread caller([&] {
        DeviceSharedPorts::Call call(ports, "p");
        ASSERT_NE(call.port(), nullptr);
        inCall = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        removedDuringCall = removed.load();
        EXPECT_EQ(call.port()->driverData, &data);
    });
    while (!inCall) std::this_thread::yield();
    EXPECT_TRUE(ports.Remove("p"));
    removed = true;
    caller.join();
    EXPECT_FALSE(removedDuringCall);
    // Off the list at once: nobody finds it, nor removes it again.
    EXPECT_FALSE(ports.Find("p"));
    EXPECT_FALSE(ports.Remove("p"));
    EXPECT_EQ(DeviceSharedPorts::Call(ports, "p").port(), nullptr);
}

TEST(DeviceSharedPorts, ADriverMayRemoveItsOwnPortDuringACall) {
    DeviceSharedPorts ports;
    ASSERT_EQ(ports.Add("p", "first", kDriver, nullptr), DevicePortStatus::Added);
    ASSERT_EQ(ports.Add("q", "", kDriver, nullptr), DevicePortStatus::Added);
    {
        DeviceSharedPorts::Call outer(ports, "p");
        DeviceSharedPorts::Call inner(ports, "p");
        EXPECT_TRUE(ports.Remove("p"));
        // The record lives on for the calls under way.
        EXPECT_EQ(outer.port()->description, "first");
        EXPECT_EQ(ports.Add("p", "second", kDriver, nullptr), DevicePortStatus::Added);
    }
    EXPECT_EQ(ports.Names(), (std::vector<std::string>{"q", "p"}));
    EXPECT_EQ(ports.Find("p")->description, "second");
}

TEST(DevicePollGate, HoldsANoneReadyAnswerForAMillisecond) {
    DevicePollGate gate;
    EXPECT_TRUE(gate.MayAsk(0));
    gate.Answered(false, 5000);
    EXPECT_FALSE(gate.MayAsk(5000));
    EXPECT_FALSE(gate.MayAsk(5999));
    EXPECT_TRUE(gate.MayAsk(6000));
    // A ready instance is asked about at every pass.
    gate.Answered(true, 6000);
    EXPECT_TRUE(gate.MayAsk(6000));
}

// Unit tests of the process table: pids, order, look-up, groups and the
// lifetime of records.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <vector>

#include "process/process_table.h"

using namespace kelb::process;

namespace {

int Noop(void *) { return 0; }

// Counts how often a client data block was released.
void CountRelease(void *clientData) { ++*static_cast<int *>(clientData); }

std::vector<Pid> Listing(const ProcessTable &table) {
    std::vector<Pid> pids;
    for (ProcessRecord *r = table.newest(); r; r = r->older()) pids.push_back(r->pid);
    return pids;
}

TEST(ProcessTable, PidsCountUpAndAreNeverReused) {
    ProcessTable table;
    for (int i = 0; i < 4; ++i) table.Create(Noop, nullptr, nullptr, nullptr);
    EXPECT_EQ(Listing(table), (std::vector<Pid>{3, 2, 1, 0}));
    table.Unlink(*table.Find(3));
    table.Unlink(*table.Find(1));
    EXPECT_EQ(Listing(table), (std::vector<Pid>{2, 0}));
    EXPECT_EQ(table.Find(3), nullptr);
    EXPECT_EQ(table.Create(Noop, nullptr, nullptr, nullptr)->pid, 4);
    EXPECT_EQ(Listing(table), (std::vector<Pid>{4, 2, 0}));
    EXPECT_EQ(table.size(), 3u);
}

// Killing most of many processes in a scattered order leaves every other
// one found by its pid, and none of the killed ones. Pids with random gaps
// (threads share the counter) fill the index nearly full with long runs.
TEST(ProcessTable, LookUpSurvivesScatteredKills) {
    PidCounter counter;
    ProcessTable table(&counter);
    std::mt19937 random(11);
    std::vector<Pid> pids;
    for (int i = 0; i < 5733; ++i) {
        counter.Set(counter.next() + random() % 1000);
        pids.push_back(table.Create(Noop, nullptr, nullptr, nullptr)->pid);
    }
    std::vector<Pid> order = pids;
    std::shuffle(order.begin(), order.end(), random);
    const std::size_t kept = order.size() / 3;
    for (std::size_t i = kept; i < order.size(); ++i) table.Unlink(*table.Find(order[i]));
    for (std::size_t i = 0; i < order.size(); ++i) {
        ProcessRecord *record = table.Find(order[i]);
        ASSERT_EQ(record != nullptr, i < kept) << order[i];
        EXPECT_TRUE(record == nullptr || record->pid == order[i]) << order[i];
    }
    EXPECT_EQ(table.size(), kept);
}

TEST(ProcessTable, ARecordLivesUntilItsLastHoldGoes) {
    int released = 0;
    ProcessTable table;
    ProcessRecord *r = table.Create(Noop, &released, CountRelease, nullptr);
    r->Hold();  // as a run would
    table.Unlink(*r);
    EXPECT_FALSE(r->listed());
    EXPECT_EQ(table.Find(0), nullptr);
    EXPECT_EQ(released, 0);
    r->Release();
    EXPECT_EQ(released, 1);
    // Unlinking a second time is harmless and releases nothing more.
    ProcessRecord *s = table.Create(Noop, &released, CountRelease, nullptr);
    s->Hold();
    table.Unlink(*s);
    table.Unlink(*s);
    s->Release();
    EXPECT_EQ(released, 2);
}

TEST(ProcessTable, GroupsFollowTheirRecordsOutOfTheTable) {
    ProcessTable table;
    ProcessGroup a, b;
    table.Create(Noop, nullptr, nullptr, &a);
    table.Create(Noop, nullptr, nullptr, &b);
    table.Create(Noop, nullptr, nullptr, &a);
    table.Create(Noop, nullptr, nullptr, nullptr);
    EXPECT_EQ(a.first()->pid, 2);  // newest member first
    table.Unlink(*table.Find(2));
    EXPECT_EQ(a.first()->pid, 0);
    table.Unlink(*table.Find(0));
    EXPECT_EQ(a.first(), nullptr);
    EXPECT_EQ(b.first()->pid, 1);
    EXPECT_EQ(Listing(table), (std::vector<Pid>{3, 1}));
}

TEST(ProcessTable, CreationFailsOnceEveryPidIsGivenOut) {
    ProcessTable table;
    table.pids().Set(std::numeric_limits<Pid>::max());
    ProcessRecord *last = table.Create(Noop, nullptr, nullptr, nullptr);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->pid, std::numeric_limits<Pid>::max());
    EXPECT_EQ(table.Create(Noop, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(table.size(), 1u);
}

TEST(ProcessTable, DestroyingTheTableReleasesEveryRecord) {
    int released = 0;
    {
        ProcessTable table;
        for (int i = 0; i < 3; ++i) table.Create(Noop, &released, CountRelease, nullptr);
    }
    EXPECT_EQ(released, 3);
}

}  // namespace

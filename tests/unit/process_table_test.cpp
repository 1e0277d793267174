// Unit tests of the process table: pids, order, look-up, groups and the
// lifetime of records.

#include <gtest/gtest.h>

#include <limits>
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

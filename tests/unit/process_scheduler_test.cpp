// Unit tests of the scheduler's decisions, driven through an injected
// clock and registration hooks that only count: exact due times, runs that
// fall behind, the wrap of the clock, failing runs, and runs that kill.

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <set>

#include "process/process_scheduler.h"

using namespace kelb::process;

namespace {

std::uint64_t fakeMicros;
std::uint64_t FakeClock() { return fakeMicros; }
void SetClicks(Clicks clicks) { fakeMicros = std::uint64_t{clicks} * 1000; }
void Advance(Clicks clicks) { fakeMicros += std::uint64_t{clicks} * 1000; }

std::multiset<const ProcessRecord *> registrations;
void AddRegistration(ProcessRecord &r) noexcept { registrations.insert(&r); }
void RemoveRegistration(ProcessRecord &r) noexcept {
    auto found = registrations.find(&r);
    if (found != registrations.end()) registrations.erase(found);
}

// A process whose run is a C++ function; counts its runs and releases.
struct Job {
    std::function<int()> body = [] { return 0; };
    int runs = 0;
    int releases = 0;
};

int RunJob(void *clientData) {
    auto *job = static_cast<Job *>(clientData);
    ++job->runs;
    return job->body();
}

void ReleaseJob(void *clientData) { ++static_cast<Job *>(clientData)->releases; }

class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        registrations.clear();
        SetClicks(5000);
    }

    Pid Make(Job &job, ProcessGroup *group = nullptr) {
        return scheduler.table().Create(RunJob, &job, ReleaseJob, group)->pid;
    }
    ProcessRecord &Record(Pid pid) { return *scheduler.table().Find(pid); }

    // A started process, due one click later (the clock is moved on).
    Pid MakeDue(Job &job) {
        Pid pid = Make(job);
        scheduler.Start(pid);
        Advance(1);
        return pid;
    }

    // Setup and check of one pass: whether a run was queued.
    bool Queue(Pid pid) {
        scheduler.Setup(Record(pid));
        return scheduler.Check(Record(pid), false);
    }

    // One pass of the event loop for one record, as the notifier makes it:
    // setup, check, and the queued run if there is one. Returns whether it
    // ran.
    bool Pass(Pid pid, bool dontWait = false) {
        ProcessRecord &r = Record(pid);
        scheduler.Setup(r);
        if (!scheduler.Check(r, dontWait)) return false;
        return scheduler.Run(pid);
    }

    // Jobs outlive the scheduler, which releases the processes left at the
    // end of a test.
    Job &NewJob() { return jobs.emplace_back(); }
    std::deque<Job> jobs;
    Scheduler scheduler{RegistrationHooks{AddRegistration, RemoveRegistration}, FakeClock};
};

TEST_F(SchedulerTest, ExactDueTimesOfAStartedProcess) {
    Job &job = NewJob();
    Pid pid = Make(job);
    scheduler.SetPeriod(pid, 100000);
    scheduler.Start(pid);
    ProcessRecord &r = Record(pid);
    EXPECT_EQ(r.timing.nextTime, 5000u);
    EXPECT_FALSE(Pass(pid));  // not yet past 5000
    Advance(1);
    EXPECT_TRUE(Pass(pid));
    EXPECT_EQ(r.timing.nextTime, 5100u);
    SetClicks(5040);
    EXPECT_EQ(scheduler.Setup(r), 61'000u);
    EXPECT_EQ(scheduler.lastClicks(), 5040u);
    SetClicks(5100);
    EXPECT_FALSE(Pass(pid));
    SetClicks(5101);
    EXPECT_TRUE(Pass(pid));
    EXPECT_EQ(r.timing.nextTime, 5200u);
    EXPECT_EQ(job.runs, 2);
}

TEST_F(SchedulerTest, ThePassDecidesOnTheClockAsItsFirstCheckReadsIt) {
    Job &a = NewJob();
    Job &b = NewJob();
    Pid pa = Make(a), pb = Make(b);
    scheduler.SetPeriod(pa, 30000);
    scheduler.SetPeriod(pb, 31000);
    scheduler.Start(pa);
    scheduler.Start(pb);
    Advance(1);
    ASSERT_TRUE(Pass(pa));  // at 5001: a due next at 5030, b at 5031
    ASSERT_TRUE(Pass(pb));
    scheduler.Setup(Record(pa));  // both read 5001
    scheduler.Setup(Record(pb));
    Advance(30);  // the notifier sleeps until 5031
    EXPECT_TRUE(scheduler.Check(Record(pa), false));
    EXPECT_EQ(scheduler.lastClicks(), 5031u);
    Advance(1);  // b's check decides on the same reading
    EXPECT_FALSE(scheduler.Check(Record(pb), false));
    // A check without a setup before it reads nothing new.
    EXPECT_FALSE(scheduler.Check(Record(pb), false));
    scheduler.Setup(Record(pb));
    EXPECT_TRUE(scheduler.Check(Record(pb), false));
}

TEST_F(SchedulerTest, SlowRunsGoBackToBackAndNeverCatchUp) {
    Job &job = NewJob();
    job.body = [] { Advance(250); return 0; };
    Pid pid = Make(job);
    scheduler.SetPeriod(pid, 100000);
    scheduler.Start(pid);
    Advance(1);
    std::vector<Clicks> averages;
    for (int pass = 0; pass < 9; ++pass) {
        ASSERT_TRUE(Pass(pid)) << "pass " << pass;
        EXPECT_EQ(scheduler.Setup(Record(pid)), 0u);  // still overdue
        averages.push_back(Record(pid).timing.avgTime);
    }
    EXPECT_EQ(averages, (std::vector<Clicks>{125, 187, 218, 234, 242, 246, 248, 249, 249}));
    ProcessRecord &r = Record(pid);
    EXPECT_EQ(r.timing.maxTime, 250u);
    EXPECT_EQ(r.timing.minTime, 250u);
    EXPECT_EQ(r.timing.nextTime, 5900u);
}

TEST_F(SchedulerTest, ADueTimeBeforeTheWrapIsDueAfterIt) {
    Job &job = NewJob();
    Pid pid = Make(job);
    scheduler.SetPeriod(pid, 1000000);
    SetClicks(0xFFFFFFFFu - 295);
    scheduler.Start(pid);
    SetClicks(200);
    ProcessRecord &r = Record(pid);
    EXPECT_EQ(scheduler.Setup(r), 0u);
    EXPECT_TRUE(scheduler.Check(r, false));
    EXPECT_TRUE(scheduler.Run(pid));
    EXPECT_EQ(r.timing.nextTime, 704u);
    EXPECT_EQ(scheduler.Setup(r), 505'000u);
}

TEST_F(SchedulerTest, StartRegistersOnceAndStopWithdraws) {
    Job &job = NewJob();
    Pid pid = Make(job);
    scheduler.Start(pid);
    ProcessRecord &r = Record(pid);
    Advance(1);
    job.body = [] { Advance(7); return 0; };
    ASSERT_TRUE(Pass(pid));
    // A second start changes nothing.
    Advance(50);
    scheduler.Start(pid);
    EXPECT_EQ(registrations.count(&r), 1u);
    EXPECT_EQ(r.timing.maxTime, 7u);
    EXPECT_EQ(r.timing.nextTime, 5000u);  // period 0 adds nothing
    scheduler.Stop(pid);
    scheduler.Stop(pid);
    EXPECT_EQ(registrations.count(&r), 0u);
    EXPECT_EQ(r.state, ProcessState::Stopped);
    EXPECT_EQ(r.timing.maxTime, 7u);
    // A start after a stop clears the statistics.
    scheduler.Start(pid);
    EXPECT_EQ(r.timing.maxTime, 0u);
    EXPECT_EQ(r.timing.minTime, kNoRunYet);
    EXPECT_EQ(r.timing.nextTime, 5058u);
    // Pids that are not listed change nothing.
    scheduler.Start(99);
    scheduler.Stop(99);
    scheduler.SetPeriod(99, 5);
    scheduler.Kill(99);
    EXPECT_EQ(registrations.size(), 1u);
}

TEST_F(SchedulerTest, AFailingRunStopsItsProcessAfterTheRun) {
    Job &job = NewJob();
    job.body = [] { Advance(3); return kRunFailed; };
    Pid pid = Make(job);
    scheduler.SetPeriod(pid, 10000);
    scheduler.Start(pid);
    Advance(1);
    ASSERT_TRUE(Pass(pid));
    ProcessRecord &r = Record(pid);
    EXPECT_EQ(r.state, ProcessState::Stopped);
    EXPECT_TRUE(registrations.empty());
    // The run was still measured and the due time moved on.
    EXPECT_EQ(r.timing.maxTime, 3u);
    EXPECT_EQ(r.timing.nextTime, 5010u);
    EXPECT_FALSE(r.pending);
    Advance(100);
    EXPECT_FALSE(Pass(pid));
    // Other codes (return, break, continue) keep it running.
    job.body = [] { return 3; };
    scheduler.Start(pid);
    Advance(1);
    EXPECT_TRUE(Pass(pid));
    EXPECT_EQ(r.state, ProcessState::Active);
    EXPECT_EQ(r.timing.minTime, 0u);
}

TEST_F(SchedulerTest, KilledWhileQueuedTheRunIsDropped) {
    Job &job = NewJob();
    Pid pid = MakeDue(job);
    ASSERT_TRUE(Queue(pid));
    scheduler.Kill(pid);
    EXPECT_EQ(job.releases, 1);
    EXPECT_TRUE(registrations.empty());
    EXPECT_FALSE(scheduler.Run(pid));
    EXPECT_EQ(job.runs, 0);
}

TEST_F(SchedulerTest, StoppedWhileQueuedTheRunHappensOnceMore) {
    Job &job = NewJob();
    Pid pid = MakeDue(job);
    ASSERT_TRUE(Queue(pid));
    scheduler.Stop(pid);
    EXPECT_TRUE(scheduler.Run(pid));
    EXPECT_EQ(job.runs, 1);
    EXPECT_FALSE(Record(pid).pending);
    EXPECT_FALSE(Queue(pid));
}

TEST_F(SchedulerTest, ARunThatKillsItsOwnProcessFinishesOnALiveRecord) {
    Job &job = NewJob();
    Pid pid = Make(job);
    job.body = [&] {
        scheduler.Kill(pid);
        EXPECT_EQ(job.releases, 0);  // still held by the run
        Advance(2);
        return 0;
    };
    scheduler.Start(pid);
    Advance(1);
    EXPECT_TRUE(Pass(pid));
    EXPECT_EQ(job.releases, 1);
    EXPECT_EQ(scheduler.table().Find(pid), nullptr);
    EXPECT_TRUE(registrations.empty());
}

TEST_F(SchedulerTest, ARunMayKillEveryProcessAndMakeNewOnes) {
    Job &a = NewJob();
    Job &b = NewJob();
    Job &c = NewJob();
    Pid pa = Make(a), pb = Make(b);
    a.body = [&] {
        scheduler.KillAll();
        Pid pc = Make(c);
        scheduler.Start(pc);
        return kRunFailed;  // the stop finds its record gone
    };
    scheduler.Start(pa);
    scheduler.Start(pb);
    Advance(1);
    EXPECT_TRUE(Pass(pa));
    EXPECT_EQ(a.releases, 1);
    EXPECT_EQ(b.releases, 1);
    EXPECT_EQ(scheduler.table().size(), 1u);
    EXPECT_EQ(registrations.size(), 1u);
    EXPECT_EQ(scheduler.table().newest()->pid, 2);
}

TEST_F(SchedulerTest, AProcessDueAtEveryPassRunsOncePerPassThatMustNotWait) {
    Job &job = NewJob();
    Pid pid = MakeDue(job);  // period 0: due at every pass
    // Passes that may wait run it every time.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Pass(pid, false));
    // "update" makes passes that must not wait until one finds nothing: it
    // ran in the pass before, so the next such pass skips it and ends.
    EXPECT_FALSE(Pass(pid, true));
    // The following "update" runs it once again, then ends.
    EXPECT_TRUE(Pass(pid, true));
    EXPECT_FALSE(Pass(pid, true));
    EXPECT_EQ(job.runs, 4);
}

TEST_F(SchedulerTest, NestedPassesDoNotEndTheOuterPass) {
    Job &outer = NewJob();
    Job &other = NewJob();
    Pid po = Make(outer), pother = Make(other);
    // The outer run calls "update": nested passes that must not wait.
    outer.body = [&] {
        if (outer.runs > 1) return 0;
        EXPECT_EQ(scheduler.depth(), 1);
        EXPECT_FALSE(Pass(po, true));  // its own run is under way
        EXPECT_TRUE(Pass(pother, true));
        EXPECT_FALSE(Pass(pother, true));
        EXPECT_FALSE(Pass(pother, true));
        return 0;
    };
    scheduler.Start(po);
    scheduler.Start(pother);
    Advance(1);
    EXPECT_TRUE(Pass(po, true));
    // Back at the outermost level, both ran since the last check there.
    EXPECT_FALSE(Pass(pother, true));
    EXPECT_FALSE(Pass(po, true));
    EXPECT_TRUE(Pass(po, true));
    EXPECT_EQ(other.runs, 1);
    EXPECT_EQ(outer.runs, 2);
}

TEST_F(SchedulerTest, ARecordWithARunPendingSetsNoSleep) {
    Job &job = NewJob();
    Pid pid = MakeDue(job);
    ProcessRecord &r = Record(pid);
    EXPECT_EQ(scheduler.Setup(r), 0u);
    ASSERT_TRUE(scheduler.Check(r, false));
    EXPECT_EQ(scheduler.Setup(r), std::nullopt);
    EXPECT_FALSE(scheduler.Check(r, false));  // one run queued at a time
    scheduler.Run(pid);
    EXPECT_EQ(scheduler.Setup(r), 0u);
}

TEST_F(SchedulerTest, KillingAGroupLeavesTheOthers) {
    Job &a = NewJob();
    Job &b = NewJob();
    Job &c = NewJob();
    ProcessGroup group;
    Pid pa = Make(a, &group);
    Pid pb = Make(b);
    Pid pc = Make(c, &group);
    scheduler.Start(pa);
    scheduler.Start(pb);
    scheduler.Start(pc);
    scheduler.KillGroup(group);
    EXPECT_EQ(group.first(), nullptr);
    EXPECT_EQ(a.releases + c.releases, 2);
    EXPECT_EQ(b.releases, 0);
    EXPECT_EQ(scheduler.table().newest()->pid, pb);
    EXPECT_EQ(registrations.size(), 1u);
}

TEST_F(SchedulerTest, AHeldRecordOutOfTheTableIsNeitherSetUpNorQueued) {
    Job &job = NewJob();
    Pid pid = MakeDue(job);
    ProcessRecord &r = Record(pid);
    r.Hold();
    scheduler.KillAll();
    EXPECT_EQ(scheduler.Setup(r), std::nullopt);
    EXPECT_FALSE(scheduler.Check(r, false));
    r.Release();
    EXPECT_EQ(job.releases, 1);
}

}  // namespace

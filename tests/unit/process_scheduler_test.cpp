// Unit tests of the scheduler's decisions, driven through an injected
// clock: exact due times, runs that fall behind, the wrap of the clock,
// failing runs, runs that kill, the order of the due-time heap, and the
// batches of passes that must not wait.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <random>

#include "process/process_scheduler.h"

using namespace kelb::process;

namespace {

std::uint64_t fakeMicros;
std::uint64_t FakeClock() { return fakeMicros; }
void SetClicks(Clicks clicks) { fakeMicros = std::uint64_t{clicks} * 1000; }
void Advance(Clicks clicks) { fakeMicros += std::uint64_t{clicks} * 1000; }

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
    void SetUp() override { SetClicks(5000); }

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

    // Setup and check of one pass: the pids queued.
    std::vector<Pid> Queue(bool dontWait = false) {
        scheduler.Setup();
        return scheduler.Check(dontWait);
    }

    // One pass of the event loop as the notifier makes it: setup, check,
    // and the queued runs. Returns the pids that ran, in order.
    std::vector<Pid> Pass(bool dontWait = false) {
        std::vector<Pid> ran;
        for (Pid pid : Queue(dontWait)) {
            if (scheduler.Run(pid)) ran.push_back(pid);
        }
        return ran;
    }

    // Whether pid ran in one pass.
    bool Ran(Pid pid, bool dontWait = false) {
        std::vector<Pid> ran = Pass(dontWait);
        return std::find(ran.begin(), ran.end(), pid) != ran.end();
    }

    // Passes that must not wait until one runs nothing, as "update" makes
    // them; the number of runs, or -1 if it does not end.
    int Update() {
        int runs = 0;
        for (int pass = 0; pass < 1000; ++pass) {
            std::size_t ran = Pass(true).size();
            if (ran == 0) return runs;
            runs += static_cast<int>(ran);
        }
        return -1;
    }

    // Jobs outlive the scheduler, which releases the processes left at the
    // end of a test.
    Job &NewJob() { return jobs.emplace_back(); }
    std::deque<Job> jobs;
    Scheduler scheduler{FakeClock};
};

TEST_F(SchedulerTest, ExactDueTimesOfAStartedProcess) {
    Job &job = NewJob();
    Pid pid = Make(job);
    scheduler.SetPeriod(pid, 100000);
    scheduler.Start(pid);
    ProcessRecord &r = Record(pid);
    EXPECT_EQ(r.timing.nextTime, 5000u);
    EXPECT_FALSE(Ran(pid));  // not yet past 5000
    Advance(1);
    EXPECT_TRUE(Ran(pid));
    EXPECT_EQ(r.timing.nextTime, 5100u);
    SetClicks(5040);
    EXPECT_EQ(scheduler.Setup(), 61'000u);
    EXPECT_EQ(scheduler.lastClicks(), 5040u);
    SetClicks(5100);
    EXPECT_FALSE(Ran(pid));
    SetClicks(5101);
    EXPECT_TRUE(Ran(pid));
    EXPECT_EQ(r.timing.nextTime, 5200u);
    EXPECT_EQ(job.runs, 2);
}

TEST_F(SchedulerTest, TheCheckDecidesOnTheClockAfterTheWait) {
    Job &a = NewJob();
    Job &b = NewJob();
    Pid pa = Make(a), pb = Make(b);
    scheduler.SetPeriod(pa, 30000);
    scheduler.SetPeriod(pb, 31000);
    scheduler.Start(pa);
    scheduler.Start(pb);
    Advance(1);
    ASSERT_EQ(Pass().size(), 2u);  // at 5001: a due next at 5030, b at 5031
    EXPECT_EQ(scheduler.Setup(), 30'000u);  // until a is past its due time
    Advance(30);  // the notifier sleeps until 5031
    EXPECT_EQ(scheduler.Check(false), std::vector<Pid>{pa});
    EXPECT_EQ(scheduler.lastClicks(), 5031u);
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
        ASSERT_TRUE(Ran(pid)) << "pass " << pass;
        EXPECT_EQ(scheduler.Setup(), 0u);  // still overdue
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
    EXPECT_EQ(scheduler.Setup(), 0u);
    EXPECT_TRUE(Ran(pid));
    EXPECT_EQ(r.timing.nextTime, 704u);
    EXPECT_EQ(scheduler.Setup(), 505'000u);
}

TEST_F(SchedulerTest, AProcessDueAtEveryPassStaysDuePastHalfTheClock) {
    Job &job = NewJob();
    Pid pid = MakeDue(job);
    // Six steps of a quarter of the 32-bit clock: past where the signed
    // difference turns, and past the wrap.
    for (int step = 0; step < 6; ++step) {
        Advance(0x40000000u);
        EXPECT_TRUE(Ran(pid)) << "step " << step;
    }
}

TEST_F(SchedulerTest, StartAndStop) {
    Job &job = NewJob();
    Pid pid = Make(job);
    scheduler.Start(pid);
    ProcessRecord &r = Record(pid);
    Advance(1);
    job.body = [] { Advance(7); return 0; };
    ASSERT_TRUE(Ran(pid));
    // A second start changes nothing.
    Advance(50);
    scheduler.Start(pid);
    EXPECT_EQ(scheduler.waiting(), 1u);
    EXPECT_EQ(r.timing.maxTime, 7u);
    EXPECT_EQ(r.timing.nextTime, 5000u);  // period 0 adds nothing
    scheduler.Stop(pid);
    scheduler.Stop(pid);
    EXPECT_EQ(scheduler.waiting(), 0u);
    EXPECT_EQ(scheduler.Setup(), std::nullopt);
    EXPECT_EQ(r.state, ProcessState::Stopped);
    EXPECT_EQ(r.timing.maxTime, 7u);
    EXPECT_FALSE(Ran(pid));
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
    EXPECT_EQ(scheduler.waiting(), 1u);
}

TEST_F(SchedulerTest, AFailingRunStopsItsProcessAfterTheRun) {
    Job &job = NewJob();
    job.body = [] { Advance(3); return kRunFailed; };
    Pid pid = Make(job);
    scheduler.SetPeriod(pid, 10000);
    scheduler.Start(pid);
    Advance(1);
    ASSERT_TRUE(Ran(pid));
    ProcessRecord &r = Record(pid);
    EXPECT_EQ(r.state, ProcessState::Stopped);
    EXPECT_EQ(scheduler.waiting(), 0u);
    // The run was still measured and the due time moved on.
    EXPECT_EQ(r.timing.maxTime, 3u);
    EXPECT_EQ(r.timing.nextTime, 5010u);
    EXPECT_FALSE(r.pending);
    Advance(100);
    EXPECT_FALSE(Ran(pid));
    // Other codes (return, break, continue) keep it running.
    job.body = [] { return 3; };
    scheduler.Start(pid);
    Advance(1);
    EXPECT_TRUE(Ran(pid));
    EXPECT_EQ(r.state, ProcessState::Active);
    EXPECT_EQ(r.timing.minTime, 0u);
}

TEST_F(SchedulerTest, KilledWhileQueuedTheRunIsDropped) {
    Job &job = NewJob();
    Pid pid = MakeDue(job);
    ASSERT_EQ(Queue(), std::vector<Pid>{pid});
    scheduler.Kill(pid);
    EXPECT_EQ(job.releases, 1);
    EXPECT_FALSE(scheduler.Run(pid));
    EXPECT_EQ(job.runs, 0);
}

TEST_F(SchedulerTest, StoppedWhileQueuedTheRunHappensOnceMore) {
    Job &job = NewJob();
    Pid pid = MakeDue(job);
    ASSERT_EQ(Queue(), std::vector<Pid>{pid});
    scheduler.Stop(pid);
    EXPECT_TRUE(scheduler.Run(pid));
    EXPECT_EQ(job.runs, 1);
    EXPECT_FALSE(Record(pid).pending);
    EXPECT_TRUE(Queue().empty());
}

TEST_F(SchedulerTest, RestartedDuringItsOwnRunItWaitsAfterTheRun) {
    Job &job = NewJob();
    Pid pid = MakeDue(job);
    job.body = [&] {
        scheduler.Stop(pid);
        scheduler.Start(pid);
        EXPECT_TRUE(Queue().empty());  // its run is under way
        return 0;
    };
    EXPECT_TRUE(Ran(pid));
    EXPECT_EQ(scheduler.waiting(), 1u);
    Advance(1);
    EXPECT_TRUE(Ran(pid));
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
    EXPECT_TRUE(Ran(pid));
    EXPECT_EQ(job.releases, 1);
    EXPECT_EQ(scheduler.table().Find(pid), nullptr);
    EXPECT_EQ(scheduler.waiting(), 0u);
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
    scheduler.Start(pb);
    scheduler.Start(pa);  // started last, so queued and run first
    Advance(1);
    EXPECT_EQ(Pass(), std::vector<Pid>{pa});  // b's queued run is dropped
    EXPECT_EQ(a.releases, 1);
    EXPECT_EQ(b.releases, 1);
    EXPECT_EQ(b.runs, 0);
    EXPECT_EQ(scheduler.table().size(), 1u);
    EXPECT_EQ(scheduler.waiting(), 1u);
    EXPECT_EQ(scheduler.table().newest()->pid, 2);
}

TEST_F(SchedulerTest, OnlyDueProcessesAreQueuedMostRecentlyStartedFirst) {
    // Many processes in random phases: each pass queues exactly those
    // whose due time the clock has passed, whatever is started, stopped
    // or killed in between.
    std::mt19937 random(7);
    std::vector<Pid> pids;
    for (int i = 0; i < 300; ++i) {
        Pid pid = Make(NewJob());
        scheduler.SetPeriod(pid, 1000 * (1 + random() % 50));
        Advance(random() % 3);
        scheduler.Start(pid);
        pids.push_back(pid);
    }
    for (int pass = 0; pass < 200; ++pass) {
        Pid victim = pids[random() % pids.size()];
        if (pass % 3 == 0) scheduler.Kill(victim);
        if (pass % 3 == 1) scheduler.Stop(victim);
        if (pass % 3 == 2) scheduler.Start(victim);
        Advance(random() % 4);
        Clicks now = scheduler.Now();
        std::vector<Pid> expected;
        for (ProcessRecord *r = scheduler.table().newest(); r; r = r->older()) {
            if (r->state == ProcessState::Active && r->timing.DueAt(now)) expected.push_back(r->pid);
        }
        std::vector<Pid> queued = Queue();
        std::vector<Pid> sorted = queued;
        std::sort(sorted.begin(), sorted.end());
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(sorted, expected) << "pass " << pass;
        for (std::size_t i = 1; i < queued.size(); ++i) {
            EXPECT_GT(Record(queued[i - 1]).startSerial, Record(queued[i]).startSerial);
        }
        for (Pid pid : queued) scheduler.Run(pid);
    }
}

TEST_F(SchedulerTest, AProcessDueAtEveryPassRunsOncePerUpdate) {
    Job &job = NewJob();
    MakeDue(job);  // period 0: due at every pass
    // Passes that may wait run it every time.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Pass().size(), 1u);
    // Each "update" runs it once and ends.
    EXPECT_EQ(Update(), 1);
    EXPECT_EQ(Update(), 1);
    EXPECT_EQ(job.runs, 5);
}

TEST_F(SchedulerTest, UpdateEndsWithProcessesDueInDifferentClicks) {
    Job &a = NewJob();
    Job &b = NewJob();
    Pid pa = Make(a), pb = Make(b);
    scheduler.Start(pa);
    Advance(1);
    scheduler.Start(pb);
    // The first pass finds only a due; by the second, b is due too, and
    // a, which ran in this batch, waits for the next "update".
    EXPECT_EQ(Pass(true), std::vector<Pid>{pa});
    Advance(1);
    EXPECT_EQ(Pass(true), std::vector<Pid>{pb});
    EXPECT_TRUE(Pass(true).empty());
    EXPECT_EQ(Update(), 2);
}

TEST_F(SchedulerTest, EachUpdateInsideARunRunsTheOthersAgain) {
    Job &outer = NewJob();
    Job &other = NewJob();
    Pid po = Make(outer), pother = Make(other);
    // The outer run calls "update" three times.
    outer.body = [&] {
        if (outer.runs > 1) return 0;
        EXPECT_EQ(scheduler.depth(), 1);
        for (int i = 0; i < 3; ++i) {
            Advance(1);
            EXPECT_EQ(Update(), 1);  // the other one, never itself
        }
        return 0;
    };
    scheduler.Start(po);
    Advance(1);
    scheduler.Start(pother);  // not due in the first pass
    // The outer "update" runs the outer one; the runs of the other in the
    // nested batches count in the outer batch, which goes on after them.
    EXPECT_EQ(Update(), 1);
    EXPECT_EQ(other.runs, 3);
    EXPECT_EQ(outer.runs, 1);
    EXPECT_EQ(Update(), 2);
    EXPECT_EQ(outer.runs, 2);
}

TEST_F(SchedulerTest, AProcessWithARunPendingSetsNoSleep) {
    Job &job = NewJob();
    Pid pid = MakeDue(job);
    EXPECT_EQ(scheduler.Setup(), 0u);
    ASSERT_EQ(scheduler.Check(false), std::vector<Pid>{pid});
    EXPECT_EQ(scheduler.Setup(), std::nullopt);
    EXPECT_TRUE(scheduler.Check(false).empty());  // one run queued at a time
    scheduler.Run(pid);
    EXPECT_EQ(scheduler.Setup(), 0u);
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
    EXPECT_EQ(scheduler.waiting(), 1u);
}

TEST_F(SchedulerTest, SchedulersMayShareOnePidCounter) {
    PidCounter pids(10);
    Scheduler first(FakeClock, &pids), second(FakeClock, &pids);
    EXPECT_EQ(first.table().Create(RunJob, &NewJob(), nullptr, nullptr)->pid, 10);
    EXPECT_EQ(second.table().Create(RunJob, &NewJob(), nullptr, nullptr)->pid, 11);
    EXPECT_EQ(first.table().Find(11), nullptr);
}

}  // namespace

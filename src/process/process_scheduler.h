// process_scheduler.h --
//
//     The scheduler of one thread: the process table together with the
//     clock, the active processes ordered by due time, and the decisions
//     the event loop asks for. In each pass of the loop, Setup tells how
//     long the loop may sleep, Check names the processes whose runs are to
//     be queued, and Run performs a queued run. Setup costs constant time
//     and Check time in proportion to the due processes, whatever the
//     number of processes; start, stop, kill and re-timing cost O(log n).

#pragma once

#include <optional>
#include <vector>

#include "process/process_clock.h"
#include "process/process_due_heap.h"
#include "process/process_table.h"

namespace kelb::process {

class Scheduler {
public:
    // Pids come from pids (shared by every thread's scheduler), or from a
    // counter of the scheduler's own.
    explicit Scheduler(MicroClock clock = SteadyMicros, PidCounter *pids = nullptr) noexcept
        : table_(pids), clock_(clock), lastClicks_(ClicksOf(clock())) {}
    Scheduler(const Scheduler &) = delete;
    Scheduler &operator=(const Scheduler &) = delete;
    ~Scheduler() { KillAll(); }

    ProcessTable &table() noexcept { return table_; }
    const ProcessTable &table() const noexcept { return table_; }

    void SetClock(MicroClock clock) noexcept { clock_ = clock; }
    Clicks Now() const noexcept { return ClicksOf(clock_()); }

    // Table operations by pid; a pid that is not listed changes nothing.
    //
    // Start makes a stopped process active: statistics cleared, due as
    // soon as the clock moves on. An active process is left alone. Throws
    // std::bad_alloc when memory runs out (the process stays stopped).
    void Start(Pid pid);
    // Stop marks the process stopped. A run already queued still takes
    // place.
    void Stop(Pid pid) noexcept;
    // The new period first shows when the next run finishes.
    void SetPeriod(Pid pid, std::uint32_t period) noexcept;
    // Kill stops the process and takes it out of the table; it is freed as
    // soon as nothing holds it, and a run queued for it is dropped.
    void Kill(Pid pid) noexcept;
    void KillGroup(ProcessGroup &group) noexcept;
    void KillAll() noexcept;

    // Event-loop side.
    //
    // Reads the clock and answers how many microseconds the loop may sleep
    // until the earliest waiting process is due, or nothing when no
    // process waits (none active, or every active one has a run queued or
    // under way).
    std::optional<std::uint64_t> Setup() noexcept;
    // Reads the clock (the notifier has waited since the setup) and
    // answers the pids whose runs are to be queued now, most recently
    // started first; each is marked pending until its run is over. The
    // answer is valid until the next call.
    //
    // Passes that must not wait (dontWait, as "update" makes them) come in
    // batches: within a batch a process is queued at most once, and a pass
    // that queues nothing ends its batch, so that "update" comes to an end
    // even when processes are due at every pass. A pass that may wait
    // (vwait) queues whatever is due and ends its batch. Each depth of
    // nested runs has its batch: the "update" inside a run runs the due
    // processes again, while the outer batch goes on, and counts the runs
    // nested in it as its own.
    const std::vector<Pid> &Check(bool dontWait);
    // Performs the queued run of pid: calls its run procedure, stops it if
    // the run failed, and updates its statistics and due time. The record
    // is held through the run, which may kill it, stop, start or kill
    // others, or enter the event loop again, or end the thread (which
    // deletes the scheduler and unwinds the run: then only the hold is
    // released). Returns false when pid is no longer listed (the run is
    // dropped).
    bool Run(Pid pid);

    // The clock as the last setup or check read it.
    Clicks lastClicks() const noexcept { return lastClicks_; }
    int depth() const noexcept { return static_cast<int>(batches_.size()) - 1; }
    std::size_t waiting() const noexcept { return heap_.size(); }

private:
    // Reads the clock: microseconds, and the clicks on the unwrapped clock.
    std::int64_t ReadClock(std::uint64_t *micros = nullptr) noexcept;
    void StopRecord(ProcessRecord &record) noexcept;
    // Puts an active record whose run is over back among the waiting ones.
    void Wait(ProcessRecord &record) noexcept;

    ProcessTable table_;
    DueHeap heap_;                  // active records without a run pending
    MicroClock clock_;
    Clicks lastClicks_;             // the last clock reading, cut to 32 bits
    std::int64_t clicks_ = 0;       // the same, unwrapped: due times compare here
    std::uint64_t starts_ = 0;      // starts so far, for the queueing order
    static constexpr std::uint64_t kNoBatch = 0;
    std::uint64_t lastBatch_ = kNoBatch;  // batch numbers given out
    // The open batch of each depth of nested runs, or kNoBatch.
    std::vector<std::uint64_t> batches_{kNoBatch};
    std::vector<ProcessRecord *> due_;       // scratch of Check
    std::vector<Pid> queue_;                 // Check's answer
};

}  // namespace kelb::process

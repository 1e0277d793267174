// process_scheduler.h --
//
//     The scheduler: the process table together with the clock and the
//     decisions the event loop asks for. Starting a process registers it
//     with the event loop and stopping it withdraws the registration,
//     through hooks that the Tcl binding supplies (tests supply their own).
//     In each pass of the loop, Setup tells how long the loop may sleep for
//     a process, Check decides whether to queue a run, and Run performs a
//     queued run. Each of these costs constant time, whatever the number
//     of processes.

#pragma once

#include <optional>

#include "process/process_clock.h"
#include "process/process_table.h"

namespace kelb::process {

// How the scheduler registers a process with the event loop and withdraws
// it again. Either may be null.
struct RegistrationHooks {
    void (*add)(ProcessRecord &record) noexcept = nullptr;
    void (*remove)(ProcessRecord &record) noexcept = nullptr;
};

class Scheduler {
public:
    explicit Scheduler(RegistrationHooks hooks = {}, MicroClock clock = SteadyMicros) noexcept
        : hooks_(hooks), clock_(clock) {}
    Scheduler(const Scheduler &) = delete;
    Scheduler &operator=(const Scheduler &) = delete;
    // Kills every process, withdrawing the registrations.
    ~Scheduler() { KillAll(); }

    ProcessTable &table() noexcept { return table_; }
    const ProcessTable &table() const noexcept { return table_; }

    void SetClock(MicroClock clock) noexcept { clock_ = clock; }
    Clicks Now() const noexcept { return ClicksOf(clock_()); }

    // Table operations by pid; a pid that is not listed changes nothing.
    //
    // Start makes a stopped process active: registered, statistics cleared,
    // due as soon as the clock moves on. An active process is left alone.
    void Start(Pid pid) noexcept;
    // Stop withdraws the registration and marks the process stopped. A run
    // already queued still takes place.
    void Stop(Pid pid) noexcept;
    // The new period first shows when the next run finishes.
    void SetPeriod(Pid pid, std::uint32_t period) noexcept;
    // Kill stops the process and takes it out of the table; it is freed as
    // soon as nothing holds it, and a run queued for it is dropped.
    void Kill(Pid pid) noexcept;
    void KillGroup(ProcessGroup &group) noexcept;
    void KillAll() noexcept;

    // Event-loop side, for a registered record.
    //
    // Reads the clock and answers how many microseconds the loop may sleep
    // for this record, or nothing when it sets no limit (unlisted, or a run
    // already queued or under way).
    std::optional<std::uint64_t> Setup(ProcessRecord &record) noexcept;
    // Whether to queue a run now; when it answers true the record is marked
    // pending until the run is over. The first check after the setups of a
    // pass reads the clock again, since the notifier has waited in between,
    // and every check of the pass decides on that reading: a process whose
    // due time came during the wait is queued in the same pass, instead of
    // in another pass that may not wait (and costs a round trip to Tcl's
    // notifier thread).
    // In a pass that must not wait (dontWait, as "update" asks), a record
    // that has run since the last outermost check is passed over, so that
    // such a pass comes to an end even when the record is due at every
    // pass; a pass that may wait still queues it at every pass.
    bool Check(ProcessRecord &record, bool dontWait) noexcept;
    // Performs the queued run of pid: calls its run procedure, stops it if
    // the run failed, and updates its statistics and due time. The record
    // is held through the run, which may kill it, stop, start or kill
    // others, or enter the event loop again. Returns false when pid is no
    // longer listed (the run is dropped).
    bool Run(Pid pid) noexcept;

    Clicks lastClicks() const noexcept { return lastClicks_; }
    int depth() const noexcept { return depth_; }

private:
    void StopRecord(ProcessRecord &record) noexcept;

    ProcessTable table_;
    RegistrationHooks hooks_;
    MicroClock clock_;
    Clicks lastClicks_ = 0;     // the clock as the pass's setups, then checks, read it
    bool checkReadsClock_ = false;  // set by setup: the next check reads the clock
    int depth_ = 0;          // runs under way (nested through the event loop)
};

}  // namespace kelb::process

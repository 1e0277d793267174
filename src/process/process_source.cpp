// process_source.cpp --
//
//     The scheduler's event source: one per thread, for all processes of
//     that thread. The setup procedure limits how long the notifier sleeps
//     to the earliest due time, the check procedure queues a run for each
//     process that is due, and the queued event performs the run. All
//     three act only in passes that serve timer events, so runs happen
//     wherever the application lets timers fire (vwait, update) and a
//     queued run waits through passes that serve other kinds only.

#include "process/process_binding.h"

#include "core/thread_data.h"

#include <new>
#include <utility>

namespace kelb {

namespace {

using process::Scheduler;

// Pids are unique in the whole process, whichever thread makes them:
// owned by the module, taken atomically by any thread.
constinit process::PidCounter pids;

// What each thread keeps, in Tcl's thread data (zeroed at first use):
// the scheduler, or null before the first use and after the thread's end,
// and the count of setups. Plain data: nothing runs at thread exit but the
// exit handler below.
struct ThreadState {
    Scheduler *scheduler;
    std::uint64_t waitingSetups;
};
constinit ThreadData<ThreadState> threadState;

ThreadState &State() noexcept { return *threadState; }

// A queued run. It names its process by pid, which is never reused, so a
// run queued for a process that has since been killed finds nothing and is
// dropped, even if a new record has taken the old one's memory. It holds
// no reference either, so Tcl may free it unserved (as it does at exit,
// with ckfree alone) without leaking anything. Events belong to the thread
// that queued them, and so does the scheduler that serves them.
struct ProcessEvent {
    Tcl_Event header;  // first, as Tcl_QueueEvent requires
    int pid;
};

// ProcessEventProc --
//
//     Performs a queued run.
//
// Results:
//     0 to keep the event queued when the pass does not serve timer
//     events; else 1, and Tcl releases the event.
int ProcessEventProc(Tcl_Event *evPtr, int flags) {
    if (!(flags & TCL_TIMER_EVENTS)) return 0;
    if (Scheduler *scheduler = State().scheduler) {
        scheduler->Run(reinterpret_cast<ProcessEvent *>(evPtr)->pid);
    }
    return 1;
}

// The granularity of the notifier's wait, in microseconds. Tcl 8.6 waits
// to the microsecond. Tcl 9's epoll notifier rounds block times down to
// whole milliseconds, so a wait that ends inside a millisecond would wake
// early and poll until the due click ends; there the wait is rounded up
// instead, and waking up to a millisecond late is the price.
#if TCL_MAJOR_VERSION >= 9
constexpr std::uint64_t kWaitGranularity = 1000;
#else
constexpr std::uint64_t kWaitGranularity = 1;
#endif

// Before the notifier waits: no longer than until the earliest process is
// due. A pass that must not wait has a block time of 0 already.
void ProcessSetupProc(ClientData, int flags) noexcept {
    if (!(flags & TCL_TIMER_EVENTS) || (flags & TCL_DONT_WAIT)) return;
    ThreadState &state = State();
    if (!state.scheduler) return;
    ++state.waitingSetups;
    Scheduler *scheduler = state.scheduler;
    std::optional<std::uint64_t> sleep = scheduler->Setup();
    if (!sleep) return;
    std::uint64_t micros = (*sleep + kWaitGranularity - 1) / kWaitGranularity * kWaitGranularity;
    Tcl_Time blockTime;
    blockTime.sec = static_cast<long>(micros / 1000000);
    blockTime.usec = static_cast<long>(micros % 1000000);
    Tcl_SetMaxBlockTime(&blockTime);
}

// After the wait: queues one run, at the tail, for each process that is
// due.
void ProcessCheckProc(ClientData, int flags) noexcept {
    if (!(flags & TCL_TIMER_EVENTS)) return;
    Scheduler *scheduler = State().scheduler;
    if (!scheduler) return;
    const std::vector<process::Pid> *queue;
    try {
        queue = &scheduler->Check((flags & TCL_DONT_WAIT) != 0);
    } catch (const std::bad_alloc &) {
        return;  // nothing was marked: the runs are queued in a later pass
    }
    for (process::Pid pid : *queue) {
        auto *event = reinterpret_cast<ProcessEvent *>(Tcl_Alloc(sizeof(ProcessEvent)));
        event->header.proc = ProcessEventProc;
        event->pid = pid;
        Tcl_QueueEvent(&event->header, TCL_QUEUE_TAIL);
    }
}

// When the thread ends (for the main thread: at exit, before Tcl
// finalises and perhaps unloads this library), its processes are killed
// and its source withdrawn; with the library gone, nothing could reach
// them any more. Runs still queued are freed by Tcl and hold nothing.
void EndThread(ClientData) noexcept {
    Tcl_DeleteEventSource(ProcessSetupProc, ProcessCheckProc, nullptr);
    delete std::exchange(State().scheduler, nullptr);
}

}  // namespace

Scheduler &ProcessScheduler() {
    static_assert(process::kRunFailed == TCL_ERROR);
    ThreadState &state = State();
    if (!state.scheduler) {
        state.scheduler = new Scheduler(process::SteadyMicros, &pids);
        Tcl_CreateEventSource(ProcessSetupProc, ProcessCheckProc, nullptr);
        Tcl_CreateThreadExitHandler(EndThread, nullptr);
    }
    return *state.scheduler;
}

Scheduler *ExistingProcessScheduler() noexcept { return State().scheduler; }

std::uint64_t ProcessWaitingSetups() noexcept { return State().waitingSetups; }

}  // namespace kelb

// process_source.cpp --
//
//     The scheduler's event source. Every active process has a
//     registration of its own, whose client data is its record: the setup
//     procedure limits how long the notifier sleeps, the check procedure
//     queues a run once the process is due, and the queued event performs
//     the run. All three act only in passes that serve timer events, so
//     runs happen wherever the application lets timers fire (vwait,
//     update) and a queued run waits through passes that serve other
//     kinds only.

#include "process/process_binding.h"

#include <new>

namespace kelb {

namespace {

using process::ProcessRecord;

// A queued run. It names its process by pid, which is never reused, so a
// run queued for a process that has since been killed finds nothing and is
// dropped, even if a new record has taken the old one's memory. It holds
// no reference either, so Tcl may free it unserved (as it does at exit,
// with ckfree alone) without leaking anything.
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
int ProcessEventProc(Tcl_Event *evPtr, int flags) noexcept {
    if (!(flags & TCL_TIMER_EVENTS)) return 0;
    ProcessScheduler().Run(reinterpret_cast<ProcessEvent *>(evPtr)->pid);
    return 1;
}

// Before the notifier waits: no longer than until the process is due.
void ProcessSetupProc(ClientData clientData, int flags) noexcept {
    if (!(flags & TCL_TIMER_EVENTS)) return;
    auto sleep = ProcessScheduler().Setup(*static_cast<ProcessRecord *>(clientData));
    if (!sleep) return;
    Tcl_Time blockTime;
    blockTime.sec = static_cast<long>(*sleep / 1000000);
    blockTime.usec = static_cast<long>(*sleep % 1000000);
    Tcl_SetMaxBlockTime(&blockTime);
}

// After the wait: queues one run, at the tail, when the process is due.
void ProcessCheckProc(ClientData clientData, int flags) noexcept {
    if (!(flags & TCL_TIMER_EVENTS)) return;
    auto &record = *static_cast<ProcessRecord *>(clientData);
    if (!ProcessScheduler().Check(record, (flags & TCL_DONT_WAIT) != 0)) return;
    auto *event = reinterpret_cast<ProcessEvent *>(Tcl_Alloc(sizeof(ProcessEvent)));
    event->header.proc = ProcessEventProc;
    event->pid = record.pid;
    Tcl_QueueEvent(&event->header, TCL_QUEUE_TAIL);
}

// Registrations are made and withdrawn by start and stop only, never from
// inside a setup or check procedure, where Tcl cannot take the source that
// is being called out of its list.
void AddRegistration(ProcessRecord &record) noexcept {
    Tcl_CreateEventSource(ProcessSetupProc, ProcessCheckProc, &record);
}

void RemoveRegistration(ProcessRecord &record) noexcept {
    Tcl_DeleteEventSource(ProcessSetupProc, ProcessCheckProc, &record);
}

}  // namespace

process::Scheduler &ProcessScheduler() noexcept {
    static_assert(process::kRunFailed == TCL_ERROR);
    // Built in place in static storage: nothing to allocate, and no
    // destructor to run at exit, when Tcl may already be finalised.
    alignas(process::Scheduler) static unsigned char storage[sizeof(process::Scheduler)];
    static process::Scheduler *scheduler = new (storage)
        process::Scheduler(process::RegistrationHooks{AddRegistration, RemoveRegistration});
    return *scheduler;
}

}  // namespace kelb

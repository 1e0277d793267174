// process_scheduler.cpp --
//
//     Starting, stopping and killing processes, and the setup, check and
//     run steps that the event loop drives.

#include "process/process_scheduler.h"

namespace kelb::process {

void Scheduler::Start(Pid pid) noexcept {
    ProcessRecord *record = table_.Find(pid);
    if (!record || record->state == ProcessState::Active) return;
    // The registration holds the record: its client data is the record.
    record->Hold();
    record->registered = true;
    if (hooks_.add) hooks_.add(*record);
    record->timing.Restart(Now());
    record->state = ProcessState::Active;
}

void Scheduler::StopRecord(ProcessRecord &record) noexcept {
    record.state = ProcessState::Stopped;
    if (!record.registered) return;
    record.registered = false;
    if (hooks_.remove) hooks_.remove(record);
    record.Release();
}

void Scheduler::Stop(Pid pid) noexcept {
    if (ProcessRecord *record = table_.Find(pid)) StopRecord(*record);
}

void Scheduler::SetPeriod(Pid pid, std::uint32_t period) noexcept {
    if (ProcessRecord *record = table_.Find(pid)) record->timing.period = period;
}

void Scheduler::Kill(Pid pid) noexcept {
    ProcessRecord *record = table_.Find(pid);
    if (!record) return;
    StopRecord(*record);
    table_.Unlink(*record);
}

void Scheduler::KillGroup(ProcessGroup &group) noexcept {
    while (ProcessRecord *record = group.first()) Kill(record->pid);
}

void Scheduler::KillAll() noexcept {
    while (ProcessRecord *record = table_.newest()) Kill(record->pid);
}

std::optional<std::uint64_t> Scheduler::Setup(ProcessRecord &record) noexcept {
    std::uint64_t now = clock_();
    lastClicks_ = ClicksOf(now);
    checkReadsClock_ = true;
    // A record whose run is queued or under way cannot be queued again
    // until that run is over, so it gives no reason to stay awake: a run
    // that enters the event loop would otherwise make that loop spin.
    if (!record.listed() || record.pending) return std::nullopt;
    return record.timing.SleepMicros(now);
}

bool Scheduler::Check(ProcessRecord &record, bool dontWait) noexcept {
    if (checkReadsClock_) {
        lastClicks_ = Now();
        checkReadsClock_ = false;
    }
    if (!record.listed()) return false;
    // Runs inside a run's nested loop do not end the outer pass: only a
    // check at the outermost level starts a new one.
    bool ranThisPass = record.ranSincePass;
    if (depth_ == 0) record.ranSincePass = false;
    if (record.state != ProcessState::Active || record.pending ||
        !record.timing.DueAt(lastClicks_)) {
        return false;
    }
    if (ranThisPass && dontWait) return false;
    record.pending = true;
    return true;
}

bool Scheduler::Run(Pid pid) noexcept {
    ProcessRecord *record = table_.Find(pid);
    if (!record) return false;
    record->Hold();
    Clicks start = Now();
    ++depth_;
    int code = record->runProc(record->clientData);
    --depth_;
    if (code == kRunFailed && record->listed()) StopRecord(*record);
    record->timing.RecordRun(Now() - start);
    record->pending = false;
    record->ranSincePass = true;
    record->Release();
    return true;
}

}  // namespace kelb::process

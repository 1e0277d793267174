// process_scheduler.cpp --
//
//     Starting, stopping and killing processes, and the setup, check and
//     run steps that the event loop drives.

#include "process/process_scheduler.h"

#include <algorithm>

namespace kelb::process {

std::int64_t Scheduler::ReadClock(std::uint64_t *micros) noexcept {
    std::uint64_t now = clock_();
    if (micros) *micros = now;
    // The 32-bit clicks wrap every 49.7 days; the unwrapped count moves by
    // their signed difference, so that due times stay ordered across the
    // wrap and a process due at every pass stays due however long it runs.
    Clicks clicks = ClicksOf(now);
    clicks_ += ClickDifference(clicks, lastClicks_);
    lastClicks_ = clicks;
    return clicks_;
}

void Scheduler::Start(Pid pid) {
    ProcessRecord *record = table_.Find(pid);
    if (!record || record->state == ProcessState::Active) return;
    std::int64_t now = ReadClock();
    record->timing.Restart(lastClicks_);
    record->due = now;
    record->startSerial = ++starts_;
    // A record whose run is queued or under way waits again after it.
    if (!record->pending) heap_.Insert(*record);
    record->state = ProcessState::Active;
}

void Scheduler::StopRecord(ProcessRecord &record) noexcept {
    record.state = ProcessState::Stopped;
    heap_.Remove(record);
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
    heap_.Clear();
    while (ProcessRecord *record = table_.newest()) Kill(record->pid);
}

std::optional<std::uint64_t> Scheduler::Setup() noexcept {
    if (heap_.empty()) return std::nullopt;
    std::uint64_t micros;
    std::int64_t now = ReadClock(&micros);
    return SleepMicros(heap_.earliest().due - now, micros);
}

const std::vector<Pid> &Scheduler::Check(bool dontWait) {
    queue_.clear();
    due_.clear();
    heap_.CollectDue(ReadClock(), due_);
    // Batch numbers only grow, and a nested batch opens inside the batch of
    // the depth below it: a record queued or run in the current batch or in
    // one nested in it carries a number at least the current one.
    std::uint64_t &batch = batches_.back();
    if (dontWait && batch == kNoBatch) batch = ++lastBatch_;
    if (dontWait) {
        std::erase_if(due_, [batch](const ProcessRecord *record) { return record->batch >= batch; });
    }
    // The order in which the runs are queued: the most recently started
    // process first.
    std::sort(due_.begin(), due_.end(), [](const ProcessRecord *a, const ProcessRecord *b) {
        return a->startSerial > b->startSerial;
    });
    queue_.reserve(due_.size());
    for (ProcessRecord *record : due_) {
        heap_.Remove(*record);
        record->pending = true;
        record->batch = std::max(record->batch, batch);
        queue_.push_back(record->pid);
    }
    // The next batch opens with the next pass that must not wait, so that
    // the runs in between (those that vwait serves) count in none.
    if (!dontWait || queue_.empty()) batch = kNoBatch;
    return queue_;
}

void Scheduler::Wait(ProcessRecord &record) noexcept {
    if (!record.listed() || record.state != ProcessState::Active || record.pending) return;
    try {
        heap_.Insert(record);
    } catch (...) {
        // Without memory to wait in, the process stops, as a failed run does.
        record.state = ProcessState::Stopped;
    }
}

bool Scheduler::Run(Pid pid) {
    ProcessRecord *record = table_.Find(pid);
    if (!record) return false;
    RecordHold hold(*record);
    // A run served by a loop nested in another run counts in that loop's
    // batch too, where it may have come from a batch further out.
    record->batch = std::max(record->batch, batches_.back());
    Clicks start = Now();
    // The runs of the loops nested in this one count in a batch of their
    // own. (No memory for it: they share the outer batch, which only makes
    // them run less.)
    bool nested = false;
    try {
        batches_.push_back(++lastBatch_);
        nested = true;
    } catch (...) {
    }
    int code = record->runProc(record->clientData);
    if (nested) batches_.pop_back();
    if (code == kRunFailed && record->listed()) StopRecord(*record);
    record->timing.RecordRun(Now() - start);
    record->due += record->timing.period / 1000;
    record->pending = false;
    Wait(*record);
    return true;
}

}  // namespace kelb::process

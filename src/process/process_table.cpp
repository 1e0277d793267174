// process_table.cpp --
//
//     The process table: creation, look-up, unlinking and the lifetime of
//     records.

#include "process/process_table.h"

#include <limits>
#include <memory>

namespace kelb::process {

void ProcessRecord::Release() noexcept {
    if (--holds_ > 0) return;
    if (releaseProc) releaseProc(clientData);
    delete this;
}

ProcessGroup::~ProcessGroup() {
    // Normally empty by now; records that are left simply forget the group.
    for (ProcessRecord *record = first_; record; record = record->groupNext_) {
        record->group_ = nullptr;
    }
}

ProcessTable::~ProcessTable() {
    while (newest_) Unlink(*newest_);
}

std::optional<Pid> PidCounter::Take() noexcept {
    std::int64_t pid = next_.load(std::memory_order_relaxed);
    do {
        if (pid > std::numeric_limits<Pid>::max()) return std::nullopt;
    } while (!next_.compare_exchange_weak(pid, pid + 1, std::memory_order_relaxed));
    return static_cast<Pid>(pid);
}

ProcessRecord *ProcessTable::Create(RunProc runProc, void *clientData, ReleaseProc releaseProc,
                                    ProcessGroup *group) {
    // Running out of memory leaves the table as it was; the pid taken is
    // lost, never reused.
    std::optional<Pid> pid = pids_->Take();
    if (!pid) return nullptr;
    struct Deleter {
        void operator()(ProcessRecord *record) const noexcept { delete record; }
    };
    std::unique_ptr<ProcessRecord, Deleter> made(
        new ProcessRecord(*pid, runProc, clientData, releaseProc));
    byPid_.emplace(*pid, made.get());
    ProcessRecord *record = made.release();

    record->Hold();
    record->listed_ = true;
    record->older_ = newest_;
    if (newest_) newest_->newer_ = record;
    newest_ = record;
    if (group) {
        record->group_ = group;
        record->groupNext_ = group->first_;
        if (group->first_) group->first_->groupPrev_ = record;
        group->first_ = record;
    }
    return record;
}

ProcessRecord *ProcessTable::Find(Pid pid) const noexcept {
    auto found = byPid_.find(pid);
    return found == byPid_.end() ? nullptr : found->second;
}

void ProcessTable::Unlink(ProcessRecord &record) noexcept {
    if (!record.listed_) return;
    record.listed_ = false;
    byPid_.erase(record.pid);
    (record.newer_ ? record.newer_->older_ : newest_) = record.older_;
    if (record.older_) record.older_->newer_ = record.newer_;
    record.newer_ = record.older_ = nullptr;
    if (ProcessGroup *group = record.group_) {
        (record.groupPrev_ ? record.groupPrev_->groupNext_ : group->first_) = record.groupNext_;
        if (record.groupNext_) record.groupNext_->groupPrev_ = record.groupPrev_;
        record.group_ = nullptr;
        record.groupPrev_ = record.groupNext_ = nullptr;
    }
    record.Release();
}

void ProcessTable::ReleaseStorage() noexcept {
    if (byPid_.empty()) std::unordered_map<Pid, ProcessRecord *>().swap(byPid_);
}

}  // namespace kelb::process

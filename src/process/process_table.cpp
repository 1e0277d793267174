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
    byPid_.Insert(made.get());
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
    return byPid_.Find(pid);
}

void ProcessTable::Unlink(ProcessRecord &record) noexcept {
    if (!record.listed_) return;
    record.listed_ = false;
    byPid_.Erase(&record);
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
    if (byPid_.size() == 0) byPid_.Clear();
}

std::size_t PidIndex::Home(Pid pid) const noexcept {
    // Fibonacci hashing: consecutive pids land far apart.
    const auto h = static_cast<std::uint64_t>(static_cast<std::uint32_t>(pid)) * 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(h >> 32) & (slots_.size() - 1);
}

ProcessRecord *PidIndex::Find(Pid pid) const noexcept {
    if (count_ == 0) return nullptr;
    for (std::size_t i = Home(pid);; i = (i + 1) & (slots_.size() - 1)) {
        ProcessRecord *record = slots_[i];
        if (record == nullptr || record->pid == pid) return record;
    }
}

void PidIndex::Place(ProcessRecord *record) noexcept {
    std::size_t i = Home(record->pid);
    while (slots_[i] != nullptr) i = (i + 1) & (slots_.size() - 1);
    slots_[i] = record;
}

void PidIndex::Resize(std::size_t capacity) {
    std::vector<ProcessRecord *> old(capacity, nullptr);
    old.swap(slots_);
    for (ProcessRecord *record : old) {
        if (record != nullptr) Place(record);
    }
}

void PidIndex::Insert(ProcessRecord *record) {
    // At most seven tenths full, so that probes stay short.
    if ((count_ + 1) * 10 > slots_.size() * 7) Resize(slots_.empty() ? 16 : slots_.size() * 2);
    Place(record);
    ++count_;
}

void PidIndex::Erase(const ProcessRecord *record) noexcept {
    if (count_ == 0) return;
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = Home(record->pid);
    while (slots_[i] != record) {
        if (slots_[i] == nullptr) return;
        i = (i + 1) & mask;
    }
    // Backward shift: pull later members of the probe run into the gap
    // whenever the gap lies on their way from their home slot.
    for (std::size_t j = (i + 1) & mask; slots_[j] != nullptr; j = (j + 1) & mask) {
        const std::size_t home = Home(slots_[j]->pid);
        if (((j - home) & mask) >= ((j - i) & mask)) {
            slots_[i] = slots_[j];
            i = j;
        }
    }
    slots_[i] = nullptr;
    --count_;
}

void PidIndex::Clear() noexcept {
    std::vector<ProcessRecord *>().swap(slots_);
    count_ = 0;
}

}  // namespace kelb::process

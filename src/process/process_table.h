// process_table.h --
//
//     The process table: every periodic process of the library, known by a
//     pid that is given out from 0 upwards and never reused. The table
//     lists its records from the newest to the oldest, finds a record by
//     pid in constant time, and tells in constant time whether a record is
//     still listed. Records are reference counted, so that a record that is
//     killed while something still holds it (its own run, its event-source
//     registration) stays valid until the last holder lets go.

#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "process/process_timing.h"

namespace kelb::process {

using Pid = std::int32_t;

// The state codes, as the listings number them. Only Active and Stopped
// are ever stored: a killed process leaves the table instead.
enum class ProcessState : std::uint8_t {
    Active = 0,
    Stopped = 1,
    Halted = 2,
    Sleep = 3,
    Killed = 4,
};

// What a run returns: a Tcl completion code. kRunFailed (TCL_ERROR) stops
// the process; every other code leaves it running.
using RunProc = int (*)(void *clientData);
inline constexpr int kRunFailed = 1;

// Frees a record's client data once the record itself goes; null when the
// client data belongs to someone else.
using ReleaseProc = void (*)(void *clientData);

class ProcessGroup;

class ProcessRecord {
public:
    ProcessRecord(Pid pid, RunProc runProc, void *clientData, ReleaseProc releaseProc) noexcept
        : pid(pid), runProc(runProc), clientData(clientData), releaseProc(releaseProc) {}
    ProcessRecord(const ProcessRecord &) = delete;
    ProcessRecord &operator=(const ProcessRecord &) = delete;

    const Pid pid;
    ProcessState state = ProcessState::Stopped;
    bool pending = false;       // a run is queued or under way
    bool ranSincePass = false;  // ran since a check at the outermost level
    bool registered = false;    // holds an event-source registration
    Timing timing;
    std::string description;    // at most 31 characters
    const RunProc runProc;
    void *const clientData;

    // Whether the record is in the table (it leaves it when killed).
    bool listed() const noexcept { return listed_; }
    // The next older record of the table, or null.
    ProcessRecord *older() const noexcept { return older_; }

    // Reference counting: the table holds every listed record; a run and a
    // registration hold theirs. Release frees the record (and its client
    // data, through releaseProc) when the last hold goes.
    void Hold() noexcept { ++holds_; }
    void Release() noexcept;

private:
    friend class ProcessTable;
    friend class ProcessGroup;
    ~ProcessRecord() = default;

    const ReleaseProc releaseProc;
    int holds_ = 0;
    bool listed_ = false;
    ProcessRecord *newer_ = nullptr;  // table order
    ProcessRecord *older_ = nullptr;
    ProcessGroup *group_ = nullptr;   // the group it belongs to, if any
    ProcessRecord *groupPrev_ = nullptr;
    ProcessRecord *groupNext_ = nullptr;
};

// The listed records made for one owner (an interpreter), so that they can
// all be killed together when the owner goes. Records leave their group
// when they leave the table.
class ProcessGroup {
public:
    ProcessGroup() = default;
    ProcessGroup(const ProcessGroup &) = delete;
    ProcessGroup &operator=(const ProcessGroup &) = delete;
    ~ProcessGroup();

    ProcessRecord *first() const noexcept { return first_; }

private:
    friend class ProcessTable;
    ProcessRecord *first_ = nullptr;
};

class ProcessTable {
public:
    explicit ProcessTable(Pid firstPid = 0) : nextPid_(firstPid) {}
    ProcessTable(const ProcessTable &) = delete;
    ProcessTable &operator=(const ProcessTable &) = delete;
    ~ProcessTable();

    // Makes a stopped record with the next pid and lists it as the newest,
    // in group if one is given. Returns null once every pid has been given
    // out; throws std::bad_alloc when memory runs out (nothing changes).
    ProcessRecord *Create(RunProc runProc, void *clientData, ReleaseProc releaseProc,
                          ProcessGroup *group);

    // The listed record with this pid, or null.
    ProcessRecord *Find(Pid pid) const noexcept;

    // Takes a record out of the table and its group and drops the table's
    // hold, which frees it unless something else still holds it.
    void Unlink(ProcessRecord &record) noexcept;

    // Gives the look-up storage of an empty table back to the allocator.
    void ReleaseStorage() noexcept;

    ProcessRecord *newest() const noexcept { return newest_; }
    std::size_t size() const noexcept { return byPid_.size(); }

    // The pid the next creation will take (past the last pid once they are
    // all given out). Tests move it to reach the end quickly.
    std::int64_t nextPid() const noexcept { return nextPid_; }
    void SetNextPid(std::int64_t pid) noexcept { nextPid_ = pid; }

private:
    std::unordered_map<Pid, ProcessRecord *> byPid_;
    ProcessRecord *newest_ = nullptr;
    std::int64_t nextPid_;  // wider than a pid, so that running out shows
};

}  // namespace kelb::process

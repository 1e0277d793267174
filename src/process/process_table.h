// process_table.h --
//
//     The process table: every periodic process of one thread, known by a
//     pid that is given out from 0 upwards and never reused; the pid
//     counter may be shared by the tables of several threads. The table
//     lists its records from the newest to the oldest, finds a record by
//     pid in constant time, and tells in constant time whether a record is
//     still listed. Records are reference counted, so that a record that is
//     killed while something still holds it (its own run, its event-source
//     registration) stays valid until the last holder lets go.

#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

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

// Gives out pids from a first one upwards, never twice, to any number of
// threads at once; nothing once the last pid is gone.
class PidCounter {
public:
    constexpr explicit PidCounter(std::int64_t first = 0) noexcept : next_(first) {}
    PidCounter(const PidCounter &) = delete;
    PidCounter &operator=(const PidCounter &) = delete;

    std::optional<Pid> Take() noexcept;

    // The pid the next Take gives (past the last pid once they are all
    // given out). Tests move it to reach the end quickly.
    std::int64_t next() const noexcept { return next_.load(std::memory_order_relaxed); }
    void Set(std::int64_t pid) noexcept { next_.store(pid, std::memory_order_relaxed); }

private:
    std::atomic<std::int64_t> next_;  // wider than a pid, so that running out shows
};

// Position of a record that is not in the scheduler's due-time heap.
inline constexpr std::size_t kNotQueued = static_cast<std::size_t>(-1);

// A process's description. Most processes have none, so the text lives
// on the heap, and only while there is one.
class ProcessDescription {
public:
    const char *c_str() const noexcept { return text_ ? text_.get() : ""; }
    const char *data() const noexcept { return c_str(); }
    // Tcl's strings hold no NUL byte, so the text ends at the first.
    std::size_t size() const noexcept { return text_ ? std::strlen(text_.get()) : 0; }
    // Throws std::bad_alloc, and the old text stays.
    void assign(const char *text, std::size_t length) {
        std::unique_ptr<char[]> copy;
        if (length != 0) {
            copy.reset(new char[length + 1]);
            std::memcpy(copy.get(), text, length);
            copy[length] = '\0';
        }
        text_ = std::move(copy);
    }

private:
    std::unique_ptr<char[]> text_;
};

// The fields are in an order that leaves no padding: a record is made
// for every process, and some applications have many.
class ProcessRecord {
public:
    ProcessRecord(Pid pid, RunProc runProc, void *clientData, ReleaseProc releaseProc) noexcept
        : pid(pid), runProc(runProc), clientData(clientData), releaseProc(releaseProc) {}
    ProcessRecord(const ProcessRecord &) = delete;
    ProcessRecord &operator=(const ProcessRecord &) = delete;

    const Pid pid;
    ProcessState state = ProcessState::Stopped;
    bool pending = false;       // a run is queued or under way

private:
    bool listed_ = false;
    int holds_ = 0;

public:
    Timing timing;
    // The scheduler's bookkeeping.
    std::int64_t due = 0;             // nextTime on the scheduler's unwrapped clock
    std::uint64_t startSerial = 0;    // when it was last started: later starts queue first
    std::uint64_t batch = 0;          // the batch of passes that last queued it
    std::size_t heapIndex = kNotQueued;  // place in the due-time heap
    ProcessDescription description;   // at most 31 characters
    const RunProc runProc;
    void *const clientData;

    // Whether the record is in the table (it leaves it when killed).
    bool listed() const noexcept { return listed_; }
    // The next older record of the table, or null.
    ProcessRecord *older() const noexcept { return older_; }

    // Reference counting: the table holds every listed record; a run
    // holds its own. Release frees the record (and its client
    // data, through releaseProc) when the last hold goes.
    void Hold() noexcept { ++holds_; }
    void Release() noexcept;

private:
    friend class ProcessTable;
    friend class ProcessGroup;

    ~ProcessRecord() = default;

    const ReleaseProc releaseProc;
    ProcessRecord *newer_ = nullptr;  // table order
    ProcessRecord *older_ = nullptr;
    ProcessGroup *group_ = nullptr;   // the group it belongs to, if any
    ProcessRecord *groupPrev_ = nullptr;
    ProcessRecord *groupNext_ = nullptr;
};

static_assert(sizeof(void *) != 8 || sizeof(ProcessRecord) == 136, "a record keeps no padding");

// A hold on a record for as long as it lives, released however the scope
// is left (the thread's end unwinds a run without returning).
class RecordHold {
public:
    explicit RecordHold(ProcessRecord &record) noexcept : record_(record) { record_.Hold(); }
    RecordHold(const RecordHold &) = delete;
    RecordHold &operator=(const RecordHold &) = delete;
    ~RecordHold() { record_.Release(); }

private:
    ProcessRecord &record_;
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

// Listed records by pid: open addressing with linear probing and
// backward-shift deletion. A slot is one pointer, where a map node would
// take a heap block of its own.
class PidIndex {
public:
    ProcessRecord *Find(Pid pid) const noexcept;
    // Adds a record whose pid is not in the index. Throws std::bad_alloc
    // (the index is then unchanged).
    void Insert(ProcessRecord *record);
    void Erase(const ProcessRecord *record) noexcept;
    std::size_t size() const noexcept { return count_; }
    // Gives the slots back to the allocator (the index must be empty).
    void Clear() noexcept;

private:
    std::size_t Home(Pid pid) const noexcept;
    void Place(ProcessRecord *record) noexcept;
    void Resize(std::size_t capacity);

    std::vector<ProcessRecord *> slots_;
    std::size_t count_ = 0;
};

class ProcessTable {
public:
    // Pids come from pids, or from a counter of the table's own.
    explicit ProcessTable(PidCounter *pids = nullptr) noexcept
        : pids_(pids ? pids : &ownPids_) {}
    ProcessTable(const ProcessTable &) = delete;
    ProcessTable &operator=(const ProcessTable &) = delete;
    ~ProcessTable();

    // Makes a stopped record with the next pid and lists it as the newest,
    // in group if one is given. Returns null once every pid has been given
    // out; throws std::bad_alloc when memory runs out (the table stays as
    // it was; a pid may be lost, never reused).
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

    PidCounter &pids() const noexcept { return *pids_; }

private:
    PidIndex byPid_;
    ProcessRecord *newest_ = nullptr;
    PidCounter ownPids_;
    PidCounter *pids_;
};

}  // namespace kelb::process

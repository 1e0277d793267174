// process_due_heap.h --
//
//     The active processes that wait for their next run, ordered by due
//     time (a binary min-heap): the earliest due time is read in constant
//     time, the due records are found in time proportional to their
//     number, and a record is added or taken out in O(log n), whatever the
//     number of waiting processes. Each record keeps its place in the heap,
//     so that it can be taken out from anywhere.

#pragma once

#include <cstdint>
#include <vector>

#include "process/process_table.h"

namespace kelb::process {

class DueHeap {
public:
    bool empty() const noexcept { return heap_.empty(); }
    std::size_t size() const noexcept { return heap_.size(); }
    // The record due first; the heap must not be empty.
    ProcessRecord &earliest() const noexcept { return *heap_.front(); }

    // Adds a record by its due time (record.due). Throws std::bad_alloc
    // when memory runs out, the heap unchanged.
    void Insert(ProcessRecord &record);
    // Takes a record out; one that is not in the heap is left alone.
    void Remove(ProcessRecord &record) noexcept;
    void Clear() noexcept;

    // Appends to found every record whose due time lies before now, in no
    // particular order, leaving the heap as it is.
    void CollectDue(std::int64_t now, std::vector<ProcessRecord *> &found) const;

private:
    void Place(std::size_t index, ProcessRecord *record) noexcept;
    void SiftUp(std::size_t index) noexcept;
    void SiftDown(std::size_t index) noexcept;

    std::vector<ProcessRecord *> heap_;
};

}  // namespace kelb::process

// process_due_heap.cpp --
//
//     The due-time heap of the scheduler.

#include "process/process_due_heap.h"

namespace kelb::process {

namespace {

std::size_t Parent(std::size_t index) noexcept { return (index - 1) / 2; }
std::size_t FirstChild(std::size_t index) noexcept { return 2 * index + 1; }

}  // namespace

void DueHeap::Place(std::size_t index, ProcessRecord *record) noexcept {
    heap_[index] = record;
    record->heapIndex = index;
}

void DueHeap::SiftUp(std::size_t index) noexcept {
    ProcessRecord *record = heap_[index];
    while (index > 0 && record->due < heap_[Parent(index)]->due) {
        Place(index, heap_[Parent(index)]);
        index = Parent(index);
    }
    Place(index, record);
}

void DueHeap::SiftDown(std::size_t index) noexcept {
    ProcessRecord *record = heap_[index];
    for (;;) {
        std::size_t child = FirstChild(index);
        if (child >= heap_.size()) break;
        if (child + 1 < heap_.size() && heap_[child + 1]->due < heap_[child]->due) ++child;
        if (heap_[child]->due >= record->due) break;
        Place(index, heap_[child]);
        index = child;
    }
    Place(index, record);
}

void DueHeap::Insert(ProcessRecord &record) {
    heap_.push_back(&record);
    SiftUp(heap_.size() - 1);
}

void DueHeap::Remove(ProcessRecord &record) noexcept {
    std::size_t index = record.heapIndex;
    if (index >= heap_.size() || heap_[index] != &record) return;
    record.heapIndex = kNotQueued;
    ProcessRecord *last = heap_.back();
    heap_.pop_back();
    if (last == &record) return;
    Place(index, last);
    // The record moved into the hole may belong above it or below it.
    if (index > 0 && last->due < heap_[Parent(index)]->due) {
        SiftUp(index);
    } else {
        SiftDown(index);
    }
}

void DueHeap::Clear() noexcept {
    for (ProcessRecord *record : heap_) record->heapIndex = kNotQueued;
    heap_.clear();
}

void DueHeap::CollectDue(std::int64_t now, std::vector<ProcessRecord *> &found) const {
    // A record that is not due has no due record below it, so the walk
    // visits the due records and at most two more for each.
    if (heap_.empty() || heap_.front()->due >= now) return;
    std::size_t first = found.size();
    found.push_back(heap_.front());
    for (std::size_t next = first; next < found.size(); ++next) {
        std::size_t child = FirstChild(found[next]->heapIndex);
        for (std::size_t end = child + 2; child < end && child < heap_.size(); ++child) {
            if (heap_[child]->due < now) found.push_back(heap_[child]);
        }
    }
}

}  // namespace kelb::process

// tree_value.h --
//
//     Node values as Tcl variables. A value node's TreeValue holds the Tcl
//     value once for the whole process; each interpreter that reaches it as
//     a variable has its own record (tree_record.h), a layer below this one.
//
//     Coherence: with one record the value simply lives in it. With two or
//     more, each record carries a write and unset trace of ours, placed
//     last so that it sees what the other traces left; a write in one
//     interpreter is pushed into every other record with Tcl's own setter,
//     so traces and links fire in the interpreter that made them.
//
//     Lifetime: the store holds its counts on every record, Tcl adds its
//     own (upvar, global, frames, running traces). "tree set" replaces the
//     value inside the records; removing the node unlinks C links, unsets
//     each record in its own interpreter, marks it dead and drops our
//     counts, so Tcl frees the record only when nothing refers to it.

#pragma once

#include <tcl.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "tree/tree_record.h"
#include "tree/tree_store.h"

namespace kelb {

// The records of one value: nearly always one, kept inline. While there
// is none, the same word holds the value the store keeps in their stead
// (a value is held there or in its records, never in both).
class RecordList {
public:
    RecordList() noexcept : single_(nullptr) {}
    RecordList(const RecordList &other) : single_(nullptr) {
        for (Record *r : other) push_back(r);
    }
    RecordList &operator=(const RecordList &) = delete;
    ~RecordList() {
        if (onHeap_) delete[] heap_;
    }

    Record *const *begin() const noexcept { return onHeap_ ? heap_ : &single_; }
    Record *const *end() const noexcept { return begin() + size_; }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    Record *back() const noexcept { return begin()[size_ - 1]; }

    // Makes room for one more, so that the next push_back cannot fail.
    void ReserveOne() {
        if (size_ < Capacity()) return;
        const std::uint32_t capacity = Capacity() * 2;
        auto *grown = new Record *[capacity];
        std::copy(begin(), end(), grown);
        if (onHeap_) delete[] heap_;
        heap_ = grown;
        onHeap_ = true;
    }
    void push_back(Record *record) {
        ReserveOne();
        data()[size_++] = record;
    }
    void Remove(const Record *record) noexcept {
        Record **d = data();
        std::uint32_t kept = 0;
        for (std::uint32_t i = 0; i < size_; ++i) {
            if (d[i] != record) d[kept++] = d[i];
        }
        size_ = kept;
        if (size_ != 0) return;
        // No record left: the word holds no value yet.
        if (onHeap_) delete[] heap_;
        onHeap_ = false;
        held_ = nullptr;
    }

    // The value kept while there is no record.
    Tcl_Obj *held() const noexcept { return size_ == 0 ? held_ : nullptr; }
    void SetHeld(Tcl_Obj *obj) noexcept { held_ = obj; }  // only while empty

private:
    Record **data() noexcept { return onHeap_ ? heap_ : &single_; }
    // A heap array's length is a power of two, at least the records';
    // after removals it may be longer than this says, never shorter.
    std::uint32_t Capacity() const noexcept {
        if (!onHeap_) return 1;
        std::uint32_t capacity = 2;
        while (capacity < size_) capacity *= 2;
        return capacity;
    }

    union {
        Tcl_Obj *held_;   // no record: the value, or none
        Record *single_;  // one record, inline
        Record **heap_;   // records on the heap, while onHeap_
    };
    std::uint32_t size_ : 31 = 0;
    std::uint32_t onHeap_ : 1 = 0;
};

}  // namespace kelb

// Kept to three words, so that it fits behind its first record in that
// record's variable, where it moves when the value is first read as a
// variable (tree_value.cpp): such a value then costs Tcl's variable alone
// on top of the node. The counts and flags share the tail of the record
// list's last word.
struct kelb::TreeValue {
    Node *node = nullptr;                    // none once the node is gone
    [[no_unique_address]] RecordList records;  // or the value, while there is none
    std::uint32_t pins : 28 = 0;             // operations in progress
    std::uint32_t hosted : 1 = 0;           // it lives in a record's variable (tree_value.cpp)
    std::uint32_t released : 1 = 0;         // the node no longer has this value
    std::uint32_t assigning : 1 = 0;        // a push is running: our traces stand still
    std::uint32_t named : 1 = 0;            // its former address is kept (tree_value.cpp)
};
static_assert(sizeof(kelb::TreeValue) <= 24, "a value holder stays three words");

namespace kelb {

// The node's current value, or none (no value, or unset by a script).
Tcl_Obj *TreeNodeValue(const Node *node) noexcept;

// Gives the node the value `obj` (a value node keeps its records and the
// new value is pushed into each). Returns TCL_ERROR, with the message in
// `caller`, only when a trace in the caller's own interpreter refused it.
int TreeSetValue(Node *node, Tcl_Obj *obj, Tcl_Interp *caller = nullptr);

// Releases the node's value, retiring every record, and makes it plain.
void TreeFreeValue(Node *node);

// A watch now covers the value: its writes must reach our code.
void TreeValueObserve(TreeValue *value);

// The value operations the store calls.
TreeValueOps &TreeTclValueOps() noexcept;

// The variable of this interpreter's record of a value node, made if
// needed (may throw std::bad_alloc).
Tcl_Var TreeValueVar(InterpState *state, TreeValue *value);

// A write or unset that reached the value some other way than through a
// record of its own (a procedure's stand-in variable): every record
// follows. Assigning returns TCL_ERROR, with the message in `caller`,
// when a trace in the caller's interpreter refused the value.
int TreeValueAssign(TreeValue *value, Tcl_Obj *obj, Tcl_Interp *caller);
void TreeValueUnset(TreeValue *value);

// The interpreter is being deleted: its records go (its links and traces
// end there), and a value whose last record this was goes back to the
// store.
void TreeValuesLeaveInterp(InterpState *state);

// The interpreter's thread is ending and it never runs again: its records
// leave their values without calling into it, taking the values they
// held along (the store is emptied next).
void TreeValuesAbandonInterp(InterpState *state) noexcept;

// Calls proc once no operation holds a value any more: at once, or when
// thread::exit, having ended the thread from inside an operation, unwinds
// the last one.
void TreeValuesWhenUnpinned(void (*proc)() noexcept) noexcept;

}  // namespace kelb

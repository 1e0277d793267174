// tree_value.h --
//
//     Node values as Tcl variables. A value node's TreeValue holds the Tcl
//     value once for the whole process. Each interpreter that reaches the
//     value as a variable gets its own variable record (a VarInHash, the
//     kind of record Tcl counts; see MakeVar), because Tcl keeps a variable's
//     traces in the interpreter's own table: one record shared by two
//     interpreters breaks as soon as either traces or links it.
//
//     Coherence: with one record the value simply lives in it. With two or
//     more, each record carries a write and unset trace of ours, placed
//     last so that it sees what the other traces left; a write in one
//     interpreter is pushed into every other record with Tcl's own setter,
//     so traces and links fire in the interpreter that made them.
//
//     Lifetime: the store holds one count on every record, Tcl adds its own
//     (upvar, global, frames, running traces). "tree set" replaces the
//     value inside the records; removing the node unlinks C links, unsets
//     each record in its own interpreter, marks it dead and drops our
//     counts, so Tcl frees the record only when nothing refers to it.

#pragma once

#include <tcl.h>
#include <tclInt.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "tree/tree_store.h"

namespace kelb {

struct InterpState;

// What our traces are registered on: a record, or a forwarder (below).
struct VarHolder {
    InterpState *owner = nullptr;  // none once retired
    Var *var = nullptr;            // we hold one count on it until retired
    int pins = 1;                  // 1 for the owner, 1 per trace of ours, temporaries
    bool traced = false;           // our trace is registered on var
};

// One interpreter's variable record for one value.
struct Record : VarHolder {
    TreeValue *value = nullptr;  // none once retired
    Record *prevInInterp = nullptr;
    Record *nextInInterp = nullptr;
};

// A compiled local "/a/b" whose node had no value when its procedure was
// entered: every access looks the address up again.
struct Forwarder : VarHolder {
    std::string address;
};

// Per interpreter: what its records need and the list of them.
struct InterpState {
    Tcl_Interp *interp = nullptr;
    // The table our records claim to be in: it holds no entry, but Tcl
    // finds a variable's namespace (the global one) through it.
    TclVarHashTable table;
    Tcl_Obj *recordName = nullptr;  // the key our records show ("")
    Record *records = nullptr;      // this interpreter's records
    std::unordered_map<std::string, Forwarder *> forwarders;
};

// The records of one value: nearly always one, kept inline.
class RecordList {
public:
    RecordList() noexcept = default;
    RecordList(const RecordList &other) {
        for (Record *r : other) push_back(r);
    }
    RecordList &operator=(const RecordList &) = delete;
    ~RecordList() { delete[] heap_; }

    Record *const *begin() const noexcept { return heap_ != nullptr ? heap_ : &single_; }
    Record *const *end() const noexcept { return begin() + size_; }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    Record *back() const noexcept { return begin()[size_ - 1]; }

    // Makes room for one more, so that the next push_back cannot fail.
    void ReserveOne() {
        const std::uint32_t capacity = heap_ != nullptr ? capacity_ : 1;
        if (size_ < capacity) return;
        auto *grown = new Record *[capacity * 2];
        std::copy(begin(), end(), grown);
        delete[] heap_;
        heap_ = grown;
        capacity_ = capacity * 2;
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
    }

private:
    Record **data() noexcept { return heap_ != nullptr ? heap_ : &single_; }

    Record *single_ = nullptr;  // the one record, until a second comes
    Record **heap_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = 0;
};

}  // namespace kelb

struct kelb::TreeValue {
    Node *node = nullptr;              // none once the node is gone
    Tcl_Obj *held = nullptr;           // the value while no record exists
    RecordList records;
    InterpState *hintState = nullptr;  // the interpreter that resolved it last
    Var *hintVar = nullptr;            // and its record's variable
    // The node's address, kept when the node is removed (for the names
    // traces see while the records go).
    std::unique_ptr<std::string> formerAddress;
    int pins = 0;                      // operations in progress
    bool released = false;             // the node no longer has this value
    bool assigning = false;            // a push is running: our traces stand still
};

namespace kelb {

// The node's current value, or none (no value, or unset by a script).
Tcl_Obj *TreeNodeValue(const Node *node) noexcept;

// Gives the node the value `obj` (a value node keeps its records and the
// new value is pushed into each). Returns TCL_ERROR, with the message in
// `caller`, only when a trace in the caller's own interpreter refused it.
int TreeSetValue(Node *node, Tcl_Obj *obj, Tcl_Interp *caller = nullptr);

// Releases the node's value, retiring every record, and makes it plain.
void TreeFreeValue(Node *node) noexcept;

// The value operations the store calls.
TreeValueOps &TreeTclValueOps() noexcept;

// This interpreter's record for a value node, made if needed (may throw
// std::bad_alloc).
Record *TreeValueRecord(InterpState *state, TreeValue *value);

// The variable of that record; the same, with a shortcut for repeated
// lookups from one interpreter.
Var *TreeValueVar(InterpState *state, TreeValue *value);

// A forwarder for the address in this interpreter (may throw).
Forwarder *TreeForwarder(InterpState *state, const std::string &address);

// Per-interpreter state: made by Tree_Init, gone when the interpreter is
// deleted (then this returns none).
InterpState *TreeInterpState(Tcl_Interp *interp) noexcept;
InterpState *TreeAttachInterp(Tcl_Interp *interp);

// Shared by the value and record code (not for other modules).
Tcl_Obj *TreeScalarValue(const Var *var) noexcept;    // none for arrays and undefined
Tcl_Obj *TreeCurrentValue(const TreeValue *value) noexcept;
int TreeAssign(TreeValue *value, Tcl_Obj *obj, Record *origin, Tcl_Interp *caller);
void TreeUnsetValue(TreeValue *value, Record *origin);
void TreeEnsureTraced(TreeValue *value);
void TreeRetireRecord(Record *record) noexcept;
void TreeUnpinRecord(Record *record) noexcept;
void TreePinValue(TreeValue *value) noexcept;
void TreeUnpinValue(TreeValue *value) noexcept;
Tcl_Obj *TreeValueName(const TreeValue *value);      // new object: the node's address

// Keeps a value (not its node) alive for the length of a scope in which
// scripts may run.
class ValuePin {
public:
    explicit ValuePin(TreeValue *value) noexcept : value_(value) { TreePinValue(value_); }
    ~ValuePin() { TreeUnpinValue(value_); }
    ValuePin(const ValuePin &) = delete;
    ValuePin &operator=(const ValuePin &) = delete;

private:
    TreeValue *value_;
};

// While C links are removed by name, the resolver maps kUnlinkName in
// that interpreter to this record's variable.
inline constexpr const char *kUnlinkName = "/#0";
Var *TreeUnlinkTarget(Tcl_Interp *interp, const char *name) noexcept;

}  // namespace kelb

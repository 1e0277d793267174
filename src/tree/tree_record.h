// tree_record.h --
//
//     The per-interpreter side of node values. Each interpreter that
//     reaches a value as a variable gets its own variable record, because
//     Tcl keeps a variable's traces in the interpreter's own table: one
//     variable shared by two interpreters breaks as soon as either traces
//     or links it.
//
//     This layer makes, lists, traces and retires records; it knows
//     nothing of what the records stand for. The value layer (tree_value.h)
//     sits on top of it and gives the traces their meaning.

#pragma once

#include <tcl.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "tree/tree_node.h"
#include "tree/tree_vars.h"

namespace kelb {

struct InterpState;
struct Forwarder;
struct TreeStore;

// What traces are registered on: a variable of one interpreter. A holder
// lives in its variable's extra bytes (tree_vars.h), so it is freed with
// the variable; pins are counts on the variable (the maker's two for the
// owner, one per registered trace, temporaries).
struct VarHolder {
    InterpState *owner = nullptr;  // none once retired
    bool traced = false;           // a trace of ours is registered on var
    // Its variable; the maker's counts are held until it is retired.
    Tcl_Var Var() const noexcept { return VarOfExtra(this); }
};

// One interpreter's variable record for one node value. Three words, so
// that the value's holder fits behind it in the variable's spare bytes
// (tree_value.cpp): its interpreter is the one its variable's table
// belongs to, and the traced flag rides in a spare bit of a link.
class Record final {
public:
    TreeValue *value = nullptr;  // none once retired
    Record *nextInInterp = nullptr;

    // The interpreter's state; none once retired.
    InterpState *owner() const noexcept {
        return value != nullptr ? static_cast<InterpState *>(VarTableOwner(Var())) : nullptr;
    }
    // Its variable; the maker's counts are held until it is retired.
    Tcl_Var Var() const noexcept { return VarOfExtra(this); }
    // Whether a trace of ours is registered on the variable.
    bool traced() const noexcept { return (prevAndTraced_ & kTraced) != 0; }
    void SetTraced(bool traced) noexcept {
        prevAndTraced_ = (prevAndTraced_ & ~kTraced) | (traced ? kTraced : 0);
    }
    Record *prevInInterp() const noexcept {
        return reinterpret_cast<Record *>(prevAndTraced_ & ~kTraced);
    }
    void SetPrevInInterp(Record *prev) noexcept {
        prevAndTraced_ = reinterpret_cast<std::uintptr_t>(prev) | (prevAndTraced_ & kTraced);
    }

private:
    static constexpr std::uintptr_t kTraced = 1;  // records are word aligned
    std::uintptr_t prevAndTraced_ = 0;
};
static_assert(std::is_trivially_destructible_v<Record>, "Tcl frees records without destructors");
static_assert(sizeof(Record) == 3 * sizeof(void *), "a record leaves room for its value's holder");

// Per interpreter that holds the tree store.
struct InterpState {
    Tcl_Interp *interp = nullptr;
    // The store it holds, set when it is attached. A state is deleted, and
    // its holders let go, before its thread lets the store go.
    TreeStore *store = nullptr;
    VarTable *vars = nullptr;   // what its variables claim as their table
    Record *records = nullptr;  // its records, newest first
    // Stand-ins for compiled locals (see tree_resolver.cpp), by address.
    std::unordered_map<std::string, Forwarder *> forwarders;
    std::vector<NodeId> ownNodes;  // the /interpN nodes made for it
};

InterpState *InterpStateCreate(Tcl_Interp *interp);
// Its records and forwarders must be retired first.
void InterpStateDelete(InterpState *state) noexcept;

// A new record of the value in the state's interpreter, with an undefined
// variable and `tail` spare bytes behind it; listed in the state, pinned
// once for the owner.
Record *RecordCreate(InterpState *state, TreeValue *value, std::size_t tail);

// Registers a trace of ours behind the variable's other traces; the
// record stays pinned until Tcl reports the trace destroyed.
void RecordTrace(Record *record, Tcl_VarTraceProc *proc, int flags);

// A new undefined variable in the state's interpreter with room for a
// holder of type H and `tail` more bytes behind it; the holder is made
// there, owned by the state.
template <typename H>
H *HolderCreate(InterpState *state, std::size_t tail = 0) {
    static_assert(std::is_trivially_destructible_v<H>, "Tcl frees holders without destructors");
    Tcl_Var var = VarCreate(state->vars, sizeof(H) + tail);
    H *holder = new (VarExtra(var)) H;
    holder->owner = state;
    return holder;
}

// Registers a trace of ours behind the variable's other traces; the
// holder stays pinned until Tcl reports the trace destroyed.
void HolderTrace(VarHolder *holder, Tcl_VarTraceProc *proc, int flags);

// Retires the holder's variable in its interpreter (name is what traces
// see), marks the holder retired and drops the owner's pin, after which
// the holder may be gone. Calls into the interpreter, which a trace may
// delete meanwhile.
void HolderRetire(VarHolder *holder, Tcl_Obj *name);

// The same for a record, which leaves its interpreter's list (its value
// must have let it go already).
void RecordRetire(Record *record, Tcl_Obj *name);

// The same when the thread is ending and the interpreter never runs
// again: nothing is called there (tree_vars.h, VarAbandon).
void HolderAbandon(VarHolder *holder) noexcept;
void RecordAbandon(Record *record) noexcept;

void HolderPin(VarHolder *holder) noexcept;
void HolderUnpin(VarHolder *holder) noexcept;

}  // namespace kelb

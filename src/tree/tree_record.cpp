// tree_record.cpp --
//
//     Making, listing, tracing and retiring the per-interpreter variable
//     records of node values.

#include "tree/tree_record.h"

namespace kelb {

InterpState *InterpStateCreate(Tcl_Interp *interp) {
    auto *state = new InterpState;
    state->interp = interp;
    try {
        state->vars = VarTableCreate(interp, state);
    } catch (...) {
        delete state;
        throw;
    }
    return state;
}

void InterpStateDelete(InterpState *state) noexcept {
    VarTableDelete(state->vars);
    delete state;
}

Record *RecordCreate(InterpState *state, TreeValue *value, std::size_t tail) {
    Tcl_Var var = VarCreate(state->vars, sizeof(Record) + tail);
    auto *record = new (VarExtra(var)) Record;
    record->value = value;
    record->nextInInterp = state->records;
    if (state->records != nullptr) state->records->SetPrevInInterp(record);
    state->records = record;
    return record;
}

void RecordTrace(Record *record, Tcl_VarTraceProc *proc, int flags) {
    VarTraceLast(record->owner()->interp, record->Var(), proc, record, flags);
    record->SetTraced(true);
    VarPin(record->Var());
}

void HolderTrace(VarHolder *holder, Tcl_VarTraceProc *proc, int flags) {
    VarTraceLast(holder->owner->interp, holder->Var(), proc, holder, flags);
    holder->traced = true;
    HolderPin(holder);
}

void HolderPin(VarHolder *holder) noexcept { VarPin(holder->Var()); }

void HolderUnpin(VarHolder *holder) noexcept { VarUnpin(holder->Var()); }

void HolderRetire(VarHolder *holder, Tcl_Obj *name) {
    InterpState *owner = holder->owner;
    if (owner == nullptr) return;
    holder->owner = nullptr;
    // The maker's counts are the owner's pin.
    VarRetire(owner->interp, holder->Var(), name);
}

namespace {

// Takes the record out of its interpreter's list.
void Unlist(Record *record, InterpState *state) noexcept {
    Record *prev = record->prevInInterp();
    if (prev != nullptr) {
        prev->nextInInterp = record->nextInInterp;
    } else {
        state->records = record->nextInInterp;
    }
    if (record->nextInInterp != nullptr) record->nextInInterp->SetPrevInInterp(prev);
    record->SetPrevInInterp(nullptr);
    record->nextInInterp = nullptr;
}

}  // namespace

void RecordRetire(Record *record, Tcl_Obj *name) {
    // Without its value a record counts as retired (it has no owner).
    InterpState *state = record->owner();
    record->value = nullptr;
    if (state == nullptr) return;
    Unlist(record, state);
    // The maker's counts are the owner's pin.
    VarRetire(state->interp, record->Var(), name);
}

void HolderAbandon(VarHolder *holder) noexcept {
    if (holder->owner == nullptr) return;
    holder->owner = nullptr;
    VarAbandon(holder->Var());
}

void RecordAbandon(Record *record) noexcept {
    InterpState *state = record->owner();
    record->value = nullptr;
    if (state == nullptr) return;
    Unlist(record, state);
    VarAbandon(record->Var());
}

}  // namespace kelb

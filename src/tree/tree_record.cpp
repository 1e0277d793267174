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
        state->vars = VarTableCreate(interp);
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

Record *RecordCreate(InterpState *state, TreeValue *value) {
    auto *record = HolderCreate<Record>(state);
    record->value = value;
    record->nextInInterp = state->records;
    if (state->records != nullptr) state->records->prevInInterp = record;
    state->records = record;
    return record;
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
    if (record->prevInInterp != nullptr) {
        record->prevInInterp->nextInInterp = record->nextInInterp;
    } else {
        state->records = record->nextInInterp;
    }
    if (record->nextInInterp != nullptr) record->nextInInterp->prevInInterp = record->prevInInterp;
    record->prevInInterp = record->nextInInterp = nullptr;
}

}  // namespace

void RecordRetire(Record *record, Tcl_Obj *name) {
    record->value = nullptr;
    InterpState *state = record->owner;
    if (state == nullptr) return;
    Unlist(record, state);
    HolderRetire(record, name);
}

void HolderAbandon(VarHolder *holder) noexcept {
    if (holder->owner == nullptr) return;
    holder->owner = nullptr;
    VarAbandon(holder->Var());
}

void RecordAbandon(Record *record) noexcept {
    record->value = nullptr;
    if (record->owner == nullptr) return;
    Unlist(record, record->owner);
    HolderAbandon(record);
}

}  // namespace kelb

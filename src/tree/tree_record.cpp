// tree_record.cpp --
//
//     The per-interpreter side of node values: each interpreter's variable
//     records, our traces on them (registered last, so they see what every
//     other trace left), forwarders for compiled procedure locals, and the
//     retiring of records when a value or an interpreter goes away.

#include "tree/tree_value.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "core/tcl_support.h"
#include "tree/tree_module.h"

namespace kelb {

namespace {

constexpr const char *kAssocKey = "KelbTree";
constexpr int kRecordTraceFlags = TCL_TRACE_WRITES | TCL_TRACE_UNSETS;
constexpr int kForwarderTraceFlags =
    TCL_TRACE_READS | TCL_TRACE_WRITES | TCL_TRACE_UNSETS | TCL_TRACE_RESULT_OBJECT;
// A trace that sets its variable again each time it is unset is given up
// on after this many unsets; the record is then left to Tcl (never freed
// under it).
constexpr int kMaxUnsets = 8;

// The record whose variable kUnlinkName stands for while Tcl_UnlinkVar
// runs; only ever set for the length of that call.
struct {
    Tcl_Interp *interp;
    Var *var;
} pendingUnlink = {nullptr, nullptr};

// Registers a trace behind every trace the variable already has, as
// Tcl_TraceVar2 would but without a name lookup (a forwarder has no name
// that resolves to it) and at the end of the list rather than the front.
void AddTraceLast(VarHolder *holder, Tcl_VarTraceProc *proc, int flags) {
    Interp *iPtr = reinterpret_cast<Interp *>(holder->owner->interp);
    auto *trace = static_cast<VarTrace *>(ckalloc(sizeof(VarTrace)));
    trace->traceProc = proc;
    trace->clientData = holder;
    trace->flags = flags;
    trace->nextPtr = nullptr;
    int isNew = 0;
    Tcl_HashEntry *entry = Tcl_CreateHashEntry(&iPtr->varTraces, reinterpret_cast<char *>(holder->var), &isNew);
    if (isNew) {
        Tcl_SetHashValue(entry, trace);
    } else {
        auto *last = static_cast<VarTrace *>(Tcl_GetHashValue(entry));
        while (last->nextPtr != nullptr) last = last->nextPtr;
        last->nextPtr = trace;
    }
    holder->var->flags |= flags & VAR_ALL_TRACES;
    holder->traced = true;
    ++holder->pins;
}

// A new variable record of ours. It is a VarInHash, since only those are
// counted by Tcl, but it sits in no hash table: Tcl reaches the entry only
// for the namespace (through tablePtr, an empty table of ours) and for
// the name shown by "namespace which" (our shared empty key), and deletes
// entries only of records it counts as unused, which ours never are while
// they live: they carry a count for the entry and one of ours.
Var *MakeVar(InterpState *state) noexcept {
    auto *record = static_cast<VarInHash *>(ckalloc(sizeof(VarInHash)));
    record->var.flags = VAR_IN_HASHTABLE;
    record->var.value.objPtr = nullptr;
    record->refCount = 2;
    record->entry.nextPtr = nullptr;
    record->entry.tablePtr = &state->table.table;
    record->entry.hash = {};
    record->entry.clientData = record;
    record->entry.key.objPtr = state->recordName;
    return &record->var;
}

// Unsets a variable of ours in its interpreter until it stays unset, marks
// it dead and drops our counts; Tcl frees it when nothing else refers to
// it. The holder must already be inactive (no owner), so that our own
// traces let the unsets pass.
void RetireVar(Tcl_Interp *interp, Var *var, Tcl_Obj *name) noexcept {
    if (TclIsVarTraced(var)) {
        // A C link re-creates its variable by name when unset; remove it
        // while a name still leads to this record.
        pendingUnlink = {interp, var};
        Tcl_UnlinkVar(interp, kUnlinkName);
        pendingUnlink = {nullptr, nullptr};
    }
    for (int i = 0; i < kMaxUnsets && (!TclIsVarUndefined(var) || TclIsVarTraced(var)); ++i) {
        TclPtrUnsetVar(interp, reinterpret_cast<Tcl_Var>(var), nullptr, name, nullptr, TCL_GLOBAL_ONLY);
    }
    if (!TclIsVarUndefined(var) || TclIsVarTraced(var)) return;
    // As Tcl does when it deletes the entry of a variable still in use:
    // the record is dead, and freed when the last count goes.
    var->flags |= VAR_DEAD_HASH;
    VarHashRefCount(var) -= 2;
    TclCleanupVar(var, nullptr);
}

void Unlist(Record *record) noexcept {
    InterpState *state = record->owner;
    if (record->prevInInterp != nullptr) {
        record->prevInInterp->nextInInterp = record->nextInInterp;
    } else {
        state->records = record->nextInInterp;
    }
    if (record->nextInInterp != nullptr) record->nextInInterp->prevInInterp = record->prevInInterp;
    record->prevInInterp = record->nextInInterp = nullptr;
}

void UnpinForwarder(Forwarder *forwarder) noexcept {
    if (--forwarder->pins == 0) delete forwarder;
}

void RetireForwarder(Forwarder *forwarder) noexcept {
    Tcl_Interp *interp = forwarder->owner->interp;
    forwarder->owner = nullptr;
    Tcl_Obj *name = Tcl_NewStringObj(forwarder->address.data(), static_cast<int>(forwarder->address.size()));
    Tcl_IncrRefCount(name);
    RetireVar(interp, forwarder->var, name);
    Tcl_DecrRefCount(name);
    UnpinForwarder(forwarder);
}

// Sets a forwarder's variable to what the node holds now (none: unset).
void SetForwarded(Var *var, Tcl_Obj *obj) noexcept {
    if (var->flags & (VAR_ARRAY | VAR_LINK)) return;
    if (obj != nullptr) Tcl_IncrRefCount(obj);
    if (var->value.objPtr != nullptr) Tcl_DecrRefCount(var->value.objPtr);
    var->value.objPtr = obj;
}

char *ErrorResult(const std::string &message) {
    Tcl_Obj *obj = Tcl_NewStringObj(message.data(), static_cast<int>(message.size()));
    Tcl_IncrRefCount(obj);
    return reinterpret_cast<char *>(obj);
}

// Our trace on a record: keeps the other interpreters' records in step.
char *RecordTraceProc(ClientData clientData, Tcl_Interp *interp, const char *, const char *name2,
                      int flags) noexcept {
    auto *record = static_cast<Record *>(clientData);
    const bool destroyed = (flags & TCL_TRACE_DESTROYED) != 0;
    try {
        TreeValue *value = record->value;
        const bool active = value != nullptr && !value->assigning && name2 == nullptr &&
                            !Tcl_InterpDeleted(interp);
        if (flags & TCL_TRACE_UNSETS) {
            if (destroyed) record->traced = false;
            if (active) {
                ValuePin pin(value);
                if (Tcl_Obj *obj = TreeScalarValue(record->var)) {
                    // A trace before ours (a C link) set it again at once.
                    TreeAssign(value, obj, record, nullptr);
                    if (!value->released) TreeEnsureTraced(value);
                } else {
                    TreeUnsetValue(value, record);
                }
            }
        } else if (active) {
            if (Tcl_Obj *obj = TreeScalarValue(record->var)) TreeAssign(value, obj, record, nullptr);
        }
    } catch (...) {
        // Out of memory: the other interpreters see the change later.
    }
    if (destroyed) TreeUnpinRecord(record);
    return nullptr;
}

char *ForwarderTraceProc(ClientData clientData, Tcl_Interp *interp, const char *name1,
                         const char *name2, int flags) noexcept;

// Looks up a forwarder's address now; the node must hold a value.
Node *ForwardedNode(const Forwarder *forwarder, std::string &error) {
    TreeModule *module = TreeModuleGet();
    Node *node = TreeLookup(module->store, forwarder->address, false);
    if (node != nullptr && node->kind != NodeKind::Value) {
        TreeSetError(module->store.error, kTreeNotVariable, forwarder->address);
        node = nullptr;
    }
    if (node == nullptr) error = module->store.error.Text();
    return node;
}

char *ForwardAccess(Forwarder *forwarder, Tcl_Interp *interp, int flags) {
    std::string error;
    Node *node = ForwardedNode(forwarder, error);
    if (flags & TCL_TRACE_UNSETS) {
        if (node != nullptr) TreeUnsetValue(node->value, nullptr);
        if (!forwarder->traced && forwarder->owner != nullptr) {
            AddTraceLast(forwarder, ForwarderTraceProc, kForwarderTraceFlags);
        }
        return nullptr;
    }
    if (node == nullptr) {
        SetForwarded(forwarder->var, nullptr);
        return ErrorResult(error);
    }
    if (flags & TCL_TRACE_READS) {
        SetForwarded(forwarder->var, TreeNodeValue(node));
        return nullptr;
    }
    Tcl_Obj *obj = TreeScalarValue(forwarder->var);
    if (obj != nullptr && TreeAssign(node->value, obj, nullptr, interp) != TCL_OK) {
        return ErrorResult(Tcl_GetString(Tcl_GetObjResult(interp)));
    }
    return nullptr;
}

// Our trace on a forwarder: every access goes to the node named now.
char *ForwarderTraceProc(ClientData clientData, Tcl_Interp *interp, const char *, const char *name2,
                         int flags) noexcept {
    auto *forwarder = static_cast<Forwarder *>(clientData);
    const bool destroyed = (flags & TCL_TRACE_DESTROYED) != 0;
    char *result = nullptr;
    if (destroyed) forwarder->traced = false;
    const bool active = forwarder->owner != nullptr && !Tcl_InterpDeleted(interp) &&
                        TreeModuleGet() != nullptr;
    try {
        if (active && name2 == nullptr) result = ForwardAccess(forwarder, interp, flags);
    } catch (...) {
        result = ErrorResult("not enough memory");
    }
    if (destroyed) UnpinForwarder(forwarder);
    return result;
}

void InterpDeleted(ClientData clientData, Tcl_Interp *) noexcept;

}  // namespace

void TreeUnpinRecord(Record *record) noexcept {
    if (--record->pins == 0) delete record;
}

Record *TreeValueRecord(InterpState *state, TreeValue *value) {
    for (Record *r : value->records) {
        if (r->owner == state) return r;
    }
    value->records.ReserveOne();
    auto *record = new Record;
    record->owner = state;
    record->value = value;
    record->var = MakeVar(state);
    record->nextInInterp = state->records;
    if (state->records != nullptr) state->records->prevInInterp = record;
    state->records = record;
    if (value->records.empty()) {
        // The first record takes over the value the store held.
        record->var->value.objPtr = value->held;
        value->held = nullptr;
    } else if (Tcl_Obj *obj = TreeCurrentValue(value)) {
        record->var->value.objPtr = obj;
        Tcl_IncrRefCount(obj);
    }
    value->records.push_back(record);
    TreeEnsureTraced(value);
    return record;
}

Var *TreeValueVar(InterpState *state, TreeValue *value) {
    if (value->hintState != state) {
        Record *record = TreeValueRecord(state, value);
        value->hintState = state;
        value->hintVar = record->var;
    }
    return value->hintVar;
}

void TreeEnsureTraced(TreeValue *value) {
    if (value->records.size() < 2) return;
    for (Record *r : value->records) {
        if (!r->traced && r->owner != nullptr && !TclIsVarDeadHash(r->var)) {
            AddTraceLast(r, RecordTraceProc, kRecordTraceFlags);
        }
    }
}

void TreeRetireRecord(Record *record) noexcept {
    TreeValue *value = record->value;
    if (value != nullptr) {
        value->records.Remove(record);
        if (value->hintVar == record->var) value->hintState = nullptr;
        record->value = nullptr;
    }
    InterpState *owner = record->owner;
    if (owner == nullptr) return;
    Unlist(record);
    record->owner = nullptr;
    Tcl_Obj *name = nullptr;
    try {
        name = value != nullptr ? TreeValueName(value) : Tcl_NewStringObj(kUnlinkName, -1);
    } catch (...) {
        name = Tcl_NewStringObj(kUnlinkName, -1);
    }
    Tcl_IncrRefCount(name);
    RetireVar(owner->interp, record->var, name);
    Tcl_DecrRefCount(name);
    TreeUnpinRecord(record);
}

Forwarder *TreeForwarder(InterpState *state, const std::string &address) {
    auto found = state->forwarders.find(address);
    if (found != state->forwarders.end()) return found->second;
    auto made = std::make_unique<Forwarder>();
    made->address = address;
    state->forwarders.emplace(address, made.get());
    Forwarder *forwarder = made.release();
    forwarder->owner = state;
    forwarder->var = MakeVar(state);
    AddTraceLast(forwarder, ForwarderTraceProc, kForwarderTraceFlags);
    return forwarder;
}

Var *TreeUnlinkTarget(Tcl_Interp *interp, const char *name) noexcept {
    if (pendingUnlink.var == nullptr || interp != pendingUnlink.interp) return nullptr;
    return std::strcmp(name, kUnlinkName) == 0 ? pendingUnlink.var : nullptr;
}

InterpState *TreeInterpState(Tcl_Interp *interp) noexcept {
    TreeModule *module = TreeModuleGet();
    if (module == nullptr) return nullptr;
    if (module->lastFound != nullptr && module->lastFound->interp == interp) return module->lastFound;
    for (InterpState *state : module->interps) {
        if (state->interp == interp) return module->lastFound = state;
    }
    return nullptr;
}

InterpState *TreeAttachInterp(Tcl_Interp *interp) {
    if (InterpState *state = TreeInterpState(interp)) return state;
    TreeModule &module = TreeModuleMake();
    module.interps.reserve(module.interps.size() + 1);
    auto *state = new InterpState;
    state->interp = interp;
    TclInitVarHashTable(&state->table, reinterpret_cast<Namespace *>(Tcl_GetGlobalNamespace(interp)));
    state->recordName = Tcl_NewObj();
    Tcl_IncrRefCount(state->recordName);
    module.interps.push_back(state);
    Tcl_SetAssocData(interp, kAssocKey, InterpDeleted, state);
    return state;
}

namespace {

// The interpreter is being deleted: its records go, each unset in it
// (its links and traces end there), and a value whose last record this
// was goes back to the store.
void InterpDeleted(ClientData clientData, Tcl_Interp *) noexcept {
    auto *state = static_cast<InterpState *>(clientData);
    TreeModule *module = TreeModuleGet();
    auto &interps = module->interps;
    interps.erase(std::remove(interps.begin(), interps.end(), state), interps.end());
    if (module->lastFound == state) module->lastFound = nullptr;
    while (Record *record = state->records) {
        TreeValue *value = record->value;
        if (value != nullptr && value->records.size() == 1 && !value->released) {
            if (Tcl_Obj *obj = TreeScalarValue(record->var)) {
                Tcl_IncrRefCount(obj);
                value->held = obj;
            }
        }
        TreeRetireRecord(record);
    }
    for (auto &[address, forwarder] : state->forwarders) RetireForwarder(forwarder);
    Tcl_DeleteHashTable(&state->table.table);
    Tcl_DecrRefCount(state->recordName);
    delete state;
}

}  // namespace

}  // namespace kelb

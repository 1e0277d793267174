// tree_value.cpp --
//
//     Node values: setting, pushing a new value into every interpreter's
//     record, unsetting, releasing, our traces on the records, and the
//     value operations the store calls when it copies, moves or removes
//     nodes.

#include "tree/tree_value.h"

#include <algorithm>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>

#include "core/tcl_support.h"
#include "tree/record_pool.h"
#include "tree/tree_watch.h"

namespace kelb {

namespace {

// A value pushed into a record can be rewritten by a trace there (or
// refused, which restores the old one); the rewritten value is adopted
// and pushed on, a bounded number of times so that traces of two
// interpreters cannot keep rewriting each other's values.
constexpr int kMaxPushRounds = 4;

constexpr int kRecordTraceFlags = TCL_TRACE_WRITES | TCL_TRACE_UNSETS;

// Addresses of removed nodes, kept for the traces that see their values
// go (the nodes above may be gone by then), while such a value lives.
// Rarely used, so kept out of every value. Owned by the module, never
// freed; touched only by the store's owning thread.
std::unordered_map<const TreeValue *, std::string> &FormerAddresses() {
    static auto *addresses = new std::unordered_map<const TreeValue *, std::string>;
    return *addresses;
}

// Value holders come from a pool of their own, so that a node's first
// value costs no call to the heap and no allocator header. Only the
// thread that owns the store makes and frees them; the pool lives as long
// as the process, so that no value can outlive it.
RecordPool &ValueHolders() {
    static auto *pool = new RecordPool(sizeof(TreeValue));
    return *pool;
}

TreeValue *NewValue() { return new (ValueHolders().Allocate()) TreeValue; }

// Every record's variable has room for a holder behind the record; a
// holder that moved there (hosted) keeps one count on that variable for as
// long as it lives, so that the memory stays when the record retires.
void *HolderSlot(Record *record) noexcept { return reinterpret_cast<char *>(record) + sizeof(Record); }
Tcl_Var HostVariable(TreeValue *value) noexcept {
    return VarOfExtra(reinterpret_cast<char *>(value) - sizeof(Record));
}

// The first record made for a value takes its holder in, which saves the
// holder's own allocation for every value read as a variable. Only a
// holder that nothing points at but its node and the new record moves:
// none that an operation holds, none that moved already, none named after
// a removed node. Returns where the holder is now.
TreeValue *HostInRecord(TreeValue *value, Record *record) noexcept {
    if (value->pins != 0 || value->hosted || value->named || value->node == nullptr) return value;
    auto *hosted = new (HolderSlot(record)) TreeValue;
    hosted->node = value->node;
    hosted->records.SetHeld(value->records.held());
    hosted->hosted = 1;
    value->records.SetHeld(nullptr);
    value->~TreeValue();
    ValueHolders().Release(value);
    hosted->node->value = hosted;
    record->value = hosted;
    VarPin(record->Var());
    return hosted;
}

void DeleteValue(TreeValue *value) noexcept {
    if (value->named) FormerAddresses().erase(value);
    const bool hosted = value->hosted;
    value->~TreeValue();
    if (hosted) {
        // Tcl frees the variable once nothing else counts it either.
        VarUnpin(HostVariable(value));
    } else {
        ValueHolders().Release(value);
    }
}

// Pins held by operations in progress, all of them on the owning thread's
// stack, and what to call once the last is dropped.
int pinsHeld = 0;
void (*whenUnpinned)() noexcept = nullptr;

void PinValue(TreeValue *value) noexcept {
    ++value->pins;
    ++pinsHeld;
}

void UnpinValue(TreeValue *value) noexcept {
    if (--value->pins == 0 && value->released) DeleteValue(value);
    if (--pinsHeld == 0 && whenUnpinned != nullptr) std::exchange(whenUnpinned, nullptr)();
}

// Keeps a value (not its node) alive for the length of a scope in which
// scripts may run.
class ValuePin {
public:
    explicit ValuePin(TreeValue *value) noexcept : value_(value) { PinValue(value_); }
    ~ValuePin() { UnpinValue(value_); }
    ValuePin(const ValuePin &) = delete;
    ValuePin &operator=(const ValuePin &) = delete;

private:
    TreeValue *value_;
};

// Records pinned for the length of an operation that runs scripts.
class RecordSnapshot {
public:
    explicit RecordSnapshot(const RecordList &records) : records_(records) {
        for (Record *r : records_) VarPin(r->Var());
    }
    ~RecordSnapshot() {
        for (Record *r : records_) VarUnpin(r->Var());
    }
    RecordSnapshot(const RecordSnapshot &) = delete;
    RecordSnapshot &operator=(const RecordSnapshot &) = delete;
    const RecordList &records() const noexcept { return records_; }

private:
    RecordList records_;
};

// Marks a pinned value as being pushed (our own traces then let the
// pushing loop handle what they see).
class AssignScope {
public:
    explicit AssignScope(TreeValue *value) noexcept : value_(value), was_(value->assigning) {
        value_->assigning = true;
    }
    ~AssignScope() { value_->assigning = was_; }
    AssignScope(const AssignScope &) = delete;
    AssignScope &operator=(const AssignScope &) = delete;

private:
    TreeValue *value_;
    bool was_;
};

bool IsLive(const Record *record, const TreeValue *value) noexcept {
    if (record->value != value) return false;
    const InterpState *owner = record->owner();
    return owner != nullptr && !Tcl_InterpDeleted(owner->interp);
}

// Sets the value kept while the value has no record; clearing it while
// records exist changes nothing, since the records hold the value then.
void ReplaceHeld(TreeValue *value, Tcl_Obj *obj) noexcept {
    if (!value->records.empty()) return;
    Tcl_Obj *old = value->records.held();
    if (obj != nullptr) Tcl_IncrRefCount(obj);
    value->records.SetHeld(obj);
    if (old != nullptr) Tcl_DecrRefCount(old);
}

// New object: the node's address, or the one it had when it was removed.
Tcl_Obj *ValueName(const TreeValue *value) {
    const std::string address = value->node != nullptr ? TreeNodeAddress(value->node)
                                : value->named ? FormerAddresses().at(value)
                                               : std::string();
    return Tcl_NewStringObj(address.data(), static_cast<TclSize>(address.size()));
}

Tcl_Obj *CurrentValue(const TreeValue *value) noexcept {
    if (value->records.empty()) return value->records.held();
    for (const Record *r : value->records) {
        if (Tcl_Obj *obj = VarValue(r->Var())) return obj;
    }
    return nullptr;
}

// Tells the watches (if any) what the value is now.
void Changed(const TreeValue *value) noexcept {
    if (TreeWatchesActive()) [[unlikely]] TreeWatchNotify(value->node, CurrentValue(value));
}

// One pass of a push: sets `current` into every record but `origin`, the
// caller's first: a link elsewhere that refuses the value puts the old one
// back, and that is all the caller's own link would see afterwards.
// Returns true when a trace rewrote a record's value, which then becomes
// `current` (and that record `origin`).
bool PushOnce(TreeValue *value, ObjRef &current, Record *&origin, ObjRef &name,
              Tcl_Interp *caller, int &code) {
    bool adopted = false;
    RecordSnapshot snapshot(value->records);
    for (const bool callersTurn : {true, false}) {
        if (callersTurn && caller == nullptr) continue;
        for (Record *r : snapshot.records()) {
            if (value->released) return adopted;
            if (r == origin || !IsLive(r, value) || VarValue(r->Var()) == current.get()) continue;
            Tcl_Interp *interp = r->owner()->interp;
            const bool own = interp == caller;
            if (own != callersTurn) continue;
            if (VarSetQuietly(r->Var(), current.get())) continue;
            if (!name) name = ObjRef(ValueName(value));
            bool refused = false;
            const ObjRef now = VarSet(interp, r->Var(), name.get(), current.get(), own, refused);
            if (refused && own) code = TCL_ERROR;
            if (r->value == value && now && now.get() != current.get()) {
                current = now;
                origin = r;
                adopted = true;
            }
        }
    }
    return adopted;
}

int Assign(TreeValue *value, Tcl_Obj *obj, Record *origin, Tcl_Interp *caller) {
    if (value->released) return TCL_OK;
    if (value->records.empty()) {
        ReplaceHeld(value, obj);
        Changed(value);
        return TCL_OK;
    }
    // The usual case: one record that nothing watches takes the value as
    // it is; no script can run, so nothing needs pinning.
    if (value->records.size() == 1) {
        Record *only = *value->records.begin();
        if (only != origin && IsLive(only, value) && VarSetQuietly(only->Var(), obj)) {
            Changed(value);
            return TCL_OK;
        }
    }
    ValuePin pin(value);
    AssignScope scope(value);
    ObjRef current(obj);
    ObjRef name;
    int code = TCL_OK;
    for (int round = 0; round < kMaxPushRounds; ++round) {
        if (!PushOnce(value, current, origin, name, caller, code)) break;
    }
    if (!value->released) Changed(value);
    return code;
}

void EnsureTraced(TreeValue *value);

void Unset(TreeValue *value, Record *origin) {
    if (value->released) return;
    ReplaceHeld(value, nullptr);
    ValuePin pin(value);
    {
        AssignScope scope(value);
        ObjRef name(ValueName(value));
        RecordSnapshot snapshot(value->records);
        for (Record *r : snapshot.records()) {
            if (value->released) return;
            if (r == origin || !IsLive(r, value) || VarIsUndefined(r->Var())) continue;
            VarUnset(r->owner()->interp, r->Var(), name.get());
        }
    }
    if (value->released) return;
    // A trace (a C link, for one) may have set its variable again; then
    // that value stands everywhere.
    for (Record *r : value->records) {
        if (Tcl_Obj *obj = VarValue(r->Var())) {
            Assign(value, obj, r, nullptr);
            break;
        }
    }
    if (value->released) return;
    EnsureTraced(value);
    Changed(value);
}

// Our trace on a record: keeps the other interpreters' records in step.
char *RecordTraceProc(ClientData clientData, Tcl_Interp *interp, const char *, const char *name2,
                      int flags) {
    auto *record = static_cast<Record *>(clientData);
    const bool destroyed = (flags & TCL_TRACE_DESTROYED) != 0;
    try {
        TreeValue *value = record->value;
        const bool active = value != nullptr && !value->assigning && name2 == nullptr &&
                            !Tcl_InterpDeleted(interp);
        if (flags & TCL_TRACE_UNSETS) {
            if (destroyed) record->SetTraced(false);
            if (active) {
                ValuePin pin(value);
                if (Tcl_Obj *obj = VarValue(record->Var())) {
                    // A trace before ours (a C link) set it again at once.
                    Assign(value, obj, record, nullptr);
                    if (!value->released) EnsureTraced(value);
                } else {
                    Unset(value, record);
                }
            }
        } else if (active) {
            if (Tcl_Obj *obj = VarValue(record->Var())) Assign(value, obj, record, nullptr);
        }
    } catch (const std::exception &) {  // not thread::exit's unwinding (see GuardCommand)
        // Out of memory: the other interpreters see the change later.
    }
    if (destroyed) VarUnpin(record->Var());
    return nullptr;
}

// With one record nothing needs our trace, unless a watch must see the
// writes that go straight into the variable.
bool NeedsTrace(const TreeValue *value) noexcept {
    if (value->records.size() >= 2) return true;
    return TreeWatchesActive() && !value->records.empty() && value->node != nullptr &&
           TreeWatchCovers(value->node);
}

void EnsureTraced(TreeValue *value) {
    if (!NeedsTrace(value)) return;
    for (Record *r : value->records) {
        if (!r->traced() && r->owner() != nullptr && !VarIsRetired(r->Var())) {
            RecordTrace(r, RecordTraceProc, kRecordTraceFlags);
        }
    }
}

// This interpreter's record of the value, made if needed.
Record *RecordOf(InterpState *state, TreeValue *value) {
    for (Record *r : value->records) {
        if (r->owner() == state) return r;
    }
    value->records.ReserveOne();
    Record *record = RecordCreate(state, value, sizeof(TreeValue));
    if (value->records.empty()) {
        // The first record takes over the holder and the value it held.
        value = HostInRecord(value, record);
        VarSetRaw(record->Var(), value->records.held());
        ReplaceHeld(value, nullptr);
    } else if (Tcl_Obj *obj = CurrentValue(value)) {
        VarSetRaw(record->Var(), obj);
    }
    value->records.push_back(record);
    EnsureTraced(value);
    return record;
}

// The record leaves its value and retires in its interpreter; a value it
// leaves without records keeps `keep`.
void Retire(TreeValue *value, Record *record, Tcl_Obj *keep = nullptr) {
    value->records.Remove(record);
    if (keep != nullptr) ReplaceHeld(value, keep);
    // The name is only for traces (and links) to read.
    if (!VarIsTraced(record->Var())) {
        RecordRetire(record, nullptr);
        return;
    }
    Tcl_Obj *name = nullptr;
    try {
        name = ValueName(value);
    } catch (...) {
        name = Tcl_NewObj();
    }
    Tcl_IncrRefCount(name);
    RecordRetire(record, name);
    Tcl_DecrRefCount(name);
}

}  // namespace

Tcl_Obj *TreeNodeValue(const Node *node) noexcept {
    return node->kind == NodeKind::Value ? CurrentValue(node->value) : nullptr;
}

int TreeSetValue(Node *node, Tcl_Obj *obj, Tcl_Interp *caller) {
    if (node->kind == NodeKind::Value) return Assign(node->value, obj, nullptr, caller);
    TreeValue *value = NewValue();
    value->node = node;
    ReplaceHeld(value, obj);
    node->kind = NodeKind::Value;
    node->value = value;
    Changed(value);
    return TCL_OK;
}

void TreeValueObserve(TreeValue *value) { EnsureTraced(value); }

void TreeFreeValue(Node *node) {
    if (node->kind != NodeKind::Value) return;
    TreeValue *value = node->value;
    node->value = nullptr;
    node->kind = NodeKind::Plain;
    value->node = nullptr;
    value->released = true;
    ReplaceHeld(value, nullptr);
    ValuePin pin(value);
    while (!value->records.empty()) Retire(value, value->records.back());
}

Tcl_Var TreeValueVar(InterpState *state, TreeValue *value) { return RecordOf(state, value)->Var(); }

int TreeValueAssign(TreeValue *value, Tcl_Obj *obj, Tcl_Interp *caller) {
    return Assign(value, obj, nullptr, caller);
}

void TreeValueUnset(TreeValue *value) { Unset(value, nullptr); }

void TreeValuesLeaveInterp(InterpState *state) {
    while (Record *record = state->records) {
        TreeValue *value = record->value;
        if (value == nullptr) {
            RecordRetire(record, nullptr);
            continue;
        }
        // The last record's value stays with the node.
        Tcl_Obj *keep = nullptr;
        if (value->records.size() == 1 && !value->released) keep = VarValue(record->Var());
        Retire(value, record, keep);
    }
}

void TreeValuesAbandonInterp(InterpState *state) noexcept {
    while (Record *record = state->records) {
        if (TreeValue *value = record->value) value->records.Remove(record);
        RecordAbandon(record);
    }
}

void TreeValuesWhenUnpinned(void (*proc)() noexcept) noexcept {
    if (pinsHeld == 0) return proc();
    whenUnpinned = proc;
}

namespace {

class TclValueOps final : public TreeValueOps {
public:
    void DetachValue(Node &node) noexcept override {
        // A value nothing traces needs no name when it goes.
        TreeValue *value = node.value;
        if (TreeWatchesActive()) [[unlikely]] TreeWatchNotify(&node, nullptr);
        value->node = nullptr;
        if (std::none_of(value->records.begin(), value->records.end(),
                         [](const Record *r) { return VarIsTraced(r->Var()); })) {
            return;
        }
        try {
            FormerAddresses()[value] = TreeNodeAddress(&node);
            value->named = true;
        } catch (...) {
            // Only names for traces; an empty one will do.
        }
    }
    void FreeValue(Node &node) override { TreeFreeValue(&node); }
    void PrefetchValue(const Node &node, int level) const noexcept override {
        // The levels: the holder; the last record (the one freed first)
        // and its variable; the variable's object; the object's text.
        if (node.kind != NodeKind::Value) return;
        const TreeValue *value = node.value;
        if (level == 0) return __builtin_prefetch(value);
        if (value->records.empty()) return;
        const Record *record = value->records.back();
        if (level == 1) {
            __builtin_prefetch(record->Var());
            return __builtin_prefetch(record);
        }
        const Tcl_Obj *obj = VarValue(record->Var());
        if (obj == nullptr) return;
        __builtin_prefetch(level == 2 ? static_cast<const void *>(obj) : obj->bytes);
    }
    void CopyValue(const Node &from, Node &to) override {
        if (Tcl_Obj *obj = TreeNodeValue(&from)) TreeSetValue(&to, Tcl_DuplicateObj(obj));
    }
    void NoteMove(const Node &top, bool arrived) noexcept override {
        if (!TreeWatchesActive()) return;
        TreeVisitValues(&top, [arrived](const Node *node) {
            if (arrived) TreeValueObserve(node->value);
            TreeWatchNotify(node, arrived ? CurrentValue(node->value) : nullptr);
        });
    }
    void MoveValue(Node &from, Node &to) noexcept override {
        to.value = from.value;
        from.value = nullptr;
        to.value->node = &to;
    }
};

}  // namespace

TreeValueOps &TreeTclValueOps() noexcept {
    // Stateless; made on the first call, shared by every thread.
    static TclValueOps ops;
    return ops;
}

}  // namespace kelb

// tree_value.cpp --
//
//     Node values: setting, pushing a new value into every interpreter's
//     record, unsetting, releasing, and the value operations the store
//     calls when it copies, moves or removes nodes.

#include "tree/tree_value.h"

#include <algorithm>

#include "core/tcl_support.h"

namespace kelb {

namespace {

// A value pushed into a record can be rewritten by a trace there (or
// refused, which restores the old one); the rewritten value is adopted
// and pushed on, a bounded number of times so that traces of two
// interpreters cannot keep rewriting each other's values.
constexpr int kMaxPushRounds = 4;

// Records pinned for the length of an operation that runs scripts.
class RecordSnapshot {
public:
    explicit RecordSnapshot(const RecordList &records) : records_(records) {
        for (Record *r : records_) ++r->pins;
    }
    ~RecordSnapshot() {
        for (Record *r : records_) TreeUnpinRecord(r);
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
    return record->value == value && record->owner != nullptr &&
           !Tcl_InterpDeleted(record->owner->interp);
}

// Puts obj into a record that no trace watches, as Tcl's own fast path
// would. Returns false if the record needs Tcl's setter.
bool SetQuietly(Var *var, Tcl_Obj *obj) noexcept {
    if (TclIsVarTraced(var) || (var->flags & (VAR_ARRAY | VAR_LINK | VAR_DEAD_HASH))) return false;
    Tcl_Obj *old = var->value.objPtr;
    var->value.objPtr = obj;
    Tcl_IncrRefCount(obj);
    if (old != nullptr) Tcl_DecrRefCount(old);
    return true;
}

void ReplaceHeld(TreeValue *value, Tcl_Obj *obj) noexcept {
    if (obj != nullptr) Tcl_IncrRefCount(obj);
    if (value->held != nullptr) Tcl_DecrRefCount(value->held);
    value->held = obj;
}

// One pass of a push: sets `current` into every record but `origin`.
// Returns true when a trace rewrote a record's value, which then becomes
// `current` (and that record `origin`).
bool PushOnce(TreeValue *value, ObjRef &current, Record *&origin, ObjRef &name,
              Tcl_Interp *caller, int &code) {
    bool adopted = false;
    RecordSnapshot snapshot(value->records);
    for (Record *r : snapshot.records()) {
        if (value->released) break;
        if (r == origin || !IsLive(r, value) || TreeScalarValue(r->var) == current.get()) continue;
        if (SetQuietly(r->var, current.get())) continue;
        if (!name) name = ObjRef(TreeValueName(value));
        Tcl_Interp *interp = r->owner->interp;
        const bool own = interp == caller;
        // The traces may retire the record and drop our count; this one
        // keeps the variable readable until we are done with it.
        Var *var = r->var;
        VarHashRefCount(var)++;
        if (TclPtrSetVar(interp, reinterpret_cast<Tcl_Var>(var), nullptr, name.get(), nullptr,
                         current.get(), TCL_GLOBAL_ONLY | (own ? TCL_LEAVE_ERR_MSG : 0)) == nullptr &&
            own) {
            code = TCL_ERROR;
        }
        Tcl_Obj *now = TreeScalarValue(var);
        if (r->value == value && now != nullptr && now != current.get()) {
            current = ObjRef(now);
            origin = r;
            adopted = true;
        }
        VarHashRefCount(var)--;
        TclCleanupVar(var, nullptr);
    }
    return adopted;
}

}  // namespace

Tcl_Obj *TreeScalarValue(const Var *var) noexcept {
    if (var->flags & (VAR_ARRAY | VAR_LINK)) return nullptr;
    return var->value.objPtr;
}

void TreePinValue(TreeValue *value) noexcept { ++value->pins; }

void TreeUnpinValue(TreeValue *value) noexcept {
    if (--value->pins == 0 && value->released) delete value;
}

Tcl_Obj *TreeValueName(const TreeValue *value) {
    const std::string address = value->node != nullptr ? TreeNodeAddress(value->node)
                                : value->formerAddress ? *value->formerAddress
                                                       : std::string();
    return Tcl_NewStringObj(address.data(), static_cast<int>(address.size()));
}

Tcl_Obj *TreeNodeValue(const Node *node) noexcept {
    return node->kind == NodeKind::Value ? TreeCurrentValue(node->value) : nullptr;
}

Tcl_Obj *TreeCurrentValue(const TreeValue *value) noexcept {
    if (value->records.empty()) return value->held;
    for (const Record *r : value->records) {
        if (Tcl_Obj *obj = TreeScalarValue(r->var)) return obj;
    }
    return nullptr;
}

int TreeAssign(TreeValue *value, Tcl_Obj *obj, Record *origin, Tcl_Interp *caller) {
    if (value->released) return TCL_OK;
    if (value->records.empty()) {
        ReplaceHeld(value, obj);
        return TCL_OK;
    }
    ValuePin pin(value);
    AssignScope scope(value);
    ObjRef current(obj);
    ObjRef name;
    int code = TCL_OK;
    for (int round = 0; round < kMaxPushRounds; ++round) {
        if (!PushOnce(value, current, origin, name, caller, code)) break;
    }
    return code;
}

void TreeUnsetValue(TreeValue *value, Record *origin) {
    if (value->released) return;
    ReplaceHeld(value, nullptr);
    ValuePin pin(value);
    {
        AssignScope scope(value);
        ObjRef name(TreeValueName(value));
        RecordSnapshot snapshot(value->records);
        for (Record *r : snapshot.records()) {
            if (value->released) return;
            if (r == origin || !IsLive(r, value) || TclIsVarUndefined(r->var)) continue;
            TclPtrUnsetVar(r->owner->interp, reinterpret_cast<Tcl_Var>(r->var), nullptr, name.get(),
                           nullptr, TCL_GLOBAL_ONLY);
        }
    }
    if (value->released) return;
    // A trace (a C link, for one) may have set its variable again; then
    // that value stands everywhere.
    for (Record *r : value->records) {
        if (Tcl_Obj *obj = TreeScalarValue(r->var)) {
            TreeAssign(value, obj, r, nullptr);
            break;
        }
    }
    if (!value->released) TreeEnsureTraced(value);
}

int TreeSetValue(Node *node, Tcl_Obj *obj, Tcl_Interp *caller) {
    if (node->kind == NodeKind::Value) return TreeAssign(node->value, obj, nullptr, caller);
    auto *value = new TreeValue;
    value->node = node;
    ReplaceHeld(value, obj);
    node->kind = NodeKind::Value;
    node->value = value;
    node->linkTarget = 0;
    return TCL_OK;
}

void TreeFreeValue(Node *node) noexcept {
    if (node->kind != NodeKind::Value) return;
    TreeValue *value = node->value;
    node->value = nullptr;
    node->kind = NodeKind::Plain;
    value->node = nullptr;
    value->released = true;
    ReplaceHeld(value, nullptr);
    TreePinValue(value);
    while (!value->records.empty()) TreeRetireRecord(value->records.back());
    TreeUnpinValue(value);
}

namespace {

class TclValueOps final : public TreeValueOps {
public:
    void DetachValue(Node &node) noexcept override {
        TreeValue *value = node.value;
        try {
            value->formerAddress = std::make_unique<std::string>(TreeNodeAddress(&node));
        } catch (...) {
            // Only names for traces; an empty one will do.
        }
        value->node = nullptr;
    }
    void FreeValue(Node &node) noexcept override { TreeFreeValue(&node); }
    void CopyValue(const Node &from, Node &to) override {
        if (Tcl_Obj *obj = TreeNodeValue(&from)) TreeSetValue(&to, Tcl_DuplicateObj(obj));
    }
    void MoveValue(Node &from, Node &to) noexcept override {
        to.value = from.value;
        from.value = nullptr;
        to.value->node = &to;
    }
};

}  // namespace

TreeValueOps &TreeTclValueOps() noexcept {
    static TclValueOps ops;
    return ops;
}

}  // namespace kelb

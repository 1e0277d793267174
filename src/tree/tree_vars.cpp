// tree_vars.cpp --
//
//     Variable records made by hand, and the calls that run Tcl's own
//     variable machinery on them. The only file of the tree store that
//     includes Tcl's private headers.

#include "tree/tree_vars.h"

#include <tclInt.h>
#include <tclCompile.h>

#include <cstddef>
#include <cstring>
#include <new>

namespace kelb {

struct VarTable {
    TclVarHashTable table;    // first: a variable's entry leads here
    Tcl_Obj *name = nullptr;  // the key every variable shows ("")
    void *owner = nullptr;
};

namespace {

// A trace that sets its variable again each time it is unset is given up
// on after this many unsets; the variable is then left to Tcl.
constexpr int kMaxUnsets = 8;

Var *AsVar(Tcl_Var var) noexcept { return reinterpret_cast<Var *>(var); }

// Where a variable's extra bytes begin.
constexpr std::size_t kExtraOffset =
    (sizeof(VarInHash) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) *
    alignof(std::max_align_t);

// The variable being retired while its C link is removed by name; only
// ever set for the length of that call.
struct {
    Tcl_Interp *interp;
    Var *var;
} retiring = {nullptr, nullptr};

// Holds an interpreter and one of its variables for the length of a call
// that runs traces there. The variable's count is dropped first (Tcl
// frees it then if it was retired meanwhile), the interpreter last (its
// deletion, if a trace asked for it, happens then).
class CallHold {
public:
    CallHold(Tcl_Interp *interp, Var *var) noexcept : interp_(interp), var_(var) {
        Tcl_Preserve(interp_);
        VarHashRefCount(var_)++;
    }
    ~CallHold() {
        VarHashRefCount(var_)--;
        TclCleanupVar(var_, nullptr);
        Tcl_Release(interp_);
    }
    CallHold(const CallHold &) = delete;
    CallHold &operator=(const CallHold &) = delete;

private:
    Tcl_Interp *interp_;
    Var *var_;
};

Tcl_Obj *ScalarValue(const Var *var) noexcept {
    if (var->flags & (VAR_ARRAY | VAR_LINK)) return nullptr;
    return var->value.objPtr;
}

bool StillSet(const Var *var) noexcept { return !TclIsVarUndefined(var) || TclIsVarTraced(var); }

// Removes a C link on the variable and unsets it, in its interpreter,
// until it stays unset. Returns false if a trace keeps setting it again.
bool UnsetForGood(Tcl_Interp *interp, Var *var, Tcl_Obj *name) {
    const ObjRef noName(name == nullptr ? Tcl_NewObj() : nullptr);
    if (name == nullptr) name = noName.get();
    CallHold hold(interp, var);
    if (TclIsVarTraced(var)) {
        // A C link sets its variable again by name when unset; remove it
        // while a name still leads to this variable.
        retiring = {interp, var};
        Tcl_UnlinkVar(interp, kRetiringVarName);
        retiring = {nullptr, nullptr};
    }
    for (int i = 0; i < kMaxUnsets && StillSet(var); ++i) {
        TclPtrUnsetVar(interp, reinterpret_cast<Tcl_Var>(var), nullptr, name, nullptr,
                       TCL_GLOBAL_ONLY);
    }
    return !StillSet(var);
}

}  // namespace

VarTable *VarTableCreate(Tcl_Interp *interp, void *owner) {
    auto *table = new VarTable;
    table->owner = owner;
    TclInitVarHashTable(&table->table, reinterpret_cast<Namespace *>(Tcl_GetGlobalNamespace(interp)));
    table->name = Tcl_NewObj();
    Tcl_IncrRefCount(table->name);
    return table;
}

void VarTableDelete(VarTable *table) noexcept {
    Tcl_DeleteHashTable(&table->table.table);
    Tcl_DecrRefCount(table->name);
    delete table;
}

// A VarInHash, since only those are counted by Tcl, in no hash table: Tcl
// reaches the entry only for the namespace (through tablePtr, the empty
// table) and for the name "namespace which" shows (the shared empty
// key), and deletes entries only of records it counts as unused, which
// ours never are while the maker holds its two counts.
//
// The maker's bytes follow the record: Tcl frees a record with ckfree on
// its start, which releases them too. Tcl's allocator rounds requests up
// to a power of two, so a small tail costs nothing beyond the record.
Tcl_Var VarCreate(VarTable *table, std::size_t extraSize) noexcept {
    auto *record = static_cast<VarInHash *>(ckalloc(kExtraOffset + extraSize));
    record->var.flags = VAR_IN_HASHTABLE;
    record->var.value.objPtr = nullptr;
    record->refCount = 2;
    record->entry.nextPtr = nullptr;
    record->entry.tablePtr = &table->table.table;
    record->entry.hash = {};
    record->entry.clientData = record;
    record->entry.key.objPtr = table->name;
    return reinterpret_cast<Tcl_Var>(&record->var);
}

void *VarTableOwner(Tcl_Var var) noexcept {
    static_assert(offsetof(VarTable, table) == 0 && offsetof(TclVarHashTable, table) == 0);
    const auto *entry = &reinterpret_cast<const VarInHash *>(var)->entry;
    return reinterpret_cast<const VarTable *>(entry->tablePtr)->owner;
}

void *VarExtra(Tcl_Var var) noexcept { return reinterpret_cast<char *>(var) + kExtraOffset; }

Tcl_Var VarOfExtra(const void *extra) noexcept {
    return reinterpret_cast<Tcl_Var>(const_cast<char *>(static_cast<const char *>(extra)) - kExtraOffset);
}

void VarPin(Tcl_Var var) noexcept { VarHashRefCount(AsVar(var))++; }

void VarUnpin(Tcl_Var var) noexcept {
    VarHashRefCount(AsVar(var))--;
    TclCleanupVar(AsVar(var), nullptr);
}

Tcl_Obj *VarValue(Tcl_Var var) noexcept { return ScalarValue(AsVar(var)); }

bool VarIsUndefined(Tcl_Var var) noexcept { return TclIsVarUndefined(AsVar(var)); }

bool VarIsRetired(Tcl_Var var) noexcept { return TclIsVarDeadHash(AsVar(var)); }

bool VarIsTraced(Tcl_Var var) noexcept { return TclIsVarTraced(AsVar(var)); }

bool VarSetQuietly(Tcl_Var handle, Tcl_Obj *obj) noexcept {
    Var *var = AsVar(handle);
    if (TclIsVarTraced(var) || (var->flags & (VAR_ARRAY | VAR_LINK | VAR_DEAD_HASH))) return false;
    Tcl_Obj *old = var->value.objPtr;
    var->value.objPtr = obj;
    Tcl_IncrRefCount(obj);
    if (old != nullptr) Tcl_DecrRefCount(old);
    return true;
}

void VarSetRaw(Tcl_Var handle, Tcl_Obj *obj) noexcept {
    Var *var = AsVar(handle);
    if (var->flags & (VAR_ARRAY | VAR_LINK)) return;
    if (obj != nullptr) Tcl_IncrRefCount(obj);
    if (var->value.objPtr != nullptr) Tcl_DecrRefCount(var->value.objPtr);
    var->value.objPtr = obj;
}

void VarTraceLast(Tcl_Interp *interp, Tcl_Var handle, Tcl_VarTraceProc *proc, ClientData clientData,
                  int flags) {
    Var *var = AsVar(handle);
    Interp *iPtr = reinterpret_cast<Interp *>(interp);
    auto *trace = static_cast<VarTrace *>(ckalloc(sizeof(VarTrace)));
    trace->traceProc = proc;
    trace->clientData = clientData;
    trace->flags = flags;
    trace->nextPtr = nullptr;
    int isNew = 0;
    Tcl_HashEntry *entry = Tcl_CreateHashEntry(&iPtr->varTraces, reinterpret_cast<char *>(var), &isNew);
    if (isNew) {
        Tcl_SetHashValue(entry, trace);
    } else {
        auto *last = static_cast<VarTrace *>(Tcl_GetHashValue(entry));
        while (last->nextPtr != nullptr) last = last->nextPtr;
        last->nextPtr = trace;
    }
    var->flags |= flags & VAR_ALL_TRACES;
}

ObjRef VarSet(Tcl_Interp *interp, Tcl_Var handle, Tcl_Obj *name, Tcl_Obj *obj, bool leaveError,
              bool &refused) {
    Var *var = AsVar(handle);
    CallHold hold(interp, var);
    refused = TclPtrSetVar(interp, handle, nullptr, name, nullptr, obj,
                           TCL_GLOBAL_ONLY | (leaveError ? TCL_LEAVE_ERR_MSG : 0)) == nullptr;
    return ObjRef(ScalarValue(var));
}

void VarUnset(Tcl_Interp *interp, Tcl_Var handle, Tcl_Obj *name) {
    CallHold hold(interp, AsVar(handle));
    TclPtrUnsetVar(interp, handle, nullptr, name, nullptr, TCL_GLOBAL_ONLY);
}

namespace {

// Unsets a scalar as Tcl would, without calling into the interpreter.
void DropScalarValue(Var *var) noexcept {
    if (var->flags & (VAR_ARRAY | VAR_LINK)) return;
    if (var->value.objPtr != nullptr) Tcl_DecrRefCount(var->value.objPtr);
    var->value.objPtr = nullptr;
}

// As Tcl does when it deletes the entry of a variable still in use: the
// variable is dead, and freed when the last count goes.
void DropMakersCounts(Var *var) noexcept {
    var->flags |= VAR_DEAD_HASH;
    VarHashRefCount(var) -= 2;
    TclCleanupVar(var, nullptr);
}

}  // namespace

void VarRetire(Tcl_Interp *interp, Tcl_Var handle, Tcl_Obj *name) {
    Var *var = AsVar(handle);
    if (!TclIsVarTraced(var) && !(var->flags & (VAR_ARRAY | VAR_LINK))) {
        // Nothing watches it.
        DropScalarValue(var);
    } else if (!UnsetForGood(interp, var, name)) {
        return;
    }
    DropMakersCounts(var);
}

void VarAbandon(Tcl_Var handle) noexcept {
    Var *var = AsVar(handle);
    DropScalarValue(var);
    DropMakersCounts(var);
}

Tcl_Var VarRetiringTarget(Tcl_Interp *interp, const char *name) noexcept {
    if (retiring.var == nullptr || interp != retiring.interp) return nullptr;
    return std::strcmp(name, kRetiringVarName) == 0 ? reinterpret_cast<Tcl_Var>(retiring.var) : nullptr;
}

namespace {

// The compile procedure "global" had before it was wrapped; the same in
// every interpreter and thread of the process.
// Owned by the module; written once by the store's owning thread, read by it.
CompileProc *originalGlobalCompile = nullptr;

int CompileGlobal(Tcl_Interp *interp, Tcl_Parse *parsePtr, Command *cmdPtr,
                  CompileEnv *envPtr) noexcept {
    const Tcl_Token *token = parsePtr->tokenPtr;
    for (int word = 0; word < parsePtr->numWords; ++word) {
        if (word > 0 && token->type == TCL_TOKEN_SIMPLE_WORD && token[1].size > 0 &&
            token[1].start[0] == '/') {
            return TCL_ERROR;
        }
        token += token->numComponents + 1;
    }
    return originalGlobalCompile(interp, parsePtr, cmdPtr, envPtr);
}

}  // namespace

namespace {

// The fetcher of compiled locals; the same in every interpreter.
// Owned by the module; written and read by the store's owning thread.
VarLocalFetcher localFetcher = nullptr;

// What the compiled-variable resolver leaves with Tcl for one local.
struct CompiledName : Tcl_ResolvedVarInfo {
    std::string name;
};

Tcl_Var FetchCompiled(Tcl_Interp *interp, Tcl_ResolvedVarInfo *info) noexcept {
    return localFetcher(interp, static_cast<CompiledName *>(info)->name);
}

void DeleteCompiled(Tcl_ResolvedVarInfo *info) noexcept { delete static_cast<CompiledName *>(info); }

// Syntax: Tcl_ResolveCompiledVarProc.
int CompiledVarResolver(Tcl_Interp *, const char *name, TclSize length, Tcl_Namespace *,
                        Tcl_ResolvedVarInfo **rPtr) noexcept {
    if (length < 1 || name[0] != '/') return TCL_CONTINUE;
    auto *info = new (std::nothrow) CompiledName;
    if (info == nullptr) return TCL_CONTINUE;
    try {
        info->name.assign(name, static_cast<std::size_t>(length));
    } catch (...) {
        delete info;
        return TCL_CONTINUE;
    }
    info->fetchProc = FetchCompiled;
    info->deleteProc = DeleteCompiled;
    *rPtr = info;
    return TCL_OK;
}

void WrapGlobalCompile(Tcl_Interp *interp) noexcept {
    auto *command = reinterpret_cast<Command *>(
        Tcl_FindCommand(interp, "::global", nullptr, TCL_GLOBAL_ONLY));
    if (command == nullptr || command->compileProc == nullptr ||
        command->compileProc == CompileGlobal) {
        return;
    }
    if (originalGlobalCompile == nullptr) originalGlobalCompile = command->compileProc;
    // Only the compiler Tcl itself installed is wrapped; a replacement
    // someone else made is left alone.
    if (command->compileProc == originalGlobalCompile) command->compileProc = CompileGlobal;
}

}  // namespace

void VarInstallResolvers(Tcl_Interp *interp, const char *resolverName, VarNameResolver resolve,
                         VarLocalFetcher fetch) noexcept {
    localFetcher = fetch;
    Tcl_AddInterpResolvers(interp, resolverName, nullptr, resolve, CompiledVarResolver);
    WrapGlobalCompile(interp);
}

}  // namespace kelb

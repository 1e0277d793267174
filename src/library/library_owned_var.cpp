// library_owned_var.cpp --
//
//     The one place where the library looks inside Tcl's private records
//     (tclInt.h): a variable's, to learn whether a caller's list may be
//     changed in place without being stored back, as Tcl's own bytecode
//     does for a variable that nothing watches. The list itself is then
//     changed through Tcl's public list calls only.
//
//     Fully qualified names ("::s", "::ns::s") and a procedure's locals
//     that are not compiled remember the variable record Tcl's lookup
//     found for them, as a compiled local's name remembers its index:
//     stacks and queues mostly live in globals and namespaces, and the
//     full lookup costs more than a push or a pop.

#include "library/library_vars.h"

#include <tclInt.h>

#include <atomic>
#include <cstdint>
#include <cstring>

namespace kelb {

namespace {

// A variable name remembering the record it named, in a namespace's table
// (a name starting with "::") or in a procedure frame's table of locals
// that are not compiled (an unqualified name). The record is the one in
// the table, before any link (upvar) is followed, since a link may be
// pointed elsewhere later. The name holds a reference to the record, as
// an upvar link does, so the record outlives an unset, the end of its
// frame, the deletion of its namespace or of its interpreter: it is then
// marked dead, or its namespace dying, and it is no longer used. A copy
// of the name keeps only its text.
void ReleaseRememberedName(Tcl_Obj *name) {
    Var *held = static_cast<Var *>(name->internalRep.twoPtrValue.ptr1);
    VarHashRefCount(held)--;
    TclCleanupVar(held, nullptr);
}

void CopyRememberedName(Tcl_Obj *, Tcl_Obj *) {}

const Tcl_ObjType kRememberedNameType = {"kelbRememberedVarName", ReleaseRememberedName,
                                         CopyRememberedName, nullptr, nullptr,
#ifdef TCL_OBJTYPE_V0
                                         TCL_OBJTYPE_V0
#endif
};

// Makes name remember held, a live record in a table.
void Remember(Tcl_Obj *name, Var *held) {
    VarHashRefCount(held)++;
    if (name->typePtr != nullptr && name->typePtr->freeIntRepProc != nullptr) {
        name->typePtr->freeIntRepProc(name);
    }
    name->typePtr = &kRememberedNameType;
    name->internalRep.twoPtrValue.ptr1 = held;
    name->internalRep.twoPtrValue.ptr2 = nullptr;
}

// The record remembered on name while Tcl's lookup in interp's current
// frame would still find it there: still in its table, and the table
// that of a namespace of interp that is not being deleted (qualified), or
// the current frame's own (not qualified). A namespace cannot be renamed,
// so one that lives keeps the qualified name it was found by; a frame's
// compiled locals, which a lookup tries before its table, are fixed for
// its life.
Var *Remembered(Tcl_Interp *interp, Tcl_Obj *name, bool qualified) {
    if (name->typePtr != &kRememberedNameType) return nullptr;
    Var *held = static_cast<Var *>(name->internalRep.twoPtrValue.ptr1);
    if (TclIsVarDeadHash(held)) return nullptr;
    auto *table = reinterpret_cast<TclVarHashTable *>(
        reinterpret_cast<VarInHash *>(held)->entry.tablePtr);
    Namespace *space = table->nsPtr;
    if (!qualified) {
        CallFrame *frame = reinterpret_cast<Interp *>(interp)->varFramePtr;
        return space == nullptr && table == frame->varTablePtr ? held : nullptr;
    }
    if (space == nullptr || space->interp != interp || (space->flags & (NS_DYING | NS_DEAD))) {
        return nullptr;
    }
    return held;
}

// Asks the resolvers of the caller's namespace and of the interpreter
// about the variable named text, as Tcl's lookup does before any table:
// TCL_CONTINUE when none claims it, else TCL_OK with *claimed or
// TCL_ERROR.
int AskResolvers(Tcl_Interp *interp, const char *text, Var **claimed) {
    auto *iPtr = reinterpret_cast<Interp *>(interp);
    Namespace *context = iPtr->varFramePtr->nsPtr;
    auto *contextToken = reinterpret_cast<Tcl_Namespace *>(context);
    int claim = TCL_CONTINUE;
    Tcl_Var var = nullptr;
    if (context->varResProc != nullptr) {
        claim = context->varResProc(interp, text, contextToken, 0, &var);
    }
    for (ResolverScheme *scheme = iPtr->resolverPtr; claim == TCL_CONTINUE && scheme != nullptr;
         scheme = scheme->nextPtr) {
        if (scheme->varResProc != nullptr) {
            claim = scheme->varResProc(interp, text, contextToken, 0, &var);
        }
    }
    *claimed = reinterpret_cast<Var *>(var);
    return claim;
}

// The caller's variable with a name that starts with "::", found as Tcl's
// lookup finds it: the resolvers first, every time, and the name's
// namespace table only when none of them claims it. Links are not
// followed.
Var *LookupQualified(Tcl_Interp *interp, Tcl_Obj *name, const char *text) {
    Var *claimed;
    int claim = AskResolvers(interp, text, &claimed);
    if (claim == TCL_OK) return claimed;
    if (claim != TCL_CONTINUE) return nullptr;
    if (Var *held = Remembered(interp, name, true)) return held;
    auto *found = reinterpret_cast<Var *>(Tcl_FindNamespaceVar(
        interp, text, nullptr, TCL_GLOBAL_ONLY | TCL_AVOID_RESOLVERS));
    if (found != nullptr && TclIsVarInHash(found) && !TclIsVarDeadHash(found)) {
        Remember(name, found);
    }
    return found;
}

// The variable a link (upvar, global) leads to; variable itself when it is
// no link, nullptr for nullptr.
Var *FollowLinks(Var *variable) {
    while (variable != nullptr && TclIsVarLink(variable)) variable = variable->value.linkPtr;
    return variable;
}

// Whether name, of text text, would be taken by Tcl's lookup for a
// scalar: no closing parenthesis last, which would make it an element.
bool IsScalarName(Tcl_Obj *name, const char *text) {
    return name->length > 0 && text[name->length - 1] != ')';
}

bool IsQualifiedScalarName(Tcl_Obj *name, const char *text) {
    return text[0] == ':' && text[1] == ':' && IsScalarName(name, text);
}

// A local of the caller's procedure that is not compiled, through the
// record name remembers, after the resolvers as in LookupQualified (links
// followed); nullptr when there is none to trust, and a full lookup must
// answer.
Var *RememberedLocal(Tcl_Interp *interp, Tcl_Obj *name, const char *text) {
    if (name->typePtr != &kRememberedNameType) return nullptr;
    Var *claimed;
    int claim = AskResolvers(interp, text, &claimed);
    if (claim == TCL_OK) return FollowLinks(claimed);
    if (claim != TCL_CONTINUE) return nullptr;
    return FollowLinks(Remembered(interp, name, false));
}

// After a full lookup found variable for name in the caller's procedure,
// makes name remember it when it is a local in the frame's table.
void RememberLocal(Tcl_Interp *interp, Tcl_Obj *name, const char *text, Var *variable) {
    CallFrame *frame = reinterpret_cast<Interp *>(interp)->varFramePtr;
    if (variable == nullptr || !(frame->isProcCallFrame & FRAME_IS_PROC) ||
        frame->varTablePtr == nullptr || !IsScalarName(name, text) ||
        std::strstr(text, "::") != nullptr) {
        return;
    }
    Var *found = TclVarHashCreateVar(frame->varTablePtr, text, nullptr);
    if (found != nullptr && !TclIsVarDeadHash(found) && FollowLinks(found) == variable) {
        Remember(name, found);
    }
}

// Tcl's type for a variable name that caches the index of a procedure's
// compiled local, which Tcl does not register: learnt from the first name
// a lookup gives it. The same pointer in every thread. Owned by the
// module; stored and read by any thread, relaxed.
std::atomic<const Tcl_ObjType *> localNameType{nullptr};

// Whether a lookup just made name a compiled local's, learning the type.
bool IsCompiledLocalName(Tcl_Obj *name) {
    if (name->typePtr == nullptr) return false;
    const Tcl_ObjType *known = localNameType.load(std::memory_order_relaxed);
    if (known != nullptr) return name->typePtr == known;
    if (std::strcmp(name->typePtr->name, "localVarName") != 0) return false;
    localNameType.store(name->typePtr, std::memory_order_relaxed);
    return true;
}

// The caller's variable named name, as TclObjLookupVar finds it with no
// flags and no creation (links followed; *array set for an element).
//
// The library's commands run once per queue or stack operation, and the
// general call costs more than their work, so a repeated name is found
// the quick way Tcl's own bytecode finds it. A name that Tcl has cached
// as the caller's compiled local is resolved here as Tcl's own lookup
// resolves it, by the index kept in the name once the name is checked
// against the frame's (Tcl 9 does this itself). A qualified name, and a
// local outside the compiled ones, are resolved through the record they
// remember.
Var *LookupCallerVar(Tcl_Interp *interp, Tcl_Obj *name, const char *text, Var **array) {
    *array = nullptr;
#if TCL_MAJOR_VERSION < 9
    const Tcl_ObjType *cachedType = localNameType.load(std::memory_order_relaxed);
    if (cachedType != nullptr && name->typePtr == cachedType) {
        CallFrame *frame = reinterpret_cast<Interp *>(interp)->varFramePtr;
        auto index = reinterpret_cast<std::intptr_t>(name->internalRep.twoPtrValue.ptr2);
        if ((frame->isProcCallFrame & FRAME_IS_PROC) && index >= 0 &&
            index < frame->numCompiledLocals) {
            // The index holds for the frame whose local has this very
            // name object (or the one the name keeps), as in Tcl.
            auto *kept = static_cast<Tcl_Obj *>(name->internalRep.twoPtrValue.ptr1);
            if (localName(frame, index) == (kept != nullptr ? kept : name)) {
                return FollowLinks(&frame->compiledLocals[index]);
            }
        }
    }
#endif
    if (IsQualifiedScalarName(name, text)) return FollowLinks(LookupQualified(interp, name, text));
    if (Var *local = RememberedLocal(interp, name, text)) return local;
    Var *variable = TclObjLookupVar(interp, name, nullptr, 0, "read", 0, 0, array);
    if (*array == nullptr && !IsCompiledLocalName(name)) {
        RememberLocal(interp, name, text, variable);
    }
    return variable;
}

}  // namespace

Tcl_Obj *OwnedCallerValue(Tcl_Interp *interp, Tcl_Obj *name) {
    // Node addresses are the tree store's: their values are kept in step
    // across interpreters by its own traces, and are always stored.
    const char *text = name->bytes != nullptr ? name->bytes : Tcl_GetString(name);
    if (text[0] == '/') return nullptr;
    // A quiet lookup that leaves nothing behind. Links (upvar, global)
    // are followed to the variable they name.
    Var *array;
    Var *variable = LookupCallerVar(interp, name, text, &array);
    if (variable == nullptr || !TclIsVarScalar(variable) || TclIsVarUndefined(variable) ||
        TclIsVarTraced(variable) || (array != nullptr && TclIsVarTraced(array))) {
        return nullptr;
    }
    Tcl_Obj *value = variable->value.objPtr;
    return Tcl_IsShared(value) ? nullptr : value;
}

}  // namespace kelb

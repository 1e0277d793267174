// library_owned_var.cpp --
//
//     The one place where the library looks inside Tcl's private records
//     (tclInt.h): a variable's, to learn whether a caller's list may be
//     changed in place without being stored back, as Tcl's own bytecode
//     does for a variable that nothing watches; and, in Tcl 8, a list's, to
//     shorten or refill one that nothing else holds without the general
//     Tcl_ListObjReplace, whose checks cost more than the change itself.

#include "library/library_vars.h"

#include <tclInt.h>

#include <atomic>
#include <cstdint>
#include <cstring>

namespace kelb {

namespace {

// Tcl's list type, which Tcl does not export: looked up by name once, at
// the first load. The same pointer in every thread.
std::atomic<const Tcl_ObjType *> listType{nullptr};

#if TCL_MAJOR_VERSION < 9
// Tcl's type for a variable name that caches the index of a procedure's
// compiled local, which Tcl does not register: learnt from the first name
// a lookup gives it. The same pointer in every thread.
std::atomic<const Tcl_ObjType *> localNameType{nullptr};
#endif

// The caller's variable named name, as TclObjLookupVar finds it with no
// flags and no creation (links followed; *array set for an element).
//
// A name that Tcl has cached as the caller's compiled local is resolved
// here as Tcl's own lookup resolves it, by the index kept in the name
// once the name is checked against the frame's: the library's commands
// run once per queue or stack operation, and the general call costs
// more than their work.
Var *LookupCallerVar(Tcl_Interp *interp, Tcl_Obj *name, Var **array) {
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
                Var *variable = &frame->compiledLocals[index];
                while (TclIsVarLink(variable)) variable = variable->value.linkPtr;
                return variable;
            }
        }
    }
    Var *variable = TclObjLookupVar(interp, name, nullptr, 0, "read", 0, 0, array);
    if (cachedType == nullptr && name->typePtr != nullptr &&
        std::strcmp(name->typePtr->name, "localVarName") == 0) {
        localNameType.store(name->typePtr, std::memory_order_relaxed);
    }
    return variable;
#else
    return TclObjLookupVar(interp, name, nullptr, 0, "read", 0, 0, array);
#endif
}

// The list storage of list when both the object and its storage are held
// by nobody else, else nullptr.
#if TCL_MAJOR_VERSION < 9
List *OwnedListRep(Tcl_Obj *list) {
    if (Tcl_IsShared(list) || list->typePtr == nullptr ||
        list->typePtr != listType.load(std::memory_order_relaxed)) {
        return nullptr;
    }
    List *rep = ListRepPtr(list);
    return rep->refCount > 1 ? nullptr : rep;
}

// Copies count element pointers to to from from (the ranges may overlap,
// with to below from). A queue moves a few at a time: a plain loop then
// costs less than the call to memmove.
void MoveElements(Tcl_Obj **to, Tcl_Obj *const *from, TclSize count) {
    constexpr TclSize kLoopLimit = 16;
    if (count > kLoopLimit) {
        std::memmove(to, from, static_cast<std::size_t>(count) * sizeof(Tcl_Obj *));
        return;
    }
    for (TclSize i = 0; i < count; ++i) to[i] = from[i];
}

// Drops the text of list, to be rebuilt from its elements when asked for.
void DropText(Tcl_Obj *list) {
    if (list->bytes != nullptr) Tcl_InvalidateStringRep(list);
}
#endif

}  // namespace

void OwnedListInit() {
    if (listType.load(std::memory_order_relaxed) == nullptr) {
        listType.store(Tcl_GetObjType("list"), std::memory_order_relaxed);
    }
}

bool KeepOwnedRange(Tcl_Obj *list, TclSize first, TclSize end) {
#if TCL_MAJOR_VERSION < 9
    List *rep = OwnedListRep(list);
    if (rep == nullptr || first < 0 || first >= end || end > rep->elemCount) return false;
    Tcl_Obj **elements = &rep->elements;
    for (TclSize i = end; i < rep->elemCount; ++i) Tcl_DecrRefCount(elements[i]);
    for (TclSize i = 0; i < first; ++i) Tcl_DecrRefCount(elements[i]);
    if (first > 0) MoveElements(elements, elements + first, end - first);
    rep->elemCount = end - first;
    DropText(list);
    return true;
#else
    (void)list, (void)first, (void)end;
    return false;
#endif
}

bool FillOwnedList(Tcl_Obj *list, TclSize count, Tcl_Obj *const elements[]) {
#if TCL_MAJOR_VERSION < 9
    List *rep = OwnedListRep(list);
    if (rep == nullptr || count > rep->maxElemCount) return false;
    // The new elements are counted before the old are let go: they may be
    // the same objects.
    for (TclSize i = 0; i < count; ++i) Tcl_IncrRefCount(elements[i]);
    Tcl_Obj **slots = &rep->elements;
    for (TclSize i = 0; i < rep->elemCount; ++i) Tcl_DecrRefCount(slots[i]);
    MoveElements(slots, elements, count);
    rep->elemCount = count;
    DropText(list);
    return true;
#else
    (void)list, (void)count, (void)elements;
    return false;
#endif
}

bool AppendOwnedElement(Tcl_Obj *list, Tcl_Obj *element) {
#if TCL_MAJOR_VERSION < 9
    List *rep = OwnedListRep(list);
    if (rep == nullptr || rep->elemCount >= rep->maxElemCount) return false;
    Tcl_IncrRefCount(element);
    (&rep->elements)[rep->elemCount] = element;
    ++rep->elemCount;
    DropText(list);
    return true;
#else
    (void)list, (void)element;
    return false;
#endif
}

bool MoveOwnedHead(Tcl_Obj *stack, Tcl_Obj *line, TclSize count) {
#if TCL_MAJOR_VERSION < 9
    if (stack == line) return false;
    List *from = OwnedListRep(stack);
    List *to = OwnedListRep(line);
    if (from == nullptr || to == nullptr || count <= 0 || count >= from->elemCount ||
        count > to->maxElemCount) {
        return false;
    }
    // The moved elements keep their counts: the one stack held passes to
    // line. An old element of line that is also moved is held by stack as
    // well, so letting it go frees nothing still needed.
    Tcl_Obj **slots = &to->elements;
    for (TclSize i = 0; i < to->elemCount; ++i) Tcl_DecrRefCount(slots[i]);
    Tcl_Obj **elements = &from->elements;
    MoveElements(slots, elements, count);
    to->elemCount = count;
    MoveElements(elements, elements + count, from->elemCount - count);
    from->elemCount -= count;
    DropText(line);
    DropText(stack);
    return true;
#else
    (void)stack, (void)line, (void)count;
    return false;
#endif
}

Tcl_Obj *OwnedCallerValue(Tcl_Interp *interp, Tcl_Obj *name) {
    // Node addresses are the tree store's: their values are kept in step
    // across interpreters by its own traces, and are always stored.
    const char *text = name->bytes != nullptr ? name->bytes : Tcl_GetString(name);
    if (text[0] == '/') return nullptr;
    // A quiet lookup that leaves nothing behind. Links (upvar, global)
    // are followed to the variable they name.
    Var *array;
    Var *variable = LookupCallerVar(interp, name, &array);
    if (variable == nullptr || !TclIsVarScalar(variable) || TclIsVarUndefined(variable) ||
        TclIsVarTraced(variable) || (array != nullptr && TclIsVarTraced(array))) {
        return nullptr;
    }
    Tcl_Obj *value = variable->value.objPtr;
    return Tcl_IsShared(value) ? nullptr : value;
}

}  // namespace kelb

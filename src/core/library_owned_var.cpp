// library_owned_var.cpp --
//
//     The one place where the library looks inside Tcl's private records
//     (tclInt.h): a variable's, to learn whether a caller's list may be
//     changed in place without being stored back, as Tcl's own bytecode
//     does for a variable that nothing watches; and, in Tcl 8, a list's, to
//     shorten or refill one that nothing else holds without the general
//     Tcl_ListObjReplace, whose checks cost more than the change itself.

#include "core/library_vars.h"

#include <tclInt.h>

#include <atomic>
#include <cstring>

namespace kelb {

namespace {

// Tcl's list type, which Tcl does not export: looked up by name once, at
// the first load. The same pointer in every thread.
std::atomic<const Tcl_ObjType *> listType{nullptr};

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
    if (first > 0) {
        std::memmove(elements, elements + first,
                     static_cast<std::size_t>(end - first) * sizeof(Tcl_Obj *));
    }
    rep->elemCount = end - first;
    Tcl_InvalidateStringRep(list);
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
    std::memcpy(slots, elements, static_cast<std::size_t>(count) * sizeof(Tcl_Obj *));
    rep->elemCount = count;
    Tcl_InvalidateStringRep(list);
    return true;
#else
    (void)list, (void)count, (void)elements;
    return false;
#endif
}

Tcl_Obj *OwnedCallerValue(Tcl_Interp *interp, Tcl_Obj *name) {
    // Node addresses are the tree store's: their values are kept in step
    // across interpreters by its own traces, and are always stored.
    const char *text = name->bytes != nullptr ? name->bytes : Tcl_GetString(name);
    if (text[0] == '/') return nullptr;
    Var *array = nullptr;
    // Flags 0 and no creation: a quiet lookup that leaves nothing behind.
    // Links (upvar, global) are followed to the variable they name.
    Var *variable = TclObjLookupVar(interp, name, nullptr, 0, "read", 0, 0, &array);
    if (variable == nullptr || !TclIsVarScalar(variable) || TclIsVarUndefined(variable) ||
        TclIsVarTraced(variable) || (array != nullptr && TclIsVarTraced(array))) {
        return nullptr;
    }
    Tcl_Obj *value = variable->value.objPtr;
    return Tcl_IsShared(value) ? nullptr : value;
}

}  // namespace kelb

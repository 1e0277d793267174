// library_owned_var.cpp --
//
//     The one place where the library looks inside Tcl's private records
//     (tclInt.h): a variable's, to learn whether a caller's list may be
//     changed in place without being stored back, as Tcl's own bytecode
//     does for a variable that nothing watches. The list itself is then
//     changed through Tcl's public list calls only.

#include "library/library_vars.h"

#include <tclInt.h>

#include <atomic>
#include <cstdint>
#include <cstring>

namespace kelb {

namespace {

#if TCL_MAJOR_VERSION < 9
// Tcl's type for a variable name that caches the index of a procedure's
// compiled local, which Tcl does not register: learnt from the first name
// a lookup gives it. The same pointer in every thread. Owned by the
// module; stored and read by any thread, relaxed.
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

}  // namespace

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

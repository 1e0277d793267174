// library_stacks.cpp --
//
//     The stack and queue commands on a list held in a caller's variable:
//     lpush, lpop, lpeek and lfifo. A list that only its variable holds is
//     shortened in place, so popping and dequeuing cost no copy however
//     long the list; a shared one is copied, as Tcl's own commands do.

#include "library/library_commands.h"
#include "library/library_vars.h"
#include "core/tcl_support.h"

#include <algorithm>
#include <initializer_list>

namespace kelb {

namespace {

// Elements [first, end) of list, whose count elements are given; 0 <=
// first <= count and end <= count (an end before first gives no
// elements). An unshared list is cut down in place, a shared one left
// alone. Either way the text is that of a new list, as lrange's would be.
Tcl_Obj *Sublist(Tcl_Obj *list, TclSize count, Tcl_Obj *const elements[], TclSize first,
                 TclSize end) {
    end = std::max(end, first);
    if (Tcl_IsShared(list)) {
        return first == end ? Tcl_NewObj() : Tcl_NewListObj(end - first, elements + first);
    }
    if (first == end) {
        // Also for a list with no elements yet, whose value may still be
        // plain text ("" or blanks) without a list inside.
        Tcl_SetListObj(list, 0, nullptr);
        return list;
    }
    if (end < count) Tcl_ListObjReplace(nullptr, list, end, count - end, 0, nullptr);
    if (first > 0) Tcl_ListObjReplace(nullptr, list, 0, first, 0, nullptr);
    // A list by now, since it has elements: its text may go safely.
    Tcl_InvalidateStringRep(list);
    return list;
}

// Stores rest as the caller's stackvar, unless it is the list the variable
// owns (OwnedCallerValue), already changed in place.
int StoreRest(Tcl_Interp *interp, Tcl_Obj *stackName, Tcl_Obj *rest, bool owned) {
    if (owned) return TCL_OK;
    return SetCallerVar(interp, stackName, rest) ? TCL_OK : TCL_ERROR;
}

// Reads the caller's stackvar for a command that shortens it: *owned tells
// whether the list may be cut in place with nothing stored back.
VarRead ReadStack(Tcl_Interp *interp, Tcl_Obj *name, Tcl_Obj **stack, bool *owned) {
    *stack = OwnedCallerValue(interp, name);
    *owned = *stack != nullptr;
    return *owned ? VarRead::Value : ReadCallerVar(interp, name, stack);
}

// Sets the interpreter result to count, reusing the result object when
// only the interpreter holds it (as it does when a command starts).
void SetCountResult(Tcl_Interp *interp, TclSize count) {
    Tcl_Obj *result = Tcl_GetObjResult(interp);
    if (Tcl_IsShared(result)) {
        Tcl_SetObjResult(interp, Tcl_NewWideIntObj(count));
    } else {
        Tcl_SetWideIntObj(result, count);
    }
}

// Evaluates words as one command in the caller's frame and keeps its
// result in *result.
int EvalWords(Tcl_Interp *interp, std::initializer_list<Tcl_Obj *> words, ObjRef *result) {
    if (Tcl_EvalObjv(interp, static_cast<int>(words.size()), const_cast<Tcl_Obj **>(words.begin()),
                     0) != TCL_OK) {
        return TCL_ERROR;
    }
    *result = ObjRef(Tcl_GetObjResult(interp));
    Tcl_ResetResult(interp);
    return TCL_OK;
}

// A queue read length that needs no more than integer arithmetic: then
// the count to take is len clamped to the list.
constexpr Tcl_WideInt kPlainLengthLimit = Tcl_WideInt{1} << 30;

bool PlainLength(Tcl_Obj *lenObj, Tcl_WideInt *len) {
    if (lenObj == nullptr) {
        *len = 1;
        return true;
    }
    return Tcl_GetWideIntFromObj(nullptr, lenObj, len) == TCL_OK && *len >= -kPlainLengthLimit &&
           *len <= kPlainLengthLimit;
}

// lfifo with a len of any other kind, reckoned as the procedure did:
// [expr {$len - 1}] as the last index taken, one more as the first kept,
// both through lrange, so that every value gives Tcl's answer or error.
int LfifoByTcl(Tcl_Interp *interp, Tcl_Obj *stackName, Tcl_Obj *lineName, Tcl_Obj *stack,
               Tcl_Obj *lenObj) {
    ObjRef minus(Tcl_NewStringObj("::tcl::mathop::-", -1));
    ObjRef plus(Tcl_NewStringObj("::tcl::mathop::+", -1));
    ObjRef lrange(Tcl_NewStringObj("::lrange", -1));
    ObjRef zero(Tcl_NewIntObj(0));
    ObjRef one(Tcl_NewIntObj(1));
    ObjRef end(Tcl_NewStringObj("end", -1));
    ObjRef pinnedStack(stack), last, line, first, rest;
    if (EvalWords(interp, {minus.get(), lenObj, one.get()}, &last) != TCL_OK ||
        EvalWords(interp, {lrange.get(), stack, zero.get(), last.get()}, &line) != TCL_OK ||
        SetCallerVar(interp, lineName, line.get()) == nullptr) {
        return TCL_ERROR;
    }
    Tcl_Obj *left = Tcl_ObjGetVar2(interp, stackName, nullptr, TCL_LEAVE_ERR_MSG);
    if (left == nullptr) return TCL_ERROR;
    ObjRef pinnedLeft(left);
    if (EvalWords(interp, {plus.get(), last.get(), one.get()}, &first) != TCL_OK ||
        EvalWords(interp, {lrange.get(), left, first.get(), end.get()}, &rest) != TCL_OK) {
        return TCL_ERROR;
    }
    return SetCallerVar(interp, stackName, rest.get()) ? TCL_OK : TCL_ERROR;
}

// Makes line, the object the caller's linevar alone holds, the list of
// the count elements given, which belong to another list.
void ReplaceOwnedList(Tcl_Obj *line, TclSize count, Tcl_Obj *const elements[]) {
    TclSize old;
    if (Tcl_ListObjLength(nullptr, line, &old) == TCL_OK) {
        Tcl_ListObjReplace(nullptr, line, 0, old, count, elements);
    } else {
        Tcl_SetListObj(line, count, elements);
    }
}

// lfifo with a plain integer len; the stack's count elements are given.
int LfifoPlain(Tcl_Interp *interp, Tcl_Obj *stackName, Tcl_Obj *lineName, Tcl_Obj *stack,
               bool owned, Tcl_WideInt len, TclSize count, Tcl_Obj **elements) {
    TclSize take = static_cast<TclSize>(std::clamp<Tcl_WideInt>(len, 0, count));
    // An owned stack and an owned, distinct line: nothing needs storing, no
    // trace runs between the two, so the list stays as it was read.
    Tcl_Obj *line = owned ? OwnedCallerValue(interp, lineName) : nullptr;
    if (line != nullptr && line != stack) {
        ReplaceOwnedList(line, take, elements);
    } else {
        if (SetCallerVar(interp, lineName, Tcl_NewListObj(take, elements)) == nullptr) {
            return TCL_ERROR;
        }
        // Read again: linevar may be stackvar itself, or its traces may
        // have changed the list.
        stack = OwnedCallerValue(interp, stackName);
        owned = stack != nullptr;
        if (!owned) stack = Tcl_ObjGetVar2(interp, stackName, nullptr, TCL_LEAVE_ERR_MSG);
        if (stack == nullptr ||
            Tcl_ListObjGetElements(interp, stack, &count, &elements) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    TclSize drop = static_cast<TclSize>(std::clamp<Tcl_WideInt>(len, 0, count));
    return StoreRest(interp, stackName, Sublist(stack, count, elements, drop, count), owned);
}

}  // namespace

int LpushCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    Tcl_Obj *stack = OwnedCallerValue(interp, objv[1]);
    if (stack != nullptr) {
        if (Tcl_ListObjAppendElement(interp, stack, objv[2]) != TCL_OK) return TCL_ERROR;
    } else {
        stack = AppendCallerVar(interp, objv[1], objv[2]);
        if (stack == nullptr) return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, stack);
    return TCL_OK;
}

// Takes the last element off the caller's list stackvar. Returns it, or
// with a storevar stores it there and returns what is left, read back
// from stackvar (storevar may name stackvar itself). A missing stackvar
// gives an empty result.
int LpopCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    Tcl_Obj *stack;
    bool owned;
    switch (ReadStack(interp, objv[1], &stack, &owned)) {
    case VarRead::Failed: return TCL_ERROR;
    case VarRead::Missing: return TCL_OK;
    case VarRead::Value: break;
    }
    TclSize count;
    Tcl_Obj **elements;
    if (Tcl_ListObjGetElements(interp, stack, &count, &elements) != TCL_OK) return TCL_ERROR;
    ObjRef element(count > 0 ? elements[count - 1] : Tcl_NewObj());
    if (StoreRest(interp, objv[1], Sublist(stack, count, elements, 0, count - 1), owned) !=
        TCL_OK) {
        return TCL_ERROR;
    }
    if (objc < 3 || Tcl_GetString(objv[2])[0] == '\0') {
        Tcl_SetObjResult(interp, element.get());
        return TCL_OK;
    }
    if (SetCallerVar(interp, objv[2], element.get()) == nullptr) return TCL_ERROR;
    Tcl_Obj *left = Tcl_ObjGetVar2(interp, objv[1], nullptr, TCL_LEAVE_ERR_MSG);
    if (left == nullptr || Tcl_ListObjLength(interp, left, &count) != TCL_OK) return TCL_ERROR;
    SetCountResult(interp, count);
    return TCL_OK;
}

int LpeekCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    Tcl_Obj *stack;
    switch (ReadCallerVar(interp, objv[1], &stack)) {
    case VarRead::Failed: return TCL_ERROR;
    case VarRead::Missing: return MissingVarError(interp, objv[1]);
    case VarRead::Value: break;
    }
    TclSize count;
    Tcl_Obj **elements;
    if (Tcl_ListObjGetElements(interp, stack, &count, &elements) != TCL_OK) return TCL_ERROR;
    if (count > 0) Tcl_SetObjResult(interp, elements[count - 1]);
    return TCL_OK;
}

// Queue read: moves the first len elements of the caller's list stackvar
// into linevar. Returns the length the list had; an empty list changes
// nothing (and len is not looked at).
int LfifoCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    Tcl_Obj *stack;
    bool owned;
    switch (ReadStack(interp, objv[1], &stack, &owned)) {
    case VarRead::Failed: return TCL_ERROR;
    case VarRead::Missing: return MissingVarError(interp, objv[1]);
    case VarRead::Value: break;
    }
    // len is read first: it may be the stack's own object, which the read
    // would turn from a list into a number under the elements taken below.
    // Reading it reports nothing, and runs no script.
    Tcl_Obj *lenObj = objc > 3 ? objv[3] : nullptr;
    Tcl_WideInt len;
    bool plain = PlainLength(lenObj, &len);
    TclSize length;
    Tcl_Obj **elements;
    if (Tcl_ListObjGetElements(interp, stack, &length, &elements) != TCL_OK) return TCL_ERROR;
    if (length > 0) {
        int code = plain ? LfifoPlain(interp, objv[1], objv[2], stack, owned, len, length, elements)
                         : LfifoByTcl(interp, objv[1], objv[2], stack, lenObj);
        if (code != TCL_OK) return TCL_ERROR;
    }
    SetCountResult(interp, length);
    return TCL_OK;
}

}  // namespace kelb

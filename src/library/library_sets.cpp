// library_sets.cpp --
//
//     ladd, ldelete and lremove, which treat a list as a set and find
//     values as "lsearch -glob" does, and lreverse.

#include "library/library_commands.h"
#include "library/library_match.h"
#include "library/library_vars.h"
#include "core/tcl_support.h"

#include <algorithm>
#include <vector>

namespace kelb {

namespace {

// Removes from list the first element matching each of the values, taken
// in order against what the earlier values left. The result is list
// itself when nothing matched, so that its text is kept as it was; a
// list nobody else holds is changed in place (as Tcl's lreplace changes
// its own), any other is copied first. With no values the list is not
// even parsed, as the loop over no values never looked at it.
int DeleteFirstMatches(Tcl_Interp *interp, Tcl_Obj *list, int valueCount,
                       Tcl_Obj *const values[], ObjRef *result) {
    Tcl_Obj *current = list;
    ObjRef copy;
    for (int v = 0; v < valueCount; ++v) {
        TclSize count;
        Tcl_Obj **elements;
        if (Tcl_ListObjGetElements(interp, current, &count, &elements) != TCL_OK) {
            return TCL_ERROR;
        }
        TclSize index = ListMatcher(values[v]).FindIn(count, elements);
        if (index < 0) continue;
        if (Tcl_IsShared(current)) {
            copy = ObjRef(Tcl_DuplicateObj(current));
            current = copy.get();
        }
        Tcl_ListObjReplace(nullptr, current, index, 1, 0, nullptr);
    }
    *result = ObjRef(current);
    return TCL_OK;
}

// Tells in *found whether an element of list matches value. Fails, with
// Tcl's message, when list is no list.
int ListHasMatch(Tcl_Interp *interp, Tcl_Obj *list, Tcl_Obj *value, bool *found) {
    TclSize count;
    Tcl_Obj **elements;
    if (Tcl_ListObjGetElements(interp, list, &count, &elements) != TCL_OK) return TCL_ERROR;
    *found = ListMatcher(value).FindIn(count, elements) >= 0;
    return TCL_OK;
}

}  // namespace

// Adds VAL to the caller's list VAR unless an element matches it; a
// missing VAR is created. Returns the list after appending, or nothing.
int LaddCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    bool found = false;
    Tcl_Obj *list = OwnedCallerValue(interp, objv[1]);
    if (list != nullptr) {
        if (ListHasMatch(interp, list, objv[2], &found) != TCL_OK) return TCL_ERROR;
        if (found) return TCL_OK;
        // Appending to a list the variable owns needs no store.
        if (Tcl_ListObjAppendElement(interp, list, objv[2]) != TCL_OK) return TCL_ERROR;
        Tcl_SetObjResult(interp, list);
        return TCL_OK;
    }
    switch (ReadCallerVar(interp, objv[1], &list)) {
    case VarRead::Failed: return TCL_ERROR;
    case VarRead::Missing: break;
    case VarRead::Value:
        if (ListHasMatch(interp, list, objv[2], &found) != TCL_OK) return TCL_ERROR;
        if (found) return TCL_OK;
        break;
    }
    Tcl_Obj *added = AppendCallerVar(interp, objv[1], objv[2]);
    if (added == nullptr) return TCL_ERROR;
    Tcl_SetObjResult(interp, added);
    return TCL_OK;
}

int LdeleteCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    ObjRef result;
    if (DeleteFirstMatches(interp, objv[1], objc - 2, objv + 2, &result) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, result.get());
    return TCL_OK;
}

// Like ldelete on the caller's list VAR, written back even when nothing
// matched (write traces see it as before), unless the variable owns its
// list and nothing watches it. A missing VAR stays missing.
int LremoveCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    Tcl_Obj *list = OwnedCallerValue(interp, objv[1]);
    bool owned = list != nullptr;
    if (!owned) {
        switch (ReadCallerVar(interp, objv[1], &list)) {
        case VarRead::Failed: return TCL_ERROR;
        case VarRead::Missing: return TCL_OK;
        case VarRead::Value: break;
        }
    }
    ObjRef result;
    if (DeleteFirstMatches(interp, list, objc - 2, objv + 2, &result) != TCL_OK) {
        return TCL_ERROR;
    }
    if (owned && result.get() == list) return TCL_OK;
    return SetCallerVar(interp, objv[1], result.get()) ? TCL_OK : TCL_ERROR;
}

int LreverseCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    TclSize count;
    Tcl_Obj **elements;
    if (Tcl_ListObjGetElements(interp, objv[1], &count, &elements) != TCL_OK) return TCL_ERROR;
    std::vector<Tcl_Obj *> reversed(elements, elements + count);
    std::reverse(reversed.begin(), reversed.end());
    Tcl_SetObjResult(interp, Tcl_NewListObj(count, reversed.data()));
    return TCL_OK;
}

}  // namespace kelb

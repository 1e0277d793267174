// library_assign.cpp --
//
//     get, which reads a caller's variable that may not exist, lset, which
//     assigns list elements to the caller's variables, and
//     string.to.args, the option-list parser.

#include "library/library_commands.h"
#include "library/library_vars.h"
#include "core/tcl_support.h"

namespace kelb {

// Returns the caller's variable var, or nothing when it does not exist.
int GetCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    Tcl_Obj *value;
    switch (ReadCallerVar(interp, objv[1], &value)) {
    case VarRead::Failed: return TCL_ERROR;
    case VarRead::Missing: return TCL_OK;
    case VarRead::Value: break;
    }
    Tcl_SetObjResult(interp, value);
    return TCL_OK;
}

// Assigns element i of STRING to the caller's variable named by element i
// of VARS, for each index both lists have. Elements are fetched afresh for
// each assignment, since a trace may change what either list object holds.
int LsetCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    ObjRef values(objv[1]);
    ObjRef names(objv[2]);
    TclSize valueCount, nameCount;
    if (Tcl_ListObjLength(interp, values.get(), &valueCount) != TCL_OK ||
        Tcl_ListObjLength(interp, names.get(), &nameCount) != TCL_OK) {
        return TCL_ERROR;
    }
    for (TclSize i = 0; i < valueCount && i < nameCount; ++i) {
        Tcl_Obj *value, *name;
        if (Tcl_ListObjIndex(interp, values.get(), i, &value) != TCL_OK ||
            Tcl_ListObjIndex(interp, names.get(), i, &name) != TCL_OK) {
            return TCL_ERROR;
        }
        ObjRef pinnedValue(value), pinnedName(name);
        if (SetCallerVar(interp, name, value) == nullptr) return TCL_ERROR;
    }
    return TCL_OK;
}

// Parses an option-style word list into a dictionary, keys in the order
// they first appear: a word starting with "-" opens a key, the words up
// to the next such one are its value (a list). Words before the first
// option go under phyrst; the empty key is dropped at the end, so they are
// dropped too when phyrst is empty.
int StringToArgsCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    TclSize count;
    Tcl_Obj **words;
    if (Tcl_ListObjGetElements(interp, objv[1], &count, &words) != TCL_OK) return TCL_ERROR;
    ObjRef pinnedWords(objv[1]);
    ObjRef parsed(Tcl_NewDictObj());
    ObjRef key(objc > 2 ? objv[2] : Tcl_NewObj());
    ObjRef value(Tcl_NewObj());
    for (TclSize i = 0; i < count; ++i) {
        TclSize length;
        const char *text = Tcl_GetStringFromObj(words[i], &length);
        if (text[0] != '-') {
            Tcl_ListObjAppendElement(nullptr, value.get(), words[i]);
            continue;
        }
        Tcl_DictObjPut(nullptr, parsed.get(), key.get(), value.get());
        key = ObjRef(Tcl_NewStringObj(text + 1, length - 1));
        value = ObjRef(Tcl_NewObj());
    }
    Tcl_DictObjPut(nullptr, parsed.get(), key.get(), value.get());
    ObjRef emptyKey(Tcl_NewObj());
    Tcl_DictObjRemove(nullptr, parsed.get(), emptyKey.get());
    Tcl_SetObjResult(interp, parsed.get());
    return TCL_OK;
}

}  // namespace kelb

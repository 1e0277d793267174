// library_vars.h --
//
//     Access to the variables of the caller of a library command. A C
//     command runs in its caller's frame, so a name given to it is looked
//     up exactly as "upvar 1" would look it up there: locals, array
//     elements, qualified names, and tree node addresses, which go through
//     the tree store's variable resolver. Also the changes in place of a
//     list that only its variable holds.

#pragma once

#include <tcl.h>

#include "core/tcl_support.h"

namespace kelb {

// What reading a caller's variable found.
enum class VarRead {
    Value,    // the variable has a value
    Missing,  // "info exists" answers 0 for it: no error is left behind
    Failed,   // it exists but cannot be read; the error is in the result
};

// Reads the caller's variable named name; on VarRead::Value, *value is the
// variable's own object (not counted: it lives as long as the variable
// keeps it).
//
// A name that "info exists" does not see is missing, whatever the read
// reported: an unset variable or element, an element of a scalar, a
// variable of a namespace that does not exist, or a node address with no
// node or no value. Any other failure (an array, a read trace that fails)
// stays an error, with Tcl's message.
VarRead ReadCallerVar(Tcl_Interp *interp, Tcl_Obj *name, Tcl_Obj **value);

// Returns the object of the caller's variable named name when that
// variable alone holds it and nothing watches the variable: no trace on it
// or on its array (which also rules out linked C variables), and no node
// address. The caller may then change the object in place and need not
// store it back: no one could tell. Otherwise returns nullptr, reporting
// nothing; the caller then reads and stores through Tcl as usual.
Tcl_Obj *OwnedCallerValue(Tcl_Interp *interp, Tcl_Obj *name);

// Sets the caller's variable named name to value. Returns the object the
// variable then holds (a trace may have changed it), or nullptr with the
// error in the result.
Tcl_Obj *SetCallerVar(Tcl_Interp *interp, Tcl_Obj *name, Tcl_Obj *value);

// Appends element to the caller's list variable named name, creating it
// when missing, exactly as "lappend name element" does. Returns the new
// value, or nullptr with the error in the result.
Tcl_Obj *AppendCallerVar(Tcl_Interp *interp, Tcl_Obj *name, Tcl_Obj *element);

// Fails with Tcl's own message and code for reading a variable that does
// not exist: can't read "name": no such variable, {TCL LOOKUP VARNAME name}.
int MissingVarError(Tcl_Interp *interp, Tcl_Obj *name);

}  // namespace kelb

// library_commands.h --
//
//     The script library's commands that are written in C++: the option
//     parser and the list, stack, queue and set commands. Each works in
//     the frame of its caller, as the procedures they replace did through
//     "upvar 1". The word counts and usage texts live in the table of
//     library_commands.cpp, which checks them before a handler runs, so a
//     handler may read every word its row guarantees.

#pragma once

#include <tcl.h>

namespace kelb {

// Syntax: string.to.args str ?phyrst?
int StringToArgsCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
// Syntax: ladd VAR VAL
int LaddCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
// Syntax: ldelete LIST ?value ...?
int LdeleteCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
// Syntax: lreverse LIST
int LreverseCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
// Syntax: lset STRING VARS
int LsetCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
// Syntax: lremove VAR ?value ...?
int LremoveCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
// Syntax: lfifo stackvar linevar ?len?
int LfifoCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
// Syntax: lpop stackvar ?storevar?
int LpopCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
// Syntax: lpush stackvar line
int LpushCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
// Syntax: lpeek stackvar
int LpeekCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
// Syntax: get var
int GetCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

// Creates the commands above in the namespace ::kelb, under their
// library names, and marks them for export.
void LibraryCommandsCreate(Tcl_Interp *interp);

// Creates the command the library calls name in the namespace nsName
// (fully qualified) as well, so that the plain name is a command of its
// own rather than an import, whose every call would pass through a second
// dispatch. Returns false when name is not one of the commands above.
bool LibraryCommandCreateIn(Tcl_Interp *interp, const char *nsName, const char *name);

}  // namespace kelb

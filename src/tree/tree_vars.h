// tree_vars.h --
//
//     Tcl variable records made by hand: the one place in the tree store
//     that reaches into Tcl's private variable layout (tree_vars.cpp is the
//     only file that includes tclInt.h). Everything here speaks of a
//     variable through the public handle Tcl_Var.
//
//     The variables are counted records of the kind Tcl keeps in hash
//     tables, though they sit in none: Tcl counts references to such
//     records (upvar, global, frames, running traces) and frees one only
//     when it is dead and uncounted. Whoever makes a variable holds two
//     counts on it until it retires it; Tcl frees it when the last of its
//     own counts goes.
//
//     Every call that runs another interpreter's traces (set, unset,
//     retire) holds that interpreter with Tcl_Preserve and the variable
//     with a count for the length of the call, so that a trace deleting
//     its own interpreter, or retiring the variable, leaves both readable
//     until the call is over. When the interpreter was deleted by the
//     call, its deletion callbacks have run by the time the call returns.

#pragma once

#include <tcl.h>

#include <cstddef>
#include <string>

#include "core/tcl_support.h"

namespace kelb {

// Per interpreter: what its variables claim as their table. It holds no
// entry; Tcl finds a variable's namespace (the global one) through it.
// `owner` is the maker's word for the interpreter, which each variable of
// the table leads back to.
struct VarTable;

VarTable *VarTableCreate(Tcl_Interp *interp, void *owner);
void VarTableDelete(VarTable *table) noexcept;

// The owner of the table a variable was made in; the table must still
// exist (its interpreter's variables not all retired yet).
void *VarTableOwner(Tcl_Var var) noexcept;

// A new undefined scalar variable in the table's interpreter, carrying
// the maker's two counts, with `extraSize` bytes of the maker's own
// behind it in the same allocation (aligned for any pointer). Those bytes
// live exactly as long as the variable: Tcl frees both together once the
// variable is retired and its last count is gone, so what the maker puts
// there must need no destructor.
Tcl_Var VarCreate(VarTable *table, std::size_t extraSize) noexcept;

// The maker's bytes of a variable, and back.
void *VarExtra(Tcl_Var var) noexcept;
Tcl_Var VarOfExtra(const void *extra) noexcept;

// A count on the variable that keeps it (and its extra bytes) allocated;
// dropping the last count of a retired variable frees it.
void VarPin(Tcl_Var var) noexcept;
void VarUnpin(Tcl_Var var) noexcept;

// The value of a defined scalar variable; none for arrays, links and
// undefined variables.
Tcl_Obj *VarValue(Tcl_Var var) noexcept;

// Whether the variable is undefined (unset) or retired.
bool VarIsUndefined(Tcl_Var var) noexcept;
bool VarIsRetired(Tcl_Var var) noexcept;

// Puts obj into a scalar variable no trace watches, as Tcl's own fast
// path would. Returns false (and changes nothing) if the variable needs
// Tcl's setter: it is traced, an array, a link or retired.
bool VarSetQuietly(Tcl_Var var, Tcl_Obj *obj) noexcept;

// Sets (obj) or clears (none) a scalar's value without traces; arrays and
// links are left alone. For variables whose traces stand for the value.
void VarSetRaw(Tcl_Var var, Tcl_Obj *obj) noexcept;

// Registers a trace behind every trace the variable already has, so that
// it sees what the others left. Unlike Tcl_TraceVar2 it needs no name
// that resolves to the variable.
void VarTraceLast(Tcl_Interp *interp, Tcl_Var var, Tcl_VarTraceProc *proc, ClientData clientData,
                  int flags);

// Whether the variable has traces (ours included).
bool VarIsTraced(Tcl_Var var) noexcept;

// Tcl's setter in the variable's interpreter, so that its traces and
// links run there; name is what they see. With leaveError a refusal
// leaves its message in interp. Returns the value the variable holds
// afterwards (none if it is unset or no longer a scalar), and sets
// refused when Tcl's setter failed.
ObjRef VarSet(Tcl_Interp *interp, Tcl_Var var, Tcl_Obj *name, Tcl_Obj *obj, bool leaveError,
              bool &refused);

// Tcl's unset in the variable's interpreter (its unset traces fire there).
void VarUnset(Tcl_Interp *interp, Tcl_Var var, Tcl_Obj *name);

// Retires a variable: removes a C link on it (Tcl_UnlinkVar), unsets it
// until it stays unset, marks it dead and drops the maker's counts; Tcl
// frees it when nothing else refers to it. A variable that a trace keeps
// setting again is left to Tcl, still counted, never freed under it.
// The maker's own traces must let these unsets pass. name may be none.
void VarRetire(Tcl_Interp *interp, Tcl_Var var, Tcl_Obj *name);

// Retires a variable whose interpreter never runs again (its thread is
// ending) without calling into it: a scalar's value is released, the
// variable is marked dead and the maker's counts are dropped. A variable
// with traces stays with them in its interpreter, which keeps it.
void VarAbandon(Tcl_Var var) noexcept;

// While VarRetire removes a C link by name, the variable resolver maps
// this name in that interpreter to the variable being retired.
inline constexpr const char *kRetiringVarName = "/#0";
Tcl_Var VarRetiringTarget(Tcl_Interp *interp, const char *name) noexcept;

// Variable resolvers for names that begin with "/". `resolve` answers
// lookups by name, in the shape of Tcl's variable resolvers (TCL_OK with
// the variable, TCL_CONTINUE for Tcl's own lookup, TCL_ERROR). Compiled
// locals named so are bound, each time their procedure is entered, to
// what `fetch` gives for the name (none: an ordinary local). A compiled
// "global /a/b" runs as a command, which asks `resolve`; compiled, it
// would link to an ordinary global of that name without asking. Tcl
// recompiles everything when resolvers are installed, so procedures
// defined before are covered too.
using VarNameResolver = int (*)(Tcl_Interp *interp, const char *name, Tcl_Namespace *context,
                                int flags, Tcl_Var *result) noexcept;
using VarLocalFetcher = Tcl_Var (*)(Tcl_Interp *interp, const std::string &name) noexcept;
void VarInstallResolvers(Tcl_Interp *interp, const char *resolverName, VarNameResolver resolve,
                         VarLocalFetcher fetch) noexcept;

}  // namespace kelb

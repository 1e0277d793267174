// package_commands.h --
//
//     The one rule for the names of the commands a module makes: every
//     command stands in the namespace ::kelb, always, and under its plain
//     name in the global namespace too, unless a command of that name is
//     already there when the package loads. A script's own "tree" or
//     "process", or one it imported ("namespace import ::struct::tree"),
//     is never replaced; Kelb's stays reachable as ::kelb::tree.

#pragma once

#include "core/tcl_support.h"

namespace kelb {

// Creates ::kelb::name, exported from ::kelb, and ::name when no command
// of that name exists yet. The plain name is a command of its own rather
// than an import, which would cost an extra dispatch on every call. Both
// share clientData, which must outlive them; deleteProc runs once for each
// name deleted.
//
// Results:
//     The number of names made, 1 or 2, for a module that keeps a count
//     of its commands.
template <int (*Impl)(ClientData, Tcl_Interp *, int, Tcl_Obj *const[])>
int CreatePackageCommand(Tcl_Interp *interp, const char *name, ClientData clientData = nullptr,
                         Tcl_CmdDeleteProc *deleteProc = nullptr) {
    ObjRef qualified(Tcl_ObjPrintf("::kelb::%s", name));
    CreateObjCommand<Impl>(interp, Tcl_GetString(qualified.get()), clientData, deleteProc);
    if (Tcl_Namespace *kelbNs = Tcl_FindNamespace(interp, "::kelb", nullptr, 0)) {
        (void)Tcl_Export(interp, kelbNs, name, 0);
    }
    ObjRef plain(Tcl_ObjPrintf("::%s", name));
    if (Tcl_FindCommand(interp, Tcl_GetString(plain.get()), nullptr, 0) != nullptr) return 1;
    CreateObjCommand<Impl>(interp, Tcl_GetString(plain.get()), clientData, deleteProc);
    return 2;
}

}  // namespace kelb

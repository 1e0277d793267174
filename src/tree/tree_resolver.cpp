// tree_resolver.cpp --
//
//     The variable resolver "Quenmarle": every variable name that begins
//     with "/" is a node address, and the variable is the node's value in
//     the asking interpreter's record.
//
//     Tcl asks interpreter resolvers at every lookup by name (global level,
//     "set $name", upvar, global at run time, Tcl_GetVar2, Tcl_LinkVar).
//     Inside procedures two things bypass them, and are handled here too:
//     - a literal "/a/b" is compiled into a local slot; the compiled-variable
//       resolver binds that slot, when the procedure is entered, to the
//       node's record (or, when the node has no value then, to a forwarder
//       that looks the address up at each access);
//     - a compiled "global /a/b" links to an ordinary global of that name
//       without asking resolvers; such a "global" is left to run as a
//       command instead, and the command does ask.

#include "tree/tree_resolver.h"

#include <string>

#include "core/tcl_support.h"
#include "tree/tree_fail.h"
#include "tree/tree_forwarder.h"
#include "tree/tree_module.h"
#include "tree/tree_value.h"

namespace kelb {

namespace {

// The variable of the value node at `address` in this interpreter, or
// none with `error` set (the store must exist).
Tcl_Var ResolveAddress(InterpState *state, TreeStore &store, std::string_view address,
                       TreeError &error) {
    Node *node = TreeLookup(store, address, false, error);
    if (node != nullptr && node->kind != NodeKind::Value) {
        TreeSetError(error, kTreeNotVariable, address);
        return nullptr;
    }
    return node != nullptr ? TreeValueVar(state, node->value) : nullptr;
}

// Syntax: Tcl_ResolveVarProc.
//     A failure raises the store's error only when the caller asks for a
//     message ("info exists" does not).
int TreeVarResolver(Tcl_Interp *interp, const char *name, Tcl_Namespace *, int flags,
                    Tcl_Var *rPtr) noexcept {
    if (name[0] != '/') return TCL_CONTINUE;
    if (Tcl_Var var = VarRetiringTarget(interp, name)) {
        *rPtr = var;
        return TCL_OK;
    }
    TreeModule *module = TreeModuleGet();
    InterpState *state = TreeInterpState(interp);
    try {
        if (module == nullptr || state == nullptr) {
            // An interpreter on its way out: no node is a variable there.
            if (flags & TCL_LEAVE_ERR_MSG) TreeFail(interp, kTreeNotVariable, name);
            return TCL_ERROR;
        }
        TreeError error;
        if (Tcl_Var var = ResolveAddress(state, module->store, name, error)) {
            *rPtr = var;
            return TCL_OK;
        }
        if (flags & TCL_LEAVE_ERR_MSG) TreeFail(interp, error);
    } catch (...) {
        if (flags & TCL_LEAVE_ERR_MSG) Fail(interp, "not enough memory", kNoMemory);
    }
    return TCL_ERROR;
}

// The variable a compiled local named by `address` stands for, asked
// each time its procedure is entered: the node's record, or a stand-in
// when the node has no value now. None leaves an ordinary local.
Tcl_Var FetchLocal(Tcl_Interp *interp, const std::string &address) noexcept {
    TreeModule *module = TreeModuleGet();
    InterpState *state = TreeInterpState(interp);
    if (module == nullptr || state == nullptr) return nullptr;
    try {
        TreeError unused;
        if (Tcl_Var var = ResolveAddress(state, module->store, address, unused)) return var;
        return TreeForwarderVar(state, address);
    } catch (...) {
        // No memory for a record: the local stays an ordinary variable.
    }
    return nullptr;
}

}  // namespace

void TreeInstallResolvers(Tcl_Interp *interp) {
    VarInstallResolvers(interp, "Quenmarle", TreeVarResolver, FetchLocal);
}

}  // namespace kelb

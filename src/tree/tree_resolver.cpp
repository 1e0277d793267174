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

#include <tclCompile.h>

#include <cstring>
#include <new>
#include <string>

#include "core/tcl_support.h"
#include "tree/tree_module.h"
#include "tree/tree_value.h"

namespace kelb {

namespace {

int ResolverFail(Tcl_Interp *interp, int flags, const std::string &message) {
    if (flags & TCL_LEAVE_ERR_MSG) {
        Tcl_ResetResult(interp);
        Tcl_SetObjResult(interp, Tcl_NewStringObj(message.data(), static_cast<int>(message.size())));
    }
    return TCL_ERROR;
}

// The record of the node at `address` in this interpreter. On failure
// returns none with the store's error set (or the message in `message`).
Var *ResolveAddress(Tcl_Interp *interp, std::string_view address, std::string &message) {
    TreeModule *module = TreeModuleGet();
    InterpState *state = TreeInterpState(interp);
    if (module == nullptr || state == nullptr) {
        message = "Not a Tcl Variable: " + std::string(address);
        return nullptr;
    }
    Node *node = TreeLookup(module->store, address, false);
    if (node != nullptr && node->kind != NodeKind::Value) {
        TreeSetError(module->store.error, kTreeNotVariable, address);
        node = nullptr;
    }
    if (node == nullptr) {
        message = module->store.error.Text();
        return nullptr;
    }
    return TreeValueVar(state, node->value);
}

// Syntax: Tcl_ResolveVarProc.
int TreeVarResolver(Tcl_Interp *interp, const char *name, Tcl_Namespace *, int flags,
                    Tcl_Var *rPtr) noexcept {
    if (name[0] != '/') return TCL_CONTINUE;
    if (Var *var = TreeUnlinkTarget(interp, name)) {
        *rPtr = reinterpret_cast<Tcl_Var>(var);
        return TCL_OK;
    }
    std::string message;
    try {
        if (Var *var = ResolveAddress(interp, name, message)) {
            *rPtr = reinterpret_cast<Tcl_Var>(var);
            return TCL_OK;
        }
    } catch (...) {
        message = "not enough memory";
    }
    return ResolverFail(interp, flags, message);
}

// What the compiled-variable resolver leaves with Tcl for one local.
struct CompiledAddress : Tcl_ResolvedVarInfo {
    std::string address;
};

Tcl_Var FetchCompiled(Tcl_Interp *interp, Tcl_ResolvedVarInfo *info) noexcept {
    const std::string &address = static_cast<CompiledAddress *>(info)->address;
    try {
        std::string unused;
        if (Var *var = ResolveAddress(interp, address, unused)) return reinterpret_cast<Tcl_Var>(var);
        if (InterpState *state = TreeInterpState(interp)) {
            return reinterpret_cast<Tcl_Var>(TreeForwarder(state, address)->var);
        }
    } catch (...) {
        // No memory for a record: the local stays an ordinary variable.
    }
    return nullptr;
}

void DeleteCompiled(Tcl_ResolvedVarInfo *info) noexcept { delete static_cast<CompiledAddress *>(info); }

// Syntax: Tcl_ResolveCompiledVarProc.
int TreeCompiledVarResolver(Tcl_Interp *, const char *name, TclSize length, Tcl_Namespace *,
                            Tcl_ResolvedVarInfo **rPtr) noexcept {
    if (length < 1 || name[0] != '/') return TCL_CONTINUE;
    auto *info = new (std::nothrow) CompiledAddress;
    if (info == nullptr) return TCL_CONTINUE;
    try {
        info->address.assign(name, static_cast<std::size_t>(length));
    } catch (...) {
        delete info;
        return TCL_CONTINUE;
    }
    info->fetchProc = FetchCompiled;
    info->deleteProc = DeleteCompiled;
    *rPtr = info;
    return TCL_OK;
}

// The compile procedure "global" had before we wrapped it; the same in
// every interpreter of the process.
CompileProc *originalGlobalCompile = nullptr;

// Compiles "global" as Tcl does, unless a word is a literal address: that
// "global" runs as a command, which asks the resolver.
int CompileGlobal(Tcl_Interp *interp, Tcl_Parse *parsePtr, Command *cmdPtr,
                  CompileEnv *envPtr) noexcept {
    const Tcl_Token *token = parsePtr->tokenPtr;
    for (int word = 0; word < parsePtr->numWords; ++word) {
        if (word > 0 && token->type == TCL_TOKEN_SIMPLE_WORD && token[1].size > 0 &&
            token[1].start[0] == '/') {
            return TCL_ERROR;
        }
        token += token->numComponents + 1;
    }
    return originalGlobalCompile(interp, parsePtr, cmdPtr, envPtr);
}

void WrapGlobalCompile(Tcl_Interp *interp) {
    auto *command = reinterpret_cast<Command *>(
        Tcl_FindCommand(interp, "::global", nullptr, TCL_GLOBAL_ONLY));
    if (command == nullptr || command->compileProc == nullptr ||
        command->compileProc == CompileGlobal) {
        return;
    }
    if (originalGlobalCompile == nullptr) originalGlobalCompile = command->compileProc;
    // Only the compiler Tcl itself installed is wrapped; a replacement
    // someone else made is left alone.
    if (command->compileProc == originalGlobalCompile) command->compileProc = CompileGlobal;
}

}  // namespace

void TreeInstallResolvers(Tcl_Interp *interp) {
    // Installing a compiled-variable resolver makes Tcl recompile all code,
    // so procedures defined before the package was loaded are covered too.
    Tcl_AddInterpResolvers(interp, "Quenmarle", nullptr, TreeVarResolver, TreeCompiledVarResolver);
    WrapGlobalCompile(interp);
}

}  // namespace kelb

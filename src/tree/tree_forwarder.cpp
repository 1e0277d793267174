// tree_forwarder.cpp --
//
//     Stand-in variables for compiled locals: a trace of ours on each one
//     reads, writes and unsets the value of the node its address names at
//     the moment of the access.

#include "tree/tree_forwarder.h"

#include <cstring>
#include <string_view>

#include "core/tcl_support.h"
#include "tree/tree_store.h"
#include "tree/tree_value.h"

namespace kelb {

// Its address follows it, in its variable's extra bytes.
struct Forwarder final : VarHolder {
    std::size_t length = 0;
    std::string_view Address() const noexcept {
        return {reinterpret_cast<const char *>(this + 1), length};
    }
};

namespace {

constexpr int kForwarderTraceFlags =
    TCL_TRACE_READS | TCL_TRACE_WRITES | TCL_TRACE_UNSETS | TCL_TRACE_RESULT_OBJECT;

// A trace's error message. Tcl puts it after its own "can't read ...:"
// and gives it its own error code ({TCL READ VARNAME} and the like), as
// for any failing trace.
char *ErrorResult(const TreeError &error) {
    const std::string message = error.Text();
    Tcl_Obj *obj = Tcl_NewStringObj(message.data(), static_cast<TclSize>(message.size()));
    Tcl_IncrRefCount(obj);
    return reinterpret_cast<char *>(obj);
}

char *NoMemory() {
    Tcl_Obj *obj = Tcl_NewStringObj("not enough memory", -1);
    Tcl_IncrRefCount(obj);
    return reinterpret_cast<char *>(obj);
}

// The value node the forwarder's address names now, or none with
// `error` set.
Node *ForwardedNode(TreeStore &store, const Forwarder *forwarder, TreeError &error) {
    Node *node = TreeLookup(store, forwarder->Address(), false, error);
    if (node != nullptr && node->kind != NodeKind::Value) {
        TreeSetError(error, kTreeNotVariable, forwarder->Address());
        return nullptr;
    }
    return node;
}

char *ForwarderTraceProc(ClientData clientData, Tcl_Interp *interp, const char *name1,
                         const char *name2, int flags);

char *ForwardAccess(Forwarder *forwarder, Tcl_Interp *interp, int flags) {
    TreeStore &store = *forwarder->owner->store;
    TreeError error;
    Node *node = ForwardedNode(store, forwarder, error);
    if (flags & TCL_TRACE_UNSETS) {
        if (node != nullptr) TreeValueUnset(node->value);
        // Tcl removed our trace with the unset; the stand-in goes on.
        if (!forwarder->traced && forwarder->owner != nullptr) {
            HolderTrace(forwarder, ForwarderTraceProc, kForwarderTraceFlags);
        }
        return nullptr;
    }
    if (node == nullptr) {
        VarSetRaw(forwarder->Var(), nullptr);
        return ErrorResult(error);
    }
    if (flags & TCL_TRACE_READS) {
        VarSetRaw(forwarder->Var(), TreeNodeValue(node));
        return nullptr;
    }
    Tcl_Obj *obj = VarValue(forwarder->Var());
    if (obj != nullptr && TreeValueAssign(node->value, obj, interp) != TCL_OK) {
        Tcl_Obj *message = Tcl_GetObjResult(interp);
        Tcl_IncrRefCount(message);
        return reinterpret_cast<char *>(message);
    }
    return nullptr;
}

// Our trace on a forwarder: every access goes to the node named now.
char *ForwarderTraceProc(ClientData clientData, Tcl_Interp *interp, const char *, const char *name2,
                         int flags) {
    auto *forwarder = static_cast<Forwarder *>(clientData);
    const bool destroyed = (flags & TCL_TRACE_DESTROYED) != 0;
    char *result = nullptr;
    if (destroyed) forwarder->traced = false;
    const bool active = forwarder->owner != nullptr && forwarder->owner->store != nullptr &&
                        !Tcl_InterpDeleted(interp);
    try {
        if (active && name2 == nullptr) result = ForwardAccess(forwarder, interp, flags);
    } catch (const std::exception &) {  // not thread::exit's unwinding (see GuardCommand)
        result = NoMemory();
    }
    if (destroyed) HolderUnpin(forwarder);
    return result;
}

}  // namespace

Tcl_Var TreeForwarderVar(InterpState *state, const std::string &address) {
    auto found = state->forwarders.find(address);
    if (found != state->forwarders.end()) return found->second->Var();
    // The entry first: it is what may fail.
    auto &entry = state->forwarders[address];
    Forwarder *forwarder = HolderCreate<Forwarder>(state, address.size());
    forwarder->length = address.size();
    std::memcpy(reinterpret_cast<char *>(forwarder + 1), address.data(), address.size());
    entry = forwarder;
    HolderTrace(forwarder, ForwarderTraceProc, kForwarderTraceFlags);
    return forwarder->Var();
}

void TreeForwardersLeaveInterp(InterpState *state) {
    for (auto &[address, forwarder] : state->forwarders) {
        Tcl_Obj *name = Tcl_NewStringObj(address.data(), static_cast<TclSize>(address.size()));
        Tcl_IncrRefCount(name);
        HolderRetire(forwarder, name);
        Tcl_DecrRefCount(name);
    }
    state->forwarders.clear();
}

void TreeForwardersAbandonInterp(InterpState *state) noexcept {
    for (auto &entry : state->forwarders) HolderAbandon(entry.second);
    state->forwarders.clear();
}

}  // namespace kelb

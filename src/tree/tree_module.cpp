// tree_module.cpp --
//
//     The module state, its owning thread, the interpreters that hold the
//     store, and error reports.

#include "tree/tree_module.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "core/tcl_support.h"
#include "tree/tree_forwarder.h"
#include "tree/tree_value.h"
#include "tree/tree_watch.h"

namespace kelb {

namespace {

constexpr const char *kAssocKey = "KelbTree";

// Set and read only by the owning thread; handed from one owner to the
// next through `owner` (released when it is cleared, acquired when it is
// taken).
TreeModule *treeModule = nullptr;

// The thread that owns the store, or none.
std::atomic<Tcl_ThreadId> owner{nullptr};

// The last interpreter holding the store is gone: free every node and
// value in this thread, then let another thread take the store. No
// interpreter holds a record any more, so no script runs meanwhile.
void EndOwnership(TreeModule &module) noexcept {
    TreeStore &store = module.store;
    for (ChildType type : {ChildType::I, ChildType::J}) {
        while (Node *child = store.treeRoot->ChildList(type)) TreeRemove(store, child);
    }
    module.lastFound = nullptr;
    owner.store(nullptr, std::memory_order_release);
}

// The interpreter is being deleted: its records and stand-ins go, and
// so do the /interpN nodes made for it.
void InterpDeleted(ClientData clientData, Tcl_Interp *) {
    auto *state = static_cast<InterpState *>(clientData);
    TreeModule &module = *treeModule;
    auto &interps = module.interps;
    interps.erase(std::remove(interps.begin(), interps.end(), state), interps.end());
    if (module.lastFound == state) module.lastFound = nullptr;
    TreeWatchesLeaveInterp(state->interp);
    TreeValuesLeaveInterp(state);
    TreeForwardersLeaveInterp(state);
    for (NodeId id : state->ownNodes) {
        if (Node *node = TreeNodeById(module.store, id)) TreeRemove(module.store, node);
    }
    InterpStateDelete(state);
    if (interps.empty()) EndOwnership(module);
}

}  // namespace

TreeModule *TreeModuleGet() noexcept {
    return owner.load(std::memory_order_acquire) == Tcl_GetCurrentThread() ? treeModule : nullptr;
}

TreeModule *TreeModuleClaim() {
    const Tcl_ThreadId self = Tcl_GetCurrentThread();
    Tcl_ThreadId expected = nullptr;
    if (!owner.compare_exchange_strong(expected, self, std::memory_order_acq_rel) && expected != self) {
        return nullptr;
    }
    if (treeModule == nullptr) {
        try {
            treeModule = new TreeModule;
        } catch (...) {
            owner.store(nullptr, std::memory_order_release);
            throw;
        }
        treeModule->store.valueOps = &TreeTclValueOps();
    }
    return treeModule;
}

void TreeModuleReleaseUnused() noexcept {
    if (treeModule != nullptr && treeModule->interps.empty()) EndOwnership(*treeModule);
}

TreeStore &TreeModuleStore() noexcept { return treeModule->store; }

InterpState *TreeInterpState(Tcl_Interp *interp) noexcept {
    TreeModule *module = TreeModuleGet();
    if (module == nullptr) return nullptr;
    if (module->lastFound != nullptr && module->lastFound->interp == interp) return module->lastFound;
    for (InterpState *state : module->interps) {
        if (state->interp == interp) return module->lastFound = state;
    }
    return nullptr;
}

InterpState *TreeAttachInterp(Tcl_Interp *interp) {
    if (InterpState *state = TreeInterpState(interp)) return state;
    TreeModule &module = *TreeModuleGet();
    module.interps.reserve(module.interps.size() + 1);
    InterpState *state = InterpStateCreate(interp);
    module.interps.push_back(state);
    Tcl_SetAssocData(interp, kAssocKey, InterpDeleted, state);
    return state;
}

int TreeReportError(Tcl_Interp *interp) {
    const TreeError &error = treeModule->store.error;
    Tcl_ResetResult(interp);
    Tcl_Obj *message = Tcl_NewStringObj(TreeErrorMessage(error.code), -1);
    Tcl_AppendToObj(message, error.detail.data(), static_cast<TclSize>(error.detail.size()));
    Tcl_SetObjResult(interp, message);
    SetErrorCode(interp, {"TREE", TreeErrorCondition(error.code)},
                 error.detail.empty() ? nullptr : error.detail.c_str());
    return TCL_ERROR;
}

int TreeFailWith(Tcl_Interp *interp, int code, std::string_view detail) {
    TreeSetError(treeModule->store.error, code, detail);
    return TreeReportError(interp);
}

}  // namespace kelb

// tree_module.cpp --
//
//     The module state, its owning thread, the interpreters that hold the
//     store.

#include "tree/tree_module.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>

#include "core/tcl_support.h"
#include "core/thread_data.h"
#include "tree/tree_forwarder.h"
#include "tree/tree_value.h"
#include "tree/tree_watch.h"

namespace kelb {

namespace {

// The key of each interpreter's InterpState in its associated data.
constexpr char kInterpKey[] = "kelb::tree";

// Set and read only by the owning thread; handed from one owner to the
// next through `currentClaim` (released when it is cleared, acquired when
// it is taken).
TreeModule *treeModule = nullptr;

// Every claim of the store gets a number of its own, and a thread is the
// owner while the current claim is the one it made: thread ids are reused,
// claim numbers never. 0: nobody owns the store.
std::atomic<std::uint64_t> currentClaim{0};
std::atomic<std::uint64_t> lastClaim{0};

// The claim this thread made last, in Tcl's thread data (zeroed for each
// new thread).
constinit ThreadData<std::uint64_t> thisThreadsClaim;

std::uint64_t &ThisThreadsClaim() noexcept { return *thisThreadsClaim; }

void ThreadEnded(ClientData claim) noexcept;

ClientData ClaimData(std::uint64_t claim) noexcept {
    return reinterpret_cast<ClientData>(static_cast<std::uintptr_t>(claim));
}

// Lets another thread take the store. Touches nothing of this thread's,
// since it may run while thread::exit unwinds the stack.
void ReleaseClaim() noexcept { currentClaim.store(0, std::memory_order_release); }

// Frees every node and value, in the owning thread.
void EmptyStore(TreeModule &module) noexcept {
    TreeStore &store = module.store;
    for (ChildType type : {ChildType::I, ChildType::J}) {
        while (Node *child = store.treeRoot->ChildList(type)) TreeRemove(store, child);
    }
    module.lastFound = nullptr;
}

// The last interpreter holding the store is gone: free every node and
// value in this thread, then let another thread take the store. No
// interpreter holds a record any more, so no script runs meanwhile.
void EndOwnership(TreeModule &module) noexcept {
    EmptyStore(module);
    Tcl_DeleteThreadExitHandler(ThreadEnded, ClaimData(currentClaim.load(std::memory_order_relaxed)));
    ReleaseClaim();
}

// The owning thread ends with interpreters that hold the store still
// there (thread::exit deletes none, nor does exit): they never run again.
// Their records and stand-ins are dropped without calling into them, so no
// script runs while the thread finishes, then the store is emptied. When
// thread::exit ended the thread inside an operation on a value, the store
// is let go once unwinding has ended the last of them.
void ThreadEnded(ClientData claim) noexcept {
    if (ClaimData(currentClaim.load(std::memory_order_relaxed)) != claim) return;
    TreeModule &module = *treeModule;
    for (InterpState *state : module.interps) {
        Tcl_SetAssocData(state->interp, kInterpKey, nullptr, nullptr);
        TreeValuesAbandonInterp(state);
        TreeForwardersAbandonInterp(state);
        InterpStateDelete(state);
    }
    module.interps.clear();
    EmptyStore(module);
    TreeValuesWhenUnpinned(ReleaseClaim);
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
    const std::uint64_t claim = currentClaim.load(std::memory_order_acquire);
    return claim != 0 && claim == ThisThreadsClaim() ? treeModule : nullptr;
}

TreeModule *TreeModuleClaim() {
    std::uint64_t &mine = ThisThreadsClaim();
    std::uint64_t current = currentClaim.load(std::memory_order_acquire);
    if (current != 0) return current == mine ? treeModule : nullptr;
    const std::uint64_t claim = lastClaim.fetch_add(1, std::memory_order_relaxed) + 1;
    if (!currentClaim.compare_exchange_strong(current, claim, std::memory_order_acq_rel)) {
        return nullptr;
    }
    if (treeModule == nullptr) {
        try {
            treeModule = new TreeModule;
        } catch (...) {
            ReleaseClaim();
            throw;
        }
        treeModule->store.valueOps = &TreeTclValueOps();
    }
    mine = claim;
    Tcl_CreateThreadExitHandler(ThreadEnded, ClaimData(claim));
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
    state->store = &module.store;
    module.interps.push_back(state);
    Tcl_SetAssocData(interp, kInterpKey, InterpDeleted, state);
    return state;
}

}  // namespace kelb

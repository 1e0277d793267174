// tree_watch.cpp --
//
//     The registry of subtree watches, and the reports of value changes to
//     them.

#include "tree/tree_watch.h"

#include <algorithm>
#include <string>
#include <vector>

#include "tree/tree_store.h"
#include "tree/tree_value.h"

namespace kelb {

// Owned by the module; touched only by the thread owning the store.
int treeWatchCount = 0;

namespace {

struct Watch {
    unsigned long id;
    Tcl_Interp *interp;
    std::string root;  // "" for the whole tree
    TreeWatchProc proc;  // none once removed while reports run
    void *clientData;
};

// Owned by the thread that owns the store, like the store.
struct Registry {
    std::vector<Watch> watches;
    unsigned long lastId = 0;
    int reporting = 0;  // reports in progress: removal only marks
};

Registry &Watches() {
    static auto *registry = new Registry;
    return *registry;
}

bool Covers(const std::string &root, std::string_view address) noexcept {
    if (root.empty()) return true;
    if (address.size() < root.size() || address.compare(0, root.size(), root) != 0) return false;
    return address.size() == root.size() || address[root.size()] == '/' ||
           address[root.size()] == '.';
}

void Sweep(Registry &registry) noexcept {
    if (registry.reporting != 0) return;
    auto &w = registry.watches;
    w.erase(std::remove_if(w.begin(), w.end(), [](const Watch &x) { return x.proc == nullptr; }),
            w.end());
}

void Drop(Watch &watch) noexcept {
    if (watch.proc == nullptr) return;
    watch.proc = nullptr;
    --treeWatchCount;
}

}  // namespace

unsigned long TreeWatchAdd(Tcl_Interp *interp, TreeStore &store, std::string_view root,
                           TreeWatchProc proc, void *clientData) {
    Registry &registry = Watches();
    std::string text(root == "/" ? std::string_view() : root);
    registry.watches.push_back({++registry.lastId, interp, text, proc, clientData});
    ++treeWatchCount;
    // Values written straight into a variable pass no code of ours unless
    // the variable is traced: trace those already under the root.
    const std::string address = text.empty() ? "/" : text;
    if (Node *top = TreeLookup(store, address, false)) {
        TreeVisitValues(top, [](const Node *node) { TreeValueObserve(node->value); });
    }
    return registry.lastId;
}

void TreeWatchRemove(unsigned long id) noexcept {
    Registry &registry = Watches();
    for (Watch &watch : registry.watches) {
        if (watch.id == id) Drop(watch);
    }
    Sweep(registry);
}

void TreeWatchesLeaveInterp(Tcl_Interp *interp) noexcept {
    Registry &registry = Watches();
    for (Watch &watch : registry.watches) {
        if (watch.interp == interp) Drop(watch);
    }
    Sweep(registry);
}

bool TreeWatchCovers(const Node *node) noexcept {
    try {
        const std::string address = TreeNodeAddress(node);
        for (const Watch &watch : Watches().watches) {
            if (watch.proc != nullptr && Covers(watch.root, address)) return true;
        }
    } catch (...) {
        // Out of memory: treat as watched, which only costs a trace.
        return true;
    }
    return false;
}

void TreeWatchNotify(const Node *node, Tcl_Obj *value) noexcept {
    if (node == nullptr) return;
    Registry &registry = Watches();
    try {
        const std::string address = TreeNodeAddress(node);
        ++registry.reporting;
        // Watches added by a callback are not told of this change.
        const std::size_t count = registry.watches.size();
        for (std::size_t i = 0; i < count; ++i) {
            const Watch &watch = registry.watches[i];
            if (watch.proc != nullptr && Covers(watch.root, address)) {
                watch.proc(watch.clientData, address.c_str(), value);
            }
        }
        --registry.reporting;
    } catch (...) {
        // Only the address could fail to be made, before any report.
    }
    Sweep(registry);
}

}  // namespace kelb

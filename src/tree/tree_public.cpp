// tree_public.cpp --
//
//     The tree store's part of the interface table other extensions use
//     (include/kelbTree.h), over the store's own calls.

#include <kelbTree.h>

#include "core/tcl_support.h"
#include "tree/tree_address.h"
#include "tree/tree_error.h"
#include "tree/tree_fail.h"
#include "tree/tree_module.h"
#include "tree/tree_value.h"
#include "tree/tree_watch.h"

namespace kelb {

namespace {

// The store, when this interpreter holds it; otherwise none, with the
// error in interp.
TreeStore *StoreOf(Tcl_Interp *interp) noexcept {
    if (TreeInterpState(interp) != nullptr) return &TreeModuleStore();
    TreeFail(interp, kTreeOwnedElsewhere, {});
    return nullptr;
}

// The node of the address, or none with the error in interp.
Node *Find(Tcl_Interp *interp, const char *address, bool create) noexcept {
    TreeStore *store = StoreOf(interp);
    if (store == nullptr) return nullptr;
    try {
        TreeError error;
        Node *node = TreeLookup(*store, address, create, error);
        if (node == nullptr) TreeFail(interp, error);
        return node;
    } catch (const std::bad_alloc &) {
        Fail(interp, "not enough memory", kNoMemory);
        return nullptr;
    }
}

int FindNode(Tcl_Interp *interp, const char *address, int create) {
    return Find(interp, address, create != 0) != nullptr ? TCL_OK : TCL_ERROR;
}

int SetValue(Tcl_Interp *interp, const char *address, Tcl_Obj *value) {
    Node *node = Find(interp, address, true);
    if (node == nullptr) return TCL_ERROR;
    return GuardCommand(interp, [&] { return TreeSetValue(node, value, interp); });
}

Tcl_Obj *GetValue(Tcl_Interp *interp, const char *address) {
    if (TreeInterpState(interp) == nullptr) return nullptr;
    Node *node = TreeLookup(TreeModuleStore(), address, false);
    return node != nullptr ? TreeNodeValue(node) : nullptr;
}

int RemoveNode(Tcl_Interp *interp, const char *address) {
    Node *node = Find(interp, address, false);
    if (node == nullptr) return TCL_ERROR;
    TreeStore &store = TreeModuleStore();
    if (node == store.treeRoot) return TreeFail(interp, kTreeBadRoot, {});
    return GuardCommand(interp, [&] {
        TreeRemove(store, node);
        return TCL_OK;
    });
}

int ClearValue(Tcl_Interp *interp, const char *address) {
    if (StoreOf(interp) == nullptr) return TCL_ERROR;
    Node *node = TreeLookup(TreeModuleStore(), address, false);
    if (node == nullptr || node->kind != NodeKind::Value) return TCL_OK;
    return GuardCommand(interp, [&] {
        // As for a removal: watches hear of it, traces keep the name.
        TreeTclValueOps().DetachValue(*node);
        TreeFreeValue(node);
        return TCL_OK;
    });
}

int ListValues(Tcl_Interp *interp, const char *address, KelbTreeValueProc *proc, void *clientData) {
    Node *top = Find(interp, address, false);
    if (top == nullptr) return TCL_ERROR;
    return GuardCommand(interp, [&] {
        TreeVisitValues(top, [&](const Node *node) {
            const std::string name = node->parent == nullptr ? "/" : TreeNodeAddress(node);
            proc(clientData, name.c_str(), TreeNodeValue(node));
        });
        return TCL_OK;
    });
}

unsigned long Watch(Tcl_Interp *interp, const char *address, KelbTreeValueProc *proc,
                    void *clientData) {
    TreeStore *store = StoreOf(interp);
    if (store == nullptr) return 0;
    // The root is kept as text, so it must be canonical: no identity.
    TreeError unused;
    if (!TreeCheckAddress(address, unused) || address[1] == '#') {
        TreeFail(interp, kTreeBadAddress, address);
        return 0;
    }
    std::string_view root(address);
    while (root.size() > 1 && (root.back() == '/' || root.back() == '.')) root.remove_suffix(1);
    try {
        return TreeWatchAdd(interp, *store, root, proc, clientData);
    } catch (const std::bad_alloc &) {
        Fail(interp, "not enough memory", kNoMemory);
        return 0;
    }
}

void Unwatch(unsigned long id) { TreeWatchRemove(id); }

}  // namespace

extern const KelbTreeApi kTreeApi;
const KelbTreeApi kTreeApi = {
    KELB_TREE_API_VERSION, sizeof(KelbTreeApi), FindNode, SetValue, GetValue,
    RemoveNode,            ClearValue,          ListValues, Watch, Unwatch,
};

}  // namespace kelb

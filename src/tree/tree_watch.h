// tree_watch.h --
//
//     Watches on subtrees: a callback for every change of a node value
//     under an address, however the value changed (the tree commands, a
//     script's set, incr or append, a link, a widget, a trace), and for
//     every value that goes (unset, or its node removed or moved away).
//
//     Watches live with the store in its owning thread and belong to the
//     interpreter that set them: they go when it is deleted. Callbacks run
//     in that thread, right after the change, with the node's address and
//     its new value (none when it went); they must not change the tree or
//     run scripts, only take note.
//
//     The value machinery asks TreeWatchesActive() first, so that a
//     change costs one predictable branch while no watch exists.

#pragma once

#include <tcl.h>

#include <cstddef>
#include <string_view>

namespace kelb {

struct Node;
struct TreeStore;

// How many watches exist; touched only by the thread owning the store.
extern int treeWatchCount;

inline bool TreeWatchesActive() noexcept { return treeWatchCount != 0; }

// Called with the node's address (NUL-terminated) and its value, or none.
using TreeWatchProc = void (*)(void *clientData, const char *address, Tcl_Obj *value);

// Watches the subtree at `root` (a canonical address; "/" is the whole
// tree; the node need not exist). Returns the watch's identity, never 0.
// Values already under it in `store`, the store the interpreter holds,
// become observable for every later write.
unsigned long TreeWatchAdd(Tcl_Interp *interp, TreeStore &store, std::string_view root,
                           TreeWatchProc proc, void *clientData);

// Ends a watch; an unknown identity is ignored.
void TreeWatchRemove(unsigned long id) noexcept;

// The interpreter is going: its watches go first.
void TreeWatchesLeaveInterp(Tcl_Interp *interp) noexcept;

// Whether a watch covers the node.
bool TreeWatchCovers(const Node *node) noexcept;

// The node's value changed to `value` (none: it has none now); reported to
// every watch that covers the node.
void TreeWatchNotify(const Node *node, Tcl_Obj *value) noexcept;

// Visits every node with a value in the subtree of `top` (top included),
// in no particular order; links are not followed.
template <class Visit>
void TreeVisitValues(const Node *top, Visit &&visit);

}  // namespace kelb

#include "tree/tree_node.h"

#include <vector>

template <class Visit>
void kelb::TreeVisitValues(const Node *top, Visit &&visit) {
    std::vector<const Node *> pending{top};
    while (!pending.empty()) {
        const Node *node = pending.back();
        pending.pop_back();
        if (node->kind == NodeKind::Link) continue;
        if (node->kind == NodeKind::Value) visit(node);
        for (ChildType type : {ChildType::I, ChildType::J}) {
            for (const Node *child = node->ChildList(type); child != nullptr; child = child->next) {
                pending.push_back(child);
            }
        }
    }
}

// tree_transfer.cpp --
//
//     TreeTransfer (cp, ln, mv) and TreeCopy.

#include "tree/tree_transfer.h"

#include <algorithm>
#include <cstddef>
#include <unordered_set>
#include <utility>
#include <vector>

#include "tree/tree_address.h"

namespace kelb {

namespace {

// What a copy reads in place of a node: a link's live target; a link
// whose target is gone counts as the plain node it will become.
const Node *CopySource(TreeStore &store, const Node *node) noexcept {
    if (node->kind != NodeKind::Link) return node;
    const Node *target = TreeNodeById(store, node->linkTarget);
    return target != nullptr ? target : node;
}

// The first child of a node, i-children first, then j-children.
const Node *FirstChild(const Node *node) noexcept {
    return node->iChildren != nullptr ? node->iChildren : node->jChildren;
}

// The child after `child` in a walk over both lists of its parent.
const Node *NextChild(const Node *parent, const Node *child) noexcept {
    if (child->next != nullptr) return child->next;
    return child->parentType == ChildType::I ? parent->jChildren : nullptr;
}

enum class CopyCheck { Fine, LandsInside, Circular, TooLarge };

// Walks what a copy of `source` would read, depth first and following
// links as the copy does, and says whether the copy would reach `landing`
// (the node under which the destination is made, so the copy would grow
// while it is read), would enter a node it is still copying (a link to
// one of its own ancestors), or would make more nodes than `budget`.
CopyCheck CheckCopy(TreeStore &store, const Node *source, const Node *landing, std::size_t budget) {
    struct Frame {
        const Node *node;   // the node read (a link's target)
        const Node *child;  // its child to visit next
    };
    std::vector<Frame> stack;
    std::unordered_set<const Node *> onPath;
    std::size_t count = 0;
    const Node *next = source;
    for (;;) {
        if (next != nullptr) {
            const Node *node = CopySource(store, next);
            if (node == landing) return CopyCheck::LandsInside;
            if (!onPath.insert(node).second) return CopyCheck::Circular;
            if (++count > budget) return CopyCheck::TooLarge;
            stack.push_back({node, FirstChild(node)});
        }
        if (stack.empty()) return CopyCheck::Fine;
        Frame &frame = stack.back();
        if (frame.child == nullptr) {
            onPath.erase(frame.node);
            stack.pop_back();
            if (stack.empty()) return CopyCheck::Fine;
            next = nullptr;
            continue;
        }
        next = frame.child;
        frame.child = NextChild(frame.node, next);
    }
}

// Whether `node` is `top` or lies below it.
bool IsWithin(const Node *node, const Node *top) noexcept {
    while (node != nullptr && node != top) node = node->parent;
    return node == top;
}

bool CopyTo(TreeStore &store, const Node *source, std::string_view sourceText,
            std::string_view dest, TreeError &error) {
    bool complete = false;
    const Node *landing = TreeProbe(store, dest, complete, error);
    if (landing == nullptr) return false;
    // Links can repeat shared subtrees; a copy far larger than the whole
    // tree is refused rather than left to exhaust memory.
    const std::size_t budget = std::max<std::size_t>(store.liveNodes * 8, std::size_t{1} << 20);
    switch (CheckCopy(store, source, landing, budget)) {
    case CopyCheck::Fine: break;
    case CopyCheck::LandsInside: TreeSetError(error, kTreeBadAddress, dest); return false;
    case CopyCheck::Circular: TreeSetError(error, kTreeBadAddress, sourceText); return false;
    case CopyCheck::TooLarge: TreeSetError(error, kTreeMemoryError, dest); return false;
    }
    Node *to = TreeLookup(store, dest, true, error);
    if (to == nullptr) return false;
    TreeCopy(store, source, to);
    return true;
}

bool LinkTo(TreeStore &store, Node *source, std::string_view dest, TreeError &error) {
    // A link always names a node that is not a link (an identity address
    // can name a link node), so that links never chain.
    if (source->kind == NodeKind::Link) {
        if (Node *target = TreeFollow(store, source)) source = target;
    }
    Node *to = TreeLookup(store, dest, true, error);
    if (to == nullptr) return false;
    const NodeId target = TreeNodeIdentity(store, source);
    TreePathsChanged(store);
    to->kind = NodeKind::Link;
    to->linkTarget = target;
    return true;
}

// The new node `to` takes over the kind, value and children of `from`,
// and `from` (detached, now empty) is freed.
void TakeOver(TreeStore &store, Node *from, Node *to) noexcept {
    if (store.valueOps != nullptr) store.valueOps->NoteMove(*from, false);
    to->kind = from->kind;
    if (from->kind == NodeKind::Link) to->linkTarget = from->linkTarget;
    if (from->kind == NodeKind::Value && store.valueOps != nullptr) {
        store.valueOps->MoveValue(*from, *to);
    }
    for (ChildType type : {ChildType::I, ChildType::J}) {
        Node *head = from->ChildList(type);
        for (Node *child = head; child != nullptr; child = child->next) {
            TreeRekeyChild(store, child, to);
        }
        to->ChildList(type) = head;
        from->ChildList(type) = nullptr;
    }
    from->kind = NodeKind::Plain;
    if (store.valueOps != nullptr) store.valueOps->NoteMove(*to, true);
    TreeFreeSubtree(store, from);
}

bool MoveTo(TreeStore &store, Node *source, std::string_view dest, TreeError &error) {
    if (!dest.empty() && !TreeCheckAddress(dest, error)) return false;
    const TreePlace place = TreeUnlink(store, source);
    if (dest.empty()) {
        TreeFreeSubtree(store, source);
        return true;
    }
    // While it is out of the tree, a search by identity must still see it.
    struct Detached {
        TreeStore &store;
        ~Detached() { store.moving = nullptr; }
    } detached{store};
    store.moving = source;
    bool complete = false;
    const Node *landing = TreeProbe(store, dest, complete, error);
    if (landing == nullptr || IsWithin(landing, source)) {
        // Reached through a link into the moved subtree: the node would
        // become its own descendant.
        if (landing != nullptr) TreeSetError(error, kTreeBadAddress, dest);
        TreeRelink(store, source, place);
        return false;
    }
    Node *to = TreeLookup(store, dest, true, error);
    if (to == nullptr) {
        TreeRelink(store, source, place);
        return false;
    }
    store.moving = nullptr;
    TakeOver(store, source, to);
    return true;
}

}  // namespace

bool TreeTransfer(TreeStore &store, std::string_view source, std::string_view dest, TreeOp op,
                  TreeError &error) {
    Node *from = TreeLookup(store, source, false, error);
    if (from == nullptr) return false;
    if (from == store.treeRoot) {
        TreeSetError(error, kTreeBadRoot, {});
        return false;
    }
    if (TreeLookup(store, dest, false) != nullptr) {
        TreeSetError(error, kTreeNodeExists, dest);
        return false;
    }
    switch (op) {
    case TreeOp::Copy: return CopyTo(store, from, source, dest, error);
    case TreeOp::Link: return LinkTo(store, from, dest, error);
    case TreeOp::Move: return MoveTo(store, from, dest, error);
    }
    return false;
}

void TreeCopy(TreeStore &store, const Node *from, Node *to) {
    std::vector<std::pair<const Node *, Node *>> pending{{from, to}};
    while (!pending.empty()) {
        auto [original, copy] = pending.back();
        pending.pop_back();
        original = CopySource(store, original);
        if (original->kind == NodeKind::Value && store.valueOps != nullptr) {
            store.valueOps->CopyValue(*original, *copy);
        }
        for (ChildType type : {ChildType::I, ChildType::J}) {
            for (const Node *child = original->ChildList(type); child != nullptr;
                 child = child->next) {
                pending.emplace_back(child, TreeNewChild(store, copy, type, child->name()));
            }
        }
    }
}

}  // namespace kelb

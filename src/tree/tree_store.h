// tree_store.h --
//
//     The tree store: one tree of named nodes, its indexes and its error
//     slot, and the operations that find, create, unlink and free nodes.
//     Plain C++, free of Tcl; the Tcl binding keeps one process-wide store
//     and gives nodes their values through TreeValueOps.
//
//     Invariants:
//     - Each child list is doubly linked, newest first; every child has
//       the parent and the type of the list that holds it.
//     - Names are unique within one list, so "first match wins" and the
//       name index agree.
//     - Every live node but the root is in the identity table and in the
//       name index; removed nodes are in neither, so no address and no
//       identity reaches them.

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tree/node_table.h"
#include "tree/tree_error.h"
#include "tree/tree_node.h"

namespace kelb {

struct TreeStore;

// What the store asks of whoever gives nodes their values.
class TreeValueOps {
public:
    // The node is being removed: its value must stop referring to it.
    // Runs no scripts.
    virtual void DetachValue(Node &node) noexcept = 0;
    // Releases a value node's value and makes the node plain. May run
    // scripts (traces), which may use the store again or end the thread
    // (thread::exit unwinds through here, so no caller is noexcept).
    virtual void FreeValue(Node &node) = 0;
    // Gives `to` a copy of the value of `from` (a value node). Runs no
    // scripts: `to` is new.
    virtual void CopyValue(const Node &from, Node &to) = 0;
    // `to` takes over the value of `from`, which becomes plain.
    virtual void MoveValue(Node &from, Node &to) noexcept = 0;
    // The values under `top` are about to leave their addresses (arrived
    // false), or have arrived at new ones (true): a move. Runs no scripts.
    virtual void NoteMove(const Node & /*top*/, bool /*arrived*/) noexcept {}
    // Asks the memory system, ahead of DetachValue and FreeValue, for one
    // level of what they will read of a value node's value: level 0 is
    // the first thing the node points to, each next level what the one
    // before points to (asked for once that has had time to arrive).
    // Reads only what is live at the moment of the call.
    virtual void PrefetchValue(const Node &, int /*level*/) const noexcept {}

protected:
    ~TreeValueOps() = default;
};

// Where the last address found by the common lookup led before its last
// name: the text up to and including the separator before that name, and
// the node and child type it stands for. The next address that begins
// with the same text starts its walk there. Forgotten whenever a node is
// unlinked, moved or made a link, so that the text always leads where a
// walk from the root would.
struct LookupMemo {
    static constexpr std::size_t kCapacity = 1024;
    Node *parent = nullptr;  // none: nothing remembered
    ChildType type = ChildType::None;
    std::size_t length = 0;
    char text[kCapacity];

    void Forget() noexcept { parent = nullptr; }
};

struct TreeStore {
    TreeStore();
    ~TreeStore();
    TreeStore(const TreeStore &) = delete;
    TreeStore &operator=(const TreeStore &) = delete;

    NodePool pool;                      // where nodes are allocated
    Node *treeRoot;                     // made with the store, never freed before it
    std::size_t liveNodes = 0;          // nodes made and not removed, root excluded
    NameIndex names;                    // children by (parent, type, name)
    // Live nodes by identity. A node enters when its identity is handed
    // out (TreeNodeIdentity), so that a store whose identities nobody
    // asks for keeps no index of them; a search for an identity that is
    // not there fills in every node, and from then on each new node
    // enters as it is made (idsComplete).
    IdTable ids;
    bool idsComplete = false;
    Node *moving = nullptr;             // a subtree detached while it moves
    NodeId lastId = 0;                  // the identity given out last
    bool idsWrapped = false;            // lastId went round: check identities in use
    TreeValueOps *valueOps = nullptr;   // none: nodes are given no values
    LookupMemo memo;                    // a shortcut for the next lookup
    // Advances whenever an address may stop leading where it led (a node
    // unlinked, moved or made a link). A lookup remembered with the value
    // it had is still right while it is unchanged. Unique across stores.
    std::uint64_t pathEpoch;
};

// Records that addresses may now lead elsewhere: the memo is forgotten
// and the path epoch advances.
void TreePathsChanged(TreeStore &store) noexcept;

// Where an unlinked node was, so that it can be put back exactly there.
struct TreePlace {
    Node *parent;
    ChildType type;
    Node *prev;  // its predecessor in the list, or none if it was the head
};

// Finds the node of an address; with `create`, makes every missing node on
// the way. Links are followed at every step. Returns none with `error`
// set on failure.
Node *TreeLookup(TreeStore &store, std::string_view address, bool create, TreeError &error);

// The same, for a caller that only asks whether the node is there.
inline Node *TreeLookup(TreeStore &store, std::string_view address, bool create) {
    TreeError unused;
    return TreeLookup(store, address, create, unused);
}

// Walks an address as far as existing nodes reach, without creating.
// Returns the deepest node reached (the addressed node itself when
// `complete` comes back true), or none with `error` set when the address
// does not read.
Node *TreeProbe(TreeStore &store, std::string_view address, bool &complete, TreeError &error);

// The live node with this identity, or none (also for 0, the root's).
Node *TreeNodeById(TreeStore &store, NodeId id) noexcept;

// The node's identity, for a caller that keeps or shows it: from now on
// TreeNodeById finds the node by it at once. Throws std::bad_alloc.
NodeId TreeNodeIdentity(TreeStore &store, Node *node);

// A link's live target; a link whose target is gone becomes a plain node
// and none is returned. Other nodes are returned as they are.
Node *TreeFollow(TreeStore &store, Node *node) noexcept;

// Makes a new node, kind plain, at the head of the parent's list of that
// type. The name must not already be in that list. Throws std::bad_alloc.
Node *TreeNewChild(TreeStore &store, Node *parent, ChildType type, std::string_view name);

// The node's address rebuilt from the root down; the root's is "".
std::string TreeNodeAddress(const Node *node);

// Takes a node (not the root) out of its parent's list and out of the
// name index, leaving it detached with its subtree. The node keeps its
// `parent`, so addresses within the subtree still read as before.
TreePlace TreeUnlink(TreeStore &store, Node *node) noexcept;

// Puts a node taken out by TreeUnlink back where it was.
void TreeRelink(TreeStore &store, Node *node, const TreePlace &place) noexcept;

// Frees a detached node and its subtree, without recursion; it needs no
// extra memory, though it uses some to go faster when it can. Every node becomes unreachable before any value is freed,
// so traces run by freeing values never see a half-removed subtree.
void TreeFreeSubtree(TreeStore &store, Node *node);

// Unlinks and frees a node with its subtree.
void TreeRemove(TreeStore &store, Node *node);

// Moves the child in the index when its parent changed.
void TreeRekeyChild(TreeStore &store, Node *child, Node *newParent) noexcept;

}  // namespace kelb

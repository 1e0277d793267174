// tree_store.cpp --
//
//     Lookup, creation, unlinking and freeing of nodes.

#include "tree/tree_store.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tree/tree_address.h"

namespace kelb {

namespace {

enum class WalkMode { Find, Create, Probe };

// The child named `name` in the parent's list of that type, as stored
// (a link is not followed), or none.
Node *RawChild(TreeStore &store, Node *parent, ChildType type, std::string_view name) noexcept {
    return store.names.Find(TreeNameHash(parent, type, name), NameKey{parent, type, name});
}

Node *NewChild(TreeStore &store, Node *parent, ChildType type, std::string_view name,
               std::uint32_t hash, std::size_t vacant);

// Makes the rest of an address, from the name already read on, under
// `current`. Returns the last node made, or none on a tokenizer error
// (the nodes made so far stay).
Node *CreateRest(TreeStore &store, std::string_view address, Node *current, ChildType type,
                 std::string_view name, int end, std::int64_t position, TreeError &error) {
    current = TreeNewChild(store, current, type, name);
    while (end != kTokenEnd) {
        type = static_cast<ChildType>(end);
        end = TreeNextToken(address, name, position, error);
        if (end == kTokenError) return nullptr;
        current = TreeNewChild(store, current, type, name);
    }
    return current;
}

// How the common lookup reads address characters: part of a name, a
// separator, or one that plain names never hold (blanks, controls,
// anything past "~").
enum : unsigned char { kNameChar, kNameSeparator, kNameOdd };
constexpr std::array<unsigned char, 256> kCharClass = [] {
    std::array<unsigned char, 256> classes{};
    for (std::size_t c = 0; c < classes.size(); ++c) {
        classes[c] = c <= ' ' || c > '~' ? kNameOdd : kNameChar;
    }
    classes['/'] = classes['.'] = kNameSeparator;
    return classes;
}();

unsigned char ClassOf(char c) noexcept { return kCharClass[static_cast<unsigned char>(c)]; }

// Remembers that the first `length` characters of an address led to
// `parent` (as a parent of that type), for the next lookup to start there.
void Remember(LookupMemo &memo, const char *text, std::size_t length, Node *parent,
              ChildType type) noexcept {
    if (length > LookupMemo::kCapacity) return;
    std::copy(text, text + length, memo.text);
    memo.length = length;
    memo.parent = parent;
    memo.type = type;
}

// The common lookup, from `current` (reached through the first `i`
// characters of the address): every name left is plain (printable, no
// blank, "/" or "." only between names, at most kTreeMaxName long) and
// leads to an existing node that is not a link. With `create`, the last
// name may also be missing: it is made. Anything else (an odd character,
// an empty or overlong name, a missing node, a link) gives none, and the
// full walk then finds the answer or the error.
Node *FindPlainFrom(TreeStore &store, std::string_view address, Node *current, ChildType type,
                    std::size_t i, bool create) {
    const char *text = address.data();
    const std::size_t size = address.size();
    const std::size_t resumedAt = i;
    for (;;) {
        const std::size_t start = i;
        while (i < size && ClassOf(text[i]) == kNameChar) ++i;
        const std::size_t length = i - start;
        if (length == 0 || length > kTreeMaxName) return nullptr;
        if (i < size && ClassOf(text[i]) != kNameSeparator) return nullptr;
        const std::string_view name(text + start, length);
        const std::uint32_t hash = TreeNameHash(current, type, name);
        std::size_t vacant;
        Node *child = store.names.Find(hash, NameKey{current, type, name}, vacant);
        if (child == nullptr && create && i == size) {
            child = NewChild(store, current, type, name, hash, vacant);
        }
        if (child == nullptr || child->kind == NodeKind::Link) return nullptr;
        if (i == size) {
            if (start != resumedAt) Remember(store.memo, text, start, current, type);
            return child;
        }
        type = text[i] == '/' ? ChildType::I : ChildType::J;
        current = child;
        ++i;
    }
}

// Whether text begins with the memo's text. Memos are mostly a few
// characters long, which a loop compares for less than a call.
bool SamePrefix(const char *text, const LookupMemo &memo) noexcept {
    constexpr std::size_t kShort = 16;
    if (memo.length > kShort) return std::memcmp(text, memo.text, memo.length) == 0;
    for (std::size_t k = 0; k < memo.length; ++k) {
        if (text[k] != memo.text[k]) return false;
    }
    return true;
}

// The common lookup: from where the last one left off when the address
// begins the same way, else from the root.
Node *FindPlain(TreeStore &store, std::string_view address, bool create) {
    const std::size_t size = address.size();
    if (size < 2 || address[0] != '/' || address[1] == '#') return nullptr;
    const LookupMemo &memo = store.memo;
    if (memo.parent != nullptr && size > memo.length && SamePrefix(address.data(), memo)) {
        return FindPlainFrom(store, address, memo.parent, memo.type, memo.length, create);
    }
    return FindPlainFrom(store, address, store.treeRoot, ChildType::I, 1, create);
}

// The walk behind TreeLookup and TreeProbe. In Probe mode a missing name
// stops the walk: the rest is only checked, and the deepest node reached
// is returned with *complete false.
Node *Walk(TreeStore &store, std::string_view address, WalkMode mode, bool *complete,
           TreeError &error) {
    if (complete != nullptr) *complete = true;
    if (TreeAddressAt(address, 0) != '/') {
        TreeSetError(error, kTreeBadAddress, address);
        return nullptr;
    }
    const char second = TreeAddressAt(address, 1);
    if (second == '#') {
        NodeId id = 0;
        Node *node = TreeParseIdentity(address.substr(2), id) ? TreeNodeById(store, id) : nullptr;
        if (node == nullptr) TreeSetError(error, kTreeInvalidRecord, address);
        return node;
    }
    Node *current = store.treeRoot;
    if (second == '\0') return current;
    ChildType type = ChildType::I;
    std::int64_t position = 0;
    std::string_view name;
    for (;;) {
        const int end = TreeNextToken(address, name, position, error);
        if (end == kTokenError) return nullptr;
        Node *raw = RawChild(store, current, type, name);
        Node *child = raw != nullptr ? TreeFollow(store, raw) : nullptr;
        // A link whose target is gone has just become a plain node; when
        // creating, that node is the one to use, not a second of its name.
        if (child == nullptr && raw != nullptr && mode == WalkMode::Create) child = raw;
        if (child != nullptr) {
            current = child;
            if (end == kTokenEnd) return current;
            type = static_cast<ChildType>(end);
            continue;
        }
        switch (mode) {
        case WalkMode::Find:
            TreeSetError(error, kTreeNodeNotFound, address);
            return nullptr;
        case WalkMode::Probe:
            *complete = false;
            return TreeCheckAddress(address, error) ? current : nullptr;
        case WalkMode::Create:
            return CreateRest(store, address, current, type, name, end, position, error);
        }
    }
}

NodeId NextFreeId(TreeStore &store) noexcept {
    // Identities are handed out in order and reused only after 2^32 - 1
    // creations; from then on 0 (the root's) and those still in use are
    // skipped.
    if (++store.lastId == 0) store.idsWrapped = true;
    while (store.idsWrapped && (store.lastId == 0 || TreeNodeById(store, store.lastId) != nullptr)) {
        ++store.lastId;
    }
    return store.lastId;
}

// Moves a node's children into the chain after it: j-children first, then
// i-children, then what followed the node before.
void SpliceChildren(Node *node) noexcept {
    for (ChildType type : {ChildType::I, ChildType::J}) {
        Node *head = node->ChildList(type);
        if (head == nullptr) continue;
        Node *last = head;
        while (last->next != nullptr) last = last->next;
        last->next = node->next;
        node->next = head;
        node->ChildList(type) = nullptr;
    }
}

// The node after `node` in a walk of the subtree of `top` (none: the
// whole tree) that visits children before siblings, or none at the end.
Node *NextBelow(Node *node, const Node *top) noexcept {
    if (Node *child = node->ChildList(ChildType::I)) return child;
    if (Node *child = node->ChildList(ChildType::J)) return child;
    for (; node != top && node->parent != nullptr; node = node->parent) {
        if (node->next != nullptr) return node->next;
        Node *jChildren = node->parent->ChildList(ChildType::J);
        if (node->parentType == ChildType::I && jChildren != nullptr) return jChildren;
    }
    return nullptr;
}

Node *NextInTree(Node *node) noexcept { return NextBelow(node, nullptr); }

// The first live node but the root for which found(node) holds, or none:
// the tree's nodes first, then those of a subtree detached while it moves.
template <typename Found>
Node *FindLiveNode(TreeStore &store, Found found) {
    for (Node *top : {store.treeRoot, store.moving}) {
        if (top == nullptr) continue;
        for (Node *node = top; node != nullptr; node = NextBelow(node, top)) {
            if (node != store.treeRoot && found(node)) return node;
        }
    }
    return nullptr;
}

// Enters a node in the identity index. Throws std::bad_alloc.
void EnterById(TreeStore &store, Node *node) {
    store.ids.Insert(node);
    node->knownById = 1;
}

// Enters every live node in the identity index. Returns false when memory
// runs out (the nodes entered so far stay entered).
bool CompleteIds(TreeStore &store) noexcept {
    try {
        FindLiveNode(store, [&store](Node *node) {
            if (!node->knownById) EnterById(store, node);
            return false;
        });
    } catch (...) {
        return false;
    }
    store.idsComplete = true;
    return true;
}

// Refills both indexes with the nodes still in the tree, reading only
// those: when most of the store goes, this never touches the removed
// nodes' slots. Gives up, with nothing changed, unless the nodes found are
// exactly the members that stay (another detached subtree would be missed).
bool RefillFromTree(TreeStore &store, std::vector<std::uintptr_t> names,
                    std::vector<std::uintptr_t> ids, std::size_t staying) noexcept {
    const bool withIds = store.idsComplete;
    NameIndex newNames;
    IdTable newIds;
    newNames.ResetInto(std::move(names));
    if (withIds) newIds.ResetInto(std::move(ids));
    for (Node *node = NextInTree(store.treeRoot); node != nullptr; node = NextInTree(node)) {
        if (newNames.size() == staying) return false;
        newNames.Restore(node);
        if (withIds) newIds.Restore(node);
    }
    if (newNames.size() != staying) return false;
    store.names = std::move(newNames);
    if (withIds) store.ids = std::move(newIds);
    return true;
}

// When a large share of the store goes at once (removing a big subtree),
// the name index (and a complete identity index; a partial one has lost
// the chain's nodes already) is rebuilt without the chain from `top` in
// one pass each,
// instead of erasing its nodes one by one at scattered places. When fewer
// nodes stay than go, the pass is over the tree that stays; otherwise it
// is over the slots, with the chain's identities cleared to mark it (no
// live node but the root has identity 0, and the root is in neither
// index). Returns false, with nothing changed, when the subtree is small
// or there is no memory.
bool DropFromIndexesAtOnce(TreeStore &store, Node *top, std::size_t count) noexcept {
    constexpr std::size_t kMinimum = 1024;
    if (count < kMinimum || count * 4 < store.liveNodes) return false;
    const std::size_t staying = store.liveNodes - std::min(count, store.liveNodes);
    std::vector<std::uintptr_t> names;
    std::vector<std::uintptr_t> ids;
    const auto allocate = [&]() noexcept {
        try {
            names = NameIndex::SlotsFor(staying);
            if (store.idsComplete) ids = IdTable::SlotsFor(staying);
            return true;
        } catch (...) {
            return false;
        }
    };
    if (!allocate()) return false;
    if (staying <= count) {
        if (RefillFromTree(store, std::move(names), std::move(ids), staying)) return true;
        if (!allocate()) return false;
    }
    for (Node *node = top; node != nullptr; node = node->next) node->id = 0;
    const auto doomed = [](const Node *node) { return node->id == 0; };
    store.names.RebuildInto(std::move(names), doomed);
    if (store.idsComplete) store.ids.RebuildInto(std::move(ids), doomed);
    return true;
}

// Each store's epochs start in a range of their own, so that a lookup
// remembered against one store never passes for one of the next.
std::atomic<std::uint64_t> nextStoreEpoch{1};

}  // namespace

TreeStore::TreeStore()
    : treeRoot(pool.Allocate({})), pathEpoch(nextStoreEpoch.fetch_add(std::uint64_t{1} << 32)) {}

void TreePathsChanged(TreeStore &store) noexcept {
    store.memo.Forget();
    ++store.pathEpoch;
}

TreeStore::~TreeStore() {
    for (ChildType type : {ChildType::I, ChildType::J}) {
        while (Node *child = treeRoot->ChildList(type)) TreeRemove(*this, child);
    }
    pool.Release(treeRoot);
}

Node *TreeLookup(TreeStore &store, std::string_view address, bool create, TreeError &error) {
    // The common cases, finding a node or making one under an existing
    // parent, take the short way.
    if (Node *node = FindPlain(store, address, create)) return node;
    return Walk(store, address, create ? WalkMode::Create : WalkMode::Find, nullptr, error);
}

Node *TreeProbe(TreeStore &store, std::string_view address, bool &complete, TreeError &error) {
    return Walk(store, address, WalkMode::Probe, &complete, error);
}

Node *TreeNodeById(TreeStore &store, NodeId id) noexcept {
    if (id == 0) return nullptr;
    if (Node *node = store.ids.Find(IdTraits::HashKey(id), id)) return node;
    // Not handed out, or gone; an identity past the last one was never used.
    if (store.idsComplete || (!store.idsWrapped && id > store.lastId)) return nullptr;
    if (CompleteIds(store)) return store.ids.Find(IdTraits::HashKey(id), id);
    return FindLiveNode(store, [id](const Node *node) { return node->id == id; });
}

NodeId TreeNodeIdentity(TreeStore &store, Node *node) {
    if (!node->knownById && node != store.treeRoot) EnterById(store, node);
    return node->id;
}

Node *TreeFollow(TreeStore &store, Node *node) noexcept {
    if (node->kind != NodeKind::Link) return node;
    if (Node *target = TreeNodeById(store, node->linkTarget)) return target;
    TreePathsChanged(store);
    node->kind = NodeKind::Plain;
    node->value = nullptr;
    return nullptr;
}

Node *TreeNewChild(TreeStore &store, Node *parent, ChildType type, std::string_view name) {
    name = name.substr(0, kTreeMaxName);
    return NewChild(store, parent, type, name, TreeNameHash(parent, type, name), NameIndex::kNoSlot);
}

namespace {

// TreeNewChild with the name (at most kTreeMaxName long) already hashed
// and, unless it is kNoSlot, the name index's slot for it from a missed
// Find with nothing changed since.
Node *NewChild(TreeStore &store, Node *parent, ChildType type, std::string_view name,
               std::uint32_t hash, std::size_t vacant) {
    Node *node = store.pool.Allocate(name);
    node->parent = parent;
    node->parentType = type;
    node->hash = hash;
    node->id = NextFreeId(store);
    try {
        store.names.InsertAt(node, vacant);
        if (store.idsComplete) {
            try {
                EnterById(store, node);
            } catch (...) {
                store.names.Erase(node);
                throw;
            }
        }
    } catch (...) {
        store.pool.Release(node);
        throw;
    }
    Node *&head = parent->ChildList(type);
    node->next = head;
    if (head != nullptr) head->prev = node;
    head = node;
    ++store.liveNodes;
    return node;
}

}  // namespace

std::string TreeNodeAddress(const Node *node) {
    std::size_t length = 0;
    for (const Node *n = node; n->parent != nullptr; n = n->parent) length += 1 + n->nameLength;
    std::string address(length, '\0');
    for (const Node *n = node; n->parent != nullptr; n = n->parent) {
        length -= n->nameLength;
        std::copy(n->name().begin(), n->name().end(), address.begin() + length);
        address[--length] = n->parentType == ChildType::I ? '/' : '.';
    }
    return address;
}

TreePlace TreeUnlink(TreeStore &store, Node *node) noexcept {
    TreePathsChanged(store);
    TreePlace place{node->parent, node->parentType, node->prev};
    store.names.Remove(node);
    if (node->prev != nullptr) {
        node->prev->next = node->next;
    } else {
        node->parent->ChildList(node->parentType) = node->next;
    }
    if (node->next != nullptr) node->next->prev = node->prev;
    node->next = node->prev = nullptr;
    // `parent` stays: a detached subtree still knows where it was, so its
    // nodes can name their former addresses while they are being freed.
    return place;
}

void TreeRelink(TreeStore &store, Node *node, const TreePlace &place) noexcept {
    Node *&head = place.parent->ChildList(place.type);
    Node *after = place.prev != nullptr ? place.prev->next : head;
    node->prev = place.prev;
    node->next = after;
    if (after != nullptr) after->prev = node;
    if (place.prev != nullptr) {
        place.prev->next = node;
    } else {
        head = node;
    }
    // TreeUnlink left the table its size, so the node fits back.
    store.names.Restore(node);
}

// A value lies at the end of a line of pointers (holder, variable, object,
// text) scattered over the heap. A pass over many nodes that reads each
// one's value asks for the levels of the values ahead of it, each level
// kSpacing nodes after the one above, so that the reads of several nodes
// are on their way at once instead of one after another. Without value
// operations there is nothing to ask for.
template <typename Visit>
void VisitChainPrefetching(const TreeValueOps *ops, Node *top, int levels, Visit visit) {
    constexpr int kSpacing = 4;
    constexpr int kMaxLevels = 4;
    levels = ops != nullptr ? std::min(levels, kMaxLevels) : 0;
    std::array<Node *, kMaxLevels> ahead{};
    for (int level = 0; level < levels; ++level) {
        ahead[level] = top;
        for (int i = 0; i < kSpacing * (levels - level) && ahead[level] != nullptr; ++i) {
            ahead[level] = ahead[level]->next;
        }
    }
    for (Node *node = top; node != nullptr;) {
        for (int level = 0; level < levels; ++level) {
            if (ahead[level] == nullptr) continue;
            ops->PrefetchValue(*ahead[level], level);
            ahead[level] = ahead[level]->next;
        }
        Node *next = node->next;  // visit may release the node
        visit(node);
        node = next;
    }
}

void TreeFreeSubtree(TreeStore &store, Node *top) {
    // First make the whole subtree one chain through `next`, detach its
    // values and take every node out of both indexes; no script runs
    // meanwhile.
    top->next = nullptr;
    std::size_t count = 0;
    const bool forgetIds = !store.idsComplete && store.ids.size() != 0;
    for (Node *node = top; node != nullptr; node = node->next) {
        ++count;
        SpliceChildren(node);
        if (forgetIds && node->knownById) {
            store.ids.Erase(node);
            node->knownById = 0;
        }
    }
    TreeValueOps *ops = store.valueOps;
    if (ops != nullptr) {
        VisitChainPrefetching(ops, top, 2, [ops](Node *node) {
            if (node->kind == NodeKind::Value) ops->DetachValue(*node);
        });
    }
    if (!DropFromIndexesAtOnce(store, top, count)) {
        for (Node *node = top; node != nullptr; node = node->next) {
            if (node != top) store.names.Erase(node);  // TreeUnlink took the top out
            if (node->knownById) store.ids.Erase(node);
        }
    }
    store.liveNodes -= count;
    // Then free values (their traces may run scripts, which can no longer
    // reach any of these nodes) and records.
    VisitChainPrefetching(ops, top, 4, [&store, ops](Node *node) {
        if (ops != nullptr && node->kind == NodeKind::Value) ops->FreeValue(*node);
        store.pool.Release(node);
    });
}

void TreeRemove(TreeStore &store, Node *node) {
    TreeUnlink(store, node);
    TreeFreeSubtree(store, node);
}

void TreeRekeyChild(TreeStore &store, Node *child, Node *newParent) noexcept {
    TreePathsChanged(store);
    child->parent = newParent;
    store.names.Rekey(child, TreeNameHash(newParent, child->parentType, child->name()));
}

}  // namespace kelb

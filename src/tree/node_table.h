// node_table.h --
//
//     An open-addressing hash set of node pointers (linear probing,
//     backward-shift deletion, so no tombstones). The key lives in the node
//     itself; Traits says how to hash a node and how to compare it with a
//     key. The store keeps two: the name index, which finds a child by
//     (parent, type, name) in constant time however many siblings it has,
//     and the identity table, which maps identities to live nodes.

#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tree/tree_node.h"

namespace kelb {

template <typename Traits>
class NodeTable {
public:
    using Key = typename Traits::Key;

    // The node matching key, or nullptr. `hash` is Traits::HashKey(key).
    Node *Find(std::uint32_t hash, const Key &key) const noexcept {
        std::size_t vacant;
        return Find(hash, key, vacant);
    }

    // The same; on a miss, `vacant` is the empty slot that ended the
    // search (kNoSlot in an empty table), where InsertAt can put a member
    // of that hash as long as the table did not change meanwhile.
    static constexpr std::size_t kNoSlot = ~std::size_t{0};
    Node *Find(std::uint32_t hash, const Key &key, std::size_t &vacant) const noexcept {
        vacant = kNoSlot;
        if (count_ == 0) return nullptr;
        const std::uintptr_t tag = Tag(hash);
        for (std::size_t i = Slot(hash);; i = (i + 1) & mask_) {
            const std::uintptr_t slot = slots_[i];
            if (slot == 0) {
                vacant = i;
                return nullptr;
            }
            if ((slot & kTagMask) != tag) continue;
            Node *node = NodeOf(slot);
            if (Traits::HashOf(node) == hash && Traits::Matches(node, key)) return node;
        }
    }

    // Insert, with the slot a missed Find gave for the node's hash.
    void InsertAt(Node *node, std::size_t vacant) {
        if (vacant == kNoSlot || (count_ + 1) * 10 > slots_.size() * 7) return Insert(node);
        slots_[vacant] = reinterpret_cast<std::uintptr_t>(node) | Tag(Traits::HashOf(node));
        ++count_;
    }

    // Adds a node whose key is not in the table. Throws std::bad_alloc
    // (the table is then unchanged).
    void Insert(Node *node) {
        if ((count_ + 1) * 10 > slots_.size() * 7) Resize(slots_.empty() ? 16 : slots_.size() * 2);
        Place(node);
        ++count_;
    }

    // Removes the node (by identity); nothing if it is not in the table.
    void Erase(const Node *node) noexcept {
        if (!EraseNoShrink(node)) return;
        if (slots_.size() > 64 && count_ * 16 < slots_.size()) ShrinkQuietly();
    }

    // Removes the node without giving memory back, so that Restore can
    // put it back without allocating.
    void Remove(const Node *node) noexcept { EraseNoShrink(node); }
    void Restore(Node *node) noexcept {
        Place(node);
        ++count_;
    }

    // Moves a member to the slot of its new hash (its key changed). The
    // table keeps its size, so this cannot fail.
    void Rekey(Node *node, std::uint32_t newHash) noexcept {
        if (!EraseNoShrink(node)) return;
        Traits::SetHash(node, newHash);
        Place(node);
        ++count_;
    }

    // Zeroed slots for a table that will hold `keep` members, for
    // RebuildInto. Throws std::bad_alloc.
    static std::vector<std::uintptr_t> SlotsFor(std::size_t keep) {
        std::size_t capacity = 16;
        while ((keep + 1) * 10 > capacity * 7) capacity *= 2;
        return std::vector<std::uintptr_t>(capacity, 0);
    }

    // Drops every member for which doomed(node) holds, in one pass over
    // the slots, placing the others into `slots` (from SlotsFor, sized
    // for at least as many as remain). Cheaper than erasing one member at
    // a time when a large share of the table goes.
    template <typename Doomed>
    void RebuildInto(std::vector<std::uintptr_t> slots, Doomed doomed) noexcept {
        for (std::uintptr_t slot : ResetInto(std::move(slots))) {
            if (slot != 0 && !doomed(NodeOf(slot))) Restore(NodeOf(slot));
        }
    }

    // Empties the table into `slots` (from SlotsFor), to be refilled with
    // Restore by whoever knows every member that stays. Returns the old
    // slots.
    std::vector<std::uintptr_t> ResetInto(std::vector<std::uintptr_t> slots) noexcept {
        slots.swap(slots_);
        mask_ = slots_.size() - 1;
        count_ = 0;
        return slots;
    }

    std::size_t size() const noexcept { return count_; }
    std::size_t capacity() const noexcept { return slots_.size(); }

private:
    // A slot holds a node pointer (aligned to kNodeAlignment) whose low
    // bits carry the top bits of its hash, so that most probes that miss
    // are told apart without reading the node.
    static constexpr std::uintptr_t kTagMask = kNodeAlignment - 1;
    static std::uintptr_t Tag(std::uint32_t hash) noexcept { return (hash >> 28) & kTagMask; }
    static Node *NodeOf(std::uintptr_t slot) noexcept {
        return reinterpret_cast<Node *>(slot & ~kTagMask);
    }
    std::size_t Slot(std::uint32_t hash) const noexcept { return hash & mask_; }

    bool EraseNoShrink(const Node *node) noexcept {
        if (count_ == 0) return false;
        std::size_t i = Slot(Traits::HashOf(node));
        while (NodeOf(slots_[i]) != node) {
            if (slots_[i] == 0) return false;
            i = (i + 1) & mask_;
        }
        // Backward shift: pull later members of the probe run into the gap
        // whenever the gap lies on their way from their home slot.
        for (std::size_t j = (i + 1) & mask_; slots_[j] != 0; j = (j + 1) & mask_) {
            const std::size_t home = Slot(Traits::HashOf(NodeOf(slots_[j])));
            if (((j - home) & mask_) >= ((j - i) & mask_)) {
                slots_[i] = slots_[j];
                i = j;
            }
        }
        slots_[i] = 0;
        --count_;
        return true;
    }

    void Place(Node *node) noexcept {
        const std::uint32_t hash = Traits::HashOf(node);
        std::size_t i = Slot(hash);
        while (slots_[i] != 0) i = (i + 1) & mask_;
        slots_[i] = reinterpret_cast<std::uintptr_t>(node) | Tag(hash);
    }

    void Resize(std::size_t capacity) {
        std::vector<std::uintptr_t> old(capacity, 0);
        old.swap(slots_);
        mask_ = capacity - 1;
        for (std::uintptr_t slot : old) {
            if (slot != 0) Place(NodeOf(slot));
        }
    }

    // Giving memory back is optional: if the smaller table cannot be
    // allocated, the larger one simply stays.
    void ShrinkQuietly() noexcept {
        try {
            Resize(slots_.size() / 4);
        } catch (...) {
        }
    }

    std::vector<std::uintptr_t> slots_;
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
};

// Children by (parent, type, name).
struct NameKey {
    const Node *parent;
    ChildType type;
    std::string_view name;
};

struct NameTraits {
    using Key = NameKey;
    static std::uint32_t HashOf(const Node *node) noexcept { return node->hash; }
    static void SetHash(Node *node, std::uint32_t hash) noexcept { node->hash = hash; }
    static bool Matches(const Node *node, const NameKey &key) noexcept {
        if (node->parent != key.parent || node->parentType != key.type) return false;
        // Names are short: a loop costs less than a call to memcmp.
        const std::string_view name = node->name();
        if (name.size() != key.name.size()) return false;
        for (std::size_t k = 0; k < name.size(); ++k) {
            if (name[k] != key.name[k]) return false;
        }
        return true;
    }
};

// Nodes by identity.
struct IdTraits {
    using Key = NodeId;
    static std::uint32_t HashKey(NodeId id) noexcept {
        std::uint32_t h = id;  // murmur3's finaliser
        h ^= h >> 16;
        h *= 0x85EBCA6Bu;
        h ^= h >> 13;
        h *= 0xC2B2AE35u;
        h ^= h >> 16;
        return h;
    }
    static std::uint32_t HashOf(const Node *node) noexcept { return HashKey(node->id); }
    static bool Matches(const Node *node, NodeId id) noexcept { return node->id == id; }
};

using NameIndex = NodeTable<NameTraits>;
using IdTable = NodeTable<IdTraits>;

}  // namespace kelb

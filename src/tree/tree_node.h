// tree_node.h --
//
//     The node record of the tree store. Every node has a name, a kind
//     (plain, value or link), the way it hangs under its parent ("/" or
//     "."), and two sibling lists of children, each kept newest first. The
//     name is stored at the end of the record, in the same allocation, so a
//     node costs one allocation sized to its name.

#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tree/record_pool.h"

namespace kelb {

// Names of one address step hold at most this many characters.
inline constexpr std::size_t kTreeMaxName = 31;

// Node records are allocated at this alignment; the indexes use the low
// bits of node pointers.
inline constexpr std::size_t kNodeAlignment = 16;

enum class NodeKind : std::uint8_t {
    Plain = 0,  // no value
    Value = 1,  // `value` holds the node's value
    Link = 2,   // `linkTarget` names the node this one stands for
};

// How a node hangs under its parent: attached with "/" (i) or "." (j).
enum class ChildType : std::uint8_t { None = 0, I = 1, J = 2 };

// A node's identity: unique among live nodes, never 0 (the root's).
using NodeId = std::uint32_t;

// What a value node holds. Defined by whoever gives nodes their values
// (the Tcl binding; the unit tests bring their own); the store only moves
// the pointer around and asks TreeValueOps to free or copy it.
struct TreeValue;

struct Node {
    Node *parent = nullptr;     // none for the root
    Node *prev = nullptr;       // neighbours in the parent's list of this
    Node *next = nullptr;       // node's type; prev makes unlinking O(1)
    Node *iChildren = nullptr;  // head (newest) of the "/" children
    Node *jChildren = nullptr;  // head (newest) of the "." children
    union {
        TreeValue *value = nullptr;  // kind Value only; none otherwise
        NodeId linkTarget;           // kind Link only: the target's identity
    };
    NodeId id = 0;              // identity; 0 for the root
    std::uint32_t hash = 0;     // name-index hash of (parent, type, name)
    NodeKind kind = NodeKind::Plain;
    ChildType parentType = ChildType::None;
    std::uint8_t nameLength : 7 = 0;
    // Whether the store's identity index holds the node (tree_store.h).
    std::uint8_t knownById : 1 = 0;
    // The name starts here and runs on past the record as far as it needs
    // (the pool sizes each allocation to its name), so that short names
    // cost nothing beyond the record's own padding.
    char nameText[1];

    std::string_view name() const noexcept;
    Node *&ChildList(ChildType type) noexcept {
        return type == ChildType::I ? iChildren : jChildren;
    }
    Node *ChildList(ChildType type) const noexcept {
        return type == ChildType::I ? iChildren : jChildren;
    }
};

// Where a node's name begins, from the start of the record.
inline constexpr std::size_t kNodeNameOffset = offsetof(Node, nameText);

inline std::string_view Node::name() const noexcept {
    return {reinterpret_cast<const char *>(this) + kNodeNameOffset, nameLength};
}

// Node records of one store. Records of a size are carved in order from
// large blocks and reused newest first, so that nodes made one after the
// other lie side by side in memory whatever the heap went through before:
// walking a long list of siblings then reads memory in order. Blocks are
// kept until the pool goes. Under the address sanitizer every byte that
// holds no live node is poisoned.
class NodePool {
public:
    NodePool() noexcept = default;
    NodePool(const NodePool &) = delete;
    NodePool &operator=(const NodePool &) = delete;

    // A detached plain node with a copy of the name. Throws std::bad_alloc.
    Node *Allocate(std::string_view name);
    void Release(Node *node) noexcept;

private:
    static constexpr std::size_t kGranule = kNodeAlignment;
    // A record never takes less than the whole Node.
    static constexpr std::size_t kClasses =
        (std::max(sizeof(Node), kNodeNameOffset + kTreeMaxName + 1) + kGranule - 1) / kGranule + 1;
    static std::size_t ClassOf(std::size_t nameLength) noexcept {
        return (std::max(sizeof(Node), kNodeNameOffset + nameLength + 1) + kGranule - 1) / kGranule;
    }
    PoolFreeList free_[kClasses];
    PoolBlocks blocks_;
};
static_assert(PoolBlocks::kPoolAlignment % kNodeAlignment == 0, "node records keep their alignment");

// The hash under which a node with this parent, type and name is indexed:
// FNV-1a over the parent, the type and the name but its last character,
// finished with a 64-bit mixer; eight times the last character is then
// added, so that names differing only there (c10 ... c19) sit one cache
// line of the index apart: a loop over such names reads the index in
// order, a line at a time, and a search for a name not there yet (a
// creation) meets a free slot after a step or two instead of walking a
// solid run of its neighbours.
// The top four bits carry the last character too, so that the index tells
// such neighbours apart without reading them.
inline std::uint32_t TreeNameHash(const Node *parent, ChildType type, std::string_view name) noexcept {
    std::uint64_t h = (static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(parent)) ^
                       static_cast<std::uint64_t>(type)) *
                      0x9E3779B97F4A7C15ull;
    std::uint32_t last = 0;
    if (!name.empty()) {
        const std::size_t body = name.size() - 1;
        for (std::size_t k = 0; k < body; ++k) {
            h = (h ^ static_cast<unsigned char>(name[k])) * 0x100000001B3ull;
        }
        last = static_cast<unsigned char>(name[body]);
    }
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    const auto spread = static_cast<std::uint32_t>(h) + 8 * last;
    return (spread & 0x0FFFFFFFu) | ((last & 0xFu) << 28);
}

}  // namespace kelb

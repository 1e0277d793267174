// tree_node.cpp --
//
//     Allocation of node records and the hash of a node's place in the
//     tree.

#include "tree/tree_node.h"

#include <cstring>
#include <new>

namespace kelb {

Node *Node::Create(std::string_view name) {
    if (name.size() > kTreeMaxName) name = name.substr(0, kTreeMaxName);
    void *memory = ::operator new(sizeof(Node) + name.size() + 1);
    Node *node = new (memory) Node;
    char *text = reinterpret_cast<char *>(node + 1);
    if (!name.empty()) std::memcpy(text, name.data(), name.size());
    text[name.size()] = '\0';
    node->nameLength = static_cast<std::uint8_t>(name.size());
    return node;
}

void Node::Destroy(Node *node) noexcept {
    if (node == nullptr) return;
    node->~Node();
    ::operator delete(static_cast<void *>(node));
}

// FNV-1a over the name, seeded with the parent and the type, finished with
// a 64-bit mixer so that the low bits used by the index are well spread.
std::uint32_t TreeNameHash(const Node *parent, ChildType type, std::string_view name) noexcept {
    std::uint64_t h = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(parent));
    h = (h ^ static_cast<std::uint64_t>(type)) * 0x9E3779B97F4A7C15ull;
    for (unsigned char c : name) h = (h ^ c) * 0x100000001B3ull;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return static_cast<std::uint32_t>(h);
}

}  // namespace kelb

// tree_node.cpp --
//
//     Allocation of node records and the hash of a node's place in the
//     tree.

#include "tree/tree_node.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "tree/record_pool.h"

namespace kelb {

namespace {

Node *Construct(void *memory, std::string_view name) noexcept {
    Node *node = new (memory) Node;
    char *text = reinterpret_cast<char *>(node) + kNodeNameOffset;
    if (!name.empty()) std::memcpy(text, name.data(), name.size());
    text[name.size()] = '\0';
    node->nameLength = static_cast<std::uint8_t>(name.size());
    return node;
}

}  // namespace

Node *NodePool::Allocate(std::string_view name) {
    if (name.size() > kTreeMaxName) name = name.substr(0, kTreeMaxName);
    const std::size_t sizeClass = ClassOf(name.size());
    void *memory = free_[sizeClass].Pop(sizeClass * kGranule);
    if (memory == nullptr) memory = blocks_.Carve(sizeClass * kGranule);
    return Construct(memory, name);
}

void NodePool::Release(Node *node) noexcept {
    if (node == nullptr) return;
    const std::size_t sizeClass = ClassOf(node->nameLength);
    node->~Node();
    free_[sizeClass].Push(node, sizeClass * kGranule);
}

}  // namespace kelb

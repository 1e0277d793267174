// tree_node.cpp --
//
//     Allocation of node records and the hash of a node's place in the
//     tree.

#include "tree/tree_node.h"

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define KELB_POOL_POISONING 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELB_POOL_POISONING 1
#endif
#endif

#if defined(KELB_POOL_POISONING)
#include <sanitizer/asan_interface.h>
#endif

namespace kelb {

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

// Under the address sanitizer, memory of the pool that holds no live node
// is poisoned, so that the pool that ships is the one the sanitizer checks.
void Poison([[maybe_unused]] void *memory, [[maybe_unused]] std::size_t size) noexcept {
#if defined(KELB_POOL_POISONING)
    ASAN_POISON_MEMORY_REGION(memory, size);
#endif
}

void Unpoison([[maybe_unused]] void *memory, [[maybe_unused]] std::size_t size) noexcept {
#if defined(KELB_POOL_POISONING)
    ASAN_UNPOISON_MEMORY_REGION(memory, size);
#endif
}

Node *Construct(void *memory, std::string_view name) noexcept {
    Node *node = new (memory) Node;
    char *text = reinterpret_cast<char *>(node) + kNodeNameOffset;
    if (!name.empty()) std::memcpy(text, name.data(), name.size());
    text[name.size()] = '\0';
    node->nameLength = static_cast<std::uint8_t>(name.size());
    return node;
}

}  // namespace

NodePool::~NodePool() {
    for (std::size_t i = 0; i < blockCount_; ++i) {
        Unpoison(blocks_[i], kBlockSize);
        ::operator delete(blocks_[i], std::align_val_t{kNodeAlignment});
    }
    delete[] blocks_;
}

void *NodePool::Carve(std::size_t size) {
    if (cursor_ == nullptr || static_cast<std::size_t>(limit_ - cursor_) < size) {
        if (blockCount_ == blockCapacity_) {
            const std::size_t capacity = blockCapacity_ == 0 ? 16 : blockCapacity_ * 2;
            void **grown = new void *[capacity];
            std::copy(blocks_, blocks_ + blockCount_, grown);
            delete[] blocks_;
            blocks_ = grown;
            blockCapacity_ = capacity;
        }
        void *block = ::operator new(kBlockSize, std::align_val_t{kNodeAlignment});
        blocks_[blockCount_++] = block;
        cursor_ = static_cast<char *>(block);
        limit_ = cursor_ + kBlockSize;
        Poison(block, kBlockSize);
    }
    void *memory = cursor_;
    cursor_ += size;
    Unpoison(memory, size);
    return memory;
}

Node *NodePool::Allocate(std::string_view name) {
    if (name.size() > kTreeMaxName) name = name.substr(0, kTreeMaxName);
    const std::size_t sizeClass = ClassOf(name.size());
    void *memory = free_[sizeClass];
    if (memory != nullptr) {
        Unpoison(memory, sizeClass * kGranule);
        free_[sizeClass] = free_[sizeClass]->next;
    } else {
        memory = Carve(sizeClass * kGranule);
    }
    return Construct(memory, name);
}

void NodePool::Release(Node *node) noexcept {
    if (node == nullptr) return;
    const std::size_t sizeClass = ClassOf(node->nameLength);
    node->~Node();
    auto *record = reinterpret_cast<FreeRecord *>(node);
    record->next = free_[sizeClass];
    free_[sizeClass] = record;
    // Free records are off limits until handed out again, so that the
    // sanitizer reports any use of a released node.
    Poison(record, sizeClass * kGranule);
}

// FNV-1a over the parent, the type and the name but its last character,
// finished with a 64-bit mixer; the last character is then added, so that
// names differing only there (c10 ... c19) sit in neighbouring slots of
// the index and a loop over such names reads the index in order. The top
// four bits carry the last character too, so that the index tells such
// neighbours apart without reading them.
std::uint32_t TreeNameHash(const Node *parent, ChildType type, std::string_view name) noexcept {
    std::uint64_t h = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(parent));
    h = (h ^ static_cast<std::uint64_t>(type)) * 0x9E3779B97F4A7C15ull;
    const unsigned char last = name.empty() ? 0 : static_cast<unsigned char>(name.back());
    if (!name.empty()) name.remove_suffix(1);
    for (unsigned char c : name) h = (h ^ c) * 0x100000001B3ull;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    const auto spread = static_cast<std::uint32_t>(h) + last;
    return (spread & 0x0FFFFFFFu) | (static_cast<std::uint32_t>(last & 0xF) << 28);
}

}  // namespace kelb

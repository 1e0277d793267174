// record_pool.cpp --
//
//     Fixed-size record pools and the sanitizer poisoning they share with
//     the node pool.

#include "tree/record_pool.h"

#include <algorithm>
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

void PoolPoison([[maybe_unused]] void *memory, [[maybe_unused]] std::size_t size) noexcept {
#if defined(KELB_POOL_POISONING)
    ASAN_POISON_MEMORY_REGION(memory, size);
#endif
}

void PoolUnpoison([[maybe_unused]] void *memory, [[maybe_unused]] std::size_t size) noexcept {
#if defined(KELB_POOL_POISONING)
    ASAN_UNPOISON_MEMORY_REGION(memory, size);
#endif
}

RecordPool::RecordPool(std::size_t recordSize) noexcept
    : size_((std::max(recordSize, sizeof(void *)) + alignof(void *) - 1) & ~(alignof(void *) - 1)) {}

PoolBlocks::~PoolBlocks() {
    for (void *block : blocks_) {
        PoolUnpoison(block, kBlockSize);
        ::operator delete(block, std::align_val_t{kPoolAlignment});
    }
}

void *PoolBlocks::Carve(std::size_t size) {
    if (cursor_ == nullptr || static_cast<std::size_t>(limit_ - cursor_) < size) {
        blocks_.reserve(blocks_.size() + 1);
        void *block = ::operator new(kBlockSize, std::align_val_t{kPoolAlignment});
        blocks_.push_back(block);
        cursor_ = static_cast<char *>(block);
        limit_ = cursor_ + kBlockSize;
        PoolPoison(block, kBlockSize);
    }
    void *memory = cursor_;
    cursor_ += size;
    PoolUnpoison(memory, size);
    return memory;
}

void *PoolFreeList::Pop(std::size_t size) noexcept {
    FreeRecord *record = head_;
    if (record == nullptr) return nullptr;
    PoolUnpoison(record, size);
    head_ = record->next;
    return record;
}

void PoolFreeList::Push(void *record, std::size_t size) noexcept {
    auto *free = static_cast<FreeRecord *>(record);
    free->next = head_;
    head_ = free;
    PoolPoison(record, size);
}

void *RecordPool::Allocate() {
    if (void *record = free_.Pop(size_)) return record;
    return blocks_.Carve(size_);
}

void RecordPool::Release(void *record) noexcept {
    if (record != nullptr) free_.Push(record, size_);
}

}  // namespace kelb

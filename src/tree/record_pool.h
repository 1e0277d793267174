// record_pool.h --
//
//     Records of one size carved in order from large blocks and reused
//     newest first: they cost no allocator header, and records made one
//     after the other lie side by side in memory whatever the heap went
//     through before. Blocks are kept until the pool goes. Under the
//     address sanitizer every byte that holds no live record is poisoned,
//     so that the pool that ships is the one the sanitizer checks.

#pragma once

#include <cstddef>
#include <vector>

namespace kelb {

// Marks pool memory off limits (or usable again) for the address
// sanitizer; nothing in other builds.
void PoolPoison(void *memory, std::size_t size) noexcept;
void PoolUnpoison(void *memory, std::size_t size) noexcept;

// Large blocks, each aligned to kPoolAlignment, carved in order and kept
// until the carver goes. What is not handed out yet stays poisoned.
class PoolBlocks {
public:
    static constexpr std::size_t kPoolAlignment = 16;
    static constexpr std::size_t kBlockSize = 64 * 1024;

    PoolBlocks() noexcept = default;
    ~PoolBlocks();
    PoolBlocks(const PoolBlocks &) = delete;
    PoolBlocks &operator=(const PoolBlocks &) = delete;

    // The next size bytes (size at most kBlockSize). Throws std::bad_alloc.
    void *Carve(std::size_t size);

private:
    char *cursor_ = nullptr;  // unused rest of the newest block
    char *limit_ = nullptr;
    std::vector<void *> blocks_;
};

// Records given back, handed out again newest first. While they wait
// they are off limits, so that the sanitizer reports any use of one.
class PoolFreeList {
public:
    // A waiting record of `size` bytes, or none.
    void *Pop(std::size_t size) noexcept;
    // Takes back a record of `size` bytes whose object is destroyed.
    void Push(void *record, std::size_t size) noexcept;

private:
    struct FreeRecord {
        FreeRecord *next;
    };
    FreeRecord *head_ = nullptr;
};

class RecordPool {
public:
    // Records of recordSize bytes (rounded up to pointer alignment).
    explicit RecordPool(std::size_t recordSize) noexcept;
    RecordPool(const RecordPool &) = delete;
    RecordPool &operator=(const RecordPool &) = delete;

    // Uninitialised memory for one record. Throws std::bad_alloc.
    void *Allocate();
    // Takes back a record whose object is already destroyed.
    void Release(void *record) noexcept;

private:
    std::size_t size_;
    PoolFreeList free_;
    PoolBlocks blocks_;
};

}  // namespace kelb

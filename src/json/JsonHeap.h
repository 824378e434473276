#pragma once

#include <cstddef>

namespace qingtong {

// Allocator of one JSON tree. Small blocks are carved from chunks and recycled through
// per-size free lists, so a tree that is edited over and over reuses what it freed and
// does not grow; large blocks come from malloc and are tracked. Destroying the heap
// releases every block at once, so freeing a whole document needs no walk of the tree.
// The chunks of a destroyed heap are kept in a small per-thread cache (at most 32 MiB) for
// the next document of the same thread, which spares the page faults of fresh memory.
// Not thread-safe: a tree is used by one thread at a time.
class JsonHeap {
public:
    JsonHeap() = default;
    ~JsonHeap();
    JsonHeap(const JsonHeap&) = delete;
    JsonHeap& operator=(const JsonHeap&) = delete;

    // Uninitialised storage for bytes, aligned to 8 (enough for every record of a tree:
    // pointers, 64-bit numbers, UTF-16 units); nullptr when memory runs out.
    void* allocate(std::size_t bytes)
    {
        std::size_t cls = bytes == 0 ? 1 : (bytes + kGranule - 1) / kGranule;
        if (cls > kClasses)
            return allocateLarge(bytes);
        if (FreeBlock* block = m_free[cls]) {
            m_free[cls] = block->next;
            return block;
        }
        std::size_t size = cls * kGranule;
        if (static_cast<std::size_t>(m_end - m_cursor) < size)
            return carve(size);
        void* block = m_cursor;
        m_cursor += size;
        return block;
    }
    // Gives back a block of allocate(bytes); bytes must be the size it was asked for.
    void release(void* block, std::size_t bytes);

    // Bytes taken from the system (chunks and large blocks), for the memory figures.
    std::size_t reservedBytes() const { return m_reserved; }

    struct Chunk { Chunk* next; std::size_t size; };

private:
    // Fine size classes: most blocks are short texts, where rounding up is what costs.
    static constexpr std::size_t kGranule = 8;
    static constexpr std::size_t kClasses = 64; // blocks up to 512 bytes come from chunks

    struct FreeBlock { FreeBlock* next; };
    struct alignas(16) Large { Large* prev; Large* next; std::size_t size; };

    void* carve(std::size_t bytes);
    void* allocateLarge(std::size_t bytes);

    FreeBlock* m_free[kClasses + 1] = {};
    char* m_cursor = nullptr;
    char* m_end = nullptr;
    Chunk* m_chunks = nullptr;
    Large* m_large = nullptr;
    std::size_t m_nextChunk = 2048;
    std::size_t m_reserved = 0;
};

} // namespace qingtong

#include "json/JsonHeap.h"

#include <cstdlib>

namespace qingtong {

namespace {

constexpr std::size_t kMaxChunk = std::size_t(1) << 20;
constexpr std::size_t kCacheLimit = std::size_t(32) << 20;
constexpr std::size_t alignUp(std::size_t n, std::size_t a) { return (n + a - 1) / a * a; }

// Chunks of destroyed heaps, kept warm for the next document of this thread.
struct ChunkCache {
    JsonHeap::Chunk* chunks = nullptr;
    std::size_t bytes = 0;
    bool alive = true; // heaps destroyed after this thread's cache free their chunks themselves

    ~ChunkCache()
    {
        alive = false;
        while (chunks) {
            JsonHeap::Chunk* next = chunks->next;
            std::free(chunks);
            chunks = next;
        }
    }

    JsonHeap::Chunk* take(std::size_t atLeast)
    {
        for (JsonHeap::Chunk** link = &chunks; *link; link = &(*link)->next) {
            if ((*link)->size >= atLeast) {
                JsonHeap::Chunk* chunk = *link;
                *link = chunk->next;
                bytes -= chunk->size;
                return chunk;
            }
        }
        return nullptr;
    }

    bool keep(JsonHeap::Chunk* chunk)
    {
        if (!alive || bytes + chunk->size > kCacheLimit)
            return false;
        chunk->next = chunks;
        chunks = chunk;
        bytes += chunk->size;
        return true;
    }
};

thread_local ChunkCache t_cache;

} // namespace

JsonHeap::~JsonHeap()
{
    while (m_chunks) {
        Chunk* next = m_chunks->next;
        if (!t_cache.keep(m_chunks))
            std::free(m_chunks);
        m_chunks = next;
    }
    while (m_large) {
        Large* next = m_large->next;
        std::free(m_large);
        m_large = next;
    }
}

void* JsonHeap::carve(std::size_t bytes)
{
    if (static_cast<std::size_t>(m_end - m_cursor) < bytes) {
        std::size_t header = alignUp(sizeof(Chunk), kGranule);
        std::size_t size = m_nextChunk;
        while (size < header + bytes)
            size *= 2;
        Chunk* chunk = t_cache.take(header + bytes);
        if (chunk) {
            size = chunk->size;
        } else {
            chunk = static_cast<Chunk*>(std::malloc(size));
            if (!chunk)
                return nullptr;
            chunk->size = size;
        }
        chunk->next = m_chunks;
        m_chunks = chunk;
        m_reserved += size;
        m_cursor = reinterpret_cast<char*>(chunk) + header;
        m_end = reinterpret_cast<char*>(chunk) + size;
        if (m_nextChunk < kMaxChunk)
            m_nextChunk *= 2;
    }
    void* block = m_cursor;
    m_cursor += bytes;
    return block;
}

void* JsonHeap::allocateLarge(std::size_t bytes)
{
    auto* large = static_cast<Large*>(std::malloc(sizeof(Large) + bytes));
    if (!large)
        return nullptr;
    large->prev = nullptr;
    large->next = m_large;
    large->size = bytes;
    if (m_large)
        m_large->prev = large;
    m_large = large;
    m_reserved += sizeof(Large) + bytes;
    return large + 1;
}

void JsonHeap::release(void* block, std::size_t bytes)
{
    if (!block)
        return;
    if (bytes == 0)
        bytes = 1;
    std::size_t cls = (bytes + kGranule - 1) / kGranule;
    if (cls <= kClasses) {
        auto* free = static_cast<FreeBlock*>(block);
        free->next = m_free[cls];
        m_free[cls] = free;
        return;
    }
    Large* large = static_cast<Large*>(block) - 1;
    if (large->prev)
        large->prev->next = large->next;
    else
        m_large = large->next;
    if (large->next)
        large->next->prev = large->prev;
    m_reserved -= sizeof(Large) + large->size;
    std::free(large);
}

} // namespace qingtong

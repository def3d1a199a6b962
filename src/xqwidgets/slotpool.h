#ifndef XQWIDGETS_SLOTPOOL_H
#define XQWIDGETS_SLOTPOOL_H

#include "xqwidgets/largepages.h"

#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

// Under AddressSanitizer the pool's free slots are poisoned, so that an
// object used after its deletion is reported like any other use after free.
#if defined(__SANITIZE_ADDRESS__)
#define XQWIDGETS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define XQWIDGETS_ASAN 1
#endif
#endif
#ifdef XQWIDGETS_ASAN
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

namespace xqwidgets
{

// Fixed-size slots of `Size` bytes carved from large blocks. A released slot
// goes on a free list threaded through the unused slots; a new one is taken
// from the newest block in address order, so that objects made one after the
// other lie side by side (a walk over many of them in the order they were
// made reads memory in sequence) and a block's pages are touched only as
// objects come. Each block is twice the one before, so that what the pool
// holds stays within about twice what its objects need, whatever their
// number: a small file's lines take no more than they fill. Blocks of
// megabytes, which only a pool of many objects reaches (a large file, a big
// symbol tree), are on large pages, where first touches of fresh memory would
// cost more than filling it; a large page is resident once touched, so the
// part of one a pool has not filled yet is never more than a fraction of
// what the blocks before it hold.
// For objects of one thread at a time. When the last object goes, the blocks
// go too, so memory is given back. A free slot is poisoned for
// AddressSanitizer (a no-op in other builds): only the pool itself, between
// unpoison and poison, reads its link.
//
// Use it from a class's operator new and delete, for that class's own size
// (a derived class of another size goes to the global allocator).
template <size_t Size, size_t Align> class SlotPool
{
public:
    void* allocate()
    {
        Slot* s = m_free;
        if (s) {
            ASAN_UNPOISON_MEMORY_REGION(s, sizeof(Slot));
            m_free = s->next;
        } else {
            if (m_next == m_end)
                refill();
            s = m_next++;
            ASAN_UNPOISON_MEMORY_REGION(s, sizeof(Slot));
        }
        ++m_live;
        return s;
    }

    void release(void* p)
    {
        auto* s = static_cast<Slot*>(p);
        s->next = m_free;
        ASAN_POISON_MEMORY_REGION(s, sizeof(Slot));
        m_free = s;
        if (--m_live == 0)
            releaseAll();
    }

    // The bytes of the blocks the pool holds now.
    size_t reservedBytes() const
    {
        size_t total = 0;
        for (size_t i = 0; i < m_blocks.size(); ++i)
            total += blockSize(i);
        return total;
    }

private:
    union Slot {
        Slot* next;
        alignas(Align) unsigned char bytes[Size];
    };
    static constexpr size_t kFirstBlock = 4096 * sizeof(Slot);
    static constexpr size_t kLargestBlock = size_t(32) << 20;
    // Blocks from this size on are on large pages.
    static constexpr size_t kLargeFrom = size_t(4) << 20;

    static bool onLargePages(size_t bytes) { return bytes >= kLargeFrom; }

    // The size of the block at `index`: double the one before up to the
    // largest, in whole large pages once on them.
    static size_t blockSize(size_t index)
    {
        size_t bytes = kFirstBlock;
        for (size_t i = 0; i < index && bytes < kLargestBlock; ++i)
            bytes *= 2;
        if (onLargePages(bytes))
            bytes = (bytes + kLargePageSize - 1) & ~(kLargePageSize - 1);
        return bytes;
    }

    void refill()
    {
        const size_t bytes = blockSize(m_blocks.size());
        void* block = onLargePages(bytes) ? allocateLargePages(bytes) : ::operator new(bytes);
        m_blocks.push_back(block);
        m_next = static_cast<Slot*>(block);
        m_end = m_next + bytes / sizeof(Slot);
        ASAN_POISON_MEMORY_REGION(block, bytes);
    }

    void releaseAll()
    {
        for (size_t i = 0; i < m_blocks.size(); ++i) {
            const size_t bytes = blockSize(i);
            ASAN_UNPOISON_MEMORY_REGION(m_blocks[i], bytes);
            if (onLargePages(bytes))
                std::free(m_blocks[i]);
            else
                ::operator delete(m_blocks[i]);
        }
        m_blocks.clear();
        m_free = m_next = m_end = nullptr;
    }

    Slot* m_free = nullptr;
    // The untouched rest of the newest block.
    Slot* m_next = nullptr;
    Slot* m_end = nullptr;
    std::vector<void*> m_blocks;
    size_t m_live = 0;
};

// The operator new and delete of a class whose objects come from a slot pool
// of their own: objects of the class's size from the pool, made at first use
// and never destroyed (objects may outlive statics); a derived class of
// another size from the global allocator. With `Locked`, the pool is used
// under a lock, for objects made on one thread and freed on another.
template <typename T, bool Locked = false> class PooledAllocation
{
public:
    static void* allocate(size_t size)
    {
        if (size != sizeof(T))
            return ::operator new(size);
        Shared& s = shared();
        const std::unique_lock<std::mutex> locked = s.lock();
        return s.pool.allocate();
    }

    static void release(void* p, size_t size)
    {
        if (!p)
            return;
        if (size != sizeof(T)) {
            ::operator delete(p);
            return;
        }
        Shared& s = shared();
        const std::unique_lock<std::mutex> locked = s.lock();
        s.pool.release(p);
    }

private:
    struct Shared {
        std::mutex mutex;
        SlotPool<sizeof(T), alignof(T)> pool;
        std::unique_lock<std::mutex> lock()
        {
            return Locked ? std::unique_lock<std::mutex>(mutex) : std::unique_lock<std::mutex>();
        }
    };
    static Shared& shared()
    {
        static Shared* s = new Shared;
        return *s;
    }
};

} // namespace xqwidgets

#endif

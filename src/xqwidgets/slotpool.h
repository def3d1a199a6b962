#ifndef XQWIDGETS_SLOTPOOL_H
#define XQWIDGETS_SLOTPOOL_H

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

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

// Memory of `bytes` (best a multiple of 2 MiB, to which it is rounded up)
// advised to be backed by huge pages: touched for the first time, it costs a
// page fault per 2 MiB rather than per 4 KiB, which on a large structure
// costs more than filling it. Given back with std::free().
inline void* allocateHugePages(size_t bytes)
{
    constexpr size_t kHuge = size_t(2) << 20;
    const size_t size = (bytes + kHuge - 1) & ~(kHuge - 1);
    void* p = std::aligned_alloc(kHuge, size);
    if (!p)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(p, size, MADV_HUGEPAGE);
#endif
    return p;
}

// Fixed-size slots of `Size` bytes carved from large blocks, with a free list
// threaded through the unused slots. A fresh block hands out its slots in
// address order, so objects made one after the other lie side by side: a walk
// over many of them in the order they were made reads memory in sequence
// rather than one scattered cache line per object. For objects of one thread
// only. When the last object goes, the blocks go too, so memory is given back.
// A free slot is poisoned for AddressSanitizer (a no-op in other builds): only
// the pool itself, between unpoison and poison, reads its link.
//
// With `HugePages`, blocks are taken by allocateHugePages(): for objects made
// by the hundred thousand, where first touches of fresh memory dominate.
//
// Use it from a class's operator new and delete, for that class's own size
// (a derived class of another size goes to the global allocator).
template <size_t Size, size_t Align, size_t SlotsPerBlock = 4096, bool HugePages = false>
class SlotPool
{
public:
    void* allocate()
    {
        if (!m_free)
            refill();
        Slot* s = m_free;
        ASAN_UNPOISON_MEMORY_REGION(s, sizeof(Slot));
        m_free = s->next;
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

private:
    union Slot {
        Slot* next;
        alignas(Align) unsigned char bytes[Size];
    };

    void refill()
    {
        const size_t bytes = sizeof(Slot) * SlotsPerBlock;
        auto* block =
            static_cast<Slot*>(HugePages ? allocateHugePages(bytes) : ::operator new(bytes));
        m_blocks.push_back(block);
        for (size_t i = SlotsPerBlock; i-- > 0;) {
            block[i].next = m_free;
            m_free = &block[i];
        }
        ASAN_POISON_MEMORY_REGION(block, sizeof(Slot) * SlotsPerBlock);
    }

    void releaseAll()
    {
        for (Slot* b : m_blocks) {
            ASAN_UNPOISON_MEMORY_REGION(b, sizeof(Slot) * SlotsPerBlock);
            if (HugePages)
                std::free(b);
            else
                ::operator delete(b);
        }
        m_blocks.clear();
        m_free = nullptr;
    }

    Slot* m_free = nullptr;
    std::vector<Slot*> m_blocks;
    size_t m_live = 0;
};

} // namespace xqwidgets

#endif

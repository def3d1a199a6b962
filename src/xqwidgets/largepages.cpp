#include "xqwidgets/largepages.h"

#include <QtGlobal>

#include <cstdlib>
#include <new>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace xqwidgets
{

namespace
{

constexpr size_t kLarge = kLargePageSize;

void advise(quintptr begin, quintptr end)
{
#ifdef Q_OS_LINUX
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), size_t(end - begin), MADV_HUGEPAGE);
#else
    Q_UNUSED(begin);
    Q_UNUSED(end);
#endif
}

} // namespace

void preferLargePages(void* data, size_t bytes)
{
    if (bytes < 2 * kLarge)
        return;
    const auto at = reinterpret_cast<quintptr>(data);
    advise((at + kLarge - 1) & ~quintptr(kLarge - 1), (at + bytes) & ~quintptr(kLarge - 1));
}

void* allocateLargePages(size_t bytes)
{
    const size_t size = (bytes + kLarge - 1) & ~(kLarge - 1);
    void* p = std::aligned_alloc(kLarge, size);
    if (!p)
        throw std::bad_alloc();
    advise(reinterpret_cast<quintptr>(p), reinterpret_cast<quintptr>(p) + size);
    return p;
}

} // namespace xqwidgets

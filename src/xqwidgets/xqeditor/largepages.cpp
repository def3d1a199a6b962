#include "xqwidgets/xqeditor/largepages.h"

#include <QtGlobal>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace xqwidgets
{

void preferLargePages(void* data, size_t bytes)
{
#ifdef Q_OS_LINUX
    constexpr size_t kLarge = size_t(2) << 20;
    if (bytes < 2 * kLarge)
        return;
    const auto begin = (reinterpret_cast<quintptr>(data) + kLarge - 1) & ~quintptr(kLarge - 1);
    const auto end = (reinterpret_cast<quintptr>(data) + bytes) & ~quintptr(kLarge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), size_t(end - begin), MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(bytes);
#endif
}

} // namespace xqwidgets

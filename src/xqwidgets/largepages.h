#ifndef XQWIDGETS_LARGEPAGES_H
#define XQWIDGETS_LARGEPAGES_H

#include <cstddef>

namespace xqwidgets
{

// The size of a large page on the machines this is built for.
constexpr size_t kLargePageSize = size_t(2) << 20;

// Asks for large pages under a buffer of megabytes about to be filled: on
// many machines each first touch of a small page costs more than copying
// it, so a line of 5 MB would spend most of a keystroke on them, and the
// text of a 10 MB file a third of its loading. Only the whole large pages
// inside the buffer are asked for; a buffer under 4 MiB keeps small pages.
void preferLargePages(void* data, size_t bytes);

// Memory of `bytes`, rounded up to whole large pages and aligned to them,
// asked to be backed by large pages: for structures made of a few hundred
// thousand parts. Given back with std::free().
void* allocateLargePages(size_t bytes);

} // namespace xqwidgets

#endif

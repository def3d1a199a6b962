#ifndef XQWIDGETS_LARGEPAGES_H
#define XQWIDGETS_LARGEPAGES_H

#include <cstddef>

namespace xqwidgets
{

// Asks for large pages under a buffer of megabytes about to be filled: on
// many machines each first touch of a small page costs more than copying
// it, so a line of 5 MB would spend most of a keystroke on them, and the
// text of a 10 MB file a third of its loading. Buffers under 4 MiB, and the
// ends of a buffer that do not fill a large page, keep small pages.
void preferLargePages(void* data, size_t bytes);

} // namespace xqwidgets

#endif

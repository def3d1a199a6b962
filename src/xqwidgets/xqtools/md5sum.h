#ifndef XQWIDGETS_XQTOOLS_MD5SUM_H
#define XQWIDGETS_XQTOOLS_MD5SUM_H

#include <QString>

namespace xqwidgets
{

// A short key text for any string: MD5 over the string's UTF-8 bytes and a
// terminating zero byte, each digest byte in lower-case hex without a leading
// zero (so 16 to 32 characters). Keys already stored depend on this form.
QString md5sum(const QString& text);

} // namespace xqwidgets

#endif

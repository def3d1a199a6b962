#ifndef XQWIDGETS_HIGHLIGHTS_EMB_H
#define XQWIDGETS_HIGHLIGHTS_EMB_H

#include <QByteArray>

namespace xqwidgets
{

// The text of the built-in highlighting definition whose key is `name`
// (matched exactly, e.g. "cpp"); an empty array when there is none.
const QByteArray& qembed_findData(const char* name);

// The keys of the built-in definitions in table order, ended by a null pointer.
extern const char* const embed_keys[];

} // namespace xqwidgets

#endif

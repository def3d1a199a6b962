#ifndef XQWIDGETS_DEBUGLOG_H
#define XQWIDGETS_DEBUGLOG_H

#include <QLoggingCategory>

namespace xqwidgets
{

// Diagnostics of the undo framework and of the editing component (calls of
// deprecated entry points, undo with nothing to undo, refused folds). They
// are for developers and stay silent unless enabled, for instance with
// QT_LOGGING_RULES="xqwidgets.*=true".
Q_DECLARE_LOGGING_CATEGORY(lcUndo)
Q_DECLARE_LOGGING_CATEGORY(lcEditor)

} // namespace xqwidgets

#endif

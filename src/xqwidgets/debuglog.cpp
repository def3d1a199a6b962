#include "xqwidgets/debuglog.h"

namespace xqwidgets
{

// Only critical messages get through unless the rules enable more.
Q_LOGGING_CATEGORY(lcUndo, "xqwidgets.undo", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcEditor, "xqwidgets.editor", QtCriticalMsg)

} // namespace xqwidgets

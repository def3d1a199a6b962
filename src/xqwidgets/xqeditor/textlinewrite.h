#ifndef XQWIDGETS_TEXTLINEWRITE_H
#define XQWIDGETS_TEXTLINEWRITE_H

#include "xqwidgets/xqeditor/textline.h"

namespace xqwidgets
{

// The only way to change a line's text, for the document's write path: the
// document itself and its undo commands, each of which calls the document's
// updateLine/updateLines over the line right after (that reruns the context
// pass and grows the revision). Tests use it on lines that belong to no
// document. Everyone else changes text through the document.
struct TextLineWrite {
    static void set(TextLine& l, const QString& s) { l.set(s); }
    static void replace(TextLine& l, uint index, uint len, const QString& s)
    {
        l.replace(index, len, s);
    }
    // Past the end pads with blanks.
    static void insert(TextLine& l, qsizetype index, const QString& s) { l.insert(index, s); }
    static void remove(TextLine& l, qsizetype index, qsizetype len) { l.remove(index, len); }
    static void append(TextLine& l, const QString& s) { l.append(s); }
    static void truncate(TextLine& l, qsizetype len) { l.truncate(len); }
    // Removes trailing whitespace; true when something was removed.
    static bool removeSpaces(TextLine& l) { return l.removeSpaces(); }
};

} // namespace xqwidgets

#endif

#ifndef XQWIDGETS_TEXTEDITOR_P_H
#define XQWIDGETS_TEXTEDITOR_P_H

// The editor frame's private record, shared by the units that implement the
// frame (texteditor.cpp, texteditorfind.cpp).

#include "texteditor.h"
#include "textfile.h"

#include <QRect>
#include <QString>

namespace xqwidgets
{

class TextEditor::Private
{
public:
    TextEditor* self = nullptr;
    TextDocument* doc = nullptr;
    TextEditorManager* manager = nullptr;
    TextView* view = nullptr;
    QString path;
    // Loads and saves the file; holds the encoding name and the byte-order
    // mark of the file last read.
    TextFile file;
    bool invalidBytes = false;
    QString error;

    // State of the last plain find.
    QString findText;
    bool findCaseSensitive = false;
    bool findWholeWord = false;
    bool findFromCursor = false;
    bool findInSelection = false;
    QRect selectionForFind;

    // The plain search on the stored state; selects the match.
    bool find();
};

} // namespace xqwidgets

#endif

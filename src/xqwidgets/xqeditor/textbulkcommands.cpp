#include "xqwidgets/xqeditor/textbulkcommands.h"

#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textline.h"

#include <QStringList>

namespace xqwidgets
{

namespace
{
bool useBulk = true;
}

bool bulkLineCommands()
{
    return useBulk;
}

void setBulkLineCommands(bool on)
{
    useBulk = on;
}

// --- CmdRemoveLines ----------------------------------------------------------

CmdRemoveLines::CmdRemoveLines(TextDocument* doc, int line, int count)
    : QtCommand(QString(), true), doc(doc), line(line), count(count)
{
}

void CmdRemoveLines::redo()
{
    oldText = doc->m_removeLines(line, count);
    // Where the last of the single-line removals puts the caret.
    doc->setMacroCursorPosition(line, 0);
}

void CmdRemoveLines::undo()
{
    doc->m_insertLines(line, oldText);
    doc->setMacroCursorPosition(line, 0);
}

bool CmdRemoveLines::mergeMeWith(QtCommand*)
{
    return false;
}

// --- CmdInsertLines ----------------------------------------------------------

CmdInsertLines::CmdInsertLines(TextDocument* doc, int line, const QString& text)
    : QtCommand(QString(), true), doc(doc), line(line), count(0), text(text)
{
}

void CmdInsertLines::redo()
{
    count = doc->m_insertLines(line, text);
    // The single-line form ends with inserting the last piece at column 0.
    const int last = line + count - 1;
    doc->setMacroCursorPosition(last, int(doc->lineOf(last)->size()));
}

void CmdInsertLines::undo()
{
    // The single-line form is undone from its last line up.
    doc->m_removeLines(line, count, true);
    doc->setMacroCursorPosition(line, 0);
}

bool CmdInsertLines::mergeMeWith(QtCommand*)
{
    return false;
}

// --- Pushing -------------------------------------------------------------------

void pushRemoveLines(TextDocument* doc, int line, int count)
{
    if (count <= 0)
        return;
    if (useBulk) {
        doc->undoStack()->push(new CmdRemoveLines(doc, line, count));
        return;
    }
    for (int k = 0; k < count; ++k)
        doc->removeLine(line);
}

void pushInsertLines(TextDocument* doc, int line, const QString& text)
{
    if (useBulk) {
        doc->undoStack()->push(new CmdInsertLines(doc, line, text));
        return;
    }
    const QStringList pieces = text.split(QLatin1Char('\n'));
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        doc->makeLine(line + int(k));
        doc->cmdInsert(line + int(k), 0, pieces.at(k));
    }
}

} // namespace xqwidgets

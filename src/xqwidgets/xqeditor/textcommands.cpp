#include "xqwidgets/xqeditor/textcommands.h"

#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textfolding.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textlinewrite.h"

#include <new>

namespace xqwidgets
{

// Copies a line's text into storage of its own: a command outlives the line
// and must not keep the document's load buffer alive.
static QString ownCopy(QStringView s)
{
    return s.toString();
}

// --- CmdInsert ---------------------------------------------------------------

CmdInsert::CmdInsert(TextDocument* doc, int line, int column, const QString& text)
    : QtCommand(QString(), true), doc(doc), line(line), column(column), text(text)
{
    setCanMerge(true);
    setDescription(TextDocument::shortDescription(QStringLiteral("insert ") + text));
}

void CmdInsert::redo()
{
    if (!text.isEmpty()) {
        TextLine* l = doc->lineOf(line);
        const qsizetype before = l->size();
        if (column > before)
            TextLineWrite::append(*l, QString(column - before, QLatin1Char(' ')));
        try {
            TextLineWrite::insert(*l, column, text);
        } catch (const std::bad_alloc&) {
            // Refused whole: the blanks go again (see QtUndoStack::push).
            TextLineWrite::truncate(*l, before);
            throw;
        }
        doc->updateLine(line);
        doc->folding()->ensureLineVisible(line);
    }
    doc->setMacroCursorPosition(line, column + int(text.size()));
}

void CmdInsert::undo()
{
    if (!text.isEmpty()) {
        TextLineWrite::remove(*doc->lineOf(line), column, text.size());
        doc->updateLine(line);
        doc->folding()->ensureLineVisible(line);
    }
    doc->setMacroCursorPosition(line, column);
}

bool CmdInsert::mergeMeWith(QtCommand* other)
{
    auto* o = qobject_cast<CmdInsert*>(other);
    if (!o || o->line != line || o->column != column + text.size())
        return false;
    if (!text.isEmpty() && !o->text.isEmpty() && text.back().isLetterOrNumber() &&
        !o->text.front().isLetterOrNumber())
        return false;
    text += o->text;
    setDescription(TextDocument::shortDescription(QStringLiteral("insert ") + text));
    return true;
}

// --- CmdRemove ---------------------------------------------------------------

CmdRemove::CmdRemove(TextDocument* doc, int line, int column, int length)
    : QtCommand(QString(), true), doc(doc), line(line), column(column), length(length)
{
    setCanMerge(true);
}

void CmdRemove::redo()
{
    TextLine* l = doc->lineOf(line);
    const int n = int(l->size()) - column;
    if (n < length)
        length = n;
    if (length < 1) {
        oldText = QString();
    } else {
        oldText = ownCopy(QStringView(*l).mid(column, length));
        TextLineWrite::remove(*l, column, length);
    }
    doc->setMacroCursorPosition(line, column);
    doc->updateLine(line);
    doc->folding()->ensureLineVisible(line);
    setDescription(TextDocument::shortDescription(QStringLiteral("remove ") + oldText));
}

void CmdRemove::undo()
{
    TextLine* l = doc->lineOf(line);
    if (!oldText.isEmpty())
        TextLineWrite::insert(*l, column, oldText);
    doc->setMacroCursorPosition(line, column + int(oldText.size()));
    doc->updateLine(line);
    doc->folding()->ensureLineVisible(line);
}

bool CmdRemove::mergeMeWith(QtCommand*)
{
    return false;
}

// --- CmdMakeLine -------------------------------------------------------------

CmdMakeLine::CmdMakeLine(TextDocument* doc, int line)
    : QtCommand(QString(), true), doc(doc), line(line)
{
}

void CmdMakeLine::redo()
{
    doc->m_insertLine(line);
    doc->setMacroCursorPosition(line, 0);
}

void CmdMakeLine::undo()
{
    doc->m_removeLine(line);
    doc->setMacroCursorPosition(line, 0);
}

bool CmdMakeLine::mergeMeWith(QtCommand*)
{
    return false;
}

// --- CmdRemoveLine -----------------------------------------------------------

CmdRemoveLine::CmdRemoveLine(TextDocument* doc, int line)
    : QtCommand(QString(), true), doc(doc), line(line)
{
}

void CmdRemoveLine::redo()
{
    oldText = ownCopy(*doc->lineOf(line));
    doc->m_removeLine(line);
    doc->setMacroCursorPosition(line, 0);
}

void CmdRemoveLine::undo()
{
    doc->m_insertLine(line);
    TextLineWrite::set(*doc->lineOf(line), oldText);
    doc->updateLine(line);
    doc->setMacroCursorPosition(line, 0);
}

bool CmdRemoveLine::mergeMeWith(QtCommand*)
{
    return false;
}

} // namespace xqwidgets

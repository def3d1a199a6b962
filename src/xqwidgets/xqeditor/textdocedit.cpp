// The user-level editing operations of TextDocument: typing and pasting,
// line breaks with auto-indent, Delete and Backspace, indent and unindent,
// and the selection commands. Each is built from the document's primitive
// commands inside one macro, so it undoes as one step.

#include "xqwidgets/xqeditor/textdoc.h"

#include "xqwidgets/xqeditor/textbulkcommands.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textlinewrite.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QStringList>

namespace xqwidgets
{

namespace
{

// The manager's editing options; a document without a manager edits with
// the plainest behaviour.
struct EditOptions {
    bool saveTab = false;
    bool vertical = false;
    bool ovr = false;
    bool autoIndent = false;
    bool backspaceIndent = false;

    explicit EditOptions(const TextEditorManager* m)
    {
        if (!m)
            return;
        saveTab = m->fSaveTab;
        vertical = m->fVerticalSelection;
        ovr = m->fOvr;
        autoIndent = m->fAutoIndent;
        backspaceIndent = m->fBackspaceIndent;
    }
};

// A selection rectangle's corners in order (left <= right, top <= bottom).
// QRect::normalized() would shift the swapped edges by one, which is wrong
// for a rectangle made of two positions.
struct Corners {
    int left, top, right, bottom;
    // The selection's corners run the same way in both directions; then the
    // first line's column is the left edge, else the right one.
    bool sameWay;
};

Corners corners(const QRect& r)
{
    Corners c;
    c.left = qMin(r.left(), r.right());
    c.right = qMax(r.left(), r.right());
    c.top = qMin(r.top(), r.bottom());
    c.bottom = qMax(r.top(), r.bottom());
    c.sameWay = (r.right() >= r.left() && r.bottom() >= r.top()) ||
                (r.right() < r.left() && r.bottom() < r.top());
    return c;
}

bool hasSelection(const QRect& r)
{
    return r.topLeft() != r.bottomRight();
}

} // namespace

void TextDocument::insert(const QString& text, int line, int col)
{
    if (isReadOnly())
        return;
    if (DocumentView* v = activeView())
        v->cursorPosition(line, col);
    const EditOptions o(manager());
    const int tab = qMax(1, spacesInTab()); // a tab stop every `tab` columns
    macroBegin(QStringLiteral("insert ") + text, line, col);

    // Each tab becomes the blanks up to the next tab stop, counted from the
    // display column the insertion point has in its line.
    auto expand = [&](const QString& piece) {
        if (o.saveTab || !piece.contains(QLatin1Char('\t')))
            return piece;
        const TextLine* l = lineOf(line);
        const qsizetype len = l->size();
        int v = 0;
        for (int i = 0; i < col; ++i) {
            if (i < len && l->at(i) == QLatin1Char('\t'))
                v += tab - v % tab;
            else
                ++v;
        }
        QString s;
        const QStringList parts = piece.split(QLatin1Char('\t'));
        for (qsizetype p = 0; p < parts.size(); ++p) {
            s += parts.at(p);
            if (p + 1 < parts.size())
                s += QString(tab - int((s.size() + v) % tab), QLatin1Char(' '));
        }
        return s;
    };

    const qsizetype firstBreak = text.indexOf(QLatin1Char('\n'));
    if (firstBreak >= 0 && !o.ovr && !o.vertical) {
        // A stream of several lines: the rest of the line goes after the
        // last piece, and every further piece becomes a new line. The same
        // text as breaking the line after each piece, with one command for
        // all the new lines instead of a line-break macro each.
        const TextLine* first = lineOf(line);
        const QString rest = col < first->size() ? first->mid(col) : QString();
        if (!rest.isEmpty())
            cmdRemove(line, col, int(rest.size()));
        cmdInsert(line, col, expand(text.left(firstBreak)));
        // The further pieces start their lines, so their tabs expand from
        // column 0. Without tabs to expand they are the text as it stands.
        col = 0;
        const QStringView further = QStringView(text).mid(firstBreak + 1);
        QString lines;
        lines.reserve(further.size() + rest.size());
        if (o.saveTab || !further.contains(QLatin1Char('\t'))) {
            lines.append(further);
        } else {
            for (qsizetype from = 0;;) {
                const qsizetype end = further.indexOf(QLatin1Char('\n'), from);
                lines += expand(further.mid(from, end < 0 ? -1 : end - from).toString());
                if (end < 0)
                    break;
                lines += QLatin1Char('\n');
                from = end + 1;
            }
        }
        const qsizetype lastBreak = lines.lastIndexOf(QLatin1Char('\n'));
        const int lastCol = int(lines.size() - (lastBreak + 1));
        lines += rest;
        const int linesBefore = lastLine();
        pushInsertLines(this, line + 1, lines);
        const int endLine = line + (lastLine() - linesBefore);
        macroEnd(endLine, lastCol);
        return;
    }
    const QStringList pieces = text.split(QLatin1Char('\n'));
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        const QString s = expand(pieces.at(k));
        const int n = int(s.size());
        if (o.ovr)
            cmdReplace(line, col, n, s);
        else
            cmdInsert(line, col, s);

        if (k + 1 == pieces.size()) {
            col += n;
        } else if (!o.vertical) {
            cmdInsertLineBreak(line, col + n);
            ++line;
            col = 0;
        } else {
            // Block insertion: the next piece goes below at the same column.
            ++line;
            if (line > lastLine())
                makeLine(line);
        }
    }
    macroEnd(line, col);
}

void TextDocument::insertLineBreak(int line, int col)
{
    if (isReadOnly())
        return;
    if (DocumentView* v = activeView())
        v->cursorPosition(line, col);
    const EditOptions o(manager());
    const int tab = qMax(1, spacesInTab());
    macroBegin(QStringLiteral("break line"), line, col);

    const TextLine* ln = lineOf(line);
    const bool colon = col == ln->size() && ln->endsWith(QLatin1Char(':'));
    const int fc = ln->firstChar();
    int base = qMin(col, fc);
    if (base == -1)
        base = col;
    const int indent = base + (colon ? tab : 0);

    cmdInsertLineBreak(line, col);
    ++line;
    col = 0;
    if (indent > 0 && o.autoIndent) {
        // ln now holds only the part before the break.
        QString s;
        if (ln->size() < indent) {
            if (o.saveTab)
                s = QString(indent / tab, QLatin1Char('\t')) +
                    QString(indent % tab, QLatin1Char(' '));
            else
                s = QString(indent, QLatin1Char(' '));
        } else {
            s = ln->left(base);
            if (colon)
                s += QString(tab, QLatin1Char(' '));
        }
        cmdInsert(line, 0, s);
        col = int(s.size());
    }
    macroEnd(line, col);
}

void TextDocument::del(int line, int col)
{
    if (isReadOnly())
        return;
    if (DocumentView* v = activeView())
        v->cursorPosition(line, col);
    if (col < lineOf(line)->size()) {
        // The whole character, both units of one beyond U+FFFF.
        cmdRemove(line, col, characterColumn(line, col + 1, true) - col);
    } else if (line < lastLine()) {
        macroBegin(QStringLiteral("delete line break"), line, col);
        cmdRemoveLineBreak(line);
        macroEnd(line, col);
    }
}

void TextDocument::backspace(int line, int col)
{
    if (isReadOnly())
        return;
    if (DocumentView* v = activeView())
        v->cursorPosition(line, col);
    if (col <= 0) {
        if (line > 0)
            cmdRemoveLineBreak(line - 1);
        return;
    }
    int n = col - characterColumn(line, col - 1, false);
    const int fc = lineOf(line)->firstChar();
    if (EditOptions(manager()).backspaceIndent && (fc == -1 || col <= fc)) {
        // Back to the indentation of the nearest line above that has text
        // starting left of the caret; column 0 when there is none.
        int k = 0;
        for (int l = line - 1; l >= 0; --l) {
            const int f = lineOf(l)->firstChar();
            if (f != -1 && f < col) {
                k = f;
                break;
            }
        }
        n = col - k;
    }
    cmdRemove(line, col - n, n);
}

// The lines indent and unindent act on: the caret's line, or the selected
// lines without a last line that the selection only touches at column 0.
static void indentRange(DocumentView* v, int caretLine, int& from, int& to)
{
    from = to = caretLine;
    const QRect r = v->selection();
    if (!hasSelection(r))
        return;
    const Corners c = corners(r);
    from = qMax(0, c.top);
    to = c.bottom;
    const int lastCol = c.sameWay ? c.right : c.left;
    if (lastCol == 0 && to > from)
        --to;
}

// Ends the macro of indent or unindent. A selection stays as it was, from
// its anchor to the caret's end, with the caret there: the macro's end
// moves the caret without selecting, which drops the view's anchor, and a
// later Shift+arrow must go on from where the user left off.
static void endKeepingSelection(TextDocument* doc, DocumentView* v, const QRect& selected, int line,
                                int col)
{
    if (!hasSelection(selected)) {
        doc->macroEnd();
        return;
    }
    doc->macroEnd(line, col);
    if (QPoint(col, line) == selected.topLeft())
        v->setSelection(selected.bottomRight(), selected.topLeft());
    else
        v->setSelection(selected.topLeft(), selected.bottomRight());
}

void TextDocument::indent()
{
    DocumentView* v = activeView();
    if (isReadOnly() || !v)
        return;
    int line = 0, col = 0;
    v->cursorPosition(line, col);
    const QRect selected = v->selection();
    int from = 0, to = 0;
    indentRange(v, line, from, to);
    const QString unit = EditOptions(manager()).saveTab ? QStringLiteral("\t")
                                                        : QString(spacesInTab(), QLatin1Char(' '));

    macroBegin(QStringLiteral("indent"), line, col);
    for (int l = from; l <= to && l <= lastLine(); ++l)
        cmdInsert(l, 0, unit);
    endKeepingSelection(this, v, selected, line, col);
}

void TextDocument::unindent()
{
    DocumentView* v = activeView();
    if (isReadOnly() || !v)
        return;
    int line = 0, col = 0;
    v->cursorPosition(line, col);
    const QRect selected = v->selection();
    int from = 0, to = 0;
    indentRange(v, line, from, to);

    macroBegin(QStringLiteral("unindent"), line, col);
    for (int l = from; l <= to && l <= lastLine(); ++l) {
        const TextLine* ln = lineOf(l);
        const int n = ln->startsWith(QLatin1Char('\t')) ? 1 : qMin(spacesInTab(), ln->firstChar());
        if (n > 0)
            cmdRemove(l, 0, n);
    }
    endKeepingSelection(this, v, selected, line, col);
}

QString TextDocument::selectionCommand(SelectionCommand cmd)
{
    DocumentView* v = activeView();
    if (!v)
        return QString();
    return selectionCommand(cmd, v->selection(), EditOptions(manager()).vertical);
}

QString TextDocument::selectionCommand(SelectionCommand cmd, const QRect& r, bool vertical)
{
    int bits = int(cmd);
    if (isReadOnly())
        bits &= ~int(SelectionRemove);
    const bool remove = bits & SelectionRemove;
    const bool collect = bits & (SelectionCopy | SelectionText);
    if (bits == 0 || !hasSelection(r))
        return QString();

    const Corners n = corners(r);
    const int first = qMax(0, n.top);
    const int last = n.bottom;
    if (first > lastLine())
        return QString(); // nothing selected lies in the document
    const int startCol = n.sameWay ? n.left : n.right;
    const int endCol = n.sameWay ? n.right : n.left;
    QString text;

    if (vertical || n.top == n.bottom) {
        // A box of columns left..right on every line.
        const int x = n.left;
        const int w = n.right - x;
        if (remove)
            macroBegin(QStringLiteral("remove selection"), n.bottom, n.right);
        bool anyText = false;
        const int end = qMin(last, lastLine());
        for (int l = first; l <= end; ++l) {
            if (collect) {
                // A line that does not reach the box still gives its (empty)
                // row, so that the rows stay on their lines when pasted back.
                const TextLine* ln = lineOf(l);
                if (x < ln->size()) {
                    text += ln->mid(x, w);
                    anyText = true;
                }
                if (l < end)
                    text += QLatin1Char('\n');
            }
            if (remove)
                cmdRemove(l, x, w);
        }
        if (remove)
            macroEnd(n.top, n.left);
        if (!anyText)
            text = QString();
    } else {
        // A stream from (first, startCol) to (last, endCol).
        if (remove)
            macroBegin(QStringLiteral("remove selection"), n.bottom, endCol);
        const TextLine* head = lineOf(first);
        const int headLen = int(head->size());
        if (collect) {
            if (startCol < headLen)
                text += head->mid(startCol);
            text += QLatin1Char('\n');
        }
        if (remove)
            cmdRemove(first, startCol, headLen - startCol);

        // The whole lines between the first and the last one.
        const int originalLast = lastLine();
        const int middle = qMax(0, qMin(last, originalLast + 1) - (first + 1));
        if (collect) {
            for (int k = 1; k <= middle; ++k)
                text += *lineOf(first + k) + QLatin1Char('\n');
        }
        int l = first + 1;
        if (remove)
            pushRemoveLines(this, l, middle); // keeps the lines' texts for undo
        else
            l += middle;
        if (last <= originalLast) {
            const TextLine* tail = lineOf(l);
            if (collect && !tail->isEmpty())
                text += tail->left(qMin(endCol, int(tail->size())));
            if (remove) {
                cmdRemove(l, 0, endCol);
                // Join exactly what is left of the last line: its whitespace
                // lies outside the selection and stays.
                const QString rest = *lineOf(l);
                if (!rest.isEmpty())
                    cmdInsert(first, int(lineOf(first)->size()), rest);
                removeLine(l);
            }
        }
        if (remove)
            macroEnd(n.top, startCol);
    }

    if ((bits & SelectionCopy) && !text.isEmpty()) {
        if (QClipboard* cb = QGuiApplication::clipboard())
            cb->setText(text, QClipboard::Clipboard);
        if (manager())
            manager()->winClipboard = text;
    }
    return (bits & SelectionText) ? text : QString();
}

bool TextDocument::removeTrailingSpaces(int i)
{
    if (!TextLineWrite::removeSpaces(*lineOf(i)))
        return false;
    updateLine(i);
    tagLine(i);
    return true;
}

} // namespace xqwidgets

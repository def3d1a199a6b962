// Find and replace of the editor frame: the plain find with its options and
// find-next, the one-shot regular-expression find, and replace-all as one
// undo step.

#include "editorcursor.h"
#include "pattern.h"
#include "qtundo.h"
#include "textdoc.h"
#include "texteditor.h"
#include "texteditor_p.h"
#include "textfolding.h"
#include "textline.h"
#include "textmanager.h"
#include "textview.h"

#include <QRegularExpression>

#include <vector>

namespace xqwidgets
{

namespace
{

// Only ASCII letters, digits and the underscore make words for the
// whole-word test; every other character is a boundary.
bool isWordChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
           u == u'_';
}

// Where a search may look, from the selection taken when it began: a box of
// columns left..right on every line from top to bottom, or a stream from
// (top, left) to (bottom, right).
struct Bounds {
    bool on = false;
    bool box = false;
    int top = 0, bottom = 0, left = 0, right = 0;

    Bounds(bool inSelection, const QRect& r, bool vertical) : on(inSelection), box(vertical)
    {
        if (!on)
            return;
        top = qMin(r.top(), r.bottom());
        bottom = qMax(r.top(), r.bottom());
        if (box || top == bottom) {
            box = true;
            left = qMin(r.left(), r.right());
            right = qMax(r.left(), r.right());
            return;
        }
        // The selection's points in reading order: the first line's column
        // starts it, the last line's column ends it.
        const bool firstIsTopLeft = r.top() <= r.bottom();
        left = firstIsTopLeft ? r.left() : r.right();
        right = firstIsTopLeft ? r.right() : r.left();
    }

    // Raises a start point to the selection. Below its first line a stream
    // selection takes lines whole, so a caret there keeps its column.
    void clampStart(int& line, int& col) const
    {
        if (!on)
            return;
        if (line < top) {
            line = top;
            col = left;
        } else if (line == top || box) {
            col = qMax(col, left);
        }
    }

    // The column searching starts at on the lines after the first.
    int nextLineStart() const { return on && box ? left : 0; }
    // Whether a match ending at `end` on `line` lies inside.
    bool endsInside(int line, int end) const
    {
        return !on || !(box || line == bottom) || end <= right;
    }
    int lastLine(int docLast) const { return on ? qMin(bottom, docLast) : docLast; }
};

// QRegExp's wildcard syntax: "*" any run, "?" any character, "[...]" a set;
// everything else stands for itself.
QString wildcardToRegularExpression(const QString& pattern)
{
    QString re;
    const qsizetype n = pattern.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = pattern.at(i);
        if (c == u'*') {
            re += QLatin1String(".*");
        } else if (c == u'?') {
            re += QLatin1Char('.');
        } else if (c == u'[') {
            qsizetype j = i + 1;
            if (j < n && (pattern.at(j) == u'!' || pattern.at(j) == u'^'))
                ++j;
            if (j < n && pattern.at(j) == u']')
                ++j;
            while (j < n && pattern.at(j) != u']')
                ++j;
            if (j >= n) {
                re += QLatin1String("\\[");
                continue;
            }
            re += QLatin1Char('[');
            qsizetype k = i + 1;
            if (pattern.at(k) == u'!' || pattern.at(k) == u'^') {
                re += QLatin1Char('^');
                ++k;
            }
            for (; k < j; ++k) {
                const QChar s = pattern.at(k);
                if (s == u'\\' || s == u'[' || (s == u']' && k > i + 1))
                    re += QLatin1Char('\\');
                re += s;
            }
            re += QLatin1Char(']');
            i = j;
        } else {
            re += QRegularExpression::escape(QString(c));
        }
    }
    return re;
}

// The replacement as the document's insert would put it at the end of
// `out`: tabs become blanks up to the next tab stop of the line being built
// unless the manager keeps tabs.
void appendReplacement(QString& out, const QString& repl, bool expandTabs, int tab)
{
    if (!expandTabs || !repl.contains(u'\t')) {
        out += repl;
        return;
    }
    const QStringList pieces = repl.split(u'\n');
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        if (k > 0)
            out += u'\n';
        int v = 0;
        for (qsizetype i = out.lastIndexOf(u'\n') + 1; i < out.size(); ++i)
            v = out.at(i) == u'\t' ? v + tab - v % tab : v + 1;
        const QStringList parts = pieces.at(k).split(u'\t');
        for (qsizetype p = 0; p < parts.size(); ++p) {
            out += parts.at(p);
            v += int(parts.at(p).size());
            if (p + 1 < parts.size()) {
                const int blanks = tab - v % tab;
                out += QString(blanks, u' ');
                v += blanks;
            }
        }
    }
}

// The new text of a line: its matches at `cols` (each `len` long) replaced.
QString rebuildLine(const QString& old, const int* cols, int count, int len, const QString& repl,
                    bool expandTabs, int tab)
{
    QString out;
    out.reserve(old.size() + qsizetype(count) * (repl.size() - len));
    qsizetype copied = 0;
    for (int i = 0; i < count; ++i) {
        out += QStringView(old).mid(copied, cols[i] - copied);
        appendReplacement(out, repl, expandTabs, tab);
        copied = cols[i] + len;
    }
    out += QStringView(old).mid(copied);
    return out;
}

// All replacements of one replace-all as a single command: the changed
// lines keep their old text and the columns of their matches, from which
// redo builds the new text again. One command instead of a dozen per match
// keeps a replace-all over a large file fast and its undo small; the text,
// the caret and the single undo step are those of the edits it stands for.
class ReplaceAllCommand : public QtCommand
{
public:
    struct LineEdit {
        int line = 0; // in the document before the replacement
        QString oldText;
        QString newText; // for the first execution only
        int firstCol = 0;
        int colCount = 0;
        int addedLines = 0; // line breaks the replacements bring in
    };

    ReplaceAllCommand(TextDocument* doc, int len, const QString& repl, bool expandTabs, int tab)
        : QtCommand(QStringLiteral("replace all"), false), doc(doc), len(len), repl(repl),
          expandTabs(expandTabs), tab(tab)
    {
    }

    void redo() override
    {
        // Bottom up: a line broken in two moves only the lines below it.
        for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
            LineEdit& e = *it;
            QString text = e.newText.isNull() ? rebuildLine(e.oldText, cols.data() + e.firstCol,
                                                            e.colCount, len, repl, expandTabs, tab)
                                              : std::move(e.newText);
            e.newText = QString();
            if (e.addedLines == 0) {
                doc->lineOf(e.line)->set(text);
            } else {
                const QStringList pieces = text.split(u'\n');
                doc->lineOf(e.line)->set(pieces.first());
                for (int k = 1; k < pieces.size(); ++k) {
                    doc->m_insertLine(e.line + k);
                    doc->lineOf(e.line + k)->set(pieces.at(k));
                    doc->updateLine(e.line + k);
                }
            }
            doc->updateLine(e.line);
            doc->folding()->ensureLineVisible(e.line);
        }
        doc->setMacroCursorPosition(endLine, endCol);
    }

    void undo() override
    {
        int above = totalAdded;
        for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
            const LineEdit& e = *it;
            above -= e.addedLines;
            const int at = e.line + above;
            for (int k = 0; k < e.addedLines; ++k)
                doc->m_removeLine(at + 1);
            doc->lineOf(at)->set(e.oldText);
            doc->updateLine(at);
            doc->folding()->ensureLineVisible(at);
        }
        doc->setMacroCursorPosition(firstLine, firstEnd);
    }

    TextDocument* doc;
    int len;
    QString repl;
    bool expandTabs;
    int tab;
    std::vector<LineEdit> edits;
    std::vector<int> cols;
    int totalAdded = 0;
    // The caret after redo (just after the last replacement) and after undo
    // (just after the first match).
    int endLine = 0, endCol = 0;
    int firstLine = 0, firstEnd = 0;
};

} // namespace

bool TextEditor::Private::find()
{
    view->clearSelection();
    const int len = int(findText.size());
    // An empty text would "match" at the caret every time.
    if (len == 0)
        return false;

    const Bounds b(findInSelection, selectionForFind, manager->fVerticalSelection);
    int line = 0;
    int col = 0;
    if (findFromCursor) {
        line = view->cursor()->line();
        col = view->cursor()->column();
    }
    b.clampStart(line, col);
    const Qt::CaseSensitivity cs = findCaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;

    const int stop = b.lastLine(doc->lastLine());
    for (; line <= stop; ++line) {
        const QString& t = *doc->lineOf(line);
        qsizetype from = col;
        col = b.nextLineStart();
        while (true) {
            const qsizetype pos = t.indexOf(findText, from, cs);
            if (pos < 0 || !b.endsInside(line, int(pos) + len))
                break;
            if (findWholeWord && ((pos > 0 && isWordChar(t.at(pos - 1))) ||
                                  (pos + len < t.size() && isWordChar(t.at(pos + len))))) {
                from = pos + len;
                continue;
            }
            view->setCursorPosition(line, int(pos) + len, false);
            view->setSelection(QPoint(int(pos), line), QPoint(int(pos) + len, line));
            view->updateView(false);
            return true;
        }
    }
    return false;
}

bool TextEditor::find(const QString& text, bool caseSensitive, bool wholeWord, bool fromCursor,
                      bool inSelection)
{
    d->findText = text;
    d->findCaseSensitive = caseSensitive;
    d->findWholeWord = wholeWord;
    d->findFromCursor = fromCursor;
    d->findInSelection = inSelection;
    d->selectionForFind = d->view->selection();
    return d->find();
}

bool TextEditor::findNext()
{
    d->findFromCursor = true;
    return d->find();
}

bool TextEditor::findRegexp(const QString& pattern, bool caseSensitive, bool wildcard,
                            bool fromCursor)
{
    int line = 0;
    int col = 0;
    if (fromCursor) {
        line = d->view->cursor()->line();
        col = d->view->cursor()->column();
    }
    d->view->clearSelection();

    bool ok = true;
    const QString re =
        wildcard ? wildcardToRegularExpression(pattern) : Pattern::translate(pattern, &ok);
    QRegularExpression::PatternOptions options = QRegularExpression::UseUnicodePropertiesOption;
    if (!caseSensitive)
        options |= QRegularExpression::CaseInsensitiveOption;
    const QRegularExpression expr(re, options);
    bool found = false;
    if (ok && expr.isValid()) {
        const int last = d->doc->lastLine();
        for (; line <= last && !found; ++line, col = 0) {
            const QString& t = *d->doc->lineOf(line);
            if (col > t.size())
                continue;
            const QRegularExpressionMatch m = expr.match(t, col);
            if (!m.hasMatch())
                continue;
            const int start = int(m.capturedStart());
            const int end = int(m.capturedEnd());
            d->view->setCursorPosition(line, end, false);
            d->view->setSelection(QPoint(start, line), QPoint(end, line));
            found = true;
        }
    }
    d->view->updateView(false);
    return found;
}

int TextEditor::replaceAll(const QString& text, const QString& replaceText, bool caseSensitive,
                           bool wholeWord, bool inSelection)
{
    d->findText = text;
    d->findCaseSensitive = caseSensitive;
    d->findWholeWord = wholeWord;
    d->findFromCursor = false;
    d->findInSelection = inSelection;
    // Every pass keeps the selection the replacement began with as its
    // bounds (the matches replaced so far lie inside it).
    d->selectionForFind = d->view->selection();
    TextDocument* doc = d->doc;
    if (text.isEmpty() || doc->isReadOnly())
        return 0;

    const int len = int(text.size());
    const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const Bounds b(inSelection, d->selectionForFind, d->manager->fVerticalSelection);
    const bool expandTabs = !d->manager->fSaveTab;
    const int tab = qMax(1, doc->spacesInTab());
    const int addedPerMatch = int(replaceText.count(u'\n'));
    auto* cmd = new ReplaceAllCommand(doc, len, replaceText, expandTabs, tab);

    // The passes of successive finds, each continuing just after the text
    // the previous one inserted: matches never overlap, and the whole-word
    // test sees the text as already replaced to its left.
    int line = 0;
    int col = 0;
    b.clampStart(line, col);
    const int stop = b.lastLine(doc->lastLine());
    int count = 0;
    for (; line <= stop; ++line) {
        const QString& t = *doc->lineOf(line);
        qsizetype from = col;
        col = b.nextLineStart();
        QString out;
        qsizetype copied = 0;
        const int firstCol = int(cmd->cols.size());
        while (true) {
            const qsizetype pos = t.indexOf(text, from, cs);
            if (pos < 0 || !b.endsInside(line, int(pos) + len))
                break;
            if (wholeWord) {
                const bool wordBefore =
                    pos > copied ? isWordChar(t.at(pos - 1))
                                 : (copied > 0 && !out.isEmpty() && isWordChar(out.back()));
                const bool wordAfter = pos + len < t.size() && isWordChar(t.at(pos + len));
                if (wordBefore || wordAfter) {
                    from = pos + len;
                    continue;
                }
            }
            if (count == 0) {
                cmd->firstLine = line;
                cmd->firstEnd = int(pos) + len;
            }
            ++count;
            out += QStringView(t).mid(copied, pos - copied);
            appendReplacement(out, replaceText, expandTabs, tab);
            copied = pos + len;
            from = copied;
            cmd->cols.push_back(int(pos));
        }
        if (copied == 0)
            continue;
        // The caret's place after the last replacement, in the new text.
        cmd->endCol = int(out.size() - (out.lastIndexOf(u'\n') + 1));
        cmd->endLine = line + cmd->totalAdded + int(out.count(u'\n'));
        out += QStringView(t).mid(copied);
        ReplaceAllCommand::LineEdit e;
        e.line = line;
        e.oldText = t;
        e.firstCol = firstCol;
        e.colCount = int(cmd->cols.size()) - firstCol;
        e.addedLines = addedPerMatch * e.colCount;
        cmd->totalAdded += e.addedLines;
        e.newText = std::move(out);
        cmd->edits.push_back(std::move(e));
    }

    if (count == 0) {
        delete cmd;
        d->view->clearSelection();
        return 0;
    }
    d->view->lockSelection();
    doc->undoStack()->push(cmd);
    d->view->unlockSelection();
    // As after the last pass, which found nothing more: no selection, the
    // caret just after the last replacement.
    d->findFromCursor = true;
    d->view->clearSelection();
    return count;
}

} // namespace xqwidgets

// Find and replace of the editor frame: the plain find with its options and
// find-next, the one-shot regular-expression find, and replace-all as one
// undo step.

#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/sharedtext.h"
#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/pattern.h"
#include "xqwidgets/xqeditor/patternengine.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/texteditor_p.h"
#include "xqwidgets/xqeditor/textfolding.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textlinewrite.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <atomic>
#include <memory>
#include <vector>

namespace xqwidgets
{

namespace
{

std::function<bool(int, int)>& longRunHandler()
{
    static std::function<bool(int, int)> handler;
    return handler;
}

} // namespace

// Tells a loop over the lines of a find or replace-all whether to go on:
// every so often it hands control to the long-run handler, and it stops the
// loop when the handler says so or the text changed meanwhile.
class LongRun
{
public:
    explicit LongRun(const TextDocument* doc) : m_doc(doc), m_revision(doc->revision())
    {
        m_timer.start();
    }
    bool keepGoing(int line)
    {
        if (m_stopped)
            return false;
        // The clock is read at every line: a line can take some
        // milliseconds (a match the engine gave up on, decided aside).
        if (m_timer.elapsed() < 50)
            return true;
        return pump(line);
    }
    // Hands control to the handler now (while a match runs aside).
    bool pump(int line)
    {
        if (m_stopped)
            return false;
        m_timer.start();
        if (!longRunHandler())
            return true;
        m_stopped =
            !longRunHandler()(line, m_doc->lastLine() + 1) || m_doc->revision() != m_revision;
        return !m_stopped;
    }
    bool stopped() const { return m_stopped; }

private:
    const TextDocument* m_doc;
    quint64 m_revision;
    QElapsedTimer m_timer;
    bool m_stopped = false;
};

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

    // Raises a start point to the selection. A caret above it starts at its
    // beginning; a caret on or below its first line starts no further left
    // than its left column, for a stream selection too.
    void clampStart(int& line, int& col) const
    {
        if (!on)
            return;
        if (line < top) {
            line = top;
            col = left;
        } else {
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

// The expression the regular-expression find and replace search with;
// false when the pattern is not valid. Its work on one line is bounded.
bool compile(const QString& pattern, bool caseSensitive, bool wildcard, PatternEngine* expr)
{
    bool ok = true;
    const QString re =
        wildcard ? wildcardToRegularExpression(pattern) : Pattern::translate(pattern, &ok);
    // The text is never checked for valid UTF-16 (which would cost a long
    // line its length at every match): a lone surrogate just never matches.
    int options = PatternEngine::InvalidUtf;
    if (!caseSensitive)
        options |= PatternEngine::CaseInsensitive;
    return ok && expr->compile(re, PatternEngine::Utf16, options);
}

// The first match of `expr` in line `line`, `t`, at or after `from`, as
// PatternEngine::matchInWindows() gives it, except that what that cannot
// decide is decided on a thread of its own, the long-run handler keeping the
// window alive meanwhile: Stopped when it was stopped, GaveUp only when the
// engine cannot decide with all the work it takes.
qsizetype matchLine(const PatternEngine& expr, const QString& t, qsizetype from, qsizetype* length,
                    int flags, LongRun& run, int line)
{
    const qsizetype at = expr.matchInWindows(t, from, length, flags);
    if (at != PatternEngine::GaveUp)
        return at;
    // The event loop runs meanwhile: the match reads a copy of the line
    // (sharing its text), which an edit cannot change under it.
    const QString snapshot = t;
    std::atomic<bool> stop{false};
    qsizetype full = PatternEngine::Stopped;
    qsizetype len = 0;
    runAside([&] { full = expr.matchFully(snapshot, from, &len, stop, flags, true); }, stop,
             [&] { return run.pump(line); });
    if (run.stopped())
        return PatternEngine::Stopped;
    *length = len;
    return full;
}

// The display column at the end of the line being built at the end of
// `out` (it begins at `lineStart`), kept as `out` grows: each character is
// counted once, however many replacements the line gets.
struct BuiltColumn {
    qsizetype at;
    int column = 0;

    explicit BuiltColumn(qsizetype lineStart) : at(lineStart) {}
    int of(const QString& out, int tab)
    {
        const QChar* c = out.constData();
        for (const qsizetype n = out.size(); at < n; ++at) {
            if (c[at] == u'\n')
                column = 0;
            else if (c[at] == u'\t')
                column += tab - column % tab;
            else
                ++column;
        }
        return column;
    }
};

// The replacement as the document's insert would put it at the end of
// `out`, whose line being built `column` follows: tabs become blanks up to
// the next tab stop of that line unless the manager keeps tabs.
void appendReplacement(QString& out, const QString& repl, bool expandTabs, int tab,
                       BuiltColumn& column)
{
    if (!expandTabs || !repl.contains(u'\t')) {
        out += repl;
        return;
    }
    qsizetype start = 0;
    for (;;) {
        qsizetype end = repl.indexOf(u'\n', start);
        if (end < 0)
            end = repl.size();
        int v = column.of(out, tab);
        for (qsizetype i = start; i < end; ++i) {
            if (repl.at(i) == u'\t') {
                const int blanks = tab - v % tab;
                out.resize(out.size() + blanks, u' ');
                v += blanks;
            } else {
                out += repl.at(i);
                ++v;
            }
        }
        if (end == repl.size())
            break;
        out += u'\n';
        start = end + 1;
    }
}

// The new text of a line: its matches at `cols` replaced, each `len` long
// or, where `lens` is given, as long as its entry there.
QString rebuildLine(const QString& old, const int* cols, const int* lens, int count, int len,
                    const QString& repl, bool expandTabs, int tab)
{
    QString out;
    out.reserve(old.size() + qsizetype(count) * (repl.size() - len));
    qsizetype copied = 0;
    BuiltColumn column(0);
    for (int i = 0; i < count; ++i) {
        out += QStringView(old).mid(copied, cols[i] - copied);
        appendReplacement(out, repl, expandTabs, tab, column);
        copied = cols[i] + (lens ? lens[i] : len);
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
        int line = 0;     // in the document before the replacement
        int firstCol = 0; // its first match in `cols`
        QString oldText;
    };

    ReplaceAllCommand(TextDocument* doc, int len, const QString& repl, bool expandTabs, int tab)
        : QtCommand(QStringLiteral("replace all"), false), doc(doc), len(len), repl(repl),
          expandTabs(expandTabs), tab(tab), addedPerMatch(int(repl.count(u'\n')))
    {
    }

    int matchCount(size_t i) const
    {
        const size_t next = i + 1 < edits.size() ? size_t(edits[i + 1].firstCol) : cols.size();
        return int(next) - edits[i].firstCol;
    }

    void redo() override
    {
        // The first execution takes the new lines as slices of the buffer
        // the search built them in; a redo after an undo builds them again.
        const bool first = !built.isNull();
        if (first)
            built.squeeze();
        // One context pass over all the changed lines at the end: a pass per
        // line would cascade down the document at each line that changes
        // the context.
        doc->beginLineBatch();
        // Bottom up: a line broken in two moves only the lines below it.
        for (size_t i = edits.size(); i-- > 0;) {
            const LineEdit& e = edits[i];
            QString text;
            if (!first) {
                const int n = matchCount(i);
                text = rebuildLine(e.oldText, cols.data() + e.firstCol,
                                   lens.empty() ? nullptr : lens.data() + e.firstCol, n, len, repl,
                                   expandTabs, tab);
            }
            QString& from = first ? built : text;
            const qsizetype start = first ? builtAt[i] : 0;
            const qsizetype end = first ? builtAt[i + 1] : text.size();
            qsizetype lineEnd =
                addedPerMatch ? QStringView(from).mid(start, end - start).indexOf(u'\n') : -1;
            lineEnd = lineEnd < 0 ? end : start + lineEnd;
            auto piece = [&](qsizetype a, qsizetype b) {
                return first ? sharedtext::slice(from, a, b - a) : from.mid(a, b - a);
            };
            TextLineWrite::set(*doc->lineOf(e.line), piece(start, lineEnd));
            doc->updateLine(e.line);
            // The lines the replacements broke off, in one run.
            if (lineEnd < end)
                doc->m_insertLines(e.line + 1, piece(lineEnd + 1, end));
            doc->folding()->ensureLineVisible(e.line);
        }
        doc->endLineBatch();
        built = QString();
        builtAt = std::vector<qsizetype>();
        doc->setMacroCursorPosition(endLine, endCol);
    }

    void undo() override
    {
        doc->beginLineBatch();
        int above = int(cols.size()) * addedPerMatch;
        for (size_t i = edits.size(); i-- > 0;) {
            const LineEdit& e = edits[i];
            const int added = matchCount(i) * addedPerMatch;
            above -= added;
            const int at = e.line + above;
            if (added > 0)
                doc->m_removeLines(at + 1, added);
            TextLineWrite::set(*doc->lineOf(at), e.oldText);
            doc->updateLine(at);
            doc->folding()->ensureLineVisible(at);
        }
        doc->endLineBatch();
        doc->setMacroCursorPosition(firstLine, firstEnd);
    }

    TextDocument* doc;
    int len;
    QString repl;
    bool expandTabs;
    int tab;
    int addedPerMatch;
    std::vector<LineEdit> edits;
    std::vector<int> cols;
    // The length of each match of a pattern; empty when all are `len` long.
    std::vector<int> lens;
    // The new text of every changed line, one after the other, and where
    // each begins (one more entry for the end); for the first execution.
    QString built;
    std::vector<qsizetype> builtAt;
    // The caret after redo (just after the last replacement) and after undo
    // (just after the first match).
    int endLine = 0, endCol = 0;
    int firstLine = 0, firstEnd = 0;
};

} // namespace

void TextEditor::Private::setFindState(const QString& text, bool caseSensitive, bool wholeWord,
                                       bool fromCursor, bool inSelection)
{
    findText = text;
    findCaseSensitive = caseSensitive;
    findWholeWord = wholeWord;
    findFromCursor = fromCursor;
    findInSelection = inSelection;
    selectionForFind = view->selection();
}

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
    d->setFindState(text, caseSensitive, wholeWord, fromCursor, inSelection);
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
    d->searchOutcome = SearchOutcome();

    PatternEngine expr;
    bool found = false;
    if (compile(pattern, caseSensitive, wildcard, &expr)) {
        LongRun run(d->doc);
        for (; line <= d->doc->lastLine() && run.keepGoing(line); ++line, col = 0) {
            const QString& t = *d->doc->lineOf(line);
            if (col > t.size())
                continue;
            qsizetype length = 0;
            const qsizetype start = matchLine(expr, t, col, &length, 0, run, line);
            if (start == PatternEngine::GaveUp) {
                // Not known: the find ends here and says so, the caret at
                // the line's start, so that it can go on from the next.
                d->searchOutcome.undecided.append(line);
                d->view->setCursorPosition(line, 0, false);
                break;
            }
            if (start < 0)
                continue;
            const int end = int(start + length);
            d->view->setCursorPosition(line, end, false);
            d->view->setSelection(QPoint(int(start), line), QPoint(end, line));
            found = true;
            break;
        }
        d->searchOutcome.stopped = run.stopped();
    }
    d->view->updateView(false);
    return found;
}

TextEditor::SearchOutcome TextEditor::lastSearchOutcome() const
{
    return d->searchOutcome;
}

int TextEditor::Private::replaceMatches(const QString& replaceText, bool inSelection,
                                        bool fromCursor, bool fixedLength, int len,
                                        const NextMatch& next)
{
    // The new text of the lines is built before anything changes; a run
    // whose text cannot get its memory changes nothing (see
    // TextDocument::edit).
    int count = 0;
    doc->edit([&] {
        count = buildReplacement(replaceText, inSelection, fromCursor, fixedLength, len, next);
    });
    return count;
}

int TextEditor::Private::buildReplacement(const QString& replaceText, bool inSelection,
                                          bool fromCursor, bool fixedLength, int len,
                                          const NextMatch& next)
{
    if (doc->isReadOnly())
        return 0;
    const Bounds b(inSelection, view->selection(), manager->fVerticalSelection);
    const bool expandTabs = !manager->fSaveTab;
    const int tab = qMax(1, doc->spacesInTab());
    // Owned here until the stack takes it: a run that cannot get its
    // memory leaves nothing behind.
    auto owned = std::make_unique<ReplaceAllCommand>(doc, len, replaceText, expandTabs, tab);
    ReplaceAllCommand* cmd = owned.get();

    // The passes of successive finds, each continuing just after the text
    // the previous one inserted: matches never overlap, and a test of what
    // lies before a match sees the text as already replaced to its left.
    int line = 0;
    int col = 0;
    if (fromCursor) {
        line = view->cursor()->line();
        col = view->cursor()->column();
    }
    b.clampStart(line, col);
    const int stop = b.lastLine(doc->lastLine());
    int count = 0;
    int added = 0; // line breaks brought in above the current line
    bool stopped = false;
    QString& out = cmd->built;
    searchOutcome = SearchOutcome();
    LongRun run(doc);
    currentRun = &run;
    for (; line <= stop && !stopped && run.keepGoing(line); ++line) {
        const QString& t = *doc->lineOf(line);
        qsizetype from = col;
        col = b.nextLineStart();
        const qsizetype lineStart = out.size();
        BuiltColumn column(lineStart);
        qsizetype copied = 0;
        const int firstCol = int(cmd->cols.size());
        // After a match of nothing the next may not be one at the same place.
        bool emptyAtFrom = true;
        while (true) {
            int n = len;
            const qsizetype pos = next(line, t, from, emptyAtFrom, out, lineStart, copied, &n);
            stopped = pos == -2;
            if (pos == -3)
                searchOutcome.undecided.append(line);
            if (pos < 0 || !b.endsInside(line, int(pos) + n))
                break;
            if (count == 0) {
                cmd->firstLine = line;
                cmd->firstEnd = int(pos) + n;
            }
            ++count;
            out += QStringView(t).mid(copied, pos - copied);
            appendReplacement(out, replaceText, expandTabs, tab, column);
            copied = pos + n;
            from = copied;
            emptyAtFrom = n > 0;
            cmd->cols.push_back(int(pos));
            if (!fixedLength)
                cmd->lens.push_back(n);
        }
        if (int(cmd->cols.size()) == firstCol)
            continue;
        // The caret's place after the last replacement, in the new text.
        const QStringView mine = QStringView(out).mid(lineStart);
        const int breaks = int(mine.count(u'\n'));
        cmd->endCol = int(mine.size() - (mine.lastIndexOf(u'\n') + 1));
        cmd->endLine = line + added + breaks;
        added += breaks;
        out += QStringView(t).mid(copied);
        cmd->edits.push_back({line, firstCol, t});
        cmd->builtAt.push_back(lineStart);
    }
    cmd->builtAt.push_back(out.size());
    currentRun = nullptr;
    searchOutcome.stopped = run.stopped();

    // A run stopped midway changes nothing: its matches may no longer be
    // where they were found.
    if (count == 0 || run.stopped()) {
        view->clearSelection();
        return 0;
    }
    const int endLine = cmd->endLine;
    const int endCol = cmd->endCol;
    view->lockSelection();
    try {
        doc->undoStack()->push(owned.release());
    } catch (...) {
        view->unlockSelection();
        throw;
    }
    view->unlockSelection();
    // As after the last pass, which found nothing more: no selection, the
    // caret just after the last replacement (also inside a larger undo
    // group, which places the caret only when it closes).
    findFromCursor = true;
    view->clearSelection();
    view->setCursorPosition(endLine, endCol, false);
    return count;
}

int TextEditor::replaceAll(const QString& text, const QString& replaceText, bool caseSensitive,
                           bool wholeWord, bool inSelection, bool fromCursor)
{
    // Every pass keeps the selection the replacement began with as its
    // bounds (the matches replaced so far lie inside it).
    d->setFindState(text, caseSensitive, wholeWord, fromCursor, inSelection);
    if (text.isEmpty())
        return 0;
    const int len = int(text.size());
    const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    return d->replaceMatches(
        replaceText, inSelection, fromCursor, true, len,
        [&](int, const QString& t, qsizetype from, bool, const QString& out, qsizetype lineStart,
            qsizetype copied, int*) -> qsizetype {
            while (true) {
                const qsizetype pos = t.indexOf(text, from, cs);
                if (pos < 0 || !wholeWord)
                    return pos;
                // Right after a replacement the character before is the
                // replacement's last.
                const bool wordBefore =
                    pos > copied ? isWordChar(t.at(pos - 1))
                                 : (copied > 0 && out.size() > lineStart && isWordChar(out.back()));
                const bool wordAfter = pos + len < t.size() && isWordChar(t.at(pos + len));
                if (!wordBefore && !wordAfter)
                    return pos;
                from = pos + len;
            }
        });
}

void TextEditor::setLongRunHandler(std::function<bool(int line, int lines)> handler)
{
    longRunHandler() = std::move(handler);
}

int TextEditor::replaceAllRegexp(const QString& pattern, const QString& replaceText,
                                 bool caseSensitive, bool fromCursor)
{
    PatternEngine expr;
    if (!compile(pattern, caseSensitive, false, &expr))
        return 0;
    return d->replaceMatches(replaceText, false, fromCursor, false, 0,
                             [&](int line, const QString& t, qsizetype from, bool emptyAtFrom,
                                 const QString&, qsizetype, qsizetype, int* len) -> qsizetype {
                                 if (from > t.size())
                                     return -1;
                                 qsizetype length = 0;
                                 const qsizetype at =
                                     matchLine(expr, t, from, &length,
                                               emptyAtFrom ? 0 : PatternEngine::NotEmptyAtStart,
                                               *d->currentRun, line);
                                 if (at == PatternEngine::Stopped)
                                     return -2;
                                 if (at == PatternEngine::GaveUp)
                                     return -3;
                                 if (at < 0)
                                     return -1;
                                 *len = int(length);
                                 return at;
                             });
}

} // namespace xqwidgets

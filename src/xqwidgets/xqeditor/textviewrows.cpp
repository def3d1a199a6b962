// The text view's row layout: which rows each line takes with word wrap,
// the rows on screen, the caret's row and scrolling by rows.

#include "xqwidgets/xqeditor/textview.h"

#include "xqwidgets/debuglog.h"
#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/editormargins.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview_p.h"

#include <QScrollBar>

#include <algorithm>

namespace xqwidgets
{

void WrappedLinesCache::setWidth(int w)
{
    if (w != width)
        lines.clear();
    width = w;
}

void WrappedLinesCache::setTabs(int t)
{
    if (t != tabs)
        lines.clear();
    tabs = t;
}

void WrappedLinesCache::setWrapMode(bool w, TextDocument::wrapMode mode)
{
    if (w != wrap || mode != wrapMode)
        lines.clear();
    wrap = w;
    wrapMode = mode;
}
// --- Layout ---------------------------------------------------------------------

void TextView::updateLinesList()
{
    d->visibleLines.clear();
    const int W = width();
    const int H = height();
    const int h = d->fontHeight;
    TextDocument* doc = d->doc;
    const int last = doc->lastLine();
    const int first = d->yPos / h;
    d->firstKey = first;
    const bool wrap = doc->getWrap();
    d->wrappedLinesCache.setWidth(W);
    d->wrappedLinesCache.setTabs(d->tabsWidth);
    d->wrappedLinesCache.setWrapMode(wrap, doc->getWrapMode());

    int y = 0;
    for (int line = first; y < H && line <= last; ++line) {
        const TextLine* t = doc->lineOf(line);
        if (!t->isFoldVisible)
            continue;
        const int len = int(t->size());
        if (len == 0) {
            d->visibleLines.push_back({line, 0, 1, 0});
            y += h;
            continue;
        }
        if (!wrap) {
            // The whole line is one row.
            d->visibleLines.push_back({line, 0, len, 0});
            y += h;
            continue;
        }
        const int xShift = d->continuationShift(line);

        const bool cacheable = len <= CachedLineLength;
        // The top line's rows above the view are not laid out on screen.
        const int skip = line == first ? d->topSkip : 0;
        if (cacheable) {
            const QList<int>& ends = d->shortWrapEnds(line);
            const int rows = int(ends.size());
            d->correctRowCount(line, rows);
            if (line == first && skip >= rows)
                d->topSkip = rows - 1;
            for (int row = qMin(skip, rows - 1); row < rows; ++row) {
                const int start = row == 0 ? 0 : ends.at(row - 1);
                d->visibleLines.push_back({line, start, ends.at(row), row == 0 ? 0 : xShift});
                y += h;
            }
            continue;
        }
        // A line far longer than the screen is wrapped only as far as the
        // rows shown need; its rows are kept until the text changes. A skip
        // left from a longer text or a narrower view shows the last row.
        int row = skip;
        if (row > 0) {
            const int rows = int(d->wrapEnds(line, row + 1).size());
            if (row >= rows) {
                row = qMax(0, rows - 1);
                if (line == first)
                    d->topSkip = row;
            }
        }
        for (; y < 2 * H; ++row) {
            const QList<int>& ends = d->wrapEnds(line, row + 1);
            if (row >= ends.size())
                break;
            const int start = row == 0 ? 0 : ends.at(row - 1);
            d->visibleLines.push_back({line, start, ends.at(row), row == 0 ? 0 : xShift});
            y += h;
        }
        d->correctRowCount(line, d->estimateRows(line));
    }
}

void TextView::Private::correctRowCount(int line, int rows)
{
    Private* const d = this;
    if (d->rowCountsStale || d->rowCounts.lineCount() != d->doc->lastLine() + 1 ||
        d->rowCounts.extra(line) == rows - 1 || d->rowCountsKey != layoutKey())
        return;
    d->rowCounts.setExtra(line, rows - 1);
    d->geometryChanged = true;
}

int TextView::Private::continuationShift(int line)
{
    // Continuation rows are indented like the line, unless that leaves less
    // than 100 px or a quarter of the view.
    const TextLine* t = doc->lineOf(line);
    const int W = q->width();
    const int len = int(t->size());
    int spaces = 0;
    while (spaces < len && t->at(spaces).isSpace())
        ++spaces;
    const int indent = doc->textWidth(line, spaces);
    return (W - indent < 100 || W - indent < W / 4) ? 16 : indent;
}

const QList<int>& TextView::Private::shortWrapEnds(int line)
{
    Private* const d = this;
    TextDocument* doc = d->doc;
    const TextLine* t = doc->lineOf(line);
    auto& cache = d->wrappedLinesCache.lines;
    const auto it = cache.constFind(*t);
    if (it != cache.constEnd())
        return it.value();
    if (cache.size() > CacheLimit)
        cache.clear();
    const int W = q->width();
    const int len = int(t->size());
    const int xShift = continuationShift(line);
    QList<int> ends;
    int start = 0;
    int end = doc->nextWrapPos(line, W - 8, 0);
    while (start < len) {
        ends.append(end);
        start = end;
        if (start < len)
            end = qMax(start + 1, doc->nextWrapPos(line, W - xShift - 8, start));
    }
    if (ends.isEmpty())
        ends.append(1);
    return *cache.insert(*t, ends);
}

const QList<int>& TextView::Private::wrapEnds(int line, int rows, int column)
{
    Private* const d = this;
    TextDocument* doc = d->doc;
    const int W = q->width();
    syncLongLine(line);
    QList<int>& ends = d->longLineEnds;
    QList<int>& reach = d->longLineReach;
    const int len = int(doc->lineOf(line)->size());
    int looked = 0;
    if (ends.isEmpty() && len > 0) {
        ends.append(doc->nextWrapPos(line, W - 8, 0, &looked));
        reach.append(looked);
    }
    if (!ends.isEmpty()) {
        const int xShift = d->longLineShift;
        while ((rows < 0 || ends.size() < rows) && ends.last() < len &&
               (column < 0 || ends.last() <= column)) {
            const int next = doc->nextWrapPos(line, W - xShift - 8, ends.last(), &looked);
            ends.append(qMax(next, ends.last() + 1));
            reach.append(qMax(looked, ends.last()));
        }
    }
    return ends;
}

void TextView::Private::syncLongLine(int line)
{
    Private* const d = this;
    TextLine* t = doc->lineOf(line);
    const bool sameLayout =
        d->longLine == t && d->longLineWidth == q->width() && d->longLineTabs == d->tabsWidth &&
        d->longLineMode == doc->getWrapMode() && d->longLineAdvance == uniformAdvance();
    const qsizetype from = sameLayout ? t->editedFrom(d->longLineStamp) : 0;
    if (from < 0)
        return;
    d->longLineStamp = t->editStamp();
    // Continuation rows are indented like the line: an edit of its indent
    // moves them all.
    const int shift = continuationShift(line);
    if (from == 0 || shift != d->longLineShift) {
        d->longLine = t;
        d->longLineWidth = q->width();
        d->longLineTabs = d->tabsWidth;
        d->longLineMode = doc->getWrapMode();
        d->longLineAdvance = uniformAdvance();
        d->longLineShift = shift;
        d->longLineEnds.clear();
        d->longLineReach.clear();
        return;
    }
    // The rows before the first that looked at an edited column stay. A
    // row looks at no more characters than its width has pixels (a tab
    // takes one at least), so the rows that end more than that many
    // columns before the edit stay without a look.
    const QList<int>& ends = d->longLineEnds;
    const qsizetype near = from - qMax(q->width(), 64) - 1;
    qsizetype rows = std::lower_bound(ends.begin(), ends.end(), near) - ends.begin();
    while (rows < ends.size() && d->longLineReach.at(rows) < from)
        ++rows;
    d->longLineEnds.resize(rows);
    d->longLineReach.resize(rows);
}

int TextView::Private::uniformAdvance() const
{
    const int w0 = manager->fontData(0).width;
    for (int type = 1; type < 4; ++type) {
        if (manager->fontData(type).width != w0)
            return -1;
    }
    return w0 > 0 ? w0 : -1;
}

int TextView::Private::rowsOf(int line)
{
    Private* const d = this;
    const TextLine* t = d->doc->lineOf(line);
    if (!d->doc->getWrap() || !t->isFoldVisible || t->isEmpty())
        return 1;
    if (t->size() > CachedLineLength)
        return qMax(1, int(wrapEnds(line, -1).size()));
    return qMax(1, int(shortWrapEnds(line).size()));
}

bool TextView::Private::hasRow(int line, int row)
{
    Private* const d = this;
    const TextLine* t = d->doc->lineOf(line);
    if (row <= 0)
        return row == 0;
    if (!d->doc->getWrap() || !t->isFoldVisible || t->isEmpty())
        return false;
    if (t->size() > CachedLineLength)
        return wrapEnds(line, row + 1).size() > row;
    return shortWrapEnds(line).size() > row;
}

QList<int> TextView::Private::layoutKey() const
{
    return {q->width(),        tabsWidth, fontHeight, spaceWidth, doc->getWrap() ? 1 : 0,
            doc->getWrapMode()};
}

int TextView::Private::estimateRows(int line)
{
    Private* const d = this;
    TextLine* t = d->doc->lineOf(line);
    if (!d->doc->getWrap() || t->isEmpty())
        return 1;
    const int len = int(t->size());
    if (len > CachedLineLength) {
        // The rows made so far, or the first few made here, and the rest at
        // their rate: measuring all of a line of megabytes, or even walking
        // its tabs, would cost every layout far more than a screen's worth.
        QList<int> sample;
        const QList<int>* ends = &sample;
        // Counting another long line leaves the kept rows alone.
        if (d->longLine == t)
            syncLongLine(line);
        if (d->longLine == t && !d->longLineEnds.isEmpty()) {
            ends = &d->longLineEnds;
        } else {
            const int W = q->width();
            const int xShift = continuationShift(line);
            sample.append(d->doc->nextWrapPos(line, W - 8, 0));
            while (sample.size() < 64 && sample.last() < len)
                sample.append(qMax(sample.last() + 1,
                                   d->doc->nextWrapPos(line, W - xShift - 8, sample.last())));
        }
        const int done = ends->last();
        if (done >= len)
            return int(ends->size());
        return int(ends->size() + (qint64(len - done) * ends->size() + done - 1) / done);
    }
    const int room = qMax(30, q->width() - 8);
    // The estimate of the line's width never falls short of it: a line it
    // fits into one row takes one row.
    if (d->doc->lineWidth(t) <= room)
        return 1;
    return qMax(1, int(shortWrapEnds(line).size()));
}

void TextView::Private::syncRowCounts()
{
    Private* const d = this;
    const QList<int> key = layoutKey();
    const int lines = d->doc->lastLine() + 1;
    if (key != d->rowCountsKey || d->rowCounts.lineCount() != lines)
        d->rowCountsStale = true;
    if (d->rowCountsStale) {
        d->rowCountsKey = key;
        d->rowCountsStale = false;
        d->rowCounts.reset(lines);
        if (d->doc->getWrap()) {
            for (int i = 0; i < lines; ++i)
                d->rowCounts.setExtra(i, estimateRows(i) - 1);
        }
    } else if (d->doc->getWrap()) {
        auto recount = [&](int a, int b) {
            for (int i = qMax(0, a); i <= b && i < lines; ++i)
                d->rowCounts.setExtra(i, estimateRows(i) - 1);
        };
        for (const auto& [a, b] : d->touched)
            recount(a, b);
        // An insertion or removal tags every line below it for repainting;
        // only a bounded region is text that changed.
        if (!d->changed.isEmpty() &&
            (d->touched.empty() || d->changed.end - d->changed.start < 4096))
            recount(d->changed.start, d->changed.end);
    }
    d->touched.clear();
    d->changed.clear();
}

int TextView::Private::topRow()
{
    Private* const d = this;
    syncRowCounts();
    const int line = qMin(d->yPos / d->fontHeight, d->doc->lastLine());
    return d->rowCounts.rowsBefore(line) + d->topSkip;
}

int TextView::Private::caretRow()
{
    Private* const d = this;
    const int line = d->cursor->line();
    const int col = d->cursor->column();
    const TextLine* t = d->doc->lineOf(line);
    if (!d->doc->getWrap() || t->isEmpty())
        return 0;
    // The row is the first whose end lies past the caret; the last row also
    // takes the columns beyond the line's end. Rows of a long line are made
    // only as far as the caret's column.
    const QList<int>& ends =
        t->size() > CachedLineLength ? wrapEnds(line, -1, col) : shortWrapEnds(line);
    const auto past = std::upper_bound(ends.begin(), ends.end(), col);
    return qMax(0, int(qMin(past - ends.begin(), ends.size() - 1)));
}

const VisibleLine* TextView::visibleLine(int key) const
{
    return d->rowAt(key);
}

int TextView::firstVisibleKey() const
{
    return d->firstKey;
}

int TextView::visibleRowCount() const
{
    return int(d->visibleLines.size());
}

int TextView::lineNumber(int contentY)
{
    const int key = contentY / d->fontHeight;
    if (const VisibleLine* row = d->rowAt(key))
        return row->line;
    const int lastKey = d->firstKey + int(d->visibleLines.size()) - 1;
    if (!d->visibleLines.empty() && key <= lastKey && key <= d->doc->lastLine()) {
        qCDebug(lcEditor, "visibleLines dosn't contain line %d", key);
        return key;
    }
    return d->doc->lastLine();
}

QPoint TextView::screenPosToDoc(int x, int y)
{
    const int key = y / d->fontHeight;
    if (key < 0 || y < 0)
        return QPoint(0, 0);
    TextDocument* doc = d->doc;
    if (const VisibleLine* row = d->rowAt(key)) {
        // Within the row, as painting lays it out: tab stops count from the
        // row's start.
        const int col = doc->textLength(row->line, row->startPos, qMax(1, x - row->xShift));
        return QPoint(col, row->line);
    }
    if (d->visibleLines.empty()) {
        const int line = doc->lastLine();
        return QPoint(doc->textLength(line), line);
    }
    // The nearest row: above the rows only the first can be nearest, below
    // them only the last.
    const VisibleLine& row = key < d->firstKey ? d->visibleLines.front() : d->visibleLines.back();
    int line = row.line;
    const TextLine* t = doc->lineOf(line);
    if (t->isFoldingStart && t->isFolded) {
        while (line < doc->lastLine() && !doc->lineOf(line + 1)->isFoldVisible)
            ++line;
    }
    return QPoint(doc->textLength(line), line);
}

QPoint TextView::screenPosToDoc(const QPoint& p)
{
    return screenPosToDoc(p.x(), p.y());
}

QPoint TextView::docPosToScreen(int column, int line)
{
    const int h = d->fontHeight;
    if (line < 0)
        return QPoint(0, line * h);
    TextDocument* doc = d->doc;
    line = qMin(line, doc->lastLine());
    while (line > 0 && !doc->lineOf(line)->isFoldVisible)
        --line;
    int extra = 0;
    int prev = -1;
    const int len = doc->textLength(line);
    for (size_t i = 0; i < d->visibleLines.size(); ++i) {
        const VisibleLine& row = d->visibleLines[i];
        if (row.line > line)
            break;
        if (row.line == prev)
            extra += h;
        prev = row.line;
        // The line's last row also takes the columns beyond its end.
        if (row.line == line && row.startPos <= column &&
            (column < row.endPos || row.endPos >= len))
            return QPoint(doc->textWidth(line, row.startPos, column) + row.xShift,
                          (d->firstKey + int(i)) * h);
    }
    return QPoint(doc->textWidth(line, column), line * h + extra);
}

QPoint TextView::docPosToScreen(const QPoint& p)
{
    return docPosToScreen(p.x(), p.y());
}

// --- Caret and scrolling ----------------------------------------------------------

void TextView::setCursorPositionInternal(int line, int col, bool select)
{
    if (!select) {
        if (!d->endDrag) {
            if (hasSelection())
                clearSelection();
            d->selectionStart = d->selectionEnd = QPoint(0, 0);
        }
    } else {
        if (selected.right() <= selected.left() && selected.bottom() <= selected.top())
            d->selectionStart = QPoint(d->cursor->column(), d->cursor->line());
        d->selectionEnd = QPoint(col, line);
        setSelection(d->selectionStart, d->selectionEnd);
    }
}

void TextView::setCursorPosition(int line, int col, bool select)
{
    col = d->doc->characterColumn(line, col, false);
    setCursorPositionInternal(line, col, select);
    d->cursor->setWantedColumn(col);
    d->cursor->set(line, col, true);
    notifyChange(TextEditor::CursorPosition);
}

void TextView::ensureCursorVisible()
{
    TextDocument* doc = d->doc;
    EditorCursor* c = d->cursor;
    if (c->line() != d->cursorLine) {
        if (d->cursorLine <= doc->lastLine() && d->manager->fRemoveSpaces)
            doc->removeTrailingSpaces(d->cursorLine);
    }
    d->cursorLine = c->line();
    const int oldX = d->xPos;
    const int oldY = d->yPos;
    const int oldSkip = d->topSkip;
    c->setEnabled(false);
    bringCaretRowIntoView();
    const QPoint p = docPosToScreen(c->pos());
    if (!doc->getWrap()) {
        const int s = d->spaceWidth;
        const int left = qMax(p.x() - s, 0);
        if (left < d->xPos) {
            const int dx = d->xPos - left;
            d->xPos = left;
            scrollX(dx);
        } else if (p.x() + s > width() + d->xPos) {
            const int dx = (p.x() + s - d->xPos) - width();
            d->xPos = p.x() - width() + s;
            scrollX(-dx);
        }
    } else {
        d->xPos = 0;
    }
    // The scroll bars change only when the view scrolled; setting them up
    // again on every caret move would relay out the frame.
    updateView(d->xPos != oldX || d->yPos != oldY || d->topSkip != oldSkip);
    c->setEnabled(true);
}

void TextView::bringCaretRowIntoView()
{
    // Counted in rows, so that wrapped lines and closed folds count as
    // they show; the row below the caret stays in view when the view holds
    // two rows.
    TextDocument* doc = d->doc;
    const int h = d->fontHeight;
    const int fit = qMax(1, height() / h);
    const int lowest = qMax(0, fit - 2);
    int line = qBound(0, d->cursor->line(), doc->lastLine());
    const int col = d->cursor->column();
    // A caret inside a closed fold shows on the fold's head.
    bool hidden = false;
    while (line > 0 && !doc->lineOf(line)->isFoldVisible) {
        --line;
        hidden = true;
    }
    updateLinesList();
    const int len = doc->textLength(line);
    for (size_t i = 0; i < d->visibleLines.size(); ++i) {
        const VisibleLine& r = d->visibleLines[i];
        if (r.line != line ||
            !(hidden || (r.startPos <= col && (col < r.endPos || r.endPos >= len))))
            continue;
        if (int(i) > lowest)
            moveTop(int(i) - lowest);
        return;
    }
    const int row = hidden ? 0 : d->caretRow();
    const int top = d->yPos / h;
    const bool above = line < top || (line == top && row < d->topSkip);
    d->yPos = line * h;
    d->topSkip = row;
    if (!above)
        moveTop(-lowest);
}

void TextView::moveTop(int n)
{
    const int h = d->fontHeight;
    TextDocument* doc = d->doc;
    const int last = doc->lastLine();
    int line = qMin(d->yPos / h, last);
    int skip = d->topSkip;
    for (; n > 0; --n) {
        if (d->hasRow(line, skip + 1)) {
            ++skip;
            continue;
        }
        int next = line + 1;
        while (next <= last && !doc->lineOf(next)->isFoldVisible)
            ++next;
        if (next > last)
            break;
        line = next;
        skip = 0;
    }
    for (; n < 0; ++n) {
        if (skip > 0) {
            --skip;
            continue;
        }
        int prev = line - 1;
        while (prev > 0 && !doc->lineOf(prev)->isFoldVisible)
            --prev;
        if (prev < 0)
            break;
        line = prev;
        skip = d->rowsOf(line) - 1;
    }
    d->yPos = line * h;
    d->topSkip = skip;
    updateLinesList();
}

void TextView::scrollRows(int n)
{
    moveTop(n);
    d->vbar->blockSignals(true);
    d->vbar->setValue(d->topRow());
    d->vbar->blockSignals(false);
    QWidget::update();
    repaintMargins();
}

int TextView::pageWithinLine(bool down)
{
    TextDocument* doc = d->doc;
    const int line = d->cursor->line();
    if (!doc->getWrap() || line > doc->lastLine() || !doc->lineOf(line)->isFoldVisible)
        return -1;
    const int fit = qMax(1, height() / d->fontHeight);
    if (!d->hasRow(line, fit))
        return -1;
    const int row = d->caretRow();
    int target = down ? row + fit : row - fit;
    if (down) {
        if (!d->hasRow(line, row + 1))
            return -1;
        while (!d->hasRow(line, target))
            --target;
    } else {
        if (row == 0)
            return -1;
        target = qMax(0, target);
    }
    const int len = doc->textLength(line);
    const QList<int> ends =
        len > CachedLineLength ? d->wrapEnds(line, target + 1) : d->shortWrapEnds(line);
    const int shift = d->continuationShift(line);
    auto startOf = [&](int r) { return r == 0 ? 0 : ends.at(r - 1); };
    auto shiftOf = [&](int r) { return r == 0 ? 0 : shift; };
    // The caret keeps its x on the row a page away.
    const int x = doc->textWidth(line, startOf(row), d->cursor->column()) + shiftOf(row);
    int col = doc->textLength(line, startOf(target), qMax(1, x - shiftOf(target)));
    if (ends.at(target) < len)
        col = qMin(col, ends.at(target) - 1);
    scrollRows(target - row);
    return qMin(col, len);
}

void TextView::centerCursor(int line, int col)
{
    updateLinesList();
    const int top = lineNumber(d->yPos);
    const int bottom = lineNumber(height() + d->yPos - 1);
    const int half = (bottom - top) / 2;
    setCursorPosition(line - half, 0, false);
    setCursorPosition(line + half, 0, false);
    setCursorPosition(line, col, false);
}

int TextView::contentsX() const
{
    return d->xPos;
}

int TextView::contentsY() const
{
    return d->yPos;
}

void TextView::hslide(int value)
{
    d->cursor->setEnabled(false);
    const int dx = d->xPos - value;
    d->xPos = value;
    scrollX(dx);
    d->cursor->setEnabled(true);
}

void TextView::vslide(int value)
{
    // The bar counts rows: a value inside a wrapped line shows that row of
    // it on top.
    d->cursor->setEnabled(false);
    d->syncRowCounts();
    const auto [line, skip] = d->rowCounts.lineAt(value);
    d->yPos = line * lineHeight();
    scrollY(0);
    if (d->yPos / lineHeight() == line)
        d->topSkip = skip;
    updateLinesList();
    d->cursor->setEnabled(true);
}

void TextView::scrollX(int dx)
{
    if (d->doc->getWrap() || dx == 0)
        return;
    // Repainted rather than moved: moved pixels would carry the inverted
    // caret along.
    update();
}

void TextView::scrollY(int)
{
    d->topSkip = 0;
    int key = d->yPos / lineHeight();
    key = qMin(key, d->doc->lastLine());
    while (key >= 1 && !d->doc->lineOf(key)->isFoldVisible)
        --key;
    d->yPos = qMax(0, key) * lineHeight();
    updateLinesList();
    update();
    repaintMargins();
}

TextView::ScrollBarMode TextView::vScrollBarMode() const
{
    return d->vScrollBarMode;
}

TextView::ScrollBarMode TextView::hScrollBarMode() const
{
    return d->hScrollBarMode;
}

void TextView::setVScrollBarMode(ScrollBarMode mode)
{
    d->vScrollBarMode = mode;
}

void TextView::setHScrollBarMode(ScrollBarMode mode)
{
    d->hScrollBarMode = mode;
}

QRect TextView::caretRect()
{
    updateLinesList();
    const QPoint p = docPosToScreen(d->cursor->pos());
    const int x = p.x() - d->xPos - 2;
    const int top = p.y() - d->yPos;
    // The I-beam spans x + 2 .. x + 6 and top .. top + lineHeight - 2.
    return QRect(x + 2, top, 5, lineHeight() - 1);
}

} // namespace xqwidgets

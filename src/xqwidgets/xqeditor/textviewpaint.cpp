// The text view's painting: which rows a change repaints, the scroll bars
// that follow the layout, and the rows, the empty area and the caret.

#include "xqwidgets/xqeditor/textview.h"

#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/editormargins.h"
#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview_p.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

namespace xqwidgets
{

// --- Repainting -------------------------------------------------------------------

void TextView::setUpdateRegion(const LineRegion& r)
{
    // The lines are repainted at the next updateView(). The rows kept of a
    // long line follow its edits (see syncLongLine), unless the width of a
    // character depends on its colour.
    if (!r.isEmpty()) {
        if (d->uniformAdvance() < 0)
            d->longLine = nullptr;
        d->changed.expand(r.start, r.end);
        d->dirty.expand(r.start, r.end);
    }
}

void TextView::linesInserted(int at, int count)
{
    d->rowCounts.linesInserted(at, count);
    d->touched.emplace_back(at - 1, at + count);
    // Many scattered changes (a replace-all) are counted afresh.
    if (d->touched.size() > 256)
        d->rowCountsStale = true;
}

void TextView::linesRemoved(int at, int count)
{
    d->rowCounts.linesRemoved(at, count);
    d->touched.emplace_back(at - 1, at);
    if (d->touched.size() > 256)
        d->rowCountsStale = true;
}

void TextView::updateLines(int, int)
{
    d->repaintAll = true;
    // The document asks this when the wrap switch changed: every row moves
    // and the horizontal bar changes its role.
    d->geometryChanged = true;
}

void TextView::resizeBuffer()
{
    d->ready = true;
    d->repaintAll = true;
    resizeMarginBuffers();
}

void TextView::resizeMarginBuffers()
{
    d->indicatorMargin->resizeBuffer();
    d->selectionMargin->resizeBuffer();
    d->lineNumberMargin->resizeBuffer();
    d->foldingMargin->resizeBuffer();
}

void TextView::updateScrollBars()
{
    TextDocument* doc = d->doc;
    const int W = width();
    const int H = height();
    const int lh = lineHeight();
    // Room after the longest line for the caret that ensureCursorVisible()
    // keeps a space's width from the right edge.
    const int tw = doc->documentWidth() + d->spaceWidth + 4;
    const int dx = tw - W;
    const bool dragging = d->vbar->isSliderDown();
    if (!dragging)
        d->syncRowCounts();
    const int dh = d->rowCounts.total() * lh;
    const int dy = dh - H;
    QScrollBar* hbar = d->hbar;
    QScrollBar* vbar = d->vbar;

    hbar->blockSignals(true);
    if (doc->getWrap()) {
        if (d->xPos != 0)
            QWidget::update();
        d->xPos = 0;
        hbar->setRange(0, 0);
        hbar->setEnabled(false);
        hbar->setVisible(d->hScrollBarMode == AlwaysOn);
    } else {
        // The bar's visibility is set once, to its final state: showing it
        // only to hide it again relays out the frame, which resizes this view,
        // which lands here again - a loop that repainted everything on every
        // edit.
        const bool visible =
            d->hScrollBarMode == AlwaysOn || (d->hScrollBarMode != AlwaysOff && dx >= 1);
        if (!hbar->testAttribute(Qt::WA_WState_ExplicitShowHide) || hbar->isHidden() == visible)
            hbar->setVisible(visible);
        if (dx < 1) {
            hbar->setRange(0, 0);
            hbar->setEnabled(false);
        } else {
            hbar->setRange(0, dx);
            hbar->setValue(d->xPos);
            hbar->setSingleStep(d->fontHeight);
            hbar->setPageStep(W);
            hbar->setEnabled(true);
        }
    }
    hbar->blockSignals(false);

    vbar->blockSignals(true);
    if (dragging) {
        // The thumb stays under the user's hand; the range follows counts
        // made meanwhile when the drag ends.
    } else if (dy < 1) {
        vbar->setRange(0, 0);
        vbar->setEnabled(false);
        if (d->vScrollBarMode != AlwaysOn)
            vbar->hide();
    } else {
        vbar->setRange(0, (dh - H / 2) / lh + 1);
        vbar->setValue(d->topRow());
        vbar->setSingleStep(1);
        vbar->setPageStep(H / lh + 1);
        vbar->setEnabled(true);
        if (vbar->isHidden() && d->vScrollBarMode != AlwaysOff)
            vbar->show();
    }
    vbar->blockSignals(false);
    d->lineNumberMargin->checkWidth();
}

void TextView::updateView(bool newDocGeometry)
{
    if (!d->ready)
        return;
    TextDocument* doc = d->doc;
    updateLinesList();
    d->cursor->setEnabled(false);
    if (newDocGeometry || d->geometryChanged) {
        d->geometryChanged = false;
        updateScrollBars();
        const int tw = doc->documentWidth() + d->spaceWidth + 4;
        const int W = width();
        if (d->xPos > 0 && tw - d->xPos < W) {
            const int newX = qMax(tw - W, 0);
            const int old = d->xPos;
            d->xPos = newX;
            scrollX(old - newX);
            updateView(true);
            d->cursor->setEnabled(true);
            return;
        }
    }

    d->requestRepaint();
    d->cursor->setEnabled(true);
}

bool TextView::Private::isDirty(const LineRegion& lines, int line) const
{
    if (lines.isEmpty())
        return false;
    if (line >= lines.start && line <= lines.end)
        return true;
    // An empty line shows the background the text above it ended in: it
    // changes with the nearest line above it that has text.
    if (!anyBackground || line <= lines.start || !doc->lineOf(line)->isEmpty())
        return false;
    for (int k = line - 1; k >= lines.start && k > line - 1000; --k) {
        if (!doc->lineOf(k)->isEmpty())
            return k <= lines.end;
    }
    return false;
}

void TextView::Private::requestRepaint()
{
    Private* const d = this;
    const int h = d->fontHeight;
    const bool scrolled = d->shown.yPos != d->yPos || d->shown.topSkip != d->topSkip ||
                          d->shown.xPos != d->xPos || d->shown.size != q->size();
    if (d->repaintAll || scrolled) {
        q->QWidget::update();
        q->repaintMargins();
    } else {
        // The lines whose rows show something else now: what the document
        // changed, the current-line band the caret left and entered, and
        // the lines where the selection's extent changed.
        LineRegion lines = d->dirty;
        const int caretLine = d->cursor->line();
        if (caretLine != d->shown.caretLine) {
            lines.expand(caretLine, -1);
            lines.expand(qMax(0, d->shown.caretLine), -1);
        }
        const QRect sel = q->selected;
        if (sel != d->shown.selection) {
            QPoint a1, a2, b1, b2;
            orderedPoints(d->shown.selection, a1, a2);
            orderedPoints(sel, b1, b2);
            const bool hadOne = d->shown.selection.topLeft() != d->shown.selection.bottomRight();
            const bool hasOne = sel.topLeft() != sel.bottomRight();
            if (hadOne && hasOne && !d->manager->fVerticalSelection) {
                // A stream selection changes only between its old and new
                // ends: the lines in between are selected whole or not at
                // all, as before.
                if (a1 != b1)
                    lines.expand(a1.y(), b1.y());
                if (a2 != b2)
                    lines.expand(a2.y(), b2.y());
            } else {
                if (hadOne)
                    lines.expand(a1.y(), a2.y());
                if (hasOne)
                    lines.expand(b1.y(), b2.y());
            }
            // The folding margin shows a selection of three lines or more
            // as a bar with its button on the middle line.
            d->foldingMargin->update();
        }
        QRegion area;
        const size_t n = d->visibleLines.size();
        const size_t old = d->shown.rows.size();
        for (size_t i = 0; i < n; ++i) {
            const VisibleLine& r = d->visibleLines[i];
            bool changed = i >= old || isDirty(lines, r.line);
            if (!changed) {
                const VisibleLine& o = d->shown.rows[i];
                changed = o.line != r.line || o.startPos != r.startPos || o.endPos != r.endPos ||
                          o.xShift != r.xShift;
            }
            if (changed)
                area += QRect(0, int(i) * h, q->width(), h);
        }
        // Rows that are gone leave empty area.
        if (old > n)
            area += QRect(0, int(n) * h, q->width(), q->height() - int(n) * h);
        if (!area.isEmpty()) {
            q->QWidget::update(area);
            // The margins' rows line up with the view's.
            for (QWidget* margin : {static_cast<QWidget*>(d->indicatorMargin),
                                    static_cast<QWidget*>(d->selectionMargin),
                                    static_cast<QWidget*>(d->lineNumberMargin),
                                    static_cast<QWidget*>(d->foldingMargin)}) {
                if (!margin->isVisible())
                    continue;
                for (const QRect& band : area)
                    margin->update(0, band.y(), margin->width(), band.height());
            }
        }
    }
    d->repaintAll = false;
    d->dirty.clear();
    d->shown.rows = d->visibleLines;
    d->shown.yPos = d->yPos;
    d->shown.topSkip = d->topSkip;
    d->shown.xPos = d->xPos;
    d->shown.size = q->size();
    d->shown.caretLine = d->cursor->line();
    d->shown.selection = q->selected;
}

// --- Painting ---------------------------------------------------------------------

void TextView::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    const QRect r = e->rect();
    d->colourCutInPaint = -1;
    updateLinesList();
    const int W = width();
    const int h = d->fontHeight;
    int key = d->firstKey;
    int y = linePosition(key) - d->yPos;
    const int bottom = r.y() + r.height();
    while (y < bottom) {
        const VisibleLine* row = d->rowAt(key);
        if (!row)
            break;
        if (y + h > r.y()) {
            // A glyph that reaches out of its row would be left behind or
            // covered depending on which rows a change repaints.
            p.setClipRect(QRect(0, y, W, h));
            paintLine(p, *row, y);
        }
        y += h;
        ++key;
    }
    p.setClipping(false);
    if (y < height())
        paintEmptyArea(p, QRect(0, y, W, height() - y));
    paintCaret(p);
}

void TextView::paintEmptyArea(QPainter& p, const QRect& area)
{
    p.fillRect(area, d->manager->normalBackgroundColor);
}

void TextView::paintCaret(QPainter& p)
{
    if (!d->cursor->isEnabled())
        return;
    const QRect c = caretRect();
    const int x = c.x() - 2; // the I-beam's reference x
    const int top = c.y();
    const int bottom = top + lineHeight() - 2;
    // Inverting what lies below keeps the caret visible on any colour, as an
    // exclusive-or stroke in white would.
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Difference);
    p.setPen(QColor(255, 255, 255));
    p.drawLine(x + 4, top, x + 4, bottom);
    p.drawLine(x + 2, top, x + 3, top);
    p.drawLine(x + 5, top, x + 6, top);
    p.drawLine(x + 2, bottom, x + 3, bottom);
    p.drawLine(x + 5, bottom, x + 6, bottom);
    p.restore();
}

// A row of text on screen and what the steps of painting it share.
struct TextView::Private::PaintedRow {
    // Runs of one attribute up to a tab, an attribute change or `to`.
    struct Run {
        int start, end, x, width;
        const TextAttribute* attr;
        int fontType;
        bool tabAfter;
    };

    const VisibleLine& row;
    int y;
    int line;
    TextLine* t;
    int W;
    int h;
    int len;
    // The row's last column within its line's text.
    int l;
    // Screen x of the row's content x 0.
    int ox;
    int tabs;
    // The columns that can be seen, and the content x of `from`.
    int from;
    int to;
    int x0;
    std::vector<Run> runs;

    int tabAdvance(int x) const { return tabs - x % tabs; }
};

void TextView::paintLine(QPainter& p, const VisibleLine& row, int y)
{
    Private::PaintedRow r = d->measureRow(row, y);
    d->cutToView(r);
    d->colourTo(r, r.to);
    d->collectRuns(r);
    d->paintBackgrounds(p, r);
    d->paintSelection(p, r);
    d->paintIndentationGuides(p, r);
    d->paintRuns(p, r);
    d->paintFoldMark(p, r);
}

TextView::Private::PaintedRow TextView::Private::measureRow(const VisibleLine& row, int y)
{
    const int line = row.line;
    TextLine* t = doc->lineOf(line);
    const int len = int(t->size());
    const int l = qMin(row.endPos, len);
    return PaintedRow{row,
                      y,
                      line,
                      t,
                      q->width(),
                      fontHeight,
                      len,
                      l,
                      2 - xPos + row.xShift,
                      qMax(1, tabsWidth),
                      row.startPos,
                      l,
                      0,
                      {}};
}

const TextAttribute* TextView::Private::attributeOf(int id) const
{
    return q->hl ? q->hl->attribute(id) : nullptr;
}

// A line is coloured only as far as its painted columns need: on a line of
// megabytes, a keystroke near its start would otherwise colour all of it
// again. A colouring that ran out of time goes on in idle time; the other
// rows of its line in this paint do not run it again.
void TextView::Private::colourTo(const PaintedRow& r, int column)
{
    if (r.t->isHighlighted() || colourCutInPaint == r.line)
        return;
    doc->colourLine(q, r.line, column >= int(r.t->size()) ? -1 : column);
    if (r.t->highlightCut(TextLine::ColouringPass))
        colourCutInPaint = r.line;
}

// Only a row that starts its line can be wider than the view (without
// wrap), so only such a row is cut to the columns that can be seen.
void TextView::Private::cutToView(PaintedRow& r)
{
    const VisibleLine& row = r.row;
    if (row.startPos == 0 && !doc->getWrap() && r.l > 0) {
        const int leftX = xPos - 2 - row.xShift;
        if (leftX > 0) {
            r.from = qMax(0, doc->textLength(r.line, leftX) - 1);
            r.x0 = doc->textWidth(r.line, r.from);
        }
        const int c1 = doc->textLength(r.line, leftX + r.W + 2) + 1;
        r.to = qMin(r.l, c1);
        if (r.from > r.to)
            r.from = r.to;
    }
}

void TextView::Private::collectRuns(PaintedRow& r)
{
    TextLine* t = r.t;
    const QStringView text(*t);
    int x = r.x0;
    int i = r.from;
    while (i < r.to && r.ox + x < r.W) {
        if (text[i] == u'\t') {
            x += r.tabAdvance(x);
            ++i;
            continue;
        }
        const int id = t->attribute(uint(i));
        int j = i + 1;
        while (j < r.to && text[j] != u'\t' && t->attribute(uint(j)) == id)
            ++j;
        const TextAttribute* a = attributeOf(id);
        const int type = a ? a->fontType : 0;
        const int w = manager->width(type, QString::fromRawData(text.data() + i, j - i));
        r.runs.push_back({i, j, x, w, a, type, j < r.to && text[j] == u'\t'});
        x += w;
        i = j;
    }
}

void TextView::Private::paintBackgrounds(QPainter& p, const PaintedRow& r)
{
    TextEditorManager* m = manager;
    TextLine* t = r.t;
    const int line = r.line;
    const int y = r.y;
    const int W = r.W;
    const int h = r.h;
    const int ox = r.ox;
    p.fillRect(0, y, W, h, m->normalBackgroundColor);

    const bool currentLine = line == cursor->line() && m->currentLineColor.isValid() &&
                             m->currentLineColor != m->normalBackgroundColor;
    const QColor lineColor = t->lineColor();
    if (currentLine) {
        p.fillRect(0, y, W, h, m->currentLineColor);
    } else if (lineColor.isValid()) {
        p.fillRect(0, y, W, h, lineColor);
    } else if (r.l == 0) {
        // An empty line continues the background of the construct the text
        // above it ended in; lines 0 and 1 are never consulted.
        if (line > 1 && anyBackground) {
            for (int k = line - 1; k >= 1; --k) {
                TextLine* above = doc->lineOf(k);
                if (above->isEmpty())
                    continue;
                if (!above->isHighlighted())
                    doc->colourLine(q, k);
                const TextAttribute* a = attributeOf(above->attribute(uint(above->size() - 1)));
                if (a && a->usebg)
                    p.fillRect(ox, y, W - ox, h, a->bgcolor);
                break;
            }
        }
    } else if (anyBackground) {
        // A background reaches the right edge and runs on under later text
        // until a run with a background of its own; it may come from text
        // left of the view.
        if (r.from > r.row.startPos) {
            for (int k = r.from - 1; k >= r.row.startPos; --k) {
                const TextAttribute* a = attributeOf(t->attribute(uint(k)));
                if (a && a->usebg && t->at(k) != u'\t') {
                    p.fillRect(ox + r.x0, y, W - ox - r.x0, h, a->bgcolor);
                    break;
                }
            }
        }
        for (const PaintedRow::Run& run : r.runs) {
            if (!run.attr || !run.attr->usebg)
                continue;
            p.fillRect(ox + run.x, y, run.width, h, run.attr->bgcolor);
            int after = run.x + run.width;
            if (run.tabAfter)
                after += r.tabAdvance(after);
            p.fillRect(ox + after, y, W - ox - after, h, run.attr->bgcolor);
        }
    }
}

void TextView::Private::paintSelection(QPainter& p, const PaintedRow& r)
{
    const QRect& selected = q->selected;
    if (selected.topLeft() == selected.bottomRight())
        return;
    TextEditorManager* m = manager;
    const VisibleLine& row = r.row;
    const int line = r.line;
    const int y = r.y;
    const int h = r.h;
    const int ox = r.ox;
    QPoint p1, p2;
    orderedPoints(selected, p1, p2);
    // A row before the selection's start column on its first line (a
    // continuation row of that line) shows none of it.
    const bool lastRow = row.endPos >= r.len;
    if (line >= p1.y() && line <= p2.y() &&
        !(line == p1.y() && p1.y() != p2.y() && !m->fVerticalSelection && p1.x() >= row.endPos &&
          !lastRow)) {
        // Columns before the row's start measure 0.
        auto X = [&](int c) { return doc->textWidth(line, row.startPos, c); };
        const QColor sel = m->selectedBackgroundColor;
        auto fill = [&](int xa, int xb) {
            if (xb > xa)
                p.fillRect(QRect(QPoint(ox + xa, y), QPoint(ox + xb - 1, y + h - 1)), sel);
        };
        if (m->fVerticalSelection || p1.y() == p2.y()) {
            int x1 = X(p1.x());
            int x2 = X(p2.x());
            if (x1 > x2)
                std::swap(x1, x2);
            if (x2 > x1)
                fill(x1 == 0 ? -2 : x1, x2);
        } else if (line == p1.y()) {
            const int x1 = X(p1.x());
            fill(x1 == 0 ? -2 : x1, r.W - ox);
        } else if (line == p2.y()) {
            // Nothing when the selection ends at the row's first column
            // (or before the row, on a continuation row).
            const int x2 = X(p2.x());
            if (x2 > 0)
                fill(-2, x2);
        } else {
            p.fillRect(0, y, r.W, h, sel);
        }
    }
}

// n counts the blanks that lead the line, within the text up to the end of
// the row's first run (which ends before a tab or a change of attribute).
void TextView::Private::paintIndentationGuides(QPainter& p, const PaintedRow& r)
{
    TextEditorManager* m = manager;
    const VisibleLine& row = r.row;
    if (!m->fIndentationGuides || row.startPos >= r.l)
        return;
    TextLine* t = r.t;
    const int l = r.l;
    const int T = qMax(1, m->tabWidth());
    const QStringView text(*t);
    int lead = 0;
    while (lead < r.len && text[lead].isSpace())
        ++lead;
    colourTo(r, qMax(row.startPos + 1, qMin(lead, l)));
    int firstRunEnd = row.startPos;
    const int firstId = t->attribute(uint(row.startPos));
    while (firstRunEnd < qMin(lead, l) && text[firstRunEnd] != u'\t' &&
           t->attribute(uint(firstRunEnd)) == firstId)
        ++firstRunEnd;
    const int n = qMin(lead, firstRunEnd);
    int g = row.startPos;
    int gx = 0;
    p.setPen(QPen(QColor(0xf0, 0xc0, 0xc0), 0, Qt::DotLine));
    do {
        if (g != 0 && g % T == 0 && r.ox + gx >= 0)
            p.drawLine(r.ox + gx, r.y, r.ox + gx, r.y + r.h - 1);
        g += T - g % T;
        gx += r.tabAdvance(gx);
    } while (g < n && r.ox + gx < r.W);
}

void TextView::Private::paintRuns(QPainter& p, const PaintedRow& r)
{
    TextEditorManager* m = manager;
    const int baseline = r.y + fontAscent - 1;
    int fontType = -1;
    QColor pen;
    for (const PaintedRow::Run& run : r.runs) {
        if (r.ox + run.x + run.width < 0)
            continue;
        const int type = run.fontType;
        if (type != fontType) {
            p.setFont(m->font(type));
            fontType = type;
        }
        const QColor c = run.attr ? run.attr->color : QColor(Qt::black);
        if (c != pen || p.pen().style() != Qt::SolidLine) {
            p.setPen(c);
            pen = c;
        }
        p.drawText(r.ox + run.x, baseline,
                   QString::fromRawData(r.t->constData() + run.start, run.end - run.start));
    }
}

void TextView::Private::paintFoldMark(QPainter& p, const PaintedRow& r)
{
    if (r.t->isFoldingStart && r.t->isFolded) {
        p.setPen(QPen(QColor(50, 50, 50), 1, Qt::DotLine));
        p.drawLine(qMax(r.ox, 0), r.y + q->lineHeight() - 1, r.W, r.y + q->lineHeight() - 1);
    }
}

} // namespace xqwidgets

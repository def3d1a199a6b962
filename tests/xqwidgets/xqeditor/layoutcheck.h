#ifndef XQWIDGETS_TESTS_LAYOUTCHECK_H
#define XQWIDGETS_TESTS_LAYOUTCHECK_H

// Invariants of a text view's layout, checked from outside after any step:
// the row map, the caret and mouse mapping against where paintLine draws
// each column, and the document width against the longest line. Each check
// returns an empty string when it holds, else what is wrong, so that a
// caller can add its own context (a seed, the steps so far).

#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QString>

#include <vector>

namespace layoutcheck
{

using xqwidgets::TextDocument;
using xqwidgets::TextView;
using xqwidgets::VisibleLine;

inline QString rowText(const VisibleLine& r)
{
    return QStringLiteral("{line %1, %2..%3, shift %4}")
        .arg(r.line)
        .arg(r.startPos)
        .arg(r.endPos)
        .arg(r.xShift);
}

// The x at which painting puts column `col` of a row, worked out here on its
// own: the row's indent, then each character's advance in its font, a tab
// going to the next tab stop counted from the row's start.
inline int paintedX(TextView* v, const VisibleLine& r, int col)
{
    TextDocument* doc = v->document();
    const xqwidgets::TextLine* t = doc->lineOf(r.line);
    const int tabs = qMax(1, v->tabsWidth());
    const int len = int(t->size());
    int x = 0;
    for (int i = r.startPos; i < col; ++i) {
        if (i >= len) {
            x += doc->manager()->width(0, QChar(u' '));
        } else if (t->at(i) == u'\t') {
            x += tabs - x % tabs;
        } else {
            const xqwidgets::TextAttribute* a =
                v->highlight() ? v->highlight()->attribute(t->attribute(uint(i))) : nullptr;
            x += doc->manager()->width(a ? a->fontType : 0, t->at(i));
        }
    }
    return r.xShift + x;
}

// The rows on screen: each line's rows follow each other without gap or
// overlap, none repeats, no fold-visible line is skipped, a line's last row
// reaches its end, the rows fill the view unless the text ends, and with
// wrap on no row is wider than the view.
inline QString rows(TextView* v)
{
    v->updateLinesList();
    TextDocument* doc = v->document();
    const int n = v->visibleRowCount();
    const int first = v->firstVisibleKey();
    const int h = v->lineHeight();
    if (v->contentsY() != first * h)
        return QStringLiteral("top row key %1 does not match contentsY %2")
            .arg(first)
            .arg(v->contentsY());
    if (n == 0)
        return v->height() >= h ? QStringLiteral("no rows in a view %1 px high").arg(v->height())
                                : QString();
    const VisibleLine* prev = nullptr;
    for (int i = 0; i < n; ++i) {
        const VisibleLine* r = v->visibleLine(first + i);
        if (!r)
            return QStringLiteral("row key %1 is missing").arg(first + i);
        if (r->line < 0 || r->line > doc->lastLine())
            return QStringLiteral("row %1 shows line %2 of %3")
                .arg(i)
                .arg(r->line)
                .arg(doc->lastLine());
        const int len = doc->textLength(r->line);
        if (!doc->lineOf(r->line)->isFoldVisible)
            return QStringLiteral("row %1 shows hidden line %2").arg(i).arg(r->line);
        if (r->endPos <= r->startPos || (len > 0 && r->endPos > len))
            return QStringLiteral("row %1 %2 is empty or runs past the line's end %3")
                .arg(i)
                .arg(rowText(*r))
                .arg(len);
        if (i == 0 && r->line != first)
            return QStringLiteral("the top row shows line %1, its key is %2")
                .arg(r->line)
                .arg(first);
        if (prev && prev->line == r->line) {
            if (r->startPos != prev->endPos)
                return QStringLiteral("rows %1 %2 and %3 %4 of one line are not contiguous")
                    .arg(i - 1)
                    .arg(rowText(*prev))
                    .arg(i)
                    .arg(rowText(*r));
        } else if (prev) {
            const int prevLen = doc->textLength(prev->line);
            if (prev->endPos < prevLen)
                return QStringLiteral("line %1 stops at column %2 of %3 before line %4")
                    .arg(prev->line)
                    .arg(prev->endPos)
                    .arg(prevLen)
                    .arg(r->line);
            int next = prev->line + 1;
            while (next <= doc->lastLine() && !doc->lineOf(next)->isFoldVisible)
                ++next;
            if (r->line != next)
                return QStringLiteral("line %1 follows line %2, line %3 is missing")
                    .arg(r->line)
                    .arg(prev->line)
                    .arg(next);
            if (r->startPos != 0)
                return QStringLiteral("line %1 starts at column %2").arg(r->line).arg(r->startPos);
        }
        // Wrapping never gives a row less than 30 px of room: a view
        // narrower than that may show rows wider than itself.
        if (doc->getWrap() && r->endPos - r->startPos > 1 && v->width() - r->xShift - 8 >= 30 &&
            paintedX(v, *r, r->endPos) + 2 > v->width())
            return QStringLiteral("row %1 %2 is %3 px wide in a view of %4")
                .arg(i)
                .arg(rowText(*r))
                .arg(paintedX(v, *r, r->endPos))
                .arg(v->width());
        prev = r;
    }
    // The rows reach the bottom unless the text ends above it.
    if (n * h < v->height()) {
        int next = prev->line + 1;
        while (next <= doc->lastLine() && !doc->lineOf(next)->isFoldVisible)
            ++next;
        if (next <= doc->lastLine() || prev->endPos < doc->textLength(prev->line))
            return QStringLiteral("%1 rows leave the view's bottom empty above line %2")
                .arg(n)
                .arg(next);
    }
    return QString();
}

// The caret and the mouse agree with painting: every column of every row
// maps to the x where it is drawn, and a point inside its glyph maps back
// to it. Long rows are sampled.
inline QString mapping(TextView* v)
{
    v->updateLinesList();
    TextDocument* doc = v->document();
    const int first = v->firstVisibleKey();
    const int h = v->lineHeight();
    for (int i = 0; i < v->visibleRowCount(); ++i) {
        const VisibleLine r = *v->visibleLine(first + i);
        const int len = doc->textLength(r.line);
        const int end = qMin(r.endPos, len);
        const int step = qMax(1, (end - r.startPos) / 64);
        for (int col = r.startPos; col < end; col += step) {
            const int x = paintedX(v, r, col);
            const QPoint p = v->docPosToScreen(col, r.line);
            if (p != QPoint(x, (first + i) * h))
                return QStringLiteral("column %1 of row %2 %3 maps to %4,%5, painted at %6,%7")
                    .arg(col)
                    .arg(i)
                    .arg(rowText(r))
                    .arg(p.x())
                    .arg(p.y())
                    .arg(x)
                    .arg((first + i) * h);
            const int w = paintedX(v, r, col + 1) - x;
            if (w < 2)
                continue;
            const QPoint back = v->screenPosToDoc(x + w / 2, (first + i) * h + h / 2);
            if (back != QPoint(col, r.line))
                return QStringLiteral("a click on column %1 of row %2 %3 (x %4) lands on %5,%6")
                    .arg(col)
                    .arg(i)
                    .arg(rowText(r))
                    .arg(x + w / 2)
                    .arg(back.x())
                    .arg(back.y());
        }
    }
    return QString();
}

// The caret's row is on screen, with the row below it too when the view
// holds two rows (the margin kept when the caret moves down).
inline QString caretInView(TextView* v, int line, int column)
{
    v->updateLinesList();
    TextDocument* doc = v->document();
    const int h = v->lineHeight();
    const int fit = v->height() / h;
    const int len = doc->textLength(line);
    const int first = v->firstVisibleKey();
    for (int i = 0; i < v->visibleRowCount(); ++i) {
        const VisibleLine* r = v->visibleLine(first + i);
        if (r->line != line || column < r->startPos || (column >= r->endPos && r->endPos < len))
            continue;
        if (i + 1 > fit || (fit >= 2 && i + 2 > fit))
            return QStringLiteral("the caret at %1,%2 is on row %3 of a view of %4 rows")
                .arg(line)
                .arg(column)
                .arg(i)
                .arg(fit);
        return QString();
    }
    return QStringLiteral("the caret at %1,%2 is on no row on screen").arg(line).arg(column);
}

// The document width is the widest line's estimate and covers every line.
inline QString width(TextView* v)
{
    TextDocument* doc = v->document();
    int widest = 0;
    for (int i = 0; i <= doc->lastLine(); ++i) {
        widest = qMax(widest, doc->lineWidth(doc->lineOf(i)));
        if (doc->textWidth(i, doc->textLength(i)) > doc->documentWidth())
            return QStringLiteral("line %1 is %2 px wide, the document %3 px")
                .arg(i)
                .arg(doc->textWidth(i, doc->textLength(i)))
                .arg(doc->documentWidth());
    }
    if (widest != doc->documentWidth())
        return QStringLiteral("the widest line is %1 px, the document says %2")
            .arg(widest)
            .arg(doc->documentWidth());
    return QString();
}

// All of the above, the first failure.
inline QString all(TextView* v)
{
    for (const QString& s : {rows(v), mapping(v), width(v)}) {
        if (!s.isEmpty())
            return s;
    }
    return QString();
}

} // namespace layoutcheck

#endif

#include "xqwidgets/xqeditor/editormargins.h"

#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textfolding.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>

namespace xqwidgets
{

// --- Margin ---------------------------------------------------------------------

Margin::Margin(QWidget* parent, TextView* v)
    : QWidget(parent), view(v), document(v->document()), manager(v->manager())
{
    // Every row is painted in full, so nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

Margin::~Margin() = default;

void Margin::resizeEvent(QResizeEvent*)
{
    resizeBuffer();
}

void Margin::resizeBuffer()
{
    m_sized = true;
}

template <typename F> void Margin::walkRows(const QRect& clip, F row)
{
    const int lh = qMax(1, view->lineHeight());
    const int top = view->contentsY();
    const int bottom = clip.y() + clip.height();
    int key = view->firstVisibleKey();
    int y = view->linePosition(key) - top;
    for (; y < bottom; y += lh, ++key) {
        if (y + lh <= clip.y())
            continue;
        row(QRect(0, y, width(), lh), view->visibleLine(key));
    }
}

// --- IndicatorMargin ----------------------------------------------------------

IndicatorMargin::IndicatorMargin(QWidget* parent, TextView* view) : Margin(parent, view) {}

QSize IndicatorMargin::sizeHint() const
{
    return QSize(18, 0);
}

void IndicatorMargin::paintEvent(QPaintEvent* e)
{
    if (!hasBuffer())
        return;
    view->updateLinesList();
    QPainter p(this);
    p.setBrushOrigin(0, -view->contentsY());
    const int w = width();
    const QBrush background = palette().brush(QPalette::Window);
    walkRows(e->rect(), [&](const QRect& r, const VisibleLine* row) {
        p.fillRect(QRect(0, r.y(), w - 2, r.height()), background);
        if (row) {
            if (QPixmap* pix = document->lineOf(row->line)->linePixmap()) {
                p.drawPixmap((w - pix->width() - 2) / 2, r.y() + (r.height() - pix->height()) / 2,
                             *pix);
            }
        }
    });
    // The relief edge on the side of the text.
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(w - 1, e->rect().top(), w - 1, e->rect().bottom());
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(w - 2, e->rect().top(), w - 2, e->rect().bottom());
}

// --- SelectionMargin ----------------------------------------------------------

SelectionMargin::SelectionMargin(QWidget* parent, TextView* view) : Margin(parent, view) {}

QSize SelectionMargin::sizeHint() const
{
    return QSize(16, 0);
}

void SelectionMargin::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    p.fillRect(e->rect(), QColor(240, 240, 240));
}

void SelectionMargin::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    view->updateLinesList();
    const int L = view->lineNumber(view->contentsY() + int(e->position().y()));
    const int lastLine = document->lastLine();
    if (L > lastLine)
        return;
    view->setCursorPosition(L, 0, false);
    if (L == lastLine)
        view->setCursorPosition(L, document->textLength(L), true);
    else
        view->setCursorPosition(L + 1, 0, true);
    doSelect = true;
    start = last = L;
    upOrDown = false;
}

void SelectionMargin::mouseMoveEvent(QMouseEvent* e)
{
    if (!doSelect)
        return;
    view->updateLinesList();
    const int L = view->lineNumber(view->contentsY() + int(e->position().y()));
    const int lastLine = document->lastLine();
    if (L > lastLine || L == last)
        return;
    if (upOrDown && L >= start) {
        upOrDown = false;
        view->setCursorPosition(start, 0, false);
    } else if (!upOrDown && L < start) {
        upOrDown = true;
        if (start == lastLine)
            view->setCursorPosition(start, document->textLength(start), false);
        else
            view->setCursorPosition(start + 1, 0, false);
    }
    if (upOrDown)
        view->setCursorPosition(L, 0, true);
    else if (L == lastLine)
        view->setCursorPosition(L, document->textLength(L), true);
    else
        view->setCursorPosition(L + 1, 0, true);
    last = L;
}

void SelectionMargin::mouseReleaseEvent(QMouseEvent*)
{
    doSelect = false;
}

// --- LineNumberMargin ---------------------------------------------------------

namespace
{

// Dots on the even content rows, so that the dotted edge stays put while
// the text scrolls: a two-pixel pattern anchored at the content's top.
void drawDottedEdge(QPainter& p, int x, const QRect& r, int top, const QColor& dot,
                    const QColor& background)
{
    QImage pattern(1, 2, QImage::Format_RGB32);
    pattern.setPixelColor(0, 0, dot);
    pattern.setPixelColor(0, 1, background);
    const QPoint origin = p.brushOrigin();
    p.setBrushOrigin(0, -top);
    p.fillRect(QRect(x, r.top(), 1, r.height()), QBrush(pattern));
    p.setBrushOrigin(origin);
}

int digitsOf(int n)
{
    int digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

} // namespace

LineNumberMargin::LineNumberMargin(QWidget* parent, TextView* view) : Margin(parent, view)
{
    m_digits = digitsOf(document->lastLine() + 1);
}

QSize LineNumberMargin::sizeHint() const
{
    const QFontMetrics fm(manager->font());
    // Room for five digits at least, and for the largest line number: the
    // text is drawn 3 pixels in from either side.
    const int five = fm.horizontalAdvance(QStringLiteral("10000"));
    const int needed = fm.horizontalAdvance(QString(m_digits, QLatin1Char('0'))) + 6;
    return QSize(qMax(five + 6, needed), 0);
}

void LineNumberMargin::checkWidth()
{
    const int digits = digitsOf(document->lastLine() + 1);
    if (digits == m_digits)
        return;
    m_digits = digits;
    updateGeometry();
}

void LineNumberMargin::paintEvent(QPaintEvent* e)
{
    if (!hasBuffer())
        return;
    checkWidth();
    view->updateLinesList();
    QPainter p(this);
    const QColor background = manager->normalBackgroundColor;
    const QColor pen(0, 128, 128);
    p.setFont(manager->font());
    const int w = width();
    const int top = view->contentsY();
    walkRows(e->rect(), [&](const QRect& r, const VisibleLine* row) {
        p.fillRect(r, background);
        p.setPen(pen);
        drawDottedEdge(p, w - 1, r, top, pen, background);
        // A wrapped line is numbered on its first row only.
        if (row && row->startPos == 0)
            p.drawText(QRect(3, r.y(), w - 6, r.height()), Qt::AlignRight | Qt::AlignVCenter,
                       QString::number(row->line + 1));
    });
}

// --- FoldingMargin ------------------------------------------------------------

FoldingMargin::FoldingMargin(QWidget* parent, TextView* view) : Margin(parent, view) {}

QSize FoldingMargin::sizeHint() const
{
    return QSize(13, 0);
}

bool FoldingMargin::showAddFoldArea(int lineNum) const
{
    const QRect s = view->selection();
    const int first = qMin(s.top(), s.bottom());
    const int lastLine = qMax(s.top(), s.bottom());
    return lastLine - first + 1 > 2 && lineNum >= first && lineNum <= lastLine;
}

void FoldingMargin::paintFoldLine(QPainter* paint, int foldingLevel, bool isEndOfFold, int y1,
                                  int y2)
{
    paint->setPen(QColor(0, 0, 0));
    const int levels = qBound(1, foldingLevel, 3);
    for (int i = 0; i < levels; ++i)
        paint->drawLine(3 + 3 * i, y1, 3 + 3 * i, y2);
    if (isEndOfFold)
        paint->drawLine(3 + 3 * (levels - 1), y2 - 1, 12, y2 - 1);
}

void FoldingMargin::paintEvent(QPaintEvent* e)
{
    if (!hasBuffer())
        return;
    view->updateLinesList();
    const QRect sel = view->selection();
    const int sTop = qMin(sel.top(), sel.bottom());
    const int sBottom = qMax(sel.top(), sel.bottom());
    QPainter p(this);
    const int w = width();
    const int top = view->contentsY();
    const int lh = view->lineHeight();
    walkRows(e->rect(), [&](const QRect& r, const VisibleLine* row) {
        p.fillRect(r, QColor(240, 240, 240));
        drawDottedEdge(p, w - 1, r, top, QColor(0, 128, 128), QColor(240, 240, 240));
        if (!row)
            return;
        const int L = row->line;
        p.save();
        p.translate(0, r.y());
        if (showAddFoldArea(L)) {
            p.fillRect(0, 0, 12, lh, QColor(255, 255, 255));
            p.setPen(QColor(64, 64, 64));
            p.drawLine(0, 0, 0, lh - 1);
            p.drawLine(12, 0, 12, lh - 1);
            if (L == (sTop + sBottom) / 2) {
                p.drawLine(4, lh / 2, 8, lh / 2);
                p.drawLine(6, lh / 2 - 2, 6, lh / 2 + 2);
            }
            if (L == sTop)
                p.drawLine(0, 0, 12, 0);
            if (L == sBottom)
                p.drawLine(0, lh - 1, 12, lh - 1);
        } else {
            const TextLine* t = document->lineOf(L);
            const int c = lh / 2;
            if (t->isFoldingStart) {
                p.fillRect(2, c - 4, 9, 9, QColor(255, 255, 255));
                p.setPen(QColor(0, 0, 0));
                p.drawRect(2, c - 4, 9, 9);
                p.drawLine(4, c, 8, c);
                if (t->isFolded)
                    p.drawLine(6, c - 2, 6, c + 2);
                paintFoldLine(&p, t->foldingLevel, t->isFolded, c + 5, lh);
                if (L > 0 && document->lineOf(L - 1)->foldingLevel > 0)
                    paintFoldLine(&p, document->lineOf(L - 1)->foldingLevel, false, 0, c - 4);
            } else if (t->foldingLevel > 0) {
                paintFoldLine(&p, t->foldingLevel, document->folding()->isLastLineOfFold(L), 0, lh);
            }
        }
        p.restore();
    });
}

void FoldingMargin::mousePressEvent(QMouseEvent* e)
{
    view->updateLinesList();
    const int L = view->lineNumber(view->contentsY() + int(e->position().y()));
    if (L < 0 || L > document->lastLine())
        return;
    const TextLine* t = document->lineOf(L);
    if (showAddFoldArea(L)) {
        const QRect s = view->selection();
        document->folding()->createFold(qMin(s.top(), s.bottom()), qMax(s.top(), s.bottom()));
        view->clearSelection();
        return;
    }
    if (t->foldingLevel == 0)
        return;
    if (e->button() == Qt::LeftButton)
        document->folding()->toggleFold(L);
    else
        document->folding()->removeFold(L);
}

} // namespace xqwidgets

#include "xqwidgets/xqeditor/textview.h"

#include "xqwidgets/debuglog.h"
#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/editormargins.h"
#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/rowcounts.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QApplication>
#include <QClipboard>
#include <QDebug>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <vector>

namespace xqwidgets
{

namespace
{

// Lines up to this length share wrap positions by their text; longer lines
// are wrapped afresh, and only as far as the screen needs, since hashing
// them would cost more than wrapping their visible part.
constexpr int CachedLineLength = 4096;
constexpr int CacheLimit = 2048;

QRect emptySelection()
{
    return QRect(QPoint(0, 0), QPoint(0, 0));
}

// The two points of a selection in reading order.
void orderedPoints(const QRect& r, QPoint& p1, QPoint& p2)
{
    p1 = r.topLeft();
    p2 = r.bottomRight();
    if (p2.y() < p1.y() || (p2.y() == p1.y() && p2.x() < p1.x()))
        std::swap(p1, p2);
}

} // namespace

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

class TextView::Private
{
public:
    TextEditor* editor = nullptr;
    TextDocument* doc = nullptr;
    TextEditorManager* manager = nullptr;
    EditorCursor* cursor = nullptr;
    // The view draws straight into the backing store, which is double
    // buffered already; `ready` stands for the row buffer of a view that has
    // been sized: before that nothing is painted or scheduled.
    bool ready = false;
    int spaceWidth = 0;
    int tabsWidth = 0;
    int fontHeight = 1;
    int fontAscent = 0;
    int row = 0;
    int col = 0;
    Qt::MouseButtons bnState;
    Qt::KeyboardModifiers bnModifiers; // the modifiers remembered with bnState
    int prevX = 0;
    int prevY = 0;
    int cursorLine = 0;
    QPoint selectionStart;
    QPoint selectionEnd;
    bool selectionLocked = false;
    IndicatorMargin* indicatorMargin = nullptr;
    SelectionMargin* selectionMargin = nullptr;
    LineNumberMargin* lineNumberMargin = nullptr;
    FoldingMargin* foldingMargin = nullptr;
    bool mousePressed = false;
    bool startDrag = false;
    bool endDrag = false;
    // The rows on screen: keys firstKey, firstKey + 1, ...
    int firstKey = 0;
    std::vector<VisibleLine> visibleLines;
    WrappedLinesCache wrappedLinesCache;
    ScrollBarMode hScrollBarMode = Auto;
    ScrollBarMode vScrollBarMode = AlwaysOn;
    QScrollBar* hbar = nullptr;
    QScrollBar* vbar = nullptr;
    int xPos = 0;
    int yPos = 0;
    // With word wrap, the rows of the top line that lie above the view: a
    // wrapped line taller than the view scrolls by rows.
    int topSkip = 0;
    // Wheel movement of less than a notch, kept for the next event.
    int wheelDelta = 0;
    // The wrap positions of one line too long for the shared cache, made as
    // far as needed (as many rows, or up to a column). An edit of the line
    // drops the rows from the first whose wrap position depends on what it
    // touched (each row's last column looked at is kept beside its end),
    // so that typing near the end of a line of megabytes does not wrap it
    // again from its start. Where the font's variants differ in width, a
    // row depends on the colours too, and any change drops them all.
    const TextLine* longLine = nullptr;
    quint64 longLineStamp = 0;
    int longLineWidth = -1;
    int longLineTabs = -1;
    int longLineMode = -1;
    int longLineAdvance = -1;
    int longLineShift = -1;
    QList<int> longLineEnds;
    QList<int> longLineReach;
    bool geometryChanged = false;
    QMenu* rmbMenu = nullptr;
    // Whether any attribute of the highlighting has a background: only then
    // can a background reach a row from text left of it.
    bool anyBackground = false;
    // The caret was hidden while a drag selection scrolled the view.
    bool scrollHidCaret = false;
    // The line whose colouring ran out of time in the paint under way.
    int colourCutInPaint = -1;

    // What the screen shows once the repaints asked for so far are done:
    // the rows, the scroll position and what the rows are painted with. A
    // change repaints the rows that differ from it.
    struct Shown {
        std::vector<VisibleLine> rows;
        int yPos = -1;
        int topSkip = 0;
        int xPos = 0;
        QSize size;
        int caretLine = -1;
        QRect selection;
    } shown;
    // Lines to repaint, and whether all of the view must be.
    LineRegion dirty;
    bool repaintAll = true;
    // Asks for the repaint of what changed since the screen was last
    // brought up to date, and takes the new state as shown.
    void requestRepaint();
    bool isDirty(const LineRegion& lines, int line) const;

    TextView* q = nullptr;

    // Wrap positions (the column after each row) of a line of ordinary
    // length, from the shared cache, and of a long line, made up to `rows`
    // rows (all of them for -1).
    const QList<int>& shortWrapEnds(int line);
    // The indent of a wrapped line's continuation rows.
    int continuationShift(int line);
    const QList<int>& wrapEnds(int line, int rows, int column = -1);
    // Makes the kept wrap positions those of `line` in the present layout:
    // keeps those its edits since left standing, or starts afresh.
    void syncLongLine(int line);
    // The advance of every character when the font's variants share one,
    // -1 when they differ.
    int uniformAdvance() const;
    // How many rows a line takes, whether it has a row `row`, and the row
    // of its line the caret is on.
    int rowsOf(int line);
    bool hasRow(int line, int row);
    int caretRow();

    // Rows per line for the vertical scroll bar, made for one layout (view
    // width, tab stop, font, wrap settings) and kept across edits: lines
    // that came or went shift the counts, and the lines an edit touched are
    // counted again at the next sync.
    RowCounts rowCounts;
    bool rowCountsStale = true;
    QList<int> rowCountsKey;
    // Lines near insertions and removals since the last sync, and the lines
    // the document reported changed.
    std::vector<std::pair<int, int>> touched;
    LineRegion changed;
    QList<int> layoutKey() const;
    int estimateRows(int line);
    // A line laid out on screen corrects its count.
    void correctRowCount(int line, int rows);
    void syncRowCounts();
    // The scroll bar's row of the top of the view.
    int topRow();

    const VisibleLine* rowAt(int key) const
    {
        const int i = key - firstKey;
        if (i < 0 || i >= int(visibleLines.size()))
            return nullptr;
        return &visibleLines[size_t(i)];
    }
};

TextView::TextView(TextEditor* editor) : QWidget(editor), d(new Private)
{
    d->q = this;
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    selected = emptySelection();
    d->editor = editor;
    d->doc = editor->document();
    d->manager = d->doc->manager();
    d->cursor = new EditorCursor(this);
    d->vbar = new QScrollBar(Qt::Vertical, editor);
    d->hbar = new QScrollBar(Qt::Horizontal, editor);
    setHighlight(TextHighlightManager::highlight(d->manager, QString()));
    updateFontData();
    d->cursorLine = 0;

    setCursor(Qt::IBeamCursor);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    auto* grid = new QGridLayout(editor);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->setSpacing(0);
    d->indicatorMargin = new IndicatorMargin(editor, this);
    d->selectionMargin = new SelectionMargin(editor, this);
    d->lineNumberMargin = new LineNumberMargin(editor, this);
    d->foldingMargin = new FoldingMargin(editor, this);
    d->selectionMargin->hide();
    grid->addWidget(d->indicatorMargin, 0, 0);
    grid->addWidget(d->lineNumberMargin, 0, 1);
    grid->addWidget(d->foldingMargin, 0, 2);
    grid->addWidget(d->selectionMargin, 0, 3);
    grid->addWidget(this, 0, 4);
    grid->addWidget(d->vbar, 0, 5);
    grid->addWidget(d->hbar, 1, 0, 1, 5);
    grid->activate();

    connect(d->hbar, &QScrollBar::valueChanged, this, &TextView::hslide);
    connect(d->vbar, &QScrollBar::valueChanged, this, &TextView::vslide);
    connect(d->vbar, &QScrollBar::sliderReleased, this, [this] {
        d->geometryChanged = true;
        updateView(true);
    });

    updateMarginsState();
    d->doc->addView(this);
    d->doc->setActiveView(this);
    d->rmbMenu = new QMenu(this);
}

TextView::~TextView()
{
    d->doc->removeView(this);
    delete hl;
    hl = nullptr;
    delete d;
    d = nullptr;
}

TextEditor* TextView::editor() const
{
    return d->editor;
}

TextDocument* TextView::document() const
{
    return d->doc;
}

TextEditorManager* TextView::manager() const
{
    return d->manager;
}

EditorCursor* TextView::cursor() const
{
    return d->cursor;
}

QMenu* TextView::rmbMenu() const
{
    return d->rmbMenu;
}

TextHighlight* TextView::highlight() const
{
    return hl;
}

QScrollBar* TextView::horizontalScrollBar() const
{
    return d->hbar;
}

QScrollBar* TextView::verticalScrollBar() const
{
    return d->vbar;
}

IndicatorMargin* TextView::indicatorMargin() const
{
    return d->indicatorMargin;
}

SelectionMargin* TextView::selectionMargin() const
{
    return d->selectionMargin;
}

LineNumberMargin* TextView::lineNumberMargin() const
{
    return d->lineNumberMargin;
}

FoldingMargin* TextView::foldingMargin() const
{
    return d->foldingMargin;
}

void TextView::updateFontData()
{
    // The same top line stays on top; rows and wrap positions are measured
    // afresh, which every view needs, the hidden ones too.
    const int topKey = d->fontHeight > 0 ? d->yPos / d->fontHeight : 0;
    d->wrappedLinesCache.lines.clear();
    d->longLine = nullptr;
    d->geometryChanged = true;
    d->repaintAll = true;
    d->fontHeight = 0;
    d->fontAscent = 0;
    for (int type = 0; type < 4; ++type) {
        const QFontMetrics fm(d->manager->font(type));
        if (type == 0)
            d->spaceWidth = fm.horizontalAdvance(QLatin1Char(' '));
        d->fontAscent = qMax(d->fontAscent, fm.ascent());
        d->fontHeight = qMax(d->fontHeight, fm.height());
    }
    d->fontHeight = qMax(1, d->fontHeight);
    d->tabsWidth = d->doc->spacesInTab() * d->spaceWidth;
    d->yPos = topKey * d->fontHeight;
}

void TextView::updateMarginsState()
{
    d->indicatorMargin->setVisible(d->manager->isIndicatorMarginVisible());
    d->selectionMargin->setVisible(d->manager->isSelectionMarginVisible());
    d->lineNumberMargin->setVisible(d->manager->isLineNumberMarginVisible());
    d->foldingMargin->setVisible(d->manager->isFoldingMarginVisible());
}

void TextView::repaintMargins()
{
    d->indicatorMargin->update();
    d->selectionMargin->update();
    d->lineNumberMargin->update();
    d->foldingMargin->update();
}

void TextView::setHighlight(TextHighlight* h)
{
    TextHighlight* old = hl;
    hl = h;
    d->anyBackground = false;
    if (hl) {
        for (int id = 0; id < TextHighlight::MaxIds && !d->anyBackground; ++id) {
            const TextAttribute* a = hl->attribute(id);
            d->anyBackground = a && a->usebg;
        }
    }
    // Lines coloured by the old definition must be coloured again, and
    // every row painted with its colours.
    d->repaintAll = true;
    if (d->doc->views().contains(this)) {
        d->doc->updateLines();
        d->doc->updateViews();
    }
    delete old;
}

void TextView::setHighlight(const QString& name)
{
    setHighlight(TextHighlightManager::highlight(d->manager, name));
}

void TextView::setHighlightByFileName(const QString& fileName)
{
    setHighlight(TextHighlightManager::findHighlight(d->manager, fileName));
}

int TextView::lineHeight() const
{
    return d->fontHeight;
}

int TextView::fontHeight() const
{
    return d->fontHeight;
}

int TextView::fontAscent() const
{
    return d->fontAscent;
}

int TextView::linePosition(int key) const
{
    return key * d->fontHeight;
}

int TextView::spaceWidth() const
{
    return d->spaceWidth;
}

void TextView::setSpaceWidth(int w)
{
    d->spaceWidth = w;
}

int TextView::tabsWidth() const
{
    return d->tabsWidth;
}

void TextView::setTabsWidth(int w)
{
    d->tabsWidth = w;
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

void TextView::paintLine(QPainter& p, const VisibleLine& row, int y)
{
    TextDocument* doc = d->doc;
    TextEditorManager* m = d->manager;
    const int line = row.line;
    TextLine* t = doc->lineOf(line);
    // A line is coloured only as far as its painted columns need: on a
    // line of megabytes, a keystroke near its start would otherwise colour
    // all of it again.
    // A colouring that ran out of time goes on in idle time; the other rows
    // of its line in this paint do not run it again.
    auto colourTo = [&](int column) {
        if (t->isHighlighted() || d->colourCutInPaint == line)
            return;
        doc->colourLine(this, line, column >= int(t->size()) ? -1 : column);
        if (t->highlightCut(TextLine::ColouringPass))
            d->colourCutInPaint = line;
    };
    const int W = width();
    const int h = d->fontHeight;
    const int len = int(t->size());
    const int l = qMin(row.endPos, len);
    // Screen x of the row's content x 0.
    const int ox = 2 - d->xPos + row.xShift;
    const int tabs = qMax(1, d->tabsWidth);
    auto tabAdvance = [tabs](int x) { return tabs - x % tabs; };
    auto attributeOf = [this](int id) { return hl ? hl->attribute(id) : nullptr; };

    p.fillRect(0, y, W, h, m->normalBackgroundColor);

    // The columns that can be seen. Only a row that starts its line can be
    // wider than the view (without wrap), so only such a row is cut.
    int from = row.startPos;
    int to = l;
    int x0 = 0; // content x of `from`
    if (row.startPos == 0 && !doc->getWrap() && l > 0) {
        const int leftX = d->xPos - 2 - row.xShift;
        if (leftX > 0) {
            from = qMax(0, doc->textLength(line, leftX) - 1);
            x0 = doc->textWidth(line, from);
        }
        const int c1 = doc->textLength(line, leftX + W + 2) + 1;
        to = qMin(l, c1);
        if (from > to)
            from = to;
    }
    colourTo(to);

    // Runs of one attribute up to a tab, an attribute change or `to`.
    struct Run {
        int start, end, x, width;
        const TextAttribute* attr;
        int fontType;
        bool tabAfter;
    };
    std::vector<Run> runs;
    {
        const QStringView text(*t);
        int x = x0;
        int i = from;
        while (i < to && ox + x < W) {
            if (text[i] == u'\t') {
                x += tabAdvance(x);
                ++i;
                continue;
            }
            const int id = t->attribute(uint(i));
            int j = i + 1;
            while (j < to && text[j] != u'\t' && t->attribute(uint(j)) == id)
                ++j;
            const TextAttribute* a = attributeOf(id);
            const int type = a ? a->fontType : 0;
            const int w = m->width(type, QString::fromRawData(text.data() + i, j - i));
            runs.push_back({i, j, x, w, a, type, j < to && text[j] == u'\t'});
            x += w;
            i = j;
        }
    }

    const bool currentLine = line == d->cursor->line() && m->currentLineColor.isValid() &&
                             m->currentLineColor != m->normalBackgroundColor;
    const QColor lineColor = t->lineColor();
    if (currentLine) {
        p.fillRect(0, y, W, h, m->currentLineColor);
    } else if (lineColor.isValid()) {
        p.fillRect(0, y, W, h, lineColor);
    } else if (l == 0) {
        // An empty line continues the background of the construct the text
        // above it ended in; lines 0 and 1 are never consulted.
        if (line > 1 && d->anyBackground) {
            for (int k = line - 1; k >= 1; --k) {
                TextLine* above = doc->lineOf(k);
                if (above->isEmpty())
                    continue;
                if (!above->isHighlighted())
                    doc->colourLine(this, k);
                const TextAttribute* a = attributeOf(above->attribute(uint(above->size() - 1)));
                if (a && a->usebg)
                    p.fillRect(ox, y, W - ox, h, a->bgcolor);
                break;
            }
        }
    } else if (d->anyBackground) {
        // A background reaches the right edge and runs on under later text
        // until a run with a background of its own; it may come from text
        // left of the view.
        if (from > row.startPos) {
            for (int k = from - 1; k >= row.startPos; --k) {
                const TextAttribute* a = attributeOf(t->attribute(uint(k)));
                if (a && a->usebg && t->at(k) != u'\t') {
                    p.fillRect(ox + x0, y, W - ox - x0, h, a->bgcolor);
                    break;
                }
            }
        }
        for (const Run& run : runs) {
            if (!run.attr || !run.attr->usebg)
                continue;
            p.fillRect(ox + run.x, y, run.width, h, run.attr->bgcolor);
            int after = run.x + run.width;
            if (run.tabAfter)
                after += tabAdvance(after);
            p.fillRect(ox + after, y, W - ox - after, h, run.attr->bgcolor);
        }
    }

    // Selection.
    if (selected.topLeft() != selected.bottomRight()) {
        QPoint p1, p2;
        orderedPoints(selected, p1, p2);
        // A row before the selection's start column on its first line (a
        // continuation row of that line) shows none of it.
        const bool lastRow = row.endPos >= len;
        if (line >= p1.y() && line <= p2.y() &&
            !(line == p1.y() && p1.y() != p2.y() && !m->fVerticalSelection &&
              p1.x() >= row.endPos && !lastRow)) {
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
                fill(x1 == 0 ? -2 : x1, W - ox);
            } else if (line == p2.y()) {
                // Nothing when the selection ends at the row's first column
                // (or before the row, on a continuation row).
                const int x2 = X(p2.x());
                if (x2 > 0)
                    fill(-2, x2);
            } else {
                p.fillRect(0, y, W, h, sel);
            }
        }
    }

    // Indentation guides, then the text. n counts the blanks that lead the
    // line, within the text up to the end of the row's first run (which
    // ends before a tab or a change of attribute).
    if (m->fIndentationGuides && row.startPos < l) {
        const int T = qMax(1, m->tabWidth());
        const QStringView text(*t);
        int lead = 0;
        while (lead < len && text[lead].isSpace())
            ++lead;
        colourTo(qMax(row.startPos + 1, qMin(lead, l)));
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
            if (g != 0 && g % T == 0 && ox + gx >= 0)
                p.drawLine(ox + gx, y, ox + gx, y + h - 1);
            g += T - g % T;
            gx += tabAdvance(gx);
        } while (g < n && ox + gx < W);
    }

    const int baseline = y + d->fontAscent - 1;
    int fontType = -1;
    QColor pen;
    for (const Run& run : runs) {
        if (ox + run.x + run.width < 0)
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
        p.drawText(ox + run.x, baseline,
                   QString::fromRawData(t->constData() + run.start, run.end - run.start));
    }

    if (t->isFoldingStart && t->isFolded) {
        p.setPen(QPen(QColor(50, 50, 50), 1, Qt::DotLine));
        p.drawLine(qMax(ox, 0), y + lineHeight() - 1, W, y + lineHeight() - 1);
    }
}

// --- Selection ----------------------------------------------------------------------

QRect TextView::selection() const
{
    return selected;
}

bool TextView::hasSelection() const
{
    return selected.topLeft() != selected.bottomRight();
}

void TextView::setSelection(const QPoint& a, const QPoint& b)
{
    QPoint p1 = a, p2 = b;
    if (!(a.y() < b.y() || (a.y() == b.y() && a.x() <= b.x())))
        std::swap(p1, p2);
    // Extending by keys or mouse goes on from `a`.
    d->selectionStart = a;
    d->selectionEnd = b;
    if (p1 == selected.topLeft() && p2 == selected.bottomRight())
        return;
    selected = QRect(p1, p2);
    // The rows whose part of the selection changed are repainted.
    updateView(false);
    notifyChange(TextEditor::Selection);
}

bool TextView::inSelected(int line, int col) const
{
    const QRect& r = selected;
    if (r.topLeft() == r.bottomRight())
        return false;
    const int top = qMin(r.top(), r.bottom());
    const int bottom = qMax(r.top(), r.bottom());
    if (line < top || line > bottom)
        return false;
    const int left = qMin(r.left(), r.right());
    const int right = qMax(r.left(), r.right());
    if (d->manager->fVerticalSelection || top == bottom)
        return left <= col && col < right;
    QPoint p1, p2;
    orderedPoints(r, p1, p2);
    if (line == p1.y())
        return p1.x() <= col;
    if (line == p2.y())
        return col < p2.x();
    return true;
}

void TextView::clearSelection()
{
    if (!d->selectionLocked && hasSelection())
        selected = emptySelection();
    notifyChange(TextEditor::Selection);
    updateView(false);
}

void TextView::lockSelection()
{
    d->selectionLocked = true;
}

void TextView::unlockSelection()
{
    d->selectionLocked = false;
}

// --- DocumentView -------------------------------------------------------------------

QObject* TextView::viewObject()
{
    return this;
}

int TextView::doHighlight(int context, TextLine* line)
{
    return hl->doHighlight(context, line);
}

void TextView::highlight(TextLine* line)
{
    hl->highlight(line);
}

void TextView::cursorPosition(int& line, int& column) const
{
    line = d->cursor->line();
    column = d->cursor->column();
}

void TextView::notifyChange(int changeId)
{
    d->editor->notifyChange(TextEditor::ChangeId(changeId));
}

void TextView::setCaret(int line, int column)
{
    d->cursor->set(line, column, true);
}

void TextView::updateContents()
{
    d->repaintAll = true;
    update();
    repaintMargins();
}

TextHighlight* TextView::highlighting() const
{
    return hl;
}

// --- Events -----------------------------------------------------------------------

bool TextView::event(QEvent* e)
{
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
            keyPressEvent(k);
            return true;
        }
    }
    return QWidget::event(e);
}

void TextView::keyPressEvent(QKeyEvent* e)
{
    // A key's edit that cannot get its memory is refused whole.
    d->doc->edit([&] { d->cursor->keyPressEvent(e); });
}

void TextView::focusInEvent(QFocusEvent*)
{
    updateView(true);
    d->cursor->activate();
    emit focusChanged(true);
}

void TextView::focusOutEvent(QFocusEvent*)
{
    d->cursor->deactivate();
    emit focusChanged(false);
}

void TextView::resizeEvent(QResizeEvent*)
{
    resizeBuffer();
    updateView(true);
    d->indicatorMargin->update();
    d->selectionMargin->update();
    d->lineNumberMargin->update();
    d->foldingMargin->update();
}

void TextView::wheelEvent(QWheelEvent* e)
{
    if (!d->doc->getWrap()) {
        QCoreApplication::sendEvent(d->vbar, e);
        return;
    }
    // With word wrap the wheel scrolls rows, so that a wrapped line taller
    // than the view can be read through.
    d->wheelDelta += e->angleDelta().y();
    const int notches = d->wheelDelta / 120;
    d->wheelDelta -= notches * 120;
    if (notches != 0)
        scrollRows(-notches * QApplication::wheelScrollLines());
    e->accept();
}

// --- Mouse --------------------------------------------------------------------------

namespace
{

// Where a drop position ends up once the dragged selection has been removed
// from before it: the removal joins or shortens lines exactly as the
// document's selection command does (a stream joins its first line's head
// to its last line's tail; a box takes its columns out of every line).
QPoint dropAfterRemoval(const TextDocument* doc, const QRect& sel, bool vertical, int line, int col)
{
    QPoint p1, p2;
    orderedPoints(sel, p1, p2);
    if (vertical || p1.y() == p2.y()) {
        const int left = qMin(sel.left(), sel.right());
        const int right = qMax(sel.left(), sel.right());
        const int top = qMin(sel.top(), sel.bottom());
        const int bottom = qMax(sel.top(), sel.bottom());
        if (line < top || line > bottom || col < right || line > doc->lastLine())
            return QPoint(col, line);
        const int removed = qBound(0, int(doc->lineOf(line)->size()) - left, right - left);
        return QPoint(col - removed, line);
    }
    if (line < p2.y() || (line == p2.y() && col < p2.x()) || p2.y() > doc->lastLine())
        return QPoint(col, line);
    if (line == p2.y()) {
        const int head = qMin(p1.x(), int(doc->lineOf(p1.y())->size()));
        return QPoint(head + col - p2.x(), p1.y());
    }
    return QPoint(col, line - (p2.y() - p1.y()));
}

} // namespace

QPoint TextView::mousePosToDoc(const QPoint& widgetPos)
{
    return screenPosToDoc(widgetPos.x() + d->xPos, widgetPos.y() + d->yPos);
}

void TextView::publishSelection()
{
    const QString text = d->doc->selectionCommand(TextDocument::SelectionText);
    if (text.isEmpty())
        return;
    QClipboard* cb = QGuiApplication::clipboard();
    if (cb && cb->supportsSelection())
        cb->setText(text, QClipboard::Selection);
    else
        d->manager->winClipboard = text;
}

void TextView::mousePressEvent(QMouseEvent* e)
{
    TextDocument* doc = d->doc;
    if (e->button() == Qt::LeftButton) {
        const QPoint p = mousePosToDoc(e->pos());
        const int line = p.y();
        const int col = p.x();
        if (line <= doc->lastLine()) {
            if (!inSelected(line, col) || d->startDrag) {
                d->startDrag = false;
                setCursorPosition(line, col, e->modifiers() & Qt::ShiftModifier);
                d->mousePressed = true;
            } else {
                // Pressed inside the selection: a drag of the text may
                // follow; the caret stays until the release tells.
                d->startDrag = true;
                d->bnState = e->buttons();
                d->bnModifiers = e->modifiers();
                d->row = line;
                d->col = col;
                d->prevX = e->pos().x();
                d->prevY = e->pos().y();
            }
        }
    } else if (e->button() == Qt::MiddleButton) {
        d->editor->pasteSelection();
    }
    if (e->button() == Qt::RightButton && !d->rmbMenu->isEmpty())
        d->rmbMenu->exec(e->globalPosition().toPoint());
}

void TextView::mouseMoveEvent(QMouseEvent* e)
{
    const bool outside = !rect().contains(e->pos());
    if (outside && !d->mousePressed && e->buttons() == Qt::NoButton &&
        e->modifiers() == Qt::NoModifier)
        return;
    if (d->scrollHidCaret) {
        d->scrollHidCaret = false;
        d->cursor->setEnabled(true);
    }

    TextDocument* doc = d->doc;
    const QPoint p = mousePosToDoc(e->pos());
    const int line = p.y();
    const bool valid = line >= 0 && line <= doc->lastLine();
    const int col = valid ? p.x() : 0;

    if (d->startDrag && !d->mousePressed && (e->buttons() & Qt::LeftButton) &&
        !(e->modifiers() & Qt::ShiftModifier)) {
        if (!inSelected(line, col)) {
            // Dragging the text: the caret marks the drop position while the
            // selection stays (endDrag keeps caret moves from clearing it).
            d->endDrag = true;
            d->row = line;
            d->col = col;
            d->bnState = e->buttons();
            d->bnModifiers = e->modifiers();
            setCursorPosition(line, col, false);
            setCursor(Qt::PointingHandCursor);
            return;
        }
        d->cursor->set(line, col, true);
    } else if (d->mousePressed && e->buttons() == Qt::LeftButton &&
               e->modifiers() == Qt::NoModifier) {
        if (outside) {
            // One step towards the pointer per move event.
            d->cursor->setEnabled(false);
            d->scrollHidCaret = true;
            const QPoint w = e->pos();
            if (w.y() <= 0)
                d->vbar->setValue(d->vbar->value() - 1);
            else if (w.y() >= height())
                d->vbar->setValue(d->vbar->value() + 1);
            if (w.x() <= 0)
                d->hbar->setValue(d->hbar->value() - 1);
            else if (w.x() >= width())
                d->hbar->setValue(d->hbar->value() + 1);
        }
        setCursorPosition(line, col, true);
        return;
    }
    setCursor(valid && !inSelected(line, col) ? Qt::IBeamCursor : Qt::ArrowCursor);
}

void TextView::dropSelection()
{
    TextDocument* doc = d->doc;
    const bool copy = (d->bnModifiers & Qt::ControlModifier) && (d->bnState & Qt::LeftButton);
    const QRect sel = selected;
    QPoint drop(d->col, d->row);
    // The dropped text is the selection itself, taken before anything is
    // removed: the selection clipboard may have been changed by another
    // program meanwhile.
    QString text;
    if (copy) {
        text = doc->selectionCommand(TextDocument::SelectionCommand(TextDocument::SelectionCopy |
                                                                    TextDocument::SelectionText));
    } else {
        text = doc->selectionCommand(TextDocument::SelectionText);
        if (!text.isNull() && !doc->isReadOnly()) {
            drop = dropAfterRemoval(doc, sel, d->manager->fVerticalSelection, drop.y(), drop.x());
            doc->selectionCommand(TextDocument::SelectionRemove);
        }
    }
    d->startDrag = false;
    d->endDrag = false;
    if (!text.isNull()) {
        setCursorPosition(drop.y(), drop.x(), false);
        doc->insert(text, 0, 0);
        notifyChange(TextEditor::Modification);
    }
    setCursorPosition(d->cursor->line(), d->cursor->column(), false);
}

void TextView::mouseReleaseEvent(QMouseEvent*)
{
    if (d->startDrag && !d->endDrag && !d->mousePressed) {
        // A click inside the selection that never left it.
        setCursorPosition(d->row, d->col, d->bnModifiers & Qt::ShiftModifier);
    } else if (d->startDrag && d->endDrag) {
        if (!inSelected(d->cursor->line(), d->cursor->column()))
            d->doc->edit([&] { dropSelection(); });
        setCursor(Qt::IBeamCursor);
    } else if (d->mousePressed) {
        d->doc->edit([&] { publishSelection(); });
    }
    // Every release ends the gesture, a drop back into the selection too:
    // a drag left armed would keep later caret moves from clearing the
    // selection.
    d->startDrag = false;
    d->endDrag = false;
    d->prevX = d->prevY = 0;
    d->mousePressed = false;
    if (d->scrollHidCaret) {
        d->scrollHidCaret = false;
        d->cursor->setEnabled(true);
    }
}

void TextView::mouseDoubleClickEvent(QMouseEvent* e)
{
    clearSelection();
    const QPoint p = mousePosToDoc(e->pos());
    const int line = p.y();
    if (line > d->doc->lastLine())
        return;
    int start = 0;
    int end = 0;
    d->doc->wordIn(line, p.x(), &start, &end);
    setCursorPosition(line, start, false);
    setCursorPosition(line, end, true);
    d->doc->edit([&] { publishSelection(); });
}

} // namespace xqwidgets

#ifndef XQWIDGETS_TEXTVIEW_P_H
#define XQWIDGETS_TEXTVIEW_P_H

// The text view's private record and the helpers its units share
// (textview.cpp, textviewrows.cpp, textviewpaint.cpp, textviewmouse.cpp).

#include "xqwidgets/xqeditor/rowcounts.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <utility>
#include <vector>

class QMenu;
class QPainter;
class QScrollBar;

namespace xqwidgets
{

class EditorCursor;
class TextAttribute;

// Internal to the units of the view: each keeps its own inlinable copy.
namespace
{

// Lines up to this length share wrap positions by their text; longer lines
// are wrapped afresh, and only as far as the screen needs, since hashing
// them would cost more than wrapping their visible part.
constexpr int CachedLineLength = 4096;
constexpr int CacheLimit = 2048;

inline QRect emptySelection()
{
    return QRect(QPoint(0, 0), QPoint(0, 0));
}

// The two points of a selection in reading order.
inline void orderedPoints(const QRect& r, QPoint& p1, QPoint& p2)
{
    p1 = r.topLeft();
    p2 = r.bottomRight();
    if (p2.y() < p1.y() || (p2.y() == p1.y() && p2.x() < p1.x()))
        std::swap(p1, p2);
}

} // namespace

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

    // The steps of painting one row, in the order they paint: the
    // backgrounds, the selection, the indentation guides, the text, and
    // the mark of a folded line. A row's measures and text runs are made
    // once and shared by the steps.
    struct PaintedRow;
    PaintedRow measureRow(const VisibleLine& row, int y);
    void colourTo(const PaintedRow& r, int column);
    void cutToView(PaintedRow& r);
    void collectRuns(PaintedRow& r);
    void paintBackgrounds(QPainter& p, const PaintedRow& r);
    void paintSelection(QPainter& p, const PaintedRow& r);
    void paintIndentationGuides(QPainter& p, const PaintedRow& r);
    void paintRuns(QPainter& p, const PaintedRow& r);
    void paintFoldMark(QPainter& p, const PaintedRow& r);
    const TextAttribute* attributeOf(int id) const;

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

} // namespace xqwidgets

#endif

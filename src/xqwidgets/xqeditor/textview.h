#ifndef XQWIDGETS_TEXTVIEW_H
#define XQWIDGETS_TEXTVIEW_H

#include "xqwidgets/xqeditor/textdoc.h"

#include <QHash>
#include <QList>
#include <QWidget>

class QMenu;
class QScrollBar;

namespace xqwidgets
{

class EditorCursor;
class FoldingMargin;
class IndicatorMargin;
class LineNumberMargin;
class SelectionMargin;
class TextEditor;
class TextEditorManager;
class TextHighlight;

// One screen row: a document line, the columns it shows and how far its
// text is indented (a wrapped line's continuation rows are).
struct VisibleLine {
    int line = 0;
    int startPos = 0;
    int endPos = 0; // column after the last one shown; 1 for an empty line
    int xShift = 0;
};

// Wrap positions by line text, view width and tab stop: equal lines share
// one entry.
class WrappedLinesCache
{
public:
    int width = -1;
    int tabs = -1;
    bool wrap = false;
    TextDocument::wrapMode wrapMode = TextDocument::wrapLine;
    QHash<QString, QList<int>> lines;

    void setWidth(int w);
    void setTabs(int t);
    void setWrapMode(bool wrap, TextDocument::wrapMode mode);
};

// The widget that shows a document inside an editor frame: it lays the
// lines out in rows (with word wrap and folding), paints them with their
// highlighting, owns the caret, the margins and the scroll bars, and keeps
// the caret in view.
//
// Coordinates: a document position is (column, line), a QPoint with x the
// column. Content coordinates are pixels of the laid-out text; the row
// keys start at the top row with the number of its document line, and a
// row's content y is its key times the row height. Widget coordinates are
// content coordinates minus (contentsX(), contentsY()).
class TextView : public QWidget, public DocumentView
{
    Q_OBJECT

public:
    enum ScrollBarMode { Auto = 0, AlwaysOff = 1, AlwaysOn = 2 };

    explicit TextView(TextEditor* editor);
    ~TextView() override;

    TextEditor* editor() const;
    TextDocument* document() const;
    TextEditorManager* manager() const;
    EditorCursor* cursor() const;
    QMenu* rmbMenu() const;
    TextHighlight* highlight() const;
    QScrollBar* horizontalScrollBar() const;
    QScrollBar* verticalScrollBar() const;

    IndicatorMargin* indicatorMargin() const;
    SelectionMargin* selectionMargin() const;
    LineNumberMargin* lineNumberMargin() const;
    FoldingMargin* foldingMargin() const;

    void updateFontData() override;
    void updateMarginsState();
    void repaintMargins() override;

    // The view owns the highlighting it is given and deletes the old one.
    void setHighlight(TextHighlight* h);
    void setHighlight(const QString& name);
    void setHighlightByFileName(const QString& fileName);

    // Metrics.
    int lineHeight() const override;
    int fontHeight() const;
    int fontAscent() const;
    int linePosition(int key) const;
    int spaceWidth() const override;
    void setSpaceWidth(int w);
    int tabsWidth() const override;
    void setTabsWidth(int w) override;

    // Layout of the rows on screen.
    void updateLinesList();
    // The row with this key, null when it is not on screen.
    const VisibleLine* visibleLine(int key) const;
    int firstVisibleKey() const;
    int visibleRowCount() const;
    int lineNumber(int contentY);
    QPoint screenPosToDoc(int x, int y);
    QPoint screenPosToDoc(const QPoint& p);
    QPoint docPosToScreen(int column, int line);
    QPoint docPosToScreen(const QPoint& p);

    // Caret and scrolling.
    void setCursorPosition(int line, int col, bool select) override;
    void setCursorPositionInternal(int line, int col, bool select);
    void ensureCursorVisible();
    // With word wrap, when the caret's line has more rows than the view:
    // scrolls a page of rows within that line and answers the column a page
    // up or down from the caret; -1 where page moves go by lines.
    int pageWithinLine(bool down);
    void centerCursor(int line, int col);
    int contentsX() const;
    int contentsY() const;
    void scrollX(int dx);
    void scrollY(int dy);
    ScrollBarMode vScrollBarMode() const;
    ScrollBarMode hScrollBarMode() const;
    virtual void setVScrollBarMode(ScrollBarMode mode);
    virtual void setHScrollBarMode(ScrollBarMode mode);
    // Where the caret's I-beam is drawn, in widget coordinates.
    QRect caretRect();

    // Repainting.
    void setUpdateRegion(const LineRegion& r) override;
    void linesInserted(int at, int count) override;
    void linesRemoved(int at, int count) override;
    void updateView(bool newDocGeometry) override;
    void updateLines(int from, int to) override;
    void resizeBuffer() override;
    void resizeMarginBuffers();

    // Selection: a rectangle of two (column, line) points, the earlier one
    // top-left; read as a box when the manager's vertical selection is on.
    QRect selection() const override;
    bool hasSelection() const;
    void setSelection(const QPoint& a, const QPoint& b) override;
    bool inSelected(int line, int col) const;
    void clearSelection();
    void lockSelection();
    void unlockSelection();

    // DocumentView.
    QObject* viewObject() override;
    int doHighlight(int context, TextLine* line) override;
    void highlight(TextLine* line) override;
    void cursorPosition(int& line, int& column) const override;
    void notifyChange(int changeId) override;
    void setCaret(int line, int column) override;
    void updateContents() override;
    TextHighlight* highlighting() const override;

public slots:
    void hslide(int value);
    void vslide(int value);

signals:
    void focusChanged(bool in);

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

    QRect selected;
    TextHighlight* hl = nullptr;

private:
    void paintLine(QPainter& p, const VisibleLine& row, int y);
    void paintEmptyArea(QPainter& p, const QRect& area);
    void paintCaret(QPainter& p);
    void updateScrollBars();
    // With word wrap: shows the caret's row, scrolling rows within a line
    // taller than the view; scrolls the view by n rows (up when negative).
    void bringCaretRowIntoView();
    void scrollRows(int n);
    // Moves the top of the view by n rows, without repainting.
    void moveTop(int n);
    // The document position under a point in widget coordinates.
    QPoint mousePosToDoc(const QPoint& widgetPos);
    // Puts text selected with the mouse on the X11 selection clipboard, or
    // into the manager's stand-in where the platform has none.
    void publishSelection();
    // Moves or copies the dragged selection to the drop position.
    void dropSelection();

    class Private;
    Private* d;
};

} // namespace xqwidgets

#endif

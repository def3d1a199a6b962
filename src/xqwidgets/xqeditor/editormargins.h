#ifndef XQWIDGETS_EDITORMARGINS_H
#define XQWIDGETS_EDITORMARGINS_H

#include <QWidget>

namespace xqwidgets
{

class TextDocument;
class TextEditorManager;
class TextView;

// A narrow strip beside a text view that follows the view's rows.
class Margin : public QWidget
{
    Q_OBJECT

public:
    Margin(QWidget* parent, TextView* view);
    ~Margin() override;

    // Called on every resize and when the view's row height changes; rows
    // are drawn only once a margin has been sized.
    void resizeBuffer();
    bool hasBuffer() const { return m_sized; }

protected:
    void resizeEvent(QResizeEvent* e) override;

    // Calls `row(painter, rowRect, visibleLineOrNull)` for each row of the
    // view that meets `clip`, top down; rows below the text get null.
    template <typename F> void walkRows(const QRect& clip, F row);

    TextView* view;
    TextDocument* document;
    TextEditorManager* manager;

private:
    bool m_sized = false;
};

// Shows the pixmap a line carries.
class IndicatorMargin : public Margin
{
    Q_OBJECT

public:
    IndicatorMargin(QWidget* parent, TextView* view);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
};

// A strip where a press and drag select whole lines.
class SelectionMargin : public Margin
{
    Q_OBJECT

public:
    SelectionMargin(QWidget* parent, TextView* view);
    QSize sizeHint() const override;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    bool doSelect = false;
    int start = 0;
    int last = 0;
    bool upOrDown = false;
};

// Line numbers, from 1, on the first row of each shown line. The margin
// is wide enough for five digits and widens for the document's largest
// line number.
class LineNumberMargin : public Margin
{
    Q_OBJECT

public:
    LineNumberMargin(QWidget* parent, TextView* view);
    QSize sizeHint() const override;
    // Asks the layout for a new width when the number of digits of the
    // last line number changed.
    void checkWidth();

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    int m_digits = 0;
};

// The fold structure, and where folds are made, opened, closed and removed.
class FoldingMargin : public Margin
{
    Q_OBJECT

public:
    FoldingMargin(QWidget* parent, TextView* view);
    QSize sizeHint() const override;
    bool showAddFoldArea(int lineNum) const;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void paintFoldLine(QPainter* paint, int foldingLevel, bool isEndOfFold, int y1, int y2);
};

} // namespace xqwidgets

#endif

#ifndef VEXA_WIDGETS_SPLITTER_H
#define VEXA_WIDGETS_SPLITTER_H

#include <QList>
#include <QSplitter>
#include <QSplitterHandle>

class QTextStream;
class Splitter;

// The handle between two children of a Splitter; paints a grip of small
// two-tone dots blended from the background.
class SplitterHandle : public QSplitterHandle
{
    Q_OBJECT
public:
    SplitterHandle(Qt::Orientation orientation, Splitter* parent);

    // Position in the splitter's row of children and handles (children at even places).
    int id() const;
    bool opaque() const;

    // Paints the grip for the rectangle (x, y, w, h) with `bg` as background.
    static void drawGrip(QPainter* p, const QColor& bg, int x, int y, int w, int h);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
};

// A row or column of children with draggable handles between them. Dragging a
// handle far enough past a child's minimum collapses the child; dragging back
// brings it out again. Children keep their extent when the splitter resizes
// unless their resize mode or size-policy stretch says otherwise.
class Splitter : public QSplitter
{
    Q_OBJECT
public:
    enum ResizeMode { Stretch = 0, KeepSize = 1, FollowSizeHint = 2, Auto = 3 };
    Q_ENUM(ResizeMode)

    explicit Splitter(QWidget* parent = nullptr, const char* name = nullptr);
    explicit Splitter(Qt::Orientation orientation, QWidget* parent = nullptr,
                      const char* name = nullptr);
    ~Splitter() override;

    // The default for children that have no setting of their own.
    void setChildrenCollapsible(bool collapsible);
    bool childrenCollapsible() const;
    void setCollapsible(QWidget* w, bool collapsible);
    void setResizeMode(QWidget* w, ResizeMode mode);

    // 0 or less: the style's splitter width.
    void setHandleWidth(int width);

    void moveToFirst(QWidget* w);
    void moveToLast(QWidget* w);

    // Extents along the orientation, one per child in order; 0 collapses a
    // collapsible child. Children past the end of the list keep their extent.
    void setSizes(const QList<int>& sizes);

    // Paints the handles' grip on any painter.
    void drawSplitter(QPainter* p, int x, int y, int w, int h);

    // Channel-wise a * alpha / 255 + b * (255 - alpha) / 255, opaque.
    static QColor alphaBlendColors(const QColor& a, const QColor& b, int alpha);
    // The smallest size the layout may give `w`, as the toolkit's layouts compute it.
    static QSize smartMinSize(const QWidget* w);

protected:
    QSplitterHandle* createHandle() override;
    void childEvent(QChildEvent* e) override;
    bool event(QEvent* e) override;

private:
    friend class SplitterHandle;
    void init(const char* name);
    void syncCollapsible();
    void ensureChild(QWidget* w);

    class Private;
    Private* d;
};

// Text form of the sizes, "[120,H,0,340]": H for a hidden child, 0 for a collapsed one.
QTextStream& operator<<(QTextStream& ts, const Splitter& s);
QTextStream& operator>>(QTextStream& ts, Splitter& s);

#endif

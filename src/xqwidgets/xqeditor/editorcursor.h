#ifndef XQWIDGETS_EDITORCURSOR_H
#define XQWIDGETS_EDITORCURSOR_H

#include <QObject>
#include <QPoint>

class QKeyEvent;

namespace xqwidgets
{

class TextView;

// The caret of one text view: its position, the display column kept while
// moving up and down, the blinking I-beam, and the keyboard: the view hands
// it every key press, which it turns into a move or an edit.
//
// Hiding nests: each setEnabled(false) needs its own setEnabled(true)
// before the caret shows again. The caret is drawn by the view's paint
// event while it is visible; blinking repaints its rectangle.
class EditorCursor : public QObject
{
    Q_OBJECT

public:
    enum CursorAction {
        MoveBackward = 0,
        MoveForward,
        MoveWordBackward,
        MoveWordForward,
        MoveUp,
        MoveDown,
        MoveLineStart,
        MoveLineEnd,
        MoveHome,
        MoveEnd,
        MovePgUp,
        MovePgDown
    };

    explicit EditorCursor(TextView* view);
    ~EditorCursor() override;

    void keyPressEvent(QKeyEvent* e);

    int line() const;
    int column() const;
    QPoint pos() const;
    // Whether the caret is drawn right now.
    bool isEnabled() const;

    void move(CursorAction action, bool select);
    void set(int line, int column, bool repaint);
    void setWantedColumn(int column);
    int nextVisibleLine(int line) const;
    int prevVisibleLine(int line) const;

    void setEnabled(bool on);
    void activate();
    void deactivate();
    // Repaints the caret's place on the view.
    void paint();

    // Display cells (a tab counts the document's spaces in a tab) and
    // character columns of a line.
    int column2wanted(int line, int column) const;
    int wanted2column(int line, int wanted) const;

signals:
    void changePosition(int line, int column);

protected:
    void timerEvent(QTimerEvent* e) override;

private:
    class Private;
    Private* d;
};

} // namespace xqwidgets

#endif

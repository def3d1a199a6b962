// The text view's selection and its mouse handling: selecting, dragging
// a selection to move or copy it, and the X11 selection clipboard.

#include "xqwidgets/xqeditor/textview.h"

#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview_p.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>

namespace xqwidgets
{

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

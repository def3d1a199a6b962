#include "xqwidgets/xqeditor/editorcursor.h"

#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimerEvent>

namespace xqwidgets
{

class EditorCursor::Private
{
public:
    TextView* view = nullptr;
    TextEditor* editor = nullptr;
    TextDocument* document = nullptr;
    TextEditorManager* manager = nullptr;
    int line = 0;
    int column = 0;
    int wantingColumn = 0;
    int stack = 0;
    int timer = 0;
    bool active = false;
    bool visible = false;
    int prev_line = 0;
    int prev_column = 0;
};

namespace
{

// The word and gap classes of word moves: "[0-9a-zA-Z_=]" and its complement.
bool isMoveWordChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
           u == u'_' || u == u'=';
}

// Length of the run of characters of one class starting at `at`.
int runAt(const QString& t, int at, bool word)
{
    int i = at;
    while (i >= 0 && i < t.size() && isMoveWordChar(t.at(i)) == word)
        ++i;
    return i - at;
}

// The last match of the class that starts at or before `from` (from the end
// when `from` is negative): its start, and its end in `end`; -1 when none.
int lastRunFrom(const QString& t, int from, bool word, int* end)
{
    int i = from < 0 ? int(t.size()) - 1 : qMin(from, int(t.size()) - 1);
    for (; i >= 0; --i) {
        if (isMoveWordChar(t.at(i)) == word) {
            *end = i + runAt(t, i, word);
            return i;
        }
    }
    *end = -1;
    return -1;
}

} // namespace

EditorCursor::EditorCursor(TextView* view) : QObject(view), d(new Private)
{
    d->view = view;
    d->editor = view->editor();
    d->document = view->document();
    d->manager = view->manager();
}

EditorCursor::~EditorCursor()
{
    delete d;
}

int EditorCursor::line() const
{
    return d->line;
}

int EditorCursor::column() const
{
    return d->column;
}

QPoint EditorCursor::pos() const
{
    return QPoint(d->column, d->line);
}

bool EditorCursor::isEnabled() const
{
    return d->visible;
}

void EditorCursor::keyPressEvent(QKeyEvent* e)
{
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    TextDocument* doc = d->document;
    TextView* view = d->view;

    switch (e->key()) {
    case Qt::Key_Escape:
        view->clearSelection();
        return;
    case Qt::Key_Tab:
        if (view->hasSelection()) {
            const QRect s = view->selection();
            if (qMax(s.top(), s.bottom()) > qMin(s.top(), s.bottom())) {
                doc->indent();
                return;
            }
        }
        break; // typed text
    case Qt::Key_Backtab:
        doc->unindent();
        return;
    case Qt::Key_Backspace:
        if (view->hasSelection())
            doc->selectionCommand(TextDocument::SelectionRemove);
        else
            doc->backspace(0, 0);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        doc->insertLineBreak(0, 0);
        return;
    case Qt::Key_Insert:
        if (ctrl && !shift)
            d->editor->copy();
        else if (shift && !ctrl)
            d->editor->paste();
        else if (d->manager)
            d->manager->setOverwriteMode(!d->manager->overwriteMode());
        return;
    case Qt::Key_Delete:
        d->editor->del();
        return;
    case Qt::Key_Home:
        move(ctrl ? MoveHome : MoveLineStart, shift);
        return;
    case Qt::Key_End:
        move(ctrl ? MoveEnd : MoveLineEnd, shift);
        return;
    case Qt::Key_Left:
        move(ctrl ? MoveWordBackward : MoveBackward, shift);
        return;
    case Qt::Key_Right:
        move(ctrl ? MoveWordForward : MoveForward, shift);
        return;
    case Qt::Key_Up:
        move(ctrl ? MovePgUp : MoveUp, shift);
        return;
    case Qt::Key_Down:
        move(ctrl ? MovePgDown : MoveDown, shift);
        return;
    case Qt::Key_PageUp:
        move(MovePgUp, shift);
        return;
    case Qt::Key_PageDown:
        move(MovePgDown, shift);
        return;
    case Qt::Key_Shift:
        return;
    default:
        break;
    }

    if (ctrl) {
        switch (e->key()) {
        case Qt::Key_C:
            d->editor->copy();
            return;
        case Qt::Key_V:
            d->editor->paste();
            return;
        case Qt::Key_X:
            d->editor->cut();
            return;
        default:
            break;
        }
    }

    const QString text = e->text();
    // The character code of the text: 0 for text that is not ASCII.
    const int code = text.isEmpty() || text.at(0).unicode() > 0x7f ? 0 : text.at(0).unicode();
    const bool typed =
        (!text.isEmpty() && (code == 0 || code >= 0x20)) || (text == QLatin1String("\t") && !ctrl);
    if (!typed) {
        e->ignore();
        return;
    }
    // Typing goes through the primitive commands, which do not know the
    // read-only flag; a read-only document (undecodable bytes, say) must
    // not change under the keyboard.
    if (doc->isReadOnly())
        return;
    doc->selectionCommand(TextDocument::SelectionRemove);
    if (text == QLatin1String("\t"))
        doc->insert(text, 0, 0);
    else if (d->manager && d->manager->fOvr)
        doc->cmdReplace(d->line, d->column,
                        doc->characterColumn(d->line, d->column + 1, true) - d->column, text);
    else
        doc->cmdInsert(d->line, d->column, text);
}

void EditorCursor::move(CursorAction action, bool select)
{
    TextDocument* doc = d->document;
    const int last = doc->lastLine();
    const bool cursorWrap = d->manager && d->manager->fCursorWrap;
    const bool smartHome = d->manager && d->manager->fSmartHome;
    int L = qBound(0, d->line, last);
    int C = d->column;
    const QString T = *doc->lineOf(L);
    auto len = [doc](int l) { return doc->textLength(l); };
    bool keepWanted = false;

    auto fromWanted = [&](int n) {
        if (d->wantingColumn < column2wanted(n, len(n)))
            return wanted2column(n, d->wantingColumn);
        return len(n);
    };

    switch (action) {
    case MoveBackward:
        if (cursorWrap && C == 0 && L != 0) {
            L = prevVisibleLine(L);
            C = len(L);
        } else if (C > 0) {
            --C;
        }
        break;
    case MoveForward:
        if (!cursorWrap || C < len(L)) {
            ++C;
        } else if (L != last) {
            L = nextVisibleLine(L);
            C = 0;
        }
        break;
    case MoveWordBackward:
        if (C == 0) {
            if (L != 0) {
                L = prevVisibleLine(L);
                C = len(L);
            }
        } else {
            const int s = qMin(C - 1, int(T.size()));
            int wEnd = -1, nEnd = -1;
            const int w = lastRunFrom(T, s, true, &wEnd);
            const int n = lastRunFrom(T, s, false, &nEnd);
            int r = 0;
            if (w != s)
                r = qMax(r, wEnd);
            if (n != s) {
                r = qMax(r, nEnd);
            } else {
                int end = -1;
                const int again = lastRunFrom(T, r - 1, false, &end);
                if (again < 0)
                    r = 0;
                else if (again != r - 1)
                    r = qMin(r, end);
            }
            C = r;
        }
        break;
    case MoveWordForward: {
        const int w = runAt(T, C, true);
        C += w;
        const int n = runAt(T, C, false);
        C += n;
        if (w == 0 && n == 0 && L != last) {
            L = nextVisibleLine(L);
            C = 0;
        }
        break;
    }
    case MoveUp:
        if (L != 0)
            L = prevVisibleLine(L);
        C = fromWanted(L);
        keepWanted = true;
        break;
    case MoveDown:
        if (L != last)
            L = nextVisibleLine(L);
        C = fromWanted(L);
        keepWanted = true;
        break;
    case MoveLineStart: {
        const int f = doc->lineOf(L)->firstChar();
        C = (smartHome && C != f) ? f : 0;
        if (C < 0)
            C = 0;
        break;
    }
    case MoveLineEnd:
        C = len(L);
        break;
    case MoveHome:
        L = 0;
        C = 0;
        break;
    case MoveEnd:
        L = last;
        C = len(last);
        break;
    case MovePgUp:
    case MovePgDown: {
        // Within a wrapped line taller than the view, a page of its rows.
        const int inLine = d->view->pageWithinLine(action == MovePgDown);
        if (inLine >= 0) {
            C = inLine;
            break;
        }
        const int page = d->view->height() / qMax(1, d->view->lineHeight());
        L = action == MovePgUp ? qMax(0, L - page) : qMin(last, L + page);
        C = fromWanted(L);
        keepWanted = true;
        break;
    }
    }

    // Past or back over a whole character where the step landed inside one.
    C = doc->characterColumn(L, C, action == MoveForward);
    if (!keepWanted)
        d->wantingColumn = column2wanted(L, C);
    d->view->setCursorPositionInternal(L, C, select);
    set(L, C, true);
}

void EditorCursor::set(int line, int column, bool repaint)
{
    const int last = d->document->lastLine();
    d->prev_line = d->line;
    d->prev_column = d->column;
    d->column = qMax(0, d->column);
    d->line = qBound(0, d->line, last);
    if (repaint)
        setEnabled(false);
    d->line = qBound(0, line, last);
    d->column = d->document->characterColumn(d->line, qMax(0, column), false);
    if (repaint) {
        d->view->ensureCursorVisible();
        setEnabled(true);
    }
    if (d->line != d->prev_line || d->column != d->prev_column) {
        emit changePosition(d->line, d->column);
        d->view->notifyChange(TextEditor::CursorPosition);
    }
}

void EditorCursor::setWantedColumn(int column)
{
    d->wantingColumn = column2wanted(d->line, column);
}

int EditorCursor::nextVisibleLine(int line) const
{
    const int last = d->document->lastLine();
    int l = line + 1;
    while (l < last && !d->document->lineOf(l)->isFoldVisible)
        ++l;
    return qMin(l, last);
}

int EditorCursor::prevVisibleLine(int line) const
{
    if (line <= 0)
        return 0;
    int l = line - 1;
    while (l > 0 && !d->document->lineOf(l)->isFoldVisible)
        --l;
    return l;
}

int EditorCursor::column2wanted(int line, int column) const
{
    TextLine* l = d->document->lineOf(qBound(0, line, d->document->lastLine()));
    const int spaces = d->document->spacesInTab();
    const int n = qMin(column, int(l->size()));
    // Tab to tab from the line's last block of tab stops (a line may be
    // megabytes long).
    int cells = 0, tabs = 0;
    const qsizetype from = l->tabStopBlock(n, 0, spaces, &cells, &tabs);
    for (qsizetype t = l->tabIn(from, n); t >= 0; t = l->tabIn(t + 1, n))
        ++tabs;
    return column + tabs * (spaces - 1);
}

int EditorCursor::wanted2column(int line, int wanted) const
{
    const TextLine* l = d->document->lineOf(qBound(0, line, d->document->lastLine()));
    const int tab = d->document->spacesInTab();
    const int n = int(l->size());
    int cells = 0;
    int i = 0;
    while (i < n && cells < wanted) {
        cells += l->at(i) == u'\t' ? tab : 1;
        ++i;
    }
    return i;
}

void EditorCursor::setEnabled(bool on)
{
    if (on) {
        d->stack = qMax(d->stack - 1, 0);
        if (d->stack != 0)
            return;
    } else {
        ++d->stack;
    }
    if (!d->active)
        return;
    if (on) {
        d->visible = true;
        if (d->timer)
            killTimer(d->timer);
        d->timer = 0;
        paint();
        // A flash time of 0 or less means a caret that does not blink.
        const int period = QApplication::cursorFlashTime() / 2;
        if (period > 0)
            d->timer = startTimer(period);
    } else {
        if (d->timer)
            killTimer(d->timer);
        d->timer = 0;
        if (d->visible) {
            d->visible = false;
            if (d->line <= d->document->lastLine())
                paint();
        }
    }
}

void EditorCursor::activate()
{
    if (d->active)
        return;
    d->active = true;
    setEnabled(true);
}

void EditorCursor::deactivate()
{
    if (!d->active)
        return;
    setEnabled(false);
    d->active = false;
}

void EditorCursor::paint()
{
    d->column = qMax(0, d->column);
    d->line = qBound(0, d->line, d->document->lastLine());
    d->view->update(d->view->caretRect());
}

void EditorCursor::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != d->timer || d->timer == 0)
        return;
    d->visible = !d->visible;
    paint();
}

} // namespace xqwidgets

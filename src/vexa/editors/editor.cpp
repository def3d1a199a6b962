#include "vexa/editors/editor.h"

#include "vexa/utils.h"

#include <QCloseEvent>

namespace vexa
{

class Editor::Private
{
public:
    QPixmap breakpointPixmap;
    QList<int> breakpoints;
};

Editor::Editor(QWidget* parent, const char* name) : QWidget(parent), d(new Private)
{
    if (name)
        setObjectName(QLatin1String(name));
    d->breakpointPixmap = Utils::icon(QStringLiteral("16x16_Breakpoint"));
}

Editor::~Editor()
{
    delete d;
}

bool Editor::hasFileName()
{
    return !filename().isEmpty();
}

bool Editor::isReadOnly()
{
    return false;
}

bool Editor::changedOnDisk()
{
    return false;
}

QString Editor::errorString()
{
    return QString();
}

qint64 Editor::changeCount()
{
    return -1;
}

int Editor::lineCount()
{
    return int(text().count(QLatin1Char('\n'))) + 1;
}

QList<QString> Editor::lines(int from, int count)
{
    return text().split(QLatin1Char('\n')).mid(from, count);
}

void Editor::beginUndoGroup() {}

void Editor::endUndoGroup() {}

bool Editor::selectionRange(int* line1, int* col1, int* line2, int* col2)
{
    *line1 = *line2 = cursorLine();
    *col1 = *col2 = cursorColumn();
    return false;
}

void Editor::setSelection(int, int, int, int) {}

void Editor::showLine(int line)
{
    setCursorPosition(line, 0);
    activateWindow();
    setFocus();
}

void Editor::switchBreakpoint()
{
    const int l = cursorLine();
    if (d->breakpoints.contains(l)) {
        d->breakpoints.removeAll(l);
        clearLineIcon(l);
    } else {
        d->breakpoints.append(l);
        setLineIcon(l, &d->breakpointPixmap);
    }
}

void Editor::addBreakpoint(int line)
{
    if (d->breakpoints.contains(line))
        return;
    d->breakpoints.append(line);
    setLineIcon(line, &d->breakpointPixmap);
}

void Editor::clearBreakpoints()
{
    for (int l : std::as_const(d->breakpoints))
        clearLineIcon(l);
    d->breakpoints.clear();
}

QList<int> Editor::breakpoints() const
{
    return d->breakpoints;
}

void Editor::closeEvent(QCloseEvent* e)
{
    // The widget never closes itself: unsaved changes are the manager's question.
    e->ignore();
    Q_EMIT closing();
}

} // namespace vexa

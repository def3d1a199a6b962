#include "explorerpanel.h"

#include "actions.h"
#include "shell.h"
#include "widgetstack.h"

#include <QToolBar>
#include <QToolButton>

namespace vexa
{

class ExplorerPanel::Private
{
public:
    static ExplorerPanel* self;
    Action* dockAction = nullptr;
    // Commands that act on the panel's selection; none are registered yet.
    QList<Action*> focusActions;
};

ExplorerPanel* ExplorerPanel::Private::self = nullptr;

ExplorerPanel* ExplorerPanel::self()
{
    if (!Private::self)
        new ExplorerPanel(Shell::self());
    return Private::self;
}

ExplorerPanel::ExplorerPanel(QWidget* parent) : QWidget(parent), d(new Private)
{
    Private::self = this;
    setFocusPolicy(Qt::StrongFocus);
    Shell* shell = Shell::self();

    d->dockAction = shell->addLeftDockToggle(tr("Files"), QStringLiteral("leftDock/files"),
                                             QStringLiteral("22x22_FileExplorer"), this, true);
    shell->leftDock()->addWidget(this);

    Action* focus =
        Actions::createAction(tr("E&xplorer window"), QStringLiteral("ExplorerPanel/focus"),
                              QKeySequence(Qt::CTRL | Qt::Key_T), this, SLOT(makeVisible()));
    shell->actionGroup(QStringLiteral("menu/Window/Docks"))->add(focus);

    connect(this, &ExplorerPanel::gotFocus, shell, &Shell::focusIn);
    connect(this, &ExplorerPanel::raised, shell, &Shell::raiseLeftDock);
    connect(shell, &Shell::leftDockRaised, this, &ExplorerPanel::makeVisible);
    connect(shell, &Shell::focusChanged, this, &ExplorerPanel::focusChanged);
}

ExplorerPanel::~ExplorerPanel()
{
    if (Private::self == this)
        Private::self = nullptr;
    delete d;
}

void ExplorerPanel::makeVisible(QObject* o)
{
    if (!o) {
        Shell::self()->leftDock()->raiseWidget(this);
        Q_EMIT raised();
        return;
    }
    const bool on = o == this;
    d->dockAction->setPanelRaised(on);
    if (on)
        setFocus();
}

void ExplorerPanel::focusChanged(QObject* o)
{
    for (Action* a : std::as_const(d->focusActions))
        a->setEnabled(o == this);
}

void ExplorerPanel::focusInEvent(QFocusEvent* e)
{
    QWidget::focusInEvent(e);
    Q_EMIT gotFocus();
}

} // namespace vexa

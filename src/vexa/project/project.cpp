#include "project.h"

#include "actions.h"
#include "shell.h"
#include "utils.h"
#include "widgetstack.h"

#include <QListWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

namespace vexa
{

class Project::Private
{
public:
    static Project* self;
    Action* dockAction = nullptr;
    QTreeWidget* tree = nullptr;
    QListWidget* recent = nullptr;
};

Project* Project::Private::self = nullptr;

Project* Project::self()
{
    if (!Private::self)
        new Project(Shell::self());
    return Private::self;
}

Project::Project(QObject* parent) : QObject(parent), d(new Private)
{
    Private::self = this;
    Shell* shell = Shell::self();

    d->dockAction = shell->addLeftDockToggle(tr("Project"), QStringLiteral("leftDock/project"),
                                             QStringLiteral("22x22_Project"), this);

    d->tree = new QTreeWidget(shell->leftDock());
    d->tree->setHeaderHidden(true);
    d->recent = new QListWidget(shell->leftDock());
    shell->leftDock()->addWidget(d->tree);
    shell->leftDock()->addWidget(d->recent);

    // The project commands; the project subsystem attaches its work to them.
    // Until a project can be opened, none of them can act.
    auto make = [](const char* text, const char* name, const char* icon) {
        Action* a = Actions::createAction(QLatin1String(text), QLatin1String(name), QKeySequence(),
                                          nullptr, nullptr);
        if (icon)
            a->setIcon(Utils::iconSet(QLatin1String(icon)));
        a->setEnabled(false);
        return a;
    };
    shell->actionGroup(QStringLiteral("menu/Project/New"))
        ->add(make("&New", "Project/create", nullptr));
    ActionGroup* std = shell->actionGroup(QStringLiteral("menu/Project/Std"));
    std->addSeparator();
    std->add(make("&Open project", "Project/open", "16x16_Open"));
    std->add(make("&Save project", "Project/save", "16x16_Save"));
    std->add(make("&Close project", "Project/close", nullptr));
    std->addSeparator();
    std->add(make("Add f&iles", "Project/addfiles", nullptr));
    ActionGroup* options = shell->actionGroup(QStringLiteral("menu/Project/Options"));
    options->addSeparator();
    options->add(make("O&ptions", "Project/options", nullptr));

    Action* focus = Actions::createAction(tr("&Project window"), QStringLiteral("Project/focus"),
                                          QKeySequence(), this, SLOT(makeVisible()));
    shell->actionGroup(QStringLiteral("menu/Window/Docks"))->add(focus);

    connect(this, &Project::gotFocus, shell, &Shell::focusIn);
    connect(this, &Project::raised, shell, &Shell::raiseLeftDock);
    connect(shell, &Shell::leftDockRaised, this, &Project::makeVisible);
}

Project::~Project()
{
    if (Private::self == this)
        Private::self = nullptr;
    delete d;
}

bool Project::hasProject() const
{
    return false;
}

QWidget* Project::treePage() const
{
    return d->tree;
}

QWidget* Project::recentPage() const
{
    return d->recent;
}

void Project::makeVisible(QObject* o)
{
    WidgetStack* dock = Shell::self()->leftDock();
    if (!o) {
        dock->raiseWidget(hasProject() ? static_cast<QWidget*>(d->tree) : d->recent);
        Q_EMIT gotFocus();
        Q_EMIT raised();
        return;
    }
    const bool on = o == this || o == d->tree || o == d->recent;
    d->dockAction->setPanelRaised(on);
    if (o == this && dock->visibleWidget())
        dock->visibleWidget()->setFocus();
}

} // namespace vexa

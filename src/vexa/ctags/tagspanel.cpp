#include "tagspanel.h"

#include "actions.h"
#include "shell.h"
#include "widgetstack.h"

#include <QToolBar>
#include <QToolButton>
#include <tuple>

namespace vexa
{

class TagsPanel::Private
{
public:
    static TagsPanel* self;
    Action* dockAction = nullptr;
};

TagsPanel* TagsPanel::Private::self = nullptr;

TagsPanel* TagsPanel::self()
{
    if (!Private::self)
        new TagsPanel(Shell::self());
    return Private::self;
}

TagsPanel::TagsPanel(QWidget* parent) : QWidget(parent), d(new Private)
{
    Private::self = this;
    Shell* shell = Shell::self();

    d->dockAction = shell->addLeftDockToggle(tr("Tags"), QStringLiteral("leftDock/classes"),
                                             QStringLiteral("22x22_Tags"), this);
    shell->leftDock()->addWidget(this);

    // Moving between the functions of the current file: the tags browser
    // attaches its work to these commands.
    ActionGroup* view = shell->actionGroup(QStringLiteral("menu/View/std"));
    view->addSeparator();
    for (const auto& [text, name, key] :
         {std::tuple{"Prev function/class/tag", "Editors/prevFunction", Qt::Key_Up},
          std::tuple{"Next function/class/tag", "Editors/nextFunction", Qt::Key_Down}}) {
        Action* a = Actions::createAction(QLatin1String(text), QLatin1String(name),
                                          QKeySequence(Qt::ALT | key), nullptr, nullptr);
        a->setEnabled(false);
        view->add(a);
    }

    connect(this, &TagsPanel::raised, shell, &Shell::raiseLeftDock);
    connect(shell, &Shell::leftDockRaised, this, &TagsPanel::makeVisible);
}

TagsPanel::~TagsPanel()
{
    if (Private::self == this)
        Private::self = nullptr;
    delete d;
}

void TagsPanel::makeVisible(QObject* o)
{
    if (!o) {
        Shell::self()->leftDock()->raiseWidget(this);
        Q_EMIT raised();
        return;
    }
    const bool on = o == this;
    d->dockAction->setPanelRaised(on);
}

} // namespace vexa

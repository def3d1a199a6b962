#include "messageoutput.h"

#include "actions.h"
#include "shell.h"
#include "utils.h"
#include "widgetstack.h"

#include <QToolBar>

namespace vexa
{

static MessageOutput* instance = nullptr;

MessageOutput* MessageOutput::self()
{
    if (!instance)
        new MessageOutput(Shell::self());
    return instance;
}

MessageOutput::MessageOutput(QWidget* parent) : QListWidget(parent)
{
    instance = this;
    setFocusPolicy(Qt::NoFocus);
    setWindowIcon(Utils::iconSet(QStringLiteral("16x16_Messages")));
    Shell* shell = Shell::self();
    Action* a =
        Actions::createAction(tr("Messages"), QStringLiteral("bottomDock/messages"),
                              QKeySequence(Qt::CTRL | Qt::Key_M), this, SLOT(makeVisible()));
    shell->actionGroup(QStringLiteral("docks/bottom"))->add(a);
    a->setCheckable(true);
    a->setIcon(Utils::iconSet(QStringLiteral("16x16_Messages")));
    a->addTo(shell->bottomDockTab());
    shell->bottomDock()->addWidget(this);
}

MessageOutput::~MessageOutput()
{
    if (instance == this)
        instance = nullptr;
}

void MessageOutput::makeVisible()
{
    Shell::self()->bottomDock()->raiseWidget(this);
}

} // namespace vexa

#include "runmake.h"

#include "actions.h"
#include "shell.h"
#include "utils.h"

#include <tuple>

namespace vexa
{

static RunMake* instance = nullptr;

RunMake* RunMake::self()
{
    if (!instance)
        new RunMake(Shell::self());
    return instance;
}

RunMake::RunMake(QObject* parent) : QObject(parent)
{
    instance = this;
    Shell* shell = Shell::self();
    // The build runner attaches its work to these commands.
    Action* configure = Actions::createAction(QStringLiteral("Configure &scripts"),
                                              QStringLiteral("RunMake/configure"), QKeySequence(),
                                              nullptr, nullptr);
    configure->setEnabled(false);
    shell->actionGroup(QStringLiteral("menu/Options/std"))->add(configure);
    for (const auto& [text, name, key, icon] :
         {std::tuple{"Run", "RunMake/run", Qt::Key_F5, "16x24_Run"},
          std::tuple{"Make", "RunMake/make", Qt::Key_F9, "16x24_Make"}}) {
        Action* a = Actions::createAction(QLatin1String(text), QLatin1String(name),
                                          QKeySequence(key), nullptr, nullptr);
        a->setIcon(Utils::iconSet(QLatin1String(icon)));
        a->setUsesTextLabel(true);
        a->setTextPosition(Action::BesideIcon);
        a->setEnabled(false);
        shell->actionGroup(QStringLiteral("toolbar/Run"))->add(a);
    }
}

RunMake::~RunMake()
{
    if (instance == this)
        instance = nullptr;
}

} // namespace vexa

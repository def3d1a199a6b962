#include "searchmanager.h"

#include "actions.h"
#include "messages/messageoutput.h"
#include "searchinfiles.h"
#include "shell.h"
#include "utils.h"

#include <QPointer>

namespace vexa
{

static SearchManager* instance = nullptr;

SearchManager* SearchManager::self()
{
    if (!instance)
        new SearchManager(Shell::self());
    return instance;
}

SearchManager::SearchManager(QObject* parent) : QObject(parent)
{
    instance = this;
    Shell* shell = Shell::self();
    // The search commands; those still without their work stay disabled.
    auto make = [this](const char* text, const char* name, const QKeySequence& key,
                       const char* icon, const char* slot = nullptr) {
        Action* a = Actions::createAction(QLatin1String(text), QLatin1String(name), key,
                                          slot ? this : nullptr, slot);
        if (icon)
            a->setIcon(Utils::iconSet(QLatin1String(icon)));
        a->setEnabled(slot != nullptr);
        return a;
    };
    ActionGroup* find = shell->actionGroup(QStringLiteral("menu/Search/Find"));
    find->add(make("&Find", "Search/Find", QKeySequence(Qt::CTRL | Qt::Key_F), "16x16_Find"));
    find->add(make("Find &Next", "Search/FindNext", QKeySequence(Qt::Key_F3), "16x16_FindNext"));
    find->add(make("&Search in files", "Search/FindInFiles",
                   QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F), "16x16_FindInFiles",
                   SLOT(findInFiles())));
    find->addSeparator();
    ActionGroup* replace = shell->actionGroup(QStringLiteral("menu/Search/Replace"));
    replace->add(
        make("&Replace", "Search/Replace", QKeySequence(Qt::CTRL | Qt::Key_R), "16x16_Replace"));
    replace->addSeparator();
    shell->actionGroup(QStringLiteral("menu/Search/Misk"))
        ->add(make("&Go to Line", "Search/goToLine", QKeySequence(Qt::CTRL | Qt::Key_G), nullptr));
    ActionGroup* bar = shell->actionGroup(QStringLiteral("toolbar/Search"));
    bar->add(make("Find", "Search/toolbar/Find", QKeySequence(), "22x22_Find"));
    bar->add(make("Find Next", "Search/toolbar/FindNext", QKeySequence(), "22x22_FindNext"));
    bar->add(make("Search in files", "Search/toolbar/FindInFiles", QKeySequence(),
                  "22x22_FindInFiles", SLOT(findInFiles())));
}

SearchManager::~SearchManager()
{
    if (instance == this)
        instance = nullptr;
}

bool SearchManager::stopSearchInFiles()
{
    return SearchInFiles::stopRunning();
}

void SearchManager::findInFiles()
{
    // One dialog per run, kept with its fields; its rows go to the messages panel.
    static QPointer<SearchInFiles> dialog;
    if (!dialog) {
        dialog = new SearchInFiles(Shell::self());
        connect(dialog, &SearchInFiles::newEntry, MessageOutput::self(),
                qOverload<const QString&, int, const QString&>(&MessageOutput::insertItem));
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    dialog->comboSearch->setFocus();
    MessageOutput::self()->clear();
}

} // namespace vexa

#include "vexa/recentfiles.h"

#include "vexa/actions.h"
#include "vexa/filetype.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/utils.h"

#include <QFileInfo>
#include <QMenu>
#include <QPointer>
#include <QToolButton>

namespace vexa
{

class RecentFiles::Private
{
public:
    static RecentFiles* self;

    // The drop-down belongs to the tool button, which a rebuild of the
    // interface may delete.
    QPointer<QMenu> recentMenu;
    QMenu* recentFilesMenu = nullptr;
    QMenu* recentProjectsMenu = nullptr;
    QStringList recentFiles;
    QStringList recentProjects;
    QStringList recentProjectsNames;
    // Submenus made without a window to own them.
    bool ownMenus = false;

    static const int savedEntries = 10;

    // The path stays in the item's data; the text shows any "&" as itself
    // instead of a mnemonic.
    static QAction* addItem(QMenu* menu, const QString& path, const QIcon& icon = QIcon())
    {
        QString text = path;
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = menu->addAction(icon, text);
        item->setData(path);
        return item;
    }

    // Puts `sub` right after the item of `action` in the last menu it went
    // into. An action that was never put into a menu gets no submenu.
    static void insertAfter(Action* action, QMenu* sub, const QString& title)
    {
        if (action->menus.isEmpty())
            return;
        QMenu* menu = action->menus.last();
        const QList<QAction*> items = menu->actions();
        const int i = items.indexOf(action);
        if (i < 0)
            return;
        sub->setTitle(title);
        // Taken out first, so a second assembly does not leave a stale entry.
        menu->removeAction(sub->menuAction());
        const QList<QAction*> now = menu->actions();
        const int at = now.indexOf(action) + 1;
        menu->insertMenu(at < now.size() ? now.at(at) : nullptr, sub);
    }
};

RecentFiles* RecentFiles::Private::self = nullptr;

RecentFiles* RecentFiles::self()
{
    if (!Private::self)
        new RecentFiles(Shell::self());
    return Private::self;
}

RecentFiles::RecentFiles(QObject* parent, const char* name) : QObject(parent), d(new Private)
{
    Private::self = this;
    if (name)
        setObjectName(QLatin1String(name));

    // No more than are kept: a settings file with a list of thousands
    // would make every menu of them take seconds to show.
    d->recentFiles =
        Settings::readList(QStringLiteral("/recent/files")).mid(0, Private::savedEntries);
    d->recentProjects =
        Settings::readList(QStringLiteral("/project/recent")).mid(0, Private::savedEntries);
    d->recentProjectsNames =
        Settings::readList(QStringLiteral("/project/recentNames")).mid(0, Private::savedEntries);
    // The two project lists only differ in length when the settings file was
    // edited by hand. Every project path is kept; a missing name becomes the
    // file's base name and names without a path are dropped.
    while (d->recentProjectsNames.size() < d->recentProjects.size())
        d->recentProjectsNames.append(
            QFileInfo(d->recentProjects.at(d->recentProjectsNames.size())).completeBaseName());
    while (d->recentProjectsNames.size() > d->recentProjects.size())
        d->recentProjectsNames.removeLast();

    auto* window = qobject_cast<QWidget*>(parent);
    d->ownMenus = !window;
    d->recentFilesMenu = new QMenu(window);
    d->recentProjectsMenu = new QMenu(window);
    for (QMenu* m : {d->recentFilesMenu, d->recentProjectsMenu}) {
        connect(m, &QMenu::aboutToShow, this, &RecentFiles::updateRecentMenu);
        connect(m, &QMenu::triggered, this, &RecentFiles::openInternal);
    }
}

RecentFiles::~RecentFiles()
{
    Settings::write(QStringLiteral("/project/recent"),
                    d->recentProjects.mid(0, Private::savedEntries));
    Settings::write(QStringLiteral("/project/recentNames"),
                    d->recentProjectsNames.mid(0, Private::savedEntries));
    Settings::write(QStringLiteral("/recent/files"), d->recentFiles.mid(0, Private::savedEntries));
    Settings::forceWrite();
    if (d->ownMenus) {
        delete d->recentFilesMenu;
        delete d->recentProjectsMenu;
    }
    if (Private::self == this)
        Private::self = nullptr;
    delete d;
}

QMenu* RecentFiles::recentMenu() const
{
    return d->recentMenu;
}

QMenu* RecentFiles::recentFilesMenu() const
{
    return d->recentFilesMenu;
}

QMenu* RecentFiles::recentProjectsMenu() const
{
    return d->recentProjectsMenu;
}

QStringList RecentFiles::recentProjects() const
{
    return d->recentProjects;
}

QStringList RecentFiles::recentProjectsNames() const
{
    return d->recentProjectsNames;
}

void RecentFiles::integrate()
{
    Action* toolOpen = Actions::action(QStringLiteral("Editors/toolbar/open"));
    if (!toolOpen)
        return;
    if (!toolOpen->toolbuttons.isEmpty()) {
        QToolButton* button = toolOpen->toolbuttons.last();
        if (!d->recentMenu || d->recentMenu->parent() != button) {
            d->recentMenu = new QMenu(button);
            // A separate arrow opens the list; a click on the button still opens a file.
            button->setMenu(d->recentMenu);
            button->setPopupMode(QToolButton::MenuButtonPopup);
            connect(d->recentMenu, &QMenu::aboutToShow, this, &RecentFiles::updateRecentMenu);
            connect(d->recentMenu, &QMenu::triggered, this, &RecentFiles::openInternal);
        }
    }

    Action* open = Actions::action(QStringLiteral("Editors/open"));
    if (!open)
        return;
    Private::insertAfter(open, d->recentFilesMenu, tr("Open &recent"));

    Action* projectOpen = Actions::action(QStringLiteral("Project/open"));
    if (!projectOpen)
        return;
    Private::insertAfter(projectOpen, d->recentProjectsMenu, tr("Open &recent project"));
}

void RecentFiles::updateRecentMenu()
{
    if (!d->recentMenu)
        return;
    d->recentMenu->clear();
    d->recentFilesMenu->clear();
    d->recentProjectsMenu->clear();
    const QIcon projectIcon(Utils::icon(QStringLiteral("18x18_Project")));
    for (const QString& p : std::as_const(d->recentProjects)) {
        Private::addItem(d->recentMenu, p, projectIcon);
        Private::addItem(d->recentProjectsMenu, p);
    }
    if (!d->recentProjects.isEmpty())
        d->recentMenu->addSeparator();
    for (const QString& f : std::as_const(d->recentFiles)) {
        Private::addItem(d->recentMenu, f);
        Private::addItem(d->recentFilesMenu, f);
    }
}

void RecentFiles::addRecent(const QString& fileName)
{
    removeRecent(fileName);
    d->recentFiles.prepend(fileName);
}

void RecentFiles::removeRecent(const QString& fileName)
{
    d->recentFiles.removeOne(fileName);
}

void RecentFiles::addRecentProject(const QString& fileName, const QString& name)
{
    removeRecentProject(fileName);
    d->recentProjects.prepend(fileName);
    d->recentProjectsNames.prepend(name);
}

void RecentFiles::removeRecentProject(const QString& fileName)
{
    const int i = d->recentProjects.indexOf(fileName);
    if (i < 0)
        return;
    d->recentProjects.removeAt(i);
    if (i < d->recentProjectsNames.size())
        d->recentProjectsNames.removeAt(i);
}

void RecentFiles::openInternal(QAction* item)
{
    const QString path = item ? item->data().toString() : QString();
    if (path.isEmpty())
        return;
    // The receiver records the entry again when it opened, which moves it
    // to the front; one that no longer opens stays where it was.
    FileTypeManager::openFile(path);
}

} // namespace vexa

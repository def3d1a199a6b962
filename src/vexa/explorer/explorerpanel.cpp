#include "vexa/explorer/explorerpanel.h"

#include "vexa/actions.h"
#include "vexa/bookmarks/bookmarks.h"
#include "vexa/editors/editors.h"
#include "vexa/explorer/fileslist.h"
#include "vexa/message.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/utils.h"
#include "vexa/widgets/widgetstack.h"

#include "xqwidgets/xqfileoperator/fileoperator.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QScrollBar>
#include <QSet>
#include <QToolButton>

#include <sys/stat.h>

namespace vexa
{

namespace
{

const QString category = QStringLiteral("ExplorerPanel");

// The folder and its parents from the root: "/", then one entry a level.
QStringList pathEntries(const QString& path)
{
    QStringList entries{QDir::separator()};
    entries += path.split(QDir::separator(), Qt::SkipEmptyParts);
    return entries;
}

// Exists as a file, a folder or a link (a dangling one too).
bool present(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// Whether the entry lies directly in the folder `folder` describes, under
// whatever spelling of its path.
bool directlyIn(const QByteArray& entry, const struct stat& folder)
{
    const int slash = entry.lastIndexOf('/');
    const QByteArray parent = slash <= 0 ? QByteArrayLiteral("/") : entry.left(slash);
    struct stat st;
    return ::stat(parent.constData(), &st) == 0 && st.st_dev == folder.st_dev &&
           st.st_ino == folder.st_ino;
}

QList<FilesListItem*> bufferEntries(const FilesList* buffer)
{
    QList<FilesListItem*> entries;
    for (int i = 0; i < buffer->topLevelItemCount(); ++i)
        entries << static_cast<FilesListItem*>(buffer->topLevelItem(i));
    return entries;
}

} // namespace

class ExplorerPanel::Private
{
public:
    static ExplorerPanel* self;
    int viewMode = ListView;
    Action* dockAction = nullptr;
    QMenu* cdUpMenu = nullptr;
    QMenu* optionsMenu = nullptr;
    QMenu* bookmarkMenu = nullptr;
    // Bookmark menu items, by the id the menu gave them, to their paths.
    QMap<int, QString> bookmarkMenuIds;
    QList<QAction*> bookmarkItems;
    QList<Action*> focusActions;
    // The buffered entries that are cut, by the paths every file operation
    // uses; the files list greys them through its exclusion list.
    QSet<QByteArray> cut;
    // The panel reported the focus last, and the focus has not moved to a
    // widget of the window outside the panel since.
    bool focused = false;
};

ExplorerPanel* ExplorerPanel::Private::self = nullptr;

ExplorerPanel* ExplorerPanel::self()
{
    if (!Private::self)
        new ExplorerPanel(Shell::self());
    return Private::self;
}

ExplorerPanel::ExplorerPanel(QWidget* parent) : ExplorerPanelBase(parent), d(new Private)
{
    Private::self = this;
    setWindowIcon(Utils::icon(QStringLiteral("16x16_FileExplorer")));
    Shell* shell = Shell::self();

    d->dockAction =
        shell->addLeftDockToggle(QStringLiteral("Files"), QStringLiteral("leftDock/files"),
                                 QStringLiteral("22x22_FileExplorer"), this, true);
    shell->leftDock()->addWidget(this);

    backButton->setIcon(Utils::iconSet(QStringLiteral("20x20_Back")));
    forwardButton->setIcon(Utils::iconSet(QStringLiteral("20x20_Forward")));
    chooseButton->setIcon(Utils::iconSet(QStringLiteral("20x20_FindInFiles")));
    cdUpButton->setIcon(Utils::iconSet(QStringLiteral("20x20_Up")));
    actionButton->setIcon(Utils::iconSet(QStringLiteral("20x20_Gear")));
    bookmarkButton->setIcon(Utils::iconSet(QStringLiteral("20x20_BookmarkAdd")));

    d->cdUpMenu = new QMenu(this);
    d->optionsMenu = new QMenu(this);
    d->bookmarkMenu = new QMenu(this);
    // The up button goes one level up on a click; its arrow opens the parents.
    connect(d->cdUpMenu, &QMenu::aboutToShow, this, &ExplorerPanel::pathMenu);
    connect(d->cdUpMenu, &QMenu::triggered, this, [this](QAction* a) { cdUp(a->data().toInt()); });
    cdUpButton->setMenu(d->cdUpMenu);
    actionButton->setMenu(d->optionsMenu);
    connect(actionButton, &QToolButton::pressed, this, &ExplorerPanel::setFocus);
    connect(actionButton, &QToolButton::clicked, this, &ExplorerPanel::showActionMenu);
    bookmarkButton->setMenu(d->bookmarkMenu);
    connect(bookmarkButton, &QToolButton::clicked, this, &ExplorerPanel::showBookmarkMenu);
    connect(d->bookmarkMenu, &QMenu::aboutToShow, this, &ExplorerPanel::aboutToShowBookmarkMenu);
    connect(d->bookmarkMenu, &QMenu::triggered, this, [this](QAction* a) {
        if (a->data().isValid())
            activatedBookmarkMenu(a->data().toInt());
    });

    const QString nav = QStringLiteral("ExplorerPanel/navigation");
    const QString actions = QStringLiteral("ExplorerPanel/menu/options/actions");
    const QString sorts = QStringLiteral("ExplorerPanel/menu/options/sorts");
    const QString modes = QStringLiteral("ExplorerPanel/menu/options/mode");
    for (const QString& g :
         {nav, actions, sorts, QStringLiteral("ExplorerPanel/menu/options/sortsExt"), modes})
        shell->actionGroup(g);
    auto make = [&](const char* text, const char* name, const QKeySequence& key, const char* slot,
                    const QString& group, const char* icon = nullptr) {
        return Actions::createAction(tr(text), QLatin1String(name), key, this, slot,
                                     QLatin1String(icon),
                                     group.isEmpty() ? nullptr : shell->actionGroup(group));
    };
    Action* back =
        make("Back", "ExplorerPanel/navigation/back", Qt::ALT | Qt::Key_Left, SLOT(back()), nav);
    Action* forward = make("Forward", "ExplorerPanel/navigation/forward", Qt::ALT | Qt::Key_Right,
                           SLOT(forward()), nav);
    Action* tofirst = make("To first item", "ExplorerPanel/navigation/tofirst", Qt::Key_Left,
                           SLOT(setCurrentFirst()), nav);
    Action* tolast = make("To last item", "ExplorerPanel/navigation/tolast", Qt::Key_Right,
                          SLOT(setCurrentLast()), nav);
    Action* cdup = make("Go to up level", "ExplorerPanel/navigation/cdup", Qt::ALT | Qt::Key_Up,
                        SLOT(cdUp()), nav);
    Action* newFolder = make("&New Folder", "ExplorerPanel/action/NewFolder", Qt::CTRL | Qt::Key_N,
                             SLOT(newFolder()), actions, "16x16_NewFolder");
    shell->actionGroup(actions)->addSeparator();
    Action* open = make("Open", "ExplorerPanel/action/open", {}, SLOT(open()), QString());
    Action* cut = make("Cut", "ExplorerPanel/action/cut", Qt::CTRL | Qt::Key_X, SLOT(cut()),
                       actions, "16x16_Cut");
    Action* copy = make("Copy", "ExplorerPanel/action/copy", Qt::CTRL | Qt::Key_C, SLOT(copy()),
                        actions, "16x16_Copy");
    Action* paste = make("Paste", "ExplorerPanel/action/paste", Qt::CTRL | Qt::Key_V, SLOT(paste()),
                         actions, "16x16_Paste");
    Action* del =
        make("Delete", "ExplorerPanel/action/delete", Qt::Key_Delete, SLOT(erase()), actions);
    shell->actionGroup(actions)->addSeparator();
    Action* byName = make("Sort by &name", "ExplorerPanel/sort/name", Qt::Key_F2, nullptr, sorts,
                          "16x16_SortByName");
    Action* byDate = make("Sort by &date", "ExplorerPanel/sort/date", Qt::Key_F3, nullptr, sorts,
                          "16x16_SortByDate");
    Action* bySize = make("Sort by &size", "ExplorerPanel/sort/size", Qt::Key_F4, nullptr, sorts,
                          "16x16_SortBySize");
    shell->actionGroup(sorts)->addSeparator();
    shell->actionGroup(sorts)->setExclusive(true);
    Action* list = make("&List", "ExplorerPanel/viewMode/list", Qt::Key_Minus, nullptr, modes);
    Action* detailed =
        make("&Detailed", "ExplorerPanel/viewMode/detailed", Qt::Key_Equal, nullptr, modes);
    shell->actionGroup(modes)->setExclusive(true);
    int id = 0;
    for (Action* a : {byName, byDate, bySize}) {
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, id] { setSortMode(id); });
        ++id;
    }
    id = ListView;
    for (Action* a : {list, detailed}) {
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, id] { setViewMode(id); });
        ++id;
    }
    Action* showMenu =
        make("Show bookmark menu", "ExplorerPanel/bookmarks/showMenu", Qt::CTRL | Qt::Key_B,
             SLOT(showBookmarkMenu()), QStringLiteral("ExplorerPanel/bookmarks"));
    const QString bookmarks = QStringLiteral("ExplorerPanel/menu/bookmarks");
    make("Add bookmark", "ExplorerPanel/bookmarks/add", {}, SLOT(addBookmark()), bookmarks);
    make("Manage bookmarks", "ExplorerPanel/bookmarks/manage", {}, SLOT(manageBookmarks()),
         bookmarks);
    shell->actionGroup(bookmarks)->addSeparator();
    make("E&xplorer window", "ExplorerPanel/focus", Qt::CTRL | Qt::Key_T, SLOT(makeVisible()),
         QStringLiteral("menu/Window/Docks"));
    shell->actionGroup(QStringLiteral("ExplorerPanel/menu/options"))->addTo(d->optionsMenu);
    shell->actionGroup(bookmarks)->addTo(d->bookmarkMenu);

    setViewMode(Settings::readNum(QStringLiteral("/fileexplorer/listMode"), ListView));
    setSortMode(Settings::readNum(QStringLiteral("/fileexplorer/sortMode"), Name));

    setFocusProxy(filesList);
    connect(this, &ExplorerPanel::gotFocus, shell, &Shell::focusIn);
    connect(shell, &Shell::focusChanged, this, &ExplorerPanel::focusChanged);
    connect(filesList, &FilesList::gotFocus, this, &ExplorerPanel::gotFocus);
    connect(bufferList, &FilesList::gotFocus, this, &ExplorerPanel::gotFocus);
    // A widget that never reports the focus (the tags tree, the messages
    // list) still takes it away from the panel's keys.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now || now->window() != window() || now->window()->windowType() == Qt::Popup)
            return;
        const bool inside = now == this || isAncestorOf(now);
        if (d->focused && !inside) {
            d->focused = false;
            for (Action* a : std::as_const(d->focusActions))
                a->setEnabled(false);
        }
    });
    connect(this, &ExplorerPanel::raised, shell, &Shell::raiseLeftDock);
    connect(shell, &Shell::leftDockRaised, this, &ExplorerPanel::makeVisible);
    connect(backButton, &QToolButton::clicked, filesList, &FilesList::back);
    connect(forwardButton, &QToolButton::clicked, filesList, &FilesList::forward);
    connect(filesList, &FilesList::upAvailable, cdUpButton, &QWidget::setEnabled);
    connect(filesList, &FilesList::backAvailable, backButton, &QWidget::setEnabled);
    connect(filesList, &FilesList::forwardAvailable, forwardButton, &QWidget::setEnabled);
    // The commands follow the history only while the panel has the focus:
    // their keys (Alt+Up, Alt+Left, Alt+Right) belong to other commands
    // elsewhere, and two enabled commands on one key would both stay silent.
    for (const auto& [signal, a] :
         {std::pair{&FilesList::upAvailable, cdup}, std::pair{&FilesList::backAvailable, back},
          std::pair{&FilesList::forwardAvailable, forward}}) {
        Action* action = a;
        connect(filesList, signal, this,
                [this, action](bool on) { action->setEnabled(on && d->focused); });
    }
    connect(cdUpButton, &QToolButton::clicked, this, [this] { cdUp(); });
    connect(chooseButton, &QToolButton::clicked, this, &ExplorerPanel::selectPath);
    // Keys of the panel's commands that other, always-on commands share
    // (Alt+Up, F3) are claimed while a list of the panel has the focus.
    filesList->installEventFilter(this);
    bufferList->installEventFilter(this);
    bufferList->setEntriesFixed(true);

    clearBufferButton->setIcon(Utils::iconSet(QStringLiteral("9x9_Close")));
    clearBufferButton->setFixedSize(15, 15);
    connect(clearBufferButton, &QToolButton::clicked, this, [this] { showBuffer(false); });
    Action* clear = make("Clear buffer", "ExplorerPanel/clearBuffer", Qt::Key_Escape,
                         SLOT(showBuffer()), QString());
    d->focusActions = {newFolder, cut,     copy,   paste,  del,      back,
                       forward,   tofirst, tolast, cdup,   showMenu, list,
                       detailed,  bySize,  byDate, byName, clear};
    showBuffer(false);

    // The popups of the files list, one group a kind, with its sections.
    struct Section {
        const char* name;
        QList<Action*> actions;
    };
    const QList<Section> sortModes = {{"sort", {byName, byDate, bySize}},
                                      {"mode", {list, detailed}}};
    const QList<QPair<QString, QList<Section>>> kinds = {
        {QStringLiteral("folder"),
         QList<Section>{{"open", {newFolder}}, {"main", {cut, copy, paste}}, {"delete", {del}}} +
             sortModes},
        {QStringLiteral("file"), QList<Section>{{"open", {open, newFolder}},
                                                {"main", {cut, copy, paste}},
                                                {"delete", {del}}} +
                                     sortModes},
        {QStringLiteral("selection"), {{"main", {cut, copy}}, {"delete", {del}}}},
        {QStringLiteral("none"),
         QList<Section>{{"open", {newFolder}}, {"main", {paste}}} + sortModes},
    };
    for (const auto& kind : kinds) {
        const QString path = QStringLiteral("ExplorerPanel/context/") + kind.first;
        ActionGroup* group = shell->actionGroup(path);
        bool first = true;
        for (const Section& s : kind.second) {
            if (!first)
                group->addSeparator();
            first = false;
            ActionGroup* section =
                shell->actionGroup(path + QLatin1Char('/') + QLatin1String(s.name));
            for (Action* a : s.actions)
                section->add(a);
        }
        filesList->setActionGroup(kind.first, group);
    }

    QString start = Settings::read(QStringLiteral("/fileexplorer/lastPath"), QDir::homePath());
    if (!QFileInfo(start).isDir())
        start = QDir::homePath();
    filesList->go(start);
    const QString last = Settings::read(QStringLiteral("/fileexplorer/lastFile"));
    if (!last.isEmpty())
        filesList->setCurrentItem(last);
}

ExplorerPanel::~ExplorerPanel()
{
    Settings::write(QStringLiteral("/fileexplorer/listMode"), viewMode());
    Settings::write(QStringLiteral("/fileexplorer/sortMode"), sortMode());
    Settings::write(QStringLiteral("/fileexplorer/lastPath"), filesList->path());
    Settings::write(QStringLiteral("/fileexplorer/lastFile"), filesList->currentItemName());
    if (Private::self == this)
        Private::self = nullptr;
    delete d;
}

int ExplorerPanel::viewMode() const
{
    return d->viewMode;
}

int ExplorerPanel::sortMode() const
{
    return filesList->sortMode();
}

QList<Action*> ExplorerPanel::focusActions() const
{
    return d->focusActions;
}

QMenu* ExplorerPanel::cdUpMenu() const
{
    return d->cdUpMenu;
}

QMenu* ExplorerPanel::optionsMenu() const
{
    return d->optionsMenu;
}

QMenu* ExplorerPanel::bookmarkMenu() const
{
    return d->bookmarkMenu;
}

// ------------------------------------------------------------------ focus

void ExplorerPanel::setFocus()
{
    QWidget::setFocus();
    Q_EMIT gotFocus();
}

void ExplorerPanel::focusChanged(QObject* o)
{
    d->focused = o == this;
    for (Action* a : std::as_const(d->focusActions))
        a->setEnabled(d->focused);
}

bool ExplorerPanel::eventFilter(QObject* o, QEvent* e)
{
    if (e->type() != QEvent::ShortcutOverride && e->type() != QEvent::KeyPress)
        return ExplorerPanelBase::eventFilter(o, e);
    auto* key = static_cast<QKeyEvent*>(e);
    const QKeySequence pressed(
        QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
    for (Action* a : std::as_const(d->focusActions)) {
        if (!a->isEnabled() || a->shortcut() != pressed)
            continue;
        e->accept();
        if (e->type() == QEvent::KeyPress)
            a->trigger();
        return true;
    }
    return ExplorerPanelBase::eventFilter(o, e);
}

void ExplorerPanel::makeVisible(QObject* o)
{
    if (!o) {
        Shell::self()->leftDock()->raiseWidget(this);
        filesList->adjustContentSize();
        Q_EMIT raised();
        return;
    }
    const bool on = o == this;
    d->dockAction->setPanelRaised(on);
    if (on)
        setFocus();
}

// ------------------------------------------------------------- navigation

void ExplorerPanel::setViewMode(int mode)
{
    d->viewMode = mode;
    if (mode == ListView) {
        Actions::action(QStringLiteral("ExplorerPanel/viewMode/list"))->setChecked(true);
        filesList->setViewMode(FilesList::Simple);
    } else if (mode == DetailedView) {
        Actions::action(QStringLiteral("ExplorerPanel/viewMode/detailed"))->setChecked(true);
        filesList->setViewMode(FilesList::Detailed);
    }
}

void ExplorerPanel::setSortMode(int mode)
{
    filesList->setSortMode(mode);
    static const char* const names[] = {"ExplorerPanel/sort/name", "ExplorerPanel/sort/date",
                                        "ExplorerPanel/sort/size"};
    if (mode >= Name && mode <= Size)
        Actions::action(QLatin1String(names[mode]))->setChecked(true);
}

void ExplorerPanel::back()
{
    filesList->back();
}

void ExplorerPanel::forward()
{
    filesList->forward();
}

void ExplorerPanel::setCurrentLast()
{
    filesList->setCurrentLast();
}

void ExplorerPanel::setCurrentFirst()
{
    filesList->setCurrentFirst();
}

void ExplorerPanel::cdUp(int level)
{
    const QString path = QDir::cleanPath(filesList->path());
    if (level < 0) {
        if (path != QDir::separator())
            filesList->go(QFileInfo(path).absolutePath());
        return;
    }
    const QStringList entries = pathEntries(path);
    QString target = QDir::separator();
    for (int k = 1; k <= level && k < entries.size(); ++k) {
        if (!target.endsWith(QDir::separator()))
            target += QDir::separator();
        target += entries.at(k);
    }
    filesList->go(target);
}

QMenu* ExplorerPanel::pathMenu()
{
    d->cdUpMenu->clear();
    const QStringList entries = pathEntries(QDir::cleanPath(filesList->path()));
    for (int i = 0; i < entries.size(); ++i)
        d->cdUpMenu->addAction(QString(2 * i, QLatin1Char(' ')) + entries.at(i))->setData(i);
    return d->cdUpMenu;
}

void ExplorerPanel::selectPath()
{
    QFileDialog dialog(Shell::self(), tr("Please select folder..."), filesList->path());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (!Editors::runFileDialog(dialog) || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    if (!path.isEmpty())
        filesList->go(path);
}

// -------------------------------------------------------------- bookmarks

void ExplorerPanel::showBookmarkMenu()
{
    d->bookmarkMenu->popup(bookmarkButton->mapToGlobal(QPoint(0, bookmarkButton->height())));
}

void ExplorerPanel::showActionMenu()
{
    d->optionsMenu->popup(actionButton->mapToGlobal(QPoint(0, actionButton->height())));
}

void ExplorerPanel::aboutToShowBookmarkMenu()
{
    qDeleteAll(d->bookmarkItems);
    d->bookmarkItems.clear();
    d->bookmarkMenuIds.clear();
    const QMap<QString, QString> marks = Bookmarks::self()->bookmarks(category);
    int id = 0;
    for (auto it = marks.cbegin(); it != marks.cend(); ++it, ++id) {
        QAction* item = d->bookmarkMenu->addAction(it.key());
        item->setData(id);
        d->bookmarkItems.append(item);
        d->bookmarkMenuIds.insert(id, it.value());
    }
}

void ExplorerPanel::activatedBookmarkMenu(int id)
{
    const QString path = d->bookmarkMenuIds.value(id);
    if (!path.isEmpty() && path != filesList->path())
        filesList->go(path);
}

void ExplorerPanel::manageBookmarks()
{
    Bookmarks::self()->showManageDialog(category);
}

void ExplorerPanel::addBookmark()
{
    Bookmarks::self()->addBookmark(category, filesList->path(), filesList->path());
}

// ---------------------------------------------------------- file commands

void ExplorerPanel::open()
{
    filesList->itemClicked(nullptr);
}

void ExplorerPanel::newFolder()
{
    const QString path = filesList->path();
    if (!QFileInfo(path).isWritable()) {
        Message::warning(tr("Access denied..."), tr("Folder ") + path + tr(" is not writable."),
                         QString());
        return;
    }
    QInputDialog dialog(Shell::self());
    dialog.setWindowTitle(tr("Create new folder..."));
    dialog.setLabelText(tr("Create new folder in ") + path);
    dialog.setTextEchoMode(QLineEdit::Normal);
    dialog.setTextValue(tr("New folder"));
    if (Message::exec(dialog) != QDialog::Accepted)
        return;
    const QString name = dialog.textValue();
    // Only a name of this folder: no path that leads elsewhere, past the
    // check made on this folder.
    if (name.contains(QDir::separator()) || name == QLatin1String(".") ||
        name == QLatin1String("..") || !QDir(path).mkdir(name)) {
        Message::warning(tr("Error happens..."), tr("Can't create new folder in ") + path,
                         QString());
        return;
    }
    filesList->reload();
    filesList->setCurrentItem(name);
}

// The entry after the last selected one becomes current (the last entry
// itself when it ends the list).
static void moveCursor(FilesList* list, const QList<FilesListItem*>& selected)
{
    if (selected.isEmpty())
        return;
    const int row = list->indexOfTopLevelItem(selected.last());
    QTreeWidgetItem* next = list->topLevelItem(row + 1);
    list->setCurrent(next ? next : selected.last());
}

// Adds the selected entries to the buffer, each once; sorted once at the end.
static void addToBuffer(FilesList* buffer, const QList<FilesListItem*>& selected)
{
    QSet<QByteArray> buffered;
    for (const FilesListItem* entry : bufferEntries(buffer))
        buffered.insert(entry->nativePath);
    buffer->setSortingEnabled(false);
    for (int i = 0; i < selected.size(); ++i) {
        const FilesListItem* item = selected.at(i);
        if (buffered.contains(item->nativePath))
            continue;
        auto* entry = new FilesListItem(buffer, item->fileName, item->filePath, i, item->isDir);
        entry->nativePath = item->nativePath;
    }
    buffer->setSortingEnabled(true);
}

void ExplorerPanel::cut()
{
    const QList<FilesListItem*> selected = filesList->selectedItems();
    if (selected.isEmpty())
        return;
    const QString path = filesList->path();
    if (!QFileInfo(path).isWritable()) {
        Message::warning(
            tr("Access denied..."),
            tr("Folder ") + path + tr(" is not writable.\nYou can't move these files."), QString());
        return;
    }
    QStringList excluded = filesList->excludeFilePaths();
    QSet<QString> known(excluded.cbegin(), excluded.cend());
    for (const FilesListItem* item : selected) {
        d->cut.insert(item->nativePath);
        if (!known.contains(item->filePath)) {
            known.insert(item->filePath);
            excluded.append(item->filePath);
        }
    }
    addToBuffer(bufferList, selected);
    showBuffer(true);
    bufferList->adjustContentSize();
    moveCursor(filesList, selected);
    filesList->setExcludeFilePaths(excluded);
    filesList->reload();
    QCoreApplication::processEvents();
    if (filesList->currentItem())
        filesList->scrollToItem(filesList->currentItem());
}

void ExplorerPanel::copy()
{
    const QList<FilesListItem*> selected = filesList->selectedItems();
    if (selected.isEmpty())
        return;
    addToBuffer(bufferList, selected);
    showBuffer(true);
    bufferList->adjustContentSize();
    moveCursor(filesList, selected);
    QCoreApplication::processEvents();
    if (filesList->currentItem())
        filesList->scrollToItem(filesList->currentItem());
}

void ExplorerPanel::paste()
{
    if (xqwidgets::FileOperator::isRunning())
        return;
    const QString path = filesList->path();
    if (!QFileInfo(path).isWritable()) {
        Message::warning(tr("Access denied..."),
                         tr("Folder ") + path +
                             tr(" is not writable.\nYou can't move or copy files to the folder."),
                         QString());
        return;
    }
    const QList<FilesListItem*> buffered = bufferEntries(bufferList);
    for (const FilesListItem* entry : buffered) {
        if (!present(entry->nativePath)) {
            Message::warning(tr("Error happens..."),
                             entry->filePath +
                                 tr(" no longer exists.\nNothing was moved or copied."),
                             QString());
            return;
        }
    }
    // What lies in this folder already stays in the buffer: pasting it here
    // would change nothing.
    const QByteArray dest = QFile::encodeName(path);
    struct stat here;
    const bool known = ::stat(dest.constData(), &here) == 0;
    QList<QByteArray> moved, copied;
    QSet<QByteArray> pasted;
    QStringList already;
    for (const FilesListItem* entry : buffered) {
        if (known && directlyIn(entry->nativePath, here)) {
            already << entry->fileName;
            continue;
        }
        (d->cut.contains(entry->nativePath) ? moved : copied) << entry->nativePath;
        pasted.insert(entry->nativePath);
    }
    auto sayAlready = [&already] {
        if (!already.isEmpty())
            Shell::self()->statusMessage(
                QStringLiteral("default"),
                tr("Already in this folder: %1").arg(already.join(QStringLiteral(", "))));
    };
    if (!already.isEmpty() && pasted.isEmpty()) {
        sayAlready();
        return;
    }
    xqwidgets::FileOperator* op = xqwidgets::FileOperator::self(Shell::self());
    // An aborted or refused move stops the paste: nothing is copied and the
    // buffer stays for another try.
    if (!moved.isEmpty() && !op->moveNative(moved, dest)) {
        filesList->reload();
        return;
    }
    if (!copied.isEmpty() && !op->copyNative(copied, dest)) {
        // The moved entries are gone from the buffer; the copied ones stay.
        dropFromBuffer(QSet<QByteArray>(moved.cbegin(), moved.cend()));
        return;
    }
    if (already.isEmpty()) {
        showBuffer(false);
        return;
    }
    dropFromBuffer(pasted);
    sayAlready();
}

void ExplorerPanel::dropFromBuffer(const QSet<QByteArray>& paths)
{
    QStringList excluded;
    for (FilesListItem* entry : bufferEntries(bufferList)) {
        if (paths.contains(entry->nativePath)) {
            d->cut.remove(entry->nativePath);
            delete entry;
        } else if (d->cut.contains(entry->nativePath)) {
            excluded << entry->filePath;
        }
    }
    if (!bufferList->topLevelItemCount()) {
        showBuffer(false);
        return;
    }
    filesList->setExcludeFilePaths(excluded);
    filesList->reload();
}

void ExplorerPanel::erase()
{
    const QList<FilesListItem*> selected = filesList->selectedItems();
    if (selected.isEmpty() || xqwidgets::FileOperator::isRunning())
        return;
    QList<QByteArray> paths;
    QString gone;
    for (const FilesListItem* item : selected) {
        paths << item->nativePath;
        if (gone.isNull() && !present(item->nativePath))
            gone = item->filePath;
    }
    if (Message::warning(tr("Warning"), tr("Do you really want to delete it?"), tr("Delete"),
                         tr("Cancel"), QString(), 0, 1) != 0)
        return;
    // The operator refuses a list naming something that is gone, silently.
    if (!gone.isNull()) {
        Message::warning(tr("Error happens..."),
                         gone + tr(" no longer exists.\nNothing was deleted."), QString());
        filesList->reload();
        return;
    }
    moveCursor(filesList, selected);
    xqwidgets::FileOperator::self(Shell::self())->eraseNative(paths);
    filesList->reload();
}

bool ExplorerPanel::bufferStretch(int filesHeight, int bufferHeight, bool bufferShown, int entries,
                                  int entryHeight, int* filesStretch, int* bufferStretch)
{
    int total = filesHeight + (bufferShown ? bufferHeight : 0);
    int wanted = 25;
    if (entries > 0)
        wanted = qMin(entries * entryHeight + 25, total / 3);
    else if (total < 70)
        total = 70;
    // Lists without any height leave nothing to share: keep the factors.
    if (total <= 0)
        return false;
    *filesStretch = qBound(0, (total - wanted) * 255 / total, 255);
    *bufferStretch = qBound(0, wanted * 255 / total, 255);
    return true;
}

void ExplorerPanel::showBuffer(bool show)
{
    if (!show && bufferList->isHidden())
        return;
    if (show) {
        const int entries = bufferList->topLevelItemCount();
        const int entryHeight =
            entries ? bufferList->visualItemRect(bufferList->topLevelItem(0)).height() : 0;
        int filesStretch = 0, bufferStretchFactor = 0;
        if (bufferStretch(filesList->height(), bufferList->height(), !bufferList->isHidden(),
                          entries, entryHeight > 0 ? entryHeight : bufferList->sizeHintForRow(0),
                          &filesStretch, &bufferStretchFactor)) {
            QSizePolicy files = filesList->sizePolicy();
            files.setVerticalStretch(filesStretch);
            filesList->setSizePolicy(files);
            QSizePolicy buffer = bufferList->sizePolicy();
            buffer.setVerticalStretch(bufferStretchFactor);
            bufferList->setSizePolicy(buffer);
        }
    }
    bufferList->setVisible(show);
    bufferLabel->setVisible(show);
    clearBufferButton->setVisible(show);
    Actions::action(QStringLiteral("ExplorerPanel/action/paste"))->setEnabled(show);
    if (!show) {
        bufferList->clear();
        d->cut.clear();
        filesList->setExcludeFilePaths({});
        filesList->reload();
    }
}

} // namespace vexa

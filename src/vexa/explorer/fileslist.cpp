#include "vexa/explorer/fileslist.h"

#include "vexa/actions.h"
#include "vexa/filetype.h"
#include "vexa/shell.h"
#include "vexa/utils.h"

#include "xqwidgets/xqtools/navigator.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMap>
#include <QMenu>
#include <QPainter>
#include <QPixmapCache>
#include <QScrollBar>
#include <QSet>
#include <QStyledItemDelegate>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexa
{

namespace
{

const QString parentName = QStringLiteral("..");

void status(const QString& text)
{
    Shell::self()->statusMessage(QStringLiteral("default"), text);
}

qint64 msecs(const struct stat& st)
{
    return qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

// Follows a link; a dangling one is described by the link itself.
bool statAt(int dirFd, const char* name, struct stat* st)
{
    return fstatat(dirFd, name, st, 0) == 0 || fstatat(dirFd, name, st, AT_SYMLINK_NOFOLLOW) == 0;
}

// The number of visible entries of a folder, or -1 when it cannot be read.
// Opened without blocking, so a name that turned into a FIFO meanwhile is
// refused rather than waited on.
int countEntries(const char* path)
{
    const int fd = open(path, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return -1;
    }
    int n = 0;
    while (const dirent* e = readdir(dir))
        if (e->d_name[0] != '.')
            ++n;
    closedir(dir);
    return n;
}

// One entry of a folder as read from the file system.
struct Entry {
    QByteArray raw;
    QString name;
    bool dir = false;
    qint64 size = -1;
    qint64 mtime = -1;
};

// The visible entries of a folder ("." and hidden names left out, ".." kept):
// folders and the rest apart. File information is read only where `stat`
// asks for it, or to tell a link's kind. False when the folder cannot be read.
bool readFolder(const QString& path, bool stat, QList<Entry>& dirs, QList<Entry>& files)
{
    DIR* dir = opendir(QFile::encodeName(path).constData());
    if (!dir)
        return false;
    const int fd = dirfd(dir);
    while (const dirent* e = readdir(dir)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || !(n[1] == '.' && n[2] == 0)))
            continue;
        Entry entry;
        entry.raw = QByteArray(n);
        struct stat st;
        bool known = false;
        if (e->d_type == DT_DIR) {
            entry.dir = true;
        } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            known = statAt(fd, n, &st);
            entry.dir = known && S_ISDIR(st.st_mode);
        }
        if (stat && !entry.dir) {
            if (!known)
                known = statAt(fd, n, &st);
            if (known) {
                entry.size = st.st_size;
                entry.mtime = msecs(st);
            }
        }
        entry.name = QFile::decodeName(entry.raw);
        (entry.dir ? dirs : files).append(std::move(entry));
    }
    closedir(dir);
    return true;
}

} // namespace

// ------------------------------------------------------------------ Private

class FilesList::Private
{
    Q_DECLARE_TR_FUNCTIONS(vexa::FilesList)
public:
    explicit Private(FilesList* list) : self(list) {}

    // The icon of a file type at the size of the view mode, greyed or not;
    // made once per listing and shared by all entries of that type.
    QIcon icon(FileType* type, bool grayed);
    QPixmap pixmap(FileType* type) const;
    // Shows a place the history has just moved to, back or forward.
    void show(const FilesListNavigatorData& entry, bool forward);

    FilesList* self;
    int viewMode = Simple;
    int sortMode = Name;
    // The order files are listed in: Name, Date or Size (other modes keep it).
    int fileOrder = Name;
    QString currentPath;
    QStringList excludeFilePaths;
    QMap<QString, QMenu*> popupMenuMap;
    QMap<QString, ActionGroup*> actionGroupMap;
    xqwidgets::Navigator<FilesListNavigatorData> navigator;
    ReadableCheck readable;
    bool entriesFixed = false;
    QHash<FileType*, QIcon> icons;
    QHash<FileType*, QIcon> grayIcons;
};

QPixmap FilesList::Private::pixmap(FileType* type) const
{
    if (!type)
        return QPixmap();
    return viewMode == Detailed ? type->bigPixmap() : type->pixmap();
}

QIcon FilesList::Private::icon(FileType* type, bool grayed)
{
    QHash<FileType*, QIcon>& cache = grayed ? grayIcons : icons;
    auto it = cache.constFind(type);
    if (it != cache.constEnd())
        return *it;
    QPixmap pm = pixmap(type);
    if (grayed && type && !pm.isNull()) {
        // Kept process-wide by type and size, so the other view mode finds
        // its own size.
        const QString key = QStringLiteral("fileType_%1__gray_%2x%3")
                                .arg(type->name())
                                .arg(pm.width())
                                .arg(pm.height());
        QPixmap gray;
        if (!QPixmapCache::find(key, &gray)) {
            gray = QPixmap::fromImage(Utils::makeDisabledImage(pm.toImage()));
            QPixmapCache::insert(key, gray);
        }
        pm = gray;
    }
    const QIcon icon = pm.isNull() ? QIcon() : QIcon(pm);
    cache.insert(type, icon);
    return icon;
}

// ----------------------------------------------------------------- Delegate

// Paints an entry: the list's own painting (icon, name, selection), then in
// Detailed mode the second line with size and time or the number of entries,
// and the lock over the icon of an entry that cannot be read.
class FilesListDelegate : public QStyledItemDelegate
{
public:
    explicit FilesListDelegate(FilesList* list) : QStyledItemDelegate(list), list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        auto* item = static_cast<FilesListItem*>(list->itemFromIndex(index));
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const bool detailed = list->viewMode() == FilesList::Detailed;
        if (detailed)
            opt.displayAlignment = Qt::AlignLeft | Qt::AlignTop;
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        if (!item)
            return;
        painter->save();
        painter->setClipRect(option.rect);
        if (detailed) {
            const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
            const int margin =
                style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
            const QFontMetrics fm(opt.font);
            const int x = text.left() + margin;
            const int y = text.top() + fm.lineSpacing() + fm.ascent();
            painter->setFont(opt.font);
            if (!item->isDir) {
                painter->setPen(QColor(0x90, 0x90, 0x90));
                painter->drawText(x, y, item->sizeText());
                const QString date = item->dateText();
                const int end = x + fm.horizontalAdvance(QStringLiteral("888.M 88 WWW 88"));
                painter->drawText(end - fm.horizontalAdvance(date), y, date);
            } else {
                painter->setPen(QColor(0x90, 0x90, 0xe0));
                painter->drawText(
                    x, y, item->fileName == parentName ? item->filePath : item->itemsText());
            }
        }
        if (item->locked()) {
            const QRect icon =
                style->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, widget);
            painter->drawPixmap(icon.left() + opt.decorationSize.width() / 2,
                                icon.top() + opt.decorationSize.height() / 2,
                                Utils::icon(QStringLiteral("16x16_Lock")));
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        if (list->viewMode() == FilesList::Detailed)
            s.setHeight(qMax(s.height(), 2 * QFontMetrics(option.font).lineSpacing() + 4));
        return s;
    }

private:
    FilesList* list;
};

// ------------------------------------------------------------ FilesListItem

FilesListItem::FilesListItem(FilesList* list, const QString& name, const QString& path, int index,
                             bool isDir)
    : QTreeWidgetItem(list, QTreeWidgetItem::UserType), m_list(list)
{
    setup(name, path, index, isDir);
}

FilesListItem::FilesListItem(Unattached, FilesList* list, const QString& name, const QString& path,
                             int index, bool isDir)
    : QTreeWidgetItem(QTreeWidgetItem::UserType), m_list(list)
{
    setup(name, path, index, isDir);
}

FilesListItem::~FilesListItem() = default;

void FilesListItem::setup(const QString& name, const QString& path, int index, bool dir)
{
    isDir = dir;
    fileName = name;
    filePath = path;
    nativePath = QFile::encodeName(path);
    sort_key = index;
    FileTypeManager* types = FileTypeManager::self();
    m_fileType = dir ? types->fileType(QStringLiteral("folder")) : types->findType(name);
    setText(0, name);
    updateSortKey();
    setPixmap();
}

void FilesListItem::updateSortKey()
{
    const int rank = isDir ? 0 : (m_fileType ? m_fileType->listOrder() : 500);
    m_key = (qint64(rank) << 32) | quint32(sort_key);
}

bool FilesListItem::operator<(const QTreeWidgetItem& other) const
{
    if (other.type() != QTreeWidgetItem::UserType)
        return QTreeWidgetItem::operator<(other);
    return m_key < static_cast<const FilesListItem&>(other).m_key;
}

void FilesListItem::setGrayed(bool grayed)
{
    m_grayed = grayed;
    if (grayed)
        setForeground(0, QColor(0x80, 0x80, 0x80));
    setPixmap();
}

void FilesListItem::setPixmap()
{
    if (m_list)
        setIcon(0, m_list->d->icon(m_fileType, m_grayed));
}

QString FilesListItem::sizeText() const
{
    if (m_size < 0)
        return QString();
    if (m_sizeText.isNull())
        m_sizeText = Utils::humanReadableSize(quint64(m_size)).trimmed();
    return m_sizeText;
}

QString FilesListItem::dateText() const
{
    if (m_mtime < 0)
        return QString();
    if (m_dateText.isNull())
        m_dateText = Utils::humanReadableDateTime(QDateTime::fromMSecsSinceEpoch(m_mtime));
    return m_dateText;
}

void FilesListItem::refresh()
{
    struct stat st;
    m_known = statAt(AT_FDCWD, nativePath.constData(), &st);
    if (m_known) {
        isDir = S_ISDIR(st.st_mode);
        m_size = st.st_size;
        m_mtime = msecs(st);
    } else {
        m_size = -1;
        m_mtime = -1;
    }
    m_sizeText.clear();
    m_dateText.clear();
    FileTypeManager* types = FileTypeManager::self();
    m_fileType = isDir ? types->fileType(QStringLiteral("folder")) : types->findType(fileName);
    m_detailsPending = true;
    updateSortKey();
    setPixmap();
}

void FilesListItem::readDetails() const
{
    m_detailsPending = false;
    m_items.clear();
    // A file that is gone, or whose name does not survive the trip through
    // the text an editor opens it by, cannot be opened either.
    m_locked = !m_known || QFile::encodeName(filePath) != nativePath || !m_list ||
               !m_list->isReadable(filePath, isDir);
    if (!isDir)
        return;
    if (m_locked) {
        m_items = QStringLiteral("Locked");
    } else if (m_list->viewMode() == FilesList::Detailed) {
        const int n = countEntries(nativePath.constData());
        if (n >= 0)
            m_items = QString::number(n) + QStringLiteral(" Items");
    }
}

bool FilesListItem::locked() const
{
    if (m_detailsPending)
        readDetails();
    return m_locked;
}

void FilesListItem::setLocked(bool locked)
{
    if (m_detailsPending)
        readDetails();
    m_locked = locked;
}

QString FilesListItem::itemsText() const
{
    if (m_detailsPending)
        readDetails();
    return m_items;
}

// ---------------------------------------------------------------- FilesList

FilesList::FilesList(QWidget* parent, const char* name) : QTreeWidget(parent), d(new Private(this))
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    setColumnCount(1);
    setHeaderLabels({tr("Name")});
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setFocusPolicy(Qt::ClickFocus);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    // The one column always spans the visible width.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    header()->setStretchLastSection(true);
    header()->setSortIndicator(0, Qt::AscendingOrder);
    setSortingEnabled(true);
    setItemDelegate(new FilesListDelegate(this));
    setIconSize(QSize(18, 18));
    setContextMenuPolicy(Qt::CustomContextMenu);

    connect(this, &QTreeWidget::itemSelectionChanged, this, &FilesList::itemSelected);
    // Activation by double click and Return only: itemActivated also fires on
    // a single click under some styles.
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { itemClicked(item); });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        mouseRightClick(itemAt(pos), viewport()->mapToGlobal(pos), 0);
    });
}

FilesList::~FilesList()
{
    delete d;
}

QString FilesList::path() const
{
    return d->currentPath;
}

int FilesList::viewMode() const
{
    return d->viewMode;
}

int FilesList::sortMode() const
{
    return d->sortMode;
}

void FilesList::setViewMode(int mode)
{
    if (mode == d->viewMode)
        return;
    d->viewMode = mode;
    const QSize big(32, 32), small(18, 18);
    setIconSize(mode == Detailed ? big : small);
    reload();
}

void FilesList::setSortMode(int mode)
{
    if (mode == d->sortMode)
        return;
    d->sortMode = mode;
    if (mode == Name || mode == Date || mode == Size)
        d->fileOrder = mode;
    reload();
}

QString FilesList::currentItemName() const
{
    auto* item = static_cast<FilesListItem*>(currentItem());
    return item ? item->fileName : QString();
}

QList<FilesListItem*> FilesList::selectedItems() const
{
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QList<FilesListItem*> items;
    items.reserve(rows.size());
    for (const QModelIndex& i : std::as_const(rows)) {
        auto* item = static_cast<FilesListItem*>(itemFromIndex(i));
        if (item && item->fileName != parentName)
            items.append(item);
    }
    return items;
}

QStringList FilesList::selectedNames() const
{
    QStringList names;
    for (FilesListItem* item : selectedItems())
        names.append(item->fileName);
    return names;
}

QStringList FilesList::selectedFileNames() const
{
    QStringList paths;
    for (FilesListItem* item : selectedItems())
        paths.append(item->filePath);
    return paths;
}

QStringList FilesList::filePaths() const
{
    QStringList paths;
    const int n = topLevelItemCount();
    paths.reserve(n);
    for (int i = 0; i < n; ++i)
        paths.append(static_cast<FilesListItem*>(topLevelItem(i))->filePath);
    return paths;
}

QStringList FilesList::excludeFilePaths() const
{
    return d->excludeFilePaths;
}

void FilesList::setExcludeFilePaths(const QStringList& paths)
{
    d->excludeFilePaths = paths;
}

ActionGroup* FilesList::actionGroup(const QString& kind)
{
    return d->actionGroupMap.value(kind);
}

void FilesList::setActionGroup(const QString& kind, ActionGroup* group)
{
    d->actionGroupMap.insert(kind, group);
}

void FilesList::adjustContentSize()
{
    executeDelayedItemsLayout();
    viewport()->update();
}

void FilesList::setEntriesFixed(bool fixed)
{
    d->entriesFixed = fixed;
}

void FilesList::setReadableCheck(const ReadableCheck& check)
{
    d->readable = check;
}

bool FilesList::isReadable(const QString& path, bool isDir) const
{
    if (d->readable)
        return d->readable(path, isDir);
    return access(QFile::encodeName(path).constData(), isDir ? R_OK | X_OK : R_OK) == 0;
}

bool FilesList::setPath(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;

    const bool detailed = d->viewMode == Detailed;
    QList<Entry> dirs, files;
    readFolder(path, detailed || d->fileOrder != Name, dirs, files);

    // Folders in case-sensitive name order; files by the sort mode, newest
    // or largest first, ties by name. Keys were read once per entry.
    auto byName = [](const Entry& a, const Entry& b) { return a.name < b.name; };
    std::sort(dirs.begin(), dirs.end(), byName);
    if (d->fileOrder == Date)
        std::sort(files.begin(), files.end(), [](const Entry& a, const Entry& b) {
            return a.mtime != b.mtime ? a.mtime > b.mtime : a.name < b.name;
        });
    else if (d->fileOrder == Size)
        std::sort(files.begin(), files.end(), [](const Entry& a, const Entry& b) {
            return a.size != b.size ? a.size > b.size : a.name < b.name;
        });
    else
        std::sort(files.begin(), files.end(), byName);

    const QString base = QDir::cleanPath(QDir(path).absolutePath());
    const QString prefix = base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');
    const QByteArray nativePrefix = QFile::encodeName(prefix);
    const int cut = base.lastIndexOf(QLatin1Char('/'));
    const QString parent = cut <= 0 ? QStringLiteral("/") : base.left(cut);
    const QSet<QString> excluded(d->excludeFilePaths.cbegin(), d->excludeFilePaths.cend());
    d->icons.clear();
    d->grayIcons.clear();

    QList<QTreeWidgetItem*> items;
    items.reserve(dirs.size() + files.size());
    bool up = false;
    int index = 0;
    auto add = [&](const Entry& e) {
        const bool isParent = e.dir && e.name == parentName;
        auto* item = new FilesListItem(FilesListItem::Unattached(), this, e.name,
                                       isParent ? parent : prefix + e.name, index++, e.dir);
        if (!isParent)
            item->nativePath = nativePrefix + e.raw;
        if (detailed) {
            // The lock and a folder's count are read when first asked for,
            // which is when the entry is first painted: a big folder costs
            // only what is seen of it.
            item->m_size = e.size;
            item->m_mtime = e.mtime;
            item->m_known = e.dir || e.mtime >= 0;
            item->m_detailsPending = e.name != parentName || !e.dir;
        }
        if (excluded.contains(item->filePath))
            item->setGrayed(true);
        items.append(item);
    };
    for (const Entry& e : std::as_const(dirs)) {
        if (e.name == parentName) {
            if (path == QLatin1String("/"))
                continue;
            up = true;
        }
        add(e);
    }
    index = 0;
    for (const Entry& e : std::as_const(files))
        add(e);

    // Filled unsorted in one go, then sorted once.
    setSortingEnabled(false);
    clear();
    addTopLevelItems(items);
    setSortingEnabled(true);
    adjustContentSize();

    d->currentPath = path;
    status(path);
    Q_EMIT filesListLoaded();
    Q_EMIT upAvailable(up);
    Q_EMIT backAvailable(d->navigator.isBackEnabled());
    Q_EMIT forwardAvailable(d->navigator.isForwardEnabled());
    return true;
}

void FilesList::go(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir()) {
        status(path + tr("   does not exist."));
        return;
    }
    const FilesListNavigatorData entry = d->navigator.go(FilesListNavigatorData(path));
    setPath(entry.path);
    setCurrentFirst();
}

void FilesList::back()
{
    if (d->navigator.isBackEnabled())
        d->show(d->navigator.back(), false);
}

void FilesList::forward()
{
    if (d->navigator.isForwardEnabled())
        d->show(d->navigator.forward(), true);
}

void FilesList::Private::show(const FilesListNavigatorData& entry, bool forward)
{
    if (!self->setPath(entry.path)) {
        // Gone meanwhile: the history stays where it was.
        if (forward)
            navigator.back();
        else
            navigator.forward();
        status(entry.path + tr("   does not exist."));
        return;
    }
    self->setCurrentItem(entry.itemSelected);
    self->verticalScrollBar()->setValue(entry.scrollPos);
}

void FilesList::reload()
{
    if (d->currentPath.isEmpty())
        return;
    const QString name = currentItemName();
    const int scroll = verticalScrollBar()->value();
    if (!setPath(d->currentPath)) {
        status(d->currentPath + tr("   does not exist."));
        return;
    }
    verticalScrollBar()->setValue(scroll);
    setCurrentItem(name);
}

void FilesList::itemClicked(QTreeWidgetItem* treeItem)
{
    auto* item = static_cast<FilesListItem*>(treeItem ? treeItem : currentItem());
    if (!item)
        return;
    if (item->locked()) {
        status(item->filePath + tr("   is locked. It can't be opened."));
        return;
    }
    if (!item->isDir) {
        FileTypeManager::openFile(item->filePath);
        return;
    }
    // The buffer's folders are entries to paste, not places to go.
    if (d->entriesFixed)
        return;
    const QString target = item->filePath;
    const QString name = item->fileName;
    const QString oldPath = d->currentPath;
    if (!QFileInfo(target).isDir()) {
        status(target + tr("   does not exist."));
        return;
    }
    FilesListNavigatorData& here = d->navigator.url();
    here.itemSelected = name;
    here.scrollPos = verticalScrollBar()->value();
    setPath(d->navigator.go(FilesListNavigatorData(target)).path);
    if (name == parentName)
        setCurrentItem(QFileInfo(QDir::cleanPath(oldPath)).fileName());
    else
        setCurrentFirst();
}

void FilesList::itemSelected()
{
    QString text;
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.size() >= 2) {
        quint64 total = 0;
        for (const QModelIndex& i : rows) {
            auto* item = static_cast<FilesListItem*>(itemFromIndex(i));
            struct stat st;
            if (item && !item->isDir && ::stat(item->nativePath.constData(), &st) == 0)
                total += quint64(st.st_size);
        }
        text = tr("Selected %1 Items").arg(rows.size());
        if (total)
            text += tr(",   Size: ") + Utils::humanReadableSize(total);
    } else {
        auto* item = static_cast<FilesListItem*>(currentItem());
        if (!item)
            return;
        if (item->fileName != parentName)
            item->refresh();
        text = item->filePath;
        if (!item->isDir)
            text += tr("   Size: ") +
                    Utils::humanReadableSize(quint64(qMax<qint64>(0, item->byteSize()))) +
                    tr(", Modified: ") + item->dateText();
    }
    status(text);
}

void FilesList::setCurrent(QTreeWidgetItem* item)
{
    if (!item)
        return;
    selectionModel()->setCurrentIndex(indexFromItem(item), QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
    scrollToItem(item);
    itemSelected();
}

void FilesList::setCurrentItem(const QString& name)
{
    if (name.isEmpty()) {
        setCurrentFirst();
        return;
    }
    const int n = topLevelItemCount();
    for (int i = 0; i < n; ++i) {
        auto* item = static_cast<FilesListItem*>(topLevelItem(i));
        if (item->fileName == name) {
            setCurrent(item);
            return;
        }
    }
}

void FilesList::setCurrentFirst()
{
    if (topLevelItemCount())
        setCurrent(topLevelItem(0));
}

void FilesList::setCurrentLast()
{
    if (const int n = topLevelItemCount())
        setCurrent(topLevelItem(n - 1));
}

void FilesList::mouseRightClick(QTreeWidgetItem* treeItem, const QPoint& pos, int)
{
    auto* item = static_cast<FilesListItem*>(treeItem);
    QString kind;
    if (!item)
        kind = QStringLiteral("none");
    else if (item->isDir)
        kind = QStringLiteral("folder");
    else
        kind = FileTypeManager::self()->findType(item->fileName)->name();
    if (selectedItems().size() > 1)
        kind = QStringLiteral("selection");

    QMenu* menu = d->popupMenuMap.value(kind);
    if (!menu) {
        ActionGroup* group = actionGroup(kind);
        if (!group)
            group = actionGroup(QStringLiteral("file"));
        if (!group)
            return;
        // Built once per kind: a file type without its own group gets its
        // own popup of the "file" group.
        menu = new QMenu(this);
        menu->setObjectName(kind);
        group->addTo(menu);
        d->popupMenuMap.insert(kind, menu);
    }
    menu->popup(pos);
}

void FilesList::setFocus()
{
    const bool had = hasFocus();
    QWidget::setFocus();
    // Only a focus that moves here sends a focus-in event: a list that had
    // it, or one in a window not active yet, says so itself.
    if (had || !hasFocus())
        announceFocus();
}

void FilesList::announceFocus()
{
    status(d->currentPath);
    Q_EMIT gotFocus();
}

void FilesList::focusInEvent(QFocusEvent* e)
{
    QTreeWidget::focusInEvent(e);
    // Whatever gave the focus (a click, Tab, the panel's setFocus(), which
    // is not this one: QWidget::setFocus() is not virtual), except a popup
    // closing, after which the list only has its focus back.
    if (e->reason() != Qt::PopupFocusReason)
        announceFocus();
}

void FilesList::keyPressEvent(QKeyEvent* e)
{
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
        !(e->modifiers() & ~Qt::KeypadModifier)) {
        itemClicked(nullptr);
        e->accept();
        return;
    }
    QTreeWidget::keyPressEvent(e);
}

} // namespace vexa

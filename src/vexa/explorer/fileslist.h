#ifndef VEXA_EXPLORER_FILESLIST_H
#define VEXA_EXPLORER_FILESLIST_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <functional>

class QMenu;

namespace vexa
{

class ActionGroup;
class FileType;
class FilesList;

// One place of the files list's history: a folder, the entry that was
// activated when the folder was left and the scroll value of that moment.
class FilesListNavigatorData
{
public:
    FilesListNavigatorData() = default;
    explicit FilesListNavigatorData(const QString& path) : path(path) {}

    QString path;
    QString itemSelected;
    int scrollPos = 0;
};

// One entry of a files list. An entry made from a name and a path knows no
// size, date or lock until refresh() reads them; an entry of a Detailed
// listing has them from the start.
class FilesListItem : public QTreeWidgetItem
{
public:
    // An entry added to `list` from a name and a path, without any file
    // information (the explorer's buffer list is filled this way).
    FilesListItem(FilesList* list, const QString& name, const QString& path, int index, bool isDir);
    ~FilesListItem() override;

    // Whether the entry cannot be read; activation refuses it.
    bool locked() const;
    void setLocked(bool locked);
    bool grayed() const { return m_grayed; }
    // Grey text and icon; the next listing makes fresh, ungreyed entries.
    void setGrayed(bool grayed);
    // The icon for the list's view mode and the greyed state.
    void setPixmap();

    FilesList* filesList() const { return m_list; }
    FileType* fileType() const { return m_fileType; }
    // Reads the entry's file information again: type, size, time, and when
    // next asked for, the lock and, for a folder in a Detailed list, its
    // number of entries.
    void refresh();

    // The size (stripped) and modification time as shown on the second line
    // of a Detailed entry; empty when not known.
    QString sizeText() const;
    QString dateText() const;
    // Folders: the number of entries followed by " Items", "Locked" or empty.
    QString itemsText() const;
    // The size in bytes; -1 while unknown.
    qint64 byteSize() const { return m_size; }

    // Folders first in their listing order, then files by the list order of
    // their types and, within one, in their listing order.
    bool operator<(const QTreeWidgetItem& other) const override;

    bool isDir = false;
    QString fileName;
    // Absolute and clean; for ".." the parent folder.
    QString filePath;
    // filePath as the bytes the folder listing gave, which every file
    // operation uses: a name that is not valid in the locale's encoding is
    // shown with replacement characters, and filePath then names no file.
    QByteArray nativePath;
    int sort_key = 0;

private:
    friend class FilesList;
    struct Unattached {
    };
    FilesListItem(Unattached, FilesList* list, const QString& name, const QString& path, int index,
                  bool isDir);
    void setup(const QString& name, const QString& path, int index, bool dir);
    void updateSortKey();
    // The lock and, for a folder in a Detailed list, its number of entries.
    void readDetails() const;

    FilesList* m_list;
    FileType* m_fileType = nullptr;
    qint64 m_key = 0;
    qint64 m_size = -1;
    qint64 m_mtime = -1; // ms since the epoch; -1 while unknown
    bool m_known = true; // the file information could be read
    mutable bool m_detailsPending = false;
    mutable bool m_locked = false;
    mutable QString m_items;
    bool m_grayed = false;
    mutable QString m_sizeText;
    mutable QString m_dateText;
};

// One local folder listed as names (Simple) or as two-line entries with
// size and time or number of entries (Detailed), folders first, with its own
// back/forward history. Files open through their file type on double click
// or Return, folders are entered; the selection or the current entry is
// summarised in the status bar; a right click opens the popup of the clicked
// entry's kind; entries whose paths are on the exclusion list are greyed.
class FilesList : public QTreeWidget
{
    Q_OBJECT
public:
    enum ViewMode { Simple = 0, Detailed = 1 };
    enum SortMode { Name = 0, Date = 1, Size = 2 };

    explicit FilesList(QWidget* parent = nullptr, const char* name = nullptr);
    ~FilesList() override;

    QString path() const;
    int viewMode() const;
    int sortMode() const;

    // The name of the current entry; a null string when there is none.
    QString currentItemName() const;
    // The selected entries in list order, ".." left out.
    QStringList selectedNames() const;
    QStringList selectedFileNames() const;
    QList<FilesListItem*> selectedItems() const;
    // Every entry's path in list order, ".." included.
    QStringList filePaths() const;
    QStringList excludeFilePaths() const;

    // The popup group registered for a kind ("folder", "file", "selection",
    // "none" or a file type's name), or null.
    virtual ActionGroup* actionGroup(const QString& kind);
    // A popup already built for the kind is kept as it is.
    void setActionGroup(const QString& kind, ActionGroup* group);

    void adjustContentSize();

    // A list of given entries (the explorer's buffer) rather than of a
    // folder: activating a folder in it never lists that folder.
    void setEntriesFixed(bool fixed);

    // Whether a file (or, with `isDir`, a folder) can be read; an entry that
    // cannot is locked. Replaceable so that a refusal can be staged where
    // permissions give none (as root); null restores the file system's answer.
    using ReadableCheck = std::function<bool(const QString& path, bool isDir)>;
    void setReadableCheck(const ReadableCheck& check);
    bool isReadable(const QString& path, bool isDir) const;

    using QTreeWidget::setCurrentItem;

public Q_SLOTS:
    void setViewMode(int mode);
    void setSortMode(int mode);
    // Takes effect at the next listing.
    void setExcludeFilePaths(const QStringList& paths);

    // A folder that does not exist changes nothing but the status bar.
    void go(const QString& path);
    // Nothing when the history has no entry in that direction.
    void back();
    void forward();
    // Lists the folder again, keeping the current entry and the scroll value.
    void reload();
    // Opens a file, enters a folder; null means the current entry.
    void itemClicked(QTreeWidgetItem* item);
    void itemSelected();
    void setCurrent(QTreeWidgetItem* item);
    void setCurrentItem(const QString& name);
    void setCurrentFirst();
    void setCurrentLast();
    void mouseRightClick(QTreeWidgetItem* item, const QPoint& pos, int column);
    // Takes the keyboard focus; like every focus-in, writes the folder into
    // the status bar and says so through gotFocus().
    void setFocus();

Q_SIGNALS:
    void gotFocus();
    // In this order after every listing.
    void filesListLoaded();
    void upAvailable(bool available);
    void backAvailable(bool available);
    void forwardAvailable(bool available);

protected:
    // Lists one folder; false (and nothing changed) when it does not exist.
    bool setPath(const QString& path);
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;

private:
    void announceFocus();
    friend class FilesListItem;
    friend class FilesListDelegate;
    class Private;
    Private* d;
};

} // namespace vexa

#endif

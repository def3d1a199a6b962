#ifndef VEXA_PROJECT_RECENTPROJECTS_H
#define VEXA_PROJECT_RECENTPROJECTS_H

#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace vexa
{

class RecentProjects;

// One recent project: its name on the first line and, below it in grey, the
// file name and the file's last change ("Not found" for a missing file), as
// read when the list was last rebuilt.
class RecentProjectItem : public QTreeWidgetItem
{
public:
    RecentProjectItem(RecentProjects* view, const QString& filePath, const QString& name);

    QString name;
    QString date;
    QString dirPath;
    QString filePath;
    QString fileName;
    bool exists = false;
};

// Paints an entry in three lines.
class RecentProjectDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit RecentProjectDelegate(RecentProjects* view);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    RecentProjects* view;
};

// The page of the project panel while no project is open: the recent
// projects in the order of their names. A double click or Return loads the
// entry's project; a single click only selects. The entry last selected is
// selected again after a rebuild and at the next start.
class RecentProjects : public QTreeWidget
{
    Q_OBJECT
public:
    explicit RecentProjects(QWidget* parent = nullptr, const char* name = nullptr);
    ~RecentProjects() override;

    RecentProjectItem* item(const QModelIndex& index) const;
    // The column fills the view; there is no horizontal scrolling.
    void adjustContentSize();

public Q_SLOTS:
    // Rebuilds the entries from the recent projects, reading each file's
    // existence and date once here, and keeps the current entry selected.
    void updateRecent();
    void itemSelected();
    void itemClicked(QTreeWidgetItem* item);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    class Private;
    Private* d;
};

} // namespace vexa

#endif

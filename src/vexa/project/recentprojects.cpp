#include "vexa/project/recentprojects.h"

#include "vexa/project/project.h"
#include "vexa/recentfiles.h"
#include "vexa/settings.h"
#include "vexa/utils.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>

namespace vexa
{

namespace
{
const QColor kDetailColor(0x90, 0x90, 0x90);
const QString kSelectedKey = QStringLiteral("/recentprojects/selected");
} // namespace

class RecentProjects::Private
{
public:
    QString selectedProject;
};

// ------------------------------------------------------------ RecentProjectItem

RecentProjectItem::RecentProjectItem(RecentProjects* view, const QString& filePath,
                                     const QString& name)
    : QTreeWidgetItem(view), name(name), filePath(filePath)
{
    const QFileInfo info(filePath);
    dirPath = info.path();
    fileName = info.fileName();
    exists = info.exists();
    if (exists)
        date = Utils::humanReadableDateTime(info.lastModified());
    setText(0, name);
    setToolTip(0, QStringLiteral("Name: ") + name + QStringLiteral("\nFilename: ") + fileName +
                      QStringLiteral("\nDirectory: ") + dirPath);
}

// ------------------------------------------------------------ RecentProjectDelegate

RecentProjectDelegate::RecentProjectDelegate(RecentProjects* view)
    : QStyledItemDelegate(view), view(view)
{
}

void RecentProjectDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const
{
    RecentProjectItem* item = view->item(index);
    // The entry as a normal item, the name on its first line.
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    opt.displayAlignment = Qt::AlignLeft | Qt::AlignTop;
    const QWidget* w = option.widget;
    QStyle* style = w ? w->style() : view->style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);
    const int h = option.fontMetrics.height();
    if (!item)
        return;
    painter->save();
    painter->setPen(kDetailColor);
    const int x = option.rect.left() + view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 2;
    const int base = option.rect.top() + option.fontMetrics.ascent();
    painter->drawText(x, base + h, QStringLiteral("    File: ") + item->fileName);
    painter->drawText(x, base + 2 * h,
                      item->exists ? QStringLiteral("    Opened: ") + item->date
                                   : QStringLiteral("    Not found"));
    painter->restore();
}

QSize RecentProjectDelegate::sizeHint(const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const
{
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    s.setHeight(3 * option.fontMetrics.height() + 4);
    return s;
}

// ------------------------------------------------------------ RecentProjects

RecentProjects::RecentProjects(QWidget* parent, const char* name)
    : QTreeWidget(parent), d(new Private)
{
    if (name)
        setObjectName(QLatin1String(name));
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setFocusPolicy(Qt::ClickFocus);
    setColumnCount(1);
    setHeaderLabels({QStringLiteral("Name")});
    header()->setStretchLastSection(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    setItemDelegate(new RecentProjectDelegate(this));
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &RecentProjects::itemSelected);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { itemClicked(item); });
}

RecentProjects::~RecentProjects()
{
    if (!d->selectedProject.isEmpty())
        Settings::write(kSelectedKey, d->selectedProject);
    delete d;
}

RecentProjectItem* RecentProjects::item(const QModelIndex& index) const
{
    return static_cast<RecentProjectItem*>(itemFromIndex(index));
}

void RecentProjects::adjustContentSize()
{
    // The one column stretches with the view (see the constructor).
    doItemsLayout();
}

void RecentProjects::updateRecent()
{
    QString chosen;
    if (auto* cur = static_cast<RecentProjectItem*>(currentItem()))
        chosen = cur->filePath;
    else
        chosen = Settings::read(kSelectedKey);
    const QStringList paths = RecentFiles::self()->recentProjects();
    const QStringList names = RecentFiles::self()->recentProjectsNames();
    if (!paths.isEmpty() && chosen.isEmpty())
        chosen = paths.constFirst();

    const QSignalBlocker blocker(this);
    clear();
    RecentProjectItem* selected = nullptr;
    for (int i = 0; i < paths.size(); ++i) {
        auto* item = new RecentProjectItem(this, paths.at(i), names.value(i));
        if (paths.at(i) == chosen)
            selected = item;
    }
    if (selected) {
        setCurrentItem(selected);
        selected->setSelected(true);
        d->selectedProject = selected->filePath;
    }
    adjustContentSize();
}

void RecentProjects::itemSelected()
{
    if (auto* cur = static_cast<RecentProjectItem*>(currentItem()))
        d->selectedProject = cur->filePath;
}

void RecentProjects::itemClicked(QTreeWidgetItem* item)
{
    if (auto* entry = static_cast<RecentProjectItem*>(item))
        Project::self()->load(entry->filePath);
}

void RecentProjects::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        itemClicked(currentItem());
        e->accept();
        return;
    }
    QTreeWidget::keyPressEvent(e);
}

} // namespace vexa

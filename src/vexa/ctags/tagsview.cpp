#include "tagsview.h"

#include "actions.h"
#include "ctags/node.h"
#include "ctags/parser.h"
#include "filetype.h"

#include <QHeaderView>
#include <QMenu>
#include <QMultiHash>

namespace vexa
{

class TagsView::Private
{
public:
    int sortingMode = 0;
    QMap<QString, QMenu*> popupMenuMap;
    QMap<QString, ActionGroup*> actionGroupMap;
};

TagsViewItem::TagsViewItem(QTreeWidget* view, const QString& name) : QTreeWidgetItem(view, Type)
{
    setText(0, name);
}

TagsViewItem::TagsViewItem(TagsViewItem* parent, const QString& name)
    : QTreeWidgetItem(parent, Type)
{
    setText(0, name);
}

TagsViewItem::~TagsViewItem() = default;

bool TagsViewItem::operator<(const QTreeWidgetItem& other) const
{
    const auto* view = qobject_cast<const TagsView*>(treeWidget());
    if (other.type() != Type || !view)
        return QTreeWidgetItem::operator<(other);
    const auto& o = static_cast<const TagsViewItem&>(other);
    auto label = [](const TagsViewItem& i) {
        QString s = i.text(0);
        return s.replace(QLatin1Char('_'), QLatin1Char('1'));
    };
    switch (view->sortingMode()) {
    case 0:
        return pos1 < o.pos1;
    case 1:
        return label(*this) < label(o);
    case 2: {
        // Classes by name first, then the rest by position: a key of
        // "zzzzzz" and the position for the rest, compared as text with the
        // class names, and as numbers among themselves.
        const bool mine = typeName == QLatin1String("Class");
        const bool theirs = o.typeName == QLatin1String("Class");
        if (!mine && !theirs)
            return pos1 < o.pos1;
        auto key = [&](const TagsViewItem& i, bool isClass) {
            return isClass ? label(i) : QStringLiteral("zzzzzz%1").arg(i.pos1, 6, 10, QLatin1Char('0'));
        };
        return key(*this, mine) < key(o, theirs);
    }
    default:
        return false;
    }
}

TagsView::TagsView(QWidget* parent, const char* name) : QTreeWidget(parent), d(new Private)
{
    if (name)
        setObjectName(QLatin1String(name));
    setColumnCount(1);
    setHeaderLabels({tr("Name")});
    setHeaderHidden(true);
    setRootIsDecorated(true);
    header()->setStretchLastSection(true);
    setSortingEnabled(true);
    sortItems(0, Qt::AscendingOrder);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { mouseClick(item); });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        mouseRightClick(itemAt(pos), viewport()->mapToGlobal(pos));
    });
}

TagsView::~TagsView()
{
    delete d;
}

int TagsView::sortingMode() const
{
    return d->sortingMode;
}

void TagsView::setSortingMode(int mode)
{
    d->sortingMode = mode;
}

void TagsView::installHelper(const QString& typeName, ActionGroup* group)
{
    d->actionGroupMap.insert(typeName, group);
}

QMenu* TagsView::contextMenu(const QString& typeName) const
{
    return d->popupMenuMap.value(typeName);
}

void TagsView::openCurrent()
{
    mouseClick(currentItem());
}

void TagsView::updateSubTree(TagsViewItem* parent, const QList<Node*>& nodes,
                             const QStringList& fileNames)
{
    FileType* fileType = FileTypeManager::self()->fileType(QStringLiteral("file"));
    Parser* parser = fileType ? fileType->parser() : nullptr;

    // The level's items as it was when this merge began, by label, in order.
    QList<TagsViewItem*> candidates;
    const int count = parent ? parent->childCount() : topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem* it = parent ? parent->child(i) : topLevelItem(i);
        if (it->type() == TagsViewItem::Type)
            candidates.append(static_cast<TagsViewItem*>(it));
    }
    QHash<QString, QList<TagsViewItem*>> byLabel;
    for (TagsViewItem* it : std::as_const(candidates))
        byLabel[it->text(0)].append(it);
    QHash<QString, int> used; // per label, how many items are paired so far
    QSet<TagsViewItem*> paired;

    const bool useNames = fileNames.size() == nodes.size();
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        const QString fileName = useNames ? fileNames.at(i) : QString();
        for (Node* n = nodes.at(i); n; n = n->next) {
            int& k = used[n->name];
            const QList<TagsViewItem*> same = byLabel.value(n->name);
            TagsViewItem* item = nullptr;
            const bool made = k >= same.size();
            if (!made)
                item = same.at(k);
            else
                item = parent ? new TagsViewItem(parent, n->name) : new TagsViewItem(this, n->name);
            ++k;
            paired.insert(item);
            item->pos1 = n->start;
            item->fileName = fileName;
            if (parser) {
                const QPixmap* icon = parser->typeIcon(n);
                item->setIcon(0, icon && !icon->isNull() ? QIcon(*icon) : QIcon());
                item->typeName = parser->typeName(n);
            }
            if (n->child)
                updateSubTree(item, {n->child}, {fileName});
            else
                qDeleteAll(item->takeChildren());
            if (made)
                item->setExpanded(nodes.size() == 1);
        }
    }
    for (TagsViewItem* it : std::as_const(candidates)) {
        if (!paired.contains(it))
            delete it;
    }
    // Positions changed in place: the order follows them (new items were
    // placed as they came).
    if (!parent)
        sortItems(0, Qt::AscendingOrder);
}

void TagsView::adjustContentSize()
{
    // The one column spans the visible width (stretched by the header);
    // the items are laid out again for the new content.
    updateGeometries();
    viewport()->update();
}

void TagsView::mouseClick(QTreeWidgetItem* item)
{
    if (!item)
        return;
    item->setSelected(true);
    if (item->type() == TagsViewItem::Type) {
        auto* tag = static_cast<TagsViewItem*>(item);
        Q_EMIT gotoTextPos(tag->pos1, tag->fileName);
    }
}

void TagsView::mouseRightClick(QTreeWidgetItem* item, const QPoint& globalPos)
{
    if (!item)
        item = currentItem();
    if (!item)
        return;
    item->setSelected(true);
    if (item->type() != TagsViewItem::Type)
        return;
    const QString typeName = static_cast<TagsViewItem*>(item)->typeName;
    QMenu* menu = d->popupMenuMap.value(typeName);
    if (!menu) {
        ActionGroup* group = d->actionGroupMap.value(typeName);
        if (!group)
            return;
        menu = new QMenu(this);
        menu->setObjectName(typeName);
        group->addTo(menu);
        d->popupMenuMap.insert(typeName, menu);
    }
    menu->popup(globalPos);
}

} // namespace vexa

#include "vexa/ctags/tagsview.h"

#include "vexa/actions.h"
#include "vexa/ctags/node.h"
#include "vexa/ctags/parser.h"
#include "vexa/filetype.h"

#include <QHeaderView>
#include <QMenu>
#include <QMultiHash>
#include <vector>

namespace vexa
{

namespace
{

// Deletes an item with its subtree, closing the open ones first: the view
// keeps each open row as a persistent index, and every row removal looks at
// each of those (up its whole ancestry), so a deep open subtree would cost
// the square of its depth.
void closeSubtree(QTreeWidgetItem* item)
{
    QList<QTreeWidgetItem*> todo = {item};
    while (!todo.isEmpty()) {
        QTreeWidgetItem* it = todo.takeLast();
        if (it->isExpanded())
            it->setExpanded(false);
        for (int i = 0; i < it->childCount(); ++i)
            todo.append(it->child(i));
    }
}

// Orders labels as text in which "_" reads as "1", without making the texts.
bool labelLess(QStringView a, QStringView b)
{
    auto unit = [](QChar c) { return c == QLatin1Char('_') ? u'1' : c.unicode(); };
    const qsizetype n = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = unit(a[i]), y = unit(b[i]);
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

void deleteItem(QTreeWidgetItem* item)
{
    closeSubtree(item);
    delete item;
}

} // namespace

class TagsView::Private
{
public:
    int sortingMode = 0;
    QMap<QString, QMenu*> popupMenuMap;
    QMap<QString, ActionGroup*> actionGroupMap;
    // Nesting of updateSubTree(), and the items it made that open at its end.
    int merging = 0;
    QList<TagsViewItem*> opening;
    bool moved = false;
    // Sorting is off while a merge adds rows (a sorting view takes them one
    // at a time) and comes back on, sorting once, at the merge's end.
    bool sortingHeld = false;
    // One icon per type picture, shared by every item of the type.
    QHash<qint64, QIcon> icons;

    void holdSorting(TagsView* view)
    {
        if (!sortingHeld && view->isSortingEnabled()) {
            view->setSortingEnabled(false);
            sortingHeld = true;
        }
    }
    QIcon icon(const QPixmap* pixmap)
    {
        if (!pixmap || pixmap->isNull())
            return QIcon();
        auto it = icons.find(pixmap->cacheKey());
        if (it == icons.end())
            it = icons.insert(pixmap->cacheKey(), QIcon(*pixmap));
        return *it;
    }
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

TagsViewItem::TagsViewItem(const QString& name) : QTreeWidgetItem(Type)
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
    switch (view->sortingMode()) {
    case 0:
        return pos1 < o.pos1;
    case 1:
        return labelLess(text(0), o.text(0));
    case 2: {
        // Classes by name first, then the rest by position: a key of
        // "zzzzzz" and the position for the rest, compared as text with the
        // class names, and as numbers among themselves.
        const bool mine = typeName == QLatin1String("Class");
        const bool theirs = o.typeName == QLatin1String("Class");
        if (!mine && !theirs)
            return pos1 < o.pos1;
        auto key = [](const TagsViewItem& i, bool isClass) {
            return isClass ? i.text(0)
                           : QStringLiteral("zzzzzz%1").arg(i.pos1, 6, 10, QLatin1Char('0'));
        };
        return labelLess(key(*this, mine), key(o, theirs));
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
    connect(this, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { mouseClick(item); });
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
    const bool outermost = d->merging++ == 0;
    // One layout of the rows after the merge, not one per item made.
    if (outermost)
        scheduleDelayedItemsLayout();

    // The level's items as it was when this merge began; items of one label
    // are chained in order (next[i]), the chains reached by label.
    const int count = parent ? parent->childCount() : topLevelItemCount();
    std::vector<TagsViewItem*> items;
    items.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem* it = parent ? parent->child(i) : topLevelItem(i);
        if (it->type() == TagsViewItem::Type)
            items.push_back(static_cast<TagsViewItem*>(it));
    }
    std::vector<int> next(items.size(), -1);
    QHash<QString, int> chain; // label -> first unpaired item of that label
    chain.reserve(qsizetype(items.size()));
    for (int i = int(items.size()) - 1; i >= 0; --i) {
        int& first = chain[items[size_t(i)]->text(0)];
        next[size_t(i)] = first - 1; // -1 when there is no later one
        first = i + 1;               // stored one up: 0 is "none" for a fresh entry
    }
    // Per name the i-th node pairs with the i-th item of that label. The
    // pairs are found first and the items left over go before anything is
    // made, so that no row is added beside rows about to go.
    std::vector<TagsViewItem*> pairs;
    std::vector<bool> paired(items.size(), false);
    for (Node* first : nodes) {
        for (Node* n = first; n; n = n->next) {
            TagsViewItem* item = nullptr;
            auto it = chain.find(n->name);
            if (it != chain.end() && it.value() != 0) {
                const int i = it.value() - 1;
                item = items[size_t(i)];
                paired[size_t(i)] = true;
                it.value() = next[size_t(i)] + 1;
            }
            pairs.push_back(item);
        }
    }
    QList<QTreeWidgetItem*> doomed;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!paired[i])
            doomed.append(items[i]);
    }
    if (doomed.size() > 1 && doomed.size() == count) {
        // The whole level goes (another file's tree): out in one removal.
        QTreeWidgetItem* level = parent ? parent : invisibleRootItem();
        for (QTreeWidgetItem* it : std::as_const(doomed))
            closeSubtree(it);
        qDeleteAll(level->takeChildren());
    } else {
        for (QTreeWidgetItem* it : std::as_const(doomed))
            deleteItem(it);
    }

    // New items are made apart from the view, their subtrees filled there,
    // and the level's new items go in at once.
    QList<QTreeWidgetItem*> madeItems;
    const bool useNames = fileNames.size() == nodes.size();
    size_t p = 0;
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        const QString fileName = useNames ? fileNames.at(i) : QString();
        for (Node* n = nodes.at(i); n; n = n->next) {
            TagsViewItem* item = pairs[p++];
            const bool made = !item;
            if (made) {
                item = new TagsViewItem(n->name);
                madeItems.append(item);
                // Opened when it has rows to show: an open row costs every
                // later row change of the view a little, and a childless
                // one shows nothing of it.
                item->opensWithChildren = nodes.size() == 1;
            }
            if (item->pos1 != n->start) {
                item->pos1 = n->start;
                d->moved = true;
            }
            item->fileName = fileName;
            // The icon follows the kind; set only when the kind changed,
            // since every icon set repaints the row.
            const QString typeName = parser ? parser->typeName(n) : QString();
            if (parser && (made || typeName != item->typeName)) {
                item->setIcon(0, d->icon(parser->typeIcon(n)));
                item->typeName = typeName;
            }
            if (n->child) {
                updateSubTree(item, {n->child}, {fileName});
                if (std::exchange(item->opensWithChildren, false))
                    d->opening.append(item);
            } else if (item->childCount()) {
                for (QTreeWidgetItem* child : item->takeChildren())
                    deleteItem(child);
            }
        }
    }
    if (!madeItems.isEmpty()) {
        QTreeWidgetItem* level = parent ? parent : invisibleRootItem();
        if (level->treeWidget())
            d->holdSorting(this);
        level->addChildren(madeItems);
    }
    if (--d->merging == 0) {
        // Positions changed in place or rows were added: the order follows.
        if (std::exchange(d->sortingHeld, false))
            setSortingEnabled(true);
        else if (d->moved)
            sortItems(0, Qt::AscendingOrder);
        d->moved = false;
        // Opened once the whole tree is in and sorted: each open row costs
        // every later row change a little.
        for (TagsViewItem* it : std::exchange(d->opening, {}))
            it->setExpanded(true);
    }
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

#include "vexa/ctags/tagsview.h"

#include "vexa/actions.h"
#include "vexa/ctags/node.h"
#include "vexa/ctags/parser.h"
#include "vexa/filetype.h"
#include "xqwidgets/slotpool.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QMenu>
#include <QMultiHash>
#include <QTimer>
#include <algorithm>
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

// A row that can have no children says so: laying out the rows then looks
// up neither its open state nor its children, and most rows of a big tree are
// leaves. An open row keeps what it is (its children may come back, and then
// it shows open again), and a row must lose the mark before its children come
// (a marked row cannot be opened).
void markLeaf(QTreeWidgetItem* item, bool leaf)
{
    const Qt::ItemFlags flags = item->flags();
    if (leaf == flags.testFlag(Qt::ItemNeverHasChildren) || (leaf && item->isExpanded()))
        return;
    item->setFlags(flags ^ Qt::ItemNeverHasChildren);
}

void deleteItem(QTreeWidgetItem* item)
{
    closeSubtree(item);
    delete item;
}

// One level of a merge: the nodes merged into the children of `level`.
struct MergeLevel {
    QTreeWidgetItem* level;
    int depth; // 1 for the top level
    // Made items open when their first children come.
    bool openMade;
    // The nodes in order (at the deepest level the whole subtrees, in
    // pre-order), each with the number of its file name (-1: none), and the
    // item each pairs with (null: a new one is made).
    std::vector<Node*> nodes;
    std::vector<int> files;
    std::vector<TagsViewItem*> pairs;
    size_t next = 0;
    // The item whose children are merged one level down.
    TagsViewItem* waiting = nullptr;
    // Items made for this level, apart from the view until the level ends.
    QList<QTreeWidgetItem*> made;
};

} // namespace

class TagsView::Private
{
public:
    explicit Private(TagsView* view) : view(view) {}

    TagsView* view;
    int sortingMode = 0;
    QMap<QString, QMenu*> popupMenuMap;
    QMap<QString, ActionGroup*> actionGroupMap;
    // The merge under way: its levels, innermost last, the file names its
    // levels number, and the items it made that open at its end.
    std::vector<MergeLevel> levels;
    QStringList fileNames;
    QList<TagsViewItem*> opening;
    // A merge in slices: its time per slice, and whether the sorting mode
    // changed meanwhile (the view is sorted again at the end).
    int sliceMs = 0;
    bool sliced = false;
    bool resort = false;
    QTimer* sliceTimer = nullptr;
    // One icon per type picture, shared by every item of the type.
    QHash<qint64, QIcon> icons;
    Parser* parser = nullptr;

    QIcon icon(const QPixmap* pixmap)
    {
        if (!pixmap || pixmap->isNull())
            return QIcon();
        auto it = icons.find(pixmap->cacheKey());
        if (it == icons.end())
            it = icons.insert(pixmap->cacheKey(), QIcon(*pixmap));
        return *it;
    }

    void enter(QTreeWidgetItem* level, const QList<Node*>& chains, const std::vector<int>& files,
               int depth);
    // One node of the innermost level, or the end of that level. False when
    // the merge is over.
    bool step();
    void finishLevel(MergeLevel& l);
    // Ends the merge under way: what is not in the view yet goes.
    void abandon();
    void finish();
};

namespace
{

// A note heading a level that shows deeper symbols flattened.
class TagsViewNote : public QTreeWidgetItem
{
public:
    TagsViewNote() : QTreeWidgetItem(TagsViewItem::NoteType)
    {
        setText(
            0,
            TagsView::tr("Nested deeper than %1 levels: shown flattened").arg(TagsView::kMaxDepth));
        setFlags(Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    }
    bool operator<(const QTreeWidgetItem& other) const override
    {
        return other.type() != TagsViewItem::NoteType;
    }
};

// The sort key of an item in a mode, fetched once for a sort of a level.
struct SortKey {
    QTreeWidgetItem* item;
    int rank; // a note first; in mode 2 the classes next
    int pos;
    QString label;
};

SortKey sortKey(QTreeWidgetItem* it, int mode)
{
    if (it->type() != TagsViewItem::Type)
        return {it, 0, 0, QString()};
    auto* tag = static_cast<TagsViewItem*>(it);
    const bool isClass = mode == 2 && tag->typeName == QLatin1String("Class");
    const bool byLabel = mode == 1 || isClass;
    return {it, isClass ? 1 : 2, tag->pos1, byLabel ? it->text(0) : QString()};
}

// The order of TagsViewItem::less(), on keys fetched once.
bool keyLess(const SortKey& a, const SortKey& b, int mode)
{
    if (a.rank != b.rank)
        return a.rank < b.rank;
    if (a.rank == 0 || mode < 0 || mode > 2)
        return false;
    if (mode == 1 || a.rank == 1)
        return labelLess(a.label, b.label);
    return a.pos < b.pos;
}

} // namespace

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

// Items live on the GUI thread only: their pool takes no lock.
void* TagsViewItem::operator new(size_t size)
{
    return xqwidgets::PooledAllocation<TagsViewItem>::allocate(size);
}

void TagsViewItem::operator delete(void* p, size_t size)
{
    xqwidgets::PooledAllocation<TagsViewItem>::release(p, size);
}

bool TagsViewItem::operator<(const QTreeWidgetItem& other) const
{
    const auto* view = qobject_cast<const TagsView*>(treeWidget());
    return less(*this, other, view ? view->sortingMode() : -1);
}

bool TagsViewItem::less(const QTreeWidgetItem& a, const QTreeWidgetItem& b, int mode)
{
    if (a.type() == NoteType || b.type() == NoteType)
        return a.type() == NoteType && b.type() != NoteType;
    if (a.type() != Type || b.type() != Type)
        return a.QTreeWidgetItem::operator<(b);
    const auto& x = static_cast<const TagsViewItem&>(a);
    const auto& y = static_cast<const TagsViewItem&>(b);
    switch (mode) {
    case 0:
        return x.pos1 < y.pos1;
    case 1:
        return labelLess(x.text(0), y.text(0));
    case 2: {
        // Classes first by name, then the rest by position.
        const bool xClass = x.typeName == QLatin1String("Class");
        const bool yClass = y.typeName == QLatin1String("Class");
        if (xClass != yClass)
            return xClass;
        return xClass ? labelLess(x.text(0), y.text(0)) : x.pos1 < y.pos1;
    }
    default:
        return false;
    }
}

TagsView::TagsView(QWidget* parent, const char* name) : QTreeWidget(parent), d(new Private(this))
{
    if (name)
        setObjectName(QLatin1String(name));
    setColumnCount(1);
    setHeaderLabels({tr("Name")});
    setHeaderHidden(true);
    setRootIsDecorated(true);
    // Every row is an icon and a line of text: one height for all spares
    // measuring each row when a big tree is laid out.
    setUniformRowHeights(true);
    header()->setStretchLastSection(true);
    // Kept in order by the merges and by sortItems() (Qt's sorting, left on,
    // would take new rows one at a time).
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
    d->abandon();
    delete d;
}

int TagsView::sortingMode() const
{
    return d->sortingMode;
}

void TagsView::setSortingMode(int mode)
{
    // A merge under way places its items by the mode it started with.
    d->resort = d->resort || (d->sliced && mode != d->sortingMode);
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

void TagsView::Private::enter(QTreeWidgetItem* level, const QList<Node*>& chains,
                              const std::vector<int>& files, int depth)
{
    MergeLevel l;
    l.level = level;
    l.depth = depth;
    l.openMade = chains.size() == 1;
    // Below the deepest level, the symbols come onto it in pre-order.
    const bool flat = depth >= kMaxDepth;
    bool deeper = false;
    for (qsizetype i = 0; i < chains.size(); ++i) {
        const Node* top = chains.at(i)->parent;
        for (Node* n = chains.at(i); n;) {
            l.nodes.push_back(n);
            l.files.push_back(files[size_t(i)]);
            if (flat && n->child) {
                deeper = true;
                n = n->child;
                continue;
            }
            // On to the next sibling; when flat, up to the next sibling of
            // the nearest ancestor below the chain's own level.
            while (flat && n && !n->next)
                n = n->parent == top ? nullptr : n->parent;
            if (n)
                n = n->next;
        }
    }

    // The level's items as it was when this merge began; items of one label
    // are chained in order (next[i]), the chains reached by label.
    std::vector<TagsViewItem*> items;
    QList<QTreeWidgetItem*> notes;
    items.reserve(size_t(level->childCount()));
    for (int i = 0; i < level->childCount(); ++i) {
        QTreeWidgetItem* it = level->child(i);
        if (it->type() == TagsViewItem::Type)
            items.push_back(static_cast<TagsViewItem*>(it));
        else if (it->type() == TagsViewItem::NoteType)
            notes.append(it);
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
    std::vector<bool> paired(items.size(), false);
    l.pairs.reserve(l.nodes.size());
    for (Node* n : l.nodes) {
        TagsViewItem* item = nullptr;
        auto it = chain.find(n->name);
        if (it != chain.end() && it.value() != 0) {
            const int i = it.value() - 1;
            item = items[size_t(i)];
            paired[size_t(i)] = true;
            it.value() = next[size_t(i)] + 1;
        }
        l.pairs.push_back(item);
    }
    QList<QTreeWidgetItem*> doomed;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!paired[i])
            doomed.append(items[i]);
    }
    // One note where deeper symbols are shown flattened, none elsewhere.
    if (deeper && notes.isEmpty())
        l.made.append(new TagsViewNote);
    doomed += deeper ? notes.mid(1) : notes;
    if (doomed.size() > 1 && doomed.size() == level->childCount()) {
        // The whole level goes (another file's tree): out in one removal.
        for (QTreeWidgetItem* it : std::as_const(doomed))
            closeSubtree(it);
        qDeleteAll(level->takeChildren());
    } else {
        for (QTreeWidgetItem* it : std::as_const(doomed))
            deleteItem(it);
    }
    levels.push_back(std::move(l));
}

bool TagsView::Private::step()
{
    if (levels.empty()) {
        // Opened once the whole tree is in and sorted, while a layout of
        // the rows is pending, so that each opening is noted rather than
        // laid out: one layout for all, not one each. A merge in slices
        // holds that layout off until its end, so the openings go a batch
        // per step.
        if (opening.isEmpty())
            return false;
        view->scheduleDelayedItemsLayout();
        constexpr qsizetype kOpenBatch = 64;
        const qsizetype from = qMax(opening.size() - (sliced ? kOpenBatch : opening.size()), 0);
        for (qsizetype i = from; i < opening.size(); ++i) {
            if (opening.at(i)->treeWidget())
                opening.at(i)->setExpanded(true);
        }
        opening.resize(from);
        return !opening.isEmpty();
    }
    MergeLevel& l = levels.back();
    if (TagsViewItem* item = std::exchange(l.waiting, nullptr)) {
        // Its children are in: an item made open opens with them.
        if (std::exchange(item->opensWithChildren, false))
            opening.append(item);
    }
    if (l.next == l.nodes.size()) {
        finishLevel(l);
        levels.pop_back();
        return !levels.empty() || !opening.isEmpty();
    }
    const size_t i = l.next++;
    Node* n = l.nodes[i];
    const int file = l.files[i];
    const QString fileName = file >= 0 ? fileNames.at(file) : QString();
    TagsViewItem* item = l.pairs[i];
    const bool made = !item;
    if (made) {
        item = new TagsViewItem(n->name);
        l.made.append(item);
        // Opened when it has rows to show: an open row costs every later row
        // change of the view a little, and a childless one shows nothing of
        // it.
        item->opensWithChildren = l.openMade;
    }
    item->pos1 = n->start;
    item->fileName = fileName;
    // The icon follows the kind; set only when the kind changed, since every
    // icon set repaints the row.
    if (parser) {
        const QString typeName = parser->typeName(n);
        if (made || typeName != item->typeName) {
            item->setIcon(0, icon(parser->typeIcon(n)));
            item->typeName = typeName;
        }
    }
    const bool hasChildren = n->child && l.depth < kMaxDepth;
    if (hasChildren) {
        markLeaf(item, false);
        l.waiting = item;
        const int depth = l.depth + 1;
        enter(item, {n->child}, {file}, depth); // `l` may move from here on
    } else {
        if (item->childCount()) {
            for (QTreeWidgetItem* child : item->takeChildren())
                deleteItem(child);
        }
        markLeaf(item, true);
    }
    return true;
}

void TagsView::Private::finishLevel(MergeLevel& l)
{
    QTreeWidgetItem* level = l.level;
    const int mode = sortingMode;
    // The order the level should have: the items it has, then the new ones,
    // sorted stably, as a sort after appending them would give.
    std::vector<SortKey> keys;
    keys.reserve(size_t(level->childCount() + l.made.size()));
    for (int i = 0; i < level->childCount(); ++i)
        keys.push_back(sortKey(level->child(i), mode));
    const size_t old = keys.size();
    for (QTreeWidgetItem* it : std::as_const(l.made))
        keys.push_back(sortKey(it, mode));
    std::vector<size_t> order(keys.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return keyLess(keys[a], keys[b], mode); });

    // The items there keep their order: the new ones go in between, a run
    // at a time. Otherwise (or for too many runs) they go at the end and the
    // level is sorted.
    bool kept = true;
    int runs = 0;
    size_t seen = 0;
    bool inRun = false;
    for (size_t i : order) {
        if (i < old) {
            kept = kept && i == seen++;
            inRun = false;
        } else if (!inRun) {
            inRun = true;
            ++runs;
        }
    }
    constexpr int kMaxRuns = 64;
    if (!level->treeWidget()) {
        // Made in this merge, apart from the view: nothing to keep in place.
        QList<QTreeWidgetItem*> sorted;
        sorted.reserve(qsizetype(order.size()));
        for (size_t i : order)
            sorted.append(keys[i].item);
        level->addChildren(sorted);
    } else if (kept && runs <= kMaxRuns) {
        int at = 0;
        QList<QTreeWidgetItem*> run;
        for (size_t k = 0; k <= order.size(); ++k) {
            if (k < order.size() && order[k] >= old) {
                run.append(keys[order[k]].item);
                continue;
            }
            if (!run.isEmpty()) {
                level->insertChildren(at, run);
                at += int(run.size());
                run.clear();
            }
            ++at;
        }
    } else {
        level->addChildren(l.made);
        level->sortChildren(0, Qt::AscendingOrder);
    }
    l.made.clear();
}

void TagsView::Private::abandon()
{
    if (!opening.isEmpty())
        view->scheduleDelayedItemsLayout();
    for (TagsViewItem* it : std::exchange(opening, {})) {
        if (it->treeWidget())
            it->setExpanded(true);
    }
    // Innermost first: a made item may be the level of a deeper one.
    while (!levels.empty()) {
        qDeleteAll(levels.back().made);
        levels.pop_back();
    }
    if (sliceTimer)
        sliceTimer->stop();
    sliced = false;
}

void TagsView::Private::finish()
{
    if (std::exchange(resort, false))
        view->sortItems(0, Qt::AscendingOrder);
}

void TagsView::updateSubTree(TagsViewItem* parent, const QList<Node*>& nodes,
                             const QStringList& fileNames)
{
    const bool wasSliced = d->sliced;
    d->abandon();
    FileType* fileType = FileTypeManager::self()->fileType(QStringLiteral("file"));
    d->parser = fileType ? fileType->parser() : nullptr;
    // One layout of the rows after the merge, not one per item made.
    scheduleDelayedItemsLayout();
    d->fileNames = fileNames;
    std::vector<int> files;
    for (qsizetype i = 0; i < nodes.size(); ++i)
        files.push_back(fileNames.size() == nodes.size() ? int(i) : -1);
    QTreeWidgetItem* level = parent ? static_cast<QTreeWidgetItem*>(parent) : invisibleRootItem();
    int depth = 1;
    for (QTreeWidgetItem* up = parent; up; up = up->parent())
        ++depth;
    d->enter(level, nodes, files, depth);
    while (d->step()) {
    }
    d->finish();
    if (wasSliced)
        Q_EMIT merged();
}

void TagsView::mergeInSlices(const QList<Node*>& nodes, int sliceMs)
{
    d->abandon();
    FileType* fileType = FileTypeManager::self()->fileType(QStringLiteral("file"));
    d->parser = fileType ? fileType->parser() : nullptr;
    // No layout of the rows is asked for here: a merge that changes only
    // positions needs none, and the view asks for one at the first row
    // added or removed.
    d->fileNames.clear();
    d->enter(invisibleRootItem(), nodes, std::vector<int>(size_t(nodes.size()), -1), 1);
    d->sliced = true;
    d->sliceMs = sliceMs;
    if (!d->sliceTimer) {
        d->sliceTimer = new QTimer(this);
        d->sliceTimer->setSingleShot(true);
        connect(d->sliceTimer, &QTimer::timeout, this, [this] { mergeSlice(true); });
    }
    // The first slice at once: a small tree is in before this returns.
    mergeSlice(false);
}

void TagsView::mergeSlice(bool resumed)
{
    QElapsedTimer t;
    t.start();
    int steps = 0;
    while (d->step()) {
        if (++steps % 32 == 0 && t.elapsed() >= d->sliceMs) {
            d->sliceTimer->start(0);
            return;
        }
    }
    // The end of a merge that went on from the event loop gets a turn of its
    // own: the layout of the rows, held off until then, runs at that end and
    // takes tens of milliseconds on a big tree, which must not add up with a
    // slice of merging.
    if (resumed && steps > 0) {
        d->sliceTimer->start(0);
        return;
    }
    d->sliced = false;
    d->finish();
    Q_EMIT merged();
}

void TagsView::doItemsLayout()
{
    // Laying out a big tree takes tens of milliseconds, and every row added
    // or removed asks for it anew: while a merge goes on in slices it waits
    // for the merge's end rather than running between slices.
    if (d->sliced) {
        scheduleDelayedItemsLayout();
        return;
    }
    QTreeWidget::doItemsLayout();
}

bool TagsView::isMerging() const
{
    return d->sliced;
}

void TagsView::stopMerging()
{
    if (!d->sliced)
        return;
    d->abandon();
    d->finish();
    Q_EMIT merged();
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

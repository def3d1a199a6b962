#include "vexa/widgets/domlistview.h"

#include "vexa/actions.h"

#include <QDomElement>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMap>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>

namespace vexa
{

namespace
{

const QString kName = QStringLiteral("name");
const QString kOpen = QStringLiteral("open");
constexpr int kDefaultListOrder = 500;

QString tagOf(const QDomNode& node)
{
    return node.toElement().tagName();
}

} // namespace

class DomListView::Private
{
public:
    explicit Private(DomListView* view) : self(view) {}

    DomListView* self;
    DomListViewItem* tree = nullptr;
    QStringList tagSet;
    QMap<QString, int> listOrderMap;
    QMap<QString, QPixmap> pixmapMap;
    // One icon per tag, shared by all its items.
    QMap<QString, QIcon> iconMap;
    QMap<QString, QMenu*> popupMenuMap;
    QMap<QString, QPointer<ActionGroup>> actionGroupMap;
    QString sortingNodeAttribute = kName;
    // Set while the view itself expands or collapses an item, so the tree's
    // expansion signals are not taken for the user's.
    bool settingOpen = false;
};

// --- DomListViewItem -------------------------------------------------------------------

DomListViewItem::DomListViewItem(DomListView* parent, const QDomNode& node)
    : QTreeWidgetItem(), node(node), listView(parent)
{
    // The subtree is built before it joins the view: the view's model then
    // takes it in one step instead of one step per item.
    build();
    parent->addTopLevelItem(this);
    applyOpen();
}

DomListViewItem::DomListViewItem(DomListViewItem* parent, const QDomNode& node)
    : QTreeWidgetItem(parent), node(node), listView(parent->listView)
{
    // In a view already (a new element found by syncToDom()): the children
    // have opened themselves; otherwise the top item opens the whole subtree.
    build();
    if (treeWidget())
        applyOwnOpen();
}

DomListView* DomListViewItem::view() const
{
    return listView;
}

void DomListViewItem::refresh()
{
    const QString name = node.toElement().attribute(kName);
    DomListView* v = view();
    const QString tag = tagOf(node);
    sortKey = QString::asprintf("%05d", v->listOrder(tag)) + name;
    setText(0, name);
    if (v->tagSet().contains(tag)) {
        const QIcon icon = v->d->iconMap.value(tag);
        if (!icon.isNull())
            setIcon(0, icon);
    }
}

void DomListViewItem::build()
{
    refresh();
    const QStringList& tags = view()->tagSet();
    for (QDomNode n = node.firstChild(); !n.isNull(); n = n.nextSibling()) {
        if (n.isElement() && tags.contains(n.toElement().tagName()))
            new DomListViewItem(this, n);
    }
}

void DomListViewItem::applyOpen()
{
    for (int i = 0; i < childCount(); ++i)
        static_cast<DomListViewItem*>(child(i))->applyOpen();
    applyOwnOpen();
}

void DomListViewItem::applyOwnOpen()
{
    const QString open = node.toElement().attribute(kOpen);
    if (!open.isEmpty())
        setOpen(open == QLatin1String("1"));
}

void DomListViewItem::setOpen(bool open)
{
    if (!parent())
        open = true;
    DomListView* v = view();
    const bool was = v->d->settingOpen;
    v->d->settingOpen = true;
    setExpanded(open);
    v->d->settingOpen = was;
    QDomElement e = node.toElement();
    if (!e.isNull())
        e.setAttribute(kOpen, open ? QStringLiteral("1") : QStringLiteral("0"));
    v->adjustContentSize();
}

void DomListViewItem::setSorting(const QString&) {}

void DomListViewItem::syncToDom()
{
    refresh();
    if (!node.hasChildNodes() && childCount() == 0)
        return;
    // Items are matched to elements by identity: a renamed element keeps its
    // item, and siblings of the same name each get one.
    for (int i = childCount() - 1; i >= 0; --i) {
        auto* c = static_cast<DomListViewItem*>(child(i));
        if (c->node.isNull() || c->node.parentNode() != node)
            delete c;
    }
    const QStringList& tags = view()->tagSet();
    for (QDomNode n = node.firstChild(); !n.isNull(); n = n.nextSibling()) {
        if (!n.isElement())
            continue;
        bool shown = false;
        for (int i = 0; i < childCount() && !shown; ++i)
            shown = static_cast<DomListViewItem*>(child(i))->node == n;
        if (!shown && tags.contains(n.toElement().tagName()))
            new DomListViewItem(this, n);
    }
    for (int i = 0; i < childCount(); ++i)
        static_cast<DomListViewItem*>(child(i))->syncToDom();
}

bool DomListViewItem::operator<(const QTreeWidgetItem& other) const
{
    return sortKey.localeAwareCompare(static_cast<const DomListViewItem&>(other).sortKey) < 0;
}

// --- DomListView -----------------------------------------------------------------------

DomListView::DomListView(QWidget* parent, const char* name)
    : QTreeWidget(parent), d(new Private(this))
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    setColumnCount(1);
    setHeaderLabels({tr("Name")});
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setStretchLastSection(false);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setRootIsDecorated(false);
    connect(this, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { itemOpenChanged(item, true); });
    connect(this, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { itemOpenChanged(item, false); });
}

DomListView::~DomListView()
{
    delete d;
}

void DomListView::setDomTree(const QDomNode& node)
{
    d->tree = new DomListViewItem(this, node);
    resort();
    adjustContentSize();
}

DomListViewItem* DomListView::tree() const
{
    return d->tree;
}

const QStringList& DomListView::tagSet() const
{
    return d->tagSet;
}

void DomListView::setTagSet(const QStringList& tags)
{
    d->tagSet = tags;
}

ActionGroup* DomListView::actionGroup(const QString& tag) const
{
    return d->actionGroupMap.value(tag);
}

void DomListView::setActionGroup(const QString& tag, ActionGroup* group)
{
    d->actionGroupMap.insert(tag, group);
    if (QMenu* menu = d->popupMenuMap.take(tag))
        menu->deleteLater();
}

QPixmap DomListView::pixmap(const QString& tag) const
{
    return d->pixmapMap.value(tag);
}

void DomListView::setPixmap(const QString& tag, const QPixmap& pixmap)
{
    d->pixmapMap.insert(tag, pixmap);
    d->iconMap.insert(tag, pixmap.isNull() ? QIcon() : QIcon(pixmap));
}

int DomListView::listOrder(const QString& tag) const
{
    return d->listOrderMap.value(tag, kDefaultListOrder);
}

void DomListView::setListOrder(const QString& tag, int order)
{
    d->listOrderMap.insert(tag, order);
}

QString DomListView::sortingAttribute() const
{
    return d->sortingNodeAttribute;
}

void DomListView::setSortingAttribute(const QString& attribute)
{
    d->sortingNodeAttribute = attribute;
    QList<QTreeWidgetItem*> todo;
    for (int i = topLevelItemCount() - 1; i >= 0; --i)
        todo.append(topLevelItem(i));
    while (!todo.isEmpty()) {
        QTreeWidgetItem* item = todo.takeLast();
        static_cast<DomListViewItem*>(item)->setSorting(attribute);
        for (int i = item->childCount() - 1; i >= 0; --i)
            todo.append(item->child(i));
    }
    resort();
}

void DomListView::setOpen(QTreeWidgetItem* item, bool open)
{
    if (!item)
        return;
    auto* di = static_cast<DomListViewItem*>(item);
    di->setOpen(open);
    emit setNodeOpen(di->node, open);
}

void DomListView::itemOpenChanged(QTreeWidgetItem* item, bool open)
{
    if (d->settingOpen)
        return;
    setOpen(item, open);
}

void DomListView::adjustContentSize()
{
    fitColumn();
    updateGeometries();
}

void DomListView::fitColumn()
{
    int contentsHeight = 0;
    QList<QTreeWidgetItem*> todo;
    for (int i = 0; i < topLevelItemCount(); ++i)
        todo.append(topLevelItem(i));
    while (!todo.isEmpty()) {
        QTreeWidgetItem* item = todo.takeLast();
        if (item->isHidden())
            continue;
        contentsHeight += indexRowSizeHint(indexFromItem(item));
        if (item->isExpanded()) {
            for (int i = 0; i < item->childCount(); ++i)
                todo.append(item->child(i));
        }
    }
    const int lw = frameWidth();
    int w = width() - 2 * lw;
    if (contentsHeight + 2 * lw > height())
        w -= verticalScrollBar()->sizeHint().width();
    setColumnWidth(0, qMax(0, w));
}

void DomListView::resort()
{
    sortItems(0, Qt::AscendingOrder);
}

void DomListView::clear()
{
    QTreeWidget::clear();
    d->tree = nullptr;
}

void DomListView::syncToDom()
{
    setUpdatesEnabled(false);
    if (d->tree)
        d->tree->syncToDom();
    setUpdatesEnabled(true);
    resort();
    adjustContentSize();
}

void DomListView::mouseClick(QTreeWidgetItem* item)
{
    emit click(item ? static_cast<DomListViewItem*>(item)->node : QDomNode());
}

void DomListView::mouseDoubleClick(QTreeWidgetItem* item)
{
    emit doubleClick(item ? static_cast<DomListViewItem*>(item)->node : QDomNode());
}

void DomListView::keyReturnPressed(QTreeWidgetItem* item)
{
    emit returnPressed(item ? static_cast<DomListViewItem*>(item)->node : QDomNode());
}

void DomListView::mouseRightClick(QTreeWidgetItem* item, const QPoint& pos, int)
{
    if (!item) {
        emit rightClick(QDomNode());
        return;
    }
    const QDomNode node = static_cast<DomListViewItem*>(item)->node;
    const QString tag = tagOf(node);
    QMenu* menu = d->popupMenuMap.value(tag);
    if (!menu) {
        ActionGroup* group = d->actionGroupMap.value(tag);
        if (!group)
            return;
        menu = new QMenu(this);
        group->addTo(menu);
        d->popupMenuMap.insert(tag, menu);
    }
    // The receivers may change the view; the menu belongs to the view and
    // outlives its items.
    QPointer<QMenu> guard(menu);
    emit rightClick(node);
    if (guard)
        guard->popup(pos);
}

void DomListView::resizeEvent(QResizeEvent* e)
{
    QTreeWidget::resizeEvent(e);
    fitColumn();
}

void DomListView::mousePressEvent(QMouseEvent* e)
{
    QTreeWidget::mousePressEvent(e);
    if (e->button() == Qt::RightButton) {
        const QPoint pos = e->position().toPoint();
        mouseRightClick(itemAt(pos), e->globalPosition().toPoint(), columnAt(pos.x()));
    }
}

void DomListView::mouseReleaseEvent(QMouseEvent* e)
{
    QTreeWidget::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton)
        mouseClick(itemAt(e->position().toPoint()));
}

void DomListView::mouseDoubleClickEvent(QMouseEvent* e)
{
    QTreeWidget::mouseDoubleClickEvent(e);
    if (e->button() == Qt::LeftButton)
        mouseDoubleClick(itemAt(e->position().toPoint()));
}

void DomListView::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        keyReturnPressed(currentItem());
        e->accept();
        return;
    }
    QTreeWidget::keyPressEvent(e);
}

} // namespace vexa

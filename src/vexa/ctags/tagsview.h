#ifndef VEXA_CTAGS_TAGSVIEW_H
#define VEXA_CTAGS_TAGSVIEW_H

#include <QStringList>
#include <QTreeWidget>

class QMenu;

namespace vexa
{

class ActionGroup;
struct Node;
class TagsView;

// One symbol in a tags view: labelled with the symbol's name, it keeps copies
// of what it needs (position, type name, file), never the node.
class TagsViewItem : public QTreeWidgetItem
{
public:
    // The mark the view acts on, and that of the note on a flattened level.
    enum { Type = 1200341, NoteType = 1200342 };

    TagsViewItem(QTreeWidget* view, const QString& name);
    TagsViewItem(TagsViewItem* parent, const QString& name);
    // An item apart from any view, put in later.
    explicit TagsViewItem(const QString& name);
    ~TagsViewItem() override;

    // Items come from a pool, side by side in the order they are made: the
    // view's layout of a big tree reads every row, and rows scattered over
    // the heap would cost a cache miss each.
    static void* operator new(size_t size);
    static void operator delete(void* p, size_t size);

    // Orders by the view's sorting mode: 0 by position (as numbers), 1 by
    // name, 2 classes first by name, then the rest by position. In names an
    // "_" sorts as "1". A note comes before the symbols of its level.
    bool operator<(const QTreeWidgetItem& other) const override;
    static bool less(const QTreeWidgetItem& a, const QTreeWidgetItem& b, int mode);

    // The node's start; 1 at creation.
    int pos1 = 1;
    // 1; nothing reads it.
    int pos2 = 1;
    // The parser's type name of the symbol ("Class", "Function", ...).
    QString typeName;
    // The symbol's file, handed on with a click; empty when not given.
    QString fileName;
    // Made open while it had no children: opened when its first ones come.
    bool opensWithChildren = false;
};

// A symbol tree shown as items. A new tree is merged into the items shown:
// items of the same name stay with their open state, so a re-parse keeps what
// the user opened. A click emits gotoTextPos(); a right click opens the menu
// of the installed group of the item's type name.
//
// Levels nest at most kMaxDepth deep: the symbols below that level are shown
// on it, flattened, after a note that says so. A merge works through the
// tree in a loop, however deep the tree.
class TagsView : public QTreeWidget
{
    Q_OBJECT
public:
    static constexpr int kMaxDepth = 32;

    explicit TagsView(QWidget* parent = nullptr, const char* name = nullptr);
    ~TagsView() override;

    int sortingMode() const;
    // Items of this type name get the menu of `group` (built at the first
    // right click and kept, also when another group is installed later).
    void installHelper(const QString& typeName, ActionGroup* group);
    // The menu built for a type name; null before its first right click.
    QMenu* contextMenu(const QString& typeName) const;

public Q_SLOTS:
    // What a click on the current item does.
    void openCurrent();
    // Stores the mode; the caller sorts.
    void setSortingMode(int mode);
    // Merges the sibling chains that begin at `nodes` into the children of
    // `parent` (the top level when null). Per name, the i-th node pairs with
    // the i-th item of that label (overloads keep their own positions and
    // children); unpaired items go, new names come as new items, opened when
    // `nodes` holds one entry. Paired items take the node's position, file,
    // icon and type name. `fileNames`, when it has one entry per node list,
    // gives each chain's file.
    void updateSubTree(TagsViewItem* parent, const QList<vexa::Node*>& nodes,
                       const QStringList& fileNames = QStringList());
    // The same merge into the top level, done a slice of about `sliceMs` at a
    // time, the first at once, the rest from the event loop; merged()
    // follows its end (within this call for a small tree). The nodes must
    // stay alive until then. Another merge, of either kind, ends this one
    // where it stands (what it merged so far stays).
    void mergeInSlices(const QList<vexa::Node*>& nodes, int sliceMs);
    bool isMerging() const;
    void doItemsLayout() override;
    // Ends a merge in slices where it stands (what it merged so far stays),
    // with merged(); nothing without one.
    void stopMerging();
    void adjustContentSize();

Q_SIGNALS:
    void gotoTextPos(int pos, const QString& fileName);
    void merged();

protected Q_SLOTS:
    void mouseClick(QTreeWidgetItem* item);
    void mouseRightClick(QTreeWidgetItem* item, const QPoint& globalPos);

private:
    // `resumed`: called from the event loop, not by mergeInSlices().
    void mergeSlice(bool resumed);

    class Private;
    Private* d;
};

} // namespace vexa

#endif

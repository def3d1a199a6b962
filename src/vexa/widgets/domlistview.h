#ifndef VEXA_WIDGETS_DOMLISTVIEW_H
#define VEXA_WIDGETS_DOMLISTVIEW_H

#include <QDomNode>
#include <QPixmap>
#include <QStringList>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace vexa
{

class ActionGroup;
class DomListView;

// An item of a DomListView: shows one element of the document.
class DomListViewItem : public QTreeWidgetItem
{
public:
    // Builds the item and the items of the element's shown descendants.
    DomListViewItem(DomListView* parent, const QDomNode& node);
    DomListViewItem(DomListViewItem* parent, const QDomNode& node);

    // The element the item shows; a null node marks the item for removal by
    // the next syncToDom().
    QDomNode node;
    // The key siblings are ordered by: the list order of the element's tag
    // (five digits) followed by the item's text.
    QString sortKey;

    // Opens or closes the item (an item without a parent item always opens)
    // and records the state in the element's "open" attribute.
    virtual void setOpen(bool open);
    // Told of every change of the view's sorting attribute.
    virtual void setSorting(const QString& attribute);
    // Brings the item and its children in line with the document.
    virtual void syncToDom();

    DomListView* view() const;
    bool operator<(const QTreeWidgetItem& other) const override;

private:
    void build();
    void refresh();
    // Opens or closes the item (and, for applyOpen(), those below it first)
    // as its element's "open" says.
    void applyOpen();
    void applyOwnOpen();

    // The view the item belongs to, known also while the item is being
    // built away from it.
    DomListView* listView;
};

// A one-column tree that mirrors the elements of an XML document whose tag is
// in the tag set, titled by their "name" attribute, nested as in the document.
// The document stays the model: the owner edits it and calls syncToDom(). User
// actions are reported with the element (QDomNode) rather than the item.
class DomListView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit DomListView(QWidget* parent = nullptr, const char* name = nullptr);
    ~DomListView() override;

    // Adds a top-level item for `node` (whatever its tag) with its subtree.
    void setDomTree(const QDomNode& node);
    // The item made by the last setDomTree(); null after clear().
    DomListViewItem* tree() const;

    virtual const QStringList& tagSet() const;
    virtual void setTagSet(const QStringList& tags);
    virtual ActionGroup* actionGroup(const QString& tag) const;
    // Replaces the group of the tag; its context menu is built anew from it.
    virtual void setActionGroup(const QString& tag, ActionGroup* group);
    virtual QPixmap pixmap(const QString& tag) const;
    virtual void setPixmap(const QString& tag, const QPixmap& pixmap);
    // Siblings sort by the list order of their tag first (lower first), 500
    // for a tag without one, then by their text.
    virtual int listOrder(const QString& tag) const;
    virtual void setListOrder(const QString& tag, int order);
    virtual QString sortingAttribute() const;
    virtual void setSortingAttribute(const QString& attribute);

    // Opens or closes the item and emits setNodeOpen() with the requested state.
    virtual void setOpen(QTreeWidgetItem* item, bool open);
    // Fits the one column to the visible width.
    void adjustContentSize();

public slots:
    virtual void clear();
    virtual void syncToDom();

signals:
    void click(const QDomNode& node);
    void returnPressed(const QDomNode& node);
    void doubleClick(const QDomNode& node);
    void rightClick(const QDomNode& node);
    void setNodeOpen(const QDomNode& node, bool open);

protected slots:
    void mouseClick(QTreeWidgetItem* item);
    void mouseDoubleClick(QTreeWidgetItem* item);
    void keyReturnPressed(QTreeWidgetItem* item);
    void mouseRightClick(QTreeWidgetItem* item, const QPoint& pos, int column);

protected:
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void fitColumn();
    void resort();
    void itemOpenChanged(QTreeWidgetItem* item, bool open);

    friend class DomListViewItem;
    class Private;
    Private* d;
};

} // namespace vexa

#endif

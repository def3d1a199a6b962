// The DOM tree view on a small project-like document: built, kept in step with
// the document, opened and closed, clicked, and right-clicked for menus.

#include "vexa/actions.h"
#include "vexa/widgets/domlistview.h"

#include <QApplication>
#include <QDomDocument>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using vexa::DomListView;
using vexa::DomListViewItem;

namespace
{

const char* const kProject = R"(<!DOCTYPE vexaproject>
<project name="P" open="0">
  <cpp name="main.cpp"/>
  <folder name="src" open="1">
    <cpp name="b.cpp"/>
    <!-- a comment gets no item -->
    <cpp name="a.cpp"><other name="x"/></cpp>
  </folder>
  <other name="hidden"><cpp name="inner.cpp"/></other>
  <folder name="zdir"/>
</project>
)";

QPixmap solid(const QColor& c)
{
    QPixmap pm(16, 16);
    pm.fill(c);
    return pm;
}

// The tree as text in display order: name, "+" when open, children in brackets.
QString shape(QTreeWidgetItem* item)
{
    QString s = item->text(0);
    if (item->isExpanded())
        s += QLatin1Char('+');
    if (item->childCount()) {
        QStringList kids;
        for (int i = 0; i < item->childCount(); ++i)
            kids << shape(item->child(i));
        s += QLatin1Char('[') + kids.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    return s;
}

QString shape(const DomListView& view)
{
    QStringList tops;
    for (int i = 0; i < view.topLevelItemCount(); ++i)
        tops << shape(view.topLevelItem(i));
    return tops.join(QLatin1Char('|'));
}

DomListViewItem* find(const DomListView& view, const QString& text)
{
    const QList<QTreeWidgetItem*> found =
        view.findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : static_cast<DomListViewItem*>(found.first());
}

// The first element, in document order, whose "name" is `name`.
QDomElement element(const QDomNode& under, const QString& name)
{
    for (QDomElement e = under.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        if (e.attribute(QStringLiteral("name")) == name)
            return e;
        const QDomElement found = element(e, name);
        if (!found.isNull())
            return found;
    }
    return QDomElement();
}

QDomElement child(QDomDocument& doc, const QString& tag, const QString& name)
{
    QDomElement e = doc.createElement(tag);
    e.setAttribute(QStringLiteral("name"), name);
    return e;
}

QColor iconColour(QTreeWidgetItem* item)
{
    if (item->icon(0).isNull())
        return QColor();
    return item->icon(0).pixmap(16, 16).toImage().pixelColor(8, 8);
}

QPoint centreOf(const DomListView& view, QTreeWidgetItem* item)
{
    return view.visualItemRect(item).center();
}

QMenu* shownMenu(const DomListView& view)
{
    for (QMenu* m : view.findChildren<QMenu*>())
        if (m->isVisible())
            return m;
    return nullptr;
}

} // namespace

class TestDomListView : public QObject
{
    Q_OBJECT

    QDomDocument doc;
    std::unique_ptr<DomListView> view;

    // A shown view of kProject with tags folder and cpp, folders ranked first.
    void load(const QSize& size = QSize(240, 300))
    {
        QVERIFY(doc.setContent(QByteArray(kProject)));
        view = std::make_unique<DomListView>(nullptr, "tree");
        view->setTagSet({QStringLiteral("folder"), QStringLiteral("cpp")});
        view->setPixmap(QStringLiteral("folder"), solid(Qt::yellow));
        view->setPixmap(QStringLiteral("cpp"), solid(Qt::blue));
        view->setPixmap(QStringLiteral("project"), solid(Qt::red)); // tag not in the set
        view->setListOrder(QStringLiteral("folder"), 0);
        view->resize(size);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        view->setDomTree(doc.documentElement());
    }

private slots:
    void cleanup() { view.reset(); }

    void construction()
    {
        DomListView v(nullptr, "tree");
        QCOMPARE(v.objectName(), QString("tree"));
        QCOMPARE(v.columnCount(), 1);
        QCOMPARE(v.headerItem()->text(0), QString("Name"));
        QVERIFY(v.isHeaderHidden());
        QVERIFY(!v.rootIsDecorated());
        QCOMPARE(v.selectionMode(), QAbstractItemView::ExtendedSelection);
        QVERIFY(v.tagSet().isEmpty());
        QCOMPARE(v.listOrder(QStringLiteral("any")), 500);
        QVERIFY(v.pixmap(QStringLiteral("any")).isNull());
        QVERIFY(!v.actionGroup(QStringLiteral("any")));
        QCOMPARE(v.sortingAttribute(), QString("name"));
        QVERIFY(!v.tree());

        // A null node still gives one item, without text.
        v.setDomTree(QDomNode());
        QCOMPARE(v.topLevelItemCount(), 1);
        QCOMPARE(v.topLevelItem(0)->text(0), QString());
        QVERIFY(v.tree());
        v.clear();
        QCOMPARE(v.topLevelItemCount(), 0);
        QVERIFY(!v.tree());
    }

    void buildFromDocument()
    {
        load();
        // Tags outside the set (and all below them) get no item; folders
        // before files, then by name; the top item is open whatever it said.
        QCOMPARE(shape(*view), QString("P+[src+[a.cpp,b.cpp],zdir,main.cpp]"));
        QCOMPARE(view->tree(), view->topLevelItem(0));
        QCOMPARE(doc.documentElement().attribute("open"), QString("1"));
        QCOMPARE(element(doc, "zdir").hasAttribute("open"), false);
        QCOMPARE(view->tree()->node, QDomNode(doc.documentElement()));
        QCOMPARE(find(*view, "a.cpp")->node, QDomNode(element(doc, "a.cpp")));

        // Per-tag icons; the top tag is not in the set, so it has none.
        QVERIFY(view->tree()->icon(0).isNull());
        QCOMPARE(iconColour(find(*view, "src")), QColor(Qt::yellow));
        QCOMPARE(iconColour(find(*view, "main.cpp")), QColor(Qt::blue));

        // Siblings of the same rank sort by name, lower ranks first.
        view->setListOrder(QStringLiteral("cpp"), 0);
        view->syncToDom();
        QCOMPARE(shape(*view), QString("P+[main.cpp,src+[a.cpp,b.cpp],zdir]"));
    }

    void topItemWithoutOpenAttributeStartsClosed()
    {
        QDomDocument d;
        QVERIFY(d.setContent(QByteArray("<project name='Q'><cpp name='f'/></project>")));
        DomListView v;
        v.setTagSet({QStringLiteral("cpp")});
        v.setDomTree(d.documentElement());
        QCOMPARE(shape(v), QString("Q[f]"));
        QVERIFY(!d.documentElement().hasAttribute("open"));
    }

    void openingAndClosing()
    {
        load();
        QSignalSpy opened(view.get(), &DomListView::setNodeOpen);
        DomListViewItem* src = find(*view, "src");
        view->setCurrentItem(src);
        view->setFocus();

        QTest::keyClick(view.get(), Qt::Key_Left); // collapse
        QVERIFY(!src->isExpanded());
        QCOMPARE(element(doc, "src").attribute("open"), QString("0"));
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.at(0).at(0).value<QDomNode>(), QDomNode(element(doc, "src")));
        QCOMPARE(opened.at(0).at(1).toBool(), false);

        QTest::keyClick(view.get(), Qt::Key_Right); // expand
        QVERIFY(src->isExpanded());
        QCOMPARE(element(doc, "src").attribute("open"), QString("1"));
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened.at(1).at(1).toBool(), true);

        // The top item cannot be closed, yet the request is reported.
        view->collapseItem(view->tree());
        QVERIFY(view->tree()->isExpanded());
        QCOMPARE(doc.documentElement().attribute("open"), QString("1"));
        QCOMPARE(opened.size(), 3);
        QCOMPARE(opened.at(2).at(0).value<QDomNode>(), QDomNode(doc.documentElement()));
        QCOMPARE(opened.at(2).at(1).toBool(), false);
    }

    void keptInStepWithTheDocument()
    {
        load();
        QDomElement root = doc.documentElement();
        QDomElement src = element(doc, "src");
        DomListViewItem* bItem = find(*view, "b.cpp");

        src.removeChild(element(doc, "a.cpp"));        // removed
        src.appendChild(child(doc, "cpp", "c.cpp"));   // added
        QDomElement lib = child(doc, "folder", "lib"); // added with a shown child
        lib.appendChild(child(doc, "cpp", "l.cpp"));
        lib.setAttribute("open", "1");
        root.appendChild(lib);
        element(doc, "b.cpp").setAttribute("name", "bb.cpp"); // renamed
        root.appendChild(child(doc, "cpp", "main.cpp"));      // a namesake sibling
        element(doc, "zdir")
            .appendChild(root.removeChild(element(doc, "hidden"))); // unshown tag moved
        view->syncToDom();

        QCOMPARE(shape(*view),
                 QString("P+[lib+[l.cpp],src+[bb.cpp,c.cpp],zdir,main.cpp,main.cpp]"));
        QCOMPARE(find(*view, "bb.cpp"), bItem); // the renamed element keeps its item
        QCOMPARE(iconColour(find(*view, "l.cpp")), QColor(Qt::blue));

        // An element moved to another folder leaves its old place.
        QDomElement c = element(doc, "c.cpp");
        element(doc, "zdir").appendChild(c);
        view->syncToDom();
        QCOMPARE(shape(*view),
                 QString("P+[lib+[l.cpp],src+[bb.cpp],zdir[c.cpp],main.cpp,main.cpp]"));

        // An item whose node was cleared is dropped at the next
        // synchronisation; an element still in the document gets a fresh one.
        DomListViewItem* libItem = find(*view, "lib");
        libItem->setData(0, Qt::UserRole, QStringLiteral("old item"));
        libItem->node = QDomNode();
        view->syncToDom();
        QVERIFY(!find(*view, "lib")->data(0, Qt::UserRole).isValid());
        QCOMPARE(find(*view, "lib")->node, QDomNode(element(doc, "lib")));
        // As the project deletes: node cleared and element removed; the
        // items below it go too.
        find(*view, "lib")->node = QDomNode();
        root.removeChild(element(doc, "lib"));
        view->syncToDom();
        QCOMPARE(shape(*view), QString("P+[src+[bb.cpp],zdir[c.cpp],main.cpp,main.cpp]"));
        QVERIFY(!find(*view, "l.cpp"));
    }

    void clicksReturnAndEmptySpace()
    {
        load();
        QSignalSpy clicks(view.get(), &DomListView::click);
        QSignalSpy doubles(view.get(), &DomListView::doubleClick);
        QSignalSpy returns(view.get(), &DomListView::returnPressed);
        DomListViewItem* mainItem = find(*view, "main.cpp");
        const QDomNode mainNode = element(doc, "main.cpp");

        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centreOf(*view, mainItem));
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(clicks.at(0).at(0).value<QDomNode>(), mainNode);
        QCOMPARE(view->currentItem(), mainItem);

        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centreOf(*view, mainItem));
        QCOMPARE(doubles.size(), 1);
        QCOMPARE(doubles.at(0).at(0).value<QDomNode>(), mainNode);

        view->setFocus();
        QTest::keyClick(view.get(), Qt::Key_Return);
        QCOMPARE(returns.size(), 1);
        QCOMPARE(returns.at(0).at(0).value<QDomNode>(), mainNode);

        // Below the last item: a null node.
        const QPoint empty(20, view->viewport()->height() - 5);
        QVERIFY(!view->itemAt(empty));
        clicks.clear();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, empty);
        QCOMPARE(clicks.size(), 1);
        QVERIFY(clicks.at(0).at(0).value<QDomNode>().isNull());
    }

    void contextMenus()
    {
        load();
        QObject owner;
        vexa::ActionGroup files(&owner, "project/context/file");
        auto* openAction = new vexa::Action(QStringLiteral("Open"), QStringLiteral("&Open"),
                                            QKeySequence(), &owner, "open");
        files.add(openAction);
        view->setActionGroup(QStringLiteral("cpp"), &files);
        QCOMPARE(view->actionGroup(QStringLiteral("cpp")), &files);
        QSignalSpy rights(view.get(), &DomListView::rightClick);

        QTest::mouseClick(view->viewport(), Qt::RightButton, {},
                          centreOf(*view, find(*view, "a.cpp")));
        QCOMPARE(rights.size(), 1);
        QCOMPARE(rights.at(0).at(0).value<QDomNode>(), QDomNode(element(doc, "a.cpp")));
        QMenu* menu = shownMenu(*view);
        QVERIFY(menu);
        QCOMPARE(menu->actions(), QList<QAction*>{openAction});
        menu->hide();

        // Another item of the tag: the same menu object.
        QTest::mouseClick(view->viewport(), Qt::RightButton, {},
                          centreOf(*view, find(*view, "main.cpp")));
        QCOMPARE(rights.size(), 2);
        QCOMPARE(shownMenu(*view), menu);
        QCOMPARE(view->findChildren<QMenu*>().size(), 1);
        menu->hide();

        // A tag without a group: nothing at all.
        QTest::mouseClick(view->viewport(), Qt::RightButton, {},
                          centreOf(*view, find(*view, "src")));
        QCOMPARE(rights.size(), 2);
        QVERIFY(!shownMenu(*view));

        // Empty space: a null node, no menu.
        QTest::mouseClick(view->viewport(), Qt::RightButton, {},
                          QPoint(20, view->viewport()->height() - 5));
        QCOMPARE(rights.size(), 3);
        QVERIFY(rights.at(2).at(0).value<QDomNode>().isNull());
        QVERIFY(!shownMenu(*view));

        // A group set later for the tag is the one the menu shows.
        vexa::ActionGroup other(&owner, "other");
        auto* removeAction = new vexa::Action(QStringLiteral("Remove"), QStringLiteral("&Remove"),
                                              QKeySequence(), &owner, "remove");
        other.add(removeAction);
        view->setActionGroup(QStringLiteral("cpp"), &other);
        QTest::mouseClick(view->viewport(), Qt::RightButton, {},
                          centreOf(*view, find(*view, "a.cpp")));
        menu = shownMenu(*view);
        QVERIFY(menu);
        QCOMPARE(menu->actions(), QList<QAction*>{removeAction});
        menu->hide();
    }

    void columnFillsTheVisibleWidth()
    {
        load(QSize(200, 400));
        QVERIFY(!view->verticalScrollBar()->isVisible());
        QCOMPARE(view->columnWidth(0), view->width() - 2 * view->frameWidth());
        QCOMPARE(view->columnWidth(0), view->viewport()->width());

        // More items than fit: the scroll bar takes its width from the column.
        QDomElement src = element(doc, "src");
        for (int i = 0; i < 60; ++i)
            src.appendChild(child(doc, "cpp", QStringLiteral("f%1.cpp").arg(i, 2, 10, QChar('0'))));
        view->syncToDom();
        QTRY_VERIFY(view->verticalScrollBar()->isVisible());
        QCOMPARE(view->columnWidth(0), view->width() - 2 * view->frameWidth() -
                                           view->verticalScrollBar()->sizeHint().width());
        QCOMPARE(view->columnWidth(0), view->viewport()->width());
        QVERIFY(!view->horizontalScrollBar()->isVisible());

        // Resizing keeps it filled.
        view->resize(260, 400);
        QTRY_COMPARE(view->columnWidth(0), view->viewport()->width());
    }
};

QTEST_MAIN(TestDomListView)
#include "tst_domlistview.moc"

// The tags view: merging trees into the items shown, overloads, sorting in
// the three modes, clicks, context menus per type name.

#include "../shellfixture.h"
#include "../testeditor.h"
#include "treedump.h"

#include "vexa/actions.h"
#include "vexa/ctags/node.h"
#include "vexa/ctags/tagsview.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QMenu>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

using namespace vexa;

class TestTagsView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        shellfixture::useAppSettings();
        shell = new Shell(nullptr, "vexa::Shell");
        useTestEditors();
    }
    void cleanupTestCase() { delete shell; }

    void mergeKeepsWhatStays()
    {
        TagsView view;
        view.setSortingMode(1);
        view.sortItems(0, Qt::AscendingOrder);
        std::unique_ptr<Node> first(
            treeOf({"A 102 10", "  a1 103 11", "C 102 30", "  c1 103 31", "D 102 40"}));
        view.updateSubTree(nullptr, {first.get()});
        QCOMPARE(items(view.invisibleRootItem()), "A:10+[a1:11] C:30+[c1:31] D:40");
        view.topLevelItem(0)->setExpanded(false);
        QTreeWidgetItem* a = view.topLevelItem(0);
        QTreeWidgetItem* c = view.topLevelItem(1);

        std::unique_ptr<Node> second(treeOf(
            {"A 102 12", "  a1 103 13", "  a2 103 14", "B 102 20", "  b1 103 21", "C 102 32"}));
        view.updateSubTree(nullptr, {second.get()});
        // A keeps its closed state and gets a2; B comes open; C keeps its
        // item and loses its children; D goes.
        QCOMPARE(items(view.invisibleRootItem()), "A:12-[a1:13 a2:14] B:20+[b1:21] C:32");
        QCOMPARE(view.topLevelItem(0), a);
        QCOMPARE(view.topLevelItem(2), c);

        // By position: a moved symbol moves.
        view.setSortingMode(0);
        std::unique_ptr<Node> third(treeOf({"A 102 50", "B 102 20", "C 102 32"}));
        view.updateSubTree(nullptr, {third.get()});
        QCOMPARE(items(view.invisibleRootItem()), "B:20 C:32 A:50");
        // No tree: the level is cleared.
        view.updateSubTree(nullptr, {});
        QCOMPARE(view.topLevelItemCount(), 0);
    }

    void addedRowsComeSortedAndOpenWithTheirFirstChildren()
    {
        TagsView view;
        view.setSortingMode(1);
        std::unique_ptr<Node> first(treeOf({"m 102 10", "  y 103 11", "k 103 20"}));
        view.updateSubTree(nullptr, {first.get()});
        QCOMPARE(items(view.invisibleRootItem()), "k:20 m:10+[y:11]");
        // New names at both levels land in order without a sort by the
        // caller; k, made open while childless, opens with its first child.
        std::unique_ptr<Node> second(treeOf({"z 103 5", "m 102 10", "  x 103 12", "  y 103 11",
                                             "a 103 1", "k 103 20", "  k1 109 21"}));
        view.updateSubTree(nullptr, {second.get()});
        QCOMPARE(items(view.invisibleRootItem()), "a:1 k:20+[k1:21] m:10+[x:12 y:11] z:5");
        // A closed item stays closed through losing and regaining children.
        view.topLevelItem(1)->setExpanded(false);
        std::unique_ptr<Node> third(treeOf({"k 103 20"}));
        view.updateSubTree(nullptr, {third.get()});
        view.updateSubTree(nullptr, {second.get()});
        QCOMPARE(items(view.invisibleRootItem()), "a:1 k:20-[k1:21] m:10+[x:12 y:11] z:5");
        // Items made from several chains are not opened.
        TagsView several;
        std::unique_ptr<Node> one(treeOf({"p 103 1"}));
        std::unique_ptr<Node> two(treeOf({"q 102 2", "  q1 103 3"}));
        several.updateSubTree(nullptr, {one.get(), two.get()});
        QCOMPARE(items(several.invisibleRootItem()), "p:1 q:2-[q1:3]");
    }

    void overloadsPairInOrder()
    {
        TagsView view;
        std::unique_ptr<Node> first(treeOf({"f 103 10", "  x 109 11", "f 103 20", "  y 109 21"}));
        view.updateSubTree(nullptr, {first.get()});
        QCOMPARE(items(view.invisibleRootItem()), "f:10+[x:11] f:20+[y:21]");
        std::unique_ptr<Node> second(treeOf({"f 103 12", "  x 109 13", "f 103 22", "  y 109 23"}));
        QTreeWidgetItem* one = view.topLevelItem(0);
        view.updateSubTree(nullptr, {second.get()});
        QCOMPARE(items(view.invisibleRootItem()), "f:12+[x:13] f:22+[y:23]");
        QCOMPARE(view.topLevelItem(0), one);
        // One overload fewer: the second item goes.
        std::unique_ptr<Node> third(treeOf({"f 103 12"}));
        view.updateSubTree(nullptr, {third.get()});
        QCOMPARE(items(view.invisibleRootItem()), "f:12");
        // A click on the first overload goes to it.
        QSignalSpy go(&view, &TagsView::gotoTextPos);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                          view.visualItemRect(view.topLevelItem(0)).center());
        QCOMPARE(go.size(), 1);
        QCOMPARE(go.at(0).at(0).toInt(), 12);
        QCOMPARE(go.at(0).at(1).toString(), QString());
    }

    void kindChangeUpdatesIconAndType()
    {
        TagsView view;
        std::unique_ptr<Node> first(treeOf({"f 110 10"}));
        view.updateSubTree(nullptr, {first.get()});
        auto* item = static_cast<TagsViewItem*>(view.topLevelItem(0));
        QCOMPARE(item->typeName, QStringLiteral("Prototipe"));
        std::unique_ptr<Node> second(treeOf({"f 103 10"}));
        view.updateSubTree(nullptr, {second.get()});
        QCOMPARE(item->typeName, QStringLiteral("Function"));
        QVERIFY(!item->icon(0).isNull());
        QCOMPARE(item->type(), 1200341);
        // "No tags found": no type, no icon.
        std::unique_ptr<Node> none(treeOf({"No 0 0"}));
        view.updateSubTree(nullptr, {none.get()});
        item = static_cast<TagsViewItem*>(view.topLevelItem(0));
        QVERIFY(item->typeName.isEmpty());
        QVERIFY(item->icon(0).isNull());
    }

    void sortModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("order");
        QTest::newRow("0: positions as numbers") << 0 << "b c _z Alpha a_b Beta";
        QTest::newRow("1: names, _ as 1") << 1 << "_z Alpha Beta a_b b c";
        QTest::newRow("2: classes first") << 2 << "Alpha Beta b c _z a_b";
    }
    void sortModes()
    {
        QFETCH(int, mode);
        QFETCH(QString, order);
        TagsView view;
        view.setSortingMode(mode);
        std::unique_ptr<Node> t(treeOf({"Beta 102 2000000", "a_b 103 1500000", "b 103 5",
                                        "_z 109 999999", "Alpha 102 1000000", "c 103 70"}));
        view.updateSubTree(nullptr, {t.get()});
        view.sortItems(0, Qt::AscendingOrder);
        QStringList got;
        for (int i = 0; i < view.topLevelItemCount(); ++i)
            got << view.topLevelItem(i)->text(0);
        QCOMPARE(got.join(' '), order);
    }

    void contextMenusPerType()
    {
        TagsView view;
        view.resize(300, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        ActionGroup* g1 = Shell::self()->actionGroup(QStringLiteral("test/context/function"));
        Action* open = Actions::createAction(QStringLiteral("Open"), QStringLiteral("Test/open"),
                                             QKeySequence(), nullptr, nullptr);
        g1->add(open);
        view.installHelper(QStringLiteral("Function"), g1);
        std::unique_ptr<Node> t(treeOf({"f 103 5", "V 109 9"}));
        view.updateSubTree(nullptr, {t.get()});

        // A right click beside the items takes the current item.
        view.setCurrentItem(view.topLevelItem(0));
        const QPoint beside(150, 290);
        QVERIFY(!view.itemAt(beside));
        Q_EMIT view.customContextMenuRequested(beside);
        QMenu* menu = view.contextMenu(QStringLiteral("Function"));
        QVERIFY(menu);
        QVERIFY(menu->actions().contains(open));
        menu->hide();
        // Built once: a later group for the same type changes nothing.
        ActionGroup* g2 = Shell::self()->actionGroup(QStringLiteral("test/context/other"));
        view.installHelper(QStringLiteral("Function"), g2);
        Q_EMIT view.customContextMenuRequested(view.visualItemRect(view.topLevelItem(0)).center());
        QCOMPARE(view.contextMenu(QStringLiteral("Function")), menu);
        menu->hide();
        // A type without a group: no menu.
        Q_EMIT view.customContextMenuRequested(view.visualItemRect(view.topLevelItem(1)).center());
        QVERIFY(!view.contextMenu(QStringLiteral("Variable")));

        // Open does what a click on the current item does.
        QSignalSpy go(&view, &TagsView::gotoTextPos);
        view.setCurrentItem(view.topLevelItem(1));
        view.openCurrent();
        QCOMPARE(go.size(), 1);
        QCOMPARE(go.at(0).at(0).toInt(), 9);
    }

    void deepTreeAndManyNames()
    {
        // 10,000 levels: the view nests kMaxDepth of them, the rest are
        // shown on the deepest level, in order, after a note. Merged again
        // nothing changes; the note goes once the tree is shallow enough.
        const int levels = 10000;
        QStringList lines;
        for (int i = 0; i < levels; ++i)
            lines << QString(i * 2, QLatin1Char(' ')) + QStringLiteral("n%1 102 %1").arg(i);
        std::unique_ptr<Node> deep(treeOf(lines));
        TagsView view;
        view.updateSubTree(nullptr, {deep.get()});
        auto deepest = [&] {
            QTreeWidgetItem* it = view.topLevelItem(0);
            int depth = 1;
            while (it->childCount() && it->child(it->childCount() - 1)->childCount()) {
                it = it->child(it->childCount() - 1);
                ++depth;
            }
            return std::pair(it, depth + 1);
        };
        auto [flat, depth] = deepest();
        QCOMPARE(depth, TagsView::kMaxDepth);
        QCOMPARE(flat->childCount(), levels - TagsView::kMaxDepth + 2);
        QCOMPARE(flat->child(0)->type(), int(TagsViewItem::NoteType));
        QCOMPARE(flat->child(0)->text(0),
                 QStringLiteral("Nested deeper than 32 levels: shown flattened"));
        QCOMPARE(flat->child(1)->text(0), QStringLiteral("n%1").arg(TagsView::kMaxDepth - 1));
        QCOMPARE(flat->child(levels - TagsView::kMaxDepth + 1)->text(0),
                 QStringLiteral("n%1").arg(levels - 1));
        QTreeWidgetItem* last = flat->child(flat->childCount() - 1);
        view.updateSubTree(nullptr, {deep.get()});
        QCOMPARE(deepest().first, flat);
        QCOMPARE(flat->child(flat->childCount() - 1), last);
        QCOMPARE(flat->childCount(), levels - TagsView::kMaxDepth + 2);
        // A click on the note goes nowhere.
        QSignalSpy go(&view, &TagsView::gotoTextPos);
        view.setCurrentItem(flat->child(0));
        view.openCurrent();
        QCOMPARE(go.size(), 0);
        lines = lines.mid(0, TagsView::kMaxDepth);
        std::unique_ptr<Node> shallow(treeOf(lines));
        view.updateSubTree(nullptr, {shallow.get()});
        QCOMPARE(deepest().second, TagsView::kMaxDepth);
        QCOMPARE(deepest().first->childCount(), 1);
        QCOMPARE(deepest().first->child(0)->type(), int(TagsViewItem::Type));

        QStringList same;
        for (int i = 0; i < 500; ++i)
            same << QStringLiteral("x 103 %1").arg(i);
        std::unique_ptr<Node> many(treeOf(same));
        view.updateSubTree(nullptr, {many.get()});
        QCOMPARE(view.topLevelItemCount(), 500);
    }

    // A merge in slices ends with the tree a merge in one go gives, keeps
    // the items the user opened, closed and selected, and a newer merge of
    // either kind takes over from it where it stands.
    void slicedMerge_data()
    {
        QTest::addColumn<int>("superseder"); // 0: none, 1: sliced, 2: in one go
        QTest::newRow("alone") << 0;
        QTest::newRow("superseded by a sliced merge") << 1;
        QTest::newRow("superseded by a merge in one go") << 2;
    }
    void slicedMerge()
    {
        QFETCH(int, superseder);
        // Classes of members; each version renames, drops, adds and moves
        // some of them, nests one level deeper in places.
        auto version = [](int v) {
            QStringList lines;
            for (int c = 0; c < 40; ++c) {
                if ((c + v) % 11 == 0)
                    continue;
                const QString cls = c % 7 == v ? QStringLiteral("Renamed%1_%2").arg(c).arg(v)
                                               : QStringLiteral("Class%1").arg(c);
                lines << QStringLiteral("%1 102 %2").arg(cls).arg(c * 100 + v);
                for (int m = 0; m < 12 + v; ++m) {
                    lines
                        << QStringLiteral("  m%1 103 %2").arg((m * (v + 1)) % 15).arg(c * 100 + m);
                    if ((m + c + v) % 9 == 0)
                        lines << QStringLiteral("    local%1 109 %2").arg(v).arg(c * 100 + m);
                }
            }
            return std::unique_ptr<Node>(treeOf(lines));
        };
        const auto v0 = version(0), v1 = version(1), v2 = version(2);
        Node* last = superseder ? v2.get() : v1.get();

        TagsView sliced, whole;
        sliced.updateSubTree(nullptr, {v0.get()});
        whole.updateSubTree(nullptr, {v0.get()});
        // The user closes a class and selects a member; both views alike.
        for (TagsView* view : {&sliced, &whole}) {
            view->findItems(QStringLiteral("Class3"), Qt::MatchExactly).at(0)->setExpanded(false);
            QTreeWidgetItem* cls =
                view->findItems(QStringLiteral("Class5"), Qt::MatchExactly).at(0);
            view->setCurrentItem(cls->child(2));
        }
        QSignalSpy merged(&sliced, &TagsView::merged);
        // No time per slice: each slice is the fewest steps there are.
        sliced.mergeInSlices({v1.get()}, 0);
        QVERIFY(sliced.isMerging());
        QCoreApplication::processEvents();
        QVERIFY(sliced.isMerging());
        if (superseder == 1)
            sliced.mergeInSlices({v2.get()}, 0);
        else if (superseder == 2)
            sliced.updateSubTree(nullptr, {v2.get()});
        QTRY_VERIFY(!sliced.isMerging());
        QCOMPARE(merged.size(), 1);
        whole.updateSubTree(nullptr, {last});

        QCOMPARE(items(sliced.invisibleRootItem()), items(whole.invisibleRootItem()));
        QVERIFY(!sliced.findItems(QStringLiteral("Class3"), Qt::MatchExactly).at(0)->isExpanded());
        QTreeWidgetItem* current = sliced.currentItem();
        QVERIFY(current);
        QCOMPARE(current->parent()->text(0), QStringLiteral("Class5"));
        QCOMPARE(current->text(0), whole.currentItem()->text(0));
        QVERIFY(current->isSelected());
        // Nothing more comes from the event loop.
        QCoreApplication::processEvents();
        QCOMPARE(merged.size(), 1);
        QCOMPARE(items(sliced.invisibleRootItem()), items(whole.invisibleRootItem()));
    }

    // Rows without children are laid out as leaves; one that gains children
    // shows them open or closed as before and can be opened and closed, and
    // an open one keeps its state while it has none.
    void rowsGainAndLoseChildren_data()
    {
        QTest::addColumn<bool>("inSlices");
        QTest::newRow("in one go") << false;
        QTest::newRow("in slices") << true;
    }
    void rowsGainAndLoseChildren()
    {
        QFETCH(bool, inSlices);
        TagsView view;
        auto merge = [&](Node* root) {
            if (!inSlices) {
                view.updateSubTree(nullptr, {root});
                return true;
            }
            view.mergeInSlices({root}, 0);
            return QTest::qWaitFor([&] { return !view.isMerging(); }, 10000);
        };
        std::unique_ptr<Node> one(treeOf({"k 103 20", "p 102 30", "  p1 103 31"}));
        std::unique_ptr<Node> two(treeOf({"k 103 20", "  k1 109 21", "p 102 30"}));
        QVERIFY(merge(one.get()));
        QCOMPARE(items(view.invisibleRootItem()), "k:20 p:30+[p1:31]");
        QTreeWidgetItem* k = view.topLevelItem(0);
        QTreeWidgetItem* p = view.topLevelItem(1);

        // k gains a child and opens with it; p loses its child, still open.
        QVERIFY(merge(two.get()));
        QCOMPARE(items(view.invisibleRootItem()), "k:20+[k1:21] p:30");
        QVERIFY(p->isExpanded());
        view.collapseItem(k);
        QVERIFY(!k->isExpanded());
        view.expandItem(k);
        QVERIFY(k->isExpanded());

        // p comes back open; k, closed by the user, comes back closed.
        view.collapseItem(k);
        QVERIFY(merge(one.get()));
        QCOMPARE(items(view.invisibleRootItem()), "k:20 p:30+[p1:31]");
        QVERIFY(merge(two.get()));
        QCOMPARE(items(view.invisibleRootItem()), "k:20-[k1:21] p:30");
        view.expandItem(k);
        QVERIFY(k->isExpanded());
        QCOMPARE(view.topLevelItem(0), k);
        QCOMPARE(view.topLevelItem(1), p);
    }

private:
    Shell* shell = nullptr;
};

QTEST_MAIN(TestTagsView)
#include "tst_tagsview.moc"

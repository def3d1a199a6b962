#include "vexa/actions.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using vexa::Action;
using vexa::ActionGroup;
using vexa::Actions::action;
using vexa::Actions::createAction;

class Receiver : public QObject
{
    Q_OBJECT
public:
    QStringList calls;
public Q_SLOTS:
    void saveAs() { calls << "saveAs"; }
    void fire() { calls << sender()->objectName(); }
    void setFlag(bool on) { calls << QStringLiteral("flag:%1").arg(on); }
};

class TestActions : public QObject
{
    Q_OBJECT
    QMainWindow* window = nullptr;
    Receiver receiver;

    static QStringList menuLayout(QMenu* m)
    {
        QStringList out;
        for (QAction* a : m->actions())
            out << (a->isSeparator() ? QStringLiteral("-")
                    : a->menu()
                        ? QStringLiteral("[%1: %2]").arg(a->text(), menuLayout(a->menu()).join(' '))
                        : a->text());
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Made before the window exists: adopted once it is set.
        createAction("&Early", "Test/early", Qt::CTRL | Qt::Key_E, &receiver, SLOT(fire()));
        QVERIFY(!action("Test/early")->parent());
        window = new QMainWindow;
        vexa::Actions::setMainWindow(window);
        QCOMPARE(action("Test/early")->parent(), window);
        QVERIFY(window->actions().contains(action("Test/early")));
    }
    void cleanupTestCase() { delete window; }

    void createRules()
    {
        Action* a = createAction("Save &as...", "Editors/saveAs", 0, &receiver, SLOT(saveAs()));
        QCOMPARE(a->text(), QStringLiteral("Save &as..."));
        QCOMPARE(a->iconText(), QStringLiteral("Save as"));
        QCOMPARE(a->toolTip(), QStringLiteral("Save as"));
        QVERIFY(a->shortcut().isEmpty());
        QVERIFY(!a->isCheckable());
        QCOMPARE(a->objectName(), QStringLiteral("Editors/saveAs"));
        QCOMPARE(a->parent(), window);
        QCOMPARE(action("Editors/saveAs"), a);
        QVERIFY(!action("editors/saveas"));
        QVERIFY(!action("Editors/saveAs "));
        receiver.calls.clear();
        a->trigger();
        QCOMPARE(receiver.calls, QStringList{"saveAs"});

        Action* t = createAction("&Wrap", "Editors/wrap", 0, &receiver, SLOT(setFlag(bool)));
        QVERIFY(t->isCheckable());
        receiver.calls.clear();
        t->trigger();
        t->trigger();
        QCOMPARE(receiver.calls, (QStringList{"flag:1", "flag:0"}));

        // The newest action under a name wins; the older one stays alive.
        Action* again = createAction("Save &as...", "Editors/saveAs", 0, &receiver, SLOT(saveAs()));
        QCOMPARE(action("Editors/saveAs"), again);
        QCOMPARE(a->parent(), window);
    }

    void groupTree()
    {
        ActionGroup A(nullptr, "A"), B(nullptr, "B"), C(nullptr, "C"), D(nullptr, "D"),
            empty(nullptr, "E"), emptyChild(nullptr, "F");
        Action a1(nullptr, "a1"), a2(nullptr, "a2"), b1(nullptr, "b1"), c1(nullptr, "c1"),
            d1(nullptr, "d1");
        A.add(&a1);
        A.add(&B);
        A.addSeparator();
        A.add(&a2);
        A.add(&C);
        B.add(&b1);
        C.add(&c1);
        C.add(&D);
        D.add(&d1);
        QCOMPARE(A.actions(), (QList<Action*>{&a1, &a2, &b1, &c1, &d1}));
        QCOMPARE(A.count(), 5);
        QCOMPARE(A.groups(), (QList<ActionGroup*>{&B, &C}));
        empty.add(&emptyChild);
        empty.addSeparator();
        QCOMPARE(empty.count(), 0);
        // No duplicate check: listed twice.
        B.add(&b1);
        QCOMPARE(A.actions(), (QList<Action*>{&a1, &a2, &b1, &b1, &c1, &d1}));

        // Adding by name; an unknown name is refused with a warning.
        Action* named = createAction("Na&med", "Test/named", 0, nullptr, nullptr);
        empty.add(QStringLiteral("Test/named"));
        QTest::ignoreMessage(QtWarningMsg, "vexa::ActionGroup::add: no action named 'Test/nope'");
        empty.add(QStringLiteral("Test/nope"));
        QCOMPARE(empty.actions(), QList<Action*>{named});
    }

    void menusAndToolBars()
    {
        ActionGroup top(nullptr, "menu/File"), open(nullptr, "menu/File/Open"),
            drop(nullptr, "menu/File/Open/Recent"), quit(nullptr, "menu/File/Quit");
        drop.setMenuText("&Recent");
        drop.setUsesDropDown(true);
        Action n("New", "&New", 0, nullptr), o("Open", "&Open", 0, nullptr),
            r1("one", "one", 0, nullptr), r2("two", "two", 0, nullptr),
            q("Quit", "&Quit", 0, nullptr);
        top.add(&n);
        top.add(&open);
        top.add(&quit);
        open.add(&o);
        open.add(&drop);
        drop.add(&r1);
        drop.addSeparator();
        drop.add(&r2);
        quit.addSeparator();
        quit.add(&q);

        auto* menu = new QMenu;
        top.addTo(menu);
        QCOMPARE(menuLayout(menu),
                 (QStringList{"&New", "&Open", "[&Recent: one - two]", "-", "&Quit"}));
        QCOMPARE(o.menus.last(), menu);
        QVERIFY(menu->actions().contains(&o));
        QVERIFY(r1.menus.last() != menu);
        QCOMPARE(r1.menus.last()->menuAction()->text(), QStringLiteral("&Recent"));
        delete menu; // destroyed menus leave the lists
        QVERIFY(o.menus.isEmpty());
        QVERIFY(r1.menus.isEmpty());

        o.setUsesTextLabel(true);
        auto* bar = new QToolBar;
        top.addTo(bar);
        QCOMPARE(n.toolbuttons.size(), 1);
        QCOMPARE(o.toolbuttons.size(), 1);
        QToolButton* ob = o.toolbuttons.first();
        QCOMPARE(ob->defaultAction(), &o);
        QCOMPARE(ob->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        QCOMPARE(n.toolbuttons.first()->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QVERIFY(ob->minimumWidth() >= 24 && ob->minimumHeight() >= 24);
        // The drop-down group is one button with its menu.
        QToolButton* dropButton = nullptr;
        for (QAction* a : bar->actions())
            if (a->menu())
                dropButton = qobject_cast<QToolButton*>(bar->widgetForAction(a));
        QVERIFY(dropButton);
        QCOMPARE(dropButton->popupMode(), QToolButton::InstantPopup);
        QMenu* dropMenu = dropButton->defaultAction()->menu();
        QVERIFY(dropMenu);
        QCOMPARE(menuLayout(dropMenu), (QStringList{"one", "-", "two"}));
        // Options set later don't change buttons made before.
        n.setUsesTextLabel(true);
        n.setTextPosition(Action::BelowIcon);
        QCOMPARE(n.toolbuttons.first()->toolButtonStyle(), Qt::ToolButtonIconOnly);
        auto* bar2 = new QToolBar;
        n.addTo(bar2);
        QCOMPARE(n.toolbuttons.size(), 2);
        QCOMPARE(n.toolbuttons.last()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        delete bar;
        QCOMPARE(n.toolbuttons.size(), 1);
        QVERIFY(o.toolbuttons.isEmpty());
        delete bar2;
        QVERIFY(n.toolbuttons.isEmpty());
    }

    void exclusiveAndVisible()
    {
        ActionGroup docks(nullptr, "docks/left", true), sub(nullptr, "sub");
        Action files(nullptr, "files", true), project(nullptr, "project", true),
            plain(nullptr, "plain", true);
        docks.add(&files);
        docks.add(&project);
        docks.add(&sub);
        sub.add(&plain);
        QVERIFY(docks.isExclusive());
        QVERIFY(!files.isChecked() && !project.isChecked()); // none on at first
        files.trigger();
        QVERIFY(files.isChecked());
        project.trigger();
        QVERIFY(project.isChecked());
        QVERIFY(!files.isChecked());
        project.trigger(); // the one that is on stays on
        QVERIFY(project.isChecked());
        plain.trigger(); // a sub-group's toggle is not part of the set
        QVERIFY(plain.isChecked() && project.isChecked());

        // A group made exclusive after its actions were added.
        ActionGroup later(nullptr, "later");
        Action x(nullptr, "x", true), y(nullptr, "y", true);
        later.add(&x);
        later.add(&y);
        later.setExclusive(true);
        x.trigger();
        y.trigger();
        QVERIFY(!x.isChecked() && y.isChecked());

        docks.setVisible(false);
        QVERIFY(!files.isVisible() && !project.isVisible() && !plain.isVisible());
        QVERIFY(!docks.isVisible() && !sub.isVisible());
        docks.setVisible(true);
        QVERIFY(files.isVisible() && plain.isVisible());
    }

    void everyShortcutFiresInTheWindow()
    {
        struct Key {
            const char* name;
            QKeyCombination key;
        };
        const Key keys[] = {
            {"Shell/exit", Qt::CTRL | Qt::Key_Q},
            {"Shell/showHideLeftPanel", Qt::CTRL | Qt::Key_L},
            {"Shell/showHideBottomPanel", Qt::CTRL | Qt::Key_D},
            {"Editors/find", Qt::CTRL | Qt::Key_F},
            {"Editors/findNext", QKeyCombination(Qt::Key_F3)},
            {"Search/inFiles", Qt::CTRL | Qt::SHIFT | Qt::Key_F},
            {"Editors/save", Qt::CTRL | Qt::Key_S},
            {"Test/early", Qt::CTRL | Qt::Key_E},
        };
        QMenu* fileMenu = window->menuBar()->addMenu("&File");
        QToolBar* bar = window->addToolBar("File");
        ActionGroup group(window, "menu/File");
        for (const Key& k : keys) {
            if (!action(k.name))
                createAction(QString::fromLatin1(k.name), k.name, k.key, &receiver, SLOT(fire()));
            group.add(action(k.name));
        }
        Action* toggle = createAction("&Messages", "bottomDock/messages", Qt::CTRL | Qt::Key_M,
                                      &receiver, SLOT(setFlag(bool)));
        group.add(toggle);
        // Also placed in a menu and a tool bar: still one shortcut each, not ambiguous.
        group.addTo(fileMenu);
        group.addTo(bar);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));

        for (const Key& k : keys) {
            receiver.calls.clear();
            QTest::keyClick(window, k.key.key(), k.key.keyboardModifiers());
            QCOMPARE(receiver.calls, QStringList{QString::fromLatin1(k.name)});
        }
        receiver.calls.clear();
        QTest::keyClick(window, Qt::Key_M, Qt::ControlModifier);
        QTest::keyClick(window, Qt::Key_M, Qt::ControlModifier);
        QCOMPARE(receiver.calls, (QStringList{"flag:1", "flag:0"}));
    }
};

QTEST_MAIN(TestActions)
#include "tst_actions.moc"

// The main window as the program brings it up: menus, tool bars and docks
// assembled from the action groups, the exit command, the state kept across
// restarts, and the dock and focus handshakes.

#include "shellfixture.h"
#include "testeditor.h"
#include "testsandbox.h"

#include "vexa/actions.h"
#include "vexa/bookmarks/bookmarks.h"
#include "vexa/editors/editors.h"
#include "vexa/explorer/explorerpanel.h"
#include "vexa/filetype.h"
#include "vexa/message.h"
#include "vexa/project/project.h"
#include "vexa/runmake.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/widgets/domlistview.h"
#include "vexa/widgets/splitter.h"
#include "vexa/widgets/widgetstack.h"
#include "xqwidgets/xqfileoperator/fileoperator.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

using namespace vexa;

namespace
{
// The main window's built-in size needs a screen larger than the offscreen
// platform's own.
const bool screenReady = (testsandbox::useScreen(1280, 1024), true);

QStringList menuTitles(Shell* s)
{
    QStringList titles;
    for (QAction* a : s->menuBar()->actions())
        titles.append(a->text().remove(QLatin1Char('&')));
    return titles;
}

QStringList toolBarTitles(Shell* s)
{
    QStringList titles;
    for (QToolBar* tb : s->findChildren<QToolBar*>()) {
        if (s->toolBarArea(tb) == Qt::TopToolBarArea && tb->parentWidget() == s)
            titles.append(tb->windowTitle());
    }
    return titles;
}

QStringList actionNames(QWidget* w)
{
    QStringList names;
    for (QAction* a : w->actions())
        if (!a->objectName().isEmpty()) // not the stretch at the end
            names.append(a->objectName());
    return names;
}
} // namespace

class TestShell : public QObject
{
    Q_OBJECT
private:
    QPointer<Shell> current;

    // What the entry function does between building the window and the event loop.
    Shell* start()
    {
        Shell* shell = nullptr;
        if (!shellfixture::openShell(shell, shellfixture::Titled | shellfixture::TestEditors |
                                                shellfixture::Services | shellfixture::Shown))
            qWarning("window not exposed");
        current = shell;
        return shell;
    }

private Q_SLOTS:
    void initTestCase() { shellfixture::useAppSettings(); }
    void init() { shellfixture::clearSettings(true); }
    void cleanup()
    {
        Message::setResponder({});
        // A failed check leaves its window behind; the next test needs its own.
        delete current;
    }

    void startsWithMenusToolBarsAndDocks()
    {
        Shell* shell = start();
        QCOMPARE(Shell::self(), shell);
        QCOMPARE(menuTitles(shell),
                 QStringList({"File", "Edit", "View", "Search", "Project", "Options", "Window"}));
        QCOMPARE(toolBarTitles(shell), QStringList({"File", "Edit", "Search", "Run"}));

        // First start: the built-in geometry, both docks shown.
        QCOMPARE(shell->pos(), QPoint(50, 50));
        QCOMPARE(shell->size(), QSize(900, 700));
        QVERIFY(shell->leftDockWidget()->isVisible());
        QVERIFY(shell->bottomDockWidget()->isVisible());

        // Three left panels in start-up order, with their tab buttons; the
        // bottom dock has one panel and so no tab strip.
        QCOMPARE(actionNames(shell->leftDockTab()),
                 QStringList({"leftDock/files", "leftDock/project", "leftDock/classes"}));
        QVERIFY(shell->leftDockTab()->isVisible());
        QCOMPARE(shell->leftDock()->count(), 4); // files, project tree and list, tags
        QCOMPARE(actionNames(shell->bottomDockTab()), QStringList({"bottomDock/messages"}));
        QVERIFY(!shell->bottomDockTab()->isVisible());

        // Help is appended by the window itself: it shows, last, once it holds
        // an action; a menu first named later comes after it.
        Action* about =
            Actions::createAction(QStringLiteral("&About"), QStringLiteral("Test/about"),
                                  QKeySequence(), nullptr, nullptr);
        shell->actionGroup(QStringLiteral("menu/Help/Std"))->add(about);
        shell->actionGroup(QStringLiteral("menu/Late/Std"))->add(about);
        shell->actionGroup(QStringLiteral("menu/Help/Std"))->addSeparator();
        shell->rebuildUI();
        QCOMPARE(menuTitles(shell), QStringList({"File", "Edit", "View", "Search", "Project",
                                                 "Options", "Window", "Help", "Late"}));
        QCOMPARE(toolBarTitles(shell).size(), 4); // the previous tool bars are gone
        delete shell;
    }

    void actionGroupPaths()
    {
        Shell* shell = start();
        ActionGroup* quit = shell->actionGroup(QStringLiteral("menu/File/Quit"));
        QVERIFY(quit);
        QCOMPARE(quit->objectName(), QStringLiteral("menu/File/Quit"));
        QCOMPARE(quit->menuText(), QStringLiteral("Quit"));
        // Stray slashes name the group of the cleaned path instead of nothing.
        QCOMPARE(shell->actionGroup(QStringLiteral("/menu/File/Quit")), quit);
        QCOMPARE(shell->actionGroup(QStringLiteral("menu//File/Quit/")), quit);
        ActionGroup* fresh = shell->actionGroup(QStringLiteral("//extra//group/"));
        QVERIFY(fresh);
        QCOMPARE(shell->actionGroup(QStringLiteral("extra/group")), fresh);
        QCOMPARE(shell->actionGroup(QString()), nullptr);
        QCOMPARE(shell->actionGroup(QStringLiteral("///")), nullptr);
        // Case-sensitive: two sibling groups.
        QVERIFY(shell->actionGroup(QStringLiteral("menu/Edit/std")) !=
                shell->actionGroup(QStringLiteral("menu/Edit/Std")));
        QVERIFY(shell->actionGroup(QStringLiteral("menu/File"))->groups().contains(quit));
        delete shell;
    }

    void ctrlQExitsWithZero()
    {
        Shell* shell = start();
        QApplication::setActiveWindow(shell);
        QVERIFY(QTest::qWaitForWindowActive(shell));
        // A loop that nothing but the exit command ends with 0.
        QTimer::singleShot(0, shell,
                           [shell]() { QTest::keyClick(shell, Qt::Key_Q, Qt::ControlModifier); });
        QTimer::singleShot(120000, shell, []() { QApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(Editors::self()->editors().isEmpty());
        delete shell;
    }

    void exitCancelledKeepsEditors()
    {
        Shell* shell = start();
        QApplication::setActiveWindow(shell);
        QVERIFY(QTest::qWaitForWindowActive(shell));
        auto* e = qobject_cast<TestEditor*>(Editors::self()->current());
        QVERIFY(e);
        e->edit->insertPlainText(QStringLiteral("unsaved"));
        QVERIFY(e->isModified());
        int asked = 0;
        Message::setResponder([&asked](QMessageBox* box) -> QAbstractButton* {
            ++asked;
            return box->button(QMessageBox::Cancel);
        });
        QTest::keyClick(shell, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(asked, 1);
        QCOMPARE(Editors::self()->editors().size(), 1);
        QCOMPARE(Editors::self()->current(), e);
        QCOMPARE(e->text(), QStringLiteral("unsaved"));
        // A close request from the window manager takes the same road.
        shell->close();
        QCOMPARE(asked, 2);
        QVERIFY(shell->isVisible());
        QCOMPARE(Editors::self()->editors().size(), 1);
        delete shell;
    }

    void exitDuringFileOperation_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("quits");
        QTest::newRow("abort and quit") << 0 << true;
        QTest::newRow("cancel") << 1 << false;
    }

    void exitDuringFileOperation()
    {
        QFETCH(int, answer);
        QFETCH(bool, quits);
        Shell* shell = start();
        QApplication::setActiveWindow(shell);
        QVERIFY(QTest::qWaitForWindowActive(shell));
        QTemporaryDir dir;
        for (int i = 0; i < 5; ++i) {
            QFile f(dir.filePath(QStringLiteral("src/f%1").arg(i)));
            QVERIFY(QDir().mkpath(dir.filePath("src")) && f.open(QIODevice::WriteOnly));
            f.write("data");
        }
        QVERIFY(QDir().mkpath(dir.filePath("dest")));
        QStringList texts;
        Message::setResponder([&](QMessageBox* box) -> QAbstractButton* {
            texts << box->text();
            return box->buttons().value(answer);
        });
        auto* op = xqwidgets::FileOperator::self();
        QCOMPARE(op->parent(), shell);
        int writes = 0;
        op->setIoHook([&](xqwidgets::FileOperator::IoStep step, const QByteArray&, qint64) {
            if (step == xqwidgets::FileOperator::WriteStep && ++writes == 2)
                QTest::keyClick(shell, Qt::Key_Q, Qt::ControlModifier);
            return 0;
        });
        const bool copied = op->copy({dir.filePath("src")}, dir.filePath("dest"));
        op->setIoHook({});
        QCOMPARE(texts, QStringList{"A file operation is running. Abort it and quit?"});
        QCOMPARE(copied, !quits);
        QCOMPARE(QDir(dir.filePath("dest/src")).count() - 2, quits ? 2u : 5u);
        QCOMPARE(Editors::self()->editors().isEmpty(), quits);
        delete shell;
        // The exit asked for ended no event loop, since none ran: a loop
        // run here takes it, or every later modal dialog of this process
        // would close as soon as it opens.
        if (quits) {
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
            QApplication::exec();
        }
    }

    void stateSurvivesRestart()
    {
        QList<int> vSizes, hSizes;
        {
            Shell* shell = start();
            shell->move(120, 80);
            shell->resize(1000, 650);
            QTRY_COMPARE(shell->size(), QSize(1000, 650));
            auto* v = shell->findChild<Splitter*>(QStringLiteral("vSplitter"));
            auto* h = shell->findChild<Splitter*>(QStringLiteral("hSplitter"));
            QVERIFY(v && h);
            v->setSizes({310, 680});
            h->setSizes({420, 150});
            vSizes = v->sizes();
            hSizes = h->sizes();
            QVERIFY(vSizes.first() != 200);
            Project::self()->makeVisible();
            QCOMPARE(shell->leftDock()->visibleWidget(), Project::self()->recentPage());
            shell->bottomDockShowHide();
            QVERIFY(shell->bottomDockWidget()->isHidden());
            delete shell;
        }
        QCOMPARE(Settings::readNum(QStringLiteral("/geometry/x")), 120);
        QCOMPARE(Settings::readBool(QStringLiteral("/geometry/bottomDockShown"), true), false);
        QCOMPARE(Settings::readNum(QStringLiteral("/geometry/leftDockPanelID"), -1), 2);
        // A hidden dock keeps the page id of an earlier run.
        bool hasBottomId = false;
        Settings::readNum(QStringLiteral("/geometry/bottomDockPanelID"), 0, &hasBottomId);
        QVERIFY(!hasBottomId);

        Shell* shell = start();
        QCOMPARE(shell->pos(), QPoint(120, 80));
        QCOMPARE(shell->size(), QSize(1000, 650));
        auto* v = shell->findChild<Splitter*>(QStringLiteral("vSplitter"));
        auto* h = shell->findChild<Splitter*>(QStringLiteral("hSplitter"));
        QCOMPARE(v->sizes(), vSizes);
        QVERIFY(shell->bottomDockWidget()->isHidden());
        QVERIFY(shell->leftDockWidget()->isVisible());
        QCOMPARE(shell->leftDock()->visibleWidget(), Project::self()->recentPage());
        QVERIFY(Actions::action(QStringLiteral("leftDock/project"))->isChecked());
        QVERIFY(!Actions::action(QStringLiteral("leftDock/files"))->isChecked());
        shell->bottomDockShowHide();
        QTRY_COMPARE(h->sizes(), hSizes);
        delete shell;
    }

    void storedSplitterLists_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QList<int>>("expected");
        // Absent: the built-in 200/700 (scaled by the splitter to its width).
        QTest::newRow("absent") << QVariant() << QList<int>();
        QTest::newRow("not numbers") << QVariant(QStringList({"x", "800"})) << QList<int>({0, 800});
    }
    void storedSplitterLists()
    {
        QFETCH(QVariant, stored);
        QFETCH(QList<int>, expected);
        if (stored.isValid())
            Settings::write(QStringLiteral("/geometry/vSplitter"), stored.toStringList());
        Shell* shell = start();
        auto* v = shell->findChild<Splitter*>(QStringLiteral("vSplitter"));
        const QList<int> sizes = v->sizes();
        QCOMPARE(sizes.size(), 2);
        if (expected.isEmpty()) {
            QVERIFY(sizes.at(0) > 0 && sizes.at(1) > sizes.at(0) * 3);
        } else {
            QCOMPARE(sizes.at(0), 0);
            QVERIFY(sizes.at(1) > 0);
        }
        delete shell;
    }

    // Stored geometry of any value starts a window on the screen (1280x
    // 1024 here) that can be painted; the values written back at exit are
    // those of the window, with no overflow on the way.
    void storedGeometry_data()
    {
        // x, y, w, h as stored (a QRect cannot hold them: it keeps the
        // right edge, which would overflow).
        QTest::addColumn<QList<int>>("stored");
        QTest::addColumn<QRect>("expected");
        const int big = std::numeric_limits<int>::max();
        const int least = std::numeric_limits<int>::min();
        QTest::newRow("built-in") << QList<int>{50, 50, 900, 700} << QRect(50, 50, 900, 700);
        QTest::newRow("larger than any screen")
            << QList<int>{50, 50, big, big} << QRect(0, 0, 1280, 1024);
        QTest::newRow("corner at the int limit")
            << QList<int>{big, big, 900, 700} << QRect(380, 324, 900, 700);
        QTest::newRow("off to the right")
            << QList<int>{60000, 50, 900, 700} << QRect(380, 50, 900, 700);
        QTest::newRow("far above and left")
            << QList<int>{least, -5000, 900, 700} << QRect(0, 0, 900, 700);
        QTest::newRow("no size") << QList<int>{50, 50, 0, -4} << QRect(50, 50, 900, 700);
    }
    void storedGeometry()
    {
        QFETCH(QList<int>, stored);
        QFETCH(QRect, expected);
        const char* keys[] = {"/geometry/x", "/geometry/y", "/geometry/w", "/geometry/h"};
        for (int i = 0; i < 4; ++i)
            Settings::write(QLatin1String(keys[i]), stored.at(i));
        Shell* shell = start();
        QCOMPARE(QRect(shell->pos(), shell->size()), expected);
        QVERIFY(shell->screen()->availableGeometry().contains(QRect(shell->pos(), shell->size())));
        delete shell;
        QCOMPARE(Settings::readNum(QStringLiteral("/geometry/x")), expected.x());
        QCOMPARE(Settings::readNum(QStringLiteral("/geometry/w")), expected.width());
        QCOMPARE(Settings::readNum(QStringLiteral("/geometry/h")), expected.height());
    }

    // Dialog sizes stored as 2147483647 (or as nothing usable) open the
    // dialogs at most as large as the screen, fitted by the helper the main
    // window's geometry uses.
    void storedDialogSizes_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("widthKey");
        QTest::addColumn<QString>("heightKey");
        QTest::newRow("configure scripts") << "scripts"
                                           << "/geometry/configureScriptsDialog/w"
                                           << "/geometry/configureScriptsDialog/h";
        QTest::newRow("bookmarks") << "bookmarks"
                                   << "/bookmarks/dialog/width"
                                   << "/bookmarks/dialog/height";
        QTest::newRow("project options") << "options"
                                         << "/geometry/projectOptionsDialog/w"
                                         << "/geometry/projectOptionsDialog/h";
        QTest::newRow("add files") << "addfiles"
                                   << "/project/addfiles/width"
                                   << "/project/addfiles/height";
    }
    void storedDialogSizes()
    {
        QFETCH(QString, dialog);
        QFETCH(QString, widthKey);
        QFETCH(QString, heightKey);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("p.vexa"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<!DOCTYPE vexaproject>\n<vexaproject>\n <project version=\"8.0\" "
                    "name=\"Demo\"/>\n</vexaproject>\n");
        }
        const int big = std::numeric_limits<int>::max();
        Shell* shell = start();
        const QRect screen = shell->screen()->availableGeometry();
        Project::self()->load(file);
        QVERIFY(Project::self()->hasProject());
        for (const QSize stored : {QSize(big, big), QSize(0, -7)}) {
            Settings::write(widthKey, stored.width());
            Settings::write(heightKey, stored.height());
            // The dialog as it is shown, closed at once: run by the dialog
            // runner or found as the modal window.
            QList<QSize> sizes;
            Message::setDialogRunner([&](QDialog& d) {
                sizes.append(d.size());
                return int(QDialog::Rejected);
            });
            QTimer poll;
            connect(&poll, &QTimer::timeout, [&]() {
                if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    sizes.append(d->size());
                    d->reject();
                }
            });
            poll.start(10);
            if (dialog == QLatin1String("scripts"))
                RunMake::self()->configure();
            else if (dialog == QLatin1String("bookmarks"))
                Bookmarks::self()->showManageDialog(QStringLiteral("ExplorerPanel"));
            else if (dialog == QLatin1String("options"))
                Project::self()->options();
            else
                Project::self()->addFilesDialog();
            Message::setDialogRunner({});
            QCOMPARE(sizes.size(), 1);
            const QSize size = sizes.first();
            QVERIFY2(size.width() > 0 && size.height() > 0 && size.width() <= screen.width() &&
                         size.height() <= screen.height(),
                     qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
        }
        delete shell;
    }

    // At every start the left dock shows the page whose tab button is
    // raised: on a fresh profile, and with a stored id that names no page,
    // the files explorer (not the page the project put in front as it was
    // made), and the editor keeps the keyboard focus; the project's tree
    // when the project reopened at start raised it.
    void firstStartShowsTheRaisedButtonsPage_data()
    {
        QTest::addColumn<int>("storedPage"); // -1: none stored
        QTest::addColumn<bool>("reopenProject");
        QTest::addColumn<QString>("raisedToggle");
        QTest::newRow("fresh profile") << -1 << false << "leftDock/files";
        QTest::newRow("id that names no page") << 99 << false << "leftDock/files";
        QTest::newRow("project reopened") << -1 << true << "leftDock/project";
    }
    void firstStartShowsTheRaisedButtonsPage()
    {
        QFETCH(int, storedPage);
        QFETCH(bool, reopenProject);
        QFETCH(QString, raisedToggle);
        if (storedPage >= 0)
            Settings::write(QStringLiteral("/geometry/leftDockPanelID"), storedPage);
        Settings::write(QStringLiteral("/geometry/bottomDockPanelID"), -3);
        QTemporaryDir dir;
        if (reopenProject) {
            QFile f(dir.filePath(QStringLiteral("p.vexa")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<!DOCTYPE vexaproject>\n<vexaproject>\n <project version=\"8.0\" "
                    "name=\"Demo\"/>\n</vexaproject>\n");
            f.close();
            Settings::write(QStringLiteral("/project/openedProject"), f.fileName());
        }
        auto* shell = new Shell(nullptr, "vexa::Shell");
        current = shell;
        useTestEditors();
        QSignalSpy bottom(shell, &Shell::bottomDockRaised);
        startServices(shell);
        QCOMPARE(bottom.count(), 0);
        shell->show();
        QVERIFY(QTest::qWaitForWindowActive(shell));
        QWidget* page = reopenProject ? static_cast<QWidget*>(Project::self()->domView())
                                      : static_cast<QWidget*>(ExplorerPanel::self());
        QCOMPARE(shell->leftDock()->visibleWidget(), page);
        QVERIFY(page->isVisible());
        for (const char* name : {"leftDock/files", "leftDock/project", "leftDock/classes"}) {
            Action* a = Actions::action(QLatin1String(name));
            const bool raised = raisedToggle == QLatin1String(name);
            QCOMPARE(a->isChecked(), raised);
            QCOMPARE(a->toolbuttons.first()->toolButtonStyle(),
                     raised ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
        }
        if (!reopenProject)
            QTRY_VERIFY(Editors::self()->current()->focusProxy()->hasFocus());
        delete shell;
    }

    // A stored id that names a page raises it and tells the panels.
    void storedPageIsRaised()
    {
        Settings::write(QStringLiteral("/geometry/leftDockPanelID"), 3);
        auto* shell = new Shell(nullptr, "vexa::Shell");
        current = shell;
        useTestEditors();
        QSignalSpy raised(shell, &Shell::leftDockRaised);
        startServices(shell);
        QCOMPARE(raised.count(), 1);
        QCOMPARE(raised.first().first().value<QObject*>(), shell->leftDock()->widget(3));
        QCOMPARE(shell->leftDock()->visibleWidget(), shell->leftDock()->widget(3));
        QVERIFY(Actions::action(QStringLiteral("leftDock/classes"))->isChecked());
        delete shell;
    }

    void dockHandshake()
    {
        Shell* shell = start();
        QApplication::setActiveWindow(shell);
        QVERIFY(QTest::qWaitForWindowActive(shell));
        QVERIFY(shell->leftDockWidget()->isVisible());
        QTest::keyClick(shell, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(shell->leftDockWidget()->isHidden());
        // The panel's Window-menu entry raises it and so shows the dock again.
        Actions::action(QStringLiteral("Project/focus"))->trigger();
        QVERIFY(shell->leftDockWidget()->isVisible());
        QCOMPARE(shell->leftDock()->visibleWidget(), Project::self()->recentPage());
        QVERIFY(Actions::action(QStringLiteral("leftDock/project"))->isChecked());
        // Only the raised panel's tab shows its text.
        QCOMPARE(Actions::action(QStringLiteral("leftDock/project"))
                     ->toolbuttons.first()
                     ->toolButtonStyle(),
                 Qt::ToolButtonTextBesideIcon);
        QTest::keyClick(shell, Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(shell->leftDock()->visibleWidget(), ExplorerPanel::self());
        QVERIFY(Actions::action(QStringLiteral("leftDock/files"))->isChecked());
        QVERIFY(!Actions::action(QStringLiteral("leftDock/project"))->isChecked());
        QCOMPARE(Actions::action(QStringLiteral("leftDock/project"))
                     ->toolbuttons.first()
                     ->toolButtonStyle(),
                 Qt::ToolButtonIconOnly);
        // Focus in the explorer switches the editor's text commands off.
        QTRY_VERIFY(!Actions::action(QStringLiteral("Editors/copy"))->isEnabled());
        delete shell;
    }

    void statusFields()
    {
        Shell* shell = start();
        QList<QLabel*> labels;
        for (QLabel* l : shell->statusBar()->findChildren<QLabel*>())
            labels.append(l);
        auto texts = [&labels]() {
            QStringList t;
            for (QLabel* l : labels)
                t.append(l->text());
            return t;
        };
        // The untitled editor has written its position; the file explorer,
        // made after it, the summary of its current entry.
        QVERIFY(!texts().first().isEmpty());
        QCOMPARE(texts().mid(1), QStringList({" INS ", " 0 ", " 0 "}));
        shell->statusMessage(QStringLiteral("line"), QStringLiteral("12"));
        shell->statusMessage(QStringLiteral("col"), QStringLiteral("3"));
        shell->statusMessage(QStringLiteral("insowr"), QStringLiteral("OWR"));
        shell->statusMessage(QStringLiteral("default"), QStringLiteral("/tmp/a.txt"));
        QCOMPARE(texts(), QStringList({"/tmp/a.txt", " OWR ", " 12 ", " 3 "}));
        shell->statusMessage(QStringLiteral("Default"), QStringLiteral("x"));
        shell->statusMessage(QStringLiteral("other"), QStringLiteral("x"));
        QCOMPARE(texts(), QStringList({"/tmp/a.txt", " OWR ", " 12 ", " 3 "}));
        delete shell;
    }

    void commandLineFiles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QDir root(dir.path());
        QVERIFY(root.mkpath(QStringLiteral("sub")));
        QFile f(root.filePath(QStringLiteral("a.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        const QStringList files = Shell::commandLineFiles(
            {"a.txt", "sub", "missing.txt", "sub/../a.txt", root.filePath("a.txt"), ""});
        QDir::setCurrent(old);
        const QString abs = QFileInfo(root.filePath(QStringLiteral("a.txt"))).absoluteFilePath();
        QCOMPARE(files, QStringList({abs, abs, abs}));

        // Opened by its absolute name, a file named twice is one editor.
        Shell* shell = start();
        for (const QString& p : files)
            FileTypeManager::openFile(p);
        QCOMPARE(Editors::self()->editors().size(), 1);
        QCOMPARE(Editors::self()->current()->filename(), abs);
        delete shell;
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"

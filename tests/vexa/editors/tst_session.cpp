// What the program keeps across restarts of the real main window on one
// temporary configuration: the open files with their order, cursors and the
// current one, and the recent files and projects with their menus.

#include "../shellfixture.h"
#include "vexa/actions.h"
#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/message.h"
#include "vexa/recentfiles.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace vexa;

namespace
{
// Named on the command line of every window these tests start; it exists
// only while the test about command-line files runs.
QString commandLineFile;

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

QStringList texts(const QMenu* menu)
{
    QStringList t;
    for (QAction* a : menu->actions())
        t.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    return t;
}

QMenu* menuNamed(Shell* shell, const QString& title)
{
    for (QAction* a : shell->menuBar()->actions())
        if (a->text().remove(QLatin1Char('&')) == title)
            return a->menu();
    return nullptr;
}

// The entries of a menu from `first` on, up to the next two items.
QStringList itemsFrom(const QMenu* menu, const QString& first)
{
    const QStringList t = texts(menu);
    const int i = t.indexOf(first);
    return i < 0 ? QStringList() : t.mid(i, 2);
}

// Answers every message box with `answer` and counts them.
struct Boxes {
    int shown = 0;
    int answer = QMessageBox::Ok;
    Boxes()
    {
        Message::setResponder([this](QMessageBox* box) -> QAbstractButton* {
            ++shown;
            if (QAbstractButton* b = box->button(QMessageBox::StandardButton(answer)))
                return b;
            return box->buttons().isEmpty() ? nullptr : box->buttons().constFirst();
        });
    }
    ~Boxes() { Message::setResponder({}); }
};
} // namespace

class TestSession : public QObject
{
    Q_OBJECT
private:
    QPointer<Shell> shell;
    QTemporaryDir* dir = nullptr;

    Editors* ed() { return Editors::self(); }
    RecentFiles* recent() { return RecentFiles::self(); }
    QString path(const QString& name) { return QDir(dir->path()).filePath(name); }

    // What the entry function does between building the window and the event loop.
    void start()
    {
        QVERIFY(shellfixture::openShell(shell, shellfixture::Titled | shellfixture::Services |
                                                   shellfixture::Shown));
        // The recorded current file comes back from a 1 ms single shot; one
        // started after it fires after it.
        bool after = false;
        QTimer::singleShot(1, this, [&after]() { after = true; });
        QTRY_VERIFY(after);
    }
    // Exit through the command; the window goes as the entry function ends.
    void quit()
    {
        QVERIFY(ed()->closeAll());
        delete shell;
    }
    QStringList openFiles()
    {
        QStringList files;
        for (Editor* e : ed()->editors())
            files.append(e->filename());
        return files;
    }
    Editor* editorOf(const QString& file)
    {
        for (Editor* e : ed()->editors())
            if (e->filename() == file)
                return e;
        return nullptr;
    }
    QStringList recentFiles()
    {
        recent()->updateRecentMenu();
        QStringList files;
        for (QAction* a : recent()->recentFilesMenu()->actions())
            files.append(a->data().toString());
        return files;
    }
    void makeFiles(const QStringList& names)
    {
        for (const QString& n : names)
            writeFile(path(n), "line one\nline two\n\tline three\nline four\n");
    }

private Q_SLOTS:
    void initTestCase() { shellfixture::useAppSettings(); }
    void init()
    {
        shellfixture::clearSettings(true);
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
    }
    void cleanup()
    {
        Message::setResponder({});
        delete shell;
        delete dir;
    }

    void filesCurrentAndCursorsComeBack()
    {
        makeFiles({"a.txt", "b.txt", "c.txt"});
        start();
        // An empty record: the one untitled editor.
        QCOMPARE(openFiles(), QStringList({QString()}));
        for (const char* n : {"a.txt", "b.txt", "c.txt"})
            QVERIFY(ed()->open(path(QLatin1String(n))));
        editorOf(path("a.txt"))->setCursorPosition(3, 2);
        editorOf(path("b.txt"))->setCursorPosition(1, 5);
        editorOf(path("c.txt"))->setCursorPosition(2, 0);
        ed()->newEditor(); // untitled: recorded, yet nothing to reopen
        ed()->setCurrentEditor(editorOf(path("b.txt")));
        quit();
        QCOMPARE(Settings::readList(QStringLiteral("/editors/openedFiles")),
                 QStringList({path("a.txt"), path("b.txt"), path("c.txt"), QString()}));
        QCOMPARE(Settings::readList(QStringLiteral("/editors/openedFilePoses")),
                 QStringList({"3:2", "1:5", "2:0", "0:0"}));

        start();
        QCOMPARE(openFiles(), QStringList({path("a.txt"), path("b.txt"), path("c.txt")}));
        QCOMPARE(ed()->current(), editorOf(path("b.txt")));
        const QList<QPair<int, int>> cursors = {{3, 2}, {1, 5}, {2, 0}};
        for (int i = 0; i < 3; ++i) {
            Editor* e = ed()->editors().at(i);
            QCOMPARE(qMakePair(e->cursorLine(), e->cursorColumn()), cursors.at(i));
        }
    }

    void missingFilesAreSkipped()
    {
        makeFiles({"a.txt", "b.txt", "c.txt"});
        Settings::write(QStringLiteral("/editors/openedFiles"),
                        QStringList({path("a.txt"), path("gone.txt"), QString(), path("c.txt")}));
        // Damaged or missing positions leave the cursor where opening put it.
        Settings::write(QStringLiteral("/editors/openedFilePoses"),
                        QStringList({"2", "1:1", "0:0"}));
        Settings::write(QStringLiteral("/editors/openedCurrent"), path("gone.txt"));
        start();
        QCOMPARE(openFiles(), QStringList({path("a.txt"), path("c.txt")}));
        for (Editor* e : ed()->editors())
            QCOMPARE(qMakePair(e->cursorLine(), e->cursorColumn()), qMakePair(0, 0));
        // The last file opened stays current when the recorded one is gone.
        QCOMPARE(ed()->current()->filename(), path("c.txt"));
    }

    void commandLineFileInTheRecordOpensOnce()
    {
        makeFiles({"a.txt"});
        writeFile(commandLineFile, "from the command line\n");
        Settings::write(QStringLiteral("/editors/openedFiles"),
                        QStringList({path("a.txt"), commandLineFile}));
        Settings::write(QStringLiteral("/editors/openedFilePoses"), QStringList({"1:0", "0:4"}));
        Settings::write(QStringLiteral("/editors/openedCurrent"), path("a.txt"));
        start();
        QFile::remove(commandLineFile);
        // The command-line file went into the untitled editor first; the
        // record finds it open and adds only a; the recorded current wins.
        QCOMPARE(openFiles(), QStringList({commandLineFile, path("a.txt")}));
        QCOMPARE(ed()->current(), editorOf(path("a.txt")));
        QCOMPARE(editorOf(commandLineFile)->cursorColumn(), 4);
    }

    void cancelAtExitKeepsTheFormerRecord()
    {
        makeFiles({"a.txt", "b.txt"});
        start();
        QVERIFY(ed()->open(path("a.txt")));
        quit();

        start();
        QVERIFY(ed()->open(path("b.txt")));
        Editor* b = ed()->current();
        QTest::keyClicks(b->focusProxy() ? b->focusProxy() : b, QStringLiteral("x"));
        QVERIFY(b->isModified());
        {
            Boxes boxes;
            boxes.answer = QMessageBox::Cancel;
            shell->exit();
            QCOMPARE(boxes.shown, 1);
        }
        QCOMPARE(ed()->editors().size(), 2);
        QCOMPARE(Settings::readList(QStringLiteral("/editors/openedFiles")),
                 QStringList({path("a.txt")}));
        QCOMPARE(Settings::read(QStringLiteral("/editors/openedCurrent")), path("a.txt"));
        // The program ends without a clean exit: the next start still finds
        // the record of the first run.
        delete shell;
        start();
        QCOMPARE(openFiles(), QStringList({path("a.txt")}));
    }

    void recentFilesOrderAndCapAcrossRestart()
    {
        // Two names of one file are two entries; a file added again moves up.
        start();
        recent()->addRecent(QStringLiteral("/x/A"));
        recent()->addRecent(QStringLiteral("/x/B"));
        recent()->addRecent(QStringLiteral("/x/A"));
        recent()->addRecent(QStringLiteral("/x/./A"));
        QCOMPARE(recentFiles(), QStringList({"/x/./A", "/x/A", "/x/B"}));
        recent()->removeRecent(QStringLiteral("/x/./A"));
        recent()->removeRecent(QStringLiteral("/x/none"));
        QCOMPARE(recentFiles(), QStringList({"/x/A", "/x/B"}));
        recent()->removeRecent(QStringLiteral("/x/A"));
        recent()->removeRecent(QStringLiteral("/x/B"));

        // Opening records; making an open file current does not.
        QStringList names;
        for (int i = 0; i < 12; ++i)
            names.append(QStringLiteral("f%1.txt").arg(i));
        makeFiles(names);
        for (const QString& n : names)
            QVERIFY(ed()->open(path(n)));
        QVERIFY(ed()->open(path("f0.txt")));
        QStringList newestFirst;
        for (int i = 11; i >= 0; --i)
            newestFirst.append(path(names.at(i)));
        QCOMPARE(recentFiles(), newestFirst); // all 12 during the run
        // Closed before the exit, so the next start reopens (and records) none.
        while (!ed()->current()->filename().isEmpty())
            QVERIFY(ed()->close(ed()->current()));
        quit();

        start();
        QCOMPARE(recentFiles(), newestFirst.mid(0, 10));
        QCOMPARE(Settings::readList(QStringLiteral("/recent/files")), newestFirst.mid(0, 10));
    }

    // A settings file holding 100,000 recent files and projects: only the
    // kept number of each is read, so the menus stay short.
    void hugeRecentListsReadTheKeptEntries()
    {
        QStringList files;
        QStringList projects;
        QStringList names;
        // Under AddressSanitizer every reallocation copies, and the settings
        // writer's grows its buffer often enough that 100,000 entries take
        // more than five minutes there; 10,000 still far exceed the kept 10.
#ifdef __SANITIZE_ADDRESS__
        const int entries = 10000;
#else
        const int entries = 100000;
#endif
        for (int i = 0; i < entries; ++i) {
            files.append(QStringLiteral("/x/f%1.txt").arg(i));
            projects.append(QStringLiteral("/p/p%1.vexa").arg(i));
            names.append(QStringLiteral("P%1").arg(i));
        }
        Settings::write(QStringLiteral("/recent/files"), files);
        Settings::write(QStringLiteral("/project/recent"), projects);
        Settings::write(QStringLiteral("/project/recentNames"), names);
        Settings::forceWrite();
        start();
        QCOMPARE(recentFiles(), files.mid(0, 10));
        QCOMPARE(recent()->recentProjects(), projects.mid(0, 10));
        QCOMPARE(recent()->recentProjectsNames(), names.mid(0, 10));
        QCOMPARE(recent()->recentProjectsMenu()->actions().size(), 10);
        QCOMPARE(recent()->recentMenu()->actions().size(), 21); // and a separator
    }

    // At a restart with a file in the session whose bytes do not decode, its
    // read-only warning waits for the main window and shows over it.
    void noticeOfTheStartShowsOverTheShownWindow()
    {
        // 0xC3 0x28 is no UTF-8 sequence.
        writeFile(path("bin.txt"), "abc\xc3\x28"
                                   "def\n");
        Settings::write(QStringLiteral("/editors/openedFiles"), QStringList({path("bin.txt")}));
        QList<bool> parentShown;
        Message::setResponder([&](QMessageBox* box) -> QAbstractButton* {
            parentShown.append(box->parentWidget() == shell.data() && shell->isVisible());
            return box->buttons().constFirst();
        });
        // As the entry function does.
        Message::holdNotices();
        shell = new Shell(nullptr, "vexa::Shell");
        startServices(shell);
        QCOMPARE(openFiles(), QStringList({path("bin.txt")}));
        QVERIFY(parentShown.isEmpty());
        shell->show();
        QVERIFY(QTest::qWaitForWindowExposed(shell));
        Message::releaseNotices();
        QCOMPARE(parentShown, QList<bool>({true}));
        // Released, notices show at once again.
        Message::warning(QStringLiteral("Warning"), QStringLiteral("later"), QStringLiteral("Ok"));
        QCOMPARE(parentShown.size(), 2);
    }

    void chosenEntryOpensAndMovesToFrontUnlessItFails()
    {
        makeFiles({"a.txt", "b.txt"});
        Settings::write(QStringLiteral("/recent/files"),
                        QStringList({path("b.txt"), path("gone.txt"), path("a.txt")}));
        start();
        QMenu* menu = recent()->recentFilesMenu();
        recent()->updateRecentMenu();
        // The entry of a file that no longer opens stays where it was.
        {
            Boxes boxes;
            menu->actions().at(1)->trigger();
            QCOMPARE(boxes.shown, 1);
        }
        QCOMPARE(openFiles(), QStringList({QString()}));
        QCOMPARE(recentFiles(), QStringList({path("b.txt"), path("gone.txt"), path("a.txt")}));
        // An entry that opens comes to the front.
        menu->actions().at(2)->trigger();
        QCOMPARE(ed()->current()->filename(), path("a.txt"));
        QCOMPARE(recentFiles(), QStringList({path("a.txt"), path("b.txt"), path("gone.txt")}));
    }

    void ampersandInPathIsShownAndOpened()
    {
        makeFiles({"R&D.txt"});
        start();
        recent()->addRecent(path("R&D.txt"));
        recent()->updateRecentMenu();
        QAction* item = recent()->recentFilesMenu()->actions().at(0);
        QCOMPARE(item->text(), QString(path("R&D.txt")).replace("&", "&&"));
        item->trigger();
        QCOMPARE(ed()->current()->filename(), path("R&D.txt"));
    }

    void menusAreAttachedAfterEachAssembly()
    {
        start();
        for (int pass = 0; pass < 2; ++pass) {
            QMenu* file = menuNamed(shell, QStringLiteral("File"));
            QMenu* project = menuNamed(shell, QStringLiteral("Project"));
            QVERIFY(file && project);
            QCOMPARE(itemsFrom(file, QStringLiteral("&Open")),
                     QStringList({"&Open", "Open &recent"}));
            QCOMPARE(itemsFrom(project, QStringLiteral("&Open project")),
                     QStringList({"&Open project", "Open &recent project"}));
            QCOMPARE(texts(file).count(QStringLiteral("Open &recent")), 1);
            Action* open = Actions::action(QStringLiteral("Editors/toolbar/open"));
            QVERIFY(open && !open->toolbuttons.isEmpty());
            QToolButton* button = open->toolbuttons.last();
            QCOMPARE(button->menu(), recent()->recentMenu());
            QVERIFY(recent()->recentMenu());
            QCOMPARE(button->popupMode(), QToolButton::MenuButtonPopup);
            // Assembled again: new menus and tool bars get the lists too.
            shell->rebuildUI();
        }
    }

    void dropDownListsProjectsThenFiles()
    {
        start();
        recent()->addRecent(QStringLiteral("/x/f.txt"));
        recent()->updateRecentMenu();
        QCOMPARE(texts(recent()->recentMenu()), QStringList({"/x/f.txt"}));
        recent()->addRecentProject(QStringLiteral("/p/one.vexa"), QStringLiteral("One"));
        recent()->addRecentProject(QStringLiteral("/p/two.vexa"), QStringLiteral("Two"));
        recent()->addRecentProject(QStringLiteral("/p/one.vexa"), QStringLiteral("First"));
        QCOMPARE(recent()->recentProjects(), QStringList({"/p/one.vexa", "/p/two.vexa"}));
        QCOMPARE(recent()->recentProjectsNames(), QStringList({"First", "Two"}));
        recent()->updateRecentMenu();
        const QList<QAction*> items = recent()->recentMenu()->actions();
        QCOMPARE(texts(recent()->recentMenu()),
                 QStringList({"/p/one.vexa", "/p/two.vexa", "-", "/x/f.txt"}));
        QVERIFY(!items.at(0)->icon().isNull());
        QVERIFY(items.at(3)->icon().isNull());
        QCOMPARE(texts(recent()->recentProjectsMenu()),
                 QStringList({"/p/one.vexa", "/p/two.vexa"}));
        QCOMPARE(texts(recent()->recentFilesMenu()), QStringList({"/x/f.txt"}));
    }

    void projectListsOfDifferentLengthsAreRepaired_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("repaired");
        QTest::newRow("names missing") << QStringList({"One"}) << QStringList({"One", "two", "x"});
        QTest::newRow("names in excess")
            << QStringList({"One", "Two", "Three", "Four"}) << QStringList({"One", "Two", "Three"});
    }
    void projectListsOfDifferentLengthsAreRepaired()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, repaired);
        const QStringList paths = {"/p/one.vexa", "/p/two.vexa", "/p/x.vexa"};
        Settings::write(QStringLiteral("/project/recent"), paths);
        Settings::write(QStringLiteral("/project/recentNames"), names);
        start();
        QCOMPARE(recent()->recentProjects(), paths);
        QCOMPARE(recent()->recentProjectsNames(), repaired);
        // Removing the last entry touches both lists at the same place.
        recent()->removeRecentProject(QStringLiteral("/p/x.vexa"));
        recent()->addRecentProject(QStringLiteral("/p/two.vexa"), QStringLiteral("Second"));
        QCOMPARE(recent()->recentProjects(), QStringList({"/p/two.vexa", "/p/one.vexa"}));
        QCOMPARE(recent()->recentProjectsNames(), QStringList({"Second", "One"}));
        quit();
        QCOMPARE(Settings::readList(QStringLiteral("/project/recentNames")),
                 QStringList({"Second", "One"}));
    }

    void openCommandsOutsideMenusAreSkipped()
    {
        start();
        // Commands of those names that were never put into a menu or tool bar.
        Action* open =
            Actions::createAction(QStringLiteral("&Open"), QStringLiteral("Editors/open"),
                                  QKeySequence(), nullptr, nullptr);
        Actions::createAction(QStringLiteral("Open"), QStringLiteral("Editors/toolbar/open"),
                              QKeySequence(), nullptr, nullptr);
        QVERIFY(open->menus.isEmpty());
        recent()->integrate();
        // The project's submenu still follows its command.
        QCOMPARE(
            itemsFrom(menuNamed(shell, QStringLiteral("Project")), QStringLiteral("&Open project")),
            QStringList({"&Open project", "Open &recent project"}));
        delete open;
    }
};

int main(int argc, char** argv)
{
    // The window reads its command line from the application object.
    QTemporaryDir cmdDir;
    commandLineFile = QDir(cmdDir.path()).filePath(QStringLiteral("cmdline.txt"));
    QByteArray arg = commandLineFile.toLocal8Bit();
    int appArgc = 2;
    char* appArgv[] = {argv[0], arg.data(), nullptr};
    QApplication app(appArgc, appArgv);
    TestSession t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_session.moc"

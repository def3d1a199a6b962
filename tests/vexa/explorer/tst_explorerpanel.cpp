// The explorer panel on the real main window, offscreen: first start and
// stored state, its commands switched by the focus (with real key events,
// also for the keys other commands share), the path and bookmark menus, and
// cut, copy, paste, delete and new folder on real fixture folders, the
// questions answered through the message responder.

#include "../shellfixture.h"
#include "vexa/actions.h"
#include "vexa/bookmarks/bookmarks.h"
#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/explorer/explorerpanel.h"
#include "vexa/explorer/fileslist.h"
#include "vexa/message.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include "xqwidgets/xqfileoperator/fileoperator.h"

#include <QAbstractButton>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexa;

class TestExplorerPanel : public QObject
{
    Q_OBJECT
private:
    QPointer<Shell> shell;
    QTemporaryDir* dir = nullptr;
    QStringList asked; // texts of the message boxes, in order
    QString answer;    // the button pressed on each box; empty: Escape

    ExplorerPanel* panel() { return ExplorerPanel::self(); }
    FilesList* list() { return panel()->filesList; }
    Action* action(const char* name) { return Actions::action(QLatin1String(name)); }
    QString at(const QString& name) const { return dir->path() + QLatin1Char('/') + name; }
    void makeFile(const QString& name)
    {
        QFile f(at(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(name.toUtf8());
    }
    QStringList names(FilesList* l)
    {
        QStringList n;
        for (int i = 0; i < l->topLevelItemCount(); ++i)
            n << static_cast<FilesListItem*>(l->topLevelItem(i))->fileName;
        return n;
    }
    void select(const QStringList& which)
    {
        list()->clearSelection();
        for (int i = 0; i < list()->topLevelItemCount(); ++i) {
            auto* item = static_cast<FilesListItem*>(list()->topLevelItem(i));
            if (which.contains(item->fileName))
                item->setSelected(true);
        }
    }
    void start()
    {
        QVERIFY(shellfixture::openShell(shell, shellfixture::Titled | shellfixture::Services |
                                                   shellfixture::Shown));
        QApplication::setActiveWindow(shell);
        QVERIFY(QTest::qWaitForWindowActive(shell));
    }
    void stop() { delete shell; }
    bool focusActionsOn(bool on)
    {
        for (Action* a : panel()->focusActions())
            // Back, forward and up also follow what the list offers.
            if (a->isEnabled() != on && a != action("ExplorerPanel/navigation/back") &&
                a != action("ExplorerPanel/navigation/forward") &&
                a != action("ExplorerPanel/navigation/cdup"))
                return false;
        return true;
    }

private Q_SLOTS:
    void initTestCase() { shellfixture::useAppSettings(); }
    void init()
    {
        shellfixture::clearSettings();
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        asked.clear();
        answer.clear();
        Message::setResponder([this](QMessageBox* box) -> QAbstractButton* {
            asked << box->text();
            if (answer == QLatin1String("OK"))
                return box->buttons().value(0);
            for (QAbstractButton* b : box->buttons())
                if (!answer.isEmpty() && b->text() == answer)
                    return b;
            return nullptr; // Escape
        });
    }
    void cleanup()
    {
        Message::setResponder({});
        Message::setDialogRunner({});
        delete shell;
        delete dir;
    }

    void firstStartAndStoredState()
    {
        start();
        QCOMPARE(list()->path(), QDir::homePath());
        QVERIFY(action("ExplorerPanel/viewMode/list")->isChecked());
        QVERIFY(!action("ExplorerPanel/viewMode/detailed")->isChecked());
        QVERIFY(action("ExplorerPanel/sort/name")->isChecked());
        QCOMPARE(list()->viewMode(), int(FilesList::Simple));
        QVERIFY(panel()->bufferList->isHidden());
        QVERIFY(panel()->bufferLabel->isHidden());
        QVERIFY(!action("ExplorerPanel/action/paste")->isEnabled());
        panel()->setFocus();
        QVERIFY(action("ExplorerPanel/action/paste")->isEnabled());
        // Detailed, by size, a folder and a file: kept at exit.
        makeFile("b.txt");
        QVERIFY(QDir(dir->path()).mkdir("sub"));
        list()->go(dir->path());
        action("ExplorerPanel/viewMode/detailed")->trigger();
        action("ExplorerPanel/sort/size")->trigger();
        list()->setCurrentItem(QStringLiteral("b.txt"));
        stop();
        QCOMPARE(Settings::readNum("/fileexplorer/listMode"), 2);
        QCOMPARE(Settings::readNum("/fileexplorer/sortMode"), 2);
        QCOMPARE(Settings::read("/fileexplorer/lastPath"), dir->path());
        QCOMPARE(Settings::read("/fileexplorer/lastFile"), QStringLiteral("b.txt"));
        start();
        QCOMPARE(list()->path(), dir->path());
        QCOMPARE(list()->currentItemName(), QStringLiteral("b.txt"));
        QCOMPARE(list()->viewMode(), int(FilesList::Detailed));
        QVERIFY(action("ExplorerPanel/sort/size")->isChecked());
        stop();

        // A view mode 0 ticks neither view and is written back; a stored
        // folder that is gone gives home; a file not in it is not found.
        Settings::write("/fileexplorer/listMode", 0);
        Settings::write("/fileexplorer/lastPath", at("gone"));
        Settings::write("/fileexplorer/lastFile", QStringLiteral("b.txt"));
        start();
        QVERIFY(!action("ExplorerPanel/viewMode/list")->isChecked());
        QVERIFY(!action("ExplorerPanel/viewMode/detailed")->isChecked());
        QCOMPARE(list()->path(), QDir::homePath());
        QVERIFY(list()->currentItemName() != QLatin1String("b.txt"));
        stop();
        QCOMPARE(Settings::readNum("/fileexplorer/listMode"), 0);
        // A view mode that is no number: the list view.
        Settings::write("/fileexplorer/listMode", QStringLiteral("detailed"));
        start();
        QVERIFY(action("ExplorerPanel/viewMode/list")->isChecked());
    }

    void commandsFollowTheFocus()
    {
        makeFile("a.txt");
        makeFile("b.txt");
        QVERIFY(QDir(dir->path()).mkdir("sub"));
        Settings::write("/fileexplorer/lastPath", at("sub"));
        start();
        Editor* editor = Editors::self()->current();
        editor->setText(QStringLiteral("one two\n"));
        editor->setCursorPosition(0, 3);

        panel()->setFocus();
        QTRY_VERIFY(list()->hasFocus());
        QVERIFY(focusActionsOn(true));
        QCOMPARE(panel()->focusActions().size(), 17);
        editor->setFocus();
        QTRY_VERIFY(editor->hasFocus());
        QVERIFY(focusActionsOn(false));
        // Left, Right and Delete reach the editor.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QCOMPARE(editor->cursorColumn(), 4);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
        QCOMPARE(editor->text().left(7), QStringLiteral("onetwo\n"));
        QVERIFY(asked.isEmpty());

        // The buffer list is the panel's too; a widget that never reports
        // the focus still takes the keys away.
        panel()->bufferList->show();
        panel()->bufferList->setFocus();
        QTRY_VERIFY(panel()->bufferList->hasFocus());
        QVERIFY(focusActionsOn(true));
        QLineEdit other(shell);
        other.show();
        other.setFocus();
        QTRY_VERIFY(other.hasFocus());
        QVERIFY(focusActionsOn(false));

        // Alt+Up and F3: one command each, the explorer's while its list has
        // the focus, the other one's elsewhere.
        Action* prevFunction = action("Editors/prevFunction");
        Action* findNext = action("Search/FindNext");
        prevFunction->setEnabled(true);
        findNext->setEnabled(true);
        QSignalSpy prev(prevFunction, &QAction::triggered);
        QSignalSpy next(findNext, &QAction::triggered);
        QSignalSpy loaded(list(), &FilesList::filesListLoaded);
        panel()->setFocus();
        QTRY_VERIFY(list()->hasFocus());
        QTest::keyClick(list(), Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(list()->path(), dir->path());
        QTest::keyClick(list(), Qt::Key_F3);
        QCOMPARE(list()->sortMode(), int(FilesList::Date));
        QVERIFY(action("ExplorerPanel/sort/date")->isChecked());
        QCOMPARE(loaded.count(), 2);
        QCOMPARE(prev.count(), 0);
        QCOMPARE(next.count(), 0);
        // Left and Right in the list: the first and the last entry.
        QTest::keyClick(list(), Qt::Key_Right);
        QCOMPARE(list()->currentItemName(), names(list()).last());
        QTest::keyClick(list(), Qt::Key_Left);
        QCOMPARE(list()->currentItemName(), QStringLiteral(".."));
        editor->setFocus();
        QTRY_VERIFY(editor->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up, Qt::AltModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3);
        QCOMPARE(prev.count(), 1);
        QCOMPARE(next.count(), 1);
        QCOMPARE(loaded.count(), 2);
    }

    void focusWritesTheFolderIntoTheStatusBar()
    {
        // Whatever gives the list the focus: Ctrl+T from the editor, the
        // dock's "Files" command.
        QVERIFY(QDir(dir->path()).mkdir("sub"));
        Settings::write("/fileexplorer/lastPath", dir->path());
        start();
        Editor* editor = Editors::self()->current();
        auto status = [this] {
            return shell->statusBar()->findChildren<QLabel*>().first()->text();
        };
        for (const char* route : {"Ctrl+T", "leftDock/files"}) {
            editor->setFocus();
            QTRY_VERIFY(editor->hasFocus());
            shell->statusMessage(QStringLiteral("default"), QStringLiteral("elsewhere"));
            if (route == QLatin1String("Ctrl+T"))
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_T, Qt::ControlModifier);
            else
                action(route)->trigger();
            QTRY_VERIFY2(list()->hasFocus(), route);
            QCOMPARE(status(), dir->path());
        }
    }

    void pathMenuAndBookmarks()
    {
        QVERIFY(QDir().mkpath(at("home/user/src")));
        Settings::write("/fileexplorer/lastPath", at("home/user/src"));
        start();
        QMenu* menu = panel()->pathMenu();
        const QStringList parts = at("home/user/src").split('/', Qt::SkipEmptyParts);
        const QList<QAction*> items = menu->actions();
        QCOMPARE(items.size(), parts.size() + 1);
        QCOMPARE(items.at(0)->text(), QStringLiteral("/"));
        QCOMPARE(items.at(0)->data().toInt(), 0);
        const int n = int(parts.size());
        QCOMPARE(items.at(n)->text(), QString(2 * n, ' ') + QStringLiteral("src"));
        QCOMPARE(items.at(n - 1)->text(), QString(2 * (n - 1), ' ') + QStringLiteral("user"));
        QCOMPARE(items.at(n - 1)->data().toInt(), n - 1);
        items.at(n - 1)->trigger();
        QCOMPARE(list()->path(), at("home/user"));
        panel()->cdUp();
        QCOMPARE(list()->path(), at("home"));
        panel()->pathMenu()->actions().at(0)->trigger();
        QCOMPARE(list()->path(), QStringLiteral("/"));
        QSignalSpy loaded(list(), &FilesList::filesListLoaded);
        panel()->cdUp(); // at the root: nothing
        QCOMPARE(loaded.count(), 0);

        // The bookmark menu, rebuilt on show in name order.
        list()->go(at("home"));
        panel()->addBookmark();
        Bookmarks::self()->addBookmark("ExplorerPanel", at("b"), at("home/user/src"));
        Bookmarks::self()->addBookmark("ExplorerPanel", at("a"), at("home/user"));
        QMenu* marks = panel()->bookmarkMenu();
        auto shown = [marks] {
            QStringList t;
            for (QAction* a : marks->actions())
                if (a->data().isValid())
                    t << a->text();
            return t;
        };
        QMetaObject::invokeMethod(marks, "aboutToShow");
        QCOMPARE(shown(), QStringList({at("a"), at("b"), at("home")}));
        QCOMPARE(marks->actions().at(0), action("ExplorerPanel/bookmarks/add"));
        QMetaObject::invokeMethod(marks, "aboutToShow");
        QCOMPARE(shown().size(), 3);
        // The folder shown is not listed again.
        loaded.clear();
        marks->actions().last()->trigger();
        QCOMPARE(loaded.count(), 0);
        marks->actions().at(marks->actions().size() - 3)->trigger();
        QCOMPARE(list()->path(), at("home/user"));
    }

    void cutCopyPaste()
    {
        QVERIFY(QDir(dir->path()).mkpath("A"));
        QVERIFY(QDir(dir->path()).mkpath("B"));
        makeFile("A/one");
        makeFile("A/two");
        makeFile("A/three");
        Settings::write("/fileexplorer/lastPath", at("A"));
        start();
        panel()->setFocus();

        // Nothing selected: nothing changes.
        select({".."});
        panel()->cut();
        panel()->copy();
        panel()->erase();
        QVERIFY(panel()->bufferList->isHidden());
        QVERIFY(asked.isEmpty());

        // Copied, then cut: one buffer entry, and it is moved.
        select({"one"});
        panel()->copy();
        QVERIFY(!panel()->bufferList->isHidden());
        QVERIFY(action("ExplorerPanel/action/paste")->isEnabled());
        select({"one"});
        panel()->copy();
        select({"one", "three"});
        panel()->cut();
        QCOMPARE(names(panel()->bufferList), QStringList({"one", "three"}));
        QCOMPARE(list()->excludeFilePaths(), QStringList({at("A/one"), at("A/three")}));
        list()->go(at("B"));
        panel()->paste();
        QVERIFY(QFile::exists(at("B/one")));
        QVERIFY(!QFile::exists(at("A/one")));
        QVERIFY(!QFile::exists(at("A/three")));
        QVERIFY(panel()->bufferList->isHidden());
        QCOMPARE(panel()->bufferList->topLevelItemCount(), 0);
        QVERIFY(list()->excludeFilePaths().isEmpty());

        // An aborted move copies nothing and keeps the buffer.
        list()->go(at("A"));
        select({"two"});
        panel()->copy();
        makeFile("A/four");
        list()->reload();
        select({"four"});
        panel()->cut();
        makeFile("B/four");
        list()->go(at("B"));
        xqwidgets::FileOperator::self()->setAnswerer(
            [](xqwidgets::FileOperator::Question q, const QString&, const QString&,
               const QString&) { return q == xqwidgets::FileOperator::OverwriteQuestion ? 4 : 0; });
        panel()->paste();
        xqwidgets::FileOperator::self()->setAnswerer({});
        QVERIFY(!QFile::exists(at("B/two")));
        QVERIFY(QFile::exists(at("A/four")));
        QCOMPARE(names(panel()->bufferList), QStringList({"two", "four"}));
        QVERIFY(!panel()->bufferList->isHidden());

        // A buffered entry that vanished: named, nothing done, buffer kept.
        QVERIFY(QFile::remove(at("A/four")));
        answer = QStringLiteral("OK");
        panel()->paste();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked.first().startsWith(at("A/four")));
        QVERIFY(!QFile::exists(at("B/two")));
        QCOMPARE(names(panel()->bufferList), QStringList({"two", "four"}));
        // Escape clears the buffer while the panel has the focus.
        panel()->setFocus();
        QTest::keyClick(list(), Qt::Key_Escape);
        QVERIFY(panel()->bufferList->isHidden());
        QVERIFY(list()->excludeFilePaths().isEmpty());

        // Pasted into the folder they came from: the same files, passed over intact.
        list()->go(at("A"));
        select({"two"});
        panel()->cut();
        panel()->paste();
        QFile two(at("A/two"));
        QVERIFY(two.open(QIODevice::ReadOnly));
        QCOMPARE(two.readAll(), QByteArray("A/two"));
    }

    void activatingABufferedFolderKeepsTheBuffer()
    {
        QVERIFY(QDir(dir->path()).mkpath("A/sub"));
        QVERIFY(QDir(dir->path()).mkpath("B"));
        makeFile("A/one");
        makeFile("A/sub/inner");
        Settings::write("/fileexplorer/lastPath", at("A"));
        start();
        panel()->setFocus();
        select({"sub"});
        panel()->copy();
        FilesList* buffer = panel()->bufferList;
        buffer->setFocus();
        QTRY_VERIFY(buffer->hasFocus());
        buffer->setCurrentItem(QStringLiteral("sub"));
        QTest::keyClick(buffer, Qt::Key_Return);
        QCOMPARE(names(buffer), QStringList{"sub"});
        QTest::mouseDClick(buffer->viewport(), Qt::LeftButton, {},
                           buffer->visualItemRect(buffer->topLevelItem(0)).center());
        QCOMPARE(names(buffer), QStringList{"sub"});
        QCOMPARE(static_cast<FilesListItem*>(buffer->topLevelItem(0))->filePath, at("A/sub"));
        // Exactly the copied folder arrives.
        list()->go(at("B"));
        panel()->paste();
        const auto all = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
        QCOMPARE(QDir(at("B")).entryList(all), QStringList{"sub"});
        QCOMPARE(QDir(at("B/sub")).entryList(all), QStringList{"inner"});
        QVERIFY(buffer->isHidden());
    }

    void pasteIntoItsOwnFolder()
    {
        QVERIFY(QDir(dir->path()).mkpath("A"));
        QVERIFY(QDir(dir->path()).mkpath("B"));
        makeFile("A/one");
        makeFile("A/two");
        makeFile("B/three");
        Settings::write("/fileexplorer/lastPath", at("A"));
        start();
        panel()->setFocus();
        FilesList* buffer = panel()->bufferList;
        auto status = [this] {
            return shell->statusBar()->findChildren<QLabel*>().first()->text();
        };
        const auto all = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;

        // Nothing is copied under another name, and the buffer stays.
        select({"one"});
        panel()->copy();
        panel()->paste();
        QCOMPARE(QDir(at("A")).entryList(all), QStringList({"one", "two"}));
        QCOMPARE(names(buffer), QStringList{"one"});
        QVERIFY(!buffer->isHidden());
        QCOMPARE(status(), QStringLiteral("Already in this folder: one"));

        // Beside a cut entry of this folder, one from elsewhere: only that
        // one is pasted; the others stay buffered as they were.
        select({"two"});
        panel()->cut();
        list()->go(at("B"));
        select({"three"});
        panel()->copy();
        list()->go(at("A"));
        panel()->paste();
        QCOMPARE(QDir(at("A")).entryList(all), QStringList({"one", "three", "two"}));
        QStringList left = names(buffer);
        left.sort();
        QCOMPARE(left, QStringList({"one", "two"}));
        QCOMPARE(list()->excludeFilePaths(), QStringList{at("A/two")});
        QVERIFY(status().startsWith(QStringLiteral("Already in this folder: ")));
        list()->go(at("B"));
        panel()->paste();
        QCOMPARE(QDir(at("A")).entryList(all), QStringList({"one", "three"}));
        QCOMPARE(QDir(at("B")).entryList(all), QStringList({"one", "three", "two"}));
        QVERIFY(buffer->isHidden());
        QVERIFY(asked.isEmpty());
    }

    void namesThatAreNotUtf8()
    {
        // Such a name is shown with replacement characters; every file
        // operation still reaches the file by the bytes the folder gave.
        QVERIFY(QDir(dir->path()).mkpath("A"));
        QVERIFY(QDir(dir->path()).mkpath("B"));
        // The temporary folder's removal cannot name such entries.
        struct RemoveAll {
            QByteArray folder;
            ~RemoveAll() { ::system(("rm -rf '" + folder + "'").constData()); }
        } removeAll{QFile::encodeName(dir->path())};
        const QByteArray a = QFile::encodeName(at("A")) + '/';
        const QByteArray file = a + "bad\xff.txt";
        const QByteArray folder = a + "dir\xfe";
        const QByteArray vanishing = a + "gone\xff";
        for (const QByteArray& f : {file, vanishing}) {
            const int fd = ::open(f.constData(), O_WRONLY | O_CREAT, 0644);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, "bytes", 5), 5);
            ::close(fd);
        }
        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        QCOMPARE(::close(::open((folder + "/x").constData(), O_WRONLY | O_CREAT, 0644)), 0);
        auto lstatOk = [](const QByteArray& p) {
            struct stat st;
            return ::lstat(p.constData(), &st) == 0;
        };
        auto selectNative = [this](const QList<QByteArray>& which) {
            list()->clearSelection();
            for (int i = 0; i < list()->topLevelItemCount(); ++i) {
                auto* item = static_cast<FilesListItem*>(list()->topLevelItem(i));
                if (which.contains(item->nativePath))
                    item->setSelected(true);
            }
            return list()->selectedItems().size();
        };
        Settings::write("/fileexplorer/lastPath", at("A"));
        start();
        panel()->setFocus();

        // Copied and pasted: the same bytes in the name and the content.
        QCOMPARE(selectNative({file, folder}), 2);
        panel()->copy();
        list()->go(at("B"));
        panel()->paste();
        const QByteArray b = QFile::encodeName(at("B")) + '/';
        char content[16] = {};
        const int fd = ::open((b + "bad\xff.txt").constData(), O_RDONLY);
        QVERIFY(fd >= 0);
        QCOMPARE(::read(fd, content, sizeof content), 5);
        ::close(fd);
        QCOMPARE(QByteArray(content), QByteArray("bytes"));
        QVERIFY(lstatOk(b + "dir\xfe/x"));

        // Deleted.
        list()->go(at("A"));
        answer = QStringLiteral("Delete");
        QCOMPARE(selectNative({file, folder}), 2);
        QTest::keyClick(list(), Qt::Key_Delete);
        QVERIFY(!lstatOk(file));
        QVERIFY(!lstatOk(folder));
        QCOMPARE(asked, QStringList{"Do you really want to delete it?"});

        // One that vanished meanwhile is named, not passed over in silence.
        QCOMPARE(selectNative({vanishing}), 1);
        QCOMPARE(::unlink(vanishing.constData()), 0);
        asked.clear();
        answer = QStringLiteral("Delete");
        panel()->erase();
        QCOMPARE(asked.size(), 2);
        QVERIFY(asked.last().endsWith(" no longer exists.\nNothing was deleted."));
    }

    void deleteAndNewFolder()
    {
        for (const char* n : {"a", "b", "c", "d", "e"})
            makeFile(QLatin1String(n));
        Settings::write("/fileexplorer/lastPath", dir->path());
        start();
        panel()->setFocus();

        // Cancel or Escape deletes nothing.
        select({"b", "c"});
        answer = QStringLiteral("Cancel");
        panel()->erase();
        answer.clear();
        QTest::keyClick(list(), Qt::Key_Delete);
        QCOMPARE(asked, QStringList(2, QStringLiteral("Do you really want to delete it?")));
        QVERIFY(QFile::exists(at("b")));
        QVERIFY(QFile::exists(at("c")));
        // Delete: gone, the cursor on the entry after the last deleted one.
        answer = QStringLiteral("Delete");
        select({"b", "c"});
        QTest::keyClick(list(), Qt::Key_Delete);
        QVERIFY(!QFile::exists(at("b")));
        QVERIFY(!QFile::exists(at("c")));
        QCOMPARE(names(list()), QStringList({"..", "a", "d", "e"}));
        QCOMPARE(list()->currentItemName(), QStringLiteral("d"));
        // The last entry deleted: it was the cursor's, which then finds none.
        select({"e"});
        panel()->erase();
        QVERIFY(!QFile::exists(at("e")));

        // New folder: names that leave the folder, and an existing one, are refused.
        answer = QStringLiteral("OK");
        asked.clear();
        QString name;
        Message::setDialogRunner([&name](QDialog& d) {
            auto& input = static_cast<QInputDialog&>(d);
            if (input.textValue() != QLatin1String("New folder"))
                return int(QDialog::Rejected);
            input.setTextValue(name);
            return int(QDialog::Accepted);
        });
        for (const QString& bad : {QStringLiteral(".."), QStringLiteral("."), QStringLiteral("x/y"),
                                   QStringLiteral("a"), QString()}) {
            name = bad;
            panel()->newFolder();
        }
        QCOMPARE(asked,
                 QStringList(5, QStringLiteral("Can't create new folder in ") + dir->path()));
        QVERIFY(!QFileInfo::exists(at("x")));
        name = QStringLiteral("fresh");
        panel()->newFolder();
        QVERIFY(QFileInfo(at("fresh")).isDir());
        QCOMPARE(list()->currentItemName(), QStringLiteral("fresh"));
        QCOMPARE(asked.size(), 5);
    }

    void bufferStretch()
    {
        int files = 95, buffer = 5;
        QVERIFY(ExplorerPanel::bufferStretch(600, 0, false, 5, 18, &files, &buffer));
        QCOMPARE(files, 206);
        QCOMPARE(buffer, 48);
        // Capped at a third of the space; an empty buffer wants 25 of at least 70.
        QVERIFY(ExplorerPanel::bufferStretch(100, 50, true, 30, 18, &files, &buffer));
        QCOMPARE(buffer, 50 * 255 / 150);
        QVERIFY(ExplorerPanel::bufferStretch(0, 0, false, 0, 18, &files, &buffer));
        QCOMPARE(buffer, 25 * 255 / 70);
        // No height at all with entries: the factors stay.
        files = 1;
        buffer = 2;
        QVERIFY(!ExplorerPanel::bufferStretch(0, 0, true, 3, 18, &files, &buffer));
        QCOMPARE(files, 1);
        QCOMPARE(buffer, 2);
    }
};

QTEST_MAIN(TestExplorerPanel)
#include "tst_explorerpanel.moc"

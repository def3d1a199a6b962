// The files list on real folders beside the real main window: order in both
// view modes and the three sort modes, moving through folders and its
// history, the status-bar summaries, locked and greyed entries, popups by
// kind, awkward names and links; and the form the explorer panel is laid on.

#include "../shellfixture.h"
#include "vexa/actions.h"
#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/explorer/explorerpanelbase.h"
#include "vexa/explorer/fileslist.h"
#include "vexa/filetype.h"
#include "vexa/message.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/utils.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexa;

namespace
{

// A file of `size` bytes (sparse) whose modification time is `mtime` seconds
// after a fixed moment in the past.
void makeFile(const QString& path, qint64 size, int mtime)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.resize(size));
    QVERIFY(f.setFileTime(QDateTime::fromSecsSinceEpoch(1600000000 + mtime),
                          QFileDevice::FileModificationTime));
}

} // namespace

class TestFilesList : public QObject
{
    Q_OBJECT
private:
    QPointer<Shell> shell;
    QTemporaryDir* dir = nullptr;
    FilesList* list = nullptr;

    QString root() const { return dir->path(); }
    QString at(const QString& name) const { return dir->path() + QLatin1Char('/') + name; }
    QString statusText() const
    {
        return shell->statusBar()->findChildren<QLabel*>().first()->text();
    }
    QStringList names() const
    {
        QStringList n;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            n.append(item(i)->fileName);
        return n;
    }
    FilesListItem* item(int row) const
    {
        return static_cast<FilesListItem*>(list->topLevelItem(row));
    }
    FilesListItem* item(const QString& name) const
    {
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (item(i)->fileName == name)
                return item(i);
        return nullptr;
    }
    void select(const QStringList& which)
    {
        list->clearSelection();
        for (const QString& n : which)
            item(n)->setSelected(true);
    }
    QPoint centre(const QString& name) const { return list->visualItemRect(item(name)).center(); }
    // As a mouse does it: press, release, the double click, release.
    void doubleClick(const QString& name)
    {
        const QPoint p = centre(name);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, p);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, p);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, p);
    }
    // The standard fixture: three folders, four files with chosen sizes and
    // times, hidden entries of both kinds.
    void fixture()
    {
        QDir d(root());
        for (const char* sub : {"a", "B", "c", ".hid"})
            QVERIFY(d.mkdir(QLatin1String(sub)));
        makeFile(at("b.txt"), 100, 1000);
        makeFile(at("A.txt"), 5, 3000);
        makeFile(at("c.cpp"), 100, 2000);
        makeFile(at("d"), 7, 3000);
        makeFile(at(".hidden"), 1, 4000);
        makeFile(at("a/one"), 1, 0);
    }

private Q_SLOTS:
    void initTestCase() { shellfixture::useAppSettings(); }
    void init()
    {
        shellfixture::clearSettings();
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        shell = new Shell(nullptr, "vexa::Shell");
        startServices(shell);
        list = new FilesList(shell, "filesList");
        list->resize(300, 200);
        list->show();
        list->raise();
        shell->show();
        QVERIFY(QTest::qWaitForWindowExposed(shell));
    }
    void cleanup()
    {
        Message::setResponder({});
        delete shell;
        delete dir;
    }

    void order_data()
    {
        QTest::addColumn<int>("view");
        QTest::addColumn<int>("sort");
        QTest::addColumn<QStringList>("files");
        const QStringList byName{"A.txt", "b.txt", "c.cpp", "d"};
        const QStringList byDate{"A.txt", "d", "c.cpp", "b.txt"};
        const QStringList bySize{"b.txt", "c.cpp", "d", "A.txt"};
        for (int view : {int(FilesList::Simple), int(FilesList::Detailed)}) {
            const char* v = view == FilesList::Simple ? "Simple" : "Detailed";
            QTest::addRow("%s by name", v) << view << int(FilesList::Name) << byName;
            QTest::addRow("%s by date", v) << view << int(FilesList::Date) << byDate;
            QTest::addRow("%s by size", v) << view << int(FilesList::Size) << bySize;
        }
    }
    void order()
    {
        QFETCH(int, view);
        QFETCH(int, sort);
        QFETCH(QStringList, files);
        fixture();
        list->setViewMode(view);
        list->setSortMode(sort);
        list->go(root());
        // Folders first in case-sensitive name order, ".." among them; ties by
        // name; hidden entries never.
        QCOMPARE(names(), QStringList({"..", "B", "a", "c"}) + files);
        QCOMPARE(list->path(), root());
        QCOMPARE(item("c")->filePath, at("c"));
        QCOMPARE(item("..")->filePath, QFileInfo(root()).path());
        QCOMPARE(list->currentItemName(), QStringLiteral(".."));
        if (view == FilesList::Detailed) {
            QCOMPARE(item("a")->itemsText(), QStringLiteral("1 Items"));
            QCOMPARE(item("c")->itemsText(), QStringLiteral("0 Items"));
            QCOMPARE(item("b.txt")->sizeText(), QStringLiteral("100b"));
            QVERIFY(!item("b.txt")->dateText().isEmpty());
        } else {
            // Simple entries read no file information until they become current.
            QCOMPARE(item("b.txt")->sizeText(), QString());
            QCOMPARE(item("a")->itemsText(), QString());
        }
    }

    void modesListOnlyWhenTheyChange()
    {
        fixture();
        list->go(root());
        QSignalSpy loaded(list, &FilesList::filesListLoaded);
        list->setViewMode(FilesList::Simple);
        list->setSortMode(FilesList::Name);
        QCOMPARE(loaded.count(), 0);
        list->setSortMode(FilesList::Size);
        list->setViewMode(FilesList::Detailed);
        QCOMPARE(loaded.count(), 2);
        QCOMPARE(names().mid(4), QStringList({"b.txt", "c.cpp", "d", "A.txt"}));
    }

    void theRoot()
    {
        QSignalSpy up(list, &FilesList::upAvailable);
        list->go(QStringLiteral("/"));
        QVERIFY(!names().contains(QStringLiteral("..")));
        QCOMPARE(up.count(), 1);
        QCOMPARE(up.last().at(0).toBool(), false);
        // The root reached through another form of its path has "..", leading to "/".
        list->go(QStringLiteral("/tmp/.."));
        QVERIFY(names().contains(QStringLiteral("..")));
        QCOMPARE(item("..")->filePath, QStringLiteral("/"));
        QCOMPARE(up.last().at(0).toBool(), true);
        QCOMPARE(item("tmp")->filePath, QStringLiteral("/tmp"));
    }

    void moveThroughFolders()
    {
        for (int i = 0; i < 60; ++i)
            QVERIFY(QDir(root()).mkdir(QStringLiteral("d%1").arg(i, 2, 10, QLatin1Char('0'))));
        makeFile(at("d50/inner.txt"), 3, 0);
        QSignalSpy back(list, &FilesList::backAvailable);
        QSignalSpy forward(list, &FilesList::forwardAvailable);
        list->go(root());
        QCOMPARE(back.last().at(0).toBool(), false);

        // Activate d50 by Return after scrolling down to it.
        list->setCurrentItem(QStringLiteral("d50"));
        const int scroll = list->verticalScrollBar()->value();
        QVERIFY(scroll > 0);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(list->path(), at("d50"));
        QCOMPARE(names(), QStringList({"..", "inner.txt"}));
        QCOMPARE(list->currentItemName(), QStringLiteral(".."));
        QCOMPARE(back.last().at(0).toBool(), true);

        // Back: the activated entry current again, at the scroll value of that moment.
        list->verticalScrollBar()->setValue(0);
        list->back();
        QCOMPARE(list->path(), root());
        QCOMPARE(list->currentItemName(), QStringLiteral("d50"));
        QCOMPARE(list->verticalScrollBar()->value(), scroll);
        QCOMPARE(forward.last().at(0).toBool(), true);
        list->forward();
        QCOMPARE(list->path(), at("d50"));

        // ".." by double click: the parent, with the folder just left current.
        doubleClick(QStringLiteral(".."));
        QCOMPARE(list->path(), root());
        QCOMPARE(list->currentItemName(), QStringLiteral("d50"));
        // That was a go: nothing forward any more, and back leads to d50.
        QCOMPARE(forward.last().at(0).toBool(), false);
        list->forward();
        QCOMPARE(list->path(), root());
        list->back();
        QCOMPARE(list->path(), at("d50"));
        // Nothing further back than the first place: nothing happens.
        list->back();
        list->back();
        QCOMPARE(list->path(), root());
        list->back();
        QCOMPARE(list->path(), root());
        QCOMPARE(list->topLevelItemCount(), 61);
    }

    void goAndReloadOfMissingFolders()
    {
        fixture();
        list->go(root());
        list->setCurrentItem(QStringLiteral("c.cpp"));
        QSignalSpy loaded(list, &FilesList::filesListLoaded);
        list->go(at("nowhere"));
        QCOMPARE(loaded.count(), 0);
        QCOMPARE(list->path(), root());
        QCOMPARE(statusText(), at("nowhere") + QStringLiteral("   does not exist."));
        // The history did not grow.
        list->back();
        QCOMPARE(list->path(), root());

        // A folder removed while shown, then reloaded.
        list->go(at("a"));
        QVERIFY(QDir(at("a")).removeRecursively());
        list->reload();
        QCOMPARE(list->path(), at("a"));
        QCOMPARE(statusText(), at("a") + QStringLiteral("   does not exist."));
        // Back still works, forward to the missing folder says so and stays.
        list->back();
        QCOMPARE(list->path(), root());
        QCOMPARE(list->currentItemName(), QString(".."));
        list->forward();
        QCOMPARE(list->path(), root());
        QCOMPARE(statusText(), at("a") + QStringLiteral("   does not exist."));

        // reload keeps the current entry, or none when it was deleted.
        list->setCurrentItem(QStringLiteral("d"));
        list->reload();
        QCOMPARE(list->currentItemName(), QStringLiteral("d"));
        QVERIFY(QFile::remove(at("d")));
        list->reload();
        QVERIFY(!names().contains(QStringLiteral("d")));
        QCOMPARE(list->currentItemName(), QString());
    }

    void openAFile()
    {
        fixture();
        list->go(root());
        doubleClick(QStringLiteral("c.cpp"));
        QCOMPARE(Editors::self()->current()->filename(), at("c.cpp"));
        QCOMPARE(list->path(), root());
    }

    void selectionSummaries()
    {
        fixture();
        list->go(root());
        select({"a", "c"});
        QCOMPARE(statusText(), QStringLiteral("Selected 2 Items"));
        select({"a", "b.txt"});
        QCOMPARE(statusText(), QStringLiteral("Selected 2 Items,   Size: 100b"));
        // ".." counts but is no selected name.
        select({"..", "c.cpp", "d"});
        QCOMPARE(statusText(), QStringLiteral("Selected 3 Items,   Size: 107b"));
        QCOMPARE(list->selectedNames(), QStringList({"c.cpp", "d"}));
        QCOMPARE(list->selectedFileNames(), QStringList({at("c.cpp"), at("d")}));
        QCOMPARE(list->filePaths().first(), QFileInfo(root()).path());

        // A sparse file over 4 GiB, alone and in a total.
        const qint64 big = 5LL * 1024 * 1024 * 1024 + 1;
        makeFile(at("big.img"), big, 0);
        list->reload();
        list->setCurrentItem(QStringLiteral("big.img"));
        QVERIFY(
            statusText().startsWith(at("big.img") + QStringLiteral("   Size: 5.00G, Modified: ")));
        QCOMPARE(item("big.img")->byteSize(), big);
        select({"big.img", "d"});
        QCOMPARE(statusText(), QStringLiteral("Selected 2 Items,   Size: 5.00G"));
        // One entry: its path, and for a file its size and time.
        list->setCurrentItem(QStringLiteral("b.txt"));
        QCOMPARE(statusText(),
                 at("b.txt") + QStringLiteral("   Size: 100b, Modified: ") +
                     Utils::humanReadableDateTime(QFileInfo(at("b.txt")).lastModified()));
        list->setCurrentItem(QStringLiteral("a"));
        QCOMPARE(statusText(), at("a"));
    }

    void lockedEntries()
    {
        fixture();
        QVERIFY(QDir(root()).mkdir(QStringLiteral("secret")));
        makeFile(at("secret.txt"), 1, 0);
        list->setReadableCheck([](const QString& path, bool) {
            return !QFileInfo(path).baseName().startsWith("secret");
        });
        for (int view : {int(FilesList::Detailed), int(FilesList::Simple)}) {
            list->setViewMode(view);
            list->go(root());
            // Detailed entries know at once; Simple ones once they become current.
            QCOMPARE(item("secret")->locked(), view == FilesList::Detailed);
            QCOMPARE(item("secret.txt")->locked(), view == FilesList::Detailed);
            for (const QString& name : {QStringLiteral("secret"), QStringLiteral("secret.txt")}) {
                list->setCurrentItem(name);
                QVERIFY(item(name)->locked());
                list->setFocus();
                QTest::keyClick(list, Qt::Key_Return);
                QCOMPARE(statusText(),
                         at(name) + QStringLiteral("   is locked. It can't be opened."));
                QCOMPARE(list->path(), root());
            }
            QCOMPARE(Editors::self()->current()->filename(), QString());
            if (view == FilesList::Detailed)
                QCOMPARE(item("secret")->itemsText(), QStringLiteral("Locked"));
        }
        QVERIFY(!item("a")->locked());
    }

    void exclusion()
    {
        fixture();
        for (int view : {int(FilesList::Simple), int(FilesList::Detailed)}) {
            list->setExcludeFilePaths({});
            list->setViewMode(view);
            list->go(root());
            list->setExcludeFilePaths({at("a"), at("c") + QLatin1Char('/'), at("b.txt"), "d"});
            QVERIFY(!item("a")->grayed());
            list->reload();
            QVERIFY(item("a")->grayed());
            QVERIFY(item("b.txt")->grayed());
            QVERIFY(!item("c")->grayed());
            QVERIFY(!item("d")->grayed());
            QVERIFY(!item("c.cpp")->grayed());
            QCOMPARE(item("b.txt")->foreground(0).color(), QColor(0x80, 0x80, 0x80));
            QVERIFY(item("b.txt")->icon(0).cacheKey() != item("A.txt")->icon(0).cacheKey());
        }
    }

    void popupsByKind()
    {
        fixture();
        list->go(root());
        auto rightClick = [this](const QString& name) {
            const QPoint p =
                name.isEmpty() ? QPoint(5, list->viewport()->height() - 3) : centre(name);
            QContextMenuEvent e(QContextMenuEvent::Mouse, p, list->viewport()->mapToGlobal(p));
            QApplication::sendEvent(list->viewport(), &e);
            auto* shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            const QString kind = shown ? shown->objectName() : QString();
            if (shown)
                shown->close();
            return kind;
        };
        // No group for the kind and none for "file": nothing.
        QCOMPARE(rightClick(QStringLiteral("c.cpp")), QString());

        QObject receiver;
        Action* open =
            Actions::createAction("Open", "test/open", {}, &receiver, SLOT(deleteLater()));
        Action* enter =
            Actions::createAction("Enter", "test/enter", {}, &receiver, SLOT(deleteLater()));
        auto* fileGroup = new ActionGroup(shell, "file");
        fileGroup->add(open);
        auto* folderGroup = new ActionGroup(shell, "folder");
        folderGroup->add(enter);
        list->setActionGroup(QStringLiteral("file"), fileGroup);
        list->setActionGroup(QStringLiteral("folder"), folderGroup);
        QCOMPARE(list->actionGroup(QStringLiteral("folder")), folderGroup);

        // A type without a group of its own: its own popup of the "file" group.
        QCOMPARE(rightClick(QStringLiteral("c.cpp")), QStringLiteral("cpp"));
        QCOMPARE(rightClick(QStringLiteral("b.txt")), QStringLiteral("text"));
        QCOMPARE(rightClick(QStringLiteral("a")), QStringLiteral("folder"));
        QCOMPARE(rightClick(QString()), QStringLiteral("none"));
        // Built once per kind.
        QCOMPARE(rightClick(QStringLiteral("c.cpp")), QStringLiteral("cpp"));
        const QList<QMenu*> menus = list->findChildren<QMenu*>(Qt::FindDirectChildrenOnly);
        QCOMPARE(menus.size(), 4);
        for (QMenu* m : menus)
            QCOMPARE(m->actions(), QList<QAction*>({m->objectName() == "folder" ? enter : open}));

        // Several selected names: "selection"; ".." and one name: the clicked kind.
        select({"c.cpp", "d"});
        QCOMPARE(rightClick(QStringLiteral("d")), QStringLiteral("selection"));
        select({"..", "c.cpp"});
        QCOMPARE(rightClick(QStringLiteral("c.cpp")), QStringLiteral("cpp"));
    }

    void awkwardNamesAndLinks()
    {
        QDir d(root());
        QVERIFY(d.mkdir(QStringLiteral("sub")));
        makeFile(at("new\nline.txt"), 1, 0);
        makeFile(at(QString(255, QLatin1Char('n'))), 2, 0);
        const QByteArray raw = QFile::encodeName(root()) + "/bad\xff\xfe.txt";
        const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        QVERIFY(::mkfifo(QFile::encodeName(at("fifo")).constData(), 0644) == 0);
        QVERIFY(QFile::link(at("fifo"), at("tofifo")));
        QVERIFY(QFile::link(at("gone"), at("dangling")));
        QVERIFY(QFile::link(QStringLiteral(".."), at("sub/loop")));

        for (int view : {int(FilesList::Simple), int(FilesList::Detailed)}) {
            for (int sort : {int(FilesList::Name), int(FilesList::Date), int(FilesList::Size)}) {
                list->setViewMode(view);
                list->setSortMode(sort);
                // Listing never opens the FIFO (that would wait for a writer).
                list->go(root());
                QCOMPARE(list->topLevelItemCount(), 8);
                for (const char* n : {"new\nline.txt", "fifo", "tofifo", "dangling", "sub"})
                    QVERIFY2(item(QString::fromUtf8(n)), n);
                QVERIFY(item(QString(255, QLatin1Char('n'))));
            }
        }
        // A name that is not UTF-8 is listed but cannot be handed back to the
        // file system: locked rather than opened under a wrong name.
        FilesListItem* bad = nullptr;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (item(i)->fileName.startsWith(QStringLiteral("bad")))
                bad = item(i);
        QVERIFY(bad);
        QVERIFY(bad->locked());
        QVERIFY(item("dangling")->locked());
        QVERIFY(!item("fifo")->isDir);
        list->setCurrentItem(QStringLiteral("new\nline.txt"));
        QCOMPARE(item("new\nline.txt")->byteSize(), 1);

        // A link to its own parent: entering it lists the parent once.
        list->go(at("sub"));
        list->setCurrentItem(QStringLiteral("loop"));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(list->path(), at("sub/loop"));
        QCOMPARE(list->topLevelItemCount(), 8);
        QVERIFY(item("sub"));
        QCOMPARE(item("sub")->filePath, at("sub/loop/sub"));
        // The temporary folder cannot name that file to remove it.
        QCOMPARE(::unlink(raw.constData()), 0);
    }

    void form()
    {
        ExplorerPanelBase unnamed;
        QCOMPARE(unnamed.objectName(), QStringLiteral("ExplorerPanelBase"));
        QCOMPARE(unnamed.windowTitle(), QStringLiteral("ExplorerPanel"));
        ExplorerPanelBase named(nullptr, "panel");
        QCOMPARE(named.objectName(), QStringLiteral("panel"));
        QCOMPARE(named.filesList->objectName(), QStringLiteral("filesList"));
        QCOMPARE(named.bufferList->objectName(), QStringLiteral("bufferList"));
        QCOMPARE(named.bufferLabel->text(), QStringLiteral("Buffer:"));
        QCOMPARE(named.clearBufferButton->text(), QStringLiteral("Clear"));
        QCOMPARE(named.backButton->toolTip(), QStringLiteral("Go back one page (Alt+Left)"));
        QCOMPARE(named.forwardButton->toolTip(), QStringLiteral("Go forward one page (Alt+Right)"));
        QCOMPARE(named.cdUpButton->toolTip(), QStringLiteral("Up next level in tree (Alt+Up)"));
        QCOMPARE(
            named.bookmarkButton->toolTip(),
            QStringLiteral("Add current path to bookmarks. Use Ctrl-B to show bookmark menu."));
        // No button carries a shortcut: they would take the keys of the
        // panel's focus-switched commands and of the editors.
        for (QToolButton* b : named.findChildren<QToolButton*>())
            QVERIFY2(b->shortcut().isEmpty(), qPrintable(b->objectName()));
        QCOMPARE(named.findChildren<QToolButton*>().size(), 7);

        // Both lists keep 50 px however small the panel becomes.
        named.show();
        named.resize(200, 60);
        QTest::qWait(0);
        named.layout()->activate();
        QVERIFY(named.filesList->height() >= 50);
        QVERIFY(named.bufferList->height() >= 50);
        QCOMPARE(named.filesList->minimumHeight(), 50);
        QCOMPARE(named.bufferList->minimumHeight(), 50);
    }
};

QTEST_MAIN(TestFilesList)
#include "tst_fileslist.moc"

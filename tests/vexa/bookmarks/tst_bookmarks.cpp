// The bookmarks store through the settings (written when changed, read back
// after a restart of the store), and the manage dialog with its edit dialog.

#include "../shellfixture.h"
#include "vexa/bookmarks/bookmarks.h"
#include "vexa/bookmarks/bookmarksdialog.h"
#include "vexa/message.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using namespace vexa;

using Map = QMap<QString, QString>;

class TestBookmarks : public QObject
{
    Q_OBJECT
private:
    QPointer<Shell> shell;
    const QString cat = QStringLiteral("ExplorerPanel");

    // The store as the next run of the program finds it.
    Bookmarks* restart()
    {
        delete Bookmarks::self();
        return Bookmarks::self();
    }
    // Runs the manage dialog; `act` works on it while it is open.
    void manage(const std::function<void(BookmarksDialog*)>& act)
    {
        QTimer::singleShot(0, this, [act] {
            auto* dialog = Bookmarks::self()->dialog();
            QVERIFY(dialog && dialog->isVisible());
            act(dialog);
        });
        Bookmarks::self()->showManageDialog(cat);
    }
    QStringList rows(BookmarksDialog* dialog)
    {
        QStringList t;
        for (int i = 0; i < dialog->bookmarkListView->topLevelItemCount(); ++i)
            t << dialog->bookmarkListView->topLevelItem(i)->text(0) + QLatin1Char('=') +
                     dialog->bookmarkListView->topLevelItem(i)->text(1);
        return t;
    }

private Q_SLOTS:
    void initTestCase() { shellfixture::useAppSettings(); }
    void init()
    {
        shellfixture::clearSettings();
        shell = new Shell(nullptr, "vexa::Shell");
    }
    void cleanup()
    {
        Message::setResponder({});
        delete shell;
    }

    void emptyStore()
    {
        QCOMPARE(Bookmarks::self()->bookmarks(cat), Map());
        restart();
        QCOMPARE(Settings::readList("/bookmarks/categories"), QStringList({cat}));
        bool found = false;
        QCOMPARE(Settings::readList("/bookmarks/bookmarks_" + cat, &found), QStringList());
        QVERIFY(found);
    }

    void namesThatArePaths()
    {
        // Folder paths, prefixes of each other, and names the settings would
        // fold into one key if they stood in it unchanged.
        const Map marks{{"/home/u/src", "1"}, {"/home/u", "2"},    {"/a//b", "3"},
                        {"/a/b", "4"},        {"/trail/", "5"},    {"/trail", "6"},
                        {"back\\slash", "7"}, {"back/slash", "8"}, {"", "9"},
                        {"50%2F", "10"},      {"50/", "11"}};
        for (auto it = marks.cbegin(); it != marks.cend(); ++it)
            Bookmarks::self()->addBookmark(cat, it.key(), "first");
        for (auto it = marks.cbegin(); it != marks.cend(); ++it)
            Bookmarks::self()->addBookmark(cat, it.key(), it.value());
        // Adding a name twice keeps the second url.
        QCOMPARE(Bookmarks::self()->bookmarks(cat), marks);
        // Written at once; a plain path is stored under a key of its own name.
        QCOMPARE(Settings::read("/bookmarks/bookmark_/home/u/src"), QStringLiteral("1"));
        QCOMPARE(Settings::readList("/bookmarks/bookmarks_" + cat), QStringList(marks.keys()));
        // The settings file on disk already holds them (a crash loses none).
        QFile disk(Settings::self()->fileName());
        QVERIFY(disk.open(QIODevice::ReadOnly));
        QVERIFY(disk.readAll().contains("bookmarks_ExplorerPanel"));
        QCOMPARE(restart()->bookmarks(cat), marks);
    }

    void manageDialog()
    {
        Bookmarks::self()->addBookmark(cat, "/x", "/x");
        Bookmarks::self()->addBookmark(cat, "/y", "/y");
        // Cancel: whatever was done in the dialog is dropped.
        manage([this](BookmarksDialog* dialog) {
            QCOMPARE(rows(dialog), QStringList({"/x=/x", "/y=/y"}));
            dialog->bookmarkListView->setCurrentItem(dialog->bookmarkListView->topLevelItem(0));
            dialog->removeBookmark();
            QCOMPARE(rows(dialog), QStringList({"/y=/y"}));
            dialog->buttonCancel->click();
        });
        QCOMPARE(Bookmarks::self()->bookmarks(cat), Map({{"/x", "/x"}, {"/y", "/y"}}));

        // Add a row through the edit dialog, twice with one name: OK keeps the lower one.
        manage([](BookmarksDialog* dialog) {
            for (const char* url : {"/one", "/two"}) {
                QTimer::singleShot(0, dialog, [dialog, url] {
                    EditBookmarkDialog* edit = dialog->editDialog();
                    QVERIFY(edit->isVisible());
                    QCOMPARE(edit->nameLineEdit->text(), QString());
                    edit->nameLineEdit->setText("/dup");
                    edit->urlLineEdit->setText(url);
                    edit->buttonOk->click();
                });
                dialog->addButton->click();
            }
            dialog->buttonOk->click();
        });
        QCOMPARE(Bookmarks::self()->bookmarks(cat),
                 Map({{"/x", "/x"}, {"/y", "/y"}, {"/dup", "/two"}}));

        // OK after removing every row: the category stays, empty, and the
        // keys of the removed names go from the settings.
        manage([](BookmarksDialog* dialog) {
            while (dialog->bookmarkListView->topLevelItemCount()) {
                dialog->bookmarkListView->setCurrentItem(dialog->bookmarkListView->topLevelItem(0));
                dialog->removeButton->click();
            }
            dialog->buttonOk->click();
        });
        QCOMPARE(Bookmarks::self()->bookmarks(cat), Map());
        QVERIFY(!Settings::self()->contains("/vexa" + Bookmarks::urlKey("/x")));
        QVERIFY(!Settings::self()->contains("/vexa" + Bookmarks::urlKey("/dup")));
        QCOMPARE(restart()->bookmarks(cat), Map());
        QCOMPARE(Settings::readList("/bookmarks/categories"), QStringList({cat}));
    }

    void withoutACurrentRowNothingHappens()
    {
        BookmarksDialog dialog(shell);
        dialog.setBookmarks({{"/a", "1"}});
        dialog.show();
        dialog.bookmarkListView->setCurrentItem(nullptr);
        int opened = 0;
        // Any edit dialog opened would be counted and closed at once.
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (dialog.editDialog()->isVisible()) {
                ++opened;
                dialog.editDialog()->reject();
            }
        });
        watch.start(0);
        dialog.editButton->click();
        QTest::keyClick(dialog.bookmarkListView, Qt::Key_Space);
        QTest::keyClick(dialog.bookmarkListView, Qt::Key_Return);
        dialog.removeButton->click();
        QCOMPARE(opened, 0);
        QCOMPARE(rows(&dialog), QStringList({"/a=1"}));
        // With a current row Space edits it.
        dialog.bookmarkListView->setCurrentItem(dialog.bookmarkListView->topLevelItem(0));
        QTest::keyClick(dialog.bookmarkListView, Qt::Key_Space);
        QCOMPARE(opened, 1);
    }

    void okAndCancelHaveNoAltKeys()
    {
        // As in the other dialogs, OK and Cancel answer Return and Escape
        // only; Alt+O and Alt+C do nothing.
        BookmarksDialog dialog(shell);
        dialog.setBookmarks({{"/a", "1"}});
        EditBookmarkDialog* edit = dialog.editDialog();
        for (QDialog* d : {static_cast<QDialog*>(&dialog), static_cast<QDialog*>(edit)}) {
            const auto buttons = d == edit ? std::pair{edit->buttonOk, edit->buttonCancel}
                                           : std::pair{dialog.buttonOk, dialog.buttonCancel};
            QCOMPARE(buttons.first->text(), QStringLiteral("&OK"));
            QCOMPARE(buttons.second->text(), QStringLiteral("&Cancel"));
            d->show();
            QVERIFY(QTest::qWaitForWindowActive(d));
            // A mnemonic would press its button at once and click it a moment later.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::AltModifier);
            QVERIFY(!buttons.first->isDown());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::AltModifier);
            QVERIFY(!buttons.second->isDown());
            QVERIFY(d->isVisible());
            QTest::keyClick(d, Qt::Key_Escape);
            QVERIFY(!d->isVisible());
        }
    }

    void dialogSizeSurvivesARestart()
    {
        manage([](BookmarksDialog* dialog) {
            QCOMPARE(dialog->size(), dialog->minimumSizeHint().expandedTo(QSize(574, 396)));
            dialog->resize(640, 455);
            dialog->buttonCancel->click();
        });
        restart();
        manage([](BookmarksDialog* dialog) {
            QCOMPARE(dialog->size(), QSize(640, 455));
            dialog->buttonCancel->click();
        });
    }

    void failedWriteIsReported()
    {
        Bookmarks::self()->addBookmark(cat, "/kept", "/kept");
        // A folder where the settings file goes: the write cannot replace it.
        const QString file = Settings::self()->fileName();
        QVERIFY(QFile::remove(file));
        QVERIFY(QDir().mkdir(file));
        QString said;
        Message::setResponder([&said](QMessageBox* box) {
            said = box->text();
            return box->buttons().value(0);
        });
        Bookmarks::self()->addBookmark(cat, "/new", "/new");
        QVERIFY(QDir().rmdir(file));
        QCOMPARE(said, QStringLiteral("The bookmarks could not be written to %1.").arg(file));
        // Still kept in memory, and written once the disk takes it again.
        QVERIFY(Bookmarks::self()->save());
        QCOMPARE(restart()->bookmarks(cat), Map({{"/kept", "/kept"}, {"/new", "/new"}}));
    }
};

QTEST_MAIN(TestBookmarks)
#include "tst_bookmarks.moc"

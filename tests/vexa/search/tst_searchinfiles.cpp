// The search-in-files dialog on the real main window and messages panel: its
// command, the first start, the histories, a folder that is no folder, an
// invalid expression, Stop and Cancel while the walk runs, a search text
// emptied meanwhile, many hits, and quitting during a search.

#include "../shellfixture.h"
#include "../testeditor.h"

#include "vexa/actions.h"
#include "vexa/editors/editors.h"
#include "vexa/message.h"
#include "vexa/messages/messageitem.h"
#include "vexa/messages/messagemarkup.h"
#include "vexa/messages/messageoutput.h"
#include "vexa/search/filesearch.h"
#include "vexa/search/searchinfiles.h"
#include "vexa/search/searchmanager.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace vexa;

namespace
{

bool write(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QStringList rawTexts(MessageOutput* panel)
{
    QStringList out;
    for (int i = 0; i < panel->count(); ++i)
        out.append(panel->item(i)->rawText());
    return out;
}

QStringList items(const QComboBox* combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out.append(combo->itemText(i));
    return out;
}

} // namespace

class TestSearchInFiles : public QObject
{
    Q_OBJECT
private:
    Shell* shell = nullptr;
    MessageOutput* panel = nullptr;
    SearchInFiles* dialog = nullptr;
    QTemporaryDir dir;
    // A tree of many files with one hit each, for searches to stop.
    QString many;

    void open()
    {
        Actions::action(QStringLiteral("Search/FindInFiles"))->trigger();
        const QList<SearchInFiles*> dialogs = shell->findChildren<SearchInFiles*>();
        QCOMPARE(dialogs.size(), 1);
        dialog = dialogs.first();
        QVERIFY(dialog->isVisible());
    }
    void fill(const QString& folder, const QString& pattern, const QString& text)
    {
        dialog->comboDirectory->setEditText(folder);
        dialog->comboPattern->setEditText(pattern);
        dialog->comboSearch->setEditText(text);
    }
    void pressSearch() { QTest::mouseClick(dialog->buttonSearch, Qt::LeftButton); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        shellfixture::useAppSettings();
        // A first start: nothing stored by an earlier run.
        Settings::remove(QStringLiteral("/SearchInFiles"));
        QVERIFY(shellfixture::openShell(shell, shellfixture::TestEditors | shellfixture::Services |
                                                   shellfixture::Shown));
        panel = MessageOutput::self();
        many = dir.filePath(QStringLiteral("many"));
        for (int i = 0; i < 400; ++i)
            QVERIFY(write(many + QStringLiteral("/f%1.txt").arg(i, 3, 10, QLatin1Char('0')),
                          "one needle\n"));
    }
    void cleanupTestCase()
    {
        Message::setResponder({});
        delete shell;
    }
    void cleanup() { Message::setResponder({}); }

    // No stored values: the working folder, empty fields, no Search.
    void firstStart()
    {
        QVERIFY(Actions::action(QStringLiteral("Search/FindInFiles"))->isEnabled());
        panel->insertItem(QStringLiteral("old row"));
        open();
        QCOMPARE(dialog->objectName(), QStringLiteral("SearchInFiles"));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Search in files..."));
        QCOMPARE(dialog->comboDirectory->currentText(), QDir::currentPath());
        QCOMPARE(dialog->comboPattern->currentText(), QString());
        QCOMPARE(dialog->comboSearch->currentText(), QString());
        QVERIFY(!dialog->buttonSearch->isEnabled());
        QVERIFY(dialog->checkSearchInProject->isHidden());
        QVERIFY(dialog->comboReplace->isHidden());
        QCOMPARE(dialog->labelProcessing->text(), QStringLiteral("No file"));
        QCOMPARE(panel->count(), 0);
        dialog->comboSearch->setEditText(QStringLiteral("x"));
        QVERIFY(dialog->buttonSearch->isEnabled());
        dialog->comboSearch->setEditText(QString());
        QVERIFY(!dialog->buttonSearch->isEnabled());

        // The tool-bar twin shows the same dialog and empties the panel.
        panel->insertItem(QStringLiteral("old row"));
        dialog->hide();
        Actions::action(QStringLiteral("Search/toolbar/FindInFiles"))->trigger();
        QCOMPARE(shell->findChildren<SearchInFiles*>().size(), 1);
        QVERIFY(dialog->isVisible());
        QCOMPARE(panel->count(), 0);
    }

    // Rows reach the panel once each, however often the dialog was opened;
    // Return in the search field starts the search and keeps the text at the
    // top of its list; the five keys hold the texts of each press.
    void searchAndHistories()
    {
        const QString root = dir.filePath(QStringLiteral("tree"));
        QVERIFY(write(root + "/a.cpp", "int needle;\n"));
        QVERIFY(write(root + "/b.txt", "needle\n"));
        open();
        open();
        fill(root, QStringLiteral("*.cpp"), QString());
        dialog->comboSearch->lineEdit()->setFocus();
        QTest::keyClicks(dialog->comboSearch->lineEdit(), QStringLiteral("needle"));
        QTest::keyClick(dialog->comboSearch->lineEdit(), Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->buttonSearch->text(), QStringLiteral("Search"));
        const QString file = QDir(root).filePath(QStringLiteral("a.cpp"));
        QCOMPARE(rawTexts(panel), (QStringList{FileSearch::headerRow(file),
                                               FileSearch::hitRow(1, "int needle;", 4, 6)}));
        QCOMPARE(static_cast<MessageItem*>(panel->item(1))->fileName(), file);
        QCOMPARE(static_cast<MessageItem*>(panel->item(1))->line(), 1);
        QCOMPARE(items(dialog->comboSearch), QStringList{"needle"});
        QCOMPARE(dialog->labelProcessing->text(), QDir(root).filePath(QStringLiteral("a.cpp")));

        // A second press with texts typed over the old ones.
        open();
        QCOMPARE(dialog->comboSearch->currentText(), QStringLiteral("needle"));
        fill(root + "/", QStringLiteral("*.txt"), QStringLiteral("need"));
        pressSearch();
        QCOMPARE(panel->count(), 2);
        QCOMPARE(Settings::read(QStringLiteral("/SearchInFiles/Last Dir")), root + "/");
        QCOMPARE(Settings::read(QStringLiteral("/SearchInFiles/Last Pattern")),
                 QStringLiteral("*.txt"));
        QCOMPARE(Settings::readList(QStringLiteral("/SearchInFiles/Dirs")),
                 QStringList{root + "/"});
        QCOMPARE(Settings::readList(QStringLiteral("/SearchInFiles/Patterns")),
                 QStringList{"*.txt"});
        QCOMPARE(Settings::readList(QStringLiteral("/SearchInFiles/SearchStrings")),
                 (QStringList{"need", "needle"}));

        // A new dialog reads them back.
        SearchInFiles fresh(shell);
        QCOMPARE(fresh.comboDirectory->currentText(), root + "/");
        QCOMPARE(fresh.comboPattern->currentText(), QStringLiteral("*.txt"));
        QCOMPARE(items(fresh.comboSearch), (QStringList{"need", "needle"}));
        QCOMPARE(fresh.comboSearch->currentText(), QStringLiteral("need"));
        QVERIFY(fresh.buttonSearch->isEnabled());
    }

    void notAFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("missing") << dir.filePath(QStringLiteral("missing"));
        QTest::newRow("a file") << dir.filePath(QStringLiteral("many/f000.txt"));
        QTest::newRow("nothing") << QString();
    }
    // A warning, the histories still written, the dialog closed.
    void notAFolder()
    {
        QFETCH(QString, folder);
        open();
        fill(folder, QString(), QStringLiteral("needle"));
        QString caption;
        QString text;
        QWidget* parent = nullptr;
        Message::setResponder([&](QMessageBox* box) {
            caption = box->windowTitle();
            text = box->text();
            parent = box->parentWidget();
            return box->button(QMessageBox::Ok);
        });
        pressSearch();
        QCOMPARE(caption, QStringLiteral("warning"));
        // Over the dialog it is about, not the main window.
        QCOMPARE(parent, dialog);
        QCOMPARE(text,
                 QStringLiteral("The directory \n") + folder + QStringLiteral("\n dosn't exist."));
        QCOMPARE(Settings::readList(QStringLiteral("/SearchInFiles/Dirs")).value(0), folder);
        QCOMPARE(Settings::read(QStringLiteral("/SearchInFiles/Last Dir"), QStringLiteral("-")),
                 folder);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(panel->count(), 0);
    }

    // The public slot walks a folder as the Search button does: a second
    // call on the same folder sends the same rows.
    void processDirectoryTwice()
    {
        open();
        dialog->comboPattern->setEditText(QString());
        dialog->comboSearch->setEditText(QStringLiteral("needle"));
        QSignalSpy rows(dialog, &SearchInFiles::newEntry);
        dialog->processDirectory(many);
        const QList<QList<QVariant>> first = rows;
        QCOMPARE(first.size(), 800);
        rows.clear();
        dialog->processDirectory(many);
        QCOMPARE(QList<QList<QVariant>>(rows), first);
        dialog->reject();
    }

    // The folder button asks through the program's file chooser, over the
    // dialog, for a folder, starting at the folder field's text.
    void folderChooser()
    {
        open();
        dialog->comboDirectory->setEditText(dir.path());
        QString startedAt;
        QWidget* parent = nullptr;
        bool foldersOnly = false;
        Editors::setFileDialogRunner([&](QFileDialog& d) {
            startedAt = d.directory().absolutePath();
            parent = d.parentWidget();
            foldersOnly = d.fileMode() == QFileDialog::Directory;
            d.selectFile(many);
            return true;
        });
        QTest::mouseClick(dialog->buttonDirectory, Qt::LeftButton);
        QCOMPARE(startedAt, QDir(dir.path()).absolutePath());
        QCOMPARE(parent, dialog);
        QVERIFY(foldersOnly);
        QCOMPARE(dialog->comboDirectory->currentText(), many);
        // Cancelled: the field keeps its text.
        Editors::setFileDialogRunner([](QFileDialog&) { return false; });
        dialog->comboDirectory->setEditText(dir.path());
        QTest::mouseClick(dialog->buttonDirectory, Qt::LeftButton);
        QCOMPARE(dialog->comboDirectory->currentText(), dir.path());
        Editors::setFileDialogRunner({});
        dialog->reject();
    }

    // A path longer than the status line is elided there (whole in its tip);
    // the dialog keeps its width.
    void longPathInStatusLine()
    {
        QString folder = dir.filePath(QStringLiteral("long"));
        for (int i = 0; i < 6; ++i)
            folder += QLatin1Char('/') + QString(120, QLatin1Char('a' + i));
        QVERIFY(write(folder + QStringLiteral("/f.txt"), "needle\n"));
        open();
        const int width = dialog->width();
        fill(folder, QString(), QStringLiteral("needle"));
        const QString last = folder + QStringLiteral("/f.txt");
        dialog->buttonSearch->click();
        QCOMPARE(dialog->width(), width);
        QCOMPARE(dialog->labelProcessing->toolTip(), last);
        const QString shown = dialog->labelProcessing->text();
        QVERIFY2(shown.size() < last.size() && shown.contains(QChar(0x2026)), qPrintable(shown));
        QVERIFY(shown.endsWith(QStringLiteral("f.txt")));
        QVERIFY2(
            dialog->labelProcessing->fontMetrics().horizontalAdvance(shown) <=
                dialog->labelProcessing->contentsRect().width(),
            qPrintable(QStringLiteral("%1 px of text in %2 px: %3")
                           .arg(dialog->labelProcessing->fontMetrics().horizontalAdvance(shown))
                           .arg(dialog->labelProcessing->contentsRect().width())
                           .arg(shown)));
    }

    void invalidExpression_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::newRow("open group") << "(";
        QTest::newRow("open class") << "[";
    }
    // The search does not start: the status line says why, the dialog stays.
    void invalidExpression()
    {
        QFETCH(QString, pattern);
        open();
        fill(many, QString(), pattern);
        dialog->checkRegExp->setChecked(true);
        Settings::write(QStringLiteral("/SearchInFiles/Last Dir"), QStringLiteral("before"));
        pressSearch();
        dialog->checkRegExp->setChecked(false);
        QVERIFY(dialog->isVisible());
        QVERIFY2(dialog->labelProcessing->text().startsWith(
                     QLatin1String("Invalid regular expression: ")),
                 qPrintable(dialog->labelProcessing->text()));
        QCOMPARE(dialog->buttonSearch->text(), QStringLiteral("Search"));
        QCOMPARE(Settings::read(QStringLiteral("/SearchInFiles/Last Dir")),
                 QStringLiteral("before"));
        QCOMPARE(panel->count(), 0);
    }

    void stopOrCancel_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("twice");
        QTest::newRow("stop") << false << false;
        QTest::newRow("double stop") << false << true;
        QTest::newRow("cancel") << true << false;
    }
    // Clicks while the walk runs: no row after them, no second search, the
    // button reads Search again and the dialog is gone.
    void stopOrCancel()
    {
        QFETCH(bool, cancel);
        QFETCH(bool, twice);
        open();
        fill(many, QString(), QStringLiteral("needle"));
        int rowsAtStop = -1;
        bool hiddenAtOnce = false;
        bool clicked = false;
        // The walk lets the event loop run at every step.
        dialog->fileSearch()->setYieldInterval(0);
        QMetaObject::Connection slow = connect(
            dialog, &SearchInFiles::newEntry, this, [&](const QString&, int, const QString&) {
                if (panel->count() == 40 && !clicked) {
                    clicked = true;
                    QTimer::singleShot(0, this, [&]() {
                        QCOMPARE(dialog->buttonSearch->text(), QStringLiteral("Stop"));
                        rowsAtStop = panel->count();
                        QAbstractButton* b = cancel ? dialog->buttonCancel : dialog->buttonSearch;
                        QTest::mouseClick(b, Qt::LeftButton);
                        hiddenAtOnce = !dialog->isVisible();
                        if (twice)
                            QTest::mouseClick(b, Qt::LeftButton);
                        QCOMPARE(dialog->state(), SearchInFiles::Stopping);
                    });
                }
            });
        pressSearch();
        disconnect(slow);
        QVERIFY(rowsAtStop >= 40);
        QVERIFY(rowsAtStop < 800);
        QCOMPARE(panel->count(), rowsAtStop);
        QCOMPARE(hiddenAtOnce, cancel);
        QCOMPARE(dialog->state(), SearchInFiles::Idle);
        QCOMPARE(dialog->buttonSearch->text(), QStringLiteral("Search"));
        QVERIFY(!dialog->isVisible());
        QVERIFY(dialog->labelProcessing->text().startsWith(many));
    }

    // With its text emptied the walk finds nothing more, and Stop stays at hand.
    void textEmptiedWhileSearching()
    {
        open();
        fill(many, QString(), QStringLiteral("needle"));
        bool stopEnabled = false;
        dialog->fileSearch()->setYieldInterval(0);
        QMetaObject::Connection slow = connect(
            dialog, &SearchInFiles::newEntry, this, [&](const QString&, int, const QString&) {
                if (panel->count() == 20) {
                    dialog->comboSearch->setEditText(QString());
                    stopEnabled = dialog->buttonSearch->isEnabled();
                }
            });
        pressSearch();
        disconnect(slow);
        QVERIFY(stopEnabled);
        QVERIFY(panel->count() < 200);
        QVERIFY(!dialog->buttonSearch->isEnabled());
    }

    // 100k hits: the panel keeps the newest 500.
    void manyHits()
    {
        const QString root = dir.filePath(QStringLiteral("hits"));
        QByteArray text;
        for (int i = 0; i < 100000; ++i)
            text += "hit\n";
        QVERIFY(write(root + "/h.txt", text));
        open();
        fill(root, QString(), QStringLiteral("hit"));
        pressSearch();
        QCOMPARE(panel->count(), 500);
        QCOMPARE(static_cast<MessageItem*>(panel->item(499))->line(), 100000);
        QCOMPARE(static_cast<MessageItem*>(panel->item(0))->line(), 99501);
    }

    // The clean button pressed while a search runs empties the panel, rows
    // waiting to reach the list included; the rows found after it all come,
    // in order, up to the panel's limit.
    void cleanDuringSearch()
    {
        open();
        fill(many, QString(), QStringLiteral("needle"));
        dialog->fileSearch()->setYieldInterval(0);
        auto* clean = panel->findChild<QToolButton*>();
        QVERIFY(clean);
        QStringList after;
        bool cleaned = false;
        QMetaObject::Connection hook = connect(dialog, &SearchInFiles::newEntry, this,
                                               [&](const QString& text, int, const QString&) {
                                                   if (cleaned) {
                                                       after.append(text);
                                                   } else if (panel->count() == 41) {
                                                       QTest::mouseClick(clean, Qt::LeftButton);
                                                       cleaned = panel->count() == 0;
                                                   }
                                               });
        pressSearch();
        disconnect(hook);
        QVERIFY(cleaned);
        // 400 files with a hit each: a header and a hit row per file.
        QCOMPARE(after.size(), 800 - 41);
        const QStringList newest = after.mid(after.size() - 500);
        QCOMPARE(rawTexts(panel), newest);
        QCoreApplication::processEvents();
        QCOMPARE(panel->model()->rowCount(), 500);
        for (int i = 0; i < 500; ++i)
            QCOMPARE(panel->model()->index(i, 0).data().toString(), markup::strip(newest.at(i)));
    }

    // Quitting while a search runs stops the search first and then exits.
    void quitDuringSearch()
    {
        open();
        fill(many, QString(), QStringLiteral("needle"));
        int rowsAtQuit = -1;
        dialog->fileSearch()->setYieldInterval(0);
        QMetaObject::Connection slow = connect(
            dialog, &SearchInFiles::newEntry, this, [&](const QString&, int, const QString&) {
                if (panel->count() == 30) {
                    QTimer::singleShot(0, this, [&]() {
                        rowsAtQuit = panel->count();
                        Actions::action(QStringLiteral("Shell/exit"))->trigger();
                    });
                }
            });
        QTimer::singleShot(0, this, [this]() { pressSearch(); });
        const int status = QApplication::exec();
        disconnect(slow);
        QCOMPARE(status, 0);
        QVERIFY(rowsAtQuit >= 30);
        QCOMPARE(panel->count(), rowsAtQuit);
        QCOMPARE(dialog->state(), SearchInFiles::Idle);
    }
};

QTEST_MAIN(TestSearchInFiles)
#include "tst_searchinfiles.moc"

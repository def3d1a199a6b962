// The text editor binding inside the real main window: the fold state kept
// per file under the digest of its path, the trace line, cursor placement,
// and the editor options with their dialog.

#include "../../shellfixture.h"
#include "../editorstest.h"

#include "vexa/actions.h"
#include "vexa/editors/hloptions.h"
#include "vexa/editors/xqeditor/xqeditor.h"
#include "vexa/editors/xqeditor/xqeditorsettingsdialog.h"

#include "xqwidgets/xqeditor/editormargins.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textfile.h"
#include "xqwidgets/xqeditor/textfolding.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"
#include "xqwidgets/xqtools/md5sum.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <csignal>
#include <limits>
#include <sys/resource.h>
#include <unistd.h>

using namespace vexa;
using namespace editorstest;
using xqwidgets::FolderInfo;

namespace
{
XQEditor* current()
{
    return qobject_cast<XQEditor*>(Editors::self()->current());
}
QString numberedLines(int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += QStringLiteral("line %1\n").arg(i);
    return s;
}
FolderInfo fold(int first, int last, bool open)
{
    FolderInfo f;
    f.firstLine = first;
    f.lastLine = last;
    f.isOpened = open;
    return f;
}
} // namespace

Q_DECLARE_METATYPE(xqwidgets::TextFolding::FoldersState)

class TestXQEditor : public QObject
{
    Q_OBJECT
private:
    QPointer<Shell> shell;
    QTemporaryDir* dir = nullptr;

    QString path(const QString& name) { return QDir(dir->path()).filePath(name); }
    static QString foldKey(const QString& file)
    {
        return QStringLiteral("/editors/folding/") + xqwidgets::md5sum(file);
    }

private Q_SLOTS:
    void initTestCase() { shellfixture::useAppSettings(); }
    void init()
    {
        shellfixture::clearSettings();
        XQEditor::loadConfig();
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        shell = startShell();
    }
    void cleanup()
    {
        Message::setResponder({});
        delete shell;
        delete dir;
    }

    void untitledEditorIsPythonAndStoresNoFolds()
    {
        XQEditor* e = current();
        QVERIFY(e);
        QCOMPARE(e->textEditor()->highlight(), QStringLiteral("Python"));
        e->setText(QStringLiteral("a\nb\nc\n"));
        e->textEditor()->setModified(false);
        QVERIFY(Editors::self()->close(e));
        for (const QString& k : Settings::self()->allKeys())
            QVERIFY2(!k.contains(QLatin1String("folding")), qPrintable(k));
    }

    void foldStateRoundTrip()
    {
        writeFile(path("f.cpp"), numberedLines(20).toUtf8());
        QVERIFY(Editors::self()->open(path("f.cpp")));
        XQEditor* e = current();
        QCOMPARE(e->textEditor()->highlight(), QStringLiteral("C++"));
        xqwidgets::TextFolding* folding = e->textEditor()->folding();
        QVERIFY(folding->createFold(1, 12));
        QVERIFY(folding->createFold(2, 8));
        folding->openFold(1);
        const auto state = folding->foldersState();
        QCOMPARE(state,
                 xqwidgets::TextFolding::FoldersState({fold(2, 8, false), fold(1, 12, true)}));

        // Closing the editor stores the folds under the digest of the path.
        QVERIFY(Editors::self()->close(e));
        QCOMPARE(Settings::read(foldKey(path("f.cpp"))), QStringLiteral("2 8 c;1 12 o;"));

        // Opening the file again brings them back.
        QVERIFY(Editors::self()->open(path("f.cpp")));
        QCOMPARE(current()->textEditor()->folding()->foldersState(), state);

        // An editor without folds stores the empty text, which restores none.
        current()->textEditor()->folding()->clearAllFolds();
        QVERIFY(Editors::self()->close(current()));
        QVERIFY(Settings::self()->contains(QStringLiteral("vexa/editors/folding/") +
                                           xqwidgets::md5sum(path("f.cpp"))));
        QCOMPARE(Settings::read(foldKey(path("f.cpp")), QStringLiteral("x")), QString());
        QVERIFY(Editors::self()->open(path("f.cpp")));
        QVERIFY(current()->textEditor()->folding()->foldersState().isEmpty());
    }

    void storedFoldTexts_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<xqwidgets::TextFolding::FoldersState>("restored");
        QTest::newRow("junk between two entries is skipped")
            << "1 5 o;junk;7 9 c;"
            << xqwidgets::TextFolding::FoldersState({fold(1, 5, true), fold(7, 9, false)});
        QTest::newRow("leading text still matches")
            << "x1 5 c;" << xqwidgets::TextFolding::FoldersState({fold(1, 5, false)});
        QTest::newRow("third field other than o or c")
            << "1 5 x;" << xqwidgets::TextFolding::FoldersState();
        QTest::newRow("fold past the end of a shortened file")
            << "2 4 c;8 40 c;" << xqwidgets::TextFolding::FoldersState({fold(2, 4, false)});
        QTest::newRow("lines at the int limit")
            << "2147483647 2147483647 c;3 2147483647 o;1 5 c;"
            << xqwidgets::TextFolding::FoldersState({fold(1, 5, false)});
        QTest::newRow("a number past int is no line 0")
            << "99999999999 3 c;1 5 o;" << xqwidgets::TextFolding::FoldersState({fold(1, 5, true)});
    }
    void storedFoldTexts()
    {
        QFETCH(QString, stored);
        QFETCH(xqwidgets::TextFolding::FoldersState, restored);
        writeFile(path("s.txt"), numberedLines(10).toUtf8());
        Settings::write(foldKey(path("s.txt")), stored);
        QVERIFY(Editors::self()->open(path("s.txt")));
        QCOMPARE(current()->textEditor()->folding()->foldersState(), restored);
    }

    void traceLineAndCursor()
    {
        writeFile(path("t.txt"), numberedLines(40).toUtf8());
        QVERIFY(Editors::self()->open(path("t.txt")));
        XQEditor* e = current();
        xqwidgets::TextDocument* doc = e->textEditor()->document();
        const QColor trace(QStringLiteral("#bfffbf"));

        e->clearTrace(); // nothing set: nothing happens
        QCOMPARE(e->traceLine(), -1);
        e->showTrace(3);
        QCOMPARE(doc->lineOf(3)->lineColor(), trace);
        e->showTrace(5);
        QVERIFY(!doc->lineOf(3)->lineColor().isValid());
        QCOMPARE(doc->lineOf(5)->lineColor(), trace);
        // A line the document does not have colours nothing.
        e->showTrace(400);
        QCOMPARE(e->traceLine(), 5);
        QVERIFY(!doc->lineOf(0)->lineColor().isValid());
        e->clearTrace();
        QVERIFY(!doc->lineOf(5)->lineColor().isValid());
        QCOMPARE(e->traceLine(), -1);

        QCOMPARE(e->line(2), QStringLiteral("line 2"));
        QCOMPARE(e->line(400), QString());

        e->setCursorPosition(25, 3);
        QCOMPARE(e->cursorLine(), 25);
        QCOMPARE(e->cursorColumn(), 3);
        e->setCursorPosition(0, 0);
        QCOMPARE(e->cursorLine(), 0);
        QCOMPARE(e->cursorColumn(), 0);

        e->selectAll();
        QCOMPARE(e->selection(), numberedLines(40));
    }

    void optionsDefaults()
    {
        xqwidgets::TextEditorManager* m = XQEditor::manager();
        // What is in force at start is what the dialog shows.
        QVERIFY(m->isLineNumberMarginVisible());
        QVERIFY(!current()->textEditor()->view()->lineNumberMargin()->isHidden());
        QCOMPARE(m->font().pointSize(), 14);
        QVERIFY(!m->fSaveTab);
        QVERIFY(current()->replaceTabs());
        QCOMPARE(current()->tabWidthInSpaces(), 4);
        QCOMPARE(m->currentLineColor, QColor(QStringLiteral("#efefff")));
        bool sawDialog = false;
        whenModal<XQEditorSettingsDialog>([&sawDialog](XQEditorSettingsDialog* dlg) {
            sawDialog = true;
            QCOMPARE(dlg->windowTitle(), QStringLiteral("Configure editor..."));
            QVERIFY(dlg->bLineNumberMargin->isChecked());
            QVERIFY(dlg->bIndicatorMargin->isChecked());
            QVERIFY(!dlg->bSelectionMargin->isChecked());
            QVERIFY(dlg->bIndentationGuides->isHidden());
            QCOMPARE(dlg->lTabWidth->text(), QStringLiteral("4"));
            QCOMPARE(dlg->fontViewLabel->font().pointSize(), 14);
            QTest::mouseClick(dlg->buttonOk, Qt::LeftButton);
        });
        Actions::action(QStringLiteral("Editors/configure"))->trigger();
        QVERIFY(sawDialog);
        QVERIFY(Settings::readBool(QStringLiteral("/xqeditor/LineNumberMargin")));
        QVERIFY(m->isLineNumberMarginVisible());
        QVERIFY(!Settings::readBool(QStringLiteral("/xqeditor/IndentationGuides"), true));
        QFont stored;
        QVERIFY(stored.fromString(Settings::read(QStringLiteral("/xqeditor/Font"))));
        QCOMPARE(stored.pointSize(), 14);
    }

    void optionsDialogWritesKeysAndChangesEveryEditor()
    {
        writeFile(path("a.txt"), "\ta\n");
        writeFile(path("b.txt"), "\tb\n");
        QVERIFY(Editors::self()->open(path("a.txt")));
        QVERIFY(Editors::self()->open(path("b.txt")));
        whenModal<XQEditorSettingsDialog>([](XQEditorSettingsDialog* dlg) {
            dlg->lTabWidth->clear();
            QTest::keyClicks(dlg->lTabWidth, QStringLiteral("8"));
            dlg->bReplaceTabs->setChecked(false);
            dlg->bLineNumberMargin->setChecked(true);
            dlg->bSelectionMargin->setChecked(true);
            dlg->bAutoIndent->setChecked(false);
            QTest::mouseClick(dlg->buttonOk, Qt::LeftButton);
        });
        Actions::action(QStringLiteral("Editors/configure"))->trigger();

        QCOMPARE(Settings::readNum(QStringLiteral("/xqeditor/TabWidth")), 8);
        QCOMPARE(Settings::readBool(QStringLiteral("/xqeditor/ReplaceTabs"), true), false);
        QCOMPARE(Settings::readBool(QStringLiteral("/xqeditor/AutoIndent"), true), false);
        QVERIFY(Settings::readBool(QStringLiteral("/xqeditor/SelectionMargin")));
        xqwidgets::TextEditorManager* m = XQEditor::manager();
        QVERIFY(m->fSaveTab);
        QVERIFY(!m->fAutoIndent);
        for (Editor* e : Editors::self()->editors()) {
            auto* x = qobject_cast<XQEditor*>(e);
            QCOMPARE(x->tabWidthInSpaces(), 8);
            QVERIFY(!x->replaceTabs());
            QCOMPARE(x->textEditor()->document()->spacesInTab(), 8);
            QVERIFY(!x->textEditor()->view()->lineNumberMargin()->isHidden());
            QVERIFY(!x->textEditor()->view()->selectionMargin()->isHidden());
        }

        // The next opening shows what was stored; Cancel changes nothing.
        whenModal<XQEditorSettingsDialog>([](XQEditorSettingsDialog* dlg) {
            QCOMPARE(dlg->lTabWidth->text(), QStringLiteral("8"));
            QVERIFY(!dlg->bReplaceTabs->isChecked());
            dlg->lTabWidth->setText(QStringLiteral("3"));
            dlg->bLineNumberMargin->setChecked(false);
            QTest::mouseClick(dlg->buttonCancel, Qt::LeftButton);
        });
        Actions::action(QStringLiteral("Editors/configure"))->trigger();
        QCOMPARE(Settings::readNum(QStringLiteral("/xqeditor/TabWidth")), 8);
        QVERIFY(m->isLineNumberMarginVisible());
    }

    void tabWidthOutsideOneToSixteenIsRefused()
    {
        Boxes boxes;
        QStringList stillOpen;
        whenModal<XQEditorSettingsDialog>([&stillOpen](XQEditorSettingsDialog* dlg) {
            for (const char* text : {"0", "17", "-3", " "}) {
                dlg->lTabWidth->setText(QLatin1String(text)); // bypasses the validator
                QTest::mouseClick(dlg->buttonOk, Qt::LeftButton);
                if (dlg->isVisible())
                    stillOpen.append(QLatin1String(text));
            }
            // Letters cannot even be typed.
            dlg->lTabWidth->clear();
            QTest::keyClicks(dlg->lTabWidth, QStringLiteral("ab"));
            QCOMPARE(dlg->lTabWidth->text(), QString());
            QTest::mouseClick(dlg->buttonOk, Qt::LeftButton);
            if (dlg->isVisible())
                stillOpen.append(QStringLiteral("letters"));
            dlg->lTabWidth->setText(QStringLiteral("16"));
            QTest::mouseClick(dlg->buttonOk, Qt::LeftButton);
        });
        current()->configure();
        QCOMPARE(stillOpen, QStringList({"0", "17", "-3", " ", "letters"}));
        QCOMPARE(boxes.shown.size(), 5);
        QCOMPARE(boxes.shown.first().caption, QStringLiteral("Error"));
        QCOMPARE(Settings::readNum(QStringLiteral("/xqeditor/TabWidth")), 16);

        // A width stored out of range by an older run is brought into range.
        Settings::write(QStringLiteral("/xqeditor/TabWidth"), 0);
        QCOMPARE(current()->tabWidthInSpaces(), 1);
        Settings::write(QStringLiteral("/xqeditor/TabWidth"), 99);
        QCOMPARE(current()->tabWidthInSpaces(), 16);
    }

    void highlightingDialogWorksOnTheSharedManager()
    {
        XQEditor* e = current();
        bool sawDialog = false;
        whenModal<HLOptions>([e, &sawDialog](HLOptions* dlg) {
            sawDialog = true;
            QCOMPARE(dlg->parentWidget(), e);
            QCOMPARE(dlg->objectName(), QStringLiteral("options"));
            QVERIFY(dlg->listHl->count() > 0);
            QTest::mouseClick(dlg->buttonCancel, Qt::LeftButton);
        });
        Actions::action(QStringLiteral("Editors/configure_hl"))->trigger();
        QVERIFY(sawDialog);
        QCOMPARE(XQEditor::manager()->globalConfig(), static_cast<QSettings*>(Settings::self()));
        QVERIFY(!e->findChild<HLOptions*>());
    }

    // A file another program changed since it was read is not overwritten
    // without asking; No (the default) keeps both the text and the file.
    void saveAsksWhenTheFileChangedOnDisk()
    {
        const QString p = path("c.txt");
        writeFile(p, "ours\n");
        QVERIFY(Editors::self()->open(p));
        XQEditor* e = current();
        QWidget* view = e->textEditor()->view();
        QTest::keyClick(view, Qt::Key_X);
        {
            // Unchanged on disk: saved without a question.
            Boxes boxes;
            QVERIFY(Editors::self()->save());
            QVERIFY(boxes.shown.isEmpty());
            QCOMPARE(readFile(p), QByteArray("xours\n"));
        }
        QTest::keyClick(view, Qt::Key_Y);
        writeFile(p, "theirs\n");
        const QString question =
            QStringLiteral("The file has changed on disk since it was opened. Overwrite it?");

        bool defaultIsNo = false;
        int asked = 0;
        Message::setResponder([&](QMessageBox* box) -> QAbstractButton* {
            ++asked;
            [&] {
                QCOMPARE(box->text(), question);
                defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
            }();
            return nullptr; // Escape
        });
        QVERIFY(!Editors::self()->save());
        QCOMPARE(asked, 1);
        QVERIFY(defaultIsNo);
        QCOMPARE(readFile(p), QByteArray("theirs\n"));
        QVERIFY(e->isModified());
        QCOMPARE(e->text(), QStringLiteral("xyours"));
        Message::setResponder({});

        {
            Boxes boxes;
            boxes.answers = {QMessageBox::No};
            Editors::self()->saveAll();
            QCOMPARE(boxes.shown.size(), 1); // the question, no error after it
            QCOMPARE(readFile(p), QByteArray("theirs\n"));
            QVERIFY(e->isModified());
        }
        {
            Boxes boxes;
            boxes.answers = {QMessageBox::Yes};
            QVERIFY(Editors::self()->save());
            QCOMPARE(boxes.shown.size(), 1);
            QCOMPARE(readFile(p), QByteArray("xyours\n"));
            QVERIFY(!e->isModified());
        }
    }

    // A save in place (the file has a second name) that fails and cannot
    // even put the old bytes back names the copy it kept; opening the file
    // again points to it too.
    void unfinishedSaveIsReportedAtOpen()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));
        auto unset = qScopeGuard([] { qunsetenv("XDG_DATA_HOME"); });
        const QString p = path("linked.txt");
        const QByteArray old(400 * 1024, 'o');
        writeFile(p, old);
        QVERIFY(::link(QFile::encodeName(p).constData(),
                       QFile::encodeName(path("other.txt")).constData()) == 0);
        QVERIFY(Editors::self()->open(p));
        XQEditor* e = current();
        e->setText(QString(600 * 1024, QLatin1Char('n')));

        // After the first piece of the new text, writes past 300 kB fail:
        // the old 400 kB cannot be put back either.
        static const auto limitWrites = [](xqwidgets::TextFile::SaveStep s) {
            struct rlimit small;
            if (s == xqwidgets::TextFile::SaveStep::PieceWritten &&
                ::getrlimit(RLIMIT_FSIZE, &small) == 0) {
                small.rlim_cur = 300 * 1024;
                ::setrlimit(RLIMIT_FSIZE, &small);
            }
        };
        struct rlimit saved;
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        xqwidgets::TextFile::setStepHook(limitWrites);
        Boxes boxes;
        const bool ok = Editors::self()->save();
        xqwidgets::TextFile::setStepHook(nullptr);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(!ok);
        const QStringList copies = xqwidgets::TextFile::savedCopies(p);
        QCOMPARE(copies.size(), 1);
        QCOMPARE(readFile(copies.first()), old);
        QCOMPARE(boxes.shown.size(), 1);
        QVERIFY2(boxes.shown.first().text.contains(copies.first()),
                 qPrintable(boxes.shown.first().text));

        e->textEditor()->setModified(false);
        QVERIFY(Editors::self()->close(e));
        QVERIFY(Editors::self()->open(p));
        QCOMPARE(boxes.shown.size(), 2);
        QVERIFY2(boxes.shown.last().text.contains(copies.first()),
                 qPrintable(boxes.shown.last().text));
        // Once the user removed it, nothing is said.
        QVERIFY(QFile::remove(copies.first()));
        QVERIFY(Editors::self()->close(current()));
        QVERIFY(Editors::self()->open(p));
        QCOMPARE(boxes.shown.size(), 2);
    }

    // Past 1 GiB the user decides whether to open a file at all.
    void largeFileAsksBeforeOpening()
    {
        const QString p = path("large.txt");
        writeFile(p, "x");
        QVERIFY(::truncate(QFile::encodeName(p).constData(), (off_t(1) << 30) + 1) == 0);
        const int before = Editors::self()->editors().size();
        Boxes boxes;
        boxes.answers = {QMessageBox::No};
        QVERIFY(!Editors::self()->open(p));
        QCOMPARE(boxes.shown.size(), 1);
        QVERIFY2(boxes.shown.first().text.contains(p), qPrintable(boxes.shown.first().text));
        QVERIFY(boxes.shown.first().text.endsWith(QStringLiteral("Open it anyway?")));
        QCOMPARE(Editors::self()->editors().size(), before);
        for (Editor* e : Editors::self()->editors())
            QVERIFY(e->filename() != p);
    }

    // Places from a stored session (or any caller) are brought into the
    // document: typing there then adds one character, not a padding of
    // blanks, and never hangs.
    void cursorPlacesAreClamped_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("expectedLine");
        QTest::addColumn<int>("expectedColumn");
        const int big = std::numeric_limits<int>::max();
        QTest::newRow("both at the int limit") << big << big << 2 << 6;
        QTest::newRow("column ten million") << 0 << 10000000 << 0 << 6;
        QTest::newRow("negative") << -5 << std::numeric_limits<int>::min() << 0 << 0;
        QTest::newRow("inside") << 1 << 3 << 1 << 3;
    }
    void cursorPlacesAreClamped()
    {
        QFETCH(int, line);
        QFETCH(int, column);
        QFETCH(int, expectedLine);
        QFETCH(int, expectedColumn);
        const QString p = path("k.txt");
        writeFile(p, "line 0\nline 1\nline 2\n");
        QVERIFY(Editors::self()->open(p));
        XQEditor* e = current();
        e->setCursorPosition(line, column);
        QCOMPARE(e->cursorLine(), expectedLine);
        QCOMPARE(e->cursorColumn(), expectedColumn);
        QTest::keyClick(e->textEditor()->view(), Qt::Key_Z);
        QVERIFY(Editors::self()->save());
        QCOMPARE(readFile(p).size(), qsizetype(22));
    }

    // A stored font size no screen can use falls back to the default one.
    void storedFontSizes_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("points");
        QTest::newRow("100000 pt") << "Monospace,100000,-1,5,50,0,0,0,0,0" << 11;
        QTest::newRow("1 pt") << "Monospace,1,-1,5,50,0,0,0,0,0" << 11;
        QTest::newRow("100000 px") << "Monospace,-1,100000,5,50,0,0,0,0,0" << 11;
        QTest::newRow("20 pt kept") << "Monospace,20,-1,5,50,0,0,0,0,0" << 20;
    }
    void storedFontSizes()
    {
        QFETCH(QString, stored);
        QFETCH(int, points);
        Settings::write(QStringLiteral("/xqeditor/Font"), stored);
        XQEditor::loadConfig();
        QCOMPARE(XQEditor::manager()->font().pointSize(), points);
        Settings::self()->remove(QStringLiteral("vexa/xqeditor/Font"));
        XQEditor::loadConfig();
    }

    // Closing an undo group (search's replacements run in one) keeps the
    // selection's anchor and caret end: Shift+arrow after it extends from
    // where the user left the selection.
    void undoGroupKeepsSelectionAnchor_data()
    {
        QTest::addColumn<bool>("upward");
        QTest::addColumn<QList<int>>("extended");
        QTest::newRow("selected downward") << false << QList<int>{1, 1, 4, 1};
        QTest::newRow("selected upward") << true << QList<int>{0, 1, 3, 1};
    }
    void undoGroupKeepsSelectionAnchor()
    {
        QFETCH(bool, upward);
        QFETCH(QList<int>, extended);
        XQEditor* e = current();
        e->setText(QStringLiteral("l0\nl1\nl2\nl3\nl4\nl5\n"));
        QWidget* view = e->textEditor()->view();
        const Qt::Key key = upward ? Qt::Key_Up : Qt::Key_Down;
        e->setCursorPosition(upward ? 3 : 1, 1);
        QTest::keyClick(view, key, Qt::ShiftModifier);
        QTest::keyClick(view, key, Qt::ShiftModifier);
        e->beginUndoGroup();
        e->indent();
        e->endUndoGroup();
        QCOMPARE(e->cursorLine(), upward ? 1 : 3);
        QTest::keyClick(view, key, Qt::ShiftModifier);
        int l1 = -1, c1 = -1, l2 = -1, c2 = -1;
        QVERIFY(e->selectionRange(&l1, &c1, &l2, &c2));
        QCOMPARE((QList<int>{l1, c1, l2, c2}), extended);
    }

    void overwriteModeReachesEveryEditor()
    {
        writeFile(path("a.txt"), "a");
        Editors::self()->newEditor();
        QList<QSharedPointer<QSignalSpy>> spies;
        for (Editor* e : Editors::self()->editors())
            spies.append(QSharedPointer<QSignalSpy>::create(e, &Editor::overwriteModeChanged));
        QCOMPARE(spies.size(), 2);
        XQEditor::manager()->setOverwriteMode(true);
        for (const auto& spy : spies)
            QCOMPARE(*spy, QList<QList<QVariant>>({{true}}));
        XQEditor::manager()->setOverwriteMode(false);
        for (const auto& spy : spies)
            QCOMPARE(spy->last(), QList<QVariant>({false}));
    }
};

QTEST_MAIN(TestXQEditor)
#include "tst_xqeditor.moc"

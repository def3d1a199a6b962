// The editor manager and the editors tab bar on the real main window with
// the real text editors: opening, editing, saving and closing files, the
// questions about unsaved changes and what each answer does, the caption and
// the status bar, and the faults of saving, closing and opening.

#include "../shellfixture.h"
#include "editorstest.h"

#include "vexa/actions.h"
#include "vexa/editors/editorstab.h"
#include "vexa/editors/xqeditor/xqeditor.h"
#include "vexa/filetype.h"
#include "vexa/widgets/widgetstack.h"

#include "xqwidgets/xqeditor/editormargins.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QStatusBar>
#include <QTemporaryDir>

using namespace vexa;
using namespace editorstest;

class TestEditors : public QObject
{
    Q_OBJECT
private:
    QPointer<Shell> shell;
    QTemporaryDir* dir = nullptr;
    QString savedCwd;

    Editors* ed() { return Editors::self(); }
    EditorsTab* tabs() { return shell->findChild<EditorsTab*>(); }
    QString path(const QString& name) { return QDir(dir->path()).filePath(name); }
    QStringList tabTitles()
    {
        QStringList t;
        for (int id = tabs()->firstTab(); id != -1; id = tabs()->nextTab(id))
            t.append(tabs()->tabTitle(id));
        return t;
    }
    // The tab bar draws modified editors' names in blue.
    bool tabBarShowsBlue()
    {
        const QImage img = tabs()->grab().toImage();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                if (c.blue() > 120 && c.red() < 60 && c.green() < 60)
                    return true;
            }
        return false;
    }
    void type(Editor* e, const QString& text)
    {
        QTest::keyClicks(e->focusProxy() ? e->focusProxy() : e, text);
    }
    QStringList statusTexts()
    {
        QStringList t;
        for (QLabel* l : shell->statusBar()->findChildren<QLabel*>())
            t.append(l->text().trimmed());
        return t;
    }

private Q_SLOTS:
    void initTestCase()
    {
        shellfixture::useAppSettings();
        savedCwd = QDir::currentPath();
    }
    void init()
    {
        shellfixture::clearSettings();
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        shell = startShell();
    }
    void cleanup()
    {
        Message::setResponder({});
        QDir::setCurrent(savedCwd);
        delete shell;
        delete dir;
    }

    void startsWithOneUntitledTextEditor()
    {
        QCOMPARE(ed()->editors().size(), 1);
        QVERIFY(qobject_cast<XQEditor*>(ed()->current()));
        QCOMPARE(tabTitles(), QStringList({"Untitled"}));
        // An untitled editor gives the window no caption of its own.
        ed()->setCaption();
        QCOMPARE(shell->windowTitle(), QString());
    }

    void openEditSaveAndTabs()
    {
        writeFile(path("a.txt"), "alpha\n");
        writeFile(path("b.cpp"), "int b;\n");
        QVERIFY(ed()->open(path("a.txt")));
        // The untitled, empty editor took the first file.
        QCOMPARE(ed()->editors().size(), 1);
        QVERIFY(ed()->open(path("b.cpp")));
        QCOMPARE(ed()->editors().size(), 2);
        QCOMPARE(tabTitles(), QStringList({"a.txt", "b.cpp"}));
        Editor* a = ed()->editors().at(0);
        Editor* b = ed()->editors().at(1);
        QCOMPARE(ed()->current(), b);
        QCOMPARE(tabs()->tabTitle(tabs()->currentTab()), QStringLiteral("b.cpp"));
        QVERIFY(!tabBarShowsBlue());

        type(b, QStringLiteral("x"));
        QVERIFY(b->isModified());
        QVERIFY(!a->isModified());
        QVERIFY(tabBarShowsBlue());

        // Choosing a tab makes its editor current.
        tabs()->setCurrentTab(tabs()->firstTab());
        QCOMPARE(ed()->current(), a);
        ed()->setCurrentEditor(b);

        // Ctrl+S is the Save action; it writes the editor's text.
        Actions::action(QStringLiteral("Editors/save"))->trigger();
        QCOMPARE(readFile(path("b.cpp")), QByteArray("xint b;\n"));
        QVERIFY(!b->isModified());
        QVERIFY(!tabBarShowsBlue());
        QCOMPARE(readFile(path("a.txt")), QByteArray("alpha\n"));
    }

    void closeAnswers_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QByteArray>("onDisk");
        QTest::newRow("yes saves and closes")
            << int(QMessageBox::Yes) << true << QByteArray("xa\n");
        QTest::newRow("no discards and closes")
            << int(QMessageBox::No) << true << QByteArray("a\n");
        QTest::newRow("cancel keeps the editor")
            << int(QMessageBox::Cancel) << false << QByteArray("a\n");
    }
    void closeAnswers()
    {
        QFETCH(int, answer);
        QFETCH(bool, closed);
        QFETCH(QByteArray, onDisk);
        writeFile(path("a.txt"), "a\n");
        QVERIFY(ed()->open(path("a.txt")));
        QPointer<Editor> e = ed()->current();
        type(e, QStringLiteral("x"));
        Boxes boxes;
        boxes.answers = {answer};
        Actions::action(QStringLiteral("Editors/close"))->trigger();
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.first().caption, QStringLiteral("Warning"));
        QCOMPARE(
            boxes.shown.first().text,
            QStringLiteral("The current document has been modified.\nWould you like to save it?"));
        QCOMPARE(e.isNull(), closed);
        QCOMPARE(readFile(path("a.txt")), onDisk);
        // The manager always has an editor; closing the only one leaves an untitled one.
        QCOMPARE(ed()->editors().size(), 1);
        QVERIFY(ed()->current());
        if (closed)
            QCOMPARE(tabTitles(), QStringList({"Untitled"}));
        else
            QVERIFY(e->isModified());
    }

    // The tab's modified mark after each step of a sequence of typing,
    // saves, undo, redo, Save As and reloading: marked exactly when the
    // text differs from the state last loaded or saved as the undo history
    // knows it. Unmarked, the text is the file's; closing then asks nothing.
    void modifiedMarkFollowsTheSavedState_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("marks"); // after each step: M marked, - not
        auto row = [](const char* name, const QString& steps, const char* marks) {
            QTest::newRow(name) << steps.split(QLatin1Char(',')) << QString::fromLatin1(marks);
        };
        row("unsaved typing undone", "type ab,undo", "M-");
        row("the line typed, saved, a letter undone", "type line,return,save,type z,undo", "MM-M-");
        // The typed letter would merge into the command current at the
        // save; it must stay a step of its own.
        row("merged typing after a save", "type ab,save,type c,undo,redo,undo", "M-M-M-");
        row("undo past the save and back", "type ab,save,undo,redo", "M-M-");
        row("two saves", "type a,save,type b,save,type c,undo,undo", "M-M-M-M");
        row("undo past the save, then typing", "type a,save,undo,type b,undo", "M-MMM");
        row("save as", "type a,saveas,type b,undo,undo,redo", "M-M-M-");
        row("reload", "type a,save,type b,reload,type c,undo", "M-M-M-");
        row("save after undo", "type ab,type c,save,undo,save,redo", "MM-M-M");
        // Ctrl+Q saves the editor, then is cancelled at another one.
        row("saved at an exit that was cancelled", "type ab,exit,type c,undo", "M-M-");
    }
    void modifiedMarkFollowsTheSavedState()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, marks);
        QCOMPARE(marks.size(), steps.size());
        writeFile(path("m.txt"), "");
        QVERIFY(ed()->open(path("m.txt")));
        QPointer<Editor> e = ed()->current();
        auto* view = qobject_cast<XQEditor*>(e.data())->textEditor()->view();
        QString file = path("m.txt");
        for (int i = 0; i < steps.size(); ++i) {
            const QString& step = steps.at(i);
            if (step.startsWith(QLatin1String("type ")))
                QTest::keyClicks(view, step.mid(5));
            else if (step == QLatin1String("return"))
                QTest::keyClick(view, Qt::Key_Return);
            else if (step == QLatin1String("save"))
                QVERIFY(ed()->save());
            else if (step == QLatin1String("undo"))
                ed()->undo();
            else if (step == QLatin1String("redo"))
                ed()->redo();
            else if (step == QLatin1String("reload"))
                QVERIFY(e->open(file));
            else if (step == QLatin1String("exit")) {
                ed()->newEditor();
                Editor* other = ed()->current();
                type(other, QStringLiteral("q"));
                Boxes boxes;
                boxes.answers = {QMessageBox::Yes, QMessageBox::Cancel};
                Actions::action(QStringLiteral("Shell/exit"))->trigger();
                QCOMPARE(boxes.shown.size(), 2);
                boxes.answers = {QMessageBox::No};
                QVERIFY(ed()->close(other));
                QCOMPARE(ed()->current(), e.data());
            } else if (step == QLatin1String("saveas")) {
                file = path("other.txt");
                answerSaveAs(file);
                QVERIFY(ed()->saveAs());
                QCOMPARE(e->filename(), file);
            } else
                QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
            const bool marked = marks.at(i) == QLatin1Char('M');
            const QByteArray where = QByteArray::number(i) + ": " + step.toUtf8();
            QVERIFY2(e->isModified() == marked, where.constData());
            QVERIFY2(tabBarShowsBlue() == marked, where.constData());
            if (!marked)
                QVERIFY2(e->text().toUtf8() == readFile(file), where.constData());
        }
        Boxes boxes;
        boxes.answers = {QMessageBox::No};
        QVERIFY(ed()->close(e));
        QCOMPARE(boxes.shown.size(), marks.endsWith(QLatin1Char('M')) ? 1 : 0);
    }

    void closingPicksTheNextEditor()
    {
        for (const char* n : {"a.txt", "b.txt", "c.txt"}) {
            writeFile(path(n), n);
            QVERIFY(ed()->open(path(n)));
        }
        QList<Editor*> list = ed()->editors();
        // C current: closing it selects B.
        ed()->close();
        QCOMPARE(ed()->current(), list.at(1));
        QCOMPARE(tabTitles(), QStringList({"a.txt", "b.txt"}));
        // A current: closing it selects B.
        ed()->setCurrentEditor(list.at(0));
        ed()->close();
        QCOMPARE(ed()->current(), list.at(1));
        QCOMPARE(tabs()->tabTitle(tabs()->currentTab()), QStringLiteral("b.txt"));
    }

    void closingAnotherEditorAsksAndSavesThatOne()
    {
        writeFile(path("a.txt"), "a\n");
        writeFile(path("b.txt"), "b\n");
        QVERIFY(ed()->open(path("a.txt")));
        QVERIFY(ed()->open(path("b.txt")));
        QPointer<Editor> a = ed()->editors().at(0);
        Editor* b = ed()->editors().at(1);
        type(a, QStringLiteral("A"));
        type(b, QStringLiteral("B"));
        QCOMPARE(ed()->current(), b);
        Boxes boxes;
        boxes.answers = {QMessageBox::Yes};
        // A close request reaching a widget that is not current.
        a->close();
        QCOMPARE(boxes.shown.size(), 1);
        QVERIFY(a.isNull());
        QCOMPARE(readFile(path("a.txt")), QByteArray("Aa\n"));
        QCOMPARE(readFile(path("b.txt")), QByteArray("b\n"));
        QVERIFY(b->isModified());
        QCOMPARE(ed()->current(), b);
        QCOMPARE(ed()->editors(), QList<Editor*>({b}));
    }

    void failedSaveIsReportedAndKeepsTheEditor()
    {
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("sub")));
        const QString file = path("sub/a.txt");
        writeFile(file, "a\n");
        QVERIFY(ed()->open(file));
        Editor* e = ed()->current();
        type(e, QStringLiteral("x"));
        const QString typed = e->text();
        // The folder goes and a plain file takes its name: no file can be
        // written there any more, not even by the superuser.
        QVERIFY(QDir(path("sub")).removeRecursively());
        writeFile(path("sub"), "not a folder");

        Boxes boxes;
        boxes.answers = {QMessageBox::Yes};
        QVERIFY(!ed()->save());
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.first().caption, QStringLiteral("Error"));
        const QString text = boxes.shown.first().text;
        QVERIFY2(text.contains(file), qPrintable(text));
        // A reason follows the file name.
        QVERIFY2(!text.section(file, 1).trimmed().isEmpty(), qPrintable(text));
        QVERIFY(e->isModified());
        QVERIFY(tabBarShowsBlue());

        // Save As into a place that cannot take the file keeps the former path.
        QVERIFY(!ed()->saveAs(path("sub/b.txt")));
        QCOMPARE(boxes.shown.size(), 2);
        QCOMPARE(boxes.shown.last().caption, QStringLiteral("Error"));
        QCOMPARE(e->filename(), file);
        QCOMPARE(tabTitles(), QStringList({"a.txt"}));
        QVERIFY(e->isModified());

        // Closing with Yes: the save fails, the editor stays with its text.
        QVERIFY(!ed()->close(e));
        QCOMPARE(ed()->editors(), QList<Editor*>({e}));
        QCOMPARE(e->text(), typed);
        // Exit with Yes: the same failure cancels the exit.
        QVERIFY(!ed()->closeAll());
        QCOMPARE(ed()->editors(), QList<Editor*>({e}));
        QVERIFY(!Settings::self()->contains(QStringLiteral("vexa/editors/openedFiles")));
    }

    void cancelledSaveAsKeepsTheEditor()
    {
        Editor* e = ed()->current();
        type(e, QStringLiteral("draft"));
        Boxes boxes;
        boxes.answers = {QMessageBox::Yes};
        answerSaveAs(QString());
        QVERIFY(!ed()->close(e));
        QCOMPARE(ed()->current(), e);
        QCOMPARE(e->text(), QStringLiteral("draft"));

        // At exit the cancelled dialog cancels the exit: the program keeps running.
        answerSaveAs(QString());
        QTimer::singleShot(0, shell.data(), [this]() {
            Actions::action(QStringLiteral("Shell/exit"))->trigger();
            QTimer::singleShot(0, shell.data(), []() { QApplication::exit(7); });
        });
        QCOMPARE(QApplication::exec(), 7);
        QCOMPARE(ed()->editors(), QList<Editor*>({e}));
        QCOMPARE(e->text(), QStringLiteral("draft"));
        QCOMPARE(boxes.shown.size(), 2);

        // Yes with a name saves it, and the exit goes on.
        answerSaveAs(path("draft.txt"));
        QVERIFY(ed()->closeAll());
        QCOMPARE(readFile(path("draft.txt")), QByteArray("draft"));
        QCOMPARE(Settings::readList(QStringLiteral("/editors/openedFiles")),
                 QStringList({path("draft.txt")}));
    }

    void exitAnswers()
    {
        writeFile(path("a.txt"), "a\n");
        writeFile(path("b.txt"), "b\n");
        QVERIFY(ed()->open(path("a.txt")));
        QVERIFY(ed()->open(path("b.txt")));
        QList<QPointer<Editor>> list;
        for (Editor* e : ed()->editors())
            list.append(e);
        type(list.at(0), QStringLiteral("1"));
        type(list.at(1), QStringLiteral("2"));
        Boxes boxes;
        // Yes for a, then Cancel for b: nothing is closed, a is saved.
        boxes.answers = {QMessageBox::Yes, QMessageBox::Cancel};
        QVERIFY(!ed()->closeAll());
        QCOMPARE(boxes.shown.size(), 2);
        QCOMPARE(boxes.shown.at(1).text,
                 QStringLiteral("The file\n%1\nhas been modified.\nWould you like to save it?")
                     .arg(path("b.txt")));
        QCOMPARE(ed()->editors().size(), 2);
        QCOMPARE(readFile(path("a.txt")), QByteArray("1a\n"));
        QVERIFY(!Settings::self()->contains(QStringLiteral("vexa/editors/openedFiles")));

        // No for b: everything closes and nothing of b is written.
        boxes.answers = {QMessageBox::No};
        QVERIFY(ed()->closeAll());
        QCOMPARE(readFile(path("b.txt")), QByteArray("b\n"));
        QCOMPARE(Settings::readList(QStringLiteral("/editors/openedFiles")),
                 QStringList({path("a.txt"), path("b.txt")}));
        QCOMPARE(Settings::read(QStringLiteral("/editors/openedCurrent")), path("b.txt"));

        // No pointer to a deleted editor stays behind.
        QVERIFY(list.at(0).isNull() && list.at(1).isNull());
        QCOMPARE(ed()->current(), nullptr);
        QVERIFY(ed()->editors().isEmpty());
        QCOMPARE(tabs()->count(), 0);
        QVERIFY(shell->workspace()->findChildren<Editor*>().isEmpty());
        // Raising pages or switching editors afterwards reaches no editor.
        ed()->nextEditor();
        ed()->setCaption();
        shell->workspace()->raiseWidget(0);
        QApplication::processEvents();
    }

    void saveAsExtensionRules_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("python adds .py") << "Python files (*.py)"
                                         << "script"
                                         << "script.py";
        QTest::newRow("python keeps .py") << "Python files (*.py)"
                                          << "x.py"
                                          << "x.py";
        QTest::newRow("text adds .txt") << "Text files (*.txt)"
                                        << "notes"
                                        << "notes.txt";
        QTest::newRow("project adds .vexa") << "Files of project (*.vexa)"
                                            << "p"
                                            << "p.vexa";
        QTest::newRow("ui adds .ui") << "User-Interface files (*.ui)"
                                     << "f"
                                     << "f.ui";
        QTest::newRow("any file as typed") << "Any files (*)"
                                           << "plain"
                                           << "plain";
        QTest::newRow("c++ as typed") << "C/C++ files (*.h *.hpp *.c *.cc *.cpp)"
                                      << "m"
                                      << "m";
    }
    void saveAsExtensionRules()
    {
        QFETCH(QString, filter);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        Editor* e = ed()->current();
        type(e, QStringLiteral("text"));
        answerSaveAs(path(typed), filter);
        QVERIFY(ed()->saveAs());
        QCOMPARE(e->filename(), path(written));
        QCOMPARE(readFile(path(written)), QByteArray("text"));
        QCOMPARE(tabTitles(), QStringList({written}));
        QVERIFY(!e->isModified());
    }

    void saveAsOverwriteQuestion()
    {
        writeFile(path("old.txt"), "old");
        Editor* e = ed()->current();
        type(e, QStringLiteral("new"));
        Boxes boxes;
        boxes.answers = {QMessageBox::No};
        answerSaveAs(path("old.txt"));
        QVERIFY(!ed()->saveAs());
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.first().text,
                 QStringLiteral("The file\n%1\nalready exists! Would you like to replace it?")
                     .arg(path("old.txt")));
        QCOMPARE(readFile(path("old.txt")), QByteArray("old"));
        QVERIFY(e->filename().isEmpty());
        boxes.answers = {QMessageBox::Yes};
        answerSaveAs(path("old.txt"));
        QVERIFY(ed()->saveAs());
        QCOMPARE(readFile(path("old.txt")), QByteArray("new"));
    }

    void prevAndNextWrapAround()
    {
        for (const char* n : {"a.txt", "b.txt", "c.txt"}) {
            writeFile(path(n), n);
            QVERIFY(ed()->open(path(n)));
        }
        const QList<Editor*> list = ed()->editors();
        Action* next = Actions::action(QStringLiteral("Editors/next"));
        Action* prev = Actions::action(QStringLiteral("Editors/prev"));
        next->setEnabled(true);
        prev->setEnabled(true);
        QCOMPARE(ed()->current(), list.at(2));
        next->trigger();
        QCOMPARE(ed()->current(), list.at(0));
        prev->trigger();
        QCOMPARE(ed()->current(), list.at(2));
        prev->trigger();
        QCOMPARE(ed()->current(), list.at(1));
        QCOMPARE(tabs()->tabTitle(tabs()->currentTab()), QStringLiteral("b.txt"));
        QCOMPARE(shell->workspace()->visibleWidget(), list.at(1));
    }

    void captionAndStatusFollowTheCurrentEditor()
    {
        const QString home = QDir::homePath();
        QVERIFY(QDir(home).mkpath(QStringLiteral("src")));
        const QString inHome = home + QStringLiteral("/src/main.cpp");
        writeFile(inHome, "int main()\n{\n    return 0;\n}\n");
        writeFile(path("b.txt"), "b\n");
        QVERIFY(ed()->open(inHome));
        QCOMPARE(shell->windowTitle(), QStringLiteral("main.cpp : ~/src/ - Vexa"));
        QCOMPARE(statusTexts().first(), inHome);

        QVERIFY(ed()->open(path("b.txt")));
        QCOMPARE(shell->windowTitle(),
                 QStringLiteral("b.txt : %1/ - Vexa").arg(QDir(dir->path()).absolutePath()));
        QCOMPARE(statusTexts().first(), path("b.txt"));

        ed()->setCurrentEditor(ed()->editors().first());
        ed()->current()->setCursorPosition(2, 4);
        QCOMPARE(statusTexts(), QStringList({inHome, "INS", "2", "4"}));
        ed()->nextEditor();
        QCOMPARE(statusTexts(), QStringList({path("b.txt"), "INS", "0", "0"}));

        // A folder beside the home folder that shares its name's start is no "~".
        const QString beside = home + QStringLiteral("x");
        QVERIFY(QDir().mkpath(beside));
        writeFile(beside + QStringLiteral("/c.txt"), "c");
        QVERIFY(ed()->open(beside + QStringLiteral("/c.txt")));
        QCOMPARE(shell->windowTitle(), QStringLiteral("c.txt : %1/ - Vexa").arg(beside));
        QDir(beside).removeRecursively();
    }

    void relativeAndAbsolutePathsShareOneEditor()
    {
        writeFile(path("a.txt"), "a\n");
        QDir::setCurrent(dir->path());
        QVERIFY(ed()->open(QStringLiteral("a.txt")));
        QVERIFY(ed()->open(path("a.txt")));
        QVERIFY(ed()->open(QStringLiteral("./x/../a.txt")));
        QCOMPARE(ed()->editors().size(), 1);
        QCOMPARE(ed()->current()->filename(), path("a.txt"));
    }

    void failedOpenLeavesNoEditor()
    {
        writeFile(path("a.txt"), "a\n");
        QVERIFY(ed()->open(path("a.txt")));
        Editor* a = ed()->current();
        Boxes boxes;
        // Missing file: the reused editor and a new one alike stay unnamed.
        QVERIFY(!ed()->open(path("missing.txt")));
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.first().caption, QStringLiteral("Error"));
        QCOMPARE(boxes.shown.first().text,
                 QStringLiteral("Can not open file\n%1\n").arg(path("missing.txt")));
        // A folder exists but is no file to read.
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("folder")));
        QVERIFY(!ed()->open(path("folder")));
        QCOMPARE(boxes.shown.size(), 2);
        QVERIFY(boxes.shown.last().text.startsWith(
            QStringLiteral("Can not open file\n%1\n").arg(path("folder"))));
        QVERIFY(boxes.shown.last().text.length() >
                QStringLiteral("Can not open file\n%1\n").arg(path("folder")).length());
        QCOMPARE(ed()->editors(), QList<Editor*>({a}));
        QCOMPARE(ed()->current(), a);
        QCOMPARE(tabTitles(), QStringList({"a.txt"}));

        // Into the untitled editor: it keeps no name either.
        ed()->newEditor();
        Editor* untitled = ed()->current();
        QVERIFY(!ed()->open(path("folder")));
        QCOMPARE(ed()->editors(), QList<Editor*>({a, untitled}));
        QVERIFY(untitled->filename().isEmpty());
        QCOMPARE(tabTitles(), QStringList({"a.txt", "Untitled"}));
    }

    void undecodableFileOpensReadOnly()
    {
        // 0xC3 0x28 is no UTF-8 sequence.
        writeFile(path("bin.txt"), "abc\xc3\x28"
                                   "def\n");
        Boxes boxes;
        QVERIFY(ed()->open(path("bin.txt")));
        Editor* e = ed()->current();
        QCOMPARE(e->filename(), path("bin.txt"));
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.first().caption, QStringLiteral("Warning"));
        QVERIFY2(boxes.shown.first().text.contains(QStringLiteral("read-only")),
                 qPrintable(boxes.shown.first().text));
        QVERIFY(qobject_cast<XQEditor*>(e)->textEditor()->isReadOnly());
        QVERIFY(e->isReadOnly());
        QVERIFY(!e->isModified());
        // The commands that would change the text are off, on the tool bar
        // too; looking at it and moving about stay on.
        QVERIFY(QTest::qWaitForWindowActive(shell));
        QTRY_VERIFY(e->focusProxy()->hasFocus());
        for (const char* name :
             {"Editors/cut", "Editors/paste", "Editors/undo", "Editors/redo", "Editors/indent",
              "Editors/unindent", "Editors/complete_next", "Editors/complete_prev",
              "Editors/toolbar/cut", "Editors/toolbar/paste", "Editors/toolbar/undo",
              "Editors/toolbar/redo"})
            QVERIFY2(!Actions::action(QLatin1String(name))->isEnabled(), name);
        for (const char* name : {"Editors/copy", "Editors/selectAll", "Editors/toolbar/copy",
                                 "Editors/next", "Editors/wrap"})
            QVERIFY2(Actions::action(QLatin1String(name))->isEnabled(), name);
        // Saving, even under a new name, cannot replace the bytes by
        // substitutes: Ctrl+S, even with the text marked modified, is
        // refused, and the status bar says so.
        qobject_cast<XQEditor*>(e)->textEditor()->setModified(true);
        QTest::keyClick(e->focusProxy(), Qt::Key_S, Qt::ControlModifier);
        const QString refused = path("bin.txt") + QStringLiteral(" is read-only: not saved");
        QVERIFY2(statusTexts().contains(refused), qPrintable(statusTexts().join('|')));
        QVERIFY(!ed()->save());
        QVERIFY(!ed()->saveAs(path("copy.txt")));
        QCOMPARE(boxes.shown.size(), 1);
        QVERIFY(!QFileInfo::exists(path("copy.txt")));
        QCOMPARE(e->filename(), path("bin.txt"));
        QCOMPARE(readFile(path("bin.txt")), QByteArray("abc\xc3\x28"
                                                       "def\n"));
        // Another editor, which may change, has its commands back.
        writeFile(path("plain.txt"), "plain\n");
        QVERIFY(ed()->open(path("plain.txt")));
        QTRY_VERIFY(ed()->current()->focusProxy()->hasFocus());
        QVERIFY(Actions::action(QStringLiteral("Editors/toolbar/paste"))->isEnabled());
        ed()->setCurrentEditor(e);
        QVERIFY(!Actions::action(QStringLiteral("Editors/toolbar/paste"))->isEnabled());
    }

    void ampersandInFileNameIsNoMnemonic()
    {
        writeFile(path("a&b.txt"), "x");
        QVERIFY(ed()->open(path("a&b.txt")));
        QCOMPARE(tabTitles(), QStringList({"a&&b.txt"}));
        QCOMPARE(xqwidgets::TabBar::clearString(tabTitles().first()), QStringLiteral("a&b.txt"));
    }

    // The window as the program brings it up with a file named on the
    // command line: the file's editor has the keyboard focus, its lines are
    // numbered and the caption names it, also when a left-dock page was
    // stored by the last run.
    void startUpGivesTheEditorTheFocus_data()
    {
        QTest::addColumn<int>("storedPage"); // -1: none stored
        QTest::newRow("fresh profile") << -1;
        QTest::newRow("files page stored") << 0;
        QTest::newRow("project page stored") << 1;
    }
    void startUpGivesTheEditorTheFocus()
    {
        QFETCH(int, storedPage);
        delete shell;
        shellfixture::clearSettings();
        if (storedPage >= 0)
            Settings::write(QStringLiteral("/geometry/leftDockPanelID"), storedPage);
        XQEditor::loadConfig();
        writeFile(path("a.py"), "import re\n");
        // The order of the entry function: the window opens the files it is
        // given, then the services are asked for, then it is shown.
        shell = new Shell(nullptr, "vexa::Shell");
        FileTypeManager::openFile(path("a.py"));
        startServices(shell);
        // Undo and Redo, on the tool bar as in the Edit menu, show from the
        // first paint that there is nothing to undo or redo.
        const char* const undoRedo[] = {"Editors/undo", "Editors/redo", "Editors/toolbar/undo",
                                        "Editors/toolbar/redo"};
        for (const char* name : undoRedo)
            QVERIFY2(!Actions::action(QLatin1String(name))->isEnabled(), name);
        shell->show();
        QVERIFY(QTest::qWaitForWindowActive(shell));
        auto* e = qobject_cast<XQEditor*>(ed()->current());
        QVERIFY(e);
        QCOMPARE(e->filename(), path("a.py"));
        xqwidgets::TextView* view = e->textEditor()->view();
        QTRY_COMPARE(QApplication::focusWidget(), view);
        QVERIFY(Actions::action(QStringLiteral("Editors/cut"))->isEnabled());
        QVERIFY(!view->lineNumberMargin()->isHidden());
        QCOMPARE(shell->windowTitle(),
                 QStringLiteral("a.py : %1/ - Vexa").arg(QFileInfo(path("a.py")).absolutePath()));
        for (const char* name : undoRedo)
            QVERIFY2(!Actions::action(QLatin1String(name))->isEnabled(), name);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("x"));
        QCOMPARE(e->line(0), QStringLiteral("ximport re"));
        QVERIFY(Actions::action(QStringLiteral("Editors/undo"))->isEnabled());
        QVERIFY(Actions::action(QStringLiteral("Editors/toolbar/undo"))->isEnabled());
        QVERIFY(!Actions::action(QStringLiteral("Editors/toolbar/redo"))->isEnabled());
    }

    // After one of our dialogs closes, the window is active again and the
    // editor has the keyboard focus.
    void focusReturnsAfterSaveAsDialog()
    {
        QVERIFY(QTest::qWaitForWindowActive(shell));
        auto* e = qobject_cast<XQEditor*>(ed()->current());
        xqwidgets::TextView* view = e->textEditor()->view();
        QTRY_COMPARE(QApplication::focusWidget(), view);
        type(e, QStringLiteral("new text"));
        // The dialog is shown as a modal window that takes the activation and
        // is then closed; no modal loop waits on the dialog's own accept rules.
        bool iconsOfTypes = false;
        bool dialogWasActive = false;
        Editors::setFileDialogRunner([&](QFileDialog& dlg) {
            Editors::setFileDialogRunner({});
            iconsOfTypes = dlg.iconProvider() == FileTypeManager::self()->fileIconProvider();
            dlg.setDirectory(dir->path());
            dlg.selectFile(QStringLiteral("saved.txt"));
            dlg.setWindowModality(Qt::ApplicationModal);
            dlg.show();
            dialogWasActive = QTest::qWaitForWindowActive(&dlg);
            static_cast<QDialog&>(dlg).done(QDialog::Accepted);
            return true;
        });
        QVERIFY(ed()->saveAs());
        QVERIFY(iconsOfTypes);
        QVERIFY(dialogWasActive);
        QCOMPARE(readFile(path("saved.txt")), QByteArray("new text"));
        QTRY_COMPARE(QApplication::activeWindow(), shell.data());
        QTRY_COMPARE(QApplication::focusWidget(), view);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("!"));
        Actions::action(QStringLiteral("Editors/save"))->trigger();
        QCOMPARE(readFile(path("saved.txt")), QByteArray("new text!"));
    }

    void openDialogShowsTheIconsOfTheFileTypes()
    {
        writeFile(path("c.cpp"), "int c;\n");
        bool iconsOfTypes = false;
        Editors::setFileDialogRunner([&](QFileDialog& dlg) {
            Editors::setFileDialogRunner({});
            iconsOfTypes = dlg.iconProvider() == FileTypeManager::self()->fileIconProvider();
            dlg.setDirectory(dir->path());
            dlg.selectFile(QStringLiteral("c.cpp"));
            return true;
        });
        Actions::action(QStringLiteral("Editors/open"))->trigger();
        QVERIFY(iconsOfTypes);
        QCOMPARE(ed()->current()->filename(), path("c.cpp"));
    }

    // Undo and Redo are offered only when there is something to undo or
    // redo, and undoing back to the saved text makes the editor unmodified.
    void undoRedoStateAndCleanMark()
    {
        writeFile(path("u.txt"), "u\n");
        QVERIFY(ed()->open(path("u.txt")));
        QVERIFY(QTest::qWaitForWindowActive(shell));
        Editor* e = ed()->current();
        QTRY_VERIFY(e->focusProxy()->hasFocus());
        Action* undo = Actions::action(QStringLiteral("Editors/undo"));
        Action* redo = Actions::action(QStringLiteral("Editors/redo"));
        QVERIFY(!undo->isEnabled());
        QVERIFY(!redo->isEnabled());
        type(e, QStringLiteral("ab"));
        QVERIFY(e->isModified());
        QVERIFY(undo->isEnabled());
        QVERIFY(!redo->isEnabled());
        undo->trigger();
        QCOMPARE(e->line(0), QStringLiteral("u"));
        QVERIFY(!e->isModified());
        QVERIFY(!tabBarShowsBlue());
        QVERIFY(!undo->isEnabled());
        QVERIFY(redo->isEnabled());
        // Closing asks nothing: the text is the saved one.
        Boxes boxes;
        QVERIFY(ed()->close(e));
        QVERIFY(boxes.shown.isEmpty());
    }
};

QTEST_MAIN(TestEditors)
#include "tst_editors.moc"

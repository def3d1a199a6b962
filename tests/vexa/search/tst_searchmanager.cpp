// The search commands on the real text editor: Find seeding and its
// messages, Find Next, the replace loop (answers, termination, the selected
// area, one undo step, read-only text), Go to Line, and the dialogs' rules.

#include "../editors/editorstest.h"
#include "../shellfixture.h"
#include "screencheck.h"

#include "vexa/actions.h"
#include "vexa/message.h"
#include "vexa/search/searchdialogs.h"
#include "vexa/search/searchmanager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

using namespace vexa;
using namespace editorstest;

namespace
{

Editor* editor()
{
    return Editors::self()->current();
}

QStringList items(const QComboBox* combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out.append(combo->itemText(i));
    return out;
}

// Widgets in the order Tab visits them, starting at the first one given.
QList<QWidget*> tabOrder(QWidget* first, const QList<QWidget*>& among)
{
    QList<QWidget*> out{first};
    for (QWidget* w = first->nextInFocusChain(); w != first && out.size() < among.size();
         w = w->nextInFocusChain())
        if (among.contains(w))
            out.append(w);
    return out;
}

} // namespace

class TestSearchManager : public QObject
{
    Q_OBJECT
private:
    QPointer<Shell> shell;
    // What the runner did with each dialog it was given, by class name.
    QStringList ran;
    // Fills the next find, replace or go-to-line dialog; answers questions.
    std::function<void(FindDialog*)> onFind;
    std::function<void(ReplaceDialog*)> onReplace;
    std::function<void(GotoLineDialog*)> onGoto;
    QList<int> answers;
    // Answers the boxes a test does not look at (the end of a Replace All).
    std::unique_ptr<Boxes> quiet;
    // Called with each question before it is answered.
    std::function<void()> onAsk;
    int questions = 0;
    QString askText;

    void setText(const QString& text)
    {
        editor()->setText(text);
        editor()->setCursorPosition(0, 0);
    }
    void replaceWith(const QString& s, const QString& r, bool all, const QString& flags = {})
    {
        onReplace = [=](ReplaceDialog* dlg) {
            dlg->findString->setEditText(s);
            dlg->replaceString->setEditText(r);
            dlg->replaceAll->setChecked(all);
            dlg->regExp->setChecked(flags.contains('r'));
            // "S": the area ticked with nothing selected.
            dlg->inSelection->setChecked(flags.contains('s') || flags.contains('S'));
            dlg->fromCursor->setChecked(flags.contains('f'));
            dlg->caseSensitive->setChecked(true);
            dlg->wholeWordsOnly->setChecked(flags.contains('w'));
        };
        SearchManager::self()->replace();
    }

private Q_SLOTS:
    void initTestCase()
    {
        shellfixture::useAppSettings();
        installRunner();
    }
    void installRunner()
    {
        Message::setDialogRunner([this](QDialog& dlg) {
            ran.append(dlg.metaObject()->className());
            if (auto* f = qobject_cast<FindDialog*>(&dlg))
                return onFind ? (onFind(f), 1) : 0;
            if (auto* r = qobject_cast<ReplaceDialog*>(&dlg))
                return onReplace ? (onReplace(r), 1) : 0;
            if (auto* g = qobject_cast<GotoLineDialog*>(&dlg))
                return onGoto ? (onGoto(g), 1) : 0;
            ++questions;
            if (onAsk)
                onAsk();
            if (auto* a = qobject_cast<ReplaceAskDialog*>(&dlg))
                askText = a->labelText->text();
            return answers.isEmpty() ? int(ReplaceAskDialog::Cancel) : answers.takeFirst();
        });
    }
    void cleanupTestCase() { Message::setDialogRunner({}); }
    void init()
    {
        shellfixture::clearSettings();
        shell = startShell();
        quiet = std::make_unique<Boxes>();
        ran.clear();
        answers.clear();
        questions = 0;
        onFind = {};
        onReplace = {};
        onGoto = {};
        onAsk = {};
    }
    void cleanup()
    {
        quiet.reset();
        Message::setResponder({});
        delete shell;
    }

    void menuAndToolBar()
    {
        QMenu* search = nullptr;
        for (QAction* a : shell->menuBar()->actions())
            if (a->text().remove(QLatin1Char('&')) == QLatin1String("Search"))
                search = a->menu();
        QVERIFY(search);
        QStringList texts;
        for (QAction* a : search->actions())
            texts.append(a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(texts, (QStringList{"&Find", "Find &Next", "&Search in files", "-", "&Replace",
                                     "-", "&Go to Line"}));
        for (QAction* a : search->actions())
            QVERIFY(a->isSeparator() || a->isEnabled());
        QStringList bar;
        for (Action* a : shell->actionGroup(QStringLiteral("toolbar/Search"))->actions())
            bar.append(a->text());
        QCOMPARE(bar, (QStringList{"Find", "Find Next", "Search in files"}));
        QCOMPARE(Actions::action(QStringLiteral("Search/goToLine"))->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::Key_G));
    }

    // Find takes a one-line selection as its text; more lines tick the
    // selected area and keep the old text; no selection unticks it.
    void findSeeding()
    {
        setText(QStringLiteral("alpha beta\ngamma beta\n"));
        QString shownText;
        bool ticked = true;
        QString selectedInField;
        onFind = [&](FindDialog* dlg) {
            shownText = dlg->findString->currentText();
            ticked = dlg->inSelection->isChecked();
            selectedInField = dlg->findString->lineEdit()->selectedText();
        };
        editor()->setSelection(0, 6, 0, 10);
        SearchManager::self()->findText();
        QCOMPARE(shownText, QStringLiteral("beta"));
        QCOMPARE(selectedInField, QStringLiteral("beta"));
        QVERIFY(!ticked);
        // Found from the start: the first "beta" is selected.
        int l1, c1, l2, c2;
        QVERIFY(editor()->selectionRange(&l1, &c1, &l2, &c2));
        QCOMPARE(QList<int>({l1, c1, l2, c2}), QList<int>({0, 6, 0, 10}));

        editor()->setSelection(0, 2, 1, 3);
        SearchManager::self()->findText();
        QVERIFY(ticked);
        QCOMPARE(shownText, QStringLiteral("beta"));

        editor()->setCursorPosition(0, 0);
        SearchManager::self()->findText();
        QVERIFY(!ticked);
        FindDialog* dlg = shell->findChild<FindDialog*>();
        QVERIFY(dlg);
        // Each use puts its text on top again, and the seeding too.
        QCOMPARE(items(dlg->findString), (QStringList{"beta", "beta", "beta", "beta"}));
        QCOMPARE(shell->findChildren<FindDialog*>().size(), 1);
    }

    void notFoundTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("regExp");
        QTest::addColumn<bool>("inSelection");
        QTest::addColumn<QString>("box");
        QTest::newRow("document") << "zzz" << false << false << "End of document reached.";
        QTest::newRow("selection") << "zzz" << false << true << "End of selection reached.";
        QTest::newRow("regex, selection ticked")
            << "z+" << true << true << "End of selection reached.";
        QTest::newRow("regex") << "z+" << true << false << "End of document reached.";
    }
    void notFoundTexts()
    {
        QFETCH(QString, text);
        QFETCH(bool, regExp);
        QFETCH(bool, inSelection);
        QFETCH(QString, box);
        setText(QStringLiteral("abc\nabc\n"));
        editor()->setSelection(0, 0, 1, 2);
        onFind = [&](FindDialog* dlg) {
            dlg->findString->setEditText(text);
            dlg->regExp->setChecked(regExp);
            dlg->inSelection->setChecked(inSelection);
        };
        Boxes boxes;
        SearchManager::self()->findText();
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.first().caption, QStringLiteral("Not found..."));
        QCOMPARE(boxes.shown.first().text, box);
    }

    // Ctrl+F with the last text kept: the field's whole text is selected so
    // that typing replaces it, and one Return, typed into the field, finds
    // (the field's inline completion took the first Return as accepting a
    // completion). The same for the fields of Replace.
    void returnInKeptText()
    {
        setText(QStringLiteral("abc one\nabc two"));
        editor()->setSelection(0, 0, 0, 3);
        bool findClosed = false;
        Message::setDialogRunner([&](QDialog& dlg) {
            auto* f = qobject_cast<FindDialog*>(&dlg);
            if (!f)
                return 0;
            f->show();
            QLineEdit* field = f->findString->lineEdit();
            [&] { QCOMPARE(field->selectedText(), QStringLiteral("abc")); }();
            QTest::keyClick(field, Qt::Key_Return);
            findClosed = !f->isVisible();
            return f->result();
        });
        SearchManager::self()->findText();
        QVERIFY(findClosed);
        QCOMPARE(editor()->selection(), QStringLiteral("abc"));

        bool replaceClosed = false;
        Message::setDialogRunner([&](QDialog& dlg) {
            auto* r = qobject_cast<ReplaceDialog*>(&dlg);
            if (!r)
                return int(ReplaceAskDialog::Cancel);
            r->findString->setEditText(QStringLiteral("two"));
            r->replaceString->setEditText(QStringLiteral("2"));
            r->replaceAll->setChecked(true);
            r->show();
            r->replaceString->lineEdit()->selectAll();
            QTest::keyClick(r->replaceString->lineEdit(), Qt::Key_Return);
            replaceClosed = !r->isVisible();
            return r->result();
        });
        SearchManager::self()->replace();
        installRunner();
        QVERIFY(replaceClosed);
        QCOMPARE(editor()->text(), QStringLiteral("abc one\nabc 2"));
    }

    // Find with an expression that backtracks without end ("(x+x+)+y" over
    // lines of forty x's and "zy"): each line the engine gives up on is
    // decided with more work and holds no match, so the match after them is
    // found. Replace-all over the same lines replaces only the real match
    // and says so.
    void hostileExpression()
    {
        QString text;
        for (int i = 0; i < 2000; ++i)
            text += QString(40, u'x') + QStringLiteral("zy\n");
        text += QStringLiteral("a xxy");
        setText(text);
        onFind = [](FindDialog* dlg) {
            dlg->findString->setEditText(QStringLiteral("(x+x+)+y"));
            dlg->regExp->setChecked(true);
            dlg->caseSensitive->setChecked(true);
            dlg->fromCursor->setChecked(false);
        };
        {
            Boxes boxes;
            SearchManager::self()->findText();
            QCOMPARE(boxes.shown.size(), 0);
            QCOMPARE(editor()->selection(), QStringLiteral("xxy"));
            QCOMPARE(editor()->cursorLine(), 2000);
        }
        Boxes boxes;
        replaceWith(QStringLiteral("(x+x+)+y"), QStringLiteral("<>"), true, QStringLiteral("r"));
        QCOMPARE(editor()->line(2000), QStringLiteral("a <>"));
        QCOMPARE(editor()->line(0), QString(40, u'x') + QStringLiteral("zy"));
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.first().text, QStringLiteral("1 match replaced."));
    }

    // One line of ten million characters and ".*.*.*.*.*b", which takes
    // seconds: the box with Stop shows while the match runs, and Stop ends
    // the find, silently (it did not reach the end of the document).
    void stopInOneLongLine()
    {
        setText(QString(10000000, u'a'));
        onFind = [](FindDialog* dlg) {
            dlg->findString->setEditText(QStringLiteral(".*.*.*.*.*b"));
            dlg->regExp->setChecked(true);
            dlg->fromCursor->setChecked(false);
        };
        // Stop, pressed as soon as the box shows (a timer runs inside the
        // search, as the event loop does).
        bool pressed = false;
        QTimer stopper;
        connect(&stopper, &QTimer::timeout, this, [&]() {
            auto* box = shell->findChild<QProgressDialog*>();
            if (pressed || !box || !box->isVisible())
                return;
            QVERIFY(box->isModal());
            auto* stop = box->findChild<QPushButton*>();
            QVERIFY(stop);
            QCOMPARE(stop->text(), QStringLiteral("Stop"));
            pressed = true;
            QTest::mouseClick(stop, Qt::LeftButton);
        });
        stopper.start(1);
        Boxes boxes;
        SearchManager::self()->findText();
        stopper.stop();
        QVERIFY(pressed);
        QCOMPARE(boxes.shown.size(), 0);
        QCOMPARE(editor()->selection(), QString());
        QVERIFY(!shell->findChild<QProgressDialog*>());
    }

    // A line not even more work decides (a back reference over a line where
    // backtracking explodes): Find names it and, told to go on, finds the
    // match after it; Replace All replaces the others and names it.
    void unsearchableLine()
    {
        const QString hostile =
            QStringLiteral("word ").repeated(12) + QStringLiteral("end! x = y;");
        setText(QStringLiteral("ab ab ;\n") + hostile + QStringLiteral("\nab ab ;"));
        editor()->setCursorPosition(0, 7);
        const QString pattern = QStringLiteral("(\\w+\\s?)+\\1;");
        onFind = [&](FindDialog* dlg) {
            dlg->findString->setEditText(pattern);
            dlg->regExp->setChecked(true);
            dlg->fromCursor->setChecked(true);
        };
        Boxes boxes;
        SearchManager::self()->findText();
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.first().text,
                 QStringLiteral(
                     "Line 2 could not be searched: the expression needs too much work there."));
        QCOMPARE(editor()->selection(), QStringLiteral("ab ab ;"));
        QCOMPARE(editor()->cursorLine(), 2);

        editor()->setCursorPosition(0, 0);
        boxes.shown.clear();
        replaceWith(pattern, QStringLiteral("="), true, QStringLiteral("r"));
        QCOMPARE(editor()->text(), QStringLiteral("=\n") + hostile + QStringLiteral("\n="));
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.first().text,
                 QStringLiteral("2 matches replaced.\nLine 2 could not be searched: the "
                                "expression needs too much work there."));
    }

    // Find Next repeats the last find; with the find dialog never opened it
    // makes it silently and names the end of the document.
    void findNext()
    {
        setText(QStringLiteral("one two one"));
        Boxes boxes;
        SearchManager::self()->findNext();
        QVERIFY(ran.isEmpty());
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.first().text, QStringLiteral("End of document reached."));
        QVERIFY(shell->findChild<FindDialog*>());
        QVERIFY(!shell->findChild<FindDialog*>()->isVisible());

        onFind = [](FindDialog* dlg) { dlg->findString->setEditText(QStringLiteral("one")); };
        SearchManager::self()->findText();
        QCOMPARE(editor()->cursorColumn(), 3);
        SearchManager::self()->findNext();
        QCOMPARE(editor()->cursorColumn(), 11);
        QCOMPARE(boxes.shown.size(), 1);
    }

    void invalidPatterns()
    {
        for (const QString& pattern : {QStringLiteral("("), QStringLiteral("[z-a]")}) {
            setText(QStringLiteral("a(b"));
            Boxes boxes;
            onFind = [&](FindDialog* dlg) {
                dlg->findString->setEditText(pattern);
                dlg->regExp->setChecked(true);
            };
            SearchManager::self()->findText();
            QCOMPARE(boxes.shown.size(), 1);
            QCOMPARE(boxes.shown.first().caption, QStringLiteral("Invalid regular expression"));
            replaceWith(pattern, QStringLiteral("x"), true, QStringLiteral("r"));
            QCOMPARE(boxes.shown.size(), 2);
            QCOMPARE(boxes.shown.last().caption, QStringLiteral("Invalid regular expression"));
            QCOMPARE(editor()->text(), QStringLiteral("a(b"));
        }
    }

    void replaceLoop_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("s");
        QTest::addColumn<QString>("r");
        QTest::addColumn<bool>("all");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("asked");

        using A = QList<int>;
        const int yes = ReplaceAskDialog::Yes, no = ReplaceAskDialog::No,
                  all = ReplaceAskDialog::All, cancel = ReplaceAskDialog::Cancel;
        QTest::newRow("all from the start") << "a b a b a"
                                            << "a"
                                            << "x" << true << "" << A{} << "x b x b x" << 0;
        QTest::newRow("yes yes cancel")
            << "a a a a"
            << "a"
            << "x" << false << "" << A{yes, yes, cancel} << "x x a a" << 3;
        QTest::newRow("no everywhere") << "a a a"
                                       << "a"
                                       << "x" << false << "" << A{no, no, no} << "a a a" << 3;
        QTest::newRow("all after a no") << "a a a"
                                        << "a"
                                        << "x" << false << "" << A{no, all} << "a x x" << 2;
        QTest::newRow("replacement holds the text")
            << "ab ab"
            << "ab"
            << "abab" << true << "" << A{} << "abab abab" << 0;
        QTest::newRow("replacement with line feeds")
            << "a a"
            << "a"
            << "1\n2" << true << "" << A{} << "1\n2 1\n2" << 0;
        QTest::newRow("empty text refused") << "a a"
                                            << ""
                                            << "x" << true << "" << A{} << "a a" << 0;
        QTest::newRow("star matches nothing everywhere")
            << "aaa"
            << "x*"
            << "y" << true << "r" << A{} << "yayayay" << 0;
        QTest::newRow("caret") << "aaa\nbbb"
                               << "^"
                               << "y" << true << "r" << A{} << "yaaa\nybbb" << 0;
        QTest::newRow("dollar") << "aaa\nbbb"
                                << "$"
                                << "y" << true << "r" << A{} << "aaay\nbbby" << 0;
        QTest::newRow("regex all") << "a1 b22 c"
                                   << "[0-9]+"
                                   << "#" << true << "r" << A{} << "a# b# c" << 0;
        QTest::newRow("regex, all after a no")
            << "a1 b22 c333"
            << "[0-9]+"
            << "#" << false << "r" << A{no, all} << "a1 b# c#" << 2;
        QTest::newRow("regex, matches of nothing too")
            << "aa b aa"
            << "a*"
            << "x" << true << "r" << A{} << "xx xbx xx" << 0;
        QTest::newRow("whole words, all") << "ab xab ab ab_"
                                          << "ab"
                                          << "X" << true << "w" << A{} << "X xab X ab_" << 0;
        // The selection runs from line 0 column 2 to line 2 column 1.
        QTest::newRow("inside the selection only")
            << "a a\na a\na a\na a"
            << "a"
            << "xx" << true << "s" << A{} << "a xx\nxx xx\nxx a\na a" << 0;
        QTest::newRow("selection with questions")
            << "a a\na a\na a\na a"
            << "a"
            << "xx" << false << "s" << A{yes, no, yes, yes} << "a xx\na xx\nxx a\na a" << 4;
        QTest::newRow("area ticked, nothing selected") << "a a"
                                                       << "a"
                                                       << "x" << true << "S" << A{} << "a a" << 0;
        QTest::newRow("selection, yes then all")
            << "a a\na a\na a\na a"
            << "a"
            << "xx" << false << "s" << A{yes, all} << "a xx\nxx xx\nxx a\na a" << 2;
        QTest::newRow("selection, line feeds")
            << "a a\na a\na a\na a"
            << "a"
            << "1\n2" << true << "s" << A{} << "a 1\n2\n1\n2 1\n2\n1\n2 a\na a" << 0;
    }
    // The loop always ends, and one Undo gives the text back.
    void replaceLoop()
    {
        QFETCH(QString, text);
        QFETCH(QString, s);
        QFETCH(QString, r);
        QFETCH(bool, all);
        QFETCH(QString, flags);
        QFETCH(QList<int>, answers);
        QFETCH(QString, result);
        QFETCH(int, asked);
        setText(text);
        if (flags.contains('s'))
            editor()->setSelection(0, 2, 2, 1);
        this->answers = answers;
        replaceWith(s, r, all, flags);
        QCOMPARE(editor()->text(), result);
        QCOMPARE(questions, asked);
        if (result != text) {
            editor()->undo();
            QCOMPARE(editor()->text(), text);
        }
    }

    // Cancel leaves the match in question selected.
    void cancelKeepsMatchSelected()
    {
        setText(QStringLiteral("a a a a"));
        answers = {ReplaceAskDialog::Yes, ReplaceAskDialog::Yes, ReplaceAskDialog::Cancel};
        replaceWith(QStringLiteral("a"), QStringLiteral("x"), false);
        int l1, c1, l2, c2;
        QVERIFY(editor()->selectionRange(&l1, &c1, &l2, &c2));
        QCOMPARE(QList<int>({l1, c1, l2, c2}), QList<int>({0, 4, 0, 5}));
        QCOMPARE(editor()->selection(), QStringLiteral("a"));
        // The question showed the text searched for and went with the command.
        QCOMPARE(askText, QStringLiteral("a ?"));
        QVERIFY(shell->findChildren<ReplaceAskDialog*>().isEmpty());
    }

    // A line of 5 MB with 100k matches: one answered, then all the rest.
    void longLine()
    {
        const QString piece = QStringLiteral("needle") + QString(44, QLatin1Char('.'));
        const QString text = piece.repeated(100000);
        setText(text);
        answers = {ReplaceAskDialog::Yes, ReplaceAskDialog::All};
        replaceWith(QStringLiteral("needle"), QStringLiteral("pin"), false);
        QCOMPARE(questions, 2);
        const QString pinned =
            (QStringLiteral("pin") + QString(44, QLatin1Char('.'))).repeated(100000);
        QVERIFY(editor()->text() == pinned);
        QCOMPARE(editor()->cursorColumn(), 47 * 100000 - 44);
        editor()->undo();
        QVERIFY(editor()->text() == text);
    }

    // A document that could not be decoded stays as it is; the loop ends.
    void readOnlyDocument()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.txt"));
        writeFile(path, "a \xff a\n");
        Boxes boxes;
        Editors::self()->open(path);
        const QString before = editor()->text();
        replaceWith(QStringLiteral("a"), QStringLiteral("x"), true);
        QCOMPARE(editor()->text(), before);
        QVERIFY(!editor()->isModified());
    }

    void goToLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("line");
        QTest::newRow("12") << "12" << 11;
        QTest::newRow("0") << "0" << 0;
        QTest::newRow("letters") << "abc" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("negative") << "-5" << 0;
        QTest::newRow("lowest int") << "-2147483648" << 0;
        QTest::newRow("past the end") << "500" << 29;
        QTest::newRow("twenty digits") << "12345678901234567890" << 29;
        QTest::newRow("twenty digits, negative") << "-12345678901234567890" << 0;
        QTest::newRow("blanks around") << " 7 " << 6;
    }
    void goToLine()
    {
        QFETCH(QString, text);
        QFETCH(int, line);
        QString lines;
        for (int i = 0; i < 30; ++i)
            lines += QStringLiteral("line %1\n").arg(i);
        lines.chop(1);
        setText(lines);
        editor()->setCursorPosition(5, 3);
        onGoto = [&](GotoLineDialog* dlg) { dlg->comboLine->setEditText(text); };
        SearchManager::self()->goToLine();
        QCOMPARE(editor()->cursorLine(), line);
        QCOMPARE(editor()->cursorColumn(), 0);
        QCOMPARE(shell->findChild<GotoLineDialog*>()->comboLine->count(), 0);
    }

    // What the window shows while a question waits, and after Go to Line,
    // is what a full repaint of it shows.
    void screenFollows()
    {
        shell->resize(800, 600);
        QString lines;
        for (int i = 0; i < 60; ++i)
            lines += QStringLiteral("line %1 a\n").arg(i);
        setText(lines);
        QStringList seen;
        onAsk = [&]() { seen.append(screencheck::mismatch(shell)); };
        answers = {ReplaceAskDialog::Yes, ReplaceAskDialog::Yes, ReplaceAskDialog::No,
                   ReplaceAskDialog::All};
        replaceWith(QStringLiteral("a"), QStringLiteral("XYZ"), false);
        QCOMPARE(seen, QStringList(4, QString()));
        QCOMPARE(editor()->line(59), QStringLiteral("line 59 XYZ"));
        QCOMPARE(screencheck::mismatch(shell), QString());

        onGoto = [&](GotoLineDialog* dlg) { dlg->comboLine->setEditText(QStringLiteral("45")); };
        SearchManager::self()->goToLine();
        QCOMPARE(editor()->cursorLine(), 44);
        QCOMPARE(screencheck::mismatch(shell), QString());
    }

    void dialogRules()
    {
        FindDialog find(shell);
        QCOMPARE(find.objectName(), QStringLiteral("FindDialog"));
        QCOMPARE(find.windowTitle(), QStringLiteral("Find..."));
        find.wholeWordsOnly->setChecked(true);
        find.regExp->setChecked(true);
        QVERIFY(!find.wholeWordsOnly->isEnabled());
        QVERIFY(find.wholeWordsOnly->isChecked());
        find.regExp->setChecked(false);
        QVERIFY(find.wholeWordsOnly->isEnabled());
        QCOMPARE(tabOrder(find.findString, {find.findString, find.caseSensitive, find.fromCursor,
                                            find.regExp, find.wholeWordsOnly, find.inSelection,
                                            find.buttonOk, find.buttonCancel}),
                 (QList<QWidget*>{find.findString, find.caseSensitive, find.fromCursor, find.regExp,
                                  find.wholeWordsOnly, find.inSelection, find.buttonOk,
                                  find.buttonCancel}));
        ReplaceDialog rep(shell);
        QCOMPARE(tabOrder(rep.findString,
                          {rep.findString, rep.replaceString, rep.caseSensitive, rep.wholeWordsOnly,
                           rep.regExp, rep.inSelection, rep.fromCursor, rep.replaceAll,
                           rep.buttonOk, rep.buttonCancel}),
                 (QList<QWidget*>{rep.findString, rep.replaceString, rep.caseSensitive,
                                  rep.wholeWordsOnly, rep.regExp, rep.inSelection, rep.fromCursor,
                                  rep.replaceAll, rep.buttonOk, rep.buttonCancel}));
        rep.regExp->setChecked(true);
        QVERIFY(!rep.wholeWordsOnly->isEnabled());
        GotoLineDialog go(shell);
        QCOMPARE(tabOrder(go.comboLine, {go.comboLine, go.buttonOk, go.buttonCancel}),
                 (QList<QWidget*>{go.comboLine, go.buttonOk, go.buttonCancel}));

        // Return in an editable field accepts; Esc cancels.
        const QList<QPair<QDialog*, QComboBox*>> fields{{&find, find.findString},
                                                        {&rep, rep.findString},
                                                        {&rep, rep.replaceString},
                                                        {&go, go.comboLine}};
        for (const auto& [dlg, field] : fields) {
            dlg->show();
            QVERIFY(QTest::qWaitForWindowExposed(dlg));
            field->setEditText(QStringLiteral("12"));
            QTest::keyClick(field->lineEdit(), Qt::Key_Return);
            QCOMPARE(dlg->result(), int(QDialog::Accepted));
            QVERIFY(!dlg->isVisible());
            QCOMPARE(field->count(), 0);
            dlg->show();
            QVERIFY(QTest::qWaitForWindowExposed(dlg));
            QTest::keyClick(field->lineEdit(), Qt::Key_Escape);
            QCOMPARE(dlg->result(), int(QDialog::Rejected));
            QVERIFY(!dlg->isVisible());
        }

        // The question: closed by its frame it answers Cancel.
        ReplaceAskDialog ask(shell);
        QCOMPARE(ask.windowTitle(), QStringLiteral("Replace"));
        QVERIFY(ask.buttonYes->isDefault());
        ask.show();
        QVERIFY(QTest::qWaitForWindowExposed(&ask));
        ask.close();
        QCOMPARE(ask.result(), int(ReplaceAskDialog::Cancel));
        const QList<QPair<QPushButton*, int>> buttons{{ask.buttonYes, ReplaceAskDialog::Yes},
                                                      {ask.buttonNo, ReplaceAskDialog::No},
                                                      {ask.buttonAll, ReplaceAskDialog::All},
                                                      {ask.buttonCancel, ReplaceAskDialog::Cancel}};
        for (const auto& [button, result] : buttons) {
            ask.show();
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(ask.result(), result);
        }
    }
};

QTEST_MAIN(TestSearchManager)
#include "tst_searchmanager.moc"

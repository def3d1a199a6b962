// Word completion in the editor frame: cycling through candidates in place,
// the manager's added word lists, the pop-up list driven by keys and the
// mouse, and the word index that keeps completion from reading the whole
// document again on every start.

#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/textcompletion.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QListWidget>
#include <QPointer>
#include <QRandomGenerator>
#include <QScreen>
#include <QTest>

using namespace xqwidgets;

class TestTextCompletion : public QObject
{
    Q_OBJECT

    TextEditorManager* m = nullptr;
    TextEditor* e = nullptr;

    TextDocument* doc() const { return e->document(); }
    QString lineText(int i) const { return *doc()->lineOf(i); }

    void setUp(const QString& text, int line, int column)
    {
        e->setText(text);
        doc()->undoStack()->clear();
        e->view()->setCursorPosition(line, column, false);
    }

    QListWidget* popup() const
    {
        return qobject_cast<QListWidget*>(QApplication::activePopupWidget());
    }

    static QStringList items(QListWidget* list)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }

    // The words of a text as a sorted list of distinct words, read the slow
    // way: what the index must agree with.
    static QStringList scanWords(const TextDocument* d)
    {
        QSet<QString> set;
        for (int i = 0; i <= d->lastLine(); ++i) {
            const QString t = *d->lineOf(i);
            int k = 0;
            while (k < t.size()) {
                while (k < t.size() && !WordIndex::isWordChar(t.at(k)))
                    ++k;
                const int s = k;
                while (k < t.size() && WordIndex::isWordChar(t.at(k)))
                    ++k;
                if (k > s)
                    set.insert(t.mid(s, k - s));
            }
        }
        QStringList out(set.cbegin(), set.cend());
        out.sort();
        return out;
    }

private slots:
    void init()
    {
        m = new TextEditorManager;
        e = m->createEditor(nullptr, nullptr);
        e->resize(400, 200);
        e->show();
        QVERIFY(QTest::qWaitForWindowExposed(e));
        e->view()->setFocus();
    }

    void cleanup()
    {
        delete e;
        e = nullptr;
        delete m;
        m = nullptr;
    }

    // Each step of "n" (next) or "p" (previous) and the word it leaves
    // before the caret, which stands right after it.
    void cycle_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("words");

        const QString alps = QStringLiteral("alpha alphabet alps\nx al y");
        QTest::newRow("forward round to the typed word")
            << alps << 1 << 4 << "nnnnn" << QStringList{"alpha", "alphabet", "alps", "al", "alpha"};
        QTest::newRow("back starts at the last")
            << alps << 1 << 4 << "ppp" << QStringList{"alps", "alphabet", "alpha"};
        QTest::newRow("forward then back")
            << alps << 1 << 4 << "nnpp" << QStringList{"alpha", "alphabet", "alpha", "al"};
        QTest::newRow("case-sensitive, by character code")
            << QStringLiteral("Alpha al_x al9 ala alZ al") << 0 << 25 << "nnnnn"
            << QStringList{"al9", "alZ", "al_x", "ala", "al"};
        QTest::newRow("letters beyond Latin-1 tell words apart")
            << QStringLiteral("даа даб\nда") << 1 << 2 << "nnn" << QStringList{"даа", "даб", "да"};
    }

    void cycle()
    {
        QFETCH(QString, text);
        QFETCH(int, line);
        QFETCH(int, column);
        QFETCH(QString, steps);
        QFETCH(QStringList, words);

        setUp(text, line, column);
        for (int i = 0; i < steps.size(); ++i) {
            if (steps.at(i) == u'n')
                e->completeWordNext();
            else
                e->completeWordPrev();
            QCOMPARE(doc()->currentWord(), words.at(i));
            int from = 0, to = 0;
            doc()->wordIn(e->line(), e->column() - 1, &from, &to);
            QCOMPARE(e->column(), to);
        }
        // Each step is one undo step, described by both words.
        QCOMPARE(doc()->undoStack()->undoList().size(), steps.size());
        QCOMPARE(doc()->undoStack()->undoDescription().startsWith(QStringLiteral("replace ")),
                 true);
    }

    void nothingToOffer_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("column");
        QTest::newRow("word only once") << QStringLiteral("zeta al") << 7;
        QTest::newRow("blank before caret") << QStringLiteral("al alpha ") << 9;
        QTest::newRow("start of line") << QStringLiteral("al alpha") << 0;
        QTest::newRow("operator run") << QStringLiteral("a->b ->") << 7;
    }

    void nothingToOffer()
    {
        QFETCH(QString, text);
        QFETCH(int, column);
        setUp(text, 0, column);
        e->completeWordNext();
        e->completeWordPrev();
        QCOMPARE(e->text(), text);
        QVERIFY(doc()->undoStack()->undoList().isEmpty());
        QCOMPARE(e->column(), column);
    }

    void readOnlyDocumentStaysAsItIs()
    {
        setUp(QStringLiteral("alpha\nal"), 1, 2);
        e->setReadOnly(true);
        e->completeWordNext();
        QCOMPARE(e->text(), QStringLiteral("alpha\nal"));
    }

    // A cursor move of the user's ends the cycle; the next step starts from
    // the word then before the caret. Prev tells the two apart: inside the
    // old cycle it would go back to "al".
    void userMoveEndsTheCycle()
    {
        setUp(QStringLiteral("alpha alphabet alps\nal"), 1, 2);
        e->completeWordNext();
        QCOMPARE(lineText(1), QStringLiteral("alpha"));
        QTest::keyClick(e->view(), Qt::Key_Left);
        QTest::keyClick(e->view(), Qt::Key_Right);
        e->completeWordPrev();
        QCOMPARE(lineText(1), QStringLiteral("alphabet"));

        // Typing ends it as well: "alphab" is a word of its own now.
        setUp(QStringLiteral("alpha alphabet alps\nal"), 1, 2);
        e->completeWordNext();
        QTest::keyClicks(e->view(), QStringLiteral("b"));
        QCOMPARE(lineText(1), QStringLiteral("alphab"));
        e->completeWordNext();
        QCOMPARE(lineText(1), QStringLiteral("alphabet"));
        e->completeWordNext();
        QCOMPARE(lineText(1), QStringLiteral("alphab"));
    }

    void addedLists_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QStringList>("expected");
        // Document words sorted first; then key 0, then key 3, in list order,
        // without the document's words again.
        QTest::newRow("key 3 reached")
            << "abc" << QStringList{"abc", "abcd", "abc_z", "abc_a", "abcx", "abcy"};
        QTest::newRow("key 3 not reached")
            << "ab" << QStringList{"ab", "abc", "abcd", "abc_z", "abc_a"};
        QTest::newRow("only added words") << "abcx" << QStringList{"abcx"};
        QTest::newRow("no word at all") << "q" << QStringList{};
    }

    void addedLists()
    {
        QFETCH(QString, word);
        QFETCH(QStringList, expected);
        setUp(QStringLiteral("abcd ab abc abcd"), 0, 0);
        m->addCompletionList({"abc_z", "abcd", "abc_a"}, 0);
        m->addCompletionList({"abcx", "abc"}, 3);
        m->addCompletionList({"abcy", "abcx"}, 3);
        m->addCompletionList({"abcxyz_long"}, 9);
        QCOMPARE(e->completionList(word), expected);
    }

    void addedWordsTakePartInCycling()
    {
        setUp(QStringLiteral("abc\nabc"), 1, 3);
        m->addCompletionList({"abcdef", "abc_more"}, 3);
        e->completeWordNext();
        QCOMPARE(lineText(1), QStringLiteral("abcdef"));
        e->completeWordNext();
        QCOMPARE(lineText(1), QStringLiteral("abc_more"));
        e->completeWordNext();
        QCOMPARE(lineText(1), QStringLiteral("abc"));
    }

    // Candidates follow the document as it changes: words of edited,
    // removed and reloaded lines go, new ones come.
    void candidatesFollowEdits()
    {
        setUp(QStringLiteral("alpha\nalphabet\nal"), 2, 2);
        QCOMPARE(e->completionList(QString()), (QStringList{"al", "alpha", "alphabet"}));
        doc()->removeText(1, 0, 2, 0); // the line "alphabet" goes
        QCOMPARE(e->completionList(QStringLiteral("al")), (QStringList{"al", "alpha"}));
        doc()->undoStack()->undo();
        QCOMPARE(e->completionList(QStringLiteral("al")), (QStringList{"al", "alpha", "alphabet"}));
        doc()->cmdInsert(0, 5, QStringLiteral("_x"));
        QCOMPARE(e->completionList(QStringLiteral("al")),
                 (QStringList{"al", "alpha_x", "alphabet"}));
        e->setText(QStringLiteral("alto"));
        QCOMPARE(e->completionList(QStringLiteral("al")), QStringList{"alto"});
    }

    // --- Pop-up ---------------------------------------------------------------

    void popupKeys_data()
    {
        QTest::addColumn<QString>("keys");      // typed into the pop-up, "<" = Backspace
        QTest::addColumn<QStringList>("shown"); // entries after the keys
        QTest::addColumn<int>("finish");        // Return, Escape, Tab, or 0 for none
        QTest::addColumn<QString>("result");    // line 1 at the end

        const QStringList all{"Banana", "NAME2x", "na", "name"};
        QTest::newRow("containment, any case, sorted")
            << "" << all << int(Qt::Key_Return) << "x Banana y";
        QTest::newRow("typing narrows")
            << "m" << QStringList{"NAME2x", "name"} << int(Qt::Key_Return) << "x NAME2x y";
        QTest::newRow("backspace widens from all words")
            << "me<<" << all << int(Qt::Key_Down) << "x name y";
        QTest::newRow("backspace emptying the word ends") << "<<" << QStringList{} << 0 << "x na y";
        QTest::newRow("nothing left ends") << "q" << QStringList{} << 0 << "x na y";
        QTest::newRow("escape ends") << "" << all << int(Qt::Key_Escape) << "x na y";
        QTest::newRow("tab ends") << "" << all << int(Qt::Key_Tab) << "x na y";
    }

    void popupKeys()
    {
        QFETCH(QString, keys);
        QFETCH(QStringList, shown);
        QFETCH(int, finish);
        QFETCH(QString, result);

        setUp(QStringLiteral("Banana name NAME2x\nx na y"), 1, 4);
        m->addCompletionList({"nab"}, 0); // the pop-up offers document words only
        e->completeWord();
        QPointer<QListWidget> list = popup();
        QVERIFY(list);
        QCOMPARE(list->size(), QSize(100, 100));
        for (QChar c : keys) {
            if (c == u'<')
                QTest::keyClick(list, Qt::Key_Backspace);
            else
                QTest::keyClicks(list, QString(c));
        }
        QCoreApplication::processEvents();
        // Keys typed into the pop-up never reach the document.
        QCOMPARE(lineText(1), QStringLiteral("x na y"));
        if (shown.isEmpty()) {
            QTRY_VERIFY(!list);
        } else {
            QVERIFY(list);
            QCOMPARE(items(list), shown);
            QCOMPARE(list->currentRow(), 0);
        }
        if (finish == Qt::Key_Down) {
            // Move to the last entry and choose it.
            for (int i = 0; i < 3; ++i)
                QTest::keyClick(list, Qt::Key_Down);
            QTest::keyClick(list, Qt::Key_Return);
        } else if (finish) {
            QTest::keyClick(list, Qt::Key(finish));
        }
        QTRY_VERIFY(!list);
        QVERIFY(!QApplication::activePopupWidget());
        QCOMPARE(lineText(1), result);
        // Line 0 never changes.
        QCOMPARE(lineText(0), QStringLiteral("Banana name NAME2x"));
    }

    // A chosen entry replaces the whole word the caret stands in, as two
    // undo steps; the text after the word stays.
    void chooseReplacesTheWord_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("result");
        QTest::newRow("caret at the end") << "alpha alps\nal" << 2 << "alps"
                                          << "alps";
        QTest::newRow("blank after the word stays") << "alpha alps\nal foo" << 2 << "alpha"
                                                    << "alpha foo";
        QTest::newRow("caret inside the word") << "alpha alps\nalp=1" << 2 << "alps"
                                               << "alps=1";
        QTest::newRow("word beyond ASCII") << "größer größte\ngrö" << 3 << "größte"
                                           << "größte";
    }

    void chooseReplacesTheWord()
    {
        QFETCH(QString, text);
        QFETCH(int, column);
        QFETCH(QString, entry);
        QFETCH(QString, result);
        setUp(text, 1, column);
        e->completeWord();
        QPointer<QListWidget> list = popup();
        QVERIFY(list);
        const QList<QListWidgetItem*> found = list->findItems(entry, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        // Chosen with the mouse.
        list->scrollToItem(found.first());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(found.first()).center());
        QTRY_VERIFY(!list);
        QCOMPARE(lineText(1), result);
        QCOMPARE(doc()->undoStack()->undoList().size(), 2);
        doc()->undoStack()->undo(2);
        QCOMPARE(e->text(), text);
    }

    // Words that differ only in letters beyond Latin-1 are different words.
    void popupTellsWordsBeyondLatin1Apart()
    {
        setUp(QStringLiteral("даа даб\nда"), 1, 2);
        e->completeWord();
        QListWidget* list = popup();
        QVERIFY(list);
        QCOMPARE(items(list), (QStringList{"да", "даа", "даб"}));
        QTest::keyClick(list, Qt::Key_Escape);
        QTRY_VERIFY(!popup());
    }

    void noCandidatesNoPopup()
    {
        // "->" is no part of any word.
        setUp(QStringLiteral("a->b ->"), 0, 7);
        e->completeWord();
        QVERIFY(!popup());
        setUp(QStringLiteral("a "), 0, 2);
        e->completeWord();
        QVERIFY(!popup());
        QCOMPARE(e->text(), QStringLiteral("a "));
    }

    void clickOutsideEnds()
    {
        setUp(QStringLiteral("alpha\nal"), 1, 2);
        e->completeWord();
        QPointer<QListWidget> list = popup();
        QVERIFY(list);
        // A press outside the pop-up is delivered to the pop-up itself.
        QTest::mousePress(list, Qt::LeftButton, {}, QPoint(-20, -20));
        QTRY_VERIFY(!list);
        QCOMPARE(e->text(), QStringLiteral("alpha\nal"));
        // A new pop-up opens afterwards.
        e->completeWord();
        QVERIFY(popup());
        QTest::keyClick(popup(), Qt::Key_Return);
        QTRY_VERIFY(!popup());
        QCOMPARE(lineText(1), QStringLiteral("al"));
    }

    void popupStaysOnTheDesktop()
    {
        const QRect desk = e->screen()->virtualGeometry();
        // The frame near the bottom-right corner: the pop-up would go off
        // the desktop under the caret.
        e->move(desk.right() - 60, desk.bottom() - 40);
        QCoreApplication::processEvents();
        setUp(QStringLiteral("alpha\nal"), 1, 2);
        e->completeWord();
        QListWidget* list = popup();
        QVERIFY(list);
        QCOMPARE(list->pos(),
                 QPoint(desk.x() + desk.width() - 101, desk.y() + desk.height() - 101));
        QTest::keyClick(list, Qt::Key_Escape);
        QTRY_VERIFY(!popup());

        // Away from the edges it opens under the caret's row.
        e->move(desk.topLeft() + QPoint(10, 10));
        QCoreApplication::processEvents();
        e->view()->setCursorPosition(1, 2, false);
        e->completeWord();
        list = popup();
        QVERIFY(list);
        const QRect caret = e->view()->caretRect();
        QCOMPARE(list->pos(), e->view()->mapToGlobal(
                                  QPoint(caret.x() - 2, caret.y() + e->view()->lineHeight())));
    }

    void frameDestroyedWithPopupOpen()
    {
        setUp(QStringLiteral("alpha\nal"), 1, 2);
        e->completeWord();
        QPointer<QListWidget> list = popup();
        QVERIFY(list);
        QTest::keyClick(list, Qt::Key_Escape); // end event posted, not yet handled
        delete e;
        e = nullptr;
        QCoreApplication::processEvents();
        QVERIFY(!list);
        e = m->createEditor(nullptr, nullptr);
    }

    // --- Word index -------------------------------------------------------------

    // After the first reading, an update reads only the lines that changed,
    // and the index agrees with a full scan whatever the edits were.
    void indexReadsOnlyChangedLines()
    {
        QStringList lines;
        for (int i = 0; i < 2000; ++i)
            lines << QStringLiteral("w%1 common x_%2 ünï%3").arg(i).arg(i % 7).arg(i % 3);
        setUp(lines.join(u'\n'), 0, 0);
        WordIndex index;
        index.update(doc());
        QCOMPARE(index.linesRead(), 2000);
        QCOMPARE(index.count(QStringLiteral("common")), 2000);
        index.update(doc());
        QCOMPARE(index.linesRead(), 0);

        doc()->cmdInsert(1000, 0, QStringLiteral("fresh "));
        index.update(doc());
        QCOMPARE(index.linesRead(), 1);
        QCOMPARE(index.count(QStringLiteral("fresh")), 1);

        // A line broken at the top moves every line but reads only the two
        // halves.
        doc()->cmdInsertLineBreak(0, 0);
        doc()->cmdInsert(0, 0, QStringLiteral("top common"));
        index.update(doc());
        QVERIFY(index.linesRead() <= 2);
        QCOMPARE(index.count(QStringLiteral("common")), 2001);

        doc()->removeText(10, 0, 20, 0);
        index.update(doc());
        QVERIFY(index.linesRead() <= 1);
        QCOMPARE(index.count(QStringLiteral("common")), 1991);

        // A paste of more lines than a local search covers, and its undo.
        QStringList pasted;
        for (int i = 0; i < 300; ++i)
            pasted << QStringLiteral("pasted common");
        e->view()->setCursorPosition(500, 0, false);
        doc()->insert(pasted.join(u'\n') + u'\n', 0, 0);
        index.update(doc());
        QVERIFY(index.linesRead() <= 301);
        QCOMPARE(index.count(QStringLiteral("common")), 2291);
        doc()->undoStack()->undo();
        index.update(doc());
        QVERIFY(index.linesRead() <= 1);
        QCOMPARE(index.count(QStringLiteral("pasted")), 0);
        QCOMPARE(index.count(QStringLiteral("common")), 1991);

        // Random edits, undos and redos: the index and a full scan agree.
        QRandomGenerator rng(1234);
        const QStringList pieces{"a", "bc ", " dé_f", "x", "ab cd", "9", " "};
        for (int round = 0; round < 300; ++round) {
            const int line = rng.bounded(doc()->lastLine() + 1);
            const int len = int(doc()->lineOf(line)->size());
            const int col = rng.bounded(len + 1);
            switch (rng.bounded(5)) {
            case 0:
                doc()->cmdInsert(line, col, pieces.at(rng.bounded(int(pieces.size()))));
                break;
            case 1:
                if (col < len)
                    doc()->cmdRemove(line, col, qMin(len - col, 1 + rng.bounded(3)));
                break;
            case 4:
                doc()->cmdInsertLineBreak(line, col);
                break;
            case 2:
                if (line < doc()->lastLine())
                    doc()->removeText(line, col, line + 1, 0);
                break;
            default:
                if (doc()->undoStack()->canUndo())
                    doc()->undoStack()->undo(1 + rng.bounded(3));
                break;
            }
            if (round % 10 == 0) {
                index.update(doc());
                QStringList got = index.words();
                got.sort();
                QCOMPARE(got, scanWords(doc()));
            }
        }
        index.update(doc());
        QStringList got = index.words();
        got.sort();
        QCOMPARE(got, scanWords(doc()));
    }
};

QTEST_MAIN(TestTextCompletion)
#include "tst_textcompletion.moc"

// Find, regular-expression find and replace-all of the editor frame.

#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QRandomGenerator>
#include <QTest>

using namespace xqwidgets;

namespace
{

// A selection, a match or no match, written as "line:from-to" (a match is
// always on one line); "-" for none.
QString describe(const QRect& r)
{
    if (r.topLeft() == r.bottomRight())
        return QStringLiteral("-");
    return QStringLiteral("%1:%2-%3").arg(r.top()).arg(r.left()).arg(r.right());
}

// Non-overlapping occurrences, left to right, line by line: what replace-all
// must replace when no option narrows it.
int countMatches(const QString& text, const QString& what, Qt::CaseSensitivity cs)
{
    int n = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        for (qsizetype i = line.indexOf(what, 0, cs); i >= 0;
             i = line.indexOf(what, i + what.size(), cs))
            ++n;
    }
    return n;
}

} // namespace

class TestTextFind : public QObject
{
    Q_OBJECT

    TextEditorManager* m = nullptr;
    TextEditor* e = nullptr;

    TextView* view() const { return e->view(); }
    TextDocument* doc() const { return e->document(); }

    void open(const QString& text)
    {
        if (!e) {
            e = m->createEditor(nullptr, nullptr);
            e->resize(400, 200);
            e->show();
            QVERIFY(QTest::qWaitForWindowExposed(e));
        }
        doc()->loadText(text);
    }

    // Puts the caret at `caret` (column, line) and selects sel, unless empty.
    void place(const QPoint& caret, const QRect& sel)
    {
        view()->setCursorPosition(caret.y(), caret.x(), false);
        if (sel.topLeft() != sel.bottomRight())
            view()->setSelection(sel.topLeft(), sel.bottomRight());
    }

private slots:
    void initTestCase() { m = new TextEditorManager; }

    void cleanupTestCase()
    {
        delete e;
        e = nullptr;
        delete m;
    }

    void init()
    {
        m->fVerticalSelection = false;
        m->fSaveTab = true;
        m->fOvr = false;
    }

    // A find and then findNext until it fails: every selected match in turn.
    void find_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("cs");
        QTest::addColumn<bool>("word");
        QTest::addColumn<bool>("fromCursor");
        QTest::addColumn<bool>("inSel");
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<QPoint>("caret");
        QTest::addColumn<QRect>("sel"); // (column, line) points
        QTest::addColumn<QString>("matches");

        const QPoint o(0, 0);
        const QRect none(o, o);
        const QString grid = QStringLiteral("ab ab ab\nab ab ab\nab ab ab");
        // clang-format off
        QTest::newRow("plain, no wrap at the end")
            << "foo bar foo\nfoo" << "foo" << true << false << false << false << false << o << none
            << "0:0-3 0:8-11 1:0-3";
        QTest::newRow("case sensitive") << "Foo foo" << "foo" << true << false << false << false << false << o << none << "0:4-7";
        QTest::newRow("ignoring case") << "Foo foo" << "FOO" << false << false << false << false << false << o << none << "0:0-3 0:4-7";
        QTest::newRow("whole word after a longer one") << "xab ab" << "ab" << true << true << false << false << false << o << none << "0:4-6";
        QTest::newRow("underscore is a word character") << "ab_" << "ab" << true << true << false << false << false << o << none << "";
        QTest::newRow("dash is a boundary") << "ab-c" << "ab" << true << true << false << false << false << o << none << "0:0-2";
        QTest::newRow("non-ASCII letters are boundaries") << QString::fromUtf8("éab") << "ab" << true << true << false << false << false << o << none << "0:1-3";
        QTest::newRow("from the caret") << "foo bar foo" << "foo" << true << false << true << false << false << QPoint(1, 0) << none << "0:8-11";
        QTest::newRow("caret ignored from the top") << "foo bar foo" << "foo" << true << false << false << false << false << QPoint(5, 0) << none << "0:0-3 0:8-11";
        QTest::newRow("caret past the last match") << "foo bar foo" << "foo" << true << false << true << false << false << QPoint(9, 0) << none << "";
        QTest::newRow("stream selection") << grid << "ab" << true << false << false << true << false << o
            << QRect(QPoint(3, 0), QPoint(5, 2)) << "0:3-5 0:6-8 1:0-2 1:3-5 1:6-8 2:0-2 2:3-5";
        QTest::newRow("box selection") << grid << "ab" << true << false << false << true << true << o
            << QRect(QPoint(3, 0), QPoint(5, 2)) << "0:3-5 1:3-5 2:3-5";
        QTest::newRow("box selected right to left") << grid << "ab" << true << false << false << true << true << o
            << QRect(QPoint(5, 0), QPoint(3, 2)) << "0:3-5 1:3-5 2:3-5";
        QTest::newRow("box cuts a match at its right column") << "abcdef\nabcdef" << "cde" << true << false << false << true << true << o
            << QRect(QPoint(2, 0), QPoint(4, 1)) << "";
        // A caret below the first selected line starts no further left than
        // the selection's left column; the lines after it are searched whole.
        QTest::newRow("stream selection, caret on a later line") << grid << "ab" << true << false << true << true << false
            << QPoint(0, 1) << QRect(QPoint(3, 0), QPoint(8, 2)) << "1:3-5 1:6-8 2:0-2 2:3-5 2:6-8";
        QTest::newRow("caret above the selection") << grid << "ab" << true << false << true << true << false
            << QPoint(7, 0) << QRect(QPoint(3, 1), QPoint(5, 2)) << "1:3-5 1:6-8 2:0-2 2:3-5";
        QTest::newRow("empty text finds nothing") << "abc" << "" << true << false << false << false << false << o << none << "";
        // clang-format on
    }

    void find()
    {
        QFETCH(QString, text);
        QFETCH(QString, what);
        QFETCH(bool, cs);
        QFETCH(bool, word);
        QFETCH(bool, fromCursor);
        QFETCH(bool, inSel);
        QFETCH(bool, vertical);
        QFETCH(QPoint, caret);
        QFETCH(QRect, sel);
        QFETCH(QString, matches);

        open(text);
        m->fVerticalSelection = vertical;
        place(caret, sel);
        QStringList found;
        bool ok = e->find(what, cs, word, fromCursor, inSel);
        for (int guard = 0; ok && guard < 100; ++guard) {
            found << describe(view()->selection());
            // The caret stands just after the match.
            QCOMPARE(e->line(), view()->selection().top());
            QCOMPARE(e->column(), view()->selection().right());
            ok = e->findNext();
        }
        QCOMPARE(found.join(QLatin1Char(' ')), matches);
        // The failed search leaves no selection and the caret where it was.
        QVERIFY(!view()->hasSelection());
    }

    void findFailureKeepsCaret()
    {
        open(QStringLiteral("abc\ndef"));
        view()->setCursorPosition(1, 2, false);
        QVERIFY(!e->find(QStringLiteral("xyz"), true, false, false, false));
        QCOMPARE(QPoint(e->column(), e->line()), QPoint(2, 1));
    }

    void findRegexp_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("cs");
        QTest::addColumn<bool>("wildcard");
        QTest::addColumn<bool>("fromCursor");
        QTest::addColumn<QPoint>("caret");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QPoint>("caretAfter");
        QTest::addColumn<QString>("selected");

        const QPoint o(0, 0);
        // clang-format off
        QTest::newRow("greedy repeat") << "aabbb c" << "b+" << true << false << false << o << true << QPoint(5, 0) << "0:2-5";
        QTest::newRow("classic dialect") << "x = foo_1(2)" << "\\w+\\(" << true << false << false << o << true << QPoint(10, 0) << "0:4-10";
        QTest::newRow("ignoring case") << "one TWO" << "two" << false << false << false << o << true << QPoint(7, 0) << "0:4-7";
        QTest::newRow("case sensitive") << "one TWO" << "two" << true << false << false << o << false << o << "-";
        QTest::newRow("from the caret, next line") << "ab\nab" << "a" << true << false << true << QPoint(1, 0) << true << QPoint(1, 1) << "1:0-1";
        // "^" anchors at the start of the line, not at the caret.
        QTest::newRow("caret is not a line start") << "aa\nab" << "^a" << true << false << true << QPoint(1, 0) << true << QPoint(1, 1) << "1:0-1";
        QTest::newRow("no wrap to the top") << "ab\ncd" << "a" << true << false << true << QPoint(0, 1) << false << QPoint(0, 1) << "-";
        QTest::newRow("zero-width match") << "abc" << "x*" << true << false << false << o << true << o << "-";
        QTest::newRow("zero-width at the end") << "abc" << "$" << true << false << false << o << true << QPoint(3, 0) << "-";
        QTest::newRow("wildcard") << "xx fao bar" << "f?o*r" << true << true << false << o << true << QPoint(10, 0) << "0:3-10";
        QTest::newRow("wildcard set") << "cat cut" << "c[u]t" << true << true << false << o << true << QPoint(7, 0) << "0:4-7";
        QTest::newRow("wildcard dot is literal") << "abc a.c" << "a.c" << true << true << false << o << true << QPoint(7, 0) << "0:4-7";
        QTest::newRow("invalid pattern") << "a(b" << "(" << true << false << false << o << false << o << "-";
        // clang-format on
    }

    void findRegexp()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(bool, cs);
        QFETCH(bool, wildcard);
        QFETCH(bool, fromCursor);
        QFETCH(QPoint, caret);
        QFETCH(bool, found);
        QFETCH(QPoint, caretAfter);
        QFETCH(QString, selected);

        open(text);
        place(caret, QRect(QPoint(0, 0), QPoint(0, 0)));
        QCOMPARE(e->findRegexp(pattern, cs, wildcard, fromCursor), found);
        QCOMPARE(QPoint(e->column(), e->line()), caretAfter);
        QCOMPARE(describe(view()->selection()), selected);
    }

    // A line the engine gives up on within its bounded work is decided with
    // more: "(\w+\s?)+;" explodes from every word of the first line (a
    // match without backtracking finds "y;" at its end), "(x+x+)+y" on
    // twenty-one x's holds no match. Neither is taken for "no match" nor
    // reported as undecided.
    void findRegexpGivenTheWorkItNeeds()
    {
        const QString words = QStringLiteral("word ").repeated(12) + QStringLiteral("end! x = y;");
        QCOMPARE(words.size(), 71);
        open(words + QStringLiteral("\nz y;"));
        place(QPoint(0, 0), QRect());
        QVERIFY(e->findRegexp(QStringLiteral("(\\w+\\s?)+;"), true, false, true));
        QCOMPARE(describe(view()->selection()), QStringLiteral("0:69-71"));
        QVERIFY(e->lastSearchOutcome().undecided.isEmpty());

        open(QString(21, u'x') + QStringLiteral("\nxxy"));
        place(QPoint(0, 0), QRect());
        QVERIFY(e->findRegexp(QStringLiteral("(x+x+)+y"), true, false, true));
        QCOMPARE(describe(view()->selection()), QStringLiteral("1:0-3"));
        QVERIFY(e->lastSearchOutcome().undecided.isEmpty());
    }

    // Where even that cannot decide (a back reference, which only
    // backtracking can take, exploding on the 71-character line), a find
    // ends at the line and names it, its caret at the line's start, and can
    // go on from the next line; a replace-all replaces the rest and names it.
    void undecidedLineIsNamed()
    {
        const QString hostile =
            QStringLiteral("word ").repeated(12) + QStringLiteral("end! x = y;");
        const QString text = QStringLiteral("ab ab ;\n") + hostile + QStringLiteral("\nab ab ;");
        const QString pattern = QStringLiteral("(\\w+\\s?)+\\1;");
        open(text);
        place(QPoint(7, 0), QRect());
        QVERIFY(!e->findRegexp(pattern, true, false, true));
        QCOMPARE(e->lastSearchOutcome().undecided, QList<int>{1});
        QVERIFY(!e->lastSearchOutcome().stopped);
        QCOMPARE(QPoint(e->column(), e->line()), QPoint(0, 1));
        place(QPoint(0, 2), QRect());
        QVERIFY(e->findRegexp(pattern, true, false, true));
        QCOMPARE(describe(view()->selection()), QStringLiteral("2:0-7"));

        QCOMPARE(e->replaceAllRegexp(pattern, QStringLiteral("="), true, false), 2);
        QCOMPARE(e->text(), QStringLiteral("=\n") + hostile + QStringLiteral("\n="));
        QCOMPARE(e->lastSearchOutcome().undecided, QList<int>{1});
    }

    // One line of ten million characters with ".*.*.*.*.*b": the match runs
    // aside while the long-run handler is called again and again, and the
    // handler's Stop ends the find (which would otherwise take seconds, on
    // the window's own thread before), as stopped, not as "not found".
    void longLineStops()
    {
        open(QString(10000000, u'a'));
        place(QPoint(0, 0), QRect());
        int calls = 0;
        TextEditor::setLongRunHandler([&](int line, int lines) {
            [&] {
                QCOMPARE(line, 0);
                QCOMPARE(lines, 1);
            }();
            return ++calls < 3;
        });
        const bool found = e->findRegexp(QStringLiteral(".*.*.*.*.*b"), true, false, true);
        TextEditor::setLongRunHandler({});
        QVERIFY(!found);
        QCOMPARE(calls, 3);
        QVERIFY(e->lastSearchOutcome().stopped);
        QVERIFY(e->lastSearchOutcome().undecided.isEmpty());

        // A replace-all stopped so replaces nothing.
        calls = 0;
        TextEditor::setLongRunHandler([&](int, int) { return ++calls < 2; });
        QCOMPARE(e->replaceAllRegexp(QStringLiteral(".*.*.*.*.*b"), QString(), true, false), 0);
        TextEditor::setLongRunHandler({});
        QCOMPARE(calls, 2);
        QVERIFY(e->lastSearchOutcome().stopped);
        QCOMPARE(doc()->lineOf(0)->size(), 10000000);
    }

    void findNextRepeatsThePlainFind()
    {
        open(QStringLiteral("foo bar foo bar"));
        QVERIFY(e->find(QStringLiteral("foo"), true, false, false, false));
        QVERIFY(e->findRegexp(QStringLiteral("b.r"), true, false, true));
        QCOMPARE(describe(view()->selection()), QStringLiteral("0:4-7"));
        QVERIFY(e->findNext());
        QCOMPARE(describe(view()->selection()), QStringLiteral("0:8-11"));
    }

    void replaceAll_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("with");
        QTest::addColumn<bool>("cs");
        QTest::addColumn<bool>("word");
        QTest::addColumn<bool>("inSel");
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<QRect>("sel");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("count");
        QTest::addColumn<QPoint>("caretAfter");

        const QRect none(QPoint(0, 0), QPoint(0, 0));
        const QString grid = QStringLiteral("ab ab ab\nab ab ab\nab ab ab");
        // clang-format off
        // The inserted text is never searched again.
        QTest::newRow("longer replacement") << "a a" << "a" << "aa" << true << false << false << false << none << "aa aa" << 2 << QPoint(5, 0);
        QTest::newRow("non-overlapping") << "aaaa" << "aa" << "b" << true << false << false << false << none << "bb" << 2 << QPoint(2, 0);
        QTest::newRow("odd one left") << "aaa" << "aa" << "x" << true << false << false << false << none << "xa" << 1 << QPoint(1, 0);
        QTest::newRow("removing") << "a-b-c\n-" << "-" << "" << true << false << false << false << none << "abc\n" << 3 << QPoint(0, 1);
        QTest::newRow("ignoring case") << "Ab ab AB" << "ab" << "c" << false << false << false << false << none << "c c c" << 3 << QPoint(5, 0);
        QTest::newRow("whole words") << "ab xab ab_ ab" << "ab" << "X" << true << true << false << false << none << "X xab ab_ X" << 2 << QPoint(11, 0);
        // After a replacement the whole-word test sees the new text.
        QTest::newRow("whole word next to a replacement") << "--" << "-" << "x" << true << true << false << false << none << "x-" << 1 << QPoint(1, 0);
        QTest::newRow("line breaks in the replacement") << "a,b,c\nd,e" << "," << ",\n" << true << false << false << false << none
            << "a,\nb,\nc\nd,\ne" << 3 << QPoint(0, 4);
        // Every pass keeps the selection of the first.
        QTest::newRow("in a stream selection") << grid << "ab" << "X" << true << false << true << false << QRect(QPoint(3, 0), QPoint(5, 2))
            << "ab X X\nX X X\nX X ab" << 7 << QPoint(3, 2);
        QTest::newRow("in a box selection") << grid << "ab" << "XYZ" << true << false << true << true << QRect(QPoint(3, 0), QPoint(5, 2))
            << "ab XYZ ab\nab XYZ ab\nab XYZ ab" << 3 << QPoint(6, 2);
        QTest::newRow("nothing found") << "abc" << "x" << "y" << true << false << false << false << none << "abc" << 0 << QPoint(0, 0);
        QTest::newRow("empty text") << "abc" << "" << "y" << true << false << false << false << none << "abc" << 0 << QPoint(0, 0);
        // clang-format on
    }

    void replaceAll()
    {
        QFETCH(QString, text);
        QFETCH(QString, what);
        QFETCH(QString, with);
        QFETCH(bool, cs);
        QFETCH(bool, word);
        QFETCH(bool, inSel);
        QFETCH(bool, vertical);
        QFETCH(QRect, sel);
        QFETCH(QString, expected);
        QFETCH(int, count);
        QFETCH(QPoint, caretAfter);

        open(text);
        m->fVerticalSelection = vertical;
        place(QPoint(0, 0), sel);
        QtUndoStack* stack = doc()->undoStack();
        const int steps = stack->undoList().size();

        QCOMPARE(e->replaceAll(what, with, cs, word, inSel), count);
        QCOMPARE(e->text(), expected);
        QVERIFY(!view()->hasSelection());
        QCOMPARE(QPoint(e->column(), e->line()), caretAfter);
        if (count == 0) {
            QCOMPARE(stack->undoList().size(), steps);
            QVERIFY(!e->isModified());
            return;
        }
        QVERIFY(e->isModified());
        // One undo step, named for what it did.
        QCOMPARE(stack->undoList().size(), steps + 1);
        QCOMPARE(stack->undoDescription(), QStringLiteral("replace all"));
        stack->undo();
        QCOMPARE(e->text(), text);
        stack->redo();
        QCOMPARE(e->text(), expected);
        QCOMPARE(QPoint(e->column(), e->line()), caretAfter);
    }

    // Replace-all from the caret, of a plain text or of a pattern whose
    // matches differ in length or match nothing.
    void replaceFromCaret_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("with");
        QTest::addColumn<bool>("regexp");
        QTest::addColumn<bool>("cs");
        QTest::addColumn<QPoint>("caret");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("count");
        QTest::addColumn<QPoint>("caretAfter");
        // clang-format off
        QTest::newRow("text from the caret") << "a a\na a" << "a" << "x" << false << true << QPoint(2, 0) << "a x\nx x" << 3 << QPoint(3, 1);
        QTest::newRow("pattern, lengths differ") << "a1 b22 c333" << "[0-9]+" << "#" << true << true << QPoint(0, 0) << "a# b# c#" << 3 << QPoint(8, 0);
        QTest::newRow("pattern from the caret") << "a1 b22\nc333" << "[0-9]+" << "<>" << true << true << QPoint(3, 0) << "a1 b<>\nc<>" << 2 << QPoint(3, 1);
        QTest::newRow("pattern ignoring case") << "Ab aB" << "ab" << "x" << true << false << QPoint(0, 0) << "x x" << 2 << QPoint(3, 0);
        QTest::newRow("pattern at line starts") << "ab\nab" << "^a" << "x" << true << true << QPoint(0, 0) << "xb\nxb" << 2 << QPoint(1, 1);
        QTest::newRow("line feeds in the replacement") << "a1\nb2" << "[0-9]" << "\n" << true << true << QPoint(0, 0) << "a\n\nb\n" << 2 << QPoint(0, 3);
        QTest::newRow("matches of nothing too") << "aa b aa" << "a*" << "x" << true << true << QPoint(0, 0) << "xx xbx xx" << 6 << QPoint(9, 0);
        QTest::newRow("nothing first") << "b aa" << "a*" << "x" << true << true << QPoint(0, 0) << "xbx xx" << 4 << QPoint(6, 0);
        QTest::newRow("invalid pattern") << "a(" << "(" << "x" << true << true << QPoint(0, 0) << "a(" << 0 << QPoint(0, 0);
        // clang-format on
    }
    void replaceFromCaret()
    {
        QFETCH(QString, text);
        QFETCH(QString, what);
        QFETCH(QString, with);
        QFETCH(bool, regexp);
        QFETCH(bool, cs);
        QFETCH(QPoint, caret);
        QFETCH(QString, expected);
        QFETCH(int, count);
        QFETCH(QPoint, caretAfter);

        open(text);
        place(caret, QRect(QPoint(0, 0), QPoint(0, 0)));
        QtUndoStack* stack = doc()->undoStack();
        const int steps = stack->undoList().size();
        QCOMPARE(regexp ? e->replaceAllRegexp(what, with, cs, true)
                        : e->replaceAll(what, with, cs, false, false, true),
                 count);
        QCOMPARE(e->text(), expected);
        QVERIFY(!view()->hasSelection());
        QCOMPARE(QPoint(e->column(), e->line()), caretAfter);
        QCOMPARE(stack->undoList().size(), steps + (count > 0 ? 1 : 0));
        if (count == 0)
            return;
        stack->undo();
        QCOMPARE(e->text(), text);
        stack->redo();
        QCOMPARE(e->text(), expected);
        QCOMPARE(QPoint(e->column(), e->line()), caretAfter);
    }

    // A pattern's replace-all gives, line by line, what a regular-expression
    // substitution of the whole line gives (the expected texts are those of
    // Python's re.sub on each line): a match of nothing is replaced too, and
    // the search goes on a character further; one right after a match of
    // something is a match of its own. The count is every replacement.
    void replaceAllEmptyMatches_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("with");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("count");
        // clang-format off
        QTest::newRow("trailing blanks") << "a  \nb  \nc  " << "\\s*$" << "" << "a\nb\nc" << 6;
        QTest::newRow("trailing blanks, shown") << "a \t" << "\\s*$" << "<" << "a<<" << 2;
        QTest::newRow("line starts") << "a\nb\n\nc" << "^" << "# " << "# a\n# b\n# \n# c" << 4;
        QTest::newRow("line ends") << "a\n\nb" << "$" << ";" << "a;\n;\nb;" << 3;
        QTest::newRow("x* everywhere") << "abxd\nxx" << "x*" << "Z" << "ZaZbZZdZ\nZZ" << 7;
        QTest::newRow("a* after a match") << "baac" << "a*" << "-" << "-b--c-" << 4;
        QTest::newRow("word boundaries") << "ab cd\n-e-" << "\\b" << "|" << "|ab| |cd|\n-|e|-" << 6;
        QTest::newRow("look-ahead") << "abab\nb" << "(?=b)" << "^" << "a^ba^b\n^b" << 3;
        QTest::newRow("negative look-ahead") << "ab aa a" << "a(?!b)" << "A" << "ab AA A" << 3;
        QTest::newRow("empty alternative") << "abc" << "b|" << "-" << "-a--c-" << 4;
        QTest::newRow("surrogate pair") << "\U0001F600" << "x*" << "-" << "-\U0001F600-" << 2;
        // clang-format on
    }
    void replaceAllEmptyMatches()
    {
        QFETCH(QString, text);
        QFETCH(QString, what);
        QFETCH(QString, with);
        QFETCH(QString, expected);
        QFETCH(int, count);
        open(text);
        QCOMPARE(e->replaceAllRegexp(what, with, true, false), count);
        QCOMPARE(e->text(), expected);
        QtUndoStack* stack = doc()->undoStack();
        stack->undo();
        QCOMPARE(e->text(), text);
        stack->redo();
        QCOMPARE(e->text(), expected);
    }

    void replaceAllTabs()
    {
        // Tabs in the replacement become blanks to the next stop, as typing
        // them would, unless tabs are kept.
        open(QStringLiteral("a-b\nab-"));
        m->fSaveTab = false;
        doc()->setSpacesInTab(4);
        QCOMPARE(e->replaceAll(QStringLiteral("-"), QStringLiteral("\t|"), true, false, false), 2);
        QCOMPARE(e->text(), QStringLiteral("a   |b\nab  |"));
    }

    void replaceAllReadOnly()
    {
        open(QStringLiteral("a a"));
        doc()->setReadOnly(true);
        QCOMPARE(e->replaceAll(QStringLiteral("a"), QStringLiteral("b"), true, false, false), 0);
        QCOMPARE(e->text(), QStringLiteral("a a"));
        doc()->setReadOnly(false);
    }

    // Random texts and patterns against a plain reference: the count is
    // the number of non-overlapping matches, the text that of replacing
    // each, and undo and redo go back and forth exactly.
    void replaceAllRandom()
    {
        QRandomGenerator rng(20240611);
        auto pick = [&](const char* alphabet, int maxLen, int minLen) {
            const int n = minLen + int(rng.bounded(maxLen - minLen + 1));
            const int k = int(qstrlen(alphabet));
            QString s;
            for (int i = 0; i < n; ++i)
                s += QLatin1Char(alphabet[rng.bounded(k)]);
            return s;
        };
        for (int round = 0; round < 300; ++round) {
            open(pick("aAb \n", 40, 0));
            // The text as the document holds it (a final line end is kept
            // apart from the lines).
            const QString text = e->text();
            const QString what = pick("aAb ", 3, 1);
            const QString with = pick("ab\nx", 3, 0);
            const bool cs = rng.bounded(2);
            const int expectedCount =
                countMatches(text, what, cs ? Qt::CaseSensitive : Qt::CaseInsensitive);
            QStringList lines = text.split(QLatin1Char('\n'));
            for (QString& line : lines)
                line.replace(what, with, cs ? Qt::CaseSensitive : Qt::CaseInsensitive);
            const QString expected = lines.join(QLatin1Char('\n'));
            const QByteArray where = QStringLiteral("text \"%1\" find \"%2\" replace \"%3\"")
                                         .arg(text, what, with)
                                         .toUtf8();
            QVERIFY2(e->replaceAll(what, with, cs, false, false) == expectedCount, where);
            QVERIFY2(e->text() == expected, where);
            if (expectedCount > 0) {
                doc()->undoStack()->undo();
                QVERIFY2(e->text() == text, where);
                doc()->undoStack()->redo();
                QVERIFY2(e->text() == expected, where);
            }
        }
    }
};

QTEST_MAIN(TestTextFind)
#include "tst_textfind.moc"

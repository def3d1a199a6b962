#include "fakeeditview.h"
#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textfolding.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QApplication>
#include <QClipboard>
#include <QRandomGenerator>
#include <QTest>

using namespace xqwidgets;

Q_DECLARE_METATYPE(QRect)

namespace
{

QStringList linesOf(const TextDocument& doc)
{
    QStringList out;
    for (int i = 0; i <= doc.lastLine(); ++i)
        out << QString(*doc.lineOf(i));
    return out;
}

QRect sel(int col1, int line1, int col2, int line2)
{
    return QRect(QPoint(col1, line1), QPoint(col2, line2));
}

const QRect noSelection = sel(0, 0, 0, 0);

// The same two points, whichever is the anchor.
bool sameSelection(const QRect& a, const QRect& b)
{
    return a == b || (a.topLeft() == b.bottomRight() && a.bottomRight() == b.topLeft());
}

// The editing options a case runs with.
struct Opts {
    bool saveTab = false;
    bool ovr = false;
    bool vertical = false;
    bool autoIndent = true;
    bool backspaceIndent = true;
    int tab = 4;
};

// A document with one active fake view and its own manager.
struct Fixture {
    TextEditorManager m;
    TextDocument doc{&m};
    FakeEditView view;

    explicit Fixture(const QStringList& lines, const Opts& o = Opts())
    {
        doc.addView(&view);
        doc.setActiveView(&view);
        // A last empty line needs its own terminator: a text that ends with
        // one has no empty line after it.
        doc.loadText(lines.join(QLatin1Char('\n')) +
                     (lines.size() > 1 && lines.last().isEmpty() ? "\n" : ""));
        apply(o);
    }
    ~Fixture() { doc.removeView(&view); }

    void apply(const Opts& o)
    {
        m.fSaveTab = o.saveTab;
        m.fOvr = o.ovr;
        m.fVerticalSelection = o.vertical;
        m.fAutoIndent = o.autoIndent;
        m.fBackspaceIndent = o.backspaceIndent;
        doc.setSpacesInTab(o.tab);
    }
    QString undoDescription() const { return doc.undoStack()->undoDescription(); }
};

// Checks that one undo restores `before` and one redo restores `after`.
void checkUndoRedo(Fixture& f, const QStringList& before, const QStringList& after)
{
    f.doc.undoStack()->undo();
    QCOMPARE(linesOf(f.doc), before);
    f.doc.undoStack()->redo();
    QCOMPARE(linesOf(f.doc), after);
}

} // namespace

class TestTextEdit : public QObject
{
    Q_OBJECT

private slots:
    void insert_data();
    void insert();
    void insertWithoutViewUsesArguments();
    void readOnlyDocumentIsLeftAlone();
    void insertLineBreak_data();
    void insertLineBreak();
    void deleteAndBackspace_data();
    void deleteAndBackspace();
    void indentAndUnindent_data();
    void indentAndUnindent();
    void selectionCommand_data();
    void selectionCommand();
    void selectionCommandPublishesCopies();
    void boxCopyPastesBackOntoItsRows();
    void macroDescriptionsAreShortened();
    void tabWidthBelowOneIsNeverUsed();
    void appendInsertsAtTheEnd();
    void randomOperationsMatchModel();
};

// --- insert -----------------------------------------------------------------

void TestTextEdit::insert_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("flags"); // 1 saveTab, 2 overwrite, 4 block
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QPoint>("caret"); // (column, line)
    QTest::addColumn<QString>("description");

    QTest::newRow("tab at column 2") << QStringList{"ab"} << 0 << 2 << 0 << "\t"
                                     << QStringList{"ab  "} << QPoint(4, 0) << "insert \t";
    QTest::newRow("two tabs at column 0")
        << QStringList{""} << 0 << 0 << 0 << "\t\t" << QStringList{"        "} << QPoint(8, 0)
        << "insert \t\t";
    QTest::newRow("tab after a tab of the line")
        << QStringList{"\tx"} << 0 << 2 << 0 << "\t" << QStringList{"\tx   "} << QPoint(5, 0)
        << "insert \t";
    QTest::newRow("tab inside a piece") << QStringList{"a"} << 0 << 1 << 0 << "b\tc"
                                        << QStringList{"ab  c"} << QPoint(5, 0) << "insert b\tc";
    QTest::newRow("tab kept") << QStringList{"ab"} << 0 << 1 << 1 << "\t" << QStringList{"a\tb"}
                              << QPoint(2, 0) << "insert \t";
    QTest::newRow("stream of lines")
        << QStringList{"abcd"} << 0 << 2 << 0 << "X\nY\nZ" << QStringList{"abX", "Y", "Zcd"}
        << QPoint(1, 2) << "insert X\nY\nZ";
    QTest::newRow("trailing line feed") << QStringList{"ab"} << 0 << 1 << 0 << "X\n"
                                        << QStringList{"aX", "b"} << QPoint(0, 1) << "insert X\n";
    QTest::newRow("overwrite") << QStringList{"abcd"} << 0 << 1 << 2 << "XY" << QStringList{"aXYd"}
                               << QPoint(3, 0) << "insert XY";
    QTest::newRow("overwrite past the end") << QStringList{"ab"} << 0 << 1 << 2 << "XYZ"
                                            << QStringList{"aXYZ"} << QPoint(4, 0) << "insert XYZ";
    QTest::newRow("block past the last line")
        << QStringList{"0123456", "abcdefg"} << 1 << 4 << 4 << "A\nB\nC"
        << QStringList{"0123456", "abcdAefg", "    B", "    C"} << QPoint(5, 3) << "insert A\nB\nC";
    QTest::newRow("block over short lines")
        << QStringList{"abcdef", "x", "abcdef"} << 0 << 3 << 4 << "1\n2\n3"
        << QStringList{"abc1def", "x  2", "abc3def"} << QPoint(4, 2) << "insert 1\n2\n3";
    QTest::newRow("beyond the line end") << QStringList{"ab"} << 0 << 4 << 0 << "x"
                                         << QStringList{"ab  x"} << QPoint(5, 0) << "insert x";
    const QString paste = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyzABCD");
    QTest::newRow("40-character paste")
        << QStringList{""} << 0 << 0 << 1 << paste << QStringList{paste} << QPoint(40, 0)
        << QString("insert 0123456789abcdefghijklmno...");
}

void TestTextEdit::insert()
{
    QFETCH(QStringList, lines);
    QFETCH(int, line);
    QFETCH(int, col);
    QFETCH(int, flags);
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QFETCH(QPoint, caret);
    QFETCH(QString, description);

    Opts o;
    o.saveTab = flags & 1;
    o.ovr = flags & 2;
    o.vertical = flags & 4;
    Fixture f(lines, o);
    f.view.place(line, col);
    f.doc.insert(text, 0, 0);
    QCOMPARE(linesOf(f.doc), expected);
    QCOMPARE(QPoint(f.view.column, f.view.line), caret);
    QCOMPARE(f.undoDescription(), description);
    QCOMPARE(f.doc.undoStack()->undoList().size(), 1);
    QVERIFY(f.doc.isModified());

    // Padding of lines shorter than the insertion column stays after undo
    // (the commands' rule); everything else comes back exactly.
    f.doc.undoStack()->undo();
    QStringList undone = linesOf(f.doc);
    for (QString& s : undone) {
        while (s.endsWith(QLatin1Char(' ')) && !lines.contains(s))
            s.chop(1);
    }
    QCOMPARE(undone, lines);
    QCOMPARE(QPoint(f.view.column, f.view.line), QPoint(col, line));
    f.doc.undoStack()->redo();
    QCOMPARE(linesOf(f.doc), expected);
}

void TestTextEdit::insertWithoutViewUsesArguments()
{
    TextEditorManager m;
    TextDocument doc(&m);
    doc.loadText("ab\ncd");
    doc.insert("X", 1, 1);
    doc.insertLineBreak(0, 1);
    doc.del(2, 0);
    doc.backspace(1, 1);
    QCOMPARE(linesOf(doc), QStringList({"a", "", "Xd"}));
    // The operations that need a view do nothing without one.
    doc.indent();
    doc.unindent();
    QCOMPARE(doc.selectionCommand(TextDocument::SelectionText), QString());
    QCOMPARE(linesOf(doc), QStringList({"a", "", "Xd"}));
}

void TestTextEdit::readOnlyDocumentIsLeftAlone()
{
    Fixture f({"  ab", "cd"});
    f.doc.setReadOnly(true);
    f.view.place(0, 2, sel(0, 0, 2, 1));
    f.doc.insert("x", 0, 0);
    f.doc.insertLineBreak(0, 0);
    f.doc.del(0, 0);
    f.doc.backspace(0, 0);
    f.doc.indent();
    f.doc.unindent();
    QCOMPARE(f.doc.selectionCommand(TextDocument::SelectionRemove), QString());
    QCOMPARE(linesOf(f.doc), QStringList({"  ab", "cd"}));
    QVERIFY(!f.doc.undoStack()->canUndo());
    // A cut copies only.
    f.m.winClipboard.clear();
    QCOMPARE(f.doc.selectionCommand(TextDocument::SelectionCut), QString());
    QCOMPARE(f.m.winClipboard, QString("  ab\ncd"));
    QCOMPARE(linesOf(f.doc), QStringList({"  ab", "cd"}));
}

// --- line breaks ------------------------------------------------------------

void TestTextEdit::insertLineBreak_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("autoIndent");
    QTest::addColumn<bool>("saveTab");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QPoint>("caret");

    QTest::newRow("after a colon") << QStringList{"    foo:"} << 0 << 8 << true << false
                                   << QStringList{"    foo:", "        "} << QPoint(8, 1);
    QTest::newRow("after a colon, no auto-indent")
        << QStringList{"    foo:"} << 0 << 8 << false << false << QStringList{"    foo:", ""}
        << QPoint(0, 1);
    QTest::newRow("inside the indentation") << QStringList{"    foo"} << 0 << 2 << true << false
                                            << QStringList{"  ", "    foo"} << QPoint(2, 1);
    QTest::newRow("inside the text") << QStringList{"  foo bar"} << 0 << 6 << true << false
                                     << QStringList{"  foo ", "  bar"} << QPoint(2, 1);
    QTest::newRow("tabs are copied") << QStringList{"\tfoo"} << 0 << 4 << true << false
                                     << QStringList{"\tfoo", "\t"} << QPoint(1, 1);
    QTest::newRow("colon not at the end") << QStringList{"a: b"} << 0 << 2 << true << false
                                          << QStringList{"a:", " b"} << QPoint(0, 1);
    QTest::newRow("blank line beyond its end, tabs kept")
        << QStringList{""} << 0 << 6 << true << true << QStringList{"", "\t  "} << QPoint(3, 1);
    QTest::newRow("blank line beyond its end, blanks")
        << QStringList{"  "} << 0 << 5 << true << false << QStringList{"  ", "     "}
        << QPoint(5, 1);
}

void TestTextEdit::insertLineBreak()
{
    QFETCH(QStringList, lines);
    QFETCH(int, line);
    QFETCH(int, col);
    QFETCH(bool, autoIndent);
    QFETCH(bool, saveTab);
    QFETCH(QStringList, expected);
    QFETCH(QPoint, caret);

    Opts o;
    o.autoIndent = autoIndent;
    o.saveTab = saveTab;
    Fixture f(lines, o);
    f.view.place(line, col);
    f.doc.insertLineBreak(0, 0);
    QCOMPARE(linesOf(f.doc), expected);
    QCOMPARE(QPoint(f.view.column, f.view.line), caret);
    QCOMPARE(f.undoDescription(), QString("break line"));
    checkUndoRedo(f, lines, expected);
}

// --- Delete and Backspace ---------------------------------------------------

void TestTextEdit::deleteAndBackspace_data()
{
    QTest::addColumn<bool>("backspace");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("backspaceIndent");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QPoint>("caret");
    QTest::addColumn<QString>("description"); // null: nothing to undo

    QTest::newRow("del a character") << false << QStringList{"abc"} << 0 << 1 << true
                                     << QStringList{"ac"} << QPoint(1, 0) << "remove b";
    QTest::newRow("del joins, dropping the next line's indentation")
        << false << QStringList{"ab", "  cd  "} << 0 << 2 << true << QStringList{"abcd"}
        << QPoint(2, 0) << "delete line break";
    QTest::newRow("del onto a blank line keeps the next line whole")
        << false << QStringList{"  ", "  cd"} << 0 << 2 << true << QStringList{"    cd"}
        << QPoint(2, 0) << "delete line break";
    QTest::newRow("del at the end of the last line")
        << false << QStringList{"ab"} << 0 << 2 << true << QStringList{"ab"} << QPoint(2, 0)
        << QString();
    QTest::newRow("backspace at the start") << true << QStringList{"ab"} << 0 << 0 << true
                                            << QStringList{"ab"} << QPoint(0, 0) << QString();
    QTest::newRow("backspace at column 0 joins")
        << true << QStringList{"ab", "cd"} << 1 << 0 << true << QStringList{"abcd"} << QPoint(2, 0)
        << "remove line break";
    QTest::newRow("backspace in text") << true << QStringList{"abc"} << 0 << 2 << true
                                       << QStringList{"ac"} << QPoint(1, 0) << "remove b";
    QTest::newRow("backspace to the indentation above")
        << true << QStringList{"    a", "        b"} << 1 << 8 << true
        << QStringList{"    a", "    b"} << QPoint(4, 1) << "remove     ";
    QTest::newRow("backspace one blank without indentation backspace")
        << true << QStringList{"    a", "        b"} << 1 << 8 << false
        << QStringList{"    a", "       b"} << QPoint(7, 1) << "remove  ";
    QTest::newRow("backspace passes over blank and deeper lines")
        << true << QStringList{"  a", "", "        ", "       c", "      x"} << 4 << 6 << true
        << QStringList{"  a", "", "        ", "       c", "  x"} << QPoint(2, 4) << "remove     ";
    QTest::newRow("backspace to column 0 when nothing above is shallower")
        << true << QStringList{"    a", "    b"} << 1 << 4 << true << QStringList{"    a", "b"}
        << QPoint(0, 1) << "remove     ";
    QTest::newRow("backspace in a blank line beyond its end")
        << true << QStringList{"  a", ""} << 1 << 6 << true << QStringList{"  a", ""}
        << QPoint(2, 1) << "remove ";
}

void TestTextEdit::deleteAndBackspace()
{
    QFETCH(bool, backspace);
    QFETCH(QStringList, lines);
    QFETCH(int, line);
    QFETCH(int, col);
    QFETCH(bool, backspaceIndent);
    QFETCH(QStringList, expected);
    QFETCH(QPoint, caret);
    QFETCH(QString, description);

    Opts o;
    o.backspaceIndent = backspaceIndent;
    Fixture f(lines, o);
    f.view.place(line, col);
    if (backspace)
        f.doc.backspace(0, 0);
    else
        f.doc.del(0, 0);
    QCOMPARE(linesOf(f.doc), expected);
    QCOMPARE(QPoint(f.view.column, f.view.line), caret);
    if (description.isNull()) {
        QVERIFY(!f.doc.undoStack()->canUndo());
        return;
    }
    QCOMPARE(f.undoDescription(), description);
    QCOMPARE(f.doc.undoStack()->undoList().size(), 1);
    checkUndoRedo(f, lines, expected);
}

// --- indent and unindent ----------------------------------------------------

void TestTextEdit::indentAndUnindent_data()
{
    QTest::addColumn<bool>("unindent");
    QTest::addColumn<bool>("saveTab");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QPoint>("caret"); // (column, line)
    QTest::addColumn<QRect>("selection");
    QTest::addColumn<QStringList>("expected");
    // With a selection the caret stays at the selection's end.
    QTest::addColumn<QPoint>("caretAfter");

    const QStringList seven{"0", "1", "2", "3", "4", "5", "6"};
    QTest::newRow("indent the caret's line")
        << false << false << QStringList{"a", "b"} << QPoint(1, 1) << noSelection
        << QStringList{"a", "    b"} << QPoint(4, 1);
    QTest::newRow("indent with a tab, empty line too")
        << false << true << QStringList{"", "b"} << QPoint(0, 0) << sel(0, 0, 1, 1)
        << QStringList{"\t", "\tb"} << QPoint(0, 0);
    QTest::newRow("selection ending at column 0 leaves its last line")
        << false << false << seven << QPoint(0, 5) << sel(0, 2, 0, 5)
        << QStringList{"0", "1", "    2", "    3", "    4", "5", "6"} << QPoint(0, 5);
    QTest::newRow("stream selection with its end left of its start")
        << false << false << QStringList{"abcdef", "x", "y"} << QPoint(1, 2) << sel(5, 0, 1, 2)
        << QStringList{"    abcdef", "    x", "    y"} << QPoint(1, 2);
    QTest::newRow("reversed selection ending at column 0")
        << false << false << QStringList{"abcdef", "x", "y"} << QPoint(0, 2) << sel(5, 0, 0, 2)
        << QStringList{"    abcdef", "    x", "y"} << QPoint(0, 2);
    QTest::newRow("unindent a tab") << true << false << QStringList{"\t\tfoo"} << QPoint(0, 0)
                                    << noSelection << QStringList{"\tfoo"} << QPoint(0, 0);
    QTest::newRow("unindent kinds of lines")
        << true << false << QStringList{"  foo", "      x", "    ", "", " \tz"} << QPoint(2, 4)
        << sel(0, 0, 3, 4) << QStringList{"foo", "  x", "    ", "", "z"} << QPoint(2, 4);
    QTest::newRow("unindent with nothing to remove")
        << true << false << QStringList{"foo", "    "} << QPoint(2, 0) << sel(0, 0, 2, 1)
        << QStringList{"foo", "    "} << QPoint(2, 0);
}

void TestTextEdit::indentAndUnindent()
{
    QFETCH(bool, unindent);
    QFETCH(bool, saveTab);
    QFETCH(QStringList, lines);
    QFETCH(QPoint, caret);
    QFETCH(QRect, selection);
    QFETCH(QStringList, expected);
    QFETCH(QPoint, caretAfter);

    Opts o;
    o.saveTab = saveTab;
    Fixture f(lines, o);
    f.view.place(caret.y(), caret.x(), selection);
    if (unindent)
        f.doc.unindent();
    else
        f.doc.indent();
    QCOMPARE(linesOf(f.doc), expected);
    QCOMPARE(QPoint(f.view.column, f.view.line), caretAfter);
    // The selection is put back with the same corners, from its anchor to
    // the caret.
    QVERIFY2(sameSelection(f.view.selected, selection), "selection not restored");
    if (selection != noSelection && caret == selection.topLeft())
        QCOMPARE(f.view.selected.bottomRight(), caret);
    QCOMPARE(f.undoDescription(), QString(unindent ? "unindent" : "indent"));
    checkUndoRedo(f, lines, expected);
    f.doc.undoStack()->undo();
    QCOMPARE(QPoint(f.view.column, f.view.line), caret);
}

// --- selection commands -----------------------------------------------------

void TestTextEdit::selectionCommand_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QRect>("selection");
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<QString>("text");        // what SelectionText returns
    QTest::addColumn<QStringList>("removed"); // the lines after SelectionRemove
    QTest::addColumn<QPoint>("caret");        // after the removal

    QTest::newRow("stream starting at the end of its first line")
        << QStringList{"ab", "cd"} << sel(2, 0, 1, 1) << false << "\nc" << QStringList{"abd"}
        << QPoint(2, 0);
    QTest::newRow("stream keeps the whitespace outside it")
        << QStringList{"abc", "  de  "} << sel(1, 0, 0, 1) << false << "bc\n"
        << QStringList{"a  de  "} << QPoint(1, 0);
    QTest::newRow("stream keeps whitespace before it")
        << QStringList{"ab  ", "x", "cd"} << sel(4, 0, 0, 2) << false << "\nx\n"
        << QStringList{"ab  cd"} << QPoint(4, 0);
    QTest::newRow("stream over four lines")
        << QStringList{"0123", "abcd", "efgh", "ijkl"} << sel(2, 0, 2, 3) << false
        << "23\nabcd\nefgh\nij" << QStringList{"01kl"} << QPoint(2, 0);
    QTest::newRow("stream ending left of its start")
        << QStringList{"0123", "abcd", "efgh"} << sel(3, 0, 1, 2) << false << "3\nabcd\ne"
        << QStringList{"012fgh"} << QPoint(3, 0);
    QTest::newRow("stream past the last line")
        << QStringList{"ab", "cd"} << sel(0, 0, 2, 5) << false << "ab\ncd\n"
        << QStringList{""} << QPoint(0, 0);
    QTest::newRow("stream from beyond a line end")
        << QStringList{"ab", "cdef"} << sel(5, 0, 2, 1) << false << "\ncd" << QStringList{"abef"}
        << QPoint(5, 0);
    QTest::newRow("one line is a box") << QStringList{"abcdef", "x"} << sel(1, 0, 3, 0) << false
                                       << "bc" << QStringList{"adef", "x"} << QPoint(1, 0);
    QTest::newRow("box gives an empty row for a short line")
        << QStringList{"abcdef", "ab", "abcdef"} << sel(2, 0, 4, 2) << true << "cd\n\ncd"
        << QStringList{"abef", "ab", "abef"} << QPoint(2, 0);
    QTest::newRow("box drawn from its bottom right")
        << QStringList{"abcdef", "abcdef"} << sel(4, 0, 2, 1) << true << "cd\ncd"
        << QStringList{"abef", "abef"} << QPoint(2, 0);
    QTest::newRow("box right of every line")
        << QStringList{"ab", "cd"} << sel(3, 0, 5, 1) << true << QString()
        << QStringList{"ab", "cd"} << QPoint(3, 0);
}

void TestTextEdit::selectionCommand()
{
    QFETCH(QStringList, lines);
    QFETCH(QRect, selection);
    QFETCH(bool, vertical);
    QFETCH(QString, text);
    QFETCH(QStringList, removed);
    QFETCH(QPoint, caret);

    Fixture f(lines);
    QCOMPARE(f.doc.selectionCommand(TextDocument::SelectionText, selection, vertical), text);
    QCOMPARE(linesOf(f.doc), lines);
    QVERIFY(!f.doc.undoStack()->canUndo());

    // The one-argument form reads the view's selection and block flag.
    f.m.fVerticalSelection = vertical;
    f.view.place(0, 0, selection);
    QCOMPARE(f.doc.selectionCommand(TextDocument::SelectionText), text);

    QCOMPARE(f.doc.selectionCommand(TextDocument::SelectionRemove, selection, vertical), QString());
    QCOMPARE(linesOf(f.doc), removed);
    QCOMPARE(QPoint(f.view.column, f.view.line), caret);
    QCOMPARE(f.undoDescription(), QString("remove selection"));
    checkUndoRedo(f, lines, removed);
    f.doc.undoStack()->undo();
    // Undo puts the caret on the selection's second point.
    const QPoint n2(qMax(selection.left(), selection.right()),
                    qMax(selection.top(), selection.bottom()));
    if (!vertical && selection.top() != selection.bottom())
        QCOMPARE(f.view.line, n2.y());
    else
        QCOMPARE(QPoint(f.view.column, f.view.line), n2);
}

void TestTextEdit::selectionCommandPublishesCopies()
{
    Fixture f({"abc", "def"});
    QCOMPARE(f.doc.selectionCommand(TextDocument::SelectionCopy, noSelection, false), QString());
    QVERIFY(f.m.winClipboard.isEmpty());
    // A selection below the last line holds nothing.
    QCOMPARE(f.doc.selectionCommand(TextDocument::SelectionCut, sel(0, 3, 2, 5), false), QString());
    QVERIFY(f.m.winClipboard.isEmpty());
    QVERIFY(!f.doc.undoStack()->canUndo());

    QCOMPARE(f.doc.selectionCommand(TextDocument::SelectionCut, sel(1, 0, 2, 1), false), QString());
    QCOMPARE(f.m.winClipboard, QString("bc\nde"));
    QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Clipboard), QString("bc\nde"));
    QCOMPARE(linesOf(f.doc), QStringList({"af"}));

    // Text and copy together return what they publish.
    const auto both =
        TextDocument::SelectionCommand(TextDocument::SelectionCopy | TextDocument::SelectionText);
    QCOMPARE(f.doc.selectionCommand(both, sel(0, 0, 1, 0), false), QString("a"));
    QCOMPARE(f.m.winClipboard, QString("a"));
}

void TestTextEdit::boxCopyPastesBackOntoItsRows()
{
    // Cutting a box and pasting it back as a block at its corner restores
    // the lines, also when a line in the middle does not reach the box.
    const QStringList lines{"abcdef", "ab", "", "abcdef"};
    Opts o;
    o.vertical = true;
    Fixture f(lines, o);
    const QRect box = sel(2, 0, 4, 3);
    f.view.place(3, 4, box);
    const QString text = f.doc.selectionCommand(
        TextDocument::SelectionCommand(TextDocument::SelectionCut | TextDocument::SelectionText));
    QCOMPARE(text, QString("cd\n\n\ncd"));
    QCOMPARE(linesOf(f.doc), QStringList({"abef", "ab", "", "abef"}));
    QCOMPARE(QPoint(f.view.column, f.view.line), QPoint(2, 0));
    f.doc.insert(f.m.winClipboard, 0, 0);
    QCOMPARE(linesOf(f.doc), lines);
}

void TestTextEdit::macroDescriptionsAreShortened()
{
    Fixture f({""});
    const QString d32(32, QLatin1Char('d'));
    f.doc.macroBegin(d32);
    f.doc.cmdInsert(0, 0, "x");
    f.doc.macroEnd();
    QCOMPARE(f.undoDescription(), d32);
    f.doc.macroBegin(d32 + "e", 0, 0);
    f.doc.cmdInsert(0, 0, "y");
    f.doc.macroEnd(0, 1);
    QCOMPARE(f.undoDescription(), d32 + "...");
    QCOMPARE(QPoint(f.view.column, f.view.line), QPoint(1, 0));
    f.doc.undoStack()->undo();
    QCOMPARE(QPoint(f.view.column, f.view.line), QPoint(0, 0));
}

void TestTextEdit::tabWidthBelowOneIsNeverUsed()
{
    TextEditorManager m;
    m.setTabWidth(0);
    TextDocument doc(&m);
    QCOMPARE(doc.spacesInTab(), 1);
    FakeEditView view;
    doc.addView(&view);
    doc.setActiveView(&view);
    // Auto-indent of a blank line with tabs kept: indent / width tabs.
    m.fSaveTab = true;
    view.place(0, 3);
    doc.insertLineBreak(0, 0);
    QCOMPARE(linesOf(doc), QStringList({"", "\t\t\t"}));
    m.fSaveTab = false;
    doc.setSpacesInTab(-3);
    QCOMPARE(doc.spacesInTab(), 1);
    view.place(1, 1);
    doc.insert("\tx\t", 0, 0);
    QCOMPARE(linesOf(doc), QStringList({"", "\t x \t\t"}));
    view.place(1, 0);
    doc.indent();
    QCOMPARE(linesOf(doc), QStringList({"", " \t x \t\t"}));
    doc.unindent();
    QCOMPARE(linesOf(doc), QStringList({"", "\t x \t\t"}));
    view.place(1, 1);
    doc.backspace(0, 0);
    QCOMPARE(linesOf(doc), QStringList({"", " x \t\t"}));
    doc.removeView(&view);
}

void TestTextEdit::appendInsertsAtTheEnd()
{
    TextEditorManager m;
    TextDocument doc(&m);
    doc.loadText("a\nb");
    doc.append("c\nd\te");
    QCOMPARE(linesOf(doc), QStringList({"a", "bc", "d" + QString(7, ' ') + "e"}));
    QCOMPARE(doc.undoStack()->undoDescription(), QString("insert c\nd\te"));
    doc.setReadOnly(true);
    doc.append("x");
    QCOMPARE(doc.lastLine(), 2);
}

// --- randomized model test --------------------------------------------------

namespace model
{

void insertAt(QStringList& t, int l, int c, const QString& s)
{
    if (s.isEmpty())
        return;
    if (c > t[l].size())
        t[l] += QString(c - t[l].size(), QLatin1Char(' '));
    t[l].insert(c, s);
}

void removeAt(QStringList& t, int l, int c, int n)
{
    if (n > 0 && c < t[l].size())
        t[l].remove(c, n);
}

void smartJoin(QStringList& t, int l)
{
    const QString next = t[l + 1];
    t[l] += t[l].trimmed().isEmpty() ? next : next.trimmed();
    t.removeAt(l + 1);
}

void insert(QStringList& t, int& l, int& c, const QString& text, const Opts& o)
{
    const QStringList pieces = text.split(QLatin1Char('\n'));
    for (int k = 0; k < pieces.size(); ++k) {
        QString s = pieces[k];
        if (!o.saveTab) {
            int v = 0;
            for (int i = 0; i < c; ++i)
                v = (i < t[l].size() && t[l][i] == QLatin1Char('\t')) ? (v / o.tab + 1) * o.tab
                                                                      : v + 1;
            QString e;
            for (QChar ch : s) {
                if (ch == QLatin1Char('\t')) {
                    const int col = v + int(e.size());
                    e += QString((col / o.tab + 1) * o.tab - col, QLatin1Char(' '));
                } else {
                    e += ch;
                }
            }
            s = e;
        }
        if (o.ovr)
            removeAt(t, l, c, int(s.size()));
        insertAt(t, l, c, s);
        c += int(s.size());
        if (k + 1 == pieces.size())
            break;
        if (!o.vertical) {
            t.insert(l + 1, t[l].mid(c));
            t[l].truncate(c);
            c = 0;
        } else {
            c -= int(s.size());
            if (l + 1 == t.size())
                t.append(QString());
        }
        ++l;
    }
}

void breakLine(QStringList& t, int& l, int& c, const Opts& o)
{
    const QString ln = t[l];
    const bool colon = c == ln.size() && ln.endsWith(QLatin1Char(':'));
    int fc = -1;
    for (int i = 0; i < ln.size(); ++i) {
        if (!ln[i].isSpace()) {
            fc = i;
            break;
        }
    }
    const int base = fc == -1 ? c : qMin(c, fc);
    const int indent = base + (colon ? o.tab : 0);
    t.insert(l + 1, ln.mid(c));
    t[l] = ln.left(c);
    ++l;
    c = 0;
    if (indent > 0 && o.autoIndent) {
        QString s;
        if (t[l - 1].size() < indent)
            s = o.saveTab ? QString(indent / o.tab, QLatin1Char('\t')) +
                                QString(indent % o.tab, QLatin1Char(' '))
                          : QString(indent, QLatin1Char(' '));
        else
            s = t[l - 1].left(base) + (colon ? QString(o.tab, QLatin1Char(' ')) : QString());
        t[l].prepend(s);
        c = int(s.size());
    }
}

int firstChar(const QString& s)
{
    for (int i = 0; i < s.size(); ++i) {
        if (!s[i].isSpace())
            return i;
    }
    return -1;
}

void backspace(QStringList& t, int l, int c, const Opts& o)
{
    if (c <= 0) {
        if (l > 0)
            smartJoin(t, l - 1);
        return;
    }
    int n = 1;
    const int fc = firstChar(t[l]);
    if (o.backspaceIndent && (fc == -1 || c <= fc)) {
        int k = 0;
        for (int i = l - 1; i >= 0; --i) {
            const int f = firstChar(t[i]);
            if (f != -1 && f < c) {
                k = f;
                break;
            }
        }
        n = c - k;
    }
    removeAt(t, l, c - n, n);
}

void indentRange(const QRect& r, int caretLine, int& from, int& to)
{
    from = to = caretLine;
    if (r.topLeft() == r.bottomRight())
        return;
    from = qMin(r.top(), r.bottom());
    to = qMax(r.top(), r.bottom());
    const bool same = (r.right() >= r.left()) == (r.bottom() >= r.top());
    const int lastCol = same ? qMax(r.left(), r.right()) : qMin(r.left(), r.right());
    if (lastCol == 0 && to > from)
        --to;
}

// Removes a selection and returns its text, as the selection commands read it.
QString takeSelection(QStringList& t, const QRect& r, bool vertical, bool remove)
{
    if (r.topLeft() == r.bottomRight() || qMax(0, qMin(r.top(), r.bottom())) >= t.size())
        return QString();
    const int left = qMin(r.left(), r.right()), right = qMax(r.left(), r.right());
    const int top = qMin(r.top(), r.bottom()), bottom = qMax(r.top(), r.bottom());
    const bool same = (r.right() >= r.left()) == (r.bottom() >= r.top());
    QStringList rows;
    if (vertical || top == bottom) {
        bool any = false;
        for (int l = qMax(0, top); l <= bottom && l < t.size(); ++l) {
            rows << (left < t[l].size() ? t[l].mid(left, right - left) : QString());
            any = any || left < t[l].size();
            if (remove)
                removeAt(t, l, left, right - left);
        }
        return any ? rows.join(QLatin1Char('\n')) : QString();
    }
    const int startCol = same ? left : right, endCol = same ? right : left;
    const int first = qMax(0, top);
    QString text = t[first].mid(startCol) + QLatin1Char('\n');
    for (int l = first + 1; l < bottom && l < t.size(); ++l)
        text += t[l] + QLatin1Char('\n');
    if (bottom < t.size())
        text += t[bottom].left(endCol);
    if (remove) {
        QString rest = bottom < t.size() ? t[bottom].mid(endCol) : QString();
        t[first] = t[first].left(startCol) + rest;
        const int last = qMin(bottom, int(t.size()) - 1);
        for (int l = first + 1; l <= last; ++l)
            t.removeAt(first + 1);
    }
    return text;
}

// Which lines the fold flags show: a closed head hides the lines after it
// down to the end of its fold, where a line is lower or a sibling head.
QList<bool> visibility(const TextDocument& doc)
{
    QList<bool> shown;
    bool showing = true;
    int hiding = 0;
    for (int i = 0; i <= doc.lastLine(); ++i) {
        const TextLine* l = doc.lineOf(i);
        bool visible = true;
        if (!showing) {
            if (l->foldingLevel > hiding || (l->foldingLevel == hiding && !l->isFoldingStart)) {
                visible = false;
            } else if (l->foldingLevel == hiding) {
                showing = !l->isFolded;
                shown << true;
                continue;
            } else {
                showing = true;
            }
        }
        if (visible && l->isFoldingStart && l->isFolded) {
            showing = false;
            hiding = l->foldingLevel;
        }
        shown << visible;
    }
    return shown;
}

} // namespace model

void TestTextEdit::randomOperationsMatchModel()
{
    const quint32 seed = 1105107;
    QRandomGenerator rng(seed);
    Fixture f({"int main()", "{", "    if (x):", "\treturn 0;", "", "  }"});
    QStringList t = linesOf(f.doc);
    QList<QStringList> history{t}; // the text after each undo step
    int current = 0;
    const QString alphabet = QStringLiteral("ab :\t\n(_ \n\xe9");
    auto randomText = [&] {
        QString s;
        const int n = int(rng.bounded(10));
        for (int i = 0; i < n; ++i)
            s += alphabet.at(int(rng.bounded(alphabet.size())));
        return s;
    };
    auto randomRect = [&] {
        const int l1 = int(rng.bounded(t.size() + 1)), l2 = qMax(0, l1 + int(rng.bounded(4)) - 1);
        const int c1 = int(rng.bounded(8)), c2 = int(rng.bounded(8));
        // The view keeps the earlier point first.
        return (l2 < l1 || (l1 == l2 && c2 < c1)) ? sel(c2, l2, c1, l1) : sel(c1, l1, c2, l2);
    };
    auto fail = [&](int step, const QString& what) {
        qWarning("seed %u, step %d: %s", seed, step, qPrintable(what));
    };
    auto checkFolds = [&](int step, const QString& what) {
        QList<bool> shown;
        for (int i = 0; i <= f.doc.lastLine(); ++i) {
            shown << f.doc.lineOf(i)->isFoldVisible;
            if (f.doc.lineOf(i)->foldingLevel < 0) {
                fail(step, what);
                return false;
            }
        }
        if (shown != model::visibility(f.doc)) {
            fail(step, what + " (visibility)");
            return false;
        }
        return true;
    };

    const int steps = 6000;
    for (int step = 0; step < steps; ++step) {
        Opts o;
        o.saveTab = rng.bounded(4) == 0;
        o.ovr = rng.bounded(6) == 0;
        o.vertical = rng.bounded(4) == 0;
        o.autoIndent = rng.bounded(3) != 0;
        o.backspaceIndent = rng.bounded(3) != 0;
        o.tab = 1 + int(rng.bounded(8));
        f.apply(o);
        const int l = int(rng.bounded(t.size()));
        const int len = int(t[l].size());
        int c = int(rng.bounded(len + 1)); // inserting past the end pads for good
        // Mostly typing while the text is short, so that it grows.
        static const int ops[] = {0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        const int op = t.size() < 12 && rng.bounded(3) == 0
                           ? 0
                           : ops[rng.bounded(int(sizeof(ops) / sizeof(ops[0])))];
        QString what;
        bool edits = true;
        int expectLine = -1, expectCol = -1;
        if (op == 0) {
            QString s = randomText();
            // A block must not pad existing lines: undo keeps padding.
            if (o.vertical) {
                for (int k = 1, n = int(s.count(QLatin1Char('\n'))); k <= n && l + k < t.size();
                     ++k)
                    c = qMin(c, int(t[l + k].size()));
            }
            f.view.place(l, c);
            f.doc.insert(s, 0, 0);
            int ml = l, mc = c;
            model::insert(t, ml, mc, s, o);
            expectLine = ml;
            expectCol = mc;
            what = QStringLiteral("insert %1,%2 '%3' v%4 o%5 s%6 tab%7")
                       .arg(l)
                       .arg(c)
                       .arg(s)
                       .arg(o.vertical)
                       .arg(o.ovr)
                       .arg(o.saveTab)
                       .arg(o.tab);
        } else if (op == 1) {
            f.view.place(l, c);
            f.doc.insertLineBreak(0, 0);
            int ml = l, mc = c;
            model::breakLine(t, ml, mc, o);
            expectLine = ml;
            expectCol = mc;
            what = QStringLiteral("break %1,%2").arg(l).arg(c);
        } else if (op == 2) {
            c = int(rng.bounded(len + 3));
            f.view.place(l, c);
            f.doc.del(0, 0);
            if (c < len)
                model::removeAt(t, l, c, 1);
            else if (l + 1 < t.size())
                model::smartJoin(t, l);
            else
                edits = false;
            what = QStringLiteral("del %1,%2").arg(l).arg(c);
        } else if (op == 3) {
            c = int(rng.bounded(len + 3));
            f.view.place(l, c);
            f.doc.backspace(0, 0);
            edits = c > 0 || l > 0;
            model::backspace(t, l, c, o);
            what = QStringLiteral("backspace %1,%2").arg(l).arg(c);
        } else if (op == 4 || op == 5) {
            const QRect r = rng.bounded(2) ? randomRect() : noSelection;
            const int from0 = qMin(r.top(), r.bottom()), to0 = qMax(r.top(), r.bottom());
            if (r.topLeft() != r.bottomRight() && to0 >= t.size())
                continue; // the view never selects past the last line
            Q_UNUSED(from0);
            f.view.place(l, c, r);
            int from = 0, to = 0;
            model::indentRange(r, l, from, to);
            if (op == 4) {
                f.doc.indent();
                for (int k = from; k <= to; ++k)
                    t[k].prepend(o.saveTab ? QStringLiteral("\t")
                                           : QString(o.tab, QLatin1Char(' ')));
            } else {
                f.doc.unindent();
                for (int k = from; k <= to; ++k) {
                    const int n = t[k].startsWith(QLatin1Char('\t'))
                                      ? 1
                                      : qMin(o.tab, model::firstChar(t[k]));
                    model::removeAt(t, k, 0, n);
                }
            }
            const QRect restored = r.topLeft() != r.bottomRight() ? r : noSelection;
            if (!sameSelection(f.view.selected, restored)) {
                fail(step, QStringLiteral("selection not restored"));
                QCOMPARE(f.view.selected, restored);
            }
            what = QStringLiteral("%1 %2,%3 sel %4,%5-%6,%7")
                       .arg(op == 4 ? "indent" : "unindent")
                       .arg(l)
                       .arg(c)
                       .arg(r.left())
                       .arg(r.top())
                       .arg(r.right())
                       .arg(r.bottom());
        } else if (op == 6) {
            const QRect r = randomRect();
            const bool remove = rng.bounded(3) != 0;
            QStringList before = t;
            const QString expected = model::takeSelection(t, r, o.vertical, remove);
            const auto cmd = TextDocument::SelectionCommand(
                TextDocument::SelectionText | (remove ? TextDocument::SelectionRemove : 0));
            const QString got = f.doc.selectionCommand(cmd, r, o.vertical);
            edits = remove && r.topLeft() != r.bottomRight() && r.top() < before.size();
            what = QStringLiteral("selection %1,%2-%3,%4 v%5 remove%6")
                       .arg(r.left())
                       .arg(r.top())
                       .arg(r.right())
                       .arg(r.bottom())
                       .arg(o.vertical)
                       .arg(remove);
            if (got != expected) {
                fail(step, what);
                QCOMPARE(got, expected);
            }
            if (edits) {
                const bool box = o.vertical || r.top() == r.bottom();
                expectLine = qMin(r.top(), r.bottom());
                expectCol = box ? qMin(r.left(), r.right())
                                : ((r.right() >= r.left()) == (r.bottom() >= r.top())
                                       ? qMin(r.left(), r.right())
                                       : qMax(r.left(), r.right()));
            }
        } else if (op == 7) {
            const int l2 = qBound(0, l + int(rng.bounded(5)) - 2, int(t.size()) - 1);
            const int c2 = int(rng.bounded(t[l2].size() + 1));
            f.doc.removeText(l, c, l2, c2);
            int a = l, ac = c, b = l2, bc = c2;
            if (b < a || (a == b && bc < ac)) {
                std::swap(a, b);
                std::swap(ac, bc);
            }
            t[a] = t[a].left(ac) + t[b].mid(bc);
            for (int k = a + 1; k <= b; ++k)
                t.removeAt(a + 1);
            what = QStringLiteral("removeText %1,%2 %3,%4").arg(l).arg(c).arg(l2).arg(c2);
        } else if (op == 8) {
            const int a = int(rng.bounded(t.size())), b = a + int(rng.bounded(6));
            f.doc.folding()->createFold(a, b);
            edits = false;
            what = QStringLiteral("createFold %1,%2").arg(a).arg(b);
        } else if (op == 9) {
            const int kind = int(rng.bounded(4));
            if (kind == 0)
                f.doc.folding()->toggleFold(l);
            else if (kind == 1)
                f.doc.folding()->openFold(l);
            else if (kind == 2)
                f.doc.folding()->closeFold(l);
            else
                f.doc.folding()->removeFold(l);
            edits = false;
            what = QStringLiteral("fold op %1 at %2").arg(kind).arg(l);
        } else if (op == 10) {
            const int kind = int(rng.bounded(8));
            if (kind == 0) {
                f.doc.folding()->clearAllFolds();
            } else if (kind == 1) {
                // A state saved for some other text, in and out of range.
                TextFolding::FoldersState state;
                for (int k = int(rng.bounded(4)); k > 0; --k) {
                    FolderInfo info;
                    info.isOpened = rng.bounded(2);
                    info.firstLine = int(rng.bounded(t.size() + 3)) - 1;
                    info.lastLine = info.firstLine + int(rng.bounded(6)) - 1;
                    state << info;
                }
                f.doc.folding()->setFolderstState(state);
            } else {
                f.doc.folding()->setFolderstState(f.doc.folding()->foldersState());
            }
            edits = false;
            what = QStringLiteral("fold state %1").arg(kind);
        } else if (op == 11 || op == 12) {
            // Undo or redo a few steps.
            const int k = 1 + int(rng.bounded(3));
            const int n = op == 11 ? qMin(k, current) : qMin(k, int(history.size()) - 1 - current);
            if (n > 0 && op == 11)
                f.doc.undoStack()->undo(n);
            else if (n > 0)
                f.doc.undoStack()->redo(n);
            current += op == 11 ? -n : n;
            t = history[current];
            edits = false;
            what = QStringLiteral("%1 %2").arg(op == 11 ? "undo" : "redo").arg(k);
        }

        if (edits) {
            history.resize(current + 1);
            history << t;
            ++current;
        }
        if (linesOf(f.doc) != t) {
            fail(step, what);
            QCOMPARE(linesOf(f.doc), t);
        }
        if (expectLine >= 0 && (f.view.line != expectLine || f.view.column != expectCol)) {
            fail(step, what + QStringLiteral(" (caret)"));
            QCOMPARE(QPoint(f.view.column, f.view.line), QPoint(expectCol, expectLine));
        }
        if (f.doc.undoStack()->undoList().size() != current) {
            fail(step, what + QStringLiteral(" (undo steps)"));
            QCOMPARE(f.doc.undoStack()->undoList().size(), current);
        }
        QVERIFY(f.doc.lastLine() >= 0);
        QVERIFY(checkFolds(step, what));

        // Now and then, and at the end: undo everything step by step, then
        // redo everything.
        if (step % 1000 == 999 || step == steps - 1) {
            for (int k = current; k > 0; --k) {
                f.doc.undoStack()->undo();
                if (linesOf(f.doc) != history[k - 1]) {
                    fail(step, QStringLiteral("undo-all at %1").arg(k));
                    QCOMPARE(linesOf(f.doc), history[k - 1]);
                }
                QVERIFY(checkFolds(step, QStringLiteral("undo-all")));
            }
            QVERIFY(!f.doc.undoStack()->canUndo());
            for (int k = 1; k < history.size(); ++k) {
                f.doc.undoStack()->redo();
                if (linesOf(f.doc) != history[k]) {
                    fail(step, QStringLiteral("redo-all at %1").arg(k));
                    QCOMPARE(linesOf(f.doc), history[k]);
                }
                QVERIFY(checkFolds(step, QStringLiteral("redo-all")));
            }
            QVERIFY(!f.doc.undoStack()->canRedo());
            current = int(history.size()) - 1;
            t = history[current];
        }
    }
}

QTEST_MAIN(TestTextEdit)
#include "tst_textedit.moc"

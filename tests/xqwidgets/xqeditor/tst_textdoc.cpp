#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPrinter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QVBoxLayout>

#include <functional>

using namespace xqwidgets;

// A view without a widget: records what the document asks of it, runs a
// tiny highlighter in which "/*" opens context 1 and "*/" closes it, and
// counts the lines the context pass touches.
class FakeView : public DocumentView
{
public:
    explicit FakeView(QObject* object = nullptr) : object(object) {}

    QObject* viewObject() override { return object; }
    int doHighlight(int ctx, TextLine* line) override
    {
        ++passes;
        line->resetHighlight(ctx);
        const QString& s = *line;
        for (qsizetype i = 0; i + 1 < s.size(); ++i) {
            if (ctx == 0 && s.at(i) == u'/' && s.at(i + 1) == u'*') {
                ctx = 1;
                ++i;
            } else if (ctx == 1 && s.at(i) == u'*' && s.at(i + 1) == u'/') {
                ctx = 0;
                ++i;
            }
        }
        return ctx;
    }
    void highlight(TextLine* line) override { line->doneHighlight(); }
    void cursorPosition(int& l, int& c) const override
    {
        l = line;
        c = column;
    }
    void setCursorPosition(int l, int c, bool) override
    {
        line = l;
        column = c;
        log << QStringLiteral("cursor %1,%2").arg(l).arg(c);
    }
    // The lines handed over since the test last cleared them.
    void setUpdateRegion(const LineRegion& r) override
    {
        if (!r.isEmpty())
            region.expand(r.start, r.end);
    }
    void updateView(bool) override {}
    void updateLines(int, int) override {}
    int tabsWidth() const override { return 80; }
    void setTabsWidth(int) override {}
    int spaceWidth() const override { return 10; }
    void resizeBuffer() override {}
    void updateFontData() override {}
    void repaintMargins() override {}
    void notifyChange(int id) override { log << QStringLiteral("change %1").arg(id); }

    QObject* object;
    int passes = 0;
    int line = 0;
    int column = 0;
    LineRegion region;
    QStringList log;
};

static QStringList linesOf(const TextDocument& doc)
{
    QStringList lines;
    for (int i = 0; i <= doc.lastLine(); ++i)
        lines << *doc.lineOf(i);
    return lines;
}

static void loadString(TextDocument& doc, const QString& text)
{
    QString copy = text;
    QTextStream s(&copy, QIODevice::ReadOnly);
    QVERIFY(doc.load(s));
}

class TestTextDoc : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void newDocument();
    void roundTrip_data();
    void roundTrip();
    void mixedTerminatorsUseTheFirst();
    void editedLinesOwnTightStorage();
    void unreadableAndUnwritableStreams();
    void readOnlyDocument();
    void modifiedFlag();
    void settersClamp();

    void insertCommands();
    void removeCommands();
    void typingMergesByWords();
    void descriptionsAreShortened();
    void joiningLines();
    void removeTextKeepsOutsideWhitespace();
    void replaceAndLineBreak();
    void macroMovesCaretOfActiveView();
    void removedViewIsNeverUsed();

    void contextPassStopsWhenContextSettles();
    void contextPassCarriesComments();
    void everyLineWriteGrowsTheRevision();

    void randomEditsMatchModel();

    void undoManagerFollowsFocusBetweenDocuments();

    void managerDefaults();
    void managerFontsAndWidths();
    void managerPushesToDocuments();

private:
    TextEditorManager* m = nullptr;
};

void TestTextDoc::init()
{
    m = new TextEditorManager;
}

void TestTextDoc::cleanup()
{
    delete m;
    m = nullptr;
}

void TestTextDoc::newDocument()
{
    TextDocument doc(m);
    QCOMPARE(doc.lastLine(), 0);
    QVERIFY(doc.text().isEmpty());
    QVERIFY(!doc.isModified());
    QVERIFY(!doc.undoStack()->canUndo());

    // An empty stream leaves one empty line; saving writes nothing.
    loadString(doc, QString());
    QCOMPARE(doc.lastLine(), 0);
    QString out;
    QTextStream os(&out);
    QVERIFY(doc.save(os));
    QVERIFY(out.isEmpty());
}

void TestTextDoc::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("lines");
    QTest::newRow("empty file") << QByteArray() << 1;
    QTest::newRow("one line, no terminator") << QByteArray("hello") << 1;
    QTest::newRow("final LF") << QByteArray("a\nb\n") << 2;
    QTest::newRow("final CRLF") << QByteArray("a\r\nb\r\n") << 2;
    QTest::newRow("CRLF, none at end") << QByteArray("a\r\n\r\nb") << 3;
    QTest::newRow("only a terminator") << QByteArray("\n") << 1;
    QTest::newRow("blank lines") << QByteArray("\n\n\nx\n\n") << 5;
    QTest::newRow("NUL byte") << QByteArray("a\0b\nc", 5) << 2;
    QTest::newRow("lone CR stays in its line") << QByteArray("a\rb\nc") << 2;
    QTest::newRow("non-ASCII UTF-8")
        << QByteArray("gr\xc3\xbc\xc3\x9f dich\n\xe2\x82\xac \xf0\x9f\x98\x80\n") << 2;
    QTest::newRow("1 MB single line") << QByteArray(1 << 20, 'x') << 1;
}

void TestTextDoc::roundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, lines);
    QTemporaryDir dir;
    const QString in = dir.filePath("in.txt");
    const QString out = dir.filePath("out.txt");
    {
        QFile f(in);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    TextDocument doc(m);
    {
        QFile f(in);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QTextStream s(&f);
        QVERIFY(doc.load(s));
    }
    QCOMPARE(doc.lastLine() + 1, lines);
    doc.cmdInsert(0, 0, "z"); // an edit and its undo change nothing on disk
    doc.undoStack()->undo();
    {
        QFile f(out);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QTextStream s(&f);
        QVERIFY(doc.save(s));
    }
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), bytes);
}

void TestTextDoc::mixedTerminatorsUseTheFirst()
{
    TextDocument doc(m);
    loadString(doc, "one\r\ntwo\nthree\r\n");
    QCOMPARE(linesOf(doc), QStringList({"one", "two", "three"}));
    QCOMPARE(doc.lineTerminator(), QString("\r\n"));
    QString out;
    QTextStream os(&out);
    QVERIFY(doc.save(os));
    QCOMPARE(out, QString("one\r\ntwo\r\nthree\r\n"));

    loadString(doc, "a\nb\r\nc");
    QCOMPARE(linesOf(doc), QStringList({"a", "b", "c"}));
    QString out2;
    QTextStream os2(&out2);
    QVERIFY(doc.save(os2));
    QCOMPARE(out2, QString("a\nb\nc"));
}

void TestTextDoc::editedLinesOwnTightStorage()
{
    // Loaded lines share one buffer; an edit must not make a line hold (or
    // copy) as much as the whole buffer.
    TextDocument doc(m);
    QStringList text;
    for (int i = 0; i < 50000; ++i)
        text << QStringLiteral("line number %1").arg(i);
    loadString(doc, text.join('\n'));
    const int last = doc.lastLine();
    doc.cmdInsert(last, 0, "x");
    doc.cmdRemove(last - 1, 0, 2);
    doc.cmdInsert(last - 2, 100, "y"); // padded append
    for (int i : {last, last - 1, last - 2})
        QVERIFY2(doc.lineOf(i)->capacity() < 1024, qPrintable(QString::number(i)));
    QCOMPARE(*doc.lineOf(last), "x" + text.last());
    QCOMPARE(*doc.lineOf(last - 1), text.at(last - 1).mid(2));
    QCOMPARE(*doc.lineOf(last - 3), text.at(last - 3)); // untouched lines unchanged
}

void TestTextDoc::unreadableAndUnwritableStreams()
{
    TextDocument doc(m);
    loadString(doc, "keep\nme");
    doc.cmdInsert(0, 0, ">");
    QVERIFY(doc.isModified());

    QFile notOpen(QDir::temp().filePath("vexa-never-opened"));
    QTextStream in(&notOpen);
    QVERIFY(!doc.load(in));
    QCOMPARE(linesOf(doc), QStringList({">keep", "me"}));
    QVERIFY(doc.isModified());

    // A full device: the write fails, the document stays modified.
    QFile full("/dev/full");
    if (full.open(QIODevice::WriteOnly)) {
        QTextStream out(&full);
        QVERIFY(!doc.save(out));
        QVERIFY(doc.isModified());
    }
    QTextStream readOnly(&notOpen);
    QVERIFY(!doc.save(readOnly));
    QVERIFY(doc.isModified());
}

void TestTextDoc::readOnlyDocument()
{
    TextDocument doc(m);
    loadString(doc, "x");
    doc.cmdInsert(0, 1, "y");
    doc.setReadOnly(true);
    QString out;
    QTextStream os(&out);
    QVERIFY(!doc.save(os));
    QVERIFY(out.isEmpty());
    QVERIFY(doc.isModified());
    // Loading makes it writable again.
    loadString(doc, "z");
    QVERIFY(!doc.isReadOnly());
}

void TestTextDoc::modifiedFlag()
{
    // The flag follows the undo stack's clean mark: undoing back to the text
    // loaded or saved last makes the document unmodified again.
    TextDocument doc(m);
    doc.cmdInsert(0, 0, "a");
    QVERIFY(doc.isModified());
    doc.undoStack()->undo();
    QVERIFY(!doc.isModified());
    doc.undoStack()->redo();
    QVERIFY(doc.isModified());
    QString out;
    QTextStream os(&out);
    QVERIFY(doc.save(os));
    QVERIFY(!doc.isModified());
    doc.undoStack()->undo();
    QVERIFY(doc.isModified());
    doc.undoStack()->redo();
    QVERIFY(!doc.isModified());
    // Typing after the save is not merged into the saved state's command.
    doc.cmdInsert(0, 1, "b");
    QVERIFY(doc.isModified());
    doc.undoStack()->undo();
    QVERIFY(!doc.isModified());
    QCOMPARE(QString(*doc.lineOf(0)), QStringLiteral("a"));
}

void TestTextDoc::settersClamp()
{
    TextDocument doc(m);
    doc.setSpacesInTab(0);
    QCOMPARE(doc.spacesInTab(), 1);
    doc.setSpacesInTab(-3);
    QCOMPARE(doc.spacesInTab(), 1);
    doc.setSpacesInTab(40);
    QCOMPARE(doc.spacesInTab(), 16);

    // A manager whose stored width is 0 never gives a document a width of 0.
    m->setTabWidth(0);
    QVERIFY(m->tabWidth() >= 1);
    TextDocument doc2(m);
    QCOMPARE(doc2.spacesInTab(), 1);

    FakeView v;
    doc.addView(&v);
    const int passes = v.passes;
    doc.setWrap(doc.getWrap()); // unchanged: nothing happens
    QCOMPARE(v.passes, passes);
    doc.removeView(&v);
}

void TestTextDoc::insertCommands()
{
    TextDocument doc(m);
    loadString(doc, "ab");
    doc.cmdInsert(0, 5, "X");
    QCOMPARE(*doc.lineOf(0), QString("ab   X"));
    doc.undoStack()->undo();
    QCOMPARE(*doc.lineOf(0), QString("ab   ")); // the padding stays
    doc.undoStack()->redo();
    QCOMPARE(*doc.lineOf(0), QString("ab   X"));
}

void TestTextDoc::removeCommands()
{
    TextDocument doc(m);
    loadString(doc, "abcdef");
    // Beyond the end: nothing removed, described "remove ".
    doc.cmdRemove(0, 10, 3);
    QCOMPARE(*doc.lineOf(0), QString("abcdef"));
    QCOMPARE(doc.undoStack()->undoDescription(), QString("remove "));
    doc.undoStack()->undo();
    QCOMPARE(*doc.lineOf(0), QString("abcdef"));
    // Too long: shortened to the end of the line, also for undo and redo.
    doc.cmdRemove(0, 4, 100);
    QCOMPARE(*doc.lineOf(0), QString("abcd"));
    QCOMPARE(doc.undoStack()->undoDescription(), QString("remove ef"));
    doc.undoStack()->undo();
    QCOMPARE(*doc.lineOf(0), QString("abcdef"));
    doc.undoStack()->redo();
    QCOMPARE(*doc.lineOf(0), QString("abcd"));
    // Removals never merge.
    doc.cmdRemove(0, 0, 1);
    doc.cmdRemove(0, 0, 1);
    QCOMPARE(doc.undoStack()->undoList().size(), 3);
}

void TestTextDoc::typingMergesByWords()
{
    struct Case {
        QString typed;
        QStringList steps;
    };
    const Case cases[] = {
        {"ab cd", {"insert ab", "insert  cd"}},
        {"a.b", {"insert a", "insert .b"}},
        {"..x", {"insert ..x"}},
        {"foo_bar", {"insert foo", "insert _bar"}},
    };
    for (const Case& c : cases) {
        TextDocument doc(m);
        for (int i = 0; i < c.typed.size(); ++i)
            doc.cmdInsert(0, i, c.typed.mid(i, 1));
        QCOMPARE(doc.undoStack()->undoList(), c.steps);
        doc.undoStack()->undo();
        QCOMPARE(*doc.lineOf(0), c.typed.left(c.typed.size() - c.steps.last().size() + 7));
    }

    // Another line, or a column that is not adjacent, starts a new step.
    TextDocument doc(m);
    loadString(doc, "\n");
    doc.makeLine(1);
    doc.cmdInsert(0, 0, "a");
    doc.cmdInsert(1, 1, "b");
    doc.cmdInsert(1, 5, "c");
    QCOMPARE(doc.undoStack()->undoList().size(), 4);
}

void TestTextDoc::descriptionsAreShortened()
{
    TextDocument doc(m);
    const QString exact = QString(25, 'a'); // "insert " + 25 = 32
    doc.cmdInsert(0, 0, exact);
    QCOMPARE(doc.undoStack()->undoDescription(), QString("insert ") + exact);
    doc.cmdInsert(0, 0, "-" + exact); // 33 characters
    QCOMPARE(doc.undoStack()->undoDescription(), (QString("insert -") + exact).left(32) + "...");
    QCOMPARE(doc.undoStack()->undoDescription().size(), 35);
}

void TestTextDoc::joiningLines()
{
    TextDocument doc(m);
    loadString(doc, "text\n   more  \n\n  tail");
    doc.cmdRemoveLineBreak(0);
    QCOMPARE(linesOf(doc), QStringList({"textmore", "", "  tail"}));
    doc.cmdRemoveLineBreak(1); // onto an empty line: appended unchanged
    QCOMPARE(linesOf(doc), QStringList({"textmore", "  tail"}));
    QCOMPARE(doc.undoStack()->undoDescription(), QString("remove line break"));
    doc.undoStack()->undo(2);
    QCOMPARE(linesOf(doc), QStringList({"text", "   more  ", "", "  tail"}));
}

void TestTextDoc::removeTextKeepsOutsideWhitespace()
{
    struct Case {
        int l1, c1, l2, c2;
        QStringList result;
    };
    const Case cases[] = {
        {0, 1, 1, 0, {"a  de ", "x"}},     // the next line's indentation stays
        {1, 0, 0, 1, {"a  de ", "x"}},     // either order
        {0, 1, 2, 0, {"ax"}},              // over three lines
        {0, 0, 0, 3, {"", "  de ", "x"}},  // on one line
        {1, 2, 1, 4, {"abc", "   ", "x"}}, // trailing blank of the line stays
    };
    for (const Case& c : cases) {
        TextDocument doc(m);
        FakeView v;
        doc.addView(&v);
        doc.setActiveView(&v);
        loadString(doc, "abc\n  de \nx");
        doc.removeText(c.l1, c.c1, c.l2, c.c2);
        QCOMPARE(linesOf(doc), c.result);
        QCOMPARE(doc.undoStack()->undoList(), QStringList({"remove text"}));
        // The caret lands on the earlier position; undo puts it on the
        // second position as passed.
        const bool secondFirst = c.l2 < c.l1 || (c.l1 == c.l2 && c.c2 < c.c1);
        const QPoint earlier = secondFirst ? QPoint(c.c2, c.l2) : QPoint(c.c1, c.l1);
        QCOMPARE(QPoint(v.column, v.line), earlier);
        doc.undoStack()->undo();
        QCOMPARE(linesOf(doc), QStringList({"abc", "  de ", "x"}));
        QCOMPARE(QPoint(v.column, v.line), QPoint(c.c2, c.l2));
        doc.removeView(&v);
    }
}

void TestTextDoc::replaceAndLineBreak()
{
    TextDocument doc(m);
    loadString(doc, "hello world");
    doc.cmdReplace(0, 6, 5, "there");
    QCOMPARE(*doc.lineOf(0), QString("hello there"));
    QCOMPARE(doc.undoStack()->undoDescription(), QString("replace text with there"));
    // Length 0 and empty text: only the macro's brackets.
    const int before = doc.undoStack()->count();
    doc.cmdReplace(0, 0, 0, QString());
    QCOMPARE(*doc.lineOf(0), QString("hello there"));
    QCOMPARE(doc.undoStack()->count(), before + 3); // begin, caret marker, end

    doc.cmdInsertLineBreak(0, 5);
    QCOMPARE(linesOf(doc), QStringList({"hello", " there"}));
    doc.cmdInsertLineBreak(1, 6); // at the end: an empty new line
    QCOMPARE(linesOf(doc), QStringList({"hello", " there", ""}));
    doc.undoStack()->undo(2);
    QCOMPARE(linesOf(doc), QStringList({"hello there"}));
}

void TestTextDoc::macroMovesCaretOfActiveView()
{
    TextDocument doc(m);
    FakeView v;
    doc.addView(&v);
    doc.setActiveView(&v);
    loadString(doc, "abc");
    v.log.clear();
    doc.cmdInsertLineBreak(0, 1);
    QCOMPARE(QPoint(v.column, v.line), QPoint(0, 1));
    // One cursor move and one UndoRedo notice per completed macro.
    QCOMPARE(v.log.count("change 2"), 1);
    QCOMPARE(v.log.count(QStringLiteral("cursor 1,0")), 1);
    doc.undoStack()->undo();
    QCOMPARE(QPoint(v.column, v.line), QPoint(1, 0));
    doc.removeView(&v);
}

void TestTextDoc::removedViewIsNeverUsed()
{
    TextDocument doc(m);
    auto* v = new FakeView;
    doc.addView(v);
    doc.setActiveView(v);
    doc.removeView(v);
    QCOMPARE(doc.activeView(), nullptr);
    QVERIFY(doc.views().isEmpty());
    delete v;
    doc.cmdInsert(0, 0, "still fine"); // would touch the freed view otherwise
    doc.undoStack()->undo();
    QCOMPARE(*doc.lineOf(0), QString());
}

void TestTextDoc::contextPassStopsWhenContextSettles()
{
    TextDocument doc(m);
    FakeView v;
    doc.addView(&v);
    QStringList text;
    for (int i = 0; i < 20000; ++i)
        text << QStringLiteral("int x%1 = %1;").arg(i);
    loadString(doc, text.join('\n'));

    struct Step {
        const char* name;
        std::function<void()> edit;
    };
    const Step steps[] = {
        {"insert line at 0", [&] { doc.makeLine(0); }},
        {"remove line 0", [&] { doc.removeLine(0); }},
        {"line break mid-document", [&] { doc.cmdInsertLineBreak(10000, 3); }},
        {"join lines", [&] { doc.cmdRemoveLineBreak(10000); }},
        {"undo", [&] { doc.undoStack()->undo(); }},
    };
    for (const Step& s : steps) {
        v.passes = 0;
        s.edit();
        QVERIFY2(v.passes < 20, s.name);
    }
    // Inserting a line still repaints every row below it.
    v.region.clear();
    doc.makeLine(5);
    QCOMPARE(v.region.start, 5);
    QCOMPARE(v.region.end, doc.lastLine());
    doc.removeView(&v);
}

// Readers of the whole text skip their work while the revision stands, so
// every way a line's text changes must grow it, the writes outside the
// undo stack too (the view drops trailing blanks from the line the caret
// leaves), and removals at the end of the text, after which no line below
// needs a context pass.
void TestTextDoc::everyLineWriteGrowsTheRevision()
{
    TextDocument doc(m);
    FakeView v;
    doc.addView(&v);
    loadString(doc, "a  \nb\nc\nd\ne");
    const struct {
        const char* name;
        std::function<void()> write;
    } writes[] = {
        {"trailing blanks dropped", [&] { QVERIFY(doc.removeTrailingSpaces(0)); }},
        {"line made", [&] { doc.m_insertLine(1); }},
        {"line removed", [&] { doc.m_removeLine(1); }},
        {"last line removed", [&] { doc.m_removeLine(doc.lastLine()); }},
        {"lines made", [&] { doc.m_insertLines(doc.lastLine() + 1, QStringLiteral("e\nf\ng")); }},
        {"last lines removed", [&] { doc.m_removeLines(doc.lastLine() - 1, 2); }},
        {"last lines removed from the bottom",
         [&] { doc.m_removeLines(doc.lastLine() - 1, 2, true); }},
        {"insert", [&] { doc.cmdInsert(1, 0, QStringLiteral("x")); }},
        {"undo", [&] { doc.undoStack()->undo(); }},
        {"load", [&] { loadString(doc, "d"); }},
    };
    for (const auto& w : writes) {
        const quint64 before = doc.revision();
        w.write();
        QVERIFY2(doc.revision() > before, w.name);
    }
    doc.removeView(&v);
}

void TestTextDoc::contextPassCarriesComments()
{
    TextDocument doc(m);
    FakeView v;
    doc.addView(&v);
    loadString(doc, "a\nb\nc\nd");
    // Loading leaves the pass to the first reader; here the test reads.
    QVERIFY(doc.ensureContexts(doc.lastLine()));
    doc.cmdInsert(0, 0, "/*");
    for (int i = 0; i <= 3; ++i)
        QCOMPARE(doc.lineOf(i)->context(), 1);
    doc.cmdInsert(2, 1, "*/");
    QCOMPARE(doc.lineOf(1)->context(), 1);
    QCOMPARE(doc.lineOf(2)->context(), 0);
    QCOMPARE(doc.lineOf(3)->context(), 0);
    // A new line inside the comment starts in the comment's context.
    doc.makeLine(1);
    QCOMPARE(doc.lineOf(1)->highlightContext(), 1);
    QCOMPARE(doc.lineOf(1)->context(), 1);
    QCOMPARE(doc.lineOf(4)->context(), 0);
    doc.undoStack()->undo(3);
    for (int i = 0; i <= 3; ++i)
        QCOMPARE(doc.lineOf(i)->context(), 0);
    doc.removeView(&v);
}

// The model of the primitives and composites: the text as a list of lines.
namespace model
{
void insert(QStringList& t, int l, int c, const QString& s)
{
    if (s.isEmpty())
        return;
    if (c > t[l].size())
        t[l] += QString(c - t[l].size(), ' ');
    t[l].insert(c, s);
}
void remove(QStringList& t, int l, int c, int n)
{
    if (c < t[l].size())
        t[l].remove(c, n);
}
} // namespace model

void TestTextDoc::randomEditsMatchModel()
{
    const quint32 seed = 20261210;
    QRandomGenerator rng(seed);
    TextDocument doc(m);
    FakeView v;
    doc.addView(&v);
    doc.setActiveView(&v);
    QStringList t({"first line", "  second", "", "last /* x */"});
    loadString(doc, t.join('\n'));
    const QStringList original = t;
    const QString alphabet = QStringLiteral("ab c\t/*.\xe9_");
    auto randomText = [&] {
        QString s;
        const int n = int(rng.bounded(6));
        for (int i = 0; i < n; ++i)
            s += alphabet.at(int(rng.bounded(alphabet.size())));
        return s;
    };

    for (int step = 0; step < 4000; ++step) {
        const int lines = int(t.size());
        const int l = int(rng.bounded(lines));
        const int len = int(t[l].size());
        const int op = int(rng.bounded(8));
        QString what;
        if (op == 0) {
            // Within the line: padding beyond its end is kept by undo on
            // purpose, which a model of exact undo cannot follow.
            const int c = int(rng.bounded(len + 1));
            const QString s = randomText();
            doc.cmdInsert(l, c, s);
            model::insert(t, l, c, s);
            what = QStringLiteral("insert %1,%2 '%3'").arg(l).arg(c).arg(s);
        } else if (op == 1) {
            const int c = int(rng.bounded(len + 2));
            const int n = int(rng.bounded(5));
            doc.cmdRemove(l, c, n);
            model::remove(t, l, c, n);
            what = QStringLiteral("remove %1,%2 %3").arg(l).arg(c).arg(n);
        } else if (op == 2) {
            doc.makeLine(l);
            t.insert(l, QString());
            what = QStringLiteral("makeLine %1").arg(l);
        } else if (op == 3 && lines > 1) {
            doc.removeLine(l);
            t.removeAt(l);
            what = QStringLiteral("removeLine %1").arg(l);
        } else if (op == 4) {
            const int c = int(rng.bounded(len + 1));
            doc.cmdInsertLineBreak(l, c);
            t.insert(l + 1, t[l].mid(c));
            t[l].truncate(c);
            what = QStringLiteral("lineBreak %1,%2").arg(l).arg(c);
        } else if (op == 5 && l < lines - 1) {
            doc.cmdRemoveLineBreak(l);
            const QString next = t[l + 1];
            if (t[l].trimmed().isEmpty())
                t[l] += next;
            else
                t[l] += next.trimmed();
            t.removeAt(l + 1);
            what = QStringLiteral("join %1").arg(l);
        } else if (op == 6) {
            const int l2 = int(rng.bounded(lines));
            const int c1 = int(rng.bounded(len + 1));
            const int c2 = int(rng.bounded(t[l2].size() + 1));
            doc.removeText(l, c1, l2, c2);
            int a = l, ac = c1, b = l2, bc = c2;
            if (b < a || (a == b && bc < ac)) {
                std::swap(a, b);
                std::swap(ac, bc);
            }
            const QString tail = t[b].mid(bc);
            t[a] = t[a].left(ac) + tail;
            for (int k = a + 1; k <= b; ++k)
                t.removeAt(a + 1);
            what = QStringLiteral("removeText %1,%2 %3,%4").arg(l).arg(c1).arg(l2).arg(c2);
        } else if (op == 7) {
            const int c = int(rng.bounded(len + 1));
            const int n = int(rng.bounded(4));
            const QString s = randomText();
            doc.cmdReplace(l, c, n, s);
            model::remove(t, l, c, n);
            model::insert(t, l, c, s);
            what = QStringLiteral("replace %1,%2 %3 '%4'").arg(l).arg(c).arg(n).arg(s);
        } else {
            continue;
        }
        if (linesOf(doc) != t) {
            qWarning("seed %u, step %d: %s", seed, step, qPrintable(what));
            QCOMPARE(linesOf(doc), t);
        }
        QVERIFY(doc.lastLine() >= 0);
    }
    const QStringList final = t;
    const QString finalText = doc.text();
    while (doc.undoStack()->canUndo())
        doc.undoStack()->undo();
    if (linesOf(doc) != original)
        qWarning("seed %u: undo-all differs", seed);
    QCOMPARE(linesOf(doc), original);
    while (doc.undoStack()->canRedo())
        doc.undoStack()->redo();
    QCOMPARE(linesOf(doc), final);
    QCOMPARE(doc.text(), finalText);
    doc.removeView(&v);
}

void TestTextDoc::undoManagerFollowsFocusBetweenDocuments()
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* widgetA = new QLineEdit;
    auto* widgetB = new QLineEdit;
    layout->addWidget(widgetA);
    layout->addWidget(widgetB);
    TextDocument docA(m), docB(m);
    FakeView viewA(widgetA), viewB(widgetB);
    docA.addView(&viewA);
    docA.setActiveView(&viewA);
    docB.addView(&viewB);
    docB.setActiveView(&viewB);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    docA.cmdInsert(0, 0, "alpha");
    docB.cmdInsert(0, 0, "beta");
    docB.cmdInsert(0, 4, " gamma");
    QtUndoManager* um = QtUndoManager::manager();

    widgetA->setFocus();
    QTRY_COMPARE(um->currentStack(), docA.undoStack());
    QCOMPARE(um->undoDescription(), QString("Undo insert alpha"));
    um->undo();
    QCOMPARE(docA.text(), QString());
    QCOMPARE(docB.text(), QString("beta gamma"));

    widgetB->setFocus();
    QTRY_COMPARE(um->currentStack(), docB.undoStack());
    QCOMPARE(um->undoDescription(), QString("Undo insert  gamma"));
    um->undo();
    QCOMPARE(docB.text(), QString("beta"));
    QVERIFY(um->canRedo());
    docA.removeView(&viewA);
    docB.removeView(&viewB);
}

void TestTextDoc::managerDefaults()
{
    QCOMPARE(m->resourcesDir(), QString());
    QVERIFY(m->resourcesDir().isNull());
    QCOMPARE(m->localResourcesDir(), QString("/local/"));
    QCOMPARE(m->tabWidth(), 8);
    QVERIFY(m->fAutoIndent && m->fSmartHome && m->fBackspaceIndent);
    QVERIFY(!m->fLineWrap && !m->fOvr);
    QCOMPARE(m->selectedBackgroundColor, QColor("#d0d0d0"));

    QSignalSpy ovr(m, &TextEditorManager::overwriteModeChanged);
    m->setOverwriteMode(true);
    m->setOverwriteMode(true);
    QCOMPARE(ovr.count(), 2);

    m->addCompletionList({"a"}, 1);
    m->addCompletionList({"a", "b"}, 1);
    QCOMPARE(m->addedCompleteWords().value(1), QStringList({"a", "a", "b"}));

    // The print area is the page less the margins, in device units.
    QPrinter* p = m->printer();
    QCOMPARE(m->printWidth(), p->width() - 60 * p->logicalDpiX() / 72);
}

void TestTextDoc::managerFontsAndWidths()
{
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m->setFont(fixed);
    const FontData& plain = m->fontData(0);
    if (QFontInfo(fixed).fixedPitch()) {
        QVERIFY(plain.width > 0);
        QCOMPARE(m->width(0, QString("abcd")), 4 * plain.width);
    }
    QVERIFY(m->font(3).bold() && m->font(3).italic());
    QVERIFY(!m->font(2).italic() && m->font(2).bold());
    QVERIFY(m->font(1).italic() && !m->font(1).bold());
}

void TestTextDoc::managerPushesToDocuments()
{
    TextDocument doc(m);
    m->addDocument(&doc);
    m->setTabWidth(4);
    QCOMPARE(doc.spacesInTab(), 4);
    m->setTabWidth(-2);
    QCOMPARE(doc.spacesInTab(), 1);
    m->setLineWrap(true);
    QVERIFY(doc.getWrap());
    {
        TextDocument gone(m);
        m->addDocument(&gone);
        QCOMPARE(m->documents().size(), 2);
    }
    QCOMPARE(m->documents().size(), 1);
}

QTEST_MAIN(TestTextDoc)
#include "tst_textdoc.moc"

#include "fakeeditview.h"
#include "xqwidgets/debuglog.h"
#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textfolding.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QTest>

using namespace xqwidgets;

namespace
{

// A document of n numbered lines with an active fake view.
struct Fixture {
    TextEditorManager m;
    TextDocument doc{&m};
    FakeEditView view;

    explicit Fixture(int n)
    {
        QStringList lines;
        for (int i = 0; i < n; ++i)
            lines << QString::number(i);
        doc.addView(&view);
        doc.setActiveView(&view);
        doc.loadText(lines.join(QLatin1Char('\n')));
    }
    ~Fixture() { doc.removeView(&view); }

    TextFolding* folding() { return doc.folding(); }
    // Levels as a string, one digit a line; heads marked by a letter
    // instead ('a' = level 1 open, 'A' = level 1 closed, ...).
    QString levels() const
    {
        QString s;
        for (int i = 0; i <= doc.lastLine(); ++i) {
            const TextLine* l = doc.lineOf(i);
            if (l->isFoldingStart)
                s += QChar((l->isFolded ? 'A' : 'a') + l->foldingLevel - 1);
            else
                s += QChar('0' + l->foldingLevel);
        }
        return s;
    }
    // The lines shown, '+' visible and '-' hidden.
    QString shown() const
    {
        QString s;
        for (int i = 0; i <= doc.lastLine(); ++i)
            s += doc.lineOf(i)->isFoldVisible ? '+' : '-';
        return s;
    }
};

FolderInfo info(bool open, int first, int last)
{
    FolderInfo f;
    f.isOpened = open;
    f.firstLine = first;
    f.lastLine = last;
    return f;
}

} // namespace

class TestTextFolding : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The refusals are told in a developers' category, off by default.
        QVERIFY(!xqwidgets::lcEditor().isDebugEnabled());
        QLoggingCategory::setFilterRules(QStringLiteral("xqwidgets.editor.debug=true"));
    }
    void createFold_data();
    void createFold();
    void closingOuterFoldKeepsInnerStates();
    void siblingAfterNestedEnd();
    void toggleActsOnInnermostFold();
    void removeFold();
    void isLastLineOfFold();
    void stateRoundTrip();
    void stateForLongerFileIsSkipped();
    void deepNesting();
    void editsKeepEditedLinesVisible();
};

void TestTextFolding::createFold_data()
{
    QTest::addColumn<QList<QPoint>>("existing"); // (first, last) folds made first
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("levels");
    QTest::addColumn<QString>("shown");

    using P = QList<QPoint>;
    QTest::newRow("closed at once") << P{} << 2 << 6 << true << "00A11110"
                                    << "+++----+";
    QTest::newRow("cut at the last line") << P{} << 5 << 20 << true << "00000A11"
                                          << "++++++--";
    QTest::newRow("not on the last line") << P{} << 7 << 9 << false << "00000000"
                                          << "++++++++";
    QTest::newRow("first not before last") << P{} << 3 << 3 << false << "00000000"
                                           << "++++++++";
    QTest::newRow("negative first") << P{} << -1 << 3 << false << "00000000"
                                    << "++++++++";
    QTest::newRow("around two folds")
        << P{QPoint(1, 3), QPoint(5, 6)} << 0 << 7 << true << "AB221B21"
        << "+-------";
    QTest::newRow("crossing: ends at different levels")
        << P{QPoint(1, 3), QPoint(5, 6)} << 2 << 4 << false << "0A110A10"
        << "++--++-+";
    QTest::newRow("crossing: equal levels over two siblings")
        << P{QPoint(1, 3), QPoint(4, 6)} << 2 << 5 << false << "0A11A110"
        << "++--+--+";
    QTest::newRow("inside a fold") << P{QPoint(1, 6)} << 2 << 4 << true << "0AB22110"
                                   << "++-----+";
    // Folds sharing a head share its one closed flag; closed, it hides the
    // innermost of them.
    QTest::newRow("sharing the head of an enclosing fold")
        << P{QPoint(1, 6)} << 1 << 3 << true << "0B221110"
        << "++--++++";
}

void TestTextFolding::createFold()
{
    QFETCH(QList<QPoint>, existing);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, ok);
    QFETCH(QString, levels);
    QFETCH(QString, shown);

    Fixture f(8);
    for (const QPoint& p : existing)
        QVERIFY(f.folding()->createFold(p.x(), p.y()));
    f.view.place(7, 1);
    const int placements = f.view.caretPlacements;
    if (!ok) {
        QTest::ignoreMessage(QtDebugMsg, first < last && first >= 0 && first < 7
                                             ? "Can't create intersected fold"
                                             : "Can't create fold for firstLine >= lastLine");
    }
    QCOMPARE(f.folding()->createFold(first, last), ok);
    QCOMPARE(f.levels(), levels);
    QCOMPARE(f.shown(), shown);
    if (ok) {
        QCOMPARE(f.view.caretPlacements, placements + 1);
        QCOMPARE(QPoint(f.view.column, f.view.line), QPoint(0, first));
    } else {
        QCOMPARE(f.view.caretPlacements, placements);
    }
}

void TestTextFolding::closingOuterFoldKeepsInnerStates()
{
    Fixture f(10);
    QVERIFY(f.folding()->createFold(2, 3)); // closed
    QVERIFY(f.folding()->createFold(5, 6));
    f.folding()->openFold(5);
    QVERIFY(f.folding()->createFold(1, 8));
    QCOMPARE(f.levels(), "0AB21b2110");
    QCOMPARE(f.shown(), "++-------+");
    f.folding()->openFold(1);
    QCOMPARE(f.levels(), "0aB21b2110");
    QCOMPARE(f.shown(), "+++-++++++");
    f.folding()->closeFold(1);
    f.folding()->openFold(5);
    QCOMPARE(f.shown(), "++-------+");
    f.folding()->openFold(1);
    QCOMPARE(f.shown(), "+++-++++++");
    QVERIFY(f.view.contentUpdates > 0);
}

void TestTextFolding::siblingAfterNestedEnd()
{
    // An open fold whose last line ends a closed inner fold, followed
    // directly by a closed sibling of the outer fold.
    Fixture f(10);
    QVERIFY(f.folding()->createFold(1, 4)); // outer
    QVERIFY(f.folding()->createFold(3, 4)); // inner, closed
    f.folding()->openFold(1);
    QVERIFY(f.folding()->createFold(5, 7)); // sibling, closed
    QCOMPARE(f.levels(), "0a1B2A1100");
    QCOMPARE(f.shown(), "++++-+--++");
}

void TestTextFolding::toggleActsOnInnermostFold()
{
    Fixture f(10);
    QVERIFY(f.folding()->createFold(3, 5));
    QVERIFY(f.folding()->createFold(1, 7));
    f.folding()->openFold(1);
    f.folding()->openFold(3);
    QCOMPARE(f.shown(), "++++++++++");
    f.view.place(9, 0);
    f.folding()->toggleFold(4); // inside the inner fold
    QCOMPARE(f.shown(), "++++--++++");
    QCOMPARE(QPoint(f.view.column, f.view.line), QPoint(0, 3));
    f.folding()->toggleFold(6); // inside the outer fold only
    QCOMPARE(f.shown(), "++------++");
    QCOMPARE(f.view.line, 1);
    f.folding()->closeFold(2);
    QCOMPARE(f.shown(), "++------++");
    f.folding()->openFold(7);
    QCOMPARE(f.shown(), "++++--++++");

    // Outside every fold there is nothing to act on.
    f.view.place(9, 2);
    QTest::ignoreMessage(QtDebugMsg, "hm, can't find the start of folding");
    f.folding()->toggleFold(9);
    QCOMPARE(f.view.line, 9);
    QCOMPARE(f.shown(), "++++--++++");
}

void TestTextFolding::removeFold()
{
    Fixture f(10);
    QVERIFY(f.folding()->createFold(3, 5));
    QVERIFY(f.folding()->createFold(1, 7));
    f.folding()->removeFold(4); // the inner one
    QCOMPARE(f.levels(), "0A11111100");
    QCOMPARE(f.shown(), "++------++");
    f.folding()->removeFold(9); // outside: nothing
    f.folding()->removeFold(99);
    QCOMPARE(f.levels(), "0A11111100");
    f.folding()->removeFold(1);
    QCOMPARE(f.levels(), "0000000000");
    QCOMPARE(f.shown(), "++++++++++");

    // Two folds on one head: the inner goes first, the head stays a head.
    QVERIFY(f.folding()->createFold(2, 6));
    QVERIFY(f.folding()->createFold(2, 4));
    QCOMPARE(f.levels(), "00B2211000");
    f.folding()->removeFold(3);
    QCOMPARE(f.levels(), "00A1111000");
    f.folding()->clearAllFolds();

    // Removing the second of two adjacent siblings leaves no head behind
    // that would hide the rest of the document.
    QVERIFY(f.folding()->createFold(0, 2));
    QVERIFY(f.folding()->createFold(3, 5));
    f.folding()->removeFold(4);
    QCOMPARE(f.levels(), "A110000000");
    QCOMPARE(f.shown(), "+--+++++++");
    // The same for siblings inside an outer fold, which stays one fold.
    f.folding()->clearAllFolds();
    QVERIFY(f.folding()->createFold(1, 2));
    QVERIFY(f.folding()->createFold(3, 4));
    QVERIFY(f.folding()->createFold(0, 8));
    QCOMPARE(f.levels(), "AB2B211110");
    f.folding()->removeFold(3);
    QCOMPARE(f.levels(), "AB21111110");
    f.folding()->openFold(0);
    QCOMPARE(f.shown(), "++-+++++++");
    f.folding()->closeFold(0);
    QCOMPARE(f.shown(), "+--------+");
}

void TestTextFolding::isLastLineOfFold()
{
    Fixture f(10);
    QVERIFY(f.folding()->createFold(0, 2));
    QVERIFY(f.folding()->createFold(3, 5));
    QVERIFY(f.folding()->createFold(7, 9));
    QString ends;
    for (int i = -1; i <= 10; ++i)
        ends += f.folding()->isLastLineOfFold(i) ? 'E' : '.';
    // Line 2 ends a fold before its sibling's head; line 0 never counts;
    // the document's last line ends the fold it is in.
    QCOMPARE(ends, QString("...E..E...E."));
}

void TestTextFolding::stateRoundTrip()
{
    Fixture f(10);
    QVERIFY(f.folding()->createFold(3, 5));
    QVERIFY(f.folding()->createFold(1, 7));
    f.folding()->openFold(1);
    const TextFolding::FoldersState state = f.folding()->foldersState();
    QCOMPARE(state, TextFolding::FoldersState({info(false, 3, 5), info(true, 1, 7)}));

    const QString levels = f.levels(), shown = f.shown();
    f.folding()->clearAllFolds();
    QCOMPARE(f.levels(), "0000000000");
    f.folding()->setFolderstState(state);
    QCOMPARE(f.levels(), levels);
    QCOMPARE(f.shown(), shown);

    // Nested, shared heads and siblings, in and out: the list form holds it.
    f.folding()->clearAllFolds();
    QVERIFY(f.folding()->createFold(0, 9));
    QVERIFY(f.folding()->createFold(0, 3));
    QVERIFY(f.folding()->createFold(1, 2));
    QVERIFY(f.folding()->createFold(4, 5));
    QVERIFY(f.folding()->createFold(6, 8));
    f.folding()->openFold(0);
    f.folding()->openFold(6);
    const TextFolding::FoldersState nested = f.folding()->foldersState();
    QCOMPARE(nested,
             TextFolding::FoldersState({info(false, 1, 2), info(true, 0, 3), info(false, 4, 5),
                                        info(true, 6, 8), info(true, 0, 9)}));
    const QString nestedLevels = f.levels(), nestedShown = f.shown();
    f.folding()->clearAllFolds();
    TextFolding::FoldersState reversed(nested.rbegin(), nested.rend());
    f.folding()->setFolderstState(reversed);
    QCOMPARE(f.levels(), nestedLevels);
    QCOMPARE(f.shown(), nestedShown);
    QCOMPARE(f.folding()->foldersState(), nested);
}

void TestTextFolding::stateForLongerFileIsSkipped()
{
    Fixture f(6);
    const TextFolding::FoldersState state{info(false, 1, 3),  info(false, 4, 9), info(true, 20, 30),
                                          info(false, -2, 2), info(false, 4, 4), info(true, 5, 2)};
    f.folding()->setFolderstState(state);
    QCOMPARE(f.levels(), "0A1100");
    QCOMPARE(f.shown(), "++--++");
    QCOMPARE(f.folding()->foldersState(), TextFolding::FoldersState({info(false, 1, 3)}));
}

void TestTextFolding::deepNesting()
{
    // 300,000 folds nested in each other (as a stored state may bring): the
    // list of folds is made without a call per level.
    const int n = 300000;
    Fixture f(2 * n);
    for (int i = 0; i < 2 * n; ++i) {
        TextLine* l = f.doc.lineOf(i);
        l->foldingLevel = qMin(i + 1, 2 * n - i);
        l->isFoldingStart = i < n;
        l->isFolded = i == 0;
    }
    const TextFolding::FoldersState state = f.folding()->foldersState();
    QCOMPARE(state.size(), n);
    QCOMPARE(state.first(), info(true, n - 1, n));
    QCOMPARE(state.at(1), info(true, n - 2, n + 1));
    QCOMPARE(state.last(), info(false, 0, 2 * n - 1));
}

void TestTextFolding::editsKeepEditedLinesVisible()
{
    Fixture f(8);
    QVERIFY(f.folding()->createFold(2, 5));
    QCOMPARE(f.levels(), "00A11100");
    QCOMPARE(f.shown(), "+++---++");
    // Breaking the closed head's line puts a line into the fold and opens it.
    f.view.place(2, 1);
    f.doc.insertLineBreak(0, 0);
    QCOMPARE(f.levels(), "00a111100");
    QCOMPARE(f.shown(), "+++++++++");
    f.doc.undoStack()->undo();
    QCOMPARE(f.doc.lastLine(), 7);
    QCOMPARE(f.levels(), "00a11100");
    f.folding()->closeFold(2);
    QCOMPARE(f.shown(), "+++---++");
    // Typing into a hidden line opens the fold.
    f.doc.cmdInsert(4, 0, "x");
    QCOMPARE(f.shown(), "++++++++");
    // Removing a head line takes its fold (and one sharing the head) along.
    f.folding()->clearAllFolds();
    QVERIFY(f.folding()->createFold(2, 6));
    QVERIFY(f.folding()->createFold(2, 4));
    f.doc.removeLine(2);
    QCOMPARE(f.levels(), "0000000");
    QCOMPARE(f.shown(), "+++++++");
}

QTEST_MAIN(TestTextFolding)
#include "tst_textfolding.moc"

// The commands for runs of lines against the one-line commands they stand
// for: the same random edits go to two documents, one with the bulk commands
// and one without, and after every step, and through undo-all and redo-all,
// text, fold flags, visibility, caret and undo steps must agree.

#include "fakeeditview.h"
#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/textbulkcommands.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textfolding.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QRandomGenerator>
#include <QTest>

using namespace xqwidgets;

namespace
{

// A document with one active fake view; `bulk` says which commands its
// edits are made of.
struct Side {
    TextEditorManager m;
    TextDocument doc{&m};
    FakeEditView view;
    bool bulk;

    Side(const QString& text, bool bulk) : bulk(bulk)
    {
        doc.addView(&view);
        doc.setActiveView(&view);
        doc.loadText(text);
        m.fAutoIndent = true;
    }
    ~Side() { doc.removeView(&view); }

    // Runs `edit` with this side's kind of commands.
    template <typename F> auto run(F edit)
    {
        setBulkLineCommands(bulk);
        struct Restore {
            ~Restore() { setBulkLineCommands(true); }
        } restore;
        return edit(*this);
    }
};

// Everything the two documents must agree on, one string a line.
QStringList state(const Side& s)
{
    QStringList out;
    for (int i = 0; i <= s.doc.lastLine(); ++i) {
        const TextLine* l = s.doc.lineOf(i);
        out << QStringLiteral("%1|L%2 S%3 F%4 V%5")
                   .arg(QString(*l))
                   .arg(l->foldingLevel)
                   .arg(l->isFoldingStart)
                   .arg(l->isFolded)
                   .arg(l->isFoldVisible);
    }
    const QtUndoStack* u = s.doc.undoStack();
    out << QStringLiteral("caret %1,%2").arg(s.view.line).arg(s.view.column);
    out << QStringLiteral("undo %1: %2").arg(u->undoList().size()).arg(u->undoList().join('/'));
    out << QStringLiteral("redo %1: %2").arg(u->redoList().size()).arg(u->redoList().join('/'));
    return out;
}

QString sampleText(QRandomGenerator& rng, int lines)
{
    static const char* const words[] = {"if (x):",    "\treturn 0;", "",          "  }",
                                        "int a = 1;", " ",           "\t\tb(c);", "{"};
    QStringList out;
    for (int i = 0; i < lines; ++i)
        out << QString::fromUtf8(words[rng.bounded(int(sizeof(words) / sizeof(words[0])))]);
    return out.join(QLatin1Char('\n'));
}

} // namespace

class TestTextBulk : public QObject
{
    Q_OBJECT

private slots:
    void randomEditsMatchLineByLine();
    void removedRunsKeepTheirText_data();
    void removedRunsKeepTheirText();
    void pastedLinesShareOneBuffer();
};

void TestTextBulk::randomEditsMatchLineByLine()
{
    const quint32 seed = 3102;
    QRandomGenerator rng(seed);
    const QString start = sampleText(rng, 60);
    Side bulk(start, true), single(start, false);

    auto compare = [&](int step, const QString& what) {
        const QStringList a = state(bulk), b = state(single);
        if (a != b)
            qWarning("seed %u, step %d: %s", seed, step, qPrintable(what));
        QCOMPARE(a, b);
    };

    const int steps = 2500;
    for (int step = 0; step < steps; ++step) {
        const int lines = bulk.doc.lastLine() + 1;
        const int l = int(rng.bounded(lines));
        const int c = int(rng.bounded(8));
        // Pasting while short, removing while long, folds in between.
        int op = int(rng.bounded(12));
        if (lines < 20 && op < 4)
            op = 4;
        else if (lines > 200 && op >= 4 && op < 6)
            op = 0;
        else if (op >= 10)
            op = 6 + (op - 10); // folds twice as often
        QString what;
        if (op <= 1) {
            // A stream selection over several lines, removed and read back.
            const int l2 = qMin(lines - 1, l + int(rng.bounded(40)));
            const QRect r(QPoint(c, l), QPoint(int(rng.bounded(8)), l2));
            const auto cmd = TextDocument::SelectionCommand(TextDocument::SelectionText |
                                                            TextDocument::SelectionRemove);
            const QString a =
                bulk.run([&](Side& s) { return s.doc.selectionCommand(cmd, r, false); });
            const QString b =
                single.run([&](Side& s) { return s.doc.selectionCommand(cmd, r, false); });
            QCOMPARE(a, b);
            what =
                QStringLiteral("remove selection %1,%2-%3,%4").arg(c).arg(l).arg(r.right()).arg(l2);
        } else if (op <= 3) {
            const int l2 = qMin(lines - 1, l + int(rng.bounded(30)));
            const int c2 = int(rng.bounded(8));
            for (Side* s : {&bulk, &single})
                s->run([&](Side& x) { x.doc.removeText(l2, c2, l, c); });
            what = QStringLiteral("removeText %1,%2 %3,%4").arg(l).arg(c).arg(l2).arg(c2);
        } else if (op <= 5) {
            // A paste, with tabs expanded or kept, in the middle or at the end
            // of a line.
            const QString text = sampleText(rng, 2 + int(rng.bounded(40)));
            const bool saveTab = rng.bounded(3) == 0;
            const int tab = 1 + int(rng.bounded(8));
            for (Side* s : {&bulk, &single}) {
                s->run([&](Side& x) {
                    x.m.fSaveTab = saveTab;
                    x.doc.setSpacesInTab(tab);
                    x.view.place(l, c);
                    x.doc.insert(text, 0, 0);
                });
            }
            what = QStringLiteral("paste at %1,%2").arg(l).arg(c);
            if (op == 5) {
                // Folds in and around the pasted lines, some closed, then
                // the paste undone: its lines go with their folds.
                const int n = int(text.count(QLatin1Char('\n')));
                for (int k = 0; k < 4; ++k) {
                    const int a = qMax(0, l - 2 + int(rng.bounded(n + 3)));
                    const int b = a + 1 + int(rng.bounded(n + 1));
                    const bool open = rng.bounded(3) == 0;
                    for (Side* s : {&bulk, &single}) {
                        s->run([&](Side& x) {
                            if (x.doc.folding()->createFold(a, b) && open)
                                x.doc.folding()->openFold(a);
                        });
                    }
                    what +=
                        QStringLiteral(", fold %1-%2%3").arg(a).arg(b).arg(open ? "" : " closed");
                }
                compare(step, what);
                for (Side* s : {&bulk, &single})
                    s->run([](Side& x) { x.doc.undoStack()->undo(); });
                what += QStringLiteral(", undone");
            }
        } else if (op == 6) {
            // A few folds, nested or side by side, made closed.
            QString folds;
            for (int k = int(rng.bounded(5)); k > 0; --k) {
                const int a = int(rng.bounded(lines)), b = a + 1 + int(rng.bounded(12));
                for (Side* s : {&bulk, &single})
                    s->run([&](Side& x) { x.doc.folding()->createFold(a, b); });
                folds += QStringLiteral(" %1-%2").arg(a).arg(b);
            }
            what = QStringLiteral("createFold") + folds;
        } else if (op == 7) {
            const int kind = int(rng.bounded(7));
            for (Side* s : {&bulk, &single}) {
                s->run([&](Side& x) {
                    TextFolding* f = x.doc.folding();
                    if (kind == 0 || kind > 4)
                        f->closeFold(l);
                    else if (kind == 1)
                        f->openFold(l);
                    else if (kind == 2)
                        f->removeFold(l);
                    else if (kind == 3)
                        f->toggleFold(l);
                    else
                        f->setFolderstState(f->foldersState());
                });
            }
            what = QStringLiteral("fold op %1 at %2").arg(kind).arg(l);
        } else {
            // Undo or redo a few steps: the bulk commands replay too.
            const bool undo = op == 8;
            const int k = 1 + int(rng.bounded(3));
            for (Side* s : {&bulk, &single}) {
                s->run([&](Side& x) {
                    if (undo)
                        x.doc.undoStack()->undo(k);
                    else
                        x.doc.undoStack()->redo(k);
                });
            }
            what = QStringLiteral("%1 %2").arg(undo ? "undo" : "redo").arg(k);
        }
        compare(step, what);

        if (step % 500 == 499 || step == steps - 1) {
            // Undo everything step by step, then redo everything.
            while (bulk.doc.undoStack()->canUndo()) {
                for (Side* s : {&bulk, &single})
                    s->run([](Side& x) { x.doc.undoStack()->undo(); });
                compare(step, QStringLiteral("undo-all"));
            }
            QVERIFY(!single.doc.undoStack()->canUndo());
            while (bulk.doc.undoStack()->canRedo()) {
                for (Side* s : {&bulk, &single})
                    s->run([](Side& x) { x.doc.undoStack()->redo(); });
                compare(step, QStringLiteral("redo-all"));
            }
            QVERIFY(!single.doc.undoStack()->canRedo());
        }
    }
}

// Removing a run of untouched lines may keep their text as the stretch of
// the buffer they were loaded from; what comes back must be the same lines,
// whatever the run's ends and the file's line terminators.
void TestTextBulk::removedRunsKeepTheirText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");

    const QString plain = QStringLiteral("a\nbb\n\nccc\n\nd\n\ne\n");
    QTest::newRow("all but the ends") << plain << 0 << 7;
    QTest::newRow("empty lines at both ends of the run") << plain << 1 << 6;
    QTest::newRow("only empty lines") << QStringLiteral("a\n\n\n\nb") << 0 << 4;
    QTest::newRow("a small part of the buffer") << plain << 2 << 4;
    QTest::newRow("crlf terminators") << QStringLiteral("a\r\nbb\r\n\r\nccc\r\nd") << 0 << 4;
    QTest::newRow("a closing line without text") << QStringLiteral("x\ny\n\n\n") << 0 << 3;
}

void TestTextBulk::removedRunsKeepTheirText()
{
    QFETCH(QString, text);
    QFETCH(int, first);
    QFETCH(int, last);
    Side bulk(text, true), single(text, false);
    const QStringList loaded = state(single);
    QCOMPARE(state(bulk), loaded);
    const QRect r(QPoint(1, first), QPoint(0, last));
    const auto cmd =
        TextDocument::SelectionCommand(TextDocument::SelectionText | TextDocument::SelectionRemove);
    const QString a = bulk.run([&](Side& s) { return s.doc.selectionCommand(cmd, r, false); });
    const QString b = single.run([&](Side& s) { return s.doc.selectionCommand(cmd, r, false); });
    QCOMPARE(a, b);
    const QStringList removed = state(single);
    QCOMPARE(state(bulk), removed);
    // Twice round, so that the second removal runs on the lines the first
    // undo made.
    for (int round = 0; round < 2; ++round) {
        for (Side* s : {&bulk, &single})
            s->run([](Side& x) { x.doc.undoStack()->undo(); });
        QCOMPARE(state(bulk), state(single));
        QCOMPARE(bulk.doc.text(), single.doc.text());
        for (Side* s : {&bulk, &single})
            s->run([](Side& x) { x.doc.undoStack()->redo(); });
        QCOMPARE(state(bulk), removed);
        QCOMPARE(state(single), removed);
    }
    // The lines that come back can be edited without touching each other.
    for (Side* s : {&bulk, &single}) {
        s->run([](Side& x) {
            x.doc.undoStack()->undo();
            for (int i = 0; i <= x.doc.lastLine(); ++i)
                x.doc.cmdInsert(i, int(x.doc.lineOf(i)->size()), QStringLiteral("+"));
        });
    }
    QCOMPARE(bulk.doc.text(), single.doc.text());
}

// The bulk command is what a paste uses: its lines are slices of one buffer
// (the single-line commands give each line storage of its own).
void TestTextBulk::pastedLinesShareOneBuffer()
{
    for (const bool on : {true, false}) {
        Side s(QStringLiteral("head"), on);
        s.run([](Side& x) {
            x.view.place(0, 4);
            x.doc.insert(QStringLiteral("\nalpha\nbeta\ngamma"), 0, 0);
        });
        QCOMPARE(s.doc.text(), QStringLiteral("head\nalpha\nbeta\ngamma"));
        const TextLine* alpha = s.doc.lineOf(1);
        const TextLine* beta = s.doc.lineOf(2);
        QCOMPARE(beta->constData() == alpha->constData() + alpha->size() + 1, on);
    }
}

QTEST_MAIN(TestTextBulk)
#include "tst_textbulk.moc"

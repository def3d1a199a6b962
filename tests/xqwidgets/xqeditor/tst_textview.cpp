// The text view with its caret and margins, driven as a user drives it:
// real widgets shown offscreen, keys through QTest, pixels read from grabs.

#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/editormargins.h"
#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/highlight_p.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textfolding.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include "layoutcheck.h"
#include "screencheck.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QLayout>
#include <QPaintEvent>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

using namespace xqwidgets;

namespace
{

// A monospace font, so that pixel positions are columns times one advance.
QFont testFont()
{
    QFont f(QStringLiteral("DejaVu Sans Mono"));
    f.setPixelSize(13);
    return f;
}

// Records the areas the view actually repaints.
class PaintSpy : public QObject
{
public:
    QRegion painted;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};

struct Keys {
    // A sequence such as "Home S-End C-Right x Return": named keys with
    // optional S- (Shift) and C- (Ctrl) prefixes; anything else is typed.
    static void send(QWidget* w, const QString& seq)
    {
        static const QHash<QString, Qt::Key> names = {
            {"Left", Qt::Key_Left},       {"Right", Qt::Key_Right},   {"Up", Qt::Key_Up},
            {"Down", Qt::Key_Down},       {"Home", Qt::Key_Home},     {"End", Qt::Key_End},
            {"PgUp", Qt::Key_PageUp},     {"PgDn", Qt::Key_PageDown}, {"Return", Qt::Key_Return},
            {"Bksp", Qt::Key_Backspace},  {"Del", Qt::Key_Delete},    {"Tab", Qt::Key_Tab},
            {"Backtab", Qt::Key_Backtab}, {"Ins", Qt::Key_Insert},    {"Esc", Qt::Key_Escape},
        };
        for (QString tok : seq.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            Qt::KeyboardModifiers mods;
            while (tok.size() > 2 && tok.at(1) == QLatin1Char('-')) {
                mods |= tok.at(0) == QLatin1Char('S') ? Qt::ShiftModifier : Qt::ControlModifier;
                tok = tok.mid(2);
            }
            if (names.contains(tok))
                QTest::keyClick(w, names.value(tok), mods);
            else if (tok == QLatin1String("Space"))
                QTest::keyClick(w, Qt::Key_Space, mods, ' ');
            else
                QTest::keyClicks(w, tok, mods);
        }
    }
};

QStringList linesOf(const TextDocument* doc)
{
    QStringList out;
    for (int i = 0; i <= doc->lastLine(); ++i)
        out << QString(*doc->lineOf(i));
    return out;
}

} // namespace

class TestTextView : public QObject
{
    Q_OBJECT

    TextEditorManager* m = nullptr;
    TextEditor* e = nullptr;

    TextView* view() const { return e->view(); }
    TextDocument* doc() const { return e->document(); }
    int adv() const { return m->fontData(0).width; }
    int lh() const { return view()->lineHeight(); }

    // A shown, focused editor on `text`, with the view `w` x `h` pixels.
    void open(const QString& text, int w = 400, int h = 200, const QString& hl = QString())
    {
        delete e;
        e = m->createEditor(nullptr, nullptr);
        if (!hl.isEmpty())
            view()->setHighlight(hl);
        doc()->loadText(text);
        e->show();
        QVERIFY(QTest::qWaitForWindowExposed(e));
        // Size the frame so that the view itself gets the wanted size; a
        // scroll bar appearing or going with the new size changes the view's
        // share, so repeat until it settles.
        for (int i = 0; i < 4 && view()->size() != QSize(w, h); ++i) {
            e->resize(e->width() + w - view()->width(), e->height() + h - view()->height());
            QTest::qWait(0);
        }
        QApplication::setActiveWindow(e);
        view()->setFocus();
        QTest::qWait(0);
        QCOMPARE(view()->size(), QSize(w, h));
        // Idle colouring, which starts a moment after a load, has ended:
        // what a test does next is all that changes the view.
        QTRY_VERIFY(!doc()->highlightPending());
    }

    QColor pixelAt(int x, int y) { return view()->grab().toImage().pixelColor(x, y); }

    // Whether some pixel of the row band (y..y+lh) in x0..x1 has colour c.
    bool rowHas(const QImage& img, int y, int x0, int x1, const QColor& c)
    {
        for (int yy = y; yy < y + lh() && yy < img.height(); ++yy)
            for (int x = qMax(0, x0); x < x1 && x < img.width(); ++x)
                if (img.pixelColor(x, yy) == c)
                    return true;
        return false;
    }

private slots:
    void initTestCase()
    {
        m = new TextEditorManager;
        m->setFont(testFont());
        QVERIFY2(m->fontData(0).width > 0, "the test font must be fixed-pitch");
        QCOMPARE(m->fontData(2).width, m->fontData(0).width);
    }

    void cleanupTestCase()
    {
        delete e;
        e = nullptr;
        delete m;
    }

    void init()
    {
        m->fCursorWrap = false;
        m->fSmartHome = true;
        m->fOvr = false;
        m->fAutoIndent = true;
        m->fSaveTab = true;
        m->fVerticalSelection = false;
        m->fIndentationGuides = false;
        m->currentLineColor = QColor();
        m->setLineWrap(false);
    }

    // --- Metrics, words and HTML -------------------------------------------------

    void metrics()
    {
        open(QStringLiteral("abc\tx\n\tab\nhello world"));
        const int a = adv();
        const int tabs = view()->tabsWidth();
        QCOMPARE(tabs, doc()->spacesInTab() * view()->spaceWidth());
        // Tabs advance to the next stop; columns past the end count blanks.
        QCOMPARE(doc()->textWidth(0, 3), 3 * a);
        QCOMPARE(doc()->textWidth(0, 4), tabs);
        QCOMPARE(doc()->textWidth(0, 5), tabs + a);
        QCOMPARE(doc()->textWidth(0, 7), tabs + 3 * a);
        QCOMPARE(doc()->textWidth(1, 1), tabs);
        // The column under a pixel: a right edge belongs to its character.
        QCOMPARE(doc()->textLength(0, 0), 0);
        QCOMPARE(doc()->textLength(0, -5), 0);
        QCOMPARE(doc()->textLength(0, 1), 0);
        QCOMPARE(doc()->textLength(0, a), 0);
        QCOMPARE(doc()->textLength(0, a + 1), 1);
        QCOMPARE(doc()->textLength(0, 3 * a + 1), 3);
        QCOMPARE(doc()->textLength(0, tabs), 3);
        QCOMPARE(doc()->textLength(0, tabs + 1), 4);
        QCOMPARE(doc()->textLength(0, 100000), 5);
        QCOMPARE(doc()->textLength(0), 5);
        QCOMPARE(doc()->documentHeight(), 3 * lh());

        // Wrapping: character mode, word mode, the 30 px floor, progress.
        const int w = 4 * a;
        QCOMPARE(doc()->nextWrapPos(2, w, 0), 4);     // "hell|o world"
        QCOMPARE(doc()->nextWrapPos(2, w + 1, 0), 4); // the overflowing one starts the next
        QCOMPARE(doc()->nextWrapPos(2, 10, 0), doc()->nextWrapPos(2, 30, 0));
        doc()->setWrapMode(TextDocument::wrapWord);
        QCOMPARE(doc()->nextWrapPos(2, 8 * a, 0), 5); // breaks at the blank
        QCOMPARE(doc()->nextWrapPos(2, 4 * a, 0), 4); // no blank yet: by width
        QCOMPARE(doc()->nextWrapPos(2, 4 * a, 5), 9); // a blank at start is no break
        doc()->setWrapMode(TextDocument::wrapLine);
        QVERIFY(doc()->nextWrapPos(1, 30, 0) >= 1); // a wide tab still advances
        QCOMPARE(doc()->nextWrapPos(2, 100000, 0), 11);
    }

    void words()
    {
        open(QStringLiteral("foo+=bar  $x_1\n"));
        int from = -1, to = -1;
        QCOMPARE(doc()->wordIn(0, 6, &from, &to), QStringLiteral("bar"));
        QCOMPARE(from, 5);
        QCOMPARE(to, 8);
        QCOMPARE(doc()->wordIn(0, 3, &from, &to), QStringLiteral("+="));
        QCOMPARE(doc()->wordIn(0, 4, &from, &to), QStringLiteral("+="));
        QVERIFY(doc()->wordIn(0, 8, &from, &to).isNull());
        QCOMPARE(from, 8);
        QCOMPARE(to, 8);
        QCOMPARE(doc()->wordIn(QPoint(11, 0)), QStringLiteral("$x_1"));
        QVERIFY(doc()->wordIn(0, 99).isNull());

        view()->setCursorPosition(0, 0, false);
        QVERIFY(doc()->currentWord().isNull());
        view()->setCursorPosition(0, 7, false);
        QCOMPARE(doc()->currentWord(), QStringLiteral("bar"));
        doc()->replaceCurrentWord(QStringLiteral("quux"));
        QCOMPARE(QString(*doc()->lineOf(0)), QStringLiteral("foo+=quux  $x_1"));
        QCOMPARE(e->column(), 9);
        doc()->undoStack()->undo();
        QCOMPARE(QString(*doc()->lineOf(0)), QStringLiteral("foo+=bar  $x_1"));
    }

    void htmlEscapes()
    {
        // Markup in the text prints as written.
        open(QStringLiteral("a<b && c>d\tz &lt;"));
        const QString h = doc()->html(0);
        QVERIFY2(h.contains(QStringLiteral("a&lt;b &amp;&amp; c&gt;d")), qPrintable(h));
        QVERIFY2(h.contains(QStringLiteral("&amp;lt;")), qPrintable(h));
        QVERIFY(!h.contains(QLatin1Char('\t')));
        QVERIFY(h.startsWith(QStringLiteral("<font color=\"#")));
        QVERIFY(doc()->html(0).count(QStringLiteral("<font")) >= 1);
        open(QString());
        QCOMPARE(doc()->html(0), QString());
    }

    // --- Layout and coordinates ----------------------------------------------------

    void layoutRowsIndent_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("shift");
        const int a = adv();
        // Continuation rows are indented like the line, unless that leaves
        // less than 100 px or a quarter of the view.
        QTest::newRow("small indent") << QString(4, ' ') + QString(100, 'y') << 4 * a;
        QTest::newRow("none") << QString(100, 'y') << 0;
        QTest::newRow("heavy indent") << QString(40, ' ') + QString(100, 'y') << 16;
    }

    void layoutRowsIndent()
    {
        QFETCH(QString, text);
        QFETCH(int, shift);
        m->setLineWrap(true);
        open(text + "\n\nlast");
        view()->updateLinesList();
        const VisibleLine* r1 = view()->visibleLine(1);
        QVERIFY(r1);
        QCOMPARE(r1->line, 0);
        QCOMPARE(r1->xShift, shift);
        // The empty line is one row {line, 0, 1, 0}.
        int k = 0;
        while (view()->visibleLine(k) && view()->visibleLine(k)->line == 0)
            ++k;
        const VisibleLine* empty = view()->visibleLine(k);
        QVERIFY(empty);
        QCOMPARE(empty->line, 1);
        QCOMPARE(empty->startPos, 0);
        QCOMPARE(empty->endPos, 1);
        QCOMPARE(empty->xShift, 0);
    }

    void layoutEdges()
    {
        open(QStringLiteral("a\nb\nc\nd\ne\nf"));
        // A fold hides its lines: they take no row.
        QVERIFY(doc()->folding()->createFold(1, 3));
        view()->updateLinesList();
        QCOMPARE(view()->visibleLine(1)->line, 1);
        QCOMPARE(view()->visibleLine(2)->line, 4);
        // A click below the rows of a closed fold's head maps to the end of
        // its last hidden line.
        QCOMPARE(view()->screenPosToDoc(5, 50 * lh()), QPoint(1, 5));
        doc()->folding()->clearAllFolds();
        // A view of height 0 has no rows; lineNumber answers the last line.
        view()->setFixedHeight(0);
        e->layout()->activate();
        QCOMPARE(view()->height(), 0);
        view()->updateLinesList();
        QCOMPARE(view()->visibleRowCount(), 0);
        QCOMPARE(view()->lineNumber(0), doc()->lastLine());
    }

    void mapping_data()
    {
        QTest::addColumn<bool>("wrap");
        QTest::addColumn<bool>("fold");
        QTest::addColumn<QPoint>("pos");   // (column, line)
        QTest::addColumn<QPoint>("cells"); // expected x in advances (tabs as 8), y in rows

        // Lines: 0 "ab\tcd" 1 long (wraps at 400 px) 2..4 "l2".."l4" 5 "end".
        QTest::newRow("plain") << false << false << QPoint(1, 0) << QPoint(1, 0);
        QTest::newRow("after tab") << false << false << QPoint(3, 0) << QPoint(8, 0);
        QTest::newRow("on tab") << false << false << QPoint(2, 0) << QPoint(2, 0);
        QTest::newRow("past end") << false << false << QPoint(7, 0) << QPoint(12, 0);
        QTest::newRow("no wrap far") << false << false << QPoint(70, 1) << QPoint(70, 1);
        QTest::newRow("wrapped 2nd row") << true << false << QPoint(70, 1) << QPoint(-1, 2);
        QTest::newRow("below wrapped") << true << false << QPoint(0, 2) << QPoint(0, 3);
        QTest::newRow("folded hidden") << false << true << QPoint(1, 3) << QPoint(1, 2);
        QTest::newRow("below fold") << false << true << QPoint(2, 5) << QPoint(2, 3);
        QTest::newRow("wrap and fold") << true << true << QPoint(0, 5) << QPoint(0, 4);
    }

    void mapping()
    {
        QFETCH(bool, wrap);
        QFETCH(bool, fold);
        QFETCH(QPoint, pos);
        QFETCH(QPoint, cells);
        m->setLineWrap(wrap);
        open(QStringLiteral("ab\tcd\n") + QString(80, QLatin1Char('w')) + "\nl2\nl3\nl4\nend");
        if (fold)
            QVERIFY(doc()->folding()->createFold(2, 4));
        view()->updateLinesList();
        const int a = adv();
        const QPoint p = view()->docPosToScreen(pos);
        QCOMPARE(p.y(), cells.y() * lh());
        if (cells.x() >= 0) {
            QCOMPARE(p.x(), cells.x() * a);
        } else {
            // On a continuation row: the column's offset within the row.
            const VisibleLine* row = view()->visibleLine(cells.y());
            QVERIFY(row);
            QCOMPARE(p.x(), (pos.x() - row->startPos) * a + row->xShift);
        }
        // And back: the middle of the character maps to its column (a
        // hidden line maps onto its fold's head).
        const QPoint back = view()->screenPosToDoc(p.x() + a / 2, p.y() + 1);
        if (fold && pos.y() >= 2 && pos.y() <= 4)
            QCOMPARE(back.y(), 2);
        else if (pos.x() <= doc()->textLength(pos.y()))
            QCOMPARE(back, pos);
        else
            QCOMPARE(back, QPoint(doc()->textLength(pos.y()), pos.y()));
    }

    // --- Keys ----------------------------------------------------------------------

    void keys_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("start"); // (column, line)
        QTest::addColumn<QString>(
            "opts"); // w = cursor wrap, W = word wrap, f = fold 2..3, s = no smart home
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QPoint>("caret");
        QTest::addColumn<QString>("result"); // the text after the keys; empty: unchanged

        const QString t = "    foo\nfoo  bar\nab\ncd\nlong line here\n\tx";
        QTest::newRow("smart home") << t << QPoint(6, 0) << ""
                                    << "Home" << QPoint(4, 0) << "";
        QTest::newRow("smart home twice") << t << QPoint(6, 0) << ""
                                          << "Home Home" << QPoint(0, 0) << "";
        QTest::newRow("smart home thrice") << t << QPoint(6, 0) << ""
                                           << "Home Home Home" << QPoint(4, 0) << "";
        QTest::newRow("plain home") << t << QPoint(6, 0) << "s"
                                    << "Home Home" << QPoint(0, 0) << "";
        QTest::newRow("end") << t << QPoint(0, 1) << ""
                             << "End" << QPoint(8, 1) << "";
        QTest::newRow("right past end") << t << QPoint(8, 1) << ""
                                        << "Right" << QPoint(9, 1) << "";
        QTest::newRow("right wraps") << t << QPoint(8, 1) << "w"
                                     << "Right" << QPoint(0, 2) << "";
        QTest::newRow("left wraps") << t << QPoint(0, 2) << "w"
                                    << "Left" << QPoint(8, 1) << "";
        QTest::newRow("left at start") << t << QPoint(0, 0) << "w"
                                       << "Left C-Left" << QPoint(0, 0) << "";
        QTest::newRow("word right") << t << QPoint(0, 1) << ""
                                    << "C-Right" << QPoint(5, 1) << "";
        QTest::newRow("word right 2") << t << QPoint(5, 1) << ""
                                      << "C-Right" << QPoint(8, 1) << "";
        QTest::newRow("word right eol") << t << QPoint(8, 1) << ""
                                        << "C-Right" << QPoint(0, 2) << "";
        QTest::newRow("word left") << t << QPoint(8, 1) << ""
                                   << "C-Left" << QPoint(5, 1) << "";
        QTest::newRow("word left 2") << t << QPoint(5, 1) << ""
                                     << "C-Left" << QPoint(0, 1) << "";
        QTest::newRow("word left bol") << t << QPoint(0, 2) << ""
                                       << "C-Left" << QPoint(8, 1) << "";
        QTest::newRow("wanted column") << t << QPoint(10, 4) << ""
                                       << "Up" << QPoint(2, 3) << "";
        QTest::newRow("wanted kept") << "long line here\nab\nlong line here" << QPoint(10, 0) << ""
                                     << "Down Down" << QPoint(10, 2) << "";
        QTest::newRow("wanted tab") << t << QPoint(9, 4) << ""
                                    << "Down" << QPoint(2, 5) << "";
        QTest::newRow("up top") << t << QPoint(3, 0) << ""
                                << "Up" << QPoint(3, 0) << "";
        QTest::newRow("ctrl home end") << t << QPoint(3, 2) << ""
                                       << "C-End" << QPoint(2, 5) << "";
        QTest::newRow("ctrl home") << t << QPoint(3, 2) << ""
                                   << "C-Home" << QPoint(0, 0) << "";
        QTest::newRow("fold skip down") << t << QPoint(1, 2) << "f"
                                        << "Down" << QPoint(1, 4) << "";
        QTest::newRow("fold skip up") << t << QPoint(1, 4) << "f"
                                      << "Up" << QPoint(1, 2) << "";
        QTest::newRow("fold skip right") << t << QPoint(2, 2) << "fw"
                                         << "Right" << QPoint(0, 4) << "";
        QTest::newRow("fold word right") << t << QPoint(2, 2) << "f"
                                         << "C-Right" << QPoint(0, 4) << "";
        QTest::newRow("wrap mode down") << t << QPoint(2, 3) << "W"
                                        << "Down" << QPoint(2, 4) << "";
        QTest::newRow("type") << "ab" << QPoint(1, 0) << ""
                              << "xy" << QPoint(3, 0) << "axyb";
        QTest::newRow("type wrap+fold") << t << QPoint(0, 4) << "fW"
                                        << "Z" << QPoint(1, 4) << "";
        QTest::newRow("overwrite") << "abcd" << QPoint(1, 0) << ""
                                   << "Ins x Ins" << QPoint(2, 0) << "axcd";
        QTest::newRow("backspace") << "abcd" << QPoint(2, 0) << ""
                                   << "Bksp" << QPoint(1, 0) << "acd";
        QTest::newRow("delete") << "abcd" << QPoint(1, 0) << ""
                                << "Del" << QPoint(1, 0) << "acd";
        QTest::newRow("return") << "abcd" << QPoint(2, 0) << ""
                                << "Return" << QPoint(0, 1) << "ab\ncd";
        QTest::newRow("select replace") << "abcd" << QPoint(0, 0) << ""
                                        << "S-Right S-Right z" << QPoint(1, 0) << "zcd";
        QTest::newRow("select backspace") << "abcd" << QPoint(4, 0) << ""
                                          << "S-Home Bksp" << QPoint(0, 0) << "";
        QTest::newRow("tab in line sel") << "abcd" << QPoint(0, 0) << ""
                                         << "S-Right Tab" << QPoint(1, 0) << "\tbcd";
        QTest::newRow("tab indents lines") << "ab\ncd" << QPoint(0, 0) << ""
                                           << "S-Down Tab" << QPoint(-1, -1) << "";
        QTest::newRow("page down") << QString("l\n").repeated(60) << QPoint(0, 0) << ""
                                   << "PgDn" << QPoint(0, -2) << "";
        QTest::newRow("ctrl down pages") << QString("l\n").repeated(60) << QPoint(0, 0) << "f"
                                         << "C-Down" << QPoint(0, -2) << "";
        QTest::newRow("page up stops") << QString("l\n").repeated(60) << QPoint(0, 3) << ""
                                       << "PgUp" << QPoint(0, 0) << "";
        QTest::newRow("escape") << "abcd" << QPoint(0, 0) << ""
                                << "S-End Esc x" << QPoint(5, 0) << "abcdx";
    }

    void keys()
    {
        QFETCH(QString, text);
        QFETCH(QPoint, start);
        QFETCH(QString, opts);
        QFETCH(QString, keys);
        QFETCH(QPoint, caret);
        QFETCH(QString, result);
        m->fCursorWrap = opts.contains('w');
        m->fSmartHome = !opts.contains('s');
        m->setLineWrap(opts.contains('W'));
        open(text);
        if (opts.contains('f'))
            QVERIFY(doc()->folding()->createFold(2, 3));
        view()->setCursorPosition(start.y(), start.x(), false);
        Keys::send(view(), keys);
        if (caret == QPoint(0, -2)) {
            // One page: the view's height in rows, folded lines counted.
            const int page = view()->height() / lh();
            QCOMPARE(e->line(), page);
        } else if (caret != QPoint(-1, -1)) {
            QCOMPARE(QPoint(e->column(), e->line()), caret);
        }
        if (!result.isEmpty())
            QCOMPARE(linesOf(doc()).join('\n'), result);
        if (QTest::currentDataTag() == QLatin1String("select backspace"))
            QCOMPARE(linesOf(doc()).join('\n'), QString());
        if (QTest::currentDataTag() == QLatin1String("tab indents lines")) {
            QVERIFY(doc()->lineOf(0)->startsWith(QLatin1Char(' ')) ||
                    doc()->lineOf(0)->startsWith('\t'));
            QCOMPARE(QString(*doc()->lineOf(1)),
                     QStringLiteral("cd")); // the selection ends before it
        }
        if (QTest::currentDataTag() == QLatin1String("overwrite"))
            QVERIFY(!m->fOvr);
    }

    // A read-only document (one with undecodable bytes, say) keeps its text
    // under typing, pasting and deleting; movement still works.
    void readOnlyIgnoresTyping()
    {
        open(QStringLiteral("keep\nthis"));
        doc()->setReadOnly(true);
        QApplication::clipboard()->setText(QStringLiteral("pasted"));
        QTest::keyClicks(view(), QStringLiteral("xyz"));
        QTest::keyClick(view(), Qt::Key_Return);
        QTest::keyClick(view(), Qt::Key_Delete);
        QTest::keyClick(view(), Qt::Key_Tab);
        QTest::keyClick(view(), Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(view(), Qt::Key_Right);
        QTest::keyClick(view(), Qt::Key_Backspace);
        QCOMPARE(doc()->text(), QStringLiteral("keep\nthis"));
        QVERIFY(!doc()->isModified());
        int line = -1, col = -1;
        view()->cursorPosition(line, col);
        QCOMPARE(QPoint(col, line), QPoint(1, 0));
    }

    // Keys after which the selection must go on from where the user left it
    // and no character beyond U+FFFF (two UTF-16 units) is split: the caret
    // never stands between its halves and one key removes it whole (a lone
    // half would make every save fail). `selection` is the selected range
    // afterwards, from its first point to its last, or none.
    void keysKeepSelectionAndCharacters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("start"); // (column, line)
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QPoint>("caret");
        QTest::addColumn<QRect>("selection");
        QTest::addColumn<QString>("result"); // the text after the keys

        const QRect none(QPoint(0, 0), QPoint(0, 0));
        auto from = [](int c1, int l1, int c2, int l2) {
            return QRect(QPoint(c1, l1), QPoint(c2, l2));
        };
        const QString l = "l0\nl1\nl2\nl3\nl4\nl5\nl6";
        QTest::newRow("tab then extend down")
            << l << QPoint(0, 2) << "S-Down S-Down Tab S-Down" << QPoint(0, 5) << from(0, 2, 0, 5)
            << "l0\nl1\n\tl2\n\tl3\nl4\nl5\nl6";
        QTest::newRow("tab then extend, tab again")
            << l << QPoint(0, 2) << "S-Down S-Down Tab S-Down Tab" << QPoint(0, 5)
            << from(0, 2, 0, 5) << "l0\nl1\n\t\tl2\n\t\tl3\n\tl4\nl5\nl6";
        QTest::newRow("tab then extend up")
            << l << QPoint(0, 4) << "S-Up S-Up Tab S-Up" << QPoint(0, 1) << from(0, 1, 0, 4)
            << "l0\nl1\n\tl2\n\tl3\nl4\nl5\nl6";
        QTest::newRow("backtab then extend down")
            << "l0\nl1\n\tl2\n\tl3\nl4\nl5" << QPoint(0, 2) << "S-Down S-Down Backtab S-Down"
            << QPoint(0, 5) << from(0, 2, 0, 5) << "l0\nl1\nl2\nl3\nl4\nl5";
        QTest::newRow("backtab then delete")
            << "l0\nl1\n\tl2\n\tl3\nl4" << QPoint(0, 2) << "S-Down Backtab S-Right Del"
            << QPoint(0, 2) << none << "l0\nl1\nl3\nl4";

        const QString e = QStringLiteral("a\U0001F600b"); // a, two units, b
        QTest::newRow("right over pair")
            << e << QPoint(1, 0) << "Right" << QPoint(3, 0) << none << e;
        QTest::newRow("left over pair") << e << QPoint(3, 0) << "Left" << QPoint(1, 0) << none << e;
        QTest::newRow("backspace pair")
            << e << QPoint(3, 0) << "Bksp" << QPoint(1, 0) << none << "ab";
        QTest::newRow("delete pair") << e << QPoint(1, 0) << "Del" << QPoint(1, 0) << none << "ab";
        QTest::newRow("overwrite pair")
            << e << QPoint(1, 0) << "Ins x Ins" << QPoint(2, 0) << none << "axb";
        QTest::newRow("select right over pair")
            << e << QPoint(1, 0) << "S-Right" << QPoint(3, 0) << from(1, 0, 3, 0) << e;
        QTest::newRow("select left over pair, remove")
            << e << QPoint(3, 0) << "S-Left Bksp" << QPoint(1, 0) << none << "ab";
        QTest::newRow("down into pair")
            << "abc\n" + e << QPoint(2, 0) << "Down" << QPoint(1, 1) << none << "abc\n" + e;
        QTest::newRow("select down into pair") << "abc\n" + e << QPoint(2, 0) << "S-Down"
                                               << QPoint(1, 1) << from(2, 0, 1, 1) << "abc\n" + e;
        QTest::newRow("word right, select back over pair")
            << QStringLiteral("x\U0001F600 y") << QPoint(0, 0) << "C-Right S-Left S-Left"
            << QPoint(1, 0) << from(1, 0, 4, 0) << QStringLiteral("x\U0001F600 y");
        QTest::newRow("end, backspace twice")
            << QStringLiteral("\U0001F600\U0001F601") << QPoint(0, 0) << "End Bksp Bksp"
            << QPoint(0, 0) << none << "";
        // A lone half from the file is a character of its own.
        QTest::newRow("lone half") << QString("a") + QChar(0xD83D) + "b" << QPoint(1, 0)
                                   << "Right Bksp" << QPoint(1, 0) << none << "ab";
    }

    void keysKeepSelectionAndCharacters()
    {
        QFETCH(QString, text);
        QFETCH(QPoint, start);
        QFETCH(QString, keys);
        QFETCH(QPoint, caret);
        QFETCH(QRect, selection);
        QFETCH(QString, result);
        open(text);
        view()->setCursorPosition(start.y(), start.x(), false);
        Keys::send(view(), keys);
        QCOMPARE(QPoint(e->column(), e->line()), caret);
        if (selection.topLeft() == selection.bottomRight())
            QVERIFY(!view()->hasSelection());
        else
            QCOMPARE(view()->selection(), selection);
        QCOMPARE(linesOf(doc()).join('\n'), result);
    }

    // A long line of tabs keeps its tab stops per block of characters (in
    // pixels, for a face of varying widths, where a character's width also
    // depends on its colouring) and an edit drops the blocks from the one it
    // touched on. Whatever keys change the line, near its end, in its middle
    // or at a block's edge, and whatever they change the colours of before
    // them, widths, columns under pixels and the caret's place are those of
    // a walk from the line's start.
    void longLineTabStopsFollowEdits_data()
    {
        QTest::addColumn<bool>("varying");
        QTest::newRow("one advance") << false;
        QTest::newRow("varying widths, coloured") << true;
    }

    void longLineTabStopsFollowEdits()
    {
        QFETCH(bool, varying);
        m->fAutoIndent = false;
        if (varying) {
            QFont f(QStringLiteral("DejaVu Sans"));
            f.setPixelSize(20);
            m->setFont(f);
            // Bold keywords are wider than the rest.
            QVERIFY(m->width(2, QChar(u'i')) > m->width(0, QChar(u'i')));
        }
        const int tabWidth = m->tabWidth();
        const auto restore = qScopeGuard([&] {
            m->setFont(testFont());
            m->setTabWidth(tabWidth);
        });
        open(QString("\tx;").repeated(5000) + "\nab", 400, 200,
             varying ? QStringLiteral("C++") : QString());
        QCOMPARE(m->fontData(0).width < 0, varying);
        auto walk = [&](int col) {
            const TextLine* l = doc()->lineOf(0);
            const int u = adv();
            const int stop = view()->tabsWidth();
            int x = 0;
            for (int i = 0; i < col && i < l->size(); ++i) {
                const QChar c = l->at(i);
                if (c == u'\t') {
                    x += stop - x % stop;
                } else if (!varying) {
                    x += u;
                } else {
                    const TextAttribute* a = view()->highlighting()->attribute(l->attribute(i));
                    x += m->width(a ? a->fontType : 0, c);
                }
            }
            return x;
        };
        auto check = [&](const char* step) {
            const int n = doc()->textLength(0);
            doc()->textWidth(0, n); // coloured, for the walk
            for (int col : {0, 1, 4095, 4096, 4097, 8191, 8192, 8193, n / 2, n - 1, n}) {
                if (col > n)
                    continue;
                const int x = walk(col);
                QVERIFY2(doc()->textWidth(0, col) == x, step);
                // The pixel just right of column col's left edge lies in it.
                if (col < n)
                    QVERIFY2(doc()->textLength(0, x + 1) == col, step);
            }
            // The document's width is counted in cells of one advance.
            if (!varying)
                QVERIFY2(doc()->documentWidth() == walk(n), step);
            if (e->line() == 0) {
                QVERIFY2(view()->caretRect().left() == walk(e->column()) - view()->contentsX(),
                         step);
            }
        };
        check("opened");
        Keys::send(view(), "C-Home End x y z");
        check("typed at the end");
        Keys::send(view(), "Bksp Bksp Tab");
        check("backspace and a tab at the end");
        Keys::send(view(), "i f");
        check("a keyword at the end");
        view()->setCursorPosition(0, 4096, false);
        Keys::send(view(), "q Tab");
        check("typed at a block's start");
        // ";i" + "\t" with the caret before the tab at the block's start:
        // the "f" typed there makes the "i" before it a keyword.
        view()->setCursorPosition(0, 4095, false);
        Keys::send(view(), "i");
        check("typed before a block's start");
        Keys::send(view(), "f");
        check("a keyword made across a block's start");
        view()->setCursorPosition(0, 6001, false);
        Keys::send(view(), "Bksp Bksp Del");
        check("removed in the middle");
        view()->setCursorPosition(0, 8000, false);
        Keys::send(view(), "Return");
        check("broken in two");
        Keys::send(view(), "Bksp");
        check("joined again");
        doc()->undoStack()->undo();
        doc()->undoStack()->undo();
        check("undone");
        m->setTabWidth(3);
        check("other tab stops");
        QFont bigger = m->font();
        bigger.setPixelSize(bigger.pixelSize() + 3);
        m->setFont(bigger);
        check("another font");
    }

    // The rows a wrapped long line keeps across edits equal those of a
    // layout made afresh, whichever column an edit touched.
    void longLineRowsFollowEdits_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("by characters") << int(TextDocument::wrapLine);
        QTest::newRow("by words") << int(TextDocument::wrapWord);
    }

    void longLineRowsFollowEdits()
    {
        QFETCH(int, mode);
        m->fAutoIndent = false;
        open("  " + QString("\tx; ab cdefg").repeated(1500) + "\nend");
        doc()->setWrapMode(TextDocument::wrapMode(mode));
        doc()->setWrap(true);
        using Row = std::tuple<int, int, int, int>;
        // The rows on screen with the caret on each probed column, the view
        // scrolled from the top each time.
        auto rows = [&] {
            QList<Row> seen;
            const int n = doc()->textLength(0);
            for (int col : {0, 1, 4000, 4096, 8000, n / 2, n - 60, n}) {
                view()->setCursorPosition(0, 0, false);
                view()->setCursorPosition(0, qMin(col, n), false);
                view()->updateLinesList();
                const int first = view()->firstVisibleKey();
                for (int k = first; k < first + view()->visibleRowCount(); ++k) {
                    if (const VisibleLine* r = view()->visibleLine(k))
                        seen.append({r->line, r->startPos, r->endPos, r->xShift});
                }
            }
            return seen;
        };
        auto check = [&](const char* step) {
            const QList<Row> kept = rows();
            // Fonts changing make every row afresh.
            view()->updateFontData();
            QVERIFY2(rows() == kept, step);
        };
        // The rows up to the end are made before the first edit.
        Keys::send(view(), "C-End Up End");
        check("opened");
        Keys::send(view(), "x y Bksp");
        check("typed at the end");
        Keys::send(view(), "Return Bksp");
        check("broken and joined at the end");
        view()->setCursorPosition(0, 6001, false);
        Keys::send(view(), "Bksp Bksp Tab");
        check("changed in the middle");
        // At the end of a row made before: the row holding it and the one
        // before look at that column.
        view()->setCursorPosition(0, 4000, false);
        view()->updateLinesList();
        int rowEnd = -1;
        for (int k = view()->firstVisibleKey(); rowEnd < 0; ++k) {
            const VisibleLine* r = view()->visibleLine(k);
            QVERIFY(r);
            if (r->line == 0 && r->endPos > 4000)
                rowEnd = r->endPos;
        }
        view()->setCursorPosition(0, rowEnd, false);
        Keys::send(view(), "Space Space Space Bksp");
        check("typed at a row's end");
        view()->setCursorPosition(0, rowEnd + 1, false);
        Keys::send(view(), "Bksp");
        check("removed at a row's start");
        // The indent moves every continuation row.
        view()->setCursorPosition(0, 0, false);
        Keys::send(view(), "Space Space Space Space Space Space");
        check("indented");
        view()->setCursorPosition(0, 5000, false);
        Keys::send(view(), "Return");
        check("broken in the middle");
        Keys::send(view(), "Bksp");
        check("joined in the middle");
        doc()->undoStack()->undo();
        doc()->undoStack()->undo();
        doc()->undoStack()->undo();
        check("undone");
    }

    void keysOther()
    {
        open(QStringLiteral("abc"));
        // Tab and Backtab stay in the view.
        QTest::keyClick(view(), Qt::Key_Tab);
        QVERIFY(view()->hasFocus());
        QTest::keyClick(view(), Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(view()->hasFocus());
        // Keys that are neither moves nor text travel on to the frame.
        QKeyEvent ctrlA(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, QStringLiteral("\x01"));
        QApplication::sendEvent(view(), &ctrlA);
        QVERIFY(!ctrlA.isAccepted());
        QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
        QApplication::sendEvent(view(), &shift);
        QVERIFY(shift.isAccepted());
        // Cursor position notices through the frame.
        QSignalSpy changed(e, &TextEditor::changed);
        QSignalSpy moved(view()->cursor(), &EditorCursor::changePosition);
        view()->cursor()->set(0, 1, true);
        QCOMPARE(moved.count(), 1);
        QVERIFY(changed.contains(QVariantList{int(TextEditor::CursorPosition)}));
        moved.clear();
        view()->cursor()->set(0, 1, true);
        QCOMPARE(moved.count(), 0);
    }

    void caretNesting()
    {
        open(QStringLiteral("abc"));
        EditorCursor* c = view()->cursor();
        c->setEnabled(true); // surplus: must not go below zero
        QVERIFY(c->isEnabled());
        c->setEnabled(false);
        c->setEnabled(false);
        QVERIFY(!c->isEnabled());
        c->setEnabled(true);
        QVERIFY(!c->isEnabled());
        c->setEnabled(true);
        QVERIFY(c->isEnabled());
        // Wanted-column conversions with 4 spaces in a tab.
        doc()->setSpacesInTab(4);
        doc()->loadText(QStringLiteral("\tx"));
        QCOMPARE(c->column2wanted(0, 1), 4);
        QCOMPARE(c->column2wanted(0, 2), 5);
        QCOMPARE(c->wanted2column(0, 4), 1);
        doc()->setSpacesInTab(8);
    }

    // --- Pixels --------------------------------------------------------------------

    void pixelsCurrentLineAndSelection()
    {
        m->currentLineColor = QColor(0xee, 0xee, 0x00);
        open(QStringLiteral("one\ntwo\nthree\nfour"));
        view()->setCursorPosition(1, 0, false);
        QImage img = view()->grab().toImage();
        // The whole caret row, beyond the text, is the current-line colour.
        QCOMPARE(img.pixelColor(300, lh() + lh() / 2), m->currentLineColor);
        QCOMPARE(img.pixelColor(300, lh() / 2), m->normalBackgroundColor);

        // A stream selection from (1, 2) to (2, 3).
        view()->setCursorPosition(2, 1, false);
        view()->setCursorPosition(3, 2, true);
        img = view()->grab().toImage();
        const int a = adv();
        const QColor sel = m->selectedBackgroundColor;
        const int y2 = 2 * lh() + 1, y3 = 3 * lh() + 1;
        QCOMPARE(img.pixelColor(2 + a / 2, y2), m->normalBackgroundColor); // before column 1
        QCOMPARE(img.pixelColor(300, y2), sel);                            // to the right edge
        QCOMPARE(img.pixelColor(0, y3), sel);                              // the left gap
        QCOMPARE(img.pixelColor(2 + 3 * a, y3), m->currentLineColor);      // after column 2
        QCOMPARE(img.pixelColor(2 + a, y3), sel);

        // A box selection colours only the band between the columns.
        m->fVerticalSelection = true;
        view()->updateContents();
        img = view()->grab().toImage();
        QCOMPARE(img.pixelColor(2 + a + a / 2, y2), sel);
        QCOMPARE(img.pixelColor(300, y2), m->normalBackgroundColor);
        m->fVerticalSelection = false;
    }

    void pixelsKeywordAndFold()
    {
        open(QStringLiteral("return x;\nint a;\n{\n  b;\n}\nlast"), 400, 200,
             QStringLiteral("C++"));
        QImage img = view()->grab().toImage();
        const TextAttribute* kw = nullptr;
        for (int id = 0; id < TextHighlight::MaxIds; ++id) {
            const TextAttribute* a = view()->highlight()->attribute(id);
            if (a && a->itemName == QLatin1String("Keyword"))
                kw = a;
        }
        QVERIFY(kw);
        const int a = adv();
        QVERIFY(rowHas(img, 0, 2, 2 + 6 * a, kw->color));
        QVERIFY(!rowHas(img, 0, 2 + 7 * a, 2 + 9 * a, kw->color));

        // A closed fold head: a dotted dark line on its bottom pixel row.
        const int bottom = 3 * lh() - 1;
        QVERIFY(!rowHas(img, bottom, 100, 300, QColor(50, 50, 50)));
        QVERIFY(doc()->folding()->createFold(2, 4));
        img = view()->grab().toImage();
        int dark = 0;
        for (int x = 100; x < 300; ++x)
            dark += img.pixelColor(x, bottom) == QColor(50, 50, 50);
        QVERIFY(dark > 50 && dark < 150); // dotted
        // The line after the fold is shown right below its head.
        QCOMPARE(view()->visibleLine(3)->line, 5);
    }

    void pixelsCaret()
    {
        open(QStringLiteral("abcdef\nghijkl"));
        EditorCursor* c = view()->cursor();
        QVERIFY(view()->hasFocus());
        Keys::send(view(), "Down Right Right Right End");
        QCOMPARE(c->pos(), QPoint(6, 1));
        // Hold the caret still (no blinking) and find its stroke.
        c->setEnabled(true);
        QVERIFY(c->isEnabled());
        const QImage img = view()->grab().toImage();
        const int x = 2 + 6 * adv();
        const int y = lh() + lh() / 2;
        // The bar inverts the white background at the column's left edge.
        QCOMPARE(img.pixelColor(x, y), QColor(0, 0, 0));
        QCOMPARE(img.pixelColor(x, lh() / 2), QColor(255, 255, 255));
        QVERIFY(view()->caretRect().contains(x, y));
        c->setEnabled(false);
        const QImage hidden = view()->grab().toImage();
        QCOMPARE(hidden.pixelColor(x, y), QColor(255, 255, 255));
        c->setEnabled(true);
    }

    void lineNumbers()
    {
        open(QStringLiteral("a\nb\nc"));
        LineNumberMargin* numbers = view()->lineNumberMargin();
        QImage img = numbers->grab().toImage();
        // Numbers on the text's rows, none below it.
        // Glyphs are smoothed: a text pixel is one with little red in it,
        // left of the dotted edge.
        auto ink = [](const QColor& c) { return c.red() < 160; };
        auto hasText = [&](const QImage& im, int row) {
            for (int y = row * lh(); y < (row + 1) * lh(); ++y)
                for (int x = 0; x < im.width() - 2; ++x)
                    if (ink(im.pixelColor(x, y)))
                        return true;
            return false;
        };
        QVERIFY(hasText(img, 0));
        QVERIFY(hasText(img, 2));
        QVERIFY(!hasText(img, 4));
        const int narrow = numbers->width();

        // From line 100,000 on the margin widens and numbers show whole.
        doc()->loadText(QString("x\n").repeated(123456));
        QTest::qWait(0);
        QTRY_VERIFY(numbers->width() > narrow);
        view()->setCursorPosition(123450, 0, false);
        QTest::qWait(0);
        img = numbers->grab().toImage();
        const QFontMetrics fm(m->font());
        const int needed = fm.horizontalAdvance(QStringLiteral("123456"));
        QVERIFY(numbers->width() >= needed + 6);
        // Nothing of a number is cut at the margin's left edge.
        for (int y = 0; y < img.height(); ++y)
            QVERIFY(!ink(img.pixelColor(0, y)) && !ink(img.pixelColor(1, y)));
    }

    // --- Layout invariants -----------------------------------------------------------

    // Cases that once broke the row map, the mapping or the caret's place:
    // a text, a view size and steps; the layout checks run after every step,
    // and after a step that moves the caret, the caret's row must be in view
    // with the row below it. Steps, separated by ';': "wrap 0|1", "size WxH",
    // "tabs N", "caret L C", "select L1 C1 L2 C2", "keys SEQ", "undo N",
    // "fold A B" (a closed fold), "wheel N" (rows down, one notch a row).
    void layoutInvariants_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("steps");
        const int a = adv();
        auto lines = [](int n, const QString& stem) {
            QStringList out;
            for (int i = 0; i < n; ++i)
                out << stem + QString::number(i);
            return out.join(QLatin1Char('\n'));
        };

        // A tab on a wrapped continuation row: its stop counts from the row's
        // start for painting, the caret, the selection and the mouse alike.
        QTest::newRow("tab on a continuation row")
            << QString(60, 'a') + "\tX\n" + QString(5, 'b') + "\tY" + QString(90, 'c') + "\t\tZ"
            << "wrap 1; size 420x200; caret 0 61; keys Right; select 1 3 1 100; keys Home";
        // The shared wrap positions know the tab width.
        QTest::newRow("tab width change")
            << QString(60, '\t') + "\n" + QString(60, '\t') + "x\nshort"
            << "wrap 1; tabs 2; size 410x200; tabs 8; keys C-End; tabs 4";
        // A closed fold heads the view: moving down keeps one row below the
        // caret, counting rows, not line numbers.
        QTest::newRow("closed fold on top")
            << lines(100, "line ")
            << "size 400x200; fold 0 30; caret 0 0" + QString("; keys Down").repeated(16) +
                   "; keys PgDn; keys Down; keys PgUp; keys Up";
        // A scroll position left inside a long line that a resize shortens
        // to exactly that many rows: each of its rows is laid out once.
        const int rowsAfter = (6000 + (779 - 8) / a - 1) / ((779 - 8) / a);
        QTest::newRow("resize under a long line")
            << lines(10, "l") + "\n" + QString(6000, 'x') + "\n" + lines(10, "m")
            << QStringLiteral("wrap 1; tabs 4; size 654x415; wheel %1; size 779x349; wheel 1")
                   .arg(10 + rowsAfter);
        // Undo inside a long wrapped line: the caret is placed on the rows
        // of the restored text.
        const QString longY =
            lines(50, "l") + "\n" + QString(8700, 'y') + "\n" + QString(8700, 'z') + "\nend";
        QTest::newRow("undo inside a long line")
            << longY
            << "wrap 1; size 400x200; keys x; select 50 0 51 8195; keys Tab; caret 51 8600; "
               "undo 1; redo 1; caret 51 8600; undo 1";
    }

    void layoutInvariants()
    {
        QFETCH(QString, text);
        QFETCH(QString, steps);
        open(text, 400, 200);
        const int oldLines = QApplication::wheelScrollLines();
        QApplication::setWheelScrollLines(1);
        int done = 0;
        for (const QString& step : steps.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QStringList w = step.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
            const QString& cmd = w.at(0);
            auto arg = [&](int i) { return w.at(i).toInt(); };
            bool movesCaret = true;
            if (cmd == QLatin1String("wrap")) {
                m->setLineWrap(arg(1) != 0);
                movesCaret = false;
            } else if (cmd == QLatin1String("size")) {
                const QStringList wh = w.at(1).split(QLatin1Char('x'));
                const QSize want(wh.at(0).toInt(), wh.at(1).toInt());
                for (int i = 0; i < 4 && view()->size() != want; ++i) {
                    e->resize(e->width() + want.width() - view()->width(),
                              e->height() + want.height() - view()->height());
                    QTest::qWait(0);
                }
                QCOMPARE(view()->size(), want);
                movesCaret = false;
            } else if (cmd == QLatin1String("tabs")) {
                doc()->setSpacesInTab(arg(1));
                movesCaret = false;
            } else if (cmd == QLatin1String("caret")) {
                view()->setCursorPosition(arg(1), arg(2), false);
            } else if (cmd == QLatin1String("select")) {
                view()->setCursorPosition(arg(1), arg(2), false);
                view()->setCursorPosition(arg(3), arg(4), true);
            } else if (cmd == QLatin1String("keys")) {
                Keys::send(view(), QStringList(w.mid(1)).join(QLatin1Char(' ')));
            } else if (cmd == QLatin1String("undo")) {
                for (int i = 0; i < arg(1); ++i)
                    doc()->undoStack()->undo();
            } else if (cmd == QLatin1String("redo")) {
                for (int i = 0; i < arg(1); ++i)
                    doc()->undoStack()->redo();
            } else if (cmd == QLatin1String("fold")) {
                QVERIFY(doc()->folding()->createFold(arg(1), arg(2)));
                movesCaret = false;
            } else if (cmd == QLatin1String("wheel")) {
                const QPointF c(view()->rect().center());
                QWheelEvent down(c, view()->mapToGlobal(c), QPoint(), QPoint(0, -120), Qt::NoButton,
                                 Qt::NoModifier, Qt::NoScrollPhase, false);
                for (int i = 0; i < arg(1); ++i)
                    QApplication::sendEvent(view(), &down);
                movesCaret = false;
            } else {
                QFAIL(qPrintable("unknown step " + step));
            }
            view()->repaint();
            ++done;
            QString problem = layoutcheck::all(view());
            if (problem.isEmpty() && movesCaret)
                problem = layoutcheck::caretInView(view(), e->line(), e->column());
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("after step %1 (%2): %3")
                                                       .arg(done)
                                                       .arg(step.trimmed(), problem)));
        }
        QApplication::setWheelScrollLines(oldLines);
        m->setLineWrap(false);
    }

    // --- Repainting ----------------------------------------------------------------

    // A text loaded into a shown view is painted in the next pass of the
    // event loop without a slice of idle colouring in it: a small file's
    // first paint once waited for a whole slice (10 ms, as long as its
    // loading), which the rest of a big file's colouring amortises.
    void firstPaintBeforeIdleColouring()
    {
        open(QStringLiteral("x"), 400, 200, QStringLiteral("C++"));
        QString text;
        for (int i = 0; i < 300; ++i)
            text += QStringLiteral("int v%1 = 1; /* note */ // end\n").arg(i);
        PaintSpy spy;
        view()->installEventFilter(&spy);
        doc()->loadText(text);
        QCoreApplication::processEvents();
        view()->removeEventFilter(&spy);
        QVERIFY(!spy.painted.isEmpty());
        // The lines below the view still wait for idle time...
        QVERIFY(doc()->highlightPending());
        // ...which comes, and colours the rest.
        QTRY_VERIFY(!doc()->highlightPending());
    }

    void wrappedRowsBelowRepaint()
    {
        m->setLineWrap(true);
        const int perRow = (400 - 8) / adv();
        // Line 0 fills its row but one; line 2 wraps into two rows.
        open(QString(perRow - 1, 'a') + "\nc\n" + QString(perRow + 10, 'b') + "\nd\ne", 400, 300);
        QCOMPARE(view()->visibleLine(3)->line, 2);
        PaintSpy spy;
        view()->installEventFilter(&spy);
        view()->setCursorPosition(0, perRow - 1, false);
        QTest::qWait(0);
        spy.painted = QRegion();
        // Two more characters: line 0 gains a row and every row below moves.
        Keys::send(view(), "xy");
        QTest::qWait(0);
        view()->updateLinesList();
        QCOMPARE(view()->visibleLine(1)->line, 0);
        QCOMPARE(view()->visibleLine(4)->line, 2); // the second row of line 2
        for (int row = 1; row <= 5; ++row)
            QVERIFY2(spy.painted.contains(QPoint(200, row * lh() + lh() / 2)),
                     qPrintable(QString("row %1 not repainted").arg(row)));
        view()->removeEventFilter(&spy);
    }

    // A keystroke repaints the rows it changed and no others: the caret's
    // row for a typed letter, the rows from the caret down for a new or
    // joined line, the old and new row of the caret's band for a move.
    void keystrokeRepaintsItsRows_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("firstRow"); // rows above it stay
        QTest::addColumn<int>("lastRow");  // rows below it stay; -1: to the bottom
        // The context pass hands over the line after an edited one too.
        QTest::newRow("letter") << "x" << 5 << 6;
        QTest::newRow("Down") << "Down" << 5 << 6;
        QTest::newRow("Shift+Down") << "S-Down" << 5 << 6;
        QTest::newRow("Return") << "Return" << 5 << -1;
        QTest::newRow("Backspace at a line start") << "Home Bksp" << 4 << -1;
    }

    void keystrokeRepaintsItsRows()
    {
        QFETCH(QString, keys);
        QFETCH(int, firstRow);
        QFETCH(int, lastRow);
        m->currentLineColor = QColor(0xee, 0xee, 0xff);
        QStringList text;
        for (int i = 0; i < 40; ++i)
            text << QStringLiteral("int v%1 = %1; // comment").arg(i);
        open(text.join('\n'), 400, 300, QStringLiteral("C++"));
        view()->setCursorPosition(5, 3, false);
        QTest::qWait(0);
        view()->repaint();
        PaintSpy spy;
        view()->installEventFilter(&spy);
        Keys::send(view(), keys);
        QTest::qWait(0);
        view()->removeEventFilter(&spy);
        const QRect painted = spy.painted.boundingRect();
        QVERIFY2(!painted.isEmpty(), "nothing repainted");
        QVERIFY2(painted.top() >= firstRow * lh(),
                 qPrintable(QString("repainted from y %1").arg(painted.top())));
        QVERIFY(painted.top() < (firstRow + 1) * lh());
        if (lastRow >= 0)
            QVERIFY2(painted.bottom() < (lastRow + 1) * lh(),
                     qPrintable(QString("repainted down to y %1").arg(painted.bottom())));
        QVERIFY(screencheck::mismatch(e).isEmpty());
        m->currentLineColor = QColor();
    }

    void scrollBars()
    {
        open(QStringLiteral("short"));
        QScrollBar* v = view()->verticalScrollBar();
        QScrollBar* h = view()->horizontalScrollBar();
        // A short document: a disabled bar of range 0, shown (always on).
        QCOMPARE(v->maximum(), 0);
        QVERIFY(!v->isEnabled());
        QVERIFY(v->isVisible());
        // A long line: the horizontal bar scrolls; the caret at its end
        // scrolls the view; the text narrowing snaps the view back.
        doc()->loadText(QString(200, 'x'));
        view()->setCursorPosition(0, 200, false);
        QVERIFY(h->isEnabled());
        QVERIFY(view()->contentsX() > 0);
        view()->setCursorPosition(0, 0, false);
        QCOMPARE(view()->contentsX(), 0);
        m->setLineWrap(true);
        QCOMPARE(h->maximum(), 0);
        QVERIFY(!h->isEnabled());
        QVERIFY(!h->isVisible());
        QCOMPARE(view()->contentsX(), 0);
    }

    void hugeDocumentFirstScreen()
    {
        const QString text = QString("int value = 42; // a comment\n").repeated(1000000);
        open(QString(), 1000, 800, QStringLiteral("C++"));
        doc()->loadText(text);
        QTest::qWait(0);
        view()->repaint();
        QCOMPARE(doc()->lastLine(), 999999);
        // Only the screen was laid out and coloured.
        QVERIFY(view()->visibleRowCount() <= 800 / lh() + 1);
        QVERIFY(doc()->lineOf(0)->isHighlighted());
        QVERIFY(doc()->lineOf(view()->visibleRowCount() - 1)->isHighlighted());
        int coloured = 0;
        for (int i = 0; i <= doc()->lastLine(); i += 997)
            coloured += doc()->lineOf(i)->isHighlighted();
        QVERIFY(coloured <= 2);
        // The end of the document is one key away.
        QTest::keyClick(view(), Qt::Key_End, Qt::ControlModifier);
        view()->repaint();
        QCOMPARE(e->line(), 999999);
        QVERIFY(view()->contentsY() > 999000 * lh());
        QVERIFY(!doc()->lineOf(500000)->isHighlighted());
        delete e;
        e = nullptr;
    }

    // On a line far wider than the view, painting colours only as far as it
    // shows, after loading and after each keystroke; what it colours is what
    // a full pass gives, and the rest is coloured as it comes into view. A
    // paint whose pass runs out of time (a slow build, a busy core: staged
    // here with a pass cut after a number of steps) leaves the rest to idle
    // time, which finishes it.
    void longLineColouredAsFarAsPainted_data()
    {
        QTest::addColumn<int>("steps");
        QTest::newRow("one pass") << 0;
        QTest::newRow("passes cut") << 500;
    }
    void longLineColouredAsFarAsPainted()
    {
        QFETCH(int, steps);
        const QString chunk = QStringLiteral("int value = compute(42, \"text\") + other; /* c */ ");
        open(QString(), 400, 200, QStringLiteral("C++"));
        doc()->loadText(chunk.repeated(4000));
        view()->repaint();
        TextLine* line = doc()->lineOf(0);
        const int shown = 400 / adv() + 2;
        auto sameAsFullPass = [&](int columns) {
            TextLine full{QString(*line)};
            view()->highlight()->doHighlight(0, &full);
            view()->highlight()->highlight(&full);
            for (int i = 0; i < columns; ++i) {
                if (line->attribute(uint(i)) != full.attribute(uint(i)))
                    return false;
            }
            return columns > 0;
        };
        QVERIFY(!line->isHighlighted());
        QVERIFY(line->highlightedTo() >= shown - 2);
        QVERIFY(line->highlightedTo() <= shown + int(chunk.size()));
        QVERIFY(sameAsFullPass(line->highlightedTo()));
        for (int k = 0; k < 3; ++k) {
            QTest::keyClicks(view(), QStringLiteral("x"));
            view()->repaint();
            QVERIFY(line->startsWith(QStringLiteral("xxx").left(k + 1) + chunk));
            QVERIFY(!line->isHighlighted());
            QVERIFY(line->highlightedTo() <= shown + int(chunk.size()));
            QVERIFY(sameAsFullPass(line->highlightedTo()));
        }
        setHighlightStepBudget(steps);
        auto unlimited = qScopeGuard([] { setHighlightStepBudget(0); });
        QTest::keyClick(view(), Qt::Key_End, Qt::ControlModifier);
        view()->repaint();
        if (steps > 0) {
            QVERIFY(!line->isHighlighted());
            QVERIFY(doc()->highlightPending());
        }
        // Idle time goes on until the colouring is finished: the fact the
        // paint left for it, not a time.
        for (int n = 0; doc()->highlightPending() && n < 100000; ++n)
            doc()->resumeHighlighting();
        QVERIFY(!doc()->highlightPending());
        QVERIFY(line->isHighlighted());
        setHighlightStepBudget(0);
        QVERIFY(sameAsFullPass(int(line->size())));
    }

    // Keys typed at the start, the middle and the end of a line of minified
    // data, and their undo and redo, leave colours equal to one full pass:
    // the shown columns after each repaint, and the whole line at the end.
    void longLineEditsUndoRedoColours()
    {
        QString data;
        for (int i = 0; data.size() < 30000; ++i)
            data +=
                QStringLiteral("{\"id\":%1,\"url\":\"https://a.b/%1\",\"v\":[%1.5,true]},").arg(i);
        open(QString(), 400, 200, QStringLiteral("C++"));
        doc()->loadText(data);
        view()->repaint();
        TextLine* line = doc()->lineOf(0);
        auto sameAsFullPass = [&](int from, int to) {
            TextLine full{QString(*line)};
            view()->highlight()->doHighlight(0, &full);
            view()->highlight()->highlight(&full);
            for (int i = from; i < to; ++i) {
                if (line->attribute(uint(i)) != full.attribute(uint(i)))
                    return false;
            }
            return true;
        };
        int edits = 0;
        for (int column : {5, 15000, 29990}) {
            view()->setCursorPosition(0, column, false);
            QTest::keyClicks(view(), QStringLiteral("\"x/*"));
            QTest::keyClick(view(), Qt::Key_Backspace);
            view()->repaint();
            edits += 4;
            QVERIFY(sameAsFullPass(0, line->highlightedTo()));
            QVERIFY(line->highlightedTo() > column);
        }
        for (int k = 0; k < edits; ++k) {
            doc()->undoStack()->undo();
            view()->repaint();
            QVERIFY(sameAsFullPass(0, line->highlightedTo()));
        }
        QCOMPARE(QString(*line), data);
        for (int k = 0; k < edits; ++k) {
            doc()->undoStack()->redo();
            view()->repaint();
            QVERIFY(sameAsFullPass(0, line->highlightedTo()));
        }
        view()->highlight()->highlight(line);
        QVERIFY(sameAsFullPass(0, int(line->size())));
    }

    // With wrap on the vertical bar counts rows: scrolling row by row moves
    // its value by one, and each value shows the same row again, across
    // lines of one row and lines of many, after an edit that adds lines too.
    void scrollBarCountsRows()
    {
        m->setLineWrap(true);
        QStringList lines;
        for (int i = 0; i < 40; ++i)
            lines << (i % 7 == 3 ? QString(60 + 37 * i, QLatin1Char('a' + i % 26))
                                 : QStringLiteral("line %1").arg(i));
        open(lines.join('\n'), 300, 150);
        QScrollBar* bar = view()->verticalScrollBar();
        const int oldLines = QApplication::wheelScrollLines();
        QApplication::setWheelScrollLines(1);
        const QPointF c(view()->rect().center());
        QWheelEvent down(c, view()->mapToGlobal(c), QPoint(), QPoint(0, -120), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        for (int pass = 0; pass < 2; ++pass) {
            QList<QPair<int, int>> tops;
            auto top = [this] {
                const VisibleLine* r = view()->visibleLine(view()->firstVisibleKey());
                return qMakePair(r->line, r->startPos);
            };
            bar->setValue(0);
            for (int k = 0; k < 60; ++k) {
                tops << top();
                QCOMPARE(bar->value(), k);
                QApplication::sendEvent(view(), &down);
            }
            QVERIFY(tops.last().first > 10);
            for (int k = 59; k >= 0; --k) {
                bar->setValue(k);
                QCOMPARE(top(), tops.at(k));
            }
            // Lines added above the wrapped ones shift their counts.
            view()->setCursorPosition(1, 0, false);
            Keys::send(view(), "Return Return x");
        }
        QApplication::setWheelScrollLines(oldLines);
        m->setLineWrap(false);
    }

    // One line of 5 MB with wrap on can be browsed: the vertical bar counts
    // its rows, dragging the thumb shows the row under it, Page Down pages
    // through the line's rows, typing works there, and the screen equals a
    // fresh render after every step.
    void fiveMegabyteLineBrowsable()
    {
        m->setLineWrap(true);
        QString line;
        line.reserve(5 * 1024 * 1024 + 64);
        for (int i = 0; line.size() < 5 * 1024 * 1024; ++i)
            line += QStringLiteral("w%1 x(y); ").arg(i);
        const int len = int(line.size());
        open(line, 600, 300);
        QScrollBar* bar = view()->verticalScrollBar();
        auto screenHolds = [&](const char* step) {
            const QString problem = screencheck::mismatch(e);
            QVERIFY2(problem.isEmpty(), qPrintable(QString("%1: %2").arg(step, problem)));
            const QString layout = layoutcheck::rows(view());
            QVERIFY2(layout.isEmpty(), qPrintable(QString("%1: %2").arg(step, layout)));
        };
        auto topStart = [this] { return view()->visibleLine(view()->firstVisibleKey())->startPos; };
        const int perRow = (600 - 8) / adv();
        // The range counts the line's rows; the thumb is at the top.
        QVERIFY(bar->isEnabled());
        QVERIFY2(bar->maximum() > len / perRow / 2, qPrintable(QString::number(bar->maximum())));
        QVERIFY(bar->maximum() < len / perRow * 2);
        QCOMPARE(bar->value(), 0);
        screenHolds("open");

        // Dragging the thumb to the middle shows the middle of the line.
        bar->setSliderDown(true);
        bar->setSliderPosition(bar->maximum() / 2);
        bar->setSliderDown(false);
        QVERIFY2(qAbs(topStart() - len / 2) < len / 20,
                 qPrintable(QString("top row starts at %1 of %2").arg(topStart()).arg(len)));
        QCOMPARE(view()->visibleLine(view()->firstVisibleKey())->line, 0);
        screenHolds("drag to the middle");
        const int middleValue = bar->value();
        QVERIFY(middleValue > 0);

        // Page Down from the start moves the caret through the line's rows,
        // and the bar follows.
        QTest::keyClick(view(), Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(bar->value(), 0);
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(view(), Qt::Key_PageDown);
            screenHolds("PageDown");
            QVERIFY(layoutcheck::caretInView(view(), 0, e->column()).isEmpty());
        }
        const int paged = e->column();
        QCOMPARE(e->line(), 0);
        QVERIFY2(paged >= 3 * (300 / lh() - 1) * perRow / 2,
                 qPrintable(QString("three pages reach column %1").arg(paged)));
        QVERIFY(bar->value() > 0);
        QTest::keyClick(view(), Qt::Key_PageUp);
        QVERIFY(e->column() < paged);
        QTest::keyClick(view(), Qt::Key_PageDown);
        QCOMPARE(e->column(), paged);

        // Typing there works and stays in view.
        QTest::keyClicks(view(), QStringLiteral("TYPED"));
        QCOMPARE(doc()->lineOf(0)->mid(paged, 5), QStringLiteral("TYPED"));
        QVERIFY(layoutcheck::caretInView(view(), 0, e->column()).isEmpty());
        screenHolds("typing");
        // The end of the line is one key away, and the bar stands at its end.
        QTest::keyClick(view(), Qt::Key_End, Qt::ControlModifier);
        QVERIFY(layoutcheck::caretInView(view(), 0, len + 5).isEmpty());
        QVERIFY(bar->value() > bar->maximum() - 300 / lh());
        screenHolds("Ctrl+End");
        delete e;
        e = nullptr;
        m->setLineWrap(false);
    }

    // A wrapped line of many thousand rows, with and without tabs and in
    // both wrap modes: End, typing at the end, Undo, Ctrl+Home and a jump to
    // the middle each leave the caret on a row on screen, the rows well
    // formed, and every row as long as the rule makes it: with line wrap as
    // many characters as fit, with word wrap up to its last blank.
    void longWrappedLineKeepsItsRows_data()
    {
        QTest::addColumn<bool>("tabs");
        QTest::addColumn<int>("mode");
        QTest::newRow("words, line wrap") << false << int(TextDocument::wrapLine);
        QTest::newRow("words and tabs, line wrap") << true << int(TextDocument::wrapLine);
        QTest::newRow("words and tabs, word wrap") << true << int(TextDocument::wrapWord);
    }

    void longWrappedLineKeepsItsRows()
    {
        QFETCH(bool, tabs);
        QFETCH(int, mode);
        m->setLineWrap(true);
        QString line;
        for (int i = 0; line.size() < 600000; ++i)
            line += (tabs && i % 7 == 3) ? QStringLiteral("w%1\tx(y); ").arg(i)
                                         : QStringLiteral("w%1 x(y); ").arg(i);
        const int len = int(line.size());
        open(QString(), 600, 300);
        doc()->setWrapMode(TextDocument::wrapMode(mode));
        doc()->loadText(line);
        QScrollBar* bar = view()->verticalScrollBar();
        const int room = view()->width() - 8;
        auto holds = [&](const QString& step) {
            const QString layout = layoutcheck::rows(view());
            QVERIFY2(layout.isEmpty(), qPrintable(step + QStringLiteral(": ") + layout));
            const QString caret = layoutcheck::caretInView(view(), 0, e->column());
            QVERIFY2(caret.isEmpty(), qPrintable(step + QStringLiteral(": ") + caret));
            const QString text = *doc()->lineOf(0);
            for (int i = 0; i < view()->visibleRowCount(); ++i) {
                const VisibleLine r = *view()->visibleLine(view()->firstVisibleKey() + i);
                if (r.endPos >= text.size())
                    continue;
                const bool full = layoutcheck::paintedX(view(), r, r.endPos) <= room &&
                                  layoutcheck::paintedX(view(), r, r.endPos + 1) > room;
                const bool atBlank = mode == TextDocument::wrapWord && text.at(r.endPos).isSpace();
                QVERIFY2(full || atBlank, qPrintable(QStringLiteral("%1: row %2 %3 could hold more")
                                                         .arg(step)
                                                         .arg(i)
                                                         .arg(layoutcheck::rowText(r))));
            }
        };

        QTest::keyClick(view(), Qt::Key_End);
        QCOMPARE(e->column(), len);
        holds(QStringLiteral("End"));
        QVERIFY(bar->value() > bar->maximum() - 300 / lh());

        QTest::keyClicks(view(), QStringLiteral("z"));
        QCOMPARE(doc()->textLength(0), len + 1);
        QCOMPARE(e->column(), len + 1);
        holds(QStringLiteral("typing at the end"));

        doc()->undoStack()->undo();
        QCOMPARE(*doc()->lineOf(0), line);
        QCOMPARE(e->column(), len);
        holds(QStringLiteral("Undo"));

        QTest::keyClick(view(), Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(e->column(), 0);
        QCOMPARE(bar->value(), 0);
        holds(QStringLiteral("Ctrl+Home"));

        view()->setCursorPosition(0, len / 2, false);
        holds(QStringLiteral("the middle"));
        const int middle = bar->value();
        QVERIFY2(middle > bar->maximum() / 4 && middle < bar->maximum() * 3 / 4,
                 qPrintable(QStringLiteral("bar at %1 of %2").arg(middle).arg(bar->maximum())));

        QTest::keyClick(view(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(e->column(), len);
        holds(QStringLiteral("Ctrl+End"));
        delete e;
        e = nullptr;
        m->setLineWrap(false);
    }

    // A wrapped line taller than the view: the caret is always brought into
    // view, the wheel scrolls by rows; without wrap, End shows the caret
    // inside the right edge.
    void tallWrappedLineScrollsByRows()
    {
        m->setLineWrap(true);
        QString line;
        for (int i = 0; line.size() < 300000; ++i)
            line += QStringLiteral("w%1 ").arg(i);
        open(line + QStringLiteral("\nlast"), 400, 200);
        QVERIFY(doc()->getWrap());
        const QRect inside = view()->rect();
        auto topColumn = [this] {
            return view()->visibleLine(view()->firstVisibleKey())->startPos;
        };

        QTest::keyClick(view(), Qt::Key_End);
        QCOMPARE(view()->cursor()->pos(), QPoint(int(line.size()), 0));
        QVERIFY2(inside.contains(view()->caretRect()),
                 "the caret at the line's end is out of view");
        QVERIFY(topColumn() > 0);
        QTest::keyClicks(view(), QStringLiteral("Z"));
        QVERIFY(doc()->lineOf(0)->endsWith(QLatin1Char('Z')));
        QVERIFY(inside.contains(view()->caretRect()));

        QTest::keyClick(view(), Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(topColumn(), 0);
        const QPointF centre(inside.center());
        QWheelEvent down(centre, view()->mapToGlobal(centre), QPoint(), QPoint(0, -120),
                         Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view(), &down);
        // Still the first line on top, some rows of it above the view.
        QCOMPARE(view()->visibleLine(view()->firstVisibleKey())->line, 0);
        QVERIFY(topColumn() > 0);
        QWheelEvent up(centre, view()->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                       Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view(), &up);
        QCOMPARE(topColumn(), 0);

        // A caret moved into the rows above the view brings them back.
        for (int i = 0; i < 3; ++i)
            QApplication::sendEvent(view(), &down);
        QVERIFY(topColumn() > 0);
        view()->setCursorPosition(0, 1, false);
        QVERIFY(inside.contains(view()->caretRect()));
        QCOMPARE(topColumn(), 0);

        m->setLineWrap(false);
        open(QStringLiteral("short\n") + QString(500, QLatin1Char('x')), 400, 200);
        QTest::keyClick(view(), Qt::Key_Down);
        QTest::keyClick(view(), Qt::Key_End);
        QVERIFY2(inside.contains(view()->caretRect()), "End leaves the caret clipped");
        m->setLineWrap(true);
    }
};

QTEST_MAIN(TestTextView)
#include "tst_textview.moc"

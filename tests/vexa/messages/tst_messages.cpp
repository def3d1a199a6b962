// The messages panel and its rows: colour markup, line numbers and file
// links, the row limit, scrolling, opening a pressed row's file at its line,
// the clean button and the panel's shortcut.

#include "../shellfixture.h"
#include "../testeditor.h"

#include "vexa/actions.h"
#include "vexa/editors/editors.h"
#include "vexa/messages/messageitem.h"
#include "vexa/messages/messageoutput.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/widgets/widgetstack.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace vexa;

namespace
{
// Remembers where the panel put the cursor.
class CursorEditor : public TestEditor
{
public:
    using TestEditor::TestEditor;
    void setCursorPosition(int l, int c) override
    {
        line = l;
        column = c;
    }
    int cursorLine() override { return line; }
    int cursorColumn() override { return column; }
    int line = -100;
    int column = -100;
};

class CursorEditorFactory : public vexa::EditorFactory
{
public:
    QString name() override { return QStringLiteral("cursor"); }
    vexa::Editor* createEditor(QWidget* parent) override { return new CursorEditor(parent); }
};

// "text|colour|background" per segment, an empty name for "the list's own".
QStringList describe(const QList<MessageSegment>& segments)
{
    QStringList out;
    for (const MessageSegment& s : segments)
        out.append(s.text + QLatin1Char('|') + (s.color.isValid() ? s.color.name() : QString()) +
                   QLatin1Char('|') + (s.background.isValid() ? s.background.name() : QString()));
    return out;
}

QStringList rawTexts(MessageOutput* panel)
{
    QStringList out;
    for (int i = 0; i < panel->count(); ++i)
        out.append(panel->item(i)->rawText());
    return out;
}

MessageItem* row(MessageOutput* panel, int i)
{
    return panel->item(i);
}

// Where row `i` shows, once the event loop has put the rows into the list.
QRect rowRect(MessageOutput* panel, int i)
{
    QCoreApplication::processEvents();
    return panel->visualRect(panel->model()->index(i, 0));
}

void press(MessageOutput* panel, int i)
{
    const QPoint at = rowRect(panel, i).center();
    QTest::mousePress(panel->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(panel->viewport(), Qt::LeftButton, {}, at);
}
} // namespace

class TestMessages : public QObject
{
    Q_OBJECT
private:
    Shell* shell = nullptr;
    MessageOutput* panel = nullptr;
    QTemporaryDir dir;

    QString makeFile(const QString& name)
    {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly))
            return QString();
        for (int i = 1; i <= 30; ++i)
            f.write(QByteArray("line ") + QByteArray::number(i) + '\n');
        return f.fileName();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        shellfixture::useAppSettings();
        shell = new Shell(nullptr, "vexa::Shell");
        // Only editors of the test's own kind from here on: the window
        // starts with a text editor of the real factory.
        Editors::self()->installEditorFactory(new CursorEditorFactory);
        const QList<Editor*> others = Editors::self()->editors();
        Editors::self()->newEditor();
        for (Editor* e : others)
            Editors::self()->close(e);
        startServices(shell);
        shell->show();
        QVERIFY(QTest::qWaitForWindowExposed(shell));
        panel = MessageOutput::self();
        QVERIFY(panel);
        QCOMPARE(panel->parentWidget(), shell->bottomDock());
        QVERIFY(panel->isVisible());
    }
    void cleanupTestCase() { delete shell; }
    void init() { panel->clear(); }

    void markup_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("segments");

        QTest::newRow("plain") << "make -s"
                               << "make -s" << QStringList{"make -s||"};
        QTest::newRow("red words") << "#color{#f00000}Error 2"
                                   << "Error 2" << QStringList{"Error 2|#f00000|"};
        QTest::newRow("grey band after a word")
            << "x#bgcolor{#d0d0d0} main.cpp"
            << "x main.cpp" << QStringList{"x||", " main.cpp||#d0d0d0"};
        QTest::newRow("tag ends at first brace") << "#color{red}b}"
                                                 << "b}" << QStringList{"b}|#ff0000|"};
        QTest::newRow("capital tag word is text")
            << "#Color{red}x"
            << "#Color{red}x" << QStringList{"#Color{red}x||"};
        QTest::newRow("other tag word is text")
            << "#colour{red}x"
            << "#colour{red}x" << QStringList{"#colour{red}x||"};
        QTest::newRow("unclosed tag is text") << "a#color{red b"
                                              << "a#color{red b" << QStringList{"a#color{red b||"};
        QTest::newRow("unclosed after a tag")
            << "#color{blue}a#bgcolor{red"
            << "a#bgcolor{red" << QStringList{"a#bgcolor{red|#0000ff|"};
        QTest::newRow("invalid bgcolor ends the band") << "#bgcolor{#d0d0d0}a#bgcolor{nonsense}b"
                                                       << "ab" << QStringList{"a||#d0d0d0", "b||"};
        QTest::newRow("invalid color back to normal") << "#color{blue}a#color{}b"
                                                      << "ab" << QStringList{"a|#0000ff|", "b||"};
        QTest::newRow("colours carry on")
            << "#bgcolor{#d0d0d0}a#color{black}b#color{#000080}c"
            << "abc" << QStringList{"a||#d0d0d0", "b|#000000|#d0d0d0", "c|#000080|#d0d0d0"};
        QTest::newRow("tags only") << "#color{black}#bgcolor{blue}"
                                   << "" << QStringList{};
        QTest::newRow("hash before a tag") << "##color{red}x"
                                           << "#x" << QStringList{"#||", "x|#ff0000|"};
        // A backslash after the "#" is the escape of a tag's opening.
        QTest::newRow("escaped tag") << "#\\color{red}x"
                                     << "#color{red}x" << QStringList{"#color{red}x||"};
        QTest::newRow("escaped band inside colour")
            << "#color{blue}a#\\bgcolor{x}b#color{red}c"
            << "a#bgcolor{x}bc" << QStringList{"a#bgcolor{x}b|#0000ff|", "c|#ff0000|"};
        QTest::newRow("escaped escape") << "#\\\\color{red}x"
                                        << "#\\color{red}x" << QStringList{"#\\color{red}x||"};
        QTest::newRow("escape after an unclosed tag")
            << "#color{a #\\color{b"
            << "#color{a #color{b" << QStringList{"#color{a #color{b||"};
        QTest::newRow("nested opening") << "#color{#color{red}}x"
                                        << "}x" << QStringList{"}x||"};
        QTest::newRow("line feed inside a value") << "#color{re\nd}x"
                                                  << "x" << QStringList{"x||"};
    }
    void markup()
    {
        QFETCH(QString, raw);
        QFETCH(QString, shown);
        QFETCH(QStringList, segments);
        MessageItem item(raw, -1, QString());
        QCOMPARE(item.rawText(), raw);
        QCOMPARE(item.text(), shown);
        QCOMPARE(describe(item.segments()), segments);
        QCOMPARE(item.rtti(), 2589235);
        item.setText(QStringLiteral("#color{red}") + raw);
        QCOMPARE(item.text(), shown);
        // The list shows the text without tags.
        panel->insertItem(raw);
        QCoreApplication::processEvents();
        QCOMPARE(panel->model()->index(0, 0).data().toString(), shown);
        item.setText(QString());
        item.addText(raw);
        QCOMPARE(item.text(), shown);
    }

    // Whatever a file or a program wrote shows as it is once escaped, also
    // next to the tags a row is built with.
    void escapeShowsTextLiterally_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << "plain";
        QTest::newRow("colour tag") << "#color{red}x";
        QTest::newRow("band tag") << "a #bgcolor{#d0d0d0} b";
        QTest::newRow("escaped already") << "#\\color{red}";
        QTest::newRow("hashes and backslashes") << "###\\\\bgcolor{}#\\#color{";
        QTest::newRow("backslash at end") << "x#\\";
        QTest::newRow("unclosed") << "#color{";
        QTest::newRow("hash at end") << "x#";
    }
    void escapeShowsTextLiterally()
    {
        QFETCH(QString, text);
        const QString escaped = markup::escape(text);
        QCOMPARE(markup::strip(escaped), text);
        QCOMPARE(describe(markup::parse(escaped)), QStringList{text + "||"});
        const QString row = "#color{blue}" + escaped + "#color{black}!";
        QCOMPARE(describe(markup::parse(row)), (QStringList{text + "|#0000ff|", "!|#000000|"}));
    }

    void lineOfRow_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<int>("built");
        QTest::addColumn<bool>("resetLine");
        QTest::addColumn<int>("line");

        QTest::newRow("compiler row") << "main.c:12: error: x" << -1 << false << 12;
        QTest::newRow("no digits") << "Build finished" << -1 << false << -1;
        QTest::newRow("set line wins") << "main.c:12: error" << 7 << false << 7;
        QTest::newRow("set -1 turns off digits") << "main.c:12: error" << 7 << true << -1;
        QTest::newRow("digits in a tag value") << "#color{#000080}done" << -1 << false << -1;
        QTest::newRow("digits after a tag") << "#color{#000080}a.c 42" << -1 << false << 42;
        QTest::newRow("too long for an int") << "x 99999999999999999999 y" << -1 << false << 0;
        QTest::newRow("other scripts' digits")
            << QString::fromUtf8("x \u0663") << -1 << false << -1;
    }
    void lineOfRow()
    {
        QFETCH(QString, raw);
        QFETCH(int, built);
        QFETCH(bool, resetLine);
        QFETCH(int, line);
        MessageItem item(raw, built, QString());
        if (resetLine)
            item.setLine(-1);
        QCOMPARE(item.line(), line);
    }

    // What the panel makes of a row once the next row arrives.
    void links_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("args"); // the form of insertItem used
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("linkFile");
        QTest::addColumn<int>("linkLine");

        const QString none;
        QTest::newRow("search hit") << "  12: int x;" << 3 << 12 << "/src/a.cpp"
                                    << "/src/a.cpp" << 12;
        QTest::newRow("compiler row") << "main.c:12: error" << 1 << 0 << none << none << 12;
        QTest::newRow("two-argument form, no line")
            << "main.c:12: error" << 2 << -1 << none << none << -1;
        QTest::newRow("traceback") << "  File \"/tmp/job.py\", line 17, in <module>" << 1 << 0
                                   << none << "/tmp/job.py" << 17;
        QTest::newRow("traceback without more")
            << "  File \"job.py\", line 3" << 1 << 0 << none << "job.py" << 3;
        QTest::newRow("coloured traceback")
            << "#color{#f00000}  File \"a.py\", line 8, in f" << 1 << 0 << none << "a.py" << 8;
        // A search row showing a traceback line keeps the file it was found in.
        QTest::newRow("set link kept on a traceback row")
            << "  File \"b.py\", line 2, in g" << 3 << 40 << "c.py"
            << "c.py" << 40;
        QTest::newRow("one blank is no traceback")
            << " File \"job.py\", line 17, in <module>" << 1 << 0 << none << none << 17;
        QTest::newRow("line field not a number")
            << "  File \"job.py\", line many, in f" << 1 << 0 << none << none << -1;
        QTest::newRow("no comma") << "  File \"job.py\"" << 1 << 0 << none << none << -1;
    }
    void links()
    {
        QFETCH(QString, text);
        QFETCH(int, args);
        QFETCH(int, line);
        QFETCH(QString, file);
        QFETCH(QString, linkFile);
        QFETCH(int, linkLine);
        if (args == 1)
            panel->insertItem(text);
        else if (args == 2)
            panel->insertItem(text, line);
        else
            panel->insertItem(text, line, file);
        // The newest row is judged only when the next one arrives.
        if (args == 1)
            QCOMPARE(row(panel, 0)->fileName(), QString());
        panel->insertItem(QStringLiteral("next"));
        QCOMPARE(panel->count(), 2);
        QCOMPARE(row(panel, 0)->fileName(), linkFile);
        QCOMPARE(row(panel, 0)->line(), linkLine);
        QCOMPARE(row(panel, 0)->text(), markup::strip(text));
    }

    void rowLimit_data()
    {
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("kept");
        QTest::addColumn<QString>("first");

        QTest::newRow("500") << 500 << 500 << "row 0";
        QTest::newRow("501") << 501 << 500 << "row 1";
        QTest::newRow("1000") << 1000 << 500 << "row 500";
    }
    void rowLimit()
    {
        QFETCH(int, added);
        QFETCH(int, kept);
        QFETCH(QString, first);
        QCOMPARE(panel->maxItems(), 500u);
        for (int i = 0; i < added; ++i)
            panel->insertItem(QStringLiteral("row %1").arg(i));
        QCOMPARE(panel->count(), kept);
        QCOMPARE(panel->item(0)->text(), first);
        QCOMPARE(panel->item(kept - 1)->text(), QStringLiteral("row %1").arg(added - 1));

        // A lower limit holds from the next row on.
        panel->setMaxItems(10);
        panel->insertItem(QStringLiteral("last"));
        QCOMPARE(panel->count(), 10);
        QCOMPARE(panel->item(9)->text(), QStringLiteral("last"));
        panel->setMaxItems(500);
    }

    void batchedRows_data()
    {
        QTest::addColumn<int>("shown"); // rows in the list before the burst
        QTest::addColumn<int>("burst");

        QTest::newRow("empty list, a few") << 0 << 3;
        QTest::newRow("empty list, over the limit") << 0 << 1200;
        QTest::newRow("full list, a few") << 500 << 7;
        QTest::newRow("some shown, over the limit") << 120 << 730;
        QTest::newRow("some shown, pushed out in part") << 300 << 350;
    }
    // Rows that arrive between two turns of the event loop reach the list
    // together when it next runs: the newest of all rows, in order, as
    // count() and item() had them; a press opens a row's own file and line.
    void batchedRows()
    {
        QFETCH(int, shown);
        QFETCH(int, burst);
        const QAbstractItemModel* list = panel->model();
        const auto text = [shown](int n) {
            return n < shown ? QStringLiteral("old %1").arg(n)
                             : QStringLiteral("new %1").arg(n - shown);
        };
        for (int n = 0; n < shown; ++n)
            panel->insertItem(text(n), n + 1, QStringLiteral("f%1.cpp").arg(n));
        QCoreApplication::processEvents();
        QCOMPARE(list->rowCount(), shown);

        QSignalSpy inserted(list, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(list, &QAbstractItemModel::rowsRemoved);
        for (int n = shown; n < shown + burst; ++n)
            panel->insertItem(text(n), n + 1, QStringLiteral("f%1.cpp").arg(n));
        const int kept = qMin(shown + burst, 500);
        const int first = shown + burst - kept; // the number of the oldest row kept
        QCOMPARE(panel->count(), kept);
        for (int i = 0; i < kept; ++i)
            QCOMPARE(panel->item(i)->text(), text(first + i));
        QCOMPARE(list->rowCount(), shown);

        QCoreApplication::processEvents();
        QCOMPARE(inserted.count(), 1);
        // Only rows the list showed leave it; those pushed out while waiting never came.
        QCOMPARE(removed.count(), qMin(shown, first) > 0 ? 1 : 0);
        QCOMPARE(list->rowCount(), kept);
        for (int i = 0; i < kept; ++i)
            QCOMPARE(list->index(i, 0).data().toString(), text(first + i));

        QSignalSpy clicked(panel, qOverload<const QString&, int>(&MessageOutput::clicked));
        panel->scrollToTop();
        press(panel, 0);
        panel->scrollToBottom();
        press(panel, kept - 1);
        QCOMPARE(clicked.count(), 2);
        QCOMPARE(clicked.at(0), (QVariantList{QStringLiteral("f%1.cpp").arg(first), first + 1}));
        QCOMPARE(clicked.at(1),
                 (QVariantList{QStringLiteral("f%1.cpp").arg(shown + burst - 1), shown + burst}));
    }

    void followsNewRows()
    {
        QScrollBar* bar = panel->verticalScrollBar();
        auto newestShown = [this]() {
            const QRect r = rowRect(panel, panel->count() - 1);
            return panel->viewport()->rect().contains(r);
        };
        // The view follows when the event loop next runs.
        for (int i = 0; i < 60; ++i) {
            panel->insertItem(QStringLiteral("row %1").arg(i), i + 1, QStringLiteral("f.cpp"));
            QCoreApplication::processEvents();
            QVERIFY2(newestShown(), qPrintable(QString::number(i)));
            QCOMPARE(bar->value(), bar->maximum());
        }
        QVERIFY(bar->maximum() > 0);
        // Wherever the user scrolled to, the next row brings the view back.
        bar->setValue(0);
        QVERIFY(!newestShown());
        panel->insertItem(QStringLiteral("newest"));
        QCoreApplication::processEvents();
        QVERIFY(newestShown());
        bar->setValue(0);
        panel->showMessage(QStringLiteral("more"));
        QCoreApplication::processEvents();
        QVERIFY(newestShown());

        // Rows that arrive together move the view once.
        bar->setValue(0);
        QSignalSpy moves(bar, &QScrollBar::valueChanged);
        for (int i = 0; i < 200; ++i)
            panel->insertItem(QStringLiteral("burst %1").arg(i), 1, QStringLiteral("f.cpp"));
        QCOMPARE(moves.count(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(moves.count(), 1);
        QVERIFY(newestShown());
    }

    void showMessage_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("after");

        QTest::newRow("empty list") << QStringList{} << "abc" << QStringList{"abc"};
        QTest::newRow("continues last row") << QStringList{"x"} << "abc" << QStringList{"xabc"};
        QTest::newRow("trailing line feed") << QStringList{"x"} << "a\nb\n"
                                            << QStringList{"xa", "b", ""};
        QTest::newRow("markup kept") << QStringList{"#color{red}x"} << "y\n#bgcolor{blue}z"
                                     << QStringList{"#color{red}xy", "#bgcolor{blue}z"};
        QTest::newRow("only line feeds") << QStringList{} << "\n\n" << QStringList{"", "", ""};
    }
    void showMessage()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, text);
        QFETCH(QStringList, after);
        for (const QString& t : before)
            panel->insertItem(t);
        panel->showMessage(text);
        QCOMPARE(rawTexts(panel), after);
    }

    void showMessageLinksEachLineOnItsOwn()
    {
        panel->showMessage(QStringLiteral("Traceback (most recent call last):\n"
                                          "  File \"t.py\", line 3, in <module>\n"
                                          "    f()\n"));
        QCOMPARE(panel->count(), 4);
        // The header line does not borrow the next line's file.
        QCOMPARE(row(panel, 0)->fileName(), QString());
        QCOMPARE(row(panel, 0)->line(), -1);
        QCOMPARE(row(panel, 1)->fileName(), QStringLiteral("t.py"));
        QCOMPARE(row(panel, 1)->line(), 3);
        QCOMPARE(row(panel, 2)->line(), -1);
    }

    void addToLastItem()
    {
        panel->addToLastItem(QStringLiteral("hit"), 4, QStringLiteral("a.cpp"));
        QCOMPARE(panel->count(), 1);
        QCOMPARE(row(panel, 0)->fileName(), QStringLiteral("a.cpp"));
        QCOMPARE(row(panel, 0)->line(), 4);
        // The row is in the list by now: the list draws and measures it anew.
        QCoreApplication::processEvents();
        QSignalSpy changed(panel->model(), &QAbstractItemModel::dataChanged);
        panel->addToLastItem(QStringLiteral(" more"), 9, QStringLiteral("b.cpp"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>().row(), 0);
        QCOMPARE(panel->count(), 1);
        QCOMPARE(row(panel, 0)->text(), QStringLiteral("hit more"));
        QCOMPARE(panel->model()->index(0, 0).data().toString(), QStringLiteral("hit more"));
        QCOMPARE(row(panel, 0)->fileName(), QStringLiteral("b.cpp"));
        QCOMPARE(row(panel, 0)->line(), 9);
        panel->clear();
        panel->addToLastItem(QStringLiteral("first"));
        QCOMPARE(rawTexts(panel), QStringList{"first"});
    }

    void paintsSegments()
    {
        panel->insertItem(QStringLiteral("x#bgcolor{#d0d0d0} main.cpp"));
        panel->insertItem(QStringLiteral("#color{#f00000}ERROR"));
        panel->insertItem(QStringLiteral("#bgcolor{#d0d0d0}a#bgcolor{none}bbbb"));
        QCoreApplication::processEvents();
        panel->scrollToTop();
        const QImage image = panel->viewport()->grab().toImage();
        const QFontMetrics fm(panel->font());
        const qreal dpr = image.devicePixelRatio();
        QCOMPARE(dpr, 1.0);

        // The columns of a row that hold a reddish pixel.
        auto redColumns = [&](int i) {
            const QRect r = rowRect(panel, i);
            QList<int> xs;
            for (int x = qMax(0, r.left()); x <= r.right() && x < image.width(); ++x)
                for (int y = r.top(); y <= r.bottom(); ++y) {
                    const QColor c = image.pixelColor(x, y);
                    if (c.red() > 150 && c.green() < 90 && c.blue() < 90) {
                        xs.append(x);
                        break;
                    }
                }
            return xs;
        };
        // The band's columns, read on the row's top pixel line, which the
        // band covers and no glyph reaches (grey glyph edges could match).
        auto bandColumns = [&](int i) {
            const QRect r = rowRect(panel, i);
            QList<int> xs;
            for (int x = qMax(0, r.left()); x <= r.right() && x < image.width(); ++x)
                if (image.pixelColor(x, r.top()) == QColor(0xd0, 0xd0, 0xd0))
                    xs.append(x);
            return xs;
        };

        const QRect r0 = rowRect(panel, 0);
        const QList<int> band = bandColumns(0);
        QVERIFY(!band.isEmpty());
        // From the blank after "x" to the end of the file name, no further.
        QCOMPARE(band.first(), r0.left() + 3 + fm.horizontalAdvance(QStringLiteral("x")));
        QCOMPARE(band.size(), fm.horizontalAdvance(QStringLiteral(" main.cpp")));
        QCOMPARE(band.last() - band.first() + 1, band.size());
        // ... down to the row's last pixel line.
        QCOMPARE(image.pixelColor(band.first(), r0.bottom()), QColor(0xd0, 0xd0, 0xd0));

        QVERIFY(!redColumns(1).isEmpty());
        QVERIFY(redColumns(0).isEmpty());
        // An invalid background value switches the band off.
        QCOMPARE(bandColumns(2).size(), fm.horizontalAdvance(QStringLiteral("a")));
    }

    void longRows()
    {
        // A row of any length is kept whole, with markup that never closes.
        QString unclosed;
        for (int i = 0; i < 100000; ++i)
            unclosed += QStringLiteral("#color{x");
        panel->insertItem(unclosed);
        QString closedLate = unclosed + QLatin1Char('}') + QStringLiteral(" 7");
        panel->insertItem(closedLate);
        const QString plain(1 << 20, QLatin1Char('a'));
        panel->insertItem(plain);
        QCOMPARE(row(panel, 0)->text(), unclosed);
        QCOMPARE(row(panel, 1)->text(), QStringLiteral(" 7"));
        QCOMPARE(row(panel, 1)->line(), 7);
        QCOMPARE(row(panel, 2)->text().size(), plain.size());
        QVERIFY(!panel->viewport()->grab().isNull());
    }

    // A row is never measured narrower than its shaped text (the view would
    // cut it off at the scroll range's end), also when added up from kept
    // advances; markup takes no room; and another font is measured anew.
    void rowWidths()
    {
        const QStringList texts{
            QStringLiteral("   12: static int deprecated_call(void *p, size_t n) { return 0; }"),
            QStringLiteral("AVAWATo Te Yo LT P. AVAWATo Te Yo LT P. ffi fl ~`@[]{}|\\"),
            QStringLiteral("caf\u00e9 \u65e5\u672c x\u0301"),
        };
        QFont big = panel->font();
        big.setPointSize(big.pointSize() * 3);
        for (const QFont& font : {panel->font(), big}) {
            const QFontMetrics metrics(font);
            for (const QString& text : texts) {
                const MessageItem item(QStringLiteral("#color{red}") + text);
                const int width = item.width(font);
                QVERIFY2(width >= metrics.horizontalAdvance(text), qPrintable(text));
                QVERIFY2(width <= metrics.horizontalAdvance(text) * 5 / 4 + 2, qPrintable(text));
            }
        }
    }

    void pressOpensFileAtLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("file"); // relative to the temporary folder
        QTest::addColumn<bool>("emits");
        QTest::addColumn<QString>("opened"); // empty: nothing opens
        QTest::addColumn<int>("cursor");

        QTest::newRow("search hit") << "  5: line 5" << 5 << "hit.cpp" << true << "hit.cpp" << 4;
        QTest::newRow("first line") << "  1: line 1" << 1 << "hit.cpp" << true << "hit.cpp" << 0;
        QTest::newRow("traceback")
            << "  File \"@/tb.py\", line 12, in <module>" << -2 << "" << true << "tb.py" << 11;
        // Line 0 names no row; the cursor goes to the first instead of row -1.
        QTest::newRow("traceback line 0")
            << "  File \"@/tb.py\", line 0, in f" << -2 << "" << true << "tb.py" << 0;
        QTest::newRow("relative name")
            << "  File \"tb.py\", line 3, in f" << -2 << "" << true << "tb.py" << 2;
        QTest::newRow("digits but no file") << "main.c:12: error" << -2 << "" << true << "" << 0;
        QTest::newRow("no digits, no line") << "Build finished" << -2 << "" << false << "" << 0;
        QTest::newRow("missing file") << "  2: x" << 2 << "gone.cpp" << true << "" << 0;
        QTest::newRow("folder") << "  2: x" << 2 << "sub" << true << "" << 0;
    }
    void pressOpensFileAtLine()
    {
        QFETCH(QString, text);
        QFETCH(int, line);
        QFETCH(QString, file);
        QFETCH(bool, emits);
        QFETCH(QString, opened);
        QFETCH(int, cursor);
        QVERIFY(!makeFile(QStringLiteral("hit.cpp")).isEmpty());
        QVERIFY(!makeFile(QStringLiteral("tb.py")).isEmpty());
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("sub")));
        const QString oldCwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));

        Editors* editors = Editors::self();
        for (Editor* e : editors->editors()) {
            auto* ce = dynamic_cast<CursorEditor*>(e);
            QVERIFY(ce);
            ce->line = -100;
        }
        Editor* before = editors->current();
        const int editorCount = editors->editors().size();

        text.replace(QLatin1Char('@'), dir.path());
        if (line == -2)
            panel->insertItem(text);
        else
            panel->insertItem(text, line, dir.filePath(file));
        panel->insertItem(QStringLiteral("next"));
        QSignalSpy clicked(panel, qOverload<const QString&, int>(&MessageOutput::clicked));
        press(panel, 0);
        QCOMPARE(clicked.size(), emits ? 1 : 0);

        auto* current = dynamic_cast<CursorEditor*>(editors->current());
        QVERIFY(current);
        if (opened.isEmpty()) {
            QCOMPARE(current, before);
            QCOMPARE(editors->editors().size(), editorCount);
            QCOMPARE(current->line, -100);
        } else {
            QCOMPARE(current->filename(), QDir(dir.path()).absoluteFilePath(opened));
            QCOMPARE(current->line, cursor);
            QCOMPARE(current->column, 0);
            // A second press goes to the editor that holds the file already.
            const int count = editors->editors().size();
            current->line = -100;
            press(panel, 0);
            QCOMPARE(editors->current(), current);
            QCOMPARE(editors->editors().size(), count);
            QCOMPARE(current->line, cursor);
        }
        QVERIFY(QDir::setCurrent(oldCwd));
    }

    void cleanButtonEmptiesPanel()
    {
        // Rows in the list and rows still waiting to reach it go alike.
        for (int i = 0; i < 40; ++i)
            panel->insertItem(QStringLiteral("row %1").arg(i));
        QCoreApplication::processEvents();
        QCOMPARE(panel->model()->rowCount(), 40);
        for (int i = 0; i < 5; ++i)
            panel->insertItem(QStringLiteral("waiting %1").arg(i));
        auto* clean = panel->findChild<QToolButton*>();
        QVERIFY(clean);
        QVERIFY(clean->isVisible());
        // In the lower right corner, clear of the scroll bar.
        const QRect area = panel->viewport()->geometry();
        QVERIFY(area.contains(clean->geometry()));
        QVERIFY(clean->geometry().right() >= area.right() - 1);
        QVERIFY(clean->geometry().bottom() >= area.bottom() - 1);
        QTest::mouseClick(clean, Qt::LeftButton);
        QCOMPARE(panel->count(), 0);
        QCOMPARE(panel->model()->rowCount(), 0);
        panel->insertItem(QStringLiteral("again"));
        QCOMPARE(panel->count(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(panel->model()->rowCount(), 1);
        QCOMPARE(panel->model()->index(0, 0).data().toString(), QStringLiteral("again"));
    }

    void shortcutRaisesPanel()
    {
        auto* other = new QLabel(QStringLiteral("other page"));
        shell->bottomDock()->addWidget(other);
        shell->bottomDock()->raiseWidget(other);
        QCOMPARE(shell->bottomDock()->visibleWidget(), other);
        QApplication::setActiveWindow(shell);
        QVERIFY(QTest::qWaitForWindowActive(shell));
        Action* a = Actions::action(QStringLiteral("bottomDock/messages"));
        QVERIFY(a);
        QCOMPARE(a->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_M));
        QTest::keyClick(shell, Qt::Key_M, Qt::ControlModifier);
        QCOMPARE(shell->bottomDock()->visibleWidget(), panel);
        shell->bottomDock()->removeWidget(other);
        delete other;
    }
};

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"

// HTML export and printing of the editor frame: the coloured fragment of a
// highlighted snippet, line ranges, and printing to PDF files that are read
// back with poppler's pdftotext and pdfinfo (page count, where the text and
// the page numbers landed).

#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>

using namespace xqwidgets;

namespace
{

struct PdfWord {
    QString text;
    QRectF box; // in points, from the page's top-left corner
};

using PdfPage = QList<PdfWord>;

// The words of every page, as pdftotext places them.
QList<PdfPage> readPdf(const QString& path)
{
    QList<PdfPage> pages;
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return pages;
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression word(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    const QStringList chunks = out.split(QStringLiteral("<page "));
    for (int i = 1; i < chunks.size(); ++i) {
        PdfPage page;
        auto it = word.globalMatch(chunks.at(i));
        while (it.hasNext()) {
            const auto m = it.next();
            const QPointF topLeft(m.captured(1).toDouble(), m.captured(2).toDouble());
            const QPointF bottomRight(m.captured(3).toDouble(), m.captured(4).toDouble());
            QString text = m.captured(5);
            text.replace(QLatin1String("&lt;"), QLatin1String("<"))
                .replace(QLatin1String("&gt;"), QLatin1String(">"))
                .replace(QLatin1String("&quot;"), QLatin1String("\""))
                .replace(QLatin1String("&amp;"), QLatin1String("&"));
            page.append({text, QRectF(topLeft, bottomRight)});
        }
        pages.append(page);
    }
    return pages;
}

// The page count written in the file.
int pdfPageCount(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return -1;
    static const QRegularExpression pages(QStringLiteral(R"(^Pages:\s+(\d+)$)"),
                                          QRegularExpression::MultilineOption);
    const auto m = pages.match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// An A4 PDF printer at 72 dots per inch, so that device units are points,
// with the whole sheet as its page.
void setUpPdf(QPrinter* printer, const QString& path)
{
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(path);
    printer->setResolution(72);
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setFullPage(true);
    printer->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Point);
}

QString numberedLines(int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << QStringLiteral("row%1").arg(i, 4, 10, QLatin1Char('0'));
    return lines.join(u'\n');
}

} // namespace

class TestTextPrint : public QObject
{
    Q_OBJECT

    TextEditorManager* m = nullptr;
    TextEditor* e = nullptr;
    QTemporaryDir* dir = nullptr;

    QString path(const QString& name) const { return dir->filePath(name); }

    // Prints on a fresh PDF printer; the number of pages printTo reports.
    int printPdf(const QString& file)
    {
        QPrinter printer(QPrinter::ScreenResolution);
        setUpPdf(&printer, file);
        return e->printTo(&printer);
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            QSKIP("poppler-utils (pdftotext, pdfinfo) are not installed");
    }

    void init()
    {
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        m = new TextEditorManager;
        e = m->createEditor(nullptr, nullptr);
        e->resize(400, 300);
    }

    void cleanup()
    {
        delete e;
        e = nullptr;
        delete m;
        m = nullptr;
        delete dir;
        dir = nullptr;
    }

    // --- HTML -------------------------------------------------------------------

    void htmlOfHighlightedCpp()
    {
        e->setHighlight(QStringLiteral("C++"));
        QCOMPARE(e->highlight(), QStringLiteral("C++"));
        // Comments in italics, as a user's stored style may have them.
        TextHighlight* hl = e->view()->highlight();
        for (int id = 0; id < TextHighlight::MaxIds; ++id) {
            if (TextAttribute* a = hl->attribute(id); a && a->itemName == QLatin1String("Memo"))
                a->fontType = 1;
        }
        e->setText(QStringLiteral("  int n = a<b && c; // x > y\n"
                                  "\treturn \"<s>\";\n"
                                  "}"));
        const QString black = QStringLiteral("<font color=\"#000000\">");
        const QString expected =
            QStringLiteral("<pre>\n") + black + QStringLiteral("&nbsp;&nbsp;</font>") +
            QStringLiteral("<font color=\"#a52a2a\"><b>int</b></font>") + black +
            QStringLiteral(" n = a&lt;b &amp;&amp; c; </font>") +
            QStringLiteral("<font color=\"#008000\"><i>// x &gt; y</i></font>\n") + black +
            QStringLiteral("&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;</font>") +
            QStringLiteral("<font color=\"#0000ff\"><b>return</b></font>") + black +
            QStringLiteral(" </font><font color=\"#ff0000\">\"&lt;s&gt;\"</font>") + black +
            QStringLiteral(";</font>\n") + black + QStringLiteral("}</font>\n</pre>");
        QCOMPARE(e->html(0, -1), expected);
    }

    void htmlRanges_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("body"); // between "<pre>\n" and "</pre>"

        const QString five = QStringLiteral("l0\nl1\nl2\nl3\nl4");
        auto plain = [](const QString& s) {
            return QStringLiteral("<font color=\"#000000\">") + s + QStringLiteral("</font>\n");
        };
        QTest::newRow("to beyond the last line")
            << five << 2 << 100 << plain("l2") + plain("l3") + plain("l4");
        QTest::newRow("-1 is the last line") << five << 3 << -1 << plain("l3") + plain("l4");
        QTest::newRow("from past to") << five << 3 << 1 << QString();
        QTest::newRow("one line") << five << 0 << 0 << plain("l0");
        QTest::newRow("leading blanks kept")
            << QStringLiteral("  x") << 0 << -1 << plain("&nbsp;&nbsp;x");
        QTest::newRow("only leading blanks")
            << QStringLiteral(" a  b ") << 0 << -1 << plain("&nbsp;a  b ");
        QTest::newRow("empty line") << QStringLiteral("a\n\nb") << 1 << 1 << QStringLiteral("\n");
    }

    void htmlRanges()
    {
        QFETCH(QString, text);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, body);
        e->setHighlight(QStringLiteral("NoHighlight"));
        e->setText(text);
        QCOMPARE(e->html(from, to), QStringLiteral("<pre>\n") + body + QStringLiteral("</pre>"));
    }

    // --- Printing -----------------------------------------------------------------

    // Every line printed once and in order, pages filled alike, and under
    // each page's body its number, right-aligned at the body's edge: with
    // 30-point margins on A4 at 72 dpi the body is 30..565 across and 30..812
    // down.
    void pagesAndNumbers()
    {
        const int total = 200;
        e->setText(numberedLines(total));
        const QString file = path(QStringLiteral("long.pdf"));
        const int printed = printPdf(file);
        QVERIFY(printed > 1);
        QCOMPARE(pdfPageCount(file), printed);
        const QList<PdfPage> pages = readPdf(file);
        QCOMPARE(pages.size(), printed);

        QStringList rows;
        QList<int> rowsPerPage;
        for (int k = 0; k < pages.size(); ++k) {
            int onPage = 0;
            bool numbered = false;
            for (const PdfWord& w : pages.at(k)) {
                if (w.text.startsWith(QLatin1String("row"))) {
                    rows << w.text;
                    ++onPage;
                    QVERIFY2(w.box.left() >= 29.5 && w.box.bottom() <= 812.5,
                             qPrintable(w.text + " outside the body"));
                } else {
                    QCOMPARE(w.text, QString::number(k + 1));
                    QVERIFY(std::abs(w.box.right() - 565) <= 1.5);
                    QVERIFY(w.box.top() > 812);
                    QVERIFY(w.box.bottom() < 842);
                    numbered = true;
                }
            }
            QVERIFY2(numbered, qPrintable(QStringLiteral("page %1 has no number").arg(k + 1)));
            rowsPerPage << onPage;
        }
        QCOMPARE(rows.join(u'\n'), numberedLines(total));
        const int perPage = rowsPerPage.first();
        for (int k = 0; k + 1 < rowsPerPage.size(); ++k)
            QCOMPARE(rowsPerPage.at(k), perPage);
        QCOMPARE(printed, (total + perPage - 1) / perPage);
        // The first line starts at the body's top-left corner.
        const QRectF first = pages.first().first().box;
        QVERIFY(std::abs(first.left() - 30) <= 1.5);
        QVERIFY(first.top() >= 30 && first.top() < 30 + first.height());

        // A document one line longer than two pages takes three.
        e->setText(numberedLines(2 * perPage + 1));
        const QString three = path(QStringLiteral("three.pdf"));
        QCOMPARE(printPdf(three), 3);
        QCOMPARE(pdfPageCount(three), 3);
        const QList<PdfPage> threePages = readPdf(three);
        QCOMPARE(threePages.size(), 3);
        for (int k = 0; k < 3; ++k)
            QCOMPARE(threePages.at(k).last().text, QString::number(k + 1));
        QCOMPARE(threePages.at(2).size(), 2); // "row…" and "3"
    }

    void shortDocumentIsOnePage()
    {
        e->setText(QStringLiteral("int x; // <tag> & more"));
        const QString file = path(QStringLiteral("short.pdf"));
        QCOMPARE(printPdf(file), 1);
        QCOMPARE(pdfPageCount(file), 1);
        const QList<PdfPage> pages = readPdf(file);
        QCOMPARE(pages.size(), 1);
        QStringList words;
        for (const PdfWord& w : pages.first())
            words << w.text;
        // Characters that are markup in HTML print as written.
        QCOMPARE(words.join(u' '), QStringLiteral("int x; // <tag> & more 1"));
    }

    // Margins that leave no body print nothing instead of pages without end.
    void marginsLargerThanThePage_data()
    {
        QTest::addColumn<QRect>("margins");
        QTest::newRow("all huge") << QRect(400, 400, 400, 400);
        QTest::newRow("no height left") << QRect(30, 421, 30, 421);
        QTest::newRow("no width left") << QRect(300, 30, 300, 30);
    }

    void marginsLargerThanThePage()
    {
        QFETCH(QRect, margins);
        e->setText(numberedLines(50));
        m->margins = margins;
        const QString file = path(QStringLiteral("none.pdf"));
        QTest::ignoreMessage(QtWarningMsg,
                             "TextEditor::printTo(): the print margins leave no room on the page");
        QCOMPARE(printPdf(file), 0);
        QVERIFY(!QFile::exists(file));
    }

    // print() asks first: a cancelled dialog prints nothing, an accepted one
    // prints on the manager's printer.
    void printAsksFirst_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("cancelled") << false;
        QTest::newRow("accepted") << true;
    }

    void printAsksFirst()
    {
        QFETCH(bool, accept);
        e->setText(numberedLines(3));
        const QString file = path(QStringLiteral("dialog.pdf"));
        setUpPdf(m->printer(), file);
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen = true;
            if (accept)
                dialog->accept();
            else
                dialog->reject();
        });
        e->print();
        QVERIFY(seen);
        QCOMPARE(QFile::exists(file), accept);
        if (accept)
            QCOMPARE(pdfPageCount(file), 1);
    }
};

QTEST_MAIN(TestTextPrint)
#include "tst_textprint.moc"

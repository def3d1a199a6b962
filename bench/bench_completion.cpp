// Word completion, HTML export and printing at scale, through the editor
// frame: the start of a completion on a million lines (the first one, which
// reads every line, and the ones after an edit, which read only the changed
// lines), beside what reading every line with a regular expression on each
// start costs; the HTML of 100k highlighted lines, beside QTextDocument's own
// HTML of the same text; printing 10k lines to PDF. Every figure comes from
// a fresh child process.

#include "benchutil.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QPrinter>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTextDocument>
#include <cstdio>

using namespace xqwidgets;

namespace
{

constexpr int kCompletionLines = 1000000;
constexpr int kHtmlLines = 100000;
constexpr int kPrintLines = 10000;
constexpr int kEdits = 20;

using bench::App;

QString cpp(int lines)
{
    return bench::cppText(lines);
}

// A frame on `lines` generated lines and one more holding "m_t", with the
// caret after it.
TextEditor* frameWithWordAtEnd(TextEditorManager* m, int lines)
{
    TextEditor* e = m->createEditor(nullptr, nullptr);
    e->resize(800, 600);
    e->setHighlight(QStringLiteral("C++"));
    e->setText(cpp(lines) + QStringLiteral("\nm_t"));
    const int last = e->document()->lastLine();
    e->view()->setCursorPosition(last, 3, false);
    return e;
}

QString completionFigures()
{
    App a;
    TextEditorManager m;
    TextEditor* e = frameWithWordAtEnd(&m, kCompletionLines);
    TextDocument* doc = e->document();
    const int last = doc->lastLine();
    const double before = bench::residentBytes();

    QElapsedTimer t;
    t.start();
    const QStringList first = e->completionList(QString());
    const double cold = bench::msSince(t);
    const double indexMb = (bench::residentBytes() - before) / 1048576.0;

    // Type a character, then start again: what every later start costs.
    double warm = 0;
    for (int i = 0; i < kEdits; ++i) {
        doc->cmdInsert(last, int(doc->lineOf(last)->size()), QStringLiteral("o"));
        t.start();
        const QStringList l = e->completionList(QString());
        warm += bench::msSince(t);
        Q_UNUSED(l);
        doc->cmdRemove(last, int(doc->lineOf(last)->size()) - 1, 1);
    }
    warm /= kEdits;

    // The same after an edit far from the caret, in the middle of the text.
    double far = 0;
    for (int i = 0; i < kEdits; ++i) {
        doc->cmdInsert(last / 2, 0, QStringLiteral("x_"));
        t.start();
        const QStringList l = e->completionList(QString());
        far += bench::msSince(t);
        Q_UNUSED(l);
    }
    far /= kEdits;

    // A keyboard step and a pop-up start, both after an edit.
    doc->cmdInsert(last, int(doc->lineOf(last)->size()), QStringLiteral("o"));
    t.start();
    e->completeWordNext();
    const double step = bench::msSince(t);

    // What reading every line with "[\w_]+" on each start would cost.
    static const QRegularExpression word(QStringLiteral("[\\w_]+"));
    t.start();
    QSet<QString> seen;
    QStringList scanned;
    for (int i = 0; i <= last; ++i) {
        auto it = word.globalMatch(*doc->lineOf(i));
        while (it.hasNext()) {
            const QString w = it.next().captured();
            if (w.startsWith(QLatin1String("m_t")) && !seen.contains(w)) {
                seen.insert(w);
                scanned << w;
            }
        }
    }
    const double rescan = bench::msSince(t);

    return QStringLiteral("completion on %1 lines (%2 candidates): first start %3 ms "
                          "(index %4 MB); start after typing %5 ms; after an edit "
                          "elsewhere %6 ms; keyboard step %7 ms; a full regex rescan "
                          "instead %8 ms")
        .arg(last + 1)
        .arg(first.size())
        .arg(cold, 0, 'f', 1)
        .arg(indexMb, 0, 'f', 1)
        .arg(warm, 0, 'f', 2)
        .arg(far, 0, 'f', 2)
        .arg(step, 0, 'f', 2)
        .arg(rescan, 0, 'f', 1);
}

QString htmlFigures()
{
    App a;
    TextEditorManager m;
    TextEditor* e = frameWithWordAtEnd(&m, kHtmlLines);
    QElapsedTimer t;
    t.start();
    const QString cold = e->html(0, -1);
    const double coldMs = bench::msSince(t);
    t.start();
    const QString warm = e->html(0, -1);
    const double warmMs = bench::msSince(t);
    return QStringLiteral("html of %1 highlighted lines: %2 ms with the colouring pass, "
                          "%3 ms coloured already (%4 MB of HTML)")
        .arg(e->document()->lastLine() + 1)
        .arg(coldMs, 0, 'f', 1)
        .arg(warmMs, 0, 'f', 1)
        .arg(double(warm.size()) * 2 / 1048576.0, 0, 'f', 1);
}

QString qtHtmlFigures()
{
    App a;
    QTextDocument doc;
    doc.setPlainText(cpp(kHtmlLines));
    QElapsedTimer t;
    t.start();
    const QString html = doc.toHtml();
    return QStringLiteral("QTextDocument::toHtml of %1 plain lines: %2 ms")
        .arg(kHtmlLines)
        .arg(bench::msSince(t), 0, 'f', 1);
}

QString printFigures()
{
    App a;
    TextEditorManager m;
    TextEditor* e = frameWithWordAtEnd(&m, kPrintLines);
    QTemporaryDir dir;
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("bench.pdf")));
    QElapsedTimer t;
    t.start();
    const int pages = e->printTo(&printer);
    return QStringLiteral("print of %1 lines to PDF: %2 pages in %3 ms")
        .arg(kPrintLines + 1)
        .arg(pages)
        .arg(bench::msSince(t), 0, 'f', 0);
}

} // namespace

int main()
{
    bench::offscreenUnlessSet();
    std::printf("%s\n", qPrintable(bench::inChild(completionFigures)));
    std::printf("%s\n", qPrintable(bench::inChild(htmlFigures)));
    std::printf("%s\n", qPrintable(bench::inChild(qtHtmlFigures)));
    std::printf("%s\n", qPrintable(bench::inChild(printFigures)));
    return 0;
}

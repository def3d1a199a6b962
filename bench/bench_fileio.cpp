// Opening and saving a large file the way each editor does it: Vexa through
// its file layer (read, decode, build the lines; encode line by line into a
// temporary file that replaces the old one), the peers by reading the bytes
// into their widget and writing their whole text back.
//
// Then opening 10 MB of real C++ (the Qt headers of this machine) in a shown
// widget, coloured as C++: to the first paint, and to every line coloured;
// Vexa as its editor binding opens a file (open, then the file name set),
// once as it does now and once with the second colouring pass the name
// used to cost (a fresh copy of the same definition).

#include "benchutil.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textfile.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

#ifdef VEXA_HAVE_QSCINTILLA
#include <Qsci/qscilexercpp.h>
#include <Qsci/qsciscintilla.h>
#endif

using namespace xqwidgets;

namespace
{

QString g_dir;
const int kLines = 1000000;
const int kRuns = 3;

QString source()
{
    return bench::generatedFile(g_dir, kLines);
}

using bench::App;

// "open ms save ms" of one run in a fresh process.
QString figures(double open, double save)
{
    return QStringLiteral("%1 %2").arg(open, 0, 'f', 1).arg(save, 0, 'f', 1);
}

QString runOurs()
{
    App a;
    TextEditorManager m;
    TextDocument doc(&m);
    TextFile file;
    QElapsedTimer t;
    t.start();
    if (!file.load(source(), &doc))
        return QStringLiteral("load failed");
    const double open = bench::msSince(t);
    doc.cmdInsert(10, 0, QStringLiteral("x"));
    t.restart();
    if (!file.save(g_dir + QStringLiteral("/out-ours.cpp"), &doc))
        return QStringLiteral("save failed");
    return figures(open, bench::msSince(t));
}

QString runPlain()
{
    App a;
    QPlainTextEdit edit;
    QElapsedTimer t;
    t.start();
    {
        QFile f(source());
        f.open(QIODevice::ReadOnly);
        edit.setPlainText(QString::fromUtf8(f.readAll()));
    }
    const double open = bench::msSince(t);
    t.restart();
    QFile out(g_dir + QStringLiteral("/out-plain.cpp"));
    out.open(QIODevice::WriteOnly);
    out.write(edit.toPlainText().toUtf8());
    out.close();
    return figures(open, bench::msSince(t));
}

#ifdef VEXA_HAVE_QSCINTILLA
QString runScintilla()
{
    App a;
    QsciScintilla edit;
    edit.setUtf8(true);
    QElapsedTimer t;
    t.start();
    {
        QFile f(source());
        f.open(QIODevice::ReadOnly);
        edit.setText(QString::fromUtf8(f.readAll()));
    }
    const double open = bench::msSince(t);
    t.restart();
    QFile out(g_dir + QStringLiteral("/out-sci.cpp"));
    out.open(QIODevice::WriteOnly);
    out.write(edit.text().toUtf8());
    out.close();
    return figures(open, bench::msSince(t));
}
#endif

// Median open and save times over kRuns fresh processes.
void measure(const char* who, const std::function<QString()>& run)
{
    std::vector<double> open, save;
    for (int i = 0; i < kRuns; ++i) {
        const QStringList parts = bench::inChild(run).split(QLatin1Char(' '));
        if (parts.size() != 2) {
            std::printf("%-16s | %s\n", who, qPrintable(parts.join(QLatin1Char(' '))));
            return;
        }
        open.push_back(parts[0].toDouble());
        save.push_back(parts[1].toDouble());
    }
    std::sort(open.begin(), open.end());
    std::sort(save.begin(), save.end());
    std::printf("%-16s | %10.1f ms | %10.1f ms\n", who, open[kRuns / 2], save[kRuns / 2]);
}

// --- Opening a big file in a shown widget -------------------------------------------

QString g_headers;

// "first paint ms colour all ms" of one run in a fresh process.
QString openOurs(bool secondPass)
{
    App a;
    TextEditorManager m;
    TextEditor* e = m.createEditor(nullptr, nullptr);
    e->resize(1000, 800);
    e->show();
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    if (!e->open(g_headers))
        return QStringLiteral("open failed");
    e->setFilePath(g_headers);

    if (secondPass) // what setting the name did before: a fresh copy, coloured again
        e->view()->setHighlightByFileName(QFileInfo(g_headers).fileName());
    QApplication::processEvents();
    e->view()->repaint();
    const double first = bench::msSince(t);
    TextDocument* doc = e->document();
    doc->ensureContexts(doc->lastLine());
    for (int i = 0; i <= doc->lastLine(); ++i)
        doc->colourLine(e->view(), i);
    return figures(first, bench::msSince(t));
}

QString openPlain()
{
    App a;
    QPlainTextEdit edit;
    edit.resize(1000, 800);
    edit.show();
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    QFile f(g_headers);
    f.open(QIODevice::ReadOnly);
    edit.setPlainText(QString::fromUtf8(f.readAll()));
    QApplication::processEvents();
    edit.viewport()->repaint();
    return figures(bench::msSince(t), -1);
}

#ifdef VEXA_HAVE_QSCINTILLA
QString openScintilla()
{
    App a;
    QsciScintilla edit;
    edit.setUtf8(true);
    QsciLexerCPP lexer;
    edit.setLexer(&lexer);
    edit.resize(1000, 800);
    edit.show();
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    QFile f(g_headers);
    f.open(QIODevice::ReadOnly);
    edit.setText(QString::fromUtf8(f.readAll()));
    QApplication::processEvents();
    edit.viewport()->repaint();
    const double first = bench::msSince(t);
    edit.SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0L, -1L);
    return figures(first, bench::msSince(t));
}
#endif

void openBigFile()
{
    QTemporaryDir dir;
    g_headers = dir.filePath(QStringLiteral("headers.h"));
    const QString text = bench::qtHeaders(10);
    {
        QFile f(g_headers);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write(text.toUtf8());
    }
    std::printf("\nopen %.1f MB of C++ headers (%lld lines) in a shown widget, median of %d "
                "runs\n",
                double(QFileInfo(g_headers).size()) / 1048576.0,
                (long long)text.count(QLatin1Char('\n')), kRuns);
    std::printf("%-26s | %18s | %18s\n", "", "to first paint", "to all coloured");
    auto open = [](const char* who, const std::function<QString()>& run) {
        std::vector<double> first, all;
        for (int i = 0; i < kRuns; ++i) {
            const QStringList parts = bench::inChild(run).split(QLatin1Char(' '));
            if (parts.size() != 2) {
                std::printf("%-26s | %s\n", who, qPrintable(parts.join(QLatin1Char(' '))));
                return;
            }
            first.push_back(parts[0].toDouble());
            all.push_back(parts[1].toDouble());
        }
        std::sort(first.begin(), first.end());
        std::sort(all.begin(), all.end());
        if (all[kRuns / 2] < 0)
            std::printf("%-26s | %15.1f ms | %18s\n", who, first[kRuns / 2], "-");
        else
            std::printf("%-26s | %15.1f ms | %15.1f ms\n", who, first[kRuns / 2], all[kRuns / 2]);
    };
    open("Vexa", [] { return openOurs(false); });
    open("Vexa, second pass", [] { return openOurs(true); });
    open("QPlainTextEdit", openPlain);
#ifdef VEXA_HAVE_QSCINTILLA
    open("QsciScintilla+LexerCPP", openScintilla);
#endif
}

} // namespace

int main(int argc, char** argv)
{
    bench::offscreenUnlessSet();
    // "open": only the big file in a shown widget.
    if (argc > 1 && QByteArray(argv[1]) == "open") {
        openBigFile();
        return 0;
    }
    QTemporaryDir dir;
    g_dir = dir.path();
    source();
    std::printf("open and save %d lines (%lld bytes), median of %d runs\n", kLines,
                QFileInfo(source()).size(), kRuns);
    std::printf("%-16s | %13s | %13s\n", "", "open", "save");
    measure("Vexa file layer", runOurs);
    measure("QPlainTextEdit", runPlain);
#ifdef VEXA_HAVE_QSCINTILLA
    measure("QsciScintilla", runScintilla);
#else
    std::printf("%-16s | (not built)\n", "QsciScintilla");
#endif
    openBigFile();
    return 0;
}

// Opening and saving a large file the way each editor does it: Vexa through
// its file layer (read, decode, build the lines; encode line by line into a
// temporary file that replaces the old one), the peers by reading the bytes
// into their widget and writing their whole text back.
//
// Then opening 10 MB of real C++ (the C++ standard library's headers, then
// the Qt headers of this machine) in a shown widget, coloured as C++: to the
// first paint, and to every line coloured, several runs each with median and
// worst; Vexa as its editor binding opens a file (open, then the file name
// set), once as it does now and once with the second colouring pass the name
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
#include <optional>
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
// Runs of each program on the big file: enough to show how far they spread.
const int kOpenRuns = 7;

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
// Whether openOurs prints the processor time of each step.
bool g_phases = false;

// "first paint ms colour all ms" of one run in a fresh process.
QString openOurs(bool secondPass, bool ownApp = true)
{
    std::optional<App> a;
    if (ownApp)
        a.emplace();
    TextEditorManager m;
    TextEditor* e = m.createEditor(nullptr, nullptr);
    e->resize(1000, 800);
    e->show();
    QApplication::processEvents();
    const double cpuStart = bench::cpuMs();
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
    const double cpuFirst = bench::cpuMs();
    doc->ensureContexts(doc->lastLine());
    const double cpuContexts = bench::cpuMs();
    for (int i = 0; i <= doc->lastLine(); ++i)
        doc->colourLine(e->view(), i);
    const double all = bench::msSince(t);
    if (g_phases) {
        const double cpuAll = bench::cpuMs();
        std::printf("processor ms: to first paint %.1f, context pass %.1f, colouring %.1f\n",
                    cpuFirst - cpuStart, cpuContexts - cpuFirst, cpuAll - cpuContexts);
    }
    return figures(first, all);
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

// Median and worst of a series of runs.
struct Spread {
    std::vector<double> runs;
    double median() const
    {
        std::vector<double> v = runs;
        std::sort(v.begin(), v.end());
        return v.empty() ? -1 : v[v.size() / 2];
    }
    double worst() const { return runs.empty() ? -1 : *std::max_element(runs.begin(), runs.end()); }
};

struct Opener {
    Opener(const char* who, std::function<QString()> run) : who(who), run(std::move(run)) {}
    const char* who;
    std::function<QString()> run;
    Spread first;
    Spread all;
    QString failure;
};

QString cell(const Spread& s)
{
    if (s.runs.empty() || s.median() < 0)
        return QStringLiteral("-");
    return QStringLiteral("%1 / %2").arg(s.median(), 0, 'f', 1).arg(s.worst(), 0, 'f', 1);
}

QString ratio(double a, double b)
{
    return a >= 0 && b > 0 ? QString::number(a / b, 'f', 2) : QStringLiteral("-");
}

// One corpus opened by every program, each run a fresh process; the runs of
// the programs alternate, so that what else the machine does at a moment
// weighs on all of them alike.
void openBigFile(const char* what, const std::function<QString()>& corpus)
{
    QTemporaryDir dir;
    g_headers = dir.filePath(QStringLiteral("headers.h"));
    // The text is made and written by a child: a parent that had held it
    // would leave its freed heap to every measured child, shared until
    // written and then copied page by page, which weighs on whoever takes
    // that memory first (the corpus measured second lost half its lead).
    const QString lines = bench::inChild([&] {
        const QString text = corpus();
        QFile f(g_headers);
        if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) < 0)
            return QString();
        return QString::number(text.count(QLatin1Char('\n')));
    });
    if (lines.isEmpty())
        return;
    std::printf("\nopen %.1f MB of %s (%s lines) in a shown widget, %d runs each: "
                "median / worst ms\n",
                double(QFileInfo(g_headers).size()) / 1048576.0, what, qPrintable(lines),
                kOpenRuns);
    std::printf("%-26s | %22s | %22s\n", "", "to first paint", "to all coloured");
    std::vector<Opener> openers;
    openers.emplace_back("Vexa", [] { return openOurs(false); });
    openers.emplace_back("Vexa, second pass", [] { return openOurs(true); });
    openers.emplace_back("QPlainTextEdit", openPlain);
#ifdef VEXA_HAVE_QSCINTILLA
    openers.emplace_back("QsciScintilla+LexerCPP", openScintilla);
#endif
    for (int i = 0; i < kOpenRuns; ++i) {
        for (Opener& o : openers) {
            if (!o.failure.isEmpty())
                continue;
            const QStringList parts = bench::inChild(o.run).split(QLatin1Char(' '));
            if (parts.size() != 2) {
                o.failure = parts.join(QLatin1Char(' '));
                continue;
            }
            o.first.runs.push_back(parts[0].toDouble());
            o.all.runs.push_back(parts[1].toDouble());
        }
    }
    for (const Opener& o : openers) {
        if (!o.failure.isEmpty())
            std::printf("%-26s | %s\n", o.who, qPrintable(o.failure));
        else
            std::printf("%-26s | %22s | %22s\n", o.who, qPrintable(cell(o.first)),
                        qPrintable(cell(o.all)));
    }
#ifdef VEXA_HAVE_QSCINTILLA
    const Opener& ours = openers.front();
    const Opener& sci = openers.back();
    if (ours.failure.isEmpty() && sci.failure.isEmpty()) {
        std::printf("%-26s | %22s | %22s\n", "Vexa / QScintilla",
                    qPrintable(ratio(ours.first.median(), sci.first.median()) +
                               QStringLiteral(" / ") +
                               ratio(ours.first.worst(), sci.first.worst())),
                    qPrintable(ratio(ours.all.median(), sci.all.median()) + QStringLiteral(" / ") +
                               ratio(ours.all.worst(), sci.all.worst())));
    }
#endif
}

void openBigFiles()
{
    openBigFile("the C++ standard library headers", [] { return bench::standardHeaders(10); });
    openBigFile("the Qt headers", [] { return bench::qtHeaders(10); });
}

// One opening by the component in this process, for a profiler: "open ours",
// or "open ours qt" for the Qt headers.
int openOursHere(bool qtHeaders)
{
    QTemporaryDir dir;
    g_headers = dir.filePath(QStringLiteral("headers.h"));
    QFile f(g_headers);
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    f.write((qtHeaders ? bench::qtHeaders(10) : bench::standardHeaders(10)).toUtf8());
    f.close();
    int argc = 1;
    char name[] = "bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    g_phases = true;
    std::printf("%s\n", qPrintable(openOurs(false, false)));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    bench::offscreenUnlessSet();
    // "open": only the big files in a shown widget; "open ours": the
    // component alone, once, in this process (for a profiler).
    if (argc > 2 && QByteArray(argv[1]) == "open" && QByteArray(argv[2]) == "ours")
        return openOursHere(argc > 3 && QByteArray(argv[3]) == "qt");
    if (argc > 1 && QByteArray(argv[1]) == "open") {
        openBigFiles();
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
    openBigFiles();
    return 0;
}

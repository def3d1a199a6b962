// What a user meets first in a file, beside the peers in the same run, each
// run a fresh process, the programs taking turns:
//
// - opening 1 MB and 10 MB of C++ headers in a shown widget: the time to
//   the first paint, and the memory the process holds once every line is
//   coloured beyond what it held before, per byte of the file;
// - the first keys typed into a file that is one 5 MB line of minified data
//   coloured as C++, at its start and at its end, each timed to the end of
//   its repaint.
//
// Usage: bench_firstuse [open|line] [runs]
//        bench_firstuse here FILE N   (FILE opened N times here, for a profiler)
//        bench_firstuse keys FILE     (the long-line keys here, for a profiler)
// VEXA_BENCH_PHASES=1 prints the steps of each opening and each key;
// VEXA_BENCH_START_ONLY=1 types at the start of the line only.

#include "benchutil.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
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

using bench::App;
using bench::key;

QString g_path;

QString readText()
{
    QFile f(g_path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

// One program under test: a shown widget that opens the file, colours all
// of it, and takes keys.
struct Subject {
    virtual ~Subject() = default;
    virtual QWidget* widget() = 0;
    virtual QWidget* surface() = 0;
    virtual bool open() = 0;
    virtual void colourAll() = 0;
};

struct Ours : Subject {
    TextEditorManager m;
    TextEditor* e = m.createEditor(nullptr, nullptr);
    QWidget* widget() override { return e; }
    QWidget* surface() override { return e->view(); }
    // As the editor binding opens a file: the file, then its name (which
    // picks the colouring).
    bool open() override
    {
        const bool phases = qEnvironmentVariableIsSet("VEXA_BENCH_PHASES");
        const double r0 = phases ? bench::residentBytes() : 0;
        const double c0 = bench::cpuMs();
        if (!e->open(g_path))
            return false;
        const double c1 = bench::cpuMs();
        const double r1 = phases ? bench::residentBytes() : 0;
        const double c2 = bench::cpuMs();
        e->setFilePath(g_path);
        const double c3 = bench::cpuMs();
        if (phases) {
            std::fprintf(stderr, "open %.0f KB, name %.0f KB, lines %d\n", (r1 - r0) / 1024,
                         (bench::residentBytes() - r1) / 1024, e->document()->lastLine() + 1);
            std::fprintf(stderr, "cpu ms: open %.2f, name %.2f\n", c1 - c0, c3 - c2);
        }
        return true;
    }
    void colourAll() override
    {
        TextDocument* doc = e->document();
        doc->ensureContexts(doc->lastLine());
        for (int i = 0; i <= doc->lastLine(); ++i)
            doc->colourLine(e->view(), i);
    }
};

struct Plain : Subject {
    QPlainTextEdit w;
    QWidget* widget() override { return &w; }
    QWidget* surface() override { return w.viewport(); }
    bool open() override
    {
        w.setPlainText(readText());
        return true;
    }
    void colourAll() override {} // no colouring of its own
};

#ifdef VEXA_HAVE_QSCINTILLA
struct Scintilla : Subject {
    QsciScintilla w;
    QsciLexerCPP lexer;
    Scintilla()
    {
        w.setUtf8(true);
        w.setLexer(&lexer);
    }
    QWidget* widget() override { return &w; }
    QWidget* surface() override { return w.viewport(); }
    bool open() override
    {
        w.setText(readText());
        return true;
    }
    void colourAll() override { w.SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0L, -1L); }
};
#endif

Subject* make(int kind)
{
    switch (kind) {
    case 0:
        return new Ours;
    case 1:
        return new Plain;
#ifdef VEXA_HAVE_QSCINTILLA
    case 2:
        return new Scintilla;
#endif
    default:
        return nullptr;
    }
}

const char* const kNames[] = {"Vexa", "QPlainTextEdit (uncoloured)", "QsciScintilla+LexerCPP"};
#ifdef VEXA_HAVE_QSCINTILLA
const int kKinds = 3;
#else
const int kKinds = 2;
#endif

void showWidget(Subject* s)
{
    s->widget()->resize(1000, 800);
    s->widget()->show();
    s->widget()->activateWindow();
    s->surface()->setFocus();
    QApplication::processEvents();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

double worst(const std::vector<double>& v)
{
    return v.empty() ? -1 : *std::max_element(v.begin(), v.end());
}

// --- opening -------------------------------------------------------------------

// "first paint ms, bytes added per byte of file" of one run.
QString openOnce(int kind)
{
    App a;
    Subject* s = make(kind);
    showWidget(s);
    const double before = bench::residentBytes();
    QElapsedTimer t;
    t.start();
    if (!s->open())
        return QStringLiteral("open failed");
    const double c0 = bench::cpuMs();
    QApplication::processEvents();
    const double c1 = bench::cpuMs();
    s->surface()->repaint();
    const double first = bench::msSince(t);
    if (qEnvironmentVariableIsSet("VEXA_BENCH_PHASES"))
        std::fprintf(stderr, "%s cpu ms: events %.2f, repaint %.2f\n", kNames[kind], c1 - c0,
                     bench::cpuMs() - c1);
    const double painted = bench::residentBytes() - before;
    s->colourAll();
    const double added = bench::residentBytes() - before;
    if (qEnvironmentVariableIsSet("VEXA_BENCH_PHASES"))
        std::fprintf(stderr, "%s: %.2f B/byte at the first paint, %.2f all coloured\n",
                     kNames[kind], painted / double(QFileInfo(g_path).size()),
                     added / double(QFileInfo(g_path).size()));
    return QStringLiteral("%1 %2")
        .arg(first, 0, 'f', 2)
        .arg(added / double(QFileInfo(g_path).size()), 0, 'f', 3);
}

void openFiles(int runs)
{
    for (int mb : {1, 10}) {
        QTemporaryDir dir;
        g_path = dir.filePath(QStringLiteral("headers.h"));
        // Written by a child, so that no measured child inherits its heap.
        bench::inChild([&] {
            QFile f(g_path);
            if (f.open(QIODevice::WriteOnly))
                f.write(bench::standardHeaders(mb).toUtf8());
            return QStringLiteral("ok");
        });
        std::printf("\nopen %.1f MB of the C++ standard library headers in a shown widget, "
                    "%d runs each, median (worst)\n",
                    double(QFileInfo(g_path).size()) / 1048576.0, runs);
        std::printf("%-28s | %20s | %26s\n", "", "to first paint ms",
                    "bytes added per byte, all coloured");
        std::vector<double> first[kKinds], perByte[kKinds];
        for (int r = 0; r < runs; ++r)
            for (int k = 0; k < kKinds; ++k) {
                const QStringList parts =
                    bench::inChild([&] { return openOnce(k); }, 120).split(QLatin1Char(' '));
                if (parts.size() == 2) {
                    first[k].push_back(parts[0].toDouble());
                    perByte[k].push_back(parts[1].toDouble());
                }
            }
        for (int k = 0; k < kKinds; ++k)
            std::printf("%-28s | %10.1f (%7.1f) | %16.2f (%7.2f)\n", kNames[k], median(first[k]),
                        worst(first[k]), median(perByte[k]), worst(perByte[k]));
        if (kKinds == 3 && median(first[2]) > 0)
            std::printf("%-28s | %20.2f | %26.2f\n", "Vexa / QScintilla",
                        median(first[0]) / median(first[2]),
                        median(perByte[0]) / median(perByte[2]));
    }
}

// --- the first keys in a long line ------------------------------------------

// "k1 k2 k3 median max" for `keys` keys at the start, then the same at the
// end, each key timed to the end of its repaint.
QString keysOnce(int kind, int keys)
{
    App a;
    Subject* s = make(kind);
    showWidget(s);
    if (!s->open())
        return QStringLiteral("open failed");
    QApplication::processEvents();
    s->surface()->repaint();
    QString out;
    const int places = qEnvironmentVariableIsSet("VEXA_BENCH_START_ONLY") ? 1 : 2;
    for (int where = 0; where < places; ++where) {
        if (where == 1) {
            key(s->surface(), Qt::Key_End, Qt::ControlModifier);
            QApplication::processEvents();
        }
        std::vector<double> ms;
        for (int i = 0; i < keys; ++i) {
            QElapsedTimer t;
            t.start();
            key(s->surface(), Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
            QApplication::processEvents();
            s->surface()->repaint();
            ms.push_back(bench::msSince(t));
            if (qEnvironmentVariableIsSet("VEXA_BENCH_PHASES"))
                std::fprintf(stderr, "%s key %d: %.2f ms\n", where ? "end" : "start", i, ms.back());
        }
        out += QStringLiteral("%1 %2 %3 %4 %5 ")
                   .arg(ms[0], 0, 'f', 2)
                   .arg(ms[1], 0, 'f', 2)
                   .arg(ms[2], 0, 'f', 2)
                   .arg(median(ms), 0, 'f', 2)
                   .arg(worst(ms), 0, 'f', 2);
    }
    return out.trimmed();
}

void longLine(int runs)
{
    QTemporaryDir dir;
    g_path = dir.filePath(QStringLiteral("minified.cpp"));
    bench::inChild([&] {
        QFile f(g_path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bench::minifiedData(5).toUtf8());
        return QStringLiteral("ok");
    });
    std::printf("\none 5 MB line of minified data coloured as C++: keys typed right after the "
                "first paint, ms to the end of each repaint;\nmedian over runs of each figure "
                "(Vexa %d runs of 20 keys; peers 1 run of 3 keys)\n",
                runs);
    std::printf("%-28s | %-38s | %-38s\n", "", "at the start: 1st 2nd 3rd median max",
                "at the end: 1st 2nd 3rd median max");
    for (int k = 0; k < kKinds; ++k) {
        const int n = k == 0 ? runs : 1;
        std::vector<double> figures[10];
        for (int r = 0; r < n; ++r) {
            const QStringList parts =
                bench::inChild([&] { return keysOnce(k, k == 0 ? 20 : 3); }, 300)
                    .split(QLatin1Char(' '));
            if (parts.size() != 10) {
                std::printf("%-28s | %s\n", kNames[k], qPrintable(parts.join(QLatin1Char(' '))));
                break;
            }
            for (int i = 0; i < 10; ++i)
                figures[i].push_back(parts[i].toDouble());
        }
        if (figures[0].empty())
            continue;
        QString cells[2];
        for (int where = 0; where < 2; ++where)
            for (int i = 0; i < 5; ++i)
                cells[where] += QString::number(i == 4 ? worst(figures[where * 5 + i])
                                                       : median(figures[where * 5 + i]),
                                                'f', 2) +
                                QLatin1Char(' ');
        std::printf("%-28s | %-38s | %-38s\n", kNames[k], qPrintable(cells[0]),
                    qPrintable(cells[1]));
    }
    std::printf("(1st 2nd 3rd median: medians over the runs; max: the worst of all runs)\n");
}

// For a profiler: the file at `path` opened to its first paint `times`
// times in this process, each in a fresh editor.
int openHere(const QString& path, int times)
{
    App a;
    g_path = path;
    for (int i = 0; i < times; ++i) {
        Ours s;
        showWidget(&s);
        if (!s.open())
            return 1;
        QApplication::processEvents();
        s.surface()->repaint();
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    bench::offscreenUnlessSet();
    const QByteArray what = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    // "here FILE N": FILE opened N times in this process, for a profiler.
    if (what == "here" && argc > 3)
        return openHere(QString::fromLocal8Bit(argv[2]), atoi(argv[3]));
    // "keys FILE": the keys of the long-line figures typed into FILE, in
    // this process, for a profiler.
    if (what == "keys" && argc > 2) {
        g_path = QString::fromLocal8Bit(argv[2]);
        std::printf("%s\n", qPrintable(keysOnce(0, 20)));
        return 0;
    }
    const int runs = argc > 2 ? qMax(1, atoi(argv[2])) : 7;
    if (what.isEmpty() || what == "open")
        openFiles(runs);
    if (what.isEmpty() || what == "line")
        longLine(runs);
    return 0;
}

// Regular-expression searches that the expression engine cannot decide
// quickly, through the editor frame's find and the search in files: one line
// of 10^4, 10^6 and 10^7 characters and 10,000 short lines, each hostile to
// backtracking. For each, the worst lateness of a 10 ms timer on the window's
// thread while the search runs (the long-run handler and the search's yield
// run the event loop, as the program's progress box does), and the time from
// Stop (pressed once the search has run a second) to the end of the search;
// a search that ends by itself first gives its whole time. The peers'
// regular-expression find (QTextDocument, QScintilla) holds its thread for
// the whole search: their figure is its time, capped. Every figure comes
// from a fresh child process.

#include "benchutil.h"
#include "vexa/search/filesearch.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextDocument>
#include <cstdio>

#ifdef VEXA_HAVE_QSCINTILLA
#include <Qsci/qsciscintilla.h>
#endif

using namespace xqwidgets;

namespace
{

constexpr int kStopAfterMs = 1000;
constexpr int kCapSeconds = 60;

struct Case {
    const char* name;
    QString text;
    QString pattern;
};

QString ms(double v)
{
    return QString::number(v, 'f', 1);
}

// What a search measured gives: its heartbeat and Stop figures.
QString figures(double heartbeat, bool stopped, double stopMs, double totalMs)
{
    return QStringLiteral("heartbeat %1 ms, %2")
        .arg(ms(heartbeat), stopped ? QStringLiteral("Stop to end %1 ms").arg(ms(stopMs))
                                    : QStringLiteral("ended by itself in %1 ms").arg(ms(totalMs)));
}

QString vexaFind(const Case& c)
{
    return bench::inChild(
        [&] {
            bench::App app;
            TextEditorManager m;
            TextEditor* e = m.createEditor(nullptr, nullptr);
            e->document()->loadText(c.text);
            QElapsedTimer total;
            QElapsedTimer sinceStop;
            bool stopped = false;
            TextEditor::setLongRunHandler([&](int, int) {
                QCoreApplication::processEvents();
                if (total.elapsed() < kStopAfterMs)
                    return true;
                if (!stopped) {
                    stopped = true;
                    sinceStop.start();
                }
                return false;
            });
            bench::Heartbeat beat;
            total.start();
            beat.reset();
            e->findRegexp(c.pattern, true, false, false);
            const double stopMs = stopped ? bench::msSince(sinceStop) : 0;
            const double totalMs = bench::msSince(total);
            QCoreApplication::processEvents();
            return figures(beat.worst, stopped, stopMs, totalMs);
        },
        kCapSeconds);
}

QString vexaFiles(const Case& c)
{
    return bench::inChild(
        [&] {
            bench::App app;
            QTemporaryDir dir;
            QFile f(dir.filePath(QStringLiteral("hostile.txt")));
            if (!f.open(QIODevice::WriteOnly) || f.write(c.text.toUtf8()) < 0)
                return QStringLiteral("(cannot write)");
            f.close();
            vexa::FileSearch search;
            search.options = [&] { return vexa::SearchOptions{c.pattern, true, false, true}; };
            QElapsedTimer total;
            QElapsedTimer sinceStop;
            bool stopped = false;
            search.yield = [&](const QString&) {
                QCoreApplication::processEvents();
                if (!stopped && total.elapsed() >= kStopAfterMs) {
                    stopped = true;
                    sinceStop.start();
                    search.cancel();
                }
            };
            bench::Heartbeat beat;
            total.start();
            beat.reset();
            search.run(dir.path());
            const double stopMs = stopped ? bench::msSince(sinceStop) : 0;
            const double totalMs = bench::msSince(total);
            QCoreApplication::processEvents();
            return figures(beat.worst, stopped, stopMs, totalMs);
        },
        kCapSeconds);
}

QString plainTextEditFind(const Case& c)
{
    return bench::inChild(
        [&] {
            bench::App app;
            QPlainTextEdit edit;
            edit.setPlainText(c.text);
            QElapsedTimer t;
            t.start();
            edit.document()->find(QRegularExpression(c.pattern));
            return QStringLiteral("thread held %1 ms").arg(ms(bench::msSince(t)));
        },
        kCapSeconds);
}

#ifdef VEXA_HAVE_QSCINTILLA
QString scintillaFind(const Case& c)
{
    return bench::inChild(
        [&] {
            bench::App app;
            QsciScintilla sci;
            sci.setText(c.text);
            QElapsedTimer t;
            t.start();
            sci.findFirst(c.pattern, true, true, false, false, true, 0, 0, false);
            return QStringLiteral("thread held %1 ms").arg(ms(bench::msSince(t)));
        },
        kCapSeconds);
}
#endif

QString shortLines(int lines)
{
    return (QString(40, u'x') + QStringLiteral("zy\n")).repeated(lines);
}

} // namespace

int main()
{
    bench::offscreenUnlessSet();
    const QString dotStars = QStringLiteral(".*.*.*.*.*b");
    const QString words = QStringLiteral("(\\w+\\s?)+\\d");
    const Case editorCases[] = {
        {"1 line of 10^4 a, .*.*.*.*.*b", QString(10000, u'a'), dotStars},
        {"1 line of 10^6 a, .*.*.*.*.*b", QString(1000000, u'a'), dotStars},
        {"1 line of 10^7 a, .*.*.*.*.*b", QString(10000000, u'a'), dotStars},
        {"10,000 lines of 40 x zy, (x+x+)+y", shortLines(10000), QStringLiteral("(x+x+)+y")},
        {"1 line of 10^6 of words, (\\w+\\s?)+\\d", QStringLiteral("word ").repeated(200000),
         words},
    };
    std::printf("Find (editor frame), Stop after %d ms\n", kStopAfterMs);
    for (const Case& c : editorCases) {
        std::printf("  %s\n", c.name);
        std::printf("    %-16s %s\n", "Vexa", qPrintable(vexaFind(c)));
        std::printf("    %-16s %s\n", "QPlainTextEdit", qPrintable(plainTextEditFind(c)));
#ifdef VEXA_HAVE_QSCINTILLA
        std::printf("    %-16s %s\n", "QScintilla", qPrintable(scintillaFind(c)));
#endif
        std::fflush(stdout);
    }
    // The search in files takes lines in pieces of at most a megabyte.
    const QString dotStarsClass = QStringLiteral(".*.*.*.*.*b[c]");
    const Case fileCases[] = {
        {"1 line of b and 10^4 a, .*.*.*.*.*b[c]", QLatin1Char('b') + QString(10000, u'a'),
         dotStarsClass},
        {"1 line of b and 10^6 a, .*.*.*.*.*b[c]", QLatin1Char('b') + QString(1000000, u'a'),
         dotStarsClass},
        {"1 line of b and 10^7 a, .*.*.*.*.*b[c]", QLatin1Char('b') + QString(10000000, u'a'),
         dotStarsClass},
        {"10,000 lines of 40 x zy, (x+x+)+y", shortLines(10000), QStringLiteral("(x+x+)+y")},
        {"1 line of 10^6 of words, (\\w+\\s?)+\\d", QStringLiteral("word ").repeated(200000),
         words},
    };
    std::printf("Search in files, Stop after %d ms\n", kStopAfterMs);
    for (const Case& c : fileCases) {
        std::printf("  %s\n", c.name);
        std::printf("    %-16s %s\n", "Vexa", qPrintable(vexaFiles(c)));
        std::fflush(stdout);
    }
    return 0;
}

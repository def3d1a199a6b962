// The main window right after it appears: how long the GUI thread is held at
// a time by the window's start-up work (the worst lateness of a 10 ms timer
// over the 3 s after show(), and the gaps over 20 ms with when they came),
// and Run pressed at once (its command, `true`, timed from the press to its
// exit line in the messages panel). Beside it, in the same run, a bare
// QMainWindow with a text edit and a tree in a dock that starts a QProcess
// (the floor). Each run a fresh process; medians of the runs.
//
// Usage: bench_startup [runs]
//        bench_startup here [run]   (once in this process, for a profiler)

#include "benchutil.h"
#include "vexa/messages/messageitem.h"
#include "vexa/messages/messageoutput.h"
#include "vexa/runmake.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QDockWidget>
#include <QEventLoop>
#include <QFile>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

// The gaps of the GUI thread over 20 ms from show() on, for `ms`.
struct Gaps {
    QElapsedTimer sinceShow;
    QElapsedTimer tick;
    QTimer timer;
    double worst = 0;
    QStringList over20;
    void start()
    {
        sinceShow.start();
        tick.start();
        timer.setInterval(10);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const double gap = bench::msSince(tick) - 10.0;
            if (gap > 20)
                over20.append(QStringLiteral("%1@%2")
                                  .arg(gap, 0, 'f', 0)
                                  .arg(bench::msSince(sinceShow) - gap, 0, 'f', 0));
            worst = qMax(worst, gap);
            tick.restart();
        });
        timer.start();
    }
};

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// "worstGap runMs gaps..." with Run pressed right after show() when `run`.
QString ours(bool run)
{
    bench::App app;
    vexa::Settings::setKeyPrefix(QStringLiteral("/vexa"));
    vexa::Settings::write(QStringLiteral("/scripts/runProject"), QStringLiteral("true"));
    auto* shell = new vexa::Shell(nullptr, "vexa::Shell");
    vexa::startServices(shell);
    vexa::MessageOutput* panel = vexa::MessageOutput::self();
    QElapsedTimer sincePress;
    double runMs = -1;
    QObject::connect(panel->model(), &QAbstractItemModel::rowsInserted, [&] {
        if (runMs >= 0 || !sincePress.isValid() || panel->count() == 0)
            return;
        const QString last =
            static_cast<vexa::MessageItem*>(panel->item(panel->count() - 1))->rawText();
        if (last.contains(QLatin1String(" finished. Exit code ")))
            runMs = bench::msSince(sincePress);
    });
    Gaps gaps;
    shell->resize(1200, 850);
    shell->show();
    gaps.start();
    if (run)
        QTimer::singleShot(0, [&] {
            sincePress.start();
            vexa::RunMake::self()->run();
        });
    runFor(3000);
    return QStringLiteral("%1 %2 %3")
        .arg(gaps.worst, 0, 'f', 1)
        .arg(runMs, 0, 'f', 1)
        .arg(gaps.over20.join(QLatin1Char(',')));
}

QString floor(bool run)
{
    bench::App app;
    QMainWindow w;
    w.menuBar()->addMenu(QStringLiteral("File"));
    w.setCentralWidget(new QPlainTextEdit);
    auto* dock = new QDockWidget(QStringLiteral("Files"));
    dock->setWidget(new QTreeView);
    w.addDockWidget(Qt::LeftDockWidgetArea, dock);
    QProcess p;
    QElapsedTimer sincePress;
    double runMs = -1;
    QObject::connect(&p, &QProcess::finished, [&] { runMs = bench::msSince(sincePress); });
    Gaps gaps;
    w.resize(1200, 850);
    w.show();
    gaps.start();
    if (run)
        QTimer::singleShot(0, [&] {
            sincePress.start();
            p.start(QStringLiteral("true"), {});
        });
    runFor(3000);
    return QStringLiteral("%1 %2 %3")
        .arg(gaps.worst, 0, 'f', 1)
        .arg(runMs, 0, 'f', 1)
        .arg(gaps.over20.join(QLatin1Char(',')));
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    bench::offscreenUnlessSet();
    QTemporaryDir dir;
    qputenv("HOME", QFile::encodeName(dir.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    // "here": the main window once in this process, for a profiler.
    if (argc > 1 && QByteArray(argv[1]) == "here") {
        std::printf("%s\n", qPrintable(ours(argc > 2)));
        return 0;
    }
    const int runs = argc > 1 ? qMax(1, atoi(argv[1])) : 7;
    std::printf("the main window's first 3 s after show(), %d runs each: worst lateness of a "
                "10 ms timer (median, worst), Run at once: ms to its exit line (median);\n"
                "gaps over 20 ms as ms@when after show, run by run\n",
                runs);
    for (bool run : {false, true}) {
        std::printf("\n%s\n", run ? "Run pressed right after show()" : "left alone");
        std::vector<double> late[2], runMs[2];
        QStringList gaps[2];
        for (int r = 0; r < runs; ++r)
            for (int k = 0; k < 2; ++k) {
                const QStringList parts =
                    bench::inChild([&] { return k == 0 ? ours(run) : floor(run); }, 60)
                        .split(QLatin1Char(' '));
                if (parts.size() < 2)
                    continue;
                late[k].push_back(parts[0].toDouble());
                runMs[k].push_back(parts[1].toDouble());
                gaps[k].append(parts.size() > 2 && !parts[2].isEmpty() ? parts[2]
                                                                       : QStringLiteral("-"));
            }
        const char* names[2] = {"Vexa main window", "bare QMainWindow"};
        for (int k = 0; k < 2; ++k) {
            std::printf("%-18s | worst gap %6.1f ms (%6.1f)", names[k], median(late[k]),
                        late[k].empty() ? -1 : *std::max_element(late[k].begin(), late[k].end()));
            if (run)
                std::printf(" | Run to exit %6.1f ms", median(runMs[k]));
            std::printf(" | %s\n", qPrintable(gaps[k].join(QStringLiteral(" "))));
        }
    }
    return 0;
}

// The build runner's output path on two commands: seq 1 1000000 (a million
// short lines) and one line of 100 MB without a line end. For each: the time
// from Run to the exit line in the messages panel, the worst lateness of a
// 10 ms timer meanwhile (how live the interface stays) and the resident
// memory before and after; beside it, in the same run, a bare QProcess that
// only counts the lines of the same command (the floor).

#include "benchutil.h"
#include "vexa/messages/messageitem.h"
#include "vexa/messages/messageoutput.h"
#include "vexa/runmake.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace
{

struct Command {
    const char* name;
    QString program;
    QStringList args;
};

// "ms lateMs rssBeforeMB rssAfterMB"
QString ours(const Command& c)
{
    bench::App app;
    vexa::Settings::setKeyPrefix(QStringLiteral("/vexa"));
    auto* shell = new vexa::Shell(nullptr, "vexa::Shell");
    vexa::startServices(shell);
    shell->show();
    QCoreApplication::processEvents();
    vexa::Settings::write(QStringLiteral("/scripts/runProject"), c.program);
    vexa::Settings::write(QStringLiteral("/scripts/runProjectArgs"), c.args.join(QLatin1Char(' ')));
    vexa::MessageOutput* panel = vexa::MessageOutput::self();
    const double before = bench::residentBytes();
    QEventLoop loop;
    QElapsedTimer t;
    bool done = false;
    auto check = [&] {
        if (done || panel->count() == 0)
            return;
        const QString last =
            static_cast<vexa::MessageItem*>(panel->item(panel->count() - 1))->rawText();
        if (last.contains(QLatin1String(" finished. Exit code ")) ||
            last.endsWith(QLatin1String(" crashed."))) {
            done = true;
            loop.quit();
        }
    };
    QObject::connect(panel->model(), &QAbstractItemModel::rowsInserted, &loop, check,
                     Qt::QueuedConnection);
    bench::Heartbeat late;
    t.start();
    vexa::RunMake::self()->run();
    loop.exec();
    const double ms = bench::msSince(t);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(); // the process object goes
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const double after = bench::residentBytes();
    return QStringLiteral("%1 %2 %3 %4")
        .arg(ms, 0, 'f', 1)
        .arg(late.worst, 0, 'f', 1)
        .arg(before / 1048576.0, 0, 'f', 1)
        .arg(after / 1048576.0, 0, 'f', 1);
}

// "ms lateMs lines"
QString floor(const Command& c)
{
    bench::App app;
    QProcess p;
    qint64 lines = 0;
    QObject::connect(&p, &QProcess::readyReadStandardOutput,
                     [&] { lines += p.readAllStandardOutput().count('\n'); });
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    bench::Heartbeat late;
    QElapsedTimer t;
    t.start();
    p.start(c.program, c.args);
    loop.exec();
    lines += p.readAllStandardOutput().count('\n');
    return QStringLiteral("%1 %2 %3")
        .arg(bench::msSince(t), 0, 'f', 1)
        .arg(late.worst, 0, 'f', 1)
        .arg(lines);
}

} // namespace

int main()
{
    QTemporaryDir dir;
    qputenv("HOME", QFile::encodeName(dir.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    const QString script = dir.filePath(QStringLiteral("longline.py"));
    QFile f(script);
    if (f.open(QIODevice::WriteOnly))
        f.write("import sys\nsys.stdout.write('x' * 100000000)\n");
    f.close();
    const Command commands[] = {
        {"seq 1 1000000", QStringLiteral("seq"), {QStringLiteral("1"), QStringLiteral("1000000")}},
        {"one 100 MB line", QStringLiteral("python3"), {script}},
    };
    std::printf("build runner output (ours: ms to the exit line, worst 10 ms timer lateness, RSS "
                "before -> after;\n"
                "floor: a bare QProcess counting lines)\n");
    for (const Command& c : commands) {
        const QStringList o = bench::inChild([&] { return ours(c); }, 300).split(QLatin1Char(' '));
        const QStringList b = bench::inChild([&] { return floor(c); }, 300).split(QLatin1Char(' '));
        if (o.size() < 4 || b.size() < 3) {
            std::printf("%-16s ours %s  floor %s\n", c.name, qPrintable(o.join(' ')),
                        qPrintable(b.join(' ')));
            continue;
        }
        std::printf(
            "%-16s ours %8s ms  late %6s ms  RSS %6s -> %6s MB   floor %8s ms  late %6s ms  "
            "ratio %.2f\n",
            c.name, qPrintable(o[0]), qPrintable(o[1]), qPrintable(o[2]), qPrintable(o[3]),
            qPrintable(b[0]), qPrintable(b[1]), o[0].toDouble() / b[0].toDouble());
    }
    return 0;
}

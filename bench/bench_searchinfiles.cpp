// Search in files beside grep, on the same trees in the same run: a copy of
// the system's include folder without its links (grep -r does not follow
// links met on its way, the search does) and a generated tree of 20k files
// with a few of 5-50 MB. For each: a rare literal, a case-insensitive literal
// and a regular expression. Each time is the best of three runs after one
// to warm the cache, as wall time and as processor time (user + system,
// which other load on the machine disturbs less), each from a fresh child
// process; hit and file counts are checked against grep's. Then, through the
// offscreen dialog and messages panel: the whole search, the first row in
// the panel, how late a 10 ms timer runs (and the processor time the thread
// spent in that longest gap), and how soon Stop ends a search, also inside a
// 200 MB one-line file.
//
// Usage: bench_searchinfiles [work folder] [only]
//   work folder: default a folder in /tmp, kept; only: run just the queries
//   whose "corpus query" holds this text (e.g. "include case"), no Stop runs.

#include "benchutil.h"
#include "vexa/editors/editors.h"
#include "vexa/messages/messageoutput.h"
#include "vexa/search/filesearch.h"
#include "vexa/search/searchinfiles.h"
#include "vexa/search/searchmanager.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace
{

struct Query {
    const char* what;
    QString text;
    bool caseSensitive;
    bool regExp;
};

QString work;

QString ms(double v)
{
    return QString::number(v, 'f', 0);
}

constexpr int timedRuns = 3;

double cpuMs(int who)
{
    rusage u{};
    getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The best wall and processor times (ms) of the timed runs.
struct Best {
    double wall = 1e18;
    double cpu = 1e18;
    void add(double w, double c)
    {
        wall = qMin(wall, w);
        cpu = qMin(cpu, c);
    }
};

long peakKilobytes()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// A seeded text generator: lines of words, ~60 characters each.
struct Words {
    quint64 state;
    explicit Words(quint64 seed) : state(seed) {}
    quint32 next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return quint32(state >> 33);
    }
    QByteArray lines(qsizetype bytes, bool rare)
    {
        static const char* const vocab[] = {
            "alpha",  "beta",   "gamma",  "delta",  "value",      "count", "index",
            "buffer", "result", "static", "return", "struct",     "const", "int",
            "char",   "void",   "size_t", "while",  "Deprecated", "for",   "if",
            "else",   "node",   "list",   "tree",   "map",        "key",   "data"};
        QByteArray out;
        out.reserve(bytes + 80);
        int col = 0;
        qsizetype rareAt = rare ? qsizetype(next() % quint32(qMax<qsizetype>(1, bytes))) : -1;
        while (out.size() < bytes) {
            if (rareAt >= 0 && out.size() >= rareAt) {
                out += "zebracorn ";
                rareAt = -1;
            }
            out += vocab[next() % (sizeof vocab / sizeof *vocab)];
            col += 6;
            if (col > 60) {
                out += '\n';
                col = 0;
            } else {
                out += ' ';
            }
        }
        out += '\n';
        return out;
    }
};

// 20k files of 2-16 KB in 1000 folders (one in 200 holding the rare word),
// plus files of 5, 10, 20 and 50 MB.
QString generatedTree()
{
    const QString root = work + QStringLiteral("/generated");
    if (QFileInfo::exists(root + QStringLiteral("/done")))
        return root;
    QDir(root).removeRecursively();
    Words w(42);
    for (int i = 0; i < 20000; ++i) {
        const QString folder = root + QStringLiteral("/d%1/e%2").arg(i / 1000).arg((i / 20) % 50);
        QDir().mkpath(folder);
        QFile f(folder + QStringLiteral("/f%1.txt").arg(i));
        if (f.open(QIODevice::WriteOnly))
            f.write(w.lines(2048 + w.next() % 14336, i % 200 == 7));
    }
    int n = 0;
    for (int mb : {5, 10, 20, 50}) {
        QFile f(root + QStringLiteral("/big%1.txt").arg(n++));
        if (f.open(QIODevice::WriteOnly))
            f.write(w.lines(qsizetype(mb) << 20, true));
    }
    QFile(root + QStringLiteral("/done")).open(QIODevice::WriteOnly);
    return root;
}

QString includeCopy()
{
    const QString root = work + QStringLiteral("/include");
    if (QFileInfo::exists(root + QStringLiteral("/.done")))
        return root;
    QDir(root).removeRecursively();
    QProcess::execute(QStringLiteral("cp"),
                      {QStringLiteral("-r"), QStringLiteral("--no-dereference"),
                       QStringLiteral("/usr/include"), root});
    QProcess::execute(QStringLiteral("find"), {root, QStringLiteral("-type"), QStringLiteral("l"),
                                               QStringLiteral("-delete")});
    QFile(root + QStringLiteral("/.done")).open(QIODevice::WriteOnly);
    return root;
}

QStringList grepArgs(const Query& q, const QString& root, const char* extra)
{
    QStringList args{QStringLiteral("-r"), QStringLiteral("--exclude=.*"),
                     QStringLiteral("--exclude-dir=.*"), QLatin1String(extra)};
    args << (q.regExp ? QStringLiteral("-E") : QStringLiteral("-F"));
    if (!q.caseSensitive)
        args << QStringLiteral("-i");
    args << QStringLiteral("-e") << q.text << root;
    return args;
}

// grep's times for its usual -n output, sent nowhere.
Best grepTimes(const Query& q, const QString& root)
{
    Best best;
    for (int run = 0; run <= timedRuns; ++run) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        p.setProcessEnvironment(env);
        p.setStandardOutputFile(QProcess::nullDevice());
        const double cpu = cpuMs(RUSAGE_CHILDREN);
        QElapsedTimer timer;
        timer.start();
        p.start(QStringLiteral("grep"), grepArgs(q, root, "-n"));
        p.waitForFinished(-1);
        const double wall = bench::msSince(timer);
        if (run > 0)
            best.add(wall, cpuMs(RUSAGE_CHILDREN) - cpu);
    }
    return best;
}

// grep's count of output lines with `extra` (-o: hits, -l: files).
qint64 grepCount(const Query& q, const QString& root, const char* extra)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("grep"), grepArgs(q, root, extra));
    p.waitForFinished(-1);
    return p.readAllStandardOutput().count('\n');
}

// The search core with a counting sink: "wallMs cpuMs hits files rssMB".
QString core(const Query& q, const QString& root)
{
    bench::App app;
    const double before = bench::residentBytes();
    const long peakBefore = peakKilobytes();
    vexa::FileSearch search;
    qint64 hits = 0;
    qint64 files = 0;
    search.options = [&]() {
        return vexa::SearchOptions{q.text, q.caseSensitive, false, q.regExp};
    };
    search.row = [&](const QString& text, int, const QString&) {
        if (text.startsWith(QLatin1String("#bgcolor")))
            ++files;
        else
            ++hits;
    };
    Best best;
    for (int run = 0; run <= timedRuns; ++run) {
        hits = files = 0;
        const double cpu = cpuMs(RUSAGE_SELF);
        QElapsedTimer timer;
        timer.start();
        search.run(root);
        if (run > 0)
            best.add(bench::msSince(timer), cpuMs(RUSAGE_SELF) - cpu);
    }
    const double grew =
        qMax(bench::residentBytes() - before, double(peakKilobytes() - peakBefore) * 1024.0);
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(ms(best.wall), ms(best.cpu))
        .arg(hits)
        .arg(files)
        .arg(QString::number(grew / (1024.0 * 1024.0), 'f', 1));
}

// The main window with its panel and the dialog, as the program has them.
struct Window {
    bench::App app;
    vexa::Shell* shell;
    SearchInFiles* dialog = nullptr;
    Window()
    {
        vexa::Settings::setKeyPrefix(QStringLiteral("/vexa"));
        shell = new vexa::Shell(nullptr, "vexa::Shell");
        vexa::startServices(shell);
        shell->show();
        vexa::SearchManager::self()->findInFiles();
        dialog = shell->findChild<SearchInFiles*>();
    }
    void fill(const QString& root, const Query& q)
    {
        dialog->comboDirectory->setEditText(root);
        dialog->comboPattern->setEditText(QString());
        dialog->comboSearch->setEditText(q.text);
        dialog->checkCaseSensetive->setChecked(q.caseSensitive);
        dialog->checkRegExp->setChecked(q.regExp);
        dialog->checkWholeWord->setChecked(false);
    }
};

// The whole search through the dialog: "ms firstRowMs timerLateMs".
QString endToEnd(const Query& q, const QString& root)
{
    Window w;
    Best best;
    double first = 0;
    double late = 0;
    double lateCpu = 0;
    for (int run = 0; run <= timedRuns; ++run) {
        vexa::SearchManager::self()->findInFiles();
        w.fill(root, q);
        QElapsedTimer timer;
        double firstRow = -1;
        QMetaObject::Connection c = QObject::connect(vexa::MessageOutput::self()->model(),
                                                     &QAbstractItemModel::rowsInserted, [&]() {
                                                         if (firstRow < 0)
                                                             firstRow = bench::msSince(timer);
                                                     });
        // A 10 ms timer: the most its ticks come late, and the processor
        // time this thread had in that gap.
        QTimer tick;
        QElapsedTimer sinceTick;
        double tickCpu = 0;
        double runLate = 0;
        double runLateCpu = 0;
        QObject::connect(&tick, &QTimer::timeout, [&]() {
            const double gap = bench::msSince(sinceTick) - 10.0;
            const double cpu = threadCpuMs();
            if (gap > runLate) {
                runLate = gap;
                runLateCpu = cpu - tickCpu;
            }
            sinceTick.start();
            tickCpu = cpu;
        });
        tick.start(10);
        sinceTick.start();
        tickCpu = threadCpuMs();
        const double cpu = cpuMs(RUSAGE_SELF);
        timer.start();
        w.dialog->searchPressed();
        const double wall = bench::msSince(timer);
        tick.stop();
        QObject::disconnect(c);
        if (run == 0)
            continue;
        best.add(wall, cpuMs(RUSAGE_SELF) - cpu);
        first = qMax(first, firstRow);
        if (runLate > late) {
            late = runLate;
            lateCpu = runLateCpu;
        }
    }
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(ms(best.wall), ms(best.cpu), ms(first), ms(late), ms(lateCpu));
}

// Stop pressed halfway through a search (timed first in full, warm): ms from the
// press to the search's end, and how late the press came after it was due.
QString stopLatency(const Query& q, const QString& root)
{
    Window w;
    QElapsedTimer timer;
    double full = 0;
    // The second run is the one timed: the first brings the files into the cache.
    for (int run = 0; run < 2; ++run) {
        vexa::SearchManager::self()->findInFiles();
        w.fill(root, q);
        timer.start();
        w.dialog->searchPressed();
        full = bench::msSince(timer);
    }
    const int after = int(full / 2);
    vexa::SearchManager::self()->findInFiles();
    w.fill(root, q);
    double pressed = -1;
    QTimer::singleShot(after, w.dialog, [&]() {
        pressed = bench::msSince(timer);
        w.dialog->buttonSearch->click();
    });
    timer.start();
    w.dialog->searchPressed();
    const double t = bench::msSince(timer);
    if (pressed < 0)
        return QStringLiteral("not measured: the %1 ms search ended before Stop was due at %2 ms")
            .arg(ms(t))
            .arg(after);
    return QStringLiteral("%1 (pressed %2 ms into a %3 ms search, %4 ms after it was due)")
        .arg(ms(t - pressed), ms(pressed), ms(full), ms(pressed - after));
}

QString bigLine()
{
    const QString root = work + QStringLiteral("/oneline");
    const QString path = root + QStringLiteral("/line.txt");
    if (QFileInfo(path).size() != (qint64(200) << 20)) {
        QDir().mkpath(root);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) {
            const QByteArray chunk(1 << 20, 'x');
            for (int i = 0; i < 200; ++i)
                f.write(chunk);
        }
    }
    return root;
}

} // namespace

int main(int argc, char** argv)
{
    work = argc > 1 ? QString::fromLocal8Bit(argv[1])
                    : QDir::tempPath() + QStringLiteral("/vexa-bench-searchinfiles");
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QDir().mkpath(work);
    // The dialog keeps its histories: in a settings file of its own.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work + QStringLiteral("/config")));
    std::printf("Search in files beside grep (ms, best of %d warm runs; MB)\n", timedRuns);
    std::fflush(stdout);
    const QString include = includeCopy();
    const QString generated = generatedTree();

    const struct {
        const char* name;
        QString root;
        QList<Query> queries;
    } corpora[] = {
        {"include",
         include,
         {{"rare literal", QStringLiteral("strtoull"), true, false},
          {"common word", QStringLiteral("return"), true, false},
          {"case-insensitive literal", QStringLiteral("deprecated"), false, false},
          {"regular expression", QStringLiteral("pthread_[a-z]+_init"), true, true},
          {"expression, no literal", QStringLiteral("[0-9]+\\.[0-9]+\\.[0-9]+"), true, true}}},
        {"generated",
         generated,
         {{"rare literal", QStringLiteral("zebracorn"), true, false},
          {"case-insensitive literal", QStringLiteral("ZEBRACORN"), false, false},
          {"regular expression", QStringLiteral("zebra[a-z]+n"), true, true}}},
    };

    std::printf(
        "\nTimes as wall/processor ms; x: ours over grep's, wall/processor. "
        "timer+: the 10 ms timer's worst lateness (processor ms of the thread in that gap).\n");
    std::printf("%-10s %-25s %9s %9s %9s %9s %9s %7s %9s %5s %6s %s\n", "corpus", "query", "grep",
                "core", "x", "dialog", "x", "1st row", "timer+", "RSS+", "hits", "counts");
    const auto pair = [](double a, double b, int decimals) {
        return QStringLiteral("%1/%2").arg(a, 0, 'f', decimals).arg(b, 0, 'f', decimals);
    };
    for (const auto& c : corpora) {
        for (const Query& q : c.queries) {
            if (!only.isEmpty() &&
                !(QLatin1String(c.name) + QLatin1Char(' ') + QLatin1String(q.what)).contains(only))
                continue;
            const Best g = grepTimes(q, c.root);
            const QStringList coreOut =
                bench::inChild([&]() { return core(q, c.root); }).split(QLatin1Char(' '));
            const QStringList e2e =
                bench::inChild([&]() { return endToEnd(q, c.root); }).split(QLatin1Char(' '));
            const qint64 gHits = grepCount(q, c.root, "-o");
            const qint64 gFiles = grepCount(q, c.root, "-l");
            const double coreMs = coreOut.value(0).toDouble();
            const double coreCpu = coreOut.value(1).toDouble();
            const double e2eMs = e2e.value(0).toDouble();
            const double e2eCpu = e2e.value(1).toDouble();
            const bool same =
                coreOut.value(2).toLongLong() == gHits && coreOut.value(3).toLongLong() == gFiles;
            std::printf("%-10s %-25s %9s %9s %9s %9s %9s %7s %9s %5s %6s %s\n", c.name, q.what,
                        qPrintable(pair(g.wall, g.cpu, 0)), qPrintable(pair(coreMs, coreCpu, 0)),
                        qPrintable(pair(coreMs / g.wall, coreCpu / g.cpu, 2)),
                        qPrintable(pair(e2eMs, e2eCpu, 0)),
                        qPrintable(pair(e2eMs / g.wall, e2eCpu / g.cpu, 2)),
                        qPrintable(e2e.value(2)),
                        qPrintable(QStringLiteral("%1 (%2)").arg(e2e.value(3), e2e.value(4))),
                        qPrintable(coreOut.value(4)), qPrintable(coreOut.value(2)),
                        same ? "equal to grep"
                             : qPrintable(QStringLiteral("grep: %1 hits in %2 files, ours %3 in %4")
                                              .arg(gHits)
                                              .arg(gFiles)
                                              .arg(coreOut.value(2), coreOut.value(3))));
            std::fflush(stdout);
        }
    }

    if (!only.isEmpty())
        return 0;
    const Query none{"", QStringLiteral("no_such_text_anywhere"), true, false};
    std::printf("\nStop, ms from the press to the end of the search:\n");
    std::printf("  mid-walk, generated tree: %s\n",
                qPrintable(bench::inChild([&]() { return stopLatency(none, generated); })));
    const QString line = bigLine();
    const Query regex{"", QStringLiteral("zz[0-9]"), false, true};
    std::printf("  inside a 200 MB one-line file, plain: %s\n",
                qPrintable(bench::inChild([&]() { return stopLatency(none, line); })));
    std::printf("  inside a 200 MB one-line file, regular expression: %s\n",
                qPrintable(bench::inChild([&]() { return stopLatency(regex, line); })));
    return 0;
}

// Search in files beside grep, on the same trees in the same run: about
// 420 MB of headers, documentation and Python sources (copies of the
// system's include, doc and Python library folders, without their links:
// grep -r does not follow links met on its way, the search does) and a
// generated tree of 20k files with a few of 5-50 MB. For each: a rare word,
// a common word, a case-insensitive word and regular expressions with and
// without a literal. Each time is the best of three runs after one to warm
// the cache, as wall time and as processor time (user + system, which other
// load on the machine disturbs less), each from a fresh child process.
//
// Peers and figures: grep -rn with its output sent nowhere; the search core
// with a counting sink; and the whole search through the offscreen dialog
// with its rows in the messages panel (up to the turn of the event loop that
// puts the last rows into the list), with how much the dialog and panel add
// to the core (timed in turns with it in one process), the first row in the
// panel, and how late a 10 ms timer runs (and the
// processor time the thread spent in that longest gap). Checks: hit and file
// counts against grep -o and -l; the file:line pairs of the rows sent to the
// panel against those of LC_ALL=C grep -rn, and the panel's rows against the
// newest rows sent, in order. Then how soon Stop ends a search, also inside
// a 200 MB one-line file.
//
// Usage: bench_searchinfiles [work folder] [only]
//   work folder: default a folder in /dev/shm (in /tmp without room there),
//   kept; only: run just the queries whose "corpus query" holds this text
//   (e.g. "mixed common"), no Stop runs.

#include "benchutil.h"
#include "vexa/editors/editors.h"
#include "vexa/messages/messageitem.h"
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
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <vector>

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

qint64 treeBytes(const QString& root)
{
    qint64 bytes = 0;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
    }
    return bytes;
}

// About 420 MB of real text and some binaries: the system's Python library,
// include and doc folders copied, without their links, as often as it takes.
QString mixedCorpus()
{
    const QString root = work + QStringLiteral("/mixed");
    if (QFileInfo::exists(root + QStringLiteral("/.done")))
        return root;
    QDir(root).removeRecursively();
    QDir().mkpath(root);
    QStringList sources =
        QDir(QStringLiteral("/usr/lib"))
            .entryList({QStringLiteral("python3*")}, QDir::Dirs | QDir::NoSymLinks, QDir::Name);
    for (QString& s : sources)
        s.prepend(QStringLiteral("/usr/lib/"));
    sources << QStringLiteral("/usr/include") << QStringLiteral("/usr/share/doc");
    const qint64 want = qint64(420) << 20;
    qint64 bytes = 0;
    for (int round = 1; bytes < want && round < 10; ++round) {
        for (const QString& source : std::as_const(sources)) {
            if (bytes >= want)
                break;
            const QString copy =
                root + QStringLiteral("/%1-%2").arg(round).arg(QFileInfo(source).fileName());
            QProcess::execute(
                QStringLiteral("cp"),
                {QStringLiteral("-r"), QStringLiteral("--no-dereference"), source, copy});
            QProcess::execute(
                QStringLiteral("find"),
                {copy, QStringLiteral("-type"), QStringLiteral("l"), QStringLiteral("-delete")});
            bytes += treeBytes(copy);
        }
    }
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

// The whole search through the dialog, its rows in the panel: "wallMs
// cpuMs firstRowMs timerLateMs timerLateCpuMs coreWallMs coreCpuMs". The
// time runs until the turn of the event loop after the search, which puts
// the last rows into the list. Each run follows a run of the core with a
// counting sink in the same process, whose times come last: what the dialog
// and panel add is measured under the same load.
QString endToEnd(const Query& q, const QString& root)
{
    Window w;
    Best best;
    Best bare;
    vexa::FileSearch search;
    qint64 counted = 0;
    search.options = [&]() {
        return vexa::SearchOptions{q.text, q.caseSensitive, false, q.regExp};
    };
    search.row = [&](const QString&, int, const QString&) { ++counted; };
    double first = 0;
    double late = 0;
    double lateCpu = 0;
    vexa::MessageOutput* panel = vexa::MessageOutput::self();
    for (int run = 0; run <= timedRuns; ++run) {
        {
            const double cpu = cpuMs(RUSAGE_SELF);
            QElapsedTimer timer;
            timer.start();
            search.run(root);
            if (run > 0)
                bare.add(bench::msSince(timer), cpuMs(RUSAGE_SELF) - cpu);
        }
        vexa::SearchManager::self()->findInFiles();
        w.fill(root, q);
        QElapsedTimer timer;
        double firstRow = -1;
        QMetaObject::Connection c =
            QObject::connect(panel->model(), &QAbstractItemModel::rowsInserted, [&]() {
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
        QCoreApplication::processEvents();
        const double wall = bench::msSince(timer);
        tick.stop();
        QObject::disconnect(c);
        if (panel->model()->rowCount() != panel->count())
            return QStringLiteral("(the list holds %1 rows of %2 after the search)")
                .arg(panel->model()->rowCount())
                .arg(panel->count());
        if (run == 0)
            continue;
        best.add(wall, cpuMs(RUSAGE_SELF) - cpu);
        first = qMax(first, firstRow);
        if (runLate > late) {
            late = runLate;
            lateCpu = runLateCpu;
        }
    }
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
        .arg(ms(best.wall), ms(best.cpu), ms(first), ms(late), ms(lateCpu), ms(bare.wall),
             ms(bare.cpu));
}

// A row's file and line, the file as a number.
using Pair = std::pair<int, int>;

struct Pairs {
    QHash<QString, int> files;
    std::vector<Pair> pairs;
    void add(const QString& file, int line)
    {
        auto it = files.constFind(file);
        if (it == files.constEnd())
            it = files.insert(file, int(files.size()));
        pairs.emplace_back(it.value(), line);
    }
    // Sorted, each pair once (a line with several hits gives several rows).
    void settle()
    {
        std::sort(pairs.begin(), pairs.end());
        pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    }
};

// The file:line pairs of LC_ALL=C grep -rn (-Z to tell the name from the rest).
// File numbers go on from those of `files`.
Pairs grepPairs(const Query& q, const QString& root, const QHash<QString, int>& files)
{
    Pairs pairs;
    pairs.files = files;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    p.setProcessEnvironment(env);
    QStringList args = grepArgs(q, root, "-n");
    args.prepend(QStringLiteral("-Z"));
    p.start(QStringLiteral("grep"), args);
    p.waitForFinished(-1);
    const QByteArray out = p.readAllStandardOutput();
    qsizetype at = 0;
    while (at < out.size()) {
        const qsizetype nul = out.indexOf('\0', at);
        const qsizetype colon = nul < 0 ? -1 : out.indexOf(':', nul);
        qsizetype end = out.indexOf('\n', at);
        if (end < 0)
            end = out.size();
        if (nul >= 0 && colon >= 0 && colon < end)
            pairs.add(QString::fromLocal8Bit(out.mid(at, nul - at)),
                      out.mid(nul + 1, colon - nul - 1).toInt());
        at = end + 1;
    }
    pairs.settle();
    return pairs;
}

QString describePair(const Pairs& p, const Pair& pair)
{
    return QStringLiteral("%1:%2").arg(p.files.key(pair.first)).arg(pair.second);
}

// One search through the dialog: whether the file:line pairs of the rows
// sent to the panel equal grep's, and whether the panel's rows are the
// newest of those sent, in order.
QString checkRows(const Query& q, const QString& root)
{
    Window w;
    vexa::MessageOutput* panel = vexa::MessageOutput::self();
    vexa::SearchManager::self()->findInFiles();
    w.fill(root, q);
    struct Row {
        QString text;
        int line;
        QString file;
    };
    std::vector<Row> newest;
    Pairs ours;
    qint64 rows = 0;
    qint64 skipped = 0;
    const qsizetype keep = qsizetype(panel->maxItems());
    QObject::connect(w.dialog, &SearchInFiles::newEntry,
                     [&](const QString& text, int line, const QString& file) {
                         ++rows;
                         newest.push_back({text, line, file});
                         if (newest.size() > size_t(2 * keep))
                             newest.erase(newest.begin(), newest.end() - keep);
                         if (text == vexa::FileSearch::skippedRow(line))
                             ++skipped;
                         else if (text != vexa::FileSearch::headerRow(file))
                             ours.add(file, line);
                     });
    w.dialog->searchPressed();
    QCoreApplication::processEvents();
    ours.settle();

    QString panelCheck = QStringLiteral("panel rows: the newest, in order");
    if (newest.size() > size_t(keep))
        newest.erase(newest.begin(), newest.end() - keep);
    bool same =
        panel->count() == int(newest.size()) && panel->model()->rowCount() == panel->count();
    for (int i = 0; same && i < panel->count(); ++i) {
        const auto* item = static_cast<vexa::MessageItem*>(panel->item(i));
        const Row& r = newest[size_t(i)];
        same = item->rawText() == r.text && item->line() == r.line && item->fileName() == r.file &&
               panel->model()->index(i, 0).data().toString() == item->text();
    }
    if (!same)
        panelCheck = QStringLiteral("panel rows DIFFER from the newest sent");

    const Pairs theirs = grepPairs(q, root, ours.files);
    std::vector<Pair> onlyOurs;
    std::vector<Pair> onlyTheirs;
    std::set_difference(ours.pairs.begin(), ours.pairs.end(), theirs.pairs.begin(),
                        theirs.pairs.end(), std::back_inserter(onlyOurs));
    std::set_difference(theirs.pairs.begin(), theirs.pairs.end(), ours.pairs.begin(),
                        ours.pairs.end(), std::back_inserter(onlyTheirs));
    QString verdict;
    if (onlyOurs.empty() && onlyTheirs.empty()) {
        verdict = QStringLiteral("file:line equal to grep -rn (%1)").arg(ours.pairs.size());
    } else {
        verdict = QStringLiteral("file:line DIFFER: %1 only ours, %2 only grep's (of %3)")
                      .arg(onlyOurs.size())
                      .arg(onlyTheirs.size())
                      .arg(theirs.pairs.size());
        if (!onlyOurs.empty())
            verdict += QStringLiteral(", e.g. ours ") + describePair(theirs, onlyOurs.front());
        if (!onlyTheirs.empty())
            verdict += QStringLiteral(", e.g. grep's ") + describePair(theirs, onlyTheirs.front());
    }
    if (skipped > 0)
        verdict += QStringLiteral(", %1 lines skipped").arg(skipped);
    return QStringLiteral("%1 %2; %3").arg(rows).arg(verdict, panelCheck);
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

// A folder for the trees: in memory when /dev/shm has room for them.
QString defaultWork()
{
    struct statvfs fs {
    };
    const bool room = statvfs("/dev/shm", &fs) == 0 &&
                      double(fs.f_bavail) * double(fs.f_frsize) > 2.0 * 1024 * 1024 * 1024;
    return (room ? QStringLiteral("/dev/shm") : QDir::tempPath()) +
           QStringLiteral("/vexa-bench-searchinfiles");
}

} // namespace

int main(int argc, char** argv)
{
    work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : defaultWork();
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    bench::offscreenUnlessSet();
    QDir().mkpath(work);
    // The dialog keeps its histories: in a settings file of its own.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work + QStringLiteral("/config")));
    std::printf("Search in files beside grep (ms, best of %d warm runs; MB)\n", timedRuns);
    std::fflush(stdout);
    const QString mixed = mixedCorpus();
    const QString generated = generatedTree();
    std::printf("mixed: %s, %.0f MB; generated: %s, %.0f MB\n", qPrintable(mixed),
                double(treeBytes(mixed)) / (1 << 20), qPrintable(generated),
                double(treeBytes(generated)) / (1 << 20));

    const struct {
        const char* name;
        QString root;
        QList<Query> queries;
    } corpora[] = {
        {"mixed",
         mixed,
         {{"rare word", QStringLiteral("strtoull"), true, false},
          {"common word", QStringLiteral("return"), true, false},
          {"case-insensitive word", QStringLiteral("deprecated"), false, false},
          {"expression with literal", QStringLiteral("pthread_[a-z]+_init"), true, true},
          {"expression, no literal", QStringLiteral("[0-9]+\\.[0-9]+\\.[0-9]+"), true, true}}},
        {"generated",
         generated,
         {{"rare word", QStringLiteral("zebracorn"), true, false},
          {"case-insensitive word", QStringLiteral("ZEBRACORN"), false, false},
          {"expression with literal", QStringLiteral("zebra[a-z]+n"), true, true}}},
    };

    std::printf(
        "\nTimes as wall/processor ms; x: over grep -rn's (-F or -E, -i as the query has it), "
        "wall/processor. core: the search with a counting sink; +panel: the whole search "
        "through the dialog with its rows in the messages panel; panel+: what the dialog and "
        "panel add to the core, against core runs that alternate with the whole search's in one "
        "process. 1st row: ms to the first row in the panel (worst run). "
        "timer+: the 10 ms timer's worst lateness (processor ms of the thread in that gap).\n");
    std::printf("%-9s %-23s %11s %11s %9s %11s %9s %11s %7s %9s %5s %8s %s\n", "corpus", "query",
                "grep -rn", "core", "x", "+panel", "x", "panel+", "1st row", "timer+", "RSS+",
                "hits", "counts");
    const auto pair = [](double a, double b, int decimals) {
        return QStringLiteral("%1/%2").arg(a, 0, 'f', decimals).arg(b, 0, 'f', decimals);
    };
    const auto percent = [](double a, double b) {
        return QStringLiteral("%1%/%2%").arg(a * 100, 0, 'f', 0).arg(b * 100, 0, 'f', 0);
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
            const QString rows = bench::inChild([&]() { return checkRows(q, c.root); });
            const qint64 gHits = grepCount(q, c.root, "-o");
            const qint64 gFiles = grepCount(q, c.root, "-l");
            const double coreMs = coreOut.value(0).toDouble();
            const double coreCpu = coreOut.value(1).toDouble();
            const double e2eMs = e2e.value(0).toDouble();
            const double e2eCpu = e2e.value(1).toDouble();
            const bool same =
                coreOut.value(2).toLongLong() == gHits && coreOut.value(3).toLongLong() == gFiles;
            std::printf("%-9s %-23s %11s %11s %9s %11s %9s %11s %7s %9s %5s %8s %s\n", c.name,
                        q.what, qPrintable(pair(g.wall, g.cpu, 0)),
                        qPrintable(pair(coreMs, coreCpu, 0)),
                        qPrintable(pair(coreMs / g.wall, coreCpu / g.cpu, 2)),
                        qPrintable(pair(e2eMs, e2eCpu, 0)),
                        qPrintable(pair(e2eMs / g.wall, e2eCpu / g.cpu, 2)),
                        qPrintable(percent(e2eMs / e2e.value(5).toDouble() - 1,
                                           e2eCpu / e2e.value(6).toDouble() - 1)),
                        qPrintable(e2e.value(2)),
                        qPrintable(QStringLiteral("%1 (%2)").arg(e2e.value(3), e2e.value(4))),
                        qPrintable(coreOut.value(4)), qPrintable(coreOut.value(2)),
                        same ? "equal to grep"
                             : qPrintable(QStringLiteral("grep: %1 hits in %2 files, ours %3 in %4")
                                              .arg(gHits)
                                              .arg(gFiles)
                                              .arg(coreOut.value(2), coreOut.value(3))));
            std::printf("%-33s rows: %s\n", "", qPrintable(rows));
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

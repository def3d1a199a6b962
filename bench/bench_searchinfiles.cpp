// Search in files beside grep, on the same trees in the same run: a copy of
// the system's include folder without its links (grep -r does not follow
// links met on its way, the search does) and a generated tree of 20k files
// with a few of 5-50 MB. For each: a rare literal, a case-insensitive literal
// and a regular expression. Each figure is the second of two runs (warm
// cache), each from a fresh child process; hit and file counts are checked
// against grep's. Then, through the offscreen dialog and messages panel: the
// whole search, the first row in the panel, how late a 10 ms timer runs,
// and how soon Stop ends a search, also inside a 200 MB one-line file.
//
// Usage: bench_searchinfiles [work folder]   (default: a folder in /tmp, kept)

#include "benchutil.h"
#include "editors/editors.h"
#include "messages/messageoutput.h"
#include "search/filesearch.h"
#include "search/searchinfiles.h"
#include "search/searchmanager.h"
#include "settings.h"
#include "shell.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <cstdio>
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
            "alpha", "beta", "gamma", "delta", "value", "count", "index", "buffer", "result",
            "static", "return", "struct", "const", "int", "char", "void", "size_t", "while",
            "Deprecated", "for", "if", "else", "node", "list", "tree", "map", "key", "data"};
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
    QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-r"), QStringLiteral("--no-dereference"),
                                             QStringLiteral("/usr/include"), root});
    QProcess::execute(QStringLiteral("find"),
                      {root, QStringLiteral("-type"), QStringLiteral("l"), QStringLiteral("-delete")});
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

// grep's time (ms, second run) for its usual -n output, sent nowhere.
double grepMs(const Query& q, const QString& root)
{
    double t = 0;
    for (int run = 0; run < 2; ++run) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        p.setProcessEnvironment(env);
        p.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        p.start(QStringLiteral("grep"), grepArgs(q, root, "-n"));
        p.waitForFinished(-1);
        t = bench::msSince(timer);
    }
    return t;
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

// The search core with a counting sink: "ms hits files rssMB".
QString core(const Query& q, const QString& root)
{
    bench::App app;
    const double before = bench::residentBytes();
    const long peakBefore = peakKilobytes();
    vexa::FileSearch search;
    qint64 hits = 0;
    qint64 files = 0;
    search.options = [&]() { return vexa::SearchOptions{q.text, q.caseSensitive, false, q.regExp}; };
    search.row = [&](const QString& text, int, const QString&) {
        if (text.startsWith(QLatin1String("#bgcolor")))
            ++files;
        else
            ++hits;
    };
    double t = 0;
    for (int run = 0; run < 2; ++run) {
        hits = files = 0;
        QElapsedTimer timer;
        timer.start();
        search.run(root);
        t = bench::msSince(timer);
    }
    const double grew = qMax(bench::residentBytes() - before,
                             double(peakKilobytes() - peakBefore) * 1024.0);
    return QStringLiteral("%1 %2 %3 %4")
        .arg(ms(t))
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
    double t = 0;
    double first = -1;
    double late = 0;
    for (int run = 0; run < 2; ++run) {
        vexa::SearchManager::self()->findInFiles();
        w.fill(root, q);
        QElapsedTimer timer;
        first = -1;
        late = 0;
        QMetaObject::Connection c = QObject::connect(
            vexa::MessageOutput::self()->model(), &QAbstractItemModel::rowsInserted, [&]() {
                if (first < 0)
                    first = bench::msSince(timer);
            });
        // A 10 ms timer: the most its ticks come late.
        QTimer tick;
        QElapsedTimer sinceTick;
        QObject::connect(&tick, &QTimer::timeout, [&]() {
            late = qMax(late, bench::msSince(sinceTick) - 10.0);
            sinceTick.start();
        });
        tick.start(10);
        sinceTick.start();
        timer.start();
        w.dialog->searchPressed();
        t = bench::msSince(timer);
        tick.stop();
        QObject::disconnect(c);
    }
    return QStringLiteral("%1 %2 %3").arg(ms(t), ms(first), ms(late));
}

// Stop pressed halfway through a search (timed first in full): "ms fullMs",
// ms from the press being due to the search's end.
QString stopLatency(const Query& q, const QString& root)
{
    Window w;
    w.fill(root, q);
    QElapsedTimer timer;
    timer.start();
    w.dialog->searchPressed();
    const double full = bench::msSince(timer);
    const int after = int(full / 2);
    vexa::SearchManager::self()->findInFiles();
    w.fill(root, q);
    QTimer::singleShot(after, w.dialog, [&]() { w.dialog->buttonSearch->click(); });
    timer.start();
    w.dialog->searchPressed();
    const double t = bench::msSince(timer);
    return QStringLiteral("%1 (stopped %2 ms into a %3 ms search)").arg(ms(t - after)).arg(after).arg(ms(full));
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
    QDir().mkpath(work);
    // The dialog keeps its histories: in a settings file of its own.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work + QStringLiteral("/config")));
    std::printf("Search in files beside grep (ms, second of two runs; MB)\n");
    std::fflush(stdout);
    const QString include = includeCopy();
    const QString generated = generatedTree();

    const struct {
        const char* name;
        QString root;
        QList<Query> queries;
    } corpora[] = {
        {"include", include,
         {{"rare literal", QStringLiteral("strtoull"), true, false},
          {"case-insensitive literal", QStringLiteral("deprecated"), false, false},
          {"regular expression", QStringLiteral("pthread_[a-z]+_init"), true, true}}},
        {"generated", generated,
         {{"rare literal", QStringLiteral("zebracorn"), true, false},
          {"case-insensitive literal", QStringLiteral("ZEBRACORN"), false, false},
          {"regular expression", QStringLiteral("zebra[a-z]+n"), true, true}}},
    };

    std::printf("\n%-10s %-25s %8s %8s %6s %8s %6s %8s %9s %7s %7s %s\n", "corpus", "query",
                "grep", "core", "x", "dialog", "x", "1st row", "timer+", "RSS+", "hits",
                "counts");
    for (const auto& c : corpora) {
        for (const Query& q : c.queries) {
            const double g = grepMs(q, c.root);
            const QStringList coreOut = bench::inChild([&]() { return core(q, c.root); })
                                            .split(QLatin1Char(' '));
            const QStringList e2e = bench::inChild([&]() { return endToEnd(q, c.root); })
                                        .split(QLatin1Char(' '));
            const qint64 gHits = grepCount(q, c.root, "-o");
            const qint64 gFiles = grepCount(q, c.root, "-l");
            const double coreMs = coreOut.value(0).toDouble();
            const double e2eMs = e2e.value(0).toDouble();
            const bool same = coreOut.value(1).toLongLong() == gHits &&
                              coreOut.value(2).toLongLong() == gFiles;
            std::printf("%-10s %-25s %8.0f %8.0f %6.2f %8.0f %6.2f %8s %9s %7s %7s %s\n", c.name,
                        q.what, g, coreMs, coreMs / g, e2eMs, e2eMs / g,
                        qPrintable(e2e.value(1)), qPrintable(e2e.value(2)),
                        qPrintable(coreOut.value(3)), qPrintable(coreOut.value(1)),
                        same ? "equal to grep"
                             : qPrintable(QStringLiteral("grep: %1 hits in %2 files, ours %3 in %4")
                                              .arg(gHits)
                                              .arg(gFiles)
                                              .arg(coreOut.value(1), coreOut.value(2))));
            std::fflush(stdout);
        }
    }

    const Query none{"", QStringLiteral("no_such_text_anywhere"), true, false};
    std::printf("\nStop, ms from the press being due to the end of the search:\n");
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

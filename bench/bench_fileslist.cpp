// Listing a big folder in the files list: each view and sort mode and a
// reload, beside `ls -l`, `ls -lt` and `ls -lS` on the same folder in the same
// run (warm cache), and the longest stall of the event loop around a listing.
//
//   bench_fileslist [folder-root]     (default: a folder under /tmp)

#include "benchutil.h"

#include "vexa/explorer/fileslist.h"
#include "vexa/shell.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using vexa::FilesList;

namespace
{

// `folders` sub-folders and `files` files of mixed (sparse) sizes and times.
QString makeFolder(const QString& root, int folders, int files)
{
    const QString path = root + QStringLiteral("/fileslist-%1").arg(folders + files);
    if (QFileInfo::exists(path + QStringLiteral("/.complete")))
        return path;
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    const QByteArray base = QFile::encodeName(path);
    for (int i = 0; i < folders; ++i)
        mkdir((base + "/dir" + QByteArray::number(i)).constData(), 0755);
    quint32 seed = 12345;
    for (int i = 0; i < files; ++i) {
        seed = seed * 1103515245u + 12345u;
        const QByteArray name = base + "/file" + QByteArray::number(i) + (i % 3 ? ".cpp" : ".txt");
        const int fd = open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0)
            continue;
        if (ftruncate(fd, off_t(seed % 5000000)) != 0)
            std::perror("ftruncate");
        const struct timespec t[2] = {{time_t(1500000000 + seed % 100000000), 0},
                                      {time_t(1500000000 + (seed >> 3) % 100000000), 0}};
        futimens(fd, t);
        close(fd);
    }
    QFile(path + QStringLiteral("/.complete")).open(QIODevice::WriteOnly);
    return path;
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

double timeLs(const QString& options, const QString& path)
{
    QList<double> runs;
    for (int i = 0; i < 5; ++i) {
        QProcess ls;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        ls.setProcessEnvironment(env);
        ls.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer t;
        t.start();
        ls.start(QStringLiteral("ls"), {options, path});
        ls.waitForFinished(-1);
        runs.append(bench::msSince(t));
    }
    return median(runs);
}

// The median time of `work`, then the longest gap between the ticks of a
// 1 ms timer while `work` runs from the event loop and the list paints.
struct Figures {
    double ms = 0;
    double stall = 0;
};

Figures measure(FilesList* list, const std::function<void()>& work)
{
    Figures f;
    QList<double> runs;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        runs.append(bench::msSince(t));
        QCoreApplication::processEvents();
    }
    f.ms = median(runs);

    QElapsedTimer clock;
    clock.start();
    double last = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = bench::msSince(clock);
        f.stall = std::max(f.stall, now - last);
        last = now;
    });
    tick.start(1);
    QTimer::singleShot(20, list, work);
    QEventLoop loop;
    QTimer::singleShot(400, &loop, &QEventLoop::quit);
    loop.exec();
    return f;
}

void run(const QString& path, int entries)
{
    std::printf("\nFolder of %d entries (%s)\n", entries, qPrintable(path));
    const double lsName = timeLs(QStringLiteral("-l"), path);
    const double lsTime = timeLs(QStringLiteral("-lt"), path);
    const double lsSize = timeLs(QStringLiteral("-lS"), path);
    std::printf("%-28s %10s %10s %12s %8s\n", "mode", "ours ms", "ls ms", "stall ms", "ratio");

    auto* list = new FilesList(vexa::Shell::self(), "filesList");
    list->resize(300, 800);
    list->show();
    list->go(path); // warm the cache
    const char* views[] = {"Simple", "Detailed"};
    const char* sorts[] = {"name", "date", "size"};
    const double peers[] = {lsName, lsTime, lsSize};
    const char* peerNames[] = {"ls -l", "ls -lt", "ls -lS"};
    for (int view = 0; view < 2; ++view) {
        for (int sort = 0; sort < 3; ++sort) {
            list->setViewMode(view);
            list->setSortMode(sort);
            const Figures f = measure(list, [list, path] { list->go(path); });
            std::printf("%-8s by %-4s (go)          %10.1f %10.1f %12.1f %7.1fx  (%s)\n",
                        views[view], sorts[sort], f.ms, peers[sort], f.stall, f.ms / peers[sort],
                        peerNames[sort]);
        }
    }
    for (int view = 0; view < 2; ++view) {
        list->setViewMode(view);
        list->setSortMode(FilesList::Name);
        list->go(path);
        list->setCurrentItem(QStringLiteral("file500.cpp"));
        const Figures f = measure(list, [list] { list->reload(); });
        std::printf("%-8s reload               %10.1f %10.1f %12.1f %7.1fx  (ls -l)\n", views[view],
                    f.ms, lsName, f.stall, f.ms / lsName);
    }
    delete list;
}

} // namespace

int main(int argc, char** argv)
{
    const QString root =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/vexa-bench");
    QDir().mkpath(root);
    bench::App app;
    const QString small = makeFolder(root, 1000, 19000);
    const QString big = makeFolder(root, 5000, 95000);
    std::printf(
        "Files list listing (median of 5; stall = longest event-loop gap around one listing)\n");
    run(small, 20000);
    run(big, 100000);
    return 0;
}

// The file operator beside the shell's own tools on the same data, in one run:
// in RAM (tmpfs), a tree of 20 000 small files and one file of 1 GiB, and on
// the disk 10 000 files of 1 KiB and one file of 1 GiB, each copied several
// times in turns with cp -r (medians compared); the 10 000 files moved from
// the disk to another file system (mv) and erased (rm -r). For each
// of ours: the worst lateness of a 10 ms timer while it runs (how live the
// interface stays) and, for the copies, the time from Abort to the return.
// With the argument "ram" only the copies in RAM are measured.

#include "benchutil.h"
#include "xqwidgets/xqfileoperator/fileoperator.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

using xqwidgets::FileOperator;

namespace
{

const int kFiles = 10000;

void makeSmallFiles(const QString& folder)
{
    QDir().mkpath(folder);
    const QByteArray data(1024, 'x');
    for (int i = 0; i < kFiles; ++i) {
        QFile f(folder + QStringLiteral("/f%1").arg(i));
        if (f.open(QIODevice::WriteOnly))
            f.write(data);
    }
}

// 20 folders of 1000 files from 100 B to 8 KiB, with a few modes.
const int kTreeFolders = 20;
const int kTreeFiles = 1000;

void makeSmallTree(const QString& root)
{
    QByteArray data(8192, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char('a' + i % 26);
    for (int f = 0; f < kTreeFolders; ++f) {
        const QString folder = root + QStringLiteral("/d%1").arg(f);
        QDir().mkpath(folder);
        for (int i = 0; i < kTreeFiles; ++i) {
            const QString path = folder + QStringLiteral("/f%1.txt").arg(i);
            QFile file(path);
            if (file.open(QIODevice::WriteOnly))
                file.write(data.constData(), 100 + (i * 811) % 8092);
            file.close();
            ::chmod(QFile::encodeName(path).constData(), i % 3 ? 0644 : 0755);
        }
    }
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

void makeBigFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return;
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(i * 31 + i / 4099);
    for (int i = 0; i < 1024; ++i) {
        block[0] = char(i);
        f.write(block);
    }
}

void sync()
{
    QProcess::execute(QStringLiteral("sync"), {});
}

double peer(const QString& program, const QStringList& args)
{
    sync();
    QElapsedTimer t;
    t.start();
    QProcess::execute(program, args);
    return bench::msSince(t);
}

struct Ours {
    double ms = 0;
    double worstLateMs = 0;
    double abortMs = -1;
};

// Runs one operation with a 10 ms timer beside it; with abortAfter > 0 the
// operation is aborted that many milliseconds after its start.
Ours measure(const std::function<bool()>& operation, int abortAfter = 0)
{
    sync();
    Ours r;
    QElapsedTimer t, abortClock;
    if (abortAfter > 0)
        QTimer::singleShot(abortAfter, [&] {
            abortClock.start();
            FileOperator::self()->abort();
        });
    t.start();
    bench::Heartbeat beat;
    operation();
    beat.timer.stop();
    r.worstLateMs = beat.worst;
    r.ms = bench::msSince(t);
    if (abortClock.isValid())
        r.abortMs = bench::msSince(abortClock);
    return r;
}

void row(const char* what, const Ours& ours, const char* peerName, double peerMs)
{
    std::printf("%-34s ours %9.1f ms  %-7s %9.1f ms  ratio %5.2f  worst timer lateness %6.1f ms\n",
                what, ours.ms, peerName, peerMs, ours.ms / peerMs, ours.worstLateMs);
}

// Copies `source` (a file or a folder) into `scratch` `rounds` times with
// cp -r and with the operator, each going first every other round, checks
// each copy against its source and prints the medians.
void copyInTurns(const char* what, int rounds, const QString& source, const QString& scratch)
{
    const QString name = QFileInfo(source).fileName();
    const QString cpTarget = scratch + QStringLiteral("/cp-") + name;
    const QString ours = scratch + QStringLiteral("/ours");
    QList<double> cpTimes, ourTimes;
    Ours result;
    for (int r = 0; r < rounds; ++r) {
        QDir().mkpath(ours);
        const auto runCp = [&] { cpTimes << peer("cp", {"-r", source, cpTarget}); };
        const auto runOurs = [&] {
            const Ours o = measure([&] { return FileOperator::self()->copy({source}, ours); });
            ourTimes << o.ms;
            result.worstLateMs = qMax(result.worstLateMs, o.worstLateMs);
        };
        if (r % 2) {
            runCp();
            runOurs();
        } else {
            runOurs();
            runCp();
        }
        if (QProcess::execute(QStringLiteral("diff"), {"-r", "-q", source, ours + '/' + name}) != 0)
            std::printf("%s: the copy differs from its source\n", what);
        QProcess::execute(QStringLiteral("rm"), {"-rf", cpTarget, ours});
    }
    result.ms = median(ourTimes);
    row(what, result, "cp -r", median(cpTimes));
}

} // namespace

int main(int argc, char** argv)
{
    bench::offscreenUnlessSet();
    bench::App app;
    QTemporaryDir disk;
    QTemporaryDir shm(QStringLiteral("/dev/shm/bench_fileoperator-XXXXXX"));
    if (!disk.isValid() || !shm.isValid()) {
        std::printf("no temporary folders\n");
        return 1;
    }
    const QString d = disk.path();
    FileOperator* op = FileOperator::self();
    op->setAnswerer(
        [](FileOperator::Question, const QString&, const QString&, const QString& text) {
            std::printf("unexpected question: %s\n", qPrintable(text));
            return 4;
        });

    // In RAM: the same data copied by cp and by the operator in turns.
    const QString ram = shm.path();
    std::printf("in RAM (tmpfs): medians of rounds in turns with cp\n");
    makeSmallTree(ram + "/tree");
    copyInTurns("copy 20k small files (7 rounds)", 7, ram + "/tree", ram);
    QDir(ram + "/tree").removeRecursively();
    makeBigFile(ram + "/big.bin");
    copyInTurns("copy one file of 1 GiB (9 rounds)", 9, ram + "/big.bin", ram);
    QFile::remove(ram + "/big.bin");
    if (argc > 1 && QByteArray(argv[1]) == "ram")
        return 0;

    std::printf("on the disk: against cp -r, mv and rm -r (%d files of 1 KiB, one file of 1 GiB)\n",
                kFiles);
    makeSmallFiles(d + "/small");
    makeBigFile(d + "/big.bin");
    copyInTurns("copy 10k files of 1 KiB (3 rounds)", 3, d + "/small", d);
    copyInTurns("copy one file of 1 GiB (3 rounds)", 3, d + "/big.bin", d);

    // Across file systems: from the work disk to /dev/shm (tmpfs).
    QDir().mkpath(d + "/ours");
    QProcess::execute(QStringLiteral("cp"), {"-r", d + "/small", d + "/cp-small"});
    QProcess::execute(QStringLiteral("cp"), {"-r", d + "/small", d + "/ours/small"});
    QDir().mkpath(shm.path() + "/ours");
    const double mvSmall = peer("mv", {d + "/cp-small", shm.path() + "/mv-small"});
    const Ours moveSmall =
        measure([&] { return op->move({d + "/ours/small"}, shm.path() + "/ours"); });
    row("move 10k files across devices", moveSmall, "mv", mvSmall);

    const double rmSmall = peer("rm", {"-r", shm.path() + "/mv-small"});
    const Ours eraseSmall = measure([&] { return op->erase({shm.path() + "/ours/small"}); });
    row("erase 10k files", eraseSmall, "rm -r", rmSmall);

    const Ours abortSmall = measure([&] { return op->copy({d + "/small"}, d + "/ours"); }, 150);
    std::printf("%-34s Abort to return %6.1f ms  worst timer lateness %6.1f ms\n",
                "abort copying small files", abortSmall.abortMs, abortSmall.worstLateMs);
    QProcess::execute(QStringLiteral("rm"), {"-rf", d + "/ours/small", d + "/ours/big.bin"});
    const Ours abortBig = measure([&] { return op->copy({d + "/big.bin"}, d + "/ours"); }, 150);
    std::printf("%-34s Abort to return %6.1f ms  worst timer lateness %6.1f ms\n",
                "abort copying 1 GiB", abortBig.abortMs, abortBig.worstLateMs);
    return 0;
}

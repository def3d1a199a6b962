// The explorer panel's file commands on a folder of 20k entries: the
// selection summary of Ctrl+A, the cut of 10k entries (greying and the new
// listing), and their paste onto another file system, beside `cp -r` and
// `mv` of the same files in the same run.
//
//   bench_explorerpanel [source-root] [other-file-system-root]
//   (default: /var/tmp and /dev/shm)

#include "benchutil.h"

#include "vexa/explorer/explorerpanel.h"
#include "vexa/explorer/fileslist.h"
#include "vexa/message.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QProcess>

#include <cstdio>

using namespace vexa;

namespace
{

const int folders = 1000;
const int files = 19000;
const int cutCount = 10000;

// 1k folders, 19k files of 1 KiB; the first 10k files ("a…") are the ones cut.
void makeFolder(const QString& path)
{
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    const QByteArray block(1024, 'x');
    for (int i = 0; i < folders; ++i)
        QDir(path).mkdir(QStringLiteral("dir%1").arg(i, 5, 10, QLatin1Char('0')));
    for (int i = 0; i < files; ++i) {
        QFile f(path + QStringLiteral("/%1%2.txt")
                           .arg(i < cutCount ? 'a' : 'b')
                           .arg(i, 5, 10, QLatin1Char('0')));
        if (f.open(QIODevice::WriteOnly))
            f.write(block);
    }
}

QStringList cutPaths(const QString& path)
{
    QStringList paths;
    for (int i = 0; i < cutCount; ++i)
        paths << path + QStringLiteral("/a%1.txt").arg(i, 5, 10, QLatin1Char('0'));
    return paths;
}

double runTool(const QString& tool, const QStringList& args)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(tool, args);
    p.waitForFinished(-1);
    return bench::msSince(t);
}

} // namespace

int main(int argc, char** argv)
{
    const QString diskRoot =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/var/tmp");
    const QString otherRoot =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/dev/shm");
    const QString source = diskRoot + QStringLiteral("/vexa-bench-explorer/src");
    const QString target = otherRoot + QStringLiteral("/vexa-bench-explorer");
    bench::App app;
    Settings::self();
    Settings::setKeyPrefix(QStringLiteral("/vexa"));
    Settings::self()->clear();
    Message::setResponder([](QMessageBox*) { return nullptr; });

    makeFolder(source);
    QDir(target).removeRecursively();
    QDir().mkpath(target + QStringLiteral("/paste"));
    QDir().mkpath(target + QStringLiteral("/cp"));
    QDir().mkpath(target + QStringLiteral("/mv"));

    auto* shell = new Shell(nullptr, "vexa::Shell");
    startServices(shell);
    shell->show();
    ExplorerPanel* panel = ExplorerPanel::self();
    FilesList* list = panel->filesList;
    panel->setFocus();
    list->go(source);
    list->go(source); // warm

    std::printf("Explorer panel on %d entries (%s -> %s)\n", folders + files + 1,
                qPrintable(source), qPrintable(target));
    QElapsedTimer t;
    t.start();
    list->selectAll();
    const double summary = bench::msSince(t);
    std::printf("%-44s %9.1f ms\n", "Ctrl+A selection summary", summary);

    // The first 10k files: rows after ".." and the folders.
    list->clearSelection();
    QItemSelection rows(list->model()->index(folders + 1, 0),
                        list->model()->index(folders + cutCount, 0));
    list->selectionModel()->select(rows, QItemSelectionModel::Select);
    t.restart();
    panel->cut();
    const double cut = bench::msSince(t);
    std::printf("%-44s %9.1f ms  (%lld greyed)\n", "cut of 10k entries (grey, re-read)", cut,
                qlonglong(list->excludeFilePaths().size()));

    list->go(target + QStringLiteral("/paste"));
    t.restart();
    panel->paste();
    const double paste = bench::msSince(t);
    const int moved = int(QDir(target + QStringLiteral("/paste")).entryList(QDir::Files).size());

    // The peers on the same files, made again.
    makeFolder(source);
    const double cp =
        runTool(QStringLiteral("cp"), QStringList{QStringLiteral("-r")} + cutPaths(source) +
                                          QStringList{target + QStringLiteral("/cp")});
    const double mv = runTool(QStringLiteral("mv"),
                              cutPaths(source) + QStringList{target + QStringLiteral("/mv")});
    std::printf("%-44s %9.1f ms  (%d files moved)\n",
                "paste (move 10k files to another file system)", paste, moved);
    std::printf("%-44s %9.1f ms  (ratio %.1fx)\n", "cp -r of the same files", cp, paste / cp);
    std::printf("%-44s %9.1f ms  (ratio %.1fx)\n", "mv of the same files", mv, paste / mv);

    delete shell;
    QDir(target).removeRecursively();
    QDir(diskRoot + QStringLiteral("/vexa-bench-explorer")).removeRecursively();
    return 0;
}

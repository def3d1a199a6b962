// The add-files dialog on a project folder of 20,000 files (20 folders of
// 20 folders of 50 files), 5,000 of them in the project: the time to build
// the dialog beside `find DIR -type f | wc -l` on the same folder, and the
// time to add 1,000 files chosen in it to the project. Each figure is the
// best of five runs.

#include "benchutil.h"
#include "vexa/message.h"
#include "vexa/project/addfilesdialog.h"
#include "vexa/project/project.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidgetItemIterator>
#include <cstdio>
#include <functional>

namespace
{

constexpr int kOuter = 20;
constexpr int kInner = 20;
constexpr int kFiles = 50;
constexpr int kInProject = 5000;
constexpr int kChosen = 1000;
constexpr int kRuns = 5;

double best(const std::function<double()>& run)
{
    double b = 1e300;
    for (int r = 0; r < kRuns; ++r)
        b = qMin(b, run());
    return b;
}

// The files on disk, and the project file naming the first kInProject.
QByteArray makeTree(const QString& root)
{
    QByteArray xml = "<!DOCTYPE vexaproject>\n<vexaproject>\n <project version=\"8.0\" "
                     "name=\"Big\">\n";
    int listed = 0;
    for (int o = 0; o < kOuter; ++o) {
        const QByteArray outer = "d" + QByteArray::number(o);
        xml += "  <folder name=\"" + outer + "\">\n";
        for (int i = 0; i < kInner; ++i) {
            const QByteArray inner = "s" + QByteArray::number(i);
            const QString dir = root + QLatin1Char('/') + QString::fromLatin1(outer + '/' + inner);
            QDir().mkpath(dir);
            xml += "   <folder name=\"" + inner + "\">\n";
            for (int f = 0; f < kFiles; ++f) {
                const QByteArray name = "file" + QByteArray::number(f) + ".cpp";
                QFile(dir + QLatin1Char('/') + QString::fromLatin1(name))
                    .open(QIODevice::WriteOnly);
                if (listed < kInProject) {
                    xml += "    <cpp name=\"" + name + "\" type=\"file\"/>\n";
                    ++listed;
                }
            }
            xml += "   </folder>\n";
        }
        xml += "  </folder>\n";
    }
    return xml + " </project>\n</vexaproject>\n";
}

} // namespace

int main()
{
    QTemporaryDir sandbox;
    qputenv("HOME", sandbox.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (sandbox.path() + QStringLiteral("/config")).toLocal8Bit());
    bench::App app;
    vexa::Settings::self();
    vexa::Settings::setKeyPrefix(QStringLiteral("/vexa"));

    const QString root = sandbox.path() + QStringLiteral("/big");
    const QString file = root + QStringLiteral("/big.vexa");
    const QByteArray xml = makeTree(root);
    auto writeProject = [&] {
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(xml);
    };
    writeProject();

    auto* shell = new vexa::Shell(nullptr, "vexa::Shell");
    vexa::Project* project = vexa::Project::self();
    shell->resize(1000, 700);
    shell->show();
    QApplication::processEvents();
    project->load(file);

    QString found;
    const double find = best([&] {
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.start(QStringLiteral("sh"),
                {QStringLiteral("-c"), QStringLiteral("find '%1' -type f | wc -l").arg(root)});
        p.waitForFinished(-1);
        found = QString::fromLatin1(p.readAllStandardOutput()).trimmed();
        return bench::msSince(t);
    });

    int listed = 0;
    const double open = best([&] {
        QElapsedTimer t;
        t.start();
        vexa::AddFilesDialog dialog(shell);
        const double ms = bench::msSince(t);
        listed = 0;
        for (QTreeWidgetItemIterator it(dialog.listViewFiles); *it; ++it)
            listed += static_cast<vexa::AddFilesDialogItem*>(*it)->isDir ? 0 : 1;
        return ms;
    });

    // Adding: from the end of the dialog's run to the end of the command.
    QElapsedTimer addTimer;
    vexa::Message::setDialogRunner([&](QDialog& d) {
        auto& dialog = static_cast<vexa::AddFilesDialog&>(d);
        int chosen = 0;
        for (QTreeWidgetItemIterator it(dialog.listViewFiles); *it && chosen < kChosen; ++it) {
            if (!static_cast<vexa::AddFilesDialogItem*>(*it)->isDir) {
                (*it)->setSelected(true);
                ++chosen;
            }
        }
        dialog.accept();
        addTimer.start();
        return int(QDialog::Accepted);
    });
    int before = 0;
    int after = 0;
    const double add = best([&] {
        // A fresh project each run: the close writes the file, so it is
        // written anew before it is loaded.
        project->close();
        writeProject();
        project->load(file);
        before = project->filePaths(QString()).size();
        project->addFilesDialog();
        const double ms = bench::msSince(addTimer);
        after = project->filePaths(QString()).size();
        return ms;
    });

    std::printf("Project folder of %s files (find), %d in the project\n\n", qPrintable(found),
                before);
    std::printf("%-36s %9.1f ms   find %9.1f ms   ratio %5.2f   (%d files listed)\n",
                "add-files dialog built", open, find, open / find, listed);
    std::printf("%-36s %9.1f ms   (%d files added)\n", "adding 1,000 chosen files", add,
                after - before);
    vexa::Message::setDialogRunner({});
    project->close();
    delete shell;
    return 0;
}

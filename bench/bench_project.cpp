// A generated project of 10,000 files in 500 folders: loading it with the
// tree shown, saving it, listing its file paths and finding its last file by
// local name, beside the floors measured in the same run: a bare DOM parse
// plus a plain tree widget of the same names, and the bare serialisation
// written to disk. Each figure is the best of five runs.

#include "benchutil.h"
#include "vexa/project/project.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/widgets/domlistview.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>
#include <functional>

namespace
{

constexpr int kFolders = 500;
constexpr int kFilesPerFolder = 20;
constexpr int kRuns = 5;

QByteArray generatedProject()
{
    QByteArray xml = "<!DOCTYPE vexaproject>\n<vexaproject>\n <project version=\"8.0\" "
                     "name=\"Big\">\n";
    for (int f = 0; f < kFolders; ++f) {
        xml += "  <folder name=\"dir" + QByteArray::number(f) + "\">\n";
        for (int i = 0; i < kFilesPerFolder; ++i)
            xml += "   <cpp name=\"file" + QByteArray::number(i) + ".cpp\" type=\"file\"/>\n";
        xml += "  </folder>\n";
    }
    xml += " </project>\n</vexaproject>\n";
    return xml;
}

// The best of kRuns timings of `work`, each after an untimed `prepare`.
double best(const std::function<void()>& work, const std::function<void()>& prepare = {})
{
    double b = 1e300;
    for (int r = 0; r < kRuns; ++r) {
        if (prepare)
            prepare();
        QElapsedTimer t;
        t.start();
        work();
        b = qMin(b, bench::msSince(t));
    }
    return b;
}

void row(const char* what, double ours, double floor)
{
    if (floor > 0)
        std::printf("%-34s %9.1f ms   floor %9.1f ms   ratio %5.2f\n", what, ours, floor,
                    ours / floor);
    else
        std::printf("%-34s %9.1f ms\n", what, ours);
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

    const QString file = sandbox.path() + QStringLiteral("/big/big.vexa");
    QDir().mkpath(sandbox.path() + QStringLiteral("/big"));
    const QByteArray xml = generatedProject();
    {
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(xml);
    }
    std::printf("Project of %d files in %d folders, %.1f kB\n\n", kFolders * kFilesPerFolder,
                kFolders, xml.size() / 1024.0);

    auto* shell = new vexa::Shell(nullptr, "vexa::Shell");
    vexa::Project* project = vexa::Project::self();
    shell->resize(1000, 700);
    shell->show();
    QApplication::processEvents();

    // Floors: what any program of this kind must do at the least.
    QTreeWidget plain;
    plain.setHeaderHidden(true);
    plain.resize(250, 700);
    plain.show();
    const double parseFloor = best(
        [&] {
            QFile f(file);
            f.open(QIODevice::ReadOnly);
            QDomDocument doc;
            doc.setContent(&f);
            plain.clear();
            const QDomElement p = doc.documentElement().firstChildElement();
            auto* top = new QTreeWidgetItem(&plain, {p.attribute(QStringLiteral("name"))});
            for (QDomElement d = p.firstChildElement(); !d.isNull(); d = d.nextSiblingElement()) {
                auto* folder = new QTreeWidgetItem(top, {d.attribute(QStringLiteral("name"))});
                for (QDomElement c = d.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
                    new QTreeWidgetItem(folder, {c.attribute(QStringLiteral("name"))});
            }
            top->setExpanded(true);
            QApplication::processEvents();
        },
        [&] {
            plain.clear();
            QApplication::processEvents();
        });
    const QString floorCopy = sandbox.path() + QStringLiteral("/floor.vexa");
    QDomDocument parsed;
    parsed.setContent(xml);
    const double saveFloor = best([&] {
        QFile f(floorCopy);
        f.open(QIODevice::WriteOnly);
        f.write(parsed.toByteArray(1));
    });

    const double load = best(
        [&] {
            project->load(file);
            QApplication::processEvents();
        },
        [&] {
            project->close();
            QApplication::processEvents();
        });
    const double save = best([&] { project->save(); });
    int count = 0;
    const double paths = best([&] { count = project->filePaths(QString()).size(); });
    const QString last =
        QStringLiteral("/dir%1/file%2.cpp").arg(kFolders - 1).arg(kFilesPerFolder - 1);
    bool found = false;
    const double lookup = best([&] { found = !project->localName2node(last).isNull(); });

    row("load, tree shown", load, parseFloor);
    row("save", save, saveFloor);
    row("filePaths(\"\")", paths, 0);
    row("localName2node(last file)", lookup, 0);
    std::printf("\n%d paths listed, last file %s; tree items: %d folders\n", count,
                found ? "found" : "MISSING", project->domView()->topLevelItem(0)->childCount());
    project->close();
    delete shell;
    return 0;
}

// Opening and saving a large file the way each editor does it: Vexa through
// its file layer (read, decode, build the lines; encode line by line into a
// temporary file that replaces the old one), the peers by reading the bytes
// into their widget and writing their whole text back.

#include "benchutil.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textfile.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

#ifdef VEXA_HAVE_QSCINTILLA
#include <Qsci/qsciscintilla.h>
#endif

using namespace xqwidgets;

namespace
{

QString g_dir;
const int kLines = 1000000;
const int kRuns = 3;

QString source()
{
    return bench::generatedFile(g_dir, kLines);
}

using bench::App;

// "open ms save ms" of one run in a fresh process.
QString figures(double open, double save)
{
    return QStringLiteral("%1 %2").arg(open, 0, 'f', 1).arg(save, 0, 'f', 1);
}

QString runOurs()
{
    App a;
    TextEditorManager m;
    TextDocument doc(&m);
    TextFile file;
    QElapsedTimer t;
    t.start();
    if (!file.load(source(), &doc))
        return QStringLiteral("load failed");
    const double open = bench::msSince(t);
    doc.cmdInsert(10, 0, QStringLiteral("x"));
    t.restart();
    if (!file.save(g_dir + QStringLiteral("/out-ours.cpp"), &doc))
        return QStringLiteral("save failed");
    return figures(open, bench::msSince(t));
}

QString runPlain()
{
    App a;
    QPlainTextEdit edit;
    QElapsedTimer t;
    t.start();
    {
        QFile f(source());
        f.open(QIODevice::ReadOnly);
        edit.setPlainText(QString::fromUtf8(f.readAll()));
    }
    const double open = bench::msSince(t);
    t.restart();
    QFile out(g_dir + QStringLiteral("/out-plain.cpp"));
    out.open(QIODevice::WriteOnly);
    out.write(edit.toPlainText().toUtf8());
    out.close();
    return figures(open, bench::msSince(t));
}

#ifdef VEXA_HAVE_QSCINTILLA
QString runScintilla()
{
    App a;
    QsciScintilla edit;
    edit.setUtf8(true);
    QElapsedTimer t;
    t.start();
    {
        QFile f(source());
        f.open(QIODevice::ReadOnly);
        edit.setText(QString::fromUtf8(f.readAll()));
    }
    const double open = bench::msSince(t);
    t.restart();
    QFile out(g_dir + QStringLiteral("/out-sci.cpp"));
    out.open(QIODevice::WriteOnly);
    out.write(edit.text().toUtf8());
    out.close();
    return figures(open, bench::msSince(t));
}
#endif

// Median open and save times over kRuns fresh processes.
void measure(const char* who, const std::function<QString()>& run)
{
    std::vector<double> open, save;
    for (int i = 0; i < kRuns; ++i) {
        const QStringList parts = bench::inChild(run).split(QLatin1Char(' '));
        if (parts.size() != 2) {
            std::printf("%-16s | %s\n", who, qPrintable(parts.join(QLatin1Char(' '))));
            return;
        }
        open.push_back(parts[0].toDouble());
        save.push_back(parts[1].toDouble());
    }
    std::sort(open.begin(), open.end());
    std::sort(save.begin(), save.end());
    std::printf("%-16s | %10.1f ms | %10.1f ms\n", who, open[kRuns / 2], save[kRuns / 2]);
}

} // namespace

int main()
{
    bench::offscreenUnlessSet();
    QTemporaryDir dir;
    g_dir = dir.path();
    source();
    std::printf("open and save %d lines (%lld bytes), median of %d runs\n", kLines,
                QFileInfo(source()).size(), kRuns);
    std::printf("%-16s | %13s | %13s\n", "", "open", "save");
    measure("Vexa file layer", runOurs);
    measure("QPlainTextEdit", runPlain);
#ifdef VEXA_HAVE_QSCINTILLA
    measure("QsciScintilla", runScintilla);
#else
    std::printf("%-16s | (not built)\n", "QsciScintilla");
#endif
    return 0;
}

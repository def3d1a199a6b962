// The text model against the editors a user would pick instead: load time and
// memory, Enter and line deletion at the top of small and huge documents,
// saving, and undo/redo of one large macro.

#include "benchutil.h"
#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextStream>
#include <algorithm>
#include <vector>

#ifdef VEXA_HAVE_QSCINTILLA
#include <Qsci/qsciscintilla.h>
#endif

using namespace xqwidgets;

namespace
{

QString g_dir;

QString fileFor(int lines)
{
    return bench::generatedFile(g_dir, lines);
}

using bench::App;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// --- load --------------------------------------------------------------------

QString loadFigures(double ms, double added, int lines, qint64 bytes)
{
    return QStringLiteral("%1 ms | %2 B/line | %3 B/char")
        .arg(ms, 0, 'f', 1)
        .arg(added / lines, 0, 'f', 1)
        .arg(added / double(bytes), 0, 'f', 2);
}

QString loadOurs(int lines)
{
    App a;
    TextEditorManager m;
    const QString path = fileFor(lines);
    const qint64 bytes = QFileInfo(path).size();
    const double before = bench::residentBytes();
    QElapsedTimer t;
    t.start();
    auto* doc = new TextDocument(&m);
    {
        // The editor's own path: the bytes, decoded once, handed over whole.
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray bytes = f.readAll();
        QStringDecoder decode(QStringDecoder::Utf8);
        doc->loadText(decode(bytes));
    }
    return loadFigures(bench::msSince(t), bench::residentBytes() - before, lines, bytes);
}

QString loadPlain(int lines)
{
    App a;
    const QString path = fileFor(lines);
    const qint64 bytes = QFileInfo(path).size();
    auto* edit = new QPlainTextEdit;
    const double before = bench::residentBytes();
    QElapsedTimer t;
    t.start();
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        edit->setPlainText(QString::fromUtf8(f.readAll()));
    }
    return loadFigures(bench::msSince(t), bench::residentBytes() - before, lines, bytes);
}

#ifdef VEXA_HAVE_QSCINTILLA
QString loadScintilla(int lines)
{
    App a;
    const QString path = fileFor(lines);
    const qint64 bytes = QFileInfo(path).size();
    auto* edit = new QsciScintilla;
    edit->setUtf8(true);
    const double before = bench::residentBytes();
    QElapsedTimer t;
    t.start();
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        edit->setText(QString::fromUtf8(f.readAll()));
    }
    return loadFigures(bench::msSince(t), bench::residentBytes() - before, lines, bytes);
}
#endif

// --- Enter and delete at line 0 ---------------------------------------------

const int kReps = 200;

QString topEditsOurs(int lines)
{
    App a;
    TextEditorManager m;
    TextDocument doc(&m);
    QFile f(fileFor(lines));
    f.open(QIODevice::ReadOnly);
    QTextStream s(&f);
    doc.load(s);
    std::vector<double> enter, del;
    for (int i = 0; i < kReps; ++i) {
        QElapsedTimer t;
        t.start();
        doc.cmdInsertLineBreak(0, 0);
        enter.push_back(bench::msSince(t));
        t.restart();
        doc.removeLine(0);
        del.push_back(bench::msSince(t));
    }
    return QStringLiteral("%1 ms | %2 ms")
        .arg(median(enter), 0, 'f', 4)
        .arg(median(del), 0, 'f', 4);
}

QString topEditsPlain(int lines)
{
    App a;
    QPlainTextEdit edit;
    QFile f(fileFor(lines));
    f.open(QIODevice::ReadOnly);
    edit.setPlainText(QString::fromUtf8(f.readAll()));
    std::vector<double> enter, del;
    for (int i = 0; i < kReps; ++i) {
        QTextCursor c(edit.document());
        QElapsedTimer t;
        t.start();
        c.insertBlock();
        enter.push_back(bench::msSince(t));
        t.restart();
        QTextCursor d(edit.document()->firstBlock());
        d.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        d.removeSelectedText();
        del.push_back(bench::msSince(t));
    }
    return QStringLiteral("%1 ms | %2 ms")
        .arg(median(enter), 0, 'f', 4)
        .arg(median(del), 0, 'f', 4);
}

#ifdef VEXA_HAVE_QSCINTILLA
QString topEditsScintilla(int lines)
{
    App a;
    QsciScintilla edit;
    edit.setUtf8(true);
    QFile f(fileFor(lines));
    f.open(QIODevice::ReadOnly);
    edit.setText(QString::fromUtf8(f.readAll()));
    std::vector<double> enter, del;
    for (int i = 0; i < kReps; ++i) {
        QElapsedTimer t;
        t.start();
        edit.insertAt(QStringLiteral("\n"), 0, 0);
        enter.push_back(bench::msSince(t));
        t.restart();
        edit.setSelection(0, 0, 1, 0);
        edit.removeSelectedText();
        del.push_back(bench::msSince(t));
    }
    return QStringLiteral("%1 ms | %2 ms")
        .arg(median(enter), 0, 'f', 4)
        .arg(median(del), 0, 'f', 4);
}
#endif

// --- save --------------------------------------------------------------------

QString saveOurs(int lines)
{
    App a;
    TextEditorManager m;
    TextDocument doc(&m);
    {
        QFile f(fileFor(lines));
        f.open(QIODevice::ReadOnly);
        QTextStream s(&f);
        doc.load(s);
    }
    doc.cmdInsert(10, 0, "x");
    QElapsedTimer t;
    t.start();
    QFile out(g_dir + "/out-ours.cpp");
    out.open(QIODevice::WriteOnly);
    QTextStream s(&out);
    doc.save(s);
    out.close();
    return QStringLiteral("%1 ms").arg(bench::msSince(t), 0, 'f', 1);
}

QString savePlain(int lines)
{
    App a;
    QPlainTextEdit edit;
    QFile f(fileFor(lines));
    f.open(QIODevice::ReadOnly);
    edit.setPlainText(QString::fromUtf8(f.readAll()));
    QElapsedTimer t;
    t.start();
    QFile out(g_dir + "/out-plain.cpp");
    out.open(QIODevice::WriteOnly);
    out.write(edit.toPlainText().toUtf8());
    out.close();
    return QStringLiteral("%1 ms").arg(bench::msSince(t), 0, 'f', 1);
}

#ifdef VEXA_HAVE_QSCINTILLA
QString saveScintilla(int lines)
{
    App a;
    QsciScintilla edit;
    edit.setUtf8(true);
    QFile f(fileFor(lines));
    f.open(QIODevice::ReadOnly);
    edit.setText(QString::fromUtf8(f.readAll()));
    QElapsedTimer t;
    t.start();
    QFile out(g_dir + "/out-sci.cpp");
    out.open(QIODevice::WriteOnly);
    out.write(edit.text().toUtf8());
    out.close();
    return QStringLiteral("%1 ms").arg(bench::msSince(t), 0, 'f', 1);
}
#endif

// --- one macro of 100k commands ----------------------------------------------

const int kMacro = 100000;

QString macroOurs()
{
    App a;
    TextEditorManager m;
    TextDocument doc(&m);
    {
        QFile f(fileFor(200000));
        f.open(QIODevice::ReadOnly);
        QTextStream s(&f);
        doc.load(s);
    }
    doc.macroBegin("many");
    for (int i = 0; i < kMacro; ++i)
        doc.cmdInsert(i, 0, i % 2 ? "//" : "x");
    doc.macroEnd();
    QElapsedTimer t;
    t.start();
    doc.undoStack()->undo();
    const double undo = bench::msSince(t);
    t.restart();
    doc.undoStack()->redo();
    const double redo = bench::msSince(t);
    return QStringLiteral("%1 ms | %2 ms").arg(undo, 0, 'f', 1).arg(redo, 0, 'f', 1);
}

QString macroPlain()
{
    App a;
    QPlainTextEdit edit;
    QFile f(fileFor(200000));
    f.open(QIODevice::ReadOnly);
    edit.setPlainText(QString::fromUtf8(f.readAll()));
    QTextCursor c(edit.document());
    c.beginEditBlock();
    QTextBlock b = edit.document()->firstBlock();
    QElapsedTimer build;
    build.start();
    for (int i = 0; i < kMacro && b.isValid(); ++i, b = b.next()) {
        if (build.elapsed() > 60000)
            return QStringLiteral("(building the macro: over 60 s)");
        QTextCursor bc(b);
        bc.insertText(i % 2 ? "//" : "x");
    }
    c.endEditBlock();
    QElapsedTimer t;
    t.start();
    edit.undo();
    const double undo = bench::msSince(t);
    t.restart();
    edit.redo();
    const double redo = bench::msSince(t);
    return QStringLiteral("%1 ms | %2 ms").arg(undo, 0, 'f', 1).arg(redo, 0, 'f', 1);
}

#ifdef VEXA_HAVE_QSCINTILLA
QString macroScintilla()
{
    App a;
    QsciScintilla edit;
    edit.setUtf8(true);
    QFile f(fileFor(200000));
    f.open(QIODevice::ReadOnly);
    edit.setText(QString::fromUtf8(f.readAll()));
    edit.beginUndoAction();
    // Straight to the component: the widget's own insertAt is far slower.
    QElapsedTimer build;
    build.start();
    for (int i = 0; i < kMacro; ++i) {
        if (build.elapsed() > 60000)
            return QStringLiteral("(building the macro: over 60 s)");
        const long pos = edit.SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, i);
        edit.SendScintilla(QsciScintilla::SCI_INSERTTEXT, pos, i % 2 ? "//" : "x");
    }
    edit.endUndoAction();
    QElapsedTimer t;
    t.start();
    edit.undo();
    const double undo = bench::msSince(t);
    t.restart();
    edit.redo();
    const double redo = bench::msSince(t);
    return QStringLiteral("%1 ms | %2 ms").arg(undo, 0, 'f', 1).arg(redo, 0, 'f', 1);
}
#endif

void row(const char* what, const QString& ours, const QString& plain, const QString& sci)
{
    std::printf("%-34s | %-40s | %-40s | %s\n", what, qPrintable(ours), qPrintable(plain),
                qPrintable(sci));
    std::fflush(stdout);
}

} // namespace

int main()
{
    bench::offscreenUnlessSet();
    QTemporaryDir dir;
    g_dir = dir.path();
#ifdef VEXA_HAVE_QSCINTILLA
    auto sci = [](const std::function<QString()>& f) { return bench::inChild(f); };
#else
    auto sci = [](const std::function<QString()>&) { return QStringLiteral("(not built)"); };
#endif
    std::printf("%-34s | %-40s | %-40s | %s\n", "benchmark", "Vexa document", "QPlainTextEdit",
                "QsciScintilla");
    for (int lines : {100000, 1000000}) {
        fileFor(lines);
        const QByteArray name = QStringLiteral("load %1 lines (time|mem)").arg(lines).toUtf8();
        row(name.constData(), bench::inChild([=] { return loadOurs(lines); }),
            bench::inChild([=] { return loadPlain(lines); }), sci([=] {
#ifdef VEXA_HAVE_QSCINTILLA
                return loadScintilla(lines);
#else
                return QString();
#endif
            }));
    }
    for (int lines : {10000, 1000000}) {
        fileFor(lines);
        const QByteArray name =
            QStringLiteral("Enter | delete line 0, %1 lines").arg(lines).toUtf8();
        row(name.constData(), bench::inChild([=] { return topEditsOurs(lines); }),
            bench::inChild([=] { return topEditsPlain(lines); }), sci([=] {
#ifdef VEXA_HAVE_QSCINTILLA
                return topEditsScintilla(lines);
#else
                return QString();
#endif
            }));
    }
    row("save 1M lines", bench::inChild([] { return saveOurs(1000000); }),
        bench::inChild([] { return savePlain(1000000); }), sci([] {
#ifdef VEXA_HAVE_QSCINTILLA
            return saveScintilla(1000000);
#else
            return QString();
#endif
        }));
    fileFor(200000);
    row("undo | redo of a 100k macro", bench::inChild([] { return macroOurs(); }),
        bench::inChild([] { return macroPlain(); }), sci([] {
#ifdef VEXA_HAVE_QSCINTILLA
            return macroScintilla();
#else
            return QString();
#endif
        }));
    return 0;
}

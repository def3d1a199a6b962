// Editing at scale against the editors a user would pick instead: select-all
// and delete on a million lines and its undo, pasting 100k lines, and closing
// and opening a fold around half a million lines. Every figure comes from a
// fresh child process.

#include "benchutil.h"
#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textfolding.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <cstdio>

#ifdef VEXA_HAVE_QSCINTILLA
#include <Qsci/qsciscintilla.h>
#endif

using namespace xqwidgets;

namespace
{

constexpr int kDeleteLines = 1000000;
constexpr int kPasteLines = 100000;
constexpr int kFoldDocLines = 1000000;
constexpr int kFoldFirst = 250000;
constexpr int kFoldLast = 750000; // 500k lines inside the fold

using bench::App;

QString text(int lines)
{
    QString s = QString::fromUtf8(bench::generateCpp(lines));
    s.chop(1); // no empty line after the last one
    return s;
}

QString ms(double v)
{
    return QString::number(v, 'f', 1);
}

QString checked(bool ok, const QString& figures)
{
    return ok ? figures : QStringLiteral("(wrong result)");
}

// --- select all + delete, then undo --------------------------------------------

QString deleteOurs()
{
    App a;
    TextEditorManager m;
    TextDocument doc(&m);
    doc.loadText(text(kDeleteLines));
    const QString before = doc.text();
    const int last = doc.lastLine();
    const QRect all(QPoint(0, 0), QPoint(int(doc.lineOf(last)->size()), last));
    QElapsedTimer t;
    t.start();
    doc.selectionCommand(TextDocument::SelectionRemove, all, false);
    const double del = bench::msSince(t);
    const bool emptied = doc.lastLine() == 0 && doc.lineOf(0)->isEmpty();
    t.restart();
    doc.undoStack()->undo();
    const double undo = bench::msSince(t);
    return checked(emptied && doc.text() == before, ms(del) + QLatin1Char('|') + ms(undo));
}

QString deletePlain()
{
    App a;
    QPlainTextEdit edit;
    edit.setPlainText(text(kDeleteLines));
    const int blocks = edit.document()->blockCount();
    QElapsedTimer t;
    t.start();
    QTextCursor c(edit.document());
    c.select(QTextCursor::Document);
    c.removeSelectedText();
    const double del = bench::msSince(t);
    const bool emptied = edit.document()->isEmpty();
    t.restart();
    edit.document()->undo();
    const double undo = bench::msSince(t);
    return checked(emptied && edit.document()->blockCount() == blocks,
                   ms(del) + QLatin1Char('|') + ms(undo));
}

#ifdef VEXA_HAVE_QSCINTILLA
QString deleteScintilla()
{
    App a;
    QsciScintilla edit;
    edit.setText(text(kDeleteLines));
    const int lines = edit.lines();
    QElapsedTimer t;
    t.start();
    edit.selectAll(true);
    edit.removeSelectedText();
    const double del = bench::msSince(t);
    const bool emptied = edit.length() == 0;
    t.restart();
    edit.undo();
    const double undo = bench::msSince(t);
    return checked(emptied && edit.lines() == lines, ms(del) + QLatin1Char('|') + ms(undo));
}
#endif

// --- paste 100k lines into the middle of a document ---------------------------

QString pasteOurs()
{
    App a;
    TextEditorManager m;
    TextDocument doc(&m);
    doc.loadText(text(1000));
    const QString clip = text(kPasteLines);
    QElapsedTimer t;
    t.start();
    doc.insert(clip, 500, 4);
    const double paste = bench::msSince(t);
    return checked(doc.lastLine() == 1000 + kPasteLines - 2, ms(paste));
}

QString pastePlain()
{
    App a;
    QPlainTextEdit edit;
    edit.setPlainText(text(1000));
    const QString clip = text(kPasteLines);
    QTextCursor c(edit.document()->findBlockByNumber(500));
    c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 4);
    QElapsedTimer t;
    t.start();
    c.insertText(clip);
    const double paste = bench::msSince(t);
    return checked(edit.document()->blockCount() == 1000 + kPasteLines - 1, ms(paste));
}

#ifdef VEXA_HAVE_QSCINTILLA
QString pasteScintilla()
{
    App a;
    QsciScintilla edit;
    edit.setText(text(1000));
    const QString clip = text(kPasteLines);
    QElapsedTimer t;
    t.start();
    edit.insertAt(clip, 500, 4);
    const double paste = bench::msSince(t);
    return checked(edit.lines() == 1000 + kPasteLines - 1, ms(paste));
}
#endif

// --- close and open a fold around 500k lines ----------------------------------

QString foldOurs()
{
    App a;
    TextEditorManager m;
    TextDocument doc(&m);
    doc.loadText(text(kFoldDocLines));
    TextFolding* folding = doc.folding();
    QElapsedTimer t;
    t.start();
    const bool made = folding->createFold(kFoldFirst, kFoldLast); // made closed
    const double create = bench::msSince(t);
    const bool hidden = !doc.lineOf(kFoldFirst + 1)->isFoldVisible;
    t.restart();
    folding->openFold(kFoldFirst);
    const double open = bench::msSince(t);
    const bool shown = doc.lineOf(kFoldLast)->isFoldVisible;
    t.restart();
    folding->closeFold(kFoldFirst);
    const double close = bench::msSince(t);
    return checked(made && hidden && shown && !doc.lineOf(kFoldLast)->isFoldVisible,
                   ms(close) + QLatin1Char('|') + ms(open) + QLatin1Char('|') + ms(create));
}

#ifdef VEXA_HAVE_QSCINTILLA
QString foldScintilla()
{
    App a;
    QsciScintilla edit;
    edit.setText(text(kFoldDocLines));
    // Fold levels as a folding lexer would set them: a header line and the
    // lines below it one level deeper.
    const long base = QsciScintillaBase::SC_FOLDLEVELBASE;
    for (int i = kFoldFirst; i <= kFoldLast; ++i) {
        const long level =
            i == kFoldFirst ? base | QsciScintillaBase::SC_FOLDLEVELHEADERFLAG : base + 1;
        edit.SendScintilla(QsciScintillaBase::SCI_SETFOLDLEVEL, i, level);
    }
    QElapsedTimer t;
    t.start();
    edit.SendScintilla(QsciScintillaBase::SCI_FOLDLINE, kFoldFirst,
                       long(QsciScintillaBase::SC_FOLDACTION_CONTRACT));
    const double close = bench::msSince(t);
    const bool hidden = !edit.SendScintilla(QsciScintillaBase::SCI_GETLINEVISIBLE, kFoldFirst + 1);
    t.restart();
    edit.SendScintilla(QsciScintillaBase::SCI_FOLDLINE, kFoldFirst,
                       long(QsciScintillaBase::SC_FOLDACTION_EXPAND));
    const double open = bench::msSince(t);
    const bool shown = edit.SendScintilla(QsciScintillaBase::SCI_GETLINEVISIBLE, kFoldLast);
    return checked(hidden && shown, ms(close) + QLatin1Char('|') + ms(open) + QStringLiteral("|-"));
}
#endif

void row(const char* what, const QString& ours, const QString& plain, const QString& sci)
{
    std::printf("%-36s %14s %16s %16s\n", what, qPrintable(ours), qPrintable(plain),
                qPrintable(sci));
    std::fflush(stdout);
}

QString part(const QString& figures, int i)
{
    const QStringList p = figures.split(QLatin1Char('|'));
    return i < p.size() ? p.at(i) : p.first();
}

} // namespace

int main(int argc, char** argv)
{
    // One measurement alone, in this process (for profiling): its name.
    if (argc > 1) {
        const QByteArray only = argv[1];
        const QList<QPair<QByteArray, QString (*)()>> single{
            {"delete", deleteOurs}, {"paste", pasteOurs}, {"fold", foldOurs}};
        for (const auto& m : single) {
            if (m.first == only) {
                std::printf("%s\n", qPrintable(m.second()));
                return 0;
            }
        }
        std::fprintf(stderr, "usage: %s [delete|paste|fold]\n", argv[0]);
        return 2;
    }
    const QString na = QStringLiteral("n/a");
    std::printf("Editing benchmark (times in ms; each column from its own process)\n\n");
    std::printf("%-36s %14s %16s %16s\n", "operation", "vexa", "QPlainTextEdit", "QScintilla");

    const QString delOurs = bench::inChild(deleteOurs);
    const QString delPlain = bench::inChild(deletePlain);
#ifdef VEXA_HAVE_QSCINTILLA
    const QString delSci = bench::inChild(deleteScintilla);
#else
    const QString delSci = na;
#endif
    row("select all + delete, 1M lines", part(delOurs, 0), part(delPlain, 0), part(delSci, 0));
    row("undo of that, 1M lines", part(delOurs, 1), part(delPlain, 1), part(delSci, 1));

#ifdef VEXA_HAVE_QSCINTILLA
    const QString pasteSci = bench::inChild(pasteScintilla);
#else
    const QString pasteSci = na;
#endif
    row("paste 100k lines", bench::inChild(pasteOurs), bench::inChild(pastePlain), pasteSci);

    const QString foldOurs_ = bench::inChild(foldOurs);
#ifdef VEXA_HAVE_QSCINTILLA
    const QString foldSci = bench::inChild(foldScintilla);
#else
    const QString foldSci = na;
#endif
    row("close a fold of 500k lines (1M doc)", part(foldOurs_, 0), na, part(foldSci, 0));
    row("open it again", part(foldOurs_, 1), na, part(foldSci, 1));
    row("create it (made closed)", part(foldOurs_, 2), na, na);
    return 0;
}

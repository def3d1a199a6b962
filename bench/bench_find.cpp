// Find and replace at scale, through each editor's widget: a plain find
// that matches nothing in a million lines, a replace-all of 100k matches and
// its undo (time and the memory the undo keeps), and a replace-all of 50k
// matches in a 10 MB file. Vexa goes through its editor frame; the peers
// through their own documents, one undo step each. Every figure comes from a
// fresh child process.
//
// Then the replace-all cases that once grew worse than linearly (a tab in
// the replacement, an expression over a long line, a replacement holding a
// line break and its undo in C++ that changes the context of every new
// line), each beside a plain replace-all of the same count on the same
// text, several runs each with median and worst.

#include "benchutil.h"
#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cstdio>
#include <vector>

#ifdef VEXA_HAVE_QSCINTILLA
#include <Qsci/qsciscintilla.h>
#endif

using namespace xqwidgets;

namespace
{

constexpr int kFindLines = 1000000;
// "m_total" is on 4 of the generator's 27 lines: 100k matches.
constexpr int kReplaceLines = 675000;
constexpr int kReplaceMatches = 100000;
// 250k lines of 40 characters, "needle" on every fifth: 50k matches, 10 MB.
constexpr int kBigLines = 250000;
constexpr int kBigMatches = 50000;

// A peer whose replace-all grows worse than linearly is stopped here; its
// figure then says how far it got.
constexpr qint64 kCapMs = 60000;

const QString kMissing = QStringLiteral("no_such_identifier");
const QString kFrom = QStringLiteral("m_total");
const QString kTo = QStringLiteral("m_sum");
const QString kNeedle = QStringLiteral("needle");
const QString kThread = QStringLiteral("thread");

using bench::App;

QString cpp(int lines)
{
    return bench::cppText(lines);
}

QString tenMegabytes()
{
    return bench::needleLines(kBigLines);
}

QString ms(double v)
{
    return QString::number(v, 'f', 1);
}

QString mb(double bytes)
{
    return QString::number(bytes / (1024.0 * 1024.0), 'f', 1);
}

QString checked(bool ok, const QString& figures)
{
    return ok ? figures : QStringLiteral("(wrong result)");
}

// The figure of a peer's replace-all that was stopped after `done` matches.
QString capped(int done, int all)
{
    return QStringLiteral(">%1s(%2/%3)").arg(kCapMs / 1000).arg(done).arg(all);
}

// --- Vexa: the editor frame --------------------------------------------------------

struct Ours {
    App a;
    TextEditorManager m;
    TextEditor* e = nullptr;

    explicit Ours(const QString& text)
    {
        e = m.createEditor(nullptr, nullptr);
        e->resize(1000, 800);
        e->show();
        QApplication::processEvents();
        e->document()->loadText(text);
        QApplication::processEvents();
    }
    ~Ours() { delete e; }
};

QString findOurs()
{
    Ours o(cpp(kFindLines));
    QElapsedTimer t;
    t.start();
    const bool found = o.e->find(kMissing, true, false, false, false);
    return checked(!found, ms(bench::msSince(t)));
}

// "replace ms|undo ms|memory kept MB"
QString replaceOurs()
{
    Ours o(cpp(kReplaceLines));
    const QString before = o.e->text();
    const double rss = bench::residentBytes();
    QElapsedTimer t;
    t.start();
    const int n = o.e->replaceAll(kFrom, kTo, true, false, false);
    const double replace = bench::msSince(t);
    const double kept = bench::residentBytes() - rss;
    const bool replaced = n == kReplaceMatches && !o.e->text().contains(kFrom);
    t.restart();
    o.e->document()->undoStack()->undo();
    const double undo = bench::msSince(t);
    return checked(replaced && o.e->text() == before,
                   ms(replace) + QLatin1Char('|') + ms(undo) + QLatin1Char('|') + mb(kept));
}

QString bigOurs()
{
    Ours o(tenMegabytes());
    QElapsedTimer t;
    t.start();
    const int n = o.e->replaceAll(kNeedle, kThread, true, false, false);
    return checked(n == kBigMatches, ms(bench::msSince(t)));
}

QString part(const QString& figures, int i);

// --- Replace-all cases beside a plain replace-all of the same count ----------------

struct ReplaceCase {
    const char* name;
    QString (*text)();
    QString find;
    QString replacement;
    bool expression;
};

QString commaLines()
{
    QStringList lines;
    for (int i = 0; i < 128 * 1024; ++i)
        lines << QStringLiteral("a,b");
    return lines.join(QLatin1Char('\n'));
}

QString commaLine(int pairs)
{
    QString s;
    s.reserve(2 * qsizetype(pairs));
    for (int i = 0; i < pairs; ++i)
        s += QStringLiteral("a,");
    return s;
}

QString shortCommaLine()
{
    return commaLine(60000);
}

QString longCommaLine()
{
    return commaLine(300000);
}

QString quoteLine()
{
    QString s;
    for (int i = 0; i < 16000; ++i)
        s += QStringLiteral("x\",");
    return s;
}

const ReplaceCase kCases[] = {
    {"tab, 128k lines of a,b", commaLines, QStringLiteral(","), QStringLiteral("\t"), false},
    {"tab, one line of 120k", shortCommaLine, QStringLiteral(","), QStringLiteral("\t"), false},
    {"expression, one line of 600k", longCommaLine, QStringLiteral(","), QStringLiteral(";"), true},
    {"line break, one line of x\", x16k", quoteLine, QStringLiteral(","), QStringLiteral("\n"),
     false},
};

// "replace ms|undo ms" of one case, or of a plain replace-all (`,` by `;`)
// of the same text when `plain`.
QString replaceCase(const ReplaceCase& c, bool plain)
{
    Ours o{QString()};
    o.e->setFilePath(QStringLiteral("case.cpp"));
    o.e->document()->loadText(c.text());
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    const int n = plain          ? o.e->replaceAll(c.find, QStringLiteral(";"), true, false, false)
                  : c.expression ? o.e->replaceAllRegexp(c.find, c.replacement, true, false)
                                 : o.e->replaceAll(c.find, c.replacement, true, false, false);
    const double replace = bench::msSince(t);
    t.restart();
    o.e->document()->undoStack()->undo();
    const double undo = bench::msSince(t);
    return checked(n > 0, ms(replace) + QLatin1Char('|') + ms(undo));
}

// Median and worst of the runs of one figure.
QString spread(std::vector<double> v)
{
    if (v.empty())
        return QStringLiteral("-");
    std::sort(v.begin(), v.end());
    return ms(v[v.size() / 2]) + QLatin1Char('/') + ms(v.back());
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double worst(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

// Each case and its plain replace-all run kRuns times, alternating, each in
// a fresh process: median/worst of each, and the ratios of both.
void replaceCases()
{
    constexpr int kRuns = 7;
    std::printf("\nReplace-all cases beside a plain replace-all of the same count, %d runs each "
                "(ms, median/worst; ratio of medians/of worsts)\n\n",
                kRuns);
    std::printf("%-34s %14s %14s %11s %14s %14s %11s\n", "case", "replace", "plain", "ratio",
                "undo", "plain", "ratio");
    // VEXA_BENCH_CASE=<n> runs only the case of that index (for profiling).
    const int only = qEnvironmentVariableIsSet("VEXA_BENCH_CASE")
                         ? qEnvironmentVariableIntValue("VEXA_BENCH_CASE")
                         : -1;
    int index = -1;
    for (const ReplaceCase& c : kCases) {
        if (++index != only && only >= 0)
            continue;
        std::vector<double> mine[2], plain[2];
        QString failure;
        for (int run = 0; run < kRuns && failure.isEmpty(); ++run) {
            const QString a = bench::inChild([&] { return replaceCase(c, false); }, 120);
            const QString b = bench::inChild([&] { return replaceCase(c, true); }, 120);
            if (!a.contains(QLatin1Char('|')) || !b.contains(QLatin1Char('|'))) {
                failure = a + QLatin1Char(' ') + b;
                break;
            }
            for (int i = 0; i < 2; ++i) {
                mine[i].push_back(part(a, i).toDouble());
                plain[i].push_back(part(b, i).toDouble());
            }
        }
        if (!failure.isEmpty()) {
            std::printf("%-34s %s\n", c.name, qPrintable(failure));
            continue;
        }
        auto ratio = [&](int i) {
            return QString::asprintf("%.2f/%.2f", median(mine[i]) / qMax(0.1, median(plain[i])),
                                     worst(mine[i]) / qMax(0.1, worst(plain[i])));
        };
        std::printf("%-34s %14s %14s %11s %14s %14s %11s\n", c.name, qPrintable(spread(mine[0])),
                    qPrintable(spread(plain[0])), qPrintable(ratio(0)), qPrintable(spread(mine[1])),
                    qPrintable(spread(plain[1])), qPrintable(ratio(1)));
        std::fflush(stdout);
    }
}

// --- QPlainTextEdit: QTextDocument::find and a cursor in one edit block --------------

struct Plain {
    App a;
    QPlainTextEdit edit;

    explicit Plain(const QString& text)
    {
        edit.resize(1000, 800);
        edit.show();
        edit.setPlainText(text);
        QApplication::processEvents();
    }
};

int replaceAllPlain(QPlainTextEdit& edit, const QString& from, const QString& to)
{
    QTextDocument* doc = edit.document();
    QTextCursor edit_(doc);
    edit_.beginEditBlock();
    int n = 0;
    QTextCursor c = doc->find(from, 0, QTextDocument::FindCaseSensitively);
    QElapsedTimer t;
    t.start();
    while (!c.isNull()) {
        if (t.elapsed() > kCapMs) {
            n = -n;
            break;
        }
        edit_.setPosition(c.selectionStart());
        edit_.setPosition(c.selectionEnd(), QTextCursor::KeepAnchor);
        edit_.insertText(to);
        ++n;
        c = doc->find(from, edit_.position(), QTextDocument::FindCaseSensitively);
    }
    edit_.endEditBlock();
    return n;
}

QString findPlain()
{
    Plain p(cpp(kFindLines));
    QElapsedTimer t;
    t.start();
    const bool found = p.edit.find(kMissing, QTextDocument::FindCaseSensitively);
    return checked(!found, ms(bench::msSince(t)));
}

QString replacePlain()
{
    Plain p(cpp(kReplaceLines));
    const QString before = p.edit.toPlainText();
    const double rss = bench::residentBytes();
    QElapsedTimer t;
    t.start();
    const int n = replaceAllPlain(p.edit, kFrom, kTo);
    if (n < 0)
        return capped(-n, kReplaceMatches);
    const double replace = bench::msSince(t);
    const double kept = bench::residentBytes() - rss;
    t.restart();
    p.edit.document()->undo();
    const double undo = bench::msSince(t);
    return checked(n == kReplaceMatches && p.edit.toPlainText() == before,
                   ms(replace) + QLatin1Char('|') + ms(undo) + QLatin1Char('|') + mb(kept));
}

QString bigPlain()
{
    Plain p(tenMegabytes());
    QElapsedTimer t;
    t.start();
    const int n = replaceAllPlain(p.edit, kNeedle, kThread);
    if (n < 0)
        return capped(-n, kBigMatches);
    return checked(n == kBigMatches, ms(bench::msSince(t)));
}

// --- QScintilla: search in target and replace target in one undo action ------------

#ifdef VEXA_HAVE_QSCINTILLA
struct Sci {
    App a;
    QsciScintilla edit;

    explicit Sci(const QString& text)
    {
        edit.resize(1000, 800);
        edit.show();
        edit.setText(text);
        QApplication::processEvents();
    }
};

int replaceAllSci(QsciScintilla& edit, const QString& from, const QString& to)
{
    const QByteArray f = from.toUtf8();
    const QByteArray r = to.toUtf8();
    edit.SendScintilla(QsciScintillaBase::SCI_SETSEARCHFLAGS, QsciScintillaBase::SCFIND_MATCHCASE);
    edit.beginUndoAction();
    int n = 0;
    long start = 0;
    QElapsedTimer t;
    t.start();
    while (true) {
        if (t.elapsed() > kCapMs) {
            n = -n;
            break;
        }
        const long end = edit.SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
        edit.SendScintilla(QsciScintillaBase::SCI_SETTARGETSTART, start);
        edit.SendScintilla(QsciScintillaBase::SCI_SETTARGETEND, end);
        if (edit.SendScintilla(QsciScintillaBase::SCI_SEARCHINTARGET, f.size(), f.constData()) < 0)
            break;
        edit.SendScintilla(QsciScintillaBase::SCI_REPLACETARGET, r.size(), r.constData());
        start = edit.SendScintilla(QsciScintillaBase::SCI_GETTARGETEND);
        ++n;
    }
    edit.endUndoAction();
    return n;
}

QString findSci()
{
    Sci s(cpp(kFindLines));
    QElapsedTimer t;
    t.start();
    const bool found = s.edit.findFirst(kMissing, false, true, false, false);
    return checked(!found, ms(bench::msSince(t)));
}

QString replaceSci()
{
    Sci s(cpp(kReplaceLines));
    const QString before = s.edit.text();
    const double rss = bench::residentBytes();
    QElapsedTimer t;
    t.start();
    const int n = replaceAllSci(s.edit, kFrom, kTo);
    if (n < 0)
        return capped(-n, kReplaceMatches);
    const double replace = bench::msSince(t);
    const double kept = bench::residentBytes() - rss;
    t.restart();
    s.edit.undo();
    const double undo = bench::msSince(t);
    return checked(n == kReplaceMatches && s.edit.text() == before,
                   ms(replace) + QLatin1Char('|') + ms(undo) + QLatin1Char('|') + mb(kept));
}

QString bigSci()
{
    Sci s(tenMegabytes());
    QElapsedTimer t;
    t.start();
    const int n = replaceAllSci(s.edit, kNeedle, kThread);
    if (n < 0)
        return capped(-n, kBigMatches);
    return checked(n == kBigMatches, ms(bench::msSince(t)));
}
#endif

void row(const char* what, const QString& ours, const QString& plain, const QString& sci)
{
    std::printf("%-44s %12s %16s %14s\n", what, qPrintable(ours), qPrintable(plain),
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
    // Only the replace-all cases.
    if (argc > 1 && QByteArray(argv[1]) == "cases") {
        bench::offscreenUnlessSet();
        replaceCases();
        return 0;
    }
    // One measurement alone, in this process (for profiling): its name.
    if (argc > 1) {
        const QByteArray only = argv[1];
        const QList<QPair<QByteArray, QString (*)()>> single{
            {"find", findOurs},        {"replace", replaceOurs},        {"big", bigOurs},
            {"plain-find", findPlain}, {"plain-replace", replacePlain}, {"plain-big", bigPlain},
#ifdef VEXA_HAVE_QSCINTILLA
            {"sci-find", findSci},     {"sci-replace", replaceSci},     {"sci-big", bigSci},
#endif
        };
        for (const auto& m : single) {
            if (m.first == only) {
                std::printf("%s\n", qPrintable(m.second()));
                return 0;
            }
        }
        std::fprintf(stderr, "usage: %s [[plain-|sci-]find|replace|big]\n", argv[0]);
        return 2;
    }
    const QString na = QStringLiteral("n/a");
    std::printf("Find and replace benchmark (ms, MB; each column from its own process)\n\n");
    std::printf("%-44s %12s %16s %14s\n", "operation", "vexa", "QPlainTextEdit", "QScintilla");

#ifdef VEXA_HAVE_QSCINTILLA
    const QString fSci = bench::inChild(findSci);
    const QString rSci = bench::inChild(replaceSci);
    const QString bSci = bench::inChild(bigSci);
#else
    const QString fSci = na, rSci = na, bSci = na;
#endif
    row("find, no match, 1M lines", bench::inChild(findOurs), bench::inChild(findPlain), fSci);
    const QString rOurs = bench::inChild(replaceOurs);
    const QString rPlain = bench::inChild(replacePlain);
    row("replace all, 100k matches", part(rOurs, 0), part(rPlain, 0), part(rSci, 0));
    row("undo of that", part(rOurs, 1), part(rPlain, 1), part(rSci, 1));
    row("memory kept by it (MB)", part(rOurs, 2), part(rPlain, 2), part(rSci, 2));
    row("replace all, 50k matches in 10 MB", bench::inChild(bigOurs), bench::inChild(bigPlain),
        bSci);
    replaceCases();
    return 0;
}

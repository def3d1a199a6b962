// Replace with "Replace All" ticked through the search manager (the first
// find on the current editor, then the editor's replace-all inside the
// run's undo group), beside the editing component's own replace-all on the
// same text, in the same run: 100k matches in a million lines of generated C++ and 50k matches
// in a 10 MB file; then the one undo of each, and the memory the change
// keeps. Every figure comes from a fresh child process.

#include "benchutil.h"
#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/message.h"
#include "vexa/search/searchdialogs.h"
#include "vexa/search/searchmanager.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QTemporaryDir>
#include <cstdio>

namespace
{

struct Workload {
    const char* what;
    QString (*text)();
    QString from;
    QString to;
    int matches;
};

// "m_total" is on 4 of the generator's 27 lines: 100k matches.
QString million()
{
    return bench::cppText(675000);
}

// "needle" on every fifth of 250k lines of 40 characters: 50k matches, 10 MB.
QString tenMegabytes()
{
    return bench::needleLines(250000);
}

QString ms(double v)
{
    return QString::number(v, 'f', 0);
}

QString mb(double bytes)
{
    return QString::number(bytes / (1024.0 * 1024.0), 'f', 1);
}

// "replace ms|undo ms|MB kept", or a note when the result was wrong.
QString figures(bool ok, double replace, double undo, double kept)
{
    return ok ? ms(replace) + QLatin1Char('|') + ms(undo) + QLatin1Char('|') + mb(kept)
              : QStringLiteral("(wrong result)");
}

QString throughManager(const Workload& w)
{
    bench::App app;
    QTemporaryDir config;
    vexa::Settings::setKeyPrefix(QStringLiteral("/vexa"));
    auto* shell = new vexa::Shell(nullptr, "vexa::Shell");
    vexa::startServices(shell);
    shell->resize(1000, 800);
    shell->show();
    QApplication::processEvents();
    vexa::Editor* e = vexa::Editors::self()->current();
    const QString text = w.text();
    e->setText(text);
    e->setCursorPosition(0, 0);
    QApplication::processEvents();
    vexa::Message::setDialogRunner([&](QDialog& dlg) {
        auto* r = qobject_cast<ReplaceDialog*>(&dlg);
        if (!r)
            return 0;
        r->findString->setEditText(w.from);
        r->replaceString->setEditText(w.to);
        r->replaceAll->setChecked(true);
        r->caseSensitive->setChecked(true);
        return 1;
    });
    const double rss = bench::residentBytes();
    QElapsedTimer t;
    t.start();
    vexa::SearchManager::self()->replace();
    QApplication::processEvents();
    const double replace = bench::msSince(t);
    const double kept = bench::residentBytes() - rss;
    const QString after = e->text();
    const bool replaced = !after.contains(w.from) && after.count(w.to) >= w.matches;
    t.restart();
    e->undo();
    QApplication::processEvents();
    const double undo = bench::msSince(t);
    return figures(replaced && e->text() == text, replace, undo, kept);
}

QString component(const Workload& w)
{
    bench::App app;
    xqwidgets::TextEditorManager m;
    xqwidgets::TextEditor* e = m.createEditor(nullptr, nullptr);
    e->resize(1000, 800);
    e->show();
    QApplication::processEvents();
    e->document()->loadText(w.text());
    QApplication::processEvents();
    const QString text = e->text();
    const double rss = bench::residentBytes();
    QElapsedTimer t;
    t.start();
    const int n = e->replaceAll(w.from, w.to, true, false, false);
    QApplication::processEvents();
    const double replace = bench::msSince(t);
    const double kept = bench::residentBytes() - rss;
    t.restart();
    e->document()->undoStack()->undo();
    QApplication::processEvents();
    const double undo = bench::msSince(t);
    const bool ok = n == w.matches && e->text() == text;
    delete e;
    return figures(ok, replace, undo, kept);
}

} // namespace

int main()
{
    const Workload loads[] = {
        {"100k matches in 1M lines", million, QStringLiteral("m_total"), QStringLiteral("m_sum"),
         100000},
        {"50k matches in 10 MB", tenMegabytes, QStringLiteral("needle"), QStringLiteral("thread"),
         50000},
    };
    std::printf("Replace All through the search manager beside the component's replace-all\n"
                "(ms replace | ms undo | MB kept; each from its own process)\n\n");
    std::printf("%-28s %24s %24s %8s %8s\n", "workload", "search manager", "component", "x repl",
                "x undo");
    for (const Workload& w : loads) {
        const QString ours = bench::inChild([&]() { return throughManager(w); }, 600);
        const QString peer = bench::inChild([&]() { return component(w); }, 600);
        const QStringList a = ours.split(QLatin1Char('|'));
        const QStringList b = peer.split(QLatin1Char('|'));
        const double xr = a.value(0).toDouble() / qMax(1.0, b.value(0).toDouble());
        const double xu = a.value(1).toDouble() / qMax(1.0, b.value(1).toDouble());
        std::printf("%-28s %24s %24s %8.2f %8.2f\n", w.what, qPrintable(ours), qPrintable(peer), xr,
                    xu);
        std::fflush(stdout);
    }
    return 0;
}

// The tags panel at scale, in the real main window with the real editors and
// a parser that delivers prepared trees:
// (a) a tree of 25k top-level symbols shown for the first time, delivered
//     again unchanged, and a tree with one symbol renamed, beside filling a
//     plain QTreeWidget with the same names;
// (b) the 5000 ms tick on an unchanged 50 MB text, beside what reading and
//     hashing that text (the work the tick skips) costs;
// (c) typing into a 24 MB C++ file while the real ctags parser refreshes its
//     tags (bursts of keys, then a refresh that is waited for until its tree
//     is in the view; then a line that adds a symbol, and its refresh): the
//     worst lateness of a 10 ms timer meanwhile, beside the same typing with
//     no tags at all (the editor's own share); and the ctags reader over
//     that file's ctags output beside QFile::readLine over the same output;
// (d) that file's tree shown, then a tree that adds one top-level symbol
//     delivered: the worst lateness of a 10 ms timer until the rows are laid
//     out, beside delivering a tree that adds nothing;
// (e) typing into that file from the moment it opens, with no pause and no
//     waiting for trees: the longest event of the GUI thread (timed through
//     QApplication::notify, no timer period taken off) and its CPU time per
//     key, beside the same typing without tags; then how long after the last
//     key the tree of the final text is in the view, beside ctags's own time.
// Every figure comes from a fresh child process.

#include "benchutil.h"
#include "vexa/ctags/ctagsoutput.h"
#include "vexa/ctags/ctagsparser.h"
#include "vexa/ctags/node.h"
#include "vexa/ctags/parser.h"
#include "vexa/ctags/tagspanel.h"
#include "vexa/ctags/tagsview.h"
#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/filetype.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QKeyEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace vexa;

namespace
{

QString g_dir;
// How long (e) types.
int g_liveSeconds = 30;
constexpr int symbols = 25000;

class PreparedParser : public Parser
{
public:
    void finish(int key, const QString& file, Node* root) { deliver(key, file, root); }
    void resend(int key, Node* root) { Q_EMIT nodes(key, root); }

protected:
    int parse(const QString&) override { return requestKey(); }
};

// 25k top-level functions, one a line of `text`; `renamed` gets another name.
Node* flatTree(const QString& text, int renamed = -1)
{
    const Parser::LineEnds ends(text);
    Node* root = nullptr;
    Node* last = nullptr;
    for (int i = 0; i < symbols; ++i) {
        auto* n = new Node;
        n->name = i == renamed ? QStringLiteral("renamed") : QStringLiteral("function%1").arg(i);
        n->type = Node::Function;
        n->start = ends.pos(i);
        n->start_line = i;
        (last ? last->next : root) = n;
        n->prev = last;
        last = n;
    }
    return root;
}

QString symbolText()
{
    QString text;
    for (int i = 0; i < symbols; ++i)
        text += QStringLiteral("int function%1(void) { return %1; }\n").arg(i);
    return text;
}

// Times every event the GUI thread handles (the outermost ones: an event
// handled inside another counts in that one's time): the worst of them is the
// longest the window went without answering, with no timer period taken off.
class TimedApplication : public QApplication
{
public:
    TimedApplication(int& argc, char** argv) : QApplication(argc, argv) { clock.start(); }
    bool notify(QObject* o, QEvent* e) override
    {
        if (depth++ > 0) {
            const bool r = QApplication::notify(o, e);
            --depth;
            return r;
        }
        const qint64 start = clock.nsecsElapsed();
        const bool tags = timing && ofTags(o);
        const bool r = QApplication::notify(o, e);
        --depth;
        if (timing) {
            const double ms = double(clock.nsecsElapsed() - start) / 1e6;
            worst = qMax(worst, ms);
            if (tags) {
                tagsMs += ms;
                worstTags = qMax(worstTags, ms);
            }
        }
        return r;
    }
    // Whether an event for `o` is the tags panel's work: for the panel, what
    // it holds (its views, their timers) or a parser.
    static bool ofTags(QObject* o)
    {
        for (; o; o = o->parent()) {
            if (qobject_cast<TagsPanel*>(o) || qobject_cast<Parser*>(o))
                return true;
        }
        return false;
    }
    bool timing = false;
    double worst = 0;
    double worstTags = 0;
    double tagsMs = 0;
    int depth = 0;
    QElapsedTimer clock;
};

struct TimedApp {
    int argc = 1;
    char name[8] = "bench";
    char* argv[2] = {name, nullptr};
    TimedApplication app{argc, argv};
};

// CPU time of the calling thread, in ms.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct Window {
    TimedApp app;
    QTemporaryDir config;
    Shell* shell = nullptr;
    PreparedParser parser;

    // With `realTags`, file types keep the real ctags parser.
    explicit Window(bool realTags = false)
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        Settings::setKeyPrefix(QStringLiteral("/vexa"));
        shell = new Shell(nullptr, "vexa::Shell");
        startServices(shell);
        shell->resize(1200, 900);
        shell->show();
        for (FileType* t : FileTypeManager::self()->fileTypes())
            t->setParser(realTags ? static_cast<Parser*>(CTagsParser::self()) : &parser);
        TagsPanel::self()->makeVisible();
        QApplication::processEvents();
    }
    ~Window() { delete shell; }
};

QString fillFigures()
{
    Window w;
    TagsPanel* panel = TagsPanel::self();
    Editor* editor = Editors::self()->current();
    editor->setText(symbolText());
    panel->reparse(); // the panel takes the parser's trees from here on
    const QString file = QStringLiteral("Untitled");
    const int key = Parser::calculateKey(editor->text());
    // The text is copied in slices before it is asked for.
    while (!w.parser.inFlight(key, file))
        QApplication::processEvents();
    Node* first = flatTree(editor->text());

    auto mergeDone = [panel] {
        while (panel->classesView()->isMerging())
            QApplication::processEvents();
    };
    QElapsedTimer t;
    t.start();
    w.parser.finish(key, file, first);
    mergeDone();
    const double fill = bench::msSince(t);
    QApplication::processEvents();
    const double fillShown = bench::msSince(t);
    const int items = panel->classesView()->topLevelItemCount();

    int made = 0, gone = 0;
    QObject::connect(panel->classesView()->model(), &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int a, int b) { made += b - a + 1; });
    QObject::connect(panel->classesView()->model(), &QAbstractItemModel::rowsRemoved,
                     [&](const QModelIndex&, int a, int b) { gone += b - a + 1; });
    t.restart();
    w.parser.resend(key, first);
    const double again = bench::msSince(t);
    const int madeAgain = made, goneAgain = gone;

    // One symbol renamed: a new tree for the same text, as a new parse
    // of an edit that kept every other name would bring.
    Node* second = flatTree(editor->text(), symbols / 2);
    t.restart();
    w.parser.finish(key, file, second);
    mergeDone();
    const double rename = bench::msSince(t);
    QApplication::processEvents();
    const double renameShown = bench::msSince(t);

    return QStringLiteral("(a) 25k symbols: first fill %1 ms (%2 ms shown, %3 items); unchanged "
                          "again %4 ms (%5 made, %6 deleted); one renamed %7 ms (%8 ms shown, %9 "
                          "made, %10 deleted)")
        .arg(fill, 0, 'f', 1)
        .arg(fillShown, 0, 'f', 1)
        .arg(items)
        .arg(again, 0, 'f', 3)
        .arg(madeAgain)
        .arg(goneAgain)
        .arg(rename, 0, 'f', 1)
        .arg(renameShown, 0, 'f', 1)
        .arg(made - madeAgain)
        .arg(gone - goneAgain);
}

QString plainFillFigures()
{
    Window w; // the same window, so both views live in the same surroundings
    auto* plain = new QTreeWidget;
    plain->setHeaderHidden(true);
    plain->resize(300, 800);
    plain->show();
    QApplication::processEvents();
    QList<QTreeWidgetItem*> items;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < symbols; ++i)
        items.append(new QTreeWidgetItem(QStringList(QStringLiteral("function%1").arg(i))));
    plain->addTopLevelItems(items);
    const double fill = bench::msSince(t);
    QApplication::processEvents();
    const double shown = bench::msSince(t);
    delete plain;
    return QStringLiteral("(a) peer: a plain QTreeWidget filled with the same 25k names %1 ms "
                          "(%2 ms shown)")
        .arg(fill, 0, 'f', 1)
        .arg(shown, 0, 'f', 1);
}

QString tickFigures()
{
    Window w;
    const QString path = bench::generatedFile(g_dir, 2200000);
    Editors::self()->open(path);
    Editor* editor = Editors::self()->current();
    TagsPanel* panel = TagsPanel::self();
    panel->reparse();
    QApplication::processEvents();
    const int size = int(editor->text().size());

    QElapsedTimer t;
    t.start();
    constexpr int ticks = 100;
    for (int i = 0; i < ticks; ++i)
        panel->reparse();
    const double tick = bench::msSince(t) / ticks;

    t.restart();
    const int key = Parser::calculateKey(editor->text());
    const double readAndHash = bench::msSince(t);
    return QStringLiteral("(b) tick on an unchanged %1 MB text: %2 ms; reading and hashing the "
                          "text once (what the tick skips): %3 ms (key %4)")
        .arg(size / 1048576.0, 0, 'f', 0)
        .arg(tick, 0, 'f', 4)
        .arg(readAndHash, 0, 'f', 1)
        .arg(key);
}

// 24 MB of C++ in the shape of a real code base: namespaces of classes with
// members and methods, enumerations, free functions and macros.
QString g_big;
void writeBigSource()
{
    g_big = g_dir + QStringLiteral("/big24.cpp");
    QByteArray out;
    out.reserve(25 * 1024 * 1024);
    for (int n = 0; out.size() < 24 * 1024 * 1024; ++n) {
        out += "// Module " + QByteArray::number(n) + " of the generated code base.\n";
        out +=
            "#define MODULE_" + QByteArray::number(n) + "_VERSION " + QByteArray::number(n) + "\n";
        out += "namespace module" + QByteArray::number(n) + " {\n\n";
        out += "enum class State { Idle, Running, Done };\n\n";
        for (int c = 0; c < 8; ++c) {
            const QByteArray cls = "Worker" + QByteArray::number(c);
            out += "class " + cls + "\n{\npublic:\n";
            for (int m = 0; m < 6; ++m)
                out += "    int step" + QByteArray::number(m) + "(int value) const;\n";
            out += "\nprivate:\n    int m_count = 0;\n    State m_state = State::Idle;\n};\n\n";
            for (int m = 0; m < 6; ++m)
                out += "int " + cls + "::step" + QByteArray::number(m) +
                       "(int value) const\n{\n    return value * " + QByteArray::number(m + 2) +
                       " + m_count;\n}\n\n";
        }
        out += "static int helper(int x)\n{\n    return x + 1;\n}\n\n} // namespace module" +
               QByteArray::number(n) + "\n\n";
    }
    QFile f(g_big);
    if (f.open(QIODevice::WriteOnly))
        f.write(out);
}

void waitMs(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

// A burst of keys into the editor, one every 30 ms, as a quick typist.
void typeBurst(Editor* editor, int keys)
{
    for (int i = 0; i < keys; ++i) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : editor;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
        waitMs(30);
    }
}

// Types `text` into the editor, a key every 30 ms; "\n" as Return.
void typeText(const QString& text)
{
    for (const QChar c : text) {
        QWidget* target = QApplication::focusWidget();
        const bool ret = c == QLatin1Char('\n');
        const int key = ret ? int(Qt::Key_Return) : int(c.toUpper().unicode());
        const QString t = ret ? QStringLiteral("\r") : QString(c);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, t);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, t);
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
        waitMs(30);
    }
}

// "worstTyping worstRefresh reparseMs shownMs tags worstAdding added" or,
// without tags, "worstTyping".
QString typingFigures(bool withTags)
{
    Window w(withTags);
    if (!withTags) {
        for (FileType* t : FileTypeManager::self()->fileTypes())
            t->setParser(nullptr);
    }
    Editors::self()->open(g_big);
    Editor* editor = Editors::self()->current();
    TagsPanel* panel = TagsPanel::self();
    editor->setFocus();
    editor->setCursorPosition(1000, 0);
    QApplication::processEvents();
    auto shown = [&](Node* before) {
        return panel->rootNode() && panel->rootNode() != before &&
               !panel->classesView()->isMerging();
    };
    // The heartbeat sees a stall only at its next beat: the layout of the
    // rows that follows the merge's last slice is counted by a short wait.
    auto waitShown = [&](Node* before) {
        QElapsedTimer t;
        t.start();
        while (!shown(before) && t.elapsed() < 120000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        waitMs(100);
        return shown(before);
    };
    if (withTags) {
        panel->reparse();
        if (!waitShown(nullptr))
            return QStringLiteral("(first tree never shown)");
    }
    bench::Heartbeat beat;
    double worstTyping = 0, worstRefresh = 0, reparseMs = 0;
    QList<double> shownMs;
    const int rounds = 3;
    for (int r = 0; r < rounds; ++r) {
        beat.reset();
        typeBurst(editor, 40);
        worstTyping = qMax(worstTyping, beat.worst);
        if (!withTags)
            continue;
        beat.reset();
        Node* before = panel->rootNode();
        QElapsedTimer t;
        t.start();
        panel->reparse();
        reparseMs = qMax(reparseMs, bench::msSince(t));
        if (!waitShown(before))
            return QStringLiteral("(tree of round %1 never shown)").arg(r);
        shownMs << bench::msSince(t);
        worstRefresh = qMax(worstRefresh, beat.worst);
    }
    if (!withTags)
        return QString::number(worstTyping, 'f', 1);
    // A line that adds a symbol at the top level: rows come and go.
    editor->setCursorPosition(0, 0);
    typeText(QStringLiteral("int addedSymbol;\n"));
    beat.reset();
    Node* before = panel->rootNode();
    panel->reparse();
    if (!waitShown(before))
        return QStringLiteral("(tree with the added symbol never shown)");
    const double worstAdding = beat.worst;
    const int added = int(
        panel->classesView()->findItems(QStringLiteral("addedSymbol"), Qt::MatchExactly).size());
    std::sort(shownMs.begin(), shownMs.end());
    int tags = 0;
    for (const Node* n = panel->rootNode(); n;) {
        ++tags;
        if (n->child) {
            n = n->child;
            continue;
        }
        while (n && !n->next)
            n = n->parent;
        if (n)
            n = n->next;
    }
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
        .arg(worstTyping, 0, 'f', 1)
        .arg(worstRefresh, 0, 'f', 1)
        .arg(reparseMs, 0, 'f', 1)
        .arg(shownMs.at(shownMs.size() / 2), 0, 'f', 0)
        .arg(tags)
        .arg(worstAdding, 0, 'f', 1)
        .arg(added);
}

// Typing into the 24 MB file from the moment it is open, as a user would,
// a key every 30 ms for `seconds`, the Tags page raised, with the real ctags
// parser or (`withTags` off) none: "worstEventMs cpuPerKeyMs keys
// worstTagsEventMs tagsMsPerKey" and, with tags, "shownMs arrivedMs
// worstMeanwhileMs" too: from the last key until the tree of the final text
// is in the view. With `afterFirstTree`, typing starts once the file's first
// tree is shown (as a user who looks at the tags first).
QString liveFigures(bool withTags, int seconds, bool afterFirstTree)
{
    Window w(withTags);
    if (!withTags) {
        for (FileType* t : FileTypeManager::self()->fileTypes())
            t->setParser(nullptr);
    }
    TimedApplication& app = w.app.app;
    Editors::self()->open(g_big);
    Editor* editor = Editors::self()->current();
    TagsPanel* panel = TagsPanel::self();
    editor->setFocus();
    editor->setCursorPosition(1000, 0);
    QApplication::processEvents();
    if (withTags && afterFirstTree) {
        QElapsedTimer wait;
        wait.start();
        while ((!panel->rootNode() || panel->classesView()->isMerging()) && wait.elapsed() < 120000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        waitMs(200);
    }
    app.worst = app.worstTags = app.tagsMs = 0;
    app.timing = true;
    const double cpu0 = threadCpuMs();
    QElapsedTimer t;
    t.start();
    int keys = 0;
    while (t.elapsed() < seconds * 1000) {
        typeBurst(editor, 1);
        ++keys;
    }
    const double cpu = threadCpuMs() - cpu0;
    const double worst = app.worst;
    app.timing = false;
    QString out = QStringLiteral("%1 %2 %3 %4 %5")
                      .arg(worst, 0, 'f', 1)
                      .arg(cpu / keys, 0, 'f', 2)
                      .arg(keys)
                      .arg(app.worstTags, 0, 'f', 1)
                      .arg(app.tagsMs / keys, 0, 'f', 2);
    if (!withTags)
        return out;
    const int finalKey = Parser::calculateKey(editor->text());
    qint64 arrivedMs = -1;
    QObject::connect(CTagsParser::self(), &Parser::nodes, [&](int key) {
        if (arrivedMs < 0 && key == finalKey)
            arrivedMs = t.elapsed();
    });
    t.restart();
    app.worst = 0;
    app.timing = true;
    while (!(arrivedMs >= 0 && !panel->classesView()->isMerging()) && t.elapsed() < 120000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const qint64 shownMs = t.elapsed();
    // The layout of the rows after the merge's end.
    waitMs(200);
    app.timing = false;
    if (arrivedMs < 0)
        return out + QStringLiteral(" never never -");
    return out + QStringLiteral(" %1 %2 %3").arg(shownMs).arg(arrivedMs).arg(app.worst, 0, 'f', 1);
}

// ctags's own time on the big file, ms.
QString ctagsOwnMs()
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(QStandardPaths::findExecutable(QStringLiteral("ctags")),
            CTagsOutput::arguments(QStringLiteral(".cpp"), g_big));
    if (!p.waitForFinished(-1) || p.exitCode() != 0)
        return QStringLiteral("?");
    return QString::number(t.elapsed());
}

QString liveFiguresText()
{
    if (QStandardPaths::findExecutable(QStringLiteral("ctags")).isEmpty())
        return QStringLiteral("(e) no ctags on PATH");
    writeBigSource();
    const int seconds = g_liveSeconds;
    const QStringList without =
        bench::inChild([seconds] { return liveFigures(false, seconds, false); }, 300)
            .split(QLatin1Char(' '));
    QString out;
    for (const bool after : {false, true}) {
        const QStringList with =
            bench::inChild([seconds, after] { return liveFigures(true, seconds, after); }, 600)
                .split(QLatin1Char(' '));
        const QString own = ctagsOwnMs();
        if (with.size() < 8 || without.size() < 5) {
            out += QStringLiteral("(e) %1 / %2\n")
                       .arg(with.join(QLatin1Char(' ')), without.join(QLatin1Char(' ')));
            continue;
        }
        out += QStringLiteral("(e) typing %1 into the 24 MB file for %2 s, a key every 30 ms, "
                              "Tags page raised (real window, real ctags): worst GUI-thread "
                              "event %3 ms (worst of the tags panel's own %4 ms), the tags "
                              "panel's GUI-thread time %5 ms per key, GUI-thread CPU %6 ms per "
                              "key (%7 keys); tree of the final text in the view %8 ms after "
                              "the last key (came after %9 ms; worst GUI-thread event "
                              "meanwhile %10 ms), ctags alone on the file %11 ms\n")
                   .arg(after ? QStringLiteral("once its first tree is shown")
                              : QStringLiteral("at once"))
                   .arg(seconds)
                   .arg(with.at(0), with.at(3), with.at(4), with.at(1), with.at(2), with.at(5),
                        with.value(6), with.value(7), own);
    }
    return out + QStringLiteral("(e) peer, the same typing with no tags: worst GUI-thread event "
                                "%1 ms, GUI-thread CPU %2 ms per key")
                     .arg(without.value(0), without.value(1));
}

// The ctags output of the big file, made once: its path, empty if ctags failed.
QString bigFileTags()
{
    const QString tags = g_dir + QStringLiteral("/big24.tags");
    if (QFileInfo(tags).size() > 0)
        return tags;
    QProcess p;
    p.setStandardOutputFile(tags);
    p.start(QStandardPaths::findExecutable(QStringLiteral("ctags")),
            CTagsOutput::arguments(QStringLiteral(".cpp"), g_big));
    if (!p.waitForFinished(-1) || p.exitCode() != 0)
        return QString();
    return tags;
}

// The ctags output of the big file, read by the reader into a tree and by
// QFile::readLine, each in a fresh process: "readerMs readLineMs MB".
QString readerFigures()
{
    const QString tags = bigFileTags();
    if (tags.isEmpty())
        return QString();
    const QString reader = bench::inChild([tags] {
        bench::App a;
        QFile f(tags);
        if (!f.open(QIODevice::ReadOnly))
            return QString();
        QElapsedTimer t;
        t.start();
        CTagsOutput output(QStringLiteral(".cpp"), QString());
        QByteArray piece(65536, Qt::Uninitialized);
        qint64 n;
        while ((n = f.read(piece.data(), piece.size())) > 0)
            output.addData(QByteArrayView(piece.constData(), n));
        output.finish();
        delete output.buildTree();
        return QString::number(bench::msSince(t), 'f', 1);
    });
    const QString readLine = bench::inChild([tags] {
        bench::App a;
        QFile f(tags);
        if (!f.open(QIODevice::ReadOnly))
            return QString();
        QElapsedTimer t;
        t.start();
        qint64 lines = 0;
        while (!f.atEnd())
            lines += !f.readLine().isEmpty();
        return QString::number(bench::msSince(t), 'f', 1) + QStringLiteral(" lines %1").arg(lines);
    });
    return QStringLiteral("%1 %2 %3")
        .arg(reader, readLine.section(QLatin1Char(' '), 0, 0))
        .arg(QFileInfo(tags).size() / 1048576.0, 0, 'f', 0);
}

// The stall of a refresh that adds one symbol to the 24 MB file's tree,
// alone: the file's ctags output is read into a tree and shown (every row
// open, as the panel opens them), then the same output with one more
// top-level line is delivered; the worst lateness of a 10 ms timer from that
// delivery until the rows are laid out, beside the same delivery of a tree
// that adds nothing. "worstAdding worstSame rows".
QString addingFigures()
{
    const QString tags = bigFileTags();
    if (tags.isEmpty())
        return QStringLiteral("(ctags failed)");
    return bench::inChild(
        [tags] {
            Window w;
            QFile f(tags);
            if (!f.open(QIODevice::ReadOnly))
                return QStringLiteral("(no tags file)");
            const QByteArray output = f.readAll();
            auto treeOf = [](const QByteArray& lines) {
                CTagsOutput reader(QStringLiteral(".cpp"), QString());
                reader.addData(lines);
                reader.finish();
                return reader.buildTree();
            };
            TagsPanel* panel = TagsPanel::self();
            Editor* editor = Editors::self()->current();
            editor->setText(QStringLiteral("int addedSymbol;\n"));
            panel->reparse();
            const QString file = QStringLiteral("Untitled");
            const int key = Parser::calculateKey(editor->text());
            while (!w.parser.inFlight(key, file))
                QApplication::processEvents();
            TagsView* view = panel->classesView();
            auto deliver = [&](Node* root) {
                bench::Heartbeat beat;
                w.parser.finish(key, file, root);
                while (view->isMerging())
                    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
                waitMs(150);
                return beat.worst;
            };
            deliver(treeOf(output));
            const double same = deliver(treeOf(output));
            const double adding = deliver(treeOf("addedSymbol\t/tmp/a.cpp\t1;\"\tv\n" + output));
            int rows = 0;
            for (QTreeWidgetItemIterator it(view); *it; ++it) {
                const QTreeWidgetItem* up = (*it)->parent();
                while (up && up->isExpanded())
                    up = up->parent();
                rows += !up;
            }
            return QStringLiteral("%1 %2 %3").arg(adding, 0, 'f', 1).arg(same, 0, 'f', 1).arg(rows);
        },
        600);
}

QString addingFiguresText()
{
    if (QStandardPaths::findExecutable(QStringLiteral("ctags")).isEmpty())
        return QStringLiteral("(d) no ctags on PATH");
    writeBigSource();
    const QStringList f = addingFigures().split(QLatin1Char(' '));
    if (f.size() < 3)
        return QStringLiteral("(d) %1").arg(f.join(QLatin1Char(' ')));
    return QStringLiteral("(d) the 24 MB file's tree (%1 rows shown): worst 10 ms timer lateness "
                          "while a refresh adds a symbol %2 ms; peer, a refresh that adds "
                          "nothing %3 ms")
        .arg(f.at(2), f.at(0), f.at(1));
}

QString heartbeatFigures()
{
    if (QStandardPaths::findExecutable(QStringLiteral("ctags")).isEmpty())
        return QStringLiteral("(c) no ctags on PATH");
    writeBigSource();
    const QStringList with =
        bench::inChild([] { return typingFigures(true); }, 900).split(QLatin1Char(' '));
    const QString without = bench::inChild([] { return typingFigures(false); }, 300);
    if (with.size() < 7)
        return QStringLiteral("(c) %1").arg(with.join(QLatin1Char(' ')));
    const QStringList reader = readerFigures().split(QLatin1Char(' '));
    const QString ratio =
        reader.size() < 3 ? QStringLiteral("(reader not measured)")
                          : QStringLiteral("%1 ms, QFile::readLine %2 ms: ratio %3")
                                .arg(reader.at(0), reader.at(1))
                                .arg(reader.at(0).toDouble() / reader.at(1).toDouble(), 0, 'f', 2);
    return QStringLiteral("(c) 24 MB C++ file, %1 tags: worst 10 ms timer lateness while "
                          "typing %2 ms, while its tags refresh %3 ms (reparse() call %4 ms, "
                          "tree in the view after %5 ms), while a refresh adds a symbol %6 ms "
                          "(%7 added row); peer, the same typing without tags: worst lateness "
                          "%8 ms\n(c) its ctags output (%9 MB) read into a tree, fresh process: "
                          "%10")
        .arg(with.at(4), with.at(0), with.at(1), with.at(2), with.at(3), with.at(5), with.at(6),
             without, reader.value(2), ratio);
}

} // namespace

int main(int argc, char** argv)
{
    bench::offscreenUnlessSet();
    QTemporaryDir dir;
    g_dir = dir.path();
    // "typing" alone: only (c); "reader": only the reader's part of (c);
    // "adding": only (d); "live [seconds]": only (e).
    if (argc > 1 && QByteArray(argv[1]) == "reader") {
        writeBigSource();
        const QStringList f = readerFigures().split(QLatin1Char(' '));
        if (f.size() < 3)
            return 0;
        std::printf("(c) the 24 MB file's ctags output (%s MB) read into a tree, fresh process: "
                    "%s ms, QFile::readLine %s ms: ratio %.2f\n",
                    qPrintable(f.at(2)), qPrintable(f.at(0)), qPrintable(f.at(1)),
                    f.at(0).toDouble() / f.at(1).toDouble());
        return 0;
    }
    if (argc > 1 && QByteArray(argv[1]) == "typing") {
        std::printf("%s\n", qPrintable(heartbeatFigures()));
        return 0;
    }
    if (argc > 1 && QByteArray(argv[1]) == "live") {
        if (argc > 2)
            g_liveSeconds = qMax(1, QByteArray(argv[2]).toInt());
        std::printf("%s\n", qPrintable(liveFiguresText()));
        return 0;
    }
    if (argc > 1 && QByteArray(argv[1]) == "adding") {
        std::printf("%s\n", qPrintable(addingFiguresText()));
        return 0;
    }
    std::printf("%s\n", qPrintable(bench::inChild(fillFigures)));
    std::printf("%s\n", qPrintable(bench::inChild(plainFillFigures)));
    std::printf("%s\n", qPrintable(bench::inChild(tickFigures)));
    std::printf("%s\n", qPrintable(heartbeatFigures()));
    std::printf("%s\n", qPrintable(addingFiguresText()));
    std::printf("%s\n", qPrintable(liveFiguresText()));
    return 0;
}

// The tags panel at scale, in the real main window with the real editors and
// a parser that delivers prepared trees:
// (a) a tree of 25k top-level symbols shown for the first time, delivered
//     again unchanged, and a tree with one symbol renamed, beside filling a
//     plain QTreeWidget with the same names;
// (b) the 5000 ms tick on an unchanged 50 MB text, beside what reading and
//     hashing that text (the work the tick skips) costs.
// Every figure comes from a fresh child process.

#include "benchutil.h"
#include "vexa/ctags/node.h"
#include "vexa/ctags/parser.h"
#include "vexa/ctags/tagspanel.h"
#include "vexa/ctags/tagsview.h"
#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/filetype.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>

using namespace vexa;

namespace
{

QString g_dir;
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

struct Window {
    bench::App app;
    QTemporaryDir config;
    Shell* shell = nullptr;
    PreparedParser parser;

    Window()
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        Settings::setKeyPrefix(QStringLiteral("/vexa"));
        shell = new Shell(nullptr, "vexa::Shell");
        startServices(shell);
        shell->resize(1200, 900);
        shell->show();
        for (FileType* t : FileTypeManager::self()->fileTypes())
            t->setParser(&parser);
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
    Node* first = flatTree(editor->text());

    QElapsedTimer t;
    t.start();
    w.parser.finish(key, file, first);
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

} // namespace

int main()
{
    bench::offscreenUnlessSet();
    QTemporaryDir dir;
    g_dir = dir.path();
    std::printf("%s\n", qPrintable(bench::inChild(fillFigures)));
    std::printf("%s\n", qPrintable(bench::inChild(plainFillFigures)));
    std::printf("%s\n", qPrintable(bench::inChild(tickFigures)));
    return 0;
}

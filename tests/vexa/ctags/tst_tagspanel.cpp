// The tags panel in the real main window with the real text editors and a
// parser of the test's own that delivers what the test hands it: which trees
// are shown and which dropped, what an unchanged editor costs, clicks and the
// previous / next symbol keys, the editors list's share of the height, the
// settings; and once with the real ctags program.

#include "../editors/editorstest.h"
#include "../shellfixture.h"
#include "treedump.h"

#include "vexa/actions.h"
#include "vexa/ctags/ctagsparser.h"
#include "vexa/ctags/tagspanel.h"
#include "vexa/ctags/tagsview.h"
#include "vexa/editors/editorslist.h"
#include "vexa/explorer/explorerpanel.h"
#include "vexa/explorer/fileslist.h"
#include "vexa/filetype.h"
#include "vexa/project/project.h"
#include "vexa/recentfiles.h"

#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

using namespace vexa;
using namespace editorstest;

namespace
{

// Records each parse it is asked for and delivers nothing by itself; the
// test finishes a parse with the tree it wants. With `fail` on it fails as
// a parser does whose program cannot run.
class FakeParser : public Parser
{
public:
    struct Request {
        int key;
        QString file;
    };
    QList<Request> requests;
    bool fail = false;

    using Parser::parse;

    void finish(int key, const QString& file, Node* root) { deliver(key, file, root); }
    void timeOut(int key, const QString& file) { parseTimedOut(key, file); }

protected:
    int parse(const QString&) override
    {
        if (fail) {
            parseFailed(requestKey(), requestFileName());
            return 0;
        }
        requests.append({requestKey(), requestFileName()});
        return requestKey();
    }
};

void setParserOfAllTypes(Parser* p)
{
    for (FileType* t : FileTypeManager::self()->fileTypes())
        t->setParser(p);
}

// A tree for `text` whose symbols stand on the given lines ("name line",
// indented two blanks a level), placed where the ctags parser places them.
Node* symbolsAt(const QString& text, const QStringList& lines)
{
    QStringList withPositions;
    for (const QString& l : lines) {
        const QStringList f = l.trimmed().split(QLatin1Char(' '));
        withPositions << QString(l.size() - l.trimmed().size(), QLatin1Char(' ')) + f.at(0) +
                             QStringLiteral(" 103 ") +
                             QString::number(Parser::xy2pos(0, f.at(1).toInt(), text));
    }
    return treeOf(withPositions);
}

} // namespace

class TestTagsPanel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void staleTreesAreDropped();
    void unchangedEditorCostsNothing();
    void clickMovesTheCursorOnly();
    void previousAndNext_data();
    void previousAndNext();
    void altUpBelongsToTheFocusedSide();
    void filesListShare();
    void badInput();
    void realCtags();
    void runsInFlight();
    void noAnswer();
    void bigTextCopiedWhole();
    void firstTreeIsAnnounced();
    void closedDuringMerge();
    void settings();
    void quitDuringRun();

private:
    TagsPanel* panel() const { return TagsPanel::self(); }
    TagsView* view() const { return panel()->classesView(); }
    Editor* current() const { return Editors::self()->current(); }
    QString file(const QString& name, const QByteArray& content)
    {
        const QString path = dir->filePath(name);
        writeFile(path, content);
        return path;
    }
    // Opens a file in an editor of its own; the panel asks for its tree.
    Editor* openFile(const QString& path)
    {
        fake->requests.clear();
        Editors::self()->open(path);
        Editor* e = current();
        [&] { QCOMPARE(e->filename(), path); }();
        return e;
    }
    // Finishes the parse of the current editor's text with `root`.
    void deliverForCurrent(Node* root)
    {
        panel()->reparse(); // as the timer would: the panel takes the parser's trees
        const QString name = current()->filename();
        fake->finish(Parser::calculateKey(current()->text()),
                     name.isEmpty() ? QStringLiteral("Untitled") : name, root);
    }
    QStringList recentFiles()
    {
        RecentFiles::self()->updateRecentMenu();
        QStringList files;
        for (QAction* a : RecentFiles::self()->recentFilesMenu()->actions())
            files.append(a->data().toString());
        return files;
    }
    void closeAllBut(Editor* keep)
    {
        Boxes boxes;
        boxes.answers = {QMessageBox::No};
        for (Editor* e : Editors::self()->editors()) {
            if (e != keep)
                Editors::self()->close(e);
        }
    }

    // Puts a stand-in "ctags" running `body` (sh) first on PATH; it logs its
    // pid to `log` first.
    void standIn(const QByteArray& body)
    {
        bin = std::make_unique<QTemporaryDir>();
        log = bin->filePath(QStringLiteral("log"));
        QFile f(bin->filePath(QStringLiteral("ctags")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho $$ >> '" + log.toLocal8Bit() + "'\n" + body + "\n");
        f.close();
        QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("PATH", bin->path().toLocal8Bit() + ":" + path);
    }
    QList<qint64> loggedPids() const
    {
        QFile f(log);
        QList<qint64> pids;
        if (f.open(QIODevice::ReadOnly)) {
            for (const QByteArray& l : f.readAll().split('\n')) {
                if (!l.isEmpty())
                    pids << l.toLongLong();
            }
        }
        return pids;
    }

    Shell* shell = nullptr;
    FakeParser* fake = nullptr;
    QByteArray path = qgetenv("PATH");
    std::unique_ptr<QTemporaryDir> bin;
    QString log;
    std::unique_ptr<QTemporaryDir> dir;
};

void TestTagsPanel::initTestCase()
{
    shellfixture::useAppSettings();
    shellfixture::clearSettings();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    shell = startShell();
    QVERIFY(QTest::qWaitForWindowActive(shell));
    // The real parser's run for the first editor ends before the fake takes
    // its place.
    QTRY_COMPARE(CTagsParser::self()->runCount(), 0);
    fake = new FakeParser;
    setParserOfAllTypes(fake);
    panel()->makeVisible();
}

void TestTagsPanel::cleanupTestCase()
{
    qputenv("PATH", path);
    delete shell;
    delete fake;
}

void TestTagsPanel::init()
{
    setParserOfAllTypes(fake);
    fake->fail = false;
    fake->requests.clear();
}

void TestTagsPanel::staleTreesAreDropped()
{
    const QString a = file("a.cpp", "int alpha;\nint beta;\n");
    const QString b = file("b.cpp", "int alpha;\nint gamma;\nint delta;\n");
    Editor* ea = openFile(a);
    QVERIFY(!fake->requests.isEmpty());
    const int firstKey = fake->requests.last().key;
    QCOMPARE(firstKey, Parser::calculateKey(ea->text()));

    // The text changes before its tree arrives: the tree is dropped.
    QTest::keyClick(ea->focusProxy(), Qt::Key_X);
    const QString before = items(view()->invisibleRootItem());
    fake->finish(firstKey, a, treeOf({"alpha 109 1", "beta 109 2"}));
    QCOMPARE(items(view()->invisibleRootItem()), before);

    // The next tick asks for the text the editor holds; that tree shows.
    fake->requests.clear();
    panel()->reparse();
    QCOMPARE(fake->requests.size(), 1);
    QCOMPARE(fake->requests.at(0).key, Parser::calculateKey(ea->text()));
    fake->finish(fake->requests.at(0).key, a, treeOf({"alpha 109 1", "beta 109 2"}));
    QCOMPARE(items(view()->invisibleRootItem()), QStringLiteral("alpha:1 beta:2"));
    QTreeWidgetItem* alpha = view()->topLevelItem(0);

    // Another editor becomes current; a late tree of the one just left is
    // dropped, the new one's is merged (alpha keeps its item).
    Editor* eb = openFile(b);
    const int bKey = fake->requests.last().key;
    fake->finish(Parser::calculateKey(ea->text()), a, treeOf({"alpha 109 7", "beta 109 8"}));
    QCOMPARE(items(view()->invisibleRootItem()), QStringLiteral("alpha:1 beta:2"));
    fake->finish(bKey, b, treeOf({"alpha 109 1", "gamma 109 2", "delta 109 3"}));
    QCOMPARE(items(view()->invisibleRootItem()), QStringLiteral("alpha:1 gamma:2 delta:3"));
    QCOMPARE(view()->topLevelItem(0), alpha);

    // The shown tree is held: newer trees of the file do not free it.
    Node* shown = panel()->rootNode();
    QTest::keyClick(eb->focusProxy(), Qt::Key_Y);
    fake->requests.clear();
    panel()->reparse();
    QTest::keyClick(eb->focusProxy(), Qt::Key_Z);
    fake->finish(fake->requests.at(0).key, b, treeOf({"alpha 109 1"}));
    QCOMPARE(panel()->rootNode(), shown);
    QVERIFY(fake->generation(shown) != 0);
    QCOMPARE(items(view()->invisibleRootItem()), QStringLiteral("alpha:1 gamma:2 delta:3"));
    // Once a newer tree is shown the old one is let go and freed.
    fake->requests.clear();
    panel()->reparse();
    fake->finish(fake->requests.at(0).key, b, treeOf({"alpha 109 1", "omega 109 3"}));
    QCOMPARE(items(view()->invisibleRootItem()), QStringLiteral("alpha:1 omega:3"));
    QCOMPARE(fake->generation(shown), quint64(0));
    closeAllBut(ea);
}

void TestTagsPanel::unchangedEditorCostsNothing()
{
    Editor* e = openFile(file("same.cpp", "int one;\nint two;\n"));
    fake->finish(fake->requests.last().key, e->filename(),
                 treeOf({"one 109 1", "two 109 2", "  inner 109 3"}));
    QCOMPARE(items(view()->invisibleRootItem()), QStringLiteral("one:1 two:2+[inner:3]"));

    // Ticks on an unchanged editor ask nothing, also after a cursor move.
    fake->requests.clear();
    e->setCursorPosition(1, 2);
    panel()->reparse();
    panel()->reparse();
    QCOMPARE(fake->requests.size(), 0);

    // The cached tree delivered again changes no item, and the project's
    // signals change nothing either.
    QSignalSpy inserted(view()->model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(view()->model(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(view()->model(), &QAbstractItemModel::dataChanged);
    Node* root = panel()->rootNode();
    QSignalSpy delivered(fake, &Parser::nodes);
    fake->parse(e->text(), e->filename());
    QVERIFY(delivered.wait(5000));
    QCOMPARE(delivered.at(0).at(1).value<Node*>(), root);
    QMetaObject::invokeMethod(Project::self(), "loaded");
    QMetaObject::invokeMethod(Project::self(), "closed");
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(panel()->rootNode(), root);

    // Any edit, undone or not, asks again (the undone text is a cache hit).
    QTest::keyClick(e->focusProxy(), Qt::Key_A);
    panel()->reparse();
    QCOMPARE(fake->requests.size(), 1);
    delivered.clear();
    e->undo();
    QCOMPARE(e->text(), QStringLiteral("int one;\nint two;"));
    panel()->reparse();
    QVERIFY(delivered.wait(5000));
    QCOMPARE(delivered.at(0).at(1).value<Node*>(), root);
    closeAllBut(e);
}

void TestTagsPanel::clickMovesTheCursorOnly()
{
    const QString text = QStringLiteral("// head\nint f() {}\n\nint g() {}\n");
    Editor* e = openFile(file("click.cpp", text.toUtf8()));
    deliverForCurrent(symbolsAt(e->text(), {"f 1", "g 3"}));
    QCOMPARE(view()->topLevelItemCount(), 2);
    const int editors = Editors::self()->editors().size();
    const QStringList recent = recentFiles();

    QTreeWidgetItem* g = view()->topLevelItem(1);
    QCOMPARE(g->text(0), QStringLiteral("g"));
    view()->setFocus();
    QTRY_VERIFY(view()->hasFocus());
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, view()->visualItemRect(g).center());
    QCOMPARE(e->cursorLine(), 3);
    QCOMPARE(e->cursorColumn(), 0);
    QTRY_VERIFY(e->isAncestorOf(QApplication::focusWidget()));
    QCOMPARE(Editors::self()->editors().size(), editors);
    QCOMPARE(recentFiles(), recent);
    QCOMPARE(current(), e);

    // "Open" of the context menu does what the click does.
    e->setCursorPosition(0, 3);
    view()->setCurrentItem(view()->topLevelItem(0));
    Actions::action(QStringLiteral("Classes/context/open"))->trigger();
    QCOMPARE(e->cursorLine(), 1);
    QCOMPARE(e->cursorColumn(), 0);
}

void TestTagsPanel::previousAndNext_data()
{
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("to");
    // Symbols on lines 1, 3 and 4 (the last nested in the one on line 3) of
    // a text of 7 lines.
    const QStringList three = {"a 1", "b 3", "  c 4"};
    QTest::newRow("down from the top") << three << 0 << int(Qt::Key_Down) << 1;
    QTest::newRow("down from a symbol") << three << 1 << int(Qt::Key_Down) << 3;
    QTest::newRow("down into a child") << three << 3 << int(Qt::Key_Down) << 4;
    QTest::newRow("down on the last symbol") << three << 4 << int(Qt::Key_Down) << 4;
    QTest::newRow("down below the last") << three << 6 << int(Qt::Key_Down) << 6;
    QTest::newRow("up on a symbol's line") << three << 3 << int(Qt::Key_Up) << 1;
    QTest::newRow("up between symbols") << three << 2 << int(Qt::Key_Up) << 1;
    QTest::newRow("up below the last") << three << 5 << int(Qt::Key_Up) << 4;
    QTest::newRow("up on the first symbol") << three << 1 << int(Qt::Key_Up) << 1;
    // A text without symbols: one node at position 0.
    const QStringList none = {"none"};
    QTest::newRow("no tags, up") << none << 5 << int(Qt::Key_Up) << 0;
    QTest::newRow("no tags, down") << none << 3 << int(Qt::Key_Down) << 3;
}

void TestTagsPanel::previousAndNext()
{
    QFETCH(QStringList, symbols);
    QFETCH(int, from);
    QFETCH(int, key);
    QFETCH(int, to);
    Editor* e = current();
    e->setText(QStringLiteral("// 0\nint a;\n\nint b;\nint c;\n// 5\n// 6"));
    if (symbols == QStringList{"none"})
        deliverForCurrent(treeOf({"No_tags_found 0 0"}));
    else
        deliverForCurrent(symbolsAt(e->text(), symbols));
    QVERIFY(panel()->rootNode());
    e->setCursorPosition(from, 2);
    e->setFocus();
    QTRY_VERIFY(e->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::AltModifier);
    QCOMPARE(e->cursorLine(), to);
    QCOMPARE(e->cursorColumn(), to == from ? 2 : 0);
    QVERIFY(e->isAncestorOf(QApplication::focusWidget()));
}

void TestTagsPanel::altUpBelongsToTheFocusedSide()
{
    // The explorer in a folder that has a parent, its folder changed while
    // the editor has the focus: Alt+Up in the editor is the previous symbol.
    Editor* e = current();
    e->setText(QStringLiteral("int a;\n\nint b;\n"));
    deliverForCurrent(symbolsAt(e->text(), {"a 0", "b 2"}));
    FilesList* list = ExplorerPanel::self()->filesList;
    e->setFocus();
    QTRY_VERIFY(e->isAncestorOf(QApplication::focusWidget()));
    ExplorerPanel::self()->cdUp();
    const QString folder = list->path();
    QVERIFY(folder != QStringLiteral("/"));
    e->setCursorPosition(2, 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up, Qt::AltModifier);
    QCOMPARE(e->cursorLine(), 0);
    QCOMPARE(list->path(), folder);
    // With the explorer's list focused, Alt+Up is the explorer's.
    e->setCursorPosition(2, 0);
    ExplorerPanel::self()->setFocus();
    QTRY_VERIFY(list->hasFocus());
    QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
    QCOMPARE(list->path(), QFileInfo(folder).absolutePath());
    QCOMPARE(e->cursorLine(), 2);
}

void TestTagsPanel::filesListShare()
{
    EditorsList* list = panel()->editorsList();
    QListWidget* box = list->listBox();
    auto stretches = [&] {
        return QPair<int, int>(view()->sizePolicy().verticalStretch(),
                               list->sizePolicy().verticalStretch());
    };
    // Heights set by hand (the layout runs only from the event loop): view
    // and list 600 pixels together, entries 15 pixels high.
    auto divide = [&](int editors) {
        while (Editors::self()->editors().size() < editors)
            Editors::self()->newEditor();
        QCOMPARE(box->count(), editors);
        for (int i = 0; i < box->count(); ++i)
            box->item(i)->setSizeHint(QSize(50, 15));
        view()->resize(view()->width(), 450);
        list->resize(list->width(), 150);
        panel()->showFilesList(true);
    };
    divide(20);
    QCOMPARE(stretches(), qMakePair(170, 85));
    closeAllBut(current());
    divide(2);
    QCOMPARE(stretches(), qMakePair(238, 17));

    // A collapsed dock: nothing to divide, the shares stay.
    view()->resize(view()->width(), 0);
    list->resize(list->width(), 0);
    panel()->showFilesList(true);
    QCOMPARE(stretches(), qMakePair(238, 17));

    // Hiding: no share, the label greyed, the button offers to show again;
    // hiding twice changes nothing; the button shows it again.
    auto* label = panel()->findChild<QLabel*>(QStringLiteral("labelFiles"));
    QVERIFY(label);
    panel()->showFilesList(false);
    QVERIFY(list->isHidden());
    QCOMPARE(list->sizePolicy().verticalStretch(), 0);
    const QColor grey = label->palette().color(QPalette::Window);
    QCOMPARE(grey, label->palette().color(QPalette::Mid));
    QSizePolicy probe = list->sizePolicy();
    probe.setVerticalStretch(7);
    list->setSizePolicy(probe);
    panel()->showFilesList(false);
    QCOMPARE(list->sizePolicy().verticalStretch(), 7);
    QCOMPARE(label->palette().color(QPalette::Window), grey);
    QTest::mouseClick(label, Qt::LeftButton);
    QVERIFY(!list->isHidden());
    QVERIFY(label->palette().color(QPalette::Window) != grey);
    QTest::mouseClick(label, Qt::LeftButton);
    QVERIFY(list->isHidden());
    panel()->showHideFilesList();
    QVERIFY(!list->isHidden());
    closeAllBut(current());
}

void TestTagsPanel::badInput()
{
    Editor* e = current();
    e->setText(QStringLiteral("one\ntwo\nthree"));
    deliverForCurrent(treeOf({"x 103 2", "y 103 9"}));
    const QString shown = items(view()->invisibleRootItem());
    QCOMPARE(shown, QStringLiteral("x:2 y:9"));

    // Positions beyond the end of the text: the last line.
    panel()->gotoTextPos(100000, QString());
    QCOMPARE(e->cursorLine(), 2);

    // The parser cannot run: the tree shown stays, nothing is reported.
    fake->fail = true;
    e->setText(QStringLiteral("one\ntwo\nthree\nfour"));
    panel()->reparse();
    QCOMPARE(items(view()->invisibleRootItem()), shown);
    fake->fail = false;
    // A request that ended without a tree is made again at the next tick,
    // though the text is the same.
    fake->requests.clear();
    panel()->reparse();
    QCOMPARE(fake->requests.size(), 1);
    QCOMPARE(fake->requests.at(0).key, Parser::calculateKey(e->text()));

    // No parser for the file type: no request, no move.
    fake->requests.clear();
    setParserOfAllTypes(nullptr);
    e->setText(QStringLiteral("one\ntwo\nthree\nfour\nfive"));
    panel()->reparse();
    e->setCursorPosition(4, 1);
    panel()->prevFunction();
    panel()->gotoTextPos(0, QString());
    QCOMPARE(e->cursorLine(), 4);
    QCOMPARE(fake->requests.size(), 0);
    setParserOfAllTypes(fake);

    // An editor closed while its parse runs: its late tree is dropped.
    Editor* other = openFile(file("closed.cpp", "int closed;\n"));
    const auto request = fake->requests.last();
    closeAllBut(e);
    QVERIFY(!Editors::self()->editors().contains(other));
    fake->finish(request.key, request.file, treeOf({"closed 109 1"}));
    QCOMPARE(items(view()->invisibleRootItem()), shown);

    // A tree 10000 levels deep, then many equal names.
    auto* deep = new Node;
    deep->name = QStringLiteral("n");
    for (Node* last = deep; last->start < 9999; last = last->child) {
        last->child = new Node(last);
        last->child->name = last->name;
        last->child->start = last->start + 1;
    }
    // A big tree is merged in slices from the event loop; the view nests
    // its levels only so deep (the rest shows flattened).
    deliverForCurrent(deep);
    QTRY_VERIFY(!view()->isMerging());
    QTreeWidgetItem* it = view()->topLevelItem(0);
    int depth = 1;
    for (; it->childCount() && it->child(it->childCount() - 1)->childCount();
         it = it->child(it->childCount() - 1))
        ++depth;
    QCOMPARE(depth + 1, TagsView::kMaxDepth);
    QCOMPARE(it->childCount(), 10000 - TagsView::kMaxDepth + 2);
    e->setCursorPosition(0, 0);
    panel()->nextFunction();
    QCOMPARE(e->cursorLine(), 1); // position 3, the first newline
    e->setText(e->text() + QLatin1Char(' '));
    QStringList same;
    for (int i = 0; i < 3000; ++i)
        same << QStringLiteral("same 103 %1").arg(i);
    deliverForCurrent(treeOf(same));
    QTRY_VERIFY(!view()->isMerging());
    QCOMPARE(view()->topLevelItemCount(), 3000);
}

void TestTagsPanel::realCtags()
{
    if (QStandardPaths::findExecutable(QStringLiteral("ctags")).isEmpty())
        QSKIP("no ctags on PATH");
    setParserOfAllTypes(CTagsParser::self());
    QFile sample(QStringLiteral(VEXA_CTAGS_DATA "/sample.cpp"));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    const QString path = file("sample.cpp", sample.readAll());
    Editors::self()->open(path);
    QCOMPARE(current()->filename(), path);
    QTRY_COMPARE_WITH_TIMEOUT(view()->findItems(QStringLiteral("main"), Qt::MatchExactly).size(), 1,
                              20000);
    for (const char* name : {"MAXV", "N", "S", "U", "globalVar", "helper"})
        QCOMPARE(view()->findItems(QLatin1String(name), Qt::MatchExactly).size(), 1);
    const QList<QTreeWidgetItem*> a =
        view()->findItems(QStringLiteral("A"), Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(a.size(), 1);
    QCOMPARE(a.at(0)->parent()->text(0), QStringLiteral("N"));
    QStringList members;
    for (int i = 0; i < a.at(0)->childCount(); ++i)
        members << a.at(0)->child(i)->text(0);
    QCOMPARE(members, QStringList({"member", "method"}));
    QCOMPARE(static_cast<TagsViewItem*>(a.at(0))->typeName, QStringLiteral("Class"));
    closeAllBut(current());
}

void TestTagsPanel::runsInFlight()
{
    const QString real = QStandardPaths::findExecutable(QStringLiteral("ctags"));
    if (real.isEmpty())
        QSKIP("no ctags on PATH");
    // ctags a little slow, so that edits and closes come while it runs.
    standIn("sleep 0.3; exec '" + real.toLocal8Bit() + "' \"$@\"");
    CTagsParser* parser = CTagsParser::self();
    setParserOfAllTypes(parser);
    QTRY_COMPARE_WITH_TIMEOUT(parser->runCount(), 0, 20000);
    QSignalSpy delivered(parser, &Parser::nodes);

    // Edited while its run is in flight: that run stops, the newest text's
    // tree is the one that comes and shows.
    Editor* a = openFile(file("inflight.cpp", "int alpha;\n"));
    const int first = Parser::calculateKey(a->text());
    QVERIFY(parser->inFlight(first, a->filename()));
    a->setCursorPosition(1, 0);
    QTest::keyClicks(a->focusProxy(), "int beta;");
    panel()->reparse();
    const int newest = Parser::calculateKey(a->text());
    QVERIFY(!parser->inFlight(first, a->filename()));
    QVERIFY(parser->inFlight(newest, a->filename()));
    QTRY_COMPARE_WITH_TIMEOUT(view()->findItems(QStringLiteral("beta"), Qt::MatchExactly).size(), 1,
                              20000);
    QTRY_COMPARE_WITH_TIMEOUT(parser->runCount(), 0, 20000);
    QList<int> keys;
    for (const QList<QVariant>& args : delivered)
        keys << args.at(0).toInt();
    QVERIFY(keys.contains(newest));
    QVERIFY(!keys.contains(first));
    QCOMPARE(view()->findItems(QStringLiteral("alpha"), Qt::MatchExactly).size(), 1);

    // An editor closed while its run is in flight: nothing of it lands.
    Editor* b = openFile(file("closed.cpp", "int gamma;\n"));
    QVERIFY(b != a);
    QVERIFY(parser->inFlight(Parser::calculateKey(b->text()), b->filename()));
    closeAllBut(a);
    QCOMPARE(current(), a);
    QTRY_COMPARE_WITH_TIMEOUT(parser->runCount(), 0, 20000);
    QCoreApplication::processEvents();
    QVERIFY(!view()->isMerging());
    QCOMPARE(view()->findItems(QStringLiteral("gamma"), Qt::MatchExactly).size(), 0);
    QCOMPARE(view()->findItems(QStringLiteral("beta"), Qt::MatchExactly).size(), 1);
    qputenv("PATH", path);
    setParserOfAllTypes(fake);
}

void TestTagsPanel::noAnswer()
{
    // A parse that ran out of time is said on the page and not asked for
    // again until the text changes.
    QLabel* status = panel()->findChild<QLabel*>(QStringLiteral("tagsStatus"));
    QVERIFY(status);
    Editor* e = openFile(file("late.cpp", "int late;\n"));
    QCOMPARE(fake->requests.size(), 1);
    fake->timeOut(fake->requests.last().key, e->filename());
    QVERIFY(status->isVisible());
    QVERIFY2(status->text().contains(QLatin1String("ctags did not answer")),
             qPrintable(status->text()));
    fake->requests.clear();
    panel()->reparse();
    panel()->reparse();
    QCOMPARE(fake->requests.size(), 0);
    QVERIFY(status->isVisible());
    QTest::keyClick(e->focusProxy(), Qt::Key_X);
    panel()->reparse();
    QCOMPARE(fake->requests.size(), 1);
    QVERIFY(!status->text().contains(QLatin1String("ctags did not answer")));
    fake->finish(fake->requests.last().key, e->filename(), treeOf({"late 109 1"}));
    QVERIFY(status->isHidden());

    // The same with ctags itself, a script whose child hangs: one run, no
    // process left, and the 5 s tick starts none.
    standIn("sleep 1000 & echo $! >> \"$(dirname \"$0\")/log\"; wait");
    CTagsParser* parser = CTagsParser::self();
    setParserOfAllTypes(parser);
    parser->setTimeLimit(300);
    QSignalSpy noAnswer(parser, &Parser::noAnswer);
    QTest::keyClick(e->focusProxy(), Qt::Key_Y);
    panel()->reparse();
    QVERIFY(noAnswer.wait(20000));
    QTRY_COMPARE_WITH_TIMEOUT(parser->runCount(), 0, 20000);
    QVERIFY(status->isVisible());
    QVERIFY(status->text().contains(QLatin1String("ctags did not answer")));
    const QList<qint64> pids = loggedPids();
    QCOMPARE(pids.size(), 2);
    for (qint64 pid : pids)
        QTRY_VERIFY(::kill(pid_t(pid), 0) != 0);
    panel()->reparse();
    QCOMPARE(parser->runCount(), 0);
    QCOMPARE(loggedPids(), pids);
    parser->setTimeLimit(30000);
    qputenv("PATH", path);
    setParserOfAllTypes(fake);
    closeAllBut(e);
}

void TestTagsPanel::bigTextCopiedWhole()
{
    // A text of more lines than are read in one go: its lines are shared
    // with the document and joined on a worker; the request is for exactly
    // the editor's text, and its tree shows.
    QByteArray content;
    for (int i = 0; i < 30000; ++i)
        content += "int v" + QByteArray::number(i) + ";\n";
    Editor* e = openFile(file("bigcopy.cpp", content));
    QTRY_COMPARE(fake->requests.size(), 1);
    const QString text = e->text();
    QCOMPARE(fake->requests.at(0).key, Parser::calculateKey(text));
    fake->finish(fake->requests.at(0).key, e->filename(), treeOf({"v0 109 1", "v1 109 2"}));
    QCOMPARE(items(view()->invisibleRootItem()), QStringLiteral("v0:1 v1:2"));

    // Lines handed out stay as they were when the line is edited after.
    const QList<QString> shared = e->lines(0, 2);
    QCOMPARE(shared, QList<QString>({QStringLiteral("int v0;"), QStringLiteral("int v1;")}));
    e->setCursorPosition(0, 0);
    QTest::keyClicks(e->focusProxy(), "xy");
    QCOMPARE(e->lines(0, 1), QList<QString>({QStringLiteral("xyint v0;")}));
    QCOMPARE(shared.at(0), QStringLiteral("int v0;"));
    QCOMPARE(e->lines(e->lineCount() - 1, 5).size(), 1);
    closeAllBut(e);
}

void TestTagsPanel::firstTreeIsAnnounced()
{
    // While the first tree of an editor's text is made, the page says so;
    // once it is in, a refresh keeps it shown and says nothing.
    QLabel* status = panel()->findChild<QLabel*>(QStringLiteral("tagsStatus"));
    QVERIFY(status);
    Editor* e = openFile(file("first.cpp", "int first;\n"));
    QCOMPARE(fake->requests.size(), 1);
    QVERIFY(status->isVisible());
    QCOMPARE(status->text(), QStringLiteral("Making the tags of first.cpp…"));
    fake->finish(fake->requests.last().key, e->filename(), treeOf({"first 109 1"}));
    QVERIFY(status->isHidden());
    QTest::keyClick(e->focusProxy(), Qt::Key_X);
    fake->requests.clear();
    panel()->reparse();
    QCOMPARE(fake->requests.size(), 1);
    QVERIFY(status->isHidden());
    QCOMPARE(items(view()->invisibleRootItem()), QStringLiteral("first:1"));
    // A parser that cannot start leaves no promise on the page.
    fake->fail = true;
    Editor* other = openFile(file("second.cpp", "int second;\n"));
    QVERIFY(other != e);
    QVERIFY(status->isHidden());
    fake->fail = false;
    closeAllBut(e);
}

void TestTagsPanel::closedDuringMerge()
{
    // A tree big enough to be merged over several turns of the event loop.
    Editor* a = current();
    a->setText(QStringLiteral("int kept;\n"));
    deliverForCurrent(treeOf({"kept 109 1"}));
    QCOMPARE(items(view()->invisibleRootItem()), QStringLiteral("kept:1"));
    Editor* b = openFile(file("big.cpp", "int big;\n"));
    QStringList lines;
    for (int i = 0; i < 60000; ++i)
        lines << QStringLiteral("big%1 109 %1").arg(i);
    deliverForCurrent(treeOf(lines));
    QVERIFY(view()->isMerging());

    // Closed while its tree comes in: the rest of it never lands, and it is
    // no longer the tree the panel moves through. The tree of the editor
    // now current, cached, comes back from the event loop.
    closeAllBut(a);
    QCOMPARE(current(), a);
    QVERIFY(!view()->isMerging());
    QVERIFY(!panel()->rootNode());
    QVERIFY(view()->updatesEnabled());
    QVERIFY(view()->topLevelItemCount() < 60000);
    QTRY_COMPARE(items(view()->invisibleRootItem()), QStringLiteral("kept:1"));
    QVERIFY(!view()->isMerging());
    QVERIFY(panel()->rootNode());
    QVERIFY(!Editors::self()->editors().contains(b));
}

void TestTagsPanel::settings()
{
    // Runs last: it makes the panel anew.
    auto checked = [](const char* name) {
        return Actions::action(QLatin1String(name))->isChecked();
    };
    // Nothing stored: by position, "Line number" ticked in both menus; the
    // all-classes view classes first with neither of its commands ticked.
    QCOMPARE(view()->sortingMode(), 0);
    QVERIFY(checked("Classes/context/class/sortByLineNumber"));
    QVERIFY(checked("Classes/context/function/sortByLineNumber"));
    QVERIFY(!checked("Classes/context/class/sortByName"));
    QCOMPARE(panel()->classesViewAll()->sortingMode(), 2);
    QVERIFY(!checked("ClassesAll/context/function/sortByName"));
    QVERIFY(!checked("ClassesAll/context/function/sortByLineNumber"));

    // Choosing "Name" in one menu ticks it in both; the choice is kept.
    Actions::action(QStringLiteral("Classes/context/function/sortByName"))->trigger();
    QCOMPARE(view()->sortingMode(), 1);
    QVERIFY(checked("Classes/context/class/sortByName"));
    QVERIFY(!checked("Classes/context/class/sortByLineNumber"));
    panel()->showFilesList(false);
    delete panel();
    QCOMPARE(Settings::readNum(QStringLiteral("/classes/sortMode"), -1), 1);
    QCOMPARE(Settings::readNum(QStringLiteral("/classes/sortModeClassesAll"), -1), 2);
    QCOMPARE(Settings::readBool(QStringLiteral("/geometry/tagsPanel/showEditorsList"), true),
             false);

    // A stored mode 2: classes first, neither per-file command ticked.
    Settings::write(QStringLiteral("/classes/sortMode"), 2);
    QCOMPARE(view()->sortingMode(), 2);
    QVERIFY(!checked("Classes/context/class/sortByName"));
    QVERIFY(!checked("Classes/context/class/sortByLineNumber"));
    QVERIFY(!checked("Classes/context/function/sortByName"));
    QVERIFY(!checked("Classes/context/function/sortByLineNumber"));
    QVERIFY(checked("ClassesAll/context/function/sortByLineNumber"));
    QVERIFY(panel()->editorsList()->isHidden());
}

void TestTagsPanel::quitDuringRun()
{
    // Runs last: the window goes while ctags runs for the current editor.
    // The program is killed and its file removed before the window is gone.
    standIn("exec sleep 60");
    QTemporaryDir tmp;
    qputenv("TMPDIR", tmp.path().toLocal8Bit());
    setParserOfAllTypes(CTagsParser::self());
    current()->setText(QStringLiteral("int quit;\n"));
    panel()->reparse();
    QTRY_COMPARE_WITH_TIMEOUT(loggedPids().size(), 1, 20000);
    const pid_t pid = pid_t(loggedPids().at(0));
    QCOMPARE(::kill(pid, 0), 0);
    const auto files = [&] { return QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden); };
    QCOMPARE(files().size(), 1);
    delete shell;
    shell = nullptr;
    qunsetenv("TMPDIR");
    QCOMPARE(::kill(pid, 0), -1);
    QCOMPARE(files(), QStringList());
}

QTEST_MAIN(TestTagsPanel)
#include "tst_tagspanel.moc"

// The symbol tree and the parser base: freeing trees of any shape, type names
// and icons, keys and position tables, and the cache protocol driven through
// a fake parser (in-flight guard, hits from the event loop, generations,
// holding and releasing, bounded memory).

#include "vexa/ctags/node.h"
#include "vexa/ctags/parser.h"
#include "vexa/utils.h"

#include <QSignalSpy>
#include <QtTest>
#include <memory>

using namespace vexa;

namespace
{

// Finishes its parses only when told to, with a one-node tree named after
// the text.
class FakeParser : public Parser
{
public:
    struct Run {
        int key;
        QString fileName;
        QString text;
    };
    QList<Run> runs;
    bool failStart = false;

    using Parser::parse;
    int parse(const QString& text) override
    {
        if (failStart) {
            parseFailed(requestKey(), requestFileName());
            return 0;
        }
        runs.append({requestKey(), requestFileName(), text});
        return requestKey();
    }
    Node* finish(int i)
    {
        Node* root = new Node;
        root->name = runs.at(i).text;
        deliver(runs.at(i).key, runs.at(i).fileName, root);
        return root;
    }
};

// Shows one tree at a time, as the tags panel does: holds what it shows.
class Consumer : public QObject
{
public:
    explicit Consumer(Parser* p) : parser(p)
    {
        connect(p, &Parser::nodes, this, [this](int, Node* root) {
            if (parser->generation(root) == shown)
                return;
            parser->hold(root);
            if (root_)
                parser->release(root_);
            root_ = root;
            shown = parser->generation(root);
        });
    }
    Parser* parser;
    Node* root_ = nullptr;
    quint64 shown = 0;
};

// Gives every node a token; the tokens alive tell how many nodes are.
struct Tokens {
    std::shared_ptr<int> token = std::make_shared<int>(0);
    Node* make(Node* parent = nullptr)
    {
        Node* n = new Node(parent);
        n->params = new QVariantHash;
        n->params->insert(QStringLiteral("t"), QVariant::fromValue(token));
        return n;
    }
    long alive() const { return token.use_count() - 1; }
};

} // namespace

Q_DECLARE_METATYPE(std::shared_ptr<int>)

class TestTagsParser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void freshNode();
    void freeingAnyShape();
    void typeNamesAndIcons_data();
    void typeNamesAndIcons();
    void keys();
    void positionTables();
    void lineEndsMatchXy2pos();
    void oneEmissionForTwoRequests();
    void hitComesFromEventLoop();
    void changedAndBackMisses();
    void untitledShare();
    void sameTextOtherFile();
    void failedStartFreesKey();
    void treesStayBounded();
    void pendingHitSurvivesNewerTree();
};

void TestTagsParser::freshNode()
{
    Node parent;
    Node n(&parent);
    QCOMPARE(n.parent, &parent);
    QVERIFY(!n.next && !n.prev && !n.child && !n.params);
    QCOMPARE(n.type, 0);
    for (int v : {n.start, n.start_line, n.start_column, n.end, n.startContext, n.endContext})
        QCOMPARE(v, 0);
    QVERIFY(n.name.isEmpty());
}

void TestTagsParser::freeingAnyShape()
{
    Tokens t;
    // 200k siblings.
    Node* root = t.make();
    Node* last = root;
    for (int i = 1; i < 200000; ++i) {
        Node* n = t.make();
        last->next = n;
        n->prev = last;
        last = n;
    }
    QCOMPARE(t.alive(), 200000);
    delete root;
    QCOMPARE(t.alive(), 0);

    // A chain 10k deep, each level with a few siblings and their own child.
    root = t.make();
    Node* deepest = root;
    for (int i = 0; i < 10000; ++i) {
        Node* c = t.make(deepest);
        deepest->child = c;
        Node* s = t.make(deepest);
        c->next = s;
        s->prev = c;
        s->child = t.make(s);
        deepest = c;
    }
    QCOMPARE(t.alive(), 1 + 3 * 10000);
    delete root;
    QCOMPARE(t.alive(), 0);

    // Deleting a node inside a chain frees it and those after it only.
    root = t.make();
    Node* second = t.make();
    Node* third = t.make();
    root->next = second;
    second->prev = root;
    second->next = third;
    third->prev = second;
    third->child = t.make(third);
    root->next = nullptr;
    delete second;
    QCOMPARE(t.alive(), 1);
    delete root;
    QCOMPARE(t.alive(), 0);
}

void TestTagsParser::typeNamesAndIcons_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typeName");
    QTest::newRow("__x") << 103 << "__x"
                         << "FunctionPrivate";
    QTest::newRow("__") << 103 << "__"
                        << "FunctionPrivate";
    QTest::newRow("_x") << 103 << "_x"
                        << "Function";
    QTest::newRow("x__") << 103 << "x__"
                         << "Function";
    QTest::newRow("class __C") << 102 << "__C"
                               << "Class";
    QTest::newRow("101") << 101 << "v"
                         << "Variable";
    QTest::newRow("109") << 109 << "v"
                         << "Variable";
    QTest::newRow("110") << 110 << "p"
                         << "Prototipe";
    QTest::newRow("114") << 114 << "n"
                         << "Namespace";
    QTest::newRow("no kind") << 0 << "No tags found"
                             << "";
    QTest::newRow("stored 104") << 104 << "x"
                                << "FunctionPrivate";
}

void TestTagsParser::typeNamesAndIcons()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QString, typeName);
    FakeParser p;
    Node n;
    n.type = type;
    n.name = name;
    QCOMPARE(p.typeName(&n), typeName);
    const QPixmap* icon = p.typeIcon(&n);
    QVERIFY(icon);
    if (typeName.isEmpty()) {
        QVERIFY(icon->isNull());
    } else {
        QCOMPARE(icon->toImage(), Utils::icon("16x16_t" + typeName).toImage());
        QVERIFY(!icon->isNull());
    }
}

void TestTagsParser::keys()
{
    QCOMPARE(Parser::calculateKey(QString()), 0);
    // The first four bytes of the digest, the same for the same text.
    const int abc = Parser::calculateKey(QStringLiteral("abc"));
    QCOMPARE(Parser::calculateKey(QStringLiteral("ab") + QLatin1Char('c')), abc);
    // Order counts: swapped lines, swapped characters.
    QVERIFY(Parser::calculateKey(QStringLiteral("cd\nab")) != Parser::calculateKey("ab\ncd"));
    QVERIFY(Parser::calculateKey(QStringLiteral("bac")) != Parser::calculateKey("abc"));
    QCOMPARE(Parser::keyOf(Parser::digest(QStringLiteral("abc"))), abc);
    QCOMPARE(Parser::digest(QStringLiteral("abc")).size(), 16);
    QVERIFY(Parser::digest(QStringLiteral("abc")) != Parser::digest(QStringLiteral("abd")));

    // A text hashed as it grows, in steps that straddle the blocks hashed in
    // one go, has the digest of the text hashed whole; a change in any block,
    // or a text that only begins like it, has another.
    QString big;
    for (int i = 0; big.size() < 300000; ++i)
        big += QStringLiteral("line %1\n").arg(i);
    for (const qsizetype step : {qsizetype(1000), qsizetype(65536), qsizetype(70001)}) {
        Parser::Digest grown;
        QString text;
        for (qsizetype at = 0; at < big.size(); at += step) {
            text += QStringView(big).mid(at, step);
            grown.add(text);
        }
        QCOMPARE(grown.finish(text), Parser::digest(big));
    }
    for (const qsizetype at : {qsizetype(10), qsizetype(65536), qsizetype(200000)}) {
        QString changed = big;
        changed[at] = QLatin1Char('#');
        QVERIFY(Parser::digest(changed) != Parser::digest(big));
    }
    QVERIFY(Parser::digest(big.left(131072)) != Parser::digest(big));
}

void TestTagsParser::positionTables()
{
    const QString t = QStringLiteral("ab\ncd");
    const int y[] = {0, 0, 1, 1, 1, 1, 1};
    for (int pos = 0; pos < 7; ++pos)
        QCOMPARE(Parser::pos2y(pos, t), y[pos]);
    QCOMPARE(Parser::pos2y(-5, t), 0);
    const int x[] = {0, 1, 0, 1, 2};
    for (int pos = 0; pos < 5; ++pos)
        QCOMPARE(Parser::pos2x(pos, t), x[pos]);
    QCOMPARE(Parser::xy2pos(0, 0, t), 1);
    QCOMPARE(Parser::xy2pos(0, 1, t), 5);
    QCOMPARE(Parser::xy2pos(0, 2, t), 6);
    QCOMPARE(Parser::xy2pos(0, -3, t), 1);
    QCOMPARE(Parser::xy2pos(0, 0, QStringLiteral("ab\n")), 1);
    QCOMPARE(Parser::xy2pos(0, 1, QStringLiteral("ab\n")), 4);
    QCOMPARE(Parser::xy2pos(0, 0, QString()), 1);
    QCOMPARE(Parser::xy2pos(0, 7, QString()), 1);
    // An empty line stands on its own newline: above every earlier line's
    // position, below every later one's.
    const QString blank = QStringLiteral("ab\n\n\ncd");
    QCOMPARE(Parser::xy2pos(0, 0, blank), 1);
    QCOMPARE(Parser::xy2pos(0, 1, blank), 3);
    QCOMPARE(Parser::xy2pos(0, 2, blank), 4);
    QCOMPARE(Parser::xy2pos(0, 3, blank), 7);
    // Newlines after a U+0000 are not counted.
    const QString nul = QStringLiteral("a\nb") + QChar(0) + QStringLiteral("\nc\nd");
    QCOMPARE(Parser::pos2y(2, nul), 1);
    QCOMPARE(Parser::pos2y(int(nul.size()), nul), 1);
    // Every line that holds a character comes back.
    const QString lines = QStringLiteral("int a;\n\nvoid f();\nx");
    for (int line : {0, 2, 3})
        QCOMPARE(Parser::pos2y(Parser::xy2pos(0, line, lines), lines), line);
}

void TestTagsParser::lineEndsMatchXy2pos()
{
    // Made from the text or from its lines one at a time (as an editor gives
    // them), the table answers as xy2pos() and pos2y() do, also past a NUL.
    for (const QString& text :
         {QString(), QStringLiteral("\n"), QStringLiteral("ab"), QStringLiteral("ab\n"),
          QStringLiteral("ab\ncd"), QStringLiteral("\n\nx\n\n"), QStringLiteral("a\n\n\nbc\nd\n"),
          QStringLiteral("a\nb") + QChar(0) + "c\nd\n" + QChar(0)}) {
        const QStringList lines = text.split(QLatin1Char('\n'));
        const Parser::LineEnds fromText(text);
        const Parser::LineEnds fromLines(int(lines.size()), [&](int l) { return lines.at(l); });
        for (int y = -2; y < 8; ++y) {
            QCOMPARE(fromText.pos(y), Parser::xy2pos(0, y, text));
            QCOMPARE(fromLines.pos(y), Parser::xy2pos(0, y, text));
        }
        for (int pos = -2; pos < int(text.size()) + 3; ++pos) {
            QCOMPARE(fromText.line(pos), Parser::pos2y(pos, text));
            QCOMPARE(fromLines.line(pos), Parser::pos2y(pos, text));
        }
    }
}

void TestTagsParser::oneEmissionForTwoRequests()
{
    FakeParser p;
    QSignalSpy nodes(&p, &Parser::nodes);
    QSignalSpy reparsed(&p, &Parser::reparsed);
    const int key = p.parse(QStringLiteral("int a;"), QStringLiteral("/x/a.c"));
    QCOMPARE(key, Parser::calculateKey(QStringLiteral("int a;")));
    QVERIFY(p.inFlight(key, QStringLiteral("/x/a.c")));
    QCOMPARE(p.parse(QStringLiteral("int a;"), QStringLiteral("/x/a.c")), key);
    QCOMPARE(p.runs.size(), 1);
    Node* root = p.finish(0);
    QCOMPARE(nodes.size(), 1);
    QCOMPARE(nodes.at(0).at(0).toInt(), key);
    QCOMPARE(nodes.at(0).at(1).value<Node*>(), root);
    QCOMPARE(reparsed.size(), 1);
    QCOMPARE(reparsed.at(0).at(0).toString(), QStringLiteral("/x/a.c"));
    QVERIFY(!p.inFlight(key, QStringLiteral("/x/a.c")));
    QVERIFY(p.generation(root) > 0);
    QCOMPARE(p.treeCount(), 1);
}

void TestTagsParser::hitComesFromEventLoop()
{
    FakeParser p;
    const QString file = QStringLiteral("/x/a.c");
    p.parse(QStringLiteral("int a;"), file);
    Node* root = p.finish(0);
    const quint64 generation = p.generation(root);

    QSignalSpy nodes(&p, &Parser::nodes);
    QSignalSpy reparsed(&p, &Parser::reparsed);
    const int key = p.parse(QStringLiteral("int a;"), file);
    QCOMPARE(p.runs.size(), 1);
    QCOMPARE(nodes.size(), 0);
    QVERIFY(nodes.wait(1000));
    QCOMPARE(nodes.size(), 1);
    QCOMPARE(nodes.at(0).at(0).toInt(), key);
    QCOMPARE(nodes.at(0).at(1).value<Node*>(), root);
    QCOMPARE(reparsed.size(), 0);
    QCOMPARE(p.generation(root), generation);
    QVERIFY(!p.inFlight(key, file));
    QCOMPARE(p.treeCount(), 1);
}

void TestTagsParser::changedAndBackMisses()
{
    FakeParser p;
    const QString file = QStringLiteral("/x/a.c");
    p.parse(QStringLiteral("a\nb"), file);
    Node* first = p.finish(0);
    const quint64 g1 = p.generation(first);
    // Lines swapped: the same characters, no hit.
    p.parse(QStringLiteral("b\na"), file);
    QCOMPARE(p.runs.size(), 2);
    Node* second = p.finish(1);
    QVERIFY(p.generation(second) > g1);
    // Back to the first text (an undo): the newest entry is the second text's.
    p.parse(QStringLiteral("a\nb"), file);
    QCOMPARE(p.runs.size(), 3);
    Node* third = p.finish(2);
    QVERIFY(p.generation(third) > p.generation(second));
    QCOMPARE(p.treeCount(), 1);
}

void TestTagsParser::untitledShare()
{
    FakeParser p;
    QSignalSpy reparsed(&p, &Parser::reparsed);
    p.parse(QStringLiteral("x"), QString());
    Node* root = p.finish(0);
    QCOMPARE(reparsed.at(0).at(0).toString(), QStringLiteral("Untitled"));
    // Another untitled editor with the same text: a hit.
    QSignalSpy nodes(&p, &Parser::nodes);
    p.parse(QStringLiteral("x"), QStringLiteral(""));
    QVERIFY(nodes.wait(1000));
    QCOMPARE(nodes.at(0).at(1).value<Node*>(), root);
    QCOMPARE(p.runs.size(), 1);
    // With another text each finds the other's tree gone.
    p.parse(QStringLiteral("y"), QString());
    p.finish(1);
    p.parse(QStringLiteral("x"), QString());
    QCOMPARE(p.runs.size(), 3);
}

void TestTagsParser::sameTextOtherFile()
{
    FakeParser p;
    QSignalSpy reparsed(&p, &Parser::reparsed);
    const int key = p.parse(QStringLiteral("int a;"), QStringLiteral("/x/a.c"));
    p.parse(QStringLiteral("int a;"), QStringLiteral("/x/b.c"));
    QCOMPARE(p.runs.size(), 2);
    QVERIFY(p.inFlight(key, QStringLiteral("/x/b.c")));
    // They end in the other order; each goes to its own file.
    p.finish(1);
    p.finish(0);
    QCOMPARE(reparsed.size(), 2);
    QCOMPARE(reparsed.at(0).at(0).toString(), QStringLiteral("/x/b.c"));
    QCOMPARE(reparsed.at(1).at(0).toString(), QStringLiteral("/x/a.c"));
    QCOMPARE(p.treeCount(), 2);
    // Both are hits now.
    p.parse(QStringLiteral("int a;"), QStringLiteral("/x/a.c"));
    p.parse(QStringLiteral("int a;"), QStringLiteral("/x/b.c"));
    QCOMPARE(p.runs.size(), 2);
}

void TestTagsParser::failedStartFreesKey()
{
    FakeParser p;
    QSignalSpy nodes(&p, &Parser::nodes);
    p.failStart = true;
    const QString file = QStringLiteral("/x/a.c");
    QCOMPARE(p.parse(QStringLiteral("int a;"), file), 0);
    QVERIFY(!p.inFlight(Parser::calculateKey(QStringLiteral("int a;")), file));
    QCOMPARE(nodes.size(), 0);
    p.failStart = false;
    p.parse(QStringLiteral("int a;"), file);
    QCOMPARE(p.runs.size(), 1);
}

void TestTagsParser::treesStayBounded()
{
    FakeParser p;
    Consumer shown(&p);
    const QString file = QStringLiteral("/x/a.c");
    int most = 0;
    for (int i = 0; i < 1000; ++i) {
        p.parse(QStringLiteral("int a%1;").arg(i), file);
        p.finish(int(p.runs.size()) - 1);
        most = qMax(most, p.treeCount());
        // Now and then the user switches to another file and back.
        if (i % 100 == 0) {
            p.parse(QStringLiteral("other"), QStringLiteral("/x/b.c"));
            if (p.inFlight(Parser::calculateKey(QStringLiteral("other")), QStringLiteral("/x/b.c")))
                p.finish(int(p.runs.size()) - 1);
        }
    }
    QVERIFY2(most <= 3, qPrintable(QString::number(most)));
    QCOMPARE(shown.root_->name, QStringLiteral("int a999;"));

    // A tree a consumer holds outlives newer trees of its file until it is
    // released.
    FakeParser q;
    q.parse(QStringLiteral("1"), file);
    Node* old = q.finish(0);
    q.hold(old);
    q.parse(QStringLiteral("2"), file);
    q.finish(1);
    QCOMPARE(q.treeCount(), 2);
    QCOMPARE(old->name, QStringLiteral("1"));
    q.release(old);
    QCOMPARE(q.treeCount(), 1);
}

void TestTagsParser::pendingHitSurvivesNewerTree()
{
    // A hit is queued; before it is sent, a run for another text of the same
    // file ends. The queued tree is still valid when it comes.
    FakeParser p;
    const QString file = QStringLiteral("/x/a.c");
    p.parse(QStringLiteral("1"), file);
    Node* first = p.finish(0);
    p.parse(QStringLiteral("2"), file); // a run under way
    p.parse(QStringLiteral("1"), file); // a hit, queued
    p.finish(1);
    QString seen;
    connect(&p, &Parser::nodes, this, [&](int, Node* root) { seen = root->name; });
    QSignalSpy nodes(&p, &Parser::nodes);
    QVERIFY(nodes.wait(1000));
    QCOMPARE(nodes.at(0).at(1).value<Node*>(), first);
    QCOMPARE(seen, QStringLiteral("1"));
    // Nobody holds it now: it is gone.
    QCOMPARE(p.treeCount(), 1);
}

QTEST_MAIN(TestTagsParser)
#include "tst_tagsparser.moc"

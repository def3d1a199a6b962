// Reading ctags output and building the symbol tree: the line rules, scopes,
// kind tables by suffix, suffixes and arguments, both ctags flavours, bad
// input.

#include "treedump.h"
#include "vexa/ctags/ctagsoutput.h"
#include "vexa/ctags/node.h"

#include <QtTest>
#include <memory>

using namespace vexa;

namespace
{

// The tree of `output` (lines joined by "\n") read for a file with `ext`.
QString treeOf(const QByteArray& output, const QString& ext = QStringLiteral(".cpp"),
               const QString& text = QString())
{
    CTagsOutput reader(ext, text);
    reader.addData(output);
    reader.finish();
    std::unique_ptr<Node> root(reader.buildTree());
    bool linked = false;
    const QString dump = dumpTree(root.get(), &linked);
    return linked ? dump : QStringLiteral("(badly linked)\n") + dump;
}

// Universal ctags 5.9 on data/sample.cpp (`ctags -f - -n -V`; its verbose
// lines go to standard error).
const char universalOutput[] =
    "A\tsample.cpp\t4;\"\tc\tnamespace:N\tfile:\n"
    "Color\tsample.cpp\t10;\"\tg\tnamespace:N\tfile:\n"
    "Green\tsample.cpp\t10;\"\te\tenum:N::Color\tfile:\n"
    "MAXV\tsample.cpp\t2;\"\td\tfile:\n"
    "N\tsample.cpp\t3;\"\tn\tfile:\n"
    "Red\tsample.cpp\t10;\"\te\tenum:N::Color\tfile:\n"
    "S\tsample.cpp\t12;\"\ts\tfile:\n"
    "U\tsample.cpp\t15;\"\tu\tfile:\n"
    "a\tsample.cpp\t16;\"\tm\tunion:U\ttyperef:typename:int\tfile:\n"
    "b\tsample.cpp\t17;\"\tm\tunion:U\ttyperef:typename:float\tfile:\n"
    "globalVar\tsample.cpp\t20;\"\tv\ttyperef:typename:int\n"
    "helper\tsample.cpp\t19;\"\tf\ttyperef:typename:int\tfile:\n"
    "main\tsample.cpp\t22;\"\tf\ttyperef:typename:int\n"
    "member\tsample.cpp\t7;\"\tm\tclass:N::A\ttyperef:typename:int\tfile:\n"
    "method\tsample.cpp\t21;\"\tf\tclass:N::A\ttyperef:typename:void\n"
    "smember\tsample.cpp\t13;\"\tm\tstruct:S\ttyperef:typename:int\tfile:\n";

// The older flavour on the same file: its verbose lines come on standard
// output between the tags, and it prints no type references.
const char exuberantOutput[] = "Reading command line arguments\n"
                               "OPENING sample.cpp as C++ language file\n"
                               "sorting tag file\n"
                               "system (\"sort -u -o '/tmp/tags.SUEkBh' '/tmp/tags.SUEkBh'\")\n"
                               "A\tsample.cpp\t4;\"\tc\tnamespace:N\tfile:\n"
                               "Color\tsample.cpp\t10;\"\tg\tnamespace:N\tfile:\n"
                               "Green\tsample.cpp\t10;\"\te\tenum:N::Color\tfile:\n"
                               "MAXV\tsample.cpp\t2;\"\td\tfile:\n"
                               "N\tsample.cpp\t3;\"\tn\tfile:\n"
                               "Red\tsample.cpp\t10;\"\te\tenum:N::Color\tfile:\n"
                               "S\tsample.cpp\t12;\"\ts\tfile:\n"
                               "U\tsample.cpp\t15;\"\tu\tfile:\n"
                               "a\tsample.cpp\t16;\"\tm\tunion:U\tfile:\n"
                               "b\tsample.cpp\t17;\"\tm\tunion:U\tfile:\n"
                               "globalVar\tsample.cpp\t20;\"\tv\n"
                               "helper\tsample.cpp\t19;\"\tf\tfile:\n"
                               "main\tsample.cpp\t22;\"\tf\n"
                               "member\tsample.cpp\t7;\"\tm\tclass:N::A\tfile:\n"
                               "method\tsample.cpp\t21;\"\tf\tclass:N::A\n"
                               "smember\tsample.cpp\t13;\"\tm\tstruct:S\tfile:\n";

} // namespace

class TestCTagsReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void bothFlavoursGiveOneTree_data();
    void bothFlavoursGiveOneTree();
    void lines_data();
    void lines();
    void scopes_data();
    void scopes();
    void kindTables_data();
    void kindTables();
    void suffixesAndArguments_data();
    void suffixesAndArguments();
    void positions();
    void piecesAndPartialLines();
    void piecesMatchLineByLine_data();
    void piecesMatchLineByLine();
    void badInput();
    void namesShareNothingVisible();
    void deepScopes_data();
    void deepScopes();
};

void TestCTagsReader::bothFlavoursGiveOneTree_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("universal") << QByteArray(universalOutput);
    QTest::newRow("exuberant") << QByteArray(exuberantOutput);
}

void TestCTagsReader::bothFlavoursGiveOneTree()
{
    // Universal's typeref fields are no scopes: top-level functions stay at
    // the top level instead of under a "typeref:typename:int" node; the
    // older flavour's verbose lines have no tabs and are skipped.
    QFETCH(QByteArray, output);
    QCOMPARE(treeOf(output), sampleCppTree);
}

void TestCTagsReader::lines_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("tree");
    const QString none = QStringLiteral("No tags found 0 0");
    QTest::newRow("main in a .c run") << QByteArray("main\tt.c\t12;\"\tf") << ".c"
                                      << "main 103 11";
    QTest::newRow("file: alone") << QByteArray("x\tt.c\t3;\"\tv\tfile:") << ".c"
                                 << "x 109 2";
    QTest::newRow("doubled tabs") << QByteArray("a\t\tt.c\t\t5;\"\tf\t\t") << ""
                                  << "a 103 4";
    QTest::newRow("doubled tabs, three fields") << QByteArray("a\t\t5;\"\tf") << "" << none;
    QTest::newRow("one field") << QByteArray("abc") << "" << none;
    QTest::newRow("two fields") << QByteArray("a\tb") << "" << none;
    QTest::newRow("three fields") << QByteArray("a\tb\t3;\"") << "" << none;
    QTest::newRow("no lines") << QByteArray() << "" << none;
    QTest::newRow("address 7") << QByteArray("f\tt\t7\tf") << ""
                               << "f 103 6";
    QTest::newRow("address x") << QByteArray("f\tt\tx\tf") << ""
                               << "f 103 -1";
    QTest::newRow("address /pattern/") << QByteArray("f\tt\t/^int f()$/;\"\tf") << ""
                                       << "f 103 -1";
    QTest::newRow("address overflow") << QByteArray("f\tt\t99999999999;\"\tf") << ""
                                      << "f 103 -1";
    QTest::newRow("unknown kind letter") << QByteArray("f\tt\t2;\"\tx") << ""
                                         << "f 101 1";
    QTest::newRow("kind word") << QByteArray("f\tt\t2;\"\tfunction") << ""
                               << "f 101 1";
    // A repeated full name: one node, the later line's, at the earlier place.
    QTest::newRow("repeated full name")
        << QByteArray("a\tt\t1;\"\tf\nf\tt\t3;\"\tp\nb\tt\t5;\"\tf\nf\tt\t9;\"\tf") << ""
        << "a 103 0\nf 103 8\nb 103 4";
    QTest::newRow("repeated member")
        << QByteArray("C\tt\t1;\"\tc\nm\tt\t2;\"\tp\tclass:C\nm\tt\t3;\"\tf\tclass:C") << ""
        << "C 102 0\n  m 103 2";
    // The same full name split otherwise: one node, named by the later line,
    // under the first line's scope; whether the lines follow each other or
    // not.
    QTest::newRow("other split, next line")
        << QByteArray("B::C\tt\t2;\"\tf\tclass:A\nC\tt\t3;\"\tf\tclass:A::B") << ""
        << "A 114 0\n  C 103 2\n  B 114 0";
    QTest::newRow("other split, a line between")
        << QByteArray("B::C\tt\t2;\"\tf\tclass:A\nz\tt\t1;\"\tf\nC\tt\t3;\"\tf\tclass:A::B") << ""
        << "z 103 0\nA 114 0\n  C 103 2\n  B 114 0";
    QTest::newRow("scoped, then the same text unscoped")
        << QByteArray("x\tt\t2;\"\tf\tclass:A\nA::x\tt\t3;\"\tv") << ""
        << "A 114 0\n  A::x 109 2";
    // Same tag and same scope length, other scope: two nodes.
    QTest::newRow("same tag, next line, other scope")
        << QByteArray("x\tt\t2;\"\tf\tclass:A\nx\tt\t3;\"\tf\tclass:B") << ""
        << "A 114 0\n  x 103 1\nB 114 0\n  x 103 2";
}

void TestCTagsReader::lines()
{
    QFETCH(QByteArray, output);
    QFETCH(QString, ext);
    QFETCH(QString, tree);
    QCOMPARE(treeOf(output, ext), tree);
}

void TestCTagsReader::scopes_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("tree");
    QTest::newRow("class:A without A")
        << QByteArray("x\tt\t2;\"\tf\tclass:A\ny\tt\t1;\"\tf") << "y 103 0\nA 114 0\n  x 103 1";
    QTest::newRow("class:A::B") << QByteArray("x\tt\t4;\"\tf\tclass:A::B")
                                << "A 114 0\n  B 114 0\n    x 103 3";
    QTest::newRow("an existing N")
        << QByteArray("N\tt\t2;\"\tn\nx\tt\t5;\"\tf\tnamespace:N") << "N 114 1\n  x 103 4";
    QTest::newRow("C::D under C") << QByteArray("C\tt\t3;\"\tc\nx\tt\t6;\"\tf\tclass:C::D")
                                  << "C 102 2\n  D 114 2\n    x 103 5";
    QTest::newRow("interface:I kept")
        << QByteArray("x\tt\t2;\"\tf\tinterface:I") << "interface:I 114 0\n  x 103 1";
    QTest::newRow("A::::B") << QByteArray("x\tt\t2;\"\tf\tclass:A::::B")
                            << "x 103 1\nA 114 0\n  B 114 0";
    QTest::newRow("arity: stripped")
        << QByteArray("x\tt\t2;\"\tf\tarity:2") << "2 114 0\n  x 103 1";
    QTest::newRow("each prefix once, in order")
        << QByteArray("x\tt\t2;\"\tf\tfile:class:A") << "class:A 114 0\n  x 103 1";
    QTest::newRow("struct:namespace:")
        << QByteArray("x\tt\t2;\"\tf\tstruct:namespace:K") << "K 114 0\n  x 103 1";
    QTest::newRow("non-scope fields skipped")
        << QByteArray("x\tt\t2;\"\tf\ttyperef:typename:int\taccess:public\tsignature:()\tclass:A")
        << "A 114 0\n  x 103 1";
    QTest::newRow("field without a key") << QByteArray("x\tt\t2;\"\tf\tA") << "A 114 0\n  x 103 1";
    QTest::newRow("only typeref") << QByteArray("x\tt\t2;\"\tf\ttyperef:typename:int") << "x 103 1";
    QTest::newRow("empty parts") << QByteArray("x\tt\t2;\"\tf\tclass:::") << "x 103 1";
    QTest::newRow("two members, one scope")
        << QByteArray("x\tt\t2;\"\tf\tclass:A\ny\tt\t3;\"\tf\tclass:A")
        << "A 114 0\n  x 103 1\n  y 103 2";
}

void TestCTagsReader::scopes()
{
    QFETCH(QByteArray, output);
    QFETCH(QString, tree);
    QCOMPARE(treeOf(output, QString()), tree);
}

void TestCTagsReader::kindTables_data()
{
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<int>("type");
    const struct {
        const char* kind;
        int type;
    } general[] = {{"c", 102}, {"m", 103}, {"f", 103}, {"d", 105}, {"e", 106},
                   {"F", 107}, {"g", 108}, {"v", 109}, {"p", 110}, {"s", 111},
                   {"t", 112}, {"u", 113}, {"n", 114}, {"x", 101}, {"fn", 101}};
    for (const auto& g : general)
        QTest::addRow("no suffix, %s", g.kind) << QString() << QByteArray(g.kind) << g.type;
    // Data members and (fixed) variables of C and C++ are variables.
    for (const char* ext : {".c", ".cpp", ".h"}) {
        QTest::addRow("%s m", ext) << ext << QByteArray("m") << 109;
        QTest::addRow("%s v", ext) << ext << QByteArray("v") << 109;
        QTest::addRow("%s f", ext) << ext << QByteArray("f") << 103;
    }
    for (const char* ext : {".hpp", ".cc", ".C", ".ch", ".CPP"}) {
        QTest::addRow("%s m", ext) << ext << QByteArray("m") << 103;
        QTest::addRow("%s v", ext) << ext << QByteArray("v") << 109;
    }
    QTest::newRow(".java f") << ".java" << QByteArray("f") << 109;
    QTest::newRow(".java m") << ".java" << QByteArray("m") << 103;
}

void TestCTagsReader::kindTables()
{
    QFETCH(QString, ext);
    QFETCH(QByteArray, kind);
    QFETCH(int, type);
    QCOMPARE(CTagsOutput::kindType(kind, ext), type);
    // The reader gives the same.
    CTagsOutput reader(ext, QString());
    reader.addLine("n\tt\t1;\"\t" + kind);
    QCOMPARE(reader.lineCount(), 1);
    std::unique_ptr<Node> root(reader.buildTree());
    QCOMPARE(root->type, type);
}

void TestCTagsReader::suffixesAndArguments_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("forced");
    QTest::newRow("plain") << "/home/u/a.cpp"
                           << ".cpp" << false;
    QTest::newRow("untitled") << ""
                              << "" << false;
    QTest::newRow("no dot") << "/home/u/Makefile"
                            << "" << false;
    QTest::newRow("dot in a folder") << "/home/u/dir.v2/Makefile"
                                     << "" << false;
    QTest::newRow("dot-dot") << "/home/u/a.b/../c"
                             << "" << false;
    QTest::newRow("folder ..") << "/home/u/.."
                               << "" << false;
    QTest::newRow("trailing dot") << "/home/u/a."
                                  << "" << false;
    QTest::newRow("last dot wins") << "/a/b.tar.gz"
                                   << ".gz" << false;
    QTest::newRow("plus, minus, underscore") << "/x/a.c++_-1"
                                             << ".c++_-1" << false;
    QTest::newRow("newline") << "/x/a.c\nrm"
                             << "" << false;
    QTest::newRow("blank") << "/x/a.c x"
                           << "" << false;
    QTest::newRow("non-ASCII letter") << QStringLiteral("/x/a.c\u00e9") << "" << false;
    QTest::newRow("hidden file") << "/x/.bashrc"
                                 << ".bashrc" << false;
    for (const char* ext : {".ch", ".CH", ".chf", ".CHF", ".chs", ".CHS"})
        QTest::addRow("%s", ext) << QStringLiteral("/x/prog") + QLatin1String(ext) << ext << true;
    QTest::newRow(".Ch") << "/x/prog.Ch"
                         << ".Ch" << false;
}

void TestCTagsReader::suffixesAndArguments()
{
    QFETCH(QString, path);
    QFETCH(QString, suffix);
    QFETCH(bool, forced);
    QCOMPARE(CTagsOutput::suffixOf(path), suffix);
    QStringList expected = {"-f", "-", "-n", "-V", "/tmp/vexaAbC123" + suffix};
    if (forced)
        expected.prepend("--language-force=C++");
    QCOMPARE(CTagsOutput::arguments(suffix, "/tmp/vexaAbC123" + suffix), expected);
}

void TestCTagsReader::positions()
{
    // A symbol's start is the end of its line in the text.
    CTagsOutput reader(QString(), QStringLiteral("ab\ncd"));
    reader.addData("a\tt\t1;\"\tf\nb\tt\t2;\"\tf\nc\tt\t3;\"\tf\nd\tt\t0;\"\tf\n");
    std::unique_ptr<Node> root(reader.buildTree());
    QList<int> pos;
    for (const Node* n = root.get(); n; n = n->next) {
        pos << n->start;
        QCOMPARE(n->start_column, 0);
    }
    QCOMPARE(pos, (QList<int>{1, 5, 6, 1}));
}

void TestCTagsReader::piecesAndPartialLines()
{
    // Output arrives in pieces that cut lines anywhere; the last line may
    // lack its line end.
    QByteArray output(universalOutput);
    output.chop(1);
    CTagsOutput reader(QStringLiteral(".cpp"), QString());
    for (char c : output)
        reader.addData(QByteArrayView(&c, 1));
    QCOMPARE(reader.lineCount(), 15);
    reader.finish();
    QCOMPARE(reader.lineCount(), 16);
    std::unique_ptr<Node> root(reader.buildTree());
    QCOMPARE(dumpTree(root.get()), treeOf(universalOutput));
}

void TestCTagsReader::piecesMatchLineByLine_data()
{
    QTest::addColumn<int>("piece");
    for (const int piece : {1, 5, 37, 1000, 1 << 30})
        QTest::addRow("pieces of %d bytes", piece) << piece;
}

void TestCTagsReader::piecesMatchLineByLine()
{
    // Output is read in batches of lines whose lookups are fetched ahead:
    // read in any pieces, it makes the tree that reading it a line at a
    // time makes. Names come back far apart and in the same batch, with
    // scopes deeper than the look-ahead follows, kept whole, not ASCII, and
    // lines skipped among them.
    static const char* const tags[] = {"a",  "b",  "c", "A::b",        "x::::y",
                                       "::", "t:", "N", "caf\xc3\xa9", "bad\xff"};
    static const char* const scopes[] = {"",
                                         "\tclass:N",
                                         "\tclass:N::A",
                                         "\tnamespace:N::A::B::C::D::E",
                                         "\tstruct:A::",
                                         "\tclass:::",
                                         "\tenum:N::A\ttyperef:typename:int"};
    static const char* const kinds[] = {"c", "f", "m", "v", "n", "s"};
    QRandomGenerator random(7);
    QByteArray output;
    QList<QByteArray> lines;
    for (int i = 0; i < 3000; ++i) {
        QByteArray line;
        if (random.bounded(20) == 0) {
            line = "skipped\tt\t1;\"";
        } else {
            line = QByteArray(tags[random.bounded(int(std::size(tags)))]) + "\tt\t" +
                   QByteArray::number(i + 1) + ";\"\t" +
                   kinds[random.bounded(int(std::size(kinds)))] +
                   scopes[random.bounded(int(std::size(scopes)))];
        }
        lines << line;
        output += line + '\n';
    }
    CTagsOutput byLine(QStringLiteral(".cpp"), QString());
    for (const QByteArray& line : lines)
        byLine.addLine(line);
    std::unique_ptr<Node> expected(byLine.buildTree());

    QFETCH(int, piece);
    CTagsOutput reader(QStringLiteral(".cpp"), QString());
    for (qsizetype at = 0; at < output.size(); at += piece)
        reader.addData(
            QByteArrayView(output).sliced(at, qMin<qsizetype>(piece, output.size() - at)));
    reader.finish();
    QCOMPARE(reader.lineCount(), byLine.lineCount());
    std::unique_ptr<Node> root(reader.buildTree());
    bool linked = false;
    QCOMPARE(dumpTree(root.get(), &linked), dumpTree(expected.get()));
    QVERIFY(linked);
}

void TestCTagsReader::badInput()
{
    // Garbage, NUL bytes, invalid UTF-8 and odd scopes make some tree,
    // always well linked.
    const QByteArray garbage = QByteArray("\t\t\t\n\n;\"\t;\"\t;\"\t;\"\n") +
                               QByteArray("nul\0x\tt\t2;\"\tf\tclass:A\0B\n", 25) +
                               "bad\xff\xfe\tt\t3;\"\tf\tclass:\xc3\x28\n" +
                               "s\tt\t4;\"\tf\tclass:::A::::::B::\n" + "t\tt\t5;\"\tf\t::\n" +
                               "u\tt\t-3;\"\tf\tclass:-\n" + "\r\n";
    const QString tree = treeOf(garbage, QStringLiteral(".c"), QStringLiteral("a\nb"));
    QVERIFY2(!tree.startsWith(QLatin1String("(badly")), qPrintable(tree));
    QVERIFY(tree.contains(QStringLiteral("nul")));
    QVERIFY(tree.contains(QStringLiteral("bad\ufffd\ufffd 103 2")));

    // A 10 MB line: as one field it is skipped, as a name it is kept.
    const QByteArray big(10 * 1024 * 1024, 'x');
    CTagsOutput reader(QStringLiteral(".c"), QString());
    reader.addData(big);
    reader.addData("\n" + big);
    reader.addData("\tt\t1;\"\tf\n");
    std::unique_ptr<Node> root(reader.buildTree());
    QCOMPARE(root->name.size(), big.size());
    QVERIFY(!root->next);
}

void TestCTagsReader::namesShareNothingVisible()
{
    // Names are decoded into shared blocks: each still ends in a NUL, changes
    // alone and outlives the reader and the other nodes.
    std::unique_ptr<Node> root;
    {
        CTagsOutput reader(QStringLiteral(".cpp"), QString());
        reader.addData("alpha\tt\t1;\"\tf\nbeta\tt\t2;\"\tf\n");
        reader.addData("caf\xc3\xa9\tt\t3;\"\tf\ngamma\tt\t4;\"\tf\n");
        reader.finish();
        root.reset(reader.buildTree());
    }
    QStringList names;
    for (const Node* n = root.get(); n; n = n->next) {
        names << n->name;
        QCOMPARE(n->name.utf16()[n->name.size()], u'\0');
    }
    QCOMPARE(names, QStringList({"alpha", "beta", QStringLiteral("caf\u00e9"), "gamma"}));
    Node* beta = root->next;
    root->name += QStringLiteral("XYZ");
    root->name[0] = QLatin1Char('A');
    beta->name[0] = QLatin1Char('B');
    QCOMPARE(root->name, QStringLiteral("AlphaXYZ"));
    QCOMPARE(beta->name, QStringLiteral("Beta"));
    const QString gamma = beta->next->next->name;
    root.reset();
    QCOMPARE(gamma, QStringLiteral("gamma"));
}

void TestCTagsReader::deepScopes_data()
{
    // What ctags prints for `depth` namespaces nested in each other with a
    // variable inside: one line per namespace, each with the whole scope of
    // the ones around it, so the output grows with the square of the depth;
    // and one line with a scope of 60,000 parts.
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("depth");
    QTest::addColumn<QString>("innermost");
    const int depth = 1500;
    QByteArray nested;
    QByteArray scope;
    for (int i = 0; i < depth; ++i) {
        nested += "n" + QByteArray::number(i) + "\tdeep.cpp\t" + QByteArray::number(i + 1) +
                  ";\"\tn" + (i ? "\tnamespace:" + scope : QByteArray()) + "\tfile:\n";
        scope += (i ? "::n" : "n") + QByteArray::number(i);
    }
    nested += "x\tdeep.cpp\t" + QByteArray::number(depth + 1) + ";\"\tv\tnamespace:" + scope +
              "\ttyperef:typename:int\n";
    QTest::newRow("1500 nested namespaces") << nested << depth + 1 << "x 109 1500";
    QByteArray parts = "a";
    for (int i = 1; i < 60000; ++i)
        parts += "::a";
    QTest::newRow("a scope of 60,000 parts") << "f\tt\t7;\"\tf\tclass:" + parts + "\n"
                                             << 60001 << "f 103 6";
}

void TestCTagsReader::deepScopes()
{
    // Every scope prefix is looked up and kept once: the tables' work and
    // memory follow the output's size, not the sum of every prefix of every
    // scope (cubic in the depth for the nested namespaces; 4.85 GB for the
    // one long line).
    QFETCH(QByteArray, output);
    QFETCH(int, depth);
    QFETCH(QString, innermost);
    CTagsOutput reader(QStringLiteral(".cpp"), QString());
    reader.addData(output);
    reader.finish();
    std::unique_ptr<Node> root(reader.buildTree());
    QVERIFY2(reader.tableWork() <= 3 * output.size(),
             qPrintable(QStringLiteral("%1 bytes of work for %2 bytes of output")
                            .arg(reader.tableWork())
                            .arg(output.size())));
    // One chain: each level one node, the symbol at the bottom.
    int levels = 1;
    const Node* n = root.get();
    QVERIFY(!n->next);
    for (; n->child; n = n->child) {
        QVERIFY(!n->child->next);
        QCOMPARE(n->child->parent, n);
        ++levels;
    }
    QCOMPARE(levels, depth);
    QCOMPARE(QStringLiteral("%1 %2 %3").arg(n->name).arg(n->type).arg(n->start_line), innermost);
}

QTEST_GUILESS_MAIN(TestCTagsReader)
#include "tst_ctagsreader.moc"

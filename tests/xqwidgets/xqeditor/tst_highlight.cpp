#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/highlight_p.h"
#include "xqwidgets/xqeditor/highlights_emb.h"
#include "xqwidgets/xqeditor/pattern.h"
#include "xqwidgets/xqeditor/pattern_p.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textlinewrite.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace xqwidgets;

namespace
{

QTemporaryDir& scratch()
{
    static QTemporaryDir dir;
    return dir;
}

// Writes a definition to a file of its own and returns the absolute path,
// which serves as a key nobody loaded before.
QString writeFile(const QByteArray& text)
{
    static int serial = 0;
    const QString path = scratch().filePath(QStringLiteral("def%1").arg(++serial));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(text);
    return path;
}

QByteArray definition(const QString& name, const QString& items, const QString& breaks,
                      const QString& contents)
{
    return QStringLiteral("<!DOCTYPE Highlight>\n<Highlight name=\"%1\" wildcards=\"\">\n"
                          "<Items>%2</Items>\n<Break>%3</Break>\n<Contents>%4</Contents>\n"
                          "</Highlight>\n")
        .arg(name, items, breaks, contents)
        .toUtf8();
}

std::unique_ptr<TextHighlight> load(const QByteArray& text)
{
    return std::make_unique<TextHighlight>(writeFile(text), nullptr);
}

// The attributes of a coloured line as runs: Item"text", separated by blanks.
// Calls f(item, text) for each run of characters with one attribute.
template <class F> void forEachRun(const TextHighlight& hl, const TextLine& line, F f)
{
    int start = 0;
    for (int i = 1; i <= line.size(); ++i) {
        if (i < line.size() && line.attribute(uint(i)) == line.attribute(uint(start)))
            continue;
        const TextAttribute* a = hl.attribute(line.attribute(uint(start)));
        f(a ? a->itemName : QStringLiteral("?"), line.mid(start, i - start));
        start = i;
    }
}

QString runs(const TextHighlight& hl, const TextLine& line)
{
    QStringList out;
    forEachRun(hl, line, [&out](const QString& item, const QString& text) {
        out << item + QLatin1Char('"') + text + QLatin1Char('"');
    });
    return out.join(QLatin1Char(' '));
}

// The form of the reference files: <Item>text</Item> per run, with "&",
// "<" and ">" of the text written as in XML.
QString markup(const TextHighlight& hl, const TextLine& line)
{
    QString out;
    forEachRun(hl, line, [&out](const QString& item, QString text) {
        text.replace(QLatin1Char('&'), QLatin1String("&amp;"))
            .replace(QLatin1Char('<'), QLatin1String("&lt;"))
            .replace(QLatin1Char('>'), QLatin1String("&gt;"));
        out += QLatin1Char('<') + item + QLatin1Char('>') + text + QStringLiteral("</") + item +
               QLatin1Char('>');
    });
    return out;
}

// Both passes over `lines`, as the document runs them: each line starts in
// the context the previous one ended in. Returns each line in the form
// `format` gives, and the end contexts.
QStringList highlightLines(TextHighlight& hl, const QStringList& lines, QList<int>* ends = nullptr,
                           QString (*format)(const TextHighlight&, const TextLine&) = runs)
{
    QStringList result;
    int ctx = 0;
    for (const QString& text : lines) {
        TextLine line(text);
        ctx = hl.doHighlight(ctx, &line);
        line.setContext(ctx);
        hl.highlight(&line);
        if (!line.isHighlighted())
            qFatal("line not marked highlighted");
        result << format(hl, line);
        if (ends)
            ends->append(ctx);
    }
    return result;
}

int idOf(const TextHighlight& hl, const QString& context)
{
    return int(hl.contextNames().indexOf(context));
}

// What both passes make of a line: the context it ends in, then the
// attribute id of every character.
QList<int> passes(TextHighlight& hl, const QString& text, int ctx)
{
    TextLine line(text);
    QList<int> out{hl.doHighlight(ctx, &line)};
    line.setContext(out.front());
    hl.highlight(&line);
    for (int i = 0; i < line.size(); ++i)
        out << line.attribute(uint(i));
    return out;
}

// Both passes over `lines`, once with the line scans and once with every
// match looking at the rest of its line afresh; each line from every context
// of the definition and, as in a document, from where the previous one ended.
void compareWithoutScans(TextHighlight& hl, const QStringList& lines)
{
    const int contexts = int(hl.contextNames().size());
    auto all = [&](bool scans) {
        setHighlightLineScans(scans);
        QList<QList<int>> out;
        int carried = 0;
        for (const QString& text : lines) {
            for (int ctx = 0; ctx < contexts; ++ctx)
                out << passes(hl, text, ctx);
            out << passes(hl, text, carried);
            carried = out.last().front();
        }
        setHighlightLineScans(true);
        return out;
    };
    const QList<QList<int>> plain = all(false);
    const QList<QList<int>> scanned = all(true);
    QCOMPARE(scanned.size(), plain.size());
    for (int i = 0; i < plain.size(); ++i) {
        QVERIFY2(scanned.at(i) == plain.at(i),
                 qPrintable(QStringLiteral("%1 from context %2: %3")
                                .arg(hl.name())
                                .arg(i % (contexts + 1))
                                .arg(lines.at(i / (contexts + 1)).left(200))));
    }
}

// Lines of random tokens that open and close the contexts of the built-in
// definitions, with lone and paired surrogates among them.
QStringList randomLines(int count, int tokens, quint32 seed)
{
    static const QStringList pieces = {
        QStringLiteral("\""),         QStringLiteral("'"),         QStringLiteral("\\"),
        QStringLiteral("/*"),         QStringLiteral("*/"),        QStringLiteral("//"),
        QStringLiteral("#"),          QStringLiteral("<"),         QStringLiteral(">"),
        QStringLiteral("</"),         QStringLiteral("<!--"),      QStringLiteral("-->"),
        QStringLiteral("<?"),         QStringLiteral("?>"),        QStringLiteral("<%"),
        QStringLiteral("%>"),         QStringLiteral("<![CDATA["), QStringLiteral("]]>"),
        QStringLiteral("\"\"\""),     QStringLiteral("'''"),       QStringLiteral("$"),
        QStringLiteral("$$"),         QStringLiteral("$tag$"),     QStringLiteral("{"),
        QStringLiteral("}"),          QStringLiteral("("),         QStringLiteral(")"),
        QStringLiteral(";"),          QStringLiteral(" "),         QStringLiteral("  "),
        QStringLiteral("\t"),         QStringLiteral("int"),       QStringLiteral("if"),
        QStringLiteral("import"),     QStringLiteral("SELECT"),    QStringLiteral("select"),
        QStringLiteral("def"),        QStringLiteral("class"),     QStringLiteral("my"),
        QStringLiteral("begin"),      QStringLiteral("end"),       QStringLiteral("COMMENT"),
        QStringLiteral("script"),     QStringLiteral("0x1F"),      QStringLiteral("3.5e+2f"),
        QStringLiteral("017"),        QStringLiteral("42"),        QStringLiteral("->"),
        QStringLiteral("."),          QStringLiteral("="),         QStringLiteral("&amp;"),
        QStringLiteral("--"),         QStringLiteral("@"),         QStringLiteral("=begin"),
        QStringLiteral("=end"),       QStringLiteral("\\section"), QStringLiteral("%"),
        QStringLiteral("value"),      QStringLiteral("x_1"),       QStringLiteral("\u00e4\u00df"),
        QStringLiteral("\U0001F600"), QString(QChar(0xD800)),      QString(QChar(0xDC00)),
        QStringLiteral("dtml-var"),   QStringLiteral("cfset"),     QStringLiteral("\\n"),
    };
    QRandomGenerator random(seed);
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        QString line;
        const int n = int(random.bounded(tokens));
        for (int k = 0; k < n; ++k)
            line += pieces.at(int(random.bounded(int(pieces.size()))));
        lines << line;
    }
    return lines;
}

// A varied sample for every built-in definition: code, markup and queries
// that open and close their contexts, odd characters, an empty line and a
// long line, where searches of the rest of the line repeat most.
QStringList sampleLines()
{
    QStringList lines = {
        QStringLiteral("    int main(int argc, char** argv) { return 0x1Fu + 017 + 3.5e+2f; }"),
        QStringLiteral("#include <stdio.h> /* a */ // b \"c\" '\\n' '\\x41' 'a' p->q . r"),
        QStringLiteral("#define A \"x\" <y> /* z */ \"q\" /* open"),
        QStringLiteral("still */ s = \"a\\\"b\" + \"c\"; t = \"open \\"),
        QStringLiteral("def f(x): return '''doc''' + \"\"\"x\"\"\" # c"),
        QStringLiteral("import os.path; from a import b; class A(B): pass"),
        QStringLiteral(
            "<?xml version=\"1.0\"?><!-- c --><a xml:lang='en' b=\"c\">&amp;<![CDATA[x]]></a>"),
        QStringLiteral("<COMMENT >x</comment><script language=\"JavaScript\">var a = 1;</script>"),
        QStringLiteral("<div class=\"a\"><!-- open comment"),
        QStringLiteral("--> <p id='x'>t</p> <style>.a{color:#fff}</style>"),
        QStringLiteral("SELECT * FROM t WHERE a = 'x''y' -- c /* d */ AND b = \"q\";"),
        QStringLiteral("CREATE FUNCTION f() AS $body$ BEGIN RETURN 1; END $body$; $$ x $$"),
        QStringLiteral("<?php echo $a . \"$b {$c}\"; ?> <%= x %> <% if (a) { %> <cfset x = 1> #v#"),
        QStringLiteral("<dtml-var name> <!--- cf comment ---> <%-- jsp --%>"),
        QStringLiteral("my $x = @y; s/a/b/g; sub f { return \"$x\"; } # perl"),
        QStringLiteral("\\section{T} \\begin{x} % c $$ m $$ \\end{x}"),
        QStringLiteral("=begin"),
        QStringLiteral("ruby doc"),
        QStringLiteral("=end"),
        QStringLiteral("a.each { |x| puts \"#{x}\" } # ruby"),
        QStringLiteral("\u00e4\u00f6\u00fc \u00c4\u00d6 \u01c5 \ufb03 \u212a \u0663\u0664 "
                       "\t\u00a0\u2028x\u0301"),
        QStringLiteral("x = \"\U0001F600\" + '") + QChar(0xD800) + QStringLiteral("' /* ") +
            QChar(0xDC00) + QStringLiteral(" */ y->z"),
        QString(),
    };
    lines << lines.mid(0, 16).join(QLatin1Char(' ')).repeated(20);
    return lines;
}

// Characters the patterns looked at past their position during both passes
// over `text`.
quint64 searchCost(TextHighlight& hl, const QString& text)
{
    const quint64 before = patternSearchCounters().characters;
    passes(hl, text, 0);
    return patternSearchCounters().characters - before;
}

} // namespace

class TestHighlight : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noFilesWithoutResourceDir();

    void builtinLookup();
    void conformance_data();
    void conformance();

    void dialect_data();
    void dialect();
    void fastPathsAgreeWithEngine();
    void mayHold_data();
    void mayHold();
    void alikePatterns_data();
    void alikePatterns();
    void pathologicalPattern();
    void longRunsMatchWhole();
    void lineScansChangeNothing_data();
    void lineScansChangeNothing();
    void lineScansWhereStartsDiffer();
    void partialColouringMatchesFullPass_data();
    void partialColouringMatchesFullPass();
    void longLineCostIsLinear_data();
    void longLineCostIsLinear();
    void longLineEditsMatchFullPass_data();
    void longLineEditsMatchFullPass();
    void lineBudgetLeavesRestPlain();

    void itemStyles();
    void userOverrides();
    void ruleModes();
    void idsAndWalks();
    void brokenDefinitionsFallBack_data();
    void brokenDefinitionsFallBack();
    void cyclingEmptySwitches();
    void missingContexts();

    void engineEdgeCases();
    void keywordCase();
    void golden_data();
    void golden();
};

void TestHighlight::initTestCase()
{
    // What these tests compare must not depend on how busy the machine is:
    // the per-line time budget has a test of its own.
    setHighlightLineBudget(qint64(1) << 50, 0);
    QVERIFY(scratch().isValid());
    QCoreApplication::setOrganizationName(QStringLiteral("vexa-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_highlight"));
}

// Runs first, before any test loads "java": with no resource directory a
// file of that name in the current directory must not be read.
void TestHighlight::noFilesWithoutResourceDir()
{
    QTemporaryDir cwd;
    QVERIFY(cwd.isValid());
    QFile f(cwd.filePath(QStringLiteral("java")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(definition(QStringLiteral("Hijack"), QStringLiteral("<Text color=\"#000000\"/>"),
                       QStringLiteral("<normal/>"), QStringLiteral("<normal/>")));
    f.close();
    const QString old = QDir::currentPath();
    QVERIFY(QDir::setCurrent(cwd.path()));

    TextEditorManager manager;
    manager.setResourcesDir(QString());
    TextHighlight hl(QStringLiteral("java"), &manager);
    QDir::setCurrent(old);
    QCOMPARE(hl.name(), QStringLiteral("Java"));
}

void TestHighlight::builtinLookup()
{
    const QByteArray& cpp = qembed_findData("cpp");
    QVERIFY(cpp.contains("name=\"C++\""));
    // The same cached array comes back, not a new copy.
    QCOMPARE(&qembed_findData("cpp"), &cpp);
    QVERIFY(qembed_findData("nohighlight").contains("name=\"NoHighlight\""));
    for (const char* key : {"CPP", "c++", "C++", "", "cpp "})
        QVERIFY2(qembed_findData(key).isEmpty(), key);
    QVERIFY(qembed_findData(nullptr).isEmpty());
}

struct ExpectedKeywords {
    QString item, context;
    int size;
    bool caseSensitive;
    QStringList examples;
};

struct ExpectedDefinition {
    QString key, name, masks;
    QList<QStringList> items; // name, style, colour, background
    QList<QPair<QString, int>> breaks, contents;
    QList<ExpectedKeywords> keywords;
};
Q_DECLARE_METATYPE(ExpectedDefinition)

void TestHighlight::conformance_data()
{
    QTest::addColumn<ExpectedDefinition>("expected");
    QFile f(QStringLiteral(VEXA_TEST_DATA "/builtin-definitions.txt"));
    QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
    ExpectedDefinition def;
    int count = 0;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).chopped(1);
        if (line.startsWith(QLatin1Char('#')) || line.isEmpty())
            continue;
        const QStringList p = line.split(QLatin1Char('\t'));
        if (p[0] == QLatin1String("def")) {
            def = ExpectedDefinition();
            def.key = p[1];
            def.name = p[2];
            def.masks = p[3];
        } else if (p[0] == QLatin1String("item")) {
            def.items << p.mid(1);
        } else if (p[0] == QLatin1String("break")) {
            def.breaks << qMakePair(p[1], p[2].toInt());
        } else if (p[0] == QLatin1String("contents")) {
            def.contents << qMakePair(p[1], p[2].toInt());
        } else if (p[0] == QLatin1String("keywords")) {
            def.keywords << ExpectedKeywords{p[1], p[2], p[3].toInt(), p[4] == QLatin1String("cs"),
                                             p[5].split(QLatin1Char(' '))};
        } else if (p[0] == QLatin1String("end")) {
            QTest::newRow(qPrintable(def.key)) << def;
            ++count;
        }
    }
    QCOMPARE(count, 21);
}

void TestHighlight::conformance()
{
    QFETCH(ExpectedDefinition, expected);
    const QByteArray& text = qembed_findData(expected.key.toLatin1().constData());
    QVERIFY2(!text.isEmpty(), "no built-in text");
    QDomDocument doc;
    QVERIFY2(doc.setContent(text), "the built-in text does not parse");
    const QDomElement root = doc.documentElement();
    QCOMPARE(root.attribute(QStringLiteral("name")), expected.name);
    QCOMPARE(root.attribute(QStringLiteral("wildcards")), expected.masks);

    TextHighlight hl(expected.key, nullptr);
    QCOMPARE(hl.name(), expected.name); // not replaced by the fallback

    for (int id = 0; id < expected.items.size(); ++id) {
        const QStringList& item = expected.items.at(id);
        const TextAttribute* a = hl.attribute(id);
        QVERIFY2(a, qPrintable(item[0]));
        QCOMPARE(a->itemName, item[0]);
        QCOMPARE(a->color, QColor(item[2]));
        const int fontType =
            item[1] == QLatin1String("bold") ? 2 : item[1] == QLatin1String("italic");
        QCOMPARE(a->fontType, fontType);
        QCOMPARE(a->usebg, !item[3].isEmpty());
        if (a->usebg)
            QCOMPARE(a->bgcolor, QColor(item[3]));
    }
    QVERIFY(!hl.attribute(int(expected.items.size())));

    QStringList names;
    for (const auto& c : expected.contents)
        names << c.first;
    QCOMPARE(hl.contextNames(), names);
    names.clear();
    for (const auto& c : expected.breaks)
        names << c.first;
    QCOMPARE(hl.breakContextNames(), names);
    for (const auto& c : expected.contents) {
        const HighlightContext* list = hl.context(idOf(hl, c.first));
        QVERIFY(list);
        QVERIFY2(
            list->size() == c.second,
            qPrintable(QStringLiteral("Contents %1: %2 rules").arg(c.first).arg(list->size())));
    }
    for (const auto& c : expected.breaks) {
        const HighlightContext* list = hl.breakContext(idOf(hl, c.first));
        QVERIFY2(list, qPrintable(c.first));
        QVERIFY2(list->size() == c.second,
                 qPrintable(QStringLiteral("Break %1: %2 rules").arg(c.first).arg(list->size())));
    }

    // Every pattern must be one the engine understands.
    for (int id = 0; id < TextHighlight::MaxIds; ++id) {
        for (const HighlightContext* list : {hl.context(id), hl.breakContext(id)}) {
            if (!list)
                continue;
            for (const HighlightItem* item : *list)
                QVERIFY2(item->regexp.isValid(), qPrintable(item->regexp.pattern()));
        }
    }

    // Keyword lists, found by the item their rule names in the definition.
    int listed = 0;
    const QDomElement contents = root.firstChildElement(QStringLiteral("Contents"));
    for (QDomElement c = contents.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        int index = 0;
        for (QDomElement r = c.firstChildElement(); !r.isNull();
             r = r.nextSiblingElement(), ++index) {
            if (!r.hasAttribute(QStringLiteral("keyword")))
                continue;
            ++listed;
            const QString item = r.attribute(QStringLiteral("item"));
            const auto it = std::find_if(expected.keywords.cbegin(), expected.keywords.cend(),
                                         [&](const ExpectedKeywords& k) {
                                             return k.item == item && k.context == c.tagName();
                                         });
            QVERIFY2(it != expected.keywords.cend(),
                     qPrintable(item + QLatin1String(" in ") + c.tagName()));
            const auto* rule =
                dynamic_cast<const HighlightKeyword*>(hl.context(idOf(hl, c.tagName()))->at(index));
            QVERIFY(rule);
            const QString what = item + QLatin1Char('/') + c.tagName();
            QVERIFY2(rule->words.size() == it->size,
                     qPrintable(what + QStringLiteral(": %1 words").arg(rule->words.size())));
            QVERIFY2(rule->dictSize() == it->size,
                     qPrintable(what + QLatin1String(": duplicates")));
            QCOMPARE(rule->caseSensitive, it->caseSensitive);
            if (!rule->caseSensitive) {
                for (const QString& w : rule->words)
                    QVERIFY2(w == w.toLower(), qPrintable(what + QLatin1String(": ") + w));
            }
            for (const QString& w : it->examples)
                QVERIFY2(rule->words.contains(w), qPrintable(what + QLatin1String(": ") + w));
        }
    }
    QCOMPARE(listed, int(expected.keywords.size()));
}

void TestHighlight::dialect_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<bool>("minimal");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("anchored"); // length at the start, -1 for none
    QTest::addColumn<int>("at");       // first match, -1 for none
    QTest::addColumn<int>("length");

    QTest::newRow("blanks") << "\\s+" << true << false << "  \tx" << 3 << 0 << 3;
    QTest::newRow("word with umlaut")
        << "[\\w_]+" << true << false << "\u00e4bc_1 x" << 5 << 0 << 5;
    QTest::newRow("word takes marks") << "\\w+" << true << false << "e\u0301t!" << 3 << 0 << 3;
    QTest::newRow("non-ASCII digits") << "\\d+" << true << false << "\u0663\u06645a" << 3 << 0 << 3;
    QTest::newRow("non-word") << "\\W" << true << false << "\u00e4-" << -1 << 1 << 1;
    QTest::newRow("non-word in a class") << "[\\W]" << true << false << "a-" << -1 << 1 << 1;
    QTest::newRow("non-blank class") << "[^\\s]+" << true << false << " ab" << -1 << 1 << 2;
    QTest::newRow("four-digit hex") << "\\x0041+" << true << false << "AAb" << 2 << 0 << 2;
    QTest::newRow("octal") << "\\0101" << true << false << "xA" << -1 << 1 << 1;
    QTest::newRow("escaped hash") << "\\#.*" << true << false << "# c" << 3 << 0 << 3;
    QTest::newRow("escaped colon in class")
        << "[\\(\\)\\[\\]{}\\.\\:]+" << true << false << "(a" << 1 << 0 << 1;
    QTest::newRow("dollar only at the end") << "a$" << true << false << "a\n" << -1 << -1 << 0;
    QTest::newRow("dot takes a line feed") << "." << true << false << "\n" << 1 << 0 << 1;
    QTest::newRow("greedy") << "<.*>" << true << false << "<a><b>" << 6 << 0 << 6;
    QTest::newRow("minimal") << "<.*>" << true << true << "<a><b>" << 3 << 0 << 3;
    QTest::newRow("minimal in quotes") << "\".*\"" << true << true << "\"a\" \"b\"" << 3 << 0 << 3;
    QTest::newRow("alternatives all anchored") << "b|a" << true << false << "xa" << -1 << 1 << 1;
    QTest::newRow("back reference") << "(a)\\1" << true << false << "aab" << 2 << 0 << 2;
    QTest::newRow("lookahead") << "[\\w:_\\-]+\\s*(?==)" << true << false << "xml:lang =\"" << 9
                               << 0 << 9;
    QTest::newRow("no case") << "select" << false << false << "SeLeCt x" << 6 << 0 << 6;
    QTest::newRow("case") << "select" << true << false << "SELECT select" << -1 << 7 << 6;
    QTest::newRow("no case in a class") << "[a-c]+" << false << false << "AbC" << 3 << 0 << 3;
    QTest::newRow("bracket first in class") << "[]a]+" << true << false << "]a]" << 3 << 0 << 3;
    QTest::newRow("dash last in class") << "[a-]+" << true << false << "-a-" << 3 << 0 << 3;
    QTest::newRow("brace not a repeat") << "a{" << true << false << "a{" << 2 << 0 << 2;
    QTest::newRow("repeat") << "a{2,3}" << true << false << "aaaa" << 3 << 0 << 3;
    QTest::newRow("not a backslash then a quote")
        << "[^\\\\]\"" << true << false << "\\\" x\"" << -1 << 3 << 2;
    QTest::newRow("end of line") << "$" << true << false << "abc" << -1 << 3 << 0;
    QTest::newRow("word boundary") << "\\bif\\b" << true << false << "elif if" << -1 << 5 << 2;
    QTest::newRow("unbalanced") << "(a" << true << false << "a" << -1 << -1 << 0;
    QTest::newRow("nothing to repeat") << "*a" << true << false << "a" << -1 << -1 << 0;
    QTest::newRow("reversed range") << "[z-a]" << true << false << "a" << -1 << -1 << 0;
}

void TestHighlight::dialect()
{
    QFETCH(QString, pattern);
    QFETCH(bool, caseSensitive);
    QFETCH(bool, minimal);
    QFETCH(QString, text);
    QFETCH(int, anchored);
    QFETCH(int, at);
    QFETCH(int, length);
    const Pattern p(pattern, caseSensitive, minimal);
    QCOMPARE(p.matchLength(text), anchored);
    int len = -7;
    QCOMPARE(p.indexIn(text, &len), at);
    if (at >= 0)
        QCOMPARE(len, length);
}

// The direct matcher and the text shortcuts must give exactly what the
// regular expression engine gives, for every pattern of every built-in
// definition, at every position of a mixed corpus.
// Rules whose patterns match alike share one match at a place: only
// patterns that give the same answer on any text may say so.
void TestHighlight::alikePatterns_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<bool>("aCs");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("bCs");
    QTest::addColumn<bool>("alike");
    auto row = [](const char* name, const char* a, bool aCs, const char* b, bool bCs, bool alike) {
        QTest::newRow(name) << QString::fromLatin1(a) << aCs << QString::fromLatin1(b) << bCs
                            << alike;
    };
    row("class and set of it", "\\w+", true, "[\\w_]+", true, true);
    row("members in another order", "[^\"\\\\]+", true, "[^\\\\\"]+", true, true);
    row("case folding differs", "[a-z]+", true, "[a-z]+", false, false);
    row("other bound", "\\w+", true, "\\w*", true, false);
    row("other members", "[a-z]+", true, "[a-y]+", true, false);
    row("digit class beside ASCII digits", "\\d+", true, "[0-9]+", true, false);
    row("blank class beside blanks", "\\s+", true, "[ \\t]+", true, false);
    row("end of line after", "\\w+", true, "\\w+$", true, false);
    row("not a repeat", "ab", true, "ab", true, false);
}

void TestHighlight::alikePatterns()
{
    QFETCH(QString, a);
    QFETCH(bool, aCs);
    QFETCH(QString, b);
    QFETCH(bool, bCs);
    QFETCH(bool, alike);
    const Pattern p(a, aCs);
    const Pattern q(b, bCs);
    QCOMPARE(p.matchesAlike(q), alike);
    QCOMPARE(q.matchesAlike(p), alike);
    if (!alike)
        return;
    const QString text = QStringLiteral(
        "int a_b = x\\\"y\" + \u00e4\u00df \u0663\u0664\t\u00a0 Z9_ \"q\\\\\" \u212a");
    for (int from = 0; from <= text.size(); ++from) {
        const QStringView view = QStringView(text).mid(from);
        QCOMPARE(p.matchLength(view), q.matchLength(view));
    }
}

// Whether a match can hold a character (U+FFFD here, what a search decodes
// bad bytes to): classes that exclude it or take it, in either case, groups,
// and a backreference, taken to hold anything. The engine agrees on a probe
// line wherever the answer is no.
void TestHighlight::mayHold_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("cs");
    QTest::addColumn<bool>("holds");
    QTest::newRow("dot") << "a.b" << true << true;
    QTest::newRow("negated class") << "[^a-z]+" << true << true;
    QTest::newRow("not word") << "\\d\\W\\d" << true << true;
    QTest::newRow("not space") << "^\\S" << false << true;
    QTest::newRow("not digit") << "\\D" << true << true;
    QTest::newRow("the character itself") << "x\\xfffd" << true << true;
    QTest::newRow("inside a look-ahead") << "x(?=.)" << true << true;
    QTest::newRow("backreference") << "(a)\\1" << true << true;
    QTest::newRow("digits and dots") << "[0-9]+\\.[0-9]+\\.[0-9]+" << true << false;
    QTest::newRow("word and space") << "\\bx\\w+\\s" << false << false;
    QTest::newRow("alternatives in a group") << "a|(b|[c-e])*z" << false << false;
    QTest::newRow("letters beyond ASCII") << "[\u00e0-\u00ff]+" << false << false;
}

void TestHighlight::mayHold()
{
    QFETCH(QString, pattern);
    QFETCH(bool, cs);
    QFETCH(bool, holds);
    QCOMPARE(Pattern::mayHold(pattern, 0xFFFD, cs), holds);
    if (holds)
        return;
    const QRegularExpression re(Pattern::translate(pattern),
                                cs ? QRegularExpression::UseUnicodePropertiesOption
                                   : QRegularExpression::UseUnicodePropertiesOption |
                                         QRegularExpression::CaseInsensitiveOption);
    QVERIFY(re.isValid());
    const QString probe =
        QStringLiteral("\uFFFD a\uFFFDb 1.\uFFFD2.3 x\uFFFD \u00e0\uFFFD\u00ff bz \uFFFDz");
    for (QRegularExpressionMatchIterator it = re.globalMatch(probe); it.hasNext();)
        QVERIFY(!it.next().captured().contains(QChar::ReplacementCharacter));
}

void TestHighlight::fastPathsAgreeWithEngine()
{
    struct Spec {
        QString pattern;
        bool cs, minimal;
    };
    QList<Spec> specs;
    QSet<QString> seen;
    for (const char* const* key = embed_keys; *key; ++key) {
        QDomDocument doc;
        if (!doc.setContent(qembed_findData(*key)))
            continue; // the conformance test reports it
        const QDomNodeList rules = doc.elementsByTagName(QStringLiteral("citem"));
        for (int i = 0; i < rules.size(); ++i) {
            const QDomElement r = rules.at(i).toElement();
            const QString mode = r.attribute(QStringLiteral("mode"));
            const Spec s{r.attribute(QStringLiteral("regexp")),
                         !mode.contains(QLatin1String("noCaseSensitive")),
                         mode.contains(QLatin1String("minimal"))};
            const QString id = s.pattern + QLatin1Char(char('0' + s.cs + 2 * s.minimal));
            if (!seen.contains(id)) {
                seen.insert(id);
                specs << s;
            }
        }
    }
    QVERIFY(specs.size() > 50);
    // Groups and look-aheads the direct matcher takes, where trying the
    // alternatives in order and giving back repeated characters matter; in
    // either case and in minimal mode.
    const char* const grouped[] = {"(a|ab)c",  "(ab|a)(?=b)",         "(?!ab)\\w+",
                                   "x(?=y|z)", "(->|\\.)\\s*(?=\\w)", "\\w+(?!\\w)",
                                   "(|a)b",    "(ab|a)b*(?=c)",       "'(\\\\|[^\\\\])'"};
    QStringList direct;
    for (const char* g : grouped) {
        direct << QString::fromLatin1(g);
        for (bool cs : {true, false})
            specs << Spec{QString::fromLatin1(g), cs, !cs};
    }
    const QStringList corpus = {
        QStringLiteral("aab abc abbc aBc xy xZ x ->w -> v . u.t abbbc '\\' 'q' \u00e4b"),
        QStringLiteral("    int main(int argc, char** argv) { return 0x1Fu + 017 + 3.5e+2f; }"),
        QStringLiteral("#include <stdio.h> /* a */ // b \"c\" '\\n' '\\x41' 'a' p->q . r"),
        QStringLiteral("  \"str\\\"ing\" \\"),
        QStringLiteral("def f(x): return '''doc''' + \"\"\"x\"\"\" # c"),
        QStringLiteral(
            "<?xml version=\"1.0\"?><!-- c --><a xml:lang='en' b=\"c\">&amp;<![CDATA[x]]></a>"),
        QStringLiteral("<COMMENT >x</comment><script language=\"JavaScript\">var a = 1;</script>"),
        QStringLiteral("SELECT * FROM t WHERE a = 'x''y' -- c /* d */ AND b = \"q\";"),
        QStringLiteral("<?php echo $a . \"$b {$c}\"; ?> <%= x %> <% if (a) { %> <cfset x = 1> #v#"),
        QStringLiteral("my $x = @y; s/a/b/g; \\section{T} \\begin{x} % c $$ m $$"),
        QStringLiteral("\u00e4\u00f6\u00fc \u00c4\u00d6 \u01c5 \ufb03 \u212a \u0663\u0664 "
                       "\t\u00a0\u2028x\u0301"),
        QStringLiteral("=begin\n=end \u00df \u0130 i I \u017f s"),
        QString(),
    };
    int checked = 0;
    int requiredChecked = 0;
    for (const Spec& s : specs) {
        const Pattern p(s.pattern, s.cs, s.minimal);
        QRegularExpression::PatternOptions o = QRegularExpression::UseUnicodePropertiesOption |
                                               QRegularExpression::DotMatchesEverythingOption;
        if (!s.cs)
            o |= QRegularExpression::CaseInsensitiveOption;
        if (s.minimal)
            o |= QRegularExpression::InvertedGreedinessOption;
        const QRegularExpression re(Pattern::translate(s.pattern), o);
        QVERIFY2(re.isValid() == p.isValid(), qPrintable(s.pattern));
        if (!re.isValid())
            continue;
        // A search may look for the required text first: every match holds it.
        const QString required = Pattern::requiredText(s.pattern);
        const Qt::CaseSensitivity cs = s.cs ? Qt::CaseSensitive : Qt::CaseInsensitive;
        for (const QString& line : corpus) {
            for (int from = 0; from <= line.size(); ++from) {
                const QStringView view = QStringView(line).mid(from);
                const QRegularExpressionMatch a =
                    re.match(view, 0, QRegularExpression::NormalMatch,
                             QRegularExpression::AnchorAtOffsetMatchOption);
                const int want = a.hasMatch() ? int(a.capturedLength()) : -1;
                const QString where = s.pattern + QLatin1String(" at ") + view.toString();
                QVERIFY2(p.matchLength(view) == want, qPrintable(where));
                const QRegularExpressionMatch m = re.match(view);
                int len = 0;
                const int at = p.indexIn(view, &len);
                QVERIFY2(at == (m.hasMatch() ? m.capturedStart() : -1), qPrintable(where));
                if (at >= 0)
                    QVERIFY2(len == m.capturedLength(), qPrintable(where));
                if (m.hasMatch() && !required.isEmpty()) {
                    QVERIFY2(m.captured().contains(required, cs), qPrintable(where));
                    ++requiredChecked;
                }
                ++checked;
            }
        }
    }
    QVERIFY(checked > 1000);
    QVERIFY(requiredChecked > 10);
    // They take no call of the engine.
    const quint64 calls = patternEngineCalls();
    for (const QString& g : std::as_const(direct)) {
        const Pattern p(g);
        int len = 0;
        for (const QString& line : corpus) {
            p.matchLength(line);
            p.indexIn(line, &len);
        }
    }
    QCOMPARE(patternEngineCalls(), calls);
}

void TestHighlight::pathologicalPattern()
{
    // Exponential backtracking: without a limit each attempt would take
    // far longer than any test run.
    const QString subject = QString(40, u'a') + QLatin1Char('!');
    const Pattern p(QStringLiteral("(\\w+\\s?)*$"));
    QVERIFY(p.isValid());
    QCOMPARE(p.matchLength(subject), -1);
    int len = 0;
    QCOMPARE(p.indexIn(subject, &len), -1);

    // In a definition the rule simply never matches; the line is still coloured.
    auto hl = load(definition(
        QStringLiteral("Slow"),
        QStringLiteral("<Text color=\"#000000\"/><Bad color=\"#ff0000\"/><W color=\"#000000\"/>"),
        QStringLiteral("<normal><r regexp=\"(a|aa)+(a|aa)+$\" mode=\"until\"/></normal>"),
        QStringLiteral("<normal><r item=\"Bad\" regexp=\"(\\w+\\s?)*$\"/>"
                       "<r item=\"W\" regexp=\"\\w\"/></normal>")));
    TextLine line(QString(30, u'a') + QLatin1Char('!'));
    QCOMPARE(hl->doHighlight(0, &line), 0);
    hl->highlight(&line);
    QCOMPARE(runs(*hl, line),
             QString(QLatin1String("W\"") + QString(30, u'a') + QLatin1String("\" Text\"!\"")));
}

// A script comment that runs to the end of a one-line HTML page of 117k
// characters: the engine matches the repeated group over the whole rest, on
// its own and within a pass's line scan (a flat limit of work gave up on it,
// so the comment stayed uncoloured), and the HTML definition colours it to
// the end.
void TestHighlight::longRunsMatchWhole()
{
    QString page = QStringLiteral("<p>x</p><script>var a = 1; // ");
    const qsizetype comment = page.size() - 3;
    while (page.size() < 117000)
        page += QStringLiteral("var a = f(x) + 'y'; ");
    const Pattern p(QStringLiteral("//(?:(?!</script).)*"), false);
    const QStringView tail = QStringView(page).mid(comment);
    QCOMPARE(p.matchLength(tail), int(tail.size()));
    const Pattern::LineScan scan(page.constData(), int(page.size()));
    QCOMPARE(p.matchLength(tail, &scan), int(tail.size()));

    TextHighlight hl(QStringLiteral("html"), nullptr);
    TextLine line(page);
    line.setContext(hl.doHighlight(0, &line));
    hl.highlight(&line);
    const uint memo = line.attribute(uint(comment));
    QCOMPARE(hl.attribute(int(memo))->itemName, QStringLiteral("jsMemo"));
    QCOMPARE(line.attribute(uint(page.size() - 1)), memo);
}

void TestHighlight::lineScansChangeNothing_data()
{
    QTest::addColumn<QString>("key");
    for (const char* const* key = embed_keys; *key; ++key)
        QTest::newRow(*key) << QString::fromLatin1(*key);
}

// The scans of a pass are an optimisation only: every built-in definition
// colours a varied sample and random lines exactly as without them.
void TestHighlight::lineScansChangeNothing()
{
    QFETCH(QString, key);
    TextHighlight hl(key, nullptr);
    QStringList lines = sampleLines();
    lines += randomLines(150, 40, qHash(key));
    compareWithoutScans(hl, lines);
}

// Rules whose search depends on where it starts ("^", word boundaries), a
// rule that needs the regular expression engine, a miss caused by the
// engine's backtracking limit that a later start does not meet, a required
// text looked for by an anchored rule, and lone surrogates that make the
// engine refuse the rest of the line.
void TestHighlight::lineScansWhereStartsDiffer()
{
    auto hl = load(definition(
        QStringLiteral("Starts"),
        QStringLiteral("<Text color=\"#000000\"/><A color=\"#ff0000\"/><B color=\"#00ff00\"/>"
                       "<C color=\"#0000ff\"/><D color=\"#00ffff\"/><E color=\"#ff00ff\"/>"
                       "<F color=\"#ffff00\"/><G color=\"#808080\"/>"),
        QStringLiteral("<normal><r regexp=\"(?:a+)+c\" mode=\"until\" lineEndContent=\"two\"/>"
                       "<r regexp=\"\\w\"/></normal>"
                       "<two><r regexp=\"\\bend\" mode=\"until\" lineEndContent=\"normal\"/>"
                       "<r regexp=\".\"/></two>"),
        QStringLiteral(
            "<normal><r item=\"A\" regexp=\"^x\" mode=\"until\"/>"
            "<r item=\"B\" regexp=\"\\bif\\b\" mode=\"until, exclude\"/>"
            "<r item=\"C\" regexp=\"\\Bq\" mode=\"until\"/>"
            "<r item=\"D\" regexp=\"(?:a+)+c\" mode=\"until\"/>"
            "<r item=\"E\" regexp=\"(o|p)\\1+z\"/>"
            "<r item=\"F\" regexp=\"(?:ko|ok)(?=\\w)\"/>"
            "<r item=\"G\" regexp=\"\\w\"/></normal>"
            "<two><r item=\"A\" regexp=\"end\" mode=\"until\" lineEndContent=\"normal\"/>"
            "</two>")));
    QStringList lines = {
        QStringLiteral("xx x if iff if qq q aq"),
        QStringLiteral("ifx if  ooz ppz opz ooo z okay ko! xend end"),
        // 24 a's cost a start more than the engine allows: the search from
        // the beginning fails, one from past them finds "aac".
        QString(24, u'a') + QStringLiteral("! zz aac if end ooz"),
        QStringLiteral("ok") + QChar(0xD800) + QStringLiteral(" if ooz aac ok!") + QChar(0xDC00) +
            QStringLiteral("okx"),
        QString(QChar(0xDC00)) + QStringLiteral("okx \U0001F600 okx"),
    };
    lines += randomLines(100, 30, 7);
    compareWithoutScans(*hl, lines);

    // The limit case as it comes out: the rule misses while too many a's lie
    // ahead, and covers up to "aac" once fewer do; a miss remembered from
    // the start of the line would never let it match.
    TextLine line(QString(24, u'a') + QStringLiteral("!zaac"));
    hl->doHighlight(0, &line);
    hl->highlight(&line);
    QCOMPARE(runs(*hl, line),
             QStringLiteral("G\"%1\" D\"%2!zaac\"").arg(QString(8, u'a'), QString(16, u'a')));
}

void TestHighlight::partialColouringMatchesFullPass_data()
{
    lineScansChangeNothing_data();
}

// Painting colours a long line only as far as it shows and goes on later
// from where it stopped: for every built-in definition, every start context
// and stops at random columns, the characters before each stop, and in the
// end the whole line, get exactly the attributes of one full pass.
void TestHighlight::partialColouringMatchesFullPass()
{
    QFETCH(QString, key);
    TextHighlight hl(key, nullptr);
    QStringList lines = sampleLines();
    lines += randomLines(60, 40, qHash(key) + 1);
    const int contexts = int(hl.contextNames().size());
    QRandomGenerator random(qHash(key));
    int stops = 0;
    for (const QString& text : std::as_const(lines)) {
        for (int ctx = 0; ctx < contexts; ++ctx) {
            TextLine full(text);
            hl.doHighlight(ctx, &full);
            hl.highlight(&full);
            TextLine part(text);
            hl.doHighlight(ctx, &part);
            const int len = int(text.size());
            const int step = 1 + int(random.bounded(len / 4 + 8));
            for (int upTo = int(random.bounded(4)); !part.isHighlighted(); upTo += step) {
                hl.highlight(&part, upTo);
                const int done = part.highlightedTo();
                QVERIFY(part.isHighlighted() || (done >= upTo && done < len));
                for (int i = 0; i < done; ++i) {
                    if (part.attribute(uint(i)) != full.attribute(uint(i)))
                        QFAIL(qPrintable(QStringLiteral("%1 from context %2, column %3 of: %4")
                                             .arg(key)
                                             .arg(ctx)
                                             .arg(i)
                                             .arg(text.left(200))));
                }
                ++stops;
            }
            QCOMPARE(part.highlightedTo(), len);
        }
    }
    QVERIFY(stops > lines.size() * contexts);
}

void TestHighlight::longLineEditsMatchFullPass_data()
{
    lineScansChangeNothing_data();
}

// A long line keeps the states of both passes along it, and after an edit
// the passes take from them what the edit left standing. For every built-in
// definition, on the sample texts run together and on generated minified
// code (strings, numbers, brackets, operators, no comment), random edits at
// random columns, each followed by the context pass and by colouring up to
// a random column or to the end, give exactly what one full pass over the
// text gives.
void TestHighlight::longLineEditsMatchFullPass()
{
    QFETCH(QString, key);
    TextHighlight hl(key, nullptr);
    QRandomGenerator random(qHash(key) + 29);
    static const QStringList tokens = {
        QStringLiteral("{\"id\":"),
        QStringLiteral("12345"),
        QStringLiteral(",\"url\":\"https://a.b/c?d=1\""),
        QStringLiteral("["),
        QStringLiteral("]"),
        QStringLiteral("("),
        QStringLiteral(")"),
        QStringLiteral("+"),
        QStringLiteral("-"),
        QStringLiteral("*"),
        QStringLiteral("=="),
        QStringLiteral("3.25e-1"),
        QStringLiteral("'x'"),
        QStringLiteral("\"s\\\"t\""),
        QStringLiteral("true"),
        QStringLiteral("if"),
        QStringLiteral(" "),
        QStringLiteral("name"),
        QStringLiteral("},"),
        QStringLiteral(";"),
        QStringLiteral("<"),
        QStringLiteral(">"),
    };
    auto minified = [&](int length) {
        QString out;
        while (out.size() < length)
            out += tokens.at(int(random.bounded(int(tokens.size()))));
        return out;
    };
    QString samples = sampleLines().join(QLatin1Char(' '));
    while (samples.size() < 20000)
        samples += QLatin1Char(' ') + samples;
    const QStringList texts = {samples, minified(30000)};
    QStringList edits = sampleLines() + tokens;
    edits += QStringLiteral("/*");
    edits += QStringLiteral("\"");
    int reused = 0;
    for (const QString& start : texts) {
        TextLine line(start);
        line.setContext(hl.doHighlight(0, &line));
        hl.highlight(&line);
        for (int step = 0; step < 40; ++step) {
            const int len = int(line.size());
            // Mostly near the end, where a pass from the start costs most.
            const int column = step % 3 ? len - int(random.bounded(qMin(len, 3000) + 1))
                                        : int(random.bounded(len + 1));
            if (random.bounded(3) == 0 && column < len)
                TextLineWrite::remove(line, column,
                                      1 + int(random.bounded(qMin(len - column, 40))));
            else
                TextLineWrite::insert(line, column,
                                      edits.at(int(random.bounded(int(edits.size())))));
            const int end = hl.doHighlight(0, &line);
            if (line.highlightedTo() > 0)
                ++reused;
            const int upTo = random.bounded(2) ? -1 : int(random.bounded(int(line.size()) + 1));
            hl.highlight(&line, upTo);

            TextLine full{QString(line)};
            QCOMPARE(end, hl.doHighlight(0, &full));
            hl.highlight(&full);
            const int done = line.highlightedTo();
            QVERIFY(done >= qMin(upTo < 0 ? len : upTo, int(line.size())) || line.isHighlighted());
            for (int i = 0; i < done; ++i) {
                if (line.attribute(uint(i)) != full.attribute(uint(i)))
                    QFAIL(qPrintable(QStringLiteral("%1, edit %2 at column %3: column %4 has %5, "
                                                    "a full pass gives %6")
                                         .arg(key)
                                         .arg(step)
                                         .arg(column)
                                         .arg(i)
                                         .arg(line.attribute(uint(i)))
                                         .arg(full.attribute(uint(i)))));
            }
        }
    }
    // Edits on code in the C family are not coloured from the start of the
    // line (rules that leave their matching to the regular expression
    // engine count as looking at the whole rest of the line).
    if (key == QLatin1String("cpp") || key == QLatin1String("java"))
        QVERIFY2(reused > 20, qPrintable(QString::number(reused)));
}

// A definition that would stall typing, put in place of a built-in one
// through the resource folder: a pattern that backtracks without end, and
// thousands of rules in one context. A run stops at the line's time budget
// and the next goes on from there; once the runs over the line have taken
// the time it is allowed, the rest of the line is left plain (attribute 0),
// both passes end, and the next line has a budget of its own.
void TestHighlight::lineBudgetLeavesRestPlain()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TextEditorManager manager;
    manager.setResourcesDir(dir.path());
    QString many;
    for (int i = 0; i < 5000; ++i)
        many += QStringLiteral("<r item=\"Bad\" regexp=\"k%1q\"/>").arg(i);
    const struct {
        const char* name;
        QString rules;
        QString line;
    } cases[] = {
        {"backtracking", QStringLiteral("<r item=\"Bad\" regexp=\"(a+)+$\"/>"),
         QString(10000, u'a') + QLatin1Char('!')},
        // Long enough to be given up: a shorter line is only ever cut.
        {"5000 rules", many, QString(9000, u'a')},
    };
    for (const auto& c : cases) {
        QFile f(dir.filePath(QStringLiteral("cpp")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(definition(
            QStringLiteral("C++"),
            QStringLiteral("<Text color=\"#000000\"/><Bad color=\"#ff0000\"/>"
                           "<W color=\"#0000ff\"/>"),
            QStringLiteral("<normal>%1<r regexp=\"\\w\" lineEndContent=\"normal\"/>"
                           "</normal>")
                .arg(c.rules),
            QStringLiteral("<normal>%1<r item=\"W\" regexp=\"\\w\"/></normal>").arg(c.rules)));
        f.close();
        forgetHighlightDefinition(QStringLiteral("cpp"));
        TextHighlight hl(QStringLiteral("cpp"), &manager);
        QCOMPARE(hl.attribute(2)->itemName, QStringLiteral("W"));
        // Given up as soon as the first run's time is spent.
        setHighlightLineBudget(2'000'000, 0, 2'000'000);
        for (int n = 0; n < 2; ++n) {
            TextLine line(c.line);
            // A run stops when its time is spent and the next goes on from
            // there, until the runs together have taken the time allowed to
            // the line: then the rest of it is given up.
            int end = -1;
            for (int runs = 0; end < 0 && runs < 100000; ++runs)
                end = hl.doHighlight(0, &line);
            QCOMPARE(end, 0);
            for (int runs = 0; !line.isHighlighted() && runs < 100000; ++runs)
                hl.highlight(&line);
            QVERIFY2(line.isHighlighted(), c.name);
            // The start of each line is coloured by the rules, the end is plain.
            QVERIFY2(line.attribute(0) == 2, c.name);
            QVERIFY2(line.attribute(uint(c.line.size() - 2)) == 0, c.name);
        }
        setHighlightLineBudget(qint64(1) << 50, 0);
    }
    // The next definition of that key is the built-in one again.
    QFile::remove(dir.filePath(QStringLiteral("cpp")));
    forgetHighlightDefinition(QStringLiteral("cpp"));
}

void TestHighlight::longLineCostIsLinear_data()
{
    QTest::addColumn<QString>("key");
    for (const char* const* key = embed_keys; *key; ++key)
        QTest::newRow(*key) << QString::fromLatin1(*key);
}

// Minified code: one line of many statements. What the patterns look at past
// their position grows in proportion to the line, not with its square, in
// both passes of every built-in definition (the measure is the patterns' own
// count of characters searched, not time).
void TestHighlight::longLineCostIsLinear()
{
    QFETCH(QString, key);
    TextHighlight hl(key, nullptr);
    // Statements, markup and scripts as minifiers leave them.
    const QStringList units = {
        QStringLiteral("int value = buffer->count + 0x1f; if (a < 3 && !m_b.isEmpty()) { c++; } "
                       "qWarning(\"a: bad \\\"b\\\" at %d\\n\", c); const char sep = '\\t', "
                       "quote = '\"'; /* a */ b(c, \"a\", 42); for (int i = 0; i < a.size(); ++i) "
                       "{ b += c[i] * 3.5e+2f; } return a ? b.c() : nullptr; "),
        QStringLiteral("<div class=\"a\" id='b'><span>a &amp; b</span></div><script>var a=\"b\";"
                       "function f(x){return x*2+1;}/* c */</script><!-- a --><a "
                       "href=\"/a/b.html\">b</a><?php echo $a . \"b\"; ?><input type=\"text\" "
                       "value=\"a\"/><br/><style>.a{color:#fff;}</style>"),
        QStringLiteral("$a = \"b\" . 'a'; a = [b, \"x\", 'y', 3.14]; SELECT a, 'b' FROM t WHERE "
                       "x = 1; my @a = (b => \"a\"); def a(self): return \"b\" a.each { |x| puts "
                       "\"#{x}\" } "),
    };
    for (const QString& unit : units) {
        const QString small = unit.repeated(25);
        const QString large = unit.repeated(200);
        const quint64 costSmall = searchCost(hl, small);
        const quint64 costLarge = searchCost(hl, large);
        // Eight times the text: within eight times the cost, plus a few
        // searches to the end of the line.
        QVERIFY2(costLarge <= 8 * costSmall + 4 * quint64(large.size()),
                 qPrintable(QStringLiteral("%1 characters searched on %2, %3 on %4: %5")
                                .arg(costSmall)
                                .arg(small.size())
                                .arg(costLarge)
                                .arg(large.size())
                                .arg(unit.left(40))));
    }

    if (key == QLatin1String("cpp")) {
        // The measure does see the square when every search starts afresh,
        // so the bound above means something.
        setHighlightLineScans(false);
        const quint64 plainSmall = searchCost(hl, units.first().repeated(25));
        const quint64 plainLarge = searchCost(hl, units.first().repeated(200));
        setHighlightLineScans(true);
        QVERIFY2(plainLarge > 30 * plainSmall,
                 qPrintable(QStringLiteral("%1 -> %2").arg(plainSmall).arg(plainLarge)));
    }
}

void TestHighlight::itemStyles()
{
    auto hl = load(definition(QStringLiteral("Styles"),
                              QStringLiteral("<A style=\"bu\" color=\"#102030\"/>"
                                             "<B style=\"ib\" color=\"red\" bgcolor=\"#eeeeee\"/>"
                                             "<C style=\"u\" bgcolor=\"\"/><D/>"),
                              QStringLiteral("<normal/>"), QStringLiteral("<normal/>")));
    QCOMPARE(hl->name(), QStringLiteral("Styles"));
    QCOMPARE(hl->attribute(0)->fontType, 2);
    QCOMPARE(hl->attribute(0)->color, QColor(0x10, 0x20, 0x30));
    QVERIFY(!hl->attribute(0)->usebg);
    QCOMPARE(hl->attribute(1)->fontType, 3);
    QCOMPARE(hl->attribute(1)->color, QColor(Qt::red));
    QVERIFY(hl->attribute(1)->usebg);
    QCOMPARE(hl->attribute(1)->bgcolor, QColor(0xee, 0xee, 0xee));
    QCOMPARE(hl->attribute(2)->fontType, 0);
    QVERIFY(!hl->attribute(2)->usebg);
    QVERIFY(!hl->attribute(3)->color.isValid());
    QCOMPARE(hl->attribute(3)->itemName, QStringLiteral("D"));
    QVERIFY(!hl->attribute(4));
    QVERIFY(!hl->attribute(-1));
    QVERIFY(!hl->attribute(256));
}

void TestHighlight::userOverrides()
{
    {
        QSettings s;
        s.setValue(QStringLiteral("/xqeditor/hl/Over/Key/style"), QString());
        s.setValue(QStringLiteral("/xqeditor/hl/Over/Key/bgcolor"), QString());
        s.setValue(QStringLiteral("/xqeditor/hl/Over/Other/color"), QStringLiteral("#00ff00"));
        s.setValue(QStringLiteral("/xqeditor/hl/Over/Other/style"), QStringLiteral("i"));
    }
    const QByteArray text = definition(
        QStringLiteral("Over"),
        QStringLiteral("<Key style=\"b\" color=\"#000000\" bgcolor=\"#ffffff\"/>"
                       "<Other color=\"#0000ff\"/><Untouched style=\"b\" color=\"#123456\"/>"),
        QStringLiteral("<normal/>"), QStringLiteral("<normal/>"));
    auto hl = load(text);
    QCOMPARE(hl->attribute(0)->fontType, 0); // a stored empty style wins
    QVERIFY(!hl->attribute(0)->usebg);       // a stored empty background removes it
    QCOMPARE(hl->attribute(1)->color, QColor(0, 255, 0));
    QCOMPARE(hl->attribute(1)->fontType, 1);
    QCOMPARE(hl->attribute(2)->fontType, 2);
    QCOMPARE(hl->attribute(2)->color, QColor(0x12, 0x34, 0x56));

    // The host's own settings object is read when it gave the manager one.
    QSettings own(scratch().filePath(QStringLiteral("own.ini")), QSettings::IniFormat);
    own.setValue(QStringLiteral("/xqeditor/hl/Over/Untouched/color"), QStringLiteral("#654321"));
    TextEditorManager manager;
    manager.setGlobalConfig(&own);
    TextHighlight again(writeFile(text), &manager);
    QCOMPARE(again.attribute(2)->color, QColor(0x65, 0x43, 0x21));
    QCOMPARE(again.attribute(0)->fontType, 2); // the default settings are not read then
}

void TestHighlight::ruleModes()
{
    auto hl = load(definition(
        QStringLiteral("Modes"), QStringLiteral("<Text color=\"#000000\"/><K color=\"#000000\"/>"),
        QStringLiteral("<normal/>"),
        QStringLiteral("<normal>"
                       "<r item=\"K\" regexp=\"x\" mode=\"until\"/>"
                       "<r item=\"K\" regexp=\"x\" mode=\"until, include\"/>"
                       "<r item=\"K\" regexp=\"x\" mode=\"until, exclude\"/>"
                       "<r item=\"K\" regexp=\"x\" mode=\"exclude\"/>"
                       "<r item=\"K\" regexp=\"x\" mode=\"until, allowfull\"/>"
                       "<r item=\"K\" regexp=\"f\" mode=\"until\" keyword=\"i\"/>"
                       "<r item=\"K\" regexp=\"\\w+\" keyword=\"if\" caseSensitive=\"False\"/>"
                       "<r item=\"K\" regexp=\"\\w+\" keyword=\"if\" caseSensitive=\"false\"/>"
                       "<r item=\"Nope\" regexp=\"a\"/>"
                       "<r item=\"K\" regexp=\"A\" mode=\"noCaseSensitive\"/>"
                       "<r item=\"K\" regexp=\"a.*b\" mode=\"minimal\"/>"
                       "</normal>")));
    const HighlightContext& c = *hl->context(0);
    QCOMPARE(c.size(), 11);
    const QString s = QStringLiteral("abxcx");
    auto find = [&](int i, const QString& text) {
        return c.at(i)->find(text.constData(), int(text.size()));
    };
    QCOMPARE(find(0, s), 3); // "until" includes the end match
    QCOMPARE(find(1, s), 3);
    QCOMPARE(find(2, s), 2);  // "exclude" stops before it
    QCOMPARE(find(3, s), -1); // without "until" the pattern is anchored
    QCOMPARE(find(3, QStringLiteral("xa")), 1);
    QCOMPARE(find(0, QStringLiteral("abc")), -1);
    QCOMPARE(find(4, QStringLiteral("abc")), 3); // "allowfull" covers the rest
    QCOMPARE(find(2, QStringLiteral("xab")), 0); // end match at once, excluded: no match
    QVERIFY(dynamic_cast<HighlightKeyword*>(c.at(5)));
    QCOMPARE(find(5, QStringLiteral("if")), 1); // a keyword rule in until mode is not anchored
    QVERIFY(static_cast<HighlightKeyword*>(c.at(6))->caseSensitive);
    QCOMPARE(find(6, QStringLiteral("IF")), -1);
    QVERIFY(!static_cast<HighlightKeyword*>(c.at(7))->caseSensitive);
    QCOMPARE(find(7, QStringLiteral("IF")), 2);
    QCOMPARE(c.at(8)->attr, 0); // an unknown item paints as attribute 0
    QCOMPARE(c.at(9)->attr, 1);
    QCOMPARE(find(9, QStringLiteral("a")), 1);
    QCOMPARE(find(10, QStringLiteral("aabab")), 3);
}

void TestHighlight::idsAndWalks()
{
    // A comment ends the item list; Break lists its contexts in another
    // order; names the section lacks and empty names switch to context 0.
    auto hl = load(definition(
        QStringLiteral("Ids"),
        QStringLiteral(
            "<Text color=\"#000000\"/><A color=\"#000000\"/><!-- stop --><B color=\"#000000\"/>"),
        QStringLiteral(
            "<two><r regexp=\"2\" lineEndContent=\"one\"/></two>"
            "<one><r regexp=\"1\" lineEndContent=\"two\"/>"
            "<r regexp=\"x\" lineEndContent=\"\"/><r regexp=\"y\" lineEndContent=\"zzz\"/></one>"),
        QStringLiteral(
            "<one><r item=\"B\" regexp=\"b\"/><r item=\"A\" regexp=\"a\"/></one><two/>")));
    QVERIFY(hl->attribute(1));
    QVERIFY(!hl->attribute(2));
    QCOMPARE(hl->context(0)->at(0)->attr, 0);
    QCOMPARE(hl->context(0)->at(1)->attr, 1);
    QCOMPARE(hl->breakContext(0)->size(), 3); // "one" has id 0 in both tables
    QCOMPARE(hl->breakContext(1)->size(), 1);
    QCOMPARE(hl->breakContext(0)->at(0)->ctx, 1);
    QCOMPARE(hl->breakContext(0)->at(1)->ctx, 0);
    QCOMPARE(hl->breakContext(0)->at(2)->ctx, 0);
    QCOMPARE(hl->breakContext(0)->at(0)->empty, -1);
    TextLine line(QStringLiteral("1"));
    QCOMPARE(hl->doHighlight(0, &line), 1);
    TextLineWrite::set(line, QStringLiteral("2"));
    QCOMPARE(hl->doHighlight(1, &line), 0);
}

void TestHighlight::brokenDefinitionsFallBack_data()
{
    QTest::addColumn<QByteArray>("text");
    const QString item = QStringLiteral("<Text color=\"#000000\"/>");
    const QString ctx = QStringLiteral("<normal><r regexp=\"a\"/></normal>");
    QString manyItems, manyContexts;
    for (int i = 0; i < 257; ++i) {
        manyItems += QStringLiteral("<I%1 color=\"#000000\"/>").arg(i);
        manyContexts += QStringLiteral("<c%1><r regexp=\"a\" lineEndContent=\"c%2\"/></c%1>")
                            .arg(i)
                            .arg(256 - i);
    }
    QTest::newRow("not XML") << QByteArray("<Highlight name=\"Broken\"><Items>");
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe<", 4);
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("no Items") << QByteArray("<Highlight name=\"B\"><Break>" + ctx.toUtf8() +
                                            "</Break><Contents>" + ctx.toUtf8() +
                                            "</Contents></Highlight>");
    QTest::newRow("no Break") << QByteArray("<Highlight name=\"B\"><Items>" + item.toUtf8() +
                                            "</Items><Contents>" + ctx.toUtf8() +
                                            "</Contents></Highlight>");
    QTest::newRow("empty Contents") << definition(QStringLiteral("B"), item, ctx, QString());
    QTest::newRow("257 items") << definition(QStringLiteral("B"), manyItems, ctx, ctx);
    QTest::newRow("257 contexts") << definition(QStringLiteral("B"), item, manyContexts,
                                                manyContexts);
    QTest::newRow("first context not in Break")
        << definition(QStringLiteral("B"), item, QStringLiteral("<other/>"), ctx);
}

void TestHighlight::brokenDefinitionsFallBack()
{
    QFETCH(QByteArray, text);
    auto hl = load(text);
    QCOMPARE(hl->name(), QStringLiteral("NoHighlight"));
    TextLine line(QStringLiteral("some text"));
    QCOMPARE(hl->doHighlight(0, &line), 0);
    hl->highlight(&line);
    QCOMPARE(runs(*hl, line), QStringLiteral("Text\"some text\""));
}

void TestHighlight::cyclingEmptySwitches()
{
    // "a" and "b" send each other back and forth without consuming
    // anything; "c" sends itself. Each pass must still end.
    auto hl = load(definition(
        QStringLiteral("Cycle"), QStringLiteral("<Text color=\"#000000\"/><X color=\"#000000\"/>"),
        QStringLiteral("<a><r regexp=\"x\" emptyContent=\"b\"/></a>"
                       "<b><r regexp=\"y\" emptyContent=\"a\"/></b>"
                       "<c><r regexp=\"z\" emptyContent=\"c\"/></c>"),
        QStringLiteral("<a><r item=\"X\" regexp=\"x\" emptyContent=\"b\"/></a>"
                       "<b><r item=\"X\" regexp=\"y\" emptyContent=\"a\"/></b>"
                       "<c><r item=\"X\" regexp=\"z\" emptyContent=\"c\"/></c>")));
    TextLine line(QStringLiteral("qxqy"));
    const int end = hl->doHighlight(0, &line);
    QVERIFY(end == 0 || end == 1);
    hl->highlight(&line);
    QCOMPARE(runs(*hl, line), QStringLiteral("Text\"q\" X\"x\" Text\"q\" X\"y\""));
    TextLineWrite::set(line, QStringLiteral("zzq"));
    QCOMPARE(hl->doHighlight(2, &line), 2);
    hl->highlight(&line);
    QCOMPARE(runs(*hl, line), QStringLiteral("X\"zz\" Text\"q\""));
}

void TestHighlight::missingContexts()
{
    // "inner" exists only in Contents: the context pass has nothing for it.
    auto hl = load(definition(
        QStringLiteral("Missing"),
        QStringLiteral("<Text color=\"#000000\"/><S color=\"#000000\"/>"),
        QStringLiteral("<normal><r regexp=\"'\" lineEndContent=\"inner\"/></normal><lost/>"),
        QStringLiteral("<normal><r item=\"S\" regexp=\"'\" lineEndContent=\"inner\"/></normal>"
                       "<inner><r item=\"S\" regexp=\"[^']+\"/></inner>")));
    TextLine line(QStringLiteral("ab'cd"));
    QCOMPARE(hl->doHighlight(0, &line), 0); // Break has no "inner": the switch goes to 0
    TextLineWrite::set(line, QStringLiteral("more"));
    QCOMPARE(hl->doHighlight(1, &line), 1); // nothing matches, nothing breaks
    QCOMPARE(hl->doHighlight(200, &line), 200);
    line.resetHighlight(200);
    hl->highlight(&line);
    QCOMPARE(runs(*hl, line), QStringLiteral("Text\"more\""));
    QVERIFY(line.isHighlighted());
}

void TestHighlight::engineEdgeCases()
{
    auto hl = load(definition(
        QStringLiteral("Edges"),
        QStringLiteral("<Text color=\"#000000\"/><X color=\"#000000\"/><Y color=\"#000000\"/>"
                       "<Z color=\"#000000\"/><E color=\"#000000\"/>"),
        QStringLiteral("<normal><r regexp=\"q\" emptyContent=\"normal\"/></normal><e/>"),
        QStringLiteral("<normal>"
                       "<r item=\"X\" regexp=\"b\"/>"
                       "<r item=\"Y\" regexp=\"a\"/>"
                       "<r item=\"Z\" regexp=\"b\"/>"
                       "</normal>")));
    TextLine empty;
    QCOMPARE(hl->doHighlight(1, &empty), 1); // no empty switch on an empty line
    QCOMPARE(empty.highlightContext(), 1);
    hl->highlight(&empty);
    QVERIFY(empty.isHighlighted());

    // After "a" matched, the walk goes on with the next rule ("b" as Z), it
    // does not start again from the first one (X); "c" matches nothing.
    TextLine line(QStringLiteral("abcb"));
    hl->doHighlight(0, &line);
    hl->highlight(&line);
    QCOMPARE(runs(*hl, line), QStringLiteral("Y\"a\" Z\"b\" Text\"c\" X\"b\""));

    // An until rule whose end stands right here does not match: its empty
    // context applies and colours the "!".
    auto until = load(definition(
        QStringLiteral("Until"), QStringLiteral("<Text color=\"#000000\"/><E color=\"#000000\"/>"),
        QStringLiteral("<normal/>"),
        QStringLiteral(
            "<normal><r item=\"E\" regexp=\"!\" mode=\"until, exclude\" emptyContent=\"e\"/>"
            "</normal><e><r item=\"E\" regexp=\".\" lineEndContent=\"normal\"/></e>")));
    TextLineWrite::set(line, QStringLiteral("!a!"));
    until->doHighlight(0, &line);
    until->highlight(&line);
    QCOMPARE(runs(*until, line), QStringLiteral("E\"!a!\""));

    auto none = std::make_unique<TextHighlight>(QStringLiteral("no such key"), nullptr);
    QCOMPARE(none->name(), QStringLiteral("NoHighlight"));
    TextLineWrite::set(line, QStringLiteral("int x; /* y"));
    QCOMPARE(none->doHighlight(0, &line), 0);
    none->highlight(&line);
    QCOMPARE(runs(*none, line), QStringLiteral("Text\"int x; /* y\""));
}

void TestHighlight::keywordCase()
{
    auto hl = load(definition(
        QStringLiteral("Words"),
        QStringLiteral(
            "<Text color=\"#000000\"/><Lower color=\"#000000\"/><Upper color=\"#000000\"/>"
            "<Cs color=\"#000000\"/><U color=\"#000000\"/>"),
        QStringLiteral("<normal/>"),
        QStringLiteral(
            "<normal>"
            "<r item=\"Lower\" regexp=\"\\w+\" keyword=\"select\" caseSensitive=\"false\"/>"
            "<r item=\"Upper\" regexp=\"\\w+\" keyword=\"FROM\" caseSensitive=\"false\"/>"
            "<r item=\"Cs\" regexp=\"\\w+\" keyword=\"if\"/>"
            "<r item=\"U\" regexp=\"\\w+\" keyword=\"stra\u00dfe \u00e9t\u00e9\" "
            "caseSensitive=\"false\"/>"
            "<r item=\"Text\" regexp=\"\\w+\"/><r item=\"Text\" regexp=\"\\s+\"/>"
            "</normal>")));
    const QStringList out = highlightLines(
        *hl, {QStringLiteral("select Select SELECT selects"), QStringLiteral("FROM from"),
              QStringLiteral("if If"), QStringLiteral("STRASSE Stra\u00dfe \u00c9T\u00c9")});
    QCOMPARE(out.at(0), QStringLiteral("Lower\"select\" Text\" \" Lower\"Select\" Text\" \" "
                                       "Lower\"SELECT\" Text\" selects\""));
    QCOMPARE(out.at(1), QStringLiteral("Text\"FROM from\""));
    QCOMPARE(out.at(2), QStringLiteral("Cs\"if\" Text\" If\""));
    QCOMPARE(out.at(3),
             QStringLiteral("Text\"STRASSE \" U\"Stra\u00dfe\" Text\" \" U\"\u00c9T\u00c9\""));
}

// Every built-in definition against its reference: the sample
// data/highlight/<key>.sample highlighted line by line, each line written as
// <Item>text</Item> runs and, when it ends in a context other than the
// first, followed by <!-- in Context -->, must give <key>.golden line for
// line. VEXA_UPDATE_GOLDEN=1 writes the references anew from what the engine
// gives (look at the difference before committing it).
void TestHighlight::golden_data()
{
    QTest::addColumn<QString>("key");
    for (const char* const* key = embed_keys; *key; ++key)
        QTest::newRow(*key) << QString::fromLatin1(*key);
    QCOMPARE(QDir(QStringLiteral(VEXA_TEST_DATA "/highlight"))
                 .entryList({QStringLiteral("*.sample")}, QDir::Files)
                 .size(),
             21);
}

void TestHighlight::golden()
{
    QFETCH(QString, key);
    const QString base = QStringLiteral(VEXA_TEST_DATA "/highlight/") + key;
    QFile sample(base + QStringLiteral(".sample"));
    QVERIFY2(sample.open(QIODevice::ReadOnly), qPrintable(sample.fileName()));
    QStringList lines = QString::fromUtf8(sample.readAll()).split(QLatin1Char('\n'));
    if (lines.constLast().isEmpty())
        lines.removeLast();

    TextHighlight hl(key, nullptr);
    QList<int> ends;
    QStringList got = highlightLines(hl, lines, &ends, markup);
    for (int i = 0; i < got.size(); ++i) {
        if (ends.at(i) != 0)
            got[i] += QStringLiteral(" <!-- in %1 -->").arg(hl.contextNames().value(ends.at(i)));
    }

    QFile reference(base + QStringLiteral(".golden"));
    if (qEnvironmentVariableIsSet("VEXA_UPDATE_GOLDEN")) {
        QVERIFY(reference.open(QIODevice::WriteOnly | QIODevice::Truncate));
        reference.write((got.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        QSKIP("reference written anew");
    }
    QVERIFY2(reference.open(QIODevice::ReadOnly), qPrintable(reference.fileName()));
    QStringList expected = QString::fromUtf8(reference.readAll()).split(QLatin1Char('\n'));
    if (expected.constLast().isEmpty())
        expected.removeLast();
    for (int i = 0; i < qMin(got.size(), expected.size()); ++i)
        QVERIFY2(got.at(i) == expected.at(i),
                 qPrintable(QStringLiteral("%1.golden line %2:\n   got: %3\n  want: %4")
                                .arg(key)
                                .arg(i + 1)
                                .arg(got.at(i), expected.at(i))));
    QCOMPARE(got.size(), expected.size());
}

QTEST_MAIN(TestHighlight)
#include "tst_highlight.moc"

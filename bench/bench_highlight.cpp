// Highlighting throughput on a generated C++ file of at least 200k lines:
// the context pass (run over every line at load) and the colouring pass (run
// for every painted line) of the component, beside QSyntaxHighlighter with a
// comparable C++ rule set on a QTextDocument and QScintilla's C++ lexer
// styling the whole document, all measured in the same run.
//
// Then one long line of C++ statements, as minified code comes: the two
// passes at growing lengths (the time per character must stay flat), and on
// a 5 MB line beside QScintilla and QSyntaxHighlighter. Every run on the
// long line goes in a child process with a time cap, so that a slow peer (or
// a regression) shows as "(over N s)" instead of stalling the run.
//
// Last, an ordinary 117k-character HTML line, each run in a fresh process,
// against the colouring's per-line time budget.
//
// Usage: bench_highlight [lines] [ours|longline|html] [MB] [ours]   (default
// 250000 lines; "ours" skips the peers and the long line, for profiling;
// "longline" runs only the long line, 5 MB unless given, and only the
// component with a final "ours"; "html" runs only the HTML line)

#include "benchutil.h"
#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textline.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QTextDocument>

#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#ifdef VEXA_HAVE_QSCINTILLA
#include <Qsci/qscilexercpp.h>
#include <Qsci/qsciscintilla.h>
#endif

using namespace xqwidgets;

namespace
{

// Real-looking C++ with varied names, numbers, strings with escapes, chars,
// line and block comments (some over several lines) and preprocessor lines
// (some continued with a backslash).
QStringList generateCpp(int count)
{
    QRandomGenerator random(42);
    const char* const names[] = {"value",  "index",  "buffer", "count",  "node",
                                 "parent", "width",  "height", "result", "item",
                                 "cursor", "offset", "length"};
    const char* const types[] = {"int",     "unsigned",    "double", "bool", "char",
                                 "QString", "std::size_t", "float",  "long"};
    auto name = [&] { return QString::fromLatin1(names[random.bounded(13)]); };
    auto type = [&] { return QString::fromLatin1(types[random.bounded(9)]); };
    QStringList lines;
    lines.reserve(count + 16);
    int function = 0;
    while (lines.size() < count) {
        ++function;
        lines
            << QStringLiteral("#include \"module%1.h\"").arg(function % 40)
            << QStringLiteral("#define LIMIT_%1(x) \\").arg(function)
            << QStringLiteral("    ((x) > %1 ? %1 : (x))").arg(random.bounded(1000)) << QString()
            << QStringLiteral("/* Walks the %1 of the tree and returns the %2").arg(name(), name())
            << QStringLiteral("   found at the given %1, or -1 when there is none. */").arg(name())
            << QStringLiteral("%1 Tree::find%2(const %3* %4, %5 %6) const")
                   .arg(type())
                   .arg(function)
                   .arg(type(), name(), type(), name())
            << QStringLiteral("{");
        const int body = 8 + random.bounded(14);
        for (int i = 0; i < body; ++i) {
            switch (random.bounded(9)) {
            case 0:
                lines << QStringLiteral("    %1 %2 = %3->%4 + 0x%5;")
                             .arg(type(), name(), name(), name())
                             .arg(random.bounded(4096), 0, 16);
                break;
            case 1:
                lines << QStringLiteral("    if (%1 < %2 && !m_%3.isEmpty()) // keep the %4")
                             .arg(name())
                             .arg(random.bounded(100))
                             .arg(name(), name());
                break;
            case 2:
                lines << QStringLiteral("        qWarning(\"%1: bad \\\"%2\\\" at %d\\n\", %3);")
                             .arg(name(), name(), name());
                break;
            case 3:
                lines << QStringLiteral("    for (%1 i = 0; i < %2.size(); ++i) {")
                             .arg(type(), name())
                      << QStringLiteral("        %1 += %2[i] * %3.5e+2f;")
                             .arg(name(), name())
                             .arg(random.bounded(10))
                      << QStringLiteral("    }");
                break;
            case 4:
                lines << QStringLiteral("    const char sep = '\\t', quote = '\"';");
                break;
            case 5:
                lines << QStringLiteral("    // %1 is never null here: the caller checked %2.")
                             .arg(name(), name());
                break;
            case 6:
                lines << QStringLiteral("    return %1 ? %2.%3() : nullptr;")
                             .arg(name(), name(), name());
                break;
            case 7:
                lines << QStringLiteral("    switch (%1) {").arg(name())
                      << QStringLiteral("    case %1:").arg(random.bounded(64))
                      << QStringLiteral("        break;") << QStringLiteral("    default:")
                      << QStringLiteral("        %1 = static_cast<%2>(%3);")
                             .arg(name(), type(), name())
                      << QStringLiteral("    }");
                break;
            default:
                lines << QStringLiteral("    /* %1 */ %2(%3, \"%4\", %5);")
                             .arg(name(), name(), name(), name())
                             .arg(random.bounded(100000));
                break;
            }
        }
        lines << QStringLiteral("    return -1;") << QStringLiteral("}") << QString();
    }
    return lines;
}

// A C++ highlighter the way QSyntaxHighlighter is commonly written: one
// regular expression per token class, each run over the block, and block
// state for comments that span lines.
class CppSyntaxHighlighter : public QSyntaxHighlighter
{
public:
    explicit CppSyntaxHighlighter(QTextDocument* doc) : QSyntaxHighlighter(doc)
    {
        QTextCharFormat keyword;
        keyword.setForeground(Qt::blue);
        keyword.setFontWeight(QFont::Bold);
        add(QStringLiteral(
                "\\b(?:break|case|continue|default|do|else|enum|extern|for|goto|if|return|"
                "sizeof|struct|switch|typedef|union|while|class|delete|friend|inline|new|"
                "operator|private|protected|public|template|this|virtual|try|catch|throw|"
                "true|false|namespace|using|typename|explicit|mutable|static_cast|"
                "const_cast|dynamic_cast|reinterpret_cast|nullptr)\\b"),
            keyword);
        QTextCharFormat type;
        type.setForeground(QColor(0xa5, 0x2a, 0x2a));
        type.setFontWeight(QFont::Bold);
        add(QStringLiteral(
                "\\b(?:auto|char|const|double|float|int|long|register|short|signed|static|"
                "unsigned|void|volatile|bool|uint)\\b"),
            type);
        QTextCharFormat number;
        number.setForeground(Qt::darkGray);
        add(QStringLiteral(
                "\\b(?:0[xX][0-9a-fA-F]+|\\d*\\.\\d+(?:[eE][+-]?\\d+)?[fFlL]?|\\d+[uUlL]?)\\b"),
            number);
        QTextCharFormat pointer;
        pointer.setForeground(Qt::blue);
        add(QStringLiteral("(?:->|\\.)\\s*(?=\\w)"), pointer);
        QTextCharFormat chr;
        chr.setForeground(QColor(0xff, 0xc0, 0xc0));
        add(QStringLiteral("'(?:\\\\.|[^'\\\\])'"), chr);
        QTextCharFormat string;
        string.setForeground(Qt::red);
        add(QStringLiteral("\"(?:\\\\.|[^\"\\\\])*\""), string);
        QTextCharFormat preprocessor;
        preprocessor.setForeground(QColor(0xc0, 0x58, 0x00));
        add(QStringLiteral("^\\s*#.*$"), preprocessor);
        m_comment.setForeground(Qt::darkGreen);
        add(QStringLiteral("//.*$"), m_comment);
    }

protected:
    void highlightBlock(const QString& text) override
    {
        for (const Rule& rule : std::as_const(m_rules)) {
            QRegularExpressionMatchIterator it = rule.pattern.globalMatch(text);
            while (it.hasNext()) {
                const QRegularExpressionMatch m = it.next();
                setFormat(int(m.capturedStart()), int(m.capturedLength()), rule.format);
            }
        }
        setCurrentBlockState(0);
        qsizetype start = previousBlockState() == 1 ? 0 : text.indexOf(QLatin1String("/*"));
        while (start >= 0) {
            const qsizetype end = text.indexOf(QLatin1String("*/"), start);
            qsizetype length;
            if (end < 0) {
                setCurrentBlockState(1);
                length = text.size() - start;
            } else {
                length = end - start + 2;
            }
            setFormat(int(start), int(length), m_comment);
            start = text.indexOf(QLatin1String("/*"), start + length);
        }
    }

private:
    struct Rule {
        QRegularExpression pattern;
        QTextCharFormat format;
    };
    void add(const QString& pattern, const QTextCharFormat& format)
    {
        Rule rule{QRegularExpression(pattern), format};
        rule.pattern.optimize();
        m_rules.append(rule);
    }
    QList<Rule> m_rules;
    QTextCharFormat m_comment;
};

double rate(qsizetype lines, qint64 ns)
{
    return ns > 0 ? double(lines) * 1e9 / double(ns) : 0.0;
}

void print(const char* what, qsizetype lines, qint64 ns)
{
    std::printf("  %-46s %9.1f ms  %12.0f lines/s\n", what, double(ns) / 1e6, rate(lines, ns));
}

// The statements of the generated file on one line, as a minifier leaves
// them: no preprocessor lines, no line comments, single blanks between.
QString longLine(int chars)
{
    QString out;
    out.reserve(chars + 200);
    int count = 2000;
    while (out.size() < chars) {
        const QStringList source = generateCpp(count);
        for (QString s : source) {
            s = s.trimmed();
            const qsizetype comment = s.indexOf(QLatin1String("//"));
            if (comment >= 0)
                s.truncate(comment);
            if (s.isEmpty() || s.startsWith(QLatin1Char('#')) || s.endsWith(QLatin1Char('\\')))
                continue;
            if (!out.isEmpty())
                out += QLatin1Char(' ');
            out += s.trimmed();
            if (out.size() >= chars)
                break;
        }
        count *= 2;
    }
    out.truncate(chars);
    return out;
}

QString ms(qint64 ns)
{
    return QString::asprintf("%9.1f ms", double(ns) / 1e6);
}

// Both passes of the component over one line: "context  colouring".
QString oursOnLine(const QString& text, const QString& definition = QStringLiteral("cpp"))
{
    TextHighlight hl(definition, nullptr);
    TextLine line(text);
    QElapsedTimer t;
    t.start();
    const int ctx = hl.doHighlight(0, &line);
    const qint64 c = t.nsecsElapsed();
    line.setContext(ctx);
    t.restart();
    hl.highlight(&line);
    const qint64 h = t.nsecsElapsed();
    return QString::asprintf("%lld %lld", c, h);
}

void longLineBench(int megabytes, bool peers)
{
    const int cap = 60;
    std::printf("\nOne long line of C++ statements (minified code), definition \"C++\":\n");
    std::printf("  %-12s %12s %12s %14s\n", "length", "context", "colouring", "ns/char (both)");
    for (const int chars : {100000, 200000, 400000, 800000}) {
        const QString text = longLine(chars);
        const QStringList r =
            bench::inChild([&] { return oursOnLine(text); }, cap).split(QLatin1Char(' '));
        if (r.size() != 2) {
            std::printf("  %-12d %s\n", chars, qPrintable(r.join(QLatin1Char(' '))));
            continue;
        }
        const qint64 c = r.at(0).toLongLong();
        const qint64 h = r.at(1).toLongLong();
        std::printf("  %-12d %s %s %14.1f\n", chars, qPrintable(ms(c)), qPrintable(ms(h)),
                    double(c + h) / chars);
    }

    const int chars = megabytes * 1000 * 1000;
    const QString text = longLine(chars);
    std::printf("\nA %d MB line (%d characters), each in a child process capped at %d s:\n",
                megabytes, chars, cap);
    const QStringList r =
        bench::inChild([&] { return oursOnLine(text); }, cap).split(QLatin1Char(' '));
    if (r.size() == 2) {
        const qint64 c = r.at(0).toLongLong();
        const qint64 h = r.at(1).toLongLong();
        std::printf("  %-46s %s\n", "Vexa context pass", qPrintable(ms(c)));
        std::printf("  %-46s %s\n", "Vexa colouring pass", qPrintable(ms(h)));
        std::printf("  %-46s %s\n", "Vexa both passes", qPrintable(ms(c + h)));
    } else {
        std::printf("  %-46s %s\n", "Vexa both passes", qPrintable(r.join(QLatin1Char(' '))));
    }
    if (!peers)
        return;

#ifdef VEXA_HAVE_QSCINTILLA
    const QString sci = bench::inChild(
        [&] {
            QsciScintilla editor;
            QsciLexerCPP lexer;
            editor.setLexer(&lexer);
            editor.setText(text);
            const long length = editor.SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
            QElapsedTimer t;
            t.start();
            editor.SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0ul, -1l);
            const qint64 ns = t.nsecsElapsed();
            const long styled = editor.SendScintilla(QsciScintillaBase::SCI_GETENDSTYLED);
            return ms(ns) + (styled >= length ? QString() : QStringLiteral(" (NOT fully styled)"));
        },
        cap);
    std::printf("  %-46s %s\n", "QScintilla (QsciLexerCPP, SCI_COLOURISE)", qPrintable(sci));
#else
    std::printf("  QScintilla: not available in this build\n");
#endif

    const QString qsh = bench::inChild(
        [&] {
            QTextDocument doc;
            doc.setPlainText(text);
            CppSyntaxHighlighter highlighter(nullptr);
            highlighter.setDocument(&doc);
            QElapsedTimer t;
            t.start();
            highlighter.rehighlight();
            return ms(t.nsecsElapsed());
        },
        cap);
    std::printf("  %-46s %s\n", "QSyntaxHighlighter (QTextDocument)", qPrintable(qsh));
}

} // namespace

// An ordinary HTML page of about 117k characters on one line, as generated
// pages come: the start of a real page from the machine's documentation with
// inline scripts (parts of jQuery's where the machine has it), each opened by
// a "//" comment that, the line breaks gone, runs to its "</script>" (a rule
// the expression engine matches over thousands of characters), then rows of
// markup, some with small inline scripts.
QString htmlLine()
{
    const int chars = 117000;
    QString out;
    QFile page(QStringLiteral("/usr/share/doc/libjs-underscore/index.html"));
    if (page.open(QIODevice::ReadOnly))
        out = QString::fromUtf8(page.read(30000)).replace(QLatin1Char('\n'), QLatin1Char(' '));
    QFile script(QStringLiteral("/usr/share/javascript/jquery/jquery.min.js"));
    if (script.open(QIODevice::ReadOnly)) {
        for (int i = 0; i < 3; ++i)
            out +=
                QLatin1String("<script>// part of the library ") +
                QString::fromUtf8(script.read(15000)).replace(QLatin1Char('\n'), QLatin1Char(' ')) +
                QLatin1String("</script>");
    }
    for (int i = 0; out.size() < chars; ++i) {
        out += QStringLiteral("<div class=\"row r%1\"><a href=\"page%1.html#s%1\" title=\"Item "
                              "%1\">Item &amp; %1</a><!-- n %1 --><span style=\"color: red\">x"
                              "</span></div>")
                   .arg(i);
        if (i % 4 == 0)
            out += QStringLiteral("<script>var v%1 = load('p%1', %1); // keep %1 </script>").arg(i);
    }
    out.truncate(chars);
    return out;
}

// The HTML line in fresh processes (each its own program start: the
// engine's costs differed from process to process): both passes against the
// per-line time budget of the colouring (10 ms + 1 us per character).
void htmlLineBench(const char* self)
{
    const QString text = htmlLine();
    const double budgetMs = 10.0 + text.size() / 1000.0;
    std::printf("\nAn HTML line of %lld characters, definition \"HTML\", each run a fresh process "
                "(budget %.0f ms):\n",
                qint64(text.size()), budgetMs);
    double worst = 0;
    for (int run = 0; run < 8; ++run) {
        QProcess p;
        p.start(QString::fromLocal8Bit(self), {QStringLiteral("0"), QStringLiteral("htmlone")});
        p.waitForFinished(-1);
        const QStringList r = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char(' '));
        const double c = r.value(0).toDouble() / 1e6;
        const double h = r.value(1).toDouble() / 1e6;
        worst = qMax(worst, qMax(c, h));
        std::printf("  run %d: context pass %7.1f ms, colouring pass %7.1f ms\n", run + 1, c, h);
    }
    std::printf("  worst pass %.1f ms: %s the budget\n", worst,
                worst <= budgetMs ? "within" : "OVER");
}

int main(int argc, char** argv)
{
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);
    if (argc > 2 && qstrcmp(argv[2], "htmlone") == 0) {
        std::printf("%s", qPrintable(oursOnLine(htmlLine(), QStringLiteral("html"))));
        return 0;
    }
    if (argc > 2 && qstrcmp(argv[2], "html") == 0) {
        htmlLineBench(argv[0]);
        return 0;
    }
    if (argc > 2 && qstrcmp(argv[2], "longline") == 0) {
        longLineBench(argc > 3 ? qMax(1, atoi(argv[3])) : 5,
                      !(argc > 4 && qstrcmp(argv[4], "ours") == 0));
        return 0;
    }
    const int count = argc > 1 ? qMax(1000, atoi(argv[1])) : 250000;

    const QStringList source = generateCpp(count);
    const QString text = source.join(QLatin1Char('\n'));
    std::printf("C++ highlighting: %lld lines, %.1f MB of text\n", qint64(source.size()),
                double(text.size()) / 1e6);

    // Ours: the best of three rounds of each pass over every line.
    std::vector<std::unique_ptr<TextLine>> lines;
    lines.reserve(size_t(source.size()));
    for (const QString& s : source)
        lines.push_back(std::make_unique<TextLine>(s));
    TextHighlight hl(QStringLiteral("cpp"), nullptr);
    qint64 contextNs = -1;
    qint64 colourNs = -1;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer t;
        t.start();
        int ctx = 0;
        for (const auto& line : lines) {
            ctx = hl.doHighlight(ctx, line.get());
            line->setContext(ctx);
        }
        const qint64 c = t.nsecsElapsed();
        t.restart();
        for (const auto& line : lines)
            hl.highlight(line.get());
        const qint64 h = t.nsecsElapsed();
        contextNs = contextNs < 0 ? c : qMin(contextNs, c);
        colourNs = colourNs < 0 ? h : qMin(colourNs, h);
    }
    std::printf("Vexa (TextHighlight, definition \"C++\"):\n");
    print("context pass", source.size(), contextNs);
    print("colouring pass", source.size(), colourNs);
    print("full highlight (both passes)", source.size(), contextNs + colourNs);

    if (argc > 2 && qstrcmp(argv[2], "ours") == 0)
        return 0;

    // QSyntaxHighlighter on a QTextDocument.
    {
        QTextDocument doc;
        doc.setPlainText(text);
        CppSyntaxHighlighter highlighter(nullptr);
        highlighter.setDocument(&doc);
        QElapsedTimer t;
        t.start();
        highlighter.rehighlight();
        const qint64 ns = t.nsecsElapsed();
        std::printf("QSyntaxHighlighter (comparable C++ rules, QTextDocument):\n");
        print("rehighlight of the whole document", doc.blockCount(), ns);
    }

#ifdef VEXA_HAVE_QSCINTILLA
    {
        QsciScintilla editor;
        QsciLexerCPP lexer;
        editor.setLexer(&lexer);
        editor.setText(text);
        const long length = editor.SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
        QElapsedTimer t;
        t.start();
        editor.SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0ul, -1l);
        const qint64 ns = t.nsecsElapsed();
        const long styled = editor.SendScintilla(QsciScintillaBase::SCI_GETENDSTYLED);
        std::printf("QScintilla (QsciLexerCPP, SCI_COLOURISE 0 -1, %s):\n",
                    styled >= length ? "whole text styled" : "NOT fully styled");
        print("styling of the whole document", editor.lines(), ns);
    }
#else
    std::printf("QScintilla: not available in this build\n");
#endif
    longLineBench(5, true);
    htmlLineBench(argv[0]);
    return 0;
}

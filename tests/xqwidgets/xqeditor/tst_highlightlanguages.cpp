// The context each built-in definition leaves at the end of every line of
// real code, held against the language's own rules: for C++, a small lexer
// of the language below, over the installed C++ standard library and Qt
// headers and this project's sources; for Python, the standard library's
// own tokenizer (data/python-line-ends.py) over the installed standard
// library. A line's context is what the next line starts in: a wrong one
// colours the lines after it wrong.

#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textline.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLibraryInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <map>

using namespace xqwidgets;

namespace
{

QStringList readLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    for (QString& l : lines) {
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
    }
    return lines;
}

// What a line-based pass cannot know, or has no context for.
const QString kRawString = QStringLiteral("(raw string)");
const QString kLineComment = QStringLiteral("(// comment continued)");
const QString kCharLiteral = QStringLiteral("(char literal continued)");

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// The context a C++ line ends in by the language's rules: the translation
// phases as far as they matter here (lines joined by "\", comments, string
// and character literals with escapes, raw strings, numbers with digit
// separators, directives).
QStringList cppLineEnds(const QStringList& lines)
{
    enum Mode { Code, BlockComment, String, Char, Raw, LineComment };
    Mode mode = Code;
    bool directive = false;
    bool lineStart = true; // only blanks and comments so far on the logical line
    QString rawEnd;
    QStringList ends;
    for (const QString& text : lines) {
        const bool continued = mode != Raw && text.endsWith(QLatin1Char('\\'));
        const QString body = continued ? text.chopped(1) : text;
        const int n = int(body.size());
        int i = 0;
        while (i < n) {
            switch (mode) {
            case Raw: {
                const int at = int(body.indexOf(rawEnd, i));
                if (at < 0) {
                    i = n;
                } else {
                    i = at + int(rawEnd.size());
                    mode = Code;
                }
                break;
            }
            case BlockComment: {
                const int at = int(body.indexOf(QLatin1String("*/"), i));
                if (at < 0) {
                    i = n;
                } else {
                    i = at + 2;
                    mode = Code;
                }
                break;
            }
            case String:
            case Char: {
                const QChar quote = mode == String ? u'"' : u'\'';
                if (body[i] == u'\\')
                    i += 2;
                else if (body[i++] == quote)
                    mode = Code;
                break;
            }
            case LineComment:
                i = n;
                break;
            case Code: {
                const QChar c = body[i];
                const QChar next = i + 1 < n ? body[i + 1] : QChar();
                if (c.isSpace()) {
                    ++i;
                } else if (c == u'/' && next == u'/') {
                    mode = LineComment;
                    i = n;
                } else if (c == u'/' && next == u'*') {
                    mode = BlockComment;
                    i += 2;
                } else if (c == u'#' && lineStart && !directive) {
                    directive = true;
                    lineStart = false;
                    ++i;
                } else if (c == u'"' || c == u'\'') {
                    mode = c == u'"' ? String : Char;
                    lineStart = false;
                    ++i;
                } else if (c.isDigit() || (c == u'.' && next.isDigit())) {
                    // A number: digits, letters, dots, exponent signs and
                    // separators between digits or letters.
                    ++i;
                    while (i < n) {
                        const QChar d = body[i];
                        const QChar e = i + 1 < n ? body[i + 1] : QChar();
                        if (QStringLiteral("eEpP").contains(d) && (e == u'+' || e == u'-'))
                            i += 2;
                        else if (d == u'\'' && isWordChar(e))
                            i += 2;
                        else if (isWordChar(d) || d == u'.')
                            ++i;
                        else
                            break;
                    }
                    lineStart = false;
                } else if (isWordChar(c)) {
                    int j = i;
                    while (j < n && isWordChar(body[j]))
                        ++j;
                    const QString word = body.mid(i, j - i);
                    lineStart = false;
                    i = j;
                    static const QStringList rawPrefixes = {
                        QStringLiteral("R"), QStringLiteral("u8R"), QStringLiteral("uR"),
                        QStringLiteral("UR"), QStringLiteral("LR")};
                    if (j < n && body[j] == u'"' && rawPrefixes.contains(word)) {
                        const int open = int(body.indexOf(QLatin1Char('('), j + 1));
                        if (open > 0 && open - j - 1 <= 16) {
                            rawEnd =
                                QLatin1Char(')') + body.mid(j + 1, open - j - 1) + QLatin1Char('"');
                            mode = Raw;
                            i = open + 1;
                        }
                    }
                } else {
                    lineStart = false;
                    ++i;
                }
                break;
            }
            }
        }
        QString end;
        if (mode == Raw) {
            end = kRawString;
        } else if (mode == BlockComment) {
            end = QStringLiteral("multiLineComment");
        } else if (continued) {
            end = mode == String        ? QStringLiteral("string")
                  : mode == Char        ? kCharLiteral
                  : mode == LineComment ? kLineComment
                  : directive           ? QStringLiteral("preprocessor")
                                        : QStringLiteral("normal");
        } else {
            // The logical line ends; a literal left open ends with it.
            mode = Code;
            directive = false;
            lineStart = true;
            end = QStringLiteral("normal");
        }
        ends << end;
    }
    return ends;
}

const QString kDoctypeSubset = QStringLiteral("(inside a DOCTYPE's internal subset)");
const QString kCommentElement = QStringLiteral("(inside a COMMENT element)");

// The context an XML line ends in by the language's rules: comments, CDATA
// sections, processing instructions, declarations and tags with quoted
// attribute values. The definition takes an element named COMMENT (in any
// case) for a comment, as old HTML did; the lexer counts the lines inside
// one apart.
QStringList xmlLineEnds(const QStringList& lines)
{
    enum Mode { Text, Comment, CData, Instruction, Tag, Doctype, Subset };
    Mode mode = Text;
    QChar quote; // inside a quoted value of a tag or declaration
    bool commentElement = false;
    QStringList ends;
    auto closes = [](const QString& body, int& i, QLatin1String end) {
        const int at = int(body.indexOf(end, i));
        i = at < 0 ? int(body.size()) : at + int(end.size());
        return at >= 0;
    };
    for (const QString& body : lines) {
        const int n = int(body.size());
        int i = 0;
        while (i < n) {
            const QChar c = body[i];
            if (!quote.isNull()) {
                const int at = int(body.indexOf(quote, i));
                i = at < 0 ? n : at + 1;
                if (at >= 0)
                    quote = QChar();
                continue;
            }
            switch (mode) {
            case Comment:
                if (closes(body, i, QLatin1String("-->")))
                    mode = Text;
                break;
            case CData:
                if (closes(body, i, QLatin1String("]]>")))
                    mode = Text;
                break;
            case Instruction:
                if (closes(body, i, QLatin1String("?>")))
                    mode = Text;
                break;
            case Tag:
            case Doctype:
                ++i;
                if (c == u'"' || c == u'\'')
                    quote = c;
                else if (c == u'>')
                    mode = Text;
                else if (c == u'[' && mode == Doctype)
                    mode = Subset;
                break;
            case Subset:
                // Declarations, comments and instructions up to "]".
                if (body.mid(i).startsWith(QLatin1String("<!--"))) {
                    i += 4;
                    if (!closes(body, i, QLatin1String("-->")))
                        i = n; // a comment over lines in the subset: rare enough
                } else {
                    ++i;
                    if (c == u'"' || c == u'\'')
                        quote = c;
                    else if (c == u']')
                        mode = Doctype;
                }
                break;
            case Text: {
                const QStringView rest = QStringView(body).mid(i);
                if (c != u'<') {
                    ++i;
                } else if (rest.startsWith(QLatin1String("<![CDATA["))) {
                    mode = CData;
                    i += 9;
                } else if (rest.startsWith(QLatin1String("<!--"))) {
                    mode = Comment;
                    i += 4;
                } else if (rest.startsWith(QLatin1String("<?"))) {
                    mode = Instruction;
                    i += 2;
                } else if (rest.startsWith(QLatin1String("<!DOCTYPE"))) {
                    mode = Doctype;
                    i += 9;
                } else {
                    static const QRegularExpression open(QStringLiteral("^<COMMENT\\s*>"),
                                                         QRegularExpression::CaseInsensitiveOption);
                    static const QRegularExpression close(
                        QStringLiteral("^</COMMENT\\s*>"),
                        QRegularExpression::CaseInsensitiveOption);
                    if (open.match(rest).hasMatch())
                        commentElement = true;
                    else if (close.match(rest).hasMatch())
                        commentElement = false;
                    mode = Tag;
                    ++i;
                }
                break;
            }
            }
        }
        QString end;
        if (mode == Subset)
            end = kDoctypeSubset;
        else if (!quote.isNull())
            end = quote == u'"' ? QStringLiteral("tagstring1") : QStringLiteral("tagstring2");
        else if (mode == Comment)
            end = QStringLiteral("comment1");
        else if (mode == CData)
            end = QStringLiteral("cdata");
        else if (mode == Instruction)
            end = QStringLiteral("xmldef");
        else if (mode == Tag || mode == Doctype)
            end = QStringLiteral("tag");
        else if (commentElement)
            end = kCommentElement;
        else
            end = QStringLiteral("normal");
        ends << end;
    }
    return ends;
}

// Tallies of one corpus: lines whose end differs, with the first few shown,
// and lines no line-based pass can know.
struct Tally {
    qint64 files = 0;
    qint64 lines = 0;
    qint64 wrong = 0;
    std::map<QString, qint64> exceptions;
    QStringList shown;

    void compare(const QString& path, const QStringList& lines, const QStringList& want,
                 TextHighlight& hl)
    {
        ++files;
        const QStringList names = hl.contextNames();
        int ctx = 0;
        for (int i = 0; i < lines.size(); ++i) {
            TextLine line(lines.at(i));
            const int start = ctx;
            ctx = hl.doHighlight(ctx, &line);
            ++this->lines;
            const QString got = names.value(ctx);
            const QString& expected = want.at(i);
            if (got == expected)
                continue;
            if (expected.startsWith(QLatin1Char('('))) {
                ++exceptions[expected];
            } else if (lines.at(i).isEmpty() && ctx == start) {
                // An empty line keeps the context it starts in.
                ++exceptions[QStringLiteral("(empty line after a continued line)")];
            } else {
                ++wrong;
                if (shown.size() < 20)
                    shown << QStringLiteral("%1:%2: ends in %3, not %4: %5")
                                 .arg(path)
                                 .arg(i + 1)
                                 .arg(got, expected, lines.at(i).left(120));
            }
        }
    }
    QString summary() const
    {
        QString s = QStringLiteral("%1 files, %2 lines, %3 wrong").arg(files).arg(lines).arg(wrong);
        for (const auto& [what, count] : exceptions)
            s += QStringLiteral("; %1 %2").arg(what).arg(count);
        return s;
    }
};

QStringList cppCorpus()
{
    QStringList files;
    auto add = [&files](const QString& root, const QStringList& filters) {
        QDirIterator it(root, filters, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            // The peer component's headers are not ours to read.
            if (!path.contains(QLatin1String("/Qsci/")))
                files << path;
        }
    };
    for (const QString& version :
         QDir(QStringLiteral("/usr/include/c++")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        add(QStringLiteral("/usr/include/c++/") + version, {});
    add(QLibraryInfo::path(QLibraryInfo::HeadersPath), {QStringLiteral("*.h")});
    add(QStringLiteral(VEXA_SOURCE_DIR "/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")});
    files.sort();
    return files;
}

QStringList xmlCorpus()
{
    QStringList files;
    for (const char* root : {"/usr/share/mime", "/usr/share/dbus-1", "/usr/share/glib-2.0",
                             "/usr/share/xml", "/usr/share/polkit-1"}) {
        QDirIterator it(QLatin1String(root), {QStringLiteral("*.xml")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    QDirIterator own(QStringLiteral(VEXA_SOURCE_DIR "/src"),
                     {QStringLiteral("*.xml"), QStringLiteral("*.ui"), QStringLiteral("*.qrc")},
                     QDir::Files, QDirIterator::Subdirectories);
    while (own.hasNext())
        files << own.next();
    files.sort();
    return files;
}

} // namespace

class TestHighlightLanguages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cpp_data();
    void cpp();
    void xml();
    void python();
    void cleanupTestCase();

private:
    QProcess m_python;
    bool m_pythonStarted = false;
};

void TestHighlightLanguages::initTestCase()
{
    // The tokenizer takes the longest: it runs while the C++ lines are held.
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        return;
    m_python.setProgram(python);
    m_python.setArguments({QStringLiteral(VEXA_TEST_DATA "/python-line-ends.py")});
    m_python.start(QIODevice::ReadOnly);
    m_pythonStarted = m_python.waitForStarted();
}

void TestHighlightLanguages::cpp_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("cpp") << QStringLiteral("cpp");
    QTest::newRow("ch") << QStringLiteral("ch");
}

void TestHighlightLanguages::cpp()
{
    QFETCH(QString, key);
    const QStringList files = cppCorpus();
    QVERIFY2(files.size() > 100, "the project's sources at least");
    TextHighlight hl(key, nullptr);
    Tally tally;
    for (const QString& path : files) {
        const QStringList lines = readLines(path);
        tally.compare(path, lines, cppLineEnds(lines), hl);
    }
    qInfo("%s: %s", qPrintable(key), qPrintable(tally.summary()));
    QVERIFY2(tally.wrong == 0, qPrintable(tally.shown.join(QLatin1Char('\n'))));
}

void TestHighlightLanguages::xml()
{
    const QStringList files = xmlCorpus();
    QVERIFY2(files.size() > 20, "the project's forms and definitions at least");
    TextHighlight hl(QStringLiteral("xml"), nullptr);
    Tally tally;
    for (const QString& path : files) {
        const QStringList lines = readLines(path);
        tally.compare(path, lines, xmlLineEnds(lines), hl);
    }
    qInfo("xml: %s", qPrintable(tally.summary()));
    QVERIFY2(tally.wrong == 0, qPrintable(tally.shown.join(QLatin1Char('\n'))));
}

void TestHighlightLanguages::python()
{
    if (!m_pythonStarted)
        QSKIP("python3 is not installed: the Python definition is not held against its tokenizer");
    QVERIFY(m_python.waitForFinished(-1));
    QCOMPARE(m_python.exitStatus(), QProcess::NormalExit);
    QVERIFY2(m_python.exitCode() == 0, m_python.readAllStandardError().constData());
    const QList<QByteArray> out = m_python.readAllStandardOutput().split('\n');

    static const std::map<char, QString> contexts = {{'n', QStringLiteral("normal")},
                                                     {'1', QStringLiteral("multistring1")},
                                                     {'2', QStringLiteral("multistring2")},
                                                     {'s', QStringLiteral("string2")},
                                                     {'d', QStringLiteral("string1")}};
    TextHighlight hl(QStringLiteral("python"), nullptr);
    Tally tally;
    int skipped = 0;
    int unequal = 0;
    for (int i = 0; i + 1 < out.size(); ++i) {
        if (out.at(i).startsWith("SKIP ")) {
            ++skipped;
            continue;
        }
        QVERIFY2(out.at(i).startsWith("FILE "), out.at(i).constData());
        const QString path = QString::fromUtf8(out.at(i).mid(5));
        const QByteArray letters = out.at(++i);
        const QStringList lines = readLines(path);
        if (lines.size() != letters.size()) {
            ++unequal; // changed since the tokenizer read it
            continue;
        }
        QStringList want;
        for (char c : letters)
            want << contexts.at(c);
        tally.compare(path, lines, want, hl);
    }
    qInfo("python: %s; %d files the tokenizer refused, %d split otherwise",
          qPrintable(tally.summary()), skipped, unequal);
    QVERIFY2(tally.files > 100, "the standard library's modules");
    QVERIFY2(tally.wrong == 0, qPrintable(tally.shown.join(QLatin1Char('\n'))));
}

void TestHighlightLanguages::cleanupTestCase()
{
    // Not waited for when the Python case was not selected.
    if (m_python.state() != QProcess::NotRunning) {
        m_python.kill();
        m_python.waitForFinished();
    }
}

QTEST_GUILESS_MAIN(TestHighlightLanguages)
#include "tst_highlightlanguages.moc"

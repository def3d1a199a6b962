// The search in files without its dialog: the walk and its filters, the hits
// and the rows they make, trees that could hang a walk (links back into the
// tree, FIFOs, devices, huge lines), stopping, and options that change while
// the search runs.

#include "vexa/messages/messagemarkup.h"
#include "vexa/search/bytesearch.h"
#include "vexa/search/filesearch.h"
#include "xqwidgets/xqeditor/pattern.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using vexa::ByteFinder;
using vexa::FileSearch;
using vexa::SearchOptions;

namespace
{

struct Row {
    QString text;
    int line;
    QString file;
};

// A search whose rows are kept.
struct Recorder {
    FileSearch search;
    SearchOptions opts;
    QString pattern;
    QList<Row> rows;

    Recorder()
    {
        search.options = [this]() { return opts; };
        search.filePattern = [this]() { return pattern; };
        search.row = [this](const QString& t, int l, const QString& f) { rows.append({t, l, f}); };
    }
    // The files of the header rows, relative to `root`, in order.
    QStringList files(const QString& root) const
    {
        QStringList out;
        for (const Row& r : rows)
            if (r.text.startsWith(QLatin1String("#bgcolor")))
                out.append(QDir(root).relativeFilePath(r.file));
        return out;
    }
    QStringList texts() const
    {
        QStringList out;
        for (const Row& r : rows)
            out.append(r.text);
        return out;
    }
};

bool write(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

long peakKilobytes()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// The rows of matching each line of a file on its own as decoded text, which
// the search must give however it finds its candidates: UTF-8 (after a mark)
// decoded a line at a time, a line longer than FileSearch::maxLine in pieces
// of that many bytes (the data keeps a character from the cut); UTF-16
// decoded whole.
QStringList rowsOfDecodedLines(const QString& path, const QRegularExpression& re)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {QStringLiteral("cannot read ") + path};
    QByteArray bytes = f.readAll();
    // Each piece scanned, with its line number.
    QList<std::pair<int, QString>> pieces;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder d(bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                      : QStringConverter::Utf16BE);
        QStringList lines = QString(d.decode(bytes.mid(2))).split(QLatin1Char('\n'));
        if (lines.last().isEmpty())
            lines.removeLast();
        for (int i = 0; i < lines.size(); ++i)
            pieces.append({i + 1, lines.at(i)});
    } else {
        if (bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        QList<QByteArray> lines = bytes.split('\n');
        if (lines.last().isEmpty())
            lines.removeLast();
        for (int i = 0; i < lines.size(); ++i) {
            const QByteArray& line = lines.at(i);
            for (qsizetype at = 0; at == 0 || at < line.size(); at += FileSearch::maxLine)
                pieces.append({i + 1, QString::fromUtf8(line.mid(at, FileSearch::maxLine))});
        }
    }
    QStringList rows;
    for (auto [number, text] : pieces) {
        if (text.endsWith(QLatin1Char('\r')))
            text.chop(1);
        for (qsizetype pos = 0; pos <= text.size();) {
            const QRegularExpressionMatch m = re.match(text, pos);
            if (!m.hasMatch() || m.capturedLength() == 0)
                break;
            if (rows.isEmpty())
                rows.append(FileSearch::headerRow(path));
            rows.append(FileSearch::hitRow(number, text, m.capturedStart(), m.capturedLength()));
            pos = m.capturedEnd();
        }
    }
    return rows;
}

// Byte sequences that QString::fromUtf8() cannot take whole, or barely can:
// every byte 80-FF alone, sequences cut short, overlong forms, encoded
// surrogates, code points past U+10FFFF, the longest forms of old, among
// valid characters at the edges of the ranges, marks, ASCII runs long enough
// for sixteen-byte steps and line ends.
QList<QByteArray> hostileUtf8()
{
    QList<QByteArray> out;
    for (int b = 0x80; b <= 0xFF; ++b)
        out.append(QByteArray(1, char(b)));
    for (const char* s : {"\xC3",
                          "\xE2\x82",
                          "\xF0\x9F\x98",
                          "\xF0\x9F",
                          "\xC0\x80",
                          "\xC1\xBF",
                          "\xE0\x80\x80",
                          "\xE0\x9F\xBF",
                          "\xF0\x80\x80\x80",
                          "\xF0\x8F\xBF\xBF",
                          "\xED\xA0\x80",
                          "\xED\xBF\xBF",
                          "\xF4\x90\x80\x80",
                          "\xF5\x80\x80\x80",
                          "\xF8\x88\x80\x80\x80",
                          "\xFC\x84\x80\x80\x80\x80",
                          "\xC3\xA9",
                          "\xC2\x80",
                          "\xDF\xBF",
                          "\xE0\xA0\x80",
                          "\xED\x9F\xBF",
                          "\xEE\x80\x80",
                          "\xE2\x82\xAC",
                          "\xEF\xBF\xBD",
                          "\xEF\xBB\xBF",
                          "\xF0\x90\x80\x80",
                          "\xF0\x9F\x98\x80",
                          "\xF4\x8F\xBF\xBF",
                          "a",
                          "1.2.3",
                          " ",
                          "\n",
                          "\r\n",
                          "abcdefghijklmnopqrstu"})
        out.append(QByteArray(s));
    return out;
}

struct Random {
    quint32 seed;
    quint32 operator()() { return (seed = seed * 1103515245u + 12345u) >> 16; }
};

} // namespace

class TestFileSearch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void walkAndFilters_data()
    {
        QTest::addColumn<QString>("top");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("files");

        const QStringList all{"B.cpp", "X.CPP",     "a.cpp",        "b.h",
                              "c.txt", "sub/d.cpp", "sub/deep/f.h", "zz/e.cpp"};
        QTest::newRow("empty pattern: every file, files before folders") << "t"
                                                                         << "" << all;
        QTest::newRow("separators only") << "t"
                                         << " ;; " << all;
        QTest::newRow("blanks") << "t"
                                << "*.cpp *.h"
                                << QStringList{"B.cpp",     "a.cpp",        "b.h",
                                               "sub/d.cpp", "sub/deep/f.h", "zz/e.cpp"};
        QTest::newRow("semicolons")
            << "t"
            << "*.cpp;*.h"
            << QStringList{"B.cpp", "a.cpp", "b.h", "sub/d.cpp", "sub/deep/f.h", "zz/e.cpp"};
        QTest::newRow("case-sensitive names") << "t"
                                              << "*.CPP" << QStringList{"X.CPP"};
        QTest::newRow("question mark") << "t"
                                       << "?.h" << QStringList{"b.h", "sub/deep/f.h"};
        QTest::newRow("top folder with a dot name") << ".t"
                                                    << "" << QStringList{"g.cpp", "in/h.cpp"};
    }
    void walkAndFilters()
    {
        QFETCH(QString, top);
        QFETCH(QString, pattern);
        QFETCH(QStringList, files);
        QTemporaryDir dir;
        const QByteArray text = "needle\n";
        for (const char* name :
             {"t/a.cpp", "t/B.cpp", "t/b.h", "t/c.txt", "t/X.CPP", "t/.hidden.cpp", "t/sub/d.cpp",
              "t/sub/deep/f.h", "t/sub/.hid/x.cpp", "t/.h/y.cpp", "t/zz/e.cpp", ".t/g.cpp",
              ".t/in/h.cpp"})
            QVERIFY(write(dir.filePath(QLatin1String(name)), text));
        Recorder r;
        r.opts.text = QStringLiteral("needle");
        r.pattern = pattern;
        const QString root = dir.filePath(top);
        r.search.run(root);
        QCOMPARE(r.files(root), files);
        // The row's file is the folder joined with the names walked.
        QCOMPARE(r.rows.first().file, QDir(root).filePath(files.first()));
    }

    void hits_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("flags");   // c: case, w: whole word, r: regular expression
        QTest::addColumn<QList<int>>("hits"); // position, length, ...

        using L = QList<int>;
        QTest::newRow("no overlap") << "aaaa"
                                    << "aa"
                                    << "c" << L{0, 2, 2, 2};
        QTest::newRow("word in brackets") << "(foo)"
                                          << "foo"
                                          << "w" << L{1, 3};
        QTest::newRow("word before dash") << "foo-bar"
                                          << "foo"
                                          << "w" << L{0, 3};
        QTest::newRow("whole line word") << "foo"
                                         << "foo"
                                         << "w" << L{0, 3};
        QTest::newRow("beside a non-ASCII letter") << "éfooé"
                                                   << "foo"
                                                   << "w" << L{1, 3};
        QTest::newRow("not before underscore") << "foo_bar"
                                               << "foo"
                                               << "w" << L{};
        QTest::newRow("not before digit") << "foo1"
                                          << "foo"
                                          << "w" << L{};
        QTest::newRow("not after letter") << "xfoo"
                                          << "foo"
                                          << "w" << L{};
        QTest::newRow("word scan resumes after a candidate") << "abab ab"
                                                             << "ab"
                                                             << "w" << L{5, 2};
        QTest::newRow("regex ignores whole word") << "xfoo"
                                                  << "fo+"
                                                  << "wr" << L{1, 3};
        QTest::newRow("empty regex match ends the line") << "bbba"
                                                         << "a*"
                                                         << "r" << L{};
        QTest::newRow("regex after a longer match") << "aab a"
                                                    << "a+"
                                                    << "r" << L{0, 2, 4, 1};
        QTest::newRow("caret only at the start") << "abab"
                                                 << "^ab"
                                                 << "r" << L{0, 2};
        QTest::newRow("caret not mid-line") << "xab"
                                            << "^ab"
                                            << "r" << L{};
        QTest::newRow("dollar at the end") << "abab"
                                           << "ab$"
                                           << "r" << L{2, 2};
        QTest::newRow("case-insensitive plain") << "Foo foo FOO"
                                                << "fOo"
                                                << "" << L{0, 3, 4, 3, 8, 3};
        QTest::newRow("case-sensitive plain") << "Foo foo FOO"
                                              << "foo"
                                              << "c" << L{4, 3};
        QTest::newRow("case-insensitive regex") << "Foo foo"
                                                << "f.o"
                                                << "r" << L{0, 3, 4, 3};
        QTest::newRow("case-insensitive non-ASCII") << "ÉTÉ été"
                                                    << "été"
                                                    << "" << L{0, 3, 4, 3};
        // Folding stops at the letters: "[" and "{", "@" and "`" stay apart.
        QTest::newRow("case-insensitive letters only")
            << "{{{{{{{{``````@@[ abcdefghijklmnopqrstuvwxyz"
            << "["
            << "" << L{16, 1};
        QTest::newRow("case-insensitive capitals") << "xx @[ ABCDEFGHIJKLMNOPQRSTUVWXYZ {`"
                                                   << "pqrstuvw"
                                                   << "" << L{21, 8};
        QTest::newRow("case-insensitive at sign") << "````````````@"
                                                  << "@"
                                                  << "" << L{12, 1};
        QTest::newRow("Kelvin sign folds to k") << "\u212Aey"
                                                << "key"
                                                << "" << L{0, 3};
        QTest::newRow("positions in characters") << "日本 needle"
                                                 << "needle"
                                                 << "c" << L{3, 6};
        QTest::newRow("regex class") << "x1 y22"
                                     << "[0-9]+"
                                     << "r" << L{1, 1, 4, 2};
        // The editor's dialect: a brace that makes no repeat is a character.
        QTest::newRow("reversed count is text") << "a{2,1}"
                                                << "a{2,1}"
                                                << "r" << L{0, 6};
        // Expressions with a text every match holds: lines are picked by it.
        QTest::newRow("required text") << "x pthread_mutex_init y"
                                       << "pthread_[a-z]+_init"
                                       << "cr" << L{2, 18};
        QTest::newRow("required text, no match") << "pthread_init"
                                                 << "pthread_[a-z]+_init"
                                                 << "cr" << L{};
        QTest::newRow("required text, other case") << "PTHREAD_X_INIT"
                                                   << "pthread_[a-z]+_init"
                                                   << "r" << L{0, 14};
        QTest::newRow("optional letter") << "color colour"
                                         << "colou?r"
                                         << "r" << L{0, 5, 6, 6};
        QTest::newRow("repeated letter") << "abbbc abc"
                                         << "ab+c"
                                         << "cr" << L{0, 5, 6, 3};
        QTest::newRow("regex: Kelvin sign folds to k") << "\u212Aey"
                                                       << "ke."
                                                       << "r" << L{0, 3};
        QTest::newRow("alternatives") << "bar foo"
                                      << "foo|bar"
                                      << "cr" << L{0, 3, 4, 3};
    }
    void hits()
    {
        QFETCH(QString, line);
        QFETCH(QString, text);
        QFETCH(QString, flags);
        QFETCH(QList<int>, hits);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.txt"));
        // The line is the second of three, with a CR LF ending.
        QVERIFY(write(path, "-\n" + line.toUtf8() + "\r\n-\n"));
        Recorder r;
        r.opts = {text, flags.contains('c'), flags.contains('w'), flags.contains('r')};
        QCOMPARE(FileSearch::error(r.opts), QString());
        r.search.processFile(path);
        QStringList expected;
        if (!hits.isEmpty())
            expected.append(FileSearch::headerRow(path));
        for (int i = 0; i + 1 < hits.size(); i += 2)
            expected.append(FileSearch::hitRow(2, line, hits.at(i), hits.at(i + 1)));
        QCOMPARE(r.texts(), expected);
        for (const Row& row : r.rows) {
            QCOMPARE(row.file, path);
            QCOMPARE(row.line, row.text.startsWith(QLatin1String("#bgcolor")) ? 1 : 2);
        }
    }

    // The byte finder against a plain loop: needles with letters, bytes next
    // to the letters ("@[`{"), UTF-8 and repeats, placed in different cases at
    // every offset of texts around the sixteen-byte steps, among near misses.
    void byteFinder_data()
    {
        QTest::addColumn<QByteArray>("needle");
        QTest::addColumn<bool>("fold");
        for (const bool fold : {false, true}) {
            for (const char* n :
                 {"x", "@", "ab", "deprecated", "zebracorn", "[`{@", "a@Z[", "\xC3\xA9t\xC3\xA9",
                  "aaaa", "e e", "pthread_mutex_init_long_name"})
                QTest::addRow("%s%s", n, fold ? " folded" : "") << QByteArray(n) << fold;
        }
    }
    void byteFinder()
    {
        QFETCH(QByteArray, needle);
        QFETCH(bool, fold);
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
        const auto same = [&](char a, char b) { return fold ? lower(a) == lower(b) : a == b; };
        const auto reference = [&](const QByteArray& text, qsizetype from) -> qsizetype {
            for (qsizetype i = from; i + needle.size() <= text.size(); ++i) {
                qsizetype k = 0;
                while (k < needle.size() && same(text.at(i + k), needle.at(k)))
                    ++k;
                if (k == needle.size())
                    return i;
            }
            return -1;
        };
        const ByteFinder finder(needle, fold);
        quint32 seed = 7;
        const auto random = [&]() { return (seed = seed * 1103515245u + 12345u) >> 16; };
        int found = 0;
        for (int length : {0, 1, 15, 16, 17, 31, 33, 48, 70}) {
            for (int at = 0; at + needle.size() <= length; ++at) {
                // A filler of the needle's own bytes in both cases, so that
                // near misses abound, with the needle's bytes in random case.
                QByteArray text(length, ' ');
                for (char& c : text) {
                    const char b = needle.at(random() % needle.size());
                    c = random() % 2 ? b : char(b ^ 0x20);
                }
                for (qsizetype k = 0; k < needle.size(); ++k) {
                    const char b = needle.at(k);
                    text[at + k] = fold && random() % 2 && lower(b) == lower(char(b ^ 0x20))
                                       ? char(b ^ 0x20)
                                       : b;
                }
                for (qsizetype from : {qsizetype(0), qsizetype(at), qsizetype(at) + 1}) {
                    const qsizetype want = reference(text, from);
                    QCOMPARE(finder.find(text.constData(), text.size(), from), want);
                    found += want >= 0;
                }
                // The same text ending one byte short of the hit.
                const qsizetype cut = at + needle.size() - 1;
                QCOMPARE(finder.find(text.constData(), cut, 0), reference(text.left(cut), 0));
            }
        }
        QVERIFY(found > 100);
    }

    void lineFeeds()
    {
        quint32 seed = 3;
        for (int length : {0, 1, 15, 16, 17, 4079, 4080, 4081, 4096, 100000}) {
            QByteArray text(length, 'a');
            for (char& c : text)
                c = (seed = seed * 1103515245u + 12345u) >> 16 & 1 ? '\n' : 'a';
            for (int from : {0, 1, 5}) {
                if (from > length)
                    continue;
                QCOMPARE(vexa::countLineFeeds(text.constData() + from, length - from),
                         qsizetype(text.mid(from).count('\n')));
            }
        }
        // Every byte a line feed: per-byte counters must not wrap.
        const QByteArray all(10000, '\n');
        QCOMPARE(vexa::countLineFeeds(all.constData(), all.size()), qsizetype(10000));
    }

    // The exact texts, a tab before the hit, markup from the file shown as
    // it is, one header per file and none for a file without hits.
    void rowTexts()
    {
        QTemporaryDir dir;
        QVERIFY(write(dir.filePath("a/one.c"), "x\n\tint needle; // #color{red}\nneedle\n"));
        QVERIFY(write(dir.filePath("a/two.c"), "nothing here\n"));
        Recorder r;
        r.opts.text = QStringLiteral("needle");
        r.search.run(dir.filePath("a"));
        const QString one = QDir(dir.filePath("a")).filePath("one.c");
        QCOMPARE(
            r.texts(),
            (QStringList{"#bgcolor{#d0d0d0} " + one + " ",
                         "   #color{#909090}2: #color{black}    int #color{blue}needle"
                         "#color{black}; // #\\color{red}",
                         "   #color{#909090}3: #color{black}#color{blue}needle#color{black}"}));
        QCOMPARE(r.rows.at(1).line, 2);
        QCOMPARE(r.rows.at(2).line, 3);
        // The panel shows the row with the hit in blue and the file's text as written.
        const QList<vexa::MessageSegment> parts = vexa::markup::parse(r.rows.at(1).text);
        QCOMPARE(parts.size(), 5);
        QCOMPARE(parts.at(2).text, QStringLiteral("    int "));
        QCOMPARE(parts.at(3).text, QStringLiteral("needle"));
        QCOMPARE(parts.at(3).color, QColor(Qt::blue));
        QCOMPARE(parts.at(4).text, QStringLiteral("; // #color{red}"));
    }

    // Files other than plain UTF-8 lines.
    void encodingsAndBinary()
    {
        QTemporaryDir dir;
        QByteArray utf16("\xFF\xFE");
        for (QChar c : QStringLiteral("one\ntwo needle\n"))
            utf16 += char(c.unicode() & 0xFF), utf16 += char(c.unicode() >> 8);
        QVERIFY(write(dir.filePath("u16.txt"), utf16));
        QVERIFY(write(dir.filePath("bom.txt"), "\xEF\xBB\xBFneedle\n"));
        QVERIFY(write(dir.filePath("bin.dat"), QByteArray("ab\0cd needle\nneedle\n", 20)));
        QVERIFY(write(dir.filePath("nolf.txt"), "a\nb needle"));
        // Plain text, and an expression found through the text it holds.
        for (const SearchOptions& o :
             {SearchOptions{QStringLiteral("needle")},
              SearchOptions{QStringLiteral("ne+dle"), true, false, true}}) {
            Recorder r;
            r.opts = o;
            r.search.run(dir.path());
            // file:line:the row's text after its line number ("" for a header).
            QStringList summary;
            for (const Row& row : r.rows)
                summary.append(QFileInfo(row.file).fileName() + ":" + QString::number(row.line) +
                               ":" + vexa::markup::strip(row.text).section(QLatin1String(": "), 1));
            QCOMPARE(summary, (QStringList{"bin.dat:1:", "bom.txt:1:", "bom.txt:1:needle",
                                           "nolf.txt:1:", "nolf.txt:2:b needle",
                                           "u16.txt:1:", "u16.txt:2:two needle"}));
        }
    }

    // Expressions, with and without a text every match holds, give the rows
    // of matching each decoded line on its own (what the search did before
    // it matched on bytes), in valid and invalid UTF-8 (bytes the decoder
    // turns into U+FFFD, which a class can match), with a mark, CR LF
    // endings, and in UTF-16 of both byte orders.
    void expressionRowsAsDecodedLines()
    {
        QTemporaryDir dir;
        const QString text =
            QStringLiteral("version 1.22.3 and 10.0.1\r\n\u00c9t\u00e9 x1 \u00e9T\u00c9 ab cdab\n"
                           "  \U0001F600 emoji 7 x\n\ttab\u00a0nbsp 9.9.9\r\nplain words only\n");
        QVERIFY(write(dir.filePath("utf8.txt"), text.toUtf8()));
        QVERIFY(write(dir.filePath("bom.txt"), "\xEF\xBB\xBF" + text.toUtf8()));
        QVERIFY(write(dir.filePath("bad.txt"),
                      QByteArray("x1 \xff 2.3.4 \xc0\xaf ab\n\xed\xa0\x80 cd 7\n"
                                 "tail \xe2\x82 1.1.1\nok 5.5.5 \xf4\x90\x80\x80 z9\n")));
        for (bool le : {true, false}) {
            QByteArray u16 = le ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
            for (QChar c : text) {
                const char lo = char(c.unicode() & 0xFF);
                const char hi = char(c.unicode() >> 8);
                u16 += le ? lo : hi;
                u16 += le ? hi : lo;
            }
            QVERIFY(write(dir.filePath(le ? "u16le.txt" : "u16be.txt"), u16));
        }
        const QStringList files{"bad.txt", "bom.txt", "u16be.txt", "u16le.txt", "utf8.txt"};
        const struct {
            const char* pattern;
            bool caseSensitive;
        } expressions[] = {
            {"[0-9]+\\.[0-9]+\\.[0-9]+", true},
            {"\\w+\\d", true},
            {"[^a-z ]+", true},
            {"\u00e9t\\w", false},
            {"^\\s*\\w", true},
            {"\\bx\\d", true},
            {"(ab|cd)+", true},
            {"\\S$", true},
            {"a(?=b)", true},
            {"ver\\w+", true},
            {".", false},
        };
        for (const auto& e : expressions) {
            const QString pattern = QString::fromUtf8(e.pattern);
            Recorder r;
            r.opts = {pattern, e.caseSensitive, false, true};
            r.search.run(dir.path());
            QRegularExpression::PatternOptions o = QRegularExpression::UseUnicodePropertiesOption;
            if (!e.caseSensitive)
                o |= QRegularExpression::CaseInsensitiveOption;
            const QRegularExpression re(xqwidgets::Pattern::translate(pattern), o);
            QVERIFY(re.isValid());
            QStringList expected;
            for (const QString& name : files) {
                QFile f(dir.filePath(name));
                QVERIFY(f.open(QIODevice::ReadOnly));
                QByteArray bytes = f.readAll();
                QString decoded;
                if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
                    QStringDecoder d(bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                                  : QStringConverter::Utf16BE);
                    decoded = d.decode(bytes.mid(2));
                } else {
                    decoded =
                        QString::fromUtf8(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
                }
                QStringList lines = decoded.split(QLatin1Char('\n'));
                if (lines.last().isEmpty())
                    lines.removeLast();
                bool header = false;
                for (int i = 0; i < lines.size(); ++i) {
                    QString line = lines.at(i);
                    if (line.endsWith(QLatin1Char('\r')))
                        line.chop(1);
                    for (qsizetype pos = 0; pos <= line.size();) {
                        const QRegularExpressionMatch m = re.match(line, pos);
                        if (!m.hasMatch() || m.capturedLength() == 0)
                            break;
                        if (!header)
                            expected.append(FileSearch::headerRow(dir.filePath(name)));
                        header = true;
                        expected.append(
                            FileSearch::hitRow(i + 1, line, m.capturedStart(), m.capturedLength()));
                        pos = m.capturedEnd();
                    }
                }
            }
            QCOMPARE(r.texts(), expected);
        }
    }

    // An expression the engine gives up on within its bounded work
    // ("(x+x+)+[yY]" on lines of x's ending in "zy") is decided with more,
    // as the editor's find decides it: those lines hold no match and get no
    // row. A line not even that decides (a back reference over a line where
    // backtracking explodes) gets a row that says so, and the match on the
    // next line is still found; in UTF-8 (bytes matched) and in UTF-16
    // (decoded text) alike.
    void engineGivesUpOnOneLine()
    {
        QTemporaryDir dir;
        const QString words = QStringLiteral("word ").repeated(12) + QStringLiteral("end! x = y;");
        const QString text = QString(40, u'x') + QStringLiteral("zy\nxxy here\n") + words +
                             QStringLiteral("\nab ab ; last xxY\n");
        QVERIFY(write(dir.filePath("a8.txt"), text.toUtf8()));
        QByteArray u16("\xFF\xFE");
        for (QChar c : text)
            u16 += char(c.unicode() & 0xFF), u16 += char(c.unicode() >> 8);
        QVERIFY(write(dir.filePath("b16.txt"), u16));
        Recorder r;
        r.opts = {QStringLiteral("(x+x+)+[yY]"), true, false, true};
        r.search.run(dir.path());
        QStringList expected;
        for (const char* name : {"a8.txt", "b16.txt"}) {
            expected << FileSearch::headerRow(dir.filePath(name))
                     << FileSearch::hitRow(2, QStringLiteral("xxy here"), 0, 3)
                     << FileSearch::hitRow(4, QStringLiteral("ab ab ; last xxY"), 13, 3);
        }
        QCOMPARE(r.texts(), expected);

        Recorder b;
        b.opts = {QStringLiteral("(\\w+\\s?)+\\1;"), true, false, true};
        b.search.run(dir.path());
        expected.clear();
        for (const char* name : {"a8.txt", "b16.txt"}) {
            expected << FileSearch::headerRow(dir.filePath(name)) << FileSearch::skippedRow(3)
                     << FileSearch::hitRow(4, QStringLiteral("ab ab ; last xxY"), 0, 7);
        }
        QCOMPARE(b.texts(), expected);
        QCOMPARE(b.rows.at(1).line, 3);
        QCOMPARE(b.rows.at(1).file, dir.filePath("a8.txt"));
    }

    // A line of a million characters on which the engine's backtracking
    // takes seconds (".*.*.*.*.*b[c]" after "b") is decided; one on which
    // every way to decide takes far longer ("(\w+\s?)+\d" over a million
    // characters of words) runs aside while the search goes on yielding,
    // and a cancel made in a yield ends it there.
    void stopInOneLongLine()
    {
        QTemporaryDir dir;
        QVERIFY(write(dir.filePath("a/long.txt"), "b" + QByteArray(1000000, 'a') + "\n"));
        Recorder r;
        r.opts = {QStringLiteral(".*.*.*.*.*b[c]"), true, false, true};
        r.search.run(dir.filePath("a"));
        QVERIFY(!r.search.isCanceled());
        QVERIFY(r.rows.isEmpty());

        QVERIFY(
            write(dir.filePath("b/long.txt"), "bc " + QByteArray("word ").repeated(200000) + "\n"));
        QVERIFY(write(dir.filePath("b/next.txt"), "a1\n"));
        r.opts = {QStringLiteral("(\\w+\\s?)+\\d"), true, false, true};
        int yields = 0;
        r.search.yield = [&](const QString& file) {
            QVERIFY(file.endsWith(QLatin1String("long.txt")));
            if (++yields == 3)
                r.search.cancel();
        };
        r.search.run(dir.filePath("b"));
        QCOMPARE(yields, 3);
        QVERIFY(r.search.isCanceled());
        QVERIFY(r.rows.isEmpty());
    }

    // A byte the decoder cannot take shows as U+FFFD in its row and is
    // found by a search for U+FFFD, plain or in an expression, as a real
    // U+FFFD is.
    void badBytesFoundAsReplacementCharacter()
    {
        QTemporaryDir dir;
        QVERIFY(write(dir.filePath("bad.txt"), "a\xFF"
                                               "b\nc \xEF\xBF\xBD d\nplain\n"));
        const QString fffd(QChar(0xFFFD));
        struct Case {
            SearchOptions opts;
            QStringList rows;
        };
        const QString path = dir.filePath("bad.txt");
        const QList<Case> cases = {
            {{fffd, true, false, false},
             {FileSearch::headerRow(path), FileSearch::hitRow(1, "a" + fffd + "b", 1, 1),
              FileSearch::hitRow(2, "c " + fffd + " d", 2, 1)}},
            {{fffd, false, false, false},
             {FileSearch::headerRow(path), FileSearch::hitRow(1, "a" + fffd + "b", 1, 1),
              FileSearch::hitRow(2, "c " + fffd + " d", 2, 1)}},
            {{"a" + fffd + "b", true, false, true},
             {FileSearch::headerRow(path), FileSearch::hitRow(1, "a" + fffd + "b", 0, 3)}},
            {{fffd + "+", true, false, true},
             {FileSearch::headerRow(path), FileSearch::hitRow(1, "a" + fffd + "b", 1, 1),
              FileSearch::hitRow(2, "c " + fffd + " d", 2, 1)}},
        };
        for (const Case& c : cases) {
            Recorder r;
            r.opts = c.opts;
            r.search.run(dir.path());
            QCOMPARE(r.texts(), c.rows);
        }
    }

    // A line longer than the cap is scanned in pieces that keep its number;
    // a hit row shows only the part around its hit.
    void longLine()
    {
        QTemporaryDir dir;
        QByteArray line(3 * FileSearch::maxLine, 'x');
        line.replace(10, 6, "needle");
        line.replace(2 * FileSearch::maxLine + 5, 6, "needle");
        QVERIFY(write(dir.filePath("long.txt"), "top\n" + line + "\nneedle\n"));
        Recorder r;
        r.opts.text = QStringLiteral("needle");
        r.search.run(dir.path());
        QCOMPARE(r.rows.size(), 4);
        QCOMPARE(r.rows.at(1).line, 2);
        QCOMPARE(r.rows.at(2).line, 2);
        QCOMPARE(r.rows.at(3).line, 3);
        for (int i = 1; i < 3; ++i)
            QVERIFY(vexa::markup::strip(r.rows.at(i).text).size() <
                    2 * FileSearch::rowContext + 40);
    }

    // Links back into the tree, links to a FIFO and to a device, a dangling
    // link, a binary file and a 200 MB line: the walk ends, each real file is
    // reported once, and memory stays bounded.
    void hostileTree()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("r");
        QVERIFY(write(root + "/a/x.txt", "needle\n"));
        QVERIFY(write(root + "/a/b/y.txt", "needle\n"));
        QVERIFY(write(root + "/bin.dat", QByteArray("\0needle\n", 8)));
        QVERIFY(QFile::link("..", root + "/a/loop"));
        QVERIFY(QFile::link("../..", root + "/a/b/up"));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600) == 0);
        QVERIFY(QFile::link(dir.filePath("fifo"), root + "/a/fifo.txt"));
        QVERIFY(QFile::link("/dev/zero", root + "/a/zero.txt"));
        QVERIFY(QFile::link(dir.filePath("gone"), root + "/a/dangling.txt"));
        // Links to a file and to a folder outside the tree count as what they lead to.
        QVERIFY(write(dir.filePath("out/file.txt"), "needle\n"));
        QVERIFY(write(dir.filePath("out/folder/z.txt"), "needle\n"));
        QVERIFY(QFile::link(dir.filePath("out/file.txt"), root + "/a/outside.txt"));
        QVERIFY(QFile::link(dir.filePath("out/folder"), root + "/ext"));
        {
            QFile big(root + "/big.txt");
            QVERIFY(big.open(QIODevice::WriteOnly));
            const QByteArray chunk(1 << 20, 'z');
            for (int i = 0; i < 200; ++i)
                QVERIFY(big.write(chunk) == chunk.size());
            QVERIFY(big.write("needle") == 6);
        }
        const long before = peakKilobytes();
        Recorder r;
        r.opts.text = QStringLiteral("needle");
        r.search.run(root);
        QStringList headers = r.files(root);
        QCOMPARE(headers, (QStringList{"big.txt", "bin.dat", "a/outside.txt", "a/x.txt",
                                       "a/b/y.txt", "ext/z.txt"}));
        QCOMPARE(r.rows.size(), 11);
        QCOMPARE(r.rows.at(1).line, 1);
        QVERIFY2(peakKilobytes() - before < 64 * 1024,
                 qPrintable(QString::number(peakKilobytes() - before)));
    }

    // A stop from the yield: nothing after it, also inside a long file.
    void stopMidWalk()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 50; ++i)
            QVERIFY(write(dir.filePath(QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0'))),
                          "needle\n"));
        Recorder r;
        r.opts.text = QStringLiteral("needle");
        r.search.setYieldInterval(0);
        int yields = 0;
        qsizetype rowsAtStop = -1;
        r.search.yield = [&](const QString&) {
            if (++yields == 10) {
                r.search.cancel();
                rowsAtStop = r.rows.size();
            }
        };
        r.search.run(dir.path());
        QVERIFY(r.search.isCanceled());
        QVERIFY(rowsAtStop > 0);
        QCOMPARE(r.rows.size(), rowsAtStop);
        QCOMPARE(yields, 10);

        // Inside one file of many blocks: the scan yields on its way.
        QVERIFY(write(dir.filePath("big/big.txt"), QByteArray(64 << 20, 'a') + "needle\n"));
        yields = 0;
        r.rows.clear();
        r.search.yield = [&](const QString& file) {
            QVERIFY(file.endsWith(QLatin1String("big.txt")));
            if (++yields == 3)
                r.search.cancel();
        };
        r.search.run(dir.filePath("big"));
        QCOMPARE(yields, 3);
        QVERIFY(r.rows.isEmpty());
    }

    // Options read again after each yield: a change holds from there on,
    // and files removed meanwhile are passed over.
    void changesWhileRunning()
    {
        QTemporaryDir dir;
        for (const char* n : {"1.txt", "2.txt", "3.txt", "4.txt"})
            QVERIFY(write(dir.filePath(QLatin1String(n)), "alpha beta\n"));
        Recorder r;
        r.opts.text = QStringLiteral("alpha");
        r.search.setYieldInterval(0);
        r.search.yield = [&](const QString& file) {
            if (file.endsWith(QLatin1String("2.txt"))) {
                r.opts.text = QStringLiteral("beta");
                QFile::remove(dir.filePath("3.txt"));
            }
            if (file.endsWith(QLatin1String("4.txt")))
                r.opts.text.clear();
        };
        r.search.run(dir.path());
        // Each file's hit: the blue part of its row.
        QStringList summary;
        for (const Row& row : r.rows)
            for (const vexa::MessageSegment& part : vexa::markup::parse(row.text))
                if (part.color == QColor(Qt::blue))
                    summary.append(QFileInfo(row.file).fileName() + " " + part.text);
        QCOMPARE(summary, (QStringList{"1.txt alpha", "2.txt beta"}));
    }

    // The valid copy of bad bytes against the decoder itself: it is the UTF-8
    // of what QString::fromUtf8() makes of them (as many U+FFFD for each bad
    // sequence, a mark at the start left out), its line feeds lead back to
    // those of the bytes, and the valid length says where the first bad
    // byte is. Over each hostile sequence alone, each pair of them, and
    // random runs of them and of random bytes.
    void utf8Repair()
    {
        const QList<QByteArray> hostile = hostileUtf8();
        QList<QByteArray> inputs;
        for (const QByteArray& a : hostile)
            for (const QByteArray& b : hostile)
                inputs.append(a + b);
        Random random{11};
        for (int i = 0; i < 20000; ++i) {
            QByteArray s;
            const int parts = int(random() % 14);
            for (int k = 0; k < parts; ++k)
                s += hostile.at(random() % hostile.size());
            inputs.append(s);
            QByteArray raw(int(random() % 70), '\0');
            for (char& c : raw)
                c = char(random() % 3 ? 0x80 + random() % 0x80 : random() % 0x80);
            inputs.append(raw);
        }
        vexa::Utf8Repair repair;
        int bad = 0;
        for (const QByteArray& in : std::as_const(inputs)) {
            const QByteArray decoded = QString::fromUtf8(in).toUtf8();
            repair.assign(in.constData(), in.size());
            const QByteArray copy(repair.data(), repair.size());
            QCOMPARE(copy.toHex(' '), decoded.toHex(' '));
            const QByteArray unmarked = in.startsWith("\xEF\xBB\xBF") ? in.mid(3) : in;
            const bool valid = decoded == unmarked;
            bad += !valid;
            const qsizetype length = vexa::validUtf8Length(in.constData(), in.size());
            QCOMPARE(length == in.size(), valid);
            // The valid part is valid, and one byte more is not.
            const QByteArray head = in.left(length);
            QCOMPARE(QString::fromUtf8(head).toUtf8(),
                     head.startsWith("\xEF\xBB\xBF") ? head.mid(3) : head);
            if (!valid)
                QVERIFY(QString::fromUtf8(in.mid(length)).startsWith(QChar::ReplacementCharacter));
            QList<qsizetype> feeds;
            QList<qsizetype> mapped;
            for (qsizetype at = 0; at < in.size(); ++at)
                if (in.at(at) == '\n')
                    feeds.append(at);
            for (qsizetype at = 0; at < copy.size(); ++at)
                if (copy.at(at) == '\n')
                    mapped.append(repair.source(at));
            QCOMPARE(mapped, feeds);
            QCOMPARE(repair.source(copy.size()), in.size());
        }
        QVERIFY(bad > inputs.size() / 2);
    }

    // Expressions without a text every match holds, over UTF-8 that is not
    // valid (found on the bytes of a valid copy), and over UTF-16: the rows
    // of each line decoded and matched on its own, where the bad bytes are
    // U+FFFD that ".", "\W" or a negated class match, at the ends of the
    // blocks read and of the pieces of a long line.
    void invalidUtf8Rows_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray lone;
        for (int b = 0x80; b <= 0xFF; ++b) {
            const char c = char(b);
            lone +=
                QByteArray("v1.2.") + c + "3 a" + c + "b x" + c + c + "9 " + c + "4.5.6" + c + "\n";
        }
        QTest::newRow("bytes 80-FF alone") << lone;
        QTest::newRow("cut short") << QByteArray("x \xC3\n\xE2\x82 1.2.3\r\na\xF0\x9F\x98"
                                                 "b 4.5.6 \xF0\x9F\nend 7.8.9 a\xE2");
        QTest::newRow("overlong") << QByteArray("a\xC0\xAF"
                                                "b 1.2\xE0\x80\xAF"
                                                "3\n\xF0\x80\x80\xAF 4.5.6\xC1\xBF\n");
        QTest::newRow("surrogates and past U+10FFFF")
            << QByteArray("a\xED\xA0\x80"
                          "b 1.\xED\xBF\xBF.2\n3.4.5\xF4\x90\x80\x80 a\xF5"
                          "b\nx\xF8\x88\x80\x80\x80"
                          "9 \xFC\x84\x80\x80\x80\x80\n");
        QTest::newRow("mark, valid text and bad bytes")
            << QByteArray("\xEF\xBB\xBF"
                          "1.2.3 a\xFF"
                          "b\n\xC3\xA9t\xC3\xA9 a\xEF\xBB\xBF"
                          "b 7.7.7 \xE2\x82\xAC\xFE\n");
        QTest::newRow("marks at line starts") << QByteArray("x\n\xEF\xBB\xBF"
                                                            "1.2.3 a\xFF"
                                                            "b\n\xEF\xBB\xBF"
                                                            "1.4.5 x9\n\xEF\xBB\xBF\xFF"
                                                            "x9.9.9\n");
        // Random lines of hostile sequences over several blocks.
        {
            const QList<QByteArray> hostile = hostileUtf8();
            Random random{5};
            QByteArray many;
            while (many.size() < 700 * 1024) {
                const int parts = int(random() % 30);
                for (int k = 0; k < parts; ++k) {
                    const QByteArray& h = hostile.at(random() % hostile.size());
                    // A mark would start some line: the search decodes it
                    // away there, decoded text around it keeps it.
                    if (h != "\xEF\xBB\xBF" && h != "\r\n")
                        many += h;
                }
                many += '\n';
            }
            QTest::newRow("across blocks") << many;
        }
        // A long line cut in pieces, one ending in a sequence cut short and
        // one in a lone byte, the next beginning with a hit.
        {
            const qsizetype piece = FileSearch::maxLine;
            QByteArray line(2 * piece + piece / 2, 'a');
            line.replace(piece - 8, 8, "x9.9.\xF0\x9F\x98");
            line.replace(piece, 6, "7.7.7 ");
            line.replace(2 * piece - 2, 8,
                         "a\xFF"
                         "5.5.5b");
            line.replace(2 * piece + 100, 4,
                         "a\xC0"
                         "b.");
            QTest::newRow("long line pieces") << QByteArray("1.2.\xFF\n" + line + "\n6.6.6\n");
        }
        {
            const QString text = QStringLiteral("a\uFFFDb 1.2.3\r\n\U0001F600 4.\u00e95.6 x\n"
                                                "\u00c9t\u00e9 9.9\uFFFD9\n");
            QByteArray u16("\xFF\xFE");
            for (QChar c : text)
                u16 += char(c.unicode() & 0xFF), u16 += char(c.unicode() >> 8);
            QTest::newRow("UTF-16") << u16;
        }
    }
    void invalidUtf8Rows()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath("f.txt");
        QVERIFY(write(path, bytes));
        const struct {
            const char* pattern;
            bool caseSensitive;
        } expressions[] = {
            {"[0-9]+\\.[0-9]+\\.[0-9]+", true},
            {"a.b", true},
            {"\\d\\W+\\d", true},
            {"[^a-z0-9 ]+", true},
            {"^\\S\\S", true},
            {"\\bx.\\d", true},
            {"\u00e9.", false},
            {"\\w\\W\\w", false},
            {"\\w+\\d", true},
            {"\\b\\d+", true},
            {"\\B\\d", true},
            {"^1\\.", true},
        };
        int matched = 0;
        for (const auto& e : expressions) {
            const QString pattern = QString::fromUtf8(e.pattern);
            Recorder r;
            r.opts = {pattern, e.caseSensitive, false, true};
            r.search.processFile(path);
            QRegularExpression::PatternOptions o = QRegularExpression::UseUnicodePropertiesOption;
            if (!e.caseSensitive)
                o |= QRegularExpression::CaseInsensitiveOption;
            const QRegularExpression re(xqwidgets::Pattern::translate(pattern), o);
            QVERIFY(re.isValid());
            const QStringList expected = rowsOfDecodedLines(path, re);
            matched += expected.size() > 1;
            if (r.texts() != expected) {
                const QStringList got = r.texts();
                qsizetype i = 0;
                while (i < got.size() && i < expected.size() && got.at(i) == expected.at(i))
                    ++i;
                QFAIL(qPrintable(QStringLiteral("%1: %2 rows, %3 expected; first difference at "
                                                "%4: %5 / %6")
                                     .arg(pattern)
                                     .arg(got.size())
                                     .arg(expected.size())
                                     .arg(i)
                                     .arg(got.value(i).left(200), expected.value(i).left(200))));
            }
        }
        QVERIFY(matched >= 4);
    }

    // In bad UTF-8 as in good: a line the engine gives up on is decided, the
    // options read at each yield change the matcher in the middle of a block
    // (from the valid copy to the bytes and back), and a stop holds.
    void invalidUtf8GiveUpChangeAndStop()
    {
        QTemporaryDir dir;
        const QByteArray xs(40, 'x');
        QVERIFY(write(dir.filePath("giveup.txt"),
                      xs + "\xFFzy\nxxy \xFF\n" + xs + "zy\xC0\n\xC0last xxY\n"));
        Recorder r;
        r.opts = {QStringLiteral("(x+x+)+[yY]"), true, false, true};
        r.search.processFile(dir.filePath("giveup.txt"));
        QCOMPARE(r.texts(),
                 (QStringList{FileSearch::headerRow(dir.filePath("giveup.txt")),
                              FileSearch::hitRow(2, QStringLiteral("xxy \uFFFD"), 0, 3),
                              FileSearch::hitRow(4, QStringLiteral("\uFFFDlast xxY"), 6, 3)}));

        QByteArray lines;
        for (int i = 0; i < 3000; ++i)
            lines += "\xC0\xFF 1.2.3 \xE2\x82 alpha\n";
        QVERIFY(write(dir.filePath("change.txt"), lines));
        Recorder c;
        c.opts = {QStringLiteral("\\d\\W\\d"), true, false, true};
        c.search.setYieldInterval(0);
        // The last line with a row when the options changed, and then stopped.
        int toPlain = 0;
        int toExpression = 0;
        int stopped = 0;
        c.search.yield = [&](const QString&) {
            const int line = c.rows.isEmpty() ? 0 : c.rows.last().line;
            if (line >= 100 && !toPlain) {
                toPlain = line;
                c.opts = {QStringLiteral("alpha"), true, false, false};
            } else if (line >= 200 && !toExpression) {
                toExpression = line;
                c.opts = {QStringLiteral("\\d\\.\\d\\.\\d"), true, false, true};
            } else if (line >= 2500 && !stopped) {
                stopped = line;
                c.search.cancel();
            }
        };
        c.search.processFile(dir.filePath("change.txt"));
        QVERIFY2(toPlain >= 100 && toExpression > toPlain && stopped > toExpression,
                 qPrintable(QStringLiteral("%1 %2 %3 %4")
                                .arg(toPlain)
                                .arg(toExpression)
                                .arg(stopped)
                                .arg(c.rows.size())));
        // Every line once, up to the stop, each with the hit of its options.
        QCOMPARE(c.rows.size(), stopped + 1);
        for (int i = 1; i < c.rows.size(); ++i) {
            const Row& row = c.rows.at(i);
            QCOMPARE(row.line, i);
            const QString hit = i <= toPlain        ? QStringLiteral("1.2")
                                : i <= toExpression ? QStringLiteral("alpha")
                                                    : QStringLiteral("1.2.3");
            const qsizetype at = i <= toPlain ? 3 : i <= toExpression ? 12 : 3;
            QCOMPARE(row.text,
                     FileSearch::hitRow(i, QStringLiteral("\uFFFD\uFFFD 1.2.3 \uFFFD\uFFFD alpha"),
                                        at, hit.size()));
        }
    }

    void invalidExpressions_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::newRow("open group") << "(";
        QTest::newRow("open class") << "[";
        QTest::newRow("bad class range") << "[z-a]";
    }
    void invalidExpressions()
    {
        QFETCH(QString, pattern);
        SearchOptions o{pattern, false, false, true};
        QVERIFY(!FileSearch::error(o).isEmpty());
        // As plain text the same characters are searched for.
        o.regExp = false;
        QCOMPARE(FileSearch::error(o), QString());
    }
};

QTEST_GUILESS_MAIN(TestFileSearch)
#include "tst_filesearch.moc"

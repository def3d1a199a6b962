// The expression engine: the same answers as QRegularExpression on UTF-16
// text and on UTF-8 bytes, a bounded give-up on a pattern that backtracks
// without end (told apart from no match), matches on the valid parts of bad
// UTF when asked, partial answers.

#include "xqwidgets/xqeditor/patternengine.h"

#include <QRegularExpression>
#include <QtTest>

using xqwidgets::PatternEngine;

class TestPatternEngine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sameAsQRegularExpression_data();
    void sameAsQRegularExpression();
    void hostilePatternGivesUpPerLine();
    void invalidUtf();
    void partialAnswers();
    void compileErrors();
    void fullMatchDecidesWhatMatchGaveUpOn_data();
    void fullMatchDecidesWhatMatchGaveUpOn();
    void fullMatchStops();
};

void TestPatternEngine::sameAsQRegularExpression_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("caseInsensitive");
    QTest::addColumn<QString>("subject");
    QTest::newRow("digits") << QStringLiteral("[0-9]+\\.[0-9]+") << false
                            << QStringLiteral("version 1.22 and 3.4");
    QTest::newRow("caseless word")
        << QStringLiteral("\\bfoo\\w*") << true << QStringLiteral("xfoo FOObar Foo");
    QTest::newRow("non-ASCII before")
        << QStringLiteral("b+") << false << QStringLiteral("\u00e9\u4e2d\U0001F600 abbb b");
    QTest::newRow("caseless non-ASCII")
        << QStringLiteral("\u00c9t\u00c9") << true << QStringLiteral("un \u00e9t\u00e9 chaud");
    QTest::newRow("unicode class")
        << QStringLiteral("\\w+") << false << QStringLiteral("-- \u00fcber \u03b1\u03b2 --");
    QTest::newRow("empty matches") << QStringLiteral("x*") << false << QStringLiteral("abxxc");
    QTest::newRow("look-behind") << QStringLiteral("(?<=a)b") << false << QStringLiteral("cb ab");
}

// Every match from every start, in units of each subject kind.
void TestPatternEngine::sameAsQRegularExpression()
{
    QFETCH(QString, pattern);
    QFETCH(bool, caseInsensitive);
    QFETCH(QString, subject);
    QRegularExpression::PatternOptions qo = QRegularExpression::UseUnicodePropertiesOption;
    int eo = 0;
    if (caseInsensitive) {
        qo |= QRegularExpression::CaseInsensitiveOption;
        eo |= PatternEngine::CaseInsensitive;
    }
    const QRegularExpression re(pattern, qo);
    PatternEngine e16;
    PatternEngine e8;
    QVERIFY(e16.compile(pattern, PatternEngine::Utf16, eo));
    QVERIFY(e8.compile(pattern, PatternEngine::Utf8, eo));
    const QByteArray bytes = subject.toUtf8();
    for (qsizetype from = 0; from <= subject.size(); ++from) {
        if (from > 0 && subject.at(from - 1).isHighSurrogate())
            continue;
        const QRegularExpressionMatch m = re.match(subject, from);
        qsizetype length = -1;
        const qsizetype at = e16.match(subject, from, &length);
        QCOMPARE(at, m.hasMatch() ? m.capturedStart() : PatternEngine::NoMatch);
        if (at >= 0)
            QCOMPARE(length, m.capturedLength());
        // The same in bytes: offsets are the UTF-8 lengths of what precedes.
        const qsizetype byteFrom = subject.left(from).toUtf8().size();
        qsizetype byteLength = -1;
        const qsizetype byteAt = e8.match(bytes.constData(), bytes.size(), byteFrom, &byteLength);
        if (!m.hasMatch()) {
            QCOMPARE(byteAt, PatternEngine::NoMatch);
            continue;
        }
        QCOMPARE(byteAt, subject.left(m.capturedStart()).toUtf8().size());
        QCOMPARE(byteLength, m.captured().toUtf8().size());
    }
}

// "(x+x+)+y" over lines of forty x's and "zy": each line gives up within
// its limit (which QRegularExpression's default would spend seconds on), and
// a line where the pattern matches is still found.
void TestPatternEngine::hostilePatternGivesUpPerLine()
{
    for (PatternEngine::Unit unit : {PatternEngine::Utf16, PatternEngine::Utf8}) {
        PatternEngine e;
        QVERIFY(e.compile(QStringLiteral("(x+x+)+y"), unit, 0));
        const QString hostile = QString(40, u'x') + QStringLiteral("zy");
        const QString fine = QStringLiteral("xxy");
        const quint64 before = PatternEngine::gaveUpCount();
        for (int line = 0; line < 20; ++line) {
            qsizetype length = 0;
            const QByteArray bytes = hostile.toUtf8();
            const qsizetype at = unit == PatternEngine::Utf16
                                     ? e.match(hostile, 0, &length)
                                     : e.match(bytes.constData(), bytes.size(), 0, &length);
            QCOMPARE(at, PatternEngine::GaveUp);
        }
        QCOMPARE(PatternEngine::gaveUpCount() - before, quint64(20));
        qsizetype length = 0;
        const QByteArray bytes = fine.toUtf8();
        const qsizetype at = unit == PatternEngine::Utf16
                                 ? e.match(fine, 0, &length)
                                 : e.match(bytes.constData(), bytes.size(), 0, &length);
        QCOMPARE(at, 0);
        QCOMPARE(length, 3);
    }
}

void TestPatternEngine::invalidUtf()
{
    const QByteArray bad("\xff\xfe ab\xc3 ab");
    const QString lone = QString(QChar(0xD800)) + QStringLiteral(" ab");
    for (bool tolerant : {false, true}) {
        const int options = tolerant ? PatternEngine::InvalidUtf : 0;
        PatternEngine e8;
        PatternEngine e16;
        QVERIFY(e8.compile(QStringLiteral("a."), PatternEngine::Utf8, options));
        QVERIFY(e16.compile(QStringLiteral("a."), PatternEngine::Utf16, options));
        qsizetype length = 0;
        // Without tolerance a subject that is not valid UTF matches nothing;
        // with it, only the bad units never match.
        QCOMPARE(e8.match(bad.constData(), bad.size(), 0, &length),
                 tolerant ? 3 : PatternEngine::NoMatch);
        QCOMPARE(e16.match(lone, 0, &length), tolerant ? 2 : PatternEngine::NoMatch);
        PatternEngine any;
        QVERIFY(any.compile(QStringLiteral("b."), PatternEngine::Utf8, options));
        // "b" then the bad byte 0xC3: not a match; the second "ab" has none after.
        QCOMPARE(any.match(bad.constData(), bad.size(), 0, &length), PatternEngine::NoMatch);
    }
}

void TestPatternEngine::partialAnswers()
{
    PatternEngine e;
    QVERIFY(e.compile(QStringLiteral("ab+"), PatternEngine::Utf16, 0));
    qsizetype length = 0;
    // More b's could follow: the match is not final.
    QCOMPARE(e.match(QStringLiteral("xabb"), 0, &length, PatternEngine::PartialHard),
             PatternEngine::Partial);
    QCOMPARE(e.match(QStringLiteral("xabbc"), 0, &length, PatternEngine::PartialHard), 1);
    QCOMPARE(length, 3);
    QCOMPARE(e.match(QStringLiteral("xyz"), 0, &length, PatternEngine::PartialHard),
             PatternEngine::NoMatch);
    QCOMPARE(e.match(QStringLiteral("xab"), 1, &length, PatternEngine::Anchored), 1);
    QCOMPARE(e.match(QStringLiteral("xab"), 0, &length, PatternEngine::Anchored),
             PatternEngine::NoMatch);
}

void TestPatternEngine::compileErrors()
{
    PatternEngine e;
    QString error;
    QVERIFY(!e.compile(QStringLiteral("a(b"), PatternEngine::Utf8, 0, &error));
    QVERIFY(!e.isValid());
    QVERIFY(error.contains(QLatin1String("parenthes")));
    qsizetype length = 0;
    QCOMPARE(e.match("ab", 2, 0, &length), PatternEngine::NoMatch);
}

namespace
{
const QString kWords = QStringLiteral("word ").repeated(12) + QStringLiteral("end! x = y;");
}

void TestPatternEngine::fullMatchDecidesWhatMatchGaveUpOn_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<qsizetype>("at");
    QTest::addColumn<qsizetype>("length");
    // Backtracking explodes from every word; the match is at the end.
    QTest::newRow("words") << QStringLiteral("(\\w+\\s?)+;") << kWords << qsizetype(69)
                           << qsizetype(2);
    // Of "y;" and "y;;" the backtracking match prefers the first.
    QTest::newRow("preferred length") << QStringLiteral("(\\w+\\s?)+(;|;;)")
                                      << kWords + QLatin1Char(';') << qsizetype(69) << qsizetype(2);
    QTest::newRow("minimal") << QStringLiteral("(?U)(\\w+\\s?)+;+") << kWords + QLatin1Char(';')
                             << qsizetype(69) << qsizetype(2);
    QTest::newRow("no match") << QStringLiteral("(x+x+)+y")
                              << QString(40, u'x') + QStringLiteral("zy") << PatternEngine::NoMatch
                              << qsizetype(0);
    // A back reference, which only backtracking takes: still not known.
    QTest::newRow("back reference")
        << QStringLiteral("(\\w+\\s?)+\\1;") << kWords << PatternEngine::GaveUp << qsizetype(0);
}

// What match() gives up on, matchFully() decides, in both units.
void TestPatternEngine::fullMatchDecidesWhatMatchGaveUpOn()
{
    QFETCH(QString, pattern);
    QFETCH(QString, subject);
    QFETCH(qsizetype, at);
    QFETCH(qsizetype, length);
    const std::atomic<bool> stop{false};
    const QByteArray bytes = subject.toUtf8();
    for (PatternEngine::Unit unit : {PatternEngine::Utf16, PatternEngine::Utf8}) {
        PatternEngine e;
        QVERIFY(e.compile(pattern, unit, PatternEngine::InvalidUtf));
        // A tenth of the work, so that the back reference gives up sooner.
        e.setLimit({10000, 0});
        qsizetype n = -1;
        const bool u16 = unit == PatternEngine::Utf16;
        QCOMPARE(u16 ? e.match(subject, 0, &n) : e.match(bytes.constData(), bytes.size(), 0, &n),
                 PatternEngine::GaveUp);
        const qsizetype got = u16 ? e.matchFully(subject, 0, &n, stop)
                                  : e.matchFully(bytes.constData(), bytes.size(), 0, &n, stop);
        QCOMPARE(got, at);
        if (at >= 0)
            QCOMPARE(n, length);
    }
}

// A match over ten million characters that would take seconds, run aside:
// the waiting thread is called back every few milliseconds, and its stop
// ends the match.
void TestPatternEngine::fullMatchStops()
{
    const QString subject(10000000, u'a');
    PatternEngine e;
    QVERIFY(e.compile(QStringLiteral(".*.*.*.*.*b"), PatternEngine::Utf16, 0));
    std::atomic<bool> stop{false};
    qsizetype at = 0;
    qsizetype length = 0;
    int waits = 0;
    xqwidgets::runAside([&] { at = e.matchFully(subject, 0, &length, stop); }, stop,
                        [&] { return ++waits < 5; });
    QCOMPARE(waits, 5);
    QVERIFY(stop);
    QCOMPARE(at, PatternEngine::Stopped);
}

QTEST_GUILESS_MAIN(TestPatternEngine)
#include "tst_patternengine.moc"

// The line of text: its edits in place, the tab and attribute notes that
// follow them, and its marks.

#include "xqwidgets/slotpool.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textlinewrite.h"

#include <QColor>
#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <cstring>
#include <type_traits>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TEST_ASAN 1
#endif
#endif

using namespace xqwidgets;

namespace
{

const char* const kReadDeletedLine = "XQWIDGETS_TEST_READ_DELETED_LINE";

// Run in a child process: reads the first byte of a deleted line while
// another line keeps the pool's block alive, so only the pool itself can
// tell that the slot is free.
int readDeletedLine()
{
    auto* keep = new TextLine(QStringLiteral("keep"));
    auto* gone = new TextLine(QStringLiteral("gone"));
    delete gone;
    // The fault staged on purpose, which the compiler rightly warns about.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif
    const int first = reinterpret_cast<const volatile char*>(gone)[0];
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    delete keep;
    return first == 0x7f ? 3 : 0;
}

// A line's writes under QString's names, so that one edit runs on a line
// and on a plain string.
struct LineWriter {
    TextLine& line;
    void insert(qsizetype i, const QString& s) { TextLineWrite::insert(line, i, s); }
    void replace(qsizetype i, qsizetype n, const QString& s)
    {
        TextLineWrite::replace(line, uint(i), uint(n), s);
    }
    void append(const QString& s) { TextLineWrite::append(line, s); }
    void remove(qsizetype i, qsizetype n) { TextLineWrite::remove(line, i, n); }
    void truncate(qsizetype n) { TextLineWrite::truncate(line, n); }
};

// A line's text is written only through the document (TextLineWrite): none
// of QString's writers may be reached on a line, since a write that skips
// the document leaves its revision and context pass behind. Each check is
// true when the expression compiles.
#define LINE_ACCEPTS(name, expression)                                                             \
    template <typename T, typename = void> struct name : std::false_type {                         \
    };                                                                                             \
    template <typename T> struct name<T, std::void_t<decltype(expression)>> : std::true_type {     \
    }
LINE_ACCEPTS(AddAssign, std::declval<T&>() += QString());
LINE_ACCEPTS(Assign, std::declval<T&>() = QLatin1String("x"));
LINE_ACCEPTS(Append, std::declval<T&>().append(QString()));
LINE_ACCEPTS(Insert, std::declval<T&>().insert(0, QString()));
LINE_ACCEPTS(Remove, std::declval<T&>().remove(0, 1));
LINE_ACCEPTS(Replace, std::declval<T&>().replace(0, 1, QString()));
LINE_ACCEPTS(Truncate, std::declval<T&>().truncate(0));
LINE_ACCEPTS(Set, std::declval<T&>().set(QString()));
LINE_ACCEPTS(RemoveSpaces, std::declval<T&>().removeSpaces());
LINE_ACCEPTS(Resize, std::declval<T&>().resize(0));
LINE_ACCEPTS(Clear, std::declval<T&>().clear());
LINE_ACCEPTS(Fill, std::declval<T&>().fill(QChar()));
LINE_ACCEPTS(Chop, std::declval<T&>().chop(1));
LINE_ACCEPTS(Prepend, std::declval<T&>().prepend(QString()));
LINE_ACCEPTS(WriteAt, std::declval<T&>()[0] = QChar());
LINE_ACCEPTS(WriteData, *std::declval<T&>().data() = QChar());
LINE_ACCEPTS(WriteBegin, *std::declval<T&>().begin() = QChar());
LINE_ACCEPTS(Size, std::declval<T&>().size());
LINE_ACCEPTS(Mid, std::declval<T&>().mid(0, 1));
#undef LINE_ACCEPTS
// Each check accepts the expression on a plain QString, so a check that
// could never pass shows here.
static_assert(AddAssign<QString>::value && Assign<QString>::value && Append<QString>::value &&
              Insert<QString>::value && Remove<QString>::value && Replace<QString>::value &&
              Truncate<QString>::value && Resize<QString>::value && Clear<QString>::value &&
              Fill<QString>::value && Chop<QString>::value && Prepend<QString>::value &&
              WriteAt<QString>::value && WriteData<QString>::value && WriteBegin<QString>::value);
static_assert(!AddAssign<TextLine>::value && !Assign<TextLine>::value && !Append<TextLine>::value &&
                  !Insert<TextLine>::value && !Remove<TextLine>::value &&
                  !Replace<TextLine>::value && !Truncate<TextLine>::value &&
                  !Set<TextLine>::value && !RemoveSpaces<TextLine>::value &&
                  !Resize<TextLine>::value && !Clear<TextLine>::value && !Fill<TextLine>::value &&
                  !Chop<TextLine>::value && !Prepend<TextLine>::value &&
                  !WriteAt<TextLine>::value && !WriteData<TextLine>::value &&
                  !WriteBegin<TextLine>::value,
              "a line's text is written through the document only");
// Reading stays as it was.
static_assert(Size<TextLine>::value && Mid<TextLine>::value &&
              std::is_convertible_v<const TextLine&, const QString&>);

} // namespace

class TestTextLine : public QObject
{
    Q_OBJECT

private slots:
    void textLineBasics();
    void textLineEditsInPlace();
    void textLineTabsFollowEdits();
    void textLineEditedFrom();
    void textLineAttributesAreUnsigned();
    void textLineCompactAttributes_data();
    void textLineCompactAttributes();
    void attributesNeverOutliveText_data();
    void attributesNeverOutliveText();
    void textLineMarks();
    void deletedLineIsPoisoned();
    void linePoolHoldsWhatItsLinesNeed_data();
    void linePoolHoldsWhatItsLinesNeed();
};

void TestTextLine::textLineBasics()
{
    TextLine empty;
    QCOMPARE(empty.firstChar(), -1);
    QVERIFY(!TextLineWrite::removeSpaces(empty));
    QCOMPARE(empty.attribute(0), 0);

    struct Case {
        QString text;
        QString trimmed;
        bool removed;
        int firstChar;
    };
    const Case cases[] = {
        {"abc \t ", "abc", true, 0},
        {"   ", "", true, -1},
        {"  x", "  x", false, 2},
        {"\tif x:", "\tif x:", false, 1},
    };
    for (const Case& c : cases) {
        TextLine l(c.text);
        QCOMPARE(l.firstChar(), c.firstChar);
        QCOMPARE(TextLineWrite::removeSpaces(l), c.removed);
        QCOMPARE(QString(l), c.trimmed);
    }

    TextLine l("hello");
    TextLineWrite::replace(l, 1, 3, "ipp");
    QCOMPARE(QString(l), QString("hippo"));
    TextLineWrite::set(l, "ab");
    QCOMPARE(QString(l), QString("ab"));
}

// Edits work on the line's storage in place where it has room. The text a
// line was made from (which it shares until its first edit) never changes,
// a line given itself as the text to insert gets its old text, and typing
// on a long line after its first edit takes no new storage.
void TestTextLine::textLineEditsInPlace()
{
    enum Op { Insert, Replace, Append, Remove, Truncate };
    struct Case {
        const char* name;
        Op op;
        int index;
        int len;
        QString with; // "@" stands for the line itself
    };
    const Case cases[] = {
        {"insert at start", Insert, 0, 0, "xy"},
        {"insert inside", Insert, 30, 0, "xy"},
        {"insert at end", Insert, 1000, 0, "xy"},
        {"insert past end pads", Insert, 1005, 0, "xy"},
        {"insert itself", Insert, 2, 0, "@"},
        {"replace shorter", Replace, 1, 30, "z"},
        {"replace longer", Replace, 1, 2, "wxyz"},
        {"replace to end with more", Replace, 995, 10, "0123456789"},
        {"replace with itself", Replace, 3, 1, "@"},
        {"append", Append, 0, 0, "tail"},
        {"append itself", Append, 0, 0, "@"},
        {"remove", Remove, 20, 20, ""},
        {"truncate", Truncate, 40, 0, ""},
    };
    const QString original = QStringLiteral("abcdefghij").repeated(100);
    for (const Case& c : cases) {
        // A line sharing its text, and one with storage of its own and no
        // room to spare.
        for (bool sharing : {true, false}) {
            QString shared = original;
            TextLine line(sharing ? shared : QString(original.constData(), original.size()));
            // The same edit on the line and on a plain string.
            auto edit = [&c](auto& target, const QString& with) {
                switch (c.op) {
                case Insert:
                    target.insert(c.index, with);
                    break;
                case Replace:
                    target.replace(c.index, c.len, with);
                    break;
                case Append:
                    target.append(with);
                    break;
                case Remove:
                    target.remove(c.index, c.len);
                    break;
                case Truncate:
                    target.truncate(c.index);
                    break;
                }
            };
            const bool self = c.with == QLatin1String("@");
            QString model = original;
            edit(model, self ? original : c.with);
            LineWriter writer{line};
            edit(writer, self ? static_cast<const QString&>(line) : c.with);
            QVERIFY2(QString(line) == model, c.name);
            QVERIFY2(shared == original, c.name);
        }
    }

    // A long line: after the first key, keys at the start and further on
    // are made in the storage the first one left.
    const QString text(100000, QLatin1Char('a'));
    TextLine line(text);
    TextLineWrite::insert(line, 0, QStringLiteral("x"));
    const QChar* storage = line.constData();
    for (int i = 1; i < 50; ++i)
        TextLineWrite::insert(line, i % 3 == 0 ? 0 : i, QStringLiteral("y"));
    QCOMPARE(line.constData(), storage);
    QCOMPARE(line.size(), text.size() + 50);
    QCOMPARE(line.count(QLatin1Char('a')), text.size());
    QCOMPARE(text, QString(100000, QLatin1Char('a')));
}

// What a line knows of its tabs follows every kind of edit: each answer of
// tabIn equals a search of the text, after random edits that add and take
// away tabs (the last one too).
// A reader's stamp learns the first column the edits since touched, and
// nothing is taken as unchanged that may not be.
void TestTextLine::textLineEditedFrom()
{
    TextLine line(QStringLiteral("abcdefghij"));
    TextLine other(QStringLiteral("abcdefghij"));
    const quint64 stamp = line.editStamp();
    QCOMPARE(line.editedFrom(stamp), qsizetype(-1));
    QCOMPARE(line.editStamp(), stamp);
    TextLineWrite::insert(line, 8, QStringLiteral("x"));
    TextLineWrite::remove(line, 5, 2);
    TextLineWrite::append(line, QStringLiteral("yz"));
    QCOMPARE(line.editedFrom(stamp), qsizetype(5));
    const quint64 later = line.editStamp();
    QVERIFY(later != stamp);
    QCOMPARE(line.editedFrom(later), qsizetype(-1));
    TextLineWrite::truncate(line, 9);
    QCOMPARE(line.editedFrom(later), qsizetype(9));
    QCOMPARE(line.editedFrom(stamp), qsizetype(5));
    TextLineWrite::insert(line, 20, QStringLiteral("p")); // pads from the old end
    QCOMPARE(line.editedFrom(later), qsizetype(9));
    const quint64 padded = line.editStamp();
    TextLineWrite::set(line, QStringLiteral("new"));
    QCOMPARE(line.editedFrom(padded), qsizetype(0));
    // A stamp of another line, or one from before many edits, is not known.
    const quint64 others = other.editStamp();
    QCOMPARE(line.editedFrom(others), qsizetype(0));
    const quint64 old = line.editStamp();
    for (int i = 0; i < 100; ++i)
        TextLineWrite::append(line, QStringLiteral("w"));
    QCOMPARE(line.editedFrom(old), qsizetype(0));
    // A line never asked for a stamp knows none.
    TextLine fresh(QStringLiteral("abc"));
    QCOMPARE(fresh.editedFrom(stamp), qsizetype(0));
}

void TestTextLine::textLineTabsFollowEdits()
{
    QRandomGenerator rng(20261210);
    const QString alphabet = QStringLiteral("ab \t");
    auto piece = [&] {
        QString s;
        for (int n = int(rng.bounded(4)); n > 0; --n)
            s += alphabet.at(int(rng.bounded(alphabet.size())));
        return s;
    };
    TextLine line(QStringLiteral("abc"));
    QString model = line;
    for (int step = 0; step < 2000; ++step) {
        const int at = int(rng.bounded(int(model.size()) + 1));
        const int len = int(rng.bounded(3));
        switch (rng.bounded(6)) {
        case 0: {
            const QString s = piece();
            TextLineWrite::insert(line, at, s);
            model.insert(at, s);
            break;
        }
        case 1: {
            const QString s = piece();
            TextLineWrite::replace(line, uint(at), uint(len), s);
            model.replace(at, len, s);
            break;
        }
        case 2:
            TextLineWrite::remove(line, at, len);
            model.remove(at, len);
            break;
        case 3:
            TextLineWrite::truncate(line, at);
            model.truncate(at);
            break;
        case 4: {
            const QString s = piece();
            TextLineWrite::append(line, s);
            model.append(s);
            break;
        }
        default:
            if (rng.bounded(20) == 0) {
                model = piece();
                TextLineWrite::set(line, model);
            }
            break;
        }
        QCOMPARE(QString(line), model);
        const int from = int(rng.bounded(int(model.size()) + 1));
        const int to = int(rng.bounded(int(model.size()) + 2));
        const qsizetype want =
            from < to
                ? QStringView(model).first(qMin<qsizetype>(to, model.size())).indexOf(u'\t', from)
                : -1;
        QCOMPARE(line.tabIn(from, to), want);
        QCOMPARE(line.tabIn(0, line.size()), model.indexOf(QLatin1Char('\t')));
    }
}

void TestTextLine::textLineAttributesAreUnsigned()
{
    TextLine l("abcde");
    l.setAttributes(3, 2, 100);
    QCOMPARE(l.attribute(1), 0);
    QCOMPARE(l.attribute(2), 3);
    QCOMPARE(l.attribute(4), 3);
    QCOMPARE(l.attribute(5), 0);
    // Ids up to 255 read back as stored, never negative.
    l.setAttributes(200, 0, 1);
    l.setAttributes(255, 1, 2);
    QCOMPARE(l.attribute(0), 200);
    QCOMPARE(l.attribute(1), 255);
    // A new text takes none of the old attributes.
    TextLineWrite::set(l, "a");
    QCOMPARE(l.attribute(0), 0);
    QCOMPARE(l.attribute(2), 0);
    l.resetHighlight(7);
    QCOMPARE(l.attribute(0), 0);
    QCOMPARE(l.attribute(2), 0);
    QCOMPARE(l.highlightContext(), 7);
    QVERIFY(!l.isHighlighted());
    l.doneHighlight();
    QVERIFY(l.isHighlighted());
}

// Read run by run (as measuring does), a line gives the same attributes as
// read one by one, each run ending where the attribute changes.
static void compareRuns(const TextLine& l, int n)
{
    for (int i = 0; i < n + 2; ++i) {
        int j = i + 1;
        while (j < n && l.attribute(uint(j)) == l.attribute(uint(i)))
            ++j;
        uint end = 0;
        QCOMPARE(l.attributeRun(uint(i), &end), l.attribute(uint(i)));
        QCOMPARE(int(end), qMax(j, i + 1));
    }
}

// A finished line keeps its attributes in a compact form chosen by their
// shape; whatever the form, every character reads back what was written,
// one by one and run by run, characters past the written ones read 0, a
// line with marks keeps both, and writing again after the line was finished
// starts from what it held.
void TestTextLine::textLineCompactAttributes_data()
{
    QTest::addColumn<QList<int>>("ids");
    auto repeat = [](int id, int n) { return QList<int>(n, id); };
    QTest::newRow("one attribute") << repeat(5, 40);
    QTest::newRow("all plain") << repeat(0, 40);
    QTest::newRow("runs") << repeat(3, 4) + repeat(0, 1) + repeat(200, 7) + repeat(3, 30);
    QTest::newRow("run longer than 255") << repeat(9, 600) + repeat(1, 3) + repeat(9, 300);
    QList<int> every;
    for (int i = 0; i < 50; ++i)
        every << (i * 7) % 256;
    QTest::newRow("a new attribute at every character") << every;
    QTest::newRow("plain tail") << repeat(4, 10) + repeat(0, 30);
}

void TestTextLine::textLineCompactAttributes()
{
    QFETCH(QList<int>, ids);
    const int n = int(ids.size());
    for (bool marked : {false, true}) {
        TextLine l(QString(n, u'x'));
        if (marked)
            l.setMargin("bookmark", "1");
        l.resetHighlight(0);
        for (int i = 0; i < n; ++i)
            l.setAttributes(ids.at(i), uint(i), uint(i + 1));
        l.doneHighlight();
        for (int i = 0; i < n; ++i)
            QCOMPARE(l.attribute(uint(i)), ids.at(i));
        compareRuns(l, n);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(l.attribute(uint(n)), 0);
        QCOMPARE(l.attribute(uint(n + 1000)), 0);
        // Written over in part after it was finished.
        l.setAttributes(77, 1, 3);
        QCOMPARE(l.attribute(0), ids.at(0));
        QCOMPARE(l.attribute(1), 77);
        QCOMPARE(l.attribute(2), 77);
        QCOMPARE(l.attribute(uint(n - 1)), ids.at(n - 1));
        compareRuns(l, n);
        l.doneHighlight();
        QCOMPARE(l.attribute(2), 77);
        QCOMPARE(l.attribute(uint(n - 1)), ids.at(n - 1));
        compareRuns(l, n);
        if (marked) {
            l.delMargin("bookmark", "1");
            QCOMPARE(l.attribute(1), 77);
            QCOMPARE(l.attribute(uint(n - 1)), ids.at(n - 1));
        }
        l.resetHighlight(0);
        QCOMPARE(l.attribute(1), 0);
        QCOMPARE(l.attribute(uint(n - 1)), 0);
    }
}

// Attributes never outlive the characters they belong to: after an edit
// that shortens a line (an undo that takes back typed or replaced text, or
// puts back a line's earlier text), nothing is stored past its new end,
// whether a colouring pass stopped part way on it, or it was coloured whole
// and kept its attributes flat (long) or compact (short).
void TestTextLine::attributesNeverOutliveText_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("cut"); // a colouring pass stopped half way
    QTest::addColumn<QString>("edit");

    QTest::newRow("cut pass, earlier text put back") << 20000 << true << "set";
    QTest::newRow("cut pass, typed text taken back") << 20000 << true << "remove";
    QTest::newRow("cut pass, truncated") << 20000 << true << "truncate";
    QTest::newRow("long line, earlier text put back") << 6000 << false << "set";
    QTest::newRow("long line, typed text taken back") << 6000 << false << "remove";
    QTest::newRow("short line, replaced by less") << 100 << false << "replace";
    QTest::newRow("short line, truncated") << 100 << false << "truncate";
}

void TestTextLine::attributesNeverOutliveText()
{
    QFETCH(int, length);
    QFETCH(bool, cut);
    QFETCH(QString, edit);

    TextLine l(QString(length, u'x'));
    l.resetHighlight(0);
    if (cut) {
        // As a pass that ran out of time leaves the line: its states kept,
        // the attributes made so far written in place.
        TextLine::HighlightTrail* trail = l.highlightTrail(TextLine::ColouringPass, 1, true);
        trail->states.push_back(TextLine::HighlightState());
        l.setAttributes(5, 0, uint(length / 2));
        trail->cut = true;
    } else {
        l.setAttributes(5, 0, uint(length));
        l.doneHighlight();
    }
    const int keep = length / 4;
    if (edit == "set")
        TextLineWrite::set(l, QString(keep, u'y'));
    else if (edit == "remove")
        TextLineWrite::remove(l, keep, length - keep);
    else if (edit == "truncate")
        TextLineWrite::truncate(l, keep);
    else
        TextLineWrite::replace(l, uint(keep), uint(length - keep), QString());
    QCOMPARE(int(l.size()), keep);
    for (int i = keep; i < length + 2; ++i) {
        if (l.attribute(uint(i)) != 0)
            QFAIL(qPrintable(QStringLiteral("column %1 past the end has attribute %2")
                                 .arg(i)
                                 .arg(l.attribute(uint(i)))));
    }
    uint end = 0;
    l.attributeRun(uint(keep - 1), &end);
    QVERIFY(end <= uint(keep));
}

void TestTextLine::textLineMarks()
{
    TextLine l("x");
    QString cls, item;
    QVERIFY(!l.firstMargin(cls, item));
    l.setMargin("bookmark", "1");
    l.setMargin("bookmark", "1");
    l.setMargin("error", "e");
    l.delMargin("bookmark", "1");
    QCOMPARE(l.marginsForClass("bookmark"), QStringList({"1"}));
    QVERIFY(l.firstMargin(cls, item));
    QCOMPARE(cls, QString("bookmark"));
    l.delMargin("bookmark", "1");
    l.delMargin("error", "e");
    QVERIFY(!l.firstMargin(cls, item));
    l.delMargin("none", "x"); // nothing happens

    l.setLineColor(Qt::red);
    QCOMPARE(l.lineColor(), QColor(Qt::red));
    l.clearLineColor();
    QVERIFY(!l.lineColor().isValid());
    l.setMarked(5);
    QCOMPARE(l.marked(), 5);
}

// A line used after its deletion is reported by AddressSanitizer although
// its slot stays in the pool.
void TestTextLine::deletedLineIsPoisoned()
{
#ifndef TEST_ASAN
    QSKIP("only an AddressSanitizer build sees a read of a deleted line");
#endif
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kReadDeletedLine), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray report = child.readAllStandardError();
    QVERIFY2(child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0,
             "the deleted line was read without a report");
    QVERIFY2(report.contains("AddressSanitizer: use-after-poison"), report.constData());
}

void TestTextLine::linePoolHoldsWhatItsLinesNeed_data()
{
    QTest::addColumn<int>("lines");
    QTest::newRow("one") << 1;
    QTest::newRow("a small file") << 5000;
    QTest::newRow("1 MB of C++") << 30000;
    QTest::newRow("10 MB of C++") << 300000;
}

// The blocks the lines' pool takes grow with the number of lines: a 1 MB
// file's lines once took a block of 4 MiB on large pages, resident as soon
// as touched, which more than doubled what they needed.
void TestTextLine::linePoolHoldsWhatItsLinesNeed()
{
    QFETCH(int, lines);
    constexpr size_t slot = sizeof(TextLine);
    SlotPool<slot, alignof(TextLine)> pool;
    std::vector<void*> taken;
    for (int i = 0; i < lines; ++i) {
        taken.push_back(pool.allocate());
        std::memset(taken.back(), 0x5a, slot);
    }
    const size_t needed = size_t(lines) * slot;
    QVERIFY(pool.reservedBytes() >= needed);
    // Twice what they fill, or the first block, plus the rest of a large page.
    const size_t bound = qMax(2 * needed, size_t(4096) * slot) + kLargePageSize;
    QVERIFY2(
        pool.reservedBytes() <= bound,
        qPrintable(
            QStringLiteral("%1 bytes held for %2 needed").arg(pool.reservedBytes()).arg(needed)));
    for (void* p : taken)
        pool.release(p);
    QCOMPARE(pool.reservedBytes(), size_t(0));
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(kReadDeletedLine))
        return readDeletedLine();
    QCoreApplication app(argc, argv);
    TestTextLine test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_textline.moc"

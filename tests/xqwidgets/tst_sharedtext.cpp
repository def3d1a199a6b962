// Strings that share one block of storage (sharedtext.h), and the behaviour
// of QString's storage they rely on: when a Qt upgrade changes it, this
// test fails, not a user's document.

#include "xqwidgets/sharedtext.h"

#include <QTest>

#include <functional>

using namespace xqwidgets;

class TestSharedText : public QObject
{
    Q_OBJECT

private slots:
    void slicesShareTheBlock();
    void writesLeaveTheOtherSlices();
    void aSliceLeftAloneWritesInPlace();
    void textWithoutABlockIsCopied();
    void blockGoesWithItsLastString();
};

namespace
{

// A buffer with a block of its own: `lines` lines, line i "line<i>".
QString buffer(int lines)
{
    QString s;
    for (int i = 0; i < lines; ++i)
        s += QStringLiteral("line%1\n").arg(i);
    return s;
}

} // namespace

void TestSharedText::slicesShareTheBlock()
{
    const QString all = buffer(100);
    const qsizetype at = all.indexOf(QLatin1String("line7"));
    const QString s = sharedtext::slice(all, at, 5);
    QCOMPARE(s, QStringLiteral("line7"));
    // The same characters, not a copy of them, counted in the same block.
    QCOMPARE(s.constData(), all.constData() + at);
    QVERIFY(sharedtext::blockOf(s));
    QCOMPARE(sharedtext::blockOf(s), sharedtext::blockOf(all));
    QVERIFY(!s.isDetached());
    QVERIFY(!all.isDetached());
    QCOMPARE(sharedtext::blockBegin(s), sharedtext::blockBegin(all));
    QCOMPARE(sharedtext::blockCapacity(s), sharedtext::blockCapacity(all));
    QVERIFY(sharedtext::blockCapacity(all) >= all.size());
    // A slice's capacity() is the whole block's, wherever it starts in it.
    QCOMPARE(s.capacity(), sharedtext::blockCapacity(s));
    // A slice ends where its size says: the next character is the buffer's.
    QCOMPARE(s.constData()[5], QLatin1Char('\n'));
    // Pieces the line arithmetic asks for: none, and the buffer's last.
    QVERIFY(sharedtext::slice(all, at, 0).isNull());
    QCOMPARE(sharedtext::slice(all, all.size() - 1, 1), QStringLiteral("\n"));
    // A slice made from a pointer into the block: a stretch of lines.
    const QString two =
        sharedtext::sliceAt(s, reinterpret_cast<const char16_t*>(s.constData()), 11);
    QCOMPARE(two, QStringLiteral("line7\nline8"));
    QCOMPARE(sharedtext::blockOf(two), sharedtext::blockOf(all));
}

// Every way of writing a string that shares its block copies it first.
void TestSharedText::writesLeaveTheOtherSlices()
{
    const QString all = buffer(50);
    const QString before = all;
    const struct {
        const char* name;
        std::function<void(QString&)> write;
        const char* result;
    } writes[] = {
        {"append", [](QString& s) { s.append(QLatin1Char('x')); }, "line3x"},
        {"insert at the start", [](QString& s) { s.insert(0, QLatin1Char('x')); }, "xline3"},
        {"remove", [](QString& s) { s.remove(0, 1); }, "ine3"},
        {"resize", [](QString& s) { s.resize(7, QLatin1Char('x')); }, "line3xx"},
        {"write a character", [](QString& s) { s[0] = QLatin1Char('L'); }, "Line3"},
        {"write through data()", [](QString& s) { s.data()[4] = QLatin1Char('9'); }, "line9"},
    };
    for (const auto& w : writes) {
        QString s = sharedtext::slice(all, all.indexOf(QLatin1String("line3")), 5);
        w.write(s);
        QVERIFY2(s == QLatin1String(w.result), w.name);
        QVERIFY2(sharedtext::blockOf(s) != sharedtext::blockOf(all), w.name);
        QVERIFY2(all == before, w.name);
    }
}

// Once the buffer and the other slices are gone, a slice is alone in a
// block much larger than itself: it writes in place (hence a line takes a
// copy of its own before its first edit, see ownsSmallBlock).
void TestSharedText::aSliceLeftAloneWritesInPlace()
{
    QString all = buffer(1000);
    QString s = sharedtext::slice(all, 0, 5);
    QString other = sharedtext::slice(all, 6, 5);
    QVERIFY(!sharedtext::ownsSmallBlock(s));
    all = QString();
    other = QString();
    QVERIFY(s.isDetached());
    QVERIFY(!sharedtext::ownsSmallBlock(s));
    const void* block = sharedtext::blockOf(s);
    s.append(QLatin1String("xyz"));
    QCOMPARE(s, QStringLiteral("line0xyz"));
    QCOMPARE(sharedtext::blockOf(s), block);
    // A tight string of its own is what a line keeps.
    const QString own(s.constData(), s.size());
    QVERIFY(sharedtext::ownsSmallBlock(own));
}

// A literal or raw data has no block to count; its slices are copies.
void TestSharedText::textWithoutABlockIsCopied()
{
    static const QChar raw[] = {u'a', u'b', u'\n', u'c'};
    const QString texts[] = {QStringLiteral("ab\nc"), QString::fromRawData(raw, 4)};
    for (const QString& text : texts) {
        QVERIFY(!sharedtext::blockOf(text));
        const QString s = sharedtext::slice(text, 3, 1);
        QCOMPARE(s, QStringLiteral("c"));
        QVERIFY(sharedtext::blockOf(s));
        QVERIFY(s.constData() != text.constData() + 3);
    }
}

void TestSharedText::blockGoesWithItsLastString()
{
    QString a;
    QString b;
    {
        sharedtext::Block block(8);
        QVERIFY(!block.isNull());
        QVERIFY(block.capacity() >= 8);
        char16_t* p = block.data();
        for (char16_t c : u"ab\0cd")
            *p++ = c;
        a = block.share(block.data(), 2);
        b = block.share(block.data() + 3, 2);
    }
    // The handle is gone; the two strings hold the block.
    QCOMPARE(a, QStringLiteral("ab"));
    QCOMPARE(b, QStringLiteral("cd"));
    QCOMPARE(sharedtext::blockOf(a), sharedtext::blockOf(b));
    QVERIFY(!a.isDetached());
    a += QLatin1Char('!');
    QVERIFY(sharedtext::blockOf(a) != sharedtext::blockOf(b));
    QVERIFY(b.isDetached());
    // Freed with b (the sanitizer build reports a block left behind).
}

QTEST_GUILESS_MAIN(TestSharedText)
#include "tst_sharedtext.moc"

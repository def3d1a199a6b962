#include "fuzz/highlightfuzz.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

// Replays the committed corpus of malformed definitions and odd lines, and a
// fixed stream of random inputs, through the fuzzing entry point: each input
// must load and highlight without tripping an invariant, crashing or hanging.
class TestHighlightFuzz : public QObject
{
    Q_OBJECT

private slots:
    void corpus_data();
    void corpus();
    void randomInputs();
};

void TestHighlightFuzz::corpus_data()
{
    QTest::addColumn<QByteArray>("input");
    const QDir dir(QStringLiteral(VEXA_FUZZ_CORPUS));
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 20);
    for (const QString& name : files) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(name)) << f.readAll();
    }
}

void TestHighlightFuzz::corpus()
{
    QFETCH(QByteArray, input);
    const char* failure = highlightFuzzFailure(reinterpret_cast<const uint8_t*>(input.constData()),
                                               size_t(input.size()));
    QVERIFY2(!failure, failure);
}

void TestHighlightFuzz::randomInputs()
{
    // Random lines for every built-in, and random mutations of a definition.
    QRandomGenerator random(20240611);
    const QByteArray base("<Highlight name=\"R\"><Items><Text/><A/></Items><Break><n><c "
                          "regexp=\"a\" lineEndContent=\"m\"/></n><m><c regexp=\"b\" "
                          "emptyContent=\"n\"/></m></Break><Contents><n><c item=\"A\" "
                          "regexp=\"a+\" lineEndContent=\"m\"/></n><m><c item=\"A\" regexp=\"b\" "
                          "mode=\"until\" emptyContent=\"n\"/></m></Contents></Highlight>");
    const char alphabet[] = "ab \t\"'/*#<>!-[]&;\\\n\x01\xc3\xa4";
    for (int round = 0; round < 400; ++round) {
        QByteArray input;
        const bool definition = round % 2;
        input.append(char(definition | (random.bounded(2) << 1)));
        if (definition) {
            QByteArray def = base;
            for (int k = random.bounded(4); k > 0; --k)
                def[random.bounded(int(def.size()))] =
                    alphabet[random.bounded(int(sizeof alphabet) - 1)];
            input.append(def).append('\0');
        } else {
            input.append(char(random.bounded(256)));
        }
        for (int k = random.bounded(200); k > 0; --k)
            input.append(alphabet[random.bounded(int(sizeof alphabet) - 1)]);
        const char* failure = highlightFuzzFailure(
            reinterpret_cast<const uint8_t*>(input.constData()), size_t(input.size()));
        QVERIFY2(!failure, qPrintable(QStringLiteral("round %1: %2").arg(round).arg(failure)));
    }
}

QTEST_GUILESS_MAIN(TestHighlightFuzz)
#include "tst_highlightfuzz.moc"

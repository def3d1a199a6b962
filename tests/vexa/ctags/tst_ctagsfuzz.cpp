#include "fuzz/ctagsfuzz.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

// Replays the committed corpus of ctags outputs, good and bad, and a fixed
// stream of random mutations of them through the fuzzing entry point: each
// must give a well-linked tree that the tags view shows, without crashing or
// hanging.
class TestCTagsFuzz : public QObject
{
    Q_OBJECT

private slots:
    void corpus_data();
    void corpus();
    void randomInputs();
};

static QList<QByteArray> corpusFiles()
{
    QList<QByteArray> all;
    const QDir dir(QStringLiteral(VEXA_FUZZ_CORPUS));
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            all.append(f.readAll());
    }
    return all;
}

void TestCTagsFuzz::corpus_data()
{
    QTest::addColumn<QByteArray>("input");
    const QDir dir(QStringLiteral(VEXA_FUZZ_CORPUS));
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 10);
    for (const QString& name : files) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(name)) << f.readAll();
    }
}

void TestCTagsFuzz::corpus()
{
    QFETCH(QByteArray, input);
    QCOMPARE(fuzzCTags(reinterpret_cast<const uint8_t*>(input.constData()), size_t(input.size())),
             0);
}

void TestCTagsFuzz::randomInputs()
{
    QRandomGenerator random(20261210);
    const QList<QByteArray> seeds = corpusFiles();
    QVERIFY(!seeds.isEmpty());
    const char alphabet[] = "ab:\t\n;\"\\x01\xc3\xa4:fcmvsn0123456789";
    for (int round = 0; round < 2000; ++round) {
        QByteArray input = seeds.at(random.bounded(int(seeds.size())));
        for (int k = random.bounded(12); k > 0; --k) {
            const int at = input.isEmpty() ? 0 : random.bounded(int(input.size()));
            const char c = alphabet[random.bounded(int(sizeof alphabet) - 1)];
            switch (random.bounded(3)) {
            case 0:
                input.insert(at, c);
                break;
            case 1:
                if (!input.isEmpty())
                    input[at] = c;
                break;
            default:
                input.remove(at, random.bounded(8));
                break;
            }
        }
        QCOMPARE(
            fuzzCTags(reinterpret_cast<const uint8_t*>(input.constData()), size_t(input.size())),
            0);
    }
}

QTEST_MAIN(TestCTagsFuzz)
#include "tst_ctagsfuzz.moc"

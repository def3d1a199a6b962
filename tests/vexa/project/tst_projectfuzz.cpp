#include "fuzz/projectfuzz.h"
#include "vexa/project/projectfile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

// Replays the committed corpus of project files, good and malformed, and a
// fixed stream of random mutations of a project file through the fuzzing
// entry point: each must load or be refused without breaking an invariant,
// crashing or hanging.
class TestProjectFuzz : public QObject
{
    Q_OBJECT

private slots:
    void corpus_data()
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
    void corpus()
    {
        QFETCH(QByteArray, input);
        QCOMPARE(fuzzProjectFile(reinterpret_cast<const uint8_t*>(input.constData()),
                                 size_t(input.size())),
                 0);
    }

    void randomMutations()
    {
        QRandomGenerator random(20261210);
        const QByteArray base(
            "<!DOCTYPE vexaproject>\n<vexaproject>\n <project version=\"8.0\" name=\"A &amp; B\" "
            "open=\"1\">\n  <description>d</description>\n  <folder name=\"src\" open=\"0\">\n"
            "   <cpp name=\"a.cpp\" type=\"file\"/>\n   <x type=\"temp\"><y open=\"1\"/></x>\n"
            "   <uifile name=\"f.ui\" type=\"file\" container=\"1\"><pyfile name=\"f.py\" "
            "type=\"file\" url=\"/src/f.py\"/></uifile>\n  </folder>\n </project>\n"
            "</vexaproject>\n");
        const char alphabet[] = "<>/=\"'&;! ?-[]\n\t\x01\xc3\xa4#x0";
        int loaded = 0;
        for (int round = 0; round < 600; ++round) {
            QByteArray input = base;
            for (int k = 1 + random.bounded(4); k > 0; --k) {
                const int at = random.bounded(int(input.size()));
                switch (random.bounded(3)) {
                case 0:
                    input[at] = alphabet[random.bounded(int(sizeof(alphabet) - 1))];
                    break;
                case 1:
                    input.remove(at, 1 + random.bounded(8));
                    break;
                default:
                    input.insert(at, input.mid(random.bounded(int(input.size())), 12));
                    break;
                }
            }
            const QByteArray saved = input;
            QCOMPARE(fuzzProjectFile(reinterpret_cast<const uint8_t*>(input.constData()),
                                     size_t(input.size())),
                     0);
            QCOMPARE(input, saved);
            QDomDocument doc;
            QDomElement project;
            loaded += vexa::ProjectFile::parse(input, doc, project) == vexa::ProjectFile::Read;
        }
        // The stream reaches both sides of the reader.
        QVERIFY2(loaded > 20 && loaded < 600, qPrintable(QString::number(loaded)));
    }
};

QTEST_GUILESS_MAIN(TestProjectFuzz)
#include "tst_projectfuzz.moc"

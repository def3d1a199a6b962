// The array of lines with its gap, against a plain vector.

#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textlinearray.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

using namespace xqwidgets;

class TestTextLineArray : public QObject
{
    Q_OBJECT

private slots:
    void lineArrayMatchesModel();
};

void TestTextLineArray::lineArrayMatchesModel()
{
    // Inserts and removes at random places, far from and near the gap.
    QRandomGenerator rng(7);
    TextLineArray array;
    array.setAutoDelete(true);
    std::vector<TextLine*> model;
    for (int step = 0; step < 5000; ++step) {
        const int n = int(model.size());
        if (n == 0 || rng.bounded(3) != 0) {
            const int at = int(rng.bounded(n + 1));
            auto* line = new TextLine(QString::number(step));
            array.insert(at, line);
            model.insert(model.begin() + at, line);
        } else {
            const int at = int(rng.bounded(n));
            array.remove(at);
            model.erase(model.begin() + at);
        }
        QCOMPARE(array.count(), int(model.size()));
        if (step % 97 == 0) {
            for (int i = 0; i < array.count(); ++i)
                QCOMPARE(array.at(i), model[i]);
        }
    }
    array.clear();
    QCOMPARE(array.count(), 0);
}

QTEST_GUILESS_MAIN(TestTextLineArray)
#include "tst_textlinearray.moc"

// The rows of wrapped lines against a trivial model: a vector holding each
// line's extra rows, under random edits of the lines and their rows.

#include "xqwidgets/xqeditor/rowcounts.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

using namespace xqwidgets;

class TestRowCounts : public QObject
{
    Q_OBJECT

private slots:
    void walkAgainstModel();
};

void TestRowCounts::walkAgainstModel()
{
    QRandomGenerator random(7);
    RowCounts counts;
    std::vector<int> model; // extra rows of each line
    auto compare = [&](int step) {
        const QByteArray at = "step " + QByteArray::number(step);
        QVERIFY2(counts.lineCount() == int(model.size()), at);
        int rows = 0;
        for (int line = 0; line < int(model.size()); ++line) {
            QVERIFY2(counts.extra(line) == model[size_t(line)], at);
            QVERIFY2(counts.rowsBefore(line) == rows, at);
            for (int r = 0; r <= model[size_t(line)]; ++r)
                QVERIFY2(counts.lineAt(rows + r) == std::make_pair(line, r), at);
            rows += 1 + model[size_t(line)];
        }
        QVERIFY2(counts.total() == rows, at);
        QVERIFY2(counts.rowsBefore(int(model.size())) == rows, at);
        // Rows outside the document are clamped to its first and last.
        if (!model.empty()) {
            QVERIFY2(counts.lineAt(-3) == std::make_pair(0, 0), at);
            QVERIFY2(counts.lineAt(rows + 5) == std::make_pair(int(model.size()) - 1, model.back()),
                     at);
        } else {
            QVERIFY2(counts.lineAt(0) == std::make_pair(0, 0), at);
        }
    };
    for (int step = 0; step < 3000; ++step) {
        const int n = int(model.size());
        switch (random.bounded(step % 500 == 0 ? 1 : 5)) {
        case 0: { // a new text
            const int lines = int(random.bounded(60));
            counts.reset(lines);
            model.assign(size_t(lines), 0);
            break;
        }
        case 1:
        case 2: { // a line's rows, sometimes back to one, sometimes out of range
            const int line = int(random.bounded(n + 2)) - 1;
            const int extra = int(random.bounded(5)) - 1;
            counts.setExtra(line, extra);
            if (line >= 0 && line < n)
                model[size_t(line)] = qMax(extra, 0);
            break;
        }
        case 3: { // lines inserted (one row each)
            const int at = int(random.bounded(n + 1));
            const int count = int(random.bounded(1, 6));
            counts.linesInserted(at, count);
            model.insert(model.begin() + at, size_t(count), 0);
            break;
        }
        case 4: { // lines removed
            if (n == 0)
                break;
            const int at = int(random.bounded(n));
            const int count = int(random.bounded(1, n - at + 1));
            counts.linesRemoved(at, count);
            model.erase(model.begin() + at, model.begin() + at + count);
            break;
        }
        }
        compare(step);
        if (QTest::currentTestFailed())
            return;
    }
}

QTEST_GUILESS_MAIN(TestRowCounts)
#include "tst_rowcounts.moc"

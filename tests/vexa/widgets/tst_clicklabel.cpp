#include "vexa/widgets/clicklabel.h"

#include <QSignalSpy>
#include <QTest>

class TestClickLabel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void clickLabelReportsEveryPress()
    {
        ClickLabel label("caption");
        QCOMPARE(label.text(), QString("caption"));
        QSignalSpy spy(&label, &ClickLabel::clicked);
        for (auto button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
            QTest::mousePress(&label, button);
            QTest::mouseRelease(&label, button);
        }
        QCOMPARE(spy.count(), 3);
    }
};

QTEST_MAIN(TestClickLabel)
#include "tst_clicklabel.moc"

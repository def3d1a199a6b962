// The key text of a string, in the exact form that stored keys have.

#include "xqwidgets/xqtools/md5sum.h"

#include <QTest>

class TestMd5sum : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void form_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sum");
        // The zero byte after the text is hashed; bytes below 16 give one digit.
        QTest::newRow("abc") << "abc"
                             << "147a664a2ca941911e61986d3f0d52a";
        QTest::newRow("empty") << ""
                               << "93b885adfeda089cdf634904fd59f71";
    }
    void form()
    {
        QFETCH(QString, text);
        QFETCH(QString, sum);
        QCOMPARE(xqwidgets::md5sum(text), sum);
    }
};

QTEST_GUILESS_MAIN(TestMd5sum)
#include "tst_md5sum.moc"

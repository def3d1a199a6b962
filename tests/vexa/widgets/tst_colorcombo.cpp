#include "vexa/widgets/colorcombo.h"

#include <QApplication>
#include <QColorDialog>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace
{

// Answers the next colour dialog: accepts `color`, or cancels when it is invalid.
void answerColorDialog(const QColor& color)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, color] {
        auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        if (color.isValid()) {
            dialog->setCurrentColor(color);
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
    timer->start(10);
}

QColor swatchColour(const QComboBox& combo, int index)
{
    const QIcon icon = combo.itemIcon(index);
    if (icon.isNull())
        return QColor();
    return icon.pixmap(16, 16).toImage().pixelColor(8, 8);
}

} // namespace

class TestColorCombo : public QObject
{
    Q_OBJECT

private slots:
    void newComboShowsNone()
    {
        ColorCombo combo;
        QCOMPARE(combo.count(), 19);
        QCOMPARE(combo.currentIndex(), 0);
        QCOMPARE(combo.currentText(), QString("none"));
        QCOMPARE(combo.itemText(1), QString("custom"));
        QVERIFY(combo.itemIcon(1).isNull());
        QVERIFY(!combo.hasColor());
        QCOMPARE(combo.color(), QColor(255, 255, 255));
        QCOMPARE(combo.colorName(), QString(""));
        QVERIFY(!combo.isEditable());
    }

    void namedEntries_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("red") << 2 << "red" << QColor(255, 0, 0);
        QTest::newRow("green") << 3 << "green" << QColor(0, 128, 0);
        QTest::newRow("darkRed") << 8 << "darkRed" << QColor(139, 0, 0);
        // Not a keyword of the named-colour lookup; must still be a real colour.
        QTest::newRow("darkYellow") << 13 << "darkYellow" << QColor(128, 128, 0);
        QTest::newRow("white") << 14 << "white" << QColor(255, 255, 255);
        QTest::newRow("darkGray") << 17 << "darkGray" << QColor(169, 169, 169);
        QTest::newRow("black") << 18 << "black" << QColor(0, 0, 0);
    }
    void namedEntries()
    {
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(QColor, colour);
        ColorCombo combo;
        QCOMPARE(combo.itemText(index), name);
        QCOMPARE(swatchColour(combo, index), colour);

        combo.setColor(colour);
        QCOMPARE(combo.currentIndex(), index);
        QVERIFY(combo.hasColor());
        QCOMPARE(combo.colorName(), name);
        combo.setColorName(QString());
        QCOMPARE(combo.currentIndex(), 0);
        QCOMPARE(combo.color(), colour); // kept while "none" is shown
        combo.setColorName(name);
        QCOMPARE(combo.currentIndex(), index);
        QCOMPARE(combo.color(), colour);
    }

    void otherColoursGoToCustom()
    {
        ColorCombo combo;
        QSignalSpy spy(&combo, &ColorCombo::activated);
        combo.setColor(QColor(0x12, 0x34, 0x56));
        QCOMPARE(combo.currentIndex(), 1);
        QCOMPARE(swatchColour(combo, 1), QColor(0x12, 0x34, 0x56));
        QCOMPARE(combo.colorName(), QString("#123456"));
        combo.setColorName("#abcdef");
        QCOMPARE(combo.colorName(), QString("#abcdef"));
        combo.setColor(QColor()); // invalid: none, colour kept
        QCOMPARE(combo.currentIndex(), 0);
        QCOMPARE(combo.color(), QColor(0xab, 0xcd, 0xef));
        combo.setColorName("no such colour");
        QCOMPARE(combo.currentIndex(), 0);
        QCOMPARE(spy.count(), 0); // programmatic changes are not choices
    }

    void userChoices()
    {
        ColorCombo combo;
        combo.setColor(QColor(0, 0, 255)); // "blue", index 4
        QCOMPARE(combo.currentIndex(), 4);
        QSignalSpy spy(&combo, &ColorCombo::activated);

        QTest::keyClick(&combo, Qt::Key_Up); // "green"
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.takeFirst().at(0).value<QColor>(), QColor(0, 128, 0));
        QCOMPARE(combo.colorName(), QString("green"));

        QTest::keyClick(&combo, Qt::Key_Home); // "none": the last colour is reported
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.takeFirst().at(0).value<QColor>(), QColor(0, 128, 0));
        QVERIFY(!combo.hasColor());
        QCOMPARE(combo.colorName(), QString(""));
    }

    void customColourDialog()
    {
        ColorCombo combo;
        combo.setColor(QColor(255, 0, 0)); // "red", index 2
        QSignalSpy spy(&combo, &ColorCombo::activated);

        answerColorDialog(QColor()); // cancelled
        QTest::keyClick(&combo, Qt::Key_Up);
        QCOMPARE(combo.currentIndex(), 1);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.takeFirst().at(0).value<QColor>(), QColor(255, 0, 0));
        QVERIFY(combo.itemIcon(1).isNull());

        combo.setCurrentIndex(2);
        answerColorDialog(QColor(1, 2, 3));
        QTest::keyClick(&combo, Qt::Key_Up);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.takeFirst().at(0).value<QColor>(), QColor(1, 2, 3));
        QCOMPARE(swatchColour(combo, 1), QColor(1, 2, 3));
        QCOMPARE(combo.colorName(), QString("#010203"));
        QCOMPARE(combo.itemText(1), QString("custom"));
    }
};

QTEST_MAIN(TestColorCombo)
#include "tst_colorcombo.moc"

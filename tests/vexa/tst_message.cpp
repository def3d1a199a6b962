#include "vexa/actions.h"
#include "vexa/message.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using vexa::Message;

class TestMessage : public QObject
{
    Q_OBJECT
    QMainWindow window;
    QStringList shownButtons;
    QString shownCaption, shownText;
    QAbstractButton* shownDefault = nullptr;
    QWidget* shownParent = nullptr;

    // Answers the next boxes by pressing the button with the given text;
    // an empty text presses Escape.
    void answer(const QString& text)
    {
        Message::setResponder([this, text](QMessageBox* box) -> QAbstractButton* {
            shownButtons.clear();
            for (QAbstractButton* b : box->buttons())
                shownButtons << b->text();
            shownCaption = box->windowTitle();
            shownText = box->text();
            shownDefault = box->defaultButton();
            shownParent = box->parentWidget();
            for (QAbstractButton* b : box->buttons())
                if (!text.isEmpty() && QString(b->text()).remove('&') == QString(text).remove('&'))
                    return b;
            return nullptr;
        });
    }

    // Sends keys to the modal box once it is up.
    static void pressInBox(const QList<Qt::Key>& keys)
    {
        QTimer::singleShot(0, [keys] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box);
            for (Qt::Key k : keys)
                QTest::keyClick(box, k);
        });
    }

private Q_SLOTS:
    void initTestCase() { vexa::Actions::setMainWindow(&window); }
    void cleanup() { Message::setResponder({}); }

    void informationHasOneButton()
    {
        answer(QStringLiteral("OK"));
        QCOMPARE(Message::information("Caption", "Text"), 0);
        QCOMPARE(shownButtons.size(), 1);
        QCOMPARE(shownButtons.first().remove('&'), QStringLiteral("OK"));
        QCOMPARE(shownCaption, QStringLiteral("Caption"));
        QCOMPARE(shownText, QStringLiteral("Text"));
        QCOMPARE(shownParent, &window);
        answer(QString());
        QCOMPARE(Message::information("Caption", "Text"), 0); // Escape: the only button
    }

    void textButtons_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<int>("defaultButton");
        QTest::addColumn<int>("escapeButton");
        QTest::addColumn<QString>("press");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("result");
        const QStringList three{"Yes", "No", "Cancel"};
        QTest::newRow("first") << three << 0 << 2 << "Yes" << three << 0;
        QTest::newRow("third") << three << 0 << 2 << "Cancel" << three << 2;
        QTest::newRow("escape") << three << 0 << 2 << "" << three << 2;
        QTest::newRow("escape to first") << three << 1 << 0 << "" << three << 0;
        QTest::newRow("no escape button") << three << 0 << -1 << "" << three << -1;
        QTest::newRow("null middle") << QStringList{"One", QString(), "Two"} << 0 << -1 << "Two"
                                     << QStringList{"One", "Two"} << 2;
        QTest::newRow("no texts") << QStringList{QString(), QString(), QString()} << 0 << -1 << ""
                                  << QStringList{"OK"} << 0;
    }
    void textButtons()
    {
        QFETCH(QStringList, texts);
        QFETCH(int, defaultButton);
        QFETCH(int, escapeButton);
        QFETCH(QString, press);
        QFETCH(QStringList, shown);
        QFETCH(int, result);
        answer(press);
        QCOMPARE(Message::warning("Warning", "Sure?", texts[0], texts[1], texts[2], defaultButton,
                                  escapeButton),
                 result);
        QCOMPARE(shownButtons, shown);
        QVERIFY(shownDefault);
        if (texts[defaultButton].isNull())
            QCOMPARE(shownDefault->text().remove('&'), QStringLiteral("OK"));
        else
            QCOMPARE(shownDefault->text(), texts[defaultButton]);
        answer(press);
        QCOMPARE(Message::information("Info", "Sure?", texts[0], texts[1], texts[2], defaultButton,
                                      escapeButton),
                 result);
    }

    void standardButtons()
    {
        const int yes = QMessageBox::Yes | QMessageBox::Default;
        const int cancel = QMessageBox::Cancel | QMessageBox::Escape;
        answer(QString());
        QCOMPARE(Message::warning("Warning", "Save?", yes, QMessageBox::No, cancel),
                 int(QMessageBox::Cancel));
        QCOMPARE(shownButtons.size(), 3);
        QCOMPARE(shownDefault->text().remove('&'), QStringLiteral("Yes"));
        answer(QStringLiteral("&No"));
        QCOMPARE(Message::warning("Warning", "Save?", yes, QMessageBox::No, cancel),
                 int(QMessageBox::No));
        // Without an escape flag a Cancel button still answers Escape.
        answer(QString());
        QCOMPARE(Message::warning("Warning", "Save?", QMessageBox::Yes, QMessageBox::Cancel),
                 int(QMessageBox::Cancel));
    }

    void realBoxAnswersKeys()
    {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        pressInBox({Qt::Key_Escape});
        QCOMPARE(Message::warning("Warning", "Sure?", "Yes", "No", "Cancel", 0, 2), 2);
        pressInBox({Qt::Key_Return});
        QCOMPARE(Message::warning("Warning", "Sure?", "Yes", "No", "Cancel", 1, 2), 1);
        // With no escape button, Escape leaves the box open; Return then answers.
        pressInBox({Qt::Key_Escape, Qt::Key_Return});
        QCOMPARE(Message::information("Info", "Sure?", "A", "B", QString(), 1, -1), 1);
        pressInBox({Qt::Key_Return});
        QCOMPARE(Message::information("Info", "Done"), 0);
    }
};

QTEST_MAIN(TestMessage)
#include "tst_message.moc"

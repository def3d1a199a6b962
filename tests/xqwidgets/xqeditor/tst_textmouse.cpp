// Selecting and dragging text with the mouse, driven through QTest mouse
// events on a real view shown offscreen.

#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace xqwidgets;

Q_DECLARE_METATYPE(Qt::KeyboardModifiers)

class TestTextMouse : public QObject
{
    Q_OBJECT

    TextEditorManager* m = nullptr;
    TextEditor* e = nullptr;

    TextView* view() const { return e->view(); }
    TextDocument* doc() const { return e->document(); }

    void open(const QString& text)
    {
        delete e;
        e = m->createEditor(nullptr, nullptr);
        doc()->loadText(text);
        e->resize(500, 300);
        e->show();
        QVERIFY(QTest::qWaitForWindowExposed(e));
        QApplication::setActiveWindow(e);
        view()->setFocus();
        QTest::qWait(0);
    }

    // The widget point over the left part of the character at (line, col),
    // which the view maps back to that position.
    QPoint at(int line, int col)
    {
        view()->updateLinesList();
        const QPoint p = view()->docPosToScreen(col, line);
        return QPoint(p.x() - view()->contentsX() + 1,
                      p.y() - view()->contentsY() + view()->lineHeight() / 2);
    }

    QPoint caret() const { return view()->cursor()->pos(); } // (column, line)

    // What mouse selections were published to: the X11 selection where the
    // platform has one, else the manager's stand-in.
    QString published() const
    {
        QClipboard* cb = QApplication::clipboard();
        return cb->supportsSelection() ? cb->text(QClipboard::Selection) : m->winClipboard;
    }
    void setPublished(const QString& text)
    {
        QClipboard* cb = QApplication::clipboard();
        if (cb->supportsSelection())
            cb->setText(text, QClipboard::Selection);
        m->winClipboard = text;
    }

    void drag(const QPoint& from, const QPoint& to, Qt::KeyboardModifiers mods = {})
    {
        QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(view(), (from + to) / 2);
        QTest::mouseMove(view(), to);
        if (mods) {
            // The modifier state is taken from the moves of the drag.
            QMouseEvent move(QEvent::MouseMove, to, view()->mapToGlobal(to), Qt::NoButton,
                             Qt::LeftButton, mods);
            QApplication::sendEvent(view(), &move);
        }
        QTest::mouseRelease(view(), Qt::LeftButton, mods, to);
    }

private slots:
    void initTestCase()
    {
        m = new TextEditorManager;
        QFont f(QStringLiteral("DejaVu Sans Mono"));
        f.setPixelSize(13);
        m->setFont(f);
    }

    void cleanupTestCase()
    {
        delete e;
        e = nullptr;
        delete m;
    }

    void init()
    {
        m->fVerticalSelection = false;
        m->fSaveTab = true;
        m->fOvr = false;
        m->winClipboard.clear();
    }

    void dragSelects()
    {
        open(QStringLiteral("first line\nsecond line\nthird line"));
        QSignalSpy changes(e, &TextEditor::changed);
        drag(at(0, 6), at(2, 5));
        QCOMPARE(view()->selection(), QRect(QPoint(6, 0), QPoint(5, 2)));
        QCOMPARE(caret(), QPoint(5, 2));
        QCOMPARE(e->getSelectedText(), QStringLiteral("line\nsecond line\nthird"));
        // The selection was published when the button went up.
        QCOMPARE(published(), QStringLiteral("line\nsecond line\nthird"));
        QVERIFY(changes.contains(QVariantList{int(TextEditor::Selection)}));

        // Dragging backwards selects the same way round.
        drag(at(2, 5), at(0, 6));
        QCOMPARE(view()->selection(), QRect(QPoint(6, 0), QPoint(5, 2)));
        QCOMPARE(caret(), QPoint(6, 0));

        // A plain click clears it and places the caret.
        QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, at(1, 3));
        QVERIFY(!view()->hasSelection());
        QCOMPARE(caret(), QPoint(3, 1));
    }

    void shiftClickExtends()
    {
        open(QStringLiteral("alpha beta\ngamma delta\nepsilon"));
        QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, at(0, 2));
        QTest::mouseClick(view(), Qt::LeftButton, Qt::ShiftModifier, at(1, 4));
        QCOMPARE(e->getSelectedText(), QStringLiteral("pha beta\ngamm"));
        // A further Shift-click moves the free end; the anchor stays.
        QTest::mouseClick(view(), Qt::LeftButton, Qt::ShiftModifier, at(2, 3));
        QCOMPARE(e->getSelectedText(), QStringLiteral("pha beta\ngamma delta\neps"));
        QCOMPARE(caret(), QPoint(3, 2));

        // Shift held while the left button drags extends nothing.
        QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, at(0, 0));
        QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, at(0, 1));
        QMouseEvent move(QEvent::MouseMove, at(1, 3), view()->mapToGlobal(at(1, 3)), Qt::NoButton,
                         Qt::LeftButton, Qt::ShiftModifier);
        QApplication::sendEvent(view(), &move);
        QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, at(1, 3));
        QVERIFY(!view()->hasSelection());
        QCOMPARE(caret(), QPoint(1, 0));
    }

    // The caret never stands between the two UTF-16 units of a character
    // beyond U+FFFF: a click or a drag onto its second half stops before it.
    void clickAndDragKeepPairsWhole()
    {
        open(QStringLiteral("a\U0001F600b\nc\U0001F600d"));
        QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, at(0, 2));
        QCOMPARE(caret(), QPoint(1, 0));
        drag(at(0, 0), at(1, 2));
        QCOMPARE(caret(), QPoint(1, 1));
        QCOMPARE(e->getSelectedText(), QStringLiteral("a\U0001F600b\nc"));
        QTest::mouseClick(view(), Qt::LeftButton, Qt::ShiftModifier, at(0, 2));
        QCOMPARE(caret(), QPoint(1, 0));
        QCOMPARE(e->getSelectedText(), QStringLiteral("a"));
    }

    // Tab on lines selected with the mouse keeps the selection's anchor, so
    // that a Shift-click afterwards extends it from where the drag began.
    void shiftClickAfterIndentKeepsAnchor()
    {
        open(QStringLiteral("l0\nl1\nl2\nl3\nl4\nl5"));
        drag(at(2, 0), at(4, 0));
        QTest::keyClick(view(), Qt::Key_Tab);
        QCOMPARE(e->getSelectedText(), QStringLiteral("\tl2\n\tl3\n"));
        QTest::mouseClick(view(), Qt::LeftButton, Qt::ShiftModifier, at(5, 0));
        QCOMPARE(e->getSelectedText(), QStringLiteral("\tl2\n\tl3\nl4\n"));
        QCOMPARE(view()->selection(), QRect(QPoint(0, 2), QPoint(0, 5)));
    }

    void clickInsideSelection()
    {
        open(QStringLiteral("one two three four"));
        drag(at(0, 4), at(0, 13));
        QCOMPARE(e->getSelectedText(), QStringLiteral("two three"));
        // Without moving: the selection goes and the caret stands there.
        QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, at(0, 6));
        QVERIFY(!view()->hasSelection());
        QCOMPARE(caret(), QPoint(6, 0));

        // With Shift the click extends from the anchor instead.
        drag(at(0, 4), at(0, 13));
        QTest::mouseClick(view(), Qt::LeftButton, Qt::ShiftModifier, at(0, 8));
        QCOMPARE(e->getSelectedText(), QStringLiteral("two "));
    }

    void doubleClickSelectsWord()
    {
        open(QStringLiteral("int value_2 = a->b;"));
        QTest::mouseDClick(view(), Qt::LeftButton, Qt::NoModifier, at(0, 7));
        QCOMPARE(e->getSelectedText(), QStringLiteral("value_2"));
        QCOMPARE(caret(), QPoint(11, 0));
        QCOMPARE(published(), QStringLiteral("value_2"));
        // A run of operator characters is a word of its own.
        QTest::mouseDClick(view(), Qt::LeftButton, Qt::NoModifier, at(0, 16));
        QCOMPARE(e->getSelectedText(), QStringLiteral("->"));
    }

    void dragMovesAndCopies_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<QPoint>("selFrom"); // (column, line)
        QTest::addColumn<QPoint>("selTo");
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<QPoint>("drop");
        QTest::addColumn<Qt::KeyboardModifiers>("mods");
        QTest::addColumn<QString>("expected");

        const Qt::KeyboardModifiers none;
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
        QTest::newRow("move back on one line")
            << "abc def ghi" << false << QPoint(8, 0) << QPoint(11, 0) << QPoint(9, 0)
            << QPoint(1, 0) << none << "aghibc def ";
        // The source lies before the drop: the drop moves left with it.
        QTest::newRow("move forward on one line")
            << "abc def ghi" << false << QPoint(0, 0) << QPoint(3, 0) << QPoint(1, 0)
            << QPoint(9, 0) << none << " def gabchi";
        QTest::newRow("move to a later line")
            << "one two\nthree\nxyz" << false << QPoint(4, 0) << QPoint(2, 1) << QPoint(5, 0)
            << QPoint(1, 2) << none << "one ree\nxtwo\nthyz";
        QTest::newRow("move onto the source's last line")
            << "one two\nthree" << false << QPoint(4, 0) << QPoint(2, 1) << QPoint(5, 0)
            << QPoint(4, 1) << none << "one retwo\nthe";
        QTest::newRow("move to an earlier line")
            << "abc\ndef ghi" << false << QPoint(4, 1) << QPoint(7, 1) << QPoint(5, 1)
            << QPoint(1, 0) << none << "aghibc\ndef ";
        QTest::newRow("copy forward") << "abc def ghi" << false << QPoint(0, 0) << QPoint(3, 0)
                                      << QPoint(1, 0) << QPoint(9, 0) << ctrl << "abc def gabchi";
        QTest::newRow("copy to a later line")
            << "one two\nthree" << false << QPoint(4, 0) << QPoint(7, 0) << QPoint(5, 0)
            << QPoint(2, 1) << ctrl << "one two\nthtworee";
        QTest::newRow("move a box right")
            << "abcdef\nghijkl" << true << QPoint(1, 0) << QPoint(3, 1) << QPoint(2, 0)
            << QPoint(5, 0) << none << "adebcf\ngjkhil";
    }

    void dragMovesAndCopies()
    {
        QFETCH(QString, text);
        QFETCH(bool, vertical);
        QFETCH(QPoint, selFrom);
        QFETCH(QPoint, selTo);
        QFETCH(QPoint, press);
        QFETCH(QPoint, drop);
        QFETCH(Qt::KeyboardModifiers, mods);
        QFETCH(QString, expected);

        open(text);
        m->fVerticalSelection = vertical;
        drag(at(selFrom.y(), selFrom.x()), at(selTo.y(), selTo.x()));
        const QString selectedText = e->getSelectedText();
        QVERIFY(!selectedText.isEmpty());
        // Another program takes over the selection clipboard meanwhile: the
        // dragged text is still what gets dropped.
        setPublished(QStringLiteral("junk"));

        drag(at(press.y(), press.x()), at(drop.y(), drop.x()), mods);
        QCOMPARE(e->text(), expected);
        QVERIFY(!view()->hasSelection());
        if (mods & Qt::ControlModifier)
            QCOMPARE(QApplication::clipboard()->text(), selectedText);

        // Undo gives the text back.
        while (doc()->undoStack()->canUndo())
            doc()->undoStack()->undo();
        QCOMPARE(e->text(), text);
    }

    void dropIntoSelectionEndsTheDrag()
    {
        open(QStringLiteral("abc def ghi"));
        drag(at(0, 4), at(0, 7));
        // Out of the selection and back in: nothing is dropped.
        QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, at(0, 5));
        QTest::mouseMove(view(), at(0, 9));
        QTest::mouseMove(view(), at(0, 6));
        QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, at(0, 6));
        QCOMPARE(e->text(), QStringLiteral("abc def ghi"));
        // The gesture is over: a click elsewhere clears the selection.
        QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, at(0, 1));
        QVERIFY(!view()->hasSelection());
        QCOMPARE(caret(), QPoint(1, 0));
    }

    void middleButtonPastes()
    {
        open(QStringLiteral("abc\ndef"));
        setPublished(QStringLiteral("XY"));
        QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, at(0, 2));
        // The paste goes to the caret, wherever the pointer is.
        QTest::mouseClick(view(), Qt::MiddleButton, Qt::NoModifier, at(1, 1));
        QCOMPARE(e->text(), QStringLiteral("abXYc\ndef"));
        QCOMPARE(caret(), QPoint(4, 0));

        // A selection is replaced.
        drag(at(1, 0), at(1, 2));
        QCOMPARE(published(), QStringLiteral("de"));
        setPublished(QStringLiteral("Z"));
        QTest::mouseClick(view(), Qt::MiddleButton, Qt::NoModifier, at(0, 0));
        QCOMPARE(e->text(), QStringLiteral("abXYc\nZf"));
    }

    void dragSelectionScrolls()
    {
        QStringList lines;
        for (int i = 0; i < 200; ++i)
            lines << QStringLiteral("line %1").arg(i);
        open(lines.join(QLatin1Char('\n')));
        const int top = view()->verticalScrollBar()->value();
        QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, at(0, 0));
        const QPoint below(20, view()->height() + 5);
        for (int i = 0; i < 5; ++i)
            QTest::mouseMove(view(), below + QPoint(0, i));
        QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, below);
        QVERIFY(view()->verticalScrollBar()->value() > top);
        QVERIFY(view()->hasSelection());
        QCOMPARE(view()->selection().topLeft(), QPoint(0, 0));
        QVERIFY(caret().y() > 0);
    }
};

QTEST_MAIN(TestTextMouse)
#include "tst_textmouse.moc"

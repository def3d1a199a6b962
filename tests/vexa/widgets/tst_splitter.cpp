#include "vexa/widgets/splitter.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QRubberBand>
#include <QTest>
#include <QTextStream>

namespace
{

QWidget* child(Splitter* s, const char* name, int minWidth)
{
    auto* w = new QWidget;
    w->setObjectName(QString::fromLatin1(name));
    w->setMinimumWidth(minWidth);
    s->addWidget(w);
    return w;
}

QList<QSplitterHandle*> visibleHandles(Splitter* s)
{
    QList<QSplitterHandle*> r;
    for (int i = 0; i < s->count(); ++i)
        if (s->handle(i) && !s->handle(i)->isHidden())
            r << s->handle(i);
    return r;
}

void sendMouse(QWidget* w, QEvent::Type type, const QPoint& pos, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Drags the handle before child `index` so that its leading edge ends at
// `target` (splitter coordinates), optionally stopping before the release.
void dragHandle(Splitter* s, int index, int target, bool releaseIt = true)
{
    QSplitterHandle* h = s->handle(index);
    const QPoint grip(2, h->height() / 2);
    sendMouse(h, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
    const QPoint to = QPoint(target + 2, h->y() + grip.y()) - h->pos();
    sendMouse(h, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    if (releaseIt)
        sendMouse(h, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

} // namespace

class TestSplitter : public QObject
{
    Q_OBJECT

private:
    // A shown 500 px wide splitter with handles 6 px wide and two children.
    std::unique_ptr<Splitter> makePair(int minA, int minB, QWidget** a, QWidget** b)
    {
        std::unique_ptr<Splitter> s(new Splitter(Qt::Horizontal));
        s->setHandleWidth(6);
        *a = child(s.get(), "a", minA);
        *b = child(s.get(), "b", minB);
        s->resize(500, 100);
        s->show();
        if (!QTest::qWaitForWindowExposed(s.get()))
            qWarning("splitter not exposed");
        s->setSizes({200, 294});
        return s;
    }

private slots:
    void handlesFollowChildren()
    {
        Splitter s(Qt::Horizontal, nullptr, "outer");
        QCOMPARE(s.orientation(), Qt::Horizontal);
        QCOMPARE(s.objectName(), QString("outer"));
        QVERIFY(!s.opaqueResize());
        child(&s, "a", 10);
        s.resize(300, 50);
        s.show();
        QVERIFY(visibleHandles(&s).isEmpty());
        QWidget* b = child(&s, "b", 10);
        QWidget* c = child(&s, "c", 10);
        QCoreApplication::processEvents();
        QList<QSplitterHandle*> handles = visibleHandles(&s);
        QCOMPARE(handles.size(), 2);
        QCOMPARE(handles.at(0)->objectName(), QString("qt_splithandle_b"));
        QVERIFY(qobject_cast<SplitterHandle*>(handles.at(0)));
        QCOMPARE(static_cast<SplitterHandle*>(handles.at(0))->id(), 1);
        QCOMPARE(handles.at(0)->cursor().shape(), Qt::SplitHCursor);

        b->hide(); // hides the handle before it
        QCoreApplication::processEvents();
        QCOMPARE(visibleHandles(&s), QList<QSplitterHandle*>{s.handle(2)});
        b->show();
        QCoreApplication::processEvents();
        delete s.widget(0); // the first child goes with the handle after it
        QCoreApplication::processEvents();
        QCOMPARE(s.count(), 2);
        QCOMPARE(visibleHandles(&s), QList<QSplitterHandle*>{s.handle(1)});
        QCOMPARE(s.handle(1)->objectName(), QString("qt_splithandle_c"));
        Q_UNUSED(c);
    }

    void sizesAsLists()
    {
        Splitter s;
        s.setHandleWidth(6);
        child(&s, "a", 20);
        child(&s, "b", 20);
        QWidget* c = child(&s, "c", 20);
        s.resize(412, 50);
        s.show();
        s.setSizes({100, 200, 100});
        QCOMPARE(s.sizes(), (QList<int>{100, 200, 100}));
        s.setSizes({150, 150}); // the third child keeps its extent
        QCOMPARE(s.sizes(), (QList<int>{150, 150, 100}));
        s.setSizes({100, 280, 5}); // below the minimum: raised to it
        QCOMPARE(s.sizes(), (QList<int>{100, 280, 20}));
        s.setSizes({100, 200, 0}); // collapses
        QCOMPARE(s.sizes().at(2), 0);
        s.setSizes({100, 200, -7}); // negative counts as 0
        QCOMPARE(s.sizes().at(2), 0);

        s.setChildrenCollapsible(false);
        s.setSizes({100, 0, 280});
        QCOMPARE(s.sizes(), (QList<int>{100, 20, 280}));
        s.setCollapsible(c, true); // the child's own setting wins over the default
        s.setSizes({100, 200, 0});
        QCOMPARE(s.sizes().at(2), 0);
    }

    void singlePixelMinimumNeverCollapses()
    {
        QWidget *a, *b;
        auto s = makePair(20, 1, &a, &b);
        s->setSizes({494, 0});
        QCOMPARE(s->sizes().at(1), 1);
        dragHandle(s.get(), 1, 500); // far past the end
        QCOMPARE(s->sizes().at(1), 1);
    }

    void dragSnapping_data()
    {
        QTest::addColumn<int>("minB");
        QTest::addColumn<int>("overshoot");
        QTest::addColumn<int>("expectedB");
        // The far limit lies minB beyond the near one.
        QTest::newRow("100: 30 past stays") << 100 << 30 << 100;
        QTest::newRow("100: 60 past collapses") << 100 << 60 << 0;
        QTest::newRow("30: 16 past stays") << 30 << 16 << 30;
        QTest::newRow("30: 30 past collapses") << 30 << 30 << 0;
    }
    void dragSnapping()
    {
        QFETCH(int, minB);
        QFETCH(int, overshoot);
        QFETCH(int, expectedB);
        QWidget *a, *b;
        auto s = makePair(20, minB, &a, &b);
        const int nearLimit = 500 - minB - 6;
        dragHandle(s.get(), 1, nearLimit + overshoot);
        QCOMPARE(s->sizes().at(1), expectedB);
        QCOMPARE(s->sizes().at(0), 494 - expectedB);
    }

    void collapseAndRestoreByHandle()
    {
        QWidget *a, *b;
        auto s = makePair(20, 100, &a, &b);
        // Rubber band: nothing moves until the release.
        dragHandle(s.get(), 1, 494, false);
        QCOMPARE(s->sizes(), (QList<int>{200, 294}));
        QPointer<QRubberBand> band = s->findChild<QRubberBand*>();
        QVERIFY(band && band->isVisible());
        QSplitterHandle* h = s->handle(1);
        sendMouse(h, QEvent::MouseButtonRelease, QPoint(496, h->height() / 2) - h->pos(),
                  Qt::LeftButton, Qt::NoButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!band || !band->isVisible());
        QCOMPARE(s->sizes(), (QList<int>{494, 0}));

        dragHandle(s.get(), 1, 300); // back out again
        QCOMPARE(s->sizes(), (QList<int>{300, 194}));

        // The same to the other side, opaque this time.
        s->setOpaqueResize(true);
        dragHandle(s.get(), 1, 0, false);
        QCOMPARE(s->sizes(), (QList<int>{0, 494}));
        sendMouse(h, QEvent::MouseButtonRelease, QPoint(2, 5), Qt::LeftButton, Qt::NoButton);
    }

    void resizeModes()
    {
        Splitter s;
        s.setHandleWidth(6);
        QWidget* a = child(&s, "a", 20);
        QWidget* b = child(&s, "b", 20);
        s.resize(306, 50);
        s.show();
        s.setSizes({100, 200});
        // All automatic without stretch: the new space is shared in proportion.
        s.resize(606, 50);
        QCOMPARE(s.sizes(), (QList<int>{200, 400}));
        // Resizing does not change the remembered extents (100 and 200).
        s.setResizeMode(a, Splitter::KeepSize);
        s.setResizeMode(b, Splitter::Stretch);
        s.resize(706, 50);
        QCOMPARE(s.sizes(), (QList<int>{100, 600}));
        // A size-policy stretch on one automatic child keeps the other's size.
        s.setResizeMode(a, Splitter::Auto);
        s.setResizeMode(b, Splitter::Auto);
        QSizePolicy p = b->sizePolicy();
        p.setHorizontalStretch(1);
        b->setSizePolicy(p);
        s.resize(806, 50);
        QCOMPARE(s.sizes(), (QList<int>{100, 700}));
    }

    void reordering()
    {
        Splitter s;
        QWidget* a = child(&s, "a", 10);
        QWidget* b = child(&s, "b", 10);
        QWidget* c = child(&s, "c", 10);
        s.moveToFirst(c);
        QCOMPARE(s.widget(0), c);
        s.moveToLast(c);
        QCOMPARE(s.widget(2), c);
        QCOMPARE(s.widget(0), a);
        QCOMPARE(s.widget(1), b);
        auto* outside = new QWidget;
        s.moveToFirst(outside); // not a child yet: added at the front
        QCOMPARE(s.widget(0), outside);
        QCOMPARE(s.count(), 4);
    }

    void textForm()
    {
        Splitter s;
        s.setHandleWidth(6);
        child(&s, "a", 20);
        QWidget* b = child(&s, "b", 20);
        child(&s, "c", 20);
        child(&s, "d", 20);
        s.resize(500, 50);
        s.show();
        s.setSizes({120, 100, 0, 262});
        b->hide();
        QString text;
        QTextStream out(&text);
        out << s;
        out.flush();
        QCOMPARE(text.left(8), QString("[120,H,0"));
        QVERIFY(text.endsWith("]\n"));

        QString in = " [ 244 , 244 ,h, 0 ]\n";
        QTextStream ts(&in);
        ts >> s;
        QVERIFY(!b->isHidden());
        QVERIFY(s.widget(2)->isHidden());
        QCOMPARE(s.sizes().at(0), 244);
        QCOMPARE(s.sizes().at(1), 244);
        QCOMPARE(s.sizes().at(3), 0);

        QString junk = "120,80\n"; // no bracket: ignored
        QTextStream jt(&junk);
        jt >> s;
        QCOMPARE(s.sizes().at(0), 244);
    }

    void grip()
    {
        QCOMPARE(Splitter::alphaBlendColors(QColor(200, 200, 200), QColor(255, 255, 255), 70),
                 QColor(239, 239, 239));
        QCOMPARE(Splitter::alphaBlendColors(QColor(200, 200, 200), QColor(125, 125, 125), 70),
                 QColor(144, 144, 144));
        QCOMPARE(Splitter::alphaBlendColors(QColor(10, 20, 30), QColor(0, 0, 0), 999),
                 QColor(10, 20, 30));

        Splitter s;
        QPalette pal;
        pal.setColor(QPalette::Window, QColor(200, 200, 200));
        s.setPalette(pal);
        s.setHandleWidth(8);
        child(&s, "a", 20);
        child(&s, "b", 20);
        s.resize(300, 40);
        s.show();
        QImage img = s.handle(1)->grab().toImage();
        QCOMPARE(img.width(), 8);
        const QColor light(239, 239, 239), dark(144, 144, 144), bg(200, 200, 200);
        for (int y : {0, 5, 10}) {
            QCOMPARE(img.pixelColor(3, y), light);
            QCOMPARE(img.pixelColor(3, y + 1), light);
            QCOMPARE(img.pixelColor(4, y), light);
            QCOMPARE(img.pixelColor(4, y + 1), dark);
            QCOMPARE(img.pixelColor(4, y + 2), bg);
        }
        QCOMPARE(img.pixelColor(0, 0), bg);

        s.setHandleWidth(4); // too thin for dots
        img = s.handle(1)->grab().toImage();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                QCOMPARE(img.pixelColor(x, y), bg);
    }
};

QTEST_MAIN(TestSplitter)
#include "tst_splitter.moc"

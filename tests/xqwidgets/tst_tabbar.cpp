#include "xqwidgets/tabbar.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

using xqwidgets::Tab;
using xqwidgets::TabBar;

namespace
{

// Opens up the geometry helpers and lets a test recolour single tabs the way
// the editors' tab bar does.
class ProbeBar : public TabBar
{
public:
    using TabBar::rh;
    using TabBar::rw;
    using TabBar::startPos;
    using TabBar::TabBar;
    using TabBar::tabByPos;
    using TabBar::tabRect;

    QHash<int, QColor> foreground; // tab id -> text colour given to drawTab

protected:
    void drawTab(QPainter& p, const QPalette& palette, Tab* t) override
    {
        if (!foreground.contains(t->id)) {
            TabBar::drawTab(p, palette, t);
            return;
        }
        QPalette pal = palette;
        pal.setColor(pal.currentColorGroup(), QPalette::WindowText, foreground.value(t->id));
        TabBar::drawTab(p, pal, t);
    }
};

// Records every signal of a bar as a short text, in emission order.
class Recorder : public QObject
{
public:
    explicit Recorder(TabBar* bar)
    {
        connect(bar, &TabBar::currentChanged, this, [this](int id) { add("current", id); });
        connect(bar, &TabBar::startTabDrag, this,
                [this](int id, QMouseEvent*) { add("start", id); });
        connect(bar, &TabBar::continueTabDrag, this, [this](QMouseEvent*) { log << "continue"; });
        connect(bar, &TabBar::finishTabDrag, this, [this](QMouseEvent*) { log << "finish"; });
        connect(bar, &TabBar::cancelTabDrag, this, [this](QMouseEvent*) { log << "cancel"; });
        connect(bar, &TabBar::closeTab, this, [this](int id) { add("close", id); });
        connect(bar, &TabBar::tabRightButtonPressed, this,
                [this](int id, const QPoint&) { add("right", id); });
        connect(bar, &TabBar::changeTabsOrder, this, [this](int from, int to) {
            log << QStringLiteral("order %1 %2").arg(from).arg(to);
        });
        connect(bar, &TabBar::tabDoubleClick, this, [this](int id) { add("double", id); });
    }
    void add(const char* what, int id) { log << QStringLiteral("%1 %2").arg(what).arg(id); }
    QStringList take()
    {
        QStringList r = log;
        log.clear();
        return r;
    }
    QStringList log;
};

void mouse(QWidget* w, QEvent::Type type, const QPoint& pos, Qt::MouseButton button,
           Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void press(QWidget* w, const QPoint& pos, Qt::MouseButton b = Qt::LeftButton)
{
    mouse(w, QEvent::MouseButtonPress, pos, b, b);
}

void release(QWidget* w, const QPoint& pos, Qt::MouseButton b = Qt::LeftButton)
{
    mouse(w, QEvent::MouseButtonRelease, pos, b, Qt::NoButton);
}

void drag(QWidget* w, const QPoint& pos, Qt::MouseButtons held = Qt::LeftButton)
{
    mouse(w, QEvent::MouseMove, pos, Qt::NoButton, held);
}

QList<int> order(const TabBar& bar)
{
    QList<int> ids;
    for (int id = bar.firstTab(false); id != -1; id = bar.nextTab(id, false))
        ids << id;
    return ids;
}

QPalette testPalette()
{
    QPalette pal;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Window, QColor(200, 200, 200));
        pal.setColor(group, QPalette::WindowText, QColor(10, 10, 10));
        pal.setColor(group, QPalette::Light, QColor(250, 250, 250));
        pal.setColor(group, QPalette::Midlight, QColor(225, 225, 225));
        pal.setColor(group, QPalette::Dark, QColor(100, 100, 100));
        pal.setColor(group, QPalette::Mid, QColor(150, 150, 150));
        pal.setColor(group, QPalette::Button, QColor(200, 200, 200));
    }
    return pal;
}

const QColor kWindow(200, 200, 200), kLight(250, 250, 250), kMidlight(225, 225, 225),
    kDark(100, 100, 100), kMid(150, 150, 150), kText(10, 10, 10);

QColor at(const QImage& img, int x, int y)
{
    return img.pixelColor(x, y);
}

// The centre of a tab, in widget coordinates of a bar along the top or bottom.
QPoint centreOf(const ProbeBar& bar, int id)
{
    return bar.tabRect(id).center();
}

int firstShown(const ProbeBar& bar)
{
    for (int id = bar.firstTab(false); id != -1; id = bar.nextTab(id, false))
        if (bar.tabRect(id).isValid())
            return id;
    return -1;
}

bool hasColour(const QImage& img, const QRect& r, const QColor& c)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (img.pixelColor(x, y) == c)
                return true;
    return false;
}

} // namespace

class TestTabBar : public QObject
{
    Q_OBJECT

private:
    // A shown top-level bar of the given width holding `n` tabs "Tab 0".."Tab n-1".
    ProbeBar* makeBar(int width, int n, int viewStyle = TabBar::ShowIcons)
    {
        auto* bar = new ProbeBar;
        bar->setViewStyle(viewStyle);
        bar->setPalette(testPalette());
        QFont f = bar->font();
        f.setStyleStrategy(QFont::NoAntialias); // text pixels in exact colours
        bar->setFont(f);
        for (int i = 0; i < n; ++i)
            bar->addTab(QStringLiteral("Tab %1").arg(i), i);
        bar->resize(width, bar->sizeHint().height());
        bar->show();
        if (!QTest::qWaitForWindowExposed(bar))
            qWarning("bar not exposed");
        return bar;
    }

private slots:
    void idChoiceAndOrder()
    {
        TabBar bar;
        QCOMPARE(bar.insertTab("a", -1, -1), 0);
        QCOMPARE(bar.insertTab("b", 0, 0), 1);  // 0 is taken: next free above
        QCOMPARE(bar.insertTab("c", 1, 5), 5);  // a free id is taken as asked
        QCOMPARE(bar.insertTab("d", 42, 5), 6); // unknown "after": goes first
        QCOMPARE(bar.addTab("e", 1), 2);        // appended
        QCOMPARE(order(bar), (QList<int>{6, 0, 1, 5, 2}));
        QCOMPARE(bar.count(), 5);
        QCOMPARE(bar.tabTitle(6), QString("d"));
        QVERIFY(bar.tabTitle(99).isNull());
        QCOMPARE(bar.tabIcon(99), nullptr);
        QVERIFY(bar.tabIcon(0) && bar.tabIcon(0)->isNull());
        QVERIFY(!bar.isTabEnabled(99));
        QCOMPARE(bar.prevTab(99), -1);
        QCOMPARE(bar.currentTab(), -1); // inserting selects nothing

        bar.setTabEnabled(6, false);
        bar.setTabEnabled(2, false);
        QCOMPARE(bar.firstTab(false), 6);
        QCOMPARE(bar.firstTab(true), 0);
        QCOMPARE(bar.lastTab(true), 5);
        QCOMPARE(bar.prevTab(0, true), -1);
        QCOMPARE(bar.nextTab(5, false), 2);
        QCOMPARE(bar.nextTab(5, true), -1);
    }

    void clearString_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("shown");
        QTest::newRow("mnemonic") << "&Open"
                                  << "Open";
        QTest::newRow("doubled") << "a&&b"
                                 << "a&b";
        QTest::newRow("trailing") << "ab&"
                                  << "ab&";
        QTest::newRow("two") << "&a&b"
                             << "ab";
        QTest::newRow("none") << "plain"
                              << "plain";
    }
    void clearString()
    {
        QFETCH(QString, title);
        QFETCH(QString, shown);
        QCOMPARE(TabBar::clearString(title), shown);
    }

    // Widths follow the margins of the view style; the current tab may be bold.
    void tabWidths_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("currentMargin");
        QTest::addColumn<int>("otherMargin");
        QTest::addColumn<bool>("bold");
        QTest::newRow("default") << 1 << 4 << 12 << false;
        QTest::newRow("editors (bold, flat)") << 12 << 4 << 4 << true;
        QTest::newRow("grip") << 16 << 12 << 12 << false;
    }
    void tabWidths()
    {
        QFETCH(int, style);
        QFETCH(int, currentMargin);
        QFETCH(int, otherMargin);
        QFETCH(bool, bold);
        ProbeBar bar;
        bar.setViewStyle(style);
        bar.addTab("&Main", 0);
        bar.addTab("Other", QIcon(QPixmap(16, 16)), 1);
        bar.setCurrentTab(0);
        QFont f = bar.font();
        if (bold)
            f.setWeight(QFont::Bold);
        const int icon = (style & TabBar::ShowIcons) ? 19 : 0;
        QCOMPARE(bar.tab(0)->width, currentMargin + QFontMetrics(f).horizontalAdvance("Main") + 8);
        QCOMPARE(bar.tab(1)->width,
                 otherMargin + QFontMetrics(bar.font()).horizontalAdvance("Other") + icon + 8);
        // Changing the current tab recomputes both widths.
        bar.setCurrentTab(1);
        QCOMPARE(bar.tab(0)->width,
                 otherMargin + QFontMetrics(bar.font()).horizontalAdvance("Main") + 8);
    }

    void removalPicksSuccessor_data()
    {
        QTest::addColumn<QList<int>>("disabled");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("expected");
        QTest::newRow("previous") << QList<int>{} << 2 << 2 << 1;
        QTest::newRow("skips disabled previous") << QList<int>{1} << 2 << 2 << 0;
        QTest::newRow("next when first") << QList<int>{} << 0 << 0 << 1;
        QTest::newRow("next when previous disabled") << QList<int>{0, 1} << 2 << 2 << 3;
        QTest::newRow("none when all others disabled") << QList<int>{0, 1, 3} << 2 << 2 << -1;
        QTest::newRow("other tab keeps current") << QList<int>{} << 2 << 0 << 2;
    }
    void removalPicksSuccessor()
    {
        QFETCH(QList<int>, disabled);
        QFETCH(int, current);
        QFETCH(int, removed);
        QFETCH(int, expected);
        TabBar bar;
        for (int i = 0; i < 4; ++i)
            bar.addTab(QString::number(i), i);
        for (int id : disabled)
            bar.setTabEnabled(id, false);
        bar.setCurrentTab(current);
        QSignalSpy spy(&bar, &TabBar::currentChanged);
        bar.removeTab(removed);
        QCOMPARE(bar.currentTab(), expected);
        QCOMPARE(bar.count(), 3);
        if (removed == current) {
            QCOMPARE(spy.count(), 1);
            QCOMPARE(spy.at(0).at(0).toInt(), expected);
        } else {
            QCOMPARE(spy.count(), 0);
        }
        bar.removeTab(77); // ignored
        QCOMPARE(bar.count(), 3);
    }

    void clearAndReselect()
    {
        TabBar bar;
        QSignalSpy spy(&bar, &TabBar::currentChanged);
        bar.clear(); // even an empty bar reports that nothing is current
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.takeFirst().at(0).toInt(), -1);

        bar.addTab("a", 0);
        bar.setCurrentTab(0);
        bar.setCurrentTab(0); // unchanged, still reported
        QCOMPARE(spy.count(), 2);
        bar.setCurrentTab(9); // names no tab
        QCOMPARE(spy.count(), 2);
        QCOMPARE(bar.currentTab(), 0);
    }

    void polishSelectsFirstEnabledTab()
    {
        std::unique_ptr<ProbeBar> bar(new ProbeBar);
        bar->addTab("a", 0);
        bar->addTab("b", 1);
        bar->setTabEnabled(0, false);
        QSignalSpy spy(bar.get(), &TabBar::currentChanged);
        bar->resize(300, bar->sizeHint().height());
        bar->show();
        QCOMPARE(bar->currentTab(), 1);
        QCOMPARE(spy.count(), 1);
        QVERIFY(bar->tabRect(0).isValid()); // first tab is the first visible one
    }

    void leftClickSelectsOnRelease()
    {
        std::unique_ptr<ProbeBar> bar(makeBar(400, 3));
        Recorder rec(bar.get());
        const QPoint p = centreOf(*bar, 2);
        press(bar.get(), p);
        QCOMPARE(bar->currentTab(), 2); // highlighted at once
        QCOMPARE(rec.take(), QStringList());
        release(bar.get(), p);
        QCOMPARE(rec.take(), QStringList{"current 2"});

        // A press on empty space or on a disabled tab selects nothing.
        bar->setTabEnabled(0, false);
        for (const QPoint& q : {centreOf(*bar, 0), QPoint(bar->rw() - 60, 5)}) {
            press(bar.get(), q);
            release(bar.get(), q);
        }
        QCOMPARE(rec.take(), QStringList());
        QCOMPARE(bar->currentTab(), 2);
    }

    void dragOutSequence()
    {
        std::unique_ptr<ProbeBar> bar(makeBar(400, 3));
        Recorder rec(bar.get());
        const QPoint p = centreOf(*bar, 1);
        const QPoint outside(p.x(), -20);
        press(bar.get(), p);
        drag(bar.get(), outside);
        drag(bar.get(), outside + QPoint(5, 0));
        drag(bar.get(), p); // back in: the drag is cancelled
        drag(bar.get(), outside);
        release(bar.get(), outside);
        QCOMPARE(rec.take(), (QStringList{"start 1", "continue", "cancel", "start 1", "finish"}));
        QCOMPARE(bar->currentTab(), 1); // highlighted by the press, but never reported

        // A drag that starts on empty space reports -1.
        const QPoint empty(bar->rw() - 60, 5);
        press(bar.get(), empty);
        drag(bar.get(), QPoint(empty.x(), -20));
        release(bar.get(), QPoint(empty.x(), -20));
        QCOMPARE(rec.take(), (QStringList{"start -1", "finish"}));
    }

    void rightClickSequence()
    {
        std::unique_ptr<ProbeBar> bar(makeBar(400, 3));
        Recorder rec(bar.get());
        const QPoint p = centreOf(*bar, 2);
        press(bar.get(), p, Qt::RightButton);
        QCOMPARE(rec.take(), QStringList{"current 2"});       // at press time
        drag(bar.get(), QPoint(p.x(), -30), Qt::RightButton); // no drag with the right button
        release(bar.get(), p, Qt::RightButton);
        QCOMPARE(rec.take(), QStringList{"right 2"});

        const QPoint empty(bar->rw() - 60, 5);
        press(bar.get(), empty, Qt::RightButton);
        release(bar.get(), empty, Qt::RightButton);
        QCOMPARE(rec.take(), QStringList{"right -1"});
    }

    void doubleClick()
    {
        std::unique_ptr<ProbeBar> bar(makeBar(400, 3));
        Recorder rec(bar.get());
        mouse(bar.get(), QEvent::MouseButtonDblClick, centreOf(*bar, 1), Qt::LeftButton,
              Qt::LeftButton);
        mouse(bar.get(), QEvent::MouseButtonDblClick, QPoint(bar->rw() - 60, 5), Qt::LeftButton,
              Qt::LeftButton);
        QCOMPARE(rec.take(), (QStringList{"double 1", "double -1"}));
        QCOMPARE(bar->currentTab(), 0);
    }

    void dragReorders()
    {
        std::unique_ptr<ProbeBar> bar(makeBar(400, 0));
        bar->addTab("A very very long title", 0);
        bar->addTab("B", 1);
        bar->addTab("C", 2);
        bar->setCurrentTab(0);
        Recorder rec(bar.get());

        // The narrow tab over the far end of the wide one would not stay under
        // the mouse: nothing moves.
        const QRect wide = bar->tabRect(0);
        press(bar.get(), centreOf(*bar, 1));
        drag(bar.get(), QPoint(wide.right() - 6, 10));
        QCOMPARE(order(*bar), (QList<int>{0, 1, 2}));
        QCOMPARE(rec.take(), QStringList());
        // Over its near end it swaps.
        drag(bar.get(), QPoint(wide.left() + 4, 10));
        QCOMPARE(order(*bar), (QList<int>{1, 0, 2}));
        QCOMPARE(rec.take(), QStringList{"order 1 0"});
        release(bar.get(), QPoint(wide.left() + 4, 10));
        QCOMPARE(rec.take(), QStringList{"current 1"});

        // With dragging disallowed, moves neither reorder nor drag out.
        bar->setAllowDragging(false);
        press(bar.get(), centreOf(*bar, 1));
        drag(bar.get(), centreOf(*bar, 2));
        drag(bar.get(), QPoint(10, -30));
        release(bar.get(), QPoint(10, -30));
        QCOMPARE(order(*bar), (QList<int>{1, 0, 2}));
        QCOMPARE(rec.take(), QStringList{"current 1"});
    }

    void keys()
    {
        std::unique_ptr<ProbeBar> bar(makeBar(400, 5));
        bar->setTabEnabled(1, false);
        bar->setTabEnabled(4, false);
        Recorder rec(bar.get());
        QTest::keyClick(bar.get(), Qt::Key_Right);
        QTest::keyClick(bar.get(), Qt::Key_Down);
        QTest::keyClick(bar.get(), Qt::Key_Right); // 3 is the last enabled tab
        QTest::keyClick(bar.get(), Qt::Key_Home);
        QTest::keyClick(bar.get(), Qt::Key_Left); // nothing before the first
        QTest::keyClick(bar.get(), Qt::Key_End);
        QTest::keyClick(bar.get(), Qt::Key_Up);
        QCOMPARE(rec.take(),
                 (QStringList{"current 2", "current 3", "current 0", "current 3", "current 2"}));
        QKeyEvent other(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
        QApplication::sendEvent(bar.get(), &other);
        QVERIFY(!other.isAccepted()); // left to the parent
    }

    void mnemonics()
    {
        QWidget window;
        auto* bar = new ProbeBar(&window);
        bar->addTab("&Alpha", 0);
        bar->addTab("&Beta", 1);
        bar->addTab("&Gamma", 2);
        bar->setTabEnabled(2, false);
        bar->resize(400, bar->sizeHint().height());
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(bar->currentTab(), 0);
        QSignalSpy spy(bar, &TabBar::currentChanged);
        QTest::keyClick(&window, Qt::Key_B, Qt::AltModifier);
        QCOMPARE(bar->currentTab(), 1);
        QCOMPARE(spy.count(), 1);
        // A disabled tab cannot be reached from the keyboard.
        QTest::keyClick(&window, Qt::Key_G, Qt::AltModifier);
        QCOMPARE(bar->currentTab(), 1);
        // A retitled tab answers to its new mnemonic only.
        bar->setTabTitle(0, "&Delta");
        QTest::keyClick(&window, Qt::Key_A, Qt::AltModifier);
        QCOMPARE(bar->currentTab(), 1);
        QTest::keyClick(&window, Qt::Key_D, Qt::AltModifier);
        QCOMPARE(bar->currentTab(), 0);
    }

    void scrollingByWholeTabs()
    {
        std::unique_ptr<ProbeBar> bar(makeBar(260, 10));
        QCOMPARE(firstShown(*bar), 0);
        bar->setCurrentTab(9); // scrolled into view
        QVERIFY(bar->tabRect(9).right() < bar->rw() - 38 - 5);
        const int shown = firstShown(*bar);
        QVERIFY(shown > 0);
        QCOMPARE(bar->startPos(), 7); // torn start edge

        const int H = bar->rh();
        const QPoint leftArrow(bar->rw() - 38 + 14, (H - 11) / 2 + 7);
        const QPoint rightArrow = leftArrow + QPoint(14, 0);
        press(bar.get(), leftArrow);
        QCOMPARE(firstShown(*bar), shown); // on release only
        release(bar.get(), leftArrow);
        QCOMPARE(firstShown(*bar), shown - 1);
        press(bar.get(), leftArrow);
        release(bar.get(), leftArrow);
        QCOMPARE(firstShown(*bar), shown - 2);
        press(bar.get(), rightArrow);
        release(bar.get(), rightArrow);
        QCOMPARE(firstShown(*bar), shown - 1);
        QCOMPARE(bar->currentTab(), 9); // scrolling selects nothing

        // The start margin hits the hidden tab just before the first visible one.
        QCOMPARE(bar->tabByPos(QPoint(1, 10)), shown - 2);
        Recorder rec(bar.get());
        press(bar.get(), QPoint(1, 10));
        release(bar.get(), QPoint(1, 10));
        QCOMPARE(rec.take(), QStringList{QStringLiteral("current %1").arg(shown - 2)});
        QCOMPARE(firstShown(*bar), shown - 2);

        // Nothing is hit in the button area.
        QCOMPARE(bar->tabByPos(QPoint(bar->rw() - 38, 10)), -1);

        // Widening the bar until every tab fits brings the row back to the first tab.
        bar->resize(2000, bar->height());
        QCOMPARE(firstShown(*bar), 0);
    }

    void movingOffHeldArrow_data()
    {
        QTest::addColumn<bool>("allowDragging");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("dragging allowed: released by moving off") << true << false;
        QTest::newRow("dragging disallowed: stays held") << false << true;
    }
    void movingOffHeldArrow()
    {
        QFETCH(bool, allowDragging);
        QFETCH(bool, scrolls);
        std::unique_ptr<ProbeBar> bar(makeBar(260, 10));
        bar->setCurrentTab(9);
        bar->setAllowDragging(allowDragging);
        const int shown = firstShown(*bar);
        const QPoint leftArrow(bar->rw() - 38 + 14, (bar->rh() - 11) / 2 + 7);
        press(bar.get(), leftArrow);
        drag(bar.get(), QPoint(bar->rw() - 60, 5));
        release(bar.get(), QPoint(bar->rw() - 60, 5));
        QCOMPARE(firstShown(*bar), scrolls ? shown - 1 : shown);
    }

    void removingFirstVisibleTabKeepsRowDrawn()
    {
        std::unique_ptr<ProbeBar> bar(makeBar(260, 10));
        bar->setCurrentTab(9);
        const int shown = firstShown(*bar);
        bar->removeTab(shown);
        QCOMPARE(firstShown(*bar), shown + 1);
        QCOMPARE(bar->tabByPos(centreOf(*bar, 9)), 9);
    }

    void closeButton()
    {
        std::unique_ptr<ProbeBar> bar(makeBar(400, 3, TabBar::ShowIcons | TabBar::CloseButton));
        bar->setCurrentTab(1);
        Recorder rec(bar.get());
        const QPoint cross(bar->rw() - 52 + 28 + 14, (bar->rh() - 11) / 2 + 7);
        press(bar.get(), cross);
        release(bar.get(), cross);
        QCOMPARE(rec.take(), QStringList{"close 1"});
        QCOMPARE(bar->count(), 3); // closing is the receiver's business
    }

    void sizeHintAndPolicy()
    {
        TabBar bar;
        const int fh = qMax(bar.fontMetrics().height(), 14);
        QCOMPARE(bar.sizeHint(), QSize(38 + 28, qMax(fh + 12, 26)));
        QCOMPARE(bar.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
        bar.setViewStyle(TabBar::CloseButton);
        bar.setTabPosition(TabBar::Left);
        QCOMPARE(bar.sizeHint(), QSize(bar.fontMetrics().height() + 12, 52 + 28));
        QCOMPARE(bar.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    }

    // ---- painting -----------------------------------------------------------

    void paintTopFrame()
    {
        std::unique_ptr<ProbeBar> bar(makeBar(400, 3));
        bar->setCurrentTab(1);
        const QImage img = bar->grab().toImage();
        const int H = bar->rh();
        const QRect cur = bar->tabRect(1);
        const QRect other = bar->tabRect(0);
        // The current tab stands 2 px higher and 4 px wider than its record.
        QCOMPARE(cur.width(), bar->tab(1)->width + 4);
        QCOMPARE(at(img, cur.left() + 5, 3), kLight);
        QCOMPARE(at(img, cur.left() + 5, 2), kWindow);
        QCOMPARE(at(img, cur.left(), 10), kLight);         // leading side
        QCOMPARE(at(img, cur.right(), 10), kDark);         // trailing side
        QCOMPARE(at(img, cur.left() + 5, H - 1), kWindow); // open towards the panel
        // Non-current tabs: top edge at 5, base line along the bottom.
        QCOMPARE(at(img, other.left() + 5, 5), kLight);
        QCOMPARE(at(img, other.left() + 5, 4), kWindow);
        QCOMPARE(at(img, other.left() + 5, H - 1), kLight);
        // The current tab covers the last 2 px of the tab before it.
        QCOMPARE(at(img, other.right() - 1, 10), kLight);
        // Past the last tab the row is background with the base line, up to the
        // buttons; with nothing to scroll the button area is the same.
        for (int x = bar->tabRect(2).right() + 1; x < bar->rw(); ++x) {
            QCOMPARE(at(img, x, H - 1), kLight);
            QCOMPARE(at(img, x, H / 2), kWindow);
        }
    }

    void paintBottomFlipsFrameButNotText()
    {
        std::unique_ptr<ProbeBar> top(makeBar(400, 2));
        std::unique_ptr<ProbeBar> bottom(makeBar(400, 2));
        bottom->setTabPosition(TabBar::Bottom);
        top->addTab("HHHH", 5);
        bottom->addTab("HHHH", 5);
        const QImage ti = top->grab().toImage();
        const QImage bi = bottom->grab().toImage();
        const int H = bottom->rh();
        const QRect r = bottom->tabRect(5);
        QCOMPARE(bottom->tabRect(5), top->tabRect(5));
        // Outer edge faces down in the dark colour, base line along the top.
        QCOMPARE(at(bi, r.left() + 5, H - 1 - 5), kDark);
        QCOMPARE(at(bi, r.left() + 5, H - 1 - 4), kWindow);
        QCOMPARE(at(bi, r.left() + 5, 0), kDark);
        QCOMPARE(at(bi, r.left(), 10), kLight); // leading side stays light
        // The title is the same image, 3 px higher: upright, not mirrored.
        const QRect textTop(r.left() + 4, 6, r.width() - 8, H - 12);
        QVERIFY(hasColour(ti, textTop, kDark.darker(200)));
        QCOMPARE(bi.copy(textTop.translated(0, -3)), ti.copy(textTop));
    }

    void paintTextColours()
    {
        std::unique_ptr<ProbeBar> bar(makeBar(400, 0));
        bar->addTab("HHHH", 0);
        bar->addTab("HHHH", 1);
        bar->addTab("HHHH", 2);
        bar->setCurrentTab(0);
        const QColor marked(0, 0, 200), other(200, 0, 0);
        bar->foreground.insert(1, marked);
        bar->foreground.insert(2, other);
        bar->update();
        const QImage img = bar->grab().toImage();
        const QRect t1 = bar->tabRect(1), t2 = bar->tabRect(2), t0 = bar->tabRect(0);
        QVERIFY(hasColour(img, t1, marked));
        QVERIFY(!hasColour(img, t2, other));
        QVERIFY(hasColour(img, t2, kDark.darker(200)));
        QVERIFY(hasColour(img, t0, kText)); // the current tab keeps its foreground
    }

    void paintFlatTabs()
    {
        std::unique_ptr<ProbeBar> bar(makeBar(400, 3, TabBar::FlatTabs | TabBar::BoldCurrent));
        bar->setCurrentTab(0);
        const QImage img = bar->grab().toImage();
        const int H = bar->rh();
        const QRect r = bar->tabRect(1);
        QCOMPARE(bar->startPos(), 7);
        QCOMPARE(at(img, r.left() + 5, 5), kMidlight); // no top edge
        QCOMPARE(at(img, r.left() + 5, 2), kMidlight); // bar background is midlight
        QCOMPARE(at(img, r.right(), 8).rgb(), kMidlight.darker(120).rgb()); // separator
        QCOMPARE(at(img, r.left() + 5, H - 1), kLight);
        // The current tab keeps its frame.
        QCOMPARE(at(img, bar->tabRect(0).left() + 5, 3), kLight);
    }

    void paintPositions_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QPoint>("baseLine"); // in units of (thickness - 1) across
        QTest::addColumn<QColor>("baseColour");
        QTest::newRow("top") << int(TabBar::Top) << QPoint(0, 1) << kLight;
        QTest::newRow("bottom") << int(TabBar::Bottom) << QPoint(0, 0) << kDark;
        QTest::newRow("left") << int(TabBar::Left) << QPoint(1, 0) << kLight;
        QTest::newRow("right") << int(TabBar::Right) << QPoint(0, 0) << kDark;
    }
    void paintPositions()
    {
        QFETCH(int, position);
        QFETCH(QPoint, baseLine);
        QFETCH(QColor, baseColour);
        std::unique_ptr<ProbeBar> bar(makeBar(100, 3));
        bar->setTabPosition(TabBar::TabPosition(position));
        const bool vertical = position >= TabBar::Left;
        const int thickness = bar->sizeHint().height();
        bar->resize(vertical ? QSize(thickness, 400) : QSize(400, thickness));
        QCOMPARE(bar->rw(), 400);
        const int H = bar->rh();
        const QImage img = bar->grab().toImage();
        const QRect r = bar->tabRect(1); // non-current
        const int along = r.left() + r.width() / 2;
        const QPoint p = vertical ? QPoint(baseLine.x() * (H - 1), along)
                                  : QPoint(along, baseLine.y() * (H - 1));
        QCOMPARE(at(img, p.x(), p.y()), baseColour);
        // Hit tests follow the position.
        const QPoint c = vertical ? QPoint(H / 2, along) : QPoint(along, H / 2);
        QCOMPARE(bar->tabByPos(c), 1);
    }

    void paintArrowColours()
    {
        std::unique_ptr<ProbeBar> bar(makeBar(260, 10, TabBar::ShowIcons | TabBar::CloseButton));
        const int H = bar->rh();
        const int y = (H - 11) / 2 + 2 + 5; // the tip row of the arrows
        const int x0 = bar->rw() - 52;
        QImage img = bar->grab().toImage();
        QCOMPARE(at(img, x0 + 10, y), kMid);      // cannot scroll back
        QCOMPARE(at(img, x0 + 24 + 8, y), kText); // can scroll on
        QCOMPARE(at(img, x0 + 38 + 3, y), kText); // close cross centre
        bar->setCurrentTab(9);
        img = bar->grab().toImage();
        QCOMPARE(at(img, x0 + 10, y), kText);
        QCOMPARE(at(img, x0 + 24 + 8, y), kMid);
        // Torn start edge in the light colour.
        bool torn = false;
        for (int x = 0; x < 3; ++x)
            torn = torn || at(img, x, 6) == kLight;
        QVERIFY(torn);
    }
};

QTEST_MAIN(TestTabBar)
#include "tst_tabbar.moc"

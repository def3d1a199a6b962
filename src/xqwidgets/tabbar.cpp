#include "xqwidgets/tabbar.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHash>
#include <QKeyEvent>
#include <QList>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QTransform>
#include <QtMath>

namespace xqwidgets
{

namespace
{

// The torn edge: a 3 px wide zig-zag, one column per row, repeated every 12 px.
const int break_array[12] = {1, 0, 0, 1, 1, 2, 2, 1, 1, 0, 0, 1};

QPolygon makeBreakGlyph()
{
    QPolygon g;
    for (int y = 0; y < 12; ++y)
        g << QPoint(break_array[y], y);
    return g;
}

// 9 x 11 arrow pointing left: a solid triangle with its tip at (0, 5) and its
// base on column 5, plus a shaft on rows 3 to 7 reaching column 8.
QPolygon makeLeftGlyph()
{
    QPolygon g;
    for (int y = 0; y < 11; ++y) {
        for (int x = qAbs(y - 5); x <= 5; ++x)
            g << QPoint(x, y);
        if (y >= 3 && y <= 7)
            for (int x = 6; x <= 8; ++x)
                g << QPoint(x, y);
    }
    return g;
}

QPolygon makeRightGlyph()
{
    QPolygon g;
    for (const QPoint& p : makeLeftGlyph())
        g << QPoint(8 - p.x(), p.y());
    return g;
}

// 8 x 7 cross, two pixels thick, placed two rows down in the 11 row button box.
QPolygon makeCloseGlyph()
{
    QPolygon g;
    for (int y = 0; y < 7; ++y)
        g << QPoint(y, y + 2) << QPoint(y + 1, y + 2) << QPoint(6 - y, y + 2)
          << QPoint(7 - y, y + 2);
    return g;
}

// Colours of a tab frame or end piece; which palette colour plays which part
// depends on the side of the panel the bar lies on.
struct FrameColors {
    QColor outer, leading, trailing, base;
};

FrameColors frameColors(const QPalette& pal, TabBar::TabPosition pos)
{
    const QColor light = pal.color(QPalette::Light);
    const QColor dark = pal.color(QPalette::Dark);
    switch (pos) {
    case TabBar::Bottom:
        return {dark, light, dark, dark};
    case TabBar::Left:
        return {light, dark, light, light};
    case TabBar::Right:
        return {dark, light, dark, dark};
    case TabBar::Top:
    default:
        return {light, light, dark, light};
    }
}

// Draws in the horizontal frame of a bar along the top; for a bar along the
// bottom every row is mirrored, so the outer edges face down.
struct FramePainter {
    QPainter& p;
    int h;
    bool flip;

    int y(int v) const { return flip ? h - 1 - v : v; }
    void line(int x1, int y1, int x2, int y2, const QColor& c)
    {
        p.setPen(c);
        p.drawLine(x1, y(y1), x2, y(y2));
    }
    void point(int x, int yy, const QColor& c)
    {
        p.setPen(c);
        p.drawPoint(x, y(yy));
    }
    // Fills the columns x .. x + w - 1 of rows y0 .. y1.
    void rows(int x, int w, int y0, int y1, const QColor& c)
    {
        if (y1 < y0 || w <= 0)
            return;
        const int a = y(y0), b = y(y1);
        p.fillRect(QRect(x, qMin(a, b), w, qAbs(b - a) + 1), c);
    }
    void glyph(const QPolygon& g, int dx, int dy, const QColor& c)
    {
        p.setPen(c);
        for (const QPoint& pt : g)
            p.drawPoint(pt.x() + dx, y(pt.y() + dy));
    }
};

} // namespace

class TabBar::Private
{
public:
    QHash<int, QShortcut*> accel; // mnemonic of each tab that has one, by tab id
    QPixmap buffer{1, 1};
    TabPosition position = Top;
    int current = -1;
    int firstVisible = -1;
    bool canScrollLeft = false;
    bool canScrollRight = false;
    bool leftPressed = false;
    bool rightPressed = false;
    bool closePressed = false;
    int pressedId = -1;
    bool showCloseButton = false;
    bool tabGrip = false;
    bool flatTabs = false;
    bool boldCurrent = false;
    bool showIcons = true;
    int viewStyle = ShowIcons;
    int buttonsWidth = 38;
    bool dragging = false;
    QPolygon breakGlyph, leftGlyph, rightGlyph, closeGlyph;
    QList<Tab*> tabs;
    bool allowDragging = true;
    QTimer timer; // auto-repeat of the scroll buttons

    int indexOf(int id) const
    {
        for (int i = 0; i < tabs.size(); ++i)
            if (tabs.at(i)->id == id)
                return i;
        return -1;
    }
    int bufferWidth() const { return qRound(buffer.deviceIndependentSize().width()); }
    // The buffer only ever grows along the bar; its thickness follows the bar.
    void growBuffer(int w)
    {
        if (bufferWidth() >= w)
            return;
        const qreal dpr = buffer.devicePixelRatio();
        QPixmap pm(qCeil(w * dpr), buffer.height());
        pm.setDevicePixelRatio(dpr);
        buffer = pm;
    }
};

TabBar::TabBar(QWidget* parent, const char* name) : QWidget(parent), d(new Private)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    // Every pixel is painted from the off-screen buffer, so nothing needs erasing.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    updatePixmap();
    connect(&d->timer, &QTimer::timeout, this, &TabBar::breakTimeout);
    setFocusPolicy(Qt::TabFocus);
    setTabPosition(Top);
}

TabBar::~TabBar()
{
    qDeleteAll(d->accel);
    qDeleteAll(d->tabs);
    delete d;
}

// ---- tab list --------------------------------------------------------------

int TabBar::insertTab(const QString& title, QIcon* icon, int after, int id)
{
    int newId = id < 0 ? 0 : id;
    while (d->indexOf(newId) >= 0)
        ++newId;

    Tab* t = new Tab;
    t->title = title;
    if (icon) {
        t->iconset = *icon;
        delete icon;
    }
    t->id = newId;
    t->enabled = true;
    t->width = tabWidth(t);

    const QKeySequence key = QKeySequence::mnemonic(title);
    if (!key.isEmpty()) {
        auto* sc = new QShortcut(key, this);
        // Disabled tabs cannot be reached from the keyboard, mnemonics included.
        connect(sc, &QShortcut::activated, this, [this, newId] {
            if (isTabEnabled(newId))
                setCurrentTab(newId);
        });
        d->accel.insert(newId, sc);
    }

    d->growBuffer(t->width + 4);

    const int afterIndex = d->indexOf(after);
    d->tabs.insert(afterIndex < 0 ? 0 : afterIndex + 1, t);

    updateBreaks();
    return newId;
}

int TabBar::insertTab(const QString& title, const QIcon& icon, int after, int id)
{
    return insertTab(title, new QIcon(icon), after, id);
}

int TabBar::insertTab(const QString& title, int after, int id)
{
    return insertTab(title, new QIcon, after, id);
}

int TabBar::addTab(const QString& title, const QIcon& icon, int id)
{
    return insertTab(title, icon, lastTab(false), id);
}

int TabBar::addTab(const QString& title, int id)
{
    return insertTab(title, QIcon(), lastTab(false), id);
}

void TabBar::removeTab(int id)
{
    const int index = d->indexOf(id);
    if (index < 0)
        return;

    const bool wasCurrent = id == d->current;
    int successor = -1;
    if (wasCurrent) {
        successor = prevTab(id, true);
        if (successor == -1)
            successor = nextTab(id, true);
    }
    // Drawing and hit testing start at the first visible tab, so it must keep
    // naming a tab that exists.
    if (id == d->firstVisible) {
        d->firstVisible = nextTab(id, false);
        if (d->firstVisible == -1)
            d->firstVisible = prevTab(id, false);
    }
    if (d->pressedId == id)
        d->pressedId = -1;

    delete d->accel.take(id);
    delete d->tabs.takeAt(index);

    if (wasCurrent) {
        if (successor == -1) {
            d->current = -1;
            d->firstVisible = -1;
            updateBreaks();
            emit currentChanged(-1);
        } else {
            setCurrentTab(successor);
        }
    } else {
        updateBreaks();
    }
    update();
}

void TabBar::clear()
{
    qDeleteAll(d->accel);
    d->accel.clear();
    qDeleteAll(d->tabs);
    d->tabs.clear();
    d->current = -1;
    d->firstVisible = -1;
    d->pressedId = -1;
    updateBreaks();
    emit currentChanged(-1);
    update();
}

int TabBar::count() const
{
    return d->tabs.size();
}

void TabBar::setTabTitle(int id, const QString& title)
{
    Tab* t = tab(id);
    if (!t)
        return;
    t->title = title;
    t->width = tabWidth(t);

    delete d->accel.take(id);
    const QKeySequence key = QKeySequence::mnemonic(title);
    if (!key.isEmpty()) {
        auto* sc = new QShortcut(key, this);
        connect(sc, &QShortcut::activated, this, [this, id] {
            if (isTabEnabled(id))
                setCurrentTab(id);
        });
        d->accel.insert(id, sc);
    }

    d->growBuffer(t->width + 4);
    updateBreaks();
    update();
}

void TabBar::setTabIcon(int id, const QIcon& icon)
{
    Tab* t = tab(id);
    if (!t)
        return;
    t->iconset = icon;
    t->width = tabWidth(t);
    d->growBuffer(t->width + 4);
    updateBreaks();
    update();
}

void TabBar::setTabEnabled(int id, bool enabled)
{
    Tab* t = tab(id);
    if (!t)
        return;
    t->enabled = enabled;
    update();
}

QString TabBar::tabTitle(int id) const
{
    const Tab* t = tab(id);
    return t ? t->title : QString();
}

const QIcon* TabBar::tabIcon(int id) const
{
    const Tab* t = tab(id);
    return t ? &t->iconset : nullptr;
}

bool TabBar::isTabEnabled(int id) const
{
    const Tab* t = tab(id);
    return t && t->enabled;
}

int TabBar::firstTab(bool enabledOnly) const
{
    for (const Tab* t : d->tabs)
        if (!enabledOnly || t->enabled)
            return t->id;
    return -1;
}

int TabBar::lastTab(bool enabledOnly) const
{
    for (int i = d->tabs.size() - 1; i >= 0; --i)
        if (!enabledOnly || d->tabs.at(i)->enabled)
            return d->tabs.at(i)->id;
    return -1;
}

int TabBar::prevTab(int id, bool enabledOnly) const
{
    const int index = d->indexOf(id);
    if (index < 0)
        return -1;
    for (int i = index - 1; i >= 0; --i)
        if (!enabledOnly || d->tabs.at(i)->enabled)
            return d->tabs.at(i)->id;
    return -1;
}

int TabBar::nextTab(int id, bool enabledOnly) const
{
    const int index = d->indexOf(id);
    if (index < 0)
        return -1;
    for (int i = index + 1; i < d->tabs.size(); ++i)
        if (!enabledOnly || d->tabs.at(i)->enabled)
            return d->tabs.at(i)->id;
    return -1;
}

int TabBar::currentTab() const
{
    return d->current;
}

Tab* TabBar::tab(int id) const
{
    const int index = d->indexOf(id);
    return index < 0 ? nullptr : d->tabs.at(index);
}

// ---- appearance ------------------------------------------------------------

void TabBar::setTabPosition(TabPosition position)
{
    d->position = position;
    if (position == Left || position == Right)
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    else
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    updateGeometry();
    update();
}

TabBar::TabPosition TabBar::tabPosition() const
{
    return d->position;
}

void TabBar::setViewStyle(int style)
{
    d->viewStyle = style;
    d->showIcons = style & ShowIcons;
    d->showCloseButton = style & CloseButton;
    d->boldCurrent = style & BoldCurrent;
    d->flatTabs = style & FlatTabs;
    d->tabGrip = style & TabGrip;
    d->buttonsWidth = d->showCloseButton ? 52 : 38;
    d->growBuffer(d->buttonsWidth);
    recalTabsWidth();
    updateBreaks();
    updateGeometry();
    update();
}

int TabBar::viewStyle() const
{
    return d->viewStyle;
}

void TabBar::setAllowDragging(bool allow)
{
    d->allowDragging = allow;
}

QString TabBar::clearString(const QString& s)
{
    QString r = s;
    int i = r.indexOf(QLatin1Char('&'));
    while (i >= 0 && i < r.size() - 1) {
        r.remove(i, 1);
        i = r.indexOf(QLatin1Char('&'), i + 1);
    }
    return r;
}

int TabBar::tabWidth(Tab* t) const
{
    QFont f = font();
    const bool isCurrent = t->id == d->current;
    if (isCurrent && d->boldCurrent)
        f.setWeight(QFont::Bold);
    int margin;
    if (isCurrent)
        margin = d->tabGrip ? 12 : 4;
    else
        margin = d->flatTabs ? 4 : 12;
    int w = margin + QFontMetrics(f).horizontalAdvance(clearString(t->title));
    if (d->showIcons && !t->iconset.isNull())
        w += 19;
    return w + 8;
}

void TabBar::recalTabsWidth()
{
    int widest = 0;
    for (Tab* t : d->tabs) {
        t->width = tabWidth(t);
        widest = qMax(widest, t->width);
    }
    d->growBuffer(widest + 4);
}

void TabBar::updatePixmap()
{
    d->breakGlyph = makeBreakGlyph();
    d->leftGlyph = makeLeftGlyph();
    d->rightGlyph = makeRightGlyph();
    d->closeGlyph = makeCloseGlyph();
}

int TabBar::rw() const
{
    return (d->position == Left || d->position == Right) ? height() : width();
}

int TabBar::rh() const
{
    return (d->position == Left || d->position == Right) ? width() : height();
}

QSize TabBar::sizeHint() const
{
    const int length = d->buttonsWidth + 28;
    int thickness = fontMetrics().height();
    if (d->showIcons)
        thickness = qMax(thickness, 14);
    thickness += 12;
    if (d->position == Left || d->position == Right)
        return QSize(thickness, length);
    return QSize(length, thickness);
}

// ---- geometry --------------------------------------------------------------

int TabBar::startPos() const
{
    if (d->tabs.isEmpty())
        return 0;
    int pos = 2;
    if (d->tabs.first()->id != d->firstVisible || d->flatTabs)
        pos += 5;
    return pos;
}

QRect TabBar::tabRect(int id) const
{
    int x = startPos();
    bool visible = false;
    for (const Tab* t : d->tabs) {
        if (t->id == d->firstVisible)
            visible = true;
        if (t->id == id) {
            if (!visible)
                return QRect();
            if (t->id == d->current)
                return QRect(x - 2, 0, t->width + 4, rh());
            return QRect(x, 0, t->width, rh());
        }
        if (visible)
            x += t->width;
    }
    return QRect();
}

int TabBar::tabByPos(const QPoint& p) const
{
    const bool vertical = d->position == Left || d->position == Right;
    const QPoint hp = vertical ? QPoint(p.y(), p.x()) : p;
    if (hp.x() < startPos())
        return prevTab(d->firstVisible, false);
    if (hp.x() >= rw() - d->buttonsWidth)
        return -1;
    for (const Tab* t : d->tabs)
        if (tabRect(t->id).contains(hp))
            return t->id;
    return -1;
}

void TabBar::updateBreaks()
{
    if (d->tabs.isEmpty()) {
        d->canScrollLeft = false;
        d->canScrollRight = false;
    } else {
        const int last = lastTab(false);
        d->canScrollLeft = d->tabs.first()->id != d->firstVisible;
        d->canScrollRight =
            tabRect(last).right() >= rw() - d->buttonsWidth - 5 && d->firstVisible != last;
    }
    update();
}

// When every tab fits, the row always starts with the first tab.
static void resetStart(const QList<Tab*>& tabs, int& firstVisible, int limit)
{
    if (tabs.isEmpty() || tabs.first()->id == firstVisible)
        return;
    int sum = 0;
    for (const Tab* t : tabs)
        sum += t->width;
    if (sum < limit)
        firstVisible = tabs.first()->id;
}

bool TabBar::setCurrentTabInternal(int id)
{
    Tab* t = tab(id);
    if (!t)
        return false;
    Tab* old = tab(d->current);
    d->current = id;
    if (old)
        old->width = tabWidth(old);
    t->width = tabWidth(t);
    d->growBuffer(t->width + 4);
    resetStart(d->tabs, d->firstVisible, rw() - d->buttonsWidth - 5);
    updateBreaks();
    update();
    return true;
}

void TabBar::setCurrentTab(int id)
{
    if (setCurrentTabInternal(id)) {
        makeTabVisible(id);
        emit currentChanged(id);
    }
}

void TabBar::makeTabVisible(int id)
{
    const int index = d->indexOf(id);
    if (index < 0)
        return;
    const int fvIndex = d->indexOf(d->firstVisible);
    if (fvIndex < 0 || index < fvIndex) {
        d->firstVisible = id;
        updateBreaks();
        return;
    }
    const int limit = rw() - d->buttonsWidth - 5;
    for (int i = fvIndex + 1; i <= index; ++i) {
        const int t = d->tabs.at(i)->id;
        if (t != d->firstVisible && tabRect(t).right() > limit)
            d->firstVisible = nextTab(d->firstVisible, false);
    }
    updateBreaks();
}

void TabBar::scrollRight()
{
    if (!d->canScrollLeft)
        return;
    d->firstVisible = prevTab(d->firstVisible, false);
    updateBreaks();
    update();
}

void TabBar::scrollLeft()
{
    if (!d->canScrollRight)
        return;
    d->firstVisible = nextTab(d->firstVisible, false);
    updateBreaks();
    update();
}

void TabBar::checkButtons(const QPoint& p)
{
    const bool vertical = d->position == Left || d->position == Right;
    const QPoint hp = vertical ? QPoint(p.y(), p.x()) : p;
    const int top = (rh() - 11) / 2 + 2;
    const int left = rw() - d->buttonsWidth + 10;
    const QRect box(QPoint(left, top), QPoint(left + 8, top + 10));
    d->leftPressed = d->canScrollLeft && box.contains(hp);
    d->rightPressed = d->canScrollRight && box.translated(14, 0).contains(hp);
    d->closePressed = box.translated(28, 0).contains(hp);
}

void TabBar::breakTimeout()
{
    if (d->leftPressed) {
        update();
        scrollRight();
    }
    if (d->rightPressed) {
        update();
        scrollLeft();
    }
}

// ---- events ----------------------------------------------------------------

bool TabBar::event(QEvent* e)
{
    if (e->type() == QEvent::Polish) {
        const bool result = QWidget::event(e);
        if (d->firstVisible == -1)
            d->firstVisible = firstTab(false);
        if (d->current == -1)
            setCurrentTab(firstTab(true));
        return result;
    }
    return QWidget::event(e);
}

void TabBar::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::FontChange) {
        recalTabsWidth();
        updateBreaks();
    } else if (e->type() == QEvent::StyleChange) {
        updatePixmap();
        update();
    }
    QWidget::changeEvent(e);
}

void TabBar::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    resetStart(d->tabs, d->firstVisible, rw() - d->buttonsWidth - 5);
    updateBreaks();
}

void TabBar::mousePressEvent(QMouseEvent* e)
{
    const QPoint pos = e->position().toPoint();
    d->pressedId = tabByPos(pos);
    if (d->pressedId != -1 && !isTabEnabled(d->pressedId))
        d->pressedId = -1;

    if (e->button() == Qt::RightButton) {
        if (d->pressedId == -1)
            return;
        setCurrentTabInternal(d->pressedId);
        makeTabVisible(d->pressedId);
        emit currentChanged(d->pressedId);
        return;
    }

    d->dragging = false;
    checkButtons(pos);
    if (d->leftPressed || d->rightPressed) {
        update();
        d->timer.start(250);
    }
    if (d->closePressed)
        update();
    // The tab is highlighted at once; currentChanged follows on release.
    if (d->pressedId != -1)
        setCurrentTabInternal(d->pressedId);
}

void TabBar::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::RightButton) {
        emit tabRightButtonPressed(d->pressedId, e->globalPosition().toPoint());
        d->pressedId = -1;
        return;
    }

    d->timer.stop();
    if (d->dragging) {
        d->dragging = false;
        d->pressedId = -1;
        emit finishTabDrag(e);
        return;
    }
    if (d->leftPressed) {
        d->leftPressed = false;
        update();
        scrollRight();
    }
    if (d->rightPressed) {
        d->rightPressed = false;
        update();
        scrollLeft();
    }
    if (d->closePressed) {
        d->closePressed = false;
        d->pressedId = -1;
        update();
        emit closeTab(d->current);
        return;
    }
    if (d->pressedId != -1)
        setCurrentTab(d->pressedId);
    d->pressedId = -1;
}

void TabBar::mouseDoubleClickEvent(QMouseEvent* e)
{
    emit tabDoubleClick(tabByPos(e->position().toPoint()));
}

void TabBar::mouseMoveEvent(QMouseEvent* e)
{
    if (e->buttons() == Qt::NoButton || e->buttons() == Qt::RightButton || !d->allowDragging)
        return;
    const QPoint pos = e->position().toPoint();

    if (!rect().contains(pos)) {
        if (!d->dragging) {
            d->dragging = true;
            emit startTabDrag(d->pressedId, e);
        } else {
            emit continueTabDrag(e);
        }
        return;
    }
    if (d->dragging) {
        d->dragging = false;
        emit cancelTabDrag(e);
    }

    const bool wasLeft = d->leftPressed, wasRight = d->rightPressed, wasClose = d->closePressed;
    checkButtons(pos);
    if (d->leftPressed || d->rightPressed)
        d->timer.start(500);
    else
        d->timer.stop();
    if (wasLeft != d->leftPressed || wasRight != d->rightPressed || wasClose != d->closePressed)
        update();

    if (d->pressedId == -1)
        return;
    const int over = tabByPos(pos);
    if (over == -1 || over == d->pressedId)
        return;
    const int fv = d->firstVisible;
    if (d->pressedId == fv)
        d->firstVisible = nextTab(fv, false);
    else if (over == fv)
        d->firstVisible = d->pressedId;
    const int from = d->indexOf(d->pressedId);
    const int to = d->indexOf(over);
    d->tabs.move(from, to);
    if (tabByPos(pos) != d->pressedId) {
        // The pressed tab would not end up under the mouse (it is wider than
        // its neighbour): keep the old order so it does not swing to and fro.
        d->tabs.move(to, from);
        d->firstVisible = fv;
        return;
    }
    update();
    emit changeTabsOrder(from, to);
}

void TabBar::keyPressEvent(QKeyEvent* e)
{
    int target;
    switch (e->key()) {
    case Qt::Key_Home:
        target = firstTab(true);
        break;
    case Qt::Key_End:
        target = lastTab(true);
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
        target = prevTab(d->current, true);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        target = nextTab(d->current, true);
        break;
    default:
        e->ignore();
        return;
    }
    if (target != -1 && target != d->current) {
        setCurrentTabInternal(target);
        makeTabVisible(target);
        emit currentChanged(target);
    }
}

// ---- painting --------------------------------------------------------------

void TabBar::paintEvent(QPaintEvent*)
{
    const int W = rw();
    const int H = rh();
    const int BW = d->buttonsWidth;
    const int limit = W - BW - 5;
    const TabPosition position = d->position;
    const bool flip = position == Bottom;
    const QPalette pal = palette();
    const QColor bg = d->flatTabs ? pal.color(QPalette::Midlight) : pal.color(QPalette::Window);
    const QColor darkColor = pal.color(QPalette::Dark);
    // End pieces are never rotated the way tabs are, so they take the colours
    // of a bar along the top or along the bottom.
    const FrameColors fc = frameColors(pal, (position == Top || position == Left) ? Top : Bottom);
    const qreal dpr = devicePixelRatioF();

    // Wide enough for any piece, the rest of the row included.
    int bufferWidth = qMax(qMax(d->bufferWidth(), BW), W);
    for (const Tab* t : d->tabs)
        bufferWidth = qMax(bufferWidth, t->width + 4);
    const QSize pixels(qCeil(bufferWidth * dpr), qCeil(qMax(H, 1) * dpr));
    if (d->buffer.size() != pixels || d->buffer.devicePixelRatio() != dpr) {
        d->buffer = QPixmap(pixels);
        d->buffer.setDevicePixelRatio(dpr);
    }

    QPainter wp(this);
    // Copies `len` px of the buffer from `sx` to `pos` along the bar.
    auto copy = [&](int pos, int sx, int len, bool isTab) {
        if (len <= 0)
            return;
        wp.save();
        if (position == Left) {
            wp.setTransform(isTab ? QTransform().translate(0, pos + len).rotate(-90)
                                  : QTransform(0, 1, 1, 0, 0, pos));
        } else if (position == Right) {
            wp.setTransform(QTransform().translate(H, pos).rotate(90));
        } else {
            wp.translate(pos, 0);
        }
        wp.drawPixmap(QRectF(0, 0, len, H), d->buffer, QRectF(sx * dpr, 0, len * dpr, H * dpr));
        wp.restore();
    };

    // 1. Start piece.
    {
        QPainter bp(&d->buffer);
        FramePainter f{bp, H, flip};
        if (d->canScrollLeft) {
            const int e = d->firstVisible == d->current ? 5 : 7;
            bp.fillRect(0, 0, e, H, bg);
            for (int y = 6; y < H; y += 12)
                f.glyph(d->breakGlyph, 0, y, fc.leading);
            if (!d->flatTabs) {
                f.line(1, 5, e - 1, 5, fc.outer);
                f.line(e - 1, 5, e - 1, H - 2, fc.trailing);
            }
            f.line(0, H - 1, e - 1, H - 1, fc.base);
            bp.end();
            copy(0, 0, e, false);
        } else {
            const int e = startPos();
            bp.fillRect(0, 0, qMax(e, 1), H, bg);
            f.line(0, H - 1, e - 1, H - 1, fc.base);
            bp.end();
            copy(0, 0, e, false);
        }
    }

    // 2. The visible tabs.
    int x = startPos();
    bool lastCurrent = false;
    const int first = d->indexOf(d->firstVisible);
    if (first >= 0) {
        for (int i = first; i < d->tabs.size(); ++i) {
            Tab* t = d->tabs.at(i);
            const bool isCurrent = t->id == d->current;
            const bool afterCurrent = i > 0 && d->tabs.at(i - 1)->id == d->current;
            const bool beforeCurrent =
                i + 1 < d->tabs.size() && d->tabs.at(i + 1)->id == d->current;
            int drawPos = x;
            int len = t->width;
            int sx = 0;
            if (isCurrent) {
                drawPos = x - 2;
                len = t->width + 4;
            } else if (afterCurrent) {
                drawPos = x + 2;
                len = t->width - 2;
                sx = 2;
            } else if (beforeCurrent) {
                len = t->width - 2;
            }
            {
                QPainter bp(&d->buffer);
                bp.fillRect(QRect(0, 0, bufferWidth, H), bg);
                QPalette tabPalette = pal;
                if (!t->enabled)
                    tabPalette.setCurrentColorGroup(QPalette::Disabled);
                drawTab(bp, tabPalette, t);
            }
            copy(drawPos, sx, qMin(len, limit - drawPos), true);
            x += t->width;
            lastCurrent = isCurrent;
            if (x > (isCurrent ? W - BW - 7 : limit))
                break;
        }
    }

    // 3. The rest up to the end piece.
    const int restStart = x + (lastCurrent ? 2 : 0);
    if (restStart < limit) {
        QPainter bp(&d->buffer);
        FramePainter f{bp, H, flip};
        bp.fillRect(0, 0, limit - restStart, H, bg);
        f.line(0, H - 1, limit - restStart - 1, H - 1, fc.base);
        bp.end();
        copy(restStart, 0, limit - restStart, false);
    }

    // 4. End piece, torn when the last tab runs under the buttons.
    {
        QPainter bp(&d->buffer);
        FramePainter f{bp, H, flip};
        const int last = lastTab(false);
        const bool torn = last != -1 && d->firstVisible != -1 && tabRect(last).right() >= limit;
        if (!torn) {
            bp.fillRect(0, 0, 5, H, bg);
            f.line(0, H - 1, 4, H - 1, fc.base);
        } else if (!lastCurrent) {
            bp.fillRect(0, 0, 5, H, bg);
            for (int y = 5; y < H; y += 12)
                f.glyph(d->breakGlyph, 2, y, darkColor);
            if (!d->flatTabs) {
                f.line(0, 5, 2, 5, fc.outer);
                f.line(0, H - 1, 4, H - 1, fc.base);
            }
        } else {
            // The raised body of the current tab continues into the piece.
            f.rows(0, 5, 0, 2, bg);
            f.rows(0, 5, 3, H - 1, pal.color(QPalette::Window));
            if (!d->flatTabs)
                f.line(3, H - 1, 4, H - 1, fc.base);
            for (int y = 3; y < H; y += 12)
                f.glyph(d->breakGlyph, 2, y, darkColor);
            if (!d->flatTabs)
                f.line(0, 3, 2, 3, fc.outer);
        }
        bp.end();
        copy(limit, 0, 5, false);
    }

    // 5. Button area.
    {
        QPainter bp(&d->buffer);
        FramePainter f{bp, H, flip};
        bp.fillRect(0, 0, BW, H, bg);
        if (!d->canScrollLeft && !d->canScrollRight && !d->showCloseButton) {
            f.line(0, H - 1, BW - 1, H - 1, fc.base);
        } else {
            if (d->flatTabs) {
                f.line(0, H - 1, BW - 1, H - 1, fc.base);
            } else {
                f.line(3, 5, 3, H - 1, fc.leading);
                f.line(3, 5, 5, 3, fc.outer);
                f.line(5, 3, BW - 2, 3, fc.outer);
                f.line(BW - 1, 3, BW - 1, H - 1, fc.trailing);
                f.line(0, H - 1, 3, H - 1, fc.base);
            }
            // The glyphs stay where the hit boxes are: never mirrored for a bar
            // along the bottom, placed so that rotation lands them there on the right.
            const int top = (H - 11) / 2 + 2;
            const QColor mid = pal.color(QPalette::Mid);
            const QColor fg = pal.color(QPalette::WindowText);
            auto drawGlyph = [&](const QPolygon& g, int gx, bool possible, bool held) {
                const int off = held ? 1 : 0;
                const int gy = position == Right ? H - 11 - top - off : top + off;
                bp.setPen(possible && isEnabled() ? fg : mid);
                bp.drawPoints(g.translated(gx + off, gy));
            };
            drawGlyph(d->leftGlyph, 10, d->canScrollLeft, d->leftPressed);
            drawGlyph(d->rightGlyph, 24, d->canScrollRight, d->rightPressed);
            if (d->showCloseButton)
                drawGlyph(d->closeGlyph, 38, !d->tabs.isEmpty(), d->closePressed);
        }
        bp.end();
        copy(W - BW, 0, BW, false);
    }
}

void TabBar::drawTab(QPainter& p, const QPalette& palette, Tab* t)
{
    const int H = rh();
    const bool isCurrent = t->id == d->current;
    const bool enabled = t->enabled && isEnabled();
    const int w = t->width + (isCurrent ? 4 : 0);
    const int top = isCurrent ? 3 : 5;
    const FrameColors fc = frameColors(palette, d->position);
    FramePainter f{p, H, d->position == Bottom};

    int textStart = 3;
    if (!isCurrent && d->flatTabs) {
        f.rows(0, w, top, H - 1, palette.color(QPalette::Midlight));
        const int sepX = d->position == Left ? 0 : w - 1;
        f.line(sepX, top, sepX, H - 2, palette.color(QPalette::Midlight).darker(120));
    } else {
        f.rows(0, w, top, H - 1, palette.color(QPalette::Window));
        f.line(w - 1, top, 0, top, fc.outer);
        f.line(0, top, 0, H - 1, fc.leading);
        f.line(w - 1, H - 1, w - 1, top, fc.trailing);
        if (d->tabGrip) {
            for (int gx : {6, 9}) {
                f.line(gx, top + 3, gx, H - 3, palette.color(QPalette::Dark));
                f.line(gx + 1, top + 3, gx + 1, H - 3, palette.color(QPalette::Light));
            }
            textStart = 12;
        }
    }
    if (!isCurrent)
        f.line(0, H - 1, w - 1, H - 1, fc.base);

    // Icon and text are never mirrored; along the bottom they move up instead.
    p.save();
    if (d->position == Bottom)
        p.translate(0, -3);

    if (d->showIcons && !t->iconset.isNull()) {
        textStart += 2;
        const int size = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
        const QIcon::Mode mode =
            !enabled ? QIcon::Disabled : (isCurrent ? QIcon::Active : QIcon::Normal);
        const QPixmap pm =
            t->iconset.pixmap(QSize(size, size), devicePixelRatioF(), mode, QIcon::Off);
        const QSize ps = pm.deviceIndependentSize().toSize();
        p.drawPixmap(textStart, (H - ps.height() + 4) / 2, pm);
        textStart += ps.width();
    }
    textStart += 3;

    QFont f2 = font();
    if (isCurrent && d->boldCurrent)
        f2.setWeight(QFont::Bold);
    p.setFont(f2);
    QPalette textPalette = palette;
    if (!isCurrent) {
        // Subclasses mark tabs with this exact blue; keep it.
        if (palette.color(QPalette::WindowText) != QColor(0, 0, 200))
            textPalette.setColor(textPalette.currentColorGroup(), QPalette::WindowText,
                                 palette.color(QPalette::Dark).darker(200));
    }
    const QString text = clearString(t->title);
    const int textWidth = QFontMetrics(f2).horizontalAdvance(text);
    style()->drawItemText(&p, QRect(QPoint(textStart, top), QPoint(textStart + textWidth, H - 6)),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, textPalette,
                          enabled, t->title, QPalette::WindowText);

    if (enabled && isCurrent && hasFocus()) {
        p.setPen(palette.color(QPalette::Mid));
        p.setBrush(Qt::NoBrush);
        p.drawRect(textStart - 2, top + 3, textWidth + 5 - 1, H - top - 5 - 1);
    }
    p.restore();
}

} // namespace xqwidgets

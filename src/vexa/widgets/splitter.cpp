#include "vexa/widgets/splitter.h"

#include <QChildEvent>
#include <QCoreApplication>
#include <QHash>
#include <QPainter>
#include <QTextStream>

class Splitter::Private
{
public:
    // Per child: 0 never collapsible, 1 collapsible, missing = follow the default.
    QHash<QWidget*, int> collapsible;
    // Size-policy stretch a child had before a resize mode overrode it.
    QHash<QWidget*, int> ownStretch;
    bool childrenCollapsible = true;
};

namespace
{

int pick(Qt::Orientation o, const QSize& s)
{
    return o == Qt::Horizontal ? s.width() : s.height();
}

} // namespace

// ---- handle ----------------------------------------------------------------

SplitterHandle::SplitterHandle(Qt::Orientation orientation, Splitter* parent)
    : QSplitterHandle(orientation, parent)
{
}

int SplitterHandle::id() const
{
    return splitter()->indexOf(const_cast<SplitterHandle*>(this)) * 2 - 1;
}

bool SplitterHandle::opaque() const
{
    return splitter()->opaqueResize();
}

void SplitterHandle::mousePressEvent(QMouseEvent* e)
{
    // Minimum sizes may have changed since the children were laid out.
    if (auto* s = qobject_cast<Splitter*>(splitter()))
        s->syncCollapsible();
    QSplitterHandle::mousePressEvent(e);
}

void SplitterHandle::drawGrip(QPainter* p, const QColor& bg, int x0, int y0, int w, int h)
{
    p->fillRect(x0, y0, w, h, bg);
    const QColor light = Splitter::alphaBlendColors(bg, bg.lighter(160), 70);
    const QColor dark = Splitter::alphaBlendColors(bg, bg.darker(160), 70);
    if (w > h && h > 4) {
        const int y = h / 2;
        for (int x = 0; x < w; x += 5) {
            p->setPen(light);
            p->drawLine(x0 + x, y0 + y - 1, x0 + x + 1, y0 + y - 1);
            p->drawPoint(x0 + x, y0 + y);
            p->setPen(dark);
            p->drawPoint(x0 + x + 1, y0 + y);
        }
    } else if (w > 4) {
        const int x = w / 2;
        for (int y = 0; y < h; y += 5) {
            p->setPen(light);
            p->drawLine(x0 + x - 1, y0 + y, x0 + x - 1, y0 + y + 1);
            p->drawPoint(x0 + x, y0 + y);
            p->setPen(dark);
            p->drawPoint(x0 + x, y0 + y + 1);
        }
    }
}

void SplitterHandle::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    drawGrip(&p, palette().color(QPalette::Window), 0, 0, width(), height());
}

// ---- splitter --------------------------------------------------------------

Splitter::Splitter(QWidget* parent, const char* name) : QSplitter(parent), d(new Private)
{
    init(name);
}

Splitter::Splitter(Qt::Orientation orientation, QWidget* parent, const char* name)
    : QSplitter(orientation, parent), d(new Private)
{
    init(name);
}

void Splitter::init(const char* name)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    // Children move on release, after a rubber band has shown where.
    setOpaqueResize(false);
    QSplitter::setChildrenCollapsible(true);
}

Splitter::~Splitter()
{
    delete d;
}

QSplitterHandle* Splitter::createHandle()
{
    return new SplitterHandle(orientation(), this);
}

QColor Splitter::alphaBlendColors(const QColor& a, const QColor& b, int alpha)
{
    alpha = qBound(0, alpha, 255);
    const int inv = 255 - alpha;
    return QColor(a.red() * alpha / 255 + b.red() * inv / 255,
                  a.green() * alpha / 255 + b.green() * inv / 255,
                  a.blue() * alpha / 255 + b.blue() * inv / 255);
}

QSize Splitter::smartMinSize(const QWidget* w)
{
    const QSize hint = w->sizeHint();
    const QSize minHint = w->minimumSizeHint();
    const QSize minSize = w->minimumSize();
    const QSizePolicy policy = w->sizePolicy();
    QSize s(0, 0);
    if (policy.horizontalPolicy() != QSizePolicy::Ignored)
        s.setWidth(policy.horizontalPolicy() & QSizePolicy::ShrinkFlag
                       ? minHint.width()
                       : qMax(hint.width(), minHint.width()));
    if (policy.verticalPolicy() != QSizePolicy::Ignored)
        s.setHeight(policy.verticalPolicy() & QSizePolicy::ShrinkFlag
                        ? minHint.height()
                        : qMax(hint.height(), minHint.height()));
    s = s.boundedTo(w->maximumSize());
    if (minSize.width() > 0)
        s.setWidth(minSize.width());
    if (minSize.height() > 0)
        s.setHeight(minSize.height());
    return s.expandedTo(QSize(0, 0));
}

void Splitter::syncCollapsible()
{
    for (int i = 0; i < count(); ++i) {
        QWidget* w = widget(i);
        bool on;
        // A child whose minimum is a single pixel is never collapsed: it
        // could not be told from a collapsed one.
        if (pick(orientation(), smartMinSize(w)) == 1)
            on = false;
        else
            on = d->collapsible.contains(w) ? d->collapsible.value(w) == 1 : d->childrenCollapsible;
        QSplitter::setCollapsible(i, on);
    }
}

void Splitter::ensureChild(QWidget* w)
{
    if (w && indexOf(w) < 0)
        addWidget(w);
}

void Splitter::setChildrenCollapsible(bool collapsible)
{
    d->childrenCollapsible = collapsible;
    QSplitter::setChildrenCollapsible(collapsible);
    syncCollapsible();
}

bool Splitter::childrenCollapsible() const
{
    return d->childrenCollapsible;
}

void Splitter::setCollapsible(QWidget* w, bool collapsible)
{
    ensureChild(w);
    d->collapsible.insert(w, collapsible ? 1 : 0);
    syncCollapsible();
}

void Splitter::setResizeMode(QWidget* w, ResizeMode mode)
{
    ensureChild(w);
    const int index = indexOf(w);
    if (index < 0)
        return;
    QSizePolicy policy = w->sizePolicy();
    const int current =
        orientation() == Qt::Horizontal ? policy.horizontalStretch() : policy.verticalStretch();
    if (!d->ownStretch.contains(w))
        d->ownStretch.insert(w, current);
    int stretch;
    switch (mode) {
    case Stretch:
        stretch = qMax(1, d->ownStretch.value(w));
        break;
    case KeepSize:
    case FollowSizeHint:
        stretch = 0;
        break;
    case Auto:
    default:
        stretch = d->ownStretch.value(w);
        break;
    }
    setStretchFactor(index, stretch);
}

void Splitter::setHandleWidth(int width)
{
    QSplitter::setHandleWidth(width > 0 ? width : -1);
}

void Splitter::moveToFirst(QWidget* w)
{
    if (w)
        insertWidget(0, w);
    syncCollapsible();
}

void Splitter::moveToLast(QWidget* w)
{
    if (w)
        insertWidget(count(), w);
    syncCollapsible();
}

void Splitter::setSizes(const QList<int>& sizes)
{
    syncCollapsible();
    QList<int> all = sizes.mid(0, count());
    if (all.size() < count()) {
        const QList<int> now = QSplitter::sizes();
        for (int i = all.size(); i < count(); ++i)
            all << now.value(i);
    }
    QSplitter::setSizes(all);
}

void Splitter::drawSplitter(QPainter* p, int x, int y, int w, int h)
{
    SplitterHandle::drawGrip(p, palette().color(QPalette::Window), x, y, w, h);
}

void Splitter::childEvent(QChildEvent* e)
{
    if (e->removed()) {
        // Only the address is used as a key: the child may be half
        // destroyed, or not a widget at all, so it is never cast.
        const QObject* child = e->child();
        auto byAddress = [child](const QWidget* w) {
            return static_cast<const void*>(w) == static_cast<const void*>(child);
        };
        d->collapsible.removeIf([&](auto it) { return byAddress(it.key()); });
        d->ownStretch.removeIf([&](auto it) { return byAddress(it.key()); });
    }
    QSplitter::childEvent(e);
    if (e->added() && e->child()->isWidgetType())
        syncCollapsible();
}

bool Splitter::event(QEvent* e)
{
    if (e->type() == QEvent::LayoutRequest || e->type() == QEvent::Show)
        syncCollapsible();
    return QSplitter::event(e);
}

// ---- text form -------------------------------------------------------------

QTextStream& operator<<(QTextStream& ts, const Splitter& s)
{
    const QList<int> sizes = s.sizes();
    ts << '[';
    for (int i = 0; i < s.count(); ++i) {
        if (i > 0)
            ts << ',';
        if (s.widget(i)->isHidden())
            ts << 'H';
        else
            ts << sizes.value(i);
    }
    ts << "]\n";
    return ts;
}

QTextStream& operator>>(QTextStream& ts, Splitter& s)
{
    const QString line = ts.readLine();
    int i = 0;
    auto skipSpaces = [&] {
        while (i < line.size() && line.at(i) == QLatin1Char(' '))
            ++i;
    };
    skipSpaces();
    if (i >= line.size() || line.at(i) != QLatin1Char('['))
        return ts;
    ++i;
    QList<int> sizes = s.sizes();
    for (int child = 0; child < s.count(); ++child) {
        skipSpaces();
        QWidget* w = s.widget(child);
        if (i < line.size() && line.at(i).toUpper() == QLatin1Char('H')) {
            w->hide();
            ++i;
        } else {
            w->show();
            int value = 0;
            while (i < line.size() && line.at(i).isDigit())
                value = value * 10 + line.at(i++).digitValue();
            sizes[child] = value;
        }
        skipSpaces();
        if (i < line.size() && line.at(i) == QLatin1Char(','))
            ++i;
        else
            break;
    }
    // Let the handles follow the children shown or hidden above before laying out.
    QEvent layout(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(&s, &layout);
    s.setSizes(sizes);
    return ts;
}

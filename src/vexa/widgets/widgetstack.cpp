#include "vexa/widgets/widgetstack.h"

#include <QMap>
#include <QPointer>

namespace vexa
{

class WidgetStack::Private
{
public:
    QMap<int, QPointer<QWidget>> pages;
    int nextId = 0;
};

WidgetStack::WidgetStack(QWidget* parent, const char* name) : QStackedWidget(parent), d(new Private)
{
    if (name)
        setObjectName(QLatin1String(name));
    connect(this, &QStackedWidget::currentChanged, this,
            [this](int index) { Q_EMIT aboutToShow(QStackedWidget::widget(index)); });
}

WidgetStack::~WidgetStack()
{
    delete d;
}

int WidgetStack::addWidget(QWidget* w, int id)
{
    if (!w)
        return -1;
    const int known = this->id(w);
    if (known >= 0)
        return known;
    if (id < 0 || widget(id))
        id = d->nextId;
    while (widget(id))
        ++id;
    d->nextId = qMax(d->nextId, id + 1);
    // A destroyed page leaves a null entry that names no page any more.
    d->pages.insert(id, w);
    QStackedWidget::addWidget(w);
    return id;
}

void WidgetStack::removeWidget(QWidget* w)
{
    const int i = id(w);
    if (i < 0)
        return;
    d->pages.remove(i);
    QStackedWidget::removeWidget(w);
}

QWidget* WidgetStack::widget(int id) const
{
    return d->pages.value(id);
}

int WidgetStack::id(QWidget* w) const
{
    if (!w)
        return -1;
    for (auto it = d->pages.cbegin(); it != d->pages.cend(); ++it)
        if (it.value() == w)
            return it.key();
    return -1;
}

QWidget* WidgetStack::visibleWidget() const
{
    return currentWidget();
}

void WidgetStack::raiseWidget(int id)
{
    raiseWidget(widget(id));
}

void WidgetStack::raiseWidget(QWidget* w)
{
    if (!w || id(w) < 0)
        return;
    setCurrentWidget(w);
}

} // namespace vexa

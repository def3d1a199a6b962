#include "vexa/widgets/colorcombo.h"

#include <QColorDialog>
#include <QMap>
#include <QPixmap>

namespace
{

const char* const standardNames[] = {
    "red",     "green",     "blue",     "cyan",     "magenta",     "yellow",
    "darkRed", "darkGreen", "darkBlue", "darkCyan", "darkMagenta", "darkYellow",
    "white",   "lightGray", "gray",     "darkGray", "black",
};

constexpr int firstNamedIndex = 2;

QIcon swatch(const QColor& color)
{
    QPixmap pm(16, 16);
    pm.fill(color);
    return QIcon(pm);
}

} // namespace

class ColorCombo::Private
{
public:
    QColor customColor{255, 255, 255};
    QColor currentColor{255, 255, 255};
    bool hascolor = false;
    QMap<int, QString> pos2color;
    QMap<QString, int> color2pos;
};

ColorCombo::ColorCombo(QWidget* parent, const char* name) : QComboBox(parent), d(new Private)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    setEditable(false);
    setIconSize(QSize(16, 16));
    createStandardPalette();
    updateColors();
    connect(this, qOverload<int>(&QComboBox::activated), this, &ColorCombo::slotActivated);
}

ColorCombo::~ColorCombo()
{
    delete d;
}

QColor ColorCombo::namedColor(const QString& name)
{
    // Not a colour keyword of the toolkit's lookup, yet one of the list.
    if (name == QLatin1String("darkYellow"))
        return QColor(Qt::darkYellow);
    for (const char* n : standardNames)
        if (name == QLatin1String(n))
            return QColor::fromString(name);
    return QColor();
}

void ColorCombo::createStandardPalette()
{
    addItem(tr("none"));
    addItem(tr("custom"));
    int index = firstNamedIndex;
    for (const char* n : standardNames) {
        const QString name = QString::fromLatin1(n);
        addItem(swatch(namedColor(name)), name);
        d->pos2color.insert(index, name);
        d->color2pos.insert(name, index);
        ++index;
    }
}

void ColorCombo::setCustomSwatch()
{
    setItemIcon(1, swatch(d->customColor));
    setItemText(1, tr("custom"));
}

void ColorCombo::updateColors()
{
    if (!d->hascolor) {
        setCurrentIndex(0);
        return;
    }
    int match = -1;
    for (auto it = d->color2pos.cbegin(); it != d->color2pos.cend(); ++it)
        if (namedColor(it.key()) == d->currentColor)
            match = it.value();
    if (match >= 0) {
        setCurrentIndex(match);
        return;
    }
    d->customColor = d->currentColor;
    setCustomSwatch();
    setCurrentIndex(1);
}

void ColorCombo::setColor(const QColor& color)
{
    if (color.isValid()) {
        d->currentColor = color;
        d->hascolor = true;
    } else {
        d->hascolor = false;
    }
    updateColors();
}

QColor ColorCombo::color() const
{
    return d->currentColor;
}

bool ColorCombo::hasColor() const
{
    return currentIndex() > 0;
}

void ColorCombo::setColorName(const QString& name)
{
    QColor c;
    if (!name.isEmpty()) {
        c = namedColor(name);
        if (!c.isValid())
            c = QColor::fromString(name);
    }
    if (c.isValid()) {
        setColor(c);
    } else {
        d->hascolor = false;
        updateColors();
    }
}

QString ColorCombo::colorName() const
{
    if (!hasColor())
        return QString(QLatin1String(""));
    for (auto it = d->color2pos.cbegin(); it != d->color2pos.cend(); ++it)
        if (namedColor(it.key()) == d->currentColor)
            return it.key();
    return d->currentColor.name();
}

void ColorCombo::slotActivated(int index)
{
    d->hascolor = index != 0;
    if (index == 1) {
        const QColor c = QColorDialog::getColor(d->customColor, this);
        if (c.isValid()) {
            d->customColor = c;
            setCustomSwatch();
            d->currentColor = d->customColor;
        }
    } else if (index >= firstNamedIndex) {
        d->currentColor = namedColor(d->pos2color.value(index));
    }
    emit activated(d->currentColor);
}

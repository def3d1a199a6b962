#include "vexa/stylesmenu.h"

#include "vexa/actions.h"
#include "vexa/shell.h"

#include <QApplication>
#include <QSettings>
#include <QSignalMapper>
#include <QStyle>
#include <QStyleFactory>

namespace vexa
{

class StylesMenu::Private
{
public:
    static StylesMenu* self;
    QStringList styles;
};

StylesMenu* StylesMenu::Private::self = nullptr;

static const char* const styleKey = "/qt/style";

StylesMenu* StylesMenu::self()
{
    if (!Private::self)
        new StylesMenu(Shell::self());
    return Private::self;
}

StylesMenu::StylesMenu(QObject* parent, const char* name) : QObject(parent), d(new Private)
{
    if (name)
        setObjectName(QLatin1String(name));
    Private::self = this;
}

StylesMenu::~StylesMenu()
{
    if (Private::self == this)
        Private::self = nullptr;
    delete d;
}

QStringList StylesMenu::styles() const
{
    return d->styles;
}

void StylesMenu::initStylesMenu()
{
    d->styles = QStyleFactory::keys();
    // Character-code order: upper case before lower case.
    std::sort(d->styles.begin(), d->styles.end());

    // The key lives outside the application's prefix: a plain QSettings.
    QString current = QSettings().value(QLatin1String(styleKey)).toString();
    bool defaulted = false;
    if (current.isNull()) {
        if (QStyle* s = QStyleFactory::create(QStringLiteral("Windows"))) {
            QApplication::setStyle(s);
            current = QStringLiteral("Windows");
            // Applied but not chosen: its entry is ticked, nothing is stored.
            defaulted = true;
        } else {
            current = QApplication::style()->metaObject()->className();
        }
    }

    ActionGroup* group =
        Shell::self()->actionGroup(QStringLiteral("menu/Options/Std/Select &style"));
    group->setExclusive(true);
    group->setUsesDropDown(true);

    auto* mapper = new QSignalMapper(this);
    connect(mapper, &QSignalMapper::mappedInt, this, &StylesMenu::setStyle);

    for (int i = 0; i < d->styles.size(); ++i) {
        const QString& name = d->styles.at(i);
        Action* a = Actions::createAction(name, QStringLiteral("StylesMenu/") + name,
                                          QKeySequence(), mapper, SLOT(map()));
        group->add(a);
        mapper->setMapping(a, i);
        a->setCheckable(true);
        if (name == current) {
            a->setChecked(true);
            if (!defaulted)
                setStyle(i);
        }
    }
}

void StylesMenu::setStyle(int id)
{
    if (id < 0 || id >= d->styles.size())
        return;
    const QString name = d->styles.at(id);
    QStyle* style = QStyleFactory::create(name);
    if (!style)
        return;
    QSettings settings;
    settings.setValue(QLatin1String(styleKey), name);
    QApplication::setStyle(style);
}

} // namespace vexa

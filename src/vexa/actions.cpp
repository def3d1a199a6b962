#include "vexa/actions.h"

#include "vexa/utils.h"

#include <QActionGroup>
#include <QHash>
#include <QMenu>
#include <QPointer>
#include <QRegularExpression>
#include <QToolBar>
#include <QToolButton>

namespace vexa
{

// ---------------------------------------------------------------- Action

class Action::Private
{
public:
    bool usesTextLabel = false;
    TextPosition textPosition = BesideIcon;
};

static void initAction(Action* a, const char* name, bool toggle)
{
    if (name)
        a->setObjectName(QLatin1String(name));
    a->setCheckable(toggle);
}

Action::Action(QObject* parent, const char* name, bool toggle) : QAction(parent), d(new Private)
{
    initAction(this, name, toggle);
}

Action::Action(const QString& text, const QIcon& icon, const QString& menuText,
               const QKeySequence& accel, QObject* parent, const char* name, bool toggle)
    : QAction(icon, menuText, parent), d(new Private)
{
    initAction(this, name, toggle);
    setIconText(text);
    setToolTip(text);
    setShortcut(accel);
}

Action::Action(const QString& text, const QString& menuText, const QKeySequence& accel,
               QObject* parent, const char* name, bool toggle)
    : QAction(menuText, parent), d(new Private)
{
    initAction(this, name, toggle);
    setIconText(text);
    setToolTip(text);
    setShortcut(accel);
}

Action::~Action()
{
    delete d;
}

void Action::setUsesTextLabel(bool enable)
{
    d->usesTextLabel = enable;
}

bool Action::usesTextLabel() const
{
    return d->usesTextLabel;
}

void Action::setTextPosition(TextPosition pos)
{
    d->textPosition = pos;
}

Action::TextPosition Action::textPosition() const
{
    return d->textPosition;
}

void Action::setPanelRaised(bool on)
{
    setChecked(on);
    if (!toolbuttons.isEmpty())
        toolbuttons.first()->setToolButtonStyle(on ? Qt::ToolButtonTextBesideIcon
                                                   : Qt::ToolButtonIconOnly);
}

void Action::addTo(QWidget* w)
{
    if (!w)
        return;
    if (auto* tb = qobject_cast<QToolBar*>(w)) {
        tb->addAction(this);
        if (auto* b = qobject_cast<QToolButton*>(tb->widgetForAction(this)))
            addedTo(b, tb);
    } else if (auto* m = qobject_cast<QMenu*>(w)) {
        m->addAction(this);
        addedTo(m);
    } else {
        w->addAction(this);
    }
}

void Action::addedTo(QToolButton* button, QToolBar*)
{
    if (toolbuttons.contains(button))
        return;
    connect(button, &QObject::destroyed, this, &Action::objectDestroyed);
    toolbuttons.append(button);
    Qt::ToolButtonStyle style = Qt::ToolButtonIconOnly;
    if (d->usesTextLabel)
        style = d->textPosition == BelowIcon ? Qt::ToolButtonTextUnderIcon
                                             : Qt::ToolButtonTextBesideIcon;
    button->setToolButtonStyle(style);
    button->setMinimumSize(24, 24);
}

void Action::addedTo(QMenu* menu)
{
    // A destroyed menu must not stay behind as a dangling pointer: menus are
    // rebuilt whenever the interface is.
    connect(menu, &QObject::destroyed, this, &Action::objectDestroyed, Qt::UniqueConnection);
    menus.append(menu);
}

void Action::objectDestroyed()
{
    // The sender is half destroyed: compare addresses only.
    QObject* gone = sender();
    toolbuttons.removeIf([gone](QToolButton* b) { return static_cast<QObject*>(b) == gone; });
    menus.removeIf([gone](QMenu* m) { return static_cast<QObject*>(m) == gone; });
}

// ----------------------------------------------------------- ActionGroup

namespace
{
struct Entry {
    enum Kind { ActionEntry, Separator, GroupEntry };
    Kind kind;
    QPointer<Action> action;
    QPointer<ActionGroup> group;
};
} // namespace

class ActionGroup::Private
{
public:
    QList<Entry> entries;
    QString text;
    QString menuText;
    bool exclusive = false;
    bool dropDown = false;
    bool visible = true;
    QActionGroup* exclusiveGroup = nullptr;
};

ActionGroup::ActionGroup(QObject* parent, const char* name) : QObject(parent), d(new Private)
{
    if (name)
        setObjectName(QLatin1String(name));
}

ActionGroup::ActionGroup(QObject* parent, const char* name, bool exclusive)
    : ActionGroup(parent, name)
{
    setExclusive(exclusive);
}

ActionGroup::~ActionGroup()
{
    delete d;
}

void ActionGroup::add(Action* action)
{
    if (!action) {
        qWarning("vexa::ActionGroup::add: no action given to group '%s'", qPrintable(objectName()));
        return;
    }
    d->entries.append({Entry::ActionEntry, action, nullptr});
    if (d->exclusiveGroup)
        d->exclusiveGroup->addAction(action);
}

void ActionGroup::add(const QString& actionName)
{
    Action* a = Actions::action(actionName);
    if (!a) {
        qWarning("vexa::ActionGroup::add: no action named '%s'", qPrintable(actionName));
        return;
    }
    add(a);
}

void ActionGroup::add(ActionGroup* actionGroup)
{
    if (!actionGroup)
        return;
    d->entries.append({Entry::GroupEntry, nullptr, actionGroup});
}

void ActionGroup::addSeparator()
{
    d->entries.append({Entry::Separator, nullptr, nullptr});
}

QList<Action*> ActionGroup::actions() const
{
    QList<Action*> result;
    for (const Entry& e : d->entries)
        if (e.kind == Entry::ActionEntry && e.action)
            result.append(e.action);
    for (const Entry& e : d->entries)
        if (e.kind == Entry::GroupEntry && e.group)
            result += e.group->actions();
    return result;
}

int ActionGroup::count() const
{
    return actions().size();
}

QList<ActionGroup*> ActionGroup::groups() const
{
    QList<ActionGroup*> result;
    for (const Entry& e : d->entries)
        if (e.kind == Entry::GroupEntry && e.group)
            result.append(e.group);
    return result;
}

QString ActionGroup::text() const
{
    return d->text;
}

void ActionGroup::setText(const QString& text)
{
    d->text = text;
}

QString ActionGroup::menuText() const
{
    return d->menuText;
}

void ActionGroup::setMenuText(const QString& text)
{
    d->menuText = text;
}

bool ActionGroup::isExclusive() const
{
    return d->exclusive;
}

void ActionGroup::setExclusive(bool exclusive)
{
    d->exclusive = exclusive;
    // A QAction belongs to at most one QActionGroup, so only exclusive groups
    // use one; plain groups leave their actions free to sit in other groups.
    if (exclusive && !d->exclusiveGroup) {
        d->exclusiveGroup = new QActionGroup(this);
        for (const Entry& e : d->entries)
            if (e.kind == Entry::ActionEntry && e.action)
                d->exclusiveGroup->addAction(e.action);
    }
    if (d->exclusiveGroup)
        d->exclusiveGroup->setExclusionPolicy(exclusive ? QActionGroup::ExclusionPolicy::Exclusive
                                                        : QActionGroup::ExclusionPolicy::None);
}

bool ActionGroup::usesDropDown() const
{
    return d->dropDown;
}

void ActionGroup::setUsesDropDown(bool enable)
{
    d->dropDown = enable;
}

bool ActionGroup::isVisible() const
{
    return d->visible;
}

void ActionGroup::setVisible(bool visible)
{
    d->visible = visible;
    for (const Entry& e : d->entries) {
        if (e.kind == Entry::ActionEntry && e.action)
            e.action->setVisible(visible);
        else if (e.kind == Entry::GroupEntry && e.group)
            e.group->setVisible(visible);
    }
}

void ActionGroup::addTo(QWidget* w)
{
    if (!w)
        return;
    auto* menu = qobject_cast<QMenu*>(w);
    auto* toolBar = qobject_cast<QToolBar*>(w);
    for (const Entry& e : d->entries) {
        switch (e.kind) {
        case Entry::ActionEntry:
            if (e.action)
                e.action->addTo(w);
            break;
        case Entry::Separator:
            if (menu)
                menu->addSeparator();
            else if (toolBar)
                toolBar->addSeparator();
            else {
                auto* sep = new QAction(w);
                sep->setSeparator(true);
                w->addAction(sep);
            }
            break;
        case Entry::GroupEntry:
            if (!e.group)
                break;
            if (e.group->usesDropDown() && (menu || toolBar)) {
                auto* sub = new QMenu(e.group->menuText(), w);
                e.group->addTo(sub);
                QAction* item = sub->menuAction();
                item->setVisible(e.group->isVisible());
                if (menu) {
                    menu->addMenu(sub);
                } else {
                    toolBar->addAction(item);
                    if (auto* b = qobject_cast<QToolButton*>(toolBar->widgetForAction(item)))
                        b->setPopupMode(QToolButton::InstantPopup);
                }
            } else {
                e.group->addTo(w);
            }
            break;
        }
    }
}

// --------------------------------------------------------------- Actions

namespace
{
QHash<QString, QPointer<Action>>& registry()
{
    static QHash<QString, QPointer<Action>> actions;
    return actions;
}
QPointer<QWidget>& mainWindowRef()
{
    static QPointer<QWidget> window;
    return window;
}
// Actions made while no window was known, adopted by setMainWindow().
QList<QPointer<Action>>& orphans()
{
    static QList<QPointer<Action>> list;
    return list;
}
} // namespace

Action* Actions::createAction(const QString& menuText, const QString& name,
                              const QKeySequence& accel, QObject* object, const char* slot)
{
    static const QRegularExpression mnemonicAndDots(QStringLiteral("[&.]"));
    const QString text = QString(menuText).remove(mnemonicAndDots);
    const bool toggle = slot && QByteArray(slot).contains("bool");

    QWidget* window = mainWindow();
    auto* a = new Action(text, menuText, accel, window, name.toLatin1().constData(), toggle);
    if (window)
        window->addAction(a);
    else
        orphans().append(a);

    if (object && slot) {
        if (toggle)
            QObject::connect(a, SIGNAL(toggled(bool)), object, slot);
        else
            QObject::connect(a, SIGNAL(triggered()), object, slot);
    }
    registry().insert(name, a);
    return a;
}

Action* Actions::createAction(const QString& menuText, const QString& name,
                              const QKeySequence& accel, QObject* object, const char* slot,
                              const QString& icon, ActionGroup* group)
{
    Action* a = createAction(menuText, name, accel, object, slot);
    if (!icon.isEmpty())
        a->setIcon(Utils::iconSet(icon));
    if (group)
        group->add(a);
    return a;
}

Action* Actions::action(const QString& name)
{
    return registry().value(name);
}

void Actions::setMainWindow(QWidget* window)
{
    mainWindowRef() = window;
    if (!window)
        return;
    for (const QPointer<Action>& a : std::as_const(orphans())) {
        if (!a)
            continue;
        a->setParent(window);
        window->addAction(a);
    }
    orphans().clear();
}

QWidget* Actions::mainWindow()
{
    return mainWindowRef();
}

} // namespace vexa

#ifndef VEXA_ACTIONS_H
#define VEXA_ACTIONS_H

#include <QAction>
#include <QList>
#include <QObject>

class QMenu;
class QToolBar;
class QToolButton;

namespace vexa
{

// A command of the application. It remembers the tool buttons and menus it
// was put into through addTo(), so other components can reach those widgets
// later (attach a drop-down to a button, insert a submenu next to the item).
class Action : public QAction
{
    Q_OBJECT
public:
    enum TextPosition { BesideIcon, BelowIcon };

    explicit Action(QObject* parent, const char* name = nullptr, bool toggle = false);
    Action(const QString& text, const QIcon& icon, const QString& menuText,
           const QKeySequence& accel, QObject* parent, const char* name = nullptr,
           bool toggle = false);
    Action(const QString& text, const QString& menuText, const QKeySequence& accel, QObject* parent,
           const char* name = nullptr, bool toggle = false);
    ~Action() override;

    // Options for the tool buttons made after the call; existing buttons keep theirs.
    void setUsesTextLabel(bool enable);
    bool usesTextLabel() const;
    void setTextPosition(TextPosition pos);
    TextPosition textPosition() const;

    // Puts the action into a menu, a tool bar or any other widget. For a tool
    // bar the button made for it is recorded in toolbuttons and set up with
    // the text-label options and a minimum size of 24x24; for a menu the menu
    // is recorded in menus (the item in that menu is the action itself).
    virtual void addTo(QWidget* w);

    // For the toggle of a dock panel: checked while its panel is the raised
    // one, and its dock button then shows the text beside the icon.
    void setPanelRaised(bool on);

    // Not owning, in order of creation; a destroyed button or menu leaves its list.
    QList<QToolButton*> toolbuttons;
    QList<QMenu*> menus;

protected Q_SLOTS:
    void objectDestroyed();

protected:
    virtual void addedTo(QToolButton* button, QToolBar* container);
    virtual void addedTo(QMenu* menu);

private:
    class Private;
    Private* d;
};

// An ordered tree of actions, separators and sub-groups that becomes menus,
// tool bars or popups through addTo(). A drop-down group shows as a submenu
// (or a tool button with a menu) titled with its menu text; an exclusive group
// lets at most one of its own toggle actions be on, and once one is on,
// triggering it again keeps it on.
class ActionGroup : public QObject
{
    Q_OBJECT
public:
    explicit ActionGroup(QObject* parent, const char* name = nullptr);
    ActionGroup(QObject* parent, const char* name, bool exclusive);
    ~ActionGroup() override;

    virtual void add(Action* action);
    virtual void add(const QString& actionName);
    virtual void add(ActionGroup* actionGroup);
    void addSeparator();

    // This group's own actions in order of addition, then each child group's
    // actions() in order: depth first, duplicates kept.
    QList<Action*> actions() const;
    // Number of entries of actions(): the whole subtree, separators not counted.
    int count() const;
    // The child groups, in order of addition.
    QList<ActionGroup*> groups() const;

    QString text() const;
    void setText(const QString& text);
    QString menuText() const;
    void setMenuText(const QString& text);

    bool isExclusive() const;
    void setExclusive(bool exclusive);
    bool usesDropDown() const;
    void setUsesDropDown(bool enable);
    bool isVisible() const;
    // Shows or hides every action of the subtree as well.
    void setVisible(bool visible);

    // Adds the members in order: an action as itself, a separator as a
    // separator, a child group in place (recursively) or, when it uses a
    // drop-down, as one submenu.
    void addTo(QWidget* w);

private:
    class Private;
    Private* d;
};

// The registry of named commands.
namespace Actions
{

// Creates a command whose parent is the main window and which is added to it,
// so its shortcut works anywhere in that window. The menu text keeps its "&";
// the tool-button and tool-tip text drops every "&" and ".". A slot whose
// signature contains "bool" makes a toggle action connected through
// toggled(bool); otherwise triggered() is connected. The newest action created
// under a name is the one action(name) returns.
Action* createAction(const QString& menuText, const QString& name, const QKeySequence& accel,
                     QObject* object, const char* slot);
// The same, with the icon of that name from the application's icons (none
// when empty), appended to `group` when one is given.
Action* createAction(const QString& menuText, const QString& name, const QKeySequence& accel,
                     QObject* object, const char* slot, const QString& icon,
                     ActionGroup* group = nullptr);

// The action registered under the name (case-sensitive), or null.
Action* action(const QString& name);

// The window that owns every action made by createAction(). The main window
// sets itself here when it is built; actions made before that are adopted
// then, so their shortcuts start to work.
void setMainWindow(QWidget* window);
QWidget* mainWindow();

} // namespace Actions

} // namespace vexa

#endif

#ifndef VEXA_SHELL_H
#define VEXA_SHELL_H

#include <QMainWindow>
#include <QStringList>

class QGridLayout;
class QToolBar;

namespace vexa
{

class Action;
class ActionGroup;
class WidgetStack;

// The main window: menu bar and tool bars assembled from named action groups,
// a left dock, the editor workspace and a bottom dock between two splitters,
// and the status bar. Every subsystem reaches the window's parts through it.
class Shell : public QMainWindow
{
    Q_OBJECT
public:
    // The one main window; made with no parent when none exists yet.
    static Shell* self();

    explicit Shell(QWidget* parent = nullptr, const char* name = "vexa::Shell");
    ~Shell() override;

    // The group of a slash-separated, case-sensitive path, made with all its
    // missing prefixes. Stray slashes are ignored: "/a//b/" is the group "a/b".
    // Null only for a path without any part.
    ActionGroup* actionGroup(const QString& path);

    QGridLayout* centralLayout() const;
    WidgetStack* workspace() const;
    QToolBar* stackButtons() const;
    WidgetStack* leftDock() const;
    WidgetStack* bottomDock() const;
    QToolBar* leftDockTab() const;
    // The checkable toggle through which a left-dock panel is raised: named
    // `name`, shown with the icon `iconName` in "docks/left" and on the left
    // dock's tab strip (with its text label when `textLabel`), calling
    // `receiver`'s makeVisible().
    Action* addLeftDockToggle(const QString& text, const QString& name, const QString& iconName,
                              QObject* receiver, bool textLabel = false);
    QToolBar* bottomDockTab() const;
    QWidget* leftDockWidget() const;
    QWidget* bottomDockWidget() const;

    // Menu and tool-bar names in the order the window shows them.
    QStringList menuNames() const;
    QStringList toolbarNames() const;

    // The files named by command-line arguments: each made absolute against
    // the working folder; names that are not existing files (missing paths,
    // folders) are left out. `args` holds the arguments after the program name.
    static QStringList commandLineFiles(const QStringList& args);

public Q_SLOTS:
    void exit();
    void rebuildUI();
    void timeout();
    void leftDockShowHide();
    void bottomDockShowHide();
    void focusIn();
    void raiseLeftDock();
    void raiseBottomDock();
    void statusMessage(const QString& field, const QString& text);

Q_SIGNALS:
    void uiRebuilded();
    void focusChanged(QObject* o);
    void leftDockRaised(QObject* o);
    void bottomDockRaised(QObject* o);

protected Q_SLOTS:
    void postPrepare();

protected:
    void closeEvent(QCloseEvent* e) override;
    // Watches our dialogs close, to take the activation back.
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void initActionGroups();
    void initStatusBar();
    void initWorkspace();

    class Private;
    Private* d;
};

// Asks for the services of the application in their fixed order (editor
// manager, file explorer, project, messages, tags, search, build runner) and
// assembles the interface from the groups they filled. The entry function
// calls it once, after the main window is built.
void startServices(Shell* shell);

} // namespace vexa

#endif

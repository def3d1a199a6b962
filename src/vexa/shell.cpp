#include "vexa/shell.h"

#include "vexa/actions.h"
#include "vexa/ctags/tagspanel.h"
#include "vexa/editors/editors.h"
#include "vexa/editors/editorstab.h"
#include "vexa/explorer/explorerpanel.h"
#include "vexa/filetype.h"
#include "vexa/message.h"
#include "vexa/messages/messageoutput.h"
#include "vexa/project/project.h"
#include "vexa/recentfiles.h"
#include "vexa/runmake.h"
#include "vexa/search/searchmanager.h"
#include "vexa/settings.h"
#include "vexa/stylesmenu.h"
#include "vexa/utils.h"
#include "vexa/widgets/splitter.h"
#include "vexa/widgets/widgetstack.h"

#include "xqwidgets/xqfileoperator/fileoperator.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHash>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

namespace vexa
{

class Shell::Private
{
public:
    static Shell* self;

    QHash<QString, ActionGroup*> groups;
    QStringList menuGroups;
    QStringList toolbarGroups;
    QList<QPointer<QToolBar>> toolbars;
    QList<QPointer<QMenu>> menus;
    WidgetStack* leftDock = nullptr;
    WidgetStack* bottomDock = nullptr;
    QToolBar* leftDockTab = nullptr;
    QToolBar* bottomDockTab = nullptr;
    QFrame* leftDockTabHLine = nullptr;
    QFrame* bottomDockTabVLine = nullptr;
    QFrame* leftDockTabFrame = nullptr;
    QFrame* bottomDockTabFrame = nullptr;
    QFrame* leftDockTabStrip = nullptr;
    QFrame* bottomDockTabStrip = nullptr;
    QWidget* leftDockWidget = nullptr;
    QWidget* bottomDockWidget = nullptr;
    Splitter* vSplitter = nullptr;
    Splitter* hSplitter = nullptr;
    QGridLayout* centralLayout = nullptr;
    WidgetStack* workspace = nullptr;
    QToolBar* stackButtons = nullptr;
    EditorsTab* editorsTab = nullptr;
    QLabel* statusMessage = nullptr;
    QLabel* statusCursorIns = nullptr;
    QLabel* statusCursorLine = nullptr;
    QLabel* statusCursorCol = nullptr;
    QTimer* timer = nullptr;

    static QList<int> sizes(const QString& key, const QString& def)
    {
        bool present = false;
        QStringList list = Settings::readList(key, &present);
        if (!present)
            list = def.split(QLatin1Char(','));
        QList<int> result;
        for (const QString& s : std::as_const(list))
            result.append(s.trimmed().toInt()); // not a number: 0
        return result;
    }
    static QStringList sizesText(const QList<int>& sizes)
    {
        QStringList result;
        for (int s : sizes)
            result.append(QString::number(s));
        return result;
    }
};

Shell* Shell::Private::self = nullptr;

Shell* Shell::self()
{
    if (!Private::self)
        new Shell(nullptr, "vexa::Shell");
    return Private::self;
}

Shell::Shell(QWidget* parent, const char* name) : QMainWindow(parent), d(new Private)
{
    // Registered first: every service built below reaches the window through self().
    Private::self = this;
    if (name)
        setObjectName(QLatin1String(name));
    Actions::setMainWindow(this);
    // Before any plain QSettings (the style menu's) picks its file.
    Settings::self();
    Settings::setAppName(QStringLiteral("Vexa"));

    initActionGroups();
    initStatusBar();
    initWorkspace();

    ActionGroup* quit = actionGroup(QStringLiteral("menu/File/Quit"));
    quit->addSeparator();
    Actions::createAction(tr("&Exit"), QStringLiteral("Shell/exit"),
                          QKeySequence(Qt::CTRL | Qt::Key_Q), this, SLOT(exit()), QString(), quit);

    // Help follows every menu named so far.
    d->menuGroups.append(QStringLiteral("Help"));

    StylesMenu::self()->initStylesMenu();

    // After the editor manager's receivers (it was built with the workspace),
    // which reopen the files of the last run, and before postPrepare().
    connect(this, &Shell::uiRebuilded, RecentFiles::self(), &RecentFiles::integrate);
    connect(this, &Shell::uiRebuilded, this, &Shell::postPrepare);

    const QRect stored =
        Utils::fitToScreen(QPoint(Settings::readNum(QStringLiteral("/geometry/x"), 50),
                                  Settings::readNum(QStringLiteral("/geometry/y"), 50)),
                           QSize(Settings::readNum(QStringLiteral("/geometry/w"), 900),
                                 Settings::readNum(QStringLiteral("/geometry/h"), 700)),
                           QRect(50, 50, 900, 700));
    move(stored.topLeft());
    resize(stored.size());

    d->vSplitter->setSizes(
        Private::sizes(QStringLiteral("/geometry/vSplitter"), QStringLiteral("200,700")));
    d->hSplitter->setSizes(
        Private::sizes(QStringLiteral("/geometry/hSplitter"), QStringLiteral("600,100")));

    d->leftDockWidget->setVisible(
        Settings::readBool(QStringLiteral("/geometry/leftDockShown"), true));
    d->bottomDockWidget->setVisible(
        Settings::readBool(QStringLiteral("/geometry/bottomDockShown"), true));

    // Without a window manager nobody hands the activation back to this
    // window when one of our dialogs closes: the window asks for it itself.
    qApp->installEventFilter(this);

    d->timer = new QTimer(this);
    connect(d->timer, &QTimer::timeout, this, &Shell::timeout);
    d->timer->start(100);

    // The plain caption first: the files opened next put their own.
    setWindowTitle(Settings::appName());
    const QStringList args = QCoreApplication::arguments();
    for (const QString& f : commandLineFiles(args.mid(1)))
        FileTypeManager::openFile(f);
}

Shell::~Shell()
{
    Settings::write(QStringLiteral("/geometry/x"), pos().x());
    Settings::write(QStringLiteral("/geometry/y"), pos().y());
    Settings::write(QStringLiteral("/geometry/w"), width());
    Settings::write(QStringLiteral("/geometry/h"), height());
    // Shown as far as the window is concerned, whether or not the window
    // itself is on screen.
    const bool leftShown = !d->leftDockWidget->isHidden();
    const bool bottomShown = !d->bottomDockWidget->isHidden();
    Settings::write(QStringLiteral("/geometry/leftDockShown"), leftShown);
    Settings::write(QStringLiteral("/geometry/bottomDockShown"), bottomShown);
    Settings::write(QStringLiteral("/geometry/vSplitter"),
                    Private::sizesText(d->vSplitter->sizes()));
    Settings::write(QStringLiteral("/geometry/hSplitter"),
                    Private::sizesText(d->hSplitter->sizes()));
    if (leftShown)
        Settings::write(QStringLiteral("/geometry/leftDockPanelID"),
                        d->leftDock->id(d->leftDock->visibleWidget()));
    if (bottomShown)
        Settings::write(QStringLiteral("/geometry/bottomDockPanelID"),
                        d->bottomDock->id(d->bottomDock->visibleWidget()));
    Settings::forceWrite();

    d->timer->stop();
    // The pages go with the window: their removal must not reach services
    // that would ask this half-destroyed window for its parts.
    d->workspace->blockSignals(true);
    d->leftDock->blockSignals(true);
    d->bottomDock->blockSignals(true);
    for (const QPointer<QToolBar>& tb : std::as_const(d->toolbars))
        delete tb;
    delete d;
    d = nullptr;
    if (Private::self == this)
        Private::self = nullptr;
}

QStringList Shell::commandLineFiles(const QStringList& args)
{
    QStringList files;
    for (const QString& arg : args) {
        if (arg.isEmpty())
            continue;
        // Absolute, so the same file named twice is recognised as open; a
        // folder is no text to edit.
        const QFileInfo info(QDir::current(), arg);
        if (!info.exists() || info.isDir())
            continue;
        files.append(QDir::cleanPath(info.absoluteFilePath()));
    }
    return files;
}

// ------------------------------------------------------------ assembly

ActionGroup* Shell::actionGroup(const QString& path)
{
    if (ActionGroup* g = d->groups.value(path))
        return g;
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString key;
    ActionGroup* parent = nullptr;
    for (int i = 0; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        if (i == 1) {
            if (parts.first() == QLatin1String("menu") && part != QLatin1String("Help") &&
                !d->menuGroups.contains(part))
                d->menuGroups.append(part);
            if (parts.first() == QLatin1String("toolbar") && !d->toolbarGroups.contains(part))
                d->toolbarGroups.append(part);
        }
        key += part;
        ActionGroup* g = d->groups.value(key);
        if (!g) {
            g = new ActionGroup(this, key.toUtf8().constData());
            g->setText(part);
            g->setMenuText(part);
            if (parent)
                parent->add(g);
            d->groups.insert(key, g);
        }
        parent = g;
        key += QLatin1Char('/');
    }
    // A path with stray slashes names the group of its cleaned form.
    return parent;
}

void Shell::initActionGroups()
{
    struct Row {
        const char* group;
        QList<const char*> sections;
        bool invisible;
    };
    const Row rows[] = {
        {"menu/File", {"New", "Open", "Close", "Save", "Misc", "Quit"}, false},
        {"menu/Edit", {"Std", "Misc"}, false},
        {"menu/View", {"Std", "Misc"}, false},
        {"menu/Search", {"Find", "Replace", "Misc"}, false},
        {"menu/Project", {"New", "Std", "Options", "Misc"}, false},
        {"menu/Build", {"Std", "Misc"}, true},
        {"menu/Run", {"Std", "Debug", "Misc"}, false},
        {"menu/Tools", {"Misc"}, false},
        {"menu/Options", {"Main", "Std", "Misc"}, false},
        {"menu/Window", {"Docks", "Components", "Misc"}, false},
        {"menu/Help", {"Std", "Misc"}, false},
        {"toolbar/File", {"New", "Open", "Save", "Misc"}, false},
        {"toolbar/Edit", {}, false},
        {"toolbar/Search", {}, false},
        {"toolbar/Navigation", {}, false},
        {"toolbar/Misc", {}, false},
        {"toolbar/Tools", {}, false},
        {"toolbar/Run", {}, false},
    };
    for (const Row& row : rows) {
        const QString base = QLatin1String(row.group);
        ActionGroup* g = actionGroup(base);
        if (row.invisible)
            g->setVisible(false);
        for (const char* s : row.sections)
            actionGroup(base + QLatin1Char('/') + QLatin1String(s));
    }
    actionGroup(QStringLiteral("docks/left"))->setExclusive(true);
    actionGroup(QStringLiteral("docks/bottom"))->setExclusive(true);
}

void Shell::initStatusBar()
{
    QStatusBar* bar = statusBar();
    d->statusMessage = new QLabel(tr("Ready"), bar);
    d->statusCursorIns = new QLabel(tr(" INS "), bar);
    d->statusCursorLine = new QLabel(tr(" Line: WWWW "), bar);
    d->statusCursorCol = new QLabel(bar);
    const int w = d->statusCursorLine->sizeHint().width();
    d->statusCursorLine->setMinimumWidth(w);
    d->statusCursorCol->setMinimumWidth(w);
    d->statusCursorLine->setText(tr(" Line:     "));
    d->statusCursorCol->setText(tr(" Col:      "));
    bar->addPermanentWidget(d->statusMessage, 1000);
    bar->addPermanentWidget(d->statusCursorIns, 0);
    bar->addPermanentWidget(d->statusCursorLine, 0);
    bar->addPermanentWidget(d->statusCursorCol, 0);
}

void Shell::initWorkspace()
{
    d->vSplitter = new Splitter(Qt::Horizontal, this, "vSplitter");

    // Left dock: pages on top, tab buttons along the bottom edge.
    d->leftDockWidget = new QWidget(d->vSplitter);
    auto* leftGrid = new QGridLayout(d->leftDockWidget);
    leftGrid->setContentsMargins(0, 0, 0, 0);
    leftGrid->setSpacing(0);
    auto* pageGrid = new QGridLayout();
    pageGrid->setContentsMargins(0, 0, 0, 0);
    pageGrid->setSpacing(0);
    d->leftDock = new WidgetStack(d->leftDockWidget, "leftDock");
    d->leftDock->setContentsMargins(0, 0, 0, 0);
    pageGrid->addItem(new QSpacerItem(0, 3, QSizePolicy::Minimum, QSizePolicy::Fixed), 0, 1);
    pageGrid->addItem(new QSpacerItem(3, 0, QSizePolicy::Fixed, QSizePolicy::Minimum), 1, 0);
    pageGrid->addWidget(d->leftDock, 1, 1);
    leftGrid->addLayout(pageGrid, 0, 0);
    leftGrid->setRowStretch(0, 100);
    d->leftDockTabStrip = new QFrame(d->leftDockWidget);
    d->leftDockTabStrip->setLineWidth(0);
    auto* stripGrid = new QGridLayout(d->leftDockTabStrip);
    stripGrid->setContentsMargins(0, 0, 0, 0);
    stripGrid->setSpacing(0);
    d->leftDockTabHLine = new QFrame(d->leftDockTabStrip);
    d->leftDockTabHLine->setFrameStyle(QFrame::NoFrame);
    d->leftDockTabFrame = new QFrame(d->leftDockTabStrip);
    d->leftDockTabFrame->setFrameStyle(QFrame::NoFrame);
    d->leftDockTabFrame->setFixedHeight(30);
    stripGrid->addWidget(d->leftDockTabHLine, 0, 0);
    stripGrid->addWidget(d->leftDockTabFrame, 1, 0);
    leftGrid->addWidget(d->leftDockTabStrip, 1, 0);
    leftGrid->setRowStretch(1, 0);
    d->leftDockTab = new QToolBar(tr("Left dock"), d->leftDockTabFrame);
    d->leftDockTab->setObjectName(QStringLiteral("leftDockTab"));
    d->leftDockTab->setMovable(false);
    d->leftDockTab->setStyleSheet(QStringLiteral("QToolBar { border: 0px; }"));

    d->hSplitter = new Splitter(Qt::Vertical, d->vSplitter, "hSplitter");
    auto* workspaceArea = new QWidget(d->hSplitter);

    // Bottom dock: a vertical strip of tab buttons left of the pages.
    d->bottomDockWidget = new QWidget(d->hSplitter);
    auto* bottomGrid = new QGridLayout(d->bottomDockWidget);
    bottomGrid->setContentsMargins(0, 0, 0, 0);
    bottomGrid->setSpacing(0);
    d->bottomDockTabStrip = new QFrame(d->bottomDockWidget);
    d->bottomDockTabStrip->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    d->bottomDockTabStrip->setLineWidth(0);
    auto* bStripGrid = new QGridLayout(d->bottomDockTabStrip);
    bStripGrid->setContentsMargins(0, 0, 0, 0);
    bStripGrid->setSpacing(0);
    d->bottomDockTabFrame = new QFrame(d->bottomDockTabStrip);
    d->bottomDockTabFrame->setFrameStyle(QFrame::NoFrame);
    d->bottomDockTabFrame->setFixedWidth(30);
    d->bottomDockTabVLine = new QFrame(d->bottomDockTabStrip);
    d->bottomDockTabVLine->setFrameStyle(QFrame::VLine | QFrame::Raised);
    bStripGrid->addWidget(d->bottomDockTabFrame, 0, 0);
    bStripGrid->addWidget(d->bottomDockTabVLine, 0, 1);
    bottomGrid->addWidget(d->bottomDockTabStrip, 0, 0);
    bottomGrid->setColumnStretch(0, 0);
    d->bottomDock = new WidgetStack(d->bottomDockWidget, "bottomDock");
    auto* bPageGrid = new QGridLayout();
    bPageGrid->setContentsMargins(0, 0, 0, 0);
    bPageGrid->setSpacing(0);
    bPageGrid->addItem(new QSpacerItem(3, 0, QSizePolicy::Fixed, QSizePolicy::Minimum), 0, 0);
    bPageGrid->addWidget(d->bottomDock, 0, 1);
    bPageGrid->addItem(new QSpacerItem(3, 0, QSizePolicy::Fixed, QSizePolicy::Minimum), 0, 2);
    bottomGrid->addLayout(bPageGrid, 0, 1);
    bottomGrid->setColumnStretch(1, 100);
    d->bottomDockTab = new QToolBar(tr("Bottom dock"), d->bottomDockTabFrame);
    d->bottomDockTab->setObjectName(QStringLiteral("bottomDockTab"));
    d->bottomDockTab->setOrientation(Qt::Vertical);
    d->bottomDockTab->setMovable(false);
    d->bottomDockTab->setStyleSheet(QStringLiteral("QToolBar { border: 0px; }"));

    ActionGroup* docks = actionGroup(QStringLiteral("menu/Window/Docks"));
    Actions::createAction(tr("Show/hide &left panel"), QStringLiteral("Shell/showHideLeftPanel"),
                          QKeySequence(Qt::CTRL | Qt::Key_L), this, SLOT(leftDockShowHide()),
                          QString(), docks);
    Actions::createAction(
        tr("Show/hide &bottom panel"), QStringLiteral("Shell/showHideBottomPanel"),
        QKeySequence(Qt::CTRL | Qt::Key_D), this, SLOT(bottomDockShowHide()), QString(), docks);
    docks->addSeparator();

    setCentralWidget(d->vSplitter);

    d->centralLayout = new QGridLayout(workspaceArea);
    d->centralLayout->setContentsMargins(0, 0, 0, 0);
    auto* inner = new QWidget(workspaceArea);
    inner->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);
    d->centralLayout->addWidget(inner, 0, 0);
    d->centralLayout->setRowStretch(0, 100);
    d->centralLayout->setColumnStretch(0, 100);
    auto* innerGrid = new QGridLayout(inner);
    innerGrid->setContentsMargins(0, 0, 0, 0);
    innerGrid->setSpacing(0);
    d->workspace = new WidgetStack(inner, "vexa::workspace");
    d->workspace->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    innerGrid->addWidget(d->workspace, 0, 0, 1, 2);
    innerGrid->setRowStretch(0, 1000);
    d->stackButtons = new QToolBar(tr("Tools"), inner);
    d->stackButtons->setObjectName(QStringLiteral("stackButtons"));
    d->stackButtons->setMovable(false);
    d->stackButtons->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    innerGrid->addWidget(d->stackButtons, 1, 0);
    innerGrid->setRowStretch(1, 0);
    // Made last: building the tab bar builds the editor manager, which needs
    // the workspace, the tool bar and the action groups above.
    d->editorsTab = new EditorsTab(inner, "editorsTab");
    d->editorsTab->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    d->editorsTab->setTabPosition(xqwidgets::TabBar::Bottom);
    innerGrid->addWidget(d->editorsTab, 1, 1);

    actionGroup(QStringLiteral("stackButtons"))->setExclusive(true);
}

void Shell::rebuildUI()
{
    QMenuBar* bar = menuBar();
    bar->clear();
    for (const QPointer<QMenu>& m : std::as_const(d->menus))
        delete m;
    d->menus.clear();
    for (const QString& name : std::as_const(d->menuGroups)) {
        // Parented to the menu bar, so a rebuild or the window's end frees it.
        auto* popup = new QMenu(bar);
        actionGroup(QStringLiteral("menu/") + name)->addTo(popup);
        if (popup->actions().isEmpty()) {
            delete popup;
            continue;
        }
        popup->setTitle(tr(QString(QLatin1Char('&') + name).toUtf8().constData()));
        bar->addMenu(popup);
        d->menus.append(popup);
    }

    for (const QPointer<QToolBar>& tb : std::as_const(d->toolbars)) {
        if (tb) {
            removeToolBar(tb);
            delete tb;
        }
    }
    d->toolbars.clear();
    for (const QString& name : std::as_const(d->toolbarGroups)) {
        ActionGroup* g = actionGroup(QStringLiteral("toolbar/") + name);
        if (g->count() == 0)
            continue;
        auto* tb = new QToolBar(name, this);
        tb->setObjectName(QStringLiteral("toolbar/") + name);
        addToolBar(Qt::TopToolBarArea, tb);
        g->addTo(tb);
        d->toolbars.append(tb);
    }

    const int left = actionGroup(QStringLiteral("docks/left"))->count();
    const int bottom = actionGroup(QStringLiteral("docks/bottom"))->count();
    Action* showLeft = Actions::action(QStringLiteral("Shell/showHideLeftPanel"));
    Action* showBottom = Actions::action(QStringLiteral("Shell/showHideBottomPanel"));
    if (left == 0) {
        d->leftDockWidget->hide();
        if (showLeft)
            showLeft->setVisible(false);
    } else {
        if (showLeft)
            showLeft->setVisible(true);
        d->leftDockWidget->setVisible(
            Settings::readBool(QStringLiteral("/geometry/leftDockShown"), true));
    }
    if (bottom == 0) {
        d->bottomDockWidget->hide();
        if (showBottom)
            showBottom->setVisible(false);
    } else {
        if (showBottom)
            showBottom->setVisible(true);
        d->bottomDockWidget->setVisible(
            Settings::readBool(QStringLiteral("/geometry/bottomDockShown"), true));
    }
    // A dock with a single panel needs no tab buttons.
    d->leftDockTabStrip->setVisible(left != 1);
    d->bottomDockTabStrip->setVisible(bottom != 1);

    Q_EMIT uiRebuilded();
}

bool Shell::eventFilter(QObject* o, QEvent* e)
{
    if (e->type() == QEvent::Hide && o->isWidgetType()) {
        auto* dialog = qobject_cast<QDialog*>(o);
        if (dialog && dialog->isWindow() && dialog->parentWidget() &&
            dialog->parentWidget()->window() == this) {
            // Once the dialog has gone and no other one is up.
            QTimer::singleShot(0, this, [this]() {
                if (QApplication::activeModalWidget() || !isVisible())
                    return;
                activateWindow();
                QWidget* f = focusWidget();
                if (!f || !f->isVisible())
                    Editors::self()->setFocus();
            });
        }
    }
    return QMainWindow::eventFilter(o, e);
}

void Shell::postPrepare()
{
    auto* stretch = new QWidget(d->bottomDockTab);
    stretch->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    d->bottomDockTab->addWidget(stretch);

    // The left dock shows the page whose tab button is raised: the stored
    // one; else (none stored, or a stored id that names no page) the page of
    // a panel that raised itself while the services were built (the project
    // reopened), whose button it raised; else the first page, the files
    // explorer, whose button starts raised. A page a panel merely put in
    // front as it was built (the project's empty list of recent projects)
    // must not stay there under another page's raised button. Never a null
    // page: that would make every left panel raise itself in turn.
    // The page raised here does not take the keyboard focus: it stays where
    // the user will type.
    bool ok = false;
    int id = Settings::readNum(QStringLiteral("/geometry/leftDockPanelID"), 0, &ok);
    QWidget* left = ok ? d->leftDock->widget(id) : nullptr;
    const QList<Action*> toggles = actionGroup(QStringLiteral("docks/left"))->actions();
    const bool panelRaised =
        std::any_of(toggles.cbegin(), toggles.cend(), [](Action* a) { return a->isChecked(); });
    if (!left && !panelRaised && d->leftDock->count() > 0)
        left = d->leftDock->QStackedWidget::widget(0);
    if (left) {
        d->leftDock->raiseWidget(left);
        Q_EMIT leftDockRaised(left);
        Editors::self()->setFocus();
    }
    id = Settings::readNum(QStringLiteral("/geometry/bottomDockPanelID"), 0, &ok);
    if (ok) {
        if (QWidget* w = d->bottomDock->widget(id)) {
            d->bottomDock->raiseWidget(w);
            Q_EMIT bottomDockRaised(w);
        }
    }
}

// ------------------------------------------------------------ accessors

QGridLayout* Shell::centralLayout() const
{
    return d->centralLayout;
}

WidgetStack* Shell::workspace() const
{
    return d->workspace;
}

QToolBar* Shell::stackButtons() const
{
    return d->stackButtons;
}

WidgetStack* Shell::leftDock() const
{
    return d->leftDock;
}

WidgetStack* Shell::bottomDock() const
{
    return d->bottomDock;
}

QToolBar* Shell::leftDockTab() const
{
    return d->leftDockTab;
}

Action* Shell::addLeftDockToggle(const QString& text, const QString& name, const QString& iconName,
                                 QObject* receiver, bool textLabel)
{
    Action* a = Actions::createAction(text, name, QKeySequence(), receiver, SLOT(makeVisible()),
                                      iconName, actionGroup(QStringLiteral("docks/left")));
    a->setCheckable(true);
    if (textLabel)
        a->setUsesTextLabel(true);
    a->addTo(leftDockTab());
    return a;
}

QToolBar* Shell::bottomDockTab() const
{
    return d->bottomDockTab;
}

QWidget* Shell::leftDockWidget() const
{
    return d->leftDockWidget;
}

QWidget* Shell::bottomDockWidget() const
{
    return d->bottomDockWidget;
}

QStringList Shell::menuNames() const
{
    return d->menuGroups;
}

QStringList Shell::toolbarNames() const
{
    return d->toolbarGroups;
}

// ------------------------------------------------------------ slots

void Shell::exit()
{
    // A search in files runs inside the event loop: it stops first, and the
    // exit goes on once it has unwound.
    if (SearchManager::stopSearchInFiles()) {
        QTimer::singleShot(0, this, &Shell::exit);
        return;
    }
    // A file operation runs inside the event loop's passes: it is asked about
    // first and stopped before the loop ends, or it would go on writing while
    // the window goes.
    const bool operating = xqwidgets::FileOperator::isRunning();
    if (operating &&
        Message::warning(tr("Quit"), tr("A file operation is running. Abort it and quit?"),
                         tr("&Abort and quit"), tr("&Cancel"), QString(), 0, 1) != 0)
        return;
    // The project is written while the window can still show why a save
    // failed and the user can still stay.
    if (Project::saveAtExit() && Editors::self()->closeAll()) {
        if (xqwidgets::FileOperator::isRunning())
            xqwidgets::FileOperator::self()->abort();
        QApplication::exit(0);
    }
}

void Shell::closeEvent(QCloseEvent* e)
{
    // The window goes only when the event loop has ended.
    exit();
    e->ignore();
}

void Shell::timeout()
{
    d->leftDockTab->setFixedSize(d->leftDockTabFrame->size());
    d->bottomDockTab->setFixedSize(d->bottomDockTabFrame->size());
}

void Shell::leftDockShowHide()
{
    d->leftDockWidget->setVisible(d->leftDockWidget->isHidden());
}

void Shell::bottomDockShowHide()
{
    d->bottomDockWidget->setVisible(d->bottomDockWidget->isHidden());
}

void Shell::focusIn()
{
    Q_EMIT focusChanged(sender());
}

void Shell::raiseLeftDock()
{
    Q_EMIT leftDockRaised(sender());
    d->leftDockWidget->show();
}

void Shell::raiseBottomDock()
{
    Q_EMIT bottomDockRaised(sender());
    d->bottomDockWidget->show();
}

void Shell::statusMessage(const QString& field, const QString& text)
{
    if (field == QLatin1String("default"))
        d->statusMessage->setText(text);
    if (field == QLatin1String("insowr"))
        d->statusCursorIns->setText(QLatin1Char(' ') + text + QLatin1Char(' '));
    if (field == QLatin1String("line"))
        d->statusCursorLine->setText(QLatin1Char(' ') + text + QLatin1Char(' '));
    if (field == QLatin1String("col"))
        d->statusCursorCol->setText(QLatin1Char(' ') + text + QLatin1Char(' '));
}

// ------------------------------------------------------------ start-up

void startServices(Shell* shell)
{
    // This order fixes the order of the left dock's pages (files, project,
    // tags) and of the items that several services put into one group.
    Editors::self();
    // The file operator belongs to the main window, which also places its
    // progress window.
    xqwidgets::FileOperator::self(shell);
    ExplorerPanel::self();
    Project::self();
    MessageOutput::self();
    TagsPanel::self();
    SearchManager::self();
    RunMake::self();
    shell->rebuildUI();
}

} // namespace vexa

#include "vexa/ctags/tagspanel.h"

#include "vexa/actions.h"
#include "vexa/ctags/node.h"
#include "vexa/ctags/parser.h"
#include "vexa/ctags/tagsview.h"
#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/editors/editorslist.h"
#include "vexa/filetype.h"
#include "vexa/project/project.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/utils.h"
#include "vexa/widgets/clicklabel.h"
#include "vexa/widgets/widgetstack.h"

#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPointer>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <new>
#include <optional>

// "vexa.tags.debug=true" in QT_LOGGING_RULES reports every tree shown.
Q_LOGGING_CATEGORY(lcTags, "vexa.tags", QtWarningMsg)

namespace vexa
{

namespace
{

// The successor of a node in pre-order: its child, else its next sibling,
// else the next sibling of the nearest ancestor that has one.
Node* nextNode(Node* n)
{
    if (n->child)
        return n->child;
    for (; n; n = n->parent) {
        if (n->next)
            return n->next;
    }
    return nullptr;
}

// The node with the greatest start below pos (previous) or the least start
// above it (next); among equal starts the first in walk order.
Node* searchNode(Node* first, int pos, bool next)
{
    Node* found = nullptr;
    for (Node* n = first; n; n = nextNode(n)) {
        if (next ? n->start <= pos : n->start >= pos)
            continue;
        if (!found || (next ? n->start < found->start : n->start > found->start))
            found = n;
    }
    return found;
}

// A merge, and the copy of an editor's text, give the event loop a turn
// after this long.
constexpr int kMergeSliceMs = 15;
constexpr int kCopySliceMs = 15;
// Texts of more lines are not read just to tell whether a tree is theirs.
constexpr int kKeyLines = 20000;

QString noAnswerText()
{
    return TagsPanel::tr("ctags did not answer in time; it runs again when the text changes.");
}

Parser* parserFor(const QString& fileName)
{
    return FileTypeManager::self()->findType(fileName)->parser();
}

void setVerticalStretch(QWidget* w, int stretch)
{
    QSizePolicy p = w->sizePolicy();
    p.setVerticalStretch(stretch);
    w->setSizePolicy(p);
}

void check(const char* name)
{
    if (Action* a = Actions::action(QLatin1String(name)))
        a->setChecked(true);
}

} // namespace

class TagsPanel::Private
{
public:
    static TagsPanel* self;

    Node* rootNode = nullptr;
    // The parser that owns rootNode (the panel holds the tree there) and the
    // tree's generation: a new tree is told from the one shown by these.
    QPointer<Parser> rootParser;
    quint64 rootGeneration = 0;

    TagsView* classesView = nullptr;
    TagsView* classesViewAll = nullptr;
    EditorsList* editorList = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* status = nullptr;
    QToolButton* filesListButton = nullptr;
    ClickLabel* labelFiles = nullptr;
    QStackedWidget* widgetStack = nullptr;
    QList<Parser*> connectedParsers;
    Action* dockAction = nullptr;

    // The last request: for this editor at this change count, file and
    // parser nothing needs asking again.
    QPointer<Editor> askedEditor;
    qint64 askedCount = -1;
    QString askedFile;
    QPointer<Parser> askedParser;
    int askedKey = 0;
    // The last tree that belonged to the current editor's text when it came.
    QPointer<Parser> answeredParser;
    int answeredKey = 0;
    // The key of an editor's text at a change count, so that an unchanged
    // text is not read and hashed again.
    QPointer<Editor> keyEditor;
    qint64 keyCount = -1;
    int key = 0;

    // The key of the editor's text when known without reading the text: a
    // big text is not copied again for a tree that would be dropped anyway
    // when the editor changed since its request (a text changed and changed
    // back is asked for anew, a cache hit).
    std::optional<int> currentKey(Editor* editor)
    {
        const qint64 count = editor->changeCount();
        if (count >= 0 && keyEditor == editor && keyCount == count)
            return key;
        if (count >= 0 && editor->lineCount() > kKeyLines)
            return std::nullopt;
        const int k = Parser::calculateKey(editor->text());
        if (count >= 0)
            rememberKey(editor, count, k);
        return k;
    }
    void rememberKey(Editor* editor, qint64 count, int k)
    {
        keyEditor = editor;
        keyCount = count;
        key = k;
    }
    void letGoOfRoot()
    {
        if (rootParser && rootNode)
            rootParser->release(rootNode);
        rootNode = nullptr;
        rootParser = nullptr;
        rootGeneration = 0;
    }
    void moveToSymbol(bool next);
    void say(const QString& text)
    {
        status->setText(text);
        status->setVisible(!text.isEmpty());
    }

    // The copy of an editor's text under way for a request: the length of
    // the text is summed first, so that the copy is made in memory of its
    // size (growing a text of tens of megabytes copies it whole), then the
    // lines are copied and hashed a block at a time.
    struct Copy {
        QPointer<Editor> editor;
        qint64 count = -1;
        QString fileName;
        QPointer<Parser> parser;
        QString text;
        Parser::Digest digest;
        int line = 0;
        bool sized = false;
        qsizetype length = 0;

        // A fresh copy of the editor's text at this change count.
        void start(Editor* e, qint64 n, const QString& file, Parser* p)
        {
            *this = Copy();
            editor = e;
            count = n;
            fileName = file;
            parser = p;
        }
    } copy;
    QTimer* copyTimer = nullptr;
    // The editor of the tree being merged, and its file for the log.
    QPointer<Editor> mergingEditor;
    QString mergingFile;

    // The line table of an editor's text at a change count, so that moving
    // to a symbol neither copies nor scans the whole text on every press.
    QPointer<Editor> linesEditor;
    qint64 linesCount = -1;
    std::optional<Parser::LineEnds> lines;
    const Parser::LineEnds& linesOf(Editor* editor)
    {
        const qint64 count = editor->changeCount();
        if (!lines || count < 0 || linesEditor != editor || linesCount != count) {
            lines.emplace(editor->lineCount(), [editor](int l) { return editor->line(l); });
            linesEditor = editor;
            linesCount = count;
        }
        return *lines;
    }
};

TagsPanel* TagsPanel::Private::self = nullptr;

TagsPanel* TagsPanel::self()
{
    if (!Private::self)
        new TagsPanel(Shell::self());
    return Private::self;
}

TagsPanel::TagsPanel(QWidget* parent) : QWidget(parent), d(new Private)
{
    Private::self = this;
    Shell* shell = Shell::self();
    Editors* editors = Editors::self();

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    d->widgetStack = new QStackedWidget(this);
    grid->addWidget(d->widgetStack, 0, 0);

    auto* page0 = new QWidget(d->widgetStack);
    auto* grid0 = new QGridLayout(page0);
    grid0->setContentsMargins(0, 0, 0, 0);
    // What the page has to say about the current editor's tags; hidden
    // when a tree speaks for itself.
    d->status = new QLabel(page0);
    d->status->setObjectName(QStringLiteral("tagsStatus"));
    d->status->setWordWrap(true);
    d->status->setMargin(4);
    d->status->hide();
    grid0->addWidget(d->status, 0, 0);
    d->classesView = new TagsView(page0, "classesView");
    grid0->addWidget(d->classesView, 1, 0);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    d->labelFiles = new ClickLabel(tr("Files:"), page0, "labelFiles");
    QSizePolicy labelPolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    labelPolicy.setHorizontalStretch(100);
    d->labelFiles->setSizePolicy(labelPolicy);
    row->addWidget(d->labelFiles);
    d->filesListButton = new QToolButton(page0);
    d->filesListButton->setAutoRaise(true);
    d->filesListButton->setIcon(Utils::iconSet(QStringLiteral("9x9_Close")));
    d->filesListButton->setFixedSize(15, 15);
    row->addWidget(d->filesListButton);
    grid0->addLayout(row, 2, 0);
    d->editorList = new EditorsList(page0, "editorList");
    grid0->addWidget(d->editorList, 3, 0);
    // The two share the page's height by their stretch factors alone (see
    // showFilesList), not by what each would like to have.
    for (QWidget* w :
         {static_cast<QWidget*>(d->classesView), static_cast<QWidget*>(d->editorList)}) {
        QSizePolicy p = w->sizePolicy();
        p.setVerticalPolicy(QSizePolicy::Ignored);
        w->setSizePolicy(p);
    }
    connect(d->labelFiles, &ClickLabel::clicked, this, &TagsPanel::showHideFilesList);
    connect(d->filesListButton, &QToolButton::clicked, this, &TagsPanel::showHideFilesList);
    d->widgetStack->addWidget(page0);

    auto* page1 = new QWidget(d->widgetStack);
    auto* grid1 = new QGridLayout(page1);
    grid1->setContentsMargins(0, 0, 0, 0);
    d->classesViewAll = new TagsView(page1, "classesViewAll");
    grid1->addWidget(d->classesViewAll, 0, 0);
    d->progressBar = new QProgressBar(page1);
    d->progressBar->setAlignment(Qt::AlignCenter);
    d->progressBar->setValue(0);
    grid1->addWidget(d->progressBar, 1, 0);
    d->widgetStack->addWidget(page1);

    connect(editors, &Editors::fileSaved, this, &TagsPanel::reparse);
    connect(editors, &Editors::fileLoaded, this, &TagsPanel::reparse);
    connect(editors, &Editors::listChanged, this, &TagsPanel::reparse);
    connect(editors, &Editors::currentChanged, this, &TagsPanel::reparse);
    connect(d->classesView, &TagsView::gotoTextPos, this, &TagsPanel::gotoTextPos);
    connect(d->classesView, &TagsView::merged, this, [this] {
        TagsView* view = d->classesView;
        view->setUpdatesEnabled(true);
        view->adjustContentSize();
        view->viewport()->update();
        qCDebug(lcTags).noquote() << "tags shown for" << d->mergingFile << "with"
                                  << view->topLevelItemCount() << "top-level symbols";
    });
    connect(d->classesViewAll, &TagsView::gotoTextPos, this, &TagsPanel::gotoTextPos);

    d->copyTimer = new QTimer(this);
    d->copyTimer->setSingleShot(true);
    connect(d->copyTimer, &QTimer::timeout, this, &TagsPanel::copySlice);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &TagsPanel::reparse);
    timer->start(5000);

    d->dockAction =
        shell->addLeftDockToggle(QStringLiteral("Tags"), QStringLiteral("leftDock/classes"),
                                 QStringLiteral("22x22_Tags"), this);
    shell->leftDock()->addWidget(this);
    connect(d->dockAction, &QAction::toggled, this, &TagsPanel::switchShowAllClasses);

    ActionGroup* view = shell->actionGroup(QStringLiteral("menu/View/std"));
    view->addSeparator();
    Actions::createAction(
        QStringLiteral("Prev function/class/tag"), QStringLiteral("Editors/prevFunction"),
        QKeySequence(Qt::ALT | Qt::Key_Up), this, SLOT(prevFunction()), QString(), view);
    Actions::createAction(
        QStringLiteral("Next function/class/tag"), QStringLiteral("Editors/nextFunction"),
        QKeySequence(Qt::ALT | Qt::Key_Down), this, SLOT(nextFunction()), QString(), view);

    Project* project = Project::self();
    connect(project, &Project::loaded, this, &TagsPanel::enableClassesAll);
    connect(project, &Project::closed, this, &TagsPanel::disableClassesAll);

    // Context menus: one group tree per kind of symbol, the sections in order.
    Action* open =
        Actions::createAction(QStringLiteral("Open"), QStringLiteral("Classes/context/open"),
                              QKeySequence(), d->classesView, SLOT(openCurrent()));
    auto sortAction = [this](const char* name, const char* text, const char* slot) {
        Action* a = Actions::createAction(QLatin1String(text), QLatin1String(name), QKeySequence(),
                                          this, slot);
        a->setCheckable(true);
        return a;
    };
    struct Menu {
        const char* path;
        QList<Action*> sorting; // empty: no "Sorting" section
        bool closeProject;
    };
    const QList<Menu> menus = {
        {"classes/context/class",
         {sortAction("Classes/context/class/sortByName", "Name", SLOT(sortByName())),
          sortAction("Classes/context/class/sortByLineNumber", "Line number",
                     SLOT(sortByLineNumber()))},
         false},
        {"classes/context/function",
         {sortAction("Classes/context/function/sortByName", "Name", SLOT(sortByName())),
          sortAction("Classes/context/function/sortByLineNumber", "Line number",
                     SLOT(sortByLineNumber()))},
         false},
        {"classesAll/context/class", {}, true},
        {"classesAll/context/function",
         {sortAction("ClassesAll/context/function/sortByName", "Name",
                     SLOT(sortByNameClassesAll())),
          sortAction("ClassesAll/context/function/sortByLineNumber", "Line number",
                     SLOT(sortByLineNumberClassesAll()))},
         true},
    };
    for (const Menu& m : menus) {
        const QString path = QLatin1String(m.path);
        shell->actionGroup(path + QStringLiteral("/open"))->add(open);
        ActionGroup* std = shell->actionGroup(path + QStringLiteral("/std"));
        if (!m.sorting.isEmpty()) {
            std->addSeparator();
            ActionGroup* sorting = shell->actionGroup(path + QStringLiteral("/Sorting"));
            sorting->setExclusive(true);
            sorting->setUsesDropDown(true);
            for (Action* a : m.sorting)
                sorting->add(a);
        }
        shell->actionGroup(path + QStringLiteral("/plugin"));
        ActionGroup* close = shell->actionGroup(path + QStringLiteral("/close"));
        if (m.closeProject) {
            close->addSeparator();
            close->add(QStringLiteral("Project/close"));
        }
    }
    for (const auto& [v, prefix] :
         {std::pair{d->classesView, "classes"}, std::pair{d->classesViewAll, "classesAll"}}) {
        const QString p = QLatin1String(prefix);
        ActionGroup* functions = shell->actionGroup(p + QStringLiteral("/context/function"));
        v->installHelper(QStringLiteral("Class"),
                         shell->actionGroup(p + QStringLiteral("/context/class")));
        v->installHelper(QStringLiteral("Function"), functions);
        v->installHelper(QStringLiteral("FunctionPrivate"), functions);
    }

    const QString sortMode = QStringLiteral("/classes/sortMode");
    d->classesView->setSortingMode(Settings::readNum(sortMode, 0));
    d->classesView->sortItems(0, Qt::AscendingOrder);
    switch (Settings::readNum(sortMode, 0)) {
    case 1:
        check("Classes/context/class/sortByName");
        check("Classes/context/function/sortByName");
        break;
    case 0:
        check("Classes/context/class/sortByLineNumber");
        check("Classes/context/function/sortByLineNumber");
        break;
    default:
        break;
    }
    // The all-classes view sorts classes first by default, but its commands
    // tick a choice only when one was stored.
    const QString sortModeAll = QStringLiteral("/classes/sortModeClassesAll");
    d->classesViewAll->setSortingMode(Settings::readNum(sortModeAll, 2));
    d->classesViewAll->sortItems(0, Qt::AscendingOrder);
    switch (Settings::readNum(sortModeAll, 0)) {
    case 1:
        check("ClassesAll/context/function/sortByName");
        break;
    case 2:
        check("ClassesAll/context/function/sortByLineNumber");
        break;
    default:
        break;
    }

    connect(this, &TagsPanel::raised, shell, &Shell::raiseLeftDock);
    connect(shell, &Shell::leftDockRaised, this, &TagsPanel::makeVisible);

    showFilesList(Settings::readBool(QStringLiteral("/geometry/tagsPanel/showEditorsList"), true));
}

TagsPanel::~TagsPanel()
{
    Settings::write(QStringLiteral("/geometry/tagsPanel/showEditorsList"),
                    !d->editorList->isHidden());
    Settings::write(QStringLiteral("/classes/sortMode"), d->classesView->sortingMode());
    Settings::write(QStringLiteral("/classes/sortModeClassesAll"),
                    d->classesViewAll->sortingMode());
    d->letGoOfRoot();
    if (Private::self == this)
        Private::self = nullptr;
    delete d;
}

TagsView* TagsPanel::classesView() const
{
    return d->classesView;
}

TagsView* TagsPanel::classesViewAll() const
{
    return d->classesViewAll;
}

EditorsList* TagsPanel::editorsList() const
{
    return d->editorList;
}

Node* TagsPanel::rootNode() const
{
    return d->rootNode;
}

// ----------------------------------------------------------------- trees

void TagsPanel::reparse()
{
    Editor* editor = Editors::self()->current();
    // The rest of the tree of an editor that closed or is no longer current
    // does not come in: the tree of the current one is on its way.
    if (d->classesView->isMerging() && d->mergingEditor != editor) {
        d->classesView->stopMerging();
        d->letGoOfRoot();
    }
    if (!editor)
        return;
    const QString fileName = editor->filename();
    Parser* parser = parserFor(fileName);
    if (!parser)
        return;
    if (!d->connectedParsers.contains(parser)) {
        d->connectedParsers.append(parser);
        connect(parser, &Parser::nodes, this, &TagsPanel::reparseShowNodes);
        connect(parser, &Parser::noAnswer, this, [this](int key) {
            Editor* editor = Editors::self()->current();
            if (editor && d->currentKey(editor) == std::optional<int>(key))
                d->say(noAnswerText());
        });
        connect(parser, &QObject::destroyed, this,
                [this, parser] { d->connectedParsers.removeAll(parser); });
    }
    // An editor unchanged since the last request costs nothing: the tree
    // asked for then is shown already or still on its way.
    // A request that ended without a tree (ctags failed or ran out of time)
    // is made again.
    const qint64 count = editor->changeCount();
    if (count >= 0 && d->askedEditor == editor && d->askedCount == count &&
        d->askedFile == fileName && d->askedParser == parser &&
        (parser->inFlight(d->askedKey, fileName) || parser->timedOut(d->askedKey, fileName) ||
         (d->answeredParser == parser && d->answeredKey == d->askedKey))) {
        // What the tree's re-delivery would do: divide the height anew.
        showFilesList(!d->editorList->isHidden());
        return;
    }
    // The text is copied a line at a time, a slice per turn of the event
    // loop, so that a big file never holds the window; a small one is done
    // before this returns.
    const Private::Copy& c = d->copy;
    if (count >= 0 && c.editor == editor && c.fileName == fileName && c.parser == parser)
        return; // its copy is under way (and starts again if the text changes)
    d->copy.start(editor, count, fileName, parser);
    d->say(QString());
    copySlice();
}

void TagsPanel::copySlice()
{
    try {
        copyTextSlice();
    } catch (const std::bad_alloc&) {
        // A text too large for the memory left (the copy for ctags takes
        // its size again): no tree for it, and the program goes on.
        d->copy = {};
        d->say(tr("Not enough memory to copy the text for ctags."));
    }
}

void TagsPanel::copyTextSlice()
{
    Private::Copy& c = d->copy;
    Editor* editor = c.editor;
    if (!editor || editor != Editors::self()->current() || !c.parser) {
        c = {};
        return; // the editor went or another became current: it asks anew
    }
    if (c.count < 0) {
        // An editor that keeps no change count cannot tell a change under
        // way: its text in one go.
        c.text = editor->text();
    } else {
        if (editor->changeCount() != c.count) {
            // Changed meanwhile: from the start.
            c.start(editor, editor->changeCount(), QString(c.fileName), c.parser);
        }
        QElapsedTimer t;
        t.start();
        const int lines = editor->lineCount();
        auto sliceOver = [&] {
            if (c.line % 1024 != 0 || t.elapsed() < kCopySliceMs || c.line == lines)
                return false;
            d->copyTimer->start(0);
            return true;
        };
        if (!c.sized) {
            while (c.line < lines) {
                c.length += editor->line(c.line++).size() + 1;
                if (sliceOver())
                    return;
            }
            c.text.reserve(c.length);
            c.sized = true;
            c.line = 0;
        }
        while (c.line < lines) {
            if (c.line > 0)
                c.text += QLatin1Char('\n');
            c.text += editor->line(c.line++);
            if (c.line % 1024 == 0)
                c.digest.add(c.text);
            if (sliceOver())
                return;
        }
    }
    Private::Copy done = std::exchange(c, {});
    const QByteArray digest = done.digest.finish(done.text);
    int key = done.parser->parse(done.text, done.fileName, digest);
    // A parse that could not start gives 0; the text has a key all the same.
    if (key == 0 && !done.text.isEmpty())
        key = Parser::keyOf(digest);
    d->askedEditor = editor;
    d->askedCount = done.count;
    d->askedFile = done.fileName;
    d->askedParser = done.parser;
    d->askedKey = key;
    if (done.parser->timedOut(key, done.fileName))
        d->say(noAnswerText());
    if (done.count >= 0)
        d->rememberKey(editor, done.count, key);
}

void TagsPanel::reparseShowNodes(int key, Node* root)
{
    // Only a parser's tree can be kept alive while it is shown.
    auto* parser = qobject_cast<Parser*>(sender());
    Editor* editor = Editors::self()->current();
    if (!parser || !root || !editor)
        return;
    // A tree of a text the current editor no longer holds (edited since, or
    // another editor's) is dropped; a later request brings the right one.
    if (d->currentKey(editor) != std::optional<int>(key))
        return;
    d->answeredParser = parser;
    d->answeredKey = key;
    d->say(QString());
    const quint64 generation = parser->generation(root);
    if (d->widgetStack->currentIndex() == 0 && generation != 0 &&
        (parser != d->rootParser || generation != d->rootGeneration)) {
        parser->hold(root);
        d->letGoOfRoot();
        d->rootNode = root;
        d->rootParser = parser;
        d->rootGeneration = generation;
        // Merged a slice at a time, so that a big tree never holds the
        // window; the view is drawn again once it is all in.
        TagsView* view = d->classesView;
        view->setUpdatesEnabled(false);
        d->mergingEditor = editor;
        d->mergingFile = editor->filename();
        view->mergeInSlices({root}, kMergeSliceMs);
    }
    showFilesList(!d->editorList->isHidden());
}

// ------------------------------------------------------------ navigation

void TagsPanel::gotoTextPos(int pos, const QString& fileName)
{
    // A tag without a file is one of the current editor's; a file that did
    // not open leaves the cursor of the current editor alone.
    Editor* editor =
        fileName.isEmpty() ? Editors::self()->current() : Editors::self()->openEditor(fileName);
    if (!editor || !parserFor(fileName))
        return;
    editor->showLine(d->linesOf(editor).line(pos));
}

void TagsPanel::Private::moveToSymbol(bool next)
{
    Editor* editor = Editors::self()->current();
    if (!editor || !parserFor(editor->filename()) || !rootNode)
        return;
    const Parser::LineEnds& lines = linesOf(editor);
    const int line = editor->cursorLine();
    const Node* n = searchNode(rootNode, lines.pos(line), next);
    if (!n)
        return;
    const int nodeLine = lines.line(n->start);
    if (nodeLine != line) {
        editor->setCursorPosition(nodeLine, 0);
        return;
    }
    // The symbol found is on the cursor line: once more from the line beyond.
    n = searchNode(rootNode, lines.pos(next ? line + 1 : line - 1), next);
    if (n)
        editor->setCursorPosition(lines.line(n->start), 0);
}

void TagsPanel::prevFunction()
{
    d->moveToSymbol(false);
}

void TagsPanel::nextFunction()
{
    d->moveToSymbol(true);
}

void TagsPanel::makeVisible(QObject* o)
{
    if (!o) {
        Shell::self()->leftDock()->raiseWidget(this);
        d->classesViewAll->adjustContentSize();
        d->classesView->adjustContentSize();
        Q_EMIT raised();
        return;
    }
    d->dockAction->setPanelRaised(o == this);
    // Once the page is laid out at its real height, the editors list gets
    // its share of it.
    if (o == this)
        QTimer::singleShot(0, this, [this] { showFilesList(!d->editorList->isHidden()); });
}

// --------------------------------------------------------------- sorting

void TagsPanel::sortByName()
{
    check("Classes/context/class/sortByName");
    check("Classes/context/function/sortByName");
    d->classesView->setSortingMode(1);
    d->classesView->sortItems(0, Qt::AscendingOrder);
}

void TagsPanel::sortByLineNumber()
{
    check("Classes/context/class/sortByLineNumber");
    check("Classes/context/function/sortByLineNumber");
    d->classesView->setSortingMode(0);
    d->classesView->sortItems(0, Qt::AscendingOrder);
}

void TagsPanel::sortByNameClassesAll()
{
    d->classesViewAll->setSortingMode(1);
    d->classesViewAll->sortItems(0, Qt::AscendingOrder);
}

void TagsPanel::sortByLineNumberClassesAll()
{
    d->classesViewAll->setSortingMode(2);
    d->classesViewAll->sortItems(0, Qt::AscendingOrder);
}

// ------------------------------------------------------ all-classes page

void TagsPanel::showAllClasses()
{
    d->classesViewAll->setSortingMode(1);
    d->progressBar->setValue(100);
    d->classesViewAll->updateSubTree(nullptr, {});
    d->classesViewAll->viewport()->update();
    d->progressBar->hide();
}

void TagsPanel::checkShowAllClasses(bool on)
{
    d->widgetStack->setCurrentIndex(on ? 1 : 0);
}

void TagsPanel::enableClassesAll() {}

void TagsPanel::disableClassesAll() {}

void TagsPanel::switchShowAllClasses(bool on)
{
    if (on && d->widgetStack->currentIndex() == 1)
        d->progressBar->show();
}

// ---------------------------------------------------------- editors list

void TagsPanel::showFilesList(bool show)
{
    if (!show && d->editorList->isHidden())
        return;
    const QPalette colours = d->filesListButton->palette();
    QPalette label = d->labelFiles->palette();
    d->labelFiles->setAutoFillBackground(true);
    if (!show) {
        setVerticalStretch(d->editorList, 0);
        label.setColor(QPalette::Window, colours.color(QPalette::Mid));
        d->filesListButton->setIcon(Utils::iconSet(QStringLiteral("9x9_Maximize")));
    } else {
        const int total =
            d->classesView->height() + (d->editorList->isHidden() ? 0 : d->editorList->height());
        // A collapsed dock has no height to divide: the shares stay.
        if (total > 0) {
            QListWidget* box = d->editorList->listBox();
            int wanted = (box->count() > 0 ? box->count() * box->sizeHintForRow(0) : 0) + 10;
            wanted = qMin(wanted, total / 3);
            setVerticalStretch(d->classesView, (total - wanted) * 255 / total);
            setVerticalStretch(d->editorList, wanted * 255 / total);
        }
        label.setColor(QPalette::Window, colours.color(QPalette::Window));
        d->filesListButton->setIcon(Utils::iconSet(QStringLiteral("9x9_Close")));
    }
    d->labelFiles->setPalette(label);
    d->editorList->setVisible(show);
}

void TagsPanel::showHideFilesList()
{
    showFilesList(d->editorList->isHidden());
}

} // namespace vexa

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
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPointer>
#include <QProgressBar>
#include <QStackedWidget>
#include <QThreadPool>
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

// A merge gives the event loop a turn after this long.
constexpr int kMergeSliceMs = 15;
// Texts of more lines are not read just to tell whether a tree is theirs,
// and are joined and hashed on a worker thread.
constexpr int kKeyLines = 20000;
// A text whose cursor rested this long is asked for (besides the 5000 ms
// tick), so that its tree comes soon after typing stops.
constexpr int kQuietMs = 300;
// A big text's lines are taken this many at a time, for this long a turn.
constexpr int kSnapshotBlock = 16384;
constexpr int kCopySliceMs = 5;

QString makingText(const QString& fileName)
{
    return TagsPanel::tr("Making the tags of %1…")
        .arg(fileName.isEmpty() ? TagsPanel::tr("Untitled") : QFileInfo(fileName).fileName());
}

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

// A value that holds for one editor at one change count, met again only
// while that editor is unchanged. An editor that keeps no change count
// (count < 0) never meets one.
template <typename T> struct EditorMemo {
    QPointer<Editor> editor;
    qint64 count = -1;
    T value{};

    bool holds(const Editor* e, qint64 c) const { return c >= 0 && editor == e && count == c; }
    void remember(Editor* e, qint64 c, T v)
    {
        editor = e;
        count = c;
        value = std::move(v);
    }
    void forget() { *this = EditorMemo(); }
};

// What a request of a text's tree went to: the file and parser, and the
// text's key.
struct Request {
    QString fileName;
    QPointer<Parser> parser;
    int key = 0;

    bool isFor(const QString& file, const Parser* p) const
    {
        return fileName == file && parser == p;
    }
};

class TagsPanel::Private
{
public:
    static TagsPanel* self;

    // The life cycle of the current editor's tree, one step after another:
    //   copied    the text of the editor at a change count is taken (`copy`:
    //             a big text's lines, shared with the document, a block per
    //             turn while it does not change, then joined and hashed on a
    //             worker thread; not while it is being typed into);
    //   asked     that text went to its file type's parser (`asked`);
    //   answered  a tree came for it while the editor still held that text
    //             (`answered*`); a tree of another text is dropped;
    //   merging   the tree goes into the view a slice at a time
    //             (`merging*`, which stay the shown tree's editor and file);
    //   shown     it is in the view, held from its parser (`root*`).
    // The tree is current when `asked` holds for the editor as it is now and
    // that request is answered (or still in flight, or ran out of time):
    // then a tick asks nothing.
    EditorMemo<Request> copy;
    quint64 copyId = 0;
    EditorMemo<Request> asked;
    QPointer<Parser> answeredParser;
    int answeredKey = 0;
    // The editor whose tree the view shows or merges, and its file.
    QPointer<Editor> mergingEditor;
    QString mergingFile;
    Node* rootNode = nullptr;
    // The parser that owns rootNode (the panel holds the tree there) and the
    // tree's generation: a new tree is told from the one shown by these.
    QPointer<Parser> rootParser;
    quint64 rootGeneration = 0;

    // The key of an editor's text at a change count, so that an unchanged
    // text is not read and hashed again.
    EditorMemo<int> key;
    // The line table of an editor's text at a change count, so that moving
    // to a symbol neither copies nor scans the whole text on every press.
    EditorMemo<std::optional<Parser::LineEnds>> lines;

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
    // The lines of a big text taken so far, and the worker that joins and
    // hashes them, one text at a time.
    QList<QString> snapshot;
    QTimer* copyTimer = nullptr;
    QThreadPool copier;
    // Started by every cursor move of the current editor (typing moves it):
    // asks once it has rested.
    QTimer* quietTimer = nullptr;
    QPointer<Editor> watchedEditor;

    bool isCurrent(Editor* editor, qint64 count, const QString& fileName, Parser* parser) const
    {
        if (!asked.holds(editor, count) || !asked.value.isFor(fileName, parser))
            return false;
        const int k = asked.value.key;
        return parser->inFlight(k, fileName) || parser->timedOut(k, fileName) ||
               (answeredParser == parser && answeredKey == k);
    }

    // The key of the editor's text when known without reading the text: a
    // big text is not copied again for a tree that would be dropped anyway
    // when the editor changed since its request (a text changed and changed
    // back is asked for anew, a cache hit).
    std::optional<int> currentKey(Editor* editor)
    {
        const qint64 count = editor->changeCount();
        if (key.holds(editor, count))
            return key.value;
        if (count >= 0 && editor->lineCount() > kKeyLines)
            return std::nullopt;
        const int k = Parser::calculateKey(editor->text());
        if (count >= 0)
            key.remember(editor, count, k);
        return k;
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

    const Parser::LineEnds& linesOf(Editor* editor)
    {
        const qint64 count = editor->changeCount();
        if (!lines.holds(editor, count) || !lines.value) {
            lines.remember(editor, count, Parser::LineEnds(editor->lineCount(), [editor](int l) {
                               return editor->line(l);
                           }));
        }
        return *lines.value;
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

    d->copier.setMaxThreadCount(1);
    d->copyTimer = new QTimer(this);
    d->copyTimer->setSingleShot(true);
    connect(d->copyTimer, &QTimer::timeout, this, &TagsPanel::copySlice);
    d->quietTimer = new QTimer(this);
    d->quietTimer->setSingleShot(true);
    d->quietTimer->setInterval(kQuietMs);
    connect(d->quietTimer, &QTimer::timeout, this, &TagsPanel::reparse);
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
    d->copier.waitForDone();
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
    if (editor != d->watchedEditor) {
        if (d->watchedEditor)
            d->watchedEditor->disconnect(d->quietTimer);
        d->watchedEditor = editor;
        if (editor) {
            connect(editor, &Editor::lineColChanged, d->quietTimer,
                    static_cast<void (QTimer::*)()>(&QTimer::start));
        }
    }
    const QString fileName = editor ? editor->filename() : QString();
    Parser* parser = editor ? parserFor(fileName) : nullptr;
    if (!parser) {
        d->say(QString());
        return;
    }
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
    // asked for then is shown already or still on its way. A request that
    // ended without a tree (ctags failed) is made again; one that ran out of
    // time waits for the text to change.
    const qint64 count = editor->changeCount();
    if (d->isCurrent(editor, count, fileName, parser)) {
        // What the tree's re-delivery would do: divide the height anew.
        showFilesList(!d->editorList->isHidden());
        return;
    }
    if (d->copy.holds(editor, count) && d->copy.value.isFor(fileName, parser))
        return; // its copy is under way
    const bool big = count >= 0 && editor->lineCount() > kKeyLines;
    // A big text being typed into is asked for once typing rests (the quiet
    // timer): its tree would be dropped on arrival anyway, and the window
    // would pay for its copies.
    if (big && d->quietTimer->isActive())
        return;
    // The tree of an editor that has one shown stays while it is refreshed;
    // the first tree of an editor's text may take ctags seconds.
    d->say(d->mergingEditor == editor && d->rootNode ? QString() : makingText(fileName));
    d->copy.remember(editor, count, {fileName, parser, 0});
    ++d->copyId;
    d->snapshot = {};
    if (!big) {
        // A small text (or one of an editor without a change count, which
        // cannot tell a change) in one go, before this returns. Few lines
        // may still be long ones.
        try {
            const QString text = editor->text();
            copied(d->copyId, text, Parser::digest(text));
        } catch (const std::bad_alloc&) {
            d->copy.forget();
            d->say(tr("Not enough memory to copy the text for ctags."));
        }
        return;
    }
    d->snapshot.reserve(editor->lineCount());
    copySlice();
}

void TagsPanel::copySlice()
{
    Editor* editor = d->copy.editor;
    if (!editor || editor != Editors::self()->current() || !d->copy.value.parser ||
        editor->changeCount() != d->copy.count) {
        // The editor went, another became current or typing went on: it
        // asks anew once typing rests.
        d->copy.forget();
        d->snapshot = {};
        return;
    }
    // The lines are shared with the document, a block at a time (an edit
    // later changes a copy of its own), and joined and hashed on a worker,
    // so that no turn of the event loop is long.
    QElapsedTimer t;
    t.start();
    const int lineCount = editor->lineCount();
    while (d->snapshot.size() < lineCount) {
        d->snapshot.append(editor->lines(int(d->snapshot.size()), kSnapshotBlock));
        if (d->snapshot.size() < lineCount && t.elapsed() >= kCopySliceMs) {
            d->copyTimer->start(0);
            return;
        }
    }
    const quint64 id = d->copyId;
    d->copier.start([this, id, lines = std::exchange(d->snapshot, {})]() mutable {
        try {
            qsizetype length = lines.size() > 0 ? lines.size() - 1 : 0;
            for (const QString& l : std::as_const(lines))
                length += l.size();
            QString text;
            text.reserve(length);
            for (qsizetype i = 0; i < lines.size(); ++i) {
                if (i > 0)
                    text += QLatin1Char('\n');
                text += lines.at(i);
            }
            lines = {};
            const QByteArray digest = Parser::digest(text);
            QMetaObject::invokeMethod(
                this, [this, id, text, digest] { copied(id, text, digest); }, Qt::QueuedConnection);
        } catch (const std::bad_alloc&) {
            // A text too large for the memory left (the joined copy takes its
            // size again): no tree for it, and the program goes on.
            QMetaObject::invokeMethod(
                this,
                [this, id] {
                    if (id != d->copyId || !d->copy.editor)
                        return;
                    d->copy.forget();
                    d->say(tr("Not enough memory to copy the text for ctags."));
                },
                Qt::QueuedConnection);
        }
    });
}

void TagsPanel::copied(quint64 id, const QString& text, const QByteArray& digest)
{
    if (id != d->copyId || !d->copy.editor)
        return; // a newer copy was started, or the editor went
    const EditorMemo<Request> done = std::exchange(d->copy, {});
    Editor* editor = done.editor;
    Parser* parser = done.value.parser;
    if (editor != Editors::self()->current() || !parser)
        return; // the editor went or another became current: it asks anew
    // The copy is the editor's text at its change count, also when the
    // editor has changed since: its tree may still come and be dropped, but
    // the copy is not thrown away.
    int key = parser->parse(text, done.value.fileName, digest);
    // A parse that could not start gives 0; the text has a key all the same.
    if (key == 0 && !text.isEmpty())
        key = Parser::keyOf(digest);
    d->asked.remember(editor, done.count, {done.value.fileName, parser, key});
    if (parser->timedOut(key, done.value.fileName))
        d->say(noAnswerText());
    else if (!parser->inFlight(key, done.value.fileName))
        d->say(QString()); // nothing comes: the parser could not start
    if (done.count >= 0)
        d->key.remember(editor, done.count, key);
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

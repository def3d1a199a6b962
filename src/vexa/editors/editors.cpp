#include "vexa/editors/editors.h"

#include "vexa/actions.h"
#include "vexa/editors/editor.h"
#include "vexa/editors/openfiles.h"
#include "vexa/editors/xqeditor/xqeditor.h"
#include "vexa/filetype.h"
#include "vexa/message.h"
#include "vexa/recentfiles.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/utils.h"
#include "vexa/widgets/widgetstack.h"

#include "xqwidgets/qtundo/qtundo.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHash>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace vexa
{

namespace
{
std::function<bool(QFileDialog&)>& fileDialogRunner()
{
    static std::function<bool(QFileDialog&)> runner;
    return runner;
}
} // namespace

void Editors::setFileDialogRunner(std::function<bool(QFileDialog&)> runner)
{
    fileDialogRunner() = std::move(runner);
}

bool Editors::runFileDialog(QFileDialog& dialog)
{
    // A copy: the runner may replace itself while it runs.
    const std::function<bool(QFileDialog&)> runner = fileDialogRunner();
    return runner ? runner(dialog) : dialog.exec() == QDialog::Accepted;
}

class Editors::Private
{
public:
    static Editors* self;

    // Whether an editor holds the focus, which the text commands follow;
    // until some panel first reports the focus they keep their state, apart
    // from Undo and Redo, which show whether there is anything to undo.
    bool focused = false;
    bool focusKnown = false;
    QHash<QString, EditorFactory*> factories;
    EditorFactory* currentFactory = nullptr;
    // Editors are children of the workspace: one destroyed with the window
    // must not stay behind as a dangling pointer.
    QList<QPointer<Editor>> list;
    QPointer<Editor> currentEditor;
    QMenu* editorsPopup = nullptr;
    QString lastOpenSaveDir;
    QPointer<QFrame> closeButtonFrame;
    // While editors are being deleted, the workspace showing another page is
    // no request to make that page current: the manager picks it itself.
    bool deleting = false;

    QList<Editor*> editors() const
    {
        QList<Editor*> result;
        for (const QPointer<Editor>& e : list)
            if (e)
                result.append(e);
        return result;
    }

    static QString subName(const QString& path, int n)
    {
        int pos = path.length();
        for (int i = 0; i < n; ++i) {
            pos = pos > 0 ? path.lastIndexOf(QLatin1Char('/'), pos - 1) : -1;
            if (pos < 0)
                return path;
            if (pos == 0)
                return path.mid(1);
        }
        return path.mid(pos + 1);
    }

    // The extension the Save As filter asks for, by its first letter.
    static QString filterExtension(const QString& filter)
    {
        switch (filter.isEmpty() ? 0 : filter.at(0).unicode()) {
        case 'P':
            return QStringLiteral(".py");
        case 'F':
            return QStringLiteral(".vexa");
        case 'U':
            return QStringLiteral(".ui");
        case 'T':
            return QStringLiteral(".txt");
        default:
            return QString();
        }
    }

    static void saveFailed(Editor* e, const QString& path)
    {
        QString reason = e->errorString();
        if (reason.isEmpty())
            reason = tr("The file could not be written.");
        Message::warning(tr("Error"), tr("Can not save file\n%1\n%2").arg(path, reason), tr("Ok"));
    }

    // Before a save over a file that another program has changed since the
    // editor read or wrote it: whether the user lets it be overwritten.
    // The editor asked about is shown while asked.
    bool mayOverwrite(Editor* e)
    {
        if (!e->isModified() || !e->changedOnDisk())
            return true;
        self->setCurrentEditor(e);
        const int answer = Message::warning(
            tr("Warning"), tr("The file has changed on disk since it was opened. Overwrite it?"),
            QMessageBox::Yes, QMessageBox::No | QMessageBox::Default | QMessageBox::Escape);
        return answer == QMessageBox::Yes;
    }

    static QString tr(const char* s) { return Editors::tr(s); }
};

Editors* Editors::Private::self = nullptr;

static const char* const fileFilters =
    "Any files (*);;Ch files (*.ch *.chf *.chs *.h *.hpp *.c *.cc *.cpp);;"
    "C/C++ files (*.h *.hpp *.c *.cc *.cpp);;Python files (*.py);;Project files (*.vexa);;"
    "UI files (*.ui);;Text files (*.txt)";

static const char* const saveFilters =
    "Any files (*);;Ch files (*.ch *.chf *.chs *.h *.hpp *.c *.cc *.cpp);;"
    "C/C++ files (*.h *.hpp *.c *.cc *.cpp);;Python files (*.py);;Files of project (*.vexa);;"
    "User-Interface files (*.ui);;Text files (*.txt)";

// The commands that work on the text, enabled only while an editor has focus.
static const char* const focusBound[] = {
    "Editors/undo",         "Editors/redo",          "Editors/cut",           "Editors/copy",
    "Editors/paste",        "Editors/selectAll",     "Editors/indent",        "Editors/unindent",
    "Editors/wrap",         "Editors/complete_next", "Editors/complete_prev", "Editors/prev",
    "Editors/next",         "Editors/toolbar/undo",  "Editors/toolbar/redo",  "Editors/toolbar/cut",
    "Editors/toolbar/copy", "Editors/toolbar/paste",
};

Editors* Editors::self()
{
    if (!Private::self)
        new Editors();
    return Private::self;
}

Editors::Editors() : QObject(nullptr), d(new Private)
{
    setObjectName(QStringLiteral("vexa::Editors"));
    Private::self = this;
    installEditorFactory(new XQEditorFactory);
    Shell* shell = Shell::self();

    connect(this, &Editors::gotFocus, shell, &Shell::focusIn);
    connect(shell, &Shell::focusChanged, this, &Editors::focusChanged);
    // Undo and Redo are offered only when there is something to undo or redo.
    connect(QtUndoManager::manager(), &QtUndoManager::changed, this, &Editors::updateEditActions);
    // A file that cannot be written back opens read-only in the editor
    // that already has the focus.
    connect(this, &Editors::fileLoaded, this, &Editors::updateEditActions);
    connect(shell, &Shell::uiRebuilded, this, &Editors::addCloseButton);
    // Ahead of every other receiver, so the reopened files are recorded
    // before the recent menus attach; a later assembly reopens nothing.
    connect(shell, &Shell::uiRebuilded, this, &Editors::loadSessionFiles, Qt::SingleShotConnection);
    connect(shell, &Shell::uiRebuilded, this, &Editors::loadSession, Qt::SingleShotConnection);
    // The manager serves one main window; it goes when that window goes, so a
    // new window (a new run in the same process) gets a manager of its own.
    connect(shell, &QObject::destroyed, this, [this]() { delete this; });

    Action* toEditor =
        Actions::createAction(tr("Show Editor"), QStringLiteral("Editors/toEditor"), QKeySequence(),
                              this, SLOT(toEditor()), QStringLiteral("22x22_ToEditor"),
                              shell->actionGroup(QStringLiteral("stackButtons")));
    toEditor->addTo(shell->stackButtons());
    if (!toEditor->toolbuttons.isEmpty()) {
        QToolButton* button = toEditor->toolbuttons.first();
        d->editorsPopup = new QMenu(button);
        button->setMenu(d->editorsPopup);
        button->setPopupMode(QToolButton::MenuButtonPopup);
        button->setMinimumWidth(36);
        connect(d->editorsPopup, &QMenu::aboutToShow, this, &Editors::updateEditorsPopup);
        connect(button, &QToolButton::clicked, this, &Editors::showEditorsPopupMenu);
    }
    connect(shell->workspace(), &WidgetStack::aboutToShow, this, &Editors::workspaceWidgetRaised);

    initActions();
    newEditor();
    updateEditActions();
}

Editors::~Editors()
{
    qDeleteAll(d->factories);
    if (Private::self == this)
        Private::self = nullptr;
    delete d;
}

void Editors::initActions()
{
    Shell* shell = Shell::self();
    struct Def {
        const char* text;
        const char* name;
        QKeySequence accel;
        const char* icon;
        const char* slot;
    };
    const Def defs[] = {
        {"&New", "Editors/new", QKeySequence(Qt::ALT | Qt::Key_N), "16x16_New", SLOT(newEditor())},
        {"New", "Editors/toolbar/new", QKeySequence(), "22x22_New", SLOT(newEditor())},
        {"&Open", "Editors/open", QKeySequence(Qt::CTRL | Qt::Key_O), "16x16_Open", SLOT(open())},
        {"Open", "Editors/toolbar/open", QKeySequence(), "22x22_Open", SLOT(open())},
        {"&Close", "Editors/close", QKeySequence(Qt::CTRL | Qt::Key_W), nullptr, SLOT(close())},
        {"&Save", "Editors/save", QKeySequence(Qt::CTRL | Qt::Key_S), "16x16_Save", SLOT(save())},
        {"Save", "Editors/toolbar/save", QKeySequence(), "22x22_Save", SLOT(save())},
        {"Save &as...", "Editors/saveAs", QKeySequence(), nullptr, SLOT(saveAs())},
        {"Save a&ll", "Editors/saveAll", QKeySequence(), nullptr, SLOT(saveAll())},
        {"&Undo", "Editors/undo", QKeySequence(Qt::CTRL | Qt::Key_Z), "16x16_Undo", SLOT(undo())},
        {"&Redo", "Editors/redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), "16x16_Redo",
         SLOT(redo())},
        {"Undo", "Editors/toolbar/undo", QKeySequence(), "22x22_Undo", SLOT(undo())},
        {"Redo", "Editors/toolbar/redo", QKeySequence(), "22x22_Redo", SLOT(redo())},
        {"Cu&t", "Editors/cut", QKeySequence(Qt::CTRL | Qt::Key_X), "16x16_Cut", SLOT(cut())},
        {"&Copy", "Editors/copy", QKeySequence(Qt::CTRL | Qt::Key_C), "16x16_Copy", SLOT(copy())},
        {"&Paste", "Editors/paste", QKeySequence(Qt::CTRL | Qt::Key_V), "16x16_Paste",
         SLOT(paste())},
        {"Cut", "Editors/toolbar/cut", QKeySequence(), "22x22_Cut", SLOT(cut())},
        {"Copy", "Editors/toolbar/copy", QKeySequence(), "22x22_Copy", SLOT(copy())},
        {"Paste", "Editors/toolbar/paste", QKeySequence(), "22x22_Paste", SLOT(paste())},
        {"&Select All", "Editors/selectAll", QKeySequence(Qt::CTRL | Qt::Key_A), nullptr,
         SLOT(selectAll())},
        {"&Indent", "Editors/indent", QKeySequence(Qt::CTRL | Qt::Key_I), "16x16_Indent",
         SLOT(indent())},
        {"U&nindent", "Editors/unindent", QKeySequence(Qt::CTRL | Qt::Key_U), "16x16_Unindent",
         SLOT(unindent())},
        {"&Word wrap", "Editors/wrap", QKeySequence(Qt::Key_F2), nullptr, SLOT(wrap())},
        {"Next completion", "Editors/complete_next", QKeySequence(Qt::CTRL | Qt::Key_N), nullptr,
         SLOT(completeWordNext())},
        {"Prev completion", "Editors/complete_prev", QKeySequence(Qt::CTRL | Qt::Key_P), nullptr,
         SLOT(completeWordPrev())},
        {"P&rev Editor", "Editors/prev", QKeySequence(Qt::ALT | Qt::Key_Left), nullptr,
         SLOT(prevEditor())},
        {"N&ext Editor", "Editors/next", QKeySequence(Qt::ALT | Qt::Key_Right), nullptr,
         SLOT(nextEditor())},
        {"Configure &editor", "Editors/configure", QKeySequence(), "16x16_EditorSetup",
         SLOT(configure())},
        {"Configure &highlighting", "Editors/configure_hl", QKeySequence(), nullptr,
         SLOT(configureHighlighting())},
        {"&Editor window", "Editors/focus", QKeySequence(Qt::CTRL | Qt::Key_E), nullptr,
         SLOT(setFocus())},
    };
    for (const Def& def : defs)
        Actions::createAction(tr(def.text), QLatin1String(def.name), def.accel, this, def.slot,
                              QLatin1String(def.icon));
    if (Action* a = Actions::action(QStringLiteral("Editors/toolbar/open")))
        a->setUsesTextLabel(true);

    auto group = [shell](const char* path) { return shell->actionGroup(QLatin1String(path)); };
    group("menu/File/New")->add(QStringLiteral("Editors/new"));
    group("toolbar/File/New")->add(QStringLiteral("Editors/toolbar/new"));
    group("menu/File/Open")->add(QStringLiteral("Editors/open"));
    group("toolbar/File/Open")->add(QStringLiteral("Editors/toolbar/open"));
    ActionGroup* g = group("menu/File/Close");
    g->addSeparator();
    g->add(QStringLiteral("Editors/close"));
    g = group("menu/File/Save");
    g->addSeparator();
    for (const char* n : {"Editors/save", "Editors/saveAs", "Editors/saveAll"})
        g->add(QLatin1String(n));
    group("toolbar/File/Save")->add(QStringLiteral("Editors/toolbar/save"));
    g = group("menu/Edit/std");
    for (const char* n :
         {"Editors/undo", "Editors/redo", "-", "Editors/cut", "Editors/copy", "Editors/paste", "-",
          "Editors/selectAll", "-", "Editors/indent", "Editors/unindent", "Editors/wrap", "-",
          "Editors/complete_next", "Editors/complete_prev"}) {
        if (qstrcmp(n, "-") == 0)
            g->addSeparator();
        else
            g->add(QLatin1String(n));
    }
    g = group("menu/View/std");
    g->add(QStringLiteral("Editors/prev"));
    g->add(QStringLiteral("Editors/next"));
    g = group("toolbar/Edit");
    for (const char* n : {"Editors/toolbar/undo", "Editors/toolbar/redo", "-",
                          "Editors/toolbar/cut", "Editors/toolbar/copy", "Editors/toolbar/paste"}) {
        if (qstrcmp(n, "-") == 0)
            g->addSeparator();
        else
            g->add(QLatin1String(n));
    }
    g = group("menu/Options/std");
    g->add(QStringLiteral("Editors/configure"));
    g->add(QStringLiteral("Editors/configure_hl"));
    group("menu/Window/Docks")->add(QStringLiteral("Editors/focus"));
}

void Editors::installEditorFactory(EditorFactory* f)
{
    if (!f)
        return;
    d->currentFactory = f;
    EditorFactory* old = d->factories.value(f->name());
    d->factories.insert(f->name(), f);
    if (old && old != f)
        delete old;
}

Editor* Editors::current() const
{
    return d->currentEditor;
}

QList<Editor*> Editors::editors() const
{
    return d->editors();
}

bool Editors::replaceTabs()
{
    return current() ? current()->replaceTabs() : false;
}

int Editors::tabWidthInSpaces()
{
    return current() ? current()->tabWidthInSpaces() : 4;
}

void Editors::setFocus()
{
    if (current())
        current()->setFocus();
}

void Editors::setCurrentEditor(Editor* e)
{
    if (!e || e == d->currentEditor || !d->list.contains(e))
        return;
    d->currentEditor = e;
    Q_EMIT currentChanged(e);
    Q_EMIT editorChanged();
    setCaption();
    // The editor shown takes the keyboard focus, the first one too, which
    // the workspace shows already.
    WidgetStack* ws = Shell::self()->workspace();
    if (ws->visibleWidget() != e)
        ws->raiseWidget(e);
    e->setFocus();
    updateEditActions();
}

void Editors::editorFocusChanged(bool)
{
    if (current() && current()->hasFocus())
        Q_EMIT gotFocus();
}

void Editors::focusChanged(QObject* o)
{
    d->focused = o == this;
    d->focusKnown = true;
    updateEditActions();
}

void Editors::updateEditActions()
{
    const bool mine = d->focused || !d->focusKnown;
    // A read-only document (bytes the encoding cannot decode) must not
    // change: the commands that would change it are off while it is shown.
    const bool editable = !current() || !current()->isReadOnly();
    const bool canUndo = d->focused && editable && QtUndoManager::manager()->canUndo();
    const bool canRedo = d->focused && editable && QtUndoManager::manager()->canRedo();
    static const QByteArrayList changing = {"cut",      "paste",         "indent",
                                            "unindent", "complete_next", "complete_prev"};
    for (const char* name : focusBound) {
        Action* a = Actions::action(QLatin1String(name));
        if (!a)
            continue;
        const QByteArray n(name);
        const QByteArray command = n.mid(n.lastIndexOf('/') + 1);
        if (command == "undo")
            a->setEnabled(canUndo);
        else if (command == "redo")
            a->setEnabled(canRedo);
        else if (changing.contains(command))
            a->setEnabled(mine && editable);
        else
            a->setEnabled(mine);
    }
}

void Editors::loadSession()
{
    QTimer::singleShot(1, this, &Editors::loadSessionCurrent);
}

void Editors::loadSessionFiles()
{
    OpenFiles::loadFiles();
}

void Editors::loadSessionCurrent()
{
    OpenFiles::loadCurrent();
}

void Editors::addCloseButton()
{
    if (d->closeButtonFrame)
        return;
    Shell* shell = Shell::self();
    auto* frame = new QFrame(shell);
    auto* layout = new QHBoxLayout(frame);
    const int m = frame->frameWidth();
    layout->setContentsMargins(m, m, m, m);
    layout->setSpacing(0);
    auto* button = new QToolButton(frame);
    button->setObjectName(QStringLiteral("close"));
    button->setToolTip(tr("Close"));
    button->setFocusPolicy(Qt::NoFocus);
    button->setIcon(shell->style()->standardIcon(QStyle::SP_TitleBarCloseButton, nullptr, shell));
    button->setFixedSize(16, 14);
    button->setAutoRaise(true);
    connect(button, &QToolButton::clicked, this, qOverload<>(&Editors::close));
    layout->addWidget(button);
    layout->addSpacing(4);
    frame->setFixedSize(frame->minimumSizeHint());
    // The corner of the menu bar is where Qt 6 keeps a widget after the menus.
    shell->menuBar()->setCornerWidget(frame, Qt::TopRightCorner);
    frame->show();
    d->closeButtonFrame = frame;
}

void Editors::setCaption()
{
    Editor* e = current();
    if (!e)
        return;
    const QString path = e->filename();
    const QString sep = QDir::separator();
    QStringList parts = path.split(sep);
    QString caption;
    if (parts.size() <= 1) {
        caption = path;
    } else {
        const QString name = parts.takeLast();
        QString folder = parts.join(sep) + sep;
        // Only a whole leading home folder becomes "~": /home/al is no
        // prefix of /home/alice/.
        QString home = QDir::homePath();
        if (!home.endsWith(sep))
            home += sep;
        if (folder.startsWith(home))
            folder = QStringLiteral("~") + sep + folder.mid(home.length());
        caption =
            name + QStringLiteral(" : ") + folder + QStringLiteral(" - ") + Settings::appName();
    }
    Shell* shell = Shell::self();
    shell->setWindowTitle(caption);
    shell->statusMessage(QStringLiteral("default"), path);
    editorLineColChanged(e->cursorLine(), e->cursorColumn());
}

void Editors::newEditor()
{
    if (!d->currentFactory) {
        qDebug("no editors selected");
        return;
    }
    WidgetStack* ws = Shell::self()->workspace();
    Editor* e = d->currentFactory->createEditor(ws);
    if (!e)
        return;
    ws->addWidget(e);
    d->list.append(e);
    d->currentEditor = e;

    connect(e, &Editor::filenameChanged, this, &Editors::updateTabNames);
    // The caption names the current editor's file from the moment it has one.
    connect(e, &Editor::filenameChanged, this, [this, e]() {
        if (e == current())
            setCaption();
    });
    connect(e, &Editor::focusChanged, this, &Editors::editorFocusChanged);
    connect(e, &Editor::closing, this, &Editors::closeEditor);
    connect(e, &Editor::fileLoaded, this, &Editors::fileLoaded);
    connect(e, &Editor::modificationStatusChanged, this, &Editors::modifiedEditor);
    connect(e, &Editor::lineColChanged, this, &Editors::editorLineColChanged);
    connect(e, &Editor::overwriteModeChanged, this, &Editors::editorOverwriteModeChanged);

    updateTabNames();
    d->currentEditor = nullptr;
    setCurrentEditor(e);
    editorFocusChanged(true);
}

void Editors::open()
{
    if (d->lastOpenSaveDir.isEmpty())
        d->lastOpenSaveDir = QStringLiteral(".");
    // A dialog object rather than the static call, which cannot show the
    // icons of the file types.
    QFileDialog dlg(Shell::self(), tr("Choose files"), d->lastOpenSaveDir,
                    QLatin1String(fileFilters));
    dlg.setFileMode(QFileDialog::ExistingFiles);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setIconProvider(FileTypeManager::self()->fileIconProvider());
    const QStringList files = runFileDialog(dlg) ? dlg.selectedFiles() : QStringList();
    for (const QString& f : files) {
        FileTypeManager::openFile(f);
        d->lastOpenSaveDir = QFileInfo(f).path();
    }
}

bool Editors::open(const QString& url)
{
    if (url.isEmpty())
        return false;
    // Editors report absolute, clean paths; a name given relative to the
    // working folder must find the editor that already holds the file.
    const QString path = QDir::cleanPath(QFileInfo(url).absoluteFilePath());
    for (Editor* e : d->editors()) {
        if (e->filename() == path) {
            setCurrentEditor(e);
            return true;
        }
    }
    Editor* before = current();
    Editor* target = before;
    if (!before || !before->filename().isEmpty() || !before->text().isEmpty()) {
        newEditor();
        target = current();
        if (target == before)
            return false;
    }
    if (!target)
        return false;
    if (target->open(path)) {
        // Only a file that opened is recorded: a recent entry that no longer
        // opens does not move to the front.
        RecentFiles::self()->addRecent(path);
        return true;
    }
    // The editor said why; an editor made for this file goes again, and a
    // reused one keeps its former (empty) name.
    if (target != before) {
        discard(target);
        if (before)
            setCurrentEditor(before);
    }
    return false;
}

Editor* Editors::openEditor(const QString& file)
{
    // A folder or a device is no file to edit.
    const QFileInfo info(file);
    if (file.isEmpty() || !info.isFile() || !open(info.absoluteFilePath()))
        return nullptr;
    // Only the editor that now holds the file counts; a file that failed to
    // load leaves the current editor as it was.
    Editor* e = current();
    return e && QFileInfo(e->filename()) == info ? e : nullptr;
}

bool Editors::save()
{
    Editor* e = current();
    return e && saveEditor(e);
}

bool Editors::refusedReadOnly(Editor* e)
{
    if (!e->isReadOnly())
        return false;
    Shell::self()->statusMessage(
        QStringLiteral("default"),
        tr("%1 is read-only: not saved").arg(e->hasFileName() ? e->filename() : tr("Untitled")));
    return true;
}

bool Editors::saveEditor(Editor* e)
{
    if (refusedReadOnly(e))
        return false;
    if (e->filename().isEmpty())
        return saveEditorAs(e);
    // Declined: the text stays in the editor, the file as it is.
    if (!d->mayOverwrite(e))
        return false;
    const bool ok = e->save();
    if (!ok)
        Private::saveFailed(e, e->filename());
    Q_EMIT fileSaved();
    return ok;
}

bool Editors::saveAs()
{
    Editor* e = current();
    return e && saveEditorAs(e);
}

bool Editors::saveEditorAs(Editor* e)
{
    // The dialog belongs to the editor shown.
    setCurrentEditor(e);
    if (refusedReadOnly(e))
        return false;
    if (d->lastOpenSaveDir.isEmpty())
        d->lastOpenSaveDir = QStringLiteral(".");
    const QString dir = e->hasFileName() ? QFileInfo(e->filename()).path() : d->lastOpenSaveDir;
    QFileDialog dlg(Shell::self(), tr("Save As"), dir, QLatin1String(saveFilters));
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    // The replace question is the manager's own, asked once below.
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setIconProvider(FileTypeManager::self()->fileIconProvider());
    if (!runFileDialog(dlg) || dlg.selectedFiles().isEmpty())
        return false;
    QString name = dlg.selectedFiles().constFirst();
    if (name.isEmpty())
        return false;
    const QString ext = Private::filterExtension(dlg.selectedNameFilter());
    if (!ext.isEmpty() && !name.endsWith(ext))
        name += ext;
    if (QFileInfo::exists(name)) {
        const int answer = Message::warning(
            tr("Warning"),
            tr("The file\n%1\nalready exists! Would you like to replace it?").arg(name),
            QMessageBox::Yes, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return false;
    }
    const bool ok = saveEditorAs(e, name);
    d->lastOpenSaveDir = QFileInfo(name).path();
    return ok;
}

bool Editors::saveAs(const QString& name)
{
    Editor* e = current();
    return e && saveEditorAs(e, name);
}

bool Editors::saveEditorAs(Editor* e, const QString& name)
{
    if (refusedReadOnly(e))
        return false;
    QString n = name;
    if (n.startsWith(QLatin1String("file:")))
        n = n.mid(5);
    const bool ok = e->saveAs(n);
    if (!ok)
        Private::saveFailed(e, QFileInfo(n).absoluteFilePath());
    Q_EMIT fileSaved();
    return ok;
}

void Editors::saveAll()
{
    for (Editor* e : d->editors()) {
        if (!e->isModified())
            continue;
        if (e->filename().isEmpty()) {
            setCurrentEditor(e);
            saveEditorAs(e);
        } else if (d->mayOverwrite(e) && !e->save()) {
            Private::saveFailed(e, e->filename());
        }
    }
}

void Editors::close()
{
    close(current());
}

bool Editors::close(Editor* e)
{
    if (!e || !d->list.contains(e))
        return false;
    Editor* formerCurrent = current();
    if (e->isModified()) {
        // The question and the save are about `e`, which is shown while asked.
        setCurrentEditor(e);
        const int answer = Message::warning(
            tr("Warning"),
            tr("The current document has been modified.\nWould you like to save it?"),
            QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel);
        // A save that failed or whose dialog was cancelled keeps the editor.
        if (answer == QMessageBox::Cancel || answer == 0 ||
            (answer == QMessageBox::Yes && !saveEditor(e))) {
            setCurrentEditor(formerCurrent);
            return false;
        }
    }
    const QList<Editor*> before = d->editors();
    int index = before.indexOf(e);
    if (index > 0)
        --index;
    discard(e);
    const QList<Editor*> list = d->editors();
    if (formerCurrent && formerCurrent != e && list.contains(formerCurrent))
        setCurrentEditor(formerCurrent);
    else if (!list.isEmpty())
        setCurrentEditor(index > 0 && index < list.size() ? list.at(index) : list.first());
    return true;
}

void Editors::discard(Editor* e)
{
    d->list.removeAll(e);
    if (d->currentEditor == e)
        d->currentEditor = nullptr;
    if (d->editors().isEmpty())
        newEditor();
    else
        Q_EMIT listChanged();
    d->deleting = true;
    delete e;
    d->deleting = false;
}

void Editors::closeEditor()
{
    if (auto* e = qobject_cast<Editor*>(sender()))
        close(e);
}

bool Editors::closeAll()
{
    QStringList files;
    QStringList poses;
    for (Editor* e : d->editors()) {
        if (e->isModified()) {
            setCurrentEditor(e);
            const int answer =
                Message::warning(tr("Warning"),
                                 tr("The file\n%1\nhas been modified.\nWould you like to save it?")
                                     .arg(e->filename()),
                                 QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel);
            // Leaving the program with text that did not reach its file is
            // no option: a failed or cancelled save cancels the exit.
            if (answer == QMessageBox::Cancel || answer == 0 ||
                (answer == QMessageBox::Yes && !saveEditor(e)))
                return false;
        }
        files.append(e->filename());
        poses.append(QString::number(e->cursorLine()) + QLatin1Char(':') +
                     QString::number(e->cursorColumn()));
    }
    Settings::write(QStringLiteral("/editors/openedCurrent"),
                    current() ? current()->filename() : QString());

    // The list and the current editor forget every editor before the first
    // one goes, so nothing can reach a deleted editor through the manager.
    const QList<Editor*> list = d->editors();
    d->list.clear();
    d->currentEditor = nullptr;
    d->deleting = true;
    qDeleteAll(list);
    d->deleting = false;
    Q_EMIT listChanged();

    Settings::write(QStringLiteral("/editors/openedFiles"), files);
    Settings::write(QStringLiteral("/editors/openedFilePoses"), poses);
    return true;
}

void Editors::undo()
{
    if (current())
        current()->undo();
}

void Editors::redo()
{
    if (current())
        current()->redo();
}

void Editors::cut()
{
    if (current())
        current()->cut();
}

void Editors::copy()
{
    if (current())
        current()->copy();
}

void Editors::paste()
{
    if (current())
        current()->paste();
}

bool Editors::find(const QString& text, bool caseSensitive, bool wholeWord, bool fromCursor,
                   bool inSelection)
{
    return current() && current()->find(text, caseSensitive, wholeWord, fromCursor, inSelection);
}

bool Editors::findRegexp(const QString& pattern, bool caseSensitive, bool wildcard, bool fromCursor)
{
    return current() && current()->findRegexp(pattern, caseSensitive, wildcard, fromCursor);
}

void Editors::replaceFound(const QString& text)
{
    if (current())
        current()->replaceFound(text);
}

void Editors::setWrap(bool b)
{
    if (current())
        current()->setWrap(b);
}

bool Editors::getWrap()
{
    return current() && current()->getWrap();
}

void Editors::selectAll()
{
    if (current())
        current()->selectAll();
}

void Editors::indent()
{
    if (current())
        current()->indent();
}

void Editors::unindent()
{
    if (current())
        current()->unindent();
}

void Editors::completeWordNext()
{
    if (current())
        current()->completeWordNext();
}

void Editors::completeWordPrev()
{
    if (current())
        current()->completeWordPrev();
}

void Editors::nextEditor()
{
    const QList<Editor*> list = d->editors();
    const int i = list.indexOf(current());
    if (i < 0)
        return;
    setCurrentEditor(i + 1 < list.size() ? list.at(i + 1) : list.first());
}

void Editors::prevEditor()
{
    const QList<Editor*> list = d->editors();
    const int i = list.indexOf(current());
    if (i < 0)
        return;
    setCurrentEditor(i > 0 ? list.at(i - 1) : list.last());
}

void Editors::changeEditorsOrder(Editor* ed1, Editor* ed2)
{
    static bool busy = false;
    if (busy)
        return;
    const int i = d->list.indexOf(ed1);
    const int j = d->list.indexOf(ed2);
    if (!ed1 || !ed2 || i < 0 || j < 0)
        return;
    d->list.swapItemsAt(i, j);
    busy = true;
    Q_EMIT listChanged();
    busy = false;
}

void Editors::configure()
{
    if (current())
        current()->configure();
}

void Editors::configureHighlighting()
{
    if (current())
        current()->configureHighlighting();
}

void Editors::toEditor() {}

void Editors::toEditor(bool) {}

void Editors::updateEditorsPopup()
{
    if (!d->editorsPopup)
        return;
    d->editorsPopup->clear();
    const QList<Editor*> list = d->editors();
    for (int i = 0; i < list.size(); ++i) {
        Editor* e = list.at(i);
        const QString name = e->filename().isEmpty() ? tr("Untitled") : e->filename();
        QAction* item = d->editorsPopup->addAction(name);
        connect(item, &QAction::triggered, this, [this, i]() { editorsPopupActivated(i); });
    }
}

void Editors::editorsPopupActivated(int id)
{
    const QList<Editor*> list = d->editors();
    if (id >= 0 && id < list.size())
        setCurrentEditor(list.at(id));
}

void Editors::editorLineColChanged(int line, int col)
{
    Shell::self()->statusMessage(QStringLiteral("line"), QString::number(line));
    Shell::self()->statusMessage(QStringLiteral("col"), QString::number(col));
}

void Editors::editorOverwriteModeChanged(bool overwrite)
{
    Shell::self()->statusMessage(QStringLiteral("insowr"),
                                 overwrite ? QStringLiteral("OWR") : QStringLiteral("INS"));
}

void Editors::updateTabNames()
{
    Q_EMIT listChanged();
    for (Editor* e : d->editors()) {
        const QString path = e->filename();
        const QString shortName = path.isEmpty() ? tr("Untitled") : Private::subName(path, 1);
        setCaption();
        e->setWindowTitle(shortName);
        e->setWindowIcon(FileTypeManager::self()->findType(shortName)->pixmap());
    }
}

void Editors::showEditorsPopupMenu()
{
    Action* a = Actions::action(QStringLiteral("Editors/toEditor"));
    if (a && !a->toolbuttons.isEmpty())
        a->toolbuttons.first()->showMenu();
}

void Editors::workspaceWidgetRaised(QWidget* w)
{
    if (d->deleting)
        return;
    if (!w)
        w = Shell::self()->workspace()->visibleWidget();
    if (auto* e = qobject_cast<Editor*>(w))
        setCurrentEditor(e);
}

void Editors::modifiedEditor(bool b)
{
    if (auto* e = qobject_cast<Editor*>(sender()))
        Q_EMIT editorModified(e, b);
}

void Editors::wrap()
{
    if (current())
        current()->setWrap(!current()->getWrap());
}

} // namespace vexa

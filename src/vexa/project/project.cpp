#include "vexa/project/project.h"

#include "vexa/actions.h"
#include "vexa/editors/editors.h"
#include "vexa/filetype.h"
#include "vexa/message.h"
#include "vexa/project/newprojectwizard.h"
#include "vexa/project/project_p.h"
#include "vexa/project/projectfile.h"
#include "vexa/project/recentprojects.h"
#include "vexa/recentfiles.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/utils.h"
#include "vexa/widgets/domlistview.h"
#include "vexa/widgets/widgetstack.h"

#include <QDir>
#include <QDomImplementation>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTextEdit>

namespace vexa
{

Project* Project::Private::self = nullptr;

Project* Project::self()
{
    if (!Private::self)
        new Project(Shell::self());
    return Private::self;
}

Project::Project(QObject* parent) : QObject(parent), d(new Private(this))
{
    Private::self = this;
    Shell* shell = Shell::self();

    if (FileType* t = FileTypeManager::self()->fileType(QStringLiteral("project")))
        t->installAssociacion(this, SLOT(load(QString)));

    d->domView = new DomListView(shell->leftDock(), "Project::domView");
    d->domView->setWindowIcon(Utils::icon(QStringLiteral("18x18_Project")));
    d->dockAction = shell->addLeftDockToggle(tr("Project"), QStringLiteral("leftDock/project"),
                                             QStringLiteral("22x22_Project"), this, true);
    shell->leftDock()->addWidget(d->domView);
    d->recentProjectsView = new RecentProjects(shell->leftDock(), "Project::recentProjects");
    shell->leftDock()->addWidget(d->recentProjectsView);

    const QString home = QDir::homePath();
    d->lastAddDir = Settings::read(QStringLiteral("/project/lastAddDir"), home);
    d->lastLoadDir = Settings::read(QStringLiteral("/project/lastLoadDir"), home);
    d->lastAddFilesDir = Settings::read(QStringLiteral("/project/lastAddFilesDir"), home);

    auto make = [this](const QString& text, const char* name, const char* slot,
                       const char* icon = nullptr) {
        return Actions::createAction(text, QLatin1String(name), QKeySequence(), this, slot,
                                     QLatin1String(icon));
    };
    Action* create = make(QStringLiteral("&New"), "Project/create", SLOT(create()));
    Action* open =
        make(QStringLiteral("&Open project"), "Project/open", SLOT(load()), "16x16_Open");
    Action* save =
        make(QStringLiteral("&Save project"), "Project/save", SLOT(save()), "16x16_Save");
    Action* close = make(QStringLiteral("&Close project"), "Project/close", SLOT(close()));
    Action* openFile = make(QStringLiteral("Open"), "Project/context/openfile", SLOT(openFile()));
    Action* deleteFile =
        make(QStringLiteral("Delete the file"), "Project/context/deletefile", SLOT(deleteFile()));
    Action* removeFile = make(QStringLiteral("Remove from project"), "Project/context/removefile",
                              SLOT(removeFile()));
    Action* removeFolder = make(QStringLiteral("Remove from project"),
                                "Project/context/removefolder", SLOT(removeFolder()));
    Action* focus = make(tr("&Project window"), "Project/focus", SLOT(makeVisible()));
    Action* addFiles =
        make(QStringLiteral("Add f&iles"), "Project/addfiles", SLOT(addFilesDialog()));
    Action* addFolder = make(QStringLiteral("Add f&older"), "Project/addfolder", SLOT(addFolder()));
    Action* addFilesTo =
        make(QStringLiteral("Add files"), "Project/addfilesto", SLOT(addFilesTo()));
    Action* addFolderTo =
        make(QStringLiteral("New Folder"), "Project/addfolderto", SLOT(addFolderTo()));

    // The groups in their order. "Add folder" is in no menu.
    shell->actionGroup(QStringLiteral("menu/Project/New"))->add(create);
    ActionGroup* std = shell->actionGroup(QStringLiteral("menu/Project/Std"));
    std->addSeparator();
    std->add(open);
    std->add(save);
    std->add(close);
    std->addSeparator();
    std->add(addFiles);
    Action* options = make(QStringLiteral("O&ptions"), "Project/options", SLOT(options()));
    ActionGroup* optionsGroup = shell->actionGroup(QStringLiteral("menu/Project/Options"));
    optionsGroup->addSeparator();
    optionsGroup->add(options);
    shell->actionGroup(QStringLiteral("menu/Window/Docks"))->add(focus);

    for (Action* a : {addFiles, addFolder, save, close, options})
        connect(this, &Project::enabled, a, &QAction::setEnabled);

    auto group = [shell](const QString& path) { return shell->actionGroup(path); };
    ActionGroup* projectMenu = group(QStringLiteral("project/context/project"));
    ActionGroup* add = group(QStringLiteral("project/context/project/add"));
    add->add(addFolderTo);
    add->add(addFilesTo);
    ActionGroup* g = group(QStringLiteral("project/context/project/std"));
    g->addSeparator();
    g->add(options);
    group(QStringLiteral("project/context/project/plugin"));
    g = group(QStringLiteral("project/context/project/close"));
    g->addSeparator();
    g->add(save);
    g->add(close);
    ActionGroup* folderMenu = group(QStringLiteral("project/context/folder"));
    add = group(QStringLiteral("project/context/folder/add"));
    add->add(addFolderTo);
    add->add(addFilesTo);
    group(QStringLiteral("project/context/folder/plugin"));
    g = group(QStringLiteral("project/context/folder/close"));
    g->addSeparator();
    g->add(removeFolder);
    g->addSeparator();
    g->add(close);
    ActionGroup* fileMenu = group(QStringLiteral("project/context/file"));
    group(QStringLiteral("project/context/file/open"))->add(openFile);
    group(QStringLiteral("project/context/file/std"));
    group(QStringLiteral("project/context/file/plugin"));
    g = group(QStringLiteral("project/context/file/close"));
    g->addSeparator();
    g->add(removeFile);
    g->add(deleteFile);
    g->addSeparator();
    g->add(close);

    for (FileType* t : FileTypeManager::self()->fileTypes())
        installHelper(t->name(), t, fileMenu);
    installHelper(QStringLiteral("project"), Utils::icon(QStringLiteral("22x22_Project")),
                  projectMenu);
    installHelper(QStringLiteral("folder"), Utils::icon(QStringLiteral("18x18_Folder")),
                  folderMenu);
    d->domView->setListOrder(QStringLiteral("folder"), 0);
    if (FileType* ui = FileTypeManager::self()->fileType(QStringLiteral("uifile")))
        ui->addOption(QStringLiteral("container"), QStringLiteral("1"));

    connect(this, &Project::gotFocus, shell, &Shell::focusIn);
    connect(this, &Project::raised, shell, &Shell::raiseLeftDock);
    connect(shell, &Shell::leftDockRaised, this, &Project::makeVisible);
    // Opening may load another project, which empties this very tree: the
    // file opens once the tree's signal has returned.
    auto openCurrent = [this] {
        if (QTreeWidgetItem* i = d->domView->currentItem())
            d->open(static_cast<DomListViewItem*>(i)->node, true);
    };
    connect(d->domView, &DomListView::doubleClick, this, openCurrent);
    connect(d->domView, &DomListView::returnPressed, this, openCurrent);
    connect(d->domView, &QTreeWidget::itemSelectionChanged, this,
            &Project::selectionChangedInternal);
    connect(d->domView, &DomListView::setNodeOpen, this, &Project::setNodeOpen);

    // At start the editor keeps the keyboard focus.
    d->showRecents(false);
    Q_EMIT enabled(false);

    const QString opened = Settings::read(QStringLiteral("/project/openedProject"));
    if (!opened.isEmpty() && QFileInfo::exists(opened))
        load(opened);
}

Project::~Project()
{
    // The dock and its pages may be gone already; nothing of the window is
    // touched from here on, and nothing is asked: the orderly save ran on the
    // way out (saveAtExit()). This one is the silent last resort.
    d->domView = nullptr;
    d->recentProjectsView = nullptr;
    // A hosted widget never shown has no parent to take it along.
    if (!d->optionsDialog)
        delete d->optionsWidget;
    Settings::write(QStringLiteral("/project/openedProject"), d->filePath);
    if (hasProject()) {
        // A file another program has changed is kept as it is: the user
        // answered for it on the way out, and nobody can be asked here.
        if (!d->file->changedOnDisk(d->filePath)) {
            ProjectFile::strip(d->domRoot);
            d->file->write(d->dom, d->filePath, nullptr);
        }
        d->discard(false);
    }
    Settings::write(QStringLiteral("/project/lastAddDir"), d->lastAddDir);
    Settings::write(QStringLiteral("/project/lastLoadDir"), d->lastLoadDir);
    Settings::write(QStringLiteral("/project/lastAddFilesDir"), d->lastAddFilesDir);
    Settings::forceWrite();
    if (Private::self == this)
        Private::self = nullptr;
    delete d;
}

bool Project::saveAtExit()
{
    Project* p = Private::self;
    if (!p || !p->hasProject() || p->d->saveOwn() != Private::Saved::Failed)
        return true;
    if (!p->d->confirmDiscard())
        return false;
    p->d->discard(true);
    return true;
}

// ------------------------------------------------------------ Private

void Project::Private::showRecents(bool focus)
{
    if (!recentProjectsView)
        return;
    Shell::self()->leftDock()->raiseWidget(recentProjectsView);
    recentProjectsView->updateRecent();
    if (focus)
        recentProjectsView->setFocus();
}

void Project::Private::discard(bool announce)
{
    if (domView)
        domView->clear();
    filePath.clear();
    file = std::make_unique<ProjectFile>();
    dom = QDomDocument();
    domRoot = QDomElement();
    if (announce && domView) {
        Q_EMIT q->enabled(false);
        Q_EMIT q->projectChanged();
        Q_EMIT q->closed();
        showRecents(true);
    }
}

bool Project::Private::confirmDiscard() const
{
    return Message::warning(
               tr("Warning"),
               tr("The project file:\n'%1'\ncould not be saved.\nClose the project without saving?")
                   .arg(filePath),
               QMessageBox::Yes,
               QMessageBox::Cancel | QMessageBox::Default | QMessageBox::Escape) ==
           QMessageBox::Yes;
}

bool Project::Private::isOwnFile(const QString& path) const
{
    return !filePath.isEmpty() && (path == filePath || QFileInfo(path) == QFileInfo(filePath));
}

bool Project::Private::write(ProjectFile& to, const QString& target)
{
    if (domView)
        domView->clearSelection();
    if (ProjectFile::strip(domRoot) > 0 && domView)
        domView->syncToDom();
    Q_EMIT q->message(tr("Saving project file: ") + target);
    QString error;
    switch (to.write(dom, target, &error)) {
    case ProjectFile::CannotCreate:
        Message::information(tr("Error"), tr("Can't open file:\n'%1' for writing.").arg(target) +
                                              QLatin1Char('\n') + error);
        return false;
    case ProjectFile::CannotWrite:
        Message::information(tr("Error"),
                             tr("Can't write file:\n'%1'\nThe old file is kept.").arg(target) +
                                 QLatin1Char('\n') + error);
        return false;
    case ProjectFile::Written:
        break;
    }
    Q_EMIT q->saved();
    return true;
}

Project::Private::Saved Project::Private::saveOwn()
{
    // Only a file counts: a folder or the like in the file's place is no
    // work of another program to keep, and the write reports it.
    if (file->changedOnDisk(filePath) && QFileInfo(filePath).isFile() &&
        Message::warning(tr("Warning"),
                         tr("The project file:\n'%1'\nhas been changed by another program since "
                            "it was loaded.\nOverwrite it with the open project?")
                             .arg(filePath),
                         QMessageBox::Yes,
                         QMessageBox::No | QMessageBox::Default | QMessageBox::Escape) !=
            QMessageBox::Yes)
        return Saved::Kept;
    return write(*file, filePath) ? Saved::Written : Saved::Failed;
}

void Project::Private::reportRead(int status, const QString& path)
{
    switch (status) {
    case ProjectFile::CannotOpen:
        Message::information(tr("Error"), tr("Can't open project file:\n'%1'").arg(path));
        break;
    case ProjectFile::TooLarge:
        Message::information(tr("Error"),
                             tr("The project file:\n'%1'\nis larger than %2 MiB and is not loaded.")
                                 .arg(path)
                                 .arg(ProjectFile::maxSize >> 20));
        break;
    case ProjectFile::NotXml:
        Message::information(tr("Error"), tr("File:\n'%1'\nis not Vexa project file.").arg(path));
        break;
    case ProjectFile::WrongContents:
        Message::information(tr("Error"), tr("XML file:\n'%1'\nhave wrong contents.").arg(path));
        break;
    default:
        break;
    }
}

// ------------------------------------------------------------ the document

void Project::load(const QString& filePath)
{
    QString path = filePath;
    if (path.isEmpty()) {
        QFileDialog dialog(Shell::self(), QStringLiteral("Load project..."), d->lastLoadDir,
                           QStringLiteral("Vexa project files (*.vexa);;All files (*)"));
        dialog.setObjectName(QStringLiteral("Project::load"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (!Editors::runFileDialog(dialog) || dialog.selectedFiles().isEmpty())
            return;
        path = dialog.selectedFiles().constFirst();
        if (path.isEmpty())
            return;
    }
    d->lastLoadDir = QFileInfo(path).path();

    // The new file is read and checked while the open project stays open.
    QDomDocument doc;
    QDomElement project;
    auto incoming = std::make_unique<ProjectFile>();
    int status = incoming->read(path, doc, project);
    if (status != ProjectFile::Read) {
        Private::reportRead(status, path);
        return;
    }
    const QString absPath = QFileInfo(path).absoluteFilePath();
    if (hasProject()) {
        const QString closing = d->filePath;
        if (!close())
            return;
        // Reopening the project that was open: read back what its close
        // has just written.
        if (QFileInfo(closing) == QFileInfo(absPath)) {
            status = incoming->read(path, doc, project);
            if (status != ProjectFile::Read) {
                Private::reportRead(status, path);
                return;
            }
        }
    }

    d->file = std::move(incoming);
    d->dom = doc;
    d->domRoot = project;
    if (d->domView) {
        d->domView->clear();
        d->domView->setDomTree(project);
        if (DomListViewItem* top = d->domView->tree())
            top->setOpen(true);
    }
    if (ProjectFile::isNewer(project.attribute(QStringLiteral("version"))))
        Message::information(
            tr("Warning"),
            tr("The project:\n'%1'\nwas created by higher version of Vexa.").arg(path));
    d->filePath = absPath;
    Q_EMIT message(QStringLiteral("Project file loaded."));
    Q_EMIT enabled(true);
    Q_EMIT loaded();
    RecentFiles::self()->addRecentProject(d->filePath, attribute(QStringLiteral("name")));
    makeVisible();
}

void Project::create()
{
    NewProjectWizard wizard(Shell::self(), "Project::create", false);
    if (Message::exec(wizard) != QDialog::Accepted)
        return;
    const QString name = wizard.lineName->text();
    const QString directory = wizard.lineDirectory->text();
    const QString path = directory + QLatin1Char('/') + wizard.lineFileName->text();
    const QString description = wizard.textEditDescription->toPlainText();

    // Everything that can fail is tried before the open project is closed.
    if (!Utils::createDirectory(directory)) {
        Message::information(tr("Error"), tr("Can't create directory: '%1'").arg(directory));
        return;
    }
    const QFileInfo info(path);
    const bool existed = info.exists() || info.isSymLink();
    if (existed && Message::warning(tr("Warning"),
                                    tr("The file:\n'%1'\nexists already. Replace it?").arg(path),
                                    QMessageBox::Yes,
                                    QMessageBox::No | QMessageBox::Default | QMessageBox::Escape) !=
                       QMessageBox::Yes)
        return;
    // Opened without truncating: the file is replaced only by a complete save.
    // Only a regular file is opened (a FIFO would block).
    QFile probe(path);
    if ((existed && !info.isFile()) || !probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
        Message::information(tr("Error"), tr("Can't open file:\n'%1' for writing.").arg(path));
        return;
    }
    probe.close();
    const QString absPath = info.absoluteFilePath();
    if (hasProject() && !close()) {
        if (!existed)
            QFile::remove(absPath);
        return;
    }

    QDomDocument doc(QDomImplementation().createDocumentType(QStringLiteral("vexaproject"),
                                                             QString(), QString()));
    QDomElement root = doc.createElement(QStringLiteral("vexaproject"));
    doc.appendChild(root);
    QDomElement project = doc.createElement(QStringLiteral("project"));
    project.setAttribute(QStringLiteral("version"), QStringLiteral("8.0"));
    project.setAttribute(QStringLiteral("name"), name);
    root.appendChild(project);

    d->filePath = absPath;
    d->dom = doc;
    d->domRoot = project;
    if (!save(absPath)) {
        d->discard(false);
        if (!existed)
            QFile::remove(absPath);
        return;
    }
    bool opened = false;
    const QMetaObject::Connection watch =
        connect(this, &Project::loaded, this, [&opened] { opened = true; });
    load(absPath);
    disconnect(watch);
    if (!opened)
        return;
    QDomElement e = d->dom.createElement(QStringLiteral("description"));
    e.appendChild(d->dom.createTextNode(description));
    d->domRoot.appendChild(e);
    Q_EMIT projectChanged();
}

bool Project::save(const QString& filePath)
{
    const QString target = filePath.isEmpty() ? d->filePath : filePath;
    if (target.isEmpty())
        return false;
    if (d->isOwnFile(target))
        return d->saveOwn() == Private::Saved::Written;
    // A copy elsewhere: the project stays bound to its own file, and the
    // record of that file stays as it was.
    ProjectFile copy;
    return d->write(copy, target);
}

bool Project::close()
{
    if (!hasProject())
        return true;
    if (d->saveOwn() == Private::Saved::Failed && !d->confirmDiscard())
        return false;
    d->discard(true);
    return true;
}

void Project::updateProject()
{
    if (d->domView)
        d->domView->syncToDom();
}

bool Project::hasProject() const
{
    return !d->filePath.isEmpty();
}

const QString& Project::filePath() const
{
    return d->filePath;
}

void Project::setFilePath(const QString& filePath)
{
    d->filePath = filePath;
}

QString Project::dirPath() const
{
    if (d->filePath.isEmpty())
        return QString();
    return QFileInfo(d->filePath).path();
}

bool Project::hasAttribute(const QString& name) const
{
    return d->domRoot.hasAttribute(name);
}

QString Project::attribute(const QString& name) const
{
    return d->domRoot.hasAttribute(name) ? d->domRoot.attribute(name) : QString();
}

void Project::setAttribute(const QString& name, const QString& val)
{
    d->domRoot.setAttribute(name, val);
}

QDomNode Project::rootNode() const
{
    return d->domRoot;
}

QDomDocument Project::domDocument() const
{
    return d->dom;
}

void Project::setDomDocument(QDomDocument dom)
{
    d->dom = dom;
}

DomListView* Project::domView() const
{
    return d->domView;
}

QWidget* Project::recentPage() const
{
    return d->recentProjectsView;
}

} // namespace vexa

#include "vexa/project/addfilesdialog.h"

#include "ui_addfilesdialogbase.h"

#include "vexa/filetype.h"
#include "vexa/project/project.h"
#include "vexa/project/projectfile.h"
#include "vexa/settings.h"
#include "vexa/utils.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelection>

namespace vexa
{

// ------------------------------------------------------------ the form

AddFilesDialogBase::AddFilesDialogBase(QWidget* parent, const char* name, bool modal,
                                       Qt::WindowFlags fl)
    : QDialog(parent, fl), m_form(new ::Ui::AddFilesDialogBase)
{
    setObjectName(QLatin1String(name ? name : "AddFilesDialogBase"));
    setModal(modal);
    m_form->setupUi(this);
    AddFilesDialogBaseLayout = m_form->AddFilesDialogBaseLayout;
    listViewFiles = m_form->listViewFiles;
    layout2 = m_form->layout2;
    buttonSelectAll = m_form->buttonSelectAll;
    buttonClearSelection = m_form->buttonClearSelection;
    spacer2 = m_form->spacer2;
    buttonAddExternalFiles = m_form->buttonAddExternalFiles;
    line1 = m_form->line1;
    layout4 = m_form->layout4;
    spacer4 = m_form->spacer4;
    buttonOk = m_form->buttonOk;
    buttonCancel = m_form->buttonCancel;
    languageChange();
    resize(minimumSizeHint().expandedTo(QSize(391, 459)));
}

AddFilesDialogBase::~AddFilesDialogBase() = default;

void AddFilesDialogBase::languageChange()
{
    m_form->retranslateUi(this);
    // OK and Cancel answer to Return and Escape only.
    buttonOk->setShortcut(QKeySequence());
    buttonCancel->setShortcut(QKeySequence());
}

void AddFilesDialogBase::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(e);
}

// ------------------------------------------------------------ the dialog

AddFilesDialog::AddFilesDialog(QWidget* parent, const char* name)
    : AddFilesDialogBase(parent, name, false)
{
    buttonAddExternalFiles->hide();
    // The one column fills the view's width, less the scroll bar when shown.
    listViewFiles->header()->setStretchLastSection(true);

    Project* project = Project::self();
    const QStringList paths = project->filePaths(QString());
    filePaths.reserve(paths.size() + 1);
    // Cleaned as every command of the tree cleans them; a path that leads
    // out of the project folder names nothing the dialog shows.
    for (const QString& p : paths) {
        const QString path = project->diskPath(p);
        if (!path.isNull())
            filePaths.insert(path);
    }
    filePaths.insert(QDir::cleanPath(project->filePath()));

    QApplication::setOverrideCursor(Qt::WaitCursor);
    AddFilesDialogItem::Walk walk;
    walk.exclude = &filePaths;
    const QString top = QDir::cleanPath(project->dirPath());
    walk.visited.insert(QFileInfo(top).canonicalFilePath());
    // The tree is built apart from the view and sorted once.
    auto* item = new AddFilesDialogItem(nullptr, project->attribute(QStringLiteral("name")), top, 0,
                                        true, &walk);
    listViewFiles->addTopLevelItem(item);
    listViewFiles->sortItems(0, Qt::AscendingOrder);
    listViewFiles->expandAll();
    QApplication::restoreOverrideCursor();

    resize(Utils::storedDialogSize(QStringLiteral("/project/addfiles/width"),
                                   QStringLiteral("/project/addfiles/height"), size(), this));

    connect(buttonSelectAll, &QPushButton::clicked, this, &AddFilesDialog::selectAll);
    connect(buttonClearSelection, &QPushButton::clicked, this, &AddFilesDialog::clearSelection);
}

AddFilesDialog::~AddFilesDialog()
{
    Settings::write(QStringLiteral("/project/addfiles/width"), width());
    Settings::write(QStringLiteral("/project/addfiles/height"), height());
}

void AddFilesDialog::accept()
{
    QDialog::accept();
    if (auto* top = static_cast<AddFilesDialogItem*>(listViewFiles->topLevelItem(0)))
        addedFilePaths += top->selectedFilePaths();
}

void AddFilesDialog::selectAll()
{
    select(true);
}

void AddFilesDialog::clearSelection()
{
    select(false);
}

void AddFilesDialog::select(bool on)
{
    // Every item below the top item, as one selection: item by item would
    // cost a selection change each.
    QAbstractItemModel* model = listViewFiles->model();
    QItemSelection selection;
    QList<QModelIndex> parents{model->index(0, 0)};
    while (!parents.isEmpty()) {
        const QModelIndex parent = parents.takeLast();
        const int rows = model->rowCount(parent);
        if (!rows)
            continue;
        selection.select(model->index(0, 0, parent), model->index(rows - 1, 0, parent));
        for (int r = 0; r < rows; ++r) {
            const QModelIndex child = model->index(r, 0, parent);
            if (model->hasChildren(child))
                parents.append(child);
        }
    }
    listViewFiles->selectionModel()->select(selection, on ? QItemSelectionModel::Select
                                                          : QItemSelectionModel::Deselect);
    listViewFiles->viewport()->update();
}

// ------------------------------------------------------------ the items

AddFilesDialogItem::AddFilesDialogItem(QTreeWidgetItem* parent, const QString& fileName,
                                       const QString& filePath, int sort_key, bool isDir,
                                       Walk* walk)
    : QTreeWidgetItem(parent, QStringList(fileName)), isDir(isDir), fileName(fileName),
      filePath(filePath), sort_key(sort_key),
      sortKey(QStringLiteral("%1").arg(sort_key, 6, 10, QLatin1Char('0')))
{
    FileTypeManager* types = FileTypeManager::self();
    fileType = isDir ? types->fileType(QStringLiteral("folder")) : types->findType(fileName);
    setPixmap();
    if (isDir)
        readFolder(walk);
}

void AddFilesDialogItem::readFolder(Walk* walk)
{
    // As deep as a project file may nest: what lies deeper than a project
    // can hold is still listed, and adding it says why it is refused.
    if (walk->depth >= ProjectFile::maxDepth)
        return;
    const QDir dir(filePath);
    QString prefix = filePath;
    if (!prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');

    const QStringList dirs = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    ++walk->depth;
    for (int i = 0; i < dirs.size(); ++i) {
        const QString& name = dirs.at(i);
        if (name == QLatin1String("cvs") || name == QLatin1String("Cvs") ||
            name == QLatin1String("CVS"))
            continue;
        const QString path = prefix + name;
        // A linked folder that was read already (an ancestor: a loop) is
        // left out; each real folder is shown once.
        const QString real = QFileInfo(path).canonicalFilePath();
        if (real.isEmpty() || walk->visited.contains(real))
            continue;
        walk->visited.insert(real);
        new AddFilesDialogItem(this, name, path, i, true, walk);
    }
    --walk->depth;

    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    for (int i = 0; i < files.size(); ++i) {
        const QString path = prefix + files.at(i);
        if (!walk->exclude->contains(path))
            new AddFilesDialogItem(this, files.at(i), path, i, false, walk);
    }
}

void AddFilesDialogItem::setPixmap()
{
    if (fileType)
        setIcon(0, QIcon(fileType->pixmap()));
}

QString AddFilesDialogItem::key(int, bool) const
{
    const int order = isDir || !fileType ? 0 : fileType->listOrder();
    return QStringLiteral("%1").arg(order, 5, 10, QLatin1Char('0')) + sortKey;
}

bool AddFilesDialogItem::operator<(const QTreeWidgetItem& other) const
{
    return key(0, true) < static_cast<const AddFilesDialogItem&>(other).key(0, true);
}

QStringList AddFilesDialogItem::selectedFilePaths() const
{
    QStringList list;
    for (int i = 0; i < childCount(); ++i) {
        const auto* c = static_cast<const AddFilesDialogItem*>(child(i));
        if (c->isDir)
            list += c->selectedFilePaths();
        else if (c->isSelected())
            list.append(c->filePath);
    }
    return list;
}

} // namespace vexa

// Adding files and folders to the open project. The tree mirrors the project
// folder, so every addition makes its folders on disk and as nodes, and files
// chosen elsewhere are copied into the destination's folder first.

#include "vexa/project/project.h"

#include "vexa/editors/editors.h"
#include "vexa/filetype.h"
#include "vexa/message.h"
#include "vexa/project/addfilesdialog.h"
#include "vexa/project/project_p.h"
#include "vexa/shell.h"
#include "vexa/utils.h"
#include "vexa/widgets/domlistview.h"
#include "xqwidgets/xqfileoperator/fileoperator.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>

namespace vexa
{

namespace
{

const QString kSeparator = QStringLiteral("/");

DomListViewItem* currentItem(DomListView* view)
{
    return view ? static_cast<DomListViewItem*>(view->currentItem()) : nullptr;
}

QString withLeadingSeparator(const QString& dest)
{
    return dest.startsWith(kSeparator) ? dest : kSeparator + dest;
}

bool isFolderLike(const QDomElement& e)
{
    return e.tagName() == QLatin1String("folder") || e.tagName() == QLatin1String("project") ||
           e.hasAttribute(QStringLiteral("container"));
}

bool exists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

// ------------------------------------------------------------ Private

QString Project::Private::folderPath(const QString& dest) const
{
    return QDir::cleanPath(q->dirPath() + kSeparator + dest);
}

bool Project::Private::acceptName(const QString& dest) const
{
    const QStringList parts = dest.split(kSeparator, Qt::SkipEmptyParts);
    for (const QString& p : parts) {
        if (!isSafeName(p)) {
            Message::information(
                tr("Error"),
                tr("Can't create directory:\n'%1'\nA folder name may not be \".\" or \"..\".")
                    .arg(dest));
            return false;
        }
    }
    return true;
}

int Project::Private::depthOf(QDomNode node)
{
    int depth = 0;
    for (; node.isElement(); node = node.parentNode())
        ++depth;
    return depth;
}

int Project::Private::depthAt(const QString& dest) const
{
    return depthOf(domRoot) + int(dest.split(kSeparator, Qt::SkipEmptyParts).size());
}

bool Project::Private::acceptDepth(int depth) const
{
    if (depth <= ProjectFile::maxDepth)
        return true;
    refuseDepth();
    return false;
}

void Project::Private::refuseDepth(int notAdded) const
{
    // Counted as the user sees the tree: a folder right in the project is
    // at level 1.
    QString text =
        tr("Folders and files nested deeper than %1 levels cannot be added to a project.")
            .arg(ProjectFile::maxDepth - depthOf(domRoot));
    if (notAdded > 0)
        text += QLatin1Char('\n') + tr("%1 of the chosen files were not added.").arg(notAdded);
    Message::information(tr("Error"), text);
}

bool Project::Private::createSubDirs(QString dest)
{
    if (dest.isEmpty())
        return false;
    dest = withLeadingSeparator(dest);
    if (!acceptName(dest) || !acceptDepth(depthAt(dest)))
        return false;
    const QString path = folderPath(dest);
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    // A file in the folder's place is no folder to add to.
    if (!info.exists() && Utils::createDirectory(path))
        return true;
    Message::information(tr("Error"), tr("Can't create directory '%1'").arg(path));
    return false;
}

bool Project::Private::createSubNodes(QString dest)
{
    if (dest.isEmpty() || domRoot.isNull())
        return false;
    dest = withLeadingSeparator(dest);
    if (!q->localName2node(dest).isNull())
        return true;
    if (!acceptDepth(depthAt(dest)))
        return false;
    QDomNode parent = domRoot;
    QString path;
    for (const QString& part : dest.split(kSeparator, Qt::SkipEmptyParts)) {
        path += kSeparator + part;
        const QDomNode node = q->localName2node(path);
        if (!node.isNull()) {
            parent = node;
            continue;
        }
        QDomElement folder = dom.createElement(QStringLiteral("folder"));
        folder.setAttribute(QStringLiteral("name"), part);
        parent.appendChild(folder);
        parent = folder;
    }
    return true;
}

bool Project::Private::addFiles(QStringList files, QString dest, QDomNode toNode)
{
    if (!q->hasProject())
        return false;
    if (!dest.isEmpty()) {
        dest = withLeadingSeparator(dest);
        lastAddFilesDir = folderPath(dest);
    }
    if (files.isEmpty()) {
        QString filter = QStringLiteral(
            "Any files (*);;Ch files (*.ch *.chf *.chs *.h *.hpp *.c *.cc *.cpp);;C/C++ files "
            "(*.h *.hpp *.c *.cc *.cpp);;Python files (*.py);;Project files (*.vexa);;UI files "
            "(*.ui);;Text files (*.txt)");
        if (!addFilesMaskFromUi.isEmpty()) {
            filter.prepend(QStringLiteral("Form mask (") + addFilesMaskFromUi +
                           QStringLiteral("*.py);;"));
            addFilesMaskFromUi.clear();
        }
        QFileDialog dialog(Shell::self(), QStringLiteral("Please select files..."), lastAddFilesDir,
                           filter);
        dialog.setObjectName(QStringLiteral("Project::addFiles"));
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setIconProvider(FileTypeManager::self()->fileIconProvider());
        if (Editors::runFileDialog(dialog))
            files = dialog.selectedFiles();
    }
    files.removeAll(QString());
    if (files.isEmpty())
        return false;
    dest = withLeadingSeparator(dest);
    // All the files go to one place: they fit there or none is added, and
    // nothing is made or copied for them.
    if (!acceptDepth((toNode.isNull() ? depthAt(dest) : depthOf(toNode)) + 1))
        return false;
    if (!createSubDirs(dest) || !createSubNodes(dest))
        return false;
    QDomNode destNode = toNode.isNull() ? q->localName2node(dest) : toNode;
    if (destNode.isNull())
        return false;

    lastAddFilesDir = QFileInfo(files.constFirst()).absolutePath();
    // Each file is judged on its own: one that already lies in the target
    // folder, under any spelling of it (a project opened through a linked
    // folder), stays where it is; the others are copied in, and the copy
    // asks before it replaces anything.
    const QString target = folderPath(dest);
    const QString realTarget = QFileInfo(target).canonicalFilePath();
    QStringList toCopy;
    for (const QString& f : std::as_const(files)) {
        const QString folder = QFileInfo(f).absolutePath();
        if (QFileInfo(folder).canonicalFilePath() != realTarget || realTarget.isEmpty())
            toCopy.append(f);
    }
    if (!toCopy.isEmpty())
        xqwidgets::FileOperator::self(Shell::self())->copy(toCopy, target);

    if (!dest.endsWith(kSeparator))
        dest += kSeparator;
    QStringList missing;
    for (const QString& f : std::as_const(files)) {
        const QString name = QFileInfo(f).fileName();
        // Only a file that is in the folder now, copied or kept, is listed.
        if (name.isEmpty() || !exists(target + kSeparator + name)) {
            missing.append(f);
            continue;
        }
        FileType* type = nullptr;
        for (auto it = fileTypeMap.cbegin(); it != fileTypeMap.cend(); ++it) {
            if (it.value()->match(name)) {
                type = it.value();
                break;
            }
        }
        const QString tag = type ? fileTypeMap.key(type) : QStringLiteral("file");
        QDomElement e = q->localName2node(dest + name).toElement();
        if (e.isNull()) {
            e = dom.createElement(tag);
            e.setAttribute(QStringLiteral("name"), name);
            e.setAttribute(QStringLiteral("type"), QStringLiteral("file"));
            if (!toNode.isNull())
                e.setAttribute(QStringLiteral("url"), dest + name);
            if (type && type->hasOption(QStringLiteral("container")))
                e.setAttribute(QStringLiteral("container"), QStringLiteral("1"));
            destNode.appendChild(e);
        } else {
            e.setTagName(tag);
            e.setAttribute(QStringLiteral("type"), QStringLiteral("file"));
            if (!toNode.isNull())
                e.setAttribute(QStringLiteral("url"), dest + name);
            if (type && !type->hasOption(QStringLiteral("container")))
                e.removeAttribute(QStringLiteral("container"));
        }
    }
    if (!missing.isEmpty())
        Message::information(tr("Error"),
                             tr("These files are not in the folder:\n'%1'\nand were not added:\n%2")
                                 .arg(target, missing.join(QLatin1Char('\n'))));
    return true;
}

// ------------------------------------------------------------ the commands

void Project::addFilesTo(QString dest)
{
    if (!dest.isEmpty())
        return;
    DomListViewItem* item = currentItem(d->domView);
    if (!item)
        return;
    QDomNode node = item->node;
    const QDomElement e = node.toElement();
    const bool isForm = e.tagName() == QLatin1String("uifile");
    if (!isForm && !isFolderLike(e))
        return;
    if (isForm) {
        d->addFilesMaskFromUi = e.attribute(QStringLiteral("name"));
        if (d->addFilesMaskFromUi.endsWith(QLatin1String(".ui")) ||
            d->addFilesMaskFromUi.endsWith(QLatin1String(".UI")))
            d->addFilesMaskFromUi.chop(3);
    }
    const QDomNode toNode = node;
    while (node.toElement().tagName() == QLatin1String("uifile"))
        node = node.parentNode();
    const QString toDir = node2localName(node);
    d->lastAddFilesDir = d->folderPath(toDir);
    addFiles(QStringList(), toDir, node == toNode ? QDomNode() : toNode);
    d->addFilesMaskFromUi.clear();
    // The item may have gone with a sync; look it up again.
    if (DomListViewItem* current = currentItem(d->domView))
        if (current->node == toNode)
            current->setOpen(true);
    Q_EMIT projectChanged();
}

void Project::addFiles(QStringList files, QString dest, QDomNode toNode)
{
    if (d->addFiles(files, dest, toNode) && d->domView)
        d->domView->syncToDom();
}

void Project::addFilesDialog()
{
    if (!hasProject())
        return;
    AddFilesDialog dialog(Shell::self());
    if (Message::exec(dialog) == QDialog::Accepted) {
        const QString dir = dirPath();
        // The files of a deep folder tree are added as far as a project
        // may nest, the deeper ones left out with one message for all.
        int tooDeep = 0;
        for (const QString& p : std::as_const(dialog.addedFilePaths)) {
            QString local;
            if (dir == kSeparator && p.startsWith(kSeparator))
                local = p;
            else if (p.startsWith(dir + kSeparator))
                local = p.mid(dir.size());
            else
                continue;
            if (d->depthAt(local) > ProjectFile::maxDepth) {
                ++tooDeep;
                continue;
            }
            const QString dest = QFileInfo(local).path();
            d->createSubNodes(dest);
            d->addFiles(QStringList(p), dest, localName2node(dest));
        }
        if (tooDeep > 0)
            d->refuseDepth(tooDeep);
        // One sync for all the files: the tree does not follow each one.
        if (d->domView)
            d->domView->syncToDom();
    }
    makeVisible(nullptr);
}

void Project::addFolderTo(QString dest)
{
    if (!dest.isEmpty())
        return;
    DomListViewItem* item = currentItem(d->domView);
    if (!item)
        return;
    const QDomNode node = item->node;
    const QDomElement e = node.toElement();
    if (e.tagName() != QLatin1String("folder") && e.tagName() != QLatin1String("project") &&
        !e.hasAttribute(QStringLiteral("container")))
        return;
    const QString toDir = node2localName(node);
    QInputDialog dialog(Shell::self());
    dialog.setObjectName(QStringLiteral("Project::addFolderTo"));
    dialog.setWindowTitle(QStringLiteral("Please enter name."));
    dialog.setLabelText(QStringLiteral("<b>Folder&nbsp;name:</b>"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Normal);
    if (Message::exec(dialog) != QDialog::Accepted)
        return;
    QString text = dialog.textValue();
    if (text.isEmpty())
        return;
    if (text.startsWith(kSeparator))
        text.remove(0, 1);
    const QString newFolder = toDir + kSeparator + text;
    // A folder that cannot be made gets no node: tree and disk stay alike.
    if (!d->createSubDirs(newFolder) || !d->createSubNodes(newFolder))
        return;
    d->domView->syncToDom();
    if (DomListViewItem* current = currentItem(d->domView))
        if (current->node == node)
            current->setOpen(true);
    Q_EMIT projectChanged();
}

void Project::addFolder(QString name)
{
    if (!hasProject())
        return;
    if (name.isEmpty()) {
        QInputDialog dialog(Shell::self());
        dialog.setObjectName(QStringLiteral("Project::addFolder"));
        dialog.setWindowTitle(QStringLiteral("New folder"));
        dialog.setLabelText(
            QStringLiteral("<b>Folder:</b> (You can create set of subfolders when enter "
                           "%1folder%2folder2; begins it from <b>%1</b> - it is relative to "
                           "project directory)")
                .arg(kSeparator, kSeparator));
        dialog.setComboBoxItems(folders());
        dialog.setComboBoxEditable(true);
        if (Message::exec(dialog) != QDialog::Accepted)
            return;
        name = dialog.textValue();
    }
    name = withLeadingSeparator(name);
    if (!d->createSubDirs(name) || !d->createSubNodes(name))
        return;
    d->domView->syncToDom();
}

} // namespace vexa

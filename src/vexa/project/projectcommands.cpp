// The commands of the tree's files and folders: open, remove from the
// project, delete from the disk.

#include "vexa/project/project.h"

#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/filetype.h"
#include "vexa/message.h"
#include "vexa/project/project_p.h"
#include "vexa/recentfiles.h"
#include "vexa/widgets/domlistview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

namespace vexa
{

namespace
{

DomListViewItem* currentItem(DomListView* view)
{
    return view ? static_cast<DomListViewItem*>(view->currentItem()) : nullptr;
}

void refuseOutside(const QString& path)
{
    Message::information(
        Project::tr("Error"),
        Project::tr("The file:\n'%1'\nlies outside the project folder.").arg(path));
}

} // namespace

void Project::Private::open(const QDomNode& node, bool later)
{
    if (node.isNull())
        return;
    const QString path = q->diskPath(node);
    if (path.isNull()) {
        if (node.toElement().attribute(QStringLiteral("type")) == QLatin1String("file"))
            refuseOutside(q->node2filePath(node));
        return;
    }
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return;
    auto go = [path] {
        FileTypeManager::openFile(path);
        RecentFiles::self()->addRecent(path);
        // A file that went to an editor is where the user types next.
        Editor* e = Editors::self()->current();
        if (e && QFileInfo(e->filename()) == QFileInfo(path))
            Editors::self()->setFocus();
    };
    if (later)
        QTimer::singleShot(0, q, go);
    else
        go();
}

QString Project::Private::realPathOutside(const QString& path) const
{
    // Removing a name removes that very entry, a link itself included: the
    // links to follow are those of the folders on the way.
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.path()).canonicalFilePath();
    const QString top = QFileInfo(q->dirPath()).canonicalFilePath();
    if (folder.isEmpty() || top.isEmpty() || isWithin(folder, top))
        return QString();
    return QDir(folder).filePath(info.fileName());
}

bool Project::Private::delNodeAndItem(QString& name)
{
    QDomNode node;
    DomListViewItem* item = nullptr;
    if (!name.isEmpty()) {
        node = q->localName2node(name);
    } else {
        item = currentItem(domView);
        if (!item)
            return false;
        name = q->node2localName(item->node);
        node = item->node;
    }
    // The project element stays: without it there is no project.
    if (node.isNull() || node == domRoot || node.parentNode().isNull())
        return false;
    node.parentNode().removeChild(node);
    if (item)
        item->node = QDomNode();
    return true;
}

void Project::openFile()
{
    if (DomListViewItem* item = currentItem(d->domView))
        d->open(item->node, false);
}

void Project::removeFile(QString name)
{
    const bool command = name.isEmpty();
    if (d->delNodeAndItem(name) && command) {
        d->domView->syncToDom();
        Q_EMIT projectChanged();
    }
}

void Project::removeFolder(QString name)
{
    removeFile(name);
}

void Project::deleteFile(QString name)
{
    if (!name.isEmpty()) {
        d->delNodeAndItem(name);
        return;
    }
    // The current item's own node and its own path: a sibling of the same
    // name is never the one removed.
    DomListViewItem* item = currentItem(d->domView);
    if (!item || item->node.isNull() || item->node == d->domRoot)
        return;
    const QDomNode node = item->node;
    const QString path = diskPath(node);
    if (path.isNull()) {
        refuseOutside(node2filePath(node));
        return;
    }
    // Through a linked folder the file removed may lie elsewhere: then the
    // question names it where it really is.
    const QString real = d->realPathOutside(path);
    const QString question =
        real.isNull()
            ? tr("Delete the file '%1' from the disk?").arg(path)
            : tr("Delete the file '%1', which is '%2' outside the project folder?").arg(path, real);
    if (Message::warning(tr("Warning"), question, QMessageBox::Yes,
                         QMessageBox::No | QMessageBox::Default | QMessageBox::Escape) !=
        QMessageBox::Yes)
        return;
    if (!QFile::remove(path)) {
        Message::information(tr("Error"), tr("Can't delete file:\n'%1'").arg(path));
        // The node goes with its file only: a file still there stays listed.
        const QFileInfo info(path);
        if (info.exists() || info.isSymLink())
            return;
    }
    node.parentNode().removeChild(node);
    item->node = QDomNode();
    d->domView->syncToDom();
    Q_EMIT projectChanged();
}

} // namespace vexa

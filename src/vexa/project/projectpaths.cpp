// Names and paths of the project's nodes, the lists of its files and
// folders, the tree's selection and the raising of the project's page.

#include "vexa/project/project.h"

#include "vexa/actions.h"
#include "vexa/filetype.h"
#include "vexa/project/project_p.h"
#include "vexa/project/recentprojects.h"
#include "vexa/shell.h"
#include "vexa/widgets/domlistview.h"
#include "vexa/widgets/widgetstack.h"

#include <QDir>
#include <QTreeWidgetItemIterator>

namespace vexa
{

namespace
{

const QString kName = QStringLiteral("name");
const QString kUrl = QStringLiteral("url");
const QString kType = QStringLiteral("type");
const QString kFile = QStringLiteral("file");
const QString kSeparator = QStringLiteral("/");

QString nameOf(const QDomNode& n)
{
    return n.toElement().attribute(kName);
}

bool isFileNode(const QDomNode& n)
{
    return n.toElement().attribute(kType) == kFile;
}

// A path below the project folder: the folder followed by a part that
// begins with "/", without a doubled separator for a project in "/".
QString join(const QString& dir, const QString& part)
{
    return dir == kSeparator && part.startsWith(kSeparator) ? part : dir + part;
}

QString childName(const QString& prefix, const QDomNode& n)
{
    return (prefix == kSeparator ? QString() : prefix) + kSeparator + nameOf(n);
}

} // namespace

bool Project::Private::isSafeName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

bool Project::Private::isWithin(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder == kSeparator ? folder : folder + kSeparator);
}

// ------------------------------------------------------------ walks

QStringList Project::Private::localNames(const QDomNode& n, const QString& prefix) const
{
    QStringList list;
    for (QDomNode c = n.firstChild(); !c.isNull(); c = c.nextSibling()) {
        const QString name = childName(prefix, c);
        if (isFileNode(c))
            list.append(name);
        list += localNames(c, name);
    }
    return list;
}

QStringList Project::Private::filePaths(const QDomNode& n) const
{
    QStringList list;
    for (QDomNode c = n.firstChild(); !c.isNull(); c = c.nextSibling()) {
        if (isFileNode(c))
            list.append(q->node2filePath(c));
        list += filePaths(c);
    }
    return list;
}

QStringList Project::Private::folders(const QDomNode& n, const QString& prefix) const
{
    QStringList list;
    for (QDomNode c = n.firstChild(); !c.isNull(); c = c.nextSibling()) {
        const QDomElement e = c.toElement();
        if (e.tagName() != QLatin1String("folder") &&
            e.attribute(kType) != QLatin1String("container"))
            continue;
        const QString name = childName(prefix, c);
        list.append(name);
        list += folders(c, name);
    }
    return list;
}

QDomNode Project::Private::localName2node(const QDomNode& n, QStringList l) const
{
    QDomNode node = n;
    while (!l.isEmpty()) {
        const QString first = l.takeFirst();
        QDomNode c = node.firstChild();
        while (!c.isNull() && nameOf(c) != first)
            c = c.nextSibling();
        if (c.isNull())
            return QDomNode();
        node = c;
    }
    return node;
}

QDomNode Project::Private::filePath2node(const QDomNode& n, const QString& url) const
{
    for (QDomNode c = n.firstChild(); !c.isNull(); c = c.nextSibling()) {
        if (c.toElement().attribute(kUrl) == url)
            return c;
        const QDomNode found = filePath2node(c, url);
        if (!found.isNull())
            return found;
    }
    return QDomNode();
}

QStringList Project::Private::selected(bool paths) const
{
    QStringList list;
    if (!domView || !domView->topLevelItemCount())
        return list;
    QTreeWidgetItem* top = domView->topLevelItem(0);
    for (QTreeWidgetItemIterator it(top); *it; ++it) {
        QTreeWidgetItem* item = *it;
        if (item == top)
            continue;
        // The walk ends with the top item's last descendant.
        QTreeWidgetItem* up = item;
        while (up->parent())
            up = up->parent();
        if (up != top)
            break;
        if (!item->isSelected())
            continue;
        const QDomNode node = static_cast<DomListViewItem*>(item)->node;
        list.append(paths ? q->node2filePath(node) : q->node2localName(node));
    }
    return list;
}

// ------------------------------------------------------------ names and paths

void Project::installHelper(const QString& name, FileType* f, ActionGroup* a)
{
    if (!f)
        return;
    d->fileTypeMap.insert(name, f);
    QStringList tags = d->domView->tagSet();
    tags.append(name);
    d->domView->setTagSet(tags);
    d->domView->setPixmap(name, f->pixmap());
    d->domView->setActionGroup(name, a);
    d->domView->setListOrder(name, f->listOrder());
}

void Project::installHelper(const QString& name, const QPixmap& p, ActionGroup* a)
{
    QStringList tags = d->domView->tagSet();
    tags.append(name);
    d->domView->setTagSet(tags);
    d->domView->setPixmap(name, p);
    d->domView->setActionGroup(name, a);
}

QStringList Project::localNames() const
{
    return d->domRoot.isNull() ? QStringList() : d->localNames(d->domRoot, kSeparator);
}

QStringList Project::filePaths(const QString& localName) const
{
    const QDomNode start = localName.isEmpty() ? QDomNode(d->domRoot) : localName2node(localName);
    return start.isNull() ? QStringList() : d->filePaths(start);
}

QStringList Project::folders() const
{
    QStringList list(kSeparator);
    if (!d->domRoot.isNull())
        list += d->folders(d->domRoot, kSeparator);
    return list;
}

QDomNode Project::localName2node(const QString& name) const
{
    return d->localName2node(d->domRoot, name.split(kSeparator, Qt::SkipEmptyParts));
}

QString Project::node2localName(QDomNode node) const
{
    if (node.isNull())
        return QString();
    QStringList names;
    for (QDomNode n = node; !n.isNull() && n != d->domRoot; n = n.parentNode())
        names.prepend(nameOf(n));
    return kSeparator + names.join(kSeparator);
}

QString Project::node2filePath(QDomNode node) const
{
    const QString url = node.toElement().attribute(kUrl);
    return join(dirPath(), url.isEmpty() ? node2localName(node) : url);
}

QDomNode Project::filePath2node(const QString& filePath) const
{
    const QString dir = dirPath();
    if (dir.isEmpty())
        return QDomNode();
    QString rest;
    if (dir == kSeparator) {
        if (!filePath.startsWith(kSeparator))
            return QDomNode();
        rest = filePath;
    } else if (filePath == dir || filePath.startsWith(dir + kSeparator)) {
        rest = filePath.mid(dir.size());
    } else {
        return QDomNode();
    }
    const QDomNode byName = localName2node(rest);
    if (!byName.isNull())
        return byName;
    return d->filePath2node(d->domRoot, rest);
}

QString Project::diskPath(QDomNode node) const
{
    if (!hasProject() || node.isNull() || d->domRoot.isNull())
        return QString();
    // A node that has left the document lies nowhere.
    QDomNode n = node;
    while (!n.isNull() && n != d->domRoot)
        n = n.parentNode();
    if (n.isNull())
        return QString();
    return diskPath(node2filePath(node));
}

QString Project::diskPath(const QString& filePath) const
{
    const QString dir = QDir::cleanPath(dirPath());
    if (!hasProject() || filePath.contains(QChar(0)))
        return QString();
    // Doubled separators and empty names come out, "." and ".." are
    // resolved by the name; what is left must still lie in the folder.
    const QString path = QDir::cleanPath(filePath);
    return Private::isWithin(path, dir) ? path : QString();
}

// ------------------------------------------------------------ selection

QDomNode Project::selectedNode() const
{
    QTreeWidgetItem* i = d->domView ? d->domView->currentItem() : nullptr;
    return i ? static_cast<DomListViewItem*>(i)->node : QDomNode();
}

QString Project::selectedFilePath() const
{
    const QDomNode node = selectedNode();
    return node.isNull() ? QString() : node2filePath(node);
}

QStringList Project::selectedFilePaths() const
{
    return d->selected(true);
}

QStringList Project::selectedLocalNames() const
{
    return d->selected(false);
}

void Project::selectionChangedInternal()
{
    QTreeWidgetItem* i = d->domView ? d->domView->currentItem() : nullptr;
    if (!i) {
        Q_EMIT selectionChanged(QString());
        return;
    }
    const QDomNode node = static_cast<DomListViewItem*>(i)->node;
    if (node.ownerDocument() == d->dom)
        Q_EMIT selectionChanged(node2localName(node));
}

void Project::makeVisible(QObject* o)
{
    WidgetStack* dock = Shell::self()->leftDock();
    QWidget* page = hasProject() ? static_cast<QWidget*>(d->domView.data())
                                 : static_cast<QWidget*>(d->recentProjectsView.data());
    if (!o) {
        if (page) {
            dock->raiseWidget(page);
            if (hasProject())
                d->domView->adjustContentSize();
            else
                d->recentProjectsView->adjustContentSize();
        }
        Q_EMIT gotFocus();
        Q_EMIT raised();
        return;
    }
    const bool front = o == this || (o && (o == d->domView || o == d->recentProjectsView));
    d->dockAction->setPanelRaised(front);
    if (o == this && page)
        page->setFocus();
}

} // namespace vexa

#ifndef VEXA_PROJECT_PROJECT_P_H
#define VEXA_PROJECT_PROJECT_P_H

#include "vexa/project/project.h"
#include "vexa/project/projectfile.h"

#include <QDomDocument>
#include <QDomElement>
#include <QMap>
#include <QPointer>
#include <QString>

#include <memory>

class QDialog;
class QTreeWidgetItem;

namespace vexa
{

class Action;
class DomListView;
class FileType;
class RecentProjects;

class Project::Private
{
public:
    explicit Private(Project* q) : q(q) {}

    static Project* self;
    Project* q;

    // Both pages belong to the left dock; the guards forget them when the
    // dock goes first at exit.
    QPointer<DomListView> domView;
    QPointer<RecentProjects> recentProjectsView;
    QString filePath;
    // The open project's file as last read or written.
    std::unique_ptr<ProjectFile> file = std::make_unique<ProjectFile>();
    QDomDocument dom;
    // The project element; null while no project is open.
    QDomElement domRoot;
    QString lastAddDir;
    QString lastLoadDir;
    QString lastAddFilesDir;
    // The base name of the form that files are being added to; shapes one
    // file dialog.
    QString addFilesMaskFromUi;
    QMap<QString, FileType*> fileTypeMap;
    Action* dockAction = nullptr;
    // The widget another subsystem has the options dialog show, and that
    // dialog, built at its first use.
    QPointer<QWidget> optionsWidget;
    QPointer<QDialog> optionsDialog;

    // Raises the recent projects, rebuilt, and gives them the focus when asked.
    void showRecents(bool focus);
    // Forgets the open project without saving it; with `announce` the
    // commands are disabled, projectChanged() and closed() are emitted and
    // the recent projects come to the front.
    void discard(bool announce);
    // Asks whether the project whose save just failed may be closed all the
    // same; the default answer keeps it.
    bool confirmDiscard() const;
    // Whether `path` names the open project's own file.
    bool isOwnFile(const QString& path) const;
    // Writes the document to `target` through `to`, with the message of a
    // failure; true when written.
    bool write(ProjectFile& to, const QString& target);
    // The save of the open project to its own file. When another program
    // has changed the file since it was read or written, the user is asked
    // first, and the default answer keeps the other program's file.
    enum class Saved { Written, Kept, Failed };
    Saved saveOwn();
    // The message of a file that could not be read as a project.
    static void reportRead(int status, const QString& path);

    // The recursive walks below the node `n`.
    QStringList localNames(const QDomNode& n, const QString& prefix) const;
    QStringList filePaths(const QDomNode& n) const;
    QStringList folders(const QDomNode& n, const QString& prefix) const;
    QDomNode localName2node(const QDomNode& n, QStringList l) const;
    QDomNode filePath2node(const QDomNode& n, const QString& url) const;
    QStringList selected(bool filePaths) const;

    // Removes the node of `name`, or the current item's node when `name` is
    // empty (then `name` receives its local name). True when a node went.
    bool delNodeAndItem(QString& name);
    // One component of a path: a name that stays in the folder it is in.
    static bool isSafeName(const QString& name);
    // Whether the clean absolute `path` is `folder` or lies below it.
    static bool isWithin(const QString& path, const QString& folder);
    // The folder on disk of a destination (a local name), cleaned.
    QString folderPath(const QString& dest) const;
    // Whether every component of a typed local name stays in its folder;
    // else says so in a message.
    bool acceptName(const QString& dest) const;
    // How deep an element stands in its document, the document element
    // being at 1 (the depth the reader bounds by ProjectFile::maxDepth).
    static int depthOf(QDomNode node);
    // The depth of the node at the local name `dest`, whether it exists or
    // would be made: one level per component below the project element.
    int depthAt(const QString& dest) const;
    // Whether a node at `depth` keeps the project loadable; else says so
    // in the message of refuseDepth().
    bool acceptDepth(int depth) const;
    // The message of an addition refused for its depth, naming how many of
    // the chosen files were left out when `notAdded` is not 0.
    void refuseDepth(int notAdded = 0) const;
    // Make the missing folders of a destination on disk, respectively as
    // folder nodes; false (after a message) when that cannot be done, also
    // when the folders would nest deeper than a project file may.
    bool createSubDirs(QString dest);
    bool createSubNodes(QString dest);
    // addFiles() without the tree's sync; true when it came to adding.
    bool addFiles(QStringList files, QString dest, QDomNode toNode);

    // Where the entry at `path` (a path in the project folder) really is
    // when its folder, every link followed, lies outside the project
    // folder's real place; a null string when it lies inside or its folder
    // does not exist.
    QString realPathOutside(const QString& path) const;
    // Opens the file of a node through its type and records it as recent,
    // at once or from the event loop. Folders, the project element and
    // missing files are ignored; a file whose names lead out of the project
    // folder is refused with a message.
    void open(const QDomNode& node, bool later);
};

} // namespace vexa

#endif

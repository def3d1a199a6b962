#ifndef VEXA_PROJECT_PROJECT_H
#define VEXA_PROJECT_PROJECT_H

#include <QDomDocument>
#include <QDomNode>
#include <QObject>
#include <QPixmap>
#include <QStringList>

class QWidget;

namespace vexa
{

class ActionGroup;
class DomListView;
class FileType;

// The one project of the process: an XML document kept in a ".vexa" file,
// shown as a tree page in the left dock (the list of recent projects while
// none is open). The document in memory is the only copy that changes; the
// file is written by "Save project", by every close and at exit.
//
// A node's local name is its place in the tree ("/" for the project element,
// else the "name" attributes from the project element down, each after a
// "/"); its file path is the project folder followed by its "url" when that
// is not empty, else by its local name. Queries report "nothing" by value:
// a null node, a null string or an empty list.
class Project : public QObject
{
    Q_OBJECT
public:
    static Project* self();
    ~Project() override;

    // The save of an open project on the program's way out, before the main
    // window is torn down, as close() saves. A failed save asks whether to
    // close the project without saving; false (keep it, cancel the exit) is
    // the default answer.
    // True at once when no project object or no project exists.
    static bool saveAtExit();

    bool hasProject() const;
    // The absolute path of the project file; empty while none is open.
    const QString& filePath() const;
    void setFilePath(const QString& filePath);
    // The project folder without a trailing separator ("/" for a project in
    // the root folder); null while no project is open.
    QString dirPath() const;

    // The project element's attributes, kept in memory until the next save.
    // A null string for an absent attribute or while no project is open.
    bool hasAttribute(const QString& name) const;
    QString attribute(const QString& name) const;
    void setAttribute(const QString& name, const QString& val);

    QDomNode rootNode() const;
    QDomDocument domDocument() const;
    void setDomDocument(QDomDocument dom);
    DomListView* domView() const;
    // The page shown while no project is open.
    QWidget* recentPage() const;

    // Makes `name` a kind of node the tree shows, with the type's icon, list
    // order and context menu `a`. A null type changes nothing.
    void installHelper(const QString& name, FileType* f, ActionGroup* a);
    void installHelper(const QString& name, const QPixmap& p, ActionGroup* a);

    QStringList localNames() const;
    QStringList filePaths(const QString& localName) const;
    QStringList folders() const;
    QDomNode localName2node(const QString& name) const;
    QString node2localName(QDomNode node) const;
    QString node2filePath(QDomNode node) const;
    // Only paths in the project folder (the folder itself or below a "/"
    // after it) are looked up: by local name first, then by "url".
    QDomNode filePath2node(const QString& filePath) const;
    // Where the node lies on disk, cleaned (a doubled separator or an empty
    // name leaves no trace, ".." takes the folder above), or a null string
    // when that lies outside the project folder, holds a NUL or the node is
    // in no project. Every command that touches the disk goes through it.
    // Symbolic links are not followed: a linked folder inside the project
    // folder counts as inside.
    QString diskPath(QDomNode node) const;
    // The same for a file path (a node's, as node2filePath() gives it).
    QString diskPath(const QString& filePath) const;

    // The widget the options dialog shows, owned by the project from now
    // on. It needs the slots loadSettings() (fill the fields from the
    // project) and saveSettings() (store them), and gives the dialog its
    // caption.
    void setProjectOptionsWidget(QWidget* widget);
    QWidget* projectOptionsWidget() const;

    QDomNode selectedNode() const;
    QString selectedFilePath() const;
    QStringList selectedFilePaths() const;
    QStringList selectedLocalNames() const;

public Q_SLOTS:
    // Asks for the new project's name, folder, file and description and
    // makes it the open project. Everything that can fail is checked before
    // the open project is closed: the folder is made, an existing file of the
    // new name is replaced only when the user says so, and the file must be
    // writable. Cancel, No or a failure leaves the open project open.
    virtual void create();
    // Asks for the file when `filePath` is empty. The file is read and checked
    // before the open project is closed, so a bad file leaves it open.
    virtual void load(const QString& filePath = QString());
    // Writes the document to `filePath`, or to the project's own file, as a
    // whole or not at all: a failure keeps the old file, emits no saved()
    // and shows the reason. Its own file, when another program has changed
    // it since it was loaded or saved, is written over only when the user
    // says so (the default keeps it). Returns whether the file was written.
    virtual bool save(const QString& filePath = QString());
    // Saves (as above) and closes the open project. When the save fails the
    // user is asked whether to close without saving; the default keeps the
    // project open and returns false. True when no project is open.
    virtual bool close();

    void updateProject();
    // The options dialog around the hosted widget, modal; the widget is
    // refilled from the project before each showing.
    virtual void options();
    void openFile();
    // With a local name only the node leaves the document; without one (as
    // the commands call them) the current item's node goes and the tree and
    // projectChanged() follow.
    void removeFile(QString name = QString());
    void removeFolder(QString name = QString());
    // Without a name: asks, then removes the current item's own node and its
    // own file from the disk; the node stays when the file could not be
    // removed. With a name: only the node leaves the document.
    void deleteFile(QString name = QString());

    // Adding keeps disk and tree in step: the folders of a destination are
    // made on disk and as folder nodes, and files from another folder are
    // copied into the destination's folder (asking before any overwrite).
    // A file gets its element only when it lies in that folder afterwards;
    // those that did not arrive are named in one message. Typed names with
    // "." or ".." components are refused.
    //
    // Files chosen in a file dialog for the current item (the project, a
    // folder or a form); acts only without `dest`.
    void addFilesTo(QString dest = QString());
    // Adds `files` (asked for when empty) to the folder `dest`, under
    // `toNode` with a "url" when that is given.
    void addFiles(QStringList files = QStringList(), QString dest = QString(),
                  QDomNode toNode = QDomNode());
    // The files of the project folder picked in the add-files dialog, each
    // into the folder of its own directory.
    void addFilesDialog();
    // A folder below the current item, its name typed; only without `dest`.
    void addFolderTo(QString dest = QString());
    // A folder at a typed or chosen local name.
    void addFolder(QString name = QString());

    void makeVisible(QObject* o = nullptr);

Q_SIGNALS:
    void projectChanged();
    void loaded();
    void saved();
    void closed();
    void enabled(bool on);
    void message(const QString& text);
    void selectionChanged(QString localName);
    void setNodeOpen(const QDomNode& node, bool open);
    void raised();
    void gotFocus();

private Q_SLOTS:
    void selectionChangedInternal();

private:
    explicit Project(QObject* parent);
    class Private;
    Private* d;
};

} // namespace vexa

#endif

#ifndef VEXA_RECENTFILES_H
#define VEXA_RECENTFILES_H

#include <QObject>
#include <QStringList>

class QAction;
class QMenu;

namespace vexa
{

// The files and projects opened lately, newest first, kept across restarts
// (the newest 10 of each). They are offered in a drop-down on the Open tool
// button (projects, then files), in "Open recent" after File > Open and in
// "Open recent project" after Project > Open project. A chosen entry opens
// through the file-type registry, whose receiver records it again.
class RecentFiles : public QObject
{
    Q_OBJECT
public:
    // The one instance, made on first call as a child of the main window.
    static RecentFiles* self();

    explicit RecentFiles(QObject* parent, const char* name = nullptr);
    // Saves the newest 10 entries of each list and flushes the settings.
    ~RecentFiles() override;

    // Null until integrate() found the Open tool button, and again once that
    // button is gone.
    QMenu* recentMenu() const;
    QMenu* recentFilesMenu() const;
    QMenu* recentProjectsMenu() const;
    // Parallel lists: entry i of the names belongs to entry i of the paths.
    QStringList recentProjects() const;
    QStringList recentProjectsNames() const;

public Q_SLOTS:
    // Hangs the menus on the widgets made for the Open commands; runs after
    // each assembly of the interface.
    void integrate();
    void updateRecentMenu();
    void addRecent(const QString& fileName);
    void removeRecent(const QString& fileName);
    void addRecentProject(const QString& fileName, const QString& name);
    void removeRecentProject(const QString& fileName);

protected Q_SLOTS:
    void openInternal(QAction* item);

private:
    class Private;
    Private* d;
};

} // namespace vexa

#endif

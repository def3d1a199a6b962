#ifndef VEXA_EXPLORER_EXPLORERPANEL_H
#define VEXA_EXPLORER_EXPLORERPANEL_H

#include "vexa/explorer/explorerpanelbase.h"

#include <QByteArray>
#include <QSet>

class QMenu;

namespace vexa
{

class Action;

// The file explorer page of the left dock ("Files"): the files list with its
// back, forward, up, path, options and bookmark buttons, and below it the
// buffer of entries cut or copied for a later paste. It owns the explorer's
// commands; those that act on the list work only while the panel (or one of
// its lists) has the focus. View mode, sort mode, folder and current entry
// are kept across runs.
class ExplorerPanel : public ExplorerPanelBase
{
    Q_OBJECT
public:
    enum ViewMode { TreeView = 0, ListView = 1, DetailedView = 2 };
    enum SortMode { Name = 0, Date = 1, Size = 2 };

    static ExplorerPanel* self();
    ~ExplorerPanel() override;

    // The last value given to setViewMode().
    int viewMode() const;
    // The files list's sort mode.
    int sortMode() const;

    // The commands that are on only while the panel has the focus.
    QList<Action*> focusActions() const;
    QMenu* cdUpMenu() const;
    QMenu* optionsMenu() const;
    QMenu* bookmarkMenu() const;

    // The vertical stretch factors of the files list and the buffer list
    // that give the buffer the height of its entries plus 25 px, at most a
    // third of the space; false (factors unchanged) when there is no height
    // to share.
    static bool bufferStretch(int filesHeight, int bufferHeight, bool bufferShown, int entries,
                              int entryHeight, int* filesStretch, int* bufferStretch);

public Q_SLOTS:
    // Focuses the files list and reports the focus.
    void setFocus();
    // The panel's commands are on exactly while `o` is the panel.
    void focusChanged(QObject* o);
    // Null: raise this page in the left dock. Otherwise: the dock now shows
    // `o`; the page's tab is on exactly when `o` is this panel, which then
    // takes the keyboard focus.
    void makeVisible(QObject* o = nullptr);
    void setViewMode(int mode);
    void setSortMode(int mode);
    void back();
    void forward();
    void setCurrentLast();
    void setCurrentFirst();
    // -1: one folder up. n: the folder at depth n of the current path (0 the root).
    void cdUp(int level = -1);
    void selectPath();
    void newFolder();
    void open();
    void cut();
    void copy();
    void paste();
    void erase();
    // Shows the buffer, or hides and empties it (and ends the greying of cut entries).
    void showBuffer(bool show = false);
    void showBookmarkMenu();
    void aboutToShowBookmarkMenu();
    void activatedBookmarkMenu(int id);
    void manageBookmarks();
    void addBookmark();
    void showActionMenu();
    // The menu of the current folder and its parents, rebuilt.
    QMenu* pathMenu();

Q_SIGNALS:
    void gotFocus();
    void raised();

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    explicit ExplorerPanel(QWidget* parent);
    // Takes the entries of these paths out of the buffer; the cut ones left
    // stay grey in the files list.
    void dropFromBuffer(const QSet<QByteArray>& paths);
    class Private;
    Private* d;
};

} // namespace vexa

#endif

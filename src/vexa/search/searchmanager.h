#ifndef VEXA_SEARCH_SEARCHMANAGER_H
#define VEXA_SEARCH_SEARCHMANAGER_H

#include <QObject>

namespace vexa
{

// The commands of the Search menu and tool bar on the current editor: Find,
// Find Next, Replace (with a question per match unless "Replace All" is
// ticked), Go to Line, and the search-in-files dialog. The find, replace and
// go-to-line dialogs are made on first use and kept; a child of the main window.
class SearchManager : public QObject
{
    Q_OBJECT
public:
    static SearchManager* self();
    ~SearchManager() override;

    // Stops a running search in files; true when one ran. It unwinds once
    // the caller has returned to the event loop.
    static bool stopSearchInFiles();
public Q_SLOTS:
    void findInFiles();
    void findText();
    void findNext();
    void replace();
    void goToLine();

private:
    explicit SearchManager(QObject* parent);

    class Private;
    Private* d;
};

} // namespace vexa

#endif

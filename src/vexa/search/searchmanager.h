#ifndef VEXA_SEARCH_SEARCHMANAGER_H
#define VEXA_SEARCH_SEARCHMANAGER_H

#include <QObject>

namespace vexa
{

// Find, replace, go to line and search in files; a child of the main window.
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

private:
    explicit SearchManager(QObject* parent);
};

} // namespace vexa

#endif

#ifndef VEXA_BOOKMARKS_BOOKMARKS_H
#define VEXA_BOOKMARKS_BOOKMARKS_H

#include <QMap>
#include <QObject>
#include <QString>

namespace vexa
{

class BookmarksDialog;

// Named path bookmarks by category, kept in the settings as
// "/bookmarks/categories" (the categories), "/bookmarks/bookmarks_<category>"
// (its names) and "/bookmarks/bookmark_<name>" (the URL of a name). They are
// written whenever they change (add, manage OK) and at exit, so a crash loses
// none; URL keys of names no longer listed are removed then.
class Bookmarks : public QObject
{
    Q_OBJECT
public:
    // The store, loaded from the settings on the first call.
    static Bookmarks* self();
    ~Bookmarks() override;

    // A copy of the category's name-to-URL map; an unknown category is added
    // with no names.
    QMap<QString, QString> bookmarks(const QString& category);
    // The manage dialog; null until first shown.
    BookmarksDialog* dialog() const;
    // Writes the store to the settings and the settings to disk; false when
    // the disk write failed.
    bool save();
    // The settings key that holds the URL of a name. The name stands in it
    // unchanged, except for the characters the settings would read as key
    // separators or fold away ("\", doubled or trailing "/") and "%", which
    // are written as %XX, so that every name keeps its own key.
    static QString urlKey(const QString& name);

public Q_SLOTS:
    // Runs the manage dialog; OK replaces the category by its rows.
    void showManageDialog(const QString& category);
    // Sets the URL of a name, replacing an earlier one of that name.
    void addBookmark(const QString& category, const QString& name, const QString& url);

private:
    explicit Bookmarks(QObject* parent);
    // Saves and says so in a message box when the disk write failed.
    void saveOrReport();
    class Private;
    Private* d;
};

} // namespace vexa

#endif

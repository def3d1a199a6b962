#include "vexa/bookmarks/bookmarks.h"

#include "vexa/bookmarks/bookmarksdialog.h"
#include "vexa/message.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QSet>
#include <QStringList>

namespace vexa
{

using Category = QMap<QString, QString>;

class Bookmarks::Private
{
public:
    static Bookmarks* self;
    BookmarksDialog* dialog = nullptr;
    QMap<QString, Category> bookmarks;
    // Every name whose URL key is in the settings now, so that the keys of
    // names no longer listed can be removed.
    QSet<QString> stored;
};

Bookmarks* Bookmarks::Private::self = nullptr;

Bookmarks* Bookmarks::self()
{
    if (!Private::self)
        new Bookmarks(Shell::self());
    return Private::self;
}

Bookmarks::Bookmarks(QObject* parent) : QObject(parent), d(new Private)
{
    Private::self = this;
    const QStringList categories = Settings::readList(QStringLiteral("/bookmarks/categories"));
    for (const QString& category : categories) {
        Category map;
        const QStringList names =
            Settings::readList(QStringLiteral("/bookmarks/bookmarks_") + category);
        for (const QString& name : names) {
            map.insert(name, Settings::read(urlKey(name)));
            d->stored.insert(name);
        }
        d->bookmarks.insert(category, map);
    }
}

Bookmarks::~Bookmarks()
{
    // The dialog writes its size first, so the one save carries it too.
    delete d->dialog;
    if (!save())
        qWarning("vexa::Bookmarks: the bookmarks could not be written to disk");
    if (Private::self == this)
        Private::self = nullptr;
    delete d;
}

QString Bookmarks::urlKey(const QString& name)
{
    QString key = QStringLiteral("/bookmarks/bookmark_");
    key.reserve(key.size() + name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c == QLatin1Char('%'))
            key += QLatin1String("%25");
        else if (c == QLatin1Char('\\'))
            key += QLatin1String("%5C");
        else if (c == QLatin1Char('/') &&
                 (i + 1 == name.size() || name.at(i + 1) == QLatin1Char('/')))
            key += QLatin1String("%2F");
        else
            key += c;
    }
    return key;
}

QMap<QString, QString> Bookmarks::bookmarks(const QString& category)
{
    return d->bookmarks[category];
}

BookmarksDialog* Bookmarks::dialog() const
{
    return d->dialog;
}

bool Bookmarks::save()
{
    QSet<QString> listed;
    for (const Category& map : std::as_const(d->bookmarks))
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            listed.insert(it.key());
    // Removed first: removing a name's key also removes the keys below it,
    // which other names (longer paths) may own and which are written next.
    for (const QString& name : std::as_const(d->stored))
        if (!listed.contains(name))
            Settings::remove(urlKey(name));
    QStringList categories;
    for (auto c = d->bookmarks.cbegin(); c != d->bookmarks.cend(); ++c) {
        QStringList names;
        for (auto it = c->cbegin(); it != c->cend(); ++it) {
            names.append(it.key());
            Settings::write(urlKey(it.key()), it.value());
        }
        Settings::write(QStringLiteral("/bookmarks/bookmarks_") + c.key(), names);
        categories.append(c.key());
    }
    Settings::write(QStringLiteral("/bookmarks/categories"), categories);
    d->stored = listed;
    return Settings::forceWrite();
}

void Bookmarks::saveOrReport()
{
    if (!save())
        Message::warning(
            tr("Bookmarks"),
            tr("The bookmarks could not be written to %1.").arg(Settings::self()->fileName()),
            QString());
}

void Bookmarks::showManageDialog(const QString& category)
{
    if (!d->dialog)
        d->dialog = new BookmarksDialog(Shell::self());
    d->dialog->setBookmarks(d->bookmarks[category]);
    if (d->dialog->exec() != QDialog::Accepted)
        return;
    d->bookmarks[category] = d->dialog->bookmarks();
    d->dialog->saveSize();
    saveOrReport();
}

void Bookmarks::addBookmark(const QString& category, const QString& name, const QString& url)
{
    d->bookmarks[category].insert(name, url);
    saveOrReport();
}

} // namespace vexa

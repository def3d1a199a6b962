#ifndef XQWIDGETS_XQTOOLS_NAVIGATOR_H
#define XQWIDGETS_XQTOOLS_NAVIGATOR_H

#include <QList>

namespace xqwidgets
{

// A back/forward history of visited places, like a browser's. The entries
// are kept oldest first; the current one is held by its index, because list
// iterators do not survive the erase that go() does. Nothing here depends on
// T beyond copying, assigning and default construction.
template <class T> class Navigator
{
public:
    Navigator() = default;

    // Drops every entry after the current one, appends `entry` and makes it
    // current. Going to the place already shown adds a second entry.
    T go(const T& entry)
    {
        if (current >= 0)
            urls.erase(urls.begin() + current + 1, urls.end());
        urls.append(entry);
        current = urls.size() - 1;
        return urls.at(current);
    }

    // One entry back, or a default T (and no move) at the first entry.
    T back()
    {
        if (!isBackEnabled())
            return T();
        --current;
        return urls.at(current);
    }

    // One entry forward, or a default T (and no move) at the last entry.
    T forward()
    {
        if (!isForwardEnabled())
            return T();
        ++current;
        return urls.at(current);
    }

    bool isBackEnabled() const { return current > 0; }
    bool isForwardEnabled() const { return current >= 0 && current < urls.size() - 1; }

    // The current entry, to be updated in place. On an empty history there is
    // none: a scratch entry, reset on every such call, takes the writes.
    T& url()
    {
        if (current < 0) {
            scratch = T();
            return scratch;
        }
        return urls[current];
    }

    // A home entry; no other operation uses it.
    T home() const { return home_url; }
    void setHome(const T& entry) { home_url = entry; }

private:
    T home_url;
    QList<T> urls;
    qsizetype current = -1;
    T scratch;
};

} // namespace xqwidgets

#endif

#ifndef XQWIDGETS_HELPERS_H
#define XQWIDGETS_HELPERS_H

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace xqwidgets
{

// Directory, size and date helpers shared by the widget library and the
// application (vexa::Utils forwards to these).
class Utils
{
public:
    Utils() = delete;

    // Creates every missing directory of the path, level by level. True when
    // the whole path exists as a directory afterwards; false at the first
    // level that cannot be made (the levels made so far stay) and for an
    // empty path. Relative paths start at the working directory.
    static bool createDirectory(const QString& path);

    // A short size text: "%3d" bytes followed by "b", else one of "%1.2f",
    // "%2.1f", "%3.0f" (chosen by the integer part) followed by K, M or G.
    static QString humanReadableSize(quint64 size);

    // "h:mm" for a moment of today, "d MMM" for another day of this year,
    // "d MMM yy" for another year; month names as the locale writes them.
    static QString humanReadableDateTime(const QDateTime& dt);

    // `name` shortened, where need be, so that `added` more bytes still make
    // a name the file system takes (NAME_MAX): a name too long keeps its
    // start, cut at a character's edge, and ends in a digest of the whole
    // name, so that two long names stay apart and the same name always
    // gives the same result.
    static QByteArray fittedFileName(const QByteArray& name, int added);
};

} // namespace xqwidgets

#endif

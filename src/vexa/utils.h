#ifndef VEXA_UTILS_H
#define VEXA_UTILS_H

#include <QByteArray>
#include <QDateTime>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QTreeWidgetItem>

class QScreen;
class QTreeWidget;

namespace vexa
{

// Shared static services: the built-in icons by name, base64, long strings
// in the settings, and the size, date and directory helpers.
class Utils
{
public:
    Utils() = delete;

    // The built-in image "<name>.png", decoded once and kept in the pixmap
    // cache under the name. A name without an image gives a null pixmap and
    // one debug line. Returned by value: the cache may drop its copy anytime.
    static QPixmap icon(const QString& name);
    // The icon with a greyed image for the disabled mode, cached as "<name>__gray".
    static QIcon iconSet(const QString& name);
    static QIcon iconSet(const QString& smallPix, const QString& largePix);
    // A greyed, faded copy: grey = (r + g + b) / 3, alpha * 0.35. The given
    // image is left as it is.
    static QImage makeDisabledImage(const QImage& img);

    // Base64 with CR LF line breaks after each 72 characters of full groups.
    static QByteArray encodeBase64(const QByteArray& data);
    // Skips anything outside the alphabet; a "=" ends the data.
    static QByteArray decodeBase64(const QByteArray& data);
    static QPixmap pix(const QByteArray& data);
    static QByteArray pixData(const QString& fname);

    // A string of any length, stored in chunks of 8192 characters under
    // "<key>/data_count" and "<key>/data_<i>", outside the application prefix.
    static void saveLongString(const QString& key, const QString& val);
    static QString loadLongString(const QString& key, const QString& def = QString());

    static bool createDirectory(const QString& d);
    static QString humanReadableSize(quint64 size);
    // Whether a font's size (points, or pixels when it has no point size)
    // lies in the range a screen can show, 4 to 200 points; a stored font
    // outside it is replaced by the default.
    static bool hasUsableSize(const QFont& font);
    static QString humanReadableDateTime(const QDateTime& dt);

    // A window's stored place and size brought onto a screen: `screen`, else
    // the one that holds the place, else the primary one. A width or height
    // of 0 or less is the fallback's, a larger one than the screen is cut to
    // it (a stored 2147483647 would ask for a window of gigabytes), and the
    // window never starts outside the screen. With no screen at all, the
    // fallback.
    static QRect fitToScreen(const QPoint& at, const QSize& size, const QRect& fallback,
                             const QScreen* screen = nullptr);
    // The size of a dialog stored under two keys (the fallback where a key is
    // absent), fitted to the screen the dialog is on.
    static QSize storedDialogSize(const QString& widthKey, const QString& heightKey,
                                  const QSize& fallback, const QWidget* dialog);

    // Whether val ends with one of the blank-separated endings of pattern
    // (case-sensitive; no wildcards).
    static bool fast_match(const QString& pattern, const QString& val);
};

// A folder of a tree that lists its sub-folders when it is first opened.
// The owner of the tree connects QTreeWidget::itemExpanded/itemCollapsed to
// setOpen(true/false) of the item.
class DirectoryItem : public QTreeWidgetItem
{
public:
    DirectoryItem(QTreeWidget* p, const QString& label, const QString& absName);
    DirectoryItem(DirectoryItem* p, const QString& name);
    ~DirectoryItem() override;

    // The folder's full path, ending with the directory separator.
    QString fullName() const;
    virtual void setOpen(bool o);

protected:
    // Decides whether the item shows an expand indicator.
    virtual void setup();

private:
    QString fileName;
};

} // namespace vexa

#endif

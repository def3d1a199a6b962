#include "vexa/utils.h"

#include "vexa/settings.h"
#include "xqwidgets/helpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmapCache>
#include <QScreen>
#include <QSet>
#include <QTreeWidget>

#include <algorithm>

// The icon set is compiled into the static library; referencing its
// initialiser keeps the linker from dropping it.
static void initIconResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(vexa_icons);
        return true;
    }();
    Q_UNUSED(done);
}

namespace vexa
{

QPixmap Utils::icon(const QString& name)
{
    QPixmap pm;
    if (QPixmapCache::find(name, &pm))
        return pm;
    initIconResources();
    if (!pm.load(QStringLiteral(":/icons/") + name + QStringLiteral(".png"))) {
        // Said once per name, however often the cache drops the empty entry.
        static QSet<QString> reported;
        if (!reported.contains(name)) {
            reported.insert(name);
            qDebug("Utils::icon: %s.png not found", qPrintable(name));
        }
        return QPixmap();
    }
    QPixmapCache::insert(name, pm);
    return pm;
}

QIcon Utils::iconSet(const QString& name)
{
    const QPixmap normal = icon(name);
    const QString grayKey = name + QStringLiteral("__gray");
    QPixmap gray;
    if (!QPixmapCache::find(grayKey, &gray)) {
        if (!normal.isNull())
            gray = QPixmap::fromImage(makeDisabledImage(normal.toImage()));
        QPixmapCache::insert(grayKey, gray);
    }
    QIcon result(normal);
    if (!gray.isNull())
        result.addPixmap(gray, QIcon::Disabled, QIcon::Off);
    return result;
}

QIcon Utils::iconSet(const QString& smallPix, const QString& largePix)
{
    QIcon result;
    result.addPixmap(icon(smallPix));
    result.addPixmap(icon(largePix));
    return result;
}

QImage Utils::makeDisabledImage(const QImage& img)
{
    // Non-premultiplied, so the colour channels keep their values when the
    // alpha is lowered.
    QImage out = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            const int grey = (qRed(p) + qGreen(p) + qBlue(p)) / 3;
            const int alpha = int(qAlpha(p) * 0.35);
            line[x] = qRgba(grey, grey, grey, alpha);
        }
    }
    return out;
}

static const char base64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

QByteArray Utils::encodeBase64(const QByteArray& data)
{
    QByteArray out;
    out.reserve(data.size() * 4 / 3 + data.size() / 27 + 8);
    const auto* s = reinterpret_cast<const unsigned char*>(data.constData());
    const int n = data.size();
    int i = 0;
    int lineLength = 0;
    for (; i + 2 < n; i += 3) {
        if (lineLength > 69) {
            out += "\r\n";
            lineLength = 0;
        }
        out += base64Alphabet[s[i] >> 2];
        out += base64Alphabet[((s[i] & 0x03) << 4) | (s[i + 1] >> 4)];
        out += base64Alphabet[((s[i + 1] & 0x0f) << 2) | (s[i + 2] >> 6)];
        out += base64Alphabet[s[i + 2] & 0x3f];
        lineLength += 4;
    }
    if (n - i == 1) {
        out += base64Alphabet[s[i] >> 2];
        out += base64Alphabet[(s[i] & 0x03) << 4];
        out += "==";
    } else if (n - i == 2) {
        out += base64Alphabet[s[i] >> 2];
        out += base64Alphabet[((s[i] & 0x03) << 4) | (s[i + 1] >> 4)];
        out += base64Alphabet[(s[i + 1] & 0x0f) << 2];
        out += '=';
    }
    return out;
}

QByteArray Utils::decodeBase64(const QByteArray& data)
{
    enum { Skip = -1, End = -2, Absent = -3 };
    static const auto table = [] {
        std::array<int, 256> t;
        t.fill(Skip);
        for (int v = 0; v < 64; ++v)
            t[static_cast<unsigned char>(base64Alphabet[v])] = v;
        t['='] = End;
        return t;
    }();

    QByteArray out;
    out.reserve(data.size() * 3 / 4);
    int pos = 0;
    const int n = data.size();
    while (pos < n) {
        int sym[4];
        for (int& s : sym) {
            s = Absent;
            while (pos < n) {
                const int v = table[static_cast<unsigned char>(data.at(pos++))];
                if (v != Skip) {
                    s = v;
                    break;
                }
            }
        }
        // A group that starts with "=" is malformed: take it as the end.
        if (sym[0] < 0 || sym[1] < 0)
            break;
        out += char((sym[0] << 2) | (sym[1] >> 4));
        if (sym[2] < 0)
            break;
        out += char(((sym[1] & 0x0f) << 4) | (sym[2] >> 2));
        if (sym[3] < 0)
            break;
        out += char(((sym[2] & 0x03) << 6) | sym[3]);
    }
    return out;
}

QPixmap Utils::pix(const QByteArray& data)
{
    QPixmap pm;
    pm.loadFromData(decodeBase64(data));
    return pm;
}

QByteArray Utils::pixData(const QString& fname)
{
    QFile f(fname);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return encodeBase64(f.readAll());
}

static const int longStringChunk = 8192;

void Utils::saveLongString(const QString& key, const QString& val)
{
    QSettings* s = Settings::self();
    const int count = int(val.size() / longStringChunk) + 1;
    s->setValue(key + QStringLiteral("/data_count"), count);
    for (int i = 0; i < count; ++i)
        s->setValue(key + QStringLiteral("/data_") + QString::number(i),
                    val.mid(qsizetype(i) * longStringChunk, longStringChunk));
}

QString Utils::loadLongString(const QString& key, const QString& def)
{
    QSettings* s = Settings::self();
    const int count = s->value(key + QStringLiteral("/data_count"), 0).toInt();
    if (count <= 0)
        return def;
    // A damaged count must not make us loop over billions of absent chunks:
    // the value ends at the first chunk that isn't there.
    QString result;
    for (int i = 0; i < count; ++i) {
        const QString chunkKey = key + QStringLiteral("/data_") + QString::number(i);
        if (!s->contains(chunkKey))
            break;
        result += s->value(chunkKey).toString();
    }
    return result;
}

bool Utils::createDirectory(const QString& d)
{
    return xqwidgets::Utils::createDirectory(d);
}

QString Utils::humanReadableSize(quint64 size)
{
    return xqwidgets::Utils::humanReadableSize(size);
}

bool Utils::hasUsableSize(const QFont& font)
{
    constexpr qreal minPoints = 4;
    constexpr qreal maxPoints = 200;
    if (font.pointSizeF() > 0)
        return font.pointSizeF() >= minPoints && font.pointSizeF() <= maxPoints;
    // At the usual 96 dots per inch.
    return font.pixelSize() >= minPoints * 96 / 72 && font.pixelSize() <= maxPoints * 96 / 72;
}

QString Utils::humanReadableDateTime(const QDateTime& dt)
{
    return xqwidgets::Utils::humanReadableDateTime(dt);
}

QRect Utils::fitToScreen(const QPoint& at, const QSize& stored, const QRect& fallback,
                         const QScreen* screen)
{
    // Not a QRect: its corners would overflow for a size near the int limit.
    QSize size = stored;
    if (size.width() <= 0)
        size.setWidth(fallback.width());
    if (size.height() <= 0)
        size.setHeight(fallback.height());
    if (!screen)
        screen = QGuiApplication::screenAt(at);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen) // nothing to fit into
        return fallback;
    const QRect area = screen->availableGeometry();
    size = size.boundedTo(area.size());
    // In 64 bits: a stored corner near the int limits must not overflow.
    const auto place = [](int pos, int length, int start, int room) {
        return int(std::clamp<qint64>(pos, start, qint64(start) + room - length));
    };
    return QRect(place(at.x(), size.width(), area.x(), area.width()),
                 place(at.y(), size.height(), area.y(), area.height()), size.width(),
                 size.height());
}

QSize Utils::storedDialogSize(const QString& widthKey, const QString& heightKey,
                              const QSize& fallback, const QWidget* dialog)
{
    const QSize stored(Settings::readNum(widthKey, fallback.width()),
                       Settings::readNum(heightKey, fallback.height()));
    return fitToScreen(QPoint(), stored, QRect(QPoint(), fallback),
                       dialog ? dialog->screen() : nullptr)
        .size();
}

bool Utils::fast_match(const QString& pattern, const QString& val)
{
    const QStringList endings = pattern.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& e : endings)
        if (val.endsWith(e))
            return true;
    return false;
}

// --------------------------------------------------------- DirectoryItem

DirectoryItem::DirectoryItem(QTreeWidget* p, const QString& label, const QString& absName)
    : QTreeWidgetItem(p), fileName(absName)
{
    if (!fileName.endsWith(QDir::separator()))
        fileName += QDir::separator();
    setText(0, label);
    setIcon(0, Utils::icon(QStringLiteral("22x22_FolderRed")));
    setup();
    setOpen(false);
}

DirectoryItem::DirectoryItem(DirectoryItem* p, const QString& name)
    : QTreeWidgetItem(p), fileName(name)
{
    setText(0, name);
    setIcon(0, Utils::icon(QStringLiteral("22x22_Folder")));
    setup();
    setOpen(false);
}

DirectoryItem::~DirectoryItem() = default;

QString DirectoryItem::fullName() const
{
    if (auto* p = dynamic_cast<DirectoryItem*>(parent()))
        return p->fullName() + fileName + QDir::separator();
    return fileName;
}

void DirectoryItem::setOpen(bool o)
{
    if (parent())
        setIcon(0, Utils::icon(o ? QStringLiteral("22x22_FolderOpen")
                                 : QStringLiteral("22x22_Folder")));

    if (o && childCount() == 0) {
        const QString path = fullName();
        const QFileInfo info(path);
        if (!info.exists() || !info.isReadable()) {
            setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
            setIcon(0, Utils::icon(info.exists() ? QStringLiteral("22x22_FolderLocked")
                                                 : QStringLiteral("22x22_FolderNoExists")));
            setExpanded(false);
            return;
        }
        QTreeWidget* view = treeWidget();
        if (view)
            view->setUpdatesEnabled(false);
        const QStringList dirs =
            QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
        for (const QString& name : dirs)
            new DirectoryItem(this, name);
        if (view)
            view->setUpdatesEnabled(true);
    }
    setExpanded(o);
}

void DirectoryItem::setup()
{
    const QString path = fullName();
    if (QFileInfo(path).isReadable()) {
        const bool hasEntries =
            !QDir(path)
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
                 .isEmpty();
        setChildIndicatorPolicy(hasEntries ? QTreeWidgetItem::ShowIndicator
                                           : QTreeWidgetItem::DontShowIndicator);
    } else {
        setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
        setIcon(0, Utils::icon(QStringLiteral("22x22_FolderLocked")));
    }
}

} // namespace vexa

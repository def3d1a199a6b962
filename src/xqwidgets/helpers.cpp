#include "xqwidgets/helpers.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocale>
#include <QStringList>

#include <climits>

namespace xqwidgets
{

QByteArray Utils::fittedFileName(const QByteArray& name, int added)
{
    const qsizetype room = NAME_MAX - added;
    if (name.size() <= room)
        return name;
    const QByteArray digest =
        '~' + QCryptographicHash::hash(name, QCryptographicHash::Md5).toHex().left(16);
    qsizetype keep = qMax<qsizetype>(0, room - digest.size());
    // Not inside a UTF-8 sequence: its continuation bytes are 10xxxxxx.
    while (keep > 0 && (quint8(name.at(keep)) & 0xC0) == 0x80)
        --keep;
    return name.left(keep) + digest;
}

bool Utils::createDirectory(const QString& path)
{
    const QChar sep = QDir::separator();
    QString p = path;
    p.replace(QLatin1Char('/'), sep);
    const QStringList pieces = p.split(sep, Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return p.startsWith(sep); // the root exists; an empty path names nothing

    // Every level is tested and made, the first one included: a single-level
    // path that cannot be made must not be reported as made.
    QString current = p.startsWith(sep) ? QString(sep) : QString();
    for (int i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            current += sep;
        current += pieces.at(i);
        if (!QDir(current).exists() && !QDir().mkdir(current))
            return false;
    }
    return true;
}

QString Utils::humanReadableSize(quint64 size)
{
    if (size < 1024)
        return QString::asprintf("%3d", int(size)) + QLatin1Char('b');

    // The value is held in single precision, as the texts have always been.
    float value;
    char unit;
    if (size < 1048576) {
        value = float(size) * (1.0f / 1024.0f);
        unit = 'K';
    } else if (size < 1073741824) {
        value = float(size) * (1.0f / 1048576.0f);
        unit = 'M';
    } else {
        value = float(size) * (1.0f / 1073741824.0f);
        unit = 'G';
    }
    // The format follows the integer part before rounding: 10235 bytes give "10.00K".
    const auto whole = static_cast<quint64>(value);
    const char* format = whole <= 9 ? "%1.2f" : whole <= 99 ? "%2.1f" : "%3.0f";
    return QString::asprintf(format, double(value)) + QLatin1Char(unit);
}

QString Utils::humanReadableDateTime(const QDateTime& dt)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    if (dt.date().year() != now.date().year())
        return locale.toString(dt, QStringLiteral("d MMM yy"));
    if (dt.date() != now.date())
        return locale.toString(dt, QStringLiteral("d MMM"));
    return locale.toString(dt, QStringLiteral("h:mm"));
}

} // namespace xqwidgets

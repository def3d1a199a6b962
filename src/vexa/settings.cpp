#include "vexa/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>

namespace vexa
{

class Settings::Private
{
public:
    static Settings* self;
    static QString prefix;
    static QString appName;
    static QString installPath;

    static QString key(const QString& k) { return prefix + k; }
    // A damaged line in the file leaves QSettings reporting FormatError for
    // good, although it keeps what it could read and writes a clean file at
    // the next flush; only a file that can't be written makes a write fail.
    static bool writeOk(Settings* s)
    {
        return s->isWritable() && s->status() != QSettings::AccessError;
    }
    static void setOk(bool* ok, bool v)
    {
        if (ok)
            *ok = v;
    }
};

Settings* Settings::Private::self = nullptr;
QString Settings::Private::prefix = QStringLiteral("/");
QString Settings::Private::appName = QStringLiteral("vexa");
QString Settings::Private::installPath;

// The organisation name must be in place before the QSettings base is built,
// because the default constructor picks its file from it.
static bool ensureOrganization()
{
    if (QCoreApplication::organizationName().isEmpty())
        QCoreApplication::setOrganizationName(QStringLiteral("vexa"));
    return true;
}

Settings::Settings() : QSettings((ensureOrganization(), static_cast<QObject*>(nullptr))) {}

Settings::~Settings() = default;

Settings* Settings::self()
{
    if (!Private::self)
        Private::self = new Settings();
    return Private::self;
}

QString& Settings::keyPrefix()
{
    return Private::prefix;
}

void Settings::setKeyPrefix(const QString& prefix)
{
    Private::prefix = prefix;
}

QString& Settings::appName()
{
    return Private::appName;
}

void Settings::setAppName(const QString& name)
{
    Private::appName = name;
}

QString& Settings::installPath()
{
    return Private::installPath;
}

void Settings::setInstallPath(const QString& path)
{
    Private::installPath = path;
    if (!Private::installPath.endsWith(QDir::separator()))
        Private::installPath += QDir::separator();
}

QStringList Settings::readList(const QString& k, bool* ok)
{
    const QString key = Private::key(k);
    Settings* s = self();
    if (!s->contains(key)) {
        Private::setOk(ok, false);
        return QStringList();
    }
    // An empty list is stored as an invalid value; a one-element list comes
    // back as a plain string: both convert to the list that was written.
    const QVariant v = s->value(key);
    Private::setOk(ok, true);
    if (!v.isValid())
        return QStringList();
    return v.toStringList();
}

QStringList Settings::readList(const QString& k, const QChar& sep, bool* ok)
{
    bool found = false;
    const QString text = read(k, QString(), &found);
    Private::setOk(ok, found);
    if (!found || text.isEmpty())
        return QStringList();
    return text.split(sep);
}

QString Settings::read(const QString& k, const QString& def, bool* ok)
{
    const QString key = Private::key(k);
    Settings* s = self();
    if (!s->contains(key)) {
        Private::setOk(ok, false);
        return def;
    }
    const QVariant v = s->value(key);
    if (v.canConvert<QString>()) {
        Private::setOk(ok, true);
        return v.toString();
    }
    Private::setOk(ok, false);
    return def;
}

int Settings::readNum(const QString& k, int def, bool* ok)
{
    bool found = false;
    const QString text = read(k, QString(), &found);
    bool converted = false;
    const int v = found ? text.trimmed().toInt(&converted) : 0;
    Private::setOk(ok, converted);
    return converted ? v : def;
}

double Settings::readDouble(const QString& k, double def, bool* ok)
{
    bool found = false;
    const QString text = read(k, QString(), &found);
    bool converted = false;
    const double v = found ? text.trimmed().toDouble(&converted) : 0.0;
    Private::setOk(ok, converted);
    return converted ? v : def;
}

bool Settings::readBool(const QString& k, bool def, bool* ok)
{
    // Parsed strictly: QVariant would take any text but "0" and "false" as
    // true, so a damaged value would silently switch an option on.
    bool found = false;
    const QString text = read(k, QString(), &found).trimmed().toLower();
    if (found) {
        if (text == QLatin1String("true") || text == QLatin1String("on") ||
            text == QLatin1String("yes") || text == QLatin1String("1")) {
            Private::setOk(ok, true);
            return true;
        }
        if (text == QLatin1String("false") || text == QLatin1String("off") ||
            text == QLatin1String("no") || text == QLatin1String("0")) {
            Private::setOk(ok, true);
            return false;
        }
    }
    Private::setOk(ok, false);
    return def;
}

bool Settings::write(const QString& k, bool v)
{
    self()->setValue(Private::key(k), v);
    return Private::writeOk(self());
}

bool Settings::write(const QString& k, double v)
{
    self()->setValue(Private::key(k), v);
    return Private::writeOk(self());
}

bool Settings::write(const QString& k, int v)
{
    self()->setValue(Private::key(k), v);
    return Private::writeOk(self());
}

bool Settings::write(const QString& k, const char* v)
{
    return write(k, QString::fromUtf8(v));
}

bool Settings::write(const QString& k, const QString& v)
{
    self()->setValue(Private::key(k), v);
    return Private::writeOk(self());
}

bool Settings::write(const QString& k, const QStringList& v)
{
    self()->setValue(Private::key(k), v);
    return Private::writeOk(self());
}

bool Settings::write(const QString& k, const QStringList& v, const QChar& sep)
{
    return write(k, v.join(sep));
}

bool Settings::remove(const QString& k)
{
    self()->QSettings::remove(Private::key(k));
    return Private::writeOk(self());
}

bool Settings::forceWrite()
{
    if (!Private::self)
        return true;
    // The store's error status never goes back to "no error" once set, so
    // after an earlier failure whether this write can land is asked of the
    // file system: a replacement of the file must be possible (the write
    // itself goes to a temporary file renamed over the old one).
    const bool failedBefore = Private::self->status() != QSettings::NoError;
    Private::self->sync();
    bool written = Private::self->status() == QSettings::NoError;
    if (failedBefore) {
        QSaveFile probe(Private::self->fileName());
        written = probe.open(QIODevice::WriteOnly);
        probe.cancelWriting();
    }
    if (!written)
        qWarning("vexa::Settings: could not write the settings to %s",
                 qPrintable(Private::self->fileName()));
    return written;
}

} // namespace vexa

#ifndef VEXA_SETTINGS_H
#define VEXA_SETTINGS_H

#include <QSettings>
#include <QStringList>

namespace vexa
{

// The application's one settings store. Every static operation puts the key
// prefix ("/vexa" once start-up has set it) in front of the caller's key.
//
// One file for everything: the store is a default-constructed QSettings, and
// self() gives the application an organisation name ("vexa") when it has none.
// So any other default-constructed QSettings of the process (the style menu's
// "/qt/style", the editing component's "/xqeditor/hl/..." when it was given no
// QSettings) resolves to the very same file, and Qt shares the in-memory state
// of QSettings objects on one file within a process. The editing component can
// also be handed self() directly: TextEditorManager::setGlobalConfig(Settings::self()).
// That pointer stays valid for the whole run because forceWrite() flushes
// without destroying the object.
class Settings : public QSettings
{
    Q_OBJECT
public:
    static Settings* self();

    static QString& keyPrefix();
    static void setKeyPrefix(const QString& prefix);
    static QString& appName();
    static void setAppName(const QString& name);
    static QString& installPath();
    static void setInstallPath(const QString& path);

    static QStringList readList(const QString& k, bool* ok = nullptr);
    static QStringList readList(const QString& k, const QChar& sep, bool* ok = nullptr);
    static QString read(const QString& k, const QString& def = QString(), bool* ok = nullptr);
    static int readNum(const QString& k, int def = 0, bool* ok = nullptr);
    static double readDouble(const QString& k, double def = 0.0, bool* ok = nullptr);
    static bool readBool(const QString& k, bool def = false, bool* ok = nullptr);

    static bool write(const QString& k, bool v);
    static bool write(const QString& k, double v);
    static bool write(const QString& k, int v);
    static bool write(const QString& k, const char* v);
    static bool write(const QString& k, const QString& v);
    static bool write(const QString& k, const QStringList& v);
    static bool write(const QString& k, const QStringList& v, const QChar& sep);
    static bool remove(const QString& k);

    // Writes every pending change to disk. The store stays alive, so pointers
    // handed out earlier remain valid. False when the file could not be
    // written (the file on disk is then left as it was).
    static bool forceWrite();

private:
    Settings();
    ~Settings() override;

    class Private;
};

} // namespace vexa

#endif

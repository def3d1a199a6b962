#ifndef VEXA_TESTS_TESTSANDBOX_H
#define VEXA_TESTS_TESTSANDBOX_H

// Every test executable runs with a throwaway HOME, configuration and runtime
// folder, so that no test reads or writes real settings. CTest gives each
// test its own (and says so in VEXA_TEST_SANDBOX); a test executable started
// directly makes one here, before the application object reads them, and
// runs offscreen unless told otherwise. The folder goes when the test ends.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace testsandbox
{

inline void setUp()
{
    if (qEnvironmentVariableIsSet("VEXA_TEST_SANDBOX"))
        return;
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vexa-test-XXXXXX"));
    if (!dir.isValid())
        qFatal("cannot make a throwaway test folder in %s", qPrintable(QDir::tempPath()));
    const QDir root(dir.path());
    for (const char* sub : {"home", "config", "runtime"})
        root.mkpath(QLatin1String(sub));
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", QFile::encodeName(root.filePath(QStringLiteral("home"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("config"))));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root.filePath(QStringLiteral("runtime"))));
    qputenv("QTDIR", QByteArray());
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VEXA_TEST_SANDBOX", QFile::encodeName(dir.path()));
}

// Gives the offscreen platform one screen of that size in place of its own
// 800x600, for a test of windows larger than that; a test under another
// platform (xcb) keeps the screen it has. Call it before the application
// object is made, from a static initializer:
//     const bool screenReady = (testsandbox::useScreen(1280, 1024), true);
inline void useScreen(int width, int height)
{
    setUp();
    if (qgetenv("QT_QPA_PLATFORM") != "offscreen")
        return;
    const QString file = QFile::decodeName(qgetenv("VEXA_TEST_SANDBOX")) + "/screen.json";
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the screen configuration %s", qPrintable(file));
    f.write(QStringLiteral("{ \"screens\": [ { \"name\": \"screen\", \"x\": 0, \"y\": 0, "
                           "\"width\": %1, \"height\": %2 } ] }\n")
                .arg(width)
                .arg(height)
                .toUtf8());
    f.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(file));
}

} // namespace testsandbox

#endif

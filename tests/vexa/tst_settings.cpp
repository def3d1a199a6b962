#include "vexa/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

using vexa::Settings;

class TestSettings : public QObject
{
    Q_OBJECT

    QString fileText() const
    {
        QFile f(Settings::self()->fileName());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    // What start-up does before anything reads a setting; the functions after
    // prefixBeforeStartUp() call it so each also runs alone.
    static void startUp() { Settings::setKeyPrefix("/vexa"); }

private Q_SLOTS:
    void initTestCase()
    {
        // The file the store will use, damaged before the store first reads it.
        const QString dir =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/vexa";
        QVERIFY(dir.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
        QDir().mkpath(dir);
        QFile f(dir + "/" + QCoreApplication::applicationName() + ".conf");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[vexa]\nnum=12abc\nflag=maybe\nflagOn=on\ndbl=1.5x\nempty=\n"
                "this line has no equals sign\n\x01\x02garbage\nafter=kept\n");
        f.close();
        QCOMPARE(Settings::self()->fileName(), f.fileName());
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("vexa"));
    }

    void prefixBeforeStartUp()
    {
        // Before start-up sets the prefix, keys sit at the root of the file.
        QCOMPARE(Settings::keyPrefix(), QStringLiteral("/"));
        QVERIFY(Settings::write("/early", 7));
        QCOMPARE(Settings::self()->value("early").toInt(), 7);
        Settings::setKeyPrefix("/vexa");
        QCOMPARE(Settings::readNum("/early", -1), -1);
    }

    void corruptValuesGiveDefaults()
    {
        startUp();
        bool ok = true;
        QCOMPARE(Settings::readNum("/num", 50, &ok), 50);
        QVERIFY(!ok);
        ok = true;
        QCOMPARE(Settings::readBool("/flag", true, &ok), true);
        QVERIFY(!ok);
        ok = true;
        QCOMPARE(Settings::readBool("/flag", false, &ok), false);
        QVERIFY(!ok);
        QCOMPARE(Settings::readBool("/flagOn", false, &ok), true);
        QVERIFY(ok);
        ok = true;
        QCOMPARE(Settings::readDouble("/dbl", 2.5, &ok), 2.5);
        QVERIFY(!ok);
        ok = true;
        QCOMPARE(Settings::readBool("/empty", true, &ok), true);
        QVERIFY(!ok);
        QCOMPARE(Settings::read("/empty", "def", &ok), QString());
        QVERIFY(ok);
        QCOMPARE(Settings::read("/after", QString(), &ok), QStringLiteral("kept"));
        QVERIFY(ok);
    }

    void missingKeys()
    {
        bool ok = true;
        QCOMPARE(Settings::readNum("/geometry/x", 50, &ok), 50);
        QVERIFY(!ok);
        ok = true;
        QCOMPARE(Settings::read("/nothing", "def", &ok), QStringLiteral("def"));
        QVERIFY(!ok);
        ok = true;
        QCOMPARE(Settings::readList("/nothing", &ok), QStringList());
        QVERIFY(!ok);
        ok = true;
        QCOMPARE(Settings::readList("/nothing", ',', &ok), QStringList());
        QVERIFY(!ok);
        // No flag wanted: null is fine.
        QCOMPARE(Settings::readBool("/nothing", true), true);
    }

    void roundTrip()
    {
        startUp();
        const QString longText = QString("0123456789abcdef").repeated(8000) + "\n=;,\"[x]";
        const QStringList lists[] = {
            {}, {"one"}, {"", "/a/b"}, {"a,b", "c d", "=", "\"q\""}, {"/x", "", "", "/y"}};
        QVERIFY(Settings::write("/geometry/x", 120));
        QVERIFY(Settings::write("/neg", -7));
        QVERIFY(Settings::write("/str", QStringLiteral("h\xe9llo, w\u00f6rld = [x]")));
        QVERIFY(Settings::write("/cstr", "plain text"));
        QVERIFY(Settings::write("/emptyStr", QString("")));
        QVERIFY(Settings::write("/long", longText));
        QVERIFY(Settings::write("/t", true));
        QVERIFY(Settings::write("/f", false));
        QVERIFY(Settings::write("/d", 3.25));
        QVERIFY(Settings::write("/dneg", -1e-9));
        for (int i = 0; i < 5; ++i) {
            QVERIFY(Settings::write(QString("/list%1").arg(i), lists[i]));
            QVERIFY(Settings::write(QString("/sep%1").arg(i), lists[i], ';'));
        }
        Settings* before = Settings::self();
        Settings::forceWrite();
        Settings::forceWrite();             // twice is harmless
        QCOMPARE(Settings::self(), before); // a handed-out pointer stays valid

        const QString text = fileText();
        QVERIFY(text.contains("[vexa]"));
        QVERIFY(text.contains("geometry\\x=120"));
        // The damaged file was rewritten clean, with what could be read of it.
        QVERIFY(text.contains("after=kept"));
        QVERIFY(!text.contains("garbage"));
        QVERIFY(!text.contains("equals sign"));

        bool ok = false;
        QCOMPARE(Settings::readNum("/geometry/x", 50, &ok), 120);
        QVERIFY(ok);
        QCOMPARE(Settings::readNum("/neg"), -7);
        QCOMPARE(Settings::read("/str"), QStringLiteral("h\xe9llo, w\u00f6rld = [x]"));
        QCOMPARE(Settings::read("/cstr"), QStringLiteral("plain text"));
        QCOMPARE(Settings::read("/emptyStr", "def", &ok), QString());
        QVERIFY(ok);
        QCOMPARE(Settings::read("/long"), longText);
        QCOMPARE(Settings::readBool("/t", false, &ok), true);
        QVERIFY(ok);
        QCOMPARE(Settings::readBool("/f", true, &ok), false);
        QVERIFY(ok);
        QCOMPARE(Settings::readDouble("/d"), 3.25);
        QCOMPARE(Settings::readDouble("/dneg"), -1e-9);
        for (int i = 0; i < 5; ++i) {
            ok = false;
            QCOMPARE(Settings::readList(QString("/list%1").arg(i), &ok), lists[i]);
            QVERIFY2(ok, qPrintable(QString::number(i)));
            ok = false;
            QCOMPARE(Settings::readList(QString("/sep%1").arg(i), ';', &ok), lists[i]);
            QVERIFY(ok);
        }
        // The two list forms are different things on disk.
        QCOMPARE(Settings::read("/sep3"), QStringLiteral("a,b;c d;=;\"q\""));
    }

    void removeKey()
    {
        QVERIFY(Settings::write("/gone", 1));
        QVERIFY(Settings::remove("/gone"));
        bool ok = true;
        QCOMPARE(Settings::readNum("/gone", 5, &ok), 5);
        QVERIFY(!ok);
    }

    void oneFileForAllRoots()
    {
        startUp();
        QVERIFY(Settings::write("/geometry/x", 120));
        // The style menu and the editing component use plain QSettings
        // objects with keys outside the prefix: same file, same data.
        {
            QSettings plain;
            QCOMPARE(plain.fileName(), Settings::self()->fileName());
            plain.setValue("/qt/style", "Fusion");
            plain.setValue("/xqeditor/hl/C++/Comment/color", "#808080");
            QCOMPARE(plain.value("/vexa/geometry/x").toInt(), 120);
        }
        QCOMPARE(Settings::self()->value("/qt/style").toString(), QStringLiteral("Fusion"));
        Settings::forceWrite();
        const QString text = fileText();
        QVERIFY(text.contains("[qt]"));
        QVERIFY(text.contains("[xqeditor]"));
        QVERIFY(text.contains("[vexa]"));
    }

    void namesAndPaths()
    {
        QCOMPARE(Settings::appName(), QStringLiteral("vexa"));
        Settings::setAppName("Vexa");
        QCOMPARE(Settings::appName(), QStringLiteral("Vexa"));
        QCOMPARE(Settings::installPath(), QString());
        Settings::setInstallPath("/opt/vexa");
        QCOMPARE(Settings::installPath(), QStringLiteral("/opt/vexa/"));
        Settings::setInstallPath("/usr/");
        QCOMPARE(Settings::installPath(), QStringLiteral("/usr/"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"

#include "vexa/settings.h"
#include "vexa/utils.h"
#include "xqwidgets/helpers.h"

#include <QDir>
#include <QFile>
#include <QPixmapCache>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using vexa::Utils;

namespace
{
QStringList debugLines;
void captureDebug(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type == QtDebugMsg)
        debugLines << msg;
}

// Every name of the built-in set, written out independently of the generator.
QStringList iconNames()
{
    QStringList names;
    const char* sixteen[] = {"Breakpoint",
                             "Copy",
                             "Cut",
                             "DetailedView",
                             "EditorSetup",
                             "FileExplorer",
                             "FindInFiles",
                             "FindNext",
                             "Find",
                             "FolderOpen",
                             "Indent",
                             "ListView",
                             "Lock",
                             "Messages",
                             "NewFolder",
                             "New",
                             "Open",
                             "Paste",
                             "Redo",
                             "Replace",
                             "Save",
                             "SortByDate",
                             "SortByName",
                             "SortBySize",
                             "tClass",
                             "tDefine",
                             "tEnumeration",
                             "tEnumerator",
                             "tFileName",
                             "tFunction",
                             "tFunctionPrivate",
                             "tNamespace",
                             "tPrototipe",
                             "TreeView",
                             "tStructure",
                             "tTypedef",
                             "tUnion",
                             "tVariable",
                             "Undo",
                             "Unindent"};
    for (const char* n : sixteen)
        names << QStringLiteral("16x16_") + n;
    names << "16x24_Make"
          << "16x24_Run";
    const char* eighteen[] = {"Ch",  "Cpp",       "File",   "FolderHome",  "FolderOpen",  "Folder",
                              "H",   "HtmlFiles", "Image",  "Java",        "JavaScript",  "Pdf",
                              "Php", "Project",   "PyFile", "RtfDocument", "Spreadsheet", "Sql",
                              "Tar", "Tgz",       "Txt",    "Ui",          "Video"};
    for (const char* n : eighteen)
        names << QStringLiteral("18x18_") + n;
    for (const char* n : {"Back", "BookmarkAdd", "FindInFiles", "Forward", "Gear", "Up"})
        names << QStringLiteral("20x20_") + n;
    const char* twentyTwo[] = {
        "Copy",      "Cut",    "FileExplorer", "FindInFiles",    "FindNext",
        "Find",      "New",    "Open",         "Paste",          "Project",
        "Redo",      "Save",   "Stop",         "Tags",           "ToEditor",
        "Undo", // the folder images of DirectoryItem:
        "FolderRed", "Folder", "FolderOpen",   "FolderNoExists", "FolderLocked"};
    for (const char* n : twentyTwo)
        names << QStringLiteral("22x22_") + n;
    const char* thirtyTwo[] = {"Binary",      "Ch",          "Clean", "Cpp",       "File",
                               "FolderOpen",  "Folder",      "H",     "HtmlFiles", "Image",
                               "Java",        "JavaScript",  "Pdf",   "Project",   "PyFile",
                               "RtfDocument", "Spreadsheet", "Sql",   "Tar",       "Tgz",
                               "Txt",         "Ui",          "Video"};
    for (const char* n : thirtyTwo)
        names << QStringLiteral("32x32_") + n;
    names << "9x9_Close"
          << "9x9_Maximize";
    for (int s : {16, 22, 32, 48, 128})
        names << QStringLiteral("vexa-%1").arg(s);
    return names;
}
} // namespace

class TestUtils : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

private Q_SLOTS:
    void everyIconLoads()
    {
        const QStringList names = iconNames();
        QCOMPARE(names.size() + 1, 118 + 5); // the splash is checked below
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
        static const QRegularExpression sizeRe("^(\\d+)x(\\d+)_");
        for (const QString& name : names) {
            const QPixmap pm = Utils::icon(name);
            QVERIFY2(!pm.isNull(), qPrintable(name));
            QSize nominal(16, 16);
            const auto m = sizeRe.match(name);
            if (m.hasMatch())
                nominal = QSize(m.captured(1).toInt(), m.captured(2).toInt());
            else
                nominal = QSize(name.mid(5).toInt(), name.mid(5).toInt());
            QVERIFY2(pm.size() == nominal, qPrintable(name));
            QVERIFY2(pm.hasAlphaChannel(), qPrintable(name));
            // Drawn, not blank: some pixels are opaque and some transparent.
            const QImage img = pm.toImage().convertToFormat(QImage::Format_ARGB32);
            int opaque = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    opaque += qAlpha(img.pixel(x, y)) > 128;
            QVERIFY2(opaque > 0 && opaque < img.width() * img.height(), qPrintable(name));
        }
        const QPixmap splash = Utils::icon("vexa_splashscreen");
        QCOMPARE(splash.size(), QSize(360, 240));
        QVERIFY(!splash.hasAlphaChannel());
    }

    void cacheAndMissingNames()
    {
        const QPixmap a = Utils::icon("16x16_Open");
        QPixmap cached;
        QVERIFY(QPixmapCache::find("16x16_Open", &cached));
        QCOMPARE(cached.cacheKey(), a.cacheKey());
        QCOMPARE(Utils::icon("16x16_Open").cacheKey(), a.cacheKey());
        // Names are exact, case included.
        debugLines.clear();
        auto old = qInstallMessageHandler(captureDebug);
        const QPixmap missing = Utils::icon("16x16_open");
        const QPixmap again = Utils::icon("16x16_open");
        qInstallMessageHandler(old);
        QVERIFY(missing.isNull() && again.isNull());
        QCOMPARE(debugLines, QStringList{"Utils::icon: 16x16_open.png not found"});
    }

    void greyVariant()
    {
        QImage img(2, 1, QImage::Format_ARGB32);
        img.setPixel(0, 0, qRgba(200, 100, 50, 255));
        img.setPixel(1, 0, qRgba(10, 20, 30, 0));
        const QImage copy = img;
        const QImage grey = Utils::makeDisabledImage(img);
        QCOMPARE(grey.pixel(0, 0), qRgba(116, 116, 116, 89));
        QCOMPARE(qAlpha(grey.pixel(1, 0)), 0);
        QCOMPARE(img, copy); // the caller's image is left alone

        QPixmapCache::remove("22x22_Save__gray");
        const QIcon icon = Utils::iconSet("22x22_Save");
        QPixmap cachedGrey;
        QVERIFY(QPixmapCache::find("22x22_Save__gray", &cachedGrey));
        const QImage disabled = icon.pixmap(QSize(22, 22), QIcon::Disabled).toImage();
        QCOMPARE(disabled, cachedGrey.toImage());
        const QImage normal = Utils::icon("22x22_Save").toImage();
        QCOMPARE(disabled, Utils::makeDisabledImage(normal).convertToFormat(disabled.format()));
        QCOMPARE(icon.pixmap(QSize(22, 22)).toImage(), normal);
        // The second call takes the cached grey image.
        Utils::iconSet("22x22_Save");
        QPixmap again;
        QVERIFY(QPixmapCache::find("22x22_Save__gray", &again));
        QCOMPARE(again.cacheKey(), cachedGrey.cacheKey());
    }

    void base64()
    {
        QByteArray bytes;
        for (int i = 0; i < 300; ++i)
            bytes += char((i * 37 + 11) & 0xff);
        const QByteArray b54 = Utils::encodeBase64(bytes.left(54));
        QCOMPARE(b54.size(), 72);
        QVERIFY(!b54.contains('\n'));
        const QByteArray b57 = Utils::encodeBase64(bytes.left(57));
        QCOMPARE(b57.size(), 78);
        QCOMPARE(b57.mid(72, 2), QByteArray("\r\n"));
        const QByteArray b55 = Utils::encodeBase64(bytes.left(55));
        QCOMPARE(b55.size(), 76);
        QVERIFY(b55.endsWith("=="));
        QVERIFY(!b55.contains('\r'));
        QCOMPARE(Utils::encodeBase64(QByteArray()), QByteArray());
        for (int n : {0, 1, 2, 3, 54, 55, 56, 57, 299, 300}) {
            const QByteArray enc = Utils::encodeBase64(bytes.left(n));
            QCOMPARE(QByteArray(enc).replace("\r\n", ""), bytes.left(n).toBase64());
            QCOMPARE(Utils::decodeBase64(enc), bytes.left(n));
        }
        // Blanks and line breaks are skipped; "=" ends the data.
        QCOMPARE(Utils::decodeBase64("SGVs\r\n bG8g\td29y bGQ="), QByteArray("Hello world"));
        QCOMPARE(Utils::decodeBase64("SGk=SGVsbG8="), QByteArray("Hi"));
        QCOMPARE(Utils::decodeBase64("SGVsbG8=\x80\xff ignored"), QByteArray("Hello"));
        QCOMPARE(Utils::decodeBase64("=AAA"), QByteArray());
        QCOMPARE(Utils::decodeBase64("S"), QByteArray());
    }

    void pixmapsAsText()
    {
        const QString file = tmp.filePath("p.png");
        QVERIFY(Utils::icon("32x32_Cpp").save(file, "PNG"));
        const QByteArray text = Utils::pixData(file);
        QVERIFY(!text.isEmpty());
        const QPixmap back = Utils::pix(text);
        QCOMPARE(back.size(), QSize(32, 32));
        QCOMPARE(back.toImage().convertToFormat(QImage::Format_ARGB32),
                 Utils::icon("32x32_Cpp").toImage().convertToFormat(QImage::Format_ARGB32));
        QVERIFY(Utils::pixData(tmp.filePath("none.png")).isEmpty());
        QVERIFY(Utils::pix("bm90IGFuIGltYWdl").isNull());
    }

    void longStrings()
    {
        QSettings& plain = *vexa::Settings::self();
        const QString exact(8192, QLatin1Char('x'));
        Utils::saveLongString("/long/exact", exact);
        QCOMPARE(plain.value("long/exact/data_count").toInt(), 2);
        QCOMPARE(plain.value("long/exact/data_1").toString(), QString());
        QCOMPARE(Utils::loadLongString("/long/exact"), exact);

        QString big;
        for (int i = 0; i < 20000; ++i)
            big += QChar(0x41 + i % 26);
        Utils::saveLongString("/long/big", big);
        QCOMPARE(plain.value("long/big/data_count").toInt(), 3);
        QCOMPARE(Utils::loadLongString("/long/big", "def"), big);
        Utils::saveLongString("/long/empty", QString());
        QCOMPARE(Utils::loadLongString("/long/empty", "def"), QString());
        QCOMPARE(Utils::loadLongString("/long/never", "def"), QStringLiteral("def"));

        // A damaged count ends at the first missing chunk.
        plain.setValue("long/big/data_count", 2000000000);
        QCOMPARE(Utils::loadLongString("/long/big", "def"), big);
    }

    void fastMatch_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("match");
        QTest::newRow("h") << ".cpp .h"
                           << "x.h" << true;
        QTest::newRow("cpp") << ".cpp .h"
                             << "dir/x.cpp" << true;
        QTest::newRow("case") << ".cpp .h"
                              << "x.H" << false;
        QTest::newRow("blanks") << "  .cpp   .h "
                                << "a.h" << true;
        QTest::newRow("no wildcard") << "*.h"
                                     << "a.h" << false;
        QTest::newRow("whole name") << "Makefile"
                                    << "src/Makefile" << true;
        QTest::newRow("empty pattern") << ""
                                       << "a.h" << false;
    }
    void fastMatch()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(bool, match);
        QCOMPARE(Utils::fast_match(pattern, name), match);
    }

    void sizes_data()
    {
        QTest::addColumn<quint64>("size");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << quint64(0) << "  0b";
        QTest::newRow("10") << quint64(10) << " 10b";
        QTest::newRow("1023") << quint64(1023) << "1023b";
        QTest::newRow("1024") << quint64(1024) << "1.00K";
        QTest::newRow("1536") << quint64(1536) << "1.50K";
        QTest::newRow("10229") << quint64(10229) << "9.99K";
        QTest::newRow("10235") << quint64(10235) << "10.00K";
        QTest::newRow("10240") << quint64(10240) << "10.0K";
        QTest::newRow("512000") << quint64(512000) << "500K";
        QTest::newRow("1023999") << quint64(1023999) << "1000K";
        QTest::newRow("1048575") << quint64(1048575) << "1024K";
        QTest::newRow("1048576") << quint64(1048576) << "1.00M";
        QTest::newRow("1073741824") << quint64(1073741824) << "1.00G";
        QTest::newRow("4294967295") << quint64(4294967295u) << "4.00G";
        QTest::newRow("5 GiB") << quint64(5) * 1073741824 << "5.00G";
        QTest::newRow("200 GiB") << quint64(200) * 1073741824 << "200G";
    }
    void sizes()
    {
        QFETCH(quint64, size);
        QFETCH(QString, text);
        QCOMPARE(xqwidgets::Utils::humanReadableSize(size), text);
        QCOMPARE(Utils::humanReadableSize(size), text);
    }

    // Stored fonts of sizes no screen can show (100000 pt blanks the menus)
    // are refused; the caller keeps its default.
    void fontSizes_data()
    {
        QTest::addColumn<QString>("font");
        QTest::addColumn<bool>("usable");
        QTest::newRow("11 pt") << "Sans,11,-1,5,50,0,0,0,0,0" << true;
        QTest::newRow("4 pt") << "Sans,4,-1,5,50,0,0,0,0,0" << true;
        QTest::newRow("200 pt") << "Sans,200,-1,5,50,0,0,0,0,0" << true;
        QTest::newRow("3 pt") << "Sans,3,-1,5,50,0,0,0,0,0" << false;
        QTest::newRow("100000 pt") << "Sans,100000,-1,5,50,0,0,0,0,0" << false;
        QTest::newRow("14 px") << "Sans,-1,14,5,50,0,0,0,0,0" << true;
        QTest::newRow("100000 px") << "Sans,-1,100000,5,50,0,0,0,0,0" << false;
    }
    void fontSizes()
    {
        QFETCH(QString, font);
        QFETCH(bool, usable);
        QFont f;
        QVERIFY(f.fromString(font));
        QCOMPARE(Utils::hasUsableSize(f), usable);
    }

    void dates()
    {
        const QLocale locale;
        const QDate today = QDate::currentDate();
        const QDateTime earlierToday(today, QTime(0, 5));
        QCOMPARE(Utils::humanReadableDateTime(earlierToday), QStringLiteral("0:05"));
        // Another day of this year, before or after today.
        const QDate other = today.dayOfYear() == 1 ? today.addDays(1) : today.addDays(-1);
        if (other.year() == today.year()) {
            const QDateTime dt(other, QTime(13, 7));
            const QString text = Utils::humanReadableDateTime(dt);
            QCOMPARE(text, locale.toString(dt, "d MMM"));
            QVERIFY(QRegularExpression("^[1-9]\\d? \\S+$").match(text).hasMatch());
        }
        const QDateTime lastYear(QDate(today.year() - 1, 3, 4), QTime(9, 0));
        QCOMPARE(Utils::humanReadableDateTime(lastYear),
                 locale.toString(QDate(today.year() - 1, 3, 4), "d MMM") + " " +
                     QString::number(today.year() - 1).right(2));
        const QDateTime future(QDate(today.year() + 2, 11, 20), QTime(9, 0));
        QVERIFY(Utils::humanReadableDateTime(future).endsWith(
            " " + QString::number(today.year() + 2).right(2)));
    }

    void createDirectory()
    {
        const QString base = tmp.path();
        const QString three = base + "/one/two/three";
        QVERIFY(xqwidgets::Utils::createDirectory(three));
        QVERIFY(QDir(three).exists());
        QVERIFY(Utils::createDirectory(three)); // all there already
        QVERIFY(Utils::createDirectory(base + "//one///two/four/"));
        QVERIFY(QDir(base + "/one/two/four").exists());
        QVERIFY(Utils::createDirectory("/"));
        QVERIFY(!Utils::createDirectory(QString()));

        // A level blocked by a file fails; the levels made before stay.
        QFile blocker(base + "/made/file");
        QVERIFY(QDir().mkpath(base + "/made"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!Utils::createDirectory(base + "/made/file/sub"));
        QVERIFY(!Utils::createDirectory(base + "/made/kept/../file/sub"));
        QVERIFY(QDir(base + "/made/kept").exists());

        // Single-level relative paths are made too, and fail when they can't be.
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(base + "/made"));
        QVERIFY(Utils::createDirectory("fresh"));
        QVERIFY(QDir(base + "/made/fresh").exists());
        QVERIFY(!Utils::createDirectory("file"));
        QVERIFY(Utils::createDirectory("rel/deeper"));
        QVERIFY(QDir(base + "/made/rel/deeper").exists());
        QDir::setCurrent(cwd);
    }

    void directoryItems()
    {
        const QString root = tmp.filePath("tree");
        for (const char* d : {"tree/b", "tree/A", "tree/.hidden", "tree/c/inner", "tree/A/x"})
            QVERIFY(QDir().mkpath(tmp.filePath(d)));
        QFile f(root + "/file.txt");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();

        auto sameIcon = [](QTreeWidgetItem* item, const char* name) {
            return item->icon(0).pixmap(22, 22).toImage() == Utils::icon(name).toImage();
        };
        QTreeWidget view;
        auto* top = new vexa::DirectoryItem(&view, "Tree", root);
        QCOMPARE(top->fullName(), root + "/");
        QVERIFY(sameIcon(top, "22x22_FolderRed"));
        QCOMPARE(top->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QCOMPARE(top->childCount(), 0); // listed only when opened
        top->setOpen(true);
        QVERIFY(top->isExpanded());
        QStringList names;
        for (int i = 0; i < top->childCount(); ++i)
            names << top->child(i)->text(0);
        QCOMPARE(names, (QStringList{"A", "b", "c"}));
        QVERIFY(sameIcon(top, "22x22_FolderRed")); // the top item keeps its icon

        auto* a = static_cast<vexa::DirectoryItem*>(top->child(0));
        auto* b = static_cast<vexa::DirectoryItem*>(top->child(1));
        QCOMPARE(a->fullName(), root + "/A/");
        QVERIFY(sameIcon(a, "22x22_Folder"));
        QCOMPARE(a->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QCOMPARE(b->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
        a->setOpen(true);
        QVERIFY(sameIcon(a, "22x22_FolderOpen"));
        QCOMPARE(a->childCount(), 1);
        a->setOpen(false);
        QVERIFY(sameIcon(a, "22x22_Folder"));
        QCOMPARE(a->childCount(), 1); // kept

        // A folder that went away.
        QVERIFY(QDir(root + "/c").removeRecursively());
        auto* c = static_cast<vexa::DirectoryItem*>(top->child(2));
        c->setOpen(true);
        QVERIFY(!c->isExpanded());
        QVERIFY(sameIcon(c, "22x22_FolderNoExists"));
        QCOMPARE(c->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    }
};

QTEST_MAIN(TestUtils)
#include "tst_utils.moc"

// File types: the built-in table, lookups by file name and by type name,
// masks, associations and the icon provider.

#include "shellfixture.h"
#include "testeditor.h"

#include "vexa/ctags/ctagsparser.h"
#include "vexa/editors/editors.h"
#include "vexa/filetype.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/utils.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace vexa;

class Receiver : public QObject
{
    Q_OBJECT
public Q_SLOTS:
    void load(const QString& path) { paths.append(path); }

public:
    QStringList paths;
};

class TestFileType : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        shellfixture::useAppSettings();
        shell = new Shell(nullptr, "vexa::Shell");
        useTestEditors();
    }
    void cleanupTestCase() { delete shell; }

    void builtInTable()
    {
        const QStringList names = {"folder", "project",     "uifile", "pyfile",     "cpp",
                                   "ch",     "hpp",         "text",   "javascript", "sql",
                                   "html",   "php",         "image",  "pdf",        "tar",
                                   "tgz",    "spreadsheet", "rtf",    "video",      "file"};
        QStringList got;
        for (FileType* t : FileTypeManager::self()->fileTypes())
            got.append(t->name());
        QCOMPARE(got, names);
        FileType* folder = FileTypeManager::self()->fileType(QStringLiteral("folder"));
        QCOMPARE(folder->listOrder(), 0);
        QCOMPARE(FileTypeManager::self()->fileType(QStringLiteral("cpp"))->listOrder(), 500);
        QCOMPARE(folder->pixmap().toImage(), Utils::icon(QStringLiteral("18x18_Folder")).toImage());
        QCOMPARE(folder->bigPixmap().toImage(),
                 Utils::icon(QStringLiteral("32x32_Folder")).toImage());
        // Every type, the fallback included, shares the one ctags parser.
        for (FileType* t : FileTypeManager::self()->fileTypes())
            QCOMPARE(t->parser(), static_cast<Parser*>(CTagsParser::self()));
    }

    void findType_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("type");
        QTest::newRow("empty") << ""
                               << "file";
        QTest::newRow("no ending") << "Makefile"
                                   << "file";
        QTest::newRow("upper case") << "Main.CPP"
                                    << "cpp";
        QTest::newRow("two-part ending") << "ARCHIVE.TAR.GZ"
                                         << "tgz";
        QTest::newRow("tar") << "backup.tar"
                             << "tar";
        QTest::newRow("tgz") << "x.tgz"
                             << "tgz";
        QTest::newRow("zip") << "x.zip"
                             << "tgz";
        QTest::newRow("cc") << "a.cc"
                            << "cpp";
        QTest::newRow("c") << "a.c"
                           << "cpp";
        QTest::newRow("ch is not c") << "a.ch"
                                     << "ch";
        QTest::newRow("last ending counts") << "form.ui.h"
                                            << "hpp";
        QTest::newRow("php3") << "page.php3"
                              << "php";
        QTest::newRow("jpeg") << "photo.jpeg"
                              << "image";
        QTest::newRow("bare .directory") << ".directory"
                                         << "folder";
        QTest::newRow("project") << "/home/u/p.vexa"
                                 << "project";
        QTest::newRow("dot in folder only") << "/some.dir/readme"
                                            << "file";
        QTest::newRow("python") << "script.PY"
                                << "pyfile";
    }
    void findType()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, type);
        FileType* t = FileTypeManager::self()->findType(fileName);
        QVERIFY(t);
        QCOMPARE(t->name(), type);
    }

    void lookupByName()
    {
        FileTypeManager* m = FileTypeManager::self();
        QCOMPARE(m->fileType(QStringLiteral("file")), m->findType(QStringLiteral("Makefile")));
        QCOMPARE(m->fileType(QStringLiteral("File")), nullptr);
        QCOMPARE(m->fileType(QStringLiteral("nosuch")), nullptr);
        QCOMPARE(m->fileType(QStringLiteral("file"))->mask(), QString());
        // match compares as given; only findType lowers the name.
        QVERIFY(!m->fileType(QStringLiteral("cpp"))->match(QStringLiteral("X.CPP")));
        QVERIFY(m->fileType(QStringLiteral("cpp"))->match(QStringLiteral("x.cpp")));
    }

    void masksOptionsAndRegistration()
    {
        const int before = FileTypeManager::self()->fileTypes().size();
        auto* t = new FileType(QStringLiteral("custom"), QStringLiteral(" .A  .b "), QPixmap(),
                               QPixmap(), 500);
        QCOMPARE(t->mask(), QStringLiteral(".a .b"));
        t->addMask(QStringLiteral(".C"));
        QCOMPARE(t->mask(), QStringLiteral(".a .b .c"));
        FileTypeManager::self()->installFileType(t);
        QCOMPARE(FileTypeManager::self()->fileTypes().size(), before + 1);
        QCOMPARE(FileTypeManager::self()->fileTypes().count(t), 1);
        QCOMPARE(FileTypeManager::self()->fileType(QStringLiteral("custom")), t);

        t->addOption(QStringLiteral("container"), QStringLiteral("1"));
        t->addOption(QStringLiteral("container"), QStringLiteral("0"));
        QVERIFY(t->hasOption(QStringLiteral("container")));
        QCOMPARE(t->option(QStringLiteral("container")), QStringLiteral("0"));
        QVERIFY(!t->hasOption(QStringLiteral("other")));
        QVERIFY(t->option(QStringLiteral("other")).isNull());
    }

    void openGoesToEditorOrAssociation()
    {
        QTemporaryDir dir;
        const QString text = dir.filePath(QStringLiteral("notes.txt"));
        const QString project = dir.filePath(QStringLiteral("p.vexa"));
        for (const QString& p : {text, project}) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("x");
        }
        // Without an association a file opens in an editor.
        FileTypeManager::openFile(project);
        QVERIFY(Editors::self()->current());
        QCOMPARE(Editors::self()->current()->filename(), project);

        Receiver receiver;
        FileType* type = FileTypeManager::self()->fileType(QStringLiteral("project"));
        QVERIFY(!type->hasAssociacion());
        type->installAssociacion(&receiver, SLOT(load(QString)));
        QVERIFY(type->hasAssociacion());
        const int editors = Editors::self()->editors().size();
        const QString other = dir.filePath(QStringLiteral("q.vexa"));
        FileTypeManager::openFile(other);
        QCOMPARE(receiver.paths, QStringList({other}));
        QCOMPARE(Editors::self()->editors().size(), editors);

        FileTypeManager::openFile(text);
        QCOMPARE(Editors::self()->current()->filename(), text);
    }

    void iconProvider()
    {
        QTemporaryDir dir;
        FileIconProvider* p = FileTypeManager::self()->fileIconProvider();
        QVERIFY(p);
        const QImage py =
            p->icon(QFileInfo(QStringLiteral("/x/script.PY"))).pixmap(18, 18).toImage();
        QCOMPARE(py, Utils::icon(QStringLiteral("18x18_PyFile")).toImage());
        const QIcon folder = p->icon(QFileInfo(dir.path()));
        const QIcon qtDefault = QFileIconProvider().icon(QFileInfo(dir.path()));
        QCOMPARE(folder.pixmap(16, 16).toImage(), qtDefault.pixmap(16, 16).toImage());
    }

private:
    Shell* shell = nullptr;
};

QTEST_MAIN(TestFileType)
#include "tst_filetype.moc"

#include "textdoc.h"
#include "textfile.h"
#include "textmanager.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <grp.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace xqwidgets;

namespace
{

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A text large enough to outgrow any small limit.
QString bigText()
{
    QString line = QStringLiteral("the quick brown fox jumps over the lazy dog %1\n");
    QString text;
    for (int i = 0; i < 5000; ++i)
        text += line.arg(i);
    return text;
}

const uid_t kNobody = 65534;

// Environment of the unprivileged child that saves one file.
const char kChildPath[] = "TST_TEXTFILE_CHILD_PATH";
const char kChildText[] = "TST_TEXTFILE_CHILD_TEXT";

int childSave()
{
    TextEditorManager m;
    TextDocument doc(&m);
    doc.loadText(qEnvironmentVariable(kChildText));
    doc.setModified(true);
    TextFile file;
    const bool ok = file.save(qEnvironmentVariable(kChildPath), &doc);
    std::printf("%s", qPrintable(file.errorString()));
    return ok ? 0 : 1;
}

} // namespace

class TestTextFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void codecNames();
    void roundTrip_data();
    void roundTrip();
    void invalidBytes_data();
    void invalidBytes();
    void unencodable_data();
    void unencodable();
    void largeText();
    void failedLoadLeavesDocument_data();
    void failedLoadLeavesDocument();
    void saveRefused_data();
    void saveRefused();
    void writeFailureKeepsOldFile();
    void fullFilesystem();
    void symlinks();
    void modeAndOwnerKept();
    void directWriteFallback();

private:
    // Saves `text` to `path` as a user who is not root (in a child process
    // when the tests run as root); the error text goes to `error`.
    bool saveUnprivileged(const QString& path, const QString& text, QString* error);
    QStringList entries() const
    {
        return QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    }

    TextEditorManager* m = nullptr;
    TextDocument* doc = nullptr;
    QTemporaryDir* dir = nullptr;
};

void TestTextFile::init()
{
    m = new TextEditorManager;
    doc = new TextDocument(m);
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
}

void TestTextFile::cleanup()
{
    delete dir;
    delete doc;
    delete m;
    dir = nullptr;
    doc = nullptr;
    m = nullptr;
}

void TestTextFile::codecNames()
{
    for (const char* name : {"", "System", "locale", "UTF-8", "utf8", "latin1", "ISO-8859-1",
                             "UTF-16", "UTF-16BE", "UTF-32LE"})
        QVERIFY2(TextFile::isCodecAvailable(QString::fromLatin1(name)), name);
    QVERIFY(!TextFile::isCodecAvailable(QStringLiteral("no-such-encoding")));
}

void TestTextFile::roundTrip_data()
{
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bom");

    QTest::newRow("locale, final newline")
        << QString() << QByteArray("a\xc3\xa9\n\tb\n") << QStringLiteral("a\u00e9\n\tb") << false;
    QTest::newRow("UTF-8 CRLF, no final newline")
        << "UTF-8" << QByteArray("x\r\ny") << QStringLiteral("x\ny") << false;
    QTest::newRow("UTF-8 lone CR stays a character")
        << "UTF-8" << QByteArray("a\rb\n") << QStringLiteral("a\rb") << false;
    QTest::newRow("UTF-8 empty") << "UTF-8" << QByteArray() << QString() << false;
    QTest::newRow("UTF-8 BOM") << "UTF-8" << QByteArray("\xef\xbb\xbfhi\n") << QStringLiteral("hi")
                               << true;
    QTest::newRow("UTF-8 second U+FEFF is text")
        << "UTF-8" << QByteArray("\xef\xbb\xbf\xef\xbb\xbfhi") << QStringLiteral("\ufeffhi")
        << true;
    QTest::newRow("Latin-1") << "ISO-8859-1" << QByteArray("caf\xe9 \xff\n")
                             << QStringLiteral("caf\u00e9 \u00ff") << false;
    QTest::newRow("UTF-16 with LE BOM")
        << "UTF-16" << QByteArray("\xff\xfeh\0i\0\n\0", 8) << QStringLiteral("hi") << true;
    QTest::newRow("UTF-16 with BE BOM keeps its byte order")
        << "UTF-16" << QByteArray("\xfe\xff\0h\0i\0\r\0\n", 10) << QStringLiteral("hi") << true;
    QTest::newRow("UTF-16LE with BOM") << "UTF-16LE" << QByteArray("\xff\xfe\x3d\xd8\x00\xde", 6)
                                       << QStringLiteral("\U0001F600") << true;
    QTest::newRow("UTF-32 with BE BOM")
        << "UTF-32" << QByteArray("\0\0\xfe\xff\0\0\0a", 8) << QStringLiteral("a") << true;
    if (TextFile::isCodecAvailable(QStringLiteral("KOI8-R")))
        QTest::newRow("KOI8-R through the platform")
            << "KOI8-R" << QByteArray("\xc1\xc2\n") << QStringLiteral("\u0430\u0431") << false;
}

void TestTextFile::roundTrip()
{
    QFETCH(QString, codec);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, bom);

    const QString in = dir->filePath(QStringLiteral("in.txt"));
    const QString out = dir->filePath(QStringLiteral("out.txt"));
    writeFile(in, bytes);
    TextFile file;
    file.setCodecName(codec);
    QVERIFY2(file.load(in, doc), qPrintable(file.errorString()));
    QCOMPARE(doc->text(), text);
    QCOMPARE(file.hasBom(), bom);
    QCOMPARE(file.invalidCount(), 0);
    QVERIFY(!doc->isReadOnly());
    QVERIFY(!doc->isModified());

    doc->setModified(true);
    QVERIFY2(file.save(out, doc), qPrintable(file.errorString()));
    QCOMPARE(contents(out), bytes);
    QVERIFY(!doc->isModified());
}

void TestTextFile::invalidBytes_data()
{
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("count");

    QTest::newRow("UTF-8 stray byte") << "UTF-8"
                                      << QByteArray("a\xff"
                                                    "b\n")
                                      << 1;
    QTest::newRow("UTF-8 broken sequence and stray byte")
        << QString() << QByteArray("\xc3(\xff") << 2;
    QTest::newRow("UTF-8 cut off at the end") << "UTF-8" << QByteArray("ok\n\xe2\x82") << 1;
    QTest::newRow("UTF-16LE odd length") << "UTF-16LE" << QByteArray("a\0b", 3) << 1;
    if (TextFile::isCodecAvailable(QStringLiteral("Shift_JIS")))
        QTest::newRow("Shift_JIS cut off at the end")
            << "Shift_JIS" << QByteArray("\x82\xa0\x81") << 1;
}

void TestTextFile::invalidBytes()
{
    QFETCH(QString, codec);
    QFETCH(QByteArray, bytes);
    QFETCH(int, count);

    const QString path = dir->filePath(QStringLiteral("bad.txt"));
    writeFile(path, bytes);
    TextFile file;
    file.setCodecName(codec);
    QVERIFY(file.load(path, doc));
    QCOMPARE(file.invalidCount(), count);
    QVERIFY(doc->text().contains(QChar(QChar::ReplacementCharacter)));

    // The replacement characters must never be written over the bytes.
    QVERIFY(doc->isReadOnly());
    doc->setModified(true);
    QVERIFY(!file.save(path, doc));
    QCOMPARE(contents(path), bytes);
    QVERIFY(doc->isModified());

    // A clean file loaded next clears the report and the lock.
    writeFile(path, "fine\n");
    file.setCodecName(QStringLiteral("UTF-8"));
    QVERIFY(file.load(path, doc));
    QCOMPARE(file.invalidCount(), 0);
    QVERIFY(!doc->isReadOnly());
}

void TestTextFile::unencodable_data()
{
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");

    QTest::newRow("euro in Latin-1") << "ISO-8859-1" << QStringLiteral("ok\nab\u20acc\n") << 1 << 2;
    QTest::newRow("UTF-8 lone high surrogate")
        << "UTF-8" << QStringLiteral("x") + QChar(0xd800) + QStringLiteral("y") << 0 << 1;
    QTest::newRow("locale, lone low surrogate at the end")
        << QString() << QStringLiteral("a\nab") + QChar(0xdc00) << 1 << 2;
    QTest::newRow("UTF-16 swapped pair")
        << "UTF-16LE" << QString(QChar(0xdc00)) + QChar(0xd800) << 0 << 0;
    if (TextFile::isCodecAvailable(QStringLiteral("KOI8-R")))
        QTest::newRow("e acute in KOI8-R") << "KOI8-R" << QStringLiteral("\u0430\u00e9") << 0 << 1;
}

void TestTextFile::unencodable()
{
    QFETCH(QString, codec);
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(int, column);

    const QString path = dir->filePath(QStringLiteral("keep.txt"));
    writeFile(path, "old\n");
    doc->loadText(text);
    doc->setModified(true);
    TextFile file;
    file.setCodecName(codec);
    QVERIFY(!file.save(path, doc));
    QCOMPARE(file.errorLine(), line);
    QCOMPARE(file.errorColumn(), column);
    QVERIFY(!file.errorString().isEmpty());
    QCOMPARE(contents(path), QByteArray("old\n"));
    QCOMPARE(entries(), QStringList{QStringLiteral("keep.txt")});
    QVERIFY(doc->isModified());
}

void TestTextFile::largeText()
{
    // Files are read in pieces and written in batches of lines, with very
    // long lines in slices: none of it may show in the bytes, split a
    // surrogate pair, or hide where an unencodable character is.
    QString text;
    for (int i = 0; i < 30000; ++i)
        text += QStringLiteral("line %1 caf\u00e9\n").arg(i);
    QString longLine(300000, QLatin1Char('x'));
    longLine.replace(262143, 2, QStringLiteral("\U0001F600"));
    text += longLine + QStringLiteral("\nend\n");
    const QString path = dir->filePath(QStringLiteral("large.txt"));

    for (const char* codec : {"UTF-8", "UTF-16BE"}) {
        doc->loadText(text);
        doc->setModified(true);
        TextFile file;
        file.setCodecName(QString::fromLatin1(codec));
        QVERIFY2(file.save(path, doc), qPrintable(file.errorString()));
        QStringEncoder encode(codec);
        const QByteArray expected = encode(text);
        QVERIFY2(contents(path) == expected, codec);
        doc->loadText(QString());
        QVERIFY(file.load(path, doc));
        QCOMPARE(file.invalidCount(), 0);
        QVERIFY2(doc->text() + QLatin1Char('\n') == text, codec);
    }

    const struct {
        int line, column;
    } cases[] = {{25000, 5}, {30000, 280000}};
    for (const auto& c : cases) {
        QStringList lines = QString(text)
                                .replace(QStringLiteral("\U0001F600"), QStringLiteral("xx"))
                                .split(QLatin1Char('\n'));
        lines[c.line][c.column] = QChar(0x20AC);
        doc->loadText(lines.join(QLatin1Char('\n')));
        doc->setModified(true);
        TextFile file;
        file.setCodecName(QStringLiteral("ISO-8859-1"));
        QVERIFY(!file.save(path, doc));
        QCOMPARE(file.errorLine(), c.line);
        QCOMPARE(file.errorColumn(), c.column);
    }
}

void TestTextFile::failedLoadLeavesDocument_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("codec");

    QTest::newRow("missing file") << "missing.txt" << QString();
    QTest::newRow("directory") << "." << QString();
    QTest::newRow("FIFO") << "fifo" << QString();
    QTest::newRow("endless device") << "/dev/zero" << QString();
    QTest::newRow("unknown encoding") << "plain.txt"
                                      << "no-such-encoding";
}

void TestTextFile::failedLoadLeavesDocument()
{
    QFETCH(QString, path);
    QFETCH(QString, codec);

    QVERIFY(::mkfifo(QFile::encodeName(dir->filePath(QStringLiteral("fifo"))).constData(), 0600) ==
            0);
    writeFile(dir->filePath(QStringLiteral("plain.txt")), "new text\n");
    doc->loadText(QStringLiteral("keep me"));
    doc->setModified(true);

    TextFile file;
    file.setCodecName(codec);
    // A FIFO without a writer would block an ordinary open for ever.
    QVERIFY(!file.load(QDir(dir->path()).absoluteFilePath(path), doc));
    QVERIFY(!file.errorString().isEmpty());
    QCOMPARE(doc->text(), QStringLiteral("keep me"));
    QVERIFY(doc->isModified());
}

void TestTextFile::saveRefused_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("directory part is a file") << "plain.txt/x.txt";
    QTest::newRow("missing directory") << "none/x.txt";
    QTest::newRow("target is a directory") << "sub";
    QTest::newRow("target is a FIFO") << "fifo";
    QTest::newRow("target is a full device") << "/dev/full";
}

void TestTextFile::saveRefused()
{
    QFETCH(QString, path);

    const QString fifo = dir->filePath(QStringLiteral("fifo"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("sub")));
    writeFile(dir->filePath(QStringLiteral("plain.txt")), "old\n");
    const QStringList before = entries();

    doc->loadText(QStringLiteral("new\n"));
    doc->setModified(true);
    TextFile file;
    QVERIFY(!file.save(QDir(dir->path()).absoluteFilePath(path), doc));
    QVERIFY(!file.errorString().isEmpty());
    QVERIFY(doc->isModified());
    QCOMPARE(entries(), before);
    QCOMPARE(contents(dir->filePath(QStringLiteral("plain.txt"))), QByteArray("old\n"));
    QVERIFY(QFileInfo(dir->filePath(QStringLiteral("sub"))).isDir());
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
    QVERIFY(::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode));
}

void TestTextFile::writeFailureKeepsOldFile()
{
    // A file size limit makes writes fail part-way through (EFBIG), the
    // way a full disk does, whoever runs the tests.
    const QString path = dir->filePath(QStringLiteral("big.txt"));
    writeFile(path, "old\n");
    doc->loadText(bigText());
    doc->setModified(true);

    struct rlimit saved;
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 16 * 1024;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    TextFile file;
    const bool ok = file.save(path, doc);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!ok);
    QVERIFY(!file.errorString().isEmpty());
    QCOMPARE(contents(path), QByteArray("old\n"));
    QCOMPARE(entries(), QStringList{QStringLiteral("big.txt")});
    QVERIFY(doc->isModified());

    // Without the limit the same save goes through.
    QVERIFY(file.save(path, doc));
    QCOMPARE(contents(path), bigText().toUtf8());
}

void TestTextFile::fullFilesystem()
{
    const QString mnt = dir->filePath(QStringLiteral("mnt"));
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("mnt")));
    if (::mount("tmpfs", QFile::encodeName(mnt).constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("cannot mount a small file system here");
    auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(mnt).constData(), MNT_DETACH); });

    const QString path = mnt + QStringLiteral("/doc.txt");
    writeFile(path, "old\n");
    doc->loadText(bigText() + bigText()); // far more than 64 KiB
    doc->setModified(true);
    TextFile file;
    QVERIFY(!file.save(path, doc));
    QCOMPARE(contents(path), QByteArray("old\n"));
    QCOMPARE(QDir(mnt).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("doc.txt")});
    QVERIFY(doc->isModified());
}

void TestTextFile::symlinks()
{
    QDir d(dir->path());
    QVERIFY(d.mkdir(QStringLiteral("real")));
    writeFile(d.filePath(QStringLiteral("real/file.txt")), "one\n");
    QVERIFY(QFile::link(QStringLiteral("real/file.txt"), d.filePath(QStringLiteral("link.txt"))));
    QVERIFY(
        QFile::link(QStringLiteral("real/later.txt"), d.filePath(QStringLiteral("dangling.txt"))));

    TextFile file;
    QVERIFY(file.load(d.filePath(QStringLiteral("link.txt")), doc));
    QCOMPARE(doc->text(), QStringLiteral("one"));
    doc->loadText(QStringLiteral("two\n"));
    doc->setModified(true);
    QVERIFY2(file.save(d.filePath(QStringLiteral("link.txt")), doc),
             qPrintable(file.errorString()));
    QFileInfo link(d.filePath(QStringLiteral("link.txt")));
    QVERIFY(link.isSymLink());
    QCOMPARE(link.symLinkTarget(), d.filePath(QStringLiteral("real/file.txt")));
    QCOMPARE(contents(d.filePath(QStringLiteral("real/file.txt"))), QByteArray("two\n"));

    // A link whose target does not exist yet creates the target.
    doc->setModified(true);
    QVERIFY(file.save(d.filePath(QStringLiteral("dangling.txt")), doc));
    QVERIFY(QFileInfo(d.filePath(QStringLiteral("dangling.txt"))).isSymLink());
    QCOMPARE(contents(d.filePath(QStringLiteral("real/later.txt"))), QByteArray("two\n"));
    QCOMPARE(entries(), (QStringList{QStringLiteral("dangling.txt"), QStringLiteral("link.txt"),
                                     QStringLiteral("real")}));
}

void TestTextFile::modeAndOwnerKept()
{
    const QString path = dir->filePath(QStringLiteral("script.sh"));
    const QByteArray name = QFile::encodeName(path);
    writeFile(path, "#!/bin/sh\n");
    QVERIFY(::chmod(name.constData(), 0750) == 0);
    const bool root = ::geteuid() == 0;
    if (root)
        QVERIFY(::chown(name.constData(), kNobody, kNobody) == 0);
    struct stat before;
    QVERIFY(::stat(name.constData(), &before) == 0);

    QVERIFY(TextFile().load(path, doc));
    doc->loadText(QStringLiteral("#!/bin/sh\necho hi\n"));
    doc->setModified(true);
    TextFile file;
    QVERIFY(file.save(path, doc));

    struct stat after;
    QVERIFY(::stat(name.constData(), &after) == 0);
    QCOMPARE(contents(path), QByteArray("#!/bin/sh\necho hi\n"));
    QVERIFY(after.st_ino != before.st_ino); // replaced, not rewritten in place
    QCOMPARE(after.st_mode & 07777, mode_t(0750));
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
}

bool TestTextFile::saveUnprivileged(const QString& path, const QString& text, QString* error)
{
    if (::geteuid() != 0) {
        doc->loadText(text);
        doc->setModified(true);
        TextFile file;
        const bool ok = file.save(path, doc);
        *error = file.errorString();
        return ok;
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildPath), path);
    env.insert(QString::fromLatin1(kChildText), text);
    child.setProcessEnvironment(env);
    child.setChildProcessModifier([] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(3);
    });
    child.start(QCoreApplication::applicationFilePath(), {});
    if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() > 1) {
        *error =
            QStringLiteral("child failed: ") + QString::fromLocal8Bit(child.readAllStandardError());
        return false;
    }
    *error = QString::fromLocal8Bit(child.readAllStandardOutput());
    return child.exitCode() == 0;
}

void TestTextFile::directWriteFallback()
{
    // A directory that takes no new file, holding a file that may be
    // written: the save cannot go through a temporary file and writes in
    // place instead. Root may write anywhere, so the save runs as nobody.
    QDir d(dir->path());
    QVERIFY(::chmod(QFile::encodeName(dir->path()).constData(), 0755) == 0);
    QVERIFY(d.mkdir(QStringLiteral("locked")));
    const QString path = d.filePath(QStringLiteral("locked/open.txt"));
    writeFile(path, "old\n");
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0666) == 0);
    QVERIFY(::chmod(QFile::encodeName(d.filePath(QStringLiteral("locked"))).constData(), 0555) ==
            0);
    auto unlock = qScopeGuard([&] {
        ::chmod(QFile::encodeName(d.filePath(QStringLiteral("locked"))).constData(), 0755);
    });
    struct stat before;
    QVERIFY(::stat(QFile::encodeName(path).constData(), &before) == 0);

    QString error;
    QVERIFY2(saveUnprivileged(path, QStringLiteral("new\n"), &error), qPrintable(error));
    QCOMPARE(contents(path), QByteArray("new\n"));
    struct stat after;
    QVERIFY(::stat(QFile::encodeName(path).constData(), &after) == 0);
    QCOMPARE(after.st_ino, before.st_ino);

    // A new file cannot be made there at all.
    const QString fresh = d.filePath(QStringLiteral("locked/fresh.txt"));
    QVERIFY(!saveUnprivileged(fresh, QStringLiteral("new\n"), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFileInfo::exists(fresh));
    QCOMPARE(QDir(d.filePath(QStringLiteral("locked"))).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("open.txt")});
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kChildPath))
        return childSave();
    TestTextFile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_textfile.moc"

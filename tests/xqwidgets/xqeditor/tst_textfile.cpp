#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textfile.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
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

QString sysError(int err)
{
    return QString::fromLocal8Bit(strerror(err));
}

// Environment of the child that saves one file: the path, the text (or a
// file holding it, for texts too long for the environment), and the step
// of a save in place at which the child kills itself ("step:count", the
// count-th time the step is reached).
const char kChildPath[] = "TST_TEXTFILE_CHILD_PATH";
const char kChildText[] = "TST_TEXTFILE_CHILD_TEXT";
const char kChildSource[] = "TST_TEXTFILE_CHILD_SOURCE";
const char kChildCrash[] = "TST_TEXTFILE_CHILD_CRASH";

int crashStep = -1;
int crashCount = 0;

void crashAt(TextFile::SaveStep s)
{
    if (int(s) == crashStep && --crashCount == 0)
        ::raise(SIGKILL);
}

int childSave()
{
    TextEditorManager m;
    TextDocument doc(&m);
    if (qEnvironmentVariableIsSet(kChildSource)) {
        QFile source(qEnvironmentVariable(kChildSource));
        if (!source.open(QIODevice::ReadOnly))
            return 3;
        doc.loadText(QString::fromUtf8(source.readAll()));
    } else {
        doc.loadText(qEnvironmentVariable(kChildText));
    }
    doc.setModified(true);
    const QStringList crash = qEnvironmentVariable(kChildCrash).split(QLatin1Char(':'));
    if (crash.size() == 2) {
        crashStep = crash.at(0).toInt();
        crashCount = crash.at(1).toInt();
        TextFile::setStepHook(crashAt);
    }
    TextFile file;
    const bool ok = file.save(qEnvironmentVariable(kChildPath), &doc);
    std::printf("%s", qPrintable(file.errorString()));
    return ok ? 0 : 1;
}

// What a child that saved (or tried to) left behind.
struct ChildResult {
    bool ran = false;    // it ran to its end or was killed, as asked
    bool killed = false; // by itself, at the step it was given
    bool saved = false;
    QString error;
};

// Runs childSave() in a process of its own; as nobody when `unprivileged`.
ChildResult runChild(const QMap<QString, QString>& vars, bool unprivileged)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (auto it = vars.begin(); it != vars.end(); ++it)
        env.insert(it.key(), it.value());
    child.setProcessEnvironment(env);
    if (unprivileged)
        child.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(3);
        });
    child.start(QCoreApplication::applicationFilePath(), {});
    ChildResult r;
    if (!child.waitForFinished(60000)) {
        r.error = QStringLiteral("child did not finish");
        return r;
    }
    if (child.exitStatus() == QProcess::CrashExit) {
        r.ran = r.killed = true;
        return r;
    }
    r.ran = child.exitCode() <= 1;
    r.saved = child.exitCode() == 0;
    r.error = r.ran ? QString::fromLocal8Bit(child.readAllStandardOutput())
                    : QStringLiteral("child failed: ") +
                          QString::fromLocal8Bit(child.readAllStandardError());
    return r;
}

// Every copy of old bytes that saves in place left in `folder`.
QList<QByteArray> copiesIn(const QString& folder)
{
    QList<QByteArray> result;
    const QDir d(folder);
    for (const QString& name : d.entryList(QDir::Files | QDir::Hidden))
        result.append(contents(d.filePath(name)));
    return result;
}

// Makes `path` a second name of `other`: a save must then write in place.
void hardLink(const QString& other, const QString& path)
{
    QVERIFY(::link(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0);
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
    void oneLongLineTypedInPlace_data();
    void oneLongLineTypedInPlace();
    void failedLoadLeavesDocument_data();
    void failedLoadLeavesDocument();
    void saveRefused_data();
    void saveRefused();
    void writeFailureKeepsOldFile();
    void fullFilesystem();
    void symlinks();
    void modeAndOwnerKept();
    void directWriteFallback();
    void inPlaceNeedsRoom();
    void hardLinksSeeTheText();
    void inPlaceFailurePutsOldBytesBack_data();
    void inPlaceFailurePutsOldBytesBack();
    void crashDuringInPlaceSave_data();
    void crashDuringInPlaceSave();
    void crashWhileCopyingOldBytes_data();
    void crashWhileCopyingOldBytes();
    void copyOfOddNameFound_data();
    void copyOfOddNameFound();
    void longestNamesSave_data();
    void longestNamesSave();
    void changedOnDisk_data();
    void changedOnDisk();
    void unrepresentableRefused_data();
    void unrepresentableRefused();

private:
    // Saves `text` to `path` as a user who is not root (in a child process
    // when the tests run as root); the error text goes to `error`.
    bool saveUnprivileged(const QString& path, const QString& text, QString* error);
    // Where saves in place keep the old bytes (a folder that nobody may
    // write into too, for the unprivileged children), and the copies there.
    QString dataHome() const { return data->path(); }
    QString copyFolder() const
    {
        return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
               QStringLiteral("/saved-copies");
    }
    // Puts `old` into `path`, which gets a second name (so a save writes in
    // place), and has a child save `fresh` over it, killed the count-th time
    // it reaches `step`.
    void crashSavingInPlace(const QString& path, const QByteArray& old, const QByteArray& fresh,
                            TextFile::SaveStep step, int count)
    {
        writeFile(path, old);
        hardLink(path, dir->filePath(QStringLiteral("two.txt")));
        const QString source = dir->filePath(QStringLiteral("source"));
        writeFile(source, fresh);
        const ChildResult r = runChild(
            {{QString::fromLatin1(kChildPath), path},
             {QString::fromLatin1(kChildSource), source},
             {QString::fromLatin1(kChildCrash), QStringLiteral("%1:%2").arg(int(step)).arg(count)},
             {QStringLiteral("XDG_DATA_HOME"), dataHome()}},
            false);
        QVERIFY2(r.ran, qPrintable(r.error));
        QVERIFY(r.killed);
    }
    QStringList entries() const
    {
        return QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    }

    TextEditorManager* m = nullptr;
    TextDocument* doc = nullptr;
    QTemporaryDir* dir = nullptr;
    QTemporaryDir* data = nullptr;
};

void TestTextFile::init()
{
    m = new TextEditorManager;
    doc = new TextDocument(m);
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    // Both readable by the unprivileged children, the data folder writable.
    data = new QTemporaryDir;
    QVERIFY(data->isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    QVERIFY(QDir().mkpath(copyFolder()));
    QVERIFY(::chmod(QFile::encodeName(dir->path()).constData(), 0755) == 0);
    for (QString d = copyFolder(); d.startsWith(dataHome()); d = QFileInfo(d).path())
        QVERIFY(::chmod(QFile::encodeName(d).constData(), 0777) == 0);
}

void TestTextFile::cleanup()
{
    delete dir;
    delete data;
    data = nullptr;
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
    QTest::newRow("UTF-8 final lone CR")
        << "UTF-8" << QByteArray("a\r") << QStringLiteral("a\r") << false;
    QTest::newRow("UTF-8 CRLF, then a final lone CR")
        << "UTF-8" << QByteArray("a\r\nb\r") << QStringLiteral("a\nb\r") << false;
    QTest::newRow("UTF-8 only a CR")
        << "UTF-8" << QByteArray("\r") << QStringLiteral("\r") << false;
    QTest::newRow("Latin-1 final lone CR")
        << "ISO-8859-1" << QByteArray("\xe9\r") << QStringLiteral("\u00e9\r") << false;
    if (TextFile::isCodecAvailable(QStringLiteral("Shift_JIS")))
        QTest::newRow("Shift_JIS final lone CR")
            << "Shift_JIS" << QByteArray("\x82\xa0\r") << QStringLiteral("\u3042\r") << false;
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

    // Typing at the top changes no other byte (files with a mark are left
    // to the rows above).
    if (bom)
        return;
    doc->insert(QStringLiteral("Z"), 0, 0);
    QVERIFY2(file.save(out, doc), qPrintable(file.errorString()));
    QStringEncoder encode(codec.isEmpty() ? "UTF-8" : codec.toLatin1().constData());
    const QByteArray z = encode(QStringLiteral("Z"));
    QCOMPARE(contents(out), z + bytes);
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
    if (TextFile::isCodecAvailable(QStringLiteral("Shift_JIS"))) {
        QTest::newRow("Shift_JIS lone high surrogate")
            << "Shift_JIS" << QStringLiteral("ok\nab") + QChar(0xd83d) + QStringLiteral("c") << 1
            << 2;
        QTest::newRow("Shift_JIS lone high surrogate at the end")
            << "Shift_JIS" << QStringLiteral("\u3042x") + QChar(0xd83d) << 0 << 2;
    }
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
    // The message names the line, the column and the character at fault.
    const char16_t code = text.split(QLatin1Char('\n')).at(line).at(column).unicode();
    QVERIFY2(file.errorString().startsWith(
                 QStringLiteral("Line %1, column %2: the character U+%3 ")
                     .arg(line + 1)
                     .arg(column + 1)
                     .arg(QString::number(code, 16).toUpper().rightJustified(4, QLatin1Char('0')))),
             qPrintable(file.errorString()));
    QCOMPARE(contents(path), QByteArray("old\n"));
    QCOMPARE(entries(), QStringList{QStringLiteral("keep.txt")});
    QVERIFY(doc->isModified());
}

void TestTextFile::oneLongLineTypedInPlace_data()
{
    QTest::addColumn<QByteArray>("end");
    QTest::newRow("no line end") << QByteArray();
    QTest::newRow("a line end") << QByteArray("\n");
    QTest::newRow("CR LF") << QByteArray("\r\n");
}

// A file that is one line of megabytes keeps it in the buffer it was read
// into, with room to type: the first keys move the text in place. They once
// copied it to fresh memory, whose clearing by the kernel made the first key
// cost ten times the others.
void TestTextFile::oneLongLineTypedInPlace()
{
    QFETCH(QByteArray, end);
    const QString path = dir->filePath(QStringLiteral("line.json"));
    writeFile(path, QByteArray(1100000, 'x') + end);
    TextFile file;
    QVERIFY(file.load(path, doc));
    QCOMPARE(doc->lastLine(), 0);
    const QChar* text = doc->lineOf(0)->constData();
    doc->cmdInsert(0, 0, QStringLiteral("a"));
    doc->cmdInsert(0, 550000, QStringLiteral("b"));
    QCOMPARE(doc->lineOf(0)->constData(), text);
    QCOMPARE(doc->lineOf(0)->size(), 1100002);
    QCOMPARE(doc->lineOf(0)->left(2), QStringLiteral("ax"));
    QCOMPARE(doc->lineOf(0)->at(550000), QLatin1Char('b'));
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
    QTest::addColumn<QString>("reason");

    QTest::newRow("directory part is a file") << "plain.txt/x.txt" << sysError(ENOTDIR);
    QTest::newRow("missing directory") << "none/x.txt" << sysError(ENOENT);
    QTest::newRow("target is a directory") << "sub" << sysError(EISDIR);
    QTest::newRow("target is a FIFO") << "fifo"
                                      << "Not a regular file";
    QTest::newRow("target is a full device") << "/dev/full"
                                             << "Not a regular file";
    QTest::newRow("link loop") << "loop1" << sysError(ELOOP);
    QTest::newRow("link into a loop") << "into" << sysError(ELOOP);
}

void TestTextFile::saveRefused()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);

    const QString fifo = dir->filePath(QStringLiteral("fifo"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("sub")));
    writeFile(dir->filePath(QStringLiteral("plain.txt")), "old\n");
    QVERIFY(QFile::link(QStringLiteral("loop2"), dir->filePath(QStringLiteral("loop1"))));
    QVERIFY(QFile::link(QStringLiteral("loop1"), dir->filePath(QStringLiteral("loop2"))));
    QVERIFY(QFile::link(QStringLiteral("loop2"), dir->filePath(QStringLiteral("into"))));
    const QStringList before = entries();

    doc->loadText(QStringLiteral("new\n"));
    doc->setModified(true);
    TextFile file;
    QVERIFY(!file.save(QDir(dir->path()).absoluteFilePath(path), doc));
    QCOMPARE(file.errorString(), reason);
    for (const char* link : {"loop1", "loop2", "into"})
        QVERIFY(QFileInfo(dir->filePath(QLatin1String(link))).isSymLink());
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
    QCOMPARE(file.errorString(), sysError(EFBIG));
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
    QCOMPARE(file.errorString(), sysError(ENOSPC));
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
    const ChildResult r = runChild({{QString::fromLatin1(kChildPath), path},
                                    {QString::fromLatin1(kChildText), text},
                                    {QStringLiteral("XDG_DATA_HOME"), dataHome()}},
                                   true);
    *error = r.error;
    return r.saved;
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

void TestTextFile::inPlaceNeedsRoom()
{
    // The staging that cut a file short: a folder the user may not write
    // into, a writable file in it, a full file system. The space for the
    // longer text is reserved before anything is written, so the save is
    // refused whole, with the system's reason, and nothing is touched.
    const QString mnt = dir->filePath(QStringLiteral("mnt"));
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("mnt")));
    if (::mount("tmpfs", QFile::encodeName(mnt).constData(), "tmpfs", 0, "size=64k,mode=0755") != 0)
        QSKIP("cannot mount a small file system here");
    auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(mnt).constData(), MNT_DETACH); });

    const QString path = mnt + QStringLiteral("/doc.txt");
    QByteArray old;
    for (int i = 0; old.size() < 23000; ++i)
        old += QByteArray("line ") + QByteArray::number(i) + " of the old text\n";
    old.truncate(23000);
    writeFile(path, old);
    QVERIFY(::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0);
    {
        // The rest of the file system is taken.
        QFile filler(mnt + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }

    QString error;
    const QString typed = QString(5000, QLatin1Char('x')) + QString::fromLatin1(old);
    QVERIFY(!saveUnprivileged(path, typed, &error));
    QCOMPARE(error, sysError(ENOSPC));
    QCOMPARE(contents(path), old);
    QCOMPARE(QDir(mnt).entryList(QDir::Files | QDir::Hidden),
             (QStringList{QStringLiteral("doc.txt"), QStringLiteral("filler")}));
    QVERIFY(copiesIn(copyFolder()).isEmpty());

    // A shorter text needs no more room and goes through, in place.
    struct stat before;
    QVERIFY(::stat(QFile::encodeName(path).constData(), &before) == 0);
    QVERIFY2(saveUnprivileged(path, QStringLiteral("short\n"), &error), qPrintable(error));
    QCOMPARE(contents(path), QByteArray("short\n"));
    struct stat after;
    QVERIFY(::stat(QFile::encodeName(path).constData(), &after) == 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QVERIFY(copiesIn(copyFolder()).isEmpty());
}

void TestTextFile::hardLinksSeeTheText()
{
    // A new file would take one name and leave the others the old text.
    const QString path = dir->filePath(QStringLiteral("one.txt"));
    const QString other = dir->filePath(QStringLiteral("two.txt"));
    writeFile(path, "old text\n");
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
    hardLink(path, other);
    struct stat before;
    QVERIFY(::stat(QFile::encodeName(path).constData(), &before) == 0);

    TextFile file;
    QVERIFY(file.load(path, doc));
    for (const QString& text :
         {QStringLiteral("a longer new text\nover two lines\n"), QStringLiteral("short\n")}) {
        doc->loadText(text);
        doc->setModified(true);
        QVERIFY2(file.save(path, doc), qPrintable(file.errorString()));
        QCOMPARE(contents(path), text.toUtf8());
        QCOMPARE(contents(other), text.toUtf8());
        struct stat after;
        QVERIFY(::stat(QFile::encodeName(path).constData(), &after) == 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_nlink, nlink_t(2));
        QCOMPARE(after.st_mode & 07777, mode_t(0640));
        QVERIFY(!doc->isModified());
    }
    QCOMPARE(entries(), (QStringList{QStringLiteral("one.txt"), QStringLiteral("two.txt")}));
    QVERIFY(copiesIn(copyFolder()).isEmpty());
}

namespace
{
// Lowers the file size limit once the first piece is written in place, so
// that the next piece fails the way a disk that fails mid-write does.
rlim_t limitAfterFirstPiece = 0;
void limitWrites(TextFile::SaveStep s)
{
    if (s != TextFile::SaveStep::PieceWritten || !limitAfterFirstPiece)
        return;
    struct rlimit small;
    ::getrlimit(RLIMIT_FSIZE, &small);
    small.rlim_cur = limitAfterFirstPiece;
    ::setrlimit(RLIMIT_FSIZE, &small);
    limitAfterFirstPiece = 0;
}

// Lines of `width` bytes up to `size` bytes, tagged so that a mixed file
// shows.
QByteArray lines(char tag, int size)
{
    QByteArray text;
    for (int i = 0; text.size() < size; ++i)
        text += tag + QByteArray::number(i).rightJustified(30, '0') + '\n';
    text.truncate(size - 1);
    return text + '\n';
}
} // namespace

void TestTextFile::inPlaceFailurePutsOldBytesBack_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("putBack");

    // The new text is 600 kB, written in pieces of 256 kB; the old 400 kB.
    QTest::newRow("old bytes fit again") << 500 * 1024 << true;
    QTest::newRow("not even the old bytes fit") << 300 * 1024 << false;
}

void TestTextFile::inPlaceFailurePutsOldBytesBack()
{
    QFETCH(int, limit);
    QFETCH(bool, putBack);

    const QString path = dir->filePath(QStringLiteral("one.txt"));
    const QByteArray old = lines('o', 400 * 1024);
    const QByteArray fresh = lines('n', 600 * 1024);
    writeFile(path, old);
    hardLink(path, dir->filePath(QStringLiteral("two.txt")));
    doc->loadText(QString::fromLatin1(fresh));
    doc->setModified(true);

    struct rlimit saved;
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    limitAfterFirstPiece = rlim_t(limit);
    TextFile::setStepHook(limitWrites);
    TextFile file;
    const bool ok = file.save(path, doc);
    TextFile::setStepHook(nullptr);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!ok);
    QVERIFY(doc->isModified());
    QVERIFY(file.errorString().startsWith(sysError(EFBIG)));
    const QList<QByteArray> copies = copiesIn(copyFolder());
    if (putBack) {
        QCOMPARE(contents(path), old);
        QVERIFY(copies.isEmpty());
        QCOMPARE(file.errorString(), sysError(EFBIG));
    } else {
        // The user is told where the old bytes are, and they are there.
        QCOMPARE(copies.size(), 1);
        QCOMPARE(copies.first(), old);
        const QStringList found = TextFile::savedCopies(path);
        QCOMPARE(found.size(), 1);
        QVERIFY2(file.errorString().contains(found.first()), qPrintable(file.errorString()));
    }
}

void TestTextFile::crashDuringInPlaceSave_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("newSize");

    using S = TextFile::SaveStep;
    for (int size : {600 * 1024, 100 * 1024}) {
        const QByteArray tail = size > 400 * 1024 ? " (longer)" : " (shorter)";
        QTest::newRow("copy made" + tail) << int(S::CopyMade) << 1 << size;
        QTest::newRow("space reserved" + tail) << int(S::SpaceReserved) << 1 << size;
        QTest::newRow("first piece written" + tail) << int(S::PieceWritten) << 1 << size;
        QTest::newRow("cut to size" + tail) << int(S::Truncated) << 1 << size;
    }
    QTest::newRow("second piece written (longer)") << int(S::PieceWritten) << 2 << 600 * 1024;
}

void TestTextFile::crashDuringInPlaceSave()
{
    QFETCH(int, step);
    QFETCH(int, count);
    QFETCH(int, newSize);

    const QString path = dir->filePath(QStringLiteral("one.txt"));
    const QByteArray old = lines('o', 400 * 1024);
    const QByteArray fresh = lines('n', newSize);
    crashSavingInPlace(path, old, fresh, TextFile::SaveStep(step), count);
    if (QTest::currentTestFailed())
        return;

    // The old file, or the new one whole; otherwise the old bytes are in
    // the copy.
    const QByteArray now = contents(path);
    const QList<QByteArray> copies = copiesIn(copyFolder());
    QVERIFY(now == old || now == fresh || copies.contains(old));
    QVERIFY(copies.size() <= 1);
    if (copies.size() == 1) {
        QCOMPARE(copies.first(), old);
        // Found again by the file's path (to tell the user when it is
        // opened next), and only by it.
        const QStringList found = TextFile::savedCopies(path);
        QCOMPARE(found.size(), 1);
        QCOMPARE(contents(found.first()), old);
        QVERIFY(TextFile::savedCopies(dir->filePath(QStringLiteral("source"))).isEmpty());
    } else {
        QVERIFY(TextFile::savedCopies(path).isEmpty());
    }
    // Until the first new byte is written the file is the old one (the
    // space is reserved without growing it); once cut to size, the new one.
    if (step == int(TextFile::SaveStep::CopyMade) || step == int(TextFile::SaveStep::SpaceReserved))
        QCOMPARE(now, old);
    if (step == int(TextFile::SaveStep::Truncated))
        QCOMPARE(now, fresh);
}

// A save in place killed while it copies the file's old bytes aside: the
// file was not touched yet, and the half-written copy is no copy to offer
// the user (nor, zero-filled, one to compare with). The next save clears
// it away.
namespace
{
// File names the bookkeeping of a save must take as they are: characters a
// name filter reads as wildcards, and names at the longest the file system
// takes (255 bytes), of single-byte and of two-byte characters.
void addOddNames()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("plain") << QByteArray("one.txt");
    QTest::newRow("brackets") << QByteArray("a[1].txt");
    QTest::newRow("star and question mark") << QByteArray("*?[x.txt");
    QTest::newRow("248 bytes") << QByteArray(244, 'l') + ".txt";
    QTest::newRow("255 bytes") << QByteArray(251, 'l') + ".txt";
    QTest::newRow("255 bytes, two-byte characters")
        << QByteArray("a") + QString(127, QChar(0xE9)).toUtf8();
}
} // namespace

void TestTextFile::crashWhileCopyingOldBytes_data()
{
    addOddNames();
}

void TestTextFile::crashWhileCopyingOldBytes()
{
    QFETCH(QByteArray, name);
    const QString path = dir->filePath(QString::fromUtf8(name));
    const QByteArray old = lines('o', 400 * 1024);
    const QByteArray fresh = lines('n', 600 * 1024);
    crashSavingInPlace(path, old, fresh, TextFile::SaveStep::CopyPieceWritten, 1);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(contents(path), old);
    QVERIFY2(TextFile::savedCopies(path).isEmpty(),
             qPrintable(TextFile::savedCopies(path).join(QLatin1Char(' '))));

    doc->loadText(QString::fromLatin1(fresh));
    doc->setModified(true);
    TextFile file;
    QVERIFY2(file.save(path, doc), qPrintable(file.errorString()));
    QCOMPARE(contents(dir->filePath(QStringLiteral("two.txt"))), fresh);
    QVERIFY(copiesIn(copyFolder()).isEmpty());
}

// A save in place killed once the copy is complete: the copy is found again
// by the file's name (to tell the user at the next open), whatever that
// name holds.
void TestTextFile::copyOfOddNameFound_data()
{
    addOddNames();
}

void TestTextFile::copyOfOddNameFound()
{
    QFETCH(QByteArray, name);
    const QString path = dir->filePath(QString::fromUtf8(name));
    const QByteArray old = lines('o', 40 * 1024);
    crashSavingInPlace(path, old, lines('n', 60 * 1024), TextFile::SaveStep::CopyMade, 1);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(contents(path), old);
    const QStringList found = TextFile::savedCopies(path);
    QCOMPARE(found.size(), 1);
    QCOMPARE(contents(found.first()), old);
    QVERIFY(TextFile::savedCopies(dir->filePath(QStringLiteral("two.txt"))).isEmpty());
}

// Saving by a new file beside the old one, and in place (with the copy of
// the old bytes aside), under every name the file system takes; nothing is
// left behind.
void TestTextFile::longestNamesSave_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("inPlace");
    for (bool inPlace : {false, true}) {
        const char* how = inPlace ? ", in place" : ", replaced";
        QTest::addRow("247 bytes%s", how) << QByteArray(243, 'l') + ".txt" << inPlace;
        QTest::addRow("248 bytes%s", how) << QByteArray(244, 'l') + ".txt" << inPlace;
        QTest::addRow("255 bytes%s", how) << QByteArray(251, 'l') + ".txt" << inPlace;
        QTest::addRow("255 bytes of two-byte characters%s", how)
            << QByteArray("a") + QString(127, QChar(0xE9)).toUtf8() << inPlace;
    }
}

void TestTextFile::longestNamesSave()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, inPlace);
    const QString path = dir->filePath(QString::fromUtf8(name));
    writeFile(path, "old\n");
    QStringList expected{QString::fromUtf8(name)};
    if (inPlace) {
        hardLink(path, dir->filePath(QStringLiteral("two.txt")));
        expected << QStringLiteral("two.txt");
    }
    TextFile file;
    QVERIFY2(file.load(path, doc), qPrintable(file.errorString()));
    doc->loadText(QStringLiteral("new text\n"));
    doc->setModified(true);
    QVERIFY2(file.save(path, doc), qPrintable(file.errorString()));
    QCOMPARE(contents(path), QByteArray("new text\n"));
    expected.sort();
    QStringList now = entries();
    now.sort();
    QCOMPARE(now, expected);
    QVERIFY(copiesIn(copyFolder()).isEmpty());
}

void TestTextFile::changedOnDisk_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("changed");

    QTest::newRow("untouched") << "none" << false;
    QTest::newRow("same size, other time") << "touch" << true;
    QTest::newRow("grown") << "append" << true;
    QTest::newRow("replaced, same size and time") << "replace" << true;
    QTest::newRow("deleted") << "delete" << false;
}

void TestTextFile::changedOnDisk()
{
    QFETCH(QString, change);
    QFETCH(bool, changed);

    const QString path = dir->filePath(QStringLiteral("doc.txt"));
    const QByteArray name = QFile::encodeName(path);
    writeFile(path, "first\n");
    QVERIFY(QFile::link(path, dir->filePath(QStringLiteral("link.txt"))));
    TextFile file;
    QVERIFY(!file.changedOnDisk(path)); // never read
    QVERIFY(file.load(path, doc));
    QVERIFY(!file.changedOnDisk(path));

    struct stat st;
    QVERIFY(::stat(name.constData(), &st) == 0);
    if (change == QLatin1String("touch")) {
        writeFile(path, "other\n");
        const struct timespec times[2] = {st.st_atim, {st.st_mtim.tv_sec + 5, 0}};
        QVERIFY(::utimensat(AT_FDCWD, name.constData(), times, 0) == 0);
    } else if (change == QLatin1String("append")) {
        writeFile(path, "first\nsecond\n");
    } else if (change == QLatin1String("replace")) {
        const QString other = dir->filePath(QStringLiteral("other"));
        writeFile(other, "first\n");
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(other).constData(), times, 0) == 0);
        QVERIFY(::rename(QFile::encodeName(other).constData(), name.constData()) == 0);
    } else if (change == QLatin1String("delete")) {
        QVERIFY(QFile::remove(path));
    }
    QCOMPARE(file.changedOnDisk(path), changed);
    QCOMPARE(file.changedOnDisk(dir->filePath(QStringLiteral("link.txt"))), changed);
    QVERIFY(!file.changedOnDisk(dir->filePath(QStringLiteral("elsewhere.txt"))));

    // Saving makes the file the one this object knows again.
    doc->setModified(true);
    QVERIFY(file.save(path, doc));
    QVERIFY(!file.changedOnDisk(path));
}

void TestTextFile::unrepresentableRefused_data()
{
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("line");

    // Sparse files, the rest zero characters. Of a little over 2 GiB,
    // whose last line has 2^31 characters: one more than a column can
    // count.
    const qint64 big = qint64(1) << 31;
    QTest::newRow("UTF-8, second line") << "UTF-8" << QByteArray("first\n") << big + 6 << 2;
    // Eight four-byte characters are two units each: 32 bytes, 16
    // characters.
    QByteArray emoji;
    for (int i = 0; i < 8; ++i)
        emoji += "\xf0\x9f\x98\x80";
    QTest::newRow("locale, four-byte characters") << QString() << emoji << big + 16 << 1;
    QTest::newRow("Latin-1") << "ISO-8859-1" << QByteArray("\xe9") << big << 1;
    // Longer than the editor can edit within its memory bound, though a
    // column could count it: one character more than maxLineLength.
    const qint64 editable = TextFile::maxLineLength;
    QTest::newRow("UTF-8, one past the editable length")
        << "UTF-8" << QByteArray("first\n") << editable + 7 << 2;
    QTest::newRow("Latin-1, one past the editable length")
        << "ISO-8859-1" << QByteArray("\xe9") << editable + 1 << 1;
}

void TestTextFile::unrepresentableRefused()
{
    // Slow: reads files of over 2 GiB. Run by its own test entry.
    if (!qEnvironmentVariableIsSet("VEXA_BIG_FILE_TEST"))
        QSKIP("run by the tst_textfile_big entry");
    QFETCH(QString, codec);
    QFETCH(QByteArray, head);
    QFETCH(qint64, size);
    QFETCH(int, line);

    const QString path = dir->filePath(QStringLiteral("huge.txt"));
    writeFile(path, head);
    QVERIFY(::truncate(QFile::encodeName(path).constData(), off_t(size)) == 0);
    doc->loadText(QStringLiteral("keep me"));
    doc->setModified(true);
    TextFile file;
    file.setCodecName(codec);
    QVERIFY(!file.load(path, doc));
    QVERIFY2(file.errorString().startsWith(QStringLiteral("Line %1 is longer").arg(line)),
             qPrintable(file.errorString()));
    QCOMPARE(doc->text(), QStringLiteral("keep me"));
    QVERIFY(doc->isModified());
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

#include "xqwidgets/helpers.h"
#include "xqwidgets/xqfileoperator/fileoperator.h"
#include "xqwidgets/xqfileoperator/fileoperatordialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <unistd.h>

using xqwidgets::FileOperator;
using xqwidgets::FileOperatorDialog;

namespace
{

struct Asked {
    FileOperator::Question question;
    QString subject;
    QString text;
};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), data.size());
}

// A file of `size` bytes whose content tells its offset, without writing
// megabytes of test data by hand.
QByteArray pattern(qint64 size)
{
    QByteArray data(int(size), Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[int(i)] = char('a' + (i * 7 + i / 253) % 26);
    return data;
}

bool exists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

QStringList namesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QList<QByteArray> rawNamesIn(const QByteArray& folder)
{
    QList<QByteArray> names;
    if (DIR* dir = ::opendir(folder.constData())) {
        while (const dirent* e = ::readdir(dir))
            if (qstrcmp(e->d_name, ".") && qstrcmp(e->d_name, ".."))
                names << QByteArray(e->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

class TestFileOperator : public QObject
{
    Q_OBJECT

    FileOperator* op = nullptr;
    QList<Asked> asked;
    QList<int> answers; // given in order; Skip (0) once they run out
    QList<QPair<FileOperator::IoStep, qint64>> steps;
    std::function<int(FileOperator::IoStep, const QByteArray&, qint64)> extraHook;
    std::unique_ptr<QTemporaryDir> tmp;

    QString path(const QString& rel) const { return tmp->path() + QLatin1Char('/') + rel; }
    QList<FileOperator::Question> questions() const
    {
        QList<FileOperator::Question> list;
        for (const Asked& a : asked)
            list << a.question;
        return list;
    }
    int count(FileOperator::IoStep step) const
    {
        int n = 0;
        for (const auto& s : steps)
            n += s.first == step;
        return n;
    }

private Q_SLOTS:
    void initTestCase()
    {
        op = FileOperator::self();
        op->setAnswerer([this](FileOperator::Question q, const QString&, const QString& subject,
                               const QString& text) {
            asked << Asked{q, subject, text};
            return answers.isEmpty() ? 0 : answers.takeFirst();
        });
        op->setIoHook([this](FileOperator::IoStep step, const QByteArray& p, qint64 length) {
            steps << qMakePair(step, length);
            return extraHook ? extraHook(step, p, length) : 0;
        });
    }
    void init()
    {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        asked.clear();
        answers.clear();
        steps.clear();
        extraHook = nullptr;
    }
    void cleanup()
    {
        QVERIFY(!FileOperator::isRunning());
        tmp.reset();
    }

    void blockSizes_data();
    void blockSizes();
    void overwriteAnswers_data();
    void overwriteAnswers();
    void overwriteWindowClosedIsSkip();
    void copyTree();
    void copiedFilesAreIdentical();
    void eraseNeverFollowsLinks();
    void sameFileByAnotherSpelling();
    void failedOverwriteKeepsOldTarget();
    void failedNewCopyAsksToDelete_data();
    void failedNewCopyAsksToDelete();
    void diskFullKeepsOldTarget();
    void failedWriteAfterSkipAll_data();
    void failedWriteAfterSkipAll();
    void folderIntoItselfRefused_data();
    void folderIntoItselfRefused();
    void moveWithinFileSystemOnlyRenames();
    void moveAcrossDevices_data();
    void moveAcrossDevices();
    void moveReportsOtherRenameFailures();
    void badInput_data();
    void badInput();
    void specialFilesPassedOver();
    void fileWhereFolderMustBeMade();
    void oddNames();
    void overwriteLongestNames_data();
    void overwriteLongestNames();
    void deepTree();
    void abortStopsCopyEraseAndMove_data();
    void abortStopsCopyEraseAndMove();
    void secondOperationRefused();
    void progressWindowShowsLate();
    void dialogTexts();
    void dialogShowKeepsFocus();
    void bigSparseFile();
};

void TestFileOperator::blockSizes_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("blockLength");
    // Up to 1 MiB a file is one block; beyond, a hundredth of it, at most
    // 1 MiB (copied in the kernel, quick blocks grow: never below that).
    QTest::newRow("0 B") << qint64(0) << qint64(0);
    QTest::newRow("1000 B") << qint64(1000) << qint64(1000);
    QTest::newRow("100 KiB") << qint64(102400) << qint64(102400);
    QTest::newRow("1 MiB") << qint64(1048576) << qint64(1048576);
    QTest::newRow("1 MiB and 1 B") << qint64(1048576 + 1) << qint64(10485);
    QTest::newRow("200 MiB") << qint64(200) * 1048576 << qint64(1048576);
}

void TestFileOperator::blockSizes()
{
    QFETCH(qint64, size);
    QFETCH(qint64, blockLength);
    QVERIFY(QDir().mkpath(path("dest")));
    const QString src = path("f.bin");
    if (size > 1048576) {
        // Large: a sparse file with marks at both ends.
        QFile f(src);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(size));
        QVERIFY(f.seek(0) && f.write("head") == 4);
        QVERIFY(f.seek(size - 4) && f.write("tail") == 4);
    } else {
        writeFile(src, pattern(size));
    }
    QVERIFY(op->copy({src}, path("dest")));
    QList<qint64> writes;
    qint64 written = 0;
    for (const auto& s : std::as_const(steps))
        if (s.first == FileOperator::WriteStep) {
            writes << s.second;
            written += s.second;
        }
    QCOMPARE(written, size);
    QCOMPARE(writes.size() == 1, size > 0 && size <= FileOperator::wholeFileSize);
    if (size) {
        QCOMPARE(writes.first(), blockLength);
        for (int i = 0; i + 1 < writes.size(); ++i)
            QVERIFY(writes.at(i) >= blockLength);
    }
    QCOMPARE(QFileInfo(path("dest/f.bin")).size(), size);
    if (size <= 1048576) {
        QCOMPARE(readAll(path("dest/f.bin")), readAll(src));
    } else {
        QFile f(path("dest/f.bin"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.read(4), QByteArray("head"));
        QVERIFY(f.seek(size - 4));
        QCOMPARE(f.read(4), QByteArray("tail"));
    }
    QCOMPARE(op->bytesDone(), size);
    QVERIFY(asked.isEmpty());
}

void TestFileOperator::overwriteAnswers_data()
{
    QTest::addColumn<QList<int>>("given");
    QTest::addColumn<int>("questions");
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<QByteArray>("c");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<bool>("result");
    // a and b exist in the destination, c does not; a has 5 bytes, b 6, c 7.
    QTest::newRow("Overwrite") << QList<int>{2, 2} << 2 << QByteArray("new-a")
                               << QByteArray("new-bb") << QByteArray("new-ccc") << qint64(18)
                               << true;
    QTest::newRow("Overwrite all")
        << QList<int>{3} << 1 << QByteArray("new-a") << QByteArray("new-bb")
        << QByteArray("new-ccc") << qint64(18) << true;
    QTest::newRow("Skip") << QList<int>{0, 2} << 2 << QByteArray("old-a") << QByteArray("new-bb")
                          << QByteArray("new-ccc") << qint64(18) << true;
    QTest::newRow("Skip all") << QList<int>{1} << 1 << QByteArray("old-a") << QByteArray("old-b")
                              << QByteArray("new-ccc") << qint64(18) << true;
    QTest::newRow("Abort") << QList<int>{4} << 1 << QByteArray("old-a") << QByteArray("old-b")
                           << QByteArray("<missing>") << qint64(0) << false;
    QTest::newRow("window closed")
        << QList<int>{FileOperator::Closed, FileOperator::Closed} << 2 << QByteArray("old-a")
        << QByteArray("old-b") << QByteArray("new-ccc") << qint64(18) << true;
}

void TestFileOperator::overwriteAnswers()
{
    QFETCH(QList<int>, given);
    QFETCH(int, questions);
    writeFile(path("src/a"), "new-a");
    writeFile(path("src/b"), "new-bb");
    writeFile(path("src/c"), "new-ccc");
    writeFile(path("dest/a"), "old-a");
    writeFile(path("dest/b"), "old-b");
    answers = given;
    const bool result = op->copy({path("src/a"), path("src/b"), path("src/c")}, path("dest"));
    QCOMPARE(asked.size(), questions);
    for (const Asked& a : std::as_const(asked))
        QCOMPARE(a.question, FileOperator::OverwriteQuestion);
    QCOMPARE(asked.first().text,
             QStringLiteral("File %1 already exists.\nOverwrite this target?").arg(path("dest/a")));
    QTEST(readAll(path("dest/a")), "a");
    QTEST(readAll(path("dest/b")), "b");
    QTEST(readAll(path("dest/c")), "c");
    QTEST(op->bytesDone(), "bytes");
    QTEST(result, "result");
    // No replacement copy is left lying beside its target.
    QCOMPARE(namesIn(path("dest")).filter(QStringLiteral(".")).size(), 0);
}

void TestFileOperator::overwriteWindowClosedIsSkip()
{
    // The real question window: Escape closes it without a button.
    QWidget parent;
    QTimer::singleShot(0, [] {
        QWidget* box = QApplication::activeModalWidget();
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("File exists"));
        QTest::keyClick(box, Qt::Key_Escape);
    });
    QCOMPARE(op->overwriteWarning(&parent, QStringLiteral("/x/y")), 0);

    QTimer::singleShot(0, [] {
        QWidget* box = QApplication::activeModalWidget();
        QVERIFY(box);
        for (QPushButton* b : box->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("Overwrite a&ll"))
                QTest::mouseClick(b, Qt::LeftButton);
    });
    QCOMPARE(op->overwriteWarning(&parent, QStringLiteral("/x/y")), 3);
}

void TestFileOperator::copyTree()
{
    // Hidden entries, modes and times, and links copied as links.
    writeFile(path("t/.hidden"), "h");
    writeFile(path("t/sub/run.sh"), "#!/bin/sh\n");
    writeFile(path("t/sub/Deep/x"), "x");
    QVERIFY(QFile::link(QStringLiteral("../.hidden"), path("t/sub/rel-link")));
    QVERIFY(QDir().mkpath(path("dest")));
    const QByteArray script = QFile::encodeName(path("t/sub/run.sh"));
    QCOMPARE(::chmod(script.constData(), 0751), 0);
    QCOMPARE(::chmod(QFile::encodeName(path("t/sub")).constData(), 0710), 0);
    const struct timespec when[2] = {{1000000000, 0}, {1234567890, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, script.constData(), when, 0), 0);
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path("t/sub")).constData(), when, 0), 0);

    QVERIFY(op->copy({path("t")}, path("dest")));
    QCOMPARE(namesIn(path("dest/t")), (QStringList{".hidden", "sub"}));
    QCOMPARE(namesIn(path("dest/t/sub")), (QStringList{"Deep", "rel-link", "run.sh"}));
    QCOMPARE(QFileInfo(path("dest/t/sub/rel-link")).symLinkTarget(), path("dest/t/.hidden"));
    char text[64] = {};
    QCOMPARE(::readlink(QFile::encodeName(path("dest/t/sub/rel-link")).constData(), text,
                        sizeof text - 1),
             10);
    QCOMPARE(QByteArray(text), QByteArray("../.hidden"));
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(path("dest/t/sub/run.sh")).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), 0751);
    QCOMPARE(qint64(st.st_mtim.tv_sec), qint64(1234567890));
    QCOMPARE(::stat(QFile::encodeName(path("dest/t/sub")).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), 0710);
    QCOMPARE(qint64(st.st_mtim.tv_sec), qint64(1234567890));
    QCOMPARE(readAll(path("dest/t/sub/Deep/x")), QByteArray("x"));
    QVERIFY(asked.isEmpty());
}

void TestFileOperator::copiedFilesAreIdentical()
{
    // Every way a file is copied (empty, in one step, in blocks with a short
    // last one) and every mode bit, with creation masks that take none and
    // that take some of them away.
    struct File {
        const char* name;
        qint64 size;
        int mode;
    };
    const File files[] = {{"empty", 0, 0600},
                          {"one-byte", 1, 0644},
                          {"sub/kib", 1023, 0755},
                          {"sub/read-only", 4096, 0444},
                          {"sub/one-step", 1048576, 0640},
                          {"sub/blocks", 3 * 1048576 + 5, 0700},
                          {"sub/set-id", 10, 06755},
                          {"sticky", 10, 01777}};
    for (const File& f : files) {
        writeFile(path(QStringLiteral("t/") + f.name), pattern(f.size));
        QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("t/") + f.name)).constData(),
                         mode_t(f.mode)),
                 0);
    }
    for (const mode_t mask : {mode_t(0), mode_t(077)}) {
        const QString dest = path(QStringLiteral("dest-%1").arg(mask));
        QVERIFY(QDir().mkpath(dest));
        const mode_t old = ::umask(mask);
        const bool copied = op->copy({path("t")}, dest);
        ::umask(old);
        QVERIFY(copied);
        for (const File& f : files) {
            const QString copy = dest + QStringLiteral("/t/") + f.name;
            QCOMPARE(readAll(copy), pattern(f.size));
            struct stat st;
            QCOMPARE(::lstat(QFile::encodeName(copy).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 07777), f.mode);
        }
    }
    QVERIFY(asked.isEmpty());
}

void TestFileOperator::eraseNeverFollowsLinks()
{
    writeFile(path("outside/keep"), "keep");
    writeFile(path("tree/a"), "a");
    writeFile(path("tree/.hidden"), "h");
    QVERIFY(QFile::link(path("outside"), path("tree/to-outside")));
    QVERIFY(QFile::link(path("outside"), path("given-link")));
    QVERIFY(QFile::link(path("nowhere"), path("dangling")));

    QVERIFY(op->erase({path("tree"), path("given-link"), path("dangling")}));
    QVERIFY(!exists(path("tree")));
    QVERIFY(!exists(path("given-link")));
    QVERIFY(!exists(path("dangling")));
    QCOMPARE(readAll(path("outside/keep")), QByteArray("keep"));
    QVERIFY(asked.isEmpty());

    // A move across devices removes its copied link, not what it points to.
    writeFile(path("tree2/a"), "a");
    QVERIFY(QFile::link(path("outside"), path("tree2/to-outside")));
    QVERIFY(QDir().mkpath(path("dest")));
    extraHook = [](FileOperator::IoStep step, const QByteArray&, qint64) {
        return step == FileOperator::RenameStep ? EXDEV : 0;
    };
    QVERIFY(op->move({path("tree2")}, path("dest")));
    QVERIFY(!exists(path("tree2")));
    QCOMPARE(QFileInfo(path("dest/tree2/to-outside")).symLinkTarget(), path("outside"));
    QCOMPARE(namesIn(path("outside")), QStringList{"keep"});
}

void TestFileOperator::sameFileByAnotherSpelling()
{
    writeFile(path("d/f"), "precious");
    QVERIFY(QFile::link(path("d"), path("alias")));
    const QList<QStringList> cases = {
        {path("d/f"), path("d") + "/"}, // a trailing separator
        {path("d/f"), path("d//")},     // a doubled one
        {path("d/f"), path("alias")},   // a linked folder
        {path("alias/f"), path("d")},   // the source through the link
    };
    for (const QStringList& c : cases) {
        asked.clear();
        QVERIFY(op->copy({c[0]}, c[1]));
        QCOMPARE(readAll(path("d/f")), QByteArray("precious"));
        QVERIFY2(asked.isEmpty(), qPrintable(c.join(" -> ")));
        QVERIFY(op->move({c[0]}, c[1]));
        QCOMPARE(readAll(path("d/f")), QByteArray("precious"));
    }
    QCOMPARE(namesIn(path("d")), QStringList{"f"});
}

void TestFileOperator::failedOverwriteKeepsOldTarget()
{
    writeFile(path("src/f"), pattern(50000));
    writeFile(path("dest/f"), "old target");
    int writes = 0;
    extraHook = [&writes](FileOperator::IoStep step, const QByteArray&, qint64) {
        return step == FileOperator::WriteStep && ++writes == 1 ? ENOSPC : 0;
    };
    answers = {2, 0}; // Overwrite; then Skip the failing file
    QVERIFY(op->copy({path("src/f")}, path("dest")));
    QCOMPARE(questions(), (QList<FileOperator::Question>{FileOperator::OverwriteQuestion,
                                                         FileOperator::IoFailedQuestion}));
    QVERIFY(asked.last().text.startsWith(path("src/f") + "\nCould not write to the device."));
    QVERIFY(asked.last().text.endsWith("\nContinue operations?"));
    QCOMPARE(readAll(path("dest/f")), QByteArray("old target"));
    QCOMPARE(namesIn(path("dest")), QStringList{"f"});
}

void TestFileOperator::failedNewCopyAsksToDelete_data()
{
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("kept");
    QTest::newRow("Delete") << 0 << false;
    QTest::newRow("Cancel") << 1 << true;
    QTest::newRow("closed") << int(FileOperator::Closed) << true;
}

void TestFileOperator::failedNewCopyAsksToDelete()
{
    QFETCH(int, second);
    const QByteArray data = pattern(3 * 1048576); // in blocks: the third read fails
    writeFile(path("src/f"), data);
    writeFile(path("src/g"), "next");
    QVERIFY(QDir().mkpath(path("dest")));
    int reads = 0;
    extraHook = [&reads](FileOperator::IoStep step, const QByteArray&, qint64) {
        return step == FileOperator::ReadStep && ++reads == 3 ? EIO : 0;
    };
    answers = {0, second};
    QVERIFY(op->copy({path("src/f"), path("src/g")}, path("dest")));
    QCOMPARE(questions(), (QList<FileOperator::Question>{FileOperator::IoFailedQuestion,
                                                         FileOperator::IncompleteQuestion}));
    QCOMPARE(asked.last().text, QStringLiteral("Delete incomplete file %1?").arg(path("dest/f")));
    QTEST(exists(path("dest/f")), "kept");
    QCOMPARE(readAll(path("dest/g")), QByteArray("next"));
    QCOMPARE(readAll(path("src/f")), data);

    // Closed without a button, the error question is Abort: g is not copied.
    QVERIFY(op->erase({path("dest")}));
    QVERIFY(QDir().mkpath(path("dest")));
    asked.clear();
    reads = 0;
    answers = {FileOperator::Closed, 0};
    QVERIFY(!op->copy({path("src/f"), path("src/g")}, path("dest")));
    QCOMPARE(namesIn(path("dest")), QStringList());
}

void TestFileOperator::diskFullKeepsOldTarget()
{
    // A real full file system: a small tmpfs, when this machine lets us mount.
    QVERIFY(QDir().mkpath(path("small")));
    const QByteArray mountPoint = QFile::encodeName(path("small"));
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=1m") != 0)
        QSKIP("tmpfs cannot be mounted here");
    struct Unmount {
        QByteArray at;
        ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
    } unmount{mountPoint};
    writeFile(path("small/f"), "old target");
    writeFile(path("big/f"), pattern(2 * 1048576));
    answers = {2, 0};
    QVERIFY(op->copy({path("big/f")}, path("small")));
    QCOMPARE(questions(), (QList<FileOperator::Question>{FileOperator::OverwriteQuestion,
                                                         FileOperator::IoFailedQuestion}));
    QCOMPARE(readAll(path("small/f")), QByteArray("old target"));
    QCOMPARE(namesIn(path("small")), QStringList{"f"});

    // A move onto a full disk keeps its source.
    asked.clear();
    answers = {0}; // Skip; the incomplete copy goes unasked
    QCOMPARE(::unlink(QFile::encodeName(path("small/f")).constData()), 0);
    QVERIFY(op->move({path("big/f")}, path("small")));
    QCOMPARE(readAll(path("big/f")), pattern(2 * 1048576));
    QVERIFY(!exists(path("small/f")));
}

void TestFileOperator::failedWriteAfterSkipAll_data()
{
    QTest::addColumn<QString>("staging");
    QTest::addColumn<bool>("moving");
    QTest::newRow("copy onto a full tmpfs") << "tmpfs" << false;
    QTest::newRow("move onto a full tmpfs") << "tmpfs" << true;
    QTest::newRow("copy past the file-size limit") << "limit" << false;
    QTest::newRow("move past the file-size limit") << "limit" << true;
}

void TestFileOperator::failedWriteAfterSkipAll()
{
    // "Skip all" given to a read error answers read errors only: a write
    // that fails later is asked about, and one passed over after its own
    // "Skip all" is told at the end; neither leaves a cut-off copy.
    QFETCH(QString, staging);
    QFETCH(bool, moving);
    QString dest = path("dest");
    QVERIFY(QDir().mkpath(dest));
    struct Staged {
        QByteArray mountPoint;
        rlimit limit{};
        bool limited = false;
        ~Staged()
        {
            if (limited) {
                ::setrlimit(RLIMIT_FSIZE, &limit);
                ::signal(SIGXFSZ, SIG_DFL);
            }
            if (!mountPoint.isEmpty())
                ::umount2(mountPoint.constData(), MNT_DETACH);
        }
    } staged;
    if (staging == "tmpfs") {
        // A real full file system, on another device: a move copies.
        const QByteArray at = QFile::encodeName(dest);
        if (::mount("tmpfs", at.constData(), "tmpfs", 0, "size=1m") != 0)
            QSKIP("tmpfs cannot be mounted here (needs root); the file-size limit rows stage "
                  "the same failure");
        staged.mountPoint = at;
    }
    const QByteArray big = pattern(2 * 1048576);
    writeFile(path("src/a"), pattern(200000));
    writeFile(path("src/b"), big);
    writeFile(path("src/b2"), big);
    writeFile(path("src/c"), "small");
    extraHook = [&](FileOperator::IoStep step, const QByteArray& p, qint64) {
        if (step == FileOperator::RenameStep && moving && staging == "limit")
            return EXDEV;
        return step == FileOperator::ReadStep && p.endsWith("/src/a") ? EIO : 0;
    };
    if (staging == "limit") {
        // Past the limit a write fails with EFBIG, as for any user.
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &staged.limit), 0);
        rlimit small = staged.limit;
        small.rlim_cur = 1048576;
        ::signal(SIGXFSZ, SIG_IGN);
        staged.limited = true;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    answers = {1, 0, 1}; // a: Skip all, Delete the incomplete copy; b: Skip all
    const QStringList given = {path("src/a"), path("src/b"), path("src/b2"), path("src/c")};
    QVERIFY(moving ? op->move(given, dest) : op->copy(given, dest));

    QCOMPARE(questions(), (QList<FileOperator::Question>{
                              FileOperator::IoFailedQuestion, FileOperator::IncompleteQuestion,
                              FileOperator::IoFailedQuestion, FileOperator::Report}));
    QVERIFY(asked.at(0).text.contains("Could not read from the device."));
    QCOMPARE(asked.at(2).subject, path("src/b"));
    QVERIFY(asked.at(2).text.contains("Could not write to the device."));
    QVERIFY2(asked.at(3).text.contains(path("src/b2") + ": Could not write to the device."),
             qPrintable(asked.at(3).text));
    QCOMPARE(namesIn(dest), QStringList{"c"});
    QCOMPARE(readAll(dest + "/c"), QByteArray("small"));
    // A move keeps every source whose copy failed.
    QCOMPARE(namesIn(path("src")),
             moving ? (QStringList{"a", "b", "b2"}) : (QStringList{"a", "b", "b2", "c"}));
    QCOMPARE(readAll(path("src/b2")), big);
}

void TestFileOperator::folderIntoItselfRefused_data()
{
    QTest::addColumn<bool>("moving");
    QTest::addColumn<QString>("dest");
    QTest::newRow("copy into itself") << false << "d";
    QTest::newRow("copy into a subfolder") << false << "d/sub";
    QTest::newRow("move into a subfolder") << true << "d/sub/";
    QTest::newRow("move through a link") << true << "link-to-sub";
}

void TestFileOperator::folderIntoItselfRefused()
{
    QFETCH(bool, moving);
    QFETCH(QString, dest);
    writeFile(path("d/sub/f"), "f");
    writeFile(path("other"), "o");
    QVERIFY(QFile::link(path("d/sub"), path("link-to-sub")));
    const QStringList given = {path("other"), path("d")};
    QVERIFY(!(moving ? op->move(given, path(dest)) : op->copy(given, path(dest))));
    QCOMPARE(questions(), QList<FileOperator::Question>{FileOperator::Report});
    QVERIFY(asked.first().text.contains(path("d")));
    QCOMPARE(namesIn(path("d/sub")), QStringList{"f"});
    QVERIFY(exists(path("other")));
}

void TestFileOperator::moveWithinFileSystemOnlyRenames()
{
    writeFile(path("t/a"), "a");
    writeFile(path("t/s/b"), "b");
    writeFile(path("f"), pattern(3000));
    writeFile(path("dest/f"), "old");
    QVERIFY(QDir().mkpath(path("dest")));
    struct stat before;
    QCOMPARE(::stat(QFile::encodeName(path("f")).constData(), &before), 0);
    answers = {2};
    QVERIFY(op->move({path("t"), path("f")}, path("dest")));
    QCOMPARE(count(FileOperator::ReadStep), 0);
    QCOMPARE(count(FileOperator::RenameStep), 2);
    QCOMPARE(questions(), QList<FileOperator::Question>{FileOperator::OverwriteQuestion});
    QVERIFY(!exists(path("t")) && !exists(path("f")));
    QCOMPARE(readAll(path("dest/t/s/b")), QByteArray("b"));
    struct stat after;
    QCOMPARE(::stat(QFile::encodeName(path("dest/f")).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
}

void TestFileOperator::moveAcrossDevices_data()
{
    QTest::addColumn<bool>("realDevice");
    QTest::newRow("/dev/shm") << true;
    QTest::newRow("injected EXDEV") << false;
}

void TestFileOperator::moveAcrossDevices()
{
    QFETCH(bool, realDevice);
    QString destRoot = path("dest");
    std::unique_ptr<QTemporaryDir> shm;
    if (realDevice) {
        shm = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/tst_fileoperator-XXXXXX"));
        struct stat a, b;
        if (!shm->isValid() || ::stat("/dev/shm", &a) != 0 ||
            ::stat(QFile::encodeName(tmp->path()).constData(), &b) != 0 || a.st_dev == b.st_dev)
            QSKIP("/dev/shm is not another file system here");
        destRoot = shm->path();
    } else {
        QVERIFY(QDir().mkpath(destRoot));
        extraHook = [](FileOperator::IoStep step, const QByteArray&, qint64) {
            return step == FileOperator::RenameStep ? EXDEV : 0;
        };
    }
    writeFile(path("t/run"), "#!/bin/sh\n");
    writeFile(path("t/keep/skipped"), "new");
    writeFile(path("t/keep/moved"), "m");
    writeFile(destRoot + "/t/keep/skipped", "existing");
    const QByteArray run = QFile::encodeName(path("t/run"));
    QCOMPARE(::chmod(run.constData(), 0755), 0);
    const struct timespec when[2] = {{1000000000, 0}, {1111111111, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, run.constData(), when, 0), 0);

    answers = {2, 0}; // overwrite the folder t (a merge), skip the existing file
    QVERIFY(op->move({path("t")}, destRoot));
    QVERIFY(count(FileOperator::ReadStep) > 0);
    QCOMPARE(readAll(destRoot + "/t/run"), QByteArray("#!/bin/sh\n"));
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(destRoot + "/t/run").constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), 0755);
    QCOMPARE(qint64(st.st_mtim.tv_sec), qint64(1111111111));
    QCOMPARE(readAll(destRoot + "/t/keep/skipped"), QByteArray("existing"));
    QCOMPARE(readAll(destRoot + "/t/keep/moved"), QByteArray("m"));
    // The skipped file keeps its source, and so its folders stay.
    QCOMPARE(namesIn(path("t")), QStringList{"keep"});
    QCOMPARE(namesIn(path("t/keep")), QStringList{"skipped"});
    QCOMPARE(readAll(path("t/keep/skipped")), QByteArray("new"));
}

void TestFileOperator::moveReportsOtherRenameFailures()
{
    writeFile(path("a"), "a");
    writeFile(path("b"), "b");
    QVERIFY(QDir().mkpath(path("dest")));
    extraHook = [](FileOperator::IoStep step, const QByteArray& p, qint64) {
        return step == FileOperator::RenameStep && p.endsWith("/a") ? EACCES : 0;
    };
    QVERIFY(op->move({path("a"), path("b")}, path("dest")));
    QCOMPARE(count(FileOperator::ReadStep), 0); // no copy behind the user's back
    QVERIFY(exists(path("a")) && !exists(path("dest/a")));
    QVERIFY(!exists(path("b")) && exists(path("dest/b")));
    QCOMPARE(questions(), QList<FileOperator::Question>{FileOperator::Report});
    QVERIFY(asked.first().text.contains(path("a") + ": can't move it: "));

    // A failed removal after a copy across devices is reported too.
    asked.clear();
    extraHook = [](FileOperator::IoStep step, const QByteArray&, qint64) {
        return step == FileOperator::RenameStep   ? EXDEV
               : step == FileOperator::RemoveStep ? EBUSY
                                                  : 0;
    };
    QVERIFY(op->move({path("a")}, path("dest")));
    QVERIFY(exists(path("a")) && exists(path("dest/a")));
    QCOMPARE(questions(), QList<FileOperator::Question>{FileOperator::Report});
    QVERIFY(asked.first().text.contains(path("a") + ": can't remove it: "));
}

void TestFileOperator::badInput_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<QString>("dest");
    QTest::newRow("copy, missing source") << "copy" << QStringList{"a", "missing"} << "dest";
    QTest::newRow("move, missing source") << "move" << QStringList{"a", "missing"} << "dest";
    QTest::newRow("erase, missing source") << "erase" << QStringList{"a", "missing"} << "";
    QTest::newRow("copy, missing destination") << "copy" << QStringList{"a"} << "nowhere";
    QTest::newRow("move, destination is a file") << "move" << QStringList{"a"} << "file";
    QTest::newRow("copy, nothing given") << "copy" << QStringList{} << "dest";
}

void TestFileOperator::badInput()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, given);
    QFETCH(QString, dest);
    writeFile(path("a"), "a");
    writeFile(path("file"), "f");
    QVERIFY(QDir().mkpath(path("dest")));
    QStringList paths;
    for (const QString& g : given)
        paths << path(g);
    const bool result = operation == "copy"   ? op->copy(paths, path(dest))
                        : operation == "move" ? op->move(paths, path(dest))
                                              : op->erase(paths);
    QVERIFY(!result);
    QCOMPARE(readAll(path("a")), QByteArray("a"));
    QCOMPARE(namesIn(path("dest")), QStringList());
    QVERIFY(asked.isEmpty());
    QVERIFY(steps.isEmpty());
}

void TestFileOperator::specialFilesPassedOver()
{
    writeFile(path("t/a"), "a");
    QCOMPARE(::mkfifo(QFile::encodeName(path("t/fifo")).constData(), 0644), 0);
    QCOMPARE(::mknod(QFile::encodeName(path("t/null")).constData(), S_IFCHR | 0644, makedev(1, 3)),
             0);
    QVERIFY(QDir().mkpath(path("dest")));
    QVERIFY(op->copy({path("t")}, path("dest")));
    QCOMPARE(namesIn(path("dest/t")), QStringList{"a"});
    QCOMPARE(questions(), QList<FileOperator::Question>{FileOperator::Report});
    QVERIFY(asked.first().text.contains(path("t/fifo") + ": not a regular file"));
    QVERIFY(asked.first().text.contains(path("t/null") + ": not a regular file"));

    // Erasing removes them (never opening them).
    asked.clear();
    QVERIFY(op->erase({path("t")}));
    QVERIFY(!exists(path("t")));
    QVERIFY(asked.isEmpty());
}

void TestFileOperator::fileWhereFolderMustBeMade()
{
    writeFile(path("t/sub/x"), "x");
    writeFile(path("t/sub/y"), "y");
    writeFile(path("t/z"), "z");
    writeFile(path("dest/t/sub"), "a file in the way");
    answers = {1}; // Skip all: y is passed over unasked, and listed at the end
    QVERIFY(op->copy({path("t")}, path("dest")));
    QCOMPARE(questions(), (QList<FileOperator::Question>{FileOperator::OpenFailedQuestion,
                                                         FileOperator::Report}));
    QCOMPARE(asked.first().subject, path("dest/t/sub/x"));
    QVERIFY(asked.first().text.startsWith(
        QStringLiteral("Can't access file %1.\nCould not open the device.")
            .arg(path("dest/t/sub/x"))));
    QVERIFY(asked.last().text.contains(path("dest/t/sub/y") + ": Could not open the device."));
    QCOMPARE(readAll(path("dest/t/sub")), QByteArray("a file in the way"));
    QCOMPARE(readAll(path("dest/t/z")), QByteArray("z"));
}

void TestFileOperator::oddNames()
{
    const QByteArray root = QFile::encodeName(path("t"));
    QVERIFY(QDir().mkpath(path("t")));
    QVERIFY(QDir().mkpath(path("dest")));
    const QList<QByteArray> names = {QByteArray("line\nbreak"), QByteArray("bad-\xff\xfe-bytes"),
                                     QByteArray("<b>tag<b> & \\")};
    for (const QByteArray& n : names) {
        const int fd = ::open((root + '/' + n).constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, n.constData(), size_t(n.size())), ssize_t(n.size()));
        ::close(fd);
    }
    QVERIFY(::mkdir((root + "/dir-\xff").constData(), 0755) == 0);
    QVERIFY(op->copy({path("t")}, path("dest")));
    QList<QByteArray> expected = names;
    expected << QByteArray("dir-\xff");
    std::sort(expected.begin(), expected.end());
    QCOMPARE(rawNamesIn(QFile::encodeName(path("dest/t"))), expected);
    QVERIFY(asked.isEmpty());
    QVERIFY(op->erase({path("t"), path("dest/t")}));
    QVERIFY(!exists(path("t")) && !exists(path("dest/t")));
    QVERIFY(asked.isEmpty());
}

// A target named as long as the file system allows is replaced through a
// name made beside it, which must stay within that length too.
void TestFileOperator::overwriteLongestNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("link");
    for (bool link : {false, true}) {
        const char* what = link ? "link" : "file";
        QTest::addRow("%s, 247 bytes", what) << QString(247, QLatin1Char('n')) << link;
        QTest::addRow("%s, 255 bytes", what) << QString(255, QLatin1Char('n')) << link;
        QTest::addRow("%s, 255 bytes of two-byte characters", what)
            << QLatin1Char('a') + QString(127, QChar(0xE9)) << link;
    }
}

void TestFileOperator::overwriteLongestNames()
{
    QFETCH(QString, name);
    QFETCH(bool, link);
    writeFile(path("src/") + name, "new");
    if (link) {
        QVERIFY(QFile::remove(path("src/") + name));
        QVERIFY(QFile::link(QStringLiteral("elsewhere"), path("src/") + name));
    }
    writeFile(path("dest/") + name, "old");
    answers = {2}; // Overwrite
    QVERIFY(op->copy({path("src/") + name}, path("dest")));
    QCOMPARE(questions(), QList<FileOperator::Question>{FileOperator::OverwriteQuestion});
    if (link)
        QCOMPARE(QFileInfo(path("dest/") + name).symLinkTarget(), path("dest/elsewhere"));
    else
        QCOMPARE(readAll(path("dest/") + name), QByteArray("new"));
    QCOMPARE(namesIn(path("dest")), QStringList{name});
}

void TestFileOperator::deepTree()
{
    // 300 levels: copied down to the limit, the rest left and reported.
    QByteArray deep = QFile::encodeName(path("t"));
    QVERIFY(::mkdir(deep.constData(), 0755) == 0);
    QVERIFY(::chdir(deep.constData()) == 0);
    for (int i = 0; i < 300; ++i) {
        QVERIFY(::mkdir("d", 0755) == 0);
        QVERIFY(::chdir("d") == 0);
    }
    QVERIFY(::close(::open("leaf", O_WRONLY | O_CREAT, 0644)) == 0);
    QVERIFY(::chdir(QFile::encodeName(tmp->path()).constData()) == 0);
    QVERIFY(QDir().mkpath(path("dest")));

    QVERIFY(op->copy({path("t")}, path("dest")));
    QCOMPARE(questions(), QList<FileOperator::Question>{FileOperator::Report});
    QVERIFY(asked.first().text.contains(QStringLiteral("lies deeper than 256 folder levels")));
    int levels = 0;
    QByteArray at = QFile::encodeName(path("dest/t"));
    while (rawNamesIn(at) == QList<QByteArray>{"d"}) {
        at += "/d";
        ++levels;
    }
    QCOMPARE(levels, FileOperator::maxDepth);
    QCOMPARE(rawNamesIn(at), QList<QByteArray>());

    // Erase removes nothing it could not list, and says so.
    asked.clear();
    QVERIFY(op->erase({path("t")}));
    QCOMPARE(questions(), QList<FileOperator::Question>{FileOperator::Report});
    QVERIFY(exists(path("t/d")));
    // Leave no tree the temporary folder's own removal cannot handle.
    QVERIFY(::system(qPrintable(QStringLiteral("rm -rf '%1' '%2'").arg(path("t"), path("dest")))) ==
            0);
}

void TestFileOperator::abortStopsCopyEraseAndMove_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("copy") << "copy";
    QTest::newRow("move across devices") << "move";
    QTest::newRow("erase") << "erase";
}

void TestFileOperator::abortStopsCopyEraseAndMove()
{
    QFETCH(QString, operation);
    const QByteArray data = pattern(2 * 1048576); // in blocks
    for (int i = 0; i < 10; ++i)
        writeFile(path(QStringLiteral("t/f%1").arg(i)), data);
    QVERIFY(QDir().mkpath(path("dest")));
    int done = 0;
    extraHook = [&](FileOperator::IoStep step, const QByteArray& p, qint64) -> int {
        if (step == FileOperator::RenameStep)
            return EXDEV;
        // Closing the progress window is Abort.
        if (operation == "erase"
                ? step == FileOperator::RemoveStep && ++done == 3
                : step == FileOperator::WriteStep && p.endsWith("/f1") && ++done == 2)
            op->dialog()->close();
        return 0;
    };
    const bool result = operation == "copy"   ? op->copy({path("t")}, path("dest"))
                        : operation == "move" ? op->move({path("t")}, path("dest"))
                                              : op->erase({path("t")});
    QVERIFY(!result);
    QVERIFY(asked.isEmpty());
    if (operation == "erase") {
        QCOMPARE(namesIn(path("t")).size(), 7);
        return;
    }
    // Aborted in the second block of f1: every source stays, and no
    // half-written file looks like a copy.
    QCOMPARE(namesIn(path("t")).size(), 10);
    QCOMPARE(namesIn(path("dest/t")), QStringList{"f0"});
    QCOMPARE(readAll(path("dest/t/f0")), data);
}

void TestFileOperator::secondOperationRefused()
{
    writeFile(path("t/a"), "a");
    writeFile(path("other"), "o");
    QVERIFY(QDir().mkpath(path("dest")));
    bool inner = true;
    bool running = false;
    extraHook = [&](FileOperator::IoStep step, const QByteArray&, qint64) -> int {
        if (step == FileOperator::WriteStep) {
            running = FileOperator::isRunning();
            inner = op->erase({path("other")});
        }
        return 0;
    };
    QVERIFY(op->copy({path("t")}, path("dest")));
    QVERIFY(running);
    QVERIFY(!inner);
    QCOMPARE(questions(), QList<FileOperator::Question>{FileOperator::Report});
    QVERIFY(asked.first().text.startsWith("Another file operation is still running."));
    QVERIFY(exists(path("other")));
    QCOMPARE(readAll(path("dest/t/a")), QByteArray("a"));
}

void TestFileOperator::progressWindowShowsLate()
{
    writeFile(path("quick"), "q");
    for (int i = 0; i < 8; ++i)
        writeFile(path(QStringLiteral("slow/f%1").arg(i)), "x");
    QVERIFY(QDir().mkpath(path("dest")));
    bool shownEarly = false;
    extraHook = [&](FileOperator::IoStep step, const QByteArray&, qint64) {
        if (step == FileOperator::WriteStep && op->dialog()->isVisible())
            shownEarly = true;
        return 0;
    };
    QVERIFY(op->copy({path("quick")}, path("dest")));
    QVERIFY(!shownEarly);

    QElapsedTimer clock;
    clock.start();
    qint64 firstSeen = -1;
    QString caption, status;
    extraHook = [&](FileOperator::IoStep step, const QByteArray&, qint64) {
        if (step == FileOperator::WriteStep) {
            QTest::qWait(100);
            if (firstSeen < 0 && op->dialog()->isVisible()) {
                firstSeen = clock.elapsed();
                caption = op->dialog()->windowTitle();
            }
            status = op->dialog()->statusLabel->text();
        }
        return 0;
    };
    QVERIFY(op->copy({path("slow")}, path("dest")));
    QVERIFY(firstSeen >= 500);
    QCOMPARE(caption, QStringLiteral("Copying files..."));
    // The total counts the listed files of a folder without subfolders.
    const QString total =
        xqwidgets::Utils::humanReadableSize(quint64(QFileInfo(path("slow")).size() + 8));
    QVERIFY2(status.endsWith(" of " + total), qPrintable(status));
}

void TestFileOperator::dialogTexts()
{
    FileOperatorDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Operation"));
    QCOMPARE(dialog.buttonAbort->text(), QStringLiteral("&Abort"));
    // The refresh timer paints every label at once: the first one it fills
    // tells that it ran.
    QTRY_COMPARE(dialog.operationLabel->text(),
                 QStringLiteral("Copying <b>1</b> items to <b></b>"));
    QCOMPARE(dialog.itemLabel->text(), QStringLiteral("Item \"<b></b>\""));
    QCOMPARE(dialog.progressBar->value(), 0);
    QCOMPARE(dialog.statusLabel->text(), QStringLiteral("Processed   0b of   1b"));

    dialog.setOperationName("Moving");
    dialog.setItems(12);
    dialog.setDest("/home/<me>");
    dialog.setItemName("a&b");
    dialog.setTotalSize(0);
    dialog.setCurrentSize(0);
    QTRY_COMPARE(dialog.operationLabel->text(),
                 QStringLiteral("Moving <b>12</b> items to <b>/home/&lt;me&gt;</b>"));
    QCOMPARE(dialog.progressBar->value(), 0);
    dialog.setTotalSize(5ull << 30);
    dialog.setCurrentSize(4ull << 30);
    QTRY_COMPARE(dialog.progressBar->value(), 80);
    QCOMPARE(dialog.statusLabel->text(), QStringLiteral("Processed 4.00G of 5.00G"));
    dialog.setCurrentSize(6ull << 30);
    QTRY_COMPARE(dialog.progressBar->value(), 100);

    QVERIFY(!dialog.aborted);
    QTest::mouseClick(dialog.buttonAbort, Qt::LeftButton);
    QVERIFY(dialog.aborted);
    QTest::mouseClick(dialog.buttonAbort, Qt::LeftButton);
    QVERIFY(dialog.aborted);
}

void TestFileOperator::dialogShowKeepsFocus()
{
    QWidget main;
    main.setGeometry(100, 100, 800, 600);
    auto* edit = new QLineEdit(&main);
    main.show();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    edit->setFocus();
    QCOMPARE(QApplication::focusWidget(), edit);

    FileOperatorDialog dialog;
    dialog.setMainWindow(&main);
    dialog.show();
    QVERIFY(dialog.isVisible());
    QCOMPARE(QApplication::focusWidget(), edit);
    QCOMPARE(dialog.geometry().right() + 1, main.geometry().right() + 1 - 50);
    QCOMPARE(dialog.geometry().top(), main.geometry().top() + 50);
}

void TestFileOperator::bigSparseFile()
{
    // Slow: writes 4 GiB. Run by its own test entry.
    if (!qEnvironmentVariableIsSet("VEXA_BIG_FILE_TEST"))
        QSKIP("run by the tst_fileoperator_big entry");
    const qint64 size = (qint64(4) << 30) + 1;
    struct statvfs vfs;
    QVERIFY(::statvfs(QFile::encodeName(tmp->path()).constData(), &vfs) == 0);
    if (qint64(vfs.f_bavail) * qint64(vfs.f_frsize) < size + (qint64(1) << 30))
        QSKIP("not enough room on the disk for a 4 GiB copy");
    QVERIFY(QDir().mkpath(path("dest")));
    {
        QFile f(path("big"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(size - 1));
        QVERIFY(f.seek(size - 1) && f.write("Z") == 1);
    }
    QVERIFY(op->copy({path("big")}, path("dest")));
    QCOMPARE(QFileInfo(path("dest/big")).size(), size);
    QFile f(path("dest/big"));
    QVERIFY(f.open(QIODevice::ReadOnly) && f.seek(size - 1));
    QCOMPARE(f.read(1), QByteArray("Z"));
    QCOMPARE(op->bytesDone(), size);
    QVERIFY(asked.isEmpty());
}

QTEST_MAIN(TestFileOperator)
#include "tst_fileoperator.moc"

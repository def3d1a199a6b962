// Low memory: a load or an edit whose size the file or the line decides,
// and that cannot get its memory, fails or is refused whole instead of
// ending the program; the other documents and the undo history stay as
// they were. Each case runs in a child process (this executable again)
// whose address space is capped with setrlimit(RLIMIT_AS) a little above
// what it holds once the case is set up.

#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

using namespace xqwidgets;

namespace
{

// The case a child runs, and the folder of its files.
const char kChildCase[] = "TST_TEXTMEMORY_CASE";
const char kChildDir[] = "TST_TEXTMEMORY_DIR";
// Exit status of a child that cannot cap its memory.
constexpr int kCannotStage = 77;

constexpr qsizetype kMiB = 1024 * 1024;

// The address space the process holds now.
qsizetype addressSpace()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    return statm.readAll().split(' ').value(0).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

// Caps the address space at what the process holds now and `headroom`
// more: enough for the small allocations of an edit, not for one sized by
// a long line.
bool capMemory(qsizetype headroom)
{
    const qsizetype now = addressSpace();
    if (now <= 0)
        return false;
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = rlim_t(now + headroom);
    return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

void writeLine(const QString& path, char c, qsizetype length, const QByteArray& after)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const QByteArray block(kMiB, c);
    for (qsizetype left = length; left > 0; left -= block.size())
        QVERIFY(f.write(block.constData(), qMin(left, block.size())) > 0);
    QVERIFY(f.write(after) == after.size());
}

} // namespace

// The cases, run by the child under its cap (see main).
class MemoryCases : public QObject
{
    Q_OBJECT

    TextEditorManager* m = nullptr;
    TextEditor* big = nullptr;   // the document the case works on
    TextEditor* other = nullptr; // another document, with unsaved typing
    QString folder;

    TextDocument* doc() const { return big->document(); }
    QString path(const char* name) const { return folder + QLatin1Char('/') + QLatin1String(name); }

    // Sets up both documents: `other` with typing of its own, `big` with a
    // file of one line of `length` characters and a short line after it,
    // shown and painted; then caps the memory.
    void setUp(qsizetype length)
    {
        folder = qEnvironmentVariable(kChildDir);
        m = new TextEditorManager;
        other = m->createEditor(nullptr, nullptr);
        QTest::keyClicks(other->view(), QStringLiteral("unsaved"));
        big = m->createEditor(nullptr, nullptr);
        big->resize(400, 200);
        if (length > 0) {
            writeLine(path("long.txt"), 'b', length, "\nshort");
            QVERIFY(big->open(path("long.txt")));
        }
        big->show();
        QCoreApplication::processEvents();
        QVERIFY(capMemory(32 * kMiB));
    }

    // The other document keeps its typing; the big one is unmodified and
    // has nothing to undo; its long line is as it was.
    void checkUntouched(qsizetype length)
    {
        QCOMPARE(other->text(), QStringLiteral("unsaved"));
        QVERIFY(other->isModified());
        QVERIFY(!doc()->isModified());
        QVERIFY(!doc()->undoStack()->canUndo());
        QVERIFY(!doc()->undoStack()->inMacro());
        QCOMPARE(doc()->lastLine(), 1);
        QCOMPARE(doc()->lineOf(0)->size(), length);
        QCOMPARE(doc()->lineOf(0)->count(QLatin1Char('b')), length);
        QCOMPARE(QString(*doc()->lineOf(1)), QStringLiteral("short"));
    }

    // Small edits still go through, and undo.
    void checkStillEditable()
    {
        QTest::keyClick(big->view(), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(big->view(), Qt::Key_Y);
        QCOMPARE(QString(*doc()->lineOf(1)), QStringLiteral("shorty"));
        QVERIFY(doc()->isModified());
        doc()->undoStack()->undo();
        QCOMPARE(QString(*doc()->lineOf(1)), QStringLiteral("short"));
        QVERIFY(!doc()->isModified());
    }

private slots:
    // Opening a file whose text needs more than is left: the open fails
    // with its reason, the editor keeps its text and its file.
    void open()
    {
        setUp(0);
        QTest::keyClicks(big->view(), QStringLiteral("mine"));
        writeLine(path("huge.txt"), 'b', 64 * kMiB, QByteArray());
        QVERIFY(!big->open(path("huge.txt")));
        QCOMPARE(big->errorString(), QStringLiteral("Not enough memory"));
        QCOMPARE(big->text(), QStringLiteral("mine"));
        QVERIFY(big->isModified());
        QVERIFY(big->filePath().isEmpty());
        QCOMPARE(other->text(), QStringLiteral("unsaved"));
        QTest::keyClick(big->view(), Qt::Key_S);
        QCOMPARE(big->text(), QStringLiteral("mines"));
    }

    // A key typed into a line of 48 M characters needs a copy of it.
    void key()
    {
        const qsizetype length = 48 * kMiB;
        setUp(length);
        QSignalSpy refused(doc(), &TextDocument::outOfMemory);
        QTest::keyClick(big->view(), Qt::Key_X);
        QCOMPARE(refused.count(), 1);
        checkUntouched(length);
        QCOMPARE(big->view()->cursor()->line(), 0);
        QCOMPARE(big->view()->cursor()->column(), 0);
        checkStillEditable();
    }

    // A clipboard of 40 M characters pasted, alone and over a selection
    // (whose removal goes back too).
    void paste_data()
    {
        QTest::addColumn<bool>("overSelection");
        QTest::newRow("at the caret") << false;
        QTest::newRow("over a selection") << true;
    }
    void paste()
    {
        QFETCH(bool, overSelection);
        const qsizetype length = 4 * kMiB;
        QApplication::clipboard()->setText(QString(40 * kMiB, QLatin1Char('p')));
        setUp(length);
        QSignalSpy refused(doc(), &TextDocument::outOfMemory);
        QTest::keyClick(big->view(), Qt::Key_Down);
        if (overSelection)
            QTest::keyClick(big->view(), Qt::Key_End, Qt::ShiftModifier);
        big->paste();
        QCOMPARE(refused.count(), 1);
        checkUntouched(length);
        checkStillEditable();
    }

    // Replacing every character of a line of 16 M by two.
    void replaceAll()
    {
        const qsizetype length = 16 * kMiB;
        setUp(length);
        QSignalSpy refused(doc(), &TextDocument::outOfMemory);
        QCOMPARE(
            big->replaceAll(QStringLiteral("b"), QStringLiteral("bb"), true, false, false, false),
            0);
        QCOMPARE(refused.count(), 1);
        checkUntouched(length);
        checkStillEditable();
    }
};

class TestTextMemory : public QObject
{
    Q_OBJECT

private slots:
    void refusedWhole_data()
    {
        // One case (and row) a process, each under a cap of its own.
        QTest::addColumn<QString>("name");
        for (const char* name :
             {"open", "key", "paste:at the caret", "paste:over a selection", "replaceAll"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void refusedWhole()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer reserves terabytes of address space for its shadow memory: a "
              "cap on the address space cannot stage low memory in this build");
#endif
        QFETCH(QString, name);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kChildCase), name);
        env.insert(QString::fromLatin1(kChildDir), dir.path());
        // A debugger started on a failure would run under the child's cap.
        env.insert(QStringLiteral("QTEST_DISABLE_STACK_DUMP"), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {name});
        QVERIFY(child.waitForStarted());
        child.waitForFinished(-1);
        const QString output = QString::fromLocal8Bit(child.readAll());
        if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == kCannotStage)
            QSKIP("the address space cannot be capped here");
        QVERIFY2(child.exitStatus() == QProcess::NormalExit, qPrintable(output));
        QVERIFY2(child.exitCode() == 0, qPrintable(output));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kChildCase)) {
        struct rlimit limit;
        if (::getrlimit(RLIMIT_AS, &limit) != 0 || addressSpace() <= 0)
            return kCannotStage;
        MemoryCases cases;
        return QTest::qExec(&cases, argc, argv);
    }
    TestTextMemory test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_textmemory.moc"

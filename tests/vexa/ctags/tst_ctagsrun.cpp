// The ctags parser with the real program (skipped where there is none) and
// with stand-ins on PATH that crash, hang, fail, print junk or are missing:
// the trees of real files, the temporary file's name, mode and removal, and
// that no run leaves a process, a file or a key behind.

#include "../shellfixture.h"
#include "../testeditor.h"
#include "treedump.h"

#include "vexa/ctags/ctagsparser.h"
#include "vexa/message.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace vexa;

class TestCTagsRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void realFiles_data();
    void realFiles();
    void temporaryFile();
    void dotInFolderName();
    void badRuns_data();
    void badRuns();
    void hangingRunEndsItsGroup_data();
    void hangingRunEndsItsGroup();
    void newTextStopsStaleRun();
    void concurrentRuns();
    void ctagsMissing();
    void temporaryFileNotWritten();
    void quitDuringRun();

private:
    // Puts a stand-in "ctags" running `body` (sh) first on PATH. It logs its
    // pid, its last argument's name and mode to `log`.
    void standIn(const QByteArray& body);
    QStringList logLines() const;
    // Waits until every run's worker is done with its program and file.
    void waitIdle();

    Shell* shell = nullptr;
    CTagsParser* parser = nullptr;
    QString realCtags;
    QByteArray path;
    std::unique_ptr<QTemporaryDir> tmp;
    std::unique_ptr<QTemporaryDir> bin;
    QString log;
    int boxes = 0;
};

void TestCTagsRun::initTestCase()
{
    shellfixture::useAppSettings();
    shell = new Shell(nullptr, "vexa::Shell");
    useTestEditors();
    parser = CTagsParser::self();
    realCtags = QStandardPaths::findExecutable(QStringLiteral("ctags"));
    path = qgetenv("PATH");
    Message::setResponder([this](QMessageBox* box) -> QAbstractButton* {
        ++boxes;
        [&] {
            QCOMPARE(box->windowTitle(), QStringLiteral("Error"));
            QCOMPARE(box->text(), QStringLiteral("Can't run ctags program"));
        }();
        return box->buttons().value(0);
    });
}

void TestCTagsRun::init()
{
    // Each test's temporary files go to a folder of its own.
    tmp = std::make_unique<QTemporaryDir>();
    bin = std::make_unique<QTemporaryDir>();
    log = bin->filePath(QStringLiteral("log"));
    qputenv("TMPDIR", tmp->path().toLocal8Bit());
    parser->setTimeLimit(30000);
}

void TestCTagsRun::cleanup()
{
    // Nothing stays behind: no run, no temporary file.
    waitIdle();
    QCOMPARE(QDir(tmp->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    qputenv("PATH", path);
    qunsetenv("TMPDIR");
}

void TestCTagsRun::cleanupTestCase()
{
    Message::setResponder({});
    delete shell;
}

void TestCTagsRun::standIn(const QByteArray& body)
{
    QFile f(bin->filePath(QStringLiteral("ctags")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\nPATH=/usr/bin:/bin\nfor last; do :; done\n"
            "echo \"$$ $(basename \"$last\") $(stat -c %a \"$last\")\" >> '" +
            log.toLocal8Bit() + "'\n" + body + "\n");
    f.close();
    QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("PATH", bin->path().toLocal8Bit());
}

QStringList TestCTagsRun::logLines() const
{
    QFile f(log);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestCTagsRun::waitIdle()
{
    QTRY_COMPARE_WITH_TIMEOUT(parser->runCount(), 0, 20000);
}

void TestCTagsRun::realFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("tree");
    QTest::newRow("C++") << "sample.cpp" << sampleCppTree;
    // Python writes nested scopes with a dot: "Shape.Inner" is one name.
    QTest::newRow("Python") << "sample.py"
                            << "Shape 102 3\n"
                               "  Inner 102 9\n"
                               "  area 103 6\n"
                               "  sides 109 4\n"
                               "main 103 14\n"
                               "Shape.Inner 114 0\n"
                               "  depth 103 10";
}

void TestCTagsRun::realFiles()
{
    if (realCtags.isEmpty())
        QSKIP("no ctags on PATH");
    QFETCH(QString, file);
    QFETCH(QString, tree);
    QFile f(QStringLiteral(VEXA_CTAGS_DATA "/") + file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    QSignalSpy nodes(parser, &Parser::nodes);
    const int key = parser->parse(text, QStringLiteral("/nowhere/") + file);
    QCOMPARE(key, Parser::calculateKey(text));
    QVERIFY(nodes.wait(10000));
    QCOMPARE(nodes.at(0).at(0).toInt(), key);
    Node* root = nodes.at(0).at(1).value<Node*>();
    bool linked = false;
    QCOMPARE(dumpTree(root, &linked), tree);
    QVERIFY(linked);
    // Positions are line ends of the text.
    QCOMPARE(root->start, Parser::xy2pos(0, root->start_line, text));
}

void TestCTagsRun::temporaryFile()
{
    if (realCtags.isEmpty())
        QSKIP("no ctags on PATH");
    standIn("exec '" + realCtags.toLocal8Bit() + "' \"$@\"");
    QSignalSpy nodes(parser, &Parser::nodes);
    parser->parse(QStringLiteral("int f() { return 0; }\n"), QStringLiteral("/p/one.cpp"));
    parser->parse(QStringLiteral("int g() { return 0; }\n"), QStringLiteral("/p/two.cpp"));
    QVERIFY(nodes.wait(10000));
    if (nodes.size() < 2)
        QVERIFY(nodes.wait(10000));
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 2);
    // A fresh random name with the file's suffix, readable by its owner
    // only; gone once the run is over (checked in cleanup()).
    const QRegularExpression re(QStringLiteral("^\\d+ vexa[A-Za-z0-9]{6}\\.cpp 600$"));
    QVERIFY2(re.match(lines.at(0)).hasMatch(), qPrintable(lines.at(0)));
    QVERIFY2(re.match(lines.at(1)).hasMatch(), qPrintable(lines.at(1)));
    QVERIFY(lines.at(0).section(' ', 1, 1) != lines.at(1).section(' ', 1, 1));
    QCOMPARE(nodes.at(0).at(1).value<Node*>()->name.size(), 1);
}

void TestCTagsRun::dotInFolderName()
{
    // The suffix comes from the file's own name: a "." in a folder name
    // cannot lead the temporary file anywhere else.
    standIn("cat \"$last\" > /dev/null");
    QSignalSpy nodes(parser, &Parser::nodes);
    const QString outside = tmp->path() + QStringLiteral("/target");
    parser->parse(QStringLiteral("x"), tmp->path() + QStringLiteral("/lib.v2/../target"));
    QVERIFY(nodes.wait(10000));
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d+ vexa[A-Za-z0-9]{6} 600$"))
                 .match(lines.at(0))
                 .hasMatch(),
             qPrintable(lines.at(0)));
    QVERIFY(!QFile::exists(outside));
    QCOMPARE(nodes.at(0).at(1).value<Node*>()->name, QStringLiteral("No tags found"));
}

void TestCTagsRun::badRuns_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("delivers");
    QTest::addColumn<int>("limit");
    QTest::newRow("crash") << QByteArray("printf 'f\\tt\\t1;\"\\tf\\n'; kill -SEGV $$") << false
                           << 30000;
    QTest::newRow("killed") << QByteArray("printf 'f\\tt\\t1;\"\\tf\\n'; kill -KILL $$") << false
                            << 30000;
    QTest::newRow("fails") << QByteArray("printf 'f\\tt\\t1;\"\\tf\\n'; exit 1") << false << 30000;
    QTest::newRow("hangs") << QByteArray("exec sleep 60") << false << 300;
    QTest::newRow("hangs printing")
        << QByteArray("printf 'f\\tt\\t1;\"\\tf\\n'; exec sleep 60") << false << 300;
    // Junk is what it printed: a text without symbols.
    QTest::newRow("junk")
        << QByteArray("head -c 20000 /dev/urandom | tr -d '\\t'; printf 'a\\tb\\n\\t\\t\\t\\n'")
        << true << 30000;
}

void TestCTagsRun::badRuns()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, delivers);
    QFETCH(int, limit);
    // The stand-in's log is a FIFO: it writes its line before anything else
    // and waits for the test to read it, and the time limit cannot run out
    // meanwhile (the test does not return to the event loop while it reads),
    // however slowly a loaded machine starts the stand-in.
    QCOMPARE(mkfifo(QFile::encodeName(log).constData(), 0600), 0);
    auto readLog = [this] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readLine()).trimmed()
                                           : QString();
    };
    standIn(body);
    parser->setTimeLimit(limit);
    const bool timesOut = limit < 30000;
    QSignalSpy nodes(parser, &Parser::nodes);
    QSignalSpy noAnswer(parser, &Parser::noAnswer);
    const QString file = QStringLiteral("/p/%1.c").arg(QLatin1String(QTest::currentDataTag()));
    const QString text = QStringLiteral("int x;\n");
    const int key = parser->parse(text, file);
    QCOMPARE(key, Parser::calculateKey(text));
    QCOMPARE(parser->runCount(), 1);
    const QString line = readLog();
    waitIdle();
    QCOMPARE(nodes.size(), delivers ? 1 : 0);
    if (delivers)
        QCOMPARE(nodes.at(0).at(1).value<Node*>()->name, QStringLiteral("No tags found"));
    QVERIFY(!parser->inFlight(key, file));
    // The stand-in is gone for good.
    const pid_t pid = line.section(' ', 0, 0).toInt();
    QVERIFY2(pid > 0, qPrintable(line));
    QCOMPARE(::kill(pid, 0), -1);
    QCOMPARE(noAnswer.size(), timesOut ? 1 : 0);
    QCOMPARE(parser->timedOut(key, file), timesOut);
    if (timesOut) {
        // The same text is not tried again, a changed one is.
        QCOMPARE(parser->parse(text, file), key);
        QCOMPARE(parser->runCount(), 0);
        QVERIFY(!parser->inFlight(key, file));
        parser->parse(text + QLatin1Char(' '), file);
        QCOMPARE(parser->runCount(), 1);
        QVERIFY(!readLog().isEmpty());
        waitIdle();
        QVERIFY(!parser->timedOut(key, file));
    } else if (!delivers) {
        // The key is free: asking again runs ctags again.
        parser->parse(text, file);
        QCOMPARE(parser->runCount(), 1);
        QVERIFY(!readLog().isEmpty());
        waitIdle();
    }
}

void TestCTagsRun::hangingRunEndsItsGroup_data()
{
    QTest::addColumn<QByteArray>("body");
    // Not through exec: the program that hangs is a child of the script.
    QTest::newRow("child") << QByteArray("sleep 1000 & echo $! >> \"$log.children\"; wait");
    QTest::newRow("child ignores TERM")
        << QByteArray("(trap '' TERM; exec sleep 1000) & echo $! >> \"$log.children\"; wait");
}

void TestCTagsRun::hangingRunEndsItsGroup()
{
    QFETCH(QByteArray, body);
    standIn("log='" + log.toLocal8Bit() + "'\n" + body);
    parser->setTimeLimit(300);
    QSignalSpy noAnswer(parser, &Parser::noAnswer);
    const QString file = QStringLiteral("/p/%1.c").arg(QLatin1String(QTest::currentDataTag()));
    parser->parse(QStringLiteral("int h;"), file);
    QVERIFY(noAnswer.wait(20000));
    waitIdle();
    QFile children(log + QStringLiteral(".children"));
    QVERIFY(children.open(QIODevice::ReadOnly));
    const pid_t child = children.readAll().trimmed().toInt();
    QVERIFY(child > 0);
    const bool childGone = QTest::qWaitFor([child] { return ::kill(child, 0) != 0; }, 5000);
    if (!childGone)
        ::kill(child, SIGKILL);
    QVERIFY(childGone);
    const pid_t script = logLines().value(0).section(' ', 0, 0).toInt();
    QVERIFY(script > 0);
    QCOMPARE(::kill(script, 0), -1);
}

void TestCTagsRun::newTextStopsStaleRun()
{
    standIn("exec sleep 60");
    const QString file = QStringLiteral("/p/a.c");
    const int stale = parser->parse(QStringLiteral("int a;"), file);
    const int fresh = parser->parse(QStringLiteral("int ab;"), file);
    QVERIFY(!parser->inFlight(stale, file));
    QVERIFY(parser->inFlight(fresh, file));
    // The stale run's worker kills its program and lets go.
    QTRY_COMPARE_WITH_TIMEOUT(parser->runCount(), 1, 20000);
    // Another file's run is left alone.
    parser->parse(QStringLiteral("int a;"), QStringLiteral("/p/b.c"));
    QCOMPARE(parser->runCount(), 2);
    // Killed from outside, they end like crashes. (The stale run may have
    // been stopped before its program started.)
    auto running = [this] {
        QList<pid_t> pids;
        for (const QString& line : logLines()) {
            const pid_t pid = line.section(' ', 0, 0).toInt();
            if (::kill(pid, 0) == 0)
                pids << pid;
        }
        return pids;
    };
    QTRY_COMPARE_WITH_TIMEOUT(running().size(), 2, 20000);
    for (const pid_t pid : running())
        QCOMPARE(::kill(pid, SIGKILL), 0);
    waitIdle();
    QVERIFY(!parser->inFlight(fresh, file));
}

void TestCTagsRun::concurrentRuns()
{
    // Both runs are under way at once; each keeps the suffix and key it
    // started with ("m" is a variable in C++, a function in Java).
    standIn("sleep 0.3; printf 'x\\tt\\t1;\"\\tm\\n'");
    QSignalSpy nodes(parser, &Parser::nodes);
    const int k1 = parser->parse(QStringLiteral("class X {int x;};"), QStringLiteral("/p/x.cpp"));
    const int k2 =
        parser->parse(QStringLiteral("class X {void x(){}}"), QStringLiteral("/p/X.java"));
    QCOMPARE(parser->runCount(), 2);
    QVERIFY(nodes.wait(10000));
    if (nodes.size() < 2)
        QVERIFY(nodes.wait(10000));
    QCOMPARE(nodes.size(), 2);
    QMap<int, int> types;
    for (const QList<QVariant>& args : nodes)
        types.insert(args.at(0).toInt(), args.at(1).value<Node*>()->type);
    QCOMPARE(types.value(k1), 109);
    QCOMPARE(types.value(k2), 103);
}

void TestCTagsRun::ctagsMissing()
{
    // Said once a session, then quiet; nothing stays in flight.
    qputenv("PATH", bin->path().toLocal8Bit());
    boxes = 0;
    QSignalSpy nodes(parser, &Parser::nodes);
    const QString file = QStringLiteral("/p/m.c");
    QCOMPARE(parser->parse(QStringLiteral("int m;"), file), 0);
    QCOMPARE(boxes, 1);
    QVERIFY(!parser->inFlight(Parser::calculateKey(QStringLiteral("int m;")), file));
    parser->parse(QStringLiteral("int m;"), file);
    parser->parse(QStringLiteral("int n;"), file);
    QCOMPARE(boxes, 1);
    QCOMPARE(parser->runCount(), 0);
    QCOMPARE(nodes.size(), 0);
}

void TestCTagsRun::temporaryFileNotWritten()
{
    standIn("printf 'f\\tt\\t1;\"\\tf\\n'");
    QSignalSpy nodes(parser, &Parser::nodes);
    const QString file = QStringLiteral("/p/w.c");
    const QString text = QStringLiteral("int w;\n").repeated(1000);
    // No folder for temporary files: the run's worker finds none and frees
    // the key.
    qputenv("TMPDIR", (tmp->path() + QStringLiteral("/missing")).toLocal8Bit());
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("cannot write a temporary file.*: ") +
                                            QString::fromLocal8Bit(std::strerror(ENOENT))));
    const int key = parser->parse(text, file);
    QCOMPARE(key, Parser::calculateKey(text));
    QTRY_VERIFY_WITH_TIMEOUT(!parser->inFlight(key, file), 20000);
    qputenv("TMPDIR", tmp->path().toLocal8Bit());
    // A file size limit stops the write half-way.
    rlimit old;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    // The warning keeps the reason, also when part of the text went in.
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("cannot write a temporary file.*: ") +
                                            QString::fromLocal8Bit(std::strerror(EFBIG))));
    parser->parse(text, file);
    const bool freed = QTest::qWaitFor([&] { return !parser->inFlight(key, file); }, 20000);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(freed);
    waitIdle();
    QCOMPARE(logLines().size(), 0);
    QCOMPARE(nodes.size(), 0);
}

void TestCTagsRun::quitDuringRun()
{
    // The parser goes (as at the end of the program) while ctags runs: its
    // worker kills the program and removes the file before it is gone, and
    // nothing is delivered.
    standIn("exec sleep 60");
    QSignalSpy nodes(parser, &Parser::nodes);
    parser->parse(QStringLiteral("int q;"), QStringLiteral("/p/q.c"));
    QTRY_COMPARE_WITH_TIMEOUT(logLines().size(), 1, 20000);
    const pid_t pid = logLines().at(0).section(' ', 0, 0).toInt();
    QCOMPARE(::kill(pid, 0), 0);
    delete parser;
    QCOMPARE(::kill(pid, 0), -1);
    QCOMPARE(QDir(tmp->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    QCoreApplication::processEvents();
    QCOMPARE(nodes.size(), 0);
    parser = CTagsParser::self();
    QVERIFY(parser);
}

QTEST_MAIN(TestCTagsRun)
#include "tst_ctagsrun.moc"

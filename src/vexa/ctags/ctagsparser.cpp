#include "vexa/ctags/ctagsparser.h"

#include "vexa/ctags/ctagsoutput.h"
#include "vexa/ctags/node.h"
#include "vexa/message.h"
#include "vexa/processgroup.h"
#include "vexa/shell.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <unistd.h>

namespace vexa
{

// One ctags run. The GUI thread makes it and reads it once its worker is
// done; the worker sees only `stopped` change meanwhile.
struct CTagsParser::Run {
    enum Outcome { Failed, Tree, NotWritten, NotStarted };

    quint64 id;
    int key;
    QString fileName;
    QString ext;
    QString text;
    QString program;
    QString folder;
    std::atomic<bool> stopped{false};
    // Set by the worker.
    Outcome outcome = Failed;
    QString error;
    Node* root = nullptr;

    ~Run() { delete root; }
};

namespace
{

// How long a stopped ctags's process group has to end before it is killed.
constexpr int kStopGraceMs = 2000;

// Writes all of `bytes`; the reason it could not, or empty. (A file's own
// write loses the reason when part of the bytes went in before the error,
// as when the file size limit is reached.)
QString writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EIO));
        done += n;
    }
    return QString();
}

} // namespace

class CTagsParser::Private
{
public:
    static CTagsParser* self;
    // The suffix of the latest request's file, for the run it may start.
    QString ext;
    QHash<quint64, std::shared_ptr<Run>> runs;
    quint64 nextId = 1;
    int timeLimit = 30000;
    bool warned = false;
    QThreadPool workers;
};

CTagsParser* CTagsParser::Private::self = nullptr;

CTagsParser* CTagsParser::self()
{
    if (!Private::self)
        new CTagsParser(Shell::self());
    return Private::self;
}

CTagsParser::CTagsParser(QObject* parent) : Parser(parent), d(new Private)
{
    Private::self = this;
    d->workers.setObjectName(QStringLiteral("ctags"));
}

CTagsParser::~CTagsParser()
{
    if (Private::self == this)
        Private::self = nullptr;
    // No ctags outlives the program, and no temporary file either: each
    // worker kills its program and removes its file once it sees the stop.
    for (const std::shared_ptr<Run>& run : std::as_const(d->runs))
        run->stopped = true;
    d->workers.waitForDone();
    delete d;
}

int CTagsParser::parse(const QString& text, const QString& filePath, const QByteArray& digest)
{
    d->ext = CTagsOutput::suffixOf(filePath);
    return Parser::parse(text, filePath, digest);
}

void CTagsParser::setTimeLimit(int msecs)
{
    d->timeLimit = msecs;
}

int CTagsParser::runCount() const
{
    return int(d->runs.size());
}

int CTagsParser::parse(const QString& text)
{
    const QString fileName = requestFileName();
    const int key = requestKey();

    // The file's earlier run works on a text the editor no longer holds.
    for (const std::shared_ptr<Run>& run : std::as_const(d->runs)) {
        if (run->fileName == fileName)
            stop(run.get());
    }

    // Found here, so that a missing program is known before anything starts.
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ctags"));
    if (program.isEmpty()) {
        cannotStart(key, fileName);
        return 0;
    }

    auto run = std::make_shared<Run>();
    run->id = d->nextId++;
    run->key = key;
    run->fileName = fileName;
    run->ext = d->ext;
    run->text = text;
    run->program = program;
    run->folder = QDir::tempPath();
    d->runs.insert(run->id, run);
    // Timed here, on the GUI thread: a run only runs out of time while the
    // program's events are being handled.
    // A big text gets a second more per 512 KiB: ctags takes its time on it.
    const int limit = d->timeLimit + int(text.size() / (512 * 1024)) * 1000;
    QTimer::singleShot(limit, this, [this, id = run->id] {
        const std::shared_ptr<Run> r = d->runs.value(id);
        if (r && !r->stopped.exchange(true))
            parseTimedOut(r->key, r->fileName);
    });
    d->workers.start([this, run] {
        try {
            work(this, run);
        } catch (const std::bad_alloc&) {
            // A text or an output too large for the memory left: no tree,
            // as from a ctags that failed.
            run->outcome = Run::Failed;
            QMetaObject::invokeMethod(
                this, [this, run] { runDone(run); }, Qt::QueuedConnection);
        }
    });
    return key;
}

void CTagsParser::work(CTagsParser* parser, const std::shared_ptr<Run>& run)
{
    [&run] {
        Run& r = *run;
        if (r.stopped)
            return;
        // A fresh file of a random name, readable by its owner only; the
        // suffix lets ctags tell the language. The temporary folder is empty
        // when the one named does not exist: never fall back to the root
        // folder.
        QTemporaryFile file(r.folder + QStringLiteral("/vexaXXXXXX") + r.ext);
        const QByteArray bytes = r.text.toUtf8();
        r.error = r.folder.isEmpty() || !QFileInfo(r.folder).isDir()
                      ? QString::fromLocal8Bit(std::strerror(ENOENT))
                  : !file.open() ? file.errorString()
                                 : writeAll(file.handle(), bytes);
        if (!r.error.isEmpty()) {
            r.outcome = Run::NotWritten;
            return;
        }
        file.close();

        QProcess p;
        p.setProgram(r.program);
        p.setArguments(CTagsOutput::arguments(r.ext, file.fileName()));
        p.setStandardErrorFile(QProcess::nullDevice());
        // A group of its own, so that what a ctags (or a script in its
        // place) starts ends with it.
        p.setChildProcessModifier([] { ::setpgid(0, 0); });
        p.start(QIODevice::ReadOnly);
        if (!p.waitForStarted(-1)) {
            r.outcome = p.error() == QProcess::FailedToStart ? Run::NotStarted : Run::Failed;
            return;
        }
        const pid_t group = pid_t(p.processId());
        auto endGroup = [&p, group] {
            endProcessGroup(group, kStopGraceMs, [&p] {
                return p.state() == QProcess::NotRunning || p.waitForFinished(0);
            });
            p.waitForFinished(-1);
        };
        // The output is read as it comes; a stop is seen within a tick.
        CTagsOutput output(r.ext, r.text);
        while (!r.stopped && p.state() != QProcess::NotRunning) {
            p.waitForReadyRead(50);
            output.addData(p.readAllStandardOutput());
        }
        // Stopped, or ended leaving something behind in its group.
        endGroup();
        if (r.stopped)
            return;
        output.addData(p.readAllStandardOutput());
        output.finish();
        // A crashed or failing ctags has not seen the whole text: what it
        // printed is no picture of the text's symbols.
        if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return;
        r.root = output.buildTree();
        r.outcome = Run::Tree;
    }();
    // The parser waits for its workers before it goes, so it is there.
    QMetaObject::invokeMethod(
        parser, [parser, run] { parser->runDone(run); }, Qt::QueuedConnection);
}

void CTagsParser::runDone(const std::shared_ptr<Run>& run)
{
    d->runs.remove(run->id);
    if (run->stopped)
        return; // its key was freed when it was stopped
    switch (run->outcome) {
    case Run::Tree:
        deliver(run->key, run->fileName, std::exchange(run->root, nullptr));
        break;
    case Run::NotWritten:
        qWarning("ctags: cannot write a temporary file in \"%s\": %s", qPrintable(run->folder),
                 qPrintable(run->error));
        parseFailed(run->key, run->fileName);
        break;
    case Run::NotStarted:
        cannotStart(run->key, run->fileName);
        break;
    case Run::Failed:
        parseFailed(run->key, run->fileName);
        break;
    }
}

void CTagsParser::cannotStart(int key, const QString& fileName)
{
    parseFailed(key, fileName);
    // Said once: the timer and every editor signal ask again and again.
    if (!d->warned) {
        d->warned = true;
        Message::warning(QStringLiteral("Error"), QStringLiteral("Can't run ctags program"),
                         QString(), QString(), QString(), 0, -1);
    }
}

void CTagsParser::stop(Run* run)
{
    if (run->stopped.exchange(true))
        return;
    parseFailed(run->key, run->fileName);
}

} // namespace vexa

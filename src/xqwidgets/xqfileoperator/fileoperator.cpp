#include "xqwidgets/xqfileoperator/fileoperator.h"

#include "xqwidgets/helpers.h"
#include "xqwidgets/xqfileoperator/fileoperatordialog.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xqwidgets
{

namespace
{

// Step results of the overwrite check, the opening and the block copy.
enum Step { Skip = 0, Abort = 4, Proceed = 5 };

// The kinds of failure a "Skip all" answers, each on its own.
enum Failure { OpenFailure, ReadFailure, WriteFailure, DeleteFailure, FailureKinds };

// Paths are native byte strings throughout: a name that is not valid UTF-8
// does not survive a trip through QString, and the operator must reach every
// entry of a tree it copies or removes. This is the absolute, clean form: no
// "." or ".." part, no doubled or trailing separator.
QByteArray cleanNative(const QByteArray& path)
{
    const QByteArray absolute =
        path.startsWith('/') ? path : QFile::encodeName(QDir::currentPath()) + '/' + path;
    QList<QByteArray> parts;
    for (const QByteArray& part : absolute.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts << part;
    }
    return '/' + parts.join('/');
}

QString displayPath(const QByteArray& path)
{
    return QFile::decodeName(path);
}

QByteArray baseName(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

QByteArray parentOf(const QByteArray& path)
{
    const int slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

bool isInside(const QByteArray& path, const QByteArray& folder)
{
    return path == folder || path.startsWith(folder.endsWith('/') ? folder : folder + '/');
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray canonical(const QByteArray& path)
{
    char* resolved = ::realpath(path.constData(), nullptr);
    if (!resolved)
        return path;
    QByteArray result(resolved);
    std::free(resolved);
    return result;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The process's file mode creation mask, read without setting it (setting it
// even for a moment races with other threads creating files); all bits when
// it cannot be read, so that every mode is then set explicitly.
mode_t creationMask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const int mask = line.mid(6).trimmed().toInt(&ok, 8);
                if (ok)
                    return mode_t(mask);
            }
        }
    }
    return 07777;
}

// A folder opened once for the tasks that work in it: their files are opened
// by name in it, so its path is looked up once a folder rather than once a
// file. Opened as a path only, which, like a path, needs no right to read the
// folder.
class FolderHandle
{
public:
    FolderHandle() = default;
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    ~FolderHandle() { close(); }

    // The descriptor of `folder`, or -1 with errno set.
    int at(const QByteArray& folder)
    {
        if (m_fd >= 0 && folder == m_path)
            return m_fd;
        close();
        m_fd = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (m_fd >= 0)
            m_path = folder;
        return m_fd;
    }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_path.clear();
    }

private:
    QByteArray m_path;
    int m_fd = -1;
};

} // namespace

// One planned step of an operation.
struct FileOperatorTask {
    enum Kind {
        CopyFile,     // copy the regular file filePath to toFilePath
        CopyLink,     // make toFilePath a link with the text of the link filePath
        OtherFile,    // a FIFO, socket or device: removed by an erase, else passed over
        CreateFolder, // create toFilePath as a copy of the folder filePath
        FolderMarker  // the source folder filePath, removed at the end of a move or an erase
    };
    Kind kind;
    QByteArray filePath;
    QByteArray toFilePath;
    qint64 size = 0; // as listed
};

// The running operation: its progress window, its plan and its counters.
struct FileOperatorProcess {
    std::unique_ptr<FileOperatorDialog> dialog;
    QList<FileOperatorTask> tasks;
    QByteArray filePath;
    QByteArray toFilePath;
    qint64 items = 0;
    qint64 bytes = 0;
    qint64 totalBytes = 0;
    bool erasing = false;
    // "Skip all" answers, one for each kind of failure.
    bool skipAll[FailureKinds] = {};
    mode_t creationMask = 07777;
    FolderHandle sourceFolder;
    FolderHandle targetFolder;
    bool overwriteAll = false;
    bool skipOverwriteAll = false;
    QList<QByteArray> filesToRemove;
    QList<QByteArray> foldersToRemove;
    // Folders whose contents were not listed (too deep or unreadable): they
    // and the folders holding them are never removed.
    QList<QByteArray> unlisted;
    // Folders made by a copy, given the source's mode and times at the end,
    // when nothing more is written into them.
    QList<QPair<QByteArray, struct stat>> madeFolders;
    // What was passed over or left in place, told when the operation ends.
    QStringList problems;
};

class FileOperator::Private
{
public:
    explicit Private(FileOperator* q) : q(q) {}

    FileOperator* q;
    static FileOperator* self;
    QPointer<QWidget> mainWindow;
    std::unique_ptr<FileOperatorProcess> process;
    Answerer answerer;
    IoHook ioHook;
    QTimer showTimer;
    qint64 lastBytes = 0;
    QElapsedTimer pumpClock;

    int ask(Question question, const QString& caption, const QString& subject, const QString& text);
    int hook(IoStep step, const QByteArray& path, qint64 length = 0)
    {
        return ioHook ? ioHook(step, path, length) : 0;
    }
    bool aborted() const { return process && process->dialog->aborted; }
    // Lets pending events run between steps, at most every 2 ms: the window
    // and its Abort stay as live, and ten thousand small files do not cost
    // forty thousand passes of the event loop.
    void pump()
    {
        if (!pumpClock.isValid() || pumpClock.elapsed() >= 2) {
            QCoreApplication::processEvents();
            pumpClock.start();
        }
    }

    bool begin(const QList<QByteArray>& filePaths, const QByteArray& dest, bool erasing,
               bool moving, const QString& caption, const QString& opName, QList<QByteArray>& paths,
               QByteArray& nativeDest);
    bool end(bool result);
    bool countTotalBytes(const QList<QByteArray>& filePaths, FileOperatorProcess& p);
    bool intoItself(const QList<QByteArray>& filePaths, const QByteArray& dest, bool moving);
    void checkFoldersInPaths(const QList<QByteArray>& filePaths, const QByteArray& dest,
                             FileOperatorProcess& p);
    void addFolderToTaskList(const QByteArray& folderPath, const QByteArray& source,
                             const QByteArray& dest, FileOperatorProcess& p, int level);
    bool runTasks(FileOperatorProcess& p, bool moving);
    int checkRewrite(FileOperatorProcess& p, qint64 sourceSize);
    int copyFile(FileOperatorProcess& p, qint64 listedSize, bool moving);
    int copyLink(FileOperatorProcess& p, bool moving);
    int openFailed(FileOperatorProcess& p, const QByteArray& file, qint64 sourceSize, int error);
    int readWriteFailed(FileOperatorProcess& p, bool reading, int error, const QByteArray& written,
                        bool replacing);
    void skipped(FileOperatorProcess& p, qint64 size);
    bool removeAll(FileOperatorProcess& p, bool askOnFailure);
    bool listed(const FileOperatorProcess& p, const QByteArray& folder) const;
    void passedOver(FileOperatorProcess& p, const QByteArray& path);
    static QString ioDeviceStatus(int status);
};

FileOperator* FileOperator::Private::self = nullptr;

// ------------------------------------------------------------------ public

FileOperator* FileOperator::self(QWidget* mainWindow)
{
    if (!Private::self)
        Private::self = new FileOperator(mainWindow);
    return Private::self;
}

bool FileOperator::isRunning()
{
    return Private::self && Private::self->d->process;
}

FileOperator::FileOperator(QWidget* parent) : QObject(parent), d(new Private(this))
{
    d->mainWindow = parent;
    d->showTimer.setSingleShot(true);
    d->showTimer.setInterval(500);
    connect(&d->showTimer, &QTimer::timeout, this, &FileOperator::showOnTimer);
}

FileOperator::~FileOperator()
{
    if (Private::self == this)
        Private::self = nullptr;
}

void FileOperator::setAnswerer(const Answerer& answerer)
{
    d->answerer = answerer;
}

void FileOperator::setIoHook(const IoHook& hook)
{
    d->ioHook = hook;
}

FileOperatorDialog* FileOperator::dialog() const
{
    return d->process ? d->process->dialog.get() : nullptr;
}

qint64 FileOperator::bytesDone() const
{
    return d->process ? d->process->bytes : d->lastBytes;
}

void FileOperator::abort()
{
    if (d->process)
        d->process->dialog->aborted = true;
}

qint64 FileOperator::calcBlockSize(qint64 totalSize)
{
    // A small file costs one read and one write; a larger one goes in about
    // a hundred blocks, so that the window moves and Abort takes effect
    // within a block.
    if (totalSize <= wholeFileSize)
        return qMax(totalSize, qint64(1024));
    return qMin(totalSize / 100, qint64(1048576));
}

int FileOperator::overwriteWarning(QWidget* parent, const QString& filePath)
{
    QDialog box(parent);
    box.setWindowTitle(tr("File exists"));
    auto* outer = new QGridLayout(&box);
    outer->setContentsMargins(5, 5, 5, 5);
    outer->setSpacing(5);
    auto* inner = new QGridLayout;
    inner->setContentsMargins(5, 5, 5, 5);
    inner->setSpacing(5);
    auto* icon = new QLabel(&box);
    const int extent = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    icon->setPixmap(
        box.style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, &box).pixmap(extent));
    icon->setFixedSize(extent, extent);
    inner->addWidget(icon, 0, 0);
    inner->addWidget(
        new QLabel(tr("File %1 already exists.\nOverwrite this target?").arg(filePath), &box), 0,
        1);
    outer->addLayout(inner, 0, 0, 1, 5);

    // A window closed without a button passes the file over.
    int answer = 0;
    const struct {
        const char* text;
        int answer;
    } buttons[] = {{QT_TR_NOOP("&Overwrite"), 2},
                   {QT_TR_NOOP("Overwrite a&ll"), 3},
                   {QT_TR_NOOP("&Skip"), 0},
                   {QT_TR_NOOP("S&kip all"), 1},
                   {QT_TR_NOOP("&Abort"), 4}};
    for (int i = 0; i < 5; ++i) {
        auto* button = new QPushButton(tr(buttons[i].text), &box);
        outer->addWidget(button, 1, i);
        const int value = buttons[i].answer;
        connect(button, &QPushButton::clicked, &box, [&box, &answer, value] {
            answer = value;
            box.accept();
        });
    }
    box.exec();
    return answer;
}

// ----------------------------------------------------------------- private

int FileOperator::Private::ask(Question question, const QString& caption, const QString& subject,
                               const QString& text)
{
    QWidget* parent = process ? static_cast<QWidget*>(process->dialog.get()) : mainWindow.data();
    if (answerer)
        return answerer(question, caption, subject, text);
    if (question == OverwriteQuestion)
        return q->overwriteWarning(parent, subject);

    QMessageBox box(question == Report ? QMessageBox::Warning : QMessageBox::Critical, caption,
                    text, QMessageBox::NoButton, parent);
    QStringList texts;
    switch (question) {
    case OpenFailedQuestion:
    case DeleteFailedQuestion:
        texts = {tr("Skip"), tr("Skip all"), tr("Abort")};
        break;
    case IoFailedQuestion:
        texts = {tr("&Skip"), tr("Skip a&ll"), tr("&Abort")};
        break;
    case IncompleteQuestion:
        texts = {tr("&Delete"), tr("&Cancel")};
        break;
    default:
        texts = {tr("OK")};
        break;
    }
    QList<QAbstractButton*> buttons;
    for (const QString& t : texts)
        buttons << box.addButton(t, QMessageBox::AcceptRole);
    box.setDefaultButton(static_cast<QPushButton*>(buttons.first()));
    box.exec();
    const int answer = int(buttons.indexOf(box.clickedButton()));
    return answer < 0 ? Closed : answer;
}

void FileOperator::showOnTimer()
{
    if (d->process)
        d->process->dialog->show();
}

QString FileOperator::Private::ioDeviceStatus(int status)
{
    switch (status) {
    case 0:
        return tr("The operation was successful.");
    case 1:
        return tr("Could not read from the device.");
    case 2:
        return tr("Could not write to the device.");
    case 3:
        return tr("A fatal unrecoverable error occurred.");
    case 5:
        return tr("Could not open the device.");
    case 6:
        return tr("The operation was unexpectedly aborted.");
    case 7:
        return tr("The operation timed out.");
    case 8:
        return tr("An unspecified error happened on close.");
    default:
        return tr("Unknown error happened.");
    }
}

bool FileOperator::Private::begin(const QList<QByteArray>& filePaths, const QByteArray& dest,
                                  bool erasing, bool moving, const QString& caption,
                                  const QString& opName, QList<QByteArray>& paths,
                                  QByteArray& nativeDest)
{
    // Pending events run during an operation, so a second request can arrive
    // while the first one's plan and counters are in use.
    if (process) {
        ask(Report, tr("File operation"), QString(),
            tr("Another file operation is still running. Wait for it to end or abort it."));
        return false;
    }
    if (!erasing) {
        if (dest.isEmpty())
            return false;
        nativeDest = cleanNative(dest);
        struct stat st;
        if (::stat(nativeDest.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            return false;
    }
    for (const QByteArray& path : filePaths)
        if (!path.isEmpty())
            paths << cleanNative(path);
    if (paths.isEmpty())
        return false;

    auto p = std::make_unique<FileOperatorProcess>();
    p->erasing = erasing;
    if (!countTotalBytes(paths, *p))
        return false;
    if (!erasing && intoItself(paths, nativeDest, moving))
        return false;
    p->creationMask = creationMask();

    p->items = paths.size();
    p->dialog = std::make_unique<FileOperatorDialog>();
    p->dialog->setMainWindow(mainWindow);
    p->dialog->setWindowTitle(caption);
    p->dialog->setOperationName(opName);
    p->dialog->setItems(p->items);
    if (!erasing) {
        p->dialog->setTotalSize(quint64(p->totalBytes));
        p->dialog->setDest(displayPath(nativeDest));
    }
    process = std::move(p);
    showTimer.start();
    return true;
}

bool FileOperator::Private::end(bool result)
{
    std::unique_ptr<FileOperatorProcess> p = std::move(process);
    showTimer.stop();
    lastBytes = p->bytes;
    // Folders made by the copy get their source's mode and times last, when
    // nothing more is written into them (a read-only source folder would
    // otherwise refuse its own contents).
    for (auto it = p->madeFolders.crbegin(); it != p->madeFolders.crend(); ++it) {
        const struct stat& st = it->second;
        ::chmod(it->first.constData(), st.st_mode & 07777);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::utimensat(AT_FDCWD, it->first.constData(), times, 0);
    }
    p->dialog.reset();
    if (!p->problems.isEmpty()) {
        const int shown = 30;
        QStringList lines = p->problems.mid(0, shown);
        if (p->problems.size() > shown)
            lines << tr("... and %1 more").arg(p->problems.size() - shown);
        ask(Report, tr("File operation"), QString(),
            tr("Some items were not processed:\n%1").arg(lines.join(QLatin1Char('\n'))));
    }
    return result;
}

bool FileOperator::Private::countTotalBytes(const QList<QByteArray>& filePaths,
                                            FileOperatorProcess& p)
{
    // A given link is an item of its own (it is never followed), so a link
    // that points nowhere can still be removed, copied or moved.
    p.totalBytes = 0;
    for (const QByteArray& path : filePaths) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0)
            return false;
        p.totalBytes += st.st_size;
    }
    if (p.totalBytes == 0)
        p.totalBytes = 1;
    return true;
}

bool FileOperator::Private::intoItself(const QList<QByteArray>& filePaths, const QByteArray& dest,
                                       bool moving)
{
    const QByteArray realDest = canonical(dest);
    for (const QByteArray& path : filePaths) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        const QByteArray realPath = canonical(path);
        if (isInside(realDest, realPath)) {
            ask(Report, tr("File operation"), displayPath(path),
                (moving ? tr("The folder %1 can't be moved into itself or one of its subfolders.")
                        : tr("The folder %1 can't be copied into itself or one of its subfolders."))
                    .arg(displayPath(path)));
            return true;
        }
    }
    return false;
}

void FileOperator::Private::passedOver(FileOperatorProcess& p, const QByteArray& path)
{
    p.problems << tr("%1: not a regular file, folder or link; passed over").arg(displayPath(path));
}

void FileOperator::Private::checkFoldersInPaths(const QList<QByteArray>& filePaths,
                                                const QByteArray& dest, FileOperatorProcess& p)
{
    for (const QByteArray& path : filePaths) {
        const QByteArray target = joined(dest, baseName(path));
        struct stat st;
        if (::lstat(path.constData(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            p.tasks << FileOperatorTask{FileOperatorTask::CreateFolder, path, target};
            p.tasks << FileOperatorTask{FileOperatorTask::FolderMarker, path, QByteArray()};
            addFolderToTaskList(path, parentOf(path), dest, p, 0);
        } else if (S_ISLNK(st.st_mode)) {
            p.tasks << FileOperatorTask{FileOperatorTask::CopyLink, path, target};
        } else if (S_ISREG(st.st_mode)) {
            p.tasks << FileOperatorTask{FileOperatorTask::CopyFile, path, target, st.st_size};
        } else if (p.erasing) {
            p.tasks << FileOperatorTask{FileOperatorTask::OtherFile, path, target};
        } else {
            passedOver(p, path);
        }
    }
    // The listing's own updates come only at subfolders: a flat folder's
    // files would otherwise never reach the window's total.
    if (!p.erasing)
        p.dialog->setTotalSize(quint64(p.totalBytes));
    p.dialog->setItems(p.items);
}

void FileOperator::Private::addFolderToTaskList(const QByteArray& folderPath,
                                                const QByteArray& source, const QByteArray& dest,
                                                FileOperatorProcess& p, int level)
{
    if (++level > maxDepth) {
        p.unlisted << folderPath;
        p.problems
            << tr("%1: lies deeper than %2 folder levels; its contents were left as they are")
                   .arg(displayPath(folderPath))
                   .arg(maxDepth);
        return;
    }
    DIR* dir = ::opendir(folderPath.constData());
    if (!dir) {
        p.unlisted << folderPath;
        p.problems
            << tr("%1: can't read the folder: %2").arg(displayPath(folderPath), errorText(errno));
        return;
    }
    struct Entry {
        QString key;
        QByteArray name;
        struct stat st;
    };
    std::vector<Entry> entries;
    while (const struct dirent* e = ::readdir(dir)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, ".."))
            continue;
        Entry entry;
        entry.name = QByteArray(e->d_name);
        if (::fstatat(::dirfd(dir), e->d_name, &entry.st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        entry.key = QFile::decodeName(entry.name);
        entries.push_back(std::move(entry));
        pump();
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const int c = a.key.compare(b.key, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    });

    // The target keeps each path relative to the parent of the given folder.
    const QByteArray relative =
        folderPath.mid(source.endsWith('/') ? source.size() - 1 : source.size());
    const QByteArray targetFolder =
        dest.endsWith('/') ? dest.left(dest.size() - 1) + relative : dest + relative;
    for (const Entry& e : entries) {
        const QByteArray path = joined(folderPath, e.name);
        const QByteArray target = joined(targetFolder, e.name);
        if (S_ISDIR(e.st.st_mode)) {
            p.tasks << FileOperatorTask{FileOperatorTask::CreateFolder, path, target};
            p.tasks << FileOperatorTask{FileOperatorTask::FolderMarker, path, QByteArray()};
            if (!p.erasing)
                p.dialog->setTotalSize(quint64(p.totalBytes));
            p.dialog->setItems(p.items);
            pump();
            addFolderToTaskList(path, source, dest, p, level);
            continue;
        }
        if (S_ISREG(e.st.st_mode))
            p.tasks << FileOperatorTask{FileOperatorTask::CopyFile, path, target, e.st.st_size};
        else if (S_ISLNK(e.st.st_mode))
            p.tasks << FileOperatorTask{FileOperatorTask::CopyLink, path, target};
        else if (p.erasing)
            p.tasks << FileOperatorTask{FileOperatorTask::OtherFile, path, target};
        else {
            passedOver(p, path);
            continue;
        }
        ++p.items;
        p.totalBytes += e.st.st_size;
    }
}

void FileOperator::Private::skipped(FileOperatorProcess& p, qint64 size)
{
    p.bytes += size;
    p.dialog->setCurrentSize(quint64(p.bytes));
}

int FileOperator::Private::checkRewrite(FileOperatorProcess& p, qint64 sourceSize)
{
    struct stat st;
    if (p.overwriteAll || ::lstat(p.toFilePath.constData(), &st) != 0)
        return Proceed;
    if (p.skipOverwriteAll) {
        skipped(p, sourceSize);
        return Skip;
    }
    const QString target = displayPath(p.toFilePath);
    switch (ask(OverwriteQuestion, tr("File exists"), target,
                tr("File %1 already exists.\nOverwrite this target?").arg(target))) {
    case 3:
        p.overwriteAll = true;
        return Proceed;
    case 2:
        return Proceed;
    case 4:
        return Abort;
    case 1:
        p.skipOverwriteAll = true;
        break;
    default: // Skip, or the window closed without an answer
        break;
    }
    skipped(p, sourceSize);
    return Skip;
}

int FileOperator::Private::openFailed(FileOperatorProcess& p, const QByteArray& file,
                                      qint64 sourceSize, int error)
{
    const QString name = displayPath(file);
    const QString status =
        ioDeviceStatus(5) + QStringLiteral(" (") + errorText(error) + QLatin1Char(')');
    if (p.skipAll[OpenFailure]) {
        p.problems << tr("%1: %2; passed over").arg(name, status);
    } else {
        const int answer =
            ask(OpenFailedQuestion, tr("Access denied"), name,
                tr("Can't access file %1.\n%2\nContinue operations?").arg(name, status));
        if (answer != 0 && answer != 1)
            return Abort;
        if (answer == 1)
            p.skipAll[OpenFailure] = true;
    }
    skipped(p, sourceSize);
    return Skip;
}

int FileOperator::Private::readWriteFailed(FileOperatorProcess& p, bool reading, int error,
                                           const QByteArray& written, bool replacing)
{
    // A failed write leaves nothing behind: the disk that refused it is full
    // or failing, and a cut-off copy must never pass for a copy. An overwrite
    // writes beside its target, so the old target stays as it was. After a
    // read error the user may keep what was read.
    if (!reading || replacing)
        ::unlink(written.constData());
    const Failure kind = reading ? ReadFailure : WriteFailure;
    const QString status = ioDeviceStatus(reading ? 1 : 2) + QStringLiteral(" (") +
                           errorText(error) + QLatin1Char(')');
    const QString source = displayPath(p.filePath);
    if (p.skipAll[kind]) {
        // Unasked, the incomplete copy goes, as the question's default has it.
        if (reading && !replacing)
            ::unlink(written.constData());
        p.problems << tr("%1: %2; passed over").arg(source, status);
        return Skip;
    }
    const int answer = ask(IoFailedQuestion, tr("Critical error"), source,
                           source + tr("\n%1\nContinue operations?").arg(status));
    if (reading && !replacing) {
        const QString target = displayPath(p.toFilePath);
        if (ask(IncompleteQuestion, tr("Incomplete operation"), target,
                tr("Delete incomplete file %1?").arg(target)) == 0)
            ::unlink(written.constData());
    }
    if (answer == 1) {
        p.skipAll[kind] = true;
        return Skip;
    }
    return answer == 0 ? Skip : Abort;
}

int FileOperator::Private::copyFile(FileOperatorProcess& p, qint64 listedSize, bool moving)
{
    if (p.filePath == p.toFilePath)
        return Skip;
    // Opened by name in its folder; never through a link put in its place,
    // and never waiting on a FIFO put there since the listing.
    const int sourceFolder = p.sourceFolder.at(parentOf(p.filePath));
    const int in = sourceFolder < 0 ? -1
                                    : ::openat(sourceFolder, baseName(p.filePath).constData(),
                                               O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return openFailed(p, p.filePath, listedSize, errno);
    struct stat src;
    if (::fstat(in, &src) != 0 || !S_ISREG(src.st_mode)) {
        ::close(in);
        passedOver(p, p.filePath);
        return Skip;
    }

    // A new target is made with its final mode; an existing one is replaced
    // only by a complete copy, written beside it.
    const mode_t mode = src.st_mode & 07777;
    const int targetFolder = p.targetFolder.at(parentOf(p.toFilePath));
    int out = targetFolder < 0 ? -1
                               : ::openat(targetFolder, baseName(p.toFilePath).constData(),
                                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0777);
    QByteArray temp;
    if (out < 0 && errno == EEXIST) {
        // Another spelling of the source (a linked folder, a hard link) is
        // the source itself: opening it for writing would empty it.
        struct stat reached;
        if (::stat(p.toFilePath.constData(), &reached) == 0 && sameFile(reached, src)) {
            ::close(in);
            skipped(p, src.st_size);
            return Skip;
        }
        const int r = checkRewrite(p, src.st_size);
        if (r != Proceed) {
            ::close(in);
            return r;
        }
        temp = joined(parentOf(p.toFilePath),
                      '.' + Utils::fittedFileName(baseName(p.toFilePath), 8) + ".XXXXXX");
        out = ::mkostemp(temp.data(), O_CLOEXEC);
        if (out < 0)
            temp.clear();
    }
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return openFailed(p, p.toFilePath, src.st_size, error);
    }
    const bool replacing = !temp.isEmpty();
    const QByteArray& written = replacing ? temp : p.toFilePath;

    // Copied to the end of the file, whatever its size said when opened. The
    // kernel copies each block itself where the file systems allow it, which
    // is as fast as the shell's own copy; else the block goes through a
    // buffer. The last block asks for one byte more than the size: a short
    // answer there is the end of the file, found without another call.
    const qint64 block = FileOperator::calcBlockSize(src.st_size);
    // In the kernel a block that went quickly lets the next one double, up
    // to 8 MiB (each call costs a copy in RAM about a tenth of its time at
    // 1 MiB), and a slow one halves it again, never below the block length:
    // a slow disk keeps the blocks, the window and Abort as live as before.
    qint64 kernelBlock = block;
    QElapsedTimer callClock;
    QByteArray buffer;
    bool inKernel = true;
    qint64 total = 0;
    for (;;) {
        const qint64 left = src.st_size - total;
        const qint64 length = inKernel ? kernelBlock : block;
        const qint64 want = left > length ? length : left > 0 ? left + 1 : length;
        int error = hook(ReadStep, p.filePath, want);
        bool reading = true;
        ssize_t n = -1;
        if (!error && inKernel) {
            callClock.start();
            do
                n = ::copy_file_range(in, nullptr, out, nullptr, size_t(want), 0);
            while (n < 0 && errno == EINTR);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                          errno == EOPNOTSUPP || errno == EBADF)) {
                inKernel = false;
            } else if (n < 0) {
                error = errno;
                reading = error != ENOSPC && error != EDQUOT && error != EFBIG;
            } else if (n > 0 && (error = hook(WriteStep, written, n))) {
                reading = false;
            } else if (n == want) {
                const qint64 ns = callClock.nsecsElapsed();
                if (ns < 4000000)
                    kernelBlock = qMin(kernelBlock * 2, qMax(block, qint64(8) << 20));
                else if (ns > 16000000)
                    kernelBlock = qMax(kernelBlock / 2, block);
            }
        }
        if (!error && !inKernel) {
            const qint64 chunk = left > block ? block : want;
            if (buffer.size() < chunk)
                buffer.resize(int(chunk));
            do
                n = ::read(in, buffer.data(), size_t(chunk));
            while (n < 0 && errno == EINTR);
            error = n < 0 ? errno : 0;
            for (ssize_t done = 0; !error && done < n;) {
                reading = false;
                error = hook(WriteStep, written, n - done);
                ssize_t w = -1;
                if (!error) {
                    w = ::write(out, buffer.constData() + done, size_t(n - done));
                    error = w < 0 && errno != EINTR ? errno : 0;
                }
                if (w > 0)
                    done += w;
            }
        }
        if (error) {
            ::close(in);
            ::close(out);
            return readWriteFailed(p, reading, error, written, replacing);
        }
        if (n == 0)
            break;
        total += n;
        p.bytes += n;
        p.dialog->setCurrentSize(quint64(p.bytes));
        pump();
        if (want == left + 1 && n == left)
            break;
        if (aborted()) {
            // The half-written file is ours alone: it goes, so nothing looks
            // like a complete copy. A file whose last block is written is
            // finished, and the run stops after it.
            ::close(in);
            ::close(out);
            ::unlink(written.constData());
            return Abort;
        }
    }

    // The mode is set again only where the creation could not give it (the
    // mask took bits, or the set-id and sticky bits, or a replacement).
    if (replacing || ((mode & 0777) & ~p.creationMask) != mode)
        ::fchmod(out, mode);
    const struct timespec times[2] = {src.st_atim, src.st_mtim};
    ::futimens(out, times);
    // Every byte read was written (short writes are resumed); a moved
    // source goes only when it still has the length that was read.
    struct stat now;
    const bool complete = !moving || (::fstat(in, &now) == 0 && now.st_size == total);
    ::close(in);
    if (::close(out) != 0)
        return readWriteFailed(p, false, errno, written, replacing);
    if (replacing) {
        int error = hook(RenameStep, p.toFilePath);
        if (!error && ::rename(temp.constData(), p.toFilePath.constData()) != 0)
            error = errno;
        if (error) {
            ::unlink(temp.constData());
            p.problems
                << tr("%1: can't replace it: %2").arg(displayPath(p.toFilePath), errorText(error));
            return Skip;
        }
    }
    if (moving) {
        if (complete)
            p.filesToRemove << p.filePath;
        else
            p.problems << tr("%1: changed while it was copied; the source was kept")
                              .arg(displayPath(p.filePath));
    }
    return Proceed;
}

int FileOperator::Private::copyLink(FileOperatorProcess& p, bool moving)
{
    struct stat src;
    QByteArray text(4096, Qt::Uninitialized);
    ssize_t n = -1;
    if (::lstat(p.filePath.constData(), &src) == 0) {
        text.resize(qMax<qsizetype>(4096, src.st_size + 1));
        n = ::readlink(p.filePath.constData(), text.data(), size_t(text.size()));
    }
    if (n < 0 || n >= text.size()) {
        p.problems << tr("%1: can't read the link: %2")
                          .arg(displayPath(p.filePath), errorText(n < 0 ? errno : ENAMETOOLONG));
        return Skip;
    }
    text.truncate(n);
    if (p.filePath == p.toFilePath)
        return Skip;
    struct stat dst;
    const bool exists = ::lstat(p.toFilePath.constData(), &dst) == 0;
    if (exists && sameFile(dst, src)) {
        skipped(p, src.st_size);
        return Skip;
    }
    if (exists) {
        const int r = checkRewrite(p, src.st_size);
        if (r != Proceed)
            return r;
    }
    // Made under a free name beside the target and renamed over it, so an
    // existing target goes only when its replacement exists.
    QByteArray made = p.toFilePath;
    int error = 0;
    if (exists) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            made = joined(parentOf(p.toFilePath),
                          '.' + Utils::fittedFileName(baseName(p.toFilePath), 9) + '.' +
                              QByteArray::number(QRandomGenerator::global()->generate(), 36));
            if (::symlink(text.constData(), made.constData()) == 0 || errno != EEXIST)
                break;
        }
    } else if (::symlink(text.constData(), made.constData()) != 0) {
        error = errno;
    }
    struct stat check;
    if (!error && ::lstat(made.constData(), &check) != 0)
        error = errno;
    if (!error && exists) {
        error = hook(RenameStep, p.toFilePath);
        if (!error && ::rename(made.constData(), p.toFilePath.constData()) != 0)
            error = errno;
        if (error)
            ::unlink(made.constData());
    }
    if (error) {
        p.problems
            << tr("%1: can't make the link: %2").arg(displayPath(p.toFilePath), errorText(error));
        return Skip;
    }
    const struct timespec times[2] = {src.st_atim, src.st_mtim};
    ::utimensat(AT_FDCWD, p.toFilePath.constData(), times, AT_SYMLINK_NOFOLLOW);
    p.bytes += src.st_size;
    if (moving)
        p.filesToRemove << p.filePath;
    return Proceed;
}

bool FileOperator::Private::runTasks(FileOperatorProcess& p, bool moving)
{
    for (const FileOperatorTask& task : std::as_const(p.tasks)) {
        p.filePath = task.filePath;
        p.toFilePath = task.toFilePath;
        switch (task.kind) {
        case FileOperatorTask::CreateFolder: {
            struct stat st;
            if (::mkdir(task.toFilePath.constData(), 0700) == 0) {
                if (::lstat(task.filePath.constData(), &st) == 0)
                    p.madeFolders.append({task.toFilePath, st});
            }
            // A folder that cannot be made shows as failed openings of its files.
            continue;
        }
        case FileOperatorTask::FolderMarker:
            if (moving)
                p.foldersToRemove << task.filePath;
            continue;
        case FileOperatorTask::OtherFile:
            continue;
        case FileOperatorTask::CopyFile:
        case FileOperatorTask::CopyLink:
            break;
        }
        p.dialog->setItemName(QFile::decodeName(baseName(task.filePath)));
        pump();
        if (aborted())
            return false;
        const int r = task.kind == FileOperatorTask::CopyFile ? copyFile(p, task.size, moving)
                                                              : copyLink(p, moving);
        if (r == Abort)
            return false;
        if (r == Proceed) {
            --p.items;
            p.dialog->setItems(p.items);
            p.dialog->setCurrentSize(quint64(p.bytes));
            pump();
        }
        if (aborted())
            return false;
    }
    return true;
}

bool FileOperator::Private::listed(const FileOperatorProcess& p, const QByteArray& folder) const
{
    for (const QByteArray& unlisted : p.unlisted)
        if (isInside(unlisted, folder))
            return false;
    return true;
}

bool FileOperator::Private::removeAll(FileOperatorProcess& p, bool askOnFailure)
{
    p.items = p.filesToRemove.size();
    p.dialog->setWindowTitle(tr("Removing files..."));
    p.dialog->setOperationName(tr("Removing"));
    p.dialog->setItems(p.items);

    // Asks (erase) or notes (move) a failed removal; false: abort.
    auto failed = [&](const QByteArray& path, int error, bool folder) {
        if (!askOnFailure) {
            // A folder still holding what was passed over stays, as it should.
            if (!folder || (error != ENOTEMPTY && error != EEXIST))
                p.problems
                    << tr("%1: can't remove it: %2").arg(displayPath(path), errorText(error));
            return true;
        }
        const QString name = displayPath(path);
        if (p.skipAll[DeleteFailure]) {
            p.problems << tr("%1: can't remove it: %2").arg(name, errorText(error));
            return true;
        }
        const int answer = ask(DeleteFailedQuestion, tr("Access denied"), name,
                               tr("Can't delete file:\n%1\nContinue operations?").arg(name));
        if (answer == 1)
            p.skipAll[DeleteFailure] = true;
        return answer == 0 || answer == 1;
    };

    for (const QByteArray& file : std::as_const(p.filesToRemove)) {
        p.dialog->setItemName(QFile::decodeName(baseName(file)));
        pump();
        if (aborted())
            return false;
        int error = hook(RemoveStep, file);
        if (!error && ::unlink(file.constData()) != 0)
            error = errno;
        if (error && !failed(file, error, false))
            return false;
        p.dialog->setItems(p.items);
        pump();
        --p.items;
    }

    std::sort(p.foldersToRemove.begin(), p.foldersToRemove.end());
    for (auto it = p.foldersToRemove.crbegin(); it != p.foldersToRemove.crend(); ++it) {
        if (!listed(p, *it))
            continue;
        if (aborted())
            return false;
        int error = hook(RemoveStep, *it);
        if (!error && ::rmdir(it->constData()) != 0)
            error = errno;
        if (error && !failed(*it, error, true))
            return false;
    }
    return true;
}

// -------------------------------------------------------------- operations

namespace
{

QList<QByteArray> nativePaths(const QStringList& paths)
{
    QList<QByteArray> native;
    native.reserve(paths.size());
    for (const QString& path : paths)
        native << QFile::encodeName(path);
    return native;
}

} // namespace

bool FileOperator::copy(const QStringList& filePaths, const QString& dest)
{
    return copyNative(nativePaths(filePaths), QFile::encodeName(dest));
}

bool FileOperator::move(const QStringList& filePaths, const QString& dest)
{
    return moveNative(nativePaths(filePaths), QFile::encodeName(dest));
}

bool FileOperator::erase(const QStringList& filePaths)
{
    return eraseNative(nativePaths(filePaths));
}

bool FileOperator::copyNative(const QList<QByteArray>& filePaths, const QByteArray& dest)
{
    QList<QByteArray> paths;
    QByteArray target;
    if (!d->begin(filePaths, dest, false, false, tr("Copying files..."), tr("Copying"), paths,
                  target))
        return false;
    FileOperatorProcess& p = *d->process;
    d->checkFoldersInPaths(paths, target, p);
    return d->end(d->runTasks(p, false));
}

bool FileOperator::moveNative(const QList<QByteArray>& filePaths, const QByteArray& dest)
{
    QList<QByteArray> paths;
    QByteArray target;
    if (!d->begin(filePaths, dest, false, true, tr("Moving files..."), tr("Moving"), paths, target))
        return false;
    FileOperatorProcess& p = *d->process;

    // Within one file system a move is one rename per given path. POSIX
    // rename() replaces an existing file, as the overwrite question allows,
    // and tells a move across file systems (EXDEV) from a real failure.
    QList<QByteArray> toCopy;
    for (const QByteArray& path : std::as_const(paths)) {
        p.filePath = path;
        p.toFilePath = joined(target, baseName(path));
        p.dialog->setItemName(QFile::decodeName(baseName(path)));
        d->pump();
        if (d->aborted())
            return d->end(false);
        if (p.filePath == p.toFilePath)
            continue;
        struct stat src, dst, reached;
        if (::lstat(path.constData(), &src) != 0)
            continue;
        const bool exists = ::lstat(p.toFilePath.constData(), &dst) == 0;
        if (exists && (sameFile(dst, src) ||
                       (::stat(p.toFilePath.constData(), &reached) == 0 && sameFile(reached, src))))
            continue;
        if (exists) {
            const int r = d->checkRewrite(p, src.st_size);
            if (r == Abort)
                return d->end(false);
            if (r == Skip)
                continue;
        }
        int error = d->hook(RenameStep, path);
        if (!error && ::rename(path.constData(), p.toFilePath.constData()) != 0)
            error = errno;
        if (!error) {
            --p.items;
            p.bytes += src.st_size;
            p.dialog->setItems(p.items);
            p.dialog->setCurrentSize(quint64(p.bytes));
            d->pump();
            continue;
        }
        // Across file systems, and onto a folder that exists (merged into
        // it), the item is copied and then removed; any other failure leaves
        // it where it is.
        const bool merge = exists && S_ISDIR(src.st_mode) && S_ISDIR(dst.st_mode) &&
                           (error == ENOTEMPTY || error == EEXIST);
        if (error == EXDEV || merge)
            toCopy << path;
        else
            p.problems << tr("%1: can't move it: %2").arg(displayPath(path), errorText(error));
        if (d->aborted())
            return d->end(false);
    }
    if (toCopy.isEmpty())
        return d->end(true);

    d->checkFoldersInPaths(toCopy, target, p);
    if (!d->runTasks(p, true))
        return d->end(false);
    return d->end(d->removeAll(p, false));
}

bool FileOperator::eraseNative(const QList<QByteArray>& filePaths)
{
    QList<QByteArray> paths;
    QByteArray unused;
    if (!d->begin(filePaths, QByteArray(), true, false, tr("Removing files..."), tr("Removing"),
                  paths, unused))
        return false;
    FileOperatorProcess& p = *d->process;
    d->checkFoldersInPaths(paths, QByteArrayLiteral("/"), p);
    for (const FileOperatorTask& task : std::as_const(p.tasks)) {
        if (task.kind == FileOperatorTask::FolderMarker)
            p.foldersToRemove << task.filePath;
        else if (task.kind != FileOperatorTask::CreateFolder)
            p.filesToRemove << task.filePath;
    }
    return d->end(d->removeAll(p, true));
}

} // namespace xqwidgets

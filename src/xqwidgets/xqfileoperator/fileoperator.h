#ifndef XQWIDGETS_FILEOPERATOR_H
#define XQWIDGETS_FILEOPERATOR_H

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;

namespace xqwidgets
{

class FileOperatorDialog;

// Copies, moves and deletes lists of files and folders. Each operation runs to
// its end inside the call, on the GUI thread, processing pending events
// between its steps; a progress window shows when it still runs after 500 ms.
//
// What it never does: follow a link (a link is copied, moved or removed as
// the link itself), open a special file (a FIFO, socket or device inside a
// copied tree is passed over and listed at the end), open a file for writing
// onto itself, destroy an existing target before its replacement is complete
// (an overwrite is written beside it and renamed over it), leave a copy whose
// writing failed, remove a moved source whose copy is not complete, copy a
// folder into itself, or pass a failure over without telling it: "Skip all"
// answers only the kind of failure it was given (opening, reading, writing,
// deleting), and what it passes over is listed when the operation ends.
class FileOperator : public QObject
{
    Q_OBJECT
public:
    // The questions an operation asks, with the answers each one takes.
    enum Question {
        OverwriteQuestion,    // "File exists": 0 Skip, 1 Skip all, 2 Overwrite, 3 Overwrite all, 4
                              // Abort
        OpenFailedQuestion,   // "Access denied" on opening: 0 Skip, 1 Skip all, 2 Abort
        IoFailedQuestion,     // "Critical error" on reading or writing: 0 Skip, 1 Skip all, 2 Abort
        IncompleteQuestion,   // "Incomplete operation", after a read error: 0 Delete, 1 Cancel
        DeleteFailedQuestion, // "Access denied" on deleting: 0 Skip, 1 Skip all, 2 Abort
        Report                // a message with one button; its answer is not used
    };
    // The answer of a question window closed without one of its buttons. It
    // means Skip for the overwrite question, Cancel (keep the file) for the
    // incomplete-file question and Abort for the error questions.
    static constexpr int Closed = -1;

    // Puts a question to the user and returns the answer. `subject` is the
    // path it names, `text` the whole message.
    using Answerer = std::function<int(Question question, const QString& caption,
                                       const QString& subject, const QString& text)>;

    // Steps at which a test can make the file system fail.
    enum IoStep { ReadStep, WriteStep, RenameStep, RemoveStep };
    // Called before each step with the native path it works on and, for
    // reads and writes, the length; a nonzero result is an errno value that
    // the step then fails with.
    using IoHook = std::function<int(IoStep step, const QByteArray& path, qint64 length)>;

    // The operator, made on the first call as a child of `mainWindow`, which
    // also places the progress window; later calls ignore the argument.
    static FileOperator* self(QWidget* mainWindow = nullptr);
    // Whether an operation runs now (false when no operator was ever made).
    static bool isRunning();
    ~FileOperator() override;

    // An empty answerer restores the modal boxes.
    void setAnswerer(const Answerer& answerer);
    void setIoHook(const IoHook& hook);

    // The overwrite question as a modal window over `parent`: 0 "&Skip",
    // 1 "S&kip all", 2 "&Overwrite", 3 "Overwrite a&ll", 4 "&Abort"; closed
    // without a button it is Skip.
    int overwriteWarning(QWidget* parent, const QString& filePath);

    // The running operation's progress window; null when none runs.
    FileOperatorDialog* dialog() const;
    // Bytes copied, moved or passed over by the running operation, or by the
    // last one once it ended.
    qint64 bytesDone() const;
    // Stops the running operation at its next step, as the progress window's
    // Abort does.
    void abort();

    // Deeper folders are created empty; their contents are left and reported.
    static constexpr int maxDepth = 256;
    // Files up to this size are copied in one step.
    static constexpr qint64 wholeFileSize = 1048576;
    // The block length for a file: the whole file up to wholeFileSize (at
    // least 1 KiB), beyond it a hundredth of its size, at most 1 MiB. Where
    // the kernel copies, a block that went quickly lets the next one grow.
    static qint64 calcBlockSize(qint64 totalSize);

    // The operations on native paths, the bytes the file system gave: a name
    // that is not valid in the locale's encoding does not survive a trip
    // through QString. The slots below come here.
    bool copyNative(const QList<QByteArray>& filePaths, const QByteArray& dest);
    bool moveNative(const QList<QByteArray>& filePaths, const QByteArray& dest);
    bool eraseNative(const QList<QByteArray>& filePaths);

public Q_SLOTS:
    // Each returns true when the operation ran to its end, also when items
    // were passed over or left in place (those are reported), and false when
    // it did not start (a missing destination or given path, another
    // operation running, a folder into itself) or was aborted.
    bool copy(const QStringList& filePaths, const QString& dest);
    bool move(const QStringList& filePaths, const QString& dest);
    bool erase(const QStringList& filePaths);

private Q_SLOTS:
    void showOnTimer();

private:
    explicit FileOperator(QWidget* parent);
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace xqwidgets

#endif

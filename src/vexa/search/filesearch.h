#ifndef VEXA_SEARCH_FILESEARCH_H
#define VEXA_SEARCH_FILESEARCH_H

#include <QString>
#include <QStringList>

#include <functional>

namespace vexa
{

// What one search looks for. Plain text matches without overlap, from left
// to right; whole word asks that neither neighbour of a hit be an ASCII
// letter, digit or underscore. A regular expression (the editor's dialect)
// ignores whole word, and a match of no characters ends its line.
struct SearchOptions {
    QString text;
    bool caseSensitive = false;
    bool wholeWord = false;
    bool regExp = false;

    bool operator==(const SearchOptions& o) const
    {
        return text == o.text && caseSensitive == o.caseSensitive && wholeWord == o.wholeWord &&
               regExp == o.regExp;
    }
    bool operator!=(const SearchOptions& o) const { return !(*this == o); }
};

// The search in files without any widget: walks a folder tree and scans its
// files, sending one row per hit (and a header row before a file's first hit)
// to `row`.
//
// It runs on the caller's thread and hands control back through `yield`
// about every yieldInterval() milliseconds, also in the middle of a long
// file; the caller lets its event loop run there and may cancel(). The
// options are asked for at each file and again after each yield, and the
// file pattern at each folder, so changes made meanwhile take effect from
// there on; the matcher is built again only when they changed.
//
// Robustness: only regular files are opened (a link to a FIFO or a device is
// skipped before it can block); each folder is walked once whatever links
// lead to it, and no deeper than maxDepth; a line longer than maxLine bytes
// is scanned in pieces of that size (a hit across two pieces is not found);
// a file with a NUL byte in its first 8 KiB and no UTF-16 mark is binary and
// gives its header row only. Files are read as UTF-8 (UTF-16 with a mark);
// UTF-8 is searched on its bytes (bytes the decoder cannot take count as the
// U+FFFD it makes of each, and a search for U+FFFD finds them) and only
// lines with a hit are decoded. A line's match the expression engine gives
// up on is decided as the editor's find decides it, with all the work it
// takes, on a thread of its own while the search keeps yielding; a line not
// even that decides gets a row that says so (skippedRow()).
class FileSearch
{
public:
    static constexpr qsizetype maxLine = qsizetype(1) << 20;
    static constexpr int maxDepth = 256;
    // A hit row shows at most this many characters on either side of its hit.
    static constexpr qsizetype rowContext = 1000;

    FileSearch();
    ~FileSearch();
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;

    std::function<SearchOptions()> options;
    // The file-name patterns of a folder; empty means every file.
    std::function<QString()> filePattern;
    // Called with the file being scanned when the interval has passed.
    std::function<void(const QString& file)> yield;
    std::function<void(const QString& text, int line, const QString& file)> row;

    int yieldInterval() const;
    void setYieldInterval(int ms);

    // Walks `folder`: its own files in name order, then each subfolder the
    // same way. Names beginning with "." below it are left out. Clears a
    // cancel made before.
    void run(const QString& folder);
    void cancel();
    bool isCanceled() const;
    // The file the last search reached.
    QString lastFile() const;

    // One folder and, recursively, its subfolders: a walk of its own, like
    // run() but without clearing a cancel.
    void processDirectory(const QString& path);
    // One file: its rows go to `row`.
    void processFile(const QString& path);

    // Why `options` cannot be searched for (an invalid regular expression);
    // empty when they can.
    static QString error(const SearchOptions& options);
    // The name filters of a pattern: split at blanks and ";", "*" for none.
    static QStringList nameFilters(const QString& pattern);
    // The rows, escaped for the messages panel.
    static QString headerRow(const QString& path);
    static QString hitRow(int line, const QString& text, qsizetype pos, qsizetype length);
    // The row of a line the regular expression engine gave up on (the work
    // one line may take is bounded); the search goes on after it.
    static QString skippedRow(int line);

private:
    class Private;
    Private* d;
};

} // namespace vexa

#endif

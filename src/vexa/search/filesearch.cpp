#include "vexa/search/filesearch.h"

#include "vexa/search/bytesearch.h"
#include "vexa/search/filesearch_p.h"

#include "vexa/messages/messagemarkup.h"
#include "xqwidgets/xqeditor/pattern.h"
#include "xqwidgets/xqeditor/patternengine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vexa
{

using xqwidgets::PatternEngine;

namespace
{

// Bytes read at a time.
constexpr qsizetype blockSize = 256 * 1024;
// The head of a file looked at for a NUL byte.
constexpr qsizetype binaryProbe = 8 * 1024;

} // namespace

class FileSearch::Private
{
public:
    FileSearch* q;
    bool canceled = false;
    int interval = 20;
    QElapsedTimer sinceYield;
    // Set by a yield: the options may have changed.
    bool stale = true;
    std::unique_ptr<Matcher> matcher;
    // Counts the matchers built.
    quint64 generation = 0;
    QSet<QPair<dev_t, ino_t>> visited;
    int depth = 0;
    bool filtersBuilt = false;
    QString filterPattern;
    QList<QRegularExpression> filters;

    // The file in progress.
    QString path;
    int lineNumber = 1;
    bool headerSent = false;
    bool binary = false;
    // The bytes read, kept from file to file.
    QByteArray buf;
    // A valid copy of bytes that are not, for an expression, kept likewise.
    Utf8Repair repair;
    // The size the open file had (0 for files that tell none), the bytes
    // read from it so far, and whether it has ended.
    qint64 fileSize = 0;
    qint64 readTotal = 0;
    bool eof = false;

    void maybeYield()
    {
        if (!sinceYield.isValid()) {
            sinceYield.start();
            return;
        }
        if (sinceYield.elapsed() < interval)
            return;
        if (q->yield)
            q->yield(path);
        sinceYield.start();
        stale = true;
    }

    // A match: on this thread a window at a time, within the engine's limit
    // of work; where that cannot decide, with all the work it takes on a
    // thread of its own while the search keeps yielding (and so can be
    // cancelled meanwhile), as the editor's find decides it.
    template <class Subject>
    qsizetype decide(const PatternEngine& engine, const Subject& subject, qsizetype size,
                     qsizetype from, qsizetype* length, int flags)
    {
        const qsizetype first = plainMatch(engine, subject, size, from, length, flags);
        if (first != PatternEngine::GaveUp)
            return first;
        if (canceled)
            return PatternEngine::Stopped;
        std::atomic<bool> stop{false};
        qsizetype at = PatternEngine::Stopped;
        qsizetype found = 0;
        xqwidgets::runAside(
            [&] { at = fullMatch(engine, subject, size, from, &found, stop, flags, true); }, stop,
            [&] {
                // The options changed meanwhile are taken from the next
                // candidate on: the engine is in use.
                maybeYield();
                return !canceled;
            });
        if (canceled)
            return PatternEngine::Stopped;
        *length = found;
        // Matches decided aside can follow one another for many lines
        // without a candidate between them.
        maybeYield();
        return canceled ? PatternEngine::Stopped : at;
    }

    void setMatchers(Matcher& m)
    {
        m.match16 = [this](const PatternEngine& e, QStringView text, qsizetype from,
                           qsizetype* length,
                           int flags) { return decide(e, text, text.size(), from, length, flags); };
        m.match8 = [this](const PatternEngine& e, const char* bytes, qsizetype size, qsizetype from,
                          qsizetype* length,
                          int flags) { return decide(e, bytes, size, from, length, flags); };
    }

    // Takes the options anew after a yield; builds a matcher when they changed.
    void refresh()
    {
        if (!stale && matcher)
            return;
        stale = false;
        const SearchOptions now = q->options ? q->options() : SearchOptions();
        if (!matcher || matcher->options != now) {
            matcher = std::make_unique<Matcher>(now);
            setMatchers(*matcher);
            ++generation;
        }
    }

    // Scans one line; false when the file is done (a binary file's header
    // is out, or the search was cancelled).
    bool scanLine(QString text)
    {
        if (text.endsWith(QLatin1Char('\r')))
            text.chop(1);
        bool more = true;
        auto header = [&]() {
            if (!headerSent) {
                headerSent = true;
                if (q->row)
                    q->row(headerRow(path), 1, path);
            }
        };
        const bool whole = matcher->scan(text, [&](qsizetype at, qsizetype length) {
            header();
            if (binary) {
                more = false;
                return false;
            }
            if (q->row)
                q->row(hitRow(lineNumber, text, at, length), lineNumber, path);
            return !canceled;
        });
        // The engine gave up on this line only: the results say so, and the
        // search goes on with the next line.
        if (!whole && more && !binary && !canceled) {
            header();
            if (q->row)
                q->row(skippedRow(lineNumber), lineNumber, path);
        }
        return more && !canceled;
    }

    // Scans the line with a candidate, which ends at `end` of a piece of `n`,
    // and moves `pos` past it; false when the file is done.
    bool scanCandidate(QString text, qsizetype end, qsizetype n, qsizetype* pos)
    {
        if (!scanLine(std::move(text)))
            return false;
        *pos = end + 1;
        if (end < n)
            ++lineNumber;
        maybeYield();
        return !canceled;
    }

    // Text of whole lines (the last one may go on in the next piece).
    bool scanText(QString text)
    {
        if (text.contains(QLatin1Char('\r')))
            text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        qsizetype pos = 0;
        const qsizetype n = text.size();
        Matcher::Block state;
        const Matcher* stateOf = nullptr;
        while (pos < n) {
            refresh();
            if (stateOf != matcher.get()) {
                state = Matcher::Block();
                stateOf = matcher.get();
            }
            const qsizetype at = matcher->valid ? matcher->nextInText(text, pos, state) : -1;
            if (at < 0) {
                lineNumber += int(countLineFeeds(text, pos, n));
                return true;
            }
            const qsizetype before = at > pos ? text.lastIndexOf(QLatin1Char('\n'), at - 1) : -1;
            const qsizetype start = before >= pos ? before + 1 : pos;
            qsizetype end = text.indexOf(QLatin1Char('\n'), at);
            if (end < 0)
                end = n;
            lineNumber += int(countLineFeeds(text, pos, start));
            if (!scanCandidate(text.mid(start, end - start), end, n, &pos))
                return false;
        }
        return true;
    }

    // Bytes of whole lines in UTF-8 (the last one may go on in the next piece).
    bool scanBytes(const char* block, qsizetype n)
    {
        // Where candidates are looked for: the bytes themselves or, for an
        // expression when they are not valid UTF-8, from `base` on, a valid
        // copy of them. Offsets are in it; a candidate's line is decoded
        // from the bytes.
        const char* subject = block;
        qsizetype size = n;
        bool copied = false;
        qsizetype base = 0;
        const auto source = [&](qsizetype at) { return copied ? base + repair.source(at) : at; };
        qsizetype pos = 0;
        // The matcher the bytes were found fit for.
        quint64 fits = 0;
        Matcher::Block state;
        while (pos < size) {
            refresh();
            if (!matcher->valid) {
                lineNumber += int(countLineFeeds(subject + pos, size - pos));
                return true;
            }
            if (fits != generation) {
                // A new matcher looks at the bytes again.
                pos = source(pos);
                subject = block;
                size = n;
                copied = false;
                state = Matcher::Block();
                if (!matcher->bytesFit(block + pos, n - pos)) {
                    if (matcher->bytes || !matcher->engineBytes)
                        return scanText(QString::fromUtf8(block + pos, n - pos));
                    if (matcher->rawBytes) {
                        state.raw = true;
                    } else {
                        repair.assign(block + pos, n - pos);
                        subject = repair.data();
                        size = repair.size();
                        base = pos;
                        pos = 0;
                        copied = true;
                    }
                }
                fits = generation;
            }
            const qsizetype at = matcher->nextInBytes(subject, pos, size, state);
            if (at < 0) {
                lineNumber += int(countLineFeeds(subject + pos, size - pos));
                return true;
            }
            const auto [start, end] = lineAround(subject, pos, at, size);
            lineNumber += int(countLineFeeds(subject + pos, start - pos));
            const qsizetype from = source(start);
            if (!scanCandidate(QString::fromUtf8(block + from, source(end) - from), end, size,
                               &pos))
                return false;
        }
        return true;
    }

    // Where to end a piece of a line too long to scan whole: at most `limit`
    // bytes, not inside a character.
    static qsizetype pieceEnd(const char* p, qsizetype limit)
    {
        qsizetype cut = limit;
        while (cut > limit - 4 && cut > 0 && (static_cast<unsigned char>(p[cut]) & 0xC0) == 0x80)
            --cut;
        return cut > 0 ? cut : limit;
    }

    void scanUtf8(int fd, QByteArray& buf, qsizetype start)
    {
        for (;;) {
            const qsizetype avail = buf.size() - start;
            const char* p = buf.constData() + start;
            qsizetype cut = 0;
            if (const void* nl = avail > 0 ? memrchr(p, '\n', size_t(avail)) : nullptr)
                cut = static_cast<const char*>(nl) - p + 1;
            else if (avail >= maxLine)
                cut = pieceEnd(p, maxLine);
            else if (eof)
                cut = avail;
            if (cut > 0) {
                if (!scanBytes(p, cut))
                    return;
                start += cut;
            }
            if (eof && start >= buf.size())
                return;
            buf.remove(0, start);
            start = 0;
            if (!eof)
                readMore(fd, buf);
            maybeYield();
            if (canceled)
                return;
        }
    }

    void scanUtf16(int fd, QByteArray& buf, QStringConverter::Encoding encoding)
    {
        QStringDecoder decoder(encoding);
        QString pending;
        for (;;) {
            pending += decoder.decode(buf);
            buf.clear();
            const qsizetype nl = pending.lastIndexOf(QLatin1Char('\n'));
            qsizetype cut = nl >= 0 ? nl + 1 : 0;
            if (cut == 0 && pending.size() >= maxLine / 2) {
                cut = maxLine / 2;
                if (pending.at(cut - 1).isHighSurrogate())
                    --cut;
            } else if (cut == 0 && eof) {
                cut = pending.size();
            }
            if (cut > 0) {
                if (!scanText(pending.left(cut)))
                    return;
                pending.remove(0, cut);
            }
            if (eof && pending.isEmpty())
                return;
            if (!eof)
                readMore(fd, buf);
            maybeYield();
            if (canceled)
                return;
        }
    }

    // One folder, named `path` in rows, at `name` relative to the open
    // folder `at`: its files in name order, then each subfolder the same
    // way. Files and folders are opened relative to their folder, so that
    // the system does not look up the whole path again for each.
    void walk(int at, const char* name, const QString& path)
    {
        if (canceled || depth >= maxDepth)
            return;
        const int fd = ::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return;
        }
        // Each folder once, whatever link led here.
        struct stat st;
        if (::fstat(fd, &st) != 0 || visited.contains({st.st_dev, st.st_ino})) {
            ::closedir(dir);
            return;
        }
        visited.insert({st.st_dev, st.st_ino});

        struct Entry {
            QString name;
            QByteArray bytes;
            bool operator<(const Entry& o) const { return name < o.name; }
        };
        std::vector<Entry> files;
        std::vector<Entry> folders;
        const QList<QRegularExpression>& filters = nameFilters();
        while (const dirent* e = ::readdir(dir)) {
            // Hidden entries, "." and "..".
            if (e->d_name[0] == '.')
                continue;
            bool file = e->d_type == DT_REG;
            bool folder = e->d_type == DT_DIR;
            // A link counts as what it leads to; a dangling one as nothing.
            if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
                struct stat target;
                if (::fstatat(fd, e->d_name, &target, 0) != 0)
                    continue;
                file = S_ISREG(target.st_mode);
                folder = S_ISDIR(target.st_mode);
            }
            if (!file && !folder)
                continue;
            Entry entry{QFile::decodeName(e->d_name), QByteArray(e->d_name)};
            if (folder) {
                folders.push_back(std::move(entry));
            } else if (filters.isEmpty() || std::any_of(filters.cbegin(), filters.cend(),
                                                        [&](const QRegularExpression& re) {
                                                            return re.match(entry.name).hasMatch();
                                                        })) {
                files.push_back(std::move(entry));
            }
        }
        std::sort(files.begin(), files.end());
        std::sort(folders.begin(), folders.end());
        const QString prefix = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
        for (const Entry& f : files) {
            scanEntry(fd, f.bytes.constData(), prefix + f.name);
            if (canceled)
                break;
        }
        ++depth;
        for (const Entry& f : folders) {
            if (canceled)
                break;
            walk(fd, f.bytes.constData(), prefix + f.name);
        }
        --depth;
        ::closedir(dir);
    }

    // The name filters of the current file pattern, none for every file.
    const QList<QRegularExpression>& nameFilters()
    {
        const QString pattern = q->filePattern ? q->filePattern() : QString();
        if (filtersBuilt && pattern == filterPattern)
            return filters;
        filtersBuilt = true;
        filterPattern = pattern;
        filters.clear();
        const QStringList globs = FileSearch::nameFilters(pattern);
        if (globs != QStringList(QStringLiteral("*"))) {
            for (const QString& glob : globs)
                filters.append(
                    QRegularExpression(QRegularExpression::wildcardToRegularExpression(glob)));
        }
        return filters;
    }

    // The entry `name` of the open folder `at`, a regular file as far as
    // the caller knows, named `shown` in rows.
    void scanEntry(int at, const char* name, const QString& shown)
    {
        path = shown;
        maybeYield();
        if (canceled)
            return;
        refresh();
        if (!matcher->valid)
            return;
        // The open file is tested again: the entry may have been swapped
        // since the listing (and a FIFO opened without blocking is no harm).
        const int fd = ::openat(at, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return;
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            lineNumber = 1;
            headerSent = false;
            binary = false;
            scanFile(fd, st.st_size);
        }
        ::close(fd);
    }

    // Reads a block more to the end of `buffer`. The file ends at a read
    // that gives nothing (or fails) or, for a file whose size is known, once
    // that many bytes are in: a file that grows meanwhile is searched as it
    // was, and most files take one read instead of two.
    void readMore(int fd, QByteArray& buffer)
    {
        const qsizetype old = buffer.size();
        buffer.resize(old + blockSize);
        ssize_t n;
        do {
            n = ::read(fd, buffer.data() + old, size_t(blockSize));
        } while (n < 0 && errno == EINTR);
        buffer.resize(old + qMax<qsizetype>(0, n));
        readTotal += qMax<qsizetype>(0, n);
        eof = n <= 0 || (fileSize > 0 && readTotal >= fileSize);
    }

    void scanFile(int fd, qint64 size)
    {
        buf.resize(0);
        buf.reserve(blockSize + maxLine);
        fileSize = size;
        readTotal = 0;
        eof = false;
        while (!eof && buf.size() < binaryProbe)
            readMore(fd, buf);
        const auto head = [&](const char* mark, int n) {
            return buf.size() >= n && memcmp(buf.constData(), mark, size_t(n)) == 0;
        };
        if (head("\xFF\xFE", 2) || head("\xFE\xFF", 2)) {
            scanUtf16(fd, buf,
                      head("\xFF\xFE", 2) ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
            return;
        }
        binary = memchr(buf.constData(), 0, size_t(qMin(buf.size(), binaryProbe))) != nullptr;
        scanUtf8(fd, buf, head("\xEF\xBB\xBF", 3) ? 3 : 0);
    }
};

FileSearch::FileSearch() : d(new Private)
{
    d->q = this;
}

FileSearch::~FileSearch()
{
    delete d;
}

int FileSearch::yieldInterval() const
{
    return d->interval;
}

void FileSearch::setYieldInterval(int ms)
{
    d->interval = ms;
}

void FileSearch::cancel()
{
    d->canceled = true;
}

bool FileSearch::isCanceled() const
{
    return d->canceled;
}

void FileSearch::run(const QString& folder)
{
    d->canceled = false;
    d->sinceYield.start();
    d->path.clear();
    processDirectory(folder);
    d->buf = QByteArray();
    d->repair.release();
}

QString FileSearch::lastFile() const
{
    return d->path;
}

void FileSearch::processDirectory(const QString& path)
{
    // Each call is a walk of its own: what an earlier one visited (or the
    // file pattern it used) does not count.
    d->visited.clear();
    d->depth = 0;
    d->filtersBuilt = false;
    d->stale = true;
    // Rows name files as the folder joined with the names walked, without
    // the folder's own trailing slash.
    QString shown = path;
    if (shown.size() > 1 && shown.endsWith(QLatin1Char('/')))
        shown.chop(1);
    d->walk(AT_FDCWD, QFile::encodeName(path).constData(), shown);
}

void FileSearch::processFile(const QString& path)
{
    // Only a regular file: a FIFO would block and a device never end. (The
    // walk knows the type of most entries from the folder's listing.)
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    d->scanEntry(AT_FDCWD, QFile::encodeName(path).constData(), path);
}

QString FileSearch::error(const SearchOptions& options)
{
    return Matcher(options).error;
}

QStringList FileSearch::nameFilters(const QString& pattern)
{
    static const QRegularExpression separators(QStringLiteral("[\\s;]+"));
    QStringList filters = pattern.split(separators, Qt::SkipEmptyParts);
    if (filters.isEmpty())
        filters.append(QStringLiteral("*"));
    return filters;
}

QString FileSearch::headerRow(const QString& path)
{
    return markup::background(u"#d0d0d0") + QLatin1Char(' ') + markup::escape(path) +
           QLatin1Char(' ');
}

QString FileSearch::skippedRow(int line)
{
    static const QString number = QLatin1String("   ") + markup::color(u"#909090");
    static const QString note = QLatin1String(": ") + markup::color(u"#f00000") +
                                QLatin1String("line skipped: the regular expression needs too "
                                              "much work on it");
    return number + QString::number(line) + note;
}

QString FileSearch::hitRow(int line, const QString& text, qsizetype pos, qsizetype length)
{
    // A very long line shows only the part around its hit.
    const qsizetype from = qMax<qsizetype>(0, pos - rowContext);
    const qsizetype to = qMin(text.size(), pos + length + rowContext);
    static const QString number = QLatin1String("   ") + markup::color(u"#909090");
    static const QString before = QLatin1String(": ") + markup::color(u"black");
    static const QString hit = markup::color(u"blue");
    static const QString after = markup::color(u"black");
    // A search sends its hits by the hundred thousand: the row is built in
    // one string made large enough at once.
    char digits[16];
    const char* const end = std::to_chars(digits, digits + sizeof digits, line).ptr;
    QString row;
    row.reserve(number.size() + (end - digits) + before.size() + hit.size() + after.size() +
                (to - from) + 8);
    row += number;
    row += QLatin1String(digits, end);
    row += before;
    const QStringView shown(text);
    markup::appendEscaped(&row, shown.mid(from, pos - from));
    row += hit;
    markup::appendEscaped(&row, shown.mid(pos, length));
    row += after;
    markup::appendEscaped(&row, shown.mid(pos + length, to - pos - length));
    row.replace(QLatin1Char('\t'), QLatin1String("    "));
    return row;
}

} // namespace vexa

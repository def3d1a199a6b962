#include "xqwidgets/xqeditor/textfile.h"

#include "xqwidgets/helpers.h"
#include "xqwidgets/largepages.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textline.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <functional>
#include <limits>
#include <new>
#include <optional>

#include <cerrno>
#include <cstdio>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xqwidgets
{

namespace
{

// Files are read and written in pieces of this size, so that a large file
// never exists twice in memory (bytes and text) and a save never builds the
// whole text as one string.
constexpr qsizetype kChunk = 1 << 20;
// Longest run of characters encoded at once; a longer line goes in slices.
constexpr qsizetype kSlice = 1 << 18;

// The converters keep what they could not convert yet (a sequence cut off
// at the end of a piece) and how many invalid sequences they met in their
// state; the file needs both to tell a clean file from a damaged one.
class Decoder : public QStringDecoder
{
public:
    using QStringDecoder::QStringDecoder;
    qsizetype invalidChars() const { return state.invalidChars; }
    bool hasPending() const { return state.remainingChars != 0; }
};

// A named encoding: one of Qt's own, or one the platform's converters know.
struct Codec {
    bool valid = false;
    std::optional<QStringConverter::Encoding> builtin;
    QByteArray name; // for the platform's converters

    bool isUnicode() const
    {
        return builtin && *builtin != QStringConverter::Latin1 &&
               *builtin != QStringConverter::System;
    }
};

Codec resolveCodec(const QString& name)
{
    Codec c;
    const QString n = name.trimmed();
    if (n.isEmpty() || n.compare(QLatin1String("System"), Qt::CaseInsensitive) == 0 ||
        n.compare(QLatin1String("Locale"), Qt::CaseInsensitive) == 0) {
#ifdef Q_OS_UNIX
        // Qt takes the locale's encoding to be UTF-8 on Unix; its own UTF-8
        // converter writes straight into the buffer where the locale's makes
        // a copy of every piece.
        c.builtin = QStringConverter::Utf8;
#else
        c.builtin = QStringConverter::System;
#endif
        c.valid = true;
        return c;
    }
    c.name = n.toLatin1();
    c.builtin = QStringConverter::encodingForName(c.name.constData());
    if (c.builtin)
        c.valid = true;
    else
        c.valid = QStringDecoder(c.name.constData()).isValid() &&
                  QStringEncoder(c.name.constData()).isValid();
    return c;
}

// The byte-order mark at the start of `head` that belongs to `e`: its length
// and the byte order it fixes (for UTF-16 and UTF-32 without one).
struct Bom {
    int length = 0;
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
};

Bom detectBom(QStringConverter::Encoding e, QByteArrayView head)
{
    using C = QStringConverter;
    auto starts = [&](const char* bytes, int n) {
        return head.size() >= n && memcmp(head.data(), bytes, size_t(n)) == 0;
    };
    Bom b;
    b.encoding = e;
    switch (e) {
    case C::Utf8:
        if (starts("\xEF\xBB\xBF", 3))
            b.length = 3;
        break;
    case C::Utf16:
    case C::Utf16LE:
    case C::Utf16BE:
        if (e != C::Utf16BE && starts("\xFF\xFE", 2))
            b = {2, C::Utf16LE};
        else if (e != C::Utf16LE && starts("\xFE\xFF", 2))
            b = {2, C::Utf16BE};
        break;
    case C::Utf32:
    case C::Utf32LE:
    case C::Utf32BE:
        if (e != C::Utf32BE && starts("\xFF\xFE\0\0", 4))
            b = {4, C::Utf32LE};
        else if (e != C::Utf32LE && starts("\0\0\xFE\xFF", 4))
            b = {4, C::Utf32BE};
        break;
    default:
        break;
    }
    return b;
}

// Reads until `max` bytes or the end of the file; -1 on a read error.
qint64 readFully(QFile& file, char* buffer, qint64 max)
{
    qint64 total = 0;
    while (total < max) {
        const qint64 n = file.read(buffer + total, max - total);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        total += n;
    }
    return total;
}

// Index of the first surrogate without its partner, or -1. The UTF
// encoders turn such a character into U+FFFD or drop it without saying so.
qsizetype unpairedSurrogate(QStringView s)
{
    const char16_t* p = s.utf16();
    const qsizetype n = s.size();
    // Surrogates are rare: look for any, several characters at a time.
    bool any = false;
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i mask = _mm_set1_epi16(short(0xF800));
    const __m128i surrogate = _mm_set1_epi16(short(0xD800));
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, mask), surrogate))) {
            any = true;
            break;
        }
    }
#else
    // Four at a time: a lane of x is zero where a character lies in
    // 0xD800..0xDFFF.
    for (; i + 4 <= n; i += 4) {
        quint64 w;
        memcpy(&w, p + i, sizeof w);
        const quint64 x = (w & 0xF800F800F800F800ULL) ^ 0xD800D800D800D800ULL;
        if ((x - 0x0001000100010001ULL) & ~x & 0x8000800080008000ULL) {
            any = true;
            break;
        }
    }
#endif
    for (; !any && i < n; ++i)
        any = (p[i] & 0xF800) == 0xD800;
    if (!any)
        return -1;
    for (qsizetype i = 0; i < n; ++i) {
        if (QChar::isHighSurrogate(p[i])) {
            if (i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
                ++i;
                continue;
            }
            return i;
        }
        if (QChar::isLowSurrogate(p[i]))
            return i;
    }
    return -1;
}

QString errnoString(int err)
{
    return QString::fromLocal8Bit(strerror(err));
}

// The editor counts lines in int: a file with more lines cannot be shown.
constexpr qint64 kMaxCount = std::numeric_limits<int>::max();
// Lines are shorter still (see maxLineLength), which an int column counts.
constexpr qint64 kMaxLine = TextFile::maxLineLength;
static_assert(kMaxLine <= kMaxCount);

QString tooLongLine(qint64 line)
{
    return QStringLiteral("Line %1 is longer than the editor can hold (%2 characters)")
        .arg(line + 1)
        .arg(kMaxLine);
}

QString tooManyLines()
{
    return QStringLiteral("The file has more lines than the editor can hold (%1)").arg(kMaxCount);
}

// Why the decoded text cannot be held, or an empty string.
QString unrepresentable(QStringView text)
{
    // No line can be longer, nor can there be more lines.
    if (text.size() <= kMaxLine)
        return QString();
    qint64 line = 0;
    qsizetype start = 0;
    for (;;) {
        const qsizetype lf = text.indexOf(u'\n', start);
        const qsizetype end = lf < 0 ? text.size() : lf;
        if (end - start > kMaxLine)
            return tooLongLine(line);
        if (lf < 0)
            return QString();
        if (++line >= kMaxCount)
            return tooManyLines();
        start = lf + 1;
    }
}

// The same question asked of the bytes before they are decoded, so that a
// file that could never be held is refused without first filling memory.
// Answers for the encodings whose line feed is the byte 0x0A, where a line
// of n bytes has at most n characters: Latin-1 (exactly n) and UTF-8
// (counted: a byte that continues a sequence adds none, a four-byte
// sequence adds two). Other encodings are judged after decoding.
QString unrepresentableBytes(int fd, qint64 size, QStringConverter::Encoding e)
{
    const bool utf8 = e == QStringConverter::Utf8 || e == QStringConverter::System;
    if (!utf8 && e != QStringConverter::Latin1)
        return QString();
    if (size <= kMaxLine)
        return QString();
    QByteArray buffer(kChunk, Qt::Uninitialized);
    qint64 line = 0;
    qint64 length = 0;
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buffer.data(), size_t(kChunk), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return QString(); // read errors are the decoder's to report
        at += n;
        const auto* p = reinterpret_cast<const uchar*>(buffer.constData());
        const uchar* end = p + n;
        while (p < end) {
            const auto* lf = static_cast<const uchar*>(memchr(p, '\n', size_t(end - p)));
            const uchar* stop = lf ? lf : end;
            if (utf8) {
                qint64 units = 0;
                for (const uchar* q = p; q < stop; ++q)
                    units += ((*q & 0xC0) != 0x80) + (*q >= 0xF0);
                length += units;
            } else {
                length += stop - p;
            }
            if (length > kMaxLine)
                return tooLongLine(line);
            if (!lf)
                break;
            if (++line >= kMaxCount)
                return tooManyLines();
            length = 0;
            p = lf + 1;
        }
    }
}

// Writes all of `data` at `offset` (or at the file's position when offset
// is -1), resuming after interruptions and short writes; false with errno.
bool writeAll(int fd, const char* data, qint64 size, qint64 offset = -1)
{
    while (size > 0) {
        const ssize_t n = offset < 0 ? ::write(fd, data, size_t(size))
                                     : ::pwrite(fd, data, size_t(size), off_t(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        size -= n;
        if (offset >= 0)
            offset += n;
    }
    return true;
}

// Closes and reports the error of a close, which is where some file
// systems report a failed write.
bool closeChecked(int fd)
{
    return ::close(fd) == 0 || errno == EINTR;
}

QByteArray directoryOf(const QByteArray& path)
{
    const int slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray fileNameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// The file a save must write, following symbolic links one by one: a link
// stays a link and its target is written, a dangling link gets its target
// made. False with errno when the name cannot be followed (a loop, a
// component that is no directory, no permission).
bool followLinks(const QByteArray& path, QByteArray* target)
{
    QByteArray name = path;
    for (int hops = 0;; ++hops) {
        struct stat lst;
        if (::lstat(name.constData(), &lst) != 0) {
            if (errno != ENOENT)
                return false;
            *target = name; // a new file
            return true;
        }
        if (!S_ISLNK(lst.st_mode)) {
            *target = name;
            return true;
        }
        if (hops >= 40) { // the kernel's own limit
            errno = ELOOP;
            return false;
        }
        QByteArray link(qMax<qsizetype>(lst.st_size, 255) + 1, Qt::Uninitialized);
        const ssize_t n = ::readlink(name.constData(), link.data(), size_t(link.size()));
        if (n < 0)
            return false;
        link.truncate(n);
        name = link.startsWith('/') ? link : directoryOf(name) + '/' + link;
    }
}

bool sameStamp(const struct stat& st, dev_t dev, ino_t ino, off_t size, const timespec& mtime)
{
    return st.st_dev == dev && st.st_ino == ino && st.st_size == size &&
           st.st_mtim.tv_sec == mtime.tv_sec && st.st_mtim.tv_nsec == mtime.tv_nsec;
}

void (*stepHook)(TextFile::SaveStep) = nullptr;

void step(TextFile::SaveStep s)
{
    if (stepHook)
        stepHook(s);
}

// A temporary file in `dir` named after `base`; -1 with errno on failure.
int makeTemporary(const QByteArray& dir, const QByteArray& base, QByteArray* name)
{
    QByteArray pattern = dir + "/." + Utils::fittedFileName(base, 8) + ".XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0)
        *name = pattern;
    return fd;
}

} // namespace

class TextFile::Private
{
public:
    QString codecName;
    QString error;
    qsizetype invalid = 0;
    bool bom = false;
    // The byte order a mark fixed at load, for saving under an encoding
    // name that leaves it open ("UTF-16"); cleared when the name changes.
    std::optional<QStringConverter::Encoding> bomEncoding;
    int errorLine = -1;
    int errorColumn = -1;
    // The file as last read or written: a save asks whether another
    // program has changed it since.
    struct Stamp {
        bool valid = false;
        QByteArray target;
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        timespec mtime = {};
    } stamp;

    void reset()
    {
        error.clear();
        errorLine = errorColumn = -1;
    }
    bool fail(const QString& message)
    {
        error = message;
        return false;
    }
    // Takes each piece of encoded bytes; false (with `error` set) stops.
    using Sink = std::function<bool(const char*, qint64)>;
    bool writeText(const Sink& out, const Codec& codec, TextDocument* doc);
    // Hands the whole content to a sink, the same bytes at every call.
    using Producer = std::function<bool(const Sink&)>;
    // The ways of a save below, whatever the bytes are made of.
    bool saveBytes(const QString& path, const Producer& produce);
    enum Outcome { Saved, Failed, NoTemporary };
    Outcome saveReplacing(const QByteArray& target, const struct stat* old,
                          const Producer& produce);
    bool saveInPlace(const QByteArray& target, const Producer& produce);
    // Opens a regular file for reading without blocking on anything else;
    // -1 (with `error` set) when it cannot.
    int openRegular(const QString& path, struct stat* st);
    int copyOldBytes(int fd, off_t size, const QByteArray& target, QByteArray* name);
    void recordStamp(const QByteArray& target, const struct stat& st);
    void locateUnencodable(const Codec& codec, const QString& line, int lineNo);
};

TextFile::TextFile() : d(new Private) {}

TextFile::~TextFile()
{
    delete d;
}

QString TextFile::codecName() const
{
    return d->codecName;
}

void TextFile::setCodecName(const QString& name)
{
    if (name != d->codecName)
        d->bomEncoding.reset();
    d->codecName = name;
}

bool TextFile::isCodecAvailable(const QString& name)
{
    return resolveCodec(name).valid;
}

QString TextFile::errorString() const
{
    return d->error;
}

qsizetype TextFile::invalidCount() const
{
    return d->invalid;
}

bool TextFile::hasBom() const
{
    return d->bom;
}

void TextFile::setBom(bool on)
{
    d->bom = on;
}

int TextFile::errorLine() const
{
    return d->errorLine;
}

int TextFile::errorColumn() const
{
    return d->errorColumn;
}

// --- Loading -----------------------------------------------------------------

// Opened without blocking and checked on the open descriptor: a FIFO or a
// device put in the file's place must not hang or feed the editor.
int TextFile::Private::openRegular(const QString& path, struct stat* st)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fail(errnoString(errno));
        return -1;
    }
    if (::fstat(fd, st) != 0) {
        fail(errnoString(errno));
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st->st_mode)) {
        fail(S_ISDIR(st->st_mode) ? QStringLiteral("Is a directory")
                                  : QStringLiteral("Not a regular file"));
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// A file's size decides how much memory its reading takes: where that is
// more than the process can get, the reading fails with this reason and
// leaves the document or the bytes as they were.
static const char kNoMemory[] = "Not enough memory";

bool TextFile::loadBytes(const QString& path, QByteArray* bytes, qint64 maxSize)
{
    try {
        return readBytes(path, bytes, maxSize);
    } catch (const std::bad_alloc&) {
        return d->fail(QString::fromLatin1(kNoMemory));
    }
}

bool TextFile::load(const QString& path, TextDocument* document)
{
    try {
        return readText(path, document);
    } catch (const std::bad_alloc&) {
        return d->fail(QString::fromLatin1(kNoMemory));
    }
}

bool TextFile::readBytes(const QString& path, QByteArray* bytes, qint64 maxSize)
{
    d->reset();
    struct stat st;
    const int fd = d->openRegular(path, &st);
    if (fd < 0)
        return false;
    if (maxSize >= 0 && st.st_size > maxSize) {
        ::close(fd);
        return d->fail(QStringLiteral("The file is larger than %1 bytes").arg(maxSize));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return d->fail(file.errorString());
    }
    // The size read at the start bounds the read: a file that grows
    // meanwhile is cut there rather than read without end.
    QByteArray data(qsizetype(st.st_size), Qt::Uninitialized);
    const qint64 n = readFully(file, data.data(), st.st_size);
    if (n < 0)
        return d->fail(file.errorString());
    data.truncate(n);
    QByteArray target;
    if (followLinks(QFile::encodeName(path), &target))
        d->recordStamp(target, st);
    else
        d->stamp = {};
    *bytes = std::move(data);
    return true;
}

bool TextFile::readText(const QString& path, TextDocument* document)
{
    d->reset();
    const Codec codec = resolveCodec(d->codecName);
    if (!codec.valid)
        return d->fail(QStringLiteral("Unknown text encoding \"%1\"").arg(d->codecName));

    struct stat st;
    const int fd = d->openRegular(path, &st);
    if (fd < 0)
        return false;
    if (codec.builtin) {
        const QString why = unrepresentableBytes(fd, st.st_size, *codec.builtin);
        if (!why.isEmpty()) {
            ::close(fd);
            return d->fail(why);
        }
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return d->fail(file.errorString());
    }

    QByteArray chunk(kChunk, Qt::Uninitialized);
    qint64 n = readFully(file, chunk.data(), kChunk);
    if (n < 0)
        return d->fail(file.errorString());

    Bom bom;
    if (codec.builtin)
        bom = detectBom(*codec.builtin, QByteArrayView(chunk.constData(), n));

    // The mark is taken off here and written back on save; the converter
    // must then keep any further U+FEFF as the character it is.
    const auto flags = QStringConverter::Flag::ConvertInitialBom;
    QString text;
    qsizetype invalid = 0;
    if (codec.builtin) {
        Decoder decoder(bom.length ? bom.encoding : *codec.builtin, flags);
        qsizetype used = 0;
        QByteArrayView piece(chunk.constData() + bom.length, n - bom.length);
        // The text of every line lives in this buffer (see loadText), with
        // an eighth more at its end: a file that is one long line keeps the
        // line there, and typing on it moves the text in place instead of
        // copying megabytes to fresh memory at the first key (the kernel
        // clearing fresh pages cost that key more than the copy). Room that
        // is never written costs no memory. Allocated to that size exactly:
        // resize() rounds up to a power of two, which left so much room that
        // loading copied the whole text to a buffer of its size.
        const qsizetype chars = decoder.requiredSpace(qMax<qint64>(st.st_size, n));
        text = QString(chars + chars / 8, Qt::Uninitialized);
        preferLargePages(text.data(), size_t(text.size()) * sizeof(QChar));
        for (;;) {
            const qsizetype need = used + decoder.requiredSpace(piece.size());
            if (need > text.size())
                text.resize(need + need / 2); // the file grew while read
            QChar* begin = text.data();
            used = decoder.appendToBuffer(begin + used, piece) - begin;
            if (n < kChunk)
                break;
            n = readFully(file, chunk.data(), kChunk);
            if (n < 0)
                return d->fail(file.errorString());
            if (n == 0)
                break;
            piece = QByteArrayView(chunk.constData(), n);
        }
        // A sequence cut off by the end of the file shows as U+FFFD too.
        if (decoder.hasPending()) {
            text.resize(used + 1);
            text[used++] = QChar::ReplacementCharacter;
        }
        text.resize(used);
        invalid = decoder.invalidChars() + (decoder.hasPending() ? 1 : 0);
    } else {
        // The platform's converters report a sequence cut off at the end
        // only when told that the input is complete: decode it in one go.
        QByteArray raw = chunk.left(n);
        chunk = QByteArray();
        while (n == kChunk) {
            const qsizetype at = raw.size();
            raw.resize(at + kChunk);
            n = readFully(file, raw.data() + at, kChunk);
            if (n < 0)
                return d->fail(file.errorString());
            raw.resize(at + n);
        }
        Decoder decoder(codec.name.constData(), flags | QStringConverter::Flag::Stateless);
        text = decoder(raw);
        invalid = decoder.invalidChars();
        // They drop such a cut-off sequence without a trace in the text:
        // mark it at the end, where it was.
        if (invalid > text.count(QChar::ReplacementCharacter))
            text += QChar::ReplacementCharacter;
    }
    file.close();
    const QString why = unrepresentable(text);
    if (!why.isEmpty())
        return d->fail(why);

    QByteArray target;
    const bool followed = followLinks(QFile::encodeName(path), &target);
    document->loadText(std::move(text));
    if (followed)
        d->recordStamp(target, st);
    else
        d->stamp = {};
    d->invalid = invalid;
    d->bom = bom.length > 0;
    if (bom.length)
        d->bomEncoding = bom.encoding;
    else
        d->bomEncoding.reset();
    // Saving would write U+FFFD where the file has other bytes.
    if (invalid)
        document->setReadOnly(true);
    return true;
}

// --- Saving ------------------------------------------------------------------

void TextFile::Private::locateUnencodable(const Codec& codec, const QString& line, int lineNo)
{
    errorLine = lineNo;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const qsizetype len =
            (line.at(i).isHighSurrogate() && i + 1 < line.size() && line.at(i + 1).isLowSurrogate())
                ? 2
                : 1;
        QStringEncoder probe =
            codec.builtin ? QStringEncoder(*codec.builtin) : QStringEncoder(codec.name.constData());
        const QByteArray encoded = probe(QStringView(line).mid(i, len));
        Q_UNUSED(encoded);
        // A lone half of a pair is written by no encoding; a converter fed
        // one alone may wait for its partner instead of failing.
        if (probe.hasError() || unpairedSurrogate(QStringView(line).mid(i, len)) >= 0) {
            errorColumn = int(i);
            break;
        }
        i += len - 1;
    }
    char32_t code = 0;
    if (errorColumn >= 0) {
        code = line.at(errorColumn).unicode();
        if (QChar::isHighSurrogate(code) && errorColumn + 1 < line.size() &&
            line.at(errorColumn + 1).isLowSurrogate())
            code = QChar::surrogateToUcs4(line.at(errorColumn), line.at(errorColumn + 1));
    }
    error = QStringLiteral("Line %1, column %2: the character U+%3 cannot be written in %4")
                .arg(lineNo + 1)
                .arg(errorColumn + 1)
                .arg(QString::number(code, 16).toUpper().rightJustified(4, QLatin1Char('0')))
                .arg(codecName.isEmpty() ? QStringLiteral("the locale's encoding") : codecName);
}

bool TextFile::Private::writeText(const Sink& out, const Codec& codec, TextDocument* doc)
{
    // The platform's converters are used statelessly: each piece ends in a
    // complete state, so shifting encodings are closed at every piece.
    QStringEncoder encoder =
        codec.builtin ? QStringEncoder(bomEncoding && bom ? *bomEncoding : *codec.builtin)
                      : QStringEncoder(codec.name.constData(), QStringConverter::Flag::Stateless);
    const bool unicode = codec.isUnicode();

    // Lines are gathered into a batch of up to kSlice characters and each
    // batch is encoded in one call: converters pay a fixed cost per call
    // (some allocate), which per line would dominate for short lines.
    QString batch;
    batch.reserve(kSlice);
    int batchFirst = 0; // first line with text in the batch
    QByteArray bytes(encoder.requiredSpace(kSlice) + 16, Qt::Uninitialized);

    // Encodes and writes `text`, which holds lines first..last; on a
    // character that cannot be encoded, finds it among those lines.
    auto encodeAndWrite = [&](QStringView text, int first, int last) {
        if (text.isEmpty())
            return true;
        char* end = nullptr;
        if (!(unicode && unpairedSurrogate(text) >= 0)) {
            const qsizetype need = encoder.requiredSpace(text.size());
            if (need > bytes.size())
                bytes.resize(need);
            end = encoder.appendToBuffer(bytes.data(), text);
        }
        if (!end || encoder.hasError()) {
            for (int i = first; i <= last; ++i) {
                const QString& line = *doc->lineOf(i);
                QStringEncoder probe = codec.builtin ? QStringEncoder(*codec.builtin)
                                                     : QStringEncoder(codec.name.constData());
                const QByteArray encoded = probe(line);
                if (probe.hasError() || unpairedSurrogate(line) >= 0) {
                    locateUnencodable(codec, line, i);
                    break;
                }
            }
            if (errorLine < 0) // not in any line: the mark or a terminator
                error = QStringLiteral("The text cannot be written in %1")
                            .arg(codecName.isEmpty() ? QStringLiteral("the locale's encoding")
                                                     : codecName);
            return false;
        }
        return out(bytes.constData(), end - bytes.constData());
    };

    if (bom && unicode)
        batch += QChar(0xFEFF);
    const QString terminator = doc->lineTerminator();
    const int last = doc->lastLine();
    for (int i = 0; i <= last; ++i) {
        const QString& line = *doc->lineOf(i);
        if (batch.size() + line.size() > kSlice) {
            if (!encodeAndWrite(batch, batchFirst, i - 1))
                return false;
            batch.clear();
            batchFirst = i;
        }
        if (line.size() > kSlice) {
            // A very long line goes on its own, in slices that keep
            // surrogate pairs together.
            if (unicode && unpairedSurrogate(line) >= 0) {
                locateUnencodable(codec, line, i);
                return false;
            }
            QStringView rest(line);
            while (!rest.isEmpty()) {
                qsizetype len = qMin(rest.size(), kSlice);
                if (len < rest.size() && QChar::isHighSurrogate(rest.at(len - 1).unicode()))
                    --len;
                if (!encodeAndWrite(rest.left(len), i, i))
                    return false;
                rest = rest.mid(len);
            }
            batchFirst = i + 1;
        } else {
            batch += line;
        }
        if (i < last || doc->endsWithTerminator())
            batch += terminator;
    }
    return encodeAndWrite(batch, batchFirst, last);
}

void TextFile::setStepHook(void (*hook)(SaveStep))
{
    stepHook = hook;
}

void TextFile::Private::recordStamp(const QByteArray& target, const struct stat& st)
{
    stamp.valid = true;
    stamp.target = target;
    stamp.dev = st.st_dev;
    stamp.ino = st.st_ino;
    stamp.size = st.st_size;
    stamp.mtime = st.st_mtim;
}

bool TextFile::changedOnDisk(const QString& path) const
{
    if (!d->stamp.valid)
        return false;
    QByteArray target;
    if (!followLinks(QFile::encodeName(path), &target) || target != d->stamp.target)
        return false;
    struct stat st;
    // A file that is gone has not changed: saving makes it again.
    if (::stat(target.constData(), &st) != 0)
        return false;
    return !sameStamp(st, d->stamp.dev, d->stamp.ino, d->stamp.size, d->stamp.mtime);
}

// The usual way: the text goes to a new file beside the old one, which takes
// the old one's place only once everything is written and on the disk.
TextFile::Private::Outcome TextFile::Private::saveReplacing(const QByteArray& target,
                                                            const struct stat* old,
                                                            const Producer& produce)
{
    QByteArray tmp;
    const int fd = makeTemporary(directoryOf(target), fileNameOf(target), &tmp);
    if (fd < 0) {
        fail(errnoString(errno));
        return NoTemporary;
    }
    auto discard = [&] {
        ::close(fd);
        ::unlink(tmp.constData());
        return Failed;
    };
    if (old) {
        // The new file takes the old one's owner and mode (owner first:
        // a change of owner clears the set-id bits). Where the owner cannot
        // be given away, the file still gets the mode.
        if (::fchown(fd, old->st_uid, old->st_gid) != 0)
            (void)!::fchown(fd, uid_t(-1), old->st_gid);
        (void)!::fchmod(fd, old->st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        (void)!::fchmod(fd, 0666 & ~mask);
    }
    const bool written = produce([&](const char* data, qint64 n) {
        return writeAll(fd, data, n) || fail(errnoString(errno));
    });
    if (!written)
        return discard();
    struct stat st;
    if (::fdatasync(fd) != 0 || ::fstat(fd, &st) != 0) {
        fail(errnoString(errno));
        return discard();
    }
    if (!closeChecked(fd)) {
        fail(errnoString(errno));
        ::unlink(tmp.constData());
        return Failed;
    }
    if (::rename(tmp.constData(), target.constData()) != 0) {
        fail(errnoString(errno));
        ::unlink(tmp.constData());
        return Failed;
    }
    recordStamp(target, st);
    return Saved;
}

namespace
{
// Where the old bytes wait while a file is rewritten in place: the
// application's data folder, or the temporary folder when that cannot take
// them.
QStringList copyPlaces()
{
    QStringList places;
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (!dataDir.isEmpty())
        places << dataDir + QStringLiteral("/saved-copies");
    places << QDir::tempPath();
    return places;
}

// A copy is written under this mark in front of its name and takes its own
// name only once complete, so that one cut off half-way (the program was
// killed) is never offered as the file's former content.
constexpr char kUnfinished[] = ".unfinished.";

// What follows the prefix in a copy's name: the time of the save and the
// random end mkostemp makes.
constexpr int kCopyStampLength = 15; // yyyyMMdd-hhmmss
constexpr int kCopyRandomLength = 7; // .XXXXXX

// The start of the names of the copies of `target`: its name and a digest
// of its whole path, so that copies of two files of one name stay apart. A
// name too long to take the rest is shortened (the same way every time).
QByteArray copyPrefix(const QByteArray& target)
{
    constexpr int digest = 12;
    const int added =
        int(sizeof(kUnfinished) - 1) + 1 + digest + 1 + kCopyStampLength + kCopyRandomLength;
    return Utils::fittedFileName(fileNameOf(target), added) + '.' +
           QCryptographicHash::hash(target, QCryptographicHash::Md5).toHex().left(digest) + '.';
}

// The names of the files in `folder` that start with `prefix`, compared
// byte for byte: a file's name may hold characters that a name filter
// would take as wildcards ([, *, ?).
QList<QByteArray> filesStartingWith(const QByteArray& folder, const QByteArray& prefix)
{
    QList<QByteArray> names;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const struct dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        struct stat st;
        if (name.startsWith(prefix) &&
            ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode))
            names << name;
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Copies of `target` that a save killed while copying left in `place`:
// the file itself was not touched yet, so they hold nothing of worth.
void removeUnfinishedCopies(const QString& place, const QByteArray& target)
{
    const QByteArray folder = QFile::encodeName(place);
    for (const QByteArray& name :
         filesStartingWith(folder, QByteArray(kUnfinished) + copyPrefix(target)))
        ::unlink((folder + '/' + name).constData());
}

// Makes a rename in `dir` survive a crash of the machine.
void syncDirectory(const QByteArray& dir)
{
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)!::fsync(fd);
        ::close(fd);
    }
}
} // namespace

QStringList TextFile::savedCopies(const QString& path)
{
    QByteArray target;
    if (!followLinks(QFile::encodeName(path), &target))
        return {};
    const QByteArray prefix = copyPrefix(target);
    QStringList result;
    for (const QString& place : copyPlaces()) {
        const QByteArray folder = QFile::encodeName(place);
        for (const QByteArray& name : filesStartingWith(folder, prefix))
            result << QFile::decodeName(folder + '/' + name);
    }
    return result;
}

// The copy is made and on the disk, under its own name, before the file is
// touched.
int TextFile::Private::copyOldBytes(int fd, off_t size, const QByteArray& target, QByteArray* name)
{
    const QStringList places = copyPlaces();
    const QByteArray stem =
        copyPrefix(target) +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")).toLatin1();
    int lastError = ENOENT;
    for (const QString& place : std::as_const(places)) {
        QDir().mkpath(place);
        removeUnfinishedCopies(place, target);
        const QByteArray folder = QFile::encodeName(place);
        QByteArray pattern = folder + '/' + kUnfinished + stem + ".XXXXXX";
        const int copy = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (copy < 0) {
            lastError = errno;
            continue;
        }
        (void)!::fchmod(copy, 0600);
        int err = size > 0 ? ::posix_fallocate(copy, 0, size) : 0;
        QByteArray buffer(kChunk, Qt::Uninitialized);
        for (off_t at = 0; !err && at < size;) {
            const ssize_t n =
                ::pread(fd, buffer.data(), size_t(qMin<off_t>(kChunk, size - at)), at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                err = n < 0 ? errno : EIO;
            else if (!writeAll(copy, buffer.constData(), n))
                err = errno;
            else {
                at += n;
                step(SaveStep::CopyPieceWritten);
            }
        }
        if (!err && ::fsync(copy) != 0)
            err = errno;
        // Complete: it takes its name (the same random end), without
        // replacing anything of that name where the file system can tell.
        const QByteArray complete = folder + '/' + stem + pattern.right(7);
        if (!err && ::renameat2(AT_FDCWD, pattern.constData(), AT_FDCWD, complete.constData(),
                                RENAME_NOREPLACE) != 0) {
            err = errno;
            if ((err == EINVAL || err == ENOSYS) &&
                ::rename(pattern.constData(), complete.constData()) == 0)
                err = 0;
        }
        if (!err) {
            syncDirectory(folder);
            *name = complete;
            return copy;
        }
        ::close(copy);
        ::unlink(pattern.constData());
        lastError = err;
    }
    errno = lastError;
    return -1;
}

// Puts the old bytes back after a failed write in place; false when even
// that fails.
static bool restoreOldBytes(int fd, int copy, off_t size)
{
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (off_t at = 0; at < size;) {
        const ssize_t n = ::pread(copy, buffer.data(), size_t(qMin<off_t>(kChunk, size - at)), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || !writeAll(fd, buffer.constData(), n, at))
            return false;
        at += n;
    }
    return ::ftruncate(fd, size) == 0 && ::fsync(fd) == 0;
}

// The way when nothing else is possible (the folder takes no new file) or
// when a new file would cut the file off from its other names (hard
// links): the file itself is rewritten. It must never end up shorter or
// mixed, so the space is reserved first (no space: nothing is touched), a
// copy of the old bytes is kept until the new ones are written, and a
// failure puts the old bytes back, or names the copy if even that fails.
bool TextFile::Private::saveInPlace(const QByteArray& target, const Producer& produce)
{
    const int fd = ::open(target.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return fail(errnoString(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return fail(errnoString(errno));
    }
    const off_t oldSize = st.st_size;

    // The size of the new text, from a first pass that writes nothing.
    qint64 newSize = 0;
    if (!produce([&](const char*, qint64 n) {
            newSize += n;
            return true;
        })) {
        ::close(fd);
        return false;
    }

    QByteArray copyName;
    const int copy = copyOldBytes(fd, oldSize, target, &copyName);
    if (copy < 0) {
        const int err = errno;
        ::close(fd);
        return fail(QStringLiteral("No place can take a copy of the file's present content "
                                   "while it is rewritten: %1")
                        .arg(errnoString(err)));
    }
    auto dropCopy = [&] {
        ::close(copy);
        ::unlink(copyName.constData());
    };
    step(SaveStep::CopyMade);

    if (newSize > oldSize) {
        // The blocks are reserved without growing the file, so that until
        // the first new byte is written the file is the old one exactly;
        // where the file system cannot do that, the portable call grows it.
        int err = 0;
        if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, oldSize, newSize - oldSize) != 0) {
            err = errno;
            if (err == EOPNOTSUPP || err == ENOSYS)
                err = ::posix_fallocate(fd, oldSize, newSize - oldSize);
        }
        if (err != 0) {
            struct stat now;
            if (::fstat(fd, &now) == 0 && now.st_size != oldSize)
                (void)!::ftruncate(fd, oldSize);
            ::close(fd);
            dropCopy();
            return fail(errnoString(err));
        }
    }
    step(SaveStep::SpaceReserved);

    qint64 at = 0;
    bool ok = produce([&](const char* data, qint64 n) {
        if (!writeAll(fd, data, n, at))
            return fail(errnoString(errno));
        at += n;
        step(SaveStep::PieceWritten);
        return true;
    });
    if (ok && newSize < oldSize && ::ftruncate(fd, off_t(newSize)) != 0)
        ok = fail(errnoString(errno));
    if (ok)
        step(SaveStep::Truncated);
    if (ok && (::fsync(fd) != 0 || ::fstat(fd, &st) != 0))
        ok = fail(errnoString(errno));
    if (!ok) {
        if (restoreOldBytes(fd, copy, oldSize)) {
            dropCopy();
        } else {
            ::close(copy);
            error += QStringLiteral("\nThe file could not be put back as it was; its former "
                                    "content is kept in %1")
                         .arg(QFile::decodeName(copyName));
        }
        ::close(fd);
        return false;
    }
    if (!closeChecked(fd)) {
        fail(errnoString(errno));
        ::close(copy);
        error +=
            QStringLiteral("\nIts former content is kept in %1").arg(QFile::decodeName(copyName));
        return false;
    }
    dropCopy();
    recordStamp(target, st);
    return true;
}

bool TextFile::save(const QString& path, TextDocument* document)
{
    d->reset();
    if (document->isReadOnly())
        return d->fail(QStringLiteral("The document is read-only"));
    const Codec codec = resolveCodec(d->codecName);
    if (!codec.valid)
        return d->fail(QStringLiteral("Unknown text encoding \"%1\"").arg(d->codecName));
    if (!d->saveBytes(path,
                      [&](const Private::Sink& out) { return d->writeText(out, codec, document); }))
        return false;
    document->markSaved();
    return true;
}

bool TextFile::saveBytes(const QString& path, const QByteArray& bytes)
{
    d->reset();
    return d->saveBytes(
        path, [&bytes](const Private::Sink& out) { return out(bytes.constData(), bytes.size()); });
}

bool TextFile::Private::saveBytes(const QString& path, const Producer& produce)
{
    QByteArray target;
    if (!followLinks(QFile::encodeName(path), &target))
        return fail(errnoString(errno));
    struct stat st;
    const bool existed = ::stat(target.constData(), &st) == 0;
    // Replacing a device or a FIFO by a regular file would be worse than
    // not saving.
    if (existed && !S_ISREG(st.st_mode))
        return fail(S_ISDIR(st.st_mode) ? errnoString(EISDIR)
                                        : QStringLiteral("Not a regular file"));

    if (existed && st.st_nlink > 1) {
        // Every name of the file must see the saved text.
        return saveInPlace(target, produce);
    }
    const Outcome outcome = saveReplacing(target, existed ? &st : nullptr, produce);
    // A folder that takes no new file: a file there that may be written is
    // written in place.
    if (outcome == NoTemporary && existed && ::access(target.constData(), W_OK) == 0) {
        reset();
        return saveInPlace(target, produce);
    }
    return outcome == Saved;
}

} // namespace xqwidgets

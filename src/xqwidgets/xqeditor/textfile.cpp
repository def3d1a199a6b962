#include "xqwidgets/xqeditor/textfile.h"

#include "xqwidgets/helpers.h"
#include "xqwidgets/largepages.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textfile_p.h"
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

namespace textfileio
{

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

QString errnoString(int err)
{
    return QString::fromLocal8Bit(strerror(err));
}

QByteArray directoryOf(const QByteArray& path)
{
    const int slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

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

} // namespace textfileio

using namespace textfileio;

namespace
{

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

} // namespace

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

} // namespace xqwidgets

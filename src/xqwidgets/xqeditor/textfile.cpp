#include "textfile.h"

#include "textdoc.h"
#include "textline.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <optional>

#include <cerrno>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
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
    bool writeText(QSaveFile& out, const Codec& codec, TextDocument* doc);
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

bool TextFile::load(const QString& path, TextDocument* document)
{
    d->reset();
    const Codec codec = resolveCodec(d->codecName);
    if (!codec.valid)
        return d->fail(QStringLiteral("Unknown text encoding \"%1\"").arg(d->codecName));

    // Opened without blocking and checked on the open descriptor: a FIFO or
    // a device put in the file's place must not hang or feed the editor.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return d->fail(errnoString(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool isDir = S_ISDIR(st.st_mode);
        ::close(fd);
        return d->fail(isDir ? QStringLiteral("Is a directory")
                             : QStringLiteral("Not a regular file"));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
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
        text.resize(decoder.requiredSpace(qMax<qint64>(st.st_size, n)));
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

    document->loadText(std::move(text));
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
        if (probe.hasError() ||
            (codec.isUnicode() && unpairedSurrogate(QStringView(line).mid(i, len)) >= 0)) {
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

bool TextFile::Private::writeText(QSaveFile& out, const Codec& codec, TextDocument* doc)
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
                if (probe.hasError() || (unicode && unpairedSurrogate(line) >= 0)) {
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
        const qint64 n = end - bytes.constData();
        if (out.write(bytes.constData(), n) != n)
            return fail(out.errorString());
        return true;
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

bool TextFile::save(const QString& path, TextDocument* document)
{
    d->reset();
    if (document->isReadOnly())
        return d->fail(QStringLiteral("The document is read-only"));
    const Codec codec = resolveCodec(d->codecName);
    if (!codec.valid)
        return d->fail(QStringLiteral("Unknown text encoding \"%1\"").arg(d->codecName));

    // A link stays a link: its target is what gets replaced.
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink())
        target = info.exists() ? info.canonicalFilePath() : info.symLinkTarget();

    struct stat st;
    const bool existed = ::stat(QFile::encodeName(target).constData(), &st) == 0;
    // Replacing a device or a FIFO by a regular file would be worse than
    // not saving.
    if (existed && !S_ISREG(st.st_mode))
        return d->fail(S_ISDIR(st.st_mode) ? QStringLiteral("Is a directory")
                                           : QStringLiteral("Not a regular file"));

    QSaveFile out(target);
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly))
        return d->fail(out.errorString());
    if (existed) {
        // The new file takes the old one's owner and mode (owner first:
        // a change of owner clears the set-id bits). Where the owner cannot
        // be given away, the file still gets the mode.
        const int fd = out.handle();
        if (::fchown(fd, st.st_uid, st.st_gid) != 0)
            (void)!::fchown(fd, uid_t(-1), st.st_gid);
        (void)!::fchmod(fd, st.st_mode & 07777);
    }
    if (!d->writeText(out, codec, document)) {
        out.cancelWriting();
        return false;
    }
    if (!out.commit())
        return d->fail(out.errorString());
    document->documentChanged(false);
    return true;
}

} // namespace xqwidgets

#include "xqwidgets/xqeditor/textfile.h"

#include "xqwidgets/helpers.h"
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
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <optional>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xqwidgets
{

using namespace textfileio;

namespace
{

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

QByteArray fileNameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
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

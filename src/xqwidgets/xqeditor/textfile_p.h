#ifndef XQWIDGETS_TEXTFILE_P_H
#define XQWIDGETS_TEXTFILE_P_H

#include "xqwidgets/xqeditor/textfile.h"

#include <QByteArray>
#include <QString>
#include <QStringConverter>

#include <functional>
#include <optional>

#include <sys/stat.h>

// What reading (textfile.cpp) and saving (textfilesave.cpp) a file share:
// the encodings, the names of files, and the file's private record.
namespace xqwidgets
{

class TextDocument;

namespace textfileio
{

// Files are read and written in pieces of this size, so that a large file
// never exists twice in memory (bytes and text) and a save never builds the
// whole text as one string.
inline constexpr qsizetype kChunk = 1 << 20;
// Longest run of characters encoded at once; a longer line goes in slices.
inline constexpr qsizetype kSlice = 1 << 18;

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

Codec resolveCodec(const QString& name);
QString errnoString(int err);
QByteArray directoryOf(const QByteArray& path);
// The file a save must write, following symbolic links one by one: a link
// stays a link and its target is written, a dangling link gets its target
// made. False with errno when the name cannot be followed (a loop, a
// component that is no directory, no permission).
bool followLinks(const QByteArray& path, QByteArray* target);

} // namespace textfileio

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
    bool writeText(const Sink& out, const textfileio::Codec& codec, TextDocument* doc);
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
    void locateUnencodable(const textfileio::Codec& codec, const QString& line, int lineNo);
};

} // namespace xqwidgets

#endif

#ifndef XQWIDGETS_TEXTFILE_H
#define XQWIDGETS_TEXTFILE_H

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace xqwidgets
{

class TextDocument;

// Reads a file into a document and writes a document back to its file,
// through a text encoding, without ever losing data:
//
// - Loading takes regular files only (never blocks on a FIFO or a device),
//   decodes with the encoding, strips a byte-order mark and remembers it,
//   and counts byte sequences the encoding cannot decode. Such a document is
//   left read-only: saving it would replace those bytes by U+FFFD. A failed
//   load leaves the document as it was.
// - Saving encodes line by line with the document's terminator style and
//   final newline, writes the remembered byte-order mark, and refuses a
//   character the encoding cannot represent instead of writing a
//   substitute. The bytes go to a temporary file that replaces the old one
//   only when everything was written, so a failure anywhere leaves the old
//   file intact. The old file's mode and owner are kept; a symbolic link
//   stays a link and its target is written (a link loop is an error).
// - A file the temporary file cannot replace, because the directory takes
//   no new file or because the file has other names (hard links) that must
//   see the new text, is rewritten in place, and never left shorter or
//   mixed: the space is reserved first (none: nothing is touched), the old
//   bytes are copied to a folder of ours until the new ones are on the
//   disk, and put back after a failure; if even that fails, the error
//   names the copy.
// - Every failure names the system's reason.
// - A line longer than maxLineLength characters, or a file with more lines
//   than an int can count, is refused at load.
//
// Encodings are named: an empty name (or "System" or "Locale") is the
// locale's; UTF-8, UTF-16, UTF-32 (each also LE and BE) and ISO-8859-1 are
// built in; any other name the platform's converters know (ICU) is used
// through them. An unknown name makes load and save fail.
class TextFile
{
public:
    // The longest line the editor takes. Editing a line takes a copy of it
    // besides the loaded text and its colours, about five bytes a character
    // in all: 2^28 characters keep that near 1.3 GB, where a line of two
    // billion would need more than 12 GB at the first keystroke.
    static constexpr qint64 maxLineLength = qint64(1) << 28;

    TextFile();
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    // The encoding for the next load and save; empty for the locale's.
    QString codecName() const;
    void setCodecName(const QString& name);
    static bool isCodecAvailable(const QString& name);

    // Replaces the document's text by the file's (see above). On success
    // the document is not modified, and read-only when invalid bytes were
    // found.
    bool load(const QString& path, TextDocument* document);
    // Writes the document (see above). On success the document is no longer
    // modified; on failure nothing changed, neither the file nor the flag.
    // A read-only document is not saved.
    bool save(const QString& path, TextDocument* document);

    // The same for a file's bytes as they are, for files that are no text
    // document: the same checks and the same ways of writing, and the same
    // record of the file for changedOnDisk(). loadBytes refuses a file
    // larger than `maxSize` bytes (-1: any size) without reading it.
    bool loadBytes(const QString& path, QByteArray* bytes, qint64 maxSize = -1);
    bool saveBytes(const QString& path, const QByteArray& bytes);

    // Whether the file at `path`, when it is the one this object last read
    // or wrote, has since been changed by someone else (its size,
    // modification time or identity differ). A file that is gone has not
    // changed. Save does not ask this; its callers do.
    bool changedOnDisk(const QString& path) const;

    // Why the last load or save failed; empty after a success.
    QString errorString() const;

    // Invalid byte sequences found by the last load (0 when there were
    // none); a sequence cut off at the end of the file counts as one.
    qsizetype invalidCount() const;
    bool hasInvalidBytes() const { return invalidCount() > 0; }

    // Whether the file began with a byte-order mark; save writes one when
    // set and the encoding is a Unicode one.
    bool hasBom() const;
    void setBom(bool on);

    // After a save that failed on a character the encoding cannot
    // represent: its line and column; -1 otherwise.
    int errorLine() const;
    int errorColumn() const;

    // The copies of the old bytes that saves in place of `path` left
    // behind, oldest first: each from a save that did not finish (the
    // program or the machine stopped) or could not put the old bytes back.
    static QStringList savedCopies(const QString& path);

    // The steps of a save in place, for tests that stage a crash between
    // them: the hook (null for none) is called after each.
    enum class SaveStep { CopyMade, SpaceReserved, PieceWritten, Truncated, CopyPieceWritten };
    static void setStepHook(void (*hook)(SaveStep));

private:
    // load and loadBytes, which throw std::bad_alloc where memory runs out.
    bool readText(const QString& path, TextDocument* document);
    bool readBytes(const QString& path, QByteArray* bytes, qint64 maxSize);

    class Private;
    Private* d;
};

} // namespace xqwidgets

#endif

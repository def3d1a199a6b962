#ifndef VEXA_PROJECT_PROJECTFILE_H
#define VEXA_PROJECT_PROJECTFILE_H

#include <QDomDocument>
#include <QDomElement>
#include <QString>

#include <memory>

namespace xqwidgets
{
class TextFile;
}

namespace vexa
{

// Reading and writing project files, apart from any window.
//
// A project file is XML: a document type declaration, the root element and,
// as the root's first child element, the project element. The reader takes
// the root as the document element, so a leading XML declaration or comment
// is no obstacle, and text or comments ahead of the project element are
// skipped.
//
// An object stands for one project file: it remembers the file as it last
// read or wrote it, so that a change by another program shows before the
// file is written over. Reading and writing go the editors' way: regular
// files only, a save that replaces the file only once everything is written,
// and a file with other names (hard links) rewritten in place so that every
// name sees the new content.
class ProjectFile
{
public:
    ProjectFile();
    ~ProjectFile();
    ProjectFile(const ProjectFile&) = delete;
    ProjectFile& operator=(const ProjectFile&) = delete;

    enum ReadStatus {
        Read,
        // The file could not be opened for reading.
        CannotOpen,
        // Larger than maxSize: not read at all.
        TooLarge,
        // Not well-formed XML, a NUL byte outside a UTF-16/32 file, an entity
        // that expands beyond the XML reader's cap, elements nested deeper
        // than maxDepth, or a processing instruction whose target the XML
        // reader takes only where nothing follows it.
        NotXml,
        // No root element, or a root without a child element.
        WrongContents
    };
    enum WriteStatus { Written, CannotCreate, CannotWrite };

    // Deeper documents are refused: every walk over a project is recursive.
    // The depth counts elements from the document element (1) down, and
    // everything that adds nodes to a project keeps within it, so that a
    // project the program built always loads again.
    static constexpr int maxDepth = 256;
    // The version of the format the program writes and fully understands.
    static constexpr int formatVersion = 8;
    // Larger files are refused unread. The document in memory takes about
    // 80 times the file's size, the time to build it grows faster than the
    // size, and the project reopened at every start must not hold the start
    // for long. A project of 100,000 files takes about 5 MiB.
    static constexpr qint64 maxSize = qint64(8) << 20;

    // Reads the file into `doc` and sets `project` to its project element.
    // On failure `doc` and `project` are left as they were; errorString()
    // says why the file could not be opened.
    ReadStatus read(const QString& path, QDomDocument& doc, QDomElement& project);
    // Writes serialize(doc) to `path`; on failure the old file is untouched
    // and `error` says why.
    WriteStatus write(const QDomDocument& doc, const QString& path, QString* error);
    // Whether the file at `path`, the one this object last read or wrote,
    // has been changed or replaced by another program since. A file that is
    // gone has not changed.
    bool changedOnDisk(const QString& path) const;
    QString errorString() const;

    // Parses bytes as read() does.
    static ReadStatus parse(const QByteArray& bytes, QDomDocument& doc, QDomElement& project);
    // The bytes written for a document: UTF-8, one space of indentation per
    // level. The XML declaration, when the document has one, names UTF-8 in
    // what is written, whatever encoding the file was read in.
    static QByteArray serialize(const QDomDocument& doc);

    // Removes the marks that are not written: the attribute "open" from every
    // element below `project`, and every element below it whose "type" is
    // "temp", with its contents. The project element itself is left as it is.
    // Returns the number of elements removed.
    static int strip(QDomElement project);

    // The "version" attribute as a number: an empty or malformed value gives
    // 0, "inf" and values too large for a double give infinity, "nan" NaN.
    static double version(const QString& text);
    // Whether a file of that version was written by a later program: its
    // integer part exceeds formatVersion (NaN does not, infinity does).
    static bool isNewer(const QString& text);

private:
    std::unique_ptr<xqwidgets::TextFile> file;
};

} // namespace vexa

#endif

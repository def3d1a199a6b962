#ifndef VEXA_PROJECT_PROJECTFILE_H
#define VEXA_PROJECT_PROJECTFILE_H

#include <QDomDocument>
#include <QDomElement>
#include <QString>

namespace vexa
{

// Reading and writing project files, apart from any window.
//
// A project file is XML: a document type declaration, the root element and,
// as the root's first child element, the project element. The reader takes
// the root as the document element, so a leading XML declaration or comment
// is no obstacle, and text or comments ahead of the project element are
// skipped.
class ProjectFile
{
public:
    ProjectFile() = delete;

    enum ReadStatus {
        Read,
        // The file could not be opened for reading.
        CannotOpen,
        // Not well-formed XML, a NUL byte outside a UTF-16/32 file, an entity
        // that expands beyond the XML reader's cap, or elements nested deeper
        // than maxDepth.
        NotXml,
        // No root element, or a root without a child element.
        WrongContents
    };
    enum WriteStatus { Written, CannotCreate, CannotWrite };

    // Deeper documents are refused: every walk over a project is recursive.
    static constexpr int maxDepth = 256;
    // The version of the format the program writes and fully understands.
    static constexpr int formatVersion = 8;

    // Reads the file into `doc` and sets `project` to its project element.
    // On failure `doc` and `project` are left as they were.
    static ReadStatus read(const QString& path, QDomDocument& doc, QDomElement& project);
    // Parses bytes as read() does.
    static ReadStatus parse(const QByteArray& bytes, QDomDocument& doc, QDomElement& project);

    // Removes the marks that are not written: the attribute "open" from every
    // element below `project`, and every element below it whose "type" is
    // "temp", with its contents. The project element itself is left as it is.
    // Returns the number of elements removed.
    static int strip(QDomElement project);

    // Writes the whole document (one space of indentation per level) to
    // `path` through a temporary file that replaces the old one only once
    // everything is written; on failure the old file is untouched and
    // `error` says why.
    static WriteStatus write(const QDomDocument& doc, const QString& path, QString* error);

    // The "version" attribute as a number: an empty or malformed value gives
    // 0, "inf" and values too large for a double give infinity, "nan" NaN.
    static double version(const QString& text);
    // Whether a file of that version was written by a later program: its
    // integer part exceeds formatVersion (NaN does not, infinity does).
    static bool isNewer(const QString& text);
};

} // namespace vexa

#endif

#include "vexa/project/projectfile.h"

#include "xqwidgets/xqeditor/textfile.h"

#include <QDomProcessingInstruction>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <cmath>
#include <new>

namespace vexa
{

namespace
{

// XML has no NUL character, but the reader lets one through in places, and
// the document it builds would then be written as a file that no longer
// loads. A file in UTF-16 or UTF-32 (with its byte order mark) has NUL bytes
// of its encoding and is left to the reader.
bool hasStrayNul(const QByteArray& bytes)
{
    if (bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff") ||
        bytes.startsWith(QByteArray("\0\0\xfe\xff", 4)))
        return false;
    return bytes.contains('\0');
}

// Whether a processing instruction loads again as the writer writes it,
// with a space after the target. The reader takes an invalid target (one
// with a control character, say) when "?>" follows it at once, and refuses
// the same target before a space.
bool readsBack(QStringView target, QStringView data)
{
    QXmlStreamReader reader(QStringLiteral("<r><?%1 %2?></r>").arg(target, data));
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

// Whether the elements nest no deeper than the cap and every processing
// instruction would load again once written. The XML reader also enforces
// its own cap on entity expansion, so an entity bomb ends here too.
bool acceptable(const QByteArray& bytes)
{
    QXmlStreamReader reader(bytes);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > ProjectFile::maxDepth)
                return false;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::ProcessingInstruction:
            if (!readsBack(reader.processingInstructionTarget(),
                           reader.processingInstructionData()))
                return false;
            break;
        default:
            break;
        }
    }
    return !reader.hasError();
}

int stripChildren(QDomNode node)
{
    int removed = 0;
    QDomNode child = node.firstChild();
    while (!child.isNull()) {
        const QDomNode next = child.nextSibling();
        QDomElement e = child.toElement();
        if (!e.isNull()) {
            e.removeAttribute(QStringLiteral("open"));
            removed += stripChildren(e);
            if (e.attribute(QStringLiteral("type")) == QLatin1String("temp")) {
                node.removeChild(e);
                ++removed;
            }
        }
        child = next;
    }
    return removed;
}

} // namespace

ProjectFile::ProjectFile() : file(std::make_unique<xqwidgets::TextFile>()) {}

ProjectFile::~ProjectFile() = default;

ProjectFile::ReadStatus ProjectFile::read(const QString& path, QDomDocument& doc,
                                          QDomElement& project)
{
    const QFileInfo info(path);
    if (info.isFile() && info.size() > maxSize)
        return TooLarge;
    // The bound holds also for a file that grew since it was looked at.
    QByteArray bytes;
    if (!file->loadBytes(path, &bytes, maxSize))
        return CannotOpen;
    try {
        return parse(bytes, doc, project);
    } catch (const std::bad_alloc&) {
        // Its tree takes several times the file's size: the project that
        // is open stays.
        return CannotOpen;
    }
}

ProjectFile::WriteStatus ProjectFile::write(const QDomDocument& doc, const QString& path,
                                            QString* error)
{
    if (file->saveBytes(path, serialize(doc)))
        return Written;
    if (error)
        *error = file->errorString();
    // Whether there was no way to write at all (the name is taken by
    // something else than a file, or neither the file nor its folder may be
    // written), or the writing itself failed.
    const QFileInfo info(path);
    const bool writable = (info.isFile() && info.isWritable()) ||
                          (!info.exists() && QFileInfo(info.absolutePath()).isWritable()) ||
                          (info.isFile() && QFileInfo(info.absolutePath()).isWritable());
    return writable ? CannotWrite : CannotCreate;
}

bool ProjectFile::changedOnDisk(const QString& path) const
{
    return file->changedOnDisk(path);
}

QString ProjectFile::errorString() const
{
    return file->errorString();
}

ProjectFile::ReadStatus ProjectFile::parse(const QByteArray& bytes, QDomDocument& doc,
                                           QDomElement& project)
{
    if (hasStrayNul(bytes) || !acceptable(bytes))
        return NotXml;
    QDomDocument parsed;
    if (!parsed.setContent(bytes, false))
        return NotXml;
    const QDomElement p = parsed.documentElement().firstChildElement();
    if (p.isNull())
        return WrongContents;
    doc = parsed;
    project = p;
    return Read;
}

int ProjectFile::strip(QDomElement project)
{
    return project.isNull() ? 0 : stripChildren(project);
}

QByteArray ProjectFile::serialize(const QDomDocument& doc)
{
    // Qt writes the text in UTF-8 under whatever encoding the declaration
    // names: the declaration is made to name UTF-8 for the writing, so that
    // every name reads back as it was.
    QDomProcessingInstruction declaration = doc.firstChild().toProcessingInstruction();
    if (declaration.isNull() || declaration.target() != QLatin1String("xml"))
        return doc.toByteArray(1);
    static const QRegularExpression encoding(
        QStringLiteral("encoding\\s*=\\s*(\"[^\"]*\"|'[^']*')"));
    const QString data = declaration.data();
    QString utf8 = data;
    utf8.replace(encoding, QStringLiteral("encoding='UTF-8'"));
    declaration.setData(utf8);
    const QByteArray bytes = doc.toByteArray(1);
    declaration.setData(data);
    return bytes;
}

double ProjectFile::version(const QString& text)
{
    // The C locale's number syntax whatever the user's locale; a value out of
    // range comes back as infinity with ok false.
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok || std::isinf(v) ? v : 0;
}

bool ProjectFile::isNewer(const QString& text)
{
    return std::trunc(version(text)) > formatVersion;
}

} // namespace vexa

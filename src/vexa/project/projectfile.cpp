#include "vexa/project/projectfile.h"

#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>

#include <cmath>

namespace vexa
{

namespace
{

// Whether the elements nest no deeper than the cap. The XML reader also
// enforces its own cap on entity expansion, so an entity bomb ends here too.
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

bool shallowEnough(const QByteArray& bytes)
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

ProjectFile::ReadStatus ProjectFile::read(const QString& path, QDomDocument& doc,
                                          QDomElement& project)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return CannotOpen;
    return parse(f.readAll(), doc, project);
}

ProjectFile::ReadStatus ProjectFile::parse(const QByteArray& bytes, QDomDocument& doc,
                                           QDomElement& project)
{
    if (hasStrayNul(bytes) || !shallowEnough(bytes))
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

ProjectFile::WriteStatus ProjectFile::write(const QDomDocument& doc, const QString& path,
                                            QString* error)
{
    QSaveFile f(path);
    // Unbuffered: a short write (a full disk, a file size limit) shows in the
    // count write() returns. Through the buffer it would be lost in the
    // flush, and a cut file would be committed as complete.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = f.errorString();
        return CannotCreate;
    }
    const QByteArray bytes = doc.toByteArray(1);
    if (f.write(bytes) != bytes.size()) {
        if (error)
            *error = f.errorString();
        f.cancelWriting();
        f.commit();
        return CannotWrite;
    }
    if (!f.commit()) {
        if (error)
            *error = f.errorString();
        return CannotWrite;
    }
    return Written;
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

#include "projectfuzz.h"

#include "vexa/project/projectfile.h"

#include <QByteArray>

#include <cstdio>
#include <cstdlib>

using vexa::ProjectFile;

namespace
{

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "project fuzz: %s\n", what);
        std::abort();
    }
}

int depthBelow(const QDomNode& n)
{
    int deepest = 0;
    for (QDomNode c = n.firstChild(); !c.isNull(); c = c.nextSibling())
        if (c.isElement())
            deepest = qMax(deepest, 1 + depthBelow(c));
    return deepest;
}

bool marksLeft(const QDomNode& n)
{
    for (QDomNode c = n.firstChild(); !c.isNull(); c = c.nextSibling()) {
        const QDomElement e = c.toElement();
        if (e.isNull())
            continue;
        if (e.hasAttribute(QStringLiteral("open")) ||
            e.attribute(QStringLiteral("type")) == QLatin1String("temp") || marksLeft(e))
            return true;
    }
    return false;
}

// The same elements with the same attributes, in the same order. Text is
// left out: the writer's indentation adds line breaks to text that stands
// between elements, so mixed content grows by whitespace from save to save.
bool sameElements(const QDomNode& a, const QDomNode& b)
{
    QDomElement x = a.firstChildElement();
    QDomElement y = b.firstChildElement();
    for (; !x.isNull() && !y.isNull(); x = x.nextSiblingElement(), y = y.nextSiblingElement()) {
        if (x.tagName() != y.tagName() || x.attributes().count() != y.attributes().count())
            return false;
        const QDomNamedNodeMap attrs = x.attributes();
        for (int i = 0; i < attrs.count(); ++i) {
            const QDomAttr attr = attrs.item(i).toAttr();
            if (y.attribute(attr.name(), QStringLiteral("\x01missing")) != attr.value())
                return false;
        }
        if (!sameElements(x, y))
            return false;
    }
    return x.isNull() && y.isNull();
}

} // namespace

int fuzzProjectFile(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QDomDocument doc;
    QDomElement project;
    if (ProjectFile::parse(bytes, doc, project) != ProjectFile::Read) {
        check(project.isNull(), "a refused file set a project element");
        return 0;
    }
    check(!project.isNull(), "no project element");
    check(project.parentNode() == doc.documentElement(), "project element not below the root");
    check(depthBelow(doc) <= ProjectFile::maxDepth, "nesting beyond the cap");
    ProjectFile::version(project.attribute(QStringLiteral("version")));
    ProjectFile::isNewer(project.attribute(QStringLiteral("version")));

    ProjectFile::strip(project);
    check(!marksLeft(project), "marks left after stripping");

    // What the program writes, byte for byte, must load again.
    const QByteArray first = ProjectFile::serialize(doc);
    QDomDocument again;
    QDomElement againProject;
    check(ProjectFile::parse(first, again, againProject) == ProjectFile::Read,
          "a written project does not load again");
    check(sameElements(doc, again), "a written project loads as another document");
    return 0;
}

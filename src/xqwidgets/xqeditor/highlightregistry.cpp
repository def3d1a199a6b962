#include "xqwidgets/xqeditor/highlight.h"

#include "xqwidgets/xqeditor/highlight_p.h"
#include "xqwidgets/xqeditor/highlightregistry_p.h"
#include "xqwidgets/xqeditor/highlights_emb.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace xqwidgets
{

const QString no_highlight_xml =
    QStringLiteral("<!DOCTYPE Highlight>\n"
                   "<Highlight wildcards=\"\" name=\"NoHighlight\">\n"
                   " <Items>\n"
                   "  <Text color=\"#000000\"/>\n"
                   " </Items>\n"
                   " <Break>\n"
                   "  <normal>\n"
                   "   <citem item=\"\" regexp=\"$\" mode=\"until\"/>\n"
                   "  </normal>\n"
                   " </Break>\n"
                   " <Contents>\n"
                   "  <normal>\n"
                   "   <citem item=\"Text\" regexp=\"$\" mode=\"until\"/>\n"
                   "  </normal>\n"
                   " </Contents>\n"
                   "</Highlight>");

namespace highlightregistry
{

namespace
{

QDomDocument parseDocument(const QByteArray& data)
{
    QDomDocument doc;
    if (!doc.setContent(data))
        return QDomDocument();
    return doc;
}

} // namespace

const QDomDocument& fallbackDocument()
{
    static const QDomDocument doc = parseDocument(no_highlight_xml.toUtf8());
    return doc;
}

QHash<QString, quint64>& definitionSerials()
{
    static QHash<QString, quint64> serials;
    return serials;
}

QHash<QString, QDomDocument>& highlightDict()
{
    static QHash<QString, QDomDocument> dict;
    return dict;
}

QDomDocument loadDocument(const QString& name, TextEditorManager* manager)
{
    const QString dir = manager ? manager->resourcesDir() : QString();
    // Without a resource directory no file is read: a relative name would
    // otherwise resolve against whatever the current directory is.
    if (!name.isEmpty() && (QDir::isAbsolutePath(name) || !dir.isEmpty())) {
        const QString path = findHighlightPath(name, dir);
        QFile file(path);
        if (!QFileInfo(path).isDir() && file.open(QIODevice::ReadOnly))
            return parseDocument(file.readAll());
    }
    const QByteArray& data = qembed_findData(name.toUtf8().constData());
    if (!data.isEmpty())
        return parseDocument(data);
    return fallbackDocument();
}
} // namespace highlightregistry

using namespace highlightregistry;

namespace
{

// Qt's classic string dictionary: 17 buckets, hashed on the low byte of each
// character. The registry keeps its iteration order (see HighlightDict).
int classicBucket(const QString& key)
{
    uint h = 0;
    for (const QChar c : key) {
        h = (h << 4) + c.cell();
        const uint g = h & 0xf0000000;
        if (g)
            h ^= g >> 24;
        h &= ~g;
    }
    return int(h % 17);
}

const char* const kBuiltinKeys[] = {"cfm",   "ch",    "cpp",    "dtml",  "html",   "java", "jsp",
                                    "perl",  "php",   "python", "ruby",  "tex",    "xml",  "db2",
                                    "mysql", "pgsql", "plsql",  "sbsql", "msssql", "sql"};

HighlightDict* g_registry = nullptr;

} // namespace

void forgetHighlightDefinition(const QString& key)
{
    highlightDict().remove(key);
    definitionSerials().remove(key);
}

// ---- registry

HighlightDict::~HighlightDict()
{
    qDeleteAll(m_entries);
}

HighlightData* HighlightDict::find(const QString& name) const
{
    HighlightData* found = nullptr;
    int newest = -1;
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i)->name == name && m_serials.at(i) > newest) {
            found = m_entries.at(i);
            newest = m_serials.at(i);
        }
    }
    return found;
}

void HighlightDict::insert(HighlightData* data)
{
    // Matching order is that of Qt's classic string dictionary, bucket by
    // bucket with the newest entry first in its bucket. Several definitions
    // share masks (seven share "*.sql"); this order, fixed by the display
    // names alone, decides between them, so ".sql" files get "PG/SQL".
    const int bucket = classicBucket(data->name);
    int at = 0;
    while (at < m_entries.size() && classicBucket(m_entries.at(at)->name) < bucket)
        ++at;
    m_entries.insert(at, data);
    m_serials.insert(at, m_inserted++);
}

HighlightDict* TextHighlightManager::highlights(TextEditorManager* manager)
{
    if (g_registry)
        return g_registry;
    g_registry = new HighlightDict;

    const QString dir = manager ? manager->resourcesDir() : QString();
    QStringList entries;
    if (!dir.isEmpty() && QFileInfo(dir).isDir()) {
        entries = QDir(dir, QString(), QDir::Name | QDir::IgnoreCase, QDir::Files)
                      .entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    }
    for (const char* key : kBuiltinKeys) {
        const QString name = QLatin1String(key);
        if (!entries.contains(name))
            entries.append(QLatin1Char('+') + name);
    }
    entries.append(QStringLiteral("+nohighlight"));

    const HighlightSettings settings(manager);
    while (!entries.isEmpty()) {
        const QString entry = entries.takeFirst();
        entries.removeAll(entry);
        QDomDocument doc;
        QString path = entry;
        if (entry.startsWith(QLatin1Char('+'))) {
            path = entry.mid(1);
            doc = parseDocument(qembed_findData(path.toUtf8().constData()));
        } else {
            QFile file(findHighlightPath(entry, dir));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            doc = parseDocument(file.readAll());
            if (doc.documentElement().attribute(QStringLiteral("name")) ==
                QLatin1String("NoHighlight"))
                continue; // a file cannot replace the default definition
        }
        const QDomElement root = doc.documentElement();
        const QString name = root.attribute(QStringLiteral("name"));
        if (name.isEmpty())
            continue;
        auto* data = new HighlightData;
        data->name = name;
        data->path = path;
        data->mask = settings.value(kSettingsRoot + name + QLatin1String(" wildcards"),
                                    root.attribute(QStringLiteral("wildcards")));
        g_registry->insert(data);
    }
    return g_registry;
}

namespace
{

// The entry whose masks match `fileName` first, else "NoHighlight" (null
// when the registry has neither).
const HighlightData* entryForFileName(TextEditorManager* manager, const QString& fileName)
{
    const HighlightDict* dict = TextHighlightManager::highlights(manager);
    for (const HighlightData* data : dict->entries()) {
        if (TextHighlightManager::matchMask(data->mask, fileName))
            return data;
    }
    return dict->find(QStringLiteral("NoHighlight"));
}

} // namespace

TextHighlight* TextHighlightManager::findHighlight(TextEditorManager* manager,
                                                   const QString& fileName)
{
    const HighlightData* data = entryForFileName(manager, fileName);
    return new TextHighlight(data ? data->path : QStringLiteral("nohighlight"), manager);
}

QString TextHighlightManager::findHighlightName(TextEditorManager* manager, const QString& fileName)
{
    const HighlightData* data = entryForFileName(manager, fileName);
    if (!data) {
        const std::unique_ptr<TextHighlight> hl(findHighlight(manager, fileName));
        return hl->name();
    }
    return data->name;
}

TextHighlight* TextHighlightManager::highlight(TextEditorManager* manager, const QString& name)
{
    const HighlightDict* dict = highlights(manager);
    const HighlightData* data = name.isEmpty() ? nullptr : dict->find(name);
    if (!data)
        data = dict->find(QStringLiteral("NoHighlight"));
    return new TextHighlight(data ? data->path : QStringLiteral("nohighlight"), manager);
}

QStringList TextHighlightManager::highlightNames(TextEditorManager* manager)
{
    QStringList names;
    for (const HighlightData* data : highlights(manager)->entries()) {
        if (!names.contains(data->name))
            names.append(data->name);
    }
    names.sort();
    return names;
}

QStringList TextHighlightManager::splitMask(const QString& mask)
{
    QChar separator;
    if (mask.contains(QLatin1Char(';')))
        separator = QLatin1Char(';');
    else if (mask.contains(QLatin1Char(' ')))
        separator = QLatin1Char(' ');
    QStringList patterns;
    const QStringList pieces = separator.isNull() ? QStringList{mask} : mask.split(separator);
    for (const QString& piece : pieces) {
        const QString p = piece.trimmed();
        if (!p.isEmpty())
            patterns.append(p);
    }
    return patterns;
}

bool TextHighlightManager::matchMask(const QString& mask, const QString& fileName)
{
    const QStringList patterns = splitMask(mask);
    for (const QString& p : patterns) {
        if (matchWildcard(p, fileName))
            return true;
    }
    return false;
}

namespace
{

// Matches the pattern element at `p` against `c` and moves `p` past it.
bool elementMatches(QStringView pattern, qsizetype& p, QChar c)
{
    const QChar e = pattern.at(p);
    if (e == u'?') {
        ++p;
        return true;
    }
    if (e == u'[') {
        qsizetype i = p + 1;
        const bool negated = i < pattern.size() && (pattern.at(i) == u'!' || pattern.at(i) == u'^');
        if (negated)
            ++i;
        qsizetype close = i < pattern.size() && pattern.at(i) == u']' ? i + 1 : i;
        while (close < pattern.size() && pattern.at(close) != u']')
            ++close;
        if (close < pattern.size()) {
            bool in = false;
            for (qsizetype k = i; k < close; ++k) {
                if (k + 2 < close && pattern.at(k + 1) == u'-') {
                    in = in || (c >= pattern.at(k) && c <= pattern.at(k + 2));
                    k += 2;
                } else {
                    in = in || c == pattern.at(k);
                }
            }
            p = close + 1;
            return in != negated;
        }
        // An unclosed bracket is an ordinary character.
    }
    ++p;
    return e == c;
}

} // namespace

bool TextHighlightManager::matchWildcard(QStringView pattern, QStringView name)
{
    qsizetype p = 0;
    qsizetype s = 0;
    qsizetype starP = -1;
    qsizetype starS = 0;
    while (s < name.size()) {
        if (p < pattern.size() && pattern.at(p) == u'*') {
            starP = ++p;
            starS = s;
            continue;
        }
        qsizetype next = p;
        if (p < pattern.size() && elementMatches(pattern, next, name.at(s))) {
            p = next;
            ++s;
            continue;
        }
        if (starP < 0)
            return false;
        p = starP;
        s = ++starS;
    }
    while (p < pattern.size() && pattern.at(p) == u'*')
        ++p;
    return p == pattern.size();
}

QString findHighlightPath(const QString& name, const QString& dir)
{
    if (QDir::isAbsolutePath(name))
        return name;
    if (dir.endsWith(QLatin1Char('/')))
        return dir + name;
    return dir + QLatin1Char('/') + name;
}

} // namespace xqwidgets

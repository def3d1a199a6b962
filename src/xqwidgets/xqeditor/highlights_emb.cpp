#include "xqwidgets/xqeditor/highlights_emb.h"

#include <QHash>
#include <QResource>

#include <cstring>

static void initHighlightResources()
{
    // The resources live in a static library: without this reference the
    // linker would leave them out of the program.
    Q_INIT_RESOURCE(highlights);
}

namespace xqwidgets
{

const char* const embed_keys[] = {"cfm",  "ch",    "cpp",    "db2",         "dtml", "html",
                                  "java", "jsp",   "mysql",  "nohighlight", "perl", "pgsql",
                                  "php",  "plsql", "python", "ruby",        "sql",  "tex",
                                  "xml",  "sbsql", "msssql", nullptr};

const QByteArray& qembed_findData(const char* name)
{
    static QHash<QByteArray, QByteArray> cache;
    static const QByteArray none;
    if (!name)
        return none;
    const auto hit = cache.constFind(QByteArray::fromRawData(name, int(std::strlen(name))));
    if (hit != cache.constEnd())
        return *hit;
    for (const char* const* key = embed_keys; *key; ++key) {
        if (std::strcmp(*key, name) != 0)
            continue;
        static bool initialised = false;
        if (!initialised) {
            initHighlightResources();
            initialised = true;
        }
        const QResource resource(
            QStringLiteral(":/xqeditor/highlights/%1.xml").arg(QLatin1String(*key)));
        const QByteArray data = resource.uncompressedData();
        if (data.isEmpty())
            return none;
        return *cache.insert(QByteArray(*key), data);
    }
    return none;
}

} // namespace xqwidgets

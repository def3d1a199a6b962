#include "highlightfuzz.h"

#include "highlight.h"
#include "highlight_p.h"
#include "highlights_emb.h"
#include "textline.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace xqwidgets;

namespace
{

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "highlight fuzz: %s\n", what);
        std::abort();
    }
}

QString definitionPath()
{
    static const QString path =
        QDir::temp().filePath(QStringLiteral("vexa-fuzz-definition-%1.xml")
                                  .arg(QString::number(QCoreApplication::applicationPid())));
    return path;
}

} // namespace

int fuzzHighlight(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t flags = data[0];
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    qsizetype left = qsizetype(size - 1);

    std::unique_ptr<TextHighlight> hl;
    if (flags & 1) {
        const char* nul = static_cast<const char*>(std::memchr(bytes, 0, size_t(left)));
        const qsizetype defSize = nul ? nul - bytes : left;
        const QString path = definitionPath();
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(bytes, defSize);
        file.close();
        forgetHighlightDefinition(path);
        hl = std::make_unique<TextHighlight>(path, nullptr);
        bytes += defSize;
        left -= defSize;
        if (left > 0) {
            ++bytes;
            --left;
        }
    } else {
        int keys = 0;
        while (embed_keys[keys])
            ++keys;
        hl = std::make_unique<TextHighlight>(QLatin1String(embed_keys[uint8_t(*bytes) % keys]),
                                             nullptr);
        ++bytes;
        --left;
    }

    QString text;
    if (flags & 2)
        text = QString(reinterpret_cast<const QChar*>(bytes), left / 2);
    else
        text = QString::fromUtf8(bytes, left);
    const QStringList lines = text.split(QLatin1Char('\n'));

    std::vector<std::unique_ptr<TextLine>> doc;
    int ctx = 0;
    for (const QString& s : lines) {
        doc.push_back(std::make_unique<TextLine>(s));
        ctx = hl->doHighlight(ctx, doc.back().get());
        check(ctx >= 0 && ctx < TextHighlight::MaxIds, "end context out of range");
        check(doc.back()->highlightContext() >= 0, "start context lost");
        doc.back()->setContext(ctx);
    }
    for (const auto& line : doc) {
        hl->highlight(line.get());
        check(line->isHighlighted(), "line not marked highlighted");
        for (uint i = 0; i < uint(line->size()); ++i) {
            const int id = line->attribute(i);
            check(id == 0 || hl->attribute(id), "attribute id without an attribute");
        }
    }
    return 0;
}

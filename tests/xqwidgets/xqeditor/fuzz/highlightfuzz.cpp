#include "highlightfuzz.h"

#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/highlight_p.h"
#include "xqwidgets/xqeditor/highlights_emb.h"
#include "xqwidgets/xqeditor/textline.h"

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

QString definitionPath()
{
    static const QString path =
        QDir::temp().filePath(QStringLiteral("vexa-fuzz-definition-%1.xml")
                                  .arg(QString::number(QCoreApplication::applicationPid())));
    return path;
}

} // namespace

const char* highlightFuzzFailure(const uint8_t* data, size_t size)
{
    if (size < 2)
        return nullptr;
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
            return "cannot write the definition file";
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
        const int start = ctx;
        // A pass that runs out of time goes on where it stopped when run
        // again; every run gets further, and the line is given up in the end.
        for (int runs = 0; (ctx = hl->doHighlight(start, doc.back().get())) < 0; ++runs) {
            if (runs > 1000000)
                return "context pass never ends";
        }
        if (ctx >= TextHighlight::MaxIds)
            return "end context out of range";
        // The line keeps the context it started in, for the colouring pass.
        if (doc.back()->highlightContext() != start)
            return "start context lost";
        doc.back()->setContext(ctx);
    }
    for (const auto& line : doc) {
        hl->highlight(line.get());
        for (int runs = 0; line->highlightCut(TextLine::ColouringPass); ++runs) {
            if (runs > 1000000)
                return "colouring pass never ends";
            hl->highlight(line.get());
        }
        if (!line->isHighlighted())
            return "line not marked highlighted";
        for (uint i = 0; i < uint(line->size()); ++i) {
            const int id = line->attribute(i);
            if (id != 0 && !hl->attribute(id))
                return "attribute id without an attribute";
        }
    }
    return nullptr;
}

int fuzzHighlight(const uint8_t* data, size_t size)
{
    if (const char* failure = highlightFuzzFailure(data, size)) {
        std::fprintf(stderr, "highlight fuzz: %s\n", failure);
        std::abort();
    }
    return 0;
}

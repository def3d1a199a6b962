#include "vexa/messages/messagemarkup.h"

namespace vexa
{
namespace markup
{

namespace
{

struct Tag {
    qsizetype pos = 0;
    qsizetype length = 0;
    bool background = false;
    // An escaped tag: a "#" and `value` are shown as they are, in the
    // current colours.
    bool escape = false;
    // A view into the text searched.
    QStringView value;
};

const QLatin1String colorTag("#color{");
const QLatin1String bgcolorTag("#bgcolor{");
const QLatin1String colorName("color{");
const QLatin1String bgcolorName("bgcolor{");

// The next tag at or after `from`: "#color{" or "#bgcolor{", the shortest run
// of characters and the first closing brace after it; or an escaped tag, a
// backslash more between the "#" and the name than the text shows. Searched by hand rather than
// with a minimal-matching expression so that a long row full of unclosed tags costs one pass
// instead of one pass per tag.
bool nextTag(const QString& s, qsizetype from, Tag* tag)
{
    // Once a tag has no closing brace, no later one has: only escapes remain.
    bool unclosed = false;
    for (qsizetype i = s.indexOf(QLatin1Char('#'), from); i >= 0;
         i = s.indexOf(QLatin1Char('#'), i + 1)) {
        const QStringView rest = QStringView(s).mid(i);
        // "#", one or more backslashes and a tag's name and brace: an escape.
        qsizetype k = 1;
        while (k < rest.size() && rest.at(k) == QLatin1Char('\\'))
            ++k;
        if (k > 1) {
            const QStringView name = rest.mid(k);
            const qsizetype nameLength = name.startsWith(colorName)     ? colorName.size()
                                         : name.startsWith(bgcolorName) ? bgcolorName.size()
                                                                        : 0;
            if (nameLength > 0) {
                tag->pos = i;
                tag->length = k + nameLength;
                tag->background = false;
                tag->escape = true;
                tag->value = rest.mid(2, k - 2 + nameLength);
                return true;
            }
            continue;
        }
        if (unclosed)
            continue;
        qsizetype open = -1;
        bool background = false;
        if (rest.startsWith(colorTag)) {
            open = i + colorTag.size();
        } else if (rest.startsWith(bgcolorTag)) {
            open = i + bgcolorTag.size();
            background = true;
        }
        if (open < 0)
            continue;
        const qsizetype close = s.indexOf(QLatin1Char('}'), open);
        if (close < 0) {
            unclosed = true;
            continue;
        }
        tag->pos = i;
        tag->length = close + 1 - i;
        tag->background = background;
        tag->escape = false;
        tag->value = QStringView(s).mid(open, close - open);
        return true;
    }
    return false;
}

} // namespace

QString color(QStringView value)
{
    return colorTag + value.toString() + QLatin1Char('}');
}

QString background(QStringView value)
{
    return bgcolorTag + value.toString() + QLatin1Char('}');
}

QString strip(const QString& raw)
{
    QString shown;
    qsizetype from = 0;
    Tag tag;
    while (nextTag(raw, from, &tag)) {
        if (shown.isNull())
            shown.reserve(raw.size());
        shown += QStringView(raw).mid(from, tag.pos - from);
        if (tag.escape) {
            shown += QLatin1Char('#');
            shown += tag.value;
        }
        from = tag.pos + tag.length;
    }
    // A row without tags shows its raw text, shared rather than copied.
    if (from == 0)
        return raw;
    shown += QStringView(raw).mid(from);
    return shown;
}

QString escape(const QString& text)
{
    if (!text.contains(QLatin1Char('#')))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    appendEscaped(&out, text);
    return out;
}

void appendEscaped(QString* out, QStringView text)
{
    qsizetype from = 0;
    for (qsizetype i = text.indexOf(QLatin1Char('#')); i >= 0;
         i = text.indexOf(QLatin1Char('#'), i + 1)) {
        qsizetype k = i + 1;
        while (k < text.size() && text.at(k) == QLatin1Char('\\'))
            ++k;
        const QStringView name = text.mid(k);
        if (name.startsWith(colorName) || name.startsWith(bgcolorName)) {
            out->append(text.mid(from, i + 1 - from));
            out->append(QLatin1Char('\\'));
            from = i + 1;
        }
    }
    out->append(text.mid(from));
}

QList<MessageSegment> parse(const QString& raw)
{
    QList<MessageSegment> segments;
    QColor color;
    QColor background;
    // The text of the run in progress: escaped tags join it as plain text.
    QString run;
    auto flush = [&]() {
        if (!run.isEmpty())
            segments.append({run, color, background});
        run.clear();
    };
    qsizetype from = 0;
    Tag tag;
    while (nextTag(raw, from, &tag)) {
        run += QStringView(raw).mid(from, tag.pos - from);
        from = tag.pos + tag.length;
        if (tag.escape) {
            run += QLatin1Char('#');
            run += tag.value;
            continue;
        }
        flush();
        // A value that names no colour switches back to the list's own
        // colours: no fill for the background, the normal text colour.
        const QColor value = QColor::fromString(tag.value);
        if (tag.background)
            background = value;
        else
            color = value;
    }
    run += QStringView(raw).mid(from);
    flush();
    return segments;
}

} // namespace markup
} // namespace vexa

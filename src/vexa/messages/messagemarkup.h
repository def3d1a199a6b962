#ifndef VEXA_MESSAGES_MESSAGEMARKUP_H
#define VEXA_MESSAGES_MESSAGEMARKUP_H

#include <QColor>
#include <QList>
#include <QString>
#include <QStringView>

namespace vexa
{

// A run of a message row drawn in one pair of colours: the text between two
// colour tags. An invalid colour means "the list's own": the normal text
// colour, or no background fill.
struct MessageSegment {
    QString text;
    QColor color;
    QColor background;
};

// The in-band markup of the messages panel's rows, for those who write rows
// (search in files, the build runner) and for the panel that reads them.
//
// A row's raw text may carry tags, "#color{value}" and "#bgcolor{value}",
// that switch the text or background colour from there to the end of the
// row (up to the first closing brace after the tag's own); the row shows its
// text without them. A backslash between the "#" and the tag's name
// ("#\color{") shows the tag's opening as text instead, one backslash fewer
// ("#color{"): escape() puts it there, so that text read from files or
// programs is shown as it is, also right before or after a tag.
namespace markup
{

// The tags that switch the text colour and the background to `value` (a
// colour name, "#rrggbb"; anything else switches back to the list's own).
QString color(QStringView value);
QString background(QStringView value);
// `text` made safe to put into a row: shown literally, tags and all.
QString escape(const QString& text);
// Appends escape(text) to `out`: for rows built piece by piece in one string.
void appendEscaped(QString* out, QStringView text);

// The text a row shows: `raw` with every tag removed.
QString strip(const QString& raw);
// The runs of `raw` with their colours, empty runs left out.
QList<MessageSegment> parse(const QString& raw);

} // namespace markup

} // namespace vexa

#endif

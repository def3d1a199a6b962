#include "vexa/messages/messageitem.h"

#include "vexa/messages/messagemarkup.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QRect>
#include <QtMath>

#include <algorithm>
#include <array>

namespace vexa
{

namespace
{

// Rows are measured in one font at a time (the list's): the last font asked
// for, numbered anew whenever another is asked for, so that a row keeps its
// width with a number instead of a copy of the font.
struct MeasuringFont {
    QFont font;
    unsigned int serial = 0;
    // The advances of printable ASCII in `font`.
    std::array<qreal, 0x80> advances{};
};

MeasuringFont& measuring(const QFont& font)
{
    static MeasuringFont m;
    if (m.serial == 0 || m.font != font) {
        const QFontMetricsF metrics(font);
        for (char16_t c = 0x20; c < 0x7F; ++c)
            m.advances[c] = metrics.horizontalAdvance(QChar(c));
        m.font = font;
        ++m.serial;
    }
    return m;
}

// The width of a row's text in `m`'s font. A row of printable ASCII, as most
// are, is measured by adding up the kept advances: shaping each row cost
// more than the search that made it when a search sends its hits by the
// thousand. Kerning narrows shaped text, so the sum errs on the wide side (a
// pixel or two in a line of code). Other text is shaped.
int textWidth(const MeasuringFont& m, const QString& text)
{
    const bool plain = std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7F;
    });
    if (!plain)
        return QFontMetrics(m.font).horizontalAdvance(text);
    qreal width = 0;
    for (const QChar c : text)
        width += m.advances[c.unicode()];
    return qCeil(width);
}

} // namespace

MessageItem::MessageItem(const QString& text, int line, const QString& fileName)
    : m_rawText(text), m_fileName(fileName), m_line(line), m_lineDefined(line != -1)
{
}

QString MessageItem::text() const
{
    return markup::strip(m_rawText);
}

QString MessageItem::rawText() const
{
    return m_rawText;
}

void MessageItem::setText(const QString& text)
{
    m_rawText = text;
    m_width = -1;
}

void MessageItem::addText(const QString& text)
{
    m_rawText += text;
    m_width = -1;
}

int MessageItem::width(const QFont& font) const
{
    const MeasuringFont& m = measuring(font);
    if (m_width < 0 || m_widthFont != m.serial) {
        m_width = textWidth(m, text());
        m_widthFont = m.serial;
    }
    return m_width;
}

int MessageItem::line() const
{
    if (m_lineDefined)
        return m_line;
    // Tags are left out: the digits of a colour value are no line number.
    const QString shown = text();
    qsizetype start = 0;
    while (start < shown.size() &&
           !(shown.at(start) >= QLatin1Char('0') && shown.at(start) <= QLatin1Char('9')))
        ++start;
    if (start == shown.size())
        return m_line;
    qsizetype end = start;
    while (end < shown.size() && shown.at(end) >= QLatin1Char('0') &&
           shown.at(end) <= QLatin1Char('9'))
        ++end;
    // A run too long for an int gives 0.
    return QStringView(shown).mid(start, end - start).toInt();
}

void MessageItem::setLine(int line)
{
    m_line = line;
    m_lineDefined = true;
}

QString MessageItem::fileName() const
{
    return m_fileName;
}

void MessageItem::setFileName(const QString& name)
{
    m_fileName = name;
}

int MessageItem::rtti() const
{
    return RTTI;
}

QList<MessageSegment> MessageItem::segments() const
{
    return markup::parse(m_rawText);
}

void MessageItem::paint(QPainter* painter, const QRect& rect) const
{
    const QFontMetrics fm = painter->fontMetrics();
    const QPen normal = painter->pen();
    const int baseline = rect.top() + fm.ascent() + fm.leading() / 2;
    // Nothing right of this is seen, so long rows stop drawing there.
    const int right = painter->hasClipping()
                          ? qMin(rect.right(), painter->clipBoundingRect().toAlignedRect().right())
                          : rect.right();
    int x = rect.left() + 3;

    painter->save();
    painter->setLayoutDirection(Qt::LayoutDirectionAuto);
    for (const MessageSegment& s : segments()) {
        if (x > right)
            break;
        // A run far longer than the room left is cut to a part that still
        // fills it (glyphs are at least a pixel wide); no later run is seen.
        QString text = s.text;
        const qsizetype room = 2 * qsizetype(right - x + 1) + 64;
        if (text.size() > room) {
            qsizetype cut = room;
            if (text.at(cut - 1).isHighSurrogate())
                ++cut;
            text.truncate(cut);
        }
        const int width = fm.horizontalAdvance(text);
        // The band covers the text drawn after the tag, within the row.
        if (s.background.isValid())
            painter->fillRect(QRect(x, rect.top(), width, rect.height()), s.background);
        QPen pen = normal;
        if (s.color.isValid())
            pen.setColor(s.color);
        painter->setPen(pen);
        painter->drawText(QPoint(x, baseline), text);
        x += width;
    }
    painter->restore();
}

} // namespace vexa

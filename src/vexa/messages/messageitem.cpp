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

class MessageItemPrivate
{
public:
    int lineNumber = -1;
    bool lineDefined = false;
    QString filename;
    QString rawText;
    // The width of the shown text in `widthFont`; -1 until measured. Lists
    // lay out every row again on each insert, and measuring is the cost.
    int width = -1;
    QFont widthFont;
};

namespace
{

// The width of a row's text in `font`. A row of printable ASCII, as most
// are, is measured by adding up advances kept for the last font asked for:
// shaping each row cost more than the search that made it when a search
// sends its hits by the thousand. Kerning narrows shaped text, so the sum
// errs on the wide side (a pixel or two in a line of code). Other text is
// shaped.
int textWidth(const QFont& font, const QString& text)
{
    const bool plain = std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7F;
    });
    if (!plain)
        return QFontMetrics(font).horizontalAdvance(text);
    static QFont advancesFont;
    static std::array<qreal, 0x80> advances{};
    static bool measured = false;
    if (!measured || advancesFont != font) {
        const QFontMetricsF metrics(font);
        for (char16_t c = 0x20; c < 0x7F; ++c)
            advances[c] = metrics.horizontalAdvance(QChar(c));
        advancesFont = font;
        measured = true;
    }
    qreal width = 0;
    for (const QChar c : text)
        width += advances[c.unicode()];
    return qCeil(width);
}

} // namespace

MessageItem::MessageItem(QListWidget* listbox, const QString& text, int line,
                         const QString& fileName)
    : QListWidgetItem(nullptr, RTTI), p(new MessageItemPrivate)
{
    p->lineNumber = line;
    p->lineDefined = line != -1;
    p->filename = fileName;
    p->rawText = text;
    updateDisplay();
    if (listbox)
        listbox->addItem(this);
}

MessageItem::MessageItem(const MessageItem& other)
    : QListWidgetItem(other), p(new MessageItemPrivate(*other.p))
{
}

MessageItem::~MessageItem()
{
    delete p;
}

QListWidgetItem* MessageItem::clone() const
{
    return new MessageItem(*this);
}

QString MessageItem::text() const
{
    return markup::strip(p->rawText);
}

QString MessageItem::rawText() const
{
    return p->rawText;
}

void MessageItem::setText(const QString& text)
{
    p->rawText = text;
    updateDisplay();
}

void MessageItem::addText(const QString& text)
{
    p->rawText += text;
    updateDisplay();
}

void MessageItem::setData(int role, const QVariant& value)
{
    if (role == Qt::DisplayRole)
        setText(value.toString());
    else
        QListWidgetItem::setData(role, value);
}

// The list shows, sorts and measures the display text, so it holds the text
// without tags; the view repaints the row when it changes.
void MessageItem::updateDisplay()
{
    p->width = -1;
    QListWidgetItem::setData(Qt::DisplayRole, markup::strip(p->rawText));
}

int MessageItem::width(const QFont& font) const
{
    if (p->width < 0 || p->widthFont != font) {
        p->width = textWidth(font, text());
        p->widthFont = font;
    }
    return p->width;
}

int MessageItem::line() const
{
    if (p->lineDefined)
        return p->lineNumber;
    // Tags are left out: the digits of a colour value are no line number.
    const QString shown = text();
    qsizetype start = 0;
    while (start < shown.size() &&
           !(shown.at(start) >= QLatin1Char('0') && shown.at(start) <= QLatin1Char('9')))
        ++start;
    if (start == shown.size())
        return p->lineNumber;
    qsizetype end = start;
    while (end < shown.size() && shown.at(end) >= QLatin1Char('0') &&
           shown.at(end) <= QLatin1Char('9'))
        ++end;
    // A run too long for an int gives 0.
    return QStringView(shown).mid(start, end - start).toInt();
}

void MessageItem::setLine(int line)
{
    p->lineNumber = line;
    p->lineDefined = true;
}

QString MessageItem::fileName() const
{
    return p->filename;
}

void MessageItem::setFileName(const QString& name)
{
    p->filename = name;
}

int MessageItem::rtti() const
{
    return RTTI;
}

QList<MessageSegment> MessageItem::segments() const
{
    return markup::parse(p->rawText);
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

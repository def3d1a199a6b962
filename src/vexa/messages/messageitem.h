#ifndef VEXA_MESSAGES_MESSAGEITEM_H
#define VEXA_MESSAGES_MESSAGEITEM_H

#include "vexa/messages/messagemarkup.h"

#include <QList>
#include <QString>

class QFont;
class QPainter;
class QRect;

namespace vexa
{

// One row of the messages panel, as plain data: the panel keeps its rows in
// a list of these and draws only those on screen. Its raw text may carry the
// colour tags of the panel's markup (messagemarkup.h); the row shows and
// measures its text without them. A row with a file name and a line is a
// link; a row whose line was never set offers the first number of its text
// instead.
class MessageItem
{
public:
    enum { RTTI = 2589235 };

    explicit MessageItem(const QString& text = QString(), int line = -1,
                         const QString& fileName = QString());

    // The text as shown: the raw text with every tag removed.
    QString text() const;
    // The text as written, tags included.
    QString rawText() const;
    void setText(const QString& text);
    void addText(const QString& text);

    // The row's line, counted from 1; -1 when the row is no link.
    int line() const;
    // Sets the line whatever its value; -1 set this way also turns off the
    // fallback to the digits of the text.
    void setLine(int line);
    QString fileName() const;
    void setFileName(const QString& name);

    int rtti() const;
    // The width of the shown text in `font`, as the list lays the row out.
    int width(const QFont& font) const;

    // The runs of the row with their colours, empty runs left out.
    QList<MessageSegment> segments() const;

    // Draws the row into `rect` with the painter's pen as the starting text colour.
    void paint(QPainter* painter, const QRect& rect) const;

private:
    QString m_rawText;
    QString m_fileName;
    int m_line = -1;
    bool m_lineDefined = false;
    // The width of the shown text, measured in the font that was current
    // for measuring at `m_widthFont` (see width()); -1 until measured. A
    // list lays its rows out again on every change, and measuring is the cost.
    mutable int m_width = -1;
    mutable unsigned int m_widthFont = 0;
};

} // namespace vexa

#endif

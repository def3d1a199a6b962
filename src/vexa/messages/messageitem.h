#ifndef VEXA_MESSAGES_MESSAGEITEM_H
#define VEXA_MESSAGES_MESSAGEITEM_H

#include "vexa/messages/messagemarkup.h"

#include <QColor>
#include <QList>
#include <QListWidgetItem>
#include <QString>

class QFont;
class QPainter;
class QRect;

namespace vexa
{

class MessageItemPrivate;

// One row of the messages panel. Its raw text may carry the colour tags of
// the panel's markup (messagemarkup.h); the row shows and measures its text
// without them. A row with a file name and a line is a link; a row whose
// line was never set offers the first number of its text instead.
class MessageItem : public QListWidgetItem
{
public:
    enum { RTTI = 2589235 };

    // Appends the row to `listbox` (when given).
    MessageItem(QListWidget* listbox, const QString& text, int line = -1,
                const QString& fileName = QString());
    MessageItem(const MessageItem& other);
    ~MessageItem() override;

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

    QListWidgetItem* clone() const override;
    // Display text set from outside (QListWidgetItem::setText) is raw text too.
    void setData(int role, const QVariant& value) override;

private:
    MessageItem& operator=(const MessageItem&) = delete;
    void updateDisplay();

    MessageItemPrivate* p;
};

} // namespace vexa

#endif

#ifndef VEXA_MESSAGES_MESSAGEOUTPUT_H
#define VEXA_MESSAGES_MESSAGEOUTPUT_H

#include <QListView>

namespace vexa
{

class MessageItem;

// The messages panel: the page of the bottom dock that collects the output
// lines of the build runner and search in files. It keeps the newest rows
// (500 at most), shows the newest once the event loop runs, turns rows of a
// Python traceback that came without a file into links, and opens a link
// row's file at its line when the row is pressed. Text that comes from files
// or programs goes through markup::escape() to show literally.
//
// Rows are plain data (MessageItem). Those that arrive between two turns of
// the event loop wait beside the list and reach it together on the next
// turn, as one insertion after one removal of the rows they push out: a
// search sends its hits by the thousand, and a row that the limit drops
// before the loop runs never reaches the list at all. count() and item()
// see the rows waiting too.
class MessageOutput : public QListView
{
    Q_OBJECT
public:
    static MessageOutput* self();
    ~MessageOutput() override;

    unsigned int maxItems() const;
    void setMaxItems(unsigned int count);

    // Run before every new row: links the last row when it is a traceback
    // line, and drops the oldest rows to make room for one more.
    void checkMaxItems();

    // The number of rows, and row `row` (null outside 0 .. count() - 1).
    int count() const;
    MessageItem* item(int row) const;

public Q_SLOTS:
    void insertItem(const QString& text);
    void insertItem(const QString& text, int line);
    void insertItem(const QString& text, int line, const QString& fname);
    // Continue the last row (or start one on an empty list).
    void addToLastItem(const QString& text);
    void addToLastItem(const QString& text, int line, const QString& fname);
    // Writes text that may hold several lines as a terminal would: the first
    // line continues the last row and each line feed starts a new row.
    void showMessage(const QString& text);
    // Removes every row, those still waiting included.
    void clear();
    // Opens an existing file in an editor with the cursor on `line`
    // (counted from 1); an empty or missing file name does nothing.
    void openFile(const QString& file, int line);
    // Raises the panel in the bottom dock.
    void makeVisible();
    void clickItem(const QModelIndex& index);

Q_SIGNALS:
    void clicked(const QString& file, int line);

protected:
    bool viewportEvent(QEvent* e) override;

private:
    explicit MessageOutput(QWidget* parent);
    void placeCleanButton();
    // Puts the waiting rows into the list and scrolls to the newest, when
    // the event loop next runs.
    void scrollToNewest();
    void flush();
    MessageItem* last() const;
    void dropFirst();
    // A new last row, after room was made for it.
    void append(MessageItem&& row);

    class Private;
    Private* d;
};

} // namespace vexa

#endif

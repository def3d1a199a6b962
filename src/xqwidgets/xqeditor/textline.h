#ifndef XQWIDGETS_TEXTLINE_H
#define XQWIDGETS_TEXTLINE_H

#include <QColor>
#include <QString>
#include <QStringList>

class QPixmap;

namespace xqwidgets
{

// One mark shown in the indicator margin: a kind chosen by the host and an
// identity within that kind.
struct MarginData {
    QString classId;
    QString itemId;
};

// One line of a document: its text (the QString base; never a line break),
// one highlight attribute per character, the highlight context at both ends,
// fold flags and per-line decorations.
//
// Lines are the bulk of a document's memory, so a line keeps only what every
// line needs inline; attributes, marks, the icon and the line colour live in
// a record that is allocated on first use. Attribute ids are stored unsigned
// (0..255), the range a highlighting definition may use.
class TextLine : public QString
{
public:
    TextLine();
    explicit TextLine(const QString& text);
    ~TextLine();

    TextLine(const TextLine&) = delete;
    TextLine& operator=(const TextLine&) = delete;

    void set(const QString& s);
    void replace(uint index, uint len, const QString& s);
    // The edits a line's text goes through. A freshly loaded line shares the
    // document's load buffer; before its first change it takes a tight copy
    // of its own, since growing the shared slice would allocate as much as
    // the whole buffer.
    void insert(qsizetype index, const QString& s);
    void remove(qsizetype index, qsizetype len);
    void append(const QString& s);
    void truncate(qsizetype len);
    // Removes trailing whitespace; true when something was removed.
    bool removeSpaces();
    // Column of the first non-whitespace character, -1 when there is none.
    int firstChar() const;

    // Highlighting state. Context ids run from 0 to 255.
    void resetHighlight(int ctx);
    void setAttributes(int attr, uint from, uint to);
    int attribute(uint i) const;
    void doneHighlight();
    bool isHighlighted() const { return m_highlighted; }
    // A colouring pass may stop part way along a long line (painting needs
    // only the columns it shows) and go on later from where it stopped:
    // it keeps what it needs to go on here. The characters before
    // highlightedTo() have their final attributes.
    struct HighlightResume {
        int pos = 0;
        int ctx = 0;
        quint64 visited[4] = {0, 0, 0, 0};
    };
    const HighlightResume* highlightResume() const;
    void setHighlightResume(const HighlightResume& r);
    int highlightedTo() const;
    int highlightContext() const { return m_highlightContext; }
    void setContext(int ctx) { m_context = quint8(ctx); }
    int context() const { return m_context; }

    void setMarked(int m);
    int marked() const;

    void setMargin(const QString& classId, const QString& itemId);
    void delMargin(const QString& classId, const QString& itemId);
    bool firstMargin(QString& classId, QString& itemId) const;
    QStringList marginsForClass(const QString& classId) const;

    QPixmap* linePixmap() const;
    void setLinePixmap(QPixmap* pixmap);
    QColor lineColor() const;
    void setLineColor(const QColor& color);
    void clearLineColor();

    // Lines are allocated from a pool of equal-sized slots: a document of a
    // million lines would otherwise pay the allocator's overhead per line.
    static void* operator new(size_t size);
    static void operator delete(void* p, size_t size);

    struct Private;

private:
    Private* extra();
    void dropExtraIfEmpty();

    Private* d = nullptr;

public:
    // The fold flags are packed with the highlight state so that a line
    // costs 40 bytes besides its text.
    bool isFoldingStart : 1;
    bool isFolded : 1;
    bool isFoldVisible : 1;

private:
    bool m_highlighted : 1;
    quint8 m_context = 0;
    quint8 m_highlightContext = 0;

public:
    int foldingLevel = 0;
};

} // namespace xqwidgets

#endif

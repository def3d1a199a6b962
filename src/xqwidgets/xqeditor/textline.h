#ifndef XQWIDGETS_TEXTLINE_H
#define XQWIDGETS_TEXTLINE_H

#include <QColor>
#include <QString>
#include <QStringList>

#include <vector>

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
// Who may change a line's text: the document's write path only, that is the
// document's line-level operations and the undo commands that call them
// (and the line's own tests), through TextLineWrite (textlinewrite.h). To
// everyone else a line's text reads as a const QString: QString's writers
// are hidden here, so that `*line += x` does not compile. Whoever changes a
// line's text calls the document's updateLine/updateLines over it right
// after: that reruns the context pass and grows the document's revision,
// by which readers of the whole text know it changed. Highlighting state,
// fold flags and decorations are not the text and follow rules of their own.
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

    // The text's readers that QString offers as writers too: only their
    // reading forms (the writing ones are hidden below; a const QChar, so
    // that assigning to one does not compile).
    const QChar* data() const { return QString::constData(); }
    const QChar operator[](qsizetype i) const { return QString::at(i); }
    const_iterator begin() const { return QString::cbegin(); }
    const_iterator end() const { return QString::cend(); }
    const_reverse_iterator rbegin() const { return QString::crbegin(); }
    const_reverse_iterator rend() const { return QString::crend(); }
    const QChar front() const { return QString::front(); }
    const QChar back() const { return QString::back(); }
    const DataPointer& data_ptr() const { return QString::data_ptr(); }

    // Column of the first non-whitespace character, -1 when there is none.
    int firstChar() const;
    // The first tab at `from` or later and before `to`, -1 when there is
    // none. Whether the line holds a tab at all is kept across edits, so a
    // line without tabs (a line of megabytes, say) answers without looking.
    qsizetype tabIn(qsizetype from, qsizetype to) const;
    // Tab stops of a long line without walking it from its start: the
    // last block start at or before column `col`, or (`col` negative) the
    // last whose display cell is at most `cell`, with the display cells
    // before it (tab stops every `tabWidth` cells) in `*cells` and the tabs
    // before it in `*tabs`. A line keeps these per block of its characters,
    // and an edit drops the blocks from the one it touched on, so that
    // typing near the end of a line of megabytes walks one block. A short
    // line answers 0.
    qsizetype tabStopBlock(qsizetype col, int cell, int tabWidth, int* cells, int* tabs);
    // Where the text changed, for a reader that keeps what it made of a
    // long line (the view's rows of a wrapped line): editStamp() names the
    // present text, and editedFrom() the first column the edits since that
    // stamp touched, -1 when there were none, 0 when that is not known
    // (many edits since, or a stamp of another line). Only lines asked for
    // a stamp keep this.
    quint64 editStamp();
    qsizetype editedFrom(quint64 stamp) const;

    // Highlighting state. Context ids run from 0 to 255.
    void resetHighlight(int ctx);
    void setAttributes(int attr, uint from, uint to);
    int attribute(uint i) const;
    // The attribute of character `i` and, in `end`, the end of the run of
    // characters from `i` on that share it (at least i + 1): measuring a
    // line reads its attributes run by run instead of one at a time.
    int attributeRun(uint i, uint* end) const;
    // All `n` attributes of a line coloured in one go (n its length), in
    // place of the ones it had.
    void setFinishedAttributes(const quint8* attributes, int n);
    void doneHighlight();
    bool isHighlighted() const { return m_highlighted; }
    // Where a pass over the line stood between two of its steps: enough to
    // go on from there with the same result as a pass from the start.
    struct HighlightState {
        int pos = 0;
        // The steps between the previous saved state and this one looked at
        // no column from here on (past the line's end: they looked at where
        // it ends).
        int reach = 0;
        int ctx = 0;
        quint64 visited[4] = {0, 0, 0, 0};
        // Among the states of earlier passes: no one pass went from the
        // state before this one to this one, so what lies between them was
        // not made by the pass this state belongs to.
        bool gapBefore = false;
        bool sameAs(const HighlightState& o) const
        {
            return pos == o.pos && ctx == o.ctx && visited[0] == o.visited[0] &&
                   visited[1] == o.visited[1] && visited[2] == o.visited[2] &&
                   visited[3] == o.visited[3];
        }
    };
    // The states one pass (context or colouring) saved along the line. A
    // pass may stop part way (painting needs only the columns it shows) and
    // go on later from its last state; on a long line it saves a state
    // every few thousand characters, so that after an edit it starts again
    // from the last state the edit left standing and stops as soon as it
    // meets a state of the earlier pass past the edit.
    struct HighlightTrail {
        // States of a pass over the present text, from column 0 on; the
        // last is where the pass stands (at the line's end once complete).
        std::vector<HighlightState> states;
        // States of an earlier pass, past the edits made since (moved with
        // them): the text from each to the end is the text that pass saw.
        std::vector<HighlightState> ahead;
        // The pass ran out of time part way: it has not reached the line's
        // end and goes on from its last state when it runs again.
        bool cut = false;
        // Processor time the passes over this text have spent so far, for
        // the limit past which the rest of the line is given up as plain.
        qint64 spentNs = 0;
    };
    enum HighlightPass { ContextPass = 0, ColouringPass = 1 };
    // The trail of `pass` made by the definition `owner`; a trail of another
    // definition is dropped first. Null when the line keeps none.
    HighlightTrail* highlightTrail(HighlightPass pass, quint64 owner, bool create);
    const HighlightTrail* highlightTrail(HighlightPass pass) const;
    void dropHighlightTrails();
    // Whether the last run of `pass` ran out of time before the line's end.
    bool highlightCut(HighlightPass pass) const;
    // The characters before highlightedTo() have their final attributes.
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
    friend struct TextLineWrite;

    // The edits a line's text goes through (see TextLineWrite). A freshly
    // loaded line shares the document's load buffer; before its first change
    // it takes a tight copy of its own, since growing the shared slice would
    // allocate as much as the whole buffer.
    void set(const QString& s);
    void replace(uint index, uint len, const QString& s);
    void insert(qsizetype index, const QString& s);
    void remove(qsizetype index, qsizetype len);
    void append(const QString& s);
    void truncate(qsizetype len);
    // Removes trailing whitespace; true when something was removed.
    bool removeSpaces();

    // QString's writers, which would change the text behind the document's
    // back (those of the names above are hidden by them).
    using QString::chop;
    using QString::clear;
    using QString::detach;
    using QString::erase;
    using QString::fill;
    using QString::operator=;
    using QString::operator+=;
    using QString::prepend;
    using QString::push_back;
    using QString::push_front;
    using QString::removeIf;
    using QString::reserve;
    using QString::resize;
    using QString::setNum;
    using QString::setRawData;
    using QString::setUnicode;
    using QString::setUtf16;
    using QString::shrink_to_fit;
    using QString::squeeze;
    using QString::swap;

    // The record, when the line has one (see m_ext).
    Private* priv() const;
    Private* extra();
    void dropExtraIfEmpty();
    // The finished attributes of a short line in their compact form (see
    // m_ext); 0 when there are none.
    quintptr compactAttributes() const;
    void setCompactAttributes(quintptr word);
    // Flat attributes to compact form, or back for writing.
    void compactAttributesNow();
    void expandAttributes();
    // Keeps attributes and saved pass states in step with an edit of the
    // text: `removed` characters at `column` replaced by `inserted` ones.
    void noteEdit(qsizetype column, qsizetype removed, qsizetype inserted);
    void moveHighlight(qsizetype column, qsizetype removed, qsizetype inserted);
    // Keeps what is known of the line's tabs in step with an edit.
    void noteTabs(qsizetype removed, const QString& inserted);
    // Records for editedFrom() a change of the text from `column` on.
    void noteChangeFrom(qsizetype column);
    // Drops the tab stop blocks past column `column` (all when negative).
    void dropTabStops(qsizetype column);
    // Drops the attributes of the characters from `column` on: an edit
    // that no saved pass state follows leaves them to characters they do
    // not belong to.
    void dropAttributesFrom(qsizetype column);

    // A pointer to the line's record (low bits 0), or, for a line that
    // needs no record, its finished attributes in compact form: a line
    // of one attribute in the word itself, else a pointer to a small block
    // of runs (or of one byte per character when runs would be larger).
    // Most coloured lines of real code cost one such block or nothing.
    quintptr m_ext = 0;

public:
    // The fold flags are packed with the highlight state so that a line
    // costs 40 bytes besides its text.
    bool isFoldingStart : 1;
    bool isFolded : 1;
    bool isFoldVisible : 1;

private:
    bool m_highlighted : 1;
    // Whether the line holds a tab, once looked at (see tabIn).
    mutable bool m_tabsKnown : 1;
    mutable bool m_hasTabs : 1;
    quint8 m_context = 0;
    quint8 m_highlightContext = 0;

public:
    int foldingLevel = 0;
};

} // namespace xqwidgets

#endif

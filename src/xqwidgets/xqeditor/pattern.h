#ifndef XQWIDGETS_PATTERN_H
#define XQWIDGETS_PATTERN_H

#include <QString>
#include <QStringView>

namespace xqwidgets
{

// A regular expression written in the classic Qt dialect (the one highlighting
// definitions use), matched on a read-only view of a line without copying it.
//
// The pattern is translated once for the regular expression engine
// (PatternEngine: Unicode properties, JIT, no copy or allocation per match). Patterns that are
// plain text, the end of the line or a chain of single characters with repeats (most highlighting
// rules) are matched by a small direct matcher with the same results, since they run for every
// token of every line; the others go to the regular expression engine. A match that runs into the
// backtracking limit (a pathological pattern) counts as no match.
class Pattern
{
public:
    // One line as the matches of one highlighting pass see it, from left to
    // right. Matches that are given the scan share what they learn about the
    // line: its encoding is checked once instead of at every match, and a
    // search of the rest of the line from a later position reuses the last
    // answer where the pattern allows it. Every text matched with a scan must
    // be a tail of that line, and the line must not change while it is used.
    // The answers are kept in the pattern: one pattern serves one pass at a
    // time.
    class LineScan
    {
    public:
        LineScan(const QChar* text, int length);
        LineScan(const LineScan&) = delete;
        LineScan& operator=(const LineScan&) = delete;

        // Whether `tail` is on this line and runs to its end.
        bool covers(QStringView tail) const
        {
            return tail.data() >= m_begin && tail.data() + tail.size() == m_end;
        }
        // Whether the engine would accept `tail` as valid UTF-16.
        bool validFrom(QStringView tail) const;
        quint64 serial() const { return m_serial; }

        // How far the matches looked: every answer given with this scan
        // since the last setReach() depended on no character at or past
        // reach() (a column of the line), and on where the line ends only
        // when reach() lies past its end. A pass keeps this to know which
        // of its results an edit further on leaves standing.
        qsizetype reach() const { return m_reach; }
        void setReach(qsizetype column) const { m_reach = column; }
        // Records that an answer depended on the characters of `tail` before
        // its offset `end`; an `end` past the tail's size means the end of
        // the line too.
        void looked(QStringView tail, qsizetype end) const
        {
            const qsizetype r = (tail.data() - m_begin) + end;
            if (r > m_reach)
                m_reach = r;
        }
        void lookedToEnd(QStringView tail) const { looked(tail, tail.size() + 1); }
        void reachTo(qsizetype column) const
        {
            if (column > m_reach)
                m_reach = column;
        }
        qsizetype offsetOf(QStringView tail) const { return tail.data() - m_begin; }

    private:
        const QChar* m_begin;
        const QChar* m_end;
        quint64 m_serial;
        mutable qsizetype m_lastInvalid = -2; // -2: not looked at yet, -1: none
        mutable qsizetype m_reach = 0;
    };

    Pattern();
    explicit Pattern(const QString& pattern, bool caseSensitive = true, bool minimal = false);
    ~Pattern();
    Pattern(const Pattern&) = delete;
    Pattern& operator=(const Pattern&) = delete;

    void setPattern(const QString& pattern, bool caseSensitive = true, bool minimal = false);
    QString pattern() const;
    // False when the pattern does not parse; it then matches nothing.
    bool isValid() const;

    // Length of the match that begins at the start of `text`; -1 when there
    // is none. "^" anchors at the start of `text`, "$" at its end.
    int matchLength(QStringView text) const;
    // Offset of the first match in `text` (and its length in `length`); -1
    // when there is none.
    int indexIn(QStringView text, int* length) const;
    // The same, for a tail `text` of the line `scan` stands for (the plain
    // versions above are used when `scan` is null or does not cover `text`).
    int matchLength(QStringView text, const LineScan* scan) const;
    int indexIn(QStringView text, int* length, const LineScan* scan) const;

    // False when no match of more than zero characters can begin with `c`.
    bool mayStartWith(char16_t c) const;
    // Whether this pattern and `other` are one repeated set of characters
    // with the same members and bounds, so that both give the same answer
    // on any text ("\w+" and "[\w_]+", say): rules tried one after the
    // other at one place may share one match.
    bool matchesAlike(const Pattern& other) const;

    // The pattern as the regular expression engine gets it; empty when the
    // pattern does not parse. Exposed for tests.
    static QString translate(const QString& pattern, bool* ok = nullptr);
    // The longest run of characters that every match of `pattern` contains
    // (as written, before any case folding); empty when there is none or the
    // pattern does not parse. A search can look for it first.
    static QString requiredText(const QString& pattern);
    // False when no match of `pattern` can hold the character `c` (a
    // backreference is taken to hold any); true when it does not parse.
    static bool mayHold(const QString& pattern, char16_t c, bool caseSensitive);

    struct Private;

private:
    Private* d;
};

} // namespace xqwidgets

#endif

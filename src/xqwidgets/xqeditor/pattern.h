#ifndef XQWIDGETS_PATTERN_H
#define XQWIDGETS_PATTERN_H

#include <QString>
#include <QStringView>

namespace xqwidgets
{

// A regular expression written in the classic Qt dialect (the one highlighting
// definitions use), matched on a read-only view of a line without copying it.
//
// The pattern is translated once to a QRegularExpression (Unicode properties,
// JIT). Patterns that are plain text, the end of the line or a chain of single
// characters with repeats (most highlighting rules) are matched by a small
// direct matcher with the same results, since they run for every token of
// every line; the others go to the regular expression engine. A match that
// runs into the backtracking limit (a pathological pattern) counts as no match.
class Pattern
{
public:
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

    // False when no match of more than zero characters can begin with `c`.
    bool mayStartWith(char16_t c) const;

    // The pattern as the regular expression engine gets it; empty when the
    // pattern does not parse. Exposed for tests.
    static QString translate(const QString& pattern, bool* ok = nullptr);

    struct Private;

private:
    Private* d;
};

} // namespace xqwidgets

#endif

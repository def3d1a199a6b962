#ifndef XQWIDGETS_TEXTCOMPLETION_H
#define XQWIDGETS_TEXTCOMPLETION_H

#include <QString>
#include <QStringList>

namespace xqwidgets
{

class TextDocument;

// The distinct words of one document, for word completion. A word is a
// maximal run of letters, digits, marks and underscores ("[\w_]+").
//
// Completion starts again after every key the user types, so reading the
// whole document each time would make it as slow as the document is long.
// The index remembers the text of every line it has read and the number of
// occurrences of every word; update() reads again only the lines whose text
// changed since, and forgets the words of lines that are gone.
//
// A line counts as unchanged while it still holds the very text storage the
// index remembered. The index keeps a reference to that storage, so any
// edit of the line has to copy it first (the strings are implicitly shared)
// and a changed line always has different storage.
class WordIndex
{
public:
    WordIndex();
    ~WordIndex();
    WordIndex(const WordIndex&) = delete;
    WordIndex& operator=(const WordIndex&) = delete;

    // Brings the index up to date with the lines of `doc`.
    void update(const TextDocument* doc);
    // Forgets everything, for a frame that changes documents or to free memory.
    void clear();

    // The distinct words, in no particular order.
    QStringList words() const;
    // The distinct words that start with `prefix` (case-sensitive), in no
    // particular order.
    QStringList wordsStartingWith(const QString& prefix) const;
    // How often `word` occurs in the document as last read.
    int count(const QString& word) const;
    // Number of lines read again by the last update().
    int linesRead() const;

    static bool isWordChar(QChar c);

private:
    class Private;
    Private* d;
};

} // namespace xqwidgets

#endif

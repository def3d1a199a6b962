#ifndef XQWIDGETS_TEXTLINEARRAY_H
#define XQWIDGETS_TEXTLINEARRAY_H

#include <cstring>
#include <vector>

namespace xqwidgets
{

class TextLine;

// The lines of a document: an array of line pointers with a movable gap, so
// that inserting or removing lines where the last edit happened costs O(1)
// however long the document is; moving the gap costs one memmove of the
// pointers in between. Storage grows geometrically.
class TextLineArray
{
public:
    TextLineArray() = default;
    ~TextLineArray(); // releases the array; deletes lines only with autoDelete
    TextLineArray(const TextLineArray&) = delete;
    TextLineArray& operator=(const TextLineArray&) = delete;

    int count() const { return int(m_buf.size()) - m_gapLen; }
    bool isEmpty() const { return count() == 0; }
    TextLine* at(int i) const { return i < m_gapStart ? m_buf[i] : m_buf[i + m_gapLen]; }
    TextLine* operator[](int i) const { return at(i); }

    void append(TextLine* line) { insert(count(), line); }
    void insert(int i, TextLine* line);
    // Removes the pointer at i and returns it (deleted and null with autoDelete).
    TextLine* remove(int i);
    // Run forms of insert and remove for edits of many lines: one gap move
    // and at most one reallocation however many lines there are.
    // Inserts the n pointers from `lines` at i.
    void insert(int i, TextLine* const* lines, int n);
    // Takes the n pointers at i out of the array and appends them to `out`
    // (never deleted, whatever autoDelete says: the caller owns them now).
    void remove(int i, int n, std::vector<TextLine*>& out);
    void clear();
    // Replaces the contents by `lines` in one step (used by loading).
    void assign(std::vector<TextLine*>&& lines);

    void setAutoDelete(bool on) { m_autoDelete = on; }
    bool autoDelete() const { return m_autoDelete; }

private:
    void moveGap(int i);
    // Reallocates with the gap at `at`, room for at least `extra` more lines.
    void grow(int at, int extra = 1);
    void shrinkIfSparse();

    std::vector<TextLine*> m_buf;
    int m_gapStart = 0;
    int m_gapLen = 0;
    bool m_autoDelete = false;
};

} // namespace xqwidgets

#endif

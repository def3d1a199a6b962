#include "xqwidgets/xqeditor/textlinearray.h"

#include "xqwidgets/xqeditor/textline.h"

#include <algorithm>

namespace xqwidgets
{

TextLineArray::~TextLineArray() = default;

void TextLineArray::moveGap(int i)
{
    if (i == m_gapStart || m_gapLen == 0) {
        m_gapStart = i;
        return;
    }
    TextLine** b = m_buf.data();
    if (i < m_gapStart) {
        std::memmove(b + i + m_gapLen, b + i, size_t(m_gapStart - i) * sizeof(TextLine*));
    } else {
        std::memmove(b + m_gapStart, b + m_gapStart + m_gapLen,
                     size_t(i - m_gapStart) * sizeof(TextLine*));
    }
    m_gapStart = i;
}

void TextLineArray::grow(int at, int extra)
{
    const int n = count();
    const int capacity = std::max(16, std::max(n * 2, n + extra));
    std::vector<TextLine*> buf(size_t(capacity), nullptr);
    const int newGap = capacity - n;
    for (int k = 0; k < at; ++k)
        buf[k] = this->at(k);
    for (int k = at; k < n; ++k)
        buf[k + newGap] = this->at(k);
    m_buf.swap(buf);
    m_gapStart = at;
    m_gapLen = newGap;
}

void TextLineArray::insert(int i, TextLine* line)
{
    if (m_gapLen == 0)
        grow(i);
    else
        moveGap(i);
    m_buf[m_gapStart++] = line;
    --m_gapLen;
}

TextLine* TextLineArray::remove(int i)
{
    moveGap(i);
    TextLine* line = m_buf[m_gapStart + m_gapLen];
    m_buf[m_gapStart + m_gapLen] = nullptr;
    ++m_gapLen;
    if (m_autoDelete) {
        delete line;
        line = nullptr;
    }
    shrinkIfSparse();
    return line;
}

void TextLineArray::shrinkIfSparse()
{
    // Give memory back once the array is mostly gap.
    if (m_buf.size() > 64 && size_t(count()) * 4 < m_buf.size())
        grow(m_gapStart);
}

void TextLineArray::insert(int i, TextLine* const* lines, int n)
{
    if (n <= 0)
        return;
    if (m_gapLen < n)
        grow(i, n);
    else
        moveGap(i);
    std::memcpy(m_buf.data() + m_gapStart, lines, size_t(n) * sizeof(TextLine*));
    m_gapStart += n;
    m_gapLen -= n;
}

void TextLineArray::remove(int i, int n, std::vector<TextLine*>& out)
{
    if (n <= 0)
        return;
    moveGap(i);
    TextLine** first = m_buf.data() + m_gapStart + m_gapLen;
    out.insert(out.end(), first, first + n);
    std::fill(first, first + n, nullptr);
    m_gapLen += n;
    shrinkIfSparse();
}

void TextLineArray::clear()
{
    if (m_autoDelete) {
        for (int i = count() - 1; i >= 0; --i)
            delete at(i);
    }
    m_buf.clear();
    m_buf.shrink_to_fit();
    m_gapStart = 0;
    m_gapLen = 0;
}

void TextLineArray::assign(std::vector<TextLine*>&& lines)
{
    clear();
    m_buf = std::move(lines);
    m_gapStart = int(m_buf.size());
    m_gapLen = 0;
}

} // namespace xqwidgets

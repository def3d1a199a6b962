#include "xqwidgets/xqeditor/rowcounts.h"

#include <algorithm>

namespace xqwidgets
{

void RowCounts::reset(int lineCount)
{
    m_extra.clear();
    m_sumsValid = false;
    m_lines = lineCount;
}

std::vector<std::pair<int, int>>::iterator RowCounts::find(int line)
{
    return std::lower_bound(m_extra.begin(), m_extra.end(), std::make_pair(line, 0));
}

int RowCounts::extra(int line) const
{
    const auto it = std::lower_bound(m_extra.begin(), m_extra.end(), std::make_pair(line, 0));
    return it != m_extra.end() && it->first == line ? it->second : 0;
}

void RowCounts::setExtra(int line, int extra)
{
    if (line < 0 || line >= m_lines)
        return;
    const auto it = find(line);
    const bool found = it != m_extra.end() && it->first == line;
    if (extra <= 0) {
        if (!found)
            return;
        m_extra.erase(it);
    } else if (found) {
        if (it->second == extra)
            return;
        it->second = extra;
    } else {
        m_extra.insert(it, std::make_pair(line, extra));
    }
    m_sumsValid = false;
}

void RowCounts::linesInserted(int at, int count)
{
    m_lines += count;
    for (auto it = find(at); it != m_extra.end(); ++it)
        it->first += count;
}

void RowCounts::linesRemoved(int at, int count)
{
    m_lines -= count;
    const auto from = find(at);
    const auto to = find(at + count);
    for (auto it = to; it != m_extra.end(); ++it)
        it->first -= count;
    if (from != to)
        m_extra.erase(from, to);
    m_sumsValid = false;
}

void RowCounts::makeSums() const
{
    if (m_sumsValid)
        return;
    m_sums.resize(m_extra.size() + 1);
    int sum = 0;
    for (size_t i = 0; i < m_extra.size(); ++i) {
        m_sums[i] = sum;
        sum += m_extra[i].second;
    }
    m_sums[m_extra.size()] = sum;
    m_sumsValid = true;
}

int RowCounts::total() const
{
    makeSums();
    return m_lines + m_sums.back();
}

int RowCounts::rowsBefore(int line) const
{
    makeSums();
    const auto it = std::lower_bound(m_extra.begin(), m_extra.end(), std::make_pair(line, 0));
    return line + m_sums[size_t(it - m_extra.begin())];
}

std::pair<int, int> RowCounts::lineAt(int row) const
{
    if (m_lines <= 0)
        return {0, 0};
    row = std::clamp(row, 0, total() - 1);
    // The last entry whose line starts at or before the row: the rows of a
    // line are (line + extra rows before it) onwards.
    size_t lo = 0;
    size_t hi = m_extra.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (m_extra[mid].first + m_sums[mid] <= row)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo > 0) {
        const auto& [line, extra] = m_extra[lo - 1];
        const int start = line + m_sums[lo - 1];
        if (row <= start + extra)
            return {line, row - start};
        // Past that line's rows: plain lines up to the next entry.
        return {line + 1 + (row - start - extra - 1), 0};
    }
    return {row, 0};
}

} // namespace xqwidgets

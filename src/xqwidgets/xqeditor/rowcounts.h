#ifndef XQWIDGETS_ROWCOUNTS_H
#define XQWIDGETS_ROWCOUNTS_H

#include <utility>
#include <vector>

namespace xqwidgets
{

// How many screen rows each line of a document takes with word wrap, kept
// for the vertical scroll bar, which counts rows. Most lines take one row,
// so only the lines that take more are stored, with their extra rows; a
// count may be an estimate until the line is laid out. Lines inserted or
// removed shift the lines below them.
class RowCounts
{
public:
    // Every line one row.
    void reset(int lineCount);
    int lineCount() const { return m_lines; }

    int extra(int line) const;
    // Sets the rows of a line beyond its first.
    void setExtra(int line, int extra);
    void linesInserted(int at, int count);
    void linesRemoved(int at, int count);

    // Rows of all lines.
    int total() const;
    // Rows of the lines before `line`.
    int rowsBefore(int line) const;
    // The line that holds row `row` (clamped to the rows there are), and
    // that row's index within its line.
    std::pair<int, int> lineAt(int row) const;

private:
    // (line, extra rows), ordered by line; extra > 0.
    std::vector<std::pair<int, int>> m_extra;
    // m_sums[i]: extra rows of the entries before i; made when needed.
    mutable std::vector<int> m_sums;
    mutable bool m_sumsValid = false;
    int m_lines = 0;

    std::vector<std::pair<int, int>>::iterator find(int line);
    void makeSums() const;
};

} // namespace xqwidgets

#endif

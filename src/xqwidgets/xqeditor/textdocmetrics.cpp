// Measuring lines in pixels, wrapping, words and the HTML form of a line:
// the TextDocument operations the view, the caret, completion and export
// build on.

#include "xqwidgets/xqeditor/textdoc.h"

#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"

namespace xqwidgets
{

namespace
{

// What measuring a line needs: the widths of the four font variants, the
// highlighting that gives each character its variant, and the tab stop.
//
// When all four variants are fixed-pitch with one advance (the usual case
// for a programmer's font), a character's width does not depend on its
// attribute, so lines are measured without colouring them and the blanks
// between tabs are counted in one step.
struct Measure {
    const TextEditorManager* m = nullptr;
    TextHighlight* hl = nullptr;
    int tabs = 0;     // tab stop in pixels; 0 when there is no view
    int uniform = -1; // the common advance, -1 when widths differ
    bool widths = false;

    Measure(const TextDocument* doc, DocumentView* view)
    {
        m = doc->manager();
        if (!view || !m)
            return;
        widths = true;
        hl = view->highlighting();
        tabs = qMax(1, view->tabsWidth());
        const int w0 = m->fontData(0).width;
        if (w0 > 0 && m->fontData(1).width == w0 && m->fontData(2).width == w0 &&
            m->fontData(3).width == w0)
            uniform = w0;
    }

    int fontType(int attr) const
    {
        if (!hl)
            return 0;
        const TextAttribute* a = hl->attribute(attr);
        return a ? a->fontType : 0;
    }

    int tabAdvance(int x) const { return tabs > 0 ? tabs - x % tabs : 0; }

    // Tab stops in character cells when every character is as wide and a
    // tab stop is a whole number of them (a long line keeps its tab stops
    // per block in cells); 0 otherwise.
    int tabCells() const { return uniform > 0 && tabs % uniform == 0 ? tabs / uniform : 0; }
};

// The widths of the characters of one line read from left to right: the
// face is looked up once for each run of one attribute, and ASCII advances
// come from the face's table, so a line of hundreds of thousands of
// characters (the caret's place at its end, say) costs little per character.
class LineWidths
{
public:
    LineWidths(const Measure& ms, const TextLine* l) : m_ms(ms), m_line(l) {}

    int at(int i)
    {
        if (m_ms.uniform > 0)
            return m_ms.uniform;
        if (uint(i) < m_start || uint(i) >= m_end) {
            m_start = uint(i);
            m_type = m_ms.fontType(m_line->attributeRun(uint(i), &m_end));
            m_face = &m_ms.m->fontData(m_type);
        }
        const QChar c = m_line->at(i);
        if (m_face->width >= 0)
            return m_face->width;
        const char16_t u = c.unicode();
        if (u < 128 && m_face->ascii[u] >= 0)
            return m_face->ascii[u];
        return m_ms.m->width(m_type, c);
    }

    // The advance of the characters from `from` to `to`, tabs included,
    // for text that starts at pixel `x`; returns where it ends.
    int advance(int from, int to, int x) const
    {
        const QChar* s = m_line->constData();
        int i = from;
        while (i < to) {
            uint end = 0;
            const int type = m_ms.fontType(m_line->attributeRun(uint(i), &end));
            const FontData& face = m_ms.m->fontData(type);
            const int stop = int(qMin(end, uint(to)));
            if (face.width >= 0) {
                for (; i < stop; ++i)
                    x += s[i] == u'\t' ? m_ms.tabAdvance(x) : face.width;
                continue;
            }
            const qint16* ascii = face.ascii;
            for (; i < stop; ++i) {
                const char16_t u = s[i].unicode();
                if (u < 128 && u != u'\t' && ascii[u] >= 0)
                    x += ascii[u];
                else if (u == u'\t')
                    x += m_ms.tabAdvance(x);
                else
                    x += m_ms.m->width(type, s[i]);
            }
        }
        return x;
    }

private:
    const Measure& m_ms;
    const TextLine* m_line;
    uint m_start = 0;
    uint m_end = 0;
    int m_type = 0;
    const FontData* m_face = nullptr;
};

DocumentView* measuringView(const TextDocument* doc, bool first)
{
    if (!first && doc->activeView())
        return doc->activeView();
    const QList<DocumentView*> views = doc->views();
    if (!views.isEmpty())
        return views.first();
    return doc->activeView();
}

// Widths need the attributes of the line unless every variant is as wide.
void ensureHighlighted(TextDocument* doc, int line, const Measure& ms)
{
    if (ms.uniform > 0 || doc->lineOf(line)->isHighlighted())
        return;
    const QList<DocumentView*> views = doc->views();
    if (!views.isEmpty())
        doc->colourLine(views.first(), line);
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c.isMark() || c == u'_';
}

// "[\$\w_]" and "[^\w_\s]".
bool isIdentChar(QChar c)
{
    return isWordChar(c) || c == u'$';
}

bool isOperatorChar(QChar c)
{
    return !isWordChar(c) && !c.isSpace();
}

} // namespace

int TextDocument::textLength(int line) const
{
    return int(lineOf(line)->size());
}

int TextDocument::characterColumn(int line, int col, bool forward) const
{
    if (line < 0 || line > lastLine())
        return col;
    const TextLine* l = lineOf(line);
    if (col <= 0 || col >= l->size() || !l->at(col - 1).isHighSurrogate() ||
        !l->at(col).isLowSurrogate())
        return col;
    return forward ? col + 1 : col - 1;
}

int TextDocument::textWidth(int line, int col)
{
    return textWidth(line, 0, col);
}

int TextDocument::textWidth(int line, int from, int col)
{
    TextLine* l = lineOf(line);
    const int len = int(l->size());
    from = qBound(0, from, len);
    const int n = qBound(from, col, len);
    const Measure ms(this, measuringView(this, false));
    int x = 0;
    if (!ms.widths)
        return 0;
    ensureHighlighted(this, line, ms);
    const QStringView text(*l);
    if (ms.uniform > 0) {
        int pos = from;
        if (from == 0) {
            int cells = 0, tabs = 0;
            pos = int(l->tabStopBlock(n, 0, ms.tabCells(), &cells, &tabs));
            x = cells * ms.uniform;
        }
        while (pos < n) {
            const qsizetype t = l->tabIn(pos, n);
            if (t < 0) {
                x += (n - pos) * ms.uniform;
                break;
            }
            x += (int(t) - pos) * ms.uniform;
            x += ms.tabAdvance(x);
            pos = int(t) + 1;
        }
    } else {
        x = LineWidths(ms, l).advance(from, n, 0);
    }
    if (col > len)
        x += (col - qMax(len, from)) * manager()->width(0, QChar(u' '));
    return x;
}

int TextDocument::textLength(int line, int x)
{
    return textLength(line, 0, x);
}

int TextDocument::textLength(int line, int from, int x)
{
    TextLine* l = lineOf(line);
    const int len = int(l->size());
    from = qBound(0, from, len);
    if (x <= 0)
        return from;
    const Measure ms(this, measuringView(this, false));
    if (!ms.widths)
        return len;
    ensureHighlighted(this, line, ms);
    const QStringView text(*l);
    int sum = 0;
    if (ms.uniform > 0) {
        const int u = ms.uniform;
        int pos = from;
        if (from == 0) {
            // From the last block that starts left of x.
            int cells = 0, tabs = 0;
            pos = int(l->tabStopBlock(-1, (x - 1) / u, ms.tabCells(), &cells, &tabs));
            sum = cells * u;
        }
        while (pos < len) {
            const qsizetype t = l->tabIn(pos, len);
            const int segEnd = t < 0 ? len : int(t);
            if (sum + (segEnd - pos) * u >= x && segEnd > pos)
                return pos + (x - sum + u - 1) / u - 1;
            sum += (segEnd - pos) * u;
            if (t < 0)
                return len;
            sum += ms.tabAdvance(sum);
            if (sum >= x)
                return segEnd;
            pos = segEnd + 1;
        }
        return len;
    }
    LineWidths widths(ms, l);
    int i = from;
    while (i < len && sum < x) {
        sum += text[i] == u'\t' ? ms.tabAdvance(sum) : widths.at(i);
        ++i;
    }
    return sum < x ? len : i - 1;
}

int TextDocument::nextWrapPos(int line, int width, int start, int* reached)
{
    TextLine* l = lineOf(line);
    const int len = int(l->size());
    const Measure ms(this, measuringView(this, true));
    if (reached)
        *reached = len;
    if (!ms.widths)
        return len;
    ensureHighlighted(this, line, ms);
    if (width < 30)
        width = 30;
    const QStringView text(*l);
    // Characters are taken while the row is narrower than `width`; the one
    // that made it wider goes to the next row unless it is the row's only one.
    int x = 0;
    int i = qMax(0, start);
    if (ms.uniform > 0) {
        // A line is wrapped a row at a time, so rows must not cost a step
        // per character: without a tab among them, the characters that
        // reach the width are counted in one step.
        const int u = ms.uniform;
        while (x < width && i < len) {
            const int reach = int(qMin<qint64>(len, qint64(i) + (width - x + u - 1) / u));
            if (l->tabIn(i, reach) < 0) {
                x += (reach - i) * u;
                i = reach;
                continue;
            }
            for (; x < width && i < len; ++i)
                x += text[i] == u'\t' ? ms.tabAdvance(x) : u;
        }
    } else {
        LineWidths widths(ms, l);
        for (; x < width && i < len; ++i)
            x += text[i] == u'\t' ? ms.tabAdvance(x) : widths.at(i);
    }
    // Nothing from column i + 1 on was looked at.
    if (reached)
        *reached = i;
    // With word wrap the row ends at its last blank, the blank going to the
    // next row.
    if (nWrapMode == wrapWord && i < len) {
        for (int j = i - 1; j > start && j >= 0; --j) {
            if (text[j].isSpace())
                return j;
        }
    }
    if (x > width && i > start + 1)
        return i - 1;
    return i;
}

int TextDocument::documentHeight() const
{
    DocumentView* v = activeView();
    const int h = v ? v->lineHeight() : 0;
    return lastLine() * h + h;
}

QString TextDocument::wordIn(int line, int col, int* from, int* to) const
{
    if (from)
        *from = col;
    if (to)
        *to = col;
    if (line < 0 || line > lastLine())
        return QString();
    const TextLine* l = lineOf(line);
    const int len = int(l->size());
    if (col < 0 || col >= len)
        return QString();
    bool (*inClass)(QChar) = nullptr;
    if (isIdentChar(l->at(col)))
        inClass = isIdentChar;
    else if (isOperatorChar(l->at(col)))
        inClass = isOperatorChar;
    else
        return QString();
    int a = col;
    while (a > 0 && inClass(l->at(a - 1)))
        --a;
    int b = col + 1;
    while (b < len && inClass(l->at(b)))
        ++b;
    if (from)
        *from = a;
    if (to)
        *to = b;
    return l->mid(a, b - a);
}

QString TextDocument::wordIn(const QPoint& p, int* from, int* to) const
{
    return wordIn(p.y(), p.x(), from, to);
}

QString TextDocument::currentWord() const
{
    DocumentView* v = activeView();
    if (!v)
        return QString();
    int line = 0, col = 0;
    v->cursorPosition(line, col);
    return wordIn(line, col - 1, nullptr, nullptr);
}

void TextDocument::replaceCurrentWord(const QString& s)
{
    DocumentView* v = activeView();
    if (!v)
        return;
    int line = 0, column = 0;
    v->cursorPosition(line, column);
    const QString word = wordIn(line, column - 1, nullptr, nullptr);
    if (word.isEmpty())
        return;
    const TextLine* l = lineOf(line);
    const int len = int(l->size());
    // Here the dollar sign is a boundary, unlike in wordIn.
    int start = 0;
    for (int i = qMin(column - 1, len - 1); i >= 0; --i) {
        if (!isWordChar(l->at(i))) {
            start = i + 1;
            break;
        }
    }
    int end = len;
    for (int i = qMax(0, column); i < len; ++i) {
        if (!isWordChar(l->at(i))) {
            end = i;
            break;
        }
    }
    macroBegin(QStringLiteral("replace ") + word + QStringLiteral(" to ") + s, line, column);
    cmdRemove(line, start, end - start);
    v->setCursorPosition(line, start, false);
    insert(s, 0, 0);
    v->setCursorPosition(line, start + int(s.size()), false);
    macroEnd(line, start + int(s.size()));
}

QString TextDocument::html(int line)
{
    TextLine* l = lineOf(line);
    DocumentView* v = activeView();
    if (v && !l->isHighlighted())
        colourLine(v, line);
    TextHighlight* hl = v ? v->highlighting() : nullptr;
    const int tab = qMax(1, spacesInTab());
    const TextAttribute plain;
    const int len = int(l->size());
    QString out;
    int column = 0; // display column, earlier tabs expanded
    int i = 0;
    while (i < len) {
        const int id = l->attribute(uint(i));
        int j = i + 1;
        while (j < len && l->attribute(uint(j)) == id)
            ++j;
        const TextAttribute* a = hl ? hl->attribute(id) : nullptr;
        if (!a)
            a = &plain;
        const bool italic = a->fontType & 1;
        const bool bold = a->fontType & 2;
        out += QStringLiteral("<font color=\"%1\">").arg(a->color.name());
        if (italic)
            out += QStringLiteral("<i>");
        if (bold)
            out += QStringLiteral("<b>");
        for (int k = i; k < j; ++k) {
            const QChar c = l->at(k);
            if (c == u'\t') {
                const int n = tab - column % tab;
                out += QString(n, QLatin1Char(' '));
                column += n;
                continue;
            }
            ++column;
            // Source text may hold markup of its own ("&lt;" in an HTML
            // file), which must print as written.
            if (c == u'<')
                out += QStringLiteral("&lt;");
            else if (c == u'>')
                out += QStringLiteral("&gt;");
            else if (c == u'&')
                out += QStringLiteral("&amp;");
            else
                out += c;
        }
        if (bold)
            out += QStringLiteral("</b>");
        if (italic)
            out += QStringLiteral("</i>");
        out += QStringLiteral("</font>");
        i = j;
    }
    return out;
}

} // namespace xqwidgets

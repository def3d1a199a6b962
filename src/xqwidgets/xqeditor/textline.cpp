#include "xqwidgets/xqeditor/textline.h"

#include "xqwidgets/largepages.h"
#include "xqwidgets/sharedtext.h"
#include "xqwidgets/slotpool.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace xqwidgets
{

namespace
{

// The saved pass states of a line and the definition that made them.
struct HighlightTrails {
    quint64 owner = 0;
    TextLine::HighlightTrail pass[2];
};

// The tab stop blocks of a long line (see TextLine::tabStopBlock): for the
// start of block k (column k * kTabBlock), the display cells and the tabs
// before it, for tab stops every `tabWidth` cells.
constexpr qsizetype kTabBlock = 4096;
struct TabStops {
    int tabWidth = 0;
    std::vector<int> cells;
    std::vector<int> tabs;
};

// The edits of a line since the oldest stamp a reader may still hold (see
// TextLine::editedFrom): the stamp each took and the column it touched
// first. Stamps come from one counter, so no two lines share one.
struct EditLog {
    quint64 floor = 0; // edits after this stamp are all in `recent`
    std::vector<std::pair<quint64, qsizetype>> recent;
};
constexpr size_t kEditLogSize = 32;

quint64 nextEditStamp()
{
    static quint64 stamps = 0; // lines live on the GUI thread only
    return ++stamps;
}

} // namespace

struct TextLine::Private {
    // One unsigned attribute id per character: while a pass writes them,
    // and on long lines.
    QByteArray attributes;
    quintptr compact = 0; // finished attributes in compact form (see m_ext)
    int marked = 0;
    QList<MarginData> margins;
    QPixmap* linePixmap = nullptr; // not owned
    QColor lineColor;
    // Long lines, and lines whose colouring stopped part way.
    std::unique_ptr<HighlightTrails> trails;
    std::unique_ptr<TabStops> tabStops;
    std::unique_ptr<EditLog> edits;

    bool isEmpty() const
    {
        return attributes.isEmpty() && !trails && !tabStops && !edits && marked == 0 &&
               margins.isEmpty() && !linePixmap && !lineColor.isValid();
    }
};

TextLine::TextLine()
    : isFoldingStart(false), isFolded(false), isFoldVisible(true), m_highlighted(false),
      m_tabsKnown(false), m_hasTabs(false)
{
}

TextLine::TextLine(const QString& text)
    : QString(text), isFoldingStart(false), isFolded(false), isFoldVisible(true),
      m_highlighted(false), m_tabsKnown(false), m_hasTabs(false)
{
}

// Lines live on the GUI thread only: their pool takes no lock.
void* TextLine::operator new(size_t size)
{
    return PooledAllocation<TextLine>::allocate(size);
}

void TextLine::operator delete(void* p, size_t size)
{
    PooledAllocation<TextLine>::release(p, size);
}

namespace
{

// Compact attributes (see TextLine::m_ext): the low two bits tell the form.
enum : quintptr {
    Uniform = 1, // bits 8..15 the attribute, bits 16.. the number of characters
    Runs = 2,    // a block: quint16 count, then count pairs (length 1..255, attribute)
    Flat = 3,    // a block: quint16 length, then one attribute per character
    FormMask = 3,
};
// Lines longer than this keep one byte per character: reading a run form
// walks it from the start.
constexpr qsizetype kCompactMax = 4096;

inline const quint8* blockOf(quintptr word)
{
    return reinterpret_cast<const quint8*>(word & ~FormMask);
}

inline int block16(const quint8* b)
{
    return b[0] | (b[1] << 8);
}

void freeCompact(quintptr word)
{
    if ((word & FormMask) == Runs || (word & FormMask) == Flat)
        std::free(const_cast<quint8*>(blockOf(word)));
}

} // namespace

TextLine::~TextLine()
{
    setCompactAttributes(0);
    delete priv();
}

TextLine::Private* TextLine::priv() const
{
    return m_ext && (m_ext & FormMask) == 0 ? reinterpret_cast<Private*>(m_ext) : nullptr;
}

TextLine::Private* TextLine::extra()
{
    if (Private* p = priv())
        return p;
    auto* p = new Private;
    p->compact = m_ext;
    m_ext = reinterpret_cast<quintptr>(p);
    return p;
}

void TextLine::dropExtraIfEmpty()
{
    Private* p = priv();
    if (p && p->isEmpty()) {
        const quintptr word = p->compact;
        p->compact = 0;
        delete p;
        m_ext = word;
    }
}

quintptr TextLine::compactAttributes() const
{
    if (const Private* p = priv())
        return p->compact;
    return m_ext;
}

void TextLine::setCompactAttributes(quintptr word)
{
    freeCompact(compactAttributes());
    if (Private* p = priv())
        p->compact = word;
    else
        m_ext = word;
}

namespace
{

// The compact form (see TextLine::m_ext) of `n` attributes, n at most
// kCompactMax.
quintptr compactForm(const quint8* s, qsizetype n)
{
    if (n <= 0)
        return 0;
    Q_ASSERT(n <= kCompactMax);
    // One pass writes the runs, and stops once they would take more than
    // a byte for each character.
    quint8 runs[2 + 2 * kCompactMax];
    quint8* out = runs + 2;
    qsizetype pairs = 0;
    bool uniform = true;
    for (qsizetype i = 0; i < n;) {
        const quint8 a = s[i];
        qsizetype j = i + 1;
        while (j < n && j - i < 255 && s[j] == a)
            ++j;
        uniform = uniform && a == s[0];
        if (2 * ++pairs > n && !uniform) {
            // Attributes that change at almost every character: runs would
            // take more than a byte each.
            auto* b = static_cast<quint8*>(std::malloc(size_t(2 + n)));
            b[0] = quint8(n);
            b[1] = quint8(n >> 8);
            std::memcpy(b + 2, s, size_t(n));
            return reinterpret_cast<quintptr>(b) | Flat;
        }
        *out++ = quint8(j - i);
        *out++ = a;
        i = j;
    }
    if (uniform) {
        // All 0 reads as no attributes at all.
        return s[0] ? (quintptr(n) << 16) | (quintptr(s[0]) << 8) | Uniform : 0;
    }
    runs[0] = quint8(pairs);
    runs[1] = quint8(pairs >> 8);
    auto* b = static_cast<quint8*>(std::malloc(size_t(2 + 2 * pairs)));
    std::memcpy(b, runs, size_t(2 + 2 * pairs));
    return reinterpret_cast<quintptr>(b) | Runs;
}

} // namespace

void TextLine::compactAttributesNow()
{
    Private* p = priv();
    if (!p || p->attributes.isEmpty())
        return;
    const quintptr word = compactForm(reinterpret_cast<const quint8*>(p->attributes.constData()),
                                      p->attributes.size());
    p->attributes = QByteArray();
    setCompactAttributes(word);
    dropExtraIfEmpty();
}

void TextLine::setFinishedAttributes(const quint8* attributes, int n)
{
    if (n > kCompactMax || (priv() && priv()->trails)) {
        extra()->attributes = QByteArray(reinterpret_cast<const char*>(attributes), n);
        setCompactAttributes(0);
        return;
    }
    if (Private* p = priv())
        p->attributes = QByteArray();
    setCompactAttributes(compactForm(attributes, n));
    dropExtraIfEmpty();
}

void TextLine::expandAttributes()
{
    const quintptr word = compactAttributes();
    if (!word)
        return;
    QByteArray a;
    switch (word & FormMask) {
    case Uniform:
        a = QByteArray(qsizetype(word >> 16), char(quint8(word >> 8)));
        break;
    case Runs: {
        const quint8* b = blockOf(word);
        const int pairs = block16(b);
        for (int k = 0; k < pairs; ++k)
            a.append(qsizetype(b[2 + 2 * k]), char(b[3 + 2 * k]));
        break;
    }
    default: {
        const quint8* b = blockOf(word);
        a = QByteArray(reinterpret_cast<const char*>(b + 2), block16(b));
        break;
    }
    }
    setCompactAttributes(0);
    extra()->attributes = std::move(a);
}

void TextLine::set(const QString& s)
{
    noteChangeFrom(0);
    m_tabsKnown = false;
    dropTabStops(-1);
    dropHighlightTrails();
    dropAttributesFrom(0);
    QString::operator=(s);
}

// From this many characters (or attribute bytes) on, a line's storage is
// large enough for the cost of mapping fresh memory to matter.
constexpr qsizetype kLargeText = qsizetype(1) << 20;

// Gives the text storage of its own when it is shared or sits inside a much
// larger block (a slice of the load buffer). Room the line's own edits made
// is kept: copying it away before every edit would cost a long line a copy
// and a fresh allocation per keystroke. A copy leaves room for `adding`
// characters and an eighth more, so that typing on the line does not
// allocate at every key.
static void ownText(QString& s, qsizetype adding)
{
    if (s.isNull() || sharedtext::ownsSmallBlock(s))
        return;
    const qsizetype n = s.size();
    QString own(n + qMax<qsizetype>(adding, 0) + n / 8, Qt::Uninitialized);
    preferLargePages(own.data(), size_t(own.size()) * sizeof(QChar));
    std::memcpy(own.data(), s.constData(), size_t(n) * sizeof(QChar));
    own.resize(n); // keeps the room
    s = std::move(own);
}

// Replaces `removed` characters at `index` of `s` (both within the text) by
// `with`, in place when the storage has room. QString::insert at the start
// of a text moves it to a new block whatever room it has at its end; on a
// line of megabytes that is a fresh allocation per keystroke.
template <typename Text, typename Unit>
static void splice(Text& s, qsizetype index, qsizetype removed, const Unit* with, qsizetype n)
{
    if (n == 0 && removed == 0)
        return;
    const qsizetype old = s.size();
    const qsizetype want = old - removed + n;
    if (want > s.capacity() && want >= kLargeText) {
        // A line of megabytes grows into a new block with room for more
        // typing, on large pages, filled in one pass.
        Text grown(want + want / 8, Qt::Uninitialized);
        preferLargePages(grown.data(), size_t(grown.size()) * sizeof(Unit));
        Unit* g = reinterpret_cast<Unit*>(grown.data());
        const Unit* d = reinterpret_cast<const Unit*>(s.constData());
        std::memcpy(g, d, size_t(index) * sizeof(Unit));
        if (with)
            std::memcpy(g + index, with, size_t(n) * sizeof(Unit));
        else
            std::memset(static_cast<void*>(g + index), 0, size_t(n) * sizeof(Unit));
        std::memcpy(g + index + n, d + index + removed,
                    size_t(old - index - removed) * sizeof(Unit));
        grown.resize(want); // keeps the room
        s = std::move(grown);
        return;
    }
    if (n > removed)
        s.resize(want);
    Unit* d = reinterpret_cast<Unit*>(s.data());
    std::memmove(d + index + n, d + index + removed, size_t(old - index - removed) * sizeof(Unit));
    if (with)
        std::memcpy(d + index, with, size_t(n) * sizeof(Unit));
    else
        std::memset(static_cast<void*>(d + index), 0, size_t(n) * sizeof(Unit));
    if (n < removed)
        s.resize(want);
}

static void spliceText(QString& text, qsizetype index, qsizetype removed, const QString& with)
{
    // `with` may be the line itself.
    const QString keep =
        with.constData() == text.constData() ? QString(with.constData(), with.size()) : with;
    ownText(text, keep.size() - removed);
    splice(text, index, removed, keep.constData(), keep.size());
}

// The characters QString::remove takes at `index`.
static qsizetype removable(const QString& s, qsizetype index, qsizetype len)
{
    if (index < 0 || index >= s.size() || len <= 0)
        return 0;
    return qMin(len, s.size() - index);
}

// The text is changed first and the attributes after it: a text that cannot
// get its memory stays as it was (std::bad_alloc leaves the line untouched),
// and attributes that cannot are dropped (see noteEdit).
void TextLine::replace(uint index, uint len, const QString& s)
{
    const qsizetype removed = removable(*this, index, len);
    noteTabs(removed, s);
    if (qsizetype(index) > size()) {
        ownText(*this, s.size());
        const qsizetype end = size();
        QString::insert(index, s); // pads with blanks
        noteChangeFrom(end);
        dropTabStops(end);
        dropHighlightTrails();
        return;
    }
    spliceText(*this, index, removed, s);
    noteEdit(index, removed, s.size());
}

void TextLine::insert(qsizetype index, const QString& s)
{
    noteTabs(0, s);
    if (index < 0 || index > size()) {
        ownText(*this, s.size());
        const qsizetype from = index < 0 ? -1 : size();
        QString::insert(index, s); // pads with blanks
        noteChangeFrom(qMax<qsizetype>(from, 0));
        dropTabStops(from);
        dropHighlightTrails();
        return;
    }
    spliceText(*this, index, 0, s);
    noteEdit(index, 0, s.size());
}

void TextLine::remove(qsizetype index, qsizetype len)
{
    const qsizetype removed = removable(*this, index, len);
    noteTabs(removed, QString());
    ownText(*this, 0);
    QString::remove(index, len);
    noteEdit(index, removed, 0);
}

void TextLine::append(const QString& s)
{
    noteTabs(0, s);
    const qsizetype end = size();
    spliceText(*this, end, 0, s);
    noteEdit(end, 0, s.size());
}

void TextLine::truncate(qsizetype len)
{
    const qsizetype removed = len >= 0 && len < size() ? size() - len : 0;
    noteTabs(removed, QString());
    ownText(*this, 0);
    QString::truncate(len);
    if (removed > 0)
        noteEdit(len, removed, 0);
}

void TextLine::noteTabs(qsizetype removed, const QString& inserted)
{
    if (!m_tabsKnown)
        return;
    if (removed > 0 && m_hasTabs)
        m_tabsKnown = false; // perhaps the last one went
    else if (!m_hasTabs && inserted.contains(QLatin1Char('\t')))
        m_hasTabs = true;
}

qsizetype TextLine::tabIn(qsizetype from, qsizetype to) const
{
    if (!m_tabsKnown) {
        m_hasTabs = QStringView(*this).contains(u'\t');
        m_tabsKnown = true;
    }
    to = qMin(to, size());
    if (!m_hasTabs || from >= to)
        return -1;
    return QStringView(*this).first(to).indexOf(u'\t', qMax<qsizetype>(from, 0));
}

quint64 TextLine::editStamp()
{
    Private* p = priv();
    if (!p || !p->edits) {
        p = extra();
        p->edits = std::make_unique<EditLog>();
        p->edits->floor = nextEditStamp();
        // Noting an edit never allocates: it comes after the text changed.
        p->edits->recent.reserve(kEditLogSize + 1);
    }
    const EditLog& log = *p->edits;
    return log.recent.empty() ? log.floor : log.recent.back().first;
}

qsizetype TextLine::editedFrom(quint64 stamp) const
{
    const Private* p = priv();
    if (!p || !p->edits || stamp < p->edits->floor)
        return 0;
    const EditLog& log = *p->edits;
    qsizetype from = -1;
    bool known = stamp == log.floor;
    for (const auto& [s, column] : log.recent) {
        if (s > stamp)
            from = from < 0 ? column : qMin(from, column);
        else if (s == stamp)
            known = true;
    }
    return known ? from : 0;
}

void TextLine::noteChangeFrom(qsizetype column)
{
    Private* p = priv();
    if (!p || !p->edits)
        return;
    EditLog& log = *p->edits;
    log.recent.emplace_back(nextEditStamp(), qMax<qsizetype>(0, column));
    if (log.recent.size() > kEditLogSize) {
        log.floor = log.recent.front().first;
        log.recent.erase(log.recent.begin());
    }
}

void TextLine::dropTabStops(qsizetype column)
{
    Private* p = priv();
    if (!p || !p->tabStops)
        return;
    // Block k depends on the text before its start only.
    const size_t keep = column < 0 ? 0 : size_t(column / kTabBlock + 1);
    if (keep == 0) {
        p->tabStops.reset();
        dropExtraIfEmpty();
        return;
    }
    if (p->tabStops->cells.size() > keep) {
        p->tabStops->cells.resize(keep);
        p->tabStops->tabs.resize(keep);
    }
}

qsizetype TextLine::tabStopBlock(qsizetype col, int cell, int tabWidth, int* cells, int* tabs)
{
    *cells = 0;
    *tabs = 0;
    const qsizetype n = size();
    if (n < 2 * kTabBlock || tabWidth <= 0)
        return 0;
    Private* p = priv();
    if (!p || !p->tabStops || p->tabStops->tabWidth != tabWidth) {
        p = extra();
        p->tabStops = std::make_unique<TabStops>();
        p->tabStops->tabWidth = tabWidth;
        p->tabStops->cells.push_back(0);
        p->tabStops->tabs.push_back(0);
    }
    TabStops& b = *p->tabStops;
    const qsizetype last = (col < 0 ? n : qMin(col, n)) / kTabBlock;
    // The blocks up to the one asked for (for a cell: up to the first that
    // starts past it), tab to tab from the last one known.
    while (qsizetype(b.cells.size()) <= last && (col >= 0 || b.cells.back() <= cell)) {
        const qsizetype end = qsizetype(b.cells.size()) * kTabBlock;
        qsizetype pos = end - kTabBlock;
        int at = b.cells.back();
        int count = b.tabs.back();
        for (qsizetype t = tabIn(pos, end); t >= 0; t = tabIn(pos, end)) {
            at += int(t - pos);
            at += tabWidth - at % tabWidth;
            ++count;
            pos = t + 1;
        }
        b.cells.push_back(at + int(end - pos));
        b.tabs.push_back(count);
    }
    qsizetype k = qMin(last, qsizetype(b.cells.size()) - 1);
    if (col < 0) {
        const auto it = std::upper_bound(b.cells.begin(), b.cells.begin() + k + 1, cell);
        k = qMax<qsizetype>(0, qsizetype(it - b.cells.begin()) - 1);
    }
    *cells = b.cells[size_t(k)];
    *tabs = b.tabs[size_t(k)];
    return k * kTabBlock;
}

void TextLine::noteEdit(qsizetype column, qsizetype removed, qsizetype inserted)
{
    if (removed == 0 && inserted == 0)
        return;
    noteChangeFrom(column);
    try {
        moveHighlight(column, removed, inserted);
    } catch (const std::bad_alloc&) {
        // The text changed already; colours that cannot follow it are
        // forgotten, and the line is coloured again from its start.
        dropHighlightTrails();
        setCompactAttributes(0);
        if (priv())
            priv()->attributes = QByteArray();
        dropExtraIfEmpty();
        m_highlighted = false;
    }
}

void TextLine::moveHighlight(qsizetype column, qsizetype removed, qsizetype inserted)
{
    dropTabStops(column);
    if (!priv() || !priv()->trails) {
        dropAttributesFrom(column);
        return;
    }
    // The attributes move with the text, so that those before the edit and
    // those a pass finds still standing after it need not be made again.
    QByteArray& a = priv()->attributes;
    if (!a.isEmpty() && column <= a.size())
        splice(a, column, qMin(removed, a.size() - column), static_cast<const char*>(nullptr),
               inserted);
    const qsizetype delta = inserted - removed;
    for (HighlightTrail& t : priv()->trails->pass) {
        // States before the edit whose steps looked at nothing from the
        // edit on stay as they are.
        size_t k = 0;
        qsizetype reach = 0;
        for (; k < t.states.size(); ++k) {
            reach = qMax<qsizetype>(reach, t.states[k].reach);
            if (reach > column || t.states[k].pos > column)
                break;
        }
        // States at or past the end of the edit had the same text after
        // them as they have now: a pass that meets one of them in the same
        // state may take what follows from the earlier pass.
        std::vector<HighlightState> ahead;
        auto keep = [&](HighlightState s) {
            if (s.pos < column + removed)
                return;
            s.pos = int(s.pos + delta);
            s.reach = s.reach >= INT_MAX - qAbs(delta) ? INT_MAX : int(s.reach + delta);
            ahead.push_back(s);
        };
        for (size_t i = k; i < t.states.size(); ++i)
            keep(t.states[i]);
        // Between where the last pass stood and the states of the pass
        // before it lies text that neither made for the other.
        bool first = true;
        for (HighlightState s : t.ahead) {
            s.gapBefore = s.gapBefore || first;
            first = false;
            keep(s);
        }
        t.states.resize(k);
        t.ahead = std::move(ahead);
        // New text, new time: a pass is given up only for what one text cost.
        t.spentNs = 0;
    }
}

TextLine::HighlightTrail* TextLine::highlightTrail(HighlightPass pass, quint64 owner, bool create)
{
    if (priv() && priv()->trails && priv()->trails->owner != owner) {
        // Another definition's states and attributes mean nothing here.
        priv()->trails.reset();
        priv()->attributes = QByteArray();
        setCompactAttributes(0);
        dropExtraIfEmpty();
    }
    if (!priv() || !priv()->trails) {
        if (!create)
            return nullptr;
        // Edits move the attributes of a line with saved states, which
        // needs them one per character.
        expandAttributes();
        extra()->trails = std::make_unique<HighlightTrails>();
        priv()->trails->owner = owner;
    }
    return &priv()->trails->pass[pass];
}

const TextLine::HighlightTrail* TextLine::highlightTrail(HighlightPass pass) const
{
    return priv() && priv()->trails ? &priv()->trails->pass[pass] : nullptr;
}

bool TextLine::highlightCut(HighlightPass pass) const
{
    const HighlightTrail* t = highlightTrail(pass);
    return t && t->cut;
}

void TextLine::dropAttributesFrom(qsizetype column)
{
    // The compact forms hold finished lines, which are coloured again
    // whole: they go at once.
    setCompactAttributes(0);
    if (Private* p = priv(); p && p->attributes.size() > column) {
        p->attributes.truncate(column);
        dropExtraIfEmpty();
    }
}

void TextLine::dropHighlightTrails()
{
    if (priv() && priv()->trails) {
        priv()->trails.reset();
        dropExtraIfEmpty();
    }
}

bool TextLine::removeSpaces()
{
    qsizetype end = size();
    while (end > 0 && at(end - 1).isSpace())
        --end;
    if (end == size())
        return false;
    truncate(end);
    return true;
}

int TextLine::firstChar() const
{
    const qsizetype n = size();
    for (qsizetype i = 0; i < n; ++i) {
        if (!at(i).isSpace())
            return int(i);
    }
    return -1;
}

void TextLine::resetHighlight(int ctx)
{
    const bool same = quint8(ctx) == m_highlightContext;
    m_highlightContext = quint8(ctx);
    m_highlighted = false;
    // Saved states from the same start context stay: the edits since moved
    // them and the attributes with the text, and the passes take from them
    // what still stands.
    if (same && priv() && priv()->trails)
        return;
    dropHighlightTrails();
    // Reading past the array yields 0, so dropping it is the same as a
    // zero fill and costs no memory for lines that are never painted.
    setCompactAttributes(0);
    if (priv()) {
        priv()->attributes = QByteArray();
        dropExtraIfEmpty();
    }
}

void TextLine::doneHighlight()
{
    m_highlighted = true;
    const Private* p = priv();
    if (p && !p->trails && size() <= kCompactMax)
        compactAttributesNow();
}

int TextLine::highlightedTo() const
{
    if (m_highlighted)
        return int(size());
    const HighlightTrail* t = highlightTrail(ColouringPass);
    return t && !t->states.empty() ? qMin(t->states.back().pos, int(size())) : 0;
}

void TextLine::setAttributes(int attr, uint from, uint to)
{
    Private* p = extra();
    if (p->attributes.isEmpty() && p->compact) {
        expandAttributes();
        p = extra();
    }
    if (p->attributes.size() < size()) {
        if (p->attributes.isEmpty() && size() >= kCompactMax) {
            // Room for typing, as the text has (see ownText).
            p->attributes.reserve(size() + size() / 8);
            preferLargePages(p->attributes.data(), size_t(p->attributes.capacity()));
        }
        p->attributes.resize(size(), '\0');
    }
    const uint end = qMin<uint>(to, uint(p->attributes.size()));
    char* data = p->attributes.data();
    for (uint i = from; i < end; ++i)
        data[i] = char(quint8(attr));
}

int TextLine::attribute(uint i) const
{
    if (const Private* p = priv(); p && !p->attributes.isEmpty())
        return i < uint(p->attributes.size()) ? quint8(p->attributes.at(i)) : 0;
    const quintptr word = compactAttributes();
    switch (word & FormMask) {
    case Uniform:
        return i < (word >> 16) ? int(quint8(word >> 8)) : 0;
    case Runs: {
        const quint8* b = blockOf(word);
        const int pairs = block16(b);
        uint start = 0;
        for (int k = 0; k < pairs; ++k) {
            start += b[2 + 2 * k];
            if (i < start)
                return b[3 + 2 * k];
        }
        return 0;
    }
    case Flat: {
        const quint8* b = blockOf(word);
        return i < uint(block16(b)) ? b[2 + i] : 0;
    }
    default:
        return 0;
    }
}

int TextLine::attributeRun(uint i, uint* end) const
{
    const uint n = uint(size());
    auto flatRun = [&](const quint8* a, uint count) {
        if (i >= count) {
            *end = qMax(n, i + 1);
            return 0;
        }
        // Eight at a time: the run of a long line can be its whole length.
        const quint8 v = a[i];
        const quint64 all = quint64(v) * 0x0101010101010101ull;
        uint j = i + 1;
        for (quint64 w; j + 8 <= count; j += 8) {
            std::memcpy(&w, a + j, 8);
            if (w != all)
                break;
        }
        while (j < count && a[j] == v)
            ++j;
        *end = j;
        return int(v);
    };
    if (const Private* p = priv(); p && !p->attributes.isEmpty())
        return flatRun(reinterpret_cast<const quint8*>(p->attributes.constData()),
                       uint(p->attributes.size()));
    const quintptr word = compactAttributes();
    switch (word & FormMask) {
    case Uniform:
        if (i < (word >> 16)) {
            *end = uint(word >> 16);
            return int(quint8(word >> 8));
        }
        break;
    case Runs: {
        const quint8* b = blockOf(word);
        const int pairs = block16(b);
        uint start = 0;
        for (int k = 0; k < pairs; ++k) {
            start += b[2 + 2 * k];
            if (i < start) {
                // Runs of more than 255 characters are stored as several.
                const int attr = b[3 + 2 * k];
                while (k + 1 < pairs && b[3 + 2 * (k + 1)] == attr)
                    start += b[2 + 2 * ++k];
                *end = start;
                return attr;
            }
        }
        break;
    }
    case Flat: {
        const quint8* b = blockOf(word);
        return flatRun(b + 2, uint(block16(b)));
    }
    default:
        break;
    }
    *end = qMax(n, i + 1);
    return 0;
}

void TextLine::setMarked(int m)
{
    if (!priv() && m == 0)
        return;
    extra()->marked = m;
    dropExtraIfEmpty();
}

int TextLine::marked() const
{
    return priv() ? priv()->marked : 0;
}

void TextLine::setMargin(const QString& classId, const QString& itemId)
{
    extra()->margins.append(MarginData{classId, itemId});
}

void TextLine::delMargin(const QString& classId, const QString& itemId)
{
    if (!priv())
        return;
    for (qsizetype i = 0; i < priv()->margins.size(); ++i) {
        const MarginData& m = priv()->margins.at(i);
        if (m.classId == classId && m.itemId == itemId) {
            priv()->margins.removeAt(i);
            break;
        }
    }
    dropExtraIfEmpty();
}

bool TextLine::firstMargin(QString& classId, QString& itemId) const
{
    if (!priv() || priv()->margins.isEmpty())
        return false;
    classId = priv()->margins.first().classId;
    itemId = priv()->margins.first().itemId;
    return true;
}

QStringList TextLine::marginsForClass(const QString& classId) const
{
    QStringList items;
    if (priv()) {
        for (const MarginData& m : priv()->margins) {
            if (m.classId == classId)
                items.append(m.itemId);
        }
    }
    return items;
}

QPixmap* TextLine::linePixmap() const
{
    return priv() ? priv()->linePixmap : nullptr;
}

void TextLine::setLinePixmap(QPixmap* pixmap)
{
    if (!priv() && !pixmap)
        return;
    extra()->linePixmap = pixmap;
    dropExtraIfEmpty();
}

QColor TextLine::lineColor() const
{
    return priv() ? priv()->lineColor : QColor();
}

void TextLine::setLineColor(const QColor& color)
{
    if (!priv() && !color.isValid())
        return;
    extra()->lineColor = color;
    dropExtraIfEmpty();
}

void TextLine::clearLineColor()
{
    setLineColor(QColor());
}

} // namespace xqwidgets

static_assert(sizeof(xqwidgets::TextLine) <= 40, "a line should cost 40 bytes besides its text");

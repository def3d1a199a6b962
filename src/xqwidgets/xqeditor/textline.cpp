#include "textline.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <vector>

namespace xqwidgets
{

struct TextLine::Private {
    QByteArray attributes; // one unsigned attribute id per character
    int marked = 0;
    QList<MarginData> margins;
    QPixmap* linePixmap = nullptr; // not owned
    QColor lineColor;
    std::unique_ptr<HighlightResume> resume; // only while colouring stopped part way

    bool isEmpty() const
    {
        return attributes.isEmpty() && !resume && marked == 0 && margins.isEmpty() && !linePixmap &&
               !lineColor.isValid();
    }
};

TextLine::TextLine()
    : isFoldingStart(false), isFolded(false), isFoldVisible(true), m_highlighted(false)
{
}

TextLine::TextLine(const QString& text)
    : QString(text), isFoldingStart(false), isFolded(false), isFoldVisible(true),
      m_highlighted(false)
{
}

namespace
{

// Fixed-size slots carved from large blocks, with a free list threaded
// through the unused slots. Lines live on the GUI thread only. When the last
// line goes, the blocks go too, so closing documents gives memory back.
class LinePool
{
public:
    void* allocate()
    {
        if (!m_free)
            refill();
        Slot* s = m_free;
        m_free = s->next;
        ++m_live;
        return s;
    }

    void release(void* p)
    {
        auto* s = static_cast<Slot*>(p);
        s->next = m_free;
        m_free = s;
        if (--m_live == 0)
            releaseAll();
    }

private:
    union Slot {
        Slot* next;
        alignas(TextLine) unsigned char bytes[sizeof(TextLine)];
    };
    static constexpr size_t kSlotsPerBlock = 4096;

    void refill()
    {
        auto* block = static_cast<Slot*>(::operator new(sizeof(Slot) * kSlotsPerBlock));
        m_blocks.push_back(block);
        for (size_t i = kSlotsPerBlock; i-- > 0;) {
            block[i].next = m_free;
            m_free = &block[i];
        }
    }

    void releaseAll()
    {
        for (Slot* b : m_blocks)
            ::operator delete(b);
        m_blocks.clear();
        m_free = nullptr;
    }

    Slot* m_free = nullptr;
    std::vector<Slot*> m_blocks;
    size_t m_live = 0;
};

LinePool& pool()
{
    static LinePool* p = new LinePool; // never destroyed: lines may outlive statics
    return *p;
}

} // namespace

void* TextLine::operator new(size_t size)
{
    if (size != sizeof(TextLine))
        return ::operator new(size);
    return pool().allocate();
}

void TextLine::operator delete(void* p, size_t size)
{
    if (!p)
        return;
    if (size != sizeof(TextLine)) {
        ::operator delete(p);
        return;
    }
    pool().release(p);
}

TextLine::~TextLine()
{
    delete d;
}

TextLine::Private* TextLine::extra()
{
    if (!d)
        d = new Private;
    return d;
}

void TextLine::dropExtraIfEmpty()
{
    if (d && d->isEmpty()) {
        delete d;
        d = nullptr;
    }
}

void TextLine::set(const QString& s)
{
    QString::operator=(s);
}

// Gives the text storage of its own, no larger than the text needs, when it
// is shared or sits inside a larger block (a slice of the load buffer).
static void ownText(QString& s)
{
    if (s.isNull())
        return;
    QString::DataPointer& dp = s.data_ptr();
    if (dp.needsDetach() || dp.freeSpaceAtBegin() > 0 || s.capacity() > 2 * s.size() + 32)
        s = QString(s.constData(), s.size());
}

void TextLine::replace(uint index, uint len, const QString& s)
{
    ownText(*this);
    QString::remove(index, len);
    QString::insert(index, s);
}

void TextLine::insert(qsizetype index, const QString& s)
{
    ownText(*this);
    QString::insert(index, s);
}

void TextLine::remove(qsizetype index, qsizetype len)
{
    ownText(*this);
    QString::remove(index, len);
}

void TextLine::append(const QString& s)
{
    ownText(*this);
    QString::append(s);
}

void TextLine::truncate(qsizetype len)
{
    ownText(*this);
    QString::truncate(len);
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
    m_highlightContext = quint8(ctx);
    m_highlighted = false;
    if (d)
        d->resume.reset();
    // Reading past the array yields 0, so dropping it is the same as a
    // zero fill and costs no memory for lines that are never painted.
    if (d && !d->attributes.isEmpty()) {
        d->attributes = QByteArray();
        dropExtraIfEmpty();
    }
}

void TextLine::doneHighlight()
{
    m_highlighted = true;
    if (d && d->resume) {
        d->resume.reset();
        dropExtraIfEmpty();
    }
}

const TextLine::HighlightResume* TextLine::highlightResume() const
{
    return d ? d->resume.get() : nullptr;
}

void TextLine::setHighlightResume(const HighlightResume& r)
{
    Private* p = extra();
    if (!p->resume)
        p->resume = std::make_unique<HighlightResume>();
    *p->resume = r;
}

int TextLine::highlightedTo() const
{
    if (m_highlighted)
        return int(size());
    const HighlightResume* r = highlightResume();
    return r ? qMin(r->pos, int(size())) : 0;
}

void TextLine::setAttributes(int attr, uint from, uint to)
{
    Private* p = extra();
    if (p->attributes.size() < size())
        p->attributes.resize(size(), '\0');
    const uint end = qMin<uint>(to, uint(p->attributes.size()));
    char* data = p->attributes.data();
    for (uint i = from; i < end; ++i)
        data[i] = char(quint8(attr));
}

int TextLine::attribute(uint i) const
{
    if (!d || i >= uint(d->attributes.size()))
        return 0;
    return quint8(d->attributes.at(i));
}

void TextLine::setMarked(int m)
{
    if (!d && m == 0)
        return;
    extra()->marked = m;
    dropExtraIfEmpty();
}

int TextLine::marked() const
{
    return d ? d->marked : 0;
}

void TextLine::setMargin(const QString& classId, const QString& itemId)
{
    extra()->margins.append(MarginData{classId, itemId});
}

void TextLine::delMargin(const QString& classId, const QString& itemId)
{
    if (!d)
        return;
    for (qsizetype i = 0; i < d->margins.size(); ++i) {
        const MarginData& m = d->margins.at(i);
        if (m.classId == classId && m.itemId == itemId) {
            d->margins.removeAt(i);
            break;
        }
    }
    dropExtraIfEmpty();
}

bool TextLine::firstMargin(QString& classId, QString& itemId) const
{
    if (!d || d->margins.isEmpty())
        return false;
    classId = d->margins.first().classId;
    itemId = d->margins.first().itemId;
    return true;
}

QStringList TextLine::marginsForClass(const QString& classId) const
{
    QStringList items;
    if (d) {
        for (const MarginData& m : d->margins) {
            if (m.classId == classId)
                items.append(m.itemId);
        }
    }
    return items;
}

QPixmap* TextLine::linePixmap() const
{
    return d ? d->linePixmap : nullptr;
}

void TextLine::setLinePixmap(QPixmap* pixmap)
{
    if (!d && !pixmap)
        return;
    extra()->linePixmap = pixmap;
    dropExtraIfEmpty();
}

QColor TextLine::lineColor() const
{
    return d ? d->lineColor : QColor();
}

void TextLine::setLineColor(const QColor& color)
{
    if (!d && !color.isValid())
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

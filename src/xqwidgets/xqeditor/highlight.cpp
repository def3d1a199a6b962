#include "xqwidgets/xqeditor/highlight.h"

#include "xqwidgets/xqeditor/highlight_p.h"
#include "xqwidgets/xqeditor/highlightregistry_p.h"
#include "xqwidgets/xqeditor/pattern_p.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QDomDocument>
#include <QDomElement>
#include <QHash>
#include <QSet>
#include <QVarLengthArray>

#include <algorithm>
#include <atomic>
#include <climits>
#include <ctime>

#include <cstring>
#include <memory>

namespace xqwidgets
{

using highlightregistry::definitionSerials;
using highlightregistry::fallbackDocument;
using highlightregistry::highlightDict;
using highlightregistry::HighlightSettings;
using highlightregistry::kSettingsRoot;
using highlightregistry::loadDocument;

namespace
{

// The child elements of `parent` in order, up to the first child that is not
// an element (a comment or processing instruction ends a section).
QList<QDomElement> elementWalk(const QDomElement& parent)
{
    QList<QDomElement> list;
    for (QDomNode n = parent.firstChild(); !n.isNull() && n.isElement(); n = n.nextSibling())
        list.append(n.toElement());
    return list;
}

struct Sections {
    QDomElement root;
    QList<QDomElement> items;
    QList<QDomElement> contents;
    QList<QDomElement> breaks;
    bool usable = false;
};

// A definition the engine can run: every section present, no more ids than
// a line can store, and a first context in both tables.
Sections readSections(const QDomDocument& doc)
{
    Sections s;
    s.root = doc.documentElement();
    if (s.root.isNull())
        return s;
    const QDomElement items = s.root.firstChildElement(QStringLiteral("Items"));
    const QDomElement contents = s.root.firstChildElement(QStringLiteral("Contents"));
    const QDomElement breaks = s.root.firstChildElement(QStringLiteral("Break"));
    if (items.isNull() || contents.isNull() || breaks.isNull())
        return s;
    s.items = elementWalk(items);
    s.contents = elementWalk(contents);
    s.breaks = elementWalk(breaks);
    if (s.items.size() > TextHighlight::MaxIds || s.contents.size() > TextHighlight::MaxIds ||
        s.breaks.size() > TextHighlight::MaxIds || s.contents.isEmpty())
        return s;
    const QString first = s.contents.first().tagName();
    for (const QDomElement& e : std::as_const(s.breaks)) {
        if (e.tagName() == first) {
            s.usable = true;
            break;
        }
    }
    return s;
}

// Words of a keyword list: blanks, tabs and line breaks separate them.
QStringList splitWords(const QString& value)
{
    QStringList words;
    QString word;
    for (const QChar c : value) {
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r') {
            if (!word.isEmpty())
                words.append(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.isEmpty())
        words.append(word);
    return words;
}

// Which contexts were entered at the current position without consuming a
// character; entering one of them again would cycle for ever.
struct Visited {
    quint64 bits[4] = {0, 0, 0, 0};
    void reset(int ctx)
    {
        bits[0] = bits[1] = bits[2] = bits[3] = 0;
        mark(ctx);
    }
    void mark(int ctx) { bits[ctx >> 6] |= quint64(1) << (ctx & 63); }
    bool has(int ctx) const { return (bits[ctx >> 6] >> (ctx & 63)) & 1; }
};

bool g_lineScans = true;

} // namespace

void setHighlightLineScans(bool on)
{
    g_lineScans = on;
}

// ---- rules

HighlightItem::HighlightItem(int attr, int ctx, int empty) : attr(attr), ctx(ctx), empty(empty) {}

HighlightItem::~HighlightItem() = default;

int HighlightItem::find(const QChar* text, int length, const Pattern::LineScan* scan)
{
    return accept(text, match(text, length, scan));
}

int HighlightItem::accept(const QChar*, int matched) const
{
    return matched;
}

int HighlightItem::match(const QChar* text, int length, const Pattern::LineScan* scan)
{
    if (length <= 0)
        return -1;
    const QStringView view(text, length);
    if (anchored)
        return regexp.matchLength(view, scan);
    int matched = 0;
    return regexp.indexIn(view, &matched, scan) < 0 ? -1 : matched;
}

HighlightUntilItem::HighlightUntilItem(int attr, int ctx, int empty, bool inc, bool full)
    : HighlightItem(attr, ctx, empty), inc(inc), full(full)
{
    anchored = false;
}

int HighlightUntilItem::find(const QChar* text, int length, const Pattern::LineScan* scan)
{
    if (length <= 0)
        return -1;
    // Searched at every position the pass tries it at, to the end of the
    // line: the scan lets a search reuse the previous answer while the pass
    // has not passed it, so a long line costs in proportion to its length.
    int matched = 0;
    const int at = regexp.indexIn(QStringView(text, length), &matched, scan);
    if (at < 0)
        return full ? length : -1;
    return at + (inc ? matched : 0);
}

namespace
{

inline uint wordHash(const char16_t* s, int n)
{
    uint h = 2166136261u;
    for (int i = 0; i < n; ++i)
        h = (h ^ s[i]) * 16777619u;
    return h;
}

} // namespace

HighlightKeyword::HighlightKeyword(int attr, int ctx, int empty, const QStringList& keywords,
                                   bool caseSensitive)
    : HighlightItem(attr, ctx, empty), caseSensitive(caseSensitive), words(keywords)
{
    uint capacity = 8;
    while (capacity < uint(words.size()) * 2)
        capacity *= 2;
    m_slots.assign(capacity, -1);
    m_mask = capacity - 1;
    for (int w = 0; w < words.size(); ++w) {
        const QString& word = words.at(w);
        const auto* text = reinterpret_cast<const char16_t*>(word.utf16());
        const int n = int(word.size());
        if (n == 0 || contains(text, n))
            continue;
        uint i = wordHash(text, n) & m_mask;
        while (m_slots[i] >= 0)
            i = (i + 1) & m_mask;
        m_slots[i] = w;
        ++m_distinct;
        m_minLength = m_minLength ? qMin(m_minLength, n) : n;
        m_maxLength = qMax(m_maxLength, n);
    }
}

bool HighlightKeyword::contains(const char16_t* word, int length) const
{
    for (uint i = wordHash(word, length) & m_mask;; i = (i + 1) & m_mask) {
        const int w = m_slots[i];
        if (w < 0)
            return false;
        const QString& key = words.at(w);
        if (key.size() == length &&
            std::memcmp(key.utf16(), word, size_t(length) * sizeof(char16_t)) == 0)
            return true;
    }
}

int HighlightKeyword::accept(const QChar* text, int matched) const
{
    const int n = matched;
    if (n <= 0 || n < m_minLength || n > m_maxLength)
        return -1;
    const char16_t* s = reinterpret_cast<const char16_t*>(text);
    if (caseSensitive)
        return contains(s, n) ? n : -1;
    QVarLengthArray<char16_t, 64> lower(n);
    for (int i = 0; i < n; ++i) {
        const char32_t l = QChar::toLower(char32_t(s[i]));
        lower[i] = l < 0x10000 ? char16_t(l) : s[i];
    }
    return contains(lower.constData(), n) ? n : -1;
}

// ---- definition

namespace
{

// Which rules of a context can do anything at a position, by the character
// there: bit i stands for rule i. A rule is left out only when its pattern
// cannot match there and it has no context to switch to on a miss, so the
// walk gives the same result while skipping most of the calls. Index 128
// stands for every character from 128 on, 129 for the end of the line.
struct Dispatch {
    quint64 masks[130];

    static std::unique_ptr<Dispatch> build(const HighlightContext& list)
    {
        if (list.size() > 64)
            return nullptr;
        auto d = std::make_unique<Dispatch>();
        for (quint64& m : d->masks)
            m = 0;
        for (int i = 0; i < list.size(); ++i) {
            const HighlightItem* item = list.at(i);
            const quint64 bit = quint64(1) << i;
            const bool always = item->empty != -1;
            for (int c = 0; c < 128; ++c) {
                if (always || !item->anchored || item->regexp.mayStartWith(char16_t(c)))
                    d->masks[c] |= bit;
            }
            d->masks[128] |= bit;
            if (always)
                d->masks[129] |= bit;
        }
        return d;
    }
    quint64 at(const QChar* text, int pos, int length) const
    {
        if (pos >= length)
            return masks[129];
        const char16_t c = text[pos].unicode();
        return masks[c < 128 ? c : 128];
    }
};

inline int lowestBit(quint64 m)
{
    return __builtin_ctzll(m);
}

} // namespace

namespace
{

quint64 nextHighlightSerial()
{
    static std::atomic<quint64> serial{0};
    return ++serial;
}

} // namespace

struct TextHighlight::Private {
    std::array<HighlightContext*, MaxIds> contextList{};
    std::array<HighlightContext*, MaxIds> ctnList{};
    std::array<std::unique_ptr<Dispatch>, MaxIds> contextDispatch;
    std::array<std::unique_ptr<Dispatch>, MaxIds> ctnDispatch;
    std::array<TextAttribute*, MaxIds> attributeList{};
    QString hname;
    QString key;
    Sections sections;
    QHash<QString, int> itemIds;
    QHash<QString, int> contextIds;
    QStringList contextNames;
    QStringList breakNames;
    // Tells the states this definition saved on lines from another's.
    quint64 serial = 0;

    void buildSection(const QList<QDomElement>& section, bool isBreak);
};

TextHighlight::TextHighlight(const QString& name, TextEditorManager* manager) : d(new Private)
{
    QHash<QString, QDomDocument>& dict = highlightDict();
    auto it = dict.find(name);
    if (it == dict.end())
        it = dict.insert(name, loadDocument(name, manager));
    const QDomDocument* doc = &it.value();
    auto serial = definitionSerials().find(name);
    if (serial == definitionSerials().end())
        serial = definitionSerials().insert(name, nextHighlightSerial());
    d->serial = serial.value();
    d->sections = readSections(*doc);
    if (!d->sections.usable) {
        // A definition the engine cannot run is replaced as a whole.
        doc = &fallbackDocument();
        d->sections = readSections(*doc);
    }
    d->key = name;
    d->hname = d->sections.root.attribute(QStringLiteral("name"));

    const Sections& s = d->sections;
    for (int i = 0; i < s.items.size(); ++i)
        d->itemIds.insert(s.items.at(i).tagName(), i);
    for (int i = 0; i < s.contents.size(); ++i) {
        d->contextIds.insert(s.contents.at(i).tagName(), i);
        d->contextNames.append(s.contents.at(i).tagName());
    }
    for (const QDomElement& e : s.breaks)
        d->breakNames.append(e.tagName());

    createItemData(doc, manager);
    makeCtnList(doc);
    makeContextList(doc);
    d->sections = Sections(); // the document is not referred to after construction
}

TextHighlight::~TextHighlight()
{
    for (int i = 0; i < MaxIds; ++i) {
        delete d->contextList[i];
        delete d->ctnList[i];
        delete d->attributeList[i];
    }
    delete d;
}

TextAttribute* TextHighlight::attribute(int id) const
{
    if (id < 0 || id >= MaxIds)
        return nullptr;
    return d->attributeList[id];
}

QString TextHighlight::name() const
{
    return d->hname;
}

const HighlightContext* TextHighlight::context(int id) const
{
    return id >= 0 && id < MaxIds ? d->contextList[id] : nullptr;
}

const HighlightContext* TextHighlight::breakContext(int id) const
{
    return id >= 0 && id < MaxIds ? d->ctnList[id] : nullptr;
}

QStringList TextHighlight::contextNames() const
{
    return d->contextNames;
}

QStringList TextHighlight::breakContextNames() const
{
    return d->breakNames;
}

void TextHighlight::createItemData(const QDomDocument*, TextEditorManager* manager)
{
    const HighlightSettings settings(manager);
    const QString root = kSettingsRoot + name() + QLatin1Char('/');
    const QList<QDomElement>& items = d->sections.items;
    for (int id = 0; id < items.size(); ++id) {
        const QDomElement& e = items.at(id);
        const QString key = root + e.tagName();
        const QString style =
            settings.value(key + QLatin1String("/style"), e.attribute(QStringLiteral("style")));
        const QString color =
            settings.value(key + QLatin1String("/color"), e.attribute(QStringLiteral("color")));
        const QString bgcolor =
            settings.value(key + QLatin1String("/bgcolor"), e.attribute(QStringLiteral("bgcolor")));
        auto* a = new TextAttribute;
        const bool bold = style.contains(QLatin1Char('b'));
        const bool italic = style.contains(QLatin1Char('i'));
        a->color = QColor(color);
        a->usebg = !bgcolor.isEmpty();
        if (a->usebg)
            a->bgcolor = QColor(bgcolor);
        a->fontType = 2 * int(bold) + int(italic);
        a->itemName = e.tagName();
        d->attributeList[id] = a;
    }
}

void TextHighlight::makeCtnList(const QDomDocument*)
{
    d->buildSection(d->sections.breaks, true);
}

void TextHighlight::makeContextList(const QDomDocument*)
{
    d->buildSection(d->sections.contents, false);
}

void TextHighlight::Private::buildSection(const QList<QDomElement>& section, bool isBreak)
{
    // A context switch names a context of the same section; its id is that of
    // the Contents context of the same name.
    QSet<QString> carried;
    for (const QDomElement& c : section)
        carried.insert(c.tagName());
    auto target = [&](const QDomElement& r, const QString& attribute) {
        if (!r.hasAttribute(attribute))
            return -1;
        const QString name = r.attribute(attribute);
        if (!carried.contains(name))
            return 0;
        return contextIds.value(name, 0);
    };

    auto& table = isBreak ? ctnList : contextList;
    for (int pos = 0; pos < section.size(); ++pos) {
        const QDomElement& c = section.at(pos);
        const int id = isBreak ? contextIds.value(c.tagName(), -1) : pos;
        if (id < 0)
            continue; // a Break context without a Contents context has no id
        auto* list = new HighlightContext;
        for (const QDomElement& r : elementWalk(c)) {
            const int attr = isBreak ? 0 : itemIds.value(r.attribute(QStringLiteral("item")), 0);
            const int ctx = target(r, QStringLiteral("lineEndContent"));
            const int empty = target(r, QStringLiteral("emptyContent"));
            const QString mode = r.attribute(QStringLiteral("mode"));
            const bool until = mode.contains(QLatin1String("until"));
            HighlightItem* item;
            if (r.hasAttribute(QStringLiteral("keyword"))) {
                item = new HighlightKeyword(
                    attr, ctx, empty, splitWords(r.attribute(QStringLiteral("keyword"))),
                    r.attribute(QStringLiteral("caseSensitive")) != QLatin1String("false"));
            } else if (until) {
                item = new HighlightUntilItem(attr, ctx, empty,
                                              !mode.contains(QLatin1String("exclude")),
                                              mode.contains(QLatin1String("allowfull")));
            } else {
                item = new HighlightItem(attr, ctx, empty);
            }
            // Rules other than "until" match at the current position only.
            item->anchored = !until;
            item->regexp.setPattern(r.attribute(QStringLiteral("regexp")),
                                    !mode.contains(QLatin1String("noCaseSensitive")),
                                    mode.contains(QLatin1String("minimal")));
            list->append(item);
        }
        // Rules that match alike at one place share the first one's match.
        for (int i = 0; i < list->size() && i < 64; ++i) {
            HighlightItem* item = list->at(i);
            if (!item->anchored || item->alike >= 0)
                continue;
            for (int j = i + 1; j < list->size() && j < 64; ++j) {
                HighlightItem* later = list->at(j);
                if (later->anchored && later->alike < 0 &&
                    later->regexp.matchesAlike(item->regexp)) {
                    item->alike = i;
                    later->alike = i;
                }
            }
        }
        delete table[id];
        table[id] = list;
        (isBreak ? ctnDispatch : contextDispatch)[id] = Dispatch::build(*list);
    }
}

// ---- engine

namespace
{

// Where the colouring pass writes attributes: into the line, or, for a line
// coloured start to end in one go, into a buffer the line then takes in its
// finished form at once (no per-line record to grow and shrink on the way).
struct AttributeSink {
    TextLine* line;
    quint8* flat = nullptr;
    void set(int attr, int from, int to) const
    {
        if (flat)
            std::memset(flat + from, attr, size_t(to - from));
        else
            line->setAttributes(attr, uint(from), uint(to));
    }
};

// One walk of the rules of `list` at `pos`, shared by both passes: a rule
// that matches consumes its characters (painted with its attribute when
// `line` colours) and the walk goes on with the next rule, or ends when the
// rule switches context; a rule that misses but names an "empty" context
// switches to it without consuming. Returns whether anything happened.
template <bool Colour>
bool walk(const HighlightContext*& list, const Dispatch*& dispatch, int& ctx, int& pos,
          const QChar* text, int length, const Pattern::LineScan* scan, Visited& visited,
          const AttributeSink& line,
          const std::array<HighlightContext*, TextHighlight::MaxIds>& table,
          const std::array<std::unique_ptr<Dispatch>, TextHighlight::MaxIds>& dispatches)
{
    bool moved = false;
    const int count = int(list->size());
    int idx = 0;
    // The matches of rules that share theirs (see HighlightItem::alike) at
    // the current position, by the index of the first such rule.
    quint64 known = 0;
    int shared[64];
    while (idx < count) {
        // Whether the walk goes on here depends on the character at `pos`,
        // or on the line ending there.
        if (scan)
            scan->reachTo(pos + 1);
        if (dispatch) {
            const quint64 m = dispatch->at(text, pos, length) >> idx;
            if (!m)
                break;
            idx += lowestBit(m);
        }
        HighlightItem* item = list->at(idx++);
        const int left = length - pos;
        int n = -1;
        if (left > 0) {
            const int key = dispatch ? item->alike : -1;
            if (key < 0) {
                n = item->find(text + pos, left, scan);
            } else {
                if (!((known >> key) & 1)) {
                    shared[key] = item->match(text + pos, left, scan);
                    known |= quint64(1) << key;
                }
                n = item->accept(text + pos, shared[key]);
            }
        } else if (scan)
            scan->reachTo(length + 1); // what happens here depends on the line ending here

        if (n >= 1) {
            moved = true;
            known = 0;
            const int end = pos + qMin(n, left);
            if (Colour)
                line.set(item->attr, pos, end);
            pos = end;
            visited.reset(ctx);
            if (item->ctx != -1) {
                ctx = item->ctx;
                list = table[ctx];
                dispatch = dispatches[ctx].get();
                visited.reset(ctx);
                return true;
            }
        } else if (item->empty != -1) {
            if (visited.has(item->empty))
                return moved; // a cycle of switches: as if nothing matched here
            ctx = item->empty;
            list = table[ctx];
            dispatch = dispatches[ctx].get();
            visited.mark(ctx);
            return true;
        }
    }
    return moved;
}

} // namespace

namespace
{

// Characters between two saved states of a pass along a long line, and the
// length from which a line keeps them.
constexpr int kStateSpacing = 4096;
constexpr int kLongLine = 2 * kStateSpacing;

// A line's pass may take this much processor time (the base, and a little
// per character) before it stops and leaves the rest for later: a definition
// with a runaway pattern or thousands of rules in a context must not stall
// typing. A pass costs far less than a microsecond per character. A long
// line whose passes have together taken g_giveUpFactor times that much is
// given up: the rest of it is left plain.
qint64 g_budgetBaseNs = 10'000'000;
qint64 g_budgetPerCharNs = 1'000;
qint64 g_giveUpNs = -1; // -1: g_giveUpFactor times the line's budget
constexpr qint64 g_giveUpFactor = 20;
// For tests: a run stops after this many steps whatever the clock says
// (0: the time budget alone decides).
int g_stepBudget = 0;

qint64 threadCpuNs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// For tests: the clock the budgets read in place of the thread's time.
qint64 (*g_clock)() = nullptr;

// One run of a pass stops after this much time at most, whatever the line's
// budget: on a line of megabytes the budget is many seconds, and a paint that
// needs the line's end (End, say) would wait for all of it. The rest is
// coloured in idle time.
constexpr qint64 g_runCapNs = 100'000'000;

class LineBudget
{
public:
    explicit LineBudget(int length)
        : m_budget(g_budgetBaseNs + qint64(length) * g_budgetPerCharNs),
          m_limit(qMin(m_budget, qMax(g_budgetBaseNs, g_runCapNs))), m_engine(patternEngineCalls())
    {
    }
    // Looked at every few steps, and after a few calls of the regular
    // expression engine (one of which may run long). The clock is read
    // first at the first look, not when the pass starts: reading the
    // thread's processor time is a system call, dearer than a whole pass
    // over a short line, and most lines end before the first look.
    bool spent()
    {
        if (g_stepBudget > 0)
            return ++m_steps > g_stepBudget;
        const quint64 engine = patternEngineCalls();
        if (--m_countdown > 0 && engine - m_engine < 4)
            return false;
        m_countdown = 64;
        m_engine = engine;
        const qint64 now = g_clock ? g_clock() : threadCpuNs();
        if (m_start < 0) {
            m_start = now;
            return false;
        }
        m_elapsed = now - m_start;
        return m_elapsed > m_limit;
    }
    // The time counted so far (from the first look).
    qint64 elapsed() const { return m_elapsed; }
    qint64 giveUpAt() const { return g_giveUpNs >= 0 ? g_giveUpNs : g_giveUpFactor * m_budget; }

private:
    qint64 m_budget;
    qint64 m_limit;
    qint64 m_start = -1;
    qint64 m_elapsed = 0;
    quint64 m_engine;
    int m_countdown = 64;
    int m_steps = 0;
};

using ContextTable = std::array<HighlightContext*, TextHighlight::MaxIds>;
using DispatchTable = std::array<std::unique_ptr<Dispatch>, TextHighlight::MaxIds>;

// One pass over `line` (the colouring pass with Colour, else the context
// pass), from its start context or from where it stood before: up to the
// first step that starts at `upTo` or later (a negative `upTo`: to the
// end). Returns the context in force where it ended. On long lines, and
// when it stops part way, the pass keeps its states in the line's trail;
// from a state the edits left standing it goes on, and on meeting a state
// of the earlier pass past an edit it takes the rest from that pass.
// A pass that runs out of time keeps its state in the trail, marks the
// trail cut and returns -1: it has not reached the line's end, and a later
// run goes on from there.
template <bool Colour>
int runPass(TextLine* line, int upTo, quint64 owner, const ContextTable& table,
            const DispatchTable& dispatches)
{
    const QChar* text = line->unicode();
    const int length = int(line->size());
    const TextLine::HighlightPass which = Colour ? TextLine::ColouringPass : TextLine::ContextPass;
    const bool stops = Colour && upTo >= 0 && upTo < length;
    TextLine::HighlightTrail* trail =
        line->highlightTrail(which, owner, length >= kLongLine || stops);
    // Without a trail the pass runs from the start to the end of a line
    // shorter than kLongLine.
    static thread_local quint8 scratch[kLongLine];
    AttributeSink sink{line};
    if (Colour && !trail) {
        sink.flat = scratch;
        std::memset(scratch, 0, size_t(length));
    }
    // Without scans nothing tells how far the rules looked: states are then
    // good only for going on, never after an edit.
    const bool tracked = g_lineScans;

    TextLine::HighlightState state;
    state.ctx = line->highlightContext();
    Visited visited;
    visited.reset(state.ctx);
    if (trail && !trail->states.empty()) {
        state = trail->states.back();
        std::copy(state.visited, state.visited + 4, visited.bits);
    } else if (trail) {
        std::copy(visited.bits, visited.bits + 4, state.visited);
        trail->states.push_back(state);
    }
    int ctx = state.ctx;
    int pos = state.pos;
    const HighlightContext* list = table[ctx];
    const Dispatch* dispatch = dispatches[ctx].get();
    const Pattern::LineScan scan(text, length);
    const Pattern::LineScan* s = tracked ? &scan : nullptr;
    scan.setReach(pos);
    auto save = [&]() {
        TextLine::HighlightState n;
        n.pos = pos;
        n.ctx = ctx;
        n.reach = tracked ? int(qMin<qsizetype>(scan.reach(), INT_MAX)) : INT_MAX;
        std::copy(visited.bits, visited.bits + 4, n.visited);
        trail->states.push_back(n);
        scan.setReach(pos);
    };
    auto resumeFrom = [&](const TextLine::HighlightState& st) {
        pos = st.pos;
        ctx = st.ctx;
        std::copy(st.visited, st.visited + 4, visited.bits);
        list = table[ctx];
        dispatch = dispatches[ctx].get();
        scan.setReach(pos);
    };
    size_t ahead = 0;
    LineBudget budget(length);
    bool cut = false;
    while (pos < length) {
        if (upTo >= 0 && pos >= upTo) {
            if (trail->states.back().pos != pos)
                save();
            trail->cut = false;
            trail->ahead.erase(trail->ahead.begin(), trail->ahead.begin() + qsizetype(ahead));
            return ctx;
        }
        if (!list) {
            // An id without a context here: the rest of the line matches nothing.
            if (Colour)
                sink.set(0, pos, length);
            scan.reachTo(length + 1);
            pos = length;
            break;
        }
        if (budget.spent()) {
            // A short line is never given up, only cut and resumed: its
            // pass is finite, and the time a run seems to take says more
            // about how busy the machine is than about the line. Its
            // colours must not depend on that.
            const qint64 spent = (trail ? trail->spentNs : 0) + budget.elapsed();
            if (length < kLongLine || spent < budget.giveUpAt()) {
                cut = true;
                break;
            }
            // Given up: the rest of the line is plain.
            if (Colour)
                sink.set(0, pos, length);
            scan.reachTo(length + 1);
            pos = length;
            break;
        }
        if (s)
            scan.reachTo(pos + 1); // the rules are chosen by the character here
        if (!walk<Colour>(list, dispatch, ctx, pos, text, length, s, visited, sink, table,
                          dispatches) &&
            pos < length) {
            if (Colour)
                sink.set(0, pos, pos + 1);
            ++pos;
            visited.reset(ctx);
        }
        if (!trail)
            continue;
        std::vector<TextLine::HighlightState>& before = trail->ahead;
        while (ahead < before.size() && before[ahead].pos < pos)
            ++ahead;
        if (ahead < before.size() && before[ahead].pos == pos && before[ahead].ctx == ctx &&
            std::equal(visited.bits, visited.bits + 4, before[ahead].visited)) {
            // The earlier pass stood here in the same state: from here on
            // its states and attributes are what this pass would make.
            TextLine::HighlightState met = before[ahead];
            met.reach = tracked ? int(qMin<qsizetype>(scan.reach(), INT_MAX)) : INT_MAX;
            met.gapBefore = false;
            trail->states.push_back(met);
            // As far as that pass went in one run.
            size_t run = ahead + 1;
            while (run < before.size() && !before[run].gapBefore)
                ++run;
            trail->states.insert(trail->states.end(), before.begin() + qsizetype(ahead) + 1,
                                 before.begin() + qsizetype(run));
            before.erase(before.begin(), before.begin() + qsizetype(run));
            ahead = 0;
            resumeFrom(trail->states.back());
            continue;
        }
        if (pos - trail->states.back().pos >= kStateSpacing)
            save();
    }
    if (cut) {
        // Kept for the next run: a line short enough to need no trail gets
        // one now, with the attributes made so far.
        if (!trail) {
            trail = line->highlightTrail(which, owner, true);
            if (Colour)
                line->setFinishedAttributes(sink.flat, length);
            TextLine::HighlightState first;
            first.ctx = line->highlightContext();
            Visited start;
            start.reset(first.ctx);
            std::copy(start.bits, start.bits + 4, first.visited);
            trail->states.push_back(first);
        }
        // What lies past the cut keeps its attributes: the states of an
        // earlier pass ahead still vouch for theirs.
        if (trail->states.back().pos != pos)
            save();
        trail->ahead.erase(trail->ahead.begin(), trail->ahead.begin() + qsizetype(ahead));
        trail->cut = true;
        trail->spentNs += budget.elapsed();
        return -1;
    }
    if (trail) {
        trail->ahead.clear();
        trail->cut = false;
        trail->spentNs = 0;
        if (trail->states.back().pos != length)
            save();
    }
    if (Colour) {
        if (sink.flat)
            line->setFinishedAttributes(sink.flat, length);
        // A short line needs no states once coloured, unless its context
        // pass ran out of time: that one goes on from its own.
        if (length < kLongLine && !line->highlightCut(TextLine::ContextPass))
            line->dropHighlightTrails();
        line->doneHighlight();
    }
    return ctx;
}

} // namespace

int TextHighlight::doHighlight(int ctx, TextLine* line)
{
    if (ctx < 0 || ctx >= MaxIds)
        ctx = 0;
    line->resetHighlight(ctx);
    return runPass<false>(line, -1, d->serial, d->ctnList, d->ctnDispatch);
}

void TextHighlight::highlight(TextLine* line)
{
    highlight(line, -1);
}

void TextHighlight::highlight(TextLine* line, int upTo)
{
    runPass<true>(line, upTo, d->serial, d->contextList, d->contextDispatch);
}

void setHighlightStepBudget(int steps)
{
    g_stepBudget = steps;
}

void setHighlightClock(qint64 (*clock)())
{
    g_clock = clock;
}

void setHighlightLineBudget(qint64 baseNs, qint64 perCharNs, qint64 giveUpNs)
{
    g_budgetBaseNs = baseNs;
    g_budgetPerCharNs = perCharNs;
    g_giveUpNs = giveUpNs;
}

} // namespace xqwidgets

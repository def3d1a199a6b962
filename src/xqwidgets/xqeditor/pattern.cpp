#include "xqwidgets/xqeditor/pattern.h"

#include "xqwidgets/xqeditor/pattern_p.h"
#include "xqwidgets/xqeditor/patternengine.h"

#include <QStringList>

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

namespace xqwidgets
{

namespace
{

// The regular expression engine gives up past this much backtracking (about
// what a linear pattern takes on a line of a million characters), so a
// pathological pattern costs a bounded time per attempt instead of freezing
// the editor; the attempt then counts as no match.
constexpr PatternEngine::Limit kEngineLimit{200000, 4};
// Characters of a line the regular expression engine is first shown.
constexpr qsizetype kEngineWindow = 256;
// Steps the direct matcher takes before it hands a call to the engine.
constexpr int kDirectBudget = 20000;
// Deeper nesting than this is not a pattern anybody writes by hand.
constexpr int kMaxDepth = 100;
constexpr int kMaxRepeat = 1000;

enum UniClass : quint8 {
    Word = 1,
    Space = 2,
    Digit = 4,
    NotWord = 8,
    NotSpace = 16,
    NotDigit = 32,
};

// The classic dialect's classes, by QChar's own predicates.
inline bool isWordChar(char16_t c)
{
    const QChar q(c);
    return q.isLetterOrNumber() || q.isMark() || c == u'_';
}
inline bool isSpaceChar(char16_t c)
{
    return QChar(c).isSpace();
}
inline bool isDigitChar(char16_t c)
{
    return QChar(c).isDigit();
}

bool inClass(quint8 classes, char16_t c)
{
    if ((classes & Word) && isWordChar(c))
        return true;
    if ((classes & NotWord) && !isWordChar(c))
        return true;
    if ((classes & Space) && isSpaceChar(c))
        return true;
    if ((classes & NotSpace) && !isSpaceChar(c))
        return true;
    if ((classes & Digit) && isDigitChar(c))
        return true;
    if ((classes & NotDigit) && !isDigitChar(c))
        return true;
    return false;
}

struct CharSet {
    quint64 bits[2] = {0, 0}; // members below 128
    quint8 classes = 0;
    std::vector<std::pair<char16_t, char16_t>> ranges; // every explicit member, for output
    bool negated = false;
    bool hasWide = false; // an explicit member at or above 128

    void setBit(int c) { bits[c >> 6] |= quint64(1) << (c & 63); }
    bool bit(int c) const { return (bits[c >> 6] >> (c & 63)) & 1; }

    void addRange(char16_t a, char16_t b)
    {
        ranges.emplace_back(a, b);
        for (int c = a; c <= b && c < 128; ++c)
            setBit(c);
        if (b >= 128)
            hasWide = true;
    }
    void addClass(quint8 cls)
    {
        classes |= cls;
        for (int c = 0; c < 128; ++c) {
            if (inClass(cls, char16_t(c)))
                setBit(c);
        }
    }
    void foldAscii()
    {
        for (int c = 'a'; c <= 'z'; ++c) {
            if (bit(c) || bit(c - 32)) {
                setBit(c);
                setBit(c - 32);
            }
        }
    }
    bool raw(char16_t c) const
    {
        if (c < 128)
            return bit(c);
        if (classes && inClass(classes, c))
            return true;
        if (hasWide) {
            for (const auto& r : ranges) {
                if (c >= r.first && c <= r.second)
                    return true;
            }
        }
        return false;
    }
    bool test(char16_t c, bool ci) const
    {
        bool in = raw(c);
        if (!in && ci && c >= 128) {
            const char32_t lower = QChar::toLower(char32_t(c));
            const char32_t upper = QChar::toUpper(char32_t(c));
            in = (lower < 0x10000 && raw(char16_t(lower))) ||
                 (upper < 0x10000 && raw(char16_t(upper)));
        }
        return in != negated;
    }
};

struct Node;
using Sequence = std::vector<Node>;
using Alternatives = std::vector<Sequence>;

struct Node {
    enum Kind { Char, Set, Group, Look, Bol, Eol, WordB, NotWordB, Backref };
    Kind kind = Char;
    char16_t ch = 0;
    std::shared_ptr<CharSet> set;
    std::shared_ptr<Alternatives> alt;
    bool capture = false;
    bool negative = false;
    int ref = 0;
    int min = 1;
    int max = 1; // -1: unbounded
    bool quantified = false;
};

// Parses the classic dialect: alternation, groups, (?:...), (?=...), (?!...),
// classes, the escapes \a \f \n \r \t \v \xhhhh \0ooo \1..\9 \b \B \d \D \s
// \S \w \W; any other escaped character stands for itself.
class Parser
{
public:
    Parser(const QString& s, bool ci) : s(s), n(int(s.size())), ci(ci) {}

    bool parse(Alternatives& out)
    {
        out = alternatives(0);
        return ok && i == n;
    }

private:
    const QString& s;
    int n;
    int i = 0;
    bool ok = true;
    bool ci;

    bool more() const { return i < n; }
    char16_t peek() const { return s.at(i).unicode(); }

    Alternatives alternatives(int depth)
    {
        Alternatives alt;
        if (depth > kMaxDepth) {
            ok = false;
            return alt;
        }
        alt.push_back(sequence(depth));
        while (ok && more() && peek() == u'|') {
            ++i;
            alt.push_back(sequence(depth));
        }
        return alt;
    }

    Sequence sequence(int depth)
    {
        Sequence seq;
        while (ok && more() && peek() != u'|' && peek() != u')') {
            Node node;
            if (!atom(node, depth))
                return seq;
            while (ok && more() && quantifier(node)) {
            }
            seq.push_back(std::move(node));
        }
        return seq;
    }

    static Node setNode(std::shared_ptr<CharSet> set)
    {
        Node node;
        node.kind = Node::Set;
        node.set = std::move(set);
        return node;
    }

    bool atom(Node& node, int depth)
    {
        const char16_t c = peek();
        ++i;
        switch (c) {
        case u'(': {
            node.kind = Node::Group;
            node.capture = true;
            if (i + 1 < n && peek() == u'?') {
                const char16_t k = s.at(i + 1).unicode();
                if (k == u':') {
                    node.capture = false;
                } else if (k == u'=' || k == u'!') {
                    node.kind = Node::Look;
                    node.negative = k == u'!';
                } else {
                    ok = false;
                    return false;
                }
                i += 2;
            }
            node.alt = std::make_shared<Alternatives>(alternatives(depth + 1));
            if (!ok || !more() || peek() != u')') {
                ok = false;
                return false;
            }
            ++i;
            return true;
        }
        case u'[':
            return charClass(node);
        case u'.': {
            auto set = std::make_shared<CharSet>();
            set->negated = true;
            node = setNode(set);
            return true;
        }
        case u'^':
            node.kind = Node::Bol;
            return true;
        case u'$':
            node.kind = Node::Eol;
            return true;
        case u'*':
        case u'+':
        case u'?':
            ok = false; // nothing to repeat
            return false;
        case u'\\':
            return escape(node, false);
        default:
            node.kind = Node::Char;
            node.ch = c;
            return true;
        }
    }

    int hexDigits(int maxDigits, int* value)
    {
        int count = 0;
        int v = 0;
        while (count < maxDigits && more()) {
            const int d = QChar(peek()).isDigit() && peek() < 128 ? peek() - u'0'
                          : (peek() >= u'a' && peek() <= u'f')    ? peek() - u'a' + 10
                          : (peek() >= u'A' && peek() <= u'F')    ? peek() - u'A' + 10
                                                                  : -1;
            if (d < 0)
                break;
            v = v * 16 + d;
            ++i;
            ++count;
        }
        *value = v;
        return count;
    }

    // Reads the escape after a backslash. Inside a class only characters and
    // classes are possible; `cls` then receives the class bits.
    bool escape(Node& node, bool inSet, quint8* cls = nullptr)
    {
        if (!more()) {
            ok = false;
            return false;
        }
        const char16_t c = peek();
        ++i;
        node.kind = Node::Char;
        switch (c) {
        case u'a':
            node.ch = 7;
            return true;
        case u'f':
            node.ch = 12;
            return true;
        case u'n':
            node.ch = 10;
            return true;
        case u'r':
            node.ch = 13;
            return true;
        case u't':
            node.ch = 9;
            return true;
        case u'v':
            node.ch = 11;
            return true;
        case u'x': {
            int v = 0;
            node.ch = hexDigits(4, &v) ? char16_t(v) : u'x';
            return true;
        }
        case u'0': {
            int v = 0;
            for (int k = 0; k < 3 && more() && peek() >= u'0' && peek() <= u'7'; ++k, ++i)
                v = v * 8 + (peek() - u'0');
            node.ch = char16_t(v);
            return true;
        }
        case u'd':
        case u'D':
        case u's':
        case u'S':
        case u'w':
        case u'W': {
            const quint8 base = (c == u'd' || c == u'D')   ? Digit
                                : (c == u's' || c == u'S') ? Space
                                                           : Word;
            const bool neg = c == u'D' || c == u'S' || c == u'W';
            if (inSet) {
                *cls = neg ? quint8(base << 3) : base;
                return true;
            }
            auto set = std::make_shared<CharSet>();
            set->addClass(base);
            set->negated = neg;
            node = setNode(set);
            return true;
        }
        default:
            break;
        }
        if (!inSet) {
            if (c == u'b' || c == u'B') {
                node.kind = c == u'b' ? Node::WordB : Node::NotWordB;
                return true;
            }
            if (c >= u'1' && c <= u'9') {
                node.kind = Node::Backref;
                node.ref = c - u'0';
                return true;
            }
        }
        node.ch = c;
        return true;
    }

    // One member of a class: a character (returned in `ch`) or a class (`cls`).
    bool classMember(char16_t* ch, quint8* cls)
    {
        *cls = 0;
        if (peek() == u'\\') {
            ++i;
            Node node;
            if (!escape(node, true, cls))
                return false;
            *ch = node.ch;
            return true;
        }
        *ch = peek();
        ++i;
        return true;
    }

    bool charClass(Node& node)
    {
        auto set = std::make_shared<CharSet>();
        if (more() && peek() == u'^') {
            set->negated = true;
            ++i;
        }
        bool first = true;
        while (true) {
            if (!more()) {
                ok = false;
                return false;
            }
            if (peek() == u']' && !first)
                break;
            first = false;
            char16_t lo = 0;
            quint8 cls = 0;
            if (!classMember(&lo, &cls))
                return false;
            if (cls) {
                set->addClass(cls);
                continue;
            }
            if (i + 1 < n && peek() == u'-' && s.at(i + 1) != u']') {
                ++i;
                char16_t hi = 0;
                if (!classMember(&hi, &cls))
                    return false;
                if (cls || hi < lo) {
                    ok = false;
                    return false;
                }
                set->addRange(lo, hi);
            } else {
                set->addRange(lo, lo);
            }
        }
        ++i; // the closing bracket
        if (ci)
            set->foldAscii();
        node = setNode(set);
        return true;
    }

    bool number(int* value)
    {
        int count = 0;
        int v = 0;
        while (more() && peek() >= u'0' && peek() <= u'9') {
            v = v * 10 + (peek() - u'0');
            if (v > kMaxRepeat) {
                ok = false;
                return false;
            }
            ++i;
            ++count;
        }
        *value = v;
        return count > 0;
    }

    // Reads one quantifier after `node`; false when there is none.
    bool quantifier(Node& node)
    {
        int lo = 0;
        int hi = -1;
        const char16_t c = peek();
        if (c == u'*') {
            ++i;
        } else if (c == u'+') {
            lo = 1;
            ++i;
        } else if (c == u'?') {
            hi = 1;
            ++i;
        } else if (c == u'{') {
            const int start = i;
            ++i;
            const bool hasLo = number(&lo);
            if (!ok)
                return false;
            if (more() && peek() == u',') {
                ++i;
                if (!number(&hi))
                    hi = -1;
                if (!ok)
                    return false;
            } else {
                hi = lo;
            }
            if (!more() || peek() != u'}' || (!hasLo && hi < 0) || (hi >= 0 && hi < lo)) {
                // Not a repeat: the brace is an ordinary character.
                i = start;
                return false;
            }
            ++i;
        } else {
            return false;
        }
        const bool zeroWidth = node.kind == Node::Bol || node.kind == Node::Eol ||
                               node.kind == Node::WordB || node.kind == Node::NotWordB ||
                               node.kind == Node::Look;
        if (node.quantified || zeroWidth) {
            Node group;
            group.kind = Node::Group;
            group.capture = false;
            group.alt = std::make_shared<Alternatives>();
            group.alt->push_back(Sequence{std::move(node)});
            node = std::move(group);
        }
        node.min = lo;
        node.max = hi;
        node.quantified = true;
        return true;
    }
};

// ---- output for the regular expression engine

void emitChar(QString& out, char16_t c)
{
    if (c < 128 && QChar(c).isLetterOrNumber()) {
        out += QChar(c);
    } else if (c > 32 && c < 127) {
        out += QLatin1Char('\\');
        out += QChar(c);
    } else {
        out += QLatin1String("\\x{") + QString::number(c, 16) + QLatin1Char('}');
    }
}

const char* classText(quint8 cls)
{
    switch (cls) {
    case Word:
        return "\\p{L}\\p{N}\\p{M}_";
    case Space:
        return "\\t-\\r\\x{85}\\p{Z}";
    case Digit:
        return "\\p{Nd}";
    case NotDigit:
        return "\\P{Nd}";
    }
    return "";
}

void emitSet(QString& out, const CharSet& set)
{
    QString members;
    for (const auto& r : set.ranges) {
        emitChar(members, r.first);
        if (r.second != r.first) {
            members += QLatin1Char('-');
            emitChar(members, r.second);
        }
    }
    for (quint8 cls : {Word, Space, Digit, NotDigit}) {
        if (set.classes & cls)
            members += QLatin1String(classText(cls));
    }
    QStringList parts;
    if (!members.isEmpty())
        parts << QLatin1Char('[') + members + QLatin1Char(']');
    if (set.classes & NotWord)
        parts << QLatin1String("[^") + QLatin1String(classText(Word)) + QLatin1Char(']');
    if (set.classes & NotSpace)
        parts << QLatin1String("[^") + QLatin1String(classText(Space)) + QLatin1Char(']');

    QString any;
    if (parts.isEmpty())
        any = QStringLiteral("(?!)");
    else if (parts.size() == 1)
        any = parts.first();
    else
        any = QLatin1String("(?:") + parts.join(QLatin1Char('|')) + QLatin1Char(')');

    if (!set.negated)
        out += any;
    else if (parts.isEmpty())
        out += QLatin1Char('.');
    else if (parts.size() == 1 && !members.isEmpty())
        out += QLatin1String("[^") + members + QLatin1Char(']');
    else
        out += QLatin1String("(?:(?!") + any + QLatin1String(").)");
}

void emitAlternatives(QString& out, const Alternatives& alt);

void emitNode(QString& out, const Node& node)
{
    switch (node.kind) {
    case Node::Char:
        emitChar(out, node.ch);
        break;
    case Node::Set:
        emitSet(out, *node.set);
        break;
    case Node::Group:
        out += node.capture ? QLatin1String("(") : QLatin1String("(?:");
        emitAlternatives(out, *node.alt);
        out += QLatin1Char(')');
        break;
    case Node::Look:
        out += node.negative ? QLatin1String("(?!") : QLatin1String("(?=");
        emitAlternatives(out, *node.alt);
        out += QLatin1Char(')');
        break;
    case Node::Bol:
        out += QLatin1Char('^');
        break;
    case Node::Eol:
        // The classic "$" matches only at the very end, never before a final
        // line feed.
        out += QLatin1String("\\z");
        break;
    case Node::WordB:
        out += QLatin1String("\\b");
        break;
    case Node::NotWordB:
        out += QLatin1String("\\B");
        break;
    case Node::Backref:
        out += QLatin1String("\\g{") + QString::number(node.ref) + QLatin1Char('}');
        break;
    }
    if (!node.quantified)
        return;
    if (node.min == 0 && node.max == -1)
        out += QLatin1Char('*');
    else if (node.min == 1 && node.max == -1)
        out += QLatin1Char('+');
    else if (node.min == 0 && node.max == 1)
        out += QLatin1Char('?');
    else if (node.max == -1)
        out += QLatin1Char('{') + QString::number(node.min) + QLatin1String(",}");
    else
        out += QLatin1Char('{') + QString::number(node.min) + QLatin1Char(',') +
               QString::number(node.max) + QLatin1Char('}');
}

void emitAlternatives(QString& out, const Alternatives& alt)
{
    for (size_t k = 0; k < alt.size(); ++k) {
        if (k)
            out += QLatin1Char('|');
        for (const Node& node : alt[k])
            emitNode(out, node);
    }
}

// ---- analysis

// Characters that can begin a non-empty match; characters at or above 128
// are summed up by one flag.
struct FirstChars {
    quint64 bits[2] = {0, 0};
    bool wide = false;
    bool known = true;

    void add(const CharSet& set, bool ci)
    {
        for (int c = 0; c < 128; ++c) {
            if (set.test(char16_t(c), ci))
                bits[c >> 6] |= quint64(1) << (c & 63);
        }
        wide = true; // cheap and safe: a wide character is always tried
    }
    bool test(char16_t c) const { return c < 128 ? ((bits[c >> 6] >> (c & 63)) & 1) : wide; }
};

std::shared_ptr<CharSet> charSetOf(const Node& node, bool ci)
{
    if (node.kind == Node::Set)
        return node.set;
    auto set = std::make_shared<CharSet>();
    set->addRange(node.ch, node.ch);
    if (ci)
        set->foldAscii();
    return set;
}

// Adds the first characters of `alt`; returns whether it can match empty.
bool collectFirst(const Alternatives& alt, FirstChars& first, bool ci);

bool collectFirst(const Sequence& seq, FirstChars& first, bool ci)
{
    for (const Node& node : seq) {
        switch (node.kind) {
        case Node::Char:
        case Node::Set:
            first.add(*charSetOf(node, ci), ci);
            if (node.min >= 1)
                return false;
            break;
        case Node::Group:
            if (!collectFirst(*node.alt, first, ci) && node.min >= 1)
                return false;
            break;
        case Node::Backref:
            first.known = false;
            return false;
        default:
            break; // zero width
        }
    }
    return true;
}

bool collectFirst(const Alternatives& alt, FirstChars& first, bool ci)
{
    bool nullable = false;
    for (const Sequence& seq : alt)
        nullable = collectFirst(seq, first, ci) || nullable;
    return nullable;
}

// Whether a match of `alt` can hold the character `c`: some character or
// set in it takes `c`; a backreference is taken to hold anything.
bool mayHold(const Alternatives& alt, char16_t c, bool ci)
{
    for (const Sequence& seq : alt) {
        for (const Node& node : seq) {
            switch (node.kind) {
            case Node::Char:
            case Node::Set:
                if (charSetOf(node, ci)->test(c, ci))
                    return true;
                break;
            case Node::Group:
            case Node::Look:
                if (mayHold(*node.alt, c, ci))
                    return true;
                break;
            case Node::Backref:
                return true;
            default:
                break; // zero width
            }
        }
    }
    return false;
}

// The longest run of characters every match must contain.
QString requiredText(const Alternatives& alt)
{
    if (alt.size() != 1)
        return QString();
    QString best;
    QString run;
    auto close = [&]() {
        if (run.size() > best.size())
            best = run;
        run.clear();
    };
    for (const Node& node : alt.front()) {
        if (node.kind == Node::Char && node.min >= 1) {
            run += QChar(node.ch);
            if (node.max != 1) {
                close();
                run += QChar(node.ch);
            }
        } else {
            close();
        }
    }
    close();
    return best;
}

// Whether a match at some position can depend on where the subject starts:
// "^" and the word boundaries look at (or before) the start of the view.
bool dependsOnStart(const Alternatives& alt)
{
    for (const Sequence& seq : alt) {
        for (const Node& node : seq) {
            if (node.kind == Node::Bol || node.kind == Node::WordB || node.kind == Node::NotWordB)
                return true;
            if ((node.kind == Node::Group || node.kind == Node::Look) && dependsOnStart(*node.alt))
                return true;
        }
    }
    return false;
}

// Case-insensitive search folds a low surrogate together with the unit
// before it, which a view that starts between the two does not see; text
// without surrogates is found the same way from any start.
bool foldsAlike(const QString& text, bool ci)
{
    if (!ci)
        return true;
    for (const QChar c : text) {
        if (c.isSurrogate())
            return false;
    }
    return true;
}

PatternSearchCounters g_counters;
quint64 g_engineCalls = 0;

inline void countSearch(qsizetype characters)
{
    ++g_counters.searches;
    g_counters.characters += quint64(characters);
}

std::atomic<quint64> g_scanSerial{0};

// The first place of `needle` in `text`, -1 when there is none. Rules look
// for a few characters ("//", "/*", a quote) in every line: on a line of a
// few dozen characters a plain loop over the first character is cheaper
// than the general search's set-up.
qsizetype findText(QStringView text, const QString& needle, Qt::CaseSensitivity cs)
{
    const qsizetype m = needle.size();
    if (cs == Qt::CaseInsensitive || m == 0 || m > 8 || text.size() > 256)
        return text.indexOf(needle, 0, cs);
    const char16_t* s = text.utf16();
    const auto* p = reinterpret_cast<const char16_t*>(needle.utf16());
    const char16_t first = p[0];
    const qsizetype last = text.size() - m;
    for (qsizetype i = 0; i <= last; ++i) {
        if (s[i] != first)
            continue;
        qsizetype k = 1;
        while (k < m && s[i + k] == p[k])
            ++k;
        if (k == m)
            return i;
    }
    return -1;
}

// Whether `text` holds no surrogate without its partner.
bool validUtf16(QStringView text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (!c.isSurrogate())
            continue;
        if (!c.isHighSurrogate() || i + 1 >= n || !text[i + 1].isLowSurrogate())
            return false;
        ++i;
    }
    return true;
}

// One step of a direct match: a character set repeated min..max times (max
// -1: unbounded). Members below 128, the bulk of source text, are looked up
// in a table that already holds case folding and negation.
//
// Or a group of alternatives, each a fixed run of single characters
// ("(->|\.)"), tried in order with the rest of the pattern after each; or
// a look-ahead of such alternatives ("(?=\w)"), which takes nothing. With
// no choice inside an alternative, trying them in order gives the engine's
// answer, and such rules no longer cost an engine call at every candidate.
struct DirectAtom {
    enum Kind { Repeat, Alternatives, LookAhead };
    Kind kind = Repeat;
    std::shared_ptr<CharSet> set;
    int min = 1;
    int max = 1;
    quint64 ascii[2] = {0, 0};
    bool ci = false;
    // "." and the like: every character is a member, so a repeat takes as
    // many as it may without looking at them ("//.*" ends at the line's end
    // however long the line).
    bool any = false;
    bool negative = false; // a look-ahead that must not match
    // The next step takes at least one character and none that this one
    // takes: giving characters back cannot let it match ("\\s*#"), so
    // only the longest run is tried.
    bool keeps = false;
    std::vector<std::vector<DirectAtom>> alternatives;

    DirectAtom(std::shared_ptr<CharSet> s, int min, int max, bool ci)
        : set(std::move(s)), min(min), max(max), ci(ci),
          any(set->negated && set->ranges.empty() && set->classes == 0)
    {
        for (int c = 0; c < 128; ++c) {
            if (set->test(char16_t(c), ci))
                ascii[c >> 6] |= quint64(1) << (c & 63);
        }
    }
    DirectAtom(Kind kind, bool negative) : kind(kind), negative(negative) {}

    // A group or look-ahead the direct matcher can take: not repeated, each
    // alternative single characters and sets, none repeated.
    static bool fixedAlternatives(const Node& node, bool ci, DirectAtom* out)
    {
        if (node.quantified || !node.alt)
            return false;
        for (const Sequence& seq : *node.alt) {
            std::vector<DirectAtom> run;
            for (const Node& n : seq) {
                if ((n.kind != Node::Char && n.kind != Node::Set) || n.quantified)
                    return false;
                run.emplace_back(charSetOf(n, ci), 1, 1, ci);
            }
            out->alternatives.push_back(std::move(run));
        }
        return true;
    }
    bool test(char16_t c) const
    {
        if (c < 128)
            return (ascii[c >> 6] >> (c & 63)) & 1;
        return set->test(c, ci);
    }
    // How many characters from `s` (n of them) the atom takes at most.
    int run(const char16_t* s, int n) const
    {
        const int limit = max < 0 ? n : qMin(max, n);
        if (any)
            return limit;
        int k = 0;
        while (k < limit && test(s[k]))
            ++k;
        return k;
    }
};

} // namespace

struct Pattern::Private {
    enum Kind { Invalid, Literal, EndOfLine, Direct, Engine };

    QString source;
    Kind kind = Invalid;
    bool ci = false;
    bool minimal = false;
    PatternEngine re;
    QString literal;
    QString required;
    FirstChars first;
    bool nullable = true;
    bool firstKnown = false; // `first` decides every non-empty match at the start
    // A search from a later start of the same line finds the same match as
    // long as that start is not past it: nothing in the pattern looks at the
    // start of the view.
    bool startFree = false;
    bool requiredFree = false; // `required` is found alike from any start
    // Direct matching.
    std::vector<DirectAtom> atoms;
    bool bol = false;
    bool eol = false;

    Qt::CaseSensitivity cs() const { return ci ? Qt::CaseInsensitive : Qt::CaseSensitive; }

    // The last answer of a search of one line's tail during one pass: from
    // `from` the first match is at `at` (null: none up to the end of the line).
    struct Memo {
        quint64 serial = 0;
        const QChar* from = nullptr;
        const QChar* at = nullptr;
        int length = 0;
        qsizetype reach = 0; // the answer looked at no column from here on

        bool answers(const Pattern::LineScan& scan, const QChar* start) const
        {
            return serial == scan.serial() && from <= start && (!at || start <= at);
        }
    };
    mutable Memo found;
    mutable Memo requiredAt;
    // The end of what the last direct matches looked at (an offset into
    // their text; past its size for its end).
    mutable int seen = 0;

    // The length of the fixed alternative `run` at `pos`, -1 when it does
    // not match there.
    int fixedAt(const std::vector<DirectAtom>& run, const char16_t* s, int n, int pos) const
    {
        for (size_t j = 0; j < run.size(); ++j) {
            const int q = pos + int(j);
            seen = qMax(seen, q + 1);
            if (q >= n || !run[j].test(s[q]))
                return -1;
        }
        return int(run.size());
    }

    // End of the direct match from `pos`, -1 when none, -2 when the budget ran out.
    int directAt(const char16_t* s, int n, size_t ai, int pos, int& budget) const
    {
        if (--budget < 0)
            return -2;
        if (ai == atoms.size()) {
            if (eol)
                seen = qMax(seen, pos + 1);
            return (!eol || pos == n) ? pos : -1;
        }
        const DirectAtom& a = atoms[ai];
        if (a.kind == DirectAtom::LookAhead) {
            bool found = false;
            for (const auto& run : a.alternatives) {
                if (fixedAt(run, s, n, pos) >= 0) {
                    found = true;
                    break;
                }
            }
            return found == a.negative ? -1 : directAt(s, n, ai + 1, pos, budget);
        }
        if (a.kind == DirectAtom::Alternatives) {
            for (const auto& run : a.alternatives) {
                const int len = fixedAt(run, s, n, pos);
                if (len < 0)
                    continue;
                const int r = directAt(s, n, ai + 1, pos + len, budget);
                if (r != -1)
                    return r;
            }
            return -1;
        }
        if (minimal) {
            // Shortest first: the repeat grows one character at a time, so
            // a match costs its own length, not the rest of the line (the
            // ends tried, and their order, are those of a full run first).
            const int limit = a.max < 0 ? n - pos : qMin(a.max, n - pos);
            int j = 0;
            for (; j < a.min; ++j) {
                seen = qMax(seen, pos + j + 1);
                if (j >= limit || !a.test(s[pos + j]))
                    return -1;
            }
            if (ai + 1 == atoms.size() && !eol)
                return pos + a.min;
            for (;; ++j) {
                const int r = directAt(s, n, ai + 1, pos + j, budget);
                if (r != -1)
                    return r;
                seen = qMax(seen, pos + j + 1);
                if (j >= limit || !a.test(s[pos + j]))
                    return -1;
            }
        }
        const int k = a.run(s + pos, n - pos);
        seen = qMax(seen, pos + k + 1);
        if (k < a.min)
            return -1;
        if (ai + 1 == atoms.size() && !eol)
            return pos + k;
        for (int j = k; j >= (a.keeps ? k : a.min); --j) {
            const int r = directAt(s, n, ai + 1, pos + j, budget);
            if (r != -1)
                return r;
        }
        return -1;
    }

    int engine(QStringView text, bool anchored, int* length, const LineScan* scan) const
    {
        int flags = anchored ? PatternEngine::Anchored : 0;
        qsizetype found = 0;
        if (scan) {
            // How far the engine looks is not known, so it first gets only
            // the next stretch of the line, told to report a match that
            // more text could change as partial; any other answer is the
            // answer for the whole rest, found without looking past the
            // stretch. (A stretch with a lone surrogate goes to the check
            // of the whole rest below.)
            qsizetype window = kEngineWindow;
            if (text.size() > window + 1) {
                if (text.at(window - 1).isHighSurrogate())
                    --window;
                if (validUtf16(text.first(window))) {
                    ++g_engineCalls;
                    const qsizetype at =
                        re.match(text.first(window), 0, &found,
                                 flags | PatternEngine::Checked | PatternEngine::PartialHard);
                    // A window the engine gave up on says nothing of the
                    // whole rest, which the engine may take on.
                    if (at != PatternEngine::Partial && at != PatternEngine::GaveUp) {
                        scan->looked(text, window);
                        if (at < 0)
                            return -1;
                        *length = int(found);
                        return int(at);
                    }
                }
            }
            scan->lookedToEnd(text);
            // The engine would check the encoding of the whole subject at
            // every call, which on a long line costs the rest of the line at
            // each position; the scan knows the answer from one look at the
            // line. A subject the check rejects matches nothing.
            if (!scan->validFrom(text))
                return -1;
            flags |= PatternEngine::Checked;
        } else {
            countSearch(text.size());
        }
        ++g_engineCalls;
        const qsizetype at = re.match(text, 0, &found, flags);
        if (at < 0)
            return -1;
        *length = int(found);
        return int(at);
    }

    // Whether `required` occurs in `text`.
    bool hasRequired(QStringView text, const LineScan* scan) const
    {
        if (!scan || !requiredFree) {
            const qsizetype at = findText(text, required, cs());
            countSearch(at < 0 ? text.size() : at + required.size());
            if (scan)
                scan->looked(text, at < 0 ? text.size() + 1 : at + required.size());
            return at >= 0;
        }
        if (!requiredAt.answers(*scan, text.data())) {
            const qsizetype at = findText(text, required, cs());
            countSearch(at < 0 ? text.size() : at + required.size());
            requiredAt = {scan->serial(), text.data(), at < 0 ? nullptr : text.data() + at, 0,
                          scan->offsetOf(text) + (at < 0 ? text.size() + 1 : at + required.size())};
        }
        scan->reachTo(requiredAt.reach);
        return requiredAt.at != nullptr;
    }

    int matchLength(QStringView text, const LineScan* scan) const;
    // The first match in `text`; `certain` tells whether a miss is sure to be
    // the same from any later start (the engine's backtracking limit can fail
    // a search that a later start would not even try).
    int search(QStringView text, int* length, const LineScan* scan, bool* certain) const;
};

PatternSearchCounters& patternSearchCounters()
{
    return g_counters;
}

quint64 patternEngineCalls()
{
    return g_engineCalls;
}

Pattern::LineScan::LineScan(const QChar* text, int length)
    : m_begin(text), m_end(text + length), m_serial(++g_scanSerial)
{
}

bool Pattern::LineScan::validFrom(QStringView tail) const
{
    if (m_lastInvalid == -2) {
        // The last unit the engine's check rejects: a surrogate without its
        // partner.
        m_lastInvalid = -1;
        const qsizetype n = m_end - m_begin;
        for (qsizetype i = 0; i < n; ++i) {
            const QChar c = m_begin[i];
            if (!c.isSurrogate())
                continue;
            if (c.isHighSurrogate() && i + 1 < n && m_begin[i + 1].isLowSurrogate())
                ++i;
            else
                m_lastInvalid = i;
        }
    }
    if (tail.isEmpty())
        return true;
    // A tail that begins inside a pair starts with a lone low surrogate.
    return !tail.front().isLowSurrogate() && m_lastInvalid < tail.data() - m_begin;
}

Pattern::Pattern() : d(new Private) {}

Pattern::Pattern(const QString& pattern, bool caseSensitive, bool minimal) : d(new Private)
{
    setPattern(pattern, caseSensitive, minimal);
}

Pattern::~Pattern()
{
    delete d;
}

QString Pattern::pattern() const
{
    return d->source;
}

bool Pattern::isValid() const
{
    return d->kind != Private::Invalid;
}

QString Pattern::translate(const QString& pattern, bool* ok)
{
    Alternatives alt;
    Parser parser(pattern, false);
    const bool parsed = parser.parse(alt);
    if (ok)
        *ok = parsed;
    if (!parsed)
        return QString();
    QString out;
    emitAlternatives(out, alt);
    return out;
}

QString Pattern::requiredText(const QString& pattern)
{
    Alternatives alt;
    Parser parser(pattern, false);
    return parser.parse(alt) ? xqwidgets::requiredText(alt) : QString();
}

bool Pattern::mayHold(const QString& pattern, char16_t c, bool caseSensitive)
{
    Alternatives alt;
    Parser parser(pattern, !caseSensitive);
    return !parser.parse(alt) || xqwidgets::mayHold(alt, c, !caseSensitive);
}

void Pattern::setPattern(const QString& pattern, bool caseSensitive, bool minimal)
{
    Private* p = d;
    *p = Private();
    p->source = pattern;
    p->ci = !caseSensitive;
    p->minimal = minimal;

    Alternatives alt;
    Parser parser(pattern, p->ci);
    if (!parser.parse(alt))
        return;

    QString translated;
    emitAlternatives(translated, alt);
    p->re.setLimit(kEngineLimit);
    int options = PatternEngine::DotMatchesEverything;
    if (p->ci)
        options |= PatternEngine::CaseInsensitive;
    if (minimal)
        options |= PatternEngine::Minimal;
    if (!p->re.compile(translated, PatternEngine::Utf16, options))
        return;

    p->nullable = collectFirst(alt, p->first, p->ci);
    p->firstKnown = !p->nullable && p->first.known;
    p->required = xqwidgets::requiredText(alt);
    p->startFree = !dependsOnStart(alt) && foldsAlike(pattern, p->ci);
    p->requiredFree = foldsAlike(p->required, p->ci);

    const Sequence* seq = alt.size() == 1 ? &alt.front() : nullptr;
    if (seq && seq->size() == 1 && seq->front().kind == Node::Eol && !seq->front().quantified) {
        p->kind = Private::EndOfLine;
        return;
    }
    if (seq && !seq->empty()) {
        bool literal = true;
        for (const Node& node : *seq)
            literal = literal && node.kind == Node::Char && !node.quantified;
        if (literal) {
            for (const Node& node : *seq)
                p->literal += QChar(node.ch);
            p->kind = Private::Literal;
            return;
        }
        bool direct = true;
        for (size_t k = 0; k < seq->size() && direct; ++k) {
            const Node& node = (*seq)[k];
            if (node.kind == Node::Char || node.kind == Node::Set) {
                p->atoms.emplace_back(charSetOf(node, p->ci), node.min, node.max, p->ci);
            } else if (node.kind == Node::Group || node.kind == Node::Look) {
                DirectAtom group(node.kind == Node::Group ? DirectAtom::Alternatives
                                                          : DirectAtom::LookAhead,
                                 node.negative);
                direct = DirectAtom::fixedAlternatives(node, p->ci, &group);
                p->atoms.push_back(std::move(group));
            } else if (node.kind == Node::Bol && k == 0 && !node.quantified) {
                p->bol = true;
            } else if (node.kind == Node::Eol && k + 1 == seq->size() && !node.quantified) {
                p->eol = true;
            } else {
                direct = false;
            }
        }
        for (size_t k = 0; direct && k + 1 < p->atoms.size(); ++k) {
            DirectAtom& a = p->atoms[k];
            const DirectAtom& next = p->atoms[k + 1];
            // The next step's members are ASCII only (no class, no wider
            // member, no folding that reaches past ASCII), so a character
            // this step takes that it lacks in ASCII it lacks altogether.
            a.keeps = a.kind == DirectAtom::Repeat && next.kind == DirectAtom::Repeat &&
                      next.min >= 1 && !p->ci && !next.any && !next.set->negated &&
                      next.set->classes == 0 && !next.set->hasWide &&
                      (a.ascii[0] & next.ascii[0]) == 0 && (a.ascii[1] & next.ascii[1]) == 0;
        }
        if (direct && !p->atoms.empty()) {
            p->kind = Private::Direct;
            return;
        }
        p->atoms.clear();
        p->bol = p->eol = false;
    }
    p->kind = Private::Engine;
}

bool Pattern::mayStartWith(char16_t c) const
{
    if (d->kind == Private::Invalid)
        return false;
    return !d->firstKnown || d->first.test(c);
}

bool Pattern::matchesAlike(const Pattern& other) const
{
    auto single = [](const Private* p) {
        return p->kind == Private::Direct && p->atoms.size() == 1 && !p->bol && !p->eol &&
               p->atoms.front().kind == DirectAtom::Repeat;
    };
    const Private* a = d;
    const Private* b = other.d;
    if (!single(a) || !single(b) || a->minimal != b->minimal || a->ci != b->ci)
        return false;
    const DirectAtom& x = a->atoms.front();
    const DirectAtom& y = b->atoms.front();
    // Members from 128 on are decided by the set itself.
    return x.min == y.min && x.max == y.max && x.any == y.any && x.ascii[0] == y.ascii[0] &&
           x.ascii[1] == y.ascii[1] && x.set->negated == y.set->negated &&
           x.set->classes == y.set->classes && x.set->hasWide == y.set->hasWide &&
           (!x.set->hasWide || x.set->ranges == y.set->ranges);
}

int Pattern::matchLength(QStringView text) const
{
    return d->matchLength(text, nullptr);
}

int Pattern::matchLength(QStringView text, const LineScan* scan) const
{
    return d->matchLength(text, scan && scan->covers(text) ? scan : nullptr);
}

int Pattern::Private::matchLength(QStringView text, const LineScan* scan) const
{
    if (scan)
        scan->looked(text, 1);
    if (firstKnown && (text.isEmpty() || !first.test(text.front().unicode())))
        return -1;
    switch (kind) {
    case Invalid:
        return -1;
    case Literal:
        if (literal.size() == 1 && !ci)
            return text.front() == literal.front() ? 1 : -1;
        if (scan)
            scan->looked(text, literal.size());
        return text.startsWith(literal, cs()) ? int(literal.size()) : -1;
    case EndOfLine:
        return text.isEmpty() ? 0 : -1;
    default:
        break;
    }
    if (!firstKnown && !required.isEmpty() && !hasRequired(text, scan))
        return -1;
    int length = -1;
    if (kind == Direct) {
        const char16_t* s = reinterpret_cast<const char16_t*>(text.utf16());
        if (atoms.size() == 1 && !eol && atoms.front().kind == DirectAtom::Repeat) {
            // A single repeated set, the commonest rule: no backtracking.
            const DirectAtom& a = atoms.front();
            if (minimal) {
                const int k = a.run(s, qMin(a.min, int(text.size())));
                if (scan)
                    scan->looked(text, a.min + 1);
                return k < a.min ? -1 : a.min;
            }
            const int k = a.run(s, int(text.size()));
            if (scan)
                scan->looked(text, k + 1);
            return k < a.min ? -1 : k;
        }
        int budget = kDirectBudget;
        seen = 0;
        const int r = directAt(s, int(text.size()), 0, 0, budget);
        if (scan)
            scan->looked(text, seen);
        if (r != -2)
            return r;
    }
    return engine(text, true, &length, scan) == 0 ? length : -1;
}

int Pattern::indexIn(QStringView text, int* length) const
{
    bool certain = false;
    return d->search(text, length, nullptr, &certain);
}

int Pattern::indexIn(QStringView text, int* length, const LineScan* scan) const
{
    if (!scan || !scan->covers(text))
        return indexIn(text, length);
    Private::Memo& memo = d->found;
    if (d->startFree && memo.answers(*scan, text.data())) {
        *length = memo.length;
        scan->reachTo(memo.reach);
        return memo.at ? int(memo.at - text.data()) : -1;
    }
    bool certain = false;
    const qsizetype before = scan->reach();
    scan->setReach(0);
    const int at = d->search(text, length, scan, &certain);
    const qsizetype reach = scan->reach();
    scan->setReach(qMax(before, reach));
    if (d->startFree && (at >= 0 || certain))
        memo = {scan->serial(), text.data(), at < 0 ? nullptr : text.data() + at, *length, reach};
    return at;
}

int Pattern::Private::search(QStringView text, int* length, const LineScan* scan,
                             bool* certain) const
{
    *length = 0;
    *certain = true;
    auto span = [&](int at) { return at < 0 ? text.size() : at + *length; };
    // A search that finds nothing has looked at all of the rest.
    auto looked = [&](int at) {
        if (scan) {
            if (at < 0)
                scan->lookedToEnd(text);
            else
                scan->looked(text, at + *length);
        }
    };
    switch (kind) {
    case Invalid:
        return -1;
    case Literal: {
        const int at = int(findText(text, literal, cs()));
        if (at >= 0)
            *length = int(literal.size());
        countSearch(span(at));
        looked(at);
        return at;
    }
    case EndOfLine:
        if (scan)
            scan->lookedToEnd(text);
        return int(text.size());
    default:
        break;
    }
    if (!required.isEmpty() && !hasRequired(text, scan))
        return -1;
    if (kind == Direct) {
        const char16_t* s = reinterpret_cast<const char16_t*>(text.utf16());
        const int n = int(text.size());
        const bool skip = !nullable && first.known;
        int budget = kDirectBudget;
        const int last = bol ? 0 : n;
        int start = 0;
        seen = 0;
        for (; start <= last; ++start) {
            if (skip && (start == n || !first.test(s[start])))
                continue;
            const int r = directAt(s, n, 0, start, budget);
            if (r == -2)
                break;
            if (r >= 0) {
                *length = r - start;
                countSearch(span(start));
                looked(start);
                if (scan)
                    scan->looked(text, seen);
                return start;
            }
        }
        if (start > last) {
            countSearch(span(-1));
            looked(-1);
            return -1;
        }
    }
    *certain = false;
    const int at = engine(text, false, length, scan);
    if (scan)
        countSearch(span(at));
    return at;
}

} // namespace xqwidgets

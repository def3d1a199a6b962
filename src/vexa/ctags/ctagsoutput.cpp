#include "vexa/ctags/ctagsoutput.h"

#include "vexa/ctags/node.h"
#include "xqwidgets/largepages.h"

#include <QHash>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

namespace vexa
{

namespace
{

// Extension fields that never give a scope (universal ctags turns several of
// them on by default, `typeref` for nearly every C and C++ symbol).
bool isScopeField(QByteArrayView field)
{
    // Sorted, for a binary search without building a key.
    static constexpr std::string_view notScopes[] = {"access",
                                                     "architecture",
                                                     "assignment",
                                                     "assignmentop",
                                                     "captures",
                                                     "category",
                                                     "constructor",
                                                     "decorators",
                                                     "end",
                                                     "epoch",
                                                     "extras",
                                                     "home",
                                                     "howImported",
                                                     "implementation",
                                                     "implements",
                                                     "inherits",
                                                     "input",
                                                     "kind",
                                                     "langid",
                                                     "language",
                                                     "line",
                                                     "macrodef",
                                                     "mixin",
                                                     "name",
                                                     "nameref",
                                                     "nth",
                                                     "packageName",
                                                     "parameter",
                                                     "pattern",
                                                     "properties",
                                                     "protocols",
                                                     "roles",
                                                     "scopeKind",
                                                     "sectionMarker",
                                                     "shell",
                                                     "signature",
                                                     "specialization",
                                                     "template",
                                                     "typeref",
                                                     "uri",
                                                     "version",
                                                     "wrapping",
                                                     "xpath"};
    const qsizetype colon = field.indexOf(':');
    if (colon < 0)
        return true;
    return !std::binary_search(std::begin(notScopes), std::end(notScopes),
                               std::string_view(field.data(), size_t(colon)));
}

// A decimal number and nothing else; 0 otherwise (an overflow too).
int toNumber(QByteArrayView s)
{
    bool negative = false;
    qsizetype i = 0;
    if (!s.isEmpty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        i = 1;
    }
    if (i == s.size())
        return 0;
    qint64 v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return 0;
        v = v * 10 + (s[i] - '0');
        if (v > INT_MAX)
            return 0;
    }
    return int(negative ? -v : v);
}

} // namespace

CTagsOutput::CTagsOutput(const QString& ext, const QString& text) : m_ext(ext), m_text(text)
{
    for (int c = 0; c < 128; ++c)
        m_kinds[c] = kindType(QByteArrayView(reinterpret_cast<const char*>(&c), 1), ext);
}

int CTagsOutput::kindType(QByteArrayView kind, const QString& ext)
{
    if (kind.size() != 1)
        return Node::Unknown;
    const char c = kind[0];
    const bool cFamily =
        ext == QLatin1String(".c") || ext == QLatin1String(".cpp") || ext == QLatin1String(".h");
    if (cFamily && (c == 'm' || c == 'v'))
        return Node::Variable; // data members and variables
    if (ext == QLatin1String(".java") && c == 'f')
        return Node::Variable; // fields
    switch (c) {
    case 'c':
        return Node::Class;
    case 'm':
    case 'f':
        return Node::Function;
    case 'd':
        return Node::Define;
    case 'e':
        return Node::Enumerator;
    case 'F':
        return Node::FileName;
    case 'g':
        return Node::Enumeration;
    case 'v':
        return Node::Variable;
    case 'p':
        return Node::Prototype;
    case 's':
        return Node::Structure;
    case 't':
        return Node::Typedef;
    case 'u':
        return Node::Union;
    case 'n':
        return Node::Namespace;
    default:
        return Node::Unknown;
    }
}

QString CTagsOutput::suffixOf(const QString& path)
{
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot == name.size() - 1)
        return QString();
    for (qsizetype i = dot + 1; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '_' || c == '+' || c == '-';
        if (!ok)
            return QString();
    }
    return name.mid(dot);
}

QStringList CTagsOutput::arguments(const QString& ext, const QString& tempFile)
{
    QStringList args;
    static const QStringList clipper = {".ch", ".CH", ".chf", ".CHF", ".chs", ".CHS"};
    if (clipper.contains(ext))
        args << QStringLiteral("--language-force=C++");
    args << QStringLiteral("-f") << QStringLiteral("-") << QStringLiteral("-n")
         << QStringLiteral("-V") << tempFile;
    return args;
}

void CTagsOutput::addData(QByteArrayView data)
{
    QByteArrayView batch[kBatch];
    int count = 0;
    while (!data.isEmpty()) {
        const char* nl =
            static_cast<const char*>(std::memchr(data.data(), '\n', size_t(data.size())));
        if (!nl) {
            m_partial.append(data);
            break;
        }
        const QByteArrayView line = data.first(nl - data.data());
        data = data.sliced(line.size() + 1);
        if (!m_partial.isEmpty()) {
            // The end of a line begun in an earlier piece: the first line
            // of this one, read before any other.
            m_partial.append(line);
            addLine(m_partial);
            m_partial.clear();
            continue;
        }
        batch[count++] = line;
        if (count == kBatch) {
            addLines(batch, count);
            count = 0;
        }
    }
    addLines(batch, count);
}

void CTagsOutput::finish()
{
    if (!m_partial.isEmpty()) {
        addLine(m_partial);
        m_partial.clear();
    }
}

CTagsOutput::~CTagsOutput()
{
    // Nodes not handed out in a tree are not linked to each other yet.
    for (size_t i = 0; i < m_slots.size(); ++i)
        delete m_slots[i].node;
}

void* CTagsOutput::take(size_t bytes)
{
    if (bytes >= (size_t(2) << 20))
        return xqwidgets::allocateLargePages(bytes);
    void* p = std::malloc(bytes);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void CTagsOutput::give(void* p)
{
    std::free(p); // malloc's, either kind
}

CTagsOutput::Names::Names() : m_seed(QHashSeed::globalSeed()), m_buckets(64), m_bucketCount(64)
{
    std::memset(m_buckets.data(), 0, m_bucketCount * sizeof(int));
}

quint32 CTagsOutput::Names::hashUnder(quint32 parentHash, QByteArrayView part) const
{
    // Seeded per process: output crafted to collide cannot slow the table.
    const size_t h = qHashBits(part.data(), size_t(part.size()),
                               m_seed ^ (size_t(parentHash) * size_t(0x9e3779b97f4a7c15ULL)));
    return quint32(h ^ (quint64(h) >> 32));
}

quint32 CTagsOutput::Names::hashOf(int parent, QByteArrayView part) const
{
    const quint32 parentHash = parent == kRoot  ? kRootHash
                               : parent == kOdd ? kOddHash
                                                : m_entries[size_t(parent)].hash;
    return hashUnder(parentHash, part);
}

void CTagsOutput::Names::prefetch(quint32 hash, int step) const
{
    const int* bucket = &m_buckets[hash & (m_bucketCount - 1)];
    if (step == 0) {
        __builtin_prefetch(bucket);
        return;
    }
    if (*bucket == 0)
        return;
    const Entry& entry = m_entries[size_t(*bucket - 1)];
    if (step == 1)
        __builtin_prefetch(&entry);
    else
        __builtin_prefetch(entry.data);
}

size_t CTagsOutput::Names::bucketOf(int parent, QByteArrayView part, quint32 hash) const
{
    const size_t mask = m_bucketCount - 1;
    for (size_t b = hash & mask;; b = (b + 1) & mask) {
        const int e = m_buckets[b];
        if (e == 0)
            return b;
        const Entry& entry = m_entries[size_t(e - 1)];
        if (entry.hash == hash && entry.parent == parent && entry.name() == part)
            return b;
    }
}

void CTagsOutput::Names::grow()
{
    const size_t count = m_bucketCount * 2;
    Memory<int> buckets(count);
    std::memset(buckets.data(), 0, count * sizeof(int));
    const size_t mask = count - 1;
    for (size_t e = 0; e < m_entries.size(); ++e) {
        size_t b = m_entries[e].hash & mask;
        while (buckets[b] != 0)
            b = (b + 1) & mask;
        buckets[b] = int(e + 1);
    }
    m_buckets = std::move(buckets);
    m_bucketCount = count;
}

int CTagsOutput::Names::intern(int parent, QByteArrayView part)
{
    m_work += part.size();
    const quint32 hash = hashOf(parent, part);
    const size_t b = bucketOf(parent, part, hash);
    if (m_buckets[b] != 0)
        return m_buckets[b] - 1;

    const size_t length = size_t(part.size());
    if (length > m_left) {
        // Names longer than a block get a block of their own.
        constexpr size_t kBlock = 64 * 1024;
        const size_t size = std::max(kBlock, length);
        m_bytes.emplace_back(new char[size]);
        m_free = m_bytes.back().get();
        m_left = size;
    }
    if (length > 0)
        std::memcpy(m_free, part.data(), length);
    m_work += qint64(length);
    m_entries.push_back({m_free, int(length), parent, hash, -1, false});
    m_free += length;
    m_left -= length;
    const int id = int(m_entries.size()) - 1;
    m_buckets[b] = id + 1;
    // At most half full, so that probe runs stay short.
    if (m_entries.size() * 2 > m_bucketCount)
        grow();
    return id;
}

namespace
{

// Calls f with each part of a name split at "::" as a search from the start
// finds them: "A:::B" is "A" and ":B", "A::" is "A" and an empty part.
template <typename F> void forEachPart(QByteArrayView name, F f)
{
    if (name.isEmpty()) {
        f(name); // one empty part, without a search in no memory
        return;
    }
    const char* p = name.data();
    const char* const end = p + name.size();
    for (const char* c = p;;) {
        c = static_cast<const char*>(std::memchr(c, ':', size_t(end - c)));
        if (!c || c + 1 == end) {
            f(QByteArrayView(p, end - p));
            return;
        }
        if (c[1] != ':') {
            ++c;
            continue;
        }
        f(QByteArrayView(p, c - p));
        p = c += 2;
    }
}

// Copies bytes into an array that keeps its allocation when it can.
void setBytes(QByteArray& to, QByteArrayView from)
{
    to.resize(from.size());
    if (!from.isEmpty())
        std::memcpy(to.data(), from.data(), size_t(from.size()));
}

bool hasEmptyPart(QByteArrayView name)
{
    bool empty = false;
    forEachPart(name, [&](QByteArrayView part) { empty = empty || part.isEmpty(); });
    return empty;
}

} // namespace

int CTagsOutput::nameOf(int under, QByteArrayView name, int* chain)
{
    const bool whole = hasEmptyPart(name);
    if (whole && !chain)
        return m_names.intern(Names::kOdd, name);
    int id = under;
    forEachPart(name, [&](QByteArrayView part) {
        if (!part.isEmpty())
            id = m_names.intern(id, part);
    });
    if (chain)
        *chain = id;
    return whole ? m_names.intern(Names::kOdd, name) : id;
}

QString CTagsOutput::NameText::make(QByteArrayView utf8)
{
    // Only ASCII is copied here; anything else is rare and decoded apart.
    const qsizetype n = utf8.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (uchar(utf8[i]) >= 0x80)
            return QString::fromUtf8(utf8);
    }
    if (n == 0)
        return QString::fromUtf8(utf8);
    if (n + 1 > m_left) {
        constexpr qsizetype kBlock = 16 * 1024;
        m_block = xqwidgets::sharedtext::Block(qMax(kBlock, n + 1));
        m_free = m_block.data();
        m_left = m_block.capacity();
    }
    char16_t* out = m_free;
    for (qsizetype i = 0; i < n; ++i)
        out[i] = char16_t(uchar(utf8[i]));
    out[n] = u'\0'; // as every string's text ends
    m_free += n + 1;
    m_left -= n + 1;
    return m_block.share(out, n);
}

int CTagsOutput::slotFor(int name, int scope, bool* made)
{
    int& slot = m_names.slot(name);
    *made = slot < 0;
    if (*made) {
        slot = int(m_slots.size());
        m_slots.push_back({new Node, scope, -1});
    }
    return slot;
}

bool CTagsOutput::split(QByteArrayView line, Fields* out)
{
    // Fields split at tabs, empty ones dropped: name, file, address, kind,
    // then the first extension field that can be a scope.
    QByteArrayView fields[4];
    QByteArrayView scope;
    int count = 0;
    const char* p = line.data();
    const char* const end = p + line.size();
    while (p < end) {
        const char* tab = static_cast<const char*>(std::memchr(p, '\t', size_t(end - p)));
        if (!tab)
            tab = end;
        if (tab > p) {
            const QByteArrayView field(p, tab - p);
            if (count < 4)
                fields[count] = field;
            else if (isScopeField(field)) {
                scope = field;
                ++count;
                break; // the fields after the scope are not read
            }
            ++count;
        }
        p = tab + 1;
    }
    if (count <= 3)
        return false;

    // Stripped in this order, each at most once ("class:enum:X" gives "X").
    static constexpr std::string_view prefixes[] = {
        "class:", "enum:", "file:", "arity:", "union:", "struct:", "function:", "namespace:"};
    for (const std::string_view prefix : prefixes) {
        const qsizetype n = qsizetype(prefix.size());
        if (scope.size() >= n && std::memcmp(scope.data(), prefix.data(), prefix.size()) == 0)
            scope = scope.sliced(n);
    }
    QByteArrayView address = fields[2];
    if (address.endsWith(";\""))
        address.chop(2);
    *out = {fields[0], scope, address, fields[3]};
    return true;
}

void CTagsOutput::addLine(QByteArrayView line)
{
    Fields fields;
    if (split(line, &fields))
        add(fields);
}

void CTagsOutput::addLines(const QByteArrayView* lines, int count)
{
    Fields fields[kBatch];
    // The hashes of the names each line may look up: the scope's parts, then
    // the tag's, each under the one before, as nameOf() looks them up. A
    // name the table keeps whole is not asked for; it is rare.
    // A line with the scope, or the scope and tag, of the line before looks
    // up nothing again (see add()): only its new names are hashed.
    quint32 hashes[kBatch * 4];
    int read = 0;
    int hashCount = 0;
    quint32 hash = 0;
    const auto under = [&](QByteArrayView part) {
        if (!part.isEmpty() && hashCount < int(std::size(hashes))) {
            hash = m_names.hashUnder(hash, part);
            hashes[hashCount++] = hash;
        }
    };
    const Fields* last = nullptr;
    quint32 lastScopeHash = 0;
    for (int i = 0; i < count; ++i) {
        if (!split(lines[i], &fields[read]))
            continue;
        const Fields& line = fields[read++];
        if (last && line.scope == last->scope) {
            if (line.tag == last->tag)
                continue;
            hash = lastScopeHash;
        } else {
            hash = Names::kRootHash;
            forEachPart(line.scope, under);
            lastScopeHash = hash;
        }
        forEachPart(line.tag, under);
        last = &line;
    }
    for (int step = 0; step < 3; ++step) {
        for (int i = 0; i < hashCount; ++i)
            m_names.prefetch(hashes[i], step);
    }
    for (int i = 0; i < read; ++i)
        add(fields[i]);
}

void CTagsOutput::add(const Fields& fields)
{
    const QByteArrayView scope = fields.scope;
    const QByteArrayView tag = fields.tag;

    // ctags prints its lines sorted by name, so a line often has the scope
    // or even the full name of the line before: those are not looked up.
    int scopeName = -1;
    bool scopeWhole = false;
    if (!scope.isEmpty()) {
        if (m_lastScopeName >= 0 && m_lastScope == scope) {
            scopeName = m_lastScopeName;
            scopeWhole = m_lastScopeWhole;
        } else {
            int chain = Names::kRoot;
            scopeName = nameOf(Names::kRoot, scope, &chain);
            scopeWhole = scopeName != chain;
            if (!std::exchange(m_names.usedAsScope(scopeName), true))
                m_scopeChains.push_back(chain);
            setBytes(m_lastScope, scope);
            m_lastScopeName = scopeName;
            m_lastScopeWhole = scopeWhole;
        }
    }
    bool made = false;
    int slot = -1;
    if (m_lastSlot >= 0 && m_lastTagScope == scopeName && m_lastTag == tag) {
        slot = m_lastSlot;
    } else {
        // The full name: the tag's parts under the scope's when joining them
        // cannot move a separator (a scope that ends in ":" can), else the
        // joined text.
        int name;
        if (scope.isEmpty()) {
            name = nameOf(Names::kRoot, tag);
        } else if (!scopeWhole && !scope.endsWith(':') && !hasEmptyPart(tag)) {
            name = nameOf(scopeName, tag);
        } else {
            m_key.resize(scope.size() + 2 + tag.size());
            char* k = m_key.data();
            std::memcpy(k, scope.data(), size_t(scope.size()));
            std::memcpy(k + scope.size(), "::", 2);
            std::memcpy(k + scope.size() + 2, tag.data(), size_t(tag.size()));
            name = nameOf(Names::kRoot, m_key);
        }
        slot = slotFor(name, scopeName, &made);
        m_lastSlot = slot;
        m_lastTagScope = scopeName;
        setBytes(m_lastTag, tag);
    }

    // A name met again under the same scope has the same tag: the same full
    // name with the same scope length. Only a different split makes a copy.
    Slot& s = m_slots[size_t(slot)];
    Node* n = s.node;
    if (made || s.scopeLength != scope.size())
        n->name = m_nameText.make(tag);
    s.scopeLength = int(scope.size());
    const QByteArrayView kind = fields.kind;
    n->type = kind.size() == 1 && uchar(kind[0]) < 128 ? m_kinds[uchar(kind[0])] : Node::Unknown;
    n->start_line = toNumber(fields.address) - 1;
    if (!m_lineEnds)
        m_lineEnds.emplace(m_text);
    n->start = m_lineEnds->pos(n->start_line);
    n->start_column = 0;
    ++m_lineCount;
}

Node* CTagsOutput::buildTree()
{
    // Namespace nodes for the parts of scopes that no line names, placed at
    // the nearest enclosing node that exists, in the order the scopes were
    // first met. Their slots follow those of the lines, so they are linked
    // after the real nodes. Going up a scope stops at the first name with a
    // node: each name is passed once, however deep the scopes nest.
    std::vector<int> missing;
    for (const int chain : m_scopeChains) {
        missing.clear();
        int id = chain;
        while (id >= 0 && m_names.slot(id) < 0) {
            missing.push_back(id);
            id = m_names.parent(id);
        }
        const Node* near = id >= 0 ? m_slots[size_t(m_names.slot(id))].node : nullptr;
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            bool made = false;
            Node* n = m_slots[size_t(slotFor(*it, m_names.parent(*it), &made))].node;
            n->name = QString::fromUtf8(m_names.part(*it));
            n->type = Node::Namespace;
            n->start = near ? near->start : 0;
            n->start_line = near ? near->start_line : 0;
        }
    }
    // The parent of each node: the node of its first line's scope (none for
    // a scope no line names whole, such as "A::::B"), or of the name its
    // Namespace node extends.
    for (size_t i = 0; i < m_slots.size(); ++i) {
        int& parent = m_slots[i].parent;
        parent = parent < 0 ? -1 : m_names.slot(parent);
    }

    // Each node goes in front of its siblings, last slot first: siblings end
    // up in slot order, and no tail pointers are needed.
    Node* root = nullptr;
    for (size_t i = m_slots.size(); i-- > 0;) {
        const Slot& s = m_slots[i];
        Node* n = s.node;
        Node** head = &root;
        if (s.parent >= 0) {
            n->parent = m_slots[size_t(s.parent)].node;
            head = &n->parent->child;
        }
        n->next = *head;
        if (*head)
            (*head)->prev = n;
        *head = n;
    }

    m_slots = Blocks<Slot>();
    m_tableWork += m_names.work();
    m_names = Names();
    m_scopeChains = {};
    m_lastScope.clear();
    m_lastScopeName = -1;
    m_lastTag.clear();
    m_lastTagScope = -1;
    m_lastSlot = -1;
    if (!root) {
        root = new Node;
        root->name = QStringLiteral("No tags found");
    }
    return root;
}

} // namespace vexa

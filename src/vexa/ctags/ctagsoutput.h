#ifndef VEXA_CTAGS_CTAGSOUTPUT_H
#define VEXA_CTAGS_CTAGSOUTPUT_H

#include "vexa/ctags/parser.h"
#include "xqwidgets/sharedtext.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace vexa
{

// The output of one ctags run, read as it arrives and turned into a tree once
// the run is over. Lines are tab-separated: name, file, line address, kind,
// then extension fields, the first of which that is no known non-scope field
// (typeref, access, signature, ...) gives the scope.
//
// Each line goes straight to the node of its full name (scope + "::" + name):
// a name met again updates its node in place, so memory grows with the
// symbols, not with the lines.
class CTagsOutput
{
public:
    // `ext` (the suffix of the file the text came from) selects the kind
    // table; positions are computed in `text`.
    CTagsOutput(const QString& ext, const QString& text);
    ~CTagsOutput();
    CTagsOutput(CTagsOutput&&) = default;
    CTagsOutput(const CTagsOutput&) = delete;
    CTagsOutput& operator=(const CTagsOutput&) = delete;

    // Reads every complete line of the piece; the rest waits for the next
    // piece, or for finish() at the end of the output.
    void addData(QByteArrayView data);
    void finish();
    // Reads one line without its line end. A line of three fields or fewer
    // is skipped.
    void addLine(QByteArrayView line);
    // The lines read and kept so far.
    int lineCount() const { return m_lineCount; }
    // The bytes the name tables have hashed and kept so far: a measure of
    // the reader's work, which grows with the output's size alone.
    qint64 tableWork() const { return m_tableWork + m_names.work(); }

    // The tree of the lines read: one node per full name (a repeated name
    // keeps the later line's values at the earlier line's place), Namespace
    // nodes for scopes no line names, at the place of their nearest existing
    // enclosing node, children in output order with the Namespace nodes
    // last. Without any line, the single node "No tags found". The caller
    // owns the tree; call it once.
    Node* buildTree();

    // The type code of a kind letter for files with this suffix.
    static int kindType(QByteArrayView kind, const QString& ext);
    // The suffix of the file name (not of a folder) from its last ".", when
    // it holds only ASCII letters, digits, "_", "+" and "-"; else empty.
    static QString suffixOf(const QString& path);
    // The arguments ctags gets for a temporary file with this suffix.
    static QStringList arguments(const QString& ext, const QString& tempFile);

private:
    // The fields of a line that make its node; the scope without its kind
    // prefix.
    struct Fields {
        QByteArrayView tag;
        QByteArrayView scope;
        QByteArrayView address;
        QByteArrayView kind;
    };
    // False for a line of three fields or fewer.
    static bool split(QByteArrayView line, Fields* fields);
    void add(const Fields& fields);
    // Reads complete lines, at most kBatch of them: on a large output the
    // name tables are far larger than the cache, and looking up one name at
    // a time waited on memory for nearly every name. The lookups of the
    // whole batch are asked of the cache first, then the lines are read.
    static constexpr int kBatch = 16;
    void addLines(const QByteArrayView* lines, int count);

    // Memory for the reader's tables, of trivial types. On a large output the
    // first touches of fresh memory cost more than the reading itself, a page
    // fault per 4 KiB: memory of 2 MiB or more is asked to be backed by huge
    // pages, a fault per 2 MiB. Smaller memory, as a small output needs, is
    // taken as usual.
    template <typename T> class Memory
    {
        static_assert(std::is_trivial_v<T>);

    public:
        Memory() = default;
        explicit Memory(size_t count) : m_data(static_cast<T*>(take(count * sizeof(T)))) {}
        T& operator[](size_t i) { return m_data.get()[i]; }
        const T& operator[](size_t i) const { return m_data.get()[i]; }
        T* data() { return m_data.get(); }

    private:
        struct Give {
            void operator()(T* p) const { give(p); }
        };
        std::unique_ptr<T, Give> m_data;
    };
    static void* take(size_t bytes);
    static void give(void* p);

    // A growing array whose elements never move: growing copies nothing, and
    // the memory of each element is touched once. The first block is small,
    // the later ones 2 MiB.
    template <typename T> class Blocks
    {
    public:
        T& operator[](size_t i) { return i < kFirst ? m_first[i] : later(i); }
        const T& operator[](size_t i) const
        {
            return i < kFirst ? m_first[i] : const_cast<Blocks*>(this)->later(i);
        }
        size_t size() const { return m_size; }
        void push_back(const T& value)
        {
            if (m_size == 0)
                m_first = Memory<T>(kFirst);
            else if (m_size >= kFirst && ((m_size - kFirst) >> kShift) == m_blocks.size())
                m_blocks.emplace_back(size_t(1) << kShift);
            (*this)[m_size++] = value;
        }

    private:
        static_assert((sizeof(T) & (sizeof(T) - 1)) == 0);
        static constexpr size_t kFirst = 4096;
        static constexpr size_t kShift = [] {
            size_t shift = 0;
            while ((sizeof(T) << shift) < (size_t(2) << 20))
                ++shift;
            return shift;
        }();
        static constexpr size_t kMask = (size_t(1) << kShift) - 1;
        T& later(size_t i)
        {
            i -= kFirst;
            return m_blocks[i >> kShift][i & kMask];
        }
        Memory<T> m_first;
        std::vector<Memory<T>> m_blocks;
        size_t m_size = 0;
    };

    // Names numbered 0, 1, 2... in the order they are first met. A name that
    // splits at "::" into non-empty parts is kept part by part, each part
    // under the number of the name it extends ("A::B" is "B" under "A"), so
    // that a scope of any depth costs its own length to look up and to keep,
    // never the sum of its prefixes. Any other name ("A::::B", "::") is kept
    // whole under kOdd; it never equals a name kept by parts. The bytes are
    // copied once into blocks that never move, and a lookup hashes the
    // caller's bytes in place: no allocation per line.
    class Names
    {
    public:
        static constexpr int kRoot = -1;
        static constexpr int kOdd = -2;
        Names();
        // The number of `part` under `parent`; a new one gets the next number.
        int intern(int parent, QByteArrayView part);
        // The hash of `part` under the name of hash `parentHash` (kRootHash
        // at the top). A name's hash is made from its bytes alone, part by
        // part, so that it is known before the numbers of its scopes are.
        static constexpr quint32 kRootHash = 1;
        quint32 hashUnder(quint32 parentHash, QByteArrayView part) const;
        // Asks the cache, without waiting, for what a lookup of the name of
        // this hash reads at `step`: 0 its bucket, 1 the entry there, 2 that
        // entry's bytes. Each step reads what the step before fetched.
        void prefetch(quint32 hash, int step) const;
        int size() const { return int(m_entries.size()); }
        int parent(int id) const { return m_entries[size_t(id)].parent; }
        QByteArrayView part(int id) const { return m_entries[size_t(id)].name(); }
        // The node slot of a name (-1 for none), and whether a line had it as
        // its scope.
        int& slot(int id) { return m_entries[size_t(id)].slot; }
        bool& usedAsScope(int id) { return m_entries[size_t(id)].scope; }
        qint64 work() const { return m_work; }

    private:
        struct Entry {
            const char* data;
            int length;
            int parent;
            quint32 hash;
            int slot;
            bool scope;
            QByteArrayView name() const { return QByteArrayView(data, length); }
        };
        static constexpr quint32 kOddHash = 2;
        quint32 hashOf(int parent, QByteArrayView part) const;
        // The bucket holding the name, or the empty one where it would go.
        size_t bucketOf(int parent, QByteArrayView part, quint32 hash) const;
        void grow();

        size_t m_seed;
        Blocks<Entry> m_entries;
        Memory<int> m_buckets; // entry + 1; 0 is empty
        size_t m_bucketCount = 0;
        std::vector<std::unique_ptr<char[]>> m_bytes;
        char* m_free = nullptr;
        size_t m_left = 0;
        qint64 m_work = 0;
    };
    // The number of a whole name (see Names), its parts looked up under
    // `under`. With `chain`, a name of empty parts is looked up whole, and
    // *chain is the number of its non-empty parts joined.
    int nameOf(int under, QByteArrayView name, int* chain = nullptr);
    // A node. Slots are made in the order the full names are first met,
    // which is the order of the nodes among their siblings.
    struct Slot {
        Node* node;
        // While reading: the name of the scope of the first line naming the
        // node (-1 at the top level). In buildTree(): the slot of its parent.
        int parent;
        int scopeLength; // of the line that named the node last
    };
    int slotFor(int name, int scope, bool* made);

    // The names of nodes, decoded into shared blocks of text: one allocation
    // per block, not per name (on a large output, the memory of a string per
    // name cost more to touch than its decoding). A block goes with the last
    // name in it.
    class NameText
    {
    public:
        NameText() = default;
        NameText(NameText&& other) noexcept
            : m_block(std::move(other.m_block)), m_free(std::exchange(other.m_free, nullptr)),
              m_left(std::exchange(other.m_left, 0))
        {
        }
        NameText& operator=(NameText&&) = delete;
        ~NameText() = default;
        // The UTF-8 name as a string, as QString::fromUtf8() gives it.
        QString make(QByteArrayView utf8);

    private:
        xqwidgets::sharedtext::Block m_block;
        char16_t* m_free = nullptr;
        qsizetype m_left = 0;
    };

    QString m_ext;
    QString m_text;
    std::optional<Parser::LineEnds> m_lineEnds;
    int m_kinds[128];
    QByteArray m_partial;
    QByteArray m_key;
    // Full names and scopes, in one table: a scope's node is the node of
    // the full name that equals it.
    Names m_names;
    Blocks<Slot> m_slots;
    NameText m_nameText;
    // The scopes in the order they were first met, each as the name of its
    // non-empty parts (for the Namespace nodes of buildTree()).
    std::vector<int> m_scopeChains;
    // The scope and tag of the line before, with their names.
    QByteArray m_lastScope;
    int m_lastScopeName = -1;
    bool m_lastScopeWhole = false;
    QByteArray m_lastTag;
    int m_lastTagScope = -1;
    int m_lastSlot = -1;
    int m_lineCount = 0;
    qint64 m_tableWork = 0;
};

} // namespace vexa

#endif

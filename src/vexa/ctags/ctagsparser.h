#ifndef VEXA_CTAGS_CTAGSPARSER_H
#define VEXA_CTAGS_CTAGSPARSER_H

#include "vexa/ctags/parser.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
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
    // A growing array whose elements never move: growing copies nothing, and
    // the memory of each element is touched once (on a large output, first
    // touches of fresh memory cost more than the reading itself).
    template <typename T> class Blocks
    {
    public:
        T& operator[](size_t i) { return m_blocks[i >> kShift][i & kMask]; }
        const T& operator[](size_t i) const { return m_blocks[i >> kShift][i & kMask]; }
        size_t size() const { return m_size; }
        void push_back(const T& value)
        {
            if ((m_size >> kShift) == m_blocks.size())
                m_blocks.emplace_back(new T[kMask + 1]);
            (*this)[m_size++] = value;
        }

    private:
        static constexpr size_t kShift = 12;
        static constexpr size_t kMask = (size_t(1) << kShift) - 1;
        std::vector<std::unique_ptr<T[]>> m_blocks;
        size_t m_size = 0;
    };

    // Byte strings numbered 0, 1, 2... in the order they are first met. The
    // bytes are copied once into blocks that never move, and a lookup hashes
    // the caller's bytes in place: no allocation per line.
    class Names
    {
    public:
        Names();
        // The number of `name`; a new name gets the next one.
        int intern(QByteArrayView name, bool* made);
        // -1 for a name never met.
        int find(QByteArrayView name) const;
        QByteArrayView at(int id) const { return m_entries[size_t(id)].name(); }
        int size() const { return int(m_entries.size()); }

    private:
        struct Entry {
            const char* data;
            int length;
            quint32 hash;
            QByteArrayView name() const { return QByteArrayView(data, length); }
        };
        quint32 hashOf(QByteArrayView name) const;
        // The bucket holding `name`, or the empty one where it would go.
        size_t bucketOf(QByteArrayView name, quint32 hash) const;
        void grow();

        size_t m_seed;
        Blocks<Entry> m_entries;
        std::vector<int> m_buckets; // entry + 1; 0 is empty
        std::vector<std::unique_ptr<char[]>> m_bytes;
        char* m_free = nullptr;
        size_t m_left = 0;
    };
    // A node by full name. Slots are made in the order the full names are
    // first met, which is the order of the nodes among their siblings.
    struct Slot {
        Node* node;
        // While reading: the scope of the first line naming the node (-1 at
        // the top level). In buildTree(): the slot of its parent.
        int parent;
        int scopeLength; // of the line that named the node last
    };
    int slotFor(QByteArrayView fullName, int scope, bool* made);

    QString m_ext;
    QString m_text;
    std::optional<Parser::LineEnds> m_lineEnds;
    int m_kinds[128];
    QByteArray m_partial;
    QByteArray m_key;
    // Full names; a name's number is its slot.
    Names m_names;
    Blocks<Slot> m_slots;
    // Scopes in the order they were first met.
    Names m_scopes;
    // The full name and the scope of the line before.
    int m_lastSlot = -1;
    int m_lastScope = -1;
    int m_lineCount = 0;
};

// The parser that runs the external ctags program on a temporary copy of the
// text; one for the process, a child of the main window, attached to every
// file type. Several runs may go on at once, each with its own process, file
// and output; a new text for a file stops that file's earlier run.
class CTagsParser : public Parser
{
    Q_OBJECT
public:
    static CTagsParser* self();
    ~CTagsParser() override;

    // Takes the suffix of `filePath` for the run this request may start.
    int parse(const QString& text, const QString& filePath) override;
    // Runs still going after this long are killed and deliver nothing
    // (30 s unless changed).
    void setTimeLimit(int msecs);
    // How many ctags runs are under way.
    int runCount() const;

protected:
    // Writes the text to a fresh temporary file and starts ctags on it.
    // Returns the key, or 0 when the file could not be written or ctags not
    // started: nothing is delivered then, and the key is free again. The
    // first failure to start ctags in a session is reported to the user.
    int parse(const QString& text) override;

private:
    explicit CTagsParser(QObject* parent);
    void readOutput(QProcess* p);
    void processExited(QProcess* p, int exitCode, QProcess::ExitStatus status);
    void processFailed(QProcess* p, QProcess::ProcessError error);
    void stop(QProcess* p);
    void cannotStart(int key, const QString& fileName);

    class Private;
    Private* d;
};

} // namespace vexa

#endif

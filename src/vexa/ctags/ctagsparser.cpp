#include "vexa/ctags/ctagsparser.h"

#include "vexa/ctags/node.h"
#include "vexa/message.h"
#include "vexa/shell.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <memory>
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
    while (!data.isEmpty()) {
        const char* nl =
            static_cast<const char*>(std::memchr(data.data(), '\n', size_t(data.size())));
        if (!nl) {
            m_partial.append(data);
            return;
        }
        const QByteArrayView line = data.first(nl - data.data());
        if (m_partial.isEmpty()) {
            addLine(line);
        } else {
            m_partial.append(line);
            addLine(m_partial);
            m_partial.clear();
        }
        data = data.sliced(line.size() + 1);
    }
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

CTagsOutput::Names::Names() : m_seed(QHashSeed::globalSeed()), m_buckets(64, 0) {}

quint32 CTagsOutput::Names::hashOf(QByteArrayView name) const
{
    // Seeded per process: output crafted to collide cannot slow the table.
    const size_t h = qHashBits(name.data(), size_t(name.size()), m_seed);
    return quint32(h ^ (quint64(h) >> 32));
}

size_t CTagsOutput::Names::bucketOf(QByteArrayView name, quint32 hash) const
{
    const size_t mask = m_buckets.size() - 1;
    for (size_t b = hash & mask;; b = (b + 1) & mask) {
        const int e = m_buckets[b];
        if (e == 0)
            return b;
        const Entry& entry = m_entries[size_t(e - 1)];
        if (entry.hash == hash && entry.name() == name)
            return b;
    }
}

void CTagsOutput::Names::grow()
{
    std::vector<int> buckets(m_buckets.size() * 2, 0);
    const size_t mask = buckets.size() - 1;
    for (size_t e = 0; e < m_entries.size(); ++e) {
        size_t b = m_entries[e].hash & mask;
        while (buckets[b] != 0)
            b = (b + 1) & mask;
        buckets[b] = int(e + 1);
    }
    m_buckets.swap(buckets);
}

int CTagsOutput::Names::find(QByteArrayView name) const
{
    return m_buckets[bucketOf(name, hashOf(name))] - 1;
}

int CTagsOutput::Names::intern(QByteArrayView name, bool* made)
{
    const quint32 hash = hashOf(name);
    const size_t b = bucketOf(name, hash);
    *made = m_buckets[b] == 0;
    if (!*made)
        return m_buckets[b] - 1;

    const size_t length = size_t(name.size());
    if (length > m_left) {
        // Names longer than a block get a block of their own.
        constexpr size_t kBlock = 64 * 1024;
        const size_t size = std::max(kBlock, length);
        m_bytes.emplace_back(new char[size]);
        m_free = m_bytes.back().get();
        m_left = size;
    }
    if (length > 0)
        std::memcpy(m_free, name.data(), length);
    m_entries.push_back({m_free, int(length), hash});
    m_free += length;
    m_left -= length;
    const int id = int(m_entries.size()) - 1;
    m_buckets[b] = id + 1;
    // At most half full, so that probe runs stay short.
    if (m_entries.size() * 2 > m_buckets.size())
        grow();
    return id;
}

int CTagsOutput::slotFor(QByteArrayView fullName, int scope, bool* made)
{
    const int slot = m_names.intern(fullName, made);
    if (*made)
        m_slots.push_back({new Node, scope, -1});
    return slot;
}

void CTagsOutput::addLine(QByteArrayView line)
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
        return;

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
    const QByteArrayView tag = fields[0];

    // ctags prints its lines sorted by name, so a line often has the scope
    // or even the full name of the line before: those are not looked up.
    int scopeId = -1;
    if (!scope.isEmpty()) {
        if (m_lastScope >= 0 && m_scopes.at(m_lastScope) == scope) {
            scopeId = m_lastScope;
        } else {
            bool madeScope;
            scopeId = m_scopes.intern(scope, &madeScope);
            m_lastScope = scopeId;
        }
    }
    bool made = false;
    int slot = -1;
    if (m_lastSlot >= 0) {
        const QByteArrayView last = m_names.at(m_lastSlot);
        const bool same = scope.isEmpty() ? last == tag
                                          : last.size() == scope.size() + 2 + tag.size() &&
                                                last.startsWith(scope) && last.endsWith(tag) &&
                                                last.sliced(scope.size(), 2) == "::";
        if (same)
            slot = m_lastSlot;
    }
    if (slot < 0) {
        // The full name, looked up without a copy of its own.
        QByteArrayView fullName = tag;
        if (!scope.isEmpty()) {
            m_key.resize(scope.size() + 2 + tag.size());
            char* k = m_key.data();
            std::memcpy(k, scope.data(), size_t(scope.size()));
            std::memcpy(k + scope.size(), "::", 2);
            std::memcpy(k + scope.size() + 2, tag.data(), size_t(tag.size()));
            fullName = m_key;
        }
        slot = slotFor(fullName, scopeId, &made);
        m_lastSlot = slot;
    }

    // A name met again under the same scope has the same tag: the same full
    // name with the same scope length. Only a different split makes a copy.
    Slot& s = m_slots[size_t(slot)];
    Node* n = s.node;
    if (made || s.scopeLength != scope.size())
        n->name = QString::fromUtf8(tag);
    s.scopeLength = int(scope.size());
    const QByteArrayView kind = fields[3];
    n->type = kind.size() == 1 && uchar(kind[0]) < 128 ? m_kinds[uchar(kind[0])] : Node::Unknown;
    n->start_line = toNumber(address) - 1;
    if (!m_lineEnds)
        m_lineEnds.emplace(m_text);
    n->start = m_lineEnds->pos(n->start_line);
    n->start_column = 0;
    ++m_lineCount;
}

Node* CTagsOutput::buildTree()
{
    // The parent of each node of a line: the node of its first line's scope
    // text (none for "A::::B"), known once the Namespace nodes below exist.
    const int lineSlots = int(m_slots.size());

    // Namespace nodes for the parts of scopes that no line names, placed at
    // the nearest enclosing node that exists, in the order the scopes were
    // first met. Their slots follow those of the lines, so they are linked
    // after the real nodes.
    QByteArray prefix;
    for (int id = 0; id < m_scopes.size(); ++id) {
        const QByteArrayView scope = m_scopes.at(id);
        prefix.truncate(0);
        int previous = -1;
        int nearPos = 0;
        int nearLine = 0;
        qsizetype from = 0;
        while (from <= scope.size()) {
            qsizetype to = scope.indexOf("::", from);
            if (to < 0)
                to = scope.size();
            const QByteArrayView part = scope.sliced(from, to - from);
            from = to + 2;
            if (part.isEmpty())
                continue;
            if (!prefix.isEmpty())
                prefix.append("::");
            prefix.append(part);
            bool made = false;
            const int slot = slotFor(prefix, previous, &made);
            Node* n = m_slots[size_t(slot)].node;
            if (made) {
                n->name = QString::fromUtf8(part);
                n->type = Node::Namespace;
                n->start = nearPos;
                n->start_line = nearLine;
            } else {
                nearPos = n->start;
                nearLine = n->start_line;
            }
            previous = slot;
        }
    }
    std::vector<int> scopeSlot;
    scopeSlot.reserve(size_t(m_scopes.size()));
    for (int id = 0; id < m_scopes.size(); ++id)
        scopeSlot.push_back(m_names.find(m_scopes.at(id)));
    for (int i = 0; i < lineSlots; ++i) {
        int& parent = m_slots[size_t(i)].parent;
        parent = parent < 0 ? -1 : scopeSlot[size_t(parent)];
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
    m_names = Names();
    m_scopes = Names();
    m_lastSlot = -1;
    m_lastScope = -1;
    if (!root) {
        root = new Node;
        root->name = QStringLiteral("No tags found");
    }
    return root;
}

// The run of one ctags process.
struct CTagsRun {
    int key;
    QString fileName;
    std::unique_ptr<QTemporaryFile> file;
    CTagsOutput output;
};

class CTagsParser::Private
{
public:
    static CTagsParser* self;
    // The suffix of the latest request's file, for the run it may start.
    QString ext;
    QHash<QProcess*, CTagsRun*> outputs;
    int timeLimit = 30000;
    bool warned = false;
};

CTagsParser* CTagsParser::Private::self = nullptr;

CTagsParser* CTagsParser::self()
{
    if (!Private::self)
        new CTagsParser(Shell::self());
    return Private::self;
}

CTagsParser::CTagsParser(QObject* parent) : Parser(parent), d(new Private)
{
    Private::self = this;
}

CTagsParser::~CTagsParser()
{
    if (Private::self == this)
        Private::self = nullptr;
    // No ctags outlives the program, and no temporary file either.
    for (auto it = d->outputs.cbegin(); it != d->outputs.cend(); ++it) {
        QProcess* p = it.key();
        disconnect(p, nullptr, this, nullptr);
        p->kill();
        p->waitForFinished(1000);
        delete p;
        delete it.value();
    }
    delete d;
}

int CTagsParser::parse(const QString& text, const QString& filePath)
{
    d->ext = CTagsOutput::suffixOf(filePath);
    return Parser::parse(text, filePath);
}

void CTagsParser::setTimeLimit(int msecs)
{
    d->timeLimit = msecs;
}

int CTagsParser::runCount() const
{
    return int(d->outputs.size());
}

int CTagsParser::parse(const QString& text)
{
    const QString fileName = requestFileName();
    const int key = requestKey();

    // The file's earlier run works on a text the editor no longer holds.
    const QList<QProcess*> running = d->outputs.keys();
    for (QProcess* p : running) {
        if (d->outputs.value(p)->fileName == fileName)
            stop(p);
    }

    // Found here, so that a missing program is known before anything starts.
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ctags"));
    if (program.isEmpty()) {
        cannotStart(key, fileName);
        return 0;
    }

    // A fresh file of a random name, readable by its owner only; the suffix
    // lets ctags tell the language. The temporary folder is empty when the
    // one named does not exist: never fall back to the root folder.
    const QString folder = QDir::tempPath();
    auto file = std::make_unique<QTemporaryFile>(folder + QStringLiteral("/vexaXXXXXX") + d->ext);
    const QByteArray bytes = text.toUtf8();
    if (folder.isEmpty() || !QFileInfo(folder).isDir() || !file->open() ||
        file->write(bytes) != bytes.size() || !file->flush()) {
        qWarning("ctags: cannot write a temporary file in \"%s\": %s", qPrintable(folder),
                 qPrintable(file->errorString()));
        parseFailed(key, fileName);
        return 0;
    }
    file->close();

    auto* p = new QProcess(this);
    p->setProgram(program);
    p->setArguments(CTagsOutput::arguments(d->ext, file->fileName()));
    p->setStandardErrorFile(QProcess::nullDevice());
    d->outputs.insert(p, new CTagsRun{key, fileName, std::move(file), CTagsOutput(d->ext, text)});

    connect(p, &QProcess::readyReadStandardOutput, this, [this, p] { readOutput(p); });
    connect(p, &QProcess::finished, this,
            [this, p](int code, QProcess::ExitStatus status) { processExited(p, code, status); });
    connect(p, &QProcess::errorOccurred, this,
            [this, p](QProcess::ProcessError error) { processFailed(p, error); });
    auto* timer = new QTimer(p);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, p] { stop(p); });
    timer->start(d->timeLimit);

    p->start(QIODevice::ReadOnly);
    return d->outputs.contains(p) ? key : 0;
}

void CTagsParser::readOutput(QProcess* p)
{
    if (CTagsRun* run = d->outputs.value(p))
        run->output.addData(p->readAllStandardOutput());
}

void CTagsParser::processExited(QProcess* p, int exitCode, QProcess::ExitStatus status)
{
    CTagsRun* run = d->outputs.take(p);
    if (!run)
        return;
    run->output.addData(p->readAllStandardOutput());
    run->output.finish();
    disconnect(p, nullptr, this, nullptr);
    p->deleteLater();
    run->file.reset();
    if (status != QProcess::NormalExit || exitCode != 0) {
        // A crashed or failing ctags has not seen the whole text: what it
        // printed is no picture of the text's symbols.
        parseFailed(run->key, run->fileName);
    } else {
        Node* root = run->output.buildTree();
        deliver(run->key, run->fileName, root);
    }
    delete run;
}

void CTagsParser::processFailed(QProcess* p, QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart)
        return; // a crash or a kill ends in processExited()
    CTagsRun* run = d->outputs.take(p);
    if (!run)
        return;
    disconnect(p, nullptr, this, nullptr);
    p->deleteLater();
    const int key = run->key;
    const QString fileName = run->fileName;
    delete run;
    cannotStart(key, fileName);
}

void CTagsParser::cannotStart(int key, const QString& fileName)
{
    parseFailed(key, fileName);
    // Said once: the timer and every editor signal ask again and again.
    if (!d->warned) {
        d->warned = true;
        Message::warning(QStringLiteral("Error"), QStringLiteral("Can't run ctags program"),
                         QString(), QString(), QString(), 0, -1);
    }
}

void CTagsParser::stop(QProcess* p)
{
    CTagsRun* run = d->outputs.take(p);
    if (!run)
        return;
    disconnect(p, nullptr, this, nullptr);
    p->kill();
    p->waitForFinished(1000);
    p->deleteLater();
    parseFailed(run->key, run->fileName);
    delete run;
}

} // namespace vexa

#include "ctagsparser.h"

#include "message.h"
#include "node.h"
#include "shell.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QHash>
#include <QSet>
#include <QTemporaryFile>
#include <QTimer>
#include <cstring>
#include <memory>
#include <vector>

namespace vexa
{

namespace
{

// Extension fields that never give a scope (universal ctags turns several of
// them on by default, `typeref` for nearly every C and C++ symbol).
bool isScopeField(QByteArrayView field)
{
    static const QSet<QByteArray> notScopes = [] {
        QSet<QByteArray> s;
        for (const char* k :
             {"typeref", "access", "signature", "inherits", "language", "line", "end", "roles",
              "properties", "template", "name", "kind", "extras", "implementation", "nth",
              "scopeKind", "xpath", "epoch", "input", "pattern", "captures", "macrodef",
              "specialization", "decorators", "nameref", "howImported", "packageName",
              "implements", "assignment", "assignmentop", "sectionMarker", "version", "wrapping",
              "langid", "category", "protocols", "home", "shell", "constructor", "mixin",
              "parameter", "architecture", "uri"})
            s.insert(QByteArray(k));
        return s;
    }();
    const qsizetype colon = field.indexOf(':');
    if (colon < 0)
        return true;
    return !notScopes.contains(field.first(colon).toByteArray());
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
    const bool cFamily = ext == QLatin1String(".c") || ext == QLatin1String(".cpp") ||
                         ext == QLatin1String(".h");
    if (cFamily && (c == 'm' || c == 'v'))
        return Node::Variable; // data members and variables
    if (ext == QLatin1String(".java") && c == 'f')
        return Node::Variable; // fields
    switch (c) {
    case 'c': return Node::Class;
    case 'm':
    case 'f': return Node::Function;
    case 'd': return Node::Define;
    case 'e': return Node::Enumerator;
    case 'F': return Node::FileName;
    case 'g': return Node::Enumeration;
    case 'v': return Node::Variable;
    case 'p': return Node::Prototype;
    case 's': return Node::Structure;
    case 't': return Node::Typedef;
    case 'u': return Node::Union;
    case 'n': return Node::Namespace;
    default: return Node::Unknown;
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
        const char* nl = static_cast<const char*>(std::memchr(data.data(), '\n', size_t(data.size())));
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

void CTagsOutput::addLine(QByteArrayView line)
{
    // Fields split at tabs, empty ones dropped: name, file, address, kind,
    // then the first extension field that can be a scope.
    QByteArrayView fields[4];
    QByteArrayView scope;
    int count = 0;
    bool haveScope = false;
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
            else if (!haveScope && isScopeField(field)) {
                scope = field;
                haveScope = true;
            }
            ++count;
        }
        p = tab + 1;
    }
    if (count <= 3)
        return;

    for (const char* prefix :
         {"class:", "enum:", "file:", "arity:", "union:", "struct:", "function:", "namespace:"}) {
        if (scope.startsWith(prefix))
            scope = scope.sliced(qsizetype(std::strlen(prefix)));
    }
    QByteArrayView address = fields[2];
    if (address.endsWith(";\""))
        address.chop(2);

    CTagsLine e;
    e.tag = QString::fromUtf8(fields[0]);
    if (!scope.isEmpty()) {
        e.parent = QString::fromUtf8(scope);
        e.fullTag = e.parent + QLatin1String("::") + e.tag;
    } else {
        e.fullTag = e.tag;
    }
    const QByteArrayView kind = fields[3];
    e.type = kind.size() == 1 && uchar(kind[0]) < 128 ? m_kinds[uchar(kind[0])] : Node::Unknown;
    e.line = toNumber(address) - 1;
    if (!m_lineEnds)
        m_lineEnds.emplace(m_text);
    e.pos = m_lineEnds->pos(e.line);
    m_entries.append(std::move(e));
}

Node* CTagsOutput::buildTree()
{
    // One node per full name; `tail` is the last child linked so far.
    struct Slot {
        Node* node;
        Node* tail;
        bool linked;
    };
    std::vector<Slot> table;
    table.reserve(size_t(m_entries.size()));
    // Full name to slot number + 1 (0: none yet).
    QHash<QString, int> index;
    index.reserve(m_entries.size());
    std::vector<int> slotOf;
    slotOf.reserve(size_t(m_entries.size()));

    auto place = [&](Node* n, const CTagsLine& e) {
        n->name = e.tag;
        n->type = e.type;
        n->start = e.pos;
        n->start_line = e.line;
        n->start_column = 0;
    };
    for (const CTagsLine& e : std::as_const(m_entries)) {
        int& number = index[e.fullTag];
        if (number == 0) {
            table.push_back({new Node, nullptr, false});
            number = int(table.size());
        }
        place(table[size_t(number - 1)].node, e);
        slotOf.push_back(number - 1);
    }

    // Namespace nodes for the parts of scopes that no line names, placed at
    // the nearest enclosing node that exists. A scope seen before adds
    // nothing: all its parts exist by then.
    QSet<QString> scopesDone;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const QString scope = m_entries.at(i).parent;
        if (scope.isEmpty() || scopesDone.contains(scope))
            continue;
        scopesDone.insert(scope);
        QString prefix;
        int nearPos = 0;
        int nearLine = 0;
        for (const QString& part : scope.split(QLatin1String("::"), Qt::SkipEmptyParts)) {
            const QString previous = prefix;
            prefix = prefix.isEmpty() ? part : prefix + QLatin1String("::") + part;
            const auto found = index.constFind(prefix);
            if (found != index.constEnd()) {
                const Node* n = table[size_t(found.value() - 1)].node;
                nearPos = n->start;
                nearLine = n->start_line;
                continue;
            }
            CTagsLine synthetic;
            synthetic.tag = part;
            synthetic.fullTag = prefix;
            synthetic.parent = previous;
            synthetic.type = Node::Namespace;
            synthetic.line = nearLine;
            synthetic.pos = nearPos;
            table.push_back({new Node, nullptr, false});
            place(table.back().node, synthetic);
            index.insert(prefix, int(table.size()));
            slotOf.push_back(int(table.size()) - 1);
            m_entries.append(std::move(synthetic));
        }
    }

    // Linking in entry order; a full name met again keeps its first place.
    Node* root = nullptr;
    Node* last = nullptr;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        Slot& s = table[size_t(slotOf[size_t(i)])];
        if (s.linked)
            continue;
        s.linked = true;
        Node* n = s.node;
        const QString& scope = m_entries.at(i).parent;
        const int parent = scope.isEmpty() ? 0 : index.value(scope);
        if (parent == 0) {
            if (last) {
                last->next = n;
                n->prev = last;
            } else {
                root = n;
            }
            last = n;
            continue;
        }
        Slot& ps = table[size_t(parent - 1)];
        n->parent = ps.node;
        if (ps.tail) {
            ps.tail->next = n;
            n->prev = ps.tail;
        } else {
            ps.node->child = n;
        }
        ps.tail = n;
    }
    m_entries.clear();

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

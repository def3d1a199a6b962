#include "vexa/ctags/parser.h"

#include "vexa/ctags/node.h"
#include "vexa/utils.h"

#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>

namespace vexa
{

namespace
{

// A tree the parser owns.
struct Tree {
    Node* root = nullptr;
    int key = 0;
    QByteArray digest;
    QString fileName;
    quint64 generation = 0;
    int holds = 0;
    // Whether it is the newest tree of its file (the one a request finds).
    bool newest = true;
};

// A cached tree waiting for its delivery from the event loop.
struct Pending {
    int key;
    QString fileName;
    Node* root;
};

using Request = QPair<int, QString>;

// Where a line that starts at `start` ends (see xy2pos); `newline` is the
// position of its newline, -1 for the last line.
int endOfLine(int start, int newline, int length)
{
    if (newline < 0)
        return start < length ? length : length + 1;
    return newline > start ? newline - 1 : newline;
}

} // namespace

class Parser::Private
{
public:
    QHash<const Node*, Tree*> trees;
    QHash<QString, Tree*> newest;
    // Every parse under way, with the digest of its text.
    QHash<Request, QByteArray> inFlight;
    // Per file, the digest of the text whose parse ran out of time.
    QHash<QString, QByteArray> timedOut;
    QList<Pending> nodesToSend;
    QString requestFile;
    int requestKey = 0;
    // The file of the delivery under way, for cacheNodes().
    QString delivering;
    quint64 nextGeneration = 1;
    QPixmap none;
    // Frees the trees let go of: a tree of hundreds of thousands of nodes
    // takes tens of milliseconds to free, the window's time otherwise.
    QThreadPool freeing;

    Private() { freeing.setMaxThreadCount(1); }

    void free(Tree* t)
    {
        trees.remove(t->root);
        freeing.start([root = t->root] { delete root; });
        delete t;
    }
};

Parser::Parser(QObject* parent) : QObject(parent), d(new Private)
{
    setObjectName(QStringLiteral("Parser"));
    static const struct {
        int code;
        const char* name;
    } table[] = {{Node::Unknown, "Variable"},        {Node::Class, "Class"},
                 {Node::Function, "Function"},       {Node::Define, "Define"},
                 {Node::Enumerator, "Enumerator"},   {Node::FileName, "FileName"},
                 {Node::Enumeration, "Enumeration"}, {Node::Variable, "Variable"},
                 {Node::Prototype, "Prototipe"},     {Node::Structure, "Structure"},
                 {Node::Typedef, "Typedef"},         {Node::Union, "Union"},
                 {Node::Namespace, "Namespace"},     {Node::FunctionPrivate, "FunctionPrivate"}};
    for (const auto& t : table)
        pixmaps.insert(t.code, Utils::icon(QStringLiteral("16x16_t") + QLatin1String(t.name)));
    for (const auto& t : table)
        typenames.insert(t.code, QLatin1String(t.name));
    connect(this, &Parser::nodes, this, &Parser::cacheNodes);
}

Parser::~Parser()
{
    d->freeing.waitForDone();
    for (Tree* t : std::as_const(d->trees)) {
        delete t->root;
        delete t;
    }
    delete d;
}

int Parser::parseFile(const QString& fileName)
{
    QFile f(fileName);
    QString text;
    if (f.open(QIODevice::ReadOnly))
        text = QString::fromLatin1(f.readAll());
    return parse(text, fileName);
}

int Parser::parse(const QString& text, const QString& fileName)
{
    return parse(text, fileName, digest(text));
}

int Parser::parse(const QString& text, const QString& fileName, const QByteArray& dg)
{
    const QString name = fileName.isEmpty() ? QStringLiteral("Untitled") : fileName;
    const int key = text.isEmpty() ? 0 : keyOf(dg);
    const Request request(key, name);
    if (d->inFlight.contains(request))
        return key;
    const auto late = d->timedOut.constFind(name);
    if (late != d->timedOut.cend()) {
        if (*late == dg)
            return key;
        d->timedOut.erase(late);
    }
    d->inFlight.insert(request, dg);

    Tree* t = d->newest.value(name);
    if (t && t->key == key && t->digest == dg) {
        // Held until delivered, so a newer tree arriving first cannot free it.
        ++t->holds;
        d->nodesToSend.append({key, name, t->root});
        QTimer::singleShot(0, this, &Parser::sendNodes);
        return key;
    }
    const QString outerFile = d->requestFile;
    const int outerKey = d->requestKey;
    d->requestFile = name;
    d->requestKey = key;
    const int result = parse(text);
    d->requestFile = outerFile;
    d->requestKey = outerKey;
    return result;
}

QString Parser::typeName(const Node* node) const
{
    const bool hidden = node->type == Node::Function && node->name.startsWith(QLatin1String("__"));
    return typenames.value(hidden ? int(Node::FunctionPrivate) : node->type);
}

const QPixmap* Parser::typeIcon(const Node* node) const
{
    const bool hidden = node->type == Node::Function && node->name.startsWith(QLatin1String("__"));
    const auto it = pixmaps.constFind(hidden ? int(Node::FunctionPrivate) : node->type);
    return it == pixmaps.constEnd() ? &d->none : &*it;
}

int Parser::pos2y(int pos, const QString& text)
{
    const int last = qMin(qMax(pos, 0), int(text.size()) - 1);
    const QChar* s = text.constData();
    int lines = 0;
    for (int i = 0; i <= last && s[i].unicode(); ++i)
        lines += s[i] == QLatin1Char('\n');
    return lines;
}

int Parser::pos2x(int pos, const QString& text)
{
    pos = qMax(pos, 0);
    int i = pos;
    while (i != 0 && (i >= text.size() || text.at(i) != QLatin1Char('\n')))
        --i;
    return pos - i;
}

int Parser::xy2pos(int, int y, const QString& text)
{
    const int length = int(text.size());
    int start = 0;
    for (int line = 0; line < y; ++line) {
        const int newline = int(text.indexOf(QLatin1Char('\n'), start));
        if (newline < 0)
            return length + 1;
        start = newline + 1;
    }
    return endOfLine(start, int(text.indexOf(QLatin1Char('\n'), start)), length);
}

Parser::LineEnds::LineEnds(const QString& text) : m_length(int(text.size()))
{
    for (qsizetype i = text.indexOf(QLatin1Char('\n')); i >= 0;
         i = text.indexOf(QLatin1Char('\n'), i + 1))
        m_newlines.append(int(i));
    m_nul = int(text.indexOf(QChar(0)));
}

Parser::LineEnds::LineEnds(int lineCount, const std::function<QString(int)>& line)
{
    m_newlines.reserve(qMax(lineCount - 1, 0));
    for (int i = 0; i < lineCount; ++i) {
        const QString l = line(i);
        if (m_nul < 0 && l.contains(QChar(0)))
            m_nul = m_length + int(l.indexOf(QChar(0)));
        m_length += int(l.size());
        if (i + 1 < lineCount)
            m_newlines.append(m_length++);
    }
}

int Parser::LineEnds::line(int pos) const
{
    // As pos2y(): the newlines at positions 0..pos, before the first U+0000.
    int last = qMin(qMax(pos, 0), m_length - 1);
    if (m_nul >= 0)
        last = qMin(last, m_nul - 1);
    return int(std::upper_bound(m_newlines.cbegin(), m_newlines.cend(), last) -
               m_newlines.cbegin());
}

int Parser::LineEnds::pos(int y) const
{
    y = qMax(y, 0);
    const int count = int(m_newlines.size());
    if (y > count)
        return m_length + 1;
    const int start = y == 0 ? 0 : m_newlines.at(y - 1) + 1;
    return endOfLine(start, y < count ? m_newlines.at(y) : -1, m_length);
}

QByteArray Parser::digest(const QString& text)
{
    return Digest().finish(text);
}

namespace
{

// Blocks of this many UTF-16 units are hashed one after the other, each
// hash seeding the next.
constexpr qsizetype kDigestBlock = 1 << 16;

} // namespace

Parser::Digest::Digest()
{
    // Two chains of hashes under seeds drawn per process: no text can be
    // made to share another's digest.
    static const quint64 seeds[2] = {QRandomGenerator::system()->generate64(),
                                     QRandomGenerator::system()->generate64()};
    m_hash[0] = seeds[0];
    m_hash[1] = seeds[1];
}

void Parser::Digest::add(const QString& text)
{
    for (; text.size() - m_done >= kDigestBlock; m_done += kDigestBlock) {
        for (quint64& h : m_hash)
            h = quint64(qHashBits(text.utf16() + m_done, size_t(kDigestBlock) * 2, size_t(h)));
    }
}

QByteArray Parser::Digest::finish(const QString& text)
{
    add(text);
    // The rest, and the length, so that a text never shares the digest of
    // one it begins with.
    const quint64 length = quint64(text.size());
    for (quint64& h : m_hash) {
        h = quint64(qHashBits(text.utf16() + m_done, size_t(text.size() - m_done) * 2, size_t(h)));
        h = quint64(qHashBits(&length, sizeof length, size_t(h)));
    }
    m_done = text.size();
    return QByteArray(reinterpret_cast<const char*>(m_hash), sizeof m_hash);
}

int Parser::keyOf(const QByteArray& digest)
{
    quint32 key = 0;
    for (int i = 0; i < 4 && i < digest.size(); ++i)
        key = (key << 8) | quint8(digest.at(i));
    return int(key);
}

int Parser::calculateKey(const QString& text)
{
    return text.isEmpty() ? 0 : keyOf(digest(text));
}

void Parser::hold(Node* root)
{
    if (Tree* t = d->trees.value(root))
        ++t->holds;
}

void Parser::release(Node* root)
{
    Tree* t = d->trees.value(root);
    if (!t || t->holds == 0)
        return;
    if (--t->holds == 0 && !t->newest)
        d->free(t);
}

quint64 Parser::generation(const Node* root) const
{
    const Tree* t = d->trees.value(root);
    return t ? t->generation : 0;
}

int Parser::treeCount() const
{
    return int(d->trees.size());
}

bool Parser::inFlight(int key, const QString& fileName) const
{
    return d->inFlight.contains(
        Request(key, fileName.isEmpty() ? QStringLiteral("Untitled") : fileName));
}

QString Parser::requestFileName() const
{
    return d->requestFile;
}

int Parser::requestKey() const
{
    return d->requestKey;
}

void Parser::deliver(int key, const QString& fileName, Node* root)
{
    const QString outer = d->delivering;
    d->delivering = fileName;
    Q_EMIT nodes(key, root);
    d->delivering = outer;
}

void Parser::parseFailed(int key, const QString& fileName)
{
    d->inFlight.remove(Request(key, fileName));
}

bool Parser::timedOut(int key, const QString& fileName) const
{
    const QByteArray dg =
        d->timedOut.value(fileName.isEmpty() ? QStringLiteral("Untitled") : fileName);
    return !dg.isEmpty() && keyOf(dg) == key;
}

void Parser::parseTimedOut(int key, const QString& fileName)
{
    const QByteArray dg = d->inFlight.take(Request(key, fileName));
    if (dg.isEmpty())
        return;
    d->timedOut.insert(fileName, dg);
    Q_EMIT noAnswer(key, fileName);
}

void Parser::sendNodes()
{
    const QList<Pending> pending = std::exchange(d->nodesToSend, {});
    for (const Pending& p : pending)
        deliver(p.key, p.fileName, p.root);
    for (const Pending& p : pending)
        release(p.root);
}

void Parser::cacheNodes(int key, Node* rootNode)
{
    QString name = d->delivering;
    if (name.isEmpty()) {
        // Emitted from outside deliver(): the first request for the key.
        for (auto it = d->inFlight.cbegin(); it != d->inFlight.cend(); ++it) {
            if (it.key().first == key) {
                name = it.key().second;
                break;
            }
        }
    }
    const QByteArray dg = d->inFlight.take(Request(key, name));
    if (!rootNode || d->trees.contains(rootNode))
        return; // a cached tree delivered again
    if (name.isEmpty())
        name = QStringLiteral("Untitled");

    Tree* t = new Tree;
    t->root = rootNode;
    t->key = key;
    t->digest = dg;
    t->fileName = name;
    t->generation = d->nextGeneration++;
    d->trees.insert(rootNode, t);
    Tree* old = d->newest.value(name);
    d->newest.insert(name, t);
    if (old) {
        old->newest = false;
        if (old->holds == 0)
            d->free(old);
    }
    Q_EMIT reparsed(name, rootNode);
}

} // namespace vexa

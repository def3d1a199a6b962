// The tags browser's engine at scale:
// (a) about 50 MB of real ctags output (`ctags -R -f - -n` on /usr/include,
//     saved once per run) read and built into a tree, at 25 MB and at 50 MB,
//     and again in a process that has built the tree once before, beside
//     reading the same file line by line into strings, `wc -l`, and making
//     as many bare nodes with their names (the tree's own memory), and
//     QFile::readLine over the same file;
// (b) a 2 MB C++ file with some 35k tags from parse() (which returns at
//     once: the run goes on a worker thread) to the delivered tree, beside
//     ctags alone on the same file;
// (c) freeing 200k nodes (siblings, and a chain as deep), beside deleting
//     as many nodes from an array.
// Every figure comes from a fresh child process.

#include "benchutil.h"
#include "vexa/ctags/ctagsoutput.h"
#include "vexa/ctags/ctagsparser.h"
#include "vexa/ctags/node.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

using namespace vexa;

namespace
{

QString g_dir;
QString g_tags;   // about 50 MB of ctags output
QString g_half;   // its first half
QString g_source; // 2 MB of C++

int countNodes(const Node* root)
{
    int count = 0;
    for (const Node* x = root; x;) {
        ++count;
        if (x->child) {
            x = x->child;
            continue;
        }
        while (x && !x->next)
            x = x->parent;
        if (x)
            x = x->next;
    }
    return count;
}

// Reads a file in 64 KiB pieces through the reader, then builds the tree.
double readerMs(const QString& path, int* nodes)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    QElapsedTimer t;
    t.start();
    CTagsOutput reader(QStringLiteral(".h"), QString());
    QByteArray buf(65536, Qt::Uninitialized);
    qint64 n;
    while ((n = f.read(buf.data(), buf.size())) > 0)
        reader.addData(QByteArrayView(buf.constData(), n));
    reader.finish();
    Node* root = reader.buildTree();
    const double ms = bench::msSince(t);
    *nodes = countNodes(root);
    delete root;
    return ms;
}

double lineReadMs(const QString& path, qint64* lines)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    QElapsedTimer t;
    t.start();
    qint64 count = 0;
    qint64 chars = 0;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine());
        chars += line.size();
        ++count;
    }
    *lines = count + (chars < 0);
    return bench::msSince(t);
}

double readLineMs(const QString& path, qint64* lines)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    QElapsedTimer t;
    t.start();
    qint64 count = 0;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine();
        count += !line.isEmpty();
    }
    *lines = count;
    return bench::msSince(t);
}

double wcMs(const QString& path)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(QStringLiteral("wc"), {QStringLiteral("-l"), path});
    p.waitForFinished(-1);
    return bench::msSince(t);
}

QString readerFigures()
{
    bench::App a;
    int half = 0, full = 0;
    const double h = readerMs(g_half, &half);
    const double r = readerMs(g_tags, &full);
    return QStringLiteral("(a) reader + tree, fresh process: %1 MB %2 ms (%3 nodes), "
                          "%4 MB %5 ms (%6 nodes); ratio 50/25 MB %7")
        .arg(QFileInfo(g_half).size() / 1048576)
        .arg(h, 0, 'f', 0)
        .arg(half)
        .arg(QFileInfo(g_tags).size() / 1048576)
        .arg(r, 0, 'f', 0)
        .arg(full)
        .arg(r / h, 0, 'f', 2);
}

QString warmFigures()
{
    bench::App a;
    int nodes = 0;
    readerMs(g_tags, &nodes);
    const double r = readerMs(g_tags, &nodes);
    const double h = readerMs(g_half, &nodes);
    return QStringLiteral("(a) reader + tree in a process that built the 50 MB tree once before: "
                          "25 MB %1 ms, 50 MB %2 ms; ratio %3")
        .arg(h, 0, 'f', 0)
        .arg(r, 0, 'f', 0)
        .arg(r / h, 0, 'f', 2);
}

QString readLineFigures()
{
    bench::App a;
    qint64 lines = 0;
    const double l = readLineMs(g_tags, &lines);
    return QStringLiteral("(a) peer, fresh process: QFile::readLine over the 50 MB file %1 ms "
                          "(%2 lines)")
        .arg(l, 0, 'f', 0)
        .arg(lines);
}

QString floorFigures()
{
    bench::App a;
    qint64 lines = 0;
    const double l = lineReadMs(g_tags, &lines);
    const double w = wcMs(g_tags);
    return QStringLiteral(
               "(a) floor on the 50 MB file: line by line into strings %1 ms (%2 lines), "
               "wc -l %3 ms")
        .arg(l, 0, 'f', 0)
        .arg(lines)
        .arg(w, 0, 'f', 0);
}

// The memory a tree of that size needs, without any reading: as many nodes
// as the reader made, each named by the first field of a line of the same
// output, linked as siblings, in a fresh process.
QString nodesFloorFigures(int count)
{
    bench::App a;
    QFile f(g_tags);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("(a) no tags file");
    const QByteArray all = f.readAll();
    std::vector<QByteArrayView> names;
    names.reserve(size_t(count));
    for (qsizetype from = 0; from < all.size() && int(names.size()) < count;) {
        qsizetype end = all.indexOf('\n', from);
        if (end < 0)
            end = all.size();
        const QByteArrayView line = QByteArrayView(all).sliced(from, end - from);
        const qsizetype tab = line.indexOf('\t');
        names.push_back(tab < 0 ? line : line.first(tab));
        from = end + 1;
    }
    QElapsedTimer t;
    t.start();
    Node* root = nullptr;
    Node* last = nullptr;
    for (const QByteArrayView name : names) {
        Node* n = new Node;
        n->name = QString::fromUtf8(name);
        if (last) {
            last->next = n;
            n->prev = last;
        } else {
            root = n;
        }
        last = n;
    }
    const double ms = bench::msSince(t);
    const int made = countNodes(root);
    delete root;
    return QStringLiteral("(a) floor of the tree's memory: %1 bare nodes with their names, "
                          "fresh process: %2 ms")
        .arg(made)
        .arg(ms, 0, 'f', 0);
}

QString parseFigures()
{
    bench::App a;
    const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    Settings::setKeyPrefix(QStringLiteral("/vexa"));
    new Shell(nullptr, "vexa::Shell");
    CTagsParser* parser = CTagsParser::self();
    QFile f(g_source);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("(b) no source file");
    const QString text = QString::fromUtf8(f.readAll());

    QElapsedTimer t;
    double delivered = -1;
    int tags = 0;
    QEventLoop loop;
    QObject::connect(parser, &Parser::nodes, &loop, [&](int, Node* root) {
        delivered = bench::msSince(t);
        tags = countNodes(root);
        loop.quit();
    });
    t.start();
    parser->parse(text, QStringLiteral("/bench/big.cpp"));
    const double started = bench::msSince(t);
    if (parser->runCount() != 1)
        return QStringLiteral("(b) ctags did not start");
    loop.exec();
    return QStringLiteral("(b) parse() of %1 KB, %2 tags: returns after %3 ms, tree delivered "
                          "at %4 ms (file, ctags, reading and tree on a worker thread)")
        .arg(text.toUtf8().size() / 1024)
        .arg(tags)
        .arg(started, 0, 'f', 1)
        .arg(delivered, 0, 'f', 1);
}

QString ctagsAloneFigures()
{
    bench::App a;
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QStringLiteral("ctags"), CTagsOutput::arguments(QStringLiteral(".cpp"), g_source));
    p.waitForFinished(-1);
    const QByteArray out = p.readAllStandardOutput();
    return QStringLiteral("(b) ctags alone on the same file: %1 ms (%2 lines)")
        .arg(bench::msSince(t), 0, 'f', 1)
        .arg(out.count('\n'));
}

QString freeFigures()
{
    bench::App a;
    constexpr int kNodes = 200000;
    Node* root = new Node;
    Node* last = root;
    for (int i = 1; i < kNodes; ++i) {
        Node* n = new Node;
        n->name = QStringLiteral("symbol%1").arg(i);
        last->next = n;
        n->prev = last;
        last = n;
    }
    QElapsedTimer t;
    t.start();
    delete root;
    const double siblings = bench::msSince(t);

    root = new Node;
    last = root;
    for (int i = 1; i < kNodes; ++i) {
        Node* n = new Node(last);
        n->name = QStringLiteral("symbol%1").arg(i);
        last->child = n;
        last = n;
    }
    t.start();
    delete root;
    const double chain = bench::msSince(t);

    std::vector<Node*> flat;
    flat.reserve(kNodes);
    for (int i = 0; i < kNodes; ++i) {
        flat.push_back(new Node);
        flat.back()->name = QStringLiteral("symbol%1").arg(i);
    }
    t.start();
    for (Node* n : flat)
        delete n;
    const double array = bench::msSince(t);
    return QStringLiteral("(c) freeing 200k nodes: siblings %1 ms, a chain 200k deep %2 ms; "
                          "peer: deleting them from an array %3 ms")
        .arg(siblings, 0, 'f', 1)
        .arg(chain, 0, 'f', 1)
        .arg(array, 0, 'f', 1);
}

// About 35k tags in 2 MB: functions with a comment line, a struct with
// members now and then, all inside a namespace.
QByteArray bigSource()
{
    QByteArray out = "namespace big {\n";
    for (int i = 0; out.size() < 2 * 1024 * 1024; ++i) {
        if (i % 8 == 0)
            out +=
                QStringLiteral("struct Record%1\n{\n    int count%1;\n    double weight%1;\n};\n\n")
                    .arg(i)
                    .toUtf8();
        out += QStringLiteral("// Adds %1 to its argument.\n"
                              "static int add%1(int x)\n{\n    return x + %1;\n}\n")
                   .arg(i)
                   .toUtf8();
    }
    return out + "}\n";
}

bool prepare()
{
    if (QStandardPaths::findExecutable(QStringLiteral("ctags")).isEmpty()) {
        std::printf("no ctags on PATH: nothing to measure\n");
        return false;
    }
    g_source = g_dir + QStringLiteral("/big.cpp");
    QFile src(g_source);
    if (!src.open(QIODevice::WriteOnly) || src.write(bigSource()) < 0)
        return false;
    src.close();

    // ctags on a real source tree, saved once; cut at a line end near 50 MB.
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QStringLiteral("ctags"),
            {QStringLiteral("-R"), QStringLiteral("-f"), QStringLiteral("-"), QStringLiteral("-n"),
             QStringLiteral("/usr/include")});
    p.waitForFinished(-1);
    QByteArray tags = p.readAllStandardOutput();
    const qsizetype cut = tags.lastIndexOf('\n', 50 * 1024 * 1024);
    if (cut > 0)
        tags.truncate(cut + 1);
    const qsizetype half = tags.lastIndexOf('\n', tags.size() / 2);
    g_tags = g_dir + QStringLiteral("/tags-full");
    g_half = g_dir + QStringLiteral("/tags-half");
    QFile full(g_tags), first(g_half);
    if (!full.open(QIODevice::WriteOnly) || !first.open(QIODevice::WriteOnly))
        return false;
    full.write(tags);
    first.write(tags.left(half + 1));
    return true;
}

} // namespace

int main()
{
    bench::offscreenUnlessSet();
    QTemporaryDir dir;
    g_dir = dir.path();
    if (!prepare())
        return 0;
    // The size of the 50 MB tree, for the floor of its memory.
    const int nodes = bench::inChild([] {
                          bench::App a;
                          int count = 0;
                          readerMs(g_tags, &count);
                          return QString::number(count);
                      }).toInt();
    std::printf("%s\n", qPrintable(bench::inChild(readerFigures)));
    std::printf("%s\n", qPrintable(bench::inChild(warmFigures)));
    std::printf("%s\n", qPrintable(bench::inChild(readLineFigures)));
    std::printf("%s\n", qPrintable(bench::inChild(floorFigures)));
    std::printf("%s\n", qPrintable(bench::inChild([nodes] { return nodesFloorFigures(nodes); })));
    std::printf("%s\n", qPrintable(bench::inChild(parseFigures)));
    std::printf("%s\n", qPrintable(bench::inChild(ctagsAloneFigures)));
    std::printf("%s\n", qPrintable(bench::inChild(freeFigures)));
    return 0;
}

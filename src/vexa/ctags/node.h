#ifndef VEXA_CTAGS_NODE_H
#define VEXA_CTAGS_NODE_H

#include <QString>
#include <QVariantHash>

namespace vexa
{

// One symbol of a parsed text: a class, function, variable... A tree is given
// as its root, the first node of its top level. Siblings are chained through
// `next` / `prev`; the nodes nested in a node start at its `child` and have it
// as `parent`. A node owns its `child` and `next` chains and its `params`.
struct Node {
    Node* next = nullptr;
    Node* prev = nullptr;
    Node* parent = nullptr;
    Node* child = nullptr;
    // One of the codes below; 0 for a node of no kind ("No tags found").
    int type = 0;
    // Position in the parsed text (UTF-16 units) that orders the node among
    // the others; the ctags parser stores the end of the symbol's line.
    int start = 0;
    int start_line = 0;
    int start_column = 0;
    int end = 0;
    int startContext = 0;
    int endContext = 0;
    QString name;
    // Named attributes; null unless a producer attaches some.
    QVariantHash* params = nullptr;

    enum Type {
        Unknown = 101,
        Class = 102,
        Function = 103,
        // Shown for a Function whose name begins with "__"; never stored.
        FunctionPrivate = 104,
        Define = 105,
        Enumerator = 106,
        FileName = 107,
        Enumeration = 108,
        Variable = 109,
        Prototype = 110,
        Structure = 111,
        Typedef = 112,
        Union = 113,
        Namespace = 114,
    };

    explicit Node(Node* parent = nullptr) : parent(parent) {}
    // Frees the child chain with its subtrees, then every following sibling
    // with theirs, then `params`. Never follows `prev` or `parent`. Works in a
    // loop, so any depth or length of chain is fine.
    ~Node();

    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    // Nodes come from a pool shared by all threads, on large pages once it
    // holds many: a tree of a large file has hundreds of thousands of them,
    // and touching fresh memory a 4 KiB page at a time cost more than
    // building the tree.
    static void* operator new(size_t size);
    static void operator delete(void* p, size_t size);
};

} // namespace vexa

#endif

#include "vexa/ctags/node.h"

#include "xqwidgets/slotpool.h"

#include <mutex>

namespace vexa
{

// Frees a chain and everything hanging on it. Seen as a binary tree (`child`
// left, `next` right), every left link is rotated to the right until the node
// at hand has none; that node is then freed with both links cleared, so its
// destructor has nothing to follow. Linear time, constant memory, no
// recursion, whatever the depth or length of the chains.
static void freeChain(Node* cur)
{
    while (cur) {
        if (Node* left = cur->child) {
            cur->child = left->next;
            left->next = cur;
            cur = left;
        } else {
            Node* right = cur->next;
            cur->next = nullptr;
            delete cur;
            cur = right;
        }
    }
}

namespace
{

// Trees are built on worker threads and freed on others: one lock for all.
struct NodePool {
    std::mutex lock;
    xqwidgets::SlotPool<sizeof(Node), alignof(Node)> nodes;
};

NodePool& nodePool()
{
    static NodePool* p = new NodePool; // never destroyed: nodes may outlive statics
    return *p;
}

} // namespace

void* Node::operator new(size_t size)
{
    if (size != sizeof(Node))
        return ::operator new(size);
    NodePool& pool = nodePool();
    const std::lock_guard<std::mutex> locked(pool.lock);
    return pool.nodes.allocate();
}

void Node::operator delete(void* p, size_t size)
{
    if (!p)
        return;
    if (size != sizeof(Node)) {
        ::operator delete(p);
        return;
    }
    NodePool& pool = nodePool();
    const std::lock_guard<std::mutex> locked(pool.lock);
    pool.nodes.release(p);
}

Node::~Node()
{
    Node* c = child;
    Node* n = next;
    child = next = nullptr;
    freeChain(c);
    freeChain(n);
    delete params;
}

} // namespace vexa

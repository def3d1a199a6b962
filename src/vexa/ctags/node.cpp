#include "vexa/ctags/node.h"

#include "xqwidgets/slotpool.h"

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

// Trees are built on worker threads and freed on others: the pool is locked.
void* Node::operator new(size_t size)
{
    return xqwidgets::PooledAllocation<Node, true>::allocate(size);
}

void Node::operator delete(void* p, size_t size)
{
    xqwidgets::PooledAllocation<Node, true>::release(p, size);
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

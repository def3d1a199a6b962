#include "ctagsfuzz.h"

#include "vexa/ctags/ctagsparser.h"
#include "vexa/ctags/node.h"

#include <QString>
#include <cstdlib>
#include <memory>

using namespace vexa;

namespace
{

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// Walks the tree in pre-order checking every link; a cycle would make the
// walk exceed `limit` steps.
void checkTree(const Node* root, size_t limit)
{
    check(root && !root->prev && !root->parent);
    size_t steps = 0;
    const Node* n = root;
    while (n) {
        check(++steps <= limit);
        if (n->child) {
            check(n->child->parent == n && !n->child->prev);
            n = n->child;
            continue;
        }
        while (n && !n->next)
            n = n->parent;
        if (n) {
            check(n->next->prev == n && n->next->parent == n->parent);
            n = n->next;
        }
    }
}

} // namespace

int fuzzCTags(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    static const char* const suffixes[] = {"", ".c", ".cpp", ".h", ".java", ".ch", ".py", ".CHS"};
    const QString ext = QLatin1String(suffixes[data[0] % 8]);
    const size_t piece = size_t(data[1]) + 1;
    const char* out = reinterpret_cast<const char*>(data + 2);
    const size_t length = size - 2;

    CTagsOutput reader(ext, QString::fromLatin1(out, qsizetype(length)));
    for (size_t at = 0; at < length; at += piece)
        reader.addData(QByteArrayView(out + at, qsizetype(std::min(piece, length - at))));
    reader.finish();
    std::unique_ptr<Node> root(reader.buildTree());
    checkTree(root.get(), 4 * length + 16);
    return 0;
}

#include "ctagsfuzz.h"

#include "vexa/ctags/ctagsoutput.h"
#include "vexa/ctags/node.h"
#include "vexa/ctags/tagsview.h"

#include <QApplication>
#include <QString>
#include <cstdlib>
#include <memory>
#include <vector>

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

size_t countNodes(const Node* root)
{
    size_t count = 0;
    for (const Node* n = root; n;) {
        ++count;
        if (n->child) {
            n = n->child;
            continue;
        }
        while (n && !n->next)
            n = n->parent;
        if (n)
            n = n->next;
    }
    return count;
}

// The view shows the tree it was given, whatever it showed before: one item
// per node (nodes below the deepest level on it, after one note), levels no
// deeper than the cap, each level in the order of the sorting mode.
void checkView(TagsView& view, const Node* root)
{
    size_t tags = 0;
    std::vector<std::pair<QTreeWidgetItem*, int>> todo = {{view.invisibleRootItem(), 0}};
    while (!todo.empty()) {
        const auto [level, depth] = todo.back();
        todo.pop_back();
        check(depth <= TagsView::kMaxDepth);
        int notes = 0;
        for (int i = 0; i < level->childCount(); ++i) {
            QTreeWidgetItem* it = level->child(i);
            if (it->type() == TagsViewItem::NoteType) {
                check(i == 0 && depth == TagsView::kMaxDepth - 1 && ++notes == 1);
                continue;
            }
            check(it->type() == TagsViewItem::Type);
            ++tags;
            if (i > 0)
                check(!TagsViewItem::less(*it, *level->child(i - 1), view.sortingMode()));
            todo.push_back({it, depth + 1});
        }
    }
    check(tags == countNodes(root));
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

    // Into a view: at once, then again in slices after the tree of the
    // output's first half, so that the second merge keeps, moves, makes and
    // deletes items.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return 0;
    TagsView view;
    view.setSortingMode(data[1] % 3);
    view.updateSubTree(nullptr, {root.get()});
    checkView(view, root.get());
    CTagsOutput half(ext, QString::fromLatin1(out, qsizetype(length)));
    half.addData(QByteArrayView(out, qsizetype(length / 2)));
    half.finish();
    std::unique_ptr<Node> first(half.buildTree());
    view.updateSubTree(nullptr, {first.get()});
    checkView(view, first.get());
    view.mergeInSlices({root.get()}, 0);
    while (view.isMerging())
        QCoreApplication::processEvents();
    checkView(view, root.get());
    return 0;
}

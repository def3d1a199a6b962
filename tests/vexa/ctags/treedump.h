#ifndef VEXA_TESTS_TREEDUMP_H
#define VEXA_TESTS_TREEDUMP_H

#include "vexa/ctags/node.h"
#include "vexa/ctags/tagsview.h"

#include <QString>
#include <QStringList>

// A symbol tree as text, one node a line in pre-order, indented two blanks a
// level: "name type line". Checks the links on the way: prev, parent and the
// chains, so a dump can only be made of a well-linked tree.
inline QString dumpTree(const vexa::Node* root, bool* linked = nullptr)
{
    QStringList out;
    bool ok = true;
    const vexa::Node* n = root;
    int depth = 0;
    ok = ok && (!root || (!root->prev && !root->parent));
    while (n) {
        out << QString(depth * 2, QLatin1Char(' ')) +
                   QStringLiteral("%1 %2 %3").arg(n->name).arg(n->type).arg(n->start_line);
        if (n->child) {
            ok = ok && n->child->parent == n && !n->child->prev;
            n = n->child;
            ++depth;
            continue;
        }
        while (n && !n->next) {
            n = n->parent;
            --depth;
        }
        if (n) {
            ok = ok && n->next->prev == n && n->next->parent == n->parent;
            n = n->next;
        }
    }
    if (linked)
        *linked = ok;
    return out.join(QLatin1Char('\n'));
}

// A tree from lines "name type start", two blanks of indent a level.
inline vexa::Node* treeOf(const QStringList& lines)
{
    vexa::Node* root = nullptr;
    QList<vexa::Node*> last; // by depth
    for (const QString& l : lines) {
        const int depth = int(l.size() - l.trimmed().size()) / 2;
        const QStringList f = l.trimmed().split(QLatin1Char(' '));
        vexa::Node* parent = depth ? last.at(depth - 1) : nullptr;
        vexa::Node* n = new vexa::Node(parent);
        n->name = f.at(0);
        n->type = f.value(1, QStringLiteral("103")).toInt();
        n->start = f.value(2, QStringLiteral("0")).toInt();
        last.resize(depth);
        vexa::Node* prev = nullptr;
        if (parent) {
            for (prev = parent->child; prev && prev->next; prev = prev->next) {
            }
        } else {
            for (prev = root; prev && prev->next; prev = prev->next) {
            }
        }
        if (prev) {
            prev->next = n;
            n->prev = prev;
        } else if (parent) {
            parent->child = n;
        } else {
            root = n;
        }
        last.append(n);
    }
    return root;
}

// The items of a tags view as "name:pos" in view order, children in
// brackets after "+" (open) or "-" (closed).
inline QString items(QTreeWidgetItem* parent)
{
    QStringList out;
    for (int i = 0; i < parent->childCount(); ++i) {
        auto* it = static_cast<vexa::TagsViewItem*>(parent->child(i));
        QString s = it->text(0) + QLatin1Char(':') + QString::number(it->pos1);
        if (it->childCount())
            s += (it->isExpanded() ? QStringLiteral("+[") : QStringLiteral("-[")) + items(it) +
                 QLatin1Char(']');
        out << s;
    }
    return out.join(QLatin1Char(' '));
}

// The tree of data/sample.cpp, read from either ctags flavour.
inline const QString sampleCppTree = QStringLiteral("MAXV 105 1\n"
                                                    "N 114 2\n"
                                                    "  A 102 3\n"
                                                    "    member 109 6\n"
                                                    "    method 103 20\n"
                                                    "  Color 108 9\n"
                                                    "    Green 106 9\n"
                                                    "    Red 106 9\n"
                                                    "S 111 11\n"
                                                    "  smember 109 12\n"
                                                    "U 113 14\n"
                                                    "  a 109 15\n"
                                                    "  b 109 16\n"
                                                    "globalVar 109 19\n"
                                                    "helper 103 18\n"
                                                    "main 103 21");

#endif

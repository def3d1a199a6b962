#include "xqwidgets/xqeditor/textfolding.h"

#include "xqwidgets/debuglog.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textline.h"

#include <QDebug>

#include <vector>

namespace xqwidgets
{

class TextFolding::Private
{
public:
    TextDocument* doc = nullptr;
    // While set, the visibility pass is left out (restoring a whole state).
    bool lockUpdateLinesVisibility = false;
};

TextFolding::TextFolding(TextDocument* doc) : QObject(doc), d(new Private)
{
    d->doc = doc;
}

TextFolding::~TextFolding()
{
    delete d;
}

int TextFolding::findFirstFoldLine(int line) const
{
    const TextLine* l = d->doc->lineOf(line);
    if (l->isFoldingStart)
        return line;
    const int level = l->foldingLevel;
    if (level <= 0)
        return -1;
    for (int i = line - 1; i >= 0; --i) {
        const TextLine* h = d->doc->lineOf(i);
        if (h->isFoldingStart && h->foldingLevel == level)
            return i;
    }
    return -1;
}

bool TextFolding::createFold(int firstLine, int lastLine)
{
    TextDocument* doc = d->doc;
    if (firstLine < 0 || firstLine >= doc->lastLine() || firstLine >= lastLine) {
        qCDebug(lcEditor, "Can't create fold for firstLine >= lastLine");
        return false;
    }
    if (lastLine > doc->lastLine())
        lastLine = doc->lastLine();
    if (doc->lineOf(firstLine)->foldingLevel != doc->lineOf(lastLine)->foldingLevel) {
        qCDebug(lcEditor, "Can't create intersected fold");
        return false;
    }
    // Equal levels at both ends still let a range cross folds that lie
    // between them (from inside one fold into the next); it must nest with
    // or stay apart from every existing fold.
    const FoldersState folds = foldersState();
    for (const FolderInfo& f : folds) {
        const bool apart = f.lastLine < firstLine || f.firstLine > lastLine;
        const bool inside = f.firstLine >= firstLine && f.lastLine <= lastLine;
        const bool around = f.firstLine <= firstLine && f.lastLine >= lastLine;
        if (!apart && !inside && !around) {
            qCDebug(lcEditor, "Can't create intersected fold");
            return false;
        }
    }

    TextLine* head = doc->lineOf(firstLine);
    head->isFoldingStart = true;
    head->isFolded = true;
    for (int i = firstLine; i <= lastLine; ++i)
        ++doc->lineOf(i)->foldingLevel;
    updateLinesVisibility();
    placeCaret(firstLine);
    return true;
}

void TextFolding::removeFold(int line)
{
    TextDocument* doc = d->doc;
    if (line < 0 || line > doc->lastLine() || doc->lineOf(line)->foldingLevel == 0)
        return;
    const int h = findFirstFoldLine(line);
    if (h < 0) {
        qCDebug(lcEditor, "hm, can't find the start of folding");
        return;
    }
    TextLine* head = doc->lineOf(h);
    const int level = head->foldingLevel;
    // The head stays one only while it heads another, outer fold: when the
    // line above lies at least two levels lower. A line above at the same
    // level ends a sibling fold, so it does not count.
    const int above = h > 0 ? doc->lineOf(h - 1)->foldingLevel : 0;
    if (above + 1 >= level) {
        head->isFoldingStart = false;
        head->isFolded = false;
    }
    --head->foldingLevel;
    const int last = doc->lastLine();
    for (int i = h + 1; i <= last; ++i) {
        TextLine* l = doc->lineOf(i);
        if (l->foldingLevel < level || (l->foldingLevel == level && l->isFoldingStart))
            break;
        --l->foldingLevel;
    }
    updateLinesVisibility();
}

void TextFolding::openFold(int line)
{
    changeFold(line, Open);
}

void TextFolding::closeFold(int line)
{
    changeFold(line, Close);
}

void TextFolding::toggleFold(int line)
{
    changeFold(line, Toggle);
}

// Opens, closes or toggles the fold whose head is `line` or the nearest
// head above it that contains it, and puts the caret on that head.
void TextFolding::changeFold(int line, FoldChange how)
{
    if (line < 0 || line > d->doc->lastLine())
        return;
    const int h = findFirstFoldLine(line);
    if (h < 0) {
        qCDebug(lcEditor, "hm, can't find the start of folding");
        return;
    }
    TextLine* head = d->doc->lineOf(h);
    head->isFolded = how == Toggle ? !head->isFolded : how == Close;
    updateLinesVisibility();
    placeCaret(h);
}

void TextFolding::placeCaret(int line)
{
    if (DocumentView* v = d->doc->activeView())
        v->setCaret(line, 0);
}

void TextFolding::updateLinesVisibility()
{
    if (d->lockUpdateLinesVisibility)
        return;
    TextDocument* doc = d->doc;
    bool showing = true;
    int hidingLevel = 0;
    const int last = doc->lastLine();
    for (int i = 0; i <= last; ++i) {
        TextLine* l = doc->lineOf(i);
        if (!showing) {
            if (l->foldingLevel > hidingLevel ||
                (l->foldingLevel == hidingLevel && !l->isFoldingStart)) {
                l->isFoldVisible = false;
                continue;
            }
            if (l->foldingLevel == hidingLevel) {
                // A sibling fold right after the closed one.
                l->isFoldVisible = true;
                showing = !l->isFolded;
                continue;
            }
            showing = true; // the closed fold has ended
        }
        l->isFoldVisible = true;
        if (l->isFoldingStart && l->isFolded) {
            showing = false;
            hidingLevel = l->foldingLevel;
        }
    }
    doc->tagAll();
    doc->updateViews();
    const QList<DocumentView*> views = doc->views();
    for (DocumentView* v : views) {
        v->updateContents();
        v->repaintMargins();
    }
}

void TextFolding::ensureLineVisible(int line)
{
    TextDocument* doc = d->doc;
    if (line < 0 || line > doc->lastLine())
        return;
    const TextLine* l = doc->lineOf(line);
    if (l->isFoldVisible && !(l->isFoldingStart && l->isFolded))
        return;
    int level = l->foldingLevel;
    for (int i = line; i >= 0 && level > 0; --i) {
        TextLine* h = doc->lineOf(i);
        if (h->isFoldingStart && h->foldingLevel == level) {
            h->isFolded = false;
            --level;
        }
    }
    updateLinesVisibility();
}

void TextFolding::lineInserted(int line)
{
    // A line made below a hidden line or a closed head lies in that closed
    // fold: it starts hidden, as the visibility pass would have it, and is
    // then shown by opening the folds around it, since it is being edited.
    TextDocument* doc = d->doc;
    TextLine* l = doc->lineOf(line);
    if (line > 0) {
        const TextLine* prev = doc->lineOf(line - 1);
        l->isFoldVisible = prev->isFoldVisible && !(prev->isFoldingStart && prev->isFolded);
    }
    ensureLineVisible(line);
}

void TextFolding::lineRemoved(int line)
{
    // The line now at `line` is met by the visibility pass in the state the
    // line above leaves; that differs from before only when a closed fold
    // ends above it and it heads a fold (possibly several levels deep).
    TextDocument* doc = d->doc;
    if (line <= 0 || line > doc->lastLine() || !doc->lineOf(line)->isFoldingStart)
        return;
    const TextLine* prev = doc->lineOf(line - 1);
    if (!prev->isFoldVisible || (prev->isFoldingStart && prev->isFolded))
        updateLinesVisibility();
}

bool TextFolding::isLastLineOfFold(int line) const
{
    TextDocument* doc = d->doc;
    if (line < 1 || line > doc->lastLine())
        return false;
    const TextLine* l = doc->lineOf(line);
    if (line == doc->lastLine())
        return l->foldingLevel != 0;
    const TextLine* next = doc->lineOf(line + 1);
    return next->foldingLevel < l->foldingLevel ||
           (next->foldingLevel == l->foldingLevel && next->isFoldingStart);
}

void TextFolding::clearAllFolds()
{
    TextDocument* doc = d->doc;
    const int last = doc->lastLine();
    for (int i = 0; i <= last; ++i) {
        TextLine* l = doc->lineOf(i);
        l->isFoldingStart = false;
        l->foldingLevel = 0;
        l->isFolded = false;
        l->isFoldVisible = true;
    }
    updateLinesVisibility();
}

TextFolding::FoldersState TextFolding::foldersState() const
{
    FoldersState list;
    const int last = d->doc->lastLine();
    for (int i = 0; i <= last; ++i) {
        if (d->doc->lineOf(i)->isFoldingStart)
            i = subFolders(i, 0, list);
    }
    return list;
}

int TextFolding::subFolders(int line, int level, FoldersState& list) const
{
    // The folds that start at `line` at this level, with every fold nested
    // in them, inner ones listed first; the result is the last line of the
    // outermost. A stack of the folds still open stands in for recursion, so
    // any depth of nesting is fine.
    TextDocument* doc = d->doc;
    const int last = doc->lastLine();
    struct Open {
        FolderInfo info;
        int depth;
        int i;
    };
    std::vector<Open> open;
    auto start = [&](int first, int outer) {
        FolderInfo info;
        info.isOpened = !doc->lineOf(first)->isFolded;
        info.firstLine = first;
        open.push_back({info, outer + 1, first});
        // An inner fold that shares the head opens right away.
        while (doc->lineOf(first)->foldingLevel > open.back().depth) {
            info.isOpened = !doc->lineOf(first)->isFolded;
            open.push_back({info, open.back().depth + 1, first});
        }
    };
    start(line, level);
    for (;;) {
        Open& f = open.back();
        int i = f.i;
        bool inner = false;
        for (;;) {
            ++i;
            if (i > last)
                break;
            const TextLine* l = doc->lineOf(i);
            if (l->foldingLevel > f.depth) {
                inner = true;
                break;
            }
            if (l->foldingLevel < f.depth || l->isFoldingStart)
                break;
        }
        if (inner) {
            f.i = i;
            start(i, f.depth); // `f` may move
            continue;
        }
        f.info.lastLine = i - 1;
        list.append(f.info);
        const int end = f.info.lastLine;
        open.pop_back();
        if (open.empty())
            return end;
        open.back().i = end;
    }
}

void TextFolding::setFolderstState(const FoldersState& state)
{
    TextDocument* doc = d->doc;
    d->lockUpdateLinesVisibility = true;
    clearAllFolds();
    const int last = doc->lastLine();
    for (const FolderInfo& f : state) {
        if (f.firstLine < 0 || f.lastLine > last || f.firstLine >= f.lastLine)
            continue;
        TextLine* head = doc->lineOf(f.firstLine);
        head->isFoldingStart = true;
        head->isFolded = !f.isOpened;
        for (int i = f.firstLine; i <= f.lastLine; ++i)
            ++doc->lineOf(i)->foldingLevel;
    }
    d->lockUpdateLinesVisibility = false;
    updateLinesVisibility();
}

} // namespace xqwidgets

#ifndef XQWIDGETS_TEXTDOC_P_H
#define XQWIDGETS_TEXTDOC_P_H

#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/sharedtext.h"
#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textbulkcommands.h"
#include "xqwidgets/xqeditor/textcommands.h"
#include "xqwidgets/xqeditor/textfolding.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textlinearray.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QScopeGuard>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <new>

// The document's private record, shared by its edits (textdoc.cpp) and its
// highlighting runs (textdochighlight.cpp).
namespace xqwidgets
{

namespace textdocpriv
{

// Lines whose context pass is owed: `from` to `to` must run, and past `to`
// the run goes on while the end contexts it finds differ from those the
// lines hold. `from` may lie one past `to`: only the run past `to` is owed.
struct OwedPass {
    int from = -1;
    int to = -1;

    bool isEmpty() const { return from < 0; }
    void clear() { from = to = -1; }
    void add(int a, int b)
    {
        if (isEmpty()) {
            from = a;
            to = b;
        } else {
            from = qMin(from, a);
            to = qMax(to, b);
        }
    }
    // `count` lines were inserted at `at` (count > 0) or removed from `at`
    // on (count < 0).
    void shift(int at, int count)
    {
        if (isEmpty())
            return;
        if (count > 0) {
            if (at <= from)
                from += count;
            if (at <= to)
                to += count;
            return;
        }
        const int n = -count;
        auto moved = [&](int x, int inside) { return x < at ? x : x >= at + n ? x - n : inside; };
        from = moved(from, at);
        to = qMax(moved(to, at - 1), from - 1);
    }
};

} // namespace textdocpriv

class TextDocument::Private
{
public:
    TextEditorManager* m = nullptr;
    QList<DocumentView*> views;
    DocumentView* view = nullptr;
    TextFolding* folding = nullptr;
    bool modified = false;
    quint64 revision = 0;
    quint64 widthSerial = 0;
    bool readonly = false;
    int spacesInTab = 8;
    TextLineArray contents;
    TextLine* longestLine = nullptr;
    bool newDocGeometry = false;
    QtUndoStack* undoStack = nullptr;
    int macroCursorLine = -1;
    int macroCursorColumn = -1;
    LineRegion updateRegion;
    // maxLength and longestLine wait for a scan of all lines.
    bool widthStale = false;
    // Width of a capital W in the bold italic font: the one character width
    // the longest-line estimate uses, measured once per font change.
    int wideCharWidth = 1;
    QString terminator = QStringLiteral("\n");
    bool endsWithTerminator = false;
    // Context passes left for idle time or for the first reader that needs
    // them: the rest of a line whose pass ran out of time, and what follows.
    textdocpriv::OwedPass owed;
    // While line commands are batched, the context passes they ask for.
    textdocpriv::OwedPass batch;
    int batching = 0;
    // Nesting of edit(): only the outermost one rolls back.
    int editDepth = 0;
    // Lines whose colouring ran out of time, to be finished in idle time.
    std::vector<int> colourCut;
    QTimer* idle = nullptr;

    void linesInserted(int at, int count)
    {
        for (DocumentView* v : std::as_const(views))
            v->linesInserted(at, count);
        owed.shift(at, count);
        batch.shift(at, count);
        for (int& x : colourCut) {
            if (x >= at)
                x += count;
        }
    }
    void linesRemoved(int at, int count)
    {
        for (DocumentView* v : std::as_const(views))
            v->linesRemoved(at, count);
        owed.shift(at, -count);
        batch.shift(at, -count);
        colourCut.erase(std::remove_if(colourCut.begin(), colourCut.end(),
                                       [&](int x) { return x >= at && x < at + count; }),
                        colourCut.end());
        for (int& x : colourCut) {
            if (x >= at + count)
                x -= count;
        }
        const int last = contents.count() - 1;
        for (textdocpriv::OwedPass* p : {&owed, &batch}) {
            if (p->from > last)
                p->clear();
            else if (!p->isEmpty())
                p->to = qMin(p->to, last);
        }
    }

    // Lines leave the array without being deleted by it; the document frees
    // them itself, since nothing refers to a line once it has left.
    void deleteAllLines()
    {
        for (int i = contents.count() - 1; i >= 0; --i)
            delete contents.at(i);
        contents.clear();
    }
};

} // namespace xqwidgets

#endif

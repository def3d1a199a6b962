#include "xqwidgets/xqeditor/textdoc.h"

#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textdoc_p.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QElapsedTimer>
#include <QTimer>

namespace xqwidgets
{

using textdocpriv::OwedPass;

void TextDocument::updateLines()
{
    // All lines: a view's highlighting changed (the font variant of each
    // attribute with it).
    ++d->widthSerial;
    updateLines(0, lastLine());
}

void TextDocument::updateLines(int from, int to)
{
    // Every change of a line's text is followed by this call (see TextLine).
    ++d->revision;
    if (from < 0)
        from = 0;
    if (to < 0)
        to = 0;
    const int last = lastLine();
    to = qMin(to, last);
    if (from > to)
        return;
    if (d->batching) {
        d->batch.add(from, to);
        return;
    }

    int ctx = from > 0 ? lineOf(from - 1)->context() : 0;
    int lastHandled = from - 1;
    for (int i = from; i <= last; ++i) {
        if (!d->owed.isEmpty() && i >= d->owed.from) {
            // The owed pass runs over these lines in order anyway, from a
            // context it will have made final.
            d->owed.add(i, qMax(i - 1, to));
            break;
        }
        TextLine* line = lineOf(i);
        const int old = line->context();
        const int c = contextPass(ctx, line);
        lastHandled = i;
        if (c < 0) {
            // The line's pass ran out of time: its end context is not known
            // yet, so the lines below keep theirs until it is.
            d->owed.add(i, qMax(i, to));
            scheduleIdleWork();
            break;
        }
        line->setContext(c);
        ctx = c;
        if (i <= to)
            updateMaxLength(line);
        else if (old == c)
            break;
    }
    // The lines from..to changed whether or not their pass ran here (it may
    // be owed, or cut): the views must drop what they keep of them.
    tagLines(from, qMax(to, lastHandled));
}

int TextDocument::contextPass(int ctx, TextLine* line)
{
    // One pass per line, whatever the number of views: the first view's
    // highlighting decides the contexts the document keeps.
    if (d->views.isEmpty()) {
        line->resetHighlight(ctx);
        return ctx;
    }
    return d->views.constFirst()->doHighlight(ctx, line);
}

bool TextDocument::runOwedPass(int upTo, const QElapsedTimer* clock, qint64 sliceMs)
{
    int first = -1;
    int lastRun = -1;
    bool cut = false;
    while (!d->owed.isEmpty() && d->owed.from <= upTo) {
        if (clock && clock->elapsed() >= sliceMs)
            break;
        const int i = d->owed.from;
        TextLine* line = lineOf(i);
        const int old = line->context();
        const int c = contextPass(i > 0 ? lineOf(i - 1)->context() : 0, line);
        if (first < 0)
            first = i;
        lastRun = i;
        if (c < 0) {
            cut = true;
            break;
        }
        line->setContext(c);
        if (i <= d->owed.to)
            updateMaxLength(line);
        else if (old == c) {
            d->owed.clear();
            break;
        }
        d->owed.from = i + 1;
        if (d->owed.from > lastLine())
            d->owed.clear();
    }
    if (first >= 0)
        tagLines(first, lastRun);
    if (!d->owed.isEmpty())
        scheduleIdleWork();
    return !cut && (d->owed.isEmpty() || d->owed.from > upTo);
}

bool TextDocument::ensureContexts(int line)
{
    if (d->owed.isEmpty() || d->owed.from > line)
        return true;
    return runOwedPass(line, nullptr, 0);
}

void TextDocument::colourLine(DocumentView* view, int i, int upTo)
{
    ensureContexts(i);
    TextLine* t = lineOf(i);
    if (t->isHighlighted())
        return;
    TextHighlight* hl = view->highlighting();
    if (hl && upTo >= 0 && upTo < t->size()) {
        if (t->highlightedTo() < upTo)
            hl->highlight(t, upTo);
    } else {
        view->highlight(t);
    }
    if (t->highlightCut(TextLine::ColouringPass))
        noteColourCut(i);
}

void TextDocument::noteColourCut(int line)
{
    if (std::find(d->colourCut.begin(), d->colourCut.end(), line) == d->colourCut.end())
        d->colourCut.push_back(line);
    scheduleIdleWork();
}

bool TextDocument::highlightPending() const
{
    return !d->owed.isEmpty() || !d->colourCut.empty();
}

void TextDocument::scheduleIdleWork(int delayMs)
{
    if (!d->idle) {
        d->idle = new QTimer(this);
        d->idle->setSingleShot(true);
        connect(d->idle, &QTimer::timeout, this, &TextDocument::resumeHighlighting);
    }
    if (!d->idle->isActive())
        d->idle->start(delayMs);
}

void TextDocument::resumeHighlighting()
{
    // A slice short enough that typing meanwhile never waits on it.
    constexpr qint64 sliceMs = 10;
    QElapsedTimer clock;
    clock.start();
    try {
        runOwedPass(lastLine(), &clock, sliceMs);
        if (d->owed.isEmpty() && !d->views.isEmpty()) {
            DocumentView* v = d->views.constFirst();
            while (!d->colourCut.empty() && clock.elapsed() < sliceMs) {
                const int i = d->colourCut.back();
                TextLine* t = lineOf(i);
                if (t->highlightCut(TextLine::ColouringPass))
                    v->highlight(t);
                if (t->highlightCut(TextLine::ColouringPass))
                    continue; // still cut: the next slice goes on with it
                d->colourCut.pop_back();
                tagLine(i);
            }
        }
    } catch (const std::bad_alloc&) {
        // The colours of a line too long for the memory left (one byte a
        // character): what idle time owes is given up, and the text stays
        // as far coloured as it is.
        d->owed.clear();
        d->colourCut.clear();
    }
    if (!d->updateRegion.isEmpty() || d->newDocGeometry)
        updateViews();
    if (highlightPending())
        scheduleIdleWork();
}

void TextDocument::beginLineBatch()
{
    ++d->batching;
}

void TextDocument::endLineBatch()
{
    if (--d->batching > 0 || d->batch.isEmpty())
        return;
    const OwedPass b = d->batch;
    d->batch.clear();
    updateLines(b.from, qMax(b.from, b.to));
}

} // namespace xqwidgets

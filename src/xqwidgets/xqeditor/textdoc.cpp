#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textdoc_p.h"

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

namespace xqwidgets
{

void LineRegion::expand(int a, int b)
{
    if (b == -1)
        b = a;
    if (a > b)
        std::swap(a, b);
    if (isEmpty()) {
        start = a;
        end = b;
        return;
    }
    start = qMin(start, a);
    end = qMax(end, b);
}

DocumentView::~DocumentView() = default;

static int clampTabWidth(int n)
{
    return qBound(1, n, 16);
}

TextDocument::TextDocument(TextEditorManager* m) : QObject(nullptr), d(new Private)
{
    d->undoStack = new QtUndoStack(this, "undoStack");
    connect(d->undoStack, &QtUndoStack::commandExecuted, this, &TextDocument::macroExecuted);
    connect(d->undoStack, &QtUndoStack::outOfMemory, this, &TextDocument::outOfMemory);
    // Undoing or redoing back to the text last saved or loaded makes the
    // document unmodified again.
    connect(d->undoStack, &QtUndoStack::cleanChanged, this,
            [this](bool clean) { documentChanged(!clean); });
    d->folding = new TextFolding(this);
    d->m = m;
    // A tab width below 1 would reach a division in the tab arithmetic.
    d->spacesInTab = clampTabWidth(m ? m->tabWidth() : 8);
    updateFontData();
    d->newDocGeometry = false;
    shouldWrap = m ? m->fLineWrap : false;
    nWrapMode = wrapLine;
    wordBound = QStringLiteral(" \"'\\:;,./?!`");
    clear();
}

TextDocument::~TextDocument()
{
    // Commands hold no line pointers, but drop them first anyway so that
    // nothing runs against freed lines while the children go.
    d->deleteAllLines();
    delete d;
    d = nullptr;
}

TextEditorManager* TextDocument::manager() const
{
    return d->m;
}

QtUndoStack* TextDocument::undoStack() const
{
    return d->undoStack;
}

TextFolding* TextDocument::folding() const
{
    return d->folding;
}

int TextDocument::lastLine() const
{
    return d->contents.count() - 1;
}

TextLine* TextDocument::lineOf(int i) const
{
    return d->contents.at(i);
}

void TextDocument::addView(DocumentView* view)
{
    d->views.append(view);
}

void TextDocument::removeView(DocumentView* view)
{
    d->views.removeAll(view);
    if (d->view == view)
        d->view = nullptr;
}

QList<DocumentView*> TextDocument::views() const
{
    return d->views;
}

DocumentView* TextDocument::activeView() const
{
    return d->view;
}

void TextDocument::setActiveView(DocumentView* view)
{
    d->view = view;
    if (view)
        QtUndoManager::manager()->associateView(view->viewObject(), d->undoStack);
}

bool TextDocument::isModified() const
{
    return d->modified;
}

void TextDocument::setModified(bool m)
{
    d->modified = m;
}

bool TextDocument::isReadOnly() const
{
    return d->readonly;
}

void TextDocument::setReadOnly(bool r)
{
    d->readonly = r;
}

int TextDocument::spacesInTab() const
{
    return d->spacesInTab;
}

void TextDocument::setSpacesInTab(int n)
{
    d->spacesInTab = clampTabWidth(n);
    for (DocumentView* v : std::as_const(d->views))
        v->setTabsWidth(v->spaceWidth() * d->spacesInTab);
    d->longestLine = nullptr;
    updateMaxLength(nullptr);
    for (DocumentView* v : std::as_const(d->views))
        v->resizeBuffer();
    tagAll();
    updateViews();
}

void TextDocument::setWrap(bool w)
{
    if (shouldWrap == w)
        return;
    shouldWrap = w;
    for (DocumentView* v : std::as_const(d->views)) {
        v->updateLines(0, lastLine());
        v->updateView(d->newDocGeometry);
    }
}

int TextDocument::marked(int line) const
{
    return lineOf(line)->marked();
}

void TextDocument::setMarked(int line, int value)
{
    lineOf(line)->setMarked(value);
    for (DocumentView* v : std::as_const(d->views))
        v->repaintMargins();
}

void TextDocument::setMacroCursorPosition(int line, int column)
{
    d->macroCursorLine = line;
    d->macroCursorColumn = column;
}

// --- Primitive and composite edits ------------------------------------------

void TextDocument::cmdInsert(int line, int col, const QString& text)
{
    d->undoStack->push(new CmdInsert(this, line, col, text));
}

void TextDocument::cmdRemove(int line, int col, int len)
{
    d->undoStack->push(new CmdRemove(this, line, col, len));
}

void TextDocument::makeLine(int i)
{
    d->undoStack->push(new CmdMakeLine(this, i));
}

void TextDocument::removeLine(int i)
{
    d->undoStack->push(new CmdRemoveLine(this, i));
}

QString TextDocument::shortDescription(const QString& description)
{
    if (description.size() > 32)
        return description.left(32) + QStringLiteral("...");
    return description;
}

bool TextDocument::edit(const std::function<void()>& change)
{
    if (d->editDepth > 0) {
        change();
        return true;
    }
    const QtUndoStack::Mark mark = d->undoStack->mark();
    const int batching = d->batching;
    DocumentView* view = activeView();
    int line = -1;
    int col = -1;
    if (view)
        view->cursorPosition(line, col);
    ++d->editDepth;
    try {
        change();
    } catch (const std::bad_alloc&) {
        --d->editDepth;
        d->undoStack->rollBack(mark);
        // Line batches the change left open are closed, and what they
        // gathered runs.
        if (d->batching > batching) {
            d->batching = batching + 1;
            endLineBatch();
        }
        d->macroCursorLine = -1;
        d->macroCursorColumn = -1;
        updateViews();
        if (view && activeView() == view && line >= 0)
            view->setCursorPosition(line, col, false);
        emit outOfMemory();
        return false;
    }
    --d->editDepth;
    d->undoStack->release(mark);
    return true;
}

void TextDocument::macroBegin(const QString& description)
{
    d->undoStack->push(new QtCommand(QtCommand::MacroBegin, shortDescription(description), true));
}

void TextDocument::macroBegin(const QString& description, int line, int col)
{
    macroBegin(description);
    cmdInsert(line, col, QString());
}

void TextDocument::macroEnd()
{
    d->undoStack->push(new QtCommand(QtCommand::MacroEnd, QString(), false));
}

void TextDocument::macroEnd(int line, int col)
{
    cmdInsert(line, col, QString());
    macroEnd();
}

void TextDocument::cmdReplace(int line, int col, int len, const QString& text)
{
    macroBegin(QStringLiteral("replace text with ") + text);
    if (len > 0)
        cmdRemove(line, col, len);
    if (!text.isEmpty())
        cmdInsert(line, col, text);
    macroEnd(line, col + int(text.size()));
}

void TextDocument::cmdInsertLineBreak(int line, int col)
{
    macroBegin(QStringLiteral("insert line break"), line, col);
    makeLine(line + 1);
    TextLine* l = lineOf(line);
    const int length = int(l->size());
    if (col < length) {
        cmdInsert(line + 1, 0, l->mid(col));
        cmdRemove(line, col, length - col);
    }
    macroEnd(line + 1, 0);
}

static int firstNonSpace(const QString& s)
{
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (!s.at(i).isSpace())
            return int(i);
    }
    return -1;
}

void TextDocument::cmdRemoveLineBreak(int line)
{
    macroBegin(QStringLiteral("remove line break"));
    const int len = int(lineOf(line)->size());
    const QString next = *lineOf(line + 1);
    const int firstText = firstNonSpace(next);
    const int p = firstText < 0 ? int(next.size()) : firstText;
    if (firstNonSpace(*lineOf(line)) < 0) {
        cmdInsert(line, len, next);
    } else {
        cmdRemove(line + 1, 0, p);
        cmdInsert(line, len, next.trimmed());
    }
    removeLine(line + 1);
    macroEnd(line, len);
}

void TextDocument::removeText(int line1, int col1, int line2, int col2)
{
    macroBegin(QStringLiteral("remove text"), line2, col2);
    if (line2 < line1 || (line2 == line1 && col2 < col1)) {
        std::swap(line1, line2);
        std::swap(col1, col2);
    }
    if (line1 == line2) {
        cmdRemove(line1, col1, col2 - col1);
    } else {
        cmdRemove(line1, col1, int(lineOf(line1)->size()) - col1);
        pushRemoveLines(this, line1 + 1, line2 - line1 - 1);
        cmdRemove(line1 + 1, 0, col2);
        // Join exactly what is left of the two lines: the whitespace outside
        // the range belongs to the text that stays.
        const QString tail = *lineOf(line1 + 1);
        cmdInsert(line1, int(lineOf(line1)->size()), tail);
        removeLine(line1 + 1);
    }
    macroEnd(line1, col1);
}

// --- Line-level changes -------------------------------------------------------

void TextDocument::m_insertLine(int i)
{
    auto* line = new TextLine;
    d->contents.insert(i, line);
    d->linesInserted(i, 1);
    d->newDocGeometry = true;
    line->isFoldingStart = false;
    line->isFoldVisible = true;
    line->isFolded = false;
    line->foldingLevel = i > 0 ? lineOf(i - 1)->foldingLevel : 0;
    // Only now, with its level known, can the folds that hide the new line
    // be opened.
    d->folding->lineInserted(i);
    // Only the new line and whatever its context changes downstream need
    // the context pass; the rows below shift, so they are repainted.
    updateLines(i, i);
    tagLines(i, lastLine());
}

void TextDocument::m_removeLine(int i)
{
    TextLine* line = lineOf(i);
    d->folding->ensureLineVisible(i);
    // A head may head several folds (nested ones starting on one line); the
    // line takes them all with it, each removal lowering its level by one.
    while (line->isFoldingStart && line->foldingLevel > 0)
        d->folding->removeFold(i);
    d->contents.remove(i);
    d->linesRemoved(i, 1);
    // Only now: the fold steps above repaint, and a scan for the longest
    // line on the way may have chosen this line again.
    if (line == d->longestLine)
        d->longestLine = nullptr;
    delete line;
    d->folding->lineRemoved(i);
    d->newDocGeometry = true;
    if (d->longestLine == nullptr)
        updateMaxLength(nullptr);
    if (i <= lastLine()) {
        updateLines(i, i);
        tagLines(i, lastLine());
    } else {
        // No line below needs a context pass, but the text changed.
        ++d->revision;
        tagLine(lastLine());
    }
}

// --- Runs of lines (the bulk line commands) ---------------------------------

int TextDocument::m_insertLines(int i, const QString& text)
{
    // Each new line is a slice of one buffer, as loaded lines are of the load
    // buffer; TextLine takes a copy of its own before its first edit. Text
    // without storage of its own (a literal) is copied once here.
    QString all = text;
    if (!all.isEmpty() && !sharedtext::blockOf(all))
        all = QString(text.constData(), text.size());
    const QStringView view(all);
    const qsizetype n = all.size();

    // What m_insertLine gives each line: the level of the line above (for
    // all of them: each new line takes it from the previous new one), no
    // fold of its own, and the visibility lineInserted derives from the line
    // above.
    const TextLine* prev = i > 0 ? lineOf(i - 1) : nullptr;
    const int level = prev ? prev->foldingLevel : 0;
    const bool visible =
        !prev || (prev->isFoldVisible && !(prev->isFoldingStart && prev->isFolded));

    // Made before anything changes: lines that cannot get their memory
    // leave the document as it was.
    std::vector<TextLine*> lines;
    auto dropLines = qScopeGuard([&] { qDeleteAll(lines); });
    qsizetype start = 0;
    for (;;) {
        qsizetype end = view.indexOf(u'\n', start);
        if (end < 0)
            end = n;
        lines.push_back(nullptr); // the room first, so that no line is lost
        auto* line = new TextLine;
        lines.back() = line;
        if (end > start)
            static_cast<QString&>(*line) = sharedtext::slice(all, start, end - start);
        line->isFoldVisible = visible;
        line->foldingLevel = level;
        if (end == n)
            break;
        start = end + 1;
    }
    const int count = int(lines.size());
    d->contents.insert(i, lines.data(), count);
    dropLines.dismiss();
    d->linesInserted(i, count);
    d->newDocGeometry = true;
    // Line by line, the first new line's lineInserted opens the folds that
    // hide it; for the later ones, the same walk up from the same lines
    // opens nothing more. When it opens nothing, every new line is shown, as
    // set above; when it does, its visibility pass covers them all.
    d->folding->lineInserted(i);
    updateLines(i, i + count - 1);
    tagLines(i, lastLine());
    return count;
}

// When the lines of a run are consecutive slices of one buffer with a line
// feed between each two (untouched loaded lines, or lines an undo made), the
// buffer already holds their joined text: returns that stretch, shared, or a
// null string. Empty lines have no storage; they stand for a line feed each
// in the buffer. The stretch is taken only while it fills at least half of
// the buffer, so that keeping it never holds much more memory than a copy.
static QString sharedStretch(const TextLineArray& lines, int i, int count)
{
    int a = i;
    while (a < i + count && lines.at(a)->isEmpty())
        ++a;
    if (a == i + count)
        return QString();
    const QString& owner = *lines.at(a);
    const void* buffer = sharedtext::blockOf(owner);
    if (!buffer)
        return QString();
    const char16_t* bufferBegin = sharedtext::blockBegin(owner);
    const char16_t* bufferEnd = bufferBegin + sharedtext::blockCapacity(owner);
    // A line feed per empty line before.
    const char16_t* begin = reinterpret_cast<const char16_t*>(owner.constData()) - (a - i);
    if (begin < bufferBegin)
        return QString();
    // Every position read lies in the buffer; one past the text that owns it
    // is at worst spare capacity, and a mismatch there only means a copy.
    const char16_t* p = begin;
    for (int k = 0; k < count; ++k) {
        const QString& line = *lines.at(i + k);
        if (line.size() > 0) {
            if (sharedtext::blockOf(line) != buffer ||
                reinterpret_cast<const char16_t*>(line.constData()) != p)
                return QString();
            p += line.size();
        }
        if (k + 1 < count) {
            if (p >= bufferEnd || *p != u'\n')
                return QString();
            ++p;
        }
    }
    if (2 * (p - begin) < sharedtext::blockCapacity(owner))
        return QString();
    return sharedtext::sliceAt(owner, begin, p - begin);
}

QString TextDocument::m_removeLines(int i, int count, bool fromBottom)
{
    const int oldLast = lastLine();
    bool plain = true; // no line of the run is hidden or heads a fold
    qsizetype total = count - 1;
    for (int k = 0; k < count; ++k) {
        const TextLine* l = d->contents.at(i + k);
        total += l->size();
        if (l->isFoldingStart || !l->isFoldVisible)
            plain = false;
    }
    // The texts are kept in one buffer: one allocation instead of one a line.
    // A command must not keep the load buffer alive for a few lines, so the
    // texts are copied unless they fill most of the buffer they sit in.
    QString texts = sharedStretch(d->contents, i, count);
    if (texts.isNull()) {
        texts = QString(total, Qt::Uninitialized);
        QChar* out = texts.data();
        for (int k = 0; k < count; ++k) {
            if (k > 0)
                *out++ = QLatin1Char('\n');
            const TextLine* l = d->contents.at(i + k);
            const qsizetype n = l->size();
            if (n > 0)
                std::memcpy(static_cast<void*>(out), l->constData(), size_t(n) * sizeof(QChar));
            out += n;
        }
    }

    std::vector<TextLine*> gone;
    gone.reserve(size_t(count));
    if (plain) {
        // For a shown line that heads no fold, m_removeLine's fold steps do
        // nothing but look at the line that moves up into its place; that is
        // the next line of the run (no fold head either) except after the
        // last removal.
        d->contents.remove(i, count, gone);
        d->linesRemoved(i, count);
        d->folding->lineRemoved(i);
    } else {
        // Folds are involved: the fold steps of m_removeLine, line by line
        // in the same order; only the context pass and repaint tags wait.
        for (int k = 0; k < count; ++k) {
            const int j = fromBottom ? i + count - 1 - k : i;
            TextLine* line = lineOf(j);
            d->folding->ensureLineVisible(j);
            while (line->isFoldingStart && line->foldingLevel > 0)
                d->folding->removeFold(j);
            gone.push_back(d->contents.remove(j));
            d->linesRemoved(j, 1);
            d->folding->lineRemoved(j);
        }
    }
    for (TextLine* l : gone) {
        if (l == d->longestLine)
            d->longestLine = nullptr;
        delete l;
    }
    d->newDocGeometry = true;
    if (d->longestLine == nullptr)
        updateMaxLength(nullptr);
    // The rows the removals line by line would tag: from the run down to the
    // old second-to-last line, and the new last line when the run ended the
    // document.
    if (i <= lastLine()) {
        updateLines(i, i);
        tagLines(i, qMax(i, oldLast - 1));
    } else {
        ++d->revision; // as in m_removeLine
        tagLines(lastLine(), qMax(lastLine(), oldLast - 1));
    }
    return texts;
}

// --- Whole document ----------------------------------------------------------

void TextDocument::clear()
{
    tagAll();
    d->undoStack->clear();
    d->longestLine = nullptr;
    d->deleteAllLines();
    d->owed.clear();
    d->batch.clear();
    d->colourCut.clear();
    d->terminator = QStringLiteral("\n");
    d->endsWithTerminator = false;
    m_insertLine(0);
    d->longestLine = nullptr;
    updateLine(0);
    for (DocumentView* v : std::as_const(d->views))
        v->setCursorPosition(0, 0, false);
    documentChanged(false);
}

bool TextDocument::load(QTextStream& s)
{
    // A stream on a device that cannot be read leaves the document as it was.
    if (s.device() && !s.device()->isReadable())
        return false;
    QString text = s.readAll();
    if (s.device() && s.status() != QTextStream::Ok && s.status() != QTextStream::ReadPastEnd)
        return false;
    loadText(std::move(text));
    return true;
}

namespace
{
// How long after a load idle time starts: about a frame.
constexpr int kFirstIdleDelayMs = 20;
} // namespace

void TextDocument::loadText(QString text)
{
    // The lines are made before the old ones go: when they cannot get
    // their memory (std::bad_alloc) the document stays as it was.
    // Every line shares the one decoded buffer: it is copied only where a
    // line is changed, which keeps a large file near two bytes a character.
    // The buffer is copied to its size only when much of it is spare room:
    // a copy of a large file costs more than colouring all of it, and a
    // buffer the caller still holds costs nothing more by being shared. The
    // room a file's buffer keeps for typing on its last line (see TextFile)
    // is not much.
    if (text.capacity() - text.size() > text.size() / 4)
        text.squeeze();
    const qsizetype n = text.size();
    const char16_t* base = reinterpret_cast<const char16_t*>(text.constData());

    // The terminator style is the first terminator's; a line that ends in
    // a different one keeps all its characters but is saved in this style.
    const qsizetype firstLf = QStringView(text).indexOf(u'\n');
    const bool crlf = firstLf > 0 && base[firstLf - 1] == u'\r';

    // `to` is the line feed ending the line, or the end of the text; a
    // carriage return is part of the terminator only before a line feed (a
    // lone one at the end of the text is a character like any other).
    auto makeLine = [&](qsizetype from, qsizetype to) {
        if (to < n && to > from && base[to - 1] == u'\r')
            --to; // "\r\n"
        auto* line = new TextLine;
        if (to > from)
            static_cast<QString&>(*line) = sharedtext::slice(text, from, to - from);
        return line;
    };

    std::vector<TextLine*> lines;
    auto dropLines = qScopeGuard([&] { qDeleteAll(lines); });
    auto addLine = [&](qsizetype from, qsizetype to) {
        lines.push_back(nullptr); // the room first, so that no line is lost
        lines.back() = makeLine(from, to);
    };
    qsizetype start = 0;
    const QStringView view(text);
    while (start <= n) {
        const qsizetype lf = start < n ? view.indexOf(u'\n', start) : -1;
        if (lf < 0) {
            // The last line. Text that ends with a terminator has no empty
            // line after it; the terminator is remembered instead.
            if (start < n || lines.empty())
                addLine(start, n);
            break;
        }
        addLine(start, lf);
        start = lf + 1;
    }

    clear();
    d->terminator = crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    d->endsWithTerminator = n > 0 && base[n - 1] == u'\n';
    delete d->contents.at(0); // the empty line clear() made
    d->contents.clear();
    d->contents.assign(std::move(lines));
    dropLines.dismiss();
    d->longestLine = nullptr;
    // The context pass waits for whoever first needs a line's context (the
    // first paint runs it over the lines it shows) and for idle time: a
    // large file shows at once, coloured right, and the rest follows. Idle
    // time starts a frame later, so that the first paint, asked for now,
    // comes before a slice of it: a small file would otherwise wait for a
    // slice as long as its whole loading.
    ++d->revision;
    d->owed.clear();
    d->owed.add(0, lastLine());
    updateMaxLength(nullptr);
    tagAll();
    if (d->idle)
        d->idle->stop(); // what it was for went with the old text
    scheduleIdleWork(kFirstIdleDelayMs);
    updateViews();
    setReadOnly(false);
}

bool TextDocument::save(QTextStream& s)
{
    if (d->readonly)
        return false;
    if (s.device() && !s.device()->isWritable())
        return false;
    const int last = lastLine();
    for (int i = 0; i <= last; ++i) {
        if (i > 0)
            s << d->terminator;
        s << static_cast<const QString&>(*lineOf(i));
    }
    if (d->endsWithTerminator)
        s << d->terminator;
    s.flush();
    // A failed write is not a save: the document stays modified.
    if (s.status() != QTextStream::Ok)
        return false;
    markSaved();
    return true;
}

void TextDocument::markSaved()
{
    // Moving the clean mark announces the change itself; a flag set by hand
    // (setModified) is cleared here.
    d->undoStack->setClean();
    if (d->modified)
        documentChanged(false);
}

QString TextDocument::text() const
{
    qsizetype total = 0;
    const int last = lastLine();
    for (int i = 0; i <= last; ++i)
        total += lineOf(i)->size() + 1;
    QString result;
    result.reserve(total);
    for (int i = 0; i <= last; ++i) {
        if (i > 0)
            result += QLatin1Char('\n');
        result += static_cast<const QString&>(*lineOf(i));
    }
    return result;
}

void TextDocument::append(const QString& s)
{
    if (d->readonly)
        return;
    insert(s, lastLine(), int(lineOf(lastLine())->size()));
}

QString TextDocument::lineTerminator() const
{
    return d->terminator;
}

void TextDocument::setLineTerminator(const QString& terminator)
{
    d->terminator = terminator;
}

bool TextDocument::endsWithTerminator() const
{
    return d->endsWithTerminator;
}

void TextDocument::setEndsWithTerminator(bool on)
{
    d->endsWithTerminator = on;
}

// --- Repaint bookkeeping -----------------------------------------------------

void TextDocument::tagLine(int i)
{
    d->updateRegion.expand(i, -1);
}

void TextDocument::tagLines(int a, int b)
{
    d->updateRegion.expand(a, b);
}

void TextDocument::tagAll()
{
    d->updateRegion.expand(0, qMax(0, lastLine()));
}

void TextDocument::updateViews()
{
    refreshMaxLength();
    for (DocumentView* v : std::as_const(d->views)) {
        v->setUpdateRegion(d->updateRegion);
        v->updateView(d->newDocGeometry);
    }
    d->newDocGeometry = false;
    d->updateRegion.clear();
}

int TextDocument::lineWidth(TextLine* line) const
{
    const int w = d->wideCharWidth;
    if (d->views.isEmpty())
        return int(line->size()) * w;
    const int tabs = qMax(1, d->views.constFirst()->tabsWidth());
    // From tab to tab, from the line's last block of tab stops: on a line
    // of megabytes looking at every character would be most of a
    // keystroke's cost.
    int cells = 0, count = 0;
    qsizetype pos =
        line->tabStopBlock(line->size(), 0, tabs % w == 0 ? tabs / w : 0, &cells, &count);
    int x = cells * w;
    for (;;) {
        const qsizetype t = line->tabIn(pos, line->size());
        if (t < 0)
            return x + int(line->size() - pos) * w;
        x += int(t - pos) * w;
        x += tabs - x % tabs;
        pos = t + 1;
    }
}

void TextDocument::updateMaxLength(TextLine* line)
{
    if (d->longestLine && line) {
        const int w = lineWidth(line);
        if (w > maxLength) {
            d->newDocGeometry = true;
            d->longestLine = line;
            maxLength = w;
            return;
        }
        if (line != d->longestLine)
            return;
    } else if (line && d->widthStale) {
        return; // the pending scan covers this line too
    }
    // The longest line may have shrunk or gone. Scanning all lines here would
    // cost a full pass per changed line (a select-all delete would scan once
    // per removed longest line); the scan runs once, when the width is next
    // needed.
    d->newDocGeometry = true;
    d->longestLine = nullptr;
    d->widthStale = true;
}

void TextDocument::refreshMaxLength()
{
    if (!d->widthStale)
        return;
    d->widthStale = false;
    maxLength = -1;
    const int last = lastLine();
    for (int i = 0; i <= last; ++i) {
        TextLine* l = lineOf(i);
        const int w = lineWidth(l);
        if (w > maxLength) {
            maxLength = w;
            d->longestLine = l;
        }
    }
}

int TextDocument::documentWidth() const
{
    const_cast<TextDocument*>(this)->refreshMaxLength();
    return maxLength;
}

void TextDocument::updateFontData()
{
    ++d->widthSerial;
    d->wideCharWidth = d->m ? qMax(1, d->m->width(3, QChar(u'W'))) : 1;
    for (DocumentView* v : std::as_const(d->views))
        v->updateFontData();
    d->longestLine = nullptr;
    if (d->contents.count() > 0)
        updateMaxLength(nullptr);
    for (DocumentView* v : std::as_const(d->views))
        v->resizeBuffer();
    if (d->contents.count() > 0) {
        tagAll();
        updateViews();
    }
}

quint64 TextDocument::widthSerial() const
{
    return d->widthSerial;
}

quint64 TextDocument::revision() const
{
    return d->revision;
}

void TextDocument::documentChanged(bool modified)
{
    // Every executed, undone or redone command and every clear ends here.
    ++d->revision;
    for (DocumentView* v : std::as_const(d->views))
        v->notifyChange(Modification);
    if (d->modified != modified) {
        d->modified = modified;
        for (DocumentView* v : std::as_const(d->views))
            v->notifyChange(Modification);
    }
    updateViews();
}

void TextDocument::macroExecuted()
{
    // The views drop the rows they kept of the changed lines before the
    // caret is placed and brought into view on them.
    updateViews();
    if (d->view) {
        if (d->macroCursorLine != -1 && d->macroCursorColumn != -1)
            d->view->setCursorPosition(d->macroCursorLine, d->macroCursorColumn, false);
        d->view->notifyChange(UndoRedo);
    }
    d->macroCursorLine = -1;
    d->macroCursorColumn = -1;
    documentChanged(!d->undoStack->isClean());
}

} // namespace xqwidgets

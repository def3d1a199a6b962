#ifndef XQWIDGETS_TEXTDOC_H
#define XQWIDGETS_TEXTDOC_H

#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <functional>

class QElapsedTimer;
class QTextStream;
class QtUndoStack;

namespace xqwidgets
{

class TextDocument;
class TextEditorManager;
class TextFolding;
class TextHighlight;
class TextLine;

// A range of document lines to repaint; empty when start is -1.
struct LineRegion {
    int start = -1;
    int end = -1;

    bool isEmpty() const { return start == -1; }
    void clear() { start = end = -1; }
    // Grows the region to cover a..b; b = -1 covers a only.
    void expand(int a, int b);
};

// What a document needs of each view that shows it. The text view
// implements it; tests can implement it without any widget.
class DocumentView
{
public:
    virtual ~DocumentView();

    // The object the undo manager follows focus by (the view widget).
    virtual QObject* viewObject() = 0;

    // Highlighting: the context pass for one line (returns its end context)
    // and the colouring pass that fills the line's attributes.
    virtual int doHighlight(int context, TextLine* line) = 0;
    virtual void highlight(TextLine* line) = 0;

    // The caret, for the editing operations that act where it stands.
    virtual void cursorPosition(int& line, int& column) const = 0;
    virtual void setCursorPosition(int line, int column, bool select) = 0;

    // Repainting and geometry.
    virtual void setUpdateRegion(const LineRegion& region) = 0;
    virtual void updateView(bool newDocGeometry) = 0;
    virtual void updateLines(int from, int to) = 0;
    virtual int tabsWidth() const = 0;
    virtual void setTabsWidth(int width) = 0;
    virtual int spaceWidth() const = 0;
    virtual void resizeBuffer() = 0;
    virtual void updateFontData() = 0;
    virtual void repaintMargins() = 0;

    // Reports a change to the editor frame that hosts the view (the frame's
    // notifyChange).
    virtual void notifyChange(int changeId) = 0;

    // The selection the editing operations act on: left and top are the
    // column and line of its first point, right and bottom those of its
    // second point; top-left equal to bottom-right means no selection.
    virtual QRect selection() const { return QRect(QPoint(0, 0), QPoint(0, 0)); }
    // Selects from point a to point b (x is the column, y the line); indent
    // and unindent put the selection back with it after their edit.
    virtual void setSelection(const QPoint& a, const QPoint& b)
    {
        Q_UNUSED(a);
        Q_UNUSED(b);
    }
    // Moves the caret and shows it without touching the selection; folding
    // puts the caret on a fold's head this way.
    virtual void setCaret(int line, int column) { setCursorPosition(line, column, false); }
    // Repaints the whole text area, for changes of which lines are shown.
    virtual void updateContents() {}
    // The view's highlighting, which gives the font type of each attribute
    // id; null when the view has none (characters then measure as plain).
    virtual TextHighlight* highlighting() const { return nullptr; }
    // Height of one screen row in pixels; 0 for a view without rows.
    virtual int lineHeight() const { return 0; }
    // Lines came or went at `at`; the lines below moved by `count`. A view
    // that keeps something per line shifts it instead of making it afresh.
    virtual void linesInserted(int at, int count)
    {
        Q_UNUSED(at);
        Q_UNUSED(count);
    }
    virtual void linesRemoved(int at, int count)
    {
        Q_UNUSED(at);
        Q_UNUSED(count);
    }
};

// The model behind every editor: a never-empty array of lines, changed only
// through undoable commands on its own undo stack, with folding state, the
// views that show it, modified and read-only flags, and the bookkeeping that
// keeps highlighting contexts and repaint regions current.
class TextDocument : public QObject
{
    Q_OBJECT

public:
    enum wrapMode { wrapLine = 0, wrapWord = 1 };
    enum SelectionCommand {
        SelectionCopy = 1,
        SelectionRemove = 2,
        SelectionCut = 3,
        SelectionText = 4
    };
    // The change ids the document reports through its views' frames.
    enum ChangeId { CursorPosition = 0, Modification = 1, UndoRedo = 2, Selection = 3 };

    explicit TextDocument(TextEditorManager* m);
    ~TextDocument() override;

    bool shouldWrap;
    wrapMode nWrapMode;
    QString wordBound;
    int maxLength = -1;

    TextEditorManager* manager() const;
    QtUndoStack* undoStack() const;
    TextFolding* folding() const;

    int lastLine() const;
    TextLine* lineOf(int i) const;

    void addView(DocumentView* view);
    // Removes the view; when it was the active one, there is no active view
    // any more, so a destroyed view is never used again.
    void removeView(DocumentView* view);
    QList<DocumentView*> views() const;
    DocumentView* activeView() const;
    void setActiveView(DocumentView* view);

    bool isModified() const;
    // Grows with every change of the text (an edit, undo, redo, clear or
    // load, and any other write to a line, see TextLine), so an unchanged
    // number means an unchanged text; it may also grow without a change.
    // Readers of the whole text use it to skip that work.
    quint64 revision() const;
    void setModified(bool m);
    bool isReadOnly() const;
    void setReadOnly(bool r);
    int spacesInTab() const;
    void setSpacesInTab(int n);
    bool getWrap() const { return shouldWrap; }
    void setWrap(bool w);
    wrapMode getWrapMode() const { return nWrapMode; }
    void setWrapMode(wrapMode mode) { nWrapMode = mode; }
    QString getWordBound() const { return wordBound; }
    void setWordBound(const QString& bound) { wordBound = bound; }
    int marked(int line) const;
    void setMarked(int line, int value);
    void setMacroCursorPosition(int line, int column);

    // Primitive edits: each pushes one undoable command, executed at once.
    void cmdInsert(int line, int col, const QString& text);
    void cmdRemove(int line, int col, int len);
    void makeLine(int i);
    void removeLine(int i);
    // Composite edits: one undo step each.
    void cmdReplace(int line, int col, int len, const QString& text);
    void cmdInsertLineBreak(int line, int col);
    // Joins line + 1 onto line, dropping the next line's indentation and
    // trailing whitespace (the deliberate join of Delete and Backspace).
    void cmdRemoveLineBreak(int line);
    // Removes the text between two positions given in either order. Only the
    // text between them goes: whitespace outside the range is kept.
    void removeText(int line1, int col1, int line2, int col2);

    // Runs `change`, edits made through the document's commands, whole or
    // not at all: when it cannot get the memory it needs (std::bad_alloc),
    // what it did is undone and forgotten, the caret goes back, false is
    // returned and outOfMemory() emitted. A change run inside another one
    // runs plainly and leaves that to the outer one. The entry points of
    // the user's edits (keys, mouse, the editor's operations) run in one.
    bool edit(const std::function<void()>& change);

    // Macro brackets: everything pushed in between is one undo step. The
    // forms with a position put the caret there on undo (begin) or on
    // execution and redo (end).
    void macroBegin(const QString& description);
    void macroBegin(const QString& description, int line, int col);
    void macroEnd();
    void macroEnd(int line, int col);

    // User-level editing operations, each one undo step. insert,
    // insertLineBreak, del and backspace act at the active view's caret when
    // there is an active view (the position arguments are then ignored),
    // else at the given position. indent, unindent and the one-argument
    // selectionCommand act on the active view's caret and selection and do
    // nothing without an active view. On a read-only document nothing
    // changes.
    //
    // Inserts text that may hold line feeds and tabs; tabs become blanks up
    // to the next tab stop unless the manager keeps tabs, and with block
    // selection on the lines of the text go below each other at one column.
    void insert(const QString& text, int line, int col);
    // Breaks the line; with auto-indent the new line takes over the old
    // line's indentation (one tab width more after a trailing ':').
    void insertLineBreak(int line, int col);
    // Deletes the character at the position, or joins the next line.
    void del(int line, int col);
    // Deletes before the position; in leading whitespace, back to the
    // indentation of the nearest line above indented less.
    void backspace(int line, int col);
    // Shift the caret's line, or the selected lines, by one indentation unit.
    void indent();
    void unindent();
    // Copies, removes or returns the active view's selection, as a box when
    // the manager's block selection is on.
    QString selectionCommand(SelectionCommand cmd);
    // The same on an explicit selection rectangle (see
    // DocumentView::selection). A box copy yields one row per line of the
    // box, empty for lines that do not reach its left edge, so that pasting
    // it back as a block keeps the rows on their lines. Removing a stream
    // selection keeps the whitespace outside it.
    QString selectionCommand(SelectionCommand cmd, const QRect& selection, bool vertical);

    // Line-level changes, used by the commands; not undoable by themselves.
    void m_insertLine(int i);
    void m_removeLine(int i);
    // Run forms of the two above for the bulk line commands: the same text,
    // folds and visibility as the single-line forms applied line by line,
    // with one context pass and one repaint tag for the whole run.
    // Inserts one line at i for each piece of `text` split at line feeds;
    // the lines share `text`'s storage until they are edited. Returns the
    // number of lines made.
    int m_insertLines(int i, const QString& text);
    // Removes `count` lines from i and returns their texts joined by line
    // feeds. Folds are dealt with as by m_removeLine(i) repeated, or with
    // fromBottom as by m_removeLine on the last line of the run, then the one
    // above, and so on (the order in which a paste is undone).
    QString m_removeLines(int i, int count, bool fromBottom = false);
    void updateLine(int i) { updateLines(i, i); }
    void updateLines();
    // Drops line i's trailing whitespace outside the undo stack (the caret
    // left the line), then updates and repaints it; true when some was.
    bool removeTrailingSpaces(int i);
    // Re-runs the context pass over from..to and beyond, until a line's end
    // context comes out unchanged. The pass runs with the first view's
    // highlighting, once per line whatever the number of views. A line
    // whose pass runs out of time keeps its old end context: it and the
    // lines after it are owed a pass, run in idle time or by the first
    // reader that needs them (ensureContexts), and repainted then.
    void updateLines(int from, int to);
    // Between these two, the context passes the line commands ask for are
    // gathered and run once at the end: a command that changes many lines
    // then costs one pass over them, not one cascade per line.
    void beginLineBatch();
    void endLineBatch();

    // Runs the context passes owed to the lines up to `line`; false when
    // one ran out of time again, so that `line` may start in a context that
    // is not final yet (idle time goes on with it and repaints).
    bool ensureContexts(int line);
    // Colours line i for `view` up to column `upTo` (-1: the whole line),
    // after the context passes it depends on. A colouring pass that runs
    // out of time is finished in idle time and the line repainted then.
    void colourLine(DocumentView* view, int i, int upTo = -1);
    // Line i's colouring ran out of time; finish it in idle time.
    void noteColourCut(int line);
    // Whether context passes or colourings wait for idle time.
    bool highlightPending() const;

    void clear();
    // Reads the whole stream, remembering the line terminator style ("\n" or
    // "\r\n", from the first terminator) and whether the text ended with one,
    // so that save() writes the same bytes back. False, with the document
    // unchanged, when the stream's device cannot be read.
    bool load(QTextStream& s);
    // Takes `text` as the document's contents, as load() does.
    void loadText(QString text);
    // Writes the lines with the remembered terminator style. False for a
    // read-only document (nothing written) and when the stream cannot be
    // written; the modified flag then stays as it was.
    bool save(QTextStream& s);
    // The text now equals its file (just written): the present state of the
    // undo history becomes the saved one, so undoing or redoing back to it
    // clears the modified flag again and a typed character is never merged
    // into it.
    void markSaved();
    QString text() const;
    void append(const QString& s);

    QString lineTerminator() const;
    void setLineTerminator(const QString& terminator);
    bool endsWithTerminator() const;
    void setEndsWithTerminator(bool on);

    void tagLine(int i);
    void tagLines(int a, int b);
    void tagAll();
    void updateViews();
    void updateMaxLength(TextLine* line);
    void updateFontData();
    void documentChanged(bool modified);

    // --- Measuring, words and HTML (textdocmetrics.cpp) -----------------------
    // Pixel measures use the manager's fonts, the font type of each
    // character's attribute in the active view's highlighting, and the view's
    // tab stops. Columns are character indexes; pixels count from the start
    // of the line.
    //
    // Pixel offset of column `col`; columns past the end count one blank each.
    int textWidth(int line, int col);
    // The same from column `from` on, as a wrapped row that starts there
    // lays its text out: tab stops count from `from`.
    int textWidth(int line, int from, int col);
    int textLength(int line) const;
    // `col` when no character stands across it; the caret never stands
    // between the two UTF-16 units of a character beyond U+FFFF, so a
    // column between them goes past the character (`forward`) or back to
    // its start. A lone half (undecodable input) is a character of its own.
    int characterColumn(int line, int col, bool forward) const;
    // The column whose character covers pixel `x` (its right edge included);
    // 0 for x <= 0, the line's length past its end.
    int textLength(int line, int x);
    // The same for pixel `x` of a row that starts at column `from`.
    int textLength(int line, int from, int x);
    // Where the display segment of `width` pixels starting at `start` ends
    // (the column the next segment starts at); never `start` itself. In
    // `*reached`, the last column the answer depends on (on its character
    // or on whether the line reaches it): an edit past it leaves the answer.
    int nextWrapPos(int line, int width, int start, int* reached = nullptr);
    int documentHeight() const;
    // The run of like characters (identifier characters with '$', or other
    // non-blanks) around `col`; null on a blank or outside the line.
    QString wordIn(int line, int col, int* from = nullptr, int* to = nullptr) const;
    QString wordIn(const QPoint& p, int* from = nullptr, int* to = nullptr) const;
    // The word that ends at or contains the character left of the caret.
    QString currentWord() const;
    // Replaces the word before the caret by `s`, as one undo step.
    void replaceCurrentWord(const QString& s);
    // The line as HTML: one font fragment per run of equal attributes, tabs
    // expanded, "&", "<" and ">" escaped.
    QString html(int line);

    // Estimated pixel width, used only to find the longest line.
    int lineWidth(TextLine* line) const;
    int documentWidth() const;

    // Shortens a description to 32 characters and "...".
    static QString shortDescription(const QString& description);

signals:
    // An edit, undo or redo was refused: it could not get the memory it
    // needs. The text is as it was before it.
    void outOfMemory();

public slots:
    void macroExecuted();
    // One slice of the highlighting work left for idle time; it calls
    // itself again, through the event loop, while work is left.
    void resumeHighlighting();

private:
    int contextPass(int ctx, TextLine* line);
    // Runs owed context passes up to line `upTo`, within `sliceMs` of
    // `clock` when given. True when the lines up to `upTo` are final.
    bool runOwedPass(int upTo, const QElapsedTimer* clock, qint64 sliceMs);
    // The next slice of idle work, at once or after `delayMs`.
    void scheduleIdleWork(int delayMs = 0);

    // Runs the scan for the longest line that updateMaxLength put off.
    void refreshMaxLength();

    class Private;
    Private* d;
};

} // namespace xqwidgets

#endif

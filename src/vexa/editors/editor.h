#ifndef VEXA_EDITORS_EDITOR_H
#define VEXA_EDITORS_EDITOR_H

#include <QColor>
#include <QList>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

namespace vexa
{

// The widget every open document is shown in. The rest of the application
// talks to documents only through this interface.
class Editor : public QWidget
{
    Q_OBJECT
public:
    explicit Editor(QWidget* parent = nullptr, const char* name = nullptr);
    ~Editor() override;

    virtual QString text() = 0;
    virtual void setText(const QString& text) = 0;
    virtual QString line(int l) = 0;
    virtual QString selection() = 0;
    // Loads the file; false when it does not exist (the file name stays) or
    // cannot be read. Emits fileLoaded() after the text is read.
    virtual bool open(const QString& url) = 0;
    // Both report whether the text reached the file; on failure the editor
    // keeps its modified mark and its former file name, and errorString()
    // says why.
    virtual bool save() = 0;
    virtual bool saveAs(const QString& url) = 0;
    virtual void undo() = 0;
    virtual void redo() = 0;
    virtual void cut() = 0;
    virtual void copy() = 0;
    virtual void paste() = 0;
    virtual bool find(const QString& text, bool caseSensitive, bool wholeWord, bool fromCursor,
                      bool inSelection) = 0;
    virtual bool findRegexp(const QString& pattern, bool caseSensitive, bool wildcard,
                            bool fromCursor) = 0;
    virtual void replaceFound(const QString& text) = 0;
    // Replaces, as one edit, every further match that find() (plain text)
    // or findRegexp() (regExp, no wildcards) would select one after the
    // other from the cursor on, or within the selection when inSelection
    // (plain text); a pattern also replaces its matches of nothing, as a
    // regular-expression substitution does. Returns how many it replaced;
    // the cursor ends just after the last replacement.
    virtual int replaceAll(const QString& text, const QString& replacement, bool caseSensitive,
                           bool wholeWord, bool regExp, bool inSelection) = 0;
    // How the last regular-expression find or replace-all ended besides its
    // matches: stopped by the user, and the lines (from 0) it could not
    // search (a find ends at the first, its cursor at the line's start).
    virtual bool searchStopped() { return false; }
    virtual QList<int> unsearchedLines() { return {}; }
    virtual bool findNext() = 0;
    virtual void setWrap(bool b) = 0;
    virtual bool getWrap() = 0;
    virtual void selectAll() = 0;
    virtual void indent() = 0;
    virtual void unindent() = 0;
    virtual void configure() = 0;
    virtual void configureHighlighting() = 0;
    // The absolute path of the file; empty for an untitled editor.
    virtual QString filename() = 0;
    virtual void setFileName(const QString& name) = 0;
    virtual bool isModified() = 0;
    virtual int cursorLine() = 0;
    virtual int cursorColumn() = 0;
    virtual void setCursorPosition(int line, int column) = 0;
    virtual void setHighlightedLine(int line, const QColor& color) = 0;
    virtual void clearHighlightedLine(int line) = 0;
    virtual void setLineIcon(int line, QPixmap* pixmap) = 0;
    virtual void clearLineIcon(int line) = 0;
    virtual void showTrace(int line) = 0;
    virtual void clearTrace() = 0;
    virtual bool replaceTabs() = 0;
    virtual int tabWidthInSpaces() = 0;
    virtual void completeWordNext() = 0;
    virtual void completeWordPrev() = 0;
    virtual void addCompletionList(const QStringList& words, int minimumMatchedLength) = 0;

    bool hasFileName();
    // Whether the document may not change (its file holds bytes the
    // encoding cannot decode); such a document is never saved.
    virtual bool isReadOnly();
    // Whether another program changed the file since the editor read or
    // wrote it; the manager asks before a save overwrites such a file.
    virtual bool changedOnDisk();
    // Why the last open or save failed; empty when it succeeded.
    virtual QString errorString();
    // A number that grows with every change of the text, so an unchanged
    // number means an unchanged text (it may also grow without a change);
    // -1 when the editor keeps none and only its text tells.
    virtual qint64 changeCount();
    // The number of lines of text(), which line() reads one at a time
    // without a copy of the whole text.
    virtual int lineCount();
    // Lines from..from+count-1 of text() (those that exist), as line() gives
    // them: an editor whose lines are shared strings hands out shares, in one
    // call, not a copy of the text.
    virtual QList<QString> lines(int from, int count);
    // Edits made between the two are undone in one step; the brackets nest.
    // An editor without such groups ignores them.
    virtual void beginUndoGroup();
    virtual void endUndoGroup();
    // The selection from its first character (line1, col1) to just after its
    // last (line2, col2); false, with the cursor's place in both, when
    // nothing is selected.
    virtual bool selectionRange(int* line1, int* col1, int* line2, int* col2);
    virtual void setSelection(int line1, int col1, int line2, int col2);

    // Shows the start of `line` (from 0) to the user: the cursor there, the
    // window active and the keyboard focus in the editor.
    void showLine(int line);

    // Breakpoints live in memory only; each shows as an icon beside its line.
    void switchBreakpoint();
    void addBreakpoint(int line);
    void clearBreakpoints();
    QList<int> breakpoints() const;

Q_SIGNALS:
    void focusChanged(bool in);
    void filenameChanged(const QString& name);
    void textChanged();
    void modificationStatusChanged(bool modified);
    void overwriteModeChanged(bool overwrite);
    void lineColChanged(int line, int col);
    void fileLoaded();
    // A close request reached the widget; whether it goes is the manager's call.
    void closing();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    class Private;
    Private* d;
};

// Makes editors of one kind; the editor manager keeps factories by name.
class EditorFactory
{
public:
    virtual ~EditorFactory() = default;
    virtual QString name() = 0;
    // A new editor with `parent` as parent; the caller owns it.
    virtual Editor* createEditor(QWidget* parent) = 0;
};

} // namespace vexa

#endif

#ifndef XQWIDGETS_TEXTEDITOR_H
#define XQWIDGETS_TEXTEDITOR_H

#include <QFrame>
#include <QString>
#include <QStringList>

#include <functional>

class QPixmap;
class QPrinter;

namespace xqwidgets
{

class TextDocument;
class TextEditorManager;
class TextFolding;
class TextView;

// The framed panel an application places in its window to edit one
// document: it holds the document's view, loads and saves the file through
// a text encoding, forwards clipboard, undo, indentation and selection
// requests, finds and replaces, and relays every change notice of the
// document, the view and the caret as changed(int).
class TextEditor : public QFrame
{
    Q_OBJECT

public:
    enum ChangeId { CursorPosition = 0, Modification = 1, UndoRedo = 2, Selection = 3 };

    explicit TextEditor(TextDocument* document, QWidget* parent = nullptr,
                        const char* name = nullptr);
    // Deletes the view, and the document when no other view shows it.
    ~TextEditor() override;

    TextDocument* document() const;
    TextEditorManager* manager() const;
    TextView* view() const;
    TextFolding* folding() const;

    // --- Files ------------------------------------------------------------------
    // Absolute path of the file; empty for a new frame.
    QString filePath() const;
    // The encoding for every later open and save, by name: empty for the
    // locale's (see TextFile for the names). Qt has no codec objects any
    // more, so the frame keeps a name where it kept a codec.
    QString textCodec() const;
    // Whether the last open met bytes the encoding could not decode. Such a
    // document is opened read-only, since saving it would destroy those
    // bytes; the host decides (setReadOnly(false) to edit it anyway).
    bool hasInvalidBytes() const;
    // Whether another program changed the file since the frame last read or
    // wrote it (see TextFile::changedOnDisk).
    bool changedOnDisk() const;
    // Why the last open or save failed; empty after a success.
    QString errorString() const;

    // --- State and text ---------------------------------------------------------
    int line() const;
    int column() const;
    bool isModified() const;
    bool getWrap() const;
    // Name of the highlighting definition the view uses.
    QString highlight() const;
    bool isReadOnly() const;
    QString text() const;
    QString getSelectedText() const;
    void clear();
    void append(const QString& text);
    void insertLine(const QString& text, int line);
    bool hasSelection() const;
    // The line shows `pix` in the indicator margin (not owned); lines the
    // document does not have are ignored.
    void setLineIcon(int line, QPixmap* pix);
    void clearLineIcon(int line);

    // Deprecated: the undo manager's actions do this.
    bool canUndo() const;
    bool canRedo() const;

    void notifyChange(ChangeId id);

    // --- Find and replace ---------------------------------------------------------
    // Each returns whether a match is now selected; searches never wrap
    // around and matches never span lines. An empty text finds nothing.
    bool find(const QString& text, bool caseSensitive, bool wholeWord, bool fromCursor,
              bool inSelection);
    bool findNext();
    bool findRegexp(const QString& pattern, bool caseSensitive, bool wildcard, bool fromCursor);
    // Replaces every match of successive plain finds from the top of the
    // document (or of the selection), or from the caret, as one undo step
    // "replace all", and returns how many it replaced. Text the replacement
    // inserts is never searched again; the caret ends just after it.
    int replaceAll(const QString& text, const QString& replaceText, bool caseSensitive,
                   bool wholeWord, bool inSelection, bool fromCursor = false);
    // The same for a regular expression as findRegexp() takes it (no
    // wildcards), replacing as a regular-expression substitution of each
    // line does: a match of nothing too, after which the search goes on a
    // character further. An invalid pattern replaces nothing.
    int replaceAllRegexp(const QString& pattern, const QString& replaceText, bool caseSensitive,
                         bool fromCursor);
    // A regular expression's match on one line that needs much work, or
    // on a long line, is made on a thread of its own with as much work as
    // it takes (PatternEngine::matchFully()); meanwhile, and in a find or
    // replace-all that runs long, `handler` is called about every 10 to 50
    // ms with the line reached and the document's line count, so that the
    // program can keep its window alive and offer to stop. `handler`
    // returning false, or a change of the text meanwhile, ends the run as
    // if nothing more was found (a replace-all then replaces nothing) and
    // lastSearchOutcome() says it was stopped. None by default.
    static void setLongRunHandler(std::function<bool(int line, int lines)> handler);
    // How the last regular-expression find or replace-all ended besides its
    // matches: whether it was stopped, and the lines (from 0) on which the
    // engine could not decide whether and where a match is even with all
    // that work. A find ends at such a line, its caret at the line's start;
    // a replace-all goes on after it.
    struct SearchOutcome {
        bool stopped = false;
        QList<int> undecided;
    };
    SearchOutcome lastSearchOutcome() const;

    // --- Word completion (textcompletion.cpp) -----------------------------------
    // The candidates for `word`, or for the word before the caret when `word`
    // is empty: the document's words that start with it, sorted by character
    // code, then the manager's added words whose minimum length `word`
    // reaches, in their own order, none twice. The document's words come from
    // an index that reads again only the lines changed since its last use.
    QStringList completionList(QString word = QString());

    // --- HTML and printing (texteditorprint.cpp) --------------------------------
    // Lines `from` to `to` (-1: to the last line) as one coloured HTML
    // fragment in <pre>, the leading blanks of each line kept visible.
    QString html(int from, int to);
    // Prints the whole document on `printer` without asking anything: the
    // manager's margins and base font, a page number under each page.
    // Returns the number of pages printed; 0 when the margins leave no room
    // on the page or the printer cannot be opened, and nothing is printed.
    int printTo(QPrinter* printer);

public slots:
    void fileNew();
    // Loads the file through the frame's encoding. On success the path and
    // the highlighting follow the file; on failure the frame keeps its path,
    // text and highlighting (errorString() tells why).
    bool open(const QString& path);
    // Writes the file if the document is modified or the file is gone;
    // false, with the old file intact and the document still modified, when
    // that fails. It does not look whether another program changed the file:
    // callers that care ask changedOnDisk() first.
    bool save();
    // Writes the document to `path` whether modified or not; the frame
    // takes the new path only when that succeeded.
    bool saveAs(const QString& path);
    void setText(const QString& text);
    void setTextCodec(const QString& name);
    void del();
    void cut();
    void copy();
    void paste();
    void pasteSelection();
    void indent();
    void unindent();
    void undo();
    void redo();
    void setWrap(bool wrap);
    void setModified(bool modified);
    void setReadOnly(bool readOnly);
    void setFilePath(const QString& name);
    void setHighlight(const QString& highlightName);
    void moveCursor(int line, int column);

    // Completion: the pop-up list of the document's words that contain the
    // word before the caret, and one step forward or back through the
    // candidates of completionList, replacing the word in place.
    void completeWord();
    void completeWordNext();
    void completeWordPrev();
    // Asks for the printer settings through the manager and prints the
    // whole document; a cancelled dialog prints nothing.
    void print();

signals:
    void changed(int id);
    void filePathChange();

protected:
    bool event(QEvent* ev) override;
    bool eventFilter(QObject* obj, QEvent* ev) override;

private slots:
    // Completion: a cursor move of the user's ends the keyboard cycle; an
    // entry chosen in the pop-up goes into the text; the pop-up's state is
    // forgotten when it ends.
    void breakViCompletion();
    void applyCompleteWord();
    void finishCompletion();

private:
    class Private;
    Private* d;
};

} // namespace xqwidgets

#endif

#ifndef XQWIDGETS_TEXTEDITOR_P_H
#define XQWIDGETS_TEXTEDITOR_P_H

// The editor frame's private record, shared by the units that implement the
// frame (texteditor.cpp, texteditorfind.cpp, textcompletion.cpp,
// texteditorprint.cpp).

#include "xqwidgets/xqeditor/textcompletion.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textfile.h"

#include <QListWidget>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

namespace xqwidgets
{

class LongRun;

class TextEditor::Private
{
public:
    TextEditor* self = nullptr;
    TextDocument* doc = nullptr;
    TextEditorManager* manager = nullptr;
    TextView* view = nullptr;
    QString path;
    // Loads and saves the file; holds the encoding name and the byte-order
    // mark of the file last read.
    TextFile file;
    bool invalidBytes = false;
    QString error;

    // State of the last plain find.
    QString findText;
    bool findCaseSensitive = false;
    bool findWholeWord = false;
    bool findFromCursor = false;
    bool findInSelection = false;
    QRect selectionForFind;
    // How the last regular-expression find or replace-all ended, and the
    // replace-all running.
    SearchOutcome searchOutcome;
    LongRun* currentRun = nullptr;

    // Stores a plain find's state; the selection now is its bounds.
    void setFindState(const QString& text, bool caseSensitive, bool wholeWord, bool fromCursor,
                      bool inSelection);
    // The plain search on the stored state; selects the match.
    bool find();

    // Where the next match of a replace-all lies in line `line` `t`,
    // looking from `from` (a match of nothing there only when `emptyAtFrom`):
    // its column, with its length in `len`; -1 when the line has no more, -2
    // when the run stops there, -3 when the rest of the line could not be
    // searched. `out` holds the new text built so far, the line's own from
    // `lineStart` on, up to its column `copied`.
    using NextMatch = std::function<qsizetype(int line, const QString& t, qsizetype from,
                                              bool emptyAtFrom, const QString& out,
                                              qsizetype lineStart, qsizetype copied, int* len)>;
    // Replaces the matches `next` finds from the top of the document or of
    // the selection (inSelection), or from the caret, as one undo step;
    // `len` is the length of every match when `fixedLength`.
    int replaceMatches(const QString& replaceText, bool inSelection, bool fromCursor,
                       bool fixedLength, int len, const NextMatch& next);
    int buildReplacement(const QString& replaceText, bool inSelection, bool fromCursor,
                         bool fixedLength, int len, const NextMatch& next);

    // Keyboard completion: the candidates of the running cycle (empty when
    // none runs) and the one now in the text. While breakViCompletion is
    // false the frame itself moves the caret, which must not end the cycle.
    int viCompletionPos = 0;
    QStringList viCompletionWords;
    bool breakViCompletion = true;

    // Pop-up completion: the word typed so far, every distinct word of the
    // document, the entries shown, and the pop-up while it is open (it
    // deletes itself when it closes).
    QString completionWord;
    QStringList completionWords;
    QStringList completionGrep;
    QPointer<QListWidget> completionPopup;
    // Set once the end of the pop-up is posted, so that a second activation
    // arriving before the end event does not insert the entry twice.
    bool completionEnding = false;
    // The document's words, kept current line by line.
    WordIndex words;

    // The pop-up's events, seen before the pop-up gets them.
    void completionPopupEvent(QEvent* ev);
    void endCompletion();
    // Refills the pop-up with the sorted candidates, the first one current.
    void fillCompletionPopup();
};

} // namespace xqwidgets

#endif

#ifndef XQWIDGETS_TEXTBULKCOMMANDS_H
#define XQWIDGETS_TEXTBULKCOMMANDS_H

#include "xqwidgets/qtundo/qtundo.h"

namespace xqwidgets
{

class TextDocument;

// Commands for runs of whole lines. Removing a large selection or pasting
// many lines would otherwise take one CmdRemoveLine, or one CmdMakeLine and
// one CmdInsert, per line: a command object each, and a context pass and
// repaint tag each. These do the same in one command, with the same text,
// folds, visibility and caret as the single-line commands they stand for.
// Like those, they only occur inside macros and keep a null description.

// Removes `count` lines from `line` on, as removeLine(line) repeated
// `count` times would.
class CmdRemoveLines : public QtCommand
{
    Q_OBJECT
public:
    CmdRemoveLines(TextDocument* doc, int line, int count);
    void redo() override;
    void undo() override;
    bool mergeMeWith(QtCommand* other) override;

    TextDocument* doc;
    int line;
    int count;
    // The removed lines joined by line feeds, filled by redo; the lines
    // that undo makes share it.
    QString oldText;
};

// Inserts the lines of `text` (split at line feeds) at `line`, as
// makeLine(line + k) followed by cmdInsert(line + k, 0, piece k) for each
// piece would.
class CmdInsertLines : public QtCommand
{
    Q_OBJECT
public:
    CmdInsertLines(TextDocument* doc, int line, const QString& text);
    void redo() override;
    void undo() override;
    bool mergeMeWith(QtCommand* other) override;

    TextDocument* doc;
    int line;
    int count; // the number of lines, known once redo has made them
    QString text;
};

// Push the commands above, or, with bulk line commands switched off, the
// single-line commands they stand for. pushRemoveLines pushes nothing for
// no lines; pushInsertLines makes one line for each piece of `text` split at
// line feeds.
void pushRemoveLines(TextDocument* doc, int line, int count);
void pushInsertLines(TextDocument* doc, int line, const QString& text);

// Whether pushRemoveLines and pushInsertLines use the bulk commands (on by
// default). Only tests switch it off, to run the single-line commands on the
// same edits and compare.
bool bulkLineCommands();
void setBulkLineCommands(bool on);

} // namespace xqwidgets

#endif

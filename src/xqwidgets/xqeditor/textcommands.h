#ifndef XQWIDGETS_TEXTCOMMANDS_H
#define XQWIDGETS_TEXTCOMMANDS_H

#include "xqwidgets/qtundo/qtundo.h"

namespace xqwidgets
{

class TextDocument;

// The four undoable changes every edit is made of, each confined to one
// line. Consecutive insertions merge into word-sized undo steps.

class CmdInsert : public QtCommand
{
    Q_OBJECT
public:
    CmdInsert(TextDocument* doc, int line, int column, const QString& text);
    void redo() override;
    void undo() override;
    bool mergeMeWith(QtCommand* other) override;

    TextDocument* doc;
    int line;
    int column;
    QString text;
};

class CmdRemove : public QtCommand
{
    Q_OBJECT
public:
    CmdRemove(TextDocument* doc, int line, int column, int length);
    void redo() override;
    void undo() override;
    bool mergeMeWith(QtCommand* other) override;

    TextDocument* doc;
    int line;
    int column;
    int length;
    QString oldText;
};

class CmdMakeLine : public QtCommand
{
    Q_OBJECT
public:
    CmdMakeLine(TextDocument* doc, int line);
    void redo() override;
    void undo() override;
    bool mergeMeWith(QtCommand* other) override;

    TextDocument* doc;
    int line;
};

class CmdRemoveLine : public QtCommand
{
    Q_OBJECT
public:
    CmdRemoveLine(TextDocument* doc, int line);
    void redo() override;
    void undo() override;
    bool mergeMeWith(QtCommand* other) override;

    TextDocument* doc;
    int line;
    QString oldText;
};

} // namespace xqwidgets

#endif

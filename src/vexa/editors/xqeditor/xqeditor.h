#ifndef VEXA_EDITORS_XQEDITOR_H
#define VEXA_EDITORS_XQEDITOR_H

#include "vexa/editors/editor.h"

namespace xqwidgets
{
class TextEditor;
class TextEditorManager;
} // namespace xqwidgets

namespace vexa
{

// The editor of the application: one frame of the editing component over a
// document of its own. All of them share one component manager, which holds
// the editing options. The editor keeps the folds of its file across runs
// under "/editors/folding/" + xqwidgets::md5sum(path).
class XQEditor : public Editor
{
    Q_OBJECT
public:
    explicit XQEditor(QWidget* parent = nullptr, const char* name = nullptr);
    ~XQEditor() override;

    // The manager shared by every editor, made and configured on first use.
    static xqwidgets::TextEditorManager* manager();
    // Applies the stored editing options to the shared manager.
    static void loadConfig();

    // The frame, for those who need the component itself.
    xqwidgets::TextEditor* textEditor() const;
    int traceLine() const;

    QString text() override;
    void setText(const QString& text) override;
    QString line(int l) override;
    QString selection() override;
    bool open(const QString& url) override;
    bool save() override;
    bool saveAs(const QString& url) override;
    void undo() override;
    void redo() override;
    void cut() override;
    void copy() override;
    void paste() override;
    bool find(const QString& text, bool caseSensitive, bool wholeWord, bool fromCursor,
              bool inSelection) override;
    bool findRegexp(const QString& pattern, bool caseSensitive, bool wildcard,
                    bool fromCursor) override;
    void replaceFound(const QString& text) override;
    int replaceAll(const QString& text, const QString& replacement, bool caseSensitive,
                   bool wholeWord, bool regExp, bool inSelection) override;
    bool searchStopped() override;
    QList<int> unsearchedLines() override;
    bool findNext() override;
    void setWrap(bool b) override;
    bool getWrap() override;
    void selectAll() override;
    void indent() override;
    void unindent() override;
    void configure() override;
    void configureHighlighting() override;
    QString filename() override;
    void setFileName(const QString& name) override;
    bool isModified() override;
    bool isReadOnly() override;
    bool changedOnDisk() override;
    int cursorLine() override;
    int cursorColumn() override;
    void setCursorPosition(int line, int column) override;
    void setHighlightedLine(int line, const QColor& color) override;
    void clearHighlightedLine(int line) override;
    void setLineIcon(int line, QPixmap* pixmap) override;
    void clearLineIcon(int line) override;
    void showTrace(int line) override;
    void clearTrace() override;
    bool replaceTabs() override;
    int tabWidthInSpaces() override;
    void completeWordNext() override;
    void completeWordPrev() override;
    void addCompletionList(const QStringList& words, int minimumMatchedLength) override;
    QString errorString() override;
    qint64 changeCount() override;
    int lineCount() override;
    QList<QString> lines(int from, int count) override;
    void beginUndoGroup() override;
    void endUndoGroup() override;
    bool selectionRange(int* line1, int* col1, int* line2, int* col2) override;
    void setSelection(int line1, int col1, int line2, int col2) override;

public Q_SLOTS:
    void changedStatus(int id);
    void managerOverwriteModeChanged();

private:
    class Private;
    Private* d;
};

// Makes the text editors for the editor manager.
class XQEditorFactory : public EditorFactory
{
public:
    QString name() override;
    Editor* createEditor(QWidget* parent) override;
};

} // namespace vexa

#endif

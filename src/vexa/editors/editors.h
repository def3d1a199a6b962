#ifndef VEXA_EDITORS_EDITORS_H
#define VEXA_EDITORS_EDITORS_H

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QFileDialog;
class QWidget;

namespace vexa
{

class Editor;
class EditorFactory;

// The manager of the open editors: keeps them in tab order in the main
// window's workspace, knows the current one, makes new ones through the
// installed factory, owns the File and Edit commands and asks about unsaved
// changes. It has no parent and lives as long as the main window it serves.
class Editors : public QObject
{
    Q_OBJECT
public:
    static Editors* self();
    // Runs the program's file dialogs (Save As, the project's choosers) and
    // says whether one was accepted; exec() by default. Tests put a runner
    // here that fills the dialog in without a modal loop (an empty runner
    // restores exec()).
    static void setFileDialogRunner(std::function<bool(QFileDialog&)> runner);
    static bool runFileDialog(QFileDialog& dialog);

    // Makes `f` the factory of new editors; the manager keeps it.
    void installEditorFactory(EditorFactory* f);
    Editor* current() const;
    QList<Editor*> editors() const;
    bool replaceTabs();
    int tabWidthInSpaces();

public Q_SLOTS:
    void setFocus();
    void setCurrentEditor(vexa::Editor* e);
    void editorFocusChanged(bool in);
    void focusChanged(QObject* o);
    // The files open at the last exit come back: loadSessionFiles() reopens
    // them, loadSession() lets loadSessionCurrent() make the one that was
    // current current again and put back every cursor, a moment later.
    void loadSession();
    void loadSessionFiles();
    void loadSessionCurrent();
    void setCaption();
    void addCloseButton();
    void newEditor();
    void open();
    // Makes the editor of the file current, opening it first when no editor
    // holds it. The path is made absolute, so a relative and an absolute
    // name of one file meet in one editor. False when the file could not be
    // opened: no editor is left behind named after it.
    bool open(const QString& url);
    // Opens the file as open(url) does and returns the editor that holds it
    // now; null, with nothing changed, when the name is no regular file or
    // the file did not load. Relative names are taken against the working
    // folder. Those who follow a reference to a file (a message row, a tag)
    // open it here and then show their line with Editor::showLine().
    Editor* openEditor(const QString& file);
    // Each save reports whether the text reached its file; a failure was
    // shown to the user and the editor keeps its modified mark.
    bool save();
    // False also when the dialog or the overwrite question was cancelled.
    bool saveAs();
    bool saveAs(const QString& name);
    void saveAll();
    void close();
    // False when the user cancelled a question; nothing is closed then.
    bool closeAll();
    bool close(vexa::Editor* e);
    void undo();
    void redo();
    void cut();
    void copy();
    void paste();
    bool find(const QString& text, bool caseSensitive, bool wholeWord, bool fromCursor,
              bool inSelection);
    bool findRegexp(const QString& pattern, bool caseSensitive, bool wildcard,
                    bool fromCursor = false);
    void replaceFound(const QString& text);
    void setWrap(bool b);
    bool getWrap();
    void selectAll();
    void indent();
    void unindent();
    void completeWordNext();
    void completeWordPrev();
    void nextEditor();
    void prevEditor();
    void changeEditorsOrder(vexa::Editor* ed1, vexa::Editor* ed2);
    void configure();
    void configureHighlighting();

Q_SIGNALS:
    void currentChanged(vexa::Editor* e);
    void listChanged();
    void gotFocus();
    void fileLoaded();
    void fileSaved();
    void editorChanged();
    void editorModified(vexa::Editor* e, bool modified);

protected Q_SLOTS:
    void toEditor();
    void toEditor(bool);
    void updateEditorsPopup();
    void editorsPopupActivated(int id);
    void editorLineColChanged(int line, int col);
    void editorOverwriteModeChanged(bool overwrite);
    void updateTabNames();
    void closeEditor();
    void showEditorsPopupMenu();
    void workspaceWidgetRaised(QWidget* w);
    void modifiedEditor(bool b);
    void wrap();

private:
    Editors();
    ~Editors() override;
    void initActions();
    // The save paths of one editor, which need not be the current one.
    bool saveEditor(Editor* e);
    bool saveEditorAs(Editor* e);
    bool saveEditorAs(Editor* e, const QString& name);
    // Removes and deletes an editor without any question.
    void discard(Editor* e);
    // Enables the focus-bound commands after the focus, what can be undone
    // and whether the current document may change.
    void updateEditActions();
    // A save of a read-only document is refused, and the status bar says so.
    bool refusedReadOnly(Editor* e);

    class Private;
    Private* d;
};

} // namespace vexa

#endif

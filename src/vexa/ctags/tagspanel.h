#ifndef VEXA_CTAGS_TAGSPANEL_H
#define VEXA_CTAGS_TAGSPANEL_H

#include <QWidget>

namespace vexa
{

struct Node;
class TagsView;
class EditorsList;

// The tags page of the left dock ("Tags"): the symbols of the current
// editor's text above the list of open editors. It asks the parser of the
// editor's file type for the tree of the text on every editor event, every
// 5000 ms and once the text has stopped changing for a moment, shows a delivered tree only when it
// belongs to the text the editor holds at that moment, moves the cursor to a clicked symbol and to
// the previous or next symbol (Alt+Up, Alt+Down).
//
// A second page (a view of all classes and a progress bar) is built and wired,
// but nothing raises or fills it.
class TagsPanel : public QWidget
{
    Q_OBJECT
public:
    static TagsPanel* self();
    ~TagsPanel() override;

    // The view of the current editor's symbols (page 0), the all-classes view
    // (page 1) and the list of open editors.
    TagsView* classesView() const;
    TagsView* classesViewAll() const;
    EditorsList* editorsList() const;
    // The root of the tree shown in the first page's view; null before one.
    Node* rootNode() const;

public Q_SLOTS:
    // Requests the tree of the current editor's text; does nothing when the
    // editor's text has not changed since the last request for it.
    void reparse();
    // A tree delivered by a parser: shown when it belongs to the current
    // editor's text and is not the one shown already.
    void reparseShowNodes(int key, vexa::Node* root);
    void prevFunction();
    void nextFunction();
    // Null: raise this page in the left dock. Otherwise: the dock now shows
    // `o`; the page's tab is on exactly when `o` is this panel.
    void makeVisible(QObject* o = nullptr);
    // Moves the cursor to column 0 of the line of `pos` and gives the editor
    // the focus; a file name first makes that file's editor current.
    void gotoTextPos(int pos, const QString& fileName);
    void sortByName();
    void sortByLineNumber();
    void sortByNameClassesAll();
    void sortByLineNumberClassesAll();
    void showAllClasses();
    void checkShowAllClasses(bool on);
    void enableClassesAll();
    void disableClassesAll();
    void switchShowAllClasses(bool on);
    // Shows or hides the editors list; showing divides the page's height
    // between the tree and the list by the number of open editors.
    void showFilesList(bool show = false);
    void showHideFilesList();

Q_SIGNALS:
    void raised();

private:
    explicit TagsPanel(QWidget* parent);
    void copySlice();
    // A copy of the current editor's text is made: asks for its tree.
    void copied(quint64 id, const QString& text, const QByteArray& digest);
    class Private;
    Private* d;
};

} // namespace vexa

#endif

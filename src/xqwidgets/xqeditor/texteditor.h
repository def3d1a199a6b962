#ifndef XQWIDGETS_TEXTEDITOR_H
#define XQWIDGETS_TEXTEDITOR_H

#include <QFrame>

namespace xqwidgets
{

class TextDocument;
class TextEditorManager;
class TextFolding;
class TextView;

// The framed panel an application places in its window to edit one
// document: it holds the document's view and relays every change notice of
// the document, the view and the caret as changed(int).
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

    int line() const;
    int column() const;
    bool hasSelection() const;

    void notifyChange(ChangeId id);

public slots:
    void del();
    void cut();
    void copy();
    void paste();

signals:
    void changed(int id);
    void filePathChange();

protected:
    bool eventFilter(QObject* obj, QEvent* ev) override;

private:
    class Private;
    Private* d;
};

} // namespace xqwidgets

#endif

#ifndef VEXA_EDITORS_EDITORSLIST_H
#define VEXA_EDITORS_EDITORSLIST_H

#include <QListWidgetItem>
#include <QPointer>
#include <QWidget>

class QListWidget;

namespace vexa
{

class Editor;

// A list of the open editors, one row per editor in the manager's order with
// the icon of the file's type and the file's base name. It follows the
// manager: rebuilt when the editors change, its current row on the current
// editor; choosing a row (mouse or keys) makes that row's editor current.
class EditorsList : public QWidget
{
    Q_OBJECT
public:
    explicit EditorsList(QWidget* parent = nullptr, const char* name = nullptr);
    ~EditorsList() override;

    // The inner list, for callers that size the widget to its rows.
    QListWidget* listBox() const;

public Q_SLOTS:
    void updateList();
    void setCurrentEditor(vexa::Editor* e);

Q_SIGNALS:
    void showEditor(vexa::Editor* e);

private Q_SLOTS:
    void currentChanged();

private:
    class Private;
    Private* d;
};

// One row of the list: an icon, a text and the editor it stands for.
class EditorsListItem : public QListWidgetItem
{
public:
    enum { Type = QListWidgetItem::UserType + 1 };

    // Inserted right after `after`, or at the top when it is null.
    EditorsListItem(QListWidget* listbox, const QPixmap& pixmap, const QString& text,
                    QListWidgetItem* after, Editor* editor);

    // Not owned; null once the editor is gone.
    QPointer<Editor> editor;
};

} // namespace vexa

#endif

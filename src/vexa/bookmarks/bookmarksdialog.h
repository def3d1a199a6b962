#ifndef VEXA_BOOKMARKS_BOOKMARKSDIALOG_H
#define VEXA_BOOKMARKS_BOOKMARKSDIALOG_H

#include <QDialog>
#include <QMap>
#include <QString>

#include <memory>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace Ui
{
class BookmarksDialogBase;
class EditBookmarkDialog;
} // namespace Ui

// The form of the manage-bookmarks dialog: Name and URL rows, Add, Edit,
// Remove, OK and Cancel.
class BookmarksDialogBase : public QDialog
{
    Q_OBJECT
public:
    explicit BookmarksDialogBase(QWidget* parent = nullptr, const char* name = nullptr,
                                 bool modal = false, Qt::WindowFlags fl = {});
    ~BookmarksDialogBase() override;

    QTreeWidget* bookmarkListView;
    QPushButton* addButton;
    QPushButton* editButton;
    QPushButton* removeButton;
    QFrame* line1;
    QPushButton* buttonOk;
    QPushButton* buttonCancel;

protected Q_SLOTS:
    virtual void languageChange();

private:
    std::unique_ptr<Ui::BookmarksDialogBase> m_form;
};

// The form that asks for one bookmark's name and URL.
class EditBookmarkDialog : public QDialog
{
    Q_OBJECT
public:
    explicit EditBookmarkDialog(QWidget* parent = nullptr, const char* name = nullptr,
                                bool modal = false, Qt::WindowFlags fl = {});
    ~EditBookmarkDialog() override;

    QLabel* textLabel1;
    QLineEdit* nameLineEdit;
    QLabel* textLabel2;
    QLineEdit* urlLineEdit;
    QFrame* line1;
    QPushButton* buttonOk;
    QPushButton* buttonCancel;

protected Q_SLOTS:
    virtual void languageChange();

private:
    std::unique_ptr<Ui::EditBookmarkDialog> m_form;
};

namespace vexa
{

// Edits a copy of one category's bookmarks: rows are added, edited (also by
// Space, Return or a double click on a row) and removed without checks; the
// store takes bookmarks() back only when the dialog is accepted. Its size is
// kept in "/bookmarks/dialog/width" and "/bookmarks/dialog/height".
class BookmarksDialog : public BookmarksDialogBase
{
    Q_OBJECT
public:
    explicit BookmarksDialog(QWidget* parent = nullptr, const char* name = nullptr);
    ~BookmarksDialog() override;

    // Name to URL, rows from first to last: of two rows with one name the
    // lower one's URL is kept.
    QMap<QString, QString> bookmarks() const;
    // Writes the dialog's size to the settings (also done at destruction).
    void saveSize();
    // The columns share the list's width; kept for callers of the old form.
    void adjustContentSize();
    void adjustContent();
    EditBookmarkDialog* editDialog() const;

public Q_SLOTS:
    void addBookmark();
    void editBookmark();
    void removeBookmark();
    void setBookmarks(const QMap<QString, QString>& bookmarks);

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace vexa

#endif

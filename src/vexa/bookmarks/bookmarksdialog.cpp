#include "vexa/bookmarks/bookmarksdialog.h"

#include "ui_bookmarksdialogbase.h"
#include "ui_editbookmarkdialog.h"

#include "vexa/settings.h"
#include "vexa/utils.h"

#include <QHeaderView>
#include <QKeyEvent>

BookmarksDialogBase::BookmarksDialogBase(QWidget* parent, const char* name, bool modal,
                                         Qt::WindowFlags fl)
    : QDialog(parent, fl), m_form(new Ui::BookmarksDialogBase)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    setModal(modal);
    m_form->setupUi(this);
    bookmarkListView = m_form->bookmarkListView;
    addButton = m_form->addButton;
    editButton = m_form->editButton;
    removeButton = m_form->removeButton;
    line1 = m_form->line1;
    buttonOk = m_form->buttonOk;
    buttonCancel = m_form->buttonCancel;
    languageChange();
    resize(minimumSizeHint().expandedTo(QSize(574, 396)));
}

BookmarksDialogBase::~BookmarksDialogBase() = default;

void BookmarksDialogBase::languageChange()
{
    m_form->retranslateUi(this);
    // OK and Cancel answer Return and Escape only, as in the other dialogs.
    buttonOk->setShortcut(QKeySequence());
    buttonCancel->setShortcut(QKeySequence());
}

EditBookmarkDialog::EditBookmarkDialog(QWidget* parent, const char* name, bool modal,
                                       Qt::WindowFlags fl)
    : QDialog(parent, fl), m_form(new Ui::EditBookmarkDialog)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    setModal(modal);
    m_form->setupUi(this);
    textLabel1 = m_form->textLabel1;
    nameLineEdit = m_form->nameLineEdit;
    textLabel2 = m_form->textLabel2;
    urlLineEdit = m_form->urlLineEdit;
    line1 = m_form->line1;
    buttonOk = m_form->buttonOk;
    buttonCancel = m_form->buttonCancel;
    languageChange();
    resize(minimumSizeHint().expandedTo(QSize(425, 190)));
}

EditBookmarkDialog::~EditBookmarkDialog() = default;

void EditBookmarkDialog::languageChange()
{
    m_form->retranslateUi(this);
    buttonOk->setShortcut(QKeySequence());
    buttonCancel->setShortcut(QKeySequence());
}

namespace vexa
{

class BookmarksDialog::Private
{
public:
    EditBookmarkDialog* edit = nullptr;
};

BookmarksDialog::BookmarksDialog(QWidget* parent, const char* name)
    : BookmarksDialogBase(parent, name, false), d(new Private)
{
    bookmarkListView->setAllColumnsShowFocus(true);
    // Name and URL share the width, with room for the scroll bar when it shows.
    bookmarkListView->header()->setSectionResizeMode(QHeaderView::Stretch);
    resize(Utils::storedDialogSize(QStringLiteral("/bookmarks/dialog/width"),
                                   QStringLiteral("/bookmarks/dialog/height"), size(), this));
    d->edit = new EditBookmarkDialog(this);
    connect(addButton, &QPushButton::clicked, this, &BookmarksDialog::addBookmark);
    connect(editButton, &QPushButton::clicked, this, &BookmarksDialog::editBookmark);
    connect(removeButton, &QPushButton::clicked, this, &BookmarksDialog::removeBookmark);
    connect(bookmarkListView, &QTreeWidget::itemDoubleClicked, this,
            &BookmarksDialog::editBookmark);
    // Space and Return edit the current row (the view would pass Return on to
    // the dialog's default button).
    bookmarkListView->installEventFilter(this);
}

BookmarksDialog::~BookmarksDialog()
{
    saveSize();
}

void BookmarksDialog::saveSize()
{
    Settings::write(QStringLiteral("/bookmarks/dialog/width"), width());
    Settings::write(QStringLiteral("/bookmarks/dialog/height"), height());
}

EditBookmarkDialog* BookmarksDialog::editDialog() const
{
    return d->edit;
}

bool BookmarksDialog::eventFilter(QObject* o, QEvent* e)
{
    if (o == bookmarkListView && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
            editBookmark();
            return true;
        }
    }
    return BookmarksDialogBase::eventFilter(o, e);
}

QMap<QString, QString> BookmarksDialog::bookmarks() const
{
    QMap<QString, QString> map;
    for (int i = 0; i < bookmarkListView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = bookmarkListView->topLevelItem(i);
        map.insert(row->text(0), row->text(1));
    }
    return map;
}

void BookmarksDialog::setBookmarks(const QMap<QString, QString>& bookmarks)
{
    bookmarkListView->clear();
    for (auto it = bookmarks.cbegin(); it != bookmarks.cend(); ++it)
        new QTreeWidgetItem(bookmarkListView, {it.key(), it.value()});
    adjustContentSize();
}

void BookmarksDialog::adjustContentSize()
{
    bookmarkListView->viewport()->update();
    adjustContent();
}

void BookmarksDialog::adjustContent()
{
    bookmarkListView->header()->resizeSections(QHeaderView::Stretch);
}

void BookmarksDialog::addBookmark()
{
    d->edit->nameLineEdit->clear();
    d->edit->urlLineEdit->clear();
    d->edit->nameLineEdit->setFocus();
    if (d->edit->exec() != QDialog::Accepted)
        return;
    new QTreeWidgetItem(bookmarkListView,
                        {d->edit->nameLineEdit->text(), d->edit->urlLineEdit->text()});
}

void BookmarksDialog::editBookmark()
{
    QTreeWidgetItem* row = bookmarkListView->currentItem();
    if (!row)
        return;
    d->edit->nameLineEdit->setText(row->text(0));
    d->edit->urlLineEdit->setText(row->text(1));
    d->edit->nameLineEdit->setFocus();
    if (d->edit->exec() != QDialog::Accepted)
        return;
    row->setText(0, d->edit->nameLineEdit->text());
    row->setText(1, d->edit->urlLineEdit->text());
}

void BookmarksDialog::removeBookmark()
{
    delete bookmarkListView->currentItem();
}

} // namespace vexa

#include "vexa/editors/editorslist.h"

#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/editors/editorstab.h"
#include "vexa/filetype.h"

#include <QGridLayout>
#include <QListWidget>
#include <QSignalBlocker>

namespace vexa
{

class EditorsList::Private
{
public:
    QListWidget* listBox = nullptr;
};

EditorsListItem::EditorsListItem(QListWidget* listbox, const QPixmap& pixmap, const QString& text,
                                 QListWidgetItem* after, Editor* e)
    : QListWidgetItem(QIcon(pixmap), text, nullptr, Type), editor(e)
{
    listbox->insertItem(after ? listbox->row(after) + 1 : 0, this);
}

EditorsList::EditorsList(QWidget* parent, const char* name) : QWidget(parent), d(new Private)
{
    if (name)
        setObjectName(QLatin1String(name));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(3);
    d->listBox = new QListWidget(this);
    grid->addWidget(d->listBox, 0, 0);

    Editors* editors = Editors::self();
    updateList();
    connect(editors, &Editors::listChanged, this, &EditorsList::updateList);
    connect(editors, &Editors::currentChanged, this, &EditorsList::setCurrentEditor);
    connect(this, &EditorsList::showEditor, editors, &Editors::setCurrentEditor);
    connect(d->listBox, &QListWidget::currentItemChanged, this, &EditorsList::currentChanged);
}

EditorsList::~EditorsList()
{
    delete d;
}

QListWidget* EditorsList::listBox() const
{
    return d->listBox;
}

void EditorsList::updateList()
{
    const QList<Editor*> list = Editors::self()->editors();
    d->listBox->setUpdatesEnabled(false);
    {
        // Rows that come and go while the list is refilled are no choice of
        // the user: they must not switch the current editor.
        const QSignalBlocker blocker(d->listBox);
        d->listBox->clear();
        QListWidgetItem* after = nullptr;
        for (Editor* e : list) {
            const QString name = e->filename();
            const QString text = name.isEmpty() ? tr("Untitled") : EditorsTab::subName(name, 1);
            const QPixmap pixmap = FileTypeManager::self()->findType(text)->pixmap();
            after = new EditorsListItem(d->listBox, pixmap, text, after, e);
        }
        setCurrentEditor(Editors::self()->current());
    }
    d->listBox->setUpdatesEnabled(true);
    d->listBox->update();
}

void EditorsList::setCurrentEditor(Editor* e)
{
    if (!e)
        return;
    for (int i = 0; i < d->listBox->count(); ++i) {
        auto* item = static_cast<EditorsListItem*>(d->listBox->item(i));
        if (item->editor == e) {
            d->listBox->setCurrentItem(item);
            return;
        }
    }
}

void EditorsList::currentChanged()
{
    auto* item = static_cast<EditorsListItem*>(d->listBox->currentItem());
    if (item && item->editor)
        Q_EMIT showEditor(item->editor);
}

} // namespace vexa

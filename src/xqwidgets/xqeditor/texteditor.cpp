#include "texteditor.h"

#include "editorcursor.h"
#include "textdoc.h"
#include "textmanager.h"
#include "textview.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>

namespace xqwidgets
{

class TextEditor::Private
{
public:
    TextEditor* self = nullptr;
    TextDocument* doc = nullptr;
    TextEditorManager* manager = nullptr;
    TextView* view = nullptr;
};

TextEditor::TextEditor(TextDocument* document, QWidget* parent, const char* name)
    : QFrame(parent), d(new Private)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    d->self = this;
    d->doc = document;
    d->manager = document->manager();
    d->view = new TextView(this);
    d->view->installEventFilter(this);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setFocusProxy(d->view);
}

TextEditor::~TextEditor()
{
    TextDocument* doc = d->doc;
    delete d->view;
    d->view = nullptr;
    if (doc->views().isEmpty())
        delete doc;
    delete d;
}

TextDocument* TextEditor::document() const
{
    return d->doc;
}

TextEditorManager* TextEditor::manager() const
{
    return d->manager;
}

TextView* TextEditor::view() const
{
    return d->view;
}

TextFolding* TextEditor::folding() const
{
    return d->doc->folding();
}

int TextEditor::line() const
{
    return d->view->cursor()->line();
}

int TextEditor::column() const
{
    return d->view->cursor()->column();
}

bool TextEditor::hasSelection() const
{
    return d->view->hasSelection();
}

void TextEditor::notifyChange(ChangeId id)
{
    emit changed(int(id));
}

void TextEditor::del()
{
    if (d->view->hasSelection())
        d->doc->selectionCommand(TextDocument::SelectionRemove);
    else
        d->doc->del(0, 0);
}

void TextEditor::cut()
{
    if (d->view->hasSelection())
        d->doc->selectionCommand(TextDocument::SelectionCut);
}

void TextEditor::copy()
{
    if (d->view->hasSelection())
        d->doc->selectionCommand(TextDocument::SelectionCopy);
}

void TextEditor::paste()
{
    d->doc->selectionCommand(TextDocument::SelectionRemove);
    const QString text = QApplication::clipboard()->text(QClipboard::Clipboard);
    if (!text.isNull())
        d->doc->insert(text, 0, 0);
}

bool TextEditor::eventFilter(QObject* obj, QEvent* ev)
{
    if (obj == d->view && ev->type() == QEvent::FocusIn && d->manager)
        d->manager->editorActivated(this);
    return QFrame::eventFilter(obj, ev);
}

} // namespace xqwidgets

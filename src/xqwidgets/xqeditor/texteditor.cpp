#include "xqwidgets/xqeditor/texteditor.h"

#include "xqwidgets/debuglog.h"
#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/editormargins.h"
#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor_p.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QClipboard>
#include <QDebug>
#include <QEvent>
#include <QFileInfo>

namespace xqwidgets
{

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
    connect(d->view->cursor(), &EditorCursor::changePosition, this, &TextEditor::breakViCompletion);
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

// --- Files ----------------------------------------------------------------------

QString TextEditor::filePath() const
{
    return d->path;
}

void TextEditor::setFilePath(const QString& name)
{
    // An empty name stays empty: the absolute form of "" would be the
    // current directory, which is no file.
    d->path = name.isEmpty() ? QString() : QFileInfo(name).absoluteFilePath();
    // The definition in use stays when the name calls for the same one: a
    // fresh copy would colour the whole document again for nothing (opening
    // a file has chosen it already), and building one only to learn its
    // name would cost a small file's opening a good part of its time.
    const QString fileName = QFileInfo(d->path).fileName();
    if (TextHighlightManager::findHighlightName(d->manager, fileName) != highlight())
        d->view->setHighlight(TextHighlightManager::findHighlight(d->manager, fileName));
    emit filePathChange();
}

QString TextEditor::textCodec() const
{
    return d->file.codecName();
}

void TextEditor::setTextCodec(const QString& name)
{
    d->file.setCodecName(name);
}

bool TextEditor::hasInvalidBytes() const
{
    return d->invalidBytes;
}

QString TextEditor::errorString() const
{
    return d->error;
}

bool TextEditor::open(const QString& path)
{
    // The highlighting is chosen before the text arrives, so that loading
    // runs the context pass once, with the right definition; a failed load
    // puts the old one back.
    const QString oldHighlight = highlight();
    const QString fileName = QFileInfo(path).fileName();
    const bool newHighlight =
        TextHighlightManager::findHighlightName(d->manager, fileName) != oldHighlight;
    if (newHighlight)
        d->view->setHighlight(TextHighlightManager::findHighlight(d->manager, fileName));

    if (!d->file.load(path, d->doc)) {
        d->error = d->file.errorString();
        if (newHighlight)
            d->view->setHighlight(oldHighlight);
        return false;
    }
    d->error.clear();
    d->invalidBytes = d->file.hasInvalidBytes();
    d->path = QFileInfo(path).absoluteFilePath();
    emit filePathChange();
    return true;
}

bool TextEditor::changedOnDisk() const
{
    return !d->path.isEmpty() && d->file.changedOnDisk(d->path);
}

bool TextEditor::save()
{
    // An unchanged text is written only when its file has gone meanwhile:
    // the editor then holds the only copy.
    if (!d->doc->isModified() && (d->path.isEmpty() || QFileInfo::exists(d->path)))
        return true;
    if (d->path.isEmpty()) {
        d->error = tr("The document has no file name");
        return false;
    }
    const bool ok = d->file.save(d->path, d->doc);
    d->error = d->file.errorString();
    return ok;
}

bool TextEditor::saveAs(const QString& path)
{
    if (path.isEmpty()) {
        d->error = tr("The document has no file name");
        return false;
    }
    if (!d->file.save(path, d->doc)) {
        d->error = d->file.errorString();
        return false;
    }
    d->error.clear();
    setFilePath(path);
    return true;
}

void TextEditor::fileNew()
{
    d->doc->clear();
    // The lock the frame put on a file with undecodable bytes goes with it.
    if (d->invalidBytes)
        d->doc->setReadOnly(false);
    d->file.setBom(false);
    d->invalidBytes = false;
    d->error.clear();
    setFilePath(QString());
}

// --- State and text ---------------------------------------------------------------

int TextEditor::line() const
{
    return d->view->cursor()->line();
}

int TextEditor::column() const
{
    return d->view->cursor()->column();
}

bool TextEditor::isModified() const
{
    return d->doc->isModified();
}

void TextEditor::setModified(bool modified)
{
    d->doc->setModified(modified);
    notifyChange(Modification);
}

bool TextEditor::getWrap() const
{
    return d->doc->getWrap();
}

void TextEditor::setWrap(bool wrap)
{
    d->doc->setWrap(wrap);
}

QString TextEditor::highlight() const
{
    const TextHighlight* hl = d->view->highlight();
    return hl ? hl->name() : QString();
}

void TextEditor::setHighlight(const QString& highlightName)
{
    d->view->setHighlight(highlightName);
}

bool TextEditor::isReadOnly() const
{
    return d->doc->isReadOnly();
}

void TextEditor::setReadOnly(bool readOnly)
{
    d->doc->setReadOnly(readOnly);
}

QString TextEditor::text() const
{
    return d->doc->text();
}

QString TextEditor::getSelectedText() const
{
    return d->doc->selectionCommand(TextDocument::SelectionText);
}

void TextEditor::clear()
{
    d->doc->clear();
}

void TextEditor::setText(const QString& text)
{
    d->doc->clear();
    append(text);
}

void TextEditor::append(const QString& text)
{
    d->doc->append(text);
    d->doc->updateViews();
}

void TextEditor::insertLine(const QString& text, int line)
{
    d->doc->edit([&] { d->doc->insert(text, line, 0); });
    d->doc->updateViews();
}

bool TextEditor::hasSelection() const
{
    return d->view->hasSelection();
}

void TextEditor::moveCursor(int line, int column)
{
    d->view->centerCursor(line, column);
}

void TextEditor::indent()
{
    d->doc->edit([&] { d->doc->indent(); });
}

void TextEditor::unindent()
{
    d->doc->edit([&] { d->doc->unindent(); });
}

void TextEditor::setLineIcon(int line, QPixmap* pix)
{
    if (line < 0 || line > d->doc->lastLine())
        return;
    d->doc->lineOf(line)->setLinePixmap(pix);
    d->view->indicatorMargin()->update();
}

void TextEditor::clearLineIcon(int line)
{
    setLineIcon(line, nullptr);
}

// --- Clipboard ------------------------------------------------------------------

// Each runs as one edit of the document: one that cannot get its memory
// (a huge clipboard, a line grown past what is left) changes nothing.
void TextEditor::del()
{
    d->doc->edit([&] {
        if (d->view->hasSelection())
            d->doc->selectionCommand(TextDocument::SelectionRemove);
        else
            d->doc->del(0, 0);
    });
}

void TextEditor::cut()
{
    if (d->view->hasSelection())
        d->doc->edit([&] { d->doc->selectionCommand(TextDocument::SelectionCut); });
}

void TextEditor::copy()
{
    if (d->view->hasSelection())
        d->doc->edit([&] { d->doc->selectionCommand(TextDocument::SelectionCopy); });
}

void TextEditor::paste()
{
    d->doc->edit([&] {
        d->doc->selectionCommand(TextDocument::SelectionRemove);
        const QString text = QApplication::clipboard()->text(QClipboard::Clipboard);
        if (!text.isEmpty())
            d->doc->insert(text, 0, 0);
    });
}

void TextEditor::pasteSelection()
{
    d->doc->edit([&] {
        d->doc->selectionCommand(TextDocument::SelectionRemove);
        QClipboard* cb = QApplication::clipboard();
        const QString text =
            cb->supportsSelection() ? cb->text(QClipboard::Selection) : d->manager->winClipboard;
        if (!text.isEmpty())
            d->doc->insert(text, 0, 0);
    });
}

// --- Undo -------------------------------------------------------------------------

void TextEditor::undo()
{
    qCDebug(lcEditor, "TextEditor::undo() is deprecated, use QtUndoManager actions instead");
    d->doc->undoStack()->undo();
}

void TextEditor::redo()
{
    qCDebug(lcEditor, "TextEditor::redo() is deprecated, use QtUndoManager actions instead");
    d->doc->undoStack()->redo();
}

bool TextEditor::canUndo() const
{
    qCDebug(lcEditor, "TextEditor::canUndo() is deprecated, use QtUndoManager actions instead");
    return d->doc->undoStack()->canUndo();
}

bool TextEditor::canRedo() const
{
    qCDebug(lcEditor, "TextEditor::canRedo() is deprecated, use QtUndoManager actions instead");
    return d->doc->undoStack()->canRedo();
}

// --- Notices and events -----------------------------------------------------------

void TextEditor::notifyChange(ChangeId id)
{
    emit changed(int(id));
}

bool TextEditor::eventFilter(QObject* obj, QEvent* ev)
{
    if (obj == d->view && ev->type() == QEvent::FocusIn && d->manager)
        d->manager->editorActivated(this);
    // The pop-up filters through here until its last moment: while it is
    // being destroyed it is no longer a list widget, so it is recognised
    // without converting the guarded pointer.
    else if (!d->completionPopup.isNull() && obj->objectName() == QLatin1String("completionPopup"))
        d->completionPopupEvent(ev);
    return QFrame::eventFilter(obj, ev);
}

} // namespace xqwidgets

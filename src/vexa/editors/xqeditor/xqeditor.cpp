#include "vexa/editors/xqeditor/xqeditor.h"

#include "vexa/actions.h"
#include "vexa/editors/hloptions.h"
#include "vexa/editors/xqeditor/xqeditorsettingsdialog.h"
#include "vexa/message.h"
#include "vexa/settings.h"
#include "vexa/utils.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textfile.h"
#include "xqwidgets/xqeditor/textfolding.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"
#include "xqwidgets/xqtools/md5sum.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGridLayout>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>

namespace vexa
{

namespace
{
const char* const foldingKey = "/editors/folding/";
// The defaults of the two options whose first stored value the dialog would
// otherwise show differently from what is in force: one value each, in
// force at start and shown by the dialog.
const bool lineNumberMarginDefault = true;
const char* const fontDefault = "Fixed [Misc],14,-1,5,50,0,0,0,1,0";

// A font that exists here: the stored families rarely do any more, and the
// platform's substitute for an unknown family may be a proportional one.
QFont usableFont(const QString& text)
{
    QFont f;
    f.fromString(text);
    // A size no one can use (a hand-edited 100000 pt blanks the text) is
    // the default font's.
    if (!Utils::hasUsableSize(f))
        f.fromString(QStringLiteral("Luxi Mono [Xqc],11,-1,5,50,0,0,0,0,0"));
    if (!QFontDatabase::hasFamily(f.family()) || !QFontInfo(f).fixedPitch()) {
        const QFont stored = f;
        f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        if (stored.pointSize() > 0)
            f.setPointSize(stored.pointSize());
        else if (stored.pixelSize() > 0)
            f.setPixelSize(stored.pixelSize());
    }
    return f;
}

int tabWidthSetting()
{
    // A width stored before the dialog refused bad ones is brought into the
    // range the documents use.
    return qBound(1, Settings::readNum(QStringLiteral("/xqeditor/TabWidth"), 4), 16);
}
} // namespace

class XQEditor::Private
{
public:
    static xqwidgets::TextEditorManager* manager;

    xqwidgets::TextEditor* editor = nullptr;
    xqwidgets::TextDocument* document = nullptr;
    int traceLine = -1;
    QString errorString;

    bool hasLine(int l) const { return l >= 0 && l <= document->lastLine(); }
};

xqwidgets::TextEditorManager* XQEditor::Private::manager = nullptr;

XQEditor::XQEditor(QWidget* parent, const char* name) : Editor(parent, name), d(new Private)
{
    xqwidgets::TextEditorManager* m = manager();
    m->setGlobalConfig(Settings::self());
    d->document = new xqwidgets::TextDocument(m);
    d->editor = new xqwidgets::TextEditor(d->document, this);
    m->addEditor(d->editor, d->document);
    // An untitled editor is highlighted as a Python file would be.
    d->editor->view()->setHighlightByFileName(QStringLiteral("a.py"));

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(d->editor, 0, 0);
    setFocusProxy(d->editor->view());

    connect(d->editor, &xqwidgets::TextEditor::changed, this, &XQEditor::changedStatus);
    // Told once the key or command that asked for the change has returned.
    connect(
        d->document, &xqwidgets::TextDocument::outOfMemory, this,
        [] {
            Message::warning(tr("Error"),
                             tr("Not enough memory: the change was not made. The text is as it "
                                "was before it."),
                             tr("Ok"));
        },
        Qt::QueuedConnection);
    connect(d->editor->view(), &xqwidgets::TextView::focusChanged, this, &Editor::focusChanged);
    connect(m, &xqwidgets::TextEditorManager::overwriteModeChanged, this,
            &XQEditor::managerOverwriteModeChanged);

    if (QMenu* menu = d->editor->view()->rmbMenu()) {
        for (const char* n : {"Editors/undo", "Editors/redo", "-", "Editors/cut", "Editors/copy",
                              "Editors/paste", "-", "Editors/indent", "Editors/unindent"}) {
            if (qstrcmp(n, "-") == 0)
                menu->addSeparator();
            else if (Action* a = Actions::action(QLatin1String(n)))
                menu->addAction(a);
        }
    }
}

XQEditor::~XQEditor()
{
    // The frame and its view die with this widget's children, after this
    // object has stopped being an editor: nothing they signal may reach it.
    d->editor->disconnect(this);
    d->editor->view()->disconnect(this);
    QString state;
    for (const xqwidgets::FolderInfo& f : d->editor->folding()->foldersState())
        state += QString::number(f.firstLine) + QLatin1Char(' ') + QString::number(f.lastLine) +
                 (f.isOpened ? QLatin1String(" o;") : QLatin1String(" c;"));
    const QString path = d->editor->filePath();
    // Even an empty state is written: it replaces folds that are gone.
    if (!path.isEmpty())
        Settings::write(QLatin1String(foldingKey) + xqwidgets::md5sum(path), state);
    delete d;
}

xqwidgets::TextEditorManager* XQEditor::manager()
{
    if (!Private::manager) {
        Private::manager = new xqwidgets::TextEditorManager();
        loadConfig();
    }
    return Private::manager;
}

void XQEditor::loadConfig()
{
    xqwidgets::TextEditorManager* m = manager();
    m->setGlobalConfig(Settings::self());
    m->setHlSettingsKey(Settings::keyPrefix() + QStringLiteral("/xqeditor/hl"));
    auto flag = [](const char* key, bool def) {
        return Settings::readBool(QLatin1String("/xqeditor/") + QLatin1String(key), def);
    };
    m->fAutoIndent = flag("AutoIndent", true);
    m->fBackspaceIndent = flag("BackspaceIndent", true);
    m->fSmartHome = flag("SmartHome", true);
    m->fCursorWrap = flag("WrapCursor", true);
    m->fSaveTab = !flag("ReplaceTabs", true);
    m->fRemoveSpaces = flag("RemoveSpacer", false);
    m->fLineWrap = flag("WordWrap", true);
    m->fIndentationGuides = false;
    m->setIndicatorMarginVisible(flag("IndicatorMargin", true));
    m->setLineNumberMarginVisible(flag("LineNumberMargin", lineNumberMarginDefault));
    m->setSelectionMarginVisible(flag("SelectionMargin", false));
    m->setVerticalSelection(flag("VerticalSelection", false));
    m->setTabWidth(tabWidthSetting());
    m->setFont(
        usableFont(Settings::read(QStringLiteral("/xqeditor/Font"), QLatin1String(fontDefault))));
    m->currentLineColor = QColor(QStringLiteral("#efefff"));
}

xqwidgets::TextEditor* XQEditor::textEditor() const
{
    return d->editor;
}

int XQEditor::traceLine() const
{
    return d->traceLine;
}

QString XQEditor::text()
{
    return d->editor->text();
}

void XQEditor::setText(const QString& text)
{
    d->editor->setText(text);
}

QString XQEditor::line(int l)
{
    // The document answers a line it does not have with its first one.
    return d->hasLine(l) ? QString(*d->document->lineOf(l)) : QString();
}

QString XQEditor::selection()
{
    return d->editor->getSelectedText();
}

bool XQEditor::open(const QString& url)
{
    d->errorString.clear();
    if (!QFileInfo::exists(url)) {
        d->errorString = tr("The file does not exist.");
        Message::warning(tr("Error"), tr("Can not open file\n") + url + QLatin1Char('\n'),
                         tr("Ok"));
        return false;
    }
    // The editor holds a file in a few times its size of memory: past this
    // size the user decides whether the machine can take it.
    constexpr qint64 largeFile = qint64(1) << 30;
    const qint64 size = QFileInfo(url).size();
    if (size > largeFile &&
        Message::warning(tr("Warning"),
                         tr("The file\n%1\nis %2 large. The editor needs several times as much "
                            "memory to hold it, and working on it may be slow.\n"
                            "Open it anyway?")
                             .arg(url, Utils::humanReadableSize(quint64(size))),
                         QMessageBox::Yes,
                         QMessageBox::No | QMessageBox::Default | QMessageBox::Escape) !=
            QMessageBox::Yes) {
        d->errorString = tr("The file is too large.");
        return false;
    }
    if (!d->editor->open(url)) {
        // A file that is there but cannot be read is reported as well, with
        // the reason; the editor keeps its former name and text.
        d->errorString = d->editor->errorString();
        Message::warning(tr("Error"),
                         tr("Can not open file\n") + url + QLatin1Char('\n') + d->errorString,
                         tr("Ok"));
        return false;
    }
    setFileName(url);
    Q_EMIT fileLoaded();

    const QString state = Settings::read(
        QLatin1String(foldingKey) + xqwidgets::md5sum(d->editor->filePath()), QString());
    static const QRegularExpression entry(QStringLiteral("(\\d+) (\\d+) (o|c)"));
    xqwidgets::TextFolding::FoldersState folds;
    for (const QString& piece : state.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = entry.match(piece);
        if (!m.hasMatch()) {
            qDebug().noquote() << QStringLiteral("folders state is not correct\n") + piece;
            continue;
        }
        // A number too large for a line would read as 0: the entry is
        // skipped, like one for lines the file no longer has.
        xqwidgets::FolderInfo f;
        bool firstOk = false;
        bool lastOk = false;
        f.firstLine = m.captured(1).toInt(&firstOk);
        f.lastLine = m.captured(2).toInt(&lastOk);
        f.isOpened = m.captured(3) == QLatin1String("o");
        if (firstOk && lastOk)
            folds.append(f);
    }
    // Folds stored for a longer version of the file are skipped by the
    // component, which touches no line the document does not have.
    d->editor->folding()->setFolderstState(folds);

    // A save in place that did not finish left the file's former bytes
    // in a copy: the user learns of it whenever the file is opened.
    const QStringList copies = xqwidgets::TextFile::savedCopies(url);
    if (!copies.isEmpty())
        Message::warning(tr("Warning"),
                         tr("A save of\n%1\ndid not finish. The content the file had before "
                            "is kept in\n%2\nCompare it with the file, and remove it when it "
                            "is no longer needed.")
                             .arg(url, copies.join(QLatin1Char('\n'))),
                         tr("Ok"));

    if (d->editor->hasInvalidBytes())
        Message::warning(tr("Warning"),
                         tr("The file\n%1\nholds bytes that the locale's encoding cannot "
                            "decode.\nIt is opened read-only, so that saving cannot destroy them.")
                             .arg(url),
                         tr("Ok"));
    return true;
}

bool XQEditor::changedOnDisk()
{
    return d->editor->changedOnDisk();
}

bool XQEditor::save()
{
    const bool ok = d->editor->save();
    d->errorString = ok ? QString() : d->editor->errorString();
    if (!ok && d->errorString.isEmpty()) {
        if (d->editor->filePath().isEmpty())
            d->errorString = tr("The editor has no file name.");
        else if (d->editor->isReadOnly())
            d->errorString = tr("The document is read-only.");
    }
    return ok;
}

bool XQEditor::saveAs(const QString& url)
{
    const QString former = d->editor->filePath();
    const bool ok = d->editor->saveAs(url);
    d->errorString = ok ? QString() : d->editor->errorString();
    if (!ok) {
        if (d->errorString.isEmpty() && d->editor->isReadOnly())
            d->errorString = tr("The document is read-only.");
        // The editor stays the editor of its former file.
        if (d->editor->filePath() != former)
            d->editor->setFilePath(former);
        return false;
    }
    setFileName(url);
    return true;
}

QString XQEditor::errorString()
{
    return d->errorString;
}

qint64 XQEditor::changeCount()
{
    return qint64(d->document->revision());
}

int XQEditor::lineCount()
{
    return d->document->lastLine() + 1;
}

QList<QString> XQEditor::lines(int from, int count)
{
    from = qMax(from, 0);
    const int end = qMin(d->document->lastLine() + 1, from + qMax(count, 0));
    QList<QString> some;
    some.reserve(qMax(end - from, 0));
    for (int l = from; l < end; ++l)
        some.append(*d->document->lineOf(l));
    return some;
}

void XQEditor::undo()
{
    d->editor->undo();
}

void XQEditor::redo()
{
    d->editor->redo();
}

void XQEditor::cut()
{
    d->editor->cut();
}

void XQEditor::copy()
{
    d->editor->copy();
}

void XQEditor::paste()
{
    d->editor->paste();
}

bool XQEditor::find(const QString& text, bool caseSensitive, bool wholeWord, bool fromCursor,
                    bool inSelection)
{
    return d->editor->find(text, caseSensitive, wholeWord, fromCursor, inSelection);
}

bool XQEditor::findRegexp(const QString& pattern, bool caseSensitive, bool wildcard,
                          bool fromCursor)
{
    return d->editor->findRegexp(pattern, caseSensitive, wildcard, fromCursor);
}

void XQEditor::replaceFound(const QString& text)
{
    // A document shown read-only (its bytes did not decode) is never changed.
    if (d->document->isReadOnly())
        return;
    // The text goes where the match began and the caret after it, whether or
    // not the view has the focus (removing the selection leaves the caret at
    // the match's end, and without the focus inserting does not move it).
    xqwidgets::TextView* view = d->editor->view();
    int line = view->cursor()->line();
    int col = view->cursor()->column();
    d->document->edit([&] {
        d->document->macroBegin(QStringLiteral("replace"));
        if (view->hasSelection()) {
            const QPoint start = view->selection().topLeft();
            line = start.y();
            col = start.x();
            d->document->selectionCommand(xqwidgets::TextDocument::SelectionRemove);
        }
        view->setCursorPosition(line, col, false);
        // What follows the insertion point stays at the end of the last line.
        const qsizetype tail = d->document->lineOf(line)->size() - col;
        const int lines = d->document->lastLine();
        d->document->insert(text, line, col);
        const int end = line + d->document->lastLine() - lines;
        view->setCursorPosition(end, int(d->document->lineOf(end)->size() - tail), false);
        d->document->macroEnd();
    });
}

int XQEditor::replaceAll(const QString& text, const QString& replacement, bool caseSensitive,
                         bool wholeWord, bool regExp, bool inSelection)
{
    // The component's replace-all records the whole run as one compact
    // command; it leaves a read-only document alone.
    if (regExp)
        return d->editor->replaceAllRegexp(text, replacement, caseSensitive, true);
    return d->editor->replaceAll(text, replacement, caseSensitive, wholeWord, inSelection,
                                 !inSelection);
}

bool XQEditor::searchStopped()
{
    return d->editor->lastSearchOutcome().stopped;
}

QList<int> XQEditor::unsearchedLines()
{
    return d->editor->lastSearchOutcome().undecided;
}

// A read-only document takes no edits, and so no group either.
void XQEditor::beginUndoGroup()
{
    if (!d->document->isReadOnly())
        d->document->macroBegin(QStringLiteral("replace"));
}

void XQEditor::endUndoGroup()
{
    if (d->document->isReadOnly())
        return;
    // Closing the group leaves the caret and the selection as they were,
    // the selection anchored at its end away from the caret, so that
    // extending it goes on from where the user left it.
    xqwidgets::TextView* view = d->editor->view();
    const bool selected = view->hasSelection();
    const QRect selection = view->selection();
    const int line = view->cursor()->line();
    const int col = view->cursor()->column();
    d->document->macroEnd();
    view->setCursorPosition(line, col, false);
    if (!selected)
        return;
    if (QPoint(col, line) == selection.topLeft())
        view->setSelection(selection.bottomRight(), selection.topLeft());
    else
        view->setSelection(selection.topLeft(), selection.bottomRight());
}

bool XQEditor::selectionRange(int* line1, int* col1, int* line2, int* col2)
{
    xqwidgets::TextView* view = d->editor->view();
    if (!view->hasSelection())
        return Editor::selectionRange(line1, col1, line2, col2);
    const QRect r = view->selection();
    *line1 = r.top();
    *col1 = r.left();
    *line2 = r.bottom();
    *col2 = r.right();
    return true;
}

void XQEditor::setSelection(int line1, int col1, int line2, int col2)
{
    d->editor->view()->setSelection(QPoint(col1, line1), QPoint(col2, line2));
}

bool XQEditor::findNext()
{
    return d->editor->findNext();
}

void XQEditor::setWrap(bool b)
{
    d->editor->setWrap(b);
}

bool XQEditor::getWrap()
{
    return d->editor->getWrap();
}

void XQEditor::selectAll()
{
    xqwidgets::TextView* v = d->editor->view();
    v->setCursorPosition(0, 0, false);
    v->setCursorPosition(d->document->lastLine() + 1, 0, true);
}

void XQEditor::indent()
{
    d->editor->indent();
}

void XQEditor::unindent()
{
    d->editor->unindent();
}

void XQEditor::configure()
{
    auto* form = new XQEditorSettingsDialog(this);
    auto flag = [](const char* key, bool def) {
        return Settings::readBool(QLatin1String("/xqeditor/") + QLatin1String(key), def);
    };
    form->bAutoIndent->setChecked(flag("AutoIndent", true));
    form->bBackSpaceIndent->setChecked(flag("BackspaceIndent", true));
    form->bSmartHome->setChecked(flag("SmartHome", true));
    form->bWrapCursor->setChecked(flag("WrapCursor", true));
    form->bReplaceTabs->setChecked(flag("ReplaceTabs", true));
    form->bRemoveSpacer->setChecked(flag("RemoveSpacer", false));
    form->bIndicatorMargin->setChecked(flag("IndicatorMargin", true));
    form->bLineNumberMargin->setChecked(flag("LineNumberMargin", lineNumberMarginDefault));
    form->bSelectionMargin->setChecked(flag("SelectionMargin", false));
    form->bVerticalSelection->setChecked(flag("VerticalSelection", false));
    form->lTabWidth->setText(QString::number(tabWidthSetting()));
    form->bWordWrap->setChecked(flag("WordWrap", true));
    form->bIndentationGuides->setChecked(false);
    form->bIndentationGuides->hide();
    form->fontViewLabel->setFont(
        usableFont(Settings::read(QStringLiteral("/xqeditor/Font"), QLatin1String(fontDefault))));

    if (form->exec() == QDialog::Accepted) {
        auto write = [](const char* key, bool v) {
            Settings::write(QLatin1String("/xqeditor/") + QLatin1String(key), v);
        };
        write("AutoIndent", form->bAutoIndent->isChecked());
        write("BackspaceIndent", form->bBackSpaceIndent->isChecked());
        write("SmartHome", form->bSmartHome->isChecked());
        write("WrapCursor", form->bWrapCursor->isChecked());
        write("ReplaceTabs", form->bReplaceTabs->isChecked());
        write("RemoveSpacer", form->bRemoveSpacer->isChecked());
        write("IndicatorMargin", form->bIndicatorMargin->isChecked());
        write("LineNumberMargin", form->bLineNumberMargin->isChecked());
        write("SelectionMargin", form->bSelectionMargin->isChecked());
        write("VerticalSelection", form->bVerticalSelection->isChecked());
        // The form accepts only a width from 1 to 16.
        Settings::write(QStringLiteral("/xqeditor/TabWidth"), form->tabWidth());
        write("WordWrap", form->bWordWrap->isChecked());
        write("IndentationGuides", form->bIndentationGuides->isChecked());
        const QFont font = form->fontViewLabel->font();
        Settings::write(QStringLiteral("/xqeditor/Font"), font.toString());
        manager()->setFont(font);
        loadConfig();
        d->editor->update();
    }
    delete form;
}

void XQEditor::configureHighlighting()
{
    manager()->setGlobalConfig(Settings::self());
    HLOptions dlg(manager(), this, "options", true);
    dlg.exec();
}

QString XQEditor::filename()
{
    return d->editor->filePath();
}

void XQEditor::setFileName(const QString& name)
{
    d->editor->setFilePath(name);
    Q_EMIT filenameChanged(name);
}

bool XQEditor::isModified()
{
    return d->editor->isModified();
}

bool XQEditor::isReadOnly()
{
    return d->editor->isReadOnly();
}

int XQEditor::cursorLine()
{
    return d->editor->line();
}

int XQEditor::cursorColumn()
{
    return d->editor->column();
}

void XQEditor::setCursorPosition(int line, int column)
{
    // The place comes from stored sessions and other programs' output: it
    // is brought into the document first (a column past the line's end
    // would fill the line with blanks at the first keystroke).
    line = qBound(0, line, d->document->lastLine());
    column = qBound(0, column, int(d->document->lineOf(line)->size()));
    // Passing beyond the target both ways leaves up to ten lines of context
    // on either side of it on screen.
    xqwidgets::TextView* v = d->editor->view();
    v->setCursorPosition(qMin(line, d->document->lastLine() - 10) + 10, column, false);
    v->setCursorPosition(qMax(line, 10) - 10, column, false);
    v->setCursorPosition(line, column, false);
}

void XQEditor::setHighlightedLine(int, const QColor&) {}

void XQEditor::clearHighlightedLine(int) {}

void XQEditor::setLineIcon(int line, QPixmap* pixmap)
{
    d->editor->setLineIcon(line, pixmap);
}

void XQEditor::clearLineIcon(int line)
{
    d->editor->clearLineIcon(line);
}

void XQEditor::showTrace(int line)
{
    // A line the document does not have would colour its first line.
    if (!d->hasLine(line))
        return;
    if (d->traceLine != -1 && d->hasLine(d->traceLine))
        d->document->lineOf(d->traceLine)->clearLineColor();
    d->traceLine = line;
    d->document->lineOf(line)->setLineColor(QColor(QStringLiteral("#bfffbf")));
    d->editor->view()->update();
}

void XQEditor::clearTrace()
{
    if (d->traceLine == -1)
        return;
    if (d->hasLine(d->traceLine))
        d->document->lineOf(d->traceLine)->clearLineColor();
    d->editor->view()->update();
    d->traceLine = -1;
}

bool XQEditor::replaceTabs()
{
    return !manager()->fSaveTab;
}

int XQEditor::tabWidthInSpaces()
{
    return tabWidthSetting();
}

// The component does not complete words yet; the commands do nothing until it does.
void XQEditor::completeWordNext()
{
    d->editor->completeWordNext();
}

void XQEditor::completeWordPrev()
{
    d->editor->completeWordPrev();
}

void XQEditor::addCompletionList(const QStringList& words, int minimumMatchedLength)
{
    manager()->addCompletionList(words, minimumMatchedLength);
}

void XQEditor::changedStatus(int id)
{
    if (id == xqwidgets::TextEditor::Modification)
        Q_EMIT modificationStatusChanged(isModified());
    else if (id == xqwidgets::TextEditor::CursorPosition)
        Q_EMIT lineColChanged(d->editor->line(), d->editor->column());
}

void XQEditor::managerOverwriteModeChanged()
{
    Q_EMIT overwriteModeChanged(manager()->overwriteMode());
}

QString XQEditorFactory::name()
{
    return QStringLiteral("XQEditor");
}

Editor* XQEditorFactory::createEditor(QWidget* parent)
{
    return new XQEditor(parent, "XQEditor");
}

} // namespace vexa

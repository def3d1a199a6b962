#include "xqwidgets/xqeditor/textmanager.h"

#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPrintDialog>
#include <QPrinter>

namespace xqwidgets
{

FontData::~FontData()
{
    delete fm;
    delete font;
}

void FontData::set(const QFont& f, bool bold, bool italic)
{
    delete fm;
    delete font;
    font = new QFont(f);
    font->setBold(bold);
    font->setItalic(italic);
    fm = new QFontMetrics(*font);
    forgetAdvances();
    width = fm->horizontalAdvance(QLatin1Char('W'));
    if (width != fm->horizontalAdvance(QLatin1Char('i')))
        width = -1;
}

class TextEditorManager::Private
{
public:
    QList<TextEditor*> editors;
    QList<TextDocument*> documents;
    QFont fnt;
    FontData fonts[4];
    int tabWidth = 8;
    QString resourceDir;
    QString localResourceDir;
    QMap<int, QStringList> addedCompleteWords;
    QSettings* config = nullptr;
    QPrinter* printer = nullptr;
    int printWidth = 0;
};

TextEditorManager::TextEditorManager() : QObject(nullptr), d(new Private)
{
    setFont(QFont());
    d->tabWidth = 8;
    d->config = nullptr;
    // The print area is computed when the printer is first made.
    d->resourceDir = qEnvironmentVariableIsSet("QTDIR") ? qEnvironmentVariable("QTDIR") : QString();
    if (d->resourceDir.isEmpty())
        d->resourceDir = QString();
}

TextEditorManager::~TextEditorManager()
{
    delete d->printer;
    delete d;
}

QPrinter* TextEditorManager::printer()
{
    if (!d->printer) {
        d->printer = new QPrinter(QPrinter::ScreenResolution);
        computePrintArea();
    }
    return d->printer;
}

int TextEditorManager::printWidth()
{
    printer();
    return d->printWidth;
}

void TextEditorManager::computePrintArea()
{
    QPrinter* p = d->printer;
    const int dpiX = p->logicalDpiX();
    const int W = p->width();
    d->printWidth = W - (margins.x() + margins.width()) * dpiX / 72;
}

void TextEditorManager::addDocument(TextDocument* doc)
{
    connect(doc, &QObject::destroyed, this, &TextEditorManager::docDestroyed);
    d->documents.append(doc);
}

QList<TextDocument*> TextEditorManager::documents() const
{
    return d->documents;
}

QList<TextEditor*> TextEditorManager::editors() const
{
    return d->editors;
}

void TextEditorManager::docDestroyed(QObject* doc)
{
    for (qsizetype i = 0; i < d->documents.size(); ++i) {
        if (static_cast<QObject*>(d->documents.at(i)) == doc) {
            d->documents.removeAt(i);
            return;
        }
    }
}

void TextEditorManager::editorDestroyed(QObject* editor)
{
    for (qsizetype i = 0; i < d->editors.size(); ++i) {
        if (reinterpret_cast<QObject*>(d->editors.at(i)) == editor) {
            d->editors.removeAt(i);
            return;
        }
    }
}

QString TextEditorManager::resourcesDir() const
{
    return d->resourceDir;
}

void TextEditorManager::setResourcesDir(const QString& dir)
{
    d->resourceDir = dir;
}

QString TextEditorManager::localResourcesDir() const
{
    if (!d->localResourceDir.isEmpty())
        return d->localResourceDir;
    return d->resourceDir + QStringLiteral("/local/");
}

void TextEditorManager::setLocalResourcesDir(const QString& dir)
{
    d->localResourceDir = dir;
}

void TextEditorManager::setHlSettingsKey(const QString& key)
{
    hlSettings = key;
}

void TextEditorManager::setGlobalConfig(QSettings* config)
{
    d->config = config;
}

QSettings* TextEditorManager::globalConfig() const
{
    return d->config;
}

void TextEditorManager::setFont(const QFont& f)
{
    d->fonts[0].set(f, false, false);
    d->fonts[1].set(f, false, true);
    d->fonts[2].set(f, true, false);
    d->fonts[3].set(f, true, true);
    // The layout puts every character of a fixed-pitch font in a cell of
    // whole pixels, the regular face's advance rounded. The faces draw with
    // fractional advances (a 14 pt face is 11.24 pixels wide): their letter
    // spacing makes each glyph advance exactly one cell, so a run of text
    // ends where the next one is placed, in every face.
    const QFontMetricsF regular(*d->fonts[0].font);
    const qreal advance = regular.horizontalAdvance(QLatin1Char('W'));
    if (d->fonts[0].width >= 0 && advance == regular.horizontalAdvance(QLatin1Char('i'))) {
        const int cell = qMax(1, qRound(advance));
        for (FontData& face : d->fonts) {
            const QFontMetricsF fm(*face.font);
            if (fm.horizontalAdvance(QLatin1Char('W')) != fm.horizontalAdvance(QLatin1Char('i')))
                continue;
            face.font->setLetterSpacing(QFont::AbsoluteSpacing,
                                        cell - fm.horizontalAdvance(QLatin1Char('W')));
            delete face.fm;
            face.fm = new QFontMetrics(*face.font);
            face.forgetAdvances();
            face.width = cell;
        }
    }
    d->fnt = f;
    for (TextDocument* doc : std::as_const(d->documents))
        doc->updateFontData();
}

const QFont& TextEditorManager::font() const
{
    return d->fnt;
}

static int fontIndex(int type)
{
    return qBound(0, type, 3);
}

const QFont& TextEditorManager::font(int type) const
{
    return *d->fonts[fontIndex(type)].font;
}

const FontData& TextEditorManager::fontData(int type) const
{
    return d->fonts[fontIndex(type)];
}

int TextEditorManager::width(int type, const QChar& c) const
{
    const FontData& f = d->fonts[fontIndex(type)];
    if (f.width >= 0)
        return f.width;
    const char16_t u = c.unicode();
    if (u >= 128)
        return f.fm->horizontalAdvance(c);
    if (f.ascii[u] < 0)
        f.ascii[u] = qint16(f.fm->horizontalAdvance(c));
    return f.ascii[u];
}

int TextEditorManager::width(int type, const QString& s) const
{
    const FontData& f = d->fonts[fontIndex(type)];
    return f.width >= 0 ? int(s.size()) * f.width : f.fm->horizontalAdvance(s);
}

int TextEditorManager::tabWidth() const
{
    return d->tabWidth;
}

void TextEditorManager::setMargins(const QRect& r)
{
    margins = r;
    printer(); // makes the printer and computes the area on first use
    computePrintArea();
    for (TextDocument* doc : std::as_const(d->documents)) {
        doc->tagAll();
        doc->updateViews();
    }
}

bool TextEditorManager::setupPrinter()
{
    QPrintDialog dialog(printer());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    setMargins(margins);
    return true;
}

void TextEditorManager::addCompletionList(const QStringList& words, int key)
{
    auto it = d->addedCompleteWords.find(key);
    if (it == d->addedCompleteWords.end())
        d->addedCompleteWords.insert(key, words);
    else
        it.value() += words;
}

QMap<int, QStringList> TextEditorManager::addedCompleteWords() const
{
    return d->addedCompleteWords;
}

void TextEditorManager::setOverwriteMode(bool on)
{
    fOvr = on;
    emit overwriteModeChanged();
}

void TextEditorManager::setIndicatorMarginVisible(bool on)
{
    fIndicatorMargin = on;
    updateMarginsOfEditors();
}

void TextEditorManager::setLineNumberMarginVisible(bool on)
{
    fLineNumberMargin = on;
    updateMarginsOfEditors();
}

void TextEditorManager::setSelectionMarginVisible(bool on)
{
    fSelectionMargin = on;
    updateMarginsOfEditors();
}

void TextEditorManager::setFoldingMarginVisible(bool on)
{
    fFoldingMargin = on;
    updateMarginsOfEditors();
}

void TextEditorManager::setVerticalSelection(bool on)
{
    fVerticalSelection = on;
    for (TextDocument* doc : std::as_const(d->documents)) {
        doc->tagAll();
        doc->updateViews();
    }
}

void TextEditorManager::setTabWidth(int width)
{
    // A width below 1 would reach a division in the tab arithmetic.
    d->tabWidth = qMax(1, width);
    for (TextDocument* doc : std::as_const(d->documents))
        doc->setSpacesInTab(width);
}

void TextEditorManager::setLineWrap(bool on)
{
    fLineWrap = on;
    for (TextDocument* doc : std::as_const(d->documents))
        doc->setWrap(on);
}

void TextEditorManager::updateMarginsOfEditors()
{
    for (TextEditor* editor : std::as_const(d->editors))
        editor->view()->updateMarginsState();
}

TextEditor* TextEditorManager::createEditor(QWidget* parent, TextDocument* doc, const char* name)
{
    if (!doc) {
        doc = new TextDocument(this);
        addDocument(doc);
    }
    auto* editor = new TextEditor(doc, parent, name);
    connect(editor, &QObject::destroyed, this, &TextEditorManager::editorDestroyed);
    d->editors.append(editor);
    return editor;
}

void TextEditorManager::addEditor(TextEditor* editor, TextDocument* doc)
{
    if (doc)
        addDocument(doc);
    connect(editor, &QObject::destroyed, this, &TextEditorManager::editorDestroyed);
    d->editors.append(editor);
}

void TextEditorManager::editorActivated(TextEditor* editor)
{
    emit activate(editor);
}

QStringList TextEditorManager::highlightsNames() const
{
    return TextHighlightManager::highlightNames(const_cast<TextEditorManager*>(this));
}

void TextEditorManager::updateHighlight()
{
    for (TextDocument* doc : std::as_const(d->documents)) {
        DocumentView* v = doc->activeView();
        auto* view = v ? qobject_cast<TextView*>(v->viewObject()) : nullptr;
        if (view && view->highlight())
            view->setHighlight(view->highlight()->name());
    }
}

} // namespace xqwidgets

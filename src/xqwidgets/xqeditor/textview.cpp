#include "xqwidgets/xqeditor/textview.h"

#include "xqwidgets/debuglog.h"
#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/editormargins.h"
#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview_p.h"

#include <QApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>

namespace xqwidgets
{

TextView::TextView(TextEditor* editor) : QWidget(editor), d(new Private)
{
    d->q = this;
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    selected = emptySelection();
    d->editor = editor;
    d->doc = editor->document();
    d->manager = d->doc->manager();
    d->cursor = new EditorCursor(this);
    d->vbar = new QScrollBar(Qt::Vertical, editor);
    d->hbar = new QScrollBar(Qt::Horizontal, editor);
    setHighlight(TextHighlightManager::highlight(d->manager, QString()));
    updateFontData();
    d->cursorLine = 0;

    setCursor(Qt::IBeamCursor);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    auto* grid = new QGridLayout(editor);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->setSpacing(0);
    d->indicatorMargin = new IndicatorMargin(editor, this);
    d->selectionMargin = new SelectionMargin(editor, this);
    d->lineNumberMargin = new LineNumberMargin(editor, this);
    d->foldingMargin = new FoldingMargin(editor, this);
    d->selectionMargin->hide();
    grid->addWidget(d->indicatorMargin, 0, 0);
    grid->addWidget(d->lineNumberMargin, 0, 1);
    grid->addWidget(d->foldingMargin, 0, 2);
    grid->addWidget(d->selectionMargin, 0, 3);
    grid->addWidget(this, 0, 4);
    grid->addWidget(d->vbar, 0, 5);
    grid->addWidget(d->hbar, 1, 0, 1, 5);
    grid->activate();

    connect(d->hbar, &QScrollBar::valueChanged, this, &TextView::hslide);
    connect(d->vbar, &QScrollBar::valueChanged, this, &TextView::vslide);
    connect(d->vbar, &QScrollBar::sliderReleased, this, [this] {
        d->geometryChanged = true;
        updateView(true);
    });

    updateMarginsState();
    d->doc->addView(this);
    d->doc->setActiveView(this);
    d->rmbMenu = new QMenu(this);
}

TextView::~TextView()
{
    d->doc->removeView(this);
    delete hl;
    hl = nullptr;
    delete d;
    d = nullptr;
}

TextEditor* TextView::editor() const
{
    return d->editor;
}

TextDocument* TextView::document() const
{
    return d->doc;
}

TextEditorManager* TextView::manager() const
{
    return d->manager;
}

EditorCursor* TextView::cursor() const
{
    return d->cursor;
}

QMenu* TextView::rmbMenu() const
{
    return d->rmbMenu;
}

TextHighlight* TextView::highlight() const
{
    return hl;
}

QScrollBar* TextView::horizontalScrollBar() const
{
    return d->hbar;
}

QScrollBar* TextView::verticalScrollBar() const
{
    return d->vbar;
}

IndicatorMargin* TextView::indicatorMargin() const
{
    return d->indicatorMargin;
}

SelectionMargin* TextView::selectionMargin() const
{
    return d->selectionMargin;
}

LineNumberMargin* TextView::lineNumberMargin() const
{
    return d->lineNumberMargin;
}

FoldingMargin* TextView::foldingMargin() const
{
    return d->foldingMargin;
}

void TextView::updateFontData()
{
    // The same top line stays on top; rows and wrap positions are measured
    // afresh, which every view needs, the hidden ones too.
    const int topKey = d->fontHeight > 0 ? d->yPos / d->fontHeight : 0;
    d->wrappedLinesCache.lines.clear();
    d->longLine = nullptr;
    d->geometryChanged = true;
    d->repaintAll = true;
    d->fontHeight = 0;
    d->fontAscent = 0;
    for (int type = 0; type < 4; ++type) {
        const QFontMetrics fm(d->manager->font(type));
        if (type == 0)
            d->spaceWidth = fm.horizontalAdvance(QLatin1Char(' '));
        d->fontAscent = qMax(d->fontAscent, fm.ascent());
        d->fontHeight = qMax(d->fontHeight, fm.height());
    }
    d->fontHeight = qMax(1, d->fontHeight);
    d->tabsWidth = d->doc->spacesInTab() * d->spaceWidth;
    d->yPos = topKey * d->fontHeight;
}

void TextView::updateMarginsState()
{
    d->indicatorMargin->setVisible(d->manager->isIndicatorMarginVisible());
    d->selectionMargin->setVisible(d->manager->isSelectionMarginVisible());
    d->lineNumberMargin->setVisible(d->manager->isLineNumberMarginVisible());
    d->foldingMargin->setVisible(d->manager->isFoldingMarginVisible());
}

void TextView::repaintMargins()
{
    d->indicatorMargin->update();
    d->selectionMargin->update();
    d->lineNumberMargin->update();
    d->foldingMargin->update();
}

void TextView::setHighlight(TextHighlight* h)
{
    TextHighlight* old = hl;
    hl = h;
    d->anyBackground = false;
    if (hl) {
        for (int id = 0; id < TextHighlight::MaxIds && !d->anyBackground; ++id) {
            const TextAttribute* a = hl->attribute(id);
            d->anyBackground = a && a->usebg;
        }
    }
    // Lines coloured by the old definition must be coloured again, and
    // every row painted with its colours.
    d->repaintAll = true;
    if (d->doc->views().contains(this)) {
        d->doc->updateLines();
        d->doc->updateViews();
    }
    delete old;
}

void TextView::setHighlight(const QString& name)
{
    setHighlight(TextHighlightManager::highlight(d->manager, name));
}

void TextView::setHighlightByFileName(const QString& fileName)
{
    setHighlight(TextHighlightManager::findHighlight(d->manager, fileName));
}

int TextView::lineHeight() const
{
    return d->fontHeight;
}

int TextView::fontHeight() const
{
    return d->fontHeight;
}

int TextView::fontAscent() const
{
    return d->fontAscent;
}

int TextView::linePosition(int key) const
{
    return key * d->fontHeight;
}

int TextView::spaceWidth() const
{
    return d->spaceWidth;
}

void TextView::setSpaceWidth(int w)
{
    d->spaceWidth = w;
}

int TextView::tabsWidth() const
{
    return d->tabsWidth;
}

void TextView::setTabsWidth(int w)
{
    d->tabsWidth = w;
}

// --- DocumentView -------------------------------------------------------------------

QObject* TextView::viewObject()
{
    return this;
}

int TextView::doHighlight(int context, TextLine* line)
{
    return hl->doHighlight(context, line);
}

void TextView::highlight(TextLine* line)
{
    hl->highlight(line);
}

void TextView::cursorPosition(int& line, int& column) const
{
    line = d->cursor->line();
    column = d->cursor->column();
}

void TextView::notifyChange(int changeId)
{
    d->editor->notifyChange(TextEditor::ChangeId(changeId));
}

void TextView::setCaret(int line, int column)
{
    d->cursor->set(line, column, true);
}

void TextView::updateContents()
{
    d->repaintAll = true;
    update();
    repaintMargins();
}

TextHighlight* TextView::highlighting() const
{
    return hl;
}

// --- Events -----------------------------------------------------------------------

bool TextView::event(QEvent* e)
{
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
            keyPressEvent(k);
            return true;
        }
    }
    return QWidget::event(e);
}

void TextView::keyPressEvent(QKeyEvent* e)
{
    // A key's edit that cannot get its memory is refused whole.
    d->doc->edit([&] { d->cursor->keyPressEvent(e); });
}

void TextView::focusInEvent(QFocusEvent*)
{
    updateView(true);
    d->cursor->activate();
    emit focusChanged(true);
}

void TextView::focusOutEvent(QFocusEvent*)
{
    d->cursor->deactivate();
    emit focusChanged(false);
}

void TextView::resizeEvent(QResizeEvent*)
{
    resizeBuffer();
    updateView(true);
    d->indicatorMargin->update();
    d->selectionMargin->update();
    d->lineNumberMargin->update();
    d->foldingMargin->update();
}

void TextView::wheelEvent(QWheelEvent* e)
{
    if (!d->doc->getWrap()) {
        QCoreApplication::sendEvent(d->vbar, e);
        return;
    }
    // With word wrap the wheel scrolls rows, so that a wrapped line taller
    // than the view can be read through.
    d->wheelDelta += e->angleDelta().y();
    const int notches = d->wheelDelta / 120;
    d->wheelDelta -= notches * 120;
    if (notches != 0)
        scrollRows(-notches * QApplication::wheelScrollLines());
    e->accept();
}

} // namespace xqwidgets

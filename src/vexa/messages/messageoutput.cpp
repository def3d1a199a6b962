#include "vexa/messages/messageoutput.h"

#include "vexa/actions.h"
#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/messages/messageitem.h"
#include "vexa/shell.h"
#include "vexa/utils.h"
#include "vexa/widgets/widgetstack.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QToolButton>

namespace vexa
{

namespace
{

// Draws message rows with their colour markup; other rows as the style does.
class MessageDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static MessageItem* messageItem(const QStyleOptionViewItem& option, const QModelIndex& index)
    {
        auto* list = qobject_cast<const QListWidget*>(option.widget);
        return list ? dynamic_cast<MessageItem*>(list->item(index.row())) : nullptr;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        MessageItem* item = messageItem(option, index);
        if (!item) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        // The style draws the row's panel (the selection band), the row its text.
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.text.clear();
        const QWidget* w = option.widget;
        QStyle* style = w ? w->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);

        painter->save();
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(QPalette::Normal, (opt.state & QStyle::State_Selected)
                                                                ? QPalette::HighlightedText
                                                                : QPalette::Text));
        painter->setClipRect(opt.rect);
        item->paint(painter, opt.rect);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        MessageItem* item = messageItem(option, index);
        if (!item)
            return QStyledItemDelegate::sizeHint(option, index);
        // As wide as the text without its tags, plus the left margin.
        return QSize(item->width(option.font) + 6, QFontMetrics(option.font).lineSpacing());
    }
};

// A Python traceback row: "  File "name", line 12, in ...". The name is
// between the first two double quotes; the line is the second comma field
// after its first five characters (" line"). False when the row is no such
// line or its line field is not a number.
bool tracebackLink(const QString& text, QString* file, int* line)
{
    if (!text.contains(QLatin1String("  File ")))
        return false;
    const QStringList fields = text.split(QLatin1Char(','));
    bool ok = false;
    const int number = fields.size() > 1 ? fields.at(1).mid(5).trimmed().toInt(&ok) : 0;
    if (!ok)
        return false;
    *file = text.section(QLatin1Char('"'), 1, 1);
    *line = number;
    return true;
}

} // namespace

class MessageOutput::Private
{
public:
    QToolButton* cleanButton = nullptr;
    unsigned int maxItems = 500;
    bool scrollPending = false;

    static MessageOutput* self;
};

MessageOutput* MessageOutput::Private::self = nullptr;

MessageOutput* MessageOutput::self()
{
    if (!Private::self)
        new MessageOutput(Shell::self());
    return Private::self;
}

MessageOutput::MessageOutput(QWidget* parent) : QListWidget(parent), d(new Private)
{
    Private::self = this;
    setLineWidth(1);

    // A selected row shows on a band of the Mid colour in the normal text colour.
    QPalette pal = palette();
    pal.setColor(QPalette::Highlight, pal.color(QPalette::Active, QPalette::Mid));
    pal.setColor(QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::Text));
    setPalette(pal);

    // Output never takes the keyboard from the editor.
    setFocusPolicy(Qt::NoFocus);
    setItemDelegate(new MessageDelegate(this));

    connect(this, &QListWidget::itemPressed, this, &MessageOutput::clickItem);
    connect(this, qOverload<const QString&, int>(&MessageOutput::clicked), this,
            &MessageOutput::openFile);

    setWindowIcon(Utils::iconSet(QStringLiteral("16x16_Messages")));

    // The clean button sits in the lower right corner of the rows' area, over
    // the list and clear of its scroll bars.
    d->cleanButton = new QToolButton(this);
    d->cleanButton->setAutoRaise(true);
    d->cleanButton->setIcon(Utils::iconSet(QStringLiteral("32x32_Clean")));
    d->cleanButton->setFocusPolicy(Qt::NoFocus);
    QPalette buttonPal = d->cleanButton->palette();
    buttonPal.setColor(QPalette::Button, pal.color(QPalette::Base));
    buttonPal.setColor(QPalette::Window, pal.color(QPalette::Base));
    d->cleanButton->setPalette(buttonPal);
    d->cleanButton->setAutoFillBackground(true);
    connect(d->cleanButton, &QToolButton::clicked, this, &QListWidget::clear);
    placeCleanButton();

    Shell* shell = Shell::self();
    Action* a = Actions::createAction(tr("Messages"), QStringLiteral("bottomDock/messages"),
                                      QKeySequence(Qt::CTRL | Qt::Key_M), this, SLOT(makeVisible()),
                                      QStringLiteral("16x16_Messages"),
                                      shell->actionGroup(QStringLiteral("docks/bottom")));
    a->setCheckable(true);
    a->addTo(shell->bottomDockTab());
    shell->bottomDock()->addWidget(this);
}

MessageOutput::~MessageOutput()
{
    if (Private::self == this)
        Private::self = nullptr;
    delete d;
}

unsigned int MessageOutput::maxItems() const
{
    return d->maxItems;
}

void MessageOutput::setMaxItems(unsigned int count)
{
    d->maxItems = count;
}

void MessageOutput::checkMaxItems()
{
    // A traceback row is linked when the row after it arrives; a row that
    // came with a file keeps its own link whatever its text shows.
    auto* last = dynamic_cast<MessageItem*>(item(count() - 1));
    if (last && last->fileName().isEmpty()) {
        QString file;
        int line = 0;
        if (tracebackLink(last->text(), &file, &line)) {
            last->setLine(line);
            last->setFileName(file);
        }
    }
    // Room for one more row, however low the limit was set meanwhile.
    while (count() > 0 && static_cast<unsigned int>(count()) >= d->maxItems)
        delete takeItem(0);
}

void MessageOutput::insertItem(const QString& text)
{
    checkMaxItems();
    new MessageItem(this, text, -1, QString());
    scrollToNewest();
}

void MessageOutput::insertItem(const QString& text, int line)
{
    checkMaxItems();
    auto* item = new MessageItem(this, text, -1, QString());
    item->setLine(line);
    scrollToNewest();
}

void MessageOutput::insertItem(const QString& text, int line, const QString& fname)
{
    checkMaxItems();
    auto* item = new MessageItem(this, text, -1, QString());
    item->setLine(line);
    item->setFileName(fname);
    scrollToNewest();
}

void MessageOutput::scrollToNewest()
{
    // Scrolling lays out every row first, so rows that arrive together (a
    // search sends hundreds between two turns of the event loop) scroll once,
    // when the loop next runs.
    if (d->scrollPending)
        return;
    d->scrollPending = true;
    QMetaObject::invokeMethod(
        this,
        [this]() {
            d->scrollPending = false;
            scrollToBottom();
        },
        Qt::QueuedConnection);
}

void MessageOutput::addToLastItem(const QString& text)
{
    auto* last = dynamic_cast<MessageItem*>(item(count() - 1));
    if (!last) {
        insertItem(text);
        return;
    }
    last->addText(text);
}

void MessageOutput::addToLastItem(const QString& text, int line, const QString& fname)
{
    auto* last = dynamic_cast<MessageItem*>(item(count() - 1));
    if (!last) {
        insertItem(text, line, fname);
        return;
    }
    last->addText(text);
    last->setLine(line);
    last->setFileName(fname);
}

void MessageOutput::showMessage(const QString& text)
{
    qsizetype from = 0;
    for (qsizetype lf = text.indexOf(QLatin1Char('\n')); lf >= 0;
         lf = text.indexOf(QLatin1Char('\n'), from)) {
        // Each line is judged on its own text: a traceback line links to
        // its own file and line, never to those of a later line.
        const QString current = text.mid(from, lf - from);
        QString file;
        int line = 0;
        if (tracebackLink(current, &file, &line))
            addToLastItem(current, line, file);
        else
            addToLastItem(current);
        insertItem(QString());
        from = lf + 1;
    }
    addToLastItem(text.mid(from));
    scrollToNewest();
}

void MessageOutput::openFile(const QString& file, int line)
{
    // The file opened to be worked on: the keys go to it, also when it took
    // the place of an empty untitled editor and so no new editor came up.
    if (Editor* e = Editors::self()->openEditor(file))
        e->showLine(qMax(0, line - 1));
}

void MessageOutput::makeVisible()
{
    Shell::self()->bottomDock()->raiseWidget(this);
}

void MessageOutput::clickItem(QListWidgetItem* item)
{
    auto* message = dynamic_cast<MessageItem*>(item);
    if (!message)
        return;
    const int line = message->line();
    if (line != -1)
        Q_EMIT clicked(message->fileName(), line);
}

bool MessageOutput::viewportEvent(QEvent* e)
{
    if (e->type() == QEvent::Resize)
        placeCleanButton();
    return QListWidget::viewportEvent(e);
}

void MessageOutput::placeCleanButton()
{
    const QRect area = viewport()->geometry();
    const QSize size = d->cleanButton->sizeHint();
    d->cleanButton->setGeometry(area.right() + 1 - size.width(), area.bottom() - size.height(),
                                size.width(), size.height());
    d->cleanButton->raise();
}

} // namespace vexa

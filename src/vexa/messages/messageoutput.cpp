#include "vexa/messages/messageoutput.h"

#include "vexa/actions.h"
#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/messages/messageitem.h"
#include "vexa/shell.h"
#include "vexa/utils.h"
#include "vexa/widgets/widgetstack.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QToolButton>

#include <deque>
#include <utility>

namespace vexa
{

namespace
{

// The rows the list shows, as plain data; a row's display text is worked
// out when the list asks for it, that is for the rows it draws.
class MessageModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    std::deque<MessageItem> rows;

    const MessageItem* row(const QModelIndex& index) const
    {
        if (index.model() != this || index.row() < 0 || size_t(index.row()) >= rows.size())
            return nullptr;
        return &rows[size_t(index.row())];
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(rows.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        const MessageItem* item = row(index);
        if (!item || role != Qt::DisplayRole)
            return QVariant();
        return item->text();
    }

    void removeFirst(int n)
    {
        beginRemoveRows(QModelIndex(), 0, n - 1);
        rows.erase(rows.begin(), rows.begin() + n);
        endRemoveRows();
    }

    void append(std::deque<MessageItem>& more)
    {
        const int first = int(rows.size());
        beginInsertRows(QModelIndex(), first, first + int(more.size()) - 1);
        std::move(more.begin(), more.end(), std::back_inserter(rows));
        more.clear();
        endInsertRows();
    }

    void clear()
    {
        beginResetModel();
        rows.clear();
        endResetModel();
    }

    void changed(int at) { Q_EMIT dataChanged(index(at), index(at)); }
};

// Draws message rows with their colour markup.
class MessageDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static const MessageItem* messageItem(const QModelIndex& index)
    {
        auto* model = dynamic_cast<const MessageModel*>(index.model());
        return model ? model->row(index) : nullptr;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const MessageItem* item = messageItem(index);
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
        const MessageItem* item = messageItem(index);
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
    MessageModel* model = nullptr;
    unsigned int maxItems = 500;
    // What happened since the list last took its rows: its first `dropped`
    // rows are gone, and the rows `waiting` follow the rest.
    int dropped = 0;
    std::deque<MessageItem> waiting;
    bool flushPending = false;

    int shown() const { return int(model->rows.size()) - dropped; }

    static MessageOutput* self;
};

MessageOutput* MessageOutput::Private::self = nullptr;

MessageOutput* MessageOutput::self()
{
    if (!Private::self)
        new MessageOutput(Shell::self());
    return Private::self;
}

MessageOutput::MessageOutput(QWidget* parent) : QListView(parent), d(new Private)
{
    Private::self = this;
    d->model = new MessageModel(this);
    setModel(d->model);
    setLineWidth(1);

    // A selected row shows on a band of the Mid colour in the normal text colour.
    QPalette pal = palette();
    pal.setColor(QPalette::Highlight, pal.color(QPalette::Active, QPalette::Mid));
    pal.setColor(QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::Text));
    setPalette(pal);

    // Output never takes the keyboard from the editor.
    setFocusPolicy(Qt::NoFocus);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new MessageDelegate(this));

    connect(this, &QAbstractItemView::pressed, this, &MessageOutput::clickItem);
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
    connect(d->cleanButton, &QToolButton::clicked, this, &MessageOutput::clear);
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

int MessageOutput::count() const
{
    return d->shown() + int(d->waiting.size());
}

MessageItem* MessageOutput::item(int row) const
{
    if (row < 0 || row >= count())
        return nullptr;
    if (row < d->shown())
        return &d->model->rows[size_t(d->dropped + row)];
    return &d->waiting[size_t(row - d->shown())];
}

MessageItem* MessageOutput::last() const
{
    return item(count() - 1);
}

void MessageOutput::dropFirst()
{
    if (d->shown() > 0) {
        ++d->dropped;
        scrollToNewest();
    } else {
        d->waiting.pop_front();
    }
}

void MessageOutput::checkMaxItems()
{
    // A traceback row is linked when the row after it arrives; a row that
    // came with a file keeps its own link whatever its text shows.
    MessageItem* lastRow = last();
    if (lastRow && lastRow->fileName().isEmpty()) {
        QString file;
        int line = 0;
        if (tracebackLink(lastRow->text(), &file, &line)) {
            lastRow->setLine(line);
            lastRow->setFileName(file);
        }
    }
    // Room for one more row, however low the limit was set meanwhile.
    while (count() > 0 && static_cast<unsigned int>(count()) >= d->maxItems)
        dropFirst();
}

void MessageOutput::insertItem(const QString& text)
{
    append(MessageItem(text));
}

void MessageOutput::insertItem(const QString& text, int line)
{
    MessageItem row(text);
    row.setLine(line);
    append(std::move(row));
}

void MessageOutput::insertItem(const QString& text, int line, const QString& fname)
{
    MessageItem row(text);
    row.setLine(line);
    row.setFileName(fname);
    append(std::move(row));
}

void MessageOutput::append(MessageItem&& row)
{
    checkMaxItems();
    d->waiting.push_back(std::move(row));
    scrollToNewest();
}

void MessageOutput::scrollToNewest()
{
    // Rows that arrive together (a search sends hundreds between two turns
    // of the event loop) go into the list and scroll it once, when the loop
    // next runs.
    if (d->flushPending)
        return;
    d->flushPending = true;
    QMetaObject::invokeMethod(this, &MessageOutput::flush, Qt::QueuedConnection);
}

void MessageOutput::flush()
{
    d->flushPending = false;
    if (d->dropped > 0)
        d->model->removeFirst(std::exchange(d->dropped, 0));
    if (!d->waiting.empty())
        d->model->append(d->waiting);
    scrollToBottom();
}

void MessageOutput::clear()
{
    d->waiting.clear();
    d->dropped = 0;
    d->model->clear();
}

void MessageOutput::addToLastItem(const QString& text)
{
    MessageItem* lastRow = last();
    if (!lastRow) {
        insertItem(text);
        return;
    }
    lastRow->addText(text);
    // A row the list shows already is drawn and measured again.
    if (d->waiting.empty())
        d->model->changed(int(d->model->rows.size()) - 1);
}

void MessageOutput::addToLastItem(const QString& text, int line, const QString& fname)
{
    MessageItem* lastRow = last();
    if (!lastRow) {
        insertItem(text, line, fname);
        return;
    }
    lastRow->addText(text);
    lastRow->setLine(line);
    lastRow->setFileName(fname);
    if (d->waiting.empty())
        d->model->changed(int(d->model->rows.size()) - 1);
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

void MessageOutput::clickItem(const QModelIndex& index)
{
    const MessageItem* message = d->model->row(index);
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
    return QListView::viewportEvent(e);
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

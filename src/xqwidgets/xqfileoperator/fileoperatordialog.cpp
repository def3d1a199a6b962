#include "xqwidgets/xqfileoperator/fileoperatordialog.h"

#include "ui_fileoperatordialogbase.h"
#include "xqwidgets/helpers.h"

#include <QApplication>
#include <QCloseEvent>
#include <QTimer>

#include <cmath>

namespace xqwidgets
{

FileOperatorDialogBase::FileOperatorDialogBase(QWidget* parent, const char* name,
                                               Qt::WindowFlags fl)
    : QWidget(parent, fl), m_form(new Ui::FileOperatorDialogBase)
{
    m_form->setupUi(this);
    setObjectName(name ? QString::fromLatin1(name) : QStringLiteral("FileOperatorDialogBase"));
    progressBar = m_form->progressBar;
    buttonAbort = m_form->buttonAbort;
    operationLabel = m_form->operationLabel;
    itemLabel = m_form->itemLabel;
    statusLabel = m_form->statusLabel;
    languageChange();
    resize(QSize(471, 117).expandedTo(minimumSizeHint()));
}

FileOperatorDialogBase::~FileOperatorDialogBase() = default;

void FileOperatorDialogBase::languageChange()
{
    m_form->retranslateUi(this);
}

class FileOperatorDialog::Private
{
public:
    qint64 items = 1;
    QString dest;
    QString opName = FileOperatorDialog::tr("Copying");
    QString itemName;
    quint64 bytes = 0;
    quint64 totalBytes = 1;
    QPointer<QWidget> mainWindow;
};

FileOperatorDialog::FileOperatorDialog() : d(new Private)
{
    connect(buttonAbort, &QPushButton::clicked, this, &FileOperatorDialog::abortPressed);
    move(50, 50);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &FileOperatorDialog::updateInfo);
    timer->start(100);
}

FileOperatorDialog::~FileOperatorDialog() = default;

void FileOperatorDialog::setMainWindow(QWidget* mainWindow)
{
    d->mainWindow = mainWindow;
}

void FileOperatorDialog::setItems(qint64 num)
{
    d->items = num;
}

void FileOperatorDialog::setDest(const QString& dest)
{
    d->dest = dest;
}

void FileOperatorDialog::setItemName(const QString& name)
{
    d->itemName = name;
}

void FileOperatorDialog::setOperationName(const QString& name)
{
    d->opName = name;
}

void FileOperatorDialog::setTotalSize(quint64 size)
{
    d->totalBytes = size ? size : 1;
}

void FileOperatorDialog::setCurrentSize(quint64 size)
{
    d->bytes = size;
}

void FileOperatorDialog::show()
{
    QWidget* main = d->mainWindow ? d->mainWindow.data() : QApplication::activeWindow();
    QPointer<QWidget> focused = QApplication::focusWidget();
    if (main && main != this) {
        const QRect m = main->geometry();
        setGeometry(m.x() + m.width() - width() - 50, m.y() + 50, width(), height());
    }
    setAttribute(Qt::WA_ShowWithoutActivating);
    QWidget::show();
    QCoreApplication::processEvents();
    if (focused) {
        focused->activateWindow();
        focused->setFocus();
        QCoreApplication::processEvents();
    }
}

void FileOperatorDialog::abortPressed()
{
    aborted = true;
}

void FileOperatorDialog::closeEvent(QCloseEvent* e)
{
    aborted = true;
    e->accept();
}

void FileOperatorDialog::updateInfo()
{
    operationLabel->setText(tr("%1 <b>%2</b> items to <b>%3</b>")
                                .arg(d->opName)
                                .arg(d->items)
                                .arg(d->dest.toHtmlEscaped()));
    // The bar's range is 0..100 and it ignores values outside it, so a count
    // above the total (a file that grew) shows as full instead of stalling.
    const double percent = std::trunc(double(d->bytes) * 100.0 / double(d->totalBytes));
    progressBar->setValue(int(qBound(0.0, percent, 100.0)));
    itemLabel->setText(tr("Item \"<b>%1</b>\"").arg(d->itemName.toHtmlEscaped()));
    statusLabel->setText(
        tr("Processed %1 of %2")
            .arg(Utils::humanReadableSize(d->bytes), Utils::humanReadableSize(d->totalBytes)));
}

} // namespace xqwidgets

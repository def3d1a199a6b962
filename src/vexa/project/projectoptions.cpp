// The project options dialog: a frame with OK and Cancel around the widget
// another subsystem hands over (the build runner's run and make commands).

#include "vexa/message.h"
#include "vexa/project/project.h"
#include "vexa/project/project_p.h"

#include "vexa/recentfiles.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/utils.h"

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpacerItem>

namespace vexa
{

void Project::setProjectOptionsWidget(QWidget* widget)
{
    d->optionsWidget = widget;
}

QWidget* Project::projectOptionsWidget() const
{
    return d->optionsWidget;
}

void Project::options()
{
    QWidget* widget = d->optionsWidget;
    if (!widget)
        return;
    if (!d->optionsDialog) {
        auto* dialog = new QDialog(Shell::self());
        d->optionsDialog = dialog;
        widget->setParent(dialog);
        widget->move(0, 0);
        auto* grid = new QGridLayout(dialog);
        grid->setContentsMargins(5, 5, 5, 5);
        grid->setSpacing(5);
        grid->addWidget(widget, 0, 0);
        auto* ok = new QPushButton(tr("&OK"), dialog);
        auto* cancel = new QPushButton(tr("&Cancel"), dialog);
        for (QPushButton* b : {ok, cancel}) {
            b->setAutoDefault(true);
            b->setShortcut(QKeySequence());
        }
        ok->setDefault(true);
        QWidget::setTabOrder(ok, cancel);
        auto* row = new QHBoxLayout;
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(6);
        row->addItem(new QSpacerItem(100, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
        row->addWidget(ok);
        row->addWidget(cancel);
        grid->addLayout(row, 1, 0);
        connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
        connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
        connect(this, SIGNAL(projectChanged()), widget, SLOT(loadSettings()));
        connect(ok, SIGNAL(clicked()), widget, SLOT(saveSettings()));
        dialog->resize(Utils::storedDialogSize(QStringLiteral("/geometry/projectOptionsDialog/w"),
                                               QStringLiteral("/geometry/projectOptionsDialog/h"),
                                               QSize(500, 300), dialog));
        dialog->setWindowTitle(widget->windowTitle());
        Q_EMIT projectChanged();
    } else {
        // Refilled before every showing: after another project was loaded
        // (which announces no change) the fields would hold the old values.
        QMetaObject::invokeMethod(widget, "loadSettings");
    }
    widget->show();
    Message::exec(*d->optionsDialog);
    if (!d->optionsDialog)
        return;
    Settings::write(QStringLiteral("/geometry/projectOptionsDialog/w"), d->optionsDialog->width());
    Settings::write(QStringLiteral("/geometry/projectOptionsDialog/h"), d->optionsDialog->height());
    updateProject();
    if (hasProject()) {
        RecentFiles::self()->removeRecentProject(d->filePath);
        RecentFiles::self()->addRecentProject(d->filePath, attribute(QStringLiteral("name")));
    }
    Q_EMIT projectChanged();
}

} // namespace vexa

#include "vexa/search/searchdialogs.h"

#include <QEvent>

namespace
{

// What every form does first: its object name (the class name when none is
// given), modality, widgets and texts.
template <class Dialog>
void setUp(Dialog* dialog, const char* name, const char* className, bool modal)
{
    dialog->setObjectName(QLatin1String(name ? name : className));
    dialog->setModal(modal);
    dialog->setupUi(dialog);
    dialog->resize(dialog->minimumSizeHint().expandedTo(dialog->size()));
}

template <class Dialog> void retranslateOnChange(Dialog* dialog, QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        dialog->retranslateUi(dialog);
}

} // namespace

FindDialog::FindDialog(QWidget* parent, const char* name, bool modal, Qt::WindowFlags fl)
    : QDialog(parent, fl)
{
    setUp(this, name, "FindDialog", modal);
}

void FindDialog::languageChange()
{
    retranslateUi(this);
}

void FindDialog::changeEvent(QEvent* e)
{
    retranslateOnChange(this, e);
    QDialog::changeEvent(e);
}

ReplaceDialog::ReplaceDialog(QWidget* parent, const char* name, bool modal, Qt::WindowFlags fl)
    : QDialog(parent, fl)
{
    setUp(this, name, "ReplaceDialog", modal);
}

void ReplaceDialog::languageChange()
{
    retranslateUi(this);
}

void ReplaceDialog::changeEvent(QEvent* e)
{
    retranslateOnChange(this, e);
    QDialog::changeEvent(e);
}

ReplaceAskDialog::ReplaceAskDialog(QWidget* parent, const char* name, bool modal,
                                   Qt::WindowFlags fl)
    : QDialog(parent, fl)
{
    setUp(this, name, "ReplaceAskDialog", modal);
    QPalette pal = labelText->palette();
    pal.setColor(QPalette::Window, QColor(242, 236, 200));
    pal.setColor(QPalette::WindowText, Qt::black);
    labelText->setPalette(pal);
    buttonYes->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Y));
    connect(buttonYes, &QPushButton::clicked, this, &ReplaceAskDialog::slotYes);
    connect(buttonNo, &QPushButton::clicked, this, &ReplaceAskDialog::slotNo);
    connect(buttonAll, &QPushButton::clicked, this, &ReplaceAskDialog::slotAll);
    connect(buttonCancel, &QPushButton::clicked, this, &ReplaceAskDialog::slotCancel);
}

void ReplaceAskDialog::slotCancel()
{
    done(Cancel);
}

void ReplaceAskDialog::slotAll()
{
    done(All);
}

void ReplaceAskDialog::slotNo()
{
    done(No);
}

void ReplaceAskDialog::slotYes()
{
    done(Yes);
}

void ReplaceAskDialog::languageChange()
{
    retranslateUi(this);
}

void ReplaceAskDialog::changeEvent(QEvent* e)
{
    retranslateOnChange(this, e);
    QDialog::changeEvent(e);
}

GotoLineDialog::GotoLineDialog(QWidget* parent, const char* name, bool modal, Qt::WindowFlags fl)
    : QDialog(parent, fl)
{
    setUp(this, name, "GotoLineDialog", modal);
}

void GotoLineDialog::languageChange()
{
    retranslateUi(this);
}

void GotoLineDialog::changeEvent(QEvent* e)
{
    retranslateOnChange(this, e);
    QDialog::changeEvent(e);
}

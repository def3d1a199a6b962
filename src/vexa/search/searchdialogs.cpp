#include "vexa/search/searchdialogs.h"

#include "ui_finddialog.h"
#include "ui_gotolinedialog.h"
#include "ui_replaceaskdialog.h"
#include "ui_replacedialog.h"

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace
{

// What every form does first: its object name (the class name when none is
// given), modality, widgets and texts.
template <class Form>
void setUp(QDialog* dialog, Form* form, const char* name, const char* className, bool modal)
{
    dialog->setObjectName(QLatin1String(name ? name : className));
    dialog->setModal(modal);
    form->setupUi(dialog);
    dialog->resize(dialog->minimumSizeHint().expandedTo(dialog->size()));
}

// Return in a search field presses the dialog's OK button. Left to the
// field, a Return while its whole text is selected (the text kept from the
// last search, selected so that typing replaces it) is taken by the field's
// inline completion as accepting a completion and never reaches the default
// button: a second Return was needed.
class ReturnPressesOk : public QObject
{
public:
    ReturnPressesOk(QComboBox* field, QPushButton* ok) : QObject(field), m_ok(ok)
    {
        field->lineEdit()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(e);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && m_ok->isEnabled()) {
                m_ok->click();
                return true;
            }
        }
        return QObject::eventFilter(watched, e);
    }

private:
    QPushButton* m_ok;
};

} // namespace

FindDialog::FindDialog(QWidget* parent, const char* name, bool modal, Qt::WindowFlags fl)
    : QDialog(parent, fl), m_form(new Ui::FindDialog)
{
    setUp(this, m_form.get(), name, "FindDialog", modal);
    FindDialogLayout = m_form->FindDialogLayout;
    TextLabel1 = m_form->TextLabel1;
    findString = m_form->findString;
    ButtonGroup1 = m_form->ButtonGroup1;
    ButtonGroup1Layout = m_form->ButtonGroup1Layout;
    caseSensitive = m_form->caseSensitive;
    wholeWordsOnly = m_form->wholeWordsOnly;
    fromCursor = m_form->fromCursor;
    inSelection = m_form->inSelection;
    regExp = m_form->regExp;
    stretch = m_form->stretch;
    buttonRow = m_form->buttonRow;
    buttonStretch = m_form->buttonStretch;
    buttonOk = m_form->buttonOk;
    buttonCancel = m_form->buttonCancel;
    new ReturnPressesOk(findString, buttonOk);
}

FindDialog::~FindDialog() = default;

void FindDialog::languageChange()
{
    m_form->retranslateUi(this);
}

void FindDialog::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(e);
}

ReplaceDialog::ReplaceDialog(QWidget* parent, const char* name, bool modal, Qt::WindowFlags fl)
    : QDialog(parent, fl), m_form(new Ui::ReplaceDialog)
{
    setUp(this, m_form.get(), name, "ReplaceDialog", modal);
    ReplaceDialogLayout = m_form->ReplaceDialogLayout;
    TextLabel1 = m_form->TextLabel1;
    findString = m_form->findString;
    TextLabel1_2 = m_form->TextLabel1_2;
    replaceString = m_form->replaceString;
    ButtonGroup1 = m_form->ButtonGroup1;
    ButtonGroup1Layout = m_form->ButtonGroup1Layout;
    caseSensitive = m_form->caseSensitive;
    inSelection = m_form->inSelection;
    wholeWordsOnly = m_form->wholeWordsOnly;
    fromCursor = m_form->fromCursor;
    regExp = m_form->regExp;
    groupStretch = m_form->groupStretch;
    replaceAll = m_form->replaceAll;
    stretch = m_form->stretch;
    buttonRow = m_form->buttonRow;
    buttonStretch = m_form->buttonStretch;
    buttonOk = m_form->buttonOk;
    buttonCancel = m_form->buttonCancel;
    new ReturnPressesOk(findString, buttonOk);
    new ReturnPressesOk(replaceString, buttonOk);
}

ReplaceDialog::~ReplaceDialog() = default;

void ReplaceDialog::languageChange()
{
    m_form->retranslateUi(this);
}

void ReplaceDialog::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(e);
}

ReplaceAskDialog::ReplaceAskDialog(QWidget* parent, const char* name, bool modal,
                                   Qt::WindowFlags fl)
    : QDialog(parent, fl), m_form(new Ui::ReplaceAskDialog)
{
    setUp(this, m_form.get(), name, "ReplaceAskDialog", modal);
    ReplaceAskDialogLayout = m_form->ReplaceAskDialogLayout;
    TextLabel2 = m_form->TextLabel2;
    labelText = m_form->labelText;
    stretch = m_form->stretch;
    buttonRow = m_form->buttonRow;
    buttonYes = m_form->buttonYes;
    s1 = m_form->s1;
    buttonNo = m_form->buttonNo;
    s2 = m_form->s2;
    buttonAll = m_form->buttonAll;
    s3 = m_form->s3;
    buttonCancel = m_form->buttonCancel;
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

ReplaceAskDialog::~ReplaceAskDialog() = default;

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
    m_form->retranslateUi(this);
}

void ReplaceAskDialog::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(e);
}

GotoLineDialog::GotoLineDialog(QWidget* parent, const char* name, bool modal, Qt::WindowFlags fl)
    : QDialog(parent, fl), m_form(new Ui::GotoLineDialog)
{
    setUp(this, m_form.get(), name, "GotoLineDialog", modal);
    GotoLineDialogLayout = m_form->GotoLineDialogLayout;
    TextLabel4 = m_form->TextLabel4;
    comboLine = m_form->comboLine;
    stretch = m_form->stretch;
    buttonRow = m_form->buttonRow;
    buttonStretch = m_form->buttonStretch;
    buttonOk = m_form->buttonOk;
    buttonCancel = m_form->buttonCancel;
}

GotoLineDialog::~GotoLineDialog() = default;

void GotoLineDialog::languageChange()
{
    m_form->retranslateUi(this);
}

void GotoLineDialog::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(e);
}

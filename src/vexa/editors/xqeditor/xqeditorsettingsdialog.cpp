#include "vexa/editors/xqeditor/xqeditorsettingsdialog.h"

#include "ui_xqeditorsettingsdialog.h"
#include "vexa/message.h"

#include <QFontDialog>
#include <QIntValidator>

XQEditorSettingsDialog::XQEditorSettingsDialog(QWidget* parent, const char* name, bool modal,
                                               Qt::WindowFlags fl)
    : QDialog(parent, fl), m_form(new Ui::XQEditorSettingsDialog)
{
    m_form->setupUi(this);
    ButtonGroup1 = m_form->ButtonGroup1;
    bAutoIndent = m_form->bAutoIndent;
    bBackSpaceIndent = m_form->bBackSpaceIndent;
    bSmartHome = m_form->bSmartHome;
    bReplaceTabs = m_form->bReplaceTabs;
    bRemoveSpacer = m_form->bRemoveSpacer;
    bWrapCursor = m_form->bWrapCursor;
    bWordWrap = m_form->bWordWrap;
    bIndentationGuides = m_form->bIndentationGuides;
    buttonGroup4 = m_form->buttonGroup4;
    buttonSelectFont = m_form->buttonSelectFont;
    fontViewLabel = m_form->fontViewLabel;
    ButtonGroup2 = m_form->ButtonGroup2;
    bIndicatorMargin = m_form->bIndicatorMargin;
    bLineNumberMargin = m_form->bLineNumberMargin;
    bSelectionMargin = m_form->bSelectionMargin;
    ButtonGroup3 = m_form->ButtonGroup3;
    bVerticalSelection = m_form->bVerticalSelection;
    TextLabel1 = m_form->TextLabel1;
    lTabWidth = m_form->lTabWidth;
    buttonOk = m_form->buttonOk;
    buttonCancel = m_form->buttonCancel;
    setObjectName(QLatin1String(name ? name : "XQEditorSettingsDialog"));
    setModal(modal);
    // A width the editors cannot use cannot be typed in the first place.
    lTabWidth->setValidator(new QIntValidator(1, 16, lTabWidth));
    resize(size().expandedTo(minimumSizeHint()));
    connect(buttonOk, &QPushButton::clicked, this, &XQEditorSettingsDialog::accept);
    connect(buttonCancel, &QPushButton::clicked, this, &XQEditorSettingsDialog::reject);
    connect(buttonSelectFont, &QPushButton::clicked, this, &XQEditorSettingsDialog::selectFont);
}

XQEditorSettingsDialog::~XQEditorSettingsDialog() = default;

int XQEditorSettingsDialog::tabWidth() const
{
    bool ok = false;
    const int w = lTabWidth->text().trimmed().toInt(&ok);
    return ok && w >= 1 && w <= 16 ? w : 0;
}

void XQEditorSettingsDialog::selectFont()
{
    bool ok = false;
    const QFont f = QFontDialog::getFont(&ok, fontViewLabel->font(), this);
    if (ok)
        fontViewLabel->setFont(f);
}

void XQEditorSettingsDialog::accept()
{
    if (tabWidth() == 0) {
        vexa::Message::warning(tr("Error"), tr("The tab width must be a number from 1 to 16."),
                               tr("Ok"));
        lTabWidth->setFocus();
        lTabWidth->selectAll();
        return;
    }
    QDialog::accept();
}

void XQEditorSettingsDialog::languageChange()
{
    m_form->retranslateUi(this);
}

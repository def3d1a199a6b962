#include "vexa/explorer/explorerpanelbase.h"

#include "ui_explorerpanelbase.h"

ExplorerPanelBase::ExplorerPanelBase(QWidget* parent, const char* name, Qt::WindowFlags fl)
    : QWidget(parent, fl), m_form(new Ui::ExplorerPanelBase)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    m_form->setupUi(this);
    backButton = m_form->backButton;
    forwardButton = m_form->forwardButton;
    chooseButton = m_form->chooseButton;
    cdUpButton = m_form->cdUpButton;
    actionButton = m_form->actionButton;
    bookmarkButton = m_form->bookmarkButton;
    filesList = m_form->filesList;
    bufferLabel = m_form->bufferLabel;
    clearBufferButton = m_form->clearBufferButton;
    bufferList = m_form->bufferList;
    ExplorerPanelBaseLayout = m_form->ExplorerPanelBaseLayout;
    layout1 = m_form->layout1;
    layout2 = m_form->layout2;
    bufferLayout = m_form->bufferLayout;
    spacer1 = m_form->spacer1;
    spacer2 = m_form->spacer2;
    spacer3 = m_form->spacer3;
    languageChange();
    resize(minimumSizeHint().expandedTo(QSize(238, 786)));
}

ExplorerPanelBase::~ExplorerPanelBase() = default;

void ExplorerPanelBase::languageChange()
{
    m_form->retranslateUi(this);
}

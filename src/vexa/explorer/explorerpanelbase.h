#ifndef VEXA_EXPLORER_EXPLORERPANELBASE_H
#define VEXA_EXPLORER_EXPLORERPANELBASE_H

#include <QWidget>

#include <memory>

class QGridLayout;
class QHBoxLayout;
class QLabel;
class QSpacerItem;
class QToolButton;
class QVBoxLayout;

namespace Ui
{
class ExplorerPanelBase;
}

namespace vexa
{
class FilesList;
}

// The form of the file explorer panel: a row of tool buttons, the files
// list and, below it, the buffer of cut or copied files with its label, a
// clear button and a second files list. It only creates, names, lays out and
// labels the widgets; the panel built on it gives them icons, menus and
// connections. The buttons carry no shortcuts: the panel's commands, which
// are on only while it has the focus, have those keys.
class ExplorerPanelBase : public QWidget
{
    Q_OBJECT
public:
    // Without a name the form is named "ExplorerPanelBase".
    explicit ExplorerPanelBase(QWidget* parent = nullptr, const char* name = nullptr,
                               Qt::WindowFlags fl = {});
    ~ExplorerPanelBase() override;

    QToolButton* backButton;
    QToolButton* forwardButton;
    QToolButton* chooseButton;
    QToolButton* cdUpButton;
    QToolButton* actionButton;
    QToolButton* bookmarkButton;
    vexa::FilesList* filesList;
    QLabel* bufferLabel;
    QToolButton* clearBufferButton;
    vexa::FilesList* bufferList;

    QGridLayout* ExplorerPanelBaseLayout;
    QHBoxLayout* layout1;
    QVBoxLayout* layout2;
    QHBoxLayout* bufferLayout;
    QSpacerItem* spacer1;
    QSpacerItem* spacer2;
    QSpacerItem* spacer3;

protected Q_SLOTS:
    virtual void languageChange();

private:
    std::unique_ptr<Ui::ExplorerPanelBase> m_form;
};

#endif

#ifndef VEXA_EDITORS_XQEDITORSETTINGSDIALOG_H
#define VEXA_EDITORS_XQEDITORSETTINGSDIALOG_H

#include <QDialog>

#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui
{
class XQEditorSettingsDialog;
}

// The form of the editing options shared by all text editors. It only shows
// and collects the values; reading and storing them is the editor binding's.
// OK is refused while the tab width is not a number from 1 to 16.
class XQEditorSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit XQEditorSettingsDialog(QWidget* parent = nullptr, const char* name = nullptr,
                                    bool modal = false, Qt::WindowFlags fl = {});
    ~XQEditorSettingsDialog() override;

    QGroupBox* ButtonGroup1;
    QCheckBox* bAutoIndent;
    QCheckBox* bBackSpaceIndent;
    QCheckBox* bSmartHome;
    QCheckBox* bReplaceTabs;
    QCheckBox* bRemoveSpacer;
    QCheckBox* bWrapCursor;
    QCheckBox* bWordWrap;
    QCheckBox* bIndentationGuides;
    QGroupBox* buttonGroup4;
    QPushButton* buttonSelectFont;
    QLabel* fontViewLabel;
    QGroupBox* ButtonGroup2;
    QCheckBox* bIndicatorMargin;
    QCheckBox* bLineNumberMargin;
    QCheckBox* bSelectionMargin;
    QGroupBox* ButtonGroup3;
    QCheckBox* bVerticalSelection;
    QLabel* TextLabel1;
    QLineEdit* lTabWidth;
    QPushButton* buttonOk;
    QPushButton* buttonCancel;

    // The tab width the field holds, or 0 when it holds no width from 1 to 16.
    int tabWidth() const;

public Q_SLOTS:
    virtual void selectFont();
    void accept() override;

protected Q_SLOTS:
    virtual void languageChange();

private:
    std::unique_ptr<Ui::XQEditorSettingsDialog> m_form;
};

#endif

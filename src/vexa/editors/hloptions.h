#ifndef VEXA_EDITORS_HLOPTIONS_H
#define VEXA_EDITORS_HLOPTIONS_H

#include <QDialog>
#include <QHash>
#include <QString>

#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class ColorCombo;

namespace Ui
{
class HLOptionsBase;
}

namespace xqwidgets
{
class TextAttribute;
class TextEditorManager;
struct HLConfigData;
} // namespace xqwidgets

// The form of the highlighting options: the controls and their connections.
// Its slots are placeholders for the subclass that supplies the logic.
class HLOptionsBase : public QDialog
{
    Q_OBJECT
public:
    explicit HLOptionsBase(QWidget* parent = nullptr, const char* name = nullptr,
                           bool modal = false, Qt::WindowFlags fl = {});
    ~HLOptionsBase() override;

    QListWidget* listHl;
    QLabel* TextLabel1;
    QLineEdit* lineFileMask;
    QLabel* TextLabel2;
    QListWidget* listItems;
    QCheckBox* checkBold;
    QCheckBox* checkItalic;
    QLabel* TextLabel3;
    ColorCombo* color;
    QLabel* TextLabel4;
    ColorCombo* bgColor;
    QLabel* labelAutodetection;
    QPushButton* buttonAutodetection;
    QPushButton* buttonOk;
    QPushButton* buttonCancel;

public slots:
    virtual void hlSelected(const QString& name);
    virtual void itemSelected(const QString& itemName);
    virtual void itemChanged();
    virtual void maskChanged();
    virtual void configureAutodetection();

protected slots:
    virtual void languageChange();

private:
    std::unique_ptr<Ui::HLOptionsBase> m_form;
};

namespace vexa
{

// The user's colours, styles and file masks of every highlighting
// definition. It edits copies; OK stores all of them as overrides outside the
// application's key prefix, gives the registry the new masks and makes the
// open editors load their highlighting again. Cancel leaves everything as it was.
class HLOptions : public HLOptionsBase
{
    Q_OBJECT
public:
    // `manager` is the text editor manager shared by all editors: its
    // registry is listed, its settings object receives the overrides, and its
    // editors are re-highlighted on OK.
    explicit HLOptions(xqwidgets::TextEditorManager* manager, QWidget* parent = nullptr,
                       const char* name = nullptr, bool modal = false, Qt::WindowFlags fl = {});
    ~HLOptions() override;

public slots:
    void hlSelected(const QString& name) override;
    void itemSelected(const QString& itemName) override;
    void itemChanged() override;
    void maskChanged() override;
    void configureAutodetection() override;

protected slots:
    void accept() override;

protected:
    xqwidgets::TextEditorManager* manager;
    // One copy per definition, keyed by its display name.
    QHash<QString, xqwidgets::HLConfigData*> hlDataDict;
    xqwidgets::HLConfigData* currentHlData = nullptr;
    xqwidgets::TextAttribute* currentAttribute = nullptr;
    bool lockUpdate = true;

private:
    void setItemControlsEnabled(bool enabled);
};

} // namespace vexa

#endif

#ifndef VEXA_RUNMAKEOPTIONS_H
#define VEXA_RUNMAKEOPTIONS_H

#include <QWidget>

#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace Ui
{
class RunMakeOptionsWidgetBase;
}

// The form of the run and make commands: its fields, public for the widget
// that fills them.
class RunMakeOptionsWidgetBase : public QWidget
{
    Q_OBJECT
public:
    explicit RunMakeOptionsWidgetBase(QWidget* parent = nullptr, const char* name = nullptr,
                                      Qt::WindowFlags fl = {});
    ~RunMakeOptionsWidgetBase() override;

    QGroupBox* groupBox1;
    QLineEdit* makeArgsLineEdit;
    QLineEdit* makeLineEdit;
    QLineEdit* runLineEdit;
    QLineEdit* runArgsLineEdit;
    QLabel* textLabel2;
    QLabel* textLabel4;
    QLabel* textLabel3;
    QLabel* textLabel5;
    QToolButton* runToolButton;
    QToolButton* makeToolButton;
    QCheckBox* defaultScriptsCheckBox;
    QLabel* textLabel1;
    QLabel* textLabel1_2;

protected Q_SLOTS:
    virtual void languageChange();

private:
    std::unique_ptr<Ui::RunMakeOptionsWidgetBase> m_form;
};

namespace vexa
{

// The run and make commands as one form: in the project options it edits the
// project's commands (and may make them the global defaults), in the scripts
// dialog of the build runner the global ones.
class RunMakeOptionsWidget : public RunMakeOptionsWidgetBase
{
    Q_OBJECT
public:
    explicit RunMakeOptionsWidget(QWidget* parent = nullptr);

public Q_SLOTS:
    // Fills the fields from the open project: each attribute when present;
    // else, with "/scripts/useDefaultsForProjects" set, its global setting,
    // otherwise "make" and "-s" for the make command and nothing for run.
    // The box is left unticked.
    void loadSettings();
    // Writes the four fields as project attributes (empty ones too) and, with
    // the box ticked, as the global settings with the flag set.
    void saveSettings();
    void selectRunFolder();
    void selectMakeFolder();

private:
    void select(const QString& key, QLineEdit* field);
};

} // namespace vexa

#endif

#include "vexa/runmakeoptions.h"

#include "ui_runmakeoptions.h"
#include "vexa/editors/editors.h"
#include "vexa/project/project.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>

RunMakeOptionsWidgetBase::RunMakeOptionsWidgetBase(QWidget* parent, const char* name,
                                                   Qt::WindowFlags fl)
    : QWidget(parent, fl), m_form(new Ui::RunMakeOptionsWidgetBase)
{
    m_form->setupUi(this);
    setObjectName(name ? QString::fromLatin1(name) : QStringLiteral("RunMakeOptionsWidgetBase"));
    groupBox1 = m_form->groupBox1;
    makeArgsLineEdit = m_form->makeArgsLineEdit;
    makeLineEdit = m_form->makeLineEdit;
    runLineEdit = m_form->runLineEdit;
    runArgsLineEdit = m_form->runArgsLineEdit;
    textLabel2 = m_form->textLabel2;
    textLabel4 = m_form->textLabel4;
    textLabel3 = m_form->textLabel3;
    textLabel5 = m_form->textLabel5;
    runToolButton = m_form->runToolButton;
    makeToolButton = m_form->makeToolButton;
    defaultScriptsCheckBox = m_form->defaultScriptsCheckBox;
    textLabel1 = m_form->textLabel1;
    textLabel1_2 = m_form->textLabel1_2;
    m_form->groupBox1Layout->setAlignment(Qt::AlignTop);
    languageChange();
    resize(QSize(551, 283).expandedTo(minimumSizeHint()));
}

RunMakeOptionsWidgetBase::~RunMakeOptionsWidgetBase() = default;

void RunMakeOptionsWidgetBase::languageChange()
{
    m_form->retranslateUi(this);
}

namespace vexa
{

namespace
{

const char* const kAttributes[] = {"runScript", "runScriptArgs", "makeScript", "makeScriptArgs"};
const char* const kKeys[] = {"/scripts/runProject", "/scripts/runProjectArgs",
                             "/scripts/makeProject", "/scripts/makeProjectArgs"};

} // namespace

RunMakeOptionsWidget::RunMakeOptionsWidget(QWidget* parent) : RunMakeOptionsWidgetBase(parent)
{
    connect(runToolButton, &QToolButton::clicked, this, &RunMakeOptionsWidget::selectRunFolder);
    connect(makeToolButton, &QToolButton::clicked, this, &RunMakeOptionsWidget::selectMakeFolder);
}

void RunMakeOptionsWidget::loadSettings()
{
    Project* project = Project::self();
    const bool useDefaults =
        Settings::readBool(QStringLiteral("/scripts/useDefaultsForProjects"), false);
    const QString fallback[] = {QString(), QString(), QStringLiteral("make"), QStringLiteral("-s")};
    QLineEdit* fields[] = {runLineEdit, runArgsLineEdit, makeLineEdit, makeArgsLineEdit};
    for (int i = 0; i < 4; ++i) {
        const QString attribute = QLatin1String(kAttributes[i]);
        QString value;
        if (project->hasAttribute(attribute))
            value = project->attribute(attribute);
        else
            value = useDefaults ? Settings::read(QLatin1String(kKeys[i])) : fallback[i];
        fields[i]->setText(value);
    }
    defaultScriptsCheckBox->setChecked(false);
}

void RunMakeOptionsWidget::saveSettings()
{
    const QString values[] = {runLineEdit->text(), runArgsLineEdit->text(), makeLineEdit->text(),
                              makeArgsLineEdit->text()};
    for (int i = 0; i < 4; ++i)
        Project::self()->setAttribute(QLatin1String(kAttributes[i]), values[i]);
    if (!defaultScriptsCheckBox->isChecked())
        return;
    Settings::write(QStringLiteral("/scripts/useDefaultsForProjects"), true);
    for (int i = 0; i < 4; ++i)
        Settings::write(QLatin1String(kKeys[i]), values[i]);
}

void RunMakeOptionsWidget::selectRunFolder()
{
    select(QStringLiteral("/scripts/lastRunFolder"), runLineEdit);
}

void RunMakeOptionsWidget::selectMakeFolder()
{
    select(QStringLiteral("/scripts/lastMakeFolder"), makeLineEdit);
}

void RunMakeOptionsWidget::select(const QString& key, QLineEdit* field)
{
    QString start = QDir::homePath();
    if (!start.endsWith(QLatin1Char('/')))
        start += QLatin1Char('/');
    bool stored = false;
    const QString last = Settings::read(key, QString(), &stored);
    if (stored)
        start = last;
    // A start path naming a file opens its folder with that file selected.
    QFileDialog dialog(Shell::self(), QString(), start);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (!Editors::runFileDialog(dialog) || dialog.selectedFiles().isEmpty())
        return;
    const QString chosen = dialog.selectedFiles().constFirst();
    if (chosen.isEmpty())
        return;
    Settings::write(key, chosen);
    field->setText(chosen);
}

} // namespace vexa

#include "vexa/project/newprojectwizard.h"

#include "ui_newprojectwizard.h"

#include "vexa/editors/editors.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QRegularExpression>

NewProjectWizard::NewProjectWizard(QWidget* parent, const char* name, bool modal,
                                   Qt::WindowFlags fl)
    : QDialog(parent, fl), m_form(new Ui::NewProjectWizard)
{
    setObjectName(QLatin1String(name ? name : "NewProjectWizard"));
    setModal(modal);
    m_form->setupUi(this);
    NewProjectWizardLayout = m_form->NewProjectWizardLayout;
    layout4 = m_form->layout4;
    labelName = m_form->labelName;
    lineName = m_form->lineName;
    labelDirectory = m_form->labelDirectory;
    lineDirectory = m_form->lineDirectory;
    selectDirectoryButton = m_form->selectDirectoryButton;
    labelFilename = m_form->labelFilename;
    lineFileName = m_form->lineFileName;
    line1 = m_form->line1;
    textLabel1 = m_form->textLabel1;
    textEditDescription = m_form->textEditDescription;
    frame8 = m_form->frame8;
    Layout1 = m_form->Layout1;
    Horizontal_Spacing2 = m_form->Horizontal_Spacing2;
    buttonOk = m_form->buttonOk;
    buttonCancel = m_form->buttonCancel;
    languageChange();
    resize(minimumSizeHint().expandedTo(size()));
    // The suggestions first, so that OK follows the fields they set.
    connect(lineName, &QLineEdit::textChanged, this, &NewProjectWizard::projectNameChanged);
    for (QLineEdit* e : {lineName, lineDirectory, lineFileName})
        connect(e, &QLineEdit::textChanged, this, &NewProjectWizard::textChanged);
    connect(selectDirectoryButton, &QToolButton::clicked, this, &NewProjectWizard::selectFolder);
    init();
}

NewProjectWizard::~NewProjectWizard() = default;

void NewProjectWizard::init()
{
    prevFileName = QString();
    prevDirectory = QString();
}

QString NewProjectWizard::projectsDir()
{
    QString home = QDir::homePath();
    if (!home.endsWith(QLatin1Char('/')))
        home += QLatin1Char('/');
    QString dir = vexa::Settings::read(QStringLiteral("/project/projectsDir"),
                                       home + QStringLiteral("projects/"));
    // The name is appended to it: a stored folder without its separator
    // would run into the name.
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

void NewProjectWizard::textChanged()
{
    buttonOk->setEnabled(!lineName->text().isEmpty() && !lineDirectory->text().isEmpty() &&
                         !lineFileName->text().isEmpty());
}

void NewProjectWizard::projectNameChanged()
{
    const bool directoryFollows = lineDirectory->text() == prevDirectory;
    const QString name = lineName->text();
    if (prevFileName.isEmpty() || lineFileName->text() == prevFileName) {
        static const QRegularExpression blank(QStringLiteral("\\s"));
        QString stem = name.toLower();
        stem.replace(blank, QStringLiteral("_"));
        const QString directory = projectsDir() + stem + QLatin1Char('/');
        if (directoryFollows)
            lineDirectory->setText(directory);
        prevDirectory = directory;
        prevFileName = stem + QStringLiteral(".vexa");
        lineFileName->setText(prevFileName);
    } else {
        prevFileName = name;
    }
}

void NewProjectWizard::selectFolder()
{
    QFileDialog dialog(vexa::Shell::self(), QString(), projectsDir());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (!vexa::Editors::runFileDialog(dialog) || dialog.selectedFiles().isEmpty())
        return;
    const QString folder = dialog.selectedFiles().constFirst();
    if (!folder.isEmpty())
        lineDirectory->setText(folder);
}

void NewProjectWizard::languageChange()
{
    m_form->retranslateUi(this);
    // The marks only underline: OK and Cancel answer to Return and Escape.
    buttonOk->setShortcut(QKeySequence());
    buttonCancel->setShortcut(QKeySequence());
}

void NewProjectWizard::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(e);
}

#ifndef VEXA_PROJECT_NEWPROJECTWIZARD_H
#define VEXA_PROJECT_NEWPROJECTWIZARD_H

#include <QDialog>
#include <QString>

#include <memory>

class QFrame;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpacerItem;
class QTextEdit;
class QToolButton;
class QVBoxLayout;

namespace Ui
{
class NewProjectWizard;
}

// The one-page form of a new project: its name, folder, file name and
// description. While the user types the name, the folder and the file name
// are suggested from it (lower case, each blank an underscore) until the
// user changes them: the folder follows until it is edited or chosen, both
// follow until the file name is edited. OK is enabled while name, folder and
// file name each hold a character (blanks count).
class NewProjectWizard : public QDialog
{
    Q_OBJECT
public:
    explicit NewProjectWizard(QWidget* parent = nullptr, const char* name = nullptr,
                              bool modal = false, Qt::WindowFlags fl = {});
    ~NewProjectWizard() override;

    QVBoxLayout* NewProjectWizardLayout;
    QGridLayout* layout4;
    QLabel* labelName;
    QLineEdit* lineName;
    QLabel* labelDirectory;
    QLineEdit* lineDirectory;
    QToolButton* selectDirectoryButton;
    QLabel* labelFilename;
    QLineEdit* lineFileName;
    QFrame* line1;
    QLabel* textLabel1;
    QTextEdit* textEditDescription;
    QFrame* frame8;
    QHBoxLayout* Layout1;
    QSpacerItem* Horizontal_Spacing2;
    QPushButton* buttonOk;
    QPushButton* buttonCancel;

    // The folder in which new projects are suggested, ending with a "/":
    // the stored "/project/projectsDir", else "projects/" in the home folder.
    static QString projectsDir();

public Q_SLOTS:
    virtual void textChanged();
    virtual void projectNameChanged();
    virtual void selectFolder();

protected Q_SLOTS:
    virtual void languageChange();

protected:
    void changeEvent(QEvent* e) override;

private:
    void init();

    std::unique_ptr<Ui::NewProjectWizard> m_form;
    QString prevFileName;
    QString prevDirectory;
};

#endif

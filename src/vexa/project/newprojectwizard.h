#ifndef VEXA_PROJECT_NEWPROJECTWIZARD_H
#define VEXA_PROJECT_NEWPROJECTWIZARD_H

#include "ui_newprojectwizard.h"

#include <QDialog>
#include <QString>

// The one-page form of a new project: its name, folder, file name and
// description. While the user types the name, the folder and the file name
// are suggested from it (lower case, each blank an underscore) until the
// user changes them: the folder follows until it is edited or chosen, both
// follow until the file name is edited. OK is enabled while name, folder and
// file name each hold a character (blanks count).
class NewProjectWizard : public QDialog, public Ui::NewProjectWizardForm
{
    Q_OBJECT
public:
    explicit NewProjectWizard(QWidget* parent = nullptr, const char* name = nullptr,
                              bool modal = false, Qt::WindowFlags fl = {});

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

    QString prevFileName;
    QString prevDirectory;
};

#endif

#ifndef VEXA_SEARCH_SEARCHDIALOGS_H
#define VEXA_SEARCH_SEARCHDIALOGS_H

#include "ui_finddialog.h"
#include "ui_gotolinedialog.h"
#include "ui_replaceaskdialog.h"
#include "ui_replacedialog.h"

#include <QDialog>

// The small modal forms of the search commands. They hold no logic: the
// search manager fills and reads their widgets (public through the forms).
// OK is the default button, so Return in any field accepts; Esc cancels.
// Their editable fields add nothing to their lists on Return: the lists are
// the manager's.
// "Regular expression" disables "Whole words only" without unticking it.

class FindDialog : public QDialog, public Ui::FindDialogForm
{
    Q_OBJECT
public:
    explicit FindDialog(QWidget* parent = nullptr, const char* name = nullptr, bool modal = false,
                        Qt::WindowFlags fl = {});

protected Q_SLOTS:
    virtual void languageChange();

protected:
    void changeEvent(QEvent* e) override;
};

class ReplaceDialog : public QDialog, public Ui::ReplaceDialogForm
{
    Q_OBJECT
public:
    explicit ReplaceDialog(QWidget* parent = nullptr, const char* name = nullptr,
                           bool modal = false, Qt::WindowFlags fl = {});

protected Q_SLOTS:
    virtual void languageChange();

protected:
    void changeEvent(QEvent* e) override;
};

// Asks about one match; the result: 1 Yes, 2 No, 3 All, 0 Cancel (also when
// closed any other way).
class ReplaceAskDialog : public QDialog, public Ui::ReplaceAskDialogForm
{
    Q_OBJECT
public:
    enum Answer { Cancel = 0, Yes = 1, No = 2, All = 3 };

    explicit ReplaceAskDialog(QWidget* parent = nullptr, const char* name = nullptr,
                              bool modal = false, Qt::WindowFlags fl = {});

public Q_SLOTS:
    virtual void slotCancel();
    virtual void slotAll();
    virtual void slotNo();
    virtual void slotYes();

protected Q_SLOTS:
    virtual void languageChange();

protected:
    void changeEvent(QEvent* e) override;
};

class GotoLineDialog : public QDialog, public Ui::GotoLineDialogForm
{
    Q_OBJECT
public:
    explicit GotoLineDialog(QWidget* parent = nullptr, const char* name = nullptr,
                            bool modal = false, Qt::WindowFlags fl = {});

protected Q_SLOTS:
    virtual void languageChange();

protected:
    void changeEvent(QEvent* e) override;
};

#endif

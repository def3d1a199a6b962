#ifndef VEXA_SEARCH_SEARCHDIALOGS_H
#define VEXA_SEARCH_SEARCHDIALOGS_H

#include <QDialog>

#include <memory>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSpacerItem;

namespace Ui
{
class FindDialog;
class GotoLineDialog;
class ReplaceAskDialog;
class ReplaceDialog;
} // namespace Ui

// The small modal forms of the search commands. They hold no logic: the
// search manager fills and reads their widgets (public members, named after
// the forms' objects).
// OK is the default button, so Return in any field accepts; Esc cancels.
// Their editable fields add nothing to their lists on Return: the lists are
// the manager's.
// "Regular expression" disables "Whole words only" without unticking it.

class FindDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FindDialog(QWidget* parent = nullptr, const char* name = nullptr, bool modal = false,
                        Qt::WindowFlags fl = {});
    ~FindDialog() override;

    QGridLayout* FindDialogLayout;
    QLabel* TextLabel1;
    QComboBox* findString;
    QGroupBox* ButtonGroup1;
    QGridLayout* ButtonGroup1Layout;
    QCheckBox* caseSensitive;
    QCheckBox* wholeWordsOnly;
    QCheckBox* fromCursor;
    QCheckBox* inSelection;
    QCheckBox* regExp;
    QSpacerItem* stretch;
    QHBoxLayout* buttonRow;
    QSpacerItem* buttonStretch;
    QPushButton* buttonOk;
    QPushButton* buttonCancel;

protected Q_SLOTS:
    virtual void languageChange();

protected:
    void changeEvent(QEvent* e) override;

private:
    std::unique_ptr<Ui::FindDialog> m_form;
};

class ReplaceDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ReplaceDialog(QWidget* parent = nullptr, const char* name = nullptr,
                           bool modal = false, Qt::WindowFlags fl = {});
    ~ReplaceDialog() override;

    QGridLayout* ReplaceDialogLayout;
    QLabel* TextLabel1;
    QComboBox* findString;
    QLabel* TextLabel1_2;
    QComboBox* replaceString;
    QGroupBox* ButtonGroup1;
    QGridLayout* ButtonGroup1Layout;
    QCheckBox* caseSensitive;
    QCheckBox* inSelection;
    QCheckBox* wholeWordsOnly;
    QCheckBox* fromCursor;
    QCheckBox* regExp;
    QSpacerItem* groupStretch;
    QCheckBox* replaceAll;
    QSpacerItem* stretch;
    QHBoxLayout* buttonRow;
    QSpacerItem* buttonStretch;
    QPushButton* buttonOk;
    QPushButton* buttonCancel;

protected Q_SLOTS:
    virtual void languageChange();

protected:
    void changeEvent(QEvent* e) override;

private:
    std::unique_ptr<Ui::ReplaceDialog> m_form;
};

// Asks about one match; the result: 1 Yes, 2 No, 3 All, 0 Cancel (also when
// closed any other way).
class ReplaceAskDialog : public QDialog
{
    Q_OBJECT
public:
    enum Answer { Cancel = 0, Yes = 1, No = 2, All = 3 };

    explicit ReplaceAskDialog(QWidget* parent = nullptr, const char* name = nullptr,
                              bool modal = false, Qt::WindowFlags fl = {});
    ~ReplaceAskDialog() override;

    QGridLayout* ReplaceAskDialogLayout;
    QLabel* TextLabel2;
    QLabel* labelText;
    QSpacerItem* stretch;
    QHBoxLayout* buttonRow;
    QPushButton* buttonYes;
    QSpacerItem* s1;
    QPushButton* buttonNo;
    QSpacerItem* s2;
    QPushButton* buttonAll;
    QSpacerItem* s3;
    QPushButton* buttonCancel;

public Q_SLOTS:
    virtual void slotCancel();
    virtual void slotAll();
    virtual void slotNo();
    virtual void slotYes();

protected Q_SLOTS:
    virtual void languageChange();

protected:
    void changeEvent(QEvent* e) override;

private:
    std::unique_ptr<Ui::ReplaceAskDialog> m_form;
};

class GotoLineDialog : public QDialog
{
    Q_OBJECT
public:
    explicit GotoLineDialog(QWidget* parent = nullptr, const char* name = nullptr,
                            bool modal = false, Qt::WindowFlags fl = {});
    ~GotoLineDialog() override;

    QGridLayout* GotoLineDialogLayout;
    QLabel* TextLabel4;
    QComboBox* comboLine;
    QSpacerItem* stretch;
    QHBoxLayout* buttonRow;
    QSpacerItem* buttonStretch;
    QPushButton* buttonOk;
    QPushButton* buttonCancel;

protected Q_SLOTS:
    virtual void languageChange();

protected:
    void changeEvent(QEvent* e) override;

private:
    std::unique_ptr<Ui::GotoLineDialog> m_form;
};

#endif

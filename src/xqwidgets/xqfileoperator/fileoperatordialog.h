#ifndef XQWIDGETS_FILEOPERATORDIALOG_H
#define XQWIDGETS_FILEOPERATORDIALOG_H

#include <QPointer>
#include <QWidget>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

namespace Ui
{
class FileOperatorDialogBase;
}

namespace xqwidgets
{

// The form of the progress window: its widgets, public for the window that
// fills them.
class FileOperatorDialogBase : public QWidget
{
    Q_OBJECT
public:
    explicit FileOperatorDialogBase(QWidget* parent = nullptr, const char* name = nullptr,
                                    Qt::WindowFlags fl = {});
    ~FileOperatorDialogBase() override;

    QProgressBar* progressBar;
    QPushButton* buttonAbort;
    QLabel* operationLabel;
    QLabel* itemLabel;
    QLabel* statusLabel;

protected Q_SLOTS:
    virtual void languageChange();

private:
    std::unique_ptr<Ui::FileOperatorDialogBase> m_form;
};

// The progress window of one copy, move or delete run. A passive display:
// the setters only store values and a 100 ms timer paints the last stored
// ones, so the run may call them for every block at no cost. Abort, and
// closing the window, set `aborted`, which the run polls between its steps;
// the window never hides, stops or deletes itself otherwise.
class FileOperatorDialog : public FileOperatorDialogBase
{
    Q_OBJECT
public:
    FileOperatorDialog();
    ~FileOperatorDialog() override;

    // The window whose top-right corner show() places this one by; without
    // one, the active window is taken.
    void setMainWindow(QWidget* mainWindow);

    bool aborted = false;

public Q_SLOTS:
    void setItems(qint64 num);
    void setDest(const QString& dest);
    void setItemName(const QString& name);
    void setOperationName(const QString& name);
    // A total of 0 is stored as 1, so the percentage never divides by zero.
    void setTotalSize(quint64 size);
    void setCurrentSize(quint64 size);
    // Shows the window 50 pixels inside the main window's top-right corner,
    // leaving the keyboard focus where it was (or with nobody).
    void show();
    void abortPressed();

protected:
    // Closing the window stops the run: a hidden window that goes on would
    // look stopped while it still writes.
    void closeEvent(QCloseEvent* e) override;

private Q_SLOTS:
    void updateInfo();

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace xqwidgets

#endif

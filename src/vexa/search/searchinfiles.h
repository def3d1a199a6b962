#ifndef VEXA_SEARCH_SEARCHINFILES_H
#define VEXA_SEARCH_SEARCHINFILES_H

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
class QToolButton;
class QVBoxLayout;

namespace Ui
{
class SearchInFiles;
}

namespace vexa
{
class FileSearch;
struct SearchOptions;
} // namespace vexa

// The search-in-files dialog: a folder, a file pattern and a text, whose
// hits it sends as rows through newEntry() while it walks the folder. The
// search runs inside the Search button's slot; the event loop runs meanwhile
// (about every 20 ms), so the button, which reads "Stop" then, and Cancel can
// end it. Idle, searching or stopping: a press while the search unwinds is
// ignored, so a double Stop cannot start a search inside the running one.
// The dialog closes when a search ends; the histories of the three fields
// are stored at every Search press.
class SearchInFiles : public QDialog
{
    Q_OBJECT
public:
    enum State { Idle, Searching, Stopping };

    explicit SearchInFiles(QWidget* parent = nullptr, const char* name = nullptr,
                           bool modal = false, Qt::WindowFlags flags = {});
    ~SearchInFiles() override;

    QGridLayout* SearchInFilesLayout;
    QLabel* TextLabel1;
    QComboBox* comboDirectory;
    QToolButton* buttonDirectory;
    QLabel* TextLabel3;
    QComboBox* comboPattern;
    QSpacerItem* spacer1;
    QLabel* TextLabel2;
    QComboBox* comboSearch;
    QLabel* replaceLabel;
    QComboBox* comboReplace;
    QSpacerItem* spacer2;
    QGroupBox* GroupBox1;
    QVBoxLayout* GroupBox1Layout;
    QCheckBox* checkWholeWord;
    QCheckBox* checkCaseSensetive;
    QCheckBox* checkRegExp;
    QCheckBox* checkSearchInProject;
    QSpacerItem* groupStretch;
    QSpacerItem* spacer3;
    QLabel* labelProcessing;
    QSpacerItem* spacer4;
    QHBoxLayout* Layout1;
    QSpacerItem* buttonStretch;
    QPushButton* buttonSearch;
    QPushButton* buttonCancel;

    State state() const;
    // The walk itself, for its settings (how often it lets the event loop run).
    vexa::FileSearch* fileSearch() const;
    // Stops the search that runs in any dialog; true when one ran. It
    // unwinds only once the caller has returned to the event loop.
    static bool stopRunning();

public Q_SLOTS:
    virtual void init();
    virtual void cancelPressed();
    virtual void processFile(const QString& path);
    virtual void processDirectory(const QString& path);
    virtual void searchPressed();
    virtual void searchStringChanged();
    virtual void selectDirectory();

Q_SIGNALS:
    void newEntry(const QString& text, int line, const QString& file);

protected Q_SLOTS:
    virtual void languageChange();

protected:
    void changeEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    vexa::SearchOptions options() const;
    void stop();
    // Shows `text` in the status line, elided to its width.
    void showStatus(const QString& text);

    std::unique_ptr<Ui::SearchInFiles> m_form;
    vexa::FileSearch* core;
    State current = Idle;
    QString status;
};

#endif

#ifndef VEXA_PROJECT_ADDFILESDIALOG_H
#define VEXA_PROJECT_ADDFILESDIALOG_H

#include <QDialog>
#include <QSet>
#include <QStringList>
#include <QTreeWidgetItem>

#include <memory>

class QFrame;
class QGridLayout;
class QHBoxLayout;
class QPushButton;
class QSpacerItem;
class QTreeWidget;

namespace Ui
{
class AddFilesDialogBase;
}

namespace vexa
{

class FileType;

// The form of the add-files dialog; its widgets are public members.
class AddFilesDialogBase : public QDialog
{
    Q_OBJECT
public:
    explicit AddFilesDialogBase(QWidget* parent = nullptr, const char* name = nullptr,
                                bool modal = false, Qt::WindowFlags fl = {});
    ~AddFilesDialogBase() override;

    QGridLayout* AddFilesDialogBaseLayout;
    QTreeWidget* listViewFiles;
    QHBoxLayout* layout2;
    QPushButton* buttonSelectAll;
    QPushButton* buttonClearSelection;
    QSpacerItem* spacer2;
    QPushButton* buttonAddExternalFiles;
    QFrame* line1;
    QHBoxLayout* layout4;
    QSpacerItem* spacer4;
    QPushButton* buttonOk;
    QPushButton* buttonCancel;

protected Q_SLOTS:
    virtual void languageChange();

protected:
    void changeEvent(QEvent* e) override;

private:
    std::unique_ptr<Ui::AddFilesDialogBase> m_form;
};

// The files of the project folder that the project does not hold yet, as a
// tree read once when the dialog is built: every folder (links followed,
// each real folder once, at most ProjectFile::maxDepth levels), opened,
// before the files of its folder; hidden entries, "CVS" folders (in three
// spellings), the project's own files and its project file are left out.
// After OK, `addedFilePaths` holds the chosen files, depth first in the
// order shown. The dialog's size is kept for the next one, also after
// Cancel.
class AddFilesDialog : public AddFilesDialogBase
{
    Q_OBJECT
public:
    explicit AddFilesDialog(QWidget* parent = nullptr, const char* name = nullptr);
    ~AddFilesDialog() override;

    // The cleaned absolute paths that count as in the project.
    QSet<QString> filePaths;
    QStringList addedFilePaths;

public Q_SLOTS:
    void accept() override;
    void clearSelection();
    void selectAll();

private:
    void select(bool on);
};

// A folder or file of the add-files dialog. A folder item reads its folder
// when it is made.
class AddFilesDialogItem : public QTreeWidgetItem
{
public:
    // What reading a tree needs to know of the walk so far.
    struct Walk {
        // The paths to leave out.
        const QSet<QString>* exclude = nullptr;
        // The real paths of the folders read already.
        QSet<QString> visited;
        int depth = 0;
    };

    // A null `parent` gives a top item, to be put into a view.
    AddFilesDialogItem(QTreeWidgetItem* parent, const QString& fileName, const QString& filePath,
                       int sort_key, bool isDir, Walk* walk);

    bool isDir;
    QString fileName;
    QString filePath;
    // The entry's place in its folder's listing.
    int sort_key;

    void setPixmap();
    // Folders (list order 0) before the other types (500), each in the
    // listing's order; the same for every column and direction.
    QString key(int column, bool ascending) const;
    bool operator<(const QTreeWidgetItem& other) const override;
    // The selected files below the item, depth first in the order shown; a
    // selected folder adds nothing by itself.
    QStringList selectedFilePaths() const;

private:
    void readFolder(Walk* walk);

    FileType* fileType = nullptr;
    QString sortKey;
};

} // namespace vexa

#endif

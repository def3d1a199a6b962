#ifndef XQWIDGETS_TEXTFOLDING_H
#define XQWIDGETS_TEXTFOLDING_H

#include <QList>
#include <QObject>

namespace xqwidgets
{

class TextDocument;

// One fold of a saved fold state: its lines (from 0) and whether it is open.
struct FolderInfo {
    bool isOpened = true;
    int firstLine = 0;
    int lastLine = 0;

    bool operator==(const FolderInfo& o) const
    {
        return isOpened == o.isOpened && firstLine == o.firstLine && lastLine == o.lastLine;
    }
};

// The folds of one document. A fold is a range of whole lines that collapses
// to its first line; folds nest. They are not objects: each line carries the
// number of folds containing it and whether a fold begins on it (and is
// closed), and every change ends with a pass that derives which lines are
// shown.
class TextFolding : public QObject
{
    Q_OBJECT

public:
    using FoldersState = QList<FolderInfo>;

    explicit TextFolding(TextDocument* doc);
    ~TextFolding() override;

    // True when a fold ends on the line (the folding margin's end mark).
    bool isLastLineOfFold(int line) const;
    // Every fold once, each fold after the folds inside it.
    FoldersState foldersState() const;
    // Replaces the folds by a saved state. Records that do not lie within the
    // document (a state saved for a longer version of the file) are skipped.
    void setFolderstState(const FoldersState& state);

public slots:
    // Creates a closed fold over the lines; false when it would start on or
    // after its last line or on the document's last line, or would cross
    // another fold.
    bool createFold(int firstLine, int lastLine);
    // These act on the innermost fold containing the line.
    void removeFold(int line);
    void openFold(int line);
    void closeFold(int line);
    void toggleFold(int line);
    void clearAllFolds();
    // Opens every closed fold that hides the line, and the fold it heads.
    void ensureLineVisible(int line);

public:
    // The document calls these around its line-level changes so that which
    // lines are shown stays exact.
    void lineInserted(int line);
    void lineRemoved(int line);

private:
    enum FoldChange { Open, Close, Toggle };
    void changeFold(int line, FoldChange how);

    int findFirstFoldLine(int line) const;
    void updateLinesVisibility();
    int subFolders(int line, int level, FoldersState& list) const;
    void placeCaret(int line);

    class Private;
    Private* d;
};

} // namespace xqwidgets

#endif

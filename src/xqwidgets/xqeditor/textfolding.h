#ifndef XQWIDGETS_TEXTFOLDING_H
#define XQWIDGETS_TEXTFOLDING_H

#include <QObject>

namespace xqwidgets {

class TextDocument;

// Nested line ranges that fold and unfold. (Folds are made by the folding
// operations; until one exists, every line is visible.)
class TextFolding : public QObject
{
    Q_OBJECT

public:
    explicit TextFolding(TextDocument* doc);
    ~TextFolding() override;

    // Opens every closed fold that hides the line.
    void ensureLineVisible(int line);
    // Removes the fold that begins on the line.
    void removeFold(int line);

private:
    TextDocument* m_doc;
};

} // namespace xqwidgets

#endif

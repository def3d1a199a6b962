#ifndef VEXA_EDITORS_EDITORSTAB_H
#define VEXA_EDITORS_EDITORSTAB_H

#include "xqwidgets/tabbar.h"

namespace vexa
{

class Editor;

// The strip of tabs under the workspace, one per open editor, following the
// editor manager: the base name of each file, modified files in blue, the
// current one in bold. Choosing a tab makes its editor current.
class EditorsTab : public xqwidgets::TabBar
{
    Q_OBJECT
public:
    explicit EditorsTab(QWidget* parent = nullptr, const char* name = nullptr);
    ~EditorsTab() override;

    // The last `levels` components of a path.
    static QString subName(const QString& path, int levels);

public Q_SLOTS:
    void updateList();
    void setCurrentEditor(vexa::Editor* e);
    void editorModified(vexa::Editor* e, bool modified);

Q_SIGNALS:
    void showEditor(vexa::Editor* e);

protected Q_SLOTS:
    void itemSelected(int id);

protected:
    void drawTab(QPainter& p, const QPalette& palette, xqwidgets::Tab* t) override;

private:
    class Private;
    Private* d;
};

} // namespace vexa

#endif

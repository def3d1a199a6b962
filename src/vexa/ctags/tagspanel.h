#ifndef VEXA_CTAGS_TAGSPANEL_H
#define VEXA_CTAGS_TAGSPANEL_H

#include <QWidget>

namespace vexa
{

// The tags page of the left dock ("Tags").
class TagsPanel : public QWidget
{
    Q_OBJECT
public:
    static TagsPanel* self();
    ~TagsPanel() override;

public Q_SLOTS:
    // Null: raise this page in the left dock. Otherwise: the dock now shows
    // `o`; the page's tab is on exactly when `o` is this panel.
    void makeVisible(QObject* o = nullptr);

Q_SIGNALS:
    void raised();

private:
    explicit TagsPanel(QWidget* parent);
    class Private;
    Private* d;
};

} // namespace vexa

#endif

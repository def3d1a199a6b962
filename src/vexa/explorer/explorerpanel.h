#ifndef VEXA_EXPLORER_EXPLORERPANEL_H
#define VEXA_EXPLORER_EXPLORERPANEL_H

#include <QWidget>

namespace vexa
{

// The file explorer page of the left dock ("Files").
class ExplorerPanel : public QWidget
{
    Q_OBJECT
public:
    static ExplorerPanel* self();
    ~ExplorerPanel() override;

public Q_SLOTS:
    // Null: raise this page in the left dock. Otherwise: the dock now shows
    // `o`; the page's tab is on exactly when `o` is this panel, which then
    // takes the keyboard focus.
    void makeVisible(QObject* o = nullptr);
    // The panel's own commands work only while `o` is the panel.
    void focusChanged(QObject* o);

Q_SIGNALS:
    void gotFocus();
    void raised();

protected:
    void focusInEvent(QFocusEvent* e) override;

private:
    explicit ExplorerPanel(QWidget* parent);
    class Private;
    Private* d;
};

} // namespace vexa

#endif

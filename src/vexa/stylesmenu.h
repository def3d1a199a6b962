#ifndef VEXA_STYLESMENU_H
#define VEXA_STYLESMENU_H

#include <QObject>
#include <QStringList>

namespace vexa
{

// The "Select style" submenu of the Options menu: one tickable entry per
// widget style, the choice applied at once and kept under "/qt/style".
class StylesMenu : public QObject
{
    Q_OBJECT
public:
    static StylesMenu* self();
    explicit StylesMenu(QObject* parent = nullptr, const char* name = nullptr);
    ~StylesMenu() override;

    // Fills the style list and builds the entries; called once.
    void initStylesMenu();
    // The style names in menu order; a name's position is its id.
    QStringList styles() const;

public Q_SLOTS:
    // An id outside the list changes nothing.
    void setStyle(int id);

private:
    class Private;
    Private* d;
};

} // namespace vexa

#endif

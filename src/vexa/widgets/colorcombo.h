#ifndef VEXA_WIDGETS_COLORCOMBO_H
#define VEXA_WIDGETS_COLORCOMBO_H

#include <QColor>
#include <QComboBox>

// A read-only combo box for an optional colour: "none", "custom" (opens the
// colour dialog) and seventeen named colours with swatches.
class ColorCombo : public QComboBox
{
    Q_OBJECT
public:
    explicit ColorCombo(QWidget* parent = nullptr, const char* name = nullptr);
    ~ColorCombo() override;

    // A valid colour is chosen; an invalid one selects "none" and keeps color().
    void setColor(const QColor& color);
    // The chosen colour; it keeps its last value while "none" is shown.
    QColor color() const;
    bool hasColor() const;

    // Accepts the names of the entries and "#rrggbb"; an empty or unknown name selects "none".
    void setColorName(const QString& name);
    // "" for "none", an entry's name for one of the named colours, else "#rrggbb".
    QString colorName() const;

    // The colour a name of the list stands for (invalid for other names).
    static QColor namedColor(const QString& name);

signals:
    // Emitted after every choice of the user, with color().
    void activated(const QColor& color);

protected slots:
    void slotActivated(int index);

private:
    void createStandardPalette();
    void updateColors();
    void setCustomSwatch();

    class Private;
    Private* d;
};

#endif

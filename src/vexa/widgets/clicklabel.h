#ifndef VEXA_WIDGETS_CLICKLABEL_H
#define VEXA_WIDGETS_CLICKLABEL_H

#include <QLabel>

// A label that reports every mouse press, whatever the button, so that it can
// serve as a clickable caption.
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ClickLabel(const QString& text, QWidget* parent = nullptr, const char* name = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* e) override;
};

#endif

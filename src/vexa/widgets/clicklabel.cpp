#include "vexa/widgets/clicklabel.h"

ClickLabel::ClickLabel(const QString& text, QWidget* parent, const char* name)
    : QLabel(text, parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
}

void ClickLabel::mousePressEvent(QMouseEvent* e)
{
    QWidget::mousePressEvent(e);
    emit clicked();
}

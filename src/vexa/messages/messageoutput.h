#ifndef VEXA_MESSAGES_MESSAGEOUTPUT_H
#define VEXA_MESSAGES_MESSAGEOUTPUT_H

#include <QListWidget>

namespace vexa
{

// The messages panel: the page of the bottom dock that collects output lines.
class MessageOutput : public QListWidget
{
    Q_OBJECT
public:
    static MessageOutput* self();
    ~MessageOutput() override;

public Q_SLOTS:
    // Raises the panel in the bottom dock.
    void makeVisible();

private:
    explicit MessageOutput(QWidget* parent);
};

} // namespace vexa

#endif

#ifndef VEXA_RUNMAKE_H
#define VEXA_RUNMAKE_H

#include <QObject>

namespace vexa
{

// Runs the configured run and make commands; a child of the main window.
class RunMake : public QObject
{
    Q_OBJECT
public:
    static RunMake* self();
    ~RunMake() override;

private:
    explicit RunMake(QObject* parent);
};

} // namespace vexa

#endif

#ifndef VEXA_PROJECT_PROJECT_H
#define VEXA_PROJECT_PROJECT_H

#include <QObject>

class QWidget;

namespace vexa
{

// The project of the left dock ("Project"): a tree page for an open project
// and a list of recent projects while none is open.
class Project : public QObject
{
    Q_OBJECT
public:
    static Project* self();
    ~Project() override;

    bool hasProject() const;
    QWidget* treePage() const;
    QWidget* recentPage() const;

public Q_SLOTS:
    // Null: raise the page that fits (tree or recent list) and announce it.
    // Otherwise: the dock now shows `o`; the tab is on exactly when `o` is the
    // project or one of its pages, and the shown page takes the focus when
    // `o` is the project itself.
    void makeVisible(QObject* o = nullptr);

Q_SIGNALS:
    void gotFocus();
    void raised();
    void enabled(bool on);
    void loaded();

private:
    explicit Project(QObject* parent);
    class Private;
    Private* d;
};

} // namespace vexa

#endif

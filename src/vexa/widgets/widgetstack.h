#ifndef VEXA_WIDGETS_WIDGETSTACK_H
#define VEXA_WIDGETS_WIDGETSTACK_H

#include <QStackedWidget>

namespace vexa
{

// A stack of pages of which one is shown, each page known by a number that
// the stack hands out in order of addition (0, 1, 2, ...). The dock pages are
// added in a fixed order at every start, so a number stored at exit names the
// same page at the next start.
class WidgetStack : public QStackedWidget
{
    Q_OBJECT
public:
    explicit WidgetStack(QWidget* parent = nullptr, const char* name = nullptr);
    ~WidgetStack() override;

    // Adds the page under `id`, or under the next free number when `id` is
    // negative or already taken. Returns the page's number; -1 for no widget.
    int addWidget(QWidget* w, int id = -1);
    void removeWidget(QWidget* w);

    // The page with that number, or null.
    QWidget* widget(int id) const;
    // The number of the page, or -1.
    int id(QWidget* w) const;
    QWidget* visibleWidget() const;

public Q_SLOTS:
    // A number or widget that names no page changes nothing.
    void raiseWidget(int id);
    void raiseWidget(QWidget* w);

Q_SIGNALS:
    // A page is about to become the shown one.
    void aboutToShow(QWidget* w);

private:
    class Private;
    Private* d;
};

} // namespace vexa

#endif

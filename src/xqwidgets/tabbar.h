#ifndef XQWIDGETS_TABBAR_H
#define XQWIDGETS_TABBAR_H

#include <QIcon>
#include <QPalette>
#include <QString>
#include <QWidget>

class QPainter;

namespace xqwidgets
{

// One tab of a TabBar. Owned by the bar; subclasses reach it through TabBar::tab().
struct Tab {
    QString title; // as given, "&" mnemonics included
    QIcon iconset; // empty when the tab has no icon
    int id = -1;   // chosen by the caller, unique in the bar, never negative
    int width = 0; // cached advance along the bar (see TabBar::tabWidth)
    bool enabled = true;
};

// A self-drawn row of tabs that scrolls by whole tabs, with optional close
// button, mnemonics and drag reordering. All geometry is worked out as if the
// bar lay along the top of a panel; other positions flip or rotate the output.
// Tab ids are chosen by the caller; -1 always means "no tab".
class TabBar : public QWidget
{
    Q_OBJECT
public:
    enum TabPosition { Top = 0, Bottom = 1, Left = 2, Right = 3 };
    Q_ENUM(TabPosition)

    // Bits of the view style.
    enum ViewStyleFlag {
        ShowIcons = 1,
        CloseButton = 2,
        BoldCurrent = 4,
        FlatTabs = 8,
        TabGrip = 16,
    };

    explicit TabBar(QWidget* parent = nullptr, const char* name = nullptr);
    ~TabBar() override;

    // Inserts after the tab `after` (at the front when `after` names no tab).
    // The id is the first free one at or above `id` (above 0 for -1).
    // Takes ownership of `icon`.
    int insertTab(const QString& title, QIcon* icon, int after, int id);
    int insertTab(const QString& title, const QIcon& icon, int after = -1, int id = -1);
    int insertTab(const QString& title, int after = -1, int id = -1);
    int addTab(const QString& title, const QIcon& icon, int id = -1);
    int addTab(const QString& title, int id = -1);
    void removeTab(int id);
    void clear();
    int count() const;

    void setTabTitle(int id, const QString& title);
    void setTabIcon(int id, const QIcon& icon);
    void setTabEnabled(int id, bool enabled);
    QString tabTitle(int id) const;
    const QIcon* tabIcon(int id) const; // null when the id names no tab
    bool isTabEnabled(int id) const;

    int firstTab(bool enabledOnly = false) const;
    int lastTab(bool enabledOnly = false) const;
    int prevTab(int id, bool enabledOnly = false) const;
    int nextTab(int id, bool enabledOnly = false) const;
    int currentTab() const;

    void setTabPosition(TabPosition position);
    TabPosition tabPosition() const;
    void setViewStyle(int style);
    int viewStyle() const;

    Tab* tab(int id) const;

    QSize sizeHint() const override;

    // The title as it is measured and shown: mnemonic markers removed, "&&" as "&".
    static QString clearString(const QString& s);

public slots:
    void setCurrentTab(int id);
    void setAllowDragging(bool allow);

signals:
    void currentChanged(int id);
    void startTabDrag(int id, QMouseEvent* e);
    void continueTabDrag(QMouseEvent* e);
    void finishTabDrag(QMouseEvent* e);
    void cancelTabDrag(QMouseEvent* e);
    void closeTab(int id);
    void tabRightButtonPressed(int id, const QPoint& globalPos);
    void changeTabsOrder(int from, int to);
    void tabDoubleClick(int id);

protected slots:
    void breakTimeout();

protected:
    // Draws one tab into `p`, in the horizontal frame of a bar along the top,
    // `palette` being the colours to use (current group already chosen).
    virtual void drawTab(QPainter& p, const QPalette& palette, Tab* t);

    bool event(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

    int tabWidth(Tab* t) const;
    QRect tabRect(int id) const;
    int startPos() const;
    bool setCurrentTabInternal(int id);
    void makeTabVisible(int id);
    void checkButtons(const QPoint& p);
    void scrollLeft();
    void scrollRight();
    void updateBreaks();
    int tabByPos(const QPoint& p) const;
    int rw() const;
    int rh() const;
    void updatePixmap();
    void recalTabsWidth();

private:
    class Private;
    Private* d;
};

} // namespace xqwidgets

#endif

#ifndef FAKEEDITVIEW_H
#define FAKEEDITVIEW_H

// A view without a widget for the editing and folding tests: it keeps a caret
// and a selection the way the text view does (moving the caret without
// selecting clears the selection) and counts what the document asks of it.

#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/textline.h"

#include <QObject>
#include <QRect>

class FakeEditView : public xqwidgets::DocumentView
{
public:
    QObject object;
    int line = 0;
    int column = 0;
    QRect selected{QPoint(0, 0), QPoint(0, 0)};
    int caretPlacements = 0;
    int contentUpdates = 0;

    void place(int l, int c, const QRect& sel = QRect(QPoint(0, 0), QPoint(0, 0)))
    {
        line = l;
        column = c;
        selected = sel;
    }

    QObject* viewObject() override { return &object; }
    int doHighlight(int ctx, xqwidgets::TextLine* l) override
    {
        l->resetHighlight(ctx);
        return ctx;
    }
    void highlight(xqwidgets::TextLine* l) override { l->doneHighlight(); }
    void cursorPosition(int& l, int& c) const override
    {
        l = line;
        c = column;
    }
    void setCursorPosition(int l, int c, bool select) override
    {
        line = l;
        column = c;
        if (!select)
            selected = QRect(QPoint(0, 0), QPoint(0, 0));
    }
    void setUpdateRegion(const xqwidgets::LineRegion&) override {}
    void updateView(bool) override {}
    void updateLines(int, int) override {}
    int tabsWidth() const override { return 80; }
    void setTabsWidth(int) override {}
    int spaceWidth() const override { return 10; }
    void resizeBuffer() override {}
    void updateFontData() override {}
    void repaintMargins() override {}
    void notifyChange(int) override {}

    QRect selection() const override { return selected; }
    void setSelection(const QPoint& a, const QPoint& b) override { selected = QRect(a, b); }
    void setCaret(int l, int c) override
    {
        line = l;
        column = c;
        ++caretPlacements;
    }
    void updateContents() override { ++contentUpdates; }
};

#endif

#include "vexa/editors/editorstab.h"

#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"

#include <QDir>
#include <QMap>
#include <QPointer>

namespace vexa
{

class EditorsTab::Private
{
public:
    QList<QPointer<Editor>> list;
    QMap<int, QPointer<Editor>> tab2editor;
    QMap<Editor*, int> editor2tab;
    bool lockUpdate = false;
    QList<xqwidgets::Tab*> modifiedTabs;
};

EditorsTab::EditorsTab(QWidget* parent, const char* name)
    : xqwidgets::TabBar(parent, name), d(new Private)
{
    setViewStyle(FlatTabs | BoldCurrent);
    setAllowDragging(false);
    Editors* editors = Editors::self();
    updateList();
    connect(this, &TabBar::currentChanged, this, &EditorsTab::itemSelected);
    connect(editors, &Editors::listChanged, this, &EditorsTab::updateList);
    connect(editors, &Editors::currentChanged, this, &EditorsTab::setCurrentEditor);
    connect(this, &EditorsTab::showEditor, editors, &Editors::setCurrentEditor);
    connect(this, &TabBar::closeTab, editors, qOverload<>(&Editors::close));
    connect(editors, &Editors::editorModified, this, &EditorsTab::editorModified);
}

EditorsTab::~EditorsTab()
{
    delete d;
}

QString EditorsTab::subName(const QString& path, int levels)
{
    const QChar sep = QDir::separator();
    int pos = 0;
    for (int i = 0; i < levels; ++i) {
        // The first search starts at the last character.
        pos = path.lastIndexOf(sep, pos - 1);
        if (pos < 0)
            return path;
        if (pos == 0)
            return path.mid(1);
    }
    return path.mid(pos + 1);
}

void EditorsTab::updateList()
{
    Editors* editors = Editors::self();
    d->list.clear();
    for (Editor* e : editors->editors())
        d->list.append(e);
    d->tab2editor.clear();
    d->editor2tab.clear();
    d->modifiedTabs.clear();

    setUpdatesEnabled(false);
    d->lockUpdate = true;
    clear();
    for (const QPointer<Editor>& e : std::as_const(d->list)) {
        if (!e)
            continue;
        const QString name = e->filename();
        // A "&" in a file name is part of the name, not a mnemonic marker.
        QString text = name.isEmpty() ? tr("Untitled") : subName(name, 1);
        text.replace(QLatin1Char('&'), QLatin1String("&&"));
        const int id = addTab(text, -1);
        d->tab2editor.insert(id, e);
        d->editor2tab.insert(e, id);
        editorModified(e, e->isModified());
    }
    setCurrentTab(firstTab(false));
    d->lockUpdate = false;
    setCurrentTab(d->editor2tab.value(editors->current(), 0));
    setUpdatesEnabled(true);
    update();
}

void EditorsTab::setCurrentEditor(Editor* e)
{
    setCurrentTab(d->editor2tab.value(e, 0));
}

void EditorsTab::editorModified(Editor* e, bool modified)
{
    if (!d->editor2tab.contains(e))
        return;
    xqwidgets::Tab* t = tab(d->editor2tab.value(e));
    if (!t)
        return;
    if (!d->modifiedTabs.contains(t)) {
        if (modified) {
            d->modifiedTabs.append(t);
            update();
        }
    } else if (!modified) {
        d->modifiedTabs.removeAll(t);
        update();
    }
}

void EditorsTab::itemSelected(int id)
{
    if (!d->lockUpdate)
        Q_EMIT showEditor(d->tab2editor.value(id));
}

void EditorsTab::drawTab(QPainter& p, const QPalette& palette, xqwidgets::Tab* t)
{
    QPalette pal = palette;
    if (d->modifiedTabs.contains(t))
        pal.setColor(QPalette::WindowText, QColor(0, 0, 200));
    TabBar::drawTab(p, pal, t);
}

} // namespace vexa

#ifndef VEXA_TESTS_TESTEDITOR_H
#define VEXA_TESTS_TESTEDITOR_H

// A plain editor for the tests of the window and the file types, standing in
// for the text editors of the editing component.

#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"

#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QVBoxLayout>

class TestEditor : public vexa::Editor
{
    Q_OBJECT
public:
    explicit TestEditor(QWidget* parent) : vexa::Editor(parent)
    {
        edit = new QPlainTextEdit(this);
        auto* l = new QVBoxLayout(this);
        l->setContentsMargins(0, 0, 0, 0);
        l->addWidget(edit);
        setFocusProxy(edit);
    }

    QString text() override { return edit->toPlainText(); }
    void setText(const QString& t) override { edit->setPlainText(t); }
    QString line(int) override { return QString(); }
    QString selection() override { return edit->textCursor().selectedText(); }
    bool open(const QString& url) override
    {
        QFile f(url);
        if (!f.exists() || !f.open(QIODevice::ReadOnly))
            return false;
        setFileName(url);
        edit->setPlainText(QString::fromUtf8(f.readAll()));
        edit->document()->setModified(false);
        Q_EMIT fileLoaded();
        return true;
    }
    bool save() override
    {
        QFile f(path);
        ++saves;
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write(edit->toPlainText().toUtf8());
        edit->document()->setModified(false);
        return true;
    }
    bool saveAs(const QString& url) override
    {
        const QString former = path;
        path = QFileInfo(url).absoluteFilePath();
        if (!save()) {
            path = former;
            return false;
        }
        setFileName(url);
        return true;
    }
    void undo() override {}
    void redo() override {}
    void cut() override {}
    void copy() override {}
    void paste() override {}
    bool find(const QString&, bool, bool, bool, bool) override { return false; }
    bool findRegexp(const QString&, bool, bool, bool) override { return false; }
    void replaceFound(const QString&) override {}
    int replaceAll(const QString&, const QString&, bool, bool, bool, bool) override { return 0; }
    bool findNext() override { return false; }
    void setWrap(bool) override {}
    bool getWrap() override { return false; }
    void selectAll() override {}
    void indent() override {}
    void unindent() override {}
    void configure() override {}
    void configureHighlighting() override {}
    QString filename() override { return path; }
    void setFileName(const QString& name) override
    {
        path = name.isEmpty() ? QString() : QFileInfo(name).absoluteFilePath();
        Q_EMIT filenameChanged(path);
    }
    bool isModified() override { return edit->document()->isModified(); }
    int cursorLine() override { return 0; }
    int cursorColumn() override { return 0; }
    void setCursorPosition(int, int) override {}
    void setHighlightedLine(int, const QColor&) override {}
    void clearHighlightedLine(int) override {}
    void setLineIcon(int, QPixmap*) override {}
    void clearLineIcon(int) override {}
    void showTrace(int) override {}
    void clearTrace() override {}
    bool replaceTabs() override { return false; }
    int tabWidthInSpaces() override { return 4; }
    void completeWordNext() override {}
    void completeWordPrev() override {}
    void addCompletionList(const QStringList&, int) override {}

    QPlainTextEdit* edit = nullptr;
    QString path;
    int saves = 0;
};

class TestEditorFactory : public vexa::EditorFactory
{
public:
    QString name() override { return QStringLiteral("test"); }
    vexa::Editor* createEditor(QWidget* parent) override { return new TestEditor(parent); }
};

// Makes the test editor the kind of every new editor and the only editor
// open, in place of the text editor the manager starts with.
inline void useTestEditors()
{
    vexa::Editors* m = vexa::Editors::self();
    m->installEditorFactory(new TestEditorFactory);
    const QList<vexa::Editor*> others = m->editors();
    m->newEditor();
    for (vexa::Editor* e : others)
        m->close(e);
}

#endif

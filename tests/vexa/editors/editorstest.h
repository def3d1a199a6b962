#ifndef VEXA_TESTS_EDITORSTEST_H
#define VEXA_TESTS_EDITORSTEST_H

// Helpers of the editor tests: the real main window with the real text
// editors, files in a temporary folder, and answers to the message boxes
// and file dialogs that the commands open.

#include "../shellfixture.h"
#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/message.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace editorstest
{

inline vexa::Shell* startShell()
{
    vexa::Shell* shell = nullptr;
    if (!shellfixture::openShell(shell, shellfixture::Titled | shellfixture::Services |
                                            shellfixture::Shown))
        qWarning("window not exposed");
    return shell;
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Records every message box and answers it with the button of `answer`
// (a standard button code) or, for boxes with text buttons, the first one.
struct Boxes {
    struct Box {
        QString caption;
        QString text;
    };
    QList<Box> shown;
    QList<int> answers; // consumed in order; the last one repeats

    // The responder before, given back at the end.
    vexa::Message::Responder before = vexa::Message::currentResponder();

    Boxes()
    {
        vexa::Message::setResponder([this](QMessageBox* box) -> QAbstractButton* {
            shown.append({box->windowTitle(), box->text()});
            const int answer = answers.isEmpty()
                                   ? 0
                                   : (answers.size() > 1 ? answers.takeFirst() : answers.first());
            if (QAbstractButton* b = box->button(QMessageBox::StandardButton(answer)))
                return b;
            return box->buttons().isEmpty() ? nullptr : box->buttons().constFirst();
        });
    }
    ~Boxes() { vexa::Message::setResponder(before); }
};

// Runs `action` on the next modal widget of type T once it is shown, from
// inside the modal loop that shows it.
template <typename T> void whenModal(std::function<void(T*)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action]() {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            action(w);
        }
    });
    timer->start();
}

// Answers the next Save As dialog without a modal loop: picks the filter
// and the name; an empty name cancels it.
inline void answerSaveAs(const QString& name, const QString& filter = QString())
{
    vexa::Editors::setFileDialogRunner([name, filter](QFileDialog& dlg) {
        vexa::Editors::setFileDialogRunner({}); // one answer, one dialog
        if (name.isEmpty())
            return false;
        if (!filter.isEmpty())
            dlg.selectNameFilter(filter);
        dlg.setDirectory(QFileInfo(name).absolutePath());
        dlg.selectFile(QFileInfo(name).fileName());
        return true;
    });
}

} // namespace editorstest

#endif

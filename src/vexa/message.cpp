#include "vexa/message.h"

#include "vexa/actions.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace vexa
{

namespace
{

Message::Responder& responder()
{
    static Message::Responder r;
    return r;
}

Message::DialogRunner& dialogRunner()
{
    static Message::DialogRunner r;
    return r;
}

struct Notice {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
    QString button;
};

struct HeldNotices {
    bool holding = false;
    QList<Notice> notices;
};

HeldNotices& held()
{
    static HeldNotices h;
    return h;
}

QWidget* boxParent()
{
    if (QWidget* w = Actions::mainWindow())
        return w;
    return QApplication::activeWindow();
}

// The button Escape presses: the chosen one, else the Cancel button, else the
// only button. Otherwise Escape does nothing.
QAbstractButton* escapeTarget(QMessageBox* box)
{
    if (box->escapeButton())
        return box->escapeButton();
    if (QAbstractButton* cancel = box->button(QMessageBox::Cancel))
        return cancel;
    if (box->buttons().size() == 1)
        return box->buttons().first();
    return nullptr;
}

QAbstractButton* run(QMessageBox* box)
{
    if (held().holding && box->buttons().size() == 1) {
        held().notices.append(
            {box->icon(), box->windowTitle(), box->text(), box->buttons().first()->text()});
        return box->buttons().first();
    }
    if (responder()) {
        QAbstractButton* b = responder()(box);
        return b ? b : escapeTarget(box);
    }
    box->exec();
    return box->clickedButton();
}

int textBox(QMessageBox::Icon icon, const QString& caption, const QString& message,
            const QString& button0, const QString& button1, const QString& button2,
            int defaultButton, int escapeButton)
{
    QMessageBox box(icon, caption, message, QMessageBox::NoButton, boxParent());
    QAbstractButton* buttons[3] = {nullptr, nullptr, nullptr};
    const QString texts[3] = {button0, button1, button2};
    for (int i = 0; i < 3; ++i)
        if (!texts[i].isEmpty())
            buttons[i] = box.addButton(texts[i], QMessageBox::AcceptRole);
    if (!buttons[0] && !buttons[1] && !buttons[2])
        buttons[0] = box.addButton(QMessageBox::Ok);
    if (defaultButton >= 0 && defaultButton < 3 && buttons[defaultButton])
        box.setDefaultButton(qobject_cast<QPushButton*>(buttons[defaultButton]));
    if (escapeButton >= 0 && escapeButton < 3 && buttons[escapeButton])
        box.setEscapeButton(buttons[escapeButton]);

    QAbstractButton* pressed = run(&box);
    for (int i = 0; i < 3; ++i)
        if (pressed && buttons[i] == pressed)
            return i;
    return -1;
}

} // namespace

int Message::information(const QString& caption, const QString& message)
{
    return textBox(QMessageBox::Information, caption, message, QString(), QString(), QString(), 0,
                   -1);
}

int Message::information(const QString& caption, const QString& message, const QString& button0,
                         const QString& button1, const QString& button2, int defaultButton,
                         int escapeButton)
{
    return textBox(QMessageBox::Information, caption, message, button0, button1, button2,
                   defaultButton, escapeButton);
}

int Message::warning(const QString& caption, const QString& message, int button0, int button1,
                     int button2, QWidget* parent)
{
    QMessageBox box(QMessageBox::Warning, caption, message, QMessageBox::NoButton,
                    parent ? parent : boxParent());
    for (int code : {button0, button1, button2}) {
        const auto which = QMessageBox::StandardButton(code & QMessageBox::ButtonMask);
        if (which == QMessageBox::NoButton)
            continue;
        QPushButton* b = box.addButton(which);
        if (code & QMessageBox::Default)
            box.setDefaultButton(b);
        if (code & QMessageBox::Escape)
            box.setEscapeButton(b);
    }
    if (box.buttons().isEmpty())
        box.addButton(QMessageBox::Ok);
    QAbstractButton* pressed = run(&box);
    return pressed ? int(box.standardButton(pressed)) : int(QMessageBox::NoButton);
}

int Message::warning(const QString& caption, const QString& message, const QString& button0,
                     const QString& button1, const QString& button2, int defaultButton,
                     int escapeButton)
{
    return textBox(QMessageBox::Warning, caption, message, button0, button1, button2, defaultButton,
                   escapeButton);
}

void Message::holdNotices()
{
    held().holding = true;
}

void Message::releaseNotices()
{
    held().holding = false;
    const QList<Notice> notices = std::exchange(held().notices, {});
    for (const Notice& n : notices) {
        QMessageBox box(n.icon, n.caption, n.text, QMessageBox::NoButton, boxParent());
        box.addButton(n.button, QMessageBox::AcceptRole);
        run(&box);
    }
}

Message::Responder Message::currentResponder()
{
    return responder();
}

void Message::setResponder(const Responder& r)
{
    responder() = r;
}

void Message::setDialogRunner(const DialogRunner& runner)
{
    dialogRunner() = runner;
}

int Message::exec(QDialog& dialog)
{
    const DialogRunner runner = dialogRunner();
    return runner ? runner(dialog) : dialog.exec();
}

} // namespace vexa

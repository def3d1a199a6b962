#ifndef VEXA_MESSAGE_H
#define VEXA_MESSAGE_H

#include <QString>
#include <functional>

class QAbstractButton;
class QDialog;
class QMessageBox;
class QWidget;

namespace vexa
{

// Modal information and warning boxes parented to the main window (the one
// given to Actions::setMainWindow(), else the active window), so they are
// centred on it and block it until answered.
class Message
{
public:
    // One "OK" button; returns 0.
    static int information(const QString& caption, const QString& message);
    // Up to three buttons; an empty text leaves that button out (all empty:
    // one "OK" button, number 0). Returns the number of the pressed button.
    // Escape presses the escape button; with escapeButton -1 it does nothing
    // unless the box has a single button.
    static int information(const QString& caption, const QString& message, const QString& button0,
                           const QString& button1 = QString(), const QString& button2 = QString(),
                           int defaultButton = 0, int escapeButton = -1);
    // Standard buttons (QMessageBox::Yes, No, Cancel, ...; 0 for none), each
    // optionally or-ed with QMessageBox::Default or QMessageBox::Escape.
    // Returns the code of the pressed button. A `parent` given (a dialog the
    // warning is about) takes the place of the main window.
    static int warning(const QString& caption, const QString& message, int button0, int button1 = 0,
                       int button2 = 0, QWidget* parent = nullptr);
    static int warning(const QString& caption, const QString& message, const QString& button0,
                       const QString& button1 = QString(), const QString& button2 = QString(),
                       int defaultButton = 0, int escapeButton = -1);

    // While the program starts, a notice (a box with a single button, whose
    // answer changes nothing) waits, and the call returns as if it had been
    // read. Released, the notices held appear one after the other over the
    // main window. The entry function holds them until the main window is on
    // the screen, so that what opening files at start reports does not show
    // over the splash screen before the window exists. Questions are asked
    // at once: their answer is needed.
    static void holdNotices();
    static void releaseNotices();

    // Lets tests answer boxes without a modal loop: while set, a box is built
    // but not shown and the responder picks the button to press (null means
    // Escape was pressed). Pass an empty function to show boxes again.
    using Responder = std::function<QAbstractButton*(QMessageBox*)>;
    static void setResponder(const Responder& responder);
    static Responder currentResponder();

    // Runs one of our dialogs modally and returns its result. Tests set a
    // runner that fills a dialog in and answers it without a modal loop; an
    // empty function shows dialogs again. The runner is called as a copy, so
    // it may replace itself while it runs.
    using DialogRunner = std::function<int(QDialog&)>;
    static void setDialogRunner(const DialogRunner& runner);
    static int exec(QDialog& dialog);
};

} // namespace vexa

#endif

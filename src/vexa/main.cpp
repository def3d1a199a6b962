#include "vexa/message.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/utils.h"

#include <QApplication>
#include <QFont>
#include <QSplashScreen>
#include <QTimer>

#include <csignal>

// Writing past the file-size limit (ulimit -f) raises SIGXFSZ, which would
// end the program with every unsaved editor. Caught, the write fails with
// EFBIG instead, which a save reports like any other failure. A handler,
// not SIG_IGN: programs started from here (make, ctags) get the default
// action back at exec.
static void fileSizeExceeded(int) {}

int main(int argc, char** argv)
{
    struct sigaction onFileSize = {};
    onFileSize.sa_handler = fileSizeExceeded;
    sigemptyset(&onFileSize.sa_mask);
    onFileSize.sa_flags = SA_RESTART;
    sigaction(SIGXFSZ, &onFileSize, nullptr);

    QApplication app(argc, argv);

    vexa::Settings::self();
    vexa::Settings::setKeyPrefix(QStringLiteral("/vexa"));

    QFont font;
    const QString fontText = vexa::Settings::read(QStringLiteral("/fonts/Application"));
    // A stored size no one can use (100000 pt blanks the menus) leaves
    // the default font.
    const bool hasFont =
        !fontText.isEmpty() && font.fromString(fontText) && vexa::Utils::hasUsableSize(font);
    if (hasFont)
        QApplication::setFont(font);

    auto* splash = new QSplashScreen(vexa::Utils::icon(QStringLiteral("vexa_splashscreen")));
    splash->setWindowTitle(QStringLiteral("Loading..."));
    splash->show();

    // What opening files at start reports waits for the main window.
    vexa::Message::holdNotices();
    vexa::Shell shell(nullptr, "vexa::Shell");
    shell.setWindowIcon(vexa::Utils::icon(QStringLiteral("vexa-128")));
    if (hasFont)
        shell.setFont(font);

    vexa::startServices(&shell);

    shell.show();
    // The splash waits for the window to be on the screen and handles events
    // meanwhile; it does so inside the event loop, since a Ctrl+Q handled
    // before the loop runs would end no loop and be lost.
    QTimer::singleShot(0, &shell, [splash, &shell] {
        splash->finish(&shell);
        delete splash;
        vexa::Message::releaseNotices();
    });

    return QApplication::exec();
}

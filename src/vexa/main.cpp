#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/utils.h"

#include <QApplication>
#include <QFont>
#include <QSplashScreen>
#include <QTimer>

int main(int argc, char** argv)
{
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
    });

    return QApplication::exec();
}

#ifndef VEXA_TESTS_SHELLFIXTURE_H
#define VEXA_TESTS_SHELLFIXTURE_H

// What the tests that build the main window share: the settings as the
// application keeps them, an empty store before each test, and the window
// made the way the entry function makes it.

#include "testeditor.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QtTest>

namespace shellfixture
{

// Once per test executable, before anything reads a setting: the settings
// under the application's key prefix, as the entry function sets it.
inline void useAppSettings()
{
    vexa::Settings::self();
    vexa::Settings::setKeyPrefix(QStringLiteral("/vexa"));
}

// Before each test: nothing stored, and with `written` the empty store
// written out too, for tests that read the settings file or start a
// second process on it.
inline void clearSettings(bool written = false)
{
    vexa::Settings::self()->clear();
    if (written)
        vexa::Settings::forceWrite();
}

// What openShell does after making the window, in this order.
enum Start : unsigned {
    // The window title the entry function gives it.
    Titled = 1,
    // The test editors in place of the text editor (see useTestEditors).
    TestEditors = 2,
    // Its services started (startServices).
    Services = 4,
    // Shown, and on the screen.
    Shown = 8,
};

// Makes the main window into `shell` (a pointer or a QPointer), then the
// steps of `start`; false when a window to be shown was not exposed.
template <typename Pointer> [[nodiscard]] bool openShell(Pointer& shell, unsigned start)
{
    auto* window = new vexa::Shell(nullptr, "vexa::Shell");
    shell = window;
    if (start & Titled)
        window->setWindowTitle(QStringLiteral("Vexa"));
    if (start & TestEditors)
        useTestEditors();
    if (start & Services)
        vexa::startServices(window);
    if (!(start & Shown))
        return true;
    window->show();
    return QTest::qWaitForWindowExposed(window);
}

} // namespace shellfixture

#endif

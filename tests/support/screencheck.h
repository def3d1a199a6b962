#ifndef VEXA_TESTS_SCREENCHECK_H
#define VEXA_TESTS_SCREENCHECK_H

// The screen check: what the platform shows of a top-level window must
// equal a fresh render of the same window. Under the offscreen platform the
// shown pixels are the window's backing store, under xcb the X server's copy,
// so a widget that repaints too little (or paints what it does not render
// afresh) fails here although its state is right.

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QString>
#include <QWidget>

namespace screencheck
{

// Empty when the window on screen equals its fresh render, otherwise a
// description of where they differ. Pending paints are delivered first.
inline QString mismatch(QWidget* window)
{
    window = window->window();
    // A layout request handled here posts the repaint it causes: a few
    // rounds deliver such chains to the end.
    for (int round = 0; round < 4; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    QScreen* screen = window->screen();
    if (!screen)
        return QStringLiteral("the window has no screen");
    const QImage shown =
        screen->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage fresh = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (shown.size() != fresh.size())
        return QStringLiteral("sizes differ: shown %1x%2, rendered %3x%4")
            .arg(shown.width())
            .arg(shown.height())
            .arg(fresh.width())
            .arg(fresh.height());
    QRect bad;
    int count = 0;
    for (int y = 0; y < shown.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(fresh.constScanLine(y));
        for (int x = 0; x < shown.width(); ++x) {
            if (a[x] != b[x]) {
                bad |= QRect(x, y, 1, 1);
                ++count;
            }
        }
    }
    if (count == 0)
        return QString();
    QString where;
    if (QWidget* w = window->childAt(bad.center()))
        where = QStringLiteral(" (around the %1 %2)")
                    .arg(QLatin1String(w->metaObject()->className()), w->objectName());
    return QStringLiteral("%1 pixels differ within x %2..%3, y %4..%5%6")
        .arg(count)
        .arg(bad.left())
        .arg(bad.right())
        .arg(bad.top())
        .arg(bad.bottom())
        .arg(where);
}

// Keeps both pictures of a failed check, for a person to look at.
inline void savePictures(QWidget* window, const QString& stem)
{
    window = window->window();
    window->screen()->grabWindow(window->winId()).save(stem + QStringLiteral("-shown.png"));
    window->grab().save(stem + QStringLiteral("-rendered.png"));
}

} // namespace screencheck

#endif

#include "dialogs/growtocontents.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSize>
#include <QWidget>

void GrowToContents(QWidget *window, const QSize &least)
{
    const QSize needed = window->minimumSizeHint().expandedTo(least);
    window->setMinimumSize(needed);
    window->resize(window->testAttribute(Qt::WA_Resized) ? window->size().expandedTo(needed) : needed);
}

QSize ScreenRoom(const QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // A title bar a little taller than a line of text, and thin borders.
    return screen->availableGeometry().size() - QSize(8, window->fontMetrics().height() + 16);
}

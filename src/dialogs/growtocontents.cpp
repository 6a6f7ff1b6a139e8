#include "dialogs/growtocontents.h"

#include <QSize>
#include <QWidget>

void GrowToContents(QWidget *window, const QSize &least)
{
    const QSize needed = window->minimumSizeHint().expandedTo(least);
    window->setMinimumSize(needed);
    window->resize(window->testAttribute(Qt::WA_Resized) ? window->size().expandedTo(needed) : needed);
}

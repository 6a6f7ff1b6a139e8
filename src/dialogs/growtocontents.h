#pragma once

class QSize;
class QWidget;

// Makes least the window's smallest size, raised to what its contents need with the
// fonts in use, and grows the window to it; a size the user chose is only enlarged.
void GrowToContents(QWidget *window, const QSize &least);

// The room a window of this program has on its screen: the free area less a guess at the
// window manager's frame, which is unknown before the window shows.
QSize ScreenRoom(const QWidget *window);

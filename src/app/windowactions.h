#pragma once

#include <QRect>
#include <QString>

// The main window's thirteen actions, in the order the window creates them.
enum WindowAction {
    ActAddSrcFiles,
    ActAddSrcFolder,
    ActAddUrl,
    ActExit,
    ActSelectAll,
    ActRemove,
    ActPlaySrc,
    ActPlayTgt,
    ActConvert,
    ActOpenTarget,
    ActEdit,
    ActContactUs,
    ActAbout,
    WindowActionCount
};

// The action's member name, which is also its object name: "actSelectAll".
const char *WindowActionName(WindowAction action);

// What the enable rules look at: the two lists, their selections and the folder text.
struct WindowListState
{
    int sources = 0;
    int selectedSources = 0;
    bool targetSelected = false;
    QString targetFolder;
};

// Whether action is enabled in state. The rules hold for any state, so the window
// applies them all after every change instead of guessing which could differ.
bool ActionEnabled(WindowAction action, const WindowListState &state);

// The window's restored place. A stored geometry stays, with its size bounded by the
// available area and its top-left corner moved onto it, unless it has no size or lies
// wholly off the area. Otherwise the window opens at firstRun size, bounded by the area,
// and centred on it. available is the screen's area less the window frame.
QRect FitWindowGeometry(const QRect &stored, const QSize &firstRun, const QRect &available);

#include "app/windowactions.h"

#include "convert/convertsettings.h"

const char *WindowActionName(WindowAction action)
{
    static const char *const names[WindowActionCount] = { "actAddSrcFiles", "actAddSrcFolder", "actAddUrl", "actExit",
        "actSelectAll", "actRemove", "actPlaySrc", "actPlayTgt", "actConvert", "actOpenTarget", "actEdit",
        "actContactUs", "actAbout" };
    return action >= 0 && action < WindowActionCount ? names[action] : "";
}

bool ActionEnabled(WindowAction action, const WindowListState &state)
{
    switch (action) {
    case ActSelectAll:
        return state.selectedSources < state.sources;
    case ActRemove:
    case ActConvert:
        return state.selectedSources > 0;
    case ActPlaySrc:
        return state.selectedSources == 1;
    case ActPlayTgt:
        return state.targetSelected;
    case ActOpenTarget:
        // Beside the sources names a folder only while one source is chosen; whether
        // a named folder exists is checked when the action runs.
        if (state.targetFolder == QLatin1String(SameAsSourceFile))
            return state.selectedSources == 1;
        return !state.targetFolder.isEmpty();
    default:
        return true;
    }
}

QRect FitWindowGeometry(const QRect &stored, const QSize &firstRun, const QRect &available)
{
    if (available.isEmpty())
        return stored.isValid() ? stored : QRect(QPoint(200, 200), firstRun);
    if (!stored.isValid() || !available.intersects(stored)) {
        QRect placed(QPoint(), firstRun.boundedTo(available.size()));
        placed.moveCenter(available.center());
        return placed;
    }
    QRect placed(stored.topLeft(), stored.size().boundedTo(available.size()));
    // The title bar must be reachable to move the window at all.
    if (!available.contains(placed.topLeft()))
        placed.moveTopLeft(QPoint(qBound(available.left(), placed.left(), available.right() - 100),
                                  qBound(available.top(), placed.top(), available.bottom() - 100)));
    return placed;
}

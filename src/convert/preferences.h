#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

class ConvertSettings;

// Every value the program keeps between runs, behind one typed getter and setter each,
// with its default and its limits. Each call opens the store afresh and closes it
// before it returns, so whatever one part writes the next reader sees.
namespace Preferences {

// The clean-shutdown mark: false while a run lasts, true once the window is gone.
bool CleanShutdown();
void SetCleanShutdown(bool closed);
// The window's frame position and client size as last stored; no size when none is.
QRect WindowGeometry();
void SetWindowGeometry(const QRect &geometry);
bool FirstRun();
void SetFirstRun(bool firstRun);

bool ReportCrash();
void SetReportCrash(bool report);
bool ReportCResults();
void SetReportCResults(bool report);

// Where the add-files and add-folder dialogs start; the movies folder at first.
QString SourceFolder();
void SetSourceFolder(const QString &folder);

// The target folder list, at most MaxTargetFolders of them, in list order.
constexpr int MaxTargetFolders = 10;
QStringList TargetFolders();
void SetTargetFolders(const QStringList &folders);

// The conversion settings record, each field under its own key.
void LoadConvertSettings(ConvertSettings &settings);
void SaveConvertSettings(const ConvertSettings &settings);

// The outside components found at start-up, in their own store.
enum class Plugin { FreeImage, FFmpeg };
void RecordPlugin(Plugin plugin);

} // namespace Preferences

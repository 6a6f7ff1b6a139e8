#pragma once

#include <QString>

// The credits text shown by the credits dialog; filled once at start-up.
extern QString creditsText;
extern const QString freeImageNotice;
extern const QString ffmpegNotice;
// Appended after the two above.
extern const QString systemFfmpegNotice;
extern const QString qtNotice;
extern const QString mpvNotice;
extern const QString ytdlpNotice;

void ClearCredits();
void AppendCredits(const QString &text);

// Records the outside components the program carries and collects their notices.
void KRVInitPlugins();

enum class HelperProgram { Transcoder, Prober, Downloader };

// Where the install lays out the outside programs: beside the executable.
QString HelperProgramPath(HelperProgram program);

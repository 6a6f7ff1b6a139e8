#pragma once

#include <QString>

class QByteArray;

// Runs multimedia/ffmpeg/ffprobe on sSourceFile, filters its stream report through
// grep for sPara and stores the value of the first "sPara=" in sOutput when one is
// found; otherwise sOutput keeps what it held.
void GetFFPROBEOutput(QString sSourceFile, QString sPara, QString &sOutput);

// Stores "WIDTHxHEIGHT" of sSourceFile's first video stream in
// sResolutionWidthXHeight, or leaves it unchanged when the size is unknown.
void GetResolution(QString sSourceFile, QString &sResolutionWidthXHeight);

// The value rule of GetFFPROBEOutput applied to a filter's raw output: answers
// whether a value was found and, only then, replaces sOutput with it.
bool ParseFFPROBEOutput(const QByteArray &output, const QString &sPara, QString &sOutput);

// The size rule of GetResolution: answers whether both values are usable and,
// only then, replaces sResolutionWidthXHeight with "WxH".
bool MakeResolution(const QString &sWidth, const QString &sHeight, QString &sResolutionWidthXHeight);
